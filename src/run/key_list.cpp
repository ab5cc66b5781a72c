#include "run/key_list.h"

#include <algorithm>

#include "base/text.h"

namespace qz {

namespace {

// Only ASCII letters fold: keys are byte strings in a single-byte code page,
// and the site's numbers and keys are ASCII in practice.
unsigned char foldCase(unsigned char c) {
  return static_cast<unsigned char>(lowerAscii(static_cast<char>(c)));
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
  if (keys_.find(s) != keys_.end()) {
    return false;
  }
  keys_.emplace(s);
  indexStale_ = true;
  return true;
}

void KeyList::clear() {
  keys_.clear();
  index_.clear();
  indexStale_ = false;
}

const std::string& KeyList::at(size_t i) const {
  if (indexStale_) {
    index_.clear();
    index_.reserve(keys_.size());
    for (const std::string& key : keys_) {
      index_.push_back(&key);
    }
    indexStale_ = false;
  }
  return *index_[i];
}

}  // namespace qz
