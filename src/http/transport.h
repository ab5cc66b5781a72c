// One request and its answer, made by the platform's HTTP client: libcurl on
// POSIX (transport_curl.cpp), WinHTTP on Windows (transport_winhttp.cpp).
// Neither follows redirects nor keeps cookies: HttpClient (client.h) does
// both, once for both platforms. A Transport owns its connections, kept
// alive and reused for as long as it lives; exchange() may be called from
// several threads at once, each request on a connection of its own.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "http/try_outcome.h"

namespace qz {

// What a Transport is set up with, for its whole life.
struct TransferSettings {
  long connectTimeoutSeconds = 30;
  // A transfer slower than lowSpeedBytes a second for stallSeconds is given
  // up, and so is one that takes longer than longestTransferSeconds in all.
  long lowSpeedBytes = 100;
  long stallSeconds = 30;
  long longestTransferSeconds = 300;
  // How the site's certificate is checked over https: against the
  // authorities the system trusts (authorityFile empty), against those of a
  // PEM file instead, or (checkCertificate false) not at all.
  bool checkCertificate = true;
  std::string authorityFile;
  // How many requests may be under way at once: the connections kept.
  int connections = 1;
};

// What one exchange brought back besides the body.
struct AnswerHeaders {
  std::string location;                 // of a redirect (3xx) only
  std::vector<std::string> setCookies;  // every Set-Cookie value, in order
};

class Transport {
 public:
  explicit Transport(const TransferSettings& settings);
  ~Transport();
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Sends a GET for url with cookies (the Cookie header value, none when
  // empty) and reads the answer. The body of an answer below 300 goes into
  // *body, its content coding undone; the outcome says whether it arrived
  // whole. A redirect arrives with its location and no body. Never throws
  // but what the body's memory throws.
  TryOutcome exchange(const std::string& url, const std::string& cookies, std::string* body,
                      AnswerHeaders* headers);

  // False where the platform's client cannot take an authority file (WinHTTP
  // trusts the system's certificate store alone).
  static bool authorityFileSupported();
  // True where the client takes its proxies from the environment (proxy.h);
  // WinHTTP takes the system's.
  static bool proxiesFromEnvironment();

 private:
  struct Connections;  // the platform's own
  std::unique_ptr<Connections> connections_;
};

}  // namespace qz
