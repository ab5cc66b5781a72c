#include "page/site_urls.h"
#include "page/settings.h"

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

TEST(SiteUrlsTest, NumbersAndKeysGoInUnchanged) {
  EXPECT_EQ(characterPageUrl(kBase, "a b&c"),
            "http://site.test/?m=qz&in=karakter.php&karakter=QZa b&c");
  EXPECT_EQ(turnPageUrl(kBase, "12", ""),
            "http://site.test/?m=qz&in=fordulo.php&karakter=QZ12&fordulo=");
}

TEST(SiteUrlsTest, TheSiteAddressIsCheckedAndWhatCanBeForgivenIs) {
  const std::vector<std::pair<std::string, std::string>> good = {
      {"http://www.example.hu", "http://www.example.hu"},
      {"https://www.example.hu", "https://www.example.hu"},
      {"HTTP://Example.HU:8080", "http://Example.HU:8080"},
      {"http://127.0.0.1:1", "http://127.0.0.1:1"},
      {"http://[::1]:8080", "http://[::1]:8080"},
      {"http://www.example.hu/", "http://www.example.hu"},
      {"  http://www.example.hu \r\n", "http://www.example.hu"},
      {"\"http://www.example.hu\"", "http://www.example.hu"},
      {"'http://www.example.hu/'", "http://www.example.hu"},
      {" \" http://www.example.hu \" ", "http://www.example.hu"},
  };
  for (const auto& [value, expected] : good) {
    std::string base, complaint;
    EXPECT_TRUE(siteBaseUrlFrom(value.c_str(), &base, &complaint)) << value << ": " << complaint;
    EXPECT_EQ(base, expected) << value;
  }
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"", "QZTURNS_BASE_URL is not set; it names the game's site, such as http://www.example.hu."},
      {"   ", "QZTURNS_BASE_URL is not set"},
      {"www.example.hu",
       "QZTURNS_BASE_URL must begin with http:// or https://, not "
       "\"www.example.hu\"."},
      {"ftp://www.example.hu", "must begin with http:// or https://"},
      {"http://www.example.hu//", "without a page, path or query"},
      {"http://www.example.hu/index.php?m=qz", "without a page, path or query"},
      {"http://www.example.hu/?s=1&nogfx=on", "without a page, path or query"},
      {"http://user@www.example.hu", "without a page, path or query"},
      {"http://", "no valid host name or port"},
      {"http://www.example.hu:", "no valid host name or port"},
      {"http://www.example.hu:99999", "no valid host name or port"},
      {"http://www.exa_mple.hu", "no valid host name or port"},
      {"http://www..hu", "no valid host name or port"},
      {"http://[::1", "no valid host name or port"},
      {"\"http://www.example.hu", "must begin with http:// or https://"},
  };
  for (const auto& [value, said] : refused) {
    std::string base, complaint;
    EXPECT_FALSE(siteBaseUrlFrom(value.c_str(), &base, &complaint)) << value;
    EXPECT_NE(complaint.find(said), std::string::npos) << value << ": " << complaint;
    EXPECT_NE(complaint.find(" Set it "), std::string::npos) << complaint;
    EXPECT_EQ(complaint.find('\n'), std::string::npos) << complaint;
  }
  std::string base, complaint;
  EXPECT_FALSE(siteBaseUrlFrom(nullptr, &base, &complaint));
  EXPECT_EQ(complaint.rfind("QZTURNS_BASE_URL is not set", 0), 0u);
}

}  // namespace
}  // namespace qz
