// The browsing session the site keeps for the run: opened by the front-page
// visit, whose cookies go out with every later request, and opened again
// when the site seems to have forgotten it.
#pragma once

#include "run/run_state.h"

namespace qz {

// Fetches the front page into the temp file. Whether it worked does not
// matter: a site without sessions serves its pages all the same.
void visitFrontPage(const RunState& state);

// Called when a page came back as one that a lost session gives (a character
// the site will not show, a turn page that is not a turn). Makes the
// front-page visit again and returns true, so that the caller asks for its
// page once more; pages fetched ahead are then fetched again. At most once
// a minute, so that a site with hidden characters costs a handful of
// requests: false, with no request, when the last renewal was more recent.
bool renewSession(const RunState& state);

}  // namespace qz
