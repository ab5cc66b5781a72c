// The search box of the reader page: its markup, which names the index's
// files, and the script that folds what is typed as the index folds the
// turns, loads only the shards of its words, and lists the turns found.
#pragma once

#include <string>

#include "reader/search_index.h"

namespace qz {

// The box, its count and its list of results (the element "results"),
// naming the index of info; with no index, the box says the next run makes
// one. Plain ASCII and Windows-1250 bytes.
std::string searchBox(const SearchIndexInfo& info);

// The script of the box, to run before the reader's own script, which
// takes the address's fragment.
std::string searchScript();

}  // namespace qz
