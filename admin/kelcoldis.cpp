/*
 * kelcoldis.cpp - disabling an XML column, soft-disabling it (its triggers dropped, side tables
 * and the XML_USAGE row kept) and re-enabling it (side tables refilled, triggers created again
 * under the stored suffix); all driven by the column's XML_USAGE row and its stored DAD, each
 * inside one savepoint of the call (see kelcol.h).  The procedures in both conventions.
 */

#include <cstring>
#include <memory>
#include <string>

#include "kelcatalog.h"
#include "kelcattab.h"
#include "kelcodepage.h"
#include "kelcol.h"
#include "kelcolimpl.h"
#include "kelctx.h"
#include "kelenable.h"
#include "kelinterr.h"
#include "keldadcache.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "kelsavepoint.h"
#include "kelSgDoc.h"
#include "kelsql.h"
#include "keltrace.h"

namespace {

constexpr const char kUnit[] = "kelcoldis";

// SQLCODE of an object that does not exist.
constexpr int kNotFound = -204;
constexpr int kColumnNotFound = -206;

// Characters of UTF-8 text.
size_t charsOf(const char *s) { return kelUtf8Chars(s, std::strlen(s)); }

std::string rtrim(const char *s) {
  std::string out = s;
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The column's XML_USAGE row; a null column is an empty string with its flag false.
struct UsageRow {
  std::string dad, view, dtdId, suffix, rootId, sideQual;
  bool hasDad = false, hasView = false, hasDtdId = false, hasSuffix = false, hasRootId = false, hasSideQual = false;
};

// Reads the row of the column.  0; 100 when there is none; the SQLCODE of a failed query.
int readUsage(KelCallContext *ctx, const KelColTarget &t, UsageRow *row) {
  // The DAD column holds at most KEL_MAX_DAD_CLOB bytes.
  std::unique_ptr<char[]> dad(new char[KEL_MAX_DAD_CLOB + 1]);
  char view[2 * KEL_TABLE_SIZE + 8] = "", dtd[KEL_MSG_BUFFER + 1] = "", suffix[16] = "", root[KEL_TABLE_SIZE] = "",
       qual[KEL_TABLE_SIZE] = "";
  short ind[6] = {0, 0, 0, 0, 0, 0};
  dad[0] = '\0';
  sqlca ca{};
  int code = kelColFetch(ctx,
                         "SELECT DAD, DEFAULT_VIEW, DTDID, TRIGGER_SUFFIX, ROOT_ID, SIDE_TAB_QUAL FROM "
                         "QUARNXML.XML_USAGE WHERE table_schema = ? AND table_name = ? AND col_name = ?",
                         {t.schema.c_str(), t.table.c_str(), t.column.c_str()},
                         {{SQL_TYP_CSTR, KEL_MAX_DAD_CLOB + 1, dad.get(), &ind[0]},
                          {SQL_TYP_CSTR, sizeof view, view, &ind[1]},
                          {SQL_TYP_CSTR, sizeof dtd, dtd, &ind[2]},
                          {SQL_TYP_CSTR, sizeof suffix, suffix, &ind[3]},
                          {SQL_TYP_CSTR, sizeof root, root, &ind[4]},
                          {SQL_TYP_CSTR, sizeof qual, qual, &ind[5]}},
                         &ca);
  if (code != 0) return code;
  // A value cut by its buffer would name the wrong object: refuse it as a failed read.
  for (short i : ind)
    if (i > 0) return -1;
  row->hasDad = ind[0] == 0;
  row->dad = dad.get();
  row->hasView = ind[1] == 0;
  row->view = rtrim(view);
  row->hasDtdId = ind[2] == 0;
  row->dtdId = rtrim(dtd);
  row->hasSuffix = ind[3] == 0;
  row->suffix = rtrim(suffix);
  row->hasRootId = ind[4] == 0;
  row->rootId = rtrim(root);
  row->hasSideQual = ind[5] == 0;
  row->sideQual = rtrim(qual);
  return 0;
}

// Whether the trigger schema.name exists.  0, or the SQLCODE of the failed lookup.
int triggerExists(KelCallContext *ctx, const std::string &schema, const std::string &name, bool *exists) {
  sqlint32 count = 0;
  short ind = 0;
  sqlca ca{};
  int code = kelColFetch(ctx, "SELECT COUNT(*) FROM syscat.triggers WHERE trigschema = ? AND trigname = ?",
                         {schema.c_str(), name.c_str()}, {{SQL_TYP_INTEGER, 4, &count, &ind}}, &ca);
  if (code < 0) return code;
  *exists = count > 0;
  return 0;
}

// What every worker does first: the database, the names, the table and column, the row and its
// DAD read into def (side tables without a schema qualified by SIDE_TAB_QUAL, else the user).
struct Column {
  KelColTarget target;
  UsageRow row;
  KelColumnDef def;
  bool tableGone = false;  // disable of a column whose table was dropped
};

// tableMayBeGone: a table that no longer exists is no error when its column is still recorded
// (disable, which removes what enablement made and is left of it).
int32_t openColumn(KelCallContext *ctx, const char *tableName, const char *columnName, Column *c, char *msg,
                   bool tableMayBeGone = false) {
  int enabled = 0;
  int32_t rc = kelIsDatabaseEnabled(ctx, &enabled, msg);
  if (rc < 0) return rc;
  if (!enabled) {
    KEL_TRACE(ctx, "Table quarnxml.xml_usage does not exist.\n");
    return kelFail(ctx, msg, nullptr, KELQ052E);
  }
  rc = kelColResolve(ctx, tableName, columnName, &c->target, msg);
  if (rc < 0) return rc;
  if (tableMayBeGone) {
    int exists = 1;
    rc = kelTableExists(ctx, c->target.schema.c_str(), c->target.table.c_str(), &exists, msg);
    if (rc < 0) return rc;
    c->tableGone = exists == 0;
  }
  if (c->tableGone) {
    KEL_TRACE(ctx, "table %s.%s is not there\n", c->target.schema.c_str(), c->target.table.c_str());
  } else {
    rc = kelColCheckColumn(ctx, c->target, nullptr, msg);
    if (rc < 0) return rc;
  }
  int code = readUsage(ctx, c->target, &c->row);
  // A dropped table whose column is not recorded is what it always was: no such table.
  if (code == 100 && c->tableGone) {
    std::string where = c->target.schema + "." + c->target.table;
    return kelFail(ctx, msg, nullptr, KELA016E, where.c_str());
  }
  if (code == 100) return kelFail(ctx, msg, nullptr, KELA018E);
  if (code != 0) {
    KEL_TRACE(ctx, "Error in selecting from xml_usage, schema=%s, tabname=%s, colname=%s, sqlcode=%d.\n",
              c->target.schema.c_str(), c->target.table.c_str(), c->target.column.c_str(), code);
    return kelFail(ctx, msg, nullptr, KELA023E);
  }
  if (!c->row.hasDad || !c->row.hasSuffix || c->row.suffix.size() != KEL_TRIGGER_SUFFIX_LEN)
    return kelFail(ctx, msg, nullptr, KELA023E);
  const int cpFlag = ctx != nullptr && ctx->codePages != nullptr &&
                             ctx->codePages->appCodePage == ctx->codePages->dbCodePage
                         ? 1
                         : 0;
  KelDad dad;
  char state[6] = "00000";
  rc = kelDadOpen(ctx, c->row.dad.c_str(), KEL_DOC_IN_MEMORY, cpFlag, KEL_DAD_XCOLUMN, &dad, state, msg);
  if (rc < 0) {
    KEL_TRACE(ctx, "Error in getting  DAD, sqlcode=%d.\n", rc);
    return rc;
  }
  KelColumnDef &def = c->def;
  def.schema = c->target.schema;
  def.table = c->target.table;
  def.column = c->target.column;
  def.suffix = c->row.suffix;
  rc = kelColumnDefFromDad(ctx, dad, c->row.hasSideQual ? c->row.sideQual : c->target.user, &def, msg);
  if (rc < 0) return rc;
  // The row's DTD id is the one enablement counted.
  def.dtdId = c->row.hasDtdId ? c->row.dtdId : std::string();
  return 0;
}

// Works out the root id of a row that has none: KELROOT_ID when the H trigger exists, else the
// first column of the table's primary key.
int32_t findRootId(KelCallContext *ctx, Column *c, char *msg) {
  KelColumnDef &def = c->def;
  if (c->row.hasRootId && !c->row.rootId.empty()) {
    def.rootId = c->row.rootId;
    // ROOT_ID holds the parsed name: a caller's key "kelroot_id" is not the system's column.
    def.systemRoot = def.rootId == KEL_ROOT_ID_COLUMN;
    return 0;
  }
  bool hasH = false;
  if (int code = triggerExists(ctx, def.schema, "H" + def.suffix, &hasH); code < 0)
    return kelFail(ctx, msg, nullptr, KELQ053E, "SELECT COUNT(*) FROM syscat.triggers");
  if (hasH) {
    def.rootId = KEL_ROOT_ID_COLUMN;
    def.systemRoot = true;
    return 0;
  }
  const char *stmt = "SELECT colname FROM syscat.columns WHERE tabschema = ? AND tabname = ? AND keyseq = 1";
  char name[KEL_TABLE_SIZE] = "";
  short ind = 0;
  sqlca ca{};
  int code = kelColFetch(ctx, stmt, {def.schema.c_str(), def.table.c_str()}, {{SQL_TYP_CSTR, sizeof name, name, &ind}},
                         &ca);
  if (code < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ053E, stmt);
    return kelMessageState(KELQ053E, nullptr);
  }
  if (code == 100 || ind != 0) {
    std::string where = def.schema + "." + def.table;
    return kelFail(ctx, msg, nullptr, KELQ066E, where.c_str());
  }
  def.rootId = rtrim(name);
  def.systemRoot = false;
  return 0;
}

// Drops the column's triggers; one already gone is traced and passed over.
int32_t dropTriggers(KelCallContext *ctx, const KelColumnDef &def, char *msg) {
  for (char kind : std::string("HJDTUVW")) {
    std::string name;
    if (!kelTriggerName(ctx, def, kind, &name)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    std::string sql = "DROP TRIGGER " + name;
    sqlca ca{};
    int code = kelColExec(ctx, sql, &ca);
    if (code == kNotFound) {
      KEL_TRACE(ctx, "trigger %c%s is not there\n", kind, def.suffix.c_str());
      continue;
    }
    if (code < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELQ067E, sql.c_str());
      return kelMessageState(KELQ067E, nullptr);
    }
  }
  return 0;
}

// Runs an UPDATE of the column's XML_USAGE row setting one column to value.
int setUsageColumn(KelCallContext *ctx, const KelColTarget &t, const char *sql, const char *value, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql);
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(sql, &raw, ca);
  std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, [](quarn_stmt *s) { quarn_free_stmt(s); });
  auto text = [](const std::string &s) {
    return quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(s.size() + 1), const_cast<char *>(s.c_str()), nullptr};
  };
  std::string v = value;
  quarn_hostvar in[4] = {text(v), text(t.schema), text(t.table), text(t.column)};
  if (code >= 0) code = quarn_execute(raw, 4, in, ca);
  return code;
}

int beginSavepoint(KelCallContext *ctx, KelCallSavepoint &sp, char *msg) {
  sqlca ca{};
  if (sp.begin(&ca) < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ067E, "set the savepoint of the call");
    return kelMessageState(KELQ067E, nullptr);
  }
  return 0;
}

}  // namespace

int32_t kelColOpenEnabled(KelCallContext *ctx, const char *tableName, const char *columnName, KelColTarget *target,
                          KelColumnDef *def, char *msg) {
  Column c;
  int32_t rc = openColumn(ctx, tableName, columnName, &c, msg);
  if (rc < 0) return rc;
  rc = findRootId(ctx, &c, msg);
  if (rc < 0) return rc;
  *target = std::move(c.target);
  *def = std::move(c.def);
  return 0;
}

// ---- Disable -----------------------------------------------------------------------------------

int32_t kelDisableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName, char *msg) {
  msg[0] = '\0';
  if (tableName == nullptr || columnName == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  KEL_TRACE(ctx, "entered. table:%s, column:%s\n", tableName, columnName);
  Column c;
  int32_t rc = openColumn(ctx, tableName, columnName, &c, msg, true);
  if (rc < 0) return rc;
  // A dropped table took its triggers and KELROOT_ID with it: the root id no longer matters.
  if (c.tableGone)
    c.def.systemRoot = false;
  else
    rc = findRootId(ctx, &c, msg);
  if (rc < 0) return rc;
  const KelColumnDef &def = c.def;
  kelSetMessage(ctx, msg, KELA034I, def.column.c_str());

  KelCallSavepoint savepoint(ctx);
  if ((rc = beginSavepoint(ctx, savepoint, msg)) < 0) return rc;
  sqlca ca{};
  if (c.row.hasView && !c.row.view.empty()) {
    // The view is stored as enablement created it: schema and name, delimited.
    char schema[KEL_SCHEMA_SIZE], name[KEL_TABLE_SIZE];
    std::string sql = "DROP VIEW ";
    if (kelParseQualTbl(ctx, c.row.view.c_str(), schema, sizeof schema, name, sizeof name) != 0 ||
        !kelAppendQuoted(ctx, &sql, schema[0] != '\0' ? schema : c.target.user) || !(sql += '.', true) ||
        !kelAppendQuoted(ctx, &sql, name))
      return savepoint.finish(kelFail(ctx, msg, nullptr, KELA025E, c.row.view.c_str()));
    int code = kelColExec(ctx, sql, &ca);
    if (code == kNotFound) {
      KEL_TRACE(ctx, "view %s is not there\n", c.row.view.c_str());
    } else if (code < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELA025E, c.row.view.c_str());
      return savepoint.finish(kelMessageState(KELA025E, nullptr));
    }
  }
  rc = dropTriggers(ctx, def, msg);
  if (rc < 0) return savepoint.finish(rc);

  if (def.systemRoot) {
    // KELROOT_ID stays in the table; its values are cleared unless another enabled column of
    // the table still links its side tables through them.
    sqlint32 others = 0;
    short ind = 0;
    int code = kelColFetch(ctx,
                           "SELECT COUNT(*) FROM QUARNXML.XML_USAGE WHERE table_schema = ? AND table_name = ? AND "
                           "col_name <> ? AND (ROOT_ID IS NULL OR ROOT_ID = 'KELROOT_ID')",
                           {c.target.schema.c_str(), c.target.table.c_str(), c.target.column.c_str()},
                           {{SQL_TYP_INTEGER, 4, &others, &ind}}, &ca);
    if (code < 0) {
      KEL_TRACE(ctx, " Lorvane cannot reset KELROOT_ID value.\n");
      kelSetDbMessage(ctx, msg, &ca, KELA031E);
      return savepoint.finish(kelMessageState(KELA031E, nullptr));
    }
    if (others == 0) {
      std::string table;
      kelAppendQuoted(ctx, &table, def.schema);
      table += '.';
      kelAppendQuoted(ctx, &table, def.table);
      sqlint32 count = 0;
      std::string sql = "SELECT count(KELROOT_ID) FROM " + table;
      code = kelColFetch(ctx, sql.c_str(), {}, {{SQL_TYP_INTEGER, 4, &count, &ind}}, &ca);
      if (code == kColumnNotFound) {
        // The table was made again without it: nothing links side tables to its rows.
        KEL_TRACE(ctx, "column KELROOT_ID is not there\n");
        code = 0;
        count = 0;
      }
      if (code >= 0 && count > 0) code = kelColExec(ctx, "UPDATE " + table + " SET KELROOT_ID=NULL", &ca);
      if (code < 0) {
        // Never report success with the side tables left behind.
        KEL_TRACE(ctx, " Lorvane cannot reset KELROOT_ID value.\n");
        kelSetDbMessage(ctx, msg, &ca, KELA031E);
        return savepoint.finish(kelMessageState(KELA031E, nullptr));
      }
    } else {
      KEL_TRACE(ctx, "KELROOT_ID is kept: %d other enabled column(s) use it\n", static_cast<int>(others));
    }
  }
  for (const KelSideTab &side : def.sides) {
    std::string name;
    kelAppendQuoted(ctx, &name, side.schema);
    name += '.';
    kelAppendQuoted(ctx, &name, side.name);
    std::string sql = "DROP TABLE " + name;
    int code = kelColExec(ctx, sql, &ca);
    if (code == kNotFound) {
      KEL_TRACE(ctx, "side table %s is not there\n", name.c_str());
      continue;
    }
    if (code < 0) {
      KEL_TRACE(ctx, "Failed in sql statement: %s\n", sql.c_str());
      std::string shown = side.schema + "." + side.name;
      kelSetDbMessage(ctx, msg, &ca, KELA026E, shown.c_str());
      return savepoint.finish(kelMessageState(KELA026E, nullptr));
    }
  }
  if (c.row.hasDtdId) {
    quarn_stmt *raw = nullptr;
    int code = quarn_prepare("UPDATE quarnxml.dtd_ref SET usage_count = usage_count -1 WHERE dtdid = ?", &raw, &ca);
    std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, [](quarn_stmt *s) { quarn_free_stmt(s); });
    quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(c.row.dtdId.size() + 1), const_cast<char *>(c.row.dtdId.c_str()),
                     nullptr};
    if (code >= 0) code = quarn_execute(raw, 1, &in, &ca);
    if (code < 0) {
      KEL_TRACE(ctx, "Error in decrementing usage_count, sqlcode=%d\n", code);
      kelSetDbMessage(ctx, msg, &ca, KELA032E);
      return savepoint.finish(kelMessageState(KELA032E, nullptr));
    }
  }
  {
    quarn_stmt *raw = nullptr;
    int code = quarn_prepare(
        "DELETE FROM QUARNXML.XML_USAGE WHERE table_schema = ? AND table_name = ? AND col_name = ?", &raw, &ca);
    std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, [](quarn_stmt *s) { quarn_free_stmt(s); });
    auto text = [](const std::string &s) {
      return quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(s.size() + 1), const_cast<char *>(s.c_str()), nullptr};
    };
    quarn_hostvar in[3] = {text(c.target.schema), text(c.target.table), text(c.target.column)};
    if (code >= 0) code = quarn_execute(raw, 3, in, &ca);
    if (code < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELA033E);
      return savepoint.finish(kelMessageState(KELA033E, nullptr));
    }
  }
  kelSetMessage(ctx, msg, KELA034I, def.column.c_str());
  KEL_TRACE(ctx, "exit, column %s disabled\n", def.column.c_str());
  return savepoint.finish(0);
}

// ---- Soft-disable and re-enable ----------------------------------------------------------------

int32_t kelSoftDisableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName,
                                 bool fullMessage, char *msg) {
  msg[0] = '\0';
  if (tableName == nullptr || columnName == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  if (charsOf(columnName) > static_cast<size_t>(KEL_MAX_XML_COLUMN_CHARS)) return kelFail(ctx, msg, nullptr, KELQ032E);
  KEL_TRACE(ctx, "entered. table:%s, column:%s\n", tableName, columnName);
  Column c;
  int32_t rc = openColumn(ctx, tableName, columnName, &c, msg);
  if (rc < 0) return rc;
  KelCallSavepoint savepoint(ctx);
  if ((rc = beginSavepoint(ctx, savepoint, msg)) < 0) return rc;
  sqlca ca{};
  std::string lock = "LOCK TABLE ";
  kelAppendQuoted(ctx, &lock, c.def.schema);
  lock += '.';
  kelAppendQuoted(ctx, &lock, c.def.table);
  lock += " IN EXCLUSIVE MODE";
  if (kelColExec(ctx, lock, &ca) < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ067E, lock.c_str());
    return savepoint.finish(kelMessageState(KELQ067E, nullptr));
  }
  if (!c.row.hasSideQual) {
    // A row of an older enablement: the schema of the side tables is the one the column's
    // triggers depend on. Only a side table the DAD names without a schema tells it: the schema
    // recorded qualifies exactly those, and one the DAD names would make re-enable take another
    // schema's table of the same name for a side table.
    char stmt[KEL_CATALOG_STMT_SIZE];
    kelBuildSQLstmt(ctx, stmt, KEL_SEL_BSCHEMA, KEL_VIEW_TRIGDEP, KEL_COND_TRIGDEP);
    std::string pattern = "%" + c.def.suffix + "%";
    for (const KelSideTab &side : c.def.sides) {
      if (side.qualified) continue;
      char schema[KEL_TABLE_SIZE] = "";
      short ind = 0;
      int code = kelColFetch(ctx, stmt, {c.def.schema.c_str(), pattern.c_str(), side.name.c_str()},
                             {{SQL_TYP_CSTR, sizeof schema, schema, &ind}}, &ca);
      if (code < 0) {
        kelSetDbMessage(ctx, msg, &ca, KELQ053E, stmt);
        return savepoint.finish(kelMessageState(KELQ053E, nullptr));
      }
      if (code == 100 || ind != 0) continue;
      std::string found = rtrim(schema);
      if (setUsageColumn(ctx, c.target,
                         "UPDATE quarnxml.xml_usage SET SIDE_TAB_QUAL = ? where table_schema = ? and table_name = ? "
                         "and col_name = ? ",
                         found.c_str(), &ca) < 0) {
        kelSetDbMessage(ctx, msg, &ca, KELQ052E);
        return savepoint.finish(kelMessageState(KELQ052E, nullptr));
      }
      break;
    }
  }
  // The root id is worked out while the H trigger that tells it is still there.
  const bool storeRoot = !c.row.hasRootId || c.row.rootId.empty();
  rc = findRootId(ctx, &c, msg);
  if (rc < 0) return savepoint.finish(rc);
  rc = dropTriggers(ctx, c.def, msg);
  if (rc < 0) return savepoint.finish(rc);
  if (storeRoot && setUsageColumn(ctx, c.target,
                                  "UPDATE quarnxml.xml_usage SET root_id = ? where table_schema = ? and table_name = ? "
                                  "and col_name = ? ",
                                  c.def.rootId.c_str(), &ca) < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ052E);
    return savepoint.finish(kelMessageState(KELQ052E, nullptr));
  }
  if (fullMessage) kelSetMessage(ctx, msg, KELA034I, c.def.column.c_str());
  KEL_TRACE(ctx, "exit, column %s soft-disabled\n", c.def.column.c_str());
  return savepoint.finish(0);
}

int32_t kelReEnableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName, bool fullMessage,
                              char *msg) {
  msg[0] = '\0';
  if (tableName == nullptr || columnName == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  if (charsOf(columnName) > static_cast<size_t>(KEL_MAX_XML_COLUMN_CHARS)) return kelFail(ctx, msg, nullptr, KELQ032E);
  KEL_TRACE(ctx, "entered. table:%s, column:%s\n", tableName, columnName);
  Column c;
  int32_t rc = openColumn(ctx, tableName, columnName, &c, msg);
  if (rc < 0) return rc;
  if (!c.row.hasRootId || c.row.rootId.empty())
    return kelFail(ctx, msg, nullptr, KELQ067E, "Select root_id from quarnxml.xml_usage");
  c.def.rootId = c.row.rootId;
  c.def.systemRoot = c.def.rootId == KEL_ROOT_ID_COLUMN;
  // An active column still has its triggers: re-enabling it would only fail on the first.
  bool active = false;
  if (triggerExists(ctx, c.def.schema, "J" + c.def.suffix, &active) < 0)
    return kelFail(ctx, msg, nullptr, KELQ053E, "SELECT COUNT(*) FROM syscat.triggers");
  if (active) return kelFail(ctx, msg, nullptr, KELA048E);

  KelCallSavepoint savepoint(ctx);
  if ((rc = beginSavepoint(ctx, savepoint, msg)) < 0) return rc;
  // Rows may have changed while the triggers were absent: the side tables are made again
  // from the user table before the triggers come back.
  rc = kelColFillSideTables(ctx, c.def, true, msg);
  if (rc < 0) return savepoint.finish(rc);
  rc = kelColCreateTriggers(ctx, c.def, msg);
  if (rc < 0) return savepoint.finish(rc);
  sqlca ca{};
  if (setUsageColumn(ctx, c.target,
                     "UPDATE quarnxml.xml_usage SET version= ? where table_schema = ? and table_name = ? and "
                     "col_name = ? ",
                     "5.0", &ca) < 0) {
    KEL_TRACE(ctx, "Lorvane cannot update xml_usage table. SQLCODE:%d\n", ca.sqlcode);
    kelSetDbMessage(ctx, msg, &ca, KELQ052E);
    return savepoint.finish(kelMessageState(KELQ052E, nullptr));
  }
  if (fullMessage) kelSetMessage(ctx, msg, KELQ065I);
  KEL_TRACE(ctx, "exit, column %s re-enabled\n", c.def.column.c_str());
  return savepoint.finish(0);
}

// ---- The procedures ----------------------------------------------------------------------------

namespace {

constexpr KelParamSpec in(const char *name) { return {name, KelParamKind::String, KelParamMode::In, false, 0}; }
constexpr KelParamSpec kRc = {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0};
constexpr KelParamSpec kMsg = {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER};

constexpr KelParamSpec kWithDb[] = {in("dbName"), in("tableName"), in("columnName"), kRc, kMsg};
constexpr KelParamSpec kWithoutDb[] = {in("tableName"), in("columnName"), kRc, kMsg};
constexpr KelProcLayout kWithDbLayout[] = {{kWithDb, 5}};
constexpr KelProcLayout kWithoutDbLayout[] = {{kWithoutDb, 4}};

const char *value(const KelArg &arg) { return arg.isNull ? nullptr : arg.data; }

int32_t disableWithDb(KelProcCall &call) {
  if (call.args[0].isNull) return kelFail(call.ctx, call.msg, nullptr, KELG004E);
  // Another database's name: the call disabled the column here and said so.
  if (!kelNamesThisDatabase(call.ctx, call.args[0].data))
    return kelFail(call.ctx, call.msg, nullptr, KELA003E, call.args[0].data);
  return kelDisableColumnMain(call.ctx, value(call.args[1]), value(call.args[2]), call.msg);
}
int32_t disableWithoutDb(KelProcCall &call) {
  return kelDisableColumnMain(call.ctx, value(call.args[0]), value(call.args[1]), call.msg);
}
int32_t softDisableDari(KelProcCall &call) {
  return kelSoftDisableColumnMain(call.ctx, value(call.args[0]), value(call.args[1]), true, call.msg);
}
int32_t softDisableStp(KelProcCall &call) {
  return kelSoftDisableColumnMain(call.ctx, value(call.args[0]), value(call.args[1]), false, call.msg);
}
int32_t reEnableDari(KelProcCall &call) {
  return kelReEnableColumnMain(call.ctx, value(call.args[0]), value(call.args[1]), true, call.msg);
}
int32_t reEnableStp(KelProcCall &call) {
  return kelReEnableColumnMain(call.ctx, value(call.args[0]), value(call.args[1]), false, call.msg);
}

int sqlEntry(const KelProcSpec &entry, char *tableName, char *columnName, sqlint32 *returnCode, char *returnMsg,
             short *tableNameInd, short *columnNameInd, short *returnCodeInd, short *returnMsgInd, char *sqlstate,
             char *procName, char *specName, char *diagMsg) {
  void *values[] = {tableName, columnName, returnCode, returnMsg};
  short *inds[] = {tableNameInd, columnNameInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(entry, values, inds, sqlstate, procName, specName, diagMsg);
}

}  // namespace

const KelProcSpec kelDisableColumnSpec = {"kelDisableColumn", kWithDbLayout, 1, disableWithDb};
const KelProcSpec kelDisableColumnStpSpec = {"kelDisableColumn_STP", kWithoutDbLayout, 1, disableWithoutDb};
const KelProcSpec kelDisableColumn0StpSpec = {"kelDisableColumn0_STP", kWithDbLayout, 1, disableWithDb};
const KelProcSpec kelSoftDisableColumnSpec = {"kelSoftDisableColumn", kWithoutDbLayout, 1, softDisableDari};
const KelProcSpec kelSoftDisableColumnStpSpec = {"kelSoftDisableColumn_STP", kWithoutDbLayout, 1, softDisableStp};
const KelProcSpec kelReEnableColumnSpec = {"kelReEnableColumn", kWithoutDbLayout, 1, reEnableDari};
const KelProcSpec kelReEnableColumnStpSpec = {"kelReEnableColumn_STP", kWithoutDbLayout, 1, reEnableStp};

extern "C" SQL_API_EXPORT int kelDisableColumn(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelDisableColumnSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelSoftDisableColumn(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelSoftDisableColumnSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelReEnableColumn(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelReEnableColumnSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelDisableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode,
                                                   char *returnMsg, short *tableNameInd, short *columnNameInd,
                                                   short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                   char *procName, char *specName, char *diagMsg) {
  return sqlEntry(kelDisableColumnStpSpec, tableName, columnName, returnCode, returnMsg, tableNameInd, columnNameInd,
                  returnCodeInd, returnMsgInd, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelDisableColumn0_STP(char *dbName, char *tableName, char *columnName,
                                                    sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                                                    short *tableNameInd, short *columnNameInd, short *returnCodeInd,
                                                    short *returnMsgInd, char *sqlstate, char *procName,
                                                    char *specName, char *diagMsg) {
  void *values[] = {dbName, tableName, columnName, returnCode, returnMsg};
  short *inds[] = {dbNameInd, tableNameInd, columnNameInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelDisableColumn0StpSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelSoftDisableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode,
                                                       char *returnMsg, short *tableNameInd, short *columnNameInd,
                                                       short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                       char *procName, char *specName, char *diagMsg) {
  return sqlEntry(kelSoftDisableColumnStpSpec, tableName, columnName, returnCode, returnMsg, tableNameInd,
                  columnNameInd, returnCodeInd, returnMsgInd, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelReEnableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode,
                                                    char *returnMsg, short *tableNameInd, short *columnNameInd,
                                                    short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                    char *procName, char *specName, char *diagMsg) {
  return sqlEntry(kelReEnableColumnStpSpec, tableName, columnName, returnCode, returnMsg, tableNameInd,
                  columnNameInd, returnCodeInd, returnMsgInd, sqlstate, procName, specName, diagMsg);
}
