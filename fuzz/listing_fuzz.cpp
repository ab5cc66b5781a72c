// Feeds arbitrary link tags to the listing readers: offsets wrap without
// undefined behaviour, numbers are at most four characters and never hold a
// byte that a folder name on Windows or Linux cannot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "crawl/character_roster.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view tag(reinterpret_cast<const char*>(data), size);
  qz::RunState state;
  state.linkTags.append(std::string(tag));
  state.linkTags.append(std::string(tag.substr(size / 2)));
  int32_t before = state.listingOffset;
  if (qz::advanceListingOffset(state) && state.listingOffset <= before) {
    std::abort();
  }
  qz::extractCharacterNumbers(state);
  for (size_t i = 0; i < state.characterRoster.count(); ++i) {
    const std::string& number = state.characterRoster.at(i);
    if (number.size() > 4) {
      std::abort();
    }
    for (char c : number) {
      if (static_cast<unsigned char>(c) < 0x20 ||
          std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
        std::abort();
      }
    }
  }
  return 0;
}
