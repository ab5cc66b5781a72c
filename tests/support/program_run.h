// Runs the built qzturns binary as a user would: in a working folder of the
// test's choosing, with QZTURNS_BASE_URL pointing at a fake site.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace qztest {

struct ProgramResult {
  int exitStatus = -1;  // -1 when the process did not exit normally
  int signal = 0;       // the signal that ended it, if one did
  std::string out;
  std::string err;
  long peakRssKib = 0;  // the largest resident size the process reached
};

struct ProgramOptions {
  std::string workDir;
  std::string baseUrl;
  std::vector<std::string> arguments;
  std::string programName;  // argv[0]; the binary's path when empty
  long fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes, none when negative
  long memoryLimit = -1;    // RLIMIT_AS in bytes, none when negative
  bool closeStdin = false;  // start the program with these streams closed
  bool closeStdout = false;
  std::vector<std::pair<std::string, std::string>> environment;  // set for the program
  // A command the program is run under, such as {"strace", "-o", "trace"}.
  std::vector<std::string> wrapper;
};

ProgramResult runProgram(const ProgramOptions& options);

// The program the tests run: QZTURNS_TEST_PROGRAM when set (such as the
// Windows build, qzturns.exe), else the binary built beside the tests; and
// the launcher it is run through, QZTURNS_TEST_LAUNCHER (such as wine), when
// set. A program run through a launcher takes its own name as argv[0].
std::string programUnderTest();
std::string programLauncher();
bool underLauncher();

// Starts the program with its output in files under outputDir and returns its
// pid; finishProgram waits for it and collects what it wrote.
pid_t startProgram(const ProgramOptions& options, const std::string& outputDir);
ProgramResult finishProgram(pid_t pid, const std::string& outputDir);

// Runs the program with standard output on a pseudo-terminal. onOutput sees
// everything written so far each time more arrives; the run's output is
// returned once the program ends.
ProgramResult runOnTerminal(const ProgramOptions& options,
                            const std::function<void(const std::string&)>& onOutput);

}  // namespace qztest
