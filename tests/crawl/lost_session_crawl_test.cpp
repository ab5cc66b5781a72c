// Sessions the site loses, in this process against a scripted site that
// opens one at every front-page visit and loses it at set requests: the
// session is renewed as often as that helps, a character is taken for hidden
// only in a fresh session, and every page not saved is told.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crawl/site_crawl.h"
#include "crawl/turn_list.h"
#include "crawl_fixture.h"

namespace qztest {
namespace {

// Loses its session at every loseEvery-th request for a page (0: never);
// without one, a character or turn page comes back as the cannot-display page.
class ForgetfulSite : public ScriptedFetcher {
 public:
  bool fetch(const std::string& url, qz::Purpose purpose, std::string* body,
             TimePoint* sentAt) override {
    const bool isPage = url.find("karakter=") != std::string::npos;
    if (url.find(kFrontPage) != std::string::npos) {
      session_ = true;
    } else if (loseEvery > 0 && ++requests_ % loseEvery == 0) {
      session_ = false;
    }
    bool arrived = ScriptedFetcher::fetch(url, purpose, body, sentAt);
    if (arrived && isPage && !session_) {
      *body = "<P>" + kCannotDisplay + "</P>";
    }
    return arrived;
  }
  int loseEvery = 0;

 private:
  bool session_ = false;
  int requests_ = 0;
};

class LostSessionCrawlTest : public CrawlTest {
 protected:
  // Sixty characters of three turns each.
  std::vector<std::string> serveSixty() {
    std::vector<std::string> characters;
    for (int c = 0; c < 60; ++c) {
      characters.push_back(std::to_string(2000 + c));
      serveCharacter(characters.back(), {"1", "2", "3"});
    }
    forgetful.serve(listingTarget(0), listingPage(characters, {}));
    return characters;
  }
  Result runAll() {
    Result result;
    result.state.baseUrl = ScriptedFetcher::kBaseUrl;
    testing::internal::CaptureStdout();
    qz::crawlSite(result.state, forgetful, {});
    result.out = testing::internal::GetCapturedStdout();
    result.failed = forgetful.failures();
    return result;
  }
  void serveCharacter(const std::string& c, const std::vector<std::string>& keys) {
    std::vector<std::string> links;
    for (const std::string& k : keys) {
      links.push_back(k + ",0,0,0");
      forgetful.serve(turnTarget(c, k), turnPage("turn " + c + "/" + k));
    }
    forgetful.serve(characterTarget(c), characterPage(links));
  }
  ForgetfulSite forgetful;
};

// Lost at every other request: every renewal helps, so renewals go on for
// the whole run, far past the eight asks a page may get, and nothing is lost.
TEST_F(LostSessionCrawlTest, SessionsLostAtEveryOtherRequestAreRenewedForTheWholeRun) {
  forgetful.serve(kFrontPage, "front");
  serveSixty();
  forgetful.loseEvery = 2;
  Result result = runAll();
  EXPECT_EQ(result.state.savedTurnFiles.size(), 180u);
  EXPECT_EQ(result.failed.count, 0);
  EXPECT_EQ(result.out.find(kCannotDisplayLine), std::string::npos);
  EXPECT_GT(forgetful.count(kFrontPage), 100);
  EXPECT_FALSE(result.state.renewals.everPaused);
}

// Lost at every request: no renewal helps. The first characters are taken
// for hidden, each in a fresh session; once renewals pause, a character page
// that says so is printed the same but told as not saved, with the session.
TEST_F(LostSessionCrawlTest, SessionsLostAtEveryRequestAreToldPageByPage) {
  forgetful.serve(kFrontPage, "front");
  serveSixty();
  forgetful.loseEvery = 1;
  Result result = runAll();
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

}  // namespace
}  // namespace qztest
