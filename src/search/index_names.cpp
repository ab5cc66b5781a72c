#include "search/index_names.h"

#include <charconv>

namespace qz {

namespace {

bool isKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

std::string filled(std::string_view pattern, const IndexFileName& name) {
  std::string out;
  for (size_t at = 0; at < pattern.size();) {
    if (pattern[at] != '{') {
      out += pattern[at++];
      continue;
    }
    const size_t end = pattern.find('}', at);
    const std::string_view field = pattern.substr(at + 1, end - at - 1);
    out += field == "key"          ? name.key
           : field == "block"      ? std::to_string(name.block)
           : field == "generation" ? std::to_string(name.generation)
                                   : std::to_string(name.bucket);
    at = end + 1;
  }
  return out;
}

// Reads name as pattern fills it, the fields into into; false when it is not.
bool matches(std::string_view pattern, std::string_view name, IndexFileName& into) {
  for (size_t at = 0; at < pattern.size();) {
    if (pattern[at] != '{') {
      if (name.empty() || name[0] != pattern[at]) {
        return false;
      }
      name.remove_prefix(1);
      ++at;
      continue;
    }
    const size_t end = pattern.find('}', at);
    const std::string_view field = pattern.substr(at + 1, end - at - 1);
    at = end + 1;
    if (field == "key") {
      size_t length = 0;
      while (length < name.size() && length < 2 && isKeyChar(name[length])) {
        ++length;
      }
      if (length == 0) {
        return false;
      }
      into.key = std::string(name.substr(0, length));
      name.remove_prefix(length);
      continue;
    }
    uint32_t& value = field == "block"        ? into.block
                      : field == "generation" ? into.generation
                                              : into.bucket;
    const auto [stop, error] = std::from_chars(name.data(), name.data() + name.size(), value);
    const size_t length = static_cast<size_t>(stop - name.data());
    if (error != std::errc() || (length > 1 && name[0] == '0')) {
      return false;  // no digits, too large, or zeros in front
    }
    name.remove_prefix(length);
  }
  return name.empty();
}

std::string_view patternOf(IndexFileKind kind) {
  return kind == IndexFileKind::kTurns    ? kTurnsPattern
         : kind == IndexFileKind::kPlaces ? kPlacesPattern
                                          : kDocsPattern;
}

}  // namespace

std::string scriptName(const IndexFileName& name) {
  return name.kind == IndexFileKind::kDocs ? std::string(kDocsScriptName)
                                           : filled(patternOf(name.kind), name);
}

std::string fileName(const IndexFileName& name) {
  std::string file = filled(patternOf(name.kind), name);
  file += kScriptSuffix;
  if (name.part) {
    file += kPartSuffix;
  }
  return file;
}

IndexFileName turnsFile(uint32_t block, uint32_t generation, std::string_view key) {
  IndexFileName name;
  name.kind = IndexFileKind::kTurns;
  name.block = block;
  name.generation = generation;
  name.key = std::string(key);
  return name;
}

IndexFileName placesFile(uint32_t block, uint32_t generation, uint32_t bucket) {
  IndexFileName name;
  name.kind = IndexFileKind::kPlaces;
  name.block = block;
  name.generation = generation;
  name.bucket = bucket;
  return name;
}

IndexFileName docsFile(uint32_t generation) {
  IndexFileName name;
  name.generation = generation;
  return name;
}

std::optional<IndexFileName> parseFileName(std::string_view name) {
  IndexFileName parsed;
  parsed.part = name.ends_with(kPartSuffix);
  if (parsed.part) {
    name.remove_suffix(kPartSuffix.size());
  }
  if (!name.ends_with(kScriptSuffix)) {
    return std::nullopt;
  }
  name.remove_suffix(kScriptSuffix.size());
  for (IndexFileKind kind : {IndexFileKind::kTurns, IndexFileKind::kPlaces, IndexFileKind::kDocs}) {
    IndexFileName fields = parsed;
    fields.kind = kind;
    if (matches(patternOf(kind), name, fields)) {
      return fields;
    }
  }
  return std::nullopt;
}

std::string pagePatterns() {
  return std::string("{folder: '") + kSearchFolder + "/', turns: '" + std::string(kTurnsPattern) +
         "', places: '" + std::string(kPlacesPattern) + "', docs: '" +
         std::string(kDocsScriptName) + "', suffix: '" + std::string(kScriptSuffix) + "'}";
}

}  // namespace qz
