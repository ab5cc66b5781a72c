// KeyList: character numbers or turn keys, kept sorted and unique.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// Three-way comparison of two keys, ignoring the case of ASCII letters; a
// string that is a prefix of another sorts first. Negative, zero or positive.
int compareKeys(std::string_view a, std::string_view b);

// Sorted by compareKeys, without entries that compare equal: adding a string
// equal to an entry (even one differing only in letter case) changes nothing.
// An add costs O(log n); reading by index after adds rebuilds the index once.
class KeyList {
 public:
  // Returns true when s was inserted, false when an equal entry was present.
  bool add(std::string_view s);
  void clear();
  size_t count() const { return keys_.size(); }
  const std::string& at(size_t i) const;

 private:
  struct Less {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return compareKeys(a, b) < 0; }
  };
  std::set<std::string, Less> keys_;
  // The entries in order, for reading by index; rebuilt after adds.
  mutable std::vector<const std::string*> index_;
  mutable bool indexStale_ = false;
};

}  // namespace qz
