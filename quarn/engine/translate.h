/*
 * translate.h - the SQL dialect's parser.  One recursive-descent parser over the tokens of
 * lexer.h turns a Quarn statement into a Plan: SQLite text for queries and data changes (every
 * name mapped by the rule of catalog.h, every identifier and literal quoted), or an action for
 * definitions, SET, LOCK TABLE and the units of work.  Names are resolved against the
 * session's catalog, so a plan is valid for the catalog generation it was made in.
 */
#ifndef QUARN_ENGINE_TRANSLATE_H
#define QUARN_ENGINE_TRANSLATE_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "types.h"

namespace quarn {

class Session;
struct RoutineDef;

// CALL: the procedure and its arguments.
struct CallPlan {
  std::shared_ptr<const RoutineDef> def;
  std::string inputSql;      // SELECT of the arguments' values; empty without arguments
  std::vector<int> markers;  // per argument: the parameter marker (1-based) it is by itself, or 0
  std::vector<QType> types;  // per argument: its static type (Base::None: unknown)
};

struct Plan {
  enum Kind { Query, Dml, Action, Commit, Rollback, Call } kind = Query;
  std::string sql;           // Query, Dml: one SQLite statement
  int nParams = 0;           // parameter markers
  bool writes = false;       // needs the write lock
  bool searched = false;     // UPDATE, DELETE, INSERT from a query: no row changed gives +100
  bool definition = false;   // changes the catalog
  bool savepointControl = false;  // SAVEPOINT, ROLLBACK TO SAVEPOINT, RELEASE SAVEPOINT
  std::vector<QType> itemTypes;  // Query: declared types of the select items where the text says
  // Dml: per parameter marker (index = number - 1), the column type its value is assigned to
  // where that type converts what it is given (numbers cut to the column's scale, datetimes read
  // and stored in one form); Base::None elsewhere.  The statement converts the bound values.
  std::vector<QType> markerTargets;
  std::function<void(Session &)> action;
  std::shared_ptr<const CallPlan> call;  // Call
};

// A built-in scalar function of the dialect (schema SYSOSTREL or SYSFUN, or unqualified): its
// name and the numbers of arguments it takes (a call with another number gives -440).  Unless
// nullIfAnyNull is false, a NULL argument gives a NULL result; COALESCE and VALUE give NULL
// only when every argument is NULL, NULLIF when its first is.
struct BuiltinFunction {
  const char *name;
  int minArgs, maxArgs;
  bool nullIfAnyNull = true;
};
// Every built-in scalar function, in no particular order.
const std::vector<BuiltinFunction> &builtinFunctions();

// Parses sql for session s.  Throws QError (-104 syntax, -204 unknown object, -107 long name,
// and the other codes of the statements).
Plan translate(Session &s, const std::string &sql);

// Parses a data type at the start of text (for the console's DESCRIBE and tests).
QType parseTypeText(Session &s, const std::string &text);

}  // namespace quarn

#endif  // QUARN_ENGINE_TRANSLATE_H
