#include "http/prefetcher.h"

#include <algorithm>

namespace qz {

struct Prefetcher::Job {
  enum State { kWaiting, kRunning, kDone };
  std::string url;
  State state = kWaiting;
  bool dropped = false;  // no longer wanted: forgotten once done
  bool stale = false;    // under way when its answer stopped being good enough
  bool held = false;     // counted in bodiesAhead_
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
  // Only as many threads as there can be new work for: a wake-up that finds
  // nothing to do costs as much as a small page.
  for (size_t i = 0; i < std::min(jobs.size(), static_cast<size_t>(connections_)); ++i) {
    workToDo_.notify_one();
  }
}

// Under the lock: whether one more page may be fetched ahead. The pages
// held ahead are bounded in number and in bytes, counting one under way as
// large as the largest page seen, so that pages near the size cap cannot
// take a gigabyte on eight connections.
bool Prefetcher::roomAhead() const {
  if (bodiesAhead_ >= 2 * connections_) {
    return false;
  }
  size_t underWay = static_cast<size_t>(running_) * largestBody_;
  return bodiesAhead_ == 0 || bytesAhead_ + underWay + largestBody_ <= kMaxBytesAhead;
}

// Under the lock: what a free thread should fetch now, if anything. A page
// asked for comes first. A page is fetched ahead when it is among the next N
// not yet fetched that the crawl will ask for, and among the next 2N in all,
// and there is room for its body. Once the site is busy, one request at a
// time: the page asked for, or else the very next one.
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
  if (!roomAhead()) {
    return nullptr;
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

// Under the lock: a job's body is no longer held ahead.
void Prefetcher::release(Job& job) {
  if (job.held) {
    job.held = false;
    --bodiesAhead_;
    bytesAhead_ -= job.body.size();
  }
  std::string().swap(job.body);
}

// Under the lock: the end of a fetch.
void Prefetcher::finish(Job& job, bool arrived, std::string body) {
  --running_;
  largestBody_ = std::max(largestBody_, body.size());
  if (job.stale && !job.dropped) {
    job.stale = false;
    job.state = Job::kWaiting;  // to be fetched again
    --bodiesAhead_;
    job.held = false;
    return;
  }
  job.state = Job::kDone;
  job.arrived = arrived;
  if (arrived && !job.dropped) {
    job.body = std::move(body);
    bytesAhead_ += job.body.size();
  } else {
    --bodiesAhead_;
    job.held = false;
  }
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
    job->held = true;
    ++bodiesAhead_;
    ++running_;
    lock.unlock();
    std::string body;
    bool arrived = fetch_(job->url, &body);
    lock.lock();
    finish(*job, arrived, std::move(body));
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
      if ((*skipped)->state == Job::kDone) {
        release(**skipped);
      }
    }
    job = *found;
    expected_.erase(expected_.begin(), found + 1);
  } else {
    job = std::make_shared<Job>();
    job->url = url;
  }
  if (job->state == Job::kWaiting) {
    wanted_.push_back(job);
  }
  workToDo_.notify_one();
  jobDone_.wait(lock, [&] {
    if (job->state == Job::kWaiting &&
        std::find(wanted_.begin(), wanted_.end(), job) == wanted_.end()) {
      wanted_.push_back(job);  // sent back by refetchDone while asked for
      workToDo_.notify_one();
    }
    return job->state == Job::kDone;
  });
  bool arrived = job->arrived;
  if (job->held) {
    --bodiesAhead_;
    bytesAhead_ -= job->body.size();
    job->held = false;
  }
  *body = std::move(job->body);
  lock.unlock();
  workToDo_.notify_one();  // room ahead again
  return arrived;
}

void Prefetcher::refetchDone() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::shared_ptr<Job>& job : expected_) {
    if (job->state == Job::kDone) {
      release(*job);
      job->state = Job::kWaiting;
      job->arrived = false;
    } else if (job->state == Job::kRunning) {
      job->stale = true;
    }
  }
  workToDo_.notify_all();
}

}  // namespace qz
