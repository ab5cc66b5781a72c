#include "page/page_text.h"

#include <algorithm>
#include <cstring>

#include "run/local_files.h"

namespace qz {

namespace {

constexpr char kCtrlZ = 0x1A;

// Where a line is cut: at its first byte c, or at its end.
size_t cutAt(std::string_view line, char c) {
  const void* found = std::memchr(line.data(), c, line.size());
  return found != nullptr ? static_cast<size_t>(static_cast<const char*>(found) - line.data())
                          : line.size();
}

// Appends one line's bytes: cut at its first NUL or Ctrl-Z, CRs dropped.
void appendLine(std::string_view line, PageText& text) {
  // memchr for each stop byte is far quicker than one scan for either.
  line = line.substr(0, std::min(cutAt(line, '\0'), cutAt(line, kCtrlZ)));
  for (;;) {
    size_t cr = cutAt(line, '\r');
    text.append(line.data(), cr);
    if (cr == line.size()) {
      break;
    }
    line.remove_prefix(cr + 1);
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
