// The pages of a run that failed, each counted once by its cause in plain
// words, as the report on standard error tells them. Safe to share between
// threads.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/mutex.h"
#include "fetch/fetcher.h"

namespace qz {

class FailureAccount {
 public:
  // One page more, failed for cause; certificateRefused says why the site's
  // certificate was refused, if that was what failed, and handshakeFailed
  // whether a TLS handshake was.
  void count(const std::string& cause, Why certificateRefused = Why::kNone,
             bool handshakeFailed = false) EXCLUDES(mutex_);
  FailedFetches read(bool anyAnswer) const EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  int count_ GUARDED_BY(mutex_) = 0;
  std::vector<std::pair<std::string, int>> byCause_ GUARDED_BY(mutex_);
  Why certificateRefused_ GUARDED_BY(mutex_) = Why::kNone;
  bool handshakeFailed_ GUARDED_BY(mutex_) = false;
};

}  // namespace qz
