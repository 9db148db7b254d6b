/*
 * kelfunctab.h - the one table of the user-defined functions that quarnxmlfn exports and that
 * database enablement registers: the extract family (result types, the with-DTD types, the three
 * document sources) and the storage functions.  The exported entries (functions/), their
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

// Entries of the library beside the extract family and the storage functions.
#define KEL_OTHER_FUNCTION_ENTRIES(X) X("kelSeqno")

#endif /* KEL_FUNCTAB_H */
