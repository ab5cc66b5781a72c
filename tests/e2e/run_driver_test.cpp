// The run as a whole: banner, front-page visit, choice of run, summary line.
#include <gtest/gtest.h>

#include <chrono>

#include "site_fixture.h"

namespace qztest {
namespace {

class RunDriverTest : public SiteTest {};

TEST_F(RunDriverTest, SingleCharacterWithNoTurnsEchoesTheNumber) {
  site.serve(kFrontPage, page("front"));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + "1234\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(site.targets(), (std::vector<std::string>{kFrontPage, characterTarget("1234")}));
  EXPECT_FALSE(has("qz1234"));
}

TEST_F(RunDriverTest, WithoutAServerASingleCharacterRunEndsNormally) {
  ProgramOptions single = options({"1234"});
  single.baseUrl = "http://127.0.0.1:1";
  ProgramResult result = runProgram(single);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + "1234\r\nAtlepve: 0 Letoltve: 0\r\n");
}

// A closed port is tried hard for a few requests (1 + 2 + 4 s of pauses
// each) and then given one try per request; an unknown host is never
// tried again.
TEST_F(RunDriverTest, WithoutASiteAnAllCharactersRunEndsSoon) {
  const std::vector<std::pair<std::string, double>> sites = {{"http://127.0.0.1:1", 20.0},
                                                             {"http://qzturns-test.invalid", 3.0}};
  for (const auto& [base, seconds] : sites) {
    ProgramOptions all = options();
    all.baseUrl = base;
    auto start = std::chrono::steady_clock::now();
    ProgramResult result = runProgram(all);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
              seconds)
        << base;
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, kBanner +
                              "Karakterszamok kigyujtese... 0 karakter\r\n\r\n"
                              "Atlepve: 0 Letoltve: 0\r\n");
  }
}

TEST_F(RunDriverTest, EmptyArgumentsAreNotCounted) {
  ProgramResult result = run({"", "1234"});
  EXPECT_EQ(result.out, kBanner + "1234\r\nAtlepve: 0 Letoltve: 0\r\n");

  result = run({""});
  EXPECT_EQ(result.out,
            kBanner + "Karakterszamok kigyujtese... 0 karakter\r\n\r\nAtlepve: 0 Letoltve: 0\r\n");
}

TEST_F(RunDriverTest, AQuotedSpaceIsOneCharacterNumber) {
  ProgramResult result = run({" "});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + " \r\nAtlepve: 0 Letoltve: 0\r\n");
}

TEST_F(RunDriverTest, TwoArgumentsStartAnAllCharactersRun) {
  ProgramResult result = run({"1234", "1235"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out,
            kBanner + "Karakterszamok kigyujtese... 0 karakter\r\n\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(site.targets(), (std::vector<std::string>{kFrontPage, listingTarget(0)}));
}

TEST_F(RunDriverTest, FrontPageCookieGoesOutWithLaterRequests) {
  Reply front = page("front");
  front.headers.push_back({"Set-Cookie", "sid=run42"});
  site.serve(kFrontPage, front);
  run({"1234"});
  auto log = site.requests();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].headers.count("Cookie"), 0u);
  auto cookie = log[1].headers.find("Cookie");
  ASSERT_NE(cookie, log[1].headers.end());
  EXPECT_EQ(cookie->second, "sid=run42");
  EXPECT_EQ(log[0].connection, log[1].connection);
}

TEST_F(RunDriverTest, LocalFileFailureEndsTheRunWithTheErrorReport) {
  serveCharacter("1234", {"7"});
  writeFile(work / "qz1234", "a file where the folder should be");
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.out, kBanner + "1234 Fordulok szama: 1\r\n0   \r");
  EXPECT_EQ(result.err, errorReport("00404C20", "Invalid filename"));
}

TEST_F(RunDriverTest, ErrorReportNamesTheProgramByItsFileName) {
  if (underLauncher()) {
    GTEST_SKIP() << "a launcher gives the program its own name";
  }
  serveCharacter("1234", {"7"});
  writeFile(work / "qz1234", "");
  ProgramOptions renamed = options({"1234"});
  renamed.programName = "/usr/local/bin/myturns";
  ProgramResult result = runProgram(renamed);
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_EQ(result.err,
            "Exception EInOutError in module myturns at 00404C20.\r\nInvalid filename.\r\n\r\n");
}

}  // namespace
}  // namespace qztest
