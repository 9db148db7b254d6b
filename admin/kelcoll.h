/*
 * kelcoll.h - enabling and disabling XML collections: a named Xcollection DAD recorded in
 * QUARNXML.XML_USAGE (TABLE_SCHEMA 'KEL_COLL', TABLE_NAME 'KEL_COLLECTION', COL_NAME the name),
 * for an RDB_node mapping with its tables created or checked, so that composition and
 * decomposition can be asked for by the collection's name.  Disabling removes the row and
 * keeps the tables and their data.
 *
 * Enabling is all or nothing (the call savepoint): a failure leaves no table and no row
 * behind.  The row is inserted before any table is made, so a name already enabled or a DTD id
 * DTD_REF does not hold is found first.  Statements run in the caller's session and unit of
 * work.  Reentrant; each call owns what it allocates.
 */
#ifndef KEL_COLL_H
#define KEL_COLL_H

#include <cstdint>

#include "kelframe.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

struct KelCallContext;

/*
 * Enables the collection name with the DAD dad (dadLen bytes) and the table space tableSpace
 * (null or empty: none).  Writes the message into msg (1025 bytes) and returns the return code:
 * 0 with KELA067I; -60 with KELG004E for a null dbName, name or DAD or an empty name; -101 with
 * KELQ032E for a name of more than 30 bytes; -132 with KELQ052E when the database is not
 * enabled; the DAD's failures (KELQ047E, KELQ000E "validation" without validation, KELQ057E ...);
 * -6 with the database's text and KELA011E when the row cannot be inserted (the name is
 * enabled already, the DTD id is not in DTD_REF); the failures of the model and of
 * prepare_tables (KELQ021E .. KELQ024E, KELA037E and KELQ033E for the table space).
 */
int32_t kelEnableColl_Main(KelCallContext *ctx, const char *dbName, const char *name, const char *dad, int32_t dadLen,
                           const char *tableSpace, char *msg);

/*
 * Disables the collection name: 0 with KELA066I; -60 with KELG004E for a null dbName or name;
 * -101 with KELQ032E for a name of more than 30 bytes; -132 with KELQ052E when the database is
 * not enabled; -88 with KELQ028E when no collection has the name; -104 with KELA073E when the
 * package is missing; -57 with KELG001E for another failure.  Rows of XML columns are never
 * touched, whatever their column is called.
 */
int32_t kelDisableColl_Main(KelCallContext *ctx, const char *dbName, const char *name, char *msg);

extern const KelProcSpec kelEnableCollSpec;
extern const KelProcSpec kelDisableCollSpec;

extern "C" {
// kelEnableColl(dbName varchar(18), collectionName varchar(128), dadBuf clob(100K),
// tableSpace varchar(128), out returnCode, out returnMsg), and the SQL-convention twin.
SQL_API_EXPORT int kelEnableColl(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelEnableColl_STP(char *dbName, char *collectionName, void *dadBuf, char *tableSpace,
                                     sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                                     short *collectionNameInd, short *dadBufInd, short *tableSpaceInd,
                                     short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                                     char *specName, char *diagMsg);
// kelDisableColl(dbName varchar(18), collectionName varchar(128), out returnCode, out returnMsg).
SQL_API_EXPORT int kelDisableColl(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelDisableColl_STP(char *dbName, char *collectionName, sqlint32 *returnCode, char *returnMsg,
                                      short *dbNameInd, short *collectionNameInd, short *returnCodeInd,
                                      short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                      char *diagMsg);
}

#endif /* KEL_COLL_H */
