/*
 * quarnrds_pg.c - libquarnrds for PostgreSQL: the function runtime (sqludf_length, substr,
 * append, create_locator) over the locator store the call handler fills (qsrds.h).
 *
 * Argument locators name varlenas the handler owns.  An uncompressed out-of-line value (a
 * column with storage EXTERNAL) is read slice by slice: only the TOAST chunks a substr asks for
 * are fetched, inside a guarded subtransaction so that an error there becomes a return code.
 * Created locators are malloc'ed buffers (never palloc: a failed allocation must be a return
 * code, not a PostgreSQL error) that grow by doubling up to SQLUDF_MAX_LOB_LENGTH bytes; a
 * longer value is refused and remembered, so the handler can say why the routine failed.
 * Entries are allocated one by one, so the address sqludf_create_locator hands out stays put.
 * Backend-local, single-threaded; nothing here raises an error or throws.
 */
#include "postgres.h"

#include <stdlib.h>

#include "access/detoast.h"
#include "qsguard.h"
#include "qsrds.h"

/* SQLCODEs of the function runtime, as the embedded engine gives them. */
#define SQLCODE_NOT_VALID (-423)    /* the locator holds no value */
#define SQLCODE_BAD_TYPE (-171)     /* an unknown locator type */
#define SQLCODE_SYSTEM (-902)       /* memory or an error reading the value */
#define SQLCODE_TOO_LONG (-302)     /* the value would grow beyond the largest this host keeps */

typedef enum { ENTRY_ARGUMENT, ENTRY_SLICED, ENTRY_CREATED } EntryKind;

typedef struct Entry {
  udf_locator id;   /* also the storage a created locator's address points to */
  EntryKind kind;
  const struct varlena *arg; /* ENTRY_ARGUMENT and ENTRY_SLICED */
  char *data;                /* ENTRY_CREATED: malloc'ed */
  int64_t length;
  size_t capacity;
} Entry;

static Entry **entries;
static size_t used, allocated;
static udf_locator lastId;
static unsigned long refusals; /* appends refused for the size limit */

size_t qsRdsMark(void) { return used; }

void qsRdsReleaseTo(size_t mark) {
  while (used > mark) {
    Entry *e = entries[--used];
    free(e->data);
    free(e);
  }
}

void qsRdsForget(udf_locator locator) {
  for (size_t k = used; k > 0; --k) {
    Entry *e = entries[k - 1];
    if (e->id != locator) continue;
    free(e->data);
    free(e);
    memmove(&entries[k - 1], &entries[k], (used - k) * sizeof *entries);
    --used;
    return;
  }
}

unsigned long qsRdsRefusals(void) { return refusals; }

static Entry *newEntry(EntryKind kind) {
  Entry *e;
  if (used == allocated) {
    size_t n = allocated ? allocated * 2 : 16;
    Entry **grown = realloc(entries, n * sizeof *grown);
    if (grown == NULL) return NULL;
    entries = grown;
    allocated = n;
  }
  e = calloc(1, sizeof *e);
  if (e == NULL) return NULL;
  if (++lastId == 0) ++lastId; /* 0 is never a valid locator */
  e->id = lastId;
  e->kind = kind;
  entries[used++] = e;
  return e;
}

/* The entry of a locator; the newest entries are asked for most. */
static Entry *find(udf_locator id) {
  for (size_t k = used; k > 0; --k)
    if (entries[k - 1]->id == id) return entries[k - 1];
  return NULL;
}

int qsRdsArgument(const void *value, udf_locator *locator) {
  const struct varlena *v = (const struct varlena *)value;
  bool sliced = VARATT_IS_EXTERNAL_ONDISK(v);
  Entry *e = newEntry(sliced ? ENTRY_SLICED : ENTRY_ARGUMENT);
  if (e == NULL) return -1;
  e->arg = v;
  if (sliced) {
    struct varatt_external pointer;
    VARATT_EXTERNAL_GET_POINTER(pointer, v);
    e->length = VARATT_EXTERNAL_GET_EXTSIZE(pointer);
  } else {
    e->length = VARSIZE_ANY_EXHDR(v);
  }
  *locator = e->id;
  return 0;
}

int qsRdsValue(udf_locator locator, const char **data, int64_t *length) {
  Entry *e = find(locator);
  if (e == NULL) return SQLCODE_NOT_VALID;
  if (e->kind == ENTRY_SLICED) {
    *data = (const char *)e->arg;
    *length = e->length;
    return 1;
  }
  *data = e->kind == ENTRY_CREATED ? (e->data != NULL ? e->data : "") : VARDATA_ANY(e->arg);
  *length = e->length;
  return 0;
}

/* ---- The function runtime ------------------------------------------------------------------ */

int sqludf_length(udf_locator *udfloc_p, sqlint32 *return_len_p) {
  Entry *e;
  if (udfloc_p == NULL || return_len_p == NULL) return -1;
  e = find(*udfloc_p);
  if (e == NULL) return SQLCODE_NOT_VALID;
  *return_len_p = (sqlint32)e->length;
  return 0;
}

typedef struct SliceRead {
  const struct varlena *value;
  int32 offset, length;
  unsigned char *buffer;
  int32 got;
} SliceRead;

static void readSlice(void *arg) {
  SliceRead *r = (SliceRead *)arg;
  struct varlena *slice = detoast_attr_slice((struct varlena *)r->value, r->offset, r->length);
  r->got = (int32)VARSIZE_ANY_EXHDR(slice);
  memcpy(r->buffer, VARDATA_ANY(slice), r->got);
  pfree(slice);
}

int sqludf_substr(udf_locator *udfloc_p, sqlint32 start, sqlint32 length, unsigned char *buffer_p,
                  sqlint32 *return_len_p) {
  Entry *e;
  int64_t from, n;
  if (udfloc_p == NULL || buffer_p == NULL || return_len_p == NULL || start < 1 || length < 0) return -1;
  e = find(*udfloc_p);
  if (e == NULL) return SQLCODE_NOT_VALID;
  from = (int64_t)start - 1;
  n = from >= e->length ? 0 : Min(e->length - from, (int64_t)length);
  if (n > 0 && e->kind == ENTRY_SLICED) {
    SliceRead r = {e->arg, (int32)from, (int32)n, buffer_p, 0};
    QsCaught caught;
    if (qsGuarded(readSlice, &r, &caught) != 0 || r.got != n) return SQLCODE_SYSTEM;
  } else if (n > 0) {
    const char *src = e->kind == ENTRY_CREATED ? e->data : VARDATA_ANY(e->arg);
    memcpy(buffer_p, src + from, n);
  }
  *return_len_p = (sqlint32)n;
  return 0;
}

int sqludf_append(udf_locator *udfloc_p, unsigned char *buffer_p, sqlint32 length, sqlint32 *return_len_p) {
  Entry *e;
  if (udfloc_p == NULL || (buffer_p == NULL && length > 0) || return_len_p == NULL || length < 0) return -1;
  e = find(*udfloc_p);
  if (e == NULL || e->kind != ENTRY_CREATED) return SQLCODE_NOT_VALID;
  if (e->length + length > SQLUDF_MAX_LOB_LENGTH) {
    ++refusals;
    return SQLCODE_TOO_LONG;
  }
  if ((size_t)(e->length + length) + 1 > e->capacity) {
    size_t want = e->capacity ? e->capacity : 256;
    char *grown;
    while (want < (size_t)(e->length + length) + 1) want *= 2;
    if (want > (size_t)SQLUDF_MAX_LOB_LENGTH + 1) want = (size_t)SQLUDF_MAX_LOB_LENGTH + 1;
    grown = realloc(e->data, want);
    if (grown == NULL) return SQLCODE_SYSTEM;
    e->data = grown;
    e->capacity = want;
  }
  if (length > 0) memcpy(e->data + e->length, buffer_p, length);
  e->length += length;
  e->data[e->length] = '\0';
  *return_len_p = length;
  return 0;
}

int sqludf_create_locator(int loc_type, udf_locator **loc_p) {
  Entry *e;
  if (loc_p == NULL) return -1;
  if (loc_type != SQL_TYP_CLOB_LOC && loc_type != SQL_TYP_BLOB_LOC && loc_type != SQL_TYP_DBCLOB_LOC)
    return SQLCODE_BAD_TYPE;
  e = newEntry(ENTRY_CREATED);
  if (e == NULL) return SQLCODE_SYSTEM;
  *loc_p = &e->id;
  return 0;
}
