/*
 * describe.cpp - parameter markers and result columns described from a statement's translation.
 *
 * The translation has every table reference as its SQLite name with its exposed name
 * ("S.T" AS "T"), every column as "C" or "T"."C" and every marker numbered (?1, ?2, ...).  So
 * the tokens of the translation, the one tokenizer of lexer.h, and the catalog are enough to
 * tell the column a marker is written into or compared with.  Anything else is left unknown.
 */
#include "describe.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "catalog.h"
#include "lexer.h"
#include "translate.h"

namespace quarn {
namespace {

bool isKw(const Token &t, const char *w) { return t.kind == Tok::Ident && t.text == w; }
bool isOp(const Token &t, const char *o) { return t.kind == Tok::Op && t.text == o; }

bool isComparison(const Token &t) {
  return isOp(t, "=") || isOp(t, "<>") || isOp(t, "<") || isOp(t, ">") || isOp(t, "<=") || isOp(t, ">=");
}

// A token that ends the operand before it: nothing binds tighter across it.
bool endsOperand(const Token &t) {
  if (t.kind == Tok::End) return true;
  if (t.kind == Tok::Op) return t.text == ")" || t.text == "," || t.text == ";";
  static const char *const kWords[] = {"AND", "OR", "ORDER", "GROUP", "HAVING", "THEN", "ELSE", "END", "WHEN",
                                       "UNION", "EXCEPT", "INTERSECT", "LIMIT", "FETCH", "ESCAPE", "WHERE"};
  for (const char *w : kWords)
    if (isKw(t, w)) return true;
  return false;
}

// A token that starts a new operand after it.
bool startsOperand(const Token &t) {
  if (t.kind == Tok::Op) return t.text == "(" || t.text == ",";
  static const char *const kWords[] = {"WHERE", "AND", "OR", "NOT", "ON", "HAVING", "WHEN", "SET", "THEN", "ELSE"};
  for (const char *w : kWords)
    if (isKw(t, w)) return true;
  return false;
}

struct ScopeEntry {
  std::string corr;  // exposed name; empty for the target of INSERT
  size_t pos = 0;    // token index of the reference
  TableInfo info;
};

class Describer {
 public:
  Describer(Session &s, const std::string &sqliteText) : s_(s), t_(tokenize(sqliteText)) {}

  std::vector<ParamInfo> params(int nParams) {
    std::vector<ParamInfo> out(static_cast<size_t>(nParams > 0 ? nParams : 0));
    collectScope();
    insertTargets(&out);
    for (size_t k = 0; k + 1 < t_.size(); ++k) {
      if (t_[k].kind != Tok::Param || t_[k + 1].kind != Tok::Integer) continue;
      size_t index = static_cast<size_t>(std::strtol(t_[k + 1].text.c_str(), nullptr, 10)) - 1;
      if (index >= out.size() || out[index].type.base != Base::None) continue;
      fromContext(k, &out[index]);
    }
    return out;
  }

  std::optional<TableInfo> catalogObject(const std::string &sqliteName) {
    auto it = cache_.find(sqliteName);
    if (it != cache_.end()) return it->second;
    std::optional<TableInfo> found;
    // The naming rule joins schema and name with a full stop; a delimited schema may hold one
    // too, so every split is tried.
    for (size_t dot = sqliteName.find('.'); dot != std::string::npos && !found; dot = sqliteName.find('.', dot + 1))
      found = findTable(s_.db(), sqliteName.substr(0, dot), sqliteName.substr(dot + 1));
    cache_[sqliteName] = found;
    return found;
  }

 private:
  const Token &tok(size_t k) const { return t_[k < t_.size() ? k : t_.size() - 1]; }

  void collectScope() {
    for (size_t k = 0; k + 2 < t_.size(); ++k) {
      if (t_[k].kind != Tok::DelimIdent) continue;
      bool aliased = isKw(t_[k + 1], "AS") && t_[k + 2].kind == Tok::DelimIdent;
      bool insertTarget = k == 2 && isKw(t_[0], "INSERT") && isKw(t_[1], "INTO");
      if (!aliased && !insertTarget) continue;
      std::optional<TableInfo> info = catalogObject(t_[k].text);
      if (info) scope_.push_back(ScopeEntry{aliased ? t_[k + 2].text : std::string(), k, *info});
    }
  }

  void setFrom(const ColumnDef *c, ParamInfo *p) {
    if (!c) return;
    p->type = c->type;
    p->nullable = c->nullable ? 1 : 0;
  }

  // INSERT INTO "S.T" [("A", ...)] VALUES (?1, ...), ...: items that are just a marker.
  void insertTargets(std::vector<ParamInfo> *out) {
    if (!(isKw(tok(0), "INSERT") && isKw(tok(1), "INTO") && tok(2).kind == Tok::DelimIdent)) return;
    std::optional<TableInfo> table = catalogObject(tok(2).text);
    if (!table) return;
    std::vector<std::string> cols;
    size_t k = 3;
    if (isOp(tok(k), "(")) {
      for (++k; tok(k).kind == Tok::DelimIdent; k += 2) {
        cols.push_back(tok(k).text);
        if (!isOp(tok(k + 1), ",")) {
          ++k;
          break;
        }
      }
      if (!isOp(tok(k), ")")) return;
      ++k;
    } else {
      for (const ColumnDef &c : table->columns) cols.push_back(c.name);
    }
    if (!isKw(tok(k), "VALUES")) return;
    ++k;
    while (isOp(tok(k), "(")) {
      ++k;
      size_t item = 0, start = k;
      int depth = 0;
      for (; tok(k).kind != Tok::End; ++k) {
        bool closing = depth == 0 && isOp(tok(k), ")");
        if (depth == 0 && (closing || isOp(tok(k), ","))) {
          if (k == start + 2 && tok(start).kind == Tok::Param && tok(start + 1).kind == Tok::Integer && item < cols.size()) {
            size_t index = static_cast<size_t>(std::strtol(tok(start + 1).text.c_str(), nullptr, 10)) - 1;
            if (index < out->size()) setFrom(table->column(cols[item]), &(*out)[index]);
          }
          ++item;
          start = k + 1;
          if (closing) break;
          continue;
        }
        if (isOp(tok(k), "(")) ++depth;
        if (isOp(tok(k), ")")) --depth;
      }
      if (!isOp(tok(k), ")")) return;
      ++k;
      if (!isOp(tok(k), ",")) return;
      ++k;
    }
  }

  // The column "C" or "T"."C" whose last token is at end; false when there is none.
  bool columnEndingAt(size_t end, size_t *start, std::string *qual, std::string *col) const {
    if (end >= t_.size() || t_[end].kind != Tok::DelimIdent) return false;
    *col = t_[end].text;
    qual->clear();
    *start = end;
    if (end >= 2 && isOp(t_[end - 1], ".") && t_[end - 2].kind == Tok::DelimIdent) {
      *qual = t_[end - 2].text;
      *start = end - 2;
    }
    return true;
  }

  bool columnStartingAt(size_t start, size_t *end, std::string *qual, std::string *col) const {
    if (tok(start).kind != Tok::DelimIdent) return false;
    if (isOp(tok(start + 1), ".") && tok(start + 2).kind == Tok::DelimIdent) {
      *qual = tok(start).text;
      *col = tok(start + 2).text;
      *end = start + 2;
    } else {
      qual->clear();
      *col = tok(start).text;
      *end = start;
    }
    return !isOp(tok(*end + 1), "(") && !isOp(tok(*end + 1), ".");
  }

  // The column named col (qualified by qual when given) among the tables referenced, the one
  // nearest to the marker when several tables have it.
  const ColumnDef *lookup(const std::string &qual, const std::string &col, size_t at) const {
    const ColumnDef *best = nullptr;
    size_t bestDistance = SIZE_MAX;
    for (const ScopeEntry &e : scope_) {
      if (!qual.empty() && e.corr != qual) continue;
      const ColumnDef *c = e.info.column(col);
      if (!c) continue;
      size_t distance = e.pos > at ? e.pos - at : at - e.pos;
      if (distance < bestDistance) {
        best = c;
        bestDistance = distance;
      }
    }
    return best;
  }

  // The marker whose tokens are at k, k + 1.
  void fromContext(size_t k, ParamInfo *p) {
    size_t after = k + 2;
    // A marker compared blank-padded: "?n COLLATE RTRIM".
    if (isKw(tok(after), "COLLATE")) after += 2;
    // QCAST(?n, 'DECL'): CAST(? AS type).
    if (k >= 2 && isKw(t_[k - 2], "QCAST") && isOp(t_[k - 1], "(") && isOp(tok(after), ",") &&
        tok(after + 1).kind == Tok::String) {
      p->type = typeFromDecl(tok(after + 1).text.c_str());
      return;
    }
    size_t start;
    std::string qual, col;
    // column op ?n, column [NOT] LIKE ?n, column [NOT] BETWEEN ?n AND ...
    if (k >= 2 && endsOperand(tok(after))) {
      size_t opAt = k - 1;
      bool word = isKw(t_[opAt], "LIKE") || isKw(t_[opAt], "BETWEEN");
      if (isComparison(t_[opAt]) || word) {
        size_t colEnd = opAt - 1;
        if (word && opAt >= 2 && isKw(t_[opAt - 1], "NOT")) colEnd = opAt - 2;
        if (columnEndingAt(colEnd, &start, &qual, &col) && (start == 0 || startsOperand(t_[start - 1]))) {
          setFrom(lookup(qual, col, k), p);
          return;
        }
      }
      // column BETWEEN ?m AND ?n
      if (k >= 5 && isKw(t_[k - 1], "AND") && t_[k - 3].kind == Tok::Param && isKw(t_[k - 4], "BETWEEN")) {
        size_t colEnd = k - 5;
        if (colEnd >= 1 && isKw(t_[colEnd], "NOT")) --colEnd;
        if (columnEndingAt(colEnd, &start, &qual, &col) && (start == 0 || startsOperand(t_[start - 1]))) {
          setFrom(lookup(qual, col, k), p);
          return;
        }
      }
    }
    // ?n op column
    if ((k == 0 || startsOperand(t_[k - 1])) && isComparison(tok(after))) {
      size_t end;
      if (columnStartingAt(after + 1, &end, &qual, &col) && (endsOperand(tok(end + 1)) || isKw(tok(end + 1), "COLLATE")))
        setFrom(lookup(qual, col, k), p);
    }
  }

  Session &s_;
  std::vector<Token> t_;
  std::vector<ScopeEntry> scope_;
  std::map<std::string, std::optional<TableInfo>> cache_;
};

}  // namespace

int describeStatement(Session &s, const std::string &sql, StatementShape *out, sqlca *ca) {
  clearSqlca(ca);
  *out = StatementShape{};
  try {
    Plan plan = translate(s, sql);
    out->params.resize(static_cast<size_t>(plan.nParams > 0 ? plan.nParams : 0));
    if (plan.kind != Plan::Query && plan.kind != Plan::Dml) return 0;
    Describer d(s, plan.sql);
    out->params = d.params(plan.nParams);
    if (plan.kind != Plan::Query) return 0;
    sqlite3_stmt *prepared = nullptr;
    int rc = sqlite3_prepare_v2(s.db(), plan.sql.c_str(), static_cast<int>(plan.sql.size()), &prepared, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt *)> raw(prepared, sqlite3_finalize);
    if (rc != SQLITE_OK) return 0;  // columns stay undescribed; running the statement reports the failure
    int n = sqlite3_column_count(raw.get());
    for (int k = 0; k < n; ++k) {
      int nullable = -1;
      const char *table = sqlite3_column_table_name(raw.get(), k);
      const char *origin = sqlite3_column_origin_name(raw.get(), k);
      if (table && origin) {
        std::optional<TableInfo> info = d.catalogObject(table);
        const ColumnDef *c = info ? info->column(origin) : nullptr;
        if (c) nullable = c->nullable ? 1 : 0;
      }
      out->columnNullable.push_back(nullable);
    }
    return 0;
  } catch (const QError &e) {
    setSqlca(ca, e);
    return e.sqlcode;
  } catch (...) {
    setSqlca(ca, engineError(kSqlSystem, {"describe"}));
    return kSqlSystem;
  }
}

}  // namespace quarn
