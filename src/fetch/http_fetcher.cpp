#include "fetch/http_fetcher.h"

#include "fetch/failure_report.h"

namespace qz {

HttpFetcher::HttpFetcher(const FetcherSettings& settings)
    : settings_(settings), client_(settings.transfer), policy_(settings.health) {
  if (settings.transfer.connections > 1) {
    prefetcher_ = std::make_unique<Prefetcher>(
        settings.transfer.connections,
        [this](const std::string& url, Purpose purpose, std::string* body) {
          return fetchWithRetries(url, purpose, body);
        },
        [this] { return policy_.siteHasBeenBusy(); });
  }
}

HttpFetcher::~HttpFetcher() = default;

Fetched HttpFetcher::fetchWithRetries(const std::string& url, Purpose purpose, std::string* body) {
  RequestResult result = policy_.run(
      url, purpose == Purpose::kPage,
      [&](int mostExchanges) { return client_.get(url, body, mostExchanges); },
      [&] { return client_.probeRoot(url); });
  Fetched fetched;
  fetched.arrived = result.arrived;
  fetched.sentAt = result.sentAt;
  if (!result.arrived) {
    std::string().swap(*body);  // a failed fetch holds no body, however much of one came
    fetched.failure =
        failureCause(url, result, policy_.anyAnswer(), settings_.transfer, settings_.health);
    fetched.certificateRefused = certificateRefusal(result);
    fetched.handshakeFailed = result.last && result.last->why == Why::kHandshake;
  }
  return fetched;
}

bool HttpFetcher::fetch(const std::string& url, Purpose purpose, std::string* body,
                        TimePoint* sentAt) {
  Fetched fetched =
      prefetcher_ ? prefetcher_->take(url, purpose, body) : fetchWithRetries(url, purpose, body);
  if (!fetched.arrived) {
    failures_.count(fetched.failure, fetched.certificateRefused, fetched.handshakeFailed);
  } else if (sentAt != nullptr) {
    *sentAt = fetched.sentAt;
  }
  return fetched.arrived;
}

void HttpFetcher::countNotSaved(const std::string& cause) {
  failures_.count(cause);
}

FailedFetches HttpFetcher::failures() const {
  return failures_.read(policy_.anyAnswer());
}

int HttpFetcher::connections() const {
  return settings_.transfer.connections;
}

void HttpFetcher::expect(const std::vector<std::string>& urls, bool soon) {
  if (prefetcher_) {
    prefetcher_->expect(urls, soon);
  }
}

bool HttpFetcher::expectAfter(const std::string& url, const std::vector<std::string>& urls) {
  return prefetcher_ && prefetcher_->expectAfter(url, urls);
}

bool HttpFetcher::peek(const std::string& url, std::string* body) {
  return prefetcher_ && prefetcher_->peek(url, body);
}

}  // namespace qz
