// Turn files survive a power cut: the system calls of a run show every turn
// file's data flushed before its name appears, and its folder flushed after
// the renames, at one flush per batch rather than one per file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

#include "site_fixture.h"

namespace qztest {
namespace {

class DurableFilesTest : public SiteTest {};

// One traced call: its name, its text and what it returned.
struct Call {
  std::string name;
  std::string text;
  long result = -1;
};

std::vector<Call> tracedCalls(const std::string& traceFile) {
  static const std::regex kCall(R"(^\d+\s+(\w+)\((.*)\)\s+=\s+(-?\d+))");
  std::vector<Call> calls;
  std::ifstream in(traceFile);
  for (std::string line; std::getline(in, line);) {
    std::smatch match;
    if (std::regex_search(line, match, kCall)) {
      calls.push_back({match[1], match[2], std::stol(match[3])});
    }
  }
  return calls;
}

TEST_F(DurableFilesTest, EveryTurnIsFlushedBeforeItsNameAppearsAndItsFolderAfter) {
  if (underLauncher()) {
    GTEST_SKIP() << "the system calls of a Windows program under wine are wine's";
  }
  std::vector<std::string> keys;
  for (int t = 1; t <= 70; ++t) {  // more than one batch
    keys.push_back(std::to_string(t));
  }
  site.serve(kFrontPage, page("front"));
  serveCharacter("1234", keys);
  TempFolder traceFolder;
  const std::string trace = traceFolder / "trace";
  ProgramOptions traced = options({"1234"});  // no reader page: turn files only
  traced.wrapper = {"strace",
                    "-f",
                    "-qq",
                    "-o",
                    trace,
                    "-e",
                    "trace=openat,close,fsync,fdatasync,syncfs,rename,renameat,renameat2"};
  // A sanitizer build's leak check cannot run under ptrace; the rest of its
  // checks still do.
  traced.environment.push_back({"ASAN_OPTIONS", "detect_leaks=0"});
  ProgramResult result = runProgram(traced);
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  ASSERT_EQ(listTree(work / "qz1234").size(), 70u);

  std::vector<Call> calls = tracedCalls(trace);
  static const std::regex kOpened(R"re("([^"]+)")re");
  std::map<long, std::string> openFiles;  // descriptor: name
  std::set<std::string> closed;           // ".part" files written and closed, not yet flushed
  std::set<std::string> flushed;          // ".part" files whose data is on the disk
  int dataFlushes = 0, folderFlushes = 0, renames = 0;
  bool renamedSinceFolderFlush = false;
  for (const Call& call : calls) {
    std::smatch name;
    std::regex_search(call.text, name, kOpened);
    if (call.name == "openat" && call.result >= 0 && name.size() > 1) {
      openFiles[call.result] = name[1];
    } else if (call.name == "close") {
      long fd = std::stol(call.text);
      if (openFiles[fd].ends_with(".htm.part")) {
        closed.insert(openFiles[fd]);
      }
      openFiles.erase(fd);
    } else if ((call.name == "syncfs" || call.name == "fdatasync") && call.result == 0) {
      EXPECT_FALSE(renamedSinceFolderFlush) << "a batch began before the last one's folder flush";
      flushed.insert(closed.begin(), closed.end());
      closed.clear();
      ++dataFlushes;
    } else if (call.name == "fsync" && call.result == 0 &&
               openFiles[std::stol(call.text)] == "qz1234") {
      renamedSinceFolderFlush = false;
      ++folderFlushes;
    } else if (call.name.starts_with("rename") && name.size() > 1) {
      std::string from = name[1];
      if (from.ends_with(".htm.part")) {
        EXPECT_TRUE(flushed.count(from)) << from << " got its name before its data was flushed";
        renamedSinceFolderFlush = true;
        ++renames;
      }
    }
  }
  EXPECT_EQ(renames, 70);
  EXPECT_FALSE(renamedSinceFolderFlush) << "the folder was not flushed after the last renames";
  // One flush of the data and one of the folder per batch of 64 turns at most.
  EXPECT_EQ(dataFlushes, 2);
  EXPECT_EQ(folderFlushes, 2);
}

// With search-index a file system of its own (a mount), the page, the record
// and the list of turns land together only once both file systems are
// flushed: each gets its own flush before any of their names appear.
TEST_F(DurableFilesTest, EveryFileSystemOfABatchIsFlushedBeforeItsNamesAppear) {
  if (underLauncher() || std::system("unshare -m true 2>/dev/null") != 0) {
    GTEST_SKIP() << "needs Linux and the right to mount in a namespace of its own (root)";
  }
  site.serve(kFrontPage, page("front"));
  serveCharacter("1234", {"1"});
  ASSERT_TRUE(std::filesystem::create_directory(work / "search-index"));
  TempFolder traceFolder;
  const std::string trace = traceFolder / "trace";
  ProgramOptions traced = options({"1234"});
  traced.environment = {{"ASAN_OPTIONS", "detect_leaks=0"}};  // the reader on
  traced.wrapper = {"unshare",
                    "-m",
                    "sh",
                    "-c",
                    "mount -t tmpfs qz \"$0\" && exec \"$@\"",
                    (work / "search-index"),
                    "strace",
                    "-f",
                    "-qq",
                    "-y",
                    "-o",
                    trace,
                    "-e",
                    "trace=syncfs,rename,renameat,renameat2"};
  ProgramResult result = runProgram(traced);
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  std::set<std::string> flushed;  // folders whose file system was flushed
  bool renamed = false;
  for (const Call& call : tracedCalls(trace)) {
    if (call.name == "syncfs" && call.result == 0) {
      flushed.insert(
          call.text.substr(call.text.find('<') + 1, call.text.find('>') - call.text.find('<') - 1));
    } else if (call.name.starts_with("rename") &&
               call.text.find("index.htm.part") != call.text.npos) {
      renamed = true;
      EXPECT_TRUE(flushed.count((work / "search-index")) > 0) << call.text;
      EXPECT_TRUE(flushed.count(work.path()) > 0) << call.text;
    }
  }
  EXPECT_TRUE(renamed);
}

// A turn whose name a folder holds fails as it did when each file was
// written at once: when that turn is written, before the next is asked for,
// with what came before it saved.
TEST_F(DurableFilesTest, ATurnNameThatIsAFolderFailsWhenThatTurnIsWritten) {
  site.serve(kFrontPage, page("front"));
  serveCharacter("1234", {"1", "2", "3"});
  ASSERT_TRUE(std::filesystem::create_directories(work / "qz1234/1234-002.htm"));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 3\r\n0   \r1   \r");
  EXPECT_EQ(result.err,
            errorReport("00404C20", underLauncher() ? "File access denied" : "Invalid filename"));
  EXPECT_EQ(site.targets(),
            (std::vector<std::string>{kFrontPage, characterTarget("1234"), turnTarget("1234", "1"),
                                      turnTarget("1234", "2")}));
  EXPECT_EQ(saved("temp.txt"), turnPage("turn 1234/2"));
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm", "1234-002.htm/"}));
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1"));
}

}  // namespace
}  // namespace qztest
