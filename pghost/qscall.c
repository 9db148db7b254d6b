/*
 * qscall.c - call sites of quarnsql routines: the argument vector built once per site, values
 * converted in and out as the embedded engine converts them, the scalar and table protocols, the
 * final call from fn_mcxt's reset callback (see qscall.h).
 *
 * Error discipline: PostgreSQL errors are raised only while no routine frame is on the stack.
 * The routine itself runs behind qsFencedCall (C++ exceptions caught there); its outcome is
 * judged afterwards, the locators of the call are released on every path (PG_TRY), and only
 * then is an error raised.
 */
#include "postgres.h"

#include "access/detoast.h"
#include "access/htup_details.h"
#include "access/xact.h"
#include "catalog/pg_authid_d.h"
#include "catalog/pg_type.h"
#include "commands/dbcommands.h"
#include "executor/executor.h"
#include "funcapi.h"
#include "mb/pg_wchar.h"
#include "miscadmin.h"
#include "nodes/execnodes.h"
#include "qscall.h"
#include "qsdef.h"
#include "qsfence.h"
#include "qsloader.h"
#include "qsrds.h"
#include "qssys.h"
#include "utils/acl.h"
#include "utils/builtins.h"
#include "utils/date.h"
#include "utils/datetime.h"
#include "utils/memutils.h"
#include "utils/numeric.h"
#include "utils/timestamp.h"
#include "utils/tuplestore.h"

/* Input buffers of numbers: any fixed-size form, with room to spare. */
#define NUMBER_BUFFER 16
/* Result buffers up to this size are cleared whole before a call; larger ones only as far as the
 * previous value reached, as on the embedded engine. */
#define CLEAR_WHOLE 64
/* A set's character values up to this size (with their header) are written to buffers the call
 * site keeps; a larger one is allocated for its row only, so that no large buffer outlives it. */
#define ROW_TEXT_KEPT 65536
/* SQLSTATE of an exception that left a routine: the routine terminated abnormally. */
#define STATE_ABNORMAL MAKE_SQLSTATE('3', '8', '5', '0', '3')

typedef struct CallBuffer {
  char *data;
  size_t size;
} CallBuffer;

typedef struct ResultInfo {
  size_t cap;    /* the declared bytes (at most the buffer's size) */
  bool whole;    /* small enough to be cleared whole */
  size_t extent; /* bytes the last call may have written */
  ssize_t terminator; /* where the last call's string ends within cap, -1 nowhere, -2 not looked for */
} ResultInfo;

typedef struct QsSite {
  QsDef *def;
  MemoryContext cxt; /* fn_mcxt: the site and its buffers */
  MemoryContextCallback resetCallback;
  void *fn;

  CallBuffer *in, *out;
  ResultInfo *outInfo;
  short *inInd, *outInd;
  void **args;
  int nCallArgs;
  int padArg; /* the scratchpad's place in args, -1 without one */
  char sqlstate[SQLUDF_SQLSTATE_LEN + 1 + 2];
  char fname[SQLUDF_FQNAME_LEN + 1];
  char specname[SQLUDF_SPECNAME_LEN + 1];
  char msg[SQLUDF_MSGTEXT_LEN + 1 + 8];
  bool msgDirty;
  sqlint32 callType;
  struct sqludf_scratchpad pad;
  struct sqludf_dbinfo dbinfo;
  Oid accessUser;          /* the user mayRead and mayWrite were decided for */
  bool mayRead, mayWrite;  /* that user has the privileges of pg_read/write_server_files */
  char fault[512];

  bool ready;  /* built completely: the final calls may be made */
  bool called; /* scalar: a call was made, so the final call is due */
  bool warned; /* the 01Hxx warning was raised at this site */

  /* Table functions. */
  bool first, open;
  ExprContext *shutdownContext; /* where the shutdown callback is registered, or NULL */
  TupleDesc tupdesc;            /* rows of several columns */
  udf_locator *setLocators;     /* argument locators kept from OPEN to CLOSE */
  int nSetLocators;
  void **setCopies;             /* argument values copied for them */
  /* Filling a tuple store: one row's values, kept from set to set. */
  Datum *rowValues;
  bool *rowNulls;
  CallBuffer *rowText;     /* character results, rewritten by every FETCH (the store copies them) */
  MemoryContext rowContext; /* whatever else a row's values need, emptied per row */
} QsSite;

/* ---- Text the routine wrote ----------------------------------------------------------------- */

/* Copies at most max bytes of text up to its terminator into out (max + 1 bytes), cut before
 * the first byte that does not continue valid UTF-8, so that an error message never carries
 * bytes the client could not convert. */
static void cleanText(const char *text, size_t max, char *out) {
  size_t n = strnlen(text, max);
  int valid = pg_encoding_verifymbstr(PG_UTF8, text, (int)n);
  memcpy(out, text, valid);
  out[valid] = '\0';
}

/* ---- Values in ------------------------------------------------------------------------------ */

/* Slices are read inside a subtransaction (qsguard.h), which a parallel operation cannot start. */
static bool slicesAllowed(void) { return IsTransactionState() && !IsInParallelMode(); }

static char *reserve(QsSite *s, int k, size_t n) {
  CallBuffer *b = &s->in[k];
  if (b->size < n) {
    size_t want = Max(n, b->size * 2);
    char *grown = MemoryContextAllocZero(s->cxt, want);
    memcpy(grown, b->data, b->size);
    pfree(b->data);
    b->data = grown;
    b->size = want;
    s->args[k] = grown;
  }
  return b->data;
}

/* The years a routine's DATE and TIMESTAMP take: the embedded engine has no others, and the
 * platform's forms hold four digits (PostgreSQL's 1 BC is year 0, 44 BC year -43). */
#define MIN_YEAR 1
#define MAX_YEAR 9999

static void yearOutOfRange(int year) pg_attribute_noreturn();
static void yearOutOfRange(int year) {
  ereport(ERROR, (errcode(ERRCODE_DATETIME_VALUE_OUT_OF_RANGE),
                  errmsg("a date or timestamp of year %d%s cannot be passed to a routine", year > 0 ? year : 1 - year,
                         year > 0 ? "" : " BC"),
                  errdetail("A routine takes the years %d to %d.", MIN_YEAR, MAX_YEAR)));
}

static void formatDate(DateADT d, char *out) {
  int y, m, day;
  if (DATE_NOT_FINITE(d))
    ereport(ERROR, (errcode(ERRCODE_DATETIME_VALUE_OUT_OF_RANGE), errmsg("an infinite date cannot be passed to a routine")));
  j2date(d + POSTGRES_EPOCH_JDATE, &y, &m, &day);
  if (y < MIN_YEAR || y > MAX_YEAR) yearOutOfRange(y);
  snprintf(out, 11, "%04d-%02d-%02d", y, m, day);
}

static void formatTime(TimeADT t, char *out) {
  int64 secs = t / USECS_PER_SEC;
  snprintf(out, 9, "%02d.%02d.%02d", (int)(secs / 3600), (int)(secs / 60 % 60), (int)(secs % 60));
}

static void formatTimestamp(Timestamp ts, char *out) {
  struct pg_tm tm;
  fsec_t fsec;
  if (TIMESTAMP_NOT_FINITE(ts) || timestamp2tm(ts, NULL, &tm, &fsec, NULL, NULL) != 0)
    ereport(ERROR, (errcode(ERRCODE_DATETIME_VALUE_OUT_OF_RANGE),
                    errmsg("a timestamp out of range cannot be passed to a routine")));
  if (tm.tm_year < MIN_YEAR || tm.tm_year > MAX_YEAR) yearOutOfRange(tm.tm_year);
  snprintf(out, 27, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min,
           tm.tm_sec, (int)fsec);
}

static void putNumber(char *b, QsKind kind, int64 iv, double dv) {
  switch (kind) {
    case QS_SMALLINT: { short x = (short)iv; memcpy(b, &x, sizeof x); break; }
    case QS_INTEGER: { sqlint32 x = (sqlint32)iv; memcpy(b, &x, sizeof x); break; }
    case QS_BIGINT: memcpy(b, &iv, sizeof iv); break;
    case QS_REAL: { float x = (float)dv; memcpy(b, &x, sizeof x); break; }
    default: memcpy(b, &dv, sizeof dv); break;
  }
}

/* Whether the bytes of data from from to len are all blanks: the part of a character value
 * past a length that may be cut without a word. */
static bool blanksFrom(const char *data, int64 from, int64 len) {
  for (int64 i = from; i < len; ++i)
    if (data[i] != ' ') return false;
  return true;
}

/* The bytes of character argument k the routine gets: a value longer than the argument's
 * declared length (argK=N, else its type's) is refused with 22001 before the call, unless only
 * blanks are past the length, which are cut, as the embedded engine assigns an argument.  A
 * routine works only on values it was declared to take (a file name cut at its length would
 * name another file). */
static int64 fitArgument(const QsSite *s, int k, const char *data, int64 len) {
  const QsValueDef *v = &s->def->args[k];
  if (v->length <= 0 || len <= v->length) return len;
  if (!blanksFrom(data, v->length, len))
    ereport(ERROR, (errcode(ERRCODE_STRING_DATA_RIGHT_TRUNCATION),
                    errmsg("value too long for argument %d of routine \"%s\" (specific name \"%s\")", k + 1, s->fname,
                           s->specname),
                    errdetail("The value has " INT64_FORMAT " bytes; the argument holds at most " INT64_FORMAT ".", len,
                              v->length)));
  return v->length;
}

/*
 * Writes argument k: its bytes and terminator (CHAR padded to its length), a number in its C
 * form, or a fresh locator.  keep: the locator outlives this handler call (a table function's
 * arguments, kept until CLOSE), so its value is copied into the site's memory.
 */
static void putInput(QsSite *s, int k, Datum value, bool isnull, bool keep) {
  const QsValueDef *v = &s->def->args[k];
  char *b;
  s->inInd[k] = isnull ? -1 : 0;
  if (isnull) {
    b = reserve(s, k, NUMBER_BUFFER);
    memset(b, 0, NUMBER_BUFFER);
    return;
  }
  if (v->locator) {
    struct varlena *raw = (struct varlena *)DatumGetPointer(value);
    struct varlena *held;
    udf_locator id;
    bool sliced = false;
    if (VARATT_IS_EXTERNAL_ONDISK(raw)) {
      struct varatt_external pointer;
      VARATT_EXTERNAL_GET_POINTER(pointer, raw);
      /* Uncompressed out-of-line values are read slice by slice, where a subtransaction can
       * guard the reads; everything else is detoasted once for the call. */
      sliced = !VARATT_EXTERNAL_IS_COMPRESSED(pointer) && slicesAllowed();
    }
    if (keep) {
      held = sliced ? (struct varlena *)MemoryContextAlloc(s->cxt, VARSIZE_ANY(raw)) : NULL;
      if (sliced) {
        memcpy(held, raw, VARSIZE_ANY(raw));
      } else {
        MemoryContext old = MemoryContextSwitchTo(s->cxt);
        held = detoast_attr(raw);
        if (held == raw) {
          held = (struct varlena *)palloc(VARSIZE_ANY(raw));
          memcpy(held, raw, VARSIZE_ANY(raw));
        }
        MemoryContextSwitchTo(old);
      }
      s->setCopies[s->nSetLocators] = held;
    } else {
      held = sliced ? raw : pg_detoast_datum_packed(raw);
    }
    if (qsRdsArgument(held, &id) != 0)
      ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("out of memory for a large-object locator")));
    if (keep) s->setLocators[s->nSetLocators++] = id;
    b = reserve(s, k, sizeof id + 8);
    memcpy(b, &id, sizeof id);
    return;
  }
  switch (v->kind) {
    case QS_SMALLINT: case QS_INTEGER: case QS_BIGINT: case QS_REAL: case QS_DOUBLE: {
      int64 iv = 0;
      double dv = 0;
      b = reserve(s, k, NUMBER_BUFFER);
      if (v->numeric) {
        dv = DatumGetFloat8(DirectFunctionCall1(numeric_float8, value));
        iv = (int64)dv;
      } else {
        switch (v->kind) {
          case QS_SMALLINT: iv = DatumGetInt16(value); break;
          case QS_INTEGER: iv = DatumGetInt32(value); break;
          case QS_BIGINT: iv = DatumGetInt64(value); break;
          case QS_REAL: dv = DatumGetFloat4(value); break;
          default: dv = DatumGetFloat8(value); break;
        }
        if (v->kind == QS_REAL || v->kind == QS_DOUBLE) iv = (int64)dv;
        else dv = (double)iv;
      }
      putNumber(b, v->kind, iv, dv);
      return;
    }
    case QS_DATE: formatDate(DatumGetDateADT(value), reserve(s, k, 11 + 8)); return;
    case QS_TIME: formatTime(DatumGetTimeADT(value), reserve(s, k, 9 + 8)); return;
    case QS_TIMESTAMP: formatTimestamp(DatumGetTimestamp(value), reserve(s, k, 27 + 8)); return;
    case QS_CLOB: case QS_BLOB: {
      struct varlena *t = pg_detoast_datum_packed((struct varlena *)DatumGetPointer(value));
      sqlint32 len = (sqlint32)VARSIZE_ANY_EXHDR(t);
      if (v->kind == QS_CLOB) len = (sqlint32)fitArgument(s, k, VARDATA_ANY(t), len);
      b = reserve(s, k, sizeof len + len + 1 + 8);
      memcpy(b, &len, sizeof len);
      memcpy(b + sizeof len, VARDATA_ANY(t), len);
      b[sizeof len + len] = '\0';
      return;
    }
    default: { /* VARCHAR, CHAR */
      struct varlena *t = pg_detoast_datum_packed((struct varlena *)DatumGetPointer(value));
      size_t len = (size_t)fitArgument(s, k, VARDATA_ANY(t), (int64)VARSIZE_ANY_EXHDR(t));
      size_t pad = v->kind == QS_CHAR && (int64)len < v->length ? (size_t)v->length - len : 0;
      b = reserve(s, k, Max(v->bytes, len + pad + 1) + 8);
      memcpy(b, VARDATA_ANY(t), len);
      memset(b + len, ' ', pad);
      b[len + pad] = '\0';
      return;
    }
  }
}

/* ---- Values out ----------------------------------------------------------------------------- */

static void tooLong(const QsSite *s) pg_attribute_noreturn();
static void tooLong(const QsSite *s) {
  ereport(ERROR, (errcode(MAKE_SQLSTATE('3', '9', '5', '0', '1')),
                  errmsg("routine \"%s\" (specific name \"%s\") has returned a result, SQLSTATE, message, or scratchpad "
                         "which is too long",
                         s->fname, s->specname)));
}

/* Notes the bytes of result buffer k the value written there occupies (see the embedded engine)
 * and, for a string found while doing so, where it ends. */
static void noteResult(QsSite *s, int k) {
  const QsValueDef *v = &s->def->results[k];
  ResultInfo *r = &s->outInfo[k];
  const char *b = s->out[k].data;
  r->terminator = -2;
  if (r->whole) {
    r->extent = s->out[k].size;
    return;
  }
  if ((v->kind == QS_CLOB || v->kind == QS_BLOB) && !v->locator) {
    sqlint32 len;
    memcpy(&len, b, sizeof len);
    r->extent = len < 0 || (size_t)len + sizeof len + 1 > r->cap ? s->out[k].size : sizeof len + (size_t)len + 1;
    return;
  }
  {
    const char *nul = memchr(b, 0, r->cap);
    r->terminator = nul == NULL ? -1 : nul - b;
    r->extent = nul == NULL ? s->out[k].size : (size_t)(nul - b) + 1;
  }
}

/* The result's value cast to its declared distinct type when the routine wrote a longer one
 * (RETURNS t CAST FROM u): trailing blanks past the type's length are cut, anything else is
 * 22001. */
static int64 castResult(const QsSite *s, const QsValueDef *v, const char *data, int64 len) {
  if (v->castLength <= 0 || len <= v->castLength) return len;
  if (!blanksFrom(data, v->castLength, len))
    ereport(ERROR, (errcode(ERRCODE_STRING_DATA_RIGHT_TRUNCATION),
                    errmsg("routine \"%s\" (specific name \"%s\") has returned a value too long for type %s", s->fname,
                           s->specname, format_type_be(v->type)),
                    errdetail("The value has " INT64_FORMAT " bytes; the type holds at most " INT64_FORMAT ".", len,
                              v->castLength)));
  return v->castLength;
}

/* No zero byte and nothing above 127: valid UTF-8 without asking the encoding's verifier. */
static bool plainAscii(const char *data, int64 len) {
  for (int64 i = 0; i < len; ++i)
    if ((unsigned char)data[i] - 1u >= 127u) return false;
  return true;
}

/* A character result as text of the result's type; bytes that are not valid UTF-8 are an error,
 * so nothing the database could not read back is stored.  into: a buffer of the site the value is
 * written to (valid until the next call) unless it is larger than ROW_TEXT_KEPT; otherwise, and
 * without into, the value is allocated in the current context. */
static Datum textResult(const QsSite *s, const char *data, int64 len, bool binary, CallBuffer *into) {
  if (!binary && !plainAscii(data, len) && pg_encoding_verifymbstr(PG_UTF8, data, (int)len) != len)
    ereport(ERROR, (errcode(ERRCODE_CHARACTER_NOT_IN_REPERTOIRE),
                    errmsg("routine \"%s\" (specific name \"%s\") has returned a value that is not valid UTF-8", s->fname,
                           s->specname)));
  if (into != NULL && (size_t)len + VARHDRSZ <= ROW_TEXT_KEPT) {
    bytea *out;
    if (into->size < (size_t)len + VARHDRSZ) {
      size_t want = Min(Max((size_t)len + VARHDRSZ, into->size * 2), ROW_TEXT_KEPT);
      char *grown = MemoryContextAlloc(s->cxt, want);
      if (into->data != NULL) pfree(into->data);
      into->data = grown;
      into->size = want;
    }
    out = (bytea *)into->data;
    SET_VARSIZE(out, len + VARHDRSZ);
    memcpy(VARDATA(out), data, len);
    return PointerGetDatum(out);
  }
  {
    bytea *out = (bytea *)palloc(len + VARHDRSZ);
    SET_VARSIZE(out, len + VARHDRSZ);
    memcpy(VARDATA(out), data, len);
    return PointerGetDatum(out);
  }
}

/* ---- Datetime text ------------------------------------------------------------------------ */

/*
 * The text of a DATE, TIME or TIMESTAMP result is read with the embedded engine's fixed rules
 * (quarn/engine/datetime.cpp), whatever the session's DateStyle: ISO and JIS "yyyy-m-d", USA
 * "m/d/yyyy", EUR "d.m.yyyy"; times "h.mm[.ss]", "h:mm[:ss]" or "h[:mm] AM|PM"; timestamps a
 * date alone (its midnight) or a date, '-', ' ' or 'T', a time with '.' or ':' and a fraction of
 * up to 12 digits (6 kept).  A DATE also reads the date of a timestamp's text, a TIME its time;
 * blanks around the text are ignored.  The text is cut into pieces (a run of digits, a run of
 * letters, or one other byte) matched against the forms as the engine matches them, so that both
 * accept the same texts and give the same fields.  PostgreSQL's words ("today", "epoch",
 * "infinity", ...) are no form.
 */
typedef enum DtKind { DT_DATE, DT_TIME, DT_TIMESTAMP } DtKind;
#define DT_SYNTAX (-180) /* no string form of the type (the engine's -180, 22007) */
#define DT_RANGE (-181)  /* a string form with a field out of range (-181, 22007) */

typedef struct Datetime {
  int year, month, day;     /* 1-9999, 1-12, 1 to the month's last day */
  int hour, minute, second; /* 0-24 (24 only as 24.00.00), 0-59, 0-59 */
  int micro;                /* 0-999999 */
} Datetime;

/* A result's text is short; a longer one has more pieces than any form and is refused. */
#define MAX_PIECES 40

typedef enum PieceKind { PIECE_DIGITS, PIECE_LETTERS, PIECE_OTHER } PieceKind;

typedef struct Piece {
  PieceKind kind;
  const char *at;
  size_t len;
} Piece;

static bool isDigit(char c) { return c >= '0' && c <= '9'; }
static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

/* The pieces of text; -1 when there are more than MAX_PIECES. */
static int cutPieces(const char *text, size_t len, Piece *p) {
  int n = 0;
  for (size_t k = 0; k < len;) {
    size_t e = k + 1;
    PieceKind kind = isDigit(text[k]) ? PIECE_DIGITS : isLetter(text[k]) ? PIECE_LETTERS : PIECE_OTHER;
    if (kind == PIECE_DIGITS)
      while (e < len && isDigit(text[e])) ++e;
    if (kind == PIECE_LETTERS)
      while (e < len && isLetter(text[e])) ++e;
    if (n == MAX_PIECES) return -1;
    p[n].kind = kind;
    p[n].at = text + k;
    p[n].len = e - k;
    ++n;
    k = e;
  }
  return n;
}

static bool isNumber(const Piece *p, size_t lo, size_t hi) { return p->kind == PIECE_DIGITS && p->len >= lo && p->len <= hi; }

/* The value of a piece of at most 9 digits (every caller checked its length). */
static int num(const Piece *p) {
  int v = 0;
  for (size_t k = 0; k < p->len && k < 9; ++k) v = v * 10 + (p->at[k] - '0');
  return v;
}

static bool isSep(const Piece *p, char c) { return p->kind == PIECE_OTHER && p->len == 1 && p->at[0] == c; }

/* A run of letters equal to word (upper case) in any case. */
static bool isWord(const Piece *p, const char *word) {
  size_t n = strlen(word);
  if (p->kind != PIECE_LETTERS || p->len != n) return false;
  for (size_t k = 0; k < n; ++k)
    if ((p->at[k] & ~0x20) != word[k]) return false;
  return true;
}

static int daysIn(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

/* A date at p[*at]: ISO/JIS yyyy-m-d, USA m/d/yyyy, EUR d.m.yyyy.  Moves *at past it. */
static int readDate(const Piece *p, int n, int *at, Datetime *v) {
  int k = *at, y, m, d;
  if (k + 5 > n) return DT_SYNTAX;
  if (isNumber(&p[k], 4, 4) && isSep(&p[k + 1], '-') && isNumber(&p[k + 2], 1, 2) && isSep(&p[k + 3], '-') &&
      isNumber(&p[k + 4], 1, 2)) {
    y = num(&p[k]), m = num(&p[k + 2]), d = num(&p[k + 4]);
  } else if (isNumber(&p[k], 1, 2) && isSep(&p[k + 1], '/') && isNumber(&p[k + 2], 1, 2) && isSep(&p[k + 3], '/') &&
             isNumber(&p[k + 4], 4, 4)) {
    m = num(&p[k]), d = num(&p[k + 2]), y = num(&p[k + 4]);
  } else if (isNumber(&p[k], 1, 2) && isSep(&p[k + 1], '.') && isNumber(&p[k + 2], 1, 2) && isSep(&p[k + 3], '.') &&
             isNumber(&p[k + 4], 4, 4)) {
    d = num(&p[k]), m = num(&p[k + 2]), y = num(&p[k + 4]);
  } else {
    return DT_SYNTAX;
  }
  *at = k + 5;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > daysIn(y, m)) return DT_RANGE;
  v->year = y, v->month = m, v->day = d;
  return 0;
}

/* A time at p[*at]: h.mm[.ss], h:mm[:ss], or (not in a timestamp) h[:mm] AM|PM.  Moves *at past
 * it. */
static int readTime(const Piece *p, int n, int *at, Datetime *v, bool inTimestamp) {
  int k = *at, h, mi = 0, s = 0, w;
  char sep = 0;
  if (k >= n || !isNumber(&p[k], 1, 2)) return DT_SYNTAX;
  h = num(&p[k]);
  ++k;
  if (k + 1 < n && (isSep(&p[k], '.') || isSep(&p[k], ':')) && isNumber(&p[k + 1], 2, 2)) {
    sep = p[k].at[0];
    mi = num(&p[k + 1]);
    k += 2;
    if (k + 1 < n && isSep(&p[k], sep) && isNumber(&p[k + 1], 2, 2)) {
      s = num(&p[k + 1]);
      k += 2;
    }
  }
  /* USA: an hour of 0 to 12 and AM or PM, after an optional blank. */
  w = k;
  if (w < n && isSep(&p[w], ' ')) ++w;
  if (!inTimestamp && w < n && (isWord(&p[w], "AM") || isWord(&p[w], "PM")) && sep != '.') {
    if (h > 12 || mi > 59) return DT_RANGE;
    if (isWord(&p[w], "AM") && h == 12) h = 0;
    if (isWord(&p[w], "PM") && h < 12) h += 12;
    k = w + 1;
  } else if (sep == 0) {
    return DT_SYNTAX;
  }
  *at = k;
  if (h > 24 || mi > 59 || s > 59 || (h == 24 && (mi != 0 || s != 0))) return DT_RANGE;
  v->hour = h, v->minute = mi, v->second = s;
  return 0;
}

/* A timestamp: a date alone (its midnight), or a date, '-', ' ' or 'T', a time and a fraction
 * of 1 to 12 digits after '.' or ':' (the first 6 kept). */
static int readTimestamp(const Piece *p, int n, int *at, Datetime *v) {
  int rc = readDate(p, n, at, v), k;
  if (rc != 0) return rc;
  k = *at;
  if (k == n) return 0;
  if (!(isSep(&p[k], '-') || isSep(&p[k], ' ') || isWord(&p[k], "T"))) return DT_SYNTAX;
  ++k;
  rc = readTime(p, n, &k, v, true);
  if (rc != 0) return rc;
  if (k + 1 < n && (isSep(&p[k], '.') || isSep(&p[k], ':')) && isNumber(&p[k + 1], 1, 12)) {
    int micro = 0;
    for (size_t d = 0; d < 6; ++d) micro = micro * 10 + (d < p[k + 1].len ? p[k + 1].at[d] - '0' : 0);
    v->micro = micro;
    k += 2;
  }
  *at = k;
  return 0;
}

/*
 * Reads the len bytes at text as a value of kind: 0 with *out set (the caller takes the fields
 * of its kind), DT_SYNTAX or DT_RANGE with *out untouched.
 */
static int readDatetime(const char *text, size_t len, DtKind kind, Datetime *out) {
  Piece p[MAX_PIECES];
  Datetime v = {1, 1, 1, 0, 0, 0, 0};
  int n, at = 0, rc;
  while (len > 0 && text[0] == ' ') ++text, --len;
  while (len > 0 && text[len - 1] == ' ') --len;
  n = cutPieces(text, len, p);
  if (n < 0) return DT_SYNTAX;
  if (kind == DT_DATE) {
    rc = readDate(p, n, &at, &v);
    if (rc == 0 && at != n) { /* the date of a timestamp */
      at = 0;
      rc = readTimestamp(p, n, &at, &v);
    }
  } else if (kind == DT_TIME) {
    rc = readTime(p, n, &at, &v, false);
    if (rc != 0 || at != n) { /* the time of a timestamp */
      Datetime w = {1, 1, 1, 0, 0, 0, 0};
      int t = 0;
      if (readTimestamp(p, n, &t, &w) == 0 && t == n && n > 5) {
        rc = 0, at = t, v = w;
      } else if (rc == 0) {
        rc = DT_SYNTAX;
      }
    }
  } else {
    rc = readTimestamp(p, n, &at, &v);
  }
  if (rc != 0) return rc;
  if (at != n) return DT_SYNTAX;
  *out = v;
  return 0;
}

/* A DATE, TIME or TIMESTAMP result: its text read with the embedded engine's fixed rules
 * (readDatetime), never by PostgreSQL's input functions, whose reading depends on DateStyle and
 * takes words such as 'today' (an IMMUTABLE function would then give values no index can keep).
 * Text in no form of the type, or with a field out of range, is 22007 as on the engine. */
static Datum dateTimeResult(const QsSite *s, QsKind kind, const char *b, size_t cap) {
  static const char *const typeNames[] = {"date", "time", "timestamp"};
  DtKind dk = kind == QS_DATE ? DT_DATE : kind == QS_TIME ? DT_TIME : DT_TIMESTAMP;
  Datetime v;
  const char *nul = memchr(b, 0, cap);
  int rc;
  if (nul == NULL) tooLong(s);
  rc = readDatetime(b, (size_t)(nul - b), dk, &v);
  if (rc != 0) {
    char text[32];
    cleanText(b, Min(cap, sizeof text - 1), text);
    ereport(ERROR, (errcode(ERRCODE_INVALID_DATETIME_FORMAT),
                    rc == DT_RANGE ? errmsg("the string representation of a datetime value is out of range")
                                      : errmsg("the syntax of the string representation of a datetime value is incorrect"),
                    errdetail("Routine \"%s\" (specific name \"%s\") has returned \"%s\" as a value of type %s.", s->fname,
                              s->specname, text, typeNames[dk])));
  }
  switch (dk) {
    case DT_DATE: return DateADTGetDatum(date2j(v.year, v.month, v.day) - POSTGRES_EPOCH_JDATE);
    case DT_TIME:
      return TimeADTGetDatum(((((int64)v.hour * MINS_PER_HOUR) + v.minute) * SECS_PER_MINUTE + v.second) * USECS_PER_SEC);
    default: {
      struct pg_tm tm;
      Timestamp ts;
      memset(&tm, 0, sizeof tm);
      tm.tm_year = v.year;
      tm.tm_mon = v.month;
      tm.tm_mday = v.day;
      tm.tm_hour = v.hour;
      tm.tm_min = v.minute;
      tm.tm_sec = v.second;
      /* 24.00.00 is the next day's midnight: a PostgreSQL timestamp has no hour 24. */
      if (tm2timestamp(&tm, v.micro, NULL, &ts) != 0 || !IS_VALID_TIMESTAMP(ts))
        ereport(ERROR, (errcode(ERRCODE_DATETIME_VALUE_OUT_OF_RANGE),
                        errmsg("routine \"%s\" (specific name \"%s\") has returned a timestamp out of range", s->fname,
                               s->specname)));
      return TimestampGetDatum(ts);
    }
  }
}

/* Result k as a datum of its SQL type; raises 39501 (too long) or 0F001 (no such locator).
 * into: see textResult. */
static Datum readResult(const QsSite *s, int k, bool *isnull, CallBuffer *into) {
  const QsValueDef *v = &s->def->results[k];
  const char *b = s->out[k].data;
  *isnull = s->outInd[k] < 0;
  if (*isnull) return (Datum)0;
  if (v->locator) {
    udf_locator id;
    const char *data;
    int64_t len;
    int rc;
    memcpy(&id, b, sizeof id);
    rc = qsRdsValue(id, &data, &len);
    if (rc < 0)
      ereport(ERROR, (errcode(MAKE_SQLSTATE('0', 'F', '0', '0', '1')),
                      errmsg("routine \"%s\" (specific name \"%s\") has returned a locator that holds no value", s->fname,
                             s->specname)));
    if (v->length > 0 && len > v->length) tooLong(s);
    len = castResult(s, v, data, len);
    if (rc == 1) { /* the routine handed back an argument read by slices: read it whole */
      struct varlena *whole = detoast_attr((struct varlena *)data);
      return PointerGetDatum(whole);
    }
    return textResult(s, data, len, v->kind == QS_BLOB, into);
  }
  switch (v->kind) {
    case QS_SMALLINT: { short x; memcpy(&x, b, sizeof x); return Int16GetDatum(x); }
    case QS_INTEGER: { sqlint32 x; memcpy(&x, b, sizeof x); return Int32GetDatum(x); }
    case QS_BIGINT: { sqlint64 x; memcpy(&x, b, sizeof x); return Int64GetDatum(x); }
    case QS_REAL: {
      float x;
      memcpy(&x, b, sizeof x);
      return v->numeric ? DirectFunctionCall1(float4_numeric, Float4GetDatum(x)) : Float4GetDatum(x);
    }
    case QS_DOUBLE: {
      double x;
      memcpy(&x, b, sizeof x);
      return v->numeric ? DirectFunctionCall1(float8_numeric, Float8GetDatum(x)) : Float8GetDatum(x);
    }
    case QS_DATE: case QS_TIME: case QS_TIMESTAMP: return dateTimeResult(s, v->kind, b, v->bytes);
    case QS_CLOB: case QS_BLOB: {
      sqlint32 len;
      memcpy(&len, b, sizeof len);
      if (len < 0 || (size_t)len + sizeof len + 1 > v->bytes) tooLong(s);
      return textResult(s, b + sizeof len, castResult(s, v, b + sizeof len, len), v->kind == QS_BLOB, into);
    }
    default: { /* VARCHAR, CHAR */
      const ResultInfo *r = &s->outInfo[k];
      const char *nul = r->terminator == -2 ? memchr(b, 0, v->bytes) : r->terminator == -1 ? NULL : b + r->terminator;
      size_t n;
      if (nul == NULL) tooLong(s);
      n = (size_t)(nul - b);
      if (v->kind == QS_CHAR)
        while (n > 0 && b[n - 1] == ' ') --n;
      return textResult(s, b, castResult(s, v, b, (int64)n), false, into);
    }
  }
}

/* ---- The call ------------------------------------------------------------------------------- */

static bool validStateChars(const char *st) {
  for (int k = 0; k < 5; ++k)
    if (!((st[k] >= '0' && st[k] <= '9') || (st[k] >= 'A' && st[k] <= 'Z'))) return false;
  return true;
}

/* A HINT naming the role membership the caller lacks, when the call was refused the directories
 * of server files for want of it (only within an ereport). */
static int privilegeHint(void) {
  int refused = qsSysRefused();
  if (refused == (QS_SYS_REFUSED_READ | QS_SYS_REFUSED_WRITE))
    return errhint("Reading and writing server files require membership in roles pg_read_server_files and "
                   "pg_write_server_files.");
  if (refused == QS_SYS_REFUSED_READ) return errhint("Reading server files requires membership in role pg_read_server_files.");
  if (refused == QS_SYS_REFUSED_WRITE)
    return errhint("Writing server files requires membership in role pg_write_server_files.");
  return 0;
}

/* The outcome of the SQLSTATE the routine set: 0 go on, 1 end of table (a fetch's 02000); an
 * error is raised, a warning reported once per site. */
static int judge(QsSite *s, bool fetch) {
  char state[6], msg[SQLUDF_MSGTEXT_LEN + 1];
  if (memcmp(s->sqlstate, "00000", 5) == 0) return 0;
  if (fetch && memcmp(s->sqlstate, "02000", 5) == 0) return 1;
  cleanText(s->sqlstate, 5, state);
  cleanText(s->msg, SQLUDF_MSGTEXT_LEN, msg);
  if (strlen(state) == 5 && validStateChars(state)) {
    if (memcmp(state, "38", 2) == 0)
      ereport(ERROR, (errcode(MAKE_SQLSTATE(state[0], state[1], state[2], state[3], state[4])),
                      errmsg("routine \"%s\" (specific name \"%s\") has returned an error SQLSTATE with diagnostic text "
                             "\"%s\"",
                             s->fname, s->specname, msg),
                      privilegeHint()));
    if (memcmp(state, "01H", 3) == 0) {
      if (!s->warned) {
        s->warned = true;
        ereport(WARNING, (errcode(MAKE_SQLSTATE(state[0], state[1], state[2], state[3], state[4])),
                          errmsg("routine \"%s\" (specific name \"%s\") has returned a warning SQLSTATE, with diagnostic "
                                 "text \"%s\"",
                                 s->fname, s->specname, msg)));
      }
      return 0;
    }
  }
  ereport(ERROR, (errcode(MAKE_SQLSTATE('3', '9', '0', '0', '1')),
                  errmsg("routine \"%s\" (specific name \"%s\") has returned an invalid SQLSTATE \"%s\" with diagnostic "
                         "text \"%s\"",
                         s->fname, s->specname, state, msg),
                  privilegeHint()));
  return 0;
}

/*
 * What a call of type type came to (rc: qsFencedCall's result; refusals: qsRdsRefusals before
 * the call): an exception or the SQLSTATE is raised or reported (unless quiet: a CLOSE or FINAL
 * call whose outcome nobody reads) and, for a fetch or a scalar call, the results are read into
 * values/nulls (character values into the site's row buffers when rowBuffers is set, valid until
 * the next call).  Returns 1 at the end of a table (02000 on a fetch), else 0.
 */
static int callOutcome(QsSite *s, int rc, int type, bool quiet, unsigned long refusals, Datum *values, bool *nulls,
                       bool rowBuffers) {
  const QsDef *def = s->def;
  int end = 0;
  if (rc != 0 && !quiet) {
    char fault[sizeof s->fault];
    cleanText(s->fault, sizeof fault - 1, fault);
    ereport(ERROR, (errcode(STATE_ABNORMAL),
                    errmsg("routine \"%s\" (specific name \"%s\") has abnormally terminated", s->fname, s->specname),
                    errdetail("%s left the routine.", fault)));
  }
  if (rc != 0) {
    char fault[sizeof s->fault];
    cleanText(s->fault, sizeof fault - 1, fault);
    elog(WARNING, "routine \"%s\" (specific name \"%s\") has abnormally terminated in a closing call: %s", s->fname,
         s->specname, fault);
  }
  if (!quiet) {
    if (qsRdsRefusals() != refusals && memcmp(s->sqlstate, "00000", 5) != 0 && memcmp(s->sqlstate, "02000", 5) != 0)
      ereport(NOTICE, (errmsg("a large object of routine \"%s\" would have grown beyond %d bytes, the most this host keeps",
                              s->fname, SQLUDF_MAX_LOB_LENGTH)));
    end = judge(s, type == SQLUDF_TF_FETCH);
    if (values != NULL && !end)
      for (int k = 0; k < def->nresults; ++k)
        values[k] = readResult(s, k, &nulls[k], rowBuffers ? &s->rowText[k] : NULL);
  }
  return end;
}

/*
 * One call of the routine with call type type, under the process locale saved in locale.  The
 * result buffers are cleared as far as the last value reached and their indicators set to NULL
 * first; afterwards callOutcome judges it.  Locators the routine created are released on every
 * path; a call that created none (the common case) needs no error trap for them.  Returns 1 at
 * the end of a table (02000 on a fetch), else 0.
 */
static int callRoutine(QsSite *s, QsLocaleMark *locale, int type, bool quiet, Datum *values, bool *nulls,
                       bool rowBuffers) {
  const QsDef *def = s->def;
  size_t mark = qsRdsMark();
  unsigned long refusals = qsRdsRefusals();
  int end = 0;
  int rc;

  for (int k = 0; k < def->nresults; ++k) {
    memset(s->out[k].data, 0, s->outInfo[k].extent);
    s->outInd[k] = -1;
  }
  memcpy(s->sqlstate, "00000", 6);
  if (s->msgDirty) memset(s->msg, 0, sizeof s->msg);
  s->callType = type;
  if (s->padArg >= 0) s->args[s->padArg] = &s->pad;
  /* A call for another user than the privileges were decided for (a closing call made when the
   * executor lets go of the site) may see no server files. */
  {
    bool decided = GetUserId() == s->accessUser;
    qsSysSetAccess(decided && s->mayRead, decided && s->mayWrite);
  }
  rc = qsFencedCall(locale, s->fn, s->args, s->nCallArgs, s->fault, sizeof s->fault);
  s->msgDirty = s->msg[0] != '\0';
  /* Anything but success is reported: the locale is compared in full before any message. */
  if (rc != 0 || (memcmp(s->sqlstate, "00000", 5) != 0 && memcmp(s->sqlstate, "02000", 5) != 0))
    qsFenceRestoreLocale(locale);
  for (int k = 0; k < def->nresults; ++k) noteResult(s, k);

  if (qsRdsMark() == mark) return callOutcome(s, rc, type, quiet, refusals, values, nulls, rowBuffers);
  PG_TRY();
  {
    end = callOutcome(s, rc, type, quiet, refusals, values, nulls, rowBuffers);
  }
  PG_CATCH();
  {
    qsRdsReleaseTo(mark);
    PG_RE_THROW();
  }
  PG_END_TRY();
  qsRdsReleaseTo(mark);
  return end;
}

/* ---- Sites ---------------------------------------------------------------------------------- */

/* Decides the file privileges for the user current at this call, again whenever it differs from
 * the one they were decided for: a site outlives a change of user (a PL/pgSQL expression keeps
 * its site for the transaction, and a SECURITY DEFINER function or SET ROLE changes the user
 * between its calls), so privileges decided once would lend one user's to another. */
static void decideAccess(QsSite *s) {
  Oid user = GetUserId();
  bool mayRead, mayWrite;
  if (user == s->accessUser) return;
  mayRead = has_privs_of_role(user, ROLE_PG_READ_SERVER_FILES);
  mayWrite = has_privs_of_role(user, ROLE_PG_WRITE_SERVER_FILES);
  s->mayRead = mayRead;
  s->mayWrite = mayWrite;
  s->accessUser = user;
}

static void finalCalls(void *arg);

static QsSite *newSite(FunctionCallInfo fcinfo) {
  FmgrInfo *fl = fcinfo->flinfo;
  MemoryContext old;
  QsSite *s;
  QsDef *def;
  int n = 0;

  if (GetDatabaseEncoding() != PG_UTF8)
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                    errmsg("routines of language quarnsql run only in a database of encoding UTF8")));
  old = MemoryContextSwitchTo(fl->fn_mcxt);
  s = palloc0(sizeof *s);
  s->cxt = fl->fn_mcxt;
  s->def = def = qsDefGet(fl->fn_oid);
  s->resetCallback.func = finalCalls;
  s->resetCallback.arg = s;
  MemoryContextRegisterResetCallback(fl->fn_mcxt, &s->resetCallback);
  s->fn = qsLoadEntry(def);

  s->in = palloc0(sizeof(CallBuffer) * Max(def->nargs, 1));
  s->inInd = palloc(sizeof(short) * Max(def->nargs, 1));
  s->out = palloc0(sizeof(CallBuffer) * def->nresults);
  s->outInfo = palloc0(sizeof(ResultInfo) * def->nresults);
  s->outInd = palloc(sizeof(short) * def->nresults);
  s->args = palloc0(sizeof(void *) * (2 * (def->nargs + def->nresults) + 7));
  for (int k = 0; k < def->nargs; ++k) {
    const QsValueDef *v = &def->args[k];
    bool byValueLob = (v->kind == QS_CLOB || v->kind == QS_BLOB) && !v->locator;
    s->in[k].size = byValueLob ? NUMBER_BUFFER : Max(v->bytes + 8, NUMBER_BUFFER);
    s->in[k].data = palloc0(s->in[k].size);
    s->inInd[k] = -1;
    s->args[n++] = s->in[k].data;
  }
  for (int k = 0; k < def->nresults; ++k) {
    const QsValueDef *v = &def->results[k];
    s->out[k].size = Max(v->bytes + 8, NUMBER_BUFFER);
    s->out[k].data = palloc0(s->out[k].size);
    s->outInfo[k].cap = Min(v->bytes, s->out[k].size);
    s->outInfo[k].whole = s->out[k].size <= CLEAR_WHOLE;
    s->outInfo[k].extent = s->out[k].size;
    s->outInd[k] = -1;
    s->args[n++] = s->out[k].data;
  }
  for (int k = 0; k < def->nargs; ++k) s->args[n++] = &s->inInd[k];
  for (int k = 0; k < def->nresults; ++k) s->args[n++] = &s->outInd[k];
  s->args[n++] = s->sqlstate;
  s->args[n++] = s->fname;
  s->args[n++] = s->specname;
  s->args[n++] = s->msg;
  s->padArg = -1;
  if (def->scratchpad || def->table) {
    s->padArg = n;
    s->args[n++] = &s->pad;
  }
  if (def->finalCall || def->table) s->args[n++] = &s->callType;
  if (def->dbinfo) s->args[n++] = &s->dbinfo;
  s->nCallArgs = n;
  s->pad.length = SQLUDF_SCRATCHPAD_LEN;

  strlcpy(s->fname, def->fname, sizeof s->fname);
  strlcpy(s->specname, def->specific, sizeof s->specname);
  if (def->dbinfo) {
    const char *db = get_database_name(MyDatabaseId);
    const char *user = GetUserNameFromId(GetUserId(), false);
    s->dbinfo.dbnamelen = (unsigned short)Min(strlen(db), sizeof s->dbinfo.dbname);
    memcpy(s->dbinfo.dbname, db, s->dbinfo.dbnamelen);
    s->dbinfo.authidlen = (unsigned short)Min(strlen(user), sizeof s->dbinfo.authid);
    memcpy(s->dbinfo.authid, user, s->dbinfo.authidlen);
    s->dbinfo.dbcodepage = 1208;
    s->dbinfo.appcodepage = 1208;
    memcpy(s->dbinfo.ver_rel, "SQL01000", 8);
    strlcpy(s->dbinfo.platform_name, "LINUX", sizeof s->dbinfo.platform_name);
  }
  s->accessUser = InvalidOid; /* decided at the first call (decideAccess) */

  if (def->table) {
    s->setLocators = palloc(sizeof(udf_locator) * Max(def->nargs, 1));
    s->setCopies = palloc0(sizeof(void *) * Max(def->nargs, 1));
    if (def->composite) {
      TupleDesc desc;
      if (get_call_result_type(fcinfo, NULL, &desc) != TYPEFUNC_COMPOSITE)
        ereport(ERROR, (errcode(ERRCODE_DATATYPE_MISMATCH), errmsg("routine \"%s\" does not return rows", def->fname)));
      s->tupdesc = BlessTupleDesc(CreateTupleDescCopy(desc));
    }
  }
  s->ready = true;
  fl->fn_extra = s;
  MemoryContextSwitchTo(old);
  return s;
}

/* Ends the rows of one outer row: forgets the arguments' locators and frees their copies. */
static void endSet(QsSite *s, bool freeCopies) {
  for (int k = 0; k < s->nSetLocators; ++k) {
    qsRdsForget(s->setLocators[k]);
    if (freeCopies && s->setCopies[k] != NULL) pfree(s->setCopies[k]);
    s->setCopies[k] = NULL;
  }
  s->nSetLocators = 0;
  s->open = false;
}

/* The CLOSE call when the executor stops reading a table function's rows early. */
static void shutdownSet(Datum arg) {
  QsSite *s = (QsSite *)DatumGetPointer(arg);
  QsLocaleMark locale;
  s->shutdownContext = NULL;
  qsFenceSaveLocale(&locale);
  if (s->open) callRoutine(s, &locale, SQLUDF_TF_CLOSE, true, NULL, NULL, false);
  qsFenceRestoreLocale(&locale);
  endSet(s, true);
}

/* fn_mcxt's reset callback: the final calls, with null inputs, whose outcome nobody reads
 * (after an error this runs during abort cleanup).  Nothing here raises an error. */
static void finalCalls(void *arg) {
  QsSite *s = (QsSite *)arg;
  const QsDef *def = s->def;
  if (s->ready) {
    QsLocaleMark locale;
    qsFenceSaveLocale(&locale);
    if (def->table) {
      if (s->open) callRoutine(s, &locale, SQLUDF_TF_CLOSE, true, NULL, NULL, false);
      endSet(s, false); /* the copies go with the context */
      for (int k = 0; k < def->nargs; ++k) s->inInd[k] = -1;
      if (s->first && def->finalCall) callRoutine(s, &locale, SQLUDF_TF_FINAL, true, NULL, NULL, false);
    } else if (s->called && def->finalCall) {
      for (int k = 0; k < def->nargs; ++k) s->inInd[k] = -1;
      callRoutine(s, &locale, SQLUDF_FINAL_CALL, true, NULL, NULL, false);
    }
    qsFenceRestoreLocale(&locale);
  }
  qsDefRelease(s->def);
}

/* ---- Scalar and table calls ---------------------------------------------------------------- */

static Datum scalarCall(QsSite *s, QsLocaleMark *locale, FunctionCallInfo fcinfo) {
  const QsDef *def = s->def;
  size_t mark = qsRdsMark();
  Datum result = (Datum)0;
  bool isnull = true;
  PG_TRY();
  {
    for (int k = 0; k < def->nargs; ++k) putInput(s, k, fcinfo->args[k].value, fcinfo->args[k].isnull, false);
    {
      int type = s->called ? SQLUDF_NORMAL_CALL : SQLUDF_FIRST_CALL;
      s->called = true;
      callRoutine(s, locale, type, false, &result, &isnull, false);
    }
  }
  PG_CATCH();
  {
    qsRdsReleaseTo(mark);
    PG_RE_THROW();
  }
  PG_END_TRY();
  qsRdsReleaseTo(mark);
  fcinfo->isnull = isnull;
  return result;
}

/* A new outer row: its arguments, FIRST once per site, then OPEN. */
static void openSet(QsSite *s, QsLocaleMark *locale, FunctionCallInfo fcinfo) {
  const QsDef *def = s->def;
  for (int k = 0; k < def->nargs; ++k) putInput(s, k, fcinfo->args[k].value, fcinfo->args[k].isnull, true);
  if (!s->first && def->finalCall) {
    s->first = true;
    callRoutine(s, locale, SQLUDF_TF_FIRST, false, NULL, NULL, false);
  }
  s->first = true;
  s->open = true;
  callRoutine(s, locale, SQLUDF_TF_OPEN, false, NULL, NULL, false);
}

/*
 * Every row of one outer row at once, into a tuple store the executor reads: a function scan
 * (a table function in FROM, which says it prefers a store) keeps the rows in a store anyway, and
 * filling it here saves the executor's round trip through the function for each row.  A table
 * function in a select list keeps one row per call, so the executor may stop early.  Each FETCH's
 * character values are written to the site's row buffers and anything else it needs to a context
 * emptied per row; the store copies them.  The row arrays, buffers and context are made once per
 * site.  An error between rows leaves the set open for the final calls.
 */
static Datum materializedSet(QsSite *s, QsLocaleMark *locale, FunctionCallInfo fcinfo, ReturnSetInfo *rsi,
                             TupleDesc desc) {
  const QsDef *def = s->def;
  MemoryContext old = MemoryContextSwitchTo(rsi->econtext->ecxt_per_query_memory);
  Tuplestorestate *store = tuplestore_begin_heap((rsi->allowedModes & SFRM_Materialize_Random) != 0, false, work_mem);
  /* The executor frees a returned descriptor that is not reference-counted: it gets a copy. */
  TupleDesc setDesc = CreateTupleDescCopy(desc);
  MemoryContextSwitchTo(old);
  if (s->rowContext == NULL) {
    s->rowValues = MemoryContextAlloc(s->cxt, sizeof(Datum) * def->nresults);
    s->rowNulls = MemoryContextAlloc(s->cxt, sizeof(bool) * def->nresults);
    s->rowText = MemoryContextAllocZero(s->cxt, sizeof(CallBuffer) * def->nresults);
    s->rowContext = AllocSetContextCreate(s->cxt, "quarnsql row", ALLOCSET_SMALL_SIZES);
  }
  openSet(s, locale, fcinfo);
  for (;;) {
    int end;
    CHECK_FOR_INTERRUPTS();
    if (!s->rowContext->isReset) MemoryContextReset(s->rowContext);
    old = MemoryContextSwitchTo(s->rowContext);
    end = callRoutine(s, locale, SQLUDF_TF_FETCH, false, s->rowValues, s->rowNulls, true);
    MemoryContextSwitchTo(old);
    if (end) break;
    tuplestore_putvalues(store, desc, s->rowValues, s->rowNulls);
  }
  callRoutine(s, locale, SQLUDF_TF_CLOSE, false, NULL, NULL, false);
  endSet(s, true);
  MemoryContextReset(s->rowContext);
  rsi->returnMode = SFRM_Materialize;
  rsi->setResult = store;
  rsi->setDesc = setDesc;
  fcinfo->isnull = true;
  return (Datum)0;
}

static Datum tableCall(QsSite *s, QsLocaleMark *locale, FunctionCallInfo fcinfo) {
  const QsDef *def = s->def;
  ReturnSetInfo *rsi = (ReturnSetInfo *)fcinfo->resultinfo;
  Datum *values;
  bool *nulls;

  if (rsi == NULL || !IsA(rsi, ReturnSetInfo) ||
      (rsi->allowedModes & (SFRM_ValuePerCall | SFRM_Materialize)) == 0)
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                    errmsg("table function \"%s\" called in a context that cannot accept a set", def->fname)));
  if (!s->open && (rsi->allowedModes & SFRM_Materialize_Preferred) != 0) {
    TupleDesc desc = def->composite ? s->tupdesc : rsi->expectedDesc;
    if (desc != NULL && desc->natts == def->nresults) return materializedSet(s, locale, fcinfo, rsi, desc);
  }
  if ((rsi->allowedModes & SFRM_ValuePerCall) == 0)
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED),
                    errmsg("table function \"%s\" called in a context that cannot accept a set", def->fname)));
  rsi->returnMode = SFRM_ValuePerCall;
  if (!s->open) {
    if (s->shutdownContext == NULL) {
      RegisterExprContextCallback(rsi->econtext, shutdownSet, PointerGetDatum(s));
      s->shutdownContext = rsi->econtext;
    }
    openSet(s, locale, fcinfo);
  }
  values = palloc(sizeof(Datum) * def->nresults);
  nulls = palloc(sizeof(bool) * def->nresults);
  if (callRoutine(s, locale, SQLUDF_TF_FETCH, false, values, nulls, false)) {
    callRoutine(s, locale, SQLUDF_TF_CLOSE, false, NULL, NULL, false);
    endSet(s, true);
    if (s->shutdownContext != NULL) {
      UnregisterExprContextCallback(s->shutdownContext, shutdownSet, PointerGetDatum(s));
      s->shutdownContext = NULL;
    }
    rsi->isDone = ExprEndResult;
    fcinfo->isnull = true;
    return (Datum)0;
  }
  rsi->isDone = ExprMultipleResult;
  if (!def->composite) {
    fcinfo->isnull = nulls[0];
    return values[0];
  }
  fcinfo->isnull = false;
  return HeapTupleGetDatum(heap_form_tuple(s->tupdesc, values, nulls));
}

/*
 * The process locale is saved once per handler call and compared in full when the call ends,
 * however it ends (the site's first use included: opening a routine library runs its static
 * constructors); between the routine calls of one set only a moved name pointer is compared.
 */
Datum qsCall(FunctionCallInfo fcinfo) {
  QsLocaleMark locale;
  Datum result;
  CHECK_FOR_INTERRUPTS();
  qsFenceSaveLocale(&locale);
  PG_TRY();
  {
    QsSite *s = (QsSite *)fcinfo->flinfo->fn_extra;
    if (s == NULL) s = newSite(fcinfo);
    decideAccess(s);
    result = s->def->table ? tableCall(s, &locale, fcinfo) : scalarCall(s, &locale, fcinfo);
  }
  PG_CATCH();
  {
    qsFenceRestoreLocale(&locale);
    PG_RE_THROW();
  }
  PG_END_TRY();
  qsFenceRestoreLocale(&locale);
  return result;
}

/* ---- The end of a transaction --------------------------------------------------------------- */

/* No call is under way when a transaction ends: every locator left is one nobody can read. */
static void transactionEnd(XactEvent event, void *arg) {
  if (event == XACT_EVENT_COMMIT || event == XACT_EVENT_ABORT || event == XACT_EVENT_PREPARE ||
      event == XACT_EVENT_PARALLEL_COMMIT || event == XACT_EVENT_PARALLEL_ABORT)
    qsRdsReleaseTo(0);
}

void qsCallInit(void) { RegisterXactCallback(transactionEnd, NULL); }
