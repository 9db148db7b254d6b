/*
 * sqlenv.h - system services of the engine (library quarnsys): the instance's registry values.
 * Registry values live in the file "quarn.registry" of the instance directory (QUARNPATH, by
 * default $HOME/.quarn), one "NAME=value" per line; an administrator sets them with sqloSetEnv
 * or by editing the file.  Reads and writes are thread-safe; a write replaces the file
 * atomically, so readers in other processes see the old or the new file, never a mix.
 */
#ifndef QUARN_SQLENV_H
#define QUARN_SQLENV_H

#include "sqlsystm.h"

/* Registry values. */
#define SQLE_REG_XML_READ_DIRS 373  /* QUARN_XML_READ_DIRS: directories server-file functions read */
#define SQLE_REG_XML_WRITE_DIRS 374 /* QUARN_XML_WRITE_DIRS: directories they write */

#define SQLO_REG_UNSET 1 /* sqloGetEnv: the value is not set */

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Copies registry value id of the current instance into value (size bytes, terminated; a longer
 * value is refused).  Returns 0 when the value is set, SQLO_REG_UNSET (value "") when it is
 * not, -1 for an unknown id, a null or too small buffer, or an unreadable registry file.
 */
SQL_API_EXPORT int sqloGetEnv(int id, char *value, int size);

/*
 * Sets registry value id of the current instance (value null: removes it).  Returns 0, or -1
 * for an unknown id, a value holding a line break, or a registry file that cannot be written.
 */
SQL_API_EXPORT int sqloSetEnv(int id, const char *value);

/* The name of registry value id ("QUARN_XML_READ_DIRS"), or null for an unknown id. */
SQL_API_EXPORT const char *sqloEnvName(int id);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_SQLENV_H */
