/*
 * kelprocs.cpp - the entry table of quarnxml.  Each procedure adds its rows here as it is
 * built, next to its thin exported entries in the procedure's own unit.
 */
#include "kelprocs.h"

#include <iterator>

#include "kelcol.h"
#include "kelcoll.h"
#include "kelcomp.h"
#include "kelenable.h"
#include "kelshred.h"
#include "kelverify.h"

namespace {

// The procedures of the library join this table as they are built.
const KelProcEntry kEntries[] = {
    {"kelEnableDB", KelConvention::Dari, &kelEnableDBSpec},
    {"kelDisableDB", KelConvention::Dari, &kelDisableDBSpec},
    {"kelDisableDB_STP", KelConvention::Sql, &kelDisableDBSpec},
    {"kelEnableColumn", KelConvention::Dari, &kelEnableColumnSpec},
    {"kelEnableColumn_STP", KelConvention::Sql, &kelEnableColumnStpSpec},
    {"kelEnableColumn0_STP", KelConvention::Sql, &kelEnableColumn0StpSpec},
    {"kelDisableColumn", KelConvention::Dari, &kelDisableColumnSpec},
    {"kelDisableColumn_STP", KelConvention::Sql, &kelDisableColumnStpSpec},
    {"kelDisableColumn0_STP", KelConvention::Sql, &kelDisableColumn0StpSpec},
    {"kelSoftDisableColumn", KelConvention::Dari, &kelSoftDisableColumnSpec},
    {"kelSoftDisableColumn_STP", KelConvention::Sql, &kelSoftDisableColumnStpSpec},
    {"kelReEnableColumn", KelConvention::Dari, &kelReEnableColumnSpec},
    {"kelReEnableColumn_STP", KelConvention::Sql, &kelReEnableColumnStpSpec},
    {"kelEnableColl", KelConvention::Dari, &kelEnableCollSpec},
    {"kelEnableColl_STP", KelConvention::Sql, &kelEnableCollSpec},
    {"kelDisableColl", KelConvention::Dari, &kelDisableCollSpec},
    {"kelDisableColl_STP", KelConvention::Sql, &kelDisableCollSpec},
    {"kelShredXML", KelConvention::Dari, &kelShredXMLSpec},
    {"kelShredXML_STP", KelConvention::Sql, &kelShredXMLSpec},
    {"kelInsertXML", KelConvention::Dari, &kelInsertXMLSpec},
    {"kelInsertXML_STP", KelConvention::Sql, &kelInsertXMLSpec},
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
    {"kelVerifyColumn", KelConvention::Dari, &kelVerifyColumnSpec},
    {"kelVerifyColumn_STP", KelConvention::Sql, &kelVerifyColumnStpSpec},
};

}  // namespace

std::span<const KelProcEntry> kelProcedureEntries() {
  return std::span<const KelProcEntry>(kEntries, std::size(kEntries));
}
