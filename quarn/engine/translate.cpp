/*
 * translate.cpp - the recursive-descent parser of the SQL dialect and its SQLite output.
 *
 * Queries and data changes are translated while they are parsed: every table reference is
 * looked up in the catalog (aliases followed to their base) and written as its SQLite name with
 * the exposed name as correlation name, so that "S.T.C", "T.C" and "C" keep meaning what they
 * mean in Quarn.  Definitions are parsed into the structures of ddl.h and run as actions.
 */
#include "translate.h"

#include <cctype>
#include <set>

#include "catalog.h"
#include "ddl.h"
#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "routines.h"
#include "triggers.h"

namespace quarn {
namespace {

constexpr size_t kMaxSchema = 30;
constexpr size_t kMaxName = 128;
constexpr size_t kMaxColumn = 30;
constexpr size_t kMaxShortName = 18;  // table spaces, constraints, specific names

// Words that end a table reference or an expression where a correlation name or an alias could
// otherwise be read.
const std::set<std::string> &reservedWords() {
  static const std::set<std::string> k = {
      "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "FETCH", "UNION", "EXCEPT", "INTERSECT", "JOIN", "INNER",
      "LEFT", "RIGHT", "FULL", "CROSS", "ON", "WITH", "FOR", "OPTIMIZE", "SET", "VALUES", "SELECT", "INTO",
      "AND", "OR", "NOT", "IS", "IN", "LIKE", "BETWEEN", "AS", "WHEN", "THEN", "ELSE", "END", "ESCAPE",
      "ASC", "DESC", "BY", "DISTINCT", "ALL", "CASE", "EXISTS", "NULL", "OUTER", "USING", "CONCAT"};
  return k;
}

class Translator {
 public:
  Translator(Session &s, const std::string &sql) : s_(s), sql_(sql), toks_(tokenize(sql)) {}

  Plan statement();
  QType typeOnly() { return dataType(); }
  TriggerPlan trigger(const TriggerContext &ctx) {
    expectKw("CREATE");
    return triggerDefinition(ctx);
  }

 private:
  // ---- tokens ----
  const Token &tk(size_t k = 0) const { return toks_[std::min(i_ + k, toks_.size() - 1)]; }
  bool kw(const char *w, size_t k = 0) const { return tk(k).kind == Tok::Ident && tk(k).text == w; }
  bool isOp(const char *o, size_t k = 0) const { return tk(k).kind == Tok::Op && tk(k).text == o; }
  bool atEnd() const { return tk().kind == Tok::End || (isOp(";") && tk(1).kind == Tok::End); }
  bool acceptKw(const char *w) {
    if (!kw(w)) return false;
    ++i_;
    return true;
  }
  bool acceptOp(const char *o) {
    if (!isOp(o)) return false;
    ++i_;
    return true;
  }
  void expectKw(const char *w) {
    if (!acceptKw(w)) fail(w);
  }
  void expectOp(const char *o) {
    if (!acceptOp(o)) fail(o);
  }
  [[noreturn]] void fail(const std::string &expected) const {
    const Token &t = tk();
    std::string tokText = t.kind == Tok::End ? "END OF STATEMENT" : sql_.substr(t.pos, t.len);
    std::string before;
    if (i_ > 0) before = sql_.substr(toks_[i_ - 1].pos, toks_[i_ - 1].len);
    raise(kSqlSyntax, {tokText, before, expected});
  }
  void expectEnd() {
    // A statement of a trigger body ends at its ";" or at the body's END.
    if (inBody_ && (isOp(";") || kw("END") || tk().kind == Tok::End)) return;
    acceptOp(";");
    if (tk().kind != Tok::End) fail("END OF STATEMENT");
  }
  bool isName(size_t k = 0) const { return tk(k).kind == Tok::Ident || tk(k).kind == Tok::DelimIdent; }
  std::string name(size_t maxLen) {
    if (!isName()) fail("<identifier>");
    std::string n = tk().text;
    if (n.size() > maxLen) raise(kSqlNameTooLong, {n, std::to_string(maxLen)});
    ++i_;
    return n;
  }
  QualName qualName(size_t maxLen = kMaxName) {
    QualName q;
    std::string first = name(maxLen > kMaxSchema ? maxLen : kMaxSchema);
    if (acceptOp(".")) {
      if (first.size() > kMaxSchema) raise(kSqlNameTooLong, {first, std::to_string(kMaxSchema)});
      q.schema = first;
      q.name = name(maxLen);
    } else {
      if (first.size() > maxLen) raise(kSqlNameTooLong, {first, std::to_string(maxLen)});
      q.schema = s_.currentSchema();
      q.name = first;
    }
    return q;
  }
  bool isCorrelationName() const {
    if (tk().kind == Tok::DelimIdent) return true;
    return tk().kind == Tok::Ident && !reservedWords().count(tk().text);
  }
  std::string nextParam() {
    if (triggerMode_) raise(kSqlMarkerInvalid);
    return "?" + std::to_string(++nParams_);
  }

  // ---- names and types ----
  struct TableRef {
    std::string sqlite;   // SQLite name of the base object
    std::string exposed;  // name columns are qualified with
    TableInfo info;
  };
  TableRef resolveTable(const QualName &q);
  QType dataType();
  QType resolveDistinct(const QualName &q, bool qualified);
  int64_t lobLength();
  int64_t intLiteral();

  // ---- queries ----
  std::string selectStatement(bool top);
  std::string fullselect();
  std::string term();
  std::string subselect();
  std::string valuesClause(bool single);
  std::string selectItem(int position);
  std::string fromClause();
  std::string tableRef();
  std::string primaryTableRef();
  std::string correlate(const std::string &source, const std::string &defaultName, bool derived,
                        std::string *corrOut = nullptr, std::vector<std::string> *colsOut = nullptr);
  std::string orderAndFetch();
  void skipQueryOptions();
  std::string withClause();

  // ---- expressions ----
  std::string expr();
  std::string andExpr();
  std::string notExpr();
  std::string predicate();
  std::string additive();
  std::string multiplicative();
  std::string unary();
  std::string primary();
  std::string functionCall(const std::string &schema, const std::string &fname, bool qualified);
  std::string castExpr(QType *typeOut);
  std::string caseExpr();
  std::string specialRegister();
  std::string columnRef(const std::vector<std::string> &parts);
  bool atSubquery() const { return kw("SELECT") || kw("WITH") || kw("VALUES"); }
  std::string subqueryInParens();

  // ---- statements ----
  Plan insertStmt();
  Plan updateStmt();
  Plan deleteStmt();
  Plan createStmt();
  Plan dropStmt();
  Plan alterStmt();
  Plan grantStmt(bool revoke);
  Plan setStmt();
  Plan lockStmt();
  Plan callStmt();
  static Plan savepointPlan(Session::SavepointOp op, const std::string &n, bool unique) {
    Plan p;
    p.kind = Plan::Action;
    p.writes = op == Session::SavepointOp::Set;
    p.savepointControl = true;
    p.action = [op, n, unique](Session &s) { s.savepointStatement(op, n, unique); };
    return p;
  }
  void columnDefinition(ColumnDef *col, std::vector<ConstraintSpec> *cons);
  ConstraintSpec tableConstraint(const std::string &constName);
  std::vector<std::string> nameList(size_t maxLen);
  TriggerPlan triggerDefinition(const TriggerContext &ctx);
  void triggerBodyStatement(TriggerPlan *tp, const TableRef &subject, const std::string &newName);
  std::string defaultValue(const QType &t, std::string *text);
  void routineDefinition(RoutineSpec *stmtDef);
  RoutineRef routineRef(char routineType, bool specific);
  std::vector<QType> signature();
  std::string sqlText(size_t fromToken) const { return sql_.substr(toks_[fromToken].pos); }

  Session &s_;
  std::string sql_;
  std::vector<Token> toks_;
  size_t i_ = 0;
  int nParams_ = 0;
  int depth_ = 0;
  std::string colPrefix_;  // check conditions: columns are NEW."C"
  std::set<std::string> cteNames_;
  std::vector<QType> itemTypes_;
  bool itemTypesKnown_ = true;
  bool triggerMode_ = false;  // a trigger: no parameter markers, UPDATE and DELETE without correlation names
  bool inBody_ = false;       // parsing the statements of a trigger body
  std::vector<std::pair<char, QualName>> *deps_ = nullptr;  // a trigger's dependencies, when recorded
  void addDependency(char btype, const std::string &schema, const std::string &name) {
    if (!deps_) return;
    for (const auto &d : *deps_)
      if (d.first == btype && d.second.schema == schema && d.second.name == name) return;
    deps_->push_back({btype, QualName{schema, name}});
  }

  // ---- static types of expressions ----
  // The type of the expression parsed last (Base::None: unknown); set by every expression level.
  QType lastType_;
  bool lastIsRoutine_ = false;  // the last primary was a user-defined function call
  struct ScopeColumn {
    std::string name;  // as the statement names it
    std::string real;  // as SQLite knows it
    QType type;
    std::string sql;   // when set, the SQLite expression of a reference (transition variables)
  };
  struct ScopeItem {
    std::string exposed;
    std::vector<ScopeColumn> cols;
  };
  // The FROM items visible at each query level, innermost last.
  std::vector<std::vector<ScopeItem>> scopes_;
  const ScopeColumn *findColumn(const std::vector<std::string> &parts, std::string *exposed) const;
  static ScopeItem tableScope(const std::string &exposed, const TableInfo &info);
  // The target of UPDATE or DELETE; in a trigger its columns are qualified by the table itself.
  ScopeItem targetScope(const std::string &exposed, const TableRef &r) const {
    ScopeItem item = tableScope(exposed, r.info);
    if (triggerMode_)
      for (ScopeColumn &c : item.cols) c.sql = r.sqlite + "." + quoteIdent(c.real);
    return item;
  }
  std::string routineCall(const RoutineDef &def, const std::vector<std::string> &args);
};

// ======================================================================= names and types

Translator::TableRef Translator::resolveTable(const QualName &q) {
  QualName cur = q;
  for (int hops = 0; hops < 16; ++hops) {
    std::optional<TableInfo> t = findTable(s_.db(), cur.schema, cur.name);
    if (!t) raise(kSqlUndefinedName, {q.text()});
    if (t->type != 'A') {
      addDependency(t->type == 'V' ? 'V' : 'T', t->schema, t->name);
      return TableRef{sqliteName(t->schema, t->name), q.name, *t};
    }
    cur = QualName{t->baseSchema, t->baseName};
  }
  raise(kSqlUndefinedName, {q.text()});
}

int64_t Translator::intLiteral() {
  if (tk().kind != Tok::Integer) fail("<integer>");
  std::string t = tk().text;
  ++i_;
  if (t.size() > 12) raise(kSqlBadLength, {t});
  return std::stoll(t);
}

int64_t Translator::lobLength() {
  int64_t n = 1024 * 1024;
  if (acceptOp("(")) {
    n = intLiteral();
    if (acceptKw("K")) n *= 1024;
    else if (acceptKw("M")) n *= 1024 * 1024;
    else if (acceptKw("G")) n *= 1024LL * 1024 * 1024;
    expectOp(")");
  }
  if (n > 2147483647) n = 2147483647;
  return n;
}

QType Translator::resolveDistinct(const QualName &q, bool qualified) {
  if (qualified) {
    if (auto d = findDistinctType(s_.db(), q.schema, q.name)) {
      QType t = d->source;
      t.typeSchema = d->schema;
      t.typeName = d->name;
      return t;
    }
    raise(kSqlUndefinedName, {q.text()});
  }
  std::vector<std::string> schemas = s_.functionPath();
  schemas.push_back(s_.currentSchema());
  for (const std::string &schema : schemas) {
    if (auto d = findDistinctType(s_.db(), schema, q.name)) {
      QType t = d->source;
      t.typeSchema = d->schema;
      t.typeName = d->name;
      return t;
    }
  }
  raise(kSqlUndefinedName, {q.name});
}

QType Translator::dataType() {
  QType t;
  auto lengthArg = [&](int64_t dflt) {
    int64_t n = dflt;
    if (acceptOp("(")) {
      n = intLiteral();
      expectOp(")");
    }
    return n;
  };
  auto bitData = [&] {
    if (kw("FOR") && (kw("BIT", 1) || kw("SBCS", 1) || kw("MIXED", 1))) {
      ++i_;
      bool bit = acceptKw("BIT");
      if (!bit) ++i_;
      expectKw("DATA");
      t.forBitData = bit;
    }
  };
  if (tk().kind == Tok::Ident) {
    const std::string w = tk().text;
    if (w == "SMALLINT") { ++i_; t.base = Base::SmallInt; return t; }
    if (w == "INTEGER" || w == "INT") { ++i_; t.base = Base::Integer; return t; }
    if (w == "BIGINT") { ++i_; t.base = Base::BigInt; return t; }
    if (w == "REAL") { ++i_; t.base = Base::Real; return t; }
    if (w == "DATE") { ++i_; t.base = Base::Date; return t; }
    if (w == "TIME") { ++i_; t.base = Base::Time; return t; }
    if (w == "TIMESTAMP") { ++i_; t.base = Base::Timestamp; return t; }
    if (w == "DOUBLE") {
      ++i_;
      acceptKw("PRECISION");
      t.base = Base::Double;
      return t;
    }
    if (w == "FLOAT") {
      ++i_;
      int64_t n = lengthArg(53);
      if (n < 1 || n > 53) raise(kSqlBadLength, {"FLOAT"});
      t.base = n <= 24 ? Base::Real : Base::Double;
      return t;
    }
    if (w == "DECIMAL" || w == "DEC" || w == "NUMERIC" || w == "NUM") {
      ++i_;
      t.base = Base::Decimal;
      t.length = 5;
      if (acceptOp("(")) {
        t.length = intLiteral();
        if (acceptOp(",")) t.scale = static_cast<int>(intLiteral());
        expectOp(")");
      }
      if (t.length < 1 || t.length > 31 || t.scale > t.length) raise(kSqlBadLength, {"DECIMAL"});
      return t;
    }
    if (w == "CHARACTER" || w == "CHAR") {
      ++i_;
      if (acceptKw("VARYING")) {
        t.base = Base::Varchar;
        t.length = lengthArg(-1);
      } else if (acceptKw("LARGE")) {
        expectKw("OBJECT");
        t.base = Base::Clob;
        t.length = lobLength();
        return t;
      } else {
        t.base = Base::Char;
        t.length = lengthArg(1);
        if (t.length < 1 || t.length > 254) raise(kSqlBadLength, {"CHARACTER"});
      }
      if (t.base == Base::Varchar && (t.length < 1 || t.length > 32672)) raise(kSqlBadLength, {"VARCHAR"});
      bitData();
      return t;
    }
    if (w == "VARCHAR") {
      ++i_;
      t.base = Base::Varchar;
      t.length = lengthArg(-1);
      if (t.length < 1 || t.length > 32672) raise(kSqlBadLength, {"VARCHAR"});
      bitData();
      return t;
    }
    if (w == "LONG") {
      ++i_;
      if (acceptKw("VARCHAR")) {
        t.base = Base::LongVarchar;
        bitData();
      } else {
        expectKw("VARGRAPHIC");
        t.base = Base::LongVargraphic;
      }
      t.length = t.catalogLength();
    } else if (w == "CLOB") {
      ++i_;
      t.base = Base::Clob;
      t.length = lobLength();
    } else if (w == "BLOB" || (w == "BINARY" && kw("LARGE", 1))) {
      if (w == "BINARY") { i_ += 2; expectKw("OBJECT"); } else ++i_;
      t.base = Base::Blob;
      t.length = lobLength();
    } else if (w == "DBCLOB") {
      ++i_;
      t.base = Base::DbClob;
      t.length = lobLength();
      if (t.length > 1073741823) t.length = 1073741823;
    } else if (w == "GRAPHIC") {
      ++i_;
      t.base = Base::Graphic;
      t.length = lengthArg(1);
      if (t.length < 1 || t.length > 127) raise(kSqlBadLength, {"GRAPHIC"});
    } else if (w == "VARGRAPHIC") {
      ++i_;
      t.base = Base::Vargraphic;
      t.length = lengthArg(-1);
      if (t.length < 1 || t.length > 16336) raise(kSqlBadLength, {"VARGRAPHIC"});
    }
    if (t.base != Base::None) {
      if (t.isGraphic() && !s_.graphicSupported()) raise(kSqlGraphic);
      return t;
    }
  }
  if (!isName()) fail("<data type>");
  bool qualified = isOp(".", 1);
  QualName q = qualName();
  return resolveDistinct(q, qualified);
}

// ======================================================================= queries

std::string Translator::withClause() {
  std::string out = "WITH ";
  do {
    std::string n = name(kMaxName);
    out += quoteIdent(n);
    cteNames_.insert(n);
    if (acceptOp("(")) {
      std::vector<std::string> cols = nameList(kMaxColumn);
      out += "(";
      for (size_t k = 0; k < cols.size(); ++k) out += (k ? ", " : "") + quoteIdent(cols[k]);
      out += ")";
    }
    expectKw("AS");
    expectOp("(");
    ++depth_;
    out += " AS (" + fullselect() + ")";
    --depth_;
    expectOp(")");
    if (isOp(",")) out += ", ";
  } while (acceptOp(","));
  return out + " ";
}

std::string Translator::selectStatement(bool top) {
  std::string out;
  if (acceptKw("WITH")) out = withClause();
  out += fullselect();
  if (top) skipQueryOptions();
  return out;
}

void Translator::skipQueryOptions() {
  for (;;) {
    if (kw("FOR") && (kw("READ", 1) || kw("FETCH", 1))) {
      i_ += 2;
      expectKw("ONLY");
    } else if (kw("FOR") && kw("UPDATE", 1)) {
      i_ += 2;
      if (acceptKw("OF")) nameList(kMaxColumn);
    } else if (kw("OPTIMIZE")) {
      ++i_;
      expectKw("FOR");
      intLiteral();
      if (!acceptKw("ROWS")) expectKw("ROW");
    } else if (kw("WITH") && (kw("UR", 1) || kw("CS", 1) || kw("RS", 1) || kw("RR", 1))) {
      i_ += 2;
    } else {
      return;
    }
  }
}

std::string Translator::orderAndFetch() {
  std::string out;
  if (kw("ORDER") && kw("BY", 1)) {
    i_ += 2;
    out += " ORDER BY ";
    bool first = true;
    do {
      if (!first) out += ", ";
      first = false;
      out += expr();
      bool desc = false;
      if (acceptKw("DESC")) desc = true;
      else acceptKw("ASC");
      // Quarn sorts nulls as the highest value.
      out += desc ? " DESC NULLS FIRST" : " ASC NULLS LAST";
    } while (acceptOp(","));
  }
  if (kw("FETCH") && kw("FIRST", 1)) {
    i_ += 2;
    int64_t n = 1;
    if (tk().kind == Tok::Integer) n = intLiteral();
    if (!acceptKw("ROWS")) expectKw("ROW");
    expectKw("ONLY");
    out += " LIMIT " + std::to_string(n);
  }
  return out;
}

std::string Translator::fullselect() {
  std::string out = term();
  for (;;) {
    std::string setop;
    if (acceptKw("UNION")) setop = "UNION";
    else if (acceptKw("EXCEPT")) setop = "EXCEPT";
    else if (acceptKw("INTERSECT")) setop = "INTERSECT";
    else break;
    if (acceptKw("ALL")) {
      if (setop != "UNION") raise(kSqlStmtNotSupported, {setop + " ALL"});
      setop += " ALL";
    } else {
      acceptKw("DISTINCT");
    }
    bool saved = itemTypesKnown_;
    ++depth_;
    out += " " + setop + " " + term();
    --depth_;
    itemTypesKnown_ = saved;
  }
  out += orderAndFetch();
  return out;
}

std::string Translator::term() {
  if (acceptOp("(")) {
    std::string inner = fullselect();
    expectOp(")");
    return "SELECT * FROM (" + inner + ")";
  }
  if (kw("SELECT")) return subselect();
  if (acceptKw("VALUES")) return valuesClause(false);
  fail("SELECT");
}

// VALUES rows; the result columns are named "1", "2", ... as Quarn names them.
std::string Translator::valuesClause(bool /*single*/) {
  std::vector<std::vector<std::string>> rows;
  do {
    std::vector<std::string> row;
    if (acceptOp("(")) {
      do row.push_back(expr());
      while (acceptOp(","));
      expectOp(")");
    } else {
      row.push_back(expr());
    }
    if (!rows.empty() && row.size() != rows[0].size()) raise(kSqlColumnCountMismatch);
    rows.push_back(std::move(row));
  } while (acceptOp(","));
  std::string out = "SELECT ";
  if (rows.size() == 1) {
    for (size_t k = 0; k < rows[0].size(); ++k)
      out += (k ? ", " : "") + rows[0][k] + " AS " + quoteIdent(std::to_string(k + 1));
    if (depth_ == 0) itemTypesKnown_ = false;
    return out;
  }
  for (size_t k = 0; k < rows[0].size(); ++k)
    out += (k ? ", " : "") + std::string("\"column") + std::to_string(k + 1) + "\" AS " + quoteIdent(std::to_string(k + 1));
  out += " FROM (VALUES ";
  for (size_t r = 0; r < rows.size(); ++r) {
    out += r ? ", (" : "(";
    for (size_t k = 0; k < rows[r].size(); ++k) out += (k ? ", " : "") + rows[r][k];
    out += ")";
  }
  if (depth_ == 0) itemTypesKnown_ = false;
  return out + ")";
}

std::string Translator::selectItem(int position) {
  // *, T.*, S.T.*
  if (acceptOp("*")) {
    if (depth_ == 0) itemTypesKnown_ = false;
    return "*";
  }
  if (isName() && isOp(".", 1) && (isOp("*", 2) || (isName(2) && isOp(".", 3) && isOp("*", 4)))) {
    std::string n = tk().text;
    i_ += 2;
    if (isName()) {
      n = tk().text;
      i_ += 2;
    }
    ++i_;
    if (depth_ == 0) itemTypesKnown_ = false;
    return quoteIdent(n) + ".*";
  }
  size_t start = i_;
  QType castType;
  std::string e;
  if (kw("CAST") && isOp("(", 1)) {
    ++i_;
    e = castExpr(&castType);
    // A CAST followed by more expression is an ordinary expression.
    if (!(isOp(",") || kw("FROM") || kw("AS") || isCorrelationName() || atEnd())) {
      i_ = start;
      castType = QType{};
      e = expr();
    }
  } else {
    lastIsRoutine_ = false;
    e = expr();
    if (lastIsRoutine_) castType = lastType_;
  }
  // A plain column reference keeps the column's name; other items are named by position.
  bool isColumn = !e.empty() && e[0] == '"';
  for (size_t k = start; k < i_; ++k) {
    const Token &x = toks_[k];
    if (!(x.kind == Tok::Ident || x.kind == Tok::DelimIdent || (x.kind == Tok::Op && x.text == "."))) isColumn = false;
  }
  std::string alias;
  if (acceptKw("AS")) alias = name(kMaxColumn);
  else if (isCorrelationName() && !kw("FROM")) alias = name(kMaxColumn);
  if (depth_ == 0) itemTypes_.push_back(castType);
  if (!alias.empty()) return e + " AS " + quoteIdent(alias);
  if (isColumn) return e;
  return e + " AS " + quoteIdent(std::to_string(position));
}

std::string Translator::subselect() {
  expectKw("SELECT");
  std::string out = "SELECT ";
  if (acceptKw("DISTINCT")) out += "DISTINCT ";
  else acceptKw("ALL");
  int position = 1;
  bool outer = depth_ == 0;
  if (outer) itemTypes_.clear();
  // The FROM clause is read first, so that the select items know the types of its columns.
  // Parameter markers keep their textual order: those of the select list are counted first.
  size_t itemsStart = i_;
  int itemsParams = nParams_;
  size_t fromAt = i_;
  int level = 0, markers = 0;
  for (; toks_[fromAt].kind != Tok::End; ++fromAt) {
    const Token &x = toks_[fromAt];
    if (x.kind == Tok::Op && x.text == "(") ++level;
    else if (x.kind == Tok::Op && x.text == ")") {
      if (level == 0) break;
      --level;
    } else if (level == 0 && x.kind == Tok::Ident && x.text == "FROM") {
      break;
    } else if (x.kind == Tok::Param) {
      ++markers;
    }
  }
  i_ = fromAt;
  expectKw("FROM");
  nParams_ = itemsParams + markers;
  scopes_.emplace_back();
  ++depth_;
  std::string tail = " FROM " + fromClause();
  if (acceptKw("WHERE")) tail += " WHERE " + expr();
  if (kw("GROUP") && kw("BY", 1)) {
    i_ += 2;
    tail += " GROUP BY ";
    bool first = true;
    do {
      tail += (first ? "" : ", ") + expr();
      first = false;
    } while (acceptOp(","));
  }
  if (acceptKw("HAVING")) tail += " HAVING " + expr();
  --depth_;
  size_t tailEnd = i_;
  int tailParams = nParams_;
  i_ = itemsStart;
  nParams_ = itemsParams;
  do {
    if (position > 1) out += ", ";
    out += selectItem(position++);
  } while (acceptOp(","));
  if (i_ != fromAt) fail("FROM");
  scopes_.pop_back();
  i_ = tailEnd;
  nParams_ = tailParams;
  return out + tail;
}

std::string Translator::fromClause() {
  std::string out = tableRef();
  while (acceptOp(",")) out += ", " + tableRef();
  return out;
}

std::string Translator::tableRef() {
  std::string out = primaryTableRef();
  for (;;) {
    std::string join;
    if (kw("JOIN")) { ++i_; join = " JOIN "; }
    else if (kw("INNER") && kw("JOIN", 1)) { i_ += 2; join = " JOIN "; }
    else if (kw("LEFT") || kw("RIGHT") || kw("FULL")) {
      std::string side = tk().text;
      ++i_;
      acceptKw("OUTER");
      expectKw("JOIN");
      join = " " + side + " OUTER JOIN ";
    } else if (kw("CROSS") && kw("JOIN", 1)) {
      i_ += 2;
      out += " CROSS JOIN " + primaryTableRef();
      continue;
    } else {
      break;
    }
    std::string right = primaryTableRef();
    expectKw("ON");
    out += join + right + " ON " + expr();
  }
  return out;
}

// Adds the correlation name and, with a column list, renames the columns: the compound's first
// (empty) select names them.
std::string Translator::correlate(const std::string &source, const std::string &defaultName, bool derived,
                                  std::string *corrOut, std::vector<std::string> *colsOut) {
  std::string corr = defaultName;
  bool hasAs = acceptKw("AS");
  if (hasAs || isCorrelationName()) corr = name(kMaxName);
  std::vector<std::string> cols;
  if (!corr.empty() && isOp("(") && (hasAs || corr != defaultName || derived)) {
    ++i_;
    cols = nameList(kMaxColumn);
  }
  if (corrOut) *corrOut = corr;
  if (colsOut) {
    // The caller renames the columns itself.
    *colsOut = cols;
    return corr.empty() ? source : source + " AS " + quoteIdent(corr);
  }
  std::string body = source;
  if (!cols.empty()) {
    std::string head = "SELECT ";
    for (size_t k = 0; k < cols.size(); ++k) head += (k ? ", " : "") + std::string("NULL AS ") + quoteIdent(cols[k]);
    std::string inner = derived ? source : "SELECT * FROM " + source;
    if (derived) {
      // source is "(select)": strip the parentheses to put it into the compound.
      inner = "SELECT * FROM " + source;
    }
    body = "(" + head + " WHERE 0 UNION ALL " + inner + ")";
  }
  if (corr.empty()) return body;
  return body + " AS " + quoteIdent(corr);
}

std::string Translator::primaryTableRef() {
  if (kw("TABLE") && isOp("(", 1)) {
    i_ += 2;
    if (atSubquery() || isOp("(")) {
      ++depth_;
      std::string inner = selectStatement(false);
      --depth_;
      expectOp(")");
      return correlate("(" + inner + ")", "", true);
    }
    // A table function, correlated to the FROM items before it.
    bool qualified = isOp(".", 1);
    QualName fn = qualName();
    expectOp("(");
    std::vector<std::string> args;
    std::vector<QType> types;
    if (!isOp(")")) {
      do {
        args.push_back(expr());
        types.push_back(lastType_);
      } while (acceptOp(","));
    }
    expectOp(")");
    expectOp(")");
    RoutineDef def = resolveFunction(s_, qualified ? fn.schema : "", fn.name, 'T', types);
    addDependency('F', def.schema, def.specific);
    std::string module = tableFunctionModule(s_, def);
    std::string call = quoteIdent(module) + "(";
    for (size_t k = 0; k < args.size(); ++k) call += (k ? ", " : "") + args[k];
    call += ")";
    std::string corr;
    std::vector<std::string> cols;
    std::string out = correlate(call, "", false, &corr, &cols);
    if (!cols.empty() && cols.size() != def.columns.size()) raiseWithState(kSqlColumnCountMismatch, "42811");
    if (!scopes_.empty()) {
      ScopeItem item{corr, {}};
      for (size_t k = 0; k < def.columns.size(); ++k)
        item.cols.push_back(ScopeColumn{cols.empty() ? def.columns[k].name : cols[k], def.columns[k].name,
                                        def.columns[k].type, {}});
      scopes_.back().push_back(item);
    }
    return out;
  }
  if (isOp("(")) {
    ++i_;
    if (atSubquery() || isOp("(")) {
      ++depth_;
      std::string inner = selectStatement(false);
      --depth_;
      expectOp(")");
      return correlate("(" + inner + ")", "", true);
    }
    std::string inner = tableRef();
    expectOp(")");
    return "(" + inner + ")";
  }
  if (!isName()) fail("<table name>");
  if (!isOp(".", 1) && cteNames_.count(tk().text)) {
    std::string n = name(kMaxName);
    return correlate(quoteIdent(n), n, false);
  }
  QualName q = qualName();
  TableRef r = resolveTable(q);
  std::string corr;
  std::vector<std::string> cols;
  std::string out = correlate(r.sqlite, r.exposed, false, &corr, &cols);
  if (!scopes_.empty()) {
    ScopeItem item = tableScope(corr, r.info);
    for (size_t k = 0; k < cols.size() && k < item.cols.size(); ++k) item.cols[k].name = cols[k];
    scopes_.back().push_back(item);
  }
  if (cols.empty()) return out;
  // A table with a column list: name the columns in a derived table.
  if (cols.size() != r.info.columns.size()) raiseWithState(kSqlColumnCountMismatch, "42811");
  std::string sel = "(SELECT ";
  for (size_t k = 0; k < cols.size(); ++k)
    sel += (k ? ", " : "") + quoteIdent(r.info.columns[k].name) + " AS " + quoteIdent(cols[k]);
  if (!scopes_.empty())
    for (ScopeColumn &c : scopes_.back().back().cols) c.real = c.name;
  return sel + " FROM " + r.sqlite + ") AS " + quoteIdent(corr);
}

// ======================================================================= expressions

std::string Translator::expr() {
  std::string out = andExpr();
  while (acceptKw("OR")) {
    out += " OR " + andExpr();
    lastType_ = QType{};
  }
  return out;
}

std::string Translator::andExpr() {
  std::string out = notExpr();
  while (acceptKw("AND")) {
    out += " AND " + notExpr();
    lastType_ = QType{};
  }
  return out;
}

std::string Translator::notExpr() {
  if (acceptKw("NOT")) {
    std::string out = "NOT " + notExpr();
    lastType_ = QType{};
    return out;
  }
  return predicate();
}

std::string Translator::subqueryInParens() {
  expectOp("(");
  ++depth_;
  std::string inner = selectStatement(false);
  --depth_;
  expectOp(")");
  return "(" + inner + ")";
}

std::string Translator::predicate() {
  if (acceptKw("EXISTS")) {
    std::string out = "EXISTS " + subqueryInParens();
    lastType_ = QType{};
    return out;
  }
  std::string left = additive();
  QType leftType = lastType_;
  size_t afterLeft = i_;
  for (;;) {
    static const char *const kCmp[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">=", "!<", "!>", "^<", "^>"};
    std::string cmp;
    for (const char *c : kCmp)
      if (isOp(c)) cmp = c;
    if (!cmp.empty()) {
      ++i_;
      if (cmp == "!=" || cmp == "^=") cmp = "<>";
      if (cmp == "!<" || cmp == "^<") cmp = ">=";
      if (cmp == "!>" || cmp == "^>") cmp = "<=";
      if (kw("ANY") || kw("SOME") || kw("ALL")) {
        bool all = tk().text == "ALL";
        ++i_;
        std::string sub = subqueryInParens();
        if (!all && cmp == "=") left = left + " IN " + sub;
        else if (all && cmp == "<>") left = left + " NOT IN " + sub;
        else raise(kSqlStmtNotSupported, {cmp + (all ? " ALL" : " ANY")});
        continue;
      }
      left = left + " " + cmp + " " + additive();
      continue;
    }
    if (kw("IS")) {
      ++i_;
      bool neg = acceptKw("NOT");
      expectKw("NULL");
      left = left + (neg ? " IS NOT NULL" : " IS NULL");
      continue;
    }
    bool neg = false;
    size_t save = i_;
    if (kw("NOT") && (kw("BETWEEN", 1) || kw("IN", 1) || kw("LIKE", 1))) {
      ++i_;
      neg = true;
    }
    if (acceptKw("BETWEEN")) {
      std::string lo = additive();
      expectKw("AND");
      std::string hi = additive();
      left = left + (neg ? " NOT BETWEEN " : " BETWEEN ") + lo + " AND " + hi;
      continue;
    }
    if (acceptKw("IN")) {
      std::string list;
      if (isOp("(") && (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) {
        list = subqueryInParens();
      } else if (acceptOp("(")) {
        list = "(";
        bool first = true;
        do {
          list += (first ? "" : ", ") + expr();
          first = false;
        } while (acceptOp(","));
        expectOp(")");
        list += ")";
      } else {
        list = "(" + additive() + ")";
      }
      left = left + (neg ? " NOT IN " : " IN ") + list;
      continue;
    }
    if (acceptKw("LIKE")) {
      std::string pat = additive();
      left = left + (neg ? " NOT LIKE " : " LIKE ") + pat;
      if (acceptKw("ESCAPE")) left += " ESCAPE " + additive();
      continue;
    }
    i_ = save;
    break;
  }
  // A predicate is a truth value, not a value of the left operand's type.
  lastType_ = i_ == afterLeft ? leftType : QType{};
  return left;
}

// The type of a numeric operation: the operand later in the promotion order; unknown when
// either is unknown or not numeric.
static QType numericResult(const QType &a, const QType &b) {
  if (!a.isNumeric() || !b.isNumeric() || a.isDistinct() || b.isDistinct()) return QType{};
  auto rank = [](Base x) {
    switch (x) {
      case Base::SmallInt: return 0;
      case Base::Integer: return 1;
      case Base::BigInt: return 2;
      case Base::Decimal: return 3;
      case Base::Real: return 4;
      default: return 5;
    }
  };
  QType r = rank(a.base) >= rank(b.base) ? a : b;
  if (r.base == Base::SmallInt) r.base = Base::Integer;
  return r;
}

std::string Translator::additive() {
  std::string out = multiplicative();
  QType t = lastType_;
  for (;;) {
    if (acceptOp("+")) { out += " + " + multiplicative(); t = numericResult(t, lastType_); }
    else if (acceptOp("-")) { out += " - " + multiplicative(); t = numericResult(t, lastType_); }
    else if (acceptOp("||") || acceptKw("CONCAT")) {
      out += " || " + multiplicative();
      bool lob = (t.isLob() && !t.isDistinct()) || (lastType_.isLob() && !lastType_.isDistinct());
      t = QType{};
      t.base = lob ? Base::Clob : Base::Varchar;
      t.length = lob ? 2147483647 : 32672;
    } else {
      lastType_ = t;
      return out;
    }
  }
}

std::string Translator::multiplicative() {
  std::string out = unary();
  QType t = lastType_;
  for (;;) {
    if (acceptOp("*")) { out += " * " + unary(); t = numericResult(t, lastType_); }
    else if (acceptOp("/")) { out += " / " + unary(); t = numericResult(t, lastType_); }
    else {
      lastType_ = t;
      return out;
    }
  }
}

std::string Translator::unary() {
  if (acceptOp("-")) return "-" + unary();
  if (acceptOp("+")) return unary();
  lastType_ = QType{};
  return primary();
}

std::string Translator::castExpr(QType *typeOut) {
  expectOp("(");
  std::string value;
  if (kw("NULL") && kw("AS", 1)) {
    ++i_;
    value = "NULL";
  } else if (tk().kind == Tok::Param && kw("AS", 1)) {
    ++i_;
    value = nextParam();
  } else {
    value = expr();
  }
  expectKw("AS");
  QType t = dataType();
  expectOp(")");
  if (typeOut) *typeOut = t;
  lastType_ = t;
  return "QCAST(" + value + ", " + quoteString(t.sqliteDecl()) + ")";
}

std::string Translator::caseExpr() {
  std::string out = "CASE";
  if (!kw("WHEN")) out += " " + expr();
  QType result;
  while (acceptKw("WHEN")) {
    out += " WHEN " + expr();
    expectKw("THEN");
    out += " THEN " + expr();
    if (result.base == Base::None) result = lastType_;
  }
  if (acceptKw("ELSE")) out += " ELSE " + expr();
  if (result.base == Base::None) result = lastType_;
  expectKw("END");
  lastType_ = result;
  return out + " END";
}

std::string Translator::specialRegister() {
  // At CURRENT or one of the underscore forms; the caller checked.
  std::string w = tk().text;
  ++i_;
  std::string reg = w;
  if (w == "CURRENT") {
    if (acceptKw("FUNCTION")) {
      expectKw("PATH");
      reg = "PATH";
    } else if (isName()) {
      reg = tk().text;
      ++i_;
    }
  } else if (w.rfind("CURRENT_", 0) == 0) {
    reg = w.substr(8);
  }
  if (reg == "SCHEMA" || reg == "SQLID") return quoteString(s_.currentSchema());
  if (reg == "USER") return quoteString(s_.user());
  if (reg == "SERVER") return quoteString(s_.dbName());
  if (reg == "PATH") {
    std::string p;
    for (size_t k = 0; k < s_.functionPath().size(); ++k) p += (k ? "," : "") + quoteIdent(s_.functionPath()[k]);
    return quoteString(p);
  }
  if (reg == "DATE" || reg == "TIME" || reg == "TIMESTAMP") return "QCURRENT(" + quoteString(reg) + ")";
  if (reg == "TIMEZONE") return "0";
  fail("SCHEMA");
}

Translator::ScopeItem Translator::tableScope(const std::string &exposed, const TableInfo &info) {
  ScopeItem item{exposed, {}};
  for (const ColumnDef &c : info.columns) item.cols.push_back(ScopeColumn{c.name, c.name, c.type, {}});
  return item;
}

const Translator::ScopeColumn *Translator::findColumn(const std::vector<std::string> &parts, std::string *exposed) const {
  const std::string &col = parts.back();
  const std::string *qual = parts.size() >= 2 ? &parts[parts.size() - 2] : nullptr;
  for (auto level = scopes_.rbegin(); level != scopes_.rend(); ++level) {
    for (const ScopeItem &item : *level) {
      if (qual && item.exposed != *qual) continue;
      for (const ScopeColumn &c : item.cols)
        if (c.name == col) {
          *exposed = item.exposed;
          return &c;
        }
    }
  }
  return nullptr;
}

std::string Translator::columnRef(const std::vector<std::string> &parts) {
  const std::string &col = parts.back();
  std::string exposed;
  const ScopeColumn *found = findColumn(parts, &exposed);
  if (found) {
    lastType_ = found->type;
    if (!found->sql.empty()) return found->sql;
    // A column renamed by a correlation list is reached by its own name.
    if (found->real != found->name) return quoteIdent(exposed) + "." + quoteIdent(found->real);
  }
  if (!colPrefix_.empty()) return colPrefix_ + "." + quoteIdent(col);
  if (parts.size() == 1) return quoteIdent(col);
  return quoteIdent(parts[parts.size() - 2]) + "." + quoteIdent(col);
}

std::string Translator::primary() {
  const Token &t = tk();
  lastType_ = QType{};
  lastIsRoutine_ = false;
  switch (t.kind) {
    case Tok::Param: ++i_; return nextParam();
    case Tok::String: case Tok::GString:
      ++i_;
      lastType_.base = t.kind == Tok::GString ? Base::Vargraphic : Base::Varchar;
      lastType_.length = static_cast<int64_t>(t.text.size());
      return quoteString(t.text);
    case Tok::HexString: {
      ++i_;
      lastType_.base = Base::Varchar;
      lastType_.forBitData = true;
      lastType_.length = static_cast<int64_t>(t.text.size());
      static const char *const kHex = "0123456789ABCDEF";
      std::string h = "X'";
      for (unsigned char c : t.text) {
        h.push_back(kHex[c >> 4]);
        h.push_back(kHex[c & 15]);
      }
      return h + "'";
    }
    case Tok::Integer: case Tok::Decimal: case Tok::Float:
      ++i_;
      if (t.kind == Tok::Integer) lastType_.base = t.text.size() > 9 ? Base::BigInt : Base::Integer;
      else if (t.kind == Tok::Decimal) lastType_.base = Base::Decimal, lastType_.length = 31;
      else lastType_.base = Base::Double;
      return t.text;
    case Tok::Op:
      if (t.text == "(") {
        if (atSubquery() || (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) return subqueryInParens();
        ++i_;
        std::string inner = expr();
        if (acceptOp(",")) {
          inner += ", " + expr();
          while (acceptOp(",")) inner += ", " + expr();
          lastType_ = QType{};
        }
        expectOp(")");
        return "(" + inner + ")";
      }
      fail("<expression>");
    case Tok::End:
      fail("<expression>");
    case Tok::Ident:
      if (t.text == "CASE") { ++i_; return caseExpr(); }
      if (t.text == "CAST" && isOp("(", 1)) { ++i_; return castExpr(nullptr); }
      if (t.text == "NULL") { ++i_; return "NULL"; }
      if (!isOp("(", 1) && !isOp(".", 1)) {
        if (t.text == "USER" || t.text == "CURRENT_USER" || t.text == "SESSION_USER" || t.text == "SYSTEM_USER") {
          ++i_;
          lastType_.base = Base::Varchar;
          lastType_.length = 128;
          return quoteString(s_.user());
        }
        if (t.text == "CURRENT" || t.text == "CURRENT_DATE" || t.text == "CURRENT_TIME" ||
            t.text == "CURRENT_TIMESTAMP" || t.text == "CURRENT_SCHEMA" || t.text == "CURRENT_PATH" ||
            t.text == "CURRENT_SERVER") {
          std::string reg = specialRegister();
          if (reg.rfind("QCURRENT('", 0) == 0) {
            lastType_.base = reg[10] == 'D' ? Base::Date : reg.size() > 20 ? Base::Timestamp : Base::Time;
          } else {
            lastType_.base = Base::Varchar;
            lastType_.length = 254;
          }
          return reg;
        }
      }
      [[fallthrough]];
    case Tok::DelimIdent: {
      std::vector<std::string> parts;
      parts.push_back(name(kMaxName));
      while (isOp(".") && isName(1) && parts.size() < 3) {
        ++i_;
        parts.push_back(name(kMaxName));
      }
      if (isOp("(")) {
        if (parts.size() > 2) fail("(");
        if (parts.size() == 2) return functionCall(parts[0], parts[1], true);
        return functionCall("", parts[0], false);
      }
      return columnRef(parts);
    }
  }
  fail("<expression>");
}

// Built-in scalar and column functions, and the cast functions of distinct types.
std::string Translator::functionCall(const std::string &schema, const std::string &fname, bool qualified) {
  expectOp("(");
  bool builtinSchema = !qualified || schema == kSystemSchema || schema == "SYSFUN";
  // Column functions with DISTINCT or *.
  if (builtinSchema && (fname == "COUNT" || fname == "SUM" || fname == "AVG" || fname == "MIN" || fname == "MAX")) {
    if (fname == "COUNT" && acceptOp("*")) {
      expectOp(")");
      lastType_ = QType{};
      lastType_.base = Base::Integer;
      return "count(*)";
    }
    std::string distinct;
    if (acceptKw("DISTINCT")) distinct = "DISTINCT ";
    else acceptKw("ALL");
    std::vector<std::string> args;
    do args.push_back(expr());
    while (acceptOp(","));
    expectOp(")");
    if (fname == "COUNT") lastType_ = QType{}, lastType_.base = Base::Integer;
    else if (fname == "AVG") lastType_ = numericResult(lastType_, lastType_);
    std::string out = (fname == "COUNT" ? "count" : fname == "SUM" ? "sum" : fname == "AVG" ? "avg" : fname == "MIN" ? "min" : "max");
    out += "(" + distinct;
    for (size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
    return out + ")";
  }
  std::vector<std::string> args;
  std::vector<QType> argTypes;
  if (!isOp(")")) {
    do {
      args.push_back(expr());
      argTypes.push_back(lastType_);
    } while (acceptOp(","));
  }
  expectOp(")");
  // Built-in results: strings keep a large object's type, casts give their target.
  auto typed = [&](Base b, std::string out) {
    lastType_ = QType{};
    lastType_.base = b;
    lastType_.length = b == Base::Clob ? 2147483647 : b == Base::Varchar ? 32672 : 0;
    return out;
  };
  Base stringResult = !argTypes.empty() && argTypes[0].isLob() && !argTypes[0].isDistinct() ? Base::Clob : Base::Varchar;
  auto argc = [&](size_t lo, size_t hi) {
    if (args.size() < lo || args.size() > hi) raise(kSqlNoFunction, {fname, "FUNCTION"});
  };
  auto call = [&](const std::string &f) {
    std::string out = f + "(";
    for (size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
    return out + ")";
  };
  auto castTo = [&](const QType &t) {
    lastType_ = t;
    return "QCAST(" + args[0] + ", " + quoteString(t.sqliteDecl()) + ")";
  };
  if (builtinSchema) {
    const std::string &f = fname;
    QType t;
    if (f == "GENERATE_UNIQUE") { argc(0, 0); return "QGENERATE_UNIQUE()"; }
    if (f == "LENGTH") { argc(1, 1); return typed(Base::Integer, call("QLENGTH")); }
    if (f == "RTRIM" || f == "LTRIM") { argc(1, 1); return typed(stringResult, call(f == "RTRIM" ? "rtrim" : "ltrim")); }
    if (f == "STRIP" || f == "TRIM") { argc(1, 1); return typed(stringResult, call("trim")); }
    if (f == "SUBSTR" || f == "SUBSTRING") { argc(2, 3); return typed(stringResult, call("QSUBSTR")); }
    if (f == "UPPER" || f == "UCASE") { argc(1, 1); return typed(stringResult, call("upper")); }
    if (f == "LOWER" || f == "LCASE") { argc(1, 1); return typed(stringResult, call("lower")); }
    if (f == "COALESCE" || f == "VALUE") { argc(2, 64); lastType_ = argTypes[0]; return call("coalesce"); }
    if (f == "NULLIF") { argc(2, 2); return call("nullif"); }
    if (f == "CONCAT") { argc(2, 2); return "(" + args[0] + " || " + args[1] + ")"; }
    if (f == "HEX") { argc(1, 1); return call("hex"); }
    if (f == "ABS" || f == "ABSVAL") { argc(1, 1); return call("abs"); }
    if (f == "MOD") { argc(2, 2); return "(" + args[0] + " % " + args[1] + ")"; }
    if (f == "ROUND") { argc(1, 2); return call("round"); }
    if (f == "REPLACE") { argc(3, 3); return typed(stringResult, call("replace")); }
    if (f == "POSSTR") { argc(2, 2); return typed(Base::Integer, call("instr")); }
    if (f == "LOCATE") { argc(2, 3); return typed(Base::Integer, call("QLOCATE")); }
    if (f == "LEFT") { argc(2, 2); return "substr(" + args[0] + ", 1, " + args[1] + ")"; }
    if (f == "RIGHT") { argc(2, 2); return "substr(" + args[0] + ", -(" + args[1] + "))"; }
    if (f == "FLOOR" || f == "CEIL" || f == "CEILING" || f == "SIGN") { argc(1, 1); return call("Q" + (f == "CEILING" ? std::string("CEIL") : f)); }
    if (f == "MAX" || f == "MIN") { argc(2, 64); return call(f == "MAX" ? "max" : "min"); }
    if (f == "YEAR" || f == "MONTH" || f == "DAY" || f == "HOUR" || f == "MINUTE" || f == "SECOND") {
      argc(1, 1);
      return "QDATEPART(" + args[0] + ", " + quoteString(f) + ")";
    }
    if (f == "SMALLINT") { argc(1, 1); t.base = Base::SmallInt; return castTo(t); }
    if (f == "INTEGER" || f == "INT") { argc(1, 1); t.base = Base::Integer; return castTo(t); }
    if (f == "BIGINT") { argc(1, 1); t.base = Base::BigInt; return castTo(t); }
    if (f == "DOUBLE" || f == "FLOAT" || f == "DOUBLE_PRECISION") { argc(1, 1); t.base = Base::Double; return castTo(t); }
    if (f == "REAL") { argc(1, 1); t.base = Base::Real; return castTo(t); }
    if (f == "DATE" || f == "TIME" || f == "TIMESTAMP") {
      argc(1, 1);
      t.base = f == "DATE" ? Base::Date : f == "TIME" ? Base::Time : Base::Timestamp;
      return castTo(t);
    }
    if (f == "DECIMAL" || f == "DEC") {
      argc(1, 3);
      return "QCAST(" + args[0] + ", 'DECIMAL(' || " + (args.size() > 1 ? args[1] : "15") + " || ',' || " +
             (args.size() > 2 ? args[2] : "0") + " || ')')";
    }
    if (f == "CHAR" || f == "VARCHAR" || f == "CLOB" || f == "BLOB" || f == "LONG_VARCHAR") {
      argc(1, 2);
      t.base = f == "CHAR" ? Base::Char : f == "CLOB" ? Base::Clob : f == "BLOB" ? Base::Blob : Base::Varchar;
      if (args.size() == 2) {
        return "QCAST(" + args[0] + ", '" + t.sqliteDecl().substr(0, t.sqliteDecl().find('(')) + "(' || " + args[1] + " || ')')";
      }
      t.length = t.base == Base::Char ? 254 : t.base == Base::Varchar ? 32672 : 2147483647;
      return "QCAST(" + args[0] + ", " + quoteString(t.sqliteDecl()) + ", 1)";
    }
  }
  // The cast function of a distinct type: TYPE(source value) and SOURCE(distinct value).
  {
    std::vector<std::string> schemas;
    if (qualified) schemas.push_back(schema);
    else {
      schemas = s_.functionPath();
      schemas.push_back(s_.currentSchema());
    }
    for (const std::string &sc : schemas) {
      if (auto d = findDistinctType(s_.db(), sc, fname)) {
        argc(1, 1);
        lastType_ = d->source;
        lastType_.typeSchema = d->schema;
        lastType_.typeName = d->name;
        return "QCAST(" + args[0] + ", " + quoteString(d->source.sqliteDecl()) + ")";
      }
    }
    if (qualified) {
      // A source-type cast function in a distinct type's schema, e.g. QUARNXML.VARCHAR(x).
      Stmt st(s_.db(), "SELECT SOURCENAME, LENGTH, SCALE FROM \"SYSQUARN.DATATYPES\" WHERE TYPESCHEMA = ?1 AND "
                       "METATYPE = 'T' AND SOURCENAME = ?2");
      st.bind(1, schema).bind(2, fname == "CHAR" ? std::string("CHARACTER") : fname);
      if (st.step()) {
        argc(1, 1);
        QType source = typeFromCatalog(st.text(0), st.integer(1), static_cast<int>(st.integer(2)));
        if (source.base == Base::None) source = lastType_;
        lastType_ = source;
        return args[0];
      }
    }
  }
  // A user-defined function, chosen by the types of its arguments.
  RoutineDef def = resolveFunction(s_, qualified ? schema : "", fname, 'S', argTypes);
  addDependency('F', def.schema, def.specific);
  return routineCall(def, args);
}

// The call of a user-defined scalar function; sourced functions call their source.
std::string Translator::routineCall(const RoutineDef &def, const std::vector<std::string> &args) {
  RoutineDef target = def;
  for (int hops = 0; target.origin == 'U' && hops < 16; ++hops) {
    std::optional<RoutineDef> src = loadRoutineDef(s_.db(), target.sourceSchema, target.sourceSpecific);
    if (!src) raise(kSqlUndefinedName, {target.sourceSchema + "." + target.sourceSpecific});
    target = *src;
  }
  lastType_ = def.result.type;
  lastIsRoutine_ = true;
  if (target.origin == 'S') {
    // A cast function of a distinct type: the value keeps its representation.
    if (args.size() != 1) raise(kSqlNoFunction, {def.qualified(), "FUNCTION"});
    return "QCAST(" + args[0] + ", " + quoteString(def.result.type.sqliteDecl()) + ")";
  }
  std::string out = "QUDF(" + quoteString(functionKey(target));
  for (const std::string &a : args) out += ", " + a;
  return out + ")";
}

// ======================================================================= statements

std::vector<std::string> Translator::nameList(size_t maxLen) {
  std::vector<std::string> out;
  do out.push_back(name(maxLen));
  while (acceptOp(","));
  expectOp(")");
  return out;
}

Plan Translator::insertStmt() {
  expectKw("INSERT");
  expectKw("INTO");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  std::vector<std::string> cols;
  if (isOp("(") && !(kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) {
    ++i_;
    cols = nameList(kMaxColumn);
    std::set<std::string> seen;
    for (const std::string &c : cols) {
      if (!r.info.column(c)) raise(kSqlNotColumnOf, {c, q.text()});
      if (!seen.insert(c).second) raise(kSqlDuplicateName, {c});
    }
  }
  std::vector<std::string> targets = cols;
  if (targets.empty())
    for (const ColumnDef &c : r.info.columns) targets.push_back(c.name);
  Plan p;
  p.kind = Plan::Dml;
  p.writes = true;
  std::string out = "INSERT INTO " + r.sqlite;
  if (!cols.empty()) {
    out += " (";
    for (size_t k = 0; k < cols.size(); ++k) out += (k ? ", " : "") + quoteIdent(cols[k]);
    out += ")";
  }
  if (acceptKw("VALUES")) {
    out += " VALUES ";
    bool firstRow = true;
    do {
      std::vector<std::string> row;
      bool paren = acceptOp("(");
      do {
        if (kw("DEFAULT") && (isOp(",", 1) || isOp(")", 1) || tk(1).kind == Tok::End)) {
          ++i_;
          size_t k = row.size();
          const ColumnDef *c = k < targets.size() ? r.info.column(targets[k]) : nullptr;
          row.push_back(c && !c->defaultSql.empty() ? c->defaultSql : "NULL");
        } else {
          row.push_back(expr());
        }
      } while (paren && acceptOp(","));
      if (paren) expectOp(")");
      if (row.size() != targets.size()) raise(kSqlValueCount);
      out += firstRow ? "(" : ", (";
      firstRow = false;
      for (size_t k = 0; k < row.size(); ++k) out += (k ? ", " : "") + row[k];
      out += ")";
    } while (acceptOp(","));
  } else {
    ++depth_;
    out += " " + selectStatement(false);
    --depth_;
    p.searched = true;
  }
  expectEnd();
  p.sql = out;
  p.nParams = nParams_;
  return p;
}

Plan Translator::updateStmt() {
  expectKw("UPDATE");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  std::string corr = r.exposed;
  if (acceptKw("AS") || (isCorrelationName() && !kw("SET"))) corr = name(kMaxName);
  expectKw("SET");
  scopes_.push_back({targetScope(corr, r)});
  std::string out = "UPDATE " + r.sqlite + (triggerMode_ ? "" : " AS " + quoteIdent(corr)) + " SET ";
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    auto target = [&]() {
      std::string c = name(kMaxName);
      while (acceptOp(".")) c = name(kMaxName);
      if (!r.info.column(c)) raise(kSqlNotColumnOf, {c, q.text()});
      return c;
    };
    auto value = [&](const std::string &col) {
      if (kw("DEFAULT") && (isOp(",", 1) || isOp(")", 1) || kw("WHERE", 1) || tk(1).kind == Tok::End)) {
        ++i_;
        const ColumnDef *c = r.info.column(col);
        return c && !c->defaultSql.empty() ? c->defaultSql : std::string("NULL");
      }
      return expr();
    };
    if (acceptOp("(")) {
      std::vector<std::string> cols;
      do cols.push_back(target());
      while (acceptOp(","));
      expectOp(")");
      expectOp("=");
      out += "(";
      for (size_t k = 0; k < cols.size(); ++k) out += (k ? ", " : "") + quoteIdent(cols[k]);
      out += ") = ";
      if (isOp("(") && (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) {
        out += subqueryInParens();
      } else {
        expectOp("(");
        std::vector<std::string> vals;
        do vals.push_back(value(cols[vals.size() < cols.size() ? vals.size() : 0]));
        while (acceptOp(","));
        expectOp(")");
        if (vals.size() != cols.size()) raise(kSqlValueCount);
        out += "(";
        for (size_t k = 0; k < vals.size(); ++k) out += (k ? ", " : "") + vals[k];
        out += ")";
      }
    } else {
      std::string c = target();
      expectOp("=");
      out += quoteIdent(c) + " = " + value(c);
    }
  } while (acceptOp(","));
  if (acceptKw("WHERE")) out += " WHERE " + expr();
  expectEnd();
  Plan p;
  p.kind = Plan::Dml;
  p.writes = true;
  p.searched = true;
  p.sql = out;
  p.nParams = nParams_;
  return p;
}

Plan Translator::deleteStmt() {
  expectKw("DELETE");
  expectKw("FROM");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  std::string corr = r.exposed;
  if (acceptKw("AS") || (isCorrelationName() && !kw("WHERE"))) corr = name(kMaxName);
  std::string out = "DELETE FROM " + r.sqlite + (triggerMode_ ? "" : " AS " + quoteIdent(corr));
  scopes_.push_back({targetScope(corr, r)});
  if (acceptKw("WHERE")) out += " WHERE " + expr();
  expectEnd();
  Plan p;
  p.kind = Plan::Dml;
  p.writes = true;
  p.searched = true;
  p.sql = out;
  p.nParams = nParams_;
  return p;
}

std::string Translator::defaultValue(const QType &t, std::string *text) {
  // DEFAULT [constant | special register | NULL]; without a value, the type's default.
  size_t start = i_;
  if (tk().kind == Tok::String || tk().kind == Tok::GString || tk().kind == Tok::HexString ||
      tk().kind == Tok::Integer || tk().kind == Tok::Decimal || tk().kind == Tok::Float || isOp("-") || isOp("+") ||
      kw("NULL") || kw("USER") || kw("CURRENT") || kw("CURRENT_DATE") || kw("CURRENT_TIME") || kw("CURRENT_TIMESTAMP") ||
      kw("CURRENT_SCHEMA")) {
    std::string v = unary();
    *text = sql_.substr(toks_[start].pos, toks_[i_ - 1].pos + toks_[i_ - 1].len - toks_[start].pos);
    return v;
  }
  if (t.isNumeric()) { *text = "0"; return "0"; }
  if (t.base == Base::Date) { *text = "CURRENT DATE"; return "QCURRENT('DATE')"; }
  if (t.base == Base::Time) { *text = "CURRENT TIME"; return "QCURRENT('TIME')"; }
  if (t.base == Base::Timestamp) { *text = "CURRENT TIMESTAMP"; return "QCURRENT('TIMESTAMP')"; }
  if (t.base == Base::Blob || t.forBitData) { *text = "X''"; return "X''"; }
  *text = "''";
  return "''";
}

void Translator::columnDefinition(ColumnDef *col, std::vector<ConstraintSpec> *cons) {
  col->name = name(kMaxColumn);
  col->type = dataType();
  for (;;) {
    std::string constName;
    if (acceptKw("CONSTRAINT")) constName = name(kMaxShortName);
    if (kw("NOT") && kw("NULL", 1)) {
      i_ += 2;
      col->nullable = false;
    } else if (acceptKw("NULL")) {
    } else if (kw("NOT") && (kw("LOGGED", 1) || kw("COMPACT", 1))) {
      if (kw("LOGGED", 1)) col->logged = false;
      i_ += 2;
    } else if (acceptKw("LOGGED") || acceptKw("COMPACT")) {
    } else if (kw("WITH") && kw("DEFAULT", 1)) {
      i_ += 2;
      col->defaultSql = defaultValue(col->type, &col->defaultText);
    } else if (acceptKw("DEFAULT")) {
      col->defaultSql = defaultValue(col->type, &col->defaultText);
    } else if (kw("PRIMARY") && kw("KEY", 1)) {
      i_ += 2;
      ConstraintSpec c;
      c.info.type = 'P';
      c.info.name = constName;
      c.info.cols = {col->name};
      c.fromColumn = true;
      cons->push_back(c);
    } else if (acceptKw("UNIQUE")) {
      ConstraintSpec c;
      c.info.type = 'U';
      c.info.name = constName;
      c.info.cols = {col->name};
      c.fromColumn = true;
      cons->push_back(c);
    } else if (kw("REFERENCES") || kw("CHECK")) {
      ConstraintSpec c = tableConstraint(constName);
      if (c.info.type == 'F') c.info.cols = {col->name};
      c.fromColumn = true;
      cons->push_back(c);
    } else {
      if (!constName.empty()) fail("PRIMARY");
      return;
    }
  }
}

ConstraintSpec Translator::tableConstraint(const std::string &constName) {
  ConstraintSpec c;
  c.info.name = constName;
  if (kw("PRIMARY") && kw("KEY", 1)) {
    i_ += 2;
    c.info.type = 'P';
    expectOp("(");
    c.info.cols = nameList(kMaxColumn);
  } else if (acceptKw("UNIQUE")) {
    c.info.type = 'U';
    expectOp("(");
    c.info.cols = nameList(kMaxColumn);
  } else if (kw("FOREIGN") || kw("REFERENCES")) {
    c.info.type = 'F';
    if (acceptKw("FOREIGN")) {
      expectKw("KEY");
      expectOp("(");
      c.info.cols = nameList(kMaxColumn);
    }
    expectKw("REFERENCES");
    QualName ref = qualName();
    c.info.refSchema = ref.schema;
    c.info.refTable = ref.name;
    if (acceptOp("(")) c.info.refCols = nameList(kMaxColumn);
    for (;;) {
      if (kw("ON") && kw("DELETE", 1)) {
        i_ += 2;
        if (acceptKw("CASCADE")) c.info.deleteRule = 'C';
        else if (acceptKw("RESTRICT")) c.info.deleteRule = 'R';
        else if (kw("SET") && kw("NULL", 1)) { i_ += 2; c.info.deleteRule = 'N'; }
        else if (kw("NO") && kw("ACTION", 1)) { i_ += 2; c.info.deleteRule = 'A'; }
        else fail("CASCADE");
      } else if (kw("ON") && kw("UPDATE", 1)) {
        i_ += 2;
        if (!acceptKw("RESTRICT")) {
          expectKw("NO");
          expectKw("ACTION");
        }
      } else {
        break;
      }
    }
  } else if (acceptKw("CHECK")) {
    c.info.type = 'K';
    expectOp("(");
    size_t start = i_;
    colPrefix_ = "NEW";
    c.info.checkSql = expr();
    colPrefix_.clear();
    c.checkText = sql_.substr(toks_[start].pos, tk().pos - toks_[start].pos);
    expectOp(")");
  } else {
    fail("PRIMARY");
  }
  return c;
}

void Translator::routineDefinition(RoutineSpec *stmtDef) {
  // Parameters.
  expectOp("(");
  if (!isOp(")")) {
    do {
      RoutineParam p;
      if (stmtDef->routineType == 'P') {
        if (acceptKw("IN")) p.mode = "IN";
        else if (acceptKw("OUT")) p.mode = "OUT";
        else if (acceptKw("INOUT")) p.mode = "INOUT";
      }
      // A parameter name is optional for functions: a name followed by a type.
      bool named = false;
      if (isName() && !isOp(",", 1) && !isOp(")", 1) && !isOp("(", 1) && !isOp(".", 1)) {
        const std::string &w = tk().text;
        static const std::set<std::string> kTypeStarts = {"DOUBLE", "LONG", "CHAR", "CHARACTER", "BINARY"};
        named = tk().kind == Tok::DelimIdent || !kTypeStarts.count(w) ||
                !(kw("PRECISION", 1) || kw("VARCHAR", 1) || kw("VARGRAPHIC", 1) || kw("VARYING", 1) ||
                  kw("LARGE", 1) || kw("FOR", 1));
        if (tk().kind == Tok::Ident && (w == "DOUBLE" || w == "LONG") && (kw("PRECISION", 1) || kw("VARCHAR", 1) || kw("VARGRAPHIC", 1))) named = false;
        if (tk().kind == Tok::Ident && (w == "CHAR" || w == "CHARACTER") && (kw("VARYING", 1) || kw("LARGE", 1) || kw("FOR", 1))) named = false;
      }
      if (named) p.name = name(kMaxColumn);
      p.type = dataType();
      if (kw("AS") && kw("LOCATOR", 1)) {
        i_ += 2;
        p.locator = true;
      }
      stmtDef->params.push_back(p);
    } while (acceptOp(","));
  }
  expectOp(")");
  if (stmtDef->routineType == 'F') {
    expectKw("RETURNS");
    if (acceptKw("TABLE")) {
      stmtDef->functionType = 'T';
      expectOp("(");
      do {
        RoutineParam c;
        c.name = name(kMaxColumn);
        c.type = dataType();
        if (kw("AS") && kw("LOCATOR", 1)) {
          i_ += 2;
          c.locator = true;
        }
        stmtDef->columns.push_back(c);
      } while (acceptOp(","));
      expectOp(")");
    } else {
      stmtDef->result.type = dataType();
      if (kw("AS") && kw("LOCATOR", 1)) {
        i_ += 2;
        stmtDef->result.locator = true;
      }
      if (kw("CAST") && kw("FROM", 1)) {
        // The routine writes the CAST FROM type; the engine casts it to the declared result.
        i_ += 2;
        RoutineParam from;
        from.type = dataType();
        if (kw("AS") && kw("LOCATOR", 1)) {
          i_ += 2;
          from.locator = true;
        }
        stmtDef->castFrom = from;
      }
    }
  }
  // Options, in any order.
  while (!atEnd()) {
    if (acceptKw("SPECIFIC")) {
      QualName sp = qualName(kMaxName);
      stmtDef->specific = sp.name;
    } else if (kw("EXTERNAL") && kw("NAME", 1)) {
      i_ += 2;
      if (tk().kind == Tok::String) {
        stmtDef->externalName = tk().text;
        ++i_;
      } else {
        stmtDef->externalName = name(kMaxName);
      }
    } else if (kw("EXTERNAL") && kw("ACTION", 1)) {
      i_ += 2;
      stmtDef->externalAction = true;
    } else if (kw("NO") && kw("EXTERNAL", 1)) {
      i_ += 2;
      expectKw("ACTION");
      stmtDef->externalAction = false;
    } else if (acceptKw("EXTERNAL")) {
      // EXTERNAL without NAME: the entry has the routine's name.
    } else if (acceptKw("LANGUAGE")) {
      stmtDef->language = name(kMaxShortName);
    } else if (kw("PARAMETER") && kw("STYLE", 1)) {
      i_ += 2;
      stmtDef->parameterStyle = name(kMaxShortName);
    } else if (acceptKw("SOURCE")) {
      stmtDef->origin = 'U';
      RoutineRef ref;
      if (acceptKw("SPECIFIC")) {
        ref.specific = true;
        ref.name = qualName();
      } else {
        ref.name = qualName();
        if (isOp("(")) {
          ref.hasSignature = true;
          ref.signature = signature();
        }
      }
      stmtDef->sourceSchema = ref.name.schema;
      stmtDef->sourceSpecific = resolveRoutine(s_, ref);
    } else if (acceptKw("DETERMINISTIC")) {
      stmtDef->deterministic = true;
    } else if (kw("NOT") && kw("VARIANT", 1)) {
      i_ += 2;
      stmtDef->deterministic = true;
    } else if (kw("NOT") && kw("DETERMINISTIC", 1)) {
      i_ += 2;
      stmtDef->deterministic = false;
    } else if (acceptKw("VARIANT")) {
      stmtDef->deterministic = false;
    } else if (acceptKw("FENCED")) {
      stmtDef->fenced = true;
    } else if (kw("NOT") && kw("FENCED", 1)) {
      i_ += 2;
      stmtDef->fenced = false;
    } else if (kw("NULL") && kw("CALL", 1)) {
      i_ += 2;
      stmtDef->nullCall = true;
    } else if (kw("NOT") && kw("NULL", 1) && kw("CALL", 2)) {
      i_ += 3;
      stmtDef->nullCall = false;
    } else if (kw("RETURNS") && kw("NULL", 1)) {
      i_ += 2;
      expectKw("ON");
      expectKw("NULL");
      expectKw("INPUT");
      stmtDef->nullCall = false;
    } else if (kw("CALLED") && kw("ON", 1)) {
      i_ += 2;
      expectKw("NULL");
      expectKw("INPUT");
      stmtDef->nullCall = true;
    } else if (kw("NO") && kw("SQL", 1)) {
      i_ += 2;
      stmtDef->sqlAccess = 'N';
    } else if (kw("CONTAINS") && kw("SQL", 1)) {
      i_ += 2;
      stmtDef->sqlAccess = 'C';
    } else if (kw("READS") && kw("SQL", 1)) {
      i_ += 2;
      expectKw("DATA");
      stmtDef->sqlAccess = 'R';
    } else if (kw("MODIFIES") && kw("SQL", 1)) {
      i_ += 2;
      expectKw("DATA");
      stmtDef->sqlAccess = 'M';
    } else if (acceptKw("SCRATCHPAD")) {
      stmtDef->scratchpad = true;
      if (tk().kind == Tok::Integer) ++i_;
    } else if (kw("NO") && kw("SCRATCHPAD", 1)) {
      i_ += 2;
      stmtDef->scratchpad = false;
    } else if (kw("FINAL") && kw("CALL", 1)) {
      i_ += 2;
      stmtDef->finalCall = true;
    } else if (kw("NO") && kw("FINAL", 1)) {
      i_ += 2;
      expectKw("CALL");
      stmtDef->finalCall = false;
    } else if (kw("ALLOW") && kw("PARALLEL", 1)) {
      i_ += 2;
      stmtDef->parallel = true;
    } else if (kw("DISALLOW") && kw("PARALLEL", 1)) {
      i_ += 2;
      stmtDef->parallel = false;
    } else if (acceptKw("DBINFO")) {
      stmtDef->dbinfo = true;
    } else if (kw("NO") && kw("DBINFO", 1)) {
      i_ += 2;
      stmtDef->dbinfo = false;
    } else if (kw("RESULT") && kw("SETS", 1)) {
      i_ += 2;
      stmtDef->resultSets = static_cast<int>(intLiteral());
    } else if (kw("DYNAMIC") && kw("RESULT", 1)) {
      i_ += 2;
      expectKw("SETS");
      stmtDef->resultSets = static_cast<int>(intLiteral());
    } else if (kw("PROGRAM") && kw("TYPE", 1)) {
      i_ += 2;
      if (!acceptKw("SUB")) expectKw("MAIN");
    } else if (kw("STATIC") && kw("DISPATCH", 1)) {
      i_ += 2;
    } else if (acceptKw("CARDINALITY")) {
      intLiteral();
    } else if (kw("INHERIT") && kw("SPECIAL", 1)) {
      i_ += 2;
      expectKw("REGISTERS");
    } else if (kw("NO") && kw("COLLID", 1)) {
      i_ += 2;
    } else if (kw("COMMIT") && kw("ON", 1)) {
      i_ += 2;
      expectKw("RETURN");
      if (!acceptKw("NO")) expectKw("YES");
    } else if (kw("THREADSAFE") || (kw("NOT") && kw("THREADSAFE", 1))) {
      i_ += kw("NOT") ? 2 : 1;
    } else {
      fail("LANGUAGE");
    }
  }
}

std::vector<QType> Translator::signature() {
  std::vector<QType> sig;
  expectOp("(");
  if (!isOp(")")) {
    do {
      // Lengths may be left out: "VARCHAR()" matches any length.
      if (isName() && isOp("(", 1) && isOp(")", 2)) {
        std::string t = tk().text;
        i_ += 3;
        std::string text = t == "VARCHAR" || t == "CHAR" || t == "CHARACTER" || t == "CLOB" || t == "BLOB" ||
                                   t == "DBCLOB" || t == "GRAPHIC" || t == "VARGRAPHIC"
                               ? t + "(1)"
                               : t;
        QType q = parseTypeText(s_, text);
        sig.push_back(q);
      } else {
        sig.push_back(dataType());
      }
      if (kw("AS") && kw("LOCATOR", 1)) i_ += 2;
    } while (acceptOp(","));
  }
  expectOp(")");
  return sig;
}

RoutineRef Translator::routineRef(char routineType, bool specific) {
  RoutineRef r;
  r.routineType = routineType;
  r.specific = specific;
  r.name = qualName();
  if (!specific && isOp("(")) {
    r.hasSignature = true;
    r.signature = signature();
  }
  return r;
}

Plan Translator::createStmt() {
  size_t start = i_;
  expectKw("CREATE");
  Plan p;
  p.kind = Plan::Action;
  p.writes = true;
  p.definition = true;
  if (acceptKw("TABLE")) {
    CreateTableSpec stmtDef;
    stmtDef.name = qualName();
    expectOp("(");
    do {
      std::string constName;
      if (acceptKw("CONSTRAINT")) {
        constName = name(kMaxShortName);
        stmtDef.constraints.push_back(tableConstraint(constName));
      } else if ((kw("PRIMARY") && kw("KEY", 1)) || (kw("UNIQUE") && isOp("(", 1)) || kw("FOREIGN") ||
                 (kw("CHECK") && isOp("(", 1))) {
        stmtDef.constraints.push_back(tableConstraint(""));
      } else {
        ColumnDef col;
        columnDefinition(&col, &stmtDef.constraints);
        stmtDef.columns.push_back(col);
      }
    } while (acceptOp(","));
    expectOp(")");
    while (!atEnd()) {
      if (acceptKw("IN")) stmtDef.tbspace = name(kMaxShortName);
      else if ((kw("INDEX") || kw("LONG")) && kw("IN", 1)) { i_ += 2; name(kMaxShortName); }
      else if (kw("DATA") && kw("CAPTURE", 1)) { i_ += 2; if (!acceptKw("NONE")) expectKw("CHANGES"); }
      else if (kw("NOT") && kw("LOGGED", 1)) { i_ += 2; expectKw("INITIALLY"); }
      else fail("IN");
    }
    expectEnd();
    p.action = [stmtDef](Session &s) { ddlCreateTable(s, stmtDef); };
    return p;
  }
  if (acceptKw("VIEW")) {
    QualName v = qualName();
    std::vector<std::string> cols;
    if (acceptOp("(")) cols = nameList(kMaxColumn);
    expectKw("AS");
    size_t bodyStart = i_;
    std::string body = selectStatement(true);
    if (kw("WITH") && (kw("CHECK", 1) || kw("CASCADED", 1) || kw("LOCAL", 1))) {
      ++i_;
      acceptKw("CASCADED");
      acceptKw("LOCAL");
      expectKw("CHECK");
      expectKw("OPTION");
    }
    expectEnd();
    if (nParams_ > 0) raise(kSqlHostVariableUndefined, {"?"});
    std::string text = sqlText(start);
    (void)bodyStart;
    std::vector<QType> types = itemTypesKnown_ ? itemTypes_ : std::vector<QType>{};
    p.action = [v, cols, body, types, text](Session &s) { ddlCreateView(s, v, cols, body, types, text); };
    return p;
  }
  if (acceptKw("ALIAS") || acceptKw("SYNONYM")) {
    QualName a = qualName();
    expectKw("FOR");
    QualName target = qualName();
    expectEnd();
    p.action = [a, target](Session &s) { ddlCreateAlias(s, a, target); };
    return p;
  }
  if (acceptKw("DISTINCT") || kw("TYPE")) {
    expectKw("TYPE");
    QualName t = qualName();
    expectKw("AS");
    QType source = dataType();
    if (source.isDistinct()) fail("<built-in type>");
    bool comparisons = false;
    if (kw("WITH") && kw("COMPARISONS", 1)) {
      i_ += 2;
      comparisons = true;
    }
    expectEnd();
    p.action = [t, source, comparisons](Session &s) { ddlCreateDistinctType(s, t, source, comparisons); };
    return p;
  }
  if (acceptKw("REGULAR") || acceptKw("LARGE") || acceptKw("LONG") || acceptKw("SYSTEM") || acceptKw("USER") ||
      kw("TABLESPACE") || kw("TEMPORARY")) {
    acceptKw("TEMPORARY");
    expectKw("TABLESPACE");
    std::string n = name(kMaxShortName);
    // The storage clauses are recorded as written; this engine keeps all data in one file.
    while (!atEnd()) ++i_;
    std::string text = sqlText(start);
    p.action = [n, text](Session &s) { ddlCreateTablespace(s, n, text); };
    return p;
  }
  if (acceptKw("UNIQUE") || kw("INDEX")) {
    bool unique = toks_[i_ - 1].text == "UNIQUE";
    expectKw("INDEX");
    QualName ix = qualName();
    expectKw("ON");
    QualName t = qualName();
    expectOp("(");
    std::vector<std::pair<std::string, bool>> cols;
    do {
      std::string c = name(kMaxColumn);
      bool desc = acceptKw("DESC");
      if (!desc) acceptKw("ASC");
      cols.emplace_back(c, desc);
    } while (acceptOp(","));
    expectOp(")");
    while (!atEnd()) {
      if (acceptKw("INCLUDE")) { expectOp("("); nameList(kMaxColumn); }
      else if (acceptKw("CLUSTER") || acceptKw("ALLOW") || acceptKw("DISALLOW") || acceptKw("REVERSE") || acceptKw("SCANS")) {}
      else if (acceptKw("PCTFREE")) intLiteral();
      else fail("END OF STATEMENT");
    }
    p.action = [ix, t, unique, cols](Session &s) { ddlCreateIndex(s, ix, t, unique, cols); };
    return p;
  }
  if (acceptKw("FUNCTION") || kw("PROCEDURE")) {
    RoutineSpec stmtDef;
    stmtDef.routineType = acceptKw("PROCEDURE") ? 'P' : 'F';
    stmtDef.name = qualName();
    routineDefinition(&stmtDef);
    expectEnd();
    stmtDef.text = sqlText(start);
    if (stmtDef.origin == 'E' && stmtDef.externalName.empty() && stmtDef.language.empty()) fail("EXTERNAL");
    p.action = [stmtDef](Session &s) { ddlCreateRoutine(s, stmtDef); };
    return p;
  }
  if (kw("TRIGGER")) {
    TriggerPlan tp = triggerDefinition(TriggerContext{});
    p.action = [tp](Session &s) { ddlCreateTrigger(s, tp); };
    return p;
  }
  if (kw("SCHEMA")) raise(kSqlStmtNotSupported, {"CREATE " + tk().text});
  fail("TABLE");
}

Plan Translator::dropStmt() {
  expectKw("DROP");
  Plan p;
  p.kind = Plan::Action;
  p.writes = true;
  p.definition = true;
  if (acceptKw("TABLE")) {
    QualName n = qualName();
    expectEnd();
    p.action = [n](Session &s) { ddlDropTable(s, n); };
  } else if (acceptKw("VIEW")) {
    QualName n = qualName();
    expectEnd();
    p.action = [n](Session &s) { ddlDropView(s, n); };
  } else if (acceptKw("ALIAS") || acceptKw("SYNONYM")) {
    QualName n = qualName();
    expectEnd();
    p.action = [n](Session &s) { ddlDropAlias(s, n); };
  } else if (acceptKw("DISTINCT") || kw("TYPE")) {
    expectKw("TYPE");
    QualName n = qualName();
    acceptKw("RESTRICT");
    expectEnd();
    p.action = [n](Session &s) { ddlDropDistinctType(s, n); };
  } else if (acceptKw("TABLESPACE")) {
    std::string n = name(kMaxShortName);
    expectEnd();
    p.action = [n](Session &s) { ddlDropTablespace(s, n); };
  } else if (acceptKw("INDEX")) {
    QualName n = qualName();
    expectEnd();
    p.action = [n](Session &s) { ddlDropIndex(s, n); };
  } else if (kw("SPECIFIC") || kw("FUNCTION") || kw("PROCEDURE")) {
    bool specific = acceptKw("SPECIFIC");
    char type = acceptKw("PROCEDURE") ? 'P' : (expectKw("FUNCTION"), 'F');
    RoutineRef ref = routineRef(type, specific);
    acceptKw("RESTRICT");
    expectEnd();
    p.action = [ref](Session &s) { ddlDropRoutine(s, ref); };
  } else if (kw("TRIGGER")) {
    ++i_;
    QualName n = qualName();
    expectEnd();
    p.action = [n](Session &s) { ddlDropTrigger(s, n); };
  } else {
    fail("TABLE");
  }
  return p;
}

Plan Translator::alterStmt() {
  expectKw("ALTER");
  expectKw("TABLE");
  QualName t = qualName();
  std::vector<AlterClause> clauses;
  while (!atEnd()) {
    AlterClause c;
    if (acceptKw("ADD")) {
      std::string constName;
      if (acceptKw("CONSTRAINT")) constName = name(kMaxShortName);
      if ((kw("PRIMARY") && kw("KEY", 1)) || kw("UNIQUE") || kw("FOREIGN") || kw("CHECK")) {
        c.kind = AlterClause::AddConstraint;
        c.constraints.push_back(tableConstraint(constName));
      } else {
        if (!constName.empty()) fail("PRIMARY");
        acceptKw("COLUMN");
        c.kind = AlterClause::AddColumn;
        columnDefinition(&c.column, &c.constraints);
      }
    } else if (acceptKw("DROP")) {
      if (kw("PRIMARY") && kw("KEY", 1)) {
        i_ += 2;
        c.kind = AlterClause::DropPrimaryKey;
      } else {
        c.kind = AlterClause::DropConstraint;
        if (kw("FOREIGN") && kw("KEY", 1)) { i_ += 2; c.dropType = 'F'; }
        else if (acceptKw("UNIQUE")) c.dropType = 'U';
        else if (acceptKw("CHECK")) c.dropType = 'K';
        else expectKw("CONSTRAINT");
        c.dropName = name(kMaxShortName);
      }
    } else if (kw("DATA") && kw("CAPTURE", 1)) {
      i_ += 2;
      if (!acceptKw("NONE")) expectKw("CHANGES");
      continue;
    } else {
      fail("ADD");
    }
    clauses.push_back(c);
    acceptOp(",");
  }
  if (clauses.empty()) fail("ADD");
  Plan p;
  p.kind = Plan::Action;
  p.writes = true;
  p.definition = true;
  p.action = [t, clauses](Session &s) { ddlAlterTable(s, t, clauses); };
  return p;
}

Plan Translator::grantStmt(bool revoke) {
  ++i_;
  GrantSpec g;
  g.revoke = revoke;
  // Privileges.
  do {
    if (acceptKw("ALL")) {
      acceptKw("PRIVILEGES");
      for (const char *pr : {"ALTER", "DELETE", "INDEX", "INSERT", "REFERENCES", "SELECT", "UPDATE"}) g.privileges.push_back(pr);
    } else if (isName()) {
      std::string pr = tk().text;
      static const std::set<std::string> kPrivs = {"SELECT", "INSERT", "UPDATE", "DELETE", "ALTER", "INDEX",
                                                   "REFERENCES", "CONTROL", "EXECUTE", "DBADM", "CONNECT",
                                                   "CREATETAB", "BINDADD", "CREATE_NOT_FENCED", "IMPLICIT_SCHEMA",
                                                   "LOAD", "USE"};
      if (!kPrivs.count(pr)) fail("SELECT");
      ++i_;
      if ((pr == "UPDATE" || pr == "REFERENCES") && acceptOp("(")) nameList(kMaxColumn);
      g.privileges.push_back(pr);
    } else {
      fail("SELECT");
    }
  } while (acceptOp(","));
  expectKw("ON");
  if (acceptKw("DATABASE")) {
    g.objType = 'D';
  } else if (kw("FUNCTION") || kw("PROCEDURE") || kw("SPECIFIC")) {
    bool specific = acceptKw("SPECIFIC");
    char type = acceptKw("PROCEDURE") ? 'P' : (expectKw("FUNCTION"), 'F');
    g.objType = type;
    g.routine = routineRef(type, specific);
  } else if (acceptKw("TABLESPACE")) {
    g.objType = 'S';
    g.table = QualName{"", name(kMaxShortName)};
  } else {
    acceptKw("TABLE");
    g.objType = 'T';
    g.table = qualName();
  }
  if (revoke) expectKw("FROM");
  else expectKw("TO");
  do {
    char type = 'U';
    if (acceptKw("USER")) type = 'U';
    else if (acceptKw("GROUP")) type = 'G';
    if (kw("PUBLIC")) {
      ++i_;
      g.grantees.emplace_back('G', "PUBLIC");
    } else {
      g.grantees.emplace_back(type, name(kMaxName));
    }
  } while (acceptOp(","));
  if (!revoke && kw("WITH") && kw("GRANT", 1)) {
    i_ += 2;
    expectKw("OPTION");
    g.grantable = true;
  }
  if (revoke) acceptKw("BY") && acceptKw("ALL");
  expectEnd();
  Plan p;
  p.kind = Plan::Action;
  p.writes = true;
  p.action = [g](Session &s) { ddlGrant(s, g); };
  return p;
}

Plan Translator::setStmt() {
  expectKw("SET");
  Plan p;
  p.kind = Plan::Action;
  bool current = acceptKw("CURRENT");
  if (acceptKw("SCHEMA") || acceptKw("SQLID") || (current && false)) {
    acceptOp("=");
    std::string schema;
    if (tk().kind == Tok::String) {
      schema = tk().text;
      ++i_;
    } else if (kw("USER") || kw("SESSION_USER")) {
      ++i_;
      schema = s_.user();
    } else {
      schema = name(kMaxSchema);
    }
    if (schema.empty() || schema.size() > kMaxSchema) raise(kSqlNameTooLong, {schema, std::to_string(kMaxSchema)});
    expectEnd();
    p.action = [schema](Session &s) { s.setSchema(schema); };
    return p;
  }
  if (acceptKw("FUNCTION") || kw("PATH")) {
    expectKw("PATH");
    acceptOp("=");
    std::vector<std::string> path;
    do {
      if (kw("SYSTEM") && kw("PATH", 1)) {
        i_ += 2;
        path.push_back(kSystemSchema);
        path.push_back("SYSFUN");
      } else if (kw("USER") || kw("CURRENT_USER")) {
        ++i_;
        path.push_back(s_.user());
      } else if ((kw("CURRENT") && kw("PATH", 1)) || kw("CURRENT_PATH")) {
        i_ += kw("CURRENT_PATH") ? 1 : 2;
        for (const std::string &x : s_.functionPath()) path.push_back(x);
      } else if (tk().kind == Tok::String) {
        path.push_back(tk().text);
        ++i_;
      } else {
        path.push_back(name(kMaxSchema));
      }
    } while (acceptOp(","));
    expectEnd();
    p.action = [path](Session &s) { s.setPath(path); };
    return p;
  }
  fail("SCHEMA");
}

Plan Translator::lockStmt() {
  expectKw("LOCK");
  expectKw("TABLE");
  QualName t = qualName();
  expectKw("IN");
  bool exclusive = acceptKw("EXCLUSIVE");
  if (!exclusive) expectKw("SHARE");
  expectKw("MODE");
  expectEnd();
  Plan p;
  p.kind = Plan::Action;
  p.writes = exclusive;
  p.action = [t, exclusive](Session &s) { lockTable(s, t, exclusive); };
  return p;
}

Plan Translator::callStmt() {
  expectKw("CALL");
  auto call = std::make_shared<CallPlan>();
  std::string schema, pname, entry;
  if (tk().kind == Tok::String) {
    // 'library!entry': an unregistered QUARNDARI entry.
    entry = tk().text;
    ++i_;
    if (entry.find('!') == std::string::npos) fail("<procedure name>");
  } else {
    std::string first = name(kMaxName);
    if (acceptOp(".")) {
      if (first.size() > kMaxSchema) raise(kSqlNameTooLong, {first, std::to_string(kMaxSchema)});
      schema = first;
      pname = name(kMaxName);
    } else {
      pname = first;
    }
  }
  std::vector<std::string> args;
  if (acceptOp("(")) {
    if (!isOp(")")) {
      do {
        bool bare = isOp("?") && (isOp(",", 1) || isOp(")", 1));
        args.push_back(expr());
        call->markers.push_back(bare ? nParams_ : 0);
        call->types.push_back(lastType_);
      } while (acceptOp(","));
    }
    expectOp(")");
  }
  expectEnd();
  if (!entry.empty()) {
    call->def = std::make_shared<RoutineDef>(entryProcedure(entry));
  } else {
    call->def = std::make_shared<RoutineDef>(resolveProcedure(s_, schema, pname, args.size()));
  }
  if (!args.empty()) {
    call->inputSql = "SELECT ";
    for (size_t k = 0; k < args.size(); ++k) call->inputSql += (k ? ", " : "") + args[k];
  }
  Plan p;
  p.kind = Plan::Call;
  p.writes = true;
  p.nParams = nParams_;
  p.call = call;
  return p;
}

// ======================================================================= triggers

// CREATE TRIGGER, after CREATE: the SQLite condition and statements of the trigger.  Transition
// variables are SQLite's NEW and OLD; in an emulated event (triggers.h) the columns BEFORE
// triggers assign are read from the stored row.
TriggerPlan Translator::triggerDefinition(const TriggerContext &ctx) {
  size_t start = i_ > 0 ? i_ - 1 : 0;
  expectKw("TRIGGER");
  TriggerPlan tp;
  tp.name = qualName();
  if (acceptKw("NO")) {
    expectKw("CASCADE");
    expectKw("BEFORE");
    tp.time = 'B';
  } else if (acceptKw("BEFORE")) {
    tp.time = 'B';
  } else if (acceptKw("AFTER")) {
    tp.time = 'A';
  } else if (kw("INSTEAD")) {
    raise(kSqlStmtNotSupported, {"INSTEAD OF"});
  } else {
    fail("AFTER");
  }
  if (acceptKw("INSERT")) {
    tp.event = 'I';
  } else if (acceptKw("DELETE")) {
    tp.event = 'D';
  } else if (acceptKw("UPDATE")) {
    tp.event = 'U';
    if (acceptKw("OF")) {
      do tp.updateOf.push_back(name(kMaxColumn));
      while (acceptOp(","));
    }
  } else {
    fail("INSERT");
  }
  expectKw("ON");
  QualName tq = qualName();
  TableRef subject = resolveTable(tq);
  if (subject.info.type != 'T') raise(kSqlWrongObjectType, {tq.text(), "VIEW", "TABLE"});
  tp.table = QualName{subject.info.schema, subject.info.name};
  for (std::string &c : tp.updateOf) {
    const ColumnDef *col = subject.info.column(c);
    if (!col) raise(kSqlNotColumnOf, {c, tq.text()});
  }
  std::string newName, oldName;
  if (acceptKw("REFERENCING")) {
    for (;;) {
      if (kw("NEW_TABLE") || kw("OLD_TABLE") || ((kw("NEW") || kw("OLD")) && kw("TABLE", 1)))
        raise(kSqlStmtNotSupported, {"REFERENCING " + tk().text});
      bool isNew = kw("NEW");
      if (!isNew && !kw("OLD")) break;
      ++i_;
      acceptKw("ROW");
      acceptKw("AS");
      std::string &n = isNew ? newName : oldName;
      if (!n.empty()) fail("FOR");
      n = name(kMaxName);
    }
    if (newName.empty() && oldName.empty()) fail("NEW");
    if (newName == oldName) raise(kSqlDuplicateName, {newName});
  }
  // A transition variable the event does not have.
  if (!newName.empty() && tp.event == 'D') raise(kSqlCorrelationName, {newName});
  if (!oldName.empty() && tp.event == 'I') raise(kSqlCorrelationName, {oldName});
  if (acceptKw("FOR")) {
    expectKw("EACH");
    if (kw("STATEMENT")) raise(kSqlStmtNotSupported, {"FOR EACH STATEMENT"});
    expectKw("ROW");
  }
  if (acceptKw("MODE")) {
    if (!acceptKw("QUARNSQL")) fail("QUARNSQL");
  }

  triggerMode_ = true;
  deps_ = &tp.deps;
  std::vector<ScopeItem> transition;
  auto variable = [&](const std::string &corr, bool isNew) {
    ScopeItem item{corr, {}};
    for (const ColumnDef &c : subject.info.columns) {
      ScopeColumn sc{c.name, c.name, c.type, {}};
      if (isNew && ctx.emulated && ctx.storedCols.count(c.name))
        sc.sql = "(SELECT " + quoteIdent(c.name) + " FROM " + subject.sqlite + " WHERE rowid = NEW.rowid)";
      else
        sc.sql = std::string(isNew ? "NEW." : "OLD.") + quoteIdent(c.name);
      item.cols.push_back(sc);
    }
    transition.push_back(item);
  };
  if (!newName.empty()) variable(newName, true);
  if (!oldName.empty()) variable(oldName, false);
  scopes_.push_back(transition);
  size_t level = scopes_.size();

  if (acceptKw("WHEN")) {
    expectOp("(");
    tp.whenSql = expr();
    expectOp(")");
  }
  inBody_ = true;
  if (acceptKw("BEGIN")) {
    expectKw("ATOMIC");
    while (!kw("END")) {
      triggerBodyStatement(&tp, subject, newName);
      scopes_.resize(level);
      if (!acceptOp(";") && !kw("END")) fail(";");
    }
    expectKw("END");
  } else {
    triggerBodyStatement(&tp, subject, newName);
    scopes_.resize(level);
  }
  inBody_ = false;
  expectEnd();
  if (tp.body.empty()) fail("<triggered SQL statement>");
  deps_ = nullptr;
  tp.text = sqlText(start);
  while (!tp.text.empty() && (tp.text.back() == ';' || std::isspace(static_cast<unsigned char>(tp.text.back()))))
    tp.text.pop_back();
  return tp;
}

// One statement of a trigger body: SET of transition variables (BEFORE), SIGNAL, or a data
// change (AFTER).
void Translator::triggerBodyStatement(TriggerPlan *tp, const TableRef &subject, const std::string &newName) {
  if (acceptKw("SET")) {
    if (tp->time != 'B' || newName.empty()) raise(kSqlTriggerStatement, {"SET"});
    std::string call = "SELECT QTRIGSET(" + quoteString(subject.info.schema) + ", " +
                       quoteString(subject.info.name) + ", NEW.rowid";
    do {
      std::vector<std::string> parts{name(kMaxName)};
      while (acceptOp(".")) parts.push_back(name(kMaxName));
      if (parts.size() > 2 || (parts.size() == 2 && parts[0] != newName))
        raise(kSqlColumnInvalid, {parts.size() == 2 ? parts[0] + "." + parts[1] : parts.back()});
      const ColumnDef *c = subject.info.column(parts.back());
      if (!c) raise(kSqlNotColumnOf, {parts.back(), subject.info.schema + "." + subject.info.name});
      expectOp("=");
      std::string value;
      if (kw("DEFAULT") && (isOp(",", 1) || isOp(";", 1) || kw("END", 1) || tk(1).kind == Tok::End)) {
        ++i_;
        value = c->defaultSql.empty() ? "NULL" : c->defaultSql;
      } else {
        value = expr();
      }
      call += ", " + quoteString(c->name) + ", " + value;
      tp->setCols.push_back(c->name);
    } while (acceptOp(","));
    tp->body.push_back(call + ");");
    return;
  }
  if (acceptKw("SIGNAL")) {
    expectKw("SQLSTATE");
    if (tk().kind != Tok::String) fail("<sqlstate>");
    std::string state = tk().text;
    bool valid = state.size() == 5 && state.compare(0, 2, "00") != 0;
    for (char ch : state) valid = valid && ((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z'));
    if (!valid) fail("<sqlstate>");
    ++i_;
    std::string text;
    if (acceptOp("(")) {
      if (tk().kind != Tok::String) fail("<string>");
      text = tk().text;
      ++i_;
      expectOp(")");
    } else if (acceptKw("SET")) {
      expectKw("MESSAGE_TEXT");
      expectOp("=");
      if (tk().kind != Tok::String) fail("<string>");
      text = tk().text;
      ++i_;
    }
    tp->body.push_back("SELECT RAISE(ABORT, " + quoteString(encodeError(QError{kSqlSignal, state, {text}})) + ");");
    return;
  }
  if (kw("INSERT") || kw("UPDATE") || kw("DELETE")) {
    if (tp->time == 'B') raise(kSqlTriggerStatement, {tk().text});
    Plan p = kw("INSERT") ? insertStmt() : kw("UPDATE") ? updateStmt() : deleteStmt();
    tp->body.push_back(p.sql + ";");
    return;
  }
  fail("SET");
}

Plan Translator::statement() {
  if (atEnd()) fail("<statement>");
  if (kw("SELECT") || kw("WITH") || kw("VALUES") || isOp("(")) {
    Plan p;
    p.kind = Plan::Query;
    p.sql = selectStatement(true);
    expectEnd();
    p.nParams = nParams_;
    if (itemTypesKnown_) p.itemTypes = itemTypes_;
    return p;
  }
  if (kw("INSERT")) return insertStmt();
  if (kw("UPDATE")) return updateStmt();
  if (kw("DELETE")) return deleteStmt();
  if (kw("CREATE")) return createStmt();
  if (kw("DROP")) return dropStmt();
  if (kw("ALTER")) return alterStmt();
  if (kw("GRANT")) return grantStmt(false);
  if (kw("REVOKE")) return grantStmt(true);
  if (kw("SET")) return setStmt();
  if (kw("LOCK")) return lockStmt();
  if (kw("COMMIT") || kw("ROLLBACK")) {
    bool commit = tk().text == "COMMIT";
    ++i_;
    acceptKw("WORK");
    if (!commit && acceptKw("TO")) {
      expectKw("SAVEPOINT");
      std::string n = atEnd() ? std::string() : name(kMaxName);
      expectEnd();
      return savepointPlan(Session::SavepointOp::RollbackTo, n, false);
    }
    expectEnd();
    Plan p;
    p.kind = commit ? Plan::Commit : Plan::Rollback;
    return p;
  }
  if (acceptKw("SAVEPOINT")) {
    // SAVEPOINT name [UNIQUE] ON ROLLBACK RETAIN CURSORS [ON ROLLBACK RETAIN LOCKS]
    std::string n = name(kMaxName);
    bool unique = acceptKw("UNIQUE");
    expectKw("ON");
    expectKw("ROLLBACK");
    expectKw("RETAIN");
    expectKw("CURSORS");
    if (acceptKw("ON")) {
      expectKw("ROLLBACK");
      expectKw("RETAIN");
      expectKw("LOCKS");
    }
    expectEnd();
    return savepointPlan(Session::SavepointOp::Set, n, unique);
  }
  if (acceptKw("RELEASE")) {
    acceptKw("TO");
    expectKw("SAVEPOINT");
    std::string n = name(kMaxName);
    expectEnd();
    return savepointPlan(Session::SavepointOp::Release, n, false);
  }
  if (kw("CALL")) return callStmt();
  if (kw("COMMENT") || kw("DECLARE") || kw("RENAME") || kw("REFRESH"))
    raise(kSqlStmtNotSupported, {tk().text});
  fail("SELECT");
}

}  // namespace

TriggerPlan translateTrigger(Session &s, const std::string &sql, const TriggerContext &ctx) {
  Translator t(s, sql);
  return t.trigger(ctx);
}

Plan translate(Session &s, const std::string &sql) {
  Translator t(s, sql);
  return t.statement();
}

QType parseTypeText(Session &s, const std::string &text) {
  Translator t(s, text);
  return t.typeOnly();
}

}  // namespace quarn
