// Every QZTURNS_* setting read from its value: what each takes, and the one
// line each says of a value it cannot take. (That such a line ends the run
// with status 2 before any request is RunDriverTest's.)
#include "page/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "http/transport.h"
#include "temp_folder.h"

namespace qz {
namespace {

TEST(SettingsTest, TheSiteAddressIsCheckedAndWhatCanBeForgivenIs) {
  const std::vector<std::pair<std::string, std::string>> good = {
      {"http://www.example.hu", "http://www.example.hu"},
      {"https://www.example.hu", "https://www.example.hu"},
      {"HTTP://Example.HU:8080", "http://Example.HU:8080"},
      {"http://127.0.0.1:1", "http://127.0.0.1:1"},
      {"http://[::1]:8080", "http://[::1]:8080"},
      {"http://www.example.hu/", "http://www.example.hu"},
      {"  http://www.example.hu \r\n", "http://www.example.hu"},
      {"\"http://www.example.hu\"", "http://www.example.hu"},
      {"'http://www.example.hu/'", "http://www.example.hu"},
      {" \" http://www.example.hu \" ", "http://www.example.hu"},
  };
  for (const auto& [value, expected] : good) {
    std::string base, complaint;
    EXPECT_TRUE(siteBaseUrlFrom(value.c_str(), &base, &complaint)) << value << ": " << complaint;
    EXPECT_EQ(base, expected) << value;
  }
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"", "QZTURNS_BASE_URL is not set; it names the game's site, such as http://www.example.hu."},
      {"   ", "QZTURNS_BASE_URL is not set"},
      {"www.example.hu",
       "QZTURNS_BASE_URL must begin with http:// or https://, not "
       "\"www.example.hu\"."},
      {"ftp://www.example.hu", "must begin with http:// or https://"},
      {"http://www.example.hu//", "without a page, path or query"},
      {"http://www.example.hu/index.php?m=qz", "without a page, path or query"},
      {"http://www.example.hu/?s=1&nogfx=on", "without a page, path or query"},
      {"http://user@www.example.hu", "without a page, path or query"},
      {"http://", "no valid host name or port"},
      {"http://www.example.hu:", "no valid host name or port"},
      {"http://www.example.hu:99999", "no valid host name or port"},
      {"http://www.exa_mple.hu", "no valid host name or port"},
      {"http://www..hu", "no valid host name or port"},
      {"http://[::1", "no valid host name or port"},
      {"\"http://www.example.hu", "must begin with http:// or https://"},
  };
  for (const auto& [value, said] : refused) {
    std::string base, complaint;
    EXPECT_FALSE(siteBaseUrlFrom(value.c_str(), &base, &complaint)) << value;
    EXPECT_NE(complaint.find(said), std::string::npos) << value << ": " << complaint;
    EXPECT_NE(complaint.find(" Set it "), std::string::npos) << complaint;
    EXPECT_EQ(complaint.find('\n'), std::string::npos) << complaint;
  }
  std::string base, complaint;
  EXPECT_FALSE(siteBaseUrlFrom(nullptr, &base, &complaint));
  EXPECT_EQ(complaint.rfind("QZTURNS_BASE_URL is not set", 0), 0u);
}

TEST(SettingsTest, ConnectionsAreAWholeNumberFromOneToEight) {
  for (const std::string value : {"1", "4", "8"}) {
    int connections = 0;
    std::string complaint;
    EXPECT_TRUE(connectionsFrom(value.c_str(), &connections, &complaint)) << value;
    EXPECT_EQ(connections, value[0] - '0');
  }
  for (const std::string value : {"0", "9", "abc", "", "4 ", "-1"}) {
    int connections = 0;
    std::string complaint;
    EXPECT_FALSE(connectionsFrom(value.c_str(), &connections, &complaint)) << value;
    EXPECT_EQ(complaint,
              "QZTURNS_CONNECTIONS must be a whole number from 1 to 8, not \"" + value + "\".");
  }
  int connections = 0;
  std::string complaint;
  EXPECT_TRUE(connectionsFrom(nullptr, &connections, &complaint));
  EXPECT_EQ(connections, 1);
}

TEST(SettingsTest, TheSwitchesTakeZeroOrOneAndNothingElse) {
  for (const char* variable :
       {"QZTURNS_INDEX", "QZTURNS_RECHECK_EMPTY", "QZTURNS_CHECK_CERTIFICATE"}) {
    const std::vector<std::pair<const char*, bool>> taken = {{"0", false}, {"1", true}};
    for (const auto& [value, on] : taken) {
      bool got = !on;
      std::string complaint;
      EXPECT_TRUE(switchFrom(variable, value, !on, &got, &complaint));
      EXPECT_EQ(got, on) << variable << "=" << value;
    }
    for (const std::string value : {"2", "off", "yes", "", "1 "}) {
      bool got = false;
      std::string complaint;
      EXPECT_FALSE(switchFrom(variable, value.c_str(), true, &got, &complaint));
      EXPECT_EQ(complaint,
                std::string(variable) + " must be 0 (off) or 1 (on), not \"" + value + "\".");
    }
    bool got = false;
    std::string complaint;
    EXPECT_TRUE(switchFrom(variable, nullptr, true, &got, &complaint));
    EXPECT_TRUE(got) << variable << " unset takes its fallback";
  }
}

TEST(SettingsTest, TheCertificateFileMustBeOneThePlatformCanTake) {
  qztest::TempFolder folder;
  qztest::writeFile(folder / "not-certificates.pem", "hello");
  qztest::writeFile(folder / "one.pem", "text first\n-----BEGIN CERTIFICATE-----\nMIIB\n");
  const std::string windows =
      "QZTURNS_CA_FILE cannot be used on Windows: add the certificate of the site's authority "
      "(the site's own, if it signs its own) to your store instead (certutil -user -addstore "
      "Root FILE), and leave it unset.";
  for (const std::string& file :
       {std::string("/no/such/file.pem"), folder / "not-certificates.pem"}) {
    std::string taken, complaint;
    EXPECT_FALSE(authorityFileFrom(file.c_str(), true, &taken, &complaint));
    EXPECT_EQ(complaint, Transport::authorityFileSupported()
                             ? "QZTURNS_CA_FILE must name a readable file of certificates in PEM "
                               "form, not \"" +
                                   file + "\"."
                             : windows);
  }
  std::string taken, complaint;
  EXPECT_EQ(authorityFileFrom((folder / "one.pem").c_str(), true, &taken, &complaint),
            Transport::authorityFileSupported());
  EXPECT_EQ(taken, Transport::authorityFileSupported() ? folder / "one.pem" : "");
  // Not looked at while certificates are not checked, nor when empty.
  EXPECT_TRUE(authorityFileFrom("/no/such/file.pem", false, &taken, &complaint));
  EXPECT_EQ(taken, "");
  // Empty, as every other setting: a slip, not "unset".
  EXPECT_FALSE(authorityFileFrom("", false, &taken, &complaint));
  EXPECT_EQ(complaint,
            "QZTURNS_CA_FILE is set but empty; set it to a file of certificates in PEM form, or "
            "unset it.");
}

}  // namespace
}  // namespace qz
