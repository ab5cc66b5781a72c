// The search index beside index.htm: the folder search-index, which the
// reader page loads by script from file://. Each run brings it up to date
// with the archive (index_plan.h decides how; FORMAT.md says what each file
// holds), reading only the turn files that are new or changed, and the
// titles the page lists come from it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "search/index_plan.h"

namespace qz {

inline constexpr const char* kForeignSearchMessage =
    "qzturns: search-index was not written by qzturns; it is left as it is and the reader "
    "page has no search.\r\n";

// What the page needs to load the index: the script of the list of turns
// and each block's generation. docsScript is empty when there is no index.
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
  size_t filesWritten = 0;          // of the index, the page aside
  // The turn files read but too large to read for their words.
  std::vector<std::string> notSearched;
  // The report's code of a failure to write the index (0 for none): the
  // page then went without search.
  int indexFailure = 0;
};

// The line a run says for a turn file of notSearched.
std::string notSearchedMessage(const std::string& file);

// The page that goes with an index: its bytes, from what it loads and the
// turns' titles.
using PageMaker = std::function<std::string(const SearchIndexUpdate&)>;

// Brings the index of the archive in folder up to date with turns (in the
// order the page lists them) and writes the page at pagePath with it: the
// blocks' scripts and the list of turns first, then the record and the page
// together, then the files the update left behind are removed. When
// search-index is not this program's, nothing of it is touched and the
// page goes without search (info.docsScript empty), its titles read from
// the turn files. A failure to write the index leaves it as it was (the
// next run repairs it) and writes the page without search; a failure to
// write the page throws FileFailure (run_error.h).
SearchIndexUpdate updateSearchIndex(const std::string& folder, const std::vector<TurnFile>& turns,
                                    const std::string& pagePath, const PageMaker& page,
                                    uint32_t blockTurns = kSearchBlockTurns);

// The title of a turn file from its first bytes: the text of its TITLE
// element, line breaks made spaces and "<" and ">" escaped.
std::string titleOf(std::string_view head);

}  // namespace qz
