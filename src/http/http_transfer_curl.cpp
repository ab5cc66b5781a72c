// The HTTP client on libcurl: an easy handle per thread that makes requests,
// all sharing one connection cache, so that they serve every request of the
// run. libcurl's own cookie engine and redirect following stay off: the
// client of http_client.h does both, alike on every platform.
//
// Longer than this project's files mostly are: one platform's transport is
// one file, behind http_transfer.h, as its WinHTTP sibling is, so that no
// libcurl call stands anywhere else; split, its parts would share the
// handles and the exchange state across files for no reader's gain.
#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "http/body_decoder.h"
#include "http/header_text.h"
#include "http/http_date.h"
#include "http/http_transfer.h"
#include "http/mutex.h"
#include "version.h"

namespace qz {

namespace {

// What one exchange has learnt of the answer so far. An interim answer
// (100 Continue) is followed by the real one, which starts afresh at its
// status line.
struct Exchange {
  std::string* body = nullptr;
  AnswerHeaders* headers = nullptr;
  BodyDecoder decoder;
  std::string coding;
  long long length = -1;  // Content-Length, -1 when not given
  bool bodyStarted = false;
  long retryAfter = -1;
  // An exception of ours stops the transfer and is thrown again after it:
  // it must not pass through libcurl.
  std::exception_ptr error;
};

// True for a header line of that name (given in lower case).
bool startsWithName(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         startsWithIgnoringCase(line, name);
}

void takeHeader(Exchange& exchange, std::string_view line);
bool takeBody(Exchange& exchange, const char* data, size_t size);

size_t onHeader(char* data, size_t size, size_t count, void* userData) {
  Exchange& exchange = *static_cast<Exchange*>(userData);
  try {
    takeHeader(exchange, std::string_view(data, size * count));
    return size * count;
  } catch (...) {
    exchange.error = std::current_exception();
    return 0;
  }
}

size_t onBody(char* data, size_t size, size_t count, void* userData) {
  Exchange& exchange = *static_cast<Exchange*>(userData);
  try {
    return takeBody(exchange, data, size * count) ? size * count : 0;
  } catch (...) {
    exchange.error = std::current_exception();
    return 0;
  }
}

void takeHeader(Exchange& exchange, std::string_view line) {
  if (line.substr(0, 5) == "HTTP/") {
    exchange.coding.clear();
    exchange.length = -1;
    exchange.bodyStarted = false;
    exchange.retryAfter = -1;
    exchange.body->clear();
    *exchange.headers = AnswerHeaders();
  } else if (startsWithName(line, "content-encoding")) {
    exchange.coding = std::string(line.substr(17));
  } else if (startsWithName(line, "content-length")) {
    std::string_view digits = trimmed(line.substr(15));
    if (!digits.empty() && digits.size() < 19 &&
        digits.find_first_not_of("0123456789") == std::string_view::npos) {
      exchange.length = std::stoll(std::string(digits));
    }
  } else if (startsWithName(line, "retry-after")) {
    exchange.retryAfter = retryAfterSeconds(line.substr(12), std::time(nullptr));
  } else if (startsWithName(line, "set-cookie")) {
    exchange.headers->setCookies.emplace_back(trimmed(line.substr(11)));
  } else if (startsWithName(line, "location")) {
    exchange.headers->location = std::string(trimmed(line.substr(9)));
  }
}

bool takeBody(Exchange& exchange, const char* data, size_t size) {
  if (!exchange.bodyStarted) {
    exchange.bodyStarted = true;
    if (!exchange.decoder.start(exchange.coding, exchange.body)) {
      return false;  // a coding we cannot undo ends the transfer
    }
    exchange.decoder.expectLength(exchange.length);
  }
  return exchange.decoder.feed(data, size);
}

std::atomic<long> connectionLimit{1};

void configure(CURL* handle, const ClientLimits& limits) {
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  // The cache is shared by every thread's handle; at libcurl's default of
  // five, six or more threads would close each other's connections.
  curl_easy_setopt(handle, CURLOPT_MAXCONNECTS, connectionLimit.load());
  // The codings are undone by BodyDecoder, which can tell a stream cut short
  // and keeps a bomb from taking the memory; libcurl passes the bytes as sent.
  static curl_slist* headers =
      curl_slist_append(nullptr, (std::string("Accept-Encoding: ") + kAcceptedCodings).c_str());
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  static const std::string agent = std::string("qzturns/") + kVersion;
  curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, limits.longestTransferSeconds);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
  CertificateCheck certificates = certificateCheck();
  if (!certificates.check) {
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  } else if (!certificates.authorityFile.empty()) {
    curl_easy_setopt(handle, CURLOPT_CAINFO, certificates.authorityFile.c_str());
    curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
  }
}

// Why the site's certificate was refused, by the TLS library's verify
// result (OpenSSL's X509_V_ codes, which libcurl passes on as they are). A
// chain that checks out leaves the name to libcurl's own check, whose
// refusal leaves the result at 0 or "unspecified" (1).
Why whyRefused(long verifyResult) {
  constexpr long kOk = 0, kUnspecified = 1, kNotYetValid = 9, kExpired = 10, kSelfSigned = 18,
                 kSelfSignedInChain = 19, kRevoked = 23, kHostMismatch = 62, kIpMismatch = 64;
  switch (verifyResult) {
    case kExpired:
    case kNotYetValid:
      return Why::kCertificateExpired;
    case kSelfSigned:
    case kSelfSignedInChain:
      return Why::kCertificateSelfSigned;
    case kRevoked:
      return Why::kCertificateRevoked;
    case kOk:
    case kUnspecified:
    case kHostMismatch:
    case kIpMismatch:
      return Why::kCertificateName;
    default:
      return Why::kCertificateUntrusted;
  }
}
// What a failed transfer was, in plain words, and whether a moment's wait
// may cure it.
struct Failure {
  CURLcode code;
  Why why;
  bool transient;
};
constexpr Failure kFailures[] = {
    {CURLE_COULDNT_CONNECT, Why::kRefused, true},
    {CURLE_COULDNT_RESOLVE_HOST, Why::kUnknownHost, false},
    {CURLE_COULDNT_RESOLVE_PROXY, Why::kUnknownHost, false},
    {CURLE_SEND_ERROR, Why::kCutOff, true},
    {CURLE_RECV_ERROR, Why::kCutOff, true},
    {CURLE_GOT_NOTHING, Why::kCutOff, true},
    {CURLE_PARTIAL_FILE, Why::kCutOff, true},
    {CURLE_HTTP2, Why::kCutOff, true},
    {CURLE_HTTP2_STREAM, Why::kCutOff, true},
    {CURLE_WRITE_ERROR, Why::kUnreadable, false},
    {CURLE_SSL_CONNECT_ERROR, Why::kHandshake, true},
    {CURLE_SSL_CACERT_BADFILE, Why::kAuthorityFile, false},
};

// The outcome of a failed transfer. status is the answer's, if one came;
// connected tells whether a request went out at all; verifyResult is the
// TLS library's verdict on the site's certificate.
void describeFailure(CURLcode code, bool connected, long verifyResult, TryOutcome* outcome) {
  outcome->kind = TryOutcome::kFailed;
  outcome->why = Why::kOther;
  if (code == CURLE_OPERATION_TIMEDOUT) {
    // No answer yet: the site may be overloaded. An answer that trickles or
    // drags past the time limit is given up, not asked for again.
    outcome->why = !connected             ? Why::kNoConnection
                   : outcome->status == 0 ? Why::kTimedOut
                                          : Why::kTooSlow;
    outcome->kind = outcome->status == 0 ? TryOutcome::kTransient : TryOutcome::kFailed;
    return;
  }
  if (code == CURLE_PEER_FAILED_VERIFICATION) {
    outcome->why = whyRefused(verifyResult);
    return;
  }
  for (const Failure& failure : kFailures) {
    if (failure.code == code) {
      outcome->why = failure.why;
      outcome->kind = failure.transient ? TryOutcome::kTransient : TryOutcome::kFailed;
      return;
    }
  }
}

// What every connection of the run shares: the kept-alive connections and
// the name look-ups. Each thread makes its requests on an easy handle of its
// own, attached to this.
class Store {
 public:
  Store() {
    // A server that closes its socket while we write must cost one request,
    // not the process.
    std::signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    share_ = makeShare();
  }

  CURLSH* share() const EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return share_;
  }
  // Changes whenever handles must be made anew: new limits, or a new store.
  unsigned generation() const { return generation_.load(); }
  void renew() { generation_.fetch_add(1); }
  // Forgets every connection. Safe at any time, but meant for when no
  // request is under way: a handle of another thread may still hold the old
  // share, which then stays, and its connections with it.
  void reset() EXCLUDES(mutex_) {
    CURLSH* old;
    {
      MutexLock lock(mutex_);
      old = share_;
      share_ = makeShare();
    }
    renew();
    curl_share_cleanup(old);
  }

 private:
  CURLSH* makeShare() {
    CURLSH* share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lockData);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlockData);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    return share;
  }
  // libcurl's own locks, taken and let go in separate calls of its.
  static void lockData(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Store*>(user)->locks_[data % kLocks].lock();
  }
  static void unlockData(CURL*, curl_lock_data data, void* user) {
    static_cast<Store*>(user)->locks_[data % kLocks].unlock();
  }

  static constexpr int kLocks = 16;
  mutable Mutex mutex_;
  CURLSH* share_ GUARDED_BY(mutex_) = nullptr;
  std::mutex locks_[kLocks];
  std::atomic<unsigned> generation_{0};
};

// Never destroyed: threads that fetch ahead may still use it at exit.
Store& store() {
  static Store* instance = new Store;
  return *instance;
}

// This thread's easy handle, made anew when the store asks for it.
class ThreadHandle {
 public:
  ~ThreadHandle() { drop(); }
  CURL* get() {
    unsigned wanted = store().generation();
    if (handle_ == nullptr || generation_ != wanted) {
      drop();
      handle_ = curl_easy_init();
      generation_ = wanted;
      if (handle_ != nullptr) {
        configure(handle_, clientLimits());
        curl_easy_setopt(handle_, CURLOPT_SHARE, store().share());
      }
    }
    return handle_;
  }
  void drop() {
    if (handle_ != nullptr) {
      curl_easy_cleanup(handle_);
      handle_ = nullptr;
    }
  }
  CURL* handle_ = nullptr;
  unsigned generation_ = 0;
};

ThreadHandle& thisThread() {
  thread_local ThreadHandle handle;
  return handle;
}

CURL* threadHandle() {
  return thisThread().get();
}

}  // namespace

bool authorityFileSupported() {
  return true;
}

void applyTransferLimits(const ClientLimits&) {
  store().renew();  // each handle is made anew with clientLimits()
}

void setTransferConnections(int connections) {
  connectionLimit = std::max(connections, 1);
  store().renew();
}

void closeTransferConnections() {
  thisThread().drop();  // so that the old store is no longer held here
  store().reset();
}

TryOutcome exchangeOnce(const std::string& url, const std::string& cookies, std::string* body,
                        AnswerHeaders* headers) {
  TryOutcome outcome;
  *headers = AnswerHeaders();
  body->clear();
  CURL* handle = threadHandle();
  if (handle == nullptr) {
    return outcome;
  }
  Exchange exchange;
  exchange.body = body;
  exchange.headers = headers;
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_COOKIE, cookies.empty() ? nullptr : cookies.c_str());
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &exchange);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &exchange);
  CURLcode code = curl_easy_perform(handle);
  if (exchange.error) {
    std::rethrow_exception(exchange.error);
  }
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &outcome.status);
  if (code != CURLE_OK) {
    long requestBytes = 0, verifyResult = 0;
    curl_easy_getinfo(handle, CURLINFO_REQUEST_SIZE, &requestBytes);
    curl_easy_getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    describeFailure(code, requestBytes > 0, verifyResult, &outcome);
    return outcome;
  }
  if (outcome.status >= 400) {
    outcome.kind = isTransientStatus(outcome.status) ? TryOutcome::kTransient : TryOutcome::kFailed;
    outcome.retryAfterSeconds = exchange.retryAfter;
    return outcome;
  }
  if (outcome.status >= 300 && !headers->location.empty()) {
    body->clear();
    return outcome;  // a redirect: its body is not the page
  }
  if (!exchange.bodyStarted) {
    exchange.decoder.start(exchange.coding, body);
  }
  outcome.kind = exchange.decoder.finish() ? TryOutcome::kArrived : TryOutcome::kFailed;
  if (outcome.kind != TryOutcome::kArrived) {
    outcome.why = Why::kUnreadable;
  }
  return outcome;
}

}  // namespace qz
