// The cookies a site sets, kept for the run and sent back: for an HTTP client
// that does not keep them itself (WinHTTP's own store misplaces a cookie set
// on a page with a query, under Wine). Bounded as browsers bound theirs, so a
// site that sets new cookies without end costs neither speed nor memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

inline constexpr size_t kMaxCookies = 300;
inline constexpr size_t kMaxCookieBytes = 4096;  // name and value together

class CookieJar {
 public:
  // Takes one Set-Cookie value of an answer to a request for host and path
  // (the URL's path, query included or not). A cookie past the size limit,
  // or for another domain, is ignored; the oldest go past the count limit.
  void take(std::string_view host, std::string_view path, std::string_view setCookie,
            std::time_t now);
  // The Cookie header value for a request, empty when no cookie applies.
  std::string headerFor(std::string_view host, std::string_view path, bool secure,
                        std::time_t now) const;
  size_t count() const { return cookies_.size(); }
  void clear() { cookies_.clear(); }

 private:
  struct Cookie {
    std::string name;
    std::string value;
    std::string domain;
    bool hostOnly = true;
    std::string path;
    bool secure = false;
    long long expires = -1;  // seconds since the epoch; -1 for the run's length
    uint64_t created = 0;
  };
  std::vector<Cookie> cookies_;
  uint64_t made_ = 0;
};

}  // namespace qz
