#include "run/key_list.h"

#include <algorithm>

namespace qz {

namespace {

unsigned char foldCase(unsigned char c) {
  // Only ASCII letters fold: keys are byte strings in a single-byte code page,
  // and the site's numbers and keys are ASCII in practice.
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

int compareKeys(std::string_view a, std::string_view b) {
  size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    unsigned char ca = foldCase(static_cast<unsigned char>(a[i]));
    unsigned char cb = foldCase(static_cast<unsigned char>(b[i]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

bool KeyList::add(std::string_view s) {
  auto place = std::lower_bound(
      keys_.begin(), keys_.end(), s,
      [](const std::string& entry, std::string_view key) { return compareKeys(entry, key) < 0; });
  if (place != keys_.end() && compareKeys(*place, s) == 0) {
    return false;
  }
  keys_.insert(place, std::string(s));
  return true;
}

}  // namespace qz
