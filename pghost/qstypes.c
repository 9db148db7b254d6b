/*
 * qstypes.c - distinct types: the record of quarnsql.distinct_types read without SPI and cached
 * per backend, and the length-checking input, receive and cast functions of distinct types
 * over a character source, which read the length from their own definition (see qstypes.h).
 */
#include "postgres.h"

#include "access/detoast.h"
#include "access/genam.h"
#include "access/htup_details.h"
#include "access/table.h"
#include "catalog/namespace.h"
#include "catalog/pg_proc.h"
#include "catalog/pg_type.h"
#include "fmgr.h"
#include "libpq/pqformat.h"
#include "mb/pg_wchar.h"
#include "qstypes.h"
#include "utils/array.h"
#include "utils/builtins.h"
#include "utils/inval.h"
#include "utils/lsyscache.h"
#include "utils/memutils.h"
#include "utils/rel.h"
#include "utils/syscache.h"

#define QS_EXPORT __attribute__((visibility("default")))

/* The columns of quarnsql.distinct_types, in order. */
enum { COL_TYPE = 1, COL_SOURCE, COL_BASE, COL_LENGTH };

typedef struct Known {
  Oid type;
  QsDistinct d;
} Known;

static Known *known;
static int nKnown;
static bool loaded;

static void forget(Datum arg, int cacheid, uint32 hashvalue) {
  loaded = false;
}

void qsTypesInit(void) { CacheRegisterSyscacheCallback(TYPEOID, forget, (Datum)0); }

/* Reads every row of quarnsql.distinct_types into the cache (none when the table is missing). */
static void load(void) {
  Oid nsp = get_namespace_oid("quarnsql", true);
  Oid rel = OidIsValid(nsp) ? get_relname_relid("distinct_types", nsp) : InvalidOid;
  Relation r;
  SysScanDesc scan;
  HeapTuple tup;
  int cap = 8;

  if (known != NULL) pfree(known);
  known = MemoryContextAlloc(TopMemoryContext, cap * sizeof *known);
  nKnown = 0;
  loaded = true;
  if (!OidIsValid(rel)) return;
  r = table_open(rel, AccessShareLock);
  scan = systable_beginscan(r, InvalidOid, false, NULL, 0, NULL);
  while (HeapTupleIsValid(tup = systable_getnext(scan))) {
    bool nullType, nullSource, nullBase, nullLength;
    Datum type = heap_getattr(tup, COL_TYPE, RelationGetDescr(r), &nullType);
    Datum source = heap_getattr(tup, COL_SOURCE, RelationGetDescr(r), &nullSource);
    Datum base = heap_getattr(tup, COL_BASE, RelationGetDescr(r), &nullBase);
    Datum length = heap_getattr(tup, COL_LENGTH, RelationGetDescr(r), &nullLength);
    Known *k;
    if (nullType || nullSource || nullBase) continue;
    if (nKnown == cap) {
      cap *= 2;
      known = repalloc(known, cap * sizeof *known);
    }
    k = &known[nKnown++];
    k->type = DatumGetObjectId(type);
    k->d.source = DatumGetObjectId(source);
    text_to_cstring_buffer(DatumGetTextPP(base), k->d.base, sizeof k->d.base);
    k->d.length = nullLength ? 0 : DatumGetInt64(length);
  }
  systable_endscan(scan);
  table_close(r, AccessShareLock);
}

static bool find(Oid type, QsDistinct *out) {
  for (int i = 0; i < nKnown; ++i)
    if (known[i].type == type) {
      *out = known[i].d;
      return true;
    }
  return false;
}

bool qsDistinctLookup(Oid type, QsDistinct *out) {
  if (!loaded) load();
  if (find(type, out)) return true;
  /* A type recorded since the cache was read (the record is written after the type). */
  load();
  return find(type, out);
}

/* ---- Functions of distinct types over a character source --------------------------------- */

/* The length the calling function's own definition records (SET quarnsql.distinct_length), or
 * -1 when it records none (a type made before its functions carried it).  Only a superuser
 * makes or alters a C function, and a restore makes the function before any row of a table. */
static int64 definedLength(Oid fn) {
  HeapTuple tup = SearchSysCache1(PROCOID, ObjectIdGetDatum(fn));
  int64 length = -1;
  bool isnull;
  Datum config;
  if (!HeapTupleIsValid(tup)) return -1;
  config = SysCacheGetAttr(PROCOID, tup, Anum_pg_proc_proconfig, &isnull);
  if (!isnull) {
    ArrayType *items = DatumGetArrayTypeP(config);
    Datum *values;
    bool *nulls;
    int n;
    const char key[] = "quarnsql.distinct_length=";
    deconstruct_array(items, TEXTOID, -1, false, TYPALIGN_INT, &values, &nulls, &n);
    for (int i = 0; i < n; ++i) {
      char *item = nulls[i] ? NULL : TextDatumGetCString(values[i]);
      if (item != NULL && strncmp(item, key, sizeof key - 1) == 0) {
        char *end;
        long long v = strtoll(item + sizeof key - 1, &end, 10);
        if (*end == '\0' && v >= 0) length = (int64)v;
      }
    }
  }
  ReleaseSysCache(tup);
  return length;
}

/* Refuses a value of bytes bytes longer than the type holds.  The length comes from the calling
 * function's definition (read once per call site, kept in fn_extra), else from the type's row
 * of quarnsql.distinct_types. */
static void checkLength(FunctionCallInfo fcinfo, Oid type, int64 bytes) {
  QsDistinct d;
  FmgrInfo *fl = fcinfo->flinfo;
  d.length = -1;
  if (fl != NULL) {
    if (fl->fn_extra == NULL) {
      int64 *defined = MemoryContextAlloc(fl->fn_mcxt, sizeof *defined);
      *defined = definedLength(fl->fn_oid);
      fl->fn_extra = defined;
    }
    d.length = *(int64 *)fl->fn_extra;
  }
  if (d.length < 0 && !qsDistinctLookup(type, &d))
    ereport(ERROR, (errcode(ERRCODE_UNDEFINED_OBJECT),
                    errmsg("type %s is not a distinct type of language quarnsql", format_type_be(type))));
  if (d.length > 0 && bytes > d.length)
    ereport(ERROR, (errcode(ERRCODE_STRING_DATA_RIGHT_TRUNCATION),
                    errmsg("value too long for type %s", format_type_be(type)),
                    errdetail("The value has " INT64_FORMAT " bytes; the type holds at most " INT64_FORMAT ".", bytes,
                              d.length)));
}

PG_FUNCTION_INFO_V1(quarnsql_distinct_in);
QS_EXPORT Datum quarnsql_distinct_in(PG_FUNCTION_ARGS) {
  char *s = PG_GETARG_CSTRING(0);
  size_t n = strlen(s);
  checkLength(fcinfo, PG_GETARG_OID(1), (int64)n);
  PG_RETURN_TEXT_P(cstring_to_text_with_len(s, (int)n));
}

PG_FUNCTION_INFO_V1(quarnsql_distinct_recv);
QS_EXPORT Datum quarnsql_distinct_recv(PG_FUNCTION_ARGS) {
  StringInfo buf = (StringInfo)PG_GETARG_POINTER(0);
  int n;
  char *s = pq_getmsgtext(buf, buf->len - buf->cursor, &n);
  checkLength(fcinfo, PG_GETARG_OID(1), n);
  PG_RETURN_TEXT_P(cstring_to_text_with_len(s, n));
}

/* The cast from the source type (and the function named like the type): the value unchanged,
 * once its length fits.  The length is read from the header, without detoasting the value. */
PG_FUNCTION_INFO_V1(quarnsql_distinct_cast);
QS_EXPORT Datum quarnsql_distinct_cast(PG_FUNCTION_ARGS) {
  Oid type = get_fn_expr_rettype(fcinfo->flinfo);
  Datum value = PG_GETARG_DATUM(0);
  if (!OidIsValid(type))
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED), errmsg("distinct type cast called without its call site")));
  checkLength(fcinfo, type, (int64)toast_raw_datum_size(value) - VARHDRSZ);
  PG_RETURN_DATUM(value);
}
