/*
 * kel_test_db.h - a test fixture with a fresh database of a temporary instance (QUARNPATH),
 * connected as the thread's current connection; the unit of work is rolled back and the
 * connection reset after the test, the instance removed.
 */
#ifndef KEL_TEST_DB_H
#define KEL_TEST_DB_H

#include <gtest/gtest.h>

#include <string>

#include "kel_test_env.h"
#include "quarnapp.h"

namespace keltest {

class DatabaseTest : public ::testing::Test {
 protected:
  // Creates database name in the temporary instance and connects to it.
  void openDatabase(const char *name) {
    env_.set("QUARNPATH", dir_.str());
    ASSERT_EQ(quarn_create_database(name, &ca_), 0) << name;
    ASSERT_EQ(quarn_connect(name, nullptr, nullptr, &ca_), 0) << name;
  }
  void TearDown() override {
    sqlca ca{};
    quarn_rollback(&ca);
    quarn_connect_reset(&ca);
  }
  int exec(const std::string &sql) { return quarn_execute_immediate(sql.c_str(), &ca_); }
  // The database's text of the last failed statement.
  std::string error() {
    char text[1024];
    return sqlaintp_api(text, sizeof text, 1000, nullptr, &ca_) > 0 ? text : "";
  }

  TempDir dir_;
  ScopedEnv env_;
  sqlca ca_{};
};

}  // namespace keltest

#endif /* KEL_TEST_DB_H */
