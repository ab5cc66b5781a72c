// How far apart requests start once a site has said it is busy (429 or 503):
// a gap that follows what the site's limiter accepts. It widens at once while
// answers come back refused in a row, narrows slowly while nearly all are
// accepted, and tries a wider gap now and then while many are refused,
// keeping it only if fewer are. So it settles near the limiter's own rate,
// never goes back to full speed while the site still refuses, and does not
// stick at the widest gap for a site that refuses the same share at any
// pace. Pure logic: the caller keeps the time and is told the gap.
#pragma once

#include <chrono>

namespace qz {

struct PacerLimits {
  std::chrono::microseconds firstGap{20000};  // after the first busy answer
  std::chrono::microseconds longestGap{4000000};
};

class Pacer {
 public:
  explicit Pacer(const PacerLimits& limits = PacerLimits()) : limits_(limits) {}

  // Takes the answer to one try. True when a busy answer widened the gap:
  // the try was the pace's fault, not the request's.
  bool onAnswer(bool busy);

  std::chrono::microseconds gap() const { return gap_; }
  bool busySeen() const { return busySeen_; }

 private:
  bool widen();
  void endWindow();

  PacerLimits limits_;
  std::chrono::microseconds gap_{0};
  bool busySeen_ = false;
  double refusedShare_ = 0;  // a moving average over the last few tries
  int refusedInARow_ = 0;
  // The tries of the current window, for the trial of a wider gap.
  int windowTries_ = 0;
  int windowRefused_ = 0;
  std::chrono::microseconds trialFrom_{0};  // the gap before a trial, 0 for none
  double trialShare_ = 0;                   // the share refused before it
  int windowsPerTrial_ = 1;
  int windowsSinceTrial_ = 0;
};

}  // namespace qz
