// The reader of the archive: index.htm at the top of the working folder, one
// page of plain HTML, CSS and a little JavaScript, in the turn files' own
// code page, that lists the characters and their turns in turn order and
// shows the chosen turn file beside the list, with a search of their text.
// It is made from the folders on disk, so it shows what every run saved,
// older versions' included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reader/reader_page.h"

namespace qz {

inline constexpr const char* kReaderFileName = "index.htm";
inline constexpr const char* kForeignReaderMessage =
    "qzturns: index.htm was not written by qzturns; it is left as it is and no reader was "
    "written.\r\n";

enum class ReaderOutcome {
  kWritten,
  kWrittenWithoutSearch,  // search-index is not this program's, or could not be written
  kForeignPage,
  kPageFailed,  // index.htm could not be written: the page is as the last run left it
};

// What else a reader's writing has to say, each a line of its own.
struct ReaderNotes {
  std::vector<std::string> notSearched;  // turn files too large for their words
  int indexFailure = 0;                  // the report's code of a failure to write search-index
  int pageFailure = 0;                   // the same for index.htm
};

// The lines a run says for notes, each "qzturns: ...".
std::string readerNotesText(const ReaderNotes& notes);

// Writes the reader of the archive in folder to index.htm, through a
// temporary name, with its search index beside it (search_index.h),
// marking as new the turn files in newFiles (as turnFileName names them,
// relative to folder). Nothing is written when a file of that name is not
// one this program wrote; the page goes without search when search-index
// is not. A failure to write the index or the page is the reader's alone:
// nothing throws, the page goes without search when only the index failed,
// and notes (when given) say what failed.
ReaderOutcome writeReaderPage(const std::string& folder, const std::vector<std::string>& newFiles,
                              ReaderNotes* notes = nullptr);

}  // namespace qz
