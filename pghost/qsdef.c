/*
 * qsdef.c - routine definitions from pg_proc, their clauses and checks, and the backend's cache
 * of them (see qsdef.h).
 */
#include "postgres.h"

#include <ctype.h>

#include "access/htup_details.h"
#include "catalog/pg_proc.h"
#include "catalog/pg_type.h"
#include "funcapi.h"
#include "qsdef.h"
#include "qstypes.h"
#include "utils/builtins.h"
#include "utils/hsearch.h"
#include "utils/inval.h"
#include "utils/lsyscache.h"
#include "utils/memutils.h"
#include "utils/syscache.h"

/* The most pointers a call may pass, as on the embedded engine. */
#define MAX_CALL_ARGS 200
/* Trailing arguments: SQLSTATE, names, message, scratchpad, call type, DBINFO. */
#define TRAILING_ARGS 7
/* Declared lengths when neither the clauses nor a distinct type give one. */
#define DEFAULT_VARCHAR 32672
#define DEFAULT_CHAR 254
#define DEFAULT_LOB ((int64)2147483647)
/* The largest buffer a large object passed by value gets, as on the embedded engine. */
#define MAX_LOB_BUFFER ((int64)16 * 1024 * 1024)
/* The longest declared length: a large object of 2G, as the registrations declare the largest. */
#define MAX_DECLARED ((int64)2 * 1024 * 1024 * 1024)
/* The longest specific name in bytes, as the embedded engine's CREATE FUNCTION allows (a name of
 * 128 bytes); the routine's buffer holds it and a terminator. */
#define MAX_SPECIFIC 128
StaticAssertDecl(MAX_SPECIFIC <= SQLUDF_SPECNAME_LEN, "a specific name fits the routine's buffer");
/* The longest length of a value passed as a terminated string: its buffer (the bytes, the
 * terminator and 8 to spare) is one PostgreSQL allocation. */
#define MAX_STRING_LENGTH ((int64)MaxAllocSize - 9)

/* ---- Clauses ------------------------------------------------------------------------------- */

typedef struct Clause {
  bool given;
  bool locator, lob;
  int64 length; /* 0: not given */
} Clause;

static void badClause(const char *fname, const char *fmt, const char *detail) {
  ereport(ERROR, (errcode(ERRCODE_INVALID_FUNCTION_DEFINITION),
                  errmsg("invalid clause in the definition of routine \"%s\"", fname), errdetail(fmt, detail)));
}

/* N with an optional K, M or G, from 1 to MAX_DECLARED; -1 when text is not one.  The ceiling
 * is checked after every digit and again after the factor, so no length wraps. */
static int64 parseLength(const char *text) {
  int64 n = 0;
  const char *p = text;
  if (!isdigit((unsigned char)*p)) return -1;
  for (; isdigit((unsigned char)*p); ++p) {
    n = n * 10 + (*p - '0');
    if (n > MAX_DECLARED) return -1;
  }
  switch (toupper((unsigned char)*p)) {
    case 'K': n *= 1024; ++p; break;
    case 'M': n *= 1024 * 1024; ++p; break;
    case 'G': n *= (int64)1024 * 1024 * 1024; ++p; break;
    default: break;
  }
  return *p == '\0' && n > 0 && n <= MAX_DECLARED ? n : -1;
}

/* The argument number K of a clause "argK=...": 1 to FUNC_MAX_ARGS written without a leading
 * zero and followed by '=', else -1. */
static int argNumber(const char *tok) {
  const char *p = tok + 3;
  int k = 0;
  if (*p < '1' || *p > '9') return -1;
  for (; isdigit((unsigned char)*p); ++p) {
    k = k * 10 + (*p - '0');
    if (k > FUNC_MAX_ARGS) return -1;
  }
  return *p == '=' ? k : -1;
}

static Clause parseClause(const char *fname, const char *text) {
  Clause s = {true, false, false, 0};
  const char *colon = strchr(text, ':');
  char word[16];
  if (*text == '\0') {
    s.given = false;
    return s;
  }
  if (isdigit((unsigned char)*text)) {
    if ((s.length = parseLength(text)) < 0) badClause(fname, "\"%s\" is not a length.", text);
    return s;
  }
  snprintf(word, sizeof word, "%.*s", colon != NULL ? (int)(colon - text) : (int)strlen(text), text);
  if (strcmp(word, "locator") == 0) s.locator = true;
  else if (strcmp(word, "lob") == 0) s.lob = true;
  else badClause(fname, "\"%s\" is neither a length, \"locator\" nor \"lob\".", text);
  if (colon != NULL && (s.length = parseLength(colon + 1)) < 0) badClause(fname, "\"%s\" is not a length.", colon + 1);
  return s;
}

/* ---- Types --------------------------------------------------------------------------------- */

static void unsupported(const char *fname, Oid type) {
  ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                  errmsg("type %s of routine \"%s\" cannot be passed in the QUARNSQL convention", format_type_be(type),
                         fname)));
}

static bool kindOfBase(const char *base, QsKind *kind) {
  static const struct {
    const char *name;
    QsKind kind;
  } names[] = {{"smallint", QS_SMALLINT}, {"integer", QS_INTEGER}, {"bigint", QS_BIGINT},
               {"real", QS_REAL},         {"double", QS_DOUBLE},   {"decimal", QS_DOUBLE},
               {"varchar", QS_VARCHAR},   {"char", QS_CHAR},       {"clob", QS_CLOB},
               {"dbclob", QS_CLOB},       {"blob", QS_BLOB},       {"date", QS_DATE},
               {"time", QS_TIME},         {"timestamp", QS_TIMESTAMP}};
  for (size_t k = 0; k < lengthof(names); ++k)
    if (strcmp(names[k].name, base) == 0) {
      *kind = names[k].kind;
      return true;
    }
  return false;
}

/* How a value of type travels, with the clause clause applied. */
static void classify(const char *fname, Oid type, Clause clause, QsValueDef *v) {
  Oid base = getBaseType(type); /* a domain travels as its base type */
  QsDistinct d;
  bool character, distinct = false;
  memset(v, 0, sizeof *v);
  v->type = type;
  switch (base) {
    case INT2OID: v->kind = QS_SMALLINT; break;
    case INT4OID: v->kind = QS_INTEGER; break;
    case INT8OID: v->kind = QS_BIGINT; break;
    case FLOAT4OID: v->kind = QS_REAL; break;
    case FLOAT8OID: v->kind = QS_DOUBLE; break;
    case NUMERICOID: v->kind = QS_DOUBLE; v->numeric = true; break;
    case TEXTOID: case VARCHAROID: v->kind = QS_VARCHAR; break;
    case BPCHAROID: v->kind = QS_CHAR; break;
    case BYTEAOID: v->kind = QS_BLOB; break;
    case DATEOID: v->kind = QS_DATE; break;
    case TIMEOID: v->kind = QS_TIME; break;
    case TIMESTAMPOID: v->kind = QS_TIMESTAMP; break;
    default:
      if (!qsDistinctLookup(base, &d) || !kindOfBase(d.base, &v->kind)) unsupported(fname, type);
      if (d.source == NUMERICOID) v->numeric = true;
      v->length = d.length;
      distinct = true;
      break;
  }
  character = v->kind == QS_VARCHAR || v->kind == QS_CHAR || v->kind == QS_CLOB;
  if (clause.locator || clause.lob) {
    if (!character && v->kind != QS_BLOB)
      badClause(fname, "A value of type %s cannot be a large object.", format_type_be(type));
    if (v->kind != QS_BLOB) v->kind = QS_CLOB;
    v->locator = clause.locator;
  }
  if (clause.length > 0) {
    if (!character && v->kind != QS_BLOB)
      badClause(fname, "A value of type %s has no declared length.", format_type_be(type));
    /* A distinct type given a longer length: the routine writes that much, the value must still
     * fit the type. */
    if (distinct && character && !v->locator && v->length > 0 && clause.length > v->length) v->castLength = v->length;
    v->length = clause.length;
  }
  if (v->kind == QS_BLOB && !clause.locator && !clause.lob) v->locator = false; /* bytea: by value */
  if (v->length <= 0)
    v->length = v->kind == QS_VARCHAR ? DEFAULT_VARCHAR : v->kind == QS_CHAR ? DEFAULT_CHAR
              : (v->kind == QS_CLOB || v->kind == QS_BLOB) ? DEFAULT_LOB : 0;
  if (v->locator) {
    v->bytes = sizeof(udf_locator);
    return;
  }
  if ((v->kind == QS_VARCHAR || v->kind == QS_CHAR) && v->length > MAX_STRING_LENGTH)
    ereport(ERROR, (errcode(ERRCODE_INVALID_FUNCTION_DEFINITION),
                    errmsg("invalid clause in the definition of routine \"%s\"", fname),
                    errdetail("A value of type %s passed as a string holds at most " INT64_FORMAT " bytes, not " INT64_FORMAT
                              ".",
                              format_type_be(type), MAX_STRING_LENGTH, v->length)));
  switch (v->kind) {
    case QS_SMALLINT: v->bytes = sizeof(short); break;
    case QS_INTEGER: v->bytes = sizeof(sqlint32); break;
    case QS_BIGINT: v->bytes = sizeof(sqlint64); break;
    case QS_REAL: v->bytes = sizeof(float); break;
    case QS_DOUBLE: v->bytes = sizeof(double); break;
    case QS_DATE: v->bytes = 11; break;
    case QS_TIME: v->bytes = 9; break;
    case QS_TIMESTAMP: v->bytes = 27; break;
    case QS_CLOB: case QS_BLOB: v->bytes = sizeof(sqlint32) + (size_t)Min(v->length, MAX_LOB_BUFFER) + 1; break;
    default: v->bytes = (size_t)v->length + 1; break;
  }
}

/* ---- Reading a definition ------------------------------------------------------------------ */

static QsDef *build(Oid fn) {
  HeapTuple tup = SearchSysCache1(PROCOID, ObjectIdGetDatum(fn));
  Form_pg_proc proc;
  Datum srcDatum;
  bool isnull;
  char *src, *save, *tok;
  Oid *types;
  char **names;
  char *modes;
  int nAll, nIn = 0, nOut = 0;
  Clause argClauses[FUNC_MAX_ARGS];
  Clause resultClauses[FUNC_MAX_ARGS];
  int nResultSpecs = 0;
  bool specificGiven = false, resultGiven = false;
  QsDef *def;

  if (!HeapTupleIsValid(tup)) elog(ERROR, "cache lookup failed for function %u", fn);
  proc = (Form_pg_proc)GETSTRUCT(tup);
  def = palloc0(sizeof *def);
  def->fn = fn;
  snprintf(def->fname, sizeof def->fname, "%s.%s", get_namespace_name(proc->pronamespace), NameStr(proc->proname));
  snprintf(def->specific, sizeof def->specific, "SQL%015u", fn);
  if (proc->prokind != PROKIND_FUNCTION)
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                    errmsg("routine \"%s\" is not a function: language quarnsql runs functions only", def->fname)));
  def->table = proc->proretset;

  /* The AS string: the external name, then the clauses. */
  srcDatum = SysCacheGetAttr(PROCOID, tup, Anum_pg_proc_prosrc, &isnull);
  src = isnull ? pstrdup("") : TextDatumGetCString(srcDatum);
  memset(argClauses, 0, sizeof argClauses);
  memset(resultClauses, 0, sizeof resultClauses);
  tok = strtok_r(src, " \t\r\n", &save);
  if (tok == NULL) badClause(def->fname, "%s", "The external name \"library!entry\" is missing.");
  {
    char *bang = strchr(tok, '!');
    if (bang != NULL) *bang = '\0';
    if (strlen(tok) >= sizeof def->library || (bang != NULL && strlen(bang + 1) >= sizeof def->entry))
      badClause(def->fname, "%s", "The external name is too long.");
    strlcpy(def->library, tok, sizeof def->library);
    strlcpy(def->entry, bang != NULL ? bang + 1 : NameStr(proc->proname), sizeof def->entry);
  }
  while ((tok = strtok_r(NULL, " \t\r\n", &save)) != NULL) {
    if (strcmp(tok, "scratchpad") == 0) {
      def->scratchpad = true;
    } else if (strcmp(tok, "final_call") == 0) {
      def->finalCall = true;
    } else if (strcmp(tok, "dbinfo") == 0) {
      def->dbinfo = true;
    } else if (strncmp(tok, "specific=", 9) == 0 && tok[9] != '\0') {
      /* One name, whole: a second one or a cut one could give two functions the same name. */
      if (specificGiven) badClause(def->fname, "\"%s\" names the specific name a second time.", tok);
      if (strlen(tok + 9) > MAX_SPECIFIC)
        badClause(def->fname, "The specific name \"%s\" is longer than " CppAsString2(MAX_SPECIFIC) " bytes.", tok + 9);
      strlcpy(def->specific, tok + 9, sizeof def->specific);
      specificGiven = true;
    } else if (strncmp(tok, "arg", 3) == 0 && isdigit((unsigned char)tok[3]) && strchr(tok, '=') != NULL) {
      int k = argNumber(tok);
      if (k < 1 || argClauses[k - 1].given)
        badClause(def->fname, "\"%s\" names no argument, or one named before.", tok);
      argClauses[k - 1] = parseClause(def->fname, strchr(tok, '=') + 1);
      argClauses[k - 1].given = true;
    } else if (strncmp(tok, "result=", 7) == 0) {
      char *item = tok + 7;
      /* One list of results: a second clause would be read on as more columns of the first. */
      if (resultGiven) badClause(def->fname, "\"%s\" describes the results a second time.", tok);
      resultGiven = true;
      for (;;) {
        char *comma = strchr(item, ',');
        if (comma != NULL) *comma = '\0';
        if (nResultSpecs == FUNC_MAX_ARGS) badClause(def->fname, "%s", "Too many results are described.");
        resultClauses[nResultSpecs++] = parseClause(def->fname, item);
        if (comma == NULL) break;
        item = comma + 1;
      }
    } else {
      badClause(def->fname, "Unknown clause \"%s\".", tok);
    }
  }

  /* Arguments and, for a table function, its columns. */
  nAll = get_func_arg_info(tup, &types, &names, &modes);
  for (int k = 0; k < nAll; ++k) {
    char mode = modes != NULL ? modes[k] : PROARGMODE_IN;
    if (mode == PROARGMODE_IN) ++nIn;
    else if ((mode == PROARGMODE_TABLE || mode == PROARGMODE_OUT) && def->table) ++nOut;
    else
      ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                      errmsg("routine \"%s\" has a parameter mode language quarnsql does not support", def->fname),
                      errhint("A function takes IN parameters; a table function returns its columns with RETURNS TABLE.")));
  }
  def->nargs = nIn;
  def->nresults = nOut > 0 ? nOut : 1;
  def->composite = nOut > 1;
  def->args = palloc0(sizeof(QsValueDef) * Max(nIn, 1));
  def->results = palloc0(sizeof(QsValueDef) * def->nresults);
  for (int k = nIn; k < FUNC_MAX_ARGS; ++k)
    if (argClauses[k].given) badClause(def->fname, "%s", "A clause describes an argument the routine does not have.");
  if (nResultSpecs > def->nresults) badClause(def->fname, "%s", "More results are described than the routine returns.");
  {
    int in = 0, out = 0;
    for (int k = 0; k < nAll; ++k) {
      char mode = modes != NULL ? modes[k] : PROARGMODE_IN;
      if (mode == PROARGMODE_IN) {
        classify(def->fname, types[k], argClauses[in], &def->args[in]);
        ++in;
      } else {
        classify(def->fname, types[k], resultClauses[out], &def->results[out]);
        ++out;
      }
    }
    if (nOut == 0) {
      if (proc->prorettype == RECORDOID || proc->prorettype == VOIDOID)
        ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                        errmsg("routine \"%s\" must return a value of a type language quarnsql can pass", def->fname),
                        errhint("A table function declares its columns with RETURNS TABLE.")));
      classify(def->fname, proc->prorettype, resultClauses[0], &def->results[0]);
    }
  }
  if (2 * (def->nargs + def->nresults) + TRAILING_ARGS > MAX_CALL_ARGS)
    ereport(ERROR, (errcode(ERRCODE_TOO_MANY_ARGUMENTS),
                    errmsg("routine \"%s\" has more arguments and results than a call can pass", def->fname)));
  ReleaseSysCache(tup);
  return def;
}

QsDef *qsDefRead(Oid fn) { return build(fn); }

/* ---- The cache ------------------------------------------------------------------------------ */

typedef struct CacheEntry {
  Oid fn; /* key */
  QsDef *def;
} CacheEntry;

static HTAB *cache;

static void dropAll(Datum arg, int cacheid, uint32 hashvalue) {
  HASH_SEQ_STATUS seq;
  CacheEntry *e;
  if (cache == NULL) return;
  hash_seq_init(&seq, cache);
  while ((e = hash_seq_search(&seq)) != NULL) {
    QsDef *def = e->def;
    def->stale = true;
    if (def->refs == 0) MemoryContextDelete(def->cxt);
    hash_search(cache, &e->fn, HASH_REMOVE, NULL);
  }
}

void qsDefInit(void) {
  HASHCTL ctl;
  memset(&ctl, 0, sizeof ctl);
  ctl.keysize = sizeof(Oid);
  ctl.entrysize = sizeof(CacheEntry);
  cache = hash_create("quarnsql routine definitions", 64, &ctl, HASH_ELEM | HASH_BLOBS);
  CacheRegisterSyscacheCallback(PROCOID, dropAll, (Datum)0);
  CacheRegisterSyscacheCallback(TYPEOID, dropAll, (Datum)0);
}

QsDef *qsDefGet(Oid fn) {
  CacheEntry *e = hash_search(cache, &fn, HASH_FIND, NULL);
  MemoryContext cxt, old;
  QsDef *def;
  bool found;
  if (e != NULL) {
    e->def->refs++;
    return e->def;
  }
  /* Built in a context of its own under the caller's, moved under CacheMemoryContext only once
   * complete, so that a definition that fails leaves nothing behind. */
  cxt = AllocSetContextCreate(CurrentMemoryContext, "quarnsql routine definition", ALLOCSET_SMALL_SIZES);
  old = MemoryContextSwitchTo(cxt);
  def = build(fn);
  MemoryContextSwitchTo(old);
  def->cxt = cxt;
  MemoryContextSetParent(cxt, CacheMemoryContext);
  e = hash_search(cache, &fn, HASH_ENTER, &found);
  e->def = def;
  def->refs = 1;
  return def;
}

void qsDefRelease(QsDef *def) {
  if (--def->refs == 0 && def->stale) MemoryContextDelete(def->cxt);
}
