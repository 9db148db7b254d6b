/*
 * kelctx.cpp - set-up and tear-down of a call context.  Reads the process environment
 * (QUARNKEL_MIN_TMPFILE_SIZE, TMP, QUARNKELTEMP) but never changes it.
 */
#include "kelctx.h"

#include <unicode/ucnv.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kelcodepage.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

int32_t thresholdFromEnv() {
  const char *value = std::getenv("QUARNKEL_MIN_TMPFILE_SIZE");
  if (value == nullptr) return KEL_MIN_FILE_THRESHOLD;
  char *end = nullptr;
  long n = std::strtol(value, &end, 10);
  if (end == value || n < KEL_MIN_FILE_THRESHOLD) return KEL_MIN_FILE_THRESHOLD;
  if (n > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(n);
}

// A malloc'd copy, so that the context's strings are released the same way however made.
char *copyOf(const std::string &s) {
  char *p = static_cast<char *>(std::malloc(s.size() + 1));
  if (p != nullptr) std::memcpy(p, s.c_str(), s.size() + 1);
  return p;
}

// Tears the half set-up context down again and hands back rc.
int undo(KelCallContext *ctx, int rc) {
  char ignored[6];
  kelTerm(ctx, ignored);
  return rc;
}

}  // namespace

int kelInit(KelCallContext *ctx, uint32_t messageMode, const KelCodePageRequest *cpRequest,
            char *sqlstate, char *msg, const char *localeName) {
  if (ctx == nullptr) return kelFail(nullptr, nullptr, sqlstate, KELG002E);  // no mode to format in
  ctx->fileThreshold = thresholdFromEnv();
  if (const char *tmp = std::getenv("TMP"); tmp != nullptr && ctx->savedTmpSetting == nullptr) {
    ctx->savedTmpSetting = copyOf(std::string("TMP=") + tmp);
    if (ctx->savedTmpSetting == nullptr) return undo(ctx, kelFail(ctx, msg, sqlstate, KELG002E));
  }
  if (const char *dir = std::getenv("QUARNKELTEMP"); dir != nullptr && ctx->tempDir == nullptr) {
    ctx->tempDir = copyOf(dir);
    if (ctx->tempDir == nullptr) return undo(ctx, kelFail(ctx, msg, sqlstate, KELG002E));
  }
  if (ctx->codePages != nullptr) return 0;

  ctx->fullMessages = messageMode;
  int rc = kelTraceOpen(ctx, sqlstate, msg);
  if (ctx->tempDir != nullptr)
    KEL_TRACE(ctx, "tmp dir %s, file thresh %d\n", ctx->tempDir, ctx->fileThreshold);
  else
    KEL_TRACE(ctx, "tmp dir NULL, file thresh %d\n", ctx->fileThreshold);

  ctx->codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
  if (ctx->codePages == nullptr) return undo(ctx, kelFail(ctx, msg, sqlstate, KELG002E));
  if (rc < 0) return undo(ctx, rc);

  if (localeName != nullptr && std::strlen(localeName) >= KEL_MAX_LOCALE_NAME) {
    return undo(ctx, kelFail(ctx, msg, sqlstate, KELG008E, localeName));
  }
  int mode = cpRequest != nullptr ? cpRequest->mode : KEL_CP_FUNCTION_MODE;
  if (initICU(ctx, mode, cpRequest, localeName) != 0) {
    // The message names what could not be set up: the locale, else the database code page.
    std::string what = localeName != nullptr && localeName[0] != '\0'
                           ? std::string(localeName)
                           : std::to_string(cpRequest != nullptr && mode == KEL_CP_FUNCTION_MODE
                                                ? cpRequest->dbCodePage
                                                : ctx->codePages->dbCodePage);
    return undo(ctx, kelFail(ctx, msg, sqlstate, KELG008E, what.c_str()));
  }

  return rc;
}

int kelTerm(KelCallContext *ctx, char *sqlstate) {
  if (ctx == nullptr) return kelFail(nullptr, nullptr, sqlstate, KELG002E);
  if (KelCodePages *cp = ctx->codePages) {
    if (cp->dbConverter != nullptr) ucnv_close(cp->dbConverter);
    if (cp->appConverter != nullptr && cp->appConverter != cp->dbConverter) ucnv_close(cp->appConverter);
    std::free(cp);
    ctx->codePages = nullptr;
  }
  std::free(ctx->savedTmpSetting);
  ctx->savedTmpSetting = nullptr;
  std::free(ctx->tempDir);
  ctx->tempDir = nullptr;
  kelTraceClose(ctx);
  return 0;
}
