#include "fetch/prefetcher.h"

#include <algorithm>

namespace qz {

Prefetcher::Prefetcher(int connections, Fetch fetch, std::function<bool()> busy,
                       size_t maxBytesAhead)
    : connections_(connections),
      maxBytesAhead_(maxBytesAhead),
      fetch_(std::move(fetch)),
      busy_(std::move(busy)) {
  try {
    for (int i = 0; i < connections_; ++i) {
      threads_.emplace_back([this] { work(); });
    }
  } catch (...) {
    stop();  // the threads already started, before the failure goes on
    throw;
  }
}

Prefetcher::~Prefetcher() {
  stop();
}

void Prefetcher::stop() {
  {
    MutexLock lock(mutex_);
    stopping_ = true;
  }
  workToDo_.notifyAll();
  for (std::thread& thread : threads_) {
    thread.join();
  }
  threads_.clear();
}

// The one place a job's state changes, and with it what is held ahead.
void Prefetcher::setState(Job& job, JobState next) {
  if (job.state == JobState::kUnderWay || job.state == JobState::kAbandoned) {
    --underWay_;
  }
  if (job.state == JobState::kArrived) {
    --arrived_;
    bytesHeld_ -= job.heldBytes;
  }
  job.state = next;
  if (next == JobState::kUnderWay || next == JobState::kAbandoned) {
    ++underWay_;
  }
  if (next == JobState::kArrived) {
    ++arrived_;
    job.heldBytes = job.body.size();
    bytesHeld_ += job.heldBytes;
  }
  if (next == JobState::kDone) {
    std::string().swap(job.body);
  }
}

// A job the crawl went past, or handed over: out of the window. One under
// way is left to finish, its body then thrown away.
void Prefetcher::drop(Job& job) {
  setState(job, job.state == JobState::kUnderWay ? JobState::kAbandoned : JobState::kDone);
}

void Prefetcher::expect(const std::vector<std::string>& urls, bool soon) {
  std::vector<JobPtr> jobs;
  for (const std::string& url : urls) {
    auto job = std::make_shared<Job>();
    job->url = url;
    jobs.push_back(std::move(job));
  }
  {
    MutexLock lock(mutex_);
    window_.insert(soon ? window_.begin() : window_.end(), jobs.begin(), jobs.end());
  }
  // Only as many threads as there can be new work for: a wake-up that finds
  // nothing to do costs as much as a small page.
  for (size_t i = 0; i < std::min(jobs.size(), static_cast<size_t>(connections_)); ++i) {
    workToDo_.notifyOne();
  }
}

bool Prefetcher::expectAfter(const std::string& url, const std::vector<std::string>& urls) {
  {
    MutexLock lock(mutex_);
    auto found = std::find_if(window_.begin(), window_.end(),
                              [&](const JobPtr& job) { return job->url == url; });
    if (found == window_.end()) {
      return false;
    }
    std::vector<JobPtr> jobs;
    for (const std::string& next : urls) {
      auto job = std::make_shared<Job>();
      job->url = next;
      jobs.push_back(std::move(job));
    }
    window_.insert(found + 1, jobs.begin(), jobs.end());
  }
  workToDo_.notifyAll();
  return true;
}

bool Prefetcher::peek(const std::string& url, std::string* body) {
  MutexLock lock(mutex_);
  for (const JobPtr& job : window_) {
    if (job->url == url) {
      if (job->state != JobState::kArrived) {
        return false;
      }
      *body = job->body;
      return true;
    }
  }
  return false;
}

// Whether one more page may be fetched ahead. The pages held ahead are
// bounded in number and in bytes, counting one under way as large as the
// largest page seen, so that pages near the size cap cannot take a gigabyte
// on eight connections.
bool Prefetcher::roomAhead() const {
  const int ahead = underWay_ + arrived_;
  if (ahead >= 2 * connections_) {
    return false;
  }
  size_t underWayBytes = static_cast<size_t>(underWay_) * largestBody_;
  return ahead == 0 || bytesHeld_ + underWayBytes + largestBody_ <= maxBytesAhead_;
}

// What a free thread should fetch now, if anything: the page the crawl
// waits for first; else a page among the next N not yet fetched that the
// crawl will ask for, and among the next 2N in all, when there is room for
// its body. Once the site is busy, one request at a time: the page asked
// for, or else the very next one.
Prefetcher::JobPtr Prefetcher::nextJob() const {
  const bool busy = busy_();
  if (busy && underWay_ > 0) {
    return nullptr;
  }
  if (!window_.empty() && window_.front()->state == JobState::kWanted) {
    return window_.front();
  }
  if (!roomAhead()) {
    return nullptr;
  }
  const size_t open = busy ? 1 : static_cast<size_t>(connections_);
  const size_t reach = busy ? 1 : 2 * open;
  size_t seen = 0;
  for (size_t i = 0; i < std::min(reach, window_.size()) && seen < open; ++i) {
    const JobPtr& job = window_[i];
    if (job->state == JobState::kArrived || job->state == JobState::kFailed) {
      continue;
    }
    ++seen;
    if (job->state == JobState::kExpected) {
      return job;
    }
  }
  return nullptr;
}

void Prefetcher::work() {
  MutexLock lock(mutex_);
  for (;;) {
    JobPtr job;
    while (!stopping_ && (job = nextJob()) == nullptr) {
      workToDo_.wait(mutex_);
    }
    if (stopping_) {
      return;
    }
    setState(*job, JobState::kUnderWay);
    lock.unlock();
    std::string body;
    Fetched result;
    std::exception_ptr error;
    try {
      result = fetch_(job->url, job->purpose, &body);
    } catch (...) {
      error = std::current_exception();  // for the crawl's thread to meet
    }
    lock.lock();
    job->error = error;
    largestBody_ = std::max(largestBody_, body.size());
    if (job->state == JobState::kAbandoned) {
      setState(*job, JobState::kDone);
    } else {
      job->body = std::move(body);
      job->result = std::move(result);
      setState(*job, job->result.arrived ? JobState::kArrived : JobState::kFailed);
    }
    // The crawl may be waiting for this one, and the window has moved on.
    jobDone_.notifyAll();
    workToDo_.notifyOne();
  }
}

Fetched Prefetcher::take(const std::string& url, Purpose purpose, std::string* body) {
  MutexLock lock(mutex_);
  auto found = std::find_if(window_.begin(), window_.end(),
                            [&](const JobPtr& job) { return job->url == url; });
  JobPtr job;
  if (found == window_.end()) {
    job = std::make_shared<Job>();
    job->url = url;
    job->purpose = purpose;
    window_.push_front(job);
  } else {
    for (auto skipped = window_.begin(); skipped != found; ++skipped) {
      drop(**skipped);
    }
    job = *found;
    window_.erase(window_.begin(), found);
  }
  if (job->state == JobState::kExpected) {
    setState(*job, JobState::kWanted);
  }
  workToDo_.notifyOne();
  while (job->state != JobState::kArrived && job->state != JobState::kFailed) {
    jobDone_.wait(mutex_);
  }
  *body = std::move(job->body);
  Fetched result = std::move(job->result);
  window_.pop_front();  // it was the first: what came before is gone
  setState(*job, JobState::kDone);
  lock.unlock();
  workToDo_.notifyOne();  // room ahead again
  if (job->error) {
    std::rethrow_exception(job->error);
  }
  return result;
}

}  // namespace qz
