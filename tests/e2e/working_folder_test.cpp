// The working folder belongs to one run at a time, and a run started with
// closed standard streams still archives everything.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include "site_fixture.h"

namespace qztest {
namespace {

class WorkingFolderTest : public SiteTest {
 protected:
  void SetUp() override {
    Reply front = page("front");
    front.holdUntilReleased = true;
    site.serve(kFrontPage, front);
    serveCharacter("1234", {"1", "2", "3"});
  }
};

const std::string kInUse =
    "qzturns: another qzturns run is using this folder; try again when it has ended.\r\n";

TEST_F(WorkingFolderTest, ASecondRunInTheSameFolderEndsAtOnceWithStatusTwo) {
  TempFolder firstOutput;
  pid_t first = startProgram(options({"1234"}), firstOutput.path());
  ASSERT_TRUE(site.waitForRequest(kFrontPage));
  ProgramResult second = run({"1234"});
  EXPECT_EQ(second.exitStatus, 2);
  EXPECT_EQ(second.out, "");
  EXPECT_EQ(second.err, kInUse);
  EXPECT_EQ(site.requests().size(), 1u);

  site.release();
  ProgramResult result = finishProgram(first, firstOutput.path());
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.out, kBanner +
                            "1234 Fordulok szama: 3\r\n0   \r1   \r2   \r\r\n"
                            "Atlepve: 0 Letoltve: 3\r\n");
  EXPECT_EQ(listTree(work.path()),
            (std::vector<std::string>{"qz1234/", "qz1234/1234-001.htm", "qz1234/1234-002.htm",
                                      "qz1234/1234-003.htm", "temp.txt"}));
}

TEST_F(WorkingFolderTest, RunsInOtherFoldersAreNotHeldUp) {
  TempFolder firstOutput;
  pid_t first = startProgram(options({"1234"}), firstOutput.path());
  ASSERT_TRUE(site.waitForRequest(kFrontPage));
  TempFolder elsewhere;
  ProgramOptions other = options({"1234"});
  other.workDir = elsewhere.path();
  site.serve(kFrontPage, page("front"));  // not held for the second run
  ProgramResult second = runProgram(other);
  EXPECT_EQ(second.exitStatus, 0);
  EXPECT_EQ(readFile(elsewhere / "qz1234/1234-003.htm"), fragment("turn 1234/3"));
  site.release();
  EXPECT_EQ(finishProgram(first, firstOutput.path()).exitStatus, 0);
}

TEST_F(WorkingFolderTest, AKilledRunLeavesTheFolderFree) {
  TempFolder firstOutput;
  pid_t first = startProgram(options({"1234"}), firstOutput.path());
  ASSERT_TRUE(site.waitForRequest(kFrontPage));
  ::kill(first, SIGKILL);
  finishProgram(first, firstOutput.path());
  site.serve(kFrontPage, page("front"));
  ProgramResult next = run({"1234"});
  EXPECT_EQ(next.exitStatus, 0);
  EXPECT_NE(next.out.find("Atlepve: 0 Letoltve: 3\r\n"), std::string::npos);
}

TEST_F(WorkingFolderTest, ClosedStandardStreamsDoNotTakeTheOutputElsewhere) {
  site.serve(kFrontPage, page("front"));
  const std::vector<std::pair<bool, bool>> closed = {{false, true}, {true, true}};
  for (const auto& [stdinClosed, stdoutClosed] : closed) {
    TempFolder folder;
    ProgramOptions quiet = options({"1234"});
    quiet.workDir = folder.path();
    quiet.closeStdin = stdinClosed;
    quiet.closeStdout = stdoutClosed;
    size_t before = site.requests().size();
    ProgramResult result = runProgram(quiet);
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.err, "");
    std::vector<std::string> asked;
    for (size_t i = before; i < site.requests().size(); ++i) {
      asked.push_back(site.requests()[i].target);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{kFrontPage, characterTarget("1234"),
                                               turnTarget("1234", "1"), turnTarget("1234", "2"),
                                               turnTarget("1234", "3")}));
    for (const std::string k : {"1", "2", "3"}) {
      EXPECT_EQ(readFile(folder / ("qz1234/1234-00" + k + ".htm")), fragment("turn 1234/" + k));
    }
    // What the run said went nowhere, not into a file it had open.
    EXPECT_EQ(readFile(folder / "temp.txt"), turnPage("turn 1234/3"));
  }
}

TEST_F(WorkingFolderTest, ATempFileThatIsNotAFileIsReplacedNeverFollowed) {
  if (underLauncher()) {
    GTEST_SKIP() << "wine shows a link as the file it leads to";
  }
  site.serve(kFrontPage, page("front"));
  TempFolder outside;
  const std::string target = outside / "precious.txt";
  writeFile(target, "keep me");
  const struct {
    const char* what;
    std::function<int(const std::string&)> make;
  } cases[] = {
      {"a link to a file",
       [&](const std::string& at) { return ::symlink(target.c_str(), at.c_str()); }},
      {"a link to nothing",
       [&](const std::string& at) { return ::symlink((outside / "new.txt").c_str(), at.c_str()); }},
      {"a FIFO", [](const std::string& at) { return ::mkfifo(at.c_str(), 0666); }},
  };
  for (const auto& c : cases) {
    TempFolder folder;
    ASSERT_EQ(c.make(folder / "temp.txt"), 0) << c.what;
    ProgramOptions o = options({"1234"});
    o.workDir = folder.path();
    ProgramResult result = runProgram(o);
    EXPECT_EQ(result.exitStatus, 0) << c.what;
    EXPECT_EQ(readFile(folder / "qz1234/1234-003.htm"), fragment("turn 1234/3")) << c.what;
    struct stat info;
    ASSERT_EQ(::lstat((folder / "temp.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode)) << c.what;
    EXPECT_EQ(readFile(folder / "temp.txt"), turnPage("turn 1234/3")) << c.what;
    EXPECT_EQ(readFile(target), "keep me") << c.what;
    EXPECT_FALSE(exists(outside / "new.txt")) << c.what;
  }
}

}  // namespace
}  // namespace qztest
