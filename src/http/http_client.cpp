#include "http/http_client.h"

#include <atomic>
#include <ctime>

#include "http/cookie_jar.h"
#include "http/http_transfer.h"
#include "http/mutex.h"
#include "http/prefetcher.h"
#include "http/redirect_location.h"
#include "http/retry_policy.h"

namespace qz {

namespace {

struct LimitsHolder {
  Mutex mutex;
  ClientLimits limits GUARDED_BY(mutex);
  CertificateCheck certificates GUARDED_BY(mutex);
};

LimitsHolder& limitsHolder() {
  static LimitsHolder* instance = new LimitsHolder;
  return *instance;
}

// Never destroyed: threads that fetch ahead may still use it at exit.
RetryPolicy& policy() {
  static RetryPolicy* instance = new RetryPolicy(clientLimits().health);
  return *instance;
}

// Never destroyed, for the same reason.
CookieJar& cookieJar() {
  static CookieJar* instance = new CookieJar;
  return *instance;
}

std::atomic<long> sent{0};

constexpr int kMaxRedirects = 10;

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// One exchange, with the cookies of the jar sent and those the site sets kept.
TryOutcome exchangeWithCookies(const std::string& url, const UrlParts& parts, std::string* body,
                               AnswerHeaders* headers) {
  std::time_t now = std::time(nullptr);
  ++sent;
  TryOutcome outcome = exchangeOnce(
      url, cookieJar().headerFor(parts.host, parts.target, parts.secure, now), body, headers);
  for (const std::string& setCookie : headers->setCookies) {
    cookieJar().take(parts.host, parts.target, setCookie, now);
  }
  return outcome;
}

// One try of a request: its redirects followed, cookies at every hop.
TryOutcome transferOnce(const std::string& url, std::string* body) {
  std::string current = withUnsafeBytesEncoded(url);
  for (int hop = 0;; ++hop) {
    UrlParts parts;
    if (!splitUrl(current, &parts)) {
      body->clear();
      return TryOutcome();  // not a web address: never asked for
    }
    AnswerHeaders headers;
    TryOutcome outcome = exchangeWithCookies(current, parts, body, &headers);
    if (!isRedirect(outcome.status) || headers.location.empty()) {
      return outcome;
    }
    current = withUnsafeBytesEncoded(resolveLocation(current, headers.location));
    if (current.empty() || hop >= kMaxRedirects) {
      body->clear();
      TryOutcome loop;
      loop.status = outcome.status;
      loop.why = kWhyRedirect;
      return loop;  // a redirect loop, or a way off the web
    }
  }
}

// "http://host:port" of an absolute URL.
std::string originOf(const std::string& url) {
  size_t scheme = url.find("://");
  size_t path = url.find_first_of("/?#", scheme == std::string::npos ? 0 : scheme + 3);
  return url.substr(0, path);
}

// Whether the site answers at all: one request for its root, whose answer,
// whatever page it is, shows that the server and what stands behind it work.
TryOutcome probeSite(const std::string& url) {
  std::string root = originOf(url) + "/";
  UrlParts parts;
  if (!splitUrl(root, &parts)) {
    return TryOutcome();
  }
  std::string body;
  AnswerHeaders headers;
  return exchangeWithCookies(root, parts, &body, &headers);
}

std::string seconds(std::chrono::milliseconds span) {
  return std::to_string((span.count() + 500) / 1000) + " s";
}

// Why a site was given up, in plain words.
std::string giveUpText(GiveUpCause cause, const HealthLimits& limits) {
  switch (cause) {
    case GiveUpCause::kNeverAnswered:
      return "the site could not be reached";
    case GiveUpCause::kRefusing:
      return "the site kept refusing for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kDown:
      return "the site was down for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kCertificate:
      return "the site's certificate was refused";
    case GiveUpCause::kNone:
      break;
  }
  return {};
}

// The cause of a failed fetch in plain words, by its last try and by what
// had become of the site. "Could not be reached" only for a site that never
// answered.
std::string causeOf(const std::string& url, const RequestResult& result, bool anyAnswer) {
  ClientLimits limits = clientLimits();
  if (!result.last) {
    return "not asked: " + giveUpText(result.givenUp, limits.health);
  }
  const TryOutcome& last = *result.last;
  std::string cause;
  if (last.why.empty()) {
    cause = last.status > 0 ? statusText(last.status) : std::string(kWhyOther);
  } else if (last.why == kWhyTimedOut) {
    cause = "no answer in " + std::to_string(limits.stallSeconds) + " s";
  } else if (last.why == kWhyNoConnection) {
    cause = "no connection in " + std::to_string(limits.connectTimeoutSeconds) + " s";
  } else {
    cause = std::string(last.why);
  }
  const Fault fault = faultOf(last);
  if (!anyAnswer &&
      (fault == Fault::kNoConnection || fault == Fault::kNoAnswer || last.why == kWhyUnknownHost)) {
    return "the site could not be reached at " + originOf(url) + ": " + cause;
  }
  if (result.givenUp == GiveUpCause::kRefusing || result.givenUp == GiveUpCause::kDown) {
    cause += "; " + giveUpText(result.givenUp, limits.health);
  }
  return cause;
}

Fetched fetchWithRetries(const std::string& url, std::string* body) {
  RequestResult result = policy().run(
      url, [&] { return transferOnce(url, body); }, [&] { return probeSite(url); });
  Fetched fetched;
  fetched.arrived = result.arrived;
  fetched.sentAt = result.sentAt;
  if (!result.arrived) {
    std::string().swap(*body);  // a failed fetch holds no body, however much of one came
    fetched.failure = causeOf(url, result, policy().anyAnswer());
    fetched.secureConnectionFailed = result.givenUp == GiveUpCause::kCertificate ||
                                     (result.last && (isCertificateRefusal(result.last->why) ||
                                                      result.last->why == kWhyHandshake));
  }
  return fetched;
}

// The pages that failed, counted as they are handed over.
class FailureAccount {
 public:
  void count(const std::string& cause, bool secure = false) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    secureFailed_ = secureFailed_ || secure;
    ++count_;
    for (auto& [known, count] : byCause_) {
      if (known == cause) {
        ++count;
        return;
      }
    }
    byCause_.push_back({cause, 1});
  }
  FailedFetches read(bool anyAnswer) const EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return {count_, byCause_, anyAnswer, secureFailed_};
  }
  void clear() EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    count_ = 0;
    byCause_.clear();
    secureFailed_ = false;
  }

 private:
  mutable Mutex mutex_;
  int count_ GUARDED_BY(mutex_) = 0;
  std::vector<std::pair<std::string, int>> byCause_ GUARDED_BY(mutex_);
  bool secureFailed_ GUARDED_BY(mutex_) = false;
};

FailureAccount& failures() {
  static FailureAccount* instance = new FailureAccount;
  return *instance;
}

// Set when more than one connection is wanted; never destroyed at exit,
// for the same reason as the policy.
Prefetcher*& prefetcher() {
  static Prefetcher* instance = nullptr;
  return instance;
}

int& connectionCount() {
  static int count = 1;
  return count;
}

}  // namespace

ClientLimits clientLimits() {
  LimitsHolder& holder = limitsHolder();
  MutexLock lock(holder.mutex);
  return holder.limits;
}

void setClientLimits(const ClientLimits& newLimits) {
  {
    LimitsHolder& holder = limitsHolder();
    MutexLock lock(holder.mutex);
    holder.limits = newLimits;
  }
  policy().setLimits(newLimits.health);
  applyTransferLimits(newLimits);
}

CertificateCheck certificateCheck() {
  LimitsHolder& holder = limitsHolder();
  MutexLock lock(holder.mutex);
  return holder.certificates;
}

void setCertificateCheck(const CertificateCheck& certificates) {
  {
    LimitsHolder& holder = limitsHolder();
    MutexLock lock(holder.mutex);
    holder.certificates = certificates;
  }
  applyTransferLimits(clientLimits());
}

void resetClient() {
  failures().clear();
  sent = 0;
  closeTransferConnections();
  cookieJar().clear();
  policy().setLimits(clientLimits().health);
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

bool expectRequestsAfter(const std::string& url, const std::vector<std::string>& urls) {
  return prefetcher() != nullptr && prefetcher()->expectAfter(url, urls);
}

bool peekBody(const std::string& url, std::string* body) {
  return prefetcher() != nullptr && prefetcher()->peek(url, body);
}

long storedCookieCount() {
  return static_cast<long>(cookieJar().count());
}

long requestsSent() {
  return sent.load();
}

bool fetchBody(const std::string& url, std::string* body,
               std::chrono::steady_clock::time_point* sentAt) {
  Fetched fetched =
      prefetcher() != nullptr ? prefetcher()->take(url, body) : fetchWithRetries(url, body);
  if (!fetched.arrived) {
    failures().count(fetched.failure, fetched.secureConnectionFailed);
  } else if (sentAt != nullptr) {
    *sentAt = fetched.sentAt;
  }
  return fetched.arrived;
}

void countUnusablePage(const std::string& cause) {
  failures().count(cause);
}

FailedFetches failedFetches() {
  return failures().read(policy().anyAnswer());
}

}  // namespace qz
