// One try of one request, made by the platform's HTTP client: libcurl on
// POSIX (http_transfer_curl.cpp), WinHTTP on Windows. fetchPage wraps it in
// the retry policy. The client lives as long as the process: its connections
// are kept alive and reused, and the cookies the site sets are sent back.
#pragma once

#include <cstddef>
#include <string>

#include "page/fetch_page.h"
#include "http/retry_policy.h"

namespace qz {

// Fetches url into *body, decoded (BodyDecoder). The outcome says whether a
// whole body arrived with a status below 400; after any other outcome *body
// holds nothing of use.
TryOutcome transferOnce(const std::string& url, std::string* body);

// Takes new time-outs; the next try uses them.
void applyTransferLimits(const FetchLimits& limits);

// Closes every connection and forgets every cookie.
void resetTransferClient();

// How many cookies the client keeps for the site: bounded, whatever it sets.
// -1 for a client that keeps its cookies out of sight.
long storedCookieCount();

}  // namespace qz
