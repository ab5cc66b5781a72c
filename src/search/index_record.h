// The record of the search index (search-index/record.txt): what the last
// run wrote, and every turn file it read, so that the next run reads only
// what is new or changed. Its lines and checksum: FORMAT.md. A record that
// is damaged, or of another version, does not read.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qz {

// The record's first line: the kind of file, then the version of its format.
// A file of that name beginning otherwise is somebody else's.
inline constexpr std::string_view kRecordKind = "qzturns search index ";

// The index's files with their sizes, its blocks, and every turn file read,
// by the address the page gives it.
struct Record {
  uint32_t generation = 0;
  uint32_t blockTurns = 0;
  uint32_t nextTurn = 0;
  std::string docsName;
  std::vector<uint32_t> blockGenerations;
  std::map<std::string, unsigned long long> files;
  struct Turn {
    int64_t number = -1;  // in the index; -1 for an empty file
    unsigned long long size = 0;
    long long modified = 0;
    std::string title;
  };
  std::unordered_map<std::string, Turn> turns;
};

// The record as text, ending in a checksum of the rest.
std::string recordText(const Record& record);

// The record in text; false, and record undefined, unless text is whole and
// of this version.
bool readRecord(std::string_view text, Record& record);

}  // namespace qz
