// The turn list of one character: the keys of the public turns that the
// character's page links to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fetch/fetcher.h"
#include "run/run_state.h"

namespace qz {

// The site's page for a character it will not show (Windows-1250 bytes).
inline constexpr std::string_view kCannotDisplayText =
    "Ezt az oldalt nem tudjuk sz\xE1modra megjelen\xEDteni.";
inline constexpr std::string_view kCannotDisplayMessage =
    " Nem letezo karakter, vagy nincs nyilvanos forduloja. Vagy a franc tudja.";
// The report's cause for a character page that said so while the site did
// not keep the run's session.
inline constexpr const char* kCannotDisplayUnkeptCause =
    "came back as the cannot-display page while the session could not be kept";

bool isCannotDisplayPage(std::string_view pageText);

// The turn key that a link tag holding "openurl" names, read from at most 30
// characters after its first "(": the first argument for a plain turn, "ol"
// and the third and fourth arguments for an oli turn; nothing for a flagged
// link without an oli pair. Keys that cannot be part of a file name
// (isPortableNamePart) are refused: a key becomes part
// of a file name.
std::optional<std::string> turnKeyFromTag(std::string_view tag);

// Adds to keys the turn key of every tag that holds "openurl".
void addTurnKeys(const LinkTagList& tags, KeyList& keys);

// Fetches the character's page and fills state.turnList with its turn keys
// (empties state.linkTags and state.turnList first). A failed fetch leaves the
// list empty silently; the cannot-display page prints its message line.
void collectTurnList(RunState& state, Fetcher& fetcher, std::string_view character);

}  // namespace qz
