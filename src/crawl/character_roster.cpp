#include "crawl/character_roster.h"

#include <algorithm>
#include <vector>

#include "crawl/character_step.h"
#include "page/archive_names.h"
#include "page/link_tags.h"
#include "page/site_session.h"
#include "page/site_urls.h"
#include "run/console.h"

namespace qz {

namespace {

constexpr std::string_view kOffsetQuery = "&kezd=";
constexpr std::string_view kCharacterQuery = "&karakter=";
constexpr size_t kSkippedPrefix = 2;  // the module prefix "QZ"
constexpr size_t kNumberLength = 4;

}  // namespace

std::optional<int32_t> listingOffsetOfTag(std::string_view tag) {
  size_t at = tag.find(kOffsetQuery);
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  // Unsigned arithmetic wraps without undefined behaviour; the conversion
  // back to int32_t is modulo 2^32.
  uint32_t value = 0;
  for (size_t i = at + kOffsetQuery.size(); i < tag.size() && isDigit(tag[i]); ++i) {
    value = value * 10u + static_cast<uint32_t>(tag[i] - '0');
  }
  return static_cast<int32_t>(value);
}

std::optional<std::string> characterNumberOfTag(std::string_view tag) {
  size_t at = tag.find(kCharacterQuery);
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  size_t start = at + kCharacterQuery.size() + kSkippedPrefix;
  if (start >= tag.size()) {
    return std::string();
  }
  return std::string(tag.substr(start, kNumberLength));
}

bool advanceListingOffset(RunState& state) {
  // A tag found too small once stays too small while the offset grows, so
  // each tag is read once over the whole paging; a fresh list or an offset
  // set back starts the search from the top again.
  if (state.listingOffset < state.listingTagsOffset ||
      state.listingTagsPassed > state.linkTags.count()) {
    state.listingTagsPassed = 0;
  }
  state.listingTagsOffset = state.listingOffset;
  for (size_t i = state.listingTagsPassed; i < state.linkTags.count(); ++i) {
    std::optional<int32_t> offset = listingOffsetOfTag(state.linkTags.at(i));
    if (offset && *offset > state.listingOffset) {
      state.listingOffset = *offset;
      state.listingTagsOffset = *offset;
      state.listingTagsPassed = i + 1;
      return true;
    }
  }
  state.listingTagsPassed = state.linkTags.count();
  return false;
}

void extractCharacterNumbers(RunState& state) {
  for (size_t i = 0; i < state.linkTags.count(); ++i) {
    std::optional<std::string> number = characterNumberOfTag(state.linkTags.at(i));
    if (number && isPortableNamePart(*number)) {
      state.characterRoster.add(*number);
    }
  }
}

namespace {

// Takes what one listing page brought (the tags from firstNew on): its
// character numbers into the roster at once, and of its tags keeps only
// those that may still name the next offset, so that a listing of any
// length holds the numbers it named and not its pages.
void takeListingPage(RunState& state, size_t firstNew) {
  for (size_t i = firstNew; i < state.linkTags.count(); ++i) {
    std::optional<std::string> number = characterNumberOfTag(state.linkTags.at(i));
    if (number && isPortableNamePart(*number)) {
      state.characterRoster.add(*number);
    }
  }
  LinkTagList kept;
  for (size_t i = state.listingTagsPassed; i < state.linkTags.count(); ++i) {
    if (listingOffsetOfTag(state.linkTags.at(i))) {
      kept.append(state.linkTags.at(i));
    }
  }
  state.linkTags = std::move(kept);
  state.listingTagsPassed = 0;
}

}  // namespace

void collectAllCharacters(RunState& state, Fetcher& fetcher) {
  state.listingOffset = 0;
  state.listingTagsPassed = 0;
  consoleWrite("Karakterszamok kigyujtese... ");
  int pages = 0;
  do {
    state.requestUrl = listingPageUrl(state.baseUrl, state.listingOffset);
    // The page has already been asked again as often as the site deserves:
    // the first page gives nothing to go on, and a later one that keeps
    // failing ends the paging with what the earlier pages named.
    if (loadSitePage(state, fetcher, state.requestUrl, nullptr) == PageLoad::kFailed) {
      state.listingOffset = 0;
      break;
    }
    const size_t firstNew = state.linkTags.count();
    collectLinkTags(state);
    consoleWrite(".");
    if (!advanceListingOffset(state)) {
      state.listingOffset = 0;
    }
    takeListingPage(state, firstNew);
    // No real listing comes near these: one that does never ends.
    if (state.listingOffset != 0 &&
        (++pages >= kMostListingPages || state.characterRoster.count() >= kMostCharacters)) {
      state.listingCut = true;
      state.listingOffset = 0;
    }
  } while (state.listingOffset != 0);

  extractCharacterNumbers(state);
  consoleWriteInt(static_cast<int64_t>(state.characterRoster.count()));
  consoleWrite(" karakter");
  consoleWriteLineEnd();

  // The next characters' pages are said a few at a time: fetched ahead
  // while a character's turns are saved, they hold bodies that the turns
  // said after them would otherwise have to wait for.
  size_t saidThrough = 0;
  for (size_t i = 0; i < state.characterRoster.count(); ++i) {
    if (fetcher.fetchesAhead()) {
      std::vector<std::string> characterPages;
      size_t through = std::min(state.characterRoster.count(),
                                i + 1 + static_cast<size_t>(fetcher.connections()));
      for (; saidThrough < through; ++saidThrough) {
        characterPages.push_back(
            characterPageUrl(state.baseUrl, state.characterRoster.at(saidThrough)));
      }
      fetcher.expect(characterPages, false);
    }
    state.nextCharacter =
        i + 1 < state.characterRoster.count() ? state.characterRoster.at(i + 1) : std::string();
    archiveCharacter(state, fetcher, state.characterRoster.at(i), WithoutTurns::kCountAndFolder);
  }
}

}  // namespace qz
