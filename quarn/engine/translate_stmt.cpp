/*
 * translate_stmt.cpp - the translator's statements: the dispatch of a statement, data changes,
 * definitions (tables, constraints, views, types, indexes, routines), privileges, SET, LOCK,
 * CALL, units of work and savepoints.
 */
#include "translator.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "sqlutil.h"

namespace quarn {
namespace {

// The end (one past the closing quote) of the quoted text that starts at e[at], a quote q that
// a doubled q escapes; npos when it does not end.
size_t quotedEnd(const std::string &e, size_t at, char q) {
  for (size_t k = at + 1; k < e.size(); ++k)
    if (e[k] == q) {
      if (k + 1 < e.size() && e[k + 1] == q) {
        ++k;
        continue;
      }
      return k + 1;
    }
  return std::string::npos;
}

void skipBlanks(const std::string &e, size_t *at) {
  while (*at < e.size() && e[*at] == ' ') ++*at;
}

// Reads at e[*at] a value that gives the same result, and does nothing else, however often it
// is computed: a parameter marker, a literal, NULL, or (with conversions) a conversion (QCAST)
// of one of these, which may fail but fails alike every time.
bool repeatableAt(const std::string &e, size_t *at, bool conversions) {
  skipBlanks(e, at);
  size_t i = *at;
  if (i >= e.size()) return false;
  auto digits = [&](size_t k) {
    while (k < e.size() && std::isdigit(static_cast<unsigned char>(e[k]))) ++k;
    return k;
  };
  if (e[i] == '?') {
    *at = digits(i + 1);
    return *at > i + 1;
  }
  if (e[i] == '\'' || ((e[i] == 'X' || e[i] == 'x') && i + 1 < e.size() && e[i + 1] == '\'')) {
    size_t end = quotedEnd(e, e[i] == '\'' ? i : i + 1, '\'');
    if (end == std::string::npos) return false;
    *at = end;
    return true;
  }
  if (std::isdigit(static_cast<unsigned char>(e[i])) || (e[i] == '-' && i + 1 < e.size() && std::isdigit(static_cast<unsigned char>(e[i + 1])))) {
    size_t k = digits(i + 1);
    if (k < e.size() && e[k] == '.') k = digits(k + 1);
    if (k < e.size() && (e[k] == 'e' || e[k] == 'E')) {
      size_t x = k + 1;
      if (x < e.size() && (e[x] == '+' || e[x] == '-')) ++x;
      if (digits(x) == x) return false;
      k = digits(x);
    }
    *at = k;
    return true;
  }
  auto word = [&](const char *w) {
    size_t n = std::strlen(w);
    return e.compare(i, n, w) == 0 && (i + n == e.size() || !(std::isalnum(static_cast<unsigned char>(e[i + n])) || e[i + n] == '_'));
  };
  if (word("NULL")) {
    *at = i + 4;
    return true;
  }
  if (e[i] == '(') {
    *at = i + 1;
    if (!repeatableAt(e, at, conversions)) return false;
    skipBlanks(e, at);
    if (*at >= e.size() || e[*at] != ')') return false;
    ++*at;
    return true;
  }
  if (conversions && e.compare(i, 6, "QCAST(") == 0) {
    // QCAST(value, 'type' [, mode]): a conversion of the value alone.
    *at = i + 6;
    if (!repeatableAt(e, at, true)) return false;
    for (skipBlanks(e, at); *at < e.size() && e[*at] == ','; skipBlanks(e, at)) {
      ++*at;
      skipBlanks(e, at);
      if (*at >= e.size() || !(e[*at] == '\'' || std::isdigit(static_cast<unsigned char>(e[*at])))) return false;
      if (!repeatableAt(e, at, false)) return false;
    }
    if (*at >= e.size() || e[*at] != ')') return false;
    ++*at;
    return true;
  }
  return false;
}

// Whether e, a value repeatable() accepts, is a parameter marker (in parentheses or not).
bool isMarker(const std::string &e) {
  size_t at = 0;
  while (at < e.size() && (e[at] == '(' || e[at] == ' ')) ++at;
  return at < e.size() && e[at] == '?';
}

bool repeatable(const std::string &e, bool conversions = true) {
  size_t at = 0;
  if (!repeatableAt(e, &at, conversions)) return false;
  skipBlanks(e, &at);
  return at == e.size();
}

/*
 * expr (an assignment's value or condition over "quarn_new", the row being built) with each
 * reference to a column of that row replaced by the column's value so far (row, by column
 * name).  False when a referenced value could not be computed a second time without changing
 * the result (a function call, a sequence), or when "quarn_new" appears other than as such a
 * reference.  Literals are copied as they are.
 */
bool substituteRow(const std::string &expr, const std::map<std::string, std::string> &row, std::string *out) {
  static const std::string kRow = "\"quarn_new\"";
  out->clear();
  for (size_t k = 0; k < expr.size();) {
    char ch = expr[k];
    if (ch != '\'' && ch != '"') {
      out->push_back(ch);
      ++k;
      continue;
    }
    size_t end = quotedEnd(expr, k, ch);
    if (end == std::string::npos) return false;
    if (ch == '"' && expr.compare(k, end - k, kRow) == 0) {
      if (end >= expr.size() || expr[end] != '.' || end + 1 >= expr.size() || expr[end + 1] != '"') return false;
      size_t colEnd = quotedEnd(expr, end + 1, '"');
      if (colEnd == std::string::npos) return false;
      std::string col;
      for (size_t c = end + 2; c + 1 < colEnd; ++c) {
        col.push_back(expr[c]);
        if (expr[c] == '"') ++c;  // a doubled quote is one character of the name
      }
      auto it = row.find(col);
      if (it == row.end() || !repeatable(it->second)) return false;
      *out += "(" + it->second + ")";
      k = colEnd;
      continue;
    }
    out->append(expr, k, end - k);
    k = end;
  }
  return true;
}

}  // namespace

// ======================================================================= statements

std::vector<std::string> Translator::nameList(size_t maxLen) {
  std::vector<std::string> out;
  do out.push_back(name(maxLen));
  while (acceptOp(","));
  expectOp(")");
  return out;
}

namespace {

/*
 * The row of an INSERT of one VALUES row with the table's BEFORE INSERT assignments applied, as
 * the column list and VALUES clause of a plain INSERT: each column's value is its expression
 * after the assignments, with every reference to the row replaced by the referenced column's
 * value.  A single-row INSERT into a table with row triggers is then stored directly instead of
 * through the temporary table SQLite fills first for an INSERT ... SELECT.  False (the caller
 * builds the row with selects over it) when that would compute a value twice that may differ
 * or act the second time, such as generate_unique(), an identity or a function of the row, and
 * when an assignment replaces a value other than a parameter marker, a literal or NULL (such a
 * value, a conversion or a default, is left where the selects compute it), or replaces a marker
 * whatever the row holds (the statement would lose the marker).
 */
bool directRow(const TableInfo &table, const std::vector<std::string> &targets, const std::vector<std::string> &values,
               const ColumnDef *identity, const std::vector<InsertAssignment> &assignments, std::string *out) {
  std::map<std::string, std::string> row;
  for (const ColumnDef &c : table.columns) {
    auto given = std::find(targets.begin(), targets.end(), c.name);
    if (given != targets.end())
      row[c.name] = values[static_cast<size_t>(given - targets.begin())];
    else
      row[c.name] = identity == &c ? identity->defaultSql : c.defaultSql.empty() ? "NULL" : c.defaultSql;
  }
  for (const InsertAssignment &a : assignments) {
    // Each assignment reads the row as the ones before it left it.
    std::map<std::string, std::string> next = row;
    std::string when, value;
    if (!a.whenSql.empty() && !substituteRow(a.whenSql, row, &when)) return false;
    for (const auto &[name, sql] : a.sets) {
      if (!row.count(name) || !repeatable(row[name], false) || !substituteRow(sql, row, &value)) return false;
      // A marker the assignment replaces would be gone from the statement, which then could not
      // take its value: the row is built by selects, where every marker stays.
      if (when.empty() && isMarker(row[name])) return false;
      next[name] = when.empty() ? "(" + value + ")" : "CASE WHEN (" + when + ") THEN (" + value + ") ELSE " + row[name] + " END";
    }
    row = std::move(next);
  }
  std::string cols, vals;
  for (size_t k = 0; k < table.columns.size(); ++k) {
    cols += (k ? ", " : "") + quoteIdent(table.columns[k].name);
    vals += (k ? ", " : "") + row[table.columns[k].name];
  }
  *out = "(" + cols + ") VALUES (" + vals + ")";
  return true;
}

// The static type a value of type vt is assigned to a column of type ct with: none (so that the
// assignment casts it, and the cast bounds it) for a DECIMAL with more digits before the point
// than a DECIMAL column holds.  The column's own check sees only a double, and the double of
// 10^29 is that of the largest DECIMAL(31,2): 100000000000000000000000000000 was stored.
QType assignedAs(const QType &vt, const QType &ct) {
  if (vt.base == Base::Decimal && ct.base == Base::Decimal && vt.length - vt.scale > ct.length - ct.scale) return QType{};
  return vt;
}

}  // namespace

Plan Translator::insertStmt() {
  expectKw("INSERT");
  expectKw("INTO");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  changedTable_ = QualName{r.info.schema, r.info.name};
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
  // An identity column left out of the column list takes its next value: it is added to the
  // list with its QIDENTITY call as value.
  const ColumnDef *identity = nullptr;
  for (const ColumnDef &c : r.info.columns)
    if (c.identity && std::find(targets.begin(), targets.end(), c.name) == targets.end()) identity = &c;
  // The assignments of the table's BEFORE INSERT triggers, applied to each row before it is
  // stored (triggers.h).
  std::vector<InsertAssignment> assignments;
  const bool apply = insertAssignments(s_, r.info.schema, r.info.name, &assignments) && !assignments.empty();
  Plan p;
  p.kind = Plan::Dml;
  p.writes = true;
  std::string out = "INSERT INTO " + r.sqlite;
  if (!apply && (!cols.empty() || identity)) {
    std::vector<std::string> list = identity ? targets : cols;
    if (identity) list.push_back(identity->name);
    out += " (";
    for (size_t k = 0; k < list.size(); ++k) out += (k ? ", " : "") + quoteIdent(list[k]);
    out += ")";
  }
  std::string source;
  bool convert = false;  // a select's values still to be converted to their columns' types
  // The k-th (from 0) value of a row named by position, and a compound's empty first select
  // that gives the rows after it those names.
  auto byPosition = [](size_t k) { return "\"q" + std::to_string(k + 1) + "\""; };
  auto namesFirst = [&] {
    std::string head = "SELECT ";
    for (size_t k = 0; k < targets.size(); ++k) head += (k ? ", NULL AS " : "NULL AS ") + byPosition(k);
    return head + " WHERE 0 UNION ALL ";
  };
  std::vector<std::string> onlyRow;  // the values of a VALUES clause of one row
  size_t valueRows = 0;
  if (acceptKw("VALUES")) {
    source = "VALUES ";
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
          size_t k = row.size();
          const ColumnDef *c = k < targets.size() ? r.info.column(targets[k]) : nullptr;
          if (c && c->identity == 'A') raise(kSqlGeneratedAlways, {c->name});
          std::string v = expr();
          row.push_back(c ? assigned(v, assignedAs(lastType_, c->type), c->type) : v);
        }
      } while (paren && acceptOp(","));
      if (paren) expectOp(")");
      if (row.size() != targets.size()) raise(kSqlValueCount);
      if (identity && !apply) row.push_back(identity->defaultSql);
      if (++valueRows == 1) onlyRow = row;
      source += firstRow ? "(" : ", (";
      firstRow = false;
      for (size_t k = 0; k < row.size(); ++k) source += (k ? ", " : "") + row[k];
      source += ")";
    } while (acceptOp(","));
  } else {
    ++depth_;
    std::string sel = selectStatement(false);
    --depth_;
    // Columns that convert what is assigned to them take the select's values through QCAST:
    // the select's columns are renamed by position in a compound whose first (empty) select
    // names them.
    convert = identity != nullptr;
    for (const std::string &t : targets)
      if (const ColumnDef *c = r.info.column(t)) {
        if (c->identity == 'A') raise(kSqlGeneratedAlways, {c->name});
        convert = convert || convertsAssignments(c->type);
      }
    if (convert || apply) {
      sqlite3_stmt *probe = nullptr;
      int n = -1;
      if (sqlite3_prepare_v2(s_.db(), sel.c_str(), static_cast<int>(sel.size()), &probe, nullptr) == SQLITE_OK)
        n = sqlite3_column_count(probe);
      sqlite3_finalize(probe);
      if (n >= 0 && static_cast<size_t>(n) != targets.size()) raise(kSqlValueCount);
      convert = convert && n >= 0;
      if (convert && !apply) {
        std::string proj = "SELECT ";
        for (size_t k = 0; k < targets.size(); ++k) {
          const ColumnDef *c = r.info.column(targets[k]);
          proj += (k ? ", " : "") + (c ? assigned(byPosition(k), QType{}, c->type) : byPosition(k));
        }
        if (identity) proj += ", " + identity->defaultSql;
        sel = proj + " FROM (" + namesFirst() + "SELECT * FROM (" + sel + "))";
      }
    }
    source = sel;
    p.searched = true;
  }
  expectEnd();
  std::string direct;
  if (apply && valueRows == 1 && directRow(r.info, targets, onlyRow, identity, assignments, &direct)) {
    out += " " + direct;
  } else if (!apply) {
    out += " " + source;
  } else {
    // Every column of the row, built in steps: the values given (their columns named by
    // position through an empty first select) or the column's default, then one step per
    // assignment, each a select over the row as the step before left it.  OFFSET keeps SQLite
    // from merging a step into the next, which would compute a value (an identity, a
    // generate_unique()) again wherever the next step reads it.
    std::string row = "SELECT ";
    out += " (";
    for (size_t k = 0; k < r.info.columns.size(); ++k) {
      const ColumnDef &c = r.info.columns[k];
      auto given = std::find(targets.begin(), targets.end(), c.name);
      std::string v;
      if (given != targets.end()) {
        v = "\"quarn_src\"." + byPosition(static_cast<size_t>(given - targets.begin()));
        if (convert) v = assigned(v, QType{}, c.type);
      } else {
        v = identity == &c ? identity->defaultSql : c.defaultSql.empty() ? "NULL" : c.defaultSql;
      }
      row += (k ? ", " : "") + v + " AS " + quoteIdent(c.name);
      out += (k ? ", " : "") + quoteIdent(c.name);
    }
    out += ") ";
    row += " FROM (" + namesFirst() + (p.searched ? "SELECT * FROM (" + source + ")" : source) + ") AS \"quarn_src\"";
    for (const InsertAssignment &a : assignments) {
      std::string step = "SELECT ";
      for (size_t k = 0; k < r.info.columns.size(); ++k) {
        const std::string col = quoteIdent(r.info.columns[k].name);
        std::string v = "\"quarn_new\"." + col;
        for (const auto &[name, value] : a.sets)
          if (name == r.info.columns[k].name)
            v = a.whenSql.empty() ? "(" + value + ")" : "CASE WHEN (" + a.whenSql + ") THEN (" + value + ") ELSE " + v + " END";
        step += (k ? ", " : "") + v + " AS " + col;
      }
      row = step + " FROM (" + row + " LIMIT -1 OFFSET 0) AS \"quarn_new\"";
    }
    out += row;
  }
  p.sql = out;
  p.nParams = nParams_;
  p.markerTargets = markerTargets_;
  return p;
}

Plan Translator::updateStmt() {
  expectKw("UPDATE");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  changedTable_ = QualName{r.info.schema, r.info.name};
  std::string corr = r.exposed, schema = q.schema;
  if (acceptKw("AS") || (isCorrelationName() && !kw("SET"))) {
    corr = name(kMaxName);
    schema.clear();
  }
  expectKw("SET");
  scopes_.push_back({targetScope(corr, r, schema)});
  std::string out = "UPDATE " + r.sqlite + (triggerMode_ ? "" : " AS " + quoteIdent(corr)) + " SET ";
  bool first = true;
  do {
    if (!first) out += ", ";
    first = false;
    auto target = [&]() {
      std::string c = name(kMaxName);
      while (acceptOp(".")) c = name(kMaxName);
      if (!r.info.column(c)) raise(kSqlNotColumnOf, {c, q.text()});
      changedCols_.push_back(c);
      return c;
    };
    auto value = [&](const std::string &col) {
      const ColumnDef *c = r.info.column(col);
      if (kw("DEFAULT") && (isOp(",", 1) || isOp(")", 1) || kw("WHERE", 1) || tk(1).kind == Tok::End)) {
        ++i_;
        return c && !c->defaultSql.empty() ? c->defaultSql : std::string("NULL");
      }
      if (c && c->identity == 'A') raise(kSqlGeneratedAlways, {c->name});
      std::string v = expr();
      return c ? assigned(v, assignedAs(lastType_, c->type), c->type) : v;
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
  if (kw("WHERE") && kw("CURRENT", 1) && kw("OF", 2)) raise(kSqlStmtNotSupported, {"WHERE CURRENT OF"});
  if (acceptKw("WHERE")) out += " WHERE " + expr();
  expectEnd();
  Plan p;
  p.kind = Plan::Dml;
  p.writes = true;
  p.searched = true;
  p.sql = out;
  p.nParams = nParams_;
  p.markerTargets = markerTargets_;
  return p;
}

Plan Translator::deleteStmt() {
  expectKw("DELETE");
  expectKw("FROM");
  QualName q = qualName();
  TableRef r = resolveTable(q);
  if (r.info.type == 'V') raise(kSqlNotUpdatable, {q.text()});
  changedTable_ = QualName{r.info.schema, r.info.name};
  std::string corr = r.exposed, schema = q.schema;
  if (acceptKw("AS") || (isCorrelationName() && !kw("WHERE"))) {
    corr = name(kMaxName);
    schema.clear();
  }
  std::string out = "DELETE FROM " + r.sqlite + (triggerMode_ ? "" : " AS " + quoteIdent(corr));
  scopes_.push_back({targetScope(corr, r, schema)});
  if (kw("WHERE") && kw("CURRENT", 1) && kw("OF", 2)) raise(kSqlStmtNotSupported, {"WHERE CURRENT OF"});
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

std::string Translator::defaultValue(const QType &t, const std::string &column, std::string *text) {
  // DEFAULT [constant | special register | NULL]; without a value, the type's default.
  size_t start = i_;
  const bool constant = tk().kind == Tok::String || tk().kind == Tok::GString || tk().kind == Tok::HexString ||
                        tk().kind == Tok::Integer || tk().kind == Tok::Decimal || tk().kind == Tok::Float ||
                        isOp("-") || isOp("+");
  if (constant || kw("NULL") || kw("USER") || kw("CURRENT") || kw("CURRENT_DATE") || kw("CURRENT_TIME") ||
      kw("CURRENT_TIMESTAMP") || kw("CURRENT_SCHEMA")) {
    // USER is the user of the statement that takes the default, not of this definition.
    const bool user = kw("USER") || (kw("CURRENT") && kw("USER", 1));
    std::string v = unary();
    *text = sql_.substr(toks_[start].pos, toks_[i_ - 1].pos + toks_[i_ - 1].len - toks_[start].pos);
    if (user) return "QUSER()";
    return constant ? constantDefault(v, t, column) : v;
  }
  if (t.isNumeric()) { *text = "0"; return "0"; }
  if (t.base == Base::Date) { *text = "CURRENT DATE"; return "QCURRENT('DATE')"; }
  if (t.base == Base::Time) { *text = "CURRENT TIME"; return "QCURRENT('TIME')"; }
  if (t.base == Base::Timestamp) { *text = "CURRENT TIMESTAMP"; return "QCURRENT('TIMESTAMP')"; }
  if (t.base == Base::Blob || t.forBitData) { *text = "X''"; return "X''"; }
  *text = "''";
  return "''";
}

/*
 * A constant default converted to the column's type now, as a value assigned to the column is
 * converted: the column's own form (an integer without its fraction, a date in its stored
 * form), as an SQL literal.  A constant the column cannot take (a string too long, text that is
 * no number or date, a number out of range) is -574 here; before, it was stored as written and
 * every INSERT that took it failed, or stored what the column's type cannot hold.
 */
std::string Translator::constantDefault(const std::string &sql, const QType &t, const std::string &column) {
  QType plain = t;
  plain.typeSchema.clear();
  plain.typeName.clear();
  Value v;
  try {
    Stmt st(s_.db(), "SELECT QCAST(" + sql + ", " + quoteString(plain.sqliteDecl()) + ", 2)");
    if (st.step()) v = columnValue(st.raw(), 0);
  } catch (const QError &e) {
    raise(kSqlBadDefault, {column, definedTable_, std::to_string(e.sqlcode)});
  }
  switch (v.kind) {
    case Value::Null: return "NULL";
    case Value::Int: return std::to_string(v.i);
    case Value::Real: return doubleText(v.d);
    case Value::Text: return quoteString(v.s);
    case Value::Blob: return hexLiteral(v.s);
  }
  return sql;
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
      col->defaultSql = defaultValue(col->type, col->name, &col->defaultText);
    } else if (acceptKw("DEFAULT")) {
      col->defaultSql = defaultValue(col->type, col->name, &col->defaultText);
    } else if (acceptKw("GENERATED")) {
      // GENERATED ALWAYS | BY DEFAULT AS IDENTITY [(START WITH n, INCREMENT BY n, ...)]
      char generated = 'A';
      if (!acceptKw("ALWAYS")) {
        expectKw("BY");
        expectKw("DEFAULT");
        generated = 'D';
      }
      expectKw("AS");
      expectKw("IDENTITY");
      // START WITH and INCREMENT BY take any value of the column's type (a 13-digit BIGINT
      // start was -604, as a length would be); past it they are -574 with -413 as reason code.
      const QType &t = col->type;
      bool exact = t.base == Base::SmallInt || t.base == Base::Integer || t.base == Base::BigInt ||
                   (t.base == Base::Decimal && t.scale == 0);
      auto signedNumber = [&] {
        bool minus = acceptOp("-");
        if (!minus) acceptOp("+");
        if (tk().kind != Tok::Integer) fail("<integer>");
        int64_t v = 0;
        const bool fits64 = parseInteger((minus ? "-" : "") + tk().text, &v);
        ++i_;
        const int64_t limit = t.base == Base::SmallInt  ? 32767
                              : t.base == Base::Integer ? 2147483647
                              : t.base == Base::Decimal && t.length < 19
                                  ? static_cast<int64_t>(std::pow(10.0, static_cast<double>(t.length))) - 1
                                  : INT64_MAX;
        if (exact && (!fits64 || v > limit || v < -limit - (t.base == Base::Decimal ? 0 : 1)))
          raise(kSqlBadDefault, {col->name, definedTable_, std::to_string(kSqlOverflow)});
        return v;
      };
      if (acceptOp("(")) {
        while (!acceptOp(")")) {
          if (acceptKw("START")) {
            expectKw("WITH");
            col->identityStart = signedNumber();
          } else if (acceptKw("INCREMENT")) {
            expectKw("BY");
            col->identityIncrement = signedNumber();
          } else if (acceptKw("CACHE")) {
            if (tk().kind != Tok::Integer) fail("<integer>");
            ++i_;
          } else if (kw("MINVALUE") || kw("MAXVALUE") || kw("CYCLE")) {
            // Identity values are drawn up to the column type's limits and never wrap: a bound
            // or CYCLE is refused, where it was accepted and ignored (MAXVALUE 2 gave a 3).
            raise(kSqlStmtNotSupported, {tk().text});
          } else if (acceptKw("NO")) {
            if (!(acceptKw("MINVALUE") || acceptKw("MAXVALUE") || acceptKw("CACHE") || acceptKw("CYCLE") ||
                  acceptKw("ORDER")))
              fail("CYCLE");
          } else if (!(acceptKw("ORDER") || acceptOp(","))) {
            fail(")");
          }
        }
      }
      if (!exact || col->identityIncrement == 0) raise(kSqlIdentityType, {col->name});
      col->identity = generated;
      col->nullable = false;
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
    // The condition is read when the table's columns are known (checkConditions), as a column
    // defined after it may be named: here it is only passed over.
    c.info.type = 'K';
    expectOp("(");
    c.checkToken = i_;
    for (int open = 1;; ++i_) {
      if (tk().kind == Tok::End) fail(")");
      if (isOp("(")) ++open;
      if (isOp(")") && --open == 0) break;
    }
    c.checkText = sql_.substr(toks_[c.checkToken].pos, tk().pos - toks_[c.checkToken].pos);
    expectOp(")");
  } else {
    fail("PRIMARY");
  }
  return c;
}

void Translator::routineDefinition(RoutineDecl *stmtDef) {
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
    definedTable_ = stmtDef.name.text();
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
    // Check conditions are read over the table's columns with their types, as a WHERE clause
    // over the table is (a DATE compared with a string reads it as a date, a CHAR column used
    // as a value is padded), the row's values being NEW's; before, they were read with no
    // table, and a name that is no column failed with -901.
    TableInfo table;
    table.name = stmtDef.name.name;
    table.columns = stmtDef.columns;
    const size_t resume = i_;
    readCheckConditions(table, &stmtDef.constraints);
    i_ = resume;
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
    expandStar_ = true;
    std::string body = selectStatement(true);
    expandStar_ = false;
    if (kw("WITH") && (kw("CHECK", 1) || kw("CASCADED", 1) || kw("LOCAL", 1))) {
      ++i_;
      acceptKw("CASCADED");
      acceptKw("LOCAL");
      expectKw("CHECK");
      expectKw("OPTION");
    }
    expectEnd();
    if (nParams_ > 0) raise(kSqlHostVariableUndefined, {"?"});
    // A column named by its position alone (an expression without AS) needs the column list.
    if (cols.empty() && lastShape_.unnamed) raise(kSqlColumnListRequired);
    std::string text = sqlText(start);
    (void)bodyStart;
    std::vector<QType> types = lastShape_.known ? lastShape_.types : std::vector<QType>{};
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
    RoutineDecl stmtDef;
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

// DECLARE GLOBAL TEMPORARY TABLE [SESSION.]name (columns) | LIKE table | AS (fullselect)
// DEFINITION ONLY, [ON COMMIT DELETE|PRESERVE ROWS] [NOT LOGGED [ON ROLLBACK DELETE|PRESERVE
// ROWS]] [WITH REPLACE] [IN tablespace].
Plan Translator::declareTempTableStmt() {
  expectKw("DECLARE");
  expectKw("GLOBAL");
  expectKw("TEMPORARY");
  expectKw("TABLE");
  QualName q = qualName();
  if (toks_[i_ - 2].kind != Tok::Op) q.schema = "SESSION";  // unqualified: SESSION
  if (q.schema != "SESSION") raise(kSqlSessionSchema, {q.text(), q.schema});
  definedTable_ = q.text();
  TempTableDecl decl;
  decl.name = q.name;
  if (acceptOp("(")) {
    std::vector<ConstraintSpec> cons;
    do {
      ColumnDef col;
      columnDefinition(&col, &cons);
      decl.columns.push_back(col);
    } while (acceptOp(","));
    expectOp(")");
    if (!cons.empty()) raise(kSqlStmtNotSupported, {"CONSTRAINT"});
  } else if (acceptKw("LIKE")) {
    TableRef like = resolveTable(qualName());
    for (ColumnDef c : like.info.columns) {
      c.keyseq = 0;
      c.identity = 0;
      if (c.defaultSql.rfind("QIDENTITY(", 0) == 0) c.defaultSql.clear();
      decl.columns.push_back(c);
    }
  } else {
    expectKw("AS");
    expectOp("(");
    ++depth_;
    std::string sel = selectStatement(false);
    --depth_;
    expectOp(")");
    expectKw("DEFINITION");
    expectKw("ONLY");
    Stmt probe(s_.db(), sel);
    int n = sqlite3_column_count(probe.raw());
    std::vector<QType> types = lastShape_.known ? lastShape_.types : std::vector<QType>{};
    for (int k = 0; k < n; ++k) {
      ColumnDef c;
      c.name = sqlite3_column_name(probe.raw(), k);
      c.type = resultColumnType(sqlite3_column_decltype(probe.raw(), k),
                                types.size() == static_cast<size_t>(n) ? types[static_cast<size_t>(k)] : QType{});
      if (c.type.base == Base::None) {
        c.type.base = Base::Varchar;
        c.type.length = 32672;
      }
      decl.columns.push_back(c);
    }
  }
  while (!atEnd()) {
    if (acceptKw("ON")) {
      if (acceptKw("COMMIT")) {
        if (acceptKw("DELETE")) decl.deleteOnCommit = true;
        else {
          expectKw("PRESERVE");
          decl.deleteOnCommit = false;
        }
      } else {
        expectKw("ROLLBACK");
        if (!acceptKw("DELETE")) expectKw("PRESERVE");
      }
      expectKw("ROWS");
    } else if (kw("NOT") && kw("LOGGED", 1)) {
      i_ += 2;
    } else if (kw("WITH") && kw("REPLACE", 1)) {
      i_ += 2;
      decl.replace = true;
    } else if (acceptKw("IN")) {
      name(kMaxShortName);
    } else {
      fail("ON");
    }
  }
  expectEnd();
  Plan p;
  p.kind = Plan::Action;
  p.writes = true;
  p.action = [decl](Session &s) { ddlDeclareTempTable(s, decl); };
  return p;
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
    if (n.schema == "SESSION" && s_.tempTable(n.name)) {
      p.definition = false;
      p.action = [n](Session &s) {
        if (!ddlDropTempTable(s, n.name)) raise(kSqlUndefinedName, {n.text()});
      };
      return p;
    }
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
  definedTable_ = t.text();
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
  // Check conditions are read over the table's columns (those added before them included), as
  // CREATE TABLE reads them.  A table that does not exist is -204 when the statement runs.
  std::optional<TableInfo> table = findTable(s_.db(), t.schema, t.name);
  if (table && table->type == 'T') {
    const size_t resume = i_;
    for (AlterClause &cl : clauses) {
      if (cl.kind == AlterClause::AddColumn) table->columns.push_back(cl.column);
      readCheckConditions(*table, &cl.constraints);
    }
    i_ = resume;
  }
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

Plan Translator::statement() {
  if (atEnd()) fail("<statement>");
  if (kw("SELECT") || kw("WITH") || kw("VALUES") || isOp("(")) {
    Plan p;
    p.kind = Plan::Query;
    p.sql = selectStatement(true);
    expectEnd();
    p.nParams = nParams_;
    if (lastShape_.known) p.itemTypes = lastShape_.types;
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
  if (kw("DECLARE") && kw("GLOBAL", 1)) return declareTempTableStmt();
  if (kw("COMMENT") || kw("DECLARE") || kw("RENAME") || kw("REFRESH"))
    raise(kSqlStmtNotSupported, {tk().text});
  fail("SELECT");
}

// Reads the CHECK conditions among constraints, each from the token where it begins, over the
// columns of table with their types (the row's values are NEW's); the caller puts the token
// position back.
void Translator::readCheckConditions(const TableInfo &table, std::vector<ConstraintSpec> *constraints) {
  ScopeItem row = tableScope(table.name, table);
  for (ScopeColumn &col : row.cols) col.sql = "NEW." + quoteIdent(col.real);
  scopes_.push_back({row});
  colPrefix_ = "NEW";
  for (ConstraintSpec &c : *constraints) {
    if (c.info.type != 'K') continue;
    i_ = c.checkToken;
    c.info.checkSql = expr();
    if (!isOp(")")) fail(")");
  }
  colPrefix_.clear();
  scopes_.pop_back();
}

}  // namespace quarn
