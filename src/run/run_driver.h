// The frame of a run: the command line, the banner and the summary line.
// main() wires these around the crawl.
#pragma once

#include <string>
#include <vector>

#include "run/run_state.h"

namespace qz {

// The arguments that choose the run: empty ones are dropped, the rest kept
// as they stand. Exactly one left means a single-character run.
std::vector<std::string> runArguments(int argc, char** argv);

// Writes the banner line and the empty line after it.
void writeBanner();

// Ends whatever line is open, writes the summary line, flushes, and returns
// the exit status of a run that got this far (0).
int finishRun(const RunState& state);

}  // namespace qz
