/*
 * ddl.cpp - carrying out definitions: catalog rows and SQLite objects together.
 *
 * Tables: one SQLite table per Quarn table, each column declared with the type's SQLite
 * declaration, blank-insensitive comparison for character columns and named checks for
 * length, numeric text and range.  Primary keys and unique constraints are unique indexes;
 * foreign keys and check constraints are generated triggers that fail with the Quarn code and
 * the constraint's name.  All of them can be added and dropped by ALTER TABLE without
 * rebuilding the table.
 */
#include "ddl.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <tuple>

#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "routines.h"
#include "sqlutil.h"
#include "triggers.h"

namespace quarn {
namespace {

bool isSystemSchema(const std::string &schema) {
  return schema == "SYSCAT" || schema == "SYSQUARN" || schema == kSystemSchema || schema == "SYSFUN" ||
         schema == "SYSIBM";
}

void checkUserSchema(const std::string &schema, const std::string &name) {
  if (isSystemSchema(schema)) raise(kSqlSystemObject, {name});
}

std::string joinList(const std::vector<std::string> &v) {
  std::string out;
  for (size_t k = 0; k < v.size(); ++k) out += (k ? "\x1F" : "") + v[k];
  return out;
}

std::string quotedList(const std::vector<std::string> &v, const std::string &prefix = "") {
  std::string out;
  for (size_t k = 0; k < v.size(); ++k) out += (k ? ", " : "") + prefix + quoteIdent(v[k]);
  return out;
}

// Any table, view, alias or index of that name: -601, naming the type of the object that
// exists (a view over a table's name said the table was a VIEW).  Tables, views and indexes
// share SQLite's one name space, in which case does not count: a table named as an index, or
// as a table whose name differs only in case ("ix_a" and IX_A), failed with -901.
void checkNameFree(sqlite3 *db, const QualName &q) {
  if (auto existing = findTable(db, q.schema, q.name))
    raise(kSqlObjectExists, {q.text(), existing->type == 'V' ? "VIEW" : existing->type == 'A' ? "ALIAS" : "TABLE"});
  Stmt taken(db, "SELECT type FROM sqlite_schema WHERE type IN ('table', 'view', 'index') AND name = ?1 COLLATE NOCASE");
  taken.bind(1, q.schema + "." + q.name);
  if (taken.step()) {
    const std::string type = taken.text(0);
    raise(kSqlObjectExists, {q.text(), type == "index" ? "INDEX" : type == "view" ? "VIEW" : "TABLE"});
  }
}

// Quarn-style generated name: "SQL" and a timestamp, unique by the caller's check.
std::string generatedName() {
  static int counter = 0;
  std::string ts = catalogTimestamp();  // YYYY-MM-DD-HH.MM.SS.ffffff
  std::string digits;
  for (char c : ts.substr(2))
    if (c >= '0' && c <= '9') digits.push_back(c);
  char buf[32];
  std::snprintf(buf, sizeof buf, "SQL%s%02d", digits.substr(0, 13).c_str(), (counter++) % 100);
  return buf;
}

std::string columnSql(const ColumnDef &c) {
  std::string out = quoteIdent(c.name) + " " + c.type.sqliteDecl();
  if (!c.nullable) out += " NOT NULL";
  // An identity column's value comes from the translated INSERT, never from SQLite's default.
  if (!c.defaultSql.empty() && !c.identity) out += " DEFAULT (" + c.defaultSql + ")";
  if (c.type.isCharacter() && !c.type.forBitData) out += " COLLATE RTRIM";
  out += columnChecks(c.type, c.name);
  return out;
}

void insertColumnRow(sqlite3 *db, const QualName &t, const ColumnDef &c, int colno) {
  Stmt st(db, "INSERT INTO \"SYSQUARN.COLUMNS\"(TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH, SCALE, "
              "NULLS, \"DEFAULT\", DEFAULTSQL, KEYSEQ, FORBITDATA, LOGGED, SQLDECL) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,0,?12,?13,?14)");
  st.bind(1, t.schema).bind(2, t.name).bind(3, c.name).bind(4, int64_t{colno}).bind(5, c.type.catalogSchema())
      .bind(6, c.type.catalogName()).bind(7, c.type.catalogLength()).bind(8, int64_t{c.type.scale})
      .bind(9, std::string(c.nullable ? "Y" : "N"));
  if (c.defaultText.empty()) st.bindNull(10); else st.bind(10, c.defaultText);
  if (c.defaultSql.empty()) st.bindNull(11); else st.bind(11, c.defaultSql);
  st.bind(12, std::string(c.type.forBitData ? "Y" : "N")).bind(13, std::string(c.logged ? "Y" : "N"))
      .bind(14, c.type.sqliteDecl());
  st.step();
}

void insertTableRow(sqlite3 *db, const QualName &t, char type, const std::string &definer, const std::string &tbspace,
                    const std::string &baseSchema, const std::string &baseName, const std::string &text) {
  Stmt st(db, "INSERT INTO \"SYSQUARN.TABLES\"(TABSCHEMA, TABNAME, TYPE, BASE_TABSCHEMA, BASE_TABNAME, DEFINER, TBSPACE, "
              "CREATE_TIME, TEXT) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9)");
  st.bind(1, t.schema).bind(2, t.name).bind(3, std::string(1, type));
  if (baseSchema.empty()) st.bindNull(4).bindNull(5); else st.bind(4, baseSchema).bind(5, baseName);
  st.bind(6, definer);
  if (tbspace.empty()) st.bindNull(7); else st.bind(7, tbspace);
  st.bind(8, catalogTimestamp());
  if (text.empty()) st.bindNull(9); else st.bind(9, text);
  st.step();
}

int64_t nextSeq(sqlite3 *db) {
  Stmt st(db, "SELECT coalesce(max(SEQ), 0) + 1 FROM \"SYSQUARN.CONSTRAINTS\"");
  st.step();
  return st.integer(0);
}

// The generated triggers of a foreign key: the child's insert and update checks, and the
// parent's delete and key-update rules.
void createForeignKeyTriggers(sqlite3 *db, const QualName &child, const ConstraintInfo &c) {
  std::string C = sqliteName(child.schema, child.name);
  std::string P = sqliteName(c.refSchema, c.refTable);
  std::string allSet, match, oldMatch, changed;
  for (size_t k = 0; k < c.cols.size(); ++k) {
    std::string cc = quoteIdent(c.cols[k]), pc = quoteIdent(c.refCols[k]);
    allSet += (k ? " AND " : "") + std::string("NEW.") + cc + " IS NOT NULL";
    match += (k ? " AND " : "") + P + "." + pc + " = NEW." + cc;
    oldMatch += (k ? " AND " : "") + C + "." + cc + " = OLD." + pc;
    changed += (k ? " OR " : "") + std::string("OLD.") + pc + " IS NOT NEW." + pc;
  }
  std::string missing = "WHEN " + allSet + " AND NOT EXISTS (SELECT 1 FROM " + P + " WHERE " + match + ")";
  std::string raise530 = "SELECT RAISE(ABORT, " + quoteString(encodeError(engineError(kSqlForeignKey, {c.name}))) + ");";
  execSql(db, "CREATE TRIGGER " + sqliteSubName(child.schema, child.name, "FK:" + c.name + ":I") + " AFTER INSERT ON " +
                  C + " FOR EACH ROW " + missing + " BEGIN " + raise530 + " END");
  execSql(db, "CREATE TRIGGER " + sqliteSubName(child.schema, child.name, "FK:" + c.name + ":U") + " AFTER UPDATE OF " +
                  quotedList(c.cols) + " ON " + C + " FOR EACH ROW " + missing + " BEGIN " + raise530 + " END");
  std::string delName = sqliteSubName(child.schema, child.name, "FK:" + c.name + ":D");
  const bool selfReferencing = child.schema == c.refSchema && child.name == c.refTable;
  if (c.deleteRule == 'C' && selfReferencing) {
    // A trigger does not fire again inside itself (recursive triggers are off), so deleting the
    // children of the deleted row would leave their children behind: every descendant is
    // deleted at once.  Each row deleted still fires the table's other triggers (other keys'
    // rules, side tables).
    std::string step;
    for (size_t k = 0; k < c.cols.size(); ++k)
      step += (k ? " AND " : "") + std::string("\"child\".") + quoteIdent(c.cols[k]) + " = \"parent\"." + quoteIdent(c.refCols[k]);
    execSql(db, "CREATE TRIGGER " + delName + " AFTER DELETE ON " + P + " FOR EACH ROW BEGIN DELETE FROM " + C +
                    " WHERE rowid IN (WITH RECURSIVE \"quarn_rows\"(r) AS (SELECT rowid FROM " + C + " WHERE " + oldMatch +
                    " UNION SELECT \"child\".rowid FROM \"quarn_rows\", " + C + " AS \"parent\", " + C +
                    " AS \"child\" WHERE \"parent\".rowid = \"quarn_rows\".r AND " + step +
                    ") SELECT r FROM \"quarn_rows\"); END");
  } else if (c.deleteRule == 'C') {
    execSql(db, "CREATE TRIGGER " + delName + " AFTER DELETE ON " + P + " FOR EACH ROW BEGIN DELETE FROM " + C +
                    " WHERE " + oldMatch + "; END");
  } else if (c.deleteRule == 'N') {
    std::string sets;
    for (size_t k = 0; k < c.cols.size(); ++k) sets += (k ? ", " : "") + quoteIdent(c.cols[k]) + " = NULL";
    execSql(db, "CREATE TRIGGER " + delName + " AFTER DELETE ON " + P + " FOR EACH ROW BEGIN UPDATE " + C + " SET " +
                    sets + " WHERE " + oldMatch + "; END");
  } else {
    execSql(db, "CREATE TRIGGER " + delName + " BEFORE DELETE ON " + P + " FOR EACH ROW WHEN EXISTS (SELECT 1 FROM " + C +
                    " WHERE " + oldMatch + ") BEGIN SELECT RAISE(ABORT, " +
                    quoteString(encodeError(engineError(kSqlParentDelete, {c.name}))) + "); END");
  }
  execSql(db, "CREATE TRIGGER " + sqliteSubName(child.schema, child.name, "FK:" + c.name + ":P") + " BEFORE UPDATE OF " +
                  quotedList(c.refCols) + " ON " + P + " FOR EACH ROW WHEN (" + changed + ") AND EXISTS (SELECT 1 FROM " +
                  C + " WHERE " + oldMatch + ") BEGIN SELECT RAISE(ABORT, " +
                  quoteString(encodeError(engineError(kSqlParentUpdate, {c.name}))) + "); END");
}

// Whether deleting a row of table from deletes rows of table to through the CASCADE rules of
// foreign keys (from itself: through at least one key).
bool cascadesTo(sqlite3 *db, const QualName &from, const QualName &to) {
  const std::string target = to.schema + '\x1F' + to.name;
  std::set<std::string> seen;
  std::vector<QualName> pending{from};
  while (!pending.empty()) {
    QualName parent = pending.back();
    pending.pop_back();
    for (const auto &[owner, fk] : referencingConstraints(db, parent.schema, parent.name)) {
      if (fk.deleteRule != 'C') continue;
      if (owner == target) return true;
      if (!seen.insert(owner).second) continue;
      const size_t sep = owner.find('\x1F');
      pending.push_back(QualName{owner.substr(0, sep), owner.substr(sep + 1)});
    }
  }
  return false;
}

void dropForeignKeyTriggers(sqlite3 *db, const QualName &child, const std::string &name) {
  for (const char *suffix : {":I", ":U", ":D", ":P"})
    execSql(db, "DROP TRIGGER IF EXISTS " + sqliteSubName(child.schema, child.name, "FK:" + name + suffix));
}

void createCheckTriggers(sqlite3 *db, const QualName &t, const ConstraintInfo &c) {
  std::string T = sqliteName(t.schema, t.name);
  std::string fire = "SELECT RAISE(ABORT, " + quoteString(encodeError(engineError(kSqlCheck, {t.name + "." + c.name}))) + ");";
  for (const char *ev : {"INSERT", "UPDATE"})
    execSql(db, "CREATE TRIGGER " + sqliteSubName(t.schema, t.name, std::string("CK:") + c.name + ":" + ev) + " BEFORE " +
                    ev + " ON " + T + " FOR EACH ROW WHEN NOT (" + c.checkSql + ") BEGIN " + fire + " END");
}

void dropCheckTriggers(sqlite3 *db, const QualName &t, const std::string &name) {
  for (const char *ev : {"INSERT", "UPDATE"})
    execSql(db, "DROP TRIGGER IF EXISTS " + sqliteSubName(t.schema, t.name, std::string("CK:") + name + ":" + ev));
}

void deleteConstraintRow(sqlite3 *db, const QualName &t, const std::string &name) {
  Stmt st(db, "DELETE FROM \"SYSQUARN.CONSTRAINTS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND CONSTNAME = ?3");
  st.bind(1, t.schema).bind(2, t.name).bind(3, name);
  st.step();
}

void dropConstraint(sqlite3 *db, const QualName &t, const ConstraintInfo &c);

// Drops foreign keys of other tables (or this one) that reference the key cols of table t.
void dropReferencingKeys(sqlite3 *db, const QualName &t, const std::vector<std::string> *keyCols) {
  for (auto &[owner, fk] : referencingConstraints(db, t.schema, t.name)) {
    if (keyCols && fk.refCols != *keyCols) continue;
    size_t sep = owner.find('\x1F');
    QualName child{owner.substr(0, sep), owner.substr(sep + 1)};
    dropForeignKeyTriggers(db, child, fk.name);
    deleteConstraintRow(db, child, fk.name);
  }
}

void dropConstraint(sqlite3 *db, const QualName &t, const ConstraintInfo &c) {
  switch (c.type) {
    case 'P': case 'U': {
      dropReferencingKeys(db, t, &c.cols);
      execSql(db, "DROP INDEX IF EXISTS " + sqliteSubName(t.schema, t.name, "KEY:" + c.name));
      if (c.type == 'P') {
        Stmt st(db, "UPDATE \"SYSQUARN.COLUMNS\" SET KEYSEQ = 0 WHERE TABSCHEMA = ?1 AND TABNAME = ?2");
        st.bind(1, t.schema).bind(2, t.name);
        st.step();
      }
      break;
    }
    case 'F': dropForeignKeyTriggers(db, t, c.name); break;
    case 'K': dropCheckTriggers(db, t, c.name); break;
  }
  deleteConstraintRow(db, t, c.name);
}

// Adds one constraint to table t (whose current definition is info): checks it, creates its
// index or triggers, verifies existing rows and records it.
void addConstraint(Session &s, const QualName &t, const TableInfo &info, ConstraintSpec stmtDef) {
  sqlite3 *db = s.db();
  ConstraintInfo &c = stmtDef.info;
  std::vector<ConstraintInfo> existing = constraintsOf(db, t.schema, t.name);
  if (c.name.empty()) {
    do c.name = generatedName();
    while (std::any_of(existing.begin(), existing.end(), [&](const ConstraintInfo &e) { return e.name == c.name; }));
  }
  // A second primary key is -624 whatever it is named (a migration run again adds the key it
  // added before, under the same name).
  for (const ConstraintInfo &e : existing)
    if (c.type == 'P' && e.type == 'P') raise(kSqlKeyExists, {t.text(), "PRIMARY"});
  for (const ConstraintInfo &e : existing)
    if (e.name == c.name) raise(kSqlObjectExists, {c.name, "CONSTRAINT"});
  std::set<std::string> seen;
  for (const std::string &col : c.cols) {
    const ColumnDef *cd = info.column(col);
    if (!cd) raise(kSqlNotColumnOf, {col, t.text()});
    if (!seen.insert(col).second) raise(kSqlDuplicateName, {col});
    if ((c.type == 'P' || c.type == 'U') && cd->nullable) raise(kSqlKeyNullable, {col});
    if ((c.type == 'P' || c.type == 'U') && cd->type.isLob()) raise(kSqlColumnUse, {col});
  }
  std::string T = sqliteName(t.schema, t.name);
  if (c.type == 'P' || c.type == 'U') {
    for (const ConstraintInfo &e : existing)
      if ((e.type == 'P' || e.type == 'U') && e.cols == c.cols && c.type == 'U') {
        // The key exists already: Quarn ignores the constraint with a warning.
        s.setWarning(engineError(kSqlDuplicateConstraint, {c.name}));
        return;
      }
    int rc = sqlite3_exec(db, ("CREATE UNIQUE INDEX " + sqliteSubName(t.schema, t.name, "KEY:" + c.name) + " ON " + T +
                               "(" + quotedList(c.cols) + ")").c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      if ((rc & 0xFF) == SQLITE_CONSTRAINT) raise(kSqlUniqueBuild, {t.text()});
      raiseSqlite(db, rc);
    }
    if (c.type == 'P') {
      Stmt st(db, "UPDATE \"SYSQUARN.COLUMNS\" SET KEYSEQ = ?4 WHERE TABSCHEMA = ?1 AND TABNAME = ?2 AND COLNAME = ?3");
      for (size_t k = 0; k < c.cols.size(); ++k) {
        st.bind(1, t.schema).bind(2, t.name).bind(3, c.cols[k]).bind(4, static_cast<int64_t>(k + 1));
        st.step();
        st.reset();
      }
    }
  } else if (c.type == 'F') {
    QualName parentName{c.refSchema, c.refTable};
    std::optional<TableInfo> parent = parentName.schema == t.schema && parentName.name == t.name
                                          ? std::optional<TableInfo>(info)
                                          : findTable(db, parentName.schema, parentName.name);
    if (!parent) raise(kSqlUndefinedName, {parentName.text()});
    if (parent->type == 'A') {
      parentName = QualName{parent->baseSchema, parent->baseName};
      parent = findTable(db, parentName.schema, parentName.name);
      if (!parent) raise(kSqlUndefinedName, {parentName.text()});
    }
    if (parent->type != 'T') raise(kSqlWrongObjectType, {parentName.text(), "VIEW", "TABLE"});
    c.refSchema = parentName.schema;
    c.refTable = parentName.name;
    std::vector<ConstraintInfo> parentKeys =
        parentName.schema == t.schema && parentName.name == t.name ? existing : constraintsOf(db, c.refSchema, c.refTable);
    if (c.refCols.empty()) {
      for (const ConstraintInfo &k : parentKeys)
        if (k.type == 'P') c.refCols = k.cols;
      if (c.refCols.empty()) raise(kSqlRefNotUnique, {c.name, parentName.text()});
    }
    bool unique = std::any_of(parentKeys.begin(), parentKeys.end(), [&](const ConstraintInfo &k) {
      return (k.type == 'P' || k.type == 'U') && k.cols == c.refCols;
    });
    if (!unique || c.refCols.size() != c.cols.size()) raise(kSqlRefNotUnique, {c.name, parentName.text()});
    // Each column of the key has the type of its parent column: the same distinct type, or
    // built-in types of one kind (numbers of one type, character strings, graphic strings, one
    // datetime type, binary strings).
    auto kind = [](const QType &x) -> int {
      if (x.isDistinct()) return 100;
      if (x.isGraphic()) return 1;
      if (x.base == Base::Blob || x.forBitData) return 2;
      if (x.isCharacter()) return 3;
      return 10 + static_cast<int>(x.base);
    };
    for (size_t k = 0; k < c.cols.size(); ++k) {
      const ColumnDef *mine = info.column(c.cols[k]);
      const ColumnDef *theirs = parent->column(c.refCols[k]);
      if (!mine || !theirs) continue;
      const QType &a = mine->type, &b = theirs->type;
      bool same = kind(a) == kind(b) && a.typeSchema == b.typeSchema && a.typeName == b.typeName &&
                  (a.base != Base::Decimal || (a.length == b.length && a.scale == b.scale));
      if (!same) raise(kSqlForeignKeyShape, {c.name, parentName.text()});
    }
    // Existing rows must already hold.
    std::string P = sqliteName(c.refSchema, c.refTable), allSet, match;
    for (size_t k = 0; k < c.cols.size(); ++k) {
      allSet += (k ? " AND " : "") + std::string("NEW.") + quoteIdent(c.cols[k]) + " IS NOT NULL";
      match += (k ? " AND " : "") + P + "." + quoteIdent(c.refCols[k]) + " = NEW." + quoteIdent(c.cols[k]);
    }
    Stmt probe(db, "SELECT 1 FROM " + T + " AS NEW WHERE " + allSet + " AND NOT EXISTS (SELECT 1 FROM " + P + " WHERE " +
                       match + ") LIMIT 1");
    if (probe.step()) raise(kSqlForeignKeyViolated, {c.name});
    // A cascade that comes back to the table it started from would delete rows whose own
    // cascade does not fire (a trigger does not fire inside itself), leaving their dependent
    // rows orphaned: a CASCADE key that closes such a cycle (through other tables, or a second
    // one of a table to itself) is refused.  One key of a table to itself deletes all its
    // descendants at once.
    if (c.deleteRule == 'C' && cascadesTo(db, t, parentName))
      raise(kSqlStmtNotSupported, {"FOREIGN KEY " + c.name + " ON DELETE CASCADE in a cycle of cascading deletes"});
    createForeignKeyTriggers(db, t, c);
  } else if (c.type == 'K') {
    Stmt probe(db, "SELECT 1 FROM " + T + " AS NEW WHERE NOT (" + c.checkSql + ") LIMIT 1");
    if (probe.step()) raise(kSqlCheckViolated, {c.name});
    createCheckTriggers(db, t, c);
  }
  Stmt st(db, "INSERT INTO \"SYSQUARN.CONSTRAINTS\" VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12)");
  st.bind(1, t.schema).bind(2, t.name).bind(3, c.name).bind(4, std::string(1, c.type)).bind(5, joinList(c.cols));
  if (c.type == 'F') st.bind(6, c.refSchema).bind(7, c.refTable).bind(8, joinList(c.refCols)).bind(9, std::string(1, c.deleteRule));
  else st.bindNull(6).bindNull(7).bindNull(8).bindNull(9);
  if (c.type == 'K') st.bind(10, c.checkSql).bind(11, stmtDef.checkText); else st.bindNull(10).bindNull(11);
  st.bind(12, nextSeq(db));
  st.step();
}

TableInfo requireTable(sqlite3 *db, const QualName &q) {
  std::optional<TableInfo> t = findTable(db, q.schema, q.name);
  if (!t) raise(kSqlUndefinedName, {q.text()});
  if (t->type != 'T') raise(kSqlWrongObjectType, {q.text(), t->type == 'V' ? "VIEW" : "ALIAS", "TABLE"});
  return *t;
}

std::string castFunctionName(const QType &source) {
  switch (source.base) {
    case Base::Char: return "CHAR";
    case Base::LongVarchar: return "LONG_VARCHAR";
    case Base::LongVargraphic: return "LONG_VARGRAPHIC";
    default: return source.builtinName();
  }
}

void insertRoutine(sqlite3 *db, const RoutineDecl &r, const std::string &definer) {
  Stmt st(db, "INSERT INTO \"SYSQUARN.ROUTINES\" VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,?19,?20,"
              "?21,?22,?23,?24,?25)");
  auto yn = [](bool b) { return std::string(b ? "Y" : "N"); };
  st.bind(1, r.name.schema).bind(2, r.name.name).bind(3, r.specific).bind(4, std::string(1, r.routineType));
  if (r.routineType == 'F') st.bind(5, std::string(1, r.functionType)); else st.bindNull(5);
  st.bind(6, std::string(1, r.origin)).bind(7, definer).bind(8, static_cast<int64_t>(r.params.size()));
  st.bind(9, r.language).bind(10, r.parameterStyle).bind(11, r.externalName).bind(12, yn(r.deterministic))
      .bind(13, yn(r.fenced)).bind(14, yn(r.nullCall)).bind(15, std::string(1, r.sqlAccess)).bind(16, yn(r.externalAction))
      .bind(17, yn(r.scratchpad)).bind(18, yn(r.finalCall)).bind(19, yn(r.parallel)).bind(20, yn(r.dbinfo))
      .bind(21, int64_t{r.resultSets});
  if (r.sourceSpecific.empty()) st.bindNull(22).bindNull(23); else st.bind(22, r.sourceSchema).bind(23, r.sourceSpecific);
  st.bind(24, catalogTimestamp());
  if (r.text.empty()) st.bindNull(25); else st.bind(25, r.text);
  st.step();
  Stmt parm(db, "INSERT INTO \"SYSQUARN.ROUTINEPARMS\" VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10)");
  auto addParm = [&](const RoutineParam &p, const std::string &rowType, int64_t ordinal) {
    parm.bind(1, r.name.schema).bind(2, r.specific).bind(3, rowType).bind(4, ordinal);
    if (p.name.empty()) parm.bindNull(5); else parm.bind(5, p.name);
    parm.bind(6, p.type.catalogSchema()).bind(7, p.type.catalogName()).bind(8, p.type.catalogLength())
        .bind(9, int64_t{p.type.scale}).bind(10, std::string(p.locator ? "Y" : "N"));
    parm.step();
    parm.reset();
  };
  for (size_t k = 0; k < r.params.size(); ++k) {
    const RoutineParam &p = r.params[k];
    addParm(p, p.mode == "OUT" ? "O" : p.mode == "INOUT" ? "B" : "P", static_cast<int64_t>(k + 1));
  }
  if (r.routineType == 'F' && r.functionType == 'S') {
    addParm(r.result, "C", 0);
    if (r.castFrom) addParm(*r.castFrom, "R", 0);
  }
  for (size_t k = 0; k < r.columns.size(); ++k) addParm(r.columns[k], "C", static_cast<int64_t>(k + 1));
}

struct RoutineRow {
  std::string specific;
  std::vector<std::pair<std::string, std::string>> params;  // type schema, type name
};

std::vector<RoutineRow> routinesNamed(sqlite3 *db, const QualName &q, char type) {
  Stmt st(db, "SELECT SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND ROUTINENAME = ?2 AND "
              "ROUTINETYPE = ?3 ORDER BY CREATE_TIME");
  st.bind(1, q.schema).bind(2, q.name).bind(3, std::string(1, type));
  std::vector<RoutineRow> out;
  while (st.step()) out.push_back(RoutineRow{st.text(0), {}});
  Stmt parms(db, "SELECT TYPESCHEMA, TYPENAME FROM \"SYSQUARN.ROUTINEPARMS\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2 "
                 "AND ROWTYPE IN ('P','O','B') ORDER BY ORDINAL");
  for (RoutineRow &r : out) {
    parms.bind(1, q.schema).bind(2, r.specific);
    while (parms.step()) r.params.emplace_back(parms.text(0), parms.text(1));
    parms.reset();
  }
  return out;
}

bool sameSignature(const RoutineRow &r, const std::vector<QType> &sig) {
  if (r.params.size() != sig.size()) return false;
  for (size_t k = 0; k < sig.size(); ++k)
    if (r.params[k].first != sig[k].catalogSchema() || r.params[k].second != sig[k].catalogName()) return false;
  return true;
}

void deleteRoutine(sqlite3 *db, const std::string &schema, const std::string &specific) {
  for (const char *sql : {"DELETE FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2",
                          "DELETE FROM \"SYSQUARN.ROUTINEPARMS\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2",
                          "DELETE FROM \"SYSQUARN.AUTH\" WHERE OBJTYPE IN ('F','P') AND OBJSCHEMA = ?1 AND OBJNAME = ?2"}) {
    Stmt st(db, sql);
    st.bind(1, schema).bind(2, specific);
    st.step();
  }
}

}  // namespace

// ======================================================================= tables

void ddlCreateTable(Session &s, const CreateTableSpec &stmtDef) {
  sqlite3 *db = s.db();
  const QualName &t = stmtDef.name;
  checkUserSchema(t.schema, t.text());
  checkNameFree(db, t);
  if (!stmtDef.tbspace.empty() && !tablespaceExists(db, stmtDef.tbspace)) raise(kSqlUndefinedName, {stmtDef.tbspace});
  if (stmtDef.columns.empty()) raise(kSqlSyntax, {")", "(", "<column definition>"});
  if (stmtDef.columns.size() > 500) raise(kSqlTooManyColumns, {});
  std::set<std::string> names;
  std::string cols;
  std::vector<ColumnDef> columns = stmtDef.columns;
  int identities = 0;
  for (ColumnDef &c : columns) {
    // SQLite holds no two columns whose names differ only in case.
    if (!names.insert(upperAscii(c.name)).second) raise(kSqlDuplicateName, {c.name});
    if (c.identity) {
      if (++identities > 1) raise(kSqlIdentityTwice, {t.text()});
      c.defaultSql = identityCall(t.schema, t.name, c.name, c.identity);
      c.defaultText.clear();
      // The sequence the column draws from (a database made before sequences gets the table).
      execSql(db, "CREATE TABLE IF NOT EXISTS \"SYSQUARN.SEQUENCES\"(SEQNAME TEXT PRIMARY KEY, NEXTVAL INTEGER NOT NULL, "
                  "INCREMENT INTEGER NOT NULL)");
      Stmt seq(db, "INSERT OR REPLACE INTO \"SYSQUARN.SEQUENCES\" VALUES(?1, ?2, ?3)");
      seq.bind(1, identitySequence(t.schema, t.name, c.name)).bind(2, c.identityStart).bind(3, c.identityIncrement);
      seq.step();
    }
    cols += (cols.empty() ? "" : ", ") + columnSql(c);
  }
  execSql(db, "CREATE TABLE " + sqliteName(t.schema, t.name) + " (" + cols + ")");
  insertTableRow(db, t, 'T', s.user(), stmtDef.tbspace.empty() ? "USERSPACE1" : stmtDef.tbspace, "", "", "");
  for (size_t k = 0; k < columns.size(); ++k) insertColumnRow(db, t, columns[k], static_cast<int>(k));
  // Keys first, so that a foreign key of the table may reference its own primary key.
  std::vector<ConstraintSpec> ordered;
  for (const ConstraintSpec &c : stmtDef.constraints)
    if (c.info.type == 'P' || c.info.type == 'U') ordered.push_back(c);
  for (const ConstraintSpec &c : stmtDef.constraints)
    if (c.info.type != 'P' && c.info.type != 'U') ordered.push_back(c);
  for (const ConstraintSpec &c : ordered) {
    TableInfo info = *findTable(db, t.schema, t.name);
    addConstraint(s, t, info, c);
  }
}

void ddlDeclareTempTable(Session &s, const TempTableDecl &decl) {
  sqlite3 *db = s.db();
  std::string T = "temp." + sqliteName("SESSION", decl.name);
  // The SQLite table decides whether one is declared: a rollback may have taken it away or
  // brought one back that the session had dropped.
  bool declared = false;
  {
    Stmt exists(db, "SELECT 1 FROM temp.sqlite_schema WHERE type = 'table' AND name = ?1");
    exists.bind(1, "SESSION." + decl.name);
    declared = exists.step();
  }
  if (declared) {
    if (!decl.replace) raise(kSqlObjectExists, {"SESSION." + decl.name, "TABLE"});
    execSql(db, "DROP TABLE " + T);
  }
  s.dropTempTable(decl.name);
  if (decl.columns.empty()) raise(kSqlSyntax, {")", "(", "<column definition>"});
  std::set<std::string> names;
  std::string cols;
  for (const ColumnDef &c : decl.columns) {
    if (!names.insert(upperAscii(c.name)).second) raise(kSqlDuplicateName, {c.name});
    if (c.identity) raise(kSqlStmtNotSupported, {"IDENTITY"});
    cols += (cols.empty() ? "" : ", ") + columnSql(c);
  }
  execSql(db, "CREATE TABLE " + T + " (" + cols + ")");
  Session::TempTable t;
  t.info.schema = "SESSION";
  t.info.name = decl.name;
  t.info.type = 'T';
  t.info.columns = decl.columns;
  t.deleteOnCommit = decl.deleteOnCommit;
  s.declareTempTable(decl.name, std::move(t));
}

bool ddlDropTempTable(Session &s, const std::string &name) {
  if (!s.tempTable(name)) return false;
  execSql(s.db(), "DROP TABLE temp." + sqliteName("SESSION", name));
  s.dropTempTable(name);
  return true;
}

void ddlAlterTable(Session &s, const QualName &t, const std::vector<AlterClause> &clauses) {
  sqlite3 *db = s.db();
  checkUserSchema(t.schema, t.text());
  requireTable(db, t);
  for (const AlterClause &cl : clauses) {
    TableInfo info = requireTable(db, t);
    switch (cl.kind) {
      case AlterClause::AddColumn: {
        for (const ColumnDef &c : info.columns)
          if (upperAscii(c.name) == upperAscii(cl.column.name)) raise(kSqlDuplicateName, {cl.column.name});
        // The rows there are would need a value each from the sequence.
        if (cl.column.identity)
          raise(kSqlStmtNotSupported, {"ALTER TABLE ADD COLUMN " + cl.column.name + " GENERATED AS IDENTITY"});
        if (!cl.column.nullable && cl.column.defaultSql.empty()) raise(kSqlNotNullNoDefault, {cl.column.name});
        // SQLite gives the rows there are the column's default and takes only a constant one
        // then (it failed with -901); an INSERT that leaves the column out takes SQLite's default,
        // so a value computed now would also be every later row's.
        if (cl.column.defaultSql.rfind("QCURRENT(", 0) == 0 || cl.column.defaultSql == "QUSER()") {
          Stmt rows(db, "SELECT 1 FROM " + sqliteName(t.schema, t.name) + " LIMIT 1");
          if (rows.step())
            raise(kSqlStmtNotSupported,
                  {"ADD COLUMN " + cl.column.name + " DEFAULT " + cl.column.defaultText + " to a table with rows"});
        }
        execSql(db, "ALTER TABLE " + sqliteName(t.schema, t.name) + " ADD COLUMN " + columnSql(cl.column));
        insertColumnRow(db, t, cl.column, static_cast<int>(info.columns.size()));
        for (const ConstraintSpec &c : cl.constraints) addConstraint(s, t, *findTable(db, t.schema, t.name), c);
        break;
      }
      case AlterClause::AddConstraint:
        for (const ConstraintSpec &c : cl.constraints) addConstraint(s, t, info, c);
        break;
      case AlterClause::DropPrimaryKey:
      case AlterClause::DropConstraint: {
        bool found = false;
        for (const ConstraintInfo &c : constraintsOf(db, t.schema, t.name)) {
          bool match = cl.kind == AlterClause::DropPrimaryKey
                           ? c.type == 'P'
                           : c.name == cl.dropName && (cl.dropType == 0 || cl.dropType == c.type ||
                                                       (cl.dropType == 'U' && c.type == 'P'));
          if (!match) continue;
          dropConstraint(db, t, c);
          found = true;
          break;
        }
        if (!found)
          raise(kSqlUndefinedName, {cl.kind == AlterClause::DropPrimaryKey ? t.text() + ".PRIMARY KEY" : cl.dropName});
        break;
      }
    }
  }
}

namespace {

// Whether SQLite, preparing a read of the view, reads the table or view named (SQLite's name,
// unquoted): directly, or through a view of that name.  Its text alone would also name it in a
// string or as a column's name.
struct ReadProbe {
  const std::string &name;
  bool found = false;
};

int probeRead(void *arg, int action, const char *table, const char *, const char *, const char *view) {
  ReadProbe *probe = static_cast<ReadProbe *>(arg);
  if (action == SQLITE_READ && ((table != nullptr && probe->name == table) || (view != nullptr && probe->name == view)))
    probe->found = true;
  return SQLITE_OK;
}

bool viewReads(sqlite3 *db, const std::string &view, const std::string &name) {
  ReadProbe probe{name};
  sqlite3_set_authorizer(db, probeRead, &probe);
  sqlite3_stmt *st = nullptr;
  const std::string sql = "SELECT * FROM " + quoteIdent(view);
  sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
  sqlite3_finalize(st);
  sqlite3_set_authorizer(db, nullptr, nullptr);
  return probe.found;
}

// Dropping a table or view makes the views that read it, directly or through other views,
// inoperative: their SQLite views go (SQLite would keep them, and bind them to the next table
// of that name), their catalogue rows stay, and a use of one is -575 until it is dropped.  A
// trigger that uses one of them keeps the object (-478), as it keeps a table it uses itself.
void dropDependentViews(sqlite3 *db, const QualName &obj, const char *kind) {
  std::vector<std::pair<std::string, std::string>> views;  // schema, name
  std::set<std::string> seen{obj.schema + "." + obj.name};
  std::vector<std::string> reads{obj.schema + "." + obj.name};
  while (!reads.empty()) {
    const std::string read = reads.back();
    reads.pop_back();
    // The views whose text names it are the candidates; SQLite says which of them read it.
    Stmt dep(db, "SELECT t.TABSCHEMA, t.TABNAME, s.name FROM sqlite_schema s JOIN \"SYSQUARN.TABLES\" t ON t.TYPE = 'V' "
                 "AND s.name = t.TABSCHEMA || '.' || t.TABNAME WHERE s.type = 'view' AND instr(s.sql, ?1) > 0 "
                 "ORDER BY s.name");
    dep.bind(1, quoteIdent(read));
    std::vector<std::tuple<std::string, std::string, std::string>> candidates;
    while (dep.step()) candidates.emplace_back(dep.text(0), dep.text(1), dep.text(2));
    for (auto &[schema, name, view] : candidates) {
      if (seen.count(view) != 0 || !viewReads(db, view, read)) continue;
      seen.insert(view);
      reads.push_back(view);
      views.emplace_back(std::move(schema), std::move(name));
    }
  }
  for (const auto &[schema, name] : views) checkTriggerDependents(db, 'V', schema, name, kind);
  for (const auto &[schema, name] : views) execSql(db, "DROP VIEW " + sqliteName(schema, name));
}

}  // namespace

void ddlDropTable(Session &s, const QualName &t) {
  sqlite3 *db = s.db();
  checkUserSchema(t.schema, t.text());
  TableInfo info = requireTable(db, t);
  checkTriggerDependents(db, 'T', t.schema, t.name, "TABLE");
  dropDependentViews(db, t, "TABLE");
  dropReferencingKeys(db, t, nullptr);
  for (const ConstraintInfo &c : constraintsOf(db, t.schema, t.name))
    if (c.type == 'F') dropForeignKeyTriggers(db, t, c.name);
  execSql(db, "DROP TABLE " + sqliteName(t.schema, t.name));
  for (const char *sql : {"DELETE FROM \"SYSQUARN.TABLES\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2",
                          "DELETE FROM \"SYSQUARN.COLUMNS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2",
                          "DELETE FROM \"SYSQUARN.CONSTRAINTS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2",
                          "DELETE FROM \"SYSQUARN.AUTH\" WHERE OBJTYPE = 'T' AND OBJSCHEMA = ?1 AND OBJNAME = ?2",
                          "DELETE FROM \"SYSQUARN.TRIGDEP\" WHERE (TRIGSCHEMA, TRIGNAME) IN (SELECT TRIGSCHEMA, TRIGNAME "
                          "FROM \"SYSQUARN.TRIGGERS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2)",
                          "DELETE FROM \"SYSQUARN.TRIGGERS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2"}) {
    Stmt st(db, sql);
    st.bind(1, t.schema).bind(2, t.name);
    st.step();
  }
  // The sequence of its identity column, by the name its default draws from (a prefix of the
  // table's names would also match a table whose name continues it after a dot).
  for (const ColumnDef &c : info.columns) {
    if (!c.identity) continue;
    Stmt st(db, "DELETE FROM \"SYSQUARN.SEQUENCES\" WHERE SEQNAME = ?1");
    st.bind(1, identitySequenceOf(c.defaultSql));
    st.step();
  }
}

// ======================================================================= views and aliases

void ddlCreateView(Session &s, const QualName &v, const std::vector<std::string> &cols, const std::string &selectSql,
                   const std::vector<QType> &itemTypes, const std::string &text) {
  sqlite3 *db = s.db();
  checkUserSchema(v.schema, v.text());
  checkNameFree(db, v);
  std::string V = sqliteName(v.schema, v.name);
  std::string colList = cols.empty() ? "" : "(" + quotedList(cols) + ")";
  // The declared types of the select's own columns: read through the view, SQLite declares a
  // column of a set operator with one operand's type, not the type that holds them all.
  std::vector<std::string> decls;
  {
    // Without a column list the select must name its columns once each; a column list names
    // each of its columns (checked here, before SQLite's CREATE VIEW would refuse it with a
    // message of its own).
    Stmt select(db, selectSql);
    const int nSelect = sqlite3_column_count(select.raw());
    if (!cols.empty() && static_cast<size_t>(nSelect) != cols.size()) raise(kSqlColumnListLength, {v.text()});
    std::set<std::string> seen;
    for (int k = 0; k < nSelect && cols.empty(); ++k)
      if (!seen.insert(sqlite3_column_name(select.raw(), k)).second) raise(kSqlColumnListRequired);
    for (int k = 0; k < nSelect; ++k) {
      const char *decl = sqlite3_column_decltype(select.raw(), k);
      decls.emplace_back(decl != nullptr ? decl : "");
    }
  }
  execSql(db, "CREATE VIEW " + V + colList + " AS " + selectSql);
  Stmt probe(db, "SELECT * FROM " + V);
  int n = sqlite3_column_count(probe.raw());
  std::set<std::string> names;
  insertTableRow(db, v, 'V', s.user(), "", "", "", text);
  for (int k = 0; k < n; ++k) {
    ColumnDef c;
    c.name = sqlite3_column_name(probe.raw(), k);
    if (!names.insert(c.name).second) raise(kSqlDuplicateName, {c.name});
    const size_t at = static_cast<size_t>(k);
    c.type = resultColumnType(at < decls.size() && !decls[at].empty() ? decls[at].c_str() : nullptr,
                              at < itemTypes.size() ? itemTypes[at] : QType{});
    if (c.type.base == Base::None) {
      c.type.base = Base::Varchar;
      c.type.length = 32672;
    }
    insertColumnRow(db, v, c, k);
  }
}

void ddlDropView(Session &s, const QualName &v) {
  sqlite3 *db = s.db();
  checkUserSchema(v.schema, v.text());
  std::optional<TableInfo> t = findTable(db, v.schema, v.name);
  if (!t) raise(kSqlUndefinedName, {v.text()});
  if (t->type != 'V') raise(kSqlWrongObjectType, {v.text(), t->type == 'T' ? "TABLE" : "ALIAS", "VIEW"});
  checkTriggerDependents(db, 'V', v.schema, v.name, "VIEW");
  dropDependentViews(db, v, "VIEW");
  // An inoperative view has no SQLite view left.
  execSql(db, "DROP VIEW IF EXISTS " + sqliteName(v.schema, v.name));
  for (const char *sql : {"DELETE FROM \"SYSQUARN.TABLES\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2",
                          "DELETE FROM \"SYSQUARN.COLUMNS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2",
                          "DELETE FROM \"SYSQUARN.AUTH\" WHERE OBJTYPE = 'T' AND OBJSCHEMA = ?1 AND OBJNAME = ?2"}) {
    Stmt st(db, sql);
    st.bind(1, v.schema).bind(2, v.name);
    st.step();
  }
}

void ddlCreateAlias(Session &s, const QualName &a, const QualName &target) {
  sqlite3 *db = s.db();
  checkUserSchema(a.schema, a.text());
  checkNameFree(db, a);
  if (a.schema == target.schema && a.name == target.name) raise(kSqlAliasCycle, {a.text()});
  insertTableRow(db, a, 'A', s.user(), "", target.schema, target.name, "");
  if (!findTable(db, target.schema, target.name)) s.setWarning(engineError(kSqlAliasUndefined, {a.text(), target.text()}));
}

void ddlDropAlias(Session &s, const QualName &a) {
  sqlite3 *db = s.db();
  std::optional<TableInfo> t = findTable(db, a.schema, a.name);
  if (!t || t->type != 'A') raise(kSqlUndefinedName, {a.text()});
  Stmt st(db, "DELETE FROM \"SYSQUARN.TABLES\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2");
  st.bind(1, a.schema).bind(2, a.name);
  st.step();
}

// ======================================================================= types, spaces, indexes

void ddlCreateDistinctType(Session &s, const QualName &n, const QType &source, bool comparisons) {
  sqlite3 *db = s.db();
  checkUserSchema(n.schema, n.text());
  Stmt exists(db, "SELECT 1 FROM \"SYSQUARN.DATATYPES\" WHERE (TYPESCHEMA = ?1 AND TYPENAME = ?2) OR "
                  "(TYPESCHEMA = 'SYSOSTREL' AND TYPENAME = ?2)");
  exists.bind(1, n.schema).bind(2, n.name);
  if (exists.step()) raise(kSqlObjectExists, {n.text(), "TYPE"});
  if (source.isLob() && comparisons) raise(kSqlLobComparisons, {});  // no comparisons on large objects
  Stmt st(db, "INSERT INTO \"SYSQUARN.DATATYPES\" VALUES(?1,?2,?3,'SYSOSTREL',?4,'T',"
              "(SELECT coalesce(max(TYPEID),0)+1 FROM \"SYSQUARN.DATATYPES\"),?5,?6,?7,?8)");
  st.bind(1, n.schema).bind(2, n.name).bind(3, s.user()).bind(4, source.builtinName()).bind(5, source.catalogLength())
      .bind(6, int64_t{source.scale}).bind(7, std::string(comparisons ? "Y" : "N")).bind(8, catalogTimestamp());
  st.step();
  // The two cast functions Quarn generates: TYPE(source) and SOURCE(TYPE), in the type's schema.
  QType distinct = source;
  distinct.typeSchema = n.schema;
  distinct.typeName = n.name;
  for (int k = 0; k < 2; ++k) {
    RoutineDecl r;
    r.name = QualName{n.schema, k == 0 ? n.name : castFunctionName(source)};
    r.routineType = 'F';
    r.functionType = 'S';
    r.origin = 'S';
    r.language = "SQL";
    r.deterministic = true;
    r.fenced = false;
    r.externalAction = false;
    r.sqlAccess = 'N';
    RoutineParam p;
    p.type = k == 0 ? source : distinct;
    r.params.push_back(p);
    r.result.type = k == 0 ? distinct : source;
    do r.specific = generatedName();
    while ([&] {
      Stmt q(db, "SELECT 1 FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
      q.bind(1, n.schema).bind(2, r.specific);
      return q.step();
    }());
    insertRoutine(db, r, s.user());
  }
}

void ddlDropDistinctType(Session &s, const QualName &n) {
  sqlite3 *db = s.db();
  if (!findDistinctType(db, n.schema, n.name)) raise(kSqlUndefinedName, {n.text()});
  Stmt col(db, "SELECT TABSCHEMA || '.' || TABNAME FROM \"SYSQUARN.COLUMNS\" WHERE TYPESCHEMA = ?1 AND TYPENAME = ?2");
  col.bind(1, n.schema).bind(2, n.name);
  if (col.step()) raise(kSqlDependentObject, {"TYPE", col.text(0), "TABLE"});
  Stmt rt(db, "SELECT r.ROUTINESCHEMA || '.' || r.SPECIFICNAME FROM \"SYSQUARN.ROUTINEPARMS\" p JOIN \"SYSQUARN.ROUTINES\" r "
              "ON r.ROUTINESCHEMA = p.ROUTINESCHEMA AND r.SPECIFICNAME = p.SPECIFICNAME WHERE p.TYPESCHEMA = ?1 AND "
              "p.TYPENAME = ?2 AND r.ORIGIN <> 'S'");
  rt.bind(1, n.schema).bind(2, n.name);
  if (rt.step()) raise(kSqlDependentObject, {"TYPE", rt.text(0), "FUNCTION"});
  Stmt casts(db, "SELECT DISTINCT p.SPECIFICNAME FROM \"SYSQUARN.ROUTINEPARMS\" p JOIN \"SYSQUARN.ROUTINES\" r ON "
                 "r.ROUTINESCHEMA = p.ROUTINESCHEMA AND r.SPECIFICNAME = p.SPECIFICNAME WHERE p.TYPESCHEMA = ?1 AND "
                 "p.TYPENAME = ?2 AND r.ORIGIN = 'S' AND r.ROUTINESCHEMA = ?1");
  casts.bind(1, n.schema).bind(2, n.name);
  std::vector<std::string> specifics;
  while (casts.step()) specifics.push_back(casts.text(0));
  for (const std::string &sp : specifics) deleteRoutine(db, n.schema, sp);
  Stmt del(db, "DELETE FROM \"SYSQUARN.DATATYPES\" WHERE TYPESCHEMA = ?1 AND TYPENAME = ?2");
  del.bind(1, n.schema).bind(2, n.name);
  del.step();
}

void ddlCreateTablespace(Session &s, const std::string &name, const std::string &text) {
  sqlite3 *db = s.db();
  if (tablespaceExists(db, name)) raise(kSqlObjectExists, {name, "TABLESPACE"});
  Stmt st(db, "INSERT INTO \"SYSQUARN.TABLESPACES\" VALUES(?1, (SELECT max(TBSPACEID)+1 FROM \"SYSQUARN.TABLESPACES\"), "
              "?2, ?3, 'S', 'A', ?4)");
  st.bind(1, name).bind(2, s.user()).bind(3, catalogTimestamp()).bind(4, text);
  st.step();
}

void ddlDropTablespace(Session &s, const std::string &name) {
  sqlite3 *db = s.db();
  if (!tablespaceExists(db, name)) raise(kSqlUndefinedName, {name});
  if (name == "SYSCATSPACE" || name == "TEMPSPACE1" || name == "USERSPACE1") raise(kSqlSystemObject, {name});
  Stmt used(db, "SELECT TABSCHEMA || '.' || TABNAME FROM \"SYSQUARN.TABLES\" WHERE TBSPACE = ?1");
  used.bind(1, name);
  if (used.step()) raise(kSqlDependentObject, {"TABLESPACE", used.text(0), "TABLE"});
  Stmt st(db, "DELETE FROM \"SYSQUARN.TABLESPACES\" WHERE TBSPACE = ?1");
  st.bind(1, name);
  st.step();
}

void ddlCreateIndex(Session &s, const QualName &ix, const QualName &table, bool unique,
                    const std::vector<std::pair<std::string, bool>> &cols) {
  sqlite3 *db = s.db();
  checkUserSchema(ix.schema, ix.text());
  TableInfo t = requireTable(db, table);
  checkNameFree(db, ix);
  std::string list;
  for (const auto &[c, desc] : cols) {
    if (!t.column(c)) raise(kSqlNotColumnOf, {c, table.text()});
    list += (list.empty() ? "" : ", ") + quoteIdent(c) + (desc ? " DESC" : "");
  }
  int rc = sqlite3_exec(db, ("CREATE " + std::string(unique ? "UNIQUE " : "") + "INDEX " + sqliteName(ix.schema, ix.name) +
                             " ON " + sqliteName(table.schema, table.name) + "(" + list + ")").c_str(),
                        nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if ((rc & 0xFF) == SQLITE_CONSTRAINT) raise(kSqlUniqueBuild, {QualName{t.schema, t.name}.text()});
    raiseSqlite(db, rc);
  }
}

void ddlDropIndex(Session &s, const QualName &ix) {
  sqlite3 *db = s.db();
  std::string sqliteIx = ix.schema + "." + ix.name;
  {
    // The statement is finished before the DROP (SQLite refuses to drop while one reads).  A
    // key's index ("S.T::KEY:C") is its constraint's: only ALTER TABLE drops it.
    Stmt exists(db, "SELECT tbl_name FROM sqlite_schema WHERE type = 'index' AND name = ?1");
    exists.bind(1, sqliteIx);
    if (!exists.step() || sqliteIx.rfind(exists.text(0) + "::", 0) == 0) raise(kSqlUndefinedName, {ix.text()});
  }
  execSql(db, "DROP INDEX " + sqliteName(ix.schema, ix.name));
}

// ======================================================================= routines

std::string resolveRoutine(Session &s, const RoutineRef &ref) {
  sqlite3 *db = s.db();
  if (ref.specific) {
    Stmt st(db, "SELECT SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2 AND "
                "ROUTINETYPE = ?3");
    st.bind(1, ref.name.schema).bind(2, ref.name.name).bind(3, std::string(1, ref.routineType));
    if (!st.step()) raise(kSqlUndefinedName, {ref.name.text()});
    return st.text(0);
  }
  std::vector<RoutineRow> rows = routinesNamed(db, ref.name, ref.routineType);
  if (ref.hasSignature) {
    for (const RoutineRow &r : rows)
      if (sameSignature(r, ref.signature)) return r.specific;
    raise(kSqlUndefinedName, {ref.name.text()});
  }
  if (rows.empty()) raise(kSqlUndefinedName, {ref.name.text()});
  if (rows.size() > 1) raise(kSqlRoutineNotUnique, {ref.name.text()});
  return rows[0].specific;
}

void ddlCreateRoutine(Session &s, RoutineDecl stmtDef) {
  sqlite3 *db = s.db();
  checkUserSchema(stmtDef.name.schema, stmtDef.name.text());
  if (!stmtDef.specific.empty()) {
    Stmt st(db, "SELECT 1 FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
    st.bind(1, stmtDef.name.schema).bind(2, stmtDef.specific);
    if (st.step()) raise(kSqlSpecificExists, {stmtDef.specific, stmtDef.name.text()});
  }
  std::vector<QType> sig;
  for (const RoutineParam &p : stmtDef.params) sig.push_back(p.type);
  for (const RoutineRow &r : routinesNamed(db, stmtDef.name, stmtDef.routineType)) {
    bool clash = stmtDef.routineType == 'P' ? r.params.size() == sig.size() : sameSignature(r, sig);
    if (clash) raise(kSqlSignatureExists, {stmtDef.name.text()});
  }
  if (stmtDef.specific.empty()) {
    do stmtDef.specific = generatedName();
    while ([&] {
      Stmt q(db, "SELECT 1 FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
      q.bind(1, stmtDef.name.schema).bind(2, stmtDef.specific);
      return q.step();
    }());
  }
  if (stmtDef.origin == 'E' && stmtDef.language.empty()) stmtDef.language = "C";
  checkRoutineOutputs(stmtDef);
  insertRoutine(db, stmtDef, s.user());
}

namespace {

// A view or check constraint that calls the function schema.specific keeps it (-478): their
// SQLite text calls it by its key (QUDF) or reads its table (table functions), and once it is
// gone every use of them failed with -440 or -204.
void checkFunctionUsers(sqlite3 *db, const std::string &schema, const std::string &specific) {
  RoutineDef def;
  def.schema = schema;
  def.specific = specific;
  const std::string call = quoteString(functionKey(def)), table = quoteIdent(moduleName(schema, specific));
  Stmt view(db, "SELECT name FROM sqlite_schema WHERE type = 'view' AND (instr(sql, ?1) > 0 OR instr(sql, ?2) > 0) "
                "ORDER BY name");
  view.bind(1, call).bind(2, table);
  if (view.step()) raise(kSqlDependentObject, {"FUNCTION", view.text(0), "VIEW"});
  Stmt check(db, "SELECT CONSTNAME FROM \"SYSQUARN.CONSTRAINTS\" WHERE TYPE = 'K' AND (instr(CHECKSQL, ?1) > 0 OR "
                 "instr(CHECKSQL, ?2) > 0) ORDER BY SEQ");
  check.bind(1, call).bind(2, table);
  if (check.step()) raise(kSqlDependentObject, {"FUNCTION", check.text(0), "CHECK CONSTRAINT"});
}

}  // namespace

void ddlDropRoutine(Session &s, const RoutineRef &ref) {
  sqlite3 *db = s.db();
  std::string specific = resolveRoutine(s, ref);
  Stmt origin(db, "SELECT ORIGIN FROM \"SYSQUARN.ROUTINES\" WHERE ROUTINESCHEMA = ?1 AND SPECIFICNAME = ?2");
  origin.bind(1, ref.name.schema).bind(2, specific);
  if (origin.step() && origin.text(0) == "S") raise(kSqlCannotDrop, {ref.name.text()});
  Stmt dep(db, "SELECT ROUTINESCHEMA || '.' || SPECIFICNAME FROM \"SYSQUARN.ROUTINES\" WHERE SOURCESCHEMA = ?1 AND "
               "SOURCESPECIFIC = ?2");
  dep.bind(1, ref.name.schema).bind(2, specific);
  if (dep.step()) raise(kSqlDependentObject, {ref.routineType == 'P' ? "PROCEDURE" : "FUNCTION", dep.text(0), "FUNCTION"});
  if (ref.routineType == 'F') {
    checkTriggerDependents(db, 'F', ref.name.schema, specific, "FUNCTION");
    checkFunctionUsers(db, ref.name.schema, specific);
  }
  deleteRoutine(db, ref.name.schema, specific);
}

// ======================================================================= privileges and locks

void ddlGrant(Session &s, const GrantSpec &g) {
  sqlite3 *db = s.db();
  std::string objSchema, objName;
  switch (g.objType) {
    case 'T': {
      std::optional<TableInfo> t = findTable(db, g.table.schema, g.table.name);
      if (!t) raise(kSqlUndefinedName, {g.table.text()});
      objSchema = g.table.schema;
      objName = g.table.name;
      break;
    }
    case 'F': case 'P':
      objSchema = g.routine.name.schema;
      objName = resolveRoutine(s, g.routine);
      break;
    case 'S':
      if (!tablespaceExists(db, g.table.name)) raise(kSqlUndefinedName, {g.table.name});
      objName = g.table.name;
      break;
    default:
      break;
  }
  for (const auto &[type, grantee] : g.grantees) {
    for (const std::string &priv : g.privileges) {
      if (g.revoke) {
        Stmt st(db, "DELETE FROM \"SYSQUARN.AUTH\" WHERE GRANTEE = ?1 AND GRANTEETYPE = ?2 AND OBJTYPE = ?3 AND "
                    "OBJSCHEMA = ?4 AND OBJNAME = ?5 AND PRIVILEGE = ?6");
        st.bind(1, grantee).bind(2, std::string(1, type)).bind(3, std::string(1, g.objType)).bind(4, objSchema)
            .bind(5, objName).bind(6, priv);
        st.step();
        if (sqlite3_changes(db) == 0) raise(kSqlRevokeNotHeld, {grantee});
      } else {
        Stmt st(db, "INSERT OR REPLACE INTO \"SYSQUARN.AUTH\" VALUES(?1,?2,?3,?4,?5,?6,?7,?8)");
        st.bind(1, s.user()).bind(2, grantee).bind(3, std::string(1, type)).bind(4, std::string(1, g.objType))
            .bind(5, objSchema).bind(6, objName).bind(7, priv).bind(8, std::string(g.grantable ? "Y" : "N"));
        st.step();
      }
    }
  }
}

void lockTable(Session &s, const QualName &table, bool exclusive) {
  sqlite3 *db = s.db();
  std::optional<TableInfo> t = findTable(db, table.schema, table.name);
  if (!t) raise(kSqlUndefinedName, {table.text()});
  // SHARE: the unit of work reads a snapshot already.  EXCLUSIVE: the session holds the write
  // lock until the unit of work ends (taken when the statement began).
  (void)exclusive;
}

}  // namespace quarn
