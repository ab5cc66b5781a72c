// Every request to the site goes through fetchPage. One HTTP client serves the
// whole run: connections are kept alive and reused, cookies set by the site
// are kept in memory and sent back, redirects are followed.
#pragma once

#include <string>

namespace qz {

// Downloads url and stores the response body, decoded, in fileName, replacing
// what it held. Returns true only when the whole body of an answer with a
// status below 400 arrived and was stored; a body that broke off is never
// written. After false the file is not to be read. Prints nothing. A 429 or 503 answer that names a
// Retry-After of at most a minute is waited out and asked again, twice at most.
bool fetchPage(const std::string& url, const std::string& fileName);

// The waits of the client, in seconds. Tests shorten them; the program keeps
// the defaults.
struct FetchLimits {
  long connectTimeout = 30;
  // A transfer that moves less than one byte a second for this long is given up.
  long stallTimeout = 30;
  long longestRetryAfter = 60;
  int retriesAfterBusy = 2;
};
void setFetchLimits(const FetchLimits& limits);

// Closes the client's connections and forgets its cookies; the next request
// starts afresh. For tests that run many sites in one process.
void resetFetchClient();

}  // namespace qz
