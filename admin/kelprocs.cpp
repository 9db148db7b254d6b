/*
 * kelprocs.cpp - the entry table of quarnxml.  Each procedure adds its rows here as it is
 * built, next to its thin exported entries in the procedure's own unit.
 */
#include "kelprocs.h"

#include <iterator>

#include "kelcomp.h"
#include "kelenable.h"

namespace {

// The procedures of the library join this table as they are built.
const KelProcEntry kEntries[] = {
    {"kelEnableDB", KelConvention::Dari, &kelEnableDBSpec},
    {"kelDisableDB", KelConvention::Dari, &kelDisableDBSpec},
    {"kelDisableDB_STP", KelConvention::Sql, &kelDisableDBSpec},
    {"kelGenXML", KelConvention::Dari, &kelGenXMLSpec},
    {"kelGenXML1_STP", KelConvention::Sql, &kelGenXMLSpec},
    {"kelGenXML2", KelConvention::Dari, &kelGenXML2Spec},
    {"kelGenXML_STP", KelConvention::Sql, &kelGenXML2Spec},
    {"kelGenXMLClob", KelConvention::Dari, &kelGenXMLClobSpec},
    {"kelGenXMLClob_STP", KelConvention::Sql, &kelGenXMLClobSpec},
    {"kelRetrieveXML", KelConvention::Dari, &kelRetrieveXMLSpec},
    {"kelRetrieveXML1_STP", KelConvention::Sql, &kelRetrieveXMLSpec},
    {"kelRetrieveXML2", KelConvention::Dari, &kelRetrieveXML2Spec},
    {"kelRetrieveXML_STP", KelConvention::Sql, &kelRetrieveXML2Spec},
    {"kelRetrieveXMLClob", KelConvention::Dari, &kelRetrieveXMLClobSpec},
    {"kelRetrieveXMLClob_STP", KelConvention::Sql, &kelRetrieveXMLClobSpec},
};

}  // namespace

std::span<const KelProcEntry> kelProcedureEntries() {
  return std::span<const KelProcEntry>(kEntries, std::size(kEntries));
}
