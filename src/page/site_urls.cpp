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

// A number or key as it goes into the query: the bytes that would end or
// split the query ("#", "&"), or that the site would read as something else
// ("%", "+", "="), percent-encoded, so that the site gets the bytes it named
// and no two numbers or keys share a URL. Everything else goes as it stands,
// the comma of an oli pair among it; the client encodes spaces and control
// bytes as it sends.
std::string queryValue(std::string_view text) {
  return percentEncoded(text, [](unsigned char byte) {
    return std::string_view("#&%+=").find(static_cast<char>(byte)) != std::string_view::npos;
  });
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
  url += queryValue(character);
  return url;
}

bool isOliKey(std::string_view key) {
  return !key.empty() && key[0] == 'o';
}

std::string turnPageUrl(const std::string& base, std::string_view character, std::string_view key) {
  std::string url = modulePage(base, "fordulo.php&karakter=") + upperModuleCode();
  url += queryValue(character);
  url += "&fordulo=";
  if (isOliKey(key)) {
    url += "0&oli=";
    url += queryValue(key.substr(std::min<size_t>(2, key.size()), 10));
  } else {
    url += queryValue(key);
  }
  return url;
}

}  // namespace qz
