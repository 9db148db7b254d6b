/*
 * kelprocs.cpp - the entry table of quarnxml.  Each procedure adds its rows here as it is
 * built, next to its thin exported entries in the procedure's own unit.
 */
#include "kelprocs.h"

#include <iterator>

#include "kelenable.h"

namespace {

// The procedures of the library join this table as they are built.
const KelProcEntry kEntries[] = {
    {"kelEnableDB", KelConvention::Dari, &kelEnableDBSpec},
    {"kelDisableDB", KelConvention::Dari, &kelDisableDBSpec},
    {"kelDisableDB_STP", KelConvention::Sql, &kelDisableDBSpec},
};

}  // namespace

std::span<const KelProcEntry> kelProcedureEntries() {
  return std::span<const KelProcEntry>(kEntries, std::size(kEntries));
}
