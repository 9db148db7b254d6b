/*
 * quarnapp_pg.c - libquarnapp for PostgreSQL, the minimal embedded-SQL runtime a routine uses
 * inside a backend: statements run through SPI on the caller's connection, in the caller's
 * transaction, so they see its uncommitted rows and are undone with it.
 *
 * Each statement runs in an internal subtransaction (qsguard.h): a PostgreSQL error is caught
 * there and becomes SQLCODE, SQLSTATE and message text in the caller's sqlca, so nothing ever
 * unwinds through the routine's frames, and the failed statement alone is undone (the
 * platform's statement atomicity).  "?" parameter markers become $1, $2, ...: PostgreSQL's
 * parser infers their types first, and the statement is then planned with those types fixed
 * (a marker whose type nothing decides is text).  Host variables are converted through the
 * input and output functions of those types.  The SQLCODE is found from PostgreSQL's SQLSTATE
 * by one table; the SQLSTATE itself is passed on unchanged.
 *
 * What this runtime does not do inside a backend, and answers with an error in the sqlca:
 * other connections and databases, COMMIT and ROLLBACK (-751, 38003: a routine may not end its
 * caller's transaction), CALL and savepoints (-142, 42612: not in this runtime yet), locator
 * and file host variables (-804).  No SQL runs while a transaction is aborting or in a parallel
 * operation.  SQL text is passed to PostgreSQL as the routine wrote it (no dialect translation).
 * Statements and their plans belong to the routine until quarn_free_stmt.  Backend-local.
 */
#include "postgres.h"

#include <ctype.h>
#include <stdlib.h>

#include "access/xact.h"
#include "catalog/pg_type.h"
#include "commands/dbcommands.h"
#include "executor/spi.h"
#include "mb/pg_wchar.h"
#include "miscadmin.h"
#include "parser/analyze.h"
#include "parser/parser.h"
#include "qsguard.h"
#include "quarnapp.h"
#include "utils/builtins.h"
#include "utils/lsyscache.h"
#include "utils/plancache.h"
#include "utils/portal.h"

struct quarn_stmt {
  char *text;        /* with $n markers; malloc'ed */
  int nparams;
  Oid *types;        /* of the parameters, as the parser inferred them; malloc'ed */
  SPIPlanPtr plan;   /* kept (SPI_keepplan) until quarn_free_stmt */
  char cursor[NAMEDATALEN]; /* the open cursor's portal, or "" */
};

struct quarn_session {
  int unused;
};

/* The caller's connection, the only one a routine has. */
static struct quarn_session callerSession;

/* ---- The communication area ---------------------------------------------------------------- */

static void clearCa(struct sqlca *ca) {
  memset(ca, 0, sizeof *ca);
  memcpy(ca->sqlcaid, "SQLCA   ", 8);
  ca->sqlcabc = (sqlint32)sizeof *ca;
  memcpy(ca->sqlstate, "00000", 5);
  memset(ca->sqlwarn, ' ', sizeof ca->sqlwarn);
}

static int setCa(struct sqlca *ca, int sqlcode, const char *sqlstate, const char *text) {
  size_t n = text != NULL ? strlen(text) : 0;
  ca->sqlcode = sqlcode;
  memcpy(ca->sqlstate, sqlstate, 5);
  if (n > SQL_MAX_ERRMC) n = (size_t)pg_mbcliplen(text, (int)n, SQL_MAX_ERRMC);
  memcpy(ca->sqlerrmc, text != NULL ? text : "", n);
  ca->sqlerrml = (short)n;
  memcpy(ca->sqlerrp, "QSPG    ", 8);
  return sqlcode;
}

/* The platform's SQLCODE for a PostgreSQL SQLSTATE. */
static int sqlcodeOf(const char *state) {
  static const struct {
    const char *state;
    int sqlcode;
  } map[] = {
      {"23505", -803}, {"23503", -530}, {"23502", -407}, {"23514", -545}, {"22001", -433}, {"22003", -413},
      {"22012", -801}, {"22P02", -420}, {"22007", -180}, {"22008", -181}, {"42P01", -204}, {"42704", -204},
      {"3F000", -204}, {"42703", -206}, {"42883", -440}, {"42601", -104}, {"42P07", -601}, {"42710", -601},
      {"42501", -551}, {"40P01", -911}, {"40001", -911}, {"55P03", -911}, {"57014", -952}, {"53200", -904},
      {"54000", -101}, {"0A000", -142}, {"42804", -408}, {"42P18", -418}, {"34000", -501}, {"25P02", -30090},
  };
  for (size_t k = 0; k < lengthof(map); ++k)
    if (strcmp(map[k].state, state) == 0) return map[k].sqlcode;
  if (strncmp(state, "38", 2) == 0) return -443; /* a routine's own error, from a nested call */
  return -901;
}

static int caughtToCa(struct sqlca *ca, const QsCaught *caught) {
  return setCa(ca, sqlcodeOf(caught->sqlstate), caught->sqlstate, caught->message);
}

/* ---- Statement text ------------------------------------------------------------------------- */

static bool identChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         (unsigned char)c >= 0x80;
}

/* The length of the dollar-quote delimiter ($$ or $tag$) at p, or 0 when p starts none.  A tag
 * is an identifier without "$" that does not start with a digit ($1 is a parameter). */
static size_t dollarTag(const char *p) {
  size_t k = 1;
  if (p[0] != '$') return 0;
  if (p[1] >= '0' && p[1] <= '9') return 0;
  while (p[k] != '$' && p[k] != '\0' && identChar(p[k])) ++k;
  return p[k] == '$' ? k + 1 : 0;
}

/* The text with each "?" outside literals, delimited identifiers and comments replaced by $n;
 * malloc'ed, NULL without memory.  *n receives the number of markers.  Literals are PostgreSQL's:
 * '' strings (a doubled quote inside), E'' strings (also a backslash escapes the next
 * character), dollar-quoted strings ($$...$$, $tag$...$tag$); "" identifiers; -- comments and
 * bracketed comments, which nest. */
static char *numberMarkers(const char *sql, int *n) {
  size_t len = strlen(sql), room = len + 1;
  char *out, *o;
  /* Each "?" grows by at most the 10 digits of an int ("$2147483647"). */
  for (const char *q = strchr(sql, '?'); q != NULL; q = strchr(q + 1, '?')) room += 10;
  out = malloc(room);
  o = out;
  *n = 0;
  if (out == NULL) return NULL;
  for (const char *p = sql; *p;) {
    bool afterIdent = p > sql && identChar(p[-1]);
    size_t tag;
    if (*p == '\'' || *p == '"') {
      char q = *p;
      /* E'...' (not the end of a longer word): a backslash escapes the next character. */
      bool escapes = q == '\'' && p > sql && (p[-1] == 'E' || p[-1] == 'e') && !(p - 1 > sql && identChar(p[-2]));
      *o++ = *p++;
      while (*p && !(*p == q && p[1] != q)) {
        if (*p == q) *o++ = *p++; /* a doubled quote */
        else if (escapes && *p == '\\' && p[1]) *o++ = *p++;
        *o++ = *p++;
      }
      if (*p) *o++ = *p++;
    } else if (*p == '$' && !afterIdent && (tag = dollarTag(p)) > 0) {
      const char *close = p + tag;
      while (*close && strncmp(close, p, tag) != 0) ++close;
      close = *close ? close + tag : close;
      while (p < close) *o++ = *p++;
    } else if (p[0] == '-' && p[1] == '-') {
      while (*p && *p != '\n') *o++ = *p++;
    } else if (p[0] == '/' && p[1] == '*') {
      int depth = 0;
      while (*p) {
        if (p[0] == '/' && p[1] == '*') {
          ++depth;
          *o++ = *p++;
        } else if (p[0] == '*' && p[1] == '/') {
          *o++ = *p++;
          if (--depth == 0) {
            *o++ = *p++;
            break;
          }
        }
        *o++ = *p++;
      }
    } else if (*p == '?') {
      o += sprintf(o, "$%d", ++*n);
      ++p;
    } else {
      *o++ = *p++;
    }
  }
  *o = '\0';
  return out;
}

/* ---- Guarded work --------------------------------------------------------------------------- */

typedef struct Work {
  quarn_stmt *stmt;
  const char *sql;
  int nIn;
  const struct quarn_hostvar *in;
  int nOut;
  struct quarn_hostvar *out;
  bool cursor;       /* open a cursor instead of executing */
  int rc;            /* SQLCODE the work decided (0, 100, or an error it found itself) */
  char state[6];
  char message[256];
  uint64 rows;
} Work;

static void workFails(Work *w, int rc, const char *state, const char *message) {
  w->rc = rc;
  strlcpy(w->state, state, sizeof w->state);
  strlcpy(w->message, message, sizeof w->message);
}

static int runGuarded(QsGuardedWork fn, Work *w, struct sqlca *ca) {
  QsCaught caught;
  clearCa(ca);
  w->rc = 0;
  w->rows = 0;
  if (qsGuarded(fn, w, &caught) != 0) return caughtToCa(ca, &caught);
  ca->sqlerrd[2] = (sqlint32)w->rows;
  if (w->rc != 0) return setCa(ca, w->rc, w->state, w->message);
  return 0;
}

static void connectSpi(void) {
  if (SPI_connect() != SPI_OK_CONNECT) elog(ERROR, "SPI_connect failed");
}

/* ---- Host variables ------------------------------------------------------------------------- */

/* The text of an input host variable (palloc'ed), or NULL for a null value; false with w filled
 * for a type this runtime does not take. */
static bool inputText(const struct quarn_hostvar *h, Work *w, char **text) {
  int type = h->sqltype & ~1;
  char buf[64];
  const char *d = (const char *)h->sqldata;
  *text = NULL;
  if (h->sqlind != NULL && *h->sqlind < 0) return true;
  switch (type) {
    case SQL_TYP_CSTR: *text = pnstrdup(d, strnlen(d, h->sqllen > 0 ? h->sqllen : 32767)); return true;
    case SQL_TYP_CHAR: *text = pnstrdup(d, h->sqllen); return true;
    case SQL_TYP_VARCHAR: case SQL_TYP_LONG: {
      short len;
      memcpy(&len, d, sizeof len);
      *text = pnstrdup(d + 2, len < 0 ? 0 : len);
      return true;
    }
    case SQL_TYP_CLOB: case SQL_TYP_BLOB: {
      const struct quarn_lob *lob = (const struct quarn_lob *)d;
      *text = pnstrdup(lob->data, lob->length);
      return true;
    }
    case SQL_TYP_SMALL: snprintf(buf, sizeof buf, "%d", *(const short *)d); break;
    case SQL_TYP_INTEGER: snprintf(buf, sizeof buf, "%d", *(const sqlint32 *)d); break;
    case SQL_TYP_BIGINT: snprintf(buf, sizeof buf, INT64_FORMAT, (int64)*(const sqlint64 *)d); break;
    case SQL_TYP_FLOAT:
      snprintf(buf, sizeof buf, "%.17g", h->sqllen == 4 ? *(const float *)d : *(const double *)d);
      break;
    default:
      workFails(w, -804, "07002", "a host variable of a type this runtime does not take");
      return false;
  }
  *text = pstrdup(buf);
  return true;
}

/* The parameter values of a statement from its host variables; false with w filled on failure. */
static bool bindInputs(Work *w, Datum *values, char *nulls) {
  quarn_stmt *st = w->stmt;
  if (w->nIn != st->nparams) {
    workFails(w, -313, "07004", "the number of host variables does not match the parameter markers");
    return false;
  }
  for (int k = 0; k < st->nparams; ++k) {
    char *text;
    Oid input, ioparam;
    if (!inputText(&w->in[k], w, &text)) return false;
    nulls[k] = text == NULL ? 'n' : ' ';
    values[k] = 0;
    if (text == NULL) continue;
    getTypeInputInfo(st->types[k], &input, &ioparam);
    values[k] = OidInputFunctionCall(input, text, ioparam, -1);
  }
  return true;
}

/* Copies one column's text (NULL: a null value) into an output host variable. */
static void outputText(struct quarn_hostvar *h, const char *text, Work *w) {
  int type = h->sqltype & ~1;
  size_t n = text != NULL ? strlen(text) : 0;
  char *d = (char *)h->sqldata;
  if (text == NULL) {
    if (h->sqlind == NULL) workFails(w, -305, "22002", "a null value without an indicator");
    else *h->sqlind = -1;
    return;
  }
  if (h->sqlind != NULL) *h->sqlind = 0;
  switch (type) {
    case SQL_TYP_CSTR: {
      size_t cap = h->sqllen > 0 ? (size_t)h->sqllen - 1 : 0;
      size_t m = Min(n, cap);
      memcpy(d, text, m);
      d[m] = '\0';
      if (m < n && h->sqlind != NULL) *h->sqlind = (short)Min(n, 32767);
      return;
    }
    case SQL_TYP_CHAR: {
      size_t m = Min(n, (size_t)h->sqllen);
      memcpy(d, text, m);
      memset(d + m, ' ', h->sqllen - m);
      if (m < n && h->sqlind != NULL) *h->sqlind = (short)Min(n, 32767);
      return;
    }
    case SQL_TYP_VARCHAR: case SQL_TYP_LONG: {
      short m = (short)Min(n, (size_t)h->sqllen);
      memcpy(d, &m, sizeof m);
      memcpy(d + 2, text, m);
      if ((size_t)m < n && h->sqlind != NULL) *h->sqlind = (short)Min(n, 32767);
      return;
    }
    case SQL_TYP_CLOB: case SQL_TYP_BLOB: {
      struct quarn_lob *lob = (struct quarn_lob *)d;
      size_t m = Min(n, (size_t)h->sqllen);
      lob->length = (sqluint32)m;
      memcpy(lob->data, text, m);
      return;
    }
    case SQL_TYP_SMALL: *(short *)d = (short)strtol(text, NULL, 10); return;
    case SQL_TYP_INTEGER: *(sqlint32 *)d = (sqlint32)strtol(text, NULL, 10); return;
    case SQL_TYP_BIGINT: *(sqlint64 *)d = strtoll(text, NULL, 10); return;
    case SQL_TYP_FLOAT:
      if (h->sqllen == 4) *(float *)d = strtof(text, NULL);
      else *(double *)d = strtod(text, NULL);
      return;
    default: workFails(w, -804, "07002", "a host variable of a type this runtime does not take"); return;
  }
}

/* ---- Statements ----------------------------------------------------------------------------- */

static void executeImmediate(void *arg) {
  Work *w = (Work *)arg;
  int rc;
  connectSpi();
  rc = SPI_execute(w->sql, false, 0);
  w->rows = SPI_processed;
  if (rc < 0) workFails(w, -901, "58004", SPI_result_code_string(rc));
  else if ((rc == SPI_OK_UPDATE || rc == SPI_OK_DELETE) && SPI_processed == 0) workFails(w, 100, "02000", "");
  SPI_finish();
}

int quarn_execute_immediate(const char *sql, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  if (sql == NULL) {
    clearCa(ca);
    return setCa(ca, -104, "42601", "no statement");
  }
  w.sql = sql;
  return runGuarded(executeImmediate, &w, ca);
}

static void prepare(void *arg) {
  Work *w = (Work *)arg;
  quarn_stmt *st = w->stmt;
  List *raw;
  Oid *types = NULL;
  int n = 0;
  connectSpi();
  raw = raw_parser(st->text, RAW_PARSE_DEFAULT);
  if (list_length(raw) != 1) {
    workFails(w, -104, "42601", "a prepared statement must be exactly one statement");
    SPI_finish();
    return;
  }
  (void)parse_analyze_varparams(linitial_node(RawStmt, raw), st->text, &types, &n, NULL);
  st->types = malloc(sizeof(Oid) * Max(n, 1));
  if (st->types == NULL) elog(ERROR, "out of memory");
  for (int k = 0; k < n; ++k) st->types[k] = types[k] == UNKNOWNOID || types[k] == InvalidOid ? TEXTOID : types[k];
  st->nparams = n;
  st->plan = SPI_prepare(st->text, n, st->types);
  if (st->plan == NULL) elog(ERROR, "the statement cannot be prepared: %s", SPI_result_code_string(SPI_result));
  SPI_keepplan(st->plan);
  SPI_finish();
}

int quarn_prepare(const char *sql, quarn_stmt **out, struct sqlca *ca) {
  Work w = {0};
  quarn_stmt *st;
  int n, rc;
  if (ca == NULL || out == NULL) return -1;
  *out = NULL;
  clearCa(ca);
  if (sql == NULL) return setCa(ca, -104, "42601", "no statement");
  st = calloc(1, sizeof *st);
  if (st == NULL || (st->text = numberMarkers(sql, &n)) == NULL) {
    free(st);
    return setCa(ca, -904, "57011", "out of memory");
  }
  w.stmt = st;
  rc = runGuarded(prepare, &w, ca);
  if (rc < 0) {
    quarn_free_stmt(st);
    return rc;
  }
  *out = st;
  return 0;
}

static void execute(void *arg) {
  Work *w = (Work *)arg;
  quarn_stmt *st = w->stmt;
  Datum *values = palloc0(sizeof(Datum) * Max(st->nparams, 1));
  char *nulls = palloc0(Max(st->nparams, 1));
  int rc;
  connectSpi();
  if (!bindInputs(w, values, nulls)) {
    SPI_finish();
    return;
  }
  if (w->cursor) {
    Portal portal = SPI_cursor_open(NULL, st->plan, values, nulls, false);
    strlcpy(st->cursor, portal->name, sizeof st->cursor);
  } else {
    rc = SPI_execute_plan(st->plan, values, nulls, false, 0);
    w->rows = SPI_processed;
    if (rc < 0) workFails(w, -901, "58004", SPI_result_code_string(rc));
    else if ((rc == SPI_OK_UPDATE || rc == SPI_OK_DELETE) && SPI_processed == 0) workFails(w, 100, "02000", "");
  }
  SPI_finish();
}

int quarn_execute(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  if (stmt == NULL) {
    clearCa(ca);
    return setCa(ca, -514, "26501", "no prepared statement");
  }
  w.stmt = stmt;
  w.nIn = nIn;
  w.in = in;
  return runGuarded(execute, &w, ca);
}

int quarn_open(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  clearCa(ca);
  if (stmt == NULL) return setCa(ca, -514, "26501", "no prepared statement");
  if (stmt->cursor[0] != '\0' && GetPortalByName(stmt->cursor) != NULL)
    return setCa(ca, -502, "24502", "the cursor is open");
  w.stmt = stmt;
  w.nIn = nIn;
  w.in = in;
  w.cursor = true;
  return runGuarded(execute, &w, ca);
}

static void fetch(void *arg) {
  Work *w = (Work *)arg;
  quarn_stmt *st = w->stmt;
  Portal portal;
  connectSpi();
  portal = SPI_cursor_find(st->cursor);
  if (portal == NULL) {
    st->cursor[0] = '\0';
    workFails(w, -501, "24501", "the cursor is not open");
    SPI_finish();
    return;
  }
  SPI_cursor_fetch(portal, true, 1);
  if (SPI_processed == 0) {
    SPI_cursor_close(portal);
    st->cursor[0] = '\0';
    workFails(w, 100, "02000", "");
  } else {
    HeapTuple tup = SPI_tuptable->vals[0];
    TupleDesc desc = SPI_tuptable->tupdesc;
    for (int k = 0; k < w->nOut && k < desc->natts && w->rc == 0; ++k)
      outputText(&w->out[k], SPI_getvalue(tup, desc, k + 1), w);
  }
  SPI_finish();
}

int quarn_fetch(quarn_stmt *stmt, int nOut, struct quarn_hostvar *out, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  clearCa(ca);
  if (stmt == NULL || stmt->cursor[0] == '\0') return setCa(ca, -501, "24501", "the cursor is not open");
  w.stmt = stmt;
  w.nOut = nOut;
  w.out = out;
  return runGuarded(fetch, &w, ca);
}

static void closeCursor(void *arg) {
  Work *w = (Work *)arg;
  Portal portal = GetPortalByName(w->stmt->cursor);
  if (portal != NULL) SPI_cursor_close(portal);
  w->stmt->cursor[0] = '\0';
}

int quarn_close(quarn_stmt *stmt, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  clearCa(ca);
  if (stmt == NULL || stmt->cursor[0] == '\0') return 0;
  w.stmt = stmt;
  return runGuarded(closeCursor, &w, ca);
}

static void describe(void *arg) {
  Work *w = (Work *)arg;
  struct sqlda *da = (struct sqlda *)w->out;
  List *sources = SPI_plan_get_plan_sources(w->stmt->plan);
  CachedPlanSource *src = sources != NIL ? linitial(sources) : NULL;
  TupleDesc desc = src != NULL ? src->resultDesc : NULL;
  da->sqld = desc != NULL ? (short)desc->natts : 0;
  for (int k = 0; desc != NULL && k < desc->natts && k < da->sqln; ++k) {
    Form_pg_attribute a = TupleDescAttr(desc, k);
    struct sqlvar *v = &da->sqlvar[k];
    switch (a->atttypid) {
      case INT2OID: v->sqltype = SQL_TYP_NSMALL; v->sqllen = 2; break;
      case INT4OID: v->sqltype = SQL_TYP_NINTEGER; v->sqllen = 4; break;
      case INT8OID: v->sqltype = SQL_TYP_NBIGINT; v->sqllen = 8; break;
      case FLOAT4OID: case FLOAT8OID: case NUMERICOID: v->sqltype = SQL_TYP_NFLOAT; v->sqllen = 8; break;
      case BPCHAROID: v->sqltype = SQL_TYP_NCHAR; v->sqllen = a->atttypmod > 4 ? a->atttypmod - 4 : 1; break;
      default: v->sqltype = SQL_TYP_NVARCHAR; v->sqllen = a->atttypmod > 4 ? a->atttypmod - 4 : 32672; break;
    }
    v->sqlname.length = (short)Min(strlen(NameStr(a->attname)), sizeof v->sqlname.data);
    memcpy(v->sqlname.data, NameStr(a->attname), v->sqlname.length);
  }
}

int quarn_describe(quarn_stmt *stmt, struct sqlda *da, struct sqlca *ca) {
  Work w = {0};
  if (ca == NULL) return -1;
  clearCa(ca);
  if (stmt == NULL || da == NULL) return setCa(ca, -514, "26501", "no prepared statement");
  w.stmt = stmt;
  w.out = (struct quarn_hostvar *)da;
  return runGuarded(describe, &w, ca);
}

static void freePlan(void *arg) { SPI_freeplan((SPIPlanPtr)arg); }

void quarn_free_stmt(quarn_stmt *stmt) {
  if (stmt == NULL) return;
  if (stmt->plan != NULL) {
    /* Freeing a plan touches no data; outside a transaction it is simply left to the backend. */
    QsCaught caught;
    if (qsGuardAvailable()) (void)qsGuarded(freePlan, stmt->plan, &caught);
  }
  free(stmt->types);
  free(stmt->text);
  free(stmt);
}

/* ---- Connections ---------------------------------------------------------------------------- */

static int notInRoutine(struct sqlca *ca, const char *what) {
  if (ca == NULL) return -751;
  clearCa(ca);
  return setCa(ca, -751, "38003", what);
}

static int notYet(struct sqlca *ca, const char *what) {
  if (ca == NULL) return -142;
  clearCa(ca);
  return setCa(ca, -142, "42612", what);
}

int quarn_create_database(const char *name, struct sqlca *ca) {
  return notInRoutine(ca, "CREATE DATABASE is not allowed in a routine");
}
int quarn_drop_database(const char *name, struct sqlca *ca) {
  return notInRoutine(ca, "DROP DATABASE is not allowed in a routine");
}
int quarn_connect(const char *name, const char *user, const char *password, struct sqlca *ca) {
  return notInRoutine(ca, "a routine runs on its caller's connection");
}
int quarn_connect_reset(struct sqlca *ca) { return notInRoutine(ca, "a routine runs on its caller's connection"); }
int quarn_session_open(const char *name, const char *user, const char *password, quarn_session **out,
                       struct sqlca *ca) {
  if (out != NULL) *out = NULL;
  return notInRoutine(ca, "a routine runs on its caller's connection");
}
int quarn_session_close(quarn_session *session, struct sqlca *ca) {
  if (ca != NULL) clearCa(ca);
  return 0;
}
quarn_session *quarn_current_session(void) { return &callerSession; }
void quarn_set_current_session(quarn_session *session) {}

static void connectInfo(void *arg) {
  Work *w = (Work *)arg;
  snprintf(w->message, sizeof w->message, "%s\xff" "1208\xff%s\xff%s\xff" "SQL01000\xff" "LINUX\xff\xff\xff" "1208", "US",
           GetUserNameFromId(GetUserId(), false), get_database_name(MyDatabaseId));
}

int quarn_connect_info(struct sqlca *ca) {
  Work w = {0};
  int rc;
  size_t n;
  if (ca == NULL) return -1;
  rc = runGuarded(connectInfo, &w, ca);
  if (rc < 0) return rc;
  n = Min(strlen(w.message), (size_t)SQL_MAX_ERRMC);
  memcpy(ca->sqlerrmc, w.message, n);
  ca->sqlerrml = (short)n;
  memcpy(ca->sqlerrp, "SQL01000", 8);
  return 0;
}

int quarn_call(const char *procName, struct sqlda *da, struct sqlca *ca) {
  return notYet(ca, "CALL from a routine is not available on this host yet");
}
int quarn_commit(struct sqlca *ca) { return notInRoutine(ca, "a routine may not commit its caller's transaction"); }
int quarn_rollback(struct sqlca *ca) { return notInRoutine(ca, "a routine may not roll back its caller's transaction"); }
int quarn_savepoint(const char *name, int unique, struct sqlca *ca) {
  return notYet(ca, "savepoints in a routine are not available on this host yet");
}
int quarn_rollback_to_savepoint(const char *name, struct sqlca *ca) {
  return notYet(ca, "savepoints in a routine are not available on this host yet");
}
int quarn_release_savepoint(const char *name, struct sqlca *ca) {
  return notYet(ca, "savepoints in a routine are not available on this host yet");
}
int quarn_free_locator(sqluint32 locator, struct sqlca *ca) {
  if (ca == NULL) return -423;
  clearCa(ca);
  return setCa(ca, -423, "0F001", "this runtime keeps no locators");
}
int sqlabndx(const char *pBindFileName, const char *pMsgFileName, struct sqlopt *pBindOptions, struct sqlca *pSqlca) {
  if (pSqlca != NULL) clearCa(pSqlca);
  return 0;
}

/* ---- Error text ----------------------------------------------------------------------------- */

/* Appends text cut into lines of at most width - 1 bytes plus a newline, broken at the last
 * blank of a line where there is one (as the embedded runtime does). */
static size_t wrap(const char *text, size_t width, char *out, size_t size) {
  size_t len = strlen(text), pos = 0, used = 0, room = width - 1;
  while (pos < len && used + 1 < size) {
    size_t n = len - pos, end, trimmed;
    if (n > room) {
      n = room;
      for (size_t b = pos + room; b > pos; --b)
        if (text[b] == ' ') {
          n = b - pos + 1;
          break;
        }
    }
    end = pos + n;
    trimmed = end;
    while (trimmed > pos && text[trimmed - 1] == ' ' && end < len) --trimmed;
    for (size_t k = pos; k < trimmed && used + 1 < size; ++k) out[used++] = text[k];
    if (used + 1 < size) out[used++] = '\n';
    pos = end;
  }
  out[used] = '\0';
  return used;
}

int sqlaintp_api(char *pBuffer, short BufferSize, short LineWidth, const char *pMsgFileName, struct sqlca *pSqlca) {
  char text[SQL_MAX_ERRMC + 64];
  int code;
  if (pBuffer == NULL || pSqlca == NULL || BufferSize < 2 || LineWidth < 2) return -1;
  pBuffer[0] = '\0';
  if (pSqlca->sqlcode == 0) return 0;
  code = pSqlca->sqlcode < 0 ? -pSqlca->sqlcode : pSqlca->sqlcode;
  snprintf(text, sizeof text, "SQL%04d%c %.*s  SQLSTATE=%.5s", code % 100000, pSqlca->sqlcode < 0 ? 'N' : 'W',
           Max(0, Min((int)pSqlca->sqlerrml, SQL_MAX_ERRMC)), pSqlca->sqlerrmc, pSqlca->sqlstate);
  return (int)wrap(text, (size_t)LineWidth, pBuffer, (size_t)BufferSize);
}
