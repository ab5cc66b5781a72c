// Sessions the site loses, in this process against a scripted site that
// opens one at every front-page visit and loses it at set requests: the
// session is renewed as often as that helps, a character is taken for hidden
// only in a fresh session, and every page not saved is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/turn_list.h"
#include "crawl_fixture.h"

namespace qztest {
namespace {

class LostSessionCrawlTest : public CrawlTest {
 protected:
  // Sixty characters of three turns each.
  void serveSixty() {
    std::vector<std::string> characters;
    for (int c = 0; c < 60; ++c) {
      characters.push_back(std::to_string(2000 + c));
      serveCharacter(characters.back(), {"1", "2", "3"});
    }
    site.serve(listingTarget(0), listingPage(characters, {}));
  }
};

// Lost at every other request: every renewal helps, so renewals go on for
// the whole run, far past the eight asks a page may get, and nothing is lost.
TEST_F(LostSessionCrawlTest, SessionsLostAtEveryOtherRequestAreRenewedForTheWholeRun) {
  serveSixty();
  site.loseSessionEvery(2, kFrontPage);
  Result result = run();
  EXPECT_EQ(result.state.savedTurnFiles.size(), 180u);
  EXPECT_EQ(result.failed.count, 0);
  EXPECT_EQ(result.out.find(kCannotDisplayLine), std::string::npos);
  EXPECT_GT(site.count(kFrontPage), 100);
  EXPECT_FALSE(result.state.renewals.everPaused);
}

// Lost at every request: no renewal helps. The first characters are taken
// for hidden, each in a fresh session; once renewals pause, a character page
// that says so is printed the same but told as not saved, with the session.
TEST_F(LostSessionCrawlTest, SessionsLostAtEveryRequestAreToldPageByPage) {
  serveSixty();
  site.loseSessionEvery(1, kFrontPage);
  Result result = run();
  EXPECT_TRUE(result.state.renewals.everPaused);
  EXPECT_EQ(result.state.savedTurnFiles.size(), 0u);
  size_t hidden = 0;
  for (size_t at = result.out.find(kCannotDisplayLine); at != std::string::npos;
       at = result.out.find(kCannotDisplayLine, at + 1)) {
    ++hidden;
  }
  EXPECT_EQ(hidden, 60u) << "standard output as ever";
  EXPECT_EQ(result.failed.byCause,
            (std::vector<std::pair<std::string, int>>{{qz::kCannotDisplayUnkeptCause, 57}}))
      << "the three before the pause were each read in a fresh session";
}

// Lost at every request once the first character is saved: each character
// after it says "cannot display" in a fresh session too, but the first
// one's page, asked again, says so as well: the session was not kept, and
// each is told as not saved, at one request more each.
TEST_F(LostSessionCrawlTest, AJudgementInAFreshSessionIsControlledByAPageThatHadItsContent) {
  serveSixty();
  site.loseSessionEvery(1, kFrontPage, 5);  // the listing, 2000 and its three turns
  Result result = run();
  EXPECT_EQ(result.state.savedTurnFiles.size(), 3u);
  EXPECT_EQ(result.failed.byCause,
            (std::vector<std::pair<std::string, int>>{{qz::kCannotDisplayUnkeptCause, 59}}));
  EXPECT_EQ(site.count(characterTarget("2000")), 4) << "once, then once each for 2001 to 2003";
}

// A character the site hides from a session it keeps: one request more,
// the page that had its content, and the character is taken for hidden.
TEST_F(LostSessionCrawlTest, AHiddenCharacterCostsOneRequestMore) {
  serveCharacter("2000", {"1"});
  site.serve(characterTarget("2001"), "<P>" + kCannotDisplay + "</P>");
  serveCharacter("2002", {"1"});
  site.serve(listingTarget(0), listingPage({"2000", "2001", "2002"}, {}));
  site.loseSessionEvery(1000, kFrontPage);
  Result result = run();
  EXPECT_EQ(result.state.savedTurnFiles.size(), 2u);
  EXPECT_EQ(result.failed.count, 0);
  EXPECT_EQ(site.count(characterTarget("2000")), 2);
  EXPECT_EQ(site.count(characterTarget("2001")), 2);  // in the run's session, then a fresh one
}

}  // namespace
}  // namespace qztest
