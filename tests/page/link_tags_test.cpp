#include "page/link_tags.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qz {
namespace {

std::vector<std::string> tagsOf(std::string_view text) {
  LinkTagList list;
  appendLinkTags(text, list);
  std::vector<std::string> tags;
  for (size_t i = 0; i < list.count(); ++i) {
    tags.push_back(list.at(i));
  }
  return tags;
}

TEST(LinkTagsTest, CollectsEveryTagInPageOrder) {
  EXPECT_EQ(tagsOf("x<A HREF=\"1\">one</A> <A HREF=\"2\">two</A>\n<A NAME=3>"),
            (std::vector<std::string>{"<A HREF=\"1\">", "<A HREF=\"2\">", "<A NAME=3>"}));
}

TEST(LinkTagsTest, TagAcrossALineEndIsKeptWhole) {
  EXPECT_EQ(tagsOf("<A HREF=\"a\"\nonClick=\"openurl(1,0,0,0)\">"),
            (std::vector<std::string>{"<A HREF=\"a\"\nonClick=\"openurl(1,0,0,0)\">"}));
}

TEST(LinkTagsTest, OnlyCapitalAFollowedByASpaceOpensATag) {
  EXPECT_EQ(tagsOf("<a href=1> <A\tHREF=2> <A\nHREF=3> <ABBR x> <A HREF=4>"),
            (std::vector<std::string>{"<A HREF=4>"}));
}

TEST(LinkTagsTest, UnclosedTagEndsTheScanKeepingEarlierTags) {
  EXPECT_EQ(tagsOf("<A HREF=1> <A HREF=2 <A HREF=3"), (std::vector<std::string>{"<A HREF=1>"}));
}

TEST(LinkTagsTest, TagRunsToTheFirstClosingBracket) {
  EXPECT_EQ(tagsOf("<A HREF=2 <A HREF=3>x>"), (std::vector<std::string>{"<A HREF=2 <A HREF=3>"}));
}

TEST(LinkTagsTest, LongTagsAreCollectedWhole) {
  std::string tag254 = "<A " + std::string(250, 'h') + ">";
  ASSERT_EQ(tag254.size(), 254u);
  std::string tag1000 = "<A " + std::string(996, 'h') + ">";
  EXPECT_EQ(tagsOf(tag254 + tag1000), (std::vector<std::string>{tag254, tag1000}));
}

TEST(LinkTagsTest, AppendsWithoutEmptyingTheList) {
  RunState state;
  state.linkTags.append("<A earlier>");
  state.pageText = "<A later>";
  collectLinkTags(state);
  ASSERT_EQ(state.linkTags.count(), 2u);
  EXPECT_EQ(state.linkTags.at(0), "<A earlier>");
  EXPECT_EQ(state.linkTags.at(1), "<A later>");
}

}  // namespace
}  // namespace qz
