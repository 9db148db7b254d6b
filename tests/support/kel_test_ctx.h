/*
 * kel_test_ctx.h - a test fixture with a call context set up as a function's would be (UTF-8
 * database, full messages) over a temporary instance directory (QUARNINSTANCE, QUARNKELPATH and
 * QUARNPATH point into it); everything is released and restored after the test.
 */
#ifndef KEL_TEST_CTX_H
#define KEL_TEST_CTX_H

#include <gtest/gtest.h>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"

namespace keltest {

class CallContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "kelinst");
    env.set("QUARNKELPATH", dir.str());
    env.set("QUARNPATH", dir.str());
    KelCodePageRequest request{0, 1208, nullptr};
    ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8"), 0) << msg;
  }
  void TearDown() override { kelTerm(&ctx, state); }

  TempDir dir;
  ScopedEnv env;
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

}  // namespace keltest

#endif /* KEL_TEST_CTX_H */
