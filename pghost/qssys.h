/*
 * qssys.h - what the call handler tells the PostgreSQL build of libquarnsys before a routine
 * call: whether the calling user may have server files read or written.  Routines never include
 * this header.  Backend-local; not thread-safe.
 */
#ifndef QS_SYS_H
#define QS_SYS_H

#include "sqlsystm.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Sets whether the current call may see the readable and the writable directories.  A caller
 * that may not (not a member of pg_read_server_files / pg_write_server_files) finds the
 * registry value unset, so the routine refuses every server file as outside the allowed
 * directories.  Both start false.
 */
SQL_API_EXPORT void qsSysSetAccess(int mayRead, int mayWrite);

/* What qsSysRefused reports. */
#define QS_SYS_REFUSED_READ 1
#define QS_SYS_REFUSED_WRITE 2

/*
 * The directories the current call (since the last qsSysSetAccess) asked for and did not see
 * only for want of the privilege: QS_SYS_REFUSED_READ and QS_SYS_REFUSED_WRITE or-ed, 0 when a
 * setting it asked for was empty anyway or it asked for none.
 */
SQL_API_EXPORT int qsSysRefused(void);

#ifdef __cplusplus
}
#endif

#endif /* QS_SYS_H */
