// Which proxy a request goes through, as libcurl picks it from the
// environment: http_proxy (lower case only) or https_proxy / HTTPS_PROXY by
// the URL's scheme, else all_proxy / ALL_PROXY, unless no_proxy / NO_PROXY
// names the host ("*" for every host, a name for itself and the hosts under
// it); the lower-case variable first. So that a failure through a proxy is
// told as the proxy's, not the site's.
#pragma once

#include <string>
#include <string_view>

namespace qz {

struct ProxyChoice {
  std::string proxy;     // empty: straight to the site
  std::string variable;  // the variable that named it
};

// environment reads a variable (nullptr when unset); the process's by default.
ProxyChoice proxyFor(std::string_view url, const char* (*environment)(const char*) = nullptr);

}  // namespace qz
