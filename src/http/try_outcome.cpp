#include "http/try_outcome.h"

#include <utility>

namespace qz {

std::string statusText(long status) {
  static constexpr std::pair<long, const char*> kPhrases[] = {
      {400, "Bad Request"},       {401, "Unauthorized"},          {403, "Forbidden"},
      {404, "Not Found"},         {408, "Request Timeout"},       {410, "Gone"},
      {429, "Too Many Requests"}, {500, "Internal Server Error"}, {501, "Not Implemented"},
      {502, "Bad Gateway"},       {503, "Service Unavailable"},   {504, "Gateway Timeout"},
  };
  for (const auto& [code, phrase] : kPhrases) {
    if (code == status) {
      return std::to_string(status) + " " + phrase;
    }
  }
  return "status " + std::to_string(status);
}

bool isTransientStatus(long status) {
  return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
         status == 504;
}

bool isBusyStatus(long status) {
  return status == 429 || status == 503;
}

bool answered(const TryOutcome& outcome) {
  return outcome.status > 0 || outcome.kind == TryOutcome::kArrived;
}

bool isCertificateRefusal(std::string_view why) {
  return why == kWhyCertificateUntrusted || why == kWhyCertificateSelfSigned ||
         why == kWhyCertificateExpired || why == kWhyCertificateName ||
         why == kWhyCertificateRevoked || why == kWhyAuthorityFile;
}

Fault faultOf(const TryOutcome& outcome) {
  if (outcome.kind == TryOutcome::kArrived) {
    return Fault::kNone;
  }
  if (isCertificateRefusal(outcome.why)) {
    return Fault::kCertificate;
  }
  if (outcome.kind == TryOutcome::kFailed) {
    return Fault::kPage;
  }
  if (outcome.why == kWhyRefused || outcome.why == kWhyNoConnection) {
    return Fault::kNoConnection;
  }
  if (!outcome.why.empty() || outcome.status == 0) {
    return Fault::kNoAnswer;  // cut off or timed out, whatever status had come
  }
  return isBusyStatus(outcome.status) ? Fault::kBusy : Fault::kServer;
}

}  // namespace qz
