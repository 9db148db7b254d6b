/*
 * kelinterr.h - internal errors that carry their place.  Every source file that reports one
 * defines its unit name once (constexpr const char kUnit[] = "kelutil";) and uses
 * KEL_INTERNAL_ERROR, which expands to the one function below: one place for a breakpoint.
 */
#ifndef KEL_INTERR_H
#define KEL_INTERR_H

struct KelCallContext;

/*
 * Formats KELG001E with the build stamp, unit and line into msg (a message buffer of the
 * context's mode), sets sqlstate (6 bytes, may be null) to "38X18" and returns -57.
 */
int kelInternalError(KelCallContext *ctx, char *msg, char *sqlstate, const char *unit, int line);

// The build stamp internal-error messages name.
const char *kelBuildStamp();

#define KEL_INTERNAL_ERROR(ctx, msg, sqlstate) kelInternalError((ctx), (msg), (sqlstate), kUnit, __LINE__)

#endif /* KEL_INTERR_H */
