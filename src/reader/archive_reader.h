// The reader of the archive: index.htm at the top of the working folder, one
// page of plain HTML, CSS and a little JavaScript, in the turn files' own
// code page, that lists the characters and their turns in turn order and
// shows the chosen turn file beside the list. It is made from the folders on
// disk, so it shows what every run saved, older versions' included.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz {

inline constexpr const char* kReaderFileName = "index.htm";
// The first line of every reader this program writes: a file of that name
// without it is somebody else's, and is never overwritten.
inline constexpr std::string_view kReaderMarker = "<!-- qzturns archive reader -->";
inline constexpr const char* kForeignReaderMessage =
    "qzturns: index.htm was not written by qzturns; it is left as it is and no reader was "
    "written.\r\n";

// The reader page for the archive in folder, marking as new the turn files
// in newFiles (as turnFileName names them, relative to folder).
std::string readerPageFor(const std::string& folder, const std::vector<std::string>& newFiles);

// Writes the reader of the working folder's archive to index.htm, through a
// temporary name. False, and nothing written, when a file of that name is
// not one this program wrote. A failure to write ends the run.
bool writeReaderPage(const std::vector<std::string>& newFiles);

}  // namespace qz
