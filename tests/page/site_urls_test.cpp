#include "page/site_urls.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qz {
namespace {

const std::string kBase = "http://site.test";

TEST(SiteUrlsTest, FiveRequestForms) {
  EXPECT_EQ(frontPageUrl(kBase), "http://site.test/?s=1&nogfx=on");
  EXPECT_EQ(listingPageUrl(kBase, 40), "http://site.test/?m=qz&in=nyilvanos.php&rendez=&kezd=40");
  EXPECT_EQ(characterPageUrl(kBase, "1234"),
            "http://site.test/?m=qz&in=karakter.php&karakter=QZ1234");
  EXPECT_EQ(turnPageUrl(kBase, "1234", "7"),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1234&fordulo=7");
  EXPECT_EQ(turnPageUrl(kBase, "1234", "ol3,15"),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1234&fordulo=0&oli=3,15");
}

TEST(SiteUrlsTest, ListingOffsetZeroIsSentAsDigit) {
  EXPECT_EQ(listingPageUrl(kBase, 0), "http://site.test/?m=qz&in=nyilvanos.php&rendez=&kezd=0");
}

TEST(SiteUrlsTest, OliKeySendsAtMostTenCharactersAfterOl) {
  EXPECT_EQ(turnPageUrl(kBase, "1", "ol1234567,8901"),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1&fordulo=0&oli=1234567,89");
  EXPECT_EQ(turnPageUrl(kBase, "1", "o"),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1&fordulo=0&oli=");
}

TEST(SiteUrlsTest, NumbersAndKeysGoInAsTheyStandButWhatWouldSplitTheQuery) {
  EXPECT_EQ(characterPageUrl(kBase, "a b,c"),
            "http://site.test/?m=qz&in=karakter.php&karakter=QZa b,c");
  EXPECT_EQ(characterPageUrl(kBase, "12#4"),
            "http://site.test/?m=qz&in=karakter.php&karakter=QZ12%234");
  EXPECT_EQ(turnPageUrl(kBase, "1&2", "5%+="),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1%262&fordulo=5%25%2B%3D");
  EXPECT_EQ(turnPageUrl(kBase, "1", "ol#,&"),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ1&fordulo=0&oli=%23,%26");
  EXPECT_EQ(turnPageUrl(kBase, "12", ""),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ12&fordulo=");
}

}  // namespace
}  // namespace qz
