// The step each run takes for one character: its number on the console, its
// turn list, the count of its turns, and its turns archived.
#pragma once

#include <string_view>

#include "fetch/fetcher.h"
#include "run/run_state.h"

namespace qz {

// What becomes of a character whose turn list is empty (its page failed,
// hid it, or named no turns): a single-character run writes nothing more and
// makes no folder; the all-characters run writes its count of 0 and makes its
// folder as for any other.
enum class WithoutTurns { kNothingMore, kCountAndFolder };

void archiveCharacter(RunState& state, Fetcher& fetcher, std::string_view character,
                      WithoutTurns withoutTurns);

}  // namespace qz
