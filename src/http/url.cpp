#include "http/url.h"

#include <optional>

#include "base/text.h"

namespace qz {

namespace {

// A URL reference cut into the five components of RFC 3986; a component
// that is absent is not the same as one that is empty.
struct Reference {
  std::optional<std::string> scheme;
  std::optional<std::string> authority;
  std::string path;
  std::optional<std::string> query;
};

Reference parse(std::string_view text) {
  Reference ref;
  text = text.substr(0, text.find('#'));
  size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon > 0 && text.find_first_of("/?") > colon) {
    ref.scheme = std::string(text.substr(0, colon));
    text.remove_prefix(colon + 1);
  }
  if (text.substr(0, 2) == "//") {
    size_t end = text.find_first_of("/?", 2);
    ref.authority = std::string(text.substr(2, end == std::string_view::npos ? end : end - 2));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end);
  }
  size_t question = text.find('?');
  ref.path = std::string(text.substr(0, question));
  if (question != std::string_view::npos) {
    ref.query = std::string(text.substr(question + 1));
  }
  return ref;
}

// Section 5.2.4: "." and ".." segments taken out of a path.
std::string removeDotSegments(std::string input) {
  std::string output;
  while (!input.empty()) {
    if (input.rfind("../", 0) == 0) {
      input.erase(0, 3);
    } else if (input.rfind("./", 0) == 0) {
      input.erase(0, 2);
    } else if (input.rfind("/./", 0) == 0) {
      input.erase(0, 2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.rfind("/../", 0) == 0 || input == "/..") {
      input = input.size() == 3 ? "/" : input.substr(3);
      size_t last = output.rfind('/');
      output.erase(last == std::string::npos ? 0 : last);
    } else if (input == "." || input == "..") {
      input.clear();
    } else {
      size_t next = input.find('/', input[0] == '/' ? 1 : 0);
      output += input.substr(0, next);
      input.erase(0, next == std::string::npos ? input.size() : next);
    }
  }
  return output;
}

// Section 5.2.3: a relative path put after the folder of the base's path.
std::string merge(const Reference& base, const std::string& path) {
  if (base.authority && base.path.empty()) {
    return "/" + path;
  }
  size_t slash = base.path.rfind('/');
  return slash == std::string::npos ? path : base.path.substr(0, slash + 1) + path;
}

bool isWebScheme(const std::string& scheme) {
  std::string lower = asciiLower(scheme);
  return lower == "http" || lower == "https";
}

bool isControlOrSpace(char c) {
  return static_cast<unsigned char>(c) <= 0x20;
}

// The length of the scheme that text begins with, 0 for none: ALPHA *(
// ALPHA / DIGIT / "+" / "-" / "." ) and a colon.
size_t schemeLength(std::string_view text) {
  if (text.empty() || !isAsciiLetter(text[0])) {
    return 0;
  }
  size_t at = 1;
  while (at < text.size() && (isAsciiLetter(text[at]) || isDigit(text[at]) || text[at] == '+' ||
                              text[at] == '-' || text[at] == '.')) {
    ++at;
  }
  return at < text.size() && text[at] == ':' ? at : 0;
}

// A Location as browsers read it for an http or https base, made a
// reference that RFC 3986 resolves the same way; nothing for another scheme.
std::optional<std::string> asBrowsersRead(std::string_view location, const Reference& base) {
  while (!location.empty() && isControlOrSpace(location.front())) {
    location.remove_prefix(1);
  }
  while (!location.empty() && isControlOrSpace(location.back())) {
    location.remove_suffix(1);
  }
  std::string text;
  bool inQuery = false;
  for (char c : location) {
    if (c == '\t' || c == '\n' || c == '\r') {
      continue;
    }
    inQuery = inQuery || c == '?' || c == '#';
    text += c == '\\' && !inQuery ? '/' : c;
  }
  auto slashesThenHost = [](std::string_view rest) {
    return "//" + std::string(rest.substr(std::min(rest.find_first_not_of('/'), rest.size())));
  };
  if (size_t length = schemeLength(text)) {
    std::string scheme = asciiLower(text.substr(0, length));
    if (!isWebScheme(scheme)) {
      return std::nullopt;
    }
    std::string_view rest = std::string_view(text).substr(length + 1);
    if (base.scheme && asciiLower(*base.scheme) == scheme && rest.substr(0, 2) != "//") {
      // "http:x" from an http page is relative to it, and "http:https://x"
      // too: a first segment that looks like a scheme stays one of the path.
      std::string relative(rest);
      return relative.find(':') < relative.find_first_of("/?") ? "./" + relative : relative;
    }
    return scheme + ":" + slashesThenHost(rest);
  }
  if (text.substr(0, 2) == "//") {
    return slashesThenHost(text);
  }
  return text;
}

}  // namespace

std::string originOf(const std::string& url) {
  size_t scheme = url.find("://");
  size_t path = url.find_first_of("/?#", scheme == std::string::npos ? 0 : scheme + 3);
  return url.substr(0, path);
}

std::string withUnsafeBytesEncoded(std::string_view url) {
  return percentEncoded(url, [](unsigned char byte) { return byte <= 0x20 || byte == 0x7F; });
}

std::string resolveLocation(const std::string& url, const std::string& location) {
  Reference base = parse(url);
  std::optional<std::string> read = asBrowsersRead(location, base);
  if (!read) {
    return {};
  }
  Reference ref = parse(*read);
  Reference target;
  if (ref.scheme) {
    target = ref;
    target.path = removeDotSegments(ref.path);
  } else {
    if (ref.authority) {
      target.authority = ref.authority;
      target.path = removeDotSegments(ref.path);
      target.query = ref.query;
    } else {
      if (ref.path.empty()) {
        target.path = base.path;
        target.query = ref.query ? ref.query : base.query;
      } else {
        target.path = removeDotSegments(ref.path[0] == '/' ? ref.path : merge(base, ref.path));
        target.query = ref.query;
      }
      target.authority = base.authority;
    }
    target.scheme = base.scheme;
  }
  if (!target.scheme || !isWebScheme(*target.scheme) || !target.authority) {
    return {};
  }
  std::string result = *target.scheme + "://" + *target.authority + target.path;
  if (target.query) {
    result += "?" + *target.query;
  }
  return result;
}

bool isHostWithin(std::string_view host, std::string_view domain) {
  return host == domain ||
         (host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
          host[host.size() - domain.size() - 1] == '.');
}

bool splitUrl(std::string_view url, UrlParts* parts) {
  Reference ref = parse(url);
  if (!ref.scheme || !isWebScheme(*ref.scheme) || !ref.authority) {
    return false;
  }
  std::string_view authority = *ref.authority;
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  if (!host.empty() && host[0] == '[') {
    host = host.substr(1, host.find(']') - 1);
  } else {
    host = host.substr(0, host.find(':'));
  }
  if (host.empty()) {
    return false;
  }
  parts->secure = asciiLower(*ref.scheme) == "https";
  parts->host = asciiLower(host);
  parts->target = ref.path.empty() ? "/" : ref.path;
  if (ref.query) {
    parts->target += "?" + *ref.query;
  }
  return true;
}

}  // namespace qz
