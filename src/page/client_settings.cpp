#include "page/client_settings.h"

#include <cstdlib>

#include "http/http_client.h"
#include "run/local_files.h"
#include "run/settings.h"

namespace qz {

bool setConnectionsFromEnvironment(std::string* complaint) {
  const char* value = std::getenv(kConnectionsVariable);
  if (value == nullptr) {
    return true;
  }
  std::string text = value;
  bool valid = text.size() == 1 && text[0] >= '1' && text[0] <= '0' + kMaxConnections;
  if (!valid) {
    *complaint = std::string(kConnectionsVariable) + " must be a whole number from 1 to " +
                 std::to_string(kMaxConnections) + ", not \"" + text + "\".";
    return false;
  }
  setConnections(text[0] - '0');
  return true;
}

bool setCertificateCheckFromEnvironment(std::string* complaint, std::string* warning) {
  CertificateCheck certificates;
  if (!readSwitch(kCheckCertificateVariable, true, &certificates.check, complaint)) {
    return false;
  }
  const char* file = std::getenv(kAuthorityFileVariable);
  if (file != nullptr && *file != '\0' && certificates.check) {
    if (!authorityFileSupported()) {
      *complaint = std::string(kAuthorityFileVariable) +
                   " cannot be used on Windows: add the site's certificate to your store instead "
                   "(certutil -user -addstore Root FILE), and leave it unset.";
      return false;
    }
    // Enough of the file to find its first certificate in, as every PEM
    // file of certificates begins with one or with a few lines of text.
    std::string head = readFileHead(file, 64 << 10);
    if (head.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
      *complaint = std::string(kAuthorityFileVariable) +
                   " must name a readable file of certificates in PEM form, not \"" + file + "\".";
      return false;
    }
    certificates.authorityFile = file;
  }
  if (!certificates.check) {
    *warning = std::string("qzturns: ") + kCheckCertificateVariable +
               "=0: the site's certificate is not checked, so whoever stands between this "
               "computer and the site could read and change what the run fetches and sends.";
  }
  setCertificateCheck(certificates);
  return true;
}

}  // namespace qz
