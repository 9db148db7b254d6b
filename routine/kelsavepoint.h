/*
 * kelsavepoint.h - all-or-nothing work of one stored-procedure call: a savepoint set when the
 * call's changes begin, undone when the call ends with a negative return code, released when it
 * succeeds.  The caller's unit of work and its COMMIT stay with the caller; a failed call leaves
 * the database as it was before the call.  Used by the enablement, composition and
 * decomposition procedures.  One object per call; not shared between threads.
 */
#ifndef KEL_SAVEPOINT_H
#define KEL_SAVEPOINT_H

#include "sqlca.h"

struct KelCallContext;

class KelCallSavepoint {
 public:
  explicit KelCallSavepoint(KelCallContext *ctx) : ctx_(ctx) {}
  // Undoes the call's work when neither finish() nor a successful release ran.
  ~KelCallSavepoint();
  KelCallSavepoint(const KelCallSavepoint &) = delete;
  KelCallSavepoint &operator=(const KelCallSavepoint &) = delete;

  // Sets the savepoint.  Returns the SQLCODE (0, or negative with *ca telling why).
  int begin(struct sqlca *ca);
  /*
   * Ends the call's work with its return code: negative undoes everything since begin(), else
   * it is kept.  Returns rc unchanged, so `return sp.finish(rc);` ends a worker.
   */
  int finish(int rc);

 private:
  KelCallContext *ctx_;
  bool active_ = false;
};

#endif /* KEL_SAVEPOINT_H */
