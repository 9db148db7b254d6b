/*
 * kelsavepoint.cpp - the savepoint of one stored-procedure call (see kelsavepoint.h).  The
 * savepoint is set, undone and released through the runtime's savepoint calls, which name it
 * directly: no statement text is read for them on every call.
 */
#include "kelsavepoint.h"

#include "kelctx.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

// The call's savepoint; a name of its own, so the caller's savepoints are never touched.
constexpr char kName[] = "KELCALL";

}  // namespace

KelCallSavepoint::~KelCallSavepoint() {
  if (active_) finish(-1);
}

int KelCallSavepoint::begin(sqlca *ca) {
  sqlca local{};
  if (ca == nullptr) ca = &local;
  int code = quarn_savepoint(kName, 0, ca);
  KEL_TRACE(ctx_, "SAVEPOINT %s: SQLCODE = %d\n", kName, code);
  active_ = code >= 0;
  return code < 0 ? code : 0;
}

int KelCallSavepoint::finish(int rc) {
  if (!active_) return rc;
  active_ = false;
  sqlca ca{};
  if (rc < 0) {
    int code = quarn_rollback_to_savepoint(kName, &ca);
    KEL_TRACE(ctx_, "ROLLBACK TO SAVEPOINT %s: SQLCODE = %d\n", kName, code);
  }
  int code = quarn_release_savepoint(kName, &ca);
  KEL_TRACE(ctx_, "RELEASE SAVEPOINT %s: SQLCODE = %d\n", kName, code);
  return rc;
}
