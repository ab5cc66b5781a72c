#include "crawl_fixture.h"

#include <unistd.h>

#include "crawl/site_crawl.h"

namespace qztest {

void CrawlTest::SetUp() {
  char home[4096];
  ASSERT_EQ(::getcwd(home, sizeof home), home);
  home_ = home;
  ASSERT_EQ(::chdir(work.path().c_str()), 0);
  site.serve(kFrontPage, "<HTML>front</HTML>");
}

void CrawlTest::TearDown() {
  ASSERT_EQ(::chdir(home_.c_str()), 0);
}

CrawlTest::Result CrawlTest::run(std::vector<std::string> arguments) {
  Result result;
  result.state.baseUrl = ScriptedFetcher::kBaseUrl;
  result.state.recheckEmpty = recheckEmpty;
  testing::internal::CaptureStdout();
  qz::crawlSite(result.state, site, arguments);
  result.out = testing::internal::GetCapturedStdout();
  result.failed = site.failures();
  return result;
}

void CrawlTest::serveCharacter(const std::string& c, const std::vector<std::string>& keys) {
  std::vector<std::string> links;
  for (const std::string& k : keys) {
    links.push_back(k + ",0,0,0");
    site.serve(turnTarget(c, k), turnPage("turn " + c + "/" + k));
  }
  site.serve(characterTarget(c), characterPage(links));
}

}  // namespace qztest
