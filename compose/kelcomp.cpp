/*
 * kelcomp.cpp - the composition driver, the lookup of a collection's DAD and the six
 * composition procedures in both parameter conventions (see kelcomp.h).
 */
#include "kelcomp.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelbuf.h"
#include "kelcatalog.h"
#include "kelcodepage.h"
#include "kelcompq.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "keldom.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrcomp.h"
#include "kelrel.h"
#include "kelsavepoint.h"
#include "kelscomp.h"
#include "kelsplob.h"
#include "kelsql.h"
#include "keltrace.h"
#include "quarnapp.h"
#include "sqlcli.h"
#include "sqlda.h"

namespace {

constexpr const char kUnit[] = "kelcomp";

// SQLCODE of ALTER TABLE ... ADD for a column the table has already.
constexpr int kSqlColumnExists = -612;
// Characters of the DAD the trace shows.
constexpr size_t kTracedDad = 299;

// The call's own connection: joined to the current session (the caller's, inside a procedure).
class Connection {
 public:
  ~Connection() {
    if (connected_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  SQLHDBC dbc() const { return dbc_; }

  int open(KelCallContext *ctx, char *sqlstate, char *msg) {
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    if (!SQL_SUCCEEDED(rc)) {
      KEL_TRACE(ctx, "cannot allocate environment handle rc = %d\n", static_cast<int>(rc));
      return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    }
    rc = SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    if (!SQL_SUCCEEDED(rc)) {
      KEL_TRACE(ctx, "cannot allocate db handle rc = %d\n", static_cast<int>(rc));
      return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_ENV, env_, rc, "SQLAllocHandle(dbc)");
    }
    rc = SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
    if (!SQL_SUCCEEDED(rc)) {
      KEL_TRACE(ctx, "SQLSetConnectOption autocommit_off: db rc = %d\n", static_cast<int>(rc));
      return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, rc, "SQLSetConnectOption");
    }
    rc = SQLSetConnectAttr(dbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0);
    if (!SQL_SUCCEEDED(rc)) KEL_TRACE(ctx, "isolation RR not set, rc = %d\n", static_cast<int>(rc));
    if (ctx != nullptr && ctx->codePages != nullptr && kelIsUtf8CodePage(ctx->codePages->dbCodePage))
      SQLSetConnectAttr(dbc_, SQL_ATTR_CHAR_CONVERSION, reinterpret_cast<SQLPOINTER>(0), 0);
    SQLCHAR empty[1] = "";
    rc = SQLConnect(dbc_, empty, 0, empty, 0, empty, 0);
    if (!SQL_SUCCEEDED(rc)) {
      KEL_TRACE(ctx, "cannot connect to db rc = %d\n", static_cast<int>(rc));
      return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, rc, "SQLConnect");
    }
    connected_ = true;
    return 0;
  }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

std::string shownTable(const KelComposeArgs &a) { return a.schema.empty() ? a.table : a.schema + "." + a.table; }

// "schema"."table" for SQL text.
bool quotedTable(KelCallContext *ctx, const KelComposeArgs &a, std::string *out) {
  bool ok = true;
  if (!a.schema.empty()) {
    ok = kelAppendQuoted(ctx, out, a.schema);
    *out += '.';
  }
  return kelAppendQuoted(ctx, out, a.table) && ok;
}

// The column is one of the result table's (in schema): 0, else -69 with KELQ009E naming the
// table.
int checkColumn(KelCallContext *ctx, const KelComposeArgs &a, const std::string &schema, const std::string &column,
                char *sqlstate, char *msg) {
  char typeSchema[KEL_TABLE_SIZE], typeName[KEL_TABLE_SIZE];
  int32_t length = 0;
  if (kelGetCatalogColumnType(ctx, schema.c_str(), a.table.c_str(), column.c_str(), typeSchema, sizeof typeSchema,
                              typeName, sizeof typeName, &length, msg) == 0)
    return 0;
  KEL_TRACE(ctx, "result table %s has no column %s\n", shownTable(a).c_str(), column.c_str());
  return kelFail(ctx, msg, sqlstate, KELQ009E, shownTable(a).c_str());
}

// The first column of a declared temporary table (schema SESSION), which the catalogue does not
// list: the column of its SELECT * as the statement describes it.  False when the table is not
// there (the caller reports KELA016E).
bool firstSessionColumn(KelCallContext *ctx, const KelComposeArgs &a, std::string *column) {
  std::string sql = "SELECT * FROM ";
  if (!quotedTable(ctx, a, &sql)) return false;
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  if (quarn_prepare(sql.c_str(), &raw, &ca) < 0) return false;
  std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, quarn_free_stmt);
  std::vector<char> area(SQLDASIZE(1), '\0');
  auto *da = reinterpret_cast<sqlda *>(area.data());
  da->sqln = 1;
  if (quarn_describe(raw, da, &ca) < 0 || da->sqld < 1) return false;
  column->assign(da->sqlvar[0].sqlname.data, static_cast<size_t>(da->sqlvar[0].sqlname.length));
  return !column->empty();
}

// The result table exists and has its columns; a single-column caller's table gets KEL_VALID.
int prepareResultTable(KelCallContext *ctx, KelComposeArgs *a, bool validate, std::string *validColumn,
                       char *sqlstate, char *msg) {
  const bool session = a->schema == "SESSION";
  // An unqualified result table is the current schema's, where the INSERT finds it: the
  // catalogue is asked about that schema, not about a table of that name in any schema.
  std::string schema = a->schema;
  if (schema.empty() && kelCurrentSchema(ctx, &schema, msg) < 0) return kelMessageState(KELG001E, sqlstate);
  if (!session) {
    int exists = 0;
    int rc = kelTableExists(ctx, schema.c_str(), a->table.c_str(), &exists, msg);
    if (rc < 0) {
      kelMessageState(rc == -104 ? KELA073E : KELG001E, sqlstate);
      return rc;
    }
    if (!exists) return kelFail(ctx, msg, sqlstate, KELA016E, shownTable(*a).c_str());
  }
  if (a->resultColumn.empty() && session) {
    if (!firstSessionColumn(ctx, *a, &a->resultColumn))
      return kelFail(ctx, msg, sqlstate, KELA016E, shownTable(*a).c_str());
  } else if (a->resultColumn.empty()) {
    char first[KEL_TABLE_SIZE] = "";
    int32_t rc = 0;
    if (kelGetColumnName(ctx, schema.c_str(), a->table.c_str(), first, &rc, msg) < 0) {
      kelMessageState(rc == -11 ? KELA016E : KELA024E, sqlstate);
      return rc;
    }
    a->resultColumn = first;
  }
  if (!session) {
    int rc = checkColumn(ctx, *a, schema, a->resultColumn, sqlstate, msg);
    if (rc < 0) return rc;
  }
  validColumn->clear();
  if (!validate) return 0;
  if (!a->singleColumn) {
    if (a->validColumn.empty()) return kelFail(ctx, msg, sqlstate, KELQ054E, "NULL");
    *validColumn = a->validColumn;
  } else {
    *validColumn = KEL_VALID_COLUMN;
    std::string sql = "ALTER TABLE ";
    bool ok = quotedTable(ctx, *a, &sql);
    sql += " ADD ";
    ok = kelAppendQuoted(ctx, &sql, KEL_VALID_COLUMN) && ok;
    sql += " INTEGER";
    if (!ok) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    KEL_TRACE(ctx, "%s\n", sql.c_str());
    sqlca ca{};
    int code = quarn_execute_immediate(sql.c_str(), &ca);
    if (code != 0 && code != kSqlColumnExists) {
      KEL_TRACE(ctx, "Table %s.%s cannot be altered.\n", a->schema.c_str(), a->table.c_str());
      return kelFail(ctx, msg, sqlstate, KELA013E, shownTable(*a).c_str());
    }
  }
  if (!session) return checkColumn(ctx, *a, schema, *validColumn, sqlstate, msg);
  return 0;
}

// The code a failed DAD parse reports: the code of its SQLSTATE's catalogue row.
int parseFailure(KelCallContext *ctx, int rc, const char *sqlstate, char *msg) {
  if (rc != -1) return rc;
  int32_t code = 0;
  kelStateToCode(ctx, &code, sqlstate);
  if (code < 0 && code != KEL_STATE_NOT_FOUND) return code;
  return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
}

}  // namespace

int kelComposeXML(KelCallContext *ctx, const KelComposeArgs &argsIn, KelComposeResult *result, char *sqlstate,
                  char *msg) {
  *result = KelComposeResult{};
  KelComposeArgs args = argsIn;
  if (args.dad == nullptr) return kelFail(ctx, msg, sqlstate, KELG004E);
  KEL_TRACE(ctx, "DAD: %.*s\n", static_cast<int>(kTracedDad), args.dad);

  Connection conn;
  int rc = conn.open(ctx, sqlstate, msg);
  if (rc < 0) return rc;

  const int cpFlag = ctx != nullptr && ctx->codePages != nullptr &&
                             ctx->codePages->appCodePage == ctx->codePages->dbCodePage
                         ? 1
                         : 0;
  KelDad dad;
  rc = kelDadOpen(ctx, args.dad, args.dadInMemory, cpFlag, KEL_DAD_XCOLLECTION, &dad, sqlstate, msg);
  if (rc < 0) return parseFailure(ctx, rc, sqlstate, msg);
  const KelDadHeader &header = dad.header();
  const bool validate = header.hasValidation && header.validation;
  std::string docHeader;
  rc = kelGenDocHeader(ctx, header, &docHeader, sqlstate, msg);
  if (rc < 0) return rc;

  // Everything the call changes from here on is undone if it fails.
  KelCallSavepoint savepoint(ctx);
  std::string validColumn;
  if (args.toTable) {
    sqlca ca{};
    if (savepoint.begin(&ca) < 0) {
      std::string line = std::to_string(__LINE__);
      if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELG001E, kelBuildStamp(), kUnit, line.c_str());
      return kelMessageState(KELG001E, sqlstate);
    }
    rc = prepareResultTable(ctx, &args, validate, &validColumn, sqlstate, msg);
    if (rc < 0) return savepoint.finish(rc);
  }
  KelResultTable target(args.schema, args.table, args.resultColumn, validColumn);
  // The documents reach the result table only when every query of the mapping is done.
  KelDocStage stage(ctx);
  KelComposeOutput out;
  out.table = args.toTable ? &target : nullptr;
  out.stage = args.toTable ? &stage : nullptr;
  out.validate = validate;
  out.validation = kelValidationOf(header);
  out.lobData = args.lobData;
  out.lobCapacity = args.lobCapacity;
  out.maxRows = args.maxRows;

  if (header.hasSqlStmt) {
    std::u16string sql;
    if (args.overrideType == KEL_SQL_OVERRIDE) {
      if (!kelDadFromDb(ctx, args.override, &sql)) return savepoint.finish(kelFail(ctx, msg, sqlstate, KELQ001E));
    } else if (args.overrideType == KEL_NO_OVERRIDE) {
      sql = header.sqlStmt;
    } else {
      // An XML override (type 2) has no place in SQL mapping, and other types are none.
      KEL_TRACE(ctx, "override type %d has no place in SQL mapping\n", args.overrideType);
      return savepoint.finish(kelFail(ctx, msg, sqlstate, KELQ030E));
    }
    rc = kelCleanQuery(ctx, sql.data(), msg, true);
    if (rc < 0) return savepoint.finish(kelMessageState(KELG001E, sqlstate));
    sql.resize(std::char_traits<char16_t>::length(sql.c_str()));
    rc = kelComposeBySql(ctx, conn.dbc(), sql, docHeader, header.rootElement, &out, sqlstate, msg);
  } else {
    rc = kelGenXMLFromRDB(ctx, conn.dbc(), &dad, args.overrideType, args.override, docHeader, &out, sqlstate, msg);
  }
  if (rc >= 0 && out.table != nullptr) {
    // The mapping's own warning (KELQ003W, KELQ041W) stays the call's message.
    std::string keptMsg = msg != nullptr ? msg : "";
    char keptState[6] = "00000";
    if (sqlstate != nullptr) std::memcpy(keptState, sqlstate, sizeof keptState);
    int inserted = stage.insertAll(out.table, out.validate, out.validation, sqlstate, msg);
    if (inserted < 0) {
      rc = inserted;
    } else {
      if (msg != nullptr) std::memcpy(msg, keptMsg.c_str(), keptMsg.size() + 1);
      if (sqlstate != nullptr) std::memcpy(sqlstate, keptState, sizeof keptState);
    }
  }
  if (rc < 0) {
    KEL_TRACE(ctx, "composition failed with %d after %lld documents: undone\n", rc,
              static_cast<long long>(out.count));
    return savepoint.finish(rc);
  }
  result->numDocs = out.count;
  result->lobSet = out.lobSet;
  result->lobLength = out.lobLength;
  result->valid = out.valid;
  if (rc == 0) {
    kelSetMessage(ctx, msg, KELQ020I);
    kelSetState(sqlstate, "00000");
  }
  return savepoint.finish(rc);
}

int kelFetchDAD(KelCallContext *ctx, const char *collectionName, KelDocBuffer *buf, char *sqlstate, char *msg) {
  *buf = KelDocBuffer{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
  if (collectionName == nullptr) return kelFail(ctx, msg, sqlstate, KELG004E);
  // Counted in bytes, as enabling a collection counts it and its stored name holds it.
  const size_t bytes = std::strlen(collectionName);
  if (bytes > KEL_MAX_COLLECTION_NAME) {
    KEL_TRACE(ctx, "collection name of %d bytes\n", static_cast<int>(bytes));
    return kelFail(ctx, msg, sqlstate, KELQ032E);
  }
  static const char kSql[] = "SELECT DAD FROM QUARNXML.XML_USAGE WHERE TABLE_SCHEMA = 'KEL_COLL' AND TABLE_NAME = 'KEL_COLLECTION'"
                              " AND COL_NAME = ?";
  KEL_TRACE(ctx, "%s\n", kSql);
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  auto stmtFree = [](quarn_stmt *s) { quarn_free_stmt(s); };
  int code = quarn_prepare(kSql, &raw, &ca);
  std::unique_ptr<quarn_stmt, decltype(stmtFree)> stmt(raw, stmtFree);
  quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(collectionName) + 1),
                   const_cast<char *>(collectionName), nullptr};
  if (code >= 0) code = quarn_open(raw, 1, &in, &ca);
  if (code < 0) {
    KEL_TRACE(ctx, "XML_USAGE cannot be read, SQLCODE %d\n", code);
    if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELQ052E);
    kelMessageState(KELQ052E, sqlstate);
    return code;
  }
  sqluint32 locator = 0;
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CLOB_LOCATOR, 4, &locator, &ind};
  code = quarn_fetch(raw, 1, &out, &ca);
  sqlca closeCa{};
  quarn_close(raw, &closeCa);
  if (code == 100) return kelFail(ctx, msg, sqlstate, KELQ028E, collectionName);
  if (code < 0) {
    if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELQ052E);
    kelMessageState(KELQ052E, sqlstate);
    return code;
  }
  if (ind < 0) return kelFail(ctx, msg, sqlstate, KELQ029E, collectionName);
  int rc = kelGetDataFromLocator(ctx, locator, buf, msg);
  sqlca freeCa{};
  quarn_free_locator(locator, &freeCa);
  if (rc < 0) {
    kelMessageState(rc == kelSqlStateTable[KELG002E].code ? KELG002E : KELG001E, sqlstate);
    return rc;
  }
  return 0;
}

// ---- The procedures --------------------------------------------------------------------------

namespace {

// Where each parameter stands in the three lists (-1: not in the list).
struct ListIndex {
  int dad, table, resultColumn, validColumn, overrideType, override, maxRows, count, resultDoc, valid;
};
constexpr ListIndex kListA{0, 1, -1, -1, 2, 3, 4, 5, -1, -1};
constexpr ListIndex kListB{0, 1, 2, 3, 4, 5, 6, 7, -1, -1};
constexpr ListIndex kListC{0, -1, -1, -1, 1, 2, -1, 5, 3, 4};

// A column name of list B: one identifier of at most 128 bytes.  False when it is not one.
bool parseColumnArg(KelCallContext *ctx, const char *value, std::string *out) {
  std::u16string wide;
  if (!kelDadFromDb(ctx, value, &wide)) return false;
  char ident[KEL_TABLE_SIZE] = "";
  if (kelParseWCol(ctx, reinterpret_cast<const UChar *>(wide.c_str()), ident, sizeof ident) < 0) return false;
  *out = ident;
  return !out->empty();
}

bool blank(const char *s) { return s == nullptr || s[strspn(s, " \t\r\n")] == '\0'; }

struct BufferRelease {
  KelCallContext *ctx;
  KelDocBuffer *buf;
  ~BufferRelease() { kelBufRelease(ctx, buf); }
};

int32_t compose(KelProcCall &call, const ListIndex &L, bool retrieve) {
  KelCallContext *ctx = call.ctx;
  char *msg = call.msg;
  char sqlstate[6] = "00000";
  KelArg *a = call.args;
  a[L.count].outNum = 0;
  a[L.count].outNull = false;
  if (L.resultDoc >= 0) {
    a[L.resultDoc].outNull = true;
    a[L.resultDoc].outLen = 0;
    a[L.valid].outNull = true;
  }
  if (a[L.dad].isNull || (L.table >= 0 && a[L.table].isNull)) return kelFail(ctx, msg, sqlstate, KELG004E);
  KelComposeArgs args;
  args.overrideType = a[L.overrideType].isNull ? 0 : a[L.overrideType].num;
  if (args.overrideType != 0 && a[L.override].isNull) return kelFail(ctx, msg, sqlstate, KELG004E);
  if (L.maxRows >= 0 && !a[L.maxRows].isNull) {
    if (a[L.maxRows].num < 0) return kelFail(ctx, msg, sqlstate, KELG004E);
    args.maxRows = a[L.maxRows].num;
  }

  // The DAD: the argument in a document buffer, or the collection's from XML_USAGE.
  KelDocBuffer dad{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
  BufferRelease release{ctx, &dad};
  int rc = 0;
  if (retrieve) {
    rc = kelFetchDAD(ctx, a[L.dad].data, &dad, sqlstate, msg);
    if (rc < 0) return rc;
    args.dad = kelBufGetContent(ctx, &dad);
    args.dadInMemory = dad.location == KEL_BUF_MEMORY ? 1 : 0;
  } else if (a[L.dad].len > 0) {
    int status = 0;
    const int64_t threshold = ctx->fileThreshold > 0 ? ctx->fileThreshold : KEL_MIN_FILE_THRESHOLD;
    if (kelBufAcquire(ctx, &dad, a[L.dad].len, threshold, KEL_BUF_MEMORY, &status, msg, 1) < 0) return status;
    if (kelFillBuffer(ctx, &dad, a[L.dad].data, &status, sqlstate) < 0) {
      kelSetMessage(ctx, msg, KELC002E);
      return status;
    }
    args.dad = kelBufGetContent(ctx, &dad);
    args.dadInMemory = dad.location == KEL_BUF_MEMORY ? 1 : 0;
  } else {
    args.dad = "";
  }
  if (args.dad == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);

  if (L.table >= 0) {
    char schema[KEL_SCHEMA_SIZE] = "", table[KEL_TABLE_SIZE] = "";
    if (kelParseQualTbl(ctx, a[L.table].data, schema, sizeof schema, table, sizeof table) < 0)
      return kelFail(ctx, msg, sqlstate, KELQ009E, a[L.table].data);
    args.toTable = true;
    args.schema = schema;
    args.table = table;
  }
  if (L.resultColumn >= 0) {
    args.singleColumn = false;
    const KelArg &rcol = a[L.resultColumn];
    if (rcol.isNull || !parseColumnArg(ctx, rcol.data, &args.resultColumn))
      return kelFail(ctx, msg, sqlstate, KELQ054E, rcol.isNull ? "NULL" : rcol.data);
    const KelArg &vcol = a[L.validColumn];
    if (!vcol.isNull && !blank(vcol.data) && !parseColumnArg(ctx, vcol.data, &args.validColumn))
      return kelFail(ctx, msg, sqlstate, KELQ054E, vcol.data);
  }
  if (args.overrideType != 0) args.override.assign(a[L.override].data, static_cast<size_t>(a[L.override].len));
  if (L.resultDoc >= 0) {
    args.lobData = a[L.resultDoc].out;
    args.lobCapacity = a[L.resultDoc].out != nullptr ? a[L.resultDoc].outCap : 0;
  }

  KelComposeResult result;
  rc = kelComposeXML(ctx, args, &result, sqlstate, msg);
  a[L.count].outNum = static_cast<int32_t>(std::min<int64_t>(result.numDocs, INT32_MAX));
  if (L.resultDoc >= 0 && rc >= 0) {
    if (result.lobSet) {
      a[L.resultDoc].outNull = false;
      a[L.resultDoc].outLen = static_cast<int32_t>(result.lobLength);
    }
    if (result.valid != -1) {
      a[L.valid].outNull = false;
      a[L.valid].outNum = result.valid;
    }
  }
  return rc;
}

int32_t genA(KelProcCall &call) { return compose(call, kListA, false); }
int32_t genB(KelProcCall &call) { return compose(call, kListB, false); }
int32_t genC(KelProcCall &call) { return compose(call, kListC, false); }
int32_t retA(KelProcCall &call) { return compose(call, kListA, true); }
int32_t retB(KelProcCall &call) { return compose(call, kListB, true); }
int32_t retC(KelProcCall &call) { return compose(call, kListC, true); }

constexpr KelParamSpec kReturnCode = {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0};
constexpr KelParamSpec kReturnMsg = {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER};

// The DAD or collection name is checked by the worker: a null one is KELG004E in both
// conventions (the QUARNDARI reading of a null required input would be KELA019E).
#define KEL_SOURCE(name, kind) {name, kind, KelParamMode::In, false, 0}
#define KEL_IN(name, kind) {name, kind, KelParamMode::In, false, 0}
#define KEL_OUT(name, kind, len) {name, kind, KelParamMode::Out, false, len}

constexpr KelParamSpec kGenA[] = {KEL_SOURCE("dadBuf", KelParamKind::Lob),
                                  KEL_IN("resultTable", KelParamKind::String),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_IN("maxRows", KelParamKind::Integer),
                                  KEL_OUT("numRows", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};
constexpr KelParamSpec kGenB[] = {KEL_SOURCE("dadBuf", KelParamKind::Lob),
                                  KEL_IN("resultTable", KelParamKind::String),
                                  KEL_IN("resultColumn", KelParamKind::String),
                                  KEL_IN("validColumn", KelParamKind::String),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_IN("maxRows", KelParamKind::Integer),
                                  KEL_OUT("numRows", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};
constexpr KelParamSpec kGenC[] = {KEL_SOURCE("dadBuf", KelParamKind::Lob),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_OUT("resultDoc", KelParamKind::Lob, KEL_RESULT_DOC_LENGTH),
                                  KEL_OUT("valid", KelParamKind::Integer, 0),
                                  KEL_OUT("numDocs", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};
constexpr KelParamSpec kRetA[] = {KEL_SOURCE("collectionName", KelParamKind::String),
                                  KEL_IN("resultTable", KelParamKind::String),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_IN("maxRows", KelParamKind::Integer),
                                  KEL_OUT("numRows", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};
constexpr KelParamSpec kRetB[] = {KEL_SOURCE("collectionName", KelParamKind::String),
                                  KEL_IN("resultTable", KelParamKind::String),
                                  KEL_IN("resultColumn", KelParamKind::String),
                                  KEL_IN("validColumn", KelParamKind::String),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_IN("maxRows", KelParamKind::Integer),
                                  KEL_OUT("numRows", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};
constexpr KelParamSpec kRetC[] = {KEL_SOURCE("collectionName", KelParamKind::String),
                                  KEL_IN("overrideType", KelParamKind::Integer),
                                  KEL_IN("override", KelParamKind::String),
                                  KEL_OUT("resultDoc", KelParamKind::Lob, KEL_RESULT_DOC_LENGTH),
                                  KEL_OUT("valid", KelParamKind::Integer, 0),
                                  KEL_OUT("numDocs", KelParamKind::Integer, 0),
                                  kReturnCode,
                                  kReturnMsg};

#undef KEL_SOURCE
#undef KEL_IN
#undef KEL_OUT

constexpr KelProcLayout kGenALayout[] = {{kGenA, 8}};
constexpr KelProcLayout kGenBLayout[] = {{kGenB, 10}};
constexpr KelProcLayout kGenCLayout[] = {{kGenC, 8}};
constexpr KelProcLayout kRetALayout[] = {{kRetA, 8}};
constexpr KelProcLayout kRetBLayout[] = {{kRetB, 10}};
constexpr KelProcLayout kRetCLayout[] = {{kRetC, 8}};

}  // namespace

const KelProcSpec kelGenXMLSpec = {"kelGenXML", kGenALayout, 1, genA};
const KelProcSpec kelGenXML2Spec = {"kelGenXML2", kGenBLayout, 1, genB};
const KelProcSpec kelGenXMLClobSpec = {"kelGenXMLClob", kGenCLayout, 1, genC};
const KelProcSpec kelRetrieveXMLSpec = {"kelRetrieveXML", kRetALayout, 1, retA};
const KelProcSpec kelRetrieveXML2Spec = {"kelRetrieveXML2", kRetBLayout, 1, retB};
const KelProcSpec kelRetrieveXMLClobSpec = {"kelRetrieveXMLClob", kRetCLayout, 1, retC};

extern "C" {

SQL_API_EXPORT int kelGenXML(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelGenXMLSpec, da, ca);
}
SQL_API_EXPORT int kelGenXML2(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelGenXML2Spec, da, ca);
}
SQL_API_EXPORT int kelGenXMLClob(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelGenXMLClobSpec, da, ca);
}
SQL_API_EXPORT int kelRetrieveXML(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelRetrieveXMLSpec, da, ca);
}
SQL_API_EXPORT int kelRetrieveXML2(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelRetrieveXML2Spec, da, ca);
}
SQL_API_EXPORT int kelRetrieveXMLClob(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelRetrieveXMLClobSpec, da, ca);
}

SQL_API_EXPORT int kelGenXML1_STP(char *dadBuf, char *resultTable, sqlint32 *overrideType, char *overrideText,
                                  sqlint32 *maxRows, sqlint32 *numRows, sqlint32 *returnCode, char *returnMsg,
                                  short *dadBufInd, short *resultTableInd, short *overrideTypeInd,
                                  short *overrideInd, short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                  short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                  char *diagMsg) {
  void *values[] = {dadBuf, resultTable, overrideType, overrideText, maxRows, numRows, returnCode, returnMsg};
  short *inds[] = {dadBufInd, resultTableInd, overrideTypeInd, overrideInd,
                   maxRowsInd, numRowsInd,     returnCodeInd,   returnMsgInd};
  return kelSqlFrame(kelGenXMLSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

SQL_API_EXPORT int kelGenXML_STP(char *dadBuf, char *resultTable, char *resultColumn, char *validColumn,
                                 sqlint32 *overrideType, char *overrideText, sqlint32 *maxRows, sqlint32 *numRows,
                                 sqlint32 *returnCode, char *returnMsg, short *dadBufInd, short *resultTableInd,
                                 short *resultColumnInd, short *validColumnInd, short *overrideTypeInd,
                                 short *overrideInd, short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                 short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                 char *diagMsg) {
  void *values[] = {dadBuf,       resultTable, resultColumn, validColumn, overrideType,
                    overrideText, maxRows,     numRows,      returnCode,  returnMsg};
  short *inds[] = {dadBufInd,   resultTableInd, resultColumnInd, validColumnInd, overrideTypeInd,
                   overrideInd, maxRowsInd,     numRowsInd,      returnCodeInd,  returnMsgInd};
  return kelSqlFrame(kelGenXML2Spec, values, inds, sqlstate, procName, specName, diagMsg);
}

SQL_API_EXPORT int kelGenXMLClob_STP(char *dadBuf, sqlint32 *overrideType, char *overrideText, char *resultDoc,
                                     sqlint32 *valid, sqlint32 *numDocs, sqlint32 *returnCode, char *returnMsg,
                                     short *dadBufInd, short *overrideTypeInd, short *overrideInd,
                                     short *resultDocInd, short *validInd, short *numDocsInd, short *returnCodeInd,
                                     short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                     char *diagMsg) {
  void *values[] = {dadBuf, overrideType, overrideText, resultDoc, valid, numDocs, returnCode, returnMsg};
  short *inds[] = {dadBufInd, overrideTypeInd, overrideInd,   resultDocInd,
                   validInd,  numDocsInd,      returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelGenXMLClobSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

SQL_API_EXPORT int kelRetrieveXML1_STP(char *collectionName, char *resultTable, sqlint32 *overrideType,
                                       char *overrideText, sqlint32 *maxRows, sqlint32 *numRows,
                                       sqlint32 *returnCode, char *returnMsg, short *collectionNameInd,
                                       short *resultTableInd, short *overrideTypeInd, short *overrideInd,
                                       short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                       short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                       char *diagMsg) {
  void *values[] = {collectionName, resultTable, overrideType, overrideText,
                    maxRows,        numRows,     returnCode,   returnMsg};
  short *inds[] = {collectionNameInd, resultTableInd, overrideTypeInd, overrideInd,
                   maxRowsInd,        numRowsInd,     returnCodeInd,   returnMsgInd};
  return kelSqlFrame(kelRetrieveXMLSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

SQL_API_EXPORT int kelRetrieveXML_STP(char *collectionName, char *resultTable, char *resultColumn,
                                      char *validColumn, sqlint32 *overrideType, char *overrideText,
                                      sqlint32 *maxRows, sqlint32 *numRows, sqlint32 *returnCode, char *returnMsg,
                                      short *collectionNameInd, short *resultTableInd, short *resultColumnInd,
                                      short *validColumnInd, short *overrideTypeInd, short *overrideInd,
                                      short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                      short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                      char *diagMsg) {
  void *values[] = {collectionName, resultTable, resultColumn, validColumn, overrideType,
                    overrideText,   maxRows,     numRows,      returnCode,  returnMsg};
  short *inds[] = {collectionNameInd, resultTableInd, resultColumnInd, validColumnInd, overrideTypeInd,
                   overrideInd,       maxRowsInd,     numRowsInd,      returnCodeInd,  returnMsgInd};
  return kelSqlFrame(kelRetrieveXML2Spec, values, inds, sqlstate, procName, specName, diagMsg);
}

SQL_API_EXPORT int kelRetrieveXMLClob_STP(char *collectionName, sqlint32 *overrideType, char *overrideText,
                                          char *resultDoc, sqlint32 *valid, sqlint32 *numDocs,
                                          sqlint32 *returnCode, char *returnMsg, short *collectionNameInd,
                                          short *overrideTypeInd, short *overrideInd, short *resultDocInd,
                                          short *validInd, short *numDocsInd, short *returnCodeInd,
                                          short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                          char *diagMsg) {
  void *values[] = {collectionName, overrideType, overrideText, resultDoc, valid, numDocs, returnCode, returnMsg};
  short *inds[] = {collectionNameInd, overrideTypeInd, overrideInd,   resultDocInd,
                   validInd,          numDocsInd,      returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelRetrieveXMLClobSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

}  // extern "C"
