/*
 * testroutines.cpp - the library quarntestroutines: external routines the engine's SQL-script
 * tests register and call.  Each one shows one part of the call protocol (scratchpad, call
 * types, DBINFO, SQLSTATEs, locators, table functions, the two procedure conventions) in values
 * a transcript can compare.
 * The counters of final calls are process-wide; the console runs one script per process.
 */
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "quarnapp.h"
#include "sqlda.h"
#include "sqludf.h"

namespace {

std::atomic<int> finalCalls{0};

void setState(char *sqlstate, const char *state, char *msg, const char *text) {
  std::memcpy(sqlstate, state, 6);
  std::snprintf(msg, SQLUDF_MSGTEXT_LEN + 1, "%s", text);
}

// Appends the call type to the text in the scratchpad ("-2,-1,0,...").
void logCall(sqludf_scratchpad *pad, sqlint32 type) {
  size_t used = strnlen(pad->data, sizeof pad->data);
  std::snprintf(pad->data + used, sizeof pad->data - used, "%s%d", used ? "," : "", static_cast<int>(type));
}

// Text of the elements named by the last step of path ("/d/item" -> "item") in doc, by plain
// search for "<item>" ... "</item>" (no parser: the documents of the trigger scripts are
// flat); the occurrence starting at or after byte *from, whose end moves *from.  False when
// there is none.
bool elementText(const char *doc, const char *path, size_t *from, std::string *out) {
  std::string d = doc, p = path;
  std::string name = p.substr(p.rfind('/') == std::string::npos ? 0 : p.rfind('/') + 1);
  std::string open = "<" + name + ">", close = "</" + name + ">";
  size_t a = d.find(open, *from);
  if (a == std::string::npos) return false;
  size_t b = d.find(close, a + open.size());
  if (b == std::string::npos) return false;
  *out = d.substr(a + open.size(), b - a - open.size());
  *from = b + close.size();
  return true;
}

}  // namespace

extern "C" {

// tcount(x): how many rows this reference has seen in this statement; counts final calls.
SQL_API_EXPORT void tcount(sqlint32 *, sqlint32 *out, short *, short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  (void)sqludf_fname;
  (void)sqludf_fspecname;
  (void)sqludf_msgtext;
  (void)sqludf_sqlstate;
  (void)sqludf_dbinfo;
  if (*sqludf_call_type == SQLUDF_FINAL_CALL) {
    ++finalCalls;
    return;
  }
  sqlint32 n;
  std::memcpy(&n, sqludf_scratchpad->data, sizeof n);
  if (*sqludf_call_type == SQLUDF_FIRST_CALL && n != 0) n = 1000;  // a scratchpad not zeroed shows
  ++n;
  std::memcpy(sqludf_scratchpad->data, &n, sizeof n);
  *out = n;
  *outInd = 0;
}

// tfinals(): final calls made since the last call of tfinals.
SQL_API_EXPORT void tfinals(sqlint32 *out, short *outInd, char *, char *, char *, char *) {
  *out = finalCalls.exchange(0);
  *outInd = 0;
}

// tcheck(x): x > 0 gives 2x; 0 a warning 01H01; < 0 an error 38T01.
SQL_API_EXPORT void tcheck(sqlint32 *in, sqlint32 *out, short *inInd, short *outInd, char *sqlstate, char *, char *,
                           char *msg) {
  if (*inInd < 0) return;
  if (*in < 0) return setState(sqlstate, "38T01", msg, "negative input");
  if (*in == 0) setState(sqlstate, "01H01", msg, "zero input");
  *out = *in * 2;
  *outInd = 0;
}

// tbad(mode): 1 an unterminated VARCHAR(5) result, 2 an SQLSTATE it may not use, 3 an error
// whose diagnostic is 30 two-byte characters.
SQL_API_EXPORT void tbad(sqlint32 *mode, char *out, short *, short *outInd, char *sqlstate, char *, char *, char *msg) {
  *outInd = 0;
  std::string accents;
  for (int k = 0; k < 30; ++k) accents += "\xC3\xA9";
  if (*mode == 1) std::memset(out, 'x', 6);
  else if (*mode == 2) setState(sqlstate, "22012", msg, "division");
  else if (*mode == 3) setState(sqlstate, "38T03", msg, accents.c_str());
  else std::strcpy(out, "fine");
}

// tdbinfo(): the database name and code page, and the function's names, as DBINFO tells them.
SQL_API_EXPORT void tdbinfo(char *out, short *outInd, char *, char *fname, char *specname, char *,
                            sqludf_dbinfo *dbinfo) {
  std::snprintf(out, 101, "%.*s %u %s %s", dbinfo->dbnamelen, dbinfo->dbname, dbinfo->dbcodepage, fname, specname);
  *outInd = 0;
}

// tkind(x) for an INTEGER and for a distinct type: which overload ran.
SQL_API_EXPORT void tkindint(sqlint32 *, char *out, short *, short *outInd, char *, char *, char *, char *) {
  std::strcpy(out, "integer");
  *outInd = 0;
}
SQL_API_EXPORT void tkindmoney(sqlint32 *, char *out, short *, short *outInd, char *, char *, char *, char *) {
  std::strcpy(out, "money");
  *outInd = 0;
}
SQL_API_EXPORT void tkindtext(char *in, char *out, short *, short *outInd, char *, char *, char *, char *) {
  std::snprintf(out, 21, "text:%s", in);
  *outInd = 0;
}

// tinc(x): x + 1 (the benchmark's trivial function).
SQL_API_EXPORT void tinc(sqlint32 *in, sqlint32 *out, short *inInd, short *outInd, char *, char *, char *, char *) {
  *out = *in + 1;
  *outInd = *inInd;
}

// textract(doc, path) RETURNS VARCHAR(4000): the text of the first element the path's last step
// names; NULL when there is none.  textractdtd(doc, dtd, path) the same with a DTD locator it
// does not read.  They stand for an extraction function in trigger bodies and conditions.
SQL_API_EXPORT void textract(char *doc, char *path, char *out, short *docInd, short *pathInd, short *outInd,
                             SQLUDF_TRAIL_ARGS_ALL) {
  (void)sqludf_sqlstate, (void)sqludf_fname, (void)sqludf_fspecname, (void)sqludf_msgtext, (void)sqludf_scratchpad,
      (void)sqludf_dbinfo;
  if (*sqludf_call_type == SQLUDF_FINAL_CALL || *docInd < 0 || *pathInd < 0) return;
  size_t from = 0;
  std::string text;
  if (!elementText(doc, path, &from, &text)) return;
  std::snprintf(out, 4001, "%s", text.c_str());
  *outInd = 0;
}
SQL_API_EXPORT void textractdtd(char *doc, udf_locator *, char *path, char *out, short *docInd, short *, short *pathInd,
                                short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  textract(doc, path, out, docInd, pathInd, outInd, sqludf_sqlstate, sqludf_fname, sqludf_fspecname, sqludf_msgtext,
           sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo);
}

// textracts(doc, path) RETURNS TABLE(returnedVarchar VARCHAR(4000)): one row per element the
// path's last step names; textractsdtd(doc, dtd, path) the same with a DTD locator.  The
// scratchpad keeps the byte the next search starts at.
SQL_API_EXPORT void textracts(char *doc, char *path, char *out, short *docInd, short *pathInd, short *outInd,
                              SQLUDF_TRAIL_ARGS_ALL) {
  (void)sqludf_fname, (void)sqludf_fspecname, (void)sqludf_msgtext, (void)sqludf_dbinfo;
  size_t from;
  std::memcpy(&from, sqludf_scratchpad->data, sizeof from);
  if (*sqludf_call_type == SQLUDF_TF_OPEN) from = 0;
  if (*sqludf_call_type == SQLUDF_TF_FETCH) {
    std::string text;
    if (*docInd < 0 || *pathInd < 0 || !elementText(doc, path, &from, &text)) {
      std::memcpy(sqludf_sqlstate, SQLUDF_STATE_EOT, 6);
    } else {
      std::snprintf(out, 4001, "%s", text.c_str());
      *outInd = 0;
    }
  }
  std::memcpy(sqludf_scratchpad->data, &from, sizeof from);
}
SQL_API_EXPORT void textractsdtd(char *doc, udf_locator *, char *path, char *out, short *docInd, short *, short *pathInd,
                                 short *outInd, SQLUDF_TRAIL_ARGS_ALL) {
  textracts(doc, path, out, docInd, pathInd, outInd, sqludf_sqlstate, sqludf_fname, sqludf_fspecname, sqludf_msgtext,
            sqludf_scratchpad, sqludf_call_type, sqludf_dbinfo);
}

// tseqno(): 1, 2, 3, ... per reference and statement execution (scratchpad, no final call).
SQL_API_EXPORT void tseqno(sqlint32 *out, short *outInd, char *, char *, char *, char *, sqludf_scratchpad *pad,
                           sqludf_dbinfo *) {
  sqlint32 n;
  std::memcpy(&n, pad->data, sizeof n);
  ++n;
  std::memcpy(pad->data, &n, sizeof n);
  *out = n;
  *outInd = 0;
}

// tfill(n): n > 0 writes n bytes 'x', n < 0 writes "ab" and then blanks up to -n bytes, as a
// function writing up to the whole of a VARCHAR(32672) result does.
SQL_API_EXPORT void tfill(sqlint32 *n, char *out, short *nInd, short *outInd, char *, char *, char *, char *) {
  if (*nInd < 0) return;
  sqlint32 len = *n < 0 ? -*n : *n;
  if (len > 32672) len = 32672;
  std::memset(out, *n < 0 ? ' ' : 'x', static_cast<size_t>(len));
  if (*n < 0 && len >= 2) std::memcpy(out, "ab", 2);
  out[len] = 0;
  *outInd = 0;
}

// tmix(SMALLINT, BIGINT, REAL, DOUBLE): the sum as DOUBLE; null inputs count as 1000000, so a
// call with a null input shows whether it was made.
SQL_API_EXPORT void tmix(short *a, sqlint64 *b, float *c, double *d, double *out, short *aInd, short *bInd,
                         short *cInd, short *dInd, short *outInd, char *, char *, char *, char *) {
  *out = (*aInd < 0 ? 1e6 : *a) + (*bInd < 0 ? 1e6 : static_cast<double>(*b)) + (*cInd < 0 ? 1e6 : *c) +
         (*dInd < 0 ? 1e6 : *d);
  *outInd = 0;
}

// tnarrow(BIGINT): the low bits as SMALLINT; null for a negative input.
SQL_API_EXPORT void tnarrow(sqlint64 *in, short *out, short *inInd, short *outInd, char *, char *, char *, char *) {
  if (*inInd < 0 || *in < 0) return;
  *out = static_cast<short>(*in & 0x7fff);
  *outInd = 0;
}

// tloclen(CLOB AS LOCATOR): the length through sqludf_length.
SQL_API_EXPORT void tloclen(udf_locator *loc, sqlint32 *out, short *, short *outInd, char *sqlstate, char *, char *,
                            char *msg) {
  sqlint32 n = 0;
  if (sqludf_length(loc, &n) != 0) return setState(sqlstate, "38T02", msg, "no length");
  *out = n;
  *outInd = 0;
}

// tlocupper(CLOB AS LOCATOR) RETURNS CLOB AS LOCATOR: the text upper-cased, read in pieces of
// 3 bytes with sqludf_substr and written with sqludf_append into a new locator.
SQL_API_EXPORT void tlocupper(udf_locator *loc, udf_locator *out, short *, short *outInd, char *sqlstate, char *,
                              char *, char *msg) {
  udf_locator *made = nullptr;
  if (sqludf_create_locator(SQL_TYP_CLOB_LOC, &made) != 0) return setState(sqlstate, "38T03", msg, "no locator");
  sqlint32 len = 0;
  sqludf_length(loc, &len);
  for (sqlint32 at = 1; at <= len; at += 3) {
    unsigned char piece[3];
    sqlint32 got = 0;
    if (sqludf_substr(loc, at, 3, piece, &got) != 0) return setState(sqlstate, "38T04", msg, "no substr");
    for (sqlint32 k = 0; k < got; ++k)
      if (piece[k] >= 'a' && piece[k] <= 'z') piece[k] = static_cast<unsigned char>(piece[k] - 32);
    sqlint32 appended = 0;
    if (sqludf_append(made, piece, got, &appended) != 0) return setState(sqlstate, "38T05", msg, "no append");
  }
  *out = *made;
  *outInd = 0;
}

// tseries(n) RETURNS TABLE(I INTEGER, CALLS VARCHAR(60)): rows 1..n; CALLS lists the call types
// this reference has been called with in this statement so far.
SQL_API_EXPORT void tseries(sqlint32 *n, sqlint32 *i, char *calls, short *nInd, short *iInd, short *callsInd,
                            SQLUDF_TRAIL_ARGS_ALL) {
  (void)nInd;
  (void)sqludf_fname;
  (void)sqludf_fspecname;
  (void)sqludf_msgtext;
  (void)sqludf_dbinfo;
  sqlint32 type = *sqludf_call_type;
  // The first 4 bytes of data count rows; the log follows.
  struct sqludf_scratchpad view {};
  std::memcpy(view.data, sqludf_scratchpad->data + 4, sizeof view.data - 4);
  logCall(&view, type);
  std::memcpy(sqludf_scratchpad->data + 4, view.data, sizeof view.data - 4);
  sqlint32 row;
  std::memcpy(&row, sqludf_scratchpad->data, sizeof row);
  if (type == SQLUDF_TF_OPEN) row = 0;
  if (type == SQLUDF_TF_FINAL) ++finalCalls;
  if (type == SQLUDF_TF_FETCH) {
    if (row >= *n) {
      std::memcpy(sqludf_sqlstate, SQLUDF_STATE_EOT, 6);
    } else {
      ++row;
      *i = row;
      *iInd = 0;
      std::snprintf(calls, 61, "%.60s", view.data);
      *callsInd = 0;
    }
  }
  std::memcpy(sqludf_scratchpad->data, &row, sizeof row);
}

// Procedure of parameter style QUARNDARI: (IN n INTEGER, IN s VARCHAR(20), IN c CLOB(1K),
// OUT total INTEGER, OUT text VARCHAR(40), INOUT x INTEGER).  total = n + the length of c read
// through the extended entry; text = s, ":", the large object; x doubles, except for n = 7,
// where x is marked -128 and so not sent back.  n = 99 inserts the row (99) into T through the
// embedded runtime (the caller's session) and n = -1 fails the call with -438 in the
// communication area.  Every input is marked -128, as the system's procedures do.
SQL_API_EXPORT int tdari(void *, void *, struct sqlda *da, struct sqlca *ca) {
  if (da == nullptr || da->sqld != 6 || da->sqln < 2 * da->sqld) return 1;
  sqlint32 n = *reinterpret_cast<sqlint32 *>(da->sqlvar[0].sqldata);
  const char *sv = da->sqlvar[1].sqldata;
  unsigned short slen;
  std::memcpy(&slen, sv, sizeof slen);
  const sqlvar2 *ext = reinterpret_cast<const sqlvar2 *>(&da->sqlvar[2 + da->sqld]);
  sqlint32 clen = *da->sqlvar[2].sqlind < 0 ? 0 : *reinterpret_cast<const sqlint32 *>(ext->sqldatalen);
  if (n == -1) {
    ca->sqlcode = -438;
    std::memcpy(ca->sqlstate, "38T02", 5);
    const char text[] = "tdari refuses -1";
    ca->sqlerrml = static_cast<short>(sizeof text - 1);
    std::memcpy(ca->sqlerrmc, text, sizeof text - 1);
    return 1;
  }
  if (n == 99) {
    sqlca inner{};
    quarn_execute_immediate("INSERT INTO t (k) VALUES (99)", &inner);
    if (inner.sqlcode < 0) {
      *ca = inner;
      return 1;
    }
  }
  sqlint32 total = n + clen;
  std::memcpy(da->sqlvar[3].sqldata, &total, sizeof total);
  *da->sqlvar[3].sqlind = 0;
  std::string text = std::string(sv + 2, slen) + ":" + std::string(da->sqlvar[2].sqldata, static_cast<size_t>(clen));
  size_t cap = static_cast<size_t>(da->sqlvar[4].sqllen);
  if (text.size() > cap) text.resize(cap);
  unsigned short tlen = static_cast<unsigned short>(text.size());
  std::memcpy(da->sqlvar[4].sqldata, &tlen, sizeof tlen);
  std::memcpy(da->sqlvar[4].sqldata + 2, text.data(), text.size());
  *da->sqlvar[4].sqlind = 0;
  if (n == 7) {
    *da->sqlvar[5].sqlind = SQL_IND_NO_RETURN;
  } else if (*da->sqlvar[5].sqlind >= 0) {
    sqlint32 *x = reinterpret_cast<sqlint32 *>(da->sqlvar[5].sqldata);
    *x *= 2;
  }
  for (int k = 0; k < 3; ++k) *da->sqlvar[k].sqlind = SQL_IND_NO_RETURN;
  return 1;
}

// Procedure of parameter style SQL: (IN n INTEGER, OUT doubled INTEGER, INOUT s VARCHAR(30)).
// doubled = 2n, s gets "!" appended; NULL n gives a NULL doubled; n < 0 sets SQLSTATE 38T01.
SQL_API_EXPORT void tsqlproc(sqlint32 *n, sqlint32 *doubled, char *s, short *nInd, short *doubledInd, short *sInd,
                             char *sqlstate, char *qualName, char *specName, char *msg) {
  (void)qualName;
  if (*nInd < 0) {
    *doubledInd = -1;
  } else if (*n < 0) {
    setState(sqlstate, "38T01", msg, (std::string("negative input to ") + specName).c_str());
    return;
  } else {
    *doubled = 2 * *n;
    *doubledInd = 0;
  }
  if (*sInd >= 0) std::strncat(s, "!", 30 - std::strlen(s));
  *nInd = -128;
}

// Procedure of parameter style SQL: (IN script VARCHAR(400), OUT log VARCHAR(400)).  Runs the
// steps of script, separated by '|' outside quotes, in the caller's session through the
// embedded runtime:
// "+name" sets savepoint name, "*name" sets it UNIQUE, "^name" rolls back to it ("^" alone: to
// the newest), "-name" releases it, "!" fails the call (SQLSTATE 38T09), anything else is a
// statement.  log lists the SQLCODE of each step, separated by commas.
SQL_API_EXPORT void tsavepoints(char *script, char *log, short *scriptInd, short *logInd, char *sqlstate, char *,
                                char *, char *msg) {
  std::string steps = *scriptInd < 0 ? std::string() : script;
  std::string out;
  size_t start = 0;
  while (start <= steps.size()) {
    size_t bar = start;
    for (bool quoted = false; bar < steps.size() && (quoted || steps[bar] != '|'); ++bar)
      if (steps[bar] == '\'') quoted = !quoted;
    if (bar == steps.size()) bar = std::string::npos;
    std::string step = steps.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    start = bar == std::string::npos ? steps.size() + 1 : bar + 1;
    if (step == "!") return setState(sqlstate, "38T09", msg, "tsavepoints fails as asked");
    sqlca ca{};
    int rc;
    std::string arg = step.empty() ? step : step.substr(1);
    switch (step.empty() ? ' ' : step[0]) {
      case '+': rc = quarn_savepoint(arg.c_str(), 0, &ca); break;
      case '*': rc = quarn_savepoint(arg.c_str(), 1, &ca); break;
      case '^': rc = quarn_rollback_to_savepoint(arg.c_str(), &ca); break;
      case '-': rc = quarn_release_savepoint(arg.c_str(), &ca); break;
      default: rc = quarn_execute_immediate(step.c_str(), &ca); break;
    }
    out += (out.empty() ? "" : ",") + std::to_string(rc);
  }
  std::snprintf(log, 401, "%s", out.c_str());
  *logInd = 0;
}

}  // extern "C"
