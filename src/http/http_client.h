// The HTTP client of the run: one for the process, knowing nothing of the
// pages it fetches. It keeps connections alive and reuses them, keeps the
// cookies the site sets and sends them back, follows redirects, rides out a
// busy or briefly broken site under the retry policy, and can fetch ahead on
// several connections.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "http/retry_policy.h"

namespace qz {

// The limits of the client. Tests shorten them; the program keeps the
// defaults.
struct ClientLimits {
  long connectTimeoutSeconds = 30;
  // A transfer slower than lowSpeedBytes a second for stallSeconds is given
  // up, and so is one that takes longer than longestTransferSeconds in all.
  long lowSpeedBytes = 100;
  long stallSeconds = 30;
  long longestTransferSeconds = 300;
  RetryLimits retry;
};
void setClientLimits(const ClientLimits& limits);
const ClientLimits& clientLimits();

// Closes the connections, forgets the cookies, the pacing and a site given
// up; the next request starts afresh. For tests that run many sites in one
// process.
void resetClient();

// How many cookies the client keeps for the site: bounded, whatever it sets.
long storedCookieCount();

// Fetches url into *body, its content coding undone. True only when the
// whole body of an answer with a status below 400 arrived; after false
// *body holds nothing of use. Once the site has been given up for down,
// false at once with no request.
bool fetchBody(const std::string& url, std::string* body);

// The fetches that failed so far in the run, each counted once by the cause
// of its last try in plain words ("502 Bad Gateway", "the site could not be
// reached at http://host: connection refused", "gave up: the site was
// down"), in the order the causes first came; and whether any try got any
// answer at all.
struct FailedFetches {
  int count = 0;
  std::vector<std::pair<std::string, int>> byCause;
  bool anyAnswer = false;
};
FailedFetches failedFetches();

// How many requests may be in flight at once: 1 (each page fetched when it
// is asked for, the default) to kMaxConnections, and never more connections
// than that. With more than one, the pages named by expectRequests are fetched
// ahead; fetchBody keeps its promise. Once the site has answered 429 or 503,
// one request at a time.
inline constexpr int kMaxConnections = 8;
void setConnections(int connections);

// True when pages are fetched ahead (more than one connection), so that
// telling expectRequests is worth the work of finding them.
bool fetchesAheadOfRequests();
// The connections set: how many requests may be in flight at once.
int connections();

// Says which pages will be asked for next, in the order they will be; soon
// puts them before those said earlier. Every one of them is then asked for
// with fetchBody, in that order, unless the run ends first. Changes nothing
// with one connection.
void expectRequests(const std::vector<std::string>& urls, bool soon);

// Pages fetched ahead so far are fetched again when asked for: what they
// hold may belong to a session that has since been renewed.
void refetchPagesAhead();

}  // namespace qz
