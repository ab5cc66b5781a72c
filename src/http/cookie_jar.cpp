#include "http/cookie_jar.h"

#include <algorithm>

#include "base/text.h"
#include "http/http_date.h"
#include "http/url.h"

namespace qz {

namespace {

std::string_view withoutQuery(std::string_view path) {
  return path.substr(0, path.find_first_of("?#"));
}

// The folder of the request's path, where a cookie without a Path applies.
std::string defaultPath(std::string_view requestPath) {
  std::string_view path = withoutQuery(requestPath);
  size_t slash = path.rfind('/');
  if (path.empty() || path[0] != '/' || slash == 0 || slash == std::string_view::npos) {
    return "/";
  }
  return std::string(path.substr(0, slash));
}

// An IPv4 or IPv6 address rather than a name: no other host shares its
// cookies.
bool isIpAddress(std::string_view host) {
  return host.find(':') != std::string_view::npos ||
         host.find_first_not_of("0123456789.") == std::string_view::npos;
}

// An address is only ever its own domain.
bool domainMatches(std::string_view host, std::string_view domain) {
  return isIpAddress(host) ? host == domain : isHostWithin(host, domain);
}

// A Domain attribute that would hand the cookie to hosts the site does not
// own: a bare top-level domain ("com"), or a part of an IP address.
bool isTooWideDomain(std::string_view host, std::string_view domain) {
  if (host == domain) {
    return false;
  }
  return domain.find('.') == std::string_view::npos || isIpAddress(host);
}

// Bytes that would split or cut the Cookie header it is sent in.
bool holdsHeaderBreak(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool pathMatches(std::string_view requestPath, std::string_view cookiePath) {
  std::string_view path = withoutQuery(requestPath);
  if (path.empty()) {
    path = "/";
  }
  if (path.substr(0, cookiePath.size()) != cookiePath) {
    return false;
  }
  return path.size() == cookiePath.size() || cookiePath.back() == '/' ||
         path[cookiePath.size()] == '/';
}

}  // namespace

std::optional<Cookie> parseSetCookie(std::string_view host, std::string_view path,
                                     std::string_view setCookie, std::time_t now) {
  std::string_view rest = setCookie;
  size_t semicolon = rest.find(';');
  std::string_view pair = trimmed(rest.substr(0, semicolon));
  size_t equals = pair.find('=');
  if (equals == std::string_view::npos || trimmed(pair.substr(0, equals)).empty()) {
    return std::nullopt;
  }
  Cookie cookie;
  cookie.name = std::string(trimmed(pair.substr(0, equals)));
  cookie.value = std::string(trimmed(pair.substr(equals + 1)));
  if (cookie.name.size() + cookie.value.size() > kMaxCookieBytes || holdsHeaderBreak(cookie.name) ||
      holdsHeaderBreak(cookie.value)) {
    return std::nullopt;
  }
  const std::string requestHost = asciiLower(host);
  std::optional<std::string> domain;  // of the last Domain attribute with a value
  std::optional<long long> maxAgeExpiry, expiresAt;
  cookie.path = defaultPath(path);
  while (semicolon != std::string_view::npos) {
    rest.remove_prefix(semicolon + 1);
    semicolon = rest.find(';');
    std::string_view attribute = trimmed(rest.substr(0, semicolon));
    size_t is = attribute.find('=');
    std::string key = asciiLower(trimmed(attribute.substr(0, is)));
    std::string_view value = is == std::string_view::npos ? "" : trimmed(attribute.substr(is + 1));
    if (key == "domain" && !value.empty()) {
      domain = asciiLower(value[0] == '.' ? value.substr(1) : value);
    } else if (key == "path") {
      cookie.path = !value.empty() && value[0] == '/' ? std::string(value) : defaultPath(path);
    } else if (key == "secure") {
      cookie.secure = true;
    } else if (key == "max-age" && !value.empty()) {
      bool negative = value[0] == '-';
      std::string_view digits = negative ? value.substr(1) : value;
      if (allDigits(digits)) {
        long long seconds = digits.size() > 12 ? 999999999999LL : std::stoll(std::string(digits));
        // Zero or less: the earliest time there is, gone already.
        maxAgeExpiry = negative || seconds == 0 ? 0 : static_cast<long long>(now) + seconds;
      }
    } else if (key == "expires") {
      if (std::optional<long long> when = httpDateSeconds(value)) {
        expiresAt = when;
      }
    }
  }
  cookie.expires = maxAgeExpiry ? maxAgeExpiry : expiresAt;
  cookie.domain = requestHost;
  if (domain) {
    if (!domainMatches(requestHost, *domain) || isTooWideDomain(requestHost, *domain)) {
      return std::nullopt;  // a cookie for somebody else
    }
    cookie.domain = *domain;
    cookie.hostOnly = false;
  }
  return cookie;
}

void CookieJar::take(std::string_view host, std::string_view path, std::string_view setCookie,
                     std::time_t now) {
  std::optional<Cookie> parsed = parseSetCookie(host, path, setCookie, now);
  if (!parsed) {
    return;
  }
  Cookie& cookie = *parsed;
  MutexLock lock(mutex_);
  auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& known) {
    return known.name == cookie.name && known.domain == cookie.domain && known.path == cookie.path;
  });
  if (same != cookies_.end()) {
    cookie.created = same->created;  // a cookie set again keeps its age
    cookies_.erase(same);
  } else {
    cookie.created = ++made_;
  }
  if (!cookie.liveAt(now)) {
    return;  // the site asked for it to go
  }
  if (cookies_.size() >= kMaxCookies) {
    dropExpired(now);
    if (cookies_.size() >= kMaxCookies) {
      return;  // a flood: what the site set first stays
    }
  }
  cookies_.push_back(std::move(cookie));
}

void CookieJar::dropExpired(std::time_t now) {
  std::erase_if(cookies_, [&](const Cookie& cookie) { return !cookie.liveAt(now); });
}

std::string CookieJar::headerFor(std::string_view host, std::string_view path, bool secure,
                                 std::time_t now) const {
  std::string requestHost = asciiLower(host);
  MutexLock lock(mutex_);
  std::vector<const Cookie*> sent;
  for (const Cookie& cookie : cookies_) {
    bool hostFits =
        cookie.hostOnly ? requestHost == cookie.domain : domainMatches(requestHost, cookie.domain);
    if (hostFits && cookie.liveAt(now) && pathMatches(path, cookie.path) &&
        (secure || !cookie.secure)) {
      sent.push_back(&cookie);
    }
  }
  // Longer paths first, then the older cookie, as browsers send them.
  std::stable_sort(sent.begin(), sent.end(), [](const Cookie* a, const Cookie* b) {
    return a->path.size() != b->path.size() ? a->path.size() > b->path.size()
                                            : a->created < b->created;
  });
  std::string header;
  for (const Cookie* cookie : sent) {
    if (!header.empty()) {
      header += "; ";
    }
    header += cookie->name + "=" + cookie->value;
  }
  return header;
}

}  // namespace qz
