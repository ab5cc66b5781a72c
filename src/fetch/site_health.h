// How the site is doing, as every request of the run sees it: one model that
// each request consults before a try and tells how the try ended. The site
// is in one of four phases (Phase below), and paced besides once it has been
// busy:
//
//  - up: a request goes out as it comes; a try that failed in a way another
//    may mend is tried again after 1, 2 and 4 s, 4 tries in all. Once the
//    site has answered 429 or 503 (busy), requests are spaced by the pacer's
//    gap, which follows what the site accepts; a refusal that widened the
//    gap costs the request none of its tries.
//  - checking: a page ran out of tries, or gave no answer in the stall
//    limit, while no other page answered. Requests wait while the site's
//    root is probed at once: an answer shows the page failed alone (it
//    fails, but for a first stall, which may have been the whole site's
//    hang: that page goes on with the tries it has left), a failure that
//    the site is down.
//  - down: the site stopped answering: a connection refused; tries of two
//    different pages in a row unanswered or answered 5xx; or a check that
//    failed. Requests wait, asking nothing; the site is probed with one
//    request for its root at a time, at gaps of 1, 2, 4 and then 5 s, and the
//    first answer brings it back up: every waiting request goes on, with its
//    tries afresh.
//  - given up: down or refusing for 60 s since its last answer (the waits
//    that Retry-After asks for count toward them), never answered at all
//    once the first request is out of tries, or its certificate refused (no
//    page would fare better). Every request fails at once, with no try, for
//    the rest of the run.
//
// A page that fails while the site answers other requests fails alone: its
// fault, not the site's. Whatever the site answers, no URL is asked more than
// 8 times in a run, redirects included. Probes of the site's root are bound
// by their own rule: never two within firstProbeGap.
//
// Pure logic over the times its caller gives: RetryPolicy adds the clock,
// the lock and the waits. Not safe to share without that lock.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>

#include "fetch/pacer.h"
#include "http/try_outcome.h"

namespace qz {

struct HealthLimits {
  int tries = 4;                                  // counting tries, the first one included
  int mostAsks = 8;                               // requests for one URL in the run, whatever comes
  std::chrono::milliseconds firstPause{1000};     // before a second try; doubled before each later
  int pauseGrowth = 2;                            // each pause that many times the one before
  long longestRetryAfter = 60;                    // seconds; a longer wait is not waited for
  PacerLimits pace;                               // the gap between requests once the site is busy
  std::chrono::milliseconds firstProbeGap{1000};  // while down, and between any two probes

  int probeGapGrowth = 2;
  std::chrono::milliseconds longestProbeGap{5000};
  std::chrono::milliseconds givenUpAfter{60000};  // down this long since its last answer
};

// How the site is doing as a caller sees it: the phase, with up told apart
// from busy (up, and paced).
enum class SiteState { kUp, kBusy, kDown, kGivenUp };

// Why the site was given up, for the report.
enum class GiveUpCause {
  kNone,
  kNeverAnswered,
  kNoSecureConnection,  // never answered but to break a TLS handshake off
  kRefusing,
  kDown,
  kCertificate
};

class SiteHealth {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;

  // What the model keeps of one request while it is fetched; the request's
  // own, passed in with each step.
  struct Request {
    std::string url;
    bool bounded = true;  // counts toward the asks of its URL (a page, not a visit)
    int asks = 0;         // its tries so far
    int counted = 0;      // failed tries that count against its tries
    std::optional<TimePoint> failingSince;
    TimePoint triedAt{};     // when its last try was sent
    uint64_t checkedIn = 0;  // the check it started, having run out of tries (0: none)
    bool stalled = false;    // it has given no answer in the stall limit once
    bool waitedOutDown = false;
    std::optional<TryOutcome> last;  // of its last try
  };

  // What a request is to do next.
  struct Step {
    enum Kind {
      kGo,       // make a try at `at` (the pacing gap is claimed)
      kProbe,    // probe the site's root now, and tell probed()
      kWait,     // ask nothing until `at`, or until something changes
      kArrived,  // done: the page arrived
      kFail,     // done: the page did not
      kPause,    // try again at `at`, by way of beforeTry
    };
    Kind kind = kGo;
    TimePoint at{};
    int mostExchanges = 1;  // of a kGo: the requests the try may make, redirects included
  };

  // jitterSeed varies the pauses a little, so that clients cut off together
  // do not come back together.
  explicit SiteHealth(const HealthLimits& limits = HealthLimits(), unsigned jitterSeed = 1)
      : limits_(limits), pacer_(limits.pace), jitter_(jitterSeed) {}

  // Before each try of request; kGo counts the try as made.
  Step beforeTry(Request& request, TimePoint now);
  // After a try that kGo allowed: kArrived, kFail, or kPause. Each redirect
  // the try followed counts as an ask of the URL.
  Step afterTry(Request& request, const TryOutcome& outcome, TimePoint now);
  // After a probe that kProbe asked for.
  void probed(const TryOutcome& outcome, TimePoint now);

  SiteState state() const;
  bool everAnswered() const { return everAnswered_; }
  bool busySeen() const { return pacer_.busySeen(); }
  GiveUpCause giveUpCause() const { return giveUpCause_; }

 private:
  enum class Phase { kUp, kChecking, kDown, kGivenUp };

  // The one place the phase changes, and what comes with each.
  void enterPhase(Phase next, TimePoint now, GiveUpCause cause = GiveUpCause::kNone);
  void giveUpAfterDown(TimePoint now);
  bool waiting() const { return phase_ == Phase::kChecking || phase_ == Phase::kDown; }

  // The steps of afterTry and probed.
  bool takeAnswer(const TryOutcome& outcome, Fault fault, TimePoint now);
  void answeredWell(TimePoint now);
  void judgeSite(const Request& request, Fault fault, TimePoint now);
  Step outOfTries(Request& request, bool stalled, bool othersAnswered, TimePoint now);
  std::chrono::milliseconds pauseBefore(const Request& request, const TryOutcome& last);
  bool outOfAsks(const std::string& url) const;

  HealthLimits limits_;
  Pacer pacer_;
  Phase phase_ = Phase::kUp;
  GiveUpCause giveUpCause_ = GiveUpCause::kNone;  // once given up
  TimePoint lastStart_{};
  bool everAnswered_ = false;
  std::optional<TimePoint> lastGood_;         // the last try or probe the site answered well
  std::optional<TimePoint> failingSince_;     // the site's first failed try since then
  std::optional<std::string> lastFailedUrl_;  // when the last try failed as the site's fault
  Fault lastFault_ = Fault::kNone;
  uint64_t episode_ = 0;      // counts the checks and downs
  uint64_t passedCheck_ = 0;  // the last check the site passed at once
  TimePoint downSince_{};     // of the check or down in hand
  TimePoint nextProbeAt_{};   // never less than a probe gap after the last probe
  std::chrono::milliseconds probeGap_{0};
  bool probing_ = false;
  std::unordered_map<std::string, int> asks_;  // by URL, over the whole run
  std::minstd_rand jitter_;
};

}  // namespace qz
