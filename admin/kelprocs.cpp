/*
 * kelprocs.cpp - the entry table of quarnxml.  Each procedure adds its rows here as it is
 * built, next to its thin exported entries in the procedure's own unit.
 */
#include "kelprocs.h"

namespace {

// The procedures of the library join this table as they are built.
constexpr KelProcEntry kEntries[] = {
    {nullptr, KelConvention::Dari, nullptr},
};

}  // namespace

std::span<const KelProcEntry> kelProcedureEntries() {
  return std::span<const KelProcEntry>(kEntries, 0);
}
