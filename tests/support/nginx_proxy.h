// Debian's nginx started for a test, on free loopback ports, in a folder of
// its own: a reverse proxy with TLS and HTTP/2 in front of a site, and a
// plain http port that sends every request to the TLS one with a redirect,
// as a small game site might sit behind a real server. Stopped with the
// object.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "temp_folder.h"
#include "test_certificates.h"

namespace qztest {

// One request as nginx logged it.
struct ProxiedRequest {
  int port = 0;          // the port it came in on
  std::string protocol;  // "HTTP/2.0", "HTTP/1.1"
  long connection = 0;   // nginx's number for the connection it came on
  int status = 0;
  std::string target;
  std::string cookie;  // the Cookie header as sent
};

class NginxProxy {
 public:
  // True when nginx is installed where Debian puts it.
  static bool available();

  // nginx in front of upstream ("http://127.0.0.1:port"), its TLS port
  // serving the certificate given for "localhost".
  NginxProxy(const std::string& upstream, const CertificateFiles& tls);
  ~NginxProxy();
  NginxProxy(const NginxProxy&) = delete;
  NginxProxy& operator=(const NginxProxy&) = delete;

  std::string httpsUrl() const;  // "https://localhost:port"
  std::string httpUrl() const;   // "http://localhost:port", redirecting to httpsUrl
  int httpsPort() const { return httpsPort_; }
  int httpPort() const { return httpPort_; }

  // Every request so far, in the order nginx logged them.
  std::vector<ProxiedRequest> requests() const;

 private:
  TempFolder folder_;
  int httpsPort_ = 0;
  int httpPort_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qztest
