// An all-characters run of the program, end to end: the listing, the roster
// and every character's turns. The rules of each step are tested in this
// process in tests/crawl/all_characters_test.cpp.
#include <gtest/gtest.h>

#include <chrono>

#include "site_fixture.h"

namespace qztest {
namespace {

class AllCharactersTest : public SiteTest {};

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

// A listing page that fails once is asked again by the fetcher's policy:
// the crawl never sees the failure.
TEST_F(AllCharactersTest, LaterListingPageThatFailsOnceIsAskedForAgain) {
  site.serve(listingTarget(0), page(listingPage({"1001"}, {5})));
  site.serveInTurn(listingTarget(5), {status(503), page(listingPage({"1002"}, {}))});
  ProgramResult result = run();
  EXPECT_EQ(site.count(listingTarget(5)), 2);
  EXPECT_NE(result.out.find("Karakterszamok kigyujtese... ..2 karakter\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qztest
