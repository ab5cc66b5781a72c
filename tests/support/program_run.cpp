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
#include <string_view>
#include <thread>
#include <vector>

#include "temp_folder.h"

#ifndef QZTURNS_BINARY
#error "QZTURNS_BINARY must name the program under test"
#endif

namespace qztest {

namespace {

// Everything the child needs, made before fork: between fork and exec a
// process with threads may take no lock, so the child allocates nothing,
// touches no environment of its own and calls only what is safe there.
struct PreparedExec {
  std::string workDir;
  std::string file;  // what to execute, its path resolved beforehand
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
  std::vector<char*> argv;
  std::vector<char*> envp;
  long fileSizeLimit = -1;
  long memoryLimit = -1;
  bool closeStdin = false;
  bool closeStdout = false;
};

// command as execvp would find it on PATH; as it stands when it names a path.
std::string onPath(const std::string& command) {
  if (command.find('/') != std::string::npos) {
    return command;
  }
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  for (size_t at = 0; at <= folders.size();) {
    size_t end = folders.find(':', at);
    end = end == std::string::npos ? folders.size() : end;
    std::string candidate = folders.substr(at, end - at) + "/" + command;
    if (::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    at = end + 1;
  }
  return command;
}

PreparedExec prepare(const ProgramOptions& options) {
  PreparedExec exec;
  exec.workDir = options.workDir;
  exec.fileSizeLimit = options.fileSizeLimit;
  exec.memoryLimit = options.memoryLimit;
  exec.closeStdin = options.closeStdin;
  exec.closeStdout = options.closeStdout;

  // The environment: this process's, without the settings and proxies a
  // user might have set, with the site and the test's own.
  const std::vector<std::string> dropped = {"QZTURNS_BASE_URL=", "QZTURNS_CONNECTIONS=",
                                            "QZTURNS_INDEX=",    "QZTURNS_RECHECK_EMPTY=",
                                            "QZTURNS_CA_FILE=",  "QZTURNS_CHECK_CERTIFICATE=",
                                            "http_proxy=",       "HTTP_PROXY=",
                                            "https_proxy=",      "HTTPS_PROXY=",
                                            "all_proxy=",        "ALL_PROXY="};
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view text = *entry;
    bool drop = false;
    for (const std::string& name : dropped) {
      drop = drop || text.substr(0, name.size()) == name;
    }
    for (const auto& [name, value] : options.environment) {
      drop = drop || text.substr(0, name.size() + 1) == name + "=";
    }
    if (!drop) {
      exec.environment.emplace_back(text);
    }
  }
  exec.environment.push_back("QZTURNS_BASE_URL=" + options.baseUrl);
  for (const auto& [name, value] : options.environment) {
    exec.environment.push_back(name + "=" + value);
  }

  std::string program = programUnderTest();
  std::string name = options.programName.empty() ? program : options.programName;
  // What the program runs under, if anything: the wrapper, else the launcher.
  std::vector<std::string> command = options.wrapper;
  if (command.empty() && underLauncher()) {
    command.push_back(programLauncher());
  }
  exec.file = command.empty() ? program : onPath(command.front());
  exec.arguments = command;
  exec.arguments.push_back(command.empty() ? name : program);
  exec.arguments.insert(exec.arguments.end(), options.arguments.begin(), options.arguments.end());
  for (std::string& argument : exec.arguments) {
    exec.argv.push_back(argument.data());
  }
  exec.argv.push_back(nullptr);
  for (std::string& entry : exec.environment) {
    exec.envp.push_back(entry.data());
  }
  exec.envp.push_back(nullptr);
  return exec;
}

void limit(int resource, long bytes) {
  if (bytes >= 0) {
    struct rlimit limit;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    limit.rlim_max = static_cast<rlim_t>(bytes);
    ::setrlimit(resource, &limit);
  }
}

// In the child: the working folder, the limits, the streams it is to have
// closed, then exec.
[[noreturn]] void execPrepared(const PreparedExec& exec) {
  if (::chdir(exec.workDir.c_str()) != 0) {
    ::_exit(126);
  }
  limit(RLIMIT_FSIZE, exec.fileSizeLimit);
  limit(RLIMIT_AS, exec.memoryLimit);
  if (exec.closeStdin) {
    ::close(0);
  }
  if (exec.closeStdout) {
    ::close(1);
  }
  ::execve(exec.file.c_str(), exec.argv.data(), exec.envp.data());
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
  PreparedExec exec = prepare(options);
  int out = ::open((outputDir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int err = ::open((outputDir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || err < 0 || in < 0) {
    throw std::runtime_error("cannot open the program's streams");
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);  // a group of its own, to be killed whole if it hangs
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    execPrepared(exec);
  }
  ::close(in);
  ::close(out);
  ::close(err);
  if (pid < 0) {
    throw std::runtime_error("fork failed");
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
  PreparedExec exec = prepare(options);
  int master = -1;
  struct termios raw;
  ::cfmakeraw(&raw);
  pid_t pid = ::forkpty(&master, nullptr, &raw, nullptr);
  if (pid < 0) {
    throw std::runtime_error("forkpty failed");
  }
  if (pid == 0) {
    execPrepared(exec);
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
