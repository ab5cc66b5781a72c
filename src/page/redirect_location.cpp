#include "page/redirect_location.h"

namespace qz {

namespace {

bool hasScheme(std::string_view text, std::string_view scheme) {
  if (text.size() < scheme.size()) {
    return false;
  }
  for (size_t i = 0; i < scheme.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
    if (c != scheme[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string resolveLocation(const std::string& url, const std::string& location) {
  if (hasScheme(location, "http://") || hasScheme(location, "https://")) {
    return location;
  }
  size_t colon = location.find(':');
  if (colon != std::string::npos && location.find_first_of("/?#") > colon) {
    return {};  // another scheme: never followed
  }
  size_t schemeEnd = url.find("://");
  size_t pathStart = url.find('/', schemeEnd + 3);
  std::string origin = url.substr(0, pathStart);
  if (location.rfind("//", 0) == 0) {
    return url.substr(0, schemeEnd + 1) + location;
  }
  if (!location.empty() && location[0] == '/') {
    return origin + location;
  }
  std::string path = pathStart == std::string::npos ? "/" : url.substr(pathStart);
  path = path.substr(0, path.find_first_of("?#"));
  return origin + path.substr(0, path.rfind('/') + 1) + location;
}

}  // namespace qz
