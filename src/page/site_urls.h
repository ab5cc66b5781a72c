// The five forms of request URL, under the game site's address. Numbers and
// keys go into the URLs as they stand but for the bytes that would end or
// split the query ("#", "&", "%", "+", "="), which are percent-encoded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

// The module code of the game on the site.
inline constexpr const char* kModuleCode = "qz";

std::string frontPageUrl(const std::string& base);
std::string listingPageUrl(const std::string& base, int32_t offset);
std::string characterPageUrl(const std::string& base, std::string_view character);
// Picks the numbered or the oli form by the key's first character.
std::string turnPageUrl(const std::string& base, std::string_view character, std::string_view key);

// A key whose first character is "o" names an oli turn.
bool isOliKey(std::string_view key);

}  // namespace qz
