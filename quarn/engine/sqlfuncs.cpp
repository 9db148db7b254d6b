/*
 * sqlfuncs.cpp - the SQL functions the translated statements call: QCAST (Quarn cast rules),
 * QGENERATE_UNIQUE, QLENGTH, QSUBSTR, QLOCATE, QCURRENT, QTIMEZONE, QUSER, QDATEPART, QFLOOR, QCEIL, QSIGN, QNUMBER,
 * QFLOATRESULT, QDECRESULT, QARITH, QMOD, QAVG, QLIKEESCAPE, QLIKEPATTERN, QONEROW.
 * A function that refuses a value reports an encoded engine failure (errors.h) as its SQLite
 * error, so the statement fails with the Quarn code.  Thread-safe: the only shared state is
 * the last value of QGENERATE_UNIQUE, under a mutex.
 */
#include <pthread.h>
#include <sqlite3.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "datetime.h"
#include "engine.h"
#include "errors.h"
#include "sqlutil.h"
#include "triggers.h"
#include "types.h"

namespace quarn {
namespace {

void fail(sqlite3_context *ctx, int code, std::vector<std::string> tokens) {
  std::string msg = encodeError(engineError(code, std::move(tokens)));
  sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
}

void fail(sqlite3_context *ctx, int code, const std::string &token) { fail(ctx, code, std::vector<std::string>{token}); }

// QDIVISOR(y): y itself, to divide by; a zero is -801 (22012), where SQLite's division would
// give NULL.
void qdivisor(sqlite3_context *ctx, int, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  const int type = sqlite3_value_numeric_type(v);
  if ((type == SQLITE_INTEGER && sqlite3_value_int64(v) == 0) || (type == SQLITE_FLOAT && sqlite3_value_double(v) == 0.0)) {
    fail(ctx, kSqlDivideByZero, "");
    return;
  }
  sqlite3_result_value(ctx, v);
}

// QINTRESULT(x, bits): the result x of integer arithmetic, checked against the range of its
// type (SMALLINT with 16 bits, INTEGER with 32, BIGINT with 64); outside it is -802 (22003).
// SQLite gives a double where a 64-bit result overflows, and knows no narrower type at all.
void qintresult(sqlite3_context *ctx, int, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  const int bits = sqlite3_value_int(argv[1]);
  const int64_t lo = bits == 16 ? INT16_MIN : bits == 32 ? INT32_MIN : INT64_MIN;
  const int64_t hi = bits == 16 ? INT16_MAX : bits == 32 ? INT32_MAX : INT64_MAX;
  const int type = sqlite3_value_type(v);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    sqlite3_result_value(ctx, v);  // NULL
    return;
  }
  // A double is what SQLite made of a 64-bit overflow: at least 2^63 away from zero.
  if (type == SQLITE_INTEGER) {
    const sqlite3_int64 n = sqlite3_value_int64(v);
    if (n >= lo && n <= hi) {
      sqlite3_result_int64(ctx, n);
      return;
    }
  }
  fail(ctx, kSqlArithmeticOverflow, "");
}

std::string argText(sqlite3_value *v) {
  const unsigned char *p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char *>(p), static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

// The text of a string cast to a number or a datetime, without the white space around it:
// blanks, and the tabs and line ends of XML text (a side-table column is the cast of an
// extracted value, and an indented document's `<date>\n  2024-01-05\n</date>` was -180, while
// the extract function of the type reads it).  White space inside is still refused.
std::string castText(sqlite3_value *v) {
  std::string s = argText(v);
  const char *space = " \t\n\r";
  const size_t b = s.find_first_not_of(space);
  if (b == std::string::npos) return std::string();
  return s.substr(b, s.find_last_not_of(space) - b + 1);
}


// How QCAST treats a string that does not fit the target: kCastExplicit (CAST, and CHAR
// and VARCHAR with a length) cuts it, with the warning +445 (01004) when more than blanks are
// cut; kCastAssignment (a distinct type's cast function, a cast to a distinct type) refuses it
// with -433 (22001) when more than blanks would be cut.
constexpr int kCastExplicit = 0;
constexpr int kCastAssignment = 2;

// s cut to room bytes (characters of graphic types), on a character boundary; false when the
// part cut is more than blanks.
bool fitString(std::string *s, int64_t room, bool graphic, bool bytes) {
  size_t cut;
  if (graphic) {
    int64_t chars = 0;
    cut = s->size();
    for (size_t k = 0; k < s->size(); ++k)
      if ((static_cast<unsigned char>((*s)[k]) & 0xC0) != 0x80 && chars++ == room) {
        cut = k;
        break;
      }
  } else {
    if (static_cast<int64_t>(s->size()) <= room) return true;
    cut = bytes ? static_cast<size_t>(room) : cutUtf8(*s, static_cast<size_t>(room)).size();
  }
  if (cut >= s->size()) return true;
  bool blanks = s->find_first_not_of(' ', cut) == std::string::npos;
  s->resize(cut);
  return blanks;
}

// A DECIMAL type of this scale, for valueText (the precision does not change the text).
QType decimalType(int scale) {
  QType t;
  t.base = Base::Decimal;
  t.length = 31;
  t.scale = scale;
  return t;
}

// QDECTEXT(value, scale): a DECIMAL number as text with its scale ("2600.00"); scale -7: a REAL
// as realText gives it, as it is fetched ("0.02", "1.0000001"); NULL and text as they are.
void qdectext(sqlite3_context *ctx, int, sqlite3_value **argv) {
  int vt = sqlite3_value_type(argv[0]);
  if (vt != SQLITE_INTEGER && vt != SQLITE_FLOAT) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  int scale = sqlite3_value_int(argv[1]);
  if (scale < 0) {
    std::string text = realText(sqlite3_value_double(argv[0]));
    sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return;
  }
  // An integer is exact as it is (a DECIMAL(19,0) has more digits than a double holds).
  std::string text = vt == SQLITE_INTEGER ? valueText(Value::integer(sqlite3_value_int64(argv[0])), decimalType(scale))
                                          : decimalText(sqlite3_value_double(argv[0]), scale);
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// QPAD(value, n): a CHAR(n) value as its n bytes; QPAD(value, n, 1): a GRAPHIC(n) value as its n
// characters; NULL and numbers as they are.
void qpad(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  std::string s = argText(argv[0]);
  padFixed(&s, sqlite3_value_int64(argv[1]), argc > 2 && sqlite3_value_int(argv[2]) != 0);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// QFITFIXED(value, n, graphic): a value assigned to a CHAR(n) (GRAPHIC(n)) column without its
// trailing blanks past n; other values, and text that fits, as they are.
void qfitfixed(sqlite3_context *ctx, int, sqlite3_value **argv) {
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT || sqlite3_value_bytes(argv[0]) <= n) {
    sqlite3_result_value(ctx, argv[0]);
    return;
  }
  std::string s = argText(argv[0]);
  dropExcessBlanks(&s, n, sqlite3_value_int(argv[2]) != 0);
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// The declared type a QCAST converts to, and its name for messages.
struct CastTarget {
  QType type;
  std::string name;
};

// The target of a declared type text, read once per thread: the statements cast to the same
// few types for every row they write.  The entry stays valid until this thread's next call.
const CastTarget &castTarget(sqlite3_value *decl) {
  thread_local std::unordered_map<std::string, CastTarget> known;
  std::string text = argText(decl);
  auto it = known.find(text);
  if (it != known.end()) return it->second;
  if (known.size() >= 256) known.clear();
  CastTarget t;
  t.type = typeFromDecl(text.c_str());
  t.name = t.type.builtinName();
  return known.emplace(std::move(text), std::move(t)).first->second;
}

// QCAST(value, declared type [, how a string that does not fit is treated [, whether the
// value's type lies within a DECIMAL target's range and scale]]).
void qcast(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  int vt = sqlite3_value_type(v);
  if (vt == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const CastTarget &target = castTarget(argv[1]);
  const QType &t = target.type;
  const std::string &name = target.name;
  switch (t.base) {
    case Base::SmallInt: case Base::Integer: case Base::BigInt: {
      int64_t i = 0;
      if (vt == SQLITE_INTEGER) {
        i = sqlite3_value_int64(v);
      } else if (vt == SQLITE_FLOAT) {
        double d = sqlite3_value_double(v);
        // Within [-2^63, 2^63) exactly (NaN fails too): 9223372036854775808 passed the old
        // bound of 9.3e18 and wrapped to the most negative BIGINT.
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return fail(ctx, kSqlOverflow, name);
        i = static_cast<int64_t>(d);
      } else if (vt == SQLITE_TEXT) {
        if (!parseInteger(castText(v), &i)) return fail(ctx, kSqlInvalidChar, name);
      } else {
        return fail(ctx, kSqlInvalidChar, name);
      }
      if ((t.base == Base::SmallInt && (i < -32768 || i > 32767)) ||
          (t.base == Base::Integer && (i < -2147483648LL || i > 2147483647LL)))
        return fail(ctx, kSqlOverflow, name);
      sqlite3_result_int64(ctx, i);
      return;
    }
    case Base::Decimal: case Base::Real: case Base::Double: {
      double d = 0;
      bool isInt = vt == SQLITE_INTEGER;
      int64_t i = isInt ? sqlite3_value_int64(v) : 0;
      if (isInt) d = static_cast<double>(i);
      else if (vt == SQLITE_FLOAT) d = sqlite3_value_double(v);
      else if (vt == SQLITE_TEXT) {
        std::string s = castText(v);
        if (!parseNumber(s, &d)) return fail(ctx, kSqlInvalidChar, name);
        isInt = parseInteger(s, &i);
      } else {
        return fail(ctx, kSqlInvalidChar, name);
      }
      if (t.base == Base::Decimal) {
        // Below 10^(p-s) as a double.  A value whose type lies within the DECIMAL's (the
        // fourth argument) is held to the column's bound instead (decimalBound), which the
        // largest DECIMAL(31,0) is within: its double is the double nearest 10^31, which a
        // literal 10^31 also is, so only the type tells the two apart.
        const bool withinType = argc > 3 && sqlite3_value_int(argv[3]) != 0;
        const double limit = withinType ? decimalBound(t.length - t.scale)
                                        : std::pow(10.0, static_cast<double>(t.length - t.scale));
        if (std::fabs(d) >= limit) return fail(ctx, kSqlOverflow, name);
        if (isInt) {
          sqlite3_result_int64(ctx, i);
          return;
        }
        // Rounded to the 15 significant digits a double holds, then cut to the scale: 1.9999999999999
        // as DECIMAL(5,1) is 1.9 (adding 1e-9 before cutting made it 2.0).
        const double cut = decimalCut(d, t.scale, limit);
        if (t.scale == 0 && std::fabs(cut) < 9223372036854775808.0) sqlite3_result_int64(ctx, static_cast<int64_t>(cut));
        else sqlite3_result_double(ctx, cut);  // past 64 bits no integer holds it
        return;
      }
      // A value past the type's range (text such as 1e400, a DOUBLE past a REAL's range) is an
      // overflow, never an infinity stored as a number.
      if (t.base == Base::Real) {
        const float f = static_cast<float>(d);
        if (std::isfinite(d) && !std::isfinite(f)) return fail(ctx, kSqlOverflow, name);
        d = f;
      }
      if (!std::isfinite(d)) return fail(ctx, kSqlOverflow, name);
      sqlite3_result_double(ctx, d);
      return;
    }
    case Base::Char: case Base::Varchar: case Base::LongVarchar: case Base::Clob: case Base::Graphic:
    case Base::Vargraphic: case Base::LongVargraphic: case Base::DbClob: {
      if (t.forBitData && vt == SQLITE_BLOB) {
        std::string b(static_cast<const char *>(sqlite3_value_blob(v)), static_cast<size_t>(sqlite3_value_bytes(v)));
        b = b.substr(0, static_cast<size_t>(t.catalogLength()));
        sqlite3_result_blob(ctx, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        return;
      }
      // Text that fits a type without padding is the result as it is, with no copy on the way.
      if (vt == SQLITE_TEXT && !t.forBitData && !t.isGraphic() && t.base != Base::Char &&
          sqlite3_value_bytes(v) <= t.catalogLength()) {
        sqlite3_result_value(ctx, v);
        return;
      }
      std::string s = argText(v);
      if (vt == SQLITE_FLOAT) s = doubleText(sqlite3_value_double(v));
      std::string whole = s;
      if (!fitString(&s, t.catalogLength(), t.isGraphic(), t.forBitData)) {
        int mode = argc > 2 ? sqlite3_value_int(argv[2]) : kCastExplicit;
        std::string shown = cutUtf8(whole, 64);
        if (mode == kCastAssignment) return fail(ctx, kSqlValueTooLong, shown);
        if (auto *session = static_cast<Session *>(sqlite3_user_data(ctx)))
          session->setWarning(engineError(kSqlValueTruncated, {shown}));
      }
      // A CHAR(n) value is n bytes, a GRAPHIC(n) value n characters.
      if ((t.base == Base::Char || t.base == Base::Graphic) && !t.forBitData) padFixed(&s, t.length, t.isGraphic());
      if (t.forBitData) sqlite3_result_blob(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      else sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
      return;
    }
    case Base::Blob: {
      const void *p = sqlite3_value_blob(v);
      int n = sqlite3_value_bytes(v);
      if (n > t.length) n = static_cast<int>(t.length);
      sqlite3_result_blob(ctx, p, n, SQLITE_TRANSIENT);
      return;
    }
    case Base::Date: case Base::Time: case Base::Timestamp: {
      DateTime d;
      if (vt == SQLITE_BLOB && t.base == Base::Timestamp && sqlite3_value_bytes(v) == 13) {
        // TIMESTAMP(GENERATE_UNIQUE()): the microseconds the unique value begins with, in UTC.
        const auto *b = static_cast<const unsigned char *>(sqlite3_value_blob(v));
        uint64_t us = 0;
        for (int k = 0; k < 8; ++k) us = us << 8 | b[k];
        time_t secs = static_cast<time_t>(us / 1000000);
        struct tm tmv;
        gmtime_r(&secs, &tmv);
        d.year = tmv.tm_year + 1900, d.month = tmv.tm_mon + 1, d.day = tmv.tm_mday;
        d.hour = tmv.tm_hour, d.minute = tmv.tm_min, d.second = tmv.tm_sec;
        d.micro = static_cast<int>(us % 1000000);
      } else {
        std::string text = castText(v);
        int rc = parseDatetime(text, t.base, &d);
        if (rc != 0) return fail(ctx, rc, text);
      }
      std::string out = formatDatetime(d, t.base);
      sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
      return;
    }
    case Base::None:
      sqlite3_result_value(ctx, v);
      return;
  }
}

std::mutex gUniqueMutex;
uint64_t gLastUnique = 0;
// The process id in unique values, read once (a system call per row cost as much as the rest of
// the function) and again in a child after fork, which must not hand out its parent's values.
uint32_t gUniquePid = 0;

void forgetUniquePid() { gUniquePid = 0; }

// 13 bytes: microseconds since the epoch (made strictly increasing in this process), the
// process id, and a zero byte.
void generateUnique(sqlite3_context *ctx, int, sqlite3_value **) {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  uint64_t now = static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
  uint32_t pid;
  {
    std::lock_guard<std::mutex> lock(gUniqueMutex);
    if (now <= gLastUnique) now = gLastUnique + 1;
    gLastUnique = now;
    if (gUniquePid == 0) {
      static std::once_flag atFork;
      std::call_once(atFork, [] { pthread_atfork(nullptr, nullptr, forgetUniquePid); });
      gUniquePid = static_cast<uint32_t>(getpid());
    }
    pid = gUniquePid;
  }
  unsigned char b[13];
  for (int k = 7; k >= 0; --k) {
    b[k] = static_cast<unsigned char>(now & 0xFF);
    now >>= 8;
  }
  for (int k = 11; k >= 8; --k) {
    b[k] = static_cast<unsigned char>(pid & 0xFF);
    pid >>= 8;
  }
  b[12] = 0;
  sqlite3_result_blob(ctx, b, 13, SQLITE_TRANSIENT);
}

void qlength(sqlite3_context *ctx, int, sqlite3_value **argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: sqlite3_result_null(ctx); return;
    case SQLITE_INTEGER: {
      int64_t v = sqlite3_value_int64(argv[0]);
      sqlite3_result_int(ctx, v >= -2147483648LL && v <= 2147483647LL ? 4 : 8);
      return;
    }
    case SQLITE_FLOAT: sqlite3_result_int(ctx, 8); return;
    default: sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0])); return;
  }
}

// SUBSTR(s, start [, length]) by bytes.  A start below 1 or a negative length fails (22011); a
// substring reaching past the end of the value is padded with blanks, as Quarn pads a string
// up to its length attribute.
void qsubstr(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return;
    }
  bool blob = sqlite3_value_type(argv[0]) == SQLITE_BLOB;
  const char *p = blob ? static_cast<const char *>(sqlite3_value_blob(argv[0]))
                       : reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
  int64_t n = sqlite3_value_bytes(argv[0]);
  int64_t start = sqlite3_value_int64(argv[1]);
  int64_t len = argc > 2 ? sqlite3_value_int64(argv[2]) : (start <= n ? n - start + 1 : 0);
  if (start < 1 || len < 0 || len > 2147483647 || start > 2147483647) return fail(ctx, kSqlSubstrRange, "SUBSTR");
  std::string out;
  if (start <= n) out.assign(p ? p + start - 1 : "", static_cast<size_t>(std::min(len, n - start + 1)));
  if (static_cast<int64_t>(out.size()) < len && !blob) out.append(static_cast<size_t>(len) - out.size(), ' ');
  if (blob) sqlite3_result_blob(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
  else sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// HEX(x): the bytes of x as hexadecimal digits; NULL for NULL.
void qhex(sqlite3_context *ctx, int, sqlite3_value **argv) {
  static const char *const kHex = "0123456789ABCDEF";
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto *p = static_cast<const unsigned char *>(sqlite3_value_blob(argv[0]));
  int n = sqlite3_value_bytes(argv[0]);
  std::string out;
  out.reserve(static_cast<size_t>(n) * 2);
  for (int k = 0; k < n; ++k) {
    out.push_back(kHex[p[k] >> 4]);
    out.push_back(kHex[p[k] & 15]);
  }
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void qlocate(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return;
    }
  std::string pat = argText(argv[0]), s = argText(argv[1]);
  int64_t start = argc > 2 ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  size_t at = s.find(pat, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// The statement's clock (Session::statementClock) of the session that runs the statement; the
// wall clock where no session does.
int64_t clockMicros(sqlite3_context *ctx) {
  auto *s = static_cast<Session *>(sqlite3_user_data(ctx));
  if (!s) s = currentSession();
  if (s) return s->statementClock();
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
}

std::string nowText(const std::string &what, int64_t micros) {
  const time_t secs = static_cast<time_t>(micros / 1000000);
  struct tm tmv;
  localtime_r(&secs, &tmv);
  char buf[64];  // room for any year the fields can hold
  if (what == "DATE") std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday);
  else if (what == "TIME") std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
  else
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06ld", tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday,
                  tmv.tm_hour, tmv.tm_min, tmv.tm_sec, static_cast<long>(micros % 1000000));
  return buf;
}

// CURRENT DATE / TIME / TIMESTAMP: one value per statement execution, whatever the number of
// references: each reads the session's statement clock (two references read two clocks before,
// so INSERT ... VALUES (CURRENT TIMESTAMP, CURRENT TIMESTAMP) stored two values), and keeps its
// text as auxiliary data of the constant argument for the rows after.
void qcurrent(sqlite3_context *ctx, int, sqlite3_value **argv) {
  auto *cached = static_cast<std::string *>(sqlite3_get_auxdata(ctx, 0));
  if (!cached) {
    std::string v = nowText(argText(argv[0]), clockMicros(ctx));
    sqlite3_result_text(ctx, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    sqlite3_set_auxdata(ctx, 0, new std::string(std::move(v)), [](void *p) { delete static_cast<std::string *>(p); });
    return;
  }
  sqlite3_result_text(ctx, cached->data(), static_cast<int>(cached->size()), SQLITE_TRANSIENT);
}

// CURRENT TIMEZONE: the local time's offset from UTC at the statement's clock as a time
// duration, hhmmss (53000 for +05:30, -40000 for -04:00).
void qtimezone(sqlite3_context *ctx, int, sqlite3_value **) {
  const time_t secs = static_cast<time_t>(clockMicros(ctx) / 1000000);
  struct tm tmv;
  localtime_r(&secs, &tmv);
  const long off = tmv.tm_gmtoff, a = off < 0 ? -off : off;
  const long hhmmss = a / 3600 * 10000 + a % 3600 / 60 * 100 + a % 60;
  sqlite3_result_int64(ctx, off < 0 ? -hhmmss : hhmmss);
}

// USER as a column default: the user of the session whose statement takes the default (the
// connection's own session; the thread's current one on a connection without a session).
void quser(sqlite3_context *ctx, int, sqlite3_value **) {
  auto *s = static_cast<Session *>(sqlite3_user_data(ctx));
  if (!s) s = currentSession();
  if (!s) return sqlite3_result_null(ctx);
  const std::string &u = s->user();
  sqlite3_result_text(ctx, u.data(), static_cast<int>(u.size()), SQLITE_TRANSIENT);
}

// QIDENTITY(sequence, generated): the next value of an identity column's sequence (its row of
// SYSQUARN.SEQUENCES moves on by its increment).  Values drawn are not given back when the
// statement fails, as the host's identity values are not.
void qidentity(sqlite3_context *ctx, int, sqlite3_value **argv) {
  sqlite3 *db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt *st = nullptr;
  int rc = sqlite3_prepare_v2(db,
                              "UPDATE \"SYSQUARN.SEQUENCES\" SET NEXTVAL = NEXTVAL + INCREMENT WHERE SEQNAME = ?1 "
                              "RETURNING NEXTVAL - INCREMENT",
                              -1, &st, nullptr);
  if (rc == SQLITE_OK) sqlite3_bind_value(st, 1, argv[0]);
  if (rc == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
    sqlite3_result_int64(ctx, sqlite3_column_int64(st, 0));
    sqlite3_finalize(st);
    return;
  }
  sqlite3_finalize(st);
  fail(ctx, kSqlSystem, "identity " + argText(argv[0]));
}

// QDATEPART(value, part): YEAR ... SECOND, MICROSECOND of a date, time or timestamp string.
void qdatepart(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string text = argText(argv[0]), part = argText(argv[1]);
  DateTime d;
  bool timePart = part == "HOUR" || part == "MINUTE" || part == "SECOND" || part == "MICROSECOND";
  int rc = parseDatetime(text, Base::Timestamp, &d);
  if (rc != 0) rc = parseDatetime(text, timePart ? Base::Time : Base::Date, &d);
  if (rc != 0) return fail(ctx, rc, trimBlanks(text));
  int v = part == "YEAR" ? d.year : part == "MONTH" ? d.month : part == "DAY" ? d.day : part == "HOUR" ? d.hour
          : part == "MINUTE" ? d.minute : part == "SECOND" ? d.second : d.micro;
  sqlite3_result_int(ctx, v);
}

// The datetime of base that argument a holds, or a failure reported on ctx (false).
bool datetimeArg(sqlite3_context *ctx, sqlite3_value *a, Base base, DateTime *d) {
  std::string text = argText(a);
  int rc = parseDatetime(text, base, d);
  if (rc != 0) {
    fail(ctx, rc, trimBlanks(text));
    return false;
  }
  return true;
}

Base baseNamed(const std::string &n) { return n == "DATE" ? Base::Date : n == "TIME" ? Base::Time : Base::Timestamp; }

bool anyNull(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  for (int k = 0; k < argc; ++k)
    if (sqlite3_value_type(argv[k]) == SQLITE_NULL) {
      sqlite3_result_null(ctx);
      return true;
    }
  return false;
}

void resultText(sqlite3_context *ctx, const std::string &s) {
  sqlite3_result_text(ctx, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

// QDTADD(value, n, unit, base): value + n units (a labeled duration).
void qdtadd(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  Base base = baseNamed(argText(argv[3]));
  DateTime d;
  if (!datetimeArg(ctx, argv[0], base, &d)) return;
  // A time moves around the clock: it has no date to carry into.
  if (base == Base::Time) d.year = 2000, d.month = 1, d.day = 1;
  if (!addDuration(&d, static_cast<int64_t>(sqlite3_value_double(argv[1])), argText(argv[2])))
    return fail(ctx, kSqlDatetimeOverflow, argText(argv[2]));
  resultText(ctx, formatDatetime(d, base));
}

// QDTDIFF(a, b, base): a - b as the host's date, time or timestamp duration.
void qdtdiff(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  Base base = baseNamed(argText(argv[2]));
  DateTime a, b;
  if (!datetimeArg(ctx, argv[0], base, &a) || !datetimeArg(ctx, argv[1], base, &b)) return;
  double r = durationBetween(a, b, base);
  if (base == Base::Timestamp) sqlite3_result_double(ctx, r);
  else sqlite3_result_int64(ctx, static_cast<int64_t>(r));
}

// QDAYS(date): days since 0001-01-01 (that day is 1).
void qdays(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  DateTime d;
  if (!datetimeArg(ctx, argv[0], Base::Date, &d)) return;
  sqlite3_result_int64(ctx, dayNumber(d));
}

// QTSJOIN(date, time): TIMESTAMP(date, time).
void qtsjoin(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  DateTime d, t;
  if (!datetimeArg(ctx, argv[0], Base::Date, &d) || !datetimeArg(ctx, argv[1], Base::Time, &t)) return;
  d.hour = t.hour, d.minute = t.minute, d.second = t.second;
  resultText(ctx, formatDatetime(d, Base::Timestamp));
}

// QCHARDT(value, base, format): CHAR(date or time, ISO|USA|EUR|JIS|LOCAL).
void qchardt(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  Base base = baseNamed(argText(argv[1]));
  DateTime d;
  if (!datetimeArg(ctx, argv[0], base, &d)) return;
  resultText(ctx, formatIn(d, base, argText(argv[2])));
}

// QVARCHAR_FORMAT(timestamp, format).
void qvarcharformat(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  DateTime d;
  if (!datetimeArg(ctx, argv[0], Base::Timestamp, &d)) return;
  std::string out;
  if (!formatTimestamp(d, argText(argv[1]), &out)) return fail(ctx, kSqlBadArgument, std::vector<std::string>{"2", "VARCHAR_FORMAT"});
  resultText(ctx, out);
}

// QDIGITS(number, digits): the absolute value's digits, zero-filled to the type's precision.
void qdigits(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  int digits = sqlite3_value_int(argv[1]);
  int scale = argc > 2 ? sqlite3_value_int(argv[2]) : 0;
  char buf[64];
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER && scale == 0) {
    int64_t v = sqlite3_value_int64(argv[0]);
    uint64_t a = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    std::snprintf(buf, sizeof buf, "%0*llu", digits, static_cast<unsigned long long>(a));
  } else {
    double a = std::fabs(sqlite3_value_double(argv[0])) * std::pow(10.0, scale);
    std::snprintf(buf, sizeof buf, "%0*.0f", digits, std::trunc(a + 1e-7));
  }
  std::string out = buf;
  if (static_cast<int>(out.size()) > digits) out = out.substr(out.size() - static_cast<size_t>(digits));
  resultText(ctx, out);
}

// The UTF-8 characters of s.
std::vector<std::string_view> utf8Chars(std::string_view s) {
  std::vector<std::string_view> out;
  for (size_t k = 0; k < s.size();) {
    size_t n = 1;
    while (k + n < s.size() && (static_cast<unsigned char>(s[k + n]) & 0xC0) == 0x80) ++n;
    out.push_back(s.substr(k, n));
    k += n;
  }
  return out;
}

// QTRANSLATE(s, to, from, pad): each character of s found in from is replaced by the character
// at the same place in to (to padded with pad); others stay.  Characters are UTF-8.
void qtranslate(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  auto chars = [](const std::string &x) {
    const std::vector<std::string_view> each = utf8Chars(x);
    return std::vector<std::string>(each.begin(), each.end());
  };
  std::vector<std::string> s = chars(argText(argv[0])), to = chars(argText(argv[1])), from = chars(argText(argv[2]));
  std::vector<std::string> pad = chars(argText(argv[3]));
  std::string out;
  for (const std::string &c : s) {
    size_t k = 0;
    while (k < from.size() && from[k] != c) ++k;
    if (k == from.size()) out += c;
    else if (k < to.size()) out += to[k];
    else out += pad.empty() ? " " : pad[0];
  }
  resultText(ctx, out);
}

void qround(sqlite3_context *ctx, int, sqlite3_value **argv, int mode) {
  int vt = sqlite3_value_type(argv[0]);
  if (vt == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  if (vt == SQLITE_INTEGER) {
    int64_t v = sqlite3_value_int64(argv[0]);
    sqlite3_result_int64(ctx, mode == 2 ? (v > 0) - (v < 0) : v);
    return;
  }
  double d = sqlite3_value_double(argv[0]);
  if (mode == 0) sqlite3_result_double(ctx, std::floor(d));
  else if (mode == 1) sqlite3_result_double(ctx, std::ceil(d));
  else sqlite3_result_double(ctx, (d > 0) - (d < 0));
}

// QROUND(x [, places]): x rounded to places digits after the point (0 when left out), halves
// away from zero; negative places round to tens, hundreds, ... (SQLite's round takes them as 0:
// ROUND(1234.5, -2) was 1235).  An integer stays an integer (-802 where the rounded value is
// past BIGINT); for a double and places from 0 the result is SQLite's round's.
void qroundPlaces(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (anyNull(ctx, argc, argv)) return;
  const int64_t places = argc > 1 ? sqlite3_value_int64(argv[1]) : 0;
  if (sqlite3_value_numeric_type(argv[0]) == SQLITE_INTEGER) {
    const int64_t v = sqlite3_value_int64(argv[0]);
    if (places >= 0) return sqlite3_result_int64(ctx, v);
    if (places < -38) return sqlite3_result_int64(ctx, 0);  // past 10^38 every BIGINT rounds to 0
    __int128 unit = 1;
    for (int64_t k = 0; k < -places; ++k) unit *= 10;
    __int128 q = v / unit, rem = v % unit;
    if (2 * (rem < 0 ? -rem : rem) >= unit) q += v < 0 ? -1 : 1;
    const __int128 r = q * unit;
    if (r < INT64_MIN || r > INT64_MAX) return fail(ctx, kSqlArithmeticOverflow, "");
    return sqlite3_result_int64(ctx, static_cast<int64_t>(r));
  }
  double d = sqlite3_value_double(argv[0]);
  if (places < 0) {
    const double unit = std::pow(10.0, static_cast<double>(-places));
    d = std::isfinite(unit) ? std::round(d / unit) * unit : 0.0;
    return sqlite3_result_double(ctx, d == 0 ? 0.0 : d);
  }
  // As SQLite's round: a double this large has no fraction; else the decimal text rounded.
  if (d >= -4503599627370496.0 && d <= 4503599627370496.0) {
    if (places == 0) {
      d = static_cast<double>(static_cast<int64_t>(d + (d < 0 ? -0.5 : 0.5)));
    } else {
      char *text = sqlite3_mprintf("%!.*f", static_cast<int>(std::min<int64_t>(places, 30)), d);
      if (!text) return sqlite3_result_error_nomem(ctx);
      d = std::strtod(text, nullptr);
      sqlite3_free(text);
    }
  }
  sqlite3_result_double(ctx, d);
}

// QFLOATRESULT(x [, real]): the result x of floating arithmetic, which is done in double
// precision: an infinity (or NaN) is -802 (22003), where SQLite passed it on for a comparison or
// a CAST to take for a number; with real 1 (a REAL result) so is a value past a REAL's range
// (3e38 * 10 was 3e+39 typed REAL).
void qfloatresult(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  const bool real = argc > 1 && sqlite3_value_int(argv[1]) != 0;
  if (sqlite3_value_type(v) == SQLITE_FLOAT) {
    const double d = sqlite3_value_double(v);
    if (!std::isfinite(d) || (real && !std::isfinite(static_cast<float>(d)))) return fail(ctx, kSqlArithmeticOverflow, "");
  }
  sqlite3_result_value(ctx, v);
}

// A number as SQLite's arithmetic takes an operand: NULL, an integer or a double.
struct Operand {
  int type;  // SQLITE_NULL, SQLITE_INTEGER or SQLITE_FLOAT
  int64_t i;
  double d;
};

Operand operandOf(sqlite3_value *v) {
  switch (sqlite3_value_numeric_type(v)) {
    case SQLITE_NULL: return {SQLITE_NULL, 0, 0};
    case SQLITE_INTEGER: return {SQLITE_INTEGER, sqlite3_value_int64(v), 0};
    case SQLITE_FLOAT: return {SQLITE_FLOAT, 0, sqlite3_value_double(v)};
    default: {
      // Text that is no number: its leading number, as SQLite reads it (character strings of a
      // known type reach arithmetic through QNUMBER, which refuses them).
      const int64_t i = sqlite3_value_int64(v);
      const double d = sqlite3_value_double(v);
      if (d == static_cast<double>(i)) return {SQLITE_INTEGER, i, 0};
      return {SQLITE_FLOAT, 0, d};
    }
  }
}

double realOf(const Operand &x) { return x.type == SQLITE_INTEGER ? static_cast<double>(x.i) : x.d; }

// a op b as SQLite computes it: integers in 64 bits, in double precision where that overflows
// or either is a double; 'r' divides the double of a.  A NaN is NULL.  b is not zero.
Operand arithmetic(const Operand &a, char op, const Operand &b) {
  if (a.type == SQLITE_NULL || b.type == SQLITE_NULL) return {SQLITE_NULL, 0, 0};
  if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER && op != 'r') {
    int64_t r = 0;
    bool overflow = false;
    switch (op) {
      case '+': overflow = __builtin_add_overflow(a.i, b.i, &r); break;
      case '-': overflow = __builtin_sub_overflow(a.i, b.i, &r); break;
      case '*': overflow = __builtin_mul_overflow(a.i, b.i, &r); break;
      default:
        overflow = a.i == INT64_MIN && b.i == -1;
        if (!overflow) r = a.i / b.i;
        break;
    }
    if (!overflow) return {SQLITE_INTEGER, r, 0};
  }
  const double x = realOf(a), y = realOf(b);
  const double r = op == '+' ? x + y : op == '-' ? x - y : op == '*' ? x * y : x / y;
  if (std::isnan(r)) return {SQLITE_NULL, 0, 0};
  return {SQLITE_FLOAT, 0, r};
}

// x brought to DECIMAL(p,s) as a DECIMAL result is: a double cut to s digits after the point
// (decimalCut: within the noise of binary arithmetic of a whole number of units, that number),
// an integer as it is; false when it is past the precision (|x| not below 10^(p-s), as a
// DECIMAL column bounds its doubles).
bool decimalResult(Operand *x, int p, int s) {
  if (x->type == SQLITE_INTEGER) {
    if (p - s >= 19) return true;
    int64_t bound = 1;
    for (int k = 0; k < p - s; ++k) bound *= 10;
    return x->i > -bound && x->i < bound;
  }
  if (x->type != SQLITE_FLOAT) return true;
  if (!std::isfinite(x->d)) return false;
  const double bound = decimalBound(p - s);
  x->d = decimalCut(x->d, s, bound);
  return std::fabs(x->d) < bound;
}

void resultOperand(sqlite3_context *ctx, const Operand &x) {
  if (x.type == SQLITE_INTEGER) sqlite3_result_int64(ctx, x.i);
  else if (x.type == SQLITE_FLOAT) sqlite3_result_double(ctx, x.d);
  else sqlite3_result_null(ctx);
}

// QDECRESULT(x, p, s): the result x of DECIMAL arithmetic (a negation, SUM, AVG, MOD) brought to
// its type DECIMAL(p,s), as decimalResult does; past the precision -802 (22003).  SQLite's
// doubles were passed on: 0.1 + 0.2 was not 0.3, and 20.00 / 3 showed 6.67 but cast to 6.66.
void qdecresult(sqlite3_context *ctx, int, sqlite3_value **argv) {
  Operand x = operandOf(argv[0]);
  if (!decimalResult(&x, sqlite3_value_int(argv[1]), sqlite3_value_int(argv[2])))
    return fail(ctx, kSqlArithmeticOverflow, "");
  resultOperand(ctx, x);
}

// One step of QARITH: its operator and the check of its result, with the precision and scale
// of a DECIMAL result.
struct ArithStep {
  char op, check;
  int precision, scale;
};

// The steps of a QARITH call: each an operator (+ - * /, 'r') and a check ('i', 'b', 'f', 'r',
// '.', or 'd' followed by two digits of precision and two of scale); false when malformed.
bool parseSteps(const std::string &text, std::vector<ArithStep> *steps) {
  for (size_t k = 0; k < text.size();) {
    if (k + 2 > text.size()) return false;
    ArithStep st{text[k], text[k + 1], 0, 0};
    k += 2;
    if (st.check == 'd') {
      if (k + 4 > text.size()) return false;
      for (size_t j = k; j < k + 4; ++j)
        if (text[j] < '0' || text[j] > '9') return false;
      st.precision = (text[k] - '0') * 10 + (text[k + 1] - '0');
      st.scale = (text[k + 2] - '0') * 10 + (text[k + 3] - '0');
      k += 4;
    }
    steps->push_back(st);
  }
  return true;
}

// QARITH(x0, x1, ..., xn, steps): x0 op1 x1 op2 x2 ... computed from left to right, steps
// holding each step's operator (+ - * /, 'r' a quotient of the left side as a double) and the
// check of its result: 'i' an integer within 32 bits, 'b' an integer within 64 (a double is
// what SQLite makes of a 64-bit overflow), 'f' finite, 'r' within a REAL's range, 'dPPSS' a
// DECIMAL(PP,SS) result brought to its type (decimalResult), '.' none; past it -802 (22003), as
// QINTRESULT, QFLOATRESULT and QDECRESULT refuse one operation's result.  A zero divisor is -801
// (22012), as QDIVISOR's, whatever the dividend; a NULL on either side is NULL.  The translator
// writes a chain of operators as one call instead of nesting one check per operator (the steps
// come last so that a call continuing another is its first argument, which SQLite's parser
// nests most deeply).
void qarith(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc < 2) return sqlite3_result_error(ctx, "QARITH: steps and operands do not match", -1);
  // The steps are a constant of the statement: parsed at its first row and kept with it.
  using Steps = std::vector<ArithStep>;
  std::unique_ptr<Steps> parsed;
  const auto *steps = static_cast<const Steps *>(sqlite3_get_auxdata(ctx, argc - 1));
  if (steps == nullptr) {
    parsed = std::make_unique<Steps>();
    if (!parseSteps(argText(argv[argc - 1]), parsed.get()) || parsed->size() != static_cast<size_t>(argc - 2))
      return sqlite3_result_error(ctx, "QARITH: steps and operands do not match", -1);
    steps = parsed.get();
  }
  Operand acc = operandOf(argv[0]);
  for (int k = 1; k < argc - 1; ++k) {
    const ArithStep &st = (*steps)[static_cast<size_t>(k - 1)];
    const Operand b = operandOf(argv[k]);
    if (acc.type != SQLITE_NULL && (st.op == '/' || st.op == 'r') &&
        ((b.type == SQLITE_INTEGER && b.i == 0) || (b.type == SQLITE_FLOAT && b.d == 0.0)))
      return fail(ctx, kSqlDivideByZero, "");
    acc = arithmetic(acc, st.op, b);
    if (acc.type == SQLITE_NULL) continue;
    bool bad = false;
    switch (st.check) {
      case 'i': bad = acc.type != SQLITE_INTEGER || acc.i < INT32_MIN || acc.i > INT32_MAX; break;
      case 'b': bad = acc.type != SQLITE_INTEGER; break;
      case 'f': bad = acc.type == SQLITE_FLOAT && !std::isfinite(acc.d); break;
      case 'r': bad = acc.type == SQLITE_FLOAT && !std::isfinite(static_cast<float>(acc.d)); break;
      case 'd': bad = !decimalResult(&acc, st.precision, st.scale); break;
      default: break;
    }
    if (bad) return fail(ctx, kSqlArithmeticOverflow, "");
  }
  resultOperand(ctx, acc);
  if (parsed != nullptr)
    sqlite3_set_auxdata(ctx, argc - 1, parsed.release(), [](void *p) { delete static_cast<Steps *>(p); });
}

// QMOD(a, b): the remainder of a / b, with the sign of a: of integers in 64 bits, else of whole
// units of the decimals' scale (decimalUnits), else of the doubles (MOD(7.9, 2.5) is 0.4,
// MOD(-7.5, 2) -1.5, where SQLite's % cut both to integers and MOD(5, 0.5) divided by zero).  NULL when either is NULL; a zero b is -801 (22012).
void qmod(sqlite3_context *ctx, int, sqlite3_value **argv) {
  const Operand a = operandOf(argv[0]), b = operandOf(argv[1]);
  if (a.type == SQLITE_NULL || b.type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if ((b.type == SQLITE_INTEGER && b.i == 0) || (b.type == SQLITE_FLOAT && b.d == 0.0))
    return fail(ctx, kSqlDivideByZero, "");
  if (a.type == SQLITE_INTEGER && b.type == SQLITE_INTEGER)
    return sqlite3_result_int64(ctx, b.i == -1 ? 0 : a.i % b.i);
  // Decimals in whole units of their scale, where the remainder is exact: fmod of the doubles
  // gave MOD(0.3, 0.1) as 0.09999999999999998, a remainder as large as the divisor once cut.
  double ua, ub, f;
  if (decimalUnits(realOf(a), realOf(b), &ua, &ub, &f) && ub != 0) {
    const double r = std::fmod(ua, ub) / f;
    return sqlite3_result_double(ctx, r == 0 ? 0.0 : r);
  }
  const double r = std::fmod(realOf(a), realOf(b));
  if (std::isnan(r)) return fail(ctx, kSqlArithmeticOverflow, "");  // an infinite dividend
  sqlite3_result_double(ctx, r);
}

// QAVG(x): the mean of floating values without overflow: the sum divided by the count while the
// sum is finite (SQLite's avg), else a running mean that scales each value by the count before
// adding it (the mean of 1e308, 1e308 and 1 was an infinity); a mean that is itself past a
// DOUBLE's range is -802 (22003).  NULLs are passed over; no value gives NULL.
struct MeanAcc {
  double sum;
  double mean;
  int64_t count;
};

void qavgStep(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  auto *acc = static_cast<MeanAcc *>(sqlite3_aggregate_context(ctx, sizeof(MeanAcc)));
  if (!acc) return sqlite3_result_error_nomem(ctx);
  const double x = sqlite3_value_double(argv[0]);
  ++acc->count;
  acc->sum += x;
  const double n = static_cast<double>(acc->count);
  acc->mean += x / n - acc->mean / n;
}

void qavgFinal(sqlite3_context *ctx) {
  auto *acc = static_cast<MeanAcc *>(sqlite3_aggregate_context(ctx, 0));
  if (!acc || acc->count == 0) return sqlite3_result_null(ctx);
  const double mean = std::isfinite(acc->sum) ? acc->sum / static_cast<double>(acc->count) : acc->mean;
  if (!std::isfinite(mean)) return fail(ctx, kSqlArithmeticOverflow, "");
  sqlite3_result_double(ctx, mean);
}

// QLIKEESCAPE(e): the escape character of LIKE; one that is not one character is -130 (22019),
// where SQLite's own error was -901.  NULL as it is.
void qlikeescape(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::string e = argText(argv[0]);
  if (utf8Chars(e).size() != 1) return fail(ctx, kSqlEscapeInvalid, std::vector<std::string>{});
  sqlite3_result_value(ctx, argv[0]);
}

// QLIKEPATTERN(p, e): a LIKE pattern with the escape character e, whose every escape is followed
// by '%', '_' or the escape character itself; any other occurrence (before an ordinary
// character, or last) is -130 (22019), where SQLite matched the character after it or nothing.
// NULLs as they are.
void qlikepattern(sqlite3_context *ctx, int, sqlite3_value **argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_value(ctx, argv[0]);
  const std::string p = argText(argv[0]), e = argText(argv[1]);
  const std::vector<std::string_view> chars = utf8Chars(p);
  for (size_t k = 0; k < chars.size(); ++k) {
    if (chars[k] != e) continue;
    if (k + 1 == chars.size() || (chars[k + 1] != "%" && chars[k + 1] != "_" && chars[k + 1] != e))
      return fail(ctx, kSqlEscapeInvalid, std::vector<std::string>{});
    ++k;
  }
  sqlite3_result_value(ctx, argv[0]);
}

// QNUMBER(x): a character string operand of arithmetic read as the number it spells (leading
// and trailing blanks allowed): an integer when it is one, else a double; -420 (22018) when it
// spells no number, where SQLite would read 'abc' as 0 and '12abc' as 12.  Numbers and NULL
// pass as they are.
void qnumber(sqlite3_context *ctx, int, sqlite3_value **argv) {
  sqlite3_value *v = argv[0];
  if (sqlite3_value_type(v) != SQLITE_TEXT && sqlite3_value_type(v) != SQLITE_BLOB) return sqlite3_result_value(ctx, v);
  const std::string text = argText(v);
  int64_t i = 0;
  double d = 0;
  if (parseInteger(text, &i)) return sqlite3_result_int64(ctx, i);
  if (!parseNumber(text, &d)) return fail(ctx, kSqlInvalidChar, "DOUBLE");
  if (!std::isfinite(d)) return fail(ctx, kSqlOverflow, "");
  sqlite3_result_double(ctx, d);
}

// QONEROW(x): the aggregate around a scalar fullselect's rows (at most two are read): the one
// row's value, NULL without a row, and -811 (21000) at a second row, where SQLite would take
// the first row and pass over the rest.
struct OneRow {
  sqlite3_value *value;
  int rows;
};

void qonerowStep(sqlite3_context *ctx, int, sqlite3_value **argv) {
  auto *acc = static_cast<OneRow *>(sqlite3_aggregate_context(ctx, sizeof(OneRow)));
  if (!acc) return sqlite3_result_error_nomem(ctx);
  if (++acc->rows > 1) return fail(ctx, kSqlMultipleRows, "");
  acc->value = sqlite3_value_dup(argv[0]);
  if (!acc->value) sqlite3_result_error_nomem(ctx);
}

void qonerowFinal(sqlite3_context *ctx) {
  auto *acc = static_cast<OneRow *>(sqlite3_aggregate_context(ctx, 0));
  if (!acc || !acc->value) return sqlite3_result_null(ctx);
  if (acc->rows == 1) sqlite3_result_value(ctx, acc->value);
  sqlite3_value_free(acc->value);
}

}  // namespace

void registerFunctions(sqlite3 *db, Session *s) {
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(db, "QCAST", 2, det, s, qcast, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QCAST", 3, det, s, qcast, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QCAST", 4, det, s, qcast, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDIVISOR", 1, det, nullptr, qdivisor, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QINTRESULT", 2, det, nullptr, qintresult, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QGENERATE_UNIQUE", 0, SQLITE_UTF8, nullptr, generateUnique, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QLENGTH", 1, det, nullptr, qlength, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QSUBSTR", 2, det, nullptr, qsubstr, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QSUBSTR", 3, det, nullptr, qsubstr, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QHEX", 1, det, nullptr, qhex, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QFITFIXED", 3, det, nullptr, qfitfixed, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QPAD", 2, det, nullptr, qpad, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QPAD", 3, det, nullptr, qpad, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDECTEXT", 2, det, nullptr, qdectext, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QLOCATE", 2, det, nullptr, qlocate, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QLOCATE", 3, det, nullptr, qlocate, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QCURRENT", 1, SQLITE_UTF8, s, qcurrent, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QTIMEZONE", 0, SQLITE_UTF8, s, qtimezone, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QUSER", 0, SQLITE_UTF8, s, quser, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDATEPART", 2, det, nullptr, qdatepart, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QIDENTITY", 2, SQLITE_UTF8, nullptr, qidentity, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDTADD", 4, det, nullptr, qdtadd, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDTDIFF", 3, det, nullptr, qdtdiff, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDAYS", 1, det, nullptr, qdays, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QTSJOIN", 2, det, nullptr, qtsjoin, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QCHARDT", 3, det, nullptr, qchardt, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QVARCHAR_FORMAT", 2, det, nullptr, qvarcharformat, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDIGITS", 2, det, nullptr, qdigits, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDIGITS", 3, det, nullptr, qdigits, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QTRANSLATE", 4, det, nullptr, qtranslate, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QROUND", 1, det, nullptr, qroundPlaces, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QROUND", 2, det, nullptr, qroundPlaces, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(
      db, "QFLOOR", 1, det, nullptr, [](sqlite3_context *c, int n, sqlite3_value **a) { qround(c, n, a, 0); }, nullptr,
      nullptr, nullptr);
  sqlite3_create_function_v2(
      db, "QCEIL", 1, det, nullptr, [](sqlite3_context *c, int n, sqlite3_value **a) { qround(c, n, a, 1); }, nullptr,
      nullptr, nullptr);
  sqlite3_create_function_v2(
      db, "QSIGN", 1, det, nullptr, [](sqlite3_context *c, int n, sqlite3_value **a) { qround(c, n, a, 2); }, nullptr,
      nullptr, nullptr);
  sqlite3_create_function_v2(db, "QFLOATRESULT", 1, det, nullptr, qfloatresult, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QFLOATRESULT", 2, det, nullptr, qfloatresult, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QDECRESULT", 3, det, nullptr, qdecresult, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QLIKEESCAPE", 1, det, nullptr, qlikeescape, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QLIKEPATTERN", 2, det, nullptr, qlikepattern, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QMOD", 2, det, nullptr, qmod, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QAVG", 1, det, nullptr, nullptr, qavgStep, qavgFinal, nullptr);
  sqlite3_create_function_v2(db, "QARITH", -1, det, nullptr, qarith, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QNUMBER", 1, det, nullptr, qnumber, nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "QONEROW", 1, det, nullptr, nullptr, qonerowStep, qonerowFinal, nullptr);
  registerTriggerFunctions(db);
}

}  // namespace quarn
