/*
 * translate_query.cpp - the translator's queries: fullselects, subselects, VALUES, select
 * items, FROM items (tables, derived tables, table functions, joins), ORDER BY and FETCH FIRST.
 */
#include "translator.h"

#include <sqlite3.h>

#include <algorithm>

namespace quarn {
namespace {

// The name SQLite knows a FROM item by, given the items visible where it is added (scopes: the
// enclosing queries' and those before it in its own FROM clause).  SQLite matches correlation
// names without regard to case, so an item exposed as "t" beside or inside one exposed as T took
// T's references (or made them ambiguous); and it knows a table by its name alone, so A.T beside
// or inside B.T (or a correlation name T) took the other's references.  Such an item gets a name
// of its own, the exposed name, a unit separator and its place (query level and position in its
// FROM clause), unique among the items it can see, and its columns are reached by that name.
// schema: the item's when it is a table exposed under its own name.  (Templates: the scope
// types are the translator's private ones.)
template <class Scopes>
std::string sqliteAlias(const Scopes &scopes, const std::string &exposed, const std::string &schema = "") {
  if (exposed.empty() || scopes.empty()) return exposed;
  const std::string upper = upperAscii(exposed);
  for (const auto &level : scopes)
    for (const auto &item : level)
      if (item.exposed != exposed ? upperAscii(item.exposed) == upper : item.schema != schema)
        return exposed + "\x1F" + std::to_string(scopes.size()) + "." + std::to_string(scopes.back().size());
  return exposed;
}

// The columns of item, a FROM item that SQLite knows by alias, are reached by that name.
template <class Item>
void reachedAs(Item *item, const std::string &alias) {
  if (alias == item->exposed) return;
  item->aliased = true;
  for (auto &c : item->cols) c.sql = quoteIdent(alias) + "." + quoteIdent(c.real);
}

}  // namespace

// ======================================================================= queries

std::string Translator::withClause() {
  std::string out = "WITH ";
  do {
    std::string n = name(kMaxName);
    out += quoteIdent(n);
    cteNames_.insert(n);
    std::vector<std::string> cols;
    if (acceptOp("(")) {
      cols = nameList(kMaxColumn);
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
    // The column list names each column once (SQLite's own refusal was -117).
    QueryShape shape = lastShape_;
    if (!cols.empty() && shape.known && shape.names.size() != cols.size()) raise(kSqlColumnListLength, {n});
    // The references that follow see the columns under the names of the column list.
    if (!cols.empty()) {
      if (!shape.known || shape.types.size() != cols.size()) {
        shape.types.assign(cols.size(), QType{});
        shape.combined.clear();
      }
      shape.names = cols;
      shape.known = true;
    }
    cteShapes_[n] = std::move(shape);
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

std::string Translator::orderAndFetch(const LastSelect *single) {
  std::string out;
  if (kw("ORDER") && kw("BY", 1)) {
    i_ += 2;
    out += " ORDER BY ";
    bool first = true;
    do {
      if (!first) out += ", ";
      first = false;
      // A simple name of a result column orders by that column, even where the FROM items
      // have several columns of that name.
      size_t at = i_;
      // Where a * stands for columns, positions are not known.
      const bool star = std::find(resultNames_.begin(), resultNames_.end(), "*") != resultNames_.end();
      if (isName() && (isOp(",", 1) || kw("ASC", 1) || kw("DESC", 1) || kw("FETCH", 1) || isOp(")", 1) ||
                       tk(1).kind == Tok::End || (isOp(";", 1) && tk(2).kind == Tok::End))) {
        const std::string &n = tk().text;
        int found = 0, position = 0;
        for (size_t k = 0; k < resultNames_.size() && !star; ++k)
          if (resultNames_[k] == n) {
            ++found;
            position = static_cast<int>(k + 1);
          }
        if (found == 1) {
          ++i_;
          out += std::to_string(position);
        }
        // The key of a fullselect with set operators (or of a VALUES) names a result column.
        if (found == 0 && !star && !single) raise(kSqlOrderByColumn, {n});
      }
      if (i_ == at && single && tk().kind != Tok::Integer) {
        // A key of one subselect may name the columns of its FROM items: they are visible, and
        // the subselect's grouping and DISTINCT apply to them as to its select items.
        const std::string keyStart = tk().kind == Tok::End ? std::string() : sql_.substr(tk().pos, tk().len);
        scopes_.push_back(single->scope);
        GroupCheck outerGroup = std::move(group_);
        group_ = single->grouping;
        group_.level = scopes_.size() - 1;
        group_.active = true;
        group_.columns.clear();
        std::string key = expr();
        scopes_.pop_back();
        GroupCheck keyGroup = std::move(group_);
        group_ = std::move(outerGroup);
        const std::vector<std::string> &items = single->grouping.columns;
        // A grouped subselect is ordered by its grouping columns (the columns of its grouping
        // keys where one is an expression) and column functions only.
        if (const std::string *c = keyGroup.ungrouped()) raise(kSqlNotGrouped, {c->substr(c->find('\x1F') + 1)});
        for (const std::string &c : keyGroup.columns) {
          // A DISTINCT subselect is ordered by what its select items are made of (reason 2).
          if (single->distinct && std::find(items.begin(), items.end(), c) == items.end())
            raise(kSqlOrderByInvalid, {keyStart, "ORDER BY", "2"});
        }
        out += padKey(key);
      }
      if (i_ == at) {
        std::string key = expr();
        out += padKey(key);
      }
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

namespace {

// One operand of a fullselect's set operators: its SQL and result columns, and the operator that
// joins it to the operands before it (empty for the first).
struct SetOperand {
  std::string sql;
  std::vector<std::string> names;
  std::vector<QType> types;
  bool known = false;
  std::string setop;
  bool all = false;
};

}  // namespace

// left setop right: EXCEPT ALL and INTERSECT ALL keep as many copies of a row as they should.
std::string Translator::setOperation(const std::string &left, const std::string &setop, bool all,
                                     const std::vector<std::string> &rights) {
  if (!all || setop == "UNION") {
    std::string out = left;
    for (const std::string &right : rights) out += " " + setop + (all ? " ALL " : " ") + right;
    return out;
  }
  // EXCEPT ALL, INTERSECT ALL: rows are told apart by their number among equal rows (the
  // n-th copy of a row meets the n-th copy on the other side); the operands' columns are
  // named by position.
  sqlite3_stmt *probe = nullptr;
  if (sqlite3_prepare_v2(s_.db(), left.c_str(), static_cast<int>(left.size()), &probe, nullptr) != SQLITE_OK) {
    std::string msg = sqlite3_errmsg(s_.db());
    sqlite3_finalize(probe);
    throw sqliteFailure(s_.db(), SQLITE_ERROR, msg);
  }
  int n = sqlite3_column_count(probe);
  std::vector<std::string> names;
  for (int k = 0; k < n; ++k) names.push_back(sqlite3_column_name(probe, k));
  sqlite3_finalize(probe);
  // Strings compare blank-padded here too (RTRIM leaves numbers and binary strings alone).
  std::string cols, keys, head;
  for (int k = 0; k < n; ++k) {
    std::string q = "\"q" + std::to_string(k + 1) + "\"";
    cols += (k ? ", " : "") + q + " COLLATE RTRIM AS " + q;
    keys += (k ? ", " : "") + q + " COLLATE RTRIM";
    head += (k ? ", NULL AS " : "NULL AS ") + q;
  }
  auto numbered = [&](const std::string &operand) {
    return "SELECT " + cols + ", row_number() OVER (PARTITION BY " + keys + ") AS \"qn\" FROM (SELECT " + head +
           " WHERE 0 UNION ALL SELECT * FROM (" + operand + "))";
  };
  std::string outCols;
  for (int k = 0; k < n; ++k)
    outCols += (k ? ", " : "") + std::string("\"q") + std::to_string(k + 1) + "\" AS " + quoteIdent(names[static_cast<size_t>(k)]);
  // Several operations in a row stay one level deep (SQLite's parser refuses deep nesting): the
  // n-th copy of a row is in every operand of INTERSECT ALL when each has n copies, and
  // a EXCEPT ALL b EXCEPT ALL c keeps as many copies as a EXCEPT ALL (b UNION ALL c).
  std::string body = numbered(left);
  if (setop == "EXCEPT") {
    std::string together;
    for (const std::string &right : rights) together += (together.empty() ? "" : " UNION ALL ") + right;
    body += " EXCEPT " + numbered(together);
  } else {
    for (const std::string &right : rights) body += " " + setop + " " + numbered(right);
  }
  return "SELECT " + outCols + " FROM (" + body + ")";
}

std::string Translator::fullselect() {
  Nest nest(*this);
  std::vector<SetOperand> operands;
  auto read = [&](const std::string &setop, bool all) {
    SetOperand o;
    o.sql = term();
    o.names = lastShape_.names;
    o.types = lastShape_.types;
    o.known = lastShape_.known;
    o.setop = setop;
    o.all = all;
    operands.push_back(std::move(o));
  };
  read("", false);
  const LastSelect firstSelect = std::move(lastSelect_);
  bool oneRow = lastOneRow_;
  // ORDER BY names the columns of the first term.
  std::vector<std::string> firstNames = lastResultNames_;
  // The result columns are named by the first term; a column keeps a distinct type only where
  // every term gives it that type.
  QueryShape shape = lastShape_;
  for (;;) {
    std::string setop;
    if (acceptKw("UNION")) setop = "UNION";
    else if (acceptKw("EXCEPT")) setop = "EXCEPT";
    else if (acceptKw("INTERSECT")) setop = "INTERSECT";
    else break;
    bool all = acceptKw("ALL");
    if (!all) acceptKw("DISTINCT");
    ++depth_;
    read(setop, all);
    --depth_;
    oneRow = false;
    for (size_t k = 0; k < shape.types.size(); ++k) {
      QType &t = shape.types[k];
      bool same = lastShape_.known && lastShape_.types.size() == shape.types.size() &&
                  lastShape_.types[k].typeSchema == t.typeSchema && lastShape_.types[k].typeName == t.typeName;
      if (t.isDistinct() && !same) t = QType{};
    }
  }
  if (operands.size() > 1) {
    // Each result column holds every operand's values (rowsType): INTEGER with DECIMAL(5,2) is
    // DECIMAL(13,2), CHAR(5) with VARCHAR(12) VARCHAR(12); a number with a string is -415.
    // Where every operand's column is of a known built-in type, an operand whose column is of
    // another type is read through a select that gives its values as the result's type (a CHAR
    // padded), so that the result is described by that type, not by the first operand's column.
    const size_t n = shape.types.size();
    bool sameWidth = true;
    for (const SetOperand &o : operands) sameWidth = sameWidth && o.known && o.types.size() == n;
    if (sameWidth) {
      for (size_t k = 0; k < n; ++k) {
        // Operands of no known type (NULL, a parameter marker) or of a distinct type leave the
        // column as the first operand gives it; the others are still checked.
        QType r;
        bool typed = false, whole = true;
        for (const SetOperand &o : operands) {
          const QType &t = o.types[k];
          if (t.base == Base::None || t.isDistinct()) {
            whole = false;
            continue;
          }
          r = typed ? rowsType(r, t) : t;
          typed = true;
        }
        if (whole) {
          shape.types[k] = r;
          shape.combined.resize(n);
          shape.combined[k] = true;
        }
      }
      // The first operand's names name the result; where one of them is not known the first
      // operand is left as it is.
      bool namesKnown = operands[0].names.size() == n;
      for (const std::string &nm : operands[0].names) namesKnown = namesKnown && !nm.empty() && nm != "*";
      for (size_t j = 0; j < operands.size(); ++j) {
        SetOperand &o = operands[j];
        bool convert = false;
        std::string items, head;
        for (size_t k = 0; k < n; ++k) {
          const QType &t = o.types[k], &r = shape.types[k];
          const bool differs = !r.isDistinct() && r.base != Base::None &&
                               (t.base != r.base || t.length != r.length || t.scale != r.scale || t.forBitData != r.forBitData);
          std::string q = "\"q" + std::to_string(k + 1) + "\"";
          head += (k ? ", NULL AS " : "NULL AS ") + q;
          // A column of this select would be described by the operand's column (SQLite describes
          // the column of a compound by its last select): + makes it an expression.
          std::string value = j == 0 && differs ? "+" + q : q;
          if (differs) {
            // A string read as a datetime result's value; a CHAR value padded to its length (a
            // CHAR result's); numbers are held as they are, and fetched as the result's type.
            const bool fixed = (r.base == Base::Char || r.base == Base::Graphic) && !r.forBitData;
            if (isDatetime(r)) value = asDatetime(value, t, r.base);
            else if (fixed || comparesPadded(t)) value = asValue(value, fixed ? r : t);
            convert = convert || value != q;
          }
          if (comparesPadded(r)) value += " COLLATE RTRIM";
          items += (k ? ", " : "") + value + " AS " + (j == 0 ? quoteIdent(operands[0].names[k]) : q);
        }
        if (!convert || (j == 0 && !namesKnown)) continue;
        o.sql = "SELECT " + items + " FROM (SELECT " + head + " WHERE 0 UNION ALL SELECT * FROM (" + o.sql + "))";
      }
    }
  }
  // INTERSECT binds tighter than UNION and EXCEPT: the operands joined by INTERSECT are one
  // operand of the operators around them; operators of one level are applied from the left.
  // Operations of one kind in a row (INTERSECT ALL, EXCEPT ALL) are applied as one.
  std::string out;
  std::vector<std::string> pending;  // the right operands of the operation not yet applied
  const SetOperand *pendingOp = nullptr;
  for (size_t j = 0; j < operands.size();) {
    std::string group = operands[j].sql;
    size_t next = j + 1;
    std::vector<std::string> intersected;
    for (; next < operands.size() && operands[next].setop == "INTERSECT"; ++next) {
      if (!intersected.empty() && operands[next].all != operands[next - 1].all) {
        group = setOperation(group, "INTERSECT", operands[next - 1].all, intersected);
        intersected.clear();
      }
      intersected.push_back(operands[next].sql);
    }
    if (!intersected.empty()) group = setOperation(group, "INTERSECT", operands[next - 1].all, intersected);
    if (next > j + 1) group = "SELECT * FROM (" + group + ")";
    if (j == 0) {
      out = group;
    } else {
      if (pendingOp && (pendingOp->setop != operands[j].setop || pendingOp->all != operands[j].all)) {
        out = setOperation(out, pendingOp->setop, pendingOp->all, pending);
        pending.clear();
      }
      pendingOp = &operands[j];
      pending.push_back(group);
    }
    j = next;
  }
  if (pendingOp) out = setOperation(out, pendingOp->setop, pendingOp->all, pending);
  std::vector<std::string> outer = std::move(resultNames_);
  resultNames_ = std::move(firstNames);
  const std::string ordered = orderAndFetch(operands.size() == 1 && firstSelect.simple ? &firstSelect : nullptr);
  out += ordered;
  lastSelect_.simple = false;
  lastOneRowSql_ = operands.size() == 1 && firstSelect.simple && ordered.empty() ? firstSelect.oneRowSql : std::string();
  resultNames_ = std::move(outer);
  lastShape_ = std::move(shape);
  lastOneRow_ = oneRow;
  return out;
}

std::string Translator::term() {
  if (acceptOp("(")) {
    std::string inner = fullselect();
    expectOp(")");
    lastSelect_.simple = false;
    return "SELECT * FROM (" + inner + ")";
  }
  if (kw("SELECT")) return subselect();
  lastOneRow_ = false;
  lastSelect_.simple = false;
  if (acceptKw("VALUES")) return valuesClause(false);
  fail("SELECT");
}

// VALUES rows; the result columns are named "1", "2", ... as Quarn names them.
std::string Translator::valuesClause(bool /*single*/) {
  std::vector<std::vector<std::string>> rows;
  // The types of the columns: each one that holds every row's value (combinedType).
  std::vector<QType> types;
  do {
    std::vector<std::string> row;
    std::vector<QType> rowTypes;
    auto value = [&] {
      std::string v = expr();
      rowTypes.push_back(lastType_);
      row.push_back(asValue(v, lastType_));
    };
    // (SELECT ...) is one value, a scalar fullselect, not a row of values.
    if (!(isOp("(") && (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) && acceptOp("(")) {
      do value();
      while (acceptOp(","));
      expectOp(")");
    } else {
      value();
    }
    if (rows.empty()) {
      types = rowTypes;
    } else {
      for (size_t k = 0; k < types.size() && k < rowTypes.size(); ++k) types[k] = combinedType(types[k], rowTypes[k]);
    }
    if (!rows.empty() && row.size() != rows[0].size()) raise(kSqlColumnCountMismatch);
    rows.push_back(std::move(row));
  } while (acceptOp(","));
  lastResultNames_.clear();
  for (size_t k = 0; k < rows[0].size(); ++k) lastResultNames_.push_back(std::to_string(k + 1));
  lastShape_ = QueryShape{lastResultNames_, types, true, true, {}};
  std::string out = "SELECT ";
  if (rows.size() == 1) {
    for (size_t k = 0; k < rows[0].size(); ++k)
      out += (k ? ", " : "") + rows[0][k] + " AS " + quoteIdent(std::to_string(k + 1));
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
  return out + ")";
}

std::string Translator::selectItem(int position) {
  // *, T.*, S.T.*: the columns of the FROM items of this subselect (of the one exposed as T), in
  // the order SQLite gives them.  In a view's body they are written out when all are known.
  auto starColumns = [&](const std::string *exposed, const std::string *schema) {
    bool found = false, known = true, renamed = false, ownNames = false;
    std::string list;
    for (const ScopeItem &item : scopes_.back()) {
      if (exposed && item.exposed != *exposed) continue;
      if (schema && item.schema != *schema) continue;
      found = true;
      if (!item.known) itemShape_.known = known = false;
      for (const ScopeColumn &c : item.cols) {
        // A column of a derived table that SQLite knows by a name of the translator's (columns
        // of one name) is listed by it, named as the derived table names it.
        const bool own = c.real.find('\x1F') != std::string::npos;
        itemShape_.names.push_back(own ? c.name : c.real);
        itemShape_.types.push_back(c.type);
        itemShape_.combined.push_back(c.combined);
        // A FROM item that SQLite knows by a name of its own (sqliteAlias) is listed by it:
        // T.* would reach another item.
        renamed = renamed || !c.sql.empty();
        ownNames = ownNames || own;
        list += (list.empty() ? "" : ", ") + (c.sql.empty() ? quoteIdent(item.exposed) + "." + quoteIdent(c.real) : c.sql);
        if (own) list += " AS " + quoteIdent(c.name);
      }
    }
    if (!found) itemShape_.known = false;
    // S.T.* names its item by schema, which SQLite's T.* cannot: its columns are listed.
    if (schema && !found) raise(kSqlColumnInvalid, {*schema + "." + *exposed + ".*"});
    return (expandStar_ || ownNames || (exposed && (renamed || schema))) && found && known && !list.empty() ? list
                                                                                                   : std::string();
  };
  if (acceptOp("*")) {
    std::string list = starColumns(nullptr, nullptr);
    resultNames_.push_back("*");
    return list.empty() ? "*" : list;
  }
  if (isName() && isOp(".", 1) && (isOp("*", 2) || (isName(2) && isOp(".", 3) && isOp("*", 4)))) {
    std::string n = tk().text, schema;
    i_ += 2;
    if (isName()) {
      schema = n;
      n = tk().text;
      i_ += 2;
    }
    ++i_;
    std::string list = starColumns(&n, schema.empty() ? nullptr : &schema);
    resultNames_.push_back("*");
    return list.empty() ? quoteIdent(n) + ".*" : list;
  }
  size_t start = i_;
  QType castType;
  std::string e;
  renamedColumnSql_.clear();
  lastColumnCombined_ = false;
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
    castType = lastType_;
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
  itemShape_.types.push_back(castType);
  // A plain reference to a set operator's column passes on the type SQLite does not declare.
  itemShape_.combined.push_back(isColumn && lastColumnCombined_);
  // An expression of a character type keeps the blank-padded comparison for DISTINCT and the
  // set operators; its value is what it is as a value (CHAR padded).
  if (!isColumn) e = padKey(asValue(e, lastType_));
  if (!alias.empty()) {
    resultNames_.push_back(alias);
    itemShape_.names.push_back(alias);
    return e + " AS " + quoteIdent(alias);
  }
  if (isColumn) {
    resultNames_.push_back(toks_[i_ - 1].kind == Tok::Op ? std::string() : toks_[i_ - 1].text);
    itemShape_.names.push_back(resultNames_.back());
    // A column SQLite knows by another name (renamed by a correlation list, or one of two of a
    // derived table's columns of one name) is named as the statement names it.
    const std::string &shown = resultNames_.back();
    if (!shown.empty() && e == renamedColumnSql_) return e + " AS " + quoteIdent(shown);
    return e;
  }
  resultNames_.push_back(std::to_string(position));
  itemShape_.names.push_back(resultNames_.back());
  itemShape_.unnamed = true;
  return e + " AS " + quoteIdent(std::to_string(position));
}

std::string Translator::subselect() {
  expectKw("SELECT");
  std::string out = "SELECT ";
  const bool distinct = acceptKw("DISTINCT");
  if (distinct) out += "DISTINCT ";
  else acceptKw("ALL");
  int position = 1;
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
  // The grouping check of an enclosing select sees nothing of this one.
  GroupCheck outerGroup = std::move(group_);
  group_ = GroupCheck{};
  std::string tail = " FROM " + fromClause();
  if (acceptKw("WHERE")) tail += " WHERE " + expr();
  GroupCheck grouping;
  grouping.level = scopes_.size() - 1;
  if (kw("GROUP") && kw("BY", 1)) {
    i_ += 2;
    tail += " GROUP BY ";
    grouping.grouped = true;
    bool first = true;
    do {
      // A key that is a plain column reference: its column, as the select items name it.
      std::vector<std::string> parts;
      size_t k = i_;
      for (;;) {
        if (toks_[k].kind != Tok::Ident && toks_[k].kind != Tok::DelimIdent) break;
        parts.push_back(toks_[k].text);
        if (!(toks_[k + 1].kind == Tok::Op && toks_[k + 1].text == ".")) break;
        k += 2;
      }
      std::string exposed;
      size_t level = 0;
      const ScopeColumn *c = parts.empty() ? nullptr : findColumn(parts, &exposed, &level);
      // The key's columns of this subselect's FROM items: where a key is an expression, the
      // select items and ORDER BY keys outside a column function are made of them.
      group_ = GroupCheck{};
      group_.active = true;
      group_.level = grouping.level;
      std::string key = expr();
      grouping.keyColumns.insert(grouping.keyColumns.end(), group_.columns.begin(), group_.columns.end());
      group_ = GroupCheck{};
      const Token &after = toks_[i_];
      bool plain = c != nullptr && level == grouping.level && i_ == k + 1 &&
                   (after.kind == Tok::End || (after.kind == Tok::Op && after.text == ",") || after.kind == Tok::Ident);
      if (plain) grouping.keys.push_back(groupKey(level, c, exposed));
      else grouping.keysAreColumns = false;
      tail += (first ? "" : ", ") + padKey(key);
      first = false;
    } while (acceptOp(","));
  }
  // HAVING without GROUP BY makes the whole table one group (of no grouping columns).
  const bool wholeGroup = !grouping.grouped && kw("HAVING");
  if (wholeGroup) grouping.grouped = true;
  if (acceptKw("HAVING")) {
    // Its columns outside a column function are grouping columns, as the select items' are:
    // SQLite would test any row's value of the group.
    group_ = grouping;
    group_.active = true;
    tail += " HAVING " + expr();
    if (const std::string *c = group_.ungrouped()) raise(kSqlNotGrouped, {c->substr(c->find('\x1F') + 1)});
    group_ = GroupCheck{};
  }
  --depth_;
  size_t tailEnd = i_;
  int tailParams = nParams_;
  i_ = itemsStart;
  nParams_ = itemsParams;
  std::vector<std::string> outerNames = std::move(resultNames_);
  resultNames_.clear();
  QueryShape outerShape = std::move(itemShape_);
  itemShape_ = QueryShape{};
  group_ = std::move(grouping);
  group_.active = true;
  std::vector<std::string> items;
  do items.push_back(selectItem(position++));
  while (acceptOp(","));
  // SQLite takes HAVING only in a select whose items hold a column function: without one (no
  // column of the group is an item either, -122 below) the first item is put in a CASE with a
  // column function, which keeps its value.
  if (wholeGroup && !group_.aggregate && !resultNames_.empty() && !resultNames_[0].empty() && resultNames_[0] != "*") {
    const std::string as = " AS " + quoteIdent(resultNames_[0]);
    std::string &item = items[0];
    if (item.size() > as.size() && item.compare(item.size() - as.size(), as.size(), as) == 0)
      item.resize(item.size() - as.size());
    item = "CASE WHEN count(*) >= 0 THEN " + item + " END" + as;
  }
  std::string oneRowItem;
  if (items.size() == 1 && !distinct && !group_.grouped && !group_.aggregate && !group_.columns.empty() &&
      !resultNames_.empty() && !resultNames_[0].empty() && resultNames_[0] != "*") {
    const std::string as = " AS " + quoteIdent(resultNames_[0]);
    oneRowItem = items[0];
    if (oneRowItem.size() > as.size() && oneRowItem.compare(oneRowItem.size() - as.size(), as.size(), as) == 0)
      oneRowItem.resize(oneRowItem.size() - as.size());
    oneRowItem = "QONEROW(" + oneRowItem + ")" + as;
  }
  for (size_t k = 0; k < items.size(); ++k) out += (k ? ", " : "") + items[k];
  // A select item outside a column function in a grouped select (a GROUP BY, or a column
  // function among the items) must be a grouping column: SQLite would give any row's value.
  if (const std::string *c = group_.ungrouped()) raise(kSqlNotGrouped, {c->substr(c->find('\x1F') + 1)});
  const bool oneRow = group_.aggregate && !group_.grouped;
  lastSelect_.simple = true;
  lastSelect_.distinct = distinct;
  lastSelect_.grouping = std::move(group_);
  lastSelect_.scope = scopes_.back();
  group_ = std::move(outerGroup);
  // The names stay for the ORDER BY of this subselect (or of the fullselect it begins).
  std::vector<std::string> names = std::move(resultNames_);
  resultNames_ = std::move(outerNames);
  lastResultNames_ = std::move(names);
  lastShape_ = std::move(itemShape_);
  itemShape_ = std::move(outerShape);
  if (i_ != fromAt) fail("FROM");
  scopes_.pop_back();
  i_ = tailEnd;
  nParams_ = tailParams;
  lastOneRow_ = oneRow;
  lastSelect_.oneRowSql = oneRowItem.empty() ? std::string() : "SELECT " + oneRowItem + tail;
  return out + tail;
}

std::string Translator::fromClause() {
  std::string out = tableRef();
  while (acceptOp(",")) out += ", " + tableRef();
  return out;
}

std::string Translator::tableRef() {
  Nest nest(*this);
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
                                  std::string *corrOut, std::vector<std::string> *colsOut, const QueryShape *shape,
                                  std::string *tableSchema) {
  std::string corr = defaultName;
  bool hasAs = acceptKw("AS");
  if (hasAs || isCorrelationName()) {
    corr = name(kMaxName);
    if (tableSchema) tableSchema->clear();
  }
  // In a trigger the transition variables become SQLite's NEW and OLD (and, for BEFORE INSERT
  // assignments, the row "quarn_new" of "quarn_src"), which SQLite names without regard to
  // case: a FROM item exposed under one of these names would capture every reference to the
  // variable inside its query, silently.
  if (triggerMode_ && !corr.empty())
    for (const char *reserved : {"NEW", "OLD", "QUARN_NEW", "QUARN_SRC"})
      if (upperAscii(corr) == reserved) raise(kSqlCorrelationName, {corr});
  std::vector<std::string> cols;
  if (!corr.empty() && isOp("(") && (hasAs || corr != defaultName || derived)) {
    ++i_;
    cols = nameList(kMaxColumn);
  }
  if (corrOut) *corrOut = corr;
  std::string alias = sqliteAlias(scopes_, corr, tableSchema ? *tableSchema : std::string());
  // The names the compound's first select gives the columns (the column list, or names of
  // the translator's own for the columns of a derived table that share a name).
  std::vector<std::string> heads = cols;
  if (shape && !scopes_.empty()) {
    // A column list names each column of the derived table once.
    if (!cols.empty() && shape->known && shape->names.size() != cols.size()) raise(kSqlColumnListLength, {corr});
    // SQLite names the columns of the derived table as its select does, or by the column list.
    // A column carries a distinct type, and a set operator's column the type that holds every
    // operand's values (SQLite declares one operand's type, which would describe and fetch it,
    // as a view's catalogued column does; resultColumnType), and a CHAR or GRAPHIC column its
    // type (below); another column of a built-in type stays of unknown type.
    ScopeItem item{corr, {}, true, {}, false};
    bool typed = shape->known && shape->types.size() == (cols.empty() ? shape->names.size() : cols.size());
    const std::vector<std::string> &names = cols.empty() ? shape->names : cols;
    item.known = typed || !cols.empty();
    // Columns of one name (of a derived table, or of a common table expression read here):
    // SQLite would rename all but the first ("K:1"), and * would show that name; each is reached
    // by a name of its own and keeps its name as a result column.
    std::vector<std::string> reals = names;
    if (item.known && cols.empty() && std::find(names.begin(), names.end(), "*") == names.end()) {
      bool shared = false;
      for (size_t k = 0; k < names.size() && !shared; ++k)
        shared = std::find(names.begin() + static_cast<std::ptrdiff_t>(k) + 1, names.end(), names[k]) != names.end();
      if (shared) {
        for (size_t k = 0; k < names.size(); ++k) reals[k] = names[k] + "\x1F" + std::to_string(k + 1);
        heads = reals;
      }
    }
    if (item.known)
      for (size_t k = 0; k < names.size(); ++k) {
        QType t = typed ? shape->types[k] : QType{};
        const bool combined = typed && shape->isCombined(k) && !t.isDistinct() && t.base != Base::None;
        // A CHAR or GRAPHIC column keeps its type, so that as a value it is its n bytes (n
        // characters) as the column itself is: 'ab' of a CHAR(5) read through a derived table
        // or WITH was 'ab' (LENGTH 2, and 'ab|' concatenated).
        const bool fixed = fixedString(t);
        item.cols.push_back(
            ScopeColumn{names[k], reals[k], t.isDistinct() || combined || fixed ? t : QType{}, {}, combined});
      }
    // An item whose columns are not listed keeps its name: its columns are reached by it.
    if (!item.known) alias = corr;
    reachedAs(&item, alias);
    scopes_.back().push_back(item);
  }
  if (colsOut) {
    // The caller renames the columns itself.
    *colsOut = cols;
    return corr.empty() ? source : source + " AS " + quoteIdent(alias);
  }
  std::string body = source;
  if (!heads.empty()) {
    std::string head = "SELECT ";
    for (size_t k = 0; k < heads.size(); ++k) head += (k ? ", " : "") + std::string("NULL AS ") + quoteIdent(heads[k]);
    std::string inner = derived ? source : "SELECT * FROM " + source;
    if (derived) {
      // source is "(select)": strip the parentheses to put it into the compound.
      inner = "SELECT * FROM " + source;
    }
    body = "(" + head + " WHERE 0 UNION ALL " + inner + ")";
  }
  if (corr.empty()) return body;
  return body + " AS " + quoteIdent(alias);
}

std::string Translator::primaryTableRef() {
  // A data change as a table reference (FINAL TABLE (INSERT ...)) is not translated.
  if ((kw("FINAL") || kw("NEW") || kw("OLD")) && kw("TABLE", 1) && isOp("(", 2))
    raise(kSqlStmtNotSupported, {tk().text + " TABLE"});
  if (kw("TABLE") && isOp("(", 1)) {
    i_ += 2;
    if (atSubquery() || isOp("(")) {
      ++depth_;
      std::string inner = selectStatement(false);
      --depth_;
      expectOp(")");
      QueryShape shape = lastShape_;
      return correlate("(" + inner + ")", "", true, nullptr, nullptr, &shape);
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
    if (!cols.empty() && cols.size() != def.columns.size()) raise(kSqlColumnListLength, {corr});
    if (!scopes_.empty()) {
      ScopeItem item{corr, {}, true, {}, false};
      for (size_t k = 0; k < def.columns.size(); ++k)
        item.cols.push_back(ScopeColumn{cols.empty() ? def.columns[k].name : cols[k], def.columns[k].name,
                                        def.columns[k].type, {}});
      reachedAs(&item, sqliteAlias(scopes_, corr));
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
      QueryShape shape = lastShape_;
      return correlate("(" + inner + ")", "", true, nullptr, nullptr, &shape);
    }
    std::string inner = tableRef();
    expectOp(")");
    return "(" + inner + ")";
  }
  if (!isName()) fail("<table name>");
  if (!isOp(".", 1) && cteNames_.count(tk().text)) {
    std::string n = name(kMaxName);
    // A common table expression read in its own definition has no known columns yet.
    auto known = cteShapes_.find(n);
    QueryShape shape = known != cteShapes_.end() ? known->second : QueryShape{{}, {}, false, false, {}};
    return correlate(quoteIdent(n), n, false, nullptr, nullptr, &shape);
  }
  QualName q = qualName();
  TableRef r = resolveTable(q);
  std::string corr;
  std::vector<std::string> cols;
  std::string schema = q.schema;
  std::string out = correlate(r.sqlite, r.exposed, false, &corr, &cols, nullptr, &schema);
  const std::string alias = sqliteAlias(scopes_, corr, schema);
  if (!scopes_.empty()) {
    ScopeItem item = tableScope(corr, r.info);
    item.schema = schema;
    for (size_t k = 0; k < cols.size() && k < item.cols.size(); ++k) item.cols[k].name = cols[k];
    if (!cols.empty())
      for (ScopeColumn &c : item.cols) c.real = c.name;
    reachedAs(&item, alias);
    scopes_.back().push_back(item);
  }
  if (cols.empty()) return out;
  // A table with a column list: name the columns in a derived table.
  if (cols.size() != r.info.columns.size()) raise(kSqlColumnListLength, {corr});
  std::string sel = "(SELECT ";
  for (size_t k = 0; k < cols.size(); ++k)
    sel += (k ? ", " : "") + quoteIdent(r.info.columns[k].name) + " AS " + quoteIdent(cols[k]);
  return sel + " FROM " + r.sqlite + ") AS " + quoteIdent(alias);
}

}  // namespace quarn
