/*
 * kelregister.cpp - the type, function and procedure registrations of database enablement,
 * each with the statement that removes it.
 */
#include "kelregister.h"

#include <cstring>
#include <initializer_list>
#include <iterator>

#include "kelfunctab.h"

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
#define KEL_SOURCE_ROW(src, suffix, param, ...) {param, #suffix},
constexpr Source kSources[] = {KEL_EXTRACT_SOURCES(KEL_SOURCE_ROW, )};
#undef KEL_SOURCE_ROW

// A result type of the extraction functions.
struct ExtractType {
  const char *name;        // in function and entry names: Varchar, Char, ...
  const char *scalarType;  // the scalar function's result
  const char *column;      // the table function's column
  const char *columnType;
};
#define KEL_TYPE_ROW(name, ctype, scalarType, column, columnType) {#name, scalarType, column, columnType},
constexpr ExtractType kTypes[] = {KEL_EXTRACT_TYPES(KEL_TYPE_ROW)};
#undef KEL_TYPE_ROW

// The with-DTD result types and their SQL names.
struct DtdType {
  const char *name;
  const char *scalarSqlName;
  const char *tableSqlName;
};
#define KEL_DTD_ROW(name, ctype, scalarName, tableName) {#name, scalarName, tableName},
constexpr DtdType kDtdTypes[] = {KEL_EXTRACT_DTD_TYPES(KEL_DTD_ROW)};
#undef KEL_DTD_ROW

struct Storage {
  const char *name;
  const char *params;
  const char *returns;
  const char *specific;
  const char *entry;
};
#define KEL_STORAGE_ROW(name, params, returns, specific, entry) {name, params, returns, specific, entry},
constexpr Storage kStorage[] = {KEL_STORAGE_FUNCTIONS(KEL_STORAGE_ROW)};
#undef KEL_STORAGE_ROW

// The update functions, and the validate and validateschema functions: the document's type,
// the result (update only), the specific name and the entry.
struct Update {
  const char *param;
  const char *returns;
  const char *specific;
  const char *entry;
};
#define KEL_UPDATE_ROW(src, param, returns, specific, entry) {param, returns, specific, #entry},
constexpr Update kUpdates[] = {KEL_UPDATE_FUNCTIONS(KEL_UPDATE_ROW)};
#undef KEL_UPDATE_ROW

struct Validate {
  const char *param;
  const char *specific;
  const char *entry;
};
#define KEL_VALIDATE_ROW(src, param, specific, entry) {param, specific, #entry},
constexpr Validate kValidates[] = {KEL_VALIDATE_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kValidatesWithDtd[] = {KEL_VALIDATE_DTD_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kValidateSchemas[] = {KEL_VALIDATESCHEMA_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kExplains[] = {KEL_EXPLAIN_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kReports[] = {KEL_VALIDATE_REPORT_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kReportsWithDtd[] = {KEL_VALIDATE_REPORT_DTD_FUNCTIONS(KEL_VALIDATE_ROW)};
constexpr Validate kReportSchemas[] = {KEL_VALIDATE_REPORT_SCHEMA_FUNCTIONS(KEL_VALIDATE_ROW)};
#undef KEL_VALIDATE_ROW

// The signature of a function designator: the parameter types without "as locator".
std::string signature(std::string params) {
  const std::string locator = " as locator";
  for (size_t at; (at = params.find(locator)) != std::string::npos;) params.erase(at, locator.size());
  return params;
}

// A function registration and its removal: by specific name when it has one, else by name and
// signature.
KelNumberedStatement function(int number, const std::string &name, const std::string &params,
                              const std::string &returns, const char *specific,
                              const std::string &entry, const char *clauses,
                              KelRegGroup group = KEL_REG_APPENDED) {
  std::string s = "create function quarnxml." + name + "(" + params + ") returns " + returns;
  if (specific != nullptr) s += std::string(" specific ") + specific;
  s += " external name 'quarnxmlfn!" + entry + "'";
  s += clauses;
  std::string drop = specific != nullptr
                         ? std::string("drop specific function quarnxml.") + specific
                         : "drop function quarnxml." + name + "(" + signature(params) + ")";
  return {number, s, drop, group, name, specific != nullptr ? specific : ""};
}

// Scalar (table false) or table extraction functions over the three sources; dtd adds the DTD
// parameter and the "2" entries.
void addExtraction(std::vector<KelNumberedStatement> &out, int *number, const ExtractType &t, bool table,
                   bool dtd, const std::string &sqlName) {
  for (const Source &src : kSources) {
    std::string params = std::string(src.param) + (dtd ? ", quarnxml.XMLCLOB as locator" : "") + ", varchar(256)";
    std::string entry = std::string("kelExtract") + t.name + (table ? "s" : "") + src.suffix + (dtd ? "2" : "");
    std::string returns = table ? std::string("table(") + t.column + " " + t.columnType + ")" : t.scalarType;
    out.push_back(function((*number)++, sqlName, params, returns, nullptr, entry, table ? kTableClauses : kScalarClauses,
                           dtd ? KEL_REG_DTD_EXTRACT : KEL_REG_EXTRACT));
  }
}

const ExtractType &typeNamed(const char *name) {
  for (const ExtractType &t : kTypes)
    if (std::string(t.name) == name) return t;
  return kTypes[0];
}

// The result of the XMLVarchar functions: the current level casts it from varchar(32672), the
// previous level returned XMLVarchar itself.
std::string xmlVarcharResult(const std::string &current, bool old) {
  return old && current.find(" cast from ") != std::string::npos ? current.substr(0, current.find(" cast from "))
                                                                  : current;
}

KelNumberedStatement varcharToVarchar(int number, bool old) {
  std::string result = old ? "varchar(3000)" : "varchar(32672)";
  return {number,
          "create function quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR) returns " + result +
              " source quarnxml.varchar(quarnxml.XMLVARCHAR)",
          "drop function quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR)", KEL_REG_CAST, "VARCHARTOVARCHAR", ""};
}

std::vector<KelNumberedStatement> build() {
  std::vector<KelNumberedStatement> out;
  // XMLVarchar and XMLCLOB may have been in the database before enablement; disabling drops
  // them only when they are the ones enablement made (kelDropSchema).
  out.push_back({0, "SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN", "", KEL_REG_SETUP, "", ""});
  out.push_back({1, "create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons", "", KEL_REG_TYPE,
                 "XMLVarchar", ""});
  out.push_back({2, "create distinct type quarnxml.XMLCLOB as clob(2G)", "", KEL_REG_TYPE, "XMLCLOB", ""});
  out.push_back({3, "create distinct type quarnxml.XMLFile as varchar(512) with comparisons",
                 "drop distinct type quarnxml.XMLFile", KEL_REG_TYPE, "XMLFile", ""});
  int n = 4;
  for (const Storage &s : kStorage)
    out.push_back(function(n++, s.name, s.params, s.returns, s.specific, s.entry, kScalarClauses, KEL_REG_STORAGE));
  for (const ExtractType &t : kTypes) addExtraction(out, &n, t, false, false, std::string("extract") + t.name);
  for (const ExtractType &t : kTypes) addExtraction(out, &n, t, true, false, std::string("extract") + t.name + "s");

  // 77 to 89 (the catalogue tables, their grants and triggers) come from the catalogue tables.
  n = 90;
  for (const Update &u : kUpdates)
    out.push_back(function(n++, "update", std::string(u.param) + ", varchar(256), varchar(256)", u.returns, u.specific,
                           u.entry, kScalarClauses, KEL_REG_UPDATE));
  for (const Validate &v : kValidates)
    out.push_back(function(n++, "validate", std::string(v.param) + ", varchar(512), varchar(128)", "integer", v.specific,
                           v.entry, kScalarClauses, KEL_REG_VALIDATE));
  out.push_back(varcharToVarchar(n++, false));
  out.push_back({n++, "create function quarnxml.seqno() returns integer specific seqno external name 'quarnxmlfn!kelSeqno'"
                      " not deterministic no external action language C not fenced parameter style QUARNSQL no SQL"
                      " scratchpad allow parallel DBINFO",
                 "drop specific function quarnxml.seqno", KEL_REG_SEQNO, "seqno", "seqno"});
  for (const DtdType &d : kDtdTypes) addExtraction(out, &n, typeNamed(d.name), false, true, d.scalarSqlName);
  for (const DtdType &d : kDtdTypes) addExtraction(out, &n, typeNamed(d.name), true, true, d.tableSqlName);
  for (const Validate &v : kValidatesWithDtd)
    out.push_back(function(n++, "validate", std::string(v.param) + ", quarnxml.XMLCLOB as locator, varchar(128)",
                           "integer", v.specific, v.entry, kScalarClauses, KEL_REG_DTD_VALIDATE));
  // 125 to 139 are the procedures; validateschema follows them, so that the numbers and texts
  // before it stay as earlier levels wrote them.
  n = 140;
  for (const Validate &v : kValidateSchemas)
    out.push_back(function(n++, "validateschema", std::string(v.param) + ", varchar(1000)", "integer", v.specific,
                           v.entry, kScalarClauses));
  // The path diagnostics are appended after them.
  for (const Validate &e : kExplains)
    out.push_back(function(n++, "explainPath", std::string(e.param) + ", varchar(256)",
                           std::string("table(") + KEL_EXPLAIN_COLUMNS + ")", e.specific, e.entry, kTableClauses));
  // 146 to 154: the validation report table functions, appended so that every number before
  // them keeps its statement.
  for (const Validate &v : kReports)
    out.push_back(function(n++, "validateReport", std::string(v.param) + ", varchar(512)", KEL_VALIDATE_REPORT_COLUMNS,
                           v.specific, v.entry, kTableClauses));
  for (const Validate &v : kReportsWithDtd)
    out.push_back(function(n++, "validateReport", std::string(v.param) + ", quarnxml.XMLCLOB as locator",
                           KEL_VALIDATE_REPORT_COLUMNS, v.specific, v.entry, kTableClauses));
  for (const Validate &v : kReportSchemas)
    out.push_back(function(n++, "validateReportSchema", std::string(v.param) + ", varchar(1000)",
                           KEL_VALIDATE_REPORT_COLUMNS, v.specific, v.entry, kTableClauses));
  return out;
}

// ---- Stored procedures (125 to 139, then 155 on) --------------------------------------------

constexpr const char kProcClauses[] =
    " language C parameter style QUARNDARI not deterministic fenced null call";

struct ProcParam {
  const char *mode;  // in or out
  const char *name;
  const char *type;
};

// Parameter lists of the composition procedures; the retrieve procedures take collectionName
// in place of dadBuf.
constexpr ProcParam kListA[] = {{"in", "dadBuf", "clob(100K)"},        {"in", "resultTable", "varchar(128)"},
                                {"in", "overrideType", "integer"},     {"in", "override", "varchar(32672)"},
                                {"in", "maxRows", "integer"},          {"out", "numRows", "integer"}};
constexpr ProcParam kListB[] = {{"in", "dadBuf", "clob(100K)"},        {"in", "resultTable", "varchar(128)"},
                                {"in", "resultColumn", "varchar(128)"}, {"in", "validColumn", "varchar(128)"},
                                {"in", "overrideType", "integer"},     {"in", "override", "varchar(32672)"},
                                {"in", "maxRows", "integer"},          {"out", "numRows", "integer"}};
constexpr ProcParam kListC[] = {{"in", "dadBuf", "clob(100K)"},     {"in", "overrideType", "integer"},
                                {"in", "override", "varchar(32672)"}, {"out", "resultDoc", "clob(1M)"},
                                {"out", "valid", "integer"},         {"out", "numDocs", "integer"}};
constexpr ProcParam kCollection = {"in", "collectionName", "varchar(128)"};
constexpr ProcParam kDbName = {"in", "dbName", "varchar(18)"};
constexpr ProcParam kTable = {"in", "tableName", "varchar(128)"};
constexpr ProcParam kColumn = {"in", "columnName", "varchar(128)"};
constexpr ProcParam kDad = {"in", "dadBuf", "clob(100K)"};
constexpr ProcParam kTableSpace = {"in", "tableSpace", "varchar(128)"};

struct Procedure {
  const char *name;
  std::vector<ProcParam> params;  // returnCode and returnMsg follow
  const char *specific;           // qualified specific name, or null
  const char *entry;
  bool dropBySignature;           // removed by name and signature instead of by name alone
};

std::vector<ProcParam> withCollection(std::initializer_list<ProcParam> list) {
  std::vector<ProcParam> out(list);
  out[0] = kCollection;
  return out;
}

std::vector<Procedure> procedures() {
  return {
      {"kelEnableColumn",
       {kDbName, kTable, kColumn, kDad, kTableSpace, {"in", "defaultView", "varchar(128)"}, {"in", "rootID", "varchar(128)"}},
       nullptr, "kelEnableColumn", false},
      {"kelDisableColumn", {kDbName, kTable, kColumn}, nullptr, "kelDisableColumn", false},
      {"kelEnableCollection", {kDbName, kCollection, kDad, kTableSpace}, nullptr, "kelEnableColl", false},
      {"kelDisableCollection", {kDbName, kCollection}, nullptr, "kelDisableColl", false},
      {"kelDisableDB", {kDbName}, nullptr, "kelDisableDB", false},
      {"kelGenXML", {std::begin(kListA), std::end(kListA)}, "quarnxml.KELGENXML1", "kelGenXML", false},
      {"kelGenXML", {std::begin(kListB), std::end(kListB)}, "quarnxml.KELGENXML2", "kelGenXML2", false},
      {"kelGenXMLClob", {std::begin(kListC), std::end(kListC)}, "quarnxml.KELGENXMLCLOB", "kelGenXMLClob", false},
      {"kelRetrieveXMLClob",
       withCollection({kListC[0], kListC[1], kListC[2], kListC[3], kListC[4], kListC[5]}),
       "quarnxml.KELRETRIEVEXMLCLOB", "kelRetrieveXMLClob", false},
      {"kelShredXML", {kDad, {"in", "XMLObj", "clob(1M)"}}, nullptr, "kelShredXML", true},
      {"kelShredXML50MB", {kDad, {"in", "XMLObj", "clob(50M)"}}, nullptr, "kelShredXML", true},
      {"kelRetrieveXML", withCollection({kListA[0], kListA[1], kListA[2], kListA[3], kListA[4], kListA[5]}),
       "quarnxml.KELRETRIEVEXML1", "kelRetrieveXML", false},
      {"kelRetrieveXML",
       withCollection({kListB[0], kListB[1], kListB[2], kListB[3], kListB[4], kListB[5], kListB[6], kListB[7]}),
       "quarnxml.KELRETRIEVEXML2", "kelRetrieveXML2", false},
      {"kelInsertXML", {kCollection, {"in", "XMLObj", "clob(1M)"}}, nullptr, "kelInsertXML", false},
      {"kelInsertXML50MB", {kCollection, {"in", "XMLObj", "clob(50M)"}}, nullptr, "kelInsertXML", false},
      // Appended rows: numbered from KEL_FIRST_APPENDED_PROCEDURE on.
      {"kelVerifyColumn",
       {{"in", "tableName", "varchar(159)"},
        {"in", "columnName", "varchar(30)"},
        {"in", "repair", "integer"},
        {"out", "missingRoots", "integer"},
        {"out", "extraRows", "integer"},
        {"out", "differentRoots", "integer"}},
       nullptr, "kelVerifyColumn", false},
  };
}

// The last number of the fifteen procedures of the base level; procedures appended after them
// are registered by the migration command's last step.
constexpr int kLastBaseProcedure = 139;

// The procedures; a parameter named like parameter gets the type oldType (an earlier level's
// signature) when oldType is not null.
std::vector<KelNumberedStatement> buildProcedures(const char *parameter = nullptr, const char *oldType = nullptr) {
  std::vector<KelNumberedStatement> out;
  int n = 125;
  for (const Procedure &p : procedures()) {
    // 140 to 154 are functions: the procedures appended after the first fifteen follow them.
    if (n == 140) n = KEL_FIRST_APPENDED_PROCEDURE;
    std::string params, sig;
    for (const ProcParam &a : p.params) {
      const char *type = parameter != nullptr && std::string(a.name) == parameter ? oldType : a.type;
      params += std::string(a.mode) + " " + a.name + " " + type + ", ";
      if (std::string(a.mode) == "in") sig += std::string(sig.empty() ? "" : ", ") + type;
    }
    std::string text = std::string("create procedure quarnxml.") + p.name + "(" + params +
                       "out returnCode integer, out returnMsg varchar(1024))";
    if (p.specific != nullptr) text += std::string(" specific ") + p.specific;
    text += std::string(" external name 'quarnxml!") + p.entry + "'" + kProcClauses;
    std::string drop;
    if (p.specific != nullptr) drop = std::string("drop specific procedure ") + p.specific;
    else if (p.dropBySignature)
      drop = std::string("drop procedure quarnxml.") + p.name + "(" + sig + ", integer, varchar(1024))";
    else drop = std::string("drop procedure quarnxml.") + p.name;
    std::string specific = p.specific != nullptr ? std::string(p.specific).substr(std::strlen("quarnxml.")) : "";
    KelRegGroup group = n <= kLastBaseProcedure ? KEL_REG_PROCEDURE : KEL_REG_APPENDED;
    out.push_back({n++, text, drop, group, p.name, specific});
  }
  return out;
}

// The registrations of a procedure name, in list order.
std::vector<KelNumberedStatement> named(const std::vector<KelNumberedStatement> &from,
                                        std::initializer_list<const char *> names) {
  std::vector<KelNumberedStatement> out;
  for (const KelNumberedStatement &s : from)
    for (const char *name : names)
      if (s.name == name) out.push_back(s);
  return out;
}

std::vector<KelNumberedStatement> buildOld(KelOldForm form) {
  switch (form) {
    case KEL_OLD_OVERRIDE_1024:
      return named(buildProcedures("override", "varchar(1024)"), {"kelGenXML", "kelRetrieveXML"});
    case KEL_OLD_RESULT_DOC_2G:
      return named(buildProcedures("resultDoc", "clob(2G)"), {"kelGenXMLClob", "kelRetrieveXMLClob"});
    case KEL_OLD_XMLVARCHAR: {
      std::vector<KelNumberedStatement> out;
      int n = 4;
      for (const Storage &s : kStorage) {
        int number = n++;
        if (std::string(s.name) == "XMLVarcharFromFile" && kelStorageInPreviousLevel(s.specific))
          out.push_back(function(number, s.name, s.params, xmlVarcharResult(s.returns, true), s.specific, s.entry,
                                 kScalarClauses, KEL_REG_STORAGE));
      }
      for (const KelNumberedStatement &f : kelFunctionRegistrations())
        if (f.group == KEL_REG_UPDATE && f.text.find(" cast from ") != std::string::npos) {
          KelNumberedStatement old = f;
          size_t at = old.text.find(" cast from ");
          old.text.erase(at, old.text.find(" specific ") - at);
          out.push_back(old);
        } else if (f.group == KEL_REG_CAST) {
          out.push_back(varcharToVarchar(f.number, true));
        }
      return out;
    }
  }
  return {};
}

// ---- The double-byte list --------------------------------------------------------------------

std::vector<KelNumberedStatement> buildDoubleByte() {
  std::vector<KelNumberedStatement> out;
  out.push_back({0, "create distinct type quarnxml.XMLDBCLOB as dbclob(10k)", "drop distinct type quarnxml.XMLDBCLOB",
                 KEL_REG_DOUBLE_BYTE, "XMLDBCLOB", ""});
  out.push_back(function(1, "XMLDBCLOBFromFile", "varchar(512)", "quarnxml.XMLDBCLOB", nullptr, "xmlDBCLOB", kScalarClauses));
  out.push_back(function(2, "Content", "quarnxml.XMLDBCLOB as locator, varchar(512)", "varchar(512)", "quarnxmlcontentdf",
                         "kelContent_dbclob2file", kScalarClauses));
  // Result types over XMLDBCLOB: the name in the function, the name in the entry, the result.
  struct DbType {
    const char *sqlName;
    const char *entryName;
    const char *type;
    const char *column;
  };
  constexpr DbType kDbTypes[] = {{"Varchar", "Varchar", "varchar(4000)", "returnedVarchar"},
                                 {"DBClob", "Clob", "dbclob(10k)", "returnedDBClob"},
                                 {"Date", "Date", "date", "returnedDate"},
                                 {"Double", "Double", "double", "returnedDouble"},
                                 {"Integer", "Integer", "integer", "returnedInteger"},
                                 {"Time", "Time", "time", "returnedTime"},
                                 {"Timestamp", "Timestamp", "timestamp", "returnedTimestamp"}};
  const std::string params = "quarnxml.XMLDBCLOB as locator, varchar(256)";
  int n = 3;
  for (const DbType &t : kDbTypes)
    out.push_back(function(n++, std::string("extract") + t.sqlName, params, t.type, nullptr,
                           std::string("kelExtract") + t.entryName + "FromDBClob", kScalarClauses));
  for (const DbType &t : kDbTypes)
    out.push_back(function(n++, std::string("extract") + t.sqlName + "s", params,
                           std::string("table(") + t.column + " " + t.type + ")", nullptr,
                           std::string("kelExtract") + t.entryName + "sFromDBClob", kTableClauses));
  for (KelNumberedStatement &s : out) s.group = KEL_REG_DOUBLE_BYTE;
  return out;
}

}  // namespace

const std::vector<KelNumberedStatement> &kelFunctionRegistrations() {
  static const std::vector<KelNumberedStatement> statements = build();
  return statements;
}

const std::vector<KelNumberedStatement> &kelProcedureRegistrations() {
  static const std::vector<KelNumberedStatement> statements = buildProcedures();
  return statements;
}

const std::vector<KelNumberedStatement> &kelDoubleByteRegistrations() {
  static const std::vector<KelNumberedStatement> statements = buildDoubleByte();
  return statements;
}

const std::vector<KelNumberedStatement> &kelOldRegistrations(KelOldForm form) {
  static const std::vector<KelNumberedStatement> override1024 = buildOld(KEL_OLD_OVERRIDE_1024);
  static const std::vector<KelNumberedStatement> resultDoc2G = buildOld(KEL_OLD_RESULT_DOC_2G);
  static const std::vector<KelNumberedStatement> xmlVarchar = buildOld(KEL_OLD_XMLVARCHAR);
  return form == KEL_OLD_OVERRIDE_1024 ? override1024 : form == KEL_OLD_RESULT_DOC_2G ? resultDoc2G : xmlVarchar;
}

bool kelStorageInPreviousLevel(const std::string &specific) {
  // The storage and Content functions of the previous level: the forms without an encoding
  // argument.
  static const char *const kPrevious[] = {"kelVarChar",        "kelCLOB",           "kelContentvar2file", "kelFile",
                                          "quarnxmlcontentvf", "quarnxmlcontentcf", "quarnxmlcontentfc"};
  for (const char *name : kPrevious)
    if (specific == name) return true;
  return false;
}
