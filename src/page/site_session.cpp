#include "page/site_session.h"

#include "page/fetch_page.h"
#include "page/page_text.h"
#include "page/site_urls.h"

namespace qz {

void visitFrontPage(const RunState& state) {
  fetchPage(frontPageUrl(state.baseUrl), state.tempFileName);
}

PageLoad loadSitePage(RunState& state, const std::string& url,
                      bool (*hasContent)(std::string_view pageText)) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point sentAt;
  if (!fetchPage(url, state.tempFileName, &sentAt)) {
    return PageLoad::kFailed;
  }
  loadPageText(state, state.tempFileName);
  if (hasContent == nullptr || hasContent(state.pageText)) {
    return PageLoad::kWithContent;
  }
  RunState::Renewals& renewals = state.renewals;
  // A page fetched ahead in the session that the latest renewal replaced
  // is only asked again: the renewal was made for it already.
  const bool renewedSince = renewals.last && sentAt < *renewals.last;
  if (!renewedSince) {
    if (renewals.pausedUntil && Clock::now() < *renewals.pausedUntil) {
      return PageLoad::kWithoutContent;
    }
    visitFrontPage(state);
    renewals.last = Clock::now();
  }
  if (!fetchPage(url, state.tempFileName)) {
    return PageLoad::kFailed;
  }
  loadPageText(state, state.tempFileName);
  const bool helped = hasContent(state.pageText);
  if (!renewedSince) {
    if (helped) {
      renewals.unhelpedInARow = 0;
    } else if (++renewals.unhelpedInARow >= kUnhelpfulRenewals) {
      renewals.unhelpedInARow = 0;
      renewals.pausedUntil = Clock::now() + kRenewalPause;
    }
  }
  return helped ? PageLoad::kWithContent : PageLoad::kWithoutContent;
}

}  // namespace qz
