/*
 * routines.cpp - external routines: catalog definitions, static function resolution, library
 * loading, the QUARNSQL call of scalar and table functions, the procedure conventions
 * QUARNDARI and SQL, and the large-object service of the function runtime.
 *
 * Every call into a routine runs with the caller's session as the thread's current session, so
 * the function runtime (sqludf_*) and a procedure's embedded SQL reach the caller's locators
 * and unit of work.  Locators the engine makes for arguments and those a routine creates live
 * until the engine has read the call's results; then they are freed.
 */
#include "routines.h"

#include <dlfcn.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>
#include <utility>

#include "catalog.h"
#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "quarnrds_service.h"
#include "sqlda.h"
#include "sqludf.h"

namespace quarn {

namespace {

// ======================================================================= libraries

constexpr size_t kMaxCallArgs = 200;

std::mutex gLibMutex;
std::map<std::string, void *> gLibraries;  // file -> handle; never closed

void anchor() {}

std::string engineLibraryDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&anchor), &info) == 0 || info.dli_fname == nullptr) return "";
  std::filesystem::path p(info.dli_fname);
  std::error_code ec;
  std::filesystem::path abs = std::filesystem::weakly_canonical(p, ec);
  return (ec ? p : abs).parent_path().string();
}

// The loader's reason without the file name it starts with.
std::string loaderReason(const char *err, const std::string &file) {
  std::string r = err ? err : "unknown";
  if (r.rfind(file + ": ", 0) == 0) r = r.substr(file.size() + 2);
  return r;
}

[[noreturn]] void cannotAccess(const RoutineDef &def, const std::string &lib, const std::string &entry,
                               const std::string &reason) {
  raise(kSqlRoutineNotLoadable, {def.name, def.specific, lib, entry, reason});
}

// The entry of external name "library!entry" (library alone: the entry is the routine's name).
void *findEntry(const RoutineDef &def, const std::string &externalName) {
  std::string lib = externalName, entry = def.name;
  size_t bang = externalName.find('!');
  if (bang != std::string::npos) {
    lib = externalName.substr(0, bang);
    entry = externalName.substr(bang + 1);
  }
  if (lib.empty() || entry.empty()) cannotAccess(def, lib, entry, "bad external name");
  std::vector<std::string> files;
  if (lib.find('/') != std::string::npos) {
    files.push_back(lib);
  } else {
    for (const std::string &dir : routineLibraryDirs()) {
      files.push_back(dir + "/lib" + lib + ".so");
      files.push_back(dir + "/" + lib + ".so");
      files.push_back(dir + "/" + lib);
    }
  }
  std::lock_guard<std::mutex> lock(gLibMutex);
  void *handle = nullptr;
  for (const std::string &f : files) {
    auto it = gLibraries.find(f);
    if (it != gLibraries.end()) {
      handle = it->second;
      break;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(f, ec)) continue;
    dlerror();
    handle = dlopen(f.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) cannotAccess(def, lib, entry, loaderReason(dlerror(), f));
    gLibraries[f] = handle;
    break;
  }
  if (handle == nullptr) cannotAccess(def, lib, entry, "not found");
  dlerror();
  void *fn = dlsym(handle, entry.c_str());
  if (fn == nullptr) cannotAccess(def, lib, entry, "no entry");
  return fn;
}

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
constexpr std::array<Caller, kMaxCallArgs + 1> kCallers = makeCallers(std::make_index_sequence<kMaxCallArgs + 1>{});

void callPointers(void *fn, const std::vector<void *> &args) { kCallers[args.size()](fn, args.data()); }

// ======================================================================= values

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

bool isStringType(const QType &t) {
  switch (t.base) {
    case Base::Char: case Base::Varchar: case Base::LongVarchar: case Base::Graphic: case Base::Vargraphic:
    case Base::LongVargraphic: case Base::Date: case Base::Time: case Base::Timestamp: return true;
    default: return false;
  }
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

// How a parameter or result of a fixed-size number type sits in its buffer; None for every
// other type and for locators.  Calls whose inputs and result all have a slot take the short
// path of qudf.
enum class Slot : uint8_t { None, I16, I32, I64, F32, F64 };

Slot slotOf(const RoutineParam &p) {
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

ArgRef argOf(const Value &v) {
  ArgRef a;
  a.kind = v.kind;
  a.i = v.i;
  a.d = v.d;
  if (v.kind == Value::Text || v.kind == Value::Blob) a.bytes = v.s;
  return a;
}

ArgRef argOf(sqlite3_value *v) {
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
constexpr size_t kNumberBuffer = 16;

// Sets dst to v, reusing dst's storage for text, so that a value kept from row to row does not
// allocate for every row.
void assignValue(Value *dst, const ArgRef &v) {
  dst->kind = v.kind;
  dst->i = v.i;
  dst->d = v.d;
  if (v.kind == Value::Text || v.kind == Value::Blob) dst->s.assign(v.bytes.data(), v.bytes.size());
  else dst->s.clear();
}

// Makes buf hold at least n bytes; bytes it gains are zero, bytes it had keep their contents.
char *reserveBytes(std::vector<char> *buf, size_t n) {
  if (buf->size() < n) buf->resize(n, 0);
  return buf->data();
}

// Writes an input into its buffer (a fresh locator for a large object passed as locator),
// growing the buffer when the value needs more than it holds.  Only the bytes of the value and
// its terminator are written: the buffer is the call's, reused from row to row, and a function
// reads an input up to its terminator or declared length.  A null input is written as zero bytes.
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

// ======================================================================= the QUARNSQL frame

// Result buffers up to this size are cleared whole before every call; larger ones (strings and
// large objects) only as far as the previous call's value reached.
constexpr size_t kClearWhole = 64;

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

  // Writes input k from v (see putInput); the argument list follows the buffer if it grew.
  void setInput(Session &s, size_t k, const ArgRef &v) {
    putInput(s, def->params[k], v, &in[k], &inInd[k], &argLocators);
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

// The outcome of a call's SQLSTATE, as stateOutcome; "00000" and a fetch's "02000", the usual
// cases, without a call.
inline int checkState(Session &s, const Frame &f, bool tableFetch) {
  if (std::memcmp(f.sqlstate, "00000", 5) == 0) return 0;
  if (tableFetch && std::memcmp(f.sqlstate, "02000", 5) == 0) return 1;
  return stateOutcome(s, f, tableFetch);
}

// Frees the locators made for a call's arguments.
void freeLocators(Session &s, std::vector<uint32_t> *ids) {
  for (uint32_t id : *ids) s.freeLocator(id);
  ids->clear();
}

// The mark freeCreated frees back to: the number of locators routines have created in the calls
// under way (none, the usual case, is answered without counting).
inline size_t createdMark(const RoutineRuntime &rt) { return rt.created.empty() ? 0 : rt.created.size(); }

// Frees the locators routines created since mark.
void freeCreatedSince(Session &s, RoutineRuntime &rt, size_t mark) {
  while (rt.created.size() > mark) {
    s.freeLocator(rt.created.back());
    rt.created.pop_back();
  }
}
inline void freeCreated(Session &s, RoutineRuntime &rt, size_t mark) {
  if (!rt.created.empty()) freeCreatedSince(s, rt, mark);
}

// A result buffer as a view, valid while buf and the locators of the call are; throws -450 for
// a string that is not terminated within its declared length or a large object longer than
// declared, -423 for a result locator that is not valid.
ArgRef readResult(Session &s, const RoutineDef &def, const RoutineParam &p, const std::vector<char> &buf, short ind) {
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
      r.kind = Value::Text;
      r.bytes = std::string_view(b, n);
      return r;
    }
  }
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
Value resultValue(Session &s, const RoutineDef &def, const RoutineParam &p, const std::vector<char> &buf, short ind) {
  return readResult(s, def, p, buf, ind).value();
}

// Sets the SQL function's result; SQLite copies text and blobs.
void setResult(sqlite3_context *ctx, const ArgRef &v) {
  switch (v.kind) {
    case Value::Null: sqlite3_result_null(ctx); return;
    case Value::Int: sqlite3_result_int64(ctx, v.i); return;
    case Value::Real: sqlite3_result_double(ctx, v.d); return;
    case Value::Text: sqlite3_result_text64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT, SQLITE_UTF8); return;
    case Value::Blob: sqlite3_result_blob64(ctx, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT); return;
  }
}

void setResult(sqlite3_context *ctx, const Value &v) { setResult(ctx, argOf(v)); }

void resultError(sqlite3_context *ctx, const QError &e) {
  std::string m = encodeError(e);
  sqlite3_result_error(ctx, m.c_str(), static_cast<int>(m.size()));
}

// ======================================================================= catalog

std::shared_ptr<const RoutineDef> cachedDef(Session &s, const std::string &key) {
  RoutineRuntime &rt = *s.routineRuntime();
  auto it = rt.defs.find(key);
  if (it != rt.defs.end()) return it->second;
  size_t sep = key.find('\x1F');
  if (sep == std::string::npos) raise(kSqlNoFunction, {key, "FUNCTION"});
  std::optional<RoutineDef> d = loadRoutineDef(s.db(), key.substr(0, sep), key.substr(sep + 1));
  if (!d) raise(kSqlNoFunction, {key.substr(sep + 1), "FUNCTION"});
  auto sp = std::make_shared<const RoutineDef>(std::move(*d));
  rt.defs[key] = sp;
  return sp;
}

// ======================================================================= scalar functions

// The state of one function reference in one statement execution.
struct ScalarSite {
  Session *session = nullptr;
  std::shared_ptr<const RoutineDef> def;
  void *fn = nullptr;
  std::unique_ptr<Frame> frame;
  sqludf_scratchpad pad{};
  bool called = false;
  // For the short path of fixed-size numbers: each parameter's slot and place in the frame,
  // and the slot of the result.
  struct FixedInput {
    Slot slot;
    char *buf;
    short *ind;
  };
  std::vector<FixedInput> fixedInputs;
  Slot outSlot = Slot::None;
  bool fixed = false;  // every parameter and the result have a slot

  ~ScalarSite() {
    if (!called || !def->finalCall || fn == nullptr) return;
    // The final call: inputs are null.
    std::fill(frame->inInd.begin(), frame->inInd.end(), static_cast<short>(-1));
    try {
      size_t mark = createdMark(*session->routineRuntime());
      frame->invoke(*session, fn, &pad, SQLUDF_FINAL_CALL);
      freeCreated(*session, *session->routineRuntime(), mark);
    } catch (const QError &) {
    }
  }
};

void destroySite(void *p) { delete static_cast<ScalarSite *>(p); }

// Puts a fixed-size number input from v; false when v is text or a blob, which the general
// conversion reads as a number.
inline bool putFixedInput(const ScalarSite::FixedInput &in, sqlite3_value *v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: {
      int64_t i = sqlite3_value_int64(v);
      putNumber(in.slot, in.buf, i, static_cast<double>(i));
      *in.ind = 0;
      return true;
    }
    case SQLITE_FLOAT: {
      double d = sqlite3_value_double(v);
      putNumber(in.slot, in.buf, static_cast<int64_t>(d), d);
      *in.ind = 0;
      return true;
    }
    case SQLITE_NULL:
      std::memset(in.buf, 0, kNumberBuffer);
      *in.ind = -1;
      return true;
    default: return false;
  }
}

// The call of a function whose parameters and result are all fixed-size numbers, the usual
// shape of small computational functions: the same protocol as the general path, without its
// conversions.  The input buffers were made kNumberBuffer bytes and never move, the result
// buffer is small and cleared whole, and no locator is passed.  False (nothing called) when an
// argument needs the general conversion.
bool fixedCall(Session &s, ScalarSite &site, sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  Frame &f = *site.frame;
  bool anyNull = false;
  const ScalarSite::FixedInput *in = site.fixedInputs.data();
  for (int k = 1; k < argc; ++k, ++in) {
    if (!putFixedInput(*in, argv[k])) return false;
    anyNull |= *in->ind < 0;
  }
  const RoutineDef &def = *site.def;
  if (anyNull && !def.nullCall) {
    sqlite3_result_null(ctx);
    return true;
  }
  if (site.fn == nullptr) site.fn = findEntry(def, def.externalName);
  std::vector<char> &out = f.out[0];
  std::memset(out.data(), 0, kNumberBuffer);  // the whole buffer of a number
  f.outInd[0] = -1;
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  int type = site.called ? SQLUDF_NORMAL_CALL : SQLUDF_FIRST_CALL;
  site.called = true;
  f.call(s, site.fn, &site.pad, type);
  // A function with no locator argument may still have created locators; none outlive the call.
  freeCreated(s, rt, mark);
  checkState(s, f, false);
  if (f.outInd[0] < 0) {
    sqlite3_result_null(ctx);
    return true;
  }
  const char *b = out.data();
  const ArgRef r = getNumber(site.outSlot, b);
  if (r.kind == Value::Int) sqlite3_result_int64(ctx, r.i);
  else sqlite3_result_double(ctx, r.d);
  return true;
}

ScalarSite *newSite(Session &s, sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  auto fresh = std::make_unique<ScalarSite>();
  fresh->session = &s;
  fresh->def = cachedDef(s, reinterpret_cast<const char *>(sqlite3_value_text(argv[0])));
  const RoutineDef &def = *fresh->def;
  if (static_cast<size_t>(argc - 1) != def.params.size()) raise(kSqlNoFunction, {def.qualified(), "FUNCTION"});
  fresh->frame = std::make_unique<Frame>(s, def, false);
  fresh->pad.length = SQLUDF_SCRATCHPAD_LEN;
  fresh->outSlot = slotOf(def.result);
  fresh->fixed = fresh->outSlot != Slot::None && !def.castFrom && fresh->frame->out[0].size() == kNumberBuffer;
  for (size_t k = 0; k < def.params.size(); ++k) {
    Slot slot = slotOf(def.params[k]);
    fresh->fixedInputs.push_back({slot, fresh->frame->in[k].data(), &fresh->frame->inInd[k]});
    fresh->fixed = fresh->fixed && slot != Slot::None;
  }
  sqlite3_set_auxdata(ctx, 0, fresh.release(), destroySite);
  auto *site = static_cast<ScalarSite *>(sqlite3_get_auxdata(ctx, 0));
  if (site == nullptr) raise(kSqlSystem, {"function state lost"});
  return site;
}

void qudf(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  try {
    auto *site = static_cast<ScalarSite *>(sqlite3_get_auxdata(ctx, 0));
    if (site == nullptr) site = newSite(*static_cast<Session *>(sqlite3_user_data(ctx)), ctx, argc, argv);
    Session *s = site->session;
    if (site->fixed && fixedCall(*s, *site, ctx, argc, argv)) return;
    const RoutineDef &def = *site->def;
    Frame &f = *site->frame;
    bool anyNull = false;
    for (int k = 1; k < argc; ++k) {
      ArgRef v = argOf(argv[k]);
      anyNull = anyNull || v.isNull();
      f.setInput(*s, static_cast<size_t>(k - 1), v);
    }
    if (anyNull && !def.nullCall) {
      freeLocators(*s, &f.argLocators);
      sqlite3_result_null(ctx);
      return;
    }
    if (site->fn == nullptr) site->fn = findEntry(def, def.externalName);
    RoutineRuntime &rt = *s->routineRuntime();
    size_t mark = createdMark(rt);
    int type = site->called ? SQLUDF_NORMAL_CALL : SQLUDF_FIRST_CALL;
    site->called = true;
    try {
      f.invoke(*s, site->fn, &site->pad, type);
      checkState(*s, f, false);
      // SQLite copies the value before the locators it may live in are freed.
      ArgRef r = readResult(*s, def, def.written(), f.out[0], f.outInd[0]);
      if (def.castFrom) r = castResult(def, r);
      setResult(ctx, r);
      freeCreated(*s, rt, mark);
      freeLocators(*s, &f.argLocators);
    } catch (...) {
      freeCreated(*s, rt, mark);
      freeLocators(*s, &f.argLocators);
      throw;
    }
  } catch (const QError &e) {
    resultError(ctx, e);
  }
}

// ======================================================================= table functions

struct TfModule {
  Session *session;
  std::string key;
};

struct TfTable {
  sqlite3_vtab base{};
  Session *session = nullptr;
  std::shared_ptr<const RoutineDef> def;
};

struct TfCursor {
  sqlite3_vtab_cursor base{};
  std::unique_ptr<Frame> frame;
  sqludf_scratchpad pad{};
  void *fn = nullptr;
  bool first = false, open = false, eof = true;
  std::vector<Value> args, row;
  sqlite3_int64 rowid = 0;
};

int vtabError(sqlite3_vtab *tab, const QError &e) {
  sqlite3_free(tab->zErrMsg);
  std::string m = encodeError(e);
  tab->zErrMsg = sqlite3_mprintf("%s", m.c_str());
  return SQLITE_ERROR;
}

int tfConnect(sqlite3 *db, void *aux, int, const char *const *, sqlite3_vtab **out, char **err) {
  auto *m = static_cast<TfModule *>(aux);
  try {
    std::shared_ptr<const RoutineDef> def = cachedDef(*m->session, m->key);
    std::string decl = "CREATE TABLE x(";
    for (size_t k = 0; k < def->columns.size(); ++k)
      decl += (k ? ", " : "") + quoteIdent(def->columns[k].name) + " " + def->columns[k].type.sqliteDecl();
    for (size_t k = 0; k < def->params.size(); ++k)
      decl += std::string(def->columns.empty() && k == 0 ? "" : ", ") + "\"QARG" + std::to_string(k + 1) + "\" HIDDEN";
    decl += ")";
    int rc = sqlite3_declare_vtab(db, decl.c_str());
    if (rc != SQLITE_OK) return rc;
    auto *t = new TfTable();
    t->session = m->session;
    t->def = def;
    *out = &t->base;
    return SQLITE_OK;
  } catch (const QError &e) {
    std::string msg = encodeError(e);
    *err = sqlite3_mprintf("%s", msg.c_str());
    return SQLITE_ERROR;
  }
}

int tfDisconnect(sqlite3_vtab *v) {
  delete reinterpret_cast<TfTable *>(v);
  return SQLITE_OK;
}

int tfBestIndex(sqlite3_vtab *v, sqlite3_index_info *info) {
  auto *t = reinterpret_cast<TfTable *>(v);
  int nCols = static_cast<int>(t->def->columns.size());
  int nArgs = static_cast<int>(t->def->params.size());
  std::vector<int> found(static_cast<size_t>(nArgs), -1);
  for (int k = 0; k < info->nConstraint; ++k) {
    const auto &c = info->aConstraint[k];
    int arg = c.iColumn - nCols;
    if (arg < 0 || arg >= nArgs || c.op != SQLITE_INDEX_CONSTRAINT_EQ) continue;
    if (!c.usable) return SQLITE_CONSTRAINT;
    found[static_cast<size_t>(arg)] = k;
  }
  for (int a = 0; a < nArgs; ++a) {
    if (found[static_cast<size_t>(a)] < 0) return SQLITE_CONSTRAINT;
    info->aConstraintUsage[found[static_cast<size_t>(a)]].argvIndex = a + 1;
    info->aConstraintUsage[found[static_cast<size_t>(a)]].omit = 1;
  }
  // idxNum 1: the statement reads an argument column, so the scan keeps the arguments' values.
  // Columns from the 64th on share the last bit of colUsed.
  info->idxNum = 0;
  for (int a = 0; a < nArgs; ++a)
    if (info->colUsed & (sqlite3_uint64{1} << std::min(nCols + a, 63))) info->idxNum = 1;
  info->estimatedCost = 1000;
  info->estimatedRows = 100;
  return SQLITE_OK;
}

int tfOpen(sqlite3_vtab *v, sqlite3_vtab_cursor **out) {
  auto *t = reinterpret_cast<TfTable *>(v);
  auto *c = new TfCursor();
  c->frame = std::make_unique<Frame>(*t->session, *t->def, true);
  c->pad.length = SQLUDF_SCRATCHPAD_LEN;
  *out = &c->base;
  return SQLITE_OK;
}

// One call of the table function under cursor c; fetch rows are read into c->row.
void tfCall(TfTable *t, TfCursor *c, int type) {
  Session &s = *t->session;
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  try {
    c->frame->invoke(s, c->fn, &c->pad, type);
    int end = checkState(s, *c->frame, type == SQLUDF_TF_FETCH);
    if (type == SQLUDF_TF_FETCH) {
      if (end) {
        c->eof = true;
      } else {
        const RoutineDef &def = *t->def;
        c->row.resize(def.columns.size());
        for (size_t k = 0; k < def.columns.size(); ++k)
          assignValue(&c->row[k], readResult(s, def, def.columns[k], c->frame->out[k], c->frame->outInd[k]));
        ++c->rowid;
      }
    }
    freeCreated(s, rt, mark);
  } catch (...) {
    freeCreated(s, rt, mark);
    throw;
  }
}

void tfCloseScan(TfTable *t, TfCursor *c) {
  if (!c->open) return;
  c->open = false;
  try {
    tfCall(t, c, SQLUDF_TF_CLOSE);
  } catch (...) {
    freeLocators(*t->session, &c->frame->argLocators);
    throw;
  }
  freeLocators(*t->session, &c->frame->argLocators);
}

int tfClose(sqlite3_vtab_cursor *cur) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  try {
    tfCloseScan(t, c);
  } catch (const QError &) {
  }
  if (c->first && t->def->finalCall) {
    try {
      std::fill(c->frame->inInd.begin(), c->frame->inInd.end(), static_cast<short>(-1));
      tfCall(t, c, SQLUDF_TF_FINAL);
    } catch (const QError &) {
    }
  }
  delete c;
  return SQLITE_OK;
}

int tfFilter(sqlite3_vtab_cursor *cur, int idxNum, const char *, int argc, sqlite3_value **argv) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  Session &s = *t->session;
  try {
    tfCloseScan(t, c);
    const RoutineDef &def = *t->def;
    const size_t nArgs = std::min(static_cast<size_t>(std::max(argc, 0)), def.params.size());
    const bool keepArgs = (idxNum & 1) != 0;
    c->args.resize(keepArgs ? nArgs : 0);
    bool anyNull = false;
    for (size_t k = 0; k < nArgs; ++k) {
      ArgRef v = argOf(argv[k]);
      if (keepArgs) assignValue(&c->args[k], v);  // for the argument columns the statement reads
      anyNull = anyNull || v.isNull();
      c->frame->setInput(s, k, v);
    }
    c->eof = false;
    if (anyNull && !def.nullCall) {
      freeLocators(s, &c->frame->argLocators);
      c->eof = true;
      return SQLITE_OK;
    }
    if (c->fn == nullptr) c->fn = findEntry(def, def.externalName);
    if (!c->first && def.finalCall) {
      c->first = true;
      tfCall(t, c, SQLUDF_TF_FIRST);
    }
    c->first = true;
    c->open = true;
    tfCall(t, c, SQLUDF_TF_OPEN);
    tfCall(t, c, SQLUDF_TF_FETCH);
    if (c->eof) tfCloseScan(t, c);
    return SQLITE_OK;
  } catch (const QError &e) {
    return vtabError(cur->pVtab, e);
  }
}

int tfNext(sqlite3_vtab_cursor *cur) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  auto *t = reinterpret_cast<TfTable *>(cur->pVtab);
  try {
    tfCall(t, c, SQLUDF_TF_FETCH);
    if (c->eof) tfCloseScan(t, c);
    return SQLITE_OK;
  } catch (const QError &e) {
    return vtabError(cur->pVtab, e);
  }
}

int tfEof(sqlite3_vtab_cursor *cur) { return reinterpret_cast<TfCursor *>(cur)->eof ? 1 : 0; }

int tfColumn(sqlite3_vtab_cursor *cur, sqlite3_context *ctx, int i) {
  auto *c = reinterpret_cast<TfCursor *>(cur);
  const size_t nCols = reinterpret_cast<TfTable *>(cur->pVtab)->def->columns.size();
  size_t k = static_cast<size_t>(i);
  if (k < nCols && k < c->row.size()) setResult(ctx, c->row[k]);
  else if (k >= nCols && k - nCols < c->args.size()) setResult(ctx, c->args[k - nCols]);
  else sqlite3_result_null(ctx);
  return SQLITE_OK;
}

int tfRowid(sqlite3_vtab_cursor *cur, sqlite3_int64 *rowid) {
  *rowid = reinterpret_cast<TfCursor *>(cur)->rowid;
  return SQLITE_OK;
}

const sqlite3_module kTableFunctionModule = {
    0,        nullptr,  tfConnect, tfBestIndex, tfDisconnect, nullptr, tfOpen,  tfClose, tfFilter, tfNext, tfEof,
    tfColumn, tfRowid,  nullptr,   nullptr,     nullptr,      nullptr, nullptr, nullptr, nullptr,  nullptr, nullptr,
    nullptr,  nullptr};

void destroyModule(void *p) { delete static_cast<TfModule *>(p); }

std::string moduleName(const std::string &schema, const std::string &specific) {
  return "QTF:" + schema + "." + specific;
}

std::string defStamp(const RoutineDef &d) {
  std::string s = d.externalName + "|" + std::to_string(d.params.size());
  for (const RoutineParam &c : d.columns) s += "|" + c.name + " " + c.type.sqliteDecl();
  return s;
}

void registerModule(Session &s, const RoutineDef &def) {
  RoutineRuntime &rt = *s.routineRuntime();
  std::string name = moduleName(def.schema, def.specific);
  std::string stamp = defStamp(def);
  auto it = rt.modules.find(name);
  if (it != rt.modules.end() && it->second == stamp) return;
  auto *m = new TfModule{&s, functionKey(def)};
  sqlite3_create_module_v2(s.db(), name.c_str(), &kTableFunctionModule, m, destroyModule);
  rt.modules[name] = stamp;
}

// ======================================================================= the large-object service

int lobLength(udf_locator loc, sqlint32 *length) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  const Value *v = s->locatorValue(loc);
  if (v == nullptr) return -423;
  *length = static_cast<sqlint32>(v->s.size());
  return 0;
}

int lobSubstr(udf_locator loc, sqlint32 start, sqlint32 length, unsigned char *buffer, sqlint32 *got) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  const Value *v = s->locatorValue(loc);
  if (v == nullptr) return -423;
  size_t from = static_cast<size_t>(start - 1);
  size_t n = from >= v->s.size() ? 0 : std::min(v->s.size() - from, static_cast<size_t>(length));
  if (n > 0) std::memcpy(buffer, v->s.data() + from, n);
  *got = static_cast<sqlint32>(n);
  return 0;
}

// The service is called from routine libraries through quarnrds: nothing may throw out of it, so
// a failure to allocate is answered as a system error.
int lobAppend(udf_locator loc, const unsigned char *buffer, sqlint32 length, sqlint32 *appended) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  try {
    if (!s->appendToLocator(loc, std::string(reinterpret_cast<const char *>(buffer), static_cast<size_t>(length))))
      return -423;
  } catch (...) {
    return kSqlSystem;
  }
  *appended = length;
  return 0;
}

int lobCreate(int locType, udf_locator **loc) {
  Session *s = currentSession();
  if (s == nullptr || s->routineRuntime() == nullptr) return kSqlNoConnection;
  if (locType != SQL_TYP_CLOB_LOC && locType != SQL_TYP_BLOB_LOC && locType != SQL_TYP_DBCLOB_LOC) return -171;
  try {
    udf_locator id = s->createLocator(locType == SQL_TYP_BLOB_LOC ? Value::blob("") : Value::text(""));
    RoutineRuntime &rt = *s->routineRuntime();
    try {
      rt.created.push_back(id);
    } catch (...) {
      s->freeLocator(id);
      throw;
    }
    *loc = &rt.created.back();
  } catch (...) {
    return kSqlSystem;
  }
  return 0;
}

const QuarnLobService kLobService = {lobLength, lobSubstr, lobAppend, lobCreate};

// Registers the service when the engine's library is loaded.
struct LobServiceRegistration {
  LobServiceRegistration() { quarnrdsSetLobService(&kLobService); }
};
const LobServiceRegistration gLobServiceRegistration;

// ======================================================================= resolution

// Position of a built-in type in its promotion chain, and the chain; -1 for none.
std::pair<int, int> promotion(const QType &t) {
  switch (t.base) {
    case Base::SmallInt: return {0, 0};
    case Base::Integer: return {0, 1};
    case Base::BigInt: return {0, 2};
    case Base::Decimal: return {0, 3};
    case Base::Real: return {0, 4};
    case Base::Double: return {0, 5};
    case Base::Char: return {1, 0};
    case Base::Varchar: return {1, 1};
    case Base::LongVarchar: return {1, 2};
    case Base::Clob: return {1, 3};
    case Base::Graphic: return {2, 0};
    case Base::Vargraphic: return {2, 1};
    case Base::LongVargraphic: return {2, 2};
    case Base::DbClob: return {2, 3};
    case Base::Blob: return {3, 0};
    case Base::Date: return {4, 0};
    case Base::Time: return {5, 0};
    case Base::Timestamp: return {6, 0};
    default: return {-1, 0};
  }
}

// How far arg is promoted to reach param: 0 exact, more is worse, -1 cannot.
int promotionDistance(const QType &arg, const QType &param) {
  if (arg.base == Base::None && !arg.isDistinct()) return 100;
  if (arg.isDistinct() || param.isDistinct()) {
    return arg.isDistinct() && param.isDistinct() && arg.typeSchema == param.typeSchema && arg.typeName == param.typeName
               ? 0
               : -1;
  }
  auto a = promotion(arg), p = promotion(param);
  if (a.first < 0 || a.first != p.first || p.second < a.second) return -1;
  return p.second - a.second;
}

std::vector<RoutineDef> routinesNamed(Session &s, const std::string &schema, const std::string &name, char routineType,
                                      char functionType) {
  Stmt st(s.db(), "SELECT SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND ROUTINENAME = ?2 AND "
                  "ROUTINETYPE = ?3 ORDER BY CREATE_TIME");
  st.bind(1, schema).bind(2, name).bind(3, std::string(1, routineType));
  std::vector<std::string> specifics;
  while (st.step()) specifics.push_back(st.text(0));
  std::vector<RoutineDef> out;
  for (const std::string &sp : specifics) {
    std::optional<RoutineDef> d = loadRoutineDef(s.db(), schema, sp);
    if (d && (routineType == 'P' || d->functionType == functionType)) out.push_back(std::move(*d));
  }
  return out;
}

std::vector<std::string> searchSchemas(Session &s, const std::string &schema) {
  if (!schema.empty()) return {schema};
  return s.functionPath();
}

}  // namespace

// ======================================================================= public

std::vector<std::string> routineLibraryDirs() {
  std::vector<std::string> dirs;
  const char *env = std::getenv("QUARN_FUNCTION_DIR");
  if (env && *env) {
    std::string list = env;
    size_t start = 0;
    while (start <= list.size()) {
      size_t colon = list.find(':', start);
      std::string d = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
      if (!d.empty()) dirs.push_back(d);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  dirs.push_back(instancePath() + "/function");
  std::string own = engineLibraryDir();
  if (!own.empty()) dirs.push_back(own);
  return dirs;
}

std::string functionKey(const RoutineDef &def) { return def.schema + "\x1F" + def.specific; }

void checkRoutineOutputs(const RoutineSpec &spec) {
  auto fits = [&](const RoutineParam &p) {
    if (!p.locator && valueBytes(p.type) > kMaxOutputValueBytes) raise(kSqlBadLength, {spec.name.text()});
  };
  if (spec.routineType == 'F' && spec.functionType == 'S') {
    fits(spec.castFrom ? *spec.castFrom : spec.result);
    if (spec.castFrom) {
      const QType &from = spec.castFrom->type, &to = spec.result.type;
      bool strings = (from.isCharacter() && to.isCharacter()) || (from.base == Base::Blob && to.base == Base::Blob) ||
                     (from.forBitData && to.forBitData);
      bool numbers = from.isNumeric() && to.isNumeric();
      if (!(strings || numbers) || spec.castFrom->locator != spec.result.locator || spec.result.locator)
        raise(kSqlCastInvalid, {from.sqlText(), to.sqlText()});
    }
  }
  for (const RoutineParam &c : spec.columns) fits(c);
  if (spec.routineType == 'P' && spec.parameterStyle != "QUARNDARI")
    for (const RoutineParam &p : spec.params)
      if (p.mode != "IN") fits(p);
}

std::optional<RoutineDef> loadRoutineDef(sqlite3 *db, const std::string &schema, const std::string &specific) {
  Stmt st(db, "SELECT ROUTINENAME, ROUTINETYPE, FUNCTIONTYPE, ORIGIN, IMPLEMENTATION, PARAMETER_STYLE, NULLCALL, "
              "SCRATCHPAD, FINAL_CALL, DBINFO, SOURCESCHEMA, SOURCESPECIFIC FROM \"SYSQUARN.ROUTINES\" "
              "WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
  st.bind(1, schema).bind(2, specific);
  if (!st.step()) return std::nullopt;
  RoutineDef d;
  d.schema = schema;
  d.specific = specific;
  d.name = st.text(0);
  d.routineType = st.text(1).empty() ? 'F' : st.text(1)[0];
  d.functionType = st.text(2).empty() ? 'S' : st.text(2)[0];
  d.origin = st.text(3).empty() ? 'E' : st.text(3)[0];
  d.externalName = st.text(4);
  d.parameterStyle = st.text(5);
  d.nullCall = st.text(6) != "N";
  d.scratchpad = st.text(7) == "Y";
  d.finalCall = st.text(8) == "Y";
  d.dbinfo = st.text(9) == "Y";
  d.sourceSchema = st.text(10);
  d.sourceSpecific = st.text(11);
  Stmt parms(db, "SELECT ROWTYPE, ORDINAL, PARMNAME, TYPESCHEMA, TYPENAME, LENGTH, SCALE, LOCATOR FROM "
                 "\"SYSQUARN.ROUTINEPARMS\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2 ORDER BY ROWTYPE = 'C', ORDINAL");
  parms.bind(1, schema).bind(2, specific);
  while (parms.step()) {
    RoutineParam p;
    std::string row = parms.text(0);
    p.name = parms.text(2);
    std::string tschema = parms.text(3), tname = parms.text(4);
    if (tschema == kSystemSchema) {
      p.type = typeFromCatalog(tname, parms.integer(5), static_cast<int>(parms.integer(6)));
    } else if (std::optional<DistinctType> dt = findDistinctType(db, tschema, tname)) {
      p.type = dt->source;
      p.type.typeSchema = dt->schema;
      p.type.typeName = dt->name;
    } else {
      raise(kSqlUndefinedName, {tschema + "." + tname});
    }
    p.locator = parms.text(7) == "Y";
    if (row == "R") {
      d.castFrom = p;
    } else if (row == "C") {
      if (d.routineType == 'F' && d.functionType == 'S') d.result = p;
      else d.columns.push_back(p);
    } else {
      p.mode = row == "O" ? "OUT" : row == "B" ? "INOUT" : "IN";
      d.params.push_back(p);
    }
  }
  return d;
}

RoutineDef resolveFunction(Session &s, const std::string &schema, const std::string &fname, char functionType,
                           const std::vector<QType> &argTypes) {
  std::optional<RoutineDef> best;
  std::vector<int> bestScore;
  for (const std::string &sc : searchSchemas(s, schema)) {
    for (RoutineDef &d : routinesNamed(s, sc, fname, 'F', functionType)) {
      if (d.params.size() != argTypes.size()) continue;
      std::vector<int> score;
      bool ok = true;
      for (size_t k = 0; k < argTypes.size() && ok; ++k) {
        int dist = promotionDistance(argTypes[k], d.params[k].type);
        if (dist < 0) ok = false;
        score.push_back(dist);
      }
      if (!ok) continue;
      // Best fit from the left; on a tie the earlier schema of the path wins.
      if (!best || score < bestScore) {
        best = std::move(d);
        bestScore = std::move(score);
      }
    }
  }
  if (!best) raise(kSqlNoFunction, {schema.empty() ? fname : schema + "." + fname, "FUNCTION"});
  return *best;
}

std::string tableFunctionModule(Session &s, const RoutineDef &def) {
  registerModule(s, def);
  return moduleName(def.schema, def.specific);
}

void refreshRoutines(Session &s) {
  RoutineRuntime *rt = s.routineRuntime();
  if (rt->session == nullptr) {
    rt->session = &s;
    sqlite3_create_function_v2(s.db(), "QUDF", -1, SQLITE_UTF8, &s, qudf, nullptr, nullptr, nullptr);
  }
  rt->defs.clear();
  Stmt st(s.db(), "SELECT ROUTINESCHEMA, SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINETYPE = 'F' AND "
                  "FUNCTIONTYPE = 'T'");
  std::vector<std::pair<std::string, std::string>> tfs;
  while (st.step()) tfs.emplace_back(st.text(0), st.text(1));
  for (const auto &[schema, specific] : tfs) {
    std::optional<RoutineDef> d = loadRoutineDef(s.db(), schema, specific);
    if (d) registerModule(s, *d);
  }
}

// ======================================================================= procedures

namespace {

// The outcome of a procedure's SQLSTATE: 0, or a warning recorded in the session, or throws.
void checkProcedureState(Session &s, const RoutineDef &def, const char *st, const std::string &msg) {
  std::string state(st, strnlen(st, 5));
  if (state == "00000") return;
  std::string name = def.specific.empty() ? def.externalName : def.qualified();
  if (state.size() == 5 && validStateChars(st)) {
    if (state.compare(0, 2, "38") == 0) raiseWithState(kSqlRoutineError, st, {name, def.specific, msg});
    if (state.compare(0, 3, "01H") == 0) {
      s.setWarning(QError{kSqlRoutineWarning, state, {name, def.specific, msg}});
      return;
    }
    if (state.compare(0, 2, "01") == 0) return;
  }
  raise(kSqlRoutineBadState, {name, def.specific, state, msg});
}

// The type of an argument of an unregistered entry that the caller did not describe.
QType typeOfValue(const Value &v) {
  QType t;
  switch (v.kind) {
    case Value::Int: t.base = Base::Integer; break;
    case Value::Real: t.base = Base::Double; break;
    case Value::Blob: t.base = Base::Blob; t.length = std::max<int64_t>(static_cast<int64_t>(v.s.size()), 1024); break;
    case Value::Text:
      if (v.s.size() > 32672) {
        t.base = Base::Clob;
        t.length = static_cast<int64_t>(v.s.size());
      } else {
        t.base = Base::Varchar;
        t.length = std::max<int64_t>(static_cast<int64_t>(v.s.size()), 1024);
      }
      break;
    case Value::Null: t.base = Base::Varchar; t.length = 1024; break;
  }
  return t;
}

// Capacity of a large object of type t in a descriptor area: the value, and for an output the
// declared length (at most 64 MB).
size_t lobCapacity(const RoutineParam &p, const Value &v) {
  size_t cap = v.isNull() ? 0 : v.s.size();
  if (p.mode != "IN") cap = std::max(cap, static_cast<size_t>(std::min<int64_t>(p.type.length, 64 * 1024 * 1024)));
  return cap;
}

// One parameter of a QUARNDARI call: its data buffer (zeroed, owned), indicator and, for a large
// object, its actual length.
struct DariParam {
  std::unique_ptr<char, void (*)(void *)> data{nullptr, std::free};
  size_t cap = 0;
  short ind = -1;
  sqlint32 lobLen = 0;
};

short dariType(const RoutineParam &p, short *len) {
  const QType &t = p.type;
  if (p.locator) {
    *len = 4;
    return t.base == Base::Blob ? SQL_TYP_NBLOB_LOCATOR : t.base == Base::DbClob ? SQL_TYP_NDBCLOB_LOCATOR : SQL_TYP_NCLOB_LOCATOR;
  }
  switch (t.base) {
    case Base::SmallInt: *len = 2; return SQL_TYP_NSMALL;
    case Base::Integer: *len = 4; return SQL_TYP_NINTEGER;
    case Base::BigInt: *len = 8; return SQL_TYP_NBIGINT;
    case Base::Real: *len = 4; return SQL_TYP_NFLOAT;
    case Base::Double: case Base::Decimal: *len = 8; return SQL_TYP_NFLOAT;
    case Base::Date: *len = 10; return SQL_TYP_NDATE;
    case Base::Time: *len = 8; return SQL_TYP_NTIME;
    case Base::Timestamp: *len = 26; return SQL_TYP_NSTAMP;
    case Base::Clob: *len = 0; return SQL_TYP_NCLOB;
    case Base::Blob: *len = 0; return SQL_TYP_NBLOB;
    case Base::DbClob: *len = 0; return SQL_TYP_NDBCLOB;
    case Base::Char: case Base::Graphic: *len = static_cast<short>(std::min<int64_t>(t.length, 32767)); return SQL_TYP_NCHAR;
    case Base::LongVarchar: case Base::LongVargraphic: *len = 32700; return SQL_TYP_NLONG;
    default: *len = static_cast<short>(std::min<int64_t>(t.length > 0 ? t.length : 32672, 32767)); return SQL_TYP_NVARCHAR;
  }
}

// Calls a QUARNDARI entry with a descriptor area built from def's parameters and *args.
void callDari(Session &s, const RoutineDef &def, void *fn, std::vector<Value> *args, std::vector<short> *inds,
              std::vector<uint32_t> *locators) {
  const size_t n = def.params.size();
  bool lobs = false;
  for (const RoutineParam &p : def.params) lobs = lobs || (p.type.isLob() && !p.locator);
  const size_t entries = lobs ? 2 * n : n;
  const size_t areaBytes = static_cast<size_t>(SQLDASIZE(static_cast<sqlint32>(std::max<size_t>(entries, 1))));
  std::unique_ptr<void, void (*)(void *)> area(std::calloc(1, areaBytes), std::free);
  std::vector<DariParam> parms(n);
  if (!area) raise(kSqlNoMemory, {});
  auto *da = static_cast<sqlda *>(area.get());
  std::memcpy(da->sqldaid, SQLDA_EYECATCHER, 8);
  da->sqldabc = static_cast<sqlint32>(areaBytes);
  da->sqln = static_cast<short>(entries);
  da->sqld = static_cast<short>(n);
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    const Value &v = (*args)[k];
    DariParam &dp = parms[k];
    sqlvar &var = da->sqlvar[k];
    var.sqltype = dariType(p, &var.sqllen);
    bool lob = p.type.isLob() && !p.locator;
    bool isIn = p.mode != "OUT";
    dp.cap = lob ? lobCapacity(p, v) : static_cast<size_t>(var.sqllen) + (var.sqltype == SQL_TYP_NVARCHAR ? 2 : 0);
    if (var.sqltype == SQL_TYP_NLONG) dp.cap += 2;
    if (isIn && !v.isNull() && !lob && !p.locator && isStringType(p.type)) {
      // A longer input than declared is passed whole; the entry sees its real length.
      dp.cap = std::max(dp.cap, v.str().size() + 2);
    }
    dp.data.reset(static_cast<char *>(std::calloc(1, dp.cap + 8)));
    if (!dp.data) raise(kSqlNoMemory, {});
    char *b = dp.data.get();
    var.sqldata = b;
    var.sqlind = &dp.ind;
    var.sqlname.length = static_cast<short>(std::min<size_t>(p.name.size(), sizeof var.sqlname.data));
    std::memcpy(var.sqlname.data, p.name.data(), static_cast<size_t>(var.sqlname.length));
    if (lob) {
      auto *ext = reinterpret_cast<sqlvar2 *>(&da->sqlvar[k + n]);
      ext->len.sqllonglen = static_cast<sqlint64>(dp.cap);
      ext->sqldatalen = reinterpret_cast<char *>(&dp.lobLen);
    }
    dp.ind = (!isIn || v.isNull()) ? -1 : 0;
    if (dp.ind < 0) continue;
    if (p.locator) {
      udf_locator id = s.createLocator(v);
      locators->push_back(id);
      std::memcpy(b, &id, sizeof id);
      continue;
    }
    switch (p.type.base) {
      case Base::SmallInt: { short x = static_cast<short>(valueInt(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::Integer: { sqlint32 x = static_cast<sqlint32>(valueInt(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::BigInt: { sqlint64 x = valueInt(v); std::memcpy(b, &x, sizeof x); break; }
      case Base::Real: { float x = static_cast<float>(valueDouble(v)); std::memcpy(b, &x, sizeof x); break; }
      case Base::Double: case Base::Decimal: { double x = valueDouble(v); std::memcpy(b, &x, sizeof x); break; }
      case Base::Clob: case Base::Blob: case Base::DbClob:
        std::memcpy(b, v.s.data(), v.s.size());
        dp.lobLen = static_cast<sqlint32>(v.s.size());
        break;
      default: {
        std::string text = v.str();
        if (var.sqltype == SQL_TYP_NVARCHAR || var.sqltype == SQL_TYP_NLONG) {
          unsigned short len = static_cast<unsigned short>(text.size());
          std::memcpy(b, &len, sizeof len);
          std::memcpy(b + 2, text.data(), text.size());
        } else {
          if (static_cast<int64_t>(text.size()) < var.sqllen) text.append(static_cast<size_t>(var.sqllen) - text.size(), ' ');
          std::memcpy(b, text.data(), text.size());
        }
      }
    }
  }
  sqlca ca{};
  std::memcpy(ca.sqlcaid, "SQLCA   ", 8);
  ca.sqlcabc = sizeof ca;
  std::memcpy(ca.sqlstate, "00000", 5);
  {
    SessionScope scope(&s);
    reinterpret_cast<int (*)(void *, void *, sqlda *, sqlca *)>(fn)(nullptr, nullptr, da, &ca);
  }
  if (ca.sqlcode < 0) {
    std::vector<std::string> tokens;
    std::string mc(ca.sqlerrmc, static_cast<size_t>(std::min<int>(std::max<int>(ca.sqlerrml, 0), sizeof ca.sqlerrmc)));
    size_t start = 0;
    while (!mc.empty()) {
      size_t ff = mc.find('\xFF', start);
      tokens.push_back(mc.substr(start, ff == std::string::npos ? std::string::npos : ff - start));
      if (ff == std::string::npos) break;
      start = ff + 1;
    }
    raiseWithState(ca.sqlcode, std::string(ca.sqlstate, 5).c_str(), tokens);
  }
  // Values that come back.
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    DariParam &dp = parms[k];
    short &ind = (*inds)[k];
    if (p.mode == "IN" || dp.ind == SQL_IND_NO_RETURN) {
      ind = SQL_IND_NO_RETURN;
      continue;
    }
    const sqlvar &var = da->sqlvar[k];
    const char *b = dp.data.get();
    ind = dp.ind < 0 ? -1 : 0;
    if (ind < 0) {
      (*args)[k] = Value::null();
      continue;
    }
    auto tooLong = [&]() { raise(kSqlRoutineResultTooLong, {def.specific.empty() ? def.externalName : def.qualified(), def.specific}); };
    Value out;
    if (p.locator) {
      udf_locator id;
      std::memcpy(&id, b, sizeof id);
      const Value *v = s.locatorValue(id);
      if (v == nullptr) raise(kSqlLocatorInvalid, {});
      out = p.type.base == Base::Blob ? Value::blob(v->s) : Value::text(v->s);
    } else {
      switch (p.type.base) {
        case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Real: case Base::Double:
        case Base::Decimal: out = getNumber(slotOf(p), b).value(); break;
        case Base::Clob: case Base::Blob: case Base::DbClob: {
          if (dp.lobLen < 0 || static_cast<size_t>(dp.lobLen) > dp.cap) tooLong();
          std::string data(b, static_cast<size_t>(dp.lobLen));
          out = p.type.base == Base::Blob ? Value::blob(data) : Value::text(data);
          break;
        }
        default:
          if (var.sqltype == SQL_TYP_NVARCHAR || var.sqltype == SQL_TYP_NLONG) {
            unsigned short len;
            std::memcpy(&len, b, sizeof len);
            if (len + 2u > dp.cap) tooLong();
            out = Value::text(std::string(b + 2, len));
          } else {
            std::string text(b, strnlen(b, dp.cap));
            while (!text.empty() && text.back() == ' ') text.pop_back();
            out = Value::text(text);
          }
      }
    }
    (*args)[k] = std::move(out);
  }
}

// Calls an SQL-convention entry: the parameters, one indicator per parameter, SQLSTATE, the
// qualified and specific names and the diagnostic message.
void callSqlStyle(Session &s, const RoutineDef &def, void *fn, std::vector<Value> *args, std::vector<short> *inds,
                  std::vector<uint32_t> *locators) {
  const size_t n = def.params.size();
  std::vector<std::vector<char>> bufs(n);
  std::vector<short> ind(n, -1);
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    if (p.mode == "OUT") {
      bufs[k].assign(outputBytes(def, p) + 8, 0);
      continue;
    }
    putInput(s, p, (*args)[k], &bufs[k], &ind[k], locators);
    if (p.mode == "INOUT" && bufs[k].size() < outputBytes(def, p) + 8) bufs[k].resize(outputBytes(def, p) + 8, 0);
  }
  char sqlstate[SQLUDF_SQLSTATE_LEN + 1 + 2] = "00000";
  char fname[SQLUDF_FQNAME_LEN + 1] = {};
  char specname[SQLUDF_SPECNAME_LEN + 1] = {};
  char msg[SQLUDF_MSGTEXT_LEN + 1 + 8] = {};
  std::snprintf(fname, sizeof fname, "%s", def.qualified().c_str());
  std::snprintf(specname, sizeof specname, "%s", def.specific.c_str());
  std::vector<void *> callArgs;
  for (auto &b : bufs) callArgs.push_back(b.data());
  for (short &i : ind) callArgs.push_back(&i);
  callArgs.push_back(sqlstate);
  callArgs.push_back(fname);
  callArgs.push_back(specname);
  callArgs.push_back(msg);
  if (callArgs.size() > kMaxCallArgs) raise(kSqlNoFunction, {def.qualified(), "PROCEDURE"});
  {
    SessionScope scope(&s);
    callPointers(fn, callArgs);
  }
  checkProcedureState(s, def, sqlstate, std::string(msg, strnlen(msg, SQLUDF_MSGTEXT_LEN)));
  for (size_t k = 0; k < n; ++k) {
    const RoutineParam &p = def.params[k];
    if (p.mode == "IN" || ind[k] == SQL_IND_NO_RETURN) {
      (*inds)[k] = SQL_IND_NO_RETURN;
      continue;
    }
    if (p.type.isLob() && !p.locator) {
      sqlint32 len;
      std::memcpy(&len, bufs[k].data(), sizeof len);
      if (ind[k] >= 0 && (len < 0 || static_cast<size_t>(len) + sizeof len > bufs[k].size()))
        raise(kSqlRoutineResultTooLong, {def.qualified(), def.specific});
    }
    RoutineParam q = p;
    if (isStringType(p.type)) q.type.length = static_cast<int64_t>(bufs[k].size()) - 9;
    (*args)[k] = resultValue(s, def, q, bufs[k], ind[k]);
    (*inds)[k] = ind[k] < 0 ? -1 : 0;
  }
}

}  // namespace

RoutineDef entryProcedure(const std::string &externalName) {
  RoutineDef d;
  d.routineType = 'P';
  d.externalName = externalName;
  d.parameterStyle = "QUARNDARI";
  size_t bang = externalName.find('!');
  d.name = bang == std::string::npos ? externalName : externalName.substr(bang + 1);
  return d;
}

int callProcedure(Session &s, const RoutineDef &def0, std::vector<Value> *args, std::vector<short> *inds,
                  const std::vector<QType> &types) {
  RoutineDef def = def0;
  if (def.specific.empty() && def.params.empty()) {
    for (size_t k = 0; k < args->size(); ++k) {
      RoutineParam p;
      p.name = "P" + std::to_string(k + 1);
      p.mode = "INOUT";
      p.type = k < types.size() && types[k].base != Base::None ? types[k] : typeOfValue((*args)[k]);
      def.params.push_back(p);
    }
  }
  if (args->size() != def.params.size())
    raise(kSqlNoFunction, {def.specific.empty() ? def.externalName : def.qualified(), "PROCEDURE"});
  inds->resize(args->size(), 0);
  for (size_t k = 0; k < args->size(); ++k)
    if ((*inds)[k] < 0) (*args)[k] = Value::null();
  void *fn = findEntry(def, def.externalName);
  RoutineRuntime &rt = *s.routineRuntime();
  size_t mark = createdMark(rt);
  std::vector<uint32_t> locators;
  try {
    std::string style = def.parameterStyle;
    for (char &c : style) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (style == "SQL") callSqlStyle(s, def, fn, args, inds, &locators);
    else callDari(s, def, fn, args, inds, &locators);
  } catch (...) {
    freeLocators(s, &locators);
    freeCreated(s, rt, mark);
    throw;
  }
  freeLocators(s, &locators);
  freeCreated(s, rt, mark);
  return 0;
}

RoutineDef resolveProcedure(Session &s, const std::string &schema, const std::string &name, size_t nArgs) {
  for (const std::string &sc : searchSchemas(s, schema)) {
    for (RoutineDef &d : routinesNamed(s, sc, name, 'P', 0))
      if (d.params.size() == nArgs) return std::move(d);
  }
  raise(kSqlNoFunction, {schema.empty() ? name : schema + "." + name, "PROCEDURE"});
}

}  // namespace quarn
