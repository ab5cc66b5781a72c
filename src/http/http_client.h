// The HTTP client of the run: one for the process, knowing nothing of the
// pages it fetches. It keeps connections alive and reuses them, keeps the
// cookies the site sets and sends them back, follows redirects, rides out a
// busy, broken or briefly vanished site under one model of the site's
// health (site_health.h), and can fetch ahead on several connections.
//
// Process-wide state, made on first use and kept to the end of the process
// (threads that fetch ahead may use it until then). fetchBody and
// expectRequests are for one thread, the crawl's; the other calls change
// the whole client and must not overlap a fetch: the program makes them
// before its first request, tests between runs.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "http/site_health.h"

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
  HealthLimits health;
};
// Takes new limits and starts the site's health afresh.
void setClientLimits(const ClientLimits& limits);
ClientLimits clientLimits();

// How the site's certificate is checked over https: against the
// authorities the system trusts (the default), against those of a PEM file
// instead, or not at all.
struct CertificateCheck {
  bool check = true;
  std::string authorityFile;  // empty for the system's
};
void setCertificateCheck(const CertificateCheck& certificates);
CertificateCheck certificateCheck();
// False where the platform's client cannot take an authority file (WinHTTP
// trusts the system's certificate store alone).
bool authorityFileSupported();

// Closes the connections, forgets the cookies, the site's health and the
// failures counted; the next request starts afresh.
void resetClient();

// How many cookies the client keeps for the site: bounded, whatever it sets.
long storedCookieCount();
// How many requests the client has sent in the run, tries and probes of the
// site alike (each redirect followed counts as well).
long requestsSent();

// Fetches url into *body, its content coding undone. True only when the
// whole body of an answer with a status below 400 arrived; after false
// *body holds nothing of use, and the page is counted among the failures.
// *sentAt, when given, is when the request that brought the body was sent.
// Once the site has been given up, false at once with no request.
bool fetchBody(const std::string& url, std::string* body,
               std::chrono::steady_clock::time_point* sentAt = nullptr);

// Counts among the failures a page that arrived but was of no use to the
// caller (cause says why, in plain words).
void countUnusablePage(const std::string& cause);

// The pages that failed so far in the run, each counted once by its cause
// in plain words ("502 Bad Gateway", "no answer in 30 s", "not asked: the
// site was down for 60 s"), in the order the causes first came; and whether
// the site ever answered at all.
struct FailedFetches {
  int count = 0;
  std::vector<std::pair<std::string, int>> byCause;
  bool anyAnswer = false;
  // A page failed for the site's certificate, or for a secure connection
  // that could not be made: what the certificate settings may mend.
  bool secureConnectionFailed = false;
};
FailedFetches failedFetches();

// How many requests may be in flight at once: 1 (each page fetched when it
// is asked for, the default) to kMaxConnections, and never more connections
// than that. With more than one, the pages named by expectRequests are fetched
// ahead; fetchBody keeps its promise. Once the site has answered 429 or 503,
// one request at a time. Joins the threads of an earlier setting first.
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
// Says which pages will be asked for right after url, a page said before and
// not yet asked for; false, with nothing said, when there is none such (one
// connection, or url not expected).
bool expectRequestsAfter(const std::string& url, const std::vector<std::string>& urls);
// A copy of the body of url when it has been fetched ahead and has arrived;
// false when it has not (yet). Never waits or asks, and the page is still to
// be asked for with fetchBody.
bool peekBody(const std::string& url, std::string* body);

}  // namespace qz
