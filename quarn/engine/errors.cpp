/*
 * errors.cpp - filling a communication area from an engine failure, and the text form that
 * carries a failure through SQLite (check constraint names, RAISE texts, function errors).
 */
#include "errors.h"

#include <cstdlib>
#include <cstring>

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

void setSqlca(sqlca *ca, const QError &e) {
  sqlint32 rows = ca->sqlerrd[2];
  clearSqlca(ca);
  ca->sqlerrd[2] = e.sqlcode < 0 ? 0 : rows;
  ca->sqlcode = e.sqlcode;
  char state[6] = "     ";
  std::memcpy(state, e.sqlstate.data(), e.sqlstate.size() < 5 ? e.sqlstate.size() : 5);
  std::memcpy(ca->sqlstate, state, 5);
  if (e.sqlcode != 0) std::memcpy(ca->sqlerrp, "SQLQRN  ", 8);
  // Tokens that do not fit the area together are cut, longest first, so every token shows.
  std::vector<std::string> tokens = e.tokens;
  size_t total = tokens.empty() ? 0 : tokens.size() - 1;
  for (const std::string &t : tokens) total += t.size();
  while (total > SQL_MAX_ERRMC) {
    size_t longest = 0;
    for (size_t i = 1; i < tokens.size(); ++i)
      if (tokens[i].size() > tokens[longest].size()) longest = i;
    if (tokens[longest].empty()) break;
    tokens[longest].pop_back();
    --total;
  }
  std::string joined;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (i) joined.push_back(SQL_TOKEN_SEP);
    joined += tokens[i];
  }
  if (joined.size() > SQL_MAX_ERRMC) joined.resize(SQL_MAX_ERRMC);
  std::memcpy(ca->sqlerrmc, joined.data(), joined.size());
  ca->sqlerrml = static_cast<short>(joined.size());
  if (e.sqlcode > 0) ca->sqlwarn[0] = 'W';
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

}  // namespace quarn
