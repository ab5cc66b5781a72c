// The site over HTTPS, on a fake site with certificates made for the run: the
// same run as over HTTP when its certificate is trusted, each kind of
// certificate trouble told by its cause when it is not, and the settings
// that choose what to trust.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "site_fixture.h"

namespace qztest {
namespace {

const std::string kUnchecked =
    "qzturns: QZTURNS_CHECK_CERTIFICATE=0: the site's certificate is not checked, so whoever "
    "stands between this computer and the site could read and change what the run fetches and "
    "sends.\r\n";

class HttpsTest : public SiteTest {
 protected:
  // Two characters on one listing page, one turn saved before.
  void serveGame(FakeSite& where) {
    where.serve(kFrontPage, page("front"));
    where.serve(listingTarget(0), page(listingPage({"6001", "6002"}, {})));
    for (const char* c : {"6001", "6002"}) {
      std::vector<std::string> links;
      for (const char* k : {"1", "2", "3", "4", "5"}) {
        links.push_back(std::string(k) + ",0,0,0");
        where.serve(turnTarget(c, k), page(turnPage(std::string("turn ") + c + "/" + k)));
      }
      where.serve(characterTarget(c), page(characterPage(links)));
    }
  }
  struct Outcome {
    ProgramResult result;
    std::map<std::string, std::string> archive;
  };
  Outcome runAt(const std::string& base, std::vector<std::pair<std::string, std::string>> env) {
    TempFolder folder;
    ProgramOptions o = options();
    o.workDir = folder.path();
    o.baseUrl = base;
    o.environment.insert(o.environment.end(), env.begin(), env.end());
    Outcome outcome{runProgram(o), {}};
    for (const std::string& name : listTree(folder.path())) {
      outcome.archive[name] = name.back() == '/' ? "" : readFile(folder / name);
    }
    return outcome;
  }
  // How a trusted site is trusted here: by the run's own authority, or, for
  // the Windows build, which takes no file of authorities, not checked.
  std::vector<std::pair<std::string, std::string>> trusting() {
    if (underLauncher()) {
      return {{"QZTURNS_CHECK_CERTIFICATE", "0"}};
    }
    return {{"QZTURNS_CA_FILE", certificates.authority()}};
  }
  std::string trustedErr() { return underLauncher() ? kUnchecked : ""; }

  TestCertificates certificates;
};

TEST_F(HttpsTest, OverHttpsARunIsTheSameAsOverHttp) {
  FakeSite secure(certificates.issue("site", {}));
  serveGame(site);
  serveGame(secure);
  for (const std::string connections : {"1", "8"}) {
    size_t plainBefore = site.requests().size(), secureBefore = secure.requests().size();
    Outcome plain = runAt(site.baseUrl(), {{"QZTURNS_CONNECTIONS", connections}});
    auto env = trusting();
    env.push_back({"QZTURNS_CONNECTIONS", connections});
    Outcome overTls = runAt(secure.baseUrl(), env);
    EXPECT_EQ(overTls.result.exitStatus, 0) << connections;
    EXPECT_EQ(overTls.result.out, plain.result.out) << connections;
    EXPECT_EQ(overTls.result.err, trustedErr()) << connections;
    EXPECT_EQ(overTls.archive, plain.archive) << connections;
    std::vector<std::string> plainAsked = site.targets(), secureAsked = secure.targets();
    plainAsked.erase(plainAsked.begin(), plainAsked.begin() + static_cast<long>(plainBefore));
    secureAsked.erase(secureAsked.begin(), secureAsked.begin() + static_cast<long>(secureBefore));
    std::sort(plainAsked.begin(), plainAsked.end());
    std::sort(secureAsked.begin(), secureAsked.end());
    EXPECT_EQ(secureAsked, plainAsked) << connections;
  }
}

// Each kind of trouble with the site's certificate: told by its cause, once,
// with what the user can do, and not asked again: the run ends at once, as
// for any page it could not fetch.
TEST_F(HttpsTest, CertificateTroubleIsToldByItsCause) {
  if (underLauncher()) {
    GTEST_SKIP() << "WinHTTP tells less, and takes no file of authorities: see the next test";
  }
  CertificateRequest selfSigned, expired, otherName, ours;
  selfSigned.selfSigned = true;
  expired.validFromSeconds = -7200;
  expired.validToSeconds = -3600;
  otherName.dnsNames = {"qzturns-other.invalid"};
  otherName.addresses = {};
  const struct {
    std::string name;
    CertificateRequest request;
    bool trustOurs;
    std::string cause;
  } cases[] = {
      {"self-signed", selfSigned, true, "the site's certificate is self-signed"},
      {"expired", expired, true, "the site's certificate has expired, or is not valid yet"},
      {"other-name", otherName, true, "the site's certificate is issued for another name"},
      {"unknown-authority", ours, false,
       "the site's certificate is not signed by an authority this computer trusts"},
  };
  for (const auto& c : cases) {
    FakeSite secure(certificates.issue(c.name, c.request));
    serveGame(secure);
    auto start = std::chrono::steady_clock::now();
    Outcome outcome = runAt(secure.baseUrl(), c.trustOurs ? trusting() : decltype(trusting()){});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << c.name;
    EXPECT_EQ(outcome.result.exitStatus, 0) << c.name;
    EXPECT_EQ(outcome.result.out, kBanner +
                                      "Karakterszamok kigyujtese... 0 karakter\r\n\r\n"
                                      "Atlepve: 0 Letoltve: 0\r\n")
        << c.name;
    EXPECT_EQ(
        outcome.result.err,
        "qzturns: 2 pages could not be fetched; the next run will ask for them again:\r\n"
        "  " +
            c.cause +
            " x 1\r\n"
            "  not asked: the site's certificate was refused x 1\r\n" +
            // The file of authorities is named only where it can help and
            // is not set already.
            (c.trustOurs ? "qzturns: if you trust the site, set QZTURNS_CHECK_CERTIFICATE=0 to "
                           "fetch without checking its certificate.\r\n"
                         : "qzturns: if you trust the site, set QZTURNS_CA_FILE to a file of the "
                           "certificates to trust it by, or QZTURNS_CHECK_CERTIFICATE=0 to fetch "
                           "without checking its certificate.\r\n"))
        << c.name;
    EXPECT_TRUE(secure.requests().empty()) << c.name;
  }
}

// Not checking is for a site the user trusts without a certificate to show
// for it: it works with any, on both platforms, and says so at every start.
TEST_F(HttpsTest, ASelfSignedSiteIsFetchedWhenCertificatesAreNotChecked) {
  CertificateRequest selfSigned;
  selfSigned.selfSigned = true;
  FakeSite secure(certificates.issue("self-signed", selfSigned));
  serveGame(secure);
  serveGame(site);
  Outcome plain = runAt(site.baseUrl(), {});
  Outcome unchecked = runAt(secure.baseUrl(), {{"QZTURNS_CHECK_CERTIFICATE", "0"}});
  EXPECT_EQ(unchecked.result.exitStatus, 0);
  EXPECT_EQ(unchecked.result.out, plain.result.out);
  EXPECT_EQ(unchecked.archive, plain.archive);
  EXPECT_EQ(unchecked.result.err, kUnchecked);

  // Checked, it is refused, by whichever cause the platform names: wine's
  // WinHTTP tells a refused certificate as a failed handshake.
  Outcome checked = runAt(secure.baseUrl(), {});
  EXPECT_NE(checked.result.err.find(underLauncher() ? "(TLS handshake failed)"
                                                    : "  the site's certificate is self-signed"),
            std::string::npos)
      << checked.result.err;
  // A failed handshake is never told as a site not reached.
  EXPECT_EQ(checked.result.err.find("could not be reached"), std::string::npos)
      << checked.result.err;
  // The hint follows a certificate refused, not a handshake that failed.
  EXPECT_EQ(checked.result.err.find("QZTURNS_CHECK_CERTIFICATE=0 to fetch without checking") !=
                std::string::npos,
            !underLauncher())
      << checked.result.err;
}

}  // namespace
}  // namespace qztest
