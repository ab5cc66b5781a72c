#include "page/site_session.h"

#include <chrono>
#include <optional>

#include "http/http_client.h"
#include "page/fetch_page.h"
#include "page/site_urls.h"

namespace qz {

namespace {

constexpr std::chrono::seconds kRenewalInterval{60};

std::optional<std::chrono::steady_clock::time_point>& lastRenewal() {
  static std::optional<std::chrono::steady_clock::time_point> when;
  return when;
}

}  // namespace

void visitFrontPage(const RunState& state) {
  fetchPage(frontPageUrl(state.baseUrl), state.tempFileName);
}

bool renewSession(const RunState& state) {
  auto now = std::chrono::steady_clock::now();
  if (lastRenewal() && now - *lastRenewal() < kRenewalInterval) {
    return false;
  }
  lastRenewal() = now;
  // Pages fetched ahead before the new visit may be those of the lost
  // session; they are asked for again after it.
  refetchPagesAhead();
  visitFrontPage(state);
  return true;
}

}  // namespace qz
