#include "http/failure_account.h"

#include "http/redirect_location.h"

namespace qz {

namespace {

std::string seconds(std::chrono::milliseconds span) {
  return std::to_string((span.count() + 500) / 1000) + " s";
}

// Why a site was given up, in plain words.
std::string giveUpText(GiveUpCause cause, const HealthLimits& limits) {
  switch (cause) {
    case GiveUpCause::kNeverAnswered:
      return "the site could not be reached";
    case GiveUpCause::kRefusing:
      return "the site kept refusing for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kDown:
      return "the site was down for " + seconds(limits.givenUpAfter);
    case GiveUpCause::kCertificate:
      return "the site's certificate was refused";
    case GiveUpCause::kNone:
      break;
  }
  return {};
}

}  // namespace

std::string failureCause(const std::string& url, const RequestResult& result, bool anyAnswer,
                         const ClientLimits& limits) {
  if (!result.last) {
    return "not asked: " + giveUpText(result.givenUp, limits.health);
  }
  const TryOutcome& last = *result.last;
  std::string cause;
  if (last.why == Why::kNone) {
    cause = last.status > 0 ? statusText(last.status) : std::string(whyText(Why::kOther));
  } else if (last.why == Why::kTimedOut) {
    cause = "no answer in " + std::to_string(limits.stallSeconds) + " s";
  } else if (last.why == Why::kNoConnection) {
    cause = "no connection in " + std::to_string(limits.connectTimeoutSeconds) + " s";
  } else {
    cause = std::string(whyText(last.why));
  }
  const Fault fault = faultOf(last);
  if (!anyAnswer && (fault == Fault::kNoConnection || fault == Fault::kNoAnswer ||
                     last.why == Why::kUnknownHost)) {
    return "the site could not be reached at " + originOf(url) + ": " + cause;
  }
  if (result.givenUp == GiveUpCause::kRefusing || result.givenUp == GiveUpCause::kDown) {
    cause += "; " + giveUpText(result.givenUp, limits.health);
  }
  return cause;
}

void FailureAccount::count(const std::string& cause, bool secure) {
  MutexLock lock(mutex_);
  secureFailed_ = secureFailed_ || secure;
  ++count_;
  for (auto& [known, count] : byCause_) {
    if (known == cause) {
      ++count;
      return;
    }
  }
  byCause_.push_back({cause, 1});
}

FailedFetches FailureAccount::read(bool anyAnswer) const {
  MutexLock lock(mutex_);
  return {count_, byCause_, anyAnswer, secureFailed_};
}

void FailureAccount::clear() {
  MutexLock lock(mutex_);
  count_ = 0;
  byCause_.clear();
  secureFailed_ = false;
}

}  // namespace qz
