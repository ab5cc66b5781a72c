#include "crawl/character_roster.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qz {
namespace {

RunState withTags(const std::vector<std::string>& tags) {
  RunState state;
  for (const std::string& tag : tags) {
    state.linkTags.append(tag);
  }
  return state;
}

std::vector<std::string> roster(const RunState& state) {
  std::vector<std::string> result;
  for (size_t i = 0; i < state.characterRoster.count(); ++i) {
    result.push_back(state.characterRoster.at(i));
  }
  return result;
}

TEST(IsDigitTest, OnlyAsciiDigits) {
  EXPECT_TRUE(isDigit('0'));
  EXPECT_TRUE(isDigit('9'));
  EXPECT_FALSE(isDigit('/'));
  EXPECT_FALSE(isDigit(':'));
  EXPECT_FALSE(isDigit('\xB2'));
}

TEST(ListingOffsetTest, ReadsTheDigitsAfterKezd) {
  EXPECT_EQ(listingOffsetOfTag("<A HREF=\"?m=qz&kezd=40\">"), 40);
  EXPECT_EQ(listingOffsetOfTag("<A HREF=\"?kezd=40\">"), std::nullopt);
  EXPECT_EQ(listingOffsetOfTag("<A HREF=\"&kezd=\">"), 0);
  EXPECT_EQ(listingOffsetOfTag("<A HREF=\"&kezd=x5\">"), 0);
  EXPECT_EQ(listingOffsetOfTag("&kezd=12&kezd=99"), 12);
  EXPECT_EQ(listingOffsetOfTag("&kezd=0020"), 20);
}

TEST(ListingOffsetTest, WrapsAroundLikeA32BitInteger) {
  EXPECT_EQ(listingOffsetOfTag("&kezd=2147483647"), 2147483647);
  EXPECT_EQ(listingOffsetOfTag("&kezd=2147483648"), -2147483647 - 1);
  EXPECT_EQ(listingOffsetOfTag("&kezd=4294967296"), 0);
  EXPECT_EQ(listingOffsetOfTag("&kezd=4294967337"), 41);
  EXPECT_EQ(listingOffsetOfTag("&kezd=" + std::string(200, '9')), -1);
}

TEST(AdvanceListingOffsetTest, TakesTheFirstGatheredOffsetAboveTheCurrentOne) {
  RunState state = withTags({"&kezd=20", "&kezd=40", "&kezd=60"});
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 20);
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 40);
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 60);
  EXPECT_FALSE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 60);
}

TEST(AdvanceListingOffsetTest, FirstLinkNamingAGreaterOffsetWinsEvenIfNotTheSmallest) {
  RunState state = withTags({"<A x>", "&kezd=60", "&kezd=20"});
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 60);
  EXPECT_FALSE(advanceListingOffset(state));
}

TEST(AdvanceListingOffsetTest, TagsGatheredLaterAreSearchedAfterTheEarlierOnes) {
  RunState state = withTags({"&kezd=20", "&kezd=40"});
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 20);
  state.linkTags.append("&kezd=60");
  state.linkTags.append("&kezd=30");
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 40);
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 60);
  EXPECT_FALSE(advanceListingOffset(state));
  state.listingOffset = 25;  // set back: the whole list counts again
  ASSERT_TRUE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 40);
}

TEST(AdvanceListingOffsetTest, NegativeOffsetsNeverAdvance) {
  RunState state = withTags({"&kezd=2147483648", "&kezd="});
  EXPECT_FALSE(advanceListingOffset(state));
  EXPECT_EQ(state.listingOffset, 0);
}

TEST(CharacterNumberTest, SkipsTwoCharactersAndTakesUpToFour) {
  EXPECT_EQ(characterNumberOfTag("<A HREF=\"?m=qz&in=karakter.php&karakter=QZ1234\">"), "1234");
  EXPECT_EQ(characterNumberOfTag("&karakter=QZ123456"), "1234");
  EXPECT_EQ(characterNumberOfTag("&karakter=xy12\">"), "12\">");
  EXPECT_EQ(characterNumberOfTag("&karakter=QZ"), "");
  EXPECT_EQ(characterNumberOfTag("&karakter=Q"), "");
  EXPECT_EQ(characterNumberOfTag("?karakter=QZ1234"), std::nullopt);
}

TEST(ExtractCharacterNumbersTest, OneEntryPerNumberInKeyListOrder) {
  RunState state = withTags(
      {"&karakter=QZ999", "&karakter=QZ1000\"", "&kezd=20", "&karakter=QZ999", "&karakter=QZ"});
  extractCharacterNumbers(state);
  EXPECT_EQ(roster(state), (std::vector<std::string>{"", "1000", "999"}));
}

TEST(ExtractCharacterNumbersTest, NumbersNoFileSystemCanHoldAreLeftOut) {
  RunState state = withTags({"&karakter=QZ1/23", "&karakter=QZ12\\", "&karakter=QZ999\"",
                             "&karakter=QZa:b", "&karakter=QZ1\t2", "&karakter=QZ77"});
  extractCharacterNumbers(state);
  EXPECT_EQ(roster(state), (std::vector<std::string>{"77"}));
}

}  // namespace
}  // namespace qz
