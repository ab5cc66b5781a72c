// A flaky site or a full disk: the run ends as it should and no turn is lost
// or damaged.
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <thread>

#include "site_fixture.h"

namespace qztest {
namespace {

class FaultsTest : public SiteTest {
 protected:
  // Every file below root with its content, folders left out.
  std::map<std::string, std::string> archive(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const std::string& name : listTree(root)) {
      if (name.back() != '/' && name.rfind("qz", 0) == 0) {
        files[name] = readFile(root + "/" + name);
      }
    }
    return files;
  }

  // A listing of six characters over two pages, each with a few turns of
  // different sizes, one of them an oli turn.
  void serveSmallGame() {
    site.serve(kFrontPage, page("front"));
    site.serve(listingTarget(0), page(listingPage({"2001", "2002", "2003"}, {0, 3})));
    site.serve(listingTarget(3), page(listingPage({"2004", "2005", "2006"}, {0, 3})));
    for (int c = 2001; c <= 2006; ++c) {
      std::string number = std::to_string(c);
      std::vector<std::string> links;
      for (int t = 1; t <= 6; ++t) {
        std::string key = std::to_string(t);
        site.serve(turnTarget(number, key),
                   page(turnPage(number + "/" + key + std::string(t * 150000, 'x'))));
        links.push_back(key + ",0,0,0");
      }
      links.push_back("0,0,1,2");
      site.serve(oliTarget(number, "1,2"), page(turnPage(number + " oli")));
      site.serve(characterTarget(number), page(characterPage(links)));
    }
  }
};

TEST_F(FaultsTest, BrokenTurnAnswersAreRiddenOutWithinTheRun) {
  serveCharacter("1234", {"1", "2", "3", "4", "5"});
  Reply dropped = page(turnPage(std::string(500000, 'd')));
  dropped.dropMidBody = true;
  Reply loop = status(302, "");
  loop.headers.push_back({"Location", turnTarget("1234", "4")});
  site.serveInTurn(turnTarget("1234", "1"), {dropped, page(turnPage("turn 1234/1"))});
  site.serveInTurn(turnTarget("1234", "2"), {status(500), page(turnPage("turn 1234/2"))});
  site.serveInTurn(turnTarget("1234", "3"), {status(503), page(turnPage("turn 1234/3"))});
  site.serveInTurn(turnTarget("1234", "4"), {loop, loop, loop, loop, loop, loop, loop, loop, loop,
                                             loop, loop, loop, page(turnPage("turn 1234/4"))});
  ProgramResult first = run({"1234"});
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(first.out, kBanner +
                           "1234 Fordulok szama: 5\r\n0   \r1   \r2   \r3   \r4   \r\r\n"
                           "Atlepve: 0 Letoltve: 5\r\n");
  // A redirect loop is the site's fault, not a passing one: it waits for the
  // next run.
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm", "1234-002.htm",
                                                                 "1234-003.htm", "1234-005.htm"}));
  EXPECT_EQ(site.count(turnTarget("1234", "2")), 2);

  ProgramResult second = run({"1234"});
  EXPECT_NE(second.out.find("Atlepve: 4 Letoltve: 1\r\n"), std::string::npos);
  for (const std::string k : {"1", "2", "3", "4", "5"}) {
    EXPECT_EQ(saved("qz1234/1234-00" + k + ".htm"), fragment("turn 1234/" + k));
  }
}

TEST_F(FaultsTest, ASiteDownForTwoSecondsMidRunLosesNothing) {
  std::vector<std::string> keys;
  for (int t = 1; t <= 30; ++t) {
    keys.push_back(std::to_string(t));
  }
  serveCharacter("1234", keys);
  std::thread restart([this] {
    if (site.waitForRequest(turnTarget("1234", "10"))) {
      site.goDownFor(std::chrono::seconds(2));
    }
  });
  ProgramResult result = run({"1234"});
  restart.join();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find("Atlepve: 0 Letoltve: 30\r\n"), std::string::npos);
  EXPECT_EQ(listTree(work / "qz1234").size(), 30u);
  EXPECT_EQ(saved("qz1234/1234-030.htm"), fragment("turn 1234/30"));
}

TEST_F(FaultsTest, ATurnAnswered404IsAskedForOnce) {
  site.serve(characterTarget("1234"), page(characterPage({"1,0,0,0"})));
  site.serve(turnTarget("1234", "1"), status(404));
  ProgramResult result = run({"1234"});
  EXPECT_NE(result.out.find("Atlepve: 0 Letoltve: 1\r\n"), std::string::npos);
  EXPECT_EQ(site.count(turnTarget("1234", "1")), 1);
}

TEST_F(FaultsTest, BusySiteWithRetryAfterIsWaitedOut) {
  serveCharacter("1234", {"1"});
  Reply busy = status(429, "slow down");
  busy.headers.push_back({"Retry-After", "1"});
  site.serveInTurn(turnTarget("1234", "1"), {busy, busy, page(turnPage("turn 1234/1"))});
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 1\r\n0   \r\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_EQ(site.count(turnTarget("1234", "1")), 3);
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1"));
}

TEST_F(FaultsTest, DiskFillingUpEndsTheRunWithEarlierTurnsIntact) {
  std::string disk = work / "disk";
  ASSERT_EQ(::mkdir(disk.c_str(), 0777), 0);
  // Room for the download of the big turn but not for its file as well.
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=2560k") != 0) {
    GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
  }
  site.serve(characterTarget("1234"), page(characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0"})));
  site.serve(turnTarget("1234", "1"), page(turnPage("one")));
  site.serve(turnTarget("1234", "2"), page(turnPage("two")));
  site.serve(turnTarget("1234", "3"), page(turnPage(std::string(1536 * 1024, 'b'))));
  ProgramOptions onDisk = options({"1234"});
  onDisk.workDir = disk;
  ProgramResult result = runProgram(onDisk);
  std::map<std::string, std::string> left = archive(disk);
  std::vector<std::string> tree = listTree(disk + "/qz1234");
  ::umount(disk.c_str());

  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r");
  EXPECT_EQ(result.err, errorReport("00404C64", "Disk full"));
  EXPECT_EQ(tree, (std::vector<std::string>{"1234-001.htm", "1234-002.htm"}));
  EXPECT_EQ(left["qz1234/1234-001.htm"], fragment("one"));
  EXPECT_EQ(left["qz1234/1234-002.htm"], fragment("two"));
}

TEST_F(FaultsTest, FileSizeLimitOnTheTempFileEndsTheRunWithTheReport) {
  if (underLauncher()) {
    GTEST_SKIP() << "a file-size limit is a POSIX one: wine's own processes die of it";
  }
  serveCharacter("1234", {"1"});
  site.serve(turnTarget("1234", "2"), page(turnPage(std::string(300000, 'b'))));
  site.serve(characterTarget("1234"), page(characterPage({"1,0,0,0", "2,0,0,0"})));
  ProgramOptions limited = options({"1234"});
  limited.fileSizeLimit = 100000;
  ProgramResult result = runProgram(limited);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 2\r\n0   \r1   \r");
  EXPECT_EQ(result.err, errorReport("00404C64", "Disk full"));
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm"}));

  run({"1234"});
  EXPECT_EQ(saved("qz1234/1234-002.htm"), fragment(std::string(300000, 'b')));
}

TEST_F(FaultsTest, AWorkingFolderThatCannotTakeTheTempFileEndsTheRunWithTheReport) {
  serveCharacter("1234", {"1"});
  ASSERT_EQ(::mkdir((work / "temp.txt").c_str(), 0777), 0);
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234");
  // Each system's own word for writing into a folder.
  EXPECT_EQ(result.err,
            errorReport("00404C20", underLauncher() ? "File access denied" : "Invalid filename"));

  // Read-only, as a mount: permissions alone do not stop root.
  std::string readOnly = work / "ro";
  ASSERT_EQ(::mkdir(readOnly.c_str(), 0777), 0);
  if (::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0) {
    GTEST_SKIP() << "cannot mount a read-only tmpfs here: " << std::strerror(errno);
  }
  ProgramOptions inReadOnly = options({"1234"});
  inReadOnly.workDir = readOnly;
  result = runProgram(inReadOnly);
  ::umount(readOnly.c_str());
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234");
  EXPECT_EQ(result.err, errorReport("00404C20", "File access denied"));
}

TEST_F(FaultsTest, RunsKilledAtRandomPointsEndInTheSameArchiveAsOneUninterruptedRun) {
  serveSmallGame();
  TempFolder reference;
  ProgramOptions whole = options();
  whole.workDir = reference.path();
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(runProgram(whole).exitStatus, 0);
  // Kills fall within the first quarter of the time a whole run takes here.
  auto wholeRun = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::map<std::string, std::string> expected = archive(reference.path());
  ASSERT_EQ(expected.size(), 6u * 7u);

  std::mt19937 random(7122026);
  int kills = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    TempFolder output;
    pid_t pid = startProgram(options(), output.path());
    std::this_thread::sleep_for(std::chrono::microseconds(random() % (wholeRun.count() / 4 + 1)));
    ::kill(pid, SIGKILL);
    ProgramResult result = finishProgram(pid, output.path());
    if (result.exitStatus == 0) {
      break;
    }
    ++kills;
    for (const auto& [name, content] : archive(work.path())) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".htm") {
        ASSERT_EQ(content, expected[name]) << name << " is damaged";
      }
    }
  }
  EXPECT_GT(kills, 3);
  ASSERT_EQ(run().exitStatus, 0);
  EXPECT_EQ(archive(work.path()), expected);
}

// What nothing else catches ends the run the one way a file failure does:
// a report on standard error and exit status 1, with every turn saved so
// far kept. Address-space limits make the exceptions: a thread that cannot
// be started, a page that cannot be held.
TEST_F(FaultsTest, AnExceptionEndsTheRunWithTheReportAndTheTurnsSavedSoFar) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limits allow";
#endif
  if (underLauncher()) {
    GTEST_SKIP() << "wine reserves more address space than the limits allow";
  }
  ProgramOptions threads = options({"1234"});
  threads.environment.push_back({"QZTURNS_CONNECTIONS", "8"});
  threads.memoryLimit = 40L << 20;
  ProgramResult result = runProgram(threads);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "Exception EOSError in module qzturns at 00402A1C.\r\n"
            "Resource temporarily unavailable.\r\n\r\n");
  EXPECT_TRUE(site.requests().empty());

  serveCharacter("1234", {"1"});
  site.serve(turnTarget("1234", "2"), page(turnPage(std::string(40 << 20, 'b'))));
  site.serve(characterTarget("1234"), page(characterPage({"1,0,0,0", "2,0,0,0"})));
  ProgramOptions memory = options({"1234"});
  memory.memoryLimit = 100L << 20;
  result = runProgram(memory);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 2\r\n0   \r1   \r");
  EXPECT_EQ(result.err,
            "Exception EOutOfMemory in module qzturns at 00402A1C.\r\nOut of memory.\r\n\r\n");
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm"}));
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1"));
}

}  // namespace
}  // namespace qztest
