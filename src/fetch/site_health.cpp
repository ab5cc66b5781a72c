#include "fetch/site_health.h"

#include <algorithm>

namespace qz {

namespace {

using std::chrono::milliseconds;

// True when the try shows the site working: the page came, or the site
// answered with a status that is the page's fault alone (404, a redirect loop).
bool showsSiteWorking(Fault fault, const TryOutcome& outcome) {
  return fault == Fault::kNone || (fault == Fault::kPage && answered(outcome));
}

}  // namespace

SiteState SiteHealth::state() const {
  switch (phase_) {
    case Phase::kGivenUp:
      return SiteState::kGivenUp;
    case Phase::kChecking:
    case Phase::kDown:
      return SiteState::kDown;
    case Phase::kUp:
      break;
  }
  return pacer_.busySeen() ? SiteState::kBusy : SiteState::kUp;
}

void SiteHealth::enterPhase(Phase next, TimePoint now, GiveUpCause cause) {
  if (phase_ == Phase::kGivenUp || next == phase_) {
    return;  // given up is for the rest of the run
  }
  const Phase before = phase_;
  phase_ = next;
  switch (next) {
    case Phase::kGivenUp:
      giveUpCause_ = cause;
      break;
    case Phase::kUp:
      probeGap_ = milliseconds(0);
      answeredWell(now);
      break;
    case Phase::kChecking:
    case Phase::kDown:
      if (before == Phase::kChecking) {
        break;  // the check found the site down: its probes go on as they were
      }
      ++episode_;
      downSince_ = failingSince_.value_or(now);
      // A check probes at once; a site known to be down gets a moment first.
      probeGap_ = next == Phase::kChecking ? milliseconds(0) : limits_.firstProbeGap;
      // Never sooner than the probes' own bound after the last one.
      nextProbeAt_ = std::max(nextProbeAt_, now + probeGap_);
      break;
  }
}

// Down for too long: given up for what the site last did, refusing or
// failing.
void SiteHealth::giveUpAfterDown(TimePoint now) {
  enterPhase(Phase::kGivenUp, now,
             lastFault_ == Fault::kBusy ? GiveUpCause::kRefusing : GiveUpCause::kDown);
}

bool SiteHealth::outOfAsks(const std::string& url) const {
  auto found = asks_.find(url);
  return found != asks_.end() && found->second >= limits_.mostAsks;
}

SiteHealth::Step SiteHealth::beforeTry(Request& request, TimePoint now) {
  if (phase_ == Phase::kGivenUp || (request.bounded && outOfAsks(request.url))) {
    return {Step::kFail, now};
  }
  if (waiting()) {
    const TimePoint giveUpAt = downSince_ + limits_.givenUpAfter;
    if (now >= giveUpAt) {
      giveUpAfterDown(now);
      return {Step::kFail, now};
    }
    request.waitedOutDown = true;
    if (!probing_ && now >= nextProbeAt_) {
      probing_ = true;
      nextProbeAt_ = now + limits_.firstProbeGap;  // at the soonest, whatever it finds
      return {Step::kProbe, now};
    }
    return {Step::kWait, probing_ ? giveUpAt : std::min(giveUpAt, nextProbeAt_)};
  }
  if (request.checkedIn != 0) {
    // It ran out of tries and started a check of the site: if the site
    // passed the check at once, the failure was the page's own.
    const bool pageAlone = request.checkedIn == passedCheck_;
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
  ++request.asks;
  const int asked = request.bounded ? ++asks_[request.url] : request.asks;
  request.triedAt = start;
  return {Step::kGo, start, limits_.mostAsks - asked + 1};
}

// Whether the site answered at all; a refused certificate is an answer of a
// kind, which no other try or probe will better: the site is given up.
bool SiteHealth::takeAnswer(const TryOutcome& outcome, Fault fault, TimePoint now) {
  if (fault == Fault::kCertificate) {
    everAnswered_ = true;
    enterPhase(Phase::kGivenUp, now, GiveUpCause::kCertificate);
    return false;
  }
  everAnswered_ = everAnswered_ || answered(outcome);
  return answered(outcome);
}

void SiteHealth::answeredWell(TimePoint now) {
  lastGood_ = now;
  failingSince_.reset();
  lastFailedUrl_.reset();
}

// No page refuses a connection, and two pages failing in a row are seldom
// the pages' own fault: the site is down.
void SiteHealth::judgeSite(const Request& request, Fault fault, TimePoint now) {
  if (phase_ == Phase::kUp && everAnswered_) {
    bool secondPage = fault != Fault::kBusy && lastFailedUrl_ && *lastFailedUrl_ != request.url;
    if (fault == Fault::kNoConnection || secondPage) {
      enterPhase(Phase::kDown, now);
    }
  }
  if (fault == Fault::kBusy) {
    lastFailedUrl_.reset();  // a refusal is an answer: the pacer deals with it
  } else {
    lastFailedUrl_ = request.url;
  }
}

// A page that used up its tries, or gave no answer for the whole stall
// limit (it has had its time: at once to the check, rather than three more
// stalls).
SiteHealth::Step SiteHealth::outOfTries(Request& request, bool stalled, bool othersAnswered,
                                        TimePoint now) {
  if (!everAnswered_) {
    const bool handshake = request.last && request.last->why == Why::kHandshake;
    enterPhase(Phase::kGivenUp, now,
               handshake ? GiveUpCause::kNoSecureConnection : GiveUpCause::kNeverAnswered);
    return {Step::kFail, now};
  }
  if (othersAnswered) {
    return {Step::kFail, now};
  }
  enterPhase(Phase::kChecking, now);
  // A first stall keeps the page's tries, whatever the check finds: the
  // whole site may have hung, and answer again by the time it is probed.
  request.checkedIn = stalled && !request.stalled ? 0 : episode_;
  request.stalled = request.stalled || stalled;
  return {Step::kPause, now};
}

SiteHealth::Step SiteHealth::afterTry(Request& request, const TryOutcome& outcome, TimePoint now) {
  request.last = outcome;
  request.asks += outcome.exchanges - 1;
  if (request.bounded) {
    asks_[request.url] += outcome.exchanges - 1;
  }
  const Fault fault = faultOf(outcome);
  const bool widened = takeAnswer(outcome, fault, now) && pacer_.onAnswer(fault == Fault::kBusy);
  if (showsSiteWorking(fault, outcome)) {
    answeredWell(now);
    return {fault == Fault::kNone ? Step::kArrived : Step::kFail, now};
  }
  if (fault == Fault::kCertificate) {
    return {Step::kFail, now};
  }
  if (fault == Fault::kPage) {
    if (!everAnswered_) {
      enterPhase(Phase::kGivenUp, now, GiveUpCause::kNeverAnswered);  // such as an unknown host
    }
    return {Step::kFail, now};
  }

  // A fault that another try may mend.
  if (!request.failingSince) {
    request.failingSince = now;
  }
  if (!failingSince_) {
    // The site's last answer, for all the failed try can tell: a stall
    // counts from when the try went out, not from when it was given up.
    failingSince_ = lastGood_ ? std::max(request.triedAt, *lastGood_) : request.triedAt;
  }
  lastFault_ = fault;
  if (phase_ == Phase::kGivenUp || outcome.retryAfterSeconds > limits_.longestRetryAfter) {
    return {Step::kFail, now};
  }
  if (fault == Fault::kBusy && now - *failingSince_ >= limits_.givenUpAfter) {
    enterPhase(Phase::kGivenUp, now, GiveUpCause::kRefusing);  // refusing, waits and all
    return {Step::kFail, now};
  }
  if (fault != Fault::kBusy || !widened) {
    ++request.counted;
  }
  const bool othersAnswered = lastGood_ && *lastGood_ > *request.failingSince;
  judgeSite(request, fault, now);
  if (request.bounded ? outOfAsks(request.url) : request.asks >= limits_.mostAsks) {
    if (phase_ == Phase::kUp && everAnswered_ && !othersAnswered) {
      enterPhase(Phase::kChecking, now);  // the pages after it wait for the check
    }
    return {Step::kFail, now};
  }
  if (waiting()) {
    return {Step::kPause, now};  // beforeTry makes it wait
  }
  const bool stalled = isStall(outcome);
  if (request.counted >= limits_.tries || stalled) {
    return outOfTries(request, stalled, othersAnswered, now);
  }
  milliseconds pause = pauseBefore(request, outcome);
  if (outcome.retryAfterSeconds >= 0) {
    // The wait the site asks for counts toward the time after which a
    // refusing site is given up: the next try comes by then at the latest.
    auto left =
        std::chrono::duration_cast<milliseconds>(*failingSince_ + limits_.givenUpAfter - now);
    pause = std::clamp(left, milliseconds(0), pause);
  }
  return {Step::kPause, now + pause};
}

void SiteHealth::probed(const TryOutcome& outcome, TimePoint now) {
  probing_ = false;
  const Fault fault = faultOf(outcome);
  takeAnswer(outcome, fault, now);
  if (phase_ == Phase::kGivenUp) {
    return;
  }
  if (showsSiteWorking(fault, outcome)) {
    if (phase_ == Phase::kChecking) {
      passedCheck_ = episode_;  // the site answered at once: the page failed alone
    }
    enterPhase(Phase::kUp, now);
    return;
  }
  if (fault != Fault::kPage) {
    lastFault_ = fault;
  }
  if (phase_ == Phase::kChecking) {
    enterPhase(Phase::kDown, now);
  }
  probeGap_ = probeGap_ == milliseconds(0)
                  ? limits_.firstProbeGap
                  : std::min(probeGap_ * limits_.probeGapGrowth, limits_.longestProbeGap);
  nextProbeAt_ = now + probeGap_;
  if (now >= downSince_ + limits_.givenUpAfter) {
    giveUpAfterDown(now);
  }
}

milliseconds SiteHealth::pauseBefore(const Request& request, const TryOutcome& last) {
  if (last.retryAfterSeconds >= 0) {
    return milliseconds(last.retryAfterSeconds * 1000);
  }
  if (isBusyStatus(last.status)) {
    return milliseconds(0);  // the pacing gap is the pause
  }
  milliseconds base = limits_.firstPause;
  for (int grown = 0; grown < std::clamp(request.counted - 1, 0, 20); ++grown) {
    base *= limits_.pauseGrowth;
  }
  // A little jitter, so that clients cut off together do not come back together.
  std::uniform_int_distribution<int> percent(90, 110);
  return base * percent(jitter_) / 100;
}

}  // namespace qz
