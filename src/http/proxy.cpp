#include "http/proxy.h"

#include <cstdlib>

#include "base/text.h"
#include "http/url.h"

namespace qz {

namespace {

const char* processEnvironment(const char* name) {
  return std::getenv(name);
}

// The first of the names that is set and not empty, with its name.
ProxyChoice firstSet(std::initializer_list<const char*> names,
                     const char* (*environment)(const char*)) {
  for (const char* name : names) {
    const char* value = environment(name);
    if (value != nullptr && *value != '\0') {
      return {value, name};
    }
  }
  return {};
}

bool namedIn(std::string_view host, std::string_view list) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string name = asciiLower(trimmed(list.substr(0, comma)));
    list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    if (!name.empty() && name[0] == '.') {
      name.erase(0, 1);
    }
    if (name == "*") {
      return true;
    }
    if (!name.empty() && isHostWithin(host, name)) {
      return true;
    }
  }
  return false;
}

}  // namespace

ProxyChoice proxyFor(std::string_view url, const char* (*environment)(const char*)) {
  if (environment == nullptr) {
    environment = processEnvironment;
  }
  UrlParts parts;
  if (!splitUrl(url, &parts)) {
    return {};
  }
  ProxyChoice bypass = firstSet({"no_proxy", "NO_PROXY"}, environment);
  if (namedIn(parts.host, bypass.proxy)) {
    return {};
  }
  ProxyChoice choice = parts.secure ? firstSet({"https_proxy", "HTTPS_PROXY"}, environment)
                                    : firstSet({"http_proxy"}, environment);
  return choice.proxy.empty() ? firstSet({"all_proxy", "ALL_PROXY"}, environment) : choice;
}

}  // namespace qz
