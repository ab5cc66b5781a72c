// The prefetcher on its own, with a fetch the test holds and lets go page by
// page: what it fetches ahead and when, what it hands over, and how it ends.
#include "fetch/prefetcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace qz {
namespace {

using std::chrono::milliseconds;

// A fetch that waits, for each page, until the test lets it go; its body is
// the URL, or bodySize bytes when set. Pages named in failing fail, and
// "/throws" throws.
class HeldFetch {
 public:
  Fetched operator()(const std::string& url, std::string* body) {
    std::unique_lock<std::mutex> lock(mutex_);
    started_.push_back(url);
    maxUnderWay_ = std::max(maxUnderWay_, ++underWay_);
    changed_.notify_all();
    changed_.wait(lock, [&] { return all_ || released_.count(url) > 0; });
    --underWay_;
    if (url == "/throws") {
      throw std::runtime_error("thrown");
    }
    if (failing.count(url) > 0) {
      return {false, {}, "refused: " + url};
    }
    body->assign(bodySize > 0 ? std::string(bodySize, 'x') : url);
    return {true, std::chrono::steady_clock::now(), {}};
  }
  void release(const std::string& url) {
    std::lock_guard<std::mutex> lock(mutex_);
    released_.insert(url);
    changed_.notify_all();
  }
  void releaseAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    all_ = true;
    changed_.notify_all();
  }
  // Waits until count fetches have begun; the URLs begun so far.
  std::vector<std::string> started(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return started_.size() >= count; });
    return started_;
  }
  std::vector<std::string> startedNow() {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_;
  }
  int maxUnderWay() {
    std::lock_guard<std::mutex> lock(mutex_);
    return maxUnderWay_;
  }

  std::set<std::string> failing;
  size_t bodySize = 0;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> started_;
  std::set<std::string> released_;
  bool all_ = false;
  int underWay_ = 0;
  int maxUnderWay_ = 0;
};

// The threads of a prefetcher begin their fetches in no set order.
std::vector<std::string> sorted(std::vector<std::string> urls) {
  std::sort(urls.begin(), urls.end());
  return urls;
}

std::vector<std::string> pages(int count) {
  std::vector<std::string> urls;
  for (int i = 0; i < count; ++i) {
    urls.push_back("/p" + std::to_string(i));
  }
  return urls;
}

class PrefetcherTest : public ::testing::Test {
 protected:
  std::unique_ptr<Prefetcher> make(int connections, size_t maxBytes = kMaxBytesAhead) {
    return std::make_unique<Prefetcher>(
        connections,
        [this](const std::string& url, Purpose, std::string* body) { return fetch(url, body); },
        [this] { return busy.load(); }, maxBytes);
  }
  // A moment for the threads to do what they would, when the test looks
  // for something not to happen.
  static void settle() { std::this_thread::sleep_for(milliseconds(50)); }

  HeldFetch fetch;
  std::atomic<bool> busy{false};
};

TEST_F(PrefetcherTest, FetchesTheNextNOfTheNextTwoNAndHandsThemOverInOrder) {
  auto prefetcher = make(2);
  prefetcher->expect(pages(10), false);
  EXPECT_EQ(sorted(fetch.started(2)), (std::vector<std::string>{"/p0", "/p1"}));
  // The second arrives first; the first keeps the window from moving on.
  fetch.release("/p1");
  EXPECT_EQ(fetch.started(3).size(), 3u);
  fetch.release("/p2");
  fetch.release("/p3");
  settle();
  EXPECT_EQ(sorted(fetch.startedNow()), (std::vector<std::string>{"/p0", "/p1", "/p2", "/p3"}))
      << "nothing past the next 2N while the first is under way";
  fetch.releaseAll();
  std::string body;
  for (const std::string& url : pages(10)) {
    Fetched page = prefetcher->take(url, Purpose::kPage, &body);
    EXPECT_TRUE(page.arrived) << url;
    EXPECT_EQ(body, url);
  }
  EXPECT_EQ(fetch.maxUnderWay(), 2);
  EXPECT_EQ(fetch.startedNow().size(), 10u) << "each page once";
}

TEST_F(PrefetcherTest, AFailureIsHandedOverWithItsCause) {
  fetch.failing = {"/p1"};
  fetch.releaseAll();
  auto prefetcher = make(3);
  prefetcher->expect(pages(3), false);
  std::string body = "left over";
  EXPECT_TRUE(prefetcher->take("/p0", Purpose::kPage, &body).arrived);
  Fetched failed = prefetcher->take("/p1", Purpose::kPage, &body);
  EXPECT_FALSE(failed.arrived);
  EXPECT_EQ(failed.failure, "refused: /p1");
  EXPECT_EQ(body, "");
  EXPECT_TRUE(prefetcher->take("/p2", Purpose::kPage, &body).arrived);
}

TEST_F(PrefetcherTest, PagesGonePastAreDroppedAndAPageAskedAgainIsFetchedAgain) {
  auto prefetcher = make(1);
  prefetcher->expect(pages(4), false);
  fetch.started(1);  // the first under way, and held
  std::string body;
  bool arrived = false;
  std::thread crawl([&] { arrived = prefetcher->take("/p3", Purpose::kPage, &body).arrived; });
  // Once the crawl has asked for the fourth, those before it are gone.
  while (prefetcher->expectAfter("/p2", {})) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  fetch.releaseAll();
  crawl.join();
  EXPECT_TRUE(arrived);
  EXPECT_EQ(fetch.startedNow(), (std::vector<std::string>{"/p0", "/p3"}));
  // Asked for again, as after a renewal of the session: a request of its own.
  EXPECT_TRUE(prefetcher->take("/p3", Purpose::kPage, &body).arrived);
  EXPECT_EQ(fetch.startedNow(), (std::vector<std::string>{"/p0", "/p3", "/p3"}));
}

TEST_F(PrefetcherTest, SoonPagesGoBeforeThoseSaidEarlier) {
  fetch.releaseAll();
  auto prefetcher = make(1);
  prefetcher->expect({"/later"}, false);
  prefetcher->expect({"/now"}, true);
  std::string body;
  EXPECT_TRUE(prefetcher->take("/now", Purpose::kPage, &body).arrived);
  EXPECT_TRUE(prefetcher->take("/later", Purpose::kPage, &body).arrived);
  EXPECT_EQ(fetch.startedNow().size(), 2u);
}

TEST_F(PrefetcherTest, TheBytesHeldAheadAreBounded) {
  fetch.bodySize = 1000;
  fetch.releaseAll();
  auto prefetcher = make(4, 2500);
  prefetcher->expect(pages(8), false);
  settle();
  // Once a page of 1000 bytes is seen, no more than two more fit in 2500.
  EXPECT_LE(fetch.startedNow().size(), 4u);
  std::string body;
  for (const std::string& url : pages(8)) {
    EXPECT_TRUE(prefetcher->take(url, Purpose::kPage, &body).arrived) << url;
    EXPECT_EQ(body.size(), 1000u);
  }
}

TEST_F(PrefetcherTest, ABusySiteGetsOneRequestAtATime) {
  busy = true;
  fetch.releaseAll();
  auto prefetcher = make(4);
  prefetcher->expect(pages(12), false);
  std::string body;
  for (const std::string& url : pages(12)) {
    EXPECT_TRUE(prefetcher->take(url, Purpose::kPage, &body).arrived);
  }
  EXPECT_EQ(fetch.maxUnderWay(), 1);
}

TEST_F(PrefetcherTest, WhatAFetchThrowsIsThrownWhereThePageIsTaken) {
  fetch.releaseAll();
  auto prefetcher = make(2);
  prefetcher->expect({"/p0", "/throws", "/p1"}, false);
  std::string body;
  EXPECT_TRUE(prefetcher->take("/p0", Purpose::kPage, &body).arrived);
  EXPECT_THROW(prefetcher->take("/throws", Purpose::kPage, &body), std::runtime_error);
  EXPECT_TRUE(prefetcher->take("/p1", Purpose::kPage, &body).arrived);
}

TEST_F(PrefetcherTest, EndingWaitsForTheFetchesUnderWayAndBeginsNoOther) {
  auto prefetcher = make(2);
  prefetcher->expect(pages(6), false);
  fetch.started(2);
  std::thread letGo([&] {
    std::this_thread::sleep_for(milliseconds(100));
    fetch.releaseAll();
  });
  auto start = std::chrono::steady_clock::now();
  prefetcher.reset();
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(80));
  letGo.join();
  EXPECT_EQ(fetch.startedNow().size(), 2u);
}

}  // namespace
}  // namespace qz
