// The call-level-interface connection of a call: a failing call is traced with its return code,
// state and native code in one line, and reported as KELG006E naming the failing step.
#include "kelcli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "quarnapp.h"

namespace {

TEST(KelCliConnection, FailedConnectIsTracedAndReportedWithTheCallsReturnCode) {
  keltest::TempDir dir;
  std::string traceName = dir.file("call.trc");
  KelCallContext ctx{};
  ctx.traceFile = std::fopen(traceName.c_str(), "w");
  ASSERT_NE(ctx.traceFile, nullptr);
  ctx.traceOn = 1;
  ctx.fullMessages = KEL_FULL_MESSAGES;

  // Outside a procedure there is no session to attach to: SQLConnect fails with 08001.
  quarn_session *saved = quarn_current_session();
  quarn_set_current_session(nullptr);
  char sqlstate[6] = "";
  char msg[KEL_MSG_BUFFER + 1] = "";
  int rc;
  {
    KelCliConnection conn;
    rc = conn.open(&ctx, "keltest", sqlstate, msg);
  }
  quarn_set_current_session(saved);
  std::fclose(ctx.traceFile);
  ctx.traceFile = nullptr;

  EXPECT_EQ(rc, -57);
  EXPECT_STREQ(sqlstate, "38X18");
  std::string text(msg);
  EXPECT_NE(text.find("KELG006E"), std::string::npos) << text;
  EXPECT_NE(text.find("SQLSTATE=08001, RC=-1, build "), std::string::npos) << text;
  EXPECT_NE(text.find("file keltest, line "), std::string::npos) << text;
  EXPECT_NE(text.find("CLIMSG=SQLConnect null: "), std::string::npos) << text;

  std::string trace = keltest::readFile(traceName);
  const std::string head = "CLI failed for SQLConnect null: cliMsg= ";
  const std::string tail = " cliRC=-1 cliState=08001 sqlcode=-1024\n";
  size_t at = trace.find(head);
  ASSERT_NE(at, std::string::npos) << trace;
  size_t end = trace.find('\n', at);
  ASSERT_NE(end, std::string::npos);
  std::string line = trace.substr(at, end + 1 - at);
  ASSERT_GT(line.size(), head.size() + tail.size()) << line;  // the engine's own text between
  EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
}

}  // namespace
