// Fetching ahead on several connections, for a crawl that stays one plain
// sequence: the crawl says which pages it will ask for next, in order, and
// then asks for every page as before; the prefetcher has the next N of them
// not yet fetched fetched by N threads, and hands each over when it is asked
// for. At most N requests are under way at once, only pages among the next
// 2N are fetched ahead, the bodies held ahead (arrived or arriving) are at
// most 2N pages and about kMaxBytesAhead, and no page is fetched that the
// crawl would not have asked for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qz {

inline constexpr size_t kMaxBytesAhead = size_t{128} << 20;

class Prefetcher {
 public:
  // fetch makes one page's request, retries and all, and is called on the
  // prefetcher's threads; it leaves no body after a failure. busy tells when
  // the site has asked us to slow down: from then on, nothing is fetched
  // ahead while anything else is.
  Prefetcher(int connections, std::function<bool(const std::string&, std::string*)> fetch,
             std::function<bool()> busy);
  // The threads end with the prefetcher; a request under way is waited for.
  ~Prefetcher();
  Prefetcher(const Prefetcher&) = delete;
  Prefetcher& operator=(const Prefetcher&) = delete;

  // The pages the crawl will ask for next, in order, after those it has
  // already said. soon puts them before those instead.
  void expect(const std::vector<std::string>& urls, bool soon);
  // The page at url, fetched ahead or now: true with its body when it arrived.
  // Pages said before it that were not asked for are dropped.
  bool take(const std::string& url, std::string* body);
  // Pages fetched ahead, or under way, are fetched again before they are
  // handed over.
  void refetchDone();

 private:
  struct Job;
  void work();
  std::shared_ptr<Job> nextJob();
  bool roomAhead() const;
  void finish(Job& job, bool arrived, std::string body);
  void release(Job& job);

  const int connections_;
  std::function<bool(const std::string&, std::string*)> fetch_;
  std::function<bool()> busy_;
  std::mutex mutex_;
  std::condition_variable workToDo_;           // for the threads: a job may be ready
  std::condition_variable jobDone_;            // for the crawl: a job has ended
  std::deque<std::shared_ptr<Job>> expected_;  // in the order they will be asked for
  std::deque<std::shared_ptr<Job>> wanted_;    // asked for and not said before
  int running_ = 0;
  int bodiesAhead_ = 0;     // jobs under way, or arrived and not yet taken
  size_t bytesAhead_ = 0;   // the bodies of those that arrived
  size_t largestBody_ = 0;  // what a job under way may come to
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qz
