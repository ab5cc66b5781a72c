#include "fetch/failure_account.h"

namespace qz {

void FailureAccount::count(const std::string& cause, Why certificateRefused, bool handshakeFailed) {
  MutexLock lock(mutex_);
  handshakeFailed_ = handshakeFailed_ || handshakeFailed;
  if (certificateRefused_ == Why::kNone) {
    certificateRefused_ = certificateRefused;
  }
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
  return {count_, byCause_, anyAnswer, certificateRefused_, handshakeFailed_};
}

}  // namespace qz
