// The game site's address and the five forms of request URL. Numbers and keys
// go into the URLs exactly as they stand: no escaping, no encoding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

// The built-in site address, used unless QZTURNS_BASE_URL is set.
inline constexpr const char* kDefaultBaseUrl = "http://qz.jatek.invalid";
inline constexpr const char* kBaseUrlVariable = "QZTURNS_BASE_URL";
// The module code of the game on the site.
inline constexpr const char* kModuleCode = "qz";

// QZTURNS_BASE_URL when set and not empty, else the built-in address; trailing
// "/" characters are dropped, since every form appends its own "/".
std::string siteBaseUrl();

std::string frontPageUrl(const std::string& base);
std::string listingPageUrl(const std::string& base, int32_t offset);
std::string characterPageUrl(const std::string& base, std::string_view character);
// Picks the numbered or the oli form by the key's first character.
std::string turnPageUrl(const std::string& base, std::string_view character, std::string_view key);

// A key whose first character is "o" names an oli turn.
bool isOliKey(std::string_view key);

}  // namespace qz
