// The protocol of the run's requests, alike on every platform: one GET
// with its redirects followed and the site's cookies kept and sent back,
// over a Transport's kept-alive connections. It owns the transport and the
// cookie jar; both live as long as it does. Safe to share between threads:
// get() and probeRoot() may be called on several at once.
#pragma once

#include <string>

#include "http/cookie_jar.h"
#include "http/transport.h"
#include "http/try_outcome.h"

namespace qz {

class HttpClient {
 public:
  explicit HttpClient(const TransferSettings& settings);

  // One try of a request for url: the answer, after at most kMaxRedirects
  // redirects and mostExchanges requests in all, with the cookies of the jar
  // at every hop. A whole body of an answer below 400 goes into *body; after
  // any other outcome *body holds nothing of use. A URL that is not http or
  // https is never asked for. A redirect past either bound is a failure
  // (Why::kRedirect).
  TryOutcome get(const std::string& url, std::string* body, int mostExchanges = kMaxRedirects + 1);

  // One request for the root "/" of url's site, whose answer, whatever page
  // it is, shows that the server and what stands behind it work.
  TryOutcome probeRoot(const std::string& url);

  static constexpr int kMaxRedirects = 10;

 private:
  TryOutcome exchangeWithCookies(const std::string& url, std::string* body, AnswerHeaders* headers,
                                 bool* isWebAddress);

  Transport transport_;
  CookieJar cookies_;
};

}  // namespace qz
