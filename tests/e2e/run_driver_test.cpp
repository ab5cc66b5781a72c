// The run as a whole: banner, front-page visit, choice of run, summary line.
#include <gtest/gtest.h>

#include <chrono>

#include "site_fixture.h"

namespace qztest {
namespace {

class RunDriverTest : public SiteTest {};

TEST_F(RunDriverTest, SingleCharacterWithNoTurnsEchoesTheNumber) {
  site.serve(kFrontPage, page("front"));
  site.serve(characterTarget("1234"), page(characterPage({})));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + "1234\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(site.targets(), (std::vector<std::string>{kFrontPage, characterTarget("1234")}));
  EXPECT_FALSE(has("qz1234"));
}

TEST_F(RunDriverTest, WithoutAServerASingleCharacterRunEndsNormallyAndSaysWhy) {
  ProgramOptions single = options({"1234"});
  single.baseUrl = "http://127.0.0.1:1";
  auto start = std::chrono::steady_clock::now();
  ProgramResult result = runProgram(single);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner + "1234\r\nAtlepve: 0 Letoltve: 0\r\n");
  EXPECT_EQ(result.err,
            "qzturns: the site could not be reached at http://127.0.0.1:1; check "
            "QZTURNS_BASE_URL and the network.\r\n"
            "qzturns: 2 pages could not be fetched; the next run will ask for them again:\r\n"
            "  the site could not be reached at http://127.0.0.1:1: connection refused x 1\r\n"
            "  not asked: the site could not be reached x 1\r\n");
}

TEST_F(RunDriverTest, PagesThatCouldNotBeFetchedAreToldOnStandardError) {
  site.serve(kFrontPage, page("front"));
  site.serve(characterTarget("1234"), page(characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0"})));
  site.serve(turnTarget("1234", "1"), page(turnPage("one")));
  site.serve(turnTarget("1234", "2"), status(410, "Gone"));
  site.serve(turnTarget("1234", "3"), status(404, "Not Found"));
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(result.err,
            "qzturns: 2 pages could not be fetched; the next run will ask for them again:\r\n"
            "  410 Gone x 1\r\n"
            "  404 Not Found x 1\r\n");
}

TEST_F(RunDriverTest, HelpAndVersionAskNothingOfTheSite) {
  for (const char* argument : {"--help", "-h", "/?", "--version"}) {
    ProgramOptions o = options({argument});
    o.baseUrl = "";  // not needed to ask what the program is
    ProgramResult result = runProgram(o);
    EXPECT_EQ(result.exitStatus, 0) << argument;
    EXPECT_EQ(result.err, "") << argument;
    if (std::string(argument) == "--version") {
      EXPECT_EQ(result.out, "qzturns 1.2\r\n");
    } else {
      EXPECT_EQ(result.out.rfind("qzturns keeps a local archive", 0), 0u) << argument;
      for (const char* said : {"qzturns NUMBER", "QZTURNS_BASE_URL", "QZTURNS_CONNECTIONS",
                               "QZTURNS_INDEX", "QZTURNS_RECHECK_EMPTY", "QZTURNS_CA_FILE",
                               "QZTURNS_CHECK_CERTIFICATE", "Exit status: 0", "\r\n"}) {
        EXPECT_NE(result.out.find(said), std::string::npos) << argument << " " << said;
      }
    }
  }
  EXPECT_TRUE(site.requests().empty());
  EXPECT_TRUE(listTree(work.path()).empty());
  ProgramResult asCharacter = run({"--help", "1234"});  // two arguments: a run as ever
  EXPECT_EQ(asCharacter.out.rfind(kBanner, 0), 0u);
}

// No character number begins with "-": a mistyped option is one line and
// status 2, before anything is fetched, wherever it stands.
TEST_F(RunDriverTest, AnUnknownOptionStopsTheRunBeforeAnyRequest) {
  const std::vector<std::vector<std::string>> mistyped = {{"--verison"}, {"-v"}, {"1234", "-x"}};
  for (const std::vector<std::string>& arguments : mistyped) {
    ProgramResult result = run(arguments);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    const std::string& option = arguments.back();
    EXPECT_EQ(result.err,
              "qzturns: unknown option \"" + option + "\"; qzturns --help lists them.\r\n");
  }
  EXPECT_TRUE(site.requests().empty());
}

TEST_F(RunDriverTest, AWrongSiteAddressStopsTheRunBeforeAnyRequest) {
  const std::vector<std::pair<std::string, std::string>> addresses = {
      {"", "QZTURNS_BASE_URL is not set"},
      {"www.example.hu", "must begin with http:// or https://"},
      {site.baseUrl() + "/?m=qz&in=nyilvanos.php", "without a page, path or query"},
      {"http://127.0.0.1:0", "no valid host name or port"},
  };
  for (const auto& [address, said] : addresses) {
    ProgramOptions o = options({"1234"});
    o.baseUrl = address;
    ProgramResult result = runProgram(o);
    EXPECT_EQ(result.exitStatus, 2) << address;
    EXPECT_EQ(result.out, "") << address;
    EXPECT_EQ(result.err.rfind("qzturns: QZTURNS_BASE_URL", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(said), std::string::npos) << address << ": " << result.err;
    EXPECT_EQ(result.err.find("\r\n"), result.err.size() - 2) << "one line: " << result.err;
  }
  EXPECT_TRUE(site.requests().empty());
  EXPECT_TRUE(listTree(work.path()).empty());
  ProgramOptions forgiven = options({"1234"});
  forgiven.baseUrl = "  \"" + site.baseUrl() + "/\" ";
  site.serve(kFrontPage, page("front"));
  EXPECT_EQ(runProgram(forgiven).exitStatus, 0);
  EXPECT_EQ(site.targets(), (std::vector<std::string>{kFrontPage, characterTarget("1234")}));
}

// A host name that does not resolve is not asked again: the run ends at once.
// (A closed port is tried four times, 1 + 2 + 4 s apart: the run above.)
TEST_F(RunDriverTest, WithoutASiteAnAllCharactersRunEndsSoon) {
  const std::vector<std::pair<std::string, double>> sites = {{"http://qzturns-test.invalid", 3.0}};
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

// A character number goes into the addresses as it stands, but for the bytes
// no request line may hold, which go percent-encoded as a browser sends them.
TEST_F(RunDriverTest, ACharacterArgumentIsSentWithItsSpacesAndControlBytesEncoded) {
  site.serve(kFrontPage, page("front"));
  const std::vector<std::pair<std::string, std::string>> arguments = {
      {" ", "%20"}, {"12 34", "12%2034"}, {"a\tb\x7F", "a%09b%7F"}, {"1,2", "1,2"}};
  for (const auto& [argument, sent] : arguments) {
    site.serve(characterTarget(sent), page(characterPage({})));
    ProgramResult result = run({argument});
    EXPECT_EQ(result.out, kBanner + argument + "\r\nAtlepve: 0 Letoltve: 0\r\n") << sent;
    EXPECT_EQ(result.err, "") << sent;
    EXPECT_EQ(site.targets().back(), characterTarget(sent));
  }
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
