// The six composition procedures as the engine calls them: the exported entries of the built
// quarnxml, called through the loader with descriptor areas (large objects with their extended
// entries) and in the SQL convention, on a fresh database of a temporary instance.  The room of
// resultDoc is the call's (the older definition declares clob(2G)), the override may come as
// the older varchar(1024), and a document that does not fit is refused without writing past it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "kel_test_db.h"
#include "kelcomp.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

namespace fs = std::filesystem;

using DariEntry = int (*)(void *, void *, sqlda *, sqlca *);

// The purchase-order tables and DADs are the main job's samples; golden files are test data.
std::string dataFile(const std::string &name) {
  const bool sample = name.rfind("orders_", 0) == 0 || name == "orders.sql";
  return keltest::readFile(keltest::sourceDir() + (sample ? "/samples/" : "/tests/data/compose/") + name);
}

void *library() {
  static void *handle = dlopen((keltest::buildDir() + "/lib/libquarnxml.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle;
}

template <typename F>
F entry(const char *name) {
  return reinterpret_cast<F>(library() != nullptr ? dlsym(library(), name) : nullptr);
}

// A descriptor area built as the engine builds one: an entry per parameter, and for each large
// object an extended entry (at index + sqld) with its room and the address of its length.
class DariCall {
 public:
  // Inputs; std::nullopt passes NULL.
  DariCall &clob(std::optional<std::string> v) { return add(SQL_TYP_NCLOB, v, 0, true); }
  DariCall &varchar(std::optional<std::string> v, short declared = 128) {
    return add(SQL_TYP_NVARCHAR, v, declared, true);
  }
  DariCall &integer(std::optional<int> v) {
    Param p;
    p.type = SQL_TYP_NINTEGER;
    p.len = 4;
    p.data.assign(8, 0);
    if (v) std::memcpy(p.data.data(), &*v, 4);
    p.ind = v ? 0 : -1;
    params_.push_back(std::move(p));
    return *this;
  }
  // Outputs.
  DariCall &outInteger() { return integer(std::nullopt); }
  DariCall &outClob(int64_t room) {
    Param p;
    p.type = SQL_TYP_NCLOB;
    p.lob = true;
    p.room = room;
    p.data.assign(static_cast<size_t>(room) + 64, '#');
    p.ind = -1;
    params_.push_back(std::move(p));
    return *this;
  }
  DariCall &outMessage() { return add(SQL_TYP_NVARCHAR, std::nullopt, 1024, false); }

  // Without extended entries a large object is a 32-bit length and its bytes, its room sqllen.
  DariCall &withoutExtendedEntries() {
    extended_ = false;
    for (Param &p : params_) {
      if (!p.lob) continue;
      std::vector<char> prefixed(4 + p.data.size());
      std::memcpy(prefixed.data(), &p.lobLen, 4);
      std::memcpy(prefixed.data() + 4, p.data.data(), p.data.size());
      p.data = std::move(prefixed);
      p.len = static_cast<short>(std::min<int64_t>(p.room, 32767));
      p.room = p.len;
    }
    return *this;
  }
  std::string prefixedValue(size_t i) const {
    sqluint32 n;
    std::memcpy(&n, params_[i].data.data(), 4);
    return std::string(params_[i].data.data() + 4, n);
  }

  sqlda *build() {
    const short n = static_cast<short>(params_.size());
    const short entries = static_cast<short>(extended_ ? 2 * n : n);
    area_.assign(static_cast<size_t>(SQLDASIZE(entries)), 0);
    sqlda *da = reinterpret_cast<sqlda *>(area_.data());
    std::memcpy(da->sqldaid, "SQLDA   ", 8);
    da->sqldabc = SQLDASIZE(entries);
    da->sqln = entries;
    da->sqld = n;
    for (short i = 0; i < n; ++i) {
      Param &p = params_[static_cast<size_t>(i)];
      da->sqlvar[i] = {p.type, p.len, p.data.data(), &p.ind, {}};
      if (p.lob && extended_) {
        auto *ext = reinterpret_cast<sqlvar2 *>(&da->sqlvar[i + n]);
        ext->len.sqllonglen = p.room;
        ext->sqldatalen = reinterpret_cast<char *>(&p.lobLen);
      }
    }
    return da;
  }
  // Runs entry name; false when it cannot be found.
  bool run(const char *name) {
    DariEntry fn = entry<DariEntry>(name);
    if (fn == nullptr) return false;
    sqlca ca{};
    return fn(nullptr, nullptr, build(), &ca) == 1;
  }

  short ind(size_t i) const { return params_[i].ind; }
  int intValue(size_t i) const {
    int v;
    std::memcpy(&v, params_[i].data.data(), 4);
    return v;
  }
  std::string varcharValue(size_t i) const {
    uint16_t len;
    std::memcpy(&len, params_[i].data.data(), 2);
    return std::string(params_[i].data.data() + 2, len);
  }
  std::string clobValue(size_t i) const { return std::string(params_[i].data.data(), params_[i].lobLen); }
  // The bytes of a large-object output from its room on, which nothing may touch.
  std::string pastRoom(size_t i) const {
    const Param &p = params_[i];
    return std::string(p.data.data() + p.room, 64);
  }
  int rc() const { return intValue(params_.size() - 2); }
  std::string message() const { return varcharValue(params_.size() - 1); }

 private:
  struct Param {
    short type = 0;
    short len = 0;
    std::vector<char> data;
    short ind = 0;
    bool lob = false;
    int64_t room = 0;
    sqlint32 lobLen = 0;
  };
  DariCall &add(short type, const std::optional<std::string> &v, short declared, bool input) {
    Param p;
    p.type = type;
    p.ind = input && v ? 0 : -1;
    const std::string text = v.value_or("");
    if (type == SQL_TYP_NCLOB) {
      p.lob = true;
      p.data.assign(text.begin(), text.end());
      p.data.push_back('\0');
      p.room = static_cast<int64_t>(text.size());
      p.lobLen = static_cast<sqlint32>(text.size());
    } else {
      p.len = declared;
      p.data.assign(static_cast<size_t>(declared) + 2 + text.size(), 0);
      uint16_t n = static_cast<uint16_t>(text.size());
      std::memcpy(p.data.data(), &n, 2);
      std::memcpy(p.data.data() + 2, text.data(), text.size());
    }
    params_.push_back(std::move(p));
    return *this;
  }
  std::vector<Param> params_;
  std::vector<char> area_;
  bool extended_ = true;
};

class Entries : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    ASSERT_NE(library(), nullptr) << dlerror();
    env_.set("QUARNINSTANCE", "kelcent");
    env_.set("QUARNKELPATH", dir_.str());
    tmp_ = dir_.file("tmp");
    fs::create_directories(tmp_);
    env_.set("QUARNKELTEMP", tmp_);
    openDatabase("KELCENT");
    const std::string schema = dataFile("orders.sql");
    size_t start = 0;
    for (size_t end = schema.find(";\n"); end != std::string::npos; start = end + 2, end = schema.find(";\n", start))
      ASSERT_EQ(exec(schema.substr(start, end - start)), 0) << error();
    ASSERT_EQ(exec("CREATE TABLE res (doc VARCHAR(4000))"), 0);
  }
  void TearDown() override {
    keltest::DatabaseTest::TearDown();
    EXPECT_TRUE(fs::is_empty(tmp_));
  }
  std::string value(const std::string &query) {
    quarn_stmt *stmt = nullptr;
    sqlca ca{};
    if (quarn_prepare(query.c_str(), &stmt, &ca) < 0) return "ERROR";
    std::vector<char> out(2000000);
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, static_cast<sqlint32>(out.size()), out.data(), &ind};
    int code = quarn_open(stmt, 0, nullptr, &ca);
    if (code >= 0) code = quarn_fetch(stmt, 1, &var, &ca);
    quarn_free_stmt(stmt);
    return code != 0 ? "" : std::string(out.data());
  }
  // Every row of a one-column query, each followed by an empty line (the golden file's form).
  std::string rows(const std::string &query) {
    quarn_stmt *stmt = nullptr;
    sqlca ca{};
    if (quarn_prepare(query.c_str(), &stmt, &ca) < 0) return "ERROR";
    std::vector<char> out(2000000);
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, static_cast<sqlint32>(out.size()), out.data(), &ind};
    std::string all;
    if (quarn_open(stmt, 0, nullptr, &ca) >= 0)
      while (quarn_fetch(stmt, 1, &var, &ca) == 0) all += std::string(out.data()) + "\n\n";
    quarn_free_stmt(stmt);
    return all;
  }
  // List C: dadBuf, overrideType, override, resultDoc, valid, numDocs, returnCode, returnMsg.
  static DariCall clobCall(std::optional<std::string> dad, int64_t room, std::optional<int> type = 0,
                           std::optional<std::string> override = std::nullopt, short overrideLen = 32672) {
    DariCall c;
    c.clob(std::move(dad)).integer(type).varchar(std::move(override), overrideLen).outClob(room).outInteger();
    c.outInteger().outInteger().outMessage();
    return c;
  }
  // List A: dadBuf, resultTable, overrideType, override, maxRows, numRows, returnCode, returnMsg.
  static DariCall tableCall(std::optional<std::string> dad, std::optional<std::string> table,
                            std::optional<int> maxRows = 0, std::optional<int> type = 0,
                            std::optional<std::string> override = std::nullopt) {
    DariCall c;
    c.clob(std::move(dad)).varchar(std::move(table)).integer(type).varchar(std::move(override), 32672);
    c.integer(maxRows).outInteger().outInteger().outMessage();
    return c;
  }
  static std::string firstOrder() {
    std::string all = dataFile("orders.xml");
    return all.substr(0, all.find("\n\n"));
  }
  std::string tmp_;
};

TEST_F(Entries, TheClobProcedureReturnsTheFirstDocumentAndCountsThemAll) {
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    DariCall c = clobCall(dataFile(dad), 1048576);
    ASSERT_TRUE(c.run("kelGenXMLClob"));
    EXPECT_EQ(c.rc(), 0) << c.message();
    EXPECT_EQ(c.message(), "KELQ020I  XML successfully generated.\n");
    EXPECT_EQ(c.ind(3), 0);
    EXPECT_EQ(c.clobValue(3), firstOrder());
    EXPECT_EQ(c.ind(4), -1);  // valid: no validation
    EXPECT_EQ(c.intValue(5), 3);
    EXPECT_EQ(c.ind(0), -128);  // inputs are not sent back
  }
  // No document: resultDoc is NULL.
  ASSERT_EQ(exec("DELETE FROM sales.orders"), 0);
  DariCall none = clobCall(dataFile("orders_rdb.dad"), 1048576);
  ASSERT_TRUE(none.run("kelGenXMLClob"));
  EXPECT_EQ(none.rc(), 0);
  EXPECT_EQ(none.ind(3), -1);
  EXPECT_EQ(none.intValue(5), 0);
}

TEST_F(Entries, TheRoomOfResultDocIsTheDefinitionsOwn) {
  // One order of 10,000 items: a document of more than a megabyte.
  ASSERT_EQ(exec("DELETE FROM sales.items"), 0);
  ASSERT_EQ(exec("INSERT INTO sales.items SELECT 'O1', n, 'part ' || CHAR(n), 1, 1.25 FROM "
                 "(WITH t(n) AS (VALUES 1 UNION ALL SELECT n + 1 FROM t WHERE n < 10000) SELECT n FROM t) AS x"),
            0)
      << error();
  // The older definition, clob(2G): the engine gives it 64 MB of room; the whole document fits.
  DariCall older = clobCall(dataFile("orders_sql.dad"), 64 << 20);
  ASSERT_TRUE(older.run("kelGenXMLClob"));
  EXPECT_EQ(older.rc(), 0) << older.message();
  EXPECT_GT(older.clobValue(3).size(), 1048576u);
  EXPECT_NE(older.clobValue(3).find("<Item no=\"10000\">"), std::string::npos);
  // The current definition, clob(1M): refused, nothing written past the room.
  DariCall current = clobCall(dataFile("orders_sql.dad"), 1048576);
  ASSERT_TRUE(current.run("kelGenXMLClob"));
  EXPECT_EQ(current.rc(), -52);
  EXPECT_EQ(current.message(), "KELC006E  The input file exceeds the Quarn LOB limit.\n");
  EXPECT_EQ(current.ind(3), -1);
  EXPECT_EQ(current.pastRoom(3), std::string(64, '#'));
}

TEST_F(Entries, LargeObjectsWithoutExtendedEntriesAreLengthPrefixed) {
  DariCall c = clobCall(dataFile("orders_sql.dad"), 8192);
  c.withoutExtendedEntries();
  ASSERT_TRUE(c.run("kelGenXMLClob"));
  EXPECT_EQ(c.rc(), 0) << c.message();
  EXPECT_EQ(c.prefixedValue(3), firstOrder());
  DariCall tooSmall = clobCall(dataFile("orders_sql.dad"), 100);
  tooSmall.withoutExtendedEntries();
  ASSERT_TRUE(tooSmall.run("kelGenXMLClob"));
  EXPECT_EQ(tooSmall.rc(), -52);
  EXPECT_EQ(tooSmall.ind(3), -1);
}

TEST_F(Entries, TheOlderOverrideDefinitionIsReadWithItsOwnLength) {
  DariCall c = clobCall(dataFile("orders_rdb.dad"), 1048576, 2, "/Order/@status = 'open'", 1024);
  ASSERT_TRUE(c.run("kelGenXMLClob"));
  EXPECT_EQ(c.rc(), 0) << c.message();
  EXPECT_EQ(c.intValue(5), 2);
  EXPECT_NE(c.clobValue(3).find("<Order id=\"O2\" status=\"open\">"), std::string::npos);
}

TEST_F(Entries, TableProceduresOfBothLists) {
  // List A in both mappings: the three documents of the golden file, byte for byte.
  for (const char *dad : {"orders_rdb.dad", "orders_sql.dad"}) {
    ASSERT_GE(exec("DELETE FROM res"), 0);
    DariCall a = tableCall(dataFile(dad), "res", std::nullopt, std::nullopt);
    ASSERT_TRUE(a.run("kelGenXML"));
    EXPECT_EQ(a.rc(), 0) << a.message();
    EXPECT_EQ(a.intValue(5), 3);
    EXPECT_EQ(rows("SELECT doc FROM res"), dataFile("orders.xml")) << dad;
  }

  // List B: dadBuf, resultTable, resultColumn, validColumn, overrideType, override, maxRows,
  // numRows, returnCode, returnMsg; a blank validColumn means none.
  ASSERT_EQ(exec("CREATE TABLE res2 (id INTEGER, doc VARCHAR(4000))"), 0);
  DariCall b;
  b.clob(dataFile("orders_sql.dad")).varchar("res2").varchar("doc").varchar("  ").integer(0).varchar(std::nullopt);
  b.integer(2).outInteger().outInteger().outMessage();
  ASSERT_TRUE(b.run("kelGenXML2"));
  EXPECT_EQ(b.rc(), 3) << b.message();
  EXPECT_EQ(b.message(), "KELQ003W  Result exceeds maximum.\n");
  EXPECT_EQ(b.intValue(7), 2);
  EXPECT_EQ(value("SELECT COUNT(*) FROM res2 WHERE id IS NULL"), "2");
}

TEST_F(Entries, BadArgumentsAreRefusedWithTheirMessages) {
  struct Case {
    DariCall call;
    const char *entry;
    int rc;
    const char *message;
  };
  DariCall badColumn;
  badColumn.clob(dataFile("orders_sql.dad")).varchar("res").varchar("bad name").varchar(std::nullopt).integer(0);
  badColumn.varchar(std::nullopt).integer(0).outInteger().outInteger().outMessage();
  std::vector<Case> cases;
  cases.push_back({tableCall(std::nullopt, "res"), "kelGenXML", -60, "KELG004E  Invalid null parameter.\n"});
  cases.push_back({tableCall(dataFile("orders_sql.dad"), std::nullopt), "kelGenXML", -60, "KELG004E  Invalid null parameter.\n"});
  cases.push_back({tableCall(dataFile("orders_sql.dad"), "res", -1), "kelGenXML", -60, "KELG004E  Invalid null parameter.\n"});
  cases.push_back({tableCall(dataFile("orders_sql.dad"), "res", 0, 2), "kelGenXML", -60, "KELG004E  Invalid null parameter.\n"});
  cases.push_back({tableCall(dataFile("orders_sql.dad"), "a.b.c"), "kelGenXML", -69,
                   "KELQ009E  Result table a.b.c does not exist.\n"});
  cases.push_back({badColumn, "kelGenXML2", -134, "KELQ054E  Invalid input parameter: bad name\n"});
  cases.push_back({clobCall(dataFile("orders_rdb.dad"), 1048576, 1, "SELECT 1 FROM sales.orders"), "kelGenXMLClob", -99,
                   "KELQ030E  Wrong XML override syntax.\n"});
  for (Case &c : cases) {
    ASSERT_TRUE(c.call.run(c.entry));
    EXPECT_EQ(c.call.rc(), c.rc) << c.entry << ": " << c.call.message();
    EXPECT_EQ(c.call.message(), c.message);
  }
  EXPECT_EQ(value("SELECT COUNT(*) FROM res"), "0");
}

TEST_F(Entries, CollectionsAreReadFromXmlUsage) {
  ASSERT_EQ(exec("CREATE TABLE quarnxml.xml_usage (table_schema CHAR(31) NOT NULL, table_name CHAR(129) NOT NULL, "
                 "col_name CHAR(31) NOT NULL, dtdid VARCHAR(128), dad CLOB(100K), access_mode INTEGER NOT NULL, "
                 "validation INTEGER NOT NULL, default_view CHAR(128), trigger_suffix CHAR(8) NOT NULL, "
                 "version DECIMAL(3,2) NOT NULL, root_id VARCHAR(128), side_tab_qual VARCHAR(128))"),
            0);
  std::string dad = dataFile("orders_rdb.dad");
  for (size_t at = dad.find('\''); at != std::string::npos; at = dad.find('\'', at + 2)) dad.replace(at, 1, "''");
  ASSERT_EQ(exec("INSERT INTO quarnxml.xml_usage VALUES ('KEL_COLL', 'KEL_COLLECTION', 'orders', NULL, '" + dad +
                 "', 1, 0, NULL, '0', 5.0, NULL, NULL)"),
            0)
      << error();
  DariCall a = tableCall("orders", "res");
  ASSERT_TRUE(a.run("kelRetrieveXML"));
  EXPECT_EQ(a.rc(), 0) << a.message();
  EXPECT_EQ(value("SELECT COUNT(*) FROM res"), "3");

  DariCall c = clobCall("orders", 1048576);
  ASSERT_TRUE(c.run("kelRetrieveXMLClob"));
  EXPECT_EQ(c.rc(), 0) << c.message();
  EXPECT_EQ(c.clobValue(3), firstOrder());

  DariCall unknown = clobCall("nosuch", 1048576);
  ASSERT_TRUE(unknown.run("kelRetrieveXMLClob"));
  EXPECT_EQ(unknown.rc(), -88);
  EXPECT_EQ(unknown.message(), "KELQ028E  Cannot find the collection nosuch in the XML_USAGE table.\n");
  EXPECT_EQ(unknown.ind(3), -1);
}

TEST_F(Entries, TheSqlConventionEntries) {
  using ClobStp = int (*)(char *, sqlint32 *, char *, char *, sqlint32 *, sqlint32 *, sqlint32 *, char *, short *,
                          short *, short *, short *, short *, short *, short *, short *, char *, char *, char *, char *);
  ClobStp clob = entry<ClobStp>("kelGenXMLClob_STP");
  ASSERT_NE(clob, nullptr);
  const std::string dad = dataFile("orders_rdb.dad");
  std::vector<char> dadArg(4 + dad.size() + 1);
  sqluint32 len = static_cast<sqluint32>(dad.size());
  std::memcpy(dadArg.data(), &len, 4);
  std::memcpy(dadArg.data() + 4, dad.c_str(), dad.size() + 1);
  std::vector<char> resultDoc(4 + KEL_RESULT_DOC_LENGTH + 1 + 8);
  sqlint32 type = 0, valid = 7, numDocs = 0, rc = 99;
  char override[] = "", msg[1025] = "", sqlstate[6] = "", proc[] = "QUARNXML.KELGENXMLCLOB", specific[] = "KELGENXMLCLOB",
       diag[71] = "";
  short inds[8] = {0, 0, -1, -1, -1, -1, -1, -1};
  clob(dadArg.data(), &type, override, resultDoc.data(), &valid, &numDocs, &rc, msg, &inds[0], &inds[1], &inds[2],
       &inds[3], &inds[4], &inds[5], &inds[6], &inds[7], sqlstate, proc, specific, diag);
  EXPECT_EQ(rc, 0) << msg;
  EXPECT_EQ(numDocs, 3);
  EXPECT_EQ(inds[3], 0);
  EXPECT_EQ(inds[4], -1);
  sqluint32 docLen = 0;
  std::memcpy(&docLen, resultDoc.data(), 4);
  EXPECT_EQ(std::string(resultDoc.data() + 4, docLen), firstOrder());

  using TableStp = int (*)(char *, char *, sqlint32 *, char *, sqlint32 *, sqlint32 *, sqlint32 *, char *, short *,
                           short *, short *, short *, short *, short *, short *, short *, char *, char *, char *, char *);
  TableStp table = entry<TableStp>("kelGenXML1_STP");
  ASSERT_NE(table, nullptr);
  char resultTable[] = "res";
  sqlint32 maxRows = 1, numRows = 0;
  short tinds[8] = {0, 0, 0, -1, 0, -1, -1, -1};
  table(dadArg.data(), resultTable, &type, override, &maxRows, &numRows, &rc, msg, &tinds[0], &tinds[1], &tinds[2],
        &tinds[3], &tinds[4], &tinds[5], &tinds[6], &tinds[7], sqlstate, proc, specific, diag);
  EXPECT_EQ(rc, 3) << msg;
  EXPECT_EQ(numRows, 1);
  EXPECT_EQ(value("SELECT doc FROM res"), firstOrder());
}

}  // namespace
