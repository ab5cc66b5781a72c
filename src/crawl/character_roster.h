// The all-characters run: page through the public listing, gather every
// character number it links to, then archive each character's turns.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "fetch/fetcher.h"
#include "run/run_state.h"

namespace qz {

// The offset a link tag names after "&kezd=": its digits read as a 32-bit
// signed number that wraps on overflow, 0 when there are none. Nothing when
// the tag has no "&kezd=".
std::optional<int32_t> listingOffsetOfTag(std::string_view tag);

// The character number a link tag names: the (up to) four characters after
// "&karakter=" and the two that follow it. Nothing when the tag names none.
std::optional<std::string> characterNumberOfTag(std::string_view tag);

// Moves state.listingOffset to the offset of the first gathered link, in
// gathered order, that names a greater one. False when there is none.
bool advanceListingOffset(RunState& state);

// Adds the character number of every gathered link to state.characterRoster;
// numbers that cannot be part of a file name (isPortableNamePart) are left
// out, since a number names a folder.
void extractCharacterNumbers(RunState& state);

// The most listing pages read, and characters taken, before the paging
// stops (state.listingCut, and kListingCutNote on standard error).
inline constexpr int kMostListingPages = 10000;
inline constexpr size_t kMostCharacters = 100000;
inline constexpr const char* kListingCutNote =
    "qzturns: the site's listing went on past 10000 pages or 100000 characters; the run took "
    "the characters named by then.\r\n";

// The whole run: the listing, the "N karakter" line, then every character.
void collectAllCharacters(RunState& state, Fetcher& fetcher);

}  // namespace qz
