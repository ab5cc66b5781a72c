#include "crawl/turn_archive.h"

#include <optional>
#include <set>
#include <vector>

#include "crawl/turn_list.h"
#include "page/link_tags.h"
#include "page/page_text.h"
#include "page/site_session.h"
#include "page/site_urls.h"
#include "run/console.h"
#include "run/local_files.h"

namespace qz {

namespace {

constexpr size_t kTurnsPerFlush = 64;

constexpr const char* kNoTurnCause = "came back without the turn (the session may have been lost)";

}  // namespace

std::optional<std::string_view> turnFragment(std::string_view pageText) {
  size_t start = pageText.find(kStartMarker);
  if (start == std::string_view::npos) {
    return std::nullopt;
  }
  size_t end = pageText.find(kEndMarker, start);
  if (end == std::string_view::npos) {
    return std::nullopt;
  }
  return pageText.substr(start, end - start);
}

bool isTurnWanted(const std::string& fileName, bool recheckEmpty) {
  // An empty file left by an older version stands for a turn that was not
  // one; asked for again only when the user says so.
  return !fileExists(fileName) || (recheckEmpty && isEmptyFile(fileName));
}

namespace {

// The pages the loop of archiveTurns will ask for the keys, in its order, as
// far as can be told beforehand: a turn whose file is there is not asked
// for, and of two keys that name one file only the first is sure to be.
std::vector<std::string> turnsToFetch(const RunState& state, std::string_view character,
                                      const KeyList& keys) {
  std::vector<std::string> urls;
  std::set<std::string> names;
  for (size_t i = 0; i < keys.count(); ++i) {
    const std::string& key = keys.at(i);
    std::string fileName = turnFileName(character, key);
    if (names.insert(fileName).second && isTurnWanted(fileName, state.recheckEmpty)) {
      urls.push_back(turnPageUrl(state.baseUrl, character, key));
    }
  }
  return urls;
}

// Says the turn pages of the character after this one as soon as its page,
// fetched ahead, has come, so that they are fetched while this character's
// last turns are: else the connections would stand idle at every character,
// waiting for the crawl to read its page. Once for each character.
void sayNextCharacterTurns(RunState& state, Fetcher& fetcher) {
  if (state.nextCharacter.empty() || state.turnsAhead.character == state.nextCharacter) {
    return;
  }
  const std::string url = characterPageUrl(state.baseUrl, state.nextCharacter);
  std::string body;
  if (!fetcher.peek(url, &body)) {
    return;
  }
  state.turnsAhead = {state.nextCharacter, {}};
  PageText text = pageTextFromBytes(body);
  if (isCannotDisplayPage(text)) {
    return;  // a renewal may follow; its turns are said when it is read
  }
  LinkTagList tags;
  appendLinkTags(text, tags);
  KeyList keys;
  addTurnKeys(tags, keys);
  std::vector<std::string> urls = turnsToFetch(state, state.nextCharacter, keys);
  if (fetcher.expectAfter(url, urls)) {
    state.turnsAhead.urls = std::move(urls);
  }
}

}  // namespace

void archiveTurns(RunState& state, Fetcher& fetcher, std::string_view character) {
  std::string folder = characterFolder(character);
  if (!directoryExists(folder)) {
    makeDirectory(folder);
  }
  if (fetcher.fetchesAhead()) {
    // Said already, unless the page read since says otherwise.
    std::vector<std::string> urls = turnsToFetch(state, character, state.turnList);
    if (state.turnsAhead.character != character || state.turnsAhead.urls != urls) {
      fetcher.expect(urls, true);
    }
  }
  // The turn files are made durable a batch at a time: one flush for the
  // character's turns, or for every kTurnsPerFlush of them.
  DurableBatch batch;
  for (size_t i = 0; i < state.turnList.count(); ++i) {
    if (fetcher.fetchesAhead()) {
      sayNextCharacterTurns(state, fetcher);
    }
    const std::string& key = state.turnList.at(i);
    consoleWriteInt(static_cast<int64_t>(i));
    consoleWrite("   \r");
    std::string fileName = turnFileName(character, key);
    // A file of the batch counts as there: two keys that name one file.
    if (batch.holds(fileName) || !isTurnWanted(fileName, state.recheckEmpty)) {
      ++state.skippedCount;
      continue;
    }
    const bool recheck = fileExists(fileName);  // an empty file, asked for again
    state.requestUrl = turnPageUrl(state.baseUrl, character, key);
    // A page without the markers is not a turn (an expired session, a
    // maintenance page): saving it would stand for the turn for ever.
    PageLoad load = loadSitePage(state, fetcher, state.requestUrl, [](std::string_view text) {
      return turnFragment(text).has_value();
    });
    if (load == PageLoad::kWithContent) {
      batch.write(fileName, *turnFragment(state.pageText));
      state.savedTurnFiles.push_back(fileName);
      if (batch.size() >= kTurnsPerFlush) {
        batch.commit();
      }
      ++state.fetchedCount;
      continue;
    }
    if (load == PageLoad::kWithoutContent || load == PageLoad::kSessionNotKept) {
      fetcher.countNotSaved(kNoTurnCause);
    }
    if (recheck) {
      ++state.skippedCount;  // still not a turn: the empty file stays
      continue;
    }
    // A failed fetch counts too: the turn was asked for, and the next run
    // asks again since no file was made.
    ++state.fetchedCount;
  }
  batch.commit();
}

}  // namespace qz
