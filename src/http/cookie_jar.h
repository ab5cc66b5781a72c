// The cookies a site sets, kept for the run and sent back: one policy for
// every HTTP client, which keeps none of its own. Bounded as browsers bound
// theirs, so a site that sets new cookies without end costs neither speed nor
// memory; once full, new cookies are refused rather than the earlier ones
// pushed out, since those (the session) are the ones a site relies on.
// Safe to share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/mutex.h"

namespace qz {

inline constexpr size_t kMaxCookies = 300;
inline constexpr size_t kMaxCookieBytes = 4096;  // name and value together

struct Cookie {
  std::string name;
  std::string value;
  std::string domain;  // lower case
  bool hostOnly = true;
  std::string path;
  bool secure = false;
  std::optional<long long> expires;  // seconds since the epoch; none for the run's length
  uint64_t created = 0;              // the jar's count when it first took it
  bool liveAt(std::time_t now) const { return !expires || *expires > now; }
};

// The cookie that one Set-Cookie value of an answer to a request for host and
// path (the URL's path, query included or not) sets, by the cookie rules
// (RFC 6265 section 5.2 and 5.3): the last Domain and the last Path count,
// an empty or relative Path means the folder of the request's path, Max-Age
// before Expires. Nothing for a cookie past the size limit, with a CR, LF or
// NUL in it, for another domain, for a public-looking domain or for a domain
// on an IP address. A cookie whose time has gone by comes back, to remove
// the one it replaces.
std::optional<Cookie> parseSetCookie(std::string_view host, std::string_view path,
                                     std::string_view setCookie, std::time_t now);

class CookieJar {
 public:
  // Takes one Set-Cookie value (parseSetCookie): a cookie replaces the one of
  // the same name, domain and path, and a date gone by removes it. A new one
  // is refused once the jar is full of live cookies.
  void take(std::string_view host, std::string_view path, std::string_view setCookie,
            std::time_t now) EXCLUDES(mutex_);
  // The Cookie header value for a request, empty when no cookie applies.
  std::string headerFor(std::string_view host, std::string_view path, bool secure,
                        std::time_t now) const EXCLUDES(mutex_);

 private:
  void dropExpired(std::time_t now) REQUIRES(mutex_);

  mutable Mutex mutex_;
  std::vector<Cookie> cookies_ GUARDED_BY(mutex_);
  uint64_t made_ GUARDED_BY(mutex_) = 0;
};

}  // namespace qz
