#include "http/redirect_location.h"

#include "http/header_text.h"

namespace qz {

std::string resolveLocation(const std::string& url, const std::string& location) {
  if (startsWithIgnoringCase(location, "http://") || startsWithIgnoringCase(location, "https://")) {
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
