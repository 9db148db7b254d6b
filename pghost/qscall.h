/*
 * qscall.h - the call of a quarnsql routine from PostgreSQL's function manager, in the
 * QUARNSQL convention as the embedded engine makes it.
 *
 * A call site is one function reference in one execution of a statement: PostgreSQL's FmgrInfo
 * of the expression.  Its state (argument and result buffers built once, the scratchpad, the
 * call type, DBINFO) lives in fn_extra, allocated in fn_mcxt; a reset callback on fn_mcxt makes
 * the final call when the executor lets go of the expression (at the end of the statement, or
 * during abort cleanup after an error, where the routine must not run SQL).
 *
 * Scalar functions get FIRST, NORMAL ... and, with final_call, FINAL.  Table functions are
 * set-returning functions in value-per-call mode: per outer row OPEN, one FETCH per row until
 * SQLSTATE 02000, then CLOSE; FIRST before the first OPEN and FINAL at the end (with final_call);
 * when the executor stops reading early (LIMIT, rescan) a shutdown callback makes the CLOSE.
 *
 * A routine's SQLSTATE: 38xxx ends the statement with an ERROR of that SQLSTATE; 01Hxx is a
 * WARNING, once per call site; anything else is 39001.  A result that is not terminated within
 * its declared length, or a large object longer than declared, is 39501; a DATE, TIME or
 * TIMESTAMP result in none of the engine's string forms 22007.  A character argument longer than
 * its declared length is 22001 before the call (blanks past it are cut).  An exception that
 * leaves the routine is 38503.  Interrupts (cancel, statement_timeout) are checked before every
 * call, so a statement stops between rows, never inside a routine.
 */
#ifndef QS_CALL_H
#define QS_CALL_H

#include "postgres.h"

#include "fmgr.h"

/* One call of the handler for flinfo's routine (the body of quarnsql_call_handler). */
Datum qsCall(FunctionCallInfo fcinfo);

/* Registers the end-of-transaction safety net of the locator store; called from _PG_init. */
void qsCallInit(void);

#endif /* QS_CALL_H */
