// A batch of files whose commit fails half-way: the run ends through the
// file-failure report, and every file of the batch written whole keeps its
// name but the one that failed.
#include "run/local_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_folder.h"

namespace qz {
namespace {

TEST(DurableBatchTest, AFailedRenameLeavesEveryOtherWholeFileUnderItsName) {
#ifdef _WIN32
  GTEST_SKIP() << "a death test forks: not under wine";
#else
  qztest::TempFolder folder;
  const std::string one = folder / "one.htm", two = folder / "two.htm",
                    three = folder / "three.htm";
  EXPECT_EXIT(
      {
        DurableBatch batch;
        batch.write(one, "1");
        batch.write(two, "2");
        batch.write(three, "3");
        // A folder with something in it takes the second name meanwhile.
        std::filesystem::create_directories(two + "/inside");
        batch.commit();
      },
      testing::ExitedWithCode(1), "Exception EInOutError in module .* at 00404CE0");
  EXPECT_EQ(qztest::readFile(one), "1");
  EXPECT_EQ(qztest::readFile(three), "3");
  EXPECT_TRUE(std::filesystem::is_directory(two));
  EXPECT_EQ(qztest::listTree(folder.path()),
            (std::vector<std::string>{"one.htm", "three.htm", "two.htm/", "two.htm/inside/"}));
#endif
}

}  // namespace
}  // namespace qz
