// A mutex whose holders Clang can check (-Wthread-safety): members marked
// GUARDED_BY(mutex_) may only be touched with it held, and functions marked
// REQUIRES(mutex_) only called so. For other compilers the marks are empty
// and this is a plain std::mutex.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define QZ_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define QZ_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) QZ_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY QZ_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) QZ_THREAD_ANNOTATION(guarded_by(x))
#define REQUIRES(...) QZ_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) QZ_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) QZ_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) QZ_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace qz {

class CAPABILITY("mutex") Mutex {
 public:
  void lock() ACQUIRE() { mutex_.lock(); }
  void unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex for its scope; unlock() and lock() let it go and take it
// again in between, as a wait does.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
  ~MutexLock() RELEASE() {
    if (held_) {
      mutex_.unlock();
    }
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  void unlock() RELEASE() {
    held_ = false;
    mutex_.unlock();
  }
  void lock() ACQUIRE() {
    mutex_.lock();
    held_ = true;
  }

 private:
  Mutex& mutex_;
  bool held_ = true;
};

// A condition variable for a Mutex held by the caller. The waits let the
// mutex go while they sleep and hold it again when they return; a wait may
// end early, so callers look again at what they wait for.
class CondVar {
 public:
  void wait(Mutex& mutex) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait(lock);
    lock.release();
  }
  void waitUntil(Mutex& mutex, std::chrono::steady_clock::time_point until) REQUIRES(mutex) {
    std::unique_lock<std::mutex> lock(mutex.mutex_, std::adopt_lock);
    condition_.wait_until(lock, until);
    lock.release();
  }
  void notifyOne() { condition_.notify_one(); }
  void notifyAll() { condition_.notify_all(); }

 private:
  std::condition_variable condition_;
};

}  // namespace qz
