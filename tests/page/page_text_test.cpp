#include "page/page_text.h"
#include "run/run_error.h"

#include <gtest/gtest.h>

#include <string>

#include "temp_folder.h"

namespace qz {
namespace {

using namespace std::string_literals;

TEST(PageTextTest, CrLfAndLfLineEndsGiveTheSameText) {
  EXPECT_EQ(pageTextFromBytes("one\r\ntwo\r\n"), "one\ntwo\n");
  EXPECT_EQ(pageTextFromBytes("one\ntwo\n"), "one\ntwo\n");
}

TEST(PageTextTest, LastLineWithoutLineEndGainsAnLf) {
  EXPECT_EQ(pageTextFromBytes("one\ntwo"), "one\ntwo\n");
  EXPECT_EQ(pageTextFromBytes("x"), "x\n");
}

TEST(PageTextTest, EmptyFileAndEmptyLines) {
  EXPECT_EQ(pageTextFromBytes(""), "");
  EXPECT_EQ(pageTextFromBytes("\n"), "\n");
  EXPECT_EQ(pageTextFromBytes("\r\n\r\na\n\n"), "\n\na\n\n");
}

TEST(PageTextTest, BareCrIsDropped) {
  EXPECT_EQ(pageTextFromBytes("a\rb\rc\r"), "abc\n");
  EXPECT_EQ(pageTextFromBytes("a\r\r\nb"), "a\nb\n");
}

TEST(PageTextTest, NulDropsTheRestOfItsLine) {
  EXPECT_EQ(pageTextFromBytes("ab\0cd\nef\n"s), "ab\nef\n");
  EXPECT_EQ(pageTextFromBytes("\0\0\nx"s), "\nx\n");
}

TEST(PageTextTest, CtrlZAtTheStartOfALineEndsTheText) {
  EXPECT_EQ(pageTextFromBytes("one\n\x1Atwo\nthree\n"), "one\n");
  EXPECT_EQ(pageTextFromBytes("\x1A"
                              "anything"),
            "");
}

TEST(PageTextTest, CtrlZInsideALineDropsOnlyTheRestOfThatLine) {
  EXPECT_EQ(pageTextFromBytes("one\x1A"
                              "gone\r\ntwo\n"),
            "one\ntwo\n");
  EXPECT_EQ(pageTextFromBytes("a\x1A\x1A\nb"), "a\nb\n");
}

TEST(PageTextTest, HighBytesStayUnchanged) {
  EXPECT_EQ(pageTextFromBytes("\xDCzenet k\xFCld\xE9se\r\n"), "\xDCzenet k\xFCld\xE9se\n");
}

TEST(PageTextTest, LinesHaveNoLengthLimit) {
  std::string longLine(3 * 1024 * 1024, 'x');
  EXPECT_EQ(pageTextFromBytes(longLine + "\r\nend"), longLine + "\nend\n");
}

TEST(PageTextTest, LoadReplacesThePageTextFromAFile) {
  qztest::TempFolder folder;
  qztest::writeFile(folder / "temp.txt", "<A x>\r\n\r\nline\rtwo");
  RunState state;
  state.pageText = "an earlier page";
  loadPageText(state, folder / "temp.txt");
  EXPECT_EQ(state.pageText, "<A x>\n\nlinetwo\n");
}

TEST(PageTextTest, AFileThatCannotBeOpenedEndsTheRun) {
  qztest::TempFolder folder;
  RunState state;
  try {
    loadPageText(state, folder / "missing.txt");
    ADD_FAILURE() << "no FileFailure";
  } catch (const FileFailure& failure) {
    EXPECT_EQ(failure.place(), FileFailurePlace::kOpenForReading);
    EXPECT_EQ(fileErrorMessage(failure.code()), "File not found");
  }
}

}  // namespace
}  // namespace qz
