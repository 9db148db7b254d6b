// Set-up and tear-down of the call context.
#include "kelctx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kel_test_env.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

class CallContext : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "ctxinst");
    env.set("QUARNKELPATH", dir.str());
    env.unset("QUARNKEL_MIN_TMPFILE_SIZE");
    env.unset("QUARNKELTEMP");
    env.unset("TMP");
  }
  void TearDown() override { kelTerm(&ctx, state); }

  keltest::TempDir dir;
  keltest::ScopedEnv env;
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(CallContext, NullContextIsRefused) {
  EXPECT_EQ(kelInit(nullptr, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), -58);
  EXPECT_STREQ(state, "38X10");
  std::strcpy(state, "00000");
  EXPECT_EQ(kelTerm(nullptr, state), -58);
  EXPECT_STREQ(state, "38X10");
}

TEST_F(CallContext, ThresholdHasAFloorOf131072) {
  struct { const char *value; int32_t expected; } cases[] = {
      {nullptr, 131072}, {"1000", 131072}, {"131071", 131072}, {"131072", 131072},
      {"500000", 500000}, {"junk", 131072}};
  for (const auto &c : cases) {
    if (c.value) env.set("QUARNKEL_MIN_TMPFILE_SIZE", c.value);
    else env.unset("QUARNKEL_MIN_TMPFILE_SIZE");
    KelCallContext local{};
    ASSERT_EQ(kelInit(&local, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0);
    EXPECT_EQ(local.fileThreshold, c.expected) << (c.value ? c.value : "unset");
    kelTerm(&local, state);
  }
}

TEST_F(CallContext, KeepsTmpAndTempDirUntilTerm) {
  env.set("TMP", "/var/tmp");
  env.set("QUARNKELTEMP", dir.str());
  ASSERT_EQ(kelInit(&ctx, KEL_SHORT_MESSAGES, nullptr, state, msg, nullptr), 0);
  EXPECT_STREQ(ctx.savedTmpSetting, "TMP=/var/tmp");
  EXPECT_EQ(std::string(ctx.tempDir), dir.str());
  EXPECT_EQ(ctx.fullMessages, KEL_SHORT_MESSAGES);
  ASSERT_NE(ctx.codePages, nullptr);

  // A second set-up of a live context keeps what it holds and reports success.
  env.set("TMP", "/elsewhere");
  EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0);
  EXPECT_STREQ(ctx.savedTmpSetting, "TMP=/var/tmp");
  EXPECT_EQ(ctx.fullMessages, KEL_SHORT_MESSAGES);

  EXPECT_EQ(kelTerm(&ctx, state), 0);
  EXPECT_EQ(ctx.savedTmpSetting, nullptr);
  EXPECT_EQ(ctx.tempDir, nullptr);
  EXPECT_EQ(ctx.codePages, nullptr);
}

TEST_F(CallContext, LocaleNamesOf100CharactersAreRefused) {
  std::string name(100, 'l');
  EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, name.c_str()), -119);
  EXPECT_STREQ(state, "38X38");
  EXPECT_EQ(ctx.codePages, nullptr);  // torn down again
}

TEST_F(CallContext, TracesTheThresholdWhenTheInstanceIsTraced) {
  int32_t rc;
  ASSERT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), 0);
  env.set("QUARNKELTEMP", "/tmp/kel");
  ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0);
  EXPECT_EQ(ctx.traceOn, 1u);
  kelTerm(&ctx, state);
  EXPECT_EQ(ctx.traceOn, 0u);
  EXPECT_EQ(ctx.traceFile, nullptr);
  std::string text = keltest::readFile(dir.file("kelctxinst.trc"));
  EXPECT_NE(text.find("kelInit:\t\ttmp dir /tmp/kel, file thresh 131072\n"), std::string::npos) << text;
}

}  // namespace
