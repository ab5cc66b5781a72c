#include "nginx_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <stdexcept>
#include <thread>

namespace qztest {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

// A loopback port nothing listens on now.
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("nginx: no free port");
  }
  ::close(fd);
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

bool NginxProxy::available() {
  return ::access(kNginx, X_OK) == 0;
}

NginxProxy::NginxProxy(const std::string& upstream, const CertificateFiles& tls)
    : httpsPort_(freePort()), httpPort_(freePort()) {
  const std::string prefix = folder_.path();
  const std::string https = std::to_string(httpsPort_), http = std::to_string(httpPort_);
  // As root, its workers are root too, to reach the test's own folder.
  writeFile(folder_ / "nginx.conf",
            std::string(::geteuid() == 0 ? "user root;\n" : "") +
                "worker_processes 1;\n"
                "error_log " +
                prefix +
                "/error.log;\n"
                "pid " +
                prefix +
                "/nginx.pid;\n"
                "events { worker_connections 256; }\n"
                "http {\n"
                "  log_format qz '$server_port $server_protocol $connection $status "
                "\"$request_uri\" \"$http_cookie\"';\n"
                "  access_log " +
                prefix +
                "/access.log qz;\n"
                "  client_body_temp_path " +
                prefix +
                "/body;\n"
                "  proxy_temp_path " +
                prefix +
                "/proxy;\n"
                "  fastcgi_temp_path " +
                prefix +
                "/fastcgi;\n"
                "  uwsgi_temp_path " +
                prefix +
                "/uwsgi;\n"
                "  scgi_temp_path " +
                prefix +
                "/scgi;\n"
                "  server {\n"
                "    listen 127.0.0.1:" +
                https +
                " ssl http2;\n"
                "    server_name localhost;\n"
                "    ssl_certificate " +
                tls.certificate +
                ";\n"
                "    ssl_certificate_key " +
                tls.key +
                ";\n"
                "    location / {\n"
                "      proxy_pass " +
                upstream +
                ";\n"
                "      proxy_http_version 1.1;\n"
                "      proxy_set_header Connection \"\";\n"
                "    }\n"
                "  }\n"
                "  server {\n"
                "    listen 127.0.0.1:" +
                http +
                ";\n"
                "    location / { return 301 https://localhost:" +
                https +
                "$request_uri; }\n"
                "  }\n"
                "}\n");
  pid_ = ::fork();
  if (pid_ == 0) {
    // nginx writes its notices to this error log until it has read its own.
    ::execl(kNginx, kNginx, "-q", "-p", prefix.c_str(), "-c", (prefix + "/nginx.conf").c_str(),
            "-g", "daemon off;", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!(accepts(httpsPort_) && accepts(httpPort_))) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_ || std::chrono::steady_clock::now() > deadline) {
      pid_ = -1;
      throw std::runtime_error("nginx did not start: " + readFile(folder_ / "error.log"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

NginxProxy::~NginxProxy() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
}

std::string NginxProxy::httpsUrl() const {
  return "https://localhost:" + std::to_string(httpsPort_);
}

std::string NginxProxy::httpUrl() const {
  return "http://localhost:" + std::to_string(httpPort_);
}

std::vector<ProxiedRequest> NginxProxy::requests() const {
  static const std::regex kLine(R"re(^(\d+) (\S+) (\d+) (\d+) "([^"]*)" "([^"]*)"$)re");
  std::vector<ProxiedRequest> requests;
  std::ifstream log(folder_ / "access.log");
  for (std::string line; std::getline(log, line);) {
    std::smatch match;
    if (std::regex_match(line, match, kLine)) {
      requests.push_back({std::stoi(match[1]), match[2], std::stol(match[3]), std::stoi(match[4]),
                          match[5], match[6] == "-" ? "" : match[6].str()});
    }
  }
  return requests;
}

}  // namespace qztest
