// URLs as the client needs them: where a redirect leads, and the parts of a
// URL that cookies are matched against.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// The absolute URL that a Location header leads to from url (an absolute
// http or https URL), as browsers follow it: white space and control bytes
// around it dropped and tabs and line breaks within it, backslashes before
// the query taken for slashes, any number of slashes before a host
// ("///x"), a scheme that is the base's own without slashes ("http:x") a
// reference relative to it; then resolved as RFC 3986 section 5 resolves a
// reference against its base. The fragment is dropped, since it is never
// sent. Empty for a Location of any scheme but http and https, which is
// never followed.
std::string resolveLocation(const std::string& url, const std::string& location);

// "http://host:port" of an absolute URL: all before its path.
std::string originOf(const std::string& url);

// url with every space and control byte percent-encoded, as browsers send
// them: what clients refuse to put in a request line.
std::string withUnsafeBytesEncoded(std::string_view url);

// True when host is domain or a name under it ("www.example.hu" is within
// "example.hu"; "badexample.hu" is not). Both are given in lower case.
bool isHostWithin(std::string_view host, std::string_view domain);

// The parts of an absolute http or https URL.
struct UrlParts {
  bool secure = false;  // https
  std::string host;     // lower case, without user, port or brackets
  std::string target;   // path and query as sent: "/" when the URL has no path
};

// False when url is not an absolute http or https URL with a host.
bool splitUrl(std::string_view url, UrlParts* parts);

}  // namespace qz
