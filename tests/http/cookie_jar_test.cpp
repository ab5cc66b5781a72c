#include "http/cookie_jar.h"

#include <gtest/gtest.h>

#include <string>

namespace qz {
namespace {

const std::time_t kNow = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(CookieJarTest, ACookieGoesBackWhereItApplies) {
  CookieJar jar;
  jar.take("qz.example", "/?s=1&nogfx=on", "sid=run42", kNow);  // its path is "/", query or not
  jar.take("qz.example", "/", "lang=hu; Path=/game; Max-Age=3600", kNow);
  jar.take("qz.example", "/", "wide=1; Domain=.example", kNow);
  jar.take("qz.example", "/", "safe=1; Secure", kNow);
  EXPECT_EQ(jar.headerFor("qz.example", "/?m=qz&in=karakter.php", false, kNow),
            "sid=run42; wide=1");
  EXPECT_EQ(jar.headerFor("QZ.example", "/game/x", true, kNow),
            "lang=hu; sid=run42; wide=1; safe=1");
  EXPECT_EQ(jar.headerFor("www.example", "/", false, kNow), "wide=1");
  EXPECT_EQ(jar.headerFor("qz.example", "/gamer", false, kNow), "sid=run42; wide=1");
  EXPECT_EQ(jar.headerFor("qz.example", "/game", false, kNow + 3601), "sid=run42; wide=1");
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

TEST(CookieJarTest, AFloodKeepsTheNewestCookies) {
  CookieJar jar;
  for (size_t i = 0; i < 3 * kMaxCookies; ++i) {
    jar.take("h", "/", "c" + std::to_string(i) + "=" + std::string(1000, 'v'), kNow);
  }
  EXPECT_EQ(jar.count(), kMaxCookies);
  std::string header = jar.headerFor("h", "/", false, kNow);
  EXPECT_EQ(header.find("c0="), std::string::npos);
  EXPECT_NE(header.find("c" + std::to_string(3 * kMaxCookies - 1) + "="), std::string::npos);
}

}  // namespace
}  // namespace qz
