/*
 * kelmsg.h - formatting of catalogue messages into the caller's buffer, database error texts
 * combined with a catalogue message, and the mapping of an SQLSTATE back to a return code.
 *
 * Messages come from the external catalogue "kel.cat" (set 1, message number) when it can be
 * opened, else from the built-in table; the catalogue is opened once per process under one
 * lock and closed when the library is unloaded.  Formatting uses only the caller's buffers and
 * is safe from any thread.
 *
 * Buffers: a full-mode destination holds 1025 bytes (1024 and the terminator); a short-mode
 * destination (user-defined functions) holds 71 bytes (70 characters and the terminator).
 */
#ifndef KEL_MSG_H
#define KEL_MSG_H

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "kelmsgtab.h"
#include "sqlca.h"

struct KelCallContext;

inline constexpr int KEL_MSG_BUFFER = 1024;     // full-mode message size, terminator not counted
inline constexpr int KEL_SHORT_MSG_LEN = 70;    // short-mode message size
inline constexpr int32_t KEL_STATE_NOT_FOUND = INT32_MIN; // kelStateToCode for an unknown state

/*
 * The number of bytes of text (len bytes) that fit in limit bytes without splitting a UTF-8
 * character: len when it fits, else limit less the first bytes of a character that the cut
 * would split.  With len > limit, text[limit] must be readable.  Messages, database texts
 * and output parameters are cut with it.
 */
int kelCutLength(const char *text, int len, int limit);

/*
 * Formats catalogue entry msgNo with args at dest + usedBytes.  Full mode (ctx null or
 * ctx->fullMessages): the text is cut so that, with its newline and terminator, everything
 * stays within 1024 bytes of dest plus the terminator; returns the bytes written without the
 * terminator, 0 when no room is left.  Short mode: at most 70 characters including the newline.
 * A text that does not fit is cut behind its last whole character (kelCutLength).
 * Returns -1 and writes nothing for a negative or unknown msgNo.
 */
int kelVsprint(KelCallContext *ctx, char *dest, int msgNo, int usedBytes, va_list args);

// kelVsprint at the start of dest.  Returns the length written.
int kelSetMessage(KelCallContext *ctx, char *dest, int msgNo, ...);

// Places a text that is no catalogue entry (a system error text) at the start of dest as
// kelVsprint places a formatted message: a newline behind it, cut to the mode's room.
// Returns the length written.
int kelSetText(KelCallContext *ctx, char *dest, const char *text);

/*
 * Writes the database's text for the failed statement in *ca, then KELM001W, then catalogue
 * message msgNo; a database text that is empty or begins with " QZNT400I" is left out.
 * Returns the total length written.
 */
int kelDbVsprint(KelCallContext *ctx, char *dest, struct sqlca *ca, int msgNo, va_list args);
int kelSetDbMessage(KelCallContext *ctx, char *dest, struct sqlca *ca, int msgNo, ...);
// The same with the database's text given as it stands (a call-level-interface diagnostic).
int kelSetDbTextMessage(KelCallContext *ctx, char *dest, const char *dbText, int msgNo, ...);

// Format into a buffer of their own and write the text to standard error; return its length.
int kelPrintMessage(KelCallContext *ctx, int msgNo, ...);
int kelPrintDbMessage(KelCallContext *ctx, struct sqlca *ca, int msgNo, ...);

/*
 * Sets *rc to the code of the first catalogue entry whose SQLSTATE equals sqlstate ("38X13"
 * gives -85; an empty or null state gives 0); an unknown state gives KEL_STATE_NOT_FOUND and a
 * trace line.  Returns *rc.
 */
int32_t kelStateToCode(KelCallContext *ctx, int32_t *rc, const char *sqlstate);

/*
 * Copies the SQLSTATE of catalogue entry msgNo into sqlstate (6 bytes) and returns the entry's
 * code: the usual companion of kelSetMessage.
 */
int32_t kelMessageState(int msgNo, char *sqlstate);

/*
 * The one way a failure is reported where it is first understood: formats catalogue entry
 * msgNo with its arguments into msg (a message buffer of the context's mode; null: no text),
 * copies the entry's own SQLSTATE into sqlstate (6 bytes; may be null) and returns the entry's
 * return code.  `return kelFail(ctx, msg, sqlstate, KELC001E);`
 */
int32_t kelFail(KelCallContext *ctx, char *msg, char *sqlstate, int msgNo, ...);

// The same where a rule names the SQLSTATE instead of the entry's row (a parser error is
// KELQ047E with "38X13").  state: five characters.
int32_t kelFailWithState(KelCallContext *ctx, char *msg, char *sqlstate, const char *state, int msgNo, ...);

/*
 * For helpers that leave the message for their caller to format: sets *msgNo (may be null) and
 * the entry's SQLSTATE, and returns -1, the failure of such helpers.
 */
int kelFailNumber(int *msgNo, char *sqlstate, int number);

// Sets a five-character SQLSTATE and its terminator into sqlstate (6 bytes) when not null.
// Inline: the extraction engines set states several times per document.
inline void kelSetState(char *sqlstate, const char *state) {
  if (sqlstate != nullptr && state != nullptr) {
    std::memcpy(sqlstate, state, 5);
    sqlstate[5] = '\0';
  }
}

#endif /* KEL_MSG_H */
