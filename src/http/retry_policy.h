// How the client rides out a busy or briefly broken site: which failures are
// worth another try, how long to pause before it, how far apart to space
// requests once the site has said it is busy, and when to stop trying hard
// because the site seems to be gone. Shared by every HTTP client; it knows
// nothing of how a request is made.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <string_view>

#include "http/pacer.h"

namespace qz {

// What became of one try of a request.
struct TryOutcome {
  enum Kind {
    kArrived,    // a whole body with a status below 400
    kTransient,  // refused, reset, timed out, cut off, or a status worth asking again
    kFailed,     // worth nothing to ask again: 404, an unknown host, a refused URL
  };
  Kind kind = kFailed;
  long status = 0;              // the HTTP status, 0 when no answer came
  long retryAfterSeconds = -1;  // what the site asked us to wait, -1 for nothing
  // Why no whole answer came, in plain words alike on every platform (one of
  // the kWhy texts); empty when the status says it.
  std::string_view why;
};

// The reasons a try can fail other than by its status.
inline constexpr std::string_view kWhyRefused = "connection refused";
inline constexpr std::string_view kWhyUnknownHost = "host name not found";
inline constexpr std::string_view kWhyTimedOut = "no answer in time";
inline constexpr std::string_view kWhyCutOff = "connection cut off";
inline constexpr std::string_view kWhyTooSlow = "page too slow";
inline constexpr std::string_view kWhyUnreadable = "page too large or not readable";
inline constexpr std::string_view kWhySecure = "secure connection failed";
inline constexpr std::string_view kWhyRedirect = "redirect loop or redirect off the web";
inline constexpr std::string_view kWhyOther = "the request failed";

// "502 Bad Gateway": a status with its reason phrase, for people to read.
std::string statusText(long status);

// Status codes that a site gives when it is busy or briefly broken.
bool isTransientStatus(long status);
// 429 and 503: the site asks us to slow down.
bool isBusyStatus(long status);

// Seconds since the epoch of an HTTP date in any of its three forms
// ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
// "Sun Nov  6 08:49:37 1994"); -1 when the text is not one.
long long httpDateSeconds(std::string_view text);

// The seconds a Retry-After value asks for, counted from now: a number of
// seconds or an HTTP date. -1 when the value is neither.
long retryAfterSeconds(std::string_view value, std::time_t now);

struct RetryLimits {
  int tries = 4;                               // in all, the first one included
  std::chrono::milliseconds firstPause{1000};  // doubled before each later try
  long longestRetryAfter = 60;                 // seconds; a longer wait is not waited for
  PacerLimits pace;                            // the gap between requests once the site is busy
  // Requests in a row that got no answer in all their tries, after which
  // each request gets one: four take longer than a 20 s outage lasts.
  int deadAfter = 4;
  // A site is given up once every request for this long, and at least
  // downAfterRequests of them, used up their tries, whatever ended them.
  std::chrono::milliseconds downAfter{45000};
  int downAfterRequests = 3;
};

// One per client, for the whole run. Safe to share between threads.
class RetryPolicy {
 public:
  explicit RetryPolicy(const RetryLimits& limits = RetryLimits());
  void setLimits(const RetryLimits& limits);

  // Calls tryOnce until a try arrives or fails for good, or the tries are
  // used up; waits the pauses and keeps the pacing gap. True when a try
  // arrived. Once the site is given up, false at once without a try.
  bool run(const std::function<TryOutcome()>& tryOnce);

  std::chrono::milliseconds gap() const;
  // True while requests get one try each: the last few got no answer at all.
  bool siteSeemsDead() const;
  // True once the site has answered 429 or 503 in this run.
  bool siteHasBeenBusy() const;
  // True once the site is given up for down, for the rest of the run.
  bool siteGivenUp() const;

 private:
  using Clock = std::chrono::steady_clock;
  void waitForGap();
  bool record(const TryOutcome& outcome);
  void endRequest(bool usedUp, bool noAnswer, Clock::time_point started);
  std::chrono::milliseconds pauseBefore(int nextTry, const TryOutcome& last);

  mutable std::mutex mutex_;
  RetryLimits limits_;
  Pacer pacer_;
  Clock::time_point lastStart_{};
  int noAnswerInARow_ = 0;
  // The requests since the last that got through, all of which used up
  // their tries: how many, and when the first of them began.
  int usedUpInARow_ = 0;
  Clock::time_point usedUpSince_{};
  bool givenUp_ = false;
  std::minstd_rand jitter_;
};

}  // namespace qz
