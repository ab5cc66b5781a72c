// A site that sends what no honest page is: a compression bomb, a gzip
// stream cut short, and a working folder with a link planted in it.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

#include "site_fixture.h"

namespace qztest {
namespace {

class HostileSiteTest : public SiteTest {};

TEST_F(HostileSiteTest, ACompressionBombFailsTheFetchWithinBoundedMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  serveCharacter("1234", {"1", "2"});
  ProgramOptions limited = options({"1234"});
  // Wine reserves more address space than any such limit allows; there the
  // peak resident size alone shows the bound.
  if (!underLauncher()) {
    limited.memoryLimit = 512L << 20;
  }
  Reply bomb = page("");
  bomb.gzipBytes = gzippedZeros(size_t{1} << 30);  // 1 MB that expands to 1 GiB
  site.serve(turnTarget("1234", "1"), bomb);
  ProgramResult result = runProgram(limited);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out,
            kBanner + "1234 Fordulok szama: 2\r\n0   \r1   \r\r\nAtlepve: 0 Letoltve: 2\r\n");
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-002.htm"}));
  EXPECT_EQ(site.count(turnTarget("1234", "1")), 1);
  EXPECT_LT(result.peakRssKib, 100L * 1024);
}

TEST_F(HostileSiteTest, ACutGzipStreamLeavesNoFileAndTheNextRunSavesTheTurn) {
  serveCharacter("1234", {"1"});
  std::string whole = gzipped(turnPage("turn 1234/1" + std::string(200000, 'g')));
  Reply cut = page("");
  cut.gzipBytes = whole.substr(0, whole.size() / 2);
  Reply fine = page("");
  fine.gzipBytes = whole;
  site.serveInTurn(turnTarget("1234", "1"), {cut, fine});
  run({"1234"});
  EXPECT_EQ(listTree(work / "qz1234"), std::vector<std::string>{});
  run({"1234"});
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1" + std::string(200000, 'g')));
}

TEST_F(HostileSiteTest, APlantedPartLinkIsNotFollowed) {
  if (underLauncher()) {
    // Wine shows a Unix link as the file it points to, so no Windows call can
    // tell it from a stale file or remove it alone. On Windows a link is a
    // reparse point, and DeleteFile removes the link itself.
    GTEST_SKIP() << "a Unix link cannot be planted for a program under wine";
  }
  serveCharacter("1234", {"1"});
  writeFile(work / "precious.txt", "keep me");
  ASSERT_EQ(::mkdir((work / "qz1234").c_str(), 0777), 0);
  ASSERT_EQ(::symlink((work / "precious.txt").c_str(), (work / "qz1234/1234-001.htm.part").c_str()),
            0);
  ProgramResult result = run({"1234"});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(readFile(work / "precious.txt"), "keep me");
  EXPECT_EQ(saved("qz1234/1234-001.htm"), fragment("turn 1234/1"));
  struct stat info;
  ASSERT_EQ(::lstat((work / "qz1234/1234-001.htm").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));
  EXPECT_EQ(listTree(work / "qz1234"), (std::vector<std::string>{"1234-001.htm"}));
}

// A listing whose next-page links never end: read to its bound, after which
// the run goes on with the characters it named and says so, its memory small
// all the way.
TEST_F(HostileSiteTest, AListingThatNeverEndsIsCutWithANoteInBoundedMemory) {
  if (underLauncher()) {
    // Wine's server keeps every closed handle of a file that holds a lock
    // (temp.txt, the folder's lock) open, so that no lock is lost: 10,000
    // pages run it out of them. Windows does not.
    GTEST_SKIP() << "wine keeps the closed handles of a locked file";
  }
  site.serve(kFrontPage, page("front"));
  serveCharacter("1001", {"1"});
  const std::string first = listingTarget(0);
  const std::string prefix = first.substr(0, first.size() - 1);
  site.serveOthers([prefix](const std::string& target) -> std::optional<Reply> {
    if (target.rfind(prefix, 0) != 0) {
      return std::nullopt;
    }
    int offset = std::stoi(target.substr(prefix.size()));
    return page(listingPage({"1001"}, {0, offset / 2, offset + 1}));
  });
  ProgramResult result = run();
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.out.find(std::string(10000, '.') + "1 karakter\r\n1001 Fordulok szama: 1"),
            std::string::npos);
  EXPECT_EQ(result.err,
            "qzturns: the site's listing went on past 10000 pages or 100000 characters; the run "
            "took the characters named by then.\r\n");
  EXPECT_EQ(site.count(listingTarget(10000)), 0);
#if !defined(__SANITIZE_ADDRESS__)  // which keeps what is freed in a quarantine of its own
  EXPECT_LT(result.peakRssKib, 32L * 1024);
#endif
}

// A number that holds what would end the query reaches the site as its own
// bytes, and its turns are its own, each under its own name.
TEST_F(HostileSiteTest, ACharacterNumberWithAHashFetchesItsOwnPages) {
  site.serve(kFrontPage, page("front"));
  site.serve(listingTarget(0), page(listingPage({"12#4"}, {})));
  site.serve(characterTarget("12%234"), page(characterPage({"1,0,0,0", "2,0,0,0"})));
  site.serve(turnTarget("12%234", "1"), page(turnPage("one")));
  site.serve(turnTarget("12%234", "2"), page(turnPage("two")));
  site.serve(characterTarget("12"), page(characterPage({"1,0,0,0"})));
  ProgramResult result = run();
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(saved("qz12#4/12#4-001.htm"), fragment("one"));
  EXPECT_EQ(saved("qz12#4/12#4-002.htm"), fragment("two"));
  EXPECT_EQ(site.count(characterTarget("12")), 0);
}

}  // namespace
}  // namespace qztest
