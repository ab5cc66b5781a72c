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

// True when the fetch failed for the site's certificate, or for a secure
// connection that could not be made: what the certificate settings may mend.
bool isSecureFailure(const RequestResult& result);

// What standard error tells at the end of a run in which pages were not
// fetched or saved: how many and why, each page once by its cause, that the
// next run asks again, and, when no request got any answer, that the site
// at baseUrl could not be reached; when sessionNotKept, that the site did
// not keep the run's session. Lines end in CR LF. Empty when every page
// came.
std::string failureReport(const FailedFetches& failed, const std::string& baseUrl,
                          bool sessionNotKept);

}  // namespace qz
