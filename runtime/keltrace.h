/*
 * keltrace.h - the instance-wide diagnostic trace.  Switching it on writes the control file
 * "<QUARNKELPATH>/kel<instance>.ctl" naming the trace file "<dir>/kel<instance>.trc"; each call
 * opens that file for appending at kelInit and closes it at kelTerm.  Lines from concurrent
 * calls may interleave; each piece is flushed on its own.  Trace writes never fail a call.
 */
#ifndef KEL_TRACE_H
#define KEL_TRACE_H

#include <cstdint>

#include "kelctx.h"

/*
 * Switches tracing on for the instance (instance null: QUARNINSTANCE).  A relative traceDir is
 * completed against the current directory, so that the control file names the trace file in
 * full.  Returns 0 with KELA068I; -1 with *rc -97 and KELC009E when the trace file cannot be
 * created in traceDir (or traceDir holds a line end, which the control file cannot carry),
 * -105/"38X03" and KELC011E when the control file cannot be written, -102/"38X35" (no message)
 * when the instance name or QUARNKELPATH is missing.
 */
int kelTraceOn(KelCallContext *ctx, const char *traceDir, const char *instance, int32_t *rc,
               char *sqlstate, char *msg);

/*
 * Switches tracing off by removing the control file.  Returns 0 with KELA069I; -1 with *rc -96
 * and KELC008E when the control file cannot be removed, -102 when the instance name or
 * QUARNKELPATH is missing.
 */
int kelTraceOff(KelCallContext *ctx, const char *instance, char *msg, int32_t *rc);

/*
 * Opens the call's trace when the instance is traced.  Returns 0 (tracing or not); -102 with
 * "38X35" when QUARNINSTANCE or QUARNKELPATH is missing; -148 with "38X03" and KELQ070E when
 * the trace file cannot be opened; -1 with "38X03" and "'<control file>' <reason>" when the
 * control file exists but cannot be read.
 */
int kelTraceOpen(KelCallContext *ctx, char *sqlstate, char *msg);

// Closes the call's trace file and clears traceOn.  Returns 0.
int kelTraceClose(KelCallContext *ctx);

// Writes formatted text to the call's trace file and flushes it.  Returns the characters
// written; 0 without a context or open file.
int kelTraceWrite(KelCallContext *ctx, const char *format, ...)
    __attribute__((format(printf, 2, 3)));

// The process id, for the exit trace line.
int kelGetProcessID(KelCallContext *ctx);

// Writes "<function>:\t\t" and then the formatted text, when the call is traced.
#define KEL_TRACE(ctx, ...)                                    \
  do {                                                         \
    KelCallContext *kelTraceCtx_ = (ctx);                      \
    if (kelTraceCtx_ != nullptr && kelTraceCtx_->traceOn) {    \
      kelTraceWrite(kelTraceCtx_, "%s:\t\t", __func__);        \
      kelTraceWrite(kelTraceCtx_, __VA_ARGS__);                \
    }                                                          \
  } while (0)

#endif /* KEL_TRACE_H */
