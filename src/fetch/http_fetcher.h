// The Fetcher of a real run: requests over HTTP (HttpClient), with the
// connections and cookies they keep, ridden through a busy or broken site
// under one model of its health (RetryPolicy), with the failures counted
// for the report, and fetched ahead on several connections (Prefetcher)
// when settings.transfer.connections is more than one.
//
// The driver makes one for the run and owns it; it owns everything it uses.
// Its own threads fetch ahead until it is destroyed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fetch/failure_account.h"
#include "fetch/fetcher.h"
#include "fetch/prefetcher.h"
#include "fetch/retry_policy.h"
#include "fetch/site_health.h"
#include "http/client.h"
#include "http/transport.h"

namespace qz {

struct FetcherSettings {
  TransferSettings transfer;  // connections from 1 to kMaxConnections
  HealthLimits health;
};

class HttpFetcher final : public Fetcher {
 public:
  // Throws std::system_error when its threads cannot be started.
  explicit HttpFetcher(const FetcherSettings& settings);
  // Waits for the fetches under way (one waiting out a site that is down
  // waits with it); pages said and not yet begun are not fetched.
  ~HttpFetcher() override;

  bool fetch(const std::string& url, Purpose purpose, std::string* body,
             TimePoint* sentAt) override;
  void countNotSaved(const std::string& cause) override;
  FailedFetches failures() const override;
  int connections() const override;
  void expect(const std::vector<std::string>& urls, bool soon) override;
  bool expectAfter(const std::string& url, const std::vector<std::string>& urls) override;
  bool peek(const std::string& url, std::string* body) override;

 private:
  // One page's request, retries and all, on whichever thread asks.
  Fetched fetchWithRetries(const std::string& url, Purpose purpose, std::string* body);

  const FetcherSettings settings_;
  HttpClient client_;
  RetryPolicy policy_;
  FailureAccount failures_;
  // Last, so that its threads end before what they use goes.
  std::unique_ptr<Prefetcher> prefetcher_;
};

}  // namespace qz
