#include "page/fetch_page.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_site.h"
#include "temp_folder.h"

namespace qz {
namespace {

using qztest::FakeSite;
using qztest::page;
using qztest::Reply;
using qztest::status;

class FetchPageTest : public ::testing::Test {
 protected:
  void SetUp() override { setFetchLimits(FetchLimits()); }
  void TearDown() override {
    setFetchLimits(FetchLimits());
    resetFetchClient();  // so the site can close without waiting on a kept-alive connection
  }

  bool fetch(const std::string& target) { return fetchPage(site.baseUrl() + target, file()); }
  std::string file() const { return folder / "temp.txt"; }
  std::string stored() const { return qztest::readFile(file()); }
  std::string headerOf(size_t request, const std::string& name) {
    auto log = site.requests();
    auto found = log.at(request).headers.find(name);
    return found == log.at(request).headers.end() ? "" : found->second;
  }

  FakeSite site;
  qztest::TempFolder folder;
};

TEST_F(FetchPageTest, StoresTheBodyReplacingTheFile) {
  qztest::writeFile(file(), "an earlier page that is longer");
  site.serve("/a", page("new\r\nbody\x1A\xE1"));
  ASSERT_TRUE(fetch("/a"));
  EXPECT_EQ(stored(), "new\r\nbody\x1A\xE1");
}

TEST_F(FetchPageTest, ReusesOneConnectionForManyRequests) {
  site.serve("/a", page("a"));
  site.serve("/b", page(std::string(100000, 'b')));
  for (int i = 0; i < 25; ++i) {
    ASSERT_TRUE(fetch(i % 2 == 0 ? "/a" : "/b"));
  }
  EXPECT_EQ(site.requests().size(), 25u);
  EXPECT_EQ(site.connectionCount(), 1u);
}

TEST_F(FetchPageTest, AnErrorAnswerKeepsTheConnection) {
  site.serve("/a", page("a"));
  ASSERT_TRUE(fetch("/a"));
  EXPECT_FALSE(fetch("/missing"));
  ASSERT_TRUE(fetch("/a"));
  EXPECT_EQ(site.connectionCount(), 1u);
}

TEST_F(FetchPageTest, SendsBackACookieTheSiteSet) {
  Reply front = page("front");
  front.headers.push_back({"Set-Cookie", "PHPSESSID=abc123; path=/"});
  site.serve("/front", front);
  site.serve("/next", page("next"));
  ASSERT_TRUE(fetch("/front"));
  ASSERT_TRUE(fetch("/next"));
  EXPECT_EQ(headerOf(1, "Cookie"), "PHPSESSID=abc123");
}

TEST_F(FetchPageTest, DecodesAGzipBody) {
  Reply packed = page(std::string(5000, 'x') + "end\xE9");
  packed.gzip = true;
  site.serve("/z", packed);
  ASSERT_TRUE(fetch("/z"));
  EXPECT_EQ(stored(), std::string(5000, 'x') + "end\xE9");
  EXPECT_NE(headerOf(0, "Accept-Encoding").find("gzip"), std::string::npos);
}

TEST_F(FetchPageTest, NamesTheProgramAsUserAgent) {
  site.serve("/a", page("a"));
  ASSERT_TRUE(fetch("/a"));
  EXPECT_EQ(headerOf(0, "User-Agent"), "qzturns/1.2");
}

TEST_F(FetchPageTest, ErrorStatusIsAFailedFetchThatLeavesTheFileAlone) {
  qztest::writeFile(file(), "kept");
  site.serve("/gone", status(404, "<html>Not here</html>"));
  site.serve("/broken", status(500, "<html>Oops</html>"));
  EXPECT_FALSE(fetch("/gone"));
  EXPECT_FALSE(fetch("/broken"));
  EXPECT_FALSE(fetch("/never-served"));
  EXPECT_EQ(stored(), "kept");
  EXPECT_FALSE(qztest::exists(file() + ".part"));
}

TEST_F(FetchPageTest, DroppedConnectionIsAFailedFetchWithNoPartialBody) {
  qztest::writeFile(file(), "kept");
  Reply dropped = page(std::string(200000, 'd'));
  dropped.dropMidBody = true;
  site.serve("/drop", dropped);
  EXPECT_FALSE(fetch("/drop"));
  EXPECT_EQ(stored(), "kept");
  EXPECT_FALSE(qztest::exists(file() + ".part"));
}

TEST_F(FetchPageTest, FollowsRedirectsButNotForever) {
  Reply moved = status(302, "");
  moved.headers.push_back({"Location", "/there"});
  site.serve("/here", moved);
  site.serve("/there", page("arrived"));
  ASSERT_TRUE(fetch("/here"));
  EXPECT_EQ(stored(), "arrived");

  Reply loop = status(302, "");
  loop.headers.push_back({"Location", "/loop"});
  site.serve("/loop", loop);
  EXPECT_FALSE(fetch("/loop"));
  EXPECT_LT(site.count("/loop"), 20);
}

TEST_F(FetchPageTest, RedirectToALocalFileIsNotFollowed) {
  qztest::writeFile(folder / "secret.txt", "local secret");
  Reply moved = status(302, "");
  moved.headers.push_back({"Location", "file://" + folder / "secret.txt"});
  site.serve("/sneaky", moved);
  EXPECT_FALSE(fetch("/sneaky"));
  EXPECT_FALSE(qztest::exists(file()));
}

TEST_F(FetchPageTest, RefusedConnectionIsAFailedFetch) {
  EXPECT_FALSE(fetchPage("http://127.0.0.1:1/?s=1", file()));
  EXPECT_FALSE(qztest::exists(file()));
}

TEST_F(FetchPageTest, StalledTransferIsGivenUp) {
  FetchLimits quick;
  quick.stallTimeout = 1;
  setFetchLimits(quick);
  Reply stalled = page(std::string(100000, 's'));
  stalled.stallMidBody = true;
  site.serve("/stall", stalled);
  EXPECT_FALSE(fetch("/stall"));
  EXPECT_FALSE(qztest::exists(file()));
}

TEST_F(FetchPageTest, WaitsOutRetryAfterOnBusyAnswers) {
  Reply busy = status(503, "busy");
  busy.headers.push_back({"Retry-After", "1"});
  site.serveInTurn("/busy", {busy, page("served")});
  ASSERT_TRUE(fetch("/busy"));
  EXPECT_EQ(stored(), "served");
  EXPECT_EQ(site.count("/busy"), 2);
}

TEST_F(FetchPageTest, GivesUpAfterTwoRetries) {
  Reply tooMany = status(429, "slow down");
  tooMany.headers.push_back({"Retry-After", "0"});
  site.serve("/many", tooMany);
  EXPECT_FALSE(fetch("/many"));
  EXPECT_EQ(site.count("/many"), 3);
}

TEST_F(FetchPageTest, DoesNotRetryWithoutAShortRetryAfter) {
  site.serve("/plain", status(503, "down"));
  Reply far = status(503, "down");
  far.headers.push_back({"Retry-After", "3600"});
  site.serve("/far", far);
  EXPECT_FALSE(fetch("/plain"));
  EXPECT_FALSE(fetch("/far"));
  EXPECT_EQ(site.count("/plain"), 1);
  EXPECT_EQ(site.count("/far"), 1);
}

}  // namespace
}  // namespace qz
