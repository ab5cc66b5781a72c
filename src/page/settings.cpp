#include "page/settings.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "base/setting_names.h"
#include "base/text.h"
#include "run/local_files.h"
#include "run/process_setup.h"

namespace qz {

namespace {

bool isHostCharacter(char c) {
  return isAsciiLetter(c) || isDigit(c) || c == '-' || c == '.';
}

// A host name or IPv4 address ("www.example.hu", "127.0.0.1"), or an IPv6
// address in brackets, then an optional ":port" of 1 to 65535.
bool isHostAndPort(std::string_view text) {
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos || close == 1 ||
        text.substr(1, close - 1).find_first_not_of("0123456789abcdefABCDEF:.") !=
            std::string_view::npos) {
      return false;
    }
    host = {};
    text.remove_prefix(close + 1);
    if (!text.empty() && text[0] != ':') {
      return false;
    }
    port = text.empty() ? text : text.substr(1);
    if (text.size() == 1) {
      return false;
    }
  } else {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
      host = text.substr(0, colon);
      port = text.substr(colon + 1);
      if (port.empty()) {
        return false;
      }
    }
    if (host.empty() || host.front() == '.' || host.front() == '-' ||
        host.find("..") != std::string_view::npos ||
        !std::all_of(host.begin(), host.end(), isHostCharacter)) {
      return false;
    }
  }
  if (port.empty()) {
    return true;
  }
  if (port.size() > 5 || !allDigits(port)) {
    return false;
  }
  int number = std::stoi(std::string(port));
  return number >= 1 && number <= 65535;
}

}  // namespace

bool siteBaseUrlFrom(const char* value, std::string* base, std::string* complaint) {
  const std::string hint = std::string(" ") + howToSetVariable(kBaseUrlVariable, kExampleBaseUrl);
  if (value == nullptr || trimmed(value).empty()) {
    *complaint = std::string(kBaseUrlVariable) + " is not set; it names the game's site, such as " +
                 kExampleBaseUrl + "." + hint;
    return false;
  }
  std::string_view text = trimmed(value);
  // A value quoted in cmd.exe keeps its quotes.
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = trimmed(text.substr(1, text.size() - 2));
  }
  // Built a piece at a time: GCC 12 at -O3 takes "\"" + value + "\"" for an
  // overlapping copy (-Wrestrict), wrongly.
  std::string shown = "\"";
  shown += value;
  shown += '"';
  std::string scheme;
  if (startsWithIgnoringCase(text, "http://")) {
    scheme = "http://";
  } else if (startsWithIgnoringCase(text, "https://")) {
    scheme = "https://";
  } else {
    *complaint = std::string(kBaseUrlVariable) + " must begin with http:// or https://, not " +
                 shown + "." + hint;
    return false;
  }
  std::string_view rest = text.substr(scheme.size());
  if (!rest.empty() && rest.back() == '/') {
    rest.remove_suffix(1);
  }
  size_t extra = rest.find_first_of("/?#@ \t");
  if (extra != std::string_view::npos) {
    *complaint = std::string(kBaseUrlVariable) +
                 " must be the site's address alone, without a page, path or query, not " + shown +
                 "." + hint;
    return false;
  }
  if (!isHostAndPort(rest)) {
    *complaint =
        std::string(kBaseUrlVariable) + " has no valid host name or port in " + shown + "." + hint;
    return false;
  }
  *base = scheme + std::string(rest);
  return true;
}

bool connectionsFrom(const char* value, int* connections, std::string* complaint) {
  if (value == nullptr) {
    *connections = 1;
    return true;
  }
  std::string text = value;
  if (text.size() != 1 || text[0] < '1' || text[0] > '0' + kMaxConnections) {
    *complaint = std::string(kConnectionsVariable) + " must be a whole number from 1 to " +
                 std::to_string(kMaxConnections) + ", not \"" + text + "\".";
    return false;
  }
  *connections = text[0] - '0';
  return true;
}

bool switchFrom(const char* variable, const char* value, bool fallback, bool* on,
                std::string* complaint) {
  if (value == nullptr) {
    *on = fallback;
    return true;
  }
  std::string text = value;
  if (text != "0" && text != "1") {
    *complaint = std::string(variable) + " must be 0 (off) or 1 (on), not \"" + text + "\".";
    return false;
  }
  *on = text == "1";
  return true;
}

bool authorityFileFrom(const char* value, bool checkCertificate, std::string* file,
                       std::string* complaint) {
  file->clear();
  if (value != nullptr && *value == '\0') {
    *complaint = std::string(kAuthorityFileVariable) +
                 " is set but empty; set it to a file of certificates in PEM form, or unset it.";
    return false;
  }
  if (value == nullptr || !checkCertificate) {
    return true;
  }
  if (!Transport::authorityFileSupported()) {
    *complaint = std::string(kAuthorityFileVariable) +
                 " cannot be used on Windows: add the certificate of the site's authority (the "
                 "site's own, if it signs its own) to your store instead (certutil -user "
                 "-addstore Root FILE), and leave it unset.";
    return false;
  }
  // Enough of the file to find its first certificate in, as every PEM file
  // of certificates begins with one or with a few lines of text.
  std::string head = readFileHead(value, 64 << 10);
  if (head.find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
    *complaint = std::string(kAuthorityFileVariable) +
                 " must name a readable file of certificates in PEM form, not \"" + value + "\".";
    return false;
  }
  *file = value;
  return true;
}

bool readSettings(Settings* settings, std::string* complaint) {
  return siteBaseUrlFrom(std::getenv(kBaseUrlVariable), &settings->baseUrl, complaint) &&
         connectionsFrom(std::getenv(kConnectionsVariable), &settings->connections, complaint) &&
         switchFrom(kCheckCertificateVariable, std::getenv(kCheckCertificateVariable), true,
                    &settings->checkCertificate, complaint) &&
         authorityFileFrom(std::getenv(kAuthorityFileVariable), settings->checkCertificate,
                           &settings->authorityFile, complaint) &&
         switchFrom(kIndexVariable, std::getenv(kIndexVariable), true, &settings->writeReader,
                    complaint) &&
         switchFrom(kRecheckEmptyVariable, std::getenv(kRecheckEmptyVariable), false,
                    &settings->recheckEmpty, complaint);
}

std::string settingsWarning(const Settings& settings) {
  if (settings.checkCertificate || !startsWithIgnoringCase(settings.baseUrl, "https://")) {
    return {};  // nothing to check over http
  }
  return std::string("qzturns: ") + kCheckCertificateVariable +
         "=0: the site's certificate is not checked, so whoever stands between this computer and "
         "the site could read and change what the run fetches and sends.";
}

FetcherSettings fetcherSettings(const Settings& settings) {
  FetcherSettings fetcher;
  fetcher.transfer.connections = settings.connections;
  fetcher.transfer.checkCertificate = settings.checkCertificate;
  fetcher.transfer.authorityFile = settings.authorityFile;
  return fetcher;
}

}  // namespace qz
