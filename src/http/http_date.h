// Dates as HTTP sends them, for Retry-After and for cookies' Expires.
#pragma once

#include <ctime>
#include <string_view>

namespace qz {

// Seconds since the epoch of an HTTP date in any of its three forms
// ("Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
// "Sun Nov  6 08:49:37 1994"); -1 when the text is not one.
long long httpDateSeconds(std::string_view text);

// The seconds a Retry-After value asks for, counted from now: a number of
// seconds or an HTTP date. -1 when the value is neither.
long retryAfterSeconds(std::string_view value, std::time_t now);

}  // namespace qz
