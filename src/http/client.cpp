#include "http/client.h"

#include <ctime>

#include "http/url.h"

namespace qz {

namespace {

bool isRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

HttpClient::HttpClient(const TransferSettings& settings) : transport_(settings) {}

// One exchange, with the cookies of the jar sent and those the site sets
// kept; false in *isWebAddress, and nothing sent, for a URL the jar cannot
// place.
TryOutcome HttpClient::exchangeWithCookies(const std::string& url, std::string* body,
                                           AnswerHeaders* headers, bool* isWebAddress) {
  UrlParts parts;
  *isWebAddress = splitUrl(url, &parts);
  if (!*isWebAddress) {
    body->clear();
    return TryOutcome();
  }
  std::time_t now = std::time(nullptr);
  TryOutcome outcome = transport_.exchange(
      url, cookies_.headerFor(parts.host, parts.target, parts.secure, now), body, headers);
  for (const std::string& setCookie : headers->setCookies) {
    cookies_.take(parts.host, parts.target, setCookie, now);
  }
  return outcome;
}

TryOutcome HttpClient::get(const std::string& url, std::string* body, int mostExchanges) {
  std::string current = withUnsafeBytesEncoded(url);
  for (int exchanges = 1;; ++exchanges) {
    AnswerHeaders headers;
    bool isWebAddress = true;
    TryOutcome outcome = exchangeWithCookies(current, body, &headers, &isWebAddress);
    outcome.exchanges = exchanges;
    if (!isWebAddress || !isRedirect(outcome.status) || headers.location.empty()) {
      return outcome;
    }
    current = withUnsafeBytesEncoded(resolveLocation(current, headers.location));
    if (current.empty() || exchanges > kMaxRedirects || exchanges >= mostExchanges) {
      body->clear();
      TryOutcome loop;
      loop.status = outcome.status;
      loop.why = Why::kRedirect;
      loop.exchanges = exchanges;
      return loop;  // a redirect loop, or a way off the web
    }
  }
}

TryOutcome HttpClient::probeRoot(const std::string& url) {
  std::string body;
  AnswerHeaders headers;
  bool isWebAddress = true;
  return exchangeWithCookies(originOf(url) + "/", &body, &headers, &isWebAddress);
}

}  // namespace qz
