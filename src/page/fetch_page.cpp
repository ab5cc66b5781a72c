#include "page/fetch_page.h"

#include <cstdlib>

#include "http/http_client.h"
#include "page/client_settings.h"
#include "page/site_urls.h"
#include "run/local_files.h"

namespace qz {

namespace {

// Holds a body until it has arrived whole; kept to reuse its capacity.
std::string& pageBody() {
  static std::string body;
  return body;
}

}  // namespace

std::string failureReport(const std::string& baseUrl) {
  FailedFetches failed = failedFetches();
  if (failed.count == 0) {
    return {};
  }
  std::string report;
  if (!failed.anyAnswer) {
    report += "qzturns: the site could not be reached at " + baseUrl + "; check " +
              kBaseUrlVariable + " and the network.\r\n";
  }
  report += "qzturns: " + std::to_string(failed.count) + (failed.count == 1 ? " page" : " pages") +
            " could not be fetched; the next run will ask for them again:\r\n";
  for (const auto& [cause, count] : failed.byCause) {
    report += "  " + cause + " x " + std::to_string(count) + "\r\n";
  }
  if (failed.secureConnectionFailed) {
    report += authorityFileSupported()
                  ? std::string("qzturns: if you trust the site, set ") + kAuthorityFileVariable +
                        " to a file of the certificates to trust it by, or " +
                        kCheckCertificateVariable +
                        "=0 to fetch without checking its certificate.\r\n"
                  : std::string(
                        "qzturns: if you trust the site, add its certificate to your store "
                        "(certutil -user -addstore Root FILE), or set ") +
                        kCheckCertificateVariable + "=0 to fetch without checking it.\r\n";
  }
  return report;
}

bool fetchesAhead() {
  return fetchesAheadOfRequests();
}

int pagesFetchedAtOnce() {
  return connections();
}

void expectPages(const std::vector<std::string>& urls, bool soon) {
  expectRequests(urls, soon);
}

bool expectPagesAfter(const std::string& url, const std::vector<std::string>& urls) {
  return expectRequestsAfter(url, urls);
}

bool peekPage(const std::string& url, std::string* body) {
  return peekBody(url, body);
}

void countPageNotSaved(const std::string& cause) {
  countUnusablePage(cause);
}

bool fetchPage(const std::string& url, const std::string& fileName,
               std::chrono::steady_clock::time_point* sentAt) {
  std::string& body = pageBody();
  bool arrived = fetchBody(url, &body, sentAt);
  if (arrived) {
    // The temp file is a local file like any other: a folder that cannot
    // take it ends the run rather than pass for a site with nothing new.
    overwriteFile(fileName, body);
  }
  // A big page's buffer is not kept for the rest of the run.
  if (body.capacity() > (size_t{4} << 20)) {
    std::string().swap(body);
  }
  return arrived;
}

}  // namespace qz
