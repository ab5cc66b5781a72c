#include "http/http_date.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "http/header_text.h"

namespace qz {

namespace {

bool allDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long toNumber(std::string_view digits) {
  long value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
  }
  return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

}  // namespace

long long httpDateSeconds(std::string_view text) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::vector<std::string_view> tokens;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(" ,-", pos);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    if (end > pos) {
      tokens.push_back(text.substr(pos, end - pos));
    }
    pos = end + 1;
  }
  long day = -1, year = -1, hour = -1, minute = -1, second = -1;
  unsigned month = 0;
  for (std::string_view token : tokens) {
    if (token.size() == 8 && token[2] == ':' && token[5] == ':' && allDigits(token.substr(0, 2)) &&
        allDigits(token.substr(3, 2)) && allDigits(token.substr(6, 2))) {
      hour = toNumber(token.substr(0, 2));
      minute = toNumber(token.substr(3, 2));
      second = toNumber(token.substr(6, 2));
    } else if (allDigits(token) && token.size() == 4) {
      year = toNumber(token);
    } else if (allDigits(token) && token.size() <= 2) {
      (day < 0 ? day : year) = toNumber(token);
    } else if (token.size() == 3) {
      auto found = std::find(kMonths.begin(), kMonths.end(), token);
      if (found != kMonths.end()) {
        month = static_cast<unsigned>(found - kMonths.begin()) + 1;
      }
    }
  }
  if (year >= 0 && year < 100) {
    year += year < 70 ? 2000 : 1900;
  }
  if (day < 1 || day > 31 || month == 0 || year < 1970 || hour < 0 || hour > 23 || minute > 59 ||
      second > 60) {
    return -1;
  }
  return daysFromCivil(year, month, static_cast<unsigned>(day)) * 86400 + hour * 3600 +
         minute * 60 + second;
}

long retryAfterSeconds(std::string_view value, std::time_t now) {
  value = trimmed(value);
  if (allDigits(value)) {
    return value.size() <= 9 ? toNumber(value) : -1;
  }
  int64_t when = httpDateSeconds(value);
  if (when < 0) {
    return -1;
  }
  return static_cast<long>(std::max<int64_t>(0, when - static_cast<int64_t>(now)));
}

}  // namespace qz
