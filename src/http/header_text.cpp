#include "http/header_text.h"

namespace qz {

namespace {

char lowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string_view trimmed(std::string_view text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return {};
  }
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
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

}  // namespace qz
