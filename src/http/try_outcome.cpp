#include "http/try_outcome.h"

#include <utility>

namespace qz {

std::string statusText(long status) {
  static constexpr std::pair<long, const char*> kPhrases[] = {
      {400, "Bad Request"},       {401, "Unauthorized"},          {403, "Forbidden"},
      {404, "Not Found"},         {408, "Request Timeout"},       {410, "Gone"},
      {429, "Too Many Requests"}, {500, "Internal Server Error"}, {501, "Not Implemented"},
      {502, "Bad Gateway"},       {503, "Service Unavailable"},   {504, "Gateway Timeout"},
  };
  for (const auto& [code, phrase] : kPhrases) {
    if (code == status) {
      return std::to_string(status) + " " + phrase;
    }
  }
  return "status " + std::to_string(status);
}

std::optional<TryOutcome> outcomeOfStatus(long status, long retryAfterSeconds, bool hasLocation) {
  TryOutcome outcome;
  outcome.status = status;
  if (status >= 400) {
    outcome.kind = isTransientStatus(status) ? TryOutcome::kTransient : TryOutcome::kFailed;
    outcome.retryAfterSeconds = retryAfterSeconds;
    return outcome;
  }
  if (status >= 300 && hasLocation) {
    return outcome;  // a redirect: its body is not the page
  }
  return std::nullopt;
}

TryOutcome pageOutcome(long status, bool whole) {
  TryOutcome outcome;
  outcome.status = status;
  outcome.kind = whole ? TryOutcome::kArrived : TryOutcome::kFailed;
  outcome.why = whole ? Why::kNone : Why::kUnreadable;
  return outcome;
}

bool isTransientStatus(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

bool isBusyStatus(long status) {
  return status == 429 || status == 503;
}

bool answered(const TryOutcome& outcome) {
  return outcome.status > 0 || outcome.kind == TryOutcome::kArrived;
}

std::string_view whyText(Why why) {
  static constexpr std::pair<Why, std::string_view> kTexts[] = {
      {Why::kRefused, "connection refused"},
      {Why::kNoConnection, "no connection in time"},
      {Why::kUnknownHost, "host name not found"},
      {Why::kTimedOut, "no answer in time"},
      {Why::kCutOff, "connection cut off"},
      {Why::kTooSlow, "page too slow"},
      {Why::kUnreadable, "page too large or not readable"},
      {Why::kRedirect, "redirect loop or redirect off the web"},
      {Why::kProxy, "the proxy could not be reached"},
      {Why::kHandshake, "the secure connection could not be made (TLS handshake failed)"},
      {Why::kCertificateUntrusted,
       "the site's certificate is not signed by an authority this computer trusts"},
      {Why::kCertificateSelfSigned, "the site's certificate is self-signed"},
      {Why::kCertificateExpired, "the site's certificate has expired, or is not valid yet"},
      {Why::kCertificateName, "the site's certificate is issued for another name"},
      {Why::kCertificateRevoked, "the site's certificate has been revoked"},
      {Why::kAuthorityFile, "the file of certificates to trust could not be read"},
  };
  for (const auto& [known, text] : kTexts) {
    if (known == why) {
      return text;
    }
  }
  return "the request failed";
}

bool isStall(const TryOutcome& outcome) {
  return outcome.why == Why::kTimedOut || outcome.why == Why::kNoConnection;
}

bool isCertificateRefusal(Why why) {
  return why >= Why::kCertificateUntrusted && why <= Why::kAuthorityFile;
}

Fault faultOf(const TryOutcome& outcome) {
  if (outcome.kind == TryOutcome::kArrived) {
    return Fault::kNone;
  }
  if (isCertificateRefusal(outcome.why)) {
    return Fault::kCertificate;
  }
  if (outcome.kind == TryOutcome::kFailed) {
    return Fault::kPage;
  }
  if (outcome.why == Why::kRefused || outcome.why == Why::kProxy) {
    return Fault::kNoConnection;
  }
  if (outcome.why != Why::kNone || outcome.status == 0) {
    return Fault::kNoAnswer;  // cut off or timed out, whatever status had come
  }
  return isBusyStatus(outcome.status) ? Fault::kBusy : Fault::kServer;
}

}  // namespace qz
