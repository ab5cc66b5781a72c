#include "base/text.h"

#include <algorithm>

namespace qz {

std::string_view trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char upperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string asciiLower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    c = lowerAscii(c);
  }
  return result;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) {
    return false;
  }
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (lowerAscii(text[i]) != prefix[i]) {
      return false;
    }
  }
  return true;
}

size_t findIgnoringCase(std::string_view text, std::string_view lower, size_t from) {
  for (size_t i = from; i + lower.size() <= text.size(); ++i) {
    if (startsWithIgnoringCase(text.substr(i), lower)) {
      return i;
    }
  }
  return std::string_view::npos;
}

bool isAsciiLetter(char ch) {
  return lowerAscii(ch) >= 'a' && lowerAscii(ch) <= 'z';
}

bool isDigit(char ch) {
  return ch >= '0' && ch <= '9';
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

std::string percentEncoded(std::string_view text, bool (*encode)(unsigned char byte)) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!encode(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

}  // namespace qz
