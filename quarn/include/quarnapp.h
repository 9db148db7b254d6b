/*
 * quarnapp.h - the embedded-SQL runtime of the engine (library quarnapp): what precompiled
 * static SQL would call, as a small C API.  This header grows with the runtime; for now it
 * holds the error-text service every routine uses to report a failed statement.
 * All calls are thread-safe; buffers belong to the caller.
 */
#ifndef QUARN_QUARNAPP_H
#define QUARN_QUARNAPP_H

#include "sqlca.h"
#include "sqlsystm.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Writes the error text of *pSqlca ("SQLnnnnN text  SQLSTATE=xxxxx") into pBuffer, cut into
 * lines of at most LineWidth bytes (each line ends with a newline), terminated, never more
 * than BufferSize bytes including the terminator.  pMsgFileName names the database's message
 * file and may be null; the engine's texts are built in.
 * Returns the length of the text written; 0 when the area reports success (SQLCODE 0);
 * -1 for a null buffer or area, or a size or width below 2.
 */
SQL_API_EXPORT int sqlaintp_api(char *pBuffer, short BufferSize, short LineWidth,
                                const char *pMsgFileName, struct sqlca *pSqlca);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_QUARNAPP_H */
