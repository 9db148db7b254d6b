// kelmigv.cpp - the migration command: brings a database enabled by an earlier level up to the
// current one.  It extends QUARNXML.XML_USAGE, soft-disables the XML columns below the current
// level (remembering them in QUARNXML.XML_TEMP), runs the statement lists of kelmiglist.h with
// their "already done" recognitions, replaces the catalogue table's key and re-enables the
// columns one by one, committing each, so that an interrupted run is continued by the next.
// Every line goes to standard output; the exit status is the status of the last step.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kelmiglist.h"
#include "quarnapp.h"
#include "sqlcodes.h"

namespace {

// Statuses of the steps (the exit status is the last one).
constexpr int kFailed = -1;
constexpr int kDone = 0;
constexpr int kFp3NotNeeded = 1;
constexpr int kNoDoubleByte = 2;
constexpr int kNoDoubleByteMigration = 4;
constexpr int kProceduresDone = 5;
constexpr int kFunctionsDone = 6;
constexpr int kFp5Done = 8;
constexpr int kNoTriggerMigration = 12;

constexpr size_t kMaxDbName = 18;
constexpr int kMsgBytes = 1025;
constexpr double kCurrentVersion = 5.0;
constexpr sqlint32 kXmlColumnMode = 0;

constexpr const char *kSoftDisable = "QUARNXML.KELSOFTDISABLECOLUMN";
constexpr const char *kReEnable = "QUARNXML.KELREENABLECOLUMN";

// A name as a delimited identifier, its inner double quotes doubled.
std::string delimited(const std::string &name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

// A name as SQL text: an ordinary upper-case identifier stays as it is, anything else becomes a
// delimited identifier, so that mixed-case schemas, tables and columns keep their case instead
// of folding to other objects.
std::string sqlName(const std::string &name) {
  bool ordinary = !name.empty() && name[0] >= 'A' && name[0] <= 'Z';
  for (char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) ordinary = false;
  return ordinary ? name : delimited(name);
}

int exec(const std::string &sql) {
  sqlca ca{};
  return quarn_execute_immediate(sql.c_str(), &ca);
}

// A prepared statement of the current connection, freed with its owner.
class Stmt {
 public:
  Stmt() = default;
  ~Stmt() {
    if (stmt_ != nullptr) quarn_free_stmt(stmt_);
  }
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;
  int prepare(const char *sql, sqlca *ca) { return quarn_prepare(sql, &stmt_, ca); }
  quarn_stmt *get() { return stmt_; }

 private:
  quarn_stmt *stmt_ = nullptr;
};

quarn_hostvar textIn(const std::string &value) {
  return {SQL_TYP_CSTR, static_cast<sqlint32>(value.size() + 1), const_cast<char *>(value.c_str()),
          nullptr};
}

// One row of QUARNXML.XML_TEMP: an XML column whose triggers are regenerated.
struct Column {
  std::string schema, table, column, definer, qualifier;
};

// Reads the rows of a query of five text columns (NULL reads as empty) with the access mode and
// version as its two parameters when withParams.  Returns the SQLCODE (0 or < 0).
int readColumns(const char *sql, bool withParams, std::vector<Column> *out, int columns = 5) {
  sqlca ca{};
  Stmt stmt;
  if (stmt.prepare(sql, &ca) < 0) return ca.sqlcode;
  sqlint32 mode = kXmlColumnMode;
  double version = kCurrentVersion;
  quarn_hostvar in[2] = {{SQL_TYP_INTEGER, sizeof mode, &mode, nullptr},
                         {SQL_TYP_FLOAT, sizeof version, &version, nullptr}};
  if (quarn_open(stmt.get(), withParams ? 2 : 0, in, &ca) < 0) return ca.sqlcode;
  char buf[5][520];  // 128 characters of up to four bytes each
  short ind[5];
  quarn_hostvar row[5];
  for (int i = 0; i < 5; ++i) row[i] = {SQL_TYP_CSTR, sizeof buf[i], buf[i], &ind[i]};
  for (;;) {
    int code = quarn_fetch(stmt.get(), columns, row, &ca);
    if (code == SQL_RC_W100) break;
    if (code < 0) {
      sqlca closed{};
      quarn_close(stmt.get(), &closed);
      return code;
    }
    std::string v[5];
    for (int i = 0; i < columns; ++i) v[i] = ind[i] < 0 ? "" : buf[i];
    out->push_back({v[0], v[1], v[2], v[3], v[4]});
  }
  return 0;
}

// Runs a query with one result row expected; *found tells whether it had one.
int exists(const char *sql, bool *found) {
  std::vector<Column> rows;
  int code = readColumns(sql, false, &rows, 1);
  *found = !rows.empty();
  return code;
}

// Sets *own when QUARNXML.XML_TEMP is the work table softDisable creates: its five columns by
// name, type, length and nullability, no key and no trigger that depends on it. A table of the
// same name made otherwise (a side table a DAD once placed there has one NOT NULL column and is
// named by its column's triggers) is no list of columns to re-enable. Returns the SQLCODE.
int ownTemp(bool *own) {
  *own = false;
  std::vector<Column> cols;
  int code = readColumns(
      "SELECT COLNAME, TYPENAME, RTRIM(CHAR(LENGTH)), NULLS FROM SYSCAT.COLUMNS WHERE TABSCHEMA = 'QUARNXML' "
      "AND TABNAME = 'XML_TEMP' ORDER BY COLNO",
      false, &cols, 4);
  if (code < 0) return code;
  static const char *const kShape[5][4] = {{"TABLE_SCHEMA", "VARCHAR", "30", "N"},
                                           {"TABLE_NAME", "VARCHAR", "128", "N"},
                                           {"COL_NAME", "VARCHAR", "30", "N"},
                                           {"TRG_DEFINER", "VARCHAR", "128", "Y"},
                                           {"TRG_QUALIFIER", "VARCHAR", "128", "Y"}};
  if (cols.size() != 5) return 0;
  for (size_t i = 0; i < 5; ++i) {
    const Column &c = cols[i];
    if (c.schema != kShape[i][0] || c.table != kShape[i][1] || c.column != kShape[i][2] || c.definer != kShape[i][3])
      return 0;
  }
  // A table, and the migrating user's: another user who could make one of that shape in
  // QUARNXML must not hand the administrator's next run a list of columns to re-enable.
  bool mine = false, keyed = false, named = false;
  if ((code = exists("SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML' AND TABNAME = 'XML_TEMP' AND "
                     "TYPE = 'T' AND DEFINER = USER",
                     &mine)) < 0 ||
      (code = exists("SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML' AND TABNAME = 'XML_TEMP' AND "
                     "KEYCOLUMNS > 0",
                     &keyed)) < 0 ||
      (code = exists("SELECT 1 FROM SYSCAT.TRIGDEP WHERE BSCHEMA = 'QUARNXML' AND BNAME = 'XML_TEMP'", &named)) < 0)
    return code;
  *own = mine && !keyed && !named;
  return 0;
}

// The argument entries of a CALL of the soft-disable or re-enable procedure.
struct CallArgs {
  std::string table, column;
  sqlint32 rc = 0;
  char msg[kMsgBytes] = "";
  short ind[4] = {0, 0, 0, 0};
};

// Calls procedure (table name, column name, return code, message) through a descriptor area.
// Returns 0, or -1 after printing the failure as the command reports it.
int callColumnProcedure(const char *procedure, CallArgs *args) {
  std::vector<char> bytes(static_cast<size_t>(SQLDASIZE(4)), 0);
  auto *da = reinterpret_cast<sqlda *>(bytes.data());
  std::memcpy(da->sqldaid, "SQLDA   ", 8);
  da->sqldabc = SQLDASIZE(4);
  da->sqln = 4;
  da->sqld = 4;
  std::vector<char> table(args->table.begin(), args->table.end()),
      column(args->column.begin(), args->column.end());
  table.push_back('\0');
  column.push_back('\0');
  struct Entry {
    short type;
    void *data;
    size_t len;
  } entries[4] = {{SQL_TYP_NCSTR, table.data(), table.size()},
                  {SQL_TYP_NCSTR, column.data(), column.size()},
                  {SQL_TYP_NINTEGER, &args->rc, sizeof args->rc},
                  {SQL_TYP_NCSTR, args->msg, sizeof args->msg}};
  for (int i = 0; i < 4; ++i) {
    da->sqlvar[i].sqltype = entries[i].type;
    da->sqlvar[i].sqllen = static_cast<short>(entries[i].len);
    da->sqlvar[i].sqldata = static_cast<char *>(entries[i].data);
    da->sqlvar[i].sqlind = &args->ind[i];
  }
  sqlca ca{};
  int code = quarn_call(procedure, da, &ca);
  if (code >= 0 && args->rc >= 0) return 0;
  std::printf("SQLCODE=%d errCode=%ld:%d\nerrMsg='%s':%d\n", static_cast<int>(ca.sqlcode),
              static_cast<long>(args->rc), args->ind[2], args->msg, args->ind[3]);
  if (ca.sqlcode != 0) {
    char text[1024] = "";
    sqlaintp_api(text, sizeof text, 80, nullptr, &ca);
    std::printf("\nThe SQLCA message is \"%s\"\n", text);
  }
  return -1;
}

std::string procedureText(const char *name, const char *entry) {
  return std::string("create procedure quarnxml.") + name +
         "(in tableName varchar(159), in columnName varchar(30), out returnCode integer, out "
         "returnMsg varchar(1024))"
         " external name 'quarnxml!" +
         entry + "' language C parameter style QUARNDARI not deterministic fenced null call";
}

// Whether every create statement of list is registered with that very text, and no routine
// that the list drops by a name it does not create again (an earlier level's name) is left.
// Returns the SQLCODE of a failed query (< 0), else 0.
int listApplied(const std::vector<std::string> &list, bool *applied) {
  *applied = true;
  sqlca ca{};
  Stmt byText, byName;
  if (byText.prepare(
          "SELECT COUNT(*) FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = 'QUARNXML' AND TEXT = ?",
          &ca) < 0 ||
      byName.prepare("SELECT COUNT(*) FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = 'QUARNXML' AND "
                     "ROUTINENAME = UPPER(?)",
                     &ca) < 0)
    return ca.sqlcode;
  const std::string dropByName = "drop procedure quarnxml.";
  for (const std::string &stmt : list) {
    std::string value;
    Stmt *query = nullptr;
    if (stmt.rfind("create ", 0) == 0) {
      value = stmt;
      query = &byText;
    } else if (stmt.rfind(dropByName, 0) == 0) {
      value = stmt.substr(dropByName.size());
      bool recreated = false;
      for (const std::string &other : list)
        if (other.rfind("create procedure quarnxml." + value + "(", 0) == 0) recreated = true;
      if (recreated) continue;
      query = &byName;
    } else {
      continue;
    }
    sqlint32 n = 0;
    quarn_hostvar in = textIn(value), out = {SQL_TYP_INTEGER, sizeof n, &n, nullptr};
    if (quarn_open(query->get(), 1, &in, &ca) < 0 || quarn_fetch(query->get(), 1, &out, &ca) < 0)
      return ca.sqlcode;
    quarn_close(query->get(), &ca);
    if ((query == &byText) != (n > 0)) *applied = false;
  }
  return 0;
}

bool alreadyThere(int code) {
  return code == SQL_RC_E454 || code == SQL_RC_E456;
}

void encountered(const char *prefix, int code, const std::string &stmt) {
  std::printf("%sEncountered SQLCODE %d \n%sWhile executing \n %s \n", prefix, code,
              *prefix != '\0' ? " " : "", stmt.c_str());
}

class Migration {
 public:
  int run();
  bool tempInUse() const { return tempInUse_; }

 private:
  int extendCatalog();
  int softDisable();
  int fp3();
  int fp4Procedures();
  int fp4Functions();
  int fp5();
  int fp7();
  int replaceKey();
  int probedList(KelMigListId id, const char *done, const char *already, int alreadyStatus);
  int fp8();
  int xmlVarchar();
  int appended();
  int reEnable();

  int status_ = kDone;
  bool tempExists_ = false;
  bool tempInUse_ = false;
  bool softDisableCreated_ = false;
};

int Migration::extendCatalog() {
  const char *addVersion =
      "ALTER TABLE QUARNXML.XML_USAGE ADD VERSION DECIMAL(3,2) NOT NULL DEFAULT 0 ADD ROOT_ID "
      "VARCHAR(128)";
  int code = exec(addVersion);
  if (code == SQL_RC_E204) {
    std::printf("The database is not enabled or has already been disabled.\n");
    return kFailed;
  }
  if (code < 0 && code != SQL_RC_E612) {
    std::printf("%s failed, sqlcode=%d\n", addVersion, code);
    return kFailed;
  }
  sqlca ca{};
  if ((code = quarn_commit(&ca)) < 0) {
    std::printf("COMMIT failed, sqlcode=%d\n", code);
    return kFailed;
  }
  const char *addQualifier = "ALTER TABLE QUARNXML.XML_USAGE ADD SIDE_TAB_QUAL VARCHAR(128)";
  code = exec(addQualifier);
  if (code < 0 && code != SQL_RC_E612) {
    std::printf("%s failed, sqlcode=%d\n", addQualifier, code);
    return kFailed;
  }
  if ((code = quarn_commit(&ca)) < 0) {
    std::printf("COMMIT failed, sqlcode=%d\n", code);
    return kFailed;
  }
  const char *lock = "LOCK TABLE QUARNXML.XML_USAGE IN EXCLUSIVE MODE";
  if ((code = exec(lock)) < 0) {
    std::printf("%s failed, sqlcode=%d\n", lock, code);
    return kFailed;
  }
  return kDone;
}

int Migration::softDisable() {
  std::vector<Column> columns;
  {
    // The count of the columns below the current level.
    sqlca ca{};
    Stmt count;
    const char *sql =
        "select count(*) from quarnxml.xml_usage          where access_mode = ? and version < ? ";
    sqlint32 mode = kXmlColumnMode, n = 0;
    double version = kCurrentVersion;
    quarn_hostvar in[2] = {{SQL_TYP_INTEGER, sizeof mode, &mode, nullptr},
                           {SQL_TYP_FLOAT, sizeof version, &version, nullptr}};
    quarn_hostvar out = {SQL_TYP_INTEGER, sizeof n, &n, nullptr};
    if (count.prepare(sql, &ca) < 0 || quarn_open(count.get(), 2, in, &ca) < 0 ||
        quarn_fetch(count.get(), 1, &out, &ca) < 0) {
      std::printf("%s failed, sqlcode=%d\n", sql, static_cast<int>(ca.sqlcode));
      return kFailed;
    }
    quarn_close(count.get(), &ca);
    if (n == 0) {
      std::printf("No trigger migration needed.\n");
      status_ = kNoTriggerMigration;
      return kDone;
    }
  }
  const char *createTemp =
      "CREATE TABLE QUARNXML.XML_TEMP (TABLE_SCHEMA VARCHAR(30) NOT NULL, TABLE_NAME VARCHAR(128) "
      "NOT NULL, "
      "COL_NAME VARCHAR(30) NOT NULL, TRG_DEFINER VARCHAR(128), TRG_QUALIFIER VARCHAR(128))";
  int code = exec(createTemp);
  if (code < 0) {
    std::printf("%s failed, sqlcode=%d\n", createTemp, code);
    return kFailed;
  }
  tempExists_ = true;
  std::string createProc = procedureText("kelSoftDisableColumn", "kelSoftDisableColumn");
  code = exec(createProc);
  if (code < 0 && !alreadyThere(code)) {
    std::printf("%s failed, sqlcode=%d\n", createProc.c_str(), code);
    return kFailed;
  }
  softDisableCreated_ = true;
  // Each column with the definer and qualifier of its insert trigger, found by the table's
  // schema and name as well as the suffix.
  const char *select =
      "SELECT RTRIM(a.TABLE_SCHEMA), RTRIM(a.TABLE_NAME), RTRIM(a.COL_NAME),b.DEFINER, b.QUALIFIER "
      " FROM  "
      "quarnxml.xml_usage a, SYSCAT.TRIGGERS b WHERE a.access_mode = ? and a.version < ?  and  "
      "b.TRIGNAME like 'J%' "
      "and a.TRIGGER_SUFFIX=SUBSTR(b.TRIGNAME,2,8) and b.TRIGSCHEMA = a.TABLE_SCHEMA and "
      "b.TABSCHEMA = a.TABLE_SCHEMA "
      "and b.TABNAME = a.TABLE_NAME ORDER BY TABLE_SCHEMA,TABLE_NAME ";
  if ((code = readColumns(select, true, &columns)) < 0) {
    std::printf("%s failed, sqlcode=%d\n", select, code);
    return kFailed;
  }
  // A counted column without its insert trigger cannot be soft-disabled: say so.
  std::vector<Column> orphans;
  const char *missing =
      "SELECT RTRIM(a.TABLE_SCHEMA), RTRIM(a.TABLE_NAME), RTRIM(a.COL_NAME), "
      "RTRIM(a.TRIGGER_SUFFIX) FROM "
      "quarnxml.xml_usage a WHERE a.access_mode = ? and a.version < ? and NOT EXISTS (SELECT 1 "
      "FROM SYSCAT.TRIGGERS b "
      "WHERE b.TRIGSCHEMA = a.TABLE_SCHEMA and b.TABSCHEMA = a.TABLE_SCHEMA and b.TABNAME = "
      "a.TABLE_NAME and "
      "b.TRIGNAME like 'J%' and a.TRIGGER_SUFFIX=SUBSTR(b.TRIGNAME,2,8)) ORDER BY 1, 2, 3";
  if ((code = readColumns(missing, true, &orphans, 4)) < 0) {
    std::printf("%s failed, sqlcode=%d\n", missing, code);
    return kFailed;
  }
  for (const Column &c : orphans)
    std::printf(
        "The XML column %s of table %s.%s has no trigger J%s; its triggers are not regenerated.\n",
        c.column.c_str(), c.schema.c_str(), c.table.c_str(), c.definer.c_str());
  std::printf("The number of XML Columns need to regenerate triggers: %d\n",
              static_cast<int>(columns.size()));
  {
    sqlca ca{};
    Stmt insert;
    const char *sql = "INSERT INTO quarnxml.xml_temp VALUES (?, ?, ?, ?, ?)";
    if (insert.prepare(sql, &ca) < 0) {
      std::printf("%s failed, sqlcode=%d\n", sql, static_cast<int>(ca.sqlcode));
      return kFailed;
    }
    for (const Column &c : columns) {
      quarn_hostvar in[5] = {textIn(c.schema), textIn(c.table), textIn(c.column), textIn(c.definer),
                             textIn(c.qualifier)};
      if (quarn_execute(insert.get(), 5, in, &ca) < 0) {
        std::printf("%s failed, sqlcode=%d\n", sql, static_cast<int>(ca.sqlcode));
        return kFailed;
      }
    }
  }
  int done = 0;
  for (const Column &c : columns) {
    CallArgs args;
    args.table = sqlName(c.schema) + "." + sqlName(c.table);
    args.column = sqlName(c.column);
    if (callColumnProcedure(kSoftDisable, &args) < 0) return kFailed;
    ++done;
  }
  std::printf("The number of XML enabled columns that have finished kelSoftDisableColumn is %d\n\n",
              done);
  return kDone;
}

int Migration::fp3() {
  const KelMigList &list = kelMigrationList(KEL_MIG_FP3);
  for (size_t i = 0; i < list.statements.size(); ++i) {
    // The function library has no double-byte entries: the database is taken as one without
    // double-byte support, as enablement does.
    if (i >= list.doubleByteFrom) {
      status_ = kNoDoubleByte;
      return kDone;
    }
    const std::string &stmt = list.statements[i];
    int code = exec(stmt);
    if (i == 0) {
      if (code >= 0) {
        std::printf("FP3: Database not enabled SQLCODE %d\n", code);
        return kFailed;
      }
      // The probe's type exists on every enabled database: go on with the list.
      if (code == SQL_RC_E601) continue;
    }
    if (code == SQL_RC_E818 || code == SQL_RC_E805) {
      std::printf(
          "FP3: Program not bound to database. Please bind the database using kelMigv.lst\n");
      return kFailed;
    }
    if (code == SQL_RC_E204 || code == -476 || code == SQL_RC_E456 || code == SQL_RC_E454) {
      if (i >= 1 && i <= 3) continue;
      std::printf("FP3: Migration to fp3 not needed\n");
      status_ = kFp3NotNeeded;
      return kDone;
    }
    if (code < 0) {
      std::printf("FP3: Encountered SQLCODE %d \n While executing \n %s \n", code, stmt.c_str());
      return kFailed;
    }
  }
  status_ = kDone;
  return kDone;
}

int Migration::fp4Procedures() {
  for (const std::string &stmt : kelMigrationList(KEL_MIG_FP4_PROCEDURES).statements) {
    int code = exec(stmt);
    if (alreadyThere(code)) {
      std::printf("FP4: Stored procedure migration already done (%d)\n", kProceduresDone);
      status_ = kProceduresDone;
      return kDone;
    }
    if (code < 0) {
      std::printf("FP4: Encountered SQLCODE %d \n While executing \n %s \n", code, stmt.c_str());
      return kFailed;
    }
  }
  status_ = kDone;
  return kDone;
}

int Migration::fp4Functions() {
  // The base level's functions are present when seqno is registered under its specific name.
  bool present = false;
  int code = exists(
      "SELECT 'Y' FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = 'QUARNXML' AND UPPER(SPECIFICNAME) = "
      "'SEQNO'",
      &present);
  if (code < 0) {
    std::printf("FP4: the check of the functions failed, SQLCODE=%d\n", code);
    return kFailed;
  }
  if (present) {
    std::printf("FP4: UDF migration already done (%d)\n", kFunctionsDone);
    status_ = kFunctionsDone;
    return kDone;
  }
  const KelMigList &list = kelMigrationList(KEL_MIG_FP4_FUNCTIONS);
  for (size_t i = 0; i < list.statements.size(); ++i) {
    if (i >= list.doubleByteFrom) {
      std::printf("FP4: No DBCS migration necessary (%d)\n", kNoDoubleByteMigration);
      status_ = kNoDoubleByteMigration;
      return kDone;
    }
    code = exec(list.statements[i]);
    // A function of the base level that is not there is simply created again.
    if (code == SQL_RC_E204 && list.statements[i].rfind("drop ", 0) == 0) continue;
    if (code < 0) {
      std::printf("FP4: Encountered SQLCODE %d \n While executing \n %s \n", code,
                  list.statements[i].c_str());
      return kFailed;
    }
  }
  status_ = kDone;
  return kDone;
}

int Migration::fp5() {
  bool applied = false;
  int code = listApplied(kelMigrationList(KEL_MIG_FP5).statements, &applied);
  if (code < 0) {
    std::printf("FP5: the check of the procedures failed, SQLCODE=%d\n", code);
    return kFailed;
  }
  if (applied) {
    std::printf("FP5: SP migration already done (%d)\n", kProceduresDone);
    status_ = kProceduresDone;
    return kDone;
  }
  for (const std::string &stmt : kelMigrationList(KEL_MIG_FP5).statements) {
    int code = exec(stmt);
    if (code < 0) {
      std::printf("FP5: Encountered SQLCODE %d \n While executing \n %s \n", code, stmt.c_str());
      return kFailed;
    }
  }
  std::printf("FP5: SP migration done\n");
  status_ = kFp5Done;
  return kDone;
}

int Migration::fp7() {
  bool applied = false;
  int code = listApplied(kelMigrationList(KEL_MIG_FP7).statements, &applied);
  if (code < 0) {
    std::printf("FP7: the check of the procedures failed, SQLCODE=%d\n", code);
    return kFailed;
  }
  if (applied) {
    std::printf("FP7: SP migration already done (%d)\n", kProceduresDone);
    status_ = kProceduresDone;
    return kDone;
  }
  for (const std::string &stmt : kelMigrationList(KEL_MIG_FP7).statements) {
    int code = exec(stmt);
    if (code < 0 && code != SQL_RC_E204 && !alreadyThere(code)) {
      std::printf("V7: Encountered SQLCODE %d \n While executing \n %s \n", code, stmt.c_str());
      return kFailed;
    }
  }
  std::printf("FP7: SP migration done\n");
  status_ = kDone;
  return kDone;
}

int Migration::replaceKey() {
  const char *drop = "alter table quarnxml.xml_usage drop constraint xml_col_pk";
  int code = exec(drop);
  if (code < 0 && code != SQL_RC_E204) {
    std::printf("%s failed, sqlcode=%d\n", drop, code);
    return kFailed;
  }
  const char *add =
      "alter table quarnxml.xml_usage add constraint xml_usage_pk primary key (table_schema, "
      "table_name, col_name)";
  code = exec(add);
  if (code < 0 && code != SQL_RC_E624) {
    std::printf("%s failed, sqlcode=%d\n", add, code);
    return kFailed;
  }
  return kDone;
}

// A list whose first statement is its probe: "already there" on it means the list ran before.
int Migration::probedList(KelMigListId id, const char *done, const char *already,
                          int alreadyStatus) {
  const std::vector<std::string> &list = kelMigrationList(id).statements;
  for (size_t i = 0; i < list.size(); ++i) {
    int code = exec(list[i]);
    if (i == 0 && alreadyThere(code)) {
      std::printf(already, alreadyStatus);
      status_ = alreadyStatus;
      return kDone;
    }
    if (code < 0) {
      encountered("", code, list[i]);
      return kFailed;
    }
  }
  std::printf("%s", done);
  status_ = kDone;
  return kDone;
}

int Migration::fp8() {
  const std::vector<std::string> &list = kelMigrationList(KEL_MIG_FP8).statements;
  for (size_t i = 0; i < list.size(); ++i) {
    int code = exec(list[i]);
    if (i == 0 && code == SQL_RC_E456) {
      std::printf("FP8: migration already done (%d)\n", kFunctionsDone);
      status_ = kFunctionsDone;
      return kDone;
    }
    if (code < 0) {
      encountered("", code, list[i]);
      return kFailed;
    }
  }
  std::printf("FP8: migration done\n");
  status_ = kDone;
  return kDone;
}

int Migration::xmlVarchar() {
  // Present when VARCHARTOVARCHAR already returns varchar(32672).
  bool present = false;
  int code = exists(
      "SELECT 'Y' FROM SYSCAT.ROUTINES r, SYSCAT.ROUTINEPARMS p WHERE r.ROUTINESCHEMA = 'QUARNXML' "
      "AND "
      "r.ROUTINENAME = 'VARCHARTOVARCHAR' AND p.ROUTINESCHEMA = r.ROUTINESCHEMA AND p.SPECIFICNAME "
      "= r.SPECIFICNAME "
      "AND p.ROWTYPE = 'C' AND p.LENGTH = 32672",
      &present);
  if (code < 0) {
    std::printf("XMLVARCHAR: the check failed, SQLCODE=%d\n", code);
    return kFailed;
  }
  if (present) {
    std::printf("XMLVARCHAR: migration has already done.\n");
    status_ = kFunctionsDone;
    return kDone;
  }
  for (const std::string &stmt : kelMigrationList(KEL_MIG_XMLVARCHAR).statements) {
    code = exec(stmt);
    if (code < 0 && code != SQL_RC_E204) {
      encountered("", code, stmt);
      return kFailed;
    }
  }
  std::printf("XMLVARCHAR: migration done\n");
  status_ = kDone;
  return kDone;
}

// The registrations appended after the base level: each group is done when every statement
// either ran or found its routine there.
int Migration::appended() {
  for (const KelMigAppended &group : kelMigrationAppended()) {
    size_t there = 0;
    for (const std::string &stmt : group.statements) {
      int code = exec(stmt);
      if (alreadyThere(code)) {
        ++there;
        continue;
      }
      if (code < 0) {
        encountered("", code, stmt);
        return kFailed;
      }
    }
    int doneStatus = group.procedure ? kProceduresDone : kFunctionsDone;
    if (there == group.statements.size()) {
      std::printf("%s migration already done (%d)\n", group.name.c_str(), doneStatus);
      status_ = doneStatus;
    } else {
      std::printf("%s migration done\n", group.name.c_str());
      status_ = kDone;
    }
  }
  return kDone;
}

int Migration::reEnable() {
  const char *lock = "LOCK TABLE QUARNXML.XML_USAGE IN EXCLUSIVE MODE";
  int code = exec(lock);
  if (code < 0) {
    std::printf("%s failed, sqlcode=%d\n", lock, code);
    return kFailed;
  }
  int done = 0;
  bool allDone = true;
  bool created = false;
  if (tempExists_) {
    tempInUse_ = true;
    std::vector<Column> rows;
    const char *select =
        "SELECT RTRIM(TABLE_SCHEMA), RTRIM(TABLE_NAME), RTRIM(COL_NAME),RTRIM(TRG_DEFINER), "
        "RTRIM(TRG_QUALIFIER) FROM "
        "QUARNXML.XML_TEMP ORDER BY TABLE_SCHEMA,TABLE_NAME";
    if ((code = readColumns(select, false, &rows)) < 0) {
      std::printf("%s failed, sqlcode=%d\n", select, code);
      return kFailed;
    }
    if (!rows.empty()) {
      std::string createProc = procedureText("kelReEnableColumn", "kelReEnableColumn");
      code = exec(createProc);
      if (code < 0 && !alreadyThere(code)) {
        std::printf("%s failed, sqlcode=%d\n", createProc.c_str(), code);
        return kFailed;
      }
      created = true;
      // Each step reports its own code: a failed LOCK once showed the COMMIT's 0.
      sqlca ca{};
      if ((code = quarn_commit(&ca)) < 0) {
        std::printf("COMMIT failed, sqlcode=%d\n", code);
        return kFailed;
      }
      if ((code = exec(lock)) < 0) {
        std::printf("%s failed, sqlcode=%d\n", lock, code);
        return kFailed;
      }
    }
    sqlca ca{};
    Stmt del;
    const char *deleteRow =
        "DELETE FROM QUARNXML.XML_TEMP WHERE table_schema = ? and table_name = ? and col_name = ?";
    if (del.prepare(deleteRow, &ca) < 0) {
      std::printf("%s failed, sqlcode=%d\n", deleteRow, static_cast<int>(ca.sqlcode));
      return kFailed;
    }
    for (const Column &c : rows) {
      // Always delimited: in SET SCHEMA an ordinary USER or SESSION_USER is the special
      // register (the migrating user), not the schema of that name.
      std::string schema = delimited(c.qualifier);
      if ((code = exec("SET SCHEMA = " + schema)) < 0) {
        std::printf("SET SCHEMA = %s failed. SQLCODE=%d\n", schema.c_str(), code);
        return kFailed;
      }
      CallArgs args;
      args.table = sqlName(c.schema) + "." + sqlName(c.table);
      args.column = sqlName(c.column);
      if (callColumnProcedure(kReEnable, &args) < 0) return kFailed;
      quarn_hostvar in[3] = {textIn(c.schema), textIn(c.table), textIn(c.column)};
      if (quarn_execute(del.get(), 3, in, &ca) < 0 || quarn_commit(&ca) < 0) {
        std::printf("%s failed, sqlcode=%d\n", deleteRow, static_cast<int>(ca.sqlcode));
        return kFailed;
      }
      ++done;
    }
    allDone = done == static_cast<int>(rows.size());
  }
  std::printf("\nThe number of XML enabled columns that have finished kelReEnableColumn is %d\n",
              done);
  if (tempExists_ && allDone) {
    if ((code = exec("DROP TABLE QUARNXML.XML_TEMP")) < 0) {
      std::printf("DROP TABLE QUARNXML.XML_TEMP failed, sqlcode=%d\n", code);
      return kFailed;
    }
    tempInUse_ = false;
  }
  // A run that stopped after the last column's re-enable left the procedure registered and
  // XML_TEMP empty: whenever XML_TEMP was there and is done, the procedure goes too.
  if ((created || (tempExists_ && allDone)) && (code = exec("DROP PROCEDURE quarnxml.kelReEnableColumn")) < 0 &&
      code != SQL_RC_E204) {
    std::printf("DROP PROCEDURE quarnxml.kelReEnableColumn failed, sqlcode=%d\n", code);
    return kFailed;
  }
  return kDone;
}

int Migration::run() {
  int code = exec("SET CURRENT FUNCTION PATH = QUARNXML, SYSOSTREL, SYSFUN");
  if (code < 0) {
    std::printf("SET CURRENT FUNCTION PATH failed, sqlcode=%d\n", code);
    return kFailed;
  }
  code = exists("SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML' AND TABNAME = 'XML_TEMP'",
                &tempExists_);
  if (code < 0) {
    std::printf(
        "An SQL statement failed, select 1 from syscat.tables where tab=quarnxml.xml_temp, "
        "SQLCODE=%d\n",
        code);
    return kFailed;
  }
  if (tempExists_) {
    // An earlier run stopped between soft-disable and re-enable, or the table is not ours: then
    // nothing is changed.
    bool own = false;
    if ((code = ownTemp(&own)) < 0) {
      std::printf("An SQL statement failed, select from syscat.columns where tab=quarnxml.xml_temp, SQLCODE=%d\n",
                  code);
      return kFailed;
    }
    if (!own) {
      std::printf(
          "QUARNXML.XML_TEMP exists but was not made by the migration command; it is left as it is. Rename or drop "
          "it, and run the migration again.\n");
      return kFailed;
    }
    std::printf("QUARNXML.XML_TEMP exists\n");
    tempInUse_ = true;
    return reEnable();
  }
  using Step = int (Migration::*)();
  for (Step step :
       {&Migration::extendCatalog, &Migration::softDisable, &Migration::fp3,
        &Migration::fp4Procedures, &Migration::fp4Functions, &Migration::fp5, &Migration::fp7,
        &Migration::replaceKey, &Migration::fp8, &Migration::xmlVarchar})
    if ((this->*step)() < 0) return kFailed;
  if (probedList(KEL_MIG_UDF_WITH_DTD, "UDF with DTD migration done\n",
                 "UDF with DTD migration already done (%d)\n", kFunctionsDone) < 0 ||
      probedList(KEL_MIG_VALIDATE, "validate migration done\n",
                 "validate migration already done (%d)\n", kFunctionsDone) < 0 ||
      probedList(KEL_MIG_LARGE_SHRED, "large shred SP migration done\n",
                 "large shred SP migration already done (%d)\n", kProceduresDone) < 0 ||
      probedList(KEL_MIG_LARGE_INSERT, "large insertxml SP migration done\n",
                 "large insertxml SP migration already done (%d)\n", kProceduresDone) < 0 ||
      appended() < 0)
    return kFailed;
  if (softDisableCreated_ && (code = exec("DROP PROCEDURE quarnxml.kelSoftDisableColumn")) < 0 &&
      code != SQL_RC_E204) {
    std::printf("DROP PROCEDURE quarnxml.kelSoftDisableColumn failed, sqlcode=%d\n", code);
    return kFailed;
  }
  sqlca ca{};
  if ((code = quarn_commit(&ca)) < 0) {
    std::printf("COMMIT failed, sqlcode=%d\n", code);
    return kFailed;
  }
  if (reEnable() < 0) return kFailed;
  return status_;
}

int migrate(const char *dbName) {
  // The name is checked before anything uses it: CONNECT takes at most 18 characters.
  sqlca ca{};
  if (std::strlen(dbName) > kMaxDbName || quarn_connect(dbName, nullptr, nullptr, &ca) < 0) {
    std::printf("Could not connect to %s\n", dbName);
    return kFailed;
  }
  Migration migration;
  int status = migration.run();
  sqlca end{};
  if (status >= 0 && quarn_commit(&end) < 0) status = kFailed;
  if (status < 0) {
    quarn_rollback(&end);
    if (migration.tempInUse())
      std::printf(
          "ReEnable XML Column failed.\nTurn the trace on, and try to correct the problem.\nIf the "
          "problem persists, "
          "contact your Software Service Provider and provide the trace file.\n");
    std::printf("Migration failed with code = (%d)\n", status);
  } else {
    std::printf("\nMigration completed \n");
  }
  quarn_connect_reset(&end);
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::printf("Usage: kelMigv <dbname>\n");
    return 1;
  }
  std::printf(
      "Before you continue, check that you backed up the database,\nno concurrent activity exists "
      "on the databaseb "
      "during execution of migration,\nand that you have read the release notes.\nEnter Y to "
      "continue with migration, "
      "or N to cancel. ");
  std::fflush(stdout);
  int answer = std::getchar();
  if (answer != 'Y' && answer != 'y') return 0;
  int status = migrate(argv[1]);
  std::fflush(stdout);
  return status;
}
