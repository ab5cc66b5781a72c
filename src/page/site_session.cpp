#include "page/site_session.h"

#include "page/fetch_page.h"
#include "page/page_text.h"
#include "page/site_urls.h"

namespace qz {

void visitFrontPage(const RunState& state, Fetcher& fetcher) {
  fetchPage(fetcher, frontPageUrl(state.baseUrl), state.tempFileName, nullptr, Purpose::kVisit);
}

namespace {

// Whether the control page of a judgement, asked again, has its content
// still; state.pageText is kept as it was.
bool controlHolds(RunState& state, Fetcher& fetcher, bool (*hasContent)(std::string_view)) {
  PageText judged = state.pageText;
  const bool holds = fetchPage(fetcher, state.renewals.control, state.tempFileName) &&
                     (loadPageText(state, state.tempFileName), hasContent(state.pageText));
  state.pageText = std::move(judged);
  return holds;
}

}  // namespace

PageLoad loadSitePage(RunState& state, Fetcher& fetcher, const std::string& url,
                      bool (*hasContent)(std::string_view pageText), bool judged) {
  using Clock = std::chrono::steady_clock;
  RunState::Renewals& renewals = state.renewals;
  auto withContent = [&] {
    if (judged) {
      renewals.control = url;
    }
    return PageLoad::kWithContent;
  };
  Clock::time_point sentAt;
  if (!fetchPage(fetcher, url, state.tempFileName, &sentAt)) {
    return PageLoad::kFailed;
  }
  loadPageText(state, state.tempFileName);
  if (hasContent == nullptr || hasContent(state.pageText)) {
    return withContent();
  }
  if (renewals.last && sentAt < *renewals.last) {
    // Fetched ahead in the session the latest renewal replaced: the renewal
    // was made for it already, and it is only asked again. If it comes back
    // without its content even so, the new session is lost too.
    if (!fetchPage(fetcher, url, state.tempFileName)) {
      return PageLoad::kFailed;
    }
    loadPageText(state, state.tempFileName);
    if (hasContent(state.pageText)) {
      return withContent();
    }
  }
  if (renewals.pausedUntil && Clock::now() < *renewals.pausedUntil) {
    return PageLoad::kSessionNotKept;
  }
  visitFrontPage(state, fetcher);
  renewals.last = Clock::now();
  if (!fetchPage(fetcher, url, state.tempFileName)) {
    return PageLoad::kFailed;
  }
  loadPageText(state, state.tempFileName);
  const bool helped = hasContent(state.pageText);
  if (helped) {
    renewals.unhelpedInARow = 0;
  } else if (++renewals.unhelpedInARow >= kUnhelpfulRenewals) {
    renewals.unhelpedInARow = 0;
    renewals.pausedUntil = Clock::now() + kRenewalPause;
    renewals.everPaused = true;
  }
  if (helped) {
    return withContent();
  }
  if (judged && !renewals.control.empty() && renewals.control != url &&
      !controlHolds(state, fetcher, hasContent)) {
    return PageLoad::kSessionNotKept;
  }
  return PageLoad::kWithoutContent;
}

}  // namespace qz
