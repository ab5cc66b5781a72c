// A site that keeps a session per visitor, and loses it: the run opens a new
// one and goes on, as a player would by visiting the front page again.
#include <gtest/gtest.h>

#include "site_fixture.h"

namespace qztest {
namespace {

class LostSessionTest : public SiteTest {
 protected:
  // Three characters of five turns each; without a session the site shows
  // its cannot-display page for a character and an error page for a turn.
  void SetUp() override {
    site.serve(kFrontPage, page("front"));
    site.serve(listingTarget(0), page(listingPage({"4001", "4002", "4003"}, {})));
    for (const char* c : {"4001", "4002", "4003"}) {
      serveCharacter(c, {"1", "2", "3", "4", "5"});
    }
    site.requireSession(kFrontPage, {{"karakter.php", page(kCannotDisplay)},
                                     {"fordulo.php", page("<HTML>Lejart a munkamenet</HTML>")}});
  }
  const std::string kWholeRun = kBanner + "Karakterszamok kigyujtese... .3 karakter\r\n" +
                                "4001 Fordulok szama: 5\r\n0   \r1   \r2   \r3   \r4   \r"
                                "4002 Fordulok szama: 5\r\n0   \r1   \r2   \r3   \r4   \r"
                                "4003 Fordulok szama: 5\r\n0   \r1   \r2   \r3   \r4   \r\r\n"
                                "Atlepve: 0 Letoltve: 15\r\n";
};

TEST_F(LostSessionTest, ASessionLostMidRunIsRenewedAndNothingIsLost) {
  // Lost before a turn page, and before a character page: the request
  // before it has passed the site's check when it is seen.
  const std::pair<std::string, std::string> cases[] = {
      {turnTarget("4001", "3"), turnTarget("4001", "2")},
      {characterTarget("4002"), turnTarget("4001", "5")}};
  for (const auto& [lostBefore, seen] : cases) {
    TempFolder folder, output;
    ProgramOptions o = options();
    o.workDir = folder.path();
    int visits = site.count(kFrontPage);
    int seenBefore = site.count(seen);
    pid_t pid = startProgram(o, output.path());
    ASSERT_TRUE(site.waitForRequest(seen, seenBefore + 1));
    site.forgetSessions();
    ProgramResult result = finishProgram(pid, output.path());
    EXPECT_EQ(result.out, kWholeRun) << lostBefore;
    EXPECT_EQ(listTree(folder.path()).size(), 1 + 3 * 6u)
        << lostBefore;  // folders, files, temp.txt
    EXPECT_EQ(readFile(folder / "qz4002/4002-005.htm"), fragment("turn 4002/5"));
    EXPECT_EQ(site.count(kFrontPage) - visits, 2) << lostBefore;
  }
}

TEST_F(LostSessionTest, AHiddenCharacterCostsARenewalAndOneRequestMore) {
  for (const char* c : {"4001", "4002", "4003"}) {
    site.serve(characterTarget(c), page(kCannotDisplay));
  }
  ProgramResult result = run();
  EXPECT_EQ(result.out, kBanner + "Karakterszamok kigyujtese... .3 karakter\r\n" + "4001" +
                            kCannotDisplayLine + " Fordulok szama: 0\r\n" + "4002" +
                            kCannotDisplayLine + " Fordulok szama: 0\r\n" + "4003" +
                            kCannotDisplayLine + " Fordulok szama: 0\r\n" +
                            "\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(result.err, "") << "a hidden character is no failure";
  EXPECT_EQ(site.count(kFrontPage), 4);
  for (const char* c : {"4001", "4002", "4003"}) {
    EXPECT_EQ(site.count(characterTarget(c)), 2) << c;
  }
}

}  // namespace
}  // namespace qztest
