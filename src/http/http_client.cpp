#include "http/http_client.h"

#include <atomic>
#include <ctime>

#include "http/cookie_jar.h"
#include "http/failure_account.h"
#include "http/http_transfer.h"
#include "http/mutex.h"
#include "http/prefetcher.h"
#include "http/redirect_location.h"
#include "http/retry_policy.h"

namespace qz {

namespace {

Guarded<ClientLimits>& limitsSet() {
  static Guarded<ClientLimits>* instance = new Guarded<ClientLimits>;
  return *instance;
}

Guarded<CertificateCheck>& certificatesSet() {
  static Guarded<CertificateCheck>* instance = new Guarded<CertificateCheck>;
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
      loop.why = Why::kRedirect;
      return loop;  // a redirect loop, or a way off the web
    }
  }
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

Fetched fetchWithRetries(const std::string& url, std::string* body) {
  RequestResult result = policy().run(
      url, [&] { return transferOnce(url, body); }, [&] { return probeSite(url); });
  Fetched fetched;
  fetched.arrived = result.arrived;
  fetched.sentAt = result.sentAt;
  if (!result.arrived) {
    std::string().swap(*body);  // a failed fetch holds no body, however much of one came
    fetched.failure = failureCause(url, result, policy().anyAnswer(), clientLimits());
    fetched.secureConnectionFailed = result.givenUp == GiveUpCause::kCertificate ||
                                     (result.last && (isCertificateRefusal(result.last->why) ||
                                                      result.last->why == Why::kHandshake));
  }
  return fetched;
}

// Never destroyed, as the policy.
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
  return limitsSet().get();
}

void setClientLimits(const ClientLimits& newLimits) {
  limitsSet().set(newLimits);
  policy().setLimits(newLimits.health);
  applyTransferLimits(newLimits);
}

CertificateCheck certificateCheck() {
  return certificatesSet().get();
}

void setCertificateCheck(const CertificateCheck& certificates) {
  certificatesSet().set(certificates);
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
