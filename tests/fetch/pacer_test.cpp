#include "fetch/pacer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qz {
namespace {

using std::chrono::microseconds;

// A site behind a token bucket, driven by the pacer in simulated time: one
// request after the other, each taking a few milliseconds, a refused one
// asked again after the gap. What the run costs against the bucket's own
// minimum, and the share of requests refused.
struct BucketRun {
  double timeOverMinimum = 0;
  double refusedShare = 0;
};

BucketRun runBehindBucket(double perSecond, int burst, int requests) {
  Pacer pacer;
  double now = 0, lastStart = -1e9, tokens = burst + 1, tokensAt = 0;
  int refused = 0;
  for (int i = 0; i < requests; ++i) {
    for (;;) {
      double start = std::max(now, lastStart + pacer.gap().count() / 1e6);
      lastStart = start;
      now = start + 0.003;
      tokens = std::min<double>(burst + 1, tokens + (start - tokensAt) * perSecond);
      tokensAt = start;
      bool accepted = tokens >= 1;
      tokens -= accepted ? 1 : 0;
      pacer.onAnswer(!accepted);
      if (accepted) {
        break;
      }
      ++refused;
    }
  }
  double minimum = (requests - burst - 1) / perSecond;
  return {now / minimum, static_cast<double>(refused) / requests};
}

TEST(PacerTest, FollowsATokenBucketClosely) {
  const struct {
    double perSecond;
    int burst;
  } buckets[] = {{20, 5}, {5, 2}, {1, 1}, {100, 5}};
  for (const auto& bucket : buckets) {
    BucketRun run = runBehindBucket(bucket.perSecond, bucket.burst, 1351);
    EXPECT_LE(run.timeOverMinimum, 1.3) << bucket.perSecond;
    EXPECT_LE(run.refusedShare, 0.05) << bucket.perSecond;
  }
}

TEST(PacerTest, ASiteThatRefusesEveryOtherRequestAtAnyPaceSettles) {
  Pacer pacer;
  microseconds gapAt1000{0};
  for (int i = 0; i < 4000; ++i) {
    pacer.onAnswer(i % 2 == 1);
    if (i == 1000) {
      gapAt1000 = pacer.gap();
    }
  }
  EXPECT_LT(pacer.gap(), PacerLimits().longestGap / 4);
  EXPECT_LE(pacer.gap(), gapAt1000 * 3 / 2);
  EXPECT_GT(pacer.gap(), microseconds(0));
}

TEST(PacerTest, NeverBackToFullSpeedOnceBusyAndNothingOnAHealthySite) {
  Pacer healthy;
  for (int i = 0; i < 100; ++i) {
    EXPECT_FALSE(healthy.onAnswer(false));
  }
  EXPECT_EQ(healthy.gap(), microseconds(0));
  Pacer pacer;
  EXPECT_TRUE(pacer.onAnswer(true));
  EXPECT_EQ(pacer.gap(), PacerLimits().firstGap);
  for (int i = 0; i < 10000; ++i) {
    pacer.onAnswer(false);
  }
  EXPECT_GT(pacer.gap(), microseconds(0));
  EXPECT_LT(pacer.gap(), microseconds(2000));
}

}  // namespace
}  // namespace qz
