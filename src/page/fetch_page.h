// Every request to the site goes through fetchPage. One HTTP client serves the
// whole run: connections are kept alive and reused, cookies set by the site
// are kept in memory and sent back, redirects are followed.
#pragma once

#include <string>
#include <vector>

#include "http/retry_policy.h"

namespace qz {

// Downloads url and stores the response body, decoded, in fileName, replacing
// what it held. Returns true only when the whole body of an answer with a
// status below 400 arrived and was stored; a body that broke off, or whose
// gzip stream did, is never written. After false the file is not to be read.
// A busy or briefly broken site is asked again under the retry policy; a
// failure to write fileName ends the run. Prints nothing.
bool fetchPage(const std::string& url, const std::string& fileName);

// The limits of the client. Tests shorten them; the program keeps the
// defaults.
struct FetchLimits {
  long connectTimeoutSeconds = 30;
  // A transfer slower than lowSpeedBytes a second for stallSeconds is given
  // up, and so is one that takes longer than longestTransferSeconds in all.
  long lowSpeedBytes = 100;
  long stallSeconds = 30;
  long longestTransferSeconds = 300;
  RetryLimits retry;
};
void setFetchLimits(const FetchLimits& limits);
const FetchLimits& fetchLimits();

// Closes the client's connections, forgets its cookies and the pacing of the
// retry policy; the next request starts afresh. For tests that run many
// sites in one process.
void resetFetchClient();

// How many requests may be in flight at once: 1 (each page fetched when it
// is asked for, the default) to kMaxConnections. With more, the pages named
// by expectPages are fetched ahead on that many connections; fetchPage keeps
// its promise. Until a site that answered 429 or 503 is met, which brings
// the run back to one request at a time.
inline constexpr int kMaxConnections = 8;
inline constexpr const char* kConnectionsVariable = "QZTURNS_CONNECTIONS";
void setConnections(int connections);

// Reads QZTURNS_CONNECTIONS and sets the connections. False, with the one
// line to tell the user in *complaint, for a value that is not a whole
// number from 1 to kMaxConnections.
bool setConnectionsFromEnvironment(std::string* complaint);

// True when pages are fetched ahead (more than one connection), so that
// telling expectPages is worth the work of finding them.
bool fetchesAhead();

// Says which pages the crawl will ask for next, in the order it will ask
// for them; soon puts them before those said earlier. Every one of them is
// then asked for with fetchPage, in that order, unless the run ends first.
// Changes nothing with one connection.
void expectPages(const std::vector<std::string>& urls, bool soon);

}  // namespace qz
