// The search box of the reader page, which names the index's files, and
// the constants the page's scripts take from the program: the fold of
// letters, the number alphabets and the names of the index's files.
#pragma once

#include <string>

#include "search/search_index.h"

namespace qz {

// The box, its count and its list of results (the element "results"),
// naming the index of info; with no index, the box says the next run makes
// one. Plain ASCII and Windows-1250 bytes.
std::string searchBox(const SearchIndexInfo& info);

// The one statement that gives the page's scripts the program's tables:
// "var QZ = {...};", plain ASCII.
std::string pageConstants();

}  // namespace qz
