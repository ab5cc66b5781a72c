#include "reader/archive_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reader_data.h"
#include "run/local_files.h"
#include "run/run_error.h"
#include "temp_folder.h"
#include "turn_file.h"

namespace qz {
namespace {

using qztest::turnFile;

// The page written for the archive in folder.
std::string readerPageFor(const std::string& folder, const std::vector<std::string>& newFiles) {
  EXPECT_EQ(writeReaderPage(folder, newFiles), ReaderOutcome::kWritten);
  return readWholeFile(folder + "/" + kReaderFileName);
}

class ArchiveReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(archive / "qz1234");
    std::filesystem::create_directory(archive / "qz999");
    std::filesystem::create_directory(archive / "qz555");  // no turn files: not listed
    for (const char* name : {"1234-010.htm", "1234-002.htm", "1234-ol3,15.htm", "1234-ol3,5.htm",
                             "1234-1000.htm", "1234-001.htm"}) {
      qztest::writeFile(archive / ("qz1234/" + std::string(name)),
                        turnFile(std::string("QZ1234 ") + name));
    }
    qztest::writeFile(archive / "qz1234/1234-003.htm", "");                 // empty, older
    qztest::writeFile(archive / "qz1234/1234-004.htm.part", "killed run");  // not a turn file
    qztest::writeFile(archive / "qz999/999-001.htm", turnFile("\xC1rp\xE1"
                                                              "d <b>&amp; 1\r\n"));
  }
  qztest::TempFolder archive;
};

TEST_F(ArchiveReaderTest, ListsCharactersAndTheirTurnsInTurnOrder) {
  std::string page = readerPageFor(archive.path(), {"qz1234/1234-002.htm", "qz999/999-001.htm"});
  EXPECT_EQ(page.rfind(std::string(kReaderMarker) + "\n<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("<meta charset=\"windows-1250\">"), std::string::npos);
  // Characters in the roster's order, with their counts and what is new.
  EXPECT_NE(page.find("<li><a href=\"#qz1234\" data-c=\"qz1234\">1234</a> <small>7 fordul\xF3"
                      "<b> +1 \xFAj</b></small></li>\n"
                      "<li><a href=\"#qz999\" data-c=\"qz999\">999</a> <small>1 fordul\xF3"
                      "<b> +1 \xFAj</b></small></li>\n</ul>"),
            std::string::npos);
  EXPECT_EQ(page.find("qz555"), std::string::npos);
  EXPECT_EQ(page.find(".part"), std::string::npos);
  // Each turn's key, its address where that differs, its mark and title.
  EXPECT_EQ(qztest::readerTurns(page, "1234"),
            (std::vector<std::string>{
                "001\t\t\tQZ1234 1234-001.htm", "002\t\tn\tQZ1234 1234-002.htm", "003\t\te\t",
                "010\t\t\tQZ1234 1234-010.htm", "1000\t\t\tQZ1234 1234-1000.htm",
                "ol3,5\t\t\tQZ1234 1234-ol3,5.htm", "ol3,15\t\t\tQZ1234 1234-ol3,15.htm"}));
  // A title keeps its bytes and entities, but cannot become markup.
  EXPECT_EQ(qztest::readerTurns(page, "999"), std::vector<std::string>{"001\t\tn\t\xC1rp\xE1"
                                                                       "d &lt;b&gt;&amp; 1"});
}

// A file of the reader that cannot be written costs only what it holds: an
// index that cannot be written leaves the page without search, but up to
// date; a page that cannot be written is told, and nothing throws.
TEST_F(ArchiveReaderTest, AFileThatCannotBeWrittenIsTheReadersAlone) {
  ASSERT_EQ(writeReaderPage(archive.path(), {}), ReaderOutcome::kWritten);
  qztest::writeFile(archive / "qz1234/1234-011.htm", turnFile("QZ1234 new"));
  // A folder where the record's temporary file goes: no write can take it,
  // whoever runs the test.
  std::filesystem::create_directories(archive / "search-index/record.txt.part/x");
  ReaderNotes notes;
  EXPECT_EQ(writeReaderPage(archive.path(), {"qz1234/1234-011.htm"}, &notes),
            ReaderOutcome::kWrittenWithoutSearch);
  EXPECT_NE(notes.indexFailure, 0);
  EXPECT_EQ(readerNotesText(notes), "qzturns: search-index could not be written (" +
                                        fileErrorMessage(notes.indexFailure) +
                                        "); index.htm was written without search.\r\n");
  const std::string page = readWholeFile(archive.path() + "/index.htm");
  EXPECT_EQ(qztest::readerTurns(page, "1234")[4], "011\t\tn\tQZ1234 new");
  EXPECT_NE(page.find("data-index=\"\""), std::string::npos);

  std::filesystem::create_directories(archive / "index.htm.part/x");
  notes = ReaderNotes();
  EXPECT_EQ(writeReaderPage(archive.path(), {}, &notes), ReaderOutcome::kPageFailed);
  EXPECT_NE(notes.pageFailure, 0);
  EXPECT_EQ(readWholeFile(archive.path() + "/index.htm"), page);
}

TEST_F(ArchiveReaderTest, AboutTwoHundredBytesOfPageATurn) {
  std::string empty = readerPageFor(archive.path(), {});
  std::filesystem::create_directory(archive / "qz2000");
  for (int t = 1; t <= 1000; ++t) {
    qztest::writeFile(archive / ("qz2000/2000-" + std::to_string(t) + ".htm"),
                      turnFile("QZ2000 " + std::to_string(t) + ". fordul\xF3"));
  }
  std::string page = readerPageFor(archive.path(), {});
  EXPECT_LE(page.size() - empty.size(), 1000u * 200u);
}

}  // namespace
}  // namespace qz
