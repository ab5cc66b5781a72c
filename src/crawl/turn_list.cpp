#include "crawl/turn_list.h"

#include "page/archive_names.h"
#include "page/link_tags.h"
#include "page/site_session.h"
#include "page/site_urls.h"
#include "run/console.h"

namespace qz {

namespace {

constexpr size_t kArgumentWindow = 30;

// Drops everything up to and including the first comma, if there is one.
std::string_view afterFirstComma(std::string_view w) {
  size_t comma = w.find(',');
  return comma == std::string_view::npos ? w : w.substr(comma + 1);
}

}  // namespace

bool isCannotDisplayPage(std::string_view pageText) {
  return pageText.find(kCannotDisplayText) != std::string_view::npos;
}

std::optional<std::string> turnKeyFromTag(std::string_view tag) {
  size_t paren = tag.find('(');
  std::string_view w = paren == std::string_view::npos ? tag.substr(0, kArgumentWindow)
                                                       : tag.substr(paren + 1, kArgumentWindow);
  size_t comma = w.find(',');
  std::string_view first =
      comma == std::string_view::npos ? std::string_view() : w.substr(0, comma);
  w = afterFirstComma(w);
  // The second argument is 0 for a turn that is shown as a plain turn.
  bool flagged = w.empty() || w[0] != '0';
  w = afterFirstComma(w);
  std::string pair(w);
  size_t close = pair.find(')');
  if (close != std::string::npos) {
    pair.erase(close, 20);
  }
  if (pair == "0,0") {
    pair.clear();
  }
  std::string key;
  if (!flagged && pair.empty()) {
    key = first;
  } else if (!pair.empty()) {
    key = "ol" + pair;
  } else {
    return std::nullopt;
  }
  if (!isPortableNamePart(key)) {
    return std::nullopt;
  }
  return key;
}

void collectTurnList(RunState& state, Fetcher& fetcher, std::string_view character) {
  state.linkTags.clear();
  state.turnList.clear();
  state.requestUrl = characterPageUrl(state.baseUrl, character);
  // The site says "cannot display" of every character once it has lost our
  // session: what counts is its answer in a new one.
  PageLoad load = loadSitePage(
      state, fetcher, state.requestUrl,
      [](std::string_view text) { return !isCannotDisplayPage(text); }, true);
  if (load == PageLoad::kFailed) {
    return;
  }
  if (load == PageLoad::kWithoutContent || load == PageLoad::kSessionNotKept) {
    consoleWrite(kCannotDisplayMessage);
    consoleWriteLineEnd();
    // Only a fresh session's word counts: this one may hide a character
    // that has turns, and the next run asks for it again.
    if (load == PageLoad::kSessionNotKept) {
      fetcher.countNotSaved(kCannotDisplayUnkeptCause);
    }
    return;
  }
  collectLinkTags(state);
  addTurnKeys(state.linkTags, state.turnList);
}

void addTurnKeys(const LinkTagList& tags, KeyList& keys) {
  for (size_t i = 0; i < tags.count(); ++i) {
    const std::string& tag = tags.at(i);
    if (tag.find("openurl") == std::string::npos) {
      continue;
    }
    if (std::optional<std::string> key = turnKeyFromTag(tag)) {
      keys.add(*key);
    }
  }
}

}  // namespace qz
