#include "fetch/site_health.h"

#include <algorithm>

namespace qz {

namespace {

using std::chrono::milliseconds;

// True when the try shows the site working: the page came, or the site
// answered with a status that is the page's fault alone (404, a redirect loop).
bool answeredWell(Fault fault, const TryOutcome& outcome) {
  return fault == Fault::kNone || (fault == Fault::kPage && answered(outcome));
}

}  // namespace

SiteState SiteHealth::state() const {
  if (giveUpCause_ != GiveUpCause::kNone) {
    return SiteState::kGivenUp;
  }
  if (down_) {
    return SiteState::kDown;
  }
  return pacer_.busySeen() ? SiteState::kBusy : SiteState::kUp;
}

bool SiteHealth::outOfAsks(const std::string& url) const {
  auto found = asks_.find(url);
  return found != asks_.end() && found->second >= limits_.mostAsks;
}

SiteHealth::Step SiteHealth::beforeTry(Request& request, TimePoint now) {
  if (giveUpCause_ != GiveUpCause::kNone || outOfAsks(request.url)) {
    return {Step::kFail, now};
  }
  if (down_) {
    const TimePoint giveUpAt = downSince_ + limits_.givenUpAfter;
    if (now >= giveUpAt) {
      giveUpAfterDown();
      return {Step::kFail, now};
    }
    request.waitedOutDown = true;
    if (!probing_ && now >= nextProbeAt_) {
      probing_ = true;
      return {Step::kProbe, now};
    }
    return {Step::kWait, probing_ ? giveUpAt : std::min(giveUpAt, nextProbeAt_)};
  }
  if (request.checkedIn != 0) {
    // It ran out of tries and waited on a check of the site: if the site
    // answered the check at once, the failure was the page's own.
    bool pageAlone = request.checkedIn == episode_ && !confirmed_;
    request.checkedIn = 0;
    if (pageAlone) {
      return {Step::kFail, now};
    }
  }
  if (request.waitedOutDown) {
    // The site was down and is back: what failed then was not the page.
    request.waitedOutDown = false;
    request.counted = 0;
    request.failingSince.reset();
  }
  // Each try claims its start under the caller's lock, so that tries on
  // several connections keep the pacing gap between them too.
  TimePoint start = std::max(now, lastStart_ + pacer_.gap());
  lastStart_ = start;
  ++asks_[request.url];
  ++request.asks;
  return {Step::kGo, start};
}

SiteHealth::Step SiteHealth::afterTry(Request& request, const TryOutcome& outcome, TimePoint now) {
  request.last = outcome;
  const Fault fault = faultOf(outcome);
  bool widened = false;
  if (answered(outcome)) {
    everAnswered_ = true;
    widened = pacer_.onAnswer(fault == Fault::kBusy);
  }
  if (answeredWell(fault, outcome)) {
    lastGood_ = now;
    failingSince_.reset();
    lastFailedUrl_.reset();
    return {fault == Fault::kNone ? Step::kArrived : Step::kFail, now};
  }
  if (fault == Fault::kCertificate) {
    everAnswered_ = true;  // the site is there; it is its certificate that is refused
    giveUp(GiveUpCause::kCertificate);
    return {Step::kFail, now};
  }
  if (fault == Fault::kPage) {
    if (!everAnswered_) {
      giveUp(GiveUpCause::kNeverAnswered);  // such as a host name that does not resolve
    }
    return {Step::kFail, now};
  }

  // A fault that another try may mend.
  if (!request.failingSince) {
    request.failingSince = now;
  }
  if (!failingSince_) {
    failingSince_ = now;
  }
  lastFault_ = fault;
  if (giveUpCause_ != GiveUpCause::kNone || outcome.retryAfterSeconds > limits_.longestRetryAfter) {
    return {Step::kFail, now};
  }
  if (fault != Fault::kBusy || !widened) {
    ++request.counted;
  }
  const bool othersAnswered = lastGood_ && *lastGood_ > *request.failingSince;
  if (!down_ && everAnswered_) {
    // No page refuses a connection, and two pages failing in a row are
    // seldom the pages' own fault.
    bool secondPage = fault != Fault::kBusy && lastFailedUrl_ && *lastFailedUrl_ != request.url;
    if (fault == Fault::kNoConnection || secondPage) {
      goDown(now, true);
    }
  }
  if (fault == Fault::kBusy) {
    lastFailedUrl_.reset();  // a refusal is an answer: the pacer deals with it
  } else {
    lastFailedUrl_ = request.url;
  }
  if (outOfAsks(request.url)) {
    if (!down_ && everAnswered_ && !othersAnswered) {
      goDown(now, false);  // the pages after it wait for the check
    }
    return {Step::kFail, now};
  }
  if (down_) {
    return {Step::kPause, now};  // beforeTry makes it wait
  }
  // A page that gave no answer for the whole stall limit has had its time:
  // at once to the check, rather than three more stalls.
  const bool stalled = fault == Fault::kNoAnswer && outcome.why == Why::kTimedOut;
  if (request.counted >= limits_.tries || stalled) {
    if (!everAnswered_) {
      giveUp(GiveUpCause::kNeverAnswered);
      return {Step::kFail, now};
    }
    if (othersAnswered) {
      return {Step::kFail, now};
    }
    goDown(now, false);
    request.checkedIn = episode_;
    return {Step::kPause, now};
  }
  return {Step::kPause, now + pauseBefore(request, outcome)};
}

void SiteHealth::probed(const TryOutcome& outcome, TimePoint now) {
  probing_ = false;
  const Fault fault = faultOf(outcome);
  if (answered(outcome)) {
    everAnswered_ = true;
  }
  if (fault == Fault::kCertificate) {
    everAnswered_ = true;
    giveUp(GiveUpCause::kCertificate);
    return;
  }
  if (answeredWell(fault, outcome)) {
    backUp(now);
    return;
  }
  if (fault != Fault::kPage) {
    lastFault_ = fault;
  }
  confirmed_ = true;
  probeGap_ = probeGap_ == milliseconds(0) ? limits_.firstProbeGap
                                           : std::min(probeGap_ * 2, limits_.longestProbeGap);
  nextProbeAt_ = now + probeGap_;
  if (now >= downSince_ + limits_.givenUpAfter) {
    giveUpAfterDown();
  }
}

void SiteHealth::goDown(TimePoint now, bool confirmed) {
  down_ = true;
  confirmed_ = confirmed;
  ++episode_;
  downSince_ = failingSince_.value_or(now);
  // A check probes at once; a site known to be down gets a moment first.
  probeGap_ = confirmed ? limits_.firstProbeGap : milliseconds(0);
  nextProbeAt_ = now + probeGap_;
}

void SiteHealth::backUp(TimePoint now) {
  down_ = false;
  lastGood_ = now;
  failingSince_.reset();
  lastFailedUrl_.reset();
  probeGap_ = milliseconds(0);
}

// Down for too long: given up for what the site last did, refusing or
// failing.
void SiteHealth::giveUpAfterDown() {
  giveUp(lastFault_ == Fault::kBusy ? GiveUpCause::kRefusing : GiveUpCause::kDown);
}

void SiteHealth::giveUp(GiveUpCause cause) {
  if (giveUpCause_ == GiveUpCause::kNone) {
    giveUpCause_ = cause;
  }
  down_ = false;
}

milliseconds SiteHealth::pauseBefore(const Request& request, const TryOutcome& last) {
  if (last.retryAfterSeconds >= 0) {
    return milliseconds(last.retryAfterSeconds * 1000);
  }
  if (isBusyStatus(last.status)) {
    return milliseconds(0);  // the pacing gap is the pause
  }
  milliseconds base = limits_.firstPause * (1 << std::clamp(request.counted - 1, 0, 20));
  // A little jitter, so that clients cut off together do not come back together.
  std::uniform_int_distribution<int> percent(90, 110);
  return base * percent(jitter_) / 100;
}

}  // namespace qz
