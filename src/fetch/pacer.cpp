#include "fetch/pacer.h"

#include <algorithm>

namespace qz {

namespace {

using std::chrono::microseconds;

constexpr double kAverageWeight = 1.0 / 16;
constexpr double kFewRefused = 0.05;   // below this, the pace may quicken
constexpr double kManyRefused = 0.25;  // above this, single refusals do not widen
constexpr int kNarrowing = 64;         // each accepted try takes 1/64 off the gap
constexpr int kWindowTries = 16;
constexpr double kTrialGain = 0.75;  // a wider gap is kept if it cut the refusals this far
constexpr microseconds kSmallestGap{1000};

}  // namespace

bool Pacer::widen() {
  microseconds wider =
      gap_ == microseconds(0) ? limits_.firstGap : std::min(gap_ * 3 / 2, limits_.longestGap);
  bool widened = wider > gap_;
  gap_ = wider;
  return widened;
}

bool Pacer::onAnswer(bool busy) {
  if (!busy && !busySeen_) {
    return false;  // a healthy site: nothing to pace
  }
  refusedShare_ += ((busy ? 1.0 : 0.0) - refusedShare_) * kAverageWeight;
  ++windowTries_;
  bool widened = false;
  if (busy) {
    busySeen_ = true;
    ++windowRefused_;
    ++refusedInARow_;
    // Refused twice in a row is too fast whatever else is true. A single
    // refusal among many accepted ones is too; but among many refused ones
    // it may be a site that refuses a share at any pace, which the trials
    // below find out.
    if (gap_ == microseconds(0) || refusedInARow_ >= 2 || refusedShare_ < kManyRefused) {
      widened = widen();
      windowTries_ = 0;
      windowRefused_ = 0;
      trialFrom_ = microseconds(0);
    }
  } else {
    refusedInARow_ = 0;
    if (refusedShare_ < kFewRefused) {
      gap_ = std::max(gap_ - gap_ / kNarrowing, kSmallestGap);
    }
  }
  if (windowTries_ >= kWindowTries) {
    endWindow();
  }
  return widened;
}

void Pacer::endWindow() {
  double share = static_cast<double>(windowRefused_) / windowTries_;
  windowTries_ = 0;
  windowRefused_ = 0;
  if (trialFrom_ > microseconds(0)) {
    if (share > kFewRefused && share > trialShare_ * kTrialGain) {
      gap_ = trialFrom_;  // the slower pace did not help: back, and try less often
      windowsPerTrial_ *= 2;
    } else {
      windowsPerTrial_ = 1;
    }
    trialFrom_ = microseconds(0);
    windowsSinceTrial_ = 0;
  } else if (share > kFewRefused && ++windowsSinceTrial_ >= windowsPerTrial_) {
    trialFrom_ = gap_;
    trialShare_ = share;
    if (!widen()) {
      trialFrom_ = microseconds(0);
    }
  }
}

}  // namespace qz
