// The site behind a real server: Debian's nginx with TLS and HTTP/2 in front
// of the fake site, and its plain http port sending every request there
// with a redirect. What a run fetches and saves is the same as straight from
// the site; the session and its cookies survive the redirects.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "nginx_proxy.h"
#include "site_fixture.h"

namespace qztest {
namespace {

class NginxTest : public SiteTest {
 protected:
  void SetUp() override {
    if (!NginxProxy::available()) {
      GTEST_SKIP() << "nginx is not installed (scripts/install-deps.sh installs it)";
    }
    site.serve(kFrontPage, page("front"));
    site.serve(listingTarget(0), page(listingPage({"7001", "7002", "7003"}, {})));
    for (const char* c : {"7001", "7002", "7003"}) {
      serveCharacter(c, {"1", "2", "3", "4", "5", "6"});
    }
    proxy = std::make_unique<NginxProxy>(site.baseUrl(), certificates.issue("localhost", {}));
  }
  struct Outcome {
    ProgramResult result;
    std::map<std::string, std::string> archive;
    std::vector<std::string> asked;  // what the site behind was asked, sorted
  };
  Outcome runAt(const std::string& base, const std::string& connections) {
    TempFolder folder;
    ProgramOptions o = options();
    o.workDir = folder.path();
    o.baseUrl = base;
    o.environment.push_back({"QZTURNS_CONNECTIONS", connections});
    if (base.rfind("http://127.0.0.1", 0) != 0) {
      o.environment.push_back(
          underLauncher()
              ? std::pair<std::string, std::string>{"QZTURNS_CHECK_CERTIFICATE", "0"}
              : std::pair<std::string, std::string>{"QZTURNS_CA_FILE", certificates.authority()});
    }
    size_t before = site.requests().size();
    Outcome outcome{runProgram(o), {}, site.targets()};
    for (const std::string& name : listTree(folder.path())) {
      outcome.archive[name] = name.back() == '/' ? "" : readFile(folder / name);
    }
    outcome.asked.erase(outcome.asked.begin(), outcome.asked.begin() + static_cast<long>(before));
    std::sort(outcome.asked.begin(), outcome.asked.end());
    return outcome;
  }

  TestCertificates certificates;
  std::unique_ptr<NginxProxy> proxy;
};

TEST_F(NginxTest, OverHttp2ARunIsTheSameAsStraightFromTheSite) {
  for (const std::string connections : {"1", "8"}) {
    Outcome straight = runAt(site.baseUrl(), connections);
    size_t logged = proxy->requests().size();
    Outcome proxied = runAt(proxy->httpsUrl(), connections);
    EXPECT_EQ(proxied.result.exitStatus, 0) << connections;
    EXPECT_EQ(proxied.result.out, straight.result.out) << connections;
    EXPECT_EQ(proxied.archive, straight.archive) << connections;
    EXPECT_EQ(proxied.asked, straight.asked) << connections;
    std::vector<ProxiedRequest> requests = proxy->requests();
    requests.erase(requests.begin(), requests.begin() + static_cast<long>(logged));
    ASSERT_EQ(requests.size(), straight.asked.size()) << connections;
    std::set<long> nginxConnections;
    for (const ProxiedRequest& request : requests) {
      // Wine's WinHTTP speaks HTTP/1.1 alone; libcurl takes what ALPN offers.
      EXPECT_EQ(request.protocol, underLauncher() ? "HTTP/1.1" : "HTTP/2.0") << request.target;
      nginxConnections.insert(request.connection);
    }
    EXPECT_LE(nginxConnections.size(), static_cast<size_t>(std::stoi(connections)));
  }
}

// A site that takes its session from the front page and sends every http
// request to https: the session cookie, set over https, goes with every
// request there; a Secure cookie never goes over http.
TEST_F(NginxTest, AnHttpAddressRedirectedToHttpsKeepsTheSessionAndItsSecureCookie) {
  Reply front = page("front");
  front.headers.push_back({"Set-Cookie", "token=t1; Secure; path=/"});
  site.serve(kFrontPage, front);
  site.requireSession(kFrontPage, {{"karakter.php", page(kCannotDisplay)},
                                   {"fordulo.php", page("<HTML>Lejart a munkamenet</HTML>")}});
  Outcome straight = runAt(site.baseUrl(), "1");
  Outcome redirected = runAt(proxy->httpUrl(), "1");
  EXPECT_EQ(redirected.result.exitStatus, 0);
  EXPECT_EQ(redirected.result.out, straight.result.out);
  EXPECT_EQ(redirected.result.err, underLauncher() ? redirected.result.err : "");
  EXPECT_EQ(redirected.archive, straight.archive);
  EXPECT_EQ(redirected.asked, straight.asked) << "no renewal needed: the session held";
  int overHttp = 0, overHttps = 0;
  for (const ProxiedRequest& request : proxy->requests()) {
    if (request.port == proxy->httpPort()) {
      ++overHttp;
      EXPECT_EQ(request.status, 301);
      EXPECT_EQ(request.cookie.find("token="), std::string::npos) << request.target;
    } else if (request.target != kFrontPage) {
      ++overHttps;
      EXPECT_NE(request.cookie.find("token=t1"), std::string::npos) << request.target;
      EXPECT_NE(request.cookie.find("SID="), std::string::npos) << request.target;
    }
  }
  EXPECT_EQ(overHttp, static_cast<int>(straight.asked.size()));
  EXPECT_EQ(overHttps + 1, static_cast<int>(straight.asked.size()));
  // Each origin's connections are kept across the redirects: one of each,
  // or at most four of each at four connections.
  for (const std::string connections : {"1", "4"}) {
    size_t before = proxy->requests().size();
    runAt(proxy->httpUrl(), connections);
    std::set<long> plain, secure;
    std::vector<ProxiedRequest> requests = proxy->requests();
    for (size_t i = before; i < requests.size(); ++i) {
      (requests[i].port == proxy->httpPort() ? plain : secure).insert(requests[i].connection);
    }
    EXPECT_LE(plain.size(), static_cast<size_t>(std::stoi(connections))) << connections;
    EXPECT_LE(secure.size(), static_cast<size_t>(std::stoi(connections))) << connections;
  }
}

}  // namespace
}  // namespace qztest
