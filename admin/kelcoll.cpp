/*
 * kelcoll.cpp - enabling and disabling XML collections (see kelcoll.h).
 */
#include "kelcoll.h"

#include <cstring>
#include <memory>
#include <string>

#include "kelargbuf.h"
#include "kelcatalog.h"
#include "kelcattab.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelenable.h"
#include "keldadcache.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "kelsavepoint.h"
#include "keltab.h"
#include "keltrace.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

constexpr const char kUnit[] = "kelcoll";

// The marker values of a collection's XML_USAGE row.
constexpr char kCollSchema[] = "KEL_COLL";
constexpr char kCollTable[] = "KEL_COLLECTION";
constexpr char kCollTriggerSuffix[] = "0";
constexpr float kCollVersion = 5.0f;
constexpr int32_t kAccessModeCollection = 1;

constexpr int kSqlPackageMissing = -805;

int sameCodePages(KelCallContext *ctx) {
  if (ctx == nullptr || ctx->codePages == nullptr) return 1;
  return ctx->codePages->appCodePage == ctx->codePages->dbCodePage ? 1 : 0;
}

// The checks both procedures make of the name and the database first.
int32_t checkNameAndDatabase(KelCallContext *ctx, const char *dbName, const char *name, char *msg) {
  if (dbName == nullptr || name == nullptr || name[0] == '\0') return kelFail(ctx, msg, nullptr, KELG004E);
  // A name of blanks only: stored in the CHAR column of XML_USAGE, the empty name then found it.
  if (name[std::strspn(name, " ")] == '\0') return kelFail(ctx, msg, nullptr, KELG004E);
  if (std::strlen(name) > KEL_MAX_COLLECTION_NAME) return kelFail(ctx, msg, nullptr, KELQ032E);
  // The call changes the database of the connection whatever it is given: one naming another
  // database changed this one and said it had done so.
  if (!kelNamesThisDatabase(ctx, dbName)) return kelFail(ctx, msg, nullptr, KELA003E, dbName);
  int enabled = 0;
  int rc = kelIsDatabaseEnabled(ctx, &enabled, msg);
  if (rc < 0) return rc;
  if (!enabled) return kelFail(ctx, msg, nullptr, KELQ052E);
  return 0;
}

// The XML_USAGE row, then the tables of an RDB_node mapping: the work inside the savepoint.
int32_t enable(KelCallContext *ctx, const char *name, KelDad *dad, KelDocBuffer *dadBuf, const char *tableSpace,
               char *msg) {
  const KelDadHeader &header = dad->header();
  char state[6];
  KEL_TRACE(ctx, "Insert a row into xml_usage.\n");
  const bool hasDtd = header.validationSource == KEL_VALSRC_DTD;
  int32_t rc = 0;
  if (kelInsertXMLUsage(ctx, kCollSchema, kCollTable, name, hasDtd ? header.dtdId.c_str() : nullptr, hasDtd ? 0 : -1,
                        dadBuf, kAccessModeCollection, header.validation ? 1 : 0, nullptr, -1, kCollTriggerSuffix,
                        kCollVersion, nullptr, -1, nullptr, -1, &rc, msg) < 0)
    return rc;
  if (header.hasSqlStmt) {
    KEL_TRACE(ctx, "SQL mapping: no tables\n");
    return 0;
  }
  KEL_REL rel;
  rc = kelDadRelation(ctx, dad, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg);
  if (rc < 0) {
    KEL_TRACE(ctx, "kelEnableCollection(), kelProcRel fail rc:%d\n", rc);
    return rc;
  }
  // The collection's tables are made or checked here and filled by decomposition: never the
  // extension's own tables or the system's.  A table the DAD names without a schema is in the
  // current schema, which SET SCHEMA may have made a reserved one.
  std::string current;
  for (const KEL_TAB &tab : rel.tab) {
    std::string schema = tab.schema;
    if (schema.empty()) {
      if (current.empty() && kelCurrentSchema(ctx, &current, msg) < 0) return kelMessageState(KELG001E, state);
      schema = current;
    }
    if (!kelIsReservedSchema(schema.c_str())) continue;
    std::string what = schema + "." + tab.name;
    KEL_TRACE(ctx, "table %s is in a reserved schema\n", what.c_str());
    return kelFail(ctx, msg, nullptr, KELQ024E, what.c_str());
  }
  rc = kelNormalizeTypes(ctx, &rel, state, msg);
  if (rc < 0) return rc;
  rc = prepare_tables(ctx, &rel, tableSpace, state, msg);
  if (rc < 0) KEL_TRACE(ctx, "kelEnableCollection(), prepare_tables fail rc:%d\n", rc);
  return rc;
}

const char *valueOf(const KelArg &arg) { return arg.isNull ? nullptr : arg.data; }

}  // namespace

int32_t kelEnableColl_Main(KelCallContext *ctx, const char *dbName, const char *name, const char *dad, int32_t dadLen,
                           const char *tableSpace, char *msg) {
  KEL_TRACE(ctx, "enter Enable collection.\n");
  KEL_TRACE(ctx, "dadlen:%d, tbspacename:%s.\n", dadLen, tableSpace != nullptr ? tableSpace : "");
  if (dad == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  int32_t rc = checkNameAndDatabase(ctx, dbName, name, msg);
  if (rc < 0) return rc;

  KelArgBuffer dadBuf(ctx);
  rc = dadBuf.fill(dad, dadLen, msg);
  if (rc < 0) return rc;
  char state[6] = "00000";
  KelDad parsed;
  KelDocBuffer *buf = dadBuf.get();
  const char *text = kelBufGetContent(ctx, buf);
  if (text == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  rc = kelDadOpen(ctx, text, buf->location == KEL_BUF_MEMORY ? 1 : 0, sameCodePages(ctx), KEL_DAD_XCOLLECTION, &parsed,
                  state, msg);
  KEL_TRACE(ctx, "called kelDOM(), rc = %d\n", rc);
  if (rc < 0) return rc;
  rc = kelRequireValidation(ctx, parsed.header(), state, msg);
  if (rc < 0) return rc;

  // All or nothing: no table of a failed call stays, nor its row.
  KelCallSavepoint savepoint(ctx);
  sqlca ca{};
  if (int code = savepoint.begin(&ca); code < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ053E, "SAVEPOINT");
    return code;
  }
  rc = savepoint.finish(enable(ctx, name, &parsed, buf, tableSpace, msg));
  if (rc >= 0) kelSetMessage(ctx, msg, KELA067I, name);
  KEL_TRACE(ctx, "exit Enable collection, rc = %d\n", rc);
  return rc;
}

int32_t kelDisableColl_Main(KelCallContext *ctx, const char *dbName, const char *name, char *msg) {
  KEL_TRACE(ctx, "Enter Disable collection.\n");
  int32_t rc = checkNameAndDatabase(ctx, dbName, name, msg);
  if (rc < 0) return rc;
  const char *sql =
      "DELETE FROM QUARNXML.XML_USAGE WHERE TABLE_SCHEMA = 'KEL_COLL' AND TABLE_NAME = 'KEL_COLLECTION'"
      " AND COL_NAME = ?";
  KEL_TRACE(ctx, "%s\n", sql);
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(sql, &raw, &ca);
  std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, quarn_free_stmt);
  quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(name) + 1), const_cast<char *>(name), nullptr};
  if (code >= 0) code = quarn_execute(raw, 1, &in, &ca);
  if (code == 100) {
    KEL_TRACE(ctx, "There is no such collection name in %s. \n", "QUARNXML.XML_USAGE");
    return kelFail(ctx, msg, nullptr, KELQ028E, name);
  }
  if (code == kSqlPackageMissing) {
    kelSetDbMessage(ctx, msg, &ca, KELA073E);
    return kelMessageState(KELA073E, nullptr);
  }
  if (code < 0) {
    KEL_TRACE(ctx, "Error occured while deleting row from xml_usage, SQLCODE = %d\n", code);
    return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  }
  return kelFail(ctx, msg, nullptr, KELA066I, name);
}

namespace {

// Null names are refused by the frame: KELA019E (-14) through a descriptor area, KELG004E (-60)
// in the SQL convention; a null table space means none.
constexpr KelParamSpec kEnableParams[] = {
    {"dbName", KelParamKind::String, KelParamMode::In, true, 0},
    {"collectionName", KelParamKind::String, KelParamMode::In, true, 0},
    {"dadBuf", KelParamKind::Lob, KelParamMode::In, true, 0},
    {"tableSpace", KelParamKind::String, KelParamMode::In, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelParamSpec kDisableParams[] = {
    {"dbName", KelParamKind::String, KelParamMode::In, true, 0},
    {"collectionName", KelParamKind::String, KelParamMode::In, true, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelProcLayout kEnableLayouts[] = {{kEnableParams, 6}};
constexpr KelProcLayout kDisableLayouts[] = {{kDisableParams, 4}};

int32_t enableWorker(KelProcCall &call) {
  return kelEnableColl_Main(call.ctx, valueOf(call.args[0]), valueOf(call.args[1]), valueOf(call.args[2]),
                            call.args[2].len, valueOf(call.args[3]), call.msg);
}

int32_t disableWorker(KelProcCall &call) {
  return kelDisableColl_Main(call.ctx, valueOf(call.args[0]), valueOf(call.args[1]), call.msg);
}

}  // namespace

const KelProcSpec kelEnableCollSpec = {"kelEnableColl", kEnableLayouts, 1, enableWorker};
const KelProcSpec kelDisableCollSpec = {"kelDisableColl", kDisableLayouts, 1, disableWorker};

extern "C" SQL_API_EXPORT int kelEnableColl(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca) {
  (void)reserved1;
  (void)reserved2;
  return kelDariFrame(kelEnableCollSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelEnableColl_STP(char *dbName, char *collectionName, void *dadBuf, char *tableSpace,
                                                sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                                                short *collectionNameInd, short *dadBufInd, short *tableSpaceInd,
                                                short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                char *procName, char *specName, char *diagMsg) {
  void *values[] = {dbName, collectionName, dadBuf, tableSpace, returnCode, returnMsg};
  short *inds[] = {dbNameInd, collectionNameInd, dadBufInd, tableSpaceInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelEnableCollSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelDisableColl(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca) {
  (void)reserved1;
  (void)reserved2;
  return kelDariFrame(kelDisableCollSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelDisableColl_STP(char *dbName, char *collectionName, sqlint32 *returnCode,
                                                 char *returnMsg, short *dbNameInd, short *collectionNameInd,
                                                 short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                 char *procName, char *specName, char *diagMsg) {
  void *values[] = {dbName, collectionName, returnCode, returnMsg};
  short *inds[] = {dbNameInd, collectionNameInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelDisableCollSpec, values, inds, sqlstate, procName, specName, diagMsg);
}
