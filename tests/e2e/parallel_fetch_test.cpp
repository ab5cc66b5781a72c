// Several connections change how fast a run is, never what it does: the
// same output, the same archive, each page asked for once.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "site_fixture.h"

namespace qztest {
namespace {

class ParallelFetchTest : public SiteTest {
 protected:
  // A listing of two pages and eight characters, one with no turns, one the
  // site will not show (unless hidden is false), the rest with turns of
  // their own; two turns of the first are saved already. Every request takes
  // a while, so that requests on several connections overlap.
  void serveGame(bool hidden = true) {
    site.setLatency(5, 0);
    site.serve(kFrontPage, page("front"));
    site.serve(listingTarget(0), page(listingPage({"3001", "3002", "3003", "3004"}, {4})));
    site.serve(listingTarget(4), page(listingPage({"3005", "3006", "3007", "3008"}, {})));
    for (int c = 3001; c <= 3008; ++c) {
      std::vector<std::string> keys;
      for (int t = 1; t <= (c == 3003 ? 0 : c % 7 + 3); ++t) {
        keys.push_back(std::to_string(t));
      }
      serveCharacter(std::to_string(c), keys);
    }
    if (hidden) {
      site.serve(characterTarget("3004"), page(kCannotDisplay));
    }
  }

  struct Outcome {
    ProgramResult result;
    std::map<std::string, std::string> archive;
  };
  Outcome runWith(const std::string& connections, std::vector<std::string> arguments,
                  const std::string& folder) {
    ProgramOptions parallel = options(std::move(arguments));
    parallel.workDir = folder;
    parallel.environment = {{"QZTURNS_CONNECTIONS", connections}};
    Outcome outcome{runProgram(parallel), {}};
    for (const std::string& name : listTree(folder)) {
      // The search index's record holds the turn files' times of writing.
      if (name != "search-index/record.txt") {
        outcome.archive[name] = name.back() == '/' ? "" : readFile(folder + "/" + name);
      }
    }
    return outcome;
  }
  void saveTwoTurnsBefore(const std::string& folder) {
    ASSERT_TRUE(std::filesystem::create_directory(folder + "/qz3001"));
    writeFile(folder + "/qz3001/3001-002.htm", fragment("turn 3001/2"));
    writeFile(folder + "/qz3001/3001-004.htm", fragment("turn 3001/4"));
  }
  // Every target asked for, each once.
  void expectEachAskedOnce() {
    std::vector<std::string> asked = site.targets();
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());
  }
};

TEST_F(ParallelFetchTest, FourConnectionsGiveWhatOneGives) {
  serveGame();
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{}, std::vector<std::string>{"3001"}}) {
    TempFolder one, four;
    saveTwoTurnsBefore(one.path());
    saveTwoTurnsBefore(four.path());
    size_t before = site.requests().size();
    Outcome sequential = runWith("1", arguments, one.path());
    size_t sequentialRequests = site.requests().size() - before;
    Outcome parallel = runWith("4", arguments, four.path());
    EXPECT_EQ(parallel.result.exitStatus, 0);
    EXPECT_EQ(parallel.result.out, sequential.result.out);
    EXPECT_EQ(parallel.archive, sequential.archive);
    // The hidden character makes both runs visit the front page again and
    // ask once more; nothing else is asked twice.
    size_t parallelRequests = site.requests().size() - before - sequentialRequests;
    EXPECT_EQ(parallelRequests, sequentialRequests);
  }
}

TEST_F(ParallelFetchTest, EveryPageIsAskedForOnceOnAtMostFourConnections) {
  serveGame(false);
  saveTwoTurnsBefore(work.path());
  Outcome parallel = runWith("4", {}, work.path());
  EXPECT_NE(parallel.result.out.find("Atlepve: 2 Letoltve: 45\r\n"), std::string::npos)
      << parallel.result.out;
  expectEachAskedOnce();
  EXPECT_EQ(site.count(turnTarget("3001", "2")), 0);
  EXPECT_LE(site.connectionCount(), 4u);
  EXPECT_GT(site.connectionCount(), 1u);
}

TEST_F(ParallelFetchTest, NeverMoreConnectionsThanAskedFor) {
  serveGame(false);
  for (const char* connections : {"6", "8"}) {
    TempFolder folder;
    size_t before = site.connectionCount();
    Outcome parallel = runWith(connections, {}, folder.path());
    EXPECT_EQ(parallel.result.exitStatus, 0);
    EXPECT_LE(site.connectionCount() - before, static_cast<size_t>(connections[0] - '0'))
        << connections;
  }
}

TEST_F(ParallelFetchTest, ABusySiteBringsTheRunBackToOneRequestAtATime) {
  serveGame();
  Reply busy = status(429, "slow down");
  busy.headers.push_back({"Retry-After", "0"});
  const std::string busyTarget = turnTarget("3007", "2");
  site.serveInTurn(busyTarget, {busy, page(turnPage("turn 3007/2"))});
  // From the 429 on, each answer takes longer than the gap the client then
  // leaves between requests, so requests on several connections would overlap.
  std::thread slowDown([&] {
    if (site.waitForRequest(busyTarget)) {
      site.setLatency(150, 0);
    }
  });
  Outcome parallel = runWith("4", {}, work.path());
  slowDown.join();
  EXPECT_EQ(parallel.result.exitStatus, 0);
  EXPECT_EQ(parallel.archive["qz3007/3007-002.htm"], fragment("turn 3007/2"));
  // From the first moment after the client had taken in the 429 (it asked
  // again) when nothing was under way at the site, no two requests overlap.
  std::vector<LoggedRequest> log = site.requests();
  std::sort(log.begin(), log.end(),
            [](const auto& a, const auto& b) { return a.arrived < b.arrived; });
  auto askedAgain = std::find_if(log.begin(), log.end(), [&, seen = 0](const auto& r) mutable {
    return r.target == busyTarget && ++seen == 2;
  });
  ASSERT_NE(askedAgain, log.end());
  auto settled = log.end();
  auto lastAnswer = log.front().answered;
  for (auto r = log.begin(); r != log.end(); ++r) {
    if (r > askedAgain && r->arrived >= lastAnswer) {
      settled = r;
      break;
    }
    lastAnswer = std::max(lastAnswer, r->answered);
  }
  ASSERT_NE(settled, log.end());
  ASSERT_GE(log.end() - settled, 3);
  for (auto r = settled + 1; r != log.end(); ++r) {
    EXPECT_GE(r->arrived, (r - 1)->answered) << r->target << " overlapped " << (r - 1)->target;
  }
}

// The connections do not wait at each character for the crawl to read the
// next one's page: its turns are asked for while this one's last are
// fetched, and nothing is asked twice.
TEST_F(ParallelFetchTest, TheNextCharactersTurnsAreFetchedWhileThisOnesLastAreUnderWay) {
  site.setLatency(20, 0);
  site.serve(kFrontPage, page("front"));
  site.serve(listingTarget(0), page(listingPage({"3101", "3102"}, {})));
  // Nine turns: the ninth goes out alone, one round after the others, with
  // room beside it on the other connections.
  serveCharacter("3101", {"1", "2", "3", "4", "5", "6", "7", "8", "9"});
  serveCharacter("3102", {"1", "2", "3", "4"});
  Outcome parallel = runWith("4", {}, work.path());
  EXPECT_NE(parallel.result.out.find("Atlepve: 0 Letoltve: 13\r\n"), std::string::npos);
  expectEachAskedOnce();
  qztest::LoggedRequest lastOfFirst, firstOfNext;
  for (const LoggedRequest& request : site.requests()) {
    if (request.target == turnTarget("3101", "9")) {
      lastOfFirst = request;
    } else if (request.target == turnTarget("3102", "1")) {
      firstOfNext = request;
    }
  }
  EXPECT_LT(firstOfNext.arrived, lastOfFirst.answered);
}

TEST_F(ParallelFetchTest, APageThatAnswers503ForGoodIsAskedEightTimesAtMost) {
  serveGame(false);
  const std::string broken = turnTarget("3008", "3");  // the last page of the run
  site.serve(broken, status(503, "busy"));
  Outcome parallel = runWith("8", {}, work.path());
  EXPECT_EQ(parallel.result.exitStatus, 0);
  EXPECT_EQ(site.count(broken), 8);
  EXPECT_NE(parallel.result.out.find("Atlepve: 0 Letoltve: 47\r\n"), std::string::npos);
  EXPECT_EQ(parallel.archive.count("qz3008/3008-003.htm"), 0u);
  EXPECT_EQ(parallel.archive["qz3008/3008-002.htm"], fragment("turn 3008/2"));
  EXPECT_EQ(parallel.result.err,
            "qzturns: 1 page could not be fetched; the next run will ask for it again:\r\n"
            "  503 Service Unavailable x 1\r\n");
}

}  // namespace
}  // namespace qztest
