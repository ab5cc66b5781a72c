// A whole character archived in this process against a rate-limited site:
// the client follows the rate the site allows instead of losing turns.
#include <unistd.h>

#include <gtest/gtest.h>

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
    tenth.retry.firstPause = std::chrono::milliseconds(100);
    tenth.retry.pace.firstGap = std::chrono::milliseconds(50);
    tenth.retry.pace.longestGap = std::chrono::milliseconds(800);
    setClientLimits(tenth);
    resetClient();
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
  EXPECT_LT(turnRequests, kTurns * 3 / 2) << turnRequests << " requests";
}

}  // namespace
}  // namespace qz
