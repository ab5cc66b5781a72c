#include "crawl/site_crawl.h"

#include "crawl/character_roster.h"
#include "crawl/character_step.h"
#include "page/site_session.h"
#include "run/run_driver.h"

namespace qz {

int crawlSite(RunState& state, Fetcher& fetcher, const std::vector<std::string>& arguments) {
  writeBanner();
  visitFrontPage(state, fetcher);
  if (arguments.size() == 1) {
    archiveCharacter(state, fetcher, arguments[0], WithoutTurns::kNothingMore);
  } else {
    collectAllCharacters(state, fetcher);
  }
  return finishRun(state);
}

}  // namespace qz
