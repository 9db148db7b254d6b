/*
 * datetime.h - dates, times and timestamps as the host reads and writes them: the string forms
 * it accepts (ISO, USA, EUR, JIS, leading zeros left out, seconds left out, '-', '.', ':' and
 * blank separators), the one form each is stored in ("2024-03-05", "10.20.30",
 * "2024-03-05-10.20.30.000000"), labeled durations, date and timestamp differences, and the
 * text forms of CHAR(date, ISO|USA|EUR|JIS) and VARCHAR_FORMAT.  Plain values; thread-safe.
 */
#ifndef QUARN_ENGINE_DATETIME_H
#define QUARN_ENGINE_DATETIME_H

#include <cstdint>
#include <string>

#include "types.h"

namespace quarn {

struct DateTime {
  int year = 1, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
  int micro = 0;
};

// Reads text as a value of base (Date, Time or Timestamp): 0, kSqlDatetimeSyntax (-180) when
// it is no string form of that type, kSqlDatetimeRange (-181) when it is one with a field out
// of range.  A DATE also reads the date of a timestamp string, a TIME its time.
int parseDatetime(const std::string &text, Base base, DateTime *out);

// The stored form of v as a value of base.
std::string formatDatetime(const DateTime &v, Base base);

// The text of a DATE or TIME in one of the host's formats: "ISO", "USA", "EUR", "JIS" ("LOCAL"
// is ISO).  Empty for an unknown format.
std::string formatIn(const DateTime &v, Base base, const std::string &format);

// v moved by n units ("YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "MICROSECOND"; plural
// forms too).  Years and months keep the day, cut to the month's last day.  False for an
// unknown unit or a result outside the years 1 to 9999.
bool addDuration(DateTime *v, int64_t n, const std::string &unit);

// Days since 0001-01-01, that day being 1 (the host's DAYS).
int64_t dayNumber(const DateTime &v);

// a - b as the host's duration: a date duration yyyymmdd, a time duration hhmmss, a timestamp
// duration yyyymmddhhmmss.zzzzzz (a number, negative when b is later).
double durationBetween(const DateTime &a, const DateTime &b, Base base);

// VARCHAR_FORMAT(v, format): YYYY, MM, DD, HH24, HH12 or HH, MI, SS, NNNNNN (or FF6, FF),
// AM/PM; other characters are copied.  False for a format it cannot read.
bool formatTimestamp(const DateTime &v, const std::string &format, std::string *out);

}  // namespace quarn

#endif  // QUARN_ENGINE_DATETIME_H
