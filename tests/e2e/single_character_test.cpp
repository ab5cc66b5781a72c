// A single-character run of the program, end to end: its console, its
// progress on a terminal, and runs killed half-way. The rules of its steps
// are tested in this process in tests/crawl/single_character_test.cpp.
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <thread>

#include "site_fixture.h"

namespace qztest {
namespace {

class SingleCharacterTest : public SiteTest {};

TEST_F(SingleCharacterTest, ConsoleTextOfARunWithOneTurnSavedBefore) {
  serveCharacter("1234", {"1", "2", "3"});
  ASSERT_EQ(::mkdir((work / "qz1234").c_str(), 0777), 0);
  writeFile(work / "qz1234/1234-002.htm", "saved before");
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 1 Letoltve: 2\r\n");
  EXPECT_EQ(site.targets(),
            (std::vector<std::string>{kFrontPage, characterTarget("1234"), turnTarget("1234", "1"),
                                      turnTarget("1234", "3")}));
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1"));
  EXPECT_EQ(saved("qz1234/1234-002.htm"), "saved before");
  EXPECT_EQ(saved("qz1234/1234-003.htm"), fragment("turn 1234/3"));
}

TEST_F(SingleCharacterTest, ProgressCounterShowsOnATerminalWhileATurnIsSlow) {
  if (underLauncher()) {
    // Wine's console adds escape codes of its own to what reaches the
    // terminal, so the bytes cannot be compared there.
    GTEST_SKIP() << "checked on Linux only: wine's console rewrites the output";
  }
  serveCharacter("1234", {"1"});
  Reply slow = page(turnPage("slow"));
  slow.holdUntilReleased = true;
  site.serve(turnTarget("1234", "1"), slow);
  bool releasedByOutput = false;
  ProgramResult result = runOnTerminal(options({"1234"}), [&](const std::string& seen) {
    if (!releasedByOutput && seen.find("1234 Fordulok szama: 1\r\n0   \r") != std::string::npos) {
      releasedByOutput = true;
      site.release();
    }
  });
  EXPECT_TRUE(releasedByOutput);
  EXPECT_EQ(site.holdsTimedOut(), 0);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("slow"));
}

TEST_F(SingleCharacterTest, RunKilledWhileWaitingLeavesWholeFilesAndTheNextRunCompletes) {
  serveCharacter("1234", {"1", "2", "3", "4"});
  Reply held = page(turnPage("turn 1234/3"));
  held.holdUntilReleased = true;
  site.serveInTurn(turnTarget("1234", "3"), {held, page(turnPage("turn 1234/3"))});
  TempFolder output;
  pid_t pid = startProgram(options({"1234"}), output.path());
  ASSERT_TRUE(site.waitForRequest(turnTarget("1234", "3")));
  ::kill(pid, SIGKILL);
  ProgramResult killed = finishProgram(pid, output.path());
  site.release();
  EXPECT_EQ(killed.signal, SIGKILL);
  // The turns of the batch in hand were written whole but not yet flushed:
  // none has its name, and the next run fetches them again.
  EXPECT_EQ(listTree(work / "qz1234"),
            (std::vector<std::string>{"1234-001.htm.part", "1234-002.htm.part"}));

  ProgramResult next = run({"1234"});
  EXPECT_NE(next.out.find("Atlepve: 0 Letoltve: 4\r\n"), std::string::npos);
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm", "1234-002.htm",
                                                                 "1234-003.htm", "1234-004.htm"}));
  for (const std::string k : {"1", "2", "3", "4"}) {
    EXPECT_EQ(saved("qz1234/1234-00" + k + ".htm"), fragment("turn 1234/" + k));
  }
}

// Waits for the count-th file to be created in folder; false after 10 s.
bool waitForCreations(int inotify, int count) {
  char buffer[4096];
  while (count > 0) {
    struct pollfd ready = {inotify, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) {
      return false;
    }
    ssize_t got = ::read(inotify, buffer, sizeof buffer);
    for (ssize_t at = 0; at < got;) {
      auto* event = reinterpret_cast<struct inotify_event*>(buffer + at);
      count -= (event->mask & IN_CREATE) != 0 ? 1 : 0;
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
    }
  }
  return true;
}

TEST_F(SingleCharacterTest, RunsKilledWhileWritingNeverLeaveATruncatedTurn) {
  // Pages of 4 MiB, and every kill lands right after a file was created in the
  // character folder: that is, while a turn is being written.
  std::map<std::string, std::string> expected;
  std::vector<std::string> links;
  for (int k = 1; k <= 12; ++k) {
    std::string key = std::to_string(k);
    std::string body = "turn " + key + std::string(4 << 20, static_cast<char>('a' + k));
    site.serve(turnTarget("1234", key), page(turnPage(body)));
    links.push_back(key + ",0,0,0");
    expected[k < 10 ? "1234-00" + key + ".htm" : "1234-0" + key + ".htm"] = fragment(body);
  }
  site.serve(characterTarget("1234"), page(characterPage(links)));
  ASSERT_EQ(::mkdir((work / "qz1234").c_str(), 0777), 0);

  std::mt19937 random(20261207);
  int kills = 0;
  bool completed = false;
  for (int attempt = 0; attempt < 40 && !completed; ++attempt) {
    int inotify = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(inotify, (work / "qz1234").c_str(), IN_CREATE), 0);
    TempFolder output;
    pid_t pid = startProgram(options({"1234"}), output.path());
    if (waitForCreations(inotify, 1 + static_cast<int>(random() % 3))) {
      ::kill(pid, SIGKILL);
    }
    ::close(inotify);
    ProgramResult result = finishProgram(pid, output.path());
    kills += result.signal == SIGKILL ? 1 : 0;
    completed = result.exitStatus == 0;
    for (const std::string& name : listTree(work / "qz1234")) {
      if (name.size() > 4 && name.substr(name.size() - 4) == ".htm") {
        ASSERT_EQ(readFile(work / "qz1234" + "/" + name), expected[name]) << name << " is damaged";
      }
    }
  }
  EXPECT_GT(kills, 3);

  run({"1234"});
  std::vector<std::string> names;
  for (const auto& [name, content] : expected) {
    names.push_back(name);
    EXPECT_EQ(readFile(work / "qz1234" + "/" + name), content) << name;
  }
  EXPECT_EQ(listTree(work / "qz1234"), names);
}

}  // namespace
}  // namespace qztest
