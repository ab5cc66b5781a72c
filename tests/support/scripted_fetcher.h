// A Fetcher that answers from a script, for crawl rules tested in this
// process: each page (the target past kBaseUrl) answers the bodies set for
// it, in turn, the last one for every later ask; a page with no script is
// 404 Not Found. Nothing goes over the network. With more than one
// connection it keeps the pages the crawl says it will ask for, as the real
// one does, and tells which of them the crawl went past, and which pages it
// asked for without having said them.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fetch/failure_account.h"
#include "fetch/fetcher.h"

namespace qztest {

class ScriptedFetcher : public qz::Fetcher {
 public:
  static constexpr const char* kBaseUrl = "http://qz.test";

  void setConnections(int connections) { connections_ = connections; }
  // A site that keeps a session, opened by every visit to frontPage and lost
  // at every every-th other request (0: never): without one, a page whose
  // target holds "karakter=" comes back as the cannot-display page.
  // The first keptFor requests keep it whatever every says.
  void loseSessionEvery(int every, std::string frontPage, int keptFor = 0) {
    loseEvery_ = every;
    frontPage_ = std::move(frontPage);
    keptFor_ = keptFor;
  }
  // target answers body every time.
  void serve(const std::string& target, std::string body);
  // target answers these in turn, the last for every later ask; nothing for
  // an answer fails the fetch ("502 Bad Gateway").
  void serveInTurn(const std::string& target, std::vector<std::optional<std::string>> answers);
  // What a target with no script answers, instead of 404.
  void serveOthers(std::function<std::optional<std::string>(const std::string& target)> pages) {
    others_ = std::move(pages);
  }

  // The targets asked for, in order; how many times one was.
  const std::vector<std::string>& targets() const { return asked_; }
  int count(const std::string& target) const;
  // Pages said and gone past without being asked for; pages asked for,
  // with pages fetched ahead, that were never said (the front page and the
  // listing are never said).
  const std::vector<std::string>& passedOver() const { return passedOver_; }
  const std::vector<std::string>& unsaid() const { return unsaid_; }

  bool fetch(const std::string& url, qz::Purpose purpose, std::string* body,
             TimePoint* sentAt) override;
  void countNotSaved(const std::string& cause) override { failures_.count(cause); }
  qz::FailedFetches failures() const override { return failures_.read(true); }
  int connections() const override { return connections_; }
  void expect(const std::vector<std::string>& urls, bool soon) override;
  bool expectAfter(const std::string& url, const std::vector<std::string>& urls) override;
  bool peek(const std::string& url, std::string* body) override;

 private:
  std::string targetOf(const std::string& url) const;
  std::optional<std::string> answer(const std::string& target, bool take);

  int connections_ = 1;
  int loseEvery_ = 0;
  int keptFor_ = 0;
  std::string frontPage_;
  bool session_ = false;
  int sessionRequests_ = 0;
  std::function<std::optional<std::string>(const std::string&)> others_;
  std::map<std::string, std::vector<std::optional<std::string>>> script_;
  std::map<std::string, size_t> taken_;
  std::vector<std::string> asked_;
  std::vector<std::string> said_;  // in the order the crawl will ask for them
  std::vector<std::string> passedOver_;
  std::vector<std::string> unsaid_;
  qz::FailureAccount failures_;
};

}  // namespace qztest
