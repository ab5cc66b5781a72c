// KeyList: character numbers or turn keys, kept sorted and unique.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// Three-way comparison of two keys, ignoring the case of ASCII letters; a
// string that is a prefix of another sorts first. Negative, zero or positive.
int compareKeys(std::string_view a, std::string_view b);

// Sorted by compareKeys, without entries that compare equal: adding a string
// equal to an entry (even one differing only in letter case) changes nothing.
class KeyList {
 public:
  // Returns true when s was inserted, false when an equal entry was present.
  bool add(std::string_view s);
  void clear() { keys_.clear(); }
  size_t count() const { return keys_.size(); }
  const std::string& at(size_t i) const { return keys_[i]; }

 private:
  std::vector<std::string> keys_;
};

}  // namespace qz
