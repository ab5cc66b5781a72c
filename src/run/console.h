// Everything the program says goes through here, to standard output, byte for
// byte. Lines end in CR LF. On a terminal every write shows at once, so a
// partial line stays visible while the run waits for the network; into a file
// or a pipe the output is block-buffered and flushed by consoleFlush and at
// exit. A write that fails (a closed or full output) is let go: the archive,
// not the console, is what a run must not lose. For the crawl's thread; the
// threads that fetch ahead never write here.
#pragma once

#include <cstdint>
#include <string_view>

namespace qz {

void consoleWrite(std::string_view text);
void consoleWriteInt(int64_t value);
void consoleWriteLineEnd();
// Forces out whatever is buffered, whether or not stdout is a terminal.
void consoleFlush();

}  // namespace qz
