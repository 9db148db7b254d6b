/*
 * qsfence.h - the one place where the call handler (C, under PostgreSQL's longjmp-based error
 * handling) calls into a routine (C++ inside): the entry is called with its pointer arguments,
 * and any C++ exception that leaves the routine is caught here and handed back as text.  So no
 * exception ever reaches a PostgreSQL frame, and no PostgreSQL error is ever raised while the
 * routine's frames are on the stack (the handler raises it after this call has returned).
 *
 * Also puts back the process locale (LC_CTYPE, LC_MESSAGES) when a routine changed it: the
 * backend's locale belongs to the database, and a routine's library may set it from the
 * environment when it first opens its message catalogue.
 *
 * Called by qscall.c only.  Not thread-safe (a backend runs one call at a time).
 */
#ifndef QS_FENCE_H
#define QS_FENCE_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The most pointer arguments an entry may take. */
#define QS_FENCE_MAX_ARGS 200

/*
 * Calls fn with exactly nargs pointer arguments args[0..nargs-1].  Returns 0 when the routine
 * returned; 1 when an exception left it, with its description in fault (faultSize bytes,
 * terminated); -1 when nargs is out of range (nothing called).
 */
int qsFencedCall(void *fn, void *const *args, int nargs, char *fault, size_t faultSize);

#ifdef __cplusplus
}
#endif

#endif /* QS_FENCE_H */
