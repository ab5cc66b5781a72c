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

// True for the one argument that asks what the program is rather than for
// a character: "--help", "-h", "/?" or "--version".
bool isHelpArgument(const std::string& argument);

// The line that refuses an argument that begins with "-" and is none of the
// options above (no character number begins so), one it finds in
// arguments; empty when there is none.
std::string unknownOptionComplaint(const std::vector<std::string>& arguments);

// Writes the usage text, or the version line for "--version", to standard
// output; returns the exit status (0). Where the platform cannot take a
// file of certificates, the text says so of QZTURNS_CA_FILE.
int writeHelp(const std::string& argument, bool authorityFileSupported);

// Writes the banner line and the empty line after it.
void writeBanner();

// Ends whatever line is open, writes the summary line, flushes, and returns
// the exit status of a run that got this far (0).
int finishRun(const RunState& state);

}  // namespace qz
