/*
 * console.cpp - the console's commands (CONNECT, CREATE/DROP DATABASE, LIST TABLES, DESCRIBE
 * TABLE, QUIT), the running of statements from an argument, a file or standard input through
 * the one splitter, autocommit, timing, and the messages.  Results are written by output.cpp,
 * options parsed by options.cpp, lines read by lineinput.cpp.
 */
#include "console.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "engine.h"
#include "lexer.h"
#include "lineinput.h"
#include "options.h"
#include "output.h"
#include "quarnapp.h"
#include "statements.h"

namespace quarn {
namespace {

// The built-in type of base b (the types of the columns the console's own commands show).
QType builtinType(Base b) {
  QType t;
  t.base = b;
  return t;
}

class Console {
 public:
  // Messages go to out, results to writer (the same stream in the table mode).
  Console(std::ostream &out, ResultWriter &writer, bool autocommit, bool echo)
      : out_(out), writer_(writer), autocommit_(autocommit), echo_(echo) {}
  ~Console() {
    if (session_) {
      sqlca ca;
      session_->commit(&ca);
    }
  }

  // Runs one statement or command; returns 0, 2 (warning) or 4 (error); sets quit_.  In
  // autocommit mode the unit of work it opened ends with it, whether it failed or not.
  int run(const std::string &text);
  bool quit() const { return quit_; }
  int connect(const std::string &db, const std::string &user, const std::string &password, bool banner = true);

 private:
  int command(const std::string &text);
  int report(const sqlca &ca);
  int query(const std::string &sql, const std::vector<std::string> &headers);
  int needSession();
  int dropConnectedDatabase(const std::string &db);

  std::ostream &out_;
  ResultWriter &writer_;
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
  // The whole text: a routine's diagnostic is not cut to the area's 70 bytes here.  Its tokens
  // may be stored data (a value cut by a CAST): control characters are shown as in a table
  // cell, so none reaches the terminal raw, but the message keeps its own line breaks.
  out_ << shownText(wholeFailureText(ca), false) << "\n\n";
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
  // The new connection is made first: a CONNECT that fails leaves the current connection and
  // its open unit of work as they were.
  sqlca ca;
  std::unique_ptr<Session> s;
  int rc = Session::open(db, user, password, &s, &ca);
  if (rc < 0) return report(ca);
  if (session_) {
    session_->commit(&ca);
    session_.reset();
  }
  session_ = std::move(s);
  if (!banner) return 0;
  out_ << "   Database Connection Information\n\n"
       << " Database server        = QUARN SQL01000\n"
       << " SQL authorization ID   = " << session_->user() << "\n"
       << " Local database alias   = " << session_->dbName() << "\n\n";
  return 0;
}

int Console::query(const std::string &sql, const std::vector<std::string> &headers) {
  sqlca ca;
  std::unique_ptr<Statement> st;
  int rc = session_->prepare(sql, &st, &ca);
  if (rc < 0) return report(ca);
  rc = st->execute({}, &ca);
  if (rc < 0) return report(ca);
  if (!st->isQuery()) {
    if (st->isCall()) writer_.callOutputs(st->callOutputs());
    if (autocommit_) {
      sqlca cc;
      if (session_->commit(&cc) < 0) return report(cc);
    }
    return report(ca);
  }
  std::vector<std::string> names;
  std::vector<QType> types;
  for (int c = 0; c < st->columnCount(); ++c) {
    names.push_back(c < static_cast<int>(headers.size()) ? headers[static_cast<size_t>(c)] : st->column(c).name);
    types.push_back(st->column(c).type);
  }
  writer_.begin(std::move(names), std::move(types));
  std::vector<Value> row;
  // A warning of a row (a routine's +462) is shown after the rows; the rows go on.
  sqlca warning;
  bool warned = false;
  while ((rc = st->fetch(&row, &ca)) >= 0 && rc != kSqlNotFound) {
    if (rc > 0 && !warned) {
      warning = ca;
      warned = true;
    }
    writer_.row(row);
  }
  if (rc < 0) {
    writer_.end(false);
    return report(ca);  // run() ends the unit of work in autocommit mode
  }
  writer_.end(true);
  if (autocommit_) {
    sqlca cc;
    if (session_->commit(&cc) < 0) return report(cc);
  }
  if (warned) return report(warning);
  return 0;
}

// DROP DATABASE of the database this console is connected to.  The engine drops no database a
// session uses, so the connection ends first; a drop that fails leaves the connection and its
// unit of work as they were, as a failed CONNECT does.  Work of an open unit of work (+c)
// cannot outlive the connection and must not be committed by a command that may fail, so the
// drop is refused (-752) until COMMIT or ROLLBACK ends it.  Otherwise, when the drop fails
// (another process uses the database: -1035), the connection is made again as the same user
// with the same current schema and function path.  It committed the open work and left no
// connection.
int Console::dropConnectedDatabase(const std::string &db) {
  sqlca ca;
  clearSqlca(&ca);
  if (session_->inUnitOfWork()) {
    setSqlca(&ca, engineError(kSqlConnectionInUse, {}));
    return report(ca);
  }
  const std::string user = session_->user(), schema = session_->currentSchema();
  const std::vector<std::string> path = session_->functionPath();
  session_.reset();
  if (dropDatabase(db, &ca) >= 0) return 0;
  int status = report(ca);
  std::unique_ptr<Session> s;
  if (Session::open(db, user, "", &s, &ca) < 0) return std::max(status, report(ca));
  std::string setPath = "SET PATH = ";
  for (size_t k = 0; k < path.size(); ++k) setPath += (k ? ", " : "") + quoteString(path[k]);
  if (s->execImmediate("SET SCHEMA " + quoteString(schema), &ca) < 0 ||
      (!path.empty() && s->execImmediate(setPath, &ca) < 0))
    status = std::max(status, report(ca));
  // The settings opened no work of the user's: what they may have opened ends here.
  if (s->inUnitOfWork()) s->commit(&ca);
  session_ = std::move(s);
  return status;
}

int Console::run(const std::string &text) {
  if (echo_) out_ << text << "\n";
  int status = command(text);
  // Autocommit ends the unit of work a command leaves open, a failed one's too (its own changes
  // are undone already): the unit of work of a failed INSERT kept SQLite's write lock until the
  // next statement, and every other writer failed with -911 meanwhile.  A statement that
  // succeeds has committed already, before its message.
  if (autocommit_ && session_ && session_->inUnitOfWork()) {
    sqlca cc;
    if (session_->commit(&cc) < 0) status = std::max(status, report(cc));
  }
  return status;
}

int Console::command(const std::string &text) {
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
  // The text of token k as written; past the last one, the end of the statement.
  auto written = [&](size_t k) { return k < n ? text.substr(t[k].pos, t[k].len) : std::string("END OF STATEMENT"); };
  // A database name: a name, or any other token as written, which no database has (so a
  // message names what was given, not "").
  auto dbNameAt = [&](size_t k) { return nameAt(k).empty() ? written(k) : nameAt(k); };
  sqlca ca;
  clearSqlca(&ca);
  // -104 for token k, which does not fit where it stands: expected is what may stand there;
  // before, when given, stands for the token before it (a password is not shown).
  auto syntaxAt = [&](size_t k, const char *expected, const char *before = nullptr) {
    setSqlca(&ca, engineError(kSqlSyntax, {written(k), before ? before : k > 0 ? written(k - 1) : "", expected}));
    return report(ca);
  };
  // A console command cut short or misspelt is -104 at the first token that does not fit (the
  // end of the statement for a missing one), naming what may stand there, with or without a
  // connection.  It was handed to the engine as SQL: SQL1024N without a connection, else the
  // command's first word unexpected where SELECT was expected.
  if (kw(0, "QUIT") || kw(0, "TERMINATE") || kw(0, "EXIT")) {
    if (n > 1) return syntaxAt(1, "END OF STATEMENT");
    quit_ = true;
    return 0;
  }
  // Other consoles end a connection with DISCONNECT; this one has CONNECT RESET.
  if (kw(0, "DISCONNECT")) return syntaxAt(0, "CONNECT RESET");
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
    if (kw(1, "RESET")) {
      if (n > 2) return syntaxAt(2, "END OF STATEMENT");
      if (session_) {
        if (session_->commit(&ca) < 0) return report(ca);
        session_.reset();
      }
      return report(ca);
    }
    if (!kw(1, "TO")) return syntaxAt(1, "TO");
    if (n == 2) return syntaxAt(2, "<database name>");
    std::string db = dbNameAt(2), user, pw;
    if (n > 3) {
      // USER name USING password, each part in its place.
      if (!kw(3, "USER")) return syntaxAt(3, "USER");
      if (nameAt(4).empty()) return syntaxAt(4, "<authorization name>");
      if (!kw(5, "USING")) return syntaxAt(5, "USING");
      if (n == 6) return syntaxAt(6, "<password>");
      if (n > 7) return syntaxAt(7, "END OF STATEMENT", "<password>");
      user = nameAt(4);
      pw = t[6].text;
    }
    return connect(db, user, pw);
  }
  if ((kw(0, "CREATE") || kw(0, "DROP")) && (kw(1, "DATABASE") || kw(1, "DB"))) {
    if (n == 2) return syntaxAt(2, "<database name>");
    std::string db = dbNameAt(2);
    if (kw(0, "CREATE")) {
      bool graphic = true;
      if (n > 3) {
        if (!kw(3, "WITHOUT")) return syntaxAt(3, "WITHOUT GRAPHIC");
        if (!kw(4, "GRAPHIC")) return syntaxAt(4, "GRAPHIC");
        if (n > 5) return syntaxAt(5, "END OF STATEMENT");
        graphic = false;
      }
      createDatabase(db, graphic, &ca);
    } else {
      // Words after the name are refused: they were ignored, and the database dropped.
      if (n > 3) return syntaxAt(3, "END OF STATEMENT");
      // Names compare as the engine compares them, upper-cased: a delimited "dq" is DQ, the
      // database this console may be connected to (it was -1035 against the own connection).
      if (session_ && session_->dbName() == upperAscii(db)) {
        int status = dropConnectedDatabase(db);
        if (status != 0) return status;
      } else {
        dropDatabase(db, &ca);
      }
    }
    if (ca.sqlcode < 0) return report(ca);
    out_ << (kw(0, "CREATE") ? "The CREATE DATABASE command completed successfully.\n\n"
                             : "The DROP DATABASE command completed successfully.\n\n");
    return 0;
  }
  if (kw(0, "LIST")) {
    if (!kw(1, "TABLES")) return syntaxAt(1, "TABLES");
    std::string where = "WHERE TABSCHEMA = CURRENT SCHEMA";
    if (n > 2) {
      if (!kw(2, "FOR")) return syntaxAt(2, "FOR");
      if (!kw(3, "ALL") && !kw(3, "SCHEMA")) return syntaxAt(3, "SCHEMA");
      if (kw(3, "SCHEMA") && nameAt(4).empty()) return syntaxAt(4, "<schema name>");
      size_t end = kw(3, "ALL") ? 4 : 5;
      if (n > end) return syntaxAt(end, "END OF STATEMENT");
      where = kw(3, "ALL") ? "WHERE TABSCHEMA <> 'SYSCAT'" : "WHERE TABSCHEMA = " + quoteString(nameAt(4));
    }
    if (needSession()) return 4;
    return query("SELECT TABNAME, TABSCHEMA, TYPE FROM SYSCAT.TABLES " + where + " ORDER BY TABSCHEMA, TABNAME",
                 {"Table/View", "Schema", "Type"});
  }
  if (kw(0, "DESCRIBE")) {
    // DESCRIBE TABLE name, DESCRIBE [OUTPUT] query.
    bool ofQuery = kw(1, "OUTPUT") || kw(1, "SELECT") || kw(1, "VALUES") || kw(1, "WITH");
    if (!kw(1, "TABLE") && !ofQuery) return syntaxAt(1, "TABLE");
    if (kw(1, "OUTPUT") && n == 2) return syntaxAt(2, "<query>");
  }
  if (kw(0, "DESCRIBE") && kw(1, "TABLE")) {
    if (nameAt(2).empty()) return syntaxAt(2, "<table name>");
    bool qualified = n > 3 && t[3].kind == Tok::Op && t[3].text == ".";
    if (qualified) {
      if (nameAt(4).empty()) return syntaxAt(4, "<table name>");
      if (n > 5) return syntaxAt(5, "END OF STATEMENT");
    } else if (n != 3) {
      return syntaxAt(3, "END OF STATEMENT");
    }
    if (needSession()) return 4;
    std::string schema = qualified ? nameAt(2) : session_->currentSchema(), table = qualified ? nameAt(4) : nameAt(2);
    if (schema == "SESSION") {
      // A declared temporary table is the session's own: the catalogue does not list it.
      const TableInfo *temp = session_->tempTable(table);
      if (temp == nullptr) {
        setSqlca(&ca, engineError(kSqlUndefinedName, {schema + "." + table}));
        return report(ca);
      }
      const QType chars = builtinType(Base::Varchar), number = builtinType(Base::Integer);
      writer_.begin({"Column name", "Data type schema", "Data type name", "Column length", "Scale", "Nulls"},
                    {chars, chars, chars, number, number, chars});
      for (const ColumnDef &c : temp->columns)
        writer_.row({Value::text(c.name), Value::text(c.type.catalogSchema()), Value::text(c.type.catalogName()),
                     Value::integer(c.type.catalogLength()), Value::integer(c.type.scale),
                     Value::text(c.nullable ? "Y" : "N")});
      writer_.end(true);
      return 0;
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
  if (kw(0, "DESCRIBE")) {
    // DESCRIBE [OUTPUT] query: the result columns as the statement describes them.
    if (needSession()) return 4;
    std::string sql = text.substr(t[kw(1, "OUTPUT") ? 2 : 1].pos);
    std::unique_ptr<Statement> st;
    if (session_->prepare(sql, &st, &ca) < 0) return report(ca);
    const QType chars = builtinType(Base::Varchar), number = builtinType(Base::Integer);
    writer_.begin({"Column name", "Data type schema", "Data type name", "Column length", "Scale"},
                  {chars, chars, chars, number, number});
    for (int c = 0; c < st->columnCount(); ++c) {
      const QType &ty = st->column(c).type;
      bool known = ty.base != Base::None;
      writer_.row({Value::text(st->column(c).name), known ? Value::text(ty.catalogSchema()) : Value::null(),
                   known ? Value::text(ty.catalogName()) : Value::null(),
                   known ? Value::integer(ty.catalogLength()) : Value::null(),
                   known ? Value::integer(ty.scale) : Value::null()});
    }
    writer_.end(true);
    return 0;
  }
  if (needSession()) return 4;
  return query(text, {});
}

// Runs statements one at a time through the console; with timing, each result is followed by
// the statement's elapsed time (from the start of its work to the end of its result).
class StatementRunner {
 public:
  StatementRunner(Console &console, std::ostream &msg, bool timing) : console_(console), msg_(msg), timing_(timing) {}

  int run(const std::string &statement) {
    auto start = std::chrono::steady_clock::now();
    int status = console_.run(statement);
    if (timing_ && !console_.quit()) {
      std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
      char buf[64];
      std::snprintf(buf, sizeof buf, "Time: %.3f ms\n\n", elapsed.count());
      msg_ << buf;
    }
    return status;
  }
  bool quit() const { return console_.quit(); }

 private:
  Console &console_;
  std::ostream &msg_;
  bool timing_;
};

// Runs the statements of a statement argument in order; the first that fails ends the run (its
// status is the result), as a failing statement ends a script given on the command line of
// other SQL consoles.  Warnings do not stop it.
int runArgument(StatementRunner &runner, const std::string &text) {
  int worst = 0;
  for (const std::string &statement : splitStatements(text)) {
    worst = std::max(worst, runner.run(statement));
    if (worst >= 4 || runner.quit()) break;
  }
  return worst;
}

// A line that is QUIT, EXIT or TERMINATE alone, without a terminator (as people type it).
bool isQuitLine(const std::string &line) {
  size_t b = line.find_first_not_of(" \t\r");
  if (b == std::string::npos) return false;
  std::string word = line.substr(b, line.find_last_not_of(" \t\r") + 1 - b);
  for (char &c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return word == "QUIT" || word == "EXIT" || word == "TERMINATE";
}

// Reads lines and runs each statement as soon as its terminator arrives; the text after the
// last terminator is run at the end of the input.  A line QUIT (EXIT, TERMINATE) between
// statements (not inside a comment) ends the run without a terminator.  A failing statement
// does not end the run.  When the input cannot be read, the unfinished rest is not run.
// Returns the worst status.
int runLines(StatementRunner &runner, LineReader &lines) {
  StatementSplitter splitter;
  std::vector<std::string> ready;
  std::string line;
  int worst = 0;
  auto runReady = [&] {
    for (const std::string &statement : ready) {
      worst = std::max(worst, runner.run(statement));
      if (runner.quit()) break;
    }
    ready.clear();
  };
  while (!runner.quit() && lines.next(&line, !splitter.betweenStatements())) {
    if (splitter.betweenStatements() && isQuitLine(line)) {
      runner.run(line);
      break;
    }
    line.push_back('\n');
    splitter.feed(line, &ready);
    runReady();
  }
  if (!runner.quit() && lines.failure().empty()) {
    splitter.finish(&ready);
    runReady();
  }
  return worst;
}

// Runs the lines of an input named name (in messages); an input that cannot be read is a file
// error (8), after the statements read before the failure have run.
int runInput(StatementRunner &runner, LineReader &lines, const std::string &name, std::ostream &err) {
  int status = runLines(runner, lines);
  if (lines.failure().empty()) return status;
  err << "quarn: cannot read " << name << ": " << lines.failure() << "\n";
  return 8;
}

// The history file of the interactive console, in the instance directory; empty when the
// directory cannot be made.
std::string historyFile() {
  std::string dir = instancePath();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir, ec)) return "";
  return dir + "/quarn_history";
}

}  // namespace

int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, std::ostream &err,
               bool interactive) {
  ConsoleOptions opts;
  std::string problem = parseOptions(args, &opts);
  if (!problem.empty()) {
    err << "quarn: " << problem << "\nRun \"quarn --help\" for the options.\n";
    return 8;
  }
  if (opts.help) {
    out << usageText();
    return 0;
  }
  if (opts.version) {
    out << versionText();
    return 0;
  }
  initInstance();
  // CSV and JSON keep standard output for the data: messages go to the error stream.
  std::ostream &msg = opts.format.mode == OutputMode::Table ? out : err;
  ResultWriter writer(out, opts.format);
  Console console(msg, writer, opts.autocommit, opts.echo);
  StatementRunner runner(console, msg, opts.timing);
  if (!opts.database.empty()) {
    int status = console.connect(opts.database, "", "", false);
    if (status) return status;
  }
  if (!opts.statement.empty()) {
    dropByteOrderMark(&opts.statement);
    return runArgument(runner, opts.statement);
  }
  if (!opts.file.empty() && opts.file != "-") {
    errno = 0;
    std::ifstream f(opts.file, std::ios::binary);
    if (!f) {
      err << "quarn: cannot read " << opts.file << ": " << std::strerror(errno != 0 ? errno : EIO) << "\n";
      return 8;
    }
    return runInput(runner, *streamLineReader(f), opts.file, err);
  }
  std::unique_ptr<LineReader> lines =
      interactive && opts.file.empty() ? terminalLineReader(in, out, historyFile()) : streamLineReader(in);
  return runInput(runner, *lines, "standard input", err);
}

int runConsole(const std::vector<std::string> &args, std::istream &in, std::ostream &out, bool interactive) {
  return runConsole(args, in, out, out, interactive);
}

}  // namespace quarn
