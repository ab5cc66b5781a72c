#include "scripted_fetcher.h"

#include <algorithm>

#include "site_fixture.h"

namespace qztest {

void ScriptedFetcher::serve(const std::string& target, std::string body) {
  serveInTurn(target, {std::move(body)});
}

void ScriptedFetcher::serveInTurn(const std::string& target,
                                  std::vector<std::optional<std::string>> answers) {
  script_[target] = std::move(answers);
  taken_[target] = 0;
}

int ScriptedFetcher::count(const std::string& target) const {
  return static_cast<int>(std::count(asked_.begin(), asked_.end(), target));
}

std::string ScriptedFetcher::targetOf(const std::string& url) const {
  const std::string base = kBaseUrl;
  return url.rfind(base, 0) == 0 ? url.substr(base.size()) : url;
}

std::optional<std::string> ScriptedFetcher::answer(const std::string& target, bool take) {
  auto found = script_.find(target);
  if (found == script_.end() || found->second.empty()) {
    return others_ ? others_(target) : std::nullopt;
  }
  size_t& next = taken_[target];
  std::optional<std::string> body = found->second[std::min(next, found->second.size() - 1)];
  next += take ? 1 : 0;
  return body;
}

bool ScriptedFetcher::fetch(const std::string& url, qz::Purpose, std::string* body,
                            TimePoint* sentAt) {
  const std::string target = targetOf(url);
  asked_.push_back(target);
  auto said = std::find(said_.begin(), said_.end(), url);
  if (said != said_.end()) {
    passedOver_.insert(passedOver_.end(), said_.begin(), said);
    said_.erase(said_.begin(), said + 1);
  } else if (fetchesAhead() && target.find("karakter=") != std::string::npos) {
    unsaid_.push_back(target);
  }
  std::optional<std::string> answered = answer(target, true);
  if (!answered) {
    body->clear();
    failures_.count(script_.count(target) > 0 || others_ ? "502 Bad Gateway" : "404 Not Found");
    return false;
  }
  *body = *answered;
  if (loseEvery_ > 0) {
    if (target == frontPage_) {
      session_ = true;
    } else if (++sessionRequests_ > keptFor_ && sessionRequests_ % loseEvery_ == 0) {
      session_ = false;
    }
    if (!session_ && target.find("karakter=") != std::string::npos) {
      *body = "<P>" + kCannotDisplay + "</P>";
    }
  }
  if (sentAt != nullptr) {
    *sentAt = std::chrono::steady_clock::now();
  }
  return true;
}

void ScriptedFetcher::expect(const std::vector<std::string>& urls, bool soon) {
  if (fetchesAhead()) {
    said_.insert(soon ? said_.begin() : said_.end(), urls.begin(), urls.end());
  }
}

bool ScriptedFetcher::expectAfter(const std::string& url, const std::vector<std::string>& urls) {
  auto found = std::find(said_.begin(), said_.end(), url);
  if (!fetchesAhead() || found == said_.end()) {
    return false;
  }
  said_.insert(found + 1, urls.begin(), urls.end());
  return true;
}

// Every page said has arrived ahead: the crawl sees at once what it would
// see once the connections have caught up.
bool ScriptedFetcher::peek(const std::string& url, std::string* body) {
  if (std::find(said_.begin(), said_.end(), url) == said_.end()) {
    return false;
  }
  std::optional<std::string> answered = answer(targetOf(url), false);
  if (answered) {
    *body = *answered;
  }
  return answered.has_value();
}

}  // namespace qztest
