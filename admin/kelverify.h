/*
 * kelverify.h - verifying an enabled XML column against its side tables, and repairing them:
 * every document is extracted again with the DAD's paths, exactly as the column's triggers
 * would store it (the same extraction, size limits, casts and KEL_SEQNO numbering), and
 * compared, root id by root id, with the rows the side tables hold.  The procedure
 * kelVerifyColumn in both parameter conventions, and the worker that keladm also calls
 * directly (with a progress report).
 *
 * The worker runs on the calling thread's current connection (inside a procedure: the
 * caller's session and unit of work).  It parses each document at most once per side-table
 * column, with one reusable extraction engine per column.  The side tables' rows are held in
 * memory while the documents are read.  Safe from several calls at once, each on its own
 * connection; no process-wide state.
 */
#ifndef KEL_VERIFY_H
#define KEL_VERIFY_H

#include <cstdint>
#include <functional>

#include "kelframe.h"
#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

struct KelCallContext;

// What a verification found (after a repair: what it repaired).
struct KelVerifyCounts {
  int64_t documents = 0;   // documents (non-null values of the column) read
  int32_t missing = 0;     // documents for which a side table lacks the rows they should have
  int32_t extra = 0;       // side-table rows whose root id has no document
  int32_t different = 0;   // documents whose side-table rows differ from what they hold
  int32_t unreadable = 0;  // documents the triggers could not extract either (never repaired)
};

// Called after every KEL_VERIFY_PROGRESS_EVERY documents with the number read so far.
using KelVerifyProgress = std::function<void(int64_t documents)>;
inline constexpr int64_t KEL_VERIFY_PROGRESS_EVERY = 10000;
// Documents whose rows a repair holds in memory before it writes them.
inline constexpr int KEL_VERIFY_BATCH = 1000;
// Rows of the report table SESSION.KEL_VERIFY at most.
inline constexpr int KEL_VERIFY_REPORT_ROWS = 1000;

/*
 * Verifies (repair 0) or repairs (repair 1) the side tables of the enabled XML column
 * columnName of tableName ([schema.]table).  repair null means a NULL argument.
 *
 * Declares SESSION.KEL_VERIFY (ROOT_ID of the root column's type, KIND VARCHAR(10): MISSING,
 * EXTRA, DIFFERENT or UNREADABLE) with the first KEL_VERIFY_REPORT_ROWS findings; it is kept
 * over COMMIT and replaced by the next verification of the connection.
 *
 * A system root id that several rows share belongs to none of them: their documents count as
 * missing, its side rows as rows without a document.
 *
 * Repair rewrites the side rows of exactly the documents found missing or different, deletes the
 * rows without a document, and, when the system owns the root id, first takes shared root ids
 * away and gives documents without a root id theirs; KEL_VERIFY_BATCH documents at a time.
 * Documents that cannot be read are counted, named and left as they are.
 *
 * Returns, with *counts filled and the message in msg (1025 bytes):
 *   0 KELA078I: nothing differs;  0 KELA080I: everything found was repaired;
 *   7 KELA079W: differences found (repair 0);  8 KELA081W: documents that cannot be read;
 *   -60 KELG004E a null table, column or repair;  -152 KELA077E repair not 0 or 1;
 *   -101 KELQ032E a column name over 30 characters;  -132 KELQ052E the database is not enabled;
 *   -11 KELA016E / -12 KELA017E the table or column is missing;  -13 KELA018E the column is not
 *   enabled;  -17 KELA023E its XML_USAGE row is unusable;  the DAD's errors;  -145 KELQ067E a
 *   statement that failed (with the database's text).
 * A repair is all or nothing: a failure undoes everything it changed (root ids given, rows
 * written and deleted), leaving the table and its side tables as they were.
 */
int32_t kelVerifyColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName,
                            const int32_t *repair, KelVerifyCounts *counts, const KelVerifyProgress &progress,
                            char *msg);

extern const KelProcSpec kelVerifyColumnSpec;     // QUARNDARI
extern const KelProcSpec kelVerifyColumnStpSpec;  // SQL convention

extern "C" {
// tableName varchar(159), columnName varchar(30), repair integer, OUT missingRoots integer,
// OUT extraRows integer, OUT differentRoots integer, OUT returnCode integer,
// OUT returnMsg varchar(1024).
SQL_API_EXPORT int kelVerifyColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT int kelVerifyColumn_STP(char *tableName, char *columnName, sqlint32 *repair, sqlint32 *missingRoots,
                                       sqlint32 *extraRows, sqlint32 *differentRoots, sqlint32 *returnCode,
                                       char *returnMsg, short *tableNameInd, short *columnNameInd, short *repairInd,
                                       short *missingRootsInd, short *extraRowsInd, short *differentRootsInd,
                                       short *returnCodeInd, short *returnMsgInd, char *sqlstate, char *procName,
                                       char *specName, char *diagMsg);
}

#endif /* KEL_VERIFY_H */
