/*
 * kelctx.h - the per-call runtime context that every exported entry creates zeroed on its stack
 * and passes first to nearly every function, and its set-up (kelInit) and tear-down (kelTerm).
 * A null context is accepted everywhere and means: no trace, full messages, no state.
 * A context belongs to one call (or, for a user-defined function, to one statement's
 * scratchpad) and is never shared between threads.
 */
#ifndef KEL_CTX_H
#define KEL_CTX_H

#include <cstdint>
#include <cstdio>

struct KelCodePages;

struct KelCallContext {
  uint32_t traceOn;          // 1 while the trace file is open for this call
  char traceFileName[516];   // the trace file named by the trace control file
  FILE *traceFile;           // open trace stream, or null
  uint32_t fullMessages;     // 1: 1024-byte messages (procedures); 0: 70 characters (functions)
  KelCodePages *codePages;   // code-page record, created by kelInit
  char *savedTmpSetting;     // "TMP=<value>" as it was at initialisation, or null; owned
  char *tempDir;             // copy of QUARNKELTEMP, or null; owned
  int32_t fileThreshold;     // bytes from which large data goes through a temporary file
};

// Smallest memory/file threshold; QUARNKEL_MIN_TMPFILE_SIZE below it is raised to it.
inline constexpr int32_t KEL_MIN_FILE_THRESHOLD = 131072;
// A locale name of this many characters or more is refused by kelInit.
inline constexpr size_t KEL_MAX_LOCALE_NAME = 100;

// Message modes of kelInit.
inline constexpr uint32_t KEL_SHORT_MESSAGES = 0; // user-defined functions: 70 characters
inline constexpr uint32_t KEL_FULL_MESSAGES = 1;  // stored procedures: 1024 bytes

struct sqlca;

// Fills *ca as CONNECT without arguments answers it on the call's connection (tokens separated
// by 0xFF: the second is the database code page, the ninth the application code page).
// Returns 0, or non-zero when the connection cannot be asked.
using KelConnectionInfoFn = int (*)(struct sqlca *ca);

// Code-page request of kelInit: how the code pages of the call are found.  Without a request
// both code pages are the process's application code page (locale name or ICU default).
struct KelCodePageRequest {
  int mode;                           // 1 stored procedure (ask the connection), 0 function
  int32_t dbCodePage;                 // function mode: the database code page of DBINFO; 0 none
  KelConnectionInfoFn connectionInfo; // procedure mode: asks the call's connection
};

/*
 * Sets up ctx for one call: memory/file threshold (QUARNKEL_MIN_TMPFILE_SIZE, at least 131072),
 * the saved TMP setting and QUARNKELTEMP, message mode, the call's trace (when the instance is
 * traced) and the code-page record.  A context already set up (its code-page record exists)
 * only refreshes the threshold and the settings not yet held, and returns 0.  The routine
 * frames check the XML parser afterwards (kelCheckParserForCall, in the XML core), so this
 * base layer knows nothing of XML.
 * Returns 0, or a negative return code with sqlstate (6 bytes) and msg (1025 bytes) set:
 * -58/"38X10" no context or no memory; -102/"38X35" the instance's environment is missing;
 * -148/"38X03" the trace file cannot be opened; -119/"38X38" locale name too long or
 * unsupported.  On failure everything set up is released again (kelTerm); nothing to call.
 */
int kelInit(KelCallContext *ctx, uint32_t messageMode, const KelCodePageRequest *cpRequest,
            char *sqlstate, char *msg, const char *localeName);

/*
 * Releases what kelInit set up: the parser, the converters and the code-page record, the saved
 * settings, and the call's trace.  Returns 0; -58 with "38X10" in sqlstate when ctx is null.
 */
int kelTerm(KelCallContext *ctx, char *sqlstate);

#endif /* KEL_CTX_H */
