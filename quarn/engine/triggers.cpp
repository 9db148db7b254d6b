/*
 * triggers.cpp - Quarn triggers on SQLite (see triggers.h for the mechanism): the catalog rows
 * of CREATE and DROP TRIGGER, the generation of a table's SQLite triggers from the recorded
 * texts, the dependency check of DROP, and the SQL functions QTRIGSET (a BEFORE trigger's
 * assignment to the stored row) and QTRIGGUARD (the table's UPDATE triggers held off meanwhile).
 * Works on one session's connection inside its unit of work; the guard is per thread, as a
 * connection is used by one thread at a time.
 */
#include "triggers.h"

#include <sqlite3.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalog.h"
#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "sqlutil.h"

namespace quarn {
namespace {

// Depth of QTRIGSET updates under way on this thread: UPDATE triggers of the engine's own
// generation do not fire for them.
thread_local int tAssignDepth = 0;

// The UPDATEs of QTRIGSET prepared on each connection, by their text.  A BEFORE trigger's
// assignment runs once per row, and preparing it every time cost more than the update itself.
// The map is shared by all connections; each connection's statements are used only by the one
// thread that runs that connection at a time.
std::mutex gAssignMutex;
std::unordered_map<sqlite3 *, std::unordered_map<std::string, sqlite3_stmt *>> gAssignStatements;

// The prepared statement for sql on db, or nullptr.  A statement still running (an assignment
// inside a trigger fired by the same assignment) is not handed out twice: the caller prepares
// its own.
sqlite3_stmt *keptAssignment(sqlite3 *db, const std::string &sql) {
  std::lock_guard<std::mutex> lock(gAssignMutex);
  auto conn = gAssignStatements.find(db);
  if (conn == gAssignStatements.end()) return nullptr;
  auto it = conn->second.find(sql);
  if (it == conn->second.end() || sqlite3_stmt_busy(it->second)) return nullptr;
  return it->second;
}

// Keeps st for sql on db unless one is kept already; true when it was kept.
bool keepAssignment(sqlite3 *db, const std::string &sql, sqlite3_stmt *st) {
  std::lock_guard<std::mutex> lock(gAssignMutex);
  return gAssignStatements[db].emplace(sql, st).second;
}

void forgetAssignment(sqlite3 *db, const std::string &sql) {
  std::lock_guard<std::mutex> lock(gAssignMutex);
  auto conn = gAssignStatements.find(db);
  if (conn != gAssignStatements.end()) conn->second.erase(sql);
}

// QTRIGSET(schema, table, rowid, col1, value1, ...): stores the values a BEFORE trigger
// assigned into the row.  Fails with the update's own failure (a check constraint, ...).
void qtrigset(sqlite3_context *ctx, int argc, sqlite3_value **argv) {
  if (argc < 5 || (argc - 3) % 2 != 0) {
    sqlite3_result_error(ctx, "QTRIGSET: wrong number of arguments", -1);
    return;
  }
  auto text = [&](int k) {
    const unsigned char *t = sqlite3_value_text(argv[k]);
    return std::string(t ? reinterpret_cast<const char *>(t) : "");
  };
  std::string sql = "UPDATE " + sqliteName(text(0), text(1)) + " SET ";
  int nCols = (argc - 3) / 2;
  for (int k = 0; k < nCols; ++k)
    sql += (k ? ", " : "") + quoteIdent(text(3 + 2 * k)) + " = ?" + std::to_string(k + 1);
  sql += " WHERE rowid = ?" + std::to_string(nCols + 1);
  sqlite3 *db = sqlite3_context_db_handle(ctx);
  sqlite3_stmt *st = keptAssignment(db, sql);
  bool kept = st != nullptr;
  int rc = SQLITE_OK;
  if (!kept) {
    rc = sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr);
    if (rc == SQLITE_OK) kept = keepAssignment(db, sql, st);
  }
  if (rc == SQLITE_OK) {
    for (int k = 0; k < nCols; ++k) sqlite3_bind_value(st, k + 1, argv[4 + 2 * k]);
    sqlite3_bind_value(st, nCols + 1, argv[2]);
    ++tAssignDepth;
    rc = sqlite3_step(st);
    --tAssignDepth;
  }
  if (rc != SQLITE_DONE && rc != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(db);
    if (kept) forgetAssignment(db, sql);
    sqlite3_finalize(st);
    sqlite3_result_error(ctx, msg.c_str(), static_cast<int>(msg.size()));
    sqlite3_result_error_code(ctx, rc);
    return;
  }
  if (kept) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
  } else {
    sqlite3_finalize(st);
  }
  sqlite3_result_null(ctx);
}

void qtrigguard(sqlite3_context *ctx, int, sqlite3_value **) {
  sqlite3_result_int(ctx, tAssignDepth);
}

// The prefix of the SQLite names of a table's Quarn triggers.
std::string triggerPrefix(const std::string &schema, const std::string &table) {
  return schema + "." + table + "::TRG:";
}

// Sets the session's current schema and function path for the life of the object.
class SchemaScope {
 public:
  SchemaScope(Session &s, const std::string &schema, const std::string &path)
      : s_(s), schema_(s.currentSchema()), path_(s.functionPath()) {
    std::vector<std::string> p;
    size_t at = 0;
    while (at <= path.size() && !path.empty()) {
      size_t comma = path.find(',', at);
      if (comma == std::string::npos) comma = path.size();
      p.push_back(path.substr(at, comma - at));
      at = comma + 1;
    }
    s_.setSchema(schema);
    if (!p.empty()) s_.setPath(p);
  }
  ~SchemaScope() {
    s_.setSchema(schema_);
    s_.setPath(path_);
  }
  SchemaScope(const SchemaScope &) = delete;
  SchemaScope &operator=(const SchemaScope &) = delete;

 private:
  Session &s_;
  std::string schema_;
  std::vector<std::string> path_;
};

struct Recorded {
  std::string schema, name, qualifier, path, text;
};

std::vector<Recorded> triggersOf(sqlite3 *db, const std::string &schema, const std::string &table) {
  Stmt q(db,
         "SELECT TRIGSCHEMA, TRIGNAME, QUALIFIER, FUNC_PATH, TEXT FROM \"SYSQUARN.TRIGGERS\" "
         "WHERE TABSCHEMA = ?1 AND TABNAME = ?2 ORDER BY SEQ");
  q.bind(1, schema).bind(2, table);
  std::vector<Recorded> out;
  while (q.step()) out.push_back(Recorded{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4)});
  return out;
}

TriggerPlan translateRecorded(Session &s, const Recorded &r, const TriggerContext &ctx) {
  SchemaScope scope(s, r.qualifier, r.path);
  return translateTrigger(s, r.text, ctx);
}

// Whether a change sets off a trigger of table and event: an UPDATE sets off an UPDATE OF
// trigger when it sets one of its columns.
bool setsOff(const TriggerPlan::Change &c, const QualName &table, char event, const std::vector<std::string> &updateOf) {
  if (c.table.schema != table.schema || c.table.name != table.name || c.event != event) return false;
  if (event != 'U' || updateOf.empty() || c.cols.empty()) return true;
  for (const std::string &col : c.cols)
    if (std::find(updateOf.begin(), updateOf.end(), col) != updateOf.end()) return true;
  return false;
}

// Refuses (-142) the trigger plan when the changes of its body set it off again: through the
// triggers they set off, the changes of those, and the deletes and updates that foreign keys
// with ON DELETE CASCADE or SET NULL make.  SQLite would not fire the trigger inside itself, so
// the cascade would stop at the second firing and the statement succeed.  The walk visits each
// table, event and set of columns once.
void refuseTriggerCycle(Session &s, const TriggerPlan &plan) {
  sqlite3 *db = s.db();
  std::vector<TriggerPlan::Change> work(plan.changes.rbegin(), plan.changes.rend());
  std::set<std::string> seen;
  std::map<std::string, TriggerPlan> plans;  // the triggers read so far, by schema and name
  while (!work.empty()) {
    TriggerPlan::Change c = work.back();
    work.pop_back();
    std::string key = c.table.schema + '\x1F' + c.table.name + '\x1F' + c.event;
    for (const std::string &col : c.cols) key += '\x1F' + col;
    if (!seen.insert(key).second) continue;
    if (setsOff(c, plan.table, plan.event, plan.updateOf))
      raise(kSqlStmtNotSupported, {"TRIGGER " + plan.name.text() + " that sets itself off"});
    std::vector<Recorded> fired;
    {
      // Only AFTER triggers change data (a BEFORE trigger's body is SET and SIGNAL).
      Stmt q(db,
             "SELECT TRIGSCHEMA, TRIGNAME, QUALIFIER, FUNC_PATH, TEXT FROM \"SYSQUARN.TRIGGERS\" WHERE TABSCHEMA = ?1 "
             "AND TABNAME = ?2 AND TRIGEVENT = ?3 AND TRIGTIME = 'A' ORDER BY SEQ");
      q.bind(1, c.table.schema).bind(2, c.table.name).bind(3, std::string(1, c.event));
      while (q.step()) fired.push_back(Recorded{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4)});
    }
    for (const Recorded &r : fired) {
      auto it = plans.find(r.schema + '\x1F' + r.name);
      if (it == plans.end())
        it = plans.emplace(r.schema + '\x1F' + r.name, translateRecorded(s, r, TriggerContext{})).first;
      const TriggerPlan &p = it->second;
      if (setsOff(c, p.table, p.event, p.updateOf)) work.insert(work.end(), p.changes.rbegin(), p.changes.rend());
    }
    if (c.event != 'D') continue;
    for (const auto &[owner, fk] : referencingConstraints(db, c.table.schema, c.table.name)) {
      const size_t sep = owner.find('\x1F');
      QualName child{owner.substr(0, sep), owner.substr(sep + 1)};
      if (fk.deleteRule == 'C') work.push_back(TriggerPlan::Change{child, 'D', {}});
      if (fk.deleteRule == 'N') work.push_back(TriggerPlan::Change{child, 'U', fk.cols});
    }
  }
}

// Whether INSERT statements apply the assignments of these BEFORE INSERT triggers (in firing
// order) themselves: each assigning trigger's body is one SET statement, and no assigning
// trigger fires after one that assigns nothing (that one must see the row before them).
bool insertApplies(const std::vector<const TriggerPlan *> &beforeInsert) {
  bool nonAssigning = false;
  for (const TriggerPlan *p : beforeInsert) {
    if (p->setCols.empty()) {
      nonAssigning = true;
      continue;
    }
    if (nonAssigning || p->otherStatements || p->sets.size() != 1) return false;
  }
  return true;
}

bool assignsOnInsert(const TriggerPlan &p) { return p.time == 'B' && p.event == 'I' && !p.setCols.empty(); }

// SQLite checks a trigger's body only when a statement that fires it is prepared: prepare one
// statement per event (not run), so that a body naming an unknown column or table fails the
// definition instead of later data changes.
void compileTriggers(sqlite3 *db, const std::string &schema, const std::string &table) {
  std::optional<TableInfo> info = findTable(db, schema, table);
  if (!info) return;
  std::string T = sqliteName(schema, table), sets;
  for (const ColumnDef &c : info->columns)
    sets += (sets.empty() ? "" : ", ") + quoteIdent(c.name) + " = " + quoteIdent(c.name);
  for (const std::string &sql :
       {"INSERT INTO " + T + " SELECT * FROM " + T + " WHERE 0",
        "UPDATE " + T + " SET " + sets + " WHERE 0", "DELETE FROM " + T + " WHERE 0"}) {
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    sqlite3_finalize(st);
    if (rc == SQLITE_OK) continue;
    std::string msg = sqlite3_errmsg(db);
    auto after = [&](const char *prefix) { return msg.substr(std::string(prefix).size()); };
    if (msg.rfind("no such column: ", 0) == 0)
      raise(kSqlColumnInvalid, {after("no such column: ")});
    if (msg.rfind("no such table: ", 0) == 0)
      raise(kSqlUndefinedName, {after("no such table: ")});
    raiseSqlite(db, rc);
  }
}

// Drops the table's generated Quarn triggers and creates them again from the catalog, so that
// SQLite fires them in creation order (it fires the newest first).
void regenerateTriggers(Session &s, const std::string &schema, const std::string &table) {
  sqlite3 *db = s.db();
  std::string prefix = triggerPrefix(schema, table);
  {
    std::vector<std::string> names;
    Stmt q(db,
           "SELECT name FROM sqlite_schema WHERE type = 'trigger' AND tbl_name = ?1 AND "
           "substr(CAST(name AS BLOB), 1, ?3) = CAST(?2 AS BLOB)");  // a prefix of ?3 bytes, not characters
    q.bind(1, schema + "." + table).bind(2, prefix).bind(3, static_cast<int64_t>(prefix.size()));
    while (q.step()) names.push_back(q.text(0));
    for (const std::string &n : names) execSql(db, "DROP TRIGGER " + quoteIdent(n));
  }
  std::vector<Recorded> recorded = triggersOf(db, schema, table);
  std::vector<TriggerPlan> plans;
  for (const Recorded &r : recorded) plans.push_back(translateRecorded(s, r, TriggerContext{}));
  // Assignments INSERT statements apply themselves need no SQLite trigger.
  std::vector<const TriggerPlan *> beforeInsert;
  for (const TriggerPlan &p : plans)
    if (p.time == 'B' && p.event == 'I') beforeInsert.push_back(&p);
  const bool insertApplied = insertApplies(beforeInsert);
  std::map<char, TriggerContext> events;
  for (const TriggerPlan &p : plans) {
    if (p.time == 'B' && !p.setCols.empty() && !(p.event == 'I' && insertApplied)) {
      events[p.event].emulated = true;
      events[p.event].storedCols.insert(p.setCols.begin(), p.setCols.end());
    }
  }
  bool guardUpdates = !events.empty();
  for (size_t k = 0; k < plans.size(); ++k)
    if (events.count(plans[k].event))
      plans[k] = translateRecorded(s, recorded[k], events[plans[k].event]);

  // Firing order: per event, BEFORE triggers then AFTER triggers, each in creation order.
  std::vector<size_t> order;
  for (char time : {'B', 'A'})
    for (size_t k = 0; k < plans.size(); ++k)
      if (plans[k].time == time && !(insertApplied && assignsOnInsert(plans[k]))) order.push_back(k);
  std::string subject = sqliteName(schema, table);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    const TriggerPlan &p = plans[*it];
    bool emulated = events.count(p.event) > 0;
    std::string sql = "CREATE TRIGGER " +
                      sqliteSubName(schema, table, "TRG:" + p.name.schema + "." + p.name.name);
    sql += (p.time == 'B' && !emulated) ? " BEFORE " : " AFTER ";
    sql += p.event == 'I' ? "INSERT" : p.event == 'D' ? "DELETE" : "UPDATE";
    if (!p.updateOf.empty()) {
      sql += " OF ";
      for (size_t c = 0; c < p.updateOf.size(); ++c)
        sql += (c ? ", " : "") + quoteIdent(p.updateOf[c]);
    }
    sql += " ON " + subject + " FOR EACH ROW";
    std::string when;
    if (p.event == 'U' && guardUpdates) when = "QTRIGGUARD() = 0";
    if (!p.whenSql.empty()) when += (when.empty() ? "(" : " AND (") + p.whenSql + ")";
    if (!when.empty()) sql += " WHEN " + when;
    sql += " BEGIN";
    for (const std::string &b : p.body) sql += " " + b;
    sql += " END";
    execSql(db, sql);
  }
  if (!plans.empty()) compileTriggers(db, schema, table);
}

// Regenerates the SQLite triggers of the other tables whose trigger bodies insert into (or
// otherwise name) schema.table: their INSERT statements apply this table's BEFORE INSERT
// assignments as they stood when they were generated.
void regenerateInserters(Session &s, const std::string &schema, const std::string &table) {
  std::vector<std::pair<std::string, std::string>> tables;
  {
    Stmt q(s.db(),
           "SELECT DISTINCT T.TABSCHEMA, T.TABNAME FROM \"SYSQUARN.TRIGDEP\" D JOIN \"SYSQUARN.TRIGGERS\" T "
           "ON T.TRIGSCHEMA = D.TRIGSCHEMA AND T.TRIGNAME = D.TRIGNAME WHERE D.BTYPE = 'T' AND D.BSCHEMA = ?1 "
           "AND D.BNAME = ?2 AND NOT (T.TABSCHEMA = ?1 AND T.TABNAME = ?2)");
    q.bind(1, schema).bind(2, table);
    while (q.step()) tables.emplace_back(q.text(0), q.text(1));
  }
  for (const auto &[tschema, tname] : tables) regenerateTriggers(s, tschema, tname);
}

}  // namespace

bool insertAssignments(Session &s, const std::string &schema, const std::string &table,
                       std::vector<InsertAssignment> *out) {
  out->clear();
  std::vector<Recorded> recorded;
  {
    Stmt q(s.db(),
           "SELECT TRIGSCHEMA, TRIGNAME, QUALIFIER, FUNC_PATH, TEXT FROM \"SYSQUARN.TRIGGERS\" "
           "WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND TRIGTIME = 'B' AND TRIGEVENT = 'I' ORDER BY SEQ");
    q.bind(1, schema).bind(2, table);
    while (q.step()) recorded.push_back(Recorded{q.text(0), q.text(1), q.text(2), q.text(3), q.text(4)});
  }
  if (recorded.empty()) return true;
  TriggerContext applied;
  applied.applied = true;
  std::vector<TriggerPlan> plans;
  for (const Recorded &r : recorded) plans.push_back(translateRecorded(s, r, applied));
  std::vector<const TriggerPlan *> order;
  for (const TriggerPlan &p : plans) order.push_back(&p);
  if (!insertApplies(order)) return false;
  for (const TriggerPlan &p : plans)
    if (!p.setCols.empty()) out->push_back(InsertAssignment{p.whenSql, p.sets.front()});
  return true;
}

void ddlCreateTrigger(Session &s, const TriggerPlan &plan) {
  sqlite3 *db = s.db();
  const std::string &tschema = plan.name.schema;
  if (tschema == "SYSCAT" || tschema == "SYSQUARN" || tschema == "SYSIBM" || tschema == "SYSFUN")
    raise(kSqlSystemObject, {plan.name.text()});
  {
    Stmt q(db, "SELECT 1 FROM \"SYSQUARN.TRIGGERS\" WHERE TRIGSCHEMA = ?1 AND TRIGNAME = ?2");
    q.bind(1, tschema).bind(2, plan.name.name);
    if (q.step()) raise(kSqlObjectExists, {plan.name.text(), "TRIGGER"});
  }
  refuseTriggerCycle(s, plan);
  int64_t seq = 1;
  {
    Stmt q(db, "SELECT COALESCE(MAX(SEQ), 0) + 1 FROM \"SYSQUARN.TRIGGERS\"");
    if (q.step()) seq = q.integer(0);
  }
  std::string path;
  for (const std::string &p : s.functionPath()) path += (path.empty() ? "" : ",") + p;
  {
    Stmt ins(db,
             "INSERT INTO \"SYSQUARN.TRIGGERS\"(TRIGSCHEMA, TRIGNAME, TABSCHEMA, TABNAME, DEFINER, "
             "QUALIFIER, "
             "FUNC_PATH, TRIGTIME, TRIGEVENT, GRANULARITY, CREATE_TIME, SEQ, TEXT) "
             "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, 'R', ?10, ?11, ?12)");
    ins.bind(1, tschema)
        .bind(2, plan.name.name)
        .bind(3, plan.table.schema)
        .bind(4, plan.table.name);
    ins.bind(5, s.user()).bind(6, s.currentSchema()).bind(7, path);
    ins.bind(8, std::string(1, plan.time)).bind(9, std::string(1, plan.event));
    ins.bind(10, catalogTimestamp()).bind(11, seq).bind(12, plan.text);
    ins.step();
  }
  for (const auto &d : plan.deps) {
    Stmt ins(db,
             "INSERT INTO \"SYSQUARN.TRIGDEP\"(TRIGSCHEMA, TRIGNAME, BTYPE, BSCHEMA, BNAME) VALUES "
             "(?1, ?2, ?3, ?4, ?5)");
    ins.bind(1, tschema).bind(2, plan.name.name).bind(3, std::string(1, d.first));
    ins.bind(4, d.second.schema).bind(5, d.second.name);
    ins.step();
  }
  regenerateTriggers(s, plan.table.schema, plan.table.name);
  if (plan.time == 'B' && plan.event == 'I') regenerateInserters(s, plan.table.schema, plan.table.name);
}

void ddlDropTrigger(Session &s, const QualName &name) {
  sqlite3 *db = s.db();
  Stmt q(db,
         "SELECT TABSCHEMA, TABNAME, TRIGTIME, TRIGEVENT FROM \"SYSQUARN.TRIGGERS\" WHERE TRIGSCHEMA = ?1 AND "
         "TRIGNAME = ?2");
  q.bind(1, name.schema).bind(2, name.name);
  if (!q.step()) raise(kSqlUndefinedName, {name.text()});
  std::string tabSchema = q.text(0), tabName = q.text(1);
  const bool beforeInsert = q.text(2) == "B" && q.text(3) == "I";
  for (const char *sql :
       {"DELETE FROM \"SYSQUARN.TRIGDEP\" WHERE TRIGSCHEMA = ?1 AND TRIGNAME = ?2",
        "DELETE FROM \"SYSQUARN.TRIGGERS\" WHERE TRIGSCHEMA = ?1 AND TRIGNAME = ?2"}) {
    Stmt del(db, sql);
    del.bind(1, name.schema).bind(2, name.name);
    del.step();
  }
  regenerateTriggers(s, tabSchema, tabName);
  if (beforeInsert) regenerateInserters(s, tabSchema, tabName);
}

void checkTriggerDependents(sqlite3 *db, char btype, const std::string &schema,
                            const std::string &name, const char *kind) {
  // Triggers of the object itself (btype 'T') go with it.
  Stmt q(db,
         "SELECT D.TRIGSCHEMA || '.' || D.TRIGNAME FROM \"SYSQUARN.TRIGDEP\" D JOIN "
         "\"SYSQUARN.TRIGGERS\" T "
         "ON T.TRIGSCHEMA = D.TRIGSCHEMA AND T.TRIGNAME = D.TRIGNAME WHERE D.BTYPE = ?1 AND "
         "D.BSCHEMA = ?2 AND "
         "D.BNAME = ?3 AND NOT (?1 = 'T' AND T.TABSCHEMA = ?2 AND T.TABNAME = ?3) ORDER BY T.SEQ");
  q.bind(1, std::string(1, btype)).bind(2, schema).bind(3, name);
  if (q.step()) raise(kSqlDependentObject, {kind, q.text(0), "TRIGGER"});
}

void releaseTriggerStatements(sqlite3 *db) {
  std::unordered_map<std::string, sqlite3_stmt *> mine;
  {
    std::lock_guard<std::mutex> lock(gAssignMutex);
    auto conn = gAssignStatements.find(db);
    if (conn == gAssignStatements.end()) return;
    mine.swap(conn->second);
    gAssignStatements.erase(conn);
  }
  for (auto &[sql, st] : mine) sqlite3_finalize(st);
}

void registerTriggerFunctions(sqlite3 *db) {
  sqlite3_create_function_v2(db, "QTRIGSET", -1, SQLITE_UTF8, nullptr, qtrigset, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(db, "QTRIGGUARD", 0, SQLITE_UTF8, nullptr, qtrigguard, nullptr,
                             nullptr, nullptr);
}

}  // namespace quarn
