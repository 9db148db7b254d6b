/*
 * kelsplob.cpp - stored-procedure large objects through the embedded-SQL runtime.
 */
#include "kelsplob.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kelbuf.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr const char kUnit[] = "kelsuwo";

struct StmtFree {
  void operator()(quarn_stmt *s) const { quarn_free_stmt(s); }
};
using Stmt = std::unique_ptr<quarn_stmt, StmtFree>;

// The internal error of a failed statement: the database's text, then KELG001E.
int statementFailed(KelCallContext *ctx, sqlca *ca, int line, int32_t *rc, char *msg) {
  std::string lineText = std::to_string(line);
  if (msg) kelSetDbMessage(ctx, msg, ca, KELG001E, kelBuildStamp(), kUnit, lineText.c_str());
  if (rc) *rc = kelSqlStateTable[KELG001E].code;
  return kelSqlStateTable[KELG001E].code;
}

quarn_hostvar locatorVar(const sqluint32 *locator) {
  return quarn_hostvar{SQL_TYP_CLOB_LOCATOR, 4, const_cast<sqluint32 *>(locator), nullptr};
}

// Runs a one-row query with inputs and fetches its one column into out.
int fetchOne(const char *sql, int nIn, const quarn_hostvar *in, quarn_hostvar *out, sqlca *ca) {
  quarn_stmt *raw = nullptr;
  if (quarn_prepare(sql, &raw, ca) < 0) return ca->sqlcode;
  Stmt stmt(raw);
  if (quarn_open(stmt.get(), nIn, in, ca) < 0) return ca->sqlcode;
  int rc = quarn_fetch(stmt.get(), 1, out, ca);
  sqlca closeCa{};
  quarn_close(stmt.get(), &closeCa);
  return rc;
}

}  // namespace

int kelGetLocatorLength(KelCallContext *ctx, const sqluint32 *locator, int32_t *length, int32_t *rc, char *msg) {
  *length = 0;
  sqlca ca{};
  quarn_hostvar in = locatorVar(locator);
  sqlint32 n = 0;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, &n, nullptr};
  if (fetchOne("VALUES LENGTH(CAST(? AS CLOB(2G)))", 1, &in, &out, &ca) != 0) {
    KEL_TRACE(ctx, "Locator length error \n");
    return statementFailed(ctx, &ca, __LINE__, rc, msg);
  }
  *length = n;
  return 0;
}

int kelLocatorToBuf(KelCallContext *ctx, sqluint32 locator, int32_t length, char *buffer, int32_t *rc, char *msg,
                    int32_t start) {
  buffer[0] = '\0';
  if (length <= 0) return 0;
  // One CLOB host variable of the threshold's size, as large as one read may be.
  int32_t room = ctx != nullptr ? std::max(ctx->fileThreshold, length) : std::max(KEL_MIN_FILE_THRESHOLD, length);
  std::unique_ptr<char, decltype(&std::free)> area(static_cast<char *>(std::malloc(sizeof(quarn_lob) + room)), &std::free);
  if (!area) {
    KEL_TRACE(ctx, "Error Allocating sqlda\n");
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    if (rc) *rc = kelSqlStateTable[KELG002E].code;
    return kelSqlStateTable[KELG002E].code;
  }
  auto *lob = reinterpret_cast<quarn_lob *>(area.get());
  short ind = 0;
  quarn_hostvar out{SQL_TYP_NCLOB, room, lob, &ind};
  sqlint32 from = start, count = length;
  quarn_hostvar in[3] = {locatorVar(&locator), {SQL_TYP_INTEGER, 4, &from, nullptr}, {SQL_TYP_INTEGER, 4, &count, nullptr}};
  sqlca ca{};
  if (fetchOne("VALUES SUBSTR(CAST(? AS CLOB(2G)), ?, ?)", 3, in, &out, &ca) != 0) {
    KEL_TRACE(ctx, "Fetch error \n");
    return statementFailed(ctx, &ca, __LINE__, rc, msg);
  }
  size_t got = ind < 0 ? 0 : std::min<size_t>(lob->length, static_cast<size_t>(length));
  std::memcpy(buffer, lob->data, got);
  buffer[got] = '\0';
  buffer[length] = '\0';
  KEL_TRACE(ctx, "Document Retrieval Success\n");
  return 0;
}

int kelLocatorToFile(KelCallContext *ctx, sqluint32 locator, const char *fileName, int32_t *rc, char *msg) {
  sqlfile file{};
  size_t n = std::strlen(fileName);
  if (n > sizeof file.name) n = sizeof file.name;
  std::memcpy(file.name, fileName, n);
  file.name_length = static_cast<sqluint32>(n);
  file.file_options = SQL_FILE_OVERWRITE;
  quarn_hostvar in = locatorVar(&locator);
  quarn_hostvar out{SQL_TYP_CLOB_FILE, static_cast<sqlint32>(sizeof file), &file, nullptr};
  sqlca ca{};
  if (fetchOne("VALUES CAST(? AS CLOB(2G))", 1, &in, &out, &ca) != 0) {
    KEL_TRACE(ctx, "Locator to File write error \n");
    return statementFailed(ctx, &ca, __LINE__, rc, msg);
  }
  return 0;
}

int kelGetDataFromLocator(KelCallContext *ctx, sqluint32 locator, KelDocBuffer *buf, char *msg) {
  int32_t length = 0, rc = 0;
  if (kelGetLocatorLength(ctx, &locator, &length, &rc, msg) < 0) return rc;
  KEL_TRACE(ctx, "Document Length = %d \n", length);
  int status = 0;
  int32_t threshold = ctx != nullptr ? ctx->fileThreshold : KEL_MIN_FILE_THRESHOLD;
  if (kelBufAcquire(ctx, buf, length > 0 ? length : 1, threshold, KEL_BUF_MEMORY, &status, msg, 1) < 0) return status;
  if (buf->location == KEL_BUF_MEMORY) {
    if (kelLocatorToBuf(ctx, locator, length, buf->data, &rc, msg, 1) < 0) return rc;
  } else {
    std::fclose(buf->file);
    buf->file = nullptr;
    if (kelLocatorToFile(ctx, locator, buf->data, &rc, msg) < 0) return rc;
  }
  buf->used = length;
  return 0;
}

int kelGetDadFileFromLocator(KelCallContext *ctx, sqluint32 locator, KelDocBuffer *buf, char *msg) {
  return kelGetDataFromLocator(ctx, locator, buf, msg) == 0 ? 0 : -1;
}

int kelLocatorToXmlText(KelCallContext *ctx, const sqluint32 *locator, KelDocBuffer *buf, bool attribute, bool xml11,
                        int32_t *rc, char *msg) {
  int32_t length = 0;
  if (kelGetLocatorLength(ctx, locator, &length, rc, msg) < 0) return *rc;
  const bool utf8 = ctx == nullptr || ctx->codePages == nullptr || kelIsUtf8CodePage(ctx->codePages->dbCodePage);
  std::vector<char> chunk(static_cast<size_t>(std::min(length, KEL_SP_LOB_CHUNK)) + 1);
  std::string piece, escaped;
  for (int32_t start = 1; start <= length; start += KEL_SP_LOB_CHUNK) {
    int32_t n = std::min(KEL_SP_LOB_CHUNK, length - start + 1);
    if (kelLocatorToBuf(ctx, *locator, n, chunk.data(), rc, msg, start) < 0) return *rc;
    // What the previous chunk held back, then this one; a tail that may begin a sequence to
    // replace waits for the next chunk unless this is the last.
    piece.append(chunk.data(), static_cast<size_t>(n));
    const bool last = start + n > length;
    const size_t held = utf8 && !last ? kelMarkupEscapedTail(piece.data(), piece.size()) : 0;
    if (kelXmlCannotHoldBytes(piece.data(), piece.size() - held, xml11, utf8)) {
      *rc = kelFail(ctx, msg, nullptr, KELD000E);
      return *rc;
    }
    escaped.clear();
    kelAppendMarkupEscapedBytesTo(escaped, piece.data(), piece.size() - held, attribute, utf8);
    piece.erase(0, piece.size() - held);
    if (kelBufAppend(ctx, buf, escaped.c_str()) < 0) {
      *rc = kelFail(ctx, msg, nullptr, KELG002E);
      return *rc;
    }
  }
  return 0;
}
