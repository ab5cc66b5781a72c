// Reads a downloaded page into the page text that every search runs on.
#pragma once

#include <string>
#include <string_view>

#include "run/run_state.h"

namespace qz {

// The page text of a file's bytes, read as text: CR LF and LF both end a line
// and become one LF, any other CR is dropped, a NUL drops the rest of its
// line, a Ctrl-Z at the start of a line ends the text and one inside a line
// drops the rest of that line. Every line read, the last one too, ends in LF.
PageText pageTextFromBytes(std::string_view bytes);

// Replaces state.pageText with the text of the named file. A file that cannot
// be opened or read ends the run.
void loadPageText(RunState& state, const std::string& fileName);

}  // namespace qz
