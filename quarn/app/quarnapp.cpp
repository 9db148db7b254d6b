/*
 * quarnapp.cpp - the embedded-SQL runtime over the engine: connections (the thread's current
 * one and explicit handles), statements with host variables, cursors, units of work, locators
 * and the no-op bind.  Each entry catches everything, so no exception leaves the library.
 */
#include "quarnapp.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine.h"

struct quarn_session {
  std::unique_ptr<quarn::Session> session;
};

struct quarn_stmt {
  std::unique_ptr<quarn::Statement> stmt;
  quarn::Session *session = nullptr;
};

namespace {

using quarn::QError;
using quarn::Value;

// The connection CONNECT TO made on this thread; destroyed (rolled back) when the thread ends.
thread_local std::unique_ptr<quarn_session> tConnected;
thread_local quarn_session *tCurrentHandle = nullptr;

int fail(sqlca *ca, int code, std::vector<std::string> tokens = {}) {
  quarn::setSqlca(ca, quarn::engineError(code, std::move(tokens)));
  return code;
}

quarn::Session *current() { return quarn::currentSession(); }

short baseType(short t) { return static_cast<short>(t & ~1); }

std::string fileName(const sqlfile *f) {
  size_t n = f->name_length;
  if (n > sizeof f->name) n = sizeof f->name;
  return std::string(f->name, strnlen(f->name, n));
}

// A packed decimal host variable: precision in the low byte of sqllen, scale in the high byte;
// (precision + 2) / 2 bytes of digits, two a byte, the last half byte the sign (D negative).
int decimalPrecision(sqlint32 sqllen) { return sqllen & 0xFF; }
int decimalScale(sqlint32 sqllen) { return (sqllen >> 8) & 0xFF; }
size_t packedBytes(sqlint32 sqllen) { return static_cast<size_t>(decimalPrecision(sqllen) + 2) / 2; }

// The value of a packed decimal: an integer when its scale is 0 and it fits, else a double.
// False for a digit or sign half byte that is not one.
bool readPacked(const unsigned char *p, sqlint32 sqllen, Value *out) {
  size_t n = packedBytes(sqllen);
  int scale = decimalScale(sqllen);
  std::string digits;
  for (size_t k = 0; k < n; ++k) {
    int hi = p[k] >> 4, lo = p[k] & 15;
    if (hi > 9) return false;
    digits.push_back(static_cast<char>('0' + hi));
    if (k + 1 < n) {
      if (lo > 9) return false;
      digits.push_back(static_cast<char>('0' + lo));
    }
  }
  int sign = p[n - 1] & 15;
  if (sign < 10) return false;
  bool negative = sign == 0x0D || sign == 0x0B;
  if (scale == 0 && digits.size() <= 18) {
    int64_t v = std::strtoll(digits.c_str(), nullptr, 10);
    *out = Value::integer(negative ? -v : v);
    return true;
  }
  std::string text = (negative ? "-" : "") + digits.substr(0, digits.size() - static_cast<size_t>(scale)) + "." +
                     digits.substr(digits.size() - static_cast<size_t>(scale));
  *out = Value::real(std::strtod(text.c_str(), nullptr));
  return true;
}

// Writes number d (or integer i when isInt) as a packed decimal; false when it does not fit
// the precision.  An integer is written from its own digits, never through a double, which
// holds integers exactly only up to 2^53 (9223372036854775807 became ...808).
bool writePacked(int64_t i, double d, bool isInt, sqlint32 sqllen, unsigned char *p) {
  int precision = decimalPrecision(sqllen), scale = decimalScale(sqllen);
  if (!isInt && !std::isfinite(d)) return false;  // "%f" spells it "inf": no digits at all
  char buf[400];
  if (isInt) {
    const uint64_t magnitude = i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
    std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(magnitude));
  } else {
    std::snprintf(buf, sizeof buf, "%.*f", scale, std::fabs(d));
  }
  std::string digits;
  for (const char *c = buf; *c; ++c)
    if (*c >= '0' && *c <= '9') digits.push_back(*c);
  if (isInt) digits.append(static_cast<size_t>(scale), '0');
  while (digits.size() > 1 && digits[0] == '0' && digits.size() > static_cast<size_t>(precision)) digits.erase(0, 1);
  if (digits.size() > static_cast<size_t>(precision)) return false;
  digits.insert(0, static_cast<size_t>(precision) - digits.size(), '0');
  if (digits.size() % 2 == 0) digits.insert(0, "0");  // an odd number of digits fills the bytes
  bool negative = isInt ? i < 0 : d < 0;
  size_t n = packedBytes(sqllen);
  for (size_t k = 0; k < n; ++k) {
    int hi = digits[2 * k] - '0';
    int lo = 2 * k + 1 < digits.size() ? digits[2 * k + 1] - '0' : (negative ? 0x0D : 0x0C);
    p[k] = static_cast<unsigned char>(hi << 4 | lo);
  }
  return true;
}

// Whether hv describes a buffer this runtime can use: data to point at, a length that is no
// negative count of bytes, a packed decimal whose scale is within its precision, a file name no
// longer than its field.  A negative CHAR length and a scale past the precision failed in the
// middle of a conversion (-901), a null CSTR buffer was taken for a value too large (-302) and
// a name length past the field was cut to it silently.
bool describedWell(const quarn_hostvar &hv) {
  if (!hv.sqldata) return false;
  switch (baseType(hv.sqltype)) {
    case SQL_TYP_CSTR: case SQL_TYP_CHAR: case SQL_TYP_VARCHAR: case SQL_TYP_CLOB: case SQL_TYP_BLOB:
    case SQL_TYP_DBCLOB: return hv.sqllen >= 0;
    case SQL_TYP_DECIMAL: return decimalScale(hv.sqllen) <= decimalPrecision(hv.sqllen);
    case SQL_TYP_CLOB_FILE: return static_cast<const sqlfile *>(hv.sqldata)->name_length <= sizeof(sqlfile::name);
    default: return true;
  }
}

// Reads input host variable hv into *out; returns 0 or fills ca.
int readInput(quarn::Session *s, const quarn_hostvar &hv, int index, Value *out, sqlca *ca) {
  if (hv.sqlind && *hv.sqlind < 0) {
    *out = Value::null();
    return 0;
  }
  if (!describedWell(hv)) return fail(ca, quarn::kSqlBadParameters, {std::to_string(index + 1)});
  const char *p = static_cast<const char *>(hv.sqldata);
  switch (baseType(hv.sqltype)) {
    case SQL_TYP_CSTR: *out = Value::text(std::string(p, strnlen(p, static_cast<size_t>(hv.sqllen > 0 ? hv.sqllen : 0)))); return 0;
    case SQL_TYP_CHAR: *out = Value::text(std::string(p, static_cast<size_t>(hv.sqllen))); return 0;
    case SQL_TYP_VARCHAR: {
      short len;
      std::memcpy(&len, p, sizeof len);
      if (len < 0 || len > hv.sqllen) return fail(ca, quarn::kSqlHostValueTooLarge, {std::to_string(index + 1)});
      *out = Value::text(std::string(p + sizeof(short), static_cast<size_t>(len)));
      return 0;
    }
    case SQL_TYP_SMALL: { short v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return 0; }
    case SQL_TYP_INTEGER: { sqlint32 v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return 0; }
    case SQL_TYP_BIGINT: { sqlint64 v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return 0; }
    case SQL_TYP_FLOAT:
      // sqllen 4: a 4-byte float.
      if (hv.sqllen == 4) { float v; std::memcpy(&v, p, sizeof v); *out = Value::real(v); }
      else { double v; std::memcpy(&v, p, sizeof v); *out = Value::real(v); }
      return 0;
    case SQL_TYP_DECIMAL:
      if (!readPacked(reinterpret_cast<const unsigned char *>(p), hv.sqllen, out))
        return fail(ca, quarn::kSqlBadParameters, {std::to_string(index + 1)});
      return 0;
    case SQL_TYP_CLOB: case SQL_TYP_BLOB: case SQL_TYP_DBCLOB: {
      const quarn_lob *lob = static_cast<const quarn_lob *>(hv.sqldata);
      if (static_cast<sqlint64>(lob->length) > hv.sqllen) return fail(ca, quarn::kSqlHostValueTooLarge, {std::to_string(index + 1)});
      std::string data(lob->data, lob->length);
      *out = baseType(hv.sqltype) == SQL_TYP_BLOB ? Value::blob(std::move(data)) : Value::text(std::move(data));
      return 0;
    }
    case SQL_TYP_CLOB_LOCATOR: case SQL_TYP_BLOB_LOCATOR: case SQL_TYP_DBCLOB_LOCATOR: {
      sqluint32 id;
      std::memcpy(&id, p, sizeof id);
      const Value *v = s->locatorValue(id);
      if (!v) return fail(ca, quarn::kSqlLocatorInvalid, {std::to_string(index + 1)});
      *out = *v;
      return 0;
    }
    case SQL_TYP_CLOB_FILE: {
      const sqlfile *f = static_cast<const sqlfile *>(hv.sqldata);
      std::string name = fileName(f);
      if (!(f->file_options & SQL_FILE_READ)) return fail(ca, quarn::kSqlFileReference, {name, "2"});
      std::ifstream in(name, std::ios::binary);
      if (!in) return fail(ca, quarn::kSqlFileReference, {name, "3"});
      std::ostringstream buf;
      buf << in.rdbuf();
      *out = Value::text(buf.str());
      return 0;
    }
    default:
      return fail(ca, quarn::kSqlBadParameters, {std::to_string(index + 1)});
  }
}

int readInputs(quarn::Session *s, int nIn, const quarn_hostvar *in, std::vector<Value> *out, sqlca *ca) {
  out->clear();
  if (nIn > 0 && !in) return fail(ca, quarn::kSqlBadParameters, {"0"});
  for (int k = 0; k < nIn; ++k) {
    Value v;
    int rc = readInput(s, in[k], k, &v, ca);
    if (rc < 0) return rc;
    out->push_back(std::move(v));
  }
  return 0;
}

// Writes text into a character host variable, cutting it to fit and noting that.
void putText(const std::string &text, quarn_hostvar &hv, sqlca *ca) {
  size_t room = 0;
  char *p = static_cast<char *>(hv.sqldata);
  bool blob = baseType(hv.sqltype) == SQL_TYP_BLOB;
  // The bytes that fit room, never part of a character (bit data and BLOB by bytes).
  auto fit = [&](size_t cap) { return text.size() <= cap ? text.size() : blob ? cap : quarn::cutUtf8(text, cap).size(); };
  size_t n = 0;
  switch (baseType(hv.sqltype)) {
    case SQL_TYP_CSTR:
      room = hv.sqllen > 0 ? static_cast<size_t>(hv.sqllen) - 1 : 0;
      n = fit(room);
      std::memcpy(p, text.data(), n);
      p[n] = '\0';
      break;
    case SQL_TYP_CHAR:
      room = static_cast<size_t>(hv.sqllen);
      n = fit(room);
      std::memset(p, ' ', room);
      std::memcpy(p, text.data(), n);
      break;
    case SQL_TYP_VARCHAR: {
      room = static_cast<size_t>(hv.sqllen);
      n = fit(room);
      short len = static_cast<short>(n);
      std::memcpy(p, &len, sizeof len);
      std::memcpy(p + sizeof(short), text.data(), n);
      break;
    }
    default: {
      quarn_lob *lob = static_cast<quarn_lob *>(hv.sqldata);
      room = static_cast<size_t>(hv.sqllen);
      n = fit(room);
      lob->length = static_cast<sqluint32>(n);
      std::memcpy(lob->data, text.data(), n);
      break;
    }
  }
  bool cut = n < text.size();
  if (hv.sqlind) *hv.sqlind = cut ? static_cast<short>(text.size() > 32767 ? 32767 : text.size()) : 0;
  if (cut) {
    // A string cut to fit its host variable: the warning flags and SQLSTATE 01004.
    ca->sqlwarn[0] = 'W';
    ca->sqlwarn[1] = 'W';
    if (ca->sqlcode == 0) std::memcpy(ca->sqlstate, "01004", 5);
  }
}

// The type of a numeric host variable of type code t (its base code) and length sqllen.
quarn::QType hostNumberType(short t, sqlint32 sqllen) {
  quarn::QType qt;
  switch (t) {
    case SQL_TYP_SMALL: qt.base = quarn::Base::SmallInt; break;
    case SQL_TYP_INTEGER: qt.base = quarn::Base::Integer; break;
    case SQL_TYP_BIGINT: qt.base = quarn::Base::BigInt; break;
    case SQL_TYP_FLOAT: qt.base = sqllen == 4 ? quarn::Base::Real : quarn::Base::Double; break;
    default: qt.base = quarn::Base::Decimal; break;
  }
  return qt;
}

int writeOutput(quarn::Session *s, const Value &v, const quarn::QType &colType, quarn_hostvar &hv, int index, sqlca *ca) {
  if (v.isNull()) {
    if (!hv.sqlind) return fail(ca, quarn::kSqlNullNoIndicator, {std::to_string(index + 1)});
    *hv.sqlind = -1;
    return 0;
  }
  if (hv.sqlind) *hv.sqlind = 0;
  if (!describedWell(hv)) return fail(ca, quarn::kSqlBadParameters, {std::to_string(index + 1)});
  // The number of v: an integer value, or text spelling one, exactly (*isInt); else a double.
  // Text is read by the engine's one reader of numbers, blanks around it allowed, digits, sign,
  // point and exponent only; text past a double's range ("1e400") is no number either.  strtod
  // read "nan", "inf" and "0x10", refused "12  " and rounded BIGINT text past 2^53.
  auto number = [&](int64_t *i, double *d, bool *isInt) -> bool {
    *i = 0;
    *isInt = v.kind == Value::Int;
    if (v.kind == Value::Int) { *i = v.i; *d = static_cast<double>(v.i); return true; }
    if (v.kind == Value::Real) { *d = v.d; return true; }
    if (quarn::parseInteger(v.s, i)) { *d = static_cast<double>(*i); *isInt = true; return true; }
    return quarn::parseNumber(v.s, d) && std::isfinite(*d);
  };
  switch (baseType(hv.sqltype)) {
    case SQL_TYP_CSTR: case SQL_TYP_CHAR: case SQL_TYP_VARCHAR: case SQL_TYP_CLOB: case SQL_TYP_BLOB: case SQL_TYP_DBCLOB: {
      std::string text = v.kind == Value::Text || v.kind == Value::Blob ? v.s : quarn::valueText(v, colType);
      if (v.kind == Value::Text && colType.base == quarn::Base::Char) text = quarn::valueText(v, colType);
      putText(text, hv, ca);
      return 0;
    }
    case SQL_TYP_SMALL: case SQL_TYP_INTEGER: case SQL_TYP_BIGINT: case SQL_TYP_FLOAT: case SQL_TYP_DECIMAL: {
      int64_t i;
      double d;
      bool isInt;
      short t = baseType(hv.sqltype);
      // Text that is no number: -420 naming the host variable's type, as CAST to it says.
      if (!number(&i, &d, &isInt)) return fail(ca, quarn::kSqlInvalidChar, {hostNumberType(t, hv.sqllen).builtinName()});
      if (t == SQL_TYP_FLOAT) {
        // sqllen 4: a 4-byte float, which a double past its range would make an infinity.
        if (hv.sqllen == 4) {
          if (std::fabs(d) > FLT_MAX) return fail(ca, quarn::kSqlHostValueRange, {std::to_string(index + 1)});
          float x = static_cast<float>(d);
          std::memcpy(hv.sqldata, &x, sizeof x);
        } else {
          std::memcpy(hv.sqldata, &d, sizeof d);
        }
        return 0;
      }
      if (t == SQL_TYP_DECIMAL) {
        if (!writePacked(i, d, isInt, hv.sqllen, static_cast<unsigned char *>(hv.sqldata)))
          return fail(ca, quarn::kSqlHostValueRange, {std::to_string(index + 1)});
        return 0;
      }
      if (!isInt) {
        // Within [-2^63, 2^63) exactly (NaN fails too) before the fraction is dropped: a
        // conversion of a double out of that range is undefined (1e300 gave INT64_MIN).
        if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
          return fail(ca, quarn::kSqlHostValueRange, {std::to_string(index + 1)});
        i = static_cast<int64_t>(d);
      }
      if ((t == SQL_TYP_SMALL && (i < -32768 || i > 32767)) || (t == SQL_TYP_INTEGER && (i < INT32_MIN || i > INT32_MAX)))
        return fail(ca, quarn::kSqlHostValueRange, {std::to_string(index + 1)});
      if (t == SQL_TYP_SMALL) { short x = static_cast<short>(i); std::memcpy(hv.sqldata, &x, sizeof x); }
      else if (t == SQL_TYP_INTEGER) { sqlint32 x = static_cast<sqlint32>(i); std::memcpy(hv.sqldata, &x, sizeof x); }
      else std::memcpy(hv.sqldata, &i, sizeof i);
      return 0;
    }
    case SQL_TYP_CLOB_LOCATOR: case SQL_TYP_BLOB_LOCATOR: case SQL_TYP_DBCLOB_LOCATOR: {
      sqluint32 id = s->createLocator(v);
      std::memcpy(hv.sqldata, &id, sizeof id);
      return 0;
    }
    case SQL_TYP_CLOB_FILE: {
      sqlfile *f = static_cast<sqlfile *>(hv.sqldata);
      std::string name = fileName(f);
      std::string text = v.kind == Value::Text || v.kind == Value::Blob ? v.s : quarn::valueText(v, colType);
      std::ios::openmode mode = std::ios::binary | std::ios::out;
      if (f->file_options & SQL_FILE_APPEND) {
        mode |= std::ios::app;
      } else if (f->file_options & SQL_FILE_CREATE) {
        // Created in one step: a file, or a link (even a dangling one), that is there already
        // or appears meanwhile is refused, never followed or truncated.
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) return fail(ca, quarn::kSqlFileReference, {name, errno == EEXIST ? "5" : "3"});
        const char *p = text.data();
        size_t left = text.size();
        while (left > 0) {
          ssize_t n = ::write(fd, p, left);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          p += n;
          left -= static_cast<size_t>(n);
        }
        if (::close(fd) != 0 || left > 0) {
          ::unlink(name.c_str());  // the file this call made, half written
          return fail(ca, quarn::kSqlFileReference, {name, "4"});
        }
        f->data_length = static_cast<sqluint32>(text.size());
        return 0;
      } else if (f->file_options & SQL_FILE_OVERWRITE) {
        mode |= std::ios::trunc;
      } else {
        return fail(ca, quarn::kSqlFileReference, {name, "2"});
      }
      std::ofstream out(name, mode);
      if (!out) return fail(ca, quarn::kSqlFileReference, {name, "3"});
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      if (!out) return fail(ca, quarn::kSqlFileReference, {name, "4"});
      f->data_length = static_cast<sqluint32>(text.size());
      return 0;
    }
    default:
      return fail(ca, quarn::kSqlBadParameters, {std::to_string(index + 1)});
  }
}

short sqlTypeOf(const quarn::QType &t) {
  using quarn::Base;
  switch (t.base) {
    case Base::SmallInt: return SQL_TYP_NSMALL;
    case Base::Integer: return SQL_TYP_NINTEGER;
    case Base::BigInt: return SQL_TYP_NBIGINT;
    case Base::Real: case Base::Double: return SQL_TYP_NFLOAT;
    case Base::Decimal: return SQL_TYP_NDECIMAL;
    case Base::Char: return SQL_TYP_NCHAR;
    case Base::Clob: return SQL_TYP_NCLOB;
    case Base::Blob: return SQL_TYP_NBLOB;
    case Base::DbClob: return SQL_TYP_NDBCLOB;
    case Base::Graphic: return SQL_TYP_NGRAPHIC;
    case Base::Vargraphic: return SQL_TYP_NVARGRAPH;
    case Base::Date: return SQL_TYP_NDATE;
    case Base::Time: return SQL_TYP_NTIME;
    case Base::Timestamp: return SQL_TYP_NSTAMP;
    case Base::LongVarchar: return SQL_TYP_NLONG;
    default: return SQL_TYP_NVARCHAR;
  }
}

}  // namespace

#define GUARD_BEGIN try {
#define GUARD_END(ca)                                                      \
  }                                                                        \
  catch (const QError &e) {                                                \
    quarn::setSqlca(ca, e);                                                \
    return e.sqlcode;                                                      \
  }                                                                        \
  catch (...) {                                                            \
    return fail(ca, quarn::kSqlSystem, {"quarnapp"});                          \
  }

extern "C" {

SQL_API_EXPORT int quarn_create_database(const char *name, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  return quarn::createDatabase(name ? name : "", true, ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_drop_database(const char *name, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  return quarn::dropDatabase(name ? name : "", ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_connect(const char *name, const char *user, const char *password, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::clearSqlca(ca);
  if (quarn::Session *cur = current()) {
    if (cur->inUnitOfWork()) return fail(ca, quarn::kSqlConnectionInUse);
  }
  std::unique_ptr<quarn::Session> s;
  int rc = quarn::Session::open(name ? name : "", user ? user : "", password ? password : "", &s, ca);
  if (rc < 0) return rc;
  if (tConnected && quarn::currentSession() == tConnected->session.get()) quarn::setCurrentSession(nullptr);
  tConnected = std::make_unique<quarn_session>();
  tConnected->session = std::move(s);
  tCurrentHandle = tConnected.get();
  quarn::setCurrentSession(tConnected->session.get());
  tConnected->session->connectionInfo(ca);
  return 0;
  GUARD_END(ca)
}

SQL_API_EXPORT void quarn_instance_defaults(void) { quarn::initInstance(); }

SQL_API_EXPORT int quarn_connect_reset(struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::clearSqlca(ca);
  quarn::Session *cur = current();
  if (!cur) return 0;
  int rc = cur->commit(ca);
  if (rc < 0) return rc;
  if (tConnected && tConnected->session.get() == cur) tConnected.reset();
  quarn::setCurrentSession(nullptr);
  tCurrentHandle = nullptr;
  return 0;
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_connect_info(struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  quarn::Session *cur = current();
  if (!cur) return fail(ca, quarn::kSqlNoConnection);
  cur->connectionInfo(ca);
  return 0;
}

SQL_API_EXPORT int quarn_session_open(const char *name, const char *user, const char *password, quarn_session **out,
                                      struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  if (!out) return fail(ca, quarn::kSqlBadParameters, {"out"});
  *out = nullptr;
  std::unique_ptr<quarn::Session> s;
  int rc = quarn::Session::open(name ? name : "", user ? user : "", password ? password : "", &s, ca);
  if (rc < 0) return rc;
  auto *h = new quarn_session;
  h->session = std::move(s);
  *out = h;
  return 0;
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_session_close(quarn_session *session, struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  if (!session) return 0;
  if (quarn::currentSession() == session->session.get()) quarn::setCurrentSession(nullptr);
  if (tCurrentHandle == session) tCurrentHandle = nullptr;
  if (tConnected.get() == session) {
    tConnected.reset();
    return 0;
  }
  delete session;
  return 0;
}

SQL_API_EXPORT quarn_session *quarn_current_session(void) {
  if (tCurrentHandle && tCurrentHandle->session.get() == quarn::currentSession()) return tCurrentHandle;
  return nullptr;
}

SQL_API_EXPORT void quarn_set_current_session(quarn_session *session) {
  tCurrentHandle = session;
  quarn::setCurrentSession(session ? session->session.get() : nullptr);
}

SQL_API_EXPORT int quarn_execute_immediate(const char *sql, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  if (!sql) return fail(ca, quarn::kSqlSyntax, {"", "", "<statement>"});
  return s->execImmediate(sql, ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_prepare(const char *sql, quarn_stmt **out, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  if (!out) return fail(ca, quarn::kSqlBadParameters, {"out"});
  *out = nullptr;
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  if (!sql) return fail(ca, quarn::kSqlSyntax, {"", "", "<statement>"});
  std::unique_ptr<quarn::Statement> st;
  int rc = s->prepare(sql, &st, ca);
  if (rc < 0) return rc;
  auto *h = new quarn_stmt;
  h->stmt = std::move(st);
  h->session = s;
  *out = h;
  return rc;
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_execute(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::clearSqlca(ca);
  if (!stmt || !stmt->stmt) return fail(ca, quarn::kSqlStmtNotPrepared);
  if (stmt->stmt->isQuery()) return fail(ca, quarn::kSqlStmtNotPrepared);
  std::vector<Value> params;
  int rc = readInputs(stmt->session, nIn, in, &params, ca);
  if (rc < 0) return rc;
  return stmt->stmt->execute(params, ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_open(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::clearSqlca(ca);
  if (!stmt || !stmt->stmt || !stmt->stmt->isQuery()) return fail(ca, quarn::kSqlCursorNotQuery);
  std::vector<Value> params;
  int rc = readInputs(stmt->session, nIn, in, &params, ca);
  if (rc < 0) return rc;
  return stmt->stmt->execute(params, ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_fetch(quarn_stmt *stmt, int nOut, struct quarn_hostvar *out, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::clearSqlca(ca);
  if (!stmt || !stmt->stmt) return fail(ca, quarn::kSqlCursorNotOpen);
  std::vector<Value> row;
  int rc = stmt->stmt->fetch(&row, ca);
  if (rc != 0) return rc;
  if (nOut > 0 && !out) return fail(ca, quarn::kSqlBadParameters, {"0"});
  int n = nOut < static_cast<int>(row.size()) ? nOut : static_cast<int>(row.size());
  if (nOut < static_cast<int>(row.size())) ca->sqlwarn[3] = 'W';
  for (int k = 0; k < n; ++k) {
    quarn::QType t = k < stmt->stmt->columnCount() ? stmt->stmt->column(k).type : quarn::QType{};
    rc = writeOutput(stmt->session, row[static_cast<size_t>(k)], t, out[k], k, ca);
    if (rc < 0) return rc;
  }
  return 0;
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_close(quarn_stmt *stmt, struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  if (stmt && stmt->stmt) stmt->stmt->close();
  return 0;
}

SQL_API_EXPORT int quarn_describe(quarn_stmt *stmt, struct sqlda *da, struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  if (!stmt || !stmt->stmt || !da) return fail(ca, quarn::kSqlStmtNotPrepared);
  int n = stmt->stmt->columnCount();
  da->sqld = static_cast<short>(n);
  for (int k = 0; k < n && k < da->sqln; ++k) {
    const quarn::ColumnInfo &c = stmt->stmt->column(k);
    sqlvar &v = da->sqlvar[k];
    v.sqltype = sqlTypeOf(c.type);
    int64_t len = c.type.base == quarn::Base::None ? 32672 : c.type.catalogLength();
    if (c.type.base == quarn::Base::Decimal) len = c.type.length * 256 + c.type.scale;
    v.sqllen = static_cast<short>(len > 32767 ? 32767 : len);
    size_t nameLen = c.name.size() > sizeof v.sqlname.data ? sizeof v.sqlname.data : c.name.size();
    v.sqlname.length = static_cast<short>(nameLen);
    std::memcpy(v.sqlname.data, c.name.data(), nameLen);
  }
  if (n > da->sqln) ca->sqlwarn[0] = 'W';
  return 0;
}

namespace {

// The extended entry of large-object entry k of da, or null when the area has none.
const sqlvar2 *extendedEntry(const sqlda *da, int k) {
  if (k + da->sqld >= da->sqln) return nullptr;
  return reinterpret_cast<const sqlvar2 *>(&da->sqlvar[k + da->sqld]);
}

bool isLobType(short t) { return t == SQL_TYP_CLOB || t == SQL_TYP_BLOB || t == SQL_TYP_DBCLOB; }

// Capacity in bytes of the data of a large-object entry; *prefixed: the data begins with a
// 32-bit length (no extended entry with a length pointer).
size_t lobCapacity(const sqlda *da, int k, bool *prefixed) {
  const sqlvar2 *ext = extendedEntry(da, k);
  *prefixed = ext == nullptr || ext->sqldatalen == nullptr;
  if (ext != nullptr && ext->len.sqllonglen > 0) return static_cast<size_t>(ext->len.sqllonglen);
  return static_cast<size_t>(static_cast<unsigned short>(da->sqlvar[k].sqllen));
}

// The value and type of entry k of a descriptor area.
int readEntry(const sqlda *da, int k, Value *out, quarn::QType *type, sqlca *ca) {
  const sqlvar &v = da->sqlvar[k];
  short t = baseType(v.sqltype);
  quarn::QType qt;
  int64_t len = static_cast<unsigned short>(v.sqllen);
  switch (t) {
    case SQL_TYP_SMALL: qt.base = quarn::Base::SmallInt; break;
    case SQL_TYP_INTEGER: qt.base = quarn::Base::Integer; break;
    case SQL_TYP_BIGINT: qt.base = quarn::Base::BigInt; break;
    case SQL_TYP_FLOAT: qt.base = v.sqllen == 4 ? quarn::Base::Real : quarn::Base::Double; break;
    case SQL_TYP_CHAR: qt.base = quarn::Base::Char; qt.length = len; break;
    case SQL_TYP_VARCHAR: case SQL_TYP_CSTR: qt.base = quarn::Base::Varchar; qt.length = len; break;
    case SQL_TYP_LONG: qt.base = quarn::Base::LongVarchar; qt.length = 32700; break;
    case SQL_TYP_CLOB: case SQL_TYP_BLOB: case SQL_TYP_DBCLOB: {
      bool prefixed;
      qt.base = t == SQL_TYP_CLOB ? quarn::Base::Clob : t == SQL_TYP_BLOB ? quarn::Base::Blob : quarn::Base::DbClob;
      qt.length = static_cast<int64_t>(lobCapacity(da, k, &prefixed));
      break;
    }
    default: return fail(ca, quarn::kSqlBadParameters, {std::to_string(k + 1)});
  }
  *type = qt;
  if ((v.sqlind && *v.sqlind < 0) || !v.sqldata) {
    *out = Value::null();
    return 0;
  }
  const char *p = v.sqldata;
  switch (t) {
    case SQL_TYP_SMALL: { short x; std::memcpy(&x, p, sizeof x); *out = Value::integer(x); return 0; }
    case SQL_TYP_INTEGER: { sqlint32 x; std::memcpy(&x, p, sizeof x); *out = Value::integer(x); return 0; }
    case SQL_TYP_BIGINT: { sqlint64 x; std::memcpy(&x, p, sizeof x); *out = Value::integer(x); return 0; }
    case SQL_TYP_FLOAT:
      if (v.sqllen == 4) { float x; std::memcpy(&x, p, sizeof x); *out = Value::real(x); }
      else { double x; std::memcpy(&x, p, sizeof x); *out = Value::real(x); }
      return 0;
    case SQL_TYP_CHAR: *out = Value::text(std::string(p, static_cast<size_t>(len))); return 0;
    case SQL_TYP_CSTR: *out = Value::text(std::string(p, strnlen(p, static_cast<size_t>(len)))); return 0;
    case SQL_TYP_VARCHAR: case SQL_TYP_LONG: {
      unsigned short n;
      std::memcpy(&n, p, sizeof n);
      if (t == SQL_TYP_VARCHAR && n > len) return fail(ca, quarn::kSqlHostValueTooLarge, {std::to_string(k + 1)});
      *out = Value::text(std::string(p + 2, n));
      return 0;
    }
    default: {
      bool prefixed;
      size_t cap = lobCapacity(da, k, &prefixed);
      sqluint32 n;
      if (prefixed) {
        std::memcpy(&n, p, sizeof n);
        p += sizeof n;
      } else {
        std::memcpy(&n, extendedEntry(da, k)->sqldatalen, sizeof n);
      }
      if (n > cap && cap > 0) return fail(ca, quarn::kSqlHostValueTooLarge, {std::to_string(k + 1)});
      std::string bytes(p, n);
      *out = t == SQL_TYP_BLOB ? Value::blob(bytes) : Value::text(bytes);
      return 0;
    }
  }
}

// Writes a value that came back into entry k; too long a value is cut with sqlwarn[1] 'W'.
void writeEntry(sqlda *da, int k, const Value &val, short ind, sqlca *ca) {
  sqlvar &v = da->sqlvar[k];
  if (v.sqlind) *v.sqlind = ind;
  if (ind < 0 || !v.sqldata) return;
  short t = baseType(v.sqltype);
  char *p = v.sqldata;
  size_t len = static_cast<unsigned short>(v.sqllen);
  auto cut = [&](size_t n, size_t cap) {
    if (n <= cap) return n;
    ca->sqlwarn[0] = ca->sqlwarn[1] = 'W';
    return cap;
  };
  switch (t) {
    case SQL_TYP_SMALL: { short x = static_cast<short>(val.kind == Value::Int ? val.i : std::atoll(val.str().c_str())); std::memcpy(p, &x, sizeof x); return; }
    case SQL_TYP_INTEGER: { sqlint32 x = static_cast<sqlint32>(val.kind == Value::Int ? val.i : std::atoll(val.str().c_str())); std::memcpy(p, &x, sizeof x); return; }
    case SQL_TYP_BIGINT: { sqlint64 x = val.kind == Value::Int ? val.i : std::atoll(val.str().c_str()); std::memcpy(p, &x, sizeof x); return; }
    case SQL_TYP_FLOAT: {
      double d = val.kind == Value::Real ? val.d : val.kind == Value::Int ? static_cast<double>(val.i) : std::atof(val.str().c_str());
      if (v.sqllen == 4) { float x = static_cast<float>(d); std::memcpy(p, &x, sizeof x); }
      else std::memcpy(p, &d, sizeof d);
      return;
    }
    case SQL_TYP_CHAR: {
      std::string s = val.str();
      size_t n = cut(s.size(), len);
      std::memcpy(p, s.data(), n);
      std::memset(p + n, ' ', len - n);
      return;
    }
    case SQL_TYP_CSTR: {
      std::string s = val.str();
      size_t n = cut(s.size(), len > 0 ? len - 1 : 0);
      std::memcpy(p, s.data(), n);
      if (len > 0) p[n] = 0;
      return;
    }
    case SQL_TYP_VARCHAR: case SQL_TYP_LONG: {
      std::string s = val.str();
      size_t n = cut(s.size(), t == SQL_TYP_LONG ? 32700 : len);
      unsigned short n16 = static_cast<unsigned short>(n);
      std::memcpy(p, &n16, sizeof n16);
      std::memcpy(p + 2, s.data(), n);
      return;
    }
    default: {
      bool prefixed;
      size_t cap = lobCapacity(da, k, &prefixed);
      size_t n = cut(val.s.size(), cap);
      sqluint32 n32 = static_cast<sqluint32>(n);
      if (prefixed) {
        std::memcpy(p, &n32, sizeof n32);
        p += sizeof n32;
      } else {
        std::memcpy(extendedEntry(da, k)->sqldatalen, &n32, sizeof n32);
      }
      std::memcpy(p, val.s.data(), n);
      return;
    }
  }
}

}  // namespace

SQL_API_EXPORT int quarn_call(const char *procName, struct sqlda *da, struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  if (!procName) return fail(ca, quarn::kSqlSyntax, {"", "CALL", "<name>"});
  // The name is a fixed-size host variable: trailing blanks do not count.
  std::string name = procName;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  int n = da ? da->sqld : 0;
  if (da && (n < 0 || n > da->sqln)) return fail(ca, quarn::kSqlBadParameters, {"SQLDA"});
  std::vector<Value> args(static_cast<size_t>(n));
  std::vector<short> inds(static_cast<size_t>(n), 0);
  std::vector<quarn::QType> types(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    int rc = readEntry(da, k, &args[static_cast<size_t>(k)], &types[static_cast<size_t>(k)], ca);
    if (rc < 0) return rc;
    inds[static_cast<size_t>(k)] = args[static_cast<size_t>(k)].isNull() ? -1 : 0;
  }
  int rc = s->call(name, &args, &inds, types, ca);
  if (rc < 0) return rc;
  for (int k = 0; k < n; ++k) {
    short ind = inds[static_cast<size_t>(k)];
    if (ind == SQL_IND_NO_RETURN) continue;
    writeEntry(da, k, args[static_cast<size_t>(k)], ind, ca);
  }
  return rc;
  GUARD_END(ca)
}

SQL_API_EXPORT void quarn_free_stmt(quarn_stmt *stmt) {
  try {
    delete stmt;
  } catch (...) {
  }
}

SQL_API_EXPORT int quarn_commit(struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  return s->commit(ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_rollback(struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  return s->rollback(ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_savepoint(const char *name, int unique, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  return s->setSavepoint(name ? name : "", unique != 0, ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_rollback_to_savepoint(const char *name, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  return s->rollbackToSavepoint(name ? name : "", ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_release_savepoint(const char *name, struct sqlca *ca) {
  if (!ca) return -1;
  GUARD_BEGIN
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  return s->releaseSavepoint(name ? name : "", ca);
  GUARD_END(ca)
}

SQL_API_EXPORT int quarn_free_locator(sqluint32 locator, struct sqlca *ca) {
  if (!ca) return -1;
  quarn::clearSqlca(ca);
  quarn::Session *s = current();
  if (!s) return fail(ca, quarn::kSqlNoConnection);
  if (!s->freeLocator(locator)) return fail(ca, quarn::kSqlLocatorInvalid, {std::to_string(locator)});
  return 0;
}

SQL_API_EXPORT int sqlabndx(const char *pBindFileName, const char *pMsgFileName, struct sqlopt *pBindOptions,
                            struct sqlca *pSqlca) {
  (void)pBindFileName;
  (void)pMsgFileName;
  (void)pBindOptions;
  if (!pSqlca) return -1;
  quarn::clearSqlca(pSqlca);
  return 0;
}

}  // extern "C"
