#include "http/http_client.h"

#include <atomic>
#include <ctime>
#include <map>
#include <mutex>

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

// Why fetches failed: the cause of each failed fetch until it is handed
// over, and the tally of those handed over.
struct FailureAccount {
  std::mutex mutex;
  std::map<std::string, std::string> pending;  // by URL
  std::vector<std::pair<std::string, int>> byCause;
  int count = 0;
  std::atomic<bool> anyAnswer{false};
};

FailureAccount& failures() {
  static FailureAccount* instance = new FailureAccount;
  return *instance;
}

// "http://host:port" of an absolute URL.
std::string originOf(const std::string& url) {
  size_t scheme = url.find("://");
  size_t path = url.find_first_of("/?#", scheme == std::string::npos ? 0 : scheme + 3);
  return url.substr(0, path);
}

// The cause of a failed fetch in plain words, by its last try.
std::string causeOf(const std::string& url, bool tried, const TryOutcome& last) {
  if (!tried) {
    return "gave up: the site was down";
  }
  if (last.status >= 400) {
    return statusText(last.status);
  }
  if (last.status >= 300) {
    return std::string(kWhyRedirect);
  }
  std::string_view why = last.why.empty() ? kWhyOther : last.why;
  if (why == kWhyRefused || why == kWhyUnknownHost || why == kWhyTimedOut) {
    return "the site could not be reached at " + originOf(url) + ": " + std::string(why);
  }
  return std::string(why);
}

bool fetchWithRetries(const std::string& url, std::string* body) {
  TryOutcome last;
  bool tried = false;
  bool arrived = policy().run([&] {
    tried = true;
    last = transferOnce(url, body);
    if (last.status > 0 || last.kind == TryOutcome::kArrived) {
      failures().anyAnswer = true;
    }
    return last;
  });
  if (!arrived) {
    // A failed fetch holds no body, however much of one came.
    std::string().swap(*body);
    std::lock_guard<std::mutex> lock(failures().mutex);
    failures().pending[url] = causeOf(url, tried, last);
  }
  return arrived;
}

// A fetch handed over as failed counts once, by its cause.
void countFailure(const std::string& url) {
  FailureAccount& account = failures();
  std::lock_guard<std::mutex> lock(account.mutex);
  auto pending = account.pending.find(url);
  std::string cause = pending == account.pending.end() ? std::string(kWhyOther) : pending->second;
  if (pending != account.pending.end()) {
    account.pending.erase(pending);
  }
  ++account.count;
  for (auto& [known, count] : account.byCause) {
    if (known == cause) {
      ++count;
      return;
    }
  }
  account.byCause.push_back({cause, 1});
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
  {
    std::lock_guard<std::mutex> lock(failures().mutex);
    failures().pending.clear();
    failures().byCause.clear();
    failures().count = 0;
    failures().anyAnswer = false;
  }
  closeTransferConnections();
  cookieJar().clear();
  policy().setLimits(limits().retry);
}

int& connectionCount() {
  static int count = 1;
  return count;
}

int connections() {
  return connectionCount();
}

void setConnections(int connections) {
  connectionCount() = connections;
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
  bool arrived =
      prefetcher() != nullptr ? prefetcher()->take(url, body) : fetchWithRetries(url, body);
  if (!arrived) {
    countFailure(url);
  }
  return arrived;
}

FailedFetches failedFetches() {
  FailureAccount& account = failures();
  std::lock_guard<std::mutex> lock(account.mutex);
  return {account.count, account.byCause, account.anyAnswer.load()};
}

}  // namespace qz
