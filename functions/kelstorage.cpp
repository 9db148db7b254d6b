/*
 * kelstorage.cpp - the storage functions, which move documents between server files,
 * character values and large objects, and seqno(), the sequence number of the side-table
 * triggers.  Every server file a storage function reads or writes is checked against the
 * directories the instance allows.
 */
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelfnframe.h"
#include "kellob.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "sqludf.h"

namespace {

bool isNull(const short *ind) { return ind != nullptr && *ind < 0; }

/*
 * The frame's entry steps for one call (kelUdfEnter), with the encoding argument of the "2"
 * entries (withEncoding), which must not be NULL on the first call.
 */
KelUdfScratch *enter(sqludf_scratchpad *scratchpad, const sqlint32 *callType, const sqludf_dbinfo *dbinfo,
                     bool withEncoding, const char *encoding, const short *encodingInd, char *sqlstate,
                     char *msg, short *outInd) {
  if (scratchpad == nullptr || callType == nullptr) return nullptr;
  if (withEncoding && kelUdfFirstCall(callType) && (encoding == nullptr || isNull(encodingInd))) {
    *outInd = -1;
    kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return nullptr;
  }
  return kelUdfEnter(scratchpad, callType, dbinfo, withEncoding ? encoding : nullptr, sqlstate, msg, outInd);
}

// Leaving: a failed first call drops the context, so that the final call finds none.
void leave(KelUdfScratch *sp, const sqlint32 *callType, const char *sqlstate, char *msg, short outInd) {
  KEL_TRACE(sp->ctx, "Exit: calltype=%d rc=%d sqlstate=%s\n", *callType, outInd, sqlstate);
  kelUdfLeave(sp, callType, sqlstate, msg, false);
}

// One call of a storage function: the frame's entry and exit around body(sp), and nothing
// thrown out of it.
template <class Body>
void storageCall(sqludf_scratchpad *scratchpad, const sqlint32 *callType, const sqludf_dbinfo *dbinfo,
                 bool withEncoding, const char *encoding, const short *encodingInd, char *sqlstate, char *msg,
                 short *outInd, Body &&body) {
  kelUdfGuarded(scratchpad, callType, sqlstate, msg, [&] {
    KelUdfScratch *sp =
        enter(scratchpad, callType, dbinfo, withEncoding, encoding, encodingInd, sqlstate, msg, outInd);
    if (sp == nullptr) return;
    body(sp);
    leave(sp, callType, sqlstate, msg, *outInd);
  });
}

// XMLVarcharFromFile: the file's text, converted to the database code page.
void varcharFromFile(const char *fileName, const short *fileInd, char *out, short *outInd, char *sqlstate,
                     char *msg, KelUdfScratch *sp) {
  if (fileName == nullptr || isNull(fileInd)) {
    KEL_TRACE(sp->ctx, "filename is null\n");
    kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  kelSetState(sqlstate, "00000");
  if (kel_file2varchar(sp->ctx, fileName, out, KEL_MAX_VARCHAR_FILE + 1, sqlstate, msg, nullptr, true) == 0) *outInd = 0;
}

// XMLCLOBFromFile: the file's text in a new large object.
void clobFromFile(const char *fileName, const short *fileInd, bool nullIsError, udf_locator *out, short *outInd,
                  char *sqlstate, char *msg, KelUdfScratch *sp) {
  if (fileName == nullptr || isNull(fileInd)) {
    KEL_TRACE(sp->ctx, "filename is null\n");
    if (nullIsError) kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  kelSetState(sqlstate, "00000");
  udf_locator *loc = nullptr;
  int msgNo = 0;
  int rc = kel_file2locator(sp->ctx, fileName, &loc, sqlstate, &msgNo, true);
  KEL_TRACE(sp->ctx, "call kel_file2locator() return rc=%d\n", rc);
  if (rc == 0) {
    *out = *loc;
    *outInd = 0;
    return;
  }
  std::string code = std::to_string(rc);
  kelSetMessage(sp->ctx, msg, msgNo, std::strcmp(sqlstate, "38X04") == 0 ? code.c_str() : "");
}

// Writes bytes to the file and returns its name as the result.
void finishWrite(KelUdfScratch *sp, const char *data, int64_t length, const char *fileName, char *out,
                 short *outInd, char *sqlstate, char *msg) {
  if (kel_buf2file(sp->ctx, data, length, fileName, sqlstate, msg, true) != 0) return;
  std::snprintf(out, 513, "%s", fileName);
  *outInd = 0;
}

}  // namespace

#define KEL_TRAIL_IN sqludf_sqlstate, sqludf_msgtext

extern "C" SQL_API_EXPORT void kelVarChar(char *fileName, char *out, short *fileInd, short *outInd,
                                          SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, false, nullptr, nullptr, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                varcharFromFile(fileName, fileInd, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelXMLVarcharFromFile2(char *fileName, char *encoding, char *out, short *fileInd,
                                                      short *encodingInd, short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                varcharFromFile(fileName, fileInd, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelCLOB(char *fileName, udf_locator *out, short *fileInd, short *outInd,
                                       SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, false, nullptr, nullptr, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobFromFile(fileName, fileInd, false, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelXMLCLOBFromFile2(char *fileName, char *encoding, udf_locator *out,
                                                   short *fileInd, short *encodingInd, short *outInd,
                                                   SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobFromFile(fileName, fileInd, true, out, outInd, KEL_TRAIL_IN, sp);
              });
}

namespace {

// Writes an XMLVarchar document to a server file: in the application code page (form 1, the
// bytes unchanged when both code pages are equal), or with its XML declaration rewritten to
// name the application encoding (form 2).  Form 1 rewrites the declaration too when it names
// another encoding than that of the bytes written (a document read with an encoding argument
// keeps the name of the file's encoding over database bytes).  The file name becomes the
// result.
void varcharToFile(KelUdfScratch *sp, const char *doc, const short *docInd, const char *fileName,
                   const short *fileInd, bool rewriteDeclaration, char *out, short *outInd, char *sqlstate,
                   char *msg) {
  if (fileName == nullptr || isNull(fileInd)) {
    kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  if (doc == nullptr || isNull(docInd)) return;
  // The file's directory is checked when the file is written (kel_buf2file), on the directory
  // that was opened.
  kelSetState(sqlstate, "00000");
  const KelCodePages *cp = sp->ctx->codePages;
  int32_t length = static_cast<int32_t>(std::strlen(doc));
  if (!rewriteDeclaration) rewriteDeclaration = kelDeclaresOtherEncoding(sp->ctx, doc, length);
  if (!rewriteDeclaration && cp->appCodePage == cp->dbCodePage) {
    finishWrite(sp, doc, length, fileName, out, outInd, sqlstate, msg);
    return;
  }
  std::vector<char> converted(kelAppRoomFor(sp->ctx, static_cast<size_t>(length)));
  int32_t room = static_cast<int32_t>(converted.size());
  int32_t n = rewriteDeclaration ? kelConvBufferQuarnToAppEncoding(sp->ctx, doc, length, converted.data(), room, msg, sqlstate)
              : length == 0     ? 0
                                : convertBufferQuarnToApp(sp->ctx, doc, length, converted.data(), room, msg, sqlstate);
  if (n >= 0) finishWrite(sp, converted.data(), n, fileName, out, outInd, sqlstate, msg);
}

}  // namespace

extern "C" SQL_API_EXPORT void kelContent_varchar2file(char *doc, char *fileName, char *out, short *docInd,
                                                       short *fileInd, short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, false, nullptr, nullptr, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                varcharToFile(sp, doc, docInd, fileName, fileInd, false, out, outInd, KEL_TRAIL_IN);
              });
}

extern "C" SQL_API_EXPORT void kelXMLFileFromVarchar2(char *doc, char *fileName, char *encoding, char *out,
                                                      short *docInd, short *fileInd, short *encodingInd,
                                                      short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                varcharToFile(sp, doc, docInd, fileName, fileInd, true, out, outInd, KEL_TRAIL_IN);
              });
}

namespace {

// True when the XML declaration at the start of the large object names another encoding than
// the application code page's (kelDeclaresOtherEncoding).  A value that cannot be read gives
// false; the write that follows reads it again and reports the failure.
bool clobDeclaresOtherEncoding(KelCallContext *ctx, udf_locator *doc) {
  sqlint32 length = 0;
  if (sqludf_length(doc, &length) != 0 || length <= 0) return false;
  char head[KEL_DECLARATION_BYTES];
  sqlint32 want = std::min<sqlint32>(length, KEL_DECLARATION_BYTES), got = 0;
  if (sqludf_substr(doc, 1, want, reinterpret_cast<unsigned char *>(head), &got) != 0 || got <= 0 || got > want)
    return false;
  return kelDeclaresOtherEncoding(ctx, head, got);
}

// Writes an XMLCLOB document to a server file, as varcharToFile writes an XMLVarchar one.
void clobToFile(KelUdfScratch *sp, udf_locator *doc, const short *docInd, const char *fileName,
                const short *fileInd, bool rewriteDeclaration, char *out, short *outInd, char *sqlstate, char *msg) {
  if (doc == nullptr || isNull(docInd)) {
    KEL_TRACE(sp->ctx, "locatorP is null\n");
    return;
  }
  if (fileName == nullptr || isNull(fileInd)) {
    kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  kelSetState(sqlstate, "00000");
  if (!rewriteDeclaration) rewriteDeclaration = clobDeclaresOtherEncoding(sp->ctx, doc);
  int rc = rewriteDeclaration ? kel_conv_locator2file2(sp->ctx, doc, fileName, sqlstate, msg, true)
                              : kel_conv_locator2file(sp->ctx, doc, fileName, sqlstate, msg, true);
  if (rc != 0) return;
  std::snprintf(out, 513, "%s", fileName);
  *outInd = 0;
}

}  // namespace

extern "C" SQL_API_EXPORT void kelFile(udf_locator *doc, char *fileName, char *out, short *docInd, short *fileInd,
                                       short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, false, nullptr, nullptr, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobToFile(sp, doc, docInd, fileName, fileInd, false, out, outInd, KEL_TRAIL_IN);
              });
}

extern "C" SQL_API_EXPORT void kelXMLFileFromClob2(udf_locator *doc, char *fileName, char *encoding, char *out,
                                                   short *docInd, short *fileInd, short *encodingInd,
                                                   short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobToFile(sp, doc, docInd, fileName, fileInd, true, out, outInd, KEL_TRAIL_IN);
              });
}

// seqno(): 1, 2, 3, ... within one statement; the counter is the scratchpad's first word.
extern "C" SQL_API_EXPORT void kelSeqno(sqlint32 *out, short *outInd, char *sqludf_sqlstate, char *sqludf_fname,
                                        char *sqludf_fspecname, char *sqludf_msgtext,
                                        struct sqludf_scratchpad *sqludf_scratchpad) {
  if (sqludf_scratchpad == nullptr) return;
  sqlint32 n;
  std::memcpy(&n, sqludf_scratchpad->data, sizeof n);
  ++n;
  std::memcpy(sqludf_scratchpad->data, &n, sizeof n);
  *out = n;
  *outInd = 0;
}
