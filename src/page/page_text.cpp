#include "page/page_text.h"

#include <cstring>

#include "run/local_files.h"

namespace qz {

namespace {

constexpr char kCtrlZ = 0x1A;

// Appends one line's bytes: cut at its first NUL or Ctrl-Z, CRs dropped.
void appendLine(std::string_view line, PageText& text) {
  size_t cut = line.find_first_of(std::string_view("\0\x1A", 2));
  if (cut != std::string_view::npos) {
    line = line.substr(0, cut);
  }
  size_t from = 0;
  for (;;) {
    size_t cr = line.find('\r', from);
    if (cr == std::string_view::npos) {
      text.append(line.data() + from, line.size() - from);
      break;
    }
    text.append(line.data() + from, cr - from);
    from = cr + 1;
  }
  text.push_back('\n');
}

}  // namespace

PageText pageTextFromBytes(std::string_view bytes) {
  PageText text;
  text.reserve(bytes.size() + 3);
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (bytes[pos] == kCtrlZ) {
      break;
    }
    const void* lf = std::memchr(bytes.data() + pos, '\n', bytes.size() - pos);
    size_t end = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - bytes.data())
                               : bytes.size();
    appendLine(bytes.substr(pos, end - pos), text);
    pos = end + 1;
  }
  return text;
}

void loadPageText(RunState& state, const std::string& fileName) {
  state.pageText = pageTextFromBytes(readWholeFile(fileName));
}

}  // namespace qz
