/*
 * kelinterr.cpp - the single formatter of internal-error messages (KELG001E).
 */
#include "kelinterr.h"

#include <string>

#include "kelmsg.h"

#ifndef KEL_BUILD_STAMP
#define KEL_BUILD_STAMP "dev"
#endif

const char *kelBuildStamp() { return KEL_BUILD_STAMP; }

int kelInternalError(KelCallContext *ctx, char *msg, char *sqlstate, const char *unit, int line) {
  std::string lineText = std::to_string(line);
  if (msg != nullptr) kelSetMessage(ctx, msg, KELG001E, kelBuildStamp(), unit, lineText.c_str());
  return kelMessageState(KELG001E, sqlstate);
}
