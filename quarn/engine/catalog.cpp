/*
 * catalog.cpp - the catalog tables, the SYSCAT views over them and the lookups the translator
 * and the DDL executor use.
 */
#include "catalog.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "errors.h"
#include "lexer.h"
#include "sqlutil.h"

namespace quarn {
namespace {

// The engine's own tables.  Text columns compare as Quarn compares strings: trailing blanks
// do not count.
const char *const kCatalogDdl = R"SQL(
CREATE TABLE "SYSQUARN.PROPERTIES"(NAME TEXT PRIMARY KEY, VALUE TEXT);
CREATE TABLE "SYSQUARN.TABLES"(TABSCHEMA TEXT COLLATE RTRIM NOT NULL, TABNAME TEXT COLLATE RTRIM NOT NULL,
  TYPE TEXT NOT NULL, BASE_TABSCHEMA TEXT COLLATE RTRIM, BASE_TABNAME TEXT COLLATE RTRIM, DEFINER TEXT COLLATE RTRIM,
  TBSPACE TEXT COLLATE RTRIM, CREATE_TIME TEXT, TEXT TEXT, PRIMARY KEY(TABSCHEMA, TABNAME));
CREATE TABLE "SYSQUARN.COLUMNS"(TABSCHEMA TEXT COLLATE RTRIM NOT NULL, TABNAME TEXT COLLATE RTRIM NOT NULL,
  COLNAME TEXT COLLATE RTRIM NOT NULL, COLNO INTEGER NOT NULL, TYPESCHEMA TEXT COLLATE RTRIM, TYPENAME TEXT COLLATE RTRIM,
  LENGTH INTEGER, SCALE INTEGER, NULLS TEXT, "DEFAULT" TEXT, DEFAULTSQL TEXT, KEYSEQ INTEGER, FORBITDATA TEXT, LOGGED TEXT,
  SQLDECL TEXT, PRIMARY KEY(TABSCHEMA, TABNAME, COLNAME));
CREATE TABLE "SYSQUARN.CONSTRAINTS"(TABSCHEMA TEXT COLLATE RTRIM NOT NULL, TABNAME TEXT COLLATE RTRIM NOT NULL,
  CONSTNAME TEXT COLLATE RTRIM NOT NULL, TYPE TEXT NOT NULL, COLNAMES TEXT, REFTABSCHEMA TEXT COLLATE RTRIM,
  REFTABNAME TEXT COLLATE RTRIM, REFCOLNAMES TEXT, DELETERULE TEXT, CHECKSQL TEXT, CHECKTEXT TEXT, SEQ INTEGER,
  PRIMARY KEY(TABSCHEMA, TABNAME, CONSTNAME));
CREATE TABLE "SYSQUARN.DATATYPES"(TYPESCHEMA TEXT COLLATE RTRIM NOT NULL, TYPENAME TEXT COLLATE RTRIM NOT NULL,
  DEFINER TEXT COLLATE RTRIM, SOURCESCHEMA TEXT COLLATE RTRIM, SOURCENAME TEXT COLLATE RTRIM, METATYPE TEXT,
  TYPEID INTEGER, LENGTH INTEGER, SCALE INTEGER, COMPARISONS TEXT, CREATE_TIME TEXT, PRIMARY KEY(TYPESCHEMA, TYPENAME));
CREATE TABLE "SYSQUARN.ROUTINES"(ROUTINESCHEMA TEXT COLLATE RTRIM NOT NULL, ROUTINENAME TEXT COLLATE RTRIM NOT NULL,
  SPECIFICNAME TEXT COLLATE RTRIM NOT NULL, ROUTINETYPE TEXT, FUNCTIONTYPE TEXT, ORIGIN TEXT, DEFINER TEXT COLLATE RTRIM,
  PARM_COUNT INTEGER, LANGUAGE TEXT, PARAMETER_STYLE TEXT, IMPLEMENTATION TEXT, DETERMINISTIC TEXT, FENCED TEXT,
  NULLCALL TEXT, SQL_DATA_ACCESS TEXT, EXTERNAL_ACTION TEXT, SCRATCHPAD TEXT, FINAL_CALL TEXT, PARALLEL TEXT,
  DBINFO TEXT, RESULT_SETS INTEGER, SOURCESCHEMA TEXT COLLATE RTRIM, SOURCESPECIFIC TEXT COLLATE RTRIM,
  CREATE_TIME TEXT, TEXT TEXT, PRIMARY KEY(ROUTINESCHEMA, SPECIFICNAME));
CREATE TABLE "SYSQUARN.ROUTINEPARMS"(ROUTINESCHEMA TEXT COLLATE RTRIM NOT NULL, SPECIFICNAME TEXT COLLATE RTRIM NOT NULL,
  ROWTYPE TEXT NOT NULL, ORDINAL INTEGER NOT NULL, PARMNAME TEXT COLLATE RTRIM, TYPESCHEMA TEXT COLLATE RTRIM,
  TYPENAME TEXT COLLATE RTRIM, LENGTH INTEGER, SCALE INTEGER, LOCATOR TEXT, PRIMARY KEY(ROUTINESCHEMA, SPECIFICNAME, ROWTYPE, ORDINAL));
CREATE TABLE "SYSQUARN.TRIGGERS"(TRIGSCHEMA TEXT COLLATE RTRIM NOT NULL, TRIGNAME TEXT COLLATE RTRIM NOT NULL,
  TABSCHEMA TEXT COLLATE RTRIM, TABNAME TEXT COLLATE RTRIM, DEFINER TEXT COLLATE RTRIM, QUALIFIER TEXT COLLATE RTRIM,
  FUNC_PATH TEXT, TRIGTIME TEXT, TRIGEVENT TEXT, GRANULARITY TEXT, CREATE_TIME TEXT, SEQ INTEGER, TEXT TEXT,
  PRIMARY KEY(TRIGSCHEMA, TRIGNAME));
CREATE TABLE "SYSQUARN.TRIGDEP"(TRIGSCHEMA TEXT COLLATE RTRIM NOT NULL, TRIGNAME TEXT COLLATE RTRIM NOT NULL,
  BTYPE TEXT, BSCHEMA TEXT COLLATE RTRIM, BNAME TEXT COLLATE RTRIM);
CREATE TABLE "SYSQUARN.TABLESPACES"(TBSPACE TEXT COLLATE RTRIM PRIMARY KEY, TBSPACEID INTEGER, DEFINER TEXT COLLATE RTRIM,
  CREATE_TIME TEXT, TBSPACETYPE TEXT, DATATYPE TEXT, TEXT TEXT);
CREATE TABLE "SYSQUARN.AUTH"(GRANTOR TEXT COLLATE RTRIM, GRANTEE TEXT COLLATE RTRIM NOT NULL, GRANTEETYPE TEXT NOT NULL,
  OBJTYPE TEXT NOT NULL, OBJSCHEMA TEXT COLLATE RTRIM NOT NULL, OBJNAME TEXT COLLATE RTRIM NOT NULL, PRIVILEGE TEXT NOT NULL,
  GRANTABLE TEXT, PRIMARY KEY(GRANTEE, GRANTEETYPE, OBJTYPE, OBJSCHEMA, OBJNAME, PRIVILEGE));
CREATE TABLE "SYSQUARN.SEQUENCES"(SEQNAME TEXT PRIMARY KEY, NEXTVAL INTEGER NOT NULL, INCREMENT INTEGER NOT NULL);
INSERT INTO "SYSQUARN.PROPERTIES" VALUES('GENERATION', '1');
INSERT INTO "SYSQUARN.PROPERTIES" VALUES('GRAPHIC', 'Y');
INSERT INTO "SYSQUARN.PROPERTIES" VALUES('CODEPAGE', '1208');
)SQL";

struct ViewColumn {
  const char *name;
  const char *type;  // Quarn type as the catalog shows it: V = VARCHAR(128), C = CHAR(1), I = INTEGER,
                     // S = SMALLINT, T = TIMESTAMP, L = CLOB(2M)
};

struct CatalogView {
  const char *name;
  std::vector<ViewColumn> columns;
  const char *body;
};

// The SYSCAT views: column list with catalog types and the SQLite body, one source for the
// view definitions and their catalog rows.
const std::vector<CatalogView> &catalogViews() {
  static const std::vector<CatalogView> kViews = {
      {"TABLES",
       {{"TABSCHEMA", "V"}, {"TABNAME", "V"}, {"DEFINER", "V"}, {"TYPE", "C"}, {"STATUS", "C"},
        {"BASE_TABSCHEMA", "V"}, {"BASE_TABNAME", "V"}, {"CREATE_TIME", "T"}, {"COLCOUNT", "S"},
        {"KEYCOLUMNS", "S"}, {"TBSPACE", "V"}, {"REMARKS", "V"}},
       R"(SELECT t.TABSCHEMA, t.TABNAME, t.DEFINER, t.TYPE, 'N', t.BASE_TABSCHEMA, t.BASE_TABNAME, t.CREATE_TIME,
  (SELECT count(*) FROM "SYSQUARN.COLUMNS" c WHERE c.TABSCHEMA = t.TABSCHEMA AND c.TABNAME = t.TABNAME),
  (SELECT count(*) FROM "SYSQUARN.COLUMNS" c WHERE c.TABSCHEMA = t.TABSCHEMA AND c.TABNAME = t.TABNAME AND c.KEYSEQ > 0),
  t.TBSPACE, NULL FROM "SYSQUARN.TABLES" t)"},
      {"COLUMNS",
       {{"TABSCHEMA", "V"}, {"TABNAME", "V"}, {"COLNAME", "V"}, {"COLNO", "S"}, {"TYPESCHEMA", "V"},
        {"TYPENAME", "V"}, {"LENGTH", "I"}, {"SCALE", "S"}, {"DEFAULT", "V"}, {"NULLS", "C"},
        {"CODEPAGE", "S"}, {"LOGGED", "C"}, {"KEYSEQ", "S"}, {"REMARKS", "V"}},
       R"(SELECT TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, LENGTH, SCALE, "DEFAULT", NULLS,
  CASE WHEN FORBITDATA = 'Y' THEN 0 WHEN TYPENAME IN ('CHARACTER','VARCHAR','LONG VARCHAR','CLOB') THEN 1208
       WHEN TYPENAME IN ('GRAPHIC','VARGRAPHIC','LONG VARGRAPHIC','DBCLOB') THEN 1200 ELSE 0 END,
  LOGGED, CASE WHEN KEYSEQ > 0 THEN KEYSEQ END, NULL FROM "SYSQUARN.COLUMNS")"},
      {"TRIGGERS",
       {{"TRIGSCHEMA", "V"}, {"TRIGNAME", "V"}, {"DEFINER", "V"}, {"TABSCHEMA", "V"}, {"TABNAME", "V"},
        {"TRIGTIME", "C"}, {"TRIGEVENT", "C"}, {"GRANULARITY", "C"}, {"VALID", "C"}, {"CREATE_TIME", "T"},
        {"QUALIFIER", "V"}, {"FUNC_PATH", "L"}, {"TEXT", "L"}, {"REMARKS", "V"}},
       R"(SELECT TRIGSCHEMA, TRIGNAME, DEFINER, TABSCHEMA, TABNAME, TRIGTIME, TRIGEVENT, GRANULARITY, 'Y',
  CREATE_TIME, QUALIFIER, FUNC_PATH, TEXT, NULL FROM "SYSQUARN.TRIGGERS")"},
      {"TRIGDEP",
       {{"TRIGSCHEMA", "V"}, {"TRIGNAME", "V"}, {"BTYPE", "C"}, {"BSCHEMA", "V"}, {"BNAME", "V"}, {"TABAUTH", "S"}},
       R"(SELECT TRIGSCHEMA, TRIGNAME, BTYPE, BSCHEMA, BNAME, 0 FROM "SYSQUARN.TRIGDEP")"},
      {"DATATYPES",
       {{"TYPESCHEMA", "V"}, {"TYPENAME", "V"}, {"DEFINER", "V"}, {"SOURCESCHEMA", "V"}, {"SOURCENAME", "V"},
        {"METATYPE", "C"}, {"TYPEID", "S"}, {"LENGTH", "I"}, {"SCALE", "S"}, {"CREATE_TIME", "T"}, {"REMARKS", "V"}},
       R"(SELECT TYPESCHEMA, TYPENAME, DEFINER, SOURCESCHEMA, SOURCENAME, METATYPE, TYPEID, LENGTH, SCALE,
  CREATE_TIME, NULL FROM "SYSQUARN.DATATYPES")"},
      {"ROUTINES",
       {{"ROUTINESCHEMA", "V"}, {"ROUTINENAME", "V"}, {"ROUTINETYPE", "C"}, {"DEFINER", "V"}, {"SPECIFICNAME", "V"},
        {"ORIGIN", "C"}, {"FUNCTIONTYPE", "C"}, {"PARM_COUNT", "S"}, {"LANGUAGE", "V"}, {"PARAMETER_STYLE", "V"},
        {"DETERMINISTIC", "C"}, {"EXTERNAL_ACTION", "C"}, {"FENCED", "C"}, {"NULLCALL", "C"}, {"SCRATCHPAD", "C"},
        {"FINAL_CALL", "C"}, {"PARALLEL", "C"}, {"DBINFO", "C"}, {"SQL_DATA_ACCESS", "C"}, {"RESULT_SETS", "S"},
        {"IMPLEMENTATION", "V"}, {"SOURCESCHEMA", "V"}, {"SOURCESPECIFIC", "V"}, {"CREATE_TIME", "T"}, {"TEXT", "L"}},
       R"(SELECT ROUTINESCHEMA, ROUTINENAME, ROUTINETYPE, DEFINER, SPECIFICNAME, ORIGIN, FUNCTIONTYPE, PARM_COUNT,
  LANGUAGE, PARAMETER_STYLE, DETERMINISTIC, EXTERNAL_ACTION, FENCED, NULLCALL, SCRATCHPAD, FINAL_CALL, PARALLEL, DBINFO,
  SQL_DATA_ACCESS, RESULT_SETS, IMPLEMENTATION, SOURCESCHEMA, SOURCESPECIFIC, CREATE_TIME, TEXT FROM "SYSQUARN.ROUTINES")"},
      {"ROUTINEPARMS",
       {{"ROUTINESCHEMA", "V"}, {"SPECIFICNAME", "V"}, {"PARMNAME", "V"}, {"ROWTYPE", "C"}, {"ORDINAL", "S"},
        {"TYPESCHEMA", "V"}, {"TYPENAME", "V"}, {"LENGTH", "I"}, {"SCALE", "S"}, {"LOCATOR", "C"}},
       R"(SELECT ROUTINESCHEMA, SPECIFICNAME, PARMNAME, ROWTYPE, ORDINAL, TYPESCHEMA, TYPENAME, LENGTH, SCALE, LOCATOR
  FROM "SYSQUARN.ROUTINEPARMS")"},
      {"TABLESPACES",
       {{"TBSPACE", "V"}, {"DEFINER", "V"}, {"CREATE_TIME", "T"}, {"TBSPACEID", "I"}, {"TBSPACETYPE", "C"},
        {"DATATYPE", "C"}, {"REMARKS", "V"}},
       R"(SELECT TBSPACE, DEFINER, CREATE_TIME, TBSPACEID, TBSPACETYPE, DATATYPE, NULL FROM "SYSQUARN.TABLESPACES")"},
      {"TABCONST",
       {{"CONSTNAME", "V"}, {"TABSCHEMA", "V"}, {"TABNAME", "V"}, {"TYPE", "C"}, {"ENFORCED", "C"}},
       R"(SELECT CONSTNAME, TABSCHEMA, TABNAME, TYPE, 'Y' FROM "SYSQUARN.CONSTRAINTS")"},
      {"REFERENCES",
       {{"CONSTNAME", "V"}, {"TABSCHEMA", "V"}, {"TABNAME", "V"}, {"REFTABSCHEMA", "V"}, {"REFTABNAME", "V"},
        {"FK_COLNAMES", "V"}, {"PK_COLNAMES", "V"}, {"DELETERULE", "C"}},
       R"(SELECT CONSTNAME, TABSCHEMA, TABNAME, REFTABSCHEMA, REFTABNAME, COLNAMES, REFCOLNAMES, DELETERULE
  FROM "SYSQUARN.CONSTRAINTS" WHERE TYPE = 'F')"},
      {"TABAUTH",
       {{"GRANTOR", "V"}, {"GRANTEE", "V"}, {"GRANTEETYPE", "C"}, {"TABSCHEMA", "V"}, {"TABNAME", "V"},
        {"CONTROLAUTH", "C"}, {"ALTERAUTH", "C"}, {"DELETEAUTH", "C"}, {"INDEXAUTH", "C"}, {"INSERTAUTH", "C"},
        {"SELECTAUTH", "C"}, {"REFAUTH", "C"}, {"UPDATEAUTH", "C"}},
       R"(SELECT max(GRANTOR), GRANTEE, GRANTEETYPE, OBJSCHEMA, OBJNAME,
  max(CASE WHEN PRIVILEGE = 'CONTROL' THEN 'Y' ELSE 'N' END), max(CASE WHEN PRIVILEGE = 'ALTER' THEN 'Y' ELSE 'N' END),
  max(CASE WHEN PRIVILEGE = 'DELETE' THEN 'Y' ELSE 'N' END), max(CASE WHEN PRIVILEGE = 'INDEX' THEN 'Y' ELSE 'N' END),
  max(CASE WHEN PRIVILEGE = 'INSERT' THEN 'Y' ELSE 'N' END), max(CASE WHEN PRIVILEGE = 'SELECT' THEN 'Y' ELSE 'N' END),
  max(CASE WHEN PRIVILEGE = 'REFERENCES' THEN 'Y' ELSE 'N' END), max(CASE WHEN PRIVILEGE = 'UPDATE' THEN 'Y' ELSE 'N' END)
  FROM "SYSQUARN.AUTH" WHERE OBJTYPE = 'T' GROUP BY GRANTEE, GRANTEETYPE, OBJSCHEMA, OBJNAME)"},
      {"ROUTINEAUTH",
       {{"GRANTOR", "V"}, {"GRANTEE", "V"}, {"GRANTEETYPE", "C"}, {"SCHEMA", "V"}, {"SPECIFICNAME", "V"},
        {"ROUTINETYPE", "C"}, {"EXECUTEAUTH", "C"}},
       R"(SELECT GRANTOR, GRANTEE, GRANTEETYPE, OBJSCHEMA, OBJNAME, OBJTYPE, 'Y' FROM "SYSQUARN.AUTH"
  WHERE OBJTYPE IN ('F','P'))"},
      {"DBAUTH",
       {{"GRANTOR", "V"}, {"GRANTEE", "V"}, {"GRANTEETYPE", "C"}, {"AUTHORITY", "V"}},
       R"(SELECT GRANTOR, GRANTEE, GRANTEETYPE, PRIVILEGE FROM "SYSQUARN.AUTH" WHERE OBJTYPE = 'D')"},
  };
  return kViews;
}

QType viewColumnType(const char *code) {
  QType t;
  switch (code[0]) {
    case 'V': t.base = Base::Varchar; t.length = 128; break;
    case 'C': t.base = Base::Char; t.length = 1; break;
    case 'I': t.base = Base::Integer; break;
    case 'S': t.base = Base::SmallInt; break;
    case 'T': t.base = Base::Timestamp; break;
    default: t.base = Base::Clob; t.length = 2 * 1024 * 1024; break;
  }
  return t;
}

std::vector<std::string> splitList(const std::string &s) {
  std::vector<std::string> out;
  size_t start = 0;
  if (s.empty()) return out;
  for (;;) {
    size_t sep = s.find('\x1F', start);
    out.push_back(s.substr(start, sep == std::string::npos ? sep : sep - start));
    if (sep == std::string::npos) break;
    start = sep + 1;
  }
  return out;
}

ConstraintInfo readConstraint(Stmt &st, int first) {
  ConstraintInfo c;
  c.name = st.text(first);
  c.type = st.text(first + 1).c_str()[0];
  c.cols = splitList(st.text(first + 2));
  c.refSchema = st.text(first + 3);
  c.refTable = st.text(first + 4);
  c.refCols = splitList(st.text(first + 5));
  std::string rule = st.text(first + 6);
  c.deleteRule = rule.empty() ? 'A' : rule[0];
  c.checkSql = st.text(first + 7);
  return c;
}

}  // namespace

std::string sqliteName(const std::string &schema, const std::string &name) { return quoteIdent(schema + "." + name); }

std::string sqliteSubName(const std::string &schema, const std::string &table, const std::string &part) {
  return quoteIdent(schema + "." + table + "::" + part);
}

const ColumnDef *TableInfo::column(const std::string &n) const {
  for (const ColumnDef &c : columns)
    if (c.name == n) return &c;
  return nullptr;
}

std::string catalogTimestamp() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm tmv;
  localtime_r(&tv.tv_sec, &tmv);
  char buf[96];  // room for any int the format could print, so nothing is ever cut
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06ld", tmv.tm_year + 1900, tmv.tm_mon + 1,
                tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec, static_cast<long>(tv.tv_usec));
  return buf;
}

void bootstrapCatalog(sqlite3 *db, const std::string &definer) {
  execSql(db, kCatalogDdl);
  std::string now = catalogTimestamp();
  Stmt addTable(db, "INSERT INTO \"SYSQUARN.TABLES\"(TABSCHEMA, TABNAME, TYPE, DEFINER, CREATE_TIME, TBSPACE) "
                    "VALUES('SYSCAT', ?1, 'V', 'SYSOSTREL', ?2, 'SYSCATSPACE')");
  Stmt addColumn(db, "INSERT INTO \"SYSQUARN.COLUMNS\"(TABSCHEMA, TABNAME, COLNAME, COLNO, TYPESCHEMA, TYPENAME, "
                     "LENGTH, SCALE, NULLS, KEYSEQ, FORBITDATA, LOGGED, SQLDECL) "
                     "VALUES('SYSCAT', ?1, ?2, ?3, 'SYSOSTREL', ?4, ?5, 0, 'Y', 0, 'N', 'Y', ?6)");
  for (const CatalogView &v : catalogViews()) {
    std::string cols;
    int colno = 0;
    for (const ViewColumn &c : v.columns) {
      if (colno) cols += ", ";
      cols += quoteIdent(c.name);
      QType t = viewColumnType(c.type);
      addColumn.bind(1, std::string(v.name)).bind(2, std::string(c.name)).bind(3, int64_t{colno})
          .bind(4, t.builtinName()).bind(5, t.catalogLength()).bind(6, t.sqliteDecl());
      addColumn.step();
      addColumn.reset();
      ++colno;
    }
    execSql(db, "CREATE VIEW " + sqliteName("SYSCAT", v.name) + "(" + cols + ") AS " + v.body);
    addTable.bind(1, std::string(v.name)).bind(2, now);
    addTable.step();
    addTable.reset();
  }
  // Built-in data types, so SYSCAT.DATATYPES answers for them as for distinct types.
  static const char *const kBuiltins[][2] = {
      {"SMALLINT", "2"}, {"INTEGER", "4"}, {"BIGINT", "8"}, {"DECIMAL", "5"}, {"REAL", "4"}, {"DOUBLE", "8"},
      {"CHARACTER", "1"}, {"VARCHAR", "32672"}, {"LONG VARCHAR", "32700"}, {"CLOB", "2147483647"},
      {"BLOB", "2147483647"}, {"DBCLOB", "1073741823"}, {"GRAPHIC", "1"}, {"VARGRAPHIC", "16336"},
      {"LONG VARGRAPHIC", "16350"}, {"DATE", "4"}, {"TIME", "3"}, {"TIMESTAMP", "10"}};
  Stmt addType(db, "INSERT INTO \"SYSQUARN.DATATYPES\"(TYPESCHEMA, TYPENAME, DEFINER, METATYPE, TYPEID, LENGTH, SCALE, "
                   "CREATE_TIME) VALUES('SYSOSTREL', ?1, 'SYSOSTREL', 'S', ?2, ?3, 0, ?4)");
  int64_t id = 1;
  for (const auto &b : kBuiltins) {
    addType.bind(1, std::string(b[0])).bind(2, id++).bind(3, int64_t{std::atoll(b[1])}).bind(4, now);
    addType.step();
    addType.reset();
  }
  Stmt addSpace(db, "INSERT INTO \"SYSQUARN.TABLESPACES\" VALUES(?1, ?2, 'SYSOSTREL', ?3, 'S', ?4, NULL)");
  static const char *const kSpaces[][2] = {{"SYSCATSPACE", "A"}, {"TEMPSPACE1", "T"}, {"USERSPACE1", "A"}};
  id = 0;
  for (const auto &s : kSpaces) {
    addSpace.bind(1, std::string(s[0])).bind(2, id++).bind(3, now).bind(4, std::string(s[1]));
    addSpace.step();
    addSpace.reset();
  }
  Stmt addAuth(db, "INSERT INTO \"SYSQUARN.AUTH\" VALUES('SYSOSTREL', ?1, 'U', 'D', '', '', 'DBADM', 'N')");
  addAuth.bind(1, definer);
  addAuth.step();
}

std::string identitySequence(const std::string &schema, const std::string &table, const std::string &column) {
  return quoteIdent(schema) + "." + quoteIdent(table) + "." + quoteIdent(column);
}

std::string identityCall(const std::string &schema, const std::string &table, const std::string &column, char generated) {
  return "QIDENTITY(" + quoteString(identitySequence(schema, table, column)) + ", '" + std::string(1, generated) + "')";
}

std::string identitySequenceOf(const std::string &defaultSql) {
  // QIDENTITY('<sequence>', 'A'): the literal between the call's "(" and its last ", ".
  const size_t open = std::string("QIDENTITY(").size();
  size_t comma = defaultSql.rfind(", ");
  if (comma == std::string::npos || comma < open + 2) return "";
  std::string out;
  for (size_t k = open + 1; k + 1 < comma; ++k) {
    out.push_back(defaultSql[k]);
    if (defaultSql[k] == '\'' && defaultSql[k + 1] == '\'') ++k;
  }
  return out;
}

bool viewOperative(sqlite3 *db, const std::string &schema, const std::string &name) {
  Stmt st(db, "SELECT 1 FROM sqlite_schema WHERE type = 'view' AND name = ?1");
  st.bind(1, schema + "." + name);
  return st.step();
}

std::optional<TableInfo> findTable(sqlite3 *db, const std::string &schema, const std::string &name) {
  Stmt st(db, "SELECT TYPE, BASE_TABSCHEMA, BASE_TABNAME, TBSPACE FROM \"SYSQUARN.TABLES\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2");
  st.bind(1, schema).bind(2, name);
  if (!st.step()) return std::nullopt;
  TableInfo t;
  t.schema = schema;
  t.name = name;
  t.type = st.text(0).c_str()[0];
  t.baseSchema = st.text(1);
  t.baseName = st.text(2);
  t.tbspace = st.text(3);
  Stmt cols(db, "SELECT COLNAME, SQLDECL, TYPESCHEMA, TYPENAME, NULLS, \"DEFAULT\", DEFAULTSQL, KEYSEQ, LOGGED, LENGTH, SCALE "
                "FROM \"SYSQUARN.COLUMNS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2 ORDER BY COLNO");
  cols.bind(1, schema).bind(2, name);
  while (cols.step()) {
    ColumnDef c;
    c.name = cols.text(0);
    c.type = typeFromDecl(cols.text(1).c_str());
    if (c.type.base == Base::None) c.type = typeFromCatalog(cols.text(3), cols.integer(9), static_cast<int>(cols.integer(10)));
    if (cols.text(2) != kSystemSchema) {
      c.type.typeSchema = cols.text(2);
      c.type.typeName = cols.text(3);
    }
    c.nullable = cols.text(4) != "N";
    c.defaultText = cols.text(5);
    c.defaultSql = cols.text(6);
    c.keyseq = static_cast<int>(cols.integer(7));
    c.logged = cols.text(8) != "N";
    if (c.defaultSql.rfind("QIDENTITY(", 0) == 0 && c.defaultSql.size() > 5) c.identity = c.defaultSql[c.defaultSql.size() - 3];
    t.columns.push_back(std::move(c));
  }
  return t;
}

std::vector<ConstraintInfo> constraintsOf(sqlite3 *db, const std::string &schema, const std::string &table) {
  Stmt st(db, "SELECT CONSTNAME, TYPE, COLNAMES, REFTABSCHEMA, REFTABNAME, REFCOLNAMES, DELETERULE, CHECKSQL "
              "FROM \"SYSQUARN.CONSTRAINTS\" WHERE TABSCHEMA = ?1 AND TABNAME = ?2 ORDER BY SEQ");
  st.bind(1, schema).bind(2, table);
  std::vector<ConstraintInfo> out;
  while (st.step()) out.push_back(readConstraint(st, 0));
  return out;
}

std::vector<std::pair<std::string, ConstraintInfo>> referencingConstraints(sqlite3 *db, const std::string &schema,
                                                                           const std::string &table) {
  Stmt st(db, "SELECT TABSCHEMA, TABNAME, CONSTNAME, TYPE, COLNAMES, REFTABSCHEMA, REFTABNAME, REFCOLNAMES, DELETERULE, "
              "CHECKSQL FROM \"SYSQUARN.CONSTRAINTS\" WHERE TYPE = 'F' AND REFTABSCHEMA = ?1 AND REFTABNAME = ?2 ORDER BY SEQ");
  st.bind(1, schema).bind(2, table);
  std::vector<std::pair<std::string, ConstraintInfo>> out;
  while (st.step()) {
    std::string owner = st.text(0) + std::string(1, '\x1F') + st.text(1);
    out.emplace_back(owner, readConstraint(st, 2));
  }
  return out;
}

std::optional<DistinctType> findDistinctType(sqlite3 *db, const std::string &schema, const std::string &name) {
  Stmt st(db, "SELECT SOURCENAME, LENGTH, SCALE FROM \"SYSQUARN.DATATYPES\" WHERE TYPESCHEMA = ?1 AND TYPENAME = ?2 "
              "AND METATYPE = 'T'");
  st.bind(1, schema).bind(2, name);
  if (!st.step()) return std::nullopt;
  DistinctType d;
  d.schema = schema;
  d.name = name;
  d.source = typeFromCatalog(st.text(0), st.integer(1), static_cast<int>(st.integer(2)));
  return d;
}

bool tablespaceExists(sqlite3 *db, const std::string &name) {
  Stmt st(db, "SELECT 1 FROM \"SYSQUARN.TABLESPACES\" WHERE TBSPACE = ?1");
  st.bind(1, name);
  return st.step();
}

int64_t catalogGeneration(sqlite3 *db) {
  Stmt st(db, "SELECT VALUE FROM \"SYSQUARN.PROPERTIES\" WHERE NAME = 'GENERATION'");
  return st.step() ? std::atoll(st.text(0).c_str()) : 0;
}

void bumpGeneration(sqlite3 *db) {
  execSql(db, "UPDATE \"SYSQUARN.PROPERTIES\" SET VALUE = CAST(VALUE AS INTEGER) + 1 WHERE NAME = 'GENERATION'");
}

void advanceGeneration(sqlite3 *db, int64_t past) {
  Stmt st(db, "UPDATE \"SYSQUARN.PROPERTIES\" SET VALUE = ?1 WHERE NAME = 'GENERATION'");
  st.bind(1, std::to_string(past + 1));
  st.step();
}

std::string property(sqlite3 *db, const std::string &name) {
  Stmt st(db, "SELECT VALUE FROM \"SYSQUARN.PROPERTIES\" WHERE NAME = ?1");
  st.bind(1, name);
  return st.step() ? st.text(0) : std::string();
}

void setProperty(sqlite3 *db, const std::string &name, const std::string &value) {
  Stmt st(db, "INSERT OR REPLACE INTO \"SYSQUARN.PROPERTIES\" VALUES(?1, ?2)");
  st.bind(1, name).bind(2, value);
  st.step();
}

}  // namespace quarn
