// A fake game site: a real HTTP server on 127.0.0.1 (an ephemeral port), over
// TLS if asked, that answers canned replies by exact request target and logs
// every request.
// Unknown targets get 404. Safe to configure while requests are served.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gzip.h"
#include "test_certificates.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace qztest {

struct Reply {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // Set-Cookie, Location, ...
  int delayMs = 0;                                           // wait before answering
  bool gzip = false;                                         // send the body gzip-encoded
  bool dropMidBody = false;        // announce the whole length, send half, close
  bool stallMidBody = false;       // send half, then nothing more until the site stops
  bool holdUntilReleased = false;  // wait for release() (20 s at most) before answering
  int trickleMs = 0;               // send one byte every trickleMs
  // Sent as it stands with "Content-Encoding: gzip" (a cut or a bomb), in
  // place of body.
  std::string gzipBytes;
};

Reply page(std::string body);
Reply status(int code, std::string body = "error");

struct LoggedRequest {
  std::string target;
  std::multimap<std::string, std::string> headers;
  int connection = 0;                              // the client's port: one per TCP connection
  std::chrono::steady_clock::time_point arrived;   // when the request came
  std::chrono::steady_clock::time_point answered;  // when its answer was made
};

class FakeSite {
 public:
  FakeSite();
  // Over TLS, with that certificate: its addresses begin "https://".
  explicit FakeSite(const CertificateFiles& tls);
  ~FakeSite();
  FakeSite(const FakeSite&) = delete;
  FakeSite& operator=(const FakeSite&) = delete;

  std::string baseUrl() const;
  int port() const { return port_; }

  void serve(const std::string& target, Reply reply);
  // Successive answers for one target; the last one repeats.
  void serveInTurn(const std::string& target, std::vector<Reply> replies);
  // What a target served by neither call answers, instead of 404.
  void serveOthers(std::function<std::optional<Reply>(const std::string& target)> replies);
  // A modelled network: every request waits perRequestMs, and the first on
  // a new connection waits newConnectionMs more.
  void setLatency(int perRequestMs, int newConnectionMs);
  // Lets held replies go.
  void release();
  // A token bucket: past burst requests, no more than perSecond a second get
  // through; the others are answered 503 with no Retry-After. 0 turns it off.
  void setRateLimit(double perSecond, int burst);
  // From now on every request is answered with this status, or as before
  // for 0: a site whose back end has stopped (502) or that refuses all (429).
  void answerAllWith(int status);
  // Hangs: every request that arrives within the next `hang` is answered
  // when it is over, as by a server that accepts and says nothing.
  void hangFor(std::chrono::milliseconds hang);
  // Sessions as a PHP site keeps them: each request for openingTarget opens
  // a new one, named by a "SID" cookie. A request without a live session
  // gets the reply of the first pair whose text its target holds, if any.
  void requireSession(const std::string& openingTarget,
                      std::vector<std::pair<std::string, Reply>> withoutSession);
  // Every session ends, as when the site's session store is wiped.
  void forgetSessions();
  // From now on, every session ends before each request is answered: only
  // the opening request's answer is served as with a session.
  void forgetSessionsAtEveryRequest();
  // Every session ends when target is next asked for, before that request
  // is answered.
  void forgetSessionsWhenAsked(const std::string& target);
  // Every session ends at the first request that comes once target has been
  // answered that many times in all.
  void forgetSessionsAfter(const std::string& target, int answers);
  // Closes the port, so connections are refused, and opens it again after
  // down (unless the site stops first); returns at once.
  void goDownFor(std::chrono::milliseconds down);
  // Waits until target was asked for at least count times; false on timeout.
  bool waitForRequest(const std::string& target, int count = 1,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
  void stop();

  std::vector<LoggedRequest> requests() const;
  std::vector<std::string> targets() const;
  int count(const std::string& target) const;
  size_t connectionCount() const;
  size_t bytesServed() const;
  // Requests the token bucket answered 503.
  int refusedCount() const;
  // Held replies that went out because nobody released them in time.
  int holdsTimedOut() const;

 private:
  void handle(const httplib::Request& request, httplib::Response& response);
  void listen();
  bool takeToken();
  Reply nextReply(const std::string& target);
  Reply replyFor(const httplib::Request& request);

  std::optional<CertificateFiles> tls_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  // Servers stopped by goDownFor, still finishing with their connections.
  std::vector<std::pair<std::unique_ptr<httplib::Server>, std::thread>> retired_;
  std::thread downThread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, std::vector<Reply>> replies_;
  std::map<std::string, size_t> answered_;
  std::vector<LoggedRequest> log_;
  std::set<int> connections_;
  size_t bytesServed_ = 0;
  int perRequestMs_ = 0;
  int newConnectionMs_ = 0;
  bool released_ = false;
  int holdsTimedOut_ = 0;
  bool stopping_ = false;
  double ratePerSecond_ = 0;
  double tokens_ = 0;
  int burst_ = 0;
  std::chrono::steady_clock::time_point tokensAt_;
  int refused_ = 0;
  int allStatus_ = 0;
  std::function<std::optional<Reply>(const std::string&)> others_;
  std::chrono::steady_clock::time_point hangUntil_{};
  std::string openingTarget_;
  std::vector<std::pair<std::string, Reply>> withoutSession_;
  std::set<std::string> sessions_;
  bool forgetAlways_ = false;
  std::set<std::string> forgetWhenAsked_;
  std::string forgetAfter_;  // and how many answers of it first
  int forgetAfterAnswers_ = 0;
  std::map<std::string, int> decided_;  // replies made, by target
  int sessionsOpened_ = 0;
};

}  // namespace qztest
