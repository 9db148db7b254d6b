/*
 * kelfnframe.cpp - set-up and tear-down of a function's per-statement state.
 */
#include "kelfnframe.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "kelcodepage.h"
#include "kelSgDoc.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelexplain.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "kelupdate.h"
#include "kelvalidate.h"

constexpr const char kUnit[] = "kelfnframe";

bool kelUdfBegin(KelUdfScratch *sp, const sqludf_dbinfo *dbinfo, const char *localeName,
                 char *sqlstate, char *msg) {
  kelUdfEnd(sp);
  sp->ctx = static_cast<KelCallContext *>(std::calloc(1, sizeof(KelCallContext)));
  if (sp->ctx == nullptr) {
    kelFail(nullptr, nullptr, sqlstate, KELG002E);  // no context: no message mode, the state alone
    return false;
  }
  KelCodePageRequest request{KEL_CP_FUNCTION_MODE, dbinfo != nullptr ? static_cast<int32_t>(dbinfo->dbcodepage) : 0,
                             nullptr};
  if (kelInit(sp->ctx, KEL_SHORT_MESSAGES, &request, sqlstate, msg, localeName) < 0) {
    std::free(sp->ctx);
    sp->ctx = nullptr;
    return false;
  }
  if (kelCheckParserForCall(sp->ctx, sqlstate, msg) < 0) {
    char termState[6];
    kelTerm(sp->ctx, termState);
    std::free(sp->ctx);
    sp->ctx = nullptr;
    return false;
  }
  KEL_TRACE(sp->ctx, "Enter quarncodepage is %ld app codepage is %ld\n",
            static_cast<long>(sp->ctx->codePages->dbCodePage), static_cast<long>(sp->ctx->codePages->appCodePage));
  sp->extractor = new (std::nothrow) KelExtractor(sp->ctx);
  if (sp->extractor == nullptr) {
    kelUdfEnd(sp);
    kelFail(nullptr, nullptr, sqlstate, KELG002E);  // no context: no message mode, the state alone
    return false;
  }
  return true;
}

void kelUdfEnd(KelUdfScratch *sp) {
  kelFreeExtractResult(&sp->result);
  std::free(sp->result.msg);
  sp->result.msg = nullptr;
  delete sp->extractor;
  sp->extractor = nullptr;
  delete sp->updater;
  sp->updater = nullptr;
  delete sp->validation;
  sp->validation = nullptr;
  delete sp->explain;
  sp->explain = nullptr;
  std::free(sp->dtd);
  sp->dtd = nullptr;
  if (sp->ctx != nullptr) {
    char state[6];
    kelTerminateParser(sp->ctx);
    kelTerm(sp->ctx, state);
    std::free(sp->ctx);
    sp->ctx = nullptr;
  }
}

bool kelUdfFirstCall(const sqlint32 *callType) {
  return *callType == SQLUDF_FIRST_CALL || *callType == SQLUDF_TF_FIRST;
}

KelUdfScratch *kelUdfEnter(sqludf_scratchpad *scratchpad, const sqlint32 *callType, const sqludf_dbinfo *dbinfo,
                           const char *localeName, char *sqlstate, char *msg, short *outInd) {
  if (scratchpad == nullptr || callType == nullptr) return nullptr;
  KelUdfScratch *sp = kelUdfScratchOf(scratchpad);
  if (*callType == SQLUDF_FINAL_CALL) {
    kelUdfEnd(sp);
    return nullptr;
  }
  *outInd = -1;
  if (kelUdfFirstCall(callType) && !kelUdfBegin(sp, dbinfo, localeName, sqlstate, msg)) {
    kelUdfLeaveMessage(msg);
    return nullptr;
  }
  return sp->ctx != nullptr ? sp : nullptr;
}

void kelUdfLeave(KelUdfScratch *sp, const sqlint32 *callType, const char *sqlstate, char *msg, bool keepOnWarning) {
  kelUdfLeaveMessage(msg);
  if (!kelUdfFirstCall(callType)) return;
  bool succeeded = keepOnWarning ? kelUdfStateKeeps(sqlstate) : std::strcmp(sqlstate, "00000") == 0;
  if (!succeeded) kelUdfEnd(sp);
}

void kelUdfFailThrown(sqludf_scratchpad *scratchpad, const sqlint32 *callType, char *sqlstate, char *msg) noexcept {
  KelUdfScratch *sp = scratchpad != nullptr ? kelUdfScratchOf(scratchpad) : nullptr;
  KelCallContext *ctx = sp != nullptr ? sp->ctx : nullptr;
  // Without a context there is no message mode: the state alone (a full message would not fit
  // the function's 70 characters).
  char *text = ctx != nullptr ? msg : nullptr;
  try {
    if (kelHandlingOutOfMemory())
      kelFail(ctx, text, sqlstate, KELG002E);
    else
      KEL_INTERNAL_ERROR(ctx, text, sqlstate);
  } catch (...) {
    // Formatting the message ran out of memory too: the state alone.
    if (msg != nullptr) msg[0] = '\0';
    kelMessageState(KELG002E, sqlstate);
  }
  kelUdfLeaveMessage(msg);
  if (sp != nullptr && callType != nullptr && kelUdfFirstCall(callType)) kelUdfEnd(sp);
}

bool kelUdfStateKeeps(const char *sqlstate) {
  return std::strcmp(sqlstate, "00000") == 0 || std::strncmp(sqlstate, "01", 2) == 0;
}


void kelUdfLeaveMessage(char *msg) {
  if (msg == nullptr) return;
  size_t n = std::strlen(msg);
  if (n > 0 && msg[n - 1] == '\n') msg[n - 1] = '\0';
}
