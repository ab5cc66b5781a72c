#include "page/link_tags.h"

#include <string>

namespace qz {

void appendLinkTags(std::string_view text, LinkTagList& tags) {
  size_t pos = 0;
  for (;;) {
    size_t open = text.find("<A ", pos);
    if (open == std::string_view::npos) {
      return;
    }
    size_t close = text.find('>', open);
    if (close == std::string_view::npos) {
      return;
    }
    tags.append(std::string(text.substr(open, close - open + 1)));
    pos = close;
  }
}

void collectLinkTags(RunState& state) {
  appendLinkTags(state.pageText, state.linkTags);
}

}  // namespace qz
