// The translator: the SQLite text of the statement forms the extension sends, and parse errors.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "engine.h"
#include "errors.h"
#include "translate.h"

namespace quarn {
namespace {

class Translate : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarntrXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    setenv("QUARN_USER", "tester", 1);
    sqlca ca;
    ASSERT_EQ(createDatabase("TR", true, &ca), 0);
    ASSERT_EQ(Session::open("TR", "", "", &s_, &ca), 0);
    ASSERT_EQ(s_->execImmediate("CREATE TABLE q.t (a INT, b VARCHAR(10))", &ca), 0);
  }
  void TearDown() override {
    s_.reset();
    std::filesystem::remove_all(dir_);
    unsetenv("QUARN_USER");
  }
  std::string sql(const std::string &text) {
    s_->beginUnitOfWork(false);
    return translate(*s_, text).sql;
  }
  int code(const std::string &text) {
    try {
      s_->beginUnitOfWork(false);
      translate(*s_, text);
    } catch (const QError &e) {
      return e.sqlcode;
    }
    return 0;
  }
  std::string dir_;
  std::unique_ptr<Session> s_;
};

TEST_F(Translate, QualifiedNamesMapToOneSqliteNameWithExposedCorrelation) {
  EXPECT_EQ(sql("select q.t.a, t.b from q.t where a = ?"),
            "SELECT \"T\".\"A\", \"T\".\"B\" FROM \"Q.T\" AS \"T\" WHERE \"A\" = ?1");
  EXPECT_EQ(sql("SELECT x.a FROM q.t x FETCH FIRST 3 ROWS ONLY"),
            "SELECT \"X\".\"A\" FROM \"Q.T\" AS \"X\" LIMIT 3");
}

TEST_F(Translate, TableValuesWithColumnNamesAndCasts) {
  EXPECT_EQ(sql("SELECT * FROM TABLE(VALUES(CAST(? AS INTEGER), CAST(? AS VARCHAR(4)))) AS T(\"X\", \"Y\")"),
            "SELECT * FROM (SELECT NULL AS \"X\", NULL AS \"Y\" WHERE 0 UNION ALL SELECT * FROM (SELECT "
            "QCAST(?1, 'INTEGER') AS \"1\", QCAST(?2, 'VARCHAR(4)') AS \"2\")) AS \"T\"");
}

TEST_F(Translate, SpecialRegistersAndOrdering) {
  EXPECT_EQ(sql("VALUES(USER)"), "SELECT QUSER() AS \"1\"");
  EXPECT_EQ(sql("select a from q.t order by a desc"),
            "SELECT \"A\" FROM \"Q.T\" AS \"T\" ORDER BY 1 DESC NULLS FIRST");
}

// A string compared with a number is read as the number it spells (the text was compared, so
// a + 0 = '1' found nothing); the column side stays a bare column, so its index still serves.
TEST_F(Translate, StringComparedWithNumberIsReadAsNumberBesideABareColumn) {
  EXPECT_EQ(sql("select a from q.t where a = '1'"),
            "SELECT \"A\" FROM \"Q.T\" AS \"T\" WHERE \"A\" = QNUMBER('1')");
  EXPECT_EQ(sql("select a from q.t where b < 2"),
            "SELECT \"A\" FROM \"Q.T\" AS \"T\" WHERE QNUMBER(\"B\") < 2");
  EXPECT_EQ(sql("select a from q.t where b = 'x'"),
            "SELECT \"A\" FROM \"Q.T\" AS \"T\" WHERE \"B\" = ('x') COLLATE RTRIM");
}

TEST_F(Translate, BadStatementsGiveQuarnCodes) {
  EXPECT_EQ(code("SELECT a FROM q.nosuch"), kSqlUndefinedName);
  EXPECT_EQ(code("SELECT a q.t"), kSqlSyntax);
  EXPECT_EQ(code("SELECT a FROM q.t WHERE"), kSqlSyntax);
  EXPECT_EQ(code("SELECT nosuchfn(a) FROM q.t"), kSqlNoFunction);
  EXPECT_EQ(code("CREATE TABLE x (c VARCHAR(0))"), kSqlBadLength);
  EXPECT_EQ(code("SELECT a FROM aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.t"), kSqlNameTooLong);
  EXPECT_EQ(code("CALL p(1)"), kSqlNoFunction);  // no procedure P with one parameter
  EXPECT_EQ(code("COMMENT ON TABLE q.t IS 'x'"), kSqlStmtNotSupported);
}

// Nesting deep enough to exhaust the stack of this recursive translator (3,000 parentheses
// ended the process) is refused with -101 in every form that recurses; the nesting a statement
// may have is left to SQLite, which refuses far less.
TEST_F(Translate, DeepNestingIsRefusedInsteadOfExhaustingTheStack) {
  const int n = 20000;
  auto times = [](const char *s, int k) {
    std::string out;
    for (int i = 0; i < k; ++i) out += s;
    return out;
  };
  for (const std::string &text :
       {"VALUES " + times("(", n) + "1" + times(")", n), "VALUES " + times("- ", n) + "1",
        "SELECT a FROM q.t WHERE " + times("NOT ", n) + "a = 1", "SELECT a FROM " + times("(", n) + "q.t" + times(")", n),
        times("(", n) + "SELECT a FROM q.t" + times(")", n),
        "SELECT a FROM q.t WHERE a IN " + times("(SELECT a FROM q.t WHERE a IN ", n) + "(1)" + times(")", n)})
    EXPECT_EQ(code(text), kSqlTooComplex) << text.substr(0, 40);
  // Nesting that fits is translated as before.
  // (The outermost parentheses are the row's.)
  EXPECT_EQ(sql("VALUES " + times("(", 50) + "1" + times(")", 50)),
            "SELECT " + times("(", 49) + "1" + times(")", 49) + " AS \"1\"");
}

// A one-row INSERT into a table with BEFORE INSERT assignments stores its row in one plain
// INSERT (no temporary table for row triggers) when a value the assignments read can be
// computed again with the same result; otherwise the row is built by selects over it, so that
// generate_unique(), an identity or a function of the row is computed once.
TEST_F(Translate, OneRowWithBeforeAssignmentsIsStoredDirectlyOnlyWhenNothingIsComputedTwice) {
  sqlca ca;
  ASSERT_EQ(s_->execImmediate("CREATE TABLE q.r (k INT NOT NULL, a CHAR(13) FOR BIT DATA, c CHAR(13) FOR BIT DATA, "
                              "t VARCHAR(30))", &ca), 0) << ca.sqlcode;
  ASSERT_EQ(s_->execImmediate("CREATE TRIGGER q.r1 NO CASCADE BEFORE INSERT ON q.r REFERENCING NEW AS n FOR EACH ROW "
                              "MODE QUARNSQL WHEN (n.k > 0) SET n.c = generate_unique(), n.t = '\"quarn_new\".\"K\"'",
                              &ca), 0) << ca.sqlcode;
  ASSERT_EQ(s_->execImmediate("CREATE TRIGGER q.r2 NO CASCADE BEFORE INSERT ON q.r REFERENCING NEW AS n FOR EACH ROW "
                              "MODE QUARNSQL SET n.a = n.a", &ca), 0) << ca.sqlcode;
  std::string direct = sql("INSERT INTO q.r (k, a) VALUES (?, X'41')");
  EXPECT_EQ(direct.find("OFFSET"), std::string::npos) << direct;
  EXPECT_NE(direct.find("VALUES (?1, "), std::string::npos) << direct;
  EXPECT_NE(direct.find("CASE WHEN ((?1) > 0) THEN (QGENERATE_UNIQUE())"), std::string::npos) << direct;
  EXPECT_NE(direct.find("'\"quarn_new\".\"K\"'"), std::string::npos) << direct;  // text stays text
  // The second trigger reads a, given by a function: built by selects, the function computed once.
  std::string built = sql("INSERT INTO q.r (k, a) VALUES (1, generate_unique())");
  EXPECT_NE(built.find("LIMIT -1 OFFSET 0"), std::string::npos) << built;
  // Several rows keep the select form.
  EXPECT_NE(sql("INSERT INTO q.r (k) VALUES (1), (2)").find("OFFSET 0"), std::string::npos);
  // An assignment that reads what an earlier one computed keeps it too.
  ASSERT_EQ(s_->execImmediate("CREATE TRIGGER q.r3 NO CASCADE BEFORE INSERT ON q.r REFERENCING NEW AS n FOR EACH ROW "
                              "MODE QUARNSQL SET n.a = n.c", &ca), 0) << ca.sqlcode;
  EXPECT_NE(sql("INSERT INTO q.r (k) VALUES (3)").find("OFFSET 0"), std::string::npos);
}

// A BEFORE INSERT assignment may replace a value given by a parameter marker, the last one
// included: the INSERT still takes a value for every marker and stores the row.
TEST_F(Translate, OneRowWhoseMarkerValueAnAssignmentReplacesTakesEveryMarker) {
  sqlca ca;
  ASSERT_EQ(s_->execImmediate("CREATE TABLE q.m (k INT NOT NULL, v VARCHAR(10), n SMALLINT)", &ca), 0) << ca.sqlcode;
  ASSERT_EQ(s_->execImmediate("CREATE TRIGGER q.m1 NO CASCADE BEFORE INSERT ON q.m REFERENCING NEW AS r FOR EACH ROW "
                              "MODE QUARNSQL SET r.n = 7, r.v = 'set'", &ca), 0) << ca.sqlcode;
  std::unique_ptr<Statement> st;
  ASSERT_EQ(s_->prepare("INSERT INTO q.m (k, v, n) VALUES (?, ?, ?)", &st, &ca), 0) << ca.sqlcode;
  EXPECT_EQ(st->execute({Value::integer(1), Value::text("given"), Value::integer(2)}, &ca), 0) << ca.sqlcode;
  ASSERT_EQ(s_->prepare("SELECT k, v, n FROM q.m ORDER BY k", &st, &ca), 0) << ca.sqlcode;
  ASSERT_EQ(st->execute({}, &ca), 0) << ca.sqlcode;
  std::vector<Value> row;
  ASSERT_EQ(st->fetch(&row, &ca), 0) << ca.sqlcode;
  ASSERT_EQ(row.size(), 3u);
  EXPECT_EQ(row[0].i, 1);
  EXPECT_EQ(row[1].s, "set");
  EXPECT_EQ(row[2].i, 7);
  EXPECT_EQ(st->fetch(&row, &ca), 100);
}

}  // namespace
}  // namespace quarn
