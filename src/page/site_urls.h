// The game site's address and the five forms of request URL. Numbers and keys
// go into the URLs exactly as they stand: no escaping, no encoding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

inline constexpr const char* kBaseUrlVariable = "QZTURNS_BASE_URL";
inline constexpr const char* kExampleBaseUrl = "http://www.example.hu";
// The module code of the game on the site.
inline constexpr const char* kModuleCode = "qz";

// The site address that a QZTURNS_BASE_URL value names (nullptr: unset):
// "http://" or "https://", a host, an optional port, and nothing else. White
// space and quotes around it and one trailing "/" are forgiven and dropped,
// since every URL form appends its own "/". False, with the one line to
// tell the user in *complaint, for anything else.
bool siteBaseUrlFrom(const char* value, std::string* base, std::string* complaint);

// The same for the QZTURNS_BASE_URL of the environment.
bool siteBaseUrlFromEnvironment(std::string* base, std::string* complaint);

std::string frontPageUrl(const std::string& base);
std::string listingPageUrl(const std::string& base, int32_t offset);
std::string characterPageUrl(const std::string& base, std::string_view character);
// Picks the numbered or the oli form by the key's first character.
std::string turnPageUrl(const std::string& base, std::string_view character, std::string_view key);

// A key whose first character is "o" names an oli turn.
bool isOliKey(std::string_view key);

}  // namespace qz
