// The turn archive: one folder per character ("qz" + number), one file per
// turn. A turn whose file is there is never fetched again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fetch/fetcher.h"
#include "page/archive_names.h"
#include "run/run_state.h"

namespace qz {

// The stretch of a turn page that is kept: from the first kStartMarker up to,
// not including, the first kEndMarker after it (Windows-1250 bytes).
inline constexpr std::string_view kStartMarker = "<META";
inline constexpr std::string_view kEndMarker = "<P><SCRIPT>gomb('\xDCzenet k\xFCld\xE9se a";

// True when the turn saved under fileName is to be fetched: its file is not
// there, or is empty and recheckEmpty asks for empty files again. The one
// rule for the crawl and for the pages it says it will ask for.
bool isTurnWanted(const std::string& fileName, bool recheckEmpty);

// The kept stretch of a page; nothing when either marker is missing, since
// such a page is not a turn.
std::optional<std::string_view> turnFragment(std::string_view pageText);

// Saves every turn of state.turnList that has no file yet, writing the
// progress counter; adds to state.skippedCount and state.fetchedCount. A page
// that is not a turn makes no file and is asked for again by the next run. A
// turn file that cannot be written ends the run. Turn files are made durable
// a batch at a time (DurableBatch): none gets its name before its bytes are
// on the disk, and all of them have it when this returns.
void archiveTurns(RunState& state, Fetcher& fetcher, std::string_view character);

}  // namespace qz
