#include "http/http_date.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/text.h"

namespace qz {

namespace {

// The bytes that separate a date's tokens: %x09 / %x20-2F / %x3B-40 /
// %x5B-60 / %x7B-7E.
bool isDelimiter(unsigned char c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) ||
         (c >= 0x5B && c <= 0x60) || (c >= 0x7B && c <= 0x7E);
}

// The value of a token that begins with between fewest and most digits,
// followed by nothing or by a byte that is not a digit (and anything after
// it); -1 otherwise.
long leadingNumber(std::string_view token, size_t fewest, size_t most) {
  size_t digits = 0;
  while (digits < token.size() && isDigit(token[digits])) {
    ++digits;
  }
  if (digits < fewest || digits > most) {
    return -1;
  }
  long value = 0;
  for (size_t i = 0; i < digits; ++i) {
    value = value * 10 + (token[i] - '0');
  }
  return value;
}

// hms-time: 1*2DIGIT ":" 1*2DIGIT ":" 1*2DIGIT, then nothing or a non-digit.
bool readTime(std::string_view token, long* hour, long* minute, long* second) {
  long* parts[] = {hour, minute, second};
  for (int i = 0; i < 3; ++i) {
    long value = leadingNumber(token, 1, 2);
    if (value < 0) {
      return false;
    }
    *parts[i] = value;
    size_t digits = token.find_first_not_of("0123456789");
    token.remove_prefix(digits == std::string_view::npos ? token.size() : digits);
    if (i < 2) {
      if (token.empty() || token[0] != ':') {
        return false;
      }
      token.remove_prefix(1);
    }
  }
  return true;
}

int monthOf(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) {
    return 0;
  }
  std::string head = asciiLower(token.substr(0, 3));
  auto found = std::find(kMonths.begin(), kMonths.end(), head);
  return found == kMonths.end() ? 0 : static_cast<int>(found - kMonths.begin()) + 1;
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

unsigned daysInMonth(long year, int month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<long long> httpDateSeconds(std::string_view text) {
  long hour = -1, minute = -1, second = -1, day = -1, year = -1;
  int month = 0;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && isDelimiter(static_cast<unsigned char>(text[at]))) {
      ++at;
    }
    size_t end = at;
    while (end < text.size() && !isDelimiter(static_cast<unsigned char>(text[end]))) {
      ++end;
    }
    std::string_view token = text.substr(at, end - at);
    at = end;
    if (token.empty()) {
      continue;
    }
    long h, m, s;
    if (hour < 0 && readTime(token, &h, &m, &s)) {
      hour = h;
      minute = m;
      second = s;
    } else if (day < 0 && leadingNumber(token, 1, 2) >= 0) {
      day = leadingNumber(token, 1, 2);
    } else if (month == 0 && monthOf(token) > 0) {
      month = monthOf(token);
    } else if (year < 0 && leadingNumber(token, 2, 4) >= 0) {
      year = leadingNumber(token, 2, 4);
    }
  }
  if (year >= 70 && year <= 99) {
    year += 1900;
  } else if (year >= 0 && year <= 69) {
    year += 2000;
  }
  if (hour < 0 || day < 0 || month == 0 || year < 0 || day < 1 || day > 31 || year < 1601 ||
      hour > 23 || minute > 59 || second > 59 ||
      static_cast<unsigned>(day) > daysInMonth(year, month)) {
    return std::nullopt;
  }
  return daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
         hour * 3600 + minute * 60 + second;
}

long retryAfterSeconds(std::string_view value, std::time_t now) {
  value = trimmed(value);
  if (allDigits(value)) {
    return value.size() <= 9 ? leadingNumber(value, 1, 9) : -1;
  }
  std::optional<long long> when = httpDateSeconds(value);
  if (!when) {
    return -1;
  }
  return static_cast<long>(std::max<long long>(0, *when - static_cast<long long>(now)));
}

}  // namespace qz
