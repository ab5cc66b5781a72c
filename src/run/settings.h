// The on/off settings of a run, read from QZTURNS_* environment variables
// before anything is fetched.
#pragma once

#include <string>

namespace qz {

inline constexpr const char* kIndexVariable = "QZTURNS_INDEX";
inline constexpr const char* kRecheckEmptyVariable = "QZTURNS_RECHECK_EMPTY";

// Reads a switch: "0" is off, "1" is on, unset is fallback. False, with the
// one line to tell the user in *complaint, for any other value.
bool readSwitch(const char* variable, bool fallback, bool* on, std::string* complaint);

}  // namespace qz
