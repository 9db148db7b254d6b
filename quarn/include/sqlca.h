/*
 * sqlca.h - the SQL communication area: the outcome of one SQL statement as the engine reports
 * it (SQLCODE, SQLSTATE, message tokens, counters).  Written by the engine and by the
 * embedded-SQL runtime; read by applications and by routines.  The caller owns the area.
 */
#ifndef QUARN_SQLCA_H
#define QUARN_SQLCA_H

#include "sqlsystm.h"

#define SQLCA_EYECATCHER "SQLCA   "
#define SQL_MAX_ERRMC 70 /* bytes of message tokens, separated by SQL_TOKEN_SEP */
#define SQL_TOKEN_SEP '\xFF'

struct sqlca {
  char sqlcaid[8];              /* "SQLCA   " */
  sqlint32 sqlcabc;             /* size of the area: 136 */
  sqlint32 sqlcode;             /* 0 success, > 0 warning (100: no row), < 0 error */
  short sqlerrml;               /* bytes used in sqlerrmc */
  char sqlerrmc[SQL_MAX_ERRMC]; /* message tokens, 0xFF between tokens */
  char sqlerrp[8];              /* product identifier or the failing component */
  sqlint32 sqlerrd[6];          /* counters; sqlerrd[2] is the number of rows affected */
  char sqlwarn[11];             /* warning flags, ' ' or 'W' */
  char sqlstate[5];             /* not terminated */
};

#endif /* QUARN_SQLCA_H */
