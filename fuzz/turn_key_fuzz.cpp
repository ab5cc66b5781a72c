// Feeds arbitrary link tags to the turn-key rules: a key never holds a byte
// that a file name on Windows or Linux cannot, and the file it names always
// stays inside the character's folder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "crawl/turn_archive.h"
#include "crawl/turn_list.h"
#include "page/site_urls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view tag(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> key = qz::turnKeyFromTag(tag);
  if (!key) {
    return 0;
  }
  std::string name = qz::turnFileName("1234", *key);
  bool unsafe = false;
  for (char c : *key) {
    unsafe = unsafe || static_cast<unsigned char>(c) < 0x20 ||
             std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
  }
  if (unsafe || key->size() > 32 || name.rfind("qz1234/1234-", 0) != 0 ||
      name.find('/', 7) != std::string::npos) {
    std::abort();
  }
  std::string url = qz::turnPageUrl("http://h", "1234", *key);
  if (url.rfind("http://h/?m=qz&in=fordulo.php&karakter=QZ1234&fordulo=", 0) != 0) {
    std::abort();
  }
  return 0;
}
