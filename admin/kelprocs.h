/*
 * kelprocs.h - the table of the stored-procedure entries that quarnxml exports: one row per
 * exported symbol with its parameter convention and its description (parameters and worker).
 * Constant data.
 */
#ifndef KEL_PROCS_H
#define KEL_PROCS_H

#include <span>

#include "kelframe.h"

enum class KelConvention { Dari, Sql };

struct KelProcEntry {
  const char *symbol;        // the exported entry name
  KelConvention convention;
  const KelProcSpec *procSpec;
};

// Every procedure entry of the library, in no particular order.
std::span<const KelProcEntry> kelProcedureEntries();

#endif /* KEL_PROCS_H */
