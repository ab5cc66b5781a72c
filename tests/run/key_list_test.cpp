#include "run/key_list.h"
#include "run/link_tag_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qz {
namespace {

std::vector<std::string> entries(const KeyList& list) {
  std::vector<std::string> result;
  for (size_t i = 0; i < list.count(); ++i) {
    result.push_back(list.at(i));
  }
  return result;
}

KeyList listOf(const std::vector<std::string>& keys) {
  KeyList list;
  for (const std::string& key : keys) {
    list.add(key);
  }
  return list;
}

TEST(KeyListTest, NumbersSortAsTextWithPrefixesFirst) {
  EXPECT_EQ(entries(listOf({"2", "11", "9", "10", "1"})),
            (std::vector<std::string>{"1", "10", "11", "2", "9"}));
  EXPECT_EQ(entries(listOf({"999", "1000"})), (std::vector<std::string>{"1000", "999"}));
}

TEST(KeyListTest, DigitsComeBeforeLettersAndOliKeysAfterNumbers) {
  EXPECT_EQ(entries(listOf({"ol2,1", "9", "10"})), (std::vector<std::string>{"10", "9", "ol2,1"}));
  EXPECT_EQ(entries(listOf({"ol3,5", "ol3,15"})), (std::vector<std::string>{"ol3,15", "ol3,5"}));
}

TEST(KeyListTest, LetterCaseIsIgnoredAndTheFirstSpellingStays) {
  KeyList list = listOf({"OL3,5", "b"});
  EXPECT_FALSE(list.add("ol3,5"));
  EXPECT_FALSE(list.add("B"));
  EXPECT_EQ(entries(list), (std::vector<std::string>{"b", "OL3,5"}));
}

TEST(KeyListTest, DuplicatesChangeNothing) {
  KeyList list = listOf({"7", "12"});
  EXPECT_TRUE(list.add("8"));
  EXPECT_FALSE(list.add("7"));
  EXPECT_EQ(entries(list), (std::vector<std::string>{"12", "7", "8"}));
}

TEST(KeyListTest, ReadingBetweenAddsSeesEveryAdd) {
  KeyList list = listOf({"5", "7"});
  EXPECT_EQ(list.at(0), "5");
  list.add("1");
  EXPECT_EQ(list.at(0), "1");
  EXPECT_EQ(list.at(2), "7");
  list.clear();
  list.add("9");
  EXPECT_EQ(entries(list), (std::vector<std::string>{"9"}));
}

TEST(KeyListTest, EmptyStringIsAnEntryAndSortsFirst) {
  EXPECT_EQ(entries(listOf({"5", "", "ol1,1"})), (std::vector<std::string>{"", "5", "ol1,1"}));
}

TEST(KeyListTest, ClearEmptiesTheList) {
  KeyList list = listOf({"1", "2"});
  list.clear();
  EXPECT_EQ(list.count(), 0u);
  EXPECT_TRUE(list.add("2"));
}

TEST(LinkTagListTest, KeepsInsertionOrderAndDuplicates) {
  LinkTagList tags;
  tags.append("<A b>");
  tags.append("<A a>");
  tags.append("<A b>");
  ASSERT_EQ(tags.count(), 3u);
  EXPECT_EQ(tags.at(0), "<A b>");
  EXPECT_EQ(tags.at(1), "<A a>");
  EXPECT_EQ(tags.at(2), "<A b>");
}

}  // namespace
}  // namespace qz
