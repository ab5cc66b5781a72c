// The state of one run: created by the driver at the start, passed by
// reference to every operation of the crawl, and dropped at exit. It is the
// crawl's alone, on the run's one thread. Beside it the driver owns the
// run's Fetcher (fetch/fetcher.h: connections, cookies, the site's health,
// the failures counted, the threads that fetch ahead), handed down with it;
// the batch of turn files in hand is archiveTurns' own (run/local_files.h),
// and standard output keeps its buffer.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/key_list.h"
#include "run/link_tag_list.h"

namespace qz {

// The text of the page last loaded: its lines, each ended by one LF, with no
// NUL bytes.
using PageText = std::string;

inline constexpr const char* kTempFileName = "temp.txt";

struct RunState {
  std::string baseUrl;     // prefix of every request, no trailing "/"
  std::string requestUrl;  // the request being made (not the front-page visit)
  std::string tempFileName = kTempFileName;
  int32_t listingOffset = 0;  // "kezd" of the listing page being read
  // The gathered tags before this index name no offset above
  // listingTagsOffset; since the offset only grows, they need no second look.
  size_t listingTagsPassed = 0;
  int32_t listingTagsOffset = 0;
  bool listingCut = false;  // the paging stopped at its bound, not at the listing's end
  KeyList characterRoster;
  LinkTagList linkTags;
  KeyList turnList;  // turn keys of the character in hand
  PageText pageText;
  int32_t skippedCount = 0;                 // turns whose file was already there
  int32_t fetchedCount = 0;                 // turns that were requested
  bool recheckEmpty = false;                // ask again for turns whose file is empty
  std::vector<std::string> savedTurnFiles;  // the turn files this run saved
  // The renewals of the site's session (page/site_session.h).
  struct Renewals {
    std::optional<std::chrono::steady_clock::time_point> last;  // the latest visit's end
    int unhelpedInARow = 0;  // renewals after which the page came back the same
    std::optional<std::chrono::steady_clock::time_point> pausedUntil;
    bool everPaused = false;  // the site did not keep its session, once at least
    // The last page of those judged by their content that had it: asked
    // again after a judgement in a fresh session, it tells a page that
    // lacks its content from a session the site did not keep.
    std::string control;
  };
  Renewals renewals;
  // With pages fetched ahead: the character after the one in hand in the
  // roster (empty for none), and the turn pages of it said already, while
  // the one in hand was archived (crawl/turn_archive.cpp).
  std::string nextCharacter;
  struct TurnsAhead {
    std::string character;
    std::vector<std::string> urls;
  };
  TurnsAhead turnsAhead;
};

}  // namespace qz
