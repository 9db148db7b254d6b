/*
 * kelcattab.cpp - statement texts of the catalogue tables DTD_REF and XML_USAGE, and the
 * enabled test.
 */
#include "kelcattab.h"

#include <strings.h>

#include <iterator>

#include "kelcatalog.h"
#include "kelsql.h"

namespace {

// DTD_REF: a row is inserted with usage count 0; enabling a column or collection adds exactly
// 1, disabling subtracts exactly 1; a DTD in use can neither change nor be deleted.
// XML_USAGE: its DTDID must name a stored DTD.
constexpr KelCatTabStmt kCreate[] = {
    {KEL_CATTAB_CREATE_TABLE, KEL_CATTAB_DTD_REF,
     "create table quarnxml.dtd_ref (dtdid varchar(128) not null, "
     "content quarnxml.xmlclob not null not logged, usage_count int not null, "
     "author varchar(128), creator varchar(128), updator varchar(128), "
     "constraint dtd_ref_pk primary key (dtdid))"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_DTD_REF, "grant select on table quarnxml.dtd_ref to public"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_DTD_REF, "grant insert on table quarnxml.dtd_ref to public"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_DTD_REF, "grant delete on table quarnxml.dtd_ref to public"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_DTD_REF, "grant update on table quarnxml.dtd_ref to public"},
    {KEL_CATTAB_CREATE_TABLE, KEL_CATTAB_XML_USAGE,
     "create table quarnxml.xml_usage (table_schema char(31) not null, "
     "table_name char(129) not null, col_name char(31) not null, dtdid varchar(128), "
     "dad clob(100k), access_mode int not null, validation int not null, "
     "default_view char(128), trigger_suffix char(8) not null, "
     "version decimal(3,2) not null default 0, root_id varchar(128), "
     "side_tab_qual varchar(128), "
     "constraint xml_col_pk primary key (table_schema, table_name, col_name), "
     "constraint xml_col_fk foreign key (dtdid) references quarnxml.dtd_ref (dtdid))"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_XML_USAGE, "grant select on table quarnxml.xml_usage to public"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_XML_USAGE,
     "grant insert on table quarnxml.xml_usage to user quarnxml"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_XML_USAGE,
     "grant delete on table quarnxml.xml_usage to user quarnxml"},
    {KEL_CATTAB_GRANT, KEL_CATTAB_XML_USAGE,
     "grant update on table quarnxml.xml_usage to user quarnxml"},
    {KEL_CATTAB_CREATE_TRIGGER, KEL_CATTAB_DTD_REF,
     "create trigger quarnxml.dtdref_delete no cascade before delete on quarnxml.dtd_ref "
     "referencing old as o for each row mode quarnsql "
     "when (o.usage_count > 0) "
     "signal sqlstate '70010' ('This DTD is used by others.')"},
    {KEL_CATTAB_CREATE_TRIGGER, KEL_CATTAB_DTD_REF,
     "create trigger quarnxml.dtdref_update no cascade before update on quarnxml.dtd_ref "
     "referencing new as n old as o for each row mode quarnsql "
     "when ((n.usage_count <> o.usage_count + 1 and n.usage_count <> o.usage_count - 1 "
     "and n.usage_count <> o.usage_count) "
     "or (n.usage_count = o.usage_count and o.usage_count > 0)) "
     "signal sqlstate '70010' ('Illegal update on DTD or its usage count.')"},
    {KEL_CATTAB_CREATE_TRIGGER, KEL_CATTAB_DTD_REF,
     "create trigger quarnxml.dtdref_insert no cascade before insert on quarnxml.dtd_ref "
     "referencing new as n for each row mode quarnsql "
     "when (n.usage_count <> 0) "
     "signal sqlstate '70010' ('The usage_count must be 0 when inserted.')"},
};

constexpr KelCatTabStmt kDrop[] = {
    {KEL_CATTAB_DROP, KEL_CATTAB_DTD_REF, "drop trigger quarnxml.dtdref_delete"},
    {KEL_CATTAB_DROP, KEL_CATTAB_DTD_REF, "drop trigger quarnxml.dtdref_update"},
    {KEL_CATTAB_DROP, KEL_CATTAB_DTD_REF, "drop trigger quarnxml.dtdref_insert"},
    {KEL_CATTAB_DROP, KEL_CATTAB_DTD_REF, "drop table quarnxml.dtd_ref"},
    {KEL_CATTAB_DROP, KEL_CATTAB_XML_USAGE, "drop table quarnxml.xml_usage"},
};

static_assert(std::size(kCreate) == 13, "enablement runs 13 catalogue-table statements");

}  // namespace

const KelCatTabStmt *kelCatTabCreateStatements(int *count) {
  *count = static_cast<int>(std::size(kCreate));
  return kCreate;
}

const KelCatTabStmt *kelCatTabDropStatements(int *count) {
  *count = static_cast<int>(std::size(kDrop));
  return kDrop;
}

int kelIsDatabaseEnabled(KelCallContext *ctx, int *enabled, char *msg) {
  return kelTableExists(ctx, "QUARNXML", "XML_USAGE", enabled, msg);
}

bool kelIsReservedSchema(const char *schema) {
  return strcasecmp(schema, "QUARNXML") == 0 || strncasecmp(schema, "SYS", 3) == 0;
}
