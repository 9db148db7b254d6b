// The embedded-SQL runtime: connections, host variables (character, integer, CLOB, locator,
// file reference), cursors, units of work and the connection tokens.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "quarnapp.h"

namespace {

class Runtime : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarnappXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    ASSERT_EQ(quarn_create_database("APPDB", &ca_), 0);
    ASSERT_EQ(quarn_connect("appdb", nullptr, nullptr, &ca_), 0);
  }
  void TearDown() override {
    quarn_connect_reset(&ca_);
    std::filesystem::remove_all(dir_);
  }
  int exec(const char *sql) { return quarn_execute_immediate(sql, &ca_); }
  std::string dir_;
  sqlca ca_{};
};

quarn_hostvar cstr(char *buf, int size, short *ind = nullptr) { return quarn_hostvar{SQL_TYP_CSTR, size, buf, ind}; }

TEST_F(Runtime, ConnectWithoutArgumentsGivesCodePagesAndProduct) {
  ASSERT_EQ(quarn_connect_info(&ca_), 0);
  std::string tokens(ca_.sqlerrmc, static_cast<size_t>(ca_.sqlerrml));
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t sep = tokens.find('\xFF', start);
    parts.push_back(tokens.substr(start, sep == std::string::npos ? sep : sep - start));
    if (sep == std::string::npos) break;
    start = sep + 1;
  }
  ASSERT_EQ(parts.size(), 9u);
  EXPECT_EQ(parts[1], "1208");
  EXPECT_EQ(parts[3], "APPDB");
  EXPECT_EQ(parts[8], "1208");
  EXPECT_EQ(std::string(ca_.sqlerrp, 3), "SQL");
}

TEST_F(Runtime, PreparedInsertAndCursorWithHostVariables) {
  ASSERT_EQ(exec("CREATE TABLE t (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(10), doc CLOB(1K))"), 0);
  quarn_stmt *ins = nullptr;
  ASSERT_EQ(quarn_prepare("INSERT INTO t VALUES (?, ?, ?)", &ins, &ca_), 0);
  sqlint32 id = 7;
  char name[11] = "seven";
  struct {
    sqluint32 length;
    char data[64];
  } lob;
  lob.length = 5;
  std::memcpy(lob.data, "<a/>x", 5);
  quarn_hostvar in[3] = {{SQL_TYP_INTEGER, 4, &id, nullptr}, cstr(name, sizeof name), {SQL_TYP_CLOB, 64, &lob, nullptr}};
  ASSERT_EQ(quarn_execute(ins, 3, in, &ca_), 0);
  EXPECT_EQ(ca_.sqlerrd[2], 1);
  // Duplicate key: -803, and the unit of work keeps the first row.
  EXPECT_EQ(quarn_execute(ins, 3, in, &ca_), -803);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "23505");
  quarn_free_stmt(ins);

  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT name, doc, id FROM t WHERE id = ?", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 1, in, &ca_), 0);
  char outName[4];
  short ind = 0;
  sqluint32 loc = 0;
  sqlint32 outId = 0;
  quarn_hostvar out[3] = {cstr(outName, sizeof outName, &ind), {SQL_TYP_CLOB_LOCATOR, 4, &loc, nullptr},
                          {SQL_TYP_INTEGER, 4, &outId, nullptr}};
  ASSERT_EQ(quarn_fetch(sel, 3, out, &ca_), 0);
  EXPECT_STREQ(outName, "sev");  // cut to the buffer, indicator holds the full length
  EXPECT_EQ(ind, 5);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "01004");
  EXPECT_EQ(ca_.sqlwarn[1], 'W');
  EXPECT_EQ(outId, 7);
  EXPECT_EQ(quarn_fetch(sel, 3, out, &ca_), 100);
  EXPECT_EQ(quarn_fetch(sel, 3, out, &ca_), -501);
  quarn_free_stmt(sel);

  // The locator's value is usable as input until the unit of work ends.
  quarn_stmt *len = nullptr;
  ASSERT_EQ(quarn_prepare("VALUES LENGTH(CAST(? AS CLOB(1K)))", &len, &ca_), 0);
  quarn_hostvar locIn{SQL_TYP_CLOB_LOCATOR, 4, &loc, nullptr};
  ASSERT_EQ(quarn_open(len, 1, &locIn, &ca_), 0);
  sqlint32 n = 0;
  quarn_hostvar nOut{SQL_TYP_INTEGER, 4, &n, nullptr};
  ASSERT_EQ(quarn_fetch(len, 1, &nOut, &ca_), 0);
  EXPECT_EQ(n, 5);
  quarn_close(len, &ca_);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  EXPECT_EQ(quarn_open(len, 1, &locIn, &ca_), -423);
  quarn_free_stmt(len);
}

TEST_F(Runtime, FileReferencesReadAndOverwrite) {
  ASSERT_EQ(exec("CREATE TABLE docs (doc CLOB(100K))"), 0);
  std::string in = dir_ + "/in.xml", outFile = dir_ + "/out.xml";
  std::ofstream(in) << "<doc>file</doc>";
  sqlfile f{};
  f.name_length = static_cast<sqluint32>(in.size());
  std::memcpy(f.name, in.data(), in.size());
  f.file_options = SQL_FILE_READ;
  quarn_stmt *ins = nullptr;
  ASSERT_EQ(quarn_prepare("INSERT INTO docs VALUES (?)", &ins, &ca_), 0);
  quarn_hostvar hv{SQL_TYP_CLOB_FILE, sizeof f, &f, nullptr};
  ASSERT_EQ(quarn_execute(ins, 1, &hv, &ca_), 0);
  quarn_free_stmt(ins);

  std::ofstream(outFile) << "old content that is longer";
  sqlfile o{};
  o.name_length = static_cast<sqluint32>(outFile.size());
  std::memcpy(o.name, outFile.data(), outFile.size());
  o.file_options = SQL_FILE_OVERWRITE;
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT doc FROM docs", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  quarn_hostvar ov{SQL_TYP_CLOB_FILE, sizeof o, &o, nullptr};
  ASSERT_EQ(quarn_fetch(sel, 1, &ov, &ca_), 0);
  EXPECT_EQ(o.data_length, 15u);
  std::ifstream back(outFile);
  std::string text((std::istreambuf_iterator<char>(back)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "<doc>file</doc>");
  // CREATE refuses an existing file.
  o.file_options = SQL_FILE_CREATE;
  quarn_close(sel, &ca_);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  EXPECT_EQ(quarn_fetch(sel, 1, &ov, &ca_), -452);
  // So does it a name that is a link, even one that leads nowhere: nothing is made behind it.
  std::string link = dir_ + "/link.xml", behind = dir_ + "/behind.xml";
  ASSERT_EQ(::symlink(behind.c_str(), link.c_str()), 0);
  o.name_length = static_cast<sqluint32>(link.size());
  std::memcpy(o.name, link.data(), link.size());
  quarn_close(sel, &ca_);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  EXPECT_EQ(quarn_fetch(sel, 1, &ov, &ca_), -452);
  EXPECT_NE(::access(behind.c_str(), F_OK), 0);
  quarn_free_stmt(sel);
}

TEST_F(Runtime, RollbackUndoesTheUnitOfWorkAndBindIsANoOp) {
  ASSERT_EQ(exec("CREATE TABLE r (a INT)"), 0);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  ASSERT_EQ(exec("INSERT INTO r VALUES (1)"), 0);
  ASSERT_EQ(quarn_rollback(&ca_), 0);
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT COUNT(*) FROM r", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  sqlint32 n = -1;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, &n, nullptr};
  ASSERT_EQ(quarn_fetch(sel, 1, &out, &ca_), 0);
  EXPECT_EQ(n, 0);
  quarn_free_stmt(sel);
  EXPECT_EQ(sqlabndx("@kelbind.lst", "bind.msg", nullptr, &ca_), 0);
  EXPECT_EQ(quarn_connect("nosuchdb", nullptr, nullptr, &ca_), -752);  // a unit of work is open
  quarn_commit(&ca_);
  EXPECT_EQ(quarn_connect("nosuchdb", nullptr, nullptr, &ca_), -1013);
}

}  // namespace

namespace {

// Savepoints through the runtime's calls: an open cursor survives a rollback to a savepoint,
// names are taken as given, and the error codes of a missing, a reserved and a reused name.
TEST_F(Runtime, SavepointsKeepCursorsAndReportTheirErrors) {
  ASSERT_EQ(exec("CREATE TABLE t (k INTEGER NOT NULL PRIMARY KEY)"), 0);
  ASSERT_EQ(exec("INSERT INTO t VALUES (1), (2), (3)"), 0);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT k FROM t ORDER BY k", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  sqlint32 k = 0;
  quarn_hostvar out{SQL_TYP_INTEGER, 4, &k, nullptr};
  ASSERT_EQ(quarn_fetch(sel, 1, &out, &ca_), 0);
  EXPECT_EQ(k, 1);
  ASSERT_EQ(quarn_savepoint("sp one", 0, &ca_), 0);
  ASSERT_EQ(exec("DELETE FROM t WHERE k = 3"), 0);
  ASSERT_EQ(exec("INSERT INTO t VALUES (4)"), 0);
  ASSERT_EQ(quarn_rollback_to_savepoint("sp one", &ca_), 0);
  // The cursor is still open.
  ASSERT_EQ(quarn_fetch(sel, 1, &out, &ca_), 0);
  EXPECT_EQ(k, 2);
  quarn_close(sel, &ca_);
  EXPECT_EQ(quarn_rollback_to_savepoint("SP ONE", &ca_), -880);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "3B001");
  EXPECT_EQ(quarn_savepoint("sp one", 1, &ca_), -881);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "3B501");
  EXPECT_EQ(quarn_savepoint("SYSTEM", 0, &ca_), -707);
  EXPECT_EQ(quarn_savepoint("", 0, &ca_), -104);
  EXPECT_EQ(quarn_release_savepoint("sp one", &ca_), 0);
  EXPECT_EQ(quarn_rollback_to_savepoint(nullptr, &ca_), -882);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "3B502");
  ASSERT_EQ(quarn_commit(&ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  int rows = 0;
  while (quarn_fetch(sel, 1, &out, &ca_) == 0) ++rows;
  EXPECT_EQ(rows, 3);
  quarn_free_stmt(sel);
}

// Bug: a value cut to fit a character host variable was cut at a byte count and could end
// in part of a character.
TEST_F(Runtime, HostVariableCutKeepsWholeCharacters) {
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("VALUES 'a\xC3\xA9\xC3\xA9'", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  char out[5];  // room for 4 bytes: "a", one two-byte character, and half of the next
  short ind = 0;
  quarn_hostvar o = cstr(out, sizeof out, &ind);
  ASSERT_EQ(quarn_fetch(sel, 1, &o, &ca_), 0);
  EXPECT_STREQ(out, "a\xC3\xA9");
  EXPECT_EQ(ind, 5);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "01004");
  quarn_free_stmt(sel);
}

// Bug: a 4-byte float host variable was read as a double (a version 5.0 stored as 5.36e-315)
// and packed DECIMAL host variables were refused with -804.
TEST_F(Runtime, FourByteFloatsAndPackedDecimalsAreBoundAndFetched) {
  ASSERT_EQ(exec("CREATE TABLE v (version DECIMAL(3,2), r REAL, amount DECIMAL(7,2))"), 0);
  quarn_stmt *ins = nullptr;
  ASSERT_EQ(quarn_prepare("INSERT INTO v VALUES (?, ?, ?)", &ins, &ca_), 0);
  float version = 5.0f, r = 0.02f;
  unsigned char amount[4] = {0x01, 0x23, 0x45, 0x6D};  // -1234.56 as DECIMAL(7,2)
  quarn_hostvar in[3] = {{SQL_TYP_FLOAT, 4, &version, nullptr},
                         {SQL_TYP_FLOAT, 4, &r, nullptr},
                         {SQL_TYP_DECIMAL, 7 + (2 << 8), amount, nullptr}};
  ASSERT_EQ(quarn_execute(ins, 3, in, &ca_), 0) << ca_.sqlcode;
  quarn_free_stmt(ins);
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT version, r, amount, amount, CHAR(version) FROM v", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  double v = 0;
  float rr = 0;
  unsigned char packed[4] = {};
  unsigned char small[2] = {};  // DECIMAL(3,0): too small for -1234
  char text[16] = "";
  quarn_hostvar out[5] = {{SQL_TYP_FLOAT, 8, &v, nullptr},
                          {SQL_TYP_FLOAT, 4, &rr, nullptr},
                          {SQL_TYP_DECIMAL, 7 + (2 << 8), packed, nullptr},
                          {SQL_TYP_DECIMAL, 3, small, nullptr},
                          cstr(text, sizeof text)};
  EXPECT_EQ(quarn_fetch(sel, 5, out, &ca_), -304);
  quarn_close(sel, &ca_);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  out[3] = cstr(text, sizeof text);
  ASSERT_EQ(quarn_fetch(sel, 4, out, &ca_), 0);
  EXPECT_EQ(v, 5.0);
  EXPECT_EQ(rr, 0.02f);
  EXPECT_EQ(std::memcmp(packed, amount, sizeof amount), 0);
  quarn_free_stmt(sel);
  // A REAL read as text shows its own digits.
  quarn_stmt *real = nullptr;
  ASSERT_EQ(quarn_prepare("VALUES VARCHAR(CAST(? AS REAL))", &real, &ca_), 0);
  double two = 0.02;
  quarn_hostvar twoIn{SQL_TYP_FLOAT, 8, &two, nullptr};
  ASSERT_EQ(quarn_open(real, 1, &twoIn, &ca_), 0);
  quarn_hostvar textOut = cstr(text, sizeof text);
  ASSERT_EQ(quarn_fetch(real, 1, &textOut, &ca_), 0);
  EXPECT_STREQ(text, "0.02");
  quarn_free_stmt(real);
}

}  // namespace

namespace {

// Fetches the one value of query sql into host variable out; the SQLCODE of the fetch.
int fetchOne(const char *sql, quarn_hostvar out, sqlca *ca) {
  quarn_stmt *st = nullptr;
  int rc = quarn_prepare(sql, &st, ca);
  if (rc >= 0) rc = quarn_open(st, 0, nullptr, ca);
  if (rc >= 0) rc = quarn_fetch(st, 1, &out, ca);
  quarn_free_stmt(st);
  return rc;
}

// Numbers fetched into numeric host variables.  Text was read with strtod and doubles cast to
// an integer unchecked: '9223372036854775807' came back as -9223372036854775808 in a BIGINT
// and ...808 in a DECIMAL(19,0), 1e300 as INT64_MIN with SQLCODE 0, 1e300 as an infinity in a
// 4-byte float; 'nan', 'inf', '1e400' and '0x10' were numbers while '12  ' was not, and the
// -420 named a function "FETCH".  Now integers are exact, a value past the host variable's
// range is -304 (22003), and text that spells no number (blanks around one allowed) is -420
// (22018) naming the host variable's type, as CAST to that type does.
TEST_F(Runtime, NumbersFetchedIntoHostVariablesAreExactOrRefused) {
  sqlint64 big = 0;
  quarn_hostvar bigOut{SQL_TYP_BIGINT, 8, &big, nullptr};
  struct Big {
    const char *sql;
    int rc;
    sqlint64 value;
  };
  for (const Big &c : {Big{"VALUES '9223372036854775807'", 0, INT64_MAX},
                       Big{"VALUES '-9223372036854775808'", 0, INT64_MIN},
                       Big{"VALUES 9223372036854775807", 0, INT64_MAX},
                       Big{"VALUES ' 12 '", 0, 12},
                       Big{"VALUES 9.2e18", 0, 9200000000000000000},
                       Big{"VALUES 1e300", -304, 0},
                       Big{"VALUES -1e300", -304, 0},
                       Big{"VALUES 9.3e18", -304, 0},
                       Big{"VALUES '9223372036854775808'", -304, 0}}) {
    big = 0;
    EXPECT_EQ(fetchOne(c.sql, bigOut, &ca_), c.rc) << c.sql;
    if (c.rc == 0) EXPECT_EQ(big, c.value) << c.sql;
    else EXPECT_EQ(std::string(ca_.sqlstate, 5), "22003") << c.sql;
  }

  // DECIMAL(19,0): every digit of the largest BIGINT, from text and from an integer.
  const unsigned char largest[10] = {0x92, 0x23, 0x37, 0x20, 0x36, 0x85, 0x47, 0x75, 0x80, 0x7C};
  for (const char *sql : {"VALUES '9223372036854775807'", "VALUES 9223372036854775807"}) {
    unsigned char packed[10] = {};
    EXPECT_EQ(fetchOne(sql, quarn_hostvar{SQL_TYP_DECIMAL, 19, packed, nullptr}, &ca_), 0) << sql;
    EXPECT_EQ(std::memcmp(packed, largest, sizeof packed), 0) << sql;
  }
  // An integer into DECIMAL(5,2) keeps its digits and gains the scale's zeros: 123.00.
  unsigned char scaled[3] = {};
  EXPECT_EQ(fetchOne("VALUES 123", quarn_hostvar{SQL_TYP_DECIMAL, 5 + (2 << 8), scaled, nullptr}, &ca_), 0);
  const unsigned char hundreds[3] = {0x12, 0x30, 0x0C};
  EXPECT_EQ(std::memcmp(scaled, hundreds, sizeof scaled), 0);

  // A 4-byte float takes no value past its range.
  float f = 0;
  quarn_hostvar floatOut{SQL_TYP_FLOAT, 4, &f, nullptr};
  for (const char *sql : {"VALUES 1e300", "VALUES -1e300", "VALUES '1e39'"}) {
    EXPECT_EQ(fetchOne(sql, floatOut, &ca_), -304) << sql;
    EXPECT_EQ(std::string(ca_.sqlstate, 5), "22003") << sql;
  }
  EXPECT_EQ(fetchOne("VALUES '  2.5  '", floatOut, &ca_), 0);
  EXPECT_EQ(f, 2.5f);

  // Text that is no number, and blanks around one.
  sqlint32 n = 0;
  double d = 0;
  quarn_hostvar intOut{SQL_TYP_INTEGER, 4, &n, nullptr}, doubleOut{SQL_TYP_FLOAT, 8, &d, nullptr};
  for (const char *text : {"nan", "inf", "1e400", "0x10", "12x", ""}) {
    std::string sql = std::string("VALUES '") + text + "'";
    EXPECT_EQ(fetchOne(sql.c_str(), intOut, &ca_), -420) << text;
    EXPECT_EQ(std::string(ca_.sqlstate, 5), "22018") << text;
    EXPECT_EQ(std::string(ca_.sqlerrmc, static_cast<size_t>(ca_.sqlerrml)), "INTEGER") << text;
    EXPECT_EQ(fetchOne(sql.c_str(), doubleOut, &ca_), -420) << text;
    EXPECT_EQ(std::string(ca_.sqlerrmc, static_cast<size_t>(ca_.sqlerrml)), "DOUBLE") << text;
  }
  for (const char *sql : {"VALUES '  12'", "VALUES '12  '", "VALUES CAST('12' AS CHAR(6))"}) {
    n = 0;
    EXPECT_EQ(fetchOne(sql, intOut, &ca_), 0) << sql;
    EXPECT_EQ(n, 12) << sql;
  }
}

// Host-variable descriptions this runtime cannot use are -804 (07002), as an unknown type code
// or a bad packed digit are.  A negative CHAR length and a DECIMAL scale past its precision
// failed inside a conversion (-901), a null CSTR buffer was -302, and a file name length past
// the 255-byte field was cut to it and the file read.
TEST_F(Runtime, InvalidHostVariableDescriptionsAreBadParameters) {
  ASSERT_EQ(exec("CREATE TABLE d (v VARCHAR(300))"), 0);
  quarn_stmt *ins = nullptr;
  ASSERT_EQ(quarn_prepare("INSERT INTO d VALUES (?)", &ins, &ca_), 0);
  char text[8] = "ok";
  unsigned char packed[2] = {0x12, 0x3C};
  std::string path = dir_ + "/in.txt";
  std::ofstream(path) << "file";
  sqlfile f{};
  std::memcpy(f.name, path.data(), path.size());
  f.name_length = 300;
  f.file_options = SQL_FILE_READ;
  const quarn_hostvar bad[] = {
      {SQL_TYP_CHAR, -1, text, nullptr},
      {SQL_TYP_DECIMAL, 3 + (5 << 8), packed, nullptr},  // DECIMAL(3,5)
      {SQL_TYP_CSTR, 8, nullptr, nullptr},
      {SQL_TYP_CLOB_FILE, sizeof f, &f, nullptr},
      {999, 8, text, nullptr},
      {SQL_TYP_DECIMAL, 3, text, nullptr},  // "ok" is no packed digit
  };
  for (size_t k = 0; k < sizeof bad / sizeof bad[0]; ++k) {
    EXPECT_EQ(quarn_execute(ins, 1, &bad[k], &ca_), -804) << k;
    EXPECT_EQ(std::string(ca_.sqlstate, 5), "07002") << k;
  }
  // The same host variables described well are taken.
  f.name_length = static_cast<sqluint32>(path.size());
  const quarn_hostvar good[] = {
      {SQL_TYP_CHAR, 2, text, nullptr},
      {SQL_TYP_DECIMAL, 3, packed, nullptr},
      {SQL_TYP_CSTR, 8, text, nullptr},
      {SQL_TYP_CLOB_FILE, sizeof f, &f, nullptr},
  };
  for (const quarn_hostvar &hv : good) EXPECT_EQ(quarn_execute(ins, 1, &hv, &ca_), 0) << ca_.sqlcode;
  quarn_free_stmt(ins);
  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("SELECT v FROM d ORDER BY v", &sel, &ca_), 0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  char out[16];
  quarn_hostvar o = cstr(out, sizeof out);
  std::string seen;
  while (quarn_fetch(sel, 1, &o, &ca_) == 0) seen += std::string(out) + ";";
  EXPECT_EQ(seen, "123;file;ok;ok;");
  quarn_free_stmt(sel);
}

}  // namespace
