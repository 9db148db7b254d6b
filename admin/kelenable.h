/*
 * kelenable.h - enabling a database for XML (the schema QUARNXML with the system's distinct
 * types, functions, procedures and catalogue tables) and disabling it again: the statement
 * lists, the table-space clause of the catalogue tables, the removal of the two distinct types
 * that may have been in the database before, and the procedures' workers and entries.
 *
 * Every statement runs on the calling thread's current connection: inside a procedure, the
 * caller's session and unit of work.  Nothing here commits or rolls back; a failed enablement
 * leaves the objects made before the failing statement to the caller's unit of work.  Lists
 * are constant after their first use; workers own nothing beyond their call.  Safe from
 * several calls at once, each on its own connection.
 */
#ifndef KEL_ENABLE_H
#define KEL_ENABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "kelframe.h"
#include "kelregister.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

struct KelCallContext;

// What enablement does with a statement of its first list before running it.
enum KelEnableStmtKind {
  KEL_STMT_PLAIN,          // run as it is
  KEL_STMT_DTD_REF,        // CREATE TABLE of DTD_REF: the first table space is appended
  KEL_STMT_XML_USAGE,      // CREATE TABLE of XML_USAGE: the second (or first) table space
};

struct KelEnableStmt {
  int number;
  std::string text;
  KelEnableStmtKind kind;
};

// The first enablement list, statements 0 to 145 in order.
const std::vector<KelEnableStmt> &kelEnableList();
// The double-byte enablement list, statements 0 to 16.
const std::vector<KelEnableStmt> &kelEnableDoubleByteList();
// The first disablement list (135 statements) and the double-byte one (17), in order.
const std::vector<std::string> &kelDisableList();
const std::vector<std::string> &kelDisableDoubleByteList();

// Table kinds of appendTableSpaceClause.
inline constexpr int KEL_TBSPACE_DTD_REF = 1;    // fixed table space KELDTDRF
inline constexpr int KEL_TBSPACE_XML_USAGE = 2;  // fixed table space KELXMLUS
// Longest table space name, in bytes.
inline constexpr int KEL_MAX_TBSPACE_NAME = 18;

/*
 * Sets *out to stmt followed by the table-space clause of the catalogue table of kind (1
 * DTD_REF, 2 XML_USAGE).  A given table space (indicator 0, not empty) is read as one SQL
 * identifier (ordinary names fold to upper case, delimited ones keep their case) and appended
 * quoted: " IN \"NAME\"".  Without one, the fixed table space of the kind is appended as
 * " IN KELDTDRF" / " IN KELXMLUS" when the catalogue has it, else *out is stmt unchanged.
 * Returns 0; -1 with: *rc the SQLCODE and msg untouched when the catalogue query fails (ca,
 * when not null, receives its communication area); *rc -109 and KELQ033E for a name that is not
 * one identifier; *rc -28 and KELA037E for a name longer than 18 bytes; *rc -58 and KELG002E
 * when memory runs out.
 */
int appendTableSpaceClause(KelCallContext *ctx, std::string *out, const char *stmt, int kind,
                           const char *tableSpace, short tableSpaceInd, int32_t *rc, char *msg,
                           struct sqlca *ca = nullptr);

/*
 * Drops the distinct types QUARNXML.XMLVARCHAR and QUARNXML.XMLCLOB when their declared
 * lengths are those enablement gives them (3000 and 2147483647); types of other lengths were
 * in the database before and are kept, and a type that is not there is left alone.
 * Returns 0; -1 when a catalogue query or a drop fails, with its communication area in *ca.
 */
int kelDropSchema(KelCallContext *ctx, struct sqlca *ca);

/*
 * The double-byte test: creates and drops again the distinct type QUARNXML.KELDBCSTEST over a
 * double-byte large object.  Sets *supported to 0 when the database refuses double-byte types
 * (SQLCODE -1216), else 1.  Returns 0, or the SQLCODE of a failed drop of the test type.
 */
int kelDoubleByteTest(KelCallContext *ctx, int *supported, struct sqlca *ca);

/*
 * Enables the current database.  dbName (null: KELG004E, -60) is cut to 8 characters for the
 * messages.  tableSpace (indicator 0, not empty) holds both catalogue tables, tableSpace2 only
 * XML_USAGE.  Writes the message into msg (1025 bytes) and returns the return code: 0 with
 * KELA006I; 5 with KELA070W when the database is already enabled; a failing statement's SQLCODE
 * with the database's text, KELM001W and KELA004E; -104 with KELA073E or -57 with KELG001E when
 * the enabled test fails; the codes of appendTableSpaceClause for a bad table space name.
 */
int32_t kelEnableDB_STP_Main(KelCallContext *ctx, const char *dbName, const char *tableSpace,
                             short tableSpaceInd, const char *tableSpace2, short tableSpace2Ind,
                             char *msg);

/*
 * Disables the current database: 0 with KELA036I; KELG004E and -60 for a null dbName; 6 with
 * KELA071W when it is not enabled; a failing statement's SQLCODE with the database's text,
 * KELM001W and KELA007E.
 */
int32_t kelDisableDB_Main(KelCallContext *ctx, const char *dbName, char *msg);

// The procedures as the frame runs them: enable (layouts of 3 and 5 entries) and disable.
extern const KelProcSpec kelEnableDBSpec;
extern const KelProcSpec kelDisableDBSpec;

// The SQL-convention forms of enablement that the QUARNDARI entry stands for: without and with
// the two table spaces.  Not exported; each sets up its own call context.
int kelEnableDB_STP(char *dbName, sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                    short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                    char *specName, char *diagMsg);
int kelEnableDB_STP1(char *dbName, char *tableSpace, char *tableSpace2, sqlint32 *returnCode,
                     char *returnMsg, short *dbNameInd, short *tableSpaceInd,
                     short *tableSpace2Ind, short *returnCodeInd, short *returnMsgInd,
                     char *sqlstate, char *procName, char *specName, char *diagMsg);

extern "C" {
// Exported entries: enable (QUARNDARI), disable (QUARNDARI and SQL convention).
SQL_API_EXPORT int kelEnableDB(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelDisableDB(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelDisableDB_STP(char *dbName, sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                     short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                     char *specName, char *diagMsg);
}

// Whether dbName (blanks after it and case aside) names the database of the connection, the one
// a call enables or disables whatever name it is given: a call naming another database changed
// this one and said it had changed the other.
bool kelNamesThisDatabase(KelCallContext *ctx, const char *dbName);

#endif /* KEL_ENABLE_H */
