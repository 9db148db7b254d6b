/*
 * kelfnframe.h - the frame every user-defined function of quarnxmlfn is entered and left
 * through: the per-statement state kept in the engine's scratchpad (KelUdfScratch), the
 * first-call set-up of the call context, and its tear-down on the final call (or after a
 * failed first call, so that the final call finds nothing to do).  A scratchpad belongs to one
 * reference of a function in one statement execution; nothing is shared between them.
 */
#ifndef KEL_FNFRAME_H
#define KEL_FNFRAME_H

#include <cstdint>

#include "kelextract.h"
#include "kelvalidate.h"
#include "kelvalreport.h"
#include "sqludf.h"

struct KelCallContext;
class KelUpdater;
struct KelExplainRows;

// The validation state of a statement: its engine, and the report table functions' rows.
struct KelValidation {
  explicit KelValidation(KelCallContext *ctx) : validator(ctx), report(ctx) {}
  KelValidator validator;
  KelReportCollector report;
  const std::vector<KelReportRow> *rows = nullptr;  // the open report's rows, or none
  size_t nextRow = 0;                               // the row the next fetch returns
};

// What every function keeps in the scratchpad's data area.
struct KelUdfScratch {
  int32_t codePageFlag;     // 1: the document is in the database code page (XMLVarchar, XMLCLOB)
  int32_t inMemoryFlag;     // 1: the document is passed in memory, 0: as a file name
  KelCallContext *ctx;      // allocated zeroed at the first call
  char *dtd;                // DTD text of the with-DTD extract functions, read at the first call;
                            // validate functions: the DTD file last found readable
  KelExtractResult result;  // table functions: the rows from open to close
  KelExtractor *extractor;  // the statement's reader and compiled path
  KelUpdater *updater;      // update functions: the statement's engine, made at first use
  KelValidation *validation;  // validate functions: the statement's engine, made at first use
  KelExplainRows *explain;  // explainPath: the rows from open to close
};
static_assert(sizeof(KelUdfScratch) <= SQLUDF_SCRATCHPAD_LEN, "the state fits the scratchpad");

// The state in a scratchpad.
inline KelUdfScratch *kelUdfScratchOf(sqludf_scratchpad *sp) {
  return reinterpret_cast<KelUdfScratch *>(sp->data);
}

/*
 * First call: allocates the context and sets it up (short messages, the database code page of
 * dbinfo, localeName as the application encoding or null for the process's).  Returns true;
 * false with sqlstate and msg set by the set-up (the context is freed again).
 */
bool kelUdfBegin(KelUdfScratch *sp, const sqludf_dbinfo *dbinfo, const char *localeName,
                 char *sqlstate, char *msg);

// Releases everything the scratchpad holds (context, DTD, rows, engines).  Harmless when
// nothing is held.
void kelUdfEnd(KelUdfScratch *sp);

// True for the first call of a scalar function (SQLUDF_FIRST_CALL, or SQLUDF_TF_FIRST, which a
// scalar function takes for the same).
bool kelUdfFirstCall(const sqlint32 *callType);

/*
 * The entry steps of a scalar function for one call.  Returns the state with a live context
 * for the function's own steps and *outInd set to -1; null when the call ends here: no
 * scratchpad, a final call (everything is released), a first call whose set-up failed
 * (sqlstate and msg set, the message ready for the engine), or a later call after a failed
 * first call.  localeName: as kelUdfBegin.
 */
KelUdfScratch *kelUdfEnter(sqludf_scratchpad *scratchpad, const sqlint32 *callType, const sqludf_dbinfo *dbinfo,
                           const char *localeName, char *sqlstate, char *msg, short *outInd);

/*
 * Leaving a scalar function: the message is made ready for the engine, and a first call that
 * failed releases the state, so that the final call finds none.  A first call succeeded when
 * its SQLSTATE is "00000", or also a warning ("01...") when keepOnWarning.
 */
void kelUdfLeave(KelUdfScratch *sp, const sqlint32 *callType, const char *sqlstate, char *msg, bool keepOnWarning);

// The failure of a call that threw; called inside the handler (it rethrows to tell the kinds).
void kelUdfFailThrown(sqludf_scratchpad *scratchpad, const sqlint32 *callType, char *sqlstate, char *msg) noexcept;

/*
 * Runs one call of an exported function: nothing thrown leaves it for the engine.  An exception
 * ends the call as a failed one (kelUdfFailThrown): out of memory (std::bad_alloc or the parser
 * library's OutOfMemoryException) with KELG002E,
 * anything else with the internal error KELG001E; a first call's state is released, as after
 * any failed first call, and a later call's is left for the final call.
 */
template <class Body>
void kelUdfGuarded(sqludf_scratchpad *scratchpad, const sqlint32 *callType, char *sqlstate, char *msg,
                   Body &&body) noexcept {
  try {
    body();
  } catch (...) {
    kelUdfFailThrown(scratchpad, callType, sqlstate, msg);
  }
}

// True for an SQLSTATE after which a first call keeps its context: success or a warning.
bool kelUdfStateKeeps(const char *sqlstate);

/*
 * The message a function hands back to the engine: its diagnostic text, shown inside the
 * engine's own message, so the catalogue text's closing newline is dropped.
 */
void kelUdfLeaveMessage(char *msg);


#endif /* KEL_FNFRAME_H */
