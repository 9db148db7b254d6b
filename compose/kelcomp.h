/*
 * kelcomp.h - the composition driver and the six composition procedures.  kelComposeXML reads
 * a collection DAD, opens the call's own connection to the current database (joined to the
 * caller's session and unit of work), checks the result table and hands the work to the SQL
 * mapping (kelscomp) or the RDB_node mapping (kelrcomp); kelFetchDAD reads the DAD of an
 * enabled collection from QUARNXML.XML_USAGE.  The procedures kelGenXML, kelGenXML2,
 * kelGenXMLClob, kelRetrieveXML, kelRetrieveXML2 and kelRetrieveXMLClob are exported in both
 * parameter conventions (the _STP entries use the SQL convention); their descriptions join the
 * entry table of the procedure library (admin/kelprocs.cpp).
 *
 * A call is all or nothing for the caller's unit of work: what it changed (the valid column
 * it added, the rows it inserted) is undone when it fails, and stays when it succeeds or stops
 * at maxRows.  Every call owns its connection, statements, buffers and temporary files and
 * releases them before it returns; calls on different threads share nothing.
 */
#ifndef KEL_COMP_H
#define KEL_COMP_H

#include <cstdint>
#include <string>

#include "kelcatalog.h"
#include "kelframe.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

struct KelCallContext;
struct KelDocBuffer;

// The valid column a single-column caller's result table gets.
inline constexpr char KEL_VALID_COLUMN[] = "KEL_VALID";
// Declared length of resultDoc in the current definitions, in bytes.
inline constexpr int32_t KEL_RESULT_DOC_LENGTH = 1048576;

// What one composition is asked to do.
struct KelComposeArgs {
  const char *dad = nullptr;  // the DAD (terminated, database code page), or a file of the call's own
  int dadInMemory = 1;
  bool toTable = false;       // documents go to the result table; else to the large-object output
  std::string schema;         // of the result table (empty: the current schema)
  std::string table;
  std::string resultColumn;   // empty: the table's first column
  std::string validColumn;    // empty: none given
  bool singleColumn = true;   // a caller of list A or C: the valid column is KEL_VALID, added when missing
  int overrideType = 0;
  std::string override;
  int64_t maxRows = 0;        // 0: no limit
  char *lobData = nullptr;    // large-object output: the first document, at most lobCapacity bytes
  int64_t lobCapacity = 0;
};

struct KelComposeResult {
  int64_t numDocs = 0;
  bool lobSet = false;  // a document was stored into the large-object output
  uint32_t lobLength = 0;
  int32_t valid = -1;   // its validation result, -1 without validation
};

/*
 * Composes the documents of the DAD.  Returns 0 with KELQ020I in msg; 3 with KELQ003W when
 * maxRows documents were made and there is at least one more; 5 with KELQ041W when an
 * override path selected nothing; or a failure (the call's changes undone):
 *   the DAD: its parse error (KELQ047E ...), the header's errors with their own codes
 *     (KELQ057E, KELQ058E, KELA056E, KELQ040E, KELQ000E, ...), the mappings' errors;
 *   -11 KELA016E  the result table does not exist (schema SESSION is not looked up)
 *   -69 KELQ009E  the result or valid column is not a column of it
 *   -134 KELQ054E validation asked for without a valid column ("NULL")
 *   -8 KELA013E   the valid column cannot be added
 *   -99 KELQ030E  an override type other than 0 and 1 (SQL mapping) or 0 and 2 (RDB_node
 *                 mapping), or an XML override that is wrong (kelInitOverride)
 *   -133 KELQ053E a query failed, or the result table refused a document (kelInsertResult)
 *   -52 KELC006E  the first document is longer than the large-object output's room
 *   -57 KELG006E / KELG001E  the connection or another interface call failed.
 */
int kelComposeXML(KelCallContext *ctx, const KelComposeArgs &args, KelComposeResult *result, char *sqlstate,
                  char *msg);

/*
 * Reads the DAD of collection collectionName from QUARNXML.XML_USAGE into buf (set up here;
 * the caller releases it with kelBufRelease in every case).  Returns 0, or: -101 KELQ032E for
 * a name longer than KEL_MAX_COLLECTION_NAME characters (never cut to fit); -88 KELQ028E when
 * no collection has that name; -89 KELQ029E when its DAD is null; KELQ052E with the database's
 * text and its SQLCODE when XML_USAGE cannot be read; the failure of reading the DAD's value.
 */
int kelFetchDAD(KelCallContext *ctx, const char *collectionName, KelDocBuffer *buf, char *sqlstate, char *msg);

// The procedure descriptions: parameter lists A, B and C, with a DAD or a collection name.
extern const KelProcSpec kelGenXMLSpec;
extern const KelProcSpec kelGenXML2Spec;
extern const KelProcSpec kelGenXMLClobSpec;
extern const KelProcSpec kelRetrieveXMLSpec;
extern const KelProcSpec kelRetrieveXML2Spec;
extern const KelProcSpec kelRetrieveXMLClobSpec;

extern "C" {
// QUARNDARI entries: one descriptor area (large objects with their extended entries).
SQL_API_EXPORT int kelGenXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelGenXML2(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelGenXMLClob(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelRetrieveXML(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelRetrieveXML2(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelRetrieveXMLClob(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);

// SQL-convention entries: the parameters (a CLOB as a 32-bit length and its bytes), one null
// indicator per parameter, SQLSTATE, procedure name, specific name, diagnostic message.
SQL_API_EXPORT int kelGenXML1_STP(char *dadBuf, char *resultTable, sqlint32 *overrideType, char *overrideText,
                                  sqlint32 *maxRows, sqlint32 *numRows, sqlint32 *returnCode, char *returnMsg,
                                  short *dadBufInd, short *resultTableInd, short *overrideTypeInd,
                                  short *overrideInd, short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                  short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                  char *diagMsg);
SQL_API_EXPORT int kelGenXML_STP(char *dadBuf, char *resultTable, char *resultColumn, char *validColumn,
                                 sqlint32 *overrideType, char *overrideText, sqlint32 *maxRows, sqlint32 *numRows,
                                 sqlint32 *returnCode, char *returnMsg, short *dadBufInd, short *resultTableInd,
                                 short *resultColumnInd, short *validColumnInd, short *overrideTypeInd,
                                 short *overrideInd, short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                 short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                 char *diagMsg);
SQL_API_EXPORT int kelGenXMLClob_STP(char *dadBuf, sqlint32 *overrideType, char *overrideText, char *resultDoc,
                                     sqlint32 *valid, sqlint32 *numDocs, sqlint32 *returnCode, char *returnMsg,
                                     short *dadBufInd, short *overrideTypeInd, short *overrideInd,
                                     short *resultDocInd, short *validInd, short *numDocsInd, short *returnCodeInd,
                                     short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                     char *diagMsg);
SQL_API_EXPORT int kelRetrieveXML1_STP(char *collectionName, char *resultTable, sqlint32 *overrideType,
                                       char *overrideText, sqlint32 *maxRows, sqlint32 *numRows,
                                       sqlint32 *returnCode, char *returnMsg, short *collectionNameInd,
                                       short *resultTableInd, short *overrideTypeInd, short *overrideInd,
                                       short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                       short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                       char *diagMsg);
SQL_API_EXPORT int kelRetrieveXML_STP(char *collectionName, char *resultTable, char *resultColumn,
                                      char *validColumn, sqlint32 *overrideType, char *overrideText,
                                      sqlint32 *maxRows, sqlint32 *numRows, sqlint32 *returnCode, char *returnMsg,
                                      short *collectionNameInd, short *resultTableInd, short *resultColumnInd,
                                      short *validColumnInd, short *overrideTypeInd, short *overrideInd,
                                      short *maxRowsInd, short *numRowsInd, short *returnCodeInd,
                                      short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                      char *diagMsg);
SQL_API_EXPORT int kelRetrieveXMLClob_STP(char *collectionName, sqlint32 *overrideType, char *overrideText,
                                          char *resultDoc, sqlint32 *valid, sqlint32 *numDocs,
                                          sqlint32 *returnCode, char *returnMsg, short *collectionNameInd,
                                          short *overrideTypeInd, short *overrideInd, short *resultDocInd,
                                          short *validInd, short *numDocsInd, short *returnCodeInd,
                                          short *returnMsgInd, char *sqlstate, char *procName, char *specName,
                                          char *diagMsg);
}

#endif /* KEL_COMP_H */
