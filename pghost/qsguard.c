/*
 * qsguard.c - PostgreSQL work inside an internal subtransaction, its error caught as a value
 * (see qsguard.h).  The catch copies the error into ErrorContext, which PostgreSQL keeps with
 * reserved space, so even an out-of-memory error is turned into a value without a second error.
 */
#include "qsguard.h"

#include "access/xact.h"
#include "miscadmin.h"
#include "utils/elog.h"
#include "utils/memutils.h"
#include "utils/resowner.h"

bool qsGuardAvailable(void) {
  return IsTransactionState() && !IsInParallelMode() && !IsAbortedTransactionBlockState();
}

static void setCaught(QsCaught *caught, int code, const char *message) {
  const char *state = unpack_sql_state(code);
  caught->sqlerrcode = code;
  memcpy(caught->sqlstate, state, 5);
  caught->sqlstate[5] = '\0';
  strlcpy(caught->message, message != NULL ? message : "", sizeof caught->message);
}

int qsGuarded(QsGuardedWork work, void *arg, QsCaught *caught) {
  MemoryContext oldcxt = CurrentMemoryContext;
  ResourceOwner oldowner = CurrentResourceOwner;
  volatile bool started = false;
  volatile int rc = 0;

  if (!IsTransactionState() || IsAbortedTransactionBlockState()) {
    setCaught(caught, ERRCODE_IN_FAILED_SQL_TRANSACTION, "no transaction in which to run SQL");
    return -1;
  }
  if (IsInParallelMode()) {
    setCaught(caught, ERRCODE_INVALID_TRANSACTION_STATE, "cannot run SQL from a routine during a parallel operation");
    return -1;
  }
  PG_TRY();
  {
    BeginInternalSubTransaction(NULL);
    started = true;
    MemoryContextSwitchTo(oldcxt);
    work(arg);
    ReleaseCurrentSubTransaction();
    started = false;
    MemoryContextSwitchTo(oldcxt);
    CurrentResourceOwner = oldowner;
  }
  PG_CATCH();
  {
    ErrorData *edata;
    MemoryContextSwitchTo(ErrorContext);
    edata = CopyErrorData();
    setCaught(caught, edata->sqlerrcode, edata->message);
    FlushErrorState();
    if (started) RollbackAndReleaseCurrentSubTransaction();
    MemoryContextSwitchTo(oldcxt);
    CurrentResourceOwner = oldowner;
    /* A cancel or termination is not the routine's to swallow: it takes effect at the
     * handler's next interrupt check, once the routine has returned. */
    if (caught->sqlerrcode == ERRCODE_QUERY_CANCELED) {
      QueryCancelPending = true;
      InterruptPending = true;
    }
    rc = 1;
  }
  PG_END_TRY();
  return rc;
}
