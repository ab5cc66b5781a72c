// The reader page a run leaves beside the archive, the settings that govern
// it, and empty turns of older archives asked for again.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "reader_data.h"
#include "site_fixture.h"

namespace qztest {
namespace {

const std::string kMarker = "<!-- qzturns archive reader -->\n";

class ReaderTest : public SiteTest {
 protected:
  void SetUp() override {
    site.serve(kFrontPage, page("front"));
    site.serve(listingTarget(0), page(listingPage({"1001"}, {})));
    serveCharacter("1001", {"1", "2"});
  }
  // The program as a user runs it: the reader on, unless said otherwise.
  ProgramResult runWith(std::vector<std::pair<std::string, std::string>> environment,
                        std::vector<std::string> arguments = {}) {
    ProgramOptions o = options(std::move(arguments));
    o.environment = std::move(environment);
    return runProgram(o);
  }
};

TEST_F(ReaderTest, EveryRunWritesTheReaderOfTheWholeArchive) {
  ProgramResult first = runWith({});
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(first.err, "");
  std::string reader = saved("index.htm");
  EXPECT_EQ(reader.rfind(kMarker, 0), 0u);
  EXPECT_EQ(readerTurns(reader, "1001"),
            (std::vector<std::string>{"001\t\tn\tFordulo", "002\t\tn\tFordulo"}));
  EXPECT_NE(reader.find("1001</a> <small>2 fordul\xF3<b> +2 \xFAj</b>"), std::string::npos);

  // A later run, with a character more: both are listed, and only what it
  // saved is new.
  site.serve(listingTarget(0), page(listingPage({"1001", "1002"}, {})));
  serveCharacter("1002", {"5"});
  EXPECT_EQ(runWith({}).exitStatus, 0);
  reader = saved("index.htm");
  EXPECT_EQ(readerTurns(reader, "1001"),
            (std::vector<std::string>{"001\t\t\tFordulo", "002\t\t\tFordulo"}));
  EXPECT_NE(reader.find("1001</a> <small>2 fordul\xF3</small>"), std::string::npos);
  EXPECT_EQ(readerTurns(reader, "1002"), std::vector<std::string>{"005\t\tn\tFordulo"});
  EXPECT_FALSE(has("index.htm.part"));
}

// An index that cannot be written costs the run its search alone: the turns
// are saved and counted, the page lists them, one line says why, and the
// status says that a local file failed.
TEST_F(ReaderTest, AnIndexThatCannotBeWrittenCostsOnlyTheSearch) {
  ASSERT_EQ(runWith({}).exitStatus, 0);
  serveCharacter("1001", {"1", "2", "3"});
  std::filesystem::create_directories(work / "search-index/record.txt.part/x");
  ProgramResult result = runWith({});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.out.find("Atlepve: 2 Letoltve: 1\r\n"), std::string::npos) << result.out;
  EXPECT_TRUE(result.err.starts_with("qzturns: search-index could not be written (")) << result.err;
  EXPECT_TRUE(result.err.ends_with("); index.htm was written without search.\r\n")) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1);
  EXPECT_EQ(readerTurns(saved("index.htm"), "1001").size(), 3u);
}

TEST_F(ReaderTest, AnIndexThatIsNotOursIsNeverOverwritten) {
  writeFile(work / "index.htm", "<html>the player's own page</html>\n");
  ProgramResult result = runWith({});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err,
            "qzturns: index.htm was not written by qzturns; it is left as it is and no reader "
            "was written.\r\n");
  EXPECT_EQ(saved("index.htm"), "<html>the player's own page</html>\n");
  EXPECT_TRUE(has("qz1001/1001-002.htm"));
}

TEST_F(ReaderTest, ARunWithTheReaderSwitchedOffWritesNone) {
  EXPECT_EQ(runWith({{"QZTURNS_INDEX", "0"}}).exitStatus, 0);
  EXPECT_FALSE(has("index.htm"));
}

TEST_F(ReaderTest, EmptyTurnsOfAnOlderArchiveAreAskedForAgainWhenWanted) {
  site.serve(characterTarget("1001"), page(characterPage({"1,0,0,0", "2,0,0,0", "3,0,0,0"})));
  site.serve(turnTarget("1001", "2"), page("<HTML>still not a turn</HTML>"));
  std::filesystem::create_directory(work / "qz1001");
  for (const char* name : {"qz1001/1001-001.htm", "qz1001/1001-002.htm"}) {
    writeFile(work / name, "");
  }
  writeFile(work / "qz1001/1001-003.htm", fragment("turn 1001/3"));

  ProgramResult plain = runWith({{"QZTURNS_INDEX", "0"}}, {"1001"});
  EXPECT_NE(plain.out.find("Atlepve: 3 Letoltve: 0\r\n"), std::string::npos);
  EXPECT_EQ(site.count(turnTarget("1001", "1")), 0);

  ProgramResult recheck = runWith({{"QZTURNS_RECHECK_EMPTY", "1"}}, {"1001"});
  EXPECT_EQ(recheck.out, kBanner +
                             "1001 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                             "Atlepve: 2 Letoltve: 1\r\n");
  EXPECT_EQ(saved("qz1001/1001-001.htm"), fragment("turn 1001/1"));
  EXPECT_EQ(saved("qz1001/1001-002.htm"), "");
  EXPECT_EQ(site.count(turnTarget("1001", "3")), 0);
  std::string reader = saved("index.htm");
  EXPECT_EQ(readerTurns(reader, "1001"),
            (std::vector<std::string>{"001\t\tn\tFordulo", "002\t\te\t", "003\t\t\tFordulo"}));
}

}  // namespace
}  // namespace qztest
