/*
 * datetime.cpp - the string forms of dates, times and timestamps, their stored forms,
 * durations and differences (datetime.h).  Days are counted with the proleptic Gregorian
 * calendar, as the host counts them.
 */
#include "datetime.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "errors.h"

namespace quarn {
namespace {

// The text as runs of digits and the single characters between them.
struct Piece {
  bool digits;
  std::string text;
};

std::vector<Piece> pieces(const std::string &s) {
  std::vector<Piece> out;
  for (size_t k = 0; k < s.size();) {
    if (std::isdigit(static_cast<unsigned char>(s[k]))) {
      size_t e = k;
      while (e < s.size() && std::isdigit(static_cast<unsigned char>(s[e]))) ++e;
      out.push_back({true, s.substr(k, e - k)});
      k = e;
    } else if (std::isalpha(static_cast<unsigned char>(s[k]))) {
      size_t e = k;
      while (e < s.size() && std::isalpha(static_cast<unsigned char>(s[e]))) ++e;
      std::string w = s.substr(k, e - k);
      for (char &c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      out.push_back({false, w});
      k = e;
    } else {
      out.push_back({false, std::string(1, s[k])});
      ++k;
    }
  }
  return out;
}

std::string trimmed(const std::string &s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysIn(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : kDays[m - 1];
}

bool isNumber(const Piece &p, size_t lo, size_t hi) { return p.digits && p.text.size() >= lo && p.text.size() <= hi; }
int num(const Piece &p) { return std::atoi(p.text.c_str()); }
bool isSep(const Piece &p, char c) { return !p.digits && p.text.size() == 1 && p.text[0] == c; }

// A date at p[at]: ISO/JIS yyyy-m-d, USA m/d/yyyy, EUR d.m.yyyy.  Moves at past it.
int readDate(const std::vector<Piece> &p, size_t *at, DateTime *v) {
  size_t k = *at;
  if (k + 5 > p.size()) return kSqlDatetimeSyntax;
  int y, m, d;
  if (isNumber(p[k], 4, 4) && isSep(p[k + 1], '-') && isNumber(p[k + 2], 1, 2) && isSep(p[k + 3], '-') &&
      isNumber(p[k + 4], 1, 2)) {
    y = num(p[k]), m = num(p[k + 2]), d = num(p[k + 4]);
  } else if (isNumber(p[k], 1, 2) && isSep(p[k + 1], '/') && isNumber(p[k + 2], 1, 2) && isSep(p[k + 3], '/') &&
             isNumber(p[k + 4], 4, 4)) {
    m = num(p[k]), d = num(p[k + 2]), y = num(p[k + 4]);
  } else if (isNumber(p[k], 1, 2) && isSep(p[k + 1], '.') && isNumber(p[k + 2], 1, 2) && isSep(p[k + 3], '.') &&
             isNumber(p[k + 4], 4, 4)) {
    d = num(p[k]), m = num(p[k + 2]), y = num(p[k + 4]);
  } else {
    return kSqlDatetimeSyntax;
  }
  *at = k + 5;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m)) return kSqlDatetimeRange;
  v->year = y, v->month = m, v->day = d;
  return 0;
}

// A time at p[at]: h.mm[.ss], h:mm[:ss], or h[:mm] AM|PM.  Moves at past it.
int readTime(const std::vector<Piece> &p, size_t *at, DateTime *v, bool inTimestamp) {
  size_t k = *at;
  if (k >= p.size() || !isNumber(p[k], 1, 2)) return kSqlDatetimeSyntax;
  int h = num(p[k]), mi = 0, s = 0;
  ++k;
  char sep = 0;
  if (k + 1 < p.size() && (isSep(p[k], '.') || isSep(p[k], ':')) && isNumber(p[k + 1], 2, 2)) {
    sep = p[k].text[0];
    mi = num(p[k + 1]);
    k += 2;
    if (k + 1 < p.size() && isSep(p[k], sep) && isNumber(p[k + 1], 2, 2)) {
      s = num(p[k + 1]);
      k += 2;
    }
  }
  // USA: an hour of 1 to 12 (0 is accepted) and AM or PM.
  size_t w = k;
  if (w < p.size() && isSep(p[w], ' ')) ++w;
  if (!inTimestamp && w < p.size() && (p[w].text == "AM" || p[w].text == "PM") && sep != '.') {
    if (h > 12 || mi > 59) return kSqlDatetimeRange;
    if (p[w].text == "AM" && h == 12) h = 0;
    if (p[w].text == "PM" && h < 12) h += 12;
    k = w + 1;
  } else if (sep == 0) {
    return kSqlDatetimeSyntax;
  }
  *at = k;
  if (h > 24 || mi > 59 || s > 59 || (h == 24 && (mi || s))) return kSqlDatetimeRange;
  v->hour = h, v->minute = mi, v->second = s;
  return 0;
}

// A timestamp: a date, '-', ' ' or 'T', a time with seconds, and a fraction of up to 12 digits
// after '.' or ':'; a date alone is its midnight.
int readTimestamp(const std::vector<Piece> &p, size_t *at, DateTime *v) {
  int rc = readDate(p, at, v);
  if (rc != 0) return rc;
  size_t k = *at;
  if (k == p.size()) return 0;
  if (!(isSep(p[k], '-') || isSep(p[k], ' ') || p[k].text == "T")) return kSqlDatetimeSyntax;
  ++k;
  rc = readTime(p, &k, v, true);
  if (rc != 0) return rc;
  if (k < p.size() && (isSep(p[k], '.') || isSep(p[k], ':')) && k + 1 < p.size() && isNumber(p[k + 1], 1, 12)) {
    // 24:00:00 is the end of the day: no fraction after it, also one past the microseconds kept.
    if (v->hour == 24 && p[k + 1].text.find_first_not_of('0') != std::string::npos) return kSqlDatetimeRange;
    std::string f = p[k + 1].text.substr(0, 6);
    f.resize(6, '0');
    v->micro = std::atoi(f.c_str());
    k += 2;
  }
  *at = k;
  return 0;
}

// Days from 0000-03-01 of the proleptic Gregorian calendar (for date arithmetic).
int64_t civilDays(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe;
}

void fromCivilDays(int64_t z, DateTime *v) {
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp + (mp < 10 ? 3 : -9);
  v->year = static_cast<int>(y + (m <= 2));
  v->month = static_cast<int>(m);
  v->day = static_cast<int>(d);
}

std::string unitOf(std::string u) {
  if (u.size() > 1 && u.back() == 'S') u.pop_back();
  return u;
}

}  // namespace

int parseDatetime(const std::string &text, Base base, DateTime *out) {
  std::vector<Piece> p = pieces(trimmed(text));
  DateTime v;
  size_t at = 0;
  int rc;
  if (base == Base::Date) {
    rc = readDate(p, &at, &v);
    if (rc == 0 && at != p.size()) {
      // The date of a timestamp.
      at = 0;
      rc = readTimestamp(p, &at, &v);
    }
  } else if (base == Base::Time) {
    rc = readTime(p, &at, &v, false);
    if (rc != 0 || at != p.size()) {
      size_t t = 0;
      DateTime w;
      int trc = readTimestamp(p, &t, &w);
      if (trc == 0 && t == p.size() && p.size() > 5) {
        rc = 0, at = t, v = w;
      } else if (rc == 0) {
        rc = kSqlDatetimeSyntax;
      }
    }
  } else {
    rc = readTimestamp(p, &at, &v);
  }
  if (rc != 0) return rc;
  if (at != p.size()) return kSqlDatetimeSyntax;
  *out = v;
  return 0;
}

std::string formatDatetime(const DateTime &v, Base base) {
  char buf[64];
  if (base == Base::Date) std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", v.year, v.month, v.day);
  else if (base == Base::Time) std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", v.hour, v.minute, v.second);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", v.year, v.month, v.day, v.hour, v.minute,
                  v.second, v.micro);
  return buf;
}

std::string formatIn(const DateTime &v, Base base, const std::string &format) {
  char buf[64];
  if (base == Base::Date) {
    if (format == "ISO" || format == "JIS" || format == "LOCAL") return formatDatetime(v, base);
    if (format == "USA") std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", v.month, v.day, v.year);
    else if (format == "EUR") std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", v.day, v.month, v.year);
    else return "";
    return buf;
  }
  if (base == Base::Time) {
    if (format == "ISO" || format == "EUR" || format == "LOCAL") return formatDatetime(v, base);
    if (format == "JIS") std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", v.hour, v.minute, v.second);
    else if (format == "USA") {
      int h = v.hour % 12 == 0 ? 12 : v.hour % 12;
      std::snprintf(buf, sizeof buf, "%02d:%02d %s", h, v.minute, v.hour < 12 || v.hour == 24 ? "AM" : "PM");
    } else {
      return "";
    }
    return buf;
  }
  return format == "ISO" || format == "LOCAL" ? formatDatetime(v, base) : "";
}

bool addDuration(DateTime *v, int64_t n, const std::string &unit0) {
  std::string unit = unitOf(unit0);
  if (unit == "YEAR" || unit == "MONTH") {
    int64_t months = static_cast<int64_t>(v->year) * 12 + (v->month - 1) + (unit == "YEAR" ? n * 12 : n);
    if (months < 12 || months >= 10000 * 12) return false;
    v->year = static_cast<int>(months / 12);
    v->month = static_cast<int>(months % 12) + 1;
    if (v->day > daysIn(v->year, v->month)) v->day = daysIn(v->year, v->month);
    return true;
  }
  int64_t unitMicros = unit == "DAY" ? 86400000000LL : unit == "HOUR" ? 3600000000LL : unit == "MINUTE" ? 60000000LL
                       : unit == "SECOND" ? 1000000LL : unit == "MICROSECOND" ? 1 : 0;
  if (unitMicros == 0) return false;
  // Hold the value as days and microseconds of the day.
  int64_t days = civilDays(v->year, v->month, v->day);
  int64_t micros = ((static_cast<int64_t>(v->hour) * 60 + v->minute) * 60 + v->second) * 1000000LL + v->micro;
  if (unit == "DAY") {
    days += n;
  } else {
    __int128 total = static_cast<__int128>(micros) + static_cast<__int128>(n) * unitMicros;
    __int128 perDay = 86400000000LL;
    __int128 dd = total / perDay;
    __int128 rest = total % perDay;
    if (rest < 0) {
      rest += perDay;
      dd -= 1;
    }
    days += static_cast<int64_t>(dd);
    micros = static_cast<int64_t>(rest);
  }
  DateTime r;
  fromCivilDays(days, &r);
  if (r.year < 1 || r.year > 9999) return false;
  r.micro = static_cast<int>(micros % 1000000);
  int64_t secs = micros / 1000000;
  r.second = static_cast<int>(secs % 60);
  r.minute = static_cast<int>(secs / 60 % 60);
  r.hour = static_cast<int>(secs / 3600);
  *v = r;
  return true;
}

int64_t dayNumber(const DateTime &v) { return civilDays(v.year, v.month, v.day) - civilDays(1, 1, 1) + 1; }

double durationBetween(const DateTime &a0, const DateTime &b0, Base base) {
  // The host subtracts the smaller from the larger and signs the result.
  auto key = [](const DateTime &x) {
    return std::to_string(10000 + x.year) + std::to_string(100 + x.month) + std::to_string(100 + x.day) +
           std::to_string(100 + x.hour) + std::to_string(100 + x.minute) + std::to_string(100 + x.second) +
           std::to_string(1000000 + x.micro);
  };
  bool negative = key(a0) < key(b0);
  DateTime a = negative ? b0 : a0, b = negative ? a0 : b0;
  int micro = a.micro - b.micro, second = a.second - b.second, minute = a.minute - b.minute, hour = a.hour - b.hour;
  int day = a.day - b.day, month = a.month - b.month, year = a.year - b.year;
  if (base == Base::Date) {
    second = minute = hour = micro = 0;
  }
  if (base != Base::Date) {
    if (micro < 0) micro += 1000000, --second;
    if (second < 0) second += 60, --minute;
    if (minute < 0) minute += 60, --hour;
    if (hour < 0) hour += 24, --day;
  }
  if (base == Base::Time) {
    double r = hour * 10000.0 + minute * 100.0 + second;
    return negative ? -r : r;
  }
  if (day < 0) {
    // Borrow a month: the days from b's day to the end of b's month count with a's day, so
    // 2000-03-15 - 1999-12-31 is 2 months 15 days (31 - 31 + 15).  Borrowing the month before
    // a's month instead gave 2 months 13 days, and 99 days for 2024-03-01 - 2023-01-31.
    day += daysIn(b.year, b.month);
    --month;
  }
  if (month < 0) month += 12, --year;
  double r = year * 10000.0 + month * 100.0 + day;
  if (base == Base::Timestamp) r = r * 1000000.0 + hour * 10000.0 + minute * 100.0 + second + micro / 1000000.0;
  return negative ? -r : r;
}

bool formatTimestamp(const DateTime &v, const std::string &format, std::string *out) {
  std::string f;
  for (char c : format) f.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  std::string r;
  char buf[16];
  for (size_t k = 0; k < f.size();) {
    auto take = [&](const char *w) {
      size_t n = std::char_traits<char>::length(w);
      if (f.compare(k, n, w) != 0) return false;
      k += n;
      return true;
    };
    if (take("YYYY")) std::snprintf(buf, sizeof buf, "%04d", v.year);
    else if (take("HH24")) std::snprintf(buf, sizeof buf, "%02d", v.hour);
    else if (take("HH12") || take("HH")) std::snprintf(buf, sizeof buf, "%02d", v.hour % 12 == 0 ? 12 : v.hour % 12);
    else if (take("MM")) std::snprintf(buf, sizeof buf, "%02d", v.month);
    else if (take("DD")) std::snprintf(buf, sizeof buf, "%02d", v.day);
    else if (take("MI")) std::snprintf(buf, sizeof buf, "%02d", v.minute);
    else if (take("SS")) std::snprintf(buf, sizeof buf, "%02d", v.second);
    else if (take("NNNNNN") || take("FF6") || take("FF")) std::snprintf(buf, sizeof buf, "%06d", v.micro);
    else if (take("AM") || take("PM")) std::snprintf(buf, sizeof buf, "%s", v.hour < 12 ? "AM" : "PM");
    else if (std::isalpha(static_cast<unsigned char>(f[k]))) return false;
    else {
      buf[0] = format[k];
      buf[1] = 0;
      ++k;
    }
    r += buf;
  }
  *out = r;
  return true;
}

}  // namespace quarn
