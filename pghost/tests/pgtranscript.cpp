/*
 * pgtranscript.cpp - SQL scripts run through libpq into transcripts (see pgtranscript.h).
 */
#include "pgtranscript.h"

#include <libpq-fe.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace qspg {

namespace {

// Types whose values are right-aligned: int2, int4, int8, float4, float8, numeric, oid.
bool isNumber(Oid type) {
  switch (type) {
    case 20: case 21: case 23: case 26: case 700: case 701: case 1700: return true;
    default: return false;
  }
}

// Characters (not bytes) of UTF-8 text, for alignment.
size_t width(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string pad(const std::string &s, size_t w, bool right) {
  std::string fill(w > width(s) ? w - width(s) : 0, ' ');
  return right ? fill + s : s + fill;
}

void appendField(std::string *out, const PGresult *r, int field, const char *label) {
  const char *v = PQresultErrorField(r, field);
  if (v != nullptr && *v) *out += std::string(label) + ": " + v + "\n";
}

void noticeReceiver(void *arg, const PGresult *r) {
  auto *out = static_cast<std::string *>(arg);
  const char *severity = PQresultErrorField(r, PG_DIAG_SEVERITY_NONLOCALIZED);
  const char *state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
  const char *message = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
  *out += std::string(severity ? severity : "NOTICE") + " " + (state ? state : "") + ": " + (message ? message : "") + "\n";
  appendField(out, r, PG_DIAG_MESSAGE_DETAIL, "DETAIL");
}

std::string table(const PGresult *r) {
  const int rows = PQntuples(r), cols = PQnfields(r);
  std::vector<size_t> widths(static_cast<size_t>(cols));
  for (int c = 0; c < cols; ++c) {
    widths[c] = width(PQfname(r, c));
    for (int i = 0; i < rows; ++i)
      widths[c] = std::max(widths[c], PQgetisnull(r, i, c) ? size_t{1} : width(PQgetvalue(r, i, c)));
  }
  std::string out;
  auto line = [&](auto cell) {
    std::string l;
    for (int c = 0; c < cols; ++c) l += (c ? " " : "") + cell(c);
    while (!l.empty() && l.back() == ' ') l.pop_back();
    out += l + "\n";
  };
  line([&](int c) { return pad(PQfname(r, c), widths[c], isNumber(PQftype(r, c))); });
  line([&](int c) { return std::string(widths[c], '-'); });
  for (int i = 0; i < rows; ++i)
    line([&](int c) {
      return pad(PQgetisnull(r, i, c) ? "-" : PQgetvalue(r, i, c), widths[c], isNumber(PQftype(r, c)));
    });
  out += "\n  " + std::to_string(rows) + " record(s) selected.\n";
  return out;
}

// Tracks quotes over a statement's text: false while inside '...', "...", or $tag$...$tag$.
struct QuoteState {
  char quote = 0;
  std::string dollarTag;

  void feed(const std::string &line) {
    for (size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (!dollarTag.empty()) {
        if (line.compare(i, dollarTag.size(), dollarTag) == 0) {
          i += dollarTag.size() - 1;
          dollarTag.clear();
        }
      } else if (quote != 0) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '-' && i + 1 < line.size() && line[i + 1] == '-') {
        return;  // a comment to the end of the line
      } else if (c == '$') {
        size_t end = line.find('$', i + 1);
        if (end != std::string::npos && line.find_first_not_of("abcdefghijklmnopqrstuvwxyz_", i + 1) == end) {
          dollarTag = line.substr(i, end - i + 1);
          i = end;
        }
      }
    }
  }
  bool outside() const { return quote == 0 && dollarTag.empty(); }
};

std::string rtrim(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
  return s;
}

// Calls f(kind, text) for each comment line ('c') and statement ('s') of a script.
template <typename F>
void walk(const std::string &script, F f) {
  std::istringstream in(script);
  std::string line, statement;
  QuoteState q;
  while (std::getline(in, line)) {
    line = rtrim(line);
    if (statement.empty() && (line.empty() || line.rfind("--", 0) == 0)) {
      if (!line.empty()) f('c', line);
      continue;
    }
    statement += (statement.empty() ? "" : "\n") + line;
    q.feed(line);
    if (q.outside() && !line.empty() && line.back() == ';') {
      statement.pop_back();
      f('s', statement);
      statement.clear();
      q = QuoteState();
    }
  }
  if (!rtrim(statement).empty()) f('s', statement);
}

}  // namespace

std::vector<std::string> splitStatements(const std::string &script) {
  std::vector<std::string> out;
  walk(script, [&](char kind, const std::string &text) {
    if (kind == 's') out.push_back(text);
  });
  return out;
}

std::string runScript(PGconn *conn, const std::string &script) {
  std::string out;
  PQnoticeReceiver previous = PQsetNoticeReceiver(conn, noticeReceiver, &out);
  walk(script, [&](char kind, const std::string &text) {
    out += text + "\n";
    if (kind == 'c') return;
    PGresult *r = PQexec(conn, text.c_str());
    switch (PQresultStatus(r)) {
      case PGRES_TUPLES_OK: out += table(r); break;
      case PGRES_COMMAND_OK: out += std::string(PQcmdStatus(r)) + "\n"; break;
      default: {
        const char *state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
        const char *message = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
        out += std::string("ERROR ") + (state ? state : "") + ": " + (message ? message : PQerrorMessage(conn)) + "\n";
        appendField(&out, r, PG_DIAG_MESSAGE_DETAIL, "DETAIL");
        appendField(&out, r, PG_DIAG_MESSAGE_HINT, "HINT");
        break;
      }
    }
    PQclear(r);
    out += "\n";
  });
  PQsetNoticeReceiver(conn, previous, nullptr);
  return out;
}

Connection::Connection(const std::string &conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
  if (PQstatus(conn_) != CONNECTION_OK) {
    std::string why = PQerrorMessage(conn_);
    PQfinish(conn_);
    throw std::runtime_error("cannot connect (" + conninfo + "): " + why);
  }
}

Connection::~Connection() { PQfinish(conn_); }

void Connection::exec(const std::string &sql) const {
  PGresult *r = PQexec(conn_, sql.c_str());
  ExecStatusType st = PQresultStatus(r);
  std::string why = PQresultErrorMessage(r);
  PQclear(r);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) throw std::runtime_error(sql.substr(0, 200) + ": " + why);
}

std::vector<std::vector<std::string>> Connection::rows(const std::string &sql) const {
  PGresult *r = PQexec(conn_, sql.c_str());
  if (PQresultStatus(r) != PGRES_TUPLES_OK) {
    std::string why = PQresultErrorMessage(r);
    PQclear(r);
    throw std::runtime_error(sql.substr(0, 200) + ": " + why);
  }
  std::vector<std::vector<std::string>> out(static_cast<size_t>(PQntuples(r)));
  for (int i = 0; i < PQntuples(r); ++i)
    for (int c = 0; c < PQnfields(r); ++c) out[i].push_back(PQgetisnull(r, i, c) ? "-" : PQgetvalue(r, i, c));
  PQclear(r);
  return out;
}

void Connection::copyIn(const std::string &copyStatement, const std::vector<std::vector<std::string>> &rows) const {
  PGresult *r = PQexec(conn_, copyStatement.c_str());
  bool ok = PQresultStatus(r) == PGRES_COPY_IN;
  std::string why = PQresultErrorMessage(r);
  PQclear(r);
  if (!ok) throw std::runtime_error(copyStatement + ": " + why);
  std::string line;
  for (const std::vector<std::string> &row : rows) {
    line.clear();
    for (size_t c = 0; c < row.size(); ++c) {
      if (c) line += '\t';
      for (char ch : row[c]) {
        switch (ch) {
          case '\\': line += "\\\\"; break;
          case '\t': line += "\\t"; break;
          case '\n': line += "\\n"; break;
          case '\r': line += "\\r"; break;
          default: line += ch;
        }
      }
    }
    line += '\n';
    if (PQputCopyData(conn_, line.data(), static_cast<int>(line.size())) != 1)
      throw std::runtime_error("COPY: " + std::string(PQerrorMessage(conn_)));
  }
  if (PQputCopyEnd(conn_, nullptr) != 1) throw std::runtime_error("COPY: " + std::string(PQerrorMessage(conn_)));
  while ((r = PQgetResult(conn_)) != nullptr) {
    ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    why = PQresultErrorMessage(r);
    PQclear(r);
    if (!ok) throw std::runtime_error(copyStatement + ": " + why);
  }
}

std::string Connection::value(const std::string &sql) const {
  std::vector<std::vector<std::string>> r = rows(sql);
  if (r.empty() || r[0].empty() || r[0][0] == "-") return "";
  return r[0][0];
}

}  // namespace qspg
