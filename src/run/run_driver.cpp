#include "run/run_driver.h"

#include "run/console.h"

namespace qz {

std::vector<std::string> runArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '\0') {
      arguments.emplace_back(argv[i]);
    }
  }
  return arguments;
}

void writeBanner() {
  consoleWrite("Nyilvanos qz fordulok letoltese v1.2");
  consoleWriteLineEnd();
  consoleWriteLineEnd();
}

int finishRun(const RunState& state) {
  // The line end closes the progress counter's line, or makes an empty one.
  consoleWriteLineEnd();
  consoleWrite("Atlepve: ");
  consoleWriteInt(state.skippedCount);
  consoleWrite(" Letoltve: ");
  consoleWriteInt(state.fetchedCount);
  consoleWriteLineEnd();
  consoleFlush();
  return 0;
}

}  // namespace qz
