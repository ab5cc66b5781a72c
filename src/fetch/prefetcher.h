// Fetching ahead on several connections, for a crawl that stays one plain
// sequence: the crawl says which pages it will ask for next, in order, and
// then asks for every page as before; the prefetcher has the next N of them
// fetched by N threads of its own, and hands each over when it is asked for.
// At most N requests are under way at once, only pages among the next 2N
// are fetched ahead, the bodies held ahead (arrived or arriving) are at most
// 2N pages and about kMaxBytesAhead, and no page is fetched that the crawl
// would not have asked for.
//
// Threads: expect() and take() are the crawl's, called from one thread;
// the fetch function runs on the prefetcher's own threads, several at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/mutex.h"
#include "fetch/fetcher.h"

namespace qz {

inline constexpr size_t kMaxBytesAhead = size_t{128} << 20;

class Prefetcher {
 public:
  using Fetch = std::function<Fetched(const std::string& url, Purpose purpose, std::string* body)>;

  // fetch makes one page's request, retries and all, leaving no body after a
  // failure. busy tells when the site has asked us to slow down: from then
  // on, nothing is fetched ahead while anything else is under way. Throws
  // std::system_error when its threads cannot be started.
  Prefetcher(int connections, Fetch fetch, std::function<bool()> busy,
             size_t maxBytesAhead = kMaxBytesAhead);
  // Waits for the fetches under way (a request waiting out a site that is
  // down waits with it); pages said and not yet begun are not fetched.
  ~Prefetcher();
  Prefetcher(const Prefetcher&) = delete;
  Prefetcher& operator=(const Prefetcher&) = delete;

  // The pages the crawl will ask for next, in order, after those it has
  // already said; soon puts them before those instead. A URL said twice is
  // fetched twice.
  void expect(const std::vector<std::string>& urls, bool soon) EXCLUDES(mutex_);
  // The pages the crawl will ask for right after url, which it has said and
  // not yet asked for. False, with nothing said, when url is not among those.
  bool expectAfter(const std::string& url, const std::vector<std::string>& urls) EXCLUDES(mutex_);
  // A copy of the body of url when it was fetched ahead, has arrived and is
  // not yet taken; false otherwise. Never waits, and changes nothing.
  bool peek(const std::string& url, std::string* body) EXCLUDES(mutex_);
  // The page at url, fetched ahead or now; blocks until it has come or
  // failed. The pages said before it are dropped: the crawl asks in the
  // order it said, so what it went past is not wanted. An exception the
  // fetch threw on a thread of the prefetcher's is thrown here.
  // A page fetched ahead is always for kPage; one not said is fetched for
  // purpose.
  Fetched take(const std::string& url, Purpose purpose, std::string* body) EXCLUDES(mutex_);

 private:
  enum class JobState {
    kExpected,   // said, not begun
    kWanted,     // asked for by the crawl, not begun: first in line
    kUnderWay,   // being fetched
    kAbandoned,  // being fetched, but the crawl went past it
    kArrived,    // fetched, its body held for the crawl
    kFailed,     // fetch failed; its result waits for the crawl
    kDone,       // handed over or dropped: out of the window
  };
  struct Job {
    std::string url;
    Purpose purpose = Purpose::kPage;
    JobState state = JobState::kExpected;
    std::string body;
    size_t heldBytes = 0;  // of body, while it counts as held ahead
    Fetched result;
    std::exception_ptr error;  // what the fetch threw, thrown again by take()
  };
  using JobPtr = std::shared_ptr<Job>;

  void stop() EXCLUDES(mutex_);
  void work() EXCLUDES(mutex_);
  JobPtr nextJob() const REQUIRES(mutex_);
  bool roomAhead() const REQUIRES(mutex_);
  void setState(Job& job, JobState next) REQUIRES(mutex_);
  void drop(Job& job) REQUIRES(mutex_);

  const int connections_;
  const size_t maxBytesAhead_;
  const Fetch fetch_;
  const std::function<bool()> busy_;
  mutable Mutex mutex_;
  CondVar workToDo_;  // for the threads: a job may be ready
  CondVar jobDone_;   // for the crawl: a job has ended
  // The pages in the order the crawl will ask for them; none is kDone.
  std::deque<JobPtr> window_ GUARDED_BY(mutex_);
  int underWay_ GUARDED_BY(mutex_) = 0;        // under way or abandoned
  int arrived_ GUARDED_BY(mutex_) = 0;         // arrived and not yet taken
  size_t bytesHeld_ GUARDED_BY(mutex_) = 0;    // their bodies
  size_t largestBody_ GUARDED_BY(mutex_) = 0;  // what a job under way may come to
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::vector<std::thread> threads_;
};

}  // namespace qz
