// The crawl of one run, between the settings and the report: the banner, the
// front-page visit, a single-character run for exactly one argument or an
// all-characters run for any other count, and the summary line. Reaches the
// site only through fetcher. A local file failure ends it (FileFailure).
#pragma once

#include <string>
#include <vector>

#include "fetch/fetcher.h"
#include "run/run_state.h"

namespace qz {

// Returns the exit status of a run that reached its summary line (0).
int crawlSite(RunState& state, Fetcher& fetcher, const std::vector<std::string>& arguments);

}  // namespace qz
