/*
 * qstypes.h - distinct types on PostgreSQL.  A distinct type is a base type of its own that
 * shares its source type's representation and I/O; quarnsql.create_distinct_type (install
 * script) makes it, with casts from and to the source type, comparison operators and a btree
 * operator class when asked, and records it in the table quarnsql.distinct_types.  For a
 * character source the type's input function and the cast from its source check the declared
 * length (22001, as a too long value for a VARCHAR column); they read it from the SET clause of
 * their own definition (quarnsql.distinct_length), so a restore that loads a table before the
 * record checks it too, and from the record for a type made before that clause.  The handler
 * reads the record to pass a distinct type as its source type.
 *
 * Lookups read the table directly (no SPI), once per type and backend; the cache is dropped
 * when pg_type changes.  Errors are PostgreSQL errors; callers are PostgreSQL code.
 */
#ifndef QS_TYPES_H
#define QS_TYPES_H

#include "postgres.h"

/* What the record says of a distinct type. */
typedef struct QsDistinct {
  Oid source;    /* the source type's PostgreSQL type */
  char base[16]; /* the source as the platform names it: varchar, char, clob, dbclob, blob, ... */
  int64 length;  /* declared bytes of a character or large-object source; 0 for others */
} QsDistinct;

/* Fills *out and returns true when type is a recorded distinct type. */
bool qsDistinctLookup(Oid type, QsDistinct *out);

/* Registers the cache's invalidation callback; called once from _PG_init. */
void qsTypesInit(void);

#endif /* QS_TYPES_H */
