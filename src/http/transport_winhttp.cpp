// The HTTP client on WinHTTP: one session for each transport, so that its
// kept-alive connections serve every request. WinHTTP's own cookies and
// redirects are turned off (its store misplaces a cookie set on a page with
// a query, under Wine): HttpClient (client.h) does both, alike on every
// platform. The content coding is undone by BodyDecoder (Wine's
// WinHTTP cannot), and the body is checked against Content-Length, since
// WinHTTP reports a connection cut mid-body as a normal end.
//
// Longer than this project's files mostly are: one platform's transport is
// one file, behind transport.h, as its libcurl sibling is, so that no
// WinHTTP call stands anywhere else.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "http/body_decoder.h"
#include "http/http_date.h"
#include "http/transport.h"
#include "version.h"

#ifndef WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY
#define WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY 4
#endif

namespace qz {

namespace {

using Clock = std::chrono::steady_clock;

std::wstring widen(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string narrow(const std::wstring& wide) {
  if (wide.empty()) {
    return {};
  }
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string text(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

// One of the answer's headers of a kind that can come more than once, at
// *index; *index moves on past it. Empty, with *index unchanged, when there
// are no more.
std::string headerAt(HINTERNET request, DWORD which, DWORD* index) {
  DWORD size = 0;
  DWORD at = *index;
  WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      &at);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) {
    return {};
  }
  std::wstring value(size / sizeof(wchar_t), L'\0');
  at = *index;
  if (!WinHttpQueryHeaders(request, which, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                           &at)) {
    return {};
  }
  value.resize(size / sizeof(wchar_t));
  *index = at;
  return narrow(value);
}

// A header of the answer as text; empty when it has none.
std::string header(HINTERNET request, DWORD which) {
  DWORD first = 0;
  return headerAt(request, which, &first);
}

// What a failed call was, in plain words, and whether a moment's wait may
// cure it.
struct Failure {
  DWORD error;
  Why why;
  bool transient;
};
constexpr Failure kFailures[] = {
    {ERROR_WINHTTP_CANNOT_CONNECT, Why::kRefused, true},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, Why::kUnknownHost, false},
    // No answer yet: the site may be overloaded.
    {ERROR_WINHTTP_TIMEOUT, Why::kTimedOut, true},
    {ERROR_WINHTTP_CONNECTION_ERROR, Why::kCutOff, true},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, Why::kCutOff, true},
    {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, Why::kCertificateExpired, false},
    {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, Why::kCertificateName, false},
    {ERROR_WINHTTP_SECURE_INVALID_CA, Why::kCertificateUntrusted, false},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, Why::kCertificateUntrusted, false},
    {ERROR_WINHTTP_SECURE_CERT_REV_FAILED, Why::kCertificateUntrusted, false},
    {ERROR_WINHTTP_SECURE_CERT_REVOKED, Why::kCertificateRevoked, false},
    // A handshake that broke off may go through the next time.
    {ERROR_WINHTTP_SECURE_FAILURE, Why::kHandshake, true},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, Why::kHandshake, true},
};

const Failure& failureOf(DWORD error) {
  static constexpr Failure kOther = {0, Why::kOther, false};
  for (const Failure& failure : kFailures) {
    if (failure.error == error) {
      return failure;
    }
  }
  return kOther;
}

// What WinHTTP found wrong with the site's certificate: the flags its status
// callback tells of a secure failure, which a synchronous call's error code
// does not carry.
Why whySecureFailure(DWORD flags) {
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED) {
    return Why::kCertificateRevoked;
  }
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID) {
    return Why::kCertificateExpired;
  }
  if (flags & WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID) {
    return Why::kCertificateName;
  }
  if (flags & (WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA | WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT |
               WINHTTP_CALLBACK_STATUS_FLAG_CERT_REV_FAILED)) {
    return Why::kCertificateUntrusted;
  }
  return Why::kHandshake;
}

void CALLBACK onStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID information, DWORD) {
  if (status == WINHTTP_CALLBACK_STATUS_SECURE_FAILURE && context != 0 && information != nullptr) {
    *reinterpret_cast<DWORD*>(context) |= *static_cast<DWORD*>(information);
  }
}

// The session and its connections, one for each host and port. Safe to use
// from every thread.
class Session {
 public:
  explicit Session(const TransferSettings& settings) : settings_(settings) { open(); }
  ~Session() {
    MutexLock lock(mutex_);
    for (auto& [key, connection] : connections_) {
      WinHttpCloseHandle(connection);
    }
    if (session_ != nullptr) {
      WinHttpCloseHandle(session_);
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const TransferSettings& settings() const { return settings_; }

  bool isOpen() const EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    return session_ != nullptr;
  }

 private:
  void open() EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    std::wstring agent = widen(std::string("qzturns/") + kVersion);
    // The system's proxy settings; older systems lack the automatic kind.
    session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY,
                           WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session_ == nullptr) {
      session_ = WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                             WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    }
    if (session_ == nullptr) {
      return;
    }
    // As many connections to the site as requests may be in flight.
    DWORD connections = static_cast<DWORD>(std::max(settings_.connections, 1));
    WinHttpSetOption(session_, WINHTTP_OPTION_MAX_CONNS_PER_SERVER, &connections,
                     sizeof connections);
    int connectMs = static_cast<int>(settings_.connectTimeoutSeconds * 1000);
    // A read that waits this long without a byte is a stall.
    int receiveMs = static_cast<int>(settings_.stallSeconds * 1000);
    WinHttpSetTimeouts(session_, 0, connectMs, receiveMs, receiveMs);
  }

 public:
  HINTERNET connection(const std::wstring& host, INTERNET_PORT port) EXCLUDES(mutex_) {
    MutexLock lock(mutex_);
    if (session_ == nullptr) {
      return nullptr;
    }
    std::wstring key = host + L":" + std::to_wstring(port);
    for (auto& [known, connection] : connections_) {
      if (known == key) {
        return connection;
      }
    }
    HINTERNET connection = WinHttpConnect(session_, host.c_str(), port, 0);
    if (connection != nullptr) {
      connections_.push_back({key, connection});
    }
    return connection;
  }

 private:
  const TransferSettings settings_;
  mutable Mutex mutex_;
  HINTERNET session_ GUARDED_BY(mutex_) = nullptr;
  std::vector<std::pair<std::wstring, HINTERNET>> connections_ GUARDED_BY(mutex_);
};

struct RequestHandle {
  HINTERNET handle = nullptr;
  ~RequestHandle() {
    if (handle != nullptr) {
      WinHttpCloseHandle(handle);
    }
  }
};

// Reads and drops the body of an answer that is not the page (a redirect, an
// error page), so that its connection goes back to the session's pool: one
// closed with a body unread is not used again. A large one is not waited for.
void drainBody(HINTERNET request) {
  char buffer[8192];
  DWORD total = 0;
  for (DWORD read = 0; total < (DWORD{1} << 20); total += read) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0 ||
        !WinHttpReadData(request, buffer, std::min<DWORD>(available, sizeof buffer), &read) ||
        read == 0) {
      return;
    }
  }
}

// Reads the body into the decoder; the outcome of the try.
TryOutcome readBody(HINTERNET request, long status, const TransferSettings& limits,
                    std::string* body) {
  TryOutcome outcome;
  outcome.status = status;
  BodyDecoder decoder;
  outcome.kind = TryOutcome::kFailed;
  outcome.why = Why::kUnreadable;
  if (!decoder.start(header(request, WINHTTP_QUERY_CONTENT_ENCODING), body)) {
    return outcome;  // a coding we cannot undo
  }
  std::string lengthText = header(request, WINHTTP_QUERY_CONTENT_LENGTH);
  long long announced = lengthText.empty() ? -1 : std::atoll(lengthText.c_str());
  decoder.expectLength(announced);
  long long received = 0;
  const Clock::time_point start = Clock::now();
  Clock::time_point windowStart = start;
  long long windowBytes = 0;
  std::vector<char> buffer(65536);
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      const Failure& failure = failureOf(GetLastError());
      outcome.kind = failure.transient ? TryOutcome::kTransient : TryOutcome::kFailed;
      outcome.why = failure.why;
      return outcome;
    }
    if (available == 0) {
      break;
    }
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer.data(),
                         std::min<DWORD>(available, static_cast<DWORD>(buffer.size())), &read)) {
      outcome.kind = TryOutcome::kTransient;
      outcome.why = Why::kCutOff;
      return outcome;
    }
    received += read;
    windowBytes += read;
    if (!decoder.feed(buffer.data(), read)) {
      return outcome;
    }
    // The same limits as libcurl's: too slow over a stretch, or too long in all.
    Clock::time_point now = Clock::now();
    if (now - start > std::chrono::seconds(limits.longestTransferSeconds)) {
      outcome.why = Why::kTooSlow;
      return outcome;
    }
    if (now - windowStart >= std::chrono::seconds(limits.stallSeconds)) {
      if (windowBytes < limits.lowSpeedBytes * limits.stallSeconds) {
        outcome.why = Why::kTooSlow;
        return outcome;
      }
      windowStart = now;
      windowBytes = 0;
    }
  }
  if (announced >= 0 && received != announced) {
    outcome.kind = TryOutcome::kTransient;  // the connection broke off mid-body
    outcome.why = Why::kCutOff;
    return outcome;
  }
  return pageOutcome(status, decoder.finish());
}

}  // namespace

struct Transport::Connections {
  explicit Connections(const TransferSettings& settings) : session(settings) {}
  Session session;
};

Transport::Transport(const TransferSettings& settings)
    : connections_(std::make_unique<Connections>(settings)) {}

Transport::~Transport() = default;

bool Transport::authorityFileSupported() {
  return false;
}

bool Transport::proxiesFromEnvironment() {
  return false;
}

TryOutcome Transport::exchange(const std::string& url, const std::string& cookies,
                               std::string* body, AnswerHeaders* answer) {
  Session& session = connections_->session;
  TryOutcome outcome;
  *answer = AnswerHeaders();
  body->clear();
  if (!session.isOpen()) {
    return outcome;
  }
  std::wstring wideUrl = widen(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wideUrl.c_str(), 0, 0, &parts) ||
      (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
    return outcome;  // a URL the client refuses
  }
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring target(parts.lpszUrlPath, parts.dwUrlPathLength);
  target.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (target.empty()) {
    target = L"/";
  }
  const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  HINTERNET connection = session.connection(host, parts.nPort);
  if (connection == nullptr) {
    return outcome;
  }
  RequestHandle request;
  request.handle =
      WinHttpOpenRequest(connection, L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (request.handle == nullptr) {
    return outcome;
  }
  DWORD ownWork = WINHTTP_DISABLE_COOKIES | WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(request.handle, WINHTTP_OPTION_DISABLE_FEATURE, &ownWork, sizeof ownWork);
  DWORD secureFailure = 0;
  if (secure) {
    if (!session.settings().checkCertificate) {
      DWORD ignore = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                     SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
      WinHttpSetOption(request.handle, WINHTTP_OPTION_SECURITY_FLAGS, &ignore, sizeof ignore);
    }
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(&secureFailure);
    WinHttpSetOption(request.handle, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof context);
    WinHttpSetStatusCallback(request.handle, onStatus, WINHTTP_CALLBACK_FLAG_SECURE_FAILURE, 0);
  }
  std::string headers = std::string("Accept-Encoding: ") + kAcceptedCodings;
  if (!cookies.empty()) {
    headers += "\r\nCookie: " + cookies;
  }
  std::wstring wideHeaders = widen(headers);
  WinHttpAddRequestHeaders(request.handle, wideHeaders.c_str(), static_cast<DWORD>(-1),
                           WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
  // A time-out while sending is one of the connection; while waiting for
  // the answer, one of the site.
  bool sent = WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                                 WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
  if (!sent || !WinHttpReceiveResponse(request.handle, nullptr)) {
    DWORD err = GetLastError();
    const Failure& failure = failureOf(err);
    outcome.why = failure.why;
    outcome.kind = failure.transient ? TryOutcome::kTransient : TryOutcome::kFailed;
    if (!sent && err == ERROR_WINHTTP_TIMEOUT) {
      outcome.why = Why::kNoConnection;
    } else if (err == ERROR_WINHTTP_SECURE_FAILURE) {
      outcome.why = whySecureFailure(secureFailure);
      if (isCertificateRefusal(outcome.why)) {
        outcome.kind = TryOutcome::kFailed;
      }
    }
    return outcome;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  outcome.status = static_cast<long>(status);
  std::string location;
  long retryAfter = -1;
  for (DWORD index = 0;;) {
    DWORD before = index;
    std::string setCookie = headerAt(request.handle, WINHTTP_QUERY_SET_COOKIE, &index);
    if (setCookie.empty() && index == before) {
      break;
    }
    answer->setCookies.push_back(setCookie);
  }
  if (status >= 400) {
    std::string text = header(request.handle, WINHTTP_QUERY_RETRY_AFTER);
    if (!text.empty()) {
      retryAfter = retryAfterSeconds(text, std::time(nullptr));
    }
  } else if (status >= 300) {
    answer->location = header(request.handle, WINHTTP_QUERY_LOCATION);
  }
  if (std::optional<TryOutcome> byStatus =
          outcomeOfStatus(outcome.status, retryAfter, !answer->location.empty())) {
    drainBody(request.handle);
    return *byStatus;
  }
  return readBody(request.handle, outcome.status, session.settings(), body);
}

}  // namespace qz
