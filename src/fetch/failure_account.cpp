#include "fetch/failure_account.h"

namespace qz {

void FailureAccount::count(const std::string& cause, bool secure) {
  MutexLock lock(mutex_);
  secureFailed_ = secureFailed_ || secure;
  ++count_;
  for (auto& [known, count] : byCause_) {
    if (known == cause) {
      ++count;
      return;
    }
  }
  byCause_.push_back({cause, 1});
}

FailedFetches FailureAccount::read(bool anyAnswer) const {
  MutexLock lock(mutex_);
  return {count_, byCause_, anyAnswer, secureFailed_};
}

}  // namespace qz
