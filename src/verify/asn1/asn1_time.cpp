#include "verify/asn1/asn1_time.h"

#include <span>
#include <string_view>

namespace {

// The year 9999 ends the range: "99991231235959Z" is how certificates say
// they never expire.
constexpr int kMinYear = 1970;
constexpr int kMaxYear = 9999;
// Two-digit years above this are in the 1900s, the others in the 2000s.
constexpr int kTwoDigitYearPivot = 50;
constexpr int kMaxZoneHours = 24;

struct Fields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

bool ReadDigits(std::string_view text, size_t at, size_t width, int& value) {
  if (at + width > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given date of the Gregorian calendar.
int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = month <= 2 ? year - 1 : year;
  const int64_t era = y / 400;
  const int64_t year_of_era = y - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool InRange(const Fields& f) {
  return f.year >= kMinYear && f.year <= kMaxYear && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
         f.day <= DaysInMonth(f.year, f.month) && f.hour >= 0 && f.hour <= 23 && f.minute >= 0 &&
         f.minute <= 59 && f.second >= 0 && f.second <= 59;
}

// The zone at the end of the text: "Z", or a sign with hours and optional minutes.
bool ReadZone(std::string_view zone, int64_t& offset_seconds) {
  offset_seconds = 0;
  if (zone == "Z") return true;
  if (zone.size() != 3 && zone.size() != 5) return false;
  if (zone[0] != '+' && zone[0] != '-') return false;
  int hours = 0;
  int minutes = 0;
  if (!ReadDigits(zone, 1, 2, hours) || hours > kMaxZoneHours) return false;
  if (zone.size() == 5 && (!ReadDigits(zone, 3, 2, minutes) || minutes > 59)) return false;
  const int64_t offset = int64_t{hours} * 3600 + int64_t{minutes} * 60;
  // A zone east of UTC is ahead of it: subtract to reach UTC.
  offset_seconds = zone[0] == '+' ? -offset : offset;
  return true;
}

}  // namespace

int ParseAsn1Time(const ASN1& node, int64_t& time) {
  const std::span<const uint8_t> value = node.ValueSpan();
  const std::string_view text(reinterpret_cast<const char*>(value.data()), value.size());
  Fields f;
  size_t zone_at = 0;
  bool two_digit_year = true;
  switch (text.size()) {
    case 11:
      zone_at = 10;
      break;
    case 13:
    case 17:
      zone_at = 12;
      break;
    case 15:
      zone_at = 14;
      two_digit_year = false;
      break;
    default:
      return 0;
  }
  size_t at = 0;
  if (two_digit_year) {
    if (!ReadDigits(text, 0, 2, f.year)) return 0;
    f.year += f.year > kTwoDigitYearPivot ? 1900 : 2000;
    at = 2;
  } else {
    if (!ReadDigits(text, 0, 4, f.year)) return 0;
    at = 4;
  }
  if (!ReadDigits(text, at, 2, f.month) || !ReadDigits(text, at + 2, 2, f.day) ||
      !ReadDigits(text, at + 4, 2, f.hour) || !ReadDigits(text, at + 6, 2, f.minute)) {
    return 0;
  }
  if (zone_at > at + 8 && !ReadDigits(text, at + 8, 2, f.second)) return 0;
  if (!InRange(f)) return 0;
  int64_t offset = 0;
  if (!ReadZone(text.substr(zone_at), offset)) return 0;
  const int64_t days = DaysFromCivil(f.year, f.month, f.day);
  time = days * 86400 + f.hour * 3600 + f.minute * 60 + f.second + offset;
  return 1;
}
