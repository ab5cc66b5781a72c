#include "http/prefetcher.h"

#include <algorithm>

namespace qz {

struct Prefetcher::Job {
  enum State { kWaiting, kRunning, kDone };
  std::string url;
  State state = kWaiting;
  bool dropped = false;  // no longer wanted: forgotten once done
  bool arrived = false;
  std::string body;
};

Prefetcher::Prefetcher(int connections, std::function<bool(const std::string&, std::string*)> fetch,
                       std::function<bool()> busy)
    : connections_(connections), fetch_(std::move(fetch)), busy_(std::move(busy)) {
  for (int i = 0; i < connections_; ++i) {
    threads_.emplace_back([this] { work(); });
  }
}

Prefetcher::~Prefetcher() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  workToDo_.notify_all();
  for (std::thread& thread : threads_) {
    thread.join();
  }
}

void Prefetcher::expect(const std::vector<std::string>& urls, bool soon) {
  std::vector<std::shared_ptr<Job>> jobs;
  for (const std::string& url : urls) {
    auto job = std::make_shared<Job>();
    job->url = url;
    jobs.push_back(std::move(job));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    expected_.insert(soon ? expected_.begin() : expected_.end(), jobs.begin(), jobs.end());
  }
  workToDo_.notify_all();
}

// Under the lock: what a free thread should fetch now, if anything. A page
// asked for comes first. A page is fetched ahead when it is among the next N
// not yet fetched that the crawl will ask for, and among the next 2N in all,
// which bounds the pages that wait to be taken. Once the site is busy, one
// request at a time: the page asked for, or else the very next one.
std::shared_ptr<Prefetcher::Job> Prefetcher::nextJob() {
  const bool busy = busy_();
  if (busy && running_ > 0) {
    return nullptr;  // one request at a time, the one asked for included
  }
  if (!wanted_.empty()) {
    std::shared_ptr<Job> job = wanted_.front();
    wanted_.pop_front();
    return job;
  }
  size_t window = busy ? 1 : static_cast<size_t>(connections_);
  size_t reach = busy ? 1 : 2 * window;
  size_t open = 0;
  for (size_t i = 0; i < std::min(reach, expected_.size()) && open < window; ++i) {
    const std::shared_ptr<Job>& job = expected_[i];
    if (job->state == Job::kDone) {
      continue;
    }
    ++open;
    if (job->state == Job::kWaiting) {
      return job;
    }
  }
  return nullptr;
}

void Prefetcher::work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    std::shared_ptr<Job> job;
    workToDo_.wait(lock, [&] { return stopping_ || (job = nextJob()) != nullptr; });
    if (job == nullptr) {
      return;
    }
    job->state = Job::kRunning;
    ++running_;
    lock.unlock();
    std::string body;
    bool arrived = fetch_(job->url, &body);
    lock.lock();
    --running_;
    job->state = Job::kDone;
    job->arrived = arrived;
    job->body = std::move(body);
    if (job->dropped) {
      job->body.clear();
    }
    // The crawl may be waiting for this one, and the window has moved on.
    jobDone_.notify_all();
    workToDo_.notify_one();
  }
}

bool Prefetcher::take(const std::string& url, std::string* body) {
  std::unique_lock<std::mutex> lock(mutex_);
  auto found = std::find_if(expected_.begin(), expected_.end(),
                            [&](const std::shared_ptr<Job>& job) { return job->url == url; });
  std::shared_ptr<Job> job;
  if (found != expected_.end()) {
    // The crawl asks in the order it said, so what it skipped is not wanted.
    for (auto skipped = expected_.begin(); skipped != found; ++skipped) {
      (*skipped)->dropped = true;
      (*skipped)->body.clear();
    }
    job = *found;
    expected_.erase(expected_.begin(), found + 1);
    if (job->state == Job::kWaiting) {
      wanted_.push_front(job);
    }
  } else {
    job = std::make_shared<Job>();
    job->url = url;
    wanted_.push_back(job);
  }
  workToDo_.notify_all();
  jobDone_.wait(lock, [&] { return job->state == Job::kDone; });
  *body = std::move(job->body);
  return job->arrived;
}

}  // namespace qz
