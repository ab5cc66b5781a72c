// The words of the report: the hint after a refused certificate names only a
// setting that can help and is not set yet.
#include "fetch/failure_report.h"

#include <gtest/gtest.h>

#include <string>

namespace qz {
namespace {

TEST(FailureReportTest, TheCertificateHintFitsTheCauseAndTheSettings) {
  const std::string file =
      "qzturns: if you trust the site, set QZTURNS_CA_FILE to a file of the certificates to "
      "trust it by, or QZTURNS_CHECK_CERTIFICATE=0 to fetch without checking its certificate.\r\n";
  const std::string store =
      "qzturns: if you trust the site, add the certificate of its authority (its own, if it "
      "signs its own) to your store (certutil -user -addstore Root FILE), or set "
      "QZTURNS_CHECK_CERTIFICATE=0 to fetch without checking its certificate.\r\n";
  const std::string unchecked =
      "qzturns: if you trust the site, set QZTURNS_CHECK_CERTIFICATE=0 to fetch without "
      "checking its certificate.\r\n";
  const struct {
    Why refused;
    bool fileSet;
    bool fileSupported;
    std::string hint;
  } cases[] = {
      {Why::kCertificateUntrusted, false, true, file},
      {Why::kCertificateSelfSigned, false, true, file},
      {Why::kCertificateSelfSigned, true, true, unchecked},
      {Why::kCertificateUntrusted, false, false, store},
      {Why::kCertificateExpired, false, true, unchecked},
      {Why::kCertificateName, false, false, unchecked},
      {Why::kCertificateRevoked, true, true, unchecked},
      {Why::kAuthorityFile, true, true, ""},
      {Why::kHandshake, false, true, ""},
      {Why::kCutOff, false, true, ""},
      {Why::kNone, false, true, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(certificateHint(c.refused, c.fileSet, c.fileSupported), c.hint)
        << whyText(c.refused) << " " << c.fileSet << c.fileSupported;
  }
}

TEST(FailureReportTest, OnePageAndManyAreToldInTheirOwnNumber) {
  FailedFetches one{1, {{"404 Not Found", 1}}, true, Why::kNone};
  EXPECT_EQ(failureReport(one, "http://h", {}),
            "qzturns: 1 page could not be fetched; the next run will ask for it again:\r\n"
            "  404 Not Found x 1\r\n");
  FailedFetches two{2, {{"404 Not Found", 2}}, true, Why::kNone};
  EXPECT_EQ(failureReport(two, "http://h", {}),
            "qzturns: 2 pages could not be fetched; the next run will ask for them again:\r\n"
            "  404 Not Found x 2\r\n");
  EXPECT_EQ(failureReport({}, "http://h", {}), "");
}

// A site never answered is told as not reached, with what to check; one that
// answered only to break the TLS handshake off is not.
TEST(FailureReportTest, ASiteNotReachedAndAFailedHandshakeAreToldApart) {
  FailedFetches silent{1, {{"no answer", 1}}, false, Why::kNone, false};
  EXPECT_TRUE(failureReport(silent, "http://h", {})
                  .starts_with("qzturns: the site could not be reached at http://h; check "
                               "QZTURNS_BASE_URL"));
  FailedFetches handshake{1, {{"no secure connection", 1}}, false, Why::kNone, true};
  EXPECT_EQ(failureReport(handshake, "https://h", {}),
            "qzturns: no secure connection could be made with the site at https://h (TLS "
            "handshake failed); check that it serves https there, and its certificate.\r\n"
            "qzturns: 1 page could not be fetched; the next run will ask for it again:\r\n"
            "  no secure connection x 1\r\n");
}

}  // namespace
}  // namespace qz
