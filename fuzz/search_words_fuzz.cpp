// Feeds arbitrary bytes to the search index as two turns of a block and
// checks what it promises: words of letters and digits only, scripts that
// nothing in a turn can break out of, and a block that reads back whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "search/block_index.h"
#include "search/search_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qz::forEachWord(bytes, [](std::string_view word) {
    if (word.empty() || word.size() > qz::kLongestWord ||
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") != std::string_view::npos) {
      std::abort();
    }
  });
  qz::BlockIndex block;
  block.addTurn(0, bytes.substr(0, size / 2));
  block.addTurn(3, bytes.substr(size / 2));
  qz::BlockIndex again;
  block.takeScripts(0, 1, [&](const std::string& name, const std::string& script) {
    std::string_view text;
    if (!qz::shardText(script, text) || !again.takeScript(script, name.find(".p") != name.npos)) {
      std::abort();
    }
  });
  if (!again.whole()) {
    std::abort();
  }
  return 0;
}
