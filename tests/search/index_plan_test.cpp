#include "search/index_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qz {
namespace {

using Folder = FolderListing;

TurnFile turn(const std::string& file, unsigned long long size = 10, long long modified = 1) {
  return {file, file, size, modified};
}

// The record and folder of an index of three turns in blocks of two: "a"
// and "b" in block 0, "c" in block 1, all of generation 1.
struct Indexed {
  Record record;
  Folder folder;
  Indexed() {
    record.generation = 1;
    record.blockTurns = 2;
    record.nextTurn = 3;
    record.docsName = "docs-1.js";
    record.blockGenerations = {1, 1};
    record.files = {{"b0-1-aa.js", {30, 5, 1}},
                    {"b0-1.p7.js", {40, 5, 2}},
                    {"b1-1-cc.js", {30, 5, 3}},
                    {"b1-1.p9.js", {40, 5, 4}},
                    {"docs-1.js", {20, 5, 5}}};
    record.turns = {{"a", {0, 10, 1, "A"}}, {"b", {1, 10, 1, "B"}}, {"c", {2, 10, 1, "C"}}};
    folder = record.files;
    folder["record.txt"] = {500, 5, 0};
  }
};

TEST(IndexPlanTest, TurnsAsTheyWereKeepTheirNumbersAndNothingIsWritten) {
  Indexed index;
  // A turn whose file was edited to the same size and time is taken as it
  // was: it is not read again.
  const IndexPlan plan =
      planIndexUpdate(index.record, index.folder, {turn("a"), turn("b"), turn("c")}, 2);
  EXPECT_EQ(plan.rebuild, Rebuild::kNo);
  EXPECT_FALSE(plan.changed);
  EXPECT_EQ(plan.generation, 1u);
  EXPECT_EQ(plan.numbers, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(plan.read, (std::vector<bool>{false, false, false}));
  EXPECT_EQ(plan.titles, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(plan.blocks.empty());
  EXPECT_TRUE(plan.stale.empty());
  EXPECT_EQ(plan.record.files, index.record.files);
}

TEST(IndexPlanTest, NewAndChangedTurnsGoIntoTheLastBlockAndNewOnes) {
  Indexed index;
  index.folder["b1-3-zz.js.part"] = {5, 6, 0};  // left by a killed run
  // "b" changed, "c" gone, "d" and "e" new, "f" empty.
  const IndexPlan plan =
      planIndexUpdate(index.record, index.folder,
                      {turn("a"), turn("b", 11), turn("d"), turn("f", 0), turn("e", 10, 2)}, 2);
  EXPECT_EQ(plan.rebuild, Rebuild::kNo);
  EXPECT_TRUE(plan.changed);
  EXPECT_EQ(plan.generation, 4u);  // past every generation in the folder
  EXPECT_EQ(plan.numbers, (std::vector<int64_t>{0, 3, 4, -1, 5}));
  EXPECT_EQ(plan.read, (std::vector<bool>{false, true, true, true, true}));
  EXPECT_EQ(plan.firstBlock, 1u);
  EXPECT_EQ(plan.blocks, (std::vector<std::vector<size_t>>{{1}, {2, 4}}));
  // Block 1 is read back, and its files give way to the new generation's.
  EXPECT_TRUE(plan.reopened);
  EXPECT_EQ(plan.reopenedFiles, (std::vector<std::string>{"b1-1-cc.js", "b1-1.p9.js"}));
  EXPECT_EQ(plan.record.blockGenerations, (std::vector<uint32_t>{1, 4, 4}));
  EXPECT_EQ(plan.record.nextTurn, 6u);
  EXPECT_EQ(plan.record.docsName, "docs-4.js");
  EXPECT_EQ(plan.record.files, (Folder{{"b0-1-aa.js", {30, 5, 1}}, {"b0-1.p7.js", {40, 5, 2}}}));
  // The files of the record read stay one run more, for a page opened
  // before; what no record names goes.
  EXPECT_EQ(plan.stale, std::vector<std::string>{"b1-3-zz.js.part"});
  IndexPlan next = planIndexUpdate(plan.record, index.folder,
                                   {turn("a"), turn("b", 11), turn("d"), turn("f", 0)}, 2);
  EXPECT_EQ(next.stale,
            (std::vector<std::string>{"b1-1-cc.js", "b1-1.p9.js", "b1-3-zz.js.part", "docs-1.js"}));
}

TEST(IndexPlanTest, ATurnTooLargeIsNumberedButNotReadForItsWords) {
  Indexed index;
  const IndexPlan plan =
      planIndexUpdate(index.record, index.folder,
                      {turn("a"), turn("b"), turn("c"), turn("d", kLargestTurnRead + 1),
                       turn("e", kLargestTurnRead)},
                      2);
  EXPECT_EQ(plan.numbers, (std::vector<int64_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(plan.tooLarge, (std::vector<bool>{false, false, false, true, false}));
}

TEST(IndexPlanTest, ATurnGoneChangesTheListOfTurnsAlone) {
  Indexed index;
  const IndexPlan plan = planIndexUpdate(index.record, index.folder, {turn("a"), turn("c")}, 2);
  EXPECT_TRUE(plan.changed);
  EXPECT_EQ(plan.rebuild, Rebuild::kNo);
  EXPECT_TRUE(plan.blocks.empty());
  EXPECT_FALSE(plan.reopened);
  EXPECT_EQ(plan.record.blockGenerations, (std::vector<uint32_t>{1, 1}));
  EXPECT_TRUE(plan.stale.empty());  // docs-1.js stays for a page opened before
}

TEST(IndexPlanTest, AnIndexThatCannotBeBuiltOnIsMadeAnew) {
  const std::vector<TurnFile> turns = {turn("a"), turn("b"), turn("c"), turn("d")};
  const struct {
    const char* what;
    void (*damage)(Indexed&);
    uint32_t blockTurns;
    bool damagedBlock;
    Rebuild rebuild;
  } kCases[] = {
      {"a file gone", [](Indexed& i) { i.folder.erase("b0-1.p7.js"); }, 2, false,
       Rebuild::kFileMissing},
      {"a file of another size", [](Indexed& i) { i.folder["docs-1.js"].size = 21; }, 2, false,
       Rebuild::kFileMissing},
      {"a file written over in place", [](Indexed& i) { i.folder["b0-1-aa.js"].modified = 6; }, 2,
       false, Rebuild::kFileMissing},
      {"other blocks", [](Indexed&) {}, 4096, false, Rebuild::kBlockSize},
      {"the block read back not whole", [](Indexed&) {}, 2, true, Rebuild::kDamagedBlock},
      // 65 of 100 numbers unused: past 64 and past a quarter.
      {"too many numbers unused",
       [](Indexed& i) {
         i.record.nextTurn = 100;
         i.record.turns["a"].number = 99;
       },
       2, false, Rebuild::kUnusedNumbers},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    Indexed index;
    c.damage(index);
    const IndexPlan plan =
        planIndexUpdate(index.record, index.folder, turns, c.blockTurns, c.damagedBlock);
    EXPECT_EQ(plan.rebuild, c.rebuild);
    EXPECT_EQ(plan.numbers, (std::vector<int64_t>{0, 1, 2, 3}));
    EXPECT_EQ(plan.read, (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(plan.firstBlock, 0u);
    EXPECT_FALSE(plan.reopened);
    EXPECT_TRUE(plan.stale.empty());  // the record read still names them
    EXPECT_GT(plan.generation, 1u);
  }
  // No record at all: every turn read, numbered from 0, and every file of
  // the index's names goes.
  const IndexPlan none = planIndexUpdate(std::nullopt, Indexed().folder, turns, 2);
  EXPECT_EQ(none.rebuild, Rebuild::kNoRecord);
  EXPECT_EQ(none.stale.size(), 5u);
  EXPECT_EQ(none.generation, 2u);  // past the files in the folder
  EXPECT_EQ(none.blocks, (std::vector<std::vector<size_t>>{{0, 1}, {2, 3}}));
}

// The index is made anew past 64 numbers unused and past a quarter of all.
TEST(IndexPlanTest, UnusedNumbersMakeTheIndexAnewPastBothBounds) {
  const struct {
    uint32_t next, kept;
    Rebuild rebuild;
  } kCases[] = {{100, 36, Rebuild::kNo},   // 64 unused
                {261, 196, Rebuild::kNo},  // 65 unused, a quarter of 260
                {259, 194, Rebuild::kUnusedNumbers},
                {4294967295u, 0, Rebuild::kUnusedNumbers}};
  for (const auto& c : kCases) {
    Record record;
    record.blockTurns = 4096;
    record.nextTurn = c.next;
    std::vector<TurnFile> turns;
    for (uint32_t n = 0; n < c.kept; ++n) {
      record.turns["t" + std::to_string(n)] = {n, 10, 1, ""};
      turns.push_back(turn("t" + std::to_string(n)));
    }
    EXPECT_EQ(planIndexUpdate(record, {}, turns, 4096).rebuild, c.rebuild) << c.next;
  }
}

}  // namespace
}  // namespace qz
