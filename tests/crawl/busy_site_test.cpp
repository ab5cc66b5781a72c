// A whole character archived in this process against a site under strain: a
// rate-limited site is followed at the rate it allows instead of losing
// turns, a site that answers only with errors is given up in bounded time,
// and a brief outage costs nothing.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "crawl/turn_archive.h"
#include "crawl/turn_list.h"
#include "http/http_client.h"
#include "page/fetch_page.h"
#include "site_fixture.h"

namespace qz {
namespace {

class BusySiteTest : public qztest::SiteTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(::getcwd(home_, sizeof home_), home_);
    ASSERT_EQ(::chdir(work.path().c_str()), 0);
    // The policy's waits at a tenth, so the test takes seconds, not minutes.
    ClientLimits tenth;
    tenth.health.firstPause = std::chrono::milliseconds(100);
    tenth.health.pace.longestGap = std::chrono::milliseconds(400);
    tenth.health.givenUpAfter = std::chrono::milliseconds(4500);
    setClientLimits(tenth);
    resetClient();
  }
  // Serves a character with that many turns and collects its turn list.
  RunState characterWithTurns(int turns) {
    std::vector<std::string> keys;
    for (int t = 1; t <= turns; ++t) {
      keys.push_back(std::to_string(t));
    }
    serveCharacter("1234", keys);
    RunState state;
    state.baseUrl = site.baseUrl();
    collectTurnList(state, "1234");
    EXPECT_EQ(state.turnList.count(), static_cast<size_t>(turns));
    return state;
  }
  // Every turn asked before the outage began (downFrom: the request that
  // the site went down after) or after it ended is saved.
  void expectEveryAnsweredTurnSaved(std::chrono::steady_clock::time_point since,
                                    std::chrono::steady_clock::time_point downFrom,
                                    std::chrono::steady_clock::time_point downTo) {
    for (const qztest::LoggedRequest& request : site.requests()) {
      size_t at = request.target.find("&fordulo=");
      bool outside =
          request.arrived > since && (request.arrived < downFrom || request.arrived > downTo);
      if (at != std::string::npos && outside) {
        std::string key = request.target.substr(at + 9);
        EXPECT_TRUE(has(turnFileName("1234", key))) << key;
      }
    }
  }
  void TearDown() override {
    setClientLimits(ClientLimits());
    resetClient();
    ASSERT_EQ(::chdir(home_), 0);
  }
  char home_[4096] = {};
};

TEST_F(BusySiteTest, ARateLimitedSiteIsFollowedAtItsRateAndEveryTurnIsSaved) {
  const int kTurns = 200;
  std::vector<std::string> keys;
  for (int t = 1; t <= kTurns; ++t) {
    keys.push_back(std::to_string(t));
  }
  serveCharacter("1234", keys);
  site.setRateLimit(20, 5);

  RunState state;
  state.baseUrl = site.baseUrl();
  collectTurnList(state, "1234");
  ASSERT_EQ(state.turnList.count(), static_cast<size_t>(kTurns));
  archiveTurns(state, "1234");

  EXPECT_EQ(state.fetchedCount, kTurns);
  EXPECT_EQ(qztest::listTree(work / "qz1234").size(), static_cast<size_t>(kTurns));
  EXPECT_EQ(saved("qz1234/1234-200.htm"), qztest::fragment("turn 1234/200"));
  size_t turnRequests = site.requests().size() - 1;  // the character page
  EXPECT_LE(turnRequests, kTurns * 105 / 100) << turnRequests << " requests";
}

// The budgets are the program's, at a tenth: a site whose back end stopped
// is given up within 60 s, one that refuses everything within 90 s.
TEST_F(BusySiteTest, ASiteThatAnswersOnlyWithErrorsIsGivenUpWithinItsBudget) {
  const struct {
    int status;
    std::chrono::milliseconds budget;
  } cases[] = {{502, std::chrono::milliseconds(6000)}, {429, std::chrono::milliseconds(9000)}};
  for (const auto& c : cases) {
    resetClient();
    RunState state = characterWithTurns(60);
    auto run = std::async(std::launch::async, [&] { archiveTurns(state, "1234"); });
    std::string twentieth = qztest::turnTarget("1234", "20");  // the 13th in key order
    ASSERT_TRUE(site.waitForRequest(twentieth, site.count(twentieth) + 1));
    site.answerAllWith(c.status);
    auto broken = std::chrono::steady_clock::now();
    run.get();
    EXPECT_LE(std::chrono::steady_clock::now() - broken, c.budget) << c.status;
    EXPECT_EQ(state.fetchedCount, 60);
    EXPECT_GE(qztest::listTree(work / "qz1234").size(), 12u);
    site.answerAllWith(0);
    std::string body;
    EXPECT_FALSE(fetchBody(site.baseUrl() + "/", &body)) << "given up for the rest of the run";
    std::filesystem::remove_all(work / "qz1234");
  }
}

// At a tenth again: a 2 s outage costs nothing, a 20 s one costs the turns
// asked while it lasted, and every turn asked after it is saved.
TEST_F(BusySiteTest, AnOutageIsRiddenOutAndTheSiteNotGivenUp) {
  const struct {
    std::chrono::milliseconds outage;
    size_t leastSaved;
  } cases[] = {{std::chrono::milliseconds(200), 40}, {std::chrono::milliseconds(2000), 36}};
  for (const auto& c : cases) {
    resetClient();
    auto since = std::chrono::steady_clock::now();
    RunState state = characterWithTurns(40);
    auto run = std::async(std::launch::async, [&] { archiveTurns(state, "1234"); });
    std::string tenthTurn = qztest::turnTarget("1234", "10");
    ASSERT_TRUE(site.waitForRequest(tenthTurn, site.count(tenthTurn) + 1));
    auto downFrom = site.requests().back().arrived;
    auto downTo = std::chrono::steady_clock::now() + c.outage;
    site.goDownFor(c.outage);
    run.get();
    EXPECT_EQ(state.fetchedCount, 40);
    EXPECT_GE(qztest::listTree(work / "qz1234").size(), c.leastSaved) << c.outage.count();
    expectEveryAnsweredTurnSaved(since, downFrom, downTo);
    EXPECT_TRUE(has("qz1234/1234-040.htm")) << c.outage.count();
    std::filesystem::remove_all(work / "qz1234");
  }
}

}  // namespace
}  // namespace qz
