/*
 * qstestroutines.cpp - the library qstestroutines: routines the PostgreSQL host's tests call to
 * show what the host does when a routine misbehaves (exceptions, allocations that fail, results
 * too large to keep), how it reads large objects (slices, lengths), what a routine's SQL does
 * through the PostgreSQL libquarnapp, that a statement stops between rows, and that the
 * process locale is put back.  Each routine is one case; counters are per backend process.
 */
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "quarnapp.h"
#include "sqludf.h"

namespace {

int closeCalls = 0, finalCalls = 0;

void setState(char *sqlstate, const char *state, char *msg, const std::string &text) {
  std::memcpy(sqlstate, state, 6);
  std::snprintf(msg, SQLUDF_MSGTEXT_LEN + 1, "%s", text.c_str());
}

// The outcome of a runtime call as "SQLCODE SQLSTATE text".
std::string outcome(const sqlca &ca) {
  return std::to_string(ca.sqlcode) + " " + std::string(ca.sqlstate, 5) +
         (ca.sqlerrml > 0 ? " " + std::string(ca.sqlerrmc, static_cast<size_t>(ca.sqlerrml)) : "");
}

void putText(char *out, size_t cap, short *ind, const std::string &text) {
  std::snprintf(out, cap, "%s", text.c_str());
  *ind = 0;
}

}  // namespace

extern "C" {

// qsthrow(mode INTEGER) RETURNS INTEGER: 1 throws std::runtime_error, 2 fails an allocation
// (std::bad_alloc), 3 throws an int; otherwise returns mode.
SQL_API_EXPORT void qsthrow(sqlint32 *mode, sqlint32 *out, short *, short *outInd, char *, char *, char *, char *) {
  if (*mode == 1) throw std::runtime_error("thrown on purpose");
  if (*mode == 2) {
    volatile size_t huge = static_cast<size_t>(1) << 62;
    char *p = new char[huge];
    p[0] = 1;
    delete[] p;
  }
  if (*mode == 3) throw 42;
  *out = *mode;
  *outInd = 0;
}

// qsthrowrows(n INTEGER) RETURNS TABLE(i INTEGER): rows 1..n, but the fetch of row 2 throws;
// its CLOSE and FINAL calls are counted for qsclosed().
SQL_API_EXPORT void qsthrowrows(sqlint32 *n, sqlint32 *i, short *, short *iInd, char *sqlstate, char *, char *, char *,
                                sqludf_scratchpad *pad, sqlint32 *callType) {
  sqlint32 row;
  std::memcpy(&row, pad->data, sizeof row);
  switch (*callType) {
    case SQLUDF_TF_OPEN: row = 0; break;
    case SQLUDF_TF_CLOSE: ++closeCalls; break;
    case SQLUDF_TF_FINAL: ++finalCalls; break;
    case SQLUDF_TF_FETCH:
      if (row >= *n) {
        std::memcpy(sqlstate, SQLUDF_STATE_EOT, 6);
        break;
      }
      if (++row == 2) throw std::logic_error("row 2 cannot be made");
      *i = row;
      *iInd = 0;
      break;
    default: break;
  }
  std::memcpy(pad->data, &row, sizeof row);
}

// qsclosed() RETURNS VARCHAR(40): "close N final M" since the last call.
SQL_API_EXPORT void qsclosed(char *out, short *outInd, char *, char *, char *, char *) {
  putText(out, 41, outInd, "close " + std::to_string(closeCalls) + " final " + std::to_string(finalCalls));
  closeCalls = finalCalls = 0;
}

// qsappend(n BIGINT) RETURNS CLOB AS LOCATOR: "x" followed by an append of n bytes, n at most
// 16 or beyond the largest value the runtime keeps (whose refusal comes before the runtime
// reads the buffer); a refused append fails with 38Q01 naming the runtime's return code.
SQL_API_EXPORT void qsappend(sqlint64 *n, udf_locator *out, short *, short *outInd, char *sqlstate, char *, char *,
                             char *msg) {
  udf_locator *made = nullptr;
  unsigned char bytes[16];
  std::memset(bytes, 'y', sizeof bytes);
  sqlint32 got = 0;
  if (*n > 16 && *n < SQLUDF_MAX_LOB_LENGTH) return setState(sqlstate, "38Q05", msg, "n must be <= 16 or beyond the limit");
  if (sqludf_create_locator(SQL_TYP_CLOB_LOC, &made) != 0) return setState(sqlstate, "38Q02", msg, "no locator");
  sqludf_append(made, reinterpret_cast<unsigned char *>(const_cast<char *>("x")), 1, &got);
  if (*n > 0) {
    int rc = sqludf_append(made, bytes, static_cast<sqlint32>(*n > 2147483647 ? 2147483647 : *n), &got);
    if (rc != 0) return setState(sqlstate, "38Q01", msg, "append refused: " + std::to_string(rc));
  }
  *out = *made;
  *outInd = 0;
}

// qsslice(c CLOB AS LOCATOR, start INTEGER, length INTEGER) RETURNS VARCHAR(100): the length
// of c and the bytes from start, through sqludf_length and sqludf_substr.
SQL_API_EXPORT void qsslice(udf_locator *loc, sqlint32 *start, sqlint32 *length, char *out, short *, short *, short *,
                            short *outInd, char *sqlstate, char *, char *, char *msg) {
  sqlint32 total = 0, got = 0;
  char piece[64] = "";
  if (sqludf_length(loc, &total) != 0) return setState(sqlstate, "38Q03", msg, "no length");
  int rc = sqludf_substr(loc, *start, *length > 63 ? 63 : *length, reinterpret_cast<unsigned char *>(piece), &got);
  if (rc != 0) return setState(sqlstate, "38Q04", msg, "no substr: " + std::to_string(rc));
  piece[got] = '\0';
  putText(out, 101, outInd, std::to_string(total) + ":" + piece);
}

// qssql(statement VARCHAR(400)) RETURNS VARCHAR(200): runs the statement through the embedded
// runtime on the caller's connection; "SQLCODE SQLSTATE text" of its outcome.
SQL_API_EXPORT void qssql(char *statement, char *out, short *, short *outInd, char *, char *, char *, char *) {
  sqlca ca{};
  quarn_execute_immediate(statement, &ca);
  putText(out, 201, outInd, outcome(ca) + " rows " + std::to_string(ca.sqlerrd[2]));
}

// qsquery(query VARCHAR(400), param VARCHAR(100)) RETURNS VARCHAR(400): prepares the query
// (parameter markers "?" take param), opens a cursor and fetches every row's first column as
// text; the values joined by ",", then the outcome of the last fetch.
SQL_API_EXPORT void qsquery(char *query, char *param, char *out, short *, short *paramInd, short *outInd, char *,
                            char *, char *, char *) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (quarn_prepare(query, &stmt, &ca) != 0) return putText(out, 401, outInd, "prepare: " + outcome(ca));
  short ind = *paramInd;
  quarn_hostvar in{SQL_TYP_CSTR, 101, param, &ind};
  std::string values;
  if (quarn_open(stmt, 1, &in, &ca) != 0) {
    std::string text = "open: " + outcome(ca);
    quarn_free_stmt(stmt);
    return putText(out, 401, outInd, text);
  }
  char value[101];
  short valueInd = 0;
  quarn_hostvar col{SQL_TYP_CSTR, sizeof value, value, &valueInd};
  while (quarn_fetch(stmt, 1, &col, &ca) == 0) values += (values.empty() ? "" : ",") + std::string(valueInd < 0 ? "-" : value);
  std::string text = values + " | " + outcome(ca);
  quarn_close(stmt, &ca);
  quarn_free_stmt(stmt);
  putText(out, 401, outInd, text);
}

// qsrefused(what INTEGER) RETURNS VARCHAR(200): what the runtime answers inside a backend to
// 1 COMMIT, 2 CONNECT, 3 CALL, 4 SAVEPOINT.
SQL_API_EXPORT void qsrefused(sqlint32 *what, char *out, short *, short *outInd, char *, char *, char *, char *) {
  sqlca ca{};
  switch (*what) {
    case 1: quarn_commit(&ca); break;
    case 2: quarn_connect("OTHER", nullptr, nullptr, &ca); break;
    case 3: quarn_call("lib!entry", nullptr, &ca); break;
    default: quarn_savepoint("S1", 0, &ca); break;
  }
  putText(out, 201, outInd, outcome(ca));
}

// qsspin(ms INTEGER) RETURNS INTEGER: busy for ms milliseconds, then returns ms.
SQL_API_EXPORT void qsspin(sqlint32 *ms, sqlint32 *out, short *, short *outInd, char *, char *, char *, char *) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(*ms);
  while (std::chrono::steady_clock::now() < end) {
  }
  *out = *ms;
  *outInd = 0;
}

// qslocale(set INTEGER) RETURNS VARCHAR(100): the process's LC_CTYPE; with set = 1 the routine
// first sets it from the environment, as a library opening its message catalogue does.
SQL_API_EXPORT void qslocale(sqlint32 *set, char *out, short *, short *outInd, char *, char *, char *, char *) {
  if (*set == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
  const char *now = std::setlocale(LC_CTYPE, nullptr);
  putText(out, 101, outInd, now != nullptr ? now : "?");
}

// qsshow(c CHAR(5), b BLOB, d DATE, t TIME, ts TIMESTAMP, n DECIMAL) RETURNS VARCHAR(200): the
// inputs as the routine receives them (CHAR padded, BLOB as length and bytes in hex, dates and
// times in the platform's forms, DECIMAL as double); "-" for a null input.
struct Lob {
  sqlint32 length;
  unsigned char data[1];
};
SQL_API_EXPORT void qsshow(char *c, Lob *b, char *d, char *t, char *ts, double *n, char *out, short *cInd, short *bInd,
                           short *dInd, short *tInd, short *tsInd, short *nInd, short *outInd, char *, char *, char *,
                           char *) {
  std::string hex;
  for (sqlint32 k = 0; *bInd >= 0 && k < b->length && k < 16; ++k) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b->data[k]);
    hex += two;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", *n);
  auto shown = [](short ind, const std::string &v) { return ind < 0 ? std::string("-") : v; };
  putText(out, 201, outInd,
          "[" + shown(*cInd, c) + "] " + shown(*bInd, std::to_string(b->length) + ":" + hex) + " " + shown(*dInd, d) +
              " " + shown(*tInd, t) + " " + shown(*tsInd, ts) + " " + shown(*nInd, number));
}

// qsbytes(n INTEGER) RETURNS BLOB: the bytes 0, 1, ..., n - 1 (at most 255), by value.
SQL_API_EXPORT void qsbytes(sqlint32 *n, Lob *out, short *, short *outInd, char *, char *, char *, char *) {
  sqlint32 count = *n < 0 ? 0 : *n > 255 ? 255 : *n;
  out->length = count;
  for (sqlint32 k = 0; k < count; ++k) out->data[k] = static_cast<unsigned char>(k);
  *outInd = 0;
}

// qsasdate(text VARCHAR) RETURNS DATE, qsastime(text VARCHAR) RETURNS TIME and
// qsastimestamp(text VARCHAR) RETURNS TIMESTAMP: the text as the routine's result, as much of it
// as the result's buffer holds (11, 9 and 27 bytes with the terminator); NULL for NULL.
static void textAs(const char *text, short inInd, char *out, size_t cap, short *outInd) {
  if (inInd < 0) return;
  std::snprintf(out, cap, "%s", text);
  *outInd = 0;
}
SQL_API_EXPORT void qsasdate(char *text, char *out, short *inInd, short *outInd, char *, char *, char *, char *) {
  textAs(text, *inInd, out, 11, outInd);
}
SQL_API_EXPORT void qsastime(char *text, char *out, short *inInd, short *outInd, char *, char *, char *, char *) {
  textAs(text, *inInd, out, 9, outInd);
}
SQL_API_EXPORT void qsastimestamp(char *text, char *out, short *inInd, short *outInd, char *, char *, char *, char *) {
  textAs(text, *inInd, out, 27, outInd);
}

// qsdates(k INTEGER) RETURNS TABLE(d DATE, t TIME, ts TIMESTAMP): one row of the platform's
// forms, k days into 2026.
SQL_API_EXPORT void qsdates(sqlint32 *k, char *d, char *t, char *ts, short *, short *dInd, short *tInd, short *tsInd,
                            char *sqlstate, char *, char *, char *, sqludf_scratchpad *pad, sqlint32 *callType) {
  if (*callType == SQLUDF_TF_OPEN) pad->data[0] = 0;
  if (*callType != SQLUDF_TF_FETCH) return;
  if (pad->data[0]++ != 0) {
    std::memcpy(sqlstate, SQLUDF_STATE_EOT, 6);
    return;
  }
  // Unsigned, so the compiler sees every field fit its two digits.
  unsigned kk = static_cast<unsigned>(*k), day = 1 + kk % 28u, hour = kk % 24u;
  std::snprintf(d, 11, "2026-01-%02u", day);
  std::snprintf(t, 9, "%02u.%02u.%02u", hour, 30u, 15u);
  std::snprintf(ts, 27, "2026-01-%02u-%02u.30.15.000123", day, hour);
  *dInd = *tInd = *tsInd = 0;
}

// qsrows(n INTEGER, at INTEGER) RETURNS TABLE(k INTEGER, t VARCHAR(100000), loc VARCHAR(100)):
// rows k = 1..n with t the letter 'a' + k - 1 repeated (700 times in row 2, 70,000 times in row
// 3, else 2k + 1 times) and
// loc the process's LC_CTYPE when the row is made.  The fetch of row at first sets LC_CTYPE from
// the environment; with at negative, the fetch of row -at sets it and then fails with 38Q02.
SQL_API_EXPORT void qsrows(sqlint32 *n, sqlint32 *at, sqlint32 *k, char *t, char *loc, short *, short *, short *kInd,
                           short *tInd, short *locInd, char *sqlstate, char *, char *, char *msg,
                           sqludf_scratchpad *pad, sqlint32 *callType) {
  sqlint32 row;
  std::memcpy(&row, pad->data, sizeof row);
  if (*callType == SQLUDF_TF_OPEN) row = 0;
  if (*callType == SQLUDF_TF_FETCH) {
    if (row >= *n) {
      std::memcpy(sqlstate, SQLUDF_STATE_EOT, 6);
    } else {
      ++row;
      if (row == *at || row == -*at) std::setlocale(LC_CTYPE, "C.UTF-8");
      if (row == -*at) {
        setState(sqlstate, "38Q02", msg, "row " + std::to_string(row) + " failed after setting the locale");
      } else {
        *k = row;
        *kInd = 0;
        size_t length = row == 2 ? 700 : row == 3 ? 70000 : static_cast<size_t>(2 * row + 1);
        putText(t, 100001, tInd, std::string(length, static_cast<char>('a' + (row - 1) % 26)));
        const char *now = std::setlocale(LC_CTYPE, nullptr);
        putText(loc, 101, locInd, now != nullptr ? now : "?");
      }
    }
  }
  std::memcpy(pad->data, &row, sizeof row);
}

}  // extern "C"
