#include "fetch/retry_policy.h"

#include <random>
#include <thread>

namespace qz {

namespace {

using Clock = std::chrono::steady_clock;

unsigned freshSeed() {
  return static_cast<unsigned>(std::random_device{}());
}

}  // namespace

RetryPolicy::RetryPolicy(const HealthLimits& limits) : health_(limits, freshSeed()) {}

RequestResult RetryPolicy::run(const std::string& url, bool bounded,
                               const std::function<TryOutcome(int)>& tryOnce,
                               const std::function<TryOutcome()>& probe) {
  SiteHealth::Request request;
  request.url = url;
  request.bounded = bounded;
  RequestResult result;
  MutexLock lock(mutex_);
  for (;;) {
    SiteHealth::Step step = health_.beforeTry(request, Clock::now());
    if (step.kind == SiteHealth::Step::kWait) {
      changed_.waitUntil(mutex_, step.at);
      continue;
    }
    if (step.kind == SiteHealth::Step::kProbe) {
      lock.unlock();
      TryOutcome outcome = probe();
      lock.lock();
      health_.probed(outcome, Clock::now());
      changed_.notifyAll();
      continue;
    }
    if (step.kind == SiteHealth::Step::kGo) {
      lock.unlock();
      std::this_thread::sleep_until(step.at);
      Clock::time_point sent = Clock::now();
      TryOutcome outcome = tryOnce(step.mostExchanges);
      lock.lock();
      SiteState before = health_.state();
      step = health_.afterTry(request, outcome, Clock::now());
      if (health_.state() != before) {
        changed_.notifyAll();
      }
      if (step.kind == SiteHealth::Step::kArrived) {
        result.arrived = true;
        result.sentAt = sent;
        break;
      }
      if (step.kind == SiteHealth::Step::kPause) {
        // A pause that a give-up cuts short.
        while (Clock::now() < step.at && health_.state() != SiteState::kGivenUp) {
          changed_.waitUntil(mutex_, step.at);
        }
        continue;
      }
    }
    break;  // kFail
  }
  result.last = request.last;
  result.givenUp = health_.giveUpCause();
  return result;
}

bool RetryPolicy::siteHasBeenBusy() const {
  MutexLock lock(mutex_);
  return health_.busySeen();
}

bool RetryPolicy::anyAnswer() const {
  MutexLock lock(mutex_);
  return health_.everAnswered();
}

}  // namespace qz
