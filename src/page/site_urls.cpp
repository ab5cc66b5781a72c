#include "page/site_urls.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "http/header_text.h"
#include "run/process_setup.h"

namespace qz {

namespace {

std::string upperModuleCode() {
  std::string code = kModuleCode;
  for (char& c : code) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return code;
}

std::string modulePage(const std::string& base, std::string_view page) {
  std::string url = base + "/?m=" + kModuleCode + "&in=";
  url += page;
  return url;
}

}  // namespace

namespace {

bool isHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.';
}

// A host name or IPv4 address ("www.example.hu", "127.0.0.1"), or an IPv6
// address in brackets, then an optional ":port" of 1 to 65535.
bool isHostAndPort(std::string_view text) {
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1 ||
        text.substr(1, close - 1).find_first_not_of("0123456789abcdefABCDEF:.") !=
            std::string_view::npos) {
      return false;
    }
    host = {};
    text.remove_prefix(close + 1);
    if (!text.empty() && text[0] != ':') {
      return false;
    }
    port = text.empty() ? text : text.substr(1);
    if (text.size() == 1) {
      return false;
    }
  } else {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      if (port.empty()) {
        return false;
      }
    }
    if (host.empty() || host.front() == '.' || host.front() == '-' ||
        host.find("..") != std::string_view::npos ||
        !std::all_of(host.begin(), host.end(), isHostCharacter)) {
      return false;
    }
  }
  if (port.empty()) {
    return true;
  }
  if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) {
    return false;
  }
  int number = std::stoi(std::string(port));
  return number >= 1 && number <= 65535;
}

}  // namespace

bool siteBaseUrlFrom(const char* value, std::string* base, std::string* complaint) {
  const std::string hint = std::string(" ") + howToSetVariable(kBaseUrlVariable, kExampleBaseUrl);
  if (value == nullptr || trimmed(value).empty()) {
    *complaint = std::string(kBaseUrlVariable) + " is not set; it names the game's site, such as " +
                 kExampleBaseUrl + "." + hint;
    return false;
  }
  std::string_view text = trimmed(value);
  // A value quoted in cmd.exe keeps its quotes.
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = trimmed(text.substr(1, text.size() - 2));
  }
  std::string shown = "\"" + std::string(value) + "\"";
  std::string scheme;
  if (startsWithIgnoringCase(text, "http://")) {
    scheme = "http://";
  } else if (startsWithIgnoringCase(text, "https://")) {
    scheme = "https://";
  } else {
    *complaint = std::string(kBaseUrlVariable) + " must begin with http:// or https://, not " +
                 shown + "." + hint;
    return false;
  }
  std::string_view rest = text.substr(scheme.size());
  if (!rest.empty() && rest.back() == '/') {
    rest.remove_suffix(1);
  }
  size_t extra = rest.find_first_of("/?#@ \t");
  if (extra != std::string_view::npos) {
    *complaint = std::string(kBaseUrlVariable) +
                 " must be the site's address alone, without a page, path or query, not " + shown +
                 "." + hint;
    return false;
  }
  if (!isHostAndPort(rest)) {
    *complaint =
        std::string(kBaseUrlVariable) + " has no valid host name or port in " + shown + "." + hint;
    return false;
  }
  *base = scheme + std::string(rest);
  return true;
}

bool siteBaseUrlFromEnvironment(std::string* base, std::string* complaint) {
  return siteBaseUrlFrom(std::getenv(kBaseUrlVariable), base, complaint);
}

std::string frontPageUrl(const std::string& base) {
  return base + "/?s=1&nogfx=on";
}

std::string listingPageUrl(const std::string& base, int32_t offset) {
  return modulePage(base, "nyilvanos.php&rendez=&kezd=") + std::to_string(offset);
}

std::string characterPageUrl(const std::string& base, std::string_view character) {
  std::string url = modulePage(base, "karakter.php&karakter=") + upperModuleCode();
  url += character;
  return url;
}

bool isOliKey(std::string_view key) {
  return !key.empty() && key[0] == 'o';
}

std::string turnPageUrl(const std::string& base, std::string_view character, std::string_view key) {
  std::string url = modulePage(base, "fordulo.php&karakter=") + upperModuleCode();
  url += character;
  url += "&fordulo=";
  if (isOliKey(key)) {
    url += "0&oli=";
    url += key.substr(std::min<size_t>(2, key.size()), 10);
  } else {
    url += key;
  }
  return url;
}

}  // namespace qz
