// The all-characters run's rules, in this process against a scripted site:
// paging through the listing, the roster, and a character that fails.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <optional>

#include "crawl_fixture.h"

namespace qztest {
namespace {

class AllCharactersCrawlTest : public CrawlTest {
 protected:
  std::vector<std::string> listingRequests() {
    std::vector<std::string> listing;
    for (const std::string& target : site.targets()) {
      if (target.find("nyilvanos.php") != std::string::npos) {
        listing.push_back(target);
      }
    }
    return listing;
  }
};

TEST_F(AllCharactersCrawlTest, PagesForwardInTheOrderTheLinksWereGathered) {
  site.serve(listingTarget(0), listingPage({"1001"}, {20, 40, 60}));
  site.serve(listingTarget(20), listingPage({"1002"}, {0, 20, 40, 60}));
  site.serve(listingTarget(40), listingPage({"1003"}, {}));
  site.serve(listingTarget(60), listingPage({"1004"}, {}));
  Result result = run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0), listingTarget(20),
                                                         listingTarget(40), listingTarget(60)}));
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... ....4 karakter\r\n"), std::string::npos);
}

TEST_F(AllCharactersCrawlTest, GoesStraightToTheFirstGreaterOffsetNamed) {
  site.serve(listingTarget(0), listingPage({"1001"}, {60, 20, 40}));
  site.serve(listingTarget(60), listingPage({"1002"}, {0, 20, 40, 60}));
  run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0), listingTarget(60)}));
}

TEST_F(AllCharactersCrawlTest, OffsetLinkWithoutDigitsNeverAdvances) {
  site.serve(listingTarget(0),
             listingPage({"1001"}, {}) + "<A HREF=\"?m=qz&in=nyilvanos.php&kezd=\">next</A>");
  Result result = run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0)}));
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... .1 karakter\r\n"), std::string::npos);
}

TEST_F(AllCharactersCrawlTest, RosterIsUniqueCutToFourAndInKeyListOrder) {
  // Four characters are taken whatever they are: after a three-digit number
  // the quote that closes the link comes along, and a name with a quote is
  // not one every system can hold, so that number is left out.
  site.serve(listingTarget(0), listingPage({"9999", "100077", "999"}, {10}));
  site.serve(listingTarget(10), listingPage({"1000", "9999"}, {}));
  Result result = run();
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... ..2 karakter\r\n"
                            "1000 Fordulok szama: 0\r\n"
                            "9999 Fordulok szama: 0\r\n"
                            "\r\nAtlepve: 0 Letoltve: 0\r\n");
  // Characters without turns still get their folder.
  EXPECT_EQ(listTree(work.path()), (std::vector<std::string>{"qz1000/", "qz9999/", "temp.txt"}));
}

TEST_F(AllCharactersCrawlTest, NumberWithASlashNeverNamesAFolder) {
  site.serve(listingTarget(0), listingPage({"../x", "7007"}, {}));
  Result result = run();
  EXPECT_NE(
      result.out.find("Karakterszamok kigyujtese... .1 karakter\r\n7007 Fordulok szama: 0\r\n"),
      std::string::npos);
  EXPECT_EQ(listTree(work.path()), (std::vector<std::string>{"qz7007/", "temp.txt"}));
}

TEST_F(AllCharactersCrawlTest, FailedFirstListingPageGivesNoCharacters) {
  site.serveInTurn(listingTarget(0), {std::nullopt});
  Result result = run();
  EXPECT_EQ(result.out,
            kBanner + "Karakterszamok kigyujtese... 0 karakter\r\n\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0)}));
}

TEST_F(AllCharactersCrawlTest, CharacterWhosePageFailsCountsZeroTurnsAndTheRunGoesOn) {
  site.serve(listingTarget(0), listingPage({"1001", "1002"}, {}));
  site.serveInTurn(characterTarget("1001"), {std::nullopt});
  serveCharacter("1002", {"3"});
  Result result = run();
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... .2 karakter\r\n"
                            "1001 Fordulok szama: 0\r\n"
                            "1002 Fordulok szama: 1\r\n0   \r"
                            "\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_TRUE(has("qz1001"));
}

TEST_F(AllCharactersCrawlTest, TwoArgumentsArchiveTheWholeListing) {
  site.serve(listingTarget(0), listingPage({"4242"}, {}));
  serveCharacter("4242", {"1"});
  Result result = run({"4242", "4343"});
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... .1 karakter\r\n"
                            "4242 Fordulok szama: 1\r\n0   \r"
                            "\r\nAtlepve: 0 Letoltve: 1\r\n");
}

// With pages fetched ahead the crawl says every character and turn page it
// will ask for, in the order it asks, and none it then goes past: one rule
// picks the turns it says and the turns it asks for, saved turns and empty
// files and two keys of one file among them.
TEST_F(AllCharactersCrawlTest, WithPagesFetchedAheadEveryPageIsSaidInTheOrderItIsAsked) {
  site.setConnections(4);
  site.serve(listingTarget(0), listingPage({"1001", "1002", "1003"}, {}));
  serveCharacter("1001", {"1", "2", "3"});
  serveCharacter("1002", {"007", "7", "8"});
  serveCharacter("1003", {"4", "5"});
  ASSERT_EQ(::mkdir((work / "qz1001").c_str(), 0777), 0);
  ASSERT_EQ(::mkdir((work / "qz1003").c_str(), 0777), 0);
  writeFile(work / "qz1001/1001-002.htm", "saved before");
  writeFile(work / "qz1003/1003-004.htm", "");
  for (bool recheck : {false, true}) {
    recheckEmpty = recheck;
    Result result = run();
    EXPECT_EQ(site.passedOver(), std::vector<std::string>()) << recheck;
    EXPECT_EQ(site.unsaid(), std::vector<std::string>()) << recheck;
  }
  EXPECT_EQ(site.count(turnTarget("1003", "4")), 1) << "asked again only when rechecked";
  EXPECT_EQ(site.count(turnTarget("1002", "7")), 0) << "its file is 007's";
}

// A listing whose next-page links never end: the paging stops at its bound,
// with the characters named by then, holding their numbers and not the
// pages' links.
TEST_F(AllCharactersCrawlTest, AListingThatNeverEndsIsCutAtItsBound) {
  site.serveOthers([](const std::string& target) -> std::optional<std::string> {
    const std::string listing = listingTarget(0);
    if (target.rfind(listing.substr(0, listing.size() - 1), 0) != 0) {
      return std::nullopt;
    }
    int offset = std::stoi(target.substr(listing.size() - 1));
    return listingPage({std::to_string(1000 + offset % 4000)}, {0, offset / 2, offset + 1});
  });
  Result result = run();
  EXPECT_TRUE(result.state.listingCut);
  EXPECT_EQ(site.count(listingTarget(9999)), 1);
  EXPECT_EQ(site.count(listingTarget(10000)), 0);
  EXPECT_EQ(result.state.characterRoster.count(), 4000u);
  EXPECT_NE(result.out.find("... " + std::string(10000, '.') + "4000 karakter\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qztest
