/*
 * sqlutil.cpp - RAII statements and value moves over the SQLite C API.
 */
#include "sqlutil.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "datetime.h"

#include <cstdio>

#include "errors.h"

namespace quarn {

std::string doubleText(double d) {
  char buf[40];
  for (int digits = 15; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, d);
    if (!std::isfinite(d) || std::strtod(buf, nullptr) == d) break;
  }
  return buf;
}

std::string realText(double d) {
  // A fetched value is read back and bound again (composition binds a parent's key to its
  // children's query as text), so the text must name the same REAL: at most 9 digits do.
  char buf[40];
  for (int digits = 7; digits <= 9; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, d);
    if (!std::isfinite(d) || static_cast<float>(std::strtod(buf, nullptr)) == static_cast<float>(d)) break;
  }
  return buf;
}

namespace {

// d with 15 significant digits (what a double holds): the sign, the 15 digits and the decimal
// exponent of the first; false for zero, an infinity or NaN.  Rounded to the nearest, except
// with keepPlaces where rounding would carry into a new first digit: then cut, so the number
// keeps its count of digits before the point (the largest DECIMAL(31,0), whose double is
// 9999999999999999635896294965248, is not shown with 32 digits).
bool significantDigits(double d, bool *negative, std::string *digits, int *exponent, bool keepPlaces = false) {
  if (d == 0 || !std::isfinite(d)) return false;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.14e", d);
  if (keepPlaces) {
    char exact[48];
    std::snprintf(exact, sizeof exact, "%.25e", d);
    if (std::atoi(std::strchr(exact, 'e') + 1) != std::atoi(std::strchr(buf, 'e') + 1)) std::memcpy(buf, exact, sizeof buf);
  }
  const char *e = std::strchr(buf, 'e');
  *negative = buf[0] == '-';
  digits->clear();
  for (const char *p = buf; p < e && digits->size() < 15; ++p)
    if (*p >= '0' && *p <= '9') digits->push_back(*p);
  *exponent = std::atoi(e + 1);
  return true;
}

}  // namespace

namespace {

// Within four units in the last place of the whole number nearest x: the difference is the
// noise of binary arithmetic (0.1 + 0.2 is 0.30000000000000004), and the whole number is meant.
bool nearWhole(double x, double *whole) {
  *whole = std::nearbyint(x);
  const double unit = std::nextafter(std::fabs(x), HUGE_VAL) - std::fabs(x);
  return std::fabs(x - *whole) <= 4 * unit;
}

}  // namespace

double decimalCut(double d, int scale, double limit) {
  if (d == 0 || !std::isfinite(d)) return d == 0 ? 0.0 : d;
  const double f = std::pow(10.0, scale);
  const double x = d * f;
  double out;
  if (std::fabs(x) < 9007199254740992.0) {
    // The digits past the scale are cut, unless they are the noise of a whole number of units.
    double whole;
    out = (nearWhole(x, &whole) ? whole : std::trunc(x)) / f;
    if (std::fabs(out) >= limit && std::fabs(d) < limit) out = std::trunc(x) / f;
  } else {
    // Past 2^53 units of the scale every double is a whole number of them: nothing to cut.  A
    // value a few units in its last place from one of 15 significant digits is that one
    // (0.3 / 0.1, 2.9999999999999996, is 3 at any scale).
    out = d;
    bool negative;
    std::string digits;
    int exponent;
    if (significantDigits(d, &negative, &digits, &exponent)) {
      const std::string text = (negative ? "-" : "") + digits.substr(0, 1) + "." + digits.substr(1) + "e" +
                               std::to_string(exponent);
      const double rounded = std::strtod(text.c_str(), nullptr);
      const double unit = std::nextafter(std::fabs(d), HUGE_VAL) - std::fabs(d);
      if (std::fabs(rounded - d) <= 4 * unit && !(std::fabs(rounded) >= limit && std::fabs(d) < limit)) out = rounded;
    }
  }
  return out == 0 ? 0.0 : out;  // a DECIMAL has no negative zero
}

bool decimalUnits(double a, double b, double *ua, double *ub, double *f) {
  *f = 1;
  for (int k = 0; k <= 15; ++k, *f *= 10) {
    const double xa = a * *f, xb = b * *f;
    if (!(std::fabs(xa) < 9007199254740992.0 && std::fabs(xb) < 9007199254740992.0)) return false;
    if (nearWhole(xa, ua) && nearWhole(xb, ub)) return true;
  }
  return false;
}

std::string decimalText(double d, int scale) {
  char buf[400];
  // A DECIMAL is held as a double: digits past its 15 significant ones are the binary
  // expansion's, not the number's (an AVG of scale 24 showed 10.003333333333332078041167, and
  // 10^30 showed 1000000000000000019884624838656), so they are written as zeros.
  bool negative;
  std::string digits;
  int exponent;
  if (significantDigits(d, &negative, &digits, &exponent, true) && exponent >= static_cast<int>(digits.size())) {
    std::string out = (negative ? "-" : "") + digits;
    out.append(static_cast<size_t>(exponent + 1) - digits.size(), '0');
    if (scale > 0) out += "." + std::string(static_cast<size_t>(scale), '0');
    return out;
  }
  int shown = scale;
  if (d != 0 && std::isfinite(d)) {
    const int exponent = static_cast<int>(std::floor(std::log10(std::fabs(d))));
    shown = std::clamp(14 - exponent, 0, scale);
  }
  std::snprintf(buf, sizeof buf, "%.*f", shown, d);
  std::string out = buf;
  // Rounding the last digit shown must not carry into a new first digit: 0.9999999999999999 in
  // a DECIMAL(31,31) showed 1.000..., and -99999.99999999999 -100000.000..., values their types
  // cannot hold.  There the digits are cut.
  auto integerDigits = [](double x) {
    char whole[400];
    x = std::floor(std::fabs(x));
    return x < 1 ? size_t{0} : static_cast<size_t>(std::snprintf(whole, sizeof whole, "%.0f", x));
  };
  if (std::isfinite(d) && integerDigits(std::strtod(buf, nullptr)) > integerDigits(d)) {
    std::snprintf(buf, sizeof buf, "%.*f", shown + 3, d);
    out.assign(buf, std::strlen(buf) - 3);
    if (shown == 0) out.pop_back();  // the point
  }
  if (shown < scale) {
    if (shown == 0) out += '.';
    out.append(static_cast<size_t>(scale - shown), '0');
  }
  if (out[0] == '-' && std::strspn(out.c_str() + 1, "0.") == out.size() - 1) return out.substr(1);
  return out;
}

std::string Value::str() const {
  switch (kind) {
    case Null: return "";
    case Int: return std::to_string(i);
    case Real: return doubleText(d);
    case Text: case Blob: return s;
  }
  return "";
}

Stmt::Stmt(sqlite3 *db, const std::string &sql) : db_(db) {
  int rc = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &st_, nullptr);
  if (rc != SQLITE_OK) raiseSqlite(db, rc);
}

Stmt::~Stmt() { sqlite3_finalize(st_); }

Stmt &Stmt::bind(int i, const Value &v) {
  int rc = bindValue(st_, i, v);
  if (rc != SQLITE_OK) raiseSqlite(db_, rc);
  return *this;
}

bool Stmt::step() {
  int rc = sqlite3_step(st_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  rc = sqlite3_reset(st_);
  raiseSqlite(db_, rc);
}

void Stmt::reset() {
  sqlite3_reset(st_);
  sqlite3_clear_bindings(st_);
}

std::string Stmt::text(int col) const {
  const unsigned char *p = sqlite3_column_text(st_, col);
  return p ? std::string(reinterpret_cast<const char *>(p), static_cast<size_t>(sqlite3_column_bytes(st_, col))) : std::string();
}

int64_t Stmt::integer(int col) const { return sqlite3_column_int64(st_, col); }
bool Stmt::isNull(int col) const { return sqlite3_column_type(st_, col) == SQLITE_NULL; }

void execSql(sqlite3 *db, const std::string &sql) {
  char *err = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err);
  sqlite3_free(err);
  if (rc != SQLITE_OK) raiseSqlite(db, rc);
}

int bindValue(sqlite3_stmt *st, int i, const Value &v) {
  switch (v.kind) {
    case Value::Null: return sqlite3_bind_null(st, i);
    case Value::Int: return sqlite3_bind_int64(st, i, v.i);
    case Value::Real: return sqlite3_bind_double(st, i, v.d);
    case Value::Text: return sqlite3_bind_text64(st, i, v.s.data(), v.s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    case Value::Blob: return sqlite3_bind_blob64(st, i, v.s.data(), v.s.size(), SQLITE_TRANSIENT);
  }
  return SQLITE_MISUSE;
}

Value columnValue(sqlite3_stmt *st, int col) {
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER: return Value::integer(sqlite3_column_int64(st, col));
    case SQLITE_FLOAT: return Value::real(sqlite3_column_double(st, col));
    case SQLITE_TEXT: {
      const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st, col));
      return Value::text(std::string(p, static_cast<size_t>(sqlite3_column_bytes(st, col))));
    }
    case SQLITE_BLOB: {
      const char *p = static_cast<const char *>(sqlite3_column_blob(st, col));
      size_t n = static_cast<size_t>(sqlite3_column_bytes(st, col));
      return Value::blob(p ? std::string(p, n) : std::string());
    }
    default: return Value::null();
  }
}

std::string trimBlanks(const std::string &s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

bool parseInteger(const std::string &text, int64_t *out) {
  std::string t = trimBlanks(text);
  if (t.empty()) return false;
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(t.c_str(), &end, 10);
  if (*end != '\0' || errno) return false;
  *out = v;
  return true;
}

bool parseNumber(const std::string &text, double *out) {
  std::string t = trimBlanks(text);
  if (t.empty()) return false;
  for (char c : t)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return false;
  char *end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (*end != '\0') return false;
  *out = v;
  return true;
}

void padFixed(std::string *s, int64_t n, bool graphic) {
  int64_t units = static_cast<int64_t>(s->size());
  if (graphic) {
    units = 0;
    for (unsigned char c : *s)
      if ((c & 0xC0) != 0x80) ++units;
  }
  if (units < n) s->append(static_cast<size_t>(n - units), ' ');
}

void dropExcessBlanks(std::string *s, int64_t n, bool graphic) {
  if (static_cast<int64_t>(s->size()) <= n) return;  // a character is at least a byte
  int64_t units = static_cast<int64_t>(s->size());
  if (graphic) {
    units = 0;
    for (unsigned char c : *s)
      if ((c & 0xC0) != 0x80) ++units;
  }
  // Blanks are one byte and one character each.
  while (units > n && !s->empty() && s->back() == ' ') {
    s->pop_back();
    --units;
  }
}

std::string valueText(const Value &v, const QType &t) {
  switch (v.kind) {
    case Value::Null: return "";
    case Value::Blob: return v.s;
    case Value::Int:
      if (t.base == Base::Decimal && t.scale > 0) {
        std::string digits = std::to_string(v.i < 0 ? -v.i : v.i);
        return (v.i < 0 ? "-" : "") + digits + "." + std::string(static_cast<size_t>(t.scale), '0');
      }
      return std::to_string(v.i);
    case Value::Real: {
      char buf[64];
      if (t.base == Base::Decimal) {
        return decimalText(v.d, t.scale);
      } else if (t.base == Base::Integer || t.base == Base::SmallInt || t.base == Base::BigInt) {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.d));
      } else {
        std::string s = t.base == Base::Real ? realText(v.d) : doubleText(v.d);
        if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
        return s;
      }
      return buf;
    }
    case Value::Text:
      if ((t.base == Base::Char || t.base == Base::Graphic) && !t.forBitData) {
        std::string s = v.s;
        padFixed(&s, t.length, t.isGraphic());
        return s;
      }
      return v.s;
  }
  return "";
}

bool fitsFixedAsIs(const Value &v, const QType &t) {
  if (t.base != Base::Char && t.base != Base::Graphic) return false;
  return v.kind != Value::Text || t.forBitData || static_cast<int64_t>(v.s.size()) <= t.length;
}

void convertAssigned(Value *v, const QType &t) {
  switch (t.base) {
    case Base::SmallInt: case Base::Integer: case Base::BigInt:
      if (v->kind == Value::Real && std::fabs(v->d) < 9.2e18) *v = Value::integer(static_cast<int64_t>(v->d));
      return;
    case Base::Decimal: {
      double d;
      if (v->kind == Value::Real) {
        d = v->d;
      } else if (v->kind == Value::Text) {
        // A decimal number only: strtod also read "0x10" as 16 and "nan" as a number that
        // reached the column as NULL.  Other text is left for the column to refuse (-420).
        if (!parseNumber(v->s, &d)) return;
      } else {
        return;
      }
      const double cut = decimalCut(d, t.scale, decimalBound(t.length - t.scale));
      if (t.scale == 0 && std::fabs(cut) < 9.2e18) *v = Value::integer(static_cast<int64_t>(cut));
      else *v = Value::real(cut);
      return;
    }
    case Base::Real: case Base::Double:
      // A number past the type's range is an overflow, as a CAST finds it, never an infinity or
      // a REAL past its range stored as a number.
      if (v->kind == Value::Real &&
          (!std::isfinite(v->d) || (t.base == Base::Real && !std::isfinite(static_cast<float>(v->d)))))
        raise(kSqlOverflow, {t.builtinName()});
      return;
    case Base::Char: case Base::Graphic:
      if (v->kind == Value::Text && !t.forBitData) dropExcessBlanks(&v->s, t.length, t.base == Base::Graphic);
      return;
    case Base::Date: case Base::Time: case Base::Timestamp: {
      if (v->kind != Value::Text) return;
      DateTime d;
      int rc = parseDatetime(v->s, t.base, &d);
      if (rc != 0) raise(rc, {v->s});
      v->s = formatDatetime(d, t.base);
      return;
    }
    default: return;
  }
}

}  // namespace quarn
