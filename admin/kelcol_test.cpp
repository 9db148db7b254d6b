// XML column statements and helpers: every trigger form (DTD, no DTD, schema; system and
// caller root id) and side table, view and fill statements against a golden file, with names
// and literals that carry quotes; the trigger-suffix generator's alphabet and thread safety;
// the suffix picker giving up after 26 draws in use instead of reusing one; two sessions
// inserting into one enabled column at once; disable by another user.
#include "kelcol.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kel_golden.h"
#include "kel_test_db.h"
#include "kelcattab.h"
#include "kelcoll.h"
#include "kelcolstmt.h"
#include "kelctx.h"
#include "kelenable.h"
#include "kelmsg.h"

namespace {

// A call context as a procedure's, on a fresh database with the catalogue tables.
class ColumnDb : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    openDatabase("KELCOL");
    env_.set("QUARNINSTANCE", "kelinst");
    env_.set("QUARNKELPATH", dir_.str());
    KelCodePageRequest request{0, 1208, nullptr};
    ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8"), 0) << msg;
    inited = true;
  }
  void TearDown() override {
    if (inited) kelTerm(&ctx, state);
    DatabaseTest::TearDown();
  }
  // The catalogue tables and routines of an enabled database.
  void enableDatabase() {
    for (const KelEnableStmt &s : kelEnableList()) ASSERT_EQ(exec(s.text), 0) << s.text << error();
  }
  // An enabled database and its new table app.docs (id key), its column doc enabled with dad.
  void enableDocs(const std::string &dad);
  KelCallContext ctx{};
  bool inited = false;
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

// A column with two side tables (one of several values) under hostile names.
KelColumnDef hostileColumn() {
  KelColumnDef def;
  def.schema = "we'ird";
  def.table = "t\"x";
  def.column = "d\"oc";
  def.rootId = KEL_ROOT_ID_COLUMN;
  def.rootDef = KEL_ROOT_ID_DEF;
  def.suffix = "ABC1234";
  KelSideTab head{"s'q", "h\"d", false, {{"c'1", "varchar(40)", "/a/b[@k=\"x'y\"]"}, {"n", "real", "/a/@n"}}};
  KelSideTab many{"s'q", "many", true, {{"note", "clob(1M)", "/a/note"}}};
  def.sides = {head, many};
  return def;
}

std::string allStatements(KelCallContext *ctx, KelColumnDef def, const char *title) {
  std::string text = std::string("==== ") + title + "\n";
  std::string sql;
  for (const KelSideTab &s : def.sides) {
    EXPECT_TRUE(kelSideTableStmt(ctx, def, s, "ts'1", &sql));
    text += sql + "\n";
    std::vector<std::string> fill;
    EXPECT_TRUE(kelSideFillStmts(ctx, def, s, &fill));
    for (const std::string &f : fill) text += f + "\n";
  }
  for (char kind : kelTriggerKinds(def)) {
    EXPECT_TRUE(kelTriggerStmt(ctx, def, kind, "KELD000E  it's invalid", &sql));
    text += sql + "\n";
  }
  EXPECT_TRUE(kelDefaultViewStmt(ctx, def, "v's", "v\"w", {"d\"oc", "KELROOT_ID"}, &sql));
  text += sql + "\n";
  if (def.systemRoot) {
    EXPECT_TRUE(kelRootIdFillStmt(ctx, def, &sql));
    text += sql + "\n";
  }
  return text;
}

TEST_F(ColumnDb, StatementsOfEveryFormMatchGoldenFile) {
  KelColumnDef def = hostileColumn();
  std::string text = allStatements(&ctx, def, "no DTD, no validation, system root id");
  def.validation = KelColValidation::NoDtd;
  text += allStatements(&ctx, def, "no DTD, validation");
  def.dtdId = "o'rder.dtd";
  def.validation = KelColValidation::Dtd;
  def.systemRoot = false;
  def.rootId = "i\"d";
  def.rootDef = "INTEGER";
  def.sides[1].columns[0].type = "double";
  text += allStatements(&ctx, def, "DTD, validation, caller's root id");
  def.dtdId.clear();
  def.schemaLocation = "/x/o'rder.xsd";
  def.validation = KelColValidation::Schema;
  def.sides[1].columns[0].type = "varchar(30)";
  text += allStatements(&ctx, def, "schema validation");
  EXPECT_TRUE(keltest::matchesGolden(keltest::goldenFile("columns", "statements.txt"), text));
  // No quote of a name or value ends a literal or an identifier early: every literal holds
  // its quote doubled, every identifier its double quote doubled.
  EXPECT_EQ(text.find("'o'rder"), std::string::npos);
  EXPECT_NE(text.find("'o''rder.dtd'"), std::string::npos);
  EXPECT_NE(text.find("\"we'ird\".\"t\"\"x\""), std::string::npos);
  EXPECT_NE(text.find("'/a/b[@k=\"x''y\"]'"), std::string::npos);
}

TEST_F(ColumnDb, UpdateTriggerDeletesWhateverTheNewValueAndGuardsOnlyTheInserts) {
  KelColumnDef def = hostileColumn();
  std::string u;
  ASSERT_TRUE(kelTriggerStmt(&ctx, def, 'U', "x", &u));
  // No WHEN before BEGIN ATOMIC: a document set to NULL still loses its side-table rows.
  EXPECT_EQ(u.substr(0, u.find("BEGIN ATOMIC")).find("WHEN"), std::string::npos) << u;
  size_t guards = 0;
  for (size_t at = 0; (at = u.find("WHERE NEWROW.\"d\"\"oc\" IS NOT NULL", at)) != std::string::npos; ++at) ++guards;
  EXPECT_EQ(guards, def.sides.size()) << u;
  // The validation triggers let NULL documents pass.
  def.validation = KelColValidation::NoDtd;
  std::string v;
  ASSERT_TRUE(kelTriggerStmt(&ctx, def, 'V', "x", &v));
  EXPECT_NE(v.find("WHEN (NEWROW.\"d\"\"oc\" IS NOT NULL AND "), std::string::npos) << v;
}

TEST(TriggerSuffix, SevenCharactersOfTheAlphabetFromManyThreads) {
  std::vector<std::string> drawn(8 * 50);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&drawn, t] {
      for (int i = 0; i < 50; ++i) {
        char buf[KEL_TRIGGER_SUFFIX_LEN + 1];
        kel_GetRandName(nullptr, buf, KEL_TRIGGER_SUFFIX_LEN);
        drawn[t * 50 + i] = buf;
      }
    });
  for (std::thread &t : threads) t.join();
  std::set<std::string> distinct;
  for (const std::string &s : drawn) {
    ASSERT_EQ(s.size(), 7u);
    EXPECT_EQ(s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"), std::string::npos) << s;
    distinct.insert(s);
  }
  // 36^7 possibilities: 400 draws that repeat would mean a broken generator.
  EXPECT_GT(distinct.size(), 395u);
}

TEST_F(ColumnDb, SuffixInUseIsNeverReusedAfter26Draws) {
  int n = 0;
  const KelCatTabStmt *create = kelCatTabCreateStatements(&n);
  ASSERT_EQ(exec("create distinct type quarnxml.xmlclob as clob(2G)"), 0) << error();
  for (int i = 0; i < n; ++i) ASSERT_EQ(exec(create[i].sql), 0) << create[i].sql << error();
  ASSERT_EQ(exec("create table s.t (c varchar(9))"), 0) << error();
  ASSERT_EQ(exec("insert into quarnxml.xml_usage (table_schema, table_name, col_name, access_mode, validation, "
                 "trigger_suffix, version) values ('S', 'T', 'C', 0, 0, 'AAAAAAA', 5.0)"),
            0)
      << error();
  int draws = 0;
  std::string suffix;
  EXPECT_EQ(kelPickTriggerSuffix(
                &ctx, [&] { return ++draws, std::string("AAAAAAA"); }, "C", "S.T", &suffix, msg),
            -46);
  EXPECT_EQ(draws, 26);
  EXPECT_TRUE(suffix.empty());
  EXPECT_NE(std::string(msg).find("KELA062E"), std::string::npos) << msg;
  // A free draw is taken at once.
  draws = 0;
  EXPECT_EQ(kelPickTriggerSuffix(
                &ctx, [&] { return ++draws == 1 ? std::string("AAAAAAA") : std::string("BBBBBBB"); }, "C", "S.T",
                &suffix, msg),
            0)
      << msg;
  EXPECT_EQ(suffix, "BBBBBBB");
  EXPECT_EQ(draws, 2);
}

// The first column of the first row of a query, as text ("" for none).
std::string valueOf(const char *sql) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (quarn_prepare(sql, &stmt, &ca) < 0) return "error " + std::to_string(ca.sqlcode);
  char value[256] = "";
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CSTR, sizeof value, value, &ind};
  if (quarn_open(stmt, 0, nullptr, &ca) >= 0) quarn_fetch(stmt, 1, &out, &ca);
  quarn_free_stmt(stmt);
  return value;
}

// The arguments that enable the column doc of app.docs with dad (which must outlive them).
KelEnableColumnArgs docsColumn(const std::string &dad) {
  KelEnableColumnArgs args;
  args.tableName = "app.docs";
  args.columnName = "doc";
  args.dad = dad.c_str();
  args.dadLen = static_cast<int32_t>(dad.size());
  return args;
}

void ColumnDb::enableDocs(const std::string &dad) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(exec("create table app.docs (id integer not null primary key, doc quarnxml.XMLVarchar)"), 0) << error();
  KelEnableColumnArgs args = docsColumn(dad);
  ASSERT_EQ(kelEnableColumnMain(&ctx, args, msg), 0) << msg;
}

TEST_F(ColumnDb, TwoSessionsInsertIntoOneEnabledColumnAtOnce) {
  ASSERT_NO_FATAL_FAILURE(enableDocs(
      "<DAD><validation>NO</validation><Xcolumn><table name=\"app.head\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table><table name=\"app.many\"><column name=\"p\" type=\"integer\" "
      "path=\"/a/p\" multi_occurrence=\"YES\"/></table></Xcolumn></DAD>"));
  sqlca ca{};
  ASSERT_EQ(quarn_commit(&ca), 0);
  constexpr int kPerSession = 30;
  std::vector<int> failures(2, 0);
  auto session = [&failures](int who) {
    sqlca c{};
    if (quarn_connect("KELCOL", nullptr, nullptr, &c) < 0) {
      failures[who] = -1;
      return;
    }
    for (int i = 0; i < kPerSession; ++i) {
      const int id = who * 1000 + i;
      const std::string sql = "insert into app.docs (id, doc) values (" + std::to_string(id) +
                              ", quarnxml.XMLVarchar('<a><v>s" + std::to_string(id) + "</v><p>" + std::to_string(id) +
                              "</p><p>1</p></a>'))";
      // A lock wait that times out rolls the unit of work back: the insert is tried again.
      int code = -1;
      for (int attempt = 0; attempt < 100 && code < 0; ++attempt) {
        code = quarn_execute_immediate(sql.c_str(), &c);
        if (code >= 0) code = quarn_commit(&c);
        if (code < 0) quarn_rollback(&c);
      }
      if (code < 0) ++failures[who];
    }
    quarn_connect_reset(&c);
  };
  std::thread a(session, 0), b(session, 1);
  a.join();
  b.join();
  EXPECT_EQ(failures[0], 0);
  EXPECT_EQ(failures[1], 0);
  EXPECT_EQ(valueOf("select count(*) from app.docs"), std::to_string(2 * kPerSession));
  // Every document has exactly its rows, with the values its document holds.
  EXPECT_EQ(valueOf("select count(*) from app.docs d, app.head h where d.kelroot_id = h.kelroot_id and h.v = 's' "
                    "concat varchar(d.id)"),
            std::to_string(2 * kPerSession));
  EXPECT_EQ(valueOf("select count(*) from app.head"), std::to_string(2 * kPerSession));
  EXPECT_EQ(valueOf("select count(*) from app.docs d, app.many m where d.kelroot_id = m.kelroot_id and "
                    "(m.kel_seqno = 1 and m.p = d.id or m.kel_seqno = 2 and m.p = 1)"),
            std::to_string(4 * kPerSession));
  EXPECT_EQ(valueOf("select count(*) from app.many"), std::to_string(4 * kPerSession));
}

TEST_F(ColumnDb, DisableAsAnotherUserDropsTheSideTablesOfTheEnablingUser) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  sqlca ca{};
  auto connectAs = [&](const char *user) {
    quarn_commit(&ca);
    quarn_connect_reset(&ca);
    env_.set("QUARN_USER", user);
    return quarn_connect("KELCOL", nullptr, nullptr, &ca);
  };
  ASSERT_EQ(connectAs("alice"), 0);
  ASSERT_EQ(exec("create table app.docs (doc quarnxml.XMLVarchar)"), 0) << error();
  // A side table named without a schema belongs to the enabling user.
  const std::string dad =
      "<DAD><validation>NO</validation><Xcolumn><table name=\"side1\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  KelEnableColumnArgs args = docsColumn(dad);
  ASSERT_EQ(kelEnableColumnMain(&ctx, args, msg), 0) << msg;
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'ALICE' and tabname = 'SIDE1'"), "1");
  // Another user with a table of the same name disables the column: the enabling user's side
  // table goes, the other user's own table stays.
  ASSERT_EQ(connectAs("bob"), 0);
  ASSERT_EQ(exec("create table side1 (mine integer)"), 0) << error();
  ASSERT_EQ(kelDisableColumnMain(&ctx, "app.docs", "doc", msg), 0) << msg;
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'ALICE' and tabname = 'SIDE1'"), "0");
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'BOB' and tabname = 'SIDE1'"), "1");
}

// A caller's key named "kelroot_id" in lower case is the caller's root id, not the system's
// KELROOT_ID: soft-disable, re-enable and disable work on that key, and the side table keeps
// what extraction of the documents gives.
TEST_F(ColumnDb, CallersKeyNamedKelrootIdInLowerCaseIsNotTheSystemRootId) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(exec("create table app.docs (\"kelroot_id\" integer not null primary key, doc quarnxml.XMLVarchar)"), 0)
      << error();
  ASSERT_EQ(exec("insert into app.docs values (1, '<a><v>one</v></a>')"), 0) << error();
  const std::string dad =
      "<DAD><validation>NO</validation><Xcolumn><table name=\"app.side1\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  KelEnableColumnArgs args = docsColumn(dad);
  args.rootId = "\"kelroot_id\"";
  ASSERT_EQ(kelEnableColumnMain(&ctx, args, msg), 0) << msg;
  ASSERT_EQ(kelSoftDisableColumnMain(&ctx, "app.docs", "doc", false, msg), 0) << msg;
  ASSERT_EQ(exec("insert into app.docs values (2, '<a><v>two</v></a>')"), 0) << error();
  EXPECT_EQ(kelReEnableColumnMain(&ctx, "app.docs", "doc", false, msg), 0) << msg;
  ASSERT_EQ(exec("insert into app.docs values (3, '<a><v>three</v></a>')"), 0) << error();
  EXPECT_EQ(valueOf("select count(*) from app.docs d, app.side1 s where d.\"kelroot_id\" = s.\"kelroot_id\" and "
                    "s.v = quarnxml.extractVarchar(d.doc, '/a/v')"),
            "3");
  EXPECT_EQ(valueOf("select count(*) from app.side1"), "3");
  EXPECT_EQ(kelDisableColumnMain(&ctx, "app.docs", "doc", msg), 0) << msg;
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"), "0");
  EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");

  // A caller's key named KELROOT_ID, given as the root id, was taken for the system's once
  // enabled: re-enable filled it by trigger (the caller's keys overwritten), and disable reset
  // it to NULL and failed on every try.  It is refused at enablement.
  ASSERT_EQ(exec("create table app.keyed (kelroot_id char(13) not null primary key, doc quarnxml.XMLVarchar)"), 0)
      << error();
  args.tableName = "app.keyed";
  for (const char *rootId : {"KELROOT_ID", "kelroot_id", "\"KELROOT_ID\""}) {
    args.rootId = rootId;
    EXPECT_EQ(kelEnableColumnMain(&ctx, args, msg), -10) << rootId;
    EXPECT_STREQ(msg, "KELA015E  The column KELROOT_ID already exists in table APP.KEYED.\n") << rootId;
  }
  EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"), "0");
}

// A row of an older enablement has no SIDE_TAB_QUAL: soft-disable records the schema of a side
// table the DAD names without one. Before, a side table the DAD names with its schema (q.sa)
// could give it, and re-enable then took Q's own table SB for the side table sb: emptied,
// filled and fed by the triggers, while the real side table went stale.
TEST_F(ColumnDb, AnOlderRowRecordsTheSchemaOfItsUnqualifiedSideTables) {
  ASSERT_NO_FATAL_FAILURE(enableDocs(
      "<DAD><validation>NO</validation><Xcolumn><table name=\"q.sa\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table><table name=\"sb\"><column name=\"s\" type=\"varchar(10)\" "
      "path=\"/a/s\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>"));
  ASSERT_EQ(exec("insert into app.docs (id, doc) values (1, '<a><v>one</v><s>open</s></a>')"), 0) << error();
  const std::string user = valueOf("values rtrim(user)");
  ASSERT_EQ(exec("create table q.sb (kelroot_id char(13) for bit data, s varchar(10))"), 0) << error();
  ASSERT_EQ(exec("insert into q.sb values (x'00000000000000000000000001', 'precious')"), 0) << error();
  ASSERT_EQ(exec("update quarnxml.xml_usage set side_tab_qual = null, root_id = null"), 0) << error();
  ASSERT_EQ(kelSoftDisableColumnMain(&ctx, "app.docs", "doc", false, msg), 0) << msg;
  EXPECT_EQ(valueOf("select side_tab_qual from quarnxml.xml_usage"), user);
  ASSERT_EQ(kelReEnableColumnMain(&ctx, "app.docs", "doc", false, msg), 0) << msg;
  ASSERT_EQ(exec("insert into app.docs (id, doc) values (2, '<a><v>two</v><s>new</s></a>')"), 0) << error();
  EXPECT_EQ(valueOf("select count(*) from q.sb where s = 'precious'"), "1");
  EXPECT_EQ(valueOf("select count(*) from q.sb"), "1");
  EXPECT_EQ(valueOf(("select count(*) from \"" + user + "\".sb").c_str()), "2");
  EXPECT_EQ(valueOf("select count(*) from q.sa"), "2");
}

// A column whose table was dropped while enabled was stuck: disable refused the missing table
// (KELA016E), and after the table was made again without KELROOT_ID it failed resetting it
// (KELA031E).  Both disable, removing the view, side tables and XML_USAGE row.
TEST_F(ColumnDb, DisableRemovesWhatIsLeftOfAColumnWhoseTableWasDropped) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  const std::string dad =
      "<DAD><validation>NO</validation><Xcolumn><table name=\"app.side1\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  KelEnableColumnArgs args = docsColumn(dad);
  args.defaultView = "app.docs_v";
  for (bool madeAgain : {false, true}) {
    SCOPED_TRACE(madeAgain);
    ASSERT_EQ(exec("create table app.docs (id integer, doc quarnxml.XMLVarchar)"), 0) << error();
    ASSERT_EQ(kelEnableColumnMain(&ctx, args, msg), 0) << msg;
    ASSERT_EQ(exec("insert into app.docs (id, doc) values (1, '<a><v>one</v></a>')"), 0) << error();
    ASSERT_EQ(exec("drop table app.docs"), 0) << error();
    if (madeAgain) {
      ASSERT_EQ(exec("create table app.docs (id integer, doc quarnxml.XMLVarchar)"), 0) << error();
    }
    EXPECT_EQ(kelDisableColumnMain(&ctx, "app.docs", "doc", msg), 0) << msg;
    EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");
    EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname in ('SIDE1', 'DOCS_V')"),
              "0");
    if (madeAgain) {
      ASSERT_EQ(exec("drop table app.docs"), 0) << error();
    }
  }
  // A table that is neither there nor recorded is still refused.
  EXPECT_EQ(kelDisableColumnMain(&ctx, "app.docs", "doc", msg), -11);
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELA016E") << msg;
}

// The default view's stored form, schema and name delimited, must fit XML_USAGE.DEFAULT_VIEW
// (128 bytes): a longer one failed the catalogue's insert after everything else was made.
TEST_F(ColumnDb, DefaultViewsWhoseStoredFormIsTooLongAreRefusedFirst) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(exec("create table app.docs (id integer not null primary key, doc quarnxml.XMLVarchar)"), 0) << error();
  const std::string dad =
      "<DAD><validation>NO</validation><Xcolumn><table name=\"app.side1\"><column name=\"v\" type=\"varchar(20)\" "
      "path=\"/a/v\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  KelEnableColumnArgs args = docsColumn(dad);
  const std::string tooLong = std::string(30, 'S') + "." + std::string(97, 'V');  // 128, stored in 132
  args.defaultView = tooLong.c_str();
  EXPECT_EQ(kelEnableColumnMain(&ctx, args, msg), -16);
  EXPECT_EQ(std::string(msg), "KELA021E  Cannot create the default view " + tooLong + ".\n");
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"), "0");
  const std::string fits = std::string(30, 'S') + "." + std::string(93, 'V');  // stored in 128
  args.defaultView = fits.c_str();
  EXPECT_EQ(kelEnableColumnMain(&ctx, args, msg), 0) << msg;
  EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "1");
}

// An empty or blank dtdid with validation YES was taken as no DTD: the column was enabled with
// validation recorded, and its triggers compared against a DTD_REF row of id '' that never
// exists, so every document was accepted.  It is refused as an unknown id is; validation YES
// without any dtdid validates against the document's own DOCTYPE.
TEST_F(ColumnDb, ValidationAgainstAnEmptyDtdIdIsRefusedLikeAnUnknownId) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(
      exec("create table app.docs (id integer not null primary key, doc quarnxml.XMLVarchar)"), 0)
      << error();
  const std::string side =
      "<Xcolumn><table name=\"app.side1\"><column name=\"v\" type=\"varchar(20)\" path=\"/a/v\" "
      "multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  for (const char *dtdId :
       {"<dtdid></dtdid>", "<dtdid/>", "<dtdid> \n\t</dtdid>", "<dtdid>nothere.dtd</dtdid>"}) {
    const std::string dad = std::string("<DAD>") + dtdId + "<validation>YES</validation>" + side;
    EXPECT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), -5) << dtdId;
    const std::string shownId =
        std::string(dtdId).find("nothere") != std::string::npos ? "nothere.dtd" : "";
    EXPECT_EQ(std::string(msg), "KELA010E  Attempt to find DTD ID " + shownId + " failed.\n")
        << dtdId;
    EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0") << dtdId;
    EXPECT_EQ(
        valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"),
        "0");
  }
  // Without a dtdid the column validates against the document's DOCTYPE: one without is refused.
  const std::string noId = "<DAD><validation>YES</validation>" + side;
  ASSERT_EQ(kelEnableColumnMain(&ctx, docsColumn(noId), msg), 0) << msg;
  EXPECT_EQ(
      valueOf("select count(*) from quarnxml.xml_usage where dtdid is null and validation = 1"),
      "1");
  EXPECT_LT(exec("insert into app.docs (id, doc) values (1, '<junk/>')"), 0);
  EXPECT_EQ(exec("insert into app.docs (id, doc) values (2, '<!DOCTYPE a [<!ELEMENT a "
                 "(v)><!ELEMENT v (#PCDATA)>]>"
                 "<a><v>x</v></a>')"),
            0)
      << error();
  EXPECT_EQ(valueOf("select count(*) from app.docs"), "1");
}

// A side-column type is one type, read as a collection's column types are (kelParseSqlType),
// and FOR BIT DATA.  Any number of words were accepted after the type, so "double NOT NULL
// UNIQUE" reached the side table's CREATE TABLE and a user's second ordinary insert failed.
TEST_F(ColumnDb, SideColumnTypesAreOneTypeAndNoFurtherClause) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(
      exec("create table app.docs (id integer not null primary key, doc quarnxml.XMLVarchar)"), 0)
      << error();
  auto dadOf = [](const std::string &columns) {
    return "<DAD><validation>NO</validation><Xcolumn><table name=\"app.side1\">" + columns +
           "</table></Xcolumn></DAD>";
  };
  auto column = [](const std::string &name, const std::string &type, const char *multi) {
    return "<column name=\"" + name + "\" type=\"" + type + "\" path=\"/a/v\" multi_occurrence=\"" +
           multi + "\"/>";
  };
  for (const char *bad :
       {"double NOT NULL UNIQUE", "integer primary key", "varchar(20) not null",
        "varchar(20) check (v &lt;&gt; '')", "double generated always as identity",
        "varchar(20) for bit data unique", "quarnxml.XMLCLOB", "for bit data", "varchar(20) for"}) {
    std::string dad = dadOf(column("v", bad, "YES"));
    EXPECT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), -43) << bad;
    std::string shown = std::string(bad) == "varchar(20) check (v &lt;&gt; '')"
                            ? "varchar(20) check (v <> '')"
                            : bad;
    EXPECT_EQ(std::string(msg),
              "KELA059E  The type " + shown + " of column v in the DAD file is invalid.\n")
        << bad;
    EXPECT_EQ(
        valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"),
        "0");
  }
  // Types as written before: lengths in any case and spacing, two-word names, FOR BIT DATA.
  const std::string good =
      column("a", "varchar (20)", "NO") + column("b", "double precision", "NO") +
      column("c", "clob(1m)", "NO") + column("d", "decimal( 10 , 2 )", "NO") +
      column("e", "char(8)  for  bit  data", "NO") + column("f", "INTEGER", "NO");
  std::string dad = dadOf(good);
  ASSERT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), 0) << msg;
  EXPECT_EQ(exec("insert into app.docs (id, doc) values (1, '<a><v>1</v></a>')"), 0) << error();
  EXPECT_EQ(exec("insert into app.docs (id, doc) values (2, '<a><v>1</v></a>')"), 0) << error();
  EXPECT_EQ(valueOf("select count(*) from app.side1 where f = 1"), "2");
}

// A side-column name of 31 to 128 bytes passed the DAD checks and failed in the side table's
// CREATE TABLE with the database's SQL0107N under KELA046E.  The database's limit (30 bytes of
// the parsed name) is checked with the DAD: KELA058E naming it.  A side table without any
// column said "column name (NULL)"; it is a missing part, named.
TEST_F(ColumnDb, SideColumnNamesAreHeldToTheDatabasesLimit) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  ASSERT_EQ(
      exec("create table app.docs (id integer not null primary key, doc quarnxml.XMLVarchar)"), 0)
      << error();
  auto dadOf = [](const std::string &table) {
    return "<DAD><validation>NO</validation><Xcolumn>" + table + "</Xcolumn></DAD>";
  };
  auto side = [](const std::string &name) {
    return "<table name=\"app.side1\"><column name=\"" + name +
           "\" type=\"varchar(20)\" path=\"/a/v\" multi_occurrence=\"NO\"/></table>";
  };
  for (const std::string &name : {std::string(31, 'c'), std::string(128, 'c'),
                                  "&quot;" + std::string(29, 'c') + "&quot;&quot;&quot;&quot;&quot;"}) {
    std::string dad = dadOf(side(name));
    EXPECT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), -42) << name;
    std::string shown = name;
    for (size_t at = shown.find("&quot;"); at != std::string::npos; at = shown.find("&quot;"))
      shown.replace(at, 6, "\"");
    EXPECT_EQ(std::string(msg), "KELA058E  A column name " + shown + " in the DAD file is invalid.\n");
    EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'APP' and tabname = 'SIDE1'"), "0");
    EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");
  }
  std::string dad = dadOf("<table name=\"app.side1\"/>");
  EXPECT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), -61);
  EXPECT_EQ(std::string(msg), "KELQ000E  column of table app.side1 is missing from the DAD file.\n");
  // Thirty bytes, and a delimited name of thirty bytes once its doubled quotes are read.
  dad = dadOf(side(std::string(30, 'c')) +
              "<table name=\"app.side2\"><column name=\"&quot;" + std::string(28, 'd') +
              "&quot;&quot;&quot;&quot;&quot;\" type=\"integer\" path=\"/a/n\" multi_occurrence=\"NO\"/></table>");
  ASSERT_EQ(kelEnableColumnMain(&ctx, docsColumn(dad), msg), 0) << msg;
  EXPECT_EQ(exec("insert into app.docs (id, doc) values (1, '<a><v>x</v><n>4</n></a>')"), 0) << error();
  EXPECT_EQ(valueOf(("select " + std::string(30, 'c') + " from app.side1").c_str()), "x");
}

// A collection whose top RDB_node does not join every table was enabled: without the condition
// (and with key="sku") order_item was made without order_id, and shredding two orders into it
// gave each order every item when the documents were made again.  Refused before any table or
// row is made, naming the table.
TEST_F(ColumnDb, ACollectionWhoseTopConditionLeavesATableOutIsRefused) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  const std::string sample = keltest::readFile(keltest::sourceDir() + "/samples/orders.dad");
  const std::string condition = "<condition>shop.order_head.order_id = shop.order_item.order_id</condition>";
  ASSERT_NE(sample.find(condition), std::string::npos);
  std::string dad = sample;
  dad.replace(dad.find(condition), condition.size(), "");
  dad.replace(dad.find("key=\"order_id sku\""), 18, "key=\"sku\"");
  EXPECT_EQ(kelEnableColl_Main(&ctx, "KELCOL", "orders", dad.c_str(), static_cast<int32_t>(dad.size()), nullptr, msg),
            -111);
  EXPECT_EQ(std::string(msg), "KELQ035E  Invalid join condition in top RDB_node of DAD: SHOP.ORDER_ITEM \n");
  EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabschema = 'SHOP'"), "0");
  // The sample as it is joins its two tables: the item table holds the order's key.
  ASSERT_EQ(kelEnableColl_Main(&ctx, "KELCOL", "orders", sample.c_str(), static_cast<int32_t>(sample.size()), nullptr,
                               msg),
            0)
      << msg;
  EXPECT_EQ(valueOf("select count(*) from syscat.columns where tabschema = 'SHOP' and tabname = 'ORDER_ITEM' and "
                    "colname = 'ORDER_ID'"),
            "1");
}

// A collection's tables are made, or checked and then filled by decomposition: one that a DAD
// names in the extension's schema or a system schema is refused before anything is made (before,
// the names were taken as they stood).
TEST_F(ColumnDb, ACollectionTableInAReservedSchemaIsRefused) {
  ASSERT_NO_FATAL_FAILURE(enableDatabase());
  const std::string sample = keltest::readFile(keltest::sourceDir() + "/samples/orders.dad");
  for (const char *schema : {"quarnxml", "SYSFUN", "sysx"}) {
    SCOPED_TRACE(schema);
    std::string dad = sample;
    for (size_t at; (at = dad.find("shop.order_item")) != std::string::npos;)
      dad.replace(at, 4, schema);
    EXPECT_EQ(kelEnableColl_Main(&ctx, "KELCOL", "orders", dad.c_str(), static_cast<int32_t>(dad.size()), nullptr, msg),
              -84);
    std::string upper = schema;
    for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(std::string(msg), "KELQ024E  Can not create table " + upper + ".ORDER_ITEM.\n");
    EXPECT_EQ(valueOf("select count(*) from quarnxml.xml_usage"), "0");
    EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabname = 'ORDER_ITEM' or tabschema = 'SHOP'"), "0");
  }
  // A table named without a schema is in the current schema, which may be a reserved one.
  std::string dad = sample;
  for (size_t at; (at = dad.find("shop.order_item")) != std::string::npos;) dad.erase(at, 5);
  ASSERT_EQ(exec("SET SCHEMA QUARNXML"), 0) << error();
  EXPECT_EQ(kelEnableColl_Main(&ctx, "KELCOL", "orders", dad.c_str(), static_cast<int32_t>(dad.size()), nullptr, msg), -84);
  EXPECT_EQ(std::string(msg), "KELQ024E  Can not create table QUARNXML.ORDER_ITEM.\n");
  EXPECT_EQ(valueOf("select count(*) from syscat.tables where tabname = 'ORDER_ITEM'"), "0");
}

}  // namespace
