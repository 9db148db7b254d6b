// The mapping of the shared initialiser's failures.  This binary plays the initialiser
// (quarnxmlinit), so that each of its failure codes can be reported.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "kel_test_env.h"
#include "kelSgDoc.h"
#include "kelctx.h"
#include "kelmsg.h"

static int fakeCode = 0;
extern "C" int isSharedLibInitSuccess(void) { return fakeCode == 0 ? 1 : 0; }
extern "C" int getLastErrorCode(void) { return fakeCode; }
extern "C" const char *getLastErrorMessage(void) { return "no parser today"; }

namespace {

TEST(ParserInit, FailureCodesBecomeMessages) {
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  fakeCode = 0;
  EXPECT_EQ(kelInitializeParser(nullptr, state, msg), 0);

  fakeCode = -1;
  EXPECT_EQ(kelInitializeParser(nullptr, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
  EXPECT_NE(std::string(msg).find("file kelSgDoc, and line 1828."), std::string::npos) << msg;
  fakeCode = -4;
  kelInitializeParser(nullptr, state, msg);
  EXPECT_NE(std::string(msg).find("line 1819."), std::string::npos) << msg;
  for (int code : {-2, -3}) {
    fakeCode = code;
    EXPECT_EQ(kelInitializeParser(nullptr, state, msg), -1);
    EXPECT_STREQ(msg, "KELQ047E  Parser error on line 0 column 0: no parser today \n");
  }
  fakeCode = -9;
  std::strcpy(state, "00000");
  msg[0] = '\0';
  EXPECT_EQ(kelInitializeParser(nullptr, state, msg), -1);
  EXPECT_STREQ(state, "00000");
  EXPECT_STREQ(msg, "");
}

TEST(ParserInit, CallSetUpFailsWithTheParser) {
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  env.set("QUARNINSTANCE", "pi");
  env.set("QUARNKELPATH", dir.str());
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0);
  fakeCode = -2;
  EXPECT_EQ(kelCheckParserForCall(&ctx, state, msg), -85);
  EXPECT_STREQ(state, "38X13");
  fakeCode = 0;
  std::strcpy(state, "00000");
  EXPECT_EQ(kelCheckParserForCall(&ctx, state, msg), 0);
  EXPECT_STREQ(state, "00000");
  kelTerm(&ctx, state);
}

}  // namespace
