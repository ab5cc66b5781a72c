// Puts the process in the shape a run needs, before anything else happens.
// A program started with its standard input, output or error closed (as some
// job runners do) would hand those numbers to the next file or socket it
// opens, and its console writes would land there; so closed standard streams
// are opened onto the null device. Output is made binary, so that a CR LF
// goes out as it is, and a file-size limit makes a write fail (and be
// reported) instead of killing the process.
#pragma once

#include <string>

namespace qz {

// Call first thing in main.
void setUpProcess();

// How a user sets an environment variable in this system's usual shells, as
// a sentence: "Set it with: export NAME=value".
std::string howToSetVariable(const std::string& name, const std::string& value);

}  // namespace qz
