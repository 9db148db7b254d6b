/*
 * catalog.h - the engine's own catalog and the one naming rule.  A Quarn object SCHEMA.NAME is
 * the SQLite object "SCHEMA.NAME" (one delimited identifier) in the database's one SQLite file.
 * The catalog lives in SQLite tables of the schema SYSQUARN (tables, columns, constraints,
 * distinct types, routines and their parameters, triggers, trigger dependencies, table spaces,
 * privileges, properties); the SYSCAT views are SQLite views over them, catalogued like any
 * view.  Functions here work on one session's connection inside its unit of work.
 */
#ifndef QUARN_ENGINE_CATALOG_H
#define QUARN_ENGINE_CATALOG_H

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "types.h"

namespace quarn {

// The SQLite identifier of the Quarn object schema.name (the naming rule, in one place).
std::string sqliteName(const std::string &schema, const std::string &name);
// The SQLite name of an object that belongs to a table (index, generated trigger).
std::string sqliteSubName(const std::string &schema, const std::string &table, const std::string &part);

struct ColumnDef {
  std::string name;
  QType type;
  bool nullable = true;
  std::string defaultText;  // as Quarn shows it in SYSCAT.COLUMNS.DEFAULT; empty: none
  std::string defaultSql;   // as SQLite evaluates it; empty: NULL
  int keyseq = 0;
  bool logged = true;
};

struct TableInfo {
  std::string schema, name;
  char type = 'T';  // T table, V view, A alias
  std::string baseSchema, baseName;  // alias only
  std::string tbspace;
  std::vector<ColumnDef> columns;
  const ColumnDef *column(const std::string &name) const;
};

struct ConstraintInfo {
  std::string name;
  char type = 'P';  // P primary key, U unique, F foreign key, K check
  std::vector<std::string> cols;
  std::string refSchema, refTable;
  std::vector<std::string> refCols;
  char deleteRule = 'A';  // A no action, R restrict, C cascade, N set null
  std::string checkSql;   // check constraint: condition over NEW."col"
};

struct DistinctType {
  std::string schema, name;
  QType source;  // built-in source type
};

// Creates the catalog tables, the SYSCAT views (with their own catalog rows), the built-in data
// types and table spaces of a new database.  definer owns what is created.
void bootstrapCatalog(sqlite3 *db, const std::string &definer);

// The table, view or alias schema.name with its columns; nullopt when there is none.
std::optional<TableInfo> findTable(sqlite3 *db, const std::string &schema, const std::string &name);
std::vector<ConstraintInfo> constraintsOf(sqlite3 *db, const std::string &schema, const std::string &table);
// Constraints of other tables whose foreign keys reference schema.table.
std::vector<std::pair<std::string, ConstraintInfo>> referencingConstraints(sqlite3 *db, const std::string &schema,
                                                                           const std::string &table);
std::optional<DistinctType> findDistinctType(sqlite3 *db, const std::string &schema, const std::string &name);
bool tablespaceExists(sqlite3 *db, const std::string &name);

// The catalog generation: changes with every definition, so cached translations can tell
// they are stale.  bumpGeneration is called by every DDL statement.
int64_t catalogGeneration(sqlite3 *db);
void bumpGeneration(sqlite3 *db);
// Sets the generation to past + 1 (after a rollback to a savepoint undid definitions).
void advanceGeneration(sqlite3 *db, int64_t past);

// Database-level property ("GRAPHIC" = "Y"/"N", ...); empty when unset.
std::string property(sqlite3 *db, const std::string &name);
void setProperty(sqlite3 *db, const std::string &name, const std::string &value);

// Current time as the catalog records it ("YYYY-MM-DD-HH.MM.SS.ffffff").
std::string catalogTimestamp();

}  // namespace quarn

#endif  // QUARN_ENGINE_CATALOG_H
