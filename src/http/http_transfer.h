// One request and its answer, made by the platform's HTTP client: libcurl on
// POSIX (http_transfer_curl.cpp), WinHTTP on Windows. Neither follows
// redirects nor keeps cookies: the client of http_client.h does both, once
// for both platforms. The connections live as long as the process and are
// kept alive and reused.
#pragma once

#include <string>
#include <vector>

#include "http/http_client.h"
#include "http/try_outcome.h"

namespace qz {

// What one exchange brought back besides the body.
struct AnswerHeaders {
  std::string location;                 // of a redirect (3xx) only
  std::vector<std::string> setCookies;  // every Set-Cookie value, in order
};

// Sends a GET for url with cookies (the Cookie header value, none when
// empty) and reads the answer. The body of an answer below 300 goes into
// *body, its content coding undone; the outcome says whether it arrived
// whole. A redirect arrives with its location and no body.
TryOutcome exchangeOnce(const std::string& url, const std::string& cookies, std::string* body,
                        AnswerHeaders* headers);

// Takes new time-outs; the next request uses them.
void applyTransferLimits(const ClientLimits& limits);

// Keeps at most this many connections open, one per thread that makes
// requests.
void setTransferConnections(int connections);

// Closes every connection.
void closeTransferConnections();

}  // namespace qz
