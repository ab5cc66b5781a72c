// Every name of the search index's files, made and parsed here alone, from
// one grammar of patterns that the page's script is handed as they stand
// (pagePatterns); the grammar is written down in FORMAT.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qz {

inline constexpr const char* kSearchFolder = "search-index";
inline constexpr const char* kRecordName = "record.txt";
// Every script of the index ends so; a file in flight adds kPartSuffix.
inline constexpr std::string_view kScriptSuffix = ".js";
inline constexpr std::string_view kPartSuffix = ".part";

// The patterns of the scripts' names (without kScriptSuffix): a "{field}"
// stands for a number in decimal without leading zeros, or for "key", one or
// two of the letters and digits of folded words.
inline constexpr std::string_view kTurnsPattern = "b{block}-{generation}-{key}";
inline constexpr std::string_view kPlacesPattern = "b{block}-{generation}.p{bucket}";
inline constexpr std::string_view kDocsPattern = "docs-{generation}";
// The name the list of turns calls qzIndex with, whatever its generation.
inline constexpr std::string_view kDocsScriptName = "docs";

enum class IndexFileKind { kTurns, kPlaces, kDocs };

// A file of the index as its name says.
struct IndexFileName {
  IndexFileKind kind = IndexFileKind::kDocs;
  uint32_t block = 0;
  uint32_t generation = 0;
  std::string key;      // kTurns only
  uint32_t bucket = 0;  // kPlaces only
  bool part = false;    // the name ends in kPartSuffix

  bool operator==(const IndexFileName&) const = default;
};

// The script's name as qzIndex is called with it, and its file's name.
std::string scriptName(const IndexFileName& name);
std::string fileName(const IndexFileName& name);

IndexFileName turnsFile(uint32_t block, uint32_t generation, std::string_view key);
IndexFileName placesFile(uint32_t block, uint32_t generation, uint32_t bucket);
IndexFileName docsFile(uint32_t generation);

// What a file's name says, when it is a name fileName() gives and no other
// (so that parsing and making again give the same bytes); nothing otherwise.
std::optional<IndexFileName> parseFileName(std::string_view name);

// The patterns as the page's script takes them: a JavaScript object literal.
std::string pagePatterns();

}  // namespace qz
