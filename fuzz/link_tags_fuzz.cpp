// Feeds arbitrary page text to the tag scan: every tag it gathers must be a
// whole "<A " ... ">" stretch of the text, in order.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "page/link_tags.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  qz::LinkTagList tags;
  qz::appendLinkTags(text, tags);
  size_t from = 0;
  for (size_t i = 0; i < tags.count(); ++i) {
    const std::string& tag = tags.at(i);
    size_t at = text.find(tag, from);
    if (tag.size() < 4 || tag.compare(0, 3, "<A ") != 0 || tag.back() != '>' ||
        tag.find('>') != tag.size() - 1 || at == std::string_view::npos) {
      std::abort();
    }
    from = at + tag.size() - 1;
  }
  return 0;
}
