/*
 * kelshred.h - the decomposition procedures: kelShredXML (the DAD passed with the call, the
 * tables must exist) and kelInsertXML (the name of an enabled collection), each in both
 * parameter conventions, around the decomposition driver.  Every call is all or nothing: its
 * rows are undone when it ends with a negative return code (the call savepoint); the caller's
 * unit of work and its COMMIT stay with the caller.
 *
 * Registrations: enablement registers kelShredXML and kelShredXML50MB on the entry kelShredXML,
 * kelInsertXML and kelInsertXML50MB on kelInsertXML (QUARNDARI).  The variants of 100 MB
 * documents are registered by nobody; a user registers them on the SQL-convention entries
 * (docs/decompose.md gives the statements):
 *   kelShredXML100MB(dadBuf clob(100K), XMLObj clob(100M), ...)   -> kelShredXML_STP
 *   kelInsertXML100MB(collectionName varchar(128), XMLObj clob(100M), ...) -> kelInsertXML_STP
 * Reentrant; each call owns what it allocates.
 */
#ifndef KEL_SHRED_H
#define KEL_SHRED_H

#include "kelframe.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

// The procedures as the frame runs them.
extern const KelProcSpec kelShredXMLSpec;
extern const KelProcSpec kelInsertXMLSpec;

extern "C" {
/*
 * kelShredXML(dadBuf clob, XMLObj clob, out returnCode, out returnMsg): 0 with KELQ025I; a null
 * DAD or document gives -60 and KELG004E in both conventions; otherwise the return code and
 * message of kelDecomposeByDAD (the tables are checked first).
 */
SQL_API_EXPORT int kelShredXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelShredXML_STP(void *dadBuf, void *xmlObj, sqlint32 *returnCode, char *returnMsg,
                                   short *dadBufInd, short *xmlObjInd, short *returnCodeInd, short *returnMsgInd,
                                   char *sqlstate, char *procName, char *specName, char *diagMsg);
/*
 * kelInsertXML(collectionName varchar(128), XMLObj clob, out returnCode, out returnMsg): the
 * same into an enabled collection (KELQ028E, -88 when there is none); the name is taken as
 * given, without folding.
 */
SQL_API_EXPORT int kelInsertXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelInsertXML_STP(char *collectionName, void *xmlObj, sqlint32 *returnCode, char *returnMsg,
                                    short *collectionNameInd, short *xmlObjInd, short *returnCodeInd,
                                    short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                    char *diagMsg);
}

#endif /* KEL_SHRED_H */
