#include "page/fetch_page.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <ctime>
#include <string>
#include <thread>

#include "run/local_files.h"

#ifndef QZTURNS_VERSION
#define QZTURNS_VERSION "0"
#endif

namespace qz {

namespace {

FetchLimits& limits() {
  static FetchLimits current;
  return current;
}

size_t appendBody(char* data, size_t size, size_t count, void* userData) {
  static_cast<std::string*>(userData)->append(data, size * count);
  return size * count;
}

void configure(CURL* handle) {
  const FetchLimits& lim = limits();
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 10L);
  // Only the web: a redirect must not lead the client to a local file.
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");  // every coding libcurl can decode
  curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");       // cookie engine on, kept in memory
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "qzturns/" QZTURNS_VERSION);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, lim.connectTimeout);
  // No cap on the whole transfer: a slow page that keeps arriving is waited
  // for; only one that stops moving is given up.
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, lim.stallTimeout);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody);
}

// The one client of the run. Created on first use; its connection cache and
// cookie store live as long as the process.
class Client {
 public:
  Client() {
    // A server that closes its socket while we write must cost one request,
    // not the process.
    std::signal(SIGPIPE, SIG_IGN);
    curl_global_init(CURL_GLOBAL_DEFAULT);
    reset();
  }
  ~Client() {
    if (handle_ != nullptr) {
      curl_easy_cleanup(handle_);
    }
    curl_global_cleanup();
  }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  CURL* handle() const { return handle_; }
  // Holds a body until it has arrived whole; kept to reuse its capacity.
  std::string& body() { return body_; }
  // Starts afresh: a new handle, set up once for every request it makes.
  void reset() {
    if (handle_ != nullptr) {
      curl_easy_cleanup(handle_);
    }
    handle_ = curl_easy_init();
    if (handle_ != nullptr) {
      configure(handle_);
    }
  }

 private:
  CURL* handle_ = nullptr;
  std::string body_;
};

Client& client() {
  static Client instance;
  return instance;
}

enum class Outcome { kArrived, kFailed, kBusy };

// Seconds to wait before asking again, or -1 when the answer gives none that
// is short enough.
long retryAfterSeconds(CURL* handle) {
  struct curl_header* header = nullptr;
  if (curl_easy_header(handle, "Retry-After", 0, CURLH_HEADER, -1, &header) != CURLHE_OK) {
    return -1;
  }
  std::string value = header->value;
  long seconds = -1;
  if (!value.empty() && value.find_first_not_of("0123456789") == std::string::npos &&
      value.size() <= 9) {
    seconds = std::stol(value);
  } else {
    time_t when = curl_getdate(value.c_str(), nullptr);
    if (when >= 0) {
      seconds = std::max<long>(0, static_cast<long>(when - std::time(nullptr)));
    }
  }
  return seconds <= limits().longestRetryAfter ? seconds : -1;
}

Outcome transfer(CURL* handle, const std::string& url, std::string* body, long* waitSeconds) {
  body->clear();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, body);
  if (curl_easy_perform(handle) != CURLE_OK) {
    return Outcome::kFailed;
  }
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  if (status == 429 || status == 503) {
    *waitSeconds = retryAfterSeconds(handle);
    return *waitSeconds >= 0 ? Outcome::kBusy : Outcome::kFailed;
  }
  return status >= 400 ? Outcome::kFailed : Outcome::kArrived;
}

}  // namespace

void setFetchLimits(const FetchLimits& newLimits) {
  limits() = newLimits;
  if (client().handle() != nullptr) {
    configure(client().handle());
  }
}

void resetFetchClient() {
  client().reset();
}

bool fetchPage(const std::string& url, const std::string& fileName) {
  CURL* handle = client().handle();
  if (handle == nullptr) {
    return false;
  }
  // The file is written only once the body has arrived whole, so it never
  // receives a page that broke off.
  std::string& body = client().body();
  for (int attempt = 0;; ++attempt) {
    long waitSeconds = -1;
    Outcome outcome = transfer(handle, url, &body, &waitSeconds);
    if (outcome == Outcome::kArrived) {
      return overwriteFile(fileName, body);
    }
    if (outcome == Outcome::kFailed || attempt >= limits().retriesAfterBusy) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::seconds(waitSeconds));
  }
}

}  // namespace qz
