#include "test_certificates.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace qztest {

namespace {

void check(bool ok, const char* what) {
  if (!ok) {
    throw std::runtime_error(std::string("test certificates: ") + what);
  }
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  check(extension != nullptr && X509_add_ext(cert, extension, -1) == 1, "extension");
  X509_EXTENSION_free(extension);
}

// A certificate for the key, named commonName and altNames, signed by
// signerKey as signerCert (by itself when that is null).
X509* makeCertificate(EVP_PKEY* key, const std::string& commonName, const std::string& altNames,
                      long from, long to, X509* signerCert, EVP_PKEY* signerKey, bool authority,
                      long serial) {
  X509* cert = X509_new();
  check(cert != nullptr, "X509_new");
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), from);
  X509_gmtime_adj(X509_getm_notAfter(cert), to);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert, signerCert != nullptr ? X509_get_subject_name(signerCert) : name);
  X509* issuer = signerCert != nullptr ? signerCert : cert;
  addExtension(cert, issuer, NID_basic_constraints, authority ? "critical,CA:TRUE" : "CA:FALSE");
  addExtension(cert, issuer, NID_key_usage,
               authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
  addExtension(cert, issuer, NID_subject_key_identifier, "hash");
  if (!altNames.empty()) {
    addExtension(cert, issuer, NID_subject_alt_name, altNames);
  }
  check(X509_sign(cert, signerKey != nullptr ? signerKey : key, EVP_sha256()) > 0, "sign");
  return cert;
}

void writePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  FILE* out = std::fopen(path.c_str(), "w");
  check(out != nullptr, "open");
  bool ok = cert != nullptr
                ? PEM_write_X509(out, cert) == 1
                : PEM_write_PrivateKey(out, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  std::fclose(out);
  check(ok, "write");
}

}  // namespace

TestCertificates::TestCertificates() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  check(key != nullptr, "key");
  X509* cert =
      makeCertificate(key, "qzturns test authority", "", -86400, 86400, nullptr, nullptr, true, 1);
  authority_ = {folder_ / "authority.pem", folder_ / "authority-key.pem"};
  writePem(authority_.certificate, cert, nullptr);
  writePem(authority_.key, nullptr, key);
  authorityKey_ = key;
  authorityCert_ = cert;
}

TestCertificates::~TestCertificates() {
  X509_free(static_cast<X509*>(authorityCert_));
  EVP_PKEY_free(static_cast<EVP_PKEY*>(authorityKey_));
}

CertificateFiles TestCertificates::issue(const std::string& stem,
                                         const CertificateRequest& request) {
  static long serial = 100;
  EVP_PKEY* key = EVP_EC_gen("P-256");
  check(key != nullptr, "key");
  std::string names;
  for (const std::string& dns : request.dnsNames) {
    names += (names.empty() ? "DNS:" : ",DNS:") + dns;
  }
  for (const std::string& address : request.addresses) {
    names += (names.empty() ? "IP:" : ",IP:") + address;
  }
  X509* signerCert = request.selfSigned ? nullptr : static_cast<X509*>(authorityCert_);
  EVP_PKEY* signerKey = request.selfSigned ? nullptr : static_cast<EVP_PKEY*>(authorityKey_);
  std::string commonName = request.dnsNames.empty() ? "qzturns test" : request.dnsNames.front();
  X509* cert = makeCertificate(key, commonName, names, request.validFromSeconds,
                               request.validToSeconds, signerCert, signerKey, false, ++serial);
  CertificateFiles files{folder_ / (stem + ".pem"), folder_ / (stem + "-key.pem")};
  writePem(files.certificate, cert, nullptr);
  writePem(files.key, nullptr, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return files;
}

}  // namespace qztest
