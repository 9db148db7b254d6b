/*
 * kelwhere.cpp - the conditions of a DAD: the join condition of the top RDB_node parsed into
 * join_info entries (whereparser, kelSetJoinInfoForeign), the join types that composition reads
 * from the catalogue (kelSetJoinTypes), the check that the joins relate every table
 * (kelCheckTablesJoined) and the check that a column condition is one predicate
 * (kelCheckColumnCondition).  See kelrel.h.
 */
#include <unicode/utf16.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kelcatalog.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "kelsql.h"
#include "keltrace.h"

namespace {

constexpr const char kUnit[] = "kelcllec";

bool isDelimiter(const KelSqlToken &t, UChar c) { return t.tokenClass == KEL_TOK_DELIMITER && *t.start == c; }

// The condition from start on (to end, or to its terminator), in the database code page, cut
// at a character boundary to at most KEL_CONDITION_QUOTE bytes, for a message.
std::string quoted(KelCallContext *ctx, const UChar *start, const UChar *end = nullptr) {
  size_t n = end != nullptr ? static_cast<size_t>(end - start) : std::char_traits<UChar>::length(start);
  // Every UTF-16 unit takes at least one byte: no more units than bytes can be shown.
  std::u16string text(start, std::min(n, KEL_CONDITION_QUOTE));
  if (!text.empty() && U16_IS_LEAD(text.back())) text.pop_back();
  while (!text.empty() && text.back() == u' ') text.pop_back();
  std::string out;
  while (!kelDadToDb(ctx, text, &out) || out.size() > KEL_CONDITION_QUOTE) {
    if (text.empty()) return std::string();
    text.pop_back();
    if (!text.empty() && U16_IS_LEAD(text.back())) text.pop_back();
  }
  return out;
}

// One side of a join: [[schema.]table.]column.
struct Side {
  KelForeign name;
};

// Reads one side, starting with *tok; on return *tok is the token after it.  Returns 0, or
// the result of kelParseSqlQualifiedId.
int readSide(KelCallContext *ctx, const UChar **p, KelSqlToken *tok, Side *side) {
  char parts[3][KEL_SQL_PART_SIZE];
  int n = 0;
  int rc = kelParseSqlQualifiedId(ctx, p, tok, 3, &n, parts);
  if (rc < 0) return rc;
  side->name.col = parts[n - 1];
  side->name.tab = n >= 2 ? parts[n - 2] : "";
  side->name.schema = n == 3 ? parts[0] : "";
  return 0;
}

int checkLengths(KelCallContext *ctx, const Side &s, char *sqlstate, char *msg) {
  if (s.name.schema.size() > KEL_MAX_SCHEMA_NAME) return kelFail(ctx, msg, sqlstate, KELQ036E);
  if (s.name.tab.size() > KEL_MAX_TABLE_NAME) return kelFail(ctx, msg, sqlstate, KELQ031E);
  if (s.name.col.size() > KEL_MAX_COLUMN_NAME) return kelFail(ctx, msg, sqlstate, KELQ032E);
  return 0;
}

KelJoinInfo *findJoinInfo(KEL_TAB &tab, const std::string &col) {
  for (KelJoinInfo &j : tab.joinInfo)
    if (j.col == col) return &j;
  return nullptr;
}

}  // namespace

int whereparser(KelCallContext *ctx, KEL_REL *rel, int mode, const UChar *condition, char *sqlstate, char *msg) {
  if (condition == nullptr) return 0;
  const UChar *p = condition;
  KelSqlToken tok;
  kelGetSqlToken(ctx, &p, &tok);
  if (tok.tokenClass == KEL_TOK_END) return 0;
  for (;;) {
    const UChar *joinStart = tok.start;
    Side left, right;
    int rc = readSide(ctx, &p, &tok, &left);
    if (rc < 0 || !isDelimiter(tok, u'=')) {
      KEL_TRACE(ctx, "left side or '=' expected\n");
      return kelFail(ctx, msg, sqlstate, KELQ034E, quoted(ctx, rc == KEL_SQL_PART_TOO_LONG ? joinStart : tok.start).c_str());
    }
    kelGetSqlToken(ctx, &p, &tok);
    rc = readSide(ctx, &p, &tok, &right);
    if (rc < 0) return kelFail(ctx, msg, sqlstate, KELQ015E);
    const UChar *joinEnd = tok.start;
    const bool atEnd = tok.tokenClass == KEL_TOK_END;
    if (!atEnd && !(tok.tokenClass == KEL_TOK_ORDINARY_ID && std::strcmp(tok.text, "AND") == 0))
      return kelFail(ctx, msg, sqlstate, KELQ034E, quoted(ctx, tok.start).c_str());
    rc = checkLengths(ctx, left, sqlstate, msg);
    if (rc >= 0) rc = checkLengths(ctx, right, sqlstate, msg);
    if (rc < 0) return rc;
    if (!(left.name == right.name)) {
      int lt = kelFindTab(*rel, left.name.schema, left.name.tab);
      int rt = kelFindTab(*rel, right.name.schema, right.name.tab);
      if (lt < 0 || rt < 0) {
        KEL_TRACE(ctx, "table %s or %s is not in the relation\n", left.name.tab.c_str(), right.name.tab.c_str());
        return kelFail(ctx, msg, sqlstate, KELQ015E);
      }
      // A join of a table with itself relates no two tables: the model has no place for it.
      if (lt == rt) return kelFail(ctx, msg, sqlstate, KELQ035E, quoted(ctx, joinStart, joinEnd).c_str());
      rc = kelSetJoinInfoForeign(ctx, rel, mode, lt, left.name.col, right.name, sqlstate, msg);
      if (rc < 0) return rc;
      rc = kelSetJoinInfoForeign(ctx, rel, mode, rt, right.name.col, left.name, sqlstate, msg);
      if (rc < 0) return rc;
      rel->joins.push_back({left.name, right.name});
      rel->numConditions = static_cast<int>(rel->joins.size());
    }
    if (atEnd) return 0;
    kelGetSqlToken(ctx, &p, &tok);  // past AND
  }
}

int kelCheckTablesJoined(KelCallContext *ctx, const KEL_REL &rel, char *sqlstate, char *msg) {
  if (rel.tab.empty()) return 0;
  // The tables each join relates, looked up once.
  std::vector<std::pair<size_t, size_t>> pairs;
  pairs.reserve(rel.joins.size());
  for (const KelJoin &j : rel.joins) {
    int l = kelFindTab(rel, j.left.schema, j.left.tab);
    int r = kelFindTab(rel, j.right.schema, j.right.tab);
    if (l < 0 || r < 0) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    pairs.emplace_back(static_cast<size_t>(l), static_cast<size_t>(r));
  }
  // The tables reached from the first one, until no join adds one (at most one pass a table).
  std::vector<bool> reached(rel.tab.size(), false);
  reached[0] = true;
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto &[l, r] : pairs) {
      if (reached[l] == reached[r]) continue;
      reached[l] = reached[r] = true;
      grew = true;
    }
  }
  for (size_t i = 0; i < rel.tab.size(); ++i) {
    if (reached[i]) continue;
    const KEL_TAB &t = rel.tab[i];
    std::string name = t.schema.empty() ? t.name : t.schema + "." + t.name;
    KEL_TRACE(ctx, "table %s is not joined to %s\n", name.c_str(), rel.tab[0].name.c_str());
    return kelFail(ctx, msg, sqlstate, KELQ035E, name.c_str());
  }
  return 0;
}

int kelSetJoinInfoForeign(KelCallContext *ctx, KEL_REL *rel, int mode, int tab, const std::string &col,
                          const KelForeign &foreign, char *sqlstate, char *msg) {
  if (tab < 0 || tab >= static_cast<int>(rel->tab.size())) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  KEL_TAB &t = rel->tab[static_cast<size_t>(tab)];
  if (KelJoinInfo *j = findJoinInfo(t, col)) {
    for (const KelForeign &f : j->foreign)
      if (f == foreign) return 0;
    j->foreign.push_back(foreign);
    return 0;
  }
  t.joinInfo.push_back(KelJoinInfo{col, std::string(), {foreign}});
  return 0;
}

int kelSetJoinTypes(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg) {
  std::set<std::pair<int, std::string>> made;
  for (const KelJoin &join : rel->joins) {
    const std::pair<const KelForeign *, const KelForeign *> sides[2] = {{&join.left, &join.right},
                                                                          {&join.right, &join.left}};
    for (const auto &[self, other] : sides) {
      int t = kelFindTab(*rel, self->schema, self->tab);
      int f = kelFindTab(*rel, other->schema, other->tab);
      if (t < 0 || f < 0) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
      if (!made.insert({t, self->col}).second) continue;
      KelJoinInfo *entry = findJoinInfo(rel->tab[static_cast<size_t>(t)], self->col);
      if (entry == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
      if (made.count({f, other->col}) != 0) {
        const KelJoinInfo *otherEntry = findJoinInfo(rel->tab[static_cast<size_t>(f)], other->col);
        if (otherEntry == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
        entry->dataType = otherEntry->dataType;
        continue;
      }
      char typeSchema[KEL_TABLE_SIZE], typeName[KEL_TABLE_SIZE];
      int32_t length = 0;
      int rc = kelGetCatalogColumnType(ctx, other->schema.c_str(), other->tab.c_str(), other->col.c_str(), typeSchema,
                                       sizeof typeSchema, typeName, sizeof typeName, &length, msg);
      if (rc < 0) {
        // The lookup formatted its message: a missing column (KELQ021E) or an internal error.
        if (rc == kelMessageState(KELQ021E, nullptr)) return kelMessageState(KELQ021E, sqlstate);
        return kelMessageState(KELG001E, sqlstate);
      }
      entry->dataType = typeName;
    }
  }
  return 0;
}

int kelCheckColumnCondition(KelCallContext *ctx, const std::string &condition, char *sqlstate, char *msg) {
  std::u16string text;
  if (!kelDadFromDb(ctx, condition, &text)) return kelFail(ctx, msg, sqlstate, KELQ015E);
  const UChar *p = text.c_str();
  KelSqlToken tok;
  int depth = 0;
  bool lastMinus = false, lastSlash = false;
  for (;;) {
    kelGetSqlToken(ctx, &p, &tok);
    if (tok.tokenClass == KEL_TOK_END) break;
    if (const UChar *quote = kelQuoteInWord(&tok)) {
      // As the database reads it, the word ends before the quote (it holds no delimiter) and a
      // literal or identifier starts there: read on from the quote.
      p = quote;
      lastMinus = lastSlash = false;
      continue;
    }
    // A parameter marker has no value to be bound to: the statement the condition goes into
    // binds only the values of the document or of the parent row.
    bool bad = tok.tokenClass == KEL_TOK_UNTERMINATED || isDelimiter(tok, u';') || isDelimiter(tok, u'?');
    // A comment would swallow what follows the condition in the statement.
    if ((lastMinus && isDelimiter(tok, u'-') && tok.start[-1] == u'-') ||
        (lastSlash && isDelimiter(tok, u'*') && tok.start[-1] == u'/'))
      bad = true;
    if (isDelimiter(tok, u'(')) ++depth;
    if (isDelimiter(tok, u')') && --depth < 0) bad = true;
    if (bad) {
      KEL_TRACE(ctx, "condition is not one predicate: %s\n", condition.c_str());
      return kelFail(ctx, msg, sqlstate, KELQ015E);
    }
    lastMinus = isDelimiter(tok, u'-');
    lastSlash = isDelimiter(tok, u'/');
  }
  if (depth != 0) return kelFail(ctx, msg, sqlstate, KELQ015E);
  return 0;
}
