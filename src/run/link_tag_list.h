// LinkTagList: link tags in the order they were found on the pages.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace qz {

// Appends only; duplicates stay. Entries are read back in insertion order.
class LinkTagList {
 public:
  void append(std::string tag) { tags_.push_back(std::move(tag)); }
  void clear() { tags_.clear(); }
  size_t count() const { return tags_.size(); }
  const std::string& at(size_t i) const { return tags_[i]; }

 private:
  std::vector<std::string> tags_;
};

}  // namespace qz
