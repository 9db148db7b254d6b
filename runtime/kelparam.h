/*
 * kelparam.h - reading stored-procedure parameters out of a descriptor area, copying them, and
 * allocating descriptor areas for dynamic SQL.  Pointers returned by the readers point into
 * the descriptor area (nothing is copied); kelDupParam's copies belong to the caller (free()).
 * All functions are reentrant.
 */
#ifndef KEL_PARAM_H
#define KEL_PARAM_H

#include <cstdint>

#include "sqlda.h"

struct KelCallContext;

// True for the large-object type codes 404, 405, 408, 409, 412, 413.
bool kelIsLobType(int sqltype);

/*
 * Reads string parameter index (from 0) of da: large objects through the extended entry's
 * length pointer, or their 32-bit length prefix when it is not set; varying types through their
 * 16-bit length; fixed and null-terminated types with sqllen.  Returns 0 with *data and *len
 * set; -1 with *rc -14 and KELA019E for a null value, -107 and KELA074E for a type that is not
 * a string.  msg is a full-mode message buffer (1025 bytes).
 */
int kelGetStProcParam(KelCallContext *ctx, struct sqlda *da, int index, char **data, int32_t *len,
                      int32_t *rc, char *msg);

/*
 * The same for a single entry: large objects (404, 405, 408, 409) through their 32-bit length
 * prefix, fixed characters with sqllen, null-terminated strings with their string length.
 * Double-byte large objects are refused like any non-string type.
 */
int kelGetStringParameter(KelCallContext *ctx, struct sqlvar *var, char **data, int32_t *len,
                          int32_t *rc, char *msg);

// 0 for a non-null integer or small integer entry; -1 with -14/KELA019E (null) or
// -108/KELA075E (wrong type).  The caller reads the value through var->sqldata.
int kelGetIntParameter(KelCallContext *ctx, struct sqlvar *var, int32_t *rc, char *msg);

// The type check of kelGetIntParameter without the null check, for output parameters.
int kelCheckOutputIntParameter(KelCallContext *ctx, struct sqlvar *var, int32_t *rc, char *msg);

// A terminated malloc'd copy of len bytes of data, owned by the caller; null with *rc -58
// and KELG002E when memory is short.
char *kelDupParam(KelCallContext *ctx, const char *data, int32_t len, int32_t *rc, char *msg);

/*
 * Allocates a zeroed descriptor area of n entries ("SQLDA   ", sqldabc, sqln = n, sqld = 0)
 * into *da.  Returns 0, or -1 when memory is short.  Release it with kel_free_da.
 */
int kel_init_da(KelCallContext *ctx, struct sqlda **da, int n);

// Frees the data of the first sqld entries (and their indicators for nullable types, whose
// codes are odd), then the area.  Entries' data must come from malloc.
void kel_free_da(KelCallContext *ctx, struct sqlda *da);

#endif /* KEL_PARAM_H */
