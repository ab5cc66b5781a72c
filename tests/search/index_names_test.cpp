#include "search/index_names.h"

#include <gtest/gtest.h>

#include <string>

namespace qz {
namespace {

TEST(IndexNamesTest, EveryNameMadeReadsBackAsItWasMade) {
  const IndexFileName kNames[] = {
      turnsFile(0, 1, "il"), turnsFile(3, 17, "v"),  turnsFile(12, 4294967295u, "09"),
      placesFile(0, 1, 0),   placesFile(3, 17, 255), docsFile(0),
      docsFile(4294967295u),
  };
  for (IndexFileName name : kNames) {
    SCOPED_TRACE(fileName(name));
    EXPECT_EQ(parseFileName(fileName(name)), name);
    name.part = true;
    EXPECT_EQ(parseFileName(fileName(name)), name);
  }
  EXPECT_EQ(fileName(turnsFile(3, 17, "vo")), "b3-17-vo.js");
  EXPECT_EQ(scriptName(turnsFile(3, 17, "vo")), "b3-17-vo");
  EXPECT_EQ(fileName(placesFile(3, 17, 42)), "b3-17.p42.js");
  EXPECT_EQ(fileName(docsFile(17)), "docs-17.js");
  EXPECT_EQ(scriptName(docsFile(17)), "docs");
}

// Only the names the index gives are its own: anything else in the folder
// is somebody else's, and is never taken for a file of the index.
TEST(IndexNamesTest, NamesItDoesNotGiveAreNotItsOwn) {
  for (const char* name :
       {"record.txt", "b3-17-vo", "b3-17-vo.js.bak", "b03-17-vo.js", "b3-017-vo.js", "b3-17-VO.js",
        "b3-17-vox.js", "b3-17-.js", "b3--vo.js", "b-17-vo.js", "b3-17.p.js", "b3-17.p4x.js",
        "b4294967296-1-vo.js", "docs.js", "docs-.js", "docs-1-2.js", "notes.js",
        "docs-1.js.part.part", ".part"}) {
    EXPECT_FALSE(parseFileName(name)) << name;
  }
}

}  // namespace
}  // namespace qz
