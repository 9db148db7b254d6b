/*
 * translate.cpp - the entries of the SQL dialect's parser (translate.h): a statement, a
 * trigger definition, a data type.  The parser itself is the class of translator.h, in one file
 * per part of the grammar: names and types, queries, expressions, statements, triggers.
 *
 * Queries and data changes are translated while they are parsed: every table reference is
 * looked up in the catalog (aliases followed to their base) and written as its SQLite name with
 * the exposed name as correlation name, so that "S.T.C", "T.C" and "C" keep meaning what they
 * mean in Quarn.  Definitions are parsed into the structures of ddl.h and run as actions.
 */
#include "translator.h"

namespace quarn {

const std::set<std::string> &reservedWords() {
  static const std::set<std::string> k = {
      "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "FETCH", "UNION", "EXCEPT", "INTERSECT", "JOIN", "INNER",
      "LEFT", "RIGHT", "FULL", "CROSS", "ON", "WITH", "FOR", "OPTIMIZE", "SET", "VALUES", "SELECT", "INTO",
      "AND", "OR", "NOT", "IS", "IN", "LIKE", "BETWEEN", "AS", "WHEN", "THEN", "ELSE", "END", "ESCAPE",
      "ASC", "DESC", "BY", "DISTINCT", "ALL", "CASE", "EXISTS", "NULL", "OUTER", "USING", "CONCAT"};
  return k;
}

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
