/*
 * keltab.h - the tables of an RDB_node collection as SQL: the column types of the DAD read as
 * type syntax, the CREATE TABLE of a table that does not exist (columns, primary key, one
 * foreign-key clause per parent table, table space), the check of an existing table against
 * the DAD, and the INSERT that decomposition executes once per row.  Used by collection
 * enablement (prepare_tables) and by decomposition (check_table, generate_SQLi).
 *
 * Every name is written as a delimited identifier through the one quoting helper; a type text
 * reaches SQL only after kelNormalizeTypes has read it as type syntax.  Statements run on the
 * thread's current connection (inside a procedure the caller's session and unit of work);
 * nothing here commits or rolls back.  Functions are reentrant; a model belongs to one call.
 * Failures return the negative return code of their message, with sqlstate (6 bytes, may be
 * null) and msg (a message buffer of the context's mode) set.
 */
#ifndef KEL_TAB_H
#define KEL_TAB_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "kelrel.h"

struct KelCallContext;

// Longest SQL text built here: the database's statement limit, in bytes.
inline constexpr size_t KEL_MAX_SQL_TEXT = 2097152;
// Longest table-space name, in bytes (as database enablement takes it).
inline constexpr size_t KEL_MAX_TABLESPACE_NAME = 18;

// A column type as a DAD writes it, read as SQL type syntax.
struct KelSqlType {
  std::string text;    // as SQL gets it: "VARCHAR(30)", "DECIMAL(10,2)", "DOUBLE PRECISION", "QUARNXML"."XMLCLOB"
  std::string schema;  // a distinct type's schema; empty for a built-in type
  std::string name;    // upper-cased type name: "VARCHAR", "DOUBLE PRECISION", "XMLCLOB"
  int64_t length = 0;  // the first number in parentheses, K, M or G applied; 0 without one
  int32_t scale = -1;  // the second number; -1 without one
};

/*
 * Reads text as a type: a type name (one word, or DOUBLE PRECISION, CHARACTER VARYING, CHAR
 * VARYING, LONG VARCHAR, LONG VARGRAPHIC), or schema.name of a distinct type, optionally
 * followed by "(" length [K|M|G] ["," scale] ")"; blanks and case as the SQL tokenizer reads
 * them, so "varchar (30)" is VARCHAR(30).  Returns true with *out set; false for anything else
 * (nothing else may follow, a length is at most 2147483647).
 */
bool kelParseSqlType(KelCallContext *ctx, const std::string &text, KelSqlType *out);

/*
 * Replaces the type text of every mapped column of the model by its canonical form
 * (kelParseSqlType), so that DDL, INSERT statements and the check of existing tables see one
 * spelling.  A type that is not type syntax fails with KELA059E (the type, the column).
 */
int kelNormalizeTypes(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg);

// True when column is one of the table's key columns (compared exactly); traces
// "%s is%s a part of the primary key.".
bool isPriKey(KelCallContext *ctx, const std::string &column, const KEL_TAB &tab);

/*
 * The table-space clause of the collection's tables: empty for a null or empty name, else
 * " IN " and the name read as one SQL identifier, quoted.  KELQ033E for a name that is not one
 * identifier, KELA037E for one longer than KEL_MAX_TABLESPACE_NAME bytes.
 */
int kelTableSpaceClause(KelCallContext *ctx, const char *tableSpace, std::string *clause, char *sqlstate, char *msg);

/*
 * The CREATE TABLE of rel.tab[tab] into *sql: every mapped column with its type (NOT NULL for
 * a key column), every foreign-key column not mapped with the type of the column that supplies
 * it (NOT NULL when it is a key column too: it is defined once), the PRIMARY KEY, one FOREIGN
 * KEY ... REFERENCES clause per parent table (its columns in foreign-key order), then
 * spaceClause.  KELQ038E when the text passes KEL_MAX_SQL_TEXT; KELQ033E for a name that
 * cannot be quoted; KELG001E for a model whose foreign keys point nowhere.
 */
int kelCreateTableText(KelCallContext *ctx, const KEL_REL &rel, int tab, const std::string &spaceClause,
                       std::string *sql, char *sqlstate, char *msg);

/*
 * Creates rel.tab[tab] (kelCreateTableText) with EXECUTE IMMEDIATE.  A failing statement gives
 * the database's text followed by KELQ024E with the table's name, and -84.
 */
int create_table(KelCallContext *ctx, const KEL_REL &rel, int tab, const std::string &spaceClause, char *sqlstate,
                 char *msg);

/*
 * Checks an existing rel.tab[tab] against the DAD: every mapped column must exist (KELQ021E,
 * -81) with the DAD's type (KELQ022E naming the catalogue's type, -82) and, for character,
 * large-object and decimal types, at least the DAD's length (KELQ023E naming the catalogue's
 * length, -83); every join column must exist (KELQ021E).  A table without a schema is looked
 * up in the current schema, where the statements will find it.  A table that does not exist
 * is KELA016E naming it (-11, kelRefuseMissingTable), not a missing column.
 */
int check_table(KelCallContext *ctx, const KEL_REL &rel, int tab, char *sqlstate, char *msg);

/*
 * Whether t exists where the statements find it (a table without a schema in the current
 * schema).  Returns 0 when it does; -11 with KELA016E naming the table as the DAD does when it
 * does not; -104 with KELA073E or -57 with KELG001E when the catalogue cannot be asked.
 */
int kelRefuseMissingTable(KelCallContext *ctx, const KEL_TAB &t, char *sqlstate, char *msg);

/*
 * For each table of the relation in order: checks it when it exists (check_table), creates it
 * otherwise (create_table) with the table space given (may be null or empty).  The first
 * failure ends the call; tables made before it are left to the caller's unit of work.
 */
int prepare_tables(KelCallContext *ctx, KEL_REL *rel, const char *tableSpace, char *sqlstate, char *msg);

/*
 * Writes into rel->tab[tab].stmt the INSERT of one row: the mapped columns and then the
 * foreign-key columns, each value a parameter marker cast to the column's type, selected from
 * a one-row table so that the table's condition, when it has one, filters the row (a row that
 * does not satisfy it is not inserted, and that is no error).  KELQ038E when the text passes
 * KEL_MAX_SQL_TEXT; KELQ033E for a name that cannot be quoted.
 */
int generate_SQLi(KelCallContext *ctx, KEL_REL *rel, int tab, char *sqlstate, char *msg);


#endif /* KEL_TAB_H */
