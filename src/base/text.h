// Small text rules that every layer uses: white space around a value, ASCII
// letters compared without regard to case, digits, and percent-encoding.
// Bytes past ASCII are left as they are by all of them.
#pragma once

#include <string>
#include <string_view>

namespace qz {

// text without the spaces, tabs and line ends around it.
std::string_view trimmed(std::string_view text);

// c with A to Z turned into a to z, and the reverse; other bytes as they are.
char lowerAscii(char c);
char upperAscii(char c);
// text with A to Z turned into a to z; other bytes as they are.
std::string asciiLower(std::string_view text);

// True when text begins with prefix, the case of ASCII letters aside. prefix
// is given in lower case.
bool startsWithIgnoringCase(std::string_view text, std::string_view prefix);

// Where lower (given in lower case) first stands in text at or after from,
// the case of ASCII letters aside; npos when it does not.
size_t findIgnoringCase(std::string_view text, std::string_view lower, size_t from = 0);

// True for "0" to "9" (0x30 to 0x39) only.
bool isDigit(char ch);
// True for "A" to "Z" and "a" to "z" only.
bool isAsciiLetter(char ch);
// True for a text of one or more digits and nothing else.
bool allDigits(std::string_view text);

// text with every byte for which encode is true percent-encoded ("%2F",
// upper-case hex), the others as they are.
std::string percentEncoded(std::string_view text, bool (*encode)(unsigned char byte));

}  // namespace qz
