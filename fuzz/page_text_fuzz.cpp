// Feeds arbitrary bytes to the page reader and checks what it promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "page/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  qz::PageText text = qz::pageTextFromBytes(bytes);
  if (text.size() > size + 1 || text.find('\0') != std::string_view::npos ||
      text.find('\r') != std::string_view::npos || (!text.empty() && text.back() != '\n')) {
    std::abort();
  }
  return 0;
}
