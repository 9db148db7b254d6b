// The built keladm run as a process against a fresh instance: exit statuses and the exact
// texts on standard output and standard error, and what the database holds afterwards, seen
// from a new connection of the console.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kel_test_env.h"

namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;  // exit status (0..255)
  std::string out;
  std::string err;
};

using keltest::shellQuote;

const char kUsage[] =
    "Usage:\n"
    "keladm [enable_db dbname <-l userid -p password -t tablespace1<,tablespace2>> ]\n"
    "keladm [disable_db dbname <-l userid -p password> ]\n"
    "keladm [enable_column dbname tabname column dad_file\n"
    "       <-t tablespace> <-v default_view> <-r root_id> <-l userid -p password> ]\n"
    "keladm [disable_column dbname tabname column <-l userid -p password> ]\n"
    "keladm [enable_collection dbname collectionName dad_file\n"
    "   <-t tablespace> <-l userid -p password> ]\n"
    "keladm [disable_collection dbname collection <-l userid -p password> ]\n"
    "keladm [verify_column dbname tabname column <-repair> <-l userid -p password> ]\n"
    "keladm [trace_on directory <instance> ]\n"
    "keladm [trace_off <instance> ]\n";

const char kColumnDad[] =
    "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcolumn><table name=\"shop.order_head\">"
    "<column name=\"customer\" type=\"varchar(40)\" path=\"/order/customer/name\" multi_occurrence=\"NO\"/>"
    "</table></Xcolumn></DAD>";

class Keladm : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.set("QUARNPATH", inst_.str());
    env_.set("QUARN_USER", "tester");
    env_.set("QUARNINSTANCE", "kelinst");
    env_.set("QUARNKELPATH", inst_.file("kel"));
    fs::create_directories(inst_.path() / "kel");
    fs::create_directories(inst_.path() / "Data Dir");
    ASSERT_EQ(console("CREATE DATABASE TESTDB").status, 0);
  }

  // The command run in the current directory, or in cwd when one is given; after the shell
  // commands of setup when some are given (in a subshell, so they hold for the command only).
  Result run(const std::vector<std::string> &args, const std::string &cwd = "", const std::string &setup = "") {
    std::string cmd = (cwd.empty() ? "" : "cd " + shellQuote(cwd) + " && ") + (setup.empty() ? "" : "(" + setup + "; ") +
                      shellQuote(KEL_KELADM);
    for (const std::string &a : args) cmd += " " + shellQuote(a);
    std::string out = inst_.file("keladm.out"), err = inst_.file("keladm.err");
    if (!setup.empty()) cmd += ")";
    cmd += " >" + shellQuote(out) + " 2>" + shellQuote(err);
    Result r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = keltest::readFile(out);
    r.err = keltest::readFile(err);
    fs::remove(out);
    fs::remove(err);
    return r;
  }

  // The console on a new connection of TESTDB (or without one for CREATE DATABASE).
  Result console(const std::string &sql) {
    std::string cmd = shellQuote(KEL_QUARN_CONSOLE);
    if (sql.rfind("CREATE DATABASE", 0) != 0) cmd += " -d TESTDB";
    cmd += " " + shellQuote(sql) + " 2>&1";
    Result r;
    FILE *p = popen(cmd.c_str(), "r");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
  }

  // Whether the console's answer to a query holds text.
  bool shows(const std::string &sql, const std::string &text) { return console(sql).out.find(text) != std::string::npos; }

  bool enabled() {
    return shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABSCHEMA='QUARNXML' AND TABNAME='XML_USAGE'", "FOUND");
  }

  std::string dataFile(const std::string &name, const std::string &content) {
    std::string path = (inst_.path() / "Data Dir" / name).string();
    keltest::writeFile(path, content);
    return path;
  }

  keltest::TempDir inst_;
  keltest::ScopedEnv env_;
};

TEST_F(Keladm, WrongCommandLinesPrintTheUsageTextAndChangeNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"enable"},
      {"enable_db"},
      {"enable_db", "TESTDB", "extra"},
      {"enable_db", "TESTDB", "-l", "user"},                                 // user without password
      {"enable_db", "TESTDB", "-p", "pw"},                                   // password without user
      {"enable_db", "TESTDB", "-l", "u", "-p", "p", "-x", "v"},              // unknown option
      {"enable_db", "TESTDB", "-t", "a", "-t", "b"},                         // repeated option
      {"enable_db", "TESTDB", "-t", "ts1,"},                                 // empty second table space
      {"enable_db", "TESTDB", "-t", ",ts2"},
      {"disable_db", "TESTDB", "-l", "u"},
      {"disable_db", "TESTDB", "-l", "u", "-p", "p", "-t", "x"},             // option of another form
      {"disable_db", "TESTDB", "-t", "x"},
      {"enable_column", "TESTDB", "t", "c"},
      {"enable_column", "TESTDB", "t", "c", "d", "-v"},
      {"enable_column", "TESTDB", "t", "c", "d", "-l", "u"},                 // -l alone, every form
      {"enable_column", "TESTDB", "t", "c", "d", "-r", "a", "-R", "b"},      // repeated, any case
      {"disable_column", "TESTDB", "t"},
      {"disable_column", "TESTDB", "t", "c", "-l", "u"},
      {"disable_column", "TESTDB", "t", "c", "-v", "x"},
      {"enable_collection", "TESTDB", "coll"},
      {"enable_collection", "TESTDB", "coll", "d", "-v", "x"},
      {"disable_collection", "TESTDB"},
      {"disable_collection", "TESTDB", "coll", "-p", "p"},
      {"enable_db", "-l", "u", "-p"},                                        // option where the name belongs
      {"enable_db", std::string(17, 'D')},                                  // database name too long
      {"enable_db", "TESTDB", "-l", std::string(19, 'u'), "-p", "p"},        // user too long
      {"enable_db", "TESTDB", "-l", "u", "-p", std::string(19, 'p')},        // password too long
      {"disable_column", "TESTDB", std::string(129, 't'), "c"},              // table name too long
      {"enable_server", "-a", "SUB"},
      {"disable_server"},
      {"trace_on"},
      {"trace_on", "/tmp", "inst", "more"},
      {"trace_off", "inst", "more"},
      {"verify_column", "TESTDB", "t"},
      {"verify_column", "TESTDB", "t", "c", "-repair", "-REPAIR"},          // repeated
      {"verify_column", "TESTDB", "t", "c", "-fix"},
      {"verify_column", "TESTDB", "t", "c", "-repair", "-l", "u"},           // -l alone
      {"verify_column", "TESTDB", "t", "c", "-t", "x"},                      // option of another form
  };
  for (const auto &args : cases) {
    Result r = run(args);
    std::string shown;
    for (const auto &a : args) shown += a.substr(0, 20) + " ";
    EXPECT_EQ(r.status, 255) << shown;
    EXPECT_EQ(r.out, kUsage) << shown;
    EXPECT_EQ(r.err, "") << shown;
  }
  EXPECT_FALSE(enabled());
}

TEST_F(Keladm, ArgumentsOverTheirLimitsGiveTheirMessages) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  std::string dad = dataFile("col.dad", kColumnDad);
  const std::vector<Case> cases = {
      {{"enable_column", "TESTDB", "t", std::string(31, 'c'), dad},
       "KELQ032E  Column name cannot be longer than maximum length allowed by Quarn.\n"},
      {{"disable_collection", "TESTDB", std::string(31, 'c')},
       "KELQ032E  Column name cannot be longer than maximum length allowed by Quarn.\n"},
      {{"enable_db", "TESTDB", "-t", std::string(19, 't')},
       "KELA037E  The specified table space name is longer than 18 characters.\n"},
      {{"enable_db", "TESTDB", "-t", "ts1," + std::string(19, 't')},
       "KELA037E  The specified table space name is longer than 18 characters.\n"},
      {{"enable_collection", "TESTDB", "coll", dad, "-t", std::string(19, 't')},
       "KELA037E  The specified table space name is longer than 18 characters.\n"},
      {{"enable_column", "TESTDB", "t", "c", dad, "-r", std::string(19, 'r')},
       "KELA039E  The specified ROOT_ID name is longer than 18 characters.\n"},
      {{"enable_column", "TESTDB", "t", "c", dad, "-v", std::string(129, 'v')},
       "KELA021E  Cannot create the default view " + std::string(129, 'v') + ".\n"},
      {{"enable_column", "TESTDB", "t", "c", "/" + std::string(5000, 'p')}, "KELG000E  The file name (too long) is invalid.\n"},
      {{"trace_on", inst_.str(), "../inst"}, "KELA076E  Lorvane trace instance ID invalid.\n"},
      {{"trace_off", std::string(31, 'i')}, "KELA076E  Lorvane trace instance ID invalid.\n"},
  };
  for (const Case &c : cases) {
    Result r = run(c.args);
    EXPECT_EQ(r.status, 255) << c.err;
    EXPECT_EQ(r.out, "") << c.err;
    EXPECT_EQ(r.err, c.err);
  }
  // A trace directory too long to name a trace file is one that cannot be written to:
  // KELC009E with the directory (cut at the message's end) and -97, no control file.
  for (const std::string &dir : {"/" + std::string(5000, 'd'), std::string(5000, 'r')}) {
    Result t = run({"trace_on", dir});
    EXPECT_EQ(t.status, 159);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err.rfind("KELC009E  Unable to create file to " + dir.substr(0, 100), 0), 0u) << t.err.substr(0, 80);
    EXPECT_EQ(t.err.size(), 1024u);
    EXPECT_EQ(t.err.back(), '\n');
  }
  EXPECT_FALSE(fs::exists(inst_.file("kel/kelkelinst.ctl")));
  // Arguments far longer than any buffer are refused before they are copied.
  Result r = run({"enable_column", "TESTDB", std::string(30000, 't'), std::string(30000, 'c'), std::string(30000, 'd')});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out, kUsage);
  EXPECT_FALSE(enabled());
}

TEST_F(Keladm, ServerFormsAreRefusedOnThisPlatform) {
  for (const std::vector<std::string> &args :
       {std::vector<std::string>{"enable_server", "-a", "SUB", "wlm", "environment", "WLM1"},
        {"ENABLE_SERVER", "-a", "SUB", "wlm", "environment", "WLM1", "security", "DB2"},
        {"disable_server", "-a", "SUB"},
        {"enable_column", "-a", "SUB", "t", "c", "d.dad"},
        {"disable_collection", "-A", "SUB", "coll"}}) {
    Result r = run(args);
    EXPECT_EQ(r.status, 255) << args[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "keladm: " + args[0] + " is not supported on this platform.\n");
  }
}

TEST_F(Keladm, EnablesAndDisablesADatabase) {
  Result r = run({"Enable_DB", "TESTDB"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("KELA005I  Enabling database TESTDB.  Please wait.\n", 0), 0u) << r.err;
  EXPECT_TRUE(enabled());

  r = run({"enable_db", "TESTDB"});
  EXPECT_EQ(r.status, 5);
  EXPECT_EQ(r.err, "KELA005I  Enabling database TESTDB.  Please wait.\nKELA070W  The database has already been enabled.\n");

  r = run({"DISABLE_DB", "TESTDB", "-L", "admin", "-P", "Secret-Pw1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("KELA035I  Lorvane is disabling database TESTDB.  Please wait.\n", 0), 0u) << r.err;
  EXPECT_EQ(r.err.find("Secret-Pw1"), std::string::npos);
  EXPECT_FALSE(enabled());

  // Not enabled: KELQ073E and -151, nothing called.
  r = run({"disable_db", "TESTDB"});
  EXPECT_EQ(r.status, 105);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "KELQ073E  The database is not enabled.\n");
  r = run({"disable_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 105);
  EXPECT_EQ(r.err, "KELQ073E  The database is not enabled.\n");

  // Partly enabled (XML_USAGE gone, the rest there): enable stops at the first object that
  // exists, so disable goes on to the procedure, which cleans up; then enable works again.
  // Before, disable answered KELQ073E too, and the command could do neither.
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("DROP TABLE quarnxml.xml_usage").status, 0);
  r = run({"enable_db", "TESTDB"});
  EXPECT_NE(r.status, 0);
  r = run({"disable_db", "TESTDB"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("KELQ073E"), std::string::npos) << r.err;
  r = run({"disable_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.err, "KELQ073E  The database is not enabled.\n");
  EXPECT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  EXPECT_TRUE(enabled());
}

TEST_F(Keladm, UnreachableDatabaseAndFailingEnableChangeNothing) {
  Result r = run({"enable_db", "NODB"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("KELA003E  Cannot connect to database NODB.\n"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(inst_.path() / "NODB.db"));

  // A table space that does not exist stops enablement; nothing of it is left.
  r = run({"enable_db", "TESTDB", "-t", "NOSUCHTS"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(r.err.rfind("KELA005I  Enabling database TESTDB.  Please wait.\n", 0), 0u) << r.err;
  EXPECT_FALSE(enabled());
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA='QUARNXML'", "FOUND"));
}

TEST_F(Keladm, ColumnRoundTripAndItsFailures) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  std::string dad = dataFile("Col.dad", kColumnDad);

  // Missing and oversized DAD files: their messages, nothing called.
  Result r = run({"enable_column", "TESTDB", "shop.orders", "doc", dataFile("x", "") + ".missing"});
  EXPECT_EQ(r.status, 200);  // -56
  EXPECT_EQ(r.err, "KELG000E  The file name " + (inst_.path() / "Data Dir" / "x.missing").string() + " is invalid.\n");
  std::string big = dataFile("big.dad", std::string(kColumnDad) + std::string(102400, ' '));
  r = run({"enable_column", "TESTDB", "shop.orders", "doc", big});
  EXPECT_EQ(r.status, 204);  // -52
  EXPECT_EQ(r.err, "KELC006E  The input file exceeds the Quarn LOB limit.\n");

  // A directory or a FIFO named as the DAD is refused at once (no wait for a writer).
  std::string fifo = (inst_.path() / "Data Dir" / "fifo.dad").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string &notFile : {fifo, (inst_.path() / "Data Dir").string()}) {
    r = run({"enable_column", "TESTDB", "shop.orders", "doc", notFile});
    EXPECT_EQ(r.status, 208) << notFile;  // -48
    EXPECT_EQ(r.err, "KELC002E  Unable to read file.\n");
  }

  r = run({"enable_column", "TESTDB", "shop.orders", "doc", dad, "-v", "shop.orders_v", "-r", "id"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("KELA000I  Enabling column doc. Please Wait.\n", 0), 0u) << r.err;
  EXPECT_TRUE(shows("SELECT 'COL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COL:DOC"));
  EXPECT_TRUE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME='ORDER_HEAD'", "FOUND"));

  r = run({"disable_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("KELA008I  Disabling column doc. Please Wait.\n", 0), 0u) << r.err;
  EXPECT_FALSE(shows("SELECT 'COL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COL:DOC"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME='ORDER_HEAD'", "FOUND"));

  // Hostile names reach the procedure as values, never as SQL.
  r = run({"disable_column", "TESTDB", "shop.orders'; DROP TABLE shop.orders; --", "doc"});
  EXPECT_NE(r.status, 0);
  r = run({"enable_column", "TESTDB", "shop.orders", "d\"; DROP TABLE shop.orders--", dad});
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABSCHEMA='SHOP' AND TABNAME='ORDERS'", "FOUND"));

  // A column that does not exist: the procedure's error, rolled back.
  r = run({"enable_column", "TESTDB", "shop.orders", "nosuch", dad});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME='ORDER_HEAD'", "FOUND"));
}

// Names are folded as the database folds them, ASCII letters only: a table app.grün (GRüN in
// the catalogue) is found, and a side table app.sïde in the DAD is created as SïDE, reachable
// by the name as written.  Before, the command said KELA016E for APP.GRÜN, and the side table
// was created as SÏDE, which no query of app.sïde reached.
TEST_F(Keladm, NonAsciiNamesMeetTheDatabasesNames) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("CREATE TABLE app.gr\xc3\xbcn (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  std::string dad = dataFile("side.dad",
                             "<?xml version=\"1.0\"?><DAD><validation>NO</validation><Xcolumn>"
                             "<table name=\"app.s\xc3\xaf" "de\"><column name=\"n\" type=\"varchar(20)\" path=\"/o/n\" "
                             "multi_occurrence=\"NO\"/></table></Xcolumn></DAD>");
  Result r = run({"enable_column", "TESTDB", "app.gr\xc3\xbcn", "doc", dad, "-r", "id"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "KELA000I  Enabling column doc. Please Wait.\nKELA022I  Column DOC enabled.\n");
  ASSERT_EQ(console("INSERT INTO app.gr\xc3\xbcn VALUES (1, quarnxml.XMLVarchar('<o><n>seven</n></o>'))").status, 0);
  EXPECT_TRUE(shows("SELECT 'N:' || n FROM app.s\xc3\xaf" "de", "N:seven"));
  EXPECT_TRUE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABSCHEMA='APP' AND TABNAME='S\xc3\xaf" "DE'", "FOUND"));
  r = run({"disable_column", "TESTDB", "app.gr\xc3\xbcn", "doc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABSCHEMA='APP' AND TABNAME='S\xc3\xaf" "DE'", "FOUND"));
}

TEST_F(Keladm, CollectionRoundTrip) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  std::string dad = keltest::sourceDir() + "/samples/orders.dad";
  Result r = run({"enable_collection", "TESTDB", "orders", dad});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("KELA063I  Enabling collection orders. Please Wait.\n", 0), 0u) << r.err;
  EXPECT_TRUE(shows("SELECT 'COLL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COLL:orders"));

  r = run({"disable_collection", "TESTDB", "orders"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.rfind("KELA064I  Disabling collection orders. Please Wait.\n", 0), 0u) << r.err;
  EXPECT_FALSE(shows("SELECT 'COLL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COLL:orders"));
}

// The bytes of text (code points) in UTF-16 or UTF-32 (unitBytes 2 or 4) of either byte order,
// behind a byte-order mark.
std::string withMark(const std::u32string &text, int unitBytes, bool bigEndian) {
  std::string out;
  for (char32_t c : U"\uFEFF" + text)
    for (int k = 0; k < unitBytes; ++k) {
      int shift = 8 * (bigEndian ? unitBytes - 1 - k : k);
      out.push_back(static_cast<char>((c >> shift) & 0xFF));
    }
  return out;
}

// A DAD file is read in the encoding its byte-order mark or declaration names and passed in the
// database's.  Before, keladm passed the bytes as read: a Latin-1 DAD failed with KELQ047E
// (an invalid UTF-8 sequence) and a UTF-16 or UTF-32 one with "the document ends inside a
// character", although the same DAD passed as text through the procedure was enabled.
TEST_F(Keladm, ADadFileIsReadInTheEncodingItNames) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("CREATE TABLE app.d7 (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  // A side column whose path has a non-ASCII element name: caf\u00e9.
  auto dad = [](const std::u32string &encoding) {
    return U"<?xml version=\"1.0\" encoding=\"" + encoding +
           U"\"?><DAD><validation>NO</validation><Xcolumn><table name=\"app.s3\"><column name=\"n\" "
           U"type=\"varchar(50)\" path=\"/o/caf\u00e9\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>";
  };
  auto latin1 = [](const std::u32string &text) {
    std::string out;
    for (char32_t c : text) out.push_back(static_cast<char>(c));
    return out;
  };
  const struct {
    const char *name;
    std::string bytes;
  } files[] = {
      {"latin1.dad", latin1(dad(U"ISO-8859-1"))},
      {"utf16le.dad", withMark(dad(U"UTF-16"), 2, false)},
      {"utf16be.dad", withMark(dad(U"UTF-16"), 2, true)},
      {"utf32le.dad", withMark(dad(U"UTF-32"), 4, false)},
      {"utf32be.dad", withMark(dad(U"UTF-32"), 4, true)},
  };
  // The database is UTF-8 whatever keladm's locale: under a Latin-1 locale a DAD declaring
  // ISO-8859-1 was passed as its Latin-1 bytes, and one declaring UTF-8 was turned into Latin-1.
  std::string latinLocale;
  const std::string locales = inst_.file("locales");
  fs::create_directories(locales);
  if (std::system(("localedef -i en_US -f ISO-8859-1 " + shellQuote(locales + "/en_US.ISO-8859-1") +
                   " >/dev/null 2>&1").c_str()) == 0)
    latinLocale = "export LOCPATH=" + shellQuote(locales) + " LC_ALL=en_US.ISO-8859-1";
  auto enableAndCheck = [&](const char *name, const std::string &bytes, const std::string &setup) {
    Result r = run({"enable_column", "TESTDB", "app.d7", "doc", dataFile(name, bytes), "-r", "id"}, "", setup);
    EXPECT_EQ(r.status, 0) << name << " " << setup << ": " << r.err;
    EXPECT_EQ(console("INSERT INTO app.d7 VALUES (1, quarnxml.XMLVarchar("
                      "'<o><caf\xc3\xa9>cr\xc3\xa8me</caf\xc3\xa9></o>'))").status, 0) << name;
    EXPECT_TRUE(shows("SELECT 'N:' || n FROM app.s3", "N:cr\xc3\xa8me")) << name << " " << setup;
    EXPECT_EQ(console("DELETE FROM app.d7").status, 0);
    EXPECT_EQ(run({"disable_column", "TESTDB", "app.d7", "doc"}).status, 0) << name;
    return r;
  };
  for (const auto &f : files) {
    Result r = enableAndCheck(f.name, f.bytes, "");
    EXPECT_EQ(r.err, "KELA000I  Enabling column doc. Please Wait.\nKELA022I  Column DOC enabled.\n") << f.name;
  }
  if (!latinLocale.empty()) {
    enableAndCheck("latin1.dad", latin1(dad(U"ISO-8859-1")), latinLocale);
    std::u32string text = dad(U"UTF-8");
    std::string utf8;
    for (char32_t c : text) {
      if (c < 0x80) utf8.push_back(static_cast<char>(c));
      else utf8 += std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    enableAndCheck("utf8.dad", utf8, latinLocale);
  }

  // A collection DAD in UTF-16 whose declaration names no encoding: the mark tells it.
  std::string orders = keltest::readFile(keltest::sourceDir() + "/samples/orders.dad");
  Result r = run({"enable_collection", "TESTDB", "orders",
                  dataFile("orders16.dad", withMark(std::u32string(orders.begin(), orders.end()), 2, true))});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(shows("SELECT 'COLL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COLL:orders"));
  EXPECT_EQ(run({"disable_collection", "TESTDB", "orders"}).status, 0);

  // An encoding no converter reads: refused before anything is called.
  r = run({"enable_column", "TESTDB", "app.d7", "doc", dataFile("unknown.dad", latin1(dad(U"x-no-such-code")))});
  EXPECT_EQ(r.status, 137);  // -119
  EXPECT_EQ(r.err, "KELG008E  Locale x-no-such-code is not supported.\n");
  EXPECT_FALSE(shows("SELECT 'COL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COL:DOC"));
}

TEST_F(Keladm, AFailingCallIsRolledBackAndReported) {
  // The catalogue table exists but no procedure is registered: the CALL itself fails.  It is
  // reported with KELA065E and its code, never as success.
  ASSERT_EQ(console("CREATE TABLE QUARNXML.XML_USAGE (ID INTEGER)").status, 0);
  Result r = run({"disable_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 161);  // -95
  EXPECT_EQ(r.err.rfind("KELA008I  Disabling column doc. Please Wait.\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("KELA065E  Calling stored procedure quarnxml.kelDisableColumn failed.\n"), std::string::npos) << r.err;
}

// A COMMIT that fails after the procedure succeeded (here the database file may not grow: a
// file size limit, its signal ignored) is the commit's failure: KELQ067E after the database's
// text, exit -145, no success message and nothing kept.  The command used to print the
// procedure's success message first and then report that the CALL had failed (and, with the
// signal at its default, died right after the success line).
TEST_F(Keladm, ACommitThatFailsIsReportedAndNothingIsKept) {
  // Files may grow to 64 KB only (the connection's shared-memory file needs 32 KB): the work
  // runs in the cache, and the COMMIT, writing it to the database's log, is the first write
  // refused.
  const std::string limit = "trap '' XFSZ; ulimit -f 64";
  const std::string collDad = keltest::sourceDir() + "/samples/orders.dad";
  auto failedCommit = [](const std::string &procedure) {
    return "KELM001W  A Quarn error occurred.\nKELQ067E  Attempt to commit the work of " + procedure + " failed.\n";
  };

  Result r = run({"enable_db", "TESTDB"}, "", limit);
  EXPECT_EQ(r.status, 111) << r.err;  // -145
  EXPECT_EQ(r.err.rfind("KELA005I  Enabling database TESTDB.  Please wait.\nSQL", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(failedCommit("quarnxml!kelEnableDB")), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("KELA006I"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("KELA065E"), std::string::npos) << r.err;
  EXPECT_FALSE(enabled());

  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  r = run({"enable_column", "TESTDB", "shop.orders", "doc", dataFile("Col.dad", kColumnDad)}, "",
          limit);
  EXPECT_EQ(r.status, 111) << r.err;
  EXPECT_NE(r.err.find(failedCommit("quarnxml.kelEnableColumn")), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("KELA022I"), std::string::npos) << r.err;
  EXPECT_FALSE(shows("SELECT 'COL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COL:DOC"));
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM SYSCAT.TABLES WHERE TABNAME='ORDER_HEAD'", "FOUND"));

  r = run({"enable_collection", "TESTDB", "orders", collDad}, "", limit);
  EXPECT_EQ(r.status, 111) << r.err;
  EXPECT_NE(r.err.find(failedCommit("quarnxml.kelEnableCollection")), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("KELA067I"), std::string::npos) << r.err;
  EXPECT_FALSE(shows("SELECT 'COLL:' || COL_NAME FROM QUARNXML.XML_USAGE", "COLL:orders"));

  // Without the limit the same commands succeed, their success messages last.
  r = run({"enable_column", "TESTDB", "shop.orders", "doc", dataFile("Col.dad", kColumnDad)});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "KELA000I  Enabling column doc. Please Wait.\nKELA022I  Column DOC enabled.\n");
}

TEST_F(Keladm, BindsOnceAndRetriesWhenTheDatabaseIsNotBound) {
  env_.set("QUARN_FUNCTION_DIR", KEL_NOTBOUND_DIR);
  const std::string clauses = " language C parameter style QUARNDARI not deterministic fenced null call";
  ASSERT_EQ(console("CREATE TABLE QUARNXML.XML_USAGE (ID INTEGER)").status, 0);
  ASSERT_EQ(console("create procedure quarnxml.kelDisableDB(in dbName varchar(18), out returnCode integer, "
                    "out returnMsg varchar(1024)) external name 'keladmnotbound!kelTestNeverBound'" + clauses)
                .status,
            0);
  ASSERT_EQ(console("create procedure quarnxml.kelDisableCollection(in dbName varchar(18), in collectionName "
                    "varchar(128), out returnCode integer, out returnMsg varchar(1024)) external name "
                    "'keladmnotbound!kelTestBoundOnRetry'" + clauses)
                .status,
            0);
  const std::string disabling = "KELA035I  Lorvane is disabling database TESTDB.  Please wait.\n";
  const std::string notBound = "KELA073E  The database is not bound. Please bind the database before enabling it.\n";

  // Still not bound after one bind: KELA073E, the procedure's code.
  Result r = run({"disable_db", "TESTDB"});
  EXPECT_EQ(r.status, 152);  // -104
  EXPECT_EQ(r.err, disabling + notBound);

  // Bound by the bind: the second call's answer.
  r = run({"disable_collection", "TESTDB", "orders"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "KELA064I  Disabling collection orders. Please Wait.\ndone after binding\n");

  // No directory to find the list files in: KELA072E, no retry.
  env_.set("QUARNKELPATH", "");
  r = run({"disable_db", "TESTDB"});
  EXPECT_EQ(r.status, 152);
  EXPECT_EQ(r.err, disabling +
                       "KELA072E  Lorvane couldn't find the bind files. Bind the database before enabling it.\n");
}

TEST_F(Keladm, AFailureIsNeverExitStatusZero) {
  // A process's exit status keeps the low eight bits of the code it ends with: -1024 would
  // read as 0, success.  Such a code ends the command with -1 (255) instead.
  env_.set("QUARN_FUNCTION_DIR", KEL_NOTBOUND_DIR);
  ASSERT_EQ(console("CREATE TABLE QUARNXML.XML_USAGE (ID INTEGER)").status, 0);
  ASSERT_EQ(console("create procedure quarnxml.kelDisableDB(in dbName varchar(18), out returnCode integer, "
                    "out returnMsg varchar(1024)) external name 'keladmnotbound!kelTestFailsBy1024' language C "
                    "parameter style QUARNDARI not deterministic fenced null call")
                .status,
            0);
  Result r = run({"disable_db", "TESTDB"});
  EXPECT_EQ(r.status, 255);
  EXPECT_NE(r.err.find("failed by -1024\n"), std::string::npos) << r.err;
}

// A control file naming a trace file that cannot be opened (its directory removed after
// trace_on) fails every routine call of the instance; verify_column, which sets up its own
// context, stops with KELQ067E and says why (it used to say nothing more).
TEST_F(Keladm, AContextThatCannotBeSetUpSaysWhy) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  keltest::writeFile((inst_.path() / "kel" / "kelkelinst.ctl").string(), "/nonexistent-dir/x.trc");
  Result r = run({"verify_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 111);
  EXPECT_EQ(r.err, "KELQ067E  Attempt to set up the runtime context failed.\n"
                   "KELQ070E  Cannot open trace file /nonexistent-dir/x.trc for output.\n");
}

TEST_F(Keladm, SwitchesTheTrace) {
  std::string dir = (inst_.path() / "Data Dir").string();
  fs::path control = inst_.path() / "kel" / "kelkelinst.ctl";
  Result r = run({"trace_on", dir});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "KELA068I  Lorvane has successfully turned the trace on.\n");
  EXPECT_TRUE(fs::exists(control));
  EXPECT_TRUE(fs::exists(fs::path(dir) / "kelkelinst.trc"));

  // The command traces its steps, never the password.
  ASSERT_EQ(run({"enable_db", "TESTDB", "-l", "admin", "-p", "Secret-Pw2"}).status, 0);
  std::string trace = keltest::readFile(dir + "/kelkelinst.trc");
  EXPECT_NE(trace.find("enable_db database TESTDB user admin"), std::string::npos) << trace;
  EXPECT_NE(trace.find("quarnxml!kelEnableDB: return code 0"), std::string::npos) << trace;
  EXPECT_EQ(trace.find("Secret-Pw2"), std::string::npos);

  r = run({"TRACE_OFF", "kelinst"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "KELA069I  Lorvane has successfully turned the trace off.\n");
  EXPECT_FALSE(fs::exists(control));

  r = run({"trace_on", "/nonexistent/dir/here", "other"});
  EXPECT_NE(r.status, 0);
  EXPECT_FALSE(fs::exists(inst_.path() / "kel" / "kelother.ctl"));
}

// A trace directory given relative to the current directory is recorded in full: the routines
// of every other process of the instance, whatever their current directory, find the trace
// file instead of failing their calls for want of it.
TEST_F(Keladm, ARelativeTraceDirectoryIsRecordedInFull) {
  fs::path work = inst_.path() / "Data Dir";
  fs::create_directories(work / "trc");
  Result r = run({"trace_on", "trc"}, work.string());
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string traceFile = (work / "trc" / "kelkelinst.trc").string();
  EXPECT_EQ(keltest::readFile(inst_.file("kel/kelkelinst.ctl")), traceFile);

  r = run({"enable_db", "TESTDB"}, inst_.file("kel"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(enabled());
  EXPECT_NE(keltest::readFile(traceFile).find("quarnxml!kelEnableDB: return code 0"), std::string::npos);
  EXPECT_EQ(run({"trace_off"}).status, 0);

  // A line end in the directory would make the control file name another file than the one
  // opened here: refused, no control file written.
  fs::path split = work / "a\nb";
  fs::create_directories(split);
  r = run({"trace_on", split.string()});
  EXPECT_EQ(r.status, 159);  // -97
  EXPECT_EQ(r.err, "KELC009E  Unable to create file to " + split.string() + " directory.\n");
  EXPECT_FALSE(fs::exists(inst_.file("kel/kelkelinst.ctl")));
}

// verify_column: the counts on standard output, the answer on standard error; exit 0 when
// nothing differs or all was repaired, 1 while differences remain; a failure's own code.
TEST_F(Keladm, VerifiesAndRepairsAColumn) {
  ASSERT_EQ(run({"enable_db", "TESTDB"}).status, 0);
  ASSERT_EQ(console("CREATE TABLE shop.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)").status, 0);
  for (int id = 1; id <= 3; ++id)
    ASSERT_EQ(console("INSERT INTO shop.orders VALUES (" + std::to_string(id) +
                      ", quarnxml.XMLVarchar('<order><customer><name>C" + std::to_string(id) +
                      "</name></customer></order>'))")
                  .status,
              0);
  ASSERT_EQ(run({"enable_column", "TESTDB", "shop.orders", "doc", dataFile("Col.dad", kColumnDad), "-r", "id"}).status,
            0);

  Result r = run({"verify_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "KELA078I  Column DOC agrees with its side tables: 3 documents verified.\n");
  EXPECT_EQ(r.out,
            "Documents verified: 3\nDocuments with missing side rows: 0\nSide rows without a document: 0\n"
            "Documents with different side rows: 0\nDocuments that cannot be read: 0\n");

  ASSERT_EQ(console("DELETE FROM shop.order_head WHERE id = 2").status, 0);
  ASSERT_EQ(console("UPDATE shop.order_head SET customer = 'X' WHERE id = 3").status, 0);
  r = run({"verify_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err,
            "KELA079W  Column DOC differs from its side tables: 1 documents with missing side rows, 0 side rows "
            "without a document, 1 documents with different side rows.\n");
  EXPECT_EQ(r.out,
            "Documents verified: 3\nDocuments with missing side rows: 1\nSide rows without a document: 0\n"
            "Documents with different side rows: 1\nDocuments that cannot be read: 0\n");
  EXPECT_FALSE(shows("SELECT 'FOUND' FROM shop.order_head WHERE id = 2", "FOUND"));

  r = run({"VERIFY_COLUMN", "TESTDB", "shop.orders", "doc", "-Repair"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err,
            "KELA080I  Column DOC repaired: 1 documents with missing side rows, 0 side rows without a document, 1 "
            "documents with different side rows. Root ids: 2, 3\n");
  // Committed: a new connection sees the repaired rows.
  EXPECT_TRUE(shows("SELECT 'NAME:' || customer FROM shop.order_head WHERE id = 3", "NAME:C3"));
  EXPECT_TRUE(shows("SELECT 'NAME:' || customer FROM shop.order_head WHERE id = 2", "NAME:C2"));
  r = run({"verify_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 0) << r.err;

  // Failures: their message and code, nothing changed.
  r = run({"verify_column", "TESTDB", "shop.nothere", "doc"});
  EXPECT_EQ(r.status, 245) << r.err;  // -11
  EXPECT_EQ(r.err, "KELA016E  The input table SHOP.NOTHERE does not exist.\n");
  EXPECT_EQ(r.out, "");
  r = run({"verify_column", "TESTDB", "shop.orders", "id"});
  EXPECT_EQ(r.status, 243) << r.err;  // -13
  EXPECT_EQ(r.err, "KELA018E  The specified column is not enabled for XML data.\n");
  r = run({"verify_column", "TESTDB", "shop.orders", std::string(31, 'c')});
  EXPECT_EQ(r.status, 255);
  ASSERT_EQ(run({"disable_column", "TESTDB", "shop.orders", "doc"}).status, 0);
  r = run({"verify_column", "TESTDB", "shop.orders", "doc"});
  EXPECT_EQ(r.status, 243) << r.err;
}

}  // namespace
