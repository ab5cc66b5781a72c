// A program started with its standard input, output or error closed (as some
// job runners do) would hand those numbers to the next file or socket it
// opens, and its console writes would land there.
#pragma once

namespace qz {

// Opens each closed standard stream onto the null device. Call first thing.
void openClosedStandardStreams();

}  // namespace qz
