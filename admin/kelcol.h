/*
 * kelcol.h - XML columns: enabling a column of a user table (side tables, root id, the
 * triggers that keep the side tables in step with the column, the default view, the XML_USAGE
 * row and the DTD's usage count), disabling it again, and the soft-disable and re-enable that
 * regenerate its triggers; the procedures' workers, their descriptions for the frame and their
 * exported entries in both parameter conventions; and the helpers the column routines share.
 *
 * Every statement runs on the calling thread's current connection: inside a procedure, the
 * caller's session and unit of work.  Each worker runs its changes inside a savepoint of the
 * call (KelCallSavepoint): a failure leaves the column exactly as it was, success keeps the
 * work for the caller's unit of work to commit.  Workers own nothing beyond their call; safe
 * from several calls at once, each on its own connection.  The trigger-suffix generator is the
 * one process-wide state: initialised once, guarded by a lock.
 */
#ifndef KEL_COL_H
#define KEL_COL_H

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "kelcolstmt.h"
#include "kelframe.h"
#include "quarnapp.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

struct KelCallContext;
class KelDad;

// ---- The workers ------------------------------------------------------------------------------

// The inputs of column enablement; null pointers are absent parameters.
struct KelEnableColumnArgs {
  const char *tableName = nullptr;    // [schema.]table
  const char *columnName = nullptr;   // the XML column
  const char *dad = nullptr;          // the Xcolumn DAD
  int32_t dadLen = 0;                 // its bytes
  const char *tableSpace = nullptr;   // the side tables' table space, or null/empty
  const char *defaultView = nullptr;  // [schema.]view, or null/empty
  const char *rootId = nullptr;       // the caller's root-id column, or null/empty for KELROOT_ID
};

/*
 * Enables the XML column.  Writes the message into msg (1025 bytes) and returns the return
 * code: 0 with KELA022I; -60 KELG004E a null table, column or DAD; -101 KELQ032E a column name
 * of 31 characters or more; -132 KELQ052E the database is not enabled; -11 KELA016E the table
 * (or a name that is not one) is missing; -12 KELA017E the column; -82 KELQ022E a column that is
 * not XMLVarchar, XMLCLOB or XMLFile; -145 KELQ067E the column is enabled already; -9 KELA014E a
 * root id that is not the single primary key; -10 KELA015E a KELROOT_ID of another type; -8
 * KELA013E the ALTER TABLE failed; -28 KELA037E / -109 KELQ033E a bad table space; -16 KELA021E
 * a bad or failed default view; the DAD's errors (KELA009E, KELA056E to KELA061E, KELQ000E
 * for a missing part, KELQ037E, KELQ040E, KELQ047E, KELQ057E, KELQ058E, KELG005E); -5 KELA010E an unknown DTD id; -46
 * KELA062E no free trigger suffix; -31 KELA046E a side table not created; -32 to -39 KELA047E to
 * KELA054E a trigger not created (-33 KELA048E also when the documents already stored cannot
 * fill the side tables); -6 KELA011E; -7 KELA012E.  Nothing is left of a failed call.
 */
int32_t kelEnableColumnMain(KelCallContext *ctx, const KelEnableColumnArgs &args, char *msg);

/*
 * Disables the column: drops the default view, the triggers, the side tables, resets KELROOT_ID
 * (unless another enabled column of the table uses it), decrements the DTD's usage count and
 * deletes the XML_USAGE row.  0 with KELA034I; -60 KELG004E; -132 KELQ052E; -11 KELA016E /
 * -12 KELA017E / -13 KELA018E the table, column or enablement is missing; -17 KELA023E the row
 * has no DAD or suffix; the DAD's errors; -19 KELA025E; -145 KELQ067E a trigger; -25 KELA031E;
 * -20 KELA026E; -26 KELA032E; -27 KELA033E.  Objects already gone are passed over (traced).
 */
int32_t kelDisableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName, char *msg);

/*
 * Soft-disable: drops the column's triggers, keeps side tables, data and the XML_USAGE row, and
 * completes the row's ROOT_ID and SIDE_TAB_QUAL.  fullMessage: KELA034I on success (the
 * QUARNDARI entry), else the message stays empty.  Failures as disable, and -145 KELQ067E (lock,
 * trigger), -133 KELQ053E, -132 KELQ052E, -144 KELQ066E.
 */
int32_t kelSoftDisableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName,
                                 bool fullMessage, char *msg);

/*
 * Re-enable after soft-disable: gives documents stored meanwhile their root id, refills the side
 * tables from the user table and creates the triggers again under the stored suffix.
 * fullMessage: KELQ065I on success.  -145 KELQ067E when ROOT_ID is null (not soft-disabled);
 * -32 to -39 a trigger that cannot be created (one that exists already: the column is active).
 */
int32_t kelReEnableColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName,
                              bool fullMessage, char *msg);

// ---- Helpers shared by the column routines ----------------------------------------------------

// Longest XML column name, in characters.
inline constexpr int KEL_MAX_XML_COLUMN_CHARS = 30;
// Longest side-table column name, in bytes as parsed: the database's limit for a column name.
inline constexpr size_t KEL_MAX_SIDE_COLUMN_BYTES = 30;
// Longest location path of a side-table column: the extract functions' parameter, in bytes.
inline constexpr size_t KEL_MAX_SIDE_PATH_BYTES = 256;

/*
 * Fills buf (len characters and a terminator) with a random trigger suffix of "A" to "Z" and
 * "0" to "9".  The order of the characters is drawn once per process; thread-safe.
 */
void kel_GetRandName(KelCallContext *ctx, char *buf, int len);

/*
 * Draws suffixes from next until one is not used by any row of XML_USAGE, at most 26 draws.
 * Returns 0 with *suffix set; -46 with KELA062E (column, table) when every draw is in use or
 * the query fails (with the database's text).
 */
int32_t kelPickTriggerSuffix(KelCallContext *ctx, const std::function<std::string()> &next,
                             const std::string &column, const std::string &table, std::string *suffix,
                             char *msg);

/*
 * Reads an Xcolumn DAD already opened into def: the validation it asks for, the DTD id or
 * schema location, and its side tables, each name parsed (a side table without a schema gets
 * sideSchema), each type, path and multi_occurrence checked.  Returns 0, or the failure's code
 * with msg (KELA057E to KELA061E with SQLSTATE 38X15, KELA058E also for a column name over
 * KEL_MAX_SIDE_COLUMN_BYTES; KELQ000E for a missing attribute or a table without a column;
 * KELG005E for a graphic type, KELQ037E for a table of several values with more than one column).
 */
int32_t kelColumnDefFromDad(KelCallContext *ctx, KelDad &dad, const std::string &sideSchema, KelColumnDef *def,
                            char *msg);

// Runs sql immediately, traced.  Returns the SQLCODE.
int kelColExec(KelCallContext *ctx, const std::string &sql, sqlca *ca);

// Runs the query sql with terminated string inputs and fetches its first row into out.
// Returns the SQLCODE (100: no row).
int kelColFetch(KelCallContext *ctx, const char *sql, std::initializer_list<const char *> in,
                std::vector<quarn_hostvar> out, sqlca *ca);

// ---- The procedures ---------------------------------------------------------------------------

extern const KelProcSpec kelEnableColumnSpec;        // QUARNDARI, with dbName
extern const KelProcSpec kelEnableColumnStpSpec;     // SQL convention
extern const KelProcSpec kelEnableColumn0StpSpec;    // SQL convention, with dbName
extern const KelProcSpec kelDisableColumnSpec;       // QUARNDARI, with dbName
extern const KelProcSpec kelDisableColumnStpSpec;
extern const KelProcSpec kelDisableColumn0StpSpec;
extern const KelProcSpec kelSoftDisableColumnSpec;   // QUARNDARI: tableName, columnName
extern const KelProcSpec kelSoftDisableColumnStpSpec;
extern const KelProcSpec kelReEnableColumnSpec;
extern const KelProcSpec kelReEnableColumnStpSpec;

extern "C" {
// QUARNDARI entries: one descriptor area.
SQL_API_EXPORT int kelEnableColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelDisableColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelSoftDisableColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelReEnableColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);

// SQL-convention entries: the parameters (the DAD as a 32-bit length, the bytes and a
// terminator), one null indicator each, SQLSTATE, procedure name, specific name, message.
SQL_API_EXPORT int kelEnableColumn_STP(char *tableName, char *columnName, char *dadBuf, char *tableSpace,
                                       char *defaultView, char *rootID, sqlint32 *returnCode, char *returnMsg,
                                       short *tableNameInd, short *columnNameInd, short *dadBufInd,
                                       short *tableSpaceInd, short *defaultViewInd, short *rootIDInd,
                                       short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                                       char *specName, char *diagMsg);
SQL_API_EXPORT int kelEnableColumn0_STP(char *dbName, char *tableName, char *columnName, char *dadBuf,
                                        char *tableSpace, char *defaultView, char *rootID, sqlint32 *returnCode,
                                        char *returnMsg, short *dbNameInd, short *tableNameInd,
                                        short *columnNameInd, short *dadBufInd, short *tableSpaceInd,
                                        short *defaultViewInd, short *rootIDInd, short *returnCodeInd,
                                        short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                        char *diagMsg);
SQL_API_EXPORT int kelDisableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode, char *returnMsg,
                                        short *tableNameInd, short *columnNameInd, short *returnCodeInd,
                                        short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                        char *diagMsg);
SQL_API_EXPORT int kelDisableColumn0_STP(char *dbName, char *tableName, char *columnName, sqlint32 *returnCode,
                                         char *returnMsg, short *dbNameInd, short *tableNameInd,
                                         short *columnNameInd, short *returnCodeInd, short *returnMsgInd,
                                         char *sqlstate, char *procName, char *specName, char *diagMsg);
SQL_API_EXPORT int kelSoftDisableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode,
                                            char *returnMsg, short *tableNameInd, short *columnNameInd,
                                            short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                            char *procName, char *specName, char *diagMsg);
SQL_API_EXPORT int kelReEnableColumn_STP(char *tableName, char *columnName, sqlint32 *returnCode, char *returnMsg,
                                         short *tableNameInd, short *columnNameInd, short *returnCodeInd,
                                         short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                         char *diagMsg);
}

#endif /* KEL_COL_H */
