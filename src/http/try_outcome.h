// What became of one try of a request, as every transport reports it, and
// the kinds of fault the client tells apart: whose fault it was (the page's
// or the site's) and whether another try may help.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qz {

// Why a try failed other than by its status.
enum class Why {
  kNone,  // the status says it
  kRefused,
  kNoConnection,
  kUnknownHost,
  kTimedOut,
  kCutOff,
  kTooSlow,
  kUnreadable,
  kRedirect,
  kProxy,  // the proxy the request was to go through could not be reached
  kHandshake,
  // The site's certificate was checked and refused: no try will do better.
  kCertificateUntrusted,
  kCertificateSelfSigned,
  kCertificateExpired,
  kCertificateName,
  kCertificateRevoked,
  kAuthorityFile,
  kOther,
};

// The reason in plain words, alike on every platform: "connection refused".
std::string_view whyText(Why why);

struct TryOutcome {
  enum Kind {
    kArrived,    // a whole body with a status below 400
    kTransient,  // refused, reset, timed out, cut off, or a status worth asking again
    kFailed,     // worth nothing to ask again: 404, an unknown host, a refused URL
  };
  Kind kind = kFailed;
  long status = 0;              // the HTTP status, 0 when none came (it may come before a failure)
  long retryAfterSeconds = -1;  // what the site asked us to wait, -1 for nothing
  // Why no whole answer came; kNone when the status says it, and only then.
  Why why = Why::kNone;
  int exchanges = 1;  // requests the try made: one, and one more for each redirect followed
};

// What an answer's status says of a try before its body is read: a status
// of 400 or more is a failure (one worth another try for the statuses a busy
// or broken site gives, with the wait in seconds it asked for, -1 for none);
// a redirect that names where it leads is for the client to follow. Nothing
// for a page: its body decides (pageOutcome). Both transports read every
// answer by this rule.
std::optional<TryOutcome> outcomeOfStatus(long status, long retryAfterSeconds, bool hasLocation);
// The outcome of a page whose body was read: arrived when it came whole.
TryOutcome pageOutcome(long status, bool whole);

// "502 Bad Gateway": a status with its reason phrase, for people to read.
std::string statusText(long status);

// Status codes that a site gives when it is busy or briefly broken.
bool isTransientStatus(long status);
// 429 and 503: the site asks us to slow down.
bool isBusyStatus(long status);

// Whose fault a try that did not arrive was, as far as one try can tell.
enum class Fault {
  kNone,          // it arrived
  kPage,          // the site answered, but not with the page: 404, a redirect loop, a
                  // body too large; or a fault no other try would mend
  kBusy,          // 429 or 503: the site asks us to slow down
  kServer,        // 408, 500, 502, 504: the site, or its back end, is broken
  kNoAnswer,      // no whole answer: cut off, or none in time (a connection or
                  // handshake that stalls among them)
  kNoConnection,  // a connection refused
  kCertificate,   // the site's certificate was refused: every page would fail alike
};
Fault faultOf(const TryOutcome& outcome);

// True when the site answered the try at all, with whatever status.
bool answered(const TryOutcome& outcome);

// True for a try that got nothing in its time limit: no answer, or a
// connection or secure handshake that never completed. Given up as a
// whole, not tried again at once.
bool isStall(const TryOutcome& outcome);

// True for the reasons that say the site's certificate was refused.
bool isCertificateRefusal(Why why);

}  // namespace qz
