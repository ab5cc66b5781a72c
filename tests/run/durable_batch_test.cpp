// A batch of files that fails half-way: the run ends through FileFailure, and
// every file of the batch written whole keeps its name but the one that
// failed.
#include "run/local_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#include "run/run_error.h"
#include "temp_folder.h"

namespace qz {
namespace {

// The place of the FileFailure that body throws; none when it throws none.
template <typename Body>
std::optional<FileFailurePlace> failureOf(Body body) {
  try {
    body();
  } catch (const FileFailure& failure) {
    return failure.place();
  }
  return std::nullopt;
}

TEST(DurableBatchTest, AFailedRenameLeavesEveryOtherWholeFileUnderItsName) {
  qztest::TempFolder folder;
  const std::string one = folder / "one.htm", two = folder / "two.htm",
                    three = folder / "three.htm";
  EXPECT_EQ(failureOf([&] {
              DurableBatch batch;
              batch.write(one, "1");
              batch.write(two, "2");
              batch.write(three, "3");
              // A folder with something in it takes the second name meanwhile.
              std::filesystem::create_directories(two + "/inside");
              batch.commit();
            }),
            FileFailurePlace::kRenaming);
  EXPECT_EQ(qztest::readFile(one), "1");
  EXPECT_EQ(qztest::readFile(three), "3");
  EXPECT_TRUE(std::filesystem::is_directory(two));
  std::vector<std::string> tree = qztest::listTree(folder.path());
  for (std::string& entry : tree) {
    std::replace(entry.begin(), entry.end(), '\\', '/');  // as Windows lists it
  }
  EXPECT_EQ(tree,
            (std::vector<std::string>{"one.htm", "three.htm", "two.htm/", "two.htm/inside/"}));
}

TEST(DurableBatchTest, AFileThatCannotBeWrittenKeepsTheFilesWrittenBeforeIt) {
  qztest::TempFolder folder;
  std::filesystem::create_directories(folder / "taken.htm");
  EXPECT_EQ(failureOf([&] {
              DurableBatch batch;
              batch.write(folder / "one.htm", "1");
              batch.write(folder / "taken.htm", "2");  // a folder stands there
              batch.commit();
            }),
            FileFailurePlace::kCreating);
  EXPECT_EQ(qztest::listTree(folder.path()), (std::vector<std::string>{"one.htm", "taken.htm/"}));
  EXPECT_EQ(qztest::readFile(folder / "one.htm"), "1");
}

}  // namespace
}  // namespace qz
