/*
 * quarnxmlinit.h - the process-wide initialiser of the XML parser library (Xerces-C) and ICU.
 * Loading the library quarnxmlinit initialises both once; unloading it terminates the parser
 * library.  Routine libraries link it and ask whether that succeeded.  Thread-safe: the state
 * is fixed before any caller can reach it.
 */
#ifndef QUARN_QUARNXMLINIT_H
#define QUARN_QUARNXMLINIT_H

#include "sqlsystm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* 1 when the parser library and ICU were initialised when the library was loaded, else 0. */
SQL_API_EXPORT int isSharedLibInitSuccess(void);

/*
 * 0 after success; otherwise why the initialisation failed: -1 the parser library failed
 * without an exception, -2 it threw an XML exception, -3 it threw a SAX exception, -4 the XSLT
 * library failed (this platform has none, so -4 is never reported), -5 ICU failed.
 */
SQL_API_EXPORT int getLastErrorCode(void);

/* The text of the failure ("" after success); owned by the library, valid while it is loaded. */
SQL_API_EXPORT const char *getLastErrorMessage(void);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_QUARNXMLINIT_H */
