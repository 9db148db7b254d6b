/*
 * kelfunctab.h - the one table of the user-defined functions that quarnxmlfn exports and that
 * database enablement registers: the extract family (result types, the with-DTD types, the three
 * document sources), the storage functions, the update, validate and validateschema
 * functions, the path diagnostics (explainPath) and the validation report table functions.
 * The exported entries (functions/), their
 * registration texts (admin/kelregister.cpp) and the export list the build checks
 * (functions/kelentrygen.cpp) are all generated from these rows, so none of them can drift.
 *
 * The rows are X-macros: a user defines X with the row's parameters and expands the list.
 * Constant data; nothing to set up.
 */
#ifndef KEL_FUNCTAB_H
#define KEL_FUNCTAB_H

/*
 * The extraction result types, in registration order.
 * X(Name, CType, ScalarSqlType, TableColumn, TableColumnType)
 *   Name: in the SQL names (extractName, extractNames) and the entries (kelExtractName...);
 *   CType: the C type of the result buffer the entry writes.
 */
#define KEL_EXTRACT_TYPES(X)                                                                  \
  X(Varchar, char, "varchar(4000)", "returnedVarchar", "varchar(4000)")                      \
  X(Char, char, "char(254)", "returnedChar", "char(254)")                                    \
  X(Clob, udf_locator, "clob(2G) as locator", "returnedClob", "clob(1G) as locator")         \
  X(Date, char, "date", "returnedDate", "date")                                              \
  X(Double, double, "double", "returnedDouble", "double")                                    \
  X(Real, float, "real", "returnedReal", "real")                                             \
  X(Integer, sqlint32, "integer", "returnedInteger", "integer")                              \
  X(Smallint, short, "smallint", "returnedSmallint", "smallint")                             \
  X(Time, char, "time", "returnedTime", "time")                                              \
  X(Timestamp, char, "timestamp", "returnedTimestamp", "timestamp")

/*
 * The result types that also take the document's DTD (a CLOB before the path), in
 * registration order, with their SQL names (the table forms' names are irregular).
 * X(Name, CType, ScalarSqlName, TableSqlName); entries kelExtractName...2.
 */
#define KEL_EXTRACT_DTD_TYPES(X)                                          \
  X(Varchar, char, "extractVarcharWDTD", "extractVarcharsDTD")           \
  X(Clob, udf_locator, "extractClobWDTD", "extractClobsWDTD")            \
  X(Double, double, "extractDoubleWDTD", "extractDoublesWDTD")           \
  X(Real, float, "extractRealWDTD", "extractRealsWDTD")

/*
 * The document sources of every extract function, in overload order, each passed the extra
 * arguments after X.  X(Source, EntrySuffix, SqlParameter, ...)
 */
#define KEL_EXTRACT_SOURCES(X, ...)                                       \
  X(File, , "quarnxml.XMLFile", __VA_ARGS__)                              \
  X(Clob, FromClob, "quarnxml.XMLCLOB as locator", __VA_ARGS__)           \
  X(Varchar, FromVarchar, "quarnxml.XMLVarchar", __VA_ARGS__)

/*
 * The storage and content functions (statements 4 to 16 of enablement), in order.
 * X(SqlName, Parameters, Returns, Specific, Entry)
 *   Returns: an XMLVarchar result is written as VARCHAR(32672) and cast by the engine (CAST FROM),
 *   so its buffer holds what the function writes.
 */
#define KEL_STORAGE_FUNCTIONS(X)                                                                                        \
  X("XMLVarcharFromFile", "varchar(512)", "quarnxml.XMLVarchar cast from varchar(32672)", "kelVarChar", "kelVarChar")  \
  X("XMLVarcharFromFile", "varchar(512), varchar(100)", "quarnxml.XMLVarchar cast from varchar(32672)",                \
    "kelXMLVarcharFile2", "kelXMLVarcharFromFile2")                                                                    \
  X("XMLCLOBFromFile", "varchar(512)", "quarnxml.XMLCLOB as locator", "kelCLOB", "kelCLOB")                            \
  X("XMLCLOBFromFile", "varchar(512), varchar(100)", "quarnxml.XMLCLOB as locator", "kelXMLCLOBFile2",                 \
    "kelXMLCLOBFromFile2")                                                                                             \
  X("XMLFileFromVarchar", "varchar(32672), varchar(512)", "quarnxml.XMLFile", "kelContentvar2file",                    \
    "kelContent_varchar2file")                                                                                         \
  X("XMLFileFromVarchar", "varchar(32672), varchar(512), varchar(100)", "quarnxml.XMLFile", "kelXMLFileVarchar2",      \
    "kelXMLFileFromVarchar2")                                                                                          \
  X("XMLFileFromCLOB", "clob(2G) as locator, varchar(512)", "quarnxml.XMLFile", "kelFile", "kelFile")                  \
  X("XMLFileFromCLOB", "clob(2G) as locator, varchar(512), varchar(100)", "quarnxml.XMLFile", "kelXMLFileCLOB2",       \
    "kelXMLFileFromClob2")                                                                                             \
  X("Content", "quarnxml.XMLVarchar, varchar(512)", "varchar(512)", "quarnxmlcontentvf", "kelContent_varchar2file")    \
  X("Content", "quarnxml.XMLVarchar, varchar(512), varchar(100)", "varchar(512)", "quarnxmlcontentvf2",                \
    "kelXMLFileFromVarchar2")                                                                                          \
  X("Content", "quarnxml.XMLCLOB as locator, varchar(512)", "varchar(512)", "quarnxmlcontentcf", "kelFile")            \
  X("Content", "quarnxml.XMLCLOB as locator, varchar(512), varchar(100)", "varchar(512)", "quarnxmlcontentcf2",        \
    "kelXMLFileFromClob2")                                                                                             \
  X("Content", "quarnxml.XMLFile", "quarnxml.XMLCLOB as locator", "quarnxmlcontentfc", "kelCLOB")

/*
 * The update functions (statements 90 to 92), in order: update(document, path varchar(256),
 * value varchar(256)).  X(Source, SqlParameter, Returns, Specific, Entry): Source is the
 * document's kind (File, Clob, Varchar) and Entry an identifier.  The XMLVarchar form returns
 * up to 32672 bytes, which the engine casts to XMLVarchar, so its result buffer holds whatever
 * the function may write.
 */
#define KEL_UPDATE_FUNCTIONS(X)                                                                          \
  X(Varchar, "quarnxml.XMLVarchar", "quarnxml.XMLVarchar cast from varchar(32672)", "UpdateXMLVarchar",   \
    kelUpdateXMLVarchar)                                                                                 \
  X(Clob, "quarnxml.XMLCLOB as locator", "quarnxml.XMLCLOB as locator", "UpdateXMLClob", kelUpdateXMLClob) \
  X(File, "quarnxml.XMLFile", "quarnxml.XMLFile", "UpdateXMLFile", kelUpdateXMLFile)

/*
 * The validate functions with a DTD file name (statements 93 to 95): validate(document, DTD
 * file varchar(512), DTD id varchar(128)) returns integer.  X(Source, SqlParameter, Specific,
 * Entry).
 */
#define KEL_VALIDATE_FUNCTIONS(X)                                                 \
  X(File, "quarnxml.XMLFile", "ValidateFile", kelValidateFile)                    \
  X(Varchar, "quarnxml.XMLVarchar", "ValidateVarchar", kelValidateVarchar)        \
  X(Clob, "quarnxml.XMLCLOB as locator", "ValidateClob", kelValidateClob)

/*
 * The validate functions with the DTD text (statements 122 to 124): validate(document, DTD
 * XMLCLOB as locator, DTD id varchar(128)) returns integer.  X(Source, SqlParameter, Specific,
 * Entry).
 */
#define KEL_VALIDATE_DTD_FUNCTIONS(X)                                             \
  X(File, "quarnxml.XMLFile", "ValidateFile2", kelValidateFile2)                  \
  X(Varchar, "quarnxml.XMLVarchar", "ValidateVarchar2", kelValidateVarchar2)      \
  X(Clob, "quarnxml.XMLCLOB as locator", "ValidateClob2", kelValidateClob2)

/*
 * The schema validation functions, registered after the procedures (statements 140 to 142) so
 * that a column enabled with schema validation finds them on every enabled database:
 * validateschema(document, schema location varchar(1000)) returns integer.
 * X(Source, SqlParameter, Specific, Entry).
 */
#define KEL_VALIDATESCHEMA_FUNCTIONS(X)                                              \
  X(File, "quarnxml.XMLFile", "ValidateschFile", kelValidateschemaFile)              \
  X(Varchar, "quarnxml.XMLVarchar", "ValidateschVarchar", kelValidateschemaVarchar)  \
  X(Clob, "quarnxml.XMLCLOB as locator", "ValidateschClob", kelValidateschemaClob)

/*
 * The path diagnostics, appended to the first enablement list (statements 143 to 145):
 * explainPath(document, path varchar(256)) returns a table of findings (KEL_EXPLAIN_COLUMNS).
 * X(Source, SqlParameter, Specific, Entry).
 */
#define KEL_EXPLAIN_FUNCTIONS(X)                                                     \
  X(Varchar, "quarnxml.XMLVarchar", "ExplainVarchar", kelExplainPathVarchar)         \
  X(Clob, "quarnxml.XMLCLOB as locator", "ExplainClob", kelExplainPathClob)          \
  X(File, "quarnxml.XMLFile", "ExplainFile", kelExplainPathFile)

// The columns of explainPath's table.
#define KEL_EXPLAIN_COLUMNS \
  "KIND varchar(20), LINE integer, COL integer, FOUND_PATH varchar(1024), DETAIL varchar(1024)"

/*
 * The validation report table functions, appended after explainPath (statements 146 to 154),
 * each returning one row per error: table(SEQ integer, LINE integer, COL integer,
 * ELEMENT_PATH varchar(1024), MESSAGE varchar(1024)).
 * validateReport(document, DTD file varchar(512)), validateReport(document, DTD XMLCLOB as
 * locator) and validateReportSchema(document, schema location varchar(1000)).
 * X(Source, SqlParameter, Specific, Entry).
 */
#define KEL_VALIDATE_REPORT_COLUMNS \
  "table(SEQ integer, LINE integer, COL integer, ELEMENT_PATH varchar(1024), MESSAGE varchar(1024))"
#define KEL_VALIDATE_REPORT_FUNCTIONS(X)                                           \
  X(File, "quarnxml.XMLFile", "VReportFile", kelValidateReportFile)                \
  X(Varchar, "quarnxml.XMLVarchar", "VReportVarchar", kelValidateReportVarchar)    \
  X(Clob, "quarnxml.XMLCLOB as locator", "VReportClob", kelValidateReportClob)
#define KEL_VALIDATE_REPORT_DTD_FUNCTIONS(X)                                        \
  X(File, "quarnxml.XMLFile", "VReportFile2", kelValidateReportFile2)               \
  X(Varchar, "quarnxml.XMLVarchar", "VReportVarchar2", kelValidateReportVarchar2)   \
  X(Clob, "quarnxml.XMLCLOB as locator", "VReportClob2", kelValidateReportClob2)
#define KEL_VALIDATE_REPORT_SCHEMA_FUNCTIONS(X)                                            \
  X(File, "quarnxml.XMLFile", "VReportSchFile", kelValidateReportSchemaFile)               \
  X(Varchar, "quarnxml.XMLVarchar", "VReportSchVarchar", kelValidateReportSchemaVarchar)   \
  X(Clob, "quarnxml.XMLCLOB as locator", "VReportSchClob", kelValidateReportSchemaClob)

// Entries of the library beside the extract family and the storage functions.
#define KEL_OTHER_FUNCTION_ENTRIES(X) X("kelSeqno")

#endif /* KEL_FUNCTAB_H */
