// Every word the run says of what it could not fetch: the cause of each page
// that failed, and the report on standard error at the end of the run, with
// the hint of what the user may do about it.
#pragma once

#include <string>

#include "fetch/fetcher.h"
#include "fetch/retry_policy.h"
#include "http/transport.h"

namespace qz {

// The cause of a fetch that failed, in plain words, by its last try and by
// what had become of the site: "502 Bad Gateway", "no answer in 30 s",
// "not asked: the site was down for 60 s". "Could not be reached" only for a
// site that never answered.
std::string failureCause(const std::string& url, const RequestResult& result, bool anyAnswer,
                         const TransferSettings& transfer, const HealthLimits& health);

// Why the site's certificate was refused, when the fetch failed for it, or
// for its refusal on an earlier page; Why::kNone otherwise.
Why certificateRefusal(const RequestResult& result);

// What the user may do about a refused certificate, as one line, naming
// only a setting that can help and is not set yet (authorityFileSet): a file
// of authorities (or, where the platform cannot take one, the system's
// store) for an issuer this computer does not know, and not checking for
// any refusal. Empty when nothing would help.
std::string certificateHint(Why refused, bool authorityFileSet, bool authorityFileSupported);

// What the report says besides the failures counted.
struct ReportNotes {
  bool sessionNotKept = false;    // the site did not keep the run's session
  bool authorityFileSet = false;  // QZTURNS_CA_FILE is set
};

// What standard error tells at the end of a run in which pages were not
// fetched or saved: how many and why, each page once by its cause, that the
// next run asks again, and, when no request got any answer, that the site
// at baseUrl could not be reached; what notes says; and the hint for a
// refused certificate. Lines end in CR LF. Empty when every page came.
std::string failureReport(const FailedFetches& failed, const std::string& baseUrl,
                          const ReportNotes& notes);

}  // namespace qz
