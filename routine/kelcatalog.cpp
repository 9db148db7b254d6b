/*
 * kelcatalog.cpp - catalogue lookups and rows of the catalogue tables through the embedded
 * runtime (see kelcatalog.h).
 */
#include "kelcatalog.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelbuf.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsql.h"
#include "keltrace.h"
#include "quarnapp.h"
#include "sqlcodes.h"
#include "sqlda.h"

namespace {

// Internal errors of this file name the unit of the routines' catalogue statements.
constexpr const char kUnit[] = "kelsuwo";

struct StmtFree {
  void operator()(quarn_stmt *stmt) const { quarn_free_stmt(stmt); }
};
using StmtPtr = std::unique_ptr<quarn_stmt, StmtFree>;

// An input host variable for a terminated string (NULL when *ind is -1).
quarn_hostvar inString(const char *value, short *ind = nullptr) {
  if (value == nullptr) value = "";
  return quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(value) + 1),
                       const_cast<char *>(value), ind};
}

// An output host variable for a terminated string of capacity bytes.
quarn_hostvar outString(char *buf, int capacity, short *ind) {
  return quarn_hostvar{SQL_TYP_CSTR, capacity, buf, ind};
}

// Prepares and opens the query sql with its inputs and fetches the first row into out.
// Returns the SQLCODE (100: no row); *ca tells the failure.
int fetchFirstRow(KelCallContext *ctx, const char *sql, std::vector<quarn_hostvar> in,
                  std::vector<quarn_hostvar> out, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql);
  quarn_stmt *raw = nullptr;
  int rc = quarn_prepare(sql, &raw, ca);
  StmtPtr stmt(raw);
  if (rc >= 0) rc = quarn_open(raw, static_cast<int>(in.size()), in.data(), ca);
  if (rc >= 0) {
    rc = quarn_fetch(raw, static_cast<int>(out.size()), out.data(), ca);
    sqlca closeCa{};
    quarn_close(raw, &closeCa);
  }
  if (rc < 0) KEL_TRACE(ctx, "SQLCODE = %d\n", rc);
  return rc;
}

bool tooLong(const char *name) {
  return name != nullptr && std::strlen(name) > static_cast<size_t>(KEL_MAX_CATALOG_NAME);
}

bool isEmpty(const char *s) { return s == nullptr || s[0] == '\0'; }

// "schema.table", or the table alone without a schema.
std::string qualifiedName(const char *schema, const char *table) {
  std::string name = isEmpty(schema) ? std::string() : std::string(schema) + ".";
  return name + (table != nullptr ? table : "");
}

void rtrimBlanks(char *s) {
  size_t n = std::strlen(s);
  while (n > 0 && s[n - 1] == ' ') s[--n] = '\0';
}

// The column-type query of kelGetCatalogColumnType for one table.
int queryColumnType(KelCallContext *ctx, const char *schema, const char *table,
                    const char *column, char (&typeSchema)[KEL_TABLE_SIZE], short *schemaInd,
                    char (&typeName)[KEL_TABLE_SIZE], short *nameInd, sqlint32 *length,
                    sqlca *ca) {
  std::vector<quarn_hostvar> out = {outString(typeSchema, sizeof typeSchema, schemaInd),
                                    outString(typeName, sizeof typeName, nameInd),
                                    {SQL_TYP_INTEGER, 4, length, nullptr}};
  if (isEmpty(schema))
    return fetchFirstRow(ctx,
                         "SELECT typeschema, typename, length FROM syscat.columns "
                         "WHERE tabname = ? AND colname = ?",
                         {inString(table), inString(column)}, out, ca);
  return fetchFirstRow(ctx,
                       "SELECT typeschema, typename, length FROM syscat.columns "
                       "WHERE tabschema = ? AND tabname = ? AND colname = ?",
                       {inString(schema), inString(table), inString(column)}, out, ca);
}

bool readWholeFile(const char *name, std::string *out) {
  std::unique_ptr<FILE, int (*)(FILE *)> f(std::fopen(name, "rb"), &std::fclose);
  if (f == nullptr) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) out->append(chunk, n);
  return std::ferror(f.get()) == 0;
}

// Reads a stored DTD or schema by id into buf through a temporary file.
int loadStoredText(KelCallContext *ctx, KelDocBuffer *buf, const char *sql, const char *id,
                   int notFoundMsg, const char *what, char *msg) {
  auto notFound = [&]() {
    if (msg != nullptr) kelSetMessage(ctx, msg, notFoundMsg, id != nullptr ? id : "");
    return kelMessageState(notFoundMsg, nullptr);
  };
  if (buf == nullptr) return notFound();
  *buf = KelDocBuffer{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
  KelTempFile file(ctx);
  if (!file.ok() || std::strlen(file.name()) > static_cast<size_t>(KEL_MAX_FILE_REF_NAME)) {
    KEL_TRACE(ctx, "no temporary file for the stored text\n");
    return notFound();
  }
  sqlfile ref{};
  ref.name_length = static_cast<sqluint32>(std::strlen(file.name()));
  std::memcpy(ref.name, file.name(), ref.name_length);
  ref.file_options = SQL_FILE_OVERWRITE;
  sqlca ca{};
  int sqlcode = fetchFirstRow(ctx, sql, {inString(id)},
                              {{SQL_TYP_CLOB_FILE, static_cast<sqlint32>(sizeof ref), &ref,
                                nullptr}},
                              &ca);
  if (sqlcode < 0 || sqlcode == SQL_RC_W100) {
    KEL_TRACE(ctx, "Error in getting %s string:%s, sqlcode=%d\n", what, id != nullptr ? id : "",
              sqlcode);
    return notFound();
  }
  std::string content;
  if (!readWholeFile(file.name(), &content)) {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELC002E);
    return kelMessageState(KELC002E, nullptr);
  }
  int status = 0;
  int64_t limit = ctx != nullptr && ctx->fileThreshold > 0 ? ctx->fileThreshold
                                                          : KEL_MIN_FILE_THRESHOLD;
  if (kelBufAcquire(ctx, buf, static_cast<int64_t>(content.size()), limit, KEL_BUF_MEMORY,
                    &status, msg, 1) < 0)
    return status;
  char state[6];
  if (kelFillBuffer(ctx, buf, content.c_str(), &status, state) < 0) {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELC003E);
    return status;
  }
  return 0;
}

}  // namespace

int kelTableExists(KelCallContext *ctx, const char *schema, const char *table, int *exists,
                   char *msg) {
  *exists = 0;
  if (isEmpty(table) || tooLong(schema) || tooLong(table)) return 0;
  char name[KEL_TABLE_SIZE];
  short ind = 0;
  sqlca ca{};
  int sqlcode;
  if (isEmpty(schema))
    sqlcode = fetchFirstRow(ctx, "SELECT tabname FROM syscat.tables WHERE tabname = ?",
                            {inString(table)}, {outString(name, sizeof name, &ind)}, &ca);
  else
    sqlcode = fetchFirstRow(ctx,
                            "SELECT tabname FROM syscat.tables WHERE tabschema = ? AND "
                            "tabname = ?",
                            {inString(schema), inString(table)},
                            {outString(name, sizeof name, &ind)}, &ca);
  if (sqlcode == SQL_RC_E805) {
    KEL_TRACE(ctx, "Database not bound missing package(s)...\n");
    if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELA073E);
    return -104;
  }
  if (sqlcode < 0) {
    KEL_TRACE(ctx, "Quarn catalog query failed. in_tableName='%s%s%s'\n",
              isEmpty(schema) ? "" : schema, isEmpty(schema) ? "" : ".", table);
    return kelInternalError(ctx, msg, nullptr, kUnit, 335);
  }
  *exists = sqlcode == SQL_RC_W100 ? 0 : 1;
  return 0;
}

int kelGetCatalogColumnType(KelCallContext *ctx, const char *schema, const char *table,
                            const char *column, char *typeSchema, int typeSchemaCap,
                            char *typeName, int typeNameCap, int32_t *length, char *msg) {
  kelClearText(typeSchema, typeSchemaCap);
  kelClearText(typeName, typeNameCap);
  if (length != nullptr) *length = 0;
  if (isEmpty(table) || isEmpty(column) || tooLong(schema) || tooLong(table) || tooLong(column)) {
    kelInternalError(ctx, msg, nullptr, kUnit, 545);
    return -1;
  }
  char foundSchema[KEL_TABLE_SIZE] = "";
  char foundName[KEL_TABLE_SIZE] = "";
  short schemaInd = 0;
  short nameInd = 0;
  sqlint32 foundLength = 0;
  sqlca ca{};
  int sqlcode = queryColumnType(ctx, schema, table, column, foundSchema, &schemaInd, foundName,
                                &nameInd, &foundLength, &ca);
  if (sqlcode == SQL_RC_W100) {
    // The name may be an alias: look the column up in its base table.
    char type[2] = "";
    char baseSchema[KEL_TABLE_SIZE] = "";
    char baseTable[KEL_TABLE_SIZE] = "";
    short ind[3] = {0, 0, 0};
    std::vector<quarn_hostvar> out = {outString(type, sizeof type, &ind[0]),
                                      outString(baseSchema, sizeof baseSchema, &ind[1]),
                                      outString(baseTable, sizeof baseTable, &ind[2])};
    int aliasCode =
        isEmpty(schema)
            ? fetchFirstRow(ctx,
                            "SELECT type, base_tabschema, base_tabname FROM syscat.tables "
                            "WHERE tabname = ?",
                            {inString(table)}, out, &ca)
            : fetchFirstRow(ctx,
                            "SELECT type, base_tabschema, base_tabname FROM syscat.tables "
                            "WHERE tabschema = ? AND tabname = ?",
                            {inString(schema), inString(table)}, out, &ca);
    if (aliasCode < 0) {
      sqlcode = aliasCode;
    } else if (aliasCode != 100 && type[0] == 'A' && ind[1] >= 0 && ind[2] >= 0) {
      rtrimBlanks(baseSchema);
      rtrimBlanks(baseTable);
      KEL_TRACE(ctx, "Alias schema '%s' tbname '%s',baseschema '%s' basetbname '%s' type '%c'\n",
                isEmpty(schema) ? "" : schema, table, baseSchema, baseTable, type[0]);
      sqlcode = queryColumnType(ctx, baseSchema, baseTable, column, foundSchema, &schemaInd,
                                foundName, &nameInd, &foundLength, &ca);
    }
  }
  if (sqlcode < 0) return kelInternalError(ctx, msg, nullptr, kUnit, 669);
  if (sqlcode == SQL_RC_W100) {
    std::string where = qualifiedName(schema, table);
    if (msg != nullptr) kelSetMessage(ctx, msg, KELQ021E, where.c_str(), column);
    return kelMessageState(KELQ021E, nullptr);
  }
  rtrimBlanks(foundSchema);
  rtrimBlanks(foundName);
  // Built-in types answer an empty type schema.
  if (std::strcmp(foundSchema, "SYSOSTREL") == 0 || schemaInd < 0) foundSchema[0] = '\0';
  if (schemaInd > 0 || nameInd > 0 || !kelCopyText(foundSchema, typeSchema, typeSchemaCap) ||
      !kelCopyText(foundName, typeName, typeNameCap)) {
    kelClearText(typeSchema, typeSchemaCap);
    kelClearText(typeName, typeNameCap);
    kelInternalError(ctx, msg, nullptr, kUnit, 726);
    return -1;
  }
  if (length != nullptr) *length = foundLength;
  return 0;
}

int kelCurrentSchema(KelCallContext *ctx, std::string *schema, char *msg) {
  schema->clear();
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  char value[KEL_TABLE_SIZE] = "";
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CSTR, sizeof value, value, &ind};
  int code = quarn_prepare("VALUES CURRENT SCHEMA", &raw, &ca);
  std::unique_ptr<quarn_stmt, void (*)(quarn_stmt *)> stmt(raw, quarn_free_stmt);
  if (code >= 0) code = quarn_open(raw, 0, nullptr, &ca);
  if (code >= 0) code = quarn_fetch(raw, 1, &out, &ca);
  if (code != 0 || ind < 0) {
    KEL_TRACE(ctx, "CURRENT SCHEMA: SQLCODE = %d\n", code);
    return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  }
  sqlca closeCa{};
  quarn_close(raw, &closeCa);
  *schema = value;
  while (!schema->empty() && schema->back() == ' ') schema->pop_back();
  return 0;
}

int kelGetColumnName(KelCallContext *ctx, const char *schema, const char *table, char *colName,
                     int32_t *rc, char *msg) {
  int32_t result = 0;
  kelClearText(colName, KEL_TABLE_SIZE);
  short ind = 0;
  sqlca ca{};
  int sqlcode;
  std::vector<quarn_hostvar> out = {outString(colName, KEL_TABLE_SIZE, &ind)};
  if (isEmpty(schema))
    sqlcode = fetchFirstRow(ctx,
                            "SELECT COLNAME FROM syscat.columns WHERE tabname = ? AND "
                            "tabschema = USER ORDER BY colno",
                            {inString(table)}, out, &ca);
  else
    sqlcode = fetchFirstRow(ctx,
                            "SELECT COLNAME FROM syscat.columns WHERE tabname = ? AND "
                            "tabschema = ? ORDER BY colno",
                            {inString(table), inString(schema)}, out, &ca);
  if (sqlcode < 0 || ind > 0) {
    kelClearText(colName, KEL_TABLE_SIZE);
    if (msg != nullptr) kelSetMessage(ctx, msg, KELA024E);
    result = kelMessageState(KELA024E, nullptr);
  } else if (sqlcode == SQL_RC_W100) {
    std::string name = qualifiedName(schema, table);
    if (msg != nullptr) kelSetMessage(ctx, msg, KELA016E, name.c_str());
    result = kelMessageState(KELA016E, nullptr);
  } else {
    rtrimBlanks(colName);
  }
  if (rc != nullptr) *rc = result;
  return result;
}

int kelInsertXMLUsage(KelCallContext *ctx, const char *schema, const char *table,
                      const char *column, const char *dtdId, short dtdIdInd, KelDocBuffer *dad,
                      int32_t accessMode, int32_t validation, const char *defaultView,
                      short defaultViewInd, const char *triggerSuffix, float version,
                      const char *rootId, short rootIdInd, const char *sideTabQual,
                      short sideTabQualInd, int32_t *rc, char *msg) {
  sqlca ca{};
  auto fail = [&](bool withDbText) {
    if (msg != nullptr) {
      if (withDbText) kelSetDbMessage(ctx, msg, &ca, KELA011E);
      else kelSetMessage(ctx, msg, KELA011E);
    }
    int32_t code = kelMessageState(KELA011E, nullptr);
    if (rc != nullptr) *rc = code;
    return -1;
  };
  if (rc != nullptr) *rc = 0;
  if (dad == nullptr) return fail(false);

  // The DAD: a CLOB value from memory, or a file reference to the buffer's file.
  const char *content = kelBufGetContent(ctx, dad);
  if (content == nullptr) return fail(false);
  std::vector<char> lobSpace;
  sqlfile ref{};
  quarn_hostvar dadVar{};
  if (dad->location == KEL_BUF_MEMORY) {
    const int64_t bytes = kelBufLength(ctx, dad);
    KEL_TRACE(ctx, "Just about to convert to clob %.*s\n", 200, content);
    lobSpace.assign(sizeof(quarn_lob) + static_cast<size_t>(bytes), '\0');
    auto *lob = reinterpret_cast<quarn_lob *>(lobSpace.data());
    lob->length = static_cast<sqluint32>(bytes);
    std::memcpy(lob->data, content, static_cast<size_t>(bytes));
    dadVar = {SQL_TYP_CLOB, static_cast<sqlint32>(bytes), lob, nullptr};
  } else {
    size_t nameLen = std::strlen(content);
    if (nameLen > static_cast<size_t>(KEL_MAX_FILE_REF_NAME)) {
      KEL_TRACE(ctx, "DAD file name too long '%s'\n", content);
      return fail(false);
    }
    ref.name_length = static_cast<sqluint32>(nameLen);
    std::memcpy(ref.name, content, nameLen);
    ref.file_options = SQL_FILE_READ;
    dadVar = {SQL_TYP_CLOB_FILE, static_cast<sqlint32>(sizeof ref), &ref, nullptr};
  }

  short inds[4] = {dtdIdInd, defaultViewInd, rootIdInd, sideTabQualInd};
  sqlint32 mode = accessMode;
  sqlint32 valid = validation;
  double versionValue = version;
  const std::vector<quarn_hostvar> in = {
      inString(schema),
      inString(table),
      inString(column),
      inString(dtdId, &inds[0]),
      dadVar,
      {SQL_TYP_INTEGER, 4, &mode, nullptr},
      {SQL_TYP_INTEGER, 4, &valid, nullptr},
      inString(defaultView, &inds[1]),
      inString(triggerSuffix),
      {SQL_TYP_FLOAT, 8, &versionValue, nullptr},
      inString(rootId, &inds[2]),
      inString(sideTabQual, &inds[3]),
  };
  const char *sql = "INSERT INTO quarnxml.xml_usage VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  KEL_TRACE(ctx, "%s\n", sql);
  quarn_stmt *raw = nullptr;
  int sqlcode = quarn_prepare(sql, &raw, &ca);
  StmtPtr stmt(raw);
  if (sqlcode >= 0) sqlcode = quarn_execute(raw, static_cast<int>(in.size()), in.data(), &ca);
  if (sqlcode < 0) {
    KEL_TRACE(ctx, "SQLCODE = %d\n", sqlcode);
    return fail(true);
  }
  return 0;
}

int kelInsertDocFromFile(KelCallContext *ctx, const char *insertStmt, const char *fileName,
                         int32_t valid, int hasValidMarker, const char *docName, int32_t *rc,
                         char *msg) {
  auto done = [&](int32_t code) {
    if (rc != nullptr) *rc = code;
    return code;
  };
  if (insertStmt == nullptr || fileName == nullptr ||
      std::strlen(fileName) > static_cast<size_t>(KEL_MAX_FILE_REF_NAME)) {
    KEL_TRACE(ctx, "no statement or file name too long\n");
    return done(KEL_INTERNAL_ERROR(ctx, msg, nullptr));
  }
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  KEL_TRACE(ctx, "%s\n", insertStmt);
  if (quarn_prepare(insertStmt, &raw, &ca) < 0) {
    KEL_TRACE(ctx, "PREPARE insert_stmt failed. '%s'\n", insertStmt);
    return done(KEL_INTERNAL_ERROR(ctx, msg, nullptr));
  }
  StmtPtr stmt(raw);
  sqlfile ref{};
  ref.name_length = static_cast<sqluint32>(std::strlen(fileName));
  std::memcpy(ref.name, fileName, ref.name_length);
  ref.file_options = SQL_FILE_READ;
  sqlint32 validValue = valid;
  quarn_hostvar in[2] = {{SQL_TYP_CLOB_FILE, static_cast<sqlint32>(sizeof ref), &ref, nullptr},
                         {SQL_TYP_INTEGER, 4, &validValue, nullptr}};
  int sqlcode = quarn_execute(raw, hasValidMarker ? 2 : 1, in, &ca);
  if (sqlcode >= 0) return done(0);
  if (std::memcmp(ca.sqlstate, "22001", 5) == 0) {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELQ017E, docName != nullptr ? docName : "");
    return done(kelMessageState(KELQ017E, nullptr));
  }
  KEL_TRACE(ctx, "insert_stmt failed sqlcode %d. insert_stmt='%s'\n", sqlcode, insertStmt);
  return done(KEL_INTERNAL_ERROR(ctx, msg, nullptr));
}

int kelGetCollectionDad(KelCallContext *ctx, const char *name, KelDocBuffer *buf, char *msg) {
  if (buf != nullptr) *buf = KelDocBuffer{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
  if (name == nullptr) name = "";
  KEL_TRACE(ctx, "Entered, collection_name=%s \n", name);
  if (buf == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  auto notFound = [&]() {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELQ028E, name);
    return kelMessageState(KELQ028E, nullptr);
  };
  if (std::strlen(name) > KEL_MAX_COLLECTION_NAME) return notFound();
  // The DAD column holds at most KEL_MAX_DAD_CLOB bytes: one fetch reads it whole.
  std::unique_ptr<char[]> lobArea(new (std::nothrow) char[sizeof(quarn_lob) + KEL_MAX_DAD_CLOB + 1]);
  if (lobArea == nullptr) return kelFail(ctx, msg, nullptr, KELG002E);
  auto *lob = reinterpret_cast<quarn_lob *>(lobArea.get());
  lob->length = 0;
  short dadInd = 0;
  sqlca ca{};
  int sqlcode = fetchFirstRow(ctx,
                              "SELECT DAD FROM QUARNXML.XML_USAGE WHERE TABLE_SCHEMA = 'KEL_COLL'"
                              " AND TABLE_NAME = 'KEL_COLLECTION' AND COL_NAME = ?",
                              {inString(name)}, {{SQL_TYP_CLOB, KEL_MAX_DAD_CLOB, lob, &dadInd}}, &ca);
  if (sqlcode == 100) return notFound();
  if (sqlcode < 0) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  if (dadInd < 0 || lob->length == 0) {
    if (msg != nullptr) kelSetMessage(ctx, msg, KELQ029E, name);
    return kelMessageState(KELQ029E, nullptr);
  }
  const size_t length = lob->length;
  lob->data[length] = '\0';
  int status = 0;
  if (kelBufAcquire(ctx, buf, static_cast<int64_t>(length), KEL_BUF_NO_LIMIT, KEL_BUF_MEMORY, &status, msg, 0) < 0)
    return status;
  char state[6];
  if (kelFillBuffer(ctx, buf, lob->data, &status, state) < 0) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  return 0;
}

int kelgetDtdFileFromDtdId(KelCallContext *ctx, KelDocBuffer *buf, const char *dtdId, char *msg) {
  return loadStoredText(ctx, buf, "SELECT content FROM quarnxml.dtd_ref WHERE dtdid=?", dtdId,
                        KELA010E, "DTD from DTD_REF dtdid",
                        msg);
}

int kelGetSchemaFromSchemaId(KelCallContext *ctx, KelDocBuffer *buf, const char *schemaId,
                             char *msg) {
  return loadStoredText(ctx, buf, "SELECT content FROM quarnxml.schema_ref WHERE schemaid=?",
                        schemaId, KELQ060E,
                        "schema from SCHEMA_REF schemaid",
                        msg);
}
