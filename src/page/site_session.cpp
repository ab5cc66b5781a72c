#include "page/site_session.h"

#include "page/fetch_page.h"
#include "page/page_text.h"
#include "page/site_urls.h"

namespace qz {

void visitFrontPage(const RunState& state, Fetcher& fetcher) {
  fetchPage(fetcher, frontPageUrl(state.baseUrl), state.tempFileName, nullptr, Purpose::kVisit);
}

PageLoad loadSitePage(RunState& state, Fetcher& fetcher, const std::string& url,
                      bool (*hasContent)(std::string_view pageText)) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point sentAt;
  if (!fetchPage(fetcher, url, state.tempFileName, &sentAt)) {
    return PageLoad::kFailed;
  }
  loadPageText(state, state.tempFileName);
  if (hasContent == nullptr || hasContent(state.pageText)) {
    return PageLoad::kWithContent;
  }
  RunState::Renewals& renewals = state.renewals;
  if (renewals.last && sentAt < *renewals.last) {
    // Fetched ahead in the session the latest renewal replaced: the renewal
    // was made for it already, and it is only asked again. If it comes back
    // without its content even so, the new session is lost too.
    if (!fetchPage(fetcher, url, state.tempFileName)) {
      return PageLoad::kFailed;
    }
    loadPageText(state, state.tempFileName);
    if (hasContent(state.pageText)) {
      return PageLoad::kWithContent;
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
  return helped ? PageLoad::kWithContent : PageLoad::kWithoutContent;
}

}  // namespace qz
