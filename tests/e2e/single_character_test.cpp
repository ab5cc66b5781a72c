// A single-character run: turn list, turn files, counters and progress.
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

TEST_F(SingleCharacterTest, SecondRunSkipsEverySavedTurnWithoutAskingForIt) {
  serveCharacter("1234", {"1", "2", "10"});
  run({"1234"});
  size_t before = site.requests().size();
  ProgramResult second = run({"1234"});
  EXPECT_EQ(second.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 3 Letoltve: 0\r\n");
  auto targets = site.targets();
  EXPECT_EQ(std::vector<std::string>(targets.begin() + static_cast<long>(before), targets.end()),
            (std::vector<std::string>{kFrontPage, characterTarget("1234")}));
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "qz1234/1234-002.htm",
                                      "qz1234/1234-010.htm", "temp.txt"}));
}

TEST_F(SingleCharacterTest, TurnFileKeepsTheFragmentBytesWithLfLineEnds) {
  site.serve(characterTarget("77"), page(characterPage({"5,0,0,0"})));
  site.serve(turnTarget("77", "5"), page("<HTML><HEAD>\r\n<META x>\r\n\xC1rv\xEDzt\xFBr\xF5 \x1A"
                                         "cut\r\nline\rjoined\r\n" +
                                         kEndMarker + "')</SCRIPT>\r\n"));
  run({"77"});
  EXPECT_EQ(saved("qz77/77-005.htm"), "<META x>\n\xC1rv\xEDzt\xFBr\xF5 \nlinejoined\n");
}

TEST_F(SingleCharacterTest, OliAndNumberedKeysAreRequestedAndNamedApart) {
  site.serve(characterTarget("1234"),
             page(characterPage({"7,0,0,0", "1007,0,0,0", "0,0,3,15", "5,1,3,15", "9,1,0,0"})));
  site.serve(turnTarget("1234", "7"), page(turnPage("seven")));
  site.serve(turnTarget("1234", "1007"), page(turnPage("thousand and seven")));
  site.serve(oliTarget("1234", "3,15"), page(turnPage("oli")));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(saved("qz1234/1234-007.htm"), fragment("seven"));
  EXPECT_EQ(saved("qz1234/1234-1007.htm"), fragment("thousand and seven"));
  EXPECT_EQ(saved("qz1234/1234-ol3,15.htm"), fragment("oli"));
}

TEST_F(SingleCharacterTest, KeysNoFileSystemCanHoldAreNeitherCountedNorRequested) {
  const std::vector<std::string> hostile = {"../../x", "..\\..\\x", "a:b", "a?b",   "a*b",
                                            "a|b",     "a<b",       "a>b", "a\x01b"};
  std::vector<std::string> links = {"4,0,0,0"};
  for (const std::string& key : hostile) {
    links.push_back(key + ",0,0,0");
    site.serve(turnTarget("1234", key), page(turnPage("hostile")));
  }
  site.serve(characterTarget("1234"), page(characterPage(links)));
  site.serve(turnTarget("1234", "4"), page(turnPage("four")));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 1\r\n0   \r\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_EQ(site.requests().size(), 2u + 1u);  // front page, character page, turn 4
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-004.htm", "temp.txt"}));
}

TEST_F(SingleCharacterTest, FailedTurnFetchLeavesNoFileAndIsFetchedByTheNextRun) {
  serveCharacter("1234", {"1", "2", "3"});
  std::string gzip = gzipped(turnPage(std::string(300000, 'x')));
  Reply cut = page("");
  cut.gzipBytes = gzip.substr(0, gzip.size() / 2);
  site.serveInTurn(turnTarget("1234", "2"), {status(404), page(turnPage("two"))});
  site.serveInTurn(turnTarget("1234", "3"), {cut, page(turnPage("three"))});
  ProgramResult first = run({"1234"});
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(first.out, kBanner +
                           "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                           "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "temp.txt"}));

  ProgramResult second = run({"1234"});
  EXPECT_EQ(second.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 1 Letoltve: 2\r\n");
  EXPECT_EQ(saved("qz1234/1234-002.htm"), fragment("two"));
  EXPECT_EQ(saved("qz1234/1234-003.htm"), fragment("three"));
}

TEST_F(SingleCharacterTest, PageThatIsNotATurnMakesNoFileAndIsAskedForAgain) {
  site.serve(kFrontPage, page("front"));
  site.serve(characterTarget("5"), page(characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0"})));
  site.serveInTurn(turnTarget("5", "1"), {page("<HTML>maintenance</HTML>"), page(turnPage("one"))});
  site.serve(turnTarget("5", "2"), page("<META x> but no end marker"));
  site.serveInTurn(turnTarget("5", "3"), {page(kCannotDisplay), page(turnPage("three"))});
  ProgramResult first = run({"5"});
  EXPECT_EQ(first.out, kBanner +
                           "5 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                           "Atlepve: 0 Letoltve: 3\r\n");
  // Each page that is not a turn may be a lost session: the front page is
  // visited again and the turn asked once more, which brings the first and
  // the third. The second is still not a turn: no file, and it is told.
  EXPECT_EQ(listTree(work / "qz5"), (std::vector<std::string>{"5-001.htm", "5-003.htm"}));
  EXPECT_EQ(site.count(kFrontPage), 4);
  EXPECT_EQ(site.count(turnTarget("5", "2")), 2);
  EXPECT_EQ(first.err,
            "qzturns: 1 page could not be fetched; the next run will ask for them again:\r\n"
            "  came back without the turn (the session may have been lost) x 1\r\n");

  site.serve(turnTarget("5", "2"), page(turnPage("two")));
  ProgramResult second = run({"5"});
  EXPECT_NE(second.out.find("Atlepve: 2 Letoltve: 1\r\n"), std::string::npos);
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(saved("qz5/5-001.htm"), fragment("one"));
  EXPECT_EQ(saved("qz5/5-002.htm"), fragment("two"));
  EXPECT_EQ(saved("qz5/5-003.htm"), fragment("three"));
}

TEST_F(SingleCharacterTest, EmptyTurnFileOfAnEarlierRunStillCountsAsSaved) {
  serveCharacter("5", {"1"});
  ASSERT_EQ(::mkdir((work / "qz5").c_str(), 0777), 0);
  writeFile(work / "qz5/5-001.htm", "");
  ProgramResult result = run({"5"});
  EXPECT_NE(result.out.find("Atlepve: 1 Letoltve: 0\r\n"), std::string::npos);
  EXPECT_EQ(site.count(turnTarget("5", "1")), 0);
}

TEST_F(SingleCharacterTest, EmptyKeyIsANumberedKey) {
  site.serve(characterTarget("8"), page(characterPage({",0,0,0", ",0,0,0"})));
  site.serve(turnTarget("8", ""), page(turnPage("empty key")));
  ProgramResult result = run({"8"});
  EXPECT_EQ(result.out, kBanner + "8 Fordulok szama: 1\r\n0   \r\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_EQ(saved("qz8/8-00.htm"), fragment("empty key"));
}

TEST_F(SingleCharacterTest, CannotDisplayPagePrintsItsMessageAndMakesNoFolder) {
  site.serve(characterTarget("1235"),
             page("<P>x " + kCannotDisplay + " y <A onClick=\"openurl(1,0,0,0)\">"));
  ProgramResult result = run({"1235"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + "1235" + kCannotDisplayLine + "\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_FALSE(has("qz1235"));
}

TEST_F(SingleCharacterTest, PageWithoutOpenurlLinksHasNoTurns) {
  site.serve(characterTarget("9"),
             page("<a href=x onclick=\"openurl(1,0,0,0)\">1</a><A HREF=\"y\">"));
  ProgramResult result = run({"9"});
  EXPECT_EQ(result.out, kBanner + "9\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_FALSE(has("qz9"));
}

TEST_F(SingleCharacterTest, LeftoverPartialFileIsNotTakenForATurn) {
  serveCharacter("1234", {"7"});
  ASSERT_EQ(::mkdir((work / "qz1234").c_str(), 0777), 0);
  writeFile(work / "qz1234/1234-007.htm.part", "<META trunc");
  ProgramResult result = run({"1234"});
  EXPECT_NE(result.out.find("Atlepve: 0 Letoltve: 1\r\n"), std::string::npos);
  EXPECT_EQ(saved("qz1234/1234-007.htm"), fragment("turn 1234/7"));
  EXPECT_FALSE(has("qz1234/1234-007.htm.part"));
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
