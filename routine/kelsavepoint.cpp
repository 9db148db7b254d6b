/*
 * kelsavepoint.cpp - the savepoint of one stored-procedure call (see kelsavepoint.h).  The
 * statements go through the embedded runtime as SQL text, as the procedures' other statements do.
 */
#include "kelsavepoint.h"

#include "kelctx.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr char kSet[] = "SAVEPOINT KELCALL ON ROLLBACK RETAIN CURSORS";
constexpr char kUndo[] = "ROLLBACK TO SAVEPOINT KELCALL";
constexpr char kRelease[] = "RELEASE SAVEPOINT KELCALL";

void run(KelCallContext *ctx, const char *sql) {
  sqlca ca{};
  int code = quarn_execute_immediate(sql, &ca);
  KEL_TRACE(ctx, "%s: SQLCODE = %d\n", sql, code);
}

}  // namespace

KelCallSavepoint::~KelCallSavepoint() {
  if (active_) finish(-1);
}

int KelCallSavepoint::begin(sqlca *ca) {
  sqlca local{};
  if (ca == nullptr) ca = &local;
  int code = quarn_execute_immediate(kSet, ca);
  KEL_TRACE(ctx_, "%s: SQLCODE = %d\n", kSet, code);
  active_ = code >= 0;
  return code < 0 ? code : 0;
}

int KelCallSavepoint::finish(int rc) {
  if (!active_) return rc;
  active_ = false;
  if (rc < 0) run(ctx_, kUndo);
  run(ctx_, kRelease);
  return rc;
}
