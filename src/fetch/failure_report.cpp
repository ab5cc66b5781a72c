#include "fetch/failure_report.h"

#include "base/setting_names.h"
#include "http/proxy.h"
#include "http/url.h"

namespace qz {

namespace {

// The proxy of the environment a request for url went through, if the
// platform's client takes one from there.
ProxyChoice proxyOf(const std::string& url) {
  return Transport::proxiesFromEnvironment() ? proxyFor(url) : ProxyChoice();
}

// "the proxy http://p:3128 (from http_proxy)"
std::string proxyText(const ProxyChoice& through) {
  return "the proxy " + through.proxy + " (from " + through.variable + ")";
}

std::string seconds(std::chrono::milliseconds span) {
  return std::to_string((span.count() + 500) / 1000) + " s";
}

// Why a site was given up, in plain words.
std::string giveUpText(GiveUpCause cause, const HealthLimits& limits) {
  switch (cause) {
    case GiveUpCause::kNeverAnswered:
      return "the site could not be reached";
    case GiveUpCause::kNoSecureConnection:
      return "no secure connection could be made with the site";
    case GiveUpCause::kRefusing:
      return "the site kept refusing for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kDown:
      return "the site was down for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kCertificate:
      return "the site's certificate was refused";
    case GiveUpCause::kNone:
      break;
  }
  // Not given up: the page itself had its asks.
  return "the page was asked " + std::to_string(limits.mostAsks) + " times already";
}

}  // namespace

std::string failureCause(const std::string& url, const RequestResult& result, bool anyAnswer,
                         const TransferSettings& transfer, const HealthLimits& health) {
  if (!result.last) {
    return "not asked: " + giveUpText(result.givenUp, health);
  }
  const TryOutcome& last = *result.last;
  std::string cause;
  if (last.why == Why::kNone) {
    cause = last.status > 0 ? statusText(last.status) : std::string(whyText(Why::kOther));
  } else if (last.why == Why::kTimedOut) {
    cause = "no answer in " + std::to_string(transfer.stallSeconds) + " s";
  } else if (last.why == Why::kProxy) {
    return proxyText(proxyOf(url)) + " could not be reached";
  } else if (last.why == Why::kNoConnection) {
    cause = "no answer in " + std::to_string(transfer.connectTimeoutSeconds) + " s";
  } else {
    cause = std::string(whyText(last.why));
  }
  const Fault fault = faultOf(last);
  if (last.why == Why::kHandshake) {
    // The site answered, if only to break the handshake off: never told as
    // a site not reached.
    return anyAnswer ? cause
                     : "no secure connection could be made with " + originOf(url) +
                           " (TLS handshake failed)";
  }
  if (!anyAnswer && (fault == Fault::kNoConnection || fault == Fault::kNoAnswer ||
                     last.why == Why::kUnknownHost)) {
    return "the site could not be reached at " + originOf(url) + ": " + cause;
  }
  if (result.givenUp == GiveUpCause::kRefusing || result.givenUp == GiveUpCause::kDown) {
    cause += "; " + giveUpText(result.givenUp, health);
  }
  return cause;
}

Why certificateRefusal(const RequestResult& result) {
  if (result.last && isCertificateRefusal(result.last->why)) {
    return result.last->why;
  }
  return Why::kNone;  // pages not asked after it are counted without it: the first told it
}

std::string certificateHint(Why refused, bool authorityFileSet, bool authorityFileSupported) {
  if (!isCertificateRefusal(refused) || refused == Why::kAuthorityFile) {
    return {};
  }
  const std::string unchecked = std::string(kCheckCertificateVariable) + "=0";
  const bool unknownIssuer =
      refused == Why::kCertificateUntrusted || refused == Why::kCertificateSelfSigned;
  if (unknownIssuer && !authorityFileSupported) {
    return "qzturns: if you trust the site, add the certificate of its authority (its own, if it "
           "signs its own) to your store (certutil -user -addstore Root FILE), or set " +
           unchecked + " to fetch without checking its certificate.\r\n";
  }
  if (unknownIssuer && !authorityFileSet) {
    return std::string("qzturns: if you trust the site, set ") + kAuthorityFileVariable +
           " to a file of the certificates to trust it by, or " + unchecked +
           " to fetch without checking its certificate.\r\n";
  }
  return "qzturns: if you trust the site, set " + unchecked +
         " to fetch without checking its certificate.\r\n";
}

std::string failureReport(const FailedFetches& failed, const std::string& baseUrl,
                          const ReportNotes& notes) {
  if (failed.count == 0) {
    return {};
  }
  std::string report;
  if (!failed.anyAnswer && failed.handshakeFailed) {
    report += "qzturns: no secure connection could be made with the site at " + baseUrl +
              " (TLS handshake failed); check that it serves https there, and its "
              "certificate.\r\n";
  } else if (!failed.anyAnswer) {
    ProxyChoice through = proxyOf(baseUrl);
    report += "qzturns: the site could not be reached at " + baseUrl + "; check " +
              kBaseUrlVariable +
              (through.proxy.empty() ? std::string() : ", " + proxyText(through)) +
              " and the network.\r\n";
  }
  report +=
      "qzturns: " + std::to_string(failed.count) +
      (failed.count == 1 ? " page could not be fetched; the next run will ask for it again:\r\n"
                         : " pages could not be fetched; the next run will ask for them "
                           "again:\r\n");
  for (const auto& [cause, count] : failed.byCause) {
    report += "  " + cause + " x " + std::to_string(count) + "\r\n";
  }
  if (notes.sessionNotKept) {
    report +=
        "qzturns: the site did not keep the run's session: pages came back without what they "
        "were asked for even after it was opened again.\r\n";
  }
  report += certificateHint(failed.certificateRefused, notes.authorityFileSet,
                            Transport::authorityFileSupported());
  return report;
}

}  // namespace qz
