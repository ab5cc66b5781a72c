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

// The checksum of the record and of each file it names: FNV-1a in 64 bits
// over the bytes eight at a time, as little-endian words, then one at a time
// (FORMAT.md).
uint64_t checksumOf(std::string_view bytes);

// A file as the record knows it: what a listing shows of it, and the
// checksum of its bytes, checked whenever they are read back.
struct FileStamp {
  unsigned long long size = 0;
  long long modified = 0;
  uint64_t checksum = 0;
  bool operator==(const FileStamp&) const = default;
};

// The index's files, its blocks, and every turn file read, by the address
// the page gives it.
struct Record {
  uint32_t generation = 0;
  uint32_t blockTurns = 0;
  uint32_t nextTurn = 0;
  std::string docsName;
  std::vector<uint32_t> blockGenerations;
  std::map<std::string, FileStamp> files;
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

// The record in text; false, and record undefined, unless text is whole,
// of this version and in range: every name one the index gives, the list of
// turns among its files, one generation for each block the next number
// needs and none past the record's, turn numbers below the next and none
// twice, no title with markup.
bool readRecord(std::string_view text, Record& record);

}  // namespace qz
