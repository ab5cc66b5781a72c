// The settings of the HTTP client that a run takes from its environment, read
// before anything is fetched. Each returns false, with the one line to tell
// the user in *complaint, for a value it cannot take.
#pragma once

#include <string>

namespace qz {

inline constexpr const char* kConnectionsVariable = "QZTURNS_CONNECTIONS";
inline constexpr const char* kAuthorityFileVariable = "QZTURNS_CA_FILE";
inline constexpr const char* kCheckCertificateVariable = "QZTURNS_CHECK_CERTIFICATE";

// QZTURNS_CONNECTIONS: a whole number from 1 to kMaxConnections, 1 unset.
bool setConnectionsFromEnvironment(std::string* complaint);

// QZTURNS_CHECK_CERTIFICATE (0 or 1, 1 unset) and QZTURNS_CA_FILE (a
// readable PEM file of certificates, where the platform can take one). With
// checks off, *warning is the line the run says once at its start.
bool setCertificateCheckFromEnvironment(std::string* complaint, std::string* warning);

}  // namespace qz
