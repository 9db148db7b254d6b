/*
 * engine.h - the C++ interface of the engine core (library quarnengine), used by the embedded
 * runtime (quarnapp), the console and, later, the call-level interface and the routine loader.
 * The extension never includes it: it reaches the engine through quarn/include only.
 *
 * An instance is a directory (QUARNPATH) of databases; a database NAME is the SQLite file
 * NAME.db in it.  A Session is one connection to one database with its own unit of work; it
 * is used by one thread at a time.  Every call reports through a struct sqlca the caller owns
 * and returns its SQLCODE (0 success, 100 no row, > 0 warning, < 0 error).
 */
#ifndef QUARN_ENGINE_ENGINE_H
#define QUARN_ENGINE_ENGINE_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalog.h"
#include "errors.h"
#include "sqlca.h"
#include "sqlutil.h"
#include "types.h"

struct sqlite3;

namespace quarn {

#define QUARN_EXPORT __attribute__((visibility("default")))

// Sets QUARNPATH (default $HOME/.quarn), QUARNINSTANCE and QUARNKELPATH (<QUARNPATH>/kel) when
// they are unset.  Called by every entry; runs once per process.
QUARN_EXPORT void initInstance();
// The instance directory.
QUARN_EXPORT std::string instancePath();
// The current user: QUARN_USER, else the login name, upper-cased.
QUARN_EXPORT std::string defaultUser();
// File of database name (upper-cased); empty when the name is not valid (1-8 characters,
// letters, digits, @ # $, not starting with a digit).
QUARN_EXPORT std::string databaseFile(const std::string &name);

// Creates database name: -1005 when it exists (of processes creating it at once, one creates
// it), -1001 for a bad name.  withGraphic false makes a database without graphic data (-1216
// for graphic types in it).
QUARN_EXPORT int createDatabase(const std::string &name, bool withGraphic, sqlca *ca);
// Drops database name: -1013 when there is none, -1035 while a session of any process uses it
// or another process creates it.  A file whose creation was cut short is dropped too.
QUARN_EXPORT int dropDatabase(const std::string &name, sqlca *ca);

struct ColumnInfo {
  std::string name;
  QType type;  // Base::None when the engine cannot tell (an expression without a cast)
};

class Session;
struct CachedPlan;
struct RoutineRuntime;
struct RoutineDef;

// A prepared statement of a session.  Destroy it (or the session) to release it.
class QUARN_EXPORT Statement {
 public:
  ~Statement();
  Statement(const Statement &) = delete;
  Statement &operator=(const Statement &) = delete;

  int paramCount() const;
  bool isQuery() const;
  int columnCount() const;
  const ColumnInfo &column(int i) const;

  // Runs the statement with params (one per marker; fewer: the rest are NULL).  A query opens
  // its cursor (-502 when it is open already); others run to completion, sqlerrd[2] holding
  // the number of rows changed.  100 when a searched UPDATE or DELETE changed no row.
  int execute(const std::vector<Value> &params, sqlca *ca);
  // Next row of the open cursor: 0 and *row, 100 at the end, -501 when no cursor is open.
  int fetch(std::vector<Value> *row, sqlca *ca);
  // Closes the cursor; harmless when it is not open.
  void close();
  bool isOpen() const { return open_; }

  // CALL: the OUT and INOUT parameters that came back from the last execution, in parameter
  // order.  marker is the parameter marker (1-based) the argument was by itself, or 0.
  struct CallOutput {
    int position = 0;  // 1-based parameter position
    std::string name;
    QType type;
    Value value;
    int marker = 0;
  };
  bool isCall() const;
  const std::vector<CallOutput> &callOutputs() const { return outputs_; }

 private:
  friend class Session;
  Statement(Session *s, std::shared_ptr<CachedPlan> plan);
  int executeCall(const std::vector<Value> &params, sqlca *ca);
  Session *session_;
  std::shared_ptr<CachedPlan> plan_;
  struct sqlite3_stmt *st_ = nullptr;
  bool open_ = false;
  std::vector<ColumnInfo> columns_;
  std::vector<CallOutput> outputs_;
};

// One connection to a database and its unit of work.
class QUARN_EXPORT Session {
 public:
  // CONNECT TO name [USER user USING password].  An empty user means the default user.  The
  // engine keeps no passwords: any password is accepted.  -1013 when there is no such database
  // (also a file whose creation was cut short, which has no catalogue).
  static int open(const std::string &dbName, const std::string &user, const std::string &password,
                  std::unique_ptr<Session> *out, sqlca *ca);
  // Rolls back what is not committed and closes the connection.
  ~Session();
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  int prepare(const std::string &sql, std::unique_ptr<Statement> *out, sqlca *ca);
  // Runs any statement; rows of a query are read and dropped.
  int execImmediate(const std::string &sql, sqlca *ca);
  int commit(sqlca *ca);
  int rollback(sqlca *ca);

  // Savepoints of the unit of work, as SAVEPOINT name [UNIQUE] ON ROLLBACK RETAIN CURSORS,
  // ROLLBACK TO SAVEPOINT [name] and RELEASE SAVEPOINT name run them.
  // setSavepoint starts the unit of work when none is active.  A name already set at this
  // savepoint level is released and set anew, unless either of the two is UNIQUE (-881/3B501).
  // rollbackToSavepoint undoes what the unit of work did since the savepoint was set and
  // releases the savepoints set after it; the savepoint itself stays; open cursors stay open.
  // An empty name means the newest savepoint of the level (-882/3B502 when there is none).
  // releaseSavepoint releases the savepoint and those set after it; what was done stays.
  // A name not set at this level: -880/3B001.  Names beginning with SYS: -707/42939.
  // Each CALL of a procedure is a savepoint level of its own: the procedure sees only the
  // savepoints it set, and those it leaves are released when it returns (undone with its work
  // when it fails).  COMMIT and ROLLBACK release every savepoint.
  int setSavepoint(const std::string &name, bool unique, sqlca *ca);
  int rollbackToSavepoint(const std::string &name, sqlca *ca);
  int releaseSavepoint(const std::string &name, sqlca *ca);

  // CALL procName with args (the embedded runtime's descriptor areas).  procName is
  // SCHEMA.NAME, NAME (looked up on the function path), or 'library!entry' of an unregistered
  // QUARNDARI entry whose parameters are typed by types (where given) or by the values.  inds:
  // one indicator per argument (-1 null).  On return (*args)[k] and (*inds)[k] hold what came
  // back, (*inds)[k] is -128 for a parameter that does not come back.  The procedure runs in
  // this session's unit of work, with this session as the thread's current session; a failing
  // call undoes its own effects.  -440 when no procedure of that name takes args.size()
  // arguments, -444 when its library or entry cannot be loaded, -443 for an error SQLSTATE.
  int call(const std::string &procName, std::vector<Value> *args, std::vector<short> *inds,
           const std::vector<QType> &types, sqlca *ca);

  // The connection tokens of CONNECT without arguments (0xFF-separated in *ca).
  void connectionInfo(sqlca *ca) const;

  const std::string &dbName() const { return dbName_; }
  const std::string &user() const { return user_; }
  const std::string &currentSchema() const { return schema_; }
  const std::vector<std::string> &functionPath() const { return path_; }
  bool inUnitOfWork() const { return inTxn_; }

  // Large-object locators of this session: valid until freed or the unit of work ends.
  uint32_t createLocator(Value v);
  const Value *locatorValue(uint32_t id) const;
  bool freeLocator(uint32_t id);
  // Appends bytes to the value of locator id; false when id is not a locator of this session.
  bool appendToLocator(uint32_t id, const std::string &bytes);

  // Internal to the engine: the connection, the settings the translator reads, and unit-of-work
  // control.  Callers outside the engine core use the statements above.
  sqlite3 *db() const { return db_; }
  bool graphicSupported() const { return graphic_; }
  void setSchema(const std::string &s);
  void setPath(std::vector<std::string> p);
  // Starts the unit of work when none is active; write true starts it holding the write lock.
  void beginUnitOfWork(bool write);
  void endUnitOfWork(bool commit);
  // The error a failed statement reports, and what its failure did to the unit of work: a
  // deadlock or timeout has ended it; when SQLite rolled the unit of work back itself (a full
  // disk, an I/O error), the unit of work ends here too and the error is -1476 naming e's
  // SQLCODE, so that no later statement runs outside a unit of work the caller believes open.
  QError afterFailure(const QError &e);
  void forgetStatement(Statement *st);
  // The savepoint statements (throw QError); the public calls above wrap them.
  enum class SavepointOp { Set, RollbackTo, Release };
  void savepointStatement(SavepointOp op, const std::string &name, bool unique);
  // A warning the current statement reports when it otherwise succeeds (e.g. +403).
  // The first warning wins; a statement reports it when it otherwise succeeds.
  void setWarning(QError w) {
    if (!warning_) warning_ = std::move(w);
  }
  // Reports and clears the pending warning in *ca: its SQLCODE, or rc when there is none.
  int takeWarning(int rc, sqlca *ca);
  // The clock CURRENT DATE, TIME, TIMESTAMP and TIMEZONE read in the statement running now, in
  // microseconds since the epoch: read at its first use in an execution and kept until the next
  // execution begins (newStatementClock), so that every reference of one statement reads one
  // value.  A statement a routine runs from within another's step keeps the outer one's.
  int64_t statementClock();
  void newStatementClock() {
    if (stepping_ == 0) clockMicros_ = -1;
  }
  // Declared global temporary tables (schema SESSION) of this session, by name: the SQLite
  // temporary table "SESSION.<name>" and its columns.  ON COMMIT DELETE ROWS empties one at each
  // COMMIT; a ROLLBACK of the unit of work that declared one ends it.  Declaring or dropping one
  // forgets this session's plans (no other session sees the table).
  struct TempTable {
    TableInfo info;
    bool deleteOnCommit = true;
  };
  const TableInfo *tempTable(const std::string &name) const {
    auto it = temps_.find(name);
    return it == temps_.end() ? nullptr : &it->second.info;
  }
  void declareTempTable(const std::string &name, TempTable t);
  bool dropTempTable(const std::string &name);
  // The state of routine calls of this session (routines.h).
  RoutineRuntime *routineRuntime() const { return routines_.get(); }
  int64_t generation() const { return generation_; }

 private:
  Session() = default;
  std::shared_ptr<CachedPlan> planFor(const std::string &sql);
  int runPlan(const std::shared_ptr<CachedPlan> &plan, sqlca *ca);
  // Runs procedure def in a savepoint of the unit of work (callProcedure of routines.h).
  int runCall(const RoutineDef &def, std::vector<Value> *args, std::vector<short> *inds,
              const std::vector<QType> &types, sqlca *ca);
  // Whether SQLite has rolled back the unit of work the session still holds open.
  bool unitOfWorkLost() const;
  // Counts a lost unit of work and ends it here when no statement is inside its step.
  void noteLostUnitOfWork();
  // After ROLLBACK TO SAVEPOINT: plans and routines of a catalog that was rolled back go.
  void catalogRolledBack();
  // After the unit of work ends: temporary tables declared in a rolled-back one are gone, those
  // declared ON COMMIT DELETE ROWS are emptied at a COMMIT.
  void tempTablesAfter(bool commit);
  // After a rollback to a savepoint (the user's, or a failed CALL's): temporary tables declared
  // in the part undone are gone, so they are forgotten.
  void forgetUndoneTempTables();

  sqlite3 *db_ = nullptr;
  std::string dbName_, user_, schema_;
  std::vector<std::string> path_;
  bool graphic_ = true;
  bool inTxn_ = false;
  bool txnWrites_ = false;
  // Units of work SQLite rolled back on its own, counted when noticed (a CALL compares the
  // count before and after the procedure); lossNoted_ while the lost one is not yet ended here.
  uint64_t unitsLost_ = 0;
  bool lossNoted_ = false;
  int lostCode_ = kSqlSystem;  // the SQLCODE of the failure that lost the last one
  // Statements of this session inside sqlite3_step: a statement a routine runs from within
  // another's step must not end the unit of work under the running one.
  int stepping_ = 0;
  struct Stepping {
    explicit Stepping(Session &s) : s_(s) { ++s_.stepping_; }
    ~Stepping() { --s_.stepping_; }
    Stepping(const Stepping &) = delete;
    Stepping &operator=(const Stepping &) = delete;
    Session &s_;
  };
  int64_t clockMicros_ = -1;  // the statement's clock; -1 until it is read
  int64_t generation_ = -1;
  std::map<std::string, std::shared_ptr<CachedPlan>> cache_;
  std::vector<Statement *> statements_;
  std::map<uint32_t, Value> locators_;
  std::optional<QError> warning_;
  uint32_t nextLocator_ = 1;
  // Active savepoints of the unit of work, oldest first; each is the SQLite savepoint "sqlName".
  struct SavepointMark {
    std::string name;
    bool unique = false;
    int level = 0;  // the CALL nesting it was set at
    std::string sqlName;
  };
  std::vector<SavepointMark> savepoints_;
  std::map<std::string, TempTable> temps_;
  int savepointLevel_ = 0;
  uint64_t savepointSerial_ = 0;
  std::shared_ptr<RoutineRuntime> routines_;
  friend class Statement;
};

// Registers the engine's SQL functions (QCAST, QGENERATE_UNIQUE, QLENGTH, ...) on a connection;
// warnings they give go to session s (none while a database is created).
void registerFunctions(sqlite3 *db, Session *s);

// The session that code running on this thread works in: set by the application's CONNECT,
// and by the engine around a routine call to the caller's session.
QUARN_EXPORT Session *currentSession();
QUARN_EXPORT void setCurrentSession(Session *s);

// Makes s the thread's current session for the lifetime of the guard (routine calls).  The
// thread's slot is written only when another session (or none) was current: a statement
// usually runs on the thread where its own session is current.
class QUARN_EXPORT SessionScope {
 public:
  explicit SessionScope(Session *s) : saved_(currentSession()), set_(s) {
    if (saved_ != set_) setCurrentSession(set_);
  }
  ~SessionScope() {
    if (saved_ != set_) setCurrentSession(saved_);
  }
  SessionScope(const SessionScope &) = delete;
  SessionScope &operator=(const SessionScope &) = delete;

 private:
  Session *saved_;
  Session *set_;
};

}  // namespace quarn

#endif  // QUARN_ENGINE_ENGINE_H
