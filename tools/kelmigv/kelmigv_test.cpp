// The built kelmigv run as a process against a fresh instance: the prompt and the bad command
// lines, a database at the current level (nothing changes), a database set back to the previous
// level with enabled columns (soft-disabled, lists run, re-enabled), an interrupted run that the
// next one continues from XML_TEMP, mixed-case names and a failing statement rolled back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kel_test_env.h"
#include "kelmiglist.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;  // exit status (0..255)
  std::string out;
};

using keltest::shellQuote;

const char kPrompt[] =
    "Before you continue, check that you backed up the database,\nno concurrent activity exists on "
    "the databaseb "
    "during execution of migration,\nand that you have read the release notes.\nEnter Y to "
    "continue with migration, "
    "or N to cancel. ";

// A column DAD with one side table of one value (no validation: the previous level's
// registrations never carry the validation triggers' functions).
std::string columnDad(const std::string &sideTable) {
  return "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcolumn><table name=\"" +
         sideTable +
         "\"><column name=\"customer\" type=\"varchar(40)\" path=\"/order/customer\" "
         "multi_occurrence=\"NO\"/>"
         "</table></Xcolumn></DAD>";
}

// Trailing blanks of the console's columns removed, lines sorted: the set of routine texts.
std::string sortedLines(const std::string &text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    size_t first = line.find_first_not_of(' ');
    if (first != std::string::npos) lines.push_back(line.substr(first));
    at = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string &l : lines) out += l + "\n";
  return out;
}

class Kelmigv : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.set("QUARNPATH", inst_.str());
    env_.set("QUARN_USER", "tester");
    env_.set("QUARNINSTANCE", "kelinst");
    env_.set("QUARNKELPATH", inst_.file("kel"));
    fs::create_directories(inst_.path() / "kel");
    ASSERT_EQ(console("CREATE DATABASE TESTDB").status, 0);
  }

  Result shell(const std::string &cmd) {
    Result r;
    FILE *p = popen((cmd + " 2>&1").c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
  }

  // The command with answer on its standard input.
  Result migrate(const std::vector<std::string> &args, const std::string &answer = "Y\n") {
    std::string input = inst_.file("answer");
    keltest::writeFile(input, answer);
    std::string cmd = shellQuote(KEL_KELMIGV);
    for (const std::string &a : args) cmd += " " + shellQuote(a);
    Result r = shell(cmd + " <" + shellQuote(input));
    fs::remove(input);
    return r;
  }

  Result console(const std::string &sql) {
    std::string cmd = shellQuote(KEL_QUARN_CONSOLE);
    if (sql.rfind("CREATE DATABASE", 0) != 0) cmd += " -d TESTDB";
    return shell(cmd + " " + shellQuote(sql));
  }

  bool shows(const std::string &sql, const std::string &text) {
    return console(sql).out.find(text) != std::string::npos;
  }

  Result keladm(const std::vector<std::string> &args) {
    std::string cmd = shellQuote(KEL_KELADM);
    for (const std::string &a : args) cmd += " " + shellQuote(a);
    return shell(cmd);
  }

  std::string dadFile(const std::string &name, const std::string &content) {
    std::string path = inst_.file(name);
    keltest::writeFile(path, content);
    return path;
  }

  // An enabled database with a column enabled on table (schema-qualified as SQL text) whose
  // side table is sideTable, and one stored document.
  void enableColumn(const std::string &table, const std::string &column,
                    const std::string &sideTable, const std::string &dadName,
                    const std::string &keyName = "id",
                    const std::vector<std::string> &options = {}) {
    ASSERT_EQ(console("CREATE TABLE " + table + " (" + keyName + " INTEGER NOT NULL PRIMARY KEY, " +
                      column + " quarnxml.XMLVarchar)")
                  .status,
              0);
    std::vector<std::string> args = {"enable_column", "TESTDB", table, column,
                                     dadFile(dadName, columnDad(sideTable))};
    args.insert(args.end(), options.begin(), options.end());
    Result r = keladm(args);
    ASSERT_EQ(r.status, 0) << r.out;
    r = console("INSERT INTO " + table + " (" + keyName + ", " + column +
                ") VALUES (1, quarnxml.XMLVarchar('<order><customer>Ann</customer></order>'))");
    ASSERT_EQ(r.status, 0) << r.out;
  }

  // The catalogue's texts of the routines of QUARNXML, one a line, sorted.
  std::string routineTexts() {
    return sortedLines(
        console("SELECT TEXT FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = 'QUARNXML'").out);
  }
  std::string triggers() {
    return console(
               "SELECT TRIGSCHEMA, TRIGNAME, TABSCHEMA, TABNAME, QUALIFIER FROM SYSCAT.TRIGGERS ORDER BY 1, 2")
        .out;
  }

  keltest::TempDir inst_;
  keltest::ScopedEnv env_;
};

TEST_F(Kelmigv, BadCommandLinesAndAnswersChangeNothing) {
  Result r = migrate({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Usage: kelMigv <dbname>\n");
  r = migrate({"TESTDB", "extra"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "Usage: kelMigv <dbname>\n");
  for (const char *answer : {"n\n", "N\n", "", "x\n", " Y\n"}) {
    r = migrate({"TESTDB"}, answer);
    EXPECT_EQ(r.status, 0) << answer;
    EXPECT_EQ(r.out, kPrompt) << answer;
  }
  // A name over 18 characters is refused before anything uses it; one that does not exist fails
  // to connect.
  for (const std::string &name :
       {std::string(19, 'D'), std::string(4000, 'D'), std::string("NOSUCH")}) {
    r = migrate({name});
    EXPECT_EQ(r.status, 255) << name.size();
    EXPECT_EQ(r.out, std::string(kPrompt) + "Could not connect to " + name + "\n") << name.size();
  }
  // Never enabled: the catalogue extension fails, nothing is made.
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, std::string(kPrompt) +
                       "The database is not enabled or has already been disabled.\nMigration "
                       "failed with code = (-1)\n");
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML'", "FOUND"));
}

// What a run prints on a database at the current level: every step not needed or already done.
const char kCurrentSteps[] =
    "No trigger migration needed.\n"
    "FP3: Migration to fp3 not needed\n"
    "FP4: Stored procedure migration already done (5)\n"
    "FP4: UDF migration already done (6)\n"
    "FP5: SP migration already done (5)\n"
    "FP7: SP migration already done (5)\n"
    "FP8: migration already done (6)\n"
    "XMLVARCHAR: migration has already done.\n"
    "UDF with DTD migration already done (6)\n"
    "validate migration already done (6)\n"
    "large shred SP migration already done (5)\n"
    "large insertxml SP migration already done (5)\n"
    "@APPENDED@"
    "\nThe number of XML enabled columns that have finished kelReEnableColumn is 0\n"
    "\nMigration completed \n";

// What the steps after soft-disable print on a database at the previous level.
const char kPreviousSteps[] =
    "FP3: Migration to fp3 not needed\n"
    "FP4: Stored procedure migration already done (5)\n"
    "FP4: UDF migration already done (6)\n"
    "FP5: SP migration done\n"
    "FP7: SP migration already done (5)\n"
    "FP8: migration done\n"
    "XMLVARCHAR: migration done\n"
    "UDF with DTD migration done\n"
    "validate migration done\n"
    "large shred SP migration done\n"
    "large insertxml SP migration done\n"
    "@APPENDED@";

// The lines of the last step: one per routine name appended to enablement after the base level
// (validateschema, explainPath, validateReport, validateReportSchema, and whatever comes later).
std::string withAppended(std::string text, bool already) {
  std::string lines;
  for (const KelMigAppended &g : kelMigrationAppended())
    lines += g.name + (already ? " migration already done (" + std::string(g.procedure ? "5" : "6") + ")\n"
                               : " migration done\n");
  return text.replace(text.find("@APPENDED@"), 10, lines);
}
const std::string kCurrent = withAppended(kCurrentSteps, true);
const std::string kPrevious = withAppended(kPreviousSteps, false);
// The exit status on a current database: that of the last appended group.
const int kCurrentStatus = kelMigrationAppended().back().procedure ? 5 : 6;

std::string softDisabled(int n) {
  return "The number of XML Columns need to regenerate triggers: " + std::to_string(n) +
         "\nThe number of XML enabled columns that have finished kelSoftDisableColumn is " +
         std::to_string(n) + "\n\n";
}

std::string reEnabled(int n) {
  return "\nThe number of XML enabled columns that have finished kelReEnableColumn is " +
         std::to_string(n) + "\n\nMigration completed \n";
}

TEST_F(Kelmigv, ACurrentDatabaseIsLeftAsItIs) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.orders", "doc", "shop.order_side", "c.dad");
  std::string before = routineTexts(), triggersBefore = triggers();
  // The probe of FP3 meets the type that every enabled database has (-601): the list goes on
  // and finds its procedures there, instead of failing the run.
  Result r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, kCurrentStatus);
  EXPECT_EQ(r.out, std::string(kPrompt) + kCurrent);
  EXPECT_EQ(routineTexts(), before);
  EXPECT_EQ(triggers(), triggersBefore);
  Result again = migrate({"TESTDB"});
  EXPECT_EQ(again.status, r.status);
  EXPECT_EQ(again.out, r.out);
  EXPECT_EQ(routineTexts(), before);
}

TEST_F(Kelmigv, AnOldLevelDatabaseIsBroughtToTheCurrentLevel) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.orders", "doc", "shop.order_side", "c.dad");  // root id KELROOT_ID
  enableColumn("shop.parts", "doc", "shop.part_side", "p.dad", "pid",
               {"-r", "pid"});  // root id the key
  const std::string current = routineTexts(), triggersBefore = triggers();
  Result old = shell(shellQuote(KEL_OLDLEVEL) + " TESTDB");
  ASSERT_EQ(old.status, 0) << old.out;
  const std::string appended =
      "SELECT 'N=' || CHAR(COUNT(*)) FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA = 'QUARNXML' AND "
      "ROUTINENAME IN "
      "('EXPLAINPATH', 'VALIDATEREPORT', 'VALIDATEREPORTSCHEMA')";
  EXPECT_TRUE(shows(appended, "N=0")) << console(appended).out;
  EXPECT_NE(routineTexts(), current);
  EXPECT_TRUE(shows(
      "SELECT 'V=' || RTRIM(CHAR(VERSION)) || COALESCE(ROOT_ID, 'none') FROM QUARNXML.XML_USAGE",
      "V=0.00none"));

  Result r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + softDisabled(2) + kPrevious + reEnabled(2));
  // The registrations are enablement's own, explainPath and the validation reports among them.
  EXPECT_EQ(routineTexts(), current);
  EXPECT_TRUE(shows(appended, "N=12")) << console(appended).out;
  EXPECT_EQ(triggers(), triggersBefore);
  // Both DADs name their side tables with a schema: no schema is recorded for side tables
  // named without one (there are none).
  const std::string rows =
      "SELECT 'ROW:' || RTRIM(TABLE_NAME) || ':' || RTRIM(CHAR(VERSION)) || ':' || ROOT_ID || ':' "
      "|| COALESCE(SIDE_TAB_QUAL, 'none') FROM "
      "QUARNXML.XML_USAGE ORDER BY TABLE_NAME";
  EXPECT_TRUE(shows(rows, "ROW:ORDERS:5.00:KELROOT_ID:none")) << console(rows).out;
  EXPECT_TRUE(shows(rows, "ROW:PARTS:5.00:PID:none")) << console(rows).out;
  // Nothing of the command is left behind, and the side tables are in step with new documents.
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME = 'XML_TEMP'", "FOUND"));
  EXPECT_FALSE(
      shows("SELECT 'FOUND' FROM SYSCAT.ROUTINES WHERE ROUTINENAME IN ('KELSOFTDISABLECOLUMN', "
            "'KELREENABLECOLUMN')",
            "FOUND"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.DATATYPES WHERE TYPENAME = 'XMLDBCLOB'", "FOUND"));
  ASSERT_EQ(console("INSERT INTO shop.orders (id, doc) VALUES (2, "
                    "quarnxml.XMLVarchar('<order><customer>Bob</customer>"
                    "</order>'))")
                .status,
            0);
  EXPECT_TRUE(shows("SELECT 'C=' || customer FROM shop.order_side ORDER BY 1", "C=Ann\nC=Bob"));
  ASSERT_EQ(console("UPDATE shop.parts SET doc = "
                    "quarnxml.XMLVarchar('<order><customer>Cy</customer></order>')")
                .status,
            0);
  EXPECT_TRUE(shows("SELECT 'C=' || customer FROM shop.part_side", "C=Cy\n"));
  EXPECT_FALSE(shows("SELECT 'C=' || customer FROM shop.part_side", "C=Ann"));
  // A second run finds everything done.
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, kCurrentStatus);
  EXPECT_EQ(r.out, std::string(kPrompt) + kCurrent);
}

TEST_F(Kelmigv, AnInterruptedRunIsContinuedFromXmlTemp) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.a_orders", "doc", "shop.a_side", "a.dad");
  enableColumn("shop.b_orders", "doc", "shop.b_side", "b.dad");
  const std::string triggersBefore = triggers();
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  // A user's trigger refuses rows of the second side table: re-enabling that column refills
  // it and fails, after the first column was re-enabled and committed.
  Result r = console("CREATE TRIGGER shop.refuse NO CASCADE BEFORE INSERT ON shop.b_side REFERENCING NEW AS n "
                     "FOR EACH ROW MODE QUARNSQL SIGNAL SQLSTATE '75001' ('refused')");
  ASSERT_EQ(r.status, 0) << r.out;
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.rfind(std::string(kPrompt) + softDisabled(2) + kPrevious, 0), 0u) << r.out;
  // The procedure's own answer: its return code and message (the CALL itself succeeded).
  EXPECT_NE(r.out.find("SQLCODE=0 errCode=-33:0\nerrMsg='SQL0438N"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("KELA048E  Could not enable the column.\n':0\n"), std::string::npos) << r.out;
  const std::string failed =
      "ReEnable XML Column failed.\nTurn the trace on, and try to correct the problem.\nIf the problem persists, "
      "contact your Software Service Provider and provide the trace file.\nMigration failed with code = (-1)\n";
  ASSERT_GE(r.out.size(), failed.size());
  EXPECT_EQ(r.out.substr(r.out.size() - failed.size()), failed) << r.out;
  const std::string rows = "SELECT 'ROW:' || RTRIM(TABLE_NAME) || ':' || RTRIM(CHAR(VERSION)) FROM QUARNXML.XML_USAGE";
  EXPECT_TRUE(shows(rows, "ROW:A_ORDERS:5.00")) << console(rows).out;
  EXPECT_TRUE(shows(rows, "ROW:B_ORDERS:0.00")) << console(rows).out;
  EXPECT_TRUE(shows("SELECT 'TEMP:' || TABLE_NAME FROM QUARNXML.XML_TEMP", "TEMP:B_ORDERS\n"));
  EXPECT_FALSE(shows("SELECT 'TEMP:' || TABLE_NAME FROM QUARNXML.XML_TEMP", "TEMP:A_ORDERS"));

  // The user mends the cause; the next run goes straight to re-enabling what is left.
  ASSERT_EQ(console("DROP TRIGGER shop.refuse").status, 0);
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + "QUARNXML.XML_TEMP exists\n" + reEnabled(1));
  EXPECT_TRUE(shows(rows, "ROW:B_ORDERS:5.00")) << console(rows).out;
  EXPECT_EQ(triggers(), triggersBefore);
  EXPECT_TRUE(shows("SELECT 'C=' || customer FROM shop.b_side", "C=Ann"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME = 'XML_TEMP'", "FOUND"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.ROUTINES WHERE ROUTINENAME = 'KELREENABLECOLUMN'", "FOUND"));
}

// A run that stops after the last column's re-enable was committed, before the registered
// re-enable procedure is dropped, leaves XML_TEMP empty: the next run finds nothing to re-enable
// and still drops the procedure, which was left registered for good (any user could call it).
TEST_F(Kelmigv, AStopAfterTheLastReEnableLeavesNoProcedureBehind) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.a_orders", "doc", "shop.a_side", "a.dad");
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  Result r = console("CREATE TRIGGER shop.refuse NO CASCADE BEFORE INSERT ON shop.a_side REFERENCING NEW AS n "
                     "FOR EACH ROW MODE QUARNSQL SIGNAL SQLSTATE '75001' ('refused')");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(migrate({"TESTDB"}).status, 255);
  const std::string registered = "SELECT 'FOUND' FROM SYSCAT.ROUTINES WHERE ROUTINENAME = 'KELREENABLECOLUMN'";
  ASSERT_TRUE(shows(registered, "FOUND"));
  // What the stopped run had done: the column re-enabled and its row deleted, both committed.
  ASSERT_EQ(console("DROP TRIGGER shop.refuse").status, 0);
  r = console("CALL quarnxml.kelReEnableColumn('shop.a_orders', 'doc', ?, ?)");
  ASSERT_NE(r.out.find("Value of output parameters"), std::string::npos) << r.out;
  ASSERT_EQ(console("DELETE FROM QUARNXML.XML_TEMP").status, 0);
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + "QUARNXML.XML_TEMP exists\n" + reEnabled(0));
  EXPECT_FALSE(shows(registered, "FOUND"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME = 'XML_TEMP'", "FOUND"));
}

// Names that are not ordinary upper-case identifiers reach soft-disable and re-enable as
// delimited identifiers; passed as they stand they would fold to SHOP.MIXED ORDERS, which
// does not parse, and the run would fail.
TEST_F(Kelmigv, MixedCaseNamesMigrate) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("\"Shop\".\"Mixed Orders\"", "\"Doc\"", "shop.mixed_side", "m.dad", "\"Id\"");
  const std::string triggersBefore = triggers();
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  Result r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + softDisabled(1) + kPrevious + reEnabled(1));
  EXPECT_TRUE(shows("SELECT 'ROW:' || RTRIM(TABLE_NAME) || ':' || RTRIM(COL_NAME) || ':' || RTRIM(CHAR(VERSION)) "
                    "FROM QUARNXML.XML_USAGE",
                    "ROW:Mixed Orders:Doc:5.00"));
  EXPECT_EQ(triggers(), triggersBefore);
  ASSERT_EQ(console("INSERT INTO \"Shop\".\"Mixed Orders\" (\"Id\", \"Doc\") VALUES (2, "
                    "quarnxml.XMLVarchar('<order><customer>Bob</customer></order>'))")
                .status,
            0);
  EXPECT_TRUE(shows("SELECT 'C=' || customer FROM shop.mixed_side ORDER BY 1", "C=Ann\nC=Bob"));
}

// A statement of a list that fails ends the run: everything since the last COMMIT is rolled
// back (the soft-disabled column is active again, the lists' drops and creates are undone),
// and nothing is reported as done after it.
TEST_F(Kelmigv, AFailingStatementIsRolledBack) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.orders", "doc", "shop.order_side", "c.dad");
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  ASSERT_EQ(console("CREATE TABLE shop.log (v VARCHAR(32672))").status, 0);
  Result r = console("CREATE TRIGGER shop.uses_cast AFTER INSERT ON shop.orders REFERENCING NEW AS n FOR EACH ROW "
                     "MODE QUARNSQL INSERT INTO shop.log VALUES (quarnxml.VARCHARTOVARCHAR(n.doc))");
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string routinesBefore = routineTexts(), triggersBefore = triggers();
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 255);
  std::string steps = kPrevious;
  steps = steps.substr(0, steps.find("XMLVARCHAR"));
  EXPECT_EQ(r.out, std::string(kPrompt) + softDisabled(1) + steps +
                       "Encountered SQLCODE -478 \nWhile executing \n drop function "
                       "quarnxml.VARCHARTOVARCHAR(quarnxml.XMLVARCHAR) \nMigration failed with code = (-1)\n");
  EXPECT_EQ(routineTexts(), routinesBefore);
  EXPECT_EQ(triggers(), triggersBefore);
  EXPECT_TRUE(shows("SELECT 'V=' || RTRIM(CHAR(VERSION)) FROM QUARNXML.XML_USAGE", "V=0.00"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME = 'XML_TEMP'", "FOUND"));
  // Without the user's trigger the run goes through.
  ASSERT_EQ(console("DROP TRIGGER shop.uses_cast").status, 0);
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + softDisabled(1) + kPrevious + reEnabled(1));
}

// The insert trigger of a column is looked up by its table as well as its suffix: a user's
// trigger of that name elsewhere is not taken for it (a second soft-disable of the column would
// fail the run), and a column whose insert trigger is gone is reported, not passed over in
// silence.
TEST_F(Kelmigv, TheTriggerLookupGoesByTableAndReportsAMissingTrigger) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.orders", "doc", "shop.order_side", "c.dad");
  enableColumn("shop.parts", "doc", "shop.part_side", "p.dad");
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  auto suffix = [&](const std::string &table) {
    std::string out = console("SELECT 'SFX=' || RTRIM(TRIGGER_SUFFIX) || '=' FROM QUARNXML.XML_USAGE WHERE TABLE_NAME = '" +
                              table + "'")
                          .out;
    size_t at = out.find("SFX=");
    return at == std::string::npos ? std::string() : out.substr(at + 4, out.find('=', at + 4) - at - 4);
  };
  const std::string orders = suffix("ORDERS"), parts = suffix("PARTS");
  ASSERT_FALSE(orders.empty());
  ASSERT_FALSE(parts.empty());
  ASSERT_EQ(console("CREATE TABLE other.t (x INTEGER)").status, 0);
  Result r = console("CREATE TRIGGER other.J" + orders +
                     " NO CASCADE BEFORE INSERT ON other.t REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL SET n.x = 1");
  ASSERT_EQ(r.status, 0) << r.out;
  ASSERT_EQ(console("DROP TRIGGER shop.J" + parts).status, 0);
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, std::string(kPrompt) + "The XML column DOC of table SHOP.PARTS has no trigger J" + parts +
                       "; its triggers are not regenerated.\n" + softDisabled(1) + kPrevious + reEnabled(1));
  const std::string rows = "SELECT 'ROW:' || RTRIM(TABLE_NAME) || ':' || RTRIM(CHAR(VERSION)) FROM QUARNXML.XML_USAGE";
  EXPECT_TRUE(shows(rows, "ROW:ORDERS:5.00")) << console(rows).out;
  EXPECT_TRUE(shows(rows, "ROW:PARTS:0.00")) << console(rows).out;
  EXPECT_TRUE(shows("SELECT 'FOUND' FROM SYSCAT.TRIGGERS WHERE TRIGSCHEMA = 'OTHER' AND TRIGNAME = 'J" + orders + "'",
                    "FOUND"));
}

// The triggers come back with the qualifier they had, whatever its name: a qualifier USER or
// SESSION_USER written as it stands in SET SCHEMA would name the user of the migration instead.
TEST_F(Kelmigv, TriggerQualifiersAreKeptWhateverTheirNames) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.orders", "doc", "shop.order_side", "c.dad", "id", {"-l", "USER", "-p", "pw"});
  enableColumn("shop.parts", "doc", "shop.part_side", "p.dad", "id", {"-l", "SESSION_USER", "-p", "pw"});
  const std::string triggersBefore = triggers();
  ASSERT_NE(triggersBefore.find("SESSION_USER"), std::string::npos) << triggersBefore;
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);
  Result r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, std::string(kPrompt) + softDisabled(2) + kPrevious + reEnabled(2));
  EXPECT_EQ(triggers(), triggersBefore);
}

// A table QUARNXML.XML_TEMP that the command did not make is no work list. Before, a DAD could
// place a side table of that name and shape there: the next run took its rows for columns to
// re-enable, re-enabled what the documents named, deleted the side rows and failed on every
// later run with a re-enable procedure left registered. Enablement now refuses that side table
// (KELA057E, nothing made); a table left by an older enablement, or any other table of that
// name, stops the run before it changes anything.
TEST_F(Kelmigv, AnXmlTempTheCommandDidNotMakeStopsTheRunUnchanged) {
  ASSERT_EQ(keladm({"enable_db", "TESTDB"}).status, 0);
  enableColumn("shop.a_orders", "doc", "shop.a_side", "a.dad");
  ASSERT_EQ(console("CREATE TABLE shop.w (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  std::string dad = "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcolumn><table name=\"quarnxml.xml_temp\">";
  for (const char *c : {"table_schema", "table_name", "col_name", "trg_definer", "trg_qualifier"})
    dad += std::string("<column name=\"") + c + "\" type=\"varchar(30)\" path=\"/w/" + c + "\" multi_occurrence=\"NO\"/>";
  dad += "</table></Xcolumn></DAD>";
  Result r = keladm({"enable_column", "TESTDB", "shop.w", "doc", dadFile("w.dad", dad)});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.out.find("KELA057E  A side table name QUARNXML.XML_TEMP in DAD is invalid."), std::string::npos) << r.out;
  const std::string temp = "SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME = 'XML_TEMP'";
  EXPECT_FALSE(shows(temp, "FOUND"));
  ASSERT_EQ(shell(shellQuote(KEL_OLDLEVEL) + " TESTDB").status, 0);

  // The side table's shape (root id first, NOT NULL), the command's five columns with nothing
  // NOT NULL but the first, as a side table keyed by a column named TABLE_SCHEMA is, and the
  // command's own shape made by another user.
  for (int variant : {0, 1, 2}) {
    SCOPED_TRACE(variant);
    const bool rootFirst = variant == 0;
    const std::string shape =
        variant == 2 ? "TABLE_SCHEMA VARCHAR(30) NOT NULL, TABLE_NAME VARCHAR(128) NOT NULL, COL_NAME VARCHAR(30) NOT "
                       "NULL, TRG_DEFINER VARCHAR(128), TRG_QUALIFIER VARCHAR(128)"
                     : std::string(rootFirst ? "KELROOT_ID CHAR(13) FOR BIT DATA NOT NULL, TABLE_SCHEMA VARCHAR(30), "
                                             : "TABLE_SCHEMA VARCHAR(30) NOT NULL, ") +
                           "TABLE_NAME VARCHAR(128), COL_NAME VARCHAR(30), TRG_DEFINER VARCHAR(128), TRG_QUALIFIER "
                           "VARCHAR(128)";
    {
      keltest::ScopedEnv other;
      if (variant == 2) other.set("QUARN_USER", "mallory");
      ASSERT_EQ(console("CREATE TABLE QUARNXML.XML_TEMP (" + shape + ")").status, 0);
    }
    r = console(std::string("INSERT INTO QUARNXML.XML_TEMP (") + (rootFirst ? "KELROOT_ID, " : "") +
                "TABLE_SCHEMA, TABLE_NAME, COL_NAME, TRG_QUALIFIER) VALUES (" +
                (rootFirst ? "generate_unique(), " : "") + "'SHOP', 'A_ORDERS', 'DOC', 'SHOP')");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string routines = routineTexts(), triggersBefore = triggers();
    r = migrate({"TESTDB"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, std::string(kPrompt) +
                         "QUARNXML.XML_TEMP exists but was not made by the migration command; it is left as it is. "
                         "Rename or drop it, and run the migration again.\nMigration failed with code = (-1)\n");
    EXPECT_TRUE(shows("SELECT 'ROW:' || TABLE_NAME FROM QUARNXML.XML_TEMP", "ROW:A_ORDERS"));
    EXPECT_EQ(routineTexts(), routines);
    EXPECT_EQ(triggers(), triggersBefore);
    ASSERT_EQ(console("DROP TABLE QUARNXML.XML_TEMP").status, 0);
  }
  // Without it the old level is brought up as always.
  r = migrate({"TESTDB"});
  EXPECT_EQ(r.status, 0) << r.out;
}

}  // namespace
