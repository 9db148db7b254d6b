/*
 * kelcompq.cpp - bound query columns, escaped values, the document writer and the delivery of
 * finished documents, shared by both composition mappings (see kelcompq.h).
 */
#include "kelcompq.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kelcodepage.h"
#include "kelctx.h"
#include "keldadread.h"
#include "kelSgDoc.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsplob.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr const char kUnit[] = "kelcompq";

// Bytes of a described column name: the longest identifier and a terminator; a longer
// generated name is cut and then matches no column of the DAD.
constexpr SQLSMALLINT kDescribedName = 257;

bool isLobType(SQLSMALLINT type) { return type == SQL_CLOB || type == SQL_DBCLOB || type == SQL_BLOB; }

SQLSMALLINT locatorType(SQLSMALLINT type) {
  return type == SQL_CLOB ? SQL_C_CLOB_LOCATOR : type == SQL_DBCLOB ? SQL_C_DBCLOB_LOCATOR : SQL_C_BLOB_LOCATOR;
}

bool utf8Database(KelCallContext *ctx) {
  return ctx == nullptr || ctx->codePages == nullptr || kelIsUtf8CodePage(ctx->codePages->dbCodePage);
}

bool isBitDataType(SQLSMALLINT type) {
  return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

// The type of a FOR BIT DATA column as a message names it: "VARCHAR(4) FOR BIT DATA".
std::string bitDataTypeName(const KelBoundColumn &c) {
  if (c.sqlType == SQL_LONGVARBINARY) return "LONG VARCHAR FOR BIT DATA";
  return std::string(c.sqlType == SQL_BINARY ? "CHAR(" : "VARCHAR(") + std::to_string(c.size) + ") FOR BIT DATA";
}

}  // namespace

// ---- Bound columns ---------------------------------------------------------------------------

KelQueryColumns::~KelQueryColumns() { freeLocators(nullptr); }

int KelQueryColumns::bind(KelCallContext *ctx, SQLHSTMT stmt, const char *unit, char *sqlstate, char *msg) {
  freeLocators(ctx);
  columns_.clear();
  stmt_ = stmt;
  SQLSMALLINT n = 0;
  SQLRETURN rc = SQLNumResultCols(stmt, &n);
  if (!SQL_SUCCEEDED(rc)) return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt, rc, "SQLNumResultCols", unit, __LINE__);
  int lobs = 0;
  try {
    columns_.resize(static_cast<size_t>(n));
    for (SQLSMALLINT i = 0; i < n; ++i) {
      KelBoundColumn &c = columns_[static_cast<size_t>(i)];
      SQLCHAR name[kDescribedName] = "";
      SQLSMALLINT nameLen = 0, digits = 0, nullable = 0;
      rc = SQLDescribeCol(stmt, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLen, &c.sqlType, &c.size,
                          &digits, &nullable);
      if (!SQL_SUCCEEDED(rc)) return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt, rc, "SQLDescribeCol", unit, __LINE__);
      c.name = reinterpret_cast<char *>(name);
      c.locator = isLobType(c.sqlType);
      if (c.locator) {
        if (++lobs > KEL_MAX_LOB_COLUMNS) return kelFail(ctx, msg, sqlstate, KELQ071E, "250");
        c.value.assign(sizeof(sqluint32), '\0');
        rc = SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), locatorType(c.sqlType), c.value.data(),
                        static_cast<SQLLEN>(c.value.size()), &c.indicator);
      } else {
        // Character lengths are bytes; a graphic character takes up to four in UTF-8.
        int64_t bytes = static_cast<int64_t>(c.size) * (kelIsGraphicSqlType(c.sqlType) ? 4 : 1);
        c.value.assign(static_cast<size_t>(std::max(KEL_MIN_COLUMN_BUFFER, bytes)) + 1, '\0');
        rc = SQLBindCol(stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_C_CHAR, c.value.data(),
                        static_cast<SQLLEN>(c.value.size()), &c.indicator);
      }
      if (!SQL_SUCCEEDED(rc)) return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt, rc, "SQLBindCol", unit, __LINE__);
      KEL_TRACE(ctx, "column %d %s type %d size %lu%s\n", i + 1, c.name.c_str(), c.sqlType,
                static_cast<unsigned long>(c.size), c.locator ? " (locator)" : "");
    }
  } catch (const std::bad_alloc &) {
    columns_.clear();
    return kelFail(ctx, msg, sqlstate, KELG002E);
  }
  return 0;
}

int KelQueryColumns::fetch(KelCallContext *ctx, const char *what, const char *unit, char *sqlstate, char *msg) {
  freeLocators(ctx);
  SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return SQL_NO_DATA;
  if (!SQL_SUCCEEDED(rc)) return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt_, rc, what, unit, __LINE__);
  for (const KelBoundColumn &c : columns_) {
    if (c.locator) {
      if (c.indicator != SQL_NULL_DATA) rowHasLocators_ = true;
    } else if (rc == SQL_SUCCESS_WITH_INFO && c.indicator != SQL_NULL_DATA &&
               c.indicator >= static_cast<SQLLEN>(c.value.size())) {
      // Never a value cut short: the column's description promised it would fit.
      KEL_TRACE(ctx, "value of %s is %ld bytes, room for %lu\n", c.name.c_str(), static_cast<long>(c.indicator),
                static_cast<unsigned long>(c.value.size() - 1));
      return kelInternalError(ctx, msg, sqlstate, unit, __LINE__);
    }
  }
  return SQL_SUCCESS;
}

void KelQueryColumns::freeLocators(KelCallContext *ctx) {
  if (!rowHasLocators_) return;
  rowHasLocators_ = false;
  for (KelBoundColumn &c : columns_) {
    if (!c.locator || c.indicator == SQL_NULL_DATA) continue;
    sqluint32 loc = 0;
    std::memcpy(&loc, c.value.data(), sizeof loc);
    sqlca ca{};
    if (quarn_free_locator(loc, &ca) < 0) KEL_TRACE(ctx, "locator %u not freed, SQLCODE %d\n", loc, static_cast<int>(ca.sqlcode));
    c.indicator = SQL_NULL_DATA;
  }
}

void KelQueryColumns::close(KelCallContext *ctx) {
  freeLocators(ctx);
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeStmt(stmt_, SQL_CLOSE);
}

int KelQueryColumns::find(const std::string &name) const {
  for (size_t i = 0; i < columns_.size(); ++i)
    if (columns_[i].name == name) return static_cast<int>(i);
  return -1;
}

size_t KelQueryColumns::length(int i) const {
  const KelBoundColumn &c = columns_[static_cast<size_t>(i)];
  if (c.indicator == SQL_NULL_DATA) return 0;
  if (c.indicator >= 0 && static_cast<size_t>(c.indicator) < c.value.size()) return static_cast<size_t>(c.indicator);
  return std::strlen(c.value.data());
}

// ---- The document writer ---------------------------------------------------------------------

int KelDocWriter::start(char *sqlstate, char *msg) {
  release();
  int status = 0;
  if (kelBufAcquire(ctx_, &buf_, KEL_DOC_INITIAL_SIZE, KEL_DOC_MEMORY_LIMIT, KEL_BUF_MEMORY, &status, msg, 1) < 0) {
    KEL_TRACE(ctx_, "no document buffer, status %d\n", status);
    return kelFail(ctx_, msg, sqlstate, KELQ002E);
  }
  started_ = true;
  pending_.clear();
  return 0;
}

int KelDocWriter::flush(char *sqlstate, char *msg) {
  if (pending_.empty()) return 0;
  if (!started_ || kelBufAppend(ctx_, &buf_, pending_.c_str()) < 0) return kelFail(ctx_, msg, sqlstate, KELQ002E);
  pending_.clear();
  return 0;
}

void KelDocWriter::appendHeader(const std::string &header) {
  xml11_ = kelDeclaresXml11(header);
  pending_ += header;
}

int64_t KelDocWriter::length() const {
  return (started_ ? kelBufLength(ctx_, &buf_) : 0) + static_cast<int64_t>(pending_.size());
}

void KelDocWriter::release() {
  if (started_) {
    if (kelBufRelease(ctx_, &buf_) < 0) KEL_TRACE(ctx_, "Cannot remove file '%s'\n", buf_.data ? buf_.data : "");
    buf_ = KelDocBuffer{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
    started_ = false;
  }
  pending_.clear();
}

// ---- Values ----------------------------------------------------------------------------------

// A value holding a character the document cannot hold ends the composition: the document
// would not parse.
int refusedValue(KelCallContext *ctx, char *sqlstate, char *msg) {
  KEL_TRACE(ctx, "a value holds a character the document's XML version cannot hold\n");
  return kelFail(ctx, msg, sqlstate, KELD000E);
}

int kelAppendEscapedValue(KelCallContext *ctx, KelDocWriter *doc, const char *value, size_t n, bool attribute,
                          char *sqlstate, char *msg) {
  if (utf8Database(ctx)) {
    if (kelXmlCannotHoldBytes(value, n, doc->xml11(), true)) return refusedValue(ctx, sqlstate, msg);
    kelAppendMarkupEscapedBytesTo(*doc, value, n, attribute, true);
    return 0;
  }
  std::u16string wide, escaped;
  std::string narrow;
  if (!kelDadFromDb(ctx, std::string(value, n), &wide)) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  if (kelXmlCannotHold(wide.data(), wide.size(), doc->xml11())) return refusedValue(ctx, sqlstate, msg);
  kelAppendMarkupEscaped(escaped, wide.data(), wide.size(), attribute);
  if (!kelDadToDb(ctx, escaped, &narrow)) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  doc->append(narrow);
  return 0;
}

int kelAppendColumnValue(KelCallContext *ctx, KelDocWriter *doc, KelQueryColumns *cols, int i, bool attribute,
                         char *sqlstate, char *msg) {
  if (cols->isNull(i)) return 0;
  const KelBoundColumn &c = cols->column(i);
  if (isBitDataType(c.sqlType)) {
    // Bytes, not text: written as they are only when they are text of the database code page
    // that the document can hold (tables that keep text in FOR BIT DATA columns); anything else
    // would leave a document that no parser reads.
    std::u16string wide;
    if (!kelDadFromDb(ctx, std::string(cols->text(i), cols->length(i)), &wide) ||
        kelXmlCannotHold(wide.data(), wide.size(), doc->xml11())) {
      KEL_TRACE(ctx, "column %s: bit data that is no text the document can hold\n", c.name.c_str());
      return kelFail(ctx, msg, sqlstate, KELA059E, bitDataTypeName(c).c_str(), c.name.c_str());
    }
  }
  if (!c.locator) return kelAppendEscapedValue(ctx, doc, cols->text(i), cols->length(i), attribute, sqlstate, msg);
  if (c.sqlType == SQL_BLOB) {
    KEL_TRACE(ctx, "column %s is a BLOB: no character value\n", c.name.c_str());
    return kelFail(ctx, msg, sqlstate, KELG005E);
  }
  int rc = doc->flush(sqlstate, msg);
  if (rc < 0) return rc;
  sqluint32 loc = 0;
  std::memcpy(&loc, c.value.data(), sizeof loc);
  int32_t status = 0;
  if (kelLocatorToXmlText(ctx, &loc, doc->buffer(), attribute, doc->xml11(), &status, msg) < 0) {
    if (status == kelSqlStateTable[KELD000E].code) {
      KEL_TRACE(ctx, "column %s holds a character the document's XML version cannot hold\n", c.name.c_str());
      kelMessageState(KELD000E, sqlstate);
      return status;
    }
    kelMessageState(status == kelSqlStateTable[KELG002E].code ? KELG002E : KELG001E, sqlstate);
    return status;
  }
  return 0;
}

// ---- Delivery --------------------------------------------------------------------------------

// ---- Documents waiting for the result table ---------------------------------------------------

KelDocStage::~KelDocStage() {
  if (fp_ != nullptr) std::fclose(fp_);
}

int KelDocStage::failed(const char *what, char *sqlstate, char *msg) {
  KEL_TRACE(ctx_, "document stage: %s failed, errno=%d\n", what, errno);
  return kelFail(ctx_, msg, sqlstate, KELQ002E);
}

// Writes bytes to the file, or keeps them in memory while there is no file.  Returns 0 or -1.
int KelDocStage::put(const char *bytes, size_t n) {
  if (fp_ == nullptr) {
    held_.append(bytes, n);
    return 0;
  }
  return n == 0 || std::fwrite(bytes, 1, n, fp_) == n ? 0 : -1;
}

// Moves what is held in memory into a new temporary file, where every later document goes.
int KelDocStage::toFile(char *sqlstate, char *msg) {
  file_.emplace(ctx_);
  if (!file_->ok()) return failed("create", sqlstate, msg);
  fp_ = std::fopen(file_->name(), "w+b");
  if (fp_ == nullptr) return failed("open", sqlstate, msg);
  ioBuffer_.resize(256 << 10);
  std::setvbuf(fp_, ioBuffer_.data(), _IOFBF, ioBuffer_.size());
  if (!held_.empty() && std::fwrite(held_.data(), 1, held_.size(), fp_) != held_.size())
    return failed("write", sqlstate, msg);
  std::string().swap(held_);
  return 0;
}

int KelDocStage::add(KelDocWriter *doc, char *sqlstate, char *msg) {
  KelDocBuffer *buf = doc->buffer();
  const int64_t length = kelBufLength(ctx_, buf);
  const char *content = length > 0 ? kelBufGetContent(ctx_, buf) : "";
  if (content == nullptr) return failed("read a document", sqlstate, msg);
  if (fp_ == nullptr && held_.size() + sizeof length + static_cast<size_t>(length) + 1 > memory_) {
    int rc = toFile(sqlstate, msg);
    if (rc < 0) return rc;
  }
  if (put(reinterpret_cast<const char *>(&length), sizeof length) < 0) return failed("write", sqlstate, msg);
  if (length > 0 && buf->location == KEL_BUF_MEMORY) {
    if (put(content, static_cast<size_t>(length)) < 0) return failed("write", sqlstate, msg);
  } else if (length > 0) {
    // A document past the memory limit is in its own temporary file: copied over.
    std::unique_ptr<FILE, int (*)(FILE *)> in(std::fopen(content, "rb"), &std::fclose);
    if (in == nullptr) return failed("read a document", sqlstate, msg);
    char chunk[65536];
    int64_t copied = 0;
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0) {
      if (put(chunk, n) < 0) return failed("write", sqlstate, msg);
      copied += static_cast<int64_t>(n);
    }
    if (copied != length) return failed("read a document", sqlstate, msg);
  }
  if (put("", 1) < 0) return failed("write", sqlstate, msg);
  ++count_;
  return 0;
}

// Inserts one document of length bytes, terminated, as composition left it: in memory up to
// KEL_DOC_MEMORY_LIMIT (the text itself, not copied), in a temporary file beyond.
int KelDocStage::insertOne(KelResultTable *table, bool validate, const KelValidationDesc &desc, char *text,
                           int64_t length, char *sqlstate, char *msg) {
  if (length <= KEL_DOC_MEMORY_LIMIT) {
    KelDocBuffer doc{text, nullptr, KEL_BUF_MEMORY, length + 1, KEL_DOC_MEMORY_LIMIT, length};
    return kelInsertResult(ctx_, &doc, table, validate ? 1 : 0, &desc, sqlstate, msg);
  }
  KelDocBuffer doc{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
  int status = 0;
  if (kelBufAcquire(ctx_, &doc, KEL_DOC_INITIAL_SIZE, KEL_DOC_MEMORY_LIMIT, KEL_BUF_MEMORY, &status, msg, 1) < 0)
    return kelFail(ctx_, msg, sqlstate, KELQ002E);
  struct Release {
    KelCallContext *ctx;
    KelDocBuffer *buf;
    ~Release() { kelBufRelease(ctx, buf); }
  } release{ctx_, &doc};
  if (kelBufAppend(ctx_, &doc, text) < 0) return kelFail(ctx_, msg, sqlstate, KELQ002E);
  return kelInsertResult(ctx_, &doc, table, validate ? 1 : 0, &desc, sqlstate, msg);
}

int KelDocStage::insertAll(KelResultTable *table, bool validate, const KelValidationDesc &desc, char *sqlstate,
                           char *msg) {
  if (count_ == 0) return 0;
  KEL_TRACE(ctx_, "inserting %lld documents\n", static_cast<long long>(count_));
  if (fp_ == nullptr) {
    size_t at = 0;
    for (int64_t i = 0; i < count_; ++i) {
      int64_t length = 0;
      std::memcpy(&length, held_.data() + at, sizeof length);
      at += sizeof length;
      int rc = insertOne(table, validate, desc, &held_[at], length, sqlstate, msg);
      if (rc < 0) return rc;
      at += static_cast<size_t>(length) + 1;
    }
    return 0;
  }
  if (std::fflush(fp_) != 0 || std::fseek(fp_, 0, SEEK_SET) != 0) return failed("rewind", sqlstate, msg);
  std::vector<char> text;
  for (int64_t i = 0; i < count_; ++i) {
    int64_t length = 0;
    if (std::fread(&length, sizeof length, 1, fp_) != 1 || length < 0) return failed("read", sqlstate, msg);
    // The text and its terminator, as they were written.
    text.resize(static_cast<size_t>(length) + 1);
    if (std::fread(text.data(), 1, text.size(), fp_) != text.size()) return failed("read", sqlstate, msg);
    int rc = insertOne(table, validate, desc, text.data(), length, sqlstate, msg);
    if (rc < 0) return rc;
  }
  return 0;
}

int kelDeliverDoc(KelCallContext *ctx, KelComposeOutput *out, KelDocWriter *doc, char *sqlstate, char *msg) {
  int rc = doc->flush(sqlstate, msg);
  if (rc < 0) return rc;
  if (out->table != nullptr && out->stage != nullptr) return out->stage->add(doc, sqlstate, msg);
  if (out->table != nullptr)
    return kelInsertResult(ctx, doc->buffer(), out->table, out->validate ? 1 : 0, &out->validation, sqlstate, msg);
  if (out->lobSet) return 0;
  int32_t valid = -1;
  if (out->validate && doc->length() > 0) {
    valid = kelValidateXML(ctx, doc->buffer(), out->validation, sqlstate, msg);
    if (valid < 0) return valid;
    if (msg != nullptr) msg[0] = '\0';  // an invalid document is returned as such
    kelSetState(sqlstate, "00000");
  }
  if (doc->length() == 0) return kelFail(ctx, msg, sqlstate, KELQ002E);
  uint32_t length = 0;
  rc = kelResultToLob(ctx, doc->buffer(), out->lobData, out->lobCapacity, &length, sqlstate, msg);
  if (rc < 0) return rc;
  out->lobLength = length;
  out->lobSet = true;
  out->valid = valid;
  return 0;
}
