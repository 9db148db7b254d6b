/*
 * kelenable.cpp - database enablement and disablement: the statement lists (made from the
 * registration and catalogue-table tables), the table-space clause, the double-byte test, the
 * removal of the two distinct types, the workers and the procedures' exported entries.
 */
#include "kelenable.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "kelcattab.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsavepoint.h"
#include "kelsql.h"
#include "keltrace.h"
#include "quarnapp.h"
#include "sqlcodes.h"

namespace {

constexpr const char kUnit[] = "kelenbl";

// Bytes of a database name in the messages: 8 characters and a terminator.
constexpr size_t kDbNameSize = 9;

// ---- Statement lists -------------------------------------------------------------------------

std::vector<KelEnableStmt> buildEnableList() {
  std::vector<KelEnableStmt> out;
  const auto &functions = kelFunctionRegistrations();
  size_t f = 0;
  for (; f < functions.size() && functions[f].number < 77; ++f)
    out.push_back({functions[f].number, functions[f].text, KEL_STMT_PLAIN});
  int n = 0;
  const KelCatTabStmt *tables = kelCatTabCreateStatements(&n);
  for (int i = 0; i < n; ++i) {
    KelEnableStmtKind kind = KEL_STMT_PLAIN;
    if (tables[i].kind == KEL_CATTAB_CREATE_TABLE)
      kind = tables[i].table == KEL_CATTAB_DTD_REF ? KEL_STMT_DTD_REF : KEL_STMT_XML_USAGE;
    out.push_back({77 + i, tables[i].sql, kind});
  }
  for (; f < functions.size() && functions[f].number < 125; ++f)
    out.push_back({functions[f].number, functions[f].text, KEL_STMT_PLAIN});
  const auto &procedures = kelProcedureRegistrations();
  for (const KelNumberedStatement &p : procedures)
    if (p.number < KEL_FIRST_APPENDED_PROCEDURE) out.push_back({p.number, p.text, KEL_STMT_PLAIN});
  for (; f < functions.size(); ++f) out.push_back({functions[f].number, functions[f].text, KEL_STMT_PLAIN});
  for (const KelNumberedStatement &p : procedures)
    if (p.number >= KEL_FIRST_APPENDED_PROCEDURE) out.push_back({p.number, p.text, KEL_STMT_PLAIN});
  return out;
}

// The removal statement of registration number in list.
const std::string &dropOf(const std::vector<KelNumberedStatement> &list, int number) {
  for (const KelNumberedStatement &s : list)
    if (s.number == number) return s.drop;
  static const std::string none;
  return none;
}

// Disabling removes in this order: the validate and update functions by specific name, the
// extraction functions, the content and storage functions, seqno, the catalogue tables with
// their triggers, the procedures (the appended ones after the first fifteen), the extraction
// functions with a DTD, VARCHARTOVARCHAR, the validate functions with a DTD, the validateschema
// functions, explainPath, the validation report functions, and last the type XMLFile.
// XMLVARCHAR and XMLCLOB follow in kelDropSchema.
std::vector<std::string> buildDisableList() {
  const auto &functions = kelFunctionRegistrations();
  const auto &procedures = kelProcedureRegistrations();
  std::vector<std::string> out;
  auto range = [&](const std::vector<KelNumberedStatement> &list, int first, int last) {
    for (int i = first; i <= last; ++i) out.push_back(dropOf(list, i));
  };
  range(functions, 93, 95);
  range(functions, 90, 92);
  range(functions, 17, 76);
  range(functions, 4, 16);
  range(functions, 97, 97);
  int n = 0;
  const KelCatTabStmt *drops = kelCatTabDropStatements(&n);
  for (int i = 0; i < n; ++i) out.push_back(drops[i].sql);
  range(procedures, 125, 139);
  for (const KelNumberedStatement &p : procedures)
    if (p.number >= KEL_FIRST_APPENDED_PROCEDURE) out.push_back(p.drop);
  range(functions, 98, 121);
  range(functions, 96, 96);
  range(functions, 122, 124);
  range(functions, 140, 142);
  range(functions, 143, 145);
  range(functions, 146, 154);
  range(functions, 3, 3);
  return out;
}

// The double-byte functions, then XMLDBCLOBFromFile and Content, then the type.
std::vector<std::string> buildDisableDoubleByteList() {
  const auto &list = kelDoubleByteRegistrations();
  std::vector<std::string> out;
  for (int i = 3; i <= 16; ++i) out.push_back(dropOf(list, i));
  out.push_back(dropOf(list, 1));
  out.push_back(dropOf(list, 2));
  out.push_back(dropOf(list, 0));
  return out;
}

// ---- Catalogue queries -----------------------------------------------------------------------

struct StmtFree {
  void operator()(quarn_stmt *stmt) const { quarn_free_stmt(stmt); }
};

// Runs the query sql with the string input and fetches the integer of its first row into
// *value.  Returns the SQLCODE (100: no row); *ca tells the failure.
int queryInteger(KelCallContext *ctx, const char *sql, const char *input, sqlint32 *value, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql);
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(sql, &raw, ca);
  std::unique_ptr<quarn_stmt, StmtFree> stmt(raw);
  quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(input) + 1), const_cast<char *>(input), nullptr};
  short ind = 0;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, value, &ind};
  if (code >= 0) code = quarn_open(raw, 1, &in, ca);
  if (code >= 0) {
    code = quarn_fetch(raw, 1, &out, ca);
    sqlca closeCa{};
    quarn_close(raw, &closeCa);
  }
  if (code == 0 && ind < 0) *value = 0;
  return code;
}

// Runs sql immediately; returns the SQLCODE.
int execute(KelCallContext *ctx, const std::string &sql, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql.c_str());
  return quarn_execute_immediate(sql.c_str(), ca);
}

bool distinctTypeExists(KelCallContext *ctx, const char *name, sqlca *ca, int *code) {
  sqlint32 count = 0;
  *code = queryInteger(ctx, "SELECT COUNT(*) FROM SYSCAT.DATATYPES WHERE TYPESCHEMA = 'QUARNXML' AND TYPENAME = ?",
                       name, &count, ca);
  return *code == 0 && count > 0;
}

// The first 8 characters of dbName (bytes: database names are plain ASCII).
void copyDbName(const char *dbName, char (&out)[kDbNameSize]) {
  std::strncpy(out, dbName, kDbNameSize - 1);
  out[kDbNameSize - 1] = '\0';
}

bool given(const char *tableSpace, short ind) { return ind == 0 && tableSpace != nullptr && tableSpace[0] != '\0'; }

// Runs a disablement list; a statement with a nonzero SQLCODE stops it with KELA007E, except
// an object that is gone already (-204), which is passed over so that a database left partly
// enabled can still be cleaned up.
int32_t runDropList(KelCallContext *ctx, const std::vector<std::string> &list, const char *dbName, char *msg) {
  for (size_t i = 0; i < list.size(); ++i) {
    KEL_TRACE(ctx, "Disable Database Stmt %d\n", static_cast<int>(i));
    sqlca ca{};
    int code = execute(ctx, list[i], &ca);
    if (code == SQL_RC_E204) {
      KEL_TRACE(ctx, "Disable Database Stmt %d: the object is gone already, passed over\n", static_cast<int>(i));
      continue;
    }
    if (code != 0) {
      KEL_TRACE(ctx, "Disable Database Stmt %d failed.\n", static_cast<int>(i));
      KEL_TRACE(ctx, "%s\n", list[i].c_str());
      KEL_TRACE(ctx, "SQLCODE = %d\n", code);
      kelSetDbMessage(ctx, msg, &ca, KELA007E, dbName);
      return code;
    }
  }
  return 0;
}

/*
 * The one identifier a table-space argument names, parsed and checked as the table-space
 * clause takes it.  Returns 0 with *name set; -1 with *rc and msg (KELA037E too long, KELQ033E
 * not one identifier).
 */
int parseTableSpace(KelCallContext *ctx, const char *tableSpace, std::string *name, int32_t *rc, char *msg) {
  char schema[KEL_SCHEMA_SIZE] = "";
  char parsedName[KEL_TABLE_SIZE] = "";
  int parsed = kelParseQualTbl(ctx, tableSpace, schema, sizeof schema, parsedName, sizeof parsedName);
  if (parsed == KEL_SQL_PART_TOO_LONG ||
      (parsed == 0 && std::strlen(parsedName) > static_cast<size_t>(KEL_MAX_TBSPACE_NAME))) {
    *rc = kelFail(ctx, msg, nullptr, KELA037E);
    return -1;
  }
  if (parsed < 0 || schema[0] != '\0') {
    *rc = kelFail(ctx, msg, nullptr, KELQ033E, tableSpace);
    return -1;
  }
  *name = parsedName;
  return 0;
}

/*
 * A table space named by the caller must exist before anything is created: the answer is the
 * one CREATE TABLE ... IN would give (-204), with KELA004E.  Returns 0, or the return code.
 */
int32_t checkTableSpace(KelCallContext *ctx, const char *tableSpace, short ind, const char *db, char *msg) {
  if (!given(tableSpace, ind)) return 0;
  std::string name;
  int32_t rc = 0;
  if (parseTableSpace(ctx, tableSpace, &name, &rc, msg) < 0) return rc;
  sqlca ca{};
  sqlint32 count = 0;
  int code = queryInteger(ctx, "SELECT COUNT(*) FROM SYSCAT.TABLESPACES WHERE TBSPACE = ?", name.c_str(), &count, &ca);
  if (code == 0 && count > 0) return 0;
  if (code >= 0) {
    KEL_TRACE(ctx, "table space %s does not exist\n", name.c_str());
    ca = sqlca{};
    std::memcpy(ca.sqlcaid, "SQLCA   ", 8);
    ca.sqlcabc = sizeof ca;
    ca.sqlcode = SQL_RC_E204;
    std::memcpy(ca.sqlstate, "42704", 5);
    size_t n = std::min(name.size(), sizeof ca.sqlerrmc);
    std::memcpy(ca.sqlerrmc, name.data(), n);
    ca.sqlerrml = static_cast<short>(n);
    code = SQL_RC_E204;
  }
  kelSetDbMessage(ctx, msg, &ca, KELA004E, db);
  return code;
}

// True when objects of an enablement are left in the schema although XML_USAGE is gone: a
// database an interrupted or failed enablement of an older version left partly enabled.
bool partlyEnabled(KelCallContext *ctx) {
  sqlca ca{};
  sqlint32 count = 0;
  int code = queryInteger(ctx,
                          "SELECT (SELECT COUNT(*) FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = ?)"
                          " + (SELECT COUNT(*) FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML')"
                          " + (SELECT COUNT(*) FROM SYSCAT.DATATYPES WHERE TYPESCHEMA = 'QUARNXML'"
                          " AND TYPENAME = 'XMLFILE') FROM SYSCAT.TABLES FETCH FIRST 1 ROWS ONLY",
                          "QUARNXML", &count, &ca);
  return code == 0 && count > 0;
}

/*
 * Types that disablement drops must not be in use by a column: the drop would fail after the
 * functions and tables were gone.  When one is, its DROP is run alone (it fails with the
 * engine's own -478 and changes nothing) and reported with KELA007E.  Returns 0 or the code.
 */
int32_t checkTypesNotInUse(KelCallContext *ctx, const char *db, char *msg) {
  struct Candidate {
    const char *name;
    sqlint32 enabledLength;  // dropped only with this length; 0: always
  };
  static constexpr Candidate kTypes[] = {{"XMLFILE", 0}, {"XMLVARCHAR", 3000}, {"XMLCLOB", 2147483647}};
  for (const Candidate &t : kTypes) {
    sqlca ca{};
    if (t.enabledLength != 0) {
      sqlint32 length = 0;
      int code = queryInteger(ctx, "SELECT LENGTH FROM SYSCAT.DATATYPES WHERE TYPESCHEMA = 'QUARNXML' AND TYPENAME = ?",
                              t.name, &length, &ca);
      if (code != 0 || length != t.enabledLength) continue;
    }
    sqlint32 used = 0;
    int code = queryInteger(ctx, "SELECT COUNT(*) FROM SYSCAT.COLUMNS WHERE TYPESCHEMA = 'QUARNXML' AND TYPENAME = ?"
                            " AND TABSCHEMA <> 'QUARNXML'",
                            t.name, &used, &ca);
    if (code != 0 || used == 0) continue;
    KEL_TRACE(ctx, "the type %s is used by %d columns\n", t.name, static_cast<int>(used));
    code = execute(ctx, std::string("DROP DISTINCT TYPE quarnxml.") + t.name, &ca);
    if (code < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELA007E, db);
      return code;
    }
  }
  return 0;
}

}  // namespace

const std::vector<KelEnableStmt> &kelEnableList() {
  static const std::vector<KelEnableStmt> list = buildEnableList();
  return list;
}

const std::vector<KelEnableStmt> &kelEnableDoubleByteList() {
  static const std::vector<KelEnableStmt> list = [] {
    std::vector<KelEnableStmt> out;
    for (const KelNumberedStatement &s : kelDoubleByteRegistrations()) out.push_back({s.number, s.text, KEL_STMT_PLAIN});
    return out;
  }();
  return list;
}

const std::vector<std::string> &kelDisableList() {
  static const std::vector<std::string> list = buildDisableList();
  return list;
}

const std::vector<std::string> &kelDisableDoubleByteList() {
  static const std::vector<std::string> list = buildDisableDoubleByteList();
  return list;
}

int appendTableSpaceClause(KelCallContext *ctx, std::string *out, const char *stmt, int kind,
                           const char *tableSpace, short tableSpaceInd, int32_t *rc, char *msg,
                           sqlca *ca) {
  KEL_TRACE(ctx, "Entered SQL stmt = %s index = %d\n", stmt != nullptr ? stmt : "", kind);
  if (out == nullptr || stmt == nullptr || (kind != KEL_TBSPACE_DTD_REF && kind != KEL_TBSPACE_XML_USAGE)) {
    *rc = KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    return -1;
  }
  try {
    if (given(tableSpace, tableSpaceInd)) {
      // The caller's name is one identifier, quoted into the statement.
      std::string name;
      if (parseTableSpace(ctx, tableSpace, &name, rc, msg) < 0) return -1;
      char quoted[2 * KEL_TABLE_SIZE + 3];
      char *pos = quoted;
      kelQuoteIdentifier(ctx, &pos, quoted + sizeof quoted, name.c_str());
      *out = std::string(stmt) + " IN " + quoted;
    } else {
      const char *fixed = kind == KEL_TBSPACE_DTD_REF ? "KELDTDRF" : "KELXMLUS";
      KEL_TRACE(ctx, "fixedTblSpace = %s\n", fixed);
      sqlca local{};
      sqlint32 count = 0;
      int code = queryInteger(ctx, "SELECT COUNT(*) FROM SYSCAT.TABLESPACES WHERE TBSPACE = ?", fixed, &count,
                              &local);
      KEL_TRACE(ctx, "sqlca.sqlcode = %d fixedTblSpcExists = %d\n", code, count);
      if (ca != nullptr) *ca = local;
      if (code < 0) {
        *rc = code;
        return -1;
      }
      *out = stmt;
      if (count > 0) *out += std::string(" IN ") + fixed;
    }
  } catch (const std::bad_alloc &) {
    *rc = kelFail(ctx, msg, nullptr, KELG002E);
    return -1;
  }
  KEL_TRACE(ctx, "Exiting SQL stmt = %s \n", out->c_str());
  return 0;
}

int kelDropSchema(KelCallContext *ctx, sqlca *ca) {
  struct Type {
    const char *name;
    sqlint32 enabledLength;  // the length enablement gives the type
    const char *dropTrace;
    const char *keptTrace;
    const char *queryFailedTrace;
    const char *dropFailedTrace;
  };
  static constexpr Type kTypes[] = {
      {"XMLVARCHAR", 3000, "Disable Database Stmt DROP XMLVARCHAR", "Precreated UDT XMLVARCHAR not dropped",
       "Query failed for length of XMLVARCHAR", "Disable DB - DROP XMLVARCHAR failed."},
      {"XMLCLOB", 2147483647, "Disable Database Stmt DROP XMLCLOB", "Precreated UDT XMLCLOB not dropped",
       "Query failed for length of XMLCLOB", "Disable DB - DROP XMLCLOB failed."},
  };
  for (const Type &t : kTypes) {
    sqlint32 length = 0;
    sqlca local{};
    int code = queryInteger(ctx, "SELECT LENGTH FROM SYSCAT.DATATYPES WHERE TYPESCHEMA = 'QUARNXML' AND TYPENAME = ?",
                            t.name, &length, &local);
    if (code < 0) {
      KEL_TRACE(ctx, "%s\n", t.queryFailedTrace);
      if (ca != nullptr) *ca = local;
      return -1;
    }
    if (code == SQL_RC_W100) {
      KEL_TRACE(ctx, "UDT %s not found\n", t.name);
      continue;
    }
    if (length != t.enabledLength) {
      KEL_TRACE(ctx, "%s\n", t.keptTrace);
      continue;
    }
    KEL_TRACE(ctx, "%s\n", t.dropTrace);
    if (execute(ctx, std::string("DROP DISTINCT TYPE quarnxml.") + t.name, &local) < 0) {
      KEL_TRACE(ctx, "%s\n", t.dropFailedTrace);
      if (ca != nullptr) *ca = local;
      return -1;
    }
  }
  return 0;
}

int kelDoubleByteTest(KelCallContext *ctx, int *supported, sqlca *ca) {
  *supported = 0;
  sqlca local{};
  const char *create = "CREATE DISTINCT TYPE quarnxml.KELDBCSTEST AS DBCLOB(1K)";
  KEL_TRACE(ctx, "%s\n", create);
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(create, &raw, &local);
  std::unique_ptr<quarn_stmt, StmtFree> stmt(raw);
  if (code >= 0) code = quarn_execute(raw, 0, nullptr, &local);
  if (ca != nullptr) *ca = local;
  KEL_TRACE(ctx, "double-byte test SQLCODE = %d\n", code);
  if (code == SQL_RC_E1216) return 0;
  *supported = 1;
  if (code != 0) return 0;
  int dropCode = execute(ctx, "DROP DISTINCT TYPE quarnxml.KELDBCSTEST", &local);
  if (dropCode < 0) {
    if (ca != nullptr) *ca = local;
    return dropCode;
  }
  return 0;
}

int32_t kelEnableDB_STP_Main(KelCallContext *ctx, const char *dbName, const char *tableSpace,
                             short tableSpaceInd, const char *tableSpace2, short tableSpace2Ind,
                             char *msg) {
  if (dbName == nullptr) {
    return kelFail(ctx, msg, nullptr, KELG004E);
  }
  char db[kDbNameSize];
  copyDbName(dbName, db);
  KEL_TRACE(ctx, "entered. dbname:%s\n", db);
  KEL_TRACE(ctx, "entered. tbspacname:%s\n", given(tableSpace, tableSpaceInd) ? tableSpace : "");
  KEL_TRACE(ctx, "entered. tbspacname2:%s\n", given(tableSpace2, tableSpace2Ind) ? tableSpace2 : "");
  kelSetMessage(ctx, msg, KELA006I, db);
  if (!kelNamesThisDatabase(ctx, dbName)) {
    KEL_TRACE(ctx, "%s is not the database of the connection\n", db);
    return kelFail(ctx, msg, nullptr, KELA004E, db);
  }

  int enabled = 0;
  int rc = kelIsDatabaseEnabled(ctx, &enabled, msg);
  if (rc < 0) return rc;
  if (enabled) {
    return kelFail(ctx, msg, nullptr, KELA070W);
  }
  // What can be checked before the first statement is checked first: the table spaces named.
  rc = checkTableSpace(ctx, tableSpace, tableSpaceInd, db, msg);
  if (rc == 0) rc = checkTableSpace(ctx, tableSpace2, tableSpace2Ind, db, msg);
  if (rc != 0) return rc;

  // All or nothing: a statement that fails undoes every statement of the call before it, so a
  // database is never left partly enabled.
  KelCallSavepoint savepoint(ctx);
  sqlca spCa{};
  if (int code = savepoint.begin(&spCa); code < 0) {
    kelSetDbMessage(ctx, msg, &spCa, KELA004E, db);
    return code;
  }
  for (const KelEnableStmt &s : kelEnableList()) {
    KEL_TRACE(ctx, "Enable Database Stmt I  %d\n", s.number);
    std::string withSpace;
    const std::string *text = &s.text;
    sqlca ca{};
    if (s.kind != KEL_STMT_PLAIN) {
      // DTD_REF takes the first table space; XML_USAGE the second when given, else the first.
      bool second = s.kind == KEL_STMT_XML_USAGE && given(tableSpace2, tableSpace2Ind);
      int32_t clauseRc = 0;
      if (appendTableSpaceClause(ctx, &withSpace, s.text.c_str(),
                                 s.kind == KEL_STMT_DTD_REF ? KEL_TBSPACE_DTD_REF : KEL_TBSPACE_XML_USAGE,
                                 second ? tableSpace2 : tableSpace, second ? tableSpace2Ind : tableSpaceInd,
                                 &clauseRc, msg, &ca) < 0) {
        if (ca.sqlcode < 0) {
          KEL_TRACE(ctx, "Enable Database Stmt I  %d failed.\n", s.number);
          KEL_TRACE(ctx, "SQLCODE = %d\n", ca.sqlcode);
          kelSetDbMessage(ctx, msg, &ca, KELA004E, db);
        }
        savepoint.finish(-1);
        return clauseRc;
      }
      text = &withSpace;
      ca = sqlca{};
    }
    int code = execute(ctx, *text, &ca);
    if (code >= 0) continue;
    if (code == SQL_RC_E601 && (s.number == 1 || s.number == 2)) {
      KEL_TRACE(ctx, "Enable Database Stmt I  %d: the type exists already, kept\n", s.number);
      continue;
    }
    KEL_TRACE(ctx, "Enable Database Stmt I  %d failed.\n", s.number);
    KEL_TRACE(ctx, "%s\n", text->c_str());
    KEL_TRACE(ctx, "SQLCODE = %d\n", code);
    kelSetDbMessage(ctx, msg, &ca, KELA004E, db);
    return savepoint.finish(code);
  }

  // The double-byte objects name entries that quarnxmlfn does not have; they are not
  // registered, whatever the database supports (docs/enablement.md).
  int supported = 0;
  sqlca ca{};
  int code = kelDoubleByteTest(ctx, &supported, &ca);
  if (code < 0) {
    KEL_TRACE(ctx, "Enable Database Stmt II %d failed.\n", 0);
    KEL_TRACE(ctx, "SQLCODE = %d\n", code);
    kelSetDbMessage(ctx, msg, &ca, KELA004E, db);
    return savepoint.finish(code);
  }
  KEL_TRACE(ctx, "double-byte large objects %s; double-byte functions not registered\n",
            supported ? "supported" : "not supported");
  return savepoint.finish(0);
}

int32_t kelDisableDB_Main(KelCallContext *ctx, const char *dbName, char *msg) {
  if (dbName == nullptr) {
    return kelFail(ctx, msg, nullptr, KELG004E);
  }
  char db[kDbNameSize];
  copyDbName(dbName, db);
  KEL_TRACE(ctx, "entered. dbname:%s\n", db);
  kelSetMessage(ctx, msg, KELA036I, db);
  if (!kelNamesThisDatabase(ctx, dbName)) {
    KEL_TRACE(ctx, "%s is not the database of the connection\n", db);
    return kelFail(ctx, msg, nullptr, KELA007E, db);
  }

  int enabled = 0;
  int rc = kelIsDatabaseEnabled(ctx, &enabled, msg);
  if (rc < 0) return rc;
  if (!enabled) {
    if (!partlyEnabled(ctx)) {
      return kelFail(ctx, msg, nullptr, KELA071W);
    }
    KEL_TRACE(ctx, "XML_USAGE is gone but objects of an enablement are left: they are removed\n");
  }

  // All or nothing, as enablement: any statement that stops the lists undoes the call's work.
  KelCallSavepoint savepoint(ctx);
  sqlca ca{};
  if (int code = savepoint.begin(&ca); code < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELA007E, db);
    return code;
  }
  auto stop = [&](int32_t code) {
    savepoint.finish(-1);
    return code;
  };
  rc = checkTypesNotInUse(ctx, db, msg);
  if (rc != 0) return stop(rc);
  rc = runDropList(ctx, kelDisableList(), db, msg);
  if (rc != 0) return stop(rc);

  // The double-byte objects are dropped where an installation that registers them left them.
  int supported = 0;
  int code = kelDoubleByteTest(ctx, &supported, &ca);
  if (code == 0 && supported && distinctTypeExists(ctx, "XMLDBCLOB", &ca, &code)) {
    rc = runDropList(ctx, kelDisableDoubleByteList(), db, msg);
    if (rc != 0) return stop(rc);
  }
  if (code < 0) {
    KEL_TRACE(ctx, "SQLCODE = %d\n", code);
    kelSetDbMessage(ctx, msg, &ca, KELA007E, db);
    return stop(code);
  }

  ca = sqlca{};
  if (kelDropSchema(ctx, &ca) < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELA007E, db);
    return stop(ca.sqlcode);
  }
  return savepoint.finish(0);
}

// ---- The procedures --------------------------------------------------------------------------

namespace {

// dbName is checked by the workers (KELG004E), not by the frame.
constexpr KelParamSpec kEnableShort[] = {
    {"dbName", KelParamKind::String, KelParamMode::In, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelParamSpec kEnableLong[] = {
    {"dbName", KelParamKind::String, KelParamMode::In, false, 0},
    {"tbspacname", KelParamKind::String, KelParamMode::In, false, 0},
    {"tbspacname2", KelParamKind::String, KelParamMode::In, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelProcLayout kEnableLayouts[] = {{kEnableShort, 3}, {kEnableLong, 5}};
constexpr KelProcLayout kEnableLongLayout[] = {{kEnableLong, 5}};

const char *valueOf(const KelArg &arg) { return arg.isNull ? nullptr : arg.data; }
short indicatorOf(const KelArg &arg) { return arg.isNull ? -1 : 0; }

int32_t enableWorker(KelProcCall &call) {
  if (call.nArgs == 5)
    return kelEnableDB_STP_Main(call.ctx, valueOf(call.args[0]), valueOf(call.args[1]),
                                indicatorOf(call.args[1]), valueOf(call.args[2]),
                                indicatorOf(call.args[2]), call.msg);
  return kelEnableDB_STP_Main(call.ctx, valueOf(call.args[0]), nullptr, -1, nullptr, -1, call.msg);
}

int32_t disableWorker(KelProcCall &call) { return kelDisableDB_Main(call.ctx, valueOf(call.args[0]), call.msg); }

const KelProcSpec kEnableLongSpec = {"kelEnableDB", kEnableLongLayout, 1, enableWorker};
constexpr KelProcLayout kDisableLayouts[] = {{kEnableShort, 3}};

}  // namespace

const KelProcSpec kelEnableDBSpec = {"kelEnableDB", kEnableLayouts, 2, enableWorker};
const KelProcSpec kelDisableDBSpec = {"kelDisableDB", kDisableLayouts, 1, disableWorker};

int kelEnableDB_STP(char *dbName, sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                    short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                    char *specName, char *diagMsg) {
  void *values[] = {dbName, returnCode, returnMsg};
  short *inds[] = {dbNameInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelEnableDBSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

int kelEnableDB_STP1(char *dbName, char *tableSpace, char *tableSpace2, sqlint32 *returnCode,
                     char *returnMsg, short *dbNameInd, short *tableSpaceInd,
                     short *tableSpace2Ind, short *returnCodeInd, short *returnMsgInd,
                     char *sqlstate, char *procName, char *specName, char *diagMsg) {
  void *values[] = {dbName, tableSpace, tableSpace2, returnCode, returnMsg};
  short *inds[] = {dbNameInd, tableSpaceInd, tableSpace2Ind, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kEnableLongSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelEnableDB(void *reserved1, void *reserved2, struct sqlda *da,
                                          struct sqlca *ca) {
  return kelDariFrame(kelEnableDBSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelDisableDB(void *reserved1, void *reserved2, struct sqlda *da,
                                           struct sqlca *ca) {
  return kelDariFrame(kelDisableDBSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelDisableDB_STP(char *dbName, sqlint32 *returnCode, char *returnMsg,
                                               short *dbNameInd, short *returnCodeInd,
                                               short *returnMsgInd, char *sqlstate, char *procName,
                                               char *specName, char *diagMsg) {
  void *values[] = {dbName, returnCode, returnMsg};
  short *inds[] = {dbNameInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelDisableDBSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

bool kelNamesThisDatabase(KelCallContext *ctx, const char *dbName) {
  sqlca ca{};
  sqlint32 same = 0;
  int code = queryInteger(ctx,
                          "VALUES CASE WHEN CURRENT SERVER = UPPER(RTRIM(CAST(? AS VARCHAR(128)))) THEN 1 ELSE 0 END",
                          dbName, &same, &ca);
  return code == 0 && same == 1;
}
