/*
 * ddl.h - the definitions the translator parses (tables, constraints, views, aliases, distinct
 * types, table spaces, indexes, routines, privileges) and the functions that carry them out:
 * each writes the engine's catalog and the SQLite objects in the session's unit of work.  They
 * throw QError; the session runs each inside a savepoint, so a failure leaves nothing behind.
 */
#ifndef QUARN_ENGINE_DDL_H
#define QUARN_ENGINE_DDL_H

#include <optional>
#include <string>
#include <vector>

#include "catalog.h"
#include "types.h"

namespace quarn {

class Session;

struct QualName {
  std::string schema, name;
  std::string text() const { return schema + "." + name; }
};

struct ColumnSpec {
  ColumnDef def;
};

struct ConstraintSpec {
  ConstraintInfo info;      // name may be empty: the engine names it
  std::string checkText;    // check constraint as written
  bool fromColumn = false;  // declared inside a column definition
  size_t checkToken = 0;    // the translator's: the token the check's condition begins at (read
                            // once all columns of the table are known)
};

struct CreateTableSpec {
  QualName name;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintSpec> constraints;
  std::string tbspace;
};

// DECLARE GLOBAL TEMPORARY TABLE SESSION.name: its columns and options.
struct TempTableDecl {
  std::string name;
  std::vector<ColumnDef> columns;
  bool replace = false;         // WITH REPLACE
  bool deleteOnCommit = true;   // ON COMMIT DELETE ROWS (the default) or PRESERVE ROWS
};

struct AlterClause {
  enum Kind { AddColumn, AddConstraint, DropConstraint, DropPrimaryKey } kind = AddColumn;
  ColumnDef column;
  std::vector<ConstraintSpec> constraints;  // AddColumn: the column's own constraints
  std::string dropName;
  char dropType = 0;  // 'F', 'U', 'K' for DROP FOREIGN KEY/UNIQUE/CHECK; 0 for DROP CONSTRAINT
};

struct RoutineParam {
  std::string name;
  std::string mode = "IN";  // IN, OUT, INOUT
  QType type;
  bool locator = false;
};

struct RoutineDecl {
  QualName name;
  char routineType = 'F';   // F function, P procedure
  char functionType = 'S';  // S scalar, T table
  std::vector<RoutineParam> params;
  RoutineParam result;                // scalar function result
  // RETURNS result CAST FROM castFrom: the type the routine writes, cast to result afterwards.
  std::optional<RoutineParam> castFrom;
  std::vector<RoutineParam> columns;  // table function result columns
  std::string specific;
  std::string externalName, language, parameterStyle;
  std::string sourceSchema, sourceSpecific;  // sourced functions
  char origin = 'E';                         // E external, U sourced, S generated
  bool deterministic = false, fenced = true, nullCall = true, scratchpad = false, finalCall = false;
  bool parallel = false, dbinfo = false, externalAction = true;
  char sqlAccess = 'N';  // N no SQL, C contains, R reads, M modifies
  int resultSets = 0;
  std::string text;
};

// A routine named in DROP/GRANT: by name with an optional signature, or by specific name.
struct RoutineRef {
  QualName name;
  bool specific = false;
  bool hasSignature = false;
  std::vector<QType> signature;
  char routineType = 'F';
};

struct GrantSpec {
  bool revoke = false;
  std::vector<std::string> privileges;  // SELECT, INSERT, ..., EXECUTE, DBADM
  char objType = 'T';                   // T table or view, F function, P procedure, D database
  QualName table;
  RoutineRef routine;
  std::vector<std::pair<char, std::string>> grantees;  // U user, G group; PUBLIC as ('G', "PUBLIC")
  bool grantable = false;
};

void ddlCreateTable(Session &s, const CreateTableSpec &stmtDef);
// DECLARE GLOBAL TEMPORARY TABLE: the SQLite temporary table "SESSION.<name>" of the session's
// connection with the columns' types and checks; -601 when the session has one of that name and
// WITH REPLACE is not given.
void ddlDeclareTempTable(Session &s, const TempTableDecl &decl);
// DROP TABLE SESSION.name of a declared temporary table; false when there is none.
bool ddlDropTempTable(Session &s, const std::string &name);
void ddlAlterTable(Session &s, const QualName &table, const std::vector<AlterClause> &clauses);
void ddlDropTable(Session &s, const QualName &name);
void ddlCreateView(Session &s, const QualName &name, const std::vector<std::string> &cols,
                   const std::string &selectSql, const std::vector<QType> &itemTypes, const std::string &text);
void ddlDropView(Session &s, const QualName &name);
void ddlCreateAlias(Session &s, const QualName &name, const QualName &target);
void ddlDropAlias(Session &s, const QualName &name);
void ddlCreateDistinctType(Session &s, const QualName &name, const QType &source, bool comparisons);
void ddlDropDistinctType(Session &s, const QualName &name);
void ddlCreateTablespace(Session &s, const std::string &name, const std::string &text);
void ddlDropTablespace(Session &s, const std::string &name);
void ddlCreateIndex(Session &s, const QualName &name, const QualName &table, bool unique,
                    const std::vector<std::pair<std::string, bool>> &cols);
void ddlDropIndex(Session &s, const QualName &name);
void ddlCreateRoutine(Session &s, RoutineDecl stmtDef);
void ddlDropRoutine(Session &s, const RoutineRef &ref);
void ddlGrant(Session &s, const GrantSpec &stmtDef);
void lockTable(Session &s, const QualName &table, bool exclusive);

// The routine a reference names: its specific name, or throws -204 (none) / -476 (several).
std::string resolveRoutine(Session &s, const RoutineRef &ref);

}  // namespace quarn

#endif  // QUARN_ENGINE_DDL_H
