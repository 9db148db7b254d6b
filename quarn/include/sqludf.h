/*
 * sqludf.h - the interface between the engine and external user-defined functions in the
 * parameter style QUARNSQL, and the function runtime (library quarnrds) through which a
 * function reaches large-object locators.
 *
 * A QUARNSQL function receives, in this order: a pointer to each input value (terminated
 * strings for character types, a pointer to a udf_locator for a large object passed as
 * locator, a pointer to the binary value otherwise), a pointer to each result (for a table
 * function one per column), a 16-bit null indicator per input and per result, then
 * SQLUDF_TRAIL_ARGS_ALL: the SQLSTATE (6 bytes, "00000" on entry), the qualified function name,
 * the specific name, the diagnostic message (SQLUDF_MSGTEXT_LEN characters and a terminator),
 * the scratchpad, the call type and the DBINFO structure (each only when registered with
 * SCRATCHPAD, FINAL CALL and DBINFO; the scratchpad and call type come with table functions
 * always).
 */
#ifndef QUARN_SQLUDF_H
#define QUARN_SQLUDF_H

#include "sqlsystm.h"

#define SQLUDF_SQLSTATE_LEN 5
#define SQLUDF_FQNAME_LEN 257
#define SQLUDF_SPECNAME_LEN 128
#define SQLUDF_MSGTEXT_LEN 70
#define SQLUDF_SCRATCHPAD_LEN 100
/* The longest large-object value the engine keeps, in bytes; longer appends fail. */
#define SQLUDF_MAX_LOB_LENGTH 1000000000

/* Call types of scalar functions. */
#define SQLUDF_FIRST_CALL (-1)
#define SQLUDF_NORMAL_CALL 0
#define SQLUDF_FINAL_CALL 1
/* Call types of table functions. */
#define SQLUDF_TF_FIRST (-2)
#define SQLUDF_TF_OPEN (-1)
#define SQLUDF_TF_FETCH 0
#define SQLUDF_TF_CLOSE 1
#define SQLUDF_TF_FINAL 2

/* The SQLSTATE a table function sets at the end of its table. */
#define SQLUDF_STATE_EOT "02000"

typedef sqluint32 udf_locator;

/* Kept by the engine per statement execution and per reference in the statement; zeroed
   before the first call. */
struct sqludf_scratchpad {
  sqlint32 length; /* of data */
  /* Aligned for any scalar or pointer a function keeps there. */
  char data[SQLUDF_SCRATCHPAD_LEN] __attribute__((aligned(8)));
};

/* What the engine tells a function registered with DBINFO about where it runs. */
struct sqludf_dbinfo {
  unsigned short dbnamelen;
  char dbname[128];          /* the database name, not terminated */
  unsigned short authidlen;
  char authid[128];          /* the current user, not terminated */
  sqluint32 dbcodepage;      /* the database code page (1208 for this engine) */
  sqluint32 appcodepage;     /* the application code page of the session */
  unsigned short tbschemalen;
  char tbschema[128];        /* table of the column the result is assigned to, or empty */
  unsigned short tbnamelen;
  char tbname[128];
  unsigned short colnamelen;
  char colname[128];
  char ver_rel[8];           /* product identifier, "SQLnnnnn" */
  char platform_name[16];
  sqlint32 reserved[8];
};

#define SQLUDF_TRAIL_ARGS_ALL                                                               \
  char *sqludf_sqlstate, char *sqludf_fname, char *sqludf_fspecname, char *sqludf_msgtext, \
      struct sqludf_scratchpad *sqludf_scratchpad, sqlint32 *sqludf_call_type,             \
      struct sqludf_dbinfo *sqludf_dbinfo

/* Locator types of sqludf_create_locator. */
#define SQL_TYP_CLOB_LOC 964
#define SQL_TYP_BLOB_LOC 960
#define SQL_TYP_DBCLOB_LOC 968

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The function runtime.  Each call returns 0, or an SQLCODE (< 0) when the locator is not
 * valid in the calling statement or the request cannot be met.  Locators belong to the
 * session of the calling statement and live until its end.
 */

/* *length = the value's length in bytes. */
SQL_API_EXPORT int sqludf_length(udf_locator *udfloc_p, sqlint32 *return_len_p);

/* Copies up to length bytes from 1-based position start into buffer; *return_len_p = bytes
   copied (fewer at the end of the value). */
SQL_API_EXPORT int sqludf_substr(udf_locator *udfloc_p, sqlint32 start, sqlint32 length,
                                 unsigned char *buffer_p, sqlint32 *return_len_p);

/* Appends length bytes of buffer to the value; *return_len_p = the bytes appended. */
SQL_API_EXPORT int sqludf_append(udf_locator *udfloc_p, unsigned char *buffer_p, sqlint32 length,
                                 sqlint32 *return_len_p);

/* Creates an empty value of loc_type (SQL_TYP_CLOB_LOC ...); *loc_p points to its locator,
   valid until the statement ends. */
SQL_API_EXPORT int sqludf_create_locator(int loc_type, udf_locator **loc_p);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_SQLUDF_H */
