/*
 * kelregister.cpp - the type and function registrations of database enablement.
 */
#include "kelregister.h"

namespace {

constexpr const char kScalarClauses[] =
    " language C parameter style QUARNSQL scratchpad final call not variant not fenced no SQL"
    " no external action allow parallel DBINFO";
constexpr const char kTableClauses[] =
    " language C parameter style QUARNSQL not variant disallow parallel not fenced no SQL"
    " no external action scratchpad final call DBINFO";

// The three document sources of the extraction functions, as first parameter and entry suffix.
struct Source {
  const char *param;
  const char *suffix;
};
constexpr Source kSources[] = {
    {"quarnxml.XMLFile", ""},
    {"quarnxml.XMLCLOB as locator", "FromClob"},
    {"quarnxml.XMLVarchar", "FromVarchar"},
};

// A result type of the extraction functions.
struct ExtractType {
  const char *name;        // in function and entry names: Varchar, Char, ...
  const char *scalarType;  // the scalar function's result
  const char *column;      // the table function's column
  const char *columnType;
};
constexpr ExtractType kTypes[] = {
    {"Varchar", "varchar(4000)", "returnedVarchar", "varchar(4000)"},
    {"Char", "char(254)", "returnedChar", "char(254)"},
    {"Clob", "clob(2G) as locator", "returnedClob", "clob(1G) as locator"},
    {"Date", "date", "returnedDate", "date"},
    {"Double", "double", "returnedDouble", "double"},
    {"Real", "real", "returnedReal", "real"},
    {"Integer", "integer", "returnedInteger", "integer"},
    {"Smallint", "smallint", "returnedSmallint", "smallint"},
    {"Time", "time", "returnedTime", "time"},
    {"Timestamp", "timestamp", "returnedTimestamp", "timestamp"},
};

struct Storage {
  const char *name;
  const char *params;
  const char *returns;
  const char *specific;
  const char *entry;
};
constexpr Storage kStorage[] = {
    {"XMLVarcharFromFile", "varchar(512)", "quarnxml.XMLVarchar", "kelVarChar", "kelVarChar"},
    {"XMLVarcharFromFile", "varchar(512), varchar(100)", "quarnxml.XMLVarchar", "kelXMLVarcharFile2", "kelXMLVarcharFromFile2"},
    {"XMLCLOBFromFile", "varchar(512)", "quarnxml.XMLCLOB as locator", "kelCLOB", "kelCLOB"},
    {"XMLCLOBFromFile", "varchar(512), varchar(100)", "quarnxml.XMLCLOB as locator", "kelXMLCLOBFile2", "kelXMLCLOBFromFile2"},
    {"XMLFileFromVarchar", "varchar(32672), varchar(512)", "quarnxml.XMLFile", "kelContentvar2file", "kelContent_varchar2file"},
    {"XMLFileFromVarchar", "varchar(32672), varchar(512), varchar(100)", "quarnxml.XMLFile", "kelXMLFileVarchar2", "kelXMLFileFromVarchar2"},
    {"XMLFileFromCLOB", "clob(2G) as locator, varchar(512)", "quarnxml.XMLFile", "kelFile", "kelFile"},
    {"XMLFileFromCLOB", "clob(2G) as locator, varchar(512), varchar(100)", "quarnxml.XMLFile", "kelXMLFileCLOB2", "kelXMLFileFromClob2"},
    {"Content", "quarnxml.XMLVarchar, varchar(512)", "varchar(512)", "quarnxmlcontentvf", "kelContent_varchar2file"},
    {"Content", "quarnxml.XMLVarchar, varchar(512), varchar(100)", "varchar(512)", "quarnxmlcontentvf2", "kelXMLFileFromVarchar2"},
    {"Content", "quarnxml.XMLCLOB as locator, varchar(512)", "varchar(512)", "quarnxmlcontentcf", "kelFile"},
    {"Content", "quarnxml.XMLCLOB as locator, varchar(512), varchar(100)", "varchar(512)", "quarnxmlcontentcf2", "kelXMLFileFromClob2"},
    {"Content", "quarnxml.XMLFile", "quarnxml.XMLCLOB as locator", "quarnxmlcontentfc", "kelCLOB"},
};

std::string function(const std::string &name, const std::string &params, const std::string &returns,
                     const char *specific, const std::string &entry, const char *clauses) {
  std::string s = "create function quarnxml." + name + "(" + params + ") returns " + returns;
  if (specific != nullptr) s += std::string(" specific ") + specific;
  s += " external name 'quarnxmlfn!" + entry + "'";
  s += clauses;
  return s;
}

// Scalar (table false) or table extraction functions over the three sources; dtd adds the DTD
// parameter and the "2" entries.
void addExtraction(std::vector<KelNumberedStatement> &out, int *number, const ExtractType &t, bool table,
                   bool dtd, const char *sqlName) {
  for (const Source &src : kSources) {
    std::string params = std::string(src.param) + (dtd ? ", quarnxml.XMLCLOB as locator" : "") + ", varchar(256)";
    std::string entry = std::string("kelExtract") + t.name + (table ? "s" : "") + src.suffix + (dtd ? "2" : "");
    std::string returns = table ? std::string("table(") + t.column + " " + t.columnType + ")" : t.scalarType;
    out.push_back({(*number)++, function(sqlName, params, returns, nullptr, entry, table ? kTableClauses : kScalarClauses)});
  }
}

const ExtractType &typeNamed(const char *name) {
  for (const ExtractType &t : kTypes)
    if (std::string(t.name) == name) return t;
  return kTypes[0];
}

std::vector<KelNumberedStatement> build() {
  std::vector<KelNumberedStatement> out;
  out.push_back({0, "SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN"});
  out.push_back({1, "create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons"});
  out.push_back({2, "create distinct type quarnxml.XMLCLOB as clob(2G)"});
  out.push_back({3, "create distinct type quarnxml.XMLFile as varchar(512) with comparisons"});
  int n = 4;
  for (const Storage &s : kStorage) out.push_back({n++, function(s.name, s.params, s.returns, s.specific, s.entry, kScalarClauses)});
  for (const ExtractType &t : kTypes) addExtraction(out, &n, t, false, false, (std::string("extract") + t.name).c_str());
  for (const ExtractType &t : kTypes) addExtraction(out, &n, t, true, false, (std::string("extract") + t.name + "s").c_str());

  // 77 to 89 (the catalogue tables, their grants and triggers) come from the catalogue tables.
  n = 90;
  const char *updateSources[][3] = {{"quarnxml.XMLVarchar", "UpdateXMLVarchar", "kelUpdateXMLVarchar"},
                                    {"quarnxml.XMLCLOB as locator", "UpdateXMLClob", "kelUpdateXMLClob"},
                                    {"quarnxml.XMLFile", "UpdateXMLFile", "kelUpdateXMLFile"}};
  for (auto &u : updateSources)
    out.push_back({n++, function("update", std::string(u[0]) + ", varchar(256), varchar(256)", u[0], u[1], u[2], kScalarClauses)});
  const char *validateSources[][3] = {{"quarnxml.XMLFile", "ValidateFile", "kelValidateFile"},
                                      {"quarnxml.XMLVarchar", "ValidateVarchar", "kelValidateVarchar"},
                                      {"quarnxml.XMLCLOB as locator", "ValidateClob", "kelValidateClob"}};
  for (auto &v : validateSources)
    out.push_back({n++, function("validate", std::string(v[0]) + ", varchar(512), varchar(128)", "integer", v[1], v[2], kScalarClauses)});
  out.push_back({n++, "create function quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR) returns varchar(32672)"
                      " source quarnxml.varchar(quarnxml.XMLVARCHAR)"});
  out.push_back({n++, "create function quarnxml.seqno() returns integer specific seqno external name 'quarnxmlfn!kelSeqno'"
                      " not deterministic no external action language C not fenced parameter style QUARNSQL no SQL"
                      " scratchpad allow parallel DBINFO"});
  const char *withDtd[][3] = {{"Varchar", "extractVarcharWDTD", "extractVarcharsDTD"},
                              {"Clob", "extractClobWDTD", "extractClobsWDTD"},
                              {"Double", "extractDoubleWDTD", "extractDoublesWDTD"},
                              {"Real", "extractRealWDTD", "extractRealsWDTD"}};
  for (auto &d : withDtd) addExtraction(out, &n, typeNamed(d[0]), false, true, d[1]);
  for (auto &d : withDtd) addExtraction(out, &n, typeNamed(d[0]), true, true, d[2]);
  const char *validate2[][3] = {{"quarnxml.XMLFile", "ValidateFile2", "kelValidateFile2"},
                                {"quarnxml.XMLVarchar", "ValidateVarchar2", "kelValidateVarchar2"},
                                {"quarnxml.XMLCLOB as locator", "ValidateClob2", "kelValidateClob2"}};
  for (auto &v : validate2)
    out.push_back({n++, function("validate", std::string(v[0]) + ", quarnxml.XMLCLOB as locator, varchar(128)",
                                 "integer", v[1], v[2], kScalarClauses)});
  return out;
}

}  // namespace

const std::vector<KelNumberedStatement> &kelFunctionRegistrations() {
  static const std::vector<KelNumberedStatement> statements = build();
  return statements;
}
