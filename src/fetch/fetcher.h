// The one way the crawl reaches the site: a Fetcher. The driver makes one for
// the run (HttpFetcher, http_fetcher.h) and hands it down; tests hand down
// one of their own. It knows nothing of the pages it fetches.
//
// Threads: every call is the crawl's, from one thread. A Fetcher may fetch
// on threads of its own behind these calls.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "http/try_outcome.h"

namespace qz {

// The most requests a run may have under way at once.
inline constexpr int kMaxConnections = 8;

// What a request is for: a page that is read, or a visit made for what it
// does besides (the session a front page opens), to which the bound on the
// asks of one page does not apply.
enum class Purpose { kPage, kVisit };

// What one fetch brought besides its body.
struct Fetched {
  bool arrived = false;
  std::chrono::steady_clock::time_point sentAt{};  // when the try that arrived was sent
  std::string failure;                             // why it did not arrive, in plain words
  Why certificateRefused = Why::kNone;             // why the site's certificate was, if it was
  bool handshakeFailed = false;                    // it ended in a failed TLS handshake
};

// The pages that failed so far in the run, each counted once by its cause
// in plain words ("502 Bad Gateway", "no answer in 30 s", "not asked: the
// site was down for 60 s"), in the order the causes first came; and whether
// the site ever answered at all.
struct FailedFetches {
  int count = 0;
  std::vector<std::pair<std::string, int>> byCause;
  bool anyAnswer = false;
  // Why the site's certificate was refused, when a page failed for it: what
  // the certificate settings may mend. Why::kNone when none was.
  Why certificateRefused = Why::kNone;
  // A page ended in a failed TLS handshake: the site answered, but no
  // secure connection could be made with it.
  bool handshakeFailed = false;
};

class Fetcher {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Fetcher() = default;

  // Fetches url into *body, its content coding undone. True only when the
  // whole body of an answer with a status below 400 arrived; after false
  // *body holds nothing of use, and the page is counted among the failures.
  // *sentAt, when not nullptr, is when the request that brought the body
  // was sent. Throws only what running out of memory throws.
  virtual bool fetch(const std::string& url, Purpose purpose, std::string* body,
                     TimePoint* sentAt) = 0;

  // Counts among the failures a page that arrived but was of no use to the
  // crawl (cause says why, in plain words).
  virtual void countNotSaved(const std::string& cause) = 0;
  virtual FailedFetches failures() const = 0;

  // How many requests may be under way at once. With more than one, the
  // pages said by expect() are fetched ahead, and telling them is worth the
  // work of finding them.
  virtual int connections() const = 0;
  bool fetchesAhead() const { return connections() > 1; }

  // Says which pages will be asked for next, in the order they will be; soon
  // puts them before those said earlier. Every one of them is then asked for
  // with fetch(), in that order, unless the run ends first. Changes nothing
  // with one connection.
  virtual void expect(const std::vector<std::string>& urls, bool soon) = 0;
  // Says which pages will be asked for right after url, a page said before
  // and not yet asked for; false, with nothing said, when there is none such
  // (one connection, or url not expected).
  virtual bool expectAfter(const std::string& url, const std::vector<std::string>& urls) = 0;
  // A copy of the body of url when it has been fetched ahead and has
  // arrived; false when it has not (yet). Never waits or asks, and the page
  // is still to be asked for with fetch().
  virtual bool peek(const std::string& url, std::string* body) = 0;
};

}  // namespace qz
