/*
 * routines_call.cpp - the values of routine calls (sizes of parameter buffers, inputs written
 * into them, results read back and cast) and the outcome of a call's SQLSTATE, for every call
 * convention.
 */
#include "routines_call.h"

#include "datetime.h"
#include "lexer.h"

namespace quarn {

int64_t valueInt(const Value &v) {
  if (v.kind == Value::Int) return v.i;
  if (v.kind == Value::Real) return static_cast<int64_t>(v.d);
  return std::strtoll(v.s.c_str(), nullptr, 10);
}

double valueDouble(const Value &v) {
  if (v.kind == Value::Int) return static_cast<double>(v.i);
  if (v.kind == Value::Real) return v.d;
  return std::strtod(v.s.c_str(), nullptr);
}

// The most bytes a value of type t takes in the engine's UTF-8 form: strings and large objects
// their declared length (graphic types 4 bytes a character), numbers and datetimes the bytes
// of their C form.
int64_t valueBytes(const QType &t) {
  switch (t.base) {
    case Base::SmallInt: return sizeof(short);
    case Base::Integer: return sizeof(sqlint32);
    case Base::BigInt: return sizeof(sqlint64);
    case Base::Real: return sizeof(float);
    case Base::Double: case Base::Decimal: return sizeof(double);
    case Base::Date: return 10;
    case Base::Time: return 8;
    case Base::Timestamp: return 26;
    case Base::Clob: case Base::Blob: return t.length;
    case Base::DbClob: case Base::Graphic: case Base::Vargraphic: return t.length * 4;
    case Base::LongVargraphic: return 16350 * 4;
    case Base::LongVarchar: return 32700;
    default: return t.length > 0 ? t.length : 32700;
  }
}

// Bytes a parameter or result of type t occupies in the call: strings with their terminator,
// large objects by value with their 4-byte length and a terminator.
int64_t storageBytes64(const RoutineParam &p) {
  if (p.locator) return sizeof(udf_locator);
  const QType &t = p.type;
  int64_t n = valueBytes(t);
  if (t.isLob()) return static_cast<int64_t>(sizeof(sqlint32)) + n + 1;
  if (isStringType(t)) return n + 1;
  return n;
}

// storageBytes64 of a parameter whose size is known to be usable (inputs, and outputs that
// passed outputBytes).
size_t storageBytes(const RoutineParam &p) { return static_cast<size_t>(storageBytes64(p)); }

// The bytes of the buffer an output of def is written into: never fewer than its declared type
// needs.  A type whose value by value cannot be held is refused (-604) rather than given a
// shorter buffer; checkRoutineOutputs refuses such definitions, and this covers a catalog that
// holds one all the same.
size_t outputBytes(const RoutineDef &def, const RoutineParam &p) {
  if (!p.locator && valueBytes(p.type) > kMaxOutputValueBytes) raise(kSqlBadLength, {def.qualified()});
  return storageBytes(p);
}

// Sets dst to v, reusing dst's storage for text, so that a value kept from row to row does not
// allocate for every row.
void assignValue(Value *dst, const ArgRef &v) {
  dst->kind = v.kind;
  dst->i = v.i;
  dst->d = v.d;
  if (v.kind == Value::Text || v.kind == Value::Blob) dst->s.assign(v.bytes.data(), v.bytes.size());
  else dst->s.clear();
}

// Writes an input into its buffer (a fresh locator for a large object passed as locator),
// growing the buffer when the value needs more than it holds.  Only the bytes of the value and
// its terminator are written: the buffer is the call's, reused from row to row, and a function
// reads an input up to its terminator or declared length.  A null input is written as zero bytes.
// A value passed as terminated text (character, graphic and datetime types, FOR BIT DATA too,
// which the catalogue does not tell apart) that holds a zero byte is refused with -171 (5UA05)
// and no tokens, which the caller fills with the position and the routine: the routine would
// read the value only up to that byte, a value the caller never gave.
void putInput(Session &s, const RoutineParam &p, const ArgRef &v, std::vector<char> *buf, short *ind,
              std::vector<uint32_t> *locators) {
  const QType &t = p.type;
  *ind = v.isNull() ? -1 : 0;
  if (v.isNull()) {
    size_t n = (t.isLob() && !p.locator) ? sizeof(sqlint32) + 1 : storageBytes(p);
    char *b = reserveBytes(buf, std::max<size_t>(n + 8, kNumberBuffer));
    std::memset(b, 0, kNumberBuffer);
    return;
  }
  if (p.locator) {
    char *b = reserveBytes(buf, sizeof(udf_locator) + 8);
    udf_locator id = s.createLocator(v.value());
    locators->push_back(id);
    std::memcpy(b, &id, sizeof id);
    return;
  }
  switch (t.base) {
    case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Real: case Base::Double:
    case Base::Decimal: {
      int64_t iv;
      double dv;
      if (v.kind == Value::Int) {
        iv = v.i;
        dv = static_cast<double>(v.i);
      } else if (v.kind == Value::Real) {
        iv = static_cast<int64_t>(v.d);
        dv = v.d;
      } else {
        const Value num = v.value();  // text is converted as strtoll / strtod do
        iv = valueInt(num);
        dv = valueDouble(num);
      }
      putNumber(slotOf(p), reserveBytes(buf, kNumberBuffer), iv, dv);
      return;
    }
    case Base::Clob: case Base::Blob: case Base::DbClob: {
      std::string text;
      std::string_view data = v.bytes;
      if (v.kind != Value::Text && v.kind != Value::Blob) data = text = v.value().str();
      sqlint32 len = static_cast<sqlint32>(data.size());
      char *b = reserveBytes(buf, sizeof len + data.size() + 1 + 8);
      std::memcpy(b, &len, sizeof len);
      std::memcpy(b + sizeof len, data.data(), data.size());
      b[sizeof len + data.size()] = 0;
      return;
    }
    default: {
      std::string text;
      std::string_view data = v.bytes;
      if (v.kind != Value::Text && v.kind != Value::Blob) data = text = v.value().str();
      if (!data.empty() && std::memchr(data.data(), 0, data.size()) != nullptr)
        raiseWithState(kSqlBadArgument, "5UA05");
      size_t pad = 0;
      if (t.base == Base::Char && static_cast<int64_t>(data.size()) < t.length)
        pad = static_cast<size_t>(t.length) - data.size();
      char *b = reserveBytes(buf, std::max(storageBytes(p), data.size() + pad + 1) + 8);
      std::memcpy(b, data.data(), data.size());
      std::memset(b + data.size(), ' ', pad);
      b[data.size() + pad] = 0;
      return;
    }
  }
}

void putInput(Session &s, const RoutineParam &p, const Value &v, std::vector<char> *buf, short *ind,
              std::vector<uint32_t> *locators) {
  putInput(s, p, argOf(v), buf, ind, locators);
}

size_t resultExtent(const ResultBuffer &r, const std::vector<char> &buf) {
  if (r.whole) return buf.size();
  const char *b = buf.data();
  if (r.lob) {
    sqlint32 len;
    std::memcpy(&len, b, sizeof len);
    if (len < 0 || static_cast<size_t>(len) + sizeof len + 1 > r.cap) return buf.size();
    return sizeof len + static_cast<size_t>(len) + 1;
  }
  const void *nul = std::memchr(b, 0, r.cap);
  return nul == nullptr ? buf.size() : static_cast<size_t>(static_cast<const char *>(nul) - b) + 1;
}

bool validStateChars(const char *st) {
  for (int k = 0; k < 5; ++k)
    if (!(std::isdigit(static_cast<unsigned char>(st[k])) || std::isupper(static_cast<unsigned char>(st[k])))) return false;
  return true;
}

// The outcome of a call's SQLSTATE other than "00000": 0 go on, 1 end of table, or throws for
// an error.  A warning is recorded in the session.
int stateOutcome(Session &s, const Frame &f, bool tableFetch) {
  const char *st = f.sqlstate;
  std::string state(st, strnlen(st, 5));
  if (state == "00000") return 0;
  if (tableFetch && state == "02000") return 1;
  if (state.size() == 5 && validStateChars(st)) {
    if (state.compare(0, 2, "38") == 0) raiseWithState(kSqlRoutineError, st, {f.def->qualified(), f.def->specific, f.message()});
    if (state.compare(0, 3, "01H") == 0) {
      s.setWarning(QError{kSqlRoutineWarning, state, {f.def->qualified(), f.def->specific, f.message()}});
      return 0;
    }
  }
  raise(kSqlRoutineBadState, {f.def->qualified(), f.def->specific, state, f.message()});
}

// Frees the locators made for a call's arguments.
void freeLocators(Session &s, std::vector<uint32_t> *ids) {
  for (uint32_t id : *ids) s.freeLocator(id);
  ids->clear();
}

// Frees the locators routines created since mark.
void freeCreatedSince(Session &s, RoutineRuntime &rt, size_t mark) {
  while (rt.created.size() > mark) {
    s.freeLocator(rt.created.back());
    rt.created.pop_back();
  }
}

// A result buffer as a view, valid while buf and the locators of the call are; throws -450 for
// a string that is not terminated within its declared length or a large object longer than
// declared, -423 for a result locator that is not valid.
ArgRef readResult(Session &s, const RoutineDef &def, const RoutineParam &p, std::vector<char> &buf, short ind) {
  ArgRef r;
  if (ind < 0) return r;
  const char *b = buf.data();
  auto tooLong = [&]() -> ArgRef { raise(kSqlRoutineResultTooLong, {def.qualified(), def.specific}); };
  const Value::Kind textKind = p.type.base == Base::Blob ? Value::Blob : Value::Text;
  if (p.locator) {
    udf_locator id;
    std::memcpy(&id, b, sizeof id);
    const Value *v = s.locatorValue(id);
    if (v == nullptr) raise(kSqlLocatorInvalid, {});
    if (p.type.length > 0 && static_cast<int64_t>(v->s.size()) > p.type.length) tooLong();
    r.kind = textKind;
    r.bytes = v->s;
    return r;
  }
  switch (p.type.base) {
    case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Real: case Base::Double:
    case Base::Decimal: return getNumber(slotOf(p), b);
    case Base::Clob: case Base::Blob: case Base::DbClob: {
      sqlint32 len;
      std::memcpy(&len, b, sizeof len);
      if (len < 0 || static_cast<size_t>(len) + sizeof len + 1 > storageBytes(p)) tooLong();
      r.kind = textKind;
      r.bytes = std::string_view(b + sizeof len, static_cast<size_t>(len));
      return r;
    }
    default: {
      size_t cap = storageBytes(p);
      const void *nul = std::memchr(b, 0, cap);
      if (nul == nullptr) tooLong();
      size_t n = static_cast<size_t>(static_cast<const char *>(nul) - b);
      if (p.type.base == Base::Char) {
        while (n > 0 && b[n - 1] == ' ') --n;
      }
      if (p.type.base == Base::Date || p.type.base == Base::Time || p.type.base == Base::Timestamp) {
        // A routine's datetime is text in any form the host reads; kept as it came, "hello" was a
        // DATE and "2005-6-5" compared after "2005-06-10".
        DateTime v;
        int rc = parseDatetime(std::string(b, n), p.type.base, &v);
        if (rc != 0) raise(rc);
        std::string stored = formatDatetime(v, p.type.base);
        if (stored.size() >= cap) tooLong();
        std::memcpy(buf.data(), stored.c_str(), stored.size() + 1);
        n = stored.size();
      }
      r.kind = Value::Text;
      r.bytes = std::string_view(b, n);
      return r;
    }
  }
}

ArgRef fitArgument(const RoutineDef &def, const RoutineParam &p, ArgRef v) {
  const QType &t = p.type;
  (void)def;
  bool string = t.base == Base::Char || t.base == Base::Varchar || t.base == Base::LongVarchar || t.base == Base::Clob ||
                t.base == Base::Blob || t.isGraphic();
  if (!string || p.locator) return v;
  // A routine may keep a parameter in a buffer of its declared length, binary strings too.
  size_t room = static_cast<size_t>(t.catalogLength());
  if (t.isGraphic()) {
    // Characters, not bytes.
    size_t chars = 0, k = 0;
    for (; k < v.bytes.size(); ++k)
      if ((static_cast<unsigned char>(v.bytes[k]) & 0xC0) != 0x80 && chars++ == room) break;
    room = k;
  }
  if (v.bytes.size() <= room) return v;
  // A BLOB has no blanks to cut.
  if (t.base == Base::Blob) raise(kSqlValueTooLong, {hexLiteral(std::string(v.bytes.substr(0, 32)))});
  if (v.bytes.find_first_not_of(' ', room) != std::string_view::npos) raise(kSqlValueTooLong, {cutUtf8(v.bytes, 64)});
  v.bytes = v.bytes.substr(0, room);
  return v;
}

// The value a function with RETURNS t CAST FROM u wrote, cast to t (checkRoutineOutputs
// allowed strings to strings and numbers to numbers only): a string longer than t holds is
// refused with -433 (22001) unless only blanks are cut; a number out of t's range with -413
// (22003).  A string keeps viewing the result buffer.
ArgRef castResult(const RoutineDef &def, ArgRef v) {
  const QType &t = def.result.type;
  if (v.isNull()) return v;
  if (v.kind == Value::Text || v.kind == Value::Blob) {
    size_t room = static_cast<size_t>(valueBytes(t));
    if (v.bytes.size() > room) {
      std::string_view cut = v.bytes.substr(room);
      if (v.kind == Value::Blob || cut.find_first_not_of(' ') != std::string_view::npos)
        raise(kSqlValueTooLong, {cutUtf8(v.bytes, 64)});
      v.bytes = v.bytes.substr(0, room);
    }
    return v;
  }
  double d = v.kind == Value::Int ? static_cast<double>(v.i) : v.d;
  bool integral = t.base == Base::SmallInt || t.base == Base::Integer || t.base == Base::BigInt;
  double limit = t.base == Base::SmallInt ? 32768.0 : t.base == Base::Integer ? 2147483648.0 : 9223372036854775808.0;
  if (integral && (d >= limit || d < -limit)) raise(kSqlOverflow, {t.builtinName()});
  if (integral && v.kind == Value::Real) {
    v.kind = Value::Int;
    v.i = static_cast<int64_t>(v.d);
  } else if (!integral && v.kind == Value::Int) {
    v.kind = Value::Real;
    v.d = static_cast<double>(v.i);
  }
  if (t.base == Base::Real) v.d = static_cast<float>(v.d);
  return v;
}

// A result buffer as a value; throws as readResult.
Value resultValue(Session &s, const RoutineDef &def, const RoutineParam &p, std::vector<char> &buf, short ind) {
  return readResult(s, def, p, buf, ind).value();
}

void resultError(sqlite3_context *ctx, const QError &e) {
  std::string m = encodeError(e);
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

}  // namespace quarn
