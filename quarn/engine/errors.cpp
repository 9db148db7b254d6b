/*
 * errors.cpp - the engine's list of errors, filling a communication area from an engine
 * failure, the text form that carries a failure through SQLite (check constraint names, RAISE
 * texts, function errors), and SQLite's own failures as Quarn failures.
 */
#include "errors.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lexer.h"
#include "sqlutil.h"

namespace quarn {

namespace {

constexpr ErrorRow kRows[] = {
#define QUARN_ERROR_ROW(name, code, state, text) {code, state, text},
    QUARN_ENGINE_ERRORS(QUARN_ERROR_ROW)
#undef QUARN_ERROR_ROW
};

}  // namespace

const ErrorRow *errorRow(int sqlcode) {
  for (const ErrorRow &r : kRows)
    if (r.sqlcode == sqlcode) return &r;
  return nullptr;
}

const ErrorRow *errorRows(size_t *count) {
  *count = sizeof kRows / sizeof kRows[0];
  return kRows;
}

QError engineError(int sqlcode, std::vector<std::string> tokens) {
  const ErrorRow *r = errorRow(sqlcode);
  return QError{sqlcode, r ? r->sqlstate : "58004", std::move(tokens)};
}

void raise(int sqlcode, std::vector<std::string> tokens) { throw engineError(sqlcode, std::move(tokens)); }

void raiseWithState(int sqlcode, const char *sqlstate, std::vector<std::string> tokens) {
  throw QError{sqlcode, sqlstate, std::move(tokens)};
}

std::string cutUtf8(std::string_view s, size_t maxBytes) {
  if (s.size() <= maxBytes) return std::string(s);
  size_t k = maxBytes;
  while (k > 0 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
  return std::string(s.substr(0, k));
}

void clearSqlca(sqlca *ca) {
  std::memset(ca, 0, sizeof *ca);
  std::memcpy(ca->sqlcaid, "SQLCA   ", 8);
  ca->sqlcabc = static_cast<sqlint32>(sizeof *ca);
  std::memcpy(ca->sqlerrp, "SQLQRN01", 8);
  std::memset(ca->sqlwarn, ' ', sizeof ca->sqlwarn);
  std::memcpy(ca->sqlstate, "00000", 5);
}

namespace {

// The failure the thread last wrote into an area, and what the area then held.
thread_local QError tLastFailure;
thread_local sqlca tLastArea;
thread_local bool tHasLast = false;

std::vector<std::string_view> areaTokens(const sqlca &ca) {
  std::vector<std::string_view> tokens;
  int used = ca.sqlerrml < 0 ? 0 : ca.sqlerrml > SQL_MAX_ERRMC ? SQL_MAX_ERRMC : ca.sqlerrml;
  std::string_view all(ca.sqlerrmc, static_cast<size_t>(used));
  if (all.empty()) return tokens;
  for (size_t start = 0;;) {
    size_t sep = all.find(SQL_TOKEN_SEP, start);
    tokens.push_back(all.substr(start, sep == std::string_view::npos ? std::string_view::npos : sep - start));
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  return tokens;
}

}  // namespace

std::string failureText(int sqlcode, std::string_view sqlstate, const std::vector<std::string_view> &tokens) {
  char id[16];
  int code = sqlcode < 0 ? -sqlcode : sqlcode;
  std::snprintf(id, sizeof id, "SQL%04d%c", code % 100000, sqlcode < 0 ? 'N' : 'W');
  std::string text = id;
  text += ' ';
  const ErrorRow *row = errorRow(sqlcode);
  if (row != nullptr && row->text[0] != 0) {
    for (const char *p = row->text; *p; ++p) {
      if (p[0] == '&' && p[1] >= '1' && p[1] <= '9') {
        size_t i = static_cast<size_t>(p[1] - '1');
        if (i < tokens.size()) text.append(tokens[i]);
        ++p;
      } else {
        text.push_back(*p);
      }
    }
  } else {
    text += "SQLCODE " + std::to_string(sqlcode) + " was returned.";
    for (size_t i = 0; i < tokens.size(); ++i) {
      text += i == 0 ? "  Tokens: \"" : "\", \"";
      text.append(tokens[i]);
      if (i + 1 == tokens.size()) text += "\".";
    }
  }
  text += "  SQLSTATE=";
  text.append(sqlstate.substr(0, 5));
  return text;
}

std::string wholeFailureText(const sqlca &ca) {
  if (tHasLast && ca.sqlcode == tLastArea.sqlcode && std::memcmp(ca.sqlstate, tLastArea.sqlstate, 5) == 0 &&
      ca.sqlerrml == tLastArea.sqlerrml &&
      std::memcmp(ca.sqlerrmc, tLastArea.sqlerrmc, static_cast<size_t>(std::max<short>(0, std::min<short>(ca.sqlerrml, SQL_MAX_ERRMC)))) == 0) {
    std::vector<std::string_view> whole(tLastFailure.tokens.begin(), tLastFailure.tokens.end());
    return failureText(ca.sqlcode, std::string_view(ca.sqlstate, 5), whole);
  }
  return failureText(ca.sqlcode, std::string_view(ca.sqlstate, 5), areaTokens(ca));
}

void setSqlca(sqlca *ca, const QError &e) {
  sqlint32 rows = ca->sqlerrd[2];
  clearSqlca(ca);
  ca->sqlerrd[2] = e.sqlcode < 0 ? 0 : rows;
  ca->sqlcode = e.sqlcode;
  char state[6] = "     ";
  std::memcpy(state, e.sqlstate.data(), e.sqlstate.size() < 5 ? e.sqlstate.size() : 5);
  std::memcpy(ca->sqlstate, state, 5);
  if (e.sqlcode != 0) std::memcpy(ca->sqlerrp, "SQLQRN  ", 8);
  // Tokens that do not fit the area together are cut, longest first, so every token shows; a
  // cut takes whole UTF-8 characters, never leaving part of one.
  std::vector<std::string> tokens = e.tokens;
  size_t total = tokens.empty() ? 0 : tokens.size() - 1;
  for (const std::string &t : tokens) total += t.size();
  while (total > SQL_MAX_ERRMC) {
    size_t longest = 0;
    for (size_t i = 1; i < tokens.size(); ++i)
      if (tokens[i].size() > tokens[longest].size()) longest = i;
    std::string &t = tokens[longest];
    if (t.empty()) break;
    size_t before = t.size();
    t = cutUtf8(t, before - 1);
    total -= before - t.size();
  }
  std::string joined;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i) joined.push_back(SQL_TOKEN_SEP);
    joined += tokens[i];
  }
  if (joined.size() > SQL_MAX_ERRMC) joined = cutUtf8(joined, SQL_MAX_ERRMC);
  std::memcpy(ca->sqlerrmc, joined.data(), joined.size());
  ca->sqlerrml = static_cast<short>(joined.size());
  if (e.sqlcode > 0) ca->sqlwarn[0] = 'W';
  if (e.sqlcode != 0) {
    tLastFailure = e;
    tLastArea = *ca;
    tHasLast = true;
  }
}

std::string encodeError(const QError &e) {
  std::string s = "QERR:" + std::to_string(e.sqlcode) + ":" + e.sqlstate + ":";
  for (size_t i = 0; i < e.tokens.size(); ++i) {
    if (i) s.push_back('\x1F');
    s += e.tokens[i];
  }
  return s;
}

bool decodeError(const std::string &message, QError *out) {
  size_t at = message.find("QERR:");
  if (at == std::string::npos) return false;
  const char *p = message.c_str() + at + 5;
  char *end = nullptr;
  long code = std::strtol(p, &end, 10);
  if (end == p || *end != ':') return false;
  p = end + 1;
  const char *colon = std::strchr(p, ':');
  if (colon == nullptr || colon - p != 5) return false;
  out->sqlcode = static_cast<int>(code);
  out->sqlstate.assign(p, 5);
  out->tokens.clear();
  std::string rest(colon + 1);
  size_t start = 0;
  if (rest.empty()) return true;
  for (;;) {
    size_t sep = rest.find('\x1F', start);
    out->tokens.push_back(rest.substr(start, sep == std::string::npos ? sep : sep - start));
    if (sep == std::string::npos) break;
    start = sep + 1;
  }
  return true;
}

// ======================================================================= SQLite failures

void raiseSqlite(sqlite3 *db, int rc) {
  std::string msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) raise(kSqlDeadlock, {"68"});
  QError e;
  if (decodeError(msg, &e)) throw e;
  raise(kSqlSystem, {msg});
}

QError sqliteFailure(sqlite3 *db, int rc, const std::string &msg) {
  QError e;
  int primary = rc & 0xFF;
  if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED) return engineError(kSqlDeadlock, {"68"});
  if (decodeError(msg, &e)) return e;
  auto after = [&](const char *prefix) -> std::string {
    size_t at = msg.find(prefix);
    return at == std::string::npos ? std::string() : msg.substr(at + std::strlen(prefix));
  };
  // SQLite's parser takes a bounded nesting of subqueries, and its code generator bounded
  // expression depths, compounds, result columns and terms: past them the statement is too
  // complex (they were -901 naming SQLite's limit).
  if (msg == "parser stack overflow" || msg.rfind("Expression tree is too large", 0) == 0 ||
      msg.rfind("too many terms in ", 0) == 0 || msg.rfind("too many columns in result set", 0) == 0 ||
      msg.rfind("too many FROM clause terms", 0) == 0 || msg.rfind("too many arguments on function", 0) == 0)
    return engineError(kSqlTooComplex);
  if (msg.rfind("NOT NULL constraint failed: ", 0) == 0) {
    std::string col = after("NOT NULL constraint failed: ");
    size_t dot = col.rfind('.');
    return engineError(kSqlNotNull, {dot == std::string::npos ? col : col.substr(dot + 1)});
  }
  if (msg.rfind("UNIQUE constraint failed: ", 0) == 0) {
    // "UNIQUE constraint failed: S.T.A, S.T.B" names the table and the columns, not the index,
    // and names may hold dots and commas: the index is the unique one whose table and columns
    // SQLite would name so.  A key's index "S.T::KEY:C" is named by its constraint C, another
    // index by its own name.
    std::string list = after("UNIQUE constraint failed: ");
    std::string key = "1", table;
    try {
      Stmt ix(db, "SELECT name, tbl_name, 'main' FROM sqlite_schema WHERE type = 'index' AND sql LIKE 'CREATE UNIQUE%' "
                  "UNION ALL SELECT name, tbl_name, 'temp' FROM sqlite_temp_schema WHERE type = 'index' AND "
                  "sql LIKE 'CREATE UNIQUE%'");
      while (table.empty() && ix.step()) {
        const std::string name = ix.text(0), tbl = ix.text(1);
        Stmt cols(db, "SELECT name FROM pragma_index_info(?1, ?2) ORDER BY seqno");
        cols.bind(1, name).bind(2, ix.text(2));
        std::string named;
        while (cols.step()) named += (named.empty() ? "" : ", ") + tbl + "." + cols.text(0);
        if (named != list) continue;
        table = tbl;
        const size_t part = name.find("::KEY:");
        key = part == std::string::npos ? name : name.substr(part + 6);
      }
    } catch (const QError &) {
    }
    if (table.empty()) {
      size_t dot = list.rfind('.', list.find(", "));
      table = dot == std::string::npos ? list : list.substr(0, dot);
    }
    return engineError(kSqlDuplicateKey, {key, table});
  }
  if (msg.rfind("no such column: ", 0) == 0) return engineError(kSqlColumnInvalid, {after("no such column: ")});
  if (msg.rfind("ambiguous column name: ", 0) == 0) {
    // SQLite names a column of * by its database too ("main.X.K").
    std::string c = after("ambiguous column name: ");
    for (const char *db : {"main.", "temp."})
      if (c.rfind(db, 0) == 0 && std::count(c.begin(), c.end(), '.') == 2) c = c.substr(std::strlen(db));
    return engineError(kSqlNotUnique, {c});
  }
  if (msg.rfind("no such table: ", 0) == 0) {
    std::string t = after("no such table: ");
    if (t.rfind("main.", 0) == 0) t = t.substr(5);
    return engineError(kSqlUndefinedName, {t});
  }
  if (msg.find("aggregate") != std::string::npos) return engineError(kSqlAggregate, {});
  if (msg.rfind("wrong number of arguments to function ", 0) == 0 || msg.rfind("no such function: ", 0) == 0) {
    std::string f = msg.substr(msg.find_last_of(' ') + 1);
    return engineError(kSqlNoFunction, {upperAscii(f.substr(0, f.find('('))), "FUNCTION"});
  }
  if (msg.find("sub-select returns") != std::string::npos) return engineError(kSqlSubqueryColumns, {});
  if (msg.find("do not have the same number of result columns") != std::string::npos)
    return engineError(kSqlColumnCountMismatch, {});
  if (msg.find("values were supplied") != std::string::npos || msg.find("values for") != std::string::npos)
    return engineError(kSqlValueCount, {});
  if (msg.find("because it is a view") != std::string::npos) return engineError(kSqlNotUpdatable, {});
  if (msg.find("ORDER BY term out of range") != std::string::npos) return engineError(kSqlOrderByColumn, {});
  if (msg.find("datatype mismatch") != std::string::npos) return engineError(kSqlIncompatible, {});
  if (msg == "integer overflow") return engineError(kSqlArithmeticOverflow, {});  // SUM() past 64 bits
  if (primary == SQLITE_FULL) return engineError(kSqlDiskFull, {});
  return engineError(kSqlSystem, {msg});
}

}  // namespace quarn
