// The HTTP client on libcurl: easy handles, one for each request under way,
// all sharing one connection cache, so that the kept-alive connections serve
// every request of the transport. libcurl's own cookie engine and redirect
// following stay off: HttpClient (client.h) does both, alike on every
// platform.
//
// Longer than this project's files mostly are: one platform's transport is
// one file, behind transport.h, as its WinHTTP sibling is, so that no
// libcurl call stands anywhere else; split, its parts would share the
// handles and the exchange state across files for no reader's gain.
#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "base/text.h"
#include "http/body_decoder.h"
#include "http/http_date.h"
#include "http/proxy.h"
#include "http/transport.h"
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

// The origins whose connections are kept alive at once: the site's, and the
// one it redirects to.
constexpr int kOriginsKept = 2;

// The options every easy handle of a transport has.
void configure(CURL* handle, const TransferSettings& settings, curl_slist* requestHeaders,
               const std::string& agent) {
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  // The cache is shared by every handle, and holds the connections of every
  // origin: room for N to the site and N to where it redirects (http to
  // https), or the two would close each other's at every request. No more
  // than N to one origin are open at once, since at most N requests are.
  curl_easy_setopt(handle, CURLOPT_MAXCONNECTS,
                   static_cast<long>(kOriginsKept * std::max(settings.connections, 1)));
  // The codings are undone by BodyDecoder, which can tell a stream cut short
  // and keeps a bomb from taking the memory; libcurl passes the bytes as sent.
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, requestHeaders);
  curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedBytes);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.stallSeconds);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, settings.longestTransferSeconds);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
  if (!settings.checkCertificate) {
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
  } else if (!settings.authorityFile.empty()) {
    curl_easy_setopt(handle, CURLOPT_CAINFO, settings.authorityFile.c_str());
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

// The failures that a secure handshake broken off by the server shows as,
// by when it broke: all are told as one.
bool isHandshakeBreak(CURLcode code) {
  return code == CURLE_COULDNT_CONNECT || code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
         code == CURLE_GOT_NOTHING || code == CURLE_SSL_CONNECT_ERROR;
}

// The outcome of a failed transfer. status is the answer's, if one came;
// connected tells whether a request went out at all; inHandshake that a
// connection was made and its secure handshake not completed; verifyResult
// is the TLS library's verdict on the site's certificate.
void describeFailure(CURLcode code, bool connected, bool inHandshake, long verifyResult,
                     TryOutcome* outcome) {
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
  if (inHandshake && isHandshakeBreak(code)) {
    outcome->why = Why::kHandshake;
    outcome->kind = TryOutcome::kTransient;
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

}  // namespace

// What the requests of one transport share: the kept-alive connections, the
// name look-ups and the TLS sessions, and the easy handles not in use.
struct Transport::Connections {
  explicit Connections(const TransferSettings& transfer)
      : settings(transfer), agent(std::string("qzturns/") + kVersion) {
    static std::once_flag once;
    std::call_once(once, [] {
      // A server that closes its socket while we write must cost one
      // request, not the process.
      std::signal(SIGPIPE, SIG_IGN);
      curl_global_init(CURL_GLOBAL_DEFAULT);
    });
    requestHeaders =
        curl_slist_append(nullptr, (std::string("Accept-Encoding: ") + kAcceptedCodings).c_str());
    share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lockData);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlockData);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  // Only once no request is under way: every handle is idle by then.
  ~Connections() {
    MutexLock lock(mutex);
    for (CURL* handle : idle) {
      curl_easy_cleanup(handle);
    }
    curl_share_cleanup(share);
    curl_slist_free_all(requestHeaders);
  }

  // An easy handle for one request, idle or made now; nullptr when none
  // can be made.
  CURL* take() EXCLUDES(mutex) {
    {
      MutexLock lock(mutex);
      if (!idle.empty()) {
        CURL* handle = idle.back();
        idle.pop_back();
        return handle;
      }
    }
    CURL* handle = curl_easy_init();
    if (handle != nullptr) {
      configure(handle, settings, requestHeaders, agent);
      curl_easy_setopt(handle, CURLOPT_SHARE, share);
    }
    return handle;
  }
  void giveBack(CURL* handle) EXCLUDES(mutex) {
    MutexLock lock(mutex);
    idle.push_back(handle);
  }

  // libcurl's own locks, taken and let go in separate calls of its.
  static void lockData(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<Connections*>(user)->locks[data % kLocks].lock();
  }
  static void unlockData(CURL*, curl_lock_data data, void* user) {
    static_cast<Connections*>(user)->locks[data % kLocks].unlock();
  }

  static constexpr int kLocks = 16;
  const TransferSettings settings;
  const std::string agent;
  curl_slist* requestHeaders = nullptr;
  CURLSH* share = nullptr;
  std::mutex locks[kLocks];
  Mutex mutex;
  std::vector<CURL*> idle GUARDED_BY(mutex);
};

Transport::Transport(const TransferSettings& settings)
    : connections_(std::make_unique<Connections>(settings)) {}

Transport::~Transport() = default;

bool Transport::authorityFileSupported() {
  return true;
}

bool Transport::proxiesFromEnvironment() {
  return true;
}

TryOutcome Transport::exchange(const std::string& url, const std::string& cookies,
                               std::string* body, AnswerHeaders* headers) {
  *headers = AnswerHeaders();
  body->clear();
  CURL* handle = connections_->take();
  if (handle == nullptr) {
    return TryOutcome();
  }
  // The handle goes back however the exchange ends, an exception included.
  std::unique_ptr<CURL, std::function<void(CURL*)>> held(
      handle, [this](CURL* used) { connections_->giveBack(used); });
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
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (code != CURLE_OK) {
    TryOutcome outcome;
    outcome.status = status;
    long requestBytes = 0, verifyResult = 0;
    curl_off_t connectTime = 0, secureTime = 0;
    curl_easy_getinfo(handle, CURLINFO_REQUEST_SIZE, &requestBytes);
    curl_easy_getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime);
    curl_easy_getinfo(handle, CURLINFO_APPCONNECT_TIME_T, &secureTime);
    long osErrno = 0;
    curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &osErrno);
    // A connection reset in the handshake may come as a failed connect, with
    // no connect time: the reset tells it from a refusal.
    const bool connected = connectTime > 0 || osErrno == ECONNRESET || osErrno == EPIPE;
    const bool inHandshake =
        startsWithIgnoringCase(url, "https://") && connected && secureTime == 0;
    describeFailure(code, requestBytes > 0, inHandshake, verifyResult, &outcome);
    // Through a proxy, a connection that could not be made is the proxy's.
    const bool unconnected = code == CURLE_COULDNT_CONNECT || code == CURLE_COULDNT_RESOLVE_PROXY ||
                             (code == CURLE_OPERATION_TIMEDOUT && requestBytes == 0);
    if (unconnected && !inHandshake && !proxyFor(url).proxy.empty()) {
      outcome.why = Why::kProxy;
      outcome.kind = TryOutcome::kTransient;
    }
    return outcome;
  }
  if (std::optional<TryOutcome> byStatus =
          outcomeOfStatus(status, exchange.retryAfter, !headers->location.empty())) {
    body->clear();
    return *byStatus;
  }
  if (!exchange.bodyStarted) {
    exchange.decoder.start(exchange.coding, body);
  }
  return pageOutcome(status, exchange.decoder.finish());
}

}  // namespace qz
