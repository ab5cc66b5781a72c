// The search index beside index.htm: the folder search-index, which the
// reader page loads by script from file://. Each run brings it up to date
// with the archive, reading only the turn files that are new or changed
// since the last run (by size and time of last write) and rewriting only
// the block of turns they go into; the titles the page lists come from it.
// An index that does not match what this version writes is made anew.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class DurableBatch;

inline constexpr const char* kSearchFolder = "search-index";
inline constexpr const char* kForeignSearchMessage =
    "qzturns: search-index was not written by qzturns; it is left as it is and the reader "
    "page has no search.\r\n";

// One turn file of the archive, as the reader lists it.
struct TurnFile {
  std::string file;  // "qz1234/1234-007.htm", with "/" on every system
  unsigned long long size = 0;
  long long modified = 0;
};

// What the page needs to load the index: the script of the turns' files,
// and the generation of each block's shards. docsScript is empty when
// there is no index.
struct SearchIndexInfo {
  std::string docsScript;  // "search-index/docs-12.js"
  std::vector<uint32_t> blockGenerations;
  uint32_t blockTurns = 0;
};

// How many turns a block of the index holds.
inline constexpr uint32_t kSearchBlockTurns = 4096;

struct SearchIndexUpdate {
  SearchIndexInfo info;
  std::vector<std::string> titles;  // one for each turn given, as titleOf() reads it
  std::vector<std::string> staleFiles;
};

// Brings the index of the archive in folder up to date with turns (in the
// order the page lists them), writing its new files: shards at once, the
// turns' script and the index's record through batch, with the page. The
// update's staleFiles are to go once batch is committed (removeStaleFiles).
// No index, and titles read from the turn files, when search-index is not
// this program's; a failure to write ends the run.
SearchIndexUpdate updateSearchIndex(const std::string& folder, const std::vector<TurnFile>& turns,
                                    DurableBatch& batch, uint32_t blockTurns = kSearchBlockTurns);

// Removes the files of the index that the committed update left behind.
void removeStaleFiles(const std::vector<std::string>& staleFiles);

// The title of a turn file from its first bytes: the text of its TITLE
// element, line breaks made spaces and "<" and ">" escaped.
std::string titleOf(std::string_view head);

}  // namespace qz
