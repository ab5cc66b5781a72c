#include "http/http_client.h"

#include <ctime>

#include "http/cookie_jar.h"
#include "http/http_transfer.h"
#include "http/prefetcher.h"
#include "http/redirect_location.h"

namespace qz {

namespace {

ClientLimits& limits() {
  static ClientLimits current;
  return current;
}

// Never destroyed: threads that fetch ahead may still use it at exit.
RetryPolicy& policy() {
  static RetryPolicy* instance = new RetryPolicy(limits().retry);
  return *instance;
}

// Never destroyed, for the same reason.
CookieJar& cookieJar() {
  static CookieJar* instance = new CookieJar;
  return *instance;
}

constexpr int kMaxRedirects = 10;

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One try of a request: its redirects followed, the cookies of the jar sent
// and those the site sets kept, at every hop.
TryOutcome transferOnce(const std::string& url, std::string* body) {
  std::string current = url;
  for (int hop = 0;; ++hop) {
    UrlParts parts;
    if (!splitUrl(current, &parts)) {
      body->clear();
      return TryOutcome();  // not a web address: never asked for
    }
    std::time_t now = std::time(nullptr);
    AnswerHeaders headers;
    TryOutcome outcome =
        exchangeOnce(current, cookieJar().headerFor(parts.host, parts.target, parts.secure, now),
                     body, &headers);
    for (const std::string& setCookie : headers.setCookies) {
      cookieJar().take(parts.host, parts.target, setCookie, now);
    }
    if (!isRedirect(outcome.status) || headers.location.empty()) {
      return outcome;
    }
    current = resolveLocation(current, headers.location);
    if (current.empty() || hop >= kMaxRedirects) {
      body->clear();
      return TryOutcome();  // a redirect loop, or a way off the web
    }
  }
}

bool fetchWithRetries(const std::string& url, std::string* body) {
  bool arrived = policy().run([&] { return transferOnce(url, body); });
  if (!arrived) {
    // A failed fetch holds no body, however much of one came.
    std::string().swap(*body);
  }
  return arrived;
}

// Set when more than one connection is wanted; never destroyed, for the
// same reason as the policy.
Prefetcher*& prefetcher() {
  static Prefetcher* instance = nullptr;
  return instance;
}

}  // namespace

const ClientLimits& clientLimits() {
  return limits();
}

void setClientLimits(const ClientLimits& newLimits) {
  limits() = newLimits;
  policy().setLimits(newLimits.retry);
  applyTransferLimits(newLimits);
}

void resetClient() {
  closeTransferConnections();
  cookieJar().clear();
  policy().setLimits(limits().retry);
}

void setConnections(int connections) {
  delete prefetcher();
  prefetcher() = nullptr;
  setTransferConnections(connections);
  if (connections > 1) {
    prefetcher() =
        new Prefetcher(connections, fetchWithRetries, [] { return policy().siteHasBeenBusy(); });
  }
}

bool fetchesAheadOfRequests() {
  return prefetcher() != nullptr;
}

void expectRequests(const std::vector<std::string>& urls, bool soon) {
  if (prefetcher() != nullptr) {
    prefetcher()->expect(urls, soon);
  }
}

void refetchPagesAhead() {
  if (prefetcher() != nullptr) {
    prefetcher()->refetchDone();
  }
}

long storedCookieCount() {
  return static_cast<long>(cookieJar().count());
}

bool fetchBody(const std::string& url, std::string* body) {
  return prefetcher() != nullptr ? prefetcher()->take(url, body) : fetchWithRetries(url, body);
}

}  // namespace qz
