/*
 * translator.h - the parser class of the SQL dialect, private to the translation files
 * (translate_*.cpp): its token helpers, the static types it tracks and the scopes of names.  A
 * Translator reads one statement of one session; translate.h is the interface for the rest of
 * the engine.
 */
#ifndef QUARN_ENGINE_TRANSLATOR_H
#define QUARN_ENGINE_TRANSLATOR_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalog.h"
#include "ddl.h"
#include "engine.h"
#include "errors.h"
#include "lexer.h"
#include "routines.h"
#include "translate.h"
#include "triggers.h"

namespace quarn {

inline constexpr size_t kMaxSchema = 30;
inline constexpr size_t kMaxName = 128;
inline constexpr size_t kMaxColumn = 30;
inline constexpr size_t kMaxShortName = 18;  // table spaces, constraints, specific names

// Words that end a table reference or an expression where a correlation name or an alias could
// otherwise be read.
const std::set<std::string> &reservedWords();

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
  // Nesting of the expressions, queries and table references being read: each level takes a
  // few frames of this recursive descent, so a statement nested deeper than kMaxNesting is
  // refused (-101) before it can exhaust the stack. SQLite's own parser refuses far less deep
  // nesting, so no statement that could run is refused.
  static constexpr int kMaxNesting = 500;
  class Nest {
   public:
    explicit Nest(Translator &t) : t_(t) {
      if (t_.nest_ >= kMaxNesting) raise(kSqlTooComplex);
      ++t_.nest_;
    }
    ~Nest() { --t_.nest_; }
    Nest(const Nest &) = delete;
    Nest &operator=(const Nest &) = delete;

   private:
    Translator &t_;
  };
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
  std::string scalarFullselect();
  bool comparedOperands(std::string *left, const QType &leftType, std::string *right, const QType &rightType);
  // left and right as their comparison reads them: comparedOperands, else the right one padded
  // with blanks where either compares blank-padded.
  void comparable(std::string *left, const QType &leftType, std::string *right, const QType &rightType);
  QType comparedWithAll(std::string *left, const QType &leftType, const std::vector<QType> &others);
  bool comparedColumn(std::string *left, const QType &leftType, std::string *value);
  std::string fullselect();
  // left setop right (UNION, EXCEPT or INTERSECT, with ALL or not) in SQLite's SQL; with
  // several rights, left setop rights[0] setop rights[1] ... (EXCEPT ALL and INTERSECT ALL
  // applied from the left), nested no deeper than one operation.
  std::string setOperation(const std::string &left, const std::string &setop, bool all,
                           const std::vector<std::string> &rights);
  std::string term();
  std::string subselect();
  std::string valuesClause(bool single);
  std::string selectItem(int position);
  std::string fromClause();
  std::string tableRef();
  std::string primaryTableRef();
  // The result columns of a query: the names SQLite gives them and their static types
  // (Base::None: unknown).  known is false when a * stood for columns the translator could not
  // list.
  struct QueryShape {
    std::vector<std::string> names;
    std::vector<QType> types;
    bool known = true;
    bool unnamed = false;  // a column is named by its position only (an expression without AS, VALUES)
    // Per column: its type is one SQLite does not declare, the type that holds every operand's
    // values of a set operator (SQLite declares one operand's); empty when none is.
    std::vector<bool> combined;
    bool isCombined(size_t k) const { return k < combined.size() && combined[k]; }
  };
  // Adds the correlation name of a FROM item (and its column list).  With shape, the FROM item is
  // a derived table or a common table expression of that shape, which becomes a scope item, so
  // its columns of a distinct type keep that type in the query that reads them.  tableSchema: the
  // schema of a table or view read under its own name, emptied when a correlation name is given.
  std::string correlate(const std::string &source, const std::string &defaultName, bool derived,
                        std::string *corrOut = nullptr, std::vector<std::string> *colsOut = nullptr,
                        const QueryShape *shape = nullptr, std::string *tableSchema = nullptr);
  void skipQueryOptions();
  std::string withClause();

  // ---- expressions ----
  // A character string value that compares blank-padded (CHAR, VARCHAR, LONG VARCHAR and the
  // graphic types; not large objects, not bit data).
  static bool comparesPadded(const QType &t) {
    switch (t.base) {
      case Base::Char: case Base::Varchar: case Base::LongVarchar: case Base::Graphic: case Base::Vargraphic:
      case Base::LongVargraphic: return !t.forBitData;
      default: return false;
    }
  }
  // An operand of a comparison whose other side or itself is a character string: compared with
  // the shorter padded with blanks (SQLite's RTRIM collation, which a column's index shares).
  static std::string blankPadded(const std::string &sql) {
    bool marker = sql.size() > 1 && sql[0] == '?' && sql.find_first_not_of("0123456789", 1) == std::string::npos;
    return marker || isBareColumn(sql) ? sql + " COLLATE RTRIM" : "(" + sql + ") COLLATE RTRIM";
  }
  // sql as the value of its type: a CHAR(n) value is n bytes, a GRAPHIC(n) value n characters
  // (stored values are not padded; QPAD pads them where they are used as values, not where they
  // are compared).
  static std::string asValue(const std::string &sql, const QType &t) {
    if ((t.base == Base::Char || t.base == Base::Graphic) && !t.forBitData && t.length > 0)
      return "QPAD(" + sql + ", " + std::to_string(t.length) + (t.base == Base::Graphic ? ", 1)" : ")");
    return sql;
  }
  // sql is one column reference, "C" or "T"."C", as the translator writes them.
  static bool isBareColumn(const std::string &sql) {
    if (sql.empty() || sql[0] != '"') return false;
    bool quoted = false;
    for (size_t k = 0; k < sql.size(); ++k) {
      char c = sql[k];
      if (c == '"') {
        if (quoted && k + 1 < sql.size() && sql[k + 1] == '"') ++k;
        else quoted = !quoted;
      } else if (!quoted && c != '.') {
        return false;
      }
    }
    return !quoted;
  }
  // A grouping, ordering or distinct-making key: a character expression (not a column, whose
  // collation is its own) compares blank-padded.
  std::string padKey(const std::string &sql) const {
    return comparesPadded(lastType_) && !isBareColumn(sql) ? sql + " COLLATE RTRIM" : sql;
  }
  // sql of type from as it reads when turned into text: a DECIMAL with its scale, fixed point
  // ("2600.00"; a DECIMAL(31,0) held as a double was "1.23456789012346e+30"), a REAL as it is
  // fetched (realText: "0.02", "1.0000001").
  static std::string asText(const std::string &sql, const QType &from) {
    if (from.base == Base::Decimal && !from.isDistinct())
      return "QDECTEXT(" + sql + ", " + std::to_string(from.scale) + ")";
    if (from.base == Base::Real && !from.isDistinct()) return "QDECTEXT(" + sql + ", -7)";
    return sql;
  }
  // The length of CHAR(x) without a length: as long as x's text can be.
  static int64_t charLengthOf(const QType &t) {
    switch (t.base) {
      case Base::SmallInt: return 6;
      case Base::Integer: return 11;
      case Base::BigInt: return 20;
      case Base::Decimal: return t.length + 2;
      case Base::Real: case Base::Double: return 24;
      case Base::Date: return 10;
      case Base::Time: return 8;
      case Base::Timestamp: return 26;
      case Base::Char: case Base::Varchar: return t.length > 0 && t.length <= 254 ? t.length : 254;
      default: return 254;
    }
  }
  // The type of one result that takes values of types a and b (COALESCE, VALUES rows): the type
  // they share, the longer length kept; a datetime with a character string the datetime; strings
  // of one kind the varying type (a large object where one is) of the longer length; numbers of
  // built-in types as the host combines them (numericResult); else unknown.
  static QType combinedType(const QType &a, const QType &b);
  // The type of one result that takes the values of types a and b from different rows (the
  // columns of a set operator's operands, the results of CASE, VALUES rows): combinedType, or
  // -415 (42825) where both are built-in types of kinds no one type holds (a number with a
  // string, a datetime or a binary string; a datetime with another datetime or a binary
  // string).  Unknown types (NULL, a parameter marker) and distinct types are not refused.
  static QType rowsType(const QType &a, const QType &b);
  static bool isDatetime(const QType &t) {
    return !t.isDistinct() && (t.base == Base::Date || t.base == Base::Time || t.base == Base::Timestamp);
  }
  static const char *baseName(Base b) { return b == Base::Date ? "DATE" : b == Base::Time ? "TIME" : "TIMESTAMP"; }
  // An operand compared with or subtracted from a datetime of base b: a string is read as such
  // a value (any form the host accepts), so it compares with the stored form.
  static std::string asDatetime(const std::string &sql, const QType &t, Base b) {
    if (isDatetime(t)) return sql;
    return "QCAST(" + sql + ", '" + baseName(b) + "')";
  }
  // Whether a column of type t converts the values assigned to it: integers drop a fraction,
  // DECIMAL is cut to its scale, REAL and DOUBLE refuse a value past their range (-413; SQLite
  // stored 1e39 in a REAL and an infinity in a DOUBLE), datetimes are read in any form and stored
  // in one.
  // A CHAR or GRAPHIC column stores a longer value whose excess is blanks without them.
  static bool fixedString(const QType &t) {
    return (t.base == Base::Char || t.base == Base::Graphic) && !t.forBitData;
  }
  static bool convertsAssignments(const QType &t) {
    if (fixedString(t)) return true;
    switch (t.base) {
      case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Decimal: case Base::Real:
      case Base::Double: case Base::Date: case Base::Time: case Base::Timestamp: return true;
      default: return false;
    }
  }
  // sql is a floating literal (1.5e0) whose value is within the range of b (REAL or DOUBLE).
  static bool floatLiteralFits(const std::string &sql, Base b) {
    if (sql.empty() || sql.find_first_not_of("0123456789.eE+-") != std::string::npos) return false;
    char *end = nullptr;
    const double d = std::strtod(sql.c_str(), &end);
    if (end != sql.c_str() + sql.size() || !std::isfinite(d)) return false;
    return b != Base::Real || std::isfinite(static_cast<float>(d));
  }
  // sql (of static type vt) as assigned to a column of type ct: converted in SQL where its type
  // does not already fit; a parameter marker is converted when the statement binds it.
  std::string assigned(const std::string &sql, const QType &vt, const QType &ct) {
    if (!convertsAssignments(ct) || sql == "NULL") return sql;
    if (sql.size() > 1 && sql[0] == '?' && sql.find_first_not_of("0123456789", 1) == std::string::npos) {
      size_t n = static_cast<size_t>(std::stoul(sql.substr(1)));
      if (markerTargets_.size() < n) markerTargets_.resize(n);
      markerTargets_[n - 1] = ct;
      return sql;
    }
    if (fixedString(ct)) {
      // A value whose type is at most n long is stored as it is, with no call per row.
      const bool graphic = ct.base == Base::Graphic;
      const bool within = vt.length > 0 && vt.length <= ct.length && !vt.isDistinct() &&
                          (vt.base == Base::Char || vt.base == Base::Varchar ||
                           (graphic && (vt.base == Base::Graphic || vt.base == Base::Vargraphic)));
      if (within) return sql;
      return "QFITFIXED(" + sql + ", " + std::to_string(ct.length) + ", " + (graphic ? "1" : "0") + ")";
    }
    bool integer = vt.base == Base::SmallInt || vt.base == Base::Integer || vt.base == Base::BigInt;
    bool fits = false;
    switch (ct.base) {
      case Base::SmallInt: case Base::Integer: case Base::BigInt: fits = integer; break;
      case Base::Decimal: fits = integer || (vt.base == Base::Decimal && vt.scale <= ct.scale); break;
      // Integers and DECIMAL (at most 31 digits) are within either range, a REAL column's value
      // within DOUBLE's, and so is a finite floating literal within its range; other floating
      // expressions may be past it.
      case Base::Real: case Base::Double: {
        const bool floating = vt.base == Base::Real || vt.base == Base::Double;
        fits = integer || vt.base == Base::Decimal || (isBareColumn(sql) && (vt.base == ct.base || vt.base == Base::Real)) ||
               (floating && floatLiteralFits(sql, ct.base));
        break;
      }
      default: fits = vt.base == ct.base; break;
    }
    if (fits && vt.isDistinct() == ct.isDistinct()) return sql;
    QType plain = ct;
    plain.typeSchema.clear();
    plain.typeName.clear();
    return "QCAST(" + sql + ", " + quoteString(plain.sqliteDecl()) + ", 2)";
  }
  std::vector<QType> markerTargets_;
  int quantified_ = 0;  // correlation names of quantified predicates' subqueries
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
  Plan declareTempTableStmt();
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
  std::string defaultValue(const QType &t, const std::string &column, std::string *text);
  std::string constantDefault(const std::string &sql, const QType &t, const std::string &column);
  void routineDefinition(RoutineDecl *stmtDef);
  RoutineRef routineRef(char routineType, bool specific);
  std::vector<QType> signature();
  std::string sqlText(size_t fromToken) const { return sql_.substr(toks_[fromToken].pos); }

  Session &s_;
  std::string sql_;
  std::vector<Token> toks_;
  size_t i_ = 0;
  int nParams_ = 0;
  int depth_ = 0;
  int nest_ = 0;  // see Nest
  std::string definedTable_;  // the table whose columns are being defined (messages)
  std::string colPrefix_;  // check conditions: columns are NEW."C"
  std::set<std::string> cteNames_;
  std::map<std::string, QueryShape> cteShapes_;  // the common table expressions read so far
  std::vector<std::string> resultNames_;      // result column names of the select being read
  std::vector<std::string> lastResultNames_;  // those of the subselect read last
  QueryShape itemShape_;  // the select items read so far of the subselect being read
  QueryShape lastShape_;  // the result columns of the query read last (subselect, VALUES, fullselect)
  // A view's body: * stands for the columns its FROM items have when the view is created, as
  // SQLite would otherwise expand it at each use and show columns added later.
  bool expandStar_ = false;
  bool triggerMode_ = false;  // a trigger: no parameter markers, UPDATE and DELETE without correlation names
  bool inBody_ = false;       // parsing the statements of a trigger body
  // The table the data change read last changes (aliases resolved), and the columns an UPDATE sets.
  QualName changedTable_;
  std::vector<std::string> changedCols_;
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
  std::string renamedColumnSql_;  // the last column reference reached by another name than its own
  bool lastColumnCombined_ = false;  // the last column reference is of a set operator's column
  struct ScopeColumn {
    std::string name;  // as the statement names it
    std::string real;  // as SQLite knows it
    QType type;
    std::string sql;   // when set, the SQLite expression of a reference (transition variables)
    bool combined = false;  // a set operator's column read through a derived table (QueryShape)
  };
  struct ScopeItem {
    std::string exposed;
    std::vector<ScopeColumn> cols;
    bool known = true;  // false: a derived table whose columns the translator could not list
    // A table or view exposed under its own name: its schema, which S.T.C may name (empty for
    // an item with a correlation name).  Two such items may share a name in different schemas.
    std::string schema;
    bool aliased = false;  // known to SQLite by a name of the translator's (sqliteAlias)
  };
  // The FROM items visible at each query level, innermost last.
  std::vector<std::vector<ScopeItem>> scopes_;
  const ScopeColumn *findColumn(const std::vector<std::string> &parts, std::string *exposed,
                                size_t *level = nullptr) const;
  // A column of a FROM item at a query level as the grouping check knows it: the item's schema
  // (tables of one name in two schemas are two items), exposed name and column name.
  std::string groupKey(size_t level, const ScopeColumn *c, const std::string &exposed) const {
    std::string schema;
    for (const ScopeItem &item : scopes_[level])
      if (c >= item.cols.data() && c < item.cols.data() + item.cols.size()) schema = item.schema;
    return schema + '\x1E' + exposed + '\x1F' + c->name;
  }
  // Whether item is one a column reference of these parts (C, T.C, S.T.C) may name.
  static bool qualifies(const ScopeItem &item, const std::vector<std::string> &parts) {
    if (parts.size() < 2) return true;
    if (item.exposed != parts[parts.size() - 2]) return false;
    return parts.size() < 3 || item.schema == parts[0];
  }
  // The grouping of the subselect whose select items are being read: the columns of its own FROM
  // items its items reference outside a column function, whether a column function was met, its
  // grouping columns and the columns its grouping keys are made of.  A grouped select item must
  // be a grouping column or inside a column function (-122); where a key is an expression, a
  // column of a key at least.
  struct GroupCheck {
    bool active = false;
    size_t level = 0;
    bool aggregate = false;
    bool grouped = false;
    bool keysAreColumns = true;
    std::vector<std::string> keys, columns, keyColumns;
    // The first of columns that may not stand outside a column function (nullptr: none).
    const std::string *ungrouped() const {
      if (!(grouped || aggregate)) return nullptr;
      const std::vector<std::string> &allowed = keysAreColumns ? keys : keyColumns;
      for (const std::string &c : columns)
        if (std::find(allowed.begin(), allowed.end(), c) == allowed.end()) return &c;
      return nullptr;
    }
  };
  GroupCheck group_;
  size_t columnFunctions_ = 0;  // column functions translated so far (NULLIF's evaluated-once form)
  // The subselect read last, for the ORDER BY of a fullselect that is that subselect alone: its
  // FROM items and grouping (a key outside a column function must be a grouping column, -122),
  // and whether it is DISTINCT (a key must be a result column, -214).  simple is false when the
  // term read last was a VALUES or a fullselect in parentheses.
  struct LastSelect {
    bool simple = false;
    bool distinct = false;
    std::vector<ScopeItem> scope;
    GroupCheck grouping;
    // The subselect as a scalar fullselect's body when its one item names a column of its own
    // FROM items: the item inside QONEROW, which makes the subselect the check of its rows
    // (empty when it is grouped, DISTINCT or of column functions).
    std::string oneRowSql;
  };
  LastSelect lastSelect_;
  // oneRowSql of the fullselect read last when it is that subselect alone, without ORDER BY or
  // FETCH FIRST; else empty.
  std::string lastOneRowSql_;
  // ORDER BY and FETCH FIRST of a fullselect; single: the fullselect's one subselect, whose FROM
  // items its keys may name (nullptr when it has set operators or is no plain subselect).
  std::string orderAndFetch(const LastSelect *single);
  // The query read last is one subselect with a column function among its items and no GROUP
  // BY: exactly one row, so a scalar fullselect of it needs no check of its rows.
  bool lastOneRow_ = false;
  static ScopeItem tableScope(const std::string &exposed, const TableInfo &info);
  void readCheckConditions(const TableInfo &table, std::vector<ConstraintSpec> *constraints);
  // The target of UPDATE or DELETE; in a trigger its columns are qualified by the table itself.
  ScopeItem targetScope(const std::string &exposed, const TableRef &r, const std::string &schema) const {
    ScopeItem item = tableScope(exposed, r.info);
    item.schema = schema;
    if (triggerMode_)
      for (ScopeColumn &c : item.cols) c.sql = r.sqlite + "." + quoteIdent(c.real);
    return item;
  }
  std::string routineCall(const RoutineDef &def, const std::vector<std::string> &args);
};

}  // namespace quarn

#endif  // QUARN_ENGINE_TRANSLATOR_H
