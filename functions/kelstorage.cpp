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

#include <unicode/ucnv.h>

#include "kelaccess.h"
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

/*
 * The application side of a read without an encoding argument: the call's own code pages, or,
 * for a file whose byte-order mark or declaration names another encoding (kelEncodingOfFile),
 * code pages set up for that encoding as an encoding argument sets them up (initICU), in place
 * of the call's own for the life of the object.  Read in the application code page, such a file
 * became another document: a UTF-16 one substitution characters and zero bytes, a UTF-8 one
 * under a Latin-1 locale mojibake under a declaration still saying UTF-8.
 *
 * Following (follow true), the object inspects the file the reader opens (KelReadFileInspector)
 * and sets the code pages up before the reader converts a byte: the encoding is the one of the
 * bytes that are read.  Looking at the file by a first open of its own read a file replaced in
 * between in the encoding of the other one.
 */
class FileEncoding : public KelReadFileInspector {
 public:
  FileEncoding(KelCallContext *ctx, const char *fileName, bool follow)
      : ctx_(ctx), own_(ctx->codePages), fileName_(fileName), follow_(follow) {}
  ~FileEncoding() override {
    if (ctx_->codePages == own_) return;
    KelCodePages *cp = ctx_->codePages;
    if (cp->dbConverter != nullptr) ucnv_close(cp->dbConverter);
    if (cp->appConverter != nullptr && cp->appConverter != cp->dbConverter) ucnv_close(cp->appConverter);
    std::free(cp);
    ctx_->codePages = own_;
  }

  // Sets up the code pages the opened file's first bytes ask for; only the first file opened is
  // looked at.  Returns 0; -1 with KELG008E and "38X38" when no converter reads the encoding
  // named (refused() then gives its name) or KELG002E when memory runs out.
  int inspect(KelReadFile &file, char *sqlstate, int *msgNo) override {
    if (!follow_) return 0;
    follow_ = false;
    char head[KEL_DECLARATION_BYTES];
    int64_t got = file.readAt(head, sizeof head, 0);
    if (got <= 0 || kelEncodingOfFile(ctx_, head, static_cast<int32_t>(got), name_, sizeof name_) == 0) return 0;
    KEL_TRACE(ctx_, "file %s read as %s\n", fileName_, name_);
    auto *cp = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    if (cp == nullptr) return kelFailNumber(msgNo, sqlstate, KELG002E);
    ctx_->codePages = cp;
    const KelCodePageRequest request{KEL_CP_FUNCTION_MODE, own_->dbCodePage, nullptr};
    if (initICU(ctx_, KEL_CP_FUNCTION_MODE, &request, name_) != 0) {
      refused_ = true;
      return kelFailNumber(msgNo, sqlstate, KELG008E);
    }
    return 0;
  }

  // The encoding named that no converter reads, when the read failed for it; else null.
  const char *refused() const { return refused_ ? name_ : nullptr; }

 private:
  KelCallContext *ctx_;
  KelCodePages *own_;
  const char *fileName_;
  bool follow_;
  bool refused_ = false;
  char name_[KEL_MAX_LOCALE_NAME] = "";
};

// The bytes of a byte-order mark (U+FEFF) in a UTF-8 database at the start of a value read,
// or 0.  A mark is no part of the document: reading UTF-16LE kept it while UTF-16BE dropped it.
size_t leadingMark(const KelCallContext *ctx, const char *value, size_t n) {
  if (!kelIsUtf8CodePage(ctx->codePages->dbCodePage)) return 0;
  return n >= 3 && std::memcmp(value, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
}

// XMLVarcharFromFile: the file's text, converted to the database code page; without an
// encoding argument (followFile) in the encoding the file names, if any.
void varcharFromFile(const char *fileName, const short *fileInd, bool followFile, char *out, short *outInd,
                     char *sqlstate, char *msg, KelUdfScratch *sp) {
  if (fileName == nullptr || isNull(fileInd)) {
    KEL_TRACE(sp->ctx, "filename is null\n");
    kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  kelSetState(sqlstate, "00000");
  FileEncoding encoding(sp->ctx, fileName, followFile);
  int32_t length = 0;
  if (kel_file2varchar(sp->ctx, fileName, out, KEL_MAX_VARCHAR_FILE + 1, sqlstate, msg, &length, true) != 0) {
    // The reader formatted the entry without the encoding's name.
    if (const char *name = encoding.refused()) kelFail(sp->ctx, msg, sqlstate, KELG008E, name);
    return;
  }
  if (size_t mark = leadingMark(sp->ctx, out, static_cast<size_t>(length))) {
    std::memmove(out, out + mark, static_cast<size_t>(length) - mark);
    out[length - mark] = '\0';
  }
  *outInd = 0;
}

// Replaces *loc by a large object without the byte-order mark its value begins with, if any
// (leadingMark).  Returns 0; -1 with KELC004E and its state when the value cannot be copied.
int dropLeadingMark(KelCallContext *ctx, udf_locator **loc, char *sqlstate, int *msgNo) {
  sqlint32 length = 0, got = 0;
  unsigned char piece[4096];
  if (sqludf_length(*loc, &length) != 0 || length < 3) return 0;
  if (sqludf_substr(*loc, 1, 3, piece, &got) != 0 || got != 3 ||
      leadingMark(ctx, reinterpret_cast<char *>(piece), 3) == 0)
    return 0;
  udf_locator *rest = nullptr;
  if (sqludf_create_locator(SQL_TYP_CLOB_LOC, &rest) != 0) return kelFailNumber(msgNo, sqlstate, KELC004E);
  for (sqlint32 at = 4; at <= length; at += got) {
    sqlint32 appended = 0;
    if (sqludf_substr(*loc, at, std::min<sqlint32>(sizeof piece, length - at + 1), piece, &got) != 0 || got <= 0 ||
        sqludf_append(rest, piece, got, &appended) != 0 || appended != got)
      return kelFailNumber(msgNo, sqlstate, KELC004E);
  }
  *loc = rest;
  return 0;
}

// XMLCLOBFromFile: the file's text in a new large object; without an encoding argument
// (followFile) in the encoding the file names, if any.
void clobFromFile(const char *fileName, const short *fileInd, bool nullIsError, bool followFile, udf_locator *out,
                  short *outInd, char *sqlstate, char *msg, KelUdfScratch *sp) {
  if (fileName == nullptr || isNull(fileInd)) {
    KEL_TRACE(sp->ctx, "filename is null\n");
    if (nullIsError) kelFail(nullptr, nullptr, sqlstate, KELG004E);  // a NULL argument: the state alone
    return;
  }
  kelSetState(sqlstate, "00000");
  FileEncoding encoding(sp->ctx, fileName, followFile);
  udf_locator *loc = nullptr;
  int msgNo = 0;
  int rc = kel_file2locator(sp->ctx, fileName, &loc, sqlstate, &msgNo, true);
  KEL_TRACE(sp->ctx, "call kel_file2locator() return rc=%d\n", rc);
  if (rc == 0) rc = dropLeadingMark(sp->ctx, &loc, sqlstate, &msgNo);
  if (rc == 0) {
    *out = *loc;
    *outInd = 0;
    return;
  }
  if (const char *name = encoding.refused()) {
    kelFail(sp->ctx, msg, sqlstate, KELG008E, name);
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
                varcharFromFile(fileName, fileInd, true, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelXMLVarcharFromFile2(char *fileName, char *encoding, char *out, short *fileInd,
                                                      short *encodingInd, short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                varcharFromFile(fileName, fileInd, false, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelCLOB(char *fileName, udf_locator *out, short *fileInd, short *outInd,
                                       SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, false, nullptr, nullptr, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobFromFile(fileName, fileInd, false, true, out, outInd, KEL_TRAIL_IN, sp);
              });
}

extern "C" SQL_API_EXPORT void kelXMLCLOBFromFile2(char *fileName, char *encoding, udf_locator *out,
                                                   short *fileInd, short *encodingInd, short *outInd,
                                                   SQLUDF_TRAIL_ARGS_ALL) {
  storageCall(sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo, true, encoding, encodingInd, sqludf_sqlstate,
              sqludf_msgtext, outInd, [&](KelUdfScratch *sp) {
                clobFromFile(fileName, fileInd, true, false, out, outInd, KEL_TRAIL_IN, sp);
              });
}

namespace {

// True when a writer without an encoding argument must write or complete the declaration of
// a document: the application code page is not UTF-8, which a document without a declaration
// or without an encoding in it would be read as, or the document's declaration names another
// encoding than that of the bytes written (kelDeclaresOtherEncoding: a document read with an
// encoding argument keeps the name of the file's encoding over database bytes).  head holds
// the first length bytes of the document, which is empty when length is 0.
bool needsDeclaration(KelCallContext *ctx, const char *head, int32_t length) {
  if (length <= 0) return false;
  return !kelIsUtf8CodePage(ctx->codePages->appCodePage) || kelDeclaresOtherEncoding(ctx, head, length);
}

// Writes an XMLVarchar document to a server file: in the application code page (form 1, the
// bytes unchanged when both code pages are equal), or with its XML declaration rewritten to
// name the application encoding (form 2).  Form 1 rewrites the declaration too when the bytes
// written need it (needsDeclaration).  The file name becomes the result.
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
  if (!rewriteDeclaration) rewriteDeclaration = needsDeclaration(sp->ctx, doc, length);
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

// needsDeclaration for the large object's first bytes.  A value that cannot be read gives
// false; the write that follows reads it again and reports the failure.
bool clobNeedsDeclaration(KelCallContext *ctx, udf_locator *doc) {
  sqlint32 length = 0;
  if (sqludf_length(doc, &length) != 0 || length <= 0) return false;
  char head[KEL_DECLARATION_BYTES];
  sqlint32 want = std::min<sqlint32>(length, KEL_DECLARATION_BYTES), got = 0;
  if (sqludf_substr(doc, 1, want, reinterpret_cast<unsigned char *>(head), &got) != 0 || got <= 0 || got > want)
    return false;
  return needsDeclaration(ctx, head, got);
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
  if (!rewriteDeclaration) rewriteDeclaration = clobNeedsDeclaration(sp->ctx, doc);
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
