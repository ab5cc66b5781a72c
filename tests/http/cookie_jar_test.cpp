#include "http/cookie_jar.h"

#include <gtest/gtest.h>

#include <string>

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
  EXPECT_EQ(jar.count(), 0u);
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
    CookieJar jar;
    jar.take(host, "/", setCookie, kNow);
    EXPECT_EQ(jar.count(), 0u) << host << " " << setCookie;
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
  EXPECT_EQ(jar.count(), kMaxCookies);
  jar.take("h", "/", "sid=run43", kNow);  // one set again is still taken
  std::string header = jar.headerFor("h", "/", false, kNow);
  EXPECT_EQ(header.rfind("sid=run43; gone=1; c0=", 0), 0u);
  // One that expires makes room.
  jar.take("h", "/", "late=1", kNow + 11);
  EXPECT_NE(jar.headerFor("h", "/", false, kNow + 11).find("late=1"), std::string::npos);
}

}  // namespace
}  // namespace qz
