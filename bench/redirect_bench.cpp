// The cost of a site address that redirects http:// to https://, behind
// Debian's nginx on loopback: a run through the redirect against the same run
// straight over https, at 1 and 4 connections, with the connections each
// opened. Prints figures; the target is a time of at most 1.2 times the
// straight run's, and no more connections to each origin than asked for.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "fake_site.h"
#include "nginx_proxy.h"
#include "program_run.h"
#include "site_fixture.h"
#include "test_certificates.h"

namespace {

using qztest::page;

void serveGame(qztest::FakeSite& site, int characters, int turns) {
  std::vector<std::string> numbers;
  for (int c = 0; c < characters; ++c) {
    const std::string number = std::to_string(6000 + c);
    numbers.push_back(number);
    std::vector<std::string> links;
    for (int t = 1; t <= turns; ++t) {
      links.push_back(std::to_string(t) + ",0,0,0");
      site.serve(qztest::turnTarget(number, std::to_string(t)),
                 page(qztest::turnPage(std::string(24 << 10, 'x'))));
    }
    site.serve(qztest::characterTarget(number), page(qztest::characterPage(links)));
  }
  site.serve(qztest::kFrontPage, page("front"));
  site.serve(qztest::listingTarget(0), page(qztest::listingPage(numbers, {})));
}

struct Timed {
  double seconds = 0;
  size_t plain = 0, secure = 0;  // connections opened to each origin
};

Timed timedRun(const qztest::NginxProxy& proxy, const std::string& base,
               const std::string& authority, const std::string& connections) {
  std::vector<double> times;
  Timed timed;
  for (int round = 0; round < 3; ++round) {
    qztest::TempFolder folder;
    qztest::ProgramOptions options;
    options.workDir = folder.path();
    options.baseUrl = base;
    options.environment = {{"QZTURNS_CA_FILE", authority},
                           {"QZTURNS_INDEX", "0"},
                           {"QZTURNS_CONNECTIONS", connections}};
    size_t before = proxy.requests().size();
    auto start = std::chrono::steady_clock::now();
    qztest::runProgram(options);
    times.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    std::set<long> plain, secure;
    std::vector<qztest::ProxiedRequest> requests = proxy.requests();
    for (size_t i = before; i < requests.size(); ++i) {
      (requests[i].port == proxy.httpPort() ? plain : secure).insert(requests[i].connection);
    }
    timed.plain = plain.size();
    timed.secure = secure.size();
  }
  std::sort(times.begin(), times.end());
  timed.seconds = times[1];  // the median of three
  return timed;
}

}  // namespace

int main() {
  if (!qztest::NginxProxy::available()) {
    std::printf("redirect bench: nginx is not installed\n");
    return 0;
  }
  qztest::FakeSite site;
  serveGame(site, 10, 20);
  qztest::TestCertificates certificates;
  qztest::NginxProxy proxy(site.baseUrl(), certificates.issue("localhost", {}));
  for (const std::string connections : {"1", "4"}) {
    Timed straight = timedRun(proxy, proxy.httpsUrl(), certificates.authority(), connections);
    Timed redirected = timedRun(proxy, proxy.httpUrl(), certificates.authority(), connections);
    std::printf(
        "http -> https redirect, %s connection(s): %.3f s against %.3f s straight over https "
        "= %.2f times (target at most 1.2); connections opened: %zu plain, %zu TLS (straight: "
        "%zu TLS)\n",
        connections.c_str(), redirected.seconds, straight.seconds,
        redirected.seconds / straight.seconds, redirected.plain, redirected.secure,
        straight.secure);
  }
  return 0;
}
