/*
 * describe.h - what a statement's context and the catalog say about its parameter markers and
 * result columns, for the call-level interface's SQLDescribeParam and SQLDescribeCol.  Works
 * on the translation of the statement (names already resolved to catalog objects) and reads
 * the catalog of the session's database; changes nothing.  A session is used by one thread at
 * a time, so these calls are as thread-safe as the session they get.
 */
#ifndef QUARN_ENGINE_DESCRIBE_H
#define QUARN_ENGINE_DESCRIBE_H

#include <string>
#include <vector>

#include "engine.h"

namespace quarn {

// One parameter marker or result column as far as the engine can tell.
struct ParamInfo {
  QType type;         // Base::None when the context gives no type
  int nullable = -1;  // 1 nullable, 0 NOT NULL, -1 not known (an expression)
};

struct StatementShape {
  std::vector<ParamInfo> params;   // one per parameter marker, in order
  std::vector<int> columnNullable; // per result column of a query: 1, 0 or -1 as above
};

// Describes sql as session s would run it.  A marker takes the type of: the target column of
// an INSERT ... VALUES item or an UPDATE assignment that is just the marker; the column it is
// compared with (=, <>, <, >, <=, >=, LIKE, either end of BETWEEN); the type of CAST(? AS t).
// Returns 0, or the SQLCODE of a statement that does not translate (ca filled: -104, -204,
// ...).  A definition or other action has no markers and no columns.
QUARN_EXPORT int describeStatement(Session &s, const std::string &sql, StatementShape *out, sqlca *ca);

}  // namespace quarn

#endif  // QUARN_ENGINE_DESCRIBE_H
