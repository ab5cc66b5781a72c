#include "page/site_urls.h"

#include <algorithm>
#include <string_view>

#include "base/text.h"

namespace qz {

namespace {

std::string upperModuleCode() {
  std::string code = kModuleCode;
  for (char& c : code) {
    c = upperAscii(c);
  }
  return code;
}

std::string modulePage(const std::string& base, std::string_view page) {
  std::string url = base + "/?m=" + kModuleCode + "&in=";
  url += page;
  return url;
}

}  // namespace

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
