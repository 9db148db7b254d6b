/*
 * console.cpp - the console's commands (CONNECT, CREATE/DROP DATABASE, LIST TABLES, DESCRIBE
 * TABLE, QUIT), statement reading with the ";" terminator, autocommit, and the printing of
 * result tables and messages.
 */
#include "console.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine.h"
#include "lexer.h"
#include "quarnapp.h"

#ifdef QUARN_HAVE_READLINE
#include <readline/history.h>
#include <readline/readline.h>
#endif

namespace quarn {
namespace {

// A value as the console shows it under its column type: the value's text (DECIMAL with its
// scale, CHAR padded to its length), bit data and BLOB as x'..', NULL as "-".
std::string displayValue(const Value &v, const QType &t) {
  static const char *const kHex = "0123456789ABCDEF";
  if (v.kind == Value::Null) return "-";
  if (v.kind != Value::Blob) return valueText(v, t);
  std::string out = "x'";
  for (unsigned char c : v.s) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  return out + "'";
}

const char *const kUsage =
    "Usage: quarn [-d database] [+c] [-v] [-f file | statement]\n"
    "Runs SQL statements against a database of the instance in QUARNPATH.\n"
    "  -d database  connect to the database first\n"
    "  -f file      run the statements of file, each ended by ';'\n"
    "  +c           do not commit after each statement (COMMIT and ROLLBACK end units of work)\n"
    "  -v           echo each statement before its result\n"
    "  --help       show this text\n"
    "Without a statement or a file, statements are read from standard input.\n"
    "Console commands besides SQL: CONNECT TO db [USER u USING p], CONNECT RESET, CONNECT,\n"
    "CREATE DATABASE db [WITHOUT GRAPHIC], DROP DATABASE db, LIST TABLES [FOR SCHEMA s | FOR ALL],\n"
    "DESCRIBE TABLE name, DESCRIBE query, QUIT.\n";

bool isRightAligned(const QType &t) { return t.isNumeric(); }

class Console {
 public:
  Console(std::ostream &out, bool autocommit, bool echo) : out_(out), autocommit_(autocommit), echo_(echo) {}
  ~Console() {
    if (session_) {
      sqlca ca;
      session_->commit(&ca);
    }
  }

  // Runs one statement or command; returns 0, 2 (warning) or 4 (error); sets quit_.
  int run(const std::string &text);
  bool quit() const { return quit_; }
  int connect(const std::string &db, const std::string &user, const std::string &password, bool banner = true);

 private:
  int report(const sqlca &ca);
  int query(const std::string &sql, const std::vector<std::string> &headers);
  void printCallOutputs(const Statement &st);
  void printTable(const std::vector<std::string> &names, const std::vector<QType> &types,
                  const std::vector<std::vector<std::string>> &rows);
  int needSession();

  std::ostream &out_;
  bool autocommit_, echo_;
  bool quit_ = false;
  std::unique_ptr<Session> session_;
};

int Console::report(const sqlca &caIn) {
  sqlca ca = caIn;
  if (ca.sqlcode == 0) {
    out_ << "The SQL command completed successfully.\n\n";
    return 0;
  }
  // The whole text: a routine's diagnostic is not cut to the area's 70 bytes here.
  out_ << wholeFailureText(ca) << "\n\n";
  return ca.sqlcode < 0 ? 4 : (ca.sqlcode == SQL_RC_W100 ? 0 : 2);
}

int Console::needSession() {
  if (session_) return 0;
  sqlca ca;
  clearSqlca(&ca);
  setSqlca(&ca, engineError(kSqlNoConnection, {}));
  return report(ca);
}

int Console::connect(const std::string &db, const std::string &user, const std::string &password, bool banner) {
  sqlca ca;
  if (session_) {
    session_->commit(&ca);
    session_.reset();
  }
  std::unique_ptr<Session> s;
  int rc = Session::open(db, user, password, &s, &ca);
  if (rc < 0) return report(ca);
  session_ = std::move(s);
  if (!banner) return 0;
  out_ << "   Database Connection Information\n\n"
       << " Database server        = QUARN SQL01000\n"
       << " SQL authorization ID   = " << session_->user() << "\n"
       << " Local database alias   = " << session_->dbName() << "\n\n";
  return 0;
}

namespace {

// Columns a UTF-8 text takes on a terminal: one per character (continuation bytes do not count).
size_t displayWidth(const std::string &text) {
  size_t n = 0;
  for (unsigned char ch : text)
    if ((ch & 0xC0) != 0x80) ++n;
  return n;
}

}  // namespace

void Console::printTable(const std::vector<std::string> &names, const std::vector<QType> &types,
                         const std::vector<std::vector<std::string>> &rows) {
  std::vector<size_t> width(names.size());
  for (size_t c = 0; c < names.size(); ++c) {
    width[c] = std::max<size_t>(displayWidth(names[c]), 1);
    for (const auto &r : rows) width[c] = std::max(width[c], displayWidth(r[c]));
  }
  auto cell = [&](const std::string &v, size_t c, bool right) {
    size_t w = displayWidth(v);
    std::string pad(width[c] - std::min(width[c], w), ' ');
    return right ? pad + v : v + pad;
  };
  std::string line;
  for (size_t c = 0; c < names.size(); ++c) line += (c ? " " : "") + cell(names[c], c, isRightAligned(types[c]));
  out_ << line.substr(0, line.find_last_not_of(' ') + 1) << "\n";
  line.clear();
  for (size_t c = 0; c < names.size(); ++c) line += (c ? " " : "") + std::string(width[c], '-');
  out_ << line << "\n";
  for (const auto &r : rows) {
    line.clear();
    for (size_t c = 0; c < names.size(); ++c) line += (c ? " " : "") + cell(r[c], c, isRightAligned(types[c]) && r[c] != "-");
    out_ << line.substr(0, line.find_last_not_of(' ') + 1) << "\n";
  }
  out_ << "\n  " << rows.size() << " record(s) selected.\n\n";
}

void Console::printCallOutputs(const Statement &st) {
  if (!st.callOutputs().empty()) {
    out_ << "\n  Value of output parameters\n  --------------------------\n";
    for (const Statement::CallOutput &o : st.callOutputs()) {
      std::string v = o.type.base == Base::None ? (o.value.isNull() ? "-" : o.value.str()) : displayValue(o.value, o.type);
      out_ << "  Parameter Name  : " << o.name << "\n  Parameter Value : " << v << "\n\n";
    }
  }
}

int Console::query(const std::string &sql, const std::vector<std::string> &headers) {
  sqlca ca;
  std::unique_ptr<Statement> st;
  int rc = session_->prepare(sql, &st, &ca);
  if (rc < 0) return report(ca);
  rc = st->execute({}, &ca);
  if (rc < 0) return report(ca);
  if (!st->isQuery()) {
    if (st->isCall()) printCallOutputs(*st);
    if (autocommit_) {
      sqlca cc;
      if (session_->commit(&cc) < 0) return report(cc);
    }
    if (rc == SQL_RC_W100 || rc == 0) {
      if (rc == SQL_RC_W100) return report(ca);
      return report(ca);
    }
    return report(ca);
  }
  std::vector<std::string> names;
  std::vector<QType> types;
  for (int c = 0; c < st->columnCount(); ++c) {
    names.push_back(c < static_cast<int>(headers.size()) ? headers[static_cast<size_t>(c)] : st->column(c).name);
    types.push_back(st->column(c).type);
  }
  std::vector<std::vector<std::string>> rows;
  std::vector<Value> row;
  std::vector<int> numeric(types.size(), 1);  // untyped columns holding only numbers align right
  // A warning of a row (a routine's +462) is shown after the rows; the rows go on.
  sqlca warning;
  bool warned = false;
  while ((rc = st->fetch(&row, &ca)) >= 0 && rc != kSqlNotFound) {
    if (rc > 0 && !warned) {
      warning = ca;
      warned = true;
    }
    std::vector<std::string> cells;
    for (size_t c = 0; c < row.size(); ++c) {
      if (types[c].base == Base::None && row[c].kind != Value::Int && row[c].kind != Value::Real && !row[c].isNull())
        numeric[c] = 0;
      std::string v = displayValue(row[c], types[c]);
      for (char &ch : v)
        if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
      cells.push_back(v);
    }
    rows.push_back(std::move(cells));
  }
  if (rc < 0) {
    // Rows read before the failure are shown, as a cursor would have delivered them.
    if (!rows.empty()) printTable(names, types, rows);
    int r = report(ca);
    if (autocommit_) {
      sqlca cc;
      session_->commit(&cc);
    }
    return r;
  }
  for (size_t c = 0; c < types.size(); ++c)
    if (types[c].base == Base::None && numeric[c] && !rows.empty()) types[c].base = Base::Double;
  printTable(names, types, rows);
  if (autocommit_) {
    sqlca cc;
    if (session_->commit(&cc) < 0) return report(cc);
  }
  if (warned) return report(warning);
  return 0;
}

int Console::run(const std::string &text) {
  if (echo_) out_ << text << "\n";
  std::vector<Token> t;
  try {
    t = tokenize(text);
  } catch (const QError &e) {
    sqlca ca;
    clearSqlca(&ca);
    setSqlca(&ca, e);
    return report(ca);
  }
  auto kw = [&](size_t k, const char *w) { return k < t.size() && t[k].kind == Tok::Ident && t[k].text == w; };
  auto nameAt = [&](size_t k) { return k < t.size() && (t[k].kind == Tok::Ident || t[k].kind == Tok::DelimIdent) ? t[k].text : std::string(); };
  size_t n = t.size() - 1;  // without the end token
  if (n > 0 && t[n - 1].kind == Tok::Op && t[n - 1].text == ";") --n;
  sqlca ca;
  clearSqlca(&ca);
  if ((kw(0, "QUIT") || kw(0, "TERMINATE") || kw(0, "EXIT")) && n == 1) {
    quit_ = true;
    return 0;
  }
  if (kw(0, "CONNECT")) {
    if (n == 1) {
      if (needSession()) return 4;
      session_->connectionInfo(&ca);
      out_ << "   Database Connection Information\n\n"
           << " Database server        = QUARN SQL01000\n"
           << " SQL authorization ID   = " << session_->user() << "\n"
           << " Local database alias   = " << session_->dbName() << "\n\n";
      return 0;
    }
    if (kw(1, "RESET") && n == 2) {
      if (session_) {
        if (session_->commit(&ca) < 0) return report(ca);
        session_.reset();
      }
      return report(ca);
    }
    if (kw(1, "TO") && n >= 3) {
      std::string db = nameAt(2), user, pw;
      if (n == 7 && kw(3, "USER") && kw(5, "USING")) {
        user = nameAt(4);
        pw = t[6].text;
      } else if (n != 3) {
        setSqlca(&ca, engineError(kSqlSyntax, {t[3].text, t[2].text, "USER"}));
        return report(ca);
      }
      return connect(db, user, pw);
    }
  }
  if ((kw(0, "CREATE") || kw(0, "DROP")) && (kw(1, "DATABASE") || kw(1, "DB")) && n >= 3) {
    std::string db = nameAt(2);
    if (kw(0, "CREATE")) {
      bool graphic = true;
      if (n == 5 && kw(3, "WITHOUT") && kw(4, "GRAPHIC")) graphic = false;
      else if (n != 3) {
        setSqlca(&ca, engineError(kSqlSyntax, {t[3].text, t[2].text, "WITHOUT GRAPHIC"}));
        return report(ca);
      }
      createDatabase(db, graphic, &ca);
    } else {
      if (session_ && session_->dbName() == db) {
        session_->commit(&ca);
        session_.reset();
      }
      dropDatabase(db, &ca);
    }
    if (ca.sqlcode < 0) return report(ca);
    out_ << (kw(0, "CREATE") ? "The CREATE DATABASE command completed successfully.\n\n"
                             : "The DROP DATABASE command completed successfully.\n\n");
    return 0;
  }
  if (kw(0, "LIST") && kw(1, "TABLES")) {
    if (needSession()) return 4;
    std::string where = "WHERE TABSCHEMA = CURRENT SCHEMA";
    if (kw(2, "FOR") && kw(3, "ALL") && n == 4) where = "WHERE TABSCHEMA <> 'SYSCAT'";
    else if (kw(2, "FOR") && kw(3, "SCHEMA") && n == 5) where = "WHERE TABSCHEMA = " + quoteString(nameAt(4));
    else if (n != 2) {
      setSqlca(&ca, engineError(kSqlSyntax, {t[2].text, "TABLES", "FOR"}));
      return report(ca);
    }
    return query("SELECT TABNAME, TABSCHEMA, TYPE FROM SYSCAT.TABLES " + where + " ORDER BY TABSCHEMA, TABNAME",
                 {"Table/View", "Schema", "Type"});
  }
  if (kw(0, "DESCRIBE") && kw(1, "TABLE") && n >= 3) {
    if (needSession()) return 4;
    std::string schema = session_->currentSchema(), table = nameAt(2);
    if (n == 5 && t[3].text == ".") {
      schema = nameAt(2);
      table = nameAt(4);
    } else if (n != 3) {
      setSqlca(&ca, engineError(kSqlSyntax, {t[3].text, t[2].text, "END OF STATEMENT"}));
      return report(ca);
    }
    std::unique_ptr<Statement> probe;
    std::string exists = "SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA = " + quoteString(schema) +
                         " AND TABNAME = " + quoteString(table);
    if (session_->prepare(exists, &probe, &ca) < 0) return report(ca);
    std::vector<Value> row;
    probe->execute({}, &ca);
    if (probe->fetch(&row, &ca) != 0) {
      probe.reset();
      clearSqlca(&ca);
      setSqlca(&ca, engineError(kSqlUndefinedName, {schema + "." + table}));
      return report(ca);
    }
    probe.reset();
    return query("SELECT COLNAME, TYPESCHEMA, TYPENAME, LENGTH, SCALE, NULLS FROM SYSCAT.COLUMNS WHERE TABSCHEMA = " +
                     quoteString(schema) + " AND TABNAME = " + quoteString(table) + " ORDER BY COLNO",
                 {"Column name", "Data type schema", "Data type name", "Column length", "Scale", "Nulls"});
  }
  if (kw(0, "DESCRIBE") && (kw(1, "SELECT") || kw(1, "VALUES") || kw(1, "WITH") || (kw(1, "OUTPUT") && n > 2))) {
    // DESCRIBE [OUTPUT] query: the result columns as the statement describes them.
    if (needSession()) return 4;
    std::string sql = text.substr(t[kw(1, "OUTPUT") ? 2 : 1].pos);
    std::unique_ptr<Statement> st;
    if (session_->prepare(sql, &st, &ca) < 0) return report(ca);
    std::vector<std::vector<std::string>> rows;
    for (int c = 0; c < st->columnCount(); ++c) {
      const QType &ty = st->column(c).type;
      bool known = ty.base != Base::None;
      rows.push_back({st->column(c).name, known ? ty.catalogSchema() : "-", known ? ty.catalogName() : "-",
                      known ? std::to_string(ty.catalogLength()) : "-", known ? std::to_string(ty.scale) : "-"});
    }
    QType text;
    text.base = Base::Varchar;
    QType number;
    number.base = Base::Integer;
    printTable({"Column name", "Data type schema", "Data type name", "Column length", "Scale"},
               {text, text, text, number, number}, rows);
    return 0;
  }
  if (needSession()) return 4;
  return query(text, {});
}

// Reads statements ended by ';' from in and runs them; returns the worst status.
int runStream(Console &c, std::istream &in, bool interactive) {
  std::string pending;
  int worst = 0;
  auto flushStatements = [&](bool final) {
    // Run every complete statement in pending.
    for (;;) {
      std::vector<std::string> parts = splitStatements(pending + (final ? ";" : ""));
      // Find whether pending holds a terminator outside literals: splitStatements drops it, so
      // compare by re-splitting on a sentinel.
      if (parts.empty()) {
        if (final) pending.clear();
        return;
      }
      std::string probe = pending;
      std::vector<std::string> withSentinel = splitStatements(probe + "\n;\x01");
      bool complete = withSentinel.size() > parts.size() || final;
      if (!complete && parts.size() <= 1) return;
      size_t runCount = final ? parts.size() : parts.size() - (withSentinel.back() == "\x01" ? 0 : 1);
      if (!final) {
        // The last part is complete only when the text ends with a terminator.
        std::string trimmed = pending.substr(0, pending.find_last_not_of(" \t\r\n") + 1);
        runCount = (!trimmed.empty() && trimmed.back() == ';') ? parts.size() : parts.size() - 1;
      }
      for (size_t k = 0; k < runCount; ++k) {
        worst = std::max(worst, c.run(parts[k]));
        if (c.quit()) {
          pending.clear();
          return;
        }
      }
      pending = runCount < parts.size() ? parts.back() + "\n" : "";
      return;
    }
  };
  std::string line;
  for (;;) {
#ifdef QUARN_HAVE_READLINE
    if (interactive) {
      char *l = readline(pending.empty() ? "quarn => " : "quarn (cont.) => ");
      if (!l) break;
      line = l;
      if (*l) add_history(l);
      free(l);
    } else
#endif
    {
      if (interactive) std::cout << (pending.empty() ? "quarn => " : "quarn (cont.) => ") << std::flush;
      if (!std::getline(in, line)) break;
    }
    pending += line + "\n";
    flushStatements(false);
    if (c.quit()) break;
  }
  if (!c.quit()) flushStatements(true);
  return worst;
}

}  // namespace

int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, bool interactive) {
  std::string db, file, statement;
  bool autocommit = true, echo = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const std::string &a = args[k];
    if (a == "--help" || a == "-h") {
      out << kUsage;
      return 0;
    } else if (a == "-d" && k + 1 < args.size()) {
      db = args[++k];
    } else if (a == "-f" && k + 1 < args.size()) {
      file = args[++k];
    } else if (a == "+c") {
      autocommit = false;
    } else if (a == "-c") {
      autocommit = true;
    } else if (a == "-v") {
      echo = true;
    } else if (!a.empty() && a[0] == '-') {
      out << "quarn: unknown option " << a << "\n" << kUsage;
      return 8;
    } else {
      statement += (statement.empty() ? "" : " ") + a;
    }
  }
  if (!file.empty() && !statement.empty()) {
    out << "quarn: give either a statement or -f file\n" << kUsage;
    return 8;
  }
  initInstance();
  Console c(out, autocommit, echo);
  int worst = 0;
  if (!db.empty()) {
    worst = c.connect(db, "", "", false);
    if (worst) return worst;
  }
  if (!statement.empty()) return std::max(worst, c.run(statement));
  if (!file.empty()) {
    std::ifstream f(file);
    if (!f) {
      out << "quarn: cannot read " << file << "\n";
      return 8;
    }
    return std::max(worst, runStream(c, f, false));
  }
  return std::max(worst, runStream(c, in, interactive));
}

}  // namespace quarn
