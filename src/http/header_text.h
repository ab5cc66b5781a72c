// Small text rules of HTTP headers, shared by the clients, the decoder, the
// cookie jar and the retry policy: white space around a value, and names and
// tokens compared without regard to the case of ASCII letters.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// text without the spaces, tabs and line ends around it.
std::string_view trimmed(std::string_view text);

// text with A to Z turned into a to z; other bytes as they are.
std::string asciiLower(std::string_view text);

// True when text begins with prefix, the case of ASCII letters aside. prefix
// is given in lower case.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

}  // namespace qz
