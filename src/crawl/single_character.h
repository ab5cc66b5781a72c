// The single-character run, for the one character number given on the
// command line.
#pragma once

#include <string_view>

#include "run/run_state.h"

namespace qz {

// Writes the number, collects the character's turn list and, when it holds
// any keys, writes their count and archives them. A character without turns
// gets no folder.
void archiveSingleCharacter(RunState& state, std::string_view character);

}  // namespace qz
