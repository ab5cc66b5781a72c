#include "fetch/retry_policy.h"
#include "http/http_date.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
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

// The policy puts the model to work on real threads: while the site is down
// every request waits, one of them probes, and all go on when it answers.
TEST(RetryPolicyTest, RequestsOnSeveralThreadsWaitOutAnOutageTogether) {
  HealthLimits limits;
  limits.firstPause = milliseconds(5);
  limits.firstProbeGap = milliseconds(20);
  limits.longestProbeGap = milliseconds(50);
  RetryPolicy policy(limits);
  std::atomic<bool> down{false};
  std::atomic<int> tries{0}, probes{0};
  auto tryOnce = [&](int) {
    ++tries;
    TryOutcome outcome;
    outcome.kind = down ? TryOutcome::kTransient : TryOutcome::kArrived;
    outcome.status = down ? 0 : 200;
    outcome.why = down ? Why::kRefused : Why::kNone;
    return outcome;
  };
  auto probe = [&] {
    ++probes;
    return tryOnce(1);
  };
  ASSERT_TRUE(policy.run("/warm", true, tryOnce, probe).arrived);
  down = true;
  std::vector<std::thread> threads;
  std::atomic<int> arrived{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      arrived += policy.run("/page" + std::to_string(i), true, tryOnce, probe).arrived ? 1 : 0;
    });
  }
  std::this_thread::sleep_for(milliseconds(300));
  int sentWhileDown = tries;
  down = false;
  for (std::thread& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(arrived, 8);
  EXPECT_LE(sentWhileDown, 1 + 8 + 300 / 20) << "the first tries, then only the probes";
  EXPECT_GE(probes, 2);
}

}  // namespace
}  // namespace qz
