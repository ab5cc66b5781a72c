// The names of the program's settings, the QZTURNS_* environment variables:
// read in page/settings.cpp, and named by every message that tells the user
// which one to change.
#pragma once

namespace qz {

inline constexpr const char* kBaseUrlVariable = "QZTURNS_BASE_URL";
inline constexpr const char* kConnectionsVariable = "QZTURNS_CONNECTIONS";
inline constexpr const char* kIndexVariable = "QZTURNS_INDEX";
inline constexpr const char* kRecheckEmptyVariable = "QZTURNS_RECHECK_EMPTY";
inline constexpr const char* kAuthorityFileVariable = "QZTURNS_CA_FILE";
inline constexpr const char* kCheckCertificateVariable = "QZTURNS_CHECK_CERTIFICATE";

}  // namespace qz
