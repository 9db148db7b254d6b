/*
 * cli.cpp - the call-level interface over the engine (library quarncli).
 *
 * Handles are C++ objects behind opaque pointers.  Every live handle is listed in one registry
 * with its type, so a pointer that was never allocated, was freed, or names another kind of
 * handle is answered with SQL_INVALID_HANDLE before it is used.  Each exported entry is a few
 * lines: find the handle, clear its diagnostics, run one worker inside a catch-all, so no
 * exception leaves the library.  A connection either owns a session (a named database) or
 * joins the thread's current session (an empty name); statements are engine statements of that
 * session.  The registry is guarded by a mutex.  A session serves one caller at a time, so every
 * call on a connection or one of its statements holds the connection's lock for the whole call,
 * and a call on an environment its lock (taken before a connection's, never after): a
 * connection's statements may be used in several threads at once.
 */
#include "sqlcli.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "describe.h"
#include "engine.h"
#include "lexer.h"
#include "quarnapp.h"

namespace {

using quarn::Base;
using quarn::QType;
using quarn::Value;

constexpr SQLULEN kUntypedSize = 32672;  // size a marker or expression without a type is given
constexpr SQLLEN kLocatorBytes = 4;
constexpr const char *kOwnerEndsUnitOfWork =
    "The unit of work belongs to the session this connection joined; its owner ends it.";

struct Diag {
  std::string state;
  int native = 0;
  std::string text;
};

// The lock that serialises the calls on a handle: an environment's own, a connection's shared
// with its statements.  Held by shared pointer, so a call waiting for it while another frees the
// handle wakes to find the handle gone rather than a freed lock.
using Serial = std::shared_ptr<std::recursive_mutex>;

struct HandleBase {
  HandleBase(SQLSMALLINT t, Serial s) : type(t), serial(std::move(s)) {}
  virtual ~HandleBase() = default;
  SQLSMALLINT type;
  Serial serial;
  std::vector<Diag> diags;
};

struct Dbc;
struct Stmt;

struct Env : HandleBase {
  Env() : HandleBase(SQL_HANDLE_ENV, std::make_shared<std::recursive_mutex>()) {}
  std::set<Dbc *> dbcs;
};

struct Dbc : HandleBase {
  explicit Dbc(Env *e) : HandleBase(SQL_HANDLE_DBC, std::make_shared<std::recursive_mutex>()), env(e) {}
  Env *env;
  std::unique_ptr<quarn::Session> own;  // a named database: the connection's own session
  quarn::Session *session = nullptr;    // the session statements run in; null: not connected
  bool attached = false;                // joined the thread's current session
  bool autocommit = true;               // in force: always off while attached
  bool autocommitChosen = true;         // the user's setting, in force again after SQLDisconnect
  SQLULEN isolation = SQL_TXN_READ_COMMITTED;
  SQLULEN conversion = 1;
  std::set<Stmt *> stmts;
};

struct ColBinding {
  SQLSMALLINT ctype;
  SQLPOINTER data;
  SQLLEN size;
  SQLLEN *ind;
};

struct ParamBinding {
  SQLSMALLINT ctype;
  SQLSMALLINT sqltype;
  SQLPOINTER data;
  SQLLEN size;
  SQLLEN *ind;
};

struct Stmt : HandleBase {
  explicit Stmt(Dbc *d) : HandleBase(SQL_HANDLE_STMT, d->serial), dbc(d) {}
  Dbc *dbc;
  std::string sql;
  std::unique_ptr<quarn::Statement> st;
  std::optional<quarn::StatementShape> shape;  // described on first need
  enum class Cursor { None, Open, AtEnd } cursor = Cursor::None;
  bool executed = false;
  bool endsUnitOfWork = false;  // a COMMIT or ROLLBACK statement (not ROLLBACK TO SAVEPOINT)
  std::map<int, ColBinding> cols;
  std::map<int, ParamBinding> params;
};

// ---- the registry of live handles ----

std::mutex gMutex;
std::unordered_map<const void *, SQLSMALLINT> gHandles;

SQLHANDLE registerHandle(HandleBase *h) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandles[static_cast<const void *>(h)] = h->type;
  return static_cast<SQLHANDLE>(h);
}

void unregisterHandle(HandleBase *h) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandles.erase(static_cast<const void *>(h));
}

// A live handle with its lock held; the lock is released before the shared lock object goes.
struct Held {
  HandleBase *handle = nullptr;
  Serial serial;
  std::unique_lock<std::recursive_mutex> lock;
};

// The lock of the live handle h of type t (of any type when anyType); null when h is no such
// handle.
Serial serialOf(SQLHANDLE h, SQLSMALLINT t, bool anyType) {
  if (!h) return nullptr;
  std::lock_guard<std::mutex> lock(gMutex);
  auto it = gHandles.find(h);
  if (it == gHandles.end() || (!anyType && it->second != t)) return nullptr;
  return static_cast<HandleBase *>(h)->serial;
}

// Finds the live handle h of type t (of any type when anyType) and takes its lock; false when h
// is no such handle, also when another thread freed it while this one waited for the lock.
bool hold(SQLHANDLE h, SQLSMALLINT t, Held *out, bool anyType = false) {
  Serial serial = serialOf(h, t, anyType);
  if (!serial) return false;
  std::unique_lock<std::recursive_mutex> lock(*serial);
  if (serialOf(h, t, anyType) != serial) return false;
  out->handle = static_cast<HandleBase *>(h);
  out->serial = std::move(serial);
  out->lock = std::move(lock);
  return true;
}

// ---- diagnostics ----

SQLRETURN error(HandleBase &h, const char *state, const std::string &text, int native = 0) {
  h.diags.push_back(Diag{state, native, text});
  return SQL_ERROR;
}

SQLRETURN info(HandleBase &h, const char *state, const std::string &text, int native = 0) {
  h.diags.push_back(Diag{state, native, text});
  return SQL_SUCCESS_WITH_INFO;
}

// The engine's message text of an area, on one line, with a routine's diagnostic whole.
std::string engineText(sqlca &ca) {
  if (ca.sqlcode == 0) return "";
  std::string text = quarn::wholeFailureText(ca);
  for (char &c : text)
    if (c == '\n') c = ' ';
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// An engine outcome as a return code: errors and warnings become diagnostic records.
SQLRETURN fromEngine(HandleBase &h, int rc, sqlca &ca) {
  if (rc == 0) return SQL_SUCCESS;
  if (rc == SQL_RC_W100) return SQL_NO_DATA;
  std::string state(ca.sqlstate, strnlen(ca.sqlstate, sizeof ca.sqlstate));
  if (state.empty()) state = rc < 0 ? "HY000" : "01000";
  h.diags.push_back(Diag{state, rc, engineText(ca)});
  return rc < 0 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
}

// Runs a worker on the live handle h of type t with its diagnostics cleared and its lock held.
template <class T, class F>
SQLRETURN entry(SQLHANDLE h, SQLSMALLINT t, F &&worker) {
  Held held;
  try {
    if (!hold(h, t, &held)) return SQL_INVALID_HANDLE;
  } catch (...) {
    return SQL_ERROR;
  }
  T &obj = static_cast<T &>(*held.handle);
  obj.diags.clear();
  try {
    return worker(obj);
  } catch (const std::bad_alloc &) {
    return error(obj, "HY001", "Memory allocation failure.");
  } catch (...) {
    return error(obj, "HY000", "General error.");
  }
}

// ---- helpers ----

// Text given as pointer and length (SQL_NTS: terminated); false for a bad length.
bool argText(const SQLCHAR *p, SQLINTEGER len, std::string *out) {
  out->clear();
  if (!p) return len == 0 || len == SQL_NTS;
  if (len == SQL_NTS) {
    *out = reinterpret_cast<const char *>(p);
    return true;
  }
  if (len < 0) return false;
  out->assign(reinterpret_cast<const char *>(p), static_cast<size_t>(len));
  return true;
}

std::string trimmed(const std::string &s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Copies text into a buffer of size bytes, terminated; true when it was cut.
bool putString(const std::string &text, SQLCHAR *buf, SQLLEN size) {
  if (!buf || size <= 0) return !text.empty();
  size_t room = static_cast<size_t>(size) - 1;
  size_t n = text.size() < room ? text.size() : room;
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
  return n < text.size();
}

bool isCharType(SQLSMALLINT c) { return c == SQL_C_CHAR || c == SQL_C_DBCHAR; }
bool isLocatorType(SQLSMALLINT c) {
  return c == SQL_C_CLOB_LOCATOR || c == SQL_C_DBCLOB_LOCATOR || c == SQL_C_BLOB_LOCATOR;
}
bool isNumberType(SQLSMALLINT c) {
  return c == SQL_C_LONG || c == SQL_C_SLONG || c == SQL_C_SHORT || c == SQL_C_SSHORT || c == SQL_C_SBIGINT ||
         c == SQL_C_DOUBLE || c == SQL_C_FLOAT;
}
bool isCType(SQLSMALLINT c) { return isCharType(c) || isLocatorType(c) || isNumberType(c) || c == SQL_C_BINARY; }

bool isSqlType(SQLSMALLINT t) {
  static const SQLSMALLINT kTypes[] = {SQL_CHAR, SQL_NUMERIC, SQL_DECIMAL, SQL_INTEGER, SQL_SMALLINT, SQL_FLOAT,
                                       SQL_REAL, SQL_DOUBLE, SQL_VARCHAR, SQL_TYPE_DATE, SQL_TYPE_TIME,
                                       SQL_TYPE_TIMESTAMP, SQL_LONGVARCHAR, SQL_BINARY, SQL_VARBINARY,
                                       SQL_LONGVARBINARY, SQL_BIGINT, SQL_GRAPHIC, SQL_VARGRAPHIC,
                                       SQL_LONGVARGRAPHIC, SQL_BLOB, SQL_CLOB, SQL_DBCLOB, SQL_BLOB_LOCATOR,
                                       SQL_CLOB_LOCATOR, SQL_DBCLOB_LOCATOR};
  for (SQLSMALLINT k : kTypes)
    if (k == t) return true;
  return false;
}

struct SqlDesc {
  SQLSMALLINT type;
  SQLULEN size;
  SQLSMALLINT digits;
};

// The SQL type code, size and digits of an engine type.
SqlDesc describeType(const QType &t) {
  SQLULEN len = t.length > 0 ? static_cast<SQLULEN>(t.length) : 0;
  switch (t.base) {
    case Base::SmallInt: return {SQL_SMALLINT, 5, 0};
    case Base::Integer: return {SQL_INTEGER, 10, 0};
    case Base::BigInt: return {SQL_BIGINT, 19, 0};
    case Base::Decimal: return {SQL_DECIMAL, len, static_cast<SQLSMALLINT>(t.scale)};
    case Base::Real: return {SQL_REAL, 7, 0};
    case Base::Double: return {SQL_DOUBLE, 15, 0};
    case Base::Char: return {static_cast<SQLSMALLINT>(t.forBitData ? SQL_BINARY : SQL_CHAR), len, 0};
    case Base::Varchar: return {static_cast<SQLSMALLINT>(t.forBitData ? SQL_VARBINARY : SQL_VARCHAR), len, 0};
    case Base::LongVarchar:
      return {static_cast<SQLSMALLINT>(t.forBitData ? SQL_LONGVARBINARY : SQL_LONGVARCHAR), len ? len : 32700, 0};
    case Base::Clob: return {SQL_CLOB, len, 0};
    case Base::Blob: return {SQL_BLOB, len, 0};
    case Base::DbClob: return {SQL_DBCLOB, len, 0};
    case Base::Graphic: return {SQL_GRAPHIC, len, 0};
    case Base::Vargraphic: return {SQL_VARGRAPHIC, len, 0};
    case Base::LongVargraphic: return {SQL_LONGVARGRAPHIC, len ? len : 16350, 0};
    case Base::Date: return {SQL_TYPE_DATE, 10, 0};
    case Base::Time: return {SQL_TYPE_TIME, 8, 0};
    case Base::Timestamp: return {SQL_TYPE_TIMESTAMP, 26, 6};
    case Base::None: break;
  }
  return {SQL_VARCHAR, kUntypedSize, 0};
}

SQLSMALLINT nullableCode(int n) { return n == 1 ? SQL_NULLABLE : n == 0 ? SQL_NO_NULLS : SQL_NULLABLE_UNKNOWN; }

// The session a connection's statements may use now; null (with 08003 recorded) when the
// connection is closed or the session it joined is no longer the thread's current one.
quarn::Session *liveSession(Dbc &dbc, HandleBase &report) {
  if (!dbc.session) {
    error(report, "08003", "Connection does not exist.");
    return nullptr;
  }
  if (dbc.attached && quarn::currentSession() != dbc.session) {
    error(report, "08003", "The session this connection joined is no longer current on this thread.");
    return nullptr;
  }
  return dbc.session;
}

// The end of the connection's unit of work: the engine closes every cursor of the session with
// it, so each statement is left as after SQLCloseCursor (SQLFetch HY010, SQLExecute runs).
void endCursors(Dbc &dbc) {
  for (Stmt *s : dbc.stmts) {
    s->cursor = Stmt::Cursor::None;
    s->executed = false;
  }
}

// A cursor the engine closed without the interface ending the unit of work (the owner of an
// attached connection's session committed, a deadlock rolled it back) is closed here too.
void syncCursor(Stmt &s) {
  if (s.cursor == Stmt::Cursor::Open && !(s.st && s.st->isOpen())) {
    s.cursor = Stmt::Cursor::None;
    s.executed = false;
  }
}

void freeStmt(Stmt *s) {
  unregisterHandle(s);
  s->dbc->stmts.erase(s);
  delete s;
}

// ---- workers: handles and connections ----

SQLRETURN allocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE *out) {
  if (type == SQL_HANDLE_ENV) {
    if (!out) return SQL_ERROR;
    *out = registerHandle(new Env());
    return SQL_SUCCESS;
  }
  Held held;
  if (!hold(input, 0, &held, true)) {
    if (out) *out = SQL_NULL_HANDLE;
    return SQL_INVALID_HANDLE;
  }
  HandleBase *parent = held.handle;
  parent->diags.clear();
  if (!out) return error(*parent, "HY009", "Invalid use of null pointer: no output handle.");
  *out = SQL_NULL_HANDLE;
  if (type == SQL_HANDLE_DBC) {
    if (parent->type != SQL_HANDLE_ENV) return SQL_INVALID_HANDLE;
    auto *env = static_cast<Env *>(parent);
    auto *dbc = new Dbc(env);
    env->dbcs.insert(dbc);
    *out = registerHandle(dbc);
    return SQL_SUCCESS;
  }
  if (type == SQL_HANDLE_STMT) {
    if (parent->type != SQL_HANDLE_DBC) return SQL_INVALID_HANDLE;
    auto *dbc = static_cast<Dbc *>(parent);
    if (!dbc->session) return error(*dbc, "08003", "Connection does not exist.");
    auto *st = new Stmt(dbc);
    dbc->stmts.insert(st);
    *out = registerHandle(st);
    return SQL_SUCCESS;
  }
  if (type == SQL_HANDLE_DESC) return error(*parent, "HYC00", "Optional feature not implemented: descriptor handles.");
  return error(*parent, "HY092", "Invalid attribute/option identifier: handle type " + std::to_string(type) + ".");
}

SQLRETURN freeHandle(SQLSMALLINT type, SQLHANDLE h) {
  // A connection leaves its environment's list: the environment's lock is taken first, in the
  // order SQLEndTran takes the two.
  Serial envSerial;
  if (type == SQL_HANDLE_DBC) {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gHandles.find(h);
    if (!h || it == gHandles.end() || it->second != type) return SQL_INVALID_HANDLE;
    envSerial = static_cast<Dbc *>(h)->env->serial;
  }
  std::unique_lock<std::recursive_mutex> envLock;
  if (envSerial) envLock = std::unique_lock<std::recursive_mutex>(*envSerial);
  Held held;
  if (!hold(h, type, &held)) return SQL_INVALID_HANDLE;
  HandleBase *found = held.handle;
  found->diags.clear();
  if (type == SQL_HANDLE_ENV) {
    auto *env = static_cast<Env *>(found);
    if (!env->dbcs.empty()) return error(*env, "HY010", "Function sequence error: the environment has connections.");
    unregisterHandle(env);
    delete env;
    return SQL_SUCCESS;
  }
  if (type == SQL_HANDLE_DBC) {
    auto *dbc = static_cast<Dbc *>(found);
    if (dbc->session) return error(*dbc, "HY010", "Function sequence error: the connection is still connected.");
    unregisterHandle(dbc);
    dbc->env->dbcs.erase(dbc);
    delete dbc;
    return SQL_SUCCESS;
  }
  freeStmt(static_cast<Stmt *>(found));
  return SQL_SUCCESS;
}

SQLRETURN setConnectAttr(Dbc &dbc, SQLINTEGER attr, SQLULEN value) {
  switch (attr) {
    case SQL_ATTR_AUTOCOMMIT:
      if (value != SQL_AUTOCOMMIT_OFF && value != SQL_AUTOCOMMIT_ON)
        return error(dbc, "HY024", "Invalid attribute value for autocommit: " + std::to_string(value) + ".");
      if (value == SQL_AUTOCOMMIT_ON && dbc.attached)
        return info(dbc, "01S02", "Option value changed: a connection that joined its caller's unit of work "
                                  "keeps autocommit off.");
      if (value == SQL_AUTOCOMMIT_ON && !dbc.autocommit && dbc.own && dbc.own->inUnitOfWork()) {
        endCursors(dbc);
        sqlca ca;
        int rc = dbc.own->commit(&ca);
        if (rc < 0) return fromEngine(dbc, rc, ca);
      }
      dbc.autocommit = value == SQL_AUTOCOMMIT_ON;
      dbc.autocommitChosen = dbc.autocommit;
      return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
      if (value != SQL_TXN_READ_UNCOMMITTED && value != SQL_TXN_READ_COMMITTED && value != SQL_TXN_REPEATABLE_READ &&
          value != SQL_TXN_SERIALIZABLE)
        return error(dbc, "HY024", "Invalid attribute value for isolation: " + std::to_string(value) + ".");
      dbc.isolation = value;
      return SQL_SUCCESS;
    case SQL_ATTR_CHAR_CONVERSION:
      if (value > 1) return error(dbc, "HY024", "Invalid attribute value: " + std::to_string(value) + ".");
      dbc.conversion = value;
      return SQL_SUCCESS;
    default:
      return error(dbc, "HY092", "Invalid attribute/option identifier: " + std::to_string(attr) + ".");
  }
}

SQLRETURN connect(Dbc &dbc, SQLCHAR *server, SQLSMALLINT l1, SQLCHAR *user, SQLSMALLINT l2, SQLCHAR *auth,
                  SQLSMALLINT l3) {
  if (dbc.session) return error(dbc, "08002", "Connection name in use: the connection is already connected.");
  std::string name, uid, pwd;
  if (!argText(server, l1, &name) || !argText(user, l2, &uid) || !argText(auth, l3, &pwd))
    return error(dbc, "HY090", "Invalid string or buffer length.");
  name = trimmed(name);
  if (name.empty()) {
    // The thread's current session: the caller's inside a routine, else the application's.
    quarn::Session *cur = quarn::currentSession();
    if (!cur) {
      // SQL1024N with the state of the record, 08001 (unable to establish), in its text too.
      quarn::QError failure = quarn::engineError(quarn::kSqlNoConnection, {});
      failure.sqlstate = "08001";
      sqlca ca;
      quarn::setSqlca(&ca, failure);
      return error(dbc, "08001", engineText(ca), quarn::kSqlNoConnection);
    }
    dbc.session = cur;
    dbc.attached = true;
    dbc.autocommit = false;
    return SQL_SUCCESS;
  }
  sqlca ca;
  std::unique_ptr<quarn::Session> s;
  int rc = quarn::Session::open(name, trimmed(uid), pwd, &s, &ca);
  if (rc < 0) {
    SQLRETURN r = fromEngine(dbc, rc, ca);
    if (rc == quarn::kSqlDbNotFound) dbc.diags.back().state = "08001";
    return r;
  }
  dbc.own = std::move(s);
  dbc.session = dbc.own.get();
  dbc.attached = false;
  dbc.autocommit = dbc.autocommitChosen;
  return SQL_SUCCESS;
}

SQLRETURN disconnect(Dbc &dbc) {
  if (!dbc.session) return error(dbc, "08003", "Connection does not exist.");
  if (dbc.own && dbc.own->inUnitOfWork()) {
    if (!dbc.autocommit)
      return error(dbc, "25000", "Invalid transaction state: the unit of work of the connection is not ended.");
    sqlca ca;
    int rc = dbc.own->commit(&ca);
    if (rc < 0) return fromEngine(dbc, rc, ca);
  }
  while (!dbc.stmts.empty()) freeStmt(*dbc.stmts.begin());
  dbc.own.reset();
  dbc.session = nullptr;
  dbc.attached = false;
  dbc.autocommit = dbc.autocommitChosen;  // an attached connection had it forced off
  return SQL_SUCCESS;
}

SQLRETURN endTran(Dbc &dbc, SQLSMALLINT completion) {
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
    return error(dbc, "HY012", "Invalid transaction operation code.");
  if (!dbc.session) return error(dbc, "08003", "Connection does not exist.");
  if (dbc.attached) return info(dbc, "01S02", kOwnerEndsUnitOfWork);
  endCursors(dbc);
  sqlca ca;
  int rc = completion == SQL_COMMIT ? dbc.own->commit(&ca) : dbc.own->rollback(&ca);
  return fromEngine(dbc, rc, ca);
}

// ---- workers: statements ----

// Whether sql, a text that prepared, is a COMMIT or ROLLBACK statement: one that ends the
// session's unit of work.  ROLLBACK TO SAVEPOINT is not one.
bool endsUnitOfWork(const std::string &sql) {
  std::vector<quarn::Token> t;
  try {
    t = quarn::tokenize(sql);
  } catch (...) {
    return false;
  }
  auto word = [&](size_t k, const char *w) { return t[k].kind == quarn::Tok::Ident && t[k].text == w; };
  if (word(0, "COMMIT")) return true;
  if (!word(0, "ROLLBACK")) return false;
  size_t k = word(1, "WORK") ? 2 : 1;
  return !word(k, "TO");
}

SQLRETURN prepare(Stmt &s, SQLCHAR *text, SQLINTEGER len) {
  if (!text) return error(s, "HY009", "Invalid use of null pointer: no statement text.");
  std::string sql;
  if (!argText(text, len, &sql)) return error(s, "HY090", "Invalid string or buffer length.");
  syncCursor(s);
  if (s.cursor != Stmt::Cursor::None) return error(s, "24000", "Invalid cursor state: the cursor is open.");
  quarn::Session *session = liveSession(*s.dbc, s);
  if (!session) return SQL_ERROR;
  s.st.reset();
  s.shape.reset();
  s.executed = false;
  s.endsUnitOfWork = false;
  s.sql.clear();
  sqlca ca;
  std::unique_ptr<quarn::Statement> st;
  int rc = session->prepare(sql, &st, &ca);
  if (rc < 0) return fromEngine(s, rc, ca);
  s.st = std::move(st);
  s.sql = sql;
  s.endsUnitOfWork = endsUnitOfWork(sql);
  return fromEngine(s, rc, ca);
}

// A numeric SQL type of a parameter.
bool isNumericSqlType(SQLSMALLINT t) {
  switch (t) {
    case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: case SQL_DECIMAL: case SQL_NUMERIC: case SQL_REAL:
    case SQL_FLOAT: case SQL_DOUBLE: return true;
    default: return false;
  }
}

// Character data bound for a numeric parameter, as the parameter's SQL type: the number the text
// spells (blanks around it allowed), an integer when it is one; for an integer type only an
// integer.  A parameter compared with an expression that has no column type (CAST(k AS INTEGER),
// k + 0) compared the text '1' with the number 1 and found nothing.  Other text stays text, for
// the statement's own conversion to refuse as it refuses any such value ('1.5' for an INTEGER
// column); parseNumber takes digits, sign, point and exponent only, so "0x10", "nan" and "inf"
// are text.  False when the text spells a number past a DOUBLE's range ("1e400"): as text it
// became an infinity in a DOUBLE column.
bool numericParam(std::string text, SQLSMALLINT sqltype, Value *out) {
  int64_t i = 0;
  double d = 0;
  if (quarn::parseInteger(text, &i)) {
    *out = Value::integer(i);
    return true;
  }
  const bool integerType = sqltype == SQL_SMALLINT || sqltype == SQL_INTEGER || sqltype == SQL_BIGINT;
  if (!integerType && quarn::parseNumber(text, &d)) {
    if (!std::isfinite(d)) return false;
    *out = Value::real(d);
    return true;
  }
  *out = Value::text(std::move(text));
  return true;
}

// A character SQL type of a parameter: SQL_C_BINARY data for it is text of the bytes as they are.
bool isCharSqlType(SQLSMALLINT t) {
  switch (t) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_CLOB: case SQL_GRAPHIC: case SQL_VARGRAPHIC:
    case SQL_LONGVARGRAPHIC: case SQL_DBCLOB: return true;
    default: return false;
  }
}

// Reads the bound value of parameter n; SQL_SUCCESS or an error recorded on s.
SQLRETURN readParam(Stmt &s, int n, const ParamBinding &b, Value *out) {
  if (b.ind && *b.ind == SQL_NULL_DATA) {
    *out = Value::null();
    return SQL_SUCCESS;
  }
  if (!b.data) return error(s, "HY009", "Invalid use of null pointer: parameter " + std::to_string(n) + " has no data.");
  const char *p = static_cast<const char *>(b.data);
  auto length = [&](SQLLEN *len) {
    if (!b.ind || *b.ind == SQL_NTS) {
      // Terminated text runs to its terminator, whatever BufferLength says: a BufferLength of the
      // text's length (no room for the terminator) is a common way of binding it, and a shorter
      // one cut the text, even within a character, and stored what was left.
      *len = static_cast<SQLLEN>(std::strlen(p));
      return true;
    }
    *len = *b.ind;
    return *len >= 0;
  };
  SQLLEN len = 0;
  switch (b.ctype) {
    case SQL_C_CHAR: case SQL_C_DBCHAR:
      if (!length(&len)) return error(s, "HY090", "Invalid string or buffer length: parameter " + std::to_string(n) + ".");
      if (!isNumericSqlType(b.sqltype)) {
        *out = Value::text(std::string(p, static_cast<size_t>(len)));
      } else if (!numericParam(std::string(p, static_cast<size_t>(len)), b.sqltype, out)) {
        return error(s, "22003", "Numeric value out of range: parameter " + std::to_string(n) + ".");
      }
      return SQL_SUCCESS;
    case SQL_C_BINARY:
      if (b.ind && *b.ind != SQL_NTS) {
        if (!length(&len)) return error(s, "HY090", "Invalid string or buffer length: parameter " + std::to_string(n) + ".");
      } else {
        len = b.size;
      }
      *out = isCharSqlType(b.sqltype) ? Value::text(std::string(p, static_cast<size_t>(len)))
                                      : Value::blob(std::string(p, static_cast<size_t>(len)));
      return SQL_SUCCESS;
    case SQL_C_LONG: case SQL_C_SLONG: { SQLINTEGER v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return SQL_SUCCESS; }
    case SQL_C_SHORT: case SQL_C_SSHORT: { SQLSMALLINT v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return SQL_SUCCESS; }
    case SQL_C_SBIGINT: { int64_t v; std::memcpy(&v, p, sizeof v); *out = Value::integer(v); return SQL_SUCCESS; }
    case SQL_C_DOUBLE: { double v; std::memcpy(&v, p, sizeof v); *out = Value::real(v); return SQL_SUCCESS; }
    case SQL_C_FLOAT: { float v; std::memcpy(&v, p, sizeof v); *out = Value::real(v); return SQL_SUCCESS; }
    default: {  // the locator types
      uint32_t id;
      std::memcpy(&id, p, sizeof id);
      const Value *v = s.dbc->session->locatorValue(id);
      if (!v) return error(s, "0F001", "Invalid locator " + std::to_string(id) + " for parameter " + std::to_string(n) + ".");
      *out = *v;
      return SQL_SUCCESS;
    }
  }
}

SQLRETURN execute(Stmt &s) {
  if (!s.st) return error(s, "HY010", "Function sequence error: no prepared statement.");
  syncCursor(s);
  if (s.cursor != Stmt::Cursor::None) return error(s, "24000", "Invalid cursor state: the cursor is open.");
  quarn::Session *session = liveSession(*s.dbc, s);
  if (!session) return SQL_ERROR;
  // As SQLEndTran: an attached connection leaves the unit of work it joined to its owner.
  if (s.endsUnitOfWork && s.dbc->attached) return info(s, "01S02", kOwnerEndsUnitOfWork);
  int n = s.st->paramCount();
  std::vector<Value> values(static_cast<size_t>(n > 0 ? n : 0));
  for (int k = 1; k <= n; ++k) {
    auto it = s.params.find(k);
    if (it == s.params.end())
      return error(s, "07002", "COUNT field incorrect: parameter marker " + std::to_string(k) + " is not bound.");
    SQLRETURN r = readParam(s, k, it->second, &values[static_cast<size_t>(k - 1)]);
    if (r != SQL_SUCCESS) return r;
  }
  sqlca ca;
  int rc = s.st->execute(values, &ca);
  if (rc < 0) return fromEngine(s, rc, ca);
  s.executed = true;
  if (s.st->isQuery()) {
    s.cursor = Stmt::Cursor::Open;
    return fromEngine(s, rc, ca);
  }
  SQLRETURN r = fromEngine(s, rc, ca);
  const bool autocommit = s.dbc->autocommit && s.dbc->own;
  if (s.endsUnitOfWork || autocommit) {
    endCursors(*s.dbc);
    s.executed = true;
  }
  if (autocommit) {
    sqlca commitCa;
    int crc = s.dbc->own->commit(&commitCa);
    if (crc < 0) return fromEngine(s, crc, commitCa);
  }
  return r;
}

// Writes value v of a column of type t into binding b.  Returns SQL_SUCCESS, or
// SQL_SUCCESS_WITH_INFO / SQL_ERROR with a record on s.
SQLRETURN writeColumn(Stmt &s, int n, const Value &v, const QType &t, const ColBinding &b) {
  std::string col = std::to_string(n);
  if (v.isNull()) {
    if (!b.ind) return error(s, "22002", "Indicator variable required but not supplied: column " + col + ".");
    *b.ind = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }
  if (isCharType(b.ctype) || b.ctype == SQL_C_BINARY) {
    std::string text = v.kind == Value::Text || v.kind == Value::Blob ? v.s : quarn::valueText(v, t);
    // A CHAR or GRAPHIC value is blank-padded to its length, as the engine stores it unpadded.
    if (v.kind == Value::Text && (t.base == Base::Char || t.base == Base::Graphic)) text = quarn::valueText(v, t);
    if (b.ind) *b.ind = static_cast<SQLLEN>(text.size());
    bool cut;
    if (b.ctype == SQL_C_BINARY) {
      size_t room = static_cast<size_t>(b.size);
      cut = text.size() > room;
      std::memcpy(b.data, text.data(), cut ? room : text.size());
    } else {
      cut = putString(text, static_cast<SQLCHAR *>(b.data), b.size);
    }
    if (cut) return info(s, "01004", "String data, right truncated: column " + col + " has " +
                                         std::to_string(text.size()) + " bytes.");
    return SQL_SUCCESS;
  }
  if (isLocatorType(b.ctype)) {
    uint32_t id = s.dbc->session->createLocator(v);
    std::memcpy(b.data, &id, sizeof id);
    if (b.ind) *b.ind = kLocatorBytes;
    return SQL_SUCCESS;
  }
  // Numbers.
  double d = 0;
  int64_t i = 0;
  bool integral = true;
  if (v.kind == Value::Int) {
    i = v.i;
    d = static_cast<double>(v.i);
  } else if (v.kind == Value::Real) {
    d = v.d;
    integral = false;
  } else if (quarn::parseInteger(v.s, &i)) {
    d = static_cast<double>(i);
  } else if (quarn::parseNumber(v.s, &d)) {  // the number a text spells, as for a parameter
    integral = false;
  } else {
    return error(s, "22018", "Invalid character value in a conversion: column " + col + ".");
  }
  if (b.ctype == SQL_C_DOUBLE || b.ctype == SQL_C_FLOAT) {
    // A text past a DOUBLE's range ("1e400") reads as an infinity, and a value past a float's
    // range would become one: neither is a number of the C type.
    if (!std::isfinite(d) || (b.ctype == SQL_C_FLOAT && std::fabs(d) > FLT_MAX))
      return error(s, "22003", "Numeric value out of range: column " + col + ".");
    if (b.ctype == SQL_C_DOUBLE) {
      std::memcpy(b.data, &d, sizeof d);
      if (b.ind) *b.ind = sizeof d;
    } else {
      float f = static_cast<float>(d);
      std::memcpy(b.data, &f, sizeof f);
      if (b.ind) *b.ind = sizeof f;
    }
    return SQL_SUCCESS;
  }
  bool cutFraction = false;
  if (!integral) {
    // Within [-2^63, 2^63) exactly (NaN fails too): the old bound of 9.2e18 refused 9.21e18.
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
      return error(s, "22003", "Numeric value out of range: column " + col + ".");
    i = static_cast<int64_t>(d);
    cutFraction = static_cast<double>(i) != d;
  }
  if (b.ctype == SQL_C_SBIGINT) {
    std::memcpy(b.data, &i, sizeof i);
    if (b.ind) *b.ind = sizeof i;
  } else if (b.ctype == SQL_C_LONG || b.ctype == SQL_C_SLONG) {
    if (i < INT32_MIN || i > INT32_MAX) return error(s, "22003", "Numeric value out of range: column " + col + ".");
    SQLINTEGER x = static_cast<SQLINTEGER>(i);
    std::memcpy(b.data, &x, sizeof x);
    if (b.ind) *b.ind = sizeof x;
  } else {
    if (i < SHRT_MIN || i > SHRT_MAX) return error(s, "22003", "Numeric value out of range: column " + col + ".");
    SQLSMALLINT x = static_cast<SQLSMALLINT>(i);
    std::memcpy(b.data, &x, sizeof x);
    if (b.ind) *b.ind = sizeof x;
  }
  if (cutFraction) return info(s, "01S07", "Fractional truncation: column " + col + ".");
  return SQL_SUCCESS;
}

SQLRETURN fetch(Stmt &s) {
  syncCursor(s);
  if (!s.st || !s.executed) return error(s, "HY010", "Function sequence error: the statement was not executed.");
  if (s.cursor == Stmt::Cursor::None) return error(s, "24000", "Invalid cursor state: the statement has no result set.");
  if (s.cursor == Stmt::Cursor::AtEnd) return SQL_NO_DATA;
  if (!liveSession(*s.dbc, s)) return SQL_ERROR;
  std::vector<Value> row;
  sqlca ca;
  int rc = s.st->fetch(&row, &ca);
  if (rc == SQL_RC_W100 || rc < 0) s.cursor = Stmt::Cursor::AtEnd;
  if (rc < 0) return fromEngine(s, rc, ca);
  if (rc == SQL_RC_W100) return SQL_NO_DATA;
  SQLRETURN result = fromEngine(s, rc, ca);
  for (const auto &[n, b] : s.cols) {
    if (n > static_cast<int>(row.size()))
      return error(s, "07009", "Invalid descriptor index: column " + std::to_string(n) + " is not in the result.");
    QType t = n <= s.st->columnCount() ? s.st->column(n - 1).type : QType{};
    SQLRETURN r = writeColumn(s, n, row[static_cast<size_t>(n - 1)], t, b);
    if (r == SQL_ERROR) result = SQL_ERROR;
    else if (r == SQL_SUCCESS_WITH_INFO && result == SQL_SUCCESS) result = r;
  }
  return result;
}

void closeCursor(Stmt &s) {
  if (s.st) s.st->close();
  s.cursor = Stmt::Cursor::None;
  s.executed = false;
}

const quarn::StatementShape *shapeOf(Stmt &s) {
  if (s.shape) return &*s.shape;
  quarn::Session *session = liveSession(*s.dbc, s);
  if (!session) return nullptr;
  quarn::StatementShape shape;
  sqlca ca;
  int rc = quarn::describeStatement(*session, s.sql, &shape, &ca);
  if (rc < 0) {
    fromEngine(s, rc, ca);
    return nullptr;
  }
  s.shape = std::move(shape);
  return &*s.shape;
}

SQLRETURN describeCol(Stmt &s, SQLUSMALLINT n, SQLCHAR *name, SQLSMALLINT bufLen, SQLSMALLINT *nameLen,
                      SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits, SQLSMALLINT *nullable) {
  if (!s.st) return error(s, "HY010", "Function sequence error: no prepared statement.");
  int count = s.st->isQuery() ? s.st->columnCount() : 0;
  if (n < 1 || n > count) return error(s, "07009", "Invalid descriptor index: column " + std::to_string(n) + ".");
  if (bufLen < 0) return error(s, "HY090", "Invalid string or buffer length.");
  const quarn::ColumnInfo &c = s.st->column(n - 1);
  SqlDesc d = describeType(c.type);
  int isNullable = -1;
  if (nullable) {
    const quarn::StatementShape *shape = shapeOf(s);
    if (!shape) return SQL_ERROR;
    if (static_cast<size_t>(n) <= shape->columnNullable.size()) isNullable = shape->columnNullable[n - 1];
  }
  if (type) *type = d.type;
  if (size) *size = d.size;
  if (digits) *digits = d.digits;
  if (nullable) *nullable = nullableCode(isNullable);
  if (nameLen) *nameLen = static_cast<SQLSMALLINT>(c.name.size() > SHRT_MAX ? SHRT_MAX : c.name.size());
  if (name && putString(c.name, name, bufLen)) return info(s, "01004", "String data, right truncated: column name.");
  return SQL_SUCCESS;
}

SQLRETURN describeParam(Stmt &s, SQLUSMALLINT n, SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits,
                        SQLSMALLINT *nullable) {
  if (!s.st) return error(s, "HY010", "Function sequence error: no prepared statement.");
  if (n < 1 || n > s.st->paramCount())
    return error(s, "07009", "Invalid descriptor index: parameter " + std::to_string(n) + ".");
  const quarn::StatementShape *shape = shapeOf(s);
  if (!shape) return SQL_ERROR;
  quarn::ParamInfo p;
  if (static_cast<size_t>(n) <= shape->params.size()) p = shape->params[n - 1];
  SqlDesc d = describeType(p.type);
  if (type) *type = d.type;
  if (size) *size = d.size;
  if (digits) *digits = d.digits;
  if (nullable) *nullable = nullableCode(p.nullable);
  return SQL_SUCCESS;
}

SQLRETURN bindCol(Stmt &s, SQLUSMALLINT n, SQLSMALLINT ctype, SQLPOINTER data, SQLLEN size, SQLLEN *ind) {
  if (n < 1) return error(s, "07009", "Invalid descriptor index: column 0.");
  if (s.st && s.st->isQuery() && n > s.st->columnCount())
    return error(s, "07009", "Invalid descriptor index: column " + std::to_string(n) + ".");
  if (!data) {
    s.cols.erase(n);
    return SQL_SUCCESS;
  }
  if (!isCType(ctype)) return error(s, "HY003", "Invalid application buffer type: " + std::to_string(ctype) + ".");
  if (size < 0) return error(s, "HY090", "Invalid string or buffer length.");
  s.cols[n] = ColBinding{ctype, data, size, ind};
  return SQL_SUCCESS;
}

SQLRETURN bindParameter(Stmt &s, SQLUSMALLINT n, SQLSMALLINT io, SQLSMALLINT ctype, SQLSMALLINT sqltype,
                        SQLPOINTER data, SQLLEN size, SQLLEN *ind) {
  if (n < 1) return error(s, "07009", "Invalid descriptor index: parameter 0.");
  if (io != SQL_PARAM_INPUT) return error(s, "HY105", "Invalid parameter type: only input parameters are supported.");
  if (!isCType(ctype)) return error(s, "HY003", "Invalid application buffer type: " + std::to_string(ctype) + ".");
  if (!isSqlType(sqltype)) return error(s, "HY004", "Invalid SQL data type: " + std::to_string(sqltype) + ".");
  if (size < 0) return error(s, "HY090", "Invalid string or buffer length.");
  if (!data && !ind) return error(s, "HY009", "Invalid use of null pointer: no value and no indicator.");
  s.params[n] = ParamBinding{ctype, sqltype, data, size, ind};
  return SQL_SUCCESS;
}

SQLRETURN getDiagRec(HandleBase &h, SQLSMALLINT rec, SQLCHAR *state, SQLINTEGER *native, SQLCHAR *msg, SQLSMALLINT bufLen,
                     SQLSMALLINT *textLen) {
  if (rec < 1 || bufLen < 0) return SQL_ERROR;
  if (static_cast<size_t>(rec) > h.diags.size()) return SQL_NO_DATA;
  const Diag &d = h.diags[static_cast<size_t>(rec - 1)];
  if (state) putString(d.state, state, SQL_SQLSTATE_SIZE + 1);
  if (native) *native = d.native;
  if (textLen) *textLen = static_cast<SQLSMALLINT>(d.text.size() > SHRT_MAX ? SHRT_MAX : d.text.size());
  if (msg && putString(d.text, msg, bufLen)) return SQL_SUCCESS_WITH_INFO;
  return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                                   SQLHANDLE *OutputHandle) {
  try {
    return allocHandle(HandleType, InputHandle, OutputHandle);
  } catch (...) {
    return SQL_ERROR;
  }
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
  try {
    return freeHandle(HandleType, Handle);
  } catch (...) {
    return SQL_ERROR;
  }
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                                      SQLINTEGER StringLength) {
  (void)StringLength;
  return entry<Dbc>(ConnectionHandle, SQL_HANDLE_DBC, [&](Dbc &d) {
    return setConnectAttr(d, Attribute, static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(Value)));
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLSetConnectOption(SQLHDBC ConnectionHandle, SQLUSMALLINT Option, SQLULEN Param) {
  return entry<Dbc>(ConnectionHandle, SQL_HANDLE_DBC, [&](Dbc &d) { return setConnectAttr(d, Option, Param); });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR *ServerName, SQLSMALLINT NameLength1,
                                               SQLCHAR *UserName, SQLSMALLINT NameLength2, SQLCHAR *Authentication,
                                               SQLSMALLINT NameLength3) {
  return entry<Dbc>(ConnectionHandle, SQL_HANDLE_DBC, [&](Dbc &d) {
    return connect(d, ServerName, NameLength1, UserName, NameLength2, Authentication, NameLength3);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDisconnect(SQLHDBC ConnectionHandle) {
  return entry<Dbc>(ConnectionHandle, SQL_HANDLE_DBC, [&](Dbc &d) { return disconnect(d); });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType) {
  if (HandleType == SQL_HANDLE_ENV) {
    return entry<Env>(Handle, SQL_HANDLE_ENV, [&](Env &e) {
      // Checked before the connections: with none connected a bad code was SQL_SUCCESS.
      if (CompletionType != SQL_COMMIT && CompletionType != SQL_ROLLBACK)
        return error(e, "HY012", "Invalid transaction operation code.");
      SQLRETURN result = SQL_SUCCESS;
      for (Dbc *d : e.dbcs) {
        std::lock_guard<std::recursive_mutex> lock(*d->serial);  // after the environment's
        if (!d->session || d->attached) continue;
        d->diags.clear();
        if (endTran(*d, CompletionType) == SQL_ERROR) {
          e.diags.insert(e.diags.end(), d->diags.begin(), d->diags.end());
          result = SQL_ERROR;
        }
      }
      return result;
    });
  }
  if (HandleType == SQL_HANDLE_DBC)
    return entry<Dbc>(Handle, SQL_HANDLE_DBC, [&](Dbc &d) { return endTran(d, CompletionType); });
  // A statement does not end a unit of work; any other type names no handle.
  if (HandleType != SQL_HANDLE_STMT) return SQL_INVALID_HANDLE;
  return entry<Stmt>(Handle, SQL_HANDLE_STMT, [&](Stmt &s) {
    return error(s, "HY092", "Invalid attribute/option identifier: handle type " + std::to_string(HandleType) + ".");
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) { return prepare(s, StatementText, TextLength); });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLExecute(SQLHSTMT StatementHandle) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) { return execute(s); });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR *StatementText,
                                                  SQLINTEGER TextLength) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    SQLRETURN rc = prepare(s, StatementText, TextLength);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return rc;
    SQLRETURN erc = execute(s);
    return erc == SQL_SUCCESS ? rc : erc;
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT *ColumnCount) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    if (!ColumnCount) return error(s, "HY009", "Invalid use of null pointer.");
    if (!s.st) return error(s, "HY010", "Function sequence error: no prepared statement.");
    *ColumnCount = static_cast<SQLSMALLINT>(s.st->isQuery() ? s.st->columnCount() : 0);
    return static_cast<SQLRETURN>(SQL_SUCCESS);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT *ParameterCount) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    if (!ParameterCount) return error(s, "HY009", "Invalid use of null pointer.");
    if (!s.st) return error(s, "HY010", "Function sequence error: no prepared statement.");
    *ParameterCount = static_cast<SQLSMALLINT>(s.st->paramCount());
    return static_cast<SQLRETURN>(SQL_SUCCESS);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                                   SQLCHAR *ColumnName, SQLSMALLINT BufferLength,
                                                   SQLSMALLINT *NameLength, SQLSMALLINT *DataType,
                                                   SQLULEN *ColumnSize, SQLSMALLINT *DecimalDigits,
                                                   SQLSMALLINT *Nullable) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    return describeCol(s, ColumnNumber, ColumnName, BufferLength, NameLength, DataType, ColumnSize, DecimalDigits,
                       Nullable);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDescribeParam(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                                     SQLSMALLINT *DataType, SQLULEN *ParameterSize,
                                                     SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    return describeParam(s, ParameterNumber, DataType, ParameterSize, DecimalDigits, Nullable);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                               SQLSMALLINT TargetType, SQLPOINTER TargetValue, SQLLEN BufferLength,
                                               SQLLEN *StrLen_or_Ind) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    return bindCol(s, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLBindParameter(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                                     SQLSMALLINT InputOutputType, SQLSMALLINT ValueType,
                                                     SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                                                     SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValue,
                                                     SQLLEN BufferLength, SQLLEN *StrLen_or_Ind) {
  (void)ColumnSize;
  (void)DecimalDigits;
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    return bindParameter(s, ParameterNumber, InputOutputType, ValueType, ParameterType, ParameterValue, BufferLength,
                         StrLen_or_Ind);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFetch(SQLHSTMT StatementHandle) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) { return fetch(s); });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
  if (Option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, StatementHandle);
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    switch (Option) {
      case SQL_CLOSE: closeCursor(s); return static_cast<SQLRETURN>(SQL_SUCCESS);
      case SQL_UNBIND: s.cols.clear(); return static_cast<SQLRETURN>(SQL_SUCCESS);
      case SQL_RESET_PARAMS: s.params.clear(); return static_cast<SQLRETURN>(SQL_SUCCESS);
      default: return error(s, "HY092", "Invalid attribute/option identifier: " + std::to_string(Option) + ".");
    }
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLCloseCursor(SQLHSTMT StatementHandle) {
  return entry<Stmt>(StatementHandle, SQL_HANDLE_STMT, [&](Stmt &s) {
    syncCursor(s);
    if (s.cursor == Stmt::Cursor::None) return error(s, "24000", "Invalid cursor state: no cursor is open.");
    closeCursor(s);
    return static_cast<SQLRETURN>(SQL_SUCCESS);
  });
}

SQL_API_EXPORT SQLRETURN SQL_API_FN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                                  SQLCHAR *SQLState, SQLINTEGER *NativeError, SQLCHAR *MessageText,
                                                  SQLSMALLINT BufferLength, SQLSMALLINT *TextLength) {
  try {
    Held held;
    if (!hold(Handle, HandleType, &held)) return SQL_INVALID_HANDLE;
    return getDiagRec(*held.handle, RecNumber, SQLState, NativeError, MessageText, BufferLength, TextLength);
  } catch (...) {
    return SQL_ERROR;
  }
}

}  // extern "C"
