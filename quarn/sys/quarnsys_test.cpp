// Registry values: unset by default, set and removed, kept across readers, bad input refused.
#include "sqlenv.h"

#include <gtest/gtest.h>

#include <string>

#include "kel_test_env.h"

namespace {

TEST(Registry, ValuesAreUnsetUntilAnAdministratorSetsThem) {
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", dir.str());
  char value[256];
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_READ_DIRS, value, sizeof value), SQLO_REG_UNSET);
  EXPECT_STREQ(value, "");
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/data;/srv/xml/"), 0);
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, "ANY"), 0);
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_READ_DIRS, value, sizeof value), 0);
  EXPECT_STREQ(value, "/data;/srv/xml/");
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_WRITE_DIRS, value, sizeof value), 0);
  EXPECT_STREQ(value, "ANY");
  EXPECT_NE(keltest::readFile(dir.file("quarn.registry")).find("QUARN_XML_READ_DIRS=/data;/srv/xml/\n"),
            std::string::npos);
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, nullptr), 0);
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_READ_DIRS, value, sizeof value), SQLO_REG_UNSET);
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_WRITE_DIRS, value, sizeof value), 0);
  EXPECT_STREQ(sqloEnvName(374), "QUARN_XML_WRITE_DIRS");
}

TEST(Registry, BadRequestsAreRefused) {
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", dir.str());
  char small[4];
  EXPECT_EQ(sqloGetEnv(999, small, sizeof small), -1);
  EXPECT_EQ(sqloSetEnv(999, "x"), -1);
  EXPECT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/a\n/b"), -1);
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/a/long/dir"), 0);
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_READ_DIRS, small, sizeof small), -1);
  EXPECT_EQ(sqloGetEnv(SQLE_REG_XML_READ_DIRS, nullptr, 10), -1);
  env.set("QUARNPATH", dir.file("no/such/dir"));
  EXPECT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/x"), -1);
}

}  // namespace
