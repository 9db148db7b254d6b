/*
 * qsdef.h - the definition of a routine of language quarnsql, read from its pg_proc row: the
 * library and entry, the clauses of the QUARNSQL convention, and how each argument and result
 * travels through the call.  Definitions are cached per backend and dropped when pg_proc or
 * pg_type changes; a call site holds a counted reference, so a definition replaced while a
 * statement runs stays valid for that statement.
 *
 * The routine's AS string is its external name and clauses, separated by blanks:
 *   'library!entry [scratchpad] [final_call] [dbinfo] [specific=NAME] [argK=PASSING ...] [result=PASSING[,PASSING...]]'
 * PASSING describes one argument (argK, K from 1 without a leading zero) or one result (one per column of a table
 * function, in order): N (the declared length in bytes of a character or large-object value,
 * with K, M or G allowed, at most 2G, and at most 1,073,741,814 for a value passed as a
 * string), "locator" or "locator:N" (a large object passed as locator), "lob" or
 * "lob:N" (a large object passed by value: a 32-bit length, the bytes and a terminator), or empty
 * (the default).  specific=NAME comes at most once, NAME at most 128 bytes (as on the embedded
 * engine).  The SQL attributes map as usual: STRICT is RETURNS NULL ON NULL INPUT,
 * IMMUTABLE is NOT VARIANT, PARALLEL SAFE is ALLOW PARALLEL.
 *
 * Errors are raised as PostgreSQL errors (ERRCODE_INVALID_FUNCTION_DEFINITION for a clause that
 * does not fit the declaration, ERRCODE_FEATURE_NOT_SUPPORTED for a type the convention cannot
 * carry); callers are PostgreSQL code, never a routine's frames.
 */
#ifndef QS_DEF_H
#define QS_DEF_H

#include "postgres.h"

#include "sqludf.h"

/* How one value travels in the call. */
typedef enum QsKind {
  QS_SMALLINT,  /* short */
  QS_INTEGER,   /* sqlint32 */
  QS_BIGINT,    /* sqlint64 */
  QS_REAL,      /* float */
  QS_DOUBLE,    /* double (DOUBLE PRECISION and NUMERIC, as the embedded engine passes DECIMAL) */
  QS_VARCHAR,   /* a terminated string */
  QS_CHAR,      /* a terminated string, an argument padded with blanks to its length */
  QS_CLOB,      /* a character large object: by value (length, bytes, terminator) or as locator */
  QS_BLOB,      /* a binary large object (bytea), likewise */
  QS_DATE,      /* "yyyy-mm-dd" */
  QS_TIME,      /* "hh.mm.ss" */
  QS_TIMESTAMP  /* "yyyy-mm-dd-hh.mm.ss.nnnnnn" */
} QsKind;

typedef struct QsValueDef {
  Oid type;         /* the SQL type as declared (a distinct or domain type stays itself) */
  QsKind kind;
  bool locator;     /* passed as a large-object locator */
  bool numeric;     /* the SQL type is NUMERIC (passed as double) */
  int64 length;     /* declared bytes of a character or large-object value */
  int64 castLength; /* a result of a distinct character type written with a longer length
                       (RETURNS t CAST FROM u): the type's own length, checked after the call */
  size_t bytes;     /* bytes the value occupies in the call, terminator included */
} QsValueDef;

typedef struct QsDef {
  Oid fn;
  MemoryContext cxt;  /* holds the definition; deleted with the last reference */
  int refs;
  bool stale;         /* dropped from the cache; freed when the last site lets go */
  char fname[SQLUDF_FQNAME_LEN + 1];      /* schema.name */
  char specific[SQLUDF_SPECNAME_LEN + 1]; /* specific=, else SQL and the function's number */
  char library[256];
  char entry[256];
  bool scratchpad, finalCall, dbinfo;
  bool table;        /* a set-returning (table) function */
  bool composite;    /* the table function's rows have several columns */
  int nargs;
  QsValueDef *args;
  int nresults;      /* 1 for a scalar function; the columns of a table function */
  QsValueDef *results;
} QsDef;

/*
 * The definition of function fn, from the backend's cache; the caller holds a reference until
 * qsDefRelease.  Raises an error when the row is missing or its clauses or types do not fit.
 */
QsDef *qsDefGet(Oid fn);

/* Lets go of a reference; the definition is freed once it is stale and unreferenced. */
void qsDefRelease(QsDef *def);

/*
 * The checks of the validator: reads fn's definition as qsDefGet does (raising the same
 * errors) without caching it, and returns it in CurrentMemoryContext.
 */
QsDef *qsDefRead(Oid fn);

/* Registers the cache's invalidation callbacks; called once from _PG_init. */
void qsDefInit(void);

#endif /* QS_DEF_H */
