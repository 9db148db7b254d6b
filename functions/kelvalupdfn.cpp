/*
 * kelvalupdfn.cpp - the validate, validateschema and update functions and the validation report
 * table functions (validateReport, validateReportSchema): 21 entries over the three document
 * sources (XMLFile, XMLVarchar, XMLCLOB), generated from the function table, each one line
 * around one of four workers.  The statement's validation and update engines
 * live in the scratchpad from their first use to the final call.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>

#include "kelSgDoc.h"
#include "kelaccess.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelfnframe.h"
#include "kelfunctab.h"
#include "kellob.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "kelupdate.h"
#include "kelvalidate.h"
#include "sqludf.h"

namespace {

enum class Source { File, Varchar, Clob };
// What the second argument of a validation function is.
enum class Check { DtdFile, DtdText, Schema };

// Largest update result of an XMLCLOB or XMLFile document, in bytes with a terminator.
constexpr int32_t kLobLimit = 2000000000;
// Bytes of an XMLFile value (a file name) without its terminator.
constexpr size_t kFileNameBytes = 512;

struct Call {
  char *sqlstate;
  char *msg;
  KelUdfScratch *sp;
  const sqlint32 *callType;
};

bool isNull(const void *arg, const short *ind) {
  return arg == nullptr || (ind != nullptr && *ind < 0);
}

/*
 * The document of one row as the engines read it: a server file, text in memory, or the call's
 * temporary file (a CLOB or a text above the memory threshold), removed when the row is done.
 */
struct Document {
  const char *text = nullptr;
  size_t length = 0;  // bytes of a text in memory
  int inMemory = KEL_DOC_IN_MEMORY;
  int cpFlag = 1;
  char *owned = nullptr;  // a CLOB's text, or its temporary file's name
  std::unique_ptr<KelTempFile> temp;
  Document() = default;
  Document(const Document &) = delete;
  Document &operator=(const Document &) = delete;
  ~Document() {
    if (owned == nullptr) return;
    if (inMemory == KEL_DOC_OWN_FILE) std::remove(owned);
    std::free(owned);
  }
};

/*
 * Prepares the row's document: a file name is read as a server file in the encoding it declares
 * (code-page flag 0); text and CLOB documents in the database code page (flag 1), from memory
 * or, above the memory threshold, from a temporary file.  Returns false with sqlstate and msg.
 */
bool prepareDocument(const Call &c, Source source, void *doc, Document *d) {
  KelCallContext *ctx = c.sp->ctx;
  switch (source) {
    case Source::File:
      d->text = static_cast<const char *>(doc);
      d->inMemory = KEL_DOC_SERVER_FILE;
      d->cpFlag = 0;
      return true;
    case Source::Varchar: {
      d->text = static_cast<const char *>(doc);
      d->length = std::strlen(d->text);
      if (static_cast<int64_t>(d->length) <= ctx->fileThreshold) return true;
      d->temp = std::make_unique<KelTempFile>(ctx);
      if (!d->temp->ok()) {
        kelFailWithState(ctx, c.msg, c.sqlstate, "38X03", KELC012E);
        return false;
      }
      if (kel_buf2file(ctx, d->text, static_cast<int64_t>(d->length), d->temp->name(), c.sqlstate,
                       c.msg, false) != 0)
        return false;
      d->text = d->temp->name();
      d->inMemory = KEL_DOC_OWN_FILE;
      return true;
    }
    case Source::Clob: {
      int inMemory = 1;
      int64_t length = 0;
      if (kelGetDataFromClob(ctx, static_cast<udf_locator *>(doc), &d->owned, &inMemory, c.sqlstate,
                             c.msg, &length) < 0)
        return false;
      d->inMemory = inMemory == 1 ? KEL_DOC_IN_MEMORY : KEL_DOC_OWN_FILE;
      d->length = static_cast<size_t>(length);
      d->text = d->owned;
      return true;
    }
  }
  return false;
}

template <class Engine>
Engine *engineOf(const Call &c, Engine **slot) {
  if (*slot == nullptr) *slot = new (std::nothrow) Engine(c.sp->ctx);
  if (*slot == nullptr) kelFail(c.sp->ctx, c.msg, c.sqlstate, KELG002E);
  return *slot;
}

// ---- validate and validateschema -------------------------------------------------------------

// The second argument of a validation function, ready for the engine.
struct CheckArg {
  const char *dtd = nullptr;  // none: the DTD the DOCTYPE names
  int dtdWhere = KEL_DTD_SERVER_FILE;
  int dtdEncFlag = 0;
  Document dtdText;
  std::u16string location;  // the schema location
};

/*
 * The DTD: a file name (empty: the one the DOCTYPE names), or the text of a large object; or
 * the schema location.  Returns false with sqlstate and msg: KELC002E/"38X02" a DTD file outside
 * the readable directories, KELC000E/"38X00" one that cannot be opened, KELD000E a location
 * that does not convert.
 */
bool prepareCheck(const Call &c, Check check, void *arg, CheckArg *a) {
  KelCallContext *ctx = c.sp->ctx;
  if (check == Check::DtdFile) {
    const char *name = static_cast<const char *>(arg);
    if (name[0] != '\0') {
      // The parse opens the file (checked) for every document that asks for it; here only
      // whether it can be read at all, asked again when the statement names another file.
      if (c.sp->dtd == nullptr || std::strcmp(c.sp->dtd, name) != 0) {
        KelReadFile file;
        int msgNo = 0;
        if (file.open(ctx, name, true, c.sqlstate, &msgNo) < 0) {
          KEL_TRACE(ctx, "cannot open dtd file:'%s'.\n", name);
          kelFail(ctx, c.msg, c.sqlstate, msgNo == KELC002E ? KELC002E : KELC000E);
          return false;
        }
        std::free(c.sp->dtd);
        c.sp->dtd = strdup(name);  // none when memory is short: asked again next row
      }
      a->dtd = name;
    }
  } else if (check == Check::DtdText) {
    if (!prepareDocument(c, Source::Clob, arg, &a->dtdText)) return false;
    a->dtd = a->dtdText.text;
    a->dtdWhere = a->dtdText.inMemory == KEL_DOC_IN_MEMORY ? KEL_DTD_TEXT : KEL_DTD_OWN_FILE;
    a->dtdEncFlag = 1;
  } else {
    // The location in UTF-16 units: never fewer than the bytes of its text in any code page.
    const char *text = static_cast<const char *>(arg);
    a->location.assign(std::strlen(text) + 1, u'\0');
    int32_t n = KEL_mbstowcsFunction(ctx, a->location.data(), text, static_cast<int32_t>(a->location.size()));
    if (n < 0) {
      kelFail(ctx, c.msg, c.sqlstate, KELD000E);
      return false;
    }
    a->location.resize(static_cast<size_t>(n));
  }
  return true;
}

/*
 * One row of a validation function: *out 1 for a valid document with indicator 0; 0 with
 * indicator 0, KELQ047E and "38X13" for an invalid one; NULL (indicator -1) without an error
 * when an argument is NULL; 0 with indicator -1 and the failure's message for anything else.
 */
void validateRow(const Call &c, Source source, Check check, void *doc, const short *docInd,
                 void *arg, const short *argInd, const char *dtdId, const short *idInd,
                 sqlint32 *out, short *outInd) {
  KelCallContext *ctx = c.sp->ctx;
  *out = 0;
  kelSetState(c.sqlstate, "00000");
  if (isNull(doc, docInd) || isNull(arg, argInd) ||
      (check != Check::Schema && isNull(dtdId, idInd))) {
    KEL_TRACE(ctx, "got null input.\n");
    return;
  }
  KelValidation *validation = engineOf(c, &c.sp->validation);
  if (validation == nullptr) return;
  KelValidator *validator = &validation->validator;

  CheckArg a;
  if (!prepareCheck(c, check, arg, &a)) return;

  Document d;
  if (!prepareDocument(c, source, doc, &d)) return;
  *out = check == Check::Schema
             ? validator->validateSchema(d.text, d.length, d.inMemory, d.cpFlag, a.location.c_str(),
                                         c.sqlstate, c.msg)
             : validator->validate(d.text, d.length, d.inMemory, d.cpFlag, a.dtd, a.dtdEncFlag, dtdId,
                                   c.sqlstate, c.msg, a.dtdWhere);
  *outInd = 0;
}

void runValidate(Source source, Check check, void *doc, void *arg, const char *dtdId, sqlint32 *out,
                 const short *docInd, const short *argInd, const short *idInd, short *outInd,
                 char *sqlstate, char *msg, sqludf_scratchpad *scratchpad, const sqlint32 *callType,
                 const sqludf_dbinfo *dbinfo) {
  KelUdfScratch *sp = kelUdfEnter(scratchpad, callType, dbinfo, nullptr, sqlstate, msg, outInd);
  if (sp == nullptr) return;
  Call c{sqlstate, msg, sp, callType};
  validateRow(c, source, check, doc, docInd, arg, argInd, dtdId, idInd, out, outInd);
  KEL_TRACE(sp->ctx, "Exit: calltype=%d rc=%d result=%d sqlstate=%s\n", *callType, *outInd, *out,
            sqlstate);
  kelUdfLeave(sp, callType, sqlstate, msg, false);
}

// ---- validateReport and validateReportSchema --------------------------------------------------

// The columns of a report row and their indicators.
struct ReportOut {
  sqlint32 *seq, *line, *col;
  char *path, *message;  // KEL_REPORT_TEXT_BYTES + 1 bytes each, as registered
  short *seqInd, *lineInd, *colInd, *pathInd, *messageInd;
};

/*
 * Open: the report of one document, its rows kept until close.  A NULL document or DTD gives
 * an empty table; a document or DTD file that cannot be read fails the statement with its
 * message, as validate does.
 */
void openReport(const Call &c, Source source, Check check, void *doc, const short *docInd, void *arg,
                const short *argInd) {
  kelSetState(c.sqlstate, "00000");
  KelValidation *v = engineOf(c, &c.sp->validation);
  if (v == nullptr) return;
  v->rows = nullptr;
  v->nextRow = 0;
  if (isNull(doc, docInd) || isNull(arg, argInd)) return;
  CheckArg a;
  if (!prepareCheck(c, check, arg, &a)) return;
  Document d;
  if (!prepareDocument(c, source, doc, &d)) return;
  int rc = check == Check::Schema
               ? v->validator.reportSchema(d.text, d.length, d.inMemory, d.cpFlag, a.location.c_str(), &v->report,
                                           c.sqlstate, c.msg)
               : v->validator.report(d.text, d.length, d.inMemory, d.cpFlag, a.dtd, a.dtdEncFlag, "", a.dtdWhere,
                                     &v->report, c.sqlstate, c.msg);
  if (rc < 0) return;
  v->rows = &v->report.finish();
}

// Fetch: the next row, SEQ counting from 1, or the end of the table.
void fetchReport(const Call &c, const ReportOut &o) {
  *o.seqInd = *o.lineInd = *o.colInd = *o.pathInd = *o.messageInd = -1;
  KelValidation *v = c.sp->validation;
  if (v == nullptr || v->rows == nullptr || v->nextRow >= v->rows->size()) {
    kelSetState(c.sqlstate, SQLUDF_STATE_EOT);
    return;
  }
  const KelReportRow &r = (*v->rows)[v->nextRow++];
  *o.seq = static_cast<sqlint32>(v->nextRow);
  *o.line = r.line;
  *o.col = r.column;
  std::snprintf(o.path, KEL_REPORT_TEXT_BYTES + 1, "%s", r.path.c_str());
  std::snprintf(o.message, KEL_REPORT_TEXT_BYTES + 1, "%s", r.message.c_str());
  *o.seqInd = *o.lineInd = *o.colInd = *o.pathInd = *o.messageInd = 0;
  kelSetState(c.sqlstate, "00000");
}

void runReport(Source source, Check check, void *doc, void *arg, const ReportOut &o, const short *docInd,
               const short *argInd, char *sqlstate, char *msg, sqludf_scratchpad *scratchpad,
               const sqlint32 *callType, const sqludf_dbinfo *dbinfo) {
  if (scratchpad == nullptr || callType == nullptr) return;
  KelUdfScratch *sp = kelUdfScratchOf(scratchpad);
  Call c{sqlstate, msg, sp, callType};
  switch (*callType) {
    case SQLUDF_TF_FIRST:
      kelUdfBegin(sp, dbinfo, nullptr, sqlstate, msg);
      break;
    case SQLUDF_TF_OPEN:
      if (sp->ctx != nullptr) openReport(c, source, check, doc, docInd, arg, argInd);
      break;
    case SQLUDF_TF_FETCH:
      fetchReport(c, o);
      break;
    case SQLUDF_TF_CLOSE:
      if (sp->validation != nullptr) sp->validation->rows = nullptr;
      kelSetState(sqlstate, "00000");
      break;
    case SQLUDF_TF_FINAL:
      kelUdfEnd(sp);
      break;
    default:
      kelSetState(sqlstate, "00000");
      break;
  }
  kelUdfLeaveMessage(msg);
}

// ---- update ----------------------------------------------------------------------------------

/*
 * One row of an update function: the updated document (XMLVarchar text, a new CLOB, or the
 * same file rewritten and its name) with indicator 0; NULL without an error when an argument is
 * NULL; NULL with the failure's message otherwise.
 */
void updateRow(const Call &c, Source source, void *doc, const short *docInd, const char *path,
               const short *pathInd, const char *value, const short *valueInd, void *out,
               short *outInd) {
  KelCallContext *ctx = c.sp->ctx;
  if (isNull(doc, docInd) || isNull(path, pathInd) || isNull(value, valueInd)) {
    KEL_TRACE(ctx, "got null input.\n");
    return;
  }
  kelSetState(c.sqlstate, "00000");
  KelUpdater *updater = engineOf(c, &c.sp->updater);
  if (updater == nullptr) return;
  std::string result;
  switch (source) {
    case Source::Varchar: {
      const char *text = static_cast<const char *>(doc);
      if (updater->updateBuffer(text, std::strlen(text), path, value, &result, KEL_MAX_VARCHAR_FILE,
                                c.sqlstate, c.msg) < 0)
        return;
      char *dest = static_cast<char *>(out);  // KEL_MAX_VARCHAR_FILE + 1 bytes, as registered
      std::memcpy(dest, result.data(), result.size());
      dest[result.size()] = '\0';
      break;
    }
    case Source::Clob: {
      Document d;
      if (!prepareDocument(c, source, doc, &d)) return;
      if (updater->updateText(d.text, d.length, d.inMemory, d.cpFlag, path, value, false, &result,
                              kLobLimit, c.sqlstate, c.msg) < 0)
        return;
      udf_locator *loc = nullptr;
      if (kel_buf2locator(ctx, result.data(), static_cast<int32_t>(result.size()), &loc, c.sqlstate,
                          c.msg) != 0)
        return;
      *static_cast<udf_locator *>(out) = *loc;
      break;
    }
    case Source::File: {
      // Read from an allowed read directory in the encoding the file declares, written back in
      // the database code page with a declaration that says so: a new file in the same
      // directory renamed over the old one once every byte is written (an allowed write
      // directory, checked on what is opened), so a failed write keeps the old document.
      // A file that cannot be read, or may not be written, is refused before it is parsed.
      // The file read is the file rewritten: the real path the read checked on its descriptor
      // is parsed and written (through a symbolic link the writer would have replaced the link
      // by a new file and left its target as it was).  A file with more than one hard link is
      // refused (KELC003E): the rename would give the new document to this name alone.
      const char *name = static_cast<const char *>(doc);
      std::string real;
      {
        KelReadFile probe;
        int msgNo = 0;
        if (probe.open(ctx, name, true, c.sqlstate, &msgNo) < 0) {
          kelFail(ctx, c.msg, c.sqlstate, msgNo);
          return;
        }
        struct stat st {};
        if (::fstat(probe.fd(), &st) != 0 || st.st_nlink != 1) {
          KEL_TRACE(ctx, "%s has %ld links, not rewritten\n", name, static_cast<long>(st.st_nlink));
          kelFail(ctx, c.msg, c.sqlstate, KELC003E);
          return;
        }
        real = probe.realPath();
      }
      if (kelCheckAccess(ctx, KEL_ACCESS_WRITE, real.c_str(), c.sqlstate, c.msg) < 0) return;
      if (updater->updateText(real.c_str(), 0, KEL_DOC_SERVER_FILE, 0, path, value, true, &result,
                              kLobLimit, c.sqlstate, c.msg) < 0)
        return;
      if (kel_buf2file(ctx, result.data(), static_cast<int64_t>(result.size()), real.c_str(),
                       c.sqlstate, c.msg, true) != 0)
        return;
      std::snprintf(static_cast<char *>(out), kFileNameBytes + 1, "%s", name);
      break;
    }
  }
  *outInd = 0;
}

void runUpdate(Source source, void *doc, const char *path, const char *value, void *out,
               const short *docInd, const short *pathInd, const short *valueInd, short *outInd,
               char *sqlstate, char *msg, sqludf_scratchpad *scratchpad, const sqlint32 *callType,
               const sqludf_dbinfo *dbinfo) {
  KelUdfScratch *sp = kelUdfEnter(scratchpad, callType, dbinfo, nullptr, sqlstate, msg, outInd);
  if (sp == nullptr) return;
  Call c{sqlstate, msg, sp, callType};
  updateRow(c, source, doc, docInd, path, pathInd, value, valueInd, out, outInd);
  KEL_TRACE(sp->ctx, "Exit: calltype=%d rc=%d sqlstate=%s\n", *callType, *outInd, sqlstate);
  kelUdfLeave(sp, callType, sqlstate, msg, true);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The exported entries, generated from the function table (routine/kelfunctab.h).

#define KEL_DOC_File char *doc
#define KEL_DOC_Varchar char *doc
#define KEL_DOC_Clob udf_locator *doc
#define KEL_RESULT_File char
#define KEL_RESULT_Varchar char
#define KEL_RESULT_Clob udf_locator
#define KEL_TRAIL_PASS \
  sqludf_sqlstate, sqludf_msgtext, sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo

#define KEL_VALIDATE_ENTRY(src, param, specific, entry)                                           \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, char *dtd, char *dtdId, sqlint32 *out,      \
                                       short *docInd, short *dtdInd, short *idInd, short *outInd, \
                                       SQLUDF_TRAIL_ARGS_ALL) {                                   \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {       \
      runValidate(Source::src, Check::DtdFile, doc, dtd, dtdId, out, docInd, dtdInd, idInd, outInd, \
                  KEL_TRAIL_PASS);                                                                  \
    });                                                                                             \
  }
#define KEL_VALIDATE_DTD_ENTRY(src, param, specific, entry)                                       \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, udf_locator *dtd, char *dtdId,              \
                                       sqlint32 *out, short *docInd, short *dtdInd, short *idInd, \
                                       short *outInd, SQLUDF_TRAIL_ARGS_ALL) {                    \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {       \
      runValidate(Source::src, Check::DtdText, doc, dtd, dtdId, out, docInd, dtdInd, idInd, outInd, \
                  KEL_TRAIL_PASS);                                                                  \
    });                                                                                             \
  }
#define KEL_VALIDATESCHEMA_ENTRY(src, param, specific, entry)                                 \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, char *location, sqlint32 *out,          \
                                       short *docInd, short *locationInd, short *outInd,      \
                                       SQLUDF_TRAIL_ARGS_ALL) {                               \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {   \
      runValidate(Source::src, Check::Schema, doc, location, nullptr, out, docInd, locationInd, \
                  nullptr, outInd, KEL_TRAIL_PASS);                                             \
    });                                                                                         \
  }
#define KEL_UPDATE_ENTRY(src, param, returns, specific, entry)                                  \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, char *path, char *value,                  \
                                       KEL_RESULT_##src *out, short *docInd, short *pathInd,    \
                                       short *valueInd, short *outInd, SQLUDF_TRAIL_ARGS_ALL) { \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] { \
      runUpdate(Source::src, doc, path, value, out, docInd, pathInd, valueInd, outInd,        \
                KEL_TRAIL_PASS);                                                              \
    });                                                                                       \
  }

#define KEL_REPORT_ENTRY(src, check, ArgType, entry)                                                  \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, ArgType *arg, sqlint32 *seq, sqlint32 *line,     \
                                       sqlint32 *col, char *path, char *message, short *docInd,        \
                                       short *argInd, short *seqInd, short *lineInd, short *colInd,    \
                                       short *pathInd, short *messageInd, SQLUDF_TRAIL_ARGS_ALL) {     \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {           \
      runReport(Source::src, Check::check, doc, arg,                                                    \
                ReportOut{seq, line, col, path, message, seqInd, lineInd, colInd, pathInd, messageInd}, \
                docInd, argInd, KEL_TRAIL_PASS);                                                        \
    });                                                                                                 \
  }
#define KEL_REPORT_FILE_ENTRY(src, param, specific, entry) KEL_REPORT_ENTRY(src, DtdFile, char, entry)
#define KEL_REPORT_DTD_ENTRY(src, param, specific, entry) KEL_REPORT_ENTRY(src, DtdText, udf_locator, entry)
#define KEL_REPORT_SCHEMA_ENTRY(src, param, specific, entry) KEL_REPORT_ENTRY(src, Schema, char, entry)

KEL_VALIDATE_FUNCTIONS(KEL_VALIDATE_ENTRY)
KEL_VALIDATE_DTD_FUNCTIONS(KEL_VALIDATE_DTD_ENTRY)
KEL_VALIDATESCHEMA_FUNCTIONS(KEL_VALIDATESCHEMA_ENTRY)
KEL_UPDATE_FUNCTIONS(KEL_UPDATE_ENTRY)
KEL_VALIDATE_REPORT_FUNCTIONS(KEL_REPORT_FILE_ENTRY)
KEL_VALIDATE_REPORT_DTD_FUNCTIONS(KEL_REPORT_DTD_ENTRY)
KEL_VALIDATE_REPORT_SCHEMA_FUNCTIONS(KEL_REPORT_SCHEMA_ENTRY)
