/*
 * kelcatalog.h - catalogue lookups and rows of the catalogue tables through the embedded
 * runtime: whether a table exists, a column's declared type, a table's first column, the
 * XML_USAGE row of an enabled column, a document inserted from a file, and the DTDs and
 * schemas stored by id.  Used by the enablement, composition and decomposition routines.
 *
 * Every function runs on the calling thread's current connection (inside a routine: the
 * caller's session and unit of work) and never commits or rolls back.  msg is a message buffer
 * of the context's mode.
 */
#ifndef KEL_CATALOG_H
#define KEL_CATALOG_H

#include <cstddef>
#include <cstdint>
#include <string>

struct KelCallContext;

struct KelDocBuffer;

// Largest DAD bound as a CLOB value by kelInsertXMLUsage (the DAD column is CLOB(100K)).
inline constexpr int32_t KEL_MAX_DAD_CLOB = 102400;
// Longest file name of a file-reference host variable.
inline constexpr int KEL_MAX_FILE_REF_NAME = 255;

/*
 * Sets *exists to 1 when the catalogue has the table (in schema, when schema is not empty),
 * else 0.  A schema or table longer than KEL_MAX_CATALOG_NAME bytes exists nowhere: 0.
 * Returns 0; -104 with the database's text and KELA073E when the routine's package is missing
 * (SQLCODE -805); -57 with KELG001E for any other failed query.
 */
int kelTableExists(KelCallContext *ctx, const char *schema, const char *table, int *exists,
                   char *msg);

/*
 * Reads the declared type of column of table (in schema, when not empty; through an alias to
 * its base table): typeSchema gets the schema of a distinct type, blanks removed, and is empty
 * for a built-in type; typeName the type name; *length the declared length.  Capacities are in
 * bytes with the terminator.
 * Returns 0; -1 with KELG001E when a name is longer than KEL_MAX_CATALOG_NAME or a result does
 * not fit its buffer; -57 with KELG001E for a failed query; -81 with KELQ021E when the table
 * has no such column (or does not exist).
 */
int kelGetCatalogColumnType(KelCallContext *ctx, const char *schema, const char *table,
                            const char *column, char *typeSchema, int typeSchemaCap,
                            char *typeName, int typeNameCap, int32_t *length, char *msg);

// The schema an unqualified table name means: the current schema of the connection.  Returns
// 0, or -57 with KELG001E when the special register cannot be read.
int kelCurrentSchema(KelCallContext *ctx, std::string *schema, char *msg);

/*
 * Writes the name of the first column (lowest column number) of table into colName
 * (KEL_TABLE_SIZE bytes); without a schema the table is looked up in the schema named by USER.
 * Sets *rc and returns it: 0; -18 with KELA024E for a failed query; -11 with KELA016E (the
 * table) when the catalogue has no column for the table.
 */
int kelGetColumnName(KelCallContext *ctx, const char *schema, const char *table, char *colName,
                     int32_t *rc, char *msg);

/*
 * Inserts one row into QUARNXML.XML_USAGE, the values in its column order; each indicator -1
 * makes its value NULL.  The DAD is bound as a CLOB value when the buffer is in memory, as a
 * file reference to the buffer's file otherwise.  Values longer than their column are refused
 * by the database, never cut.  Returns 0; -1 with *rc -6 and the database's text followed by
 * KELA011E.
 */
int kelInsertXMLUsage(KelCallContext *ctx, const char *schema, const char *table,
                      const char *column, const char *dtdId, short dtdIdInd, KelDocBuffer *dad,
                      int32_t accessMode, int32_t validation, const char *defaultView,
                      short defaultViewInd, const char *triggerSuffix, float version,
                      const char *rootId, short rootIdInd, const char *sideTabQual,
                      short sideTabQualInd, int32_t *rc, char *msg);

// Longest collection name: the COL_NAME of its XML_USAGE row holds 30 bytes.
inline constexpr size_t KEL_MAX_COLLECTION_NAME = 30;

/*
 * Loads the DAD of the enabled collection name (the XML_USAGE row with TABLE_SCHEMA
 * 'KEL_COLL', TABLE_NAME 'KEL_COLLECTION' and COL_NAME name, so an XML column of the same name
 * never supplies it) into buf, set up here in memory; the caller releases it (kelBufRelease),
 * also after a failure.  The name is bound as it stands (no case folding); one longer than
 * KEL_MAX_COLLECTION_NAME names no collection.  Returns 0; -88 with KELQ028E (the name) when
 * there is no such collection; -89 with KELQ029E (the name) when its DAD is NULL or empty; -57
 * with KELG001E for a failed query; a document-buffer failure's code with its message.
 */
int kelGetCollectionDad(KelCallContext *ctx, const char *name, KelDocBuffer *buf, char *msg);

/*
 * Prepares insertStmt (whose names the caller has quoted) and executes it with the content of
 * fileName as its first parameter (a file reference, name at most KEL_MAX_FILE_REF_NAME bytes)
 * and, when hasValidMarker, the integer valid as its second.  Sets *rc and returns it: 0; -77
 * with KELQ017E (docName) when the value is too long for its column; -57 with KELG001E for any
 * other failure.
 */
int kelInsertDocFromFile(KelCallContext *ctx, const char *insertStmt, const char *fileName,
                         int32_t valid, int hasValidMarker, const char *docName, int32_t *rc,
                         char *msg);

/*
 * Loads the DTD stored in QUARNXML.DTD_REF under dtdId into buf (set up here: in memory up to
 * the context's memory/file threshold, else in a temporary file; the caller releases it with
 * kelBufRelease, also after a failure).  Returns 0; -5 with KELA010E (the id) when the DTD
 * cannot be read or does not exist; a document-buffer failure's code with its message.
 */
int kelgetDtdFileFromDtdId(KelCallContext *ctx, KelDocBuffer *buf, const char *dtdId, char *msg);

// The same for the schema stored in QUARNXML.SCHEMA_REF under schemaId; -140 with KELQ060E.
int kelGetSchemaFromSchemaId(KelCallContext *ctx, KelDocBuffer *buf, const char *schemaId,
                             char *msg);

#endif /* KEL_CATALOG_H */
