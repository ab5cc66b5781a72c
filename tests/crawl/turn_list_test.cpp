#include "crawl/turn_list.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace qz {
namespace {

std::optional<std::string> keyOf(const std::string& arguments) {
  return turnKeyFromTag("<A HREF=\"#\" onClick=\"openurl(" + arguments + "\">");
}

TEST(TurnKeyTest, WorkedExamples) {
  EXPECT_EQ(keyOf("12,0,0,0)"), "12");
  EXPECT_EQ(keyOf("12,1,0,0)"), std::nullopt);
  EXPECT_EQ(keyOf("0,0,3,15)"), "ol3,15");
  EXPECT_EQ(keyOf("5,1,3,15)"), "ol3,15");
}

TEST(TurnKeyTest, FewerThanFourArguments) {
  EXPECT_EQ(keyOf("5)"), "ol5");      // no comma: flagged, the rest is the pair
  EXPECT_EQ(keyOf("7,0)"), "ol0");    // the second argument is left as the pair
  EXPECT_EQ(keyOf("7,0,0)"), "ol0");  // a lone third argument is a pair
  EXPECT_EQ(keyOf("7,)"), std::nullopt);
}

TEST(TurnKeyTest, SecondArgumentMustBeginWithZero) {
  EXPECT_EQ(keyOf("8,00,0,0)"), "8");
  EXPECT_EQ(keyOf("8, 0,0,0)"), std::nullopt);
  EXPECT_EQ(keyOf("8,,0,0)"), std::nullopt);
}

TEST(TurnKeyTest, OnlyThirtyCharactersAfterTheParenthesisAreRead) {
  // 30 characters: "1,1,2," and 24 digits of the fourth argument.
  EXPECT_EQ(keyOf("1,1,2,123456789012345678901234567890)"), "ol2,123456789012345678901234");
  EXPECT_EQ(keyOf("123456789012345678901234567890,0,0,0)"), "ol123456789012345678901234567890");
}

TEST(TurnKeyTest, ParenthesisAndWhatFollowsItAreCut) {
  // ")" and 19 characters after it go; anything beyond stays in the pair.
  EXPECT_EQ(turnKeyFromTag("<A onClick=\"openurl(0,0,3,1)\" CLASS=\"turn\">"), "ol3,1");
  // What stays can make a key no file system holds; such a key is dropped.
  EXPECT_EQ(turnKeyFromTag("<A onClick=\"openurl(0,0,3,1)\" CLASS=\"fordulo\" X>"), std::nullopt);
  EXPECT_EQ(turnKeyFromTag("<A onClick=\"openurl(0,0,3,1)\">x"), "ol3,1");
  EXPECT_EQ(turnKeyFromTag("<A onClick=\"openurl(0,0,3,1)1234567890123456789ABC"), "ol3,1ABC");
}

TEST(TurnKeyTest, ArgumentsAreReadAfterTheFirstParenthesisOfTheTag) {
  EXPECT_EQ(turnKeyFromTag("<A TITLE=\"(x)\" onClick=\"openurl(9,1,0,0)\">"), std::nullopt);
  EXPECT_EQ(turnKeyFromTag("<A TITLE=\"(x) onClick=openurl(9,0,0,0)\">"), "x) onClick=openurl(9");
  // Without a "(" the window is the start of the tag itself.
  EXPECT_EQ(turnKeyFromTag("<A openurl,0,0,0 x"), "ol0,0 x");
}

TEST(TurnKeyTest, KeysNoFileSystemCanHoldAreDropped) {
  for (const char* arguments :
       {"../x,0,0,0)", "1,1,a/b,c)", "..\\x,0,0,0)", "a:b,0,0,0)", "a*b,0,0,0)", "a?b,0,0,0)",
        "a\"b,0,0,0)", "a<b,0,0,0)", "a>b,0,0,0)", "a|b,0,0,0)",
        "a\x1F"
        "b,0,0,0)",
        "1,1,2,\t3)"}) {
    EXPECT_EQ(keyOf(arguments), std::nullopt) << arguments;
  }
  EXPECT_EQ(keyOf("..,0,0,0)"), "..");
  EXPECT_EQ(keyOf("a b\xE9,0,0,0)"), "a b\xE9");
}

TEST(TurnKeyTest, EmptyFirstArgumentGivesAnEmptyKey) {
  EXPECT_EQ(keyOf(",0,0,0)"), "");
}

TEST(CannotDisplayTest, FoundAnywhereInThePage) {
  EXPECT_TRUE(isCannotDisplayPage("<P>x Ezt az oldalt nem tudjuk sz\xE1modra megjelen\xEDteni.y"));
  EXPECT_FALSE(
      isCannotDisplayPage("Ezt az oldalt nem tudjuk sz\xC3\xA1modra megjelen\xC3\xADteni."));
}

}  // namespace
}  // namespace qz
