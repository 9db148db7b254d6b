/*
 * kelcolstmt.h - the SQL texts of an XML column: its side tables, the triggers that keep them
 * in step with the column (H, J, D, T, U, V, W in their DTD, no-DTD and schema forms), the
 * default view, and the statements that fill the side tables from documents already stored.
 * Used by column enablement, disablement, soft-disable and re-enable (kelcol.h).
 *
 * The texts are made from a KelColumnDef whose names are parsed identifiers: every name is
 * written as a delimited identifier (kelAppendQuoted), the user table always with its schema,
 * and every literal (DTD id, location path, schema location, message text) with its single
 * quotes doubled, so no name or value can change a statement.  Pure functions of their inputs
 * except for the conversion of names into the call's database code page; safe from several
 * calls at once.
 */
#ifndef KEL_COLSTMT_H
#define KEL_COLSTMT_H

#include <string>
#include <string_view>
#include <vector>

struct KelCallContext;

// One column of a side table as the DAD gives it, checked.
struct KelSideCol {
  std::string name;  // parsed identifier
  std::string type;  // SQL type as written (letters, digits, blanks, parentheses, commas only)
  std::string path;  // location path (database code page), compiled at enablement
};

// One side table.  A table with several values per document has exactly one column.
struct KelSideTab {
  std::string schema;  // parsed, or the schema enablement gave it
  std::string name;    // parsed
  bool multi = false;  // several values per document: KEL_SEQNO and a table function
  std::vector<KelSideCol> columns;
  bool qualified = false;  // the DAD names its schema
};

// What validation triggers check documents against.
enum class KelColValidation { None, NoDtd, Dtd, Schema };

// An XML column and what enablement made for it.
struct KelColumnDef {
  std::string schema, table;   // the user table, parsed
  std::string column;          // the XML column, parsed
  std::string rootId;          // the root-id column (KELROOT_ID or the caller's primary key)
  std::string rootDef;         // its SQL type (side tables' first column)
  bool systemRoot = true;      // rootId is KELROOT_ID, filled by the H and T triggers
  std::string suffix;          // the 7 characters naming the triggers
  std::string dtdId;           // the DTD id of the extract and validate calls, or empty
  std::string schemaLocation;  // the schema location of validateschema (database code page)
  KelColValidation validation = KelColValidation::None;
  std::vector<KelSideTab> sides;
};

// The root-id column the system adds and fills.
inline constexpr char KEL_ROOT_ID_COLUMN[] = "KELROOT_ID";
inline constexpr char KEL_ROOT_ID_DEF[] = "CHAR(13) FOR BIT DATA";
// Characters of a trigger suffix.
inline constexpr int KEL_TRIGGER_SUFFIX_LEN = 7;

/*
 * Appends text to *out as an SQL string literal: in single quotes, each inner single quote
 * doubled (the byte 0x27 never occurs inside a multi-byte character of the code pages used).
 */
void kelAppendLiteral(std::string *out, std::string_view text);

/*
 * The statements below return false, leaving *out unspecified, only when a name cannot be
 * written in the database code page (it came from the parser of that code page, so this does
 * not happen for names the enablement parsed).
 */

// "CREATE TABLE side (R def NOT NULL, [KEL_SEQNO integer, ]c1 t1,... ) [IN "space"]"; a CLOB
// column is created not logged.  tableSpace is a parsed identifier or empty.
bool kelSideTableStmt(KelCallContext *ctx, const KelColumnDef &def, const KelSideTab &side,
                      const std::string &tableSpace, std::string *out);

// The schema-qualified, quoted name of trigger kind ('H', 'J', ...) of the column.
bool kelTriggerName(KelCallContext *ctx, const KelColumnDef &def, char kind, std::string *out);

/*
 * CREATE TRIGGER of kind 'H', 'J', 'D', 'T', 'U', 'V' or 'W'.  signalText is the message the
 * V and W triggers signal with SQLSTATE 38X14 (KELD000E as the catalogue formats it).
 */
bool kelTriggerStmt(KelCallContext *ctx, const KelColumnDef &def, char kind, const std::string &signalText,
                    std::string *out);

// The kinds of trigger the column has, in creation order: H J D T U [V W].
std::string kelTriggerKinds(const KelColumnDef &def);

/*
 * "CREATE VIEW view AS SELECT <user columns> <side columns> FROM <sides>, table WHERE <joins>":
 * every column of the user table (userColumns, parsed names in column order), then every DAD
 * column of every side table, the user table joined to each side table on the root id.
 */
bool kelDefaultViewStmt(KelCallContext *ctx, const KelColumnDef &def, const std::string &viewSchema,
                        const std::string &viewName, const std::vector<std::string> &userColumns,
                        std::string *out);

// "SELECT COUNT(*) FROM table AS KELDOC WHERE KELDOC.C IS NOT NULL AND 0 = <validation>": the
// stored documents the column's validation refuses, checked as the V trigger checks a new one
// (the validate functions fail on most of them, which fails the statement).
bool kelRefusedStoredStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out);

// "UPDATE table SET KELROOT_ID = generate_unique() WHERE C IS NOT NULL AND KELROOT_ID IS NULL":
// the root ids of documents stored while no trigger gave them one.
bool kelRootIdFillStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out);

// "SELECT R FROM table WHERE R IS NOT NULL GROUP BY R HAVING COUNT(*) > 1": the root ids that
// several rows share, each once.
bool kelSharedRootIdsStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out);

// "UPDATE table SET R = NULL WHERE R IN (<kelSharedRootIdsStmt>)": every row with a shared root
// id loses it; kelRootIdFillStmt then gives the documents among them new ones.
bool kelSharedRootIdClearStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out);

/*
 * The statements that fill a side table from every document of the user table, as the J
 * trigger would have filled it row by row: one INSERT ... SELECT over the table, and for a
 * table of several values the statements that number KEL_SEQNO from 1 within each document again.
 */
bool kelSideFillStmts(KelCallContext *ctx, const KelColumnDef &def, const KelSideTab &side,
                      std::vector<std::string> *out);

#endif /* KEL_COLSTMT_H */
