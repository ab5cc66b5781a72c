// Certificates made for one test run, never kept: a certificate authority of
// the run's own, and server certificates that it signs, or that sign
// themselves, for the names and the time they are asked for. Written as PEM
// files into a folder the object owns and removes.
#pragma once

#include <string>
#include <vector>

#include "temp_folder.h"

namespace qztest {

struct CertificateFiles {
  std::string certificate;  // PEM
  std::string key;          // PEM, unencrypted
};

struct CertificateRequest {
  std::vector<std::string> dnsNames = {"localhost"};
  std::vector<std::string> addresses = {"127.0.0.1"};
  long validFromSeconds = -3600;  // from now
  long validToSeconds = 86400;
  bool selfSigned = false;  // else signed by the authority
};

class TestCertificates {
 public:
  TestCertificates();
  ~TestCertificates();
  TestCertificates(const TestCertificates&) = delete;
  TestCertificates& operator=(const TestCertificates&) = delete;

  // The authority's certificate: the file to trust.
  const std::string& authority() const { return authority_.certificate; }
  // A server certificate, under the given file name stem.
  CertificateFiles issue(const std::string& stem, const CertificateRequest& request);

 private:
  TempFolder folder_;
  CertificateFiles authority_;
  void* authorityKey_ = nullptr;   // EVP_PKEY
  void* authorityCert_ = nullptr;  // X509
};

}  // namespace qztest
