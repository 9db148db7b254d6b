/*
 * kelextractfn.cpp - the extract functions: 60 entries over three document sources (XMLFile,
 * XMLCLOB, XMLVarchar), ten result types, scalar and table forms, and 24 entries that take the
 * document's DTD.  Every entry is one line around runExtract; the type table below holds what
 * differs between the types.  Beside them, the three explainPath table functions (one line
 * around runExplain each), which read the documents the same way.
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "kelSgDoc.h"
#include "kelcodepage.h"
#include "kelconvert.h"
#include "kelctx.h"
#include "kelexplain.h"
#include "kelextract.h"
#include "kelextractmemo.h"
#include "kelfnframe.h"
#include "kelfunctab.h"
#include "kellob.h"
#include "kelmsg.h"
#include "kelsql.h"
#include "keltrace.h"
#include "kelvalidate.h"
#include "sqludf.h"

namespace {

#define KEL_TYPE_ENUM(Name, ...) Name,
enum class Type { KEL_EXTRACT_TYPES(KEL_TYPE_ENUM) };
#undef KEL_TYPE_ENUM
enum class Source { File, Clob, Varchar };

struct TypeInfo {
  int32_t limit;        // bytes of an item with its terminator (a number's by the scalar form
                        // over a file or an XMLVarchar: limitOf)
  bool trimmed;         // the limit counts the item without the XML white space around it
  bool tagged;          // the selected element with its markup
  size_t resultBytes;   // character results: the result buffer, terminator included
};

constexpr int32_t kClobLimit = 2000000000;

const TypeInfo &infoOf(Type t) {
  static constexpr TypeInfo kVarchar{4000, false, false, 4001}, kChar{254, false, false, 255},
      kClob{kClobLimit, false, true, 0}, kDate{11, true, false, 11}, kTime{9, true, false, 9},
      kTimestamp{27, true, false, 27}, kNumber{4000, true, false, 0};
  switch (t) {
    case Type::Varchar: return kVarchar;
    case Type::Char: return kChar;
    case Type::Clob: return kClob;
    case Type::Date: return kDate;
    case Type::Time: return kTime;
    case Type::Timestamp: return kTimestamp;
    case Type::Double:
    case Type::Real:
    case Type::Integer:
    case Type::Smallint: return kNumber;
  }
  return kVarchar;
}

struct Kind {
  Type type;
  Source source;
  bool table;
  bool dtd;
};

struct Call {
  char *sqlstate;
  char *msg;
  KelUdfScratch *sp;
  int callType;
  const sqludf_dbinfo *dbinfo;
};

bool isNull(const short *ind) { return ind != nullptr && *ind < 0; }

void copyText(char *out, const char *text, size_t maxChars) {
  size_t n = strnlen(text, maxChars);
  std::memcpy(out, text, n);
  out[n] = '\0';
}

/*
 * Stores the extracted text into the result as its type wants it.  Sets *outInd 0 for a value,
 * leaves -1 for NULL (a number that is not one: "00000" without a message).
 */
void storeResult(KelCallContext *ctx, Type type, const char *text, void *out, short *outInd,
                 char *sqlstate, char *msg) {
  const TypeInfo &info = infoOf(type);
  switch (type) {
    case Type::Varchar:
    case Type::Char:
      copyText(static_cast<char *>(out), text, info.resultBytes - 1);
      break;
    case Type::Date:
      copyText(static_cast<char *>(out), text, 10);
      break;
    case Type::Time:
      copyText(static_cast<char *>(out), text, 8);
      break;
    case Type::Timestamp: {
      char ts[KEL_TIMESTAMP_SIZE];
      std::memset(ts, '0', sizeof ts);
      if (normal_tstamp(ctx, text, static_cast<int>(std::strlen(text)), ts) != 0) {
        if (msg) kelSetMessage(ctx, msg, KELQ061E);
        kelMessageState(KELQ061E, sqlstate);
        return;
      }
      // Positions the text did not fill keep their "0"; the fraction always has its point.
      if (ts[19] == '\0') ts[19] = '.';
      for (int i = 0; i < 26; ++i)
        if (ts[i] == '\0') ts[i] = '0';
      std::memcpy(out, ts, 26);
      static_cast<char *>(out)[26] = '\0';
      break;
    }
    case Type::Double:
    case Type::Real: {
      int status = 0;
      double d = kelatof(text, &status);
      if (status != 0) return;
      if (type == Type::Double) *static_cast<double *>(out) = d;
      else if (!kelDoubleToReal(d, static_cast<float *>(out)))
        return;  // beyond REAL: NULL
      break;
    }
    case Type::Integer: {
      int32_t v;
      if (!kelTextToInteger(text, &v)) return;
      *static_cast<sqlint32 *>(out) = v;
      break;
    }
    case Type::Smallint:
      *static_cast<short *>(out) = kelTextToSmallint(text);
      break;
    case Type::Clob: {
      udf_locator *loc = nullptr;
      if (kel_buf2locator(ctx, text, static_cast<int32_t>(std::strlen(text)), &loc, sqlstate, msg) != 0) return;
      *static_cast<udf_locator *>(out) = *loc;
      break;
    }
  }
  *outInd = 0;
}

/*
 * Reads the DTD argument of a with-DTD function at every call into sp->dtd (none for a NULL
 * DTD): each row is read with its own DTD.  When the bytes are those of the last row's, the kept
 * text stays, so the document memo, which keys on it, keeps its answers.  Returns false on
 * failure (KELC004E, KELG002E or the locator's message), with no DTD kept.
 */
bool readDtd(const Call &c, udf_locator *dtd, const short *dtdInd) {
  KelUdfScratch *sp = c.sp;
  if (dtd == nullptr || isNull(dtdInd)) {
    std::free(sp->dtd);
    sp->dtd = nullptr;
    return true;
  }
  sqlint32 length = 0;
  int rc = sqludf_length(dtd, &length);
  if (rc != 0 || length < 0) {
    std::string code = std::to_string(rc);
    kelSetMessage(sp->ctx, c.msg, KELC004E, code.c_str());
    kelMessageState(KELC004E, c.sqlstate);
    std::free(sp->dtd);
    sp->dtd = nullptr;
    return false;
  }
  char *text = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
  if (text == nullptr) {
    std::free(sp->dtd);
    sp->dtd = nullptr;
    kelFail(sp->ctx, c.msg, c.sqlstate, KELG002E);
    return false;
  }
  if (kel_locator2buf(sp->ctx, dtd, text, length, c.sqlstate, c.msg) < 0) {
    std::free(text);
    std::free(sp->dtd);
    sp->dtd = nullptr;
    return false;
  }
  if (sp->dtd != nullptr && std::strlen(sp->dtd) == static_cast<size_t>(length) &&
      std::memcmp(sp->dtd, text, static_cast<size_t>(length)) == 0) {
    std::free(text);
    return true;
  }
  std::free(sp->dtd);
  sp->dtd = text;
  KEL_TRACE(sp->ctx, "rc =%d  dtd...: %.299s\n", rc, sp->dtd);
  return true;
}

/*
 * The document of one row: a file name (checked against the readable directories), the
 * XMLVarchar text, or the CLOB read into memory or a temporary file.  *tempFile is set when the
 * caller must remove a temporary file; *owned when it must free the returned text.
 */
struct Document {
  const char *text = nullptr;
  size_t length = KEL_DOC_TERMINATED;  // bytes of an in-memory document that may hold zero bytes
  char *owned = nullptr;
  bool tempFile = false;
  ~Document() {
    if (owned != nullptr) {
      if (tempFile) std::remove(owned);
      std::free(owned);
    }
  }
};

bool prepareDocument(const Call &c, Source source, void *doc, Document *d) {
  KelUdfScratch *sp = c.sp;
  switch (source) {
    case Source::File:
      // Every row's file is checked when the parse opens it (an allowed directory, a regular
      // file), on the opened descriptor, so the name cannot be switched in between.
      sp->codePageFlag = 0;
      sp->inMemoryFlag = KEL_DOC_SERVER_FILE;
      d->text = static_cast<const char *>(doc);
      return true;
    case Source::Varchar:
      sp->codePageFlag = 1;
      sp->inMemoryFlag = 1;
      d->text = static_cast<const char *>(doc);
      return true;
    case Source::Clob: {
      int inMemory = 1;
      int64_t length = 0;
      if (kelGetDataFromClob(sp->ctx, static_cast<udf_locator *>(doc), &d->owned, &inMemory, c.sqlstate, c.msg,
                             &length) < 0)
        return false;
      sp->codePageFlag = 1;
      sp->inMemoryFlag = inMemory;
      d->tempFile = inMemory == 0;
      // The parse reads every byte of the value: a zero byte is a parse error, not an end.
      if (inMemory == 1) d->length = static_cast<size_t>(length);
      d->text = d->owned;
      return true;
    }
  }
  return false;
}

/*
 * The items of path over an in-memory document from the thread's document memo, or null when
 * the caller extracts by itself (a file, a document the memo does not answer).
 */
const char *const *memoItems(const KelUdfScratch *sp, const Document &d, int tagged,
                             const char *path, int32_t sizeLimit) {
  if (sp->inMemoryFlag != 1) return nullptr;
  size_t length = d.length != KEL_DOC_TERMINATED ? d.length : std::strlen(d.text);
  return kelMemoItems(sp->ctx, d.text, length, sp->dtd, sp->codePageFlag, path, tagged, sizeLimit);
}

// Copies a null-terminated item array into the record as one block; false when out of memory.
bool copyItems(const char *const *items, KelExtractResult *out) {
  size_t count = 0, textBytes = 0;
  for (; items[count] != nullptr; ++count) textBytes += std::strlen(items[count]) + 1;
  const size_t arrayBytes = (count + 1) * sizeof(char *);
  out->items = static_cast<char **>(std::malloc(arrayBytes + textBytes));
  if (out->items == nullptr) return false;
  char *text = reinterpret_cast<char *>(out->items) + arrayBytes;
  for (size_t i = 0; i < count; ++i) {
    size_t n = std::strlen(items[i]) + 1;
    std::memcpy(text, items[i], n);
    out->items[i] = text;
    text += n;
  }
  out->items[count] = nullptr;
  out->cursor = out->items;
  return true;
}

/*
 * The size limit the reading applies to each item.  A type whose limit counts the item without
 * the XML white space around it has its items read whole and measured by fitsLimit.
 */
int32_t readLimit(Type type) {
  const TypeInfo &info = infoOf(type);
  return info.trimmed ? kClobLimit : info.limit;
}

// The XML white space around an item of a trimmed type (a pretty-printed "\n  2005-06-05\n")
// is no part of its value: it is taken away in place.
void trimItem(Type type, char *text) {
  if (!infoOf(type).trimmed) return;
  size_t n = 0;
  const char *begin = kelXmlSpaceTrimmed(text, &n);
  std::memmove(text, begin, n);
  text[n] = '\0';
}

// The bytes an item of k may take with its terminator: a number has 4000 in the scalar form
// over a file or an XMLVarchar and 254 in the table forms and from an XMLCLOB.
int32_t limitOf(const Kind &k) {
  const bool number = k.type == Type::Double || k.type == Type::Real || k.type == Type::Integer ||
                      k.type == Type::Smallint;
  return number && (k.table || k.source == Source::Clob) ? 254 : infoOf(k.type).limit;
}

// True when the item as its type reads it, with its terminator, is within the limit of k;
// otherwise KELC013E with "38X39", as the reading gives for the other types.
bool fitsLimit(const Call &c, const Kind &k, const char *text) {
  const TypeInfo &info = infoOf(k.type);
  size_t n = 0;
  if (info.trimmed) kelXmlSpaceTrimmed(text, &n);
  if (!info.trimmed || n < static_cast<size_t>(limitOf(k))) return true;
  kelFail(c.sp->ctx, c.msg, c.sqlstate, KELC013E);
  return false;
}

// The opened table's items are all within the type's limit; otherwise it has no rows.
void checkItems(const Call &c, const Kind &k) {
  if (!infoOf(k.type).trimmed) return;  // the reading measured them
  for (char **item = c.sp->result.items; item != nullptr && *item != nullptr; ++item)
    if (!fitsLimit(c, k, *item)) {
      kelFreeExtractResult(&c.sp->result);
      return;
    }
}

void clearResult(Type type, void *out) {
  const TypeInfo &info = infoOf(type);
  if (info.resultBytes > 0) static_cast<char *>(out)[0] = '\0';
}

void scalar(const Kind &k, const Call &c, void *doc, udf_locator *dtd, const char *path, void *out,
            const short *docInd, const short *dtdInd, const short *pathInd, short *outInd) {
  KelUdfScratch *sp = c.sp;
  if (c.callType == SQLUDF_FINAL_CALL) {
    kelUdfEnd(sp);
    return;
  }
  *outInd = -1;
  clearResult(k.type, out);
  bool first = c.callType == SQLUDF_FIRST_CALL || c.callType == SQLUDF_TF_FIRST;
  if (first && !kelUdfBegin(sp, c.dbinfo, nullptr, c.sqlstate, c.msg)) return;
  if (sp->ctx == nullptr) return;  // the first call failed
  KEL_TRACE(sp->ctx, "codepage is %ld\n", static_cast<long>(sp->ctx->codePages->dbCodePage));

  if (!(k.dtd && !readDtd(c, dtd, dtdInd)) && doc != nullptr && !isNull(docInd) && path != nullptr &&
      !isNull(pathInd)) {
    Document d;
    if (prepareDocument(c, k.source, doc, &d)) {
      char *value = nullptr;
      const int tagged = infoOf(k.type).tagged ? 1 : 0;
      kelSetState(c.sqlstate, "00000");
      const char *const *memo = memoItems(sp, d, tagged, path, readLimit(k.type));
      int rc = memo != nullptr ? kelSingleValue(sp->ctx, memo, path, &value, c.sqlstate, c.msg)
                               : extractOne(sp->extractor, sp->ctx, d.text, sp->dtd,
                                            sp->codePageFlag, sp->inMemoryFlag, tagged, path,
                                            &value, readLimit(k.type), c.sqlstate, c.msg, d.length);
      if (rc == 0) {
        if (fitsLimit(c, k, value)) {
          trimItem(k.type, value);
          storeResult(sp->ctx, k.type, value, out, outInd, c.sqlstate, c.msg);
        }
        std::free(value);
      }
    }
  }
  KEL_TRACE(sp->ctx, "Exit: calltype=%d rc=%d sqlstate=%s\n", c.callType, *outInd, c.sqlstate);
  if (first && !kelUdfStateKeeps(c.sqlstate)) kelUdfEnd(sp);
}

void table(const Kind &k, const Call &c, void *doc, udf_locator *dtd, const char *path, void *out,
           const short *docInd, const short *dtdInd, const short *pathInd, short *outInd) {
  KelUdfScratch *sp = c.sp;
  switch (c.callType) {
    case SQLUDF_TF_FIRST:
      if (!kelUdfBegin(sp, c.dbinfo, nullptr, c.sqlstate, c.msg)) return;
      KEL_TRACE(sp->ctx, ">>>>>>>>Entered first time with calltype = %d\n", c.callType);
      return;
    case SQLUDF_TF_OPEN: {
      if (sp->ctx == nullptr) return;
      kelFreeExtractResult(&sp->result);
      kelSetState(sp->result.sqlstate, "00000");
      if (sp->result.msg == nullptr) {
        sp->result.msg = static_cast<char *>(std::calloc(KEL_MSG_BUFFER + 1, 1));
        if (sp->result.msg == nullptr) {
          kelFail(sp->ctx, c.msg, c.sqlstate, KELG002E);
          return;
        }
      }
      if (k.dtd && !readDtd(c, dtd, dtdInd)) return;
      // A NULL document or path has no occurrences: an empty table.
      if (doc == nullptr || isNull(docInd) || path == nullptr || isNull(pathInd)) return;
      Document d;
      if (!prepareDocument(c, k.source, doc, &d)) return;
      const int tagged = infoOf(k.type).tagged ? 1 : 0;
      if (const char *const *memo = memoItems(sp, d, tagged, path, readLimit(k.type))) {
        if (!copyItems(memo, &sp->result)) kelFail(sp->ctx, c.msg, c.sqlstate, KELG002E);
        else checkItems(c, k);
        return;
      }
      // The record keeps its own message buffer; the function's message gets a copy.
      char *recordMsg = sp->result.msg;
      int rc = d.length != KEL_DOC_TERMINATED
                   ? sp->extractor->runBuffer(d.text, d.length, sp->dtd, sp->codePageFlag, tagged,
                                              path, &sp->result, readLimit(k.type), c.sqlstate, recordMsg)
                   : sp->extractor->run(d.text, sp->dtd, sp->codePageFlag, sp->inMemoryFlag, tagged,
                                        path, &sp->result, readLimit(k.type), c.sqlstate, recordMsg);
      sp->result.msg = recordMsg;
      KEL_TRACE(sp->ctx, "call extractAll() return rc=%d, sqlstate='%s'\n", rc, c.sqlstate);
      if (rc < 0) {
        std::snprintf(c.msg, SQLUDF_MSGTEXT_LEN + 1, "%s", recordMsg);
        kelFreeExtractResult(&sp->result);
        return;
      }
      checkItems(c, k);
      return;
    }
    case SQLUDF_TF_FETCH: {
      *outInd = -1;
      clearResult(k.type, out);
      // Without rows (no open, a failed open) the table ends at once.
      if (sp->result.cursor == nullptr || *sp->result.cursor == nullptr) {
        kelSetState(c.sqlstate, SQLUDF_STATE_EOT);
        return;
      }
      char *text = *sp->result.cursor++;
      kelSetState(c.sqlstate, "00000");
      if (*text == '\0') return;  // an empty occurrence is a NULL row
      trimItem(k.type, text);
      storeResult(sp->ctx, k.type, text, out, outInd, c.sqlstate, c.msg);
      return;
    }
    case SQLUDF_TF_CLOSE:
      kelFreeExtractResult(&sp->result);
      kelSetState(c.sqlstate, "00000");
      return;
    case SQLUDF_TF_FINAL:
      kelUdfEnd(sp);
      return;
    default:
      KEL_TRACE(sp->ctx, "calltype is unexpected: %d.\n", c.callType);
      kelSetState(c.sqlstate, "00000");
      return;
  }
}

void runExtract(const Kind &k, void *doc, udf_locator *dtd, const char *path, void *out, const short *docInd,
                const short *dtdInd, const short *pathInd, short *outInd, char *sqlstate, char *msg,
                sqludf_scratchpad *scratchpad, const sqlint32 *callType, const sqludf_dbinfo *dbinfo) {
  if (scratchpad == nullptr || callType == nullptr) return;
  Call c{sqlstate, msg, kelUdfScratchOf(scratchpad), *callType, dbinfo};
  if (k.table)
    table(k, c, doc, dtd, path, out, docInd, dtdInd, pathInd, outInd);
  else
    scalar(k, c, doc, dtd, path, out, docInd, dtdInd, pathInd, outInd);
  kelUdfLeaveMessage(msg);
}

// The columns of one explainPath row, as the engine passes them.
struct ExplainOut {
  char *kind;
  sqlint32 *line;
  sqlint32 *col;
  char *foundPath;
  char *detail;
  short *kindInd, *lineInd, *colInd, *foundPathInd, *detailInd;
};

void runExplain(Source source, void *doc, const char *path, const ExplainOut &o, const short *docInd,
                const short *pathInd, char *sqlstate, char *msg, sqludf_scratchpad *scratchpad,
                const sqlint32 *callType, const sqludf_dbinfo *dbinfo) {
  if (scratchpad == nullptr || callType == nullptr) return;
  Call c{sqlstate, msg, kelUdfScratchOf(scratchpad), *callType, dbinfo};
  KelUdfScratch *sp = c.sp;
  switch (c.callType) {
    case SQLUDF_TF_FIRST:
      kelUdfBegin(sp, c.dbinfo, nullptr, c.sqlstate, c.msg);
      break;
    case SQLUDF_TF_OPEN: {
      if (sp->ctx == nullptr) break;
      if (sp->explain == nullptr) sp->explain = new (std::nothrow) KelExplainRows;
      if (sp->explain == nullptr) {
        kelFail(sp->ctx, c.msg, c.sqlstate, KELG002E);
        break;
      }
      sp->explain->rows.clear();
      sp->explain->next = 0;
      // A NULL document or path has nothing to explain: an empty table.
      if (doc == nullptr || isNull(docInd) || path == nullptr || isNull(pathInd)) break;
      Document d;
      if (!prepareDocument(c, source, doc, &d)) break;
      int rc = kelExplainPath(sp->ctx, d.text, d.length, sp->codePageFlag, sp->inMemoryFlag, path, &sp->explain->rows,
                              c.sqlstate, c.msg);
      KEL_TRACE(sp->ctx, "kelExplainPath() return rc=%d, sqlstate='%s'\n", rc, c.sqlstate);
      break;
    }
    case SQLUDF_TF_FETCH: {
      *o.kindInd = *o.lineInd = *o.colInd = *o.foundPathInd = *o.detailInd = -1;
      o.kind[0] = o.foundPath[0] = o.detail[0] = '\0';
      KelExplainRows *rows = sp->explain;
      // Without rows (no open, a failed open) the table ends at once.
      if (rows == nullptr || rows->next >= rows->rows.size()) {
        kelSetState(c.sqlstate, SQLUDF_STATE_EOT);
        break;
      }
      const KelExplainRow &r = rows->rows[rows->next++];
      copyText(o.kind, r.kind.c_str(), 20);
      *o.kindInd = 0;
      if (r.hasLine) {
        *o.line = r.line;
        *o.lineInd = 0;
      }
      *o.col = r.col;
      *o.colInd = 0;
      copyText(o.foundPath, r.foundPath.c_str(), KEL_EXPLAIN_TEXT_BYTES);
      *o.foundPathInd = 0;
      copyText(o.detail, r.detail.c_str(), KEL_EXPLAIN_TEXT_BYTES);
      *o.detailInd = 0;
      kelSetState(c.sqlstate, "00000");
      break;
    }
    case SQLUDF_TF_CLOSE:
      if (sp->explain != nullptr) sp->explain->rows.clear();
      kelSetState(c.sqlstate, "00000");
      break;
    case SQLUDF_TF_FINAL:
      kelUdfEnd(sp);
      break;
    default:
      kelSetState(c.sqlstate, "00000");
      break;
  }
  kelUdfLeaveMessage(msg);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The exported entries.

#define KEL_DOC_File char *doc
#define KEL_DOC_Varchar char *doc
#define KEL_DOC_Clob udf_locator *doc
#define KEL_TRAIL_PASS sqludf_sqlstate, sqludf_msgtext, sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo

#define KEL_ENTRY(entry, type, src, table, rtype)                                                        \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, char *path, rtype *out, short *docInd,            \
                                       short *pathInd, short *outInd, SQLUDF_TRAIL_ARGS_ALL) {           \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {           \
      runExtract(Kind{Type::type, Source::src, table, false}, doc, nullptr, path, out, docInd, nullptr, \
                 pathInd, outInd, KEL_TRAIL_PASS);                                                      \
    });                                                                                                 \
  }
#define KEL_ENTRY_DTD(entry, type, src, table, rtype)                                                    \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##src, udf_locator *dtd, char *path, rtype *out,         \
                                       short *docInd, short *dtdInd, short *pathInd, short *outInd,      \
                                       SQLUDF_TRAIL_ARGS_ALL) {                                          \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {              \
      runExtract(Kind{Type::type, Source::src, table, true}, doc, dtd, path, out, docInd, dtdInd, pathInd, \
                 outInd, KEL_TRAIL_PASS);                                                                  \
    });                                                                                                    \
  }

// Every entry of the family, generated from its table (routine/kelfunctab.h): scalar and table
// entries of each result type over the three sources, and the same with the DTD.
#define KEL_SOURCE_ENTRIES(Src, Suffix, SqlParam, Name, CType) \
  KEL_ENTRY(kelExtract##Name##Suffix, Name, Src, false, CType)   \
  KEL_ENTRY(kelExtract##Name##s##Suffix, Name, Src, true, CType)
#define KEL_SOURCE_ENTRIES_DTD(Src, Suffix, SqlParam, Name, CType)   \
  KEL_ENTRY_DTD(kelExtract##Name##Suffix##2, Name, Src, false, CType) \
  KEL_ENTRY_DTD(kelExtract##Name##s##Suffix##2, Name, Src, true, CType)
#define KEL_TYPE_ENTRIES(Name, CType, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_ENTRIES, Name, CType)
#define KEL_TYPE_ENTRIES_DTD(Name, CType, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_ENTRIES_DTD, Name, CType)

KEL_EXTRACT_TYPES(KEL_TYPE_ENTRIES)
KEL_EXTRACT_DTD_TYPES(KEL_TYPE_ENTRIES_DTD)

// explainPath over the three sources (routine/kelfunctab.h).
#define KEL_EXPLAIN_ENTRY(Src, SqlParam, Specific, entry)                                                     \
  extern "C" SQL_API_EXPORT void entry(KEL_DOC_##Src, char *path, char *kind, sqlint32 *line, sqlint32 *col,  \
                                       char *foundPath, char *detail, short *docInd, short *pathInd,          \
                                       short *kindInd, short *lineInd, short *colInd, short *foundPathInd,    \
                                       short *detailInd, SQLUDF_TRAIL_ARGS_ALL) {                             \
    kelUdfGuarded(sqludf_scratchpad, sqludf_call_type, sqludf_sqlstate, sqludf_msgtext, [&] {           \
      runExplain(Source::Src, doc, path,                                                                \
                 ExplainOut{kind, line, col, foundPath, detail, kindInd, lineInd, colInd, foundPathInd, \
                            detailInd},                                                                 \
                 docInd, pathInd, KEL_TRAIL_PASS);                                                      \
    });                                                                                                 \
  }
KEL_EXPLAIN_FUNCTIONS(KEL_EXPLAIN_ENTRY)
