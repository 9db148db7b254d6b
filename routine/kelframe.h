/*
 * kelframe.h - the one skeleton every exported stored procedure follows, in both parameter
 * conventions.  An exported entry is a few lines: it names its KelProcSpec (parameters and
 * worker) and hands its arguments to kelDariFrame or kelSqlFrame, which set up the call context,
 * read and copy the inputs, call the worker, write the return code, message, outputs and
 * indicators back, and tear the context down.  Frames are reentrant; each call owns its
 * context, copies and message buffer.
 */
#ifndef KEL_FRAME_H
#define KEL_FRAME_H

#include <cstdint>

#include "sqlca.h"
#include "sqlda.h"

struct KelCallContext;

enum class KelParamKind : uint8_t {
  String,     // character input or output (SQL convention: terminated string)
  Lob,        // character large object (SQL convention: 32-bit length, bytes, terminator)
  Integer,    // 32-bit integer (SQL convention: pointer to sqlint32)
  ReturnCode, // the procedure's integer return code (output)
  ReturnMsg,  // the procedure's varchar(1024) message (output)
};

enum class KelParamMode : uint8_t { In, Out, InOut };

struct KelParamSpec {
  const char *name;    // for the trace
  KelParamKind kind;
  KelParamMode mode;
  bool required;       // a null input fails the call
  int32_t maxLen;      // outputs of kind String or Lob: the declared length in bytes (a Lob
                       // output of a QUARNDARI call takes the room the call gives instead)
};

// One parameter as a worker sees it.
struct KelArg {
  const char *data;  // String/Lob inputs: terminated copy; "" for a null optional input
  int32_t len;       // its length in bytes
  int32_t num;       // Integer inputs
  bool isNull;       // the input was null
  char *out;         // String/Lob outputs: room for outCap bytes (a String's terminator besides)
  int64_t outCap;    // String/Lob outputs: bytes the worker may store into out
  int32_t outLen;    // String/Lob outputs: bytes the worker stored
  int32_t outNum;    // Integer outputs
  bool outNull;      // the worker returns NULL for this output
};

struct KelProcCall {
  KelCallContext *ctx;  // the call's context, set up in full-message mode
  KelArg *args;         // one per parameter of the layout, return code and message included
  int nArgs;
  char *msg;            // the returnMsg buffer: 1024 bytes and a terminator
  const char *procName; // the qualified procedure name the engine passed, or the entry's name
};

// The worker's return code becomes returnCode; it writes its message into call.msg.
using KelProcWorker = int32_t (*)(KelProcCall &call);

struct KelProcLayout {
  const KelParamSpec *params;
  int count; // parameters in the descriptor area, returnCode and returnMsg included
};

struct KelProcSpec {
  const char *name;             // the QUARNDARI entry name, e.g. "kelEnableDB"
  const KelProcLayout *layouts; // a QUARNDARI call chooses the layout by its number of entries
  int nLayouts;
  KelProcWorker worker;
};

/*
 * Runs a QUARNDARI call: da holds the parameters as the engine passed them (large objects
 * with their extended entries).  Writes returnCode and returnMsg (cut to the entry's sqllen),
 * sets input indicators to -128 and output indicators to 0.  A large-object output is written
 * straight into the call's own area: its room is the extended entry's length (so the
 * declared length of whichever definition the database holds), or without an extended entry
 * the sqllen of a length-prefixed area.  Returns 1, the value the engine expects, in every case.
 */
int kelDariFrame(const KelProcSpec &proc, struct sqlda *da, struct sqlca *ca);

/*
 * Runs an SQL-convention call with layout 0 of proc: values[i] points to parameter i as the
 * convention passes it (String: terminated string; Lob: 32-bit length, bytes, terminator;
 * Integer, ReturnCode: sqlint32; ReturnMsg: 1025-byte buffer), inds[i] to its 16-bit null
 * indicator.  The convention passes no room of an output: a Lob output holds maxLen bytes.
 * A null required input gives -60 and KELG004E.  Returns 0 (meaningless to the engine).
 */
int kelSqlFrame(const KelProcSpec &proc, void **values, short **inds, char *sqlstate,
                const char *procName, const char *specName, char *diagMsg);

#endif /* KEL_FRAME_H */
