/*
 * kelshred.cpp - the decomposition procedures kelShredXML and kelInsertXML in both parameter
 * conventions (see kelshred.h).
 */
#include "kelshred.h"

#include <cstdlib>
#include <cstring>

#include "kelargbuf.h"
#include "kelbuf.h"
#include "kelctx.h"
#include "keldecomp.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsavepoint.h"
#include "keltrace.h"

namespace {

// Bytes of an input the trace shows.
constexpr int kTracedBytes = 100;

// Runs the decomposition inside the call savepoint: every row stays, or none.
template <typename Work>
int32_t allOrNothing(KelCallContext *ctx, char *msg, Work work) {
  KelCallSavepoint savepoint(ctx);
  sqlca ca{};
  if (int code = savepoint.begin(&ca); code < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ053E, "SAVEPOINT");
    return code;
  }
  int32_t rc = savepoint.finish(work());
  if (rc >= 0) kelSetMessage(ctx, msg, KELQ025I);
  return rc;
}

int32_t shredWorker(KelProcCall &call) {
  KelCallContext *ctx = call.ctx;
  const KelArg &dad = call.args[0];
  const KelArg &doc = call.args[1];
  if (dad.isNull || doc.isNull) return kelFail(ctx, call.msg, nullptr, KELG004E);
  KEL_TRACE(ctx, "dad length:%d\n", dad.len);
  KEL_TRACE(ctx, "dad varchar data:'%.*s...'\n", kTracedBytes, dad.data);
  KelArgBuffer dadBuf(ctx), docBuf(ctx);
  int32_t rc = dadBuf.fill(dad.data, dad.len, call.msg);
  if (rc < 0) return rc;
  rc = docBuf.fill(doc.data, doc.len, call.msg);
  KEL_TRACE(ctx, "xml file length:%d, rc:%d\n", doc.len, rc);
  if (rc < 0) return rc;
  KEL_TRACE(ctx, "xml file:'%.*s...'\n", kTracedBytes, doc.data);
  return allOrNothing(ctx, call.msg,
                      [&] { return kelDecomposeByDAD(ctx, dadBuf.get(), 1, docBuf.get(), 1, call.msg); });
}

int32_t insertWorker(KelProcCall &call) {
  KelCallContext *ctx = call.ctx;
  const KelArg &name = call.args[0];
  const KelArg &doc = call.args[1];
  if (name.isNull || doc.isNull) return kelFail(ctx, call.msg, nullptr, KELG004E);
  KEL_TRACE(ctx, "collection name:%s\n", name.data);
  KelArgBuffer docBuf(ctx);
  int32_t rc = docBuf.fill(doc.data, doc.len, call.msg);
  KEL_TRACE(ctx, "xml file length:%d, rc:%d\n", doc.len, rc);
  if (rc < 0) return rc;
  KEL_TRACE(ctx, "xml file:'%.*s...'\n", kTracedBytes, doc.data);
  return allOrNothing(ctx, call.msg, [&] { return kelDecomposeByName(ctx, name.data, docBuf.get(), call.msg); });
}

// Null inputs are the workers' to refuse (KELG004E in both conventions).
constexpr KelParamSpec kShredParams[] = {
    {"dadBuf", KelParamKind::Lob, KelParamMode::In, false, 0},
    {"XMLObj", KelParamKind::Lob, KelParamMode::In, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelParamSpec kInsertParams[] = {
    {"collectionName", KelParamKind::String, KelParamMode::In, false, 0},
    {"XMLObj", KelParamKind::Lob, KelParamMode::In, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelProcLayout kShredLayouts[] = {{kShredParams, 4}};
constexpr KelProcLayout kInsertLayouts[] = {{kInsertParams, 4}};

}  // namespace

const KelProcSpec kelShredXMLSpec = {"kelShredXML", kShredLayouts, 1, shredWorker};
const KelProcSpec kelInsertXMLSpec = {"kelInsertXML", kInsertLayouts, 1, insertWorker};

extern "C" SQL_API_EXPORT int kelShredXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca) {
  (void)reserved1;
  (void)reserved2;
  return kelDariFrame(kelShredXMLSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelShredXML_STP(void *dadBuf, void *xmlObj, sqlint32 *returnCode, char *returnMsg,
                                              short *dadBufInd, short *xmlObjInd, short *returnCodeInd,
                                              short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                              char *diagMsg) {
  void *values[] = {dadBuf, xmlObj, returnCode, returnMsg};
  short *inds[] = {dadBufInd, xmlObjInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelShredXMLSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelInsertXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca) {
  (void)reserved1;
  (void)reserved2;
  return kelDariFrame(kelInsertXMLSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelInsertXML_STP(char *collectionName, void *xmlObj, sqlint32 *returnCode,
                                               char *returnMsg, short *collectionNameInd, short *xmlObjInd,
                                               short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                               char *procName, char *specName, char *diagMsg) {
  void *values[] = {collectionName, xmlObj, returnCode, returnMsg};
  short *inds[] = {collectionNameInd, xmlObjInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelInsertXMLSpec, values, inds, sqlstate, procName, specName, diagMsg);
}
