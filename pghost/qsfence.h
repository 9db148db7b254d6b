/*
 * qsfence.h - the one place where the call handler (C, under PostgreSQL's longjmp-based error
 * handling) calls into a routine (C++ inside): the entry is called with its pointer arguments,
 * and any C++ exception that leaves the routine is caught here and handed back as text.  So no
 * exception ever reaches a PostgreSQL frame, and no PostgreSQL error is ever raised while the
 * routine's frames are on the stack (the handler raises it after this call has returned).
 *
 * Also puts back the process locale (LC_CTYPE, LC_MESSAGES) when a routine changed it: the
 * backend's locale belongs to the database, and a routine's library may set it from the
 * environment when it first opens its message catalogue.  The names are copied once per handler
 * call (qsFenceSaveLocale), not once per routine call: after each call a routine that set a
 * category leaves a different name pointer behind (the C library copies every new name it
 * keeps), and only then are the names compared and the saved one set back.  A routine that sets a
 * category and back again within one call can leave a new name at the old name's address; the
 * full comparison of qsFenceRestoreLocale, at the end of every handler call and before the
 * handler raises an error, puts that back as well.
 *
 * Called by qscall.c only.  Not thread-safe (a backend runs one call at a time); a mark belongs
 * to one handler call, so nested calls (a routine's SQL calling a routine) each keep their own.
 */
#ifndef QS_FENCE_H
#define QS_FENCE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The most pointer arguments an entry may take. */
#define QS_FENCE_MAX_ARGS 200

/* One locale category as it was when the handler call began. */
typedef struct QsLocaleSaved {
  int category;
  const char *current; /* the C library's name pointer since the last check */
  char name[256];      /* the name to set back; empty: too long to keep, never set back */
} QsLocaleSaved;

/* The process locale of one handler call. */
typedef struct QsLocaleMark {
  QsLocaleSaved ctype, messages;
} QsLocaleMark;

/* Copies the names of LC_CTYPE and LC_MESSAGES into mark. */
void qsFenceSaveLocale(QsLocaleMark *mark);

/* Compares both categories with mark's names and sets back each one that differs. */
void qsFenceRestoreLocale(QsLocaleMark *mark);

/*
 * Calls fn with exactly nargs pointer arguments args[0..nargs-1].  Returns 0 when the routine
 * returned; 1 when an exception left it, with its description in fault (faultSize bytes,
 * terminated); -1 when nargs is out of range (nothing called).  Afterwards a category whose name
 * pointer moved since mark was saved or last checked is compared and set back.
 */
int qsFencedCall(QsLocaleMark *mark, void *fn, void *const *args, int nargs, char *fault, size_t faultSize);

#ifdef __cplusplus
}
#endif

#endif /* QS_FENCE_H */
