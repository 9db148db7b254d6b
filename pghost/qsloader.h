/*
 * qsloader.h - finding a routine's entry: the library named in its external name is looked up
 * in the directories of the setting quarnsql.routine_path (colon-separated; "$libdir" stands
 * for PostgreSQL's library directory) as lib<name>.so, <name>.so and <name>, the way the
 * embedded engine looks in its function directories, opened once per backend and never
 * closed.  A library name holding "/" is refused: routines load only from those directories.
 * An entry is a symbol the library defines itself, never one of a library it depends on.
 * The platform libraries the routine library needs (libquarnrds, libquarnsys, libquarnapp) are
 * the PostgreSQL builds quarnsql.so loaded with itself, matched by their SONAMEs.
 * Errors are PostgreSQL errors (42724, as the platform's -444); callers are PostgreSQL code.
 */
#ifndef QS_LOADER_H
#define QS_LOADER_H

#include "qsdef.h"

/* The setting quarnsql.routine_path (owned by qshandler.c). */
extern char *qsRoutinePath;

/* The address of def's entry; raises 42724 naming the library, the entry and the loader's
 * reason when it cannot be had. */
void *qsLoadEntry(const QsDef *def);

#endif /* QS_LOADER_H */
