// The settings of a run, every one a QZTURNS_* environment variable
// (base/setting_names.h), read here and nowhere else, before anything is
// fetched. Each reader takes a variable's value (nullptr when unset) and
// returns false, with the one line to tell the user in *complaint, for a
// value it cannot take.
#pragma once

#include <string>

#include "fetch/http_fetcher.h"

namespace qz {

inline constexpr const char* kExampleBaseUrl = "http://www.example.hu";

struct Settings {
  std::string baseUrl;  // "http://host[:port]", no trailing "/"
  int connections = 1;
  bool checkCertificate = true;
  std::string authorityFile;  // empty for the system's authorities
  bool writeReader = true;
  bool recheckEmpty = false;
};

// QZTURNS_BASE_URL: "http://" or "https://", a host, an optional port, and
// nothing else. White space and quotes around it and one trailing "/" are
// forgiven and dropped, since every URL form appends its own "/".
bool siteBaseUrlFrom(const char* value, std::string* base, std::string* complaint);

// QZTURNS_CONNECTIONS: a whole number from 1 to kMaxConnections, 1 unset.
bool connectionsFrom(const char* value, int* connections, std::string* complaint);

// A switch: "0" is off, "1" is on, unset is fallback.
bool switchFrom(const char* variable, const char* value, bool fallback, bool* on,
                std::string* complaint);

// QZTURNS_CA_FILE, when certificates are checked: a readable PEM file of
// certificates, where the platform can take one. Unset or empty for none.
bool authorityFileFrom(const char* value, bool checkCertificate, std::string* file,
                       std::string* complaint);

// Every setting, from the environment.
bool readSettings(Settings* settings, std::string* complaint);

// The line the run says once at its start about its settings ("qzturns: "
// and a warning), empty when there is nothing to say.
std::string settingsWarning(const Settings& settings);

// What the run's Fetcher is made with.
FetcherSettings fetcherSettings(const Settings& settings);

}  // namespace qz
