#include "page/fetch_page.h"

#include <cstdlib>

#include "http/http_client.h"
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

bool setConnectionsFromEnvironment(std::string* complaint) {
  const char* value = std::getenv(kConnectionsVariable);
  if (value == nullptr) {
    return true;
  }
  std::string text = value;
  bool valid = text.size() == 1 && text[0] >= '1' && text[0] <= '0' + kMaxConnections;
  if (!valid) {
    *complaint = std::string(kConnectionsVariable) + " must be a whole number from 1 to " +
                 std::to_string(kMaxConnections) + ", not \"" + text + "\".";
    return false;
  }
  setConnections(text[0] - '0');
  return true;
}

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
