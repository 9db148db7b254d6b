/*
 * kelfuncs.cpp - the entry table of quarnxmlfn.  The user-defined functions join it, next to
 * their thin exported entries, as they are built.
 */
#include "kelctx.h"
