#include "http/redirect_location.h"

#include <optional>

#include "http/header_text.h"

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

}  // namespace

std::string resolveLocation(const std::string& url, const std::string& location) {
  Reference base = parse(url);
  Reference ref = parse(location);
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
