#include "http/retry_policy.h"

#include "http/header_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace qz {

namespace {

using std::chrono::milliseconds;

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long toNumber(std::string_view digits) {
  long value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
  }
  return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

}  // namespace

long long httpDateSeconds(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::vector<std::string_view> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(" ,-", pos);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    if (end > pos) {
      tokens.push_back(text.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  long day = -1, year = -1, hour = -1, minute = -1, second = -1;
  unsigned month = 0;
  for (std::string_view token : tokens) {
    if (token.size() == 8 && token[2] == ':' && token[5] == ':' && allDigits(token.substr(0, 2)) &&
        allDigits(token.substr(3, 2)) && allDigits(token.substr(6, 2))) {
      hour = toNumber(token.substr(0, 2));
      minute = toNumber(token.substr(3, 2));
      second = toNumber(token.substr(6, 2));
    } else if (allDigits(token) && token.size() == 4) {
      year = toNumber(token);
    } else if (allDigits(token) && token.size() <= 2) {
      (day < 0 ? day : year) = toNumber(token);
    } else if (token.size() == 3) {
      auto found = std::find(kMonths.begin(), kMonths.end(), token);
      if (found != kMonths.end()) {
        month = static_cast<unsigned>(found - kMonths.begin()) + 1;
      }
    }
  }
  if (year >= 0 && year < 100) {
    year += year < 70 ? 2000 : 1900;
  }
  if (day < 1 || day > 31 || month == 0 || year < 1970 || hour < 0 || hour > 23 || minute > 59 ||
      second > 60) {
    return -1;
  }
  return daysFromCivil(year, month, static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

std::string statusText(long status) {
  static constexpr std::pair<long, const char*> kPhrases[] = {
      {400, "Bad Request"},       {401, "Unauthorized"},          {403, "Forbidden"},
      {404, "Not Found"},         {408, "Request Timeout"},       {410, "Gone"},
      {429, "Too Many Requests"}, {500, "Internal Server Error"}, {501, "Not Implemented"},
      {502, "Bad Gateway"},       {503, "Service Unavailable"},   {504, "Gateway Timeout"},
  };
  for (const auto& [code, phrase] : kPhrases) {
    if (code == status) {
      return std::to_string(status) + " " + phrase;
    }
  }
  return "status " + std::to_string(status);
}

bool isTransientStatus(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

bool isBusyStatus(long status) {
  return status == 429 || status == 503;
}

long retryAfterSeconds(std::string_view value, std::time_t now) {
  value = trimmed(value);
  if (allDigits(value)) {
    return value.size() <= 9 ? toNumber(value) : -1;
  }
  int64_t when = httpDateSeconds(value);
  if (when < 0) {
    return -1;
  }
  return static_cast<long>(std::max<int64_t>(0, when - static_cast<int64_t>(now)));
}

RetryPolicy::RetryPolicy(const RetryLimits& limits)
    : limits_(limits),
      pacer_(limits.pace),
      jitter_(static_cast<unsigned>(std::random_device{}())) {}

void RetryPolicy::setLimits(const RetryLimits& limits) {
  std::lock_guard<std::mutex> lock(mutex_);
  limits_ = limits;
  pacer_ = Pacer(limits.pace);
  noAnswerInARow_ = 0;
  usedUpInARow_ = 0;
  givenUp_ = false;
}

milliseconds RetryPolicy::gap() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::chrono::duration_cast<milliseconds>(pacer_.gap());
}

bool RetryPolicy::siteSeemsDead() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return noAnswerInARow_ >= limits_.deadAfter;
}

bool RetryPolicy::siteHasBeenBusy() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pacer_.busySeen();
}

bool RetryPolicy::siteGivenUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return givenUp_;
}

void RetryPolicy::waitForGap() {
  std::unique_lock<std::mutex> lock(mutex_);
  // Each request claims its start time under the lock, so requests made on
  // several connections keep the gap between them too.
  auto now = Clock::now();
  auto start = std::max(now, lastStart_ + pacer_.gap());
  lastStart_ = start;
  lock.unlock();
  std::this_thread::sleep_until(start);
}

// The pace learns from every answer; true when a busy answer widened the
// gap, so that the try does not count against the request.
bool RetryPolicy::record(const TryOutcome& outcome) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (outcome.status > 0 || outcome.kind == TryOutcome::kArrived) {
    noAnswerInARow_ = 0;  // any answer at all shows the site is there
  }
  if (outcome.status == 0 && outcome.kind != TryOutcome::kArrived) {
    return false;  // nothing the pace could learn from
  }
  return pacer_.onAnswer(isBusyStatus(outcome.status));
}

void RetryPolicy::endRequest(bool usedUp, bool noAnswer, Clock::time_point started) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!usedUp) {
    usedUpInARow_ = 0;
    return;
  }
  if (noAnswer) {
    ++noAnswerInARow_;
  }
  if (usedUpInARow_++ == 0 || started < usedUpSince_) {
    usedUpSince_ = started;
  }
  // A site that answers, but only with errors, never lets the requests
  // through: past a stretch no brief fault lasts, the run stops asking.
  if (usedUpInARow_ >= limits_.downAfterRequests &&
      Clock::now() - usedUpSince_ >= limits_.downAfter) {
    givenUp_ = true;
  }
}

milliseconds RetryPolicy::pauseBefore(int nextTry, const TryOutcome& last) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (last.retryAfterSeconds >= 0) {
    return milliseconds(last.retryAfterSeconds * 1000);
  }
  if (isBusyStatus(last.status)) {
    return milliseconds(0);  // the pacing gap is the pause
  }
  milliseconds base = limits_.firstPause * (1 << std::min(nextTry - 2, 20));
  // A little jitter, so that clients cut off together do not come back together.
  std::uniform_int_distribution<int> percent(90, 110);
  return base * percent(jitter_) / 100;
}

bool RetryPolicy::run(const std::function<TryOutcome()>& tryOnce) {
  int tries = 1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) {
      return false;
    }
    tries = noAnswerInARow_ >= limits_.deadAfter ? 1 : limits_.tries;
  }
  const Clock::time_point started = Clock::now();
  for (int attempt = 1;;) {
    if (tries > 1) {
      waitForGap();
    }
    TryOutcome outcome = tryOnce();
    bool paceWasAtFault = record(outcome);
    if (outcome.kind == TryOutcome::kArrived) {
      endRequest(false, false, started);
      return true;
    }
    bool waitTooLong = outcome.retryAfterSeconds > limits_.longestRetryAfter;
    if (outcome.kind == TryOutcome::kFailed && outcome.status > 0) {
      endRequest(false, false, started);  // the site answered: it is there
      return false;
    }
    if (!paceWasAtFault) {
      ++attempt;
    }
    if (outcome.kind == TryOutcome::kFailed || waitTooLong || attempt > tries) {
      // Only tries that all went unanswered make the site seem gone.
      endRequest(true, outcome.kind == TryOutcome::kTransient && outcome.status == 0, started);
      return false;
    }
    std::this_thread::sleep_for(pauseBefore(attempt, outcome));
  }
}

}  // namespace qz
