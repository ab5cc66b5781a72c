#include "http/retry_policy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace qz {
namespace {

using std::chrono::milliseconds;

TEST(RetryAfterTest, ReadsSecondsAndHttpDates) {
  const std::time_t now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  const std::vector<std::pair<const char*, long>> cases = {
      {"120", 120},
      {" 5 \r\n", 5},
      {"0", 0},
      {"Sun, 06 Nov 1994 08:50:07 GMT", 30},
      {"Sunday, 06-Nov-94 08:50:37 GMT", 60},
      {"Sun Nov  6 08:49:47 1994", 10},
      {"Sat, 05 Nov 1994 08:49:37 GMT", 0},  // a date gone by: ask again at once
      {"soon", -1},
      {"", -1},
      {"-5", -1},
      {"9999999999", -1},
  };
  for (const auto& [value, seconds] : cases) {
    EXPECT_EQ(retryAfterSeconds(value, now), seconds) << value;
  }
}

TEST(RetryPolicyTest, TransientStatusesAreTheBusyAndBrokenOnes) {
  for (long status : {408, 429, 500, 502, 503, 504}) {
    EXPECT_TRUE(isTransientStatus(status)) << status;
  }
  for (long status : {200, 301, 400, 401, 403, 404, 410, 501, 505}) {
    EXPECT_FALSE(isTransientStatus(status)) << status;
  }
}

// A site whose answers are scripted, one per try; the last one repeats.
struct ScriptedSite {
  std::vector<TryOutcome> answers;
  int tries = 0;
  TryOutcome operator()() {
    return answers[std::min<size_t>(static_cast<size_t>(tries++), answers.size() - 1)];
  }
};

TryOutcome answer(TryOutcome::Kind kind, long status) {
  TryOutcome outcome;
  outcome.kind = kind;
  outcome.status = status;
  return outcome;
}

const TryOutcome kArrived = answer(TryOutcome::kArrived, 200);
const TryOutcome kRefused = answer(TryOutcome::kTransient, 0);
const TryOutcome kBusy = answer(TryOutcome::kTransient, 503);
const TryOutcome kMissing = answer(TryOutcome::kFailed, 404);

RetryLimits quick() {
  RetryLimits limits;
  limits.firstPause = milliseconds(1);
  limits.pace.firstGap = milliseconds(8);
  limits.pace.longestGap = milliseconds(64);
  limits.downAfter = milliseconds(300);
  return limits;
}

int triesFor(RetryPolicy& policy, std::vector<TryOutcome> answers, bool* arrived = nullptr) {
  ScriptedSite site{std::move(answers)};
  bool result = policy.run(std::ref(site));
  if (arrived != nullptr) {
    *arrived = result;
  }
  return site.tries;
}

TEST(RetryPolicyTest, AsksAgainUntilAnAnswerArrivesFourTriesAtMost) {
  RetryPolicy policy(quick());
  bool arrived = false;
  EXPECT_EQ(triesFor(policy, {kRefused, kBusy, kRefused, kArrived}, &arrived), 4);
  EXPECT_TRUE(arrived);
  EXPECT_EQ(triesFor(policy, {kRefused}, &arrived), 4);
  EXPECT_FALSE(arrived);
  EXPECT_EQ(triesFor(policy, {kMissing}, &arrived), 1);
  EXPECT_FALSE(arrived);
}

TEST(RetryPolicyTest, ASiteGoneForSeveralRequestsGetsOneTryEachUntilItAnswers) {
  RetryPolicy policy(quick());
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(policy.siteSeemsDead());
    EXPECT_EQ(triesFor(policy, {kRefused}), 4);
  }
  EXPECT_TRUE(policy.siteSeemsDead());
  EXPECT_EQ(triesFor(policy, {kRefused}), 1);
  EXPECT_EQ(triesFor(policy, {kArrived}), 1);
  EXPECT_FALSE(policy.siteSeemsDead());
  EXPECT_EQ(triesFor(policy, {kRefused}), 4);
}

TEST(RetryPolicyTest, BusyAnswersThatWidenTheGapCostTheRequestNoTry) {
  RetryPolicy policy(quick());
  EXPECT_EQ(policy.gap(), milliseconds(0));
  bool arrived = false;
  // 8, 12, 18, 27, 40, 60 and 64 ms: seven refusals that each widened the
  // gap, then four tries at the widest.
  EXPECT_EQ(triesFor(policy, {kBusy}, &arrived), 7 + 4);
  EXPECT_FALSE(arrived);
  EXPECT_EQ(policy.gap(), milliseconds(64));
  EXPECT_TRUE(policy.siteHasBeenBusy());
}

TEST(RetryPolicyTest, ASiteThatAnswersOnlyWithErrorsIsGivenUpAfterAWhile) {
  for (const TryOutcome& error : {kBusy, answer(TryOutcome::kTransient, 502), kRefused}) {
    RetryPolicy policy(quick());
    auto start = std::chrono::steady_clock::now();
    int requests = 0;
    while (!policy.siteGivenUp() && std::chrono::steady_clock::now() - start < milliseconds(3000)) {
      triesFor(policy, {error});
      ++requests;
    }
    ASSERT_TRUE(policy.siteGivenUp()) << error.status;
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_GE(requests, 3);
    EXPECT_EQ(triesFor(policy, {kArrived}), 0);  // no request at all from now on
  }
}

TEST(RetryPolicyTest, AnyRequestThatGetsThroughStartsTheStretchAfresh) {
  RetryPolicy policy(quick());
  const TryOutcome broken = answer(TryOutcome::kTransient, 502);
  auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < milliseconds(600)) {
    triesFor(policy, {broken});
    triesFor(policy, {broken, broken, kArrived});
  }
  EXPECT_FALSE(policy.siteGivenUp());
  triesFor(policy, {kMissing});  // a 404 is an answer too
  EXPECT_FALSE(policy.siteGivenUp());
}

TEST(RetryPolicyTest, RequestsAreSpacedByTheGap) {
  RetryPolicy policy(quick());
  triesFor(policy, {kBusy, kBusy, kBusy, kBusy, kBusy, kArrived});
  ASSERT_GE(policy.gap(), milliseconds(30));
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) {
    triesFor(policy, {kArrived});
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(4 * 28));
}

TEST(RetryPolicyTest, ARetryAfterBeyondTheLongestIsNotWaitedFor) {
  RetryPolicy policy(quick());
  TryOutcome farOff = kBusy;
  farOff.retryAfterSeconds = 61;
  EXPECT_EQ(triesFor(policy, {farOff, kArrived}), 1);
  TryOutcome now = kBusy;
  now.retryAfterSeconds = 0;
  EXPECT_EQ(triesFor(policy, {now, kArrived}), 2);
}

}  // namespace
}  // namespace qz
