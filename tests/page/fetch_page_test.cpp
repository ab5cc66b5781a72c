// fetchPage over the run's real Fetcher, against a site on loopback: what
// arrives, what is asked again and how often, and what is never written.
#include "page/fetch_page.h"
#include "fetch/failure_report.h"
#include "fetch/http_fetcher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_site.h"
#include "http/body_decoder.h"
#include "temp_folder.h"

namespace qz {
namespace {

using qztest::FakeSite;
using qztest::page;
using qztest::Reply;
using qztest::status;

// Pauses and gaps cut down to milliseconds, so that the policy's tries show
// in the request log without the waits.
// A port on loopback whose connections are taken and then either left
// without a word (silent) or reset at once.
class BareServer {
 public:
  explicit BareServer(bool reset) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (reset) {
      thread_ = std::thread([this] {
        for (int client; (client = ::accept(fd_, nullptr, nullptr)) >= 0;) {
          linger hard{1, 0};
          ::setsockopt(client, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
          ::close(client);
        }
      });
    }
  }
  ~BareServer() {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    if (thread_.joinable()) {
      thread_.join();
    }
  }
  std::string secureBase() const { return "https://127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

FetcherSettings quickSettings() {
  FetcherSettings quick;
  quick.health.firstPause = std::chrono::milliseconds(5);
  quick.health.pace.firstGap = std::chrono::milliseconds(5);
  quick.health.pace.longestGap = std::chrono::milliseconds(40);
  return quick;
}

class FetchPageTest : public ::testing::Test {
 protected:
  // A fresh fetcher: new connections, no cookies, the site's health afresh.
  void renew(const FetcherSettings& settings = quickSettings()) {
    fetcher.reset();
    fetcher = std::make_unique<HttpFetcher>(settings);
  }
  void TearDown() override {
    fetcher.reset();  // so the site can close without waiting on a kept-alive connection
  }

  bool fetchUrl(const std::string& url) { return fetchPage(*fetcher, url, file()); }
  bool fetch(const std::string& target) { return fetchUrl(site.baseUrl() + target); }
  std::string file() const { return folder / "temp.txt"; }
  std::string stored() const { return qztest::readFile(file()); }
  std::string headerOf(size_t request, const std::string& name) {
    auto log = site.requests();
    auto found = log.at(request).headers.find(name);
    return found == log.at(request).headers.end() ? "" : found->second;
  }

  FakeSite site;
  qztest::TempFolder folder;
  std::unique_ptr<HttpFetcher> fetcher = std::make_unique<HttpFetcher>(quickSettings());
};

TEST_F(FetchPageTest, StoresTheBodyReplacingTheFile) {
  qztest::writeFile(file(), "an earlier page that is longer");
  site.serve("/a", page("new\r\nbody\x1A\xE1"));
  ASSERT_TRUE(fetch("/a"));
  EXPECT_EQ(stored(), "new\r\nbody\x1A\xE1");
}

TEST_F(FetchPageTest, ReusesOneConnectionForManyRequests) {
  for (int i = 0; i < 25; ++i) {
    std::string target = "/page" + std::to_string(i);
    site.serve(target, page(i % 2 == 0 ? "a" : std::string(100000, 'b')));
    ASSERT_TRUE(fetch(target));
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

TEST_F(FetchPageTest, OnlyTransientAnswersAreAskedAgainFourTimesInAll) {
  // A busy answer that widens the pacing gap costs the request no try; but
  // no page is asked more than eight times, whatever it answers.
  const std::vector<std::pair<int, int>> asked = {{403, 1}, {404, 1}, {410, 1}, {408, 4}, {429, 8},
                                                  {500, 4}, {502, 4}, {503, 8}, {504, 4}};
  for (const auto& [code, times] : asked) {
    renew();
    std::string target = "/status" + std::to_string(code);
    site.serve(target, status(code));
    EXPECT_FALSE(fetch(target));
    EXPECT_EQ(site.count(target), times) << code;
  }
}

TEST_F(FetchPageTest, BriefFailuresAreRiddenOut) {
  Reply dropped = page(std::string(200000, 'd'));
  dropped.dropMidBody = true;
  site.serveInTurn("/flaky", {status(502), dropped, status(503), page("at last")});
  ASSERT_TRUE(fetch("/flaky"));
  EXPECT_EQ(stored(), "at last");
  EXPECT_EQ(site.count("/flaky"), 4);
}

TEST_F(FetchPageTest, ASiteThatNeverAnsweredIsGivenUpAfterItsFirstRequest) {
  for (int i = 0; i < 10; ++i) {
    EXPECT_FALSE(fetchUrl("http://127.0.0.1:1/?s=" + std::to_string(i)));
  }
  // The first request used up its tries; the other nine sent nothing.
  FailedFetches failed = fetcher->failures();
  EXPECT_FALSE(failed.anyAnswer);
  EXPECT_EQ(failed.byCause,
            (std::vector<std::pair<std::string, int>>{
                {"the site could not be reached at http://127.0.0.1:1: connection refused", 1},
                {"not asked: the site could not be reached", 9}}));
}

// A secure handshake that stalls is a silent site: one that never answered
// is given up after its first try (here a second, for 30), as one that
// refuses is after its tries.
TEST_F(FetchPageTest, AStalledHandshakeGivesUpASiteThatNeverAnswered) {
  FetcherSettings quick = quickSettings();
  quick.transfer.connectTimeoutSeconds = 1;
  renew(quick);
  BareServer silent(false);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetchUrl(silent.secureBase() + "/?s=1"));
  EXPECT_FALSE(fetchUrl(silent.secureBase() + "/?s=2"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(
      fetcher->failures().byCause,
      (std::vector<std::pair<std::string, int>>{
          {"the site could not be reached at " + silent.secureBase() + ": no answer in 1 s", 1},
          {"not asked: the site could not be reached", 1}}));
}

// However a reset falls in the handshake, it is told in the same words, and
// never as a site not reached: the site answered, to break it off.
TEST_F(FetchPageTest, AHandshakeResetIsAlwaysToldAlike) {
  BareServer resetting(true);
  for (int run = 0; run < 5; ++run) {
    renew();
    EXPECT_FALSE(fetchUrl(resetting.secureBase() + "/"));
    FailedFetches failed = fetcher->failures();
    ASSERT_EQ(failed.byCause.size(), 1u);
    EXPECT_EQ(failed.byCause[0].first, "no secure connection could be made with " +
                                           resetting.secureBase() + " (TLS handshake failed)");
  }
}

// A proxy that cannot be reached is named, not the site behind it.
TEST_F(FetchPageTest, ADeadProxyIsToldAsTheProxy) {
  ::setenv("http_proxy", "http://127.0.0.1:1", 1);
  EXPECT_FALSE(fetch("/a"));
  FailedFetches failed = fetcher->failures();
  std::string report = failureReport(failed, site.baseUrl(), {});
  ::unsetenv("http_proxy");
  EXPECT_TRUE(site.requests().empty());
  EXPECT_EQ(failed.byCause,
            (std::vector<std::pair<std::string, int>>{
                {"the proxy http://127.0.0.1:1 (from http_proxy) could not be reached", 1}}));
  EXPECT_NE(report.find("check QZTURNS_BASE_URL, the proxy http://127.0.0.1:1 (from http_proxy) "
                        "and the network"),
            std::string::npos)
      << report;
}

TEST_F(FetchPageTest, AHostThatDoesNotResolveIsNotAskedAgain) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fetchUrl("http://qz.jatek.invalid/?s=1"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
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
  EXPECT_EQ(site.count("/loop"), 8) << "each redirect is an ask of the page";
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
  EXPECT_FALSE(fetchUrl("http://127.0.0.1:1/?s=1"));
  EXPECT_FALSE(qztest::exists(file()));
}

TEST_F(FetchPageTest, StalledOrTricklingTransferIsGivenUpWithoutAnotherTry) {
  FetcherSettings quick = quickSettings();
  quick.transfer.stallSeconds = 1;
  renew(quick);
  site.serve("/", page("front"));
  Reply stalled = page(std::string(100000, 's'));
  stalled.stallMidBody = true;
  Reply trickling = page(std::string(400, 't'));
  trickling.trickleMs = 20;  // 50 bytes a second: moving, but below the limit
  site.serve("/stall", stalled);
  site.serve("/trickle", trickling);
  ASSERT_TRUE(fetch("/"));
  EXPECT_FALSE(fetch("/stall"));
  EXPECT_FALSE(fetch("/trickle"));
  EXPECT_EQ(site.count("/stall"), 1);
  EXPECT_EQ(site.count("/trickle"), 1);
  EXPECT_EQ(fetcher->failures().byCause,
            (std::vector<std::pair<std::string, int>>{{"page too slow", 2}}));
}

// A page that gives no answer at all may be the whole site hanging: it is
// asked once more after the site answers a check, and fails alone after a
// second stall.
TEST_F(FetchPageTest, ASilentPageIsAskedOnceMoreAfterTheSiteAnswers) {
  FetcherSettings quick = quickSettings();
  quick.transfer.stallSeconds = 1;
  renew(quick);
  site.serve("/", page("front"));
  Reply silent = page("never");
  silent.holdUntilReleased = true;
  site.serve("/silent", silent);
  ASSERT_TRUE(fetch("/"));
  EXPECT_FALSE(fetch("/silent"));
  site.release();
  EXPECT_EQ(site.count("/silent"), 2);
  EXPECT_EQ(fetcher->failures().byCause,
            (std::vector<std::pair<std::string, int>>{{"no answer in 1 s", 1}}));
  EXPECT_TRUE(fetch("/"));
}

TEST_F(FetchPageTest, WaitsOutRetryAfterOnBusyAnswers) {
  Reply busy = status(503, "busy");
  busy.headers.push_back({"Retry-After", "1"});
  site.serveInTurn("/busy", {busy, page("served")});
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(fetch("/busy"));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  EXPECT_EQ(stored(), "served");
  EXPECT_EQ(site.count("/busy"), 2);
}

TEST_F(FetchPageTest, ARetryAfterOfMoreThanAMinuteIsNotWaitedFor) {
  Reply far = status(503, "down");
  far.headers.push_back({"Retry-After", "3600"});
  site.serve("/far", far);
  EXPECT_FALSE(fetch("/far"));
  EXPECT_EQ(site.count("/far"), 1);
}

TEST_F(FetchPageTest, AGzipStreamCutShortIsAFailedFetch) {
  std::string whole = qztest::gzipped(std::string(300000, 'z') + "tail");
  Reply cut = page("");
  cut.gzipBytes = whole.substr(0, whole.size() / 2);
  site.serve("/cut", cut);
  EXPECT_FALSE(fetch("/cut"));
  EXPECT_FALSE(qztest::exists(file()));
}

TEST_F(FetchPageTest, ABodyPastTheCapIsAFailedFetch) {
  Reply bomb = page("");
  bomb.gzipBytes = qztest::gzipped(std::string(kMaxPageBytes + 1, '\0'));
  site.serve("/bomb", bomb);
  Reply justFits = page("");
  justFits.gzipBytes = qztest::gzipped(std::string(kMaxPageBytes, 'f'));
  site.serve("/fits", justFits);
  EXPECT_FALSE(fetch("/bomb"));
  EXPECT_EQ(site.count("/bomb"), 1);
  EXPECT_TRUE(fetch("/fits"));
  EXPECT_EQ(stored().size(), kMaxPageBytes);
}

TEST_F(FetchPageTest, TheSessionCookieSurvivesACookieFlood) {
  Reply front = page("front");
  front.headers.push_back({"Set-Cookie", "PHPSESSID=abc123; path=/"});
  site.serve("/", front);
  ASSERT_TRUE(fetch("/"));
  Reply flood = page("flood");
  for (int c = 0; c < 5000; ++c) {
    flood.headers.push_back({"Set-Cookie", "c" + std::to_string(c) + "=vvvv; path=/"});
  }
  site.serve("/flood", flood);
  ASSERT_TRUE(fetch("/flood"));
  site.serve("/after", page("after"));
  ASSERT_TRUE(fetch("/after"));
  std::string sent = headerOf(site.requests().size() - 1, "Cookie");
  EXPECT_EQ(std::count(sent.begin(), sent.end(), ';') + 1, 300);
  EXPECT_EQ(sent.rfind("PHPSESSID=abc123; c0=vvvv; c1=vvvv", 0), 0u) << sent.substr(0, 80);
  EXPECT_NE(sent.find("c298=vvvv"), std::string::npos);
}

}  // namespace
}  // namespace qz
