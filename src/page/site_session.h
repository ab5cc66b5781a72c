// The browsing session the site keeps for the run: opened by the front-page
// visit, whose cookies go out with every later request, and opened again
// whenever a page comes back the way a lost session makes it come back.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "fetch/fetcher.h"
#include "run/run_state.h"

namespace qz {

// Fetches the front page into the temp file. Whether it worked does not
// matter: a site without sessions serves its pages all the same.
void visitFrontPage(const RunState& state, Fetcher& fetcher);

// What became of a page fetched by loadSitePage.
enum class PageLoad {
  kFailed,          // not fetched (counted among the failures); state.pageText as it was
  kWithContent,     // state.pageText holds the page, with what it was asked for
  kWithoutContent,  // state.pageText holds the page, without it even in a fresh session
  kSessionNotKept,  // state.pageText holds the page, without it, and renewals are paused:
                    // what it says cannot be trusted
};

// Fetches url into the temp file and loads it into state.pageText. A page
// without its content (hasContent false; nullptr takes any page) may come of
// a lost session: the session is renewed by a new front-page visit and the
// page asked once more. A page that was sent before the latest renewal is
// first only asked again, and renewed for only if it still lacks its
// content. Every page that needs a renewal gets one, as often as that helps,
// except that after kUnhelpfulRenewals in a row after which the page came
// back the same (characters the site hides, or a site that keeps no
// session), none is made for kRenewalPause. The front-page visit of a
// renewal is no ask of a page: the bound on a page's asks leaves it alone.
// A judged page (a character's, whose lack of content says the character is
// hidden) that lacks its content even in a fresh session is controlled: the
// last judged page that had its content is asked once more, and if it lacks
// it now, the session was not kept (kSessionNotKept). Adds nothing to the
// failure report itself.
PageLoad loadSitePage(RunState& state, Fetcher& fetcher, const std::string& url,
                      bool (*hasContent)(std::string_view pageText), bool judged = false);

inline constexpr int kUnhelpfulRenewals = 3;
inline constexpr std::chrono::seconds kRenewalPause{60};

}  // namespace qz
