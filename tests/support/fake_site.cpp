#include "fake_site.h"

#include <httplib.h>

#include <algorithm>
#include <stdexcept>

namespace qztest {

Reply page(std::string body) {
  Reply reply;
  reply.body = std::move(body);
  return reply;
}

Reply status(int code, std::string body) {
  Reply reply;
  reply.status = code;
  reply.body = std::move(body);
  return reply;
}

FakeSite::FakeSite() {
  listen();
}

FakeSite::FakeSite(const CertificateFiles& tls) : tls_(tls) {
  listen();
}

void FakeSite::listen() {
  if (tls_) {
    server_ = std::make_unique<httplib::SSLServer>(tls_->certificate.c_str(), tls_->key.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  if (!server_->is_valid()) {
    throw std::runtime_error("fake site: cannot take the certificate");
  }
  server_->set_tcp_nodelay(true);  // a modelled network wants no Nagle stalls
  server_->set_keep_alive_max_count(1000000);
  server_->set_keep_alive_timeout(30);
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    handle(request, response);
  });
  if (port_ == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
  } else if (!server_->bind_to_port("127.0.0.1", port_)) {
    port_ = -1;
  }
  if (port_ <= 0) {
    throw std::runtime_error("fake site: cannot bind 127.0.0.1");
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // A stop() before the server runs would be lost, and the thread would
  // listen for ever.
  while (!server_->is_running()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void FakeSite::goDownFor(std::chrono::milliseconds down) {
  if (downThread_.joinable()) {
    downThread_.join();
  }
  // Connections already open stay with the old server, which closes each
  // at its next request, as a restarted server's would be; the port refuses
  // new ones at once, and is taken by a new server after down.
  server_->stop();
  retired_.push_back({std::move(server_), std::move(thread_)});
  downThread_ = std::thread([this, down] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, down, [this] { return stopping_; })) {
      lock.unlock();
      listen();
    }
  });
}

void FakeSite::setRateLimit(double perSecond, int burst) {
  std::lock_guard<std::mutex> lock(mutex_);
  ratePerSecond_ = perSecond;
  burst_ = burst;
  tokens_ = burst;
  tokensAt_ = std::chrono::steady_clock::now();
}

bool FakeSite::takeToken() {
  if (ratePerSecond_ <= 0) {
    return true;
  }
  auto now = std::chrono::steady_clock::now();
  tokens_ = std::min<double>(
      burst_, tokens_ + std::chrono::duration<double>(now - tokensAt_).count() * ratePerSecond_);
  tokensAt_ = now;
  if (tokens_ < 1) {
    return false;
  }
  tokens_ -= 1;
  return true;
}

void FakeSite::answerAllWith(int code) {
  std::lock_guard<std::mutex> lock(mutex_);
  allStatus_ = code;
}

void FakeSite::requireSession(const std::string& openingTarget,
                              std::vector<std::pair<std::string, Reply>> withoutSession) {
  std::lock_guard<std::mutex> lock(mutex_);
  openingTarget_ = openingTarget;
  withoutSession_ = std::move(withoutSession);
}

void FakeSite::forgetSessions() {
  std::lock_guard<std::mutex> lock(mutex_);
  sessions_.clear();
}

void FakeSite::forgetSessionsWhenAsked(const std::string& target) {
  std::lock_guard<std::mutex> lock(mutex_);
  forgetWhenAsked_.insert(target);
}

void FakeSite::forgetSessionsAfter(const std::string& target, int answers) {
  std::lock_guard<std::mutex> lock(mutex_);
  forgetAfter_ = target;
  forgetAfterAnswers_ = answers;
}

void FakeSite::forgetSessionsAtEveryRequest() {
  std::lock_guard<std::mutex> lock(mutex_);
  forgetAlways_ = true;
}

// Under the lock: the answer to a request, before the way it is sent.
Reply FakeSite::replyFor(const httplib::Request& request) {
  if (allStatus_ != 0) {
    return status(allStatus_, "down");
  }
  if (!takeToken()) {
    ++refused_;
    return status(503, "busy");
  }
  if (openingTarget_.empty()) {
    return nextReply(request.target);
  }
  if (request.target == openingTarget_) {
    Reply reply = nextReply(request.target);
    std::string id = std::to_string(++sessionsOpened_);
    id.insert(id.begin(), 's');
    sessions_.insert(id);
    reply.headers.push_back({"Set-Cookie", "SID=" + id + "; path=/"});
    return reply;
  }
  bool afterThat = !forgetAfter_.empty() && decided_[forgetAfter_] >= forgetAfterAnswers_;
  if (afterThat) {
    forgetAfter_.clear();
  }
  ++decided_[request.target];
  if (forgetAlways_ || afterThat || forgetWhenAsked_.erase(request.target) > 0) {
    sessions_.clear();
  }
  std::string cookies = request.get_header_value("Cookie");
  size_t at = cookies.find("SID=");
  std::string id =
      at == std::string::npos ? "" : cookies.substr(at + 4, cookies.find(';', at) - at - 4);
  if (sessions_.count(id) == 0) {
    for (const auto& [part, reply] : withoutSession_) {
      if (request.target.find(part) != std::string::npos) {
        return reply;
      }
    }
  }
  return nextReply(request.target);
}

FakeSite::~FakeSite() {
  stop();
}

void FakeSite::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    released_ = true;
  }
  changed_.notify_all();
  if (downThread_.joinable()) {
    downThread_.join();
  }
  if (server_ != nullptr) {
    server_->stop();
  }
  if (thread_.joinable()) {
    thread_.join();
  }
  for (auto& [server, thread] : retired_) {
    thread.join();
  }
  retired_.clear();
}

std::string FakeSite::baseUrl() const {
  return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_);
}

void FakeSite::serve(const std::string& target, Reply reply) {
  serveInTurn(target, {std::move(reply)});
}

void FakeSite::serveInTurn(const std::string& target, std::vector<Reply> replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  replies_[target] = std::move(replies);
  answered_[target] = 0;
}

void FakeSite::setLatency(int perRequestMs, int newConnectionMs) {
  std::lock_guard<std::mutex> lock(mutex_);
  perRequestMs_ = perRequestMs;
  newConnectionMs_ = newConnectionMs;
}

void FakeSite::serveOthers(std::function<std::optional<Reply>(const std::string&)> replies) {
  std::lock_guard<std::mutex> lock(mutex_);
  others_ = std::move(replies);
}

void FakeSite::hangFor(std::chrono::milliseconds hang) {
  std::lock_guard<std::mutex> lock(mutex_);
  hangUntil_ = std::chrono::steady_clock::now() + hang;
}

void FakeSite::release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  changed_.notify_all();
}

bool FakeSite::waitForRequest(const std::string& target, int wanted,
                              std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    int seen = 0;
    for (const LoggedRequest& r : log_) {
      seen += r.target == target ? 1 : 0;
    }
    return seen >= wanted;
  });
}

Reply FakeSite::nextReply(const std::string& target) {
  auto found = replies_.find(target);
  if (found == replies_.end() || found->second.empty()) {
    std::optional<Reply> other = others_ ? others_(target) : std::nullopt;
    return other ? *other : status(404, "not found");
  }
  size_t& index = answered_[target];
  const Reply& reply = found->second[std::min(index, found->second.size() - 1)];
  ++index;
  return reply;
}

void FakeSite::handle(const httplib::Request& request, httplib::Response& response) {
  size_t logIndex = 0;
  // Notes when the answer was made, whichever way it goes out.
  struct AnsweredMark {
    FakeSite* site;
    size_t* index;
    ~AnsweredMark() {
      std::lock_guard<std::mutex> lock(site->mutex_);
      site->log_[*index].answered = std::chrono::steady_clock::now();
    }
  } mark{this, &logIndex};
  Reply reply;
  int waitMs = 0;
  std::chrono::steady_clock::time_point hangUntil;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    LoggedRequest logged;
    logged.target = request.target;
    for (const auto& header : request.headers) {
      logged.headers.insert(header);
    }
    logged.connection = request.remote_port;
    logged.arrived = std::chrono::steady_clock::now();
    logged.answered = logged.arrived;
    logIndex = log_.size();
    log_.push_back(std::move(logged));
    waitMs = perRequestMs_;
    hangUntil = hangUntil_;
    if (connections_.insert(request.remote_port).second) {
      waitMs += newConnectionMs_;
    }
    reply = replyFor(request);
    bytesServed_ += reply.body.size();
  }
  changed_.notify_all();
  std::this_thread::sleep_until(hangUntil);
  waitMs += reply.delayMs;
  if (waitMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
  }
  if (reply.holdUntilReleased) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::seconds(20), [this] { return released_; })) {
      ++holdsTimedOut_;
    }
  }

  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) {
    response.set_header(name, value);
  }
  if (!reply.gzipBytes.empty()) {
    response.set_header("Content-Encoding", "gzip");
    response.set_content(reply.gzipBytes, "application/octet-stream");
    return;
  }
  if (reply.trickleMs > 0) {
    auto body = std::make_shared<std::string>(reply.body);
    int every = reply.trickleMs;
    response.set_content_provider(
        body->size(), "text/html",
        [this, body, every](size_t offset, size_t, httplib::DataSink& sink) {
          std::unique_lock<std::mutex> lock(mutex_);
          if (changed_.wait_for(lock, std::chrono::milliseconds(every),
                                [this] { return stopping_; })) {
            return false;
          }
          lock.unlock();
          return sink.write(body->data() + offset, 1);
        });
    return;
  }
  if (reply.dropMidBody || reply.stallMidBody) {
    auto body = std::make_shared<std::string>(reply.body);
    bool stall = reply.stallMidBody;
    response.set_content_provider(
        body->size(), "text/html",
        [this, body, stall](size_t offset, size_t, httplib::DataSink& sink) {
          if (offset == 0) {
            sink.write(body->data(), body->size() / 2);
            if (!stall) {
              return false;
            }
          }
          std::unique_lock<std::mutex> lock(mutex_);
          changed_.wait_for(lock, std::chrono::seconds(120), [this] { return stopping_; });
          return false;
        });
    return;
  }
  if (reply.gzip) {
    response.set_header("Content-Encoding", "gzip");
    // A type the server would not compress again on its own.
    response.set_content(gzipped(reply.body), "application/octet-stream");
    return;
  }
  // Sent through a provider of known length: the server library would
  // otherwise compress text bodies on its own whenever the client accepts it.
  if (reply.body.empty()) {
    response.set_content("", "text/html");  // a provider of length 0 would never end the answer
    return;
  }
  auto body = std::make_shared<std::string>(std::move(reply.body));
  response.set_content_provider(body->size(), "text/html",
                                [body](size_t offset, size_t length, httplib::DataSink& sink) {
                                  return sink.write(body->data() + offset, length);
                                });
}

std::vector<LoggedRequest> FakeSite::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}

std::vector<std::string> FakeSite::targets() const {
  std::vector<std::string> result;
  for (const LoggedRequest& r : requests()) {
    result.push_back(r.target);
  }
  return result;
}

int FakeSite::count(const std::string& target) const {
  int seen = 0;
  for (const LoggedRequest& r : requests()) {
    seen += r.target == target ? 1 : 0;
  }
  return seen;
}

size_t FakeSite::connectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_.size();
}

int FakeSite::holdsTimedOut() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return holdsTimedOut_;
}

int FakeSite::refusedCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

size_t FakeSite::bytesServed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytesServed_;
}

}  // namespace qztest
