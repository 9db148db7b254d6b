/*
 * sqlcodes.h - the SQLCODEs a program tests for by value: success, no row, and the failures
 * that mean something a caller acts on (an object already there or not there, a routine that
 * failed, a missing package, no graphic support, a lock timeout).  Every other failure is
 * tested by its sign only (< 0 error, > 0 warning).  Plain constants; the engine's own list
 * of errors takes its values from here.
 */
#ifndef QUARN_SQLCODES_H
#define QUARN_SQLCODES_H

#define SQL_RC_OK 0          /* success */
#define SQL_RC_W100 100      /* no row was found */
#define SQL_RC_W462 462      /* a routine returned a warning SQLSTATE */
#define SQL_RC_E204 (-204)   /* undefined name */
#define SQL_RC_E350 (-350)   /* column not usable in that context (a large object in a key) */
#define SQL_RC_E407 (-407)   /* NULL assigned to a NOT NULL column */
#define SQL_RC_E438 (-438)   /* an application (trigger) raised an error by SIGNAL */
#define SQL_RC_E440 (-440)   /* no routine of that name fits the arguments */
#define SQL_RC_E443 (-443)   /* a routine returned an error SQLSTATE */
#define SQL_RC_E444 (-444)   /* a routine's library or entry cannot be loaded */
#define SQL_RC_E454 (-454)   /* a routine of that signature exists */
#define SQL_RC_E456 (-456)   /* a routine of that specific name exists */
#define SQL_RC_E476 (-476)   /* a routine named without a signature is not unique */
#define SQL_RC_E601 (-601)   /* the object to be created exists */
#define SQL_RC_E612 (-612)   /* a duplicate (column) name */
#define SQL_RC_E624 (-624)   /* the table already has that (primary) key */
#define SQL_RC_E803 (-803)   /* duplicate key */
#define SQL_RC_E805 (-805)   /* the program's package is not found */
#define SQL_RC_E818 (-818)   /* the program's package does not match (timestamps) */
#define SQL_RC_E911 (-911)   /* rolled back: deadlock or lock timeout */
#define SQL_RC_E1216 (-1216) /* graphic data not supported by the database */

#endif /* QUARN_SQLCODES_H */
