/*
 * qsguard.h - running a piece of PostgreSQL work from inside a routine call, where a
 * PostgreSQL error must never unwind (longjmp) through the routine's C++ frames: the work runs
 * in an internal subtransaction, an error is caught, the subtransaction rolled back (which
 * releases its locks, buffer pins and memory) and the error handed back as a value.
 *
 * Used by the PostgreSQL builds of libquarnrds (slice reads of large objects) and libquarnapp
 * (SQL statements).  Linked statically into each; nothing is shared between them.  A backend
 * runs one routine call at a time; not thread-safe.
 */
#ifndef QS_GUARD_H
#define QS_GUARD_H

#include "postgres.h"

/* What a caught error leaves behind: its SQLSTATE and message text (cut to fit). */
typedef struct QsCaught {
  int sqlerrcode;    /* PostgreSQL's encoded SQLSTATE */
  char sqlstate[6];  /* the same as five characters and a terminator */
  char message[512];
} QsCaught;

typedef void (*QsGuardedWork)(void *arg);

/*
 * Runs work(arg) in an internal subtransaction of the current transaction and commits it.
 * Returns 0 on success; 1 when the work raised an error (*caught filled, the subtransaction
 * rolled back, CurrentMemoryContext and CurrentResourceOwner restored); -1 when no
 * subtransaction can be started here (no transaction in progress, a failed transaction, or a
 * parallel worker or leader in parallel mode; *caught says which).  A cancel request caught
 * this way is raised again at the handler's next interrupt check, after the routine returns.
 * Never raises an error and never throws.
 */
int qsGuarded(QsGuardedWork work, void *arg, QsCaught *caught);

/* True when a subtransaction may be started now (the precondition of qsGuarded). */
bool qsGuardAvailable(void);

#endif /* QS_GUARD_H */
