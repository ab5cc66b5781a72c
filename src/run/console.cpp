#include "run/console.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace qz {

namespace {

bool stdoutIsTerminal() {
  static const bool terminal = isatty(STDOUT_FILENO) == 1;
  return terminal;
}

void showIfTerminal() {
  if (stdoutIsTerminal()) {
    std::fflush(stdout);
  }
}

}  // namespace

void consoleWrite(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  showIfTerminal();
}

void consoleWriteInt(int64_t value) {
  consoleWrite(std::to_string(value));
}

void consoleWriteLineEnd() {
  consoleWrite("\r\n");
}

void consoleFlush() {
  std::fflush(stdout);
}

}  // namespace qz
