// Gathers the link tags of a page: every stretch from "<A " (capital A, one
// space) through the next ">", in page order, line ends inside kept.
#pragma once

#include <string_view>

#include "run/run_state.h"

namespace qz {

// Appends the link tags of text to tags. A "<A " with no later ">" ends the scan.
void appendLinkTags(std::string_view text, LinkTagList& tags);

// Appends the link tags of state.pageText to state.linkTags; never empties it.
void collectLinkTags(RunState& state);

}  // namespace qz
