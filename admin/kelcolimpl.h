/*
 * kelcolimpl.h - what the column routines (kelcol.cpp, kelcoldis.cpp) share inside the
 * procedure library: the names of a call, the column's checks, its DAD, its triggers and the
 * filling of its side tables from stored documents.  Not used outside admin/.  Every function
 * writes its failure's message into msg (1025 bytes) and returns the return code.
 */
#ifndef KEL_COLIMPL_H
#define KEL_COLIMPL_H

#include <string>

#include "kelcolstmt.h"

struct KelCallContext;
struct KelDocBuffer;
class KelDad;

// The user table and XML column a call names, parsed.
struct KelColTarget {
  std::string user;    // the current user (USER)
  std::string schema;  // the table's schema (the user's first 30 characters when not given)
  std::string table;
  std::string column;
};

// The current user, asked at most 26 times while the answer is empty.  -145 KELQ067E.
int32_t kelColCurrentUser(KelCallContext *ctx, std::string *user, char *msg);

/*
 * Parses the table name ([schema.]table; not one: -11 KELA016E) and the column name (one
 * identifier; else -12 KELA017E; over 30 characters -101 KELQ032E), and asks for the user.
 */
int32_t kelColResolve(KelCallContext *ctx, const char *tableName, const char *columnName, KelColTarget *target,
                      char *msg);

/*
 * The table must exist (-11 KELA016E) and have the column (-12 KELA017E); *isXml (may be null)
 * tells whether the column's type is QUARNXML.XMLVARCHAR, XMLCLOB or XMLFILE.
 */
int32_t kelColCheckColumn(KelCallContext *ctx, const KelColTarget &target, bool *isXml, char *msg);

// Opens the Xcolumn DAD held by buf (kelDadOpen); its failure's code and message.
int32_t kelColOpenDad(KelCallContext *ctx, KelDocBuffer *buf, KelDad *dad, char *msg);

// Creates the column's triggers in order; the first failure is KELA047E to KELA054E with the
// database's text.
int32_t kelColCreateTriggers(KelCallContext *ctx, const KelColumnDef &def, char *msg);

/*
 * Fills the side tables from every document the user table holds (emptied first when
 * emptyFirst).  When the system owns the root id, rows that share one lose it first and
 * documents without a root id get theirs; a caller's root id that several rows share is -9
 * KELA014E before anything changes.  A failure (a document the extraction refuses) is -33
 * KELA048E with the database's text.
 */
int32_t kelColFillSideTables(KelCallContext *ctx, const KelColumnDef &def, bool emptyFirst, char *msg);

/*
 * Reads an enabled column for a routine that works on its side tables, changing nothing: the
 * database must be enabled (-132 KELQ052E), the names resolve (kelColResolve), the table and
 * column exist, the column has its XML_USAGE row (-13 KELA018E; -17 KELA023E a row without DAD
 * or suffix) and its DAD reads into *def, side tables qualified as enablement made them, with
 * the root id: the stored ROOT_ID, else KELROOT_ID while the H trigger exists, else the first
 * column of the primary key.
 */
int32_t kelColOpenEnabled(KelCallContext *ctx, const char *tableName, const char *columnName, KelColTarget *target,
                          KelColumnDef *def, char *msg);

// The SQL type of a root column as its side tables declare it: "type(length)" for character
// and graphic types, "type(length,scale)" for decimal, else the type name.
std::string kelColTypeDef(const std::string &typeName, int32_t length, int32_t scale);

#endif /* KEL_COLIMPL_H */
