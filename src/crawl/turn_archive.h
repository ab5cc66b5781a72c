// The turn archive: one folder per character ("qz" + number), one file per
// turn. A turn whose file is there is never fetched again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "run/run_state.h"

namespace qz {

// The stretch of a turn page that is kept: from the first kStartMarker up to,
// not including, the first kEndMarker after it (Windows-1250 bytes).
inline constexpr std::string_view kStartMarker = "<META";
inline constexpr std::string_view kEndMarker = "<P><SCRIPT>gomb('\xDCzenet k\xFCld\xE9se a";

std::string characterFolder(std::string_view character);

// True when a text from a page can be part of a file name on every system the
// archive lives on: none of \\ / : * ? " < > | and no byte below 0x20, so a
// page can never steer a path or name an NTFS stream.
bool isPortableNamePart(std::string_view text);

// "qz1234/1234-007.htm" for the key "7": a numbered key of up to three
// characters is padded with zeros to three ("" gives "00"), a longer one and
// an oli key ("ol3,15") are used whole, so no two keys share a file.
std::string turnFileName(std::string_view character, std::string_view key);

// The kept stretch of a page; nothing when either marker is missing, since
// such a page is not a turn.
std::optional<std::string_view> turnFragment(std::string_view pageText);

// Saves every turn of state.turnList that has no file yet, writing the
// progress counter; adds to state.skippedCount and state.fetchedCount. A page
// that is not a turn makes no file and is asked for again by the next run. A
// turn file that cannot be written ends the run. Turn files are made durable
// a batch at a time (DurableBatch): none gets its name before its bytes are
// on the disk, and all of them have it when this returns.
void archiveTurns(RunState& state, std::string_view character);

}  // namespace qz
