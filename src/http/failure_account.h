// The pages of a run that failed, each counted once by its cause in plain
// words, as the report on standard error tells them; and those words.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "http/http_client.h"
#include "http/mutex.h"
#include "http/retry_policy.h"

namespace qz {

// The cause of a fetch that failed, in plain words, by its last try and by
// what had become of the site: "502 Bad Gateway", "no answer in 30 s",
// "not asked: the site was down for 60 s". "Could not be reached" only for a
// site that never answered.
std::string failureCause(const std::string& url, const RequestResult& result, bool anyAnswer,
                         const ClientLimits& limits);

// The failures counted as the pages are handed over. Safe to share between
// threads.
class FailureAccount {
 public:
  // One page more, failed for cause; secure when the site's certificate or
  // the secure connection was what failed.
  void count(const std::string& cause, bool secure = false) EXCLUDES(mutex_);
  FailedFetches read(bool anyAnswer) const EXCLUDES(mutex_);
  void clear() EXCLUDES(mutex_);

 private:
  mutable Mutex mutex_;
  int count_ GUARDED_BY(mutex_) = 0;
  std::vector<std::pair<std::string, int>> byCause_ GUARDED_BY(mutex_);
  bool secureFailed_ GUARDED_BY(mutex_) = false;
};

}  // namespace qz
