// Database enablement and disablement: the statement lists (golden file
// tests/data/admin/enable_lists.sql; KEL_UPDATE_GOLDEN=1 rewrites it), the table-space clause, the
// removal of the distinct types, the double-byte test, and the exported entries of the built
// quarnxml called through the loader with a descriptor area, as the engine calls them, on a
// fresh database of a temporary instance.
//
// Full enablement needs CREATE TRIGGER; while the engine answers it with SQLCODE -142 (not
// supported), the tests that need a fully enabled database skip themselves with that reason and
// start running once the engine supports the statement.
#include "kelenable.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "kel_test_db.h"
#include "kel_golden.h"
#include "kel_test_env.h"
#include "kelcattab.h"
#include "kelmsg.h"
#include "kelregister.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {


// ---- The lists -------------------------------------------------------------------------------

std::string renderLists() {
  std::string text = "-- enable\n";
  for (const KelEnableStmt &s : kelEnableList()) text += std::to_string(s.number) + ": " + s.text + "\n";
  text += "-- enable, double-byte\n";
  for (const KelEnableStmt &s : kelEnableDoubleByteList()) text += std::to_string(s.number) + ": " + s.text + "\n";
  text += "-- disable\n";
  for (size_t i = 0; i < kelDisableList().size(); ++i) text += std::to_string(i) + ": " + kelDisableList()[i] + "\n";
  text += "-- disable, double-byte\n";
  for (size_t i = 0; i < kelDisableDoubleByteList().size(); ++i)
    text += std::to_string(i) + ": " + kelDisableDoubleByteList()[i] + "\n";
  return text;
}

TEST(KelEnableLists, NumberedInOrderAndPinnedByTheGoldenFile) {
  const auto &enable = kelEnableList();
  ASSERT_EQ(enable.size(), 156u);
  for (size_t i = 0; i < enable.size(); ++i) EXPECT_EQ(enable[i].number, static_cast<int>(i));
  EXPECT_EQ(enable[77].kind, KEL_STMT_DTD_REF);
  EXPECT_EQ(enable[82].kind, KEL_STMT_XML_USAGE);
  EXPECT_EQ(kelEnableDoubleByteList().size(), 17u);
  EXPECT_EQ(kelDisableList().size(), 145u);
  EXPECT_EQ(kelDisableDoubleByteList().size(), 17u);
  EXPECT_EQ(kelDisableList().back(), "drop distinct type quarnxml.XMLFile");

  EXPECT_TRUE(keltest::matchesGolden(keltest::goldenFile("admin", "enable_lists.sql"), renderLists()));
}

TEST(KelEnableLists, DisablingDropsEachCreatedObjectExactlyOnce) {
  std::multiset<std::string> expected;
  for (const auto *list : {&kelFunctionRegistrations(), &kelProcedureRegistrations()})
    for (const KelNumberedStatement &s : *list)
      if (!s.drop.empty()) expected.insert(s.drop);
  int n = 0;
  const KelCatTabStmt *drops = kelCatTabDropStatements(&n);
  for (int i = 0; i < n; ++i) expected.insert(drops[i].sql);
  std::multiset<std::string> dropped(kelDisableList().begin(), kelDisableList().end());
  EXPECT_EQ(dropped, expected);
  EXPECT_EQ(std::set<std::string>(dropped.begin(), dropped.end()).size(), dropped.size());

  std::multiset<std::string> expected2;
  for (const KelNumberedStatement &s : kelDoubleByteRegistrations()) expected2.insert(s.drop);
  EXPECT_EQ(std::multiset<std::string>(kelDisableDoubleByteList().begin(), kelDisableDoubleByteList().end()),
            expected2);
}

// ---- A fresh database ------------------------------------------------------------------------

class EnableDb : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    env_.set("QUARNINSTANCE", "kelen");
    env_.set("QUARNKELPATH", dir_.str());
    openDatabase("KELEN");
  }
  // The first column of the first row of query as text ("" without a row), or "ERROR".
  std::string value(const std::string &query) {
    quarn_stmt *stmt = nullptr;
    sqlca ca{};
    if (quarn_prepare(query.c_str(), &stmt, &ca) < 0) return "ERROR";
    char out[512] = "";
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, sizeof out, out, &ind};
    int code = quarn_open(stmt, 0, nullptr, &ca);
    if (code >= 0) code = quarn_fetch(stmt, 1, &var, &ca);
    quarn_free_stmt(stmt);
    if (code < 0) return "ERROR";
    return code == 100 ? "" : std::string(out);
  }
  std::set<std::string> column(const std::string &query) {
    std::set<std::string> rows;
    quarn_stmt *stmt = nullptr;
    sqlca ca{};
    if (quarn_prepare(query.c_str(), &stmt, &ca) < 0) return rows;
    char out[512];
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, sizeof out, out, &ind};
    if (quarn_open(stmt, 0, nullptr, &ca) >= 0)
      while (quarn_fetch(stmt, 1, &var, &ca) == 0) rows.insert(out);
    quarn_free_stmt(stmt);
    return rows;
  }
  // Everything of the schema QUARNXML the catalogue knows (routines without the casts that the
  // distinct types bring along).
  std::string objectCounts() {
    return value("SELECT COUNT(*) FROM syscat.routines WHERE routineschema = 'QUARNXML' AND origin <> 'S'") + "/" +
           value("SELECT COUNT(*) FROM syscat.datatypes WHERE typeschema = 'QUARNXML'") + "/" +
           value("SELECT COUNT(*) FROM syscat.tables WHERE tabschema = 'QUARNXML'") + "/" +
           value("SELECT COUNT(*) FROM syscat.triggers WHERE trigschema = 'QUARNXML'");
  }

  char msg_[KEL_MSG_BUFFER + 1] = "";
};

// ---- The exported entries, called through the loader -----------------------------------------

using DariEntry = int (*)(void *, void *, sqlda *, sqlca *);
using SqlEntry = int (*)(char *, sqlint32 *, char *, short *, short *, short *, char *, char *, char *, char *);

struct Library {
  Library() {
    std::string lib = keltest::buildDir() + "/lib/libquarnxml.so";
    handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return;
    enable = reinterpret_cast<DariEntry>(dlsym(handle, "kelEnableDB"));
    disable = reinterpret_cast<DariEntry>(dlsym(handle, "kelDisableDB"));
    disableStp = reinterpret_cast<SqlEntry>(dlsym(handle, "kelDisableDB_STP"));
  }
  ~Library() {
    if (handle != nullptr) dlclose(handle);
  }
  void *handle = nullptr;
  DariEntry enable = nullptr;
  DariEntry disable = nullptr;
  SqlEntry disableStp = nullptr;
};

Library &library() {
  static Library lib;
  return lib;
}

// A descriptor area as the engine passes a QUARNDARI call: varchar inputs (null when the
// value is null), then integer returnCode and varchar(1024) returnMsg.
struct DariCall {
  explicit DariCall(std::vector<const char *> inputs) : bytes(static_cast<size_t>(SQLDASIZE(5)), 0) {
    size_t n = inputs.size();
    da()->sqln = da()->sqld = static_cast<short>(n + 2);
    std::memcpy(da()->sqldaid, "SQLDA   ", 8);
    values.resize(n);
    ind.assign(n + 2, 0);
    for (size_t i = 0; i < n; ++i) {
      std::string text = inputs[i] != nullptr ? inputs[i] : "";
      uint16_t len = static_cast<uint16_t>(text.size());
      values[i].assign(2, 0);
      std::memcpy(values[i].data(), &len, 2);
      values[i] += text;
      if (inputs[i] == nullptr) ind[i] = -1;
      da()->sqlvar[i] = {SQL_TYP_NVARCHAR, static_cast<short>(i == 0 ? 18 : 128), values[i].data(), &ind[i], {}};
    }
    da()->sqlvar[n] = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&rc), &ind[n], {}};
    da()->sqlvar[n + 1] = {SQL_TYP_NVARCHAR, 1024, msgBuf, &ind[n + 1], {}};
    ind[n] = ind[n + 1] = -1;
  }
  sqlda *da() { return reinterpret_cast<sqlda *>(bytes.data()); }
  std::string message() const {
    uint16_t len;
    std::memcpy(&len, msgBuf, 2);
    return std::string(msgBuf + 2, len);
  }
  std::vector<char> bytes;
  std::vector<std::string> values;
  std::vector<short> ind;
  int32_t rc = 99;
  char msgBuf[1026] = {};
};

struct Outcome {
  int32_t rc;
  std::string msg;
};

class EnableEntries : public EnableDb {
 protected:
  void SetUp() override {
    ASSERT_NE(library().enable, nullptr) << dlerror();
    ASSERT_NE(library().disable, nullptr);
    ASSERT_NE(library().disableStp, nullptr);
    EnableDb::SetUp();
  }
  Outcome enable(std::vector<const char *> inputs = {"KELEN"}) {
    DariCall call(std::move(inputs));
    sqlca ca{};
    EXPECT_EQ(library().enable(nullptr, nullptr, call.da(), &ca), 1);
    return {call.rc, call.message()};
  }
  Outcome disable(const char *name = "KELEN") {
    DariCall call({name});
    sqlca ca{};
    EXPECT_EQ(library().disable(nullptr, nullptr, call.da(), &ca), 1);
    return {call.rc, call.message()};
  }
  // Enables the database completely.
  void enableFully() {
    Outcome out = enable();
    ASSERT_EQ(out.rc, 0) << out.msg;
    ASSERT_EQ(out.msg, "KELA006I  The database KELEN was enabled successfully.\n");
  }
  // Expects the failure of a statement: the database's text, KELM001W and KELA004E (or
  // KELA007E), with the SQLCODE as return code.
  static void expectStatementFailure(const Outcome &out, int sqlcode, const char *catalogueMsg) {
    EXPECT_EQ(out.rc, sqlcode);
    char code[16];
    std::snprintf(code, sizeof code, "SQL%04dN", -sqlcode);
    EXPECT_EQ(out.msg.find(code), 0u) << out.msg;
    EXPECT_NE(out.msg.find("KELM001W  A Quarn error occurred.\n"), std::string::npos) << out.msg;
    EXPECT_NE(out.msg.find(catalogueMsg), std::string::npos) << out.msg;
  }
};

TEST_F(EnableEntries, NullDatabaseNameGivesKelg004e) {
  Outcome out = enable({nullptr});
  EXPECT_EQ(out.rc, -60);
  EXPECT_EQ(out.msg, "KELG004E  Invalid null parameter.\n");
  out = disable(nullptr);
  EXPECT_EQ(out.rc, -60);
  EXPECT_EQ(objectCounts(), "0/0/0/0");
}

// A call works on the database of its connection: a name that is another database's (blanks
// after it and case aside) changes nothing, where it enabled or disabled this database and said
// so of the other.
TEST_F(EnableEntries, ADatabaseNameThatIsNotTheConnectionsChangesNothing) {
  Outcome out = enable({"OTHERDB"});
  EXPECT_EQ(out.rc, -2);
  EXPECT_EQ(out.msg, "KELA004E  Cannot enable database OTHERDB.\n");
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  out = enable({"kelen "});
  ASSERT_EQ(out.rc, 0) << out.msg;
  const std::string enabled = objectCounts();
  out = disable("OTHERDB");
  EXPECT_EQ(out.rc, -3);
  EXPECT_EQ(out.msg, "KELA007E  Cannot disable database OTHERDB.\n");
  EXPECT_EQ(objectCounts(), enabled);
  out = disable("kelen");
  EXPECT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(objectCounts(), "0/0/0/0");
}

TEST_F(EnableEntries, DisablingADatabaseThatIsNotEnabledGives6AndKela071w) {
  Outcome out = disable();
  EXPECT_EQ(out.rc, 6);
  EXPECT_EQ(out.msg, "KELA071W  The database is not enabled or has already been disabled.\n");

  // The SQL-convention entry says the same.
  char name[] = "KELEN";
  sqlint32 rc = 0;
  char msg[1025] = "";
  short inds[3] = {0, -1, -1};
  char sqlstate[6] = "", proc[] = "QUARNXML.KELDISABLEDB", specific[] = "KELDISABLEDB", diag[71] = "";
  library().disableStp(name, &rc, msg, &inds[0], &inds[1], &inds[2], sqlstate, proc, specific, diag);
  EXPECT_EQ(rc, 6);
  EXPECT_STREQ(msg, "KELA071W  The database is not enabled or has already been disabled.\n");
  EXPECT_EQ(inds[0], -128);
  EXPECT_EQ(inds[1], 0);
}

TEST_F(EnableEntries, AnEnabledDatabaseGives5AndKela070wAndNothingChanges) {
  ASSERT_EQ(exec("create table quarnxml.xml_usage (c int)"), 0) << error();
  std::string before = objectCounts();
  Outcome out = enable();
  EXPECT_EQ(out.rc, 5);
  EXPECT_EQ(out.msg, "KELA070W  The database has already been enabled.\n");
  EXPECT_EQ(objectCounts(), before);
}

// A failing statement in the middle stops the list: the database's text, KELM001W and KELA004E,
// the SQLCODE as return code.  Nothing made before it stays (the routines of statements 4 to 76
// used to, leaving a database that could be neither enabled nor disabled), and once the cause
// is gone enablement succeeds.
TEST_F(EnableEntries, AFailingStatementStopsEnablementAndUndoesItAll) {
  ASSERT_EQ(exec("create table quarnxml.dtd_ref (c int)"), 0) << error();
  std::string before = objectCounts();
  Outcome out = enable();
  expectStatementFailure(out, -601, "KELA004E  Cannot enable database KELEN.\n");
  EXPECT_EQ(objectCounts(), before);
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.routines WHERE routineschema = 'QUARNXML'"), "0");
  ASSERT_EQ(exec("drop table quarnxml.dtd_ref"), 0) << error();
  enableFully();
}

// The double-byte functions are never registered: calling one is the engine's plain error.
TEST_F(EnableEntries, DoubleByteFunctionsAreNotRegistered) {
  Outcome out = enable();
  ASSERT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(exec("values quarnxml.XMLDBCLOBFromFile('x.xml')"), -440);
  EXPECT_EQ(exec("values quarnxml.extractVarchar(cast(null as quarnxml.XMLDBCLOB), '/a')"), -204);
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.datatypes WHERE typename IN ('XMLDBCLOB', 'KELDBCSTEST')"), "0");
}

// A database left partly enabled (by an older version: up to the catalogue tables, or routines
// without XML_USAGE) is cleaned up by disablement: objects already gone are passed over.
TEST_F(EnableEntries, DisablementCleansUpAPartlyEnabledDatabase) {
  for (const KelEnableStmt &s : kelEnableList()) {
    if (s.number > 86) break;
    ASSERT_EQ(exec(s.text), 0) << s.text << error();
  }
  Outcome out = disable();
  EXPECT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  for (const KelEnableStmt &s : kelEnableList()) {
    if (s.number > 40) break;
    ASSERT_EQ(exec(s.text), 0) << s.text << error();
  }
  out = disable();
  EXPECT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  enableFully();
}

// A type still used by a column of the user's is checked before anything is dropped: the
// database stays fully enabled instead of losing its catalogue tables first.
TEST_F(EnableEntries, ATypeInUseStopsDisablementBeforeAnythingIsDropped) {
  enableFully();
  if (HasFatalFailure()) return;
  ASSERT_EQ(exec("create table app.files (f quarnxml.XMLFile)"), 0) << error();
  std::string before = objectCounts();
  Outcome out = disable();
  expectStatementFailure(out, -478, "KELA007E  Cannot disable database KELEN.\n");
  EXPECT_EQ(objectCounts(), before);
  ASSERT_EQ(exec("drop table app.files"), 0) << error();
  out = disable();
  EXPECT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(objectCounts(), "0/0/0/0");
}

// Types XMLVarchar and XMLCLOB made before enabling are kept by enablement and disablement.
TEST_F(EnableEntries, PrecreatedTypesSurviveEnableAndDisable) {
  ASSERT_EQ(exec("create distinct type quarnxml.XMLVarchar as varchar(2000) with comparisons"), 0) << error();
  ASSERT_EQ(exec("create distinct type quarnxml.XMLCLOB as clob(1M)"), 0) << error();
  Outcome out = enable();
  ASSERT_EQ(out.rc, 0) << out.msg;
  out = disable();
  ASSERT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(value("SELECT length FROM syscat.datatypes WHERE typeschema = 'QUARNXML' AND typename = 'XMLVARCHAR'"),
            "2000");
  EXPECT_EQ(value("SELECT length FROM syscat.datatypes WHERE typeschema = 'QUARNXML' AND typename = 'XMLCLOB'"),
            "1048576");
  EXPECT_EQ(objectCounts(), "0/2/0/0");
}

// Table space KELDTDRF takes DTD_REF when no table space is given; a second table space applies
// to XML_USAGE only.  The tables are made before the triggers, so this holds today as well.
TEST_F(EnableEntries, TableSpacesOfTheCatalogueTables) {
  ASSERT_EQ(exec("create tablespace KELDTDRF"), 0) << error();
  Outcome out = enable();
  ASSERT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(value("SELECT tbspace FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'DTD_REF'"),
            "KELDTDRF");
  EXPECT_NE(value("SELECT tbspace FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'XML_USAGE'"),
            "KELDTDRF");
}

TEST_F(EnableEntries, ASecondTableSpaceAppliesToXmlUsageOnly) {
  ASSERT_EQ(exec("create tablespace ts1"), 0) << error();
  ASSERT_EQ(exec("create tablespace \"ts 2\""), 0) << error();
  Outcome out = enable({"KELEN", "ts1", "\"ts 2\""});
  ASSERT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(value("SELECT tbspace FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'DTD_REF'"), "TS1");
  EXPECT_EQ(value("SELECT tbspace FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'XML_USAGE'"),
            "ts 2");
}

TEST_F(EnableEntries, AnOptionalTableSpaceThatIsNullIsAbsent) {
  ASSERT_EQ(exec("create tablespace ts1"), 0) << error();
  Outcome out = enable({"KELEN", "ts1", nullptr});
  ASSERT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(value("SELECT tbspace FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'XML_USAGE'"), "TS1");
}

TEST_F(EnableEntries, AMissingTableSpaceFailsAsItsStatement) {
  // Checked before the first statement: nothing is registered (once, 79 routines were).
  Outcome out = enable({"KELEN", "nosuch", nullptr});
  expectStatementFailure(out, -204, "KELA004E  Cannot enable database KELEN.\n");
  EXPECT_NE(out.msg.find("\"NOSUCH\""), std::string::npos) << out.msg;
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  out = enable({"KELEN", "userspace1", "nosuch2"});
  expectStatementFailure(out, -204, "KELA004E  Cannot enable database KELEN.\n");
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  sqlca ca{};
  ASSERT_EQ(quarn_rollback(&ca), 0);
  // A name that is not one identifier never reaches SQL.
  out = enable({"KELEN", "x in y", nullptr});
  EXPECT_EQ(out.rc, -109);
  EXPECT_EQ(out.msg.substr(0, 8), "KELQ033E");
}

// Must show: enable, every routine visible with its specific name; enabling twice changes
// nothing; disabling removes everything; a second disable gives 6.
TEST_F(EnableEntries, EnableRegistersEverythingAndDisableRemovesIt) {
  enableFully();
  if (IsSkipped() || HasFatalFailure()) return;
  // 4-16, 17-76, 90-124 and 140-154 are functions; 125-139 and 155 procedures.
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.routines WHERE routineschema = 'QUARNXML' AND routinetype = 'F' "
                  "AND origin <> 'S'"),
            "123");
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.routines WHERE routineschema = 'QUARNXML' AND routinetype = 'P'"),
            "16");
  std::set<std::string> specifics =
      column("SELECT specificname FROM syscat.routines WHERE routineschema = 'QUARNXML'");
  for (const char *s : {"KELVARCHAR", "KELXMLVARCHARFILE2", "KELCLOB", "KELXMLCLOBFILE2", "KELCONTENTVAR2FILE",
                        "KELXMLFILEVARCHAR2", "KELFILE", "KELXMLFILECLOB2", "QUARNXMLCONTENTVF", "QUARNXMLCONTENTVF2",
                        "QUARNXMLCONTENTCF", "QUARNXMLCONTENTCF2", "QUARNXMLCONTENTFC", "UPDATEXMLVARCHAR",
                        "UPDATEXMLCLOB", "UPDATEXMLFILE", "VALIDATEFILE", "VALIDATEVARCHAR", "VALIDATECLOB", "SEQNO",
                        "VALIDATEFILE2", "VALIDATEVARCHAR2", "VALIDATECLOB2", "VALIDATESCHFILE",
                        "VALIDATESCHVARCHAR", "VALIDATESCHCLOB", "EXPLAINVARCHAR", "EXPLAINCLOB", "EXPLAINFILE", "VREPORTFILE", "VREPORTVARCHAR2", "VREPORTSCHCLOB", "KELGENXML1", "KELGENXML2",
                        "KELGENXMLCLOB", "KELRETRIEVEXML1", "KELRETRIEVEXML2", "KELRETRIEVEXMLCLOB"})
    EXPECT_TRUE(specifics.count(s)) << s;
  std::set<std::string> names = column("SELECT routinename FROM syscat.routines WHERE routineschema = 'QUARNXML'");
  for (const char *p : {"KELENABLECOLUMN", "KELDISABLECOLUMN", "KELENABLECOLLECTION", "KELDISABLECOLLECTION",
                        "KELDISABLEDB", "KELSHREDXML", "KELSHREDXML50MB", "KELINSERTXML", "KELINSERTXML50MB", "KELVERIFYCOLUMN",
                        "EXTRACTVARCHARS", "EXTRACTCLOBSWDTD", "VARCHARTOVARCHAR"})
    EXPECT_TRUE(names.count(p)) << p;
  EXPECT_EQ(objectCounts(), "139/3/2/3");

  std::string before = objectCounts();
  Outcome again = enable();
  EXPECT_EQ(again.rc, 5);
  EXPECT_EQ(again.msg, "KELA070W  The database has already been enabled.\n");
  EXPECT_EQ(objectCounts(), before);

  Outcome out = disable();
  EXPECT_EQ(out.rc, 0) << out.msg;
  EXPECT_EQ(out.msg, "KELA036I  Lorvane has successfully disabled database KELEN.\n");
  EXPECT_EQ(objectCounts(), "0/0/0/0");
  out = disable();
  EXPECT_EQ(out.rc, 6);
  EXPECT_EQ(out.msg.substr(0, 8), "KELA071W");
}

// The enable entry called by SQL CALL through the console, as the administration command calls
// it.
TEST_F(EnableEntries, EnableThroughCall) {
  ASSERT_EQ(exec("create procedure quarnxml.kelEnableDB (in dbName varchar(18), out returnCode integer, "
                 "out returnMsg varchar(1024)) external name 'quarnxml!kelEnableDB' language C "
                 "parameter style QUARNDARI not deterministic fenced null call"),
            0)
      << error();
  sqlca ca{};
  ASSERT_EQ(quarn_commit(&ca), 0);
  quarn_connect_reset(&ca);
  std::string outFile = dir_.file("call.out");
  std::string cmd = keltest::buildDir() + "/bin/quarn -d KELEN \"CALL quarnxml.kelEnableDB('KELEN', ?, ?)\" > " +
                    outFile + " 2>&1";
  std::system(cmd.c_str());
  std::string output = keltest::readFile(outFile);
  ASSERT_EQ(quarn_connect("KELEN", nullptr, nullptr, &ca_), 0);
  EXPECT_NE(output.find("KELA006I  The database KELEN was enabled successfully."), std::string::npos) << output;
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.tables WHERE tabschema = 'QUARNXML' AND tabname = 'XML_USAGE'"), "1");
}

// ---- The helpers -----------------------------------------------------------------------------

TEST_F(EnableDb, TableSpaceClauseOfAGivenName) {
  std::string out;
  int32_t rc = 0;
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "create table t (c int)", KEL_TBSPACE_DTD_REF, "myspace", 0, &rc,
                                   msg_),
            0);
  EXPECT_EQ(out, "create table t (c int) IN \"MYSPACE\"");
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_XML_USAGE, "\"my\"\"space\"", 0, &rc, msg_), 0);
  EXPECT_EQ(out, "s IN \"my\"\"space\"");
  EXPECT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, "a; drop table x", 0, &rc, msg_), -1);
  EXPECT_EQ(rc, -109);
  EXPECT_STREQ(msg_, "KELQ033E  Invalid identifier starting at a; drop table x \n");
  EXPECT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, "s.t", 0, &rc, msg_), -1);
  EXPECT_EQ(rc, -109);
  EXPECT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, "ABCDEFGHIJKLMNOPQRS", 0, &rc, msg_), -1);
  EXPECT_EQ(rc, -28);
  EXPECT_EQ(std::string(msg_).substr(0, 8), "KELA037E");
}

TEST_F(EnableDb, TableSpaceClauseOfTheFixedTableSpaces) {
  std::string out;
  int32_t rc = 0;
  // A name whose indicator is -1, or an empty name, is absent.
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, "ignored", -1, &rc, msg_), 0);
  EXPECT_EQ(out, "s");
  ASSERT_EQ(exec("create tablespace KELDTDRF"), 0) << error();
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, "", 0, &rc, msg_), 0);
  EXPECT_EQ(out, "s IN KELDTDRF");
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_XML_USAGE, nullptr, -1, &rc, msg_), 0);
  EXPECT_EQ(out, "s");
  ASSERT_EQ(exec("create tablespace KELXMLUS"), 0) << error();
  ASSERT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_XML_USAGE, nullptr, -1, &rc, msg_), 0);
  EXPECT_EQ(out, "s IN KELXMLUS");

  // Without a connection the lookup fails: -1, the SQLCODE, no message.
  sqlca ca{};
  quarn_rollback(&ca);
  quarn_connect_reset(&ca);
  msg_[0] = '\0';
  EXPECT_EQ(appendTableSpaceClause(nullptr, &out, "s", KEL_TBSPACE_DTD_REF, nullptr, -1, &rc, msg_, &ca), -1);
  EXPECT_EQ(rc, -1024);
  EXPECT_EQ(ca.sqlcode, -1024);
  EXPECT_STREQ(msg_, "");
}

TEST_F(EnableDb, DropSchemaKeepsTypesOfOtherLengths) {
  ASSERT_EQ(exec("create distinct type quarnxml.XMLVarchar as varchar(3000) with comparisons"), 0) << error();
  ASSERT_EQ(exec("create distinct type quarnxml.XMLCLOB as clob(1M)"), 0) << error();
  sqlca ca{};
  ASSERT_EQ(kelDropSchema(nullptr, &ca), 0);
  EXPECT_EQ(column("SELECT typename FROM syscat.datatypes WHERE typeschema = 'QUARNXML'"),
            std::set<std::string>{"XMLCLOB"});

  ASSERT_EQ(exec("drop distinct type quarnxml.XMLCLOB"), 0) << error();
  ASSERT_EQ(exec("create distinct type quarnxml.XMLVarchar as varchar(100)"), 0) << error();
  ASSERT_EQ(exec("create distinct type quarnxml.XMLCLOB as clob(2G)"), 0) << error();
  ASSERT_EQ(kelDropSchema(nullptr, &ca), 0);
  EXPECT_EQ(column("SELECT typename FROM syscat.datatypes WHERE typeschema = 'QUARNXML'"),
            std::set<std::string>{"XMLVARCHAR"});

  // A type in use cannot be dropped: -1 and the communication area of the drop.
  ASSERT_EQ(exec("drop distinct type quarnxml.XMLVarchar"), 0) << error();
  ASSERT_EQ(exec("create distinct type quarnxml.XMLVarchar as varchar(3000)"), 0) << error();
  ASSERT_EQ(exec("create table t (c quarnxml.XMLVarchar)"), 0) << error();
  EXPECT_EQ(kelDropSchema(nullptr, &ca), -1);
  EXPECT_LT(ca.sqlcode, 0);
}

TEST_F(EnableDb, DoubleByteTestLeavesNoTypeBehind) {
  int supported = -1;
  sqlca ca{};
  ASSERT_EQ(kelDoubleByteTest(nullptr, &supported, &ca), 0);
  EXPECT_EQ(supported, 1);
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.datatypes WHERE typename = 'KELDBCSTEST'"), "0");
}

TEST_F(EnableDb, DoubleByteTestSaysNoWithoutGraphicTypes) {
  std::string cmd = keltest::buildDir() + "/bin/quarn \"CREATE DATABASE KELNOG WITHOUT GRAPHIC\" > /dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  ASSERT_EQ(quarn_connect("KELNOG", nullptr, nullptr, &ca_), 0) << error();
  int supported = -1;
  sqlca ca{};
  ASSERT_EQ(kelDoubleByteTest(nullptr, &supported, &ca), 0);
  EXPECT_EQ(supported, 0);
  EXPECT_EQ(ca.sqlcode, -1216);
}

// The double-byte lists are valid statements of the engine and remove what they make.
TEST_F(EnableDb, DoubleByteListsCreateAndRemoveTheirObjects) {
  ASSERT_EQ(exec("create distinct type quarnxml.XMLCLOB as clob(2G)"), 0) << error();
  for (const KelEnableStmt &s : kelEnableDoubleByteList()) ASSERT_EQ(exec(s.text), 0) << s.text << error();
  EXPECT_EQ(value("SELECT COUNT(*) FROM syscat.routines WHERE routineschema = 'QUARNXML' AND origin <> 'S'"), "16");
  for (const std::string &s : kelDisableDoubleByteList()) ASSERT_EQ(exec(s), 0) << s << error();
  EXPECT_EQ(objectCounts(), "0/1/0/0");
}

}  // namespace
