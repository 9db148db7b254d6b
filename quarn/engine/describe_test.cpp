// Describing parameter markers and result columns: the contexts that give a marker its type,
// aliases and correlation names followed to their tables, and contexts that give none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "describe.h"
#include "engine.h"

namespace quarn {
namespace {

class Describe : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarndescXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    ASSERT_EQ(createDatabase("DESC", true, &ca_), 0);
    ASSERT_EQ(Session::open("DESC", "", "", &s_, &ca_), 0);
    ASSERT_EQ(s_->execImmediate("CREATE TABLE S.ORDERS (ONUM INTEGER NOT NULL, NOTE VARCHAR(12), AMOUNT DECIMAL(9,2))",
                                &ca_),
              0);
    ASSERT_EQ(s_->execImmediate("CREATE TABLE S.LINES (ONUM INTEGER, PART CHAR(8) NOT NULL)", &ca_), 0);
    ASSERT_EQ(s_->execImmediate("CREATE ALIAS S.ORD FOR S.ORDERS", &ca_), 0);
  }
  void TearDown() override {
    s_.reset();
    std::filesystem::remove_all(dir_);
  }
  // The types of the markers of sql, as "BASE(length)" texts; "?" for none.
  std::vector<std::string> params(const std::string &sql) {
    StatementShape shape;
    EXPECT_EQ(describeStatement(*s_, sql, &shape, &ca_), 0) << ca_.sqlcode;
    std::vector<std::string> out;
    for (const ParamInfo &p : shape.params)
      out.push_back(p.type.base == Base::None ? "?" : p.type.sqlText() + (p.nullable == 0 ? " NOT NULL" : ""));
    return out;
  }
  std::string dir_;
  sqlca ca_{};
  std::unique_ptr<Session> s_;
};

TEST_F(Describe, InsertValuesTakeTheirTargetColumns) {
  using V = std::vector<std::string>;
  EXPECT_EQ(params("INSERT INTO S.ORDERS VALUES (?, ?, ?)"), (V{"INTEGER NOT NULL", "VARCHAR(12)", "DECIMAL(9,2)"}));
  EXPECT_EQ(params("INSERT INTO S.ORD (NOTE, ONUM) VALUES (?, ?), (?, 1)"),
            (V{"VARCHAR(12)", "INTEGER NOT NULL", "VARCHAR(12)"}));
  // A marker inside an expression has no target of its own.
  EXPECT_EQ(params("INSERT INTO S.ORDERS (ONUM, NOTE) VALUES (? + 1, UPPER(?))"), (V{"?", "?"}));
}

TEST_F(Describe, ComparedMarkersTakeTheColumnOfTheirTable) {
  using V = std::vector<std::string>;
  EXPECT_EQ(params("SELECT L.PART FROM S.ORDERS O, S.LINES L WHERE L.ONUM = O.ONUM AND O.NOTE NOT LIKE ? AND "
                   "? = L.PART AND O.AMOUNT NOT BETWEEN ? AND ?"),
            (V{"VARCHAR(12)", "CHARACTER(8) NOT NULL", "DECIMAL(9,2)", "DECIMAL(9,2)"}));
  EXPECT_EQ(params("DELETE FROM S.ORD WHERE ONUM > ? OR NOTE IN (?, ?)"), (V{"INTEGER NOT NULL", "?", "?"}));
  EXPECT_EQ(params("UPDATE S.LINES SET PART = ?, ONUM = ONUM + ? WHERE ONUM = CAST(? AS BIGINT)"),
            (V{"CHARACTER(8) NOT NULL", "?", "BIGINT"}));
}

TEST_F(Describe, ColumnNullabilityAndFailures) {
  StatementShape shape;
  ASSERT_EQ(describeStatement(*s_, "SELECT ONUM, NOTE, ONUM + 1 FROM S.ORD", &shape, &ca_), 0);
  EXPECT_EQ(shape.columnNullable, (std::vector<int>{0, 1, -1}));
  EXPECT_EQ(describeStatement(*s_, "SELECT * FROM S.NOSUCH", &shape, &ca_), kSqlUndefinedName);
  EXPECT_EQ(describeStatement(*s_, "SELECT FROM", &shape, &ca_), kSqlSyntax);
  ASSERT_EQ(describeStatement(*s_, "CREATE TABLE S.X (A INT)", &shape, &ca_), 0);
  EXPECT_TRUE(shape.params.empty());
}

}  // namespace
}  // namespace quarn
