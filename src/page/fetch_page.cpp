#include "page/fetch_page.h"

#include "page/http_transfer.h"
#include "run/local_files.h"

namespace qz {

namespace {

FetchLimits& limits() {
  static FetchLimits current;
  return current;
}

RetryPolicy& policy() {
  static RetryPolicy instance(limits().retry);
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

bool fetchPage(const std::string& url, const std::string& fileName) {
  std::string& body = pageBody();
  bool arrived = policy().run([&] { return transferOnce(url, &body); });
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
