/*
 * session.cpp - instances, databases, sessions and their units of work, prepared statements
 * with the translation cache.
 *
 * A unit of work is one SQLite transaction, begun by the first statement after COMMIT or
 * ROLLBACK: with the write lock (BEGIN IMMEDIATE) when that statement writes, so a writer
 * waits for another writer for the busy timeout and then fails with -911.  A data change is
 * one SQLite statement, which SQLite undoes by itself when it fails; a definition runs inside
 * a savepoint of its own.  Either way a failed statement leaves the unit of work as it was.
 */
#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "catalog.h"
#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "routines.h"
#include "sqlda.h"
#include "translate.h"
#include "triggers.h"
#include "undovfs.h"

namespace quarn {

struct CachedPlan {
  std::string text;
  Plan plan;
  int64_t generation = 0;
  std::vector<sqlite3_stmt *> idle;
  std::vector<ColumnInfo> columns;
  bool described = false;
  ~CachedPlan() {
    for (sqlite3_stmt *st : idle) sqlite3_finalize(st);
  }
};

namespace {

std::mutex gRegistryMutex;
std::multiset<std::string> gOpenDatabases;  // names of databases with a session in this process
// Initial-exec: the slot is read around every routine call, and the engine's library is
// loaded with the program (or by a library the program loads, where the loader's reserve for
// small thread-local data covers one pointer).
thread_local Session *tCurrent __attribute__((tls_model("initial-exec"))) = nullptr;

// Lock wait in milliseconds: QUARN_LOCKTIMEOUT, default 10 seconds.
int lockTimeoutMs() {
  const char *v = std::getenv("QUARN_LOCKTIMEOUT");
  if (v && *v) {
    int n = std::atoi(v);
    if (n >= 0) return n;
  }
  return 10000;
}

std::string leadingKeyword(const std::string &sql) {
  size_t i = 0;
  while (i < sql.size()) {
    if (std::isspace(static_cast<unsigned char>(sql[i]))) { ++i; continue; }
    if (sql.compare(i, 2, "--") == 0) { size_t nl = sql.find('\n', i); i = nl == std::string::npos ? sql.size() : nl; continue; }
    if (sql.compare(i, 2, "/*") == 0) { size_t e = sql.find("*/", i + 2); i = e == std::string::npos ? sql.size() : e + 2; continue; }
    break;
  }
  if (i < sql.size() && sql[i] == '(') return "(";
  size_t j = i;
  while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
  return upperAscii(sql.substr(i, j - i));
}

void applyPragmas(sqlite3 *db) {
  sqlite3_busy_timeout(db, lockTimeoutMs());
  // A double-quoted name is always an identifier, never a string literal.
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  execSql(db, "PRAGMA foreign_keys = ON; PRAGMA case_sensitive_like = ON; PRAGMA synchronous = NORMAL;"
              "PRAGMA recursive_triggers = OFF;");
  // SQLite 3.40's Bloom filters on automatic indexes hash values byte for byte and so miss rows
  // that compare equal under a column's RTRIM collation (a join of 'AB' and 'AB ' finds
  // nothing).  Without them automatic indexes answer correctly; where the switch is not
  // compiled in, automatic indexes are turned off instead.
  if (sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, 0x00080000 /* SQLITE_BloomFilter */) != SQLITE_OK)
    execSql(db, "PRAGMA automatic_index = OFF");
  // Reads go through a memory map of up to 256 MiB of the database file instead of a read call
  // and a copy per page: table scans over documents stored in rows are read-bound.
  execSql(db, "PRAGMA mmap_size = 268435456");
  // The page cache keeps SQLite's default of 500 pages with the engine's 16 KiB pages (8,000
  // KiB, taken as pages are read): with the default 2,000 KiB it held a quarter of them, and
  // pages not yet checkpointed from the log, which the memory map does not cover, were read
  // again and again at four times the size.
  execSql(db, "PRAGMA cache_size = -8000");
}

bool validDbName(const std::string &n) {
  if (n.empty() || n.size() > 8 || std::isdigit(static_cast<unsigned char>(n[0]))) return false;
  for (char c : n)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '@' || c == '#' || c == '$' || c == '_')) return false;
  return true;
}

int fail(sqlca *ca, const QError &e) {
  setSqlca(ca, e);
  return e.sqlcode;
}

// Whether file is still the file whose status was taken in *was (same device and inode).
bool sameFile(const std::string &file, const struct stat &was) {
  struct stat now {};
  return stat(file.c_str(), &now) == 0 && now.st_dev == was.st_dev && now.st_ino == was.st_ino;
}

// Makes connection db leave its log file (-wal) where it is when it closes.  SQLite removes the
// log by name when the last connection closes; once the database file is gone that name may
// already be another database's.
void leaveLogFile(sqlite3 *db) {
  int persist = 1;
  sqlite3_file_control(db, "main", SQLITE_FCNTL_PERSIST_WAL, &persist);
}

// Removes the files of database file while connection db holds its exclusive lock: the log and
// shared-memory files first and the database file last, so that no database of the same name
// can be created until every file removed here is gone.  db is closed by the caller.
void removeDatabaseFiles(sqlite3 *db, const std::string &file) {
  leaveLogFile(db);
  std::error_code ec;
  std::filesystem::remove(file + "-wal", ec);
  std::filesystem::remove(file + "-shm", ec);
  std::filesystem::remove(file, ec);
}

}  // namespace

// ======================================================================= instance

namespace {

// QUARNPATH, or $HOME/.quarn when it is unset or empty (also when emptied after the first call).
std::string configuredInstancePath() {
  const char *qp = std::getenv("QUARNPATH");
  if (qp && *qp) return qp;
  const char *home = std::getenv("HOME");
  if (!home || !*home) {
    struct passwd *pw = getpwuid(getuid());
    home = pw && pw->pw_dir && *pw->pw_dir ? pw->pw_dir : "/tmp";
  }
  return std::string(home) + "/.quarn";
}

}  // namespace

void initInstance() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The engine reads no allocation statistics; without them SQLite's allocator takes no
    // process-wide lock.  Refused harmlessly when the process already started SQLite.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    // Savepoint undo records past SQLite's own 64 KiB go to the engine's file system, which
    // keeps them in memory (undovfs.cpp); SQLite's threshold itself stays: above 128 KiB,
    // SQLite's move of a record to its file fails (one write call, larger than the default
    // file system writes).
    // An empty variable is no setting: the databases went to the root directory ("/" + name).
    const std::string path = configuredInstancePath();
    setenv("QUARNPATH", path.c_str(), 1);
    const char *instance = std::getenv("QUARNINSTANCE");
    if (!instance || !*instance) {
      struct passwd *pw = getpwuid(getuid());
      setenv("QUARNINSTANCE", pw ? pw->pw_name : "quarn", 1);
    }
    // An empty QUARNKELPATH stays: its readers take it for a missing one (no trace, no bind
    // files), which is what its user asked for.
    if (!std::getenv("QUARNKELPATH")) setenv("QUARNKELPATH", (path + "/kel").c_str(), 0);
  });
}

std::string instancePath() {
  initInstance();
  return configuredInstancePath();
}

std::string defaultUser() {
  const char *u = std::getenv("QUARN_USER");
  if (u && *u) return upperAscii(u);
  struct passwd *pw = getpwuid(getuid());
  if (pw && pw->pw_name) return upperAscii(pw->pw_name);
  const char *l = std::getenv("USER");
  return upperAscii(l && *l ? l : "QUARN");
}

std::string databaseFile(const std::string &name) {
  std::string n = upperAscii(name);
  if (!validDbName(n)) return "";
  return instancePath() + "/" + n + ".db";
}

int createDatabase(const std::string &name, bool withGraphic, sqlca *ca) {
  clearSqlca(ca);
  std::string file = databaseFile(name);
  if (file.empty()) return fail(ca, engineError(kSqlBadDbName, {name}));
  std::error_code ec;
  std::filesystem::create_directories(instancePath(), ec);
  std::filesystem::create_directories(instancePath() + "/kel", ec);
  std::filesystem::create_directories(instancePath() + "/function", ec);
  // The file is made here, exclusively (SQLite ignores SQLITE_OPEN_EXCLUSIVE): of two processes
  // creating the same database one makes it and the other gets -1005, and a failure below
  // removes only the file this call made.
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (errno == EEXIST) return fail(ca, engineError(kSqlDbExists, {upperAscii(name)}));
    return fail(ca, engineError(kSqlSystem, {file + ": " + std::strerror(errno)}));
  }
  struct stat own {};
  int statErr = fstat(fd, &own) == 0 ? 0 : errno;
  ::close(fd);  // before SQLite opens the file: closing a descriptor drops the process's locks on it
  if (statErr != 0) return fail(ca, engineError(kSqlSystem, {file + ": " + std::strerror(statErr)}));
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, undoVfsName());
  if (rc != SQLITE_OK) {
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    if (sameFile(file, own)) std::filesystem::remove(file, ec);
    return fail(ca, engineError(kSqlSystem, {msg}));
  }
  try {
    sqlite3_busy_timeout(db, lockTimeoutMs());
    // The creating connection keeps the database's exclusive lock from its first access until it
    // closes: a CONNECT meanwhile waits for the catalogue, a DROP finds the database in use.
    execSql(db, "PRAGMA locking_mode = EXCLUSIVE");
    // 16 KiB pages: rows holding documents of a kilobyte or more fit a dozen to a page, so a scan
    // visits a quarter of the pages it would with SQLite's default of 4 KiB.
    execSql(db, "PRAGMA page_size = 16384");
    execSql(db, "PRAGMA journal_mode = WAL");
    applyPragmas(db);
    registerFunctions(db, nullptr);
    execSql(db, "BEGIN");
    bootstrapCatalog(db, defaultUser());
    setProperty(db, "GRAPHIC", withGraphic ? "Y" : "N");
    setProperty(db, "NAME", upperAscii(name));
    execSql(db, "COMMIT");
    // A DROP that came before the first access removed the file this connection works on.
    if (!sameFile(file, own)) raise(kSqlSystem, {file + ": removed while the database was created"});
  } catch (const QError &e) {
    if (sameFile(file, own)) removeDatabaseFiles(db, file);
    else leaveLogFile(db);
    sqlite3_close(db);
    return fail(ca, e);
  }
  sqlite3_close(db);
  return 0;
}

int dropDatabase(const std::string &name, sqlca *ca) {
  clearSqlca(ca);
  std::string file = databaseFile(name);
  if (file.empty() || !std::filesystem::exists(file)) return fail(ca, engineError(kSqlDbNotFound, {upperAscii(name)}));
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    if (gOpenDatabases.count(upperAscii(name))) return fail(ca, engineError(kSqlDbInUse, {}));
  }
  /*
   * Every connection to the database, in any process, holds a shared lock on its file from its
   * first read until it closes (SQLite keeps it in WAL mode), and a database being created is
   * locked by its creator.  The drop takes the exclusive lock without waiting and removes the
   * files while it holds it: a connection that comes later finds no file (Session::open checks
   * the file it locked is still the database's).
   */
  sqlite3 *db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE, undoVfsName());
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(db, 0);
    rc = sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    int code = rc & 0xFF;
    std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    if (code == SQLITE_BUSY || code == SQLITE_LOCKED) return fail(ca, engineError(kSqlDbInUse, {}));
    if (!std::filesystem::exists(file)) return fail(ca, engineError(kSqlDbNotFound, {upperAscii(name)}));
    // A file that is no database at all has no connection: it is removed as it is.
    if (code != SQLITE_NOTADB) return fail(ca, engineError(kSqlSystem, {msg}));
    std::error_code ec;
    std::filesystem::remove(file, ec);
    return 0;
  }
  removeDatabaseFiles(db, file);
  sqlite3_close(db);
  return 0;
}

// ======================================================================= sessions

Session *currentSession() { return tCurrent; }
void setCurrentSession(Session *s) { tCurrent = s; }

int Session::open(const std::string &dbName, const std::string &user, const std::string &password,
                  std::unique_ptr<Session> *out, sqlca *ca) {
  (void)password;
  clearSqlca(ca);
  initInstance();
  std::string name = upperAscii(dbName);
  std::string file = databaseFile(name);
  struct stat before {};
  if (file.empty() || stat(file.c_str(), &before) != 0) return fail(ca, engineError(kSqlDbNotFound, {name}));
  std::unique_ptr<Session> s(new Session());
  int rc = sqlite3_open_v2(file.c_str(), &s->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, undoVfsName());
  if (rc != SQLITE_OK) {
    std::string msg = s->db_ ? sqlite3_errmsg(s->db_) : sqlite3_errstr(rc);
    if (!std::filesystem::exists(file)) return fail(ca, engineError(kSqlDbNotFound, {name}));
    return fail(ca, engineError(kSqlSystem, {msg}));
  }
  try {
    applyPragmas(s->db_);
    registerFunctions(s->db_, s.get());
    // The first read takes the shared lock the connection keeps until it closes (it waits while
    // the database is being created).  A DROP that held the exclusive lock before it removed
    // the file; a file whose creation was cut short has no catalogue.  Neither is a database.
    bool catalogued = Stmt(s->db_, "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'SYSQUARN.PROPERTIES'").step();
    if (!sameFile(file, before) || !catalogued) raise(kSqlDbNotFound, {name});
    s->graphic_ = property(s->db_, "GRAPHIC") != "N";
    s->routines_ = std::make_shared<RoutineRuntime>();
    s->dbName_ = name;
    s->user_ = user.empty() ? defaultUser() : upperAscii(user);
    s->path_ = {kSystemSchema, "SYSFUN", s->user_};
    refreshRoutines(*s);
  } catch (const QError &e) {
    s->dbName_.clear();  // not registered in gOpenDatabases yet
    return fail(ca, e);
  }
  s->dbName_ = name;
  s->user_ = user.empty() ? defaultUser() : upperAscii(user);
  s->schema_ = s->user_;
  s->path_ = {kSystemSchema, "SYSFUN", s->user_};
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gOpenDatabases.insert(name);
  }
  *out = std::move(s);
  return 0;
}

Session::~Session() {
  for (Statement *st : statements_) {
    st->close();
    st->session_ = nullptr;
    st->plan_.reset();
  }
  statements_.clear();
  cache_.clear();
  if (inTxn_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  releaseTriggerStatements(db_);
  sqlite3_close_v2(db_);
  if (!dbName_.empty()) {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gOpenDatabases.find(dbName_);
    if (it != gOpenDatabases.end()) gOpenDatabases.erase(it);
  }
  if (tCurrent == this) tCurrent = nullptr;
}

void Session::setSchema(const std::string &s) {
  schema_ = s;
  cache_.clear();
}

void Session::setPath(std::vector<std::string> p) {
  path_ = std::move(p);
  cache_.clear();
}

// Whether a statement of the connection is part way through its rows.
static bool anyStatementRunning(sqlite3 *db) {
  for (sqlite3_stmt *st = sqlite3_next_stmt(db, nullptr); st != nullptr; st = sqlite3_next_stmt(db, st))
    if (sqlite3_stmt_busy(st)) return true;
  return false;
}

void Session::beginUnitOfWork(bool write) {
  if (unitOfWorkLost()) {
    // A failure the statement that met it did not report as a rollback: tell this one.
    const bool told = lossNoted_;
    if (!told) lostCode_ = kSqlSystem;
    noteLostUnitOfWork();
    if (!told || inTxn_) raise(kSqlUnitOfWorkLost, {std::to_string(lostCode_)});
  }
  if (inTxn_) {
    if (!write || txnWrites_) return;
    // Take the write lock now (LOCK TABLE ... IN EXCLUSIVE MODE in a reading unit of work).
    int rc = sqlite3_exec(db_, "UPDATE \"SYSQUARN.PROPERTIES\" SET VALUE = VALUE WHERE 0", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) {
      txnWrites_ = true;
      return;
    }
    /*
     * A unit of work that has read cannot take the write lock while another writer holds it,
     * or once another has written since it began to read: SQLite does not wait then.  With no
     * cursor open and nothing written, nothing of the unit of work rests on what it read (its
     * reads held no locks past their cursors), so it ends its reading and waits for the lock as
     * a unit of work that begins by writing does.  An open cursor keeps the -911.
     */
    if ((rc & 0xFF) != SQLITE_BUSY || anyStatementRunning(db_)) raiseSqlite(db_, rc);
    rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) raiseSqlite(db_, rc);
    inTxn_ = false;
  }
  int rc = sqlite3_exec(db_, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) raiseSqlite(db_, rc);
  inTxn_ = true;
  txnWrites_ = write;
  int64_t g = catalogGeneration(db_);
  if (g != generation_) {
    cache_.clear();
    generation_ = g;
    refreshRoutines(*this);
  }
}

void Session::endUnitOfWork(bool commit) {
  for (Statement *st : statements_) st->close();
  locators_.clear();
  savepoints_.clear();
  lossNoted_ = false;
  if (!inTxn_) return;
  if (commit) {
    int rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      // The COMMIT's own failure is reported (a full disk, say), not the ROLLBACK's after it.
      QError failure = sqliteFailure(db_, rc, sqlite3_errmsg(db_));
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      inTxn_ = false;
      txnWrites_ = false;
      if (!temps_.empty()) tempTablesAfter(false);
      throw failure;
    }
  } else {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  inTxn_ = false;
  txnWrites_ = false;
  if (!temps_.empty()) tempTablesAfter(commit);
}

bool Session::unitOfWorkLost() const { return inTxn_ && sqlite3_get_autocommit(db_) != 0; }

void Session::noteLostUnitOfWork() {
  if (!lossNoted_) ++unitsLost_;
  lossNoted_ = true;
  // Resetting a statement from within its own step is not allowed: the running statement fails
  // in turn (SQLite aborts it) and its failure ends the unit of work.
  if (stepping_ > 0) return;
  try {
    endUnitOfWork(false);
  } catch (const QError &) {
  }
}

QError Session::afterFailure(const QError &e) {
  if (e.sqlcode == kSqlDeadlock) {
    try {
      endUnitOfWork(false);
    } catch (const QError &) {
    }
    return e;
  }
  if (!unitOfWorkLost()) return e;
  // SQLite rolled the whole unit of work back (a full disk, an I/O error); left alone, every
  // later statement would commit on its own and a ROLLBACK would undo nothing.
  if (!lossNoted_ && e.sqlcode != kSqlUnitOfWorkLost) lostCode_ = e.sqlcode;
  noteLostUnitOfWork();
  if (e.sqlcode == kSqlUnitOfWorkLost) return e;
  return engineError(kSqlUnitOfWorkLost, {std::to_string(lostCode_)});
}

void Session::tempTablesAfter(bool commit) {
  // Those declared in the unit of work that was rolled back are gone.
  forgetUndoneTempTables();
  if (!commit) return;
  for (const auto &[name, t] : temps_)
    if (t.deleteOnCommit) execSql(db_, "DELETE FROM temp." + sqliteName("SESSION", name));
}

void Session::forgetUndoneTempTables() {
  for (auto it = temps_.begin(); it != temps_.end();) {
    Stmt exists(db_, "SELECT 1 FROM temp.sqlite_schema WHERE type = 'table' AND name = ?1");
    exists.bind(1, "SESSION." + it->first);
    if (!exists.step()) {
      it = temps_.erase(it);
      cache_.clear();
      continue;
    }
    ++it;
  }
}

void Session::declareTempTable(const std::string &name, TempTable t) {
  temps_[name] = std::move(t);
  cache_.clear();
}

bool Session::dropTempTable(const std::string &name) {
  if (!temps_.erase(name)) return false;
  cache_.clear();
  return true;
}

void Session::forgetStatement(Statement *st) {
  for (size_t k = 0; k < statements_.size(); ++k)
    if (statements_[k] == st) {
      statements_.erase(statements_.begin() + static_cast<long>(k));
      return;
    }
}

uint32_t Session::createLocator(Value v) {
  uint32_t id = nextLocator_++;
  if (nextLocator_ == 0) nextLocator_ = 1;
  locators_[id] = std::move(v);
  return id;
}

const Value *Session::locatorValue(uint32_t id) const {
  auto it = locators_.find(id);
  return it == locators_.end() ? nullptr : &it->second;
}

bool Session::freeLocator(uint32_t id) { return locators_.erase(id) > 0; }

bool Session::appendToLocator(uint32_t id, const std::string &bytes) {
  auto it = locators_.find(id);
  if (it == locators_.end()) return false;
  if (it->second.kind == Value::Null) it->second = Value::text("");
  it->second.s += bytes;
  return true;
}

int Session::takeWarning(int rc, sqlca *ca) {
  if (!warning_) return rc;
  if (rc == 0) {
    setSqlca(ca, *warning_);
    rc = warning_->sqlcode;
  }
  warning_.reset();
  return rc;
}

std::shared_ptr<CachedPlan> Session::planFor(const std::string &sql) {
  auto it = cache_.find(sql);
  if (it != cache_.end()) {
    const Plan &p = it->second->plan;
    if (p.kind == Plan::Query || p.kind == Plan::Dml || (p.kind == Plan::Action && p.writes)) beginUnitOfWork(p.writes);
    it = cache_.find(sql);  // the unit of work may have found the catalog changed
    if (it != cache_.end()) return it->second;
  }
  std::string lead = leadingKeyword(sql);
  bool control = lead == "COMMIT" || lead == "ROLLBACK" || lead == "SET" || lead == "RELEASE";
  if (!control) {
    bool reads = lead == "SELECT" || lead == "VALUES" || lead == "WITH" || lead == "(";
    beginUnitOfWork(!reads);
  }
  auto cp = std::make_shared<CachedPlan>();
  cp->text = sql;
  cp->plan = translate(*this, sql);
  cp->generation = generation_;
  if (cp->plan.kind == Plan::Query || cp->plan.kind == Plan::Dml) {
    if (cache_.size() > 500) cache_.clear();
    cache_[sql] = cp;
  }
  return cp;
}

int Session::runPlan(const std::shared_ptr<CachedPlan> &cp, sqlca *ca) {
  const Plan &p = cp->plan;
  if (p.kind == Plan::Commit) {
    endUnitOfWork(true);
    return 0;
  }
  if (p.kind == Plan::Rollback) {
    endUnitOfWork(false);
    return 0;
  }
  // Actions: SET needs no unit of work; the others run in a savepoint of their own.
  warning_.reset();
  // A savepoint statement is not wrapped: releasing the statement's savepoint would release
  // the user's savepoint set inside it.
  bool transactional = inTxn_ && !p.savepointControl;
  if (transactional) execSql(db_, "SAVEPOINT quarn_stmt");
  try {
    p.action(*this);
    if (p.definition) {
      bumpGeneration(db_);
      generation_ = catalogGeneration(db_);
      cache_.clear();
      refreshRoutines(*this);
    }
  } catch (const QError &) {
    if (transactional) sqlite3_exec(db_, "ROLLBACK TO quarn_stmt; RELEASE quarn_stmt", nullptr, nullptr, nullptr);
    throw;
  }
  if (transactional) execSql(db_, "RELEASE quarn_stmt");
  if (warning_) {
    setSqlca(ca, *warning_);
    int code = warning_->sqlcode;
    warning_.reset();
    return code;
  }
  return 0;
}

int Session::prepare(const std::string &sql, std::unique_ptr<Statement> *out, sqlca *ca) {
  clearSqlca(ca);
  try {
    std::shared_ptr<CachedPlan> cp = planFor(sql);
    std::unique_ptr<Statement> st(new Statement(this, cp));
    if (cp->plan.kind == Plan::Query) {
      // Describe the result now: prepare one SQLite statement and keep it idle.
      if (!cp->described) {
        sqlite3_stmt *raw = nullptr;
        int rc = sqlite3_prepare_v3(db_, cp->plan.sql.c_str(), static_cast<int>(cp->plan.sql.size()),
                                    SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
        if (rc != SQLITE_OK) {
          QError e = sqliteFailure(db_, rc, sqlite3_errmsg(db_));
          cache_.erase(sql);
          throw e;
        }
        int n = sqlite3_column_count(raw);
        for (int k = 0; k < n; ++k) {
          ColumnInfo c;
          c.name = sqlite3_column_name(raw, k);
          const std::vector<QType> &items = cp->plan.itemTypes;
          c.type = resultColumnType(sqlite3_column_decltype(raw, k),
                                    static_cast<int>(items.size()) == n ? items[static_cast<size_t>(k)] : QType{});
          cp->columns.push_back(c);
        }
        cp->idle.push_back(raw);
        cp->described = true;
      }
      st->columns_ = cp->columns;
    }
    statements_.push_back(st.get());
    *out = std::move(st);
    return 0;
  } catch (const QError &e) {
    return fail(ca, afterFailure(e));
  }
}

int Session::execImmediate(const std::string &sql, sqlca *ca) {
  std::unique_ptr<Statement> st;
  int rc = prepare(sql, &st, ca);
  if (rc < 0) return rc;
  rc = st->execute({}, ca);
  if (rc < 0 || !st->isQuery()) return rc;
  std::vector<Value> row;
  sqlca fetchCa;
  int frc;
  while ((frc = st->fetch(&row, &fetchCa)) == 0) {
  }
  if (frc < 0) {
    *ca = fetchCa;
    return frc;
  }
  return 0;
}

int Session::commit(sqlca *ca) {
  clearSqlca(ca);
  try {
    endUnitOfWork(true);
    return 0;
  } catch (const QError &e) {
    return fail(ca, e);
  }
}

int Session::rollback(sqlca *ca) {
  clearSqlca(ca);
  try {
    endUnitOfWork(false);
    return 0;
  } catch (const QError &e) {
    return fail(ca, e);
  }
}

void Session::connectionInfo(sqlca *ca) const {
  QError info{0, "00000", {"1", "1208", user_, dbName_, "SQL01000", "QUARN", "", "", "1208"}};
  setSqlca(ca, info);
  std::memcpy(ca->sqlerrp, "SQL01000", 8);
}

// ======================================================================= savepoints

void Session::savepointStatement(SavepointOp op, const std::string &name, bool unique) {
  // The newest savepoint of the current level named name (any, for an empty name), or npos.
  // The savepoints of the current level are the newest on the stack.
  auto find = [&]() -> size_t {
    for (size_t k = savepoints_.size(); k-- > 0;) {
      if (savepoints_[k].level != savepointLevel_) break;
      if (name.empty() || savepoints_[k].name == name) return k;
    }
    return std::string::npos;
  };
  if (op == SavepointOp::Set) {
    if (name.compare(0, 3, "SYS") == 0) raise(kSqlReservedName, {name});
    beginUnitOfWork(true);
    size_t k = find();
    if (k != std::string::npos) {
      if (unique || savepoints_[k].unique) raise(kSqlSavepointNotUnique, {name});
      execSql(db_, "RELEASE " + savepoints_[k].sqlName);
      savepoints_.resize(k);
    }
    std::string sqlName = "quarn_sp" + std::to_string(++savepointSerial_);
    execSql(db_, "SAVEPOINT " + sqlName);
    savepoints_.push_back(SavepointMark{name, unique, savepointLevel_, sqlName});
    return;
  }
  size_t k = find();
  if (k == std::string::npos) {
    if (name.empty()) raise(kSqlNoSavepoint);
    raise(kSqlSavepointUnknown, {name});
  }
  if (op == SavepointOp::Release) {
    execSql(db_, "RELEASE " + savepoints_[k].sqlName);
    savepoints_.resize(k);
    return;
  }
  execSql(db_, "ROLLBACK TO " + savepoints_[k].sqlName);
  savepoints_.resize(k + 1);
  catalogRolledBack();
  if (!temps_.empty()) forgetUndoneTempTables();
}

void Session::catalogRolledBack() {
  int64_t g = catalogGeneration(db_);
  if (g == generation_) return;
  // Definitions were undone.  The generation moves past every value the undone part used, so
  // that no plan made in that part ever looks current again.
  advanceGeneration(db_, std::max(g, generation_));
  generation_ = catalogGeneration(db_);
  cache_.clear();
  refreshRoutines(*this);
}

namespace {

template <typename F>
int savepointCall(Session &s, sqlca *ca, F run) {
  clearSqlca(ca);
  try {
    run();
    return 0;
  } catch (const QError &e) {
    return fail(ca, s.afterFailure(e));
  }
}

// A name given to the runtime's calls: as it stands (no folding), 1 to 128 bytes.
void checkSavepointName(const std::string &name) {
  if (name.empty()) raise(kSqlSyntax, {"", "SAVEPOINT", "<identifier>"});
  if (name.size() > 128) raise(kSqlNameTooLong, {name, "128"});
}

}  // namespace

int Session::setSavepoint(const std::string &name, bool unique, sqlca *ca) {
  return savepointCall(*this, ca, [&] {
    checkSavepointName(name);
    savepointStatement(SavepointOp::Set, name, unique);
  });
}

int Session::rollbackToSavepoint(const std::string &name, sqlca *ca) {
  return savepointCall(*this, ca, [&] {
    if (!name.empty()) checkSavepointName(name);
    savepointStatement(SavepointOp::RollbackTo, name, false);
  });
}

int Session::releaseSavepoint(const std::string &name, sqlca *ca) {
  return savepointCall(*this, ca, [&] {
    checkSavepointName(name);
    savepointStatement(SavepointOp::Release, name, false);
  });
}

// ======================================================================= statements

Statement::Statement(Session *s, std::shared_ptr<CachedPlan> plan) : session_(s), plan_(std::move(plan)) {}

Statement::~Statement() {
  close();
  if (session_) session_->forgetStatement(this);
}

int Statement::paramCount() const { return plan_ ? plan_->plan.nParams : 0; }
bool Statement::isQuery() const { return plan_ && plan_->plan.kind == Plan::Query; }
int Statement::columnCount() const { return static_cast<int>(columns_.size()); }
const ColumnInfo &Statement::column(int i) const { return columns_[static_cast<size_t>(i)]; }

void Statement::close() {
  if (st_) {
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
    if (plan_) plan_->idle.push_back(st_);
    else sqlite3_finalize(st_);
    st_ = nullptr;
  }
  open_ = false;
}

int Statement::execute(const std::vector<Value> &params, sqlca *ca) {
  clearSqlca(ca);
  if (!session_ || !plan_) return fail(ca, engineError(kSqlNoConnection, {}));
  Session &s = *session_;
  s.newStatementClock();
  const Plan &p = plan_->plan;
  try {
    if (p.kind == Plan::Action || p.kind == Plan::Commit || p.kind == Plan::Rollback) {
      if (p.kind == Plan::Action && (p.writes || p.definition)) s.beginUnitOfWork(true);
      return s.runPlan(plan_, ca);
    }
    if (p.kind == Plan::Query && open_) return fail(ca, engineError(kSqlCursorOpen, {}));
    // CALL: markers without a value are NULL inputs (outputs the caller reads afterwards).
    if (p.kind == Plan::Call && static_cast<int>(params.size()) <= p.nParams) return executeCall(params, ca);
    if (static_cast<int>(params.size()) != p.nParams) return fail(ca, engineError(kSqlHostVariableCount, {}));
    s.beginUnitOfWork(p.writes);
    s.warning_.reset();
    if (plan_->generation != s.generation_) {
      // The catalog changed since this statement was prepared: translate it again.
      std::shared_ptr<CachedPlan> fresh = s.planFor(plan_->text);
      if (fresh->plan.kind != p.kind) return fail(ca, engineError(kSqlStmtNotPrepared, {}));
      plan_ = fresh;
    }
    const Plan &cur = plan_->plan;
    sqlite3_stmt *raw = nullptr;
    if (!plan_->idle.empty()) {
      raw = plan_->idle.back();
      plan_->idle.pop_back();
    } else {
      int rc = sqlite3_prepare_v3(s.db_, cur.sql.c_str(), static_cast<int>(cur.sql.size()), SQLITE_PREPARE_PERSISTENT,
                                  &raw, nullptr);
      if (rc != SQLITE_OK) throw sqliteFailure(s.db_, rc, sqlite3_errmsg(s.db_));
    }
    const std::vector<QType> &targets = cur.markerTargets;
    for (size_t k = 0; k < params.size(); ++k) {
      int rc;
      if (k < targets.size() && targets[k].base != Base::None && !fitsFixedAsIs(params[k], targets[k])) {
        // A value assigned to a column that converts it (numbers cut, datetimes in one form).
        Value v = params[k];
        try {
          convertAssigned(&v, targets[k]);
        } catch (const QError &) {
          sqlite3_reset(raw);
          plan_->idle.push_back(raw);
          throw;
        }
        rc = bindValue(raw, static_cast<int>(k + 1), v);
      } else {
        rc = bindValue(raw, static_cast<int>(k + 1), params[k]);
      }
      if (rc != SQLITE_OK) {
        QError e = sqliteFailure(s.db_, rc, sqlite3_errmsg(s.db_));
        sqlite3_reset(raw);
        plan_->idle.push_back(raw);
        throw e;
      }
    }
    if (cur.kind == Plan::Query) {
      st_ = raw;
      open_ = true;
      return 0;
    }
    int rc;
    {
      Session::Stepping stepping(s);
      while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
      }
    }
    if (rc != SQLITE_DONE) {
      std::string msg = sqlite3_errmsg(s.db_);
      int erc = sqlite3_reset(raw);
      sqlite3_clear_bindings(raw);
      plan_->idle.push_back(raw);
      throw sqliteFailure(s.db_, erc ? erc : rc, msg);
    }
    sqlite3_reset(raw);
    sqlite3_clear_bindings(raw);
    plan_->idle.push_back(raw);
    int64_t changes = sqlite3_changes64(s.db_);
    ca->sqlerrd[2] = static_cast<sqlint32>(changes);
    if (cur.searched && changes == 0) {
      s.warning_.reset();
      std::memcpy(ca->sqlstate, "02000", 5);
      ca->sqlcode = kSqlNotFound;
      return kSqlNotFound;
    }
    return s.takeWarning(0, ca);
  } catch (const QError &e) {
    return fail(ca, s.afterFailure(e));
  }
}

bool Statement::isCall() const { return plan_ && plan_->plan.kind == Plan::Call; }

int64_t Session::statementClock() {
  if (clockMicros_ < 0) {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    clockMicros_ = static_cast<int64_t>(tv.tv_sec) * 1000000 + tv.tv_usec;
  }
  return clockMicros_;
}

int Statement::executeCall(const std::vector<Value> &params, sqlca *ca) {
  Session &s = *session_;
  outputs_.clear();
  s.beginUnitOfWork(true);
  if (plan_->generation != s.generation_) {
    std::shared_ptr<CachedPlan> fresh = s.planFor(plan_->text);
    if (fresh->plan.kind != Plan::Call) return fail(ca, engineError(kSqlStmtNotPrepared, {}));
    plan_ = fresh;
  }
  const CallPlan &call = *plan_->plan.call;
  std::vector<Value> args;
  if (!call.inputSql.empty()) {
    Stmt in(s.db_, call.inputSql);
    for (size_t k = 0; k < params.size(); ++k) in.bind(static_cast<int>(k + 1), params[k]);
    if (!in.step()) return fail(ca, engineError(kSqlSystem, {"CALL arguments"}));
    for (size_t k = 0; k < call.markers.size(); ++k) args.push_back(columnValue(in.raw(), static_cast<int>(k)));
  }
  std::vector<short> inds(args.size());
  for (size_t k = 0; k < args.size(); ++k) inds[k] = args[k].isNull() ? -1 : 0;
  // An unregistered entry called from SQL text gets room for returned text beyond a literal's
  // own length.
  std::vector<QType> types = call.types;
  for (QType &t : types)
    if ((t.base == Base::Varchar || t.base == Base::Char) && !t.isDistinct()) {
      t.base = Base::Varchar;
      t.length = std::max<int64_t>(t.length, 1024);
    }
  int rc = s.runCall(*call.def, &args, &inds, types, ca);
  if (rc < 0) return rc;
  for (size_t k = 0; k < args.size(); ++k) {
    if (inds[k] == SQL_IND_NO_RETURN) continue;
    CallOutput o;
    o.position = static_cast<int>(k + 1);
    if (k < call.def->params.size()) {
      o.name = call.def->params[k].name;
      o.type = call.def->params[k].type;
    } else {
      o.name = "P" + std::to_string(k + 1);
    }
    o.value = args[k];
    o.marker = call.markers[k];
    outputs_.push_back(std::move(o));
  }
  return rc;
}

int Session::runCall(const RoutineDef &def, std::vector<Value> *args, std::vector<short> *inds,
                     const std::vector<QType> &types, sqlca *ca) {
  try {
    beginUnitOfWork(true);
    warning_.reset();
    execSql(db_, "SAVEPOINT quarn_call");
    // The procedure works at a savepoint level of its own; whatever it leaves of its savepoints
    // ends with the call (the caller's savepoints are below them on the stack).
    int level = ++savepointLevel_;
    auto endLevel = [&] {
      while (!savepoints_.empty() && savepoints_.back().level >= level) savepoints_.pop_back();
      savepointLevel_ = level - 1;
    };
    // A unit of work SQLite rolls back during the call fails the call, even when the procedure
    // carries on: what it did afterwards ran outside the caller's unit of work and is undone.
    const uint64_t lostBefore = unitsLost_;
    auto lostDuring = [&] {
      if (unitsLost_ == lostBefore) return;
      endLevel();
      endUnitOfWork(false);
      raise(kSqlUnitOfWorkLost, {std::to_string(lostCode_)});
    };
    try {
      callProcedure(*this, def, args, inds, types);
    } catch (const QError &) {
      endLevel();
      lostDuring();
      if (inTxn_) sqlite3_exec(db_, "ROLLBACK TO quarn_call; RELEASE quarn_call", nullptr, nullptr, nullptr);
      if (!temps_.empty()) forgetUndoneTempTables();
      throw;
    }
    lostDuring();
    // The procedure may have ended the unit of work itself and begun another; then its own
    // savepoints are released by name, and there is no call savepoint to release.
    size_t first = savepoints_.size();
    while (first > 0 && savepoints_[first - 1].level >= level) --first;
    if (first < savepoints_.size())
      sqlite3_exec(db_, ("RELEASE " + savepoints_[first].sqlName).c_str(), nullptr, nullptr, nullptr);
    endLevel();
    if (inTxn_ && !sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "RELEASE quarn_call", nullptr, nullptr, nullptr);
    return takeWarning(0, ca);
  } catch (const QError &e) {
    warning_.reset();
    return fail(ca, afterFailure(e));
  }
}

int Session::call(const std::string &procName, std::vector<Value> *args, std::vector<short> *inds,
                  const std::vector<QType> &types, sqlca *ca) {
  clearSqlca(ca);
  try {
    if (procName.find('!') != std::string::npos) return runCall(entryProcedure(procName), args, inds, types, ca);
    // SCHEMA.NAME or NAME: ordinary parts fold to upper case, delimited ones keep their case.
    std::vector<Token> toks = tokenize(procName);
    std::vector<std::string> parts;
    for (size_t k = 0; k < toks.size() && toks[k].kind != Tok::End; ++k) {
      if (k % 2 == 1) {
        if (toks[k].kind != Tok::Op || toks[k].text != ".") raise(kSqlSyntax, {toks[k].text, procName, "."});
        continue;
      }
      if (toks[k].kind != Tok::Ident && toks[k].kind != Tok::DelimIdent) raise(kSqlSyntax, {toks[k].text, procName, "<name>"});
      parts.push_back(toks[k].text);
    }
    if (parts.empty() || parts.size() > 2) raise(kSqlSyntax, {procName, "CALL", "<name>"});
    beginUnitOfWork(true);
    RoutineDef def = resolveProcedure(*this, parts.size() == 2 ? parts[0] : "", parts.back(), args->size());
    return runCall(def, args, inds, types, ca);
  } catch (const QError &e) {
    return fail(ca, afterFailure(e));
  }
}

int Statement::fetch(std::vector<Value> *row, sqlca *ca) {
  clearSqlca(ca);
  if (!open_ || !st_) return fail(ca, engineError(kSqlCursorNotOpen, {}));
  int rc;
  {
    Session::Stepping stepping(*session_);
    rc = sqlite3_step(st_);
  }
  if (rc == SQLITE_ROW) {
    int n = sqlite3_column_count(st_);
    row->clear();
    for (int k = 0; k < n; ++k) row->push_back(columnValue(st_, k));
    return session_->takeWarning(0, ca);
  }
  if (rc == SQLITE_DONE) {
    session_->warning_.reset();
    close();
    std::memcpy(ca->sqlstate, "02000", 5);
    ca->sqlcode = kSqlNotFound;
    return kSqlNotFound;
  }
  std::string msg = sqlite3_errmsg(session_->db_);
  int erc = sqlite3_reset(st_);
  QError e = sqliteFailure(session_->db_, erc ? erc : rc, msg);
  close();
  return fail(ca, session_->afterFailure(e));
}

}  // namespace quarn
