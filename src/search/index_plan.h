// What one update of the search index does, decided from what the last
// record says and what the archive and the index's folder hold now, without
// touching a file: which turns keep their numbers and titles, which are
// read, which blocks are written and under which generation, whether the
// index is made anew and why, and which files go once it is committed.
// The rules are FORMAT.md's; search_index.h carries a plan out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "search/index_record.h"

namespace qz {

// One turn file of the archive, as the reader lists it.
struct TurnFile {
  std::string file;     // "qz1234/1234-007.htm", with "/" on every system
  std::string address;  // the same as the page links it ("qz1234/1234-ol3,15.htm")
  unsigned long long size = 0;
  long long modified = 0;
};

// Why an index is made anew rather than brought up to date.
enum class Rebuild {
  kNo,
  kNoRecord,       // none, or one that does not read
  kFileMissing,    // a file the record names is gone, or of another size or time
  kBlockSize,      // made with other blocks than asked for
  kUnusedNumbers,  // too many numbers of turns gone or changed lie unused
  kDamagedBlock,   // the block read back to take new turns is not whole
};

// A turn file larger than this is not read for its words: whatever size a
// file claims, the index holds no more of it in memory.
inline constexpr unsigned long long kLargestTurnRead = 256ull << 20;

// More numbers unused than this, and more than a quarter of all, and the
// index is made anew.
inline constexpr uint64_t kMostUnusedNumbers = 64;

struct IndexPlan {
  Rebuild rebuild = Rebuild::kNo;
  uint32_t generation = 0;  // of every file this update writes
  bool changed = false;     // the list of turns and the record are written
  // For each turn given: its number in the index (-1 for none: an empty
  // file), whether it is read from its file, and its title when it is not.
  std::vector<int64_t> numbers;
  std::vector<bool> read;
  std::vector<std::string> titles;
  // The blocks written, from firstBlock on: the turns (positions in the
  // list given) that go into each, in rising number. When reopened, the
  // first of them holds turns from before, read back before the new ones go
  // in, from the record's files of that block (reopenedFiles).
  uint32_t firstBlock = 0;
  std::vector<std::vector<size_t>> blocks;
  bool reopened = false;
  std::vector<std::string> reopenedFiles;
  // For each turn given, whether it is past kLargestTurnRead: listed, its
  // title read, but not its words.
  std::vector<bool> tooLarge;
  // The new record, but for the files of the blocks written, the list of
  // turns and its turns, which the update adds as it writes them.
  Record record;
  // Names in the index's folder that are this program's and that neither
  // the new record nor the one read names: removed once the update is
  // committed (a page opened before it loads the files of the one read).
  std::vector<std::string> stale;
};

// The files in the index's folder as a listing shows them (no checksum).
using FolderListing = std::map<std::string, FileStamp>;

// old is the record as it was read (none when there is none, or it does not
// read); folder, every file in the index's folder; turns, the
// archive's turn files in the order the page lists them. damagedBlock says
// that the block a first plan reopened did not read back whole.
IndexPlan planIndexUpdate(const std::optional<Record>& old, const FolderListing& folder,
                          const std::vector<TurnFile>& turns, uint32_t blockTurns,
                          bool damagedBlock = false);

}  // namespace qz
