// An all-characters run: the listing, the roster and every character's turns.
#include <gtest/gtest.h>

#include <chrono>

#include "site_fixture.h"

namespace qztest {
namespace {

class AllCharactersTest : public SiteTest {
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

TEST_F(AllCharactersTest, ConsoleTextOfATwoPageListing) {
  site.serve(listingTarget(0), page(listingPage({"1234"}, {0, 20})));
  site.serve(listingTarget(20), page(listingPage({"1235"}, {0, 20})));
  serveCharacter("1234", {"1", "2"});
  site.serve(characterTarget("1235"), page("<P>" + kCannotDisplay + "</P>"));
  ProgramResult result = run();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... ..2 karakter\r\n"
                            "1234 Fordulok szama: 2\r\n0   \r1   \r"
                            "1235" +
                            kCannotDisplayLine +
                            " Fordulok szama: 0\r\n"
                            "\r\nAtlepve: 0 Letoltve: 2\r\n");
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "qz1234/1234-002.htm",
                                      "qz1235/", "temp.txt"}));
  EXPECT_EQ(saved("qz1234/1234-002.htm"), fragment("turn 1234/2"));
}

TEST_F(AllCharactersTest, PagesForwardInTheOrderTheLinksWereGathered) {
  site.serve(listingTarget(0), page(listingPage({"1001"}, {20, 40, 60})));
  site.serve(listingTarget(20), page(listingPage({"1002"}, {0, 20, 40, 60})));
  site.serve(listingTarget(40), page(listingPage({"1003"}, {})));
  site.serve(listingTarget(60), page(listingPage({"1004"}, {})));
  ProgramResult result = run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0), listingTarget(20),
                                                         listingTarget(40), listingTarget(60)}));
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... ....4 karakter\r\n"), std::string::npos);
}

TEST_F(AllCharactersTest, GoesStraightToTheFirstGreaterOffsetNamed) {
  site.serve(listingTarget(0), page(listingPage({"1001"}, {60, 20, 40})));
  site.serve(listingTarget(60), page(listingPage({"1002"}, {0, 20, 40, 60})));
  run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0), listingTarget(60)}));
}

TEST_F(AllCharactersTest, OffsetLinkWithoutDigitsNeverAdvances) {
  site.serve(listingTarget(0),
             page(listingPage({"1001"}, {}) + "<A HREF=\"?m=qz&in=nyilvanos.php&kezd=\">next</A>"));
  ProgramResult result = run();
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0)}));
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... .1 karakter\r\n"), std::string::npos);
}

TEST_F(AllCharactersTest, RosterIsUniqueCutToFourAndInKeyListOrder) {
  // Four characters are taken whatever they are: after a three-digit number
  // the quote that closes the link comes along, and a name with a quote is
  // not one every system can hold, so that number is left out.
  site.serve(listingTarget(0), page(listingPage({"9999", "100077", "999"}, {10})));
  site.serve(listingTarget(10), page(listingPage({"1000", "9999"}, {})));
  ProgramResult result = run();
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... ..2 karakter\r\n"
                            "1000 Fordulok szama: 0\r\n"
                            "9999 Fordulok szama: 0\r\n"
                            "\r\nAtlepve: 0 Letoltve: 0\r\n");
  // Characters without turns still get their folder.
  EXPECT_EQ(listTree(work.path()), (std::vector<std::string>{"qz1000/", "qz9999/", "temp.txt"}));
}

TEST_F(AllCharactersTest, NumberWithASlashNeverNamesAFolder) {
  site.serve(listingTarget(0), page(listingPage({"../x", "7007"}, {})));
  ProgramResult result = run();
  EXPECT_NE(
      result.out.find("Karakterszamok kigyujtese... .1 karakter\r\n7007 Fordulok szama: 0\r\n"),
      std::string::npos);
  EXPECT_EQ(listTree(work.path()), (std::vector<std::string>{"qz7007/", "temp.txt"}));
}

TEST_F(AllCharactersTest, FailedFirstListingPageGivesNoCharacters) {
  site.serve(listingTarget(0), status(404));
  ProgramResult result = run();
  EXPECT_EQ(result.out,
            kBanner + "Karakterszamok kigyujtese... 0 karakter\r\n\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(listingRequests(), (std::vector<std::string>{listingTarget(0)}));
}

TEST_F(AllCharactersTest, LaterListingPageThatFailsOnceIsAskedForAgain) {
  site.serve(listingTarget(0), page(listingPage({"1001"}, {5})));
  site.serveInTurn(listingTarget(5), {status(503), page(listingPage({"1002"}, {}))});
  ProgramResult result = run();
  EXPECT_EQ(listingRequests(),
            (std::vector<std::string>{listingTarget(0), listingTarget(5), listingTarget(5)}));
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... ..2 karakter\r\n"), std::string::npos);
}

TEST_F(AllCharactersTest, CharacterWhosePageFailsCountsZeroTurnsAndTheRunGoesOn) {
  site.serve(listingTarget(0), page(listingPage({"1001", "1002"}, {})));
  site.serve(characterTarget("1001"), status(404));
  serveCharacter("1002", {"3"});
  ProgramResult result = run();
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... .2 karakter\r\n"
                            "1001 Fordulok szama: 0\r\n"
                            "1002 Fordulok szama: 1\r\n0   \r"
                            "\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_TRUE(has("qz1001"));
}

TEST_F(AllCharactersTest, TwoArgumentsArchiveTheWholeListing) {
  site.serve(listingTarget(0), page(listingPage({"4242"}, {})));
  serveCharacter("4242", {"1"});
  ProgramResult result = run({"4242", "4343"});
  EXPECT_EQ(result.out, kBanner +
                            "Karakterszamok kigyujtese... .1 karakter\r\n"
                            "4242 Fordulok szama: 1\r\n0   \r"
                            "\r\nAtlepve: 0 Letoltve: 1\r\n");
}

}  // namespace
}  // namespace qztest
