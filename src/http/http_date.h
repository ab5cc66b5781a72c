// Dates as HTTP sends them, for Retry-After and for cookies' Expires, read
// by the cookie rules' algorithm (RFC 6265 section 5.1.1): it takes every
// form of HTTP date and what sites send besides.
#pragma once

#include <ctime>
#include <optional>
#include <string_view>

namespace qz {

// Seconds since the epoch (negative before 1970) of a date: the first time,
// day of month, month and year tokens found, in any order, whatever else
// stands around them (a weekday, "GMT", "GMT-2"); two-digit years are 1970
// to 2069. Nothing when a part is missing or out of range, the year is
// before 1601, or the day is past its month's end.
std::optional<long long> httpDateSeconds(std::string_view text);

// The seconds a Retry-After value asks for, counted from now: a number of
// seconds or an HTTP date. -1 when the value is neither.
long retryAfterSeconds(std::string_view value, std::time_t now);

}  // namespace qz
