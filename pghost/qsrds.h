/*
 * qsrds.h - the locator store of the PostgreSQL build of libquarnrds, as the call handler
 * (quarnsql.so) drives it.  Routines never include this header: they reach the store only
 * through sqludf_length/substr/append/create_locator of sqludf.h.
 *
 * A locator names one large-object value for the duration of a routine call:
 *   - an argument passed AS LOCATOR: a varlena the handler owns (detoasted, or a TOAST pointer
 *     to an uncompressed out-of-line value, which is then read slice by slice), made by
 *     qsRdsArgument;
 *   - a value the routine creates with sqludf_create_locator and fills with sqludf_append, kept
 *     in malloc'ed memory, read back by the handler with qsRdsValue.
 * The handler takes a mark before it makes a call's locators and releases everything made
 * since with qsRdsReleaseTo once it has read the results, on every path (also when the
 * statement fails).  Nothing here raises a PostgreSQL error or throws: failures are return
 * codes, so a routine's C++ frames are never crossed.  One store per backend process; not
 * thread-safe (a backend runs one routine call at a time).
 */
#ifndef QS_RDS_H
#define QS_RDS_H

#include <stddef.h>
#include <stdint.h>

#include "sqludf.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The position in the store before a call makes its locators. */
SQL_API_EXPORT size_t qsRdsMark(void);

/* Releases every locator made since mark (created values are freed; argument values belong to
 * the handler and are only forgotten). */
SQL_API_EXPORT void qsRdsReleaseTo(size_t mark);

/*
 * A locator for an argument: value is a varlena (any header form) that stays valid until the
 * locator is released.  When value is a TOAST pointer to an uncompressed out-of-line value
 * (storage EXTERNAL), slices are read on demand; otherwise the varlena must be detoasted
 * already.  Returns 0 and *locator, or -1 when the store cannot grow (out of memory).
 */
SQL_API_EXPORT int qsRdsArgument(const void *value, udf_locator *locator);

/* Forgets one argument locator made with qsRdsArgument, wherever it sits in the store (a table
 * function keeps its arguments' locators from its OPEN call to its CLOSE call, while other calls
 * make and release theirs).  A locator no longer known is ignored. */
SQL_API_EXPORT void qsRdsForget(udf_locator locator);

/*
 * The bytes of locator's value: *data and *length, valid until the locator is released.
 * Returns 0 when the whole value is in memory (a created value, an argument not read by
 * slices); 1 for an argument read by slices, with *data pointing to its varlena (a TOAST
 * pointer) and *length its length; -423 when the locator is not valid.
 */
SQL_API_EXPORT int qsRdsValue(udf_locator locator, const char **data, int64_t *length);

/* How many sqludf_append calls this backend has refused because the value would have grown
 * beyond the largest value this host keeps (SQLUDF_MAX_LOB_LENGTH); compared before and after a
 * call, it tells the handler why a routine failed. */
SQL_API_EXPORT unsigned long qsRdsRefusals(void);

#ifdef __cplusplus
}
#endif

#endif /* QS_RDS_H */
