#include "page/archive_names.h"

#include "page/site_urls.h"
#include "run/local_files.h"

namespace qz {

namespace {

std::string keyPart(std::string_view key) {
  if (isOliKey(key) || key.size() > 3) {
    return std::string(key);
  }
  std::string padded = "00" + std::string(key);
  return padded.size() <= 3 ? padded : padded.substr(padded.size() - 3);
}

}  // namespace

bool isPortableNamePart(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::string characterFolder(std::string_view character) {
  return std::string(kModuleCode) + std::string(character);
}

std::string turnFileName(std::string_view character, std::string_view key) {
  std::string name = characterFolder(character);
  name += kDirectorySeparator;
  name += character;
  name += '-';
  name += keyPart(key);
  name += ".htm";
  return name;
}

}  // namespace qz
