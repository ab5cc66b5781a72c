#include "crawl/turn_archive.h"

#include <gtest/gtest.h>

#include <string>

#include "run/local_files.h"

namespace qz {
namespace {

// A turn file's name, with this system's separator.
std::string inFolder(const std::string& folder, const std::string& file) {
  return folder + kDirectorySeparator + file;
}

TEST(TurnFileNameTest, ShortNumberedKeysArePaddedToThree) {
  EXPECT_EQ(turnFileName("1234", "7"), inFolder("qz1234", "1234-007.htm"));
  EXPECT_EQ(turnFileName("1234", "12"), inFolder("qz1234", "1234-012.htm"));
  EXPECT_EQ(turnFileName("1234", "123"), inFolder("qz1234", "1234-123.htm"));
  EXPECT_EQ(turnFileName("1234", ""), inFolder("qz1234", "1234-00.htm"));
}

TEST(TurnFileNameTest, LongNumberedKeysAreKeptWholeSoTheyDoNotCollide) {
  EXPECT_EQ(turnFileName("1234", "1007"), inFolder("qz1234", "1234-1007.htm"));
  EXPECT_NE(turnFileName("1234", "1007"), turnFileName("1234", "7"));
  EXPECT_EQ(turnFileName("1234", "12345"), inFolder("qz1234", "1234-12345.htm"));
}

TEST(TurnFileNameTest, OliKeysAreUsedWhole) {
  EXPECT_EQ(turnFileName("1234", "ol3,15"), inFolder("qz1234", "1234-ol3,15.htm"));
  EXPECT_EQ(turnFileName("9", "o"), inFolder("qz9", "9-o.htm"));
  EXPECT_EQ(turnFileName("9", "Ol1"),
            inFolder("qz9", "9-Ol1.htm"));  // not an oli key: used whole as long
}

TEST(TurnFileNameTest, CharacterNumberIsUsedAsItStands) {
  EXPECT_EQ(turnFileName(" ", "7"), inFolder("qz ", " -007.htm"));
  EXPECT_EQ(characterFolder("12"), "qz12");
}

const std::string kEnd = "<P><SCRIPT>gomb('\xDCzenet k\xFCld\xE9se a";

TEST(TurnFragmentTest, RunsFromMetaUpToTheEndMarker) {
  EXPECT_EQ(turnFragment("<HTML><META a>\nbody\n" + kEnd + " x')\n"), "<META a>\nbody\n");
}

TEST(TurnFragmentTest, TakesTheFirstEndMarkerAfterTheFirstMeta) {
  EXPECT_EQ(turnFragment(kEnd + "<META 1>" + kEnd + "<META 2>" + kEnd), "<META 1>");
}

TEST(TurnFragmentTest, MissingMarkerGivesNothing) {
  EXPECT_EQ(turnFragment("<HTML>no meta " + kEnd), std::nullopt);
  EXPECT_EQ(turnFragment("<META a> no end marker"), std::nullopt);
  EXPECT_EQ(turnFragment("<meta a>" + kEnd), std::nullopt);
  EXPECT_EQ(turnFragment("<META x><P><SCRIPT>gomb('Uzenet kuldese a"), std::nullopt);
  EXPECT_EQ(turnFragment(""), std::nullopt);
}

}  // namespace
}  // namespace qz
