/*
 * kellob.cpp - large objects of user-defined functions (see kellob.h).
 *
 * Files are loaded into a large object by byte counts, never as lines or strings, so zero
 * bytes (every UTF-16 file has them) cannot end a piece; a character cut at a chunk boundary
 * is carried over by the streaming converter.
 */
#include "kellob.h"

#include <unicode/ucnv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelaccess.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

int locatorFailure(KelCallContext *ctx, int rc, char *sqlstate, char *msg) {
  std::string code = std::to_string(rc);
  kelFail(ctx, msg, sqlstate, KELC004E, code.c_str());
  return -1;
}

struct FileCloser {
  void operator()(FILE *f) const {
    if (f) std::fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

struct ConverterCloser {
  void operator()(UConverter *c) const {
    if (c) ucnv_close(c);
  }
};

// Reads the whole value behind loc into out.
int readWhole(udf_locator *loc, std::vector<char> *out, int *rcOut) {
  sqlint32 length = 0;
  int rc = sqludf_length(loc, &length);
  if (rc != 0 || length < 0) {
    *rcOut = rc != 0 ? rc : -1;
    return -1;
  }
  out->assign(static_cast<size_t>(length), '\0');
  sqlint32 got = 0;
  if (length > 0) {
    rc = sqludf_substr(loc, 1, length, reinterpret_cast<unsigned char *>(out->data()), &got);
    if (rc != 0 || got != length) {
      *rcOut = rc != 0 ? rc : -1;
      return -1;
    }
  }
  return 0;
}

}  // namespace

int kel_locator2file(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, int *msgNo) {
  sqlint32 lobLen = 0;
  if (sqludf_length(loc, &lobLen) != 0 || lobLen < 0) return kelFailNumber(msgNo, sqlstate, KELC004E);
  KEL_TRACE(ctx, "lobLen:%d\n", lobLen);
  File f(xml_fopen(ctx, fileName, "wb+"));
  if (!f) return kelFailNumber(msgNo, sqlstate, KELC000E);
  unsigned char chunk[KEL_LOB_CHUNK];
  for (sqlint32 pos = 1; pos <= lobLen;) {
    sqlint32 want = std::min<sqlint32>(KEL_LOB_CHUNK, lobLen - pos + 1);
    sqlint32 got = 0;
    if (sqludf_substr(loc, pos, want, chunk, &got) != 0 || got != want)
      return kelFailNumber(msgNo, sqlstate, KELC004E);
    if (std::fwrite(chunk, 1, static_cast<size_t>(got), f.get()) != static_cast<size_t>(got))
      return kelFailNumber(msgNo, sqlstate, KELC003E);
    pos += got;
  }
  if (std::fclose(f.release()) != 0) return kelFailNumber(msgNo, sqlstate, KELC003E);
  KEL_TRACE(ctx, "Exit, return rc = %ld\n", 0L);
  return 0;
}

int kel_locator2buf(KelCallContext *ctx, udf_locator *loc, char *buffer, int32_t length, char *sqlstate, char *msg) {
  buffer[0] = '\0';
  if (loc == nullptr) return 0;
  for (sqlint32 pos = 1; pos <= length;) {
    sqlint32 want = std::min<sqlint32>(KEL_LOB_CHUNK, length - pos + 1);
    sqlint32 got = 0;
    int rc = sqludf_substr(loc, pos, want, reinterpret_cast<unsigned char *>(buffer + pos - 1), &got);
    if (rc != 0 || got != want) return locatorFailure(ctx, rc != 0 ? rc : -1, sqlstate, msg);
    pos += got;
  }
  buffer[length] = '\0';
  return 0;
}

int kel_conv_locator2file(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, char *msg,
                          bool checkDirs) {
  std::vector<char> value;
  int rc = 0;
  if (readWhole(loc, &value, &rc) < 0) return locatorFailure(ctx, rc, sqlstate, msg);
  const KelCodePages *cp = ctx != nullptr ? ctx->codePages : nullptr;
  if (cp == nullptr || cp->appCodePage == cp->dbCodePage)
    return kel_buf2file(ctx, value.data(), static_cast<int64_t>(value.size()), fileName, sqlstate, msg, checkDirs);
  std::vector<char> out(kelAppRoomFor(ctx, value.size()));
  int32_t n = value.empty() ? 0
                            : convertBufferQuarnToApp(ctx, value.data(), static_cast<int32_t>(value.size()), out.data(),
                                                      static_cast<int32_t>(out.size()), msg, sqlstate);
  if (n < 0) return -1;
  return kel_buf2file(ctx, out.data(), n, fileName, sqlstate, msg, checkDirs);
}

int kel_conv_locator2file2(KelCallContext *ctx, udf_locator *loc, const char *fileName, char *sqlstate, char *msg,
                           bool checkDirs) {
  std::vector<char> value;
  int rc = 0;
  if (readWhole(loc, &value, &rc) < 0) return locatorFailure(ctx, rc, sqlstate, msg);
  std::vector<char> out(kelAppRoomFor(ctx, value.size()));
  int32_t n = kelConvBufferQuarnToAppEncoding(ctx, value.data(), static_cast<int32_t>(value.size()), out.data(),
                                              static_cast<int32_t>(out.size()), msg, sqlstate);
  if (n < 0) return -1;
  return kel_buf2file(ctx, out.data(), n, fileName, sqlstate, msg, checkDirs);
}

int kel_file2locator(KelCallContext *ctx, const char *fileName, udf_locator **loc, char *sqlstate, int *msgNo,
                     bool checkDirs) {
  kelSetState(sqlstate, "00000");
  KelReadFile file;
  if (file.open(ctx, fileName, checkDirs, sqlstate, msgNo) < 0) return -1;
  // Larger than a value the engine can hold: refused before anything is read.
  if (file.size() > KEL_MAX_LOB_FILE || file.size() > SQLUDF_MAX_LOB_LENGTH)
    return kelFailNumber(msgNo, sqlstate, KELC006E);
  if (sqludf_create_locator(SQL_TYP_CLOB_LOC, loc) != 0) return kelFailNumber(msgNo, sqlstate, KELC004E);

  const KelCodePages *cp = ctx != nullptr ? ctx->codePages : nullptr;
  // Equal code pages are converted too (through a converter of their own for the reading side):
  // a byte that is not valid in the code page becomes a substitution character, as
  // convertBufferAppToQuarn makes it, never a byte every later parse of the value refuses.
  bool convert = cp != nullptr && cp->appConverter && cp->dbConverter;
  std::unique_ptr<UConverter, ConverterCloser> bomSource;
  UConverter *source = convert ? cp->appConverter : nullptr;
  if (convert && source == cp->dbConverter) {
    UErrorCode err = U_ZERO_ERROR;
    bomSource.reset(ucnv_open(ucnv_getName(cp->dbConverter, &err), &err));
    if (U_FAILURE(err)) return kelFailNumber(msgNo, sqlstate, KELQ055E);
    source = bomSource.get();
  }
  UChar pivot[KEL_LOB_CHUNK];
  UChar *pivotSource = pivot, *pivotTarget = pivot;
  char in[KEL_LOB_CHUNK];
  std::vector<char> out(KEL_LOB_CHUNK * 4 + 16);
  if (convert) {
    ucnv_reset(cp->appConverter);
    ucnv_reset(cp->dbConverter);
  }
  bool first = true;
  for (;;) {
    int64_t got = file.read(in, sizeof in);
    if (got < 0) return kelFailNumber(msgNo, sqlstate, KELC002E);
    size_t n = static_cast<size_t>(got);
    bool last = n == 0;
    const char *src = in;
    const char *srcEnd = in + n;
    if (convert && first && cp->appCodePage == KEL_CP_UTF16 && n >= 2) {
      // A byte-order mark at the start tells the byte order; it is not part of the text.
      unsigned char b0 = static_cast<unsigned char>(in[0]), b1 = static_cast<unsigned char>(in[1]);
      const char *name = b0 == 0xFF && b1 == 0xFE ? "UTF-16LE" : b0 == 0xFE && b1 == 0xFF ? "UTF-16BE" : nullptr;
      if (name != nullptr) {
        UErrorCode err = U_ZERO_ERROR;
        bomSource.reset(ucnv_open(name, &err));
        if (U_FAILURE(err)) return kelFailNumber(msgNo, sqlstate, KELQ055E);
        source = bomSource.get();
        src += 2;
      }
    }
    if (!convert) {
      if (n > 0) {
        sqlint32 appended = 0;
        int rc = sqludf_append(*loc, reinterpret_cast<unsigned char *>(const_cast<char *>(src)),
                               static_cast<sqlint32>(srcEnd - src), &appended);
        if (rc != 0 || appended != static_cast<sqlint32>(srcEnd - src)) return kelFailNumber(msgNo, sqlstate, KELC004E);
      }
    } else {
      // Convert the whole piece; a character cut at its end stays in the converter.
      UErrorCode err = U_ZERO_ERROR;
      do {
        err = U_ZERO_ERROR;
        char *target = out.data();
        ucnv_convertEx(cp->dbConverter, source, &target, out.data() + out.size(), &src, srcEnd, pivot,
                       &pivotSource, &pivotTarget, pivot + KEL_LOB_CHUNK, first, last, &err);
        first = false;
        if (U_FAILURE(err) && err != U_BUFFER_OVERFLOW_ERROR) return kelFailNumber(msgNo, sqlstate, KELQ055E);
        sqlint32 len = static_cast<sqlint32>(target - out.data()), appended = 0;
        if (len > 0 && (sqludf_append(*loc, reinterpret_cast<unsigned char *>(out.data()), len, &appended) != 0 ||
                        appended != len))
          return kelFailNumber(msgNo, sqlstate, KELC004E);
      } while (err == U_BUFFER_OVERFLOW_ERROR);
    }
    first = false;
    if (last) break;
  }
  sqlint32 total = 0;
  if (sqludf_length(*loc, &total) != 0) return kelFailNumber(msgNo, sqlstate, KELC004E);
  return 0;
}

int kel_buf2locator(KelCallContext *ctx, const char *data, int32_t length, udf_locator **loc, char *sqlstate, char *msg) {
  int rc = sqludf_create_locator(SQL_TYP_CLOB_LOC, loc);
  if (rc != 0) {
    locatorFailure(ctx, rc, sqlstate, msg);
    return rc;
  }
  if (data != nullptr && length > 0) {
    sqlint32 appended = 0;
    rc = sqludf_append(*loc, reinterpret_cast<unsigned char *>(const_cast<char *>(data)), length, &appended);
    if (rc != 0 || appended != length) {
      locatorFailure(ctx, rc != 0 ? rc : -1, sqlstate, msg);
      return rc != 0 ? rc : -1;
    }
  }
  return 0;
}

int kelGetDataFromClob(KelCallContext *ctx, udf_locator *loc, char **data, int *inMemory, char *sqlstate, char *msg,
                       int64_t *lengthOut) {
  *data = nullptr;
  sqlint32 length = 0;
  int rc = sqludf_length(loc, &length);
  if (rc != 0 || length < 0) return locatorFailure(ctx, rc != 0 ? rc : -1, sqlstate, msg);
  if (lengthOut != nullptr) *lengthOut = length;
  int32_t threshold = ctx != nullptr ? ctx->fileThreshold : KEL_MIN_FILE_THRESHOLD;
  if (length > threshold) {
    char *name = kel_tempFilename(ctx);
    if (name == nullptr) {
      kelFailWithState(ctx, msg, sqlstate, "38X03", KELC012E);  // a file that cannot be written
      return -1;
    }
    int msgNo = 0;
    if (kel_locator2file(ctx, loc, name, sqlstate, &msgNo) < 0) {
      if (msg) {
        std::string code = std::to_string(rc);
        kelSetMessage(ctx, msg, msgNo, code.c_str());
      }
      std::remove(name);
      std::free(name);
      return -1;
    }
    KEL_TRACE(ctx, "Clob has been saved into file %s\n", name);
    *data = name;
    *inMemory = 0;
    return 0;
  }
  char *buffer = static_cast<char *>(std::malloc(static_cast<size_t>(length) + 1));
  if (buffer == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  }
  if (kel_locator2buf(ctx, loc, buffer, length, sqlstate, msg) < 0) {
    std::free(buffer);
    return -1;
  }
  KEL_TRACE(ctx, "Clob has been saved into buffer\n");
  *data = buffer;
  *inMemory = 1;
  return 0;
}
