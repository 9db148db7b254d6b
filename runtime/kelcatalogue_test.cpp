// The external message catalogue.  Opening it is process-wide and happens once, so CTest runs
// each case of this binary in a process of its own (see CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

// This binary plays the database's message service, so that the database text can be one
// the embedded engine never produces.
static std::string databaseText;
extern "C" int sqlaintp_api(char *buf, short size, short width, const char *file, struct sqlca *ca) {
  std::snprintf(buf, static_cast<size_t>(size), "%s", databaseText.c_str());
  return static_cast<int>(std::strlen(buf));
}

namespace {

// A traced call context over a temporary instance; the trace file is read back by trace().
class TracedCall : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "kelinst");
    env.set("QUARNKELPATH", dir.str());
    int32_t rc = 0;
    char state[6];
    // No message is formatted here: the first message of the process opens the catalogue,
    // and each case chooses its catalogue first.
    ASSERT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, nullptr), 0);
    ASSERT_EQ(kelTraceOpen(&ctx, state, nullptr), 0);
    ASSERT_EQ(ctx.traceOn, 1u);
    ctx.fullMessages = KEL_FULL_MESSAGES;
  }
  void TearDown() override { kelTraceClose(&ctx); }
  std::string trace() { return keltest::readFile(dir.file("kelkelinst.trc")); }
  std::string message(int msgNo, const char *arg) {
    char buf[KEL_MSG_BUFFER + 1];
    kelSetMessage(&ctx, buf, msgNo, arg);
    return buf;
  }

  keltest::TempDir dir;
  keltest::ScopedEnv env;
  KelCallContext ctx{};
};

size_t count(const std::string &hay, const std::string &needle) {
  size_t n = 0;
  for (size_t p = hay.find(needle); p != std::string::npos; p = hay.find(needle, p + 1)) ++n;
  return n;
}

using Catalogue = TracedCall;

TEST_F(Catalogue, BuiltinTextsAndTraceLineWhenTheCatalogueIsMissing) {
  env.set("NLSPATH", dir.file("missing/%N"));
  EXPECT_EQ(message(KELA016E, "T1"), "KELA016E  The input table T1 does not exist.\n");
  EXPECT_EQ(message(KELA011E, ""), "KELA011E  Inserting a record into QUARNXML.XML_USAGE table failed.\n");
  EXPECT_EQ(count(trace(), "kelVsprint:\t\tMessage catalog open error. Using internal messages.\n"), 2u);

  // A database text that begins with " QZNT400I" is dropped; another is shown before KELM001W.
  sqlca ca{};
  char buf[KEL_MSG_BUFFER + 1];
  databaseText = " QZNT400I  informational text\n";
  kelSetDbMessage(&ctx, buf, &ca, KELA004E, "DB1");
  EXPECT_STREQ(buf, "KELA004E  Cannot enable database DB1.\n");
  databaseText = "SQL0911N deadlock.  SQLSTATE=40001\n";
  kelSetDbMessage(&ctx, buf, &ca, KELA004E, "DB1");
  EXPECT_STREQ(buf, "SQL0911N deadlock.  SQLSTATE=40001\nKELM001W  A Quarn error occurred.\n"
                    "KELA004E  Cannot enable database DB1.\n");
  EXPECT_NE(trace().find("outStr='SQL0911N deadlock.  SQLSTATE=40001\n'"), std::string::npos);
}

TEST_F(Catalogue, InstalledCatalogueBesideTheLibraryIsUsed) {
  env.unset("NLSPATH");
  EXPECT_EQ(message(KELA016E, "T2"), "KELA016E  The input table T2 does not exist.\n");
  EXPECT_EQ(message(KELQ010E, "x"), "KELQ010E  RDB_node of x does not have a table in the DAD file. \n");
  EXPECT_EQ(trace().find("Message catalog"), std::string::npos) << trace();
}

TEST_F(Catalogue, TranslatedCatalogueIsUsedWhenPresent) {
  const char *gencat = std::getenv("GENCAT");
  ASSERT_NE(gencat, nullptr);
  keltest::writeFile(dir.file("kel.msg"),
                     "$quote \"\n$set 1\n"
                     "17 \"KELA016E  Die Eingabetabelle %s existiert nicht.\"\n"
                     "18 \"KELA017E  Spalte %d fehlt.\"\n");
  std::string cmd = std::string(gencat) + " --new -o " + dir.file("kel.cat") + " " + dir.file("kel.msg");
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  env.set("NLSPATH", dir.file("%N"));

  EXPECT_EQ(message(KELA016E, "T3"), "KELA016E  Die Eingabetabelle T3 existiert nicht.\n");
  // A translation whose placeholders differ from the built-in text is not trusted.
  char buf[KEL_MSG_BUFFER + 1];
  kelSetMessage(&ctx, buf, KELA017E, "C", "T");
  EXPECT_STREQ(buf, "KELA017E  The input column C does not exist in the specified table T.\n");
  // An entry the translation lacks comes from the built-in table, with a trace line.
  EXPECT_EQ(message(KELA020E, "T4"), "KELA020E  Columns cannot be found in the table T4.\n");
  EXPECT_NE(trace().find("kelVsprint:\t\tMessage catalog fetch error. Id=21\n"), std::string::npos);
}

}  // namespace
