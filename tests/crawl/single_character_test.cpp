// The single-character run's rules, in this process against a scripted
// site: turn keys, file names and bytes, counters, and what is asked again.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <optional>

#include "crawl_fixture.h"

namespace qztest {
namespace {

class SingleCharacterCrawlTest : public CrawlTest {};

TEST_F(SingleCharacterCrawlTest, SecondRunSkipsEverySavedTurnWithoutAskingForIt) {
  serveCharacter("1234", {"1", "2", "10"});
  run({"1234"});
  size_t before = site.targets().size();
  Result second = run({"1234"});
  EXPECT_EQ(second.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 3 Letoltve: 0\r\n");
  auto targets = site.targets();
  EXPECT_EQ(std::vector<std::string>(targets.begin() + static_cast<long>(before), targets.end()),
            (std::vector<std::string>{kFrontPage, characterTarget("1234")}));
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "qz1234/1234-002.htm",
                                      "qz1234/1234-010.htm", "temp.txt"}));
}

TEST_F(SingleCharacterCrawlTest, TurnFileKeepsTheFragmentBytesWithLfLineEnds) {
  site.serve(characterTarget("77"), characterPage({"5,0,0,0"}));
  site.serve(turnTarget("77", "5"),
             "<HTML><HEAD>\r\n<META x>\r\n\xC1rv\xEDzt\xFBr\xF5 \x1A"
             "cut\r\nline\rjoined\r\n" +
                 kEndMarker + "')</SCRIPT>\r\n");
  run({"77"});
  EXPECT_EQ(saved("qz77/77-005.htm"), "<META x>\n\xC1rv\xEDzt\xFBr\xF5 \nlinejoined\n");
}

TEST_F(SingleCharacterCrawlTest, OliAndNumberedKeysAreRequestedAndNamedApart) {
  site.serve(characterTarget("1234"),
             characterPage({"7,0,0,0", "1007,0,0,0", "0,0,3,15", "5,1,3,15", "9,1,0,0"}));
  site.serve(turnTarget("1234", "7"), turnPage("seven"));
  site.serve(turnTarget("1234", "1007"), turnPage("thousand and seven"));
  site.serve(oliTarget("1234", "3,15"), turnPage("oli"));
  Result result = run({"1234"});
  EXPECT_EQ(result.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(saved("qz1234/1234-007.htm"), fragment("seven"));
  EXPECT_EQ(saved("qz1234/1234-1007.htm"), fragment("thousand and seven"));
  EXPECT_EQ(saved("qz1234/1234-ol3,15.htm"), fragment("oli"));
}

TEST_F(SingleCharacterCrawlTest, KeysNoFileSystemCanHoldAreNeitherCountedNorRequested) {
  const std::vector<std::string> hostile = {"../../x", "..\\..\\x", "a:b", "a?b",   "a*b",
                                            "a|b",     "a<b",       "a>b", "a\x01b"};
  std::vector<std::string> links = {"4,0,0,0"};
  for (const std::string& key : hostile) {
    links.push_back(key + ",0,0,0");
    site.serve(turnTarget("1234", key), turnPage("hostile"));
  }
  site.serve(characterTarget("1234"), characterPage(links));
  site.serve(turnTarget("1234", "4"), turnPage("four"));
  Result result = run({"1234"});
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 1\r\n0   \r\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_EQ(site.targets().size(), 2u + 1u);  // front page, character page, turn 4
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-004.htm", "temp.txt"}));
}

TEST_F(SingleCharacterCrawlTest, FailedTurnFetchLeavesNoFileAndIsFetchedByTheNextRun) {
  serveCharacter("1234", {"1", "2", "3"});
  site.serveInTurn(turnTarget("1234", "2"), {std::nullopt, turnPage("two")});
  site.serveInTurn(turnTarget("1234", "3"), {std::nullopt, turnPage("three")});
  Result first = run({"1234"});
  EXPECT_EQ(first.out, kBanner +
                           "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                           "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "temp.txt"}));

  Result second = run({"1234"});
  EXPECT_EQ(second.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 1 Letoltve: 2\r\n");
  EXPECT_EQ(saved("qz1234/1234-002.htm"), fragment("two"));
  EXPECT_EQ(saved("qz1234/1234-003.htm"), fragment("three"));
}

TEST_F(SingleCharacterCrawlTest, PageThatIsNotATurnMakesNoFileAndIsAskedForAgain) {
  site.serve(characterTarget("5"), characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0"}));
  site.serveInTurn(turnTarget("5", "1"), {"<HTML>maintenance</HTML>", turnPage("one")});
  site.serve(turnTarget("5", "2"), "<META x> but no end marker");
  site.serveInTurn(turnTarget("5", "3"), {kCannotDisplay, turnPage("three")});
  Result first = run({"5"});
  EXPECT_EQ(first.out, kBanner +
                           "5 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                           "Atlepve: 0 Letoltve: 3\r\n");
  // Each page that is not a turn may be a lost session: the front page is
  // visited again and the turn asked once more, which brings the first and
  // the third. The second is still not a turn: no file, and it is told.
  EXPECT_EQ(listTree(work / "qz5"), (std::vector<std::string>{"5-001.htm", "5-003.htm"}));
  EXPECT_EQ(site.count(kFrontPage), 4);
  EXPECT_EQ(site.count(turnTarget("5", "2")), 2);
  EXPECT_EQ(first.failed.byCause,
            (std::vector<std::pair<std::string, int>>{
                {"came back without the turn (the session may have been lost)", 1}}));

  site.serve(turnTarget("5", "2"), turnPage("two"));
  Result second = run({"5"});
  EXPECT_NE(second.out.find("Atlepve: 2 Letoltve: 1\r\n"), std::string::npos);
  EXPECT_EQ(second.failed.count, 1) << "the first run's, and no more";
  EXPECT_EQ(saved("qz5/5-001.htm"), fragment("one"));
  EXPECT_EQ(saved("qz5/5-002.htm"), fragment("two"));
  EXPECT_EQ(saved("qz5/5-003.htm"), fragment("three"));
}

TEST_F(SingleCharacterCrawlTest, EmptyTurnFileOfAnEarlierRunStillCountsAsSaved) {
  serveCharacter("5", {"1"});
  ASSERT_EQ(::mkdir((work / "qz5").c_str(), 0777), 0);
  writeFile(work / "qz5/5-001.htm", "");
  Result result = run({"5"});
  EXPECT_NE(result.out.find("Atlepve: 1 Letoltve: 0\r\n"), std::string::npos);
  EXPECT_EQ(site.count(turnTarget("5", "1")), 0);
}

TEST_F(SingleCharacterCrawlTest, EmptyKeyIsANumberedKey) {
  site.serve(characterTarget("8"), characterPage({",0,0,0", ",0,0,0"}));
  site.serve(turnTarget("8", ""), turnPage("empty key"));
  Result result = run({"8"});
  EXPECT_EQ(result.out, kBanner + "8 Fordulok szama: 1\r\n0   \r\r\nAtlepve: 0 Letoltve: 1\r\n");
  EXPECT_EQ(saved("qz8/8-00.htm"), fragment("empty key"));
}

TEST_F(SingleCharacterCrawlTest, CannotDisplayPagePrintsItsMessageAndMakesNoFolder) {
  site.serve(characterTarget("1235"),
             "<P>x " + kCannotDisplay + " y <A onClick=\"openurl(1,0,0,0)\">");
  Result result = run({"1235"});
  EXPECT_EQ(result.out, kBanner + "1235" + kCannotDisplayLine + "\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_FALSE(has("qz1235"));
}

TEST_F(SingleCharacterCrawlTest, PageWithoutOpenurlLinksHasNoTurns) {
  site.serve(characterTarget("9"), "<a href=x onclick=\"openurl(1,0,0,0)\">1</a><A HREF=\"y\">");
  Result result = run({"9"});
  EXPECT_EQ(result.out, kBanner + "9\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_FALSE(has("qz9"));
}

TEST_F(SingleCharacterCrawlTest, LeftoverPartialFileIsNotTakenForATurn) {
  serveCharacter("1234", {"7"});
  ASSERT_EQ(::mkdir((work / "qz1234").c_str(), 0777), 0);
  writeFile(work / "qz1234/1234-007.htm.part", "<META trunc");
  Result result = run({"1234"});
  EXPECT_NE(result.out.find("Atlepve: 0 Letoltve: 1\r\n"), std::string::npos);
  EXPECT_EQ(saved("qz1234/1234-007.htm"), fragment("turn 1234/7"));
  EXPECT_FALSE(has("qz1234/1234-007.htm.part"));
}

}  // namespace
}  // namespace qztest
