#include "fetch/site_health.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qz {
namespace {

using std::chrono::milliseconds;
using TimePoint = SiteHealth::TimePoint;
using Step = SiteHealth::Step;

TryOutcome answer(long status) {
  TryOutcome outcome;
  outcome.status = status;
  outcome.kind = status < 400                ? TryOutcome::kArrived
                 : isTransientStatus(status) ? TryOutcome::kTransient
                                             : TryOutcome::kFailed;
  return outcome;
}

TryOutcome failure(Why why, TryOutcome::Kind kind = TryOutcome::kTransient) {
  TryOutcome outcome;
  outcome.kind = kind;
  outcome.why = why;
  return outcome;
}

const TryOutcome kOk = answer(200);
const TryOutcome kRefused = failure(Why::kRefused);

// The site in simulated time: each request takes a millisecond, and what
// the site answers depends on the URL and the time; while it hangs, a request
// is answered when the hang ends, or gives up after the 30 s stall limit.
// Requests are fetched one after the other, as with one connection, each
// driven through the model to its end; every request sent (tries and
// probes) is logged.
class SimulatedRun {
 public:
  using Site = std::function<TryOutcome(const std::string& url, milliseconds at)>;
  explicit SimulatedRun(Site site, HealthLimits limits = HealthLimits())
      : site_(std::move(site)), health_(limits) {}

  struct Sent {
    std::string url;
    milliseconds at;
  };
  // Fetches url to its end: true when it arrived.
  bool fetch(const std::string& url, SiteHealth::Request* out = nullptr) {
    SiteHealth::Request request;
    request.url = url;
    for (;;) {
      Step step = health_.beforeTry(request, now_);
      if (step.kind == Step::kFail) {
        break;
      }
      if (step.kind == Step::kWait) {
        EXPECT_GT(step.at, now_) << "a wait that never ends";
        now_ = step.at;
        continue;
      }
      if (step.kind == Step::kProbe) {
        TryOutcome answered = send("/");
        health_.probed(answered, now_);
        continue;
      }
      now_ = std::max(now_, step.at);
      step = health_.afterTry(request, send(url), now_);
      if (step.kind != Step::kPause) {
        break;
      }
      now_ = std::max(now_, step.at);
    }
    if (out != nullptr) {
      *out = request;
    }
    return request.last && request.last->kind == TryOutcome::kArrived;
  }
  int count(const std::string& url) const {
    int n = 0;
    for (const Sent& s : sent_) {
      n += s.url == url ? 1 : 0;
    }
    return n;
  }
  milliseconds elapsed() const { return std::chrono::duration_cast<milliseconds>(now_ - start_); }
  const std::vector<Sent>& sent() const { return sent_; }
  SiteHealth& health() { return health_; }
  void hang(milliseconds from, milliseconds to) {
    hangFrom_ = from;
    hangTo_ = to;
  }

 private:
  TryOutcome send(const std::string& url) {
    const milliseconds at = elapsed();
    sent_.push_back({url, at});
    if (at >= hangFrom_ && at < hangTo_) {
      const milliseconds stall(30000);
      now_ += std::min(hangTo_ - at, stall);
      return hangTo_ - at <= stall ? site_(url, hangTo_) : failure(Why::kTimedOut);
    }
    now_ += milliseconds(1);
    return site_(url, at);
  }

  Site site_;
  SiteHealth health_;
  TimePoint start_{std::chrono::hours(1)};
  TimePoint now_ = start_;
  std::vector<Sent> sent_;
  milliseconds hangFrom_{0}, hangTo_{0};
};

// The times, from the start, at which url was sent.
std::vector<long> sendTimes(const SimulatedRun& run, const std::string& url) {
  std::vector<long> times;
  for (const auto& sent : run.sent()) {
    if (sent.url == url) {
      times.push_back(static_cast<long>(sent.at.count()));
    }
  }
  return times;
}

// Answers every page well, but for an outage of the given kind between
// from and to.
SimulatedRun::Site outage(TryOutcome during, milliseconds from, milliseconds to) {
  return [=](const std::string&, milliseconds at) { return at >= from && at < to ? during : kOk; };
}

TEST(SiteHealthTest, AnOutageOfUpTo40SecondsIsWaitedOutWithOneProbeAtATime) {
  for (const TryOutcome& during : {kRefused, answer(502), failure(Why::kCutOff)}) {
    SimulatedRun run(outage(during, milliseconds(3000), milliseconds(43000)));
    for (int page = 0; page < 20; ++page) {
      EXPECT_TRUE(run.fetch("/page" + std::to_string(page))) << during.status << " " << page;
    }
    EXPECT_EQ(run.health().state(), SiteState::kUp);
    int inOutage = 0;
    for (const auto& sent : run.sent()) {
      inOutage += sent.at >= milliseconds(3000) && sent.at < milliseconds(43000) ? 1 : 0;
    }
    EXPECT_LE(inOutage, 15) << during.status << ": far fewer than one a second";
    for (int page = 0; page < 20; ++page) {
      EXPECT_LE(run.count("/page" + std::to_string(page)), 8);
    }
  }
}

// A server that accepts and says nothing: the page in flight keeps the tries
// it has left, and is asked again when the server answers.
TEST(SiteHealthTest, AHangOfUpTo40SecondsLosesNothing) {
  for (long hangs : {35000L, 40000L}) {
    SimulatedRun run([](const std::string&, milliseconds) { return kOk; });
    run.hang(milliseconds(5), milliseconds(5 + hangs));
    for (int page = 0; page < 20; ++page) {
      EXPECT_TRUE(run.fetch("/page" + std::to_string(page))) << hangs << " " << page;
    }
    EXPECT_EQ(run.health().state(), SiteState::kUp) << hangs;
  }
}

// Down for good, refusing or hanging: the run ends within 75 s of the
// site's last answer; probes never come closer than a second.
TEST(SiteHealthTest, ASiteDownOrHangingForGoodIsGivenUpWithin75Seconds) {
  for (bool hangs : {false, true}) {
    SimulatedRun run(outage(kRefused, milliseconds(hangs ? 1000000 : 1), milliseconds(1000000)));
    if (hangs) {
      run.hang(milliseconds(1), milliseconds(1000000));
    }
    EXPECT_TRUE(run.fetch("/first"));
    int page = 0;
    while (run.health().state() != SiteState::kGivenUp && page < 100) {
      run.fetch("/page" + std::to_string(page++));
    }
    EXPECT_EQ(run.health().state(), SiteState::kGivenUp) << hangs;
    EXPECT_LE(run.elapsed(), milliseconds(75000)) << hangs;
    std::vector<long> probes = sendTimes(run, "/");
    for (size_t i = 1; i < probes.size(); ++i) {
      EXPECT_GE(probes[i] - probes[i - 1], 1000) << hangs;
    }
  }
}

// "Retry-After: 60" on every answer: the waits count toward the minute after
// which a refusing site is given up.
TEST(SiteHealthTest, RetryAfterForEverIsGivenUpWithin75Seconds) {
  TryOutcome later = answer(429);
  later.retryAfterSeconds = 60;
  SimulatedRun run(
      [&](const std::string&, milliseconds at) { return at < milliseconds(1) ? kOk : later; });
  EXPECT_TRUE(run.fetch("/first"));
  run.fetch("/refused");
  EXPECT_EQ(run.health().giveUpCause(), GiveUpCause::kRefusing);
  EXPECT_LE(run.elapsed(), milliseconds(75000));
  // One that asks to wait once is waited for.
  SimulatedRun once([&](const std::string& url, milliseconds at) {
    return url == "/once" && at < milliseconds(1000) ? later : kOk;
  });
  EXPECT_TRUE(once.fetch("/once"));
  EXPECT_EQ(once.count("/once"), 2);
}

TEST(SiteHealthTest, RedirectsCountAsAsksOfThePage) {
  TryOutcome loop = answer(302);
  loop.kind = TryOutcome::kFailed;
  loop.why = Why::kRedirect;
  loop.exchanges = 8;
  SimulatedRun run([&](const std::string&, milliseconds) { return loop; });
  SiteHealth::Request request;
  EXPECT_FALSE(run.fetch("/loop", &request));
  EXPECT_EQ(request.asks, 8);
  EXPECT_FALSE(run.fetch("/loop"));
  EXPECT_EQ(run.count("/loop"), 1) << "its eight asks are used up";
}

TEST(SiteHealthTest, ProbesWidenFromOneSecondToFive) {
  SimulatedRun run(outage(kRefused, milliseconds(1), milliseconds(30000)));
  EXPECT_TRUE(run.fetch("/a"));
  EXPECT_TRUE(run.fetch("/b"));
  // /b refused at 1 ms takes the site down at once; the probes follow.
  std::vector<long> times;
  for (const auto& sent : run.sent()) {
    if ((sent.url == "/b" && times.empty()) || sent.url == "/") {
      times.push_back(static_cast<long>(sent.at.count()));
    }
  }
  const std::vector<long> gaps = {1000, 2000, 4000, 5000, 5000, 5000};
  ASSERT_GT(times.size(), gaps.size());
  for (size_t i = 0; i < gaps.size(); ++i) {
    EXPECT_NEAR(times[i + 1] - times[i], gaps[i], 2) << i;
  }
  EXPECT_EQ(run.count("/b"), 2) << "refused once, then fetched when the site was back";
}

TEST(SiteHealthTest, DownForSixtySecondsIsGivenUpAndLaterRequestsAreNotSent) {
  const struct {
    TryOutcome during;
    GiveUpCause cause;
  } cases[] = {{kRefused, GiveUpCause::kDown},
               {answer(502), GiveUpCause::kDown},
               {answer(429), GiveUpCause::kRefusing}};
  for (const auto& c : cases) {
    SimulatedRun run(outage(c.during, milliseconds(1), milliseconds(1000000)));
    EXPECT_TRUE(run.fetch("/first"));
    int page = 0;
    while (run.health().state() != SiteState::kGivenUp && page < 100) {
      run.fetch("/page" + std::to_string(page++));
    }
    ASSERT_EQ(run.health().state(), SiteState::kGivenUp) << c.during.status;
    EXPECT_EQ(run.health().giveUpCause(), c.cause) << c.during.status;
    EXPECT_GE(run.elapsed(), milliseconds(60000)) << c.during.status;
    EXPECT_LE(run.elapsed(), milliseconds(65000)) << c.during.status;
    size_t before = run.sent().size();
    EXPECT_FALSE(run.fetch("/later"));
    EXPECT_EQ(run.sent().size(), before) << "nothing sent once given up";
    EXPECT_LE(run.count("/page0"), 8);
  }
}

TEST(SiteHealthTest, APageThatFailsAloneFailsAfterItsTriesAndOneLookAtTheSite) {
  for (long status : {500L, 502L, 504L}) {
    SimulatedRun run([&](const std::string& url, milliseconds) {
      return url == "/broken" ? answer(status) : url == "/" ? answer(404) : kOk;
    });
    EXPECT_TRUE(run.fetch("/before"));
    EXPECT_FALSE(run.fetch("/broken")) << status;
    EXPECT_EQ(run.count("/broken"), 4) << status;
    EXPECT_EQ(run.count("/"), 1) << status
                                 << ": the site's root answers: the page alone is at fault";
    // Pauses of about 1, 2 and 4 s between its tries.
    EXPECT_NEAR(run.elapsed().count(), 7000, 700) << status;
    EXPECT_TRUE(run.fetch("/after"));
    EXPECT_EQ(run.health().state(), SiteState::kUp);
  }
}

TEST(SiteHealthTest, APageThatStallsAloneIsAskedTwiceAndTheSiteLookedAtEachTime) {
  SimulatedRun run([](const std::string& url, milliseconds) {
    return url == "/stalls" ? failure(Why::kTimedOut) : kOk;
  });
  EXPECT_TRUE(run.fetch("/before"));
  EXPECT_FALSE(run.fetch("/stalls"));
  EXPECT_EQ(run.count("/stalls"), 2);
  EXPECT_EQ(run.count("/"), 2);
  EXPECT_TRUE(run.fetch("/after"));
}

TEST(SiteHealthTest, NoUrlIsAskedMoreThanEightTimes) {
  for (long status : {429L, 503L}) {
    SimulatedRun run([&](const std::string& url, milliseconds) {
      return url == "/busy" ? answer(status) : url == "/" ? answer(404) : kOk;
    });
    EXPECT_TRUE(run.fetch("/before"));
    EXPECT_FALSE(run.fetch("/busy"));
    EXPECT_EQ(run.count("/busy"), 8) << status;
    EXPECT_FALSE(run.fetch("/busy")) << "asked again later in the run";
    EXPECT_EQ(run.count("/busy"), 8) << status;
    EXPECT_TRUE(run.fetch("/after"));
    EXPECT_EQ(run.health().state(), SiteState::kBusy);
  }
}

TEST(SiteHealthTest, ASiteThatNeverAnsweredIsGivenUpAfterTheFirstRequest) {
  const struct {
    TryOutcome answer;
    int tries;
    long seconds;
  } cases[] = {{kRefused, 4, 7}, {failure(Why::kUnknownHost, TryOutcome::kFailed), 1, 0}};
  for (const auto& c : cases) {
    SimulatedRun run([&](const std::string&, milliseconds) { return c.answer; });
    EXPECT_FALSE(run.fetch("/front"));
    EXPECT_EQ(run.count("/front"), c.tries);
    EXPECT_EQ(run.health().giveUpCause(), GiveUpCause::kNeverAnswered);
    EXPECT_NEAR(run.elapsed().count(), c.seconds * 1000, 800);
    EXPECT_FALSE(run.fetch("/next"));
    EXPECT_EQ(run.sent().size(), static_cast<size_t>(c.tries));
  }
}

TEST(SiteHealthTest, BusyAnswersThatWidenTheGapCostNoTry) {
  HealthLimits limits;
  limits.pace.firstGap = milliseconds(100);
  SimulatedRun run([](const std::string&,
                      milliseconds at) { return at < milliseconds(200) ? answer(429) : kOk; },
                   limits);
  SiteHealth::Request request;
  EXPECT_TRUE(run.fetch("/a", &request));
  EXPECT_EQ(request.counted, 0) << "each refusal widened the gap";
  EXPECT_EQ(run.health().state(), SiteState::kBusy);
  const auto& sent = run.sent();
  EXPECT_GE(sent.back().at - sent[sent.size() - 2].at, milliseconds(100)) << "paced";
}

TEST(SiteHealthTest, ARetryAfterBeyondTheLongestIsNotWaitedFor) {
  TryOutcome farOff = answer(503);
  farOff.retryAfterSeconds = 61;
  SimulatedRun run([&](const std::string&, milliseconds) { return farOff; });
  EXPECT_FALSE(run.fetch("/far"));
  EXPECT_EQ(run.count("/far"), 1);
}

// Several requests at once, stepped by hand: the second page failing while
// the first waits out its pause takes the site down, and from then on only
// the probe goes out; when it is answered, both go on afresh.
TEST(SiteHealthTest, TwoPagesFailingInARowTakeTheSiteDownForEveryRequest) {
  SiteHealth health;
  TimePoint t{std::chrono::hours(1)};
  SiteHealth::Request warm, a, b;
  warm.url = "/warm";
  a.url = "/a";
  b.url = "/b";
  ASSERT_EQ(health.beforeTry(warm, t).kind, Step::kGo);
  ASSERT_EQ(health.afterTry(warm, kOk, t).kind, Step::kArrived);
  ASSERT_EQ(health.beforeTry(a, t).kind, Step::kGo);
  ASSERT_EQ(health.beforeTry(b, t).kind, Step::kGo);
  EXPECT_EQ(health.afterTry(a, answer(502), t).kind, Step::kPause);
  EXPECT_EQ(health.state(), SiteState::kUp);
  EXPECT_EQ(health.afterTry(b, answer(502), t).kind, Step::kPause);
  EXPECT_EQ(health.state(), SiteState::kDown);
  Step waitA = health.beforeTry(a, t);
  EXPECT_EQ(waitA.kind, Step::kWait);
  EXPECT_EQ(waitA.at, t + milliseconds(1000));
  t += milliseconds(1000);
  EXPECT_EQ(health.beforeTry(a, t).kind, Step::kProbe);
  EXPECT_EQ(health.beforeTry(b, t).kind, Step::kWait) << "one probe at a time";
  health.probed(answer(200), t);
  EXPECT_EQ(health.state(), SiteState::kUp);
  EXPECT_EQ(health.beforeTry(a, t).kind, Step::kGo);
  EXPECT_EQ(health.beforeTry(b, t).kind, Step::kGo);
  EXPECT_EQ(a.counted, 0);
}

}  // namespace
}  // namespace qz
