// Large objects of functions through the engine's locator store: locators of the current
// session, as a function called by the engine sees them.
#include "kellob.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "quarnapp.h"

namespace {

class FunctionLob : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNPATH", dir.str());
    env.set("QUARNINSTANCE", "flob");
    env.set("QUARNKELPATH", dir.str());
    env.set("QUARNKELTEMP", dir.str());
    sqlca ca{};
    ASSERT_EQ(quarn_create_database("FLOBDB", &ca), 0);
    ASSERT_EQ(quarn_connect("FLOBDB", nullptr, nullptr, &ca), 0);
  }
  void TearDown() override {
    kelTerm(&ctx, state);
    sqlca ca{};
    quarn_connect_reset(&ca);
  }
  // A function context whose application side is the encoding given (null: the process's).
  void init(const char *encoding) {
    KelCodePageRequest request{0, 1208, nullptr};
    ASSERT_EQ(kelInit(&ctx, KEL_SHORT_MESSAGES, &request, state, msg, encoding), 0) << msg;
  }
  // A locator of the current session holding value.
  sqluint32 locatorOf(const std::string &value) {
    udf_locator *loc = nullptr;
    EXPECT_EQ(kel_buf2locator(&ctx, value.data(), static_cast<int32_t>(value.size()), &loc, state, msg), 0) << msg;
    return loc != nullptr ? *loc : 0;
  }
  std::string valueOf(udf_locator loc) {
    sqlint32 n = 0;
    EXPECT_EQ(sqludf_length(&loc, &n), 0);
    std::string out(static_cast<size_t>(n) + 1, '\0');
    EXPECT_EQ(kel_locator2buf(&ctx, &loc, out.data(), n, state, msg), 0) << msg;
    out.resize(static_cast<size_t>(n));
    return out;
  }

  keltest::TempDir dir;
  keltest::ScopedEnv env;
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(FunctionLob, ThresholdDecidesBetweenMemoryAndATemporaryFile) {
  init(nullptr);
  std::string atThreshold(static_cast<size_t>(ctx.fileThreshold), 'x');
  udf_locator loc = locatorOf(atThreshold);
  char *data = nullptr;
  int inMemory = -1;
  ASSERT_EQ(kelGetDataFromClob(&ctx, &loc, &data, &inMemory, state, msg), 0) << msg;
  EXPECT_EQ(inMemory, 1);
  EXPECT_EQ(std::strlen(data), atThreshold.size());
  std::free(data);

  udf_locator bigger = locatorOf(atThreshold + "y");
  ASSERT_EQ(kelGetDataFromClob(&ctx, &bigger, &data, &inMemory, state, msg), 0) << msg;
  EXPECT_EQ(inMemory, 0);
  EXPECT_EQ(std::string(data).rfind(dir.str() + "/kel", 0), 0u) << data;
  EXPECT_EQ(keltest::readFile(data), atThreshold + "y");
  std::remove(data);
  std::free(data);

  // A temporary directory that cannot take the file is said so: it was "out of memory".
  std::free(ctx.tempDir);
  ctx.tempDir = strdup(dir.file("missing").c_str());
  EXPECT_EQ(kelGetDataFromClob(&ctx, &bigger, &data, &inMemory, state, msg), -1);
  EXPECT_STREQ(state, "38X03");
  EXPECT_STREQ(msg, "KELC012E  Cannot create temporary file.\n");
}

TEST_F(FunctionLob, Utf16FileWithByteOrderMarkLoadsByteExact) {
  init("UTF-16");
  // "<a>é€</a>" in UTF-16LE with a byte-order mark, long enough to cross 4096-byte chunks and
  // full of zero bytes.
  std::string text16 = "\xFF\xFE";
  std::string expected;
  for (int i = 0; i < 1500; ++i) {
    text16 += std::string("<\0a\0>\0\xE9\0\xAC\x20<\0/\0a\0>\0", 18);
    expected += "<a>\xC3\xA9\xE2\x82\xAC</a>";
  }
  std::string file = dir.file("utf16.xml");
  keltest::writeFile(file, text16);
  udf_locator *loc = nullptr;
  int msgNo = 0;
  ASSERT_EQ(kel_file2locator(&ctx, file.c_str(), &loc, state, &msgNo, false), 0) << msgNo;
  EXPECT_EQ(valueOf(*loc), expected);
}

// Between equal code pages a file is read as it is converted between different ones: a byte
// invalid in the code page becomes U+FFFD (it was stored raw, and every later parse of the value
// failed), and valid characters cut by the reading pieces come through whole.
TEST_F(FunctionLob, InvalidBytesBecomeSubstitutionCharactersBetweenEqualCodePages) {
  init("UTF-8");
  std::string file = dir.file("latin.xml");
  keltest::writeFile(file, "<a>caf\xE9</a>");
  udf_locator *loc = nullptr;
  int msgNo = 0;
  ASSERT_EQ(kel_file2locator(&ctx, file.c_str(), &loc, state, &msgNo, false), 0) << msgNo;
  EXPECT_EQ(valueOf(*loc), "<a>caf\xEF\xBF\xBD</a>");

  std::string wide = "<a>";
  for (int i = 0; i < 5000; ++i) wide += "\xC3\xA9\xF0\x9F\x98\x80";
  wide += "</a>";
  keltest::writeFile(file, wide);
  udf_locator *back = nullptr;
  ASSERT_EQ(kel_file2locator(&ctx, file.c_str(), &back, state, &msgNo, false), 0) << msgNo;
  EXPECT_EQ(valueOf(*back), wide);
}

TEST_F(FunctionLob, LocatorToFileAndBack) {
  init(nullptr);
  std::string value = "<doc>caf\xC3\xA9 " + std::string(9000, 'z') + "</doc>";
  udf_locator loc = locatorOf(value);
  std::string file = dir.file("copy.xml");
  int msgNo = 0;
  ASSERT_EQ(kel_locator2file(&ctx, &loc, file.c_str(), state, &msgNo), 0) << msgNo;
  EXPECT_EQ(keltest::readFile(file), value);
  udf_locator *back = nullptr;
  ASSERT_EQ(kel_file2locator(&ctx, file.c_str(), &back, state, &msgNo, false), 0) << msgNo;
  EXPECT_EQ(valueOf(*back), value);

  // An empty large object, and writing to the application code page of the call.
  udf_locator *empty = nullptr;
  ASSERT_EQ(kel_buf2locator(&ctx, nullptr, 0, &empty, state, msg), 0);
  EXPECT_EQ(valueOf(*empty), "");
  kelTerm(&ctx, state);
  init("ISO-8859-1");
  udf_locator latin = locatorOf("<a>caf\xC3\xA9</a>");
  std::string latinFile = dir.file("latin.xml");
  ASSERT_EQ(kel_conv_locator2file(&ctx, &latin, latinFile.c_str(), state, msg, false), 0) << msg;
  EXPECT_EQ(keltest::readFile(latinFile), "<a>caf\xE9</a>");
}

TEST_F(FunctionLob, FailuresReportTheirMessageNumbers) {
  init(nullptr);
  udf_locator *loc = nullptr;
  int msgNo = 0;
  EXPECT_EQ(kel_file2locator(&ctx, dir.file("missing.xml").c_str(), &loc, state, &msgNo, false), -1);
  EXPECT_EQ(msgNo, KELC001E);
  EXPECT_STREQ(state, "38X01");
  udf_locator bogus = 4242;
  char buf[8];
  EXPECT_EQ(kel_locator2buf(&ctx, &bogus, buf, 4, state, msg), -1);
  EXPECT_STREQ(state, "38X04");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELC004E");
}

}  // namespace
