/*
 * routines_call.h - what the routine files (routines*.cpp) share, private to them: calling an
 * entry with any number of pointer arguments, the values of arguments and results as a call
 * reads and writes them, and the QUARNSQL frame of one function call site (argument and result
 * buffers made once and reused, the trailing arguments, the SQLSTATE's outcome).  The hot
 * parts of a call are inline here so each call path keeps them in line.
 */
#ifndef QUARN_ENGINE_ROUTINES_CALL_H
#define QUARN_ENGINE_ROUTINES_CALL_H

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "routines.h"
#include "sqlda.h"
#include "sqludf.h"

namespace quarn {

// The most pointer arguments a call passes.
inline constexpr size_t kMaxCallArgs = 200;

// Calls fn with exactly n pointer arguments: every argument of both conventions is a pointer.
using Caller = void (*)(void *, void *const *);

template <size_t... I>
void callWith(void *fn, void *const *a, std::index_sequence<I...>) {
  using F = void (*)(decltype((void)I, static_cast<void *>(nullptr))...);
  reinterpret_cast<F>(fn)(a[I]...);
}

template <size_t N>
void callN(void *fn, void *const *a) {
  callWith(fn, a, std::make_index_sequence<N>{});
}

template <size_t... N>
constexpr std::array<Caller, sizeof...(N)> makeCallers(std::index_sequence<N...>) {
  return {&callN<N>...};
}

inline constexpr std::array<Caller, kMaxCallArgs + 1> kCallers = makeCallers(std::make_index_sequence<kMaxCallArgs + 1>{});

inline void callPointers(void *fn, const std::vector<void *> &args) { kCallers[args.size()](fn, args.data()); }

// The entry of external name "library!entry" (library alone: the entry is the routine's name),
// loading its library on first use; throws -444 (42724) when either cannot be found.  An entry
// is only a symbol the library itself defines, never one of a library it depends on.  A library
// may be given by path only in a routine's definition: for an unregistered entry (def has no
// specific name) a library name with '/' is -444 too.
void *findEntry(const RoutineDef &def, const std::string &externalName);

// A value as an integer or a double the way a numeric parameter takes it (text as strtoll and
// strtod read it).
int64_t valueInt(const Value &v);
double valueDouble(const Value &v);

// A type passed as terminated text: character, graphic and datetime types.
inline bool isStringType(const QType &t) {
  switch (t.base) {
    case Base::Char: case Base::Varchar: case Base::LongVarchar: case Base::Graphic: case Base::Vargraphic:
    case Base::LongVargraphic: case Base::Date: case Base::Time: case Base::Timestamp: return true;
    default: return false;
  }
}

// The most bytes a value of type t takes in the engine's UTF-8 form: strings and large objects
// their declared length (graphic types 4 bytes a character), numbers and datetimes the bytes
// of their C form.
int64_t valueBytes(const QType &t);

// Bytes a parameter or result of type t occupies in the call: strings with their terminator,
// large objects by value with their 4-byte length and a terminator.
int64_t storageBytes64(const RoutineParam &p);

// storageBytes64 of a parameter whose size is known to be usable (inputs, and outputs that
// passed outputBytes).
size_t storageBytes(const RoutineParam &p);

// The bytes of the buffer an output of def is written into: never fewer than its declared type
// needs.  A type whose value by value cannot be held is refused (-604) rather than given a
// shorter buffer; checkRoutineOutputs refuses such definitions, and this covers a catalog that
// holds one all the same.
size_t outputBytes(const RoutineDef &def, const RoutineParam &p);

// How a parameter or result of a fixed-size number type sits in its buffer; None for every
// other type and for locators.  Calls whose inputs and result all have a slot take the short
// path of qudf.
enum class Slot : uint8_t { None, I16, I32, I64, F32, F64 };

inline Slot slotOf(const RoutineParam &p) {
  if (p.locator) return Slot::None;
  switch (p.type.base) {
    case Base::SmallInt: return Slot::I16;
    case Base::Integer: return Slot::I32;
    case Base::BigInt: return Slot::I64;
    case Base::Real: return Slot::F32;
    case Base::Double: case Base::Decimal: return Slot::F64;
    default: return Slot::None;
  }
}

// Writes a number into a buffer of slot s: the integer form for integer slots, the double form
// for the others, as the general conversion does.
inline void putNumber(Slot s, char *b, int64_t iv, double dv) {
  switch (s) {
    case Slot::I16: { short x = static_cast<short>(iv); std::memcpy(b, &x, sizeof x); return; }
    case Slot::I32: { sqlint32 x = static_cast<sqlint32>(iv); std::memcpy(b, &x, sizeof x); return; }
    case Slot::I64: std::memcpy(b, &iv, sizeof iv); return;
    case Slot::F32: { float x = static_cast<float>(dv); std::memcpy(b, &x, sizeof x); return; }
    default: std::memcpy(b, &dv, sizeof dv); return;
  }
}

// One argument as a call reads it, without copying its bytes: a view of a Value or of an SQLite
// value, valid while that value is.
struct ArgRef {
  Value::Kind kind = Value::Null;
  int64_t i = 0;
  double d = 0;
  std::string_view bytes;  // Text and Blob

  bool isNull() const { return kind == Value::Null; }
  Value value() const {
    switch (kind) {
      case Value::Int: return Value::integer(i);
      case Value::Real: return Value::real(d);
      case Value::Text: return Value::text(std::string(bytes));
      case Value::Blob: return Value::blob(std::string(bytes));
      default: return Value::null();
    }
  }
};

// Reads a number from a buffer of slot s (not None): the integer slots as Int, the others as Real.
inline ArgRef getNumber(Slot s, const char *b) {
  ArgRef r;
  switch (s) {
    case Slot::I16: { short x; std::memcpy(&x, b, sizeof x); r.kind = Value::Int; r.i = x; return r; }
    case Slot::I32: { sqlint32 x; std::memcpy(&x, b, sizeof x); r.kind = Value::Int; r.i = x; return r; }
    case Slot::I64: { sqlint64 x; std::memcpy(&x, b, sizeof x); r.kind = Value::Int; r.i = x; return r; }
    case Slot::F32: { float x; std::memcpy(&x, b, sizeof x); r.kind = Value::Real; r.d = x; return r; }
    default: { double x; std::memcpy(&x, b, sizeof x); r.kind = Value::Real; r.d = x; return r; }
  }
}

inline ArgRef argOf(const Value &v) {
  ArgRef a;
  a.kind = v.kind;
  a.i = v.i;
  a.d = v.d;
  if (v.kind == Value::Text || v.kind == Value::Blob) a.bytes = v.s;
  return a;
}

inline ArgRef argOf(sqlite3_value *v) {
  ArgRef a;
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: a.kind = Value::Int; a.i = sqlite3_value_int64(v); break;
    case SQLITE_FLOAT: a.kind = Value::Real; a.d = sqlite3_value_double(v); break;
    case SQLITE_TEXT: {
      // The bytes as stored: the text of a row is not terminated, and asking for it terminated
      // would make SQLite copy it first; every reader here takes the length.
      a.kind = Value::Text;
      const char *p = static_cast<const char *>(sqlite3_value_blob(v));
      a.bytes = std::string_view(p ? p : "", p ? static_cast<size_t>(sqlite3_value_bytes(v)) : 0);
      break;
    }
    case SQLITE_BLOB: {
      a.kind = Value::Blob;
      const char *p = static_cast<const char *>(sqlite3_value_blob(v));
      a.bytes = std::string_view(p ? p : "", p ? static_cast<size_t>(sqlite3_value_bytes(v)) : 0);
      break;
    }
    default: break;
  }
  return a;
}

// Bytes of an input buffer that holds a number: any of the fixed-size forms with room to spare,
// so that a buffer made this size never grows (and never moves) from row to row.
inline constexpr size_t kNumberBuffer = 16;

// Sets dst to v, reusing dst's storage for text, so that a value kept from row to row does not
// allocate for every row.
void assignValue(Value *dst, const ArgRef &v);

// Makes buf hold at least n bytes; bytes it gains are zero, bytes it had keep their contents.
inline char *reserveBytes(std::vector<char> *buf, size_t n) {
  if (buf->size() < n) buf->resize(n, 0);
  return buf->data();
}

// Writes an input into its buffer (a fresh locator for a large object passed as locator),
// growing the buffer when the value needs more than it holds.  Only the bytes of the value and
// its terminator are written: the buffer is the call's, reused from row to row, and a function
// reads an input up to its terminator or declared length.  A null input is written as zero bytes.
void putInput(Session &s, const RoutineParam &p, const ArgRef &v, std::vector<char> *buf, short *ind,
              std::vector<uint32_t> *locators);

void putInput(Session &s, const RoutineParam &p, const Value &v, std::vector<char> *buf, short *ind,
              std::vector<uint32_t> *locators);

// A text argument longer in bytes than parameter p's length, as p receives it: a string
// parameter takes it without the trailing blanks that do not fit; when more than blanks would
// be cut (or for a graphic parameter, more characters than it holds) the call is refused with
// -433 (22001).  Other parameters take it as it is.
ArgRef fitArgument(const RoutineDef &def, const RoutineParam &p, ArgRef v);

// Result buffers up to this size are cleared whole before every call; larger ones (strings and
// large objects) only as far as the previous call's value reached.
inline constexpr size_t kClearWhole = 64;

// Bytes at the start of result buffer buf that the value written there occupies: a string
// through its terminator, a large object its length, data and terminator; the whole buffer when
// the value does not end within the declared size.
// What a call site knows of one result buffer: its declared bytes, whether it holds a large
// object by value, and how much of it the last call may have written.
struct ResultBuffer {
  size_t cap = 0;     // the declared bytes (at most the buffer's size)
  bool lob = false;   // a large object by value: length, data, terminator
  bool whole = true;  // small enough to be cleared whole
  size_t extent = 0;  // bytes the last call may have written
};

size_t resultExtent(const ResultBuffer &r, const std::vector<char> &buf);

// One call site of a function (a scalar reference or a table function cursor): its argument
// buffers and the trailing arguments, made once and reused by every call.  The argument list
// points into the frame, so a frame is never copied or moved.
struct Frame {
  const RoutineDef *def = nullptr;
  bool table = false;
  std::vector<std::vector<char>> in, out;
  std::vector<ResultBuffer> outInfo;
  std::vector<short> inInd, outInd;
  std::vector<uint32_t> argLocators;
  std::vector<void *> args;  // the argument list of the call
  size_t padArg = 0;         // index of the scratchpad in args, 0 when there is none
  char sqlstate[SQLUDF_SQLSTATE_LEN + 1 + 2] = {};
  char fname[SQLUDF_FQNAME_LEN + 1] = {};
  char specname[SQLUDF_SPECNAME_LEN + 1] = {};
  char msg[SQLUDF_MSGTEXT_LEN + 1 + 8] = {};
  sqlint32 callType = 0;
  bool msgDirty = false;  // the last call wrote a message, so msg is cleared before the next
  sqludf_dbinfo dbinfo{};

  Frame(Session &s, const RoutineDef &d, bool isTable) : def(&d), table(isTable) {
    in.resize(d.params.size());
    inInd.assign(d.params.size(), -1);
    // Large objects passed by value get a buffer the size of each value when it is written.
    for (size_t k = 0; k < d.params.size(); ++k) {
      const RoutineParam &p = d.params[k];
      in[k].assign(p.type.isLob() && !p.locator ? 16 : std::max(storageBytes(p) + 8, kNumberBuffer), 0);
    }
    size_t nOut = isTable ? d.columns.size() : 1;
    out.resize(nOut);
    outInfo.resize(nOut);
    outInd.assign(nOut, -1);
    for (size_t k = 0; k < nOut; ++k) {
      const RoutineParam &r = result(k);
      out[k].assign(std::max(outputBytes(d, r) + 8, kNumberBuffer), 0);
      outInfo[k].cap = storageBytes(r);
      outInfo[k].lob = !r.locator && r.type.isLob();
      outInfo[k].whole = out[k].size() <= kClearWhole;
      outInfo[k].extent = out[k].size();
    }
    std::snprintf(fname, sizeof fname, "%s", d.qualified().c_str());
    std::snprintf(specname, sizeof specname, "%s", d.specific.c_str());
    auto put = [](char *dst, unsigned short *len, size_t cap, const std::string &v) {
      size_t n = std::min(cap, v.size());
      std::memcpy(dst, v.data(), n);
      *len = static_cast<unsigned short>(n);
    };
    put(dbinfo.dbname, &dbinfo.dbnamelen, sizeof dbinfo.dbname, s.dbName());
    put(dbinfo.authid, &dbinfo.authidlen, sizeof dbinfo.authid, s.user());
    dbinfo.dbcodepage = 1208;
    dbinfo.appcodepage = 1208;
    std::memcpy(dbinfo.ver_rel, "SQL01000", 8);
    std::snprintf(dbinfo.platform_name, sizeof dbinfo.platform_name, "%s", "LINUX");

    for (auto &b : in) args.push_back(b.data());
    for (auto &b : out) args.push_back(b.data());
    for (short &i : inInd) args.push_back(&i);
    for (short &i : outInd) args.push_back(&i);
    args.push_back(sqlstate);
    args.push_back(fname);
    args.push_back(specname);
    args.push_back(msg);
    if (d.scratchpad || table) {
      padArg = args.size();
      args.push_back(nullptr);
    }
    if (d.finalCall || table) args.push_back(&callType);
    if (d.dbinfo) args.push_back(&dbinfo);
  }
  Frame(const Frame &) = delete;
  Frame &operator=(const Frame &) = delete;

  // The declaration of what the function writes as result k (a column of a table function, the
  // result of a scalar one: its CAST FROM type when it has one).
  const RoutineParam &result(size_t k) const { return table ? def->columns[k] : def->written(); }

  // Writes input k from v (see putInput) once it fits the parameter (fitArgument); the
  // argument list follows the buffer if it grew.
  void setInput(Session &s, size_t k, const ArgRef &v) {
    const RoutineParam &p = def->params[k];
    if ((v.kind == Value::Text || v.kind == Value::Blob) && v.bytes.size() > static_cast<size_t>(p.type.length) &&
        p.type.length > 0) {
      putInput(s, p, fitArgument(*def, p, v), &in[k], &inInd[k], &argLocators);
    } else {
      putInput(s, p, v, &in[k], &inInd[k], &argLocators);
    }
    args[k] = in[k].data();
  }

  // Makes the call; the results and SQLSTATE are read by the caller.  Result buffers are
  // zero where the function may look for its earlier values, indicators say null.
  void invoke(Session &s, void *fn, sqludf_scratchpad *pad, int type) {
    if (args.size() > kMaxCallArgs) raise(kSqlNoFunction, {def->qualified(), "FUNCTION"});
    const size_t nOut = out.size();
    for (size_t k = 0; k < nOut; ++k) {
      std::memset(out[k].data(), 0, outInfo[k].extent);
      outInd[k] = -1;
    }
    call(s, fn, pad, type);
    for (size_t k = 0; k < nOut; ++k) outInfo[k].extent = resultExtent(outInfo[k], out[k]);
  }

  // The call itself with the state, message and call type reset; inputs and result buffers
  // are the caller's to prepare.
  void call(Session &s, void *fn, sqludf_scratchpad *pad, int type) {
    std::memcpy(sqlstate, "00000", 6);
    if (msgDirty) std::memset(msg, 0, sizeof msg);
    callType = type;
    if (padArg != 0) args[padArg] = pad;
    {
      SessionScope scope(&s);
      callPointers(fn, args);
    }
    msgDirty = msg[0] != 0;
  }

  std::string message() const { return std::string(msg, strnlen(msg, SQLUDF_MSGTEXT_LEN)); }
};

bool validStateChars(const char *st);

// The outcome of a call's SQLSTATE other than "00000": 0 go on, 1 end of table, or throws for
// an error.  A warning is recorded in the session.
int stateOutcome(Session &s, const Frame &f, bool tableFetch);

// The outcome of a call's SQLSTATE, as stateOutcome; "00000" and a fetch's "02000", the usual
// cases, without a call.
inline int checkState(Session &s, const Frame &f, bool tableFetch) {
  if (std::memcmp(f.sqlstate, "00000", 5) == 0) return 0;
  if (tableFetch && std::memcmp(f.sqlstate, "02000", 5) == 0) return 1;
  return stateOutcome(s, f, tableFetch);
}

// Frees the locators made for a call's arguments.
void freeLocators(Session &s, std::vector<uint32_t> *ids);

// A call frame for def: a spare one the session kept from an ended call site of def, else a new
// one (table: a table function's frame).  A function in a trigger body gets a site of its own
// at every firing, and making its buffers cost more than the call (routines_scalar.cpp).
std::unique_ptr<Frame> frameFor(Session &s, const std::shared_ptr<const RoutineDef> &def, bool table);
// Keeps the frame of an ended call site for the next site of def (not one holding locators).
void spareFrame(Session &s, const std::shared_ptr<const RoutineDef> &def, std::unique_ptr<Frame> frame);

// The mark freeCreated frees back to: the number of locators routines have created in the calls
// under way (none, the usual case, is answered without counting).
inline size_t createdMark(const RoutineRuntime &rt) { return rt.created.empty() ? 0 : rt.created.size(); }

// Frees the locators routines created since mark.
void freeCreatedSince(Session &s, RoutineRuntime &rt, size_t mark);

inline void freeCreated(Session &s, RoutineRuntime &rt, size_t mark) {
  if (!rt.created.empty()) freeCreatedSince(s, rt, mark);
}

// A result buffer as a view, valid while buf and the locators of the call are; throws -450 for
// a string that is not terminated within its declared length or a large object longer than
// declared, -423 for a result locator that is not valid.  A DATE, TIME or TIMESTAMP is read as
// the host reads one (-180 or -181, 22007, for text that is none) and rewritten in buf in its
// stored form, which is never longer than the buffer.
ArgRef readResult(Session &s, const RoutineDef &def, const RoutineParam &p, std::vector<char> &buf, short ind);

// The value a function with RETURNS t CAST FROM u wrote, cast to t (checkRoutineOutputs
// allowed strings to strings and numbers to numbers only): a string longer than t holds is
// refused with -433 (22001) unless only blanks are cut; a number out of t's range with -413
// (22003).  A string keeps viewing the result buffer.
ArgRef castResult(const RoutineDef &def, ArgRef v);

// A result buffer as a value; throws as readResult.
Value resultValue(Session &s, const RoutineDef &def, const RoutineParam &p, std::vector<char> &buf, short ind);

// Sets the SQL function's result; SQLite copies text and blobs.
inline void setResult(sqlite3_context *ctx, const ArgRef &v) {
  switch (v.kind) {
    case Value::Null: sqlite3_result_null(ctx); return;
    case Value::Int: sqlite3_result_int64(ctx, v.i); return;
    case Value::Real: sqlite3_result_double(ctx, v.d); return;
    case Value::Text: sqlite3_result_text64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8); return;
    case Value::Blob: sqlite3_result_blob64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT); return;
  }
}

inline void setResult(sqlite3_context *ctx, const Value &v) { setResult(ctx, argOf(v)); }

void resultError(sqlite3_context *ctx, const QError &e);

// The definition of the function of key (functionKey), cached for the session; throws -440.
std::shared_ptr<const RoutineDef> cachedDef(Session &s, const std::string &key);

// The routines of routineType ('F', 'P') and, for functions, functionType ('S', 'T') named
// name in schema, oldest first.
std::vector<RoutineDef> routinesNamed(Session &s, const std::string &schema, const std::string &name, char routineType,
                                      char functionType);
// The schemas a routine reference searches: schema, or the session's function path when empty.
std::vector<std::string> searchSchemas(Session &s, const std::string &schema);

// The SQL function QUDF(key, args...) of scalar function calls (routines_scalar.cpp).
void qudf(sqlite3_context *ctx, int argc, sqlite3_value **argv);

// Registers the eponymous virtual table of table function def on the session's connection
// unless it is there for the same definition (routines_table.cpp).
void registerModule(Session &s, const RoutineDef &def);

}  // namespace quarn

#endif  // QUARN_ENGINE_ROUTINES_CALL_H
