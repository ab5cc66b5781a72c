#include "page/fetch_page.h"

#include <cstdlib>

#include "http/http_transfer.h"
#include "http/prefetcher.h"
#include "run/local_files.h"

namespace qz {

namespace {

FetchLimits& limits() {
  static FetchLimits current;
  return current;
}

// Never destroyed: threads that fetch ahead may still use it at exit.
RetryPolicy& policy() {
  static RetryPolicy* instance = new RetryPolicy(limits().retry);
  return *instance;
}

bool fetchWithRetries(const std::string& url, std::string* body) {
  return policy().run([&] { return transferOnce(url, body); });
}

// Set when more than one connection is wanted; never destroyed, for the
// same reason as the policy.
Prefetcher*& prefetcher() {
  static Prefetcher* instance = nullptr;
  return instance;
}

// Holds a body until it has arrived whole; kept to reuse its capacity.
std::string& pageBody() {
  static std::string body;
  return body;
}

}  // namespace

const FetchLimits& fetchLimits() {
  return limits();
}

void setFetchLimits(const FetchLimits& newLimits) {
  limits() = newLimits;
  policy().setLimits(newLimits.retry);
  applyTransferLimits(newLimits);
}

void resetFetchClient() {
  resetTransferClient();
  policy().setLimits(limits().retry);
}

void setConnections(int connections) {
  delete prefetcher();
  prefetcher() = nullptr;
  if (connections > 1) {
    prefetcher() =
        new Prefetcher(connections, fetchWithRetries, [] { return policy().siteHasBeenBusy(); });
  }
}

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

bool fetchesAhead() {
  return prefetcher() != nullptr;
}

void expectPages(const std::vector<std::string>& urls, bool soon) {
  if (prefetcher() != nullptr) {
    prefetcher()->expect(urls, soon);
  }
}

bool fetchPage(const std::string& url, const std::string& fileName) {
  std::string& body = pageBody();
  bool arrived =
      prefetcher() != nullptr ? prefetcher()->take(url, &body) : fetchWithRetries(url, &body);
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
