// Stored-procedure large objects through the embedded runtime of a real engine database.
#include "kelsplob.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "kel_test_env.h"
#include "kelbuf.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "quarnapp.h"

namespace {

class ProcedureLob : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNPATH", dir.str());
    env.set("QUARNINSTANCE", "lobinst");
    env.set("QUARNKELPATH", dir.str());
    env.set("QUARNKELTEMP", dir.str());
    sqlca ca{};
    ASSERT_EQ(quarn_create_database("LOBDB", &ca), 0) << ca.sqlcode;
    ASSERT_EQ(quarn_connect("LOBDB", nullptr, nullptr, &ca), 0) << ca.sqlcode;
    ASSERT_EQ(quarn_execute_immediate("CREATE TABLE t (id INTEGER, c CLOB(1M))", &ca), 0) << ca.sqlcode;
    ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0) << msg;
  }
  void TearDown() override {
    kelTerm(&ctx, state);
    sqlca ca{};
    quarn_connect_reset(&ca);
  }

  // Stores value as row id and returns a locator to it.
  sqluint32 locatorOf(const std::string &value, int id) {
    sqlca ca{};
    quarn_stmt *ins = nullptr;
    EXPECT_EQ(quarn_prepare("INSERT INTO t VALUES (?, ?)", &ins, &ca), 0);
    std::string lobBytes(sizeof(quarn_lob) + value.size(), '\0');
    auto *lob = reinterpret_cast<quarn_lob *>(lobBytes.data());
    lob->length = static_cast<sqluint32>(value.size());
    std::memcpy(lob->data, value.data(), value.size());
    sqlint32 key = id;
    quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &key, nullptr},
                           {SQL_TYP_CLOB, static_cast<sqlint32>(value.size()), lob, nullptr}};
    EXPECT_EQ(quarn_execute(ins, 2, in, &ca), 0) << ca.sqlcode;
    quarn_free_stmt(ins);
    quarn_stmt *sel = nullptr;
    EXPECT_EQ(quarn_prepare("SELECT c FROM t WHERE id = ?", &sel, &ca), 0);
    EXPECT_EQ(quarn_open(sel, 1, in, &ca), 0);
    sqluint32 loc = 0;
    quarn_hostvar out{SQL_TYP_CLOB_LOCATOR, 4, &loc, nullptr};
    EXPECT_EQ(quarn_fetch(sel, 1, &out, &ca), 0) << ca.sqlcode;
    quarn_close(sel, &ca);
    quarn_free_stmt(sel);
    return loc;
  }

  keltest::TempDir dir;
  keltest::ScopedEnv env;
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  int32_t rc = 0;
};

TEST_F(ProcedureLob, LengthSubstringAndFile) {
  sqluint32 loc = locatorOf("<doc>h\xC3\xA9llo</doc>", 1);
  int32_t length = -1;
  ASSERT_EQ(kelGetLocatorLength(&ctx, &loc, &length, &rc, msg), 0) << msg;
  EXPECT_EQ(length, 17);  // bytes, not characters
  char buf[32];
  ASSERT_EQ(kelLocatorToBuf(&ctx, loc, 5, buf, &rc, msg, 6), 0) << msg;
  EXPECT_STREQ(buf, "h\xC3\xA9ll");
  std::string file = dir.file("out.xml");
  keltest::writeFile(file, "old content that is longer than the value");
  ASSERT_EQ(kelLocatorToFile(&ctx, loc, file.c_str(), &rc, msg), 0) << msg;
  EXPECT_EQ(keltest::readFile(file), "<doc>h\xC3\xA9llo</doc>");
}

TEST_F(ProcedureLob, DataGoesToMemoryUpToTheThresholdThenToAFile) {
  std::string atThreshold(static_cast<size_t>(ctx.fileThreshold), 'm');
  KelDocBuffer buf{};
  ASSERT_EQ(kelGetDataFromLocator(&ctx, locatorOf(atThreshold, 1), &buf, msg), 0) << msg;
  EXPECT_EQ(buf.location, KEL_BUF_MEMORY);
  EXPECT_EQ(kelBufLength(&ctx, &buf), ctx.fileThreshold);
  EXPECT_EQ(std::string(kelBufGetContent(&ctx, &buf)), atThreshold);
  kelBufRelease(&ctx, &buf);

  std::string oneMore = atThreshold + "x";
  ASSERT_EQ(kelGetDadFileFromLocator(&ctx, locatorOf(oneMore, 2), &buf, msg), 0) << msg;
  EXPECT_EQ(buf.location, KEL_BUF_FILE);
  std::string name = kelBufGetContent(&ctx, &buf);
  EXPECT_EQ(keltest::readFile(name), oneMore);
  kelBufRelease(&ctx, &buf);
  EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(ProcedureLob, XmlTextIsEscapedAcrossChunks) {
  // A value longer than one chunk, with special characters on both sides of the boundary.
  std::string value(KEL_SP_LOB_CHUNK - 1, 'a');
  value += "<&>\"'";
  KelDocBuffer buf{};
  int status = 0;
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 4096, KEL_BUF_NO_LIMIT, KEL_BUF_MEMORY, &status, msg, 0), 0);
  ASSERT_EQ(kelBufAppend(&ctx, &buf, "<v>"), 0);
  sqluint32 loc = locatorOf(value, 1);
  ASSERT_EQ(kelLocatorToXmlText(&ctx, &loc, &buf, false, false, &rc, msg), 0) << msg;
  std::string expected = "<v>" + std::string(KEL_SP_LOB_CHUNK - 1, 'a') + "&lt;&amp;&gt;&quot;&apos;";
  EXPECT_EQ(std::string(kelBufGetContent(&ctx, &buf)), expected);
  kelBufRelease(&ctx, &buf);
}

TEST_F(ProcedureLob, AnUnknownLocatorIsAnInternalErrorWithTheDatabaseText) {
  sqluint32 bogus = 987654;
  int32_t length = 5;
  EXPECT_EQ(kelGetLocatorLength(&ctx, &bogus, &length, &rc, msg), -57);
  EXPECT_EQ(rc, -57);
  EXPECT_EQ(length, 0);
  std::string text = msg;
  EXPECT_EQ(text.substr(0, 3), "SQL") << text;
  EXPECT_NE(text.find("KELM001W"), std::string::npos);
  EXPECT_NE(text.find("file kelsuwo"), std::string::npos);
}

}  // namespace
