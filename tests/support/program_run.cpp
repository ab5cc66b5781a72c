#include "program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "temp_folder.h"

#ifndef QZTURNS_BINARY
#error "QZTURNS_BINARY must name the program under test"
#endif

namespace qztest {

namespace {

// In the child: everything but the standard streams, then exec.
[[noreturn]] void execProgram(const ProgramOptions& options) {
  if (::chdir(options.workDir.c_str()) != 0) {
    ::_exit(126);
  }
  ::setenv("QZTURNS_BASE_URL", options.baseUrl.c_str(), 1);
  ::unsetenv("QZTURNS_CONNECTIONS");
  ::unsetenv("QZTURNS_INDEX");
  ::unsetenv("QZTURNS_RECHECK_EMPTY");
  ::unsetenv("QZTURNS_CA_FILE");
  ::unsetenv("QZTURNS_CHECK_CERTIFICATE");
  for (const auto& [name, value] : options.environment) {
    ::setenv(name.c_str(), value.c_str(), 1);
  }
  ::unsetenv("http_proxy");
  ::unsetenv("HTTP_PROXY");
  ::unsetenv("all_proxy");
  ::unsetenv("ALL_PROXY");
  if (options.fileSizeLimit >= 0) {
    struct rlimit limit;
    limit.rlim_cur = static_cast<rlim_t>(options.fileSizeLimit);
    limit.rlim_max = static_cast<rlim_t>(options.fileSizeLimit);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  if (options.memoryLimit >= 0) {
    struct rlimit limit;
    limit.rlim_cur = static_cast<rlim_t>(options.memoryLimit);
    limit.rlim_max = static_cast<rlim_t>(options.memoryLimit);
    ::setrlimit(RLIMIT_AS, &limit);
  }
  if (options.closeStdin) {
    ::close(0);
  }
  if (options.closeStdout) {
    ::close(1);
  }
  std::string program = programUnderTest();
  std::string name = options.programName.empty() ? program : options.programName;
  // What the program runs under, if anything: the wrapper, else the launcher.
  std::vector<std::string> command = options.wrapper;
  if (command.empty() && underLauncher()) {
    command.push_back(programLauncher());
  }
  std::vector<char*> argv;
  for (std::string& word : command) {
    argv.push_back(word.data());
  }
  argv.push_back(command.empty() ? name.data() : program.data());
  std::vector<std::string> arguments = options.arguments;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  if (command.empty()) {
    ::execv(program.c_str(), argv.data());
  } else {
    ::execvp(command.front().c_str(), argv.data());
  }
  ::_exit(127);
}

// Far below ctest's time-out, and far above any run of the suite: a run
// that hangs fails its own test, by name, and is killed with whatever it
// started.
constexpr int kLongestRunSeconds = 100;

ProgramResult collectStatus(pid_t pid) {
  ProgramResult result;
  int status = 0;
  struct rusage usage {};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kLongestRunSeconds);
  for (;;) {
    pid_t ended = ::wait4(pid, &status, WNOHANG, &usage);
    if (ended == pid) {
      break;
    }
    if (ended < 0 && errno != EINTR) {
      return result;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the program did not end within " << kLongestRunSeconds
                    << " s and was killed";
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      deadline = std::chrono::steady_clock::time_point::max();
      continue;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.peakRssKib = usage.ru_maxrss;
  if (WIFEXITED(status)) {
    result.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace

std::string programUnderTest() {
  const char* program = std::getenv("QZTURNS_TEST_PROGRAM");
  return program != nullptr && *program != '\0' ? program : QZTURNS_BINARY;
}

std::string programLauncher() {
  const char* launcher = std::getenv("QZTURNS_TEST_LAUNCHER");
  return launcher != nullptr ? launcher : "";
}

bool underLauncher() {
  return !programLauncher().empty();
}

pid_t startProgram(const ProgramOptions& options, const std::string& outputDir) {
  std::string outName = outputDir + "/stdout";
  std::string errName = outputDir + "/stderr";
  pid_t pid = ::fork();
  if (pid < 0) {
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    ::setpgid(0, 0);  // a group of its own, to be killed whole if it hangs
    int out = ::open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = ::open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) {
      ::_exit(125);
    }
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    execProgram(options);
  }
  return pid;
}

ProgramResult finishProgram(pid_t pid, const std::string& outputDir) {
  ProgramResult result = collectStatus(pid);
  result.out = readFile(outputDir + "/stdout");
  result.err = readFile(outputDir + "/stderr");
  return result;
}

ProgramResult runProgram(const ProgramOptions& options) {
  TempFolder output;
  return finishProgram(startProgram(options, output.path()), output.path());
}

ProgramResult runOnTerminal(const ProgramOptions& options,
                            const std::function<void(const std::string&)>& onOutput) {
  int master = -1;
  struct termios raw;
  ::cfmakeraw(&raw);
  pid_t pid = ::forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) {
    throw std::runtime_error("forkpty failed");
  }
  if (pid == 0) {
    execProgram(options);
  }
  std::string seen;
  char buffer[4096];
  for (;;) {
    ssize_t got = ::read(master, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;  // EIO once the program has closed the terminal
    }
    seen.append(buffer, static_cast<size_t>(got));
    onOutput(seen);
  }
  ::close(master);
  ProgramResult result = collectStatus(pid);
  result.out = seen;
  return result;
}

}  // namespace qztest
