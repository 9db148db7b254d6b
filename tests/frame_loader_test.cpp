// Calls the exported entries of a built routine library through the loader, in both parameter
// conventions, as the engine does: on a thread whose current connection is the caller's
// session (a fresh database of a temporary instance), from which the procedure takes its code
// pages; return code, message cuts, outputs and indicators.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kel_test_env.h"
#include "quarnapp.h"
#include "sqlca.h"
#include "sqlda.h"

namespace {

using DariEntry = int (*)(void *, void *, sqlda *, sqlca *);
using SqlEntry = int (*)(char *, void *, sqlint32 *, sqlint32 *, sqlint32 *, char *, short *, short *,
                         short *, short *, short *, short *, char *, char *, char *, char *);

class Loader : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string lib = keltest::buildDir() + "/lib/libkelframetest.so";
    handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    dari = reinterpret_cast<DariEntry>(dlsym(handle, "kelFrameTest"));
    sql = reinterpret_cast<SqlEntry>(dlsym(handle, "kelFrameTest_STP"));
    ASSERT_NE(dari, nullptr);
    ASSERT_NE(sql, nullptr);
  }
  // The library stays loaded, as the engine keeps the routine libraries it loaded.
  static void TearDownTestSuite() {}
  void SetUp() override {
    env.set("QUARNINSTANCE", "ldinst");
    env.set("QUARNKELPATH", dir.str());
    env.set("QUARNPATH", dir.str());
    sqlca ca{};
    ASSERT_EQ(quarn_create_database("KELLD", &ca), 0);
    ASSERT_EQ(quarn_connect("KELLD", nullptr, nullptr, &ca), 0);
  }
  void TearDown() override {
    sqlca ca{};
    quarn_connect_reset(&ca);
  }

  static void *handle;
  static DariEntry dari;
  static SqlEntry sql;
  keltest::TempDir dir;
  keltest::ScopedEnv env;
};
void *Loader::handle = nullptr;
DariEntry Loader::dari = nullptr;
SqlEntry Loader::sql = nullptr;

// A descriptor area for the full layout as the engine builds it: six entries, each large
// object with its extended entry behind the used ones.
struct DariCall {
  explicit DariCall(const std::string &nameValue, short msgType, short msgLen)
      : bytes(static_cast<size_t>(SQLDASIZE(12)), 0), msgBuf(static_cast<size_t>(msgLen) + 4, '#') {
    da()->sqln = 12;
    da()->sqld = 6;
    std::memcpy(da()->sqldaid, "SQLDA   ", 8);
    name.assign(2, 0);
    uint16_t n = static_cast<uint16_t>(nameValue.size());
    std::memcpy(name.data(), &n, 2);
    name += nameValue;
    var(0) = {SQL_TYP_NVARCHAR, 128, name.data(), &ind[0], {}};
    var(1) = {SQL_TYP_NCLOB, 0, dad.data(), &ind[1], {}};
    auto *ext = reinterpret_cast<sqlvar2 *>(&da()->sqlvar[1 + 6]);
    ext->sqldatalen = reinterpret_cast<char *>(&dadLen);
    var(2) = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&count), &ind[2], {}};
    var(3) = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&outCount), &ind[3], {}};
    var(4) = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&rc), &ind[4], {}};
    var(5) = {msgType, msgLen, msgBuf.data(), &ind[5], {}};
  }
  sqlda *da() { return reinterpret_cast<sqlda *>(bytes.data()); }
  sqlvar &var(int i) { return da()->sqlvar[i]; }
  std::string message() {
    if (var(5).sqltype == SQL_TYP_NVARCHAR) {
      uint16_t n;
      std::memcpy(&n, msgBuf.data(), 2);
      return std::string(msgBuf.data() + 2, n);
    }
    return std::string(msgBuf.data());
  }

  std::vector<char> bytes;
  std::string name;
  std::string dad = "<DAD>abc</DAD>";
  int32_t dadLen = 14;
  int32_t count = 3;
  int32_t outCount = 0;
  int32_t rc = 99;
  std::string msgBuf;
  short ind[6] = {0, 0, 0, -1, -1, -1};
};

TEST_F(Loader, DariEntryRunsTheWorkerAndWritesEveryOutput) {
  DariCall call("COL1", SQL_TYP_NVARCHAR, 1024);
  sqlca ca{};
  EXPECT_EQ(dari(nullptr, nullptr, call.da(), &ca), 1);
  EXPECT_EQ(call.rc, 0);
  EXPECT_EQ(call.message(), "KELA022I  Column COL1 enabled.\n");
  EXPECT_EQ(call.outCount, 3 + 14);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(call.ind[i], -128) << i;
  for (int i = 3; i < 6; ++i) EXPECT_EQ(call.ind[i], 0) << i;
}

TEST_F(Loader, DariMessageIsCutToTheOutputParameter) {
  // Varying output of sqllen 100: exactly 100 bytes with a 16-bit length of 100.
  DariCall varying("long", SQL_TYP_NVARCHAR, 100);
  sqlca ca{};
  dari(nullptr, nullptr, varying.da(), &ca);
  EXPECT_EQ(varying.rc, -133);
  std::string text = varying.message();
  EXPECT_EQ(text.size(), 100u);
  EXPECT_EQ(text.substr(0, 10), "KELQ053E  ");
  EXPECT_EQ(varying.msgBuf[102], '#');  // nothing written behind the parameter
  // Terminated output of sqllen 100: 99 bytes and a terminator.
  DariCall terminated("long", SQL_TYP_NCSTR, 100);
  dari(nullptr, nullptr, terminated.da(), &ca);
  EXPECT_EQ(terminated.message().size(), 99u);
  EXPECT_EQ(terminated.msgBuf[100], '#');
}

// A message cut to its output parameter ends behind its last whole character: it used to be
// cut at the parameter's bytes, through a character of the column name.
TEST_F(Loader, DariMessageIsCutBehindAWholeCharacter) {
  std::string name;
  for (int i = 0; i < 30; ++i) name += "\xE6\x97\xA5";
  // "KELA022I  Column " is 17 bytes: the 28th character of the name is on bytes 98 to 100.
  const std::string whole = "KELA022I  Column " + name.substr(0, 81);
  sqlca ca{};
  DariCall varying(name, SQL_TYP_NVARCHAR, 100);
  dari(nullptr, nullptr, varying.da(), &ca);
  ASSERT_EQ(varying.rc, 0);
  EXPECT_EQ(varying.message(), whole);
  DariCall terminated(name, SQL_TYP_NCSTR, 100);
  dari(nullptr, nullptr, terminated.da(), &ca);
  EXPECT_EQ(terminated.message(), whole);
}

TEST_F(Loader, DariFailuresStillReachReturnCodeAndMessage) {
  DariCall missing("x", SQL_TYP_NVARCHAR, 1024);
  missing.ind[0] = -1;  // the required name is null
  sqlca ca{};
  dari(nullptr, nullptr, missing.da(), &ca);
  EXPECT_EQ(missing.rc, -14);
  EXPECT_EQ(missing.message(), "KELA019E  A input parameter required to enable the column is null.\n");
  EXPECT_EQ(missing.ind[0], -128);

  DariCall wrongType("x", SQL_TYP_NVARCHAR, 1024);
  wrongType.var(2).sqltype = SQL_TYP_NVARCHAR;  // an integer passed as a varying string
  dari(nullptr, nullptr, wrongType.da(), &ca);
  EXPECT_EQ(wrongType.rc, -108);
  EXPECT_EQ(wrongType.message().substr(0, 8), "KELA075E");

  // The worker's own failure.
  DariCall failing("fail", SQL_TYP_NVARCHAR, 1024);
  dari(nullptr, nullptr, failing.da(), &ca);
  EXPECT_EQ(failing.rc, -11);
  EXPECT_EQ(failing.message(), "KELA016E  The input table fail does not exist.\n");

  // A worker that throws: no exception leaves the library, the call fails with its message.
  DariCall noMemory("nomemory", SQL_TYP_NVARCHAR, 1024);
  dari(nullptr, nullptr, noMemory.da(), &ca);
  EXPECT_EQ(noMemory.rc, -58);
  EXPECT_EQ(noMemory.message(), "KELG002E  The system is out of memory.\n");
  DariCall throws("throws", SQL_TYP_NVARCHAR, 1024);
  dari(nullptr, nullptr, throws.da(), &ca);
  EXPECT_EQ(throws.rc, -57);
  EXPECT_EQ(throws.message().substr(0, 8), "KELG001E");

  // Initialisation fails without the instance's environment; the outputs are still written.
  env.unset("QUARNKELPATH");
  DariCall uninit("x", SQL_TYP_NVARCHAR, 1024);
  dari(nullptr, nullptr, uninit.da(), &ca);
  EXPECT_EQ(uninit.rc, -102);
  EXPECT_EQ(uninit.message(), "");
  EXPECT_EQ(uninit.ind[0], -128);
  EXPECT_EQ(uninit.ind[5], 0);
}

TEST_F(Loader, DariChoosesTheLayoutByItsEntries) {
  std::vector<char> bytes(static_cast<size_t>(SQLDASIZE(3)), 0);
  auto *da = reinterpret_cast<sqlda *>(bytes.data());
  da->sqln = da->sqld = 3;
  char name[] = "SHORT";
  int32_t rc = 5;
  char msg[1025];
  short ind[3] = {0, -1, -1};
  da->sqlvar[0] = {SQL_TYP_NCSTR, 6, name, &ind[0], {}};
  da->sqlvar[1] = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&rc), &ind[1], {}};
  da->sqlvar[2] = {SQL_TYP_NCSTR, 1025, msg, &ind[2], {}};
  sqlca ca{};
  dari(nullptr, nullptr, da, &ca);
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(msg, "KELA022I  Column SHORT enabled.\n");

  // A caller that declares the return code as characters (a CALL of an unregistered entry
  // with untyped markers) receives it as text.
  char failName[] = "fail";
  char rcText[12] = "x";
  da->sqlvar[0] = {SQL_TYP_NCSTR, 5, failName, &ind[0], {}};
  da->sqlvar[1] = {SQL_TYP_NCSTR, 12, rcText, &ind[1], {}};
  dari(nullptr, nullptr, da, &ca);
  EXPECT_STREQ(rcText, "-11");
}

// A call whose entries fit no layout (too few, or none) is -440 in the communication area: it
// returned doing nothing with the area untouched, and the caller took that for success.
TEST_F(Loader, DariCallThatFitsNoLayoutIsRefused) {
  std::vector<char> bytes(static_cast<size_t>(SQLDASIZE(2)), 0);
  auto *da = reinterpret_cast<sqlda *>(bytes.data());
  da->sqln = da->sqld = 2;
  char name[] = "SHORT";
  int32_t rc = 5;
  short ind[2] = {0, -1};
  da->sqlvar[0] = {SQL_TYP_NCSTR, 6, name, &ind[0], {}};
  da->sqlvar[1] = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&rc), &ind[1], {}};
  sqlca ca{};
  dari(nullptr, nullptr, da, &ca);
  EXPECT_EQ(ca.sqlcode, -440);
  EXPECT_EQ(std::string(ca.sqlstate, 5), "42884");
  EXPECT_EQ(std::string(ca.sqlerrmc, static_cast<size_t>(ca.sqlerrml)), "kelFrameTest\xFFPROCEDURE");
  EXPECT_EQ(rc, 5);
  da->sqld = 0;
  sqlca none{};
  dari(nullptr, nullptr, da, &none);
  EXPECT_EQ(none.sqlcode, -440);
}

// A procedure takes its code pages from its caller's connection: without one, initialisation
// fails and the outputs still say so.
TEST_F(Loader, DariCallWithoutAConnectionFailsInitialisation) {
  sqlca ca{};
  quarn_connect_reset(&ca);
  DariCall call("COL1", SQL_TYP_NVARCHAR, 1024);
  dari(nullptr, nullptr, call.da(), &ca);
  EXPECT_EQ(call.rc, -119);
  EXPECT_EQ(call.message().substr(0, 8), "KELG008E");
  EXPECT_EQ(call.ind[0], -128);
  EXPECT_EQ(call.ind[5], 0);
}

TEST_F(Loader, SqlConventionEntry) {
  struct {
    uint32_t len = 5;
    char data[6] = "<a/>x";
  } dad;
  sqlint32 count = 10, outCount = -1, rc = 77;
  char msg[1025];
  char sqlstate[6] = "xxxxx";
  char name[] = "COLX";
  short inds[6] = {0, 0, 0, -1, -1, -1};
  char procName[] = "QUARNXML.FRAMETEST", specName[] = "FRAMETEST", diag[71] = "";
  sql(name, &dad, &count, &outCount, &rc, msg, &inds[0], &inds[1], &inds[2], &inds[3], &inds[4],
      &inds[5], sqlstate, procName, specName, diag);
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(msg, "KELA022I  Column COLX enabled.\n");
  EXPECT_EQ(outCount, 15);
  EXPECT_STREQ(sqlstate, "00000");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(inds[i], -128);
  for (int i = 3; i < 6; ++i) EXPECT_EQ(inds[i], 0);

  // An optional input may be null; a required one gives -60 and KELG004E.
  inds[0] = 0;
  inds[1] = -1;
  sql(name, nullptr, &count, &outCount, &rc, msg, &inds[0], &inds[1], &inds[2], &inds[3], &inds[4],
      &inds[5], sqlstate, procName, specName, diag);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(outCount, 10);
  inds[0] = -1;
  sql(name, &dad, &count, &outCount, &rc, msg, &inds[0], &inds[1], &inds[2], &inds[3], &inds[4],
      &inds[5], sqlstate, procName, specName, diag);
  EXPECT_EQ(rc, -60);
  EXPECT_STREQ(msg, "KELG004E  Invalid null parameter.\n");

  // A long message fills the 1024 bytes of the varchar(1024) buffer and is terminated.
  inds[0] = 0;
  char longName[] = "long";
  sql(longName, &dad, &count, &outCount, &rc, msg, &inds[0], &inds[1], &inds[2], &inds[3], &inds[4],
      &inds[5], sqlstate, procName, specName, diag);
  EXPECT_EQ(rc, -133);
  EXPECT_EQ(std::strlen(msg), 1024u);
  EXPECT_EQ(msg[1023], '\n');
}

}  // namespace
