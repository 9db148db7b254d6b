// Composition against a database: the three-table purchase orders in both mappings against
// their golden file (tests/data/compose/orders.xml), the driver's checks and outputs (result
// tables, large-object output, maxRows, validation, all or nothing), the SQL mapping (the
// statement's cut and keys, child queries under every ancestor key, keys, large objects), the
// RDB_node mapping (child tables without rows, large objects, quoting, conditions, overrides)
// and collections stored in XML_USAGE.  Every test runs on a fresh database of a temporary
// instance, with a temporary directory of its own that must be empty at the end.
#include "kelcomp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kel_golden.h"
#include "kel_test_db.h"
#include "kelbuf.h"
#include "kelcatalog.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "kelmsg.h"
#include "kelrcomp.h"
#include "kelSgDoc.h"
#include "keldadread.h"
#include "kelscomp.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

namespace fs = std::filesystem;

// The purchase-order tables and DADs are the main job's samples; golden files are test data.
std::string dataFile(const std::string &name) {
  const bool sample = name.rfind("orders_", 0) == 0 || name == "orders.sql";
  return keltest::readFile(keltest::sourceDir() + (sample ? "/samples/" : "/tests/data/compose/") + name);
}

// Replaces every occurrence of from in text.
std::string replaced(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

class ComposeDb : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    env_.set("QUARNINSTANCE", "kelcmp");
    env_.set("QUARNKELPATH", dir_.str());
    tmp_ = dir_.file("tmp");
    fs::create_directories(tmp_);
    env_.set("QUARNKELTEMP", tmp_);
    openDatabase("KELCMP");
    KelCodePageRequest request{0, 1208, nullptr};
    ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8"), 0) << msg;
    script(dataFile("orders.sql"));
    ASSERT_EQ(exec("CREATE TABLE res (doc VARCHAR(4000))"), 0) << error();
  }
  void TearDown() override {
    kelTerm(&ctx, state);
    keltest::DatabaseTest::TearDown();
    // Every temporary file a composition made is gone again.
    EXPECT_TRUE(fs::is_empty(tmp_)) << "temporary files left in " << tmp_;
  }
  // Runs the statements of a script, one per line ending in ';'.
  void script(const std::string &text) {
    size_t start = 0;
    for (size_t end = text.find(";\n"); end != std::string::npos; start = end + 2, end = text.find(";\n", start))
      ASSERT_EQ(exec(text.substr(start, end - start)), 0) << error() << "\n" << text.substr(start, end - start);
  }
  KelComposeArgs toTable(const std::string &table, const std::string &schema = "") {
    KelComposeArgs a;
    a.toTable = true;
    a.schema = schema;
    a.table = table;
    return a;
  }
  int compose(const std::string &dadText, KelComposeArgs args) {
    args.dad = dadText.c_str();
    msg[0] = '\0';
    return kelComposeXML(&ctx, args, &result, state, msg);
  }
  // The large-object output: the first document.
  int composeToLob(const std::string &dadText, KelComposeArgs args = {}, int64_t room = 1 << 20) {
    lob_.assign(static_cast<size_t>(room) + 16, '#');
    args.toTable = false;
    args.lobData = lob_.data();
    args.lobCapacity = room;
    return compose(dadText, args);
  }
  std::string lobText() const { return std::string(lob_.data(), result.lobLength); }
  std::vector<std::string> column(const std::string &query) {
    std::vector<std::string> out;
    sqlca ca{};
    quarn_stmt *stmt = nullptr;
    EXPECT_EQ(quarn_prepare(query.c_str(), &stmt, &ca), 0) << query;
    if (stmt == nullptr) return out;
    std::vector<char> text(2000000);
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, static_cast<sqlint32>(text.size()), text.data(), &ind};
    quarn_open(stmt, 0, nullptr, &ca);
    while (quarn_fetch(stmt, 1, &var, &ca) == 0) out.emplace_back(ind < 0 ? "(null)" : text.data());
    quarn_free_stmt(stmt);
    return out;
  }
  std::string msgId() const { return std::string(msg, 8); }
  // A new large-object locator of this session (locators are numbered in the order made).
  sqluint32 newLocator() {
    sqlca ca{};
    quarn_stmt *stmt = nullptr;
    sqluint32 loc = 0;
    short ind = 0;
    EXPECT_EQ(quarn_prepare("VALUES CAST('x' AS CLOB(1K))", &stmt, &ca), 0);
    if (stmt == nullptr) return 0;
    quarn_hostvar var{SQL_TYP_CLOB_LOCATOR, sizeof loc, &loc, &ind};
    quarn_open(stmt, 0, nullptr, &ca);
    EXPECT_EQ(quarn_fetch(stmt, 1, &var, &ca), 0);
    quarn_free_stmt(stmt);
    return loc;
  }
  // The first document of the golden file.
  static std::string firstOrder() {
    std::string all = dataFile("orders.xml");
    return all.substr(0, all.find("\n\n"));
  }
  void clear(const char *table) { exec(std::string("DELETE FROM ") + table); }
  static std::string joined(const std::vector<std::string> &docs) {
    std::string out;
    for (const std::string &d : docs) out += d + "\n\n";
    return out;
  }

  KelCallContext ctx{};
  char state[6] = "";
  char msg[KEL_MSG_BUFFER + 1] = "";
  KelComposeResult result;
  std::string tmp_;
  std::vector<char> lob_;
};

// ---- The purchase orders, both mappings ------------------------------------------------------

TEST_F(ComposeDb, PurchaseOrdersInBothMappingsMatchOneGolden) {
  const std::string golden = keltest::goldenFile("compose", "orders.xml");
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    clear("res");
    ASSERT_EQ(compose(dataFile(dad), toTable("RES")), 0) << dad << ": " << msg;
    EXPECT_EQ(std::string(msg), "KELQ020I  XML successfully generated.\n");
    EXPECT_EQ(result.numDocs, 3);
    EXPECT_TRUE(keltest::matchesGolden(golden, joined(column("SELECT doc FROM res")))) << dad;
  }
  // A "--" comment on a line of the SQL statement ends at its line: the documents are the same.
  // Before, the statement folded onto one line lost everything after the comment.
  clear("res");
  std::string commented = dataFile("orders_sql.dad");
  const size_t where = commented.find("WHERE o.cust_id");
  ASSERT_NE(where, std::string::npos);
  commented.replace(where, 5, "-- the orders' parts\n      WHERE");
  ASSERT_EQ(compose(commented, toTable("RES")), 0) << msg;
  EXPECT_TRUE(keltest::matchesGolden(golden, joined(column("SELECT doc FROM res"))));
}

TEST_F(ComposeDb, LargeObjectOutputHoldsTheFirstDocumentAndCountsEveryOne) {
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    ASSERT_EQ(composeToLob(dataFile(dad)), 0) << msg;
    EXPECT_EQ(result.numDocs, 3) << dad;
    ASSERT_TRUE(result.lobSet);
    EXPECT_EQ(lobText(), firstOrder());
    EXPECT_EQ(result.valid, -1);  // validation off
    EXPECT_TRUE(column("SELECT doc FROM res").empty());
  }
  // No document at all: nothing is stored, the count is 0.
  ASSERT_EQ(exec("DELETE FROM sales.items"), 0);
  ASSERT_EQ(exec("DELETE FROM sales.orders"), 0);
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    ASSERT_EQ(composeToLob(dataFile(dad)), 0) << msg;
    EXPECT_EQ(result.numDocs, 0);
    EXPECT_FALSE(result.lobSet) << dad;
  }
}

TEST_F(ComposeDb, TheLargeObjectsRoomIsCheckedAndNeverOverrun) {
  const std::string first = firstOrder();
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    ASSERT_EQ(composeToLob(dataFile(dad), {}, static_cast<int64_t>(first.size())), 0) << msg;
    EXPECT_EQ(lobText(), first);
    EXPECT_EQ(composeToLob(dataFile(dad), {}, static_cast<int64_t>(first.size()) - 1), -52) << dad;
    EXPECT_EQ(msgId(), "KELC006E");
    EXPECT_FALSE(result.lobSet);
    EXPECT_EQ(lob_[first.size() - 1], '#');  // nothing written at or past the room
  }
}

TEST_F(ComposeDb, MaxRowsStopsWithAWarningAndKeepsWhatWasMade) {
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    clear("res");
    KelComposeArgs a = toTable("RES");
    a.maxRows = 2;
    EXPECT_EQ(compose(dataFile(dad), a), 3) << dad;
    EXPECT_EQ(msgId(), "KELQ003W");
    EXPECT_EQ(result.numDocs, 2);
    EXPECT_EQ(column("SELECT doc FROM res").size(), 2u);
    // Regression: exactly as many documents as maxRows ended with KELQ003W, although no
    // document was left out.  The warning now needs one more document to exist.
    clear("res");
    a.maxRows = 3;
    EXPECT_EQ(compose(dataFile(dad), a), 0) << dad << ": " << msg;
    EXPECT_EQ(std::string(msg), "KELQ020I  XML successfully generated.\n");
    EXPECT_EQ(result.numDocs, 3);
    EXPECT_EQ(column("SELECT doc FROM res").size(), 3u);
    KelComposeArgs lob;
    lob.maxRows = 3;
    EXPECT_EQ(composeToLob(dataFile(dad), lob), 0) << dad << ": " << msg;
    EXPECT_EQ(result.numDocs, 3);
    lob.maxRows = 1;
    EXPECT_EQ(composeToLob(dataFile(dad), lob), 3) << dad;
    EXPECT_EQ(msgId(), "KELQ003W");
    EXPECT_EQ(result.numDocs, 1);
    EXPECT_EQ(lobText(), firstOrder());
  }
}

// ---- Result tables ---------------------------------------------------------------------------

TEST_F(ComposeDb, ResultTablesThatDoNotFitAreRefusedBeforeAnyDocument) {
  const std::string dad = dataFile("orders_sql.dad");
  EXPECT_EQ(compose(dad, toTable("NOSUCH")), -11);
  EXPECT_EQ(std::string(msg), "KELA016E  The input table NOSUCH does not exist.\n");
  KelComposeArgs a = toTable("RES");
  a.resultColumn = "NOSUCH";
  a.singleColumn = false;
  EXPECT_EQ(compose(dad, a), -69);
  EXPECT_EQ(msgId(), "KELQ009E");
  // SESSION is not looked up: the insert fails then, and the call is undone.  A single-column
  // caller's first column is still looked up.
  a.schema = "SESSION";
  a.resultColumn = "DOC";
  EXPECT_EQ(compose(dad, a), -57);
  EXPECT_EQ(msgId(), "SQL0204N");
  EXPECT_EQ(compose(dad, toTable("RES", "SESSION")), -11);
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
  // A declared temporary table without a column named: its first column, as its SELECT *
  // describes it (the catalogue, which does not list it, was asked: -11).
  ASSERT_EQ(exec("DECLARE GLOBAL TEMPORARY TABLE SESSION.TRES (doc VARCHAR(4000), note INT) ON COMMIT PRESERVE ROWS"),
            0)
      << error();
  EXPECT_EQ(compose(dad, toTable("TRES", "SESSION")), 0) << msg;
  EXPECT_EQ(column("SELECT COUNT(doc) FROM SESSION.TRES"), std::vector<std::string>{"3"});
}

TEST_F(ComposeDb, AnUnqualifiedResultTableIsTheCurrentSchemas) {
  // Regression: the first column of an unqualified result table was read from the schema named
  // USER (and its existence from any schema) while the documents went into the table of the
  // current schema: after SET SCHEMA they were written into the column that is first in the
  // user's table of that name.
  ASSERT_EQ(exec("CREATE TABLE resx (note VARCHAR(10), doc VARCHAR(4000))"), 0) << error();
  ASSERT_EQ(exec("CREATE TABLE other.resx (doc VARCHAR(4000), note VARCHAR(10))"), 0) << error();
  ASSERT_EQ(exec("CREATE TABLE other.only_there (doc VARCHAR(4000))"), 0) << error();
  ASSERT_EQ(exec("SET SCHEMA = OTHER"), 0) << error();
  EXPECT_EQ(compose(dataFile("orders_rdb.dad"), toTable("RESX")), 0) << msg;
  EXPECT_EQ(column("SELECT COUNT(doc) FROM other.resx"), std::vector<std::string>{"3"});
  EXPECT_EQ(column("SELECT COUNT(note) FROM other.resx"), std::vector<std::string>{"0"});
  ASSERT_EQ(exec("SET SCHEMA = USER"), 0) << error();
  // A table of that name in another schema only is not the current schema's.
  EXPECT_EQ(compose(dataFile("orders_rdb.dad"), toTable("ONLY_THERE")), -11);
  EXPECT_EQ(std::string(msg), "KELA016E  The input table ONLY_THERE does not exist.\n");
}

TEST_F(ComposeDb, HostileResultTableNamesAreOnlyEverNames) {
  ASSERT_EQ(exec("CREATE TABLE \"we\"\"ird\".\"ta;ble\" (\"my\"\"doc\" VARCHAR(4000), \"ok\"\"\" INTEGER)"), 0)
      << error();
  KelComposeArgs a = toTable("ta;ble", "we\"ird");
  a.resultColumn = "my\"doc";
  a.singleColumn = false;
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), a), 0) << msg;
  EXPECT_EQ(column("SELECT \"my\"\"doc\" FROM \"we\"\"ird\".\"ta;ble\"").size(), 3u);
  // With validation the single-column caller's table gets KEL_VALID through the same quoting.
  std::string dad = replaced(dataFile("orders_rdb.dad"), "<validation>NO", "<validation>YES");
  EXPECT_EQ(compose(dad, toTable("ta;ble", "we\"ird")), 0) << msg;
  EXPECT_EQ(column("SELECT COUNT(*) FROM \"we\"\"ird\".\"ta;ble\" WHERE KEL_VALID IS NOT NULL"),
            std::vector<std::string>{"3"});
}

TEST_F(ComposeDb, ValidationFillsTheValidColumn) {
  ASSERT_EQ(exec("CREATE TABLE quarnxml.dtd_ref (dtdid VARCHAR(128) NOT NULL, content CLOB(100K))"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO quarnxml.dtd_ref VALUES ('order.dtd', '"
                 "<!ELEMENT Order (Date, Customer, Item*)><!ATTLIST Order id CDATA #REQUIRED status (shipped) "
                 "#REQUIRED><!ELEMENT Date (#PCDATA)><!ELEMENT Customer (Name, City)><!ELEMENT Name (#PCDATA)>"
                 "<!ELEMENT City (#PCDATA)><!ELEMENT Item (Product, Quantity, Price)><!ATTLIST Item no CDATA "
                 "#REQUIRED><!ELEMENT Product (#PCDATA)><!ELEMENT Quantity (#PCDATA)><!ELEMENT Price (#PCDATA)>')"),
            0)
      << error();
  const std::string dad =
      replaced(dataFile("orders_sql.dad"), "<validation>NO</validation>", "<dtdid>order.dtd</dtdid><validation>yes</validation>");
  // A single-column caller: KEL_VALID is added; a second call finds it there (-612 accepted).
  for (int call = 0; call < 2; ++call) {
    ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
    EXPECT_EQ(column("SELECT RTRIM(CHAR(KEL_VALID)) FROM res ORDER BY doc"), (std::vector<std::string>{"1", "0", "0"}));
    clear("res");
  }
  // A two-column caller names the valid column; without one, KELQ054E "NULL".
  ASSERT_EQ(exec("CREATE TABLE res2 (d VARCHAR(4000), v INTEGER)"), 0);
  KelComposeArgs a = toTable("RES2");
  a.singleColumn = false;
  a.resultColumn = "D";
  EXPECT_EQ(compose(dad, a), -134);
  EXPECT_EQ(std::string(msg), "KELQ054E  Invalid input parameter: NULL\n");
  a.validColumn = "V";
  ASSERT_EQ(compose(dad, a), 0) << msg;
  EXPECT_EQ(column("SELECT RTRIM(CHAR(v)) FROM res2 ORDER BY d"), (std::vector<std::string>{"1", "0", "0"}));
  // The large-object output carries the first document's result.
  ASSERT_EQ(composeToLob(dad), 0) << msg;
  EXPECT_EQ(result.valid, 1);
}

TEST_F(ComposeDb, DocumentsWhoseSchemaCannotBeReadAreStoredAsNotValid) {
  // The schema the DAD names does not exist: every document fails its validation and is
  // stored, and returned, as not valid; the call itself succeeds.
  const std::string dad = replaced(
      replaced(dataFile("orders_sql.dad"), "<validation>NO</validation>",
               "<validation>YES</validation><schemabindings><nonamespacelocation location=\"" + tmp_ +
                   "/none.xsd\"/></schemabindings>"),
      "<doctype>!DOCTYPE Order SYSTEM \"order.dtd\"</doctype>", "");
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  EXPECT_EQ(column("SELECT RTRIM(CHAR(KEL_VALID)) FROM res"), (std::vector<std::string>{"0", "0", "0"}));
  ASSERT_EQ(composeToLob(dad), 0) << msg;
  EXPECT_EQ(result.valid, 0);
}

TEST_F(ComposeDb, AFailingCallLeavesTheUnitOfWorkAsItWas) {
  // A row of the caller's own, not committed, and a result column too short for the third
  // order's document: the first two documents are not left behind, nor is KEL_VALID.
  ASSERT_EQ(exec("CREATE TABLE small (doc VARCHAR(500))"), 0);
  ASSERT_EQ(exec("INSERT INTO small VALUES ('mine')"), 0);
  const std::string third = dataFile("orders.xml");
  for (const char *name : {"orders_rdb.dad", "orders_sql.dad"}) {
    std::string dad = replaced(dataFile(name), "<validation>NO", "<validation>YES");
    EXPECT_EQ(compose(dad, toTable("SMALL")), -77) << name;
    EXPECT_EQ(std::string(msg), "KELQ017E  The column in the result table SMALL is too small.\n");
    EXPECT_EQ(result.numDocs, 0);
    EXPECT_EQ(column("SELECT doc FROM small"), std::vector<std::string>{"mine"});
    EXPECT_TRUE(column("SELECT colname FROM syscat.columns WHERE tabname = 'SMALL' AND colname = 'KEL_VALID'").empty());
  }
}

TEST_F(ComposeDb, AResultTableThatRefusesADocumentIsTheCallersError) {
  // Regression: a result table that refused the insert (here a NOT NULL column the call does
  // not fill, and a first column of type DATE) was reported as an internal error, KELG001E.
  // Now the database's text and KELQ053E name the table, and the call is undone as before.
  ASSERT_EQ(exec("CREATE TABLE rt_id (doc VARCHAR(4000), id INTEGER NOT NULL)"), 0);
  ASSERT_EQ(exec("INSERT INTO rt_id VALUES ('mine', 1)"), 0);
  ASSERT_EQ(exec("CREATE TABLE rt_date (doc DATE)"), 0);
  for (const char *name : {"orders_rdb.dad", "orders_sql.dad"}) {
    std::string dad = replaced(dataFile(name), "<validation>NO", "<validation>YES");
    for (const auto &[table, sqlMessage] : {std::pair<std::string, std::string>{"RT_ID", "SQL0407N"},
                                            {"RT_DATE", "SQL0180N"}}) {
      EXPECT_EQ(compose(dad, toTable(table)), -133) << name << " " << table;
      const std::string text(msg);
      EXPECT_EQ(msgId(), sqlMessage) << text;
      EXPECT_NE(text.find("\nKELQ053E  An SQL statement failed : INSERT INTO " + table + "\n"), std::string::npos)
          << text;
      EXPECT_EQ(text.find("KELG001E"), std::string::npos) << text;
      EXPECT_EQ(result.numDocs, 0);
      EXPECT_TRUE(
          column("SELECT colname FROM syscat.columns WHERE tabname = '" + table + "' AND colname = 'KEL_VALID'")
              .empty());
    }
    EXPECT_EQ(column("SELECT doc FROM rt_id"), std::vector<std::string>{"mine"});
    EXPECT_TRUE(column("SELECT doc FROM rt_date").empty());
  }
}

TEST_F(ComposeDb, EachMappingTakesOnlyItsOwnOverrideType) {
  // Regression: the SQL mapping ran any override type but 0 as its statement, so an XML
  // override given to it failed with KELQ018E (no ORDER BY), and an unknown type was run too.
  // Each mapping refuses the other's type and a type that is none (KELQ030E), before any row.
  const std::string statement =
      "SELECT o.order_id, o.status, o.ordered, c.name, c.city, i.item_no, i.product, i.qty, i.price FROM "
      "sales.orders o, sales.customers c, sales.items i WHERE o.cust_id = c.cust_id AND i.order_id = o.order_id "
      "AND o.status = 'open' ORDER BY order_id, item_no";
  KelComposeArgs a = toTable("RES");
  a.overrideType = 1;
  a.override = statement;
  ASSERT_EQ(compose(dataFile("orders_sql.dad"), a), 0) << msg;
  EXPECT_EQ(result.numDocs, 2);
  a.overrideType = 2;
  a.override = "/Order/@status = 'open'";
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), a), 0) << msg;
  EXPECT_EQ(result.numDocs, 2);
  clear("res");
  const std::pair<const char *, int> refused[] = {{"orders_sql.dad", 2}, {"orders_sql.dad", 9}, {"orders_sql.dad", -1},
                                                  {"orders_rdb.dad", 1}, {"orders_rdb.dad", 9}, {"orders_rdb.dad", -1}};
  for (const auto &[name, type] : refused) {
    for (const std::string &text : {statement, std::string("/Order/@status = 'open'")}) {
      a.overrideType = type;
      a.override = text;
      EXPECT_EQ(compose(dataFile(name), a), -99) << name << " " << type << " " << text;
      EXPECT_EQ(std::string(msg), "KELQ030E  Wrong XML override syntax.\n") << name << " " << type;
      EXPECT_EQ(result.numDocs, 0);
    }
  }
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
}

// ---- The DAD ---------------------------------------------------------------------------------

TEST_F(ComposeDb, DadHeaderErrorsReturnTheCodesOfTheirOwnMessages) {
  const std::string dad = dataFile("orders_sql.dad");
  struct Case {
    std::string dad;
    int rc;
    const char *id;
  } cases[] = {
      {replaced(dad, "<validation>NO</validation>", "<dtdid>d</dtdid><schemabindings><nonamespacelocation "
                                                   "location=\"s.xsd\"/></schemabindings>"),
       -137, "KELQ057E"},
      {replaced(dad, "<validation>NO</validation>", "<schemabindings><nonamespacelocation location=\"s.xsd\"/>"
                                                   "</schemabindings><dtdid>d</dtdid>"),
       -137, "KELQ057E"},
      {replaced(dad, "<validation>NO", "<validation>Y"), -40, "KELA056E"},
      {replaced(dad, "<validation>NO</validation>", "<bogus/>"), -123, "KELQ040E"},
      {replaced(dad, "<prolog>?xml version=\"1.0\"?</prolog>", ""), -61, "KELQ000E"},
      // A prolog that is no XML declaration began every document with whatever it held.
      {replaced(dad, "<prolog>?xml version=\"1.0\"?</prolog>", "<prolog>Order id=\"evil\"/&gt;&lt;!--</prolog>"),
       -123, "KELQ040E"},
      {replaced(dad, "<doctype>!DOCTYPE Order SYSTEM \"order.dtd\"</doctype>", "<doctype/>"), -61, "KELQ000E"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(compose(c.dad, toTable("RES")), c.rc) << c.id;
    EXPECT_EQ(msgId(), c.id);
  }
  EXPECT_LT(compose("<DAD><unclosed></DAD>", toTable("RES")), 0);
  EXPECT_EQ(msgId(), "KELQ047E");
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
}

// ---- SQL mapping -----------------------------------------------------------------------------

class SqlMapping : public ComposeDb {
 protected:
  // The purchase-order DAD with another statement (written into the DAD as XML text).
  std::string withStatement(const std::string &sql) {
    std::string dad = dataFile("orders_sql.dad");
    size_t from = dad.find("<SQL_stmt>") + 10, to = dad.find("</SQL_stmt>");
    return dad.substr(0, from) + replaced(replaced(replaced(sql, "&", "&amp;"), "<", "&lt;"), ">", "&gt;") +
           dad.substr(to);
  }
  // The same with only the order's attributes below Order.
  std::string ordersOnly(const std::string &sql) {
    std::string dad = withStatement(sql);
    size_t from = dad.find("<element_node name=\"Date\">"), to = dad.find("</root_node>");
    return dad.substr(0, from) + "</element_node>" + dad.substr(to);
  }
  static constexpr const char *kSelect =
      "SELECT o.order_id, o.status, o.ordered, c.name, c.city, i.item_no, i.product, i.qty, i.price "
      "FROM sales.orders o, sales.customers c, sales.items i WHERE o.cust_id = c.cust_id AND i.order_id = o.order_id";
};

TEST_F(SqlMapping, ChildQueriesFilterOnEveryAncestorKey) {
  // Shipments under items under orders: every order has items 1..n, so filtering the shipments
  // on the item number alone would put other orders' shipments into this document.
  script("CREATE TABLE sales.ships (order_id VARCHAR(8) NOT NULL, item_no INTEGER NOT NULL, ship_no INTEGER NOT NULL, "
         "mode VARCHAR(10));\n"
         "INSERT INTO sales.ships VALUES ('O1', 1, 1, 'air'), ('O1', 2, 1, 'sea'), ('O2', 1, 1, 'rail'), "
         "('O2', 1, 2, 'road'), ('O3', 1, 1, 'post');\n");
  std::string dad = withStatement(
      "SELECT o.order_id, o.status, i.item_no, i.product, s.ship_no, s.mode FROM sales.orders o, sales.items i, "
      "sales.ships s WHERE i.order_id = o.order_id AND s.order_id = i.order_id AND s.item_no = i.item_no "
      "ORDER BY order_id, item_no, ship_no");
  size_t from = dad.find("<element_node name=\"Date\">"), to = dad.find("</root_node>");
  dad = dad.substr(0, from) +
        "<element_node name=\"Item\" multi_occurrence=\"YES\"><attribute_node name=\"no\"><column name=\"item_no\"/>"
        "</attribute_node><element_node name=\"Ship\" multi_occurrence=\"YES\"><attribute_node name=\"no\">"
        "<column name=\"ship_no\"/></attribute_node><text_node><column name=\"mode\"/></text_node></element_node>"
        "</element_node></element_node>" +
        dad.substr(to);
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  const std::string head = "<?xml version=\"1.0\"?>\n<!DOCTYPE Order SYSTEM \"order.dtd\">";
  EXPECT_EQ(docs[0], head + "\n<Order id=\"O1\" status=\"shipped\">\n  <Item no=\"1\">\n    <Ship no=\"1\">air</Ship>"
                            "\n  </Item>\n  <Item no=\"2\">\n    <Ship no=\"1\">sea</Ship>\n  </Item>\n</Order>");
  EXPECT_EQ(docs[1], head + "\n<Order id=\"O2\" status=\"open\">\n  <Item no=\"1\">\n    <Ship no=\"1\">rail</Ship>"
                            "\n    <Ship no=\"2\">road</Ship>\n  </Item>\n</Order>");
  EXPECT_EQ(docs[2], head + "\n<Order id=\"O3\" status=\"open\">\n  <Item no=\"1\">\n    <Ship no=\"1\">post</Ship>"
                            "\n  </Item>\n</Order>");
}

TEST_F(SqlMapping, TheStatementIsCutAtItsLastOrderByOutsideQuotesAndParentheses) {
  const std::string expected = dataFile("orders.xml");
  const std::string good[] = {
      std::string(kSelect) + " ORDER BY order_id, item_no",
      std::string(kSelect) + " AND o.status <> 'x ORDER BY y' AND o.order_id IN (SELECT order_id FROM sales.orders "
                             "ORDER BY order_id) ORDER BY order_id, item_no",
      std::string(kSelect) + " order by order_id ASC, o.item_no ASC NULLS LAST",
      std::string(kSelect) + " Order By sales.o.order_id, item_no",
      // Regression: a literal glued to a word was read as part of the word, so its ")" and
      // the quote after it hid the real ORDER BY (KELQ018E for a sound statement).
      std::string(kSelect) + " AND o.status NOT LIKE'%)' ORDER BY order_id, item_no",
      // Regression: a block comment after the keys was read as text after them (KELQ001E); it
      // goes as a "--" comment does, but not from a literal or a "--" comment.
      std::string(kSelect) + " ORDER BY order_id, item_no /* newest first */",
      std::string(kSelect) + " /* ORDER BY x */ ORDER BY /* the order */ order_id,/**/item_no /* a\n b */",
      std::string(kSelect) + " AND o.status <> '/* x */' -- /* not one\n"
                             "ORDER BY order_id, item_no",
  };
  for (const std::string &sql : good) {
    clear("res");
    ASSERT_EQ(compose(withStatement(sql), toTable("RES")), 0) << sql << "\n" << msg;
    EXPECT_EQ(joined(column("SELECT doc FROM res")), expected) << sql;
  }
  struct Bad {
    std::string sql;
    int rc;
    const char *id;
  } bad[] = {
      {kSelect, -78, "KELQ018E"},
      {std::string(kSelect) + " AND o.status <> ' ORDER BY order_id'", -78, "KELQ018E"},
      {std::string(kSelect) + " AND o.status NOT LIKE' ORDER BY order_id'", -78, "KELQ018E"},
      {std::string(kSelect) + " ORDER BY ", -78, "KELQ018E"},
      {std::string(kSelect) + " ORDER BY order_id, nosuch", -64, "KELQ004E"},
      {std::string(kSelect) + " ORDER BY 1", -64, "KELQ004E"},
      {std::string(kSelect) + " ORDER BY order_id, item_no FETCH FIRST 2 ROWS ONLY", -62, "KELQ001E"},
      {std::string(kSelect) + " ORDER BY order_id, item_no /* open", -62, "KELQ001E"},
      {std::string(kSelect) + " ORDER BY item_no, order_id", -62, "KELQ001E"},
      {"SELECT nosuch FROM sales.orders ORDER BY nosuch", -62, "KELQ001E"},
  };
  for (const Bad &b : bad) {
    EXPECT_EQ(compose(withStatement(b.sql), toTable("RES")), b.rc) << b.sql;
    EXPECT_EQ(msgId(), b.id) << b.sql;
  }
}

TEST_F(SqlMapping, DocumentsAndChildrenComeInTheOrderTheStatementAsks) {
  // Regression: ASC/DESC and NULLS FIRST/LAST after a key were read and dropped, and the top
  // and child queries ordered every key ascending: with ORDER BY order_id DESC the documents
  // still came O1, O2, O3, so maxRows and the large-object output kept the wrong ones.
  // Each document as "<order>:<item>,<item>" in the order made.
  auto outline = [](const std::vector<std::string> &docs) {
    std::string out;
    for (const std::string &d : docs) {
      const size_t id = d.find("<Order id=\"") + 11;
      out += (out.empty() ? "" : " ") + d.substr(id, d.find('"', id) - id) + ":";
      for (size_t at = d.find("<Item no=\""); at != std::string::npos; at = d.find("<Item no=\"", at + 1))
        out += d.substr(at + 10, d.find('"', at + 10) - at - 10) + ",";
      out.pop_back();
    }
    return out;
  };
  const struct {
    const char *keys;
    const char *outline;
  } orders[] = {
      {"order_id DESC, item_no DESC", "O3:3,2,1 O2:1 O1:2,1"},
      {"order_id DESC, i.item_no ASC", "O3:1,2,3 O2:1 O1:1,2"},
      {"order_id, item_no desc", "O1:2,1 O2:1 O3:3,2,1"},
  };
  for (const auto &o : orders) {
    const std::string dad = withStatement(std::string(kSelect) + " ORDER BY " + o.keys);
    clear("res");
    ASSERT_EQ(compose(dad, toTable("RES")), 0) << o.keys << ": " << msg;
    EXPECT_EQ(outline(column("SELECT doc FROM res")), o.outline) << o.keys;
    // The large-object output and maxRows keep the statement's first documents.
    ASSERT_EQ(composeToLob(dad), 0) << o.keys << ": " << msg;
    EXPECT_EQ(outline({lobText()}), std::string(o.outline).substr(0, std::string(o.outline).find(' '))) << o.keys;
  }
  KelComposeArgs two = toTable("RES");
  two.maxRows = 2;
  clear("res");
  EXPECT_EQ(compose(withStatement(std::string(kSelect) + " ORDER BY order_id DESC, item_no"), two), 3) << msg;
  EXPECT_EQ(outline(column("SELECT doc FROM res")), "O3:1,2,3 O2:1");

  // NULLS FIRST and NULLS LAST on both levels: neither the root nor T is a key element, so
  // the objects of a null key are written.
  ASSERT_EQ(exec("CREATE TABLE nk (k INTEGER, name VARCHAR(10), item INTEGER, note VARCHAR(4))"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO nk VALUES (1, 'one', 1, 'a'), (1, 'one', NULL, 'b'), (NULL, 'none', 2, 'c'), "
                 "(2, 'two', 3, 'd')"),
            0)
      << error();
  ASSERT_EQ(exec("CREATE TABLE nkd (doc VARCHAR(2000))"), 0) << error();
  auto nullsDad = [](const std::string &keys) {
    return "<?xml version=\"1.0\"?><!DOCTYPE DAD SYSTEM \"dad.dtd\"><DAD><validation>NO</validation><Xcollection>"
           "<SQL_stmt>SELECT name, k, item, note FROM nk ORDER BY " +
           keys +
           "</SQL_stmt><prolog>?xml version=\"1.0\"?</prolog><doctype>!DOCTYPE T SYSTEM \"t.dtd\"</doctype>"
           "<root_node><element_node name=\"T\"><attribute_node name=\"n\"><column name=\"name\"/></attribute_node>"
           "<element_node name=\"I\" multi_occurrence=\"YES\"><text_node><column name=\"note\"/></text_node>"
           "</element_node></element_node></root_node></Xcollection></DAD>";
  };
  const struct {
    const char *keys;
    std::vector<std::string> bodies;
  } nulls[] = {
      {"k NULLS FIRST, item NULLS LAST", {"<T n=\"none\">c</T>", "<T n=\"one\">ab</T>", "<T n=\"two\">d</T>"}},
      {"k DESC NULLS LAST, item DESC NULLS FIRST",
       {"<T n=\"two\">d</T>", "<T n=\"one\">ba</T>", "<T n=\"none\">c</T>"}},
  };
  for (const auto &n : nulls) {
    clear("nkd");
    ASSERT_EQ(compose(nullsDad(n.keys), toTable("NKD")), 0) << n.keys << ": " << msg;
    std::vector<std::string> bodies;
    for (const std::string &d : column("SELECT doc FROM nkd")) {
      std::string body = d.substr(d.find("<T"));
      for (const char *drop : {"\n", "  ", "<I>", "</I>"}) body = replaced(body, drop, "");
      bodies.push_back(body);
    }
    EXPECT_EQ(bodies, n.bodies) << n.keys;
  }
}

TEST_F(SqlMapping, OneKeyMakesOneLevelAndNeverReadsPastIt) {
  ASSERT_EQ(compose(ordersOnly("SELECT order_id, status FROM sales.orders ORDER BY order_id"), toTable("RES")), 0)
      << msg;
  EXPECT_EQ(column("SELECT doc FROM res ORDER BY doc").back(),
            "<?xml version=\"1.0\"?>\n<!DOCTYPE Order SYSTEM \"order.dtd\">\n<Order id=\"O3\" status=\"open\"></Order>");
}

TEST_F(SqlMapping, KeysAreComparedWholeAndNoValueIsASentinel) {
  // Two keys alike in their first 1500 bytes, and a key that reads like the old "no object yet".
  script("CREATE TABLE keys (k VARCHAR(2000) NOT NULL, v VARCHAR(10));\n");
  const std::string common(1500, 'k');
  ASSERT_EQ(exec("INSERT INTO keys VALUES ('" + common + "a', 'one'), ('" + common + "b', 'two'), ('KEL_NO_OBJ', "
                 "'three')"),
            0);
  std::string dad = dataFile("orders_sql.dad");
  size_t from = dad.find("<SQL_stmt>") + 10, to = dad.find("</Xcollection>");
  dad = dad.substr(0, from) +
        "SELECT k, v FROM keys ORDER BY k</SQL_stmt><prolog>?xml version=\"1.0\"?</prolog><root_node>"
        "<element_node name=\"K\"><text_node><column name=\"v\"/></text_node></element_node></root_node>" +
        dad.substr(to);
  ASSERT_EQ(exec("CREATE TABLE res3 (doc VARCHAR(100))"), 0);
  ASSERT_EQ(compose(dad, toTable("RES3")), 0) << msg;
  EXPECT_EQ(result.numDocs, 3);
  EXPECT_EQ(column("SELECT doc FROM res3 ORDER BY doc"),
            (std::vector<std::string>{"<?xml version=\"1.0\"?>\n<K>one</K>", "<?xml version=\"1.0\"?>\n<K>three</K>",
                                      "<?xml version=\"1.0\"?>\n<K>two</K>"}));
}

TEST_F(SqlMapping, NullKeysLeaveTheirElementOutAndParentsMayHaveNoChildren) {
  // Outer join: O1 and O2 have no item with qty > 4, their Item key is NULL; a NULL status
  // leaves the attribute out.
  ASSERT_EQ(exec("UPDATE sales.orders SET status = NULL WHERE order_id = 'O2'"), 0);
  std::string dad = withStatement(
      "SELECT o.order_id, o.status, o.ordered, c.name, c.city, i.item_no, i.product, i.qty, i.price FROM sales.orders o "
      "JOIN sales.customers c ON o.cust_id = c.cust_id LEFT OUTER JOIN sales.items i ON i.order_id = o.order_id AND "
      "i.qty > 4 ORDER BY order_id, item_no");
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_EQ(docs[1].substr(docs[1].find("<Order")), "<Order id=\"O2\">\n  <Date>2024-03-04</Date>\n  <Customer>\n"
                                                    "    <Name>Bo Chen</Name>\n    <City>Lima</City>\n  </Customer>\n"
                                                    "</Order>");
  EXPECT_NE(docs[2].find("<Item no=\"3\">"), std::string::npos);
  EXPECT_EQ(docs[2].find("<Item no=\"2\">"), std::string::npos);
}

TEST_F(SqlMapping, LargeObjectsAreStreamedWithoutSplittingACharacter) {
  // A CLOB of 300,000 bytes whose two-byte characters straddle every 131,072-byte piece, with
  // characters to escape; the document passes the memory limit and goes through a file.
  std::string note;
  while (note.size() < 300000) note += "x\xC3\xA9<&";
  ASSERT_EQ(exec("CREATE TABLE notes (id VARCHAR(4) NOT NULL, body CLOB(2G))"), 0);
  ASSERT_EQ(exec("INSERT INTO notes VALUES ('n1', '" + note + "')"), 0) << error();
  ASSERT_EQ(exec("CREATE TABLE bigres (doc CLOB(10M))"), 0);
  std::string dad = dataFile("orders_sql.dad");
  size_t from = dad.find("<SQL_stmt>") + 10, to = dad.find("</Xcollection>");
  dad = dad.substr(0, from) +
        "SELECT id, body FROM notes ORDER BY id</SQL_stmt><prolog>?xml version=\"1.0\"?</prolog><root_node>"
        "<element_node name=\"Note\"><attribute_node name=\"body\"><column name=\"body\"/></attribute_node>"
        "<text_node><column name=\"body\"/></text_node></element_node></root_node>" +
        dad.substr(to);
  ASSERT_EQ(compose(dad, toTable("BIGRES")), 0) << msg;
  const std::string escaped = replaced(replaced(note, "&", "&amp;"), "<", "&lt;");
  EXPECT_EQ(column("SELECT doc FROM bigres"),
            std::vector<std::string>{"<?xml version=\"1.0\"?>\n<Note body=\"" + escaped + "\">" + escaped + "</Note>"});
}

TEST_F(ComposeDb, EveryRowsLocatorsAreFreed) {
  // A CLOB column read in both mappings from four rows: each row's locator is freed once its
  // value is written, not only the last row's when the call ends.
  ASSERT_EQ(exec("CREATE TABLE notes (id VARCHAR(4) NOT NULL, body CLOB(1M))"), 0);
  ASSERT_EQ(exec("INSERT INTO notes VALUES ('n1', 'one'), ('n2', 'two'), ('n3', NULL), ('n4', 'four')"), 0);
  const std::string head = "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcollection>";
  const std::string tail = "<prolog>?xml version=\"1.0\"?</prolog><root_node><element_node name=\"Note\">";
  const std::string dads[] = {
      head + "<SQL_stmt>SELECT id, body FROM notes ORDER BY id</SQL_stmt>" + tail +
          "<attribute_node name=\"id\"><column name=\"id\"/></attribute_node><text_node><column name=\"body\"/>"
          "</text_node></element_node></root_node></Xcollection></DAD>",
      head + tail +
          "<RDB_node><table name=\"notes\" orderBy=\"id\"/></RDB_node><attribute_node name=\"id\"><RDB_node><table "
          "name=\"notes\"/><column name=\"id\"/></RDB_node></attribute_node><text_node><RDB_node><table "
          "name=\"notes\"/><column name=\"body\"/></RDB_node></text_node></element_node></root_node></Xcollection>"
          "</DAD>",
  };
  for (const std::string &dad : dads) {
    clear("res");
    const sqluint32 before = newLocator();
    ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
    EXPECT_EQ(column("SELECT doc FROM res ORDER BY doc")[3], "<?xml version=\"1.0\"?>\n<Note id=\"n4\">four</Note>");
    const sqluint32 after = newLocator();
    EXPECT_GE(after - before, 4u) << "the composition made no locators of this session";
    for (sqluint32 loc = before + 1; loc < after; ++loc) {
      sqlca ca{};
      EXPECT_EQ(quarn_free_locator(loc, &ca), -423) << "locator " << loc << " left after the call";
    }
  }
}

TEST_F(SqlMapping, MappingErrorsAreFoundBeforeAnyDocument) {
  const std::string dad = dataFile("orders_sql.dad");
  struct Case {
    std::string dad;
    int rc;
    const char *id;
  } cases[] = {
      // Product (in Item, level 1) would read a column of level 0.
      {replaced(dad, "<column name=\"product\"/>", "<column name=\"city\"/>"), -65, "KELQ005E"},
      // An attribute of Item reads a level-0 column that Item's query does not carry.
      {replaced(dad, "<attribute_node name=\"no\"><column name=\"item_no\"/></attribute_node>",
                "<attribute_node name=\"no\"><column name=\"item_no\"/></attribute_node><attribute_node "
                "name=\"town\"><column name=\"city\"/></attribute_node>"),
       -64, "KELQ004E"},
      {replaced(dad, "<element_node name=\"Product\">", "<element_node name=\"Product\" multi_occurrence=\"YES\">"
                                                        "<element_node name=\"Back\"><attribute_node name=\"x\">"
                                                        "<column name=\"status\"/></attribute_node></element_node>"),
       -65, "KELQ005E"},
      {replaced(dad, "<column name=\"status\"/>", "<column name=\"nosuch\"/>"), -64, "KELQ004E"},
      {replaced(dad, "<attribute_node name=\"status\"><column name=\"status\"/></attribute_node>",
                "<attribute_node name=\"status\"></attribute_node>"),
       -67, "KELQ007E"},
      {replaced(dad, "<element_node name=\"Item\" multi_occurrence=\"YES\">",
                "<element_node name=\"Item\" multi_occurrence=\"MAYBE\">"),
       -45, "KELQ063E"},
      {replaced(dad, "<column name=\"status\"/>", "<column name=\"bad name\"/>"), -109, "KELQ033E"},
      // A second column of one value was dropped without a word.
      {replaced(dad, "<column name=\"status\"/>", "<column name=\"status\"/><column name=\"ordered\"/>"), -72,
       "KELQ012E"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(compose(c.dad, toTable("RES")), c.rc) << c.id << ": " << msg;
    EXPECT_EQ(msgId(), c.id);
  }
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
}

// KELQ004E is also the answer for a column of the select list that another level's query reads
// (its text cannot say so); the trace said only "not read at level 1", not which level reads it.
TEST_F(SqlMapping, TheTraceSaysWhichLevelReadsAColumnOfAnotherLevel) {
  const std::string dad = replaced(dataFile("orders_sql.dad"),
                                   "<attribute_node name=\"no\"><column name=\"item_no\"/></attribute_node>",
                                   "<attribute_node name=\"no\"><column name=\"item_no\"/></attribute_node>"
                                   "<attribute_node name=\"town\"><column name=\"city\"/></attribute_node>");
  const std::string traceDir = dir_.file("trace");
  fs::create_directories(traceDir);
  int32_t rc = 0;
  ASSERT_EQ(kelTraceOn(nullptr, traceDir.c_str(), nullptr, &rc, state, msg), 0) << msg;
  ASSERT_EQ(kelTraceOpen(&ctx, state, msg), 0) << msg;
  EXPECT_EQ(compose(dad, toTable("RES")), -64) << msg;
  EXPECT_EQ(std::string(msg), "KELQ004E  The column CITY is not in the result of the query.\n");
  kelTraceClose(&ctx);
  kelTraceOff(nullptr, nullptr, msg, &rc);
  std::string text;
  for (const auto &f : fs::directory_iterator(traceDir)) text += keltest::readFile(f.path().string());
  EXPECT_NE(text.find("column CITY of town is read at level 0, not at level 1 where it is written"),
            std::string::npos)
      << text;
}

TEST_F(SqlMapping, LimitsOfStatementsAndLargeObjectColumns) {
  // A statement whose top query would pass the statement limit.
  std::string longSelect =
      "SELECT order_id, status, '" + std::string(66000, 'x') + "' AS pad FROM sales.orders ORDER BY order_id";
  EXPECT_EQ(compose(ordersOnly(longSelect), toTable("RES")), -121);
  EXPECT_EQ(msgId(), "KELQ038E");
  // 251 large-object columns.
  std::string ddl = "CREATE TABLE wide (id INTEGER", cols;
  for (int i = 0; i < 251; ++i) {
    ddl += ", l" + std::to_string(i) + " CLOB(1K)";
    cols += ", l" + std::to_string(i);
  }
  ASSERT_EQ(exec(ddl + ")"), 0) << error();
  EXPECT_EQ(compose(ordersOnly("SELECT order_id, status" + cols + " FROM sales.orders, wide ORDER BY order_id"),
                    toTable("RES")),
            -149);
  EXPECT_EQ(std::string(msg),
            "KELQ071E  The number of mapped LOB columns that is allowed for a composition exceeds the maximum of 250.\n");
}

// ---- RDB_node mapping ------------------------------------------------------------------------

class RdbMapping : public ComposeDb {};

TEST_F(RdbMapping, AParentWithoutChildRowsGetsNoneOfThePreviousParentsValues) {
  // O2 loses its item: its Item loop writes nothing, and an attribute read from sales.items
  // finds no row for it (the previous order's item is never read again).
  ASSERT_EQ(exec("DELETE FROM sales.items WHERE order_id = 'O2'"), 0);
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), toTable("RES")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_EQ(docs[1].find("<Item"), std::string::npos);
  std::string dad = replaced(dataFile("orders_rdb.dad"), "<element_node name=\"Date\">",
                             "<attribute_node name=\"first\"><RDB_node><table name=\"sales.items\"/><column "
                             "name=\"product\"/></RDB_node></attribute_node><element_node name=\"Date\">");
  clear("res");
  EXPECT_EQ(compose(dad, toTable("RES")), -142);
  EXPECT_EQ(std::string(msg),
            "KELQ062E  No rows of result set for SALES.ITEMS are left to produce a XML value for first.\n");
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
}

// The text_nodes of one element share the element's name and path, and an attribute may
// have that name too: each value was given the first column mapped under that name and path,
// so every text of <Date> held the attribute's value.  Each reads its own column.
TEST_F(RdbMapping, EachTextAndAttributeReadsItsOwnColumn) {
  const std::string rdb = "<RDB_node><table name=\"sales.orders\"/><column name=\"";
  std::string dad = replaced(dataFile("orders_rdb.dad"), "<element_node name=\"Date\">",
                             "<element_node name=\"Date\"><attribute_node name=\"Date\">" + rdb +
                                 "status\"/></RDB_node></attribute_node>");
  dad = replaced(dad, "<column name=\"ordered\"/></RDB_node>\n          </text_node>",
                 "<column name=\"ordered\"/></RDB_node>\n          </text_node><text_node>" + rdb +
                     "cust_id\"/></RDB_node></text_node><text_node>" + rdb +
                     "ordered\"/></RDB_node></text_node>");
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_NE(docs[0].find("<Date Date=\"shipped\">2024-03-01C12024-03-01</Date>"), std::string::npos)
      << docs[0];
  EXPECT_NE(docs[1].find("<Date Date=\"open\">2024-03-04C22024-03-04</Date>"), std::string::npos)
      << docs[1];
}

// A second column, table or condition in a value's RDB_node, or a second RDB_node of one value,
// was dropped without a word: refused before any document.
TEST_F(RdbMapping, AValuesRdbNodeWithASecondColumnOrTableIsRefused) {
  for (const char *second :
       {"<column name=\"ordered\"/>", "<table name=\"sales.items\"/>",
        "<condition>status = 'open'</condition><condition>status = 'shipped'</condition>",
        "</RDB_node><RDB_node><table name=\"sales.orders\"/><column name=\"ordered\"/>"}) {
    std::string dad = replaced(dataFile("orders_rdb.dad"), "<column name=\"status\"/>",
                               std::string("<column name=\"status\"/>") + second);
    EXPECT_EQ(compose(dad, toTable("RES")), -72) << second;
    EXPECT_EQ(std::string(msg), "KELQ012E  Errors occurred in DAD. \n") << second;
    EXPECT_TRUE(column("SELECT doc FROM res").empty());
  }
}

// A top RDB_node whose condition left a table out was accepted: that table was read without a
// predicate tying it to the order, and order O1 held every item, O2's Kettle too.  Refused
// before any document, naming the table.
TEST_F(RdbMapping, ATableTheTopConditionDoesNotJoinIsRefused) {
  const std::string dad = dataFile("orders_rdb.dad");
  const std::string both =
      "sales.orders.cust_id = sales.customers.cust_id AND\n            sales.orders.order_id = sales.items.order_id";
  ASSERT_NE(dad.find(both), std::string::npos);
  struct Case {
    std::string condition;
    const char *table;
  } cases[] = {{"sales.orders.cust_id = sales.customers.cust_id", "SALES.ITEMS"},
               {"sales.orders.order_id = sales.items.order_id", "SALES.CUSTOMERS"},
               {"sales.orders.order_id = sales.orders.order_id", "SALES.CUSTOMERS"}};
  for (const Case &c : cases) {
    EXPECT_EQ(compose(replaced(dad, both, c.condition), toTable("RES")), -111) << c.condition;
    EXPECT_EQ(std::string(msg),
              std::string("KELQ035E  Invalid join condition in top RDB_node of DAD: ") + c.table + " \n");
    EXPECT_TRUE(column("SELECT doc FROM res").empty());
  }
  EXPECT_EQ(compose(replaced(dad, "<condition>\n            " + both + "\n          </condition>", ""),
                    toTable("RES")),
            -111);
  EXPECT_EQ(std::string(msg), "KELQ035E  Invalid join condition in top RDB_node of DAD: SALES.CUSTOMERS \n");
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
}

TEST_F(RdbMapping, ConditionsStayInTheirParentheses) {
  // Without parentheses "qty > 4 OR qty < 2 AND order_id = ?" would give every order the
  // large items of every other order.
  std::string dad = replaced(dataFile("orders_rdb.dad"), "<column name=\"qty\"/>",
                             "<column name=\"qty\"/><condition>qty &gt; 4 OR qty &lt; 2</condition>");
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_NE(docs[0].find("Cups &amp; saucers"), std::string::npos);
  EXPECT_EQ(docs[0].find("Green tea"), std::string::npos);
  EXPECT_EQ(docs[0].find("Lemons"), std::string::npos);
  EXPECT_NE(docs[2].find("Lemons"), std::string::npos);
}

TEST_F(RdbMapping, QuotedNamesAndLargeObjectColumns) {
  // Tables and columns whose names need quoting, and a CLOB(2G) column (bound as a locator,
  // not a two-gigabyte buffer).
  ASSERT_EQ(exec("CREATE TABLE \"odd\"\"s\".\"or ders\" (\"id\"\"x\" VARCHAR(8) NOT NULL, \"note;\" CLOB(2G))"), 0)
      << error();
  ASSERT_EQ(exec("INSERT INTO \"odd\"\"s\".\"or ders\" VALUES ('A', 'first <note>'), ('B', NULL)"), 0) << error();
  const std::string dad =
      "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcollection><prolog>?xml version=\"1.0\"?</prolog>"
      "<root_node><element_node name=\"Doc\"><RDB_node><table name='\"odd\"\"s\".\"or ders\"' orderBy='\"id\"\"x\"'/>"
      "</RDB_node><attribute_node name=\"id\"><RDB_node><table name='\"odd\"\"s\".\"or ders\"'/><column "
      "name='\"id\"\"x\"'/></RDB_node></attribute_node><element_node name=\"Note\"><text_node><RDB_node><table "
      "name='\"odd\"\"s\".\"or ders\"'/><column name='\"note;\"'/></RDB_node></text_node></element_node>"
      "</element_node></root_node></Xcollection></DAD>";
  ASSERT_EQ(compose(dad, toTable("RES")), 0) << msg;
  EXPECT_EQ(column("SELECT doc FROM res"),
            (std::vector<std::string>{"<?xml version=\"1.0\"?>\n<Doc id=\"A\">\n  <Note>first &lt;note&gt;</Note>\n</Doc>",
                                      "<?xml version=\"1.0\"?>\n<Doc id=\"B\">\n  <Note></Note>\n</Doc>"}));
}

TEST_F(RdbMapping, AQueryOverTheStatementLimitIsRefused) {
  // The items' condition fits the limit of 65,534 bytes, the query built around it does not:
  // refused, never cut or copied into a fixed buffer.  A condition over the limit itself is
  // refused when the model is built.
  const auto withCondition = [](const std::string &condition) {
    return replaced(dataFile("orders_rdb.dad"), "<column name=\"qty\"/>",
                    "<column name=\"qty\"/><condition>" + condition + "</condition>");
  };
  const auto literals = [](size_t total) {
    const std::string start = "qty > 0 AND NOT product = '" + std::string(30000, 'x') + "' AND NOT product = '";
    return start + std::string(total - start.size() - 1, 'y') + "'";
  };
  EXPECT_EQ(compose(withCondition(literals(65400)), toTable("RES")), -121);
  EXPECT_EQ(std::string(msg), "KELQ038E  The SQL statement is too long: sql_stmt > MAX_STMT_LEN.\n");
  EXPECT_EQ(compose(withCondition(literals(66000)), toTable("RES")), -121);
  EXPECT_EQ(msgId(), "KELQ038E");
  EXPECT_TRUE(column("SELECT doc FROM res").empty());
  // Well under the limit the same kind of condition is used as it stands.
  ASSERT_EQ(compose(withCondition(literals(40000)), toTable("RES")), 0) << msg;
  EXPECT_EQ(column("SELECT doc FROM res").size(), 3u);
}

TEST_F(RdbMapping, XmlOverridesAddComparisonsToTheColumnsTheySelect) {
  KelComposeArgs a = toTable("RES");
  a.overrideType = 2;
  a.override = "/Order/@status = 'open' AND\n /Order/Item/Quantity > 1";
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), a), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0].find("<Item"), std::string::npos);  // O2's one item has quantity 1
  EXPECT_NE(docs[1].find("Lemons"), std::string::npos);
  EXPECT_EQ(docs[1].find("Honey"), std::string::npos);

  // AND inside a word or a literal does not end a condition.
  clear("res");
  ASSERT_EQ(exec("UPDATE sales.items SET product = 'BRAND AND CO' WHERE product = 'Honey'"), 0);
  a.override = "/Order/Item/Product = 'BRAND AND CO' AND /Order/@status <> 'BANDANA'";
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), a), 0) << msg;
  docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 3u);
  EXPECT_NE(docs[2].find("BRAND AND CO"), std::string::npos);
  EXPECT_EQ(docs[2].find("Lemons"), std::string::npos);

  // NO_CONDITION takes the DAD's own condition away; a path that selects nothing is reported
  // after the documents are made.
  clear("res");
  a.override = "/Order/Item/Quantity NO_CONDITION AND /Order/Nothing = 1";
  EXPECT_EQ(compose(replaced(dataFile("orders_rdb.dad"), "<column name=\"qty\"/>",
                             "<column name=\"qty\"/><condition>qty &gt; 100</condition>"),
                    a),
            5);
  EXPECT_EQ(msgId(), "KELQ041W");
  EXPECT_EQ(result.numDocs, 3);
  EXPECT_NE(column("SELECT doc FROM res")[2].find("Lemons"), std::string::npos);

  for (const char *bad : {"", "Order/@status = 'x'", "/Order/@status", "/Order/@status = 'x' AND", "/Order/[ = 1"}) {
    a.override = bad;
    EXPECT_EQ(compose(dataFile("orders_rdb.dad"), a), -99) << bad;
    EXPECT_EQ(msgId(), "KELQ030E");
  }
  a.overrideType = 1;
  a.override = "SELECT 1 FROM sales.orders";
  EXPECT_EQ(compose(dataFile("orders_rdb.dad"), a), -99);
}

TEST_F(RdbMapping, AnOverridePathIsAPlainPathOfTheMappingsNames) {
  // Regression: a position or other predicate, "//" or "*" in an override's path was not
  // applied ("/Order/Item[2]/Price > 0" composed every item of every order with KELQ020I),
  // a predicate holding a blank sent the rest of it to SQL (SQL0104N), and a comparison with
  // nothing after its operator reached SQL as well.  All of them are KELQ030E before any row.
  KelComposeArgs a = toTable("RES");
  a.overrideType = 2;
  for (const char *bad : {"/Order/Item[2]/Price > 0", "/Order/Item[1]/Price > 0", "/Order/Item[last()]/Price > 0",
                          "//Price > 0", "/Order//Price > 0", "/Order/Item[@no=2]/Price > 1",
                          "/Order/Item[@no=\"2\"]/Price>1", "/Order/Item/Price[. > 100] > 1", "/Order/*/Price > 1",
                          "/Order/Item/Price/text() > 1", "/Order/./Item/Price > 1", "/Order/Item/ > 1",
                          "/Order/@* = 'x'", "/Order/@id/Date = 'x'", "/Order/@ = 'x'", "/Order/Item/@no/ = 1",
                          "/Order/@id =", "/Order/@id <>", "/Order/@id = AND /Order/@status = 'open'",
                          "/Order/@status = 'open' AND /Order/Item/Price >="}) {
    a.override = bad;
    EXPECT_EQ(compose(dataFile("orders_rdb.dad"), a), -99) << bad;
    EXPECT_EQ(std::string(msg), "KELQ030E  Wrong XML override syntax.\n") << bad;
  }
  EXPECT_TRUE(column("SELECT doc FROM res").empty());

  // A plain path of the mapping's names selects its column as before.
  a.override = "/Order/Item/Price > 10 AND /Order/@id<>'O2'";
  ASSERT_EQ(compose(dataFile("orders_rdb.dad"), a), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM res");
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_NE(docs[0].find("Cups &amp; saucers"), std::string::npos);
  EXPECT_EQ(docs[0].find("Green tea"), std::string::npos);
  EXPECT_EQ(docs[1].find("<Item"), std::string::npos);  // none of O3's items costs more than 10
}

TEST_F(RdbMapping, IntegerJoinKeysConditionsWithOrAndOrderBy) {
  // The three-level DAD of the relation model's tests: integer join keys bound as parameters
  // from the parent's row, column conditions with OR (kept in their parentheses), a table
  // ordered by its orderBy, a null column written as an empty element.
  script("CREATE TABLE order_tab (order_key INTEGER NOT NULL, customer_name VARCHAR(16), customer_email "
         "VARCHAR(16));\n"
         "CREATE TABLE part_tab (part_key INTEGER NOT NULL, order_key INTEGER, color CHAR(6), qty INTEGER, price "
         "DECIMAL(10,2));\n"
         "CREATE TABLE ship_tab (part_key INTEGER, date DATE, mode CHAR(6));\n"
         "INSERT INTO order_tab VALUES (1, 'Ann', 'ann@x.org'), (2, 'Bo', NULL);\n"
         "INSERT INTO part_tab VALUES (10, 1, 'red', 2, 2600.50), (11, 1, 'blue', 1, 99.75), (20, 2, 'green', 9, "
         "5.25);\n"
         "INSERT INTO ship_tab VALUES (10, '2024-05-02', 'air'), (10, '2024-05-01', 'sea'), (20, '1960-01-01', "
         "'rail'), (11, '2024-06-01', 'road');\n");
  const std::string dad = keltest::readFile(keltest::sourceDir() + "/tests/data/dad/po_rdb.dad");
  ASSERT_EQ(compose(replaced(dad, "<!DOCTYPE DAD SYSTEM \"dad.dtd\">", ""), toTable("RES")), 0) << msg;
  EXPECT_TRUE(keltest::matchesGolden(keltest::goldenFile("compose", "po_rdb.xml"),
                                     joined(column("SELECT doc FROM res"))));
}

TEST_F(RdbMapping, AWrapperRootMakesOneDocument) {
  std::string dad = dataFile("orders_rdb.dad");
  dad = replaced(dad, "<element_node name=\"Order\">", "<element_node name=\"Orders\"><element_node name=\"Order\" "
                                                      "multi_occurrence=\"YES\">");
  dad = replaced(dad, "</root_node>", "</element_node></root_node>");
  ASSERT_EQ(exec("CREATE TABLE bigres (doc CLOB(1M))"), 0);
  ASSERT_EQ(compose(dad, toTable("BIGRES")), 0) << msg;
  EXPECT_EQ(result.numDocs, 1);
  std::vector<std::string> docs = column("SELECT doc FROM bigres");
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_NE(docs[0].find("\n<Orders>\n  <Order id=\"O1\" status=\"shipped\">"), std::string::npos);
  EXPECT_NE(docs[0].find("\n    <Item no=\"3\">"), std::string::npos);
}

// ---- Bulk: many children, large documents ----------------------------------------------------

TEST_F(ComposeDb, TenThousandChildrenUnderOneParent) {
  ASSERT_EQ(exec("DELETE FROM sales.items"), 0);
  ASSERT_EQ(exec("INSERT INTO sales.items SELECT 'O2', n, 'part ' || CHAR(n), 1, 1.25 FROM "
                 "(WITH t(n) AS (VALUES 1 UNION ALL SELECT n + 1 FROM t WHERE n < 10000) SELECT n FROM t) AS x"),
            0)
      << error();
  ASSERT_EQ(exec("CREATE TABLE bigres (doc CLOB(10M))"), 0);
  std::vector<std::string> got;
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    clear("bigres");
    // The SQL mapping's inner join leaves out orders without items.
    ASSERT_EQ(compose(dataFile(dad), toTable("BIGRES")), 0) << dad << ": " << msg;
    std::vector<std::string> docs = column("SELECT doc FROM bigres WHERE doc LIKE '%O2%'");
    ASSERT_EQ(docs.size(), 1u);
    EXPECT_GT(docs[0].size(), 1000000u);
    EXPECT_NE(docs[0].find("<Item no=\"10000\">\n    <Product>part 10000</Product>"), std::string::npos);
    got.push_back(docs[0]);
  }
  EXPECT_EQ(got[0], got[1]);
}

TEST_F(ComposeDb, LargeDocumentsAsALargeObjectLeaveNoTemporaryFiles) {
  // Every order gets 1,000 items: each document passes the memory limit and goes through a
  // temporary file; the first is returned, the others counted, and no file stays behind
  // (TearDown checks the temporary directory).
  ASSERT_EQ(exec("DELETE FROM sales.items"), 0);
  for (const char *order : {"O1", "O2", "O3"}) {
    ASSERT_EQ(exec(std::string("INSERT INTO sales.items SELECT '") + order +
                   "', n, 'part ' || CHAR(n), 1, 1.25 FROM (WITH t(n) AS (VALUES 1 UNION ALL SELECT n + 1 FROM t "
                   "WHERE n < 1000) SELECT n FROM t) AS x"),
              0)
        << error();
  }
  std::vector<std::string> firsts;
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    ASSERT_EQ(composeToLob(dataFile(dad), {}, 10 << 20), 0) << dad << ": " << msg;
    EXPECT_EQ(result.numDocs, 3);
    EXPECT_GT(result.lobLength, 100000u);
    EXPECT_NE(lobText().find("<Order id=\"O1\""), std::string::npos);
    EXPECT_NE(lobText().find("<Item no=\"1000\">"), std::string::npos);
    firsts.push_back(lobText());
    // Too small a room for the large first document: refused, and its file is gone too.
    EXPECT_EQ(composeToLob(dataFile(dad), {}, 50000), -52) << dad;
    EXPECT_EQ(msgId(), "KELC006E");
  }
  EXPECT_EQ(firsts[0], firsts[1]);
}

TEST_F(ComposeDb, LargeDocumentsReachTheResultTableWholeAndInOrder) {
  // The same thousand-item orders into a table: documents wait for the table until the
  // queries are done, those past the memory limit in files of their own, and arrive whole, in
  // the order they were made, with no file left behind.
  ASSERT_EQ(exec("DELETE FROM sales.items"), 0);
  for (const auto &[order, items] : {std::pair<const char *, const char *>{"O1", "1000"}, {"O2", "1"}, {"O3", "1000"}}) {
    ASSERT_EQ(exec(std::string("INSERT INTO sales.items SELECT '") + order +
                   "', n, 'part ' || CHAR(n), 1, 1.25 FROM (WITH t(n) AS (VALUES 1 UNION ALL SELECT n + 1 FROM t "
                   "WHERE n < " + items + ") SELECT n FROM t) AS x"),
              0)
        << error();
  }
  ASSERT_EQ(exec("CREATE TABLE bigres (doc CLOB(1M))"), 0);
  std::vector<std::string> lob;
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    clear("bigres");
    ASSERT_EQ(composeToLob(dataFile(dad), {}, 10 << 20), 0) << dad << ": " << msg;
    const std::string first = lobText();
    ASSERT_EQ(compose(dataFile(dad), toTable("BIGRES")), 0) << dad << ": " << msg;
    EXPECT_EQ(result.numDocs, 3);
    std::vector<std::string> docs = column("SELECT doc FROM bigres");
    ASSERT_EQ(docs.size(), 3u) << dad;
    EXPECT_EQ(docs[0], first) << dad;
    EXPECT_GT(docs[0].size(), 100000u);
    EXPECT_NE(docs[1].find("<Order id=\"O2\""), std::string::npos) << dad;
    EXPECT_LT(docs[1].size(), 32766u);
    EXPECT_NE(docs[2].find("<Item no=\"1000\">"), std::string::npos) << dad;
  }
}

TEST_F(ComposeDb, StagedDocumentsMoveToAFileAndArriveWholeAndInOrder) {
  // Documents wait in memory until the next would pass the stage's memory, then all of them
  // in one file; small ones, one past the documents' own memory limit and an empty one arrive
  // as they were made, in order.
  ASSERT_EQ(exec("CREATE TABLE staged (doc CLOB(1M))"), 0);
  KelResultTable target("", "STAGED", "DOC", "");
  std::vector<std::string> made;
  for (size_t size : {10, 600, 40000, 0, 700, 20}) {
    std::string text = "<d>" + std::string(size, static_cast<char>('a' + made.size())) + "</d>";
    made.push_back(text);
  }
  for (size_t memory : {size_t{1000}, KEL_STAGE_MEMORY}) {
    clear("staged");
    KelDocStage stage(&ctx, memory);
    for (const std::string &text : made) {
      KelDocWriter doc(&ctx);
      ASSERT_EQ(doc.start(state, msg), 0) << msg;
      doc.append(text);
      ASSERT_EQ(doc.flush(state, msg), 0) << msg;
      ASSERT_EQ(stage.add(&doc, state, msg), 0) << msg;
    }
    ASSERT_EQ(stage.insertAll(&target, false, KelValidationDesc{}, state, msg), 0) << msg;
    EXPECT_EQ(column("SELECT doc FROM staged"), made) << memory;
  }
}

TEST_F(ComposeDb, AResultTableThatIsAlsoASourceGetsNoDocumentsOfItsOwnRows) {
  // Regression: the documents were inserted while the top query still ran over the same
  // table, which then returned the rows the call had inserted: with maxRows 5 five documents
  // were made of one row, and without a maximum the call never ended.
  ASSERT_EQ(exec("CREATE TABLE selfsrc (doc VARCHAR(2000), id INTEGER)"), 0);
  ASSERT_EQ(exec("INSERT INTO selfsrc VALUES (NULL, 7)"), 0);
  const std::string dad =
      "<?xml version=\"1.0\"?><!DOCTYPE DAD SYSTEM \"dad.dtd\"><DAD><validation>NO</validation><Xcollection>"
      "<prolog>?xml version=\"1.0\"?</prolog><doctype>!DOCTYPE A SYSTEM \"a.dtd\"</doctype><root_node>"
      "<element_node name=\"A\"><RDB_node><table name=\"selfsrc\"/></RDB_node><attribute_node name=\"id\">"
      "<RDB_node><table name=\"selfsrc\"/><column name=\"id\"/></RDB_node></attribute_node></element_node>"
      "</root_node></Xcollection></DAD>";
  KelComposeArgs a = toTable("SELFSRC");
  a.maxRows = 5;
  ASSERT_EQ(compose(dad, a), 0) << msg;
  EXPECT_EQ(result.numDocs, 1);
  EXPECT_EQ(column("SELECT COUNT(*) FROM selfsrc"), std::vector<std::string>{"2"});
  ASSERT_EQ(compose(dad, toTable("SELFSRC")), 0) << msg;
  EXPECT_EQ(result.numDocs, 2);
}

// A parent's key is bound to its children's query as the text it was fetched as.  A REAL key
// read as 7 digits lost what set 1.0000001 apart from 1.0: the SQL mapping joined the two
// parents into one document and lost a child, the RDB_node mapping gave a's document b's child.
TEST_F(ComposeDb, RealKeysFindTheirOwnChildren) {
  ASSERT_EQ(exec("CREATE TABLE rp (k REAL NOT NULL, name VARCHAR(20))"), 0) << error();
  ASSERT_EQ(exec("CREATE TABLE rc (k REAL NOT NULL, v VARCHAR(20))"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO rp VALUES (1.0000001, 'a'), (1.0, 'b')"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO rc VALUES (1.0000001, 'child-of-a'), (1.0, 'child-of-b')"), 0) << error();
  ASSERT_EQ(exec("CREATE TABLE rres (doc VARCHAR(2000))"), 0) << error();
  const std::string head =
      "<?xml version=\"1.0\"?><!DOCTYPE DAD SYSTEM \"dad.dtd\"><DAD><validation>NO</validation><Xcollection>";
  const std::string tail = "<prolog>?xml version=\"1.0\"?</prolog><doctype>!DOCTYPE P SYSTEM \"p.dtd\"</doctype>";
  const std::string sqlDad =
      head + "<SQL_stmt>SELECT p.k, p.name, c.v FROM rp p, rc c WHERE p.k = c.k ORDER BY k, v</SQL_stmt>" + tail +
      "<root_node><element_node name=\"P\"><attribute_node name=\"k\"><column name=\"k\"/></attribute_node>"
      "<element_node name=\"name\"><text_node><column name=\"name\"/></text_node></element_node>"
      "<element_node name=\"C\" multi_occurrence=\"YES\"><text_node><column name=\"v\"/></text_node></element_node>"
      "</element_node></root_node></Xcollection></DAD>";
  const std::string rdbDad =
      head + tail +
      "<root_node><element_node name=\"P\"><RDB_node><table name=\"rp\" key=\"k\" orderBy=\"name\"/>"
      "<table name=\"rc\" key=\"k v\"/><condition>rp.k = rc.k</condition></RDB_node>"
      "<attribute_node name=\"k\"><RDB_node><table name=\"rp\"/><column name=\"k\" type=\"real\"/></RDB_node>"
      "</attribute_node><element_node name=\"name\"><text_node><RDB_node><table name=\"rp\"/>"
      "<column name=\"name\" type=\"varchar(20)\"/></RDB_node></text_node></element_node>"
      "<element_node name=\"C\" multi_occurrence=\"YES\"><text_node><RDB_node><table name=\"rc\"/>"
      "<column name=\"v\" type=\"varchar(20)\"/></RDB_node></text_node></element_node></element_node>"
      "</root_node></Xcollection></DAD>";
  for (const std::string *dad : {&sqlDad, &rdbDad}) {
    clear("rres");
    ASSERT_EQ(compose(*dad, toTable("RRES")), 0) << msg;
    std::vector<std::string> docs = column("SELECT doc FROM rres ORDER BY doc");
    ASSERT_EQ(docs.size(), 2u) << (dad == &sqlDad ? "SQL mapping" : "RDB_node mapping");
    // k="1.0" sorts before k="1.0000001".
    EXPECT_NE(docs[0].find("<P k=\"1.0\">\n  <name>b</name>\n  <C>child-of-b</C>\n</P>"), std::string::npos) << docs[0];
    EXPECT_NE(docs[1].find("<P k=\"1.0000001\">\n  <name>a</name>\n  <C>child-of-a</C>\n</P>"), std::string::npos)
        << docs[1];
  }
}

// The SQL mapping tells objects apart as its child queries' filters tell keys apart.  Keys "a"
// and "a " made two documents each holding both one's items; a null key read as the empty
// string, and its children, which "k" = ? never matches, were lost.
TEST_F(ComposeDb, KeysAreToldApartAsTheChildQueriesTellThem) {
  ASSERT_EQ(exec("CREATE TABLE bk (k VARCHAR(5), name VARCHAR(10), item INTEGER)"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO bk VALUES ('a', 'plain', 1), ('a ', 'blank', 2), (NULL, 'null-a', 3), "
                 "(NULL, 'null-b', 4), ('', 'empty', 5)"),
            0)
      << error();
  ASSERT_EQ(exec("CREATE TABLE bkd (doc VARCHAR(2000))"), 0) << error();
  const std::string dad =
      "<?xml version=\"1.0\"?><!DOCTYPE DAD SYSTEM \"dad.dtd\"><DAD><validation>NO</validation><Xcollection>"
      "<SQL_stmt>SELECT k, name, item FROM bk ORDER BY k, item</SQL_stmt><prolog>?xml version=\"1.0\"?</prolog>"
      "<doctype>!DOCTYPE T SYSTEM \"t.dtd\"</doctype><root_node><element_node name=\"T\">"
      "<element_node name=\"name\"><text_node><column name=\"name\"/></text_node></element_node>"
      "<element_node name=\"I\" multi_occurrence=\"YES\"><text_node><column name=\"item\"/></text_node>"
      "</element_node></element_node></root_node></Xcollection></DAD>";
  ASSERT_EQ(compose(dad, toTable("BKD")), 0) << msg;
  std::vector<std::string> docs = column("SELECT doc FROM bkd");
  std::vector<std::string> bodies;
  for (const std::string &d : docs) {
    std::string body = d.substr(d.find("<T>"));
    body.erase(std::remove(body.begin(), body.end(), '\n'), body.end());
    body.erase(std::remove(body.begin(), body.end(), ' '), body.end());
    bodies.push_back(body);
  }
  std::sort(bodies.begin(), bodies.end());
  EXPECT_EQ(bodies, (std::vector<std::string>{"<T><name>empty</name><I>5</I></T>",
                                              "<T><name>null-a</name><I>3</I><I>4</I></T>",
                                              "<T><name>plain</name><I>1</I><I>2</I></T>"}));
}

// ---- Values as the tables hold them ----------------------------------------------------------

class Values : public ComposeDb {
 protected:
  // Every value of the table vals(id, v), and the same read back from composed documents.
  void SetUp() override {
    ComposeDb::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(exec("CREATE TABLE vres (doc CLOB(2M))"), 0) << error();
  }
  void put(int id, const std::string &v) {
    ASSERT_EQ(exec("INSERT INTO vals VALUES (" + std::to_string(id) + ", '" + replaced(v, "'", "''") + "')"), 0)
        << error();
  }
  // The attribute v and the text of each document's root, by its attribute id.
  std::map<std::string, std::pair<std::string, std::string>> readBack(const std::vector<std::string> &docs) {
    std::map<std::string, std::pair<std::string, std::string>> out;
    for (const std::string &d : docs) {
      xercesc::DOMDocument *dom = nullptr;
      if (kelDOM(&ctx, d.c_str(), 0, KEL_DOC_IN_MEMORY, &dom, state, msg) < 0) {
        ADD_FAILURE() << "not well-formed: " << msg << d;
        continue;
      }
      KelDomDocument keep(dom);
      const xercesc::DOMElement *root = dom->getDocumentElement();
      const XMLCh *text = root->getTextContent();
      std::string id, v, t;
      kelDadToDb(&ctx, root->getAttribute(u"id"), &id);
      kelDadToDb(&ctx, root->getAttribute(u"v"), &v);
      kelDadToDb(&ctx, text != nullptr ? text : u"", &t);
      out[id] = {v, t};
    }
    return out;
  }
  static constexpr const char *kSqlDad =
      "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcollection><SQL_stmt>SELECT id, v FROM vals ORDER "
      "BY id</SQL_stmt><prolog>?xml version=\"1.1\"?</prolog><root_node><element_node name=\"V\"><attribute_node "
      "name=\"id\"><column name=\"id\"/></attribute_node><attribute_node name=\"v\"><column name=\"v\"/>"
      "</attribute_node><text_node><column name=\"v\"/></text_node></element_node></root_node></Xcollection></DAD>";
  static constexpr const char *kRdbDad =
      "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcollection><prolog>?xml version=\"1.1\"?</prolog>"
      "<root_node><element_node name=\"V\"><RDB_node><table name=\"vals\" orderBy=\"id\"/></RDB_node>"
      "<attribute_node name=\"id\"><RDB_node><table name=\"vals\"/><column name=\"id\"/></RDB_node></attribute_node>"
      "<attribute_node name=\"v\"><RDB_node><table name=\"vals\"/><column name=\"v\"/></RDB_node></attribute_node>"
      "<text_node><RDB_node><table name=\"vals\"/><column name=\"v\"/></RDB_node></text_node></element_node>"
      "</root_node></Xcollection></DAD>";
};

TEST_F(Values, EveryValueReadsBackAsTheTableHoldsIt) {
  // XML 1.1 documents, whose parse normalises the most: TAB, CR and LF in attribute values, CR,
  // NEL and U+2028 as line ends; control characters stand only as references.
  std::vector<std::string> values = {
      "a<b>c&d", "\"double\" and 'single'", "]]>", "tab\there", "cr\rhere", "lf\nhere", "crlf\r\nend",
      "  lead and trail  ", "caf\xC3\xA9 \xE2\x82\xAC", "line\xE2\x80\xA8sep", "nel\xC2\x85here", "&amp;",
      "ctl\x01\x1F\x7F\xC2\x9F", "", "\xC2\xA0\xE2\x80\xA9"};
  // Character data and a large object (read through its locator), in both mappings.
  for (const char *type : {"VARCHAR(200)", "CLOB(1M)"}) {
    exec("DROP TABLE vals");
    ASSERT_EQ(exec(std::string("CREATE TABLE vals (id INTEGER NOT NULL, v ") + type + ")"), 0) << error();
    if (std::string(type) == "CLOB(1M)") {
      // Sequences to replace cut by the pieces a large object is read in (131,072 bytes).
      std::string cut = std::string(131071, 'x') + "\xC2\x85" + std::string(131069, 'y') + "\xE2\x80\xA8";
      values.push_back(cut + std::string(393215 - cut.size(), 'z') + "\xE2\x80\xA8.");
    }
    for (size_t i = 0; i < values.size(); ++i) put(static_cast<int>(i), values[i]);
    for (const char *dad : {kSqlDad, kRdbDad}) {
      clear("vres");
      ASSERT_EQ(compose(dad, toTable("VRES")), 0) << msg;
      auto got = readBack(column("SELECT doc FROM vres"));
      EXPECT_EQ(got.size(), values.size());
      for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(got[std::to_string(i)].first, values[i]) << type << " attribute " << i;
        EXPECT_EQ(got[std::to_string(i)].second, values[i]) << type << " text " << i;
      }
    }
  }
}

// A value with a character the document cannot hold, not even as a reference (U+0001 in XML
// 1.0, U+FFFF in any version), refuses the call: before, it was written as "&#1;" or as it is,
// and the call stored a document that no parser reads. Nothing of the call is kept.
TEST_F(Values, ACharacterTheDocumentCannotHoldRefusesTheComposition) {
  EXPECT_TRUE(kelDeclaresXml11("<?xml version='1.1' encoding=\"UTF-8\"?>\n<!DOCTYPE V SYSTEM \"v.dtd\">"));
  EXPECT_TRUE(kelDeclaresXml11("<?xml version = \"1.1\"?>"));
  for (const char *header : {"<?xml version=\"1.0\"?>", "<?xml version=\"1.10\"?>", "<?xml?><a version='1.1'/>",
                             "<!-- version='1.1' -->"})
    EXPECT_FALSE(kelDeclaresXml11(header)) << header;

  auto withVersion = [](std::string dad, const char *version) {
    return replaced(dad, "<prolog>?xml version=\"1.1\"?</prolog>",
                    std::string("<prolog>?xml version=\"") + version + "\"?</prolog>");
  };
  const std::string piece(131071, 'x');  // a large object is read in pieces of 131,072 bytes
  for (const char *type : {"VARCHAR(200)", "CLOB(1M)"}) {
    exec("DROP TABLE vals");
    ASSERT_EQ(exec(std::string("CREATE TABLE vals (id INTEGER NOT NULL, v ") + type + ")"), 0) << error();
    const bool lob = std::string(type) == "CLOB(1M)";
    // What XML 1.0 holds: TAB, CR and LF (as references where a parse would change them), C1.
    put(0, "tab\tcr\rlf\n\xC2\x9F");
    for (const char *dad : {kSqlDad, kRdbDad}) {
      clear("vres");
      ASSERT_EQ(compose(withVersion(dad, "1.0").c_str(), toTable("VRES")), 0) << msg;
      auto got = readBack(column("SELECT doc FROM vres"));
      EXPECT_EQ(got["0"], std::make_pair(std::string("tab\tcr\rlf\n\xC2\x9F"), std::string("tab\tcr\rlf\n\xC2\x9F")));
    }
    std::vector<std::pair<const char *, std::string>> refused = {
        {"1.0", "ctl\x01"}, {"1.0", "\x1F"}, {"1.1", "non\xEF\xBF\xBE"}, {"1.1", "\xED\xA0\x80"}};
    if (lob) refused.push_back({"1.1", piece + "\xEF\xBF\xBF"});  // cut between two pieces
    for (const auto &[version, value] : refused) {
      ASSERT_GE(exec("DELETE FROM vals WHERE id = 1"), 0) << error();
      put(1, value);
      for (const char *dad : {kSqlDad, kRdbDad}) {
        SCOPED_TRACE(std::string(type) + " " + version + " " + value.substr(0, 8) + " " + std::to_string(value.size()));
        clear("vres");
        const std::string d = withVersion(dad, version);
        EXPECT_EQ(compose(d.c_str(), toTable("VRES")), -54) << msg;
        EXPECT_EQ(std::string(msg), "KELD000E  An invalid XML document is rejected.\n");
        EXPECT_EQ(std::string(state), "38X14");
        EXPECT_TRUE(column("SELECT doc FROM vres").empty());  // nor the document of id 0
      }
      // A large object holds the first document only; that one is refused too.
      ASSERT_GE(exec("UPDATE vals SET id = -1 WHERE id = 1"), 0) << error();
      EXPECT_EQ(composeToLob(withVersion(kSqlDad, version)), -54) << msg;
      ASSERT_GE(exec("UPDATE vals SET id = 1 WHERE id = -1"), 0) << error();
    }
    // The same control characters in an XML 1.1 document stand as references.
    ASSERT_GE(exec("DELETE FROM vals WHERE id = 1"), 0) << error();
    put(1, "ctl\x01\x1F");
    clear("vres");
    ASSERT_EQ(compose(kSqlDad, toTable("VRES")), 0) << msg;
    EXPECT_EQ(readBack(column("SELECT doc FROM vres"))["1"].second, "ctl\x01\x1F");
  }
}

// FOR BIT DATA bytes were copied into the document as they were: a byte that is no UTF-8 (FF)
// made a document no parser reads, reported as a success, and a 00 byte gave only KELD000E.
// Bytes that are text the document can hold (tables that keep text in such columns) are
// written as before; any other value refuses the call with KELA059E naming the column, and
// the result table keeps what it held.
TEST_F(Values, BitDataIsWrittenOnlyWhenItIsTextTheDocumentCanHold) {
  for (const char *type : {"VARCHAR(8) FOR BIT DATA", "CHAR(4) FOR BIT DATA"}) {
    exec("DROP TABLE vals");
    ASSERT_EQ(exec(std::string("CREATE TABLE vals (id INTEGER NOT NULL, v ") + type + ")"), 0) << error();
    const std::string text = "<\xC3\xA9&";
    put(0, text);
    for (const char *dad : {kSqlDad, kRdbDad}) {
      clear("vres");
      ASSERT_EQ(compose(dad, toTable("VRES")), 0) << type << ": " << msg;
      EXPECT_EQ(readBack(column("SELECT doc FROM vres"))["0"], std::make_pair(text, text)) << type;
    }
    for (const char *bytes : {"41FF4243", "41004243", "EDA08043"}) {  // no UTF-8, NUL, a surrogate
      ASSERT_GE(exec("DELETE FROM vals WHERE id = 1"), 0) << error();
      ASSERT_EQ(exec(std::string("INSERT INTO vals VALUES (1, X'") + bytes + "')"), 0) << error();
      const std::string refused =
          std::string("KELA059E  The type ") + type + " of column V in the DAD file is invalid.\n";
      for (const char *dad : {kSqlDad, kRdbDad}) {
        SCOPED_TRACE(std::string(type) + " X'" + bytes + "'" + (dad == kSqlDad ? " SQL" : " RDB_node"));
        clear("vres");
        ASSERT_EQ(exec("INSERT INTO vres VALUES ('before')"), 0) << error();
        EXPECT_EQ(compose(dad, toTable("VRES")), -43) << msg;
        EXPECT_EQ(std::string(msg), refused);
        EXPECT_EQ(std::string(state), "38X15");
        EXPECT_EQ(column("SELECT doc FROM vres"), std::vector<std::string>{"before"});
        ASSERT_GE(exec("UPDATE vals SET id = -1 WHERE id = 1"), 0) << error();  // the first document
        EXPECT_EQ(composeToLob(dad), -43) << msg;
        EXPECT_EQ(std::string(msg), refused);
        ASSERT_GE(exec("UPDATE vals SET id = 1 WHERE id = -1"), 0) << error();
      }
    }
  }
}

// A GRAPHIC(n) value is n characters, as a CHAR(n) value is n bytes: both keep their padding
// blanks.  The GRAPHIC value lost them ('日本' in a GRAPHIC(4) came out as two characters) while
// the CHAR value kept them.
TEST_F(Values, FixedLengthValuesKeepTheirPadding) {
  struct Case {
    const char *type;
    std::string value, composed;
  };
  for (const Case &c : {Case{"CHAR(6)", "\xC3\xA9", "\xC3\xA9    "}, Case{"GRAPHIC(4)", "\xC3\xA9", "\xC3\xA9   "},
                        Case{"GRAPHIC(4)", "\xE6\x97\xA5\xE6\x9C\xAC", "\xE6\x97\xA5\xE6\x9C\xAC  "},
                        Case{"GRAPHIC(2)", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80 "},
                        Case{"GRAPHIC(2)", "ab", "ab"}}) {
    exec("DROP TABLE vals");
    ASSERT_EQ(exec(std::string("CREATE TABLE vals (id INTEGER NOT NULL, v ") + c.type + ")"), 0) << error();
    put(0, c.value);
    for (const char *dad : {kSqlDad, kRdbDad}) {
      SCOPED_TRACE(std::string(c.type) + " " + c.value + (dad == kSqlDad ? " SQL" : " RDB_node"));
      clear("vres");
      ASSERT_EQ(compose(dad, toTable("VRES")), 0) << msg;
      EXPECT_EQ(readBack(column("SELECT doc FROM vres"))["0"], std::make_pair(c.composed, c.composed));
    }
  }
}

TEST_F(Values, ANullTopKeyMakesNoDocument) {
  // The root is a key element: with its key null it is left out whole, and a document of a
  // header alone is no document.  The RDB_node mapping only leaves the attribute out.
  ASSERT_EQ(exec("CREATE TABLE vals (id INTEGER, v VARCHAR(200))"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO vals VALUES (NULL, 'x'), (1, 'y')"), 0) << error();
  ASSERT_EQ(compose(kSqlDad, toTable("VRES")), 0) << msg;
  EXPECT_EQ(result.numDocs, 1);
  EXPECT_EQ(column("SELECT doc FROM vres"), std::vector<std::string>{"<?xml version=\"1.1\"?>\n<V id=\"1\" v=\"y\">y</V>"});
  ASSERT_EQ(composeToLob(kSqlDad), 0) << msg;
  EXPECT_EQ(result.numDocs, 1);
  EXPECT_EQ(lobText(), "<?xml version=\"1.1\"?>\n<V id=\"1\" v=\"y\">y</V>");
  // Nothing but the null key: no document at all.
  ASSERT_EQ(exec("DELETE FROM vals WHERE id = 1"), 0);
  clear("vres");
  ASSERT_EQ(compose(kSqlDad, toTable("VRES")), 0) << msg;
  EXPECT_EQ(result.numDocs, 0);
  EXPECT_TRUE(column("SELECT doc FROM vres").empty());
  clear("vres");
  ASSERT_EQ(compose(kRdbDad, toTable("VRES")), 0) << msg;
  EXPECT_EQ(column("SELECT doc FROM vres"), std::vector<std::string>{"<?xml version=\"1.1\"?>\n<V v=\"x\">x</V>"});
}

TEST_F(Values, AnElementWithTwoAttributesOfOneNameIsRefused) {
  // <V id="1" id="y"> is no XML: the DAD is refused before any document, in both mappings.
  ASSERT_EQ(exec("CREATE TABLE vals (id INTEGER, v VARCHAR(200))"), 0) << error();
  ASSERT_EQ(exec("INSERT INTO vals VALUES (1, 'y')"), 0) << error();
  for (const std::string &dad : {replaced(kSqlDad, "name=\"v\"><column", "name=\"id\"><column"),
                                 replaced(kRdbDad, "name=\"v\"><RDB", "name=\"id\"><RDB")}) {
    EXPECT_EQ(compose(dad, toTable("VRES")), -127);
    EXPECT_EQ(std::string(msg), "KELQ045E  Subtree under element V contain multiple attributes named id.\n");
    EXPECT_EQ(result.numDocs, 0);
    EXPECT_TRUE(column("SELECT doc FROM vres").empty());
    EXPECT_EQ(composeToLob(dad), -127);
  }
}

// ---- Collections -----------------------------------------------------------------------------

class Collection : public ComposeDb {
 protected:
  void SetUp() override {
    ComposeDb::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(exec("CREATE TABLE quarnxml.xml_usage (table_schema CHAR(31) NOT NULL, table_name CHAR(129) NOT NULL, "
                   "col_name CHAR(31) NOT NULL, dtdid VARCHAR(128), dad CLOB(100K), access_mode INTEGER NOT NULL, "
                   "validation INTEGER NOT NULL, default_view CHAR(128), trigger_suffix CHAR(8) NOT NULL, "
                   "version DECIMAL(3,2) NOT NULL, root_id VARCHAR(128), side_tab_qual VARCHAR(128))"),
              0)
        << error();
  }
  void store(const char *name, const std::string &dadText, bool nullDad = false) {
    KelDocBuffer buf{nullptr, nullptr, KEL_BUF_MEMORY, 0, 0, 0};
    int status = 0;
    ASSERT_EQ(kelBufAcquire(&ctx, &buf, static_cast<int64_t>(dadText.size()), KEL_BUF_NO_LIMIT, KEL_BUF_MEMORY,
                            &status, msg, 0),
              0);
    ASSERT_EQ(kelFillBuffer(&ctx, &buf, dadText.c_str(), &status, state), 0);
    int32_t rc = 0;
    ASSERT_EQ(kelInsertXMLUsage(&ctx, "KEL_COLL", "KEL_COLLECTION", name, nullptr, -1, &buf, 1, 0, nullptr, -1,
                                "0", 5.0f, nullptr, -1, nullptr, -1, &rc, msg),
              0)
        << msg;
    kelBufRelease(&ctx, &buf);
    if (nullDad) {
      ASSERT_EQ(exec(std::string("UPDATE quarnxml.xml_usage SET dad = NULL WHERE col_name = '") + name + "'"), 0);
    }
  }
};

TEST_F(Collection, TheDadOfAStoredCollectionIsFetchedByName) {
  store("orders", dataFile("orders_rdb.dad"));
  store("nodad", "x", true);
  KelDocBuffer buf{};
  ASSERT_EQ(kelFetchDAD(&ctx, "orders", &buf, state, msg), 0) << msg;
  EXPECT_EQ(std::string(kelBufGetContent(&ctx, &buf)), dataFile("orders_rdb.dad"));
  kelBufRelease(&ctx, &buf);
  EXPECT_EQ(kelFetchDAD(&ctx, "other", &buf, state, msg), -88);
  EXPECT_EQ(std::string(msg), "KELQ028E  Cannot find the collection other in the XML_USAGE table.\n");
  kelBufRelease(&ctx, &buf);
  EXPECT_EQ(kelFetchDAD(&ctx, "nodad", &buf, state, msg), -89);
  EXPECT_EQ(msgId(), "KELQ029E");
  kelBufRelease(&ctx, &buf);
  // 31 characters are refused, not cut to the 30 of a stored name.
  store("abcdefghijklmnopqrstuvwxyz0123", dataFile("orders_rdb.dad"));
  EXPECT_EQ(kelFetchDAD(&ctx, "abcdefghijklmnopqrstuvwxyz01234", &buf, state, msg), -101);
  EXPECT_EQ(msgId(), "KELQ032E");
  kelBufRelease(&ctx, &buf);
  ASSERT_EQ(kelFetchDAD(&ctx, "abcdefghijklmnopqrstuvwxyz0123", &buf, state, msg), 0) << msg;
  kelBufRelease(&ctx, &buf);
  // The limit is in bytes, as enabling a collection counts it and the stored name holds it:
  // fifteen two-byte letters fit, sixteen are refused as enabling refuses them.
  std::string accents;
  for (int i = 0; i < 16; ++i) accents += "\xc3\xa9";
  EXPECT_EQ(kelFetchDAD(&ctx, accents.c_str(), &buf, state, msg), -101);
  EXPECT_EQ(msgId(), "KELQ032E");
  kelBufRelease(&ctx, &buf);
  EXPECT_EQ(kelFetchDAD(&ctx, accents.substr(2).c_str(), &buf, state, msg), -88);
  kelBufRelease(&ctx, &buf);
}

}  // namespace
