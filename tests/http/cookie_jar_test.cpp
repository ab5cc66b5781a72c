#include "http/cookie_jar.h"
#include "http/http_date.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace qz {
namespace {

const std::time_t kNow = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(CookieJarTest, ACookieGoesBackWhereItApplies) {
  CookieJar jar;
  jar.take("qz.example.hu", "/?s=1&nogfx=on", "sid=run42", kNow);  // its path is "/", query or not
  jar.take("qz.example.hu", "/", "lang=hu; Path=/game; Max-Age=3600", kNow);
  jar.take("qz.example.hu", "/", "wide=1; Domain=.example.hu", kNow);
  jar.take("qz.example.hu", "/", "safe=1; Secure", kNow);
  EXPECT_EQ(jar.headerFor("qz.example.hu", "/?m=qz&in=karakter.php", false, kNow),
            "sid=run42; wide=1");
  EXPECT_EQ(jar.headerFor("QZ.example.hu", "/game/x", true, kNow),
            "lang=hu; sid=run42; wide=1; safe=1");
  EXPECT_EQ(jar.headerFor("www.example.hu", "/", false, kNow), "wide=1");
  EXPECT_EQ(jar.headerFor("qz.example.hu", "/gamer", false, kNow), "sid=run42; wide=1");
  EXPECT_EQ(jar.headerFor("qz.example.hu", "/game", false, kNow + 3601), "sid=run42; wide=1");
}

TEST(CookieJarTest, ACookieIsReplacedRemovedOrRefused) {
  CookieJar jar;
  jar.take("h", "/", "a=1", kNow);
  jar.take("h", "/", "a=2", kNow);
  EXPECT_EQ(jar.headerFor("h", "/", false, kNow), "a=2");
  jar.take("h", "/", "a=; Max-Age=0", kNow);
  jar.take("h", "/", "b=1; Expires=Sat, 05 Nov 1994 08:49:37 GMT", kNow);
  jar.take("h", "/", "c=1; Domain=elsewhere.example", kNow);
  jar.take("h", "/", "d=" + std::string(kMaxCookieBytes, 'v'), kNow);
  jar.take("h", "/", "no equals sign", kNow);
  EXPECT_EQ(jar.headerFor("h", "/", true, kNow), "");
}

TEST(CookieJarTest, ADomainTooWideOrOnAnAddressIsRefused) {
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"qz.example.com", "a=1; Domain=com"},
      {"qz.example.com", "a=1; Domain=.com"},
      {"127.0.0.1", "a=1; Domain=.0.0.1"},
      {"127.0.0.1", "a=1; Domain=0.1"},
      {"h", "a=1\r\nX-Injected: 1"},
      {"h", std::string("a=1\0b", 5)},
      {"h", "a=x\ny"},
  };
  for (const auto& [host, setCookie] : refused) {
    EXPECT_FALSE(parseSetCookie(host, "/", setCookie, kNow)) << host << " " << setCookie;
  }
  CookieJar jar;
  jar.take("127.0.0.1", "/", "a=1; Domain=127.0.0.1", kNow);
  EXPECT_EQ(jar.headerFor("127.0.0.1", "/", false, kNow), "a=1");
  EXPECT_EQ(jar.headerFor("1.127.0.0.1", "/", false, kNow), "");
}

TEST(CookieJarTest, AFloodNeverPushesOutWhatTheSiteSetFirst) {
  CookieJar jar;
  jar.take("h", "/", "sid=run42", kNow);
  jar.take("h", "/", "gone=1; Max-Age=10", kNow);
  for (size_t i = 0; i < 5000; ++i) {
    jar.take("h", "/", "c" + std::to_string(i) + "=" + std::string(1000, 'v'), kNow);
  }
  std::string header = jar.headerFor("h", "/", false, kNow);
  EXPECT_EQ(std::count(header.begin(), header.end(), ';') + 1, static_cast<long>(kMaxCookies));
  jar.take("h", "/", "sid=run43", kNow);  // one set again is still taken
  header = jar.headerFor("h", "/", false, kNow);
  EXPECT_EQ(header.rfind("sid=run43; gone=1; c0=", 0), 0u);
  // One that expires makes room.
  jar.take("h", "/", "late=1", kNow + 11);
  EXPECT_NE(jar.headerFor("h", "/", false, kNow + 11).find("late=1"), std::string::npos);
}

// Dates by the cookie rules: the first time, day, month and year tokens,
// whatever stands around them.
TEST(HttpDateTest, ReadsDatesAsTheCookieRulesDo) {
  const std::vector<std::pair<std::string, std::optional<long long>>> cases = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
      {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
      {"Sun Nov  6 08:49:37 1994", 784111777},
      {"Sun, 06 November 1994 08:49:37 GMT", 784111777},
      {"06 nov 1994 8:49:37", 784111777},
      {"Sat, 21 Oct 2017 07:28:00 GMT-2", 1508570880},  // a trailing zone is no year
      {"Wed, 31-Dec-1969 23:59:59 GMT", -1},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Mon, 01 Jan 1601 00:00:00 GMT", -11644473600},
      {"Thu, 29 Feb 2024 00:00:00 GMT", 1709164800},
      {"Thu, 06 Nov 69 08:49:37 GMT", 3150953377},
      {"Fri, 06 Nov 70 08:49:37 GMT", 26729377},
      {"Sun, 31 Dec 1600 23:59:59 GMT", std::nullopt},  // before 1601
      {"Fri, 30 Feb 2024 00:00:00 GMT", std::nullopt},  // no such day
      {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
      {"Sun, 06 Nov 1994 08:60:00 GMT", std::nullopt},
      {"Sun, 06 Nov 12345 08:49:37 GMT", std::nullopt},
      {"06 Nov 1994", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, seconds] : cases) {
    EXPECT_EQ(httpDateSeconds(text), seconds) << text;
  }
}

// What each attribute does, one Set-Cookie at a time, set on a page under
// /game/ and read back from there.
TEST(CookieJarTest, AttributesCountAsTheCookieRulesSay) {
  const struct {
    std::string setCookie;
    std::string sentTo;  // host and path the header is asked for
    std::string header;
  } cases[] = {
      {"a=1; Expires=Wed, 31-Dec-1969 23:59:59 GMT", "qz.example.hu/game/", ""},
      {"a=1; Expires=Mon, 21 Oct 2030 07:28:00 GMT-2", "qz.example.hu/game/", "a=1"},
      {"a=1; Max-Age=60; Expires=Wed, 31-Dec-1969 23:59:59 GMT", "qz.example.hu/game/", "a=1"},
      {"a=1; Domain=elsewhere.example; Domain=example.hu", "www.example.hu/game/", "a=1"},
      {"a=1; Domain=example.hu; Domain=elsewhere.example", "qz.example.hu/game/", ""},
      {"a=1; Domain=example.hu; Domain=", "www.example.hu/game/", "a=1"},
      {"a=1; Path=/other; Path=", "qz.example.hu/game/x", "a=1"},
      {"a=1; Path=/other; Path=", "qz.example.hu/", ""},
      {"a=1; Path=/game/deep; Path=/", "qz.example.hu/", "a=1"},
      {"a=1; Path=relative", "qz.example.hu/game/x", "a=1"},
  };
  for (const auto& c : cases) {
    CookieJar jar;
    jar.take("qz.example.hu", "/game/page?x=1", c.setCookie, kNow);
    size_t slash = c.sentTo.find('/');
    EXPECT_EQ(jar.headerFor(c.sentTo.substr(0, slash), c.sentTo.substr(slash), false, kNow),
              c.header)
        << c.setCookie << " to " << c.sentTo;
  }
}

}  // namespace
}  // namespace qz
