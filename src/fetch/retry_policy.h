// How every request of the run rides out a busy or broken site: the loop of
// one request's tries, under the one SiteHealth model of the run, with the
// waits that model asks for. The HttpFetcher's, for every thread it fetches
// on; it knows nothing of how a request is made.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "base/mutex.h"
#include "fetch/site_health.h"
#include "http/try_outcome.h"

namespace qz {

// What became of a request, for its caller and for the report.
struct RequestResult {
  bool arrived = false;
  std::optional<TryOutcome> last;                  // of the last one, when there was one
  std::chrono::steady_clock::time_point sentAt{};  // of the try that arrived
  GiveUpCause givenUp = GiveUpCause::kNone;        // the site had been given up when it failed
};

// One per Fetcher, for the whole run. Safe to share between threads: run()
// may be called on any number of them at once.
class RetryPolicy {
 public:
  explicit RetryPolicy(const HealthLimits& limits = HealthLimits());

  // Fetches one URL: calls tryOnce for each try (with the requests it may
  // make, redirects included) and probe for each probe of the site the model
  // asks for, and waits what it says between them. Once the site is given
  // up, fails at once without a try.
  // A bounded request counts toward the asks its URL may get in the run.
  RequestResult run(const std::string& url, bool bounded,
                    const std::function<TryOutcome(int)>& tryOnce,
                    const std::function<TryOutcome()>& probe) EXCLUDES(mutex_);

  bool siteHasBeenBusy() const EXCLUDES(mutex_);
  bool anyAnswer() const EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  CondVar changed_;  // the site's state changed: waiting requests look again
  SiteHealth health_ GUARDED_BY(mutex_);
};

}  // namespace qz
