// Every built-in scalar function the translator provides, called with a NULL in each argument
// position: the result is NULL (COALESCE and VALUE only when all arguments are NULL, NULLIF
// when its first is), and a NULL where the function wants a constant is refused, never an
// answer.  A built-in added without sample arguments here fails the sweep.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <set>

#include "engine.h"
#include "errors.h"
#include "translate.h"

namespace quarn {
namespace {

// Sample arguments of each built-in: a call with these succeeds.  Positions listed in
// constants take only constants (a NULL there is an error).
struct Sample {
  std::vector<std::string> args;
  std::set<size_t> constants = {};
};

const std::map<std::string, Sample> &samples() {
  static const std::map<std::string, Sample> k = {
      {"GENERATE_UNIQUE", {{}}},
      {"LENGTH", {{"'abc'"}}}, {"RTRIM", {{"'ab '"}}}, {"LTRIM", {{"' ab'"}}}, {"STRIP", {{"' ab '"}}},
      {"TRIM", {{"' ab '"}}}, {"SUBSTR", {{"'abc'", "2", "1"}}}, {"SUBSTRING", {{"'abc'", "2", "1"}}},
      {"UPPER", {{"'ab'"}}}, {"UCASE", {{"'ab'"}}}, {"LOWER", {{"'AB'"}}}, {"LCASE", {{"'AB'"}}},
      {"COALESCE", {{"1", "2"}}}, {"VALUE", {{"1", "2"}}}, {"NULLIF", {{"1", "2"}}}, {"CONCAT", {{"'a'", "'b'"}}},
      {"HEX", {{"'ab'"}}}, {"ABS", {{"-1"}}}, {"ABSVAL", {{"-1"}}}, {"MOD", {{"7", "3"}}}, {"ROUND", {{"1.25", "1"}}},
      {"REPLACE", {{"'abc'", "'b'", "'x'"}}}, {"POSSTR", {{"'abc'", "'b'"}}}, {"LOCATE", {{"'b'", "'abc'", "1"}}},
      {"LEFT", {{"'abc'", "2"}}}, {"RIGHT", {{"'abc'", "2"}}}, {"FLOOR", {{"1.5"}}}, {"CEIL", {{"1.5"}}},
      {"CEILING", {{"1.5"}}}, {"SIGN", {{"-2"}}}, {"YEAR", {{"'2024-03-05'"}}}, {"MONTH", {{"'2024-03-05'"}}},
      {"DAY", {{"'2024-03-05'"}}}, {"HOUR", {{"'10.20.30'"}}}, {"MINUTE", {{"'10.20.30'"}}},
      {"SECOND", {{"'10.20.30'"}}}, {"SMALLINT", {{"'5'"}}}, {"INTEGER", {{"'5'"}}}, {"INT", {{"'5'"}}},
      {"BIGINT", {{"'5'"}}}, {"DOUBLE", {{"'5'"}}}, {"FLOAT", {{"'5'"}}}, {"DOUBLE_PRECISION", {{"'5'"}}},
      {"REAL", {{"'5'"}}}, {"DATE", {{"'2024-03-05'"}}}, {"TIME", {{"'10.20.30'"}}},
      {"TIMESTAMP", {{"'2024-03-05-10.20.30'"}}}, {"DECIMAL", {{"1.5", "5", "2"}, {1, 2}}},
      {"DEC", {{"1.5", "5", "2"}, {1, 2}}}, {"CHAR", {{"'ab'", "3"}, {1}}}, {"VARCHAR", {{"'ab'", "3"}, {1}}},
      {"CLOB", {{"'ab'", "3"}, {1}}}, {"BLOB", {{"'ab'", "3"}, {1}}}, {"LONG_VARCHAR", {{"'ab'"}}},
      {"DIGITS", {{"123"}}}, {"DAYS", {{"'2024-03-05'"}}}, {"TIMESTAMP", {{"'2024-03-05'", "'10.20.30'"}}},
      {"VARCHAR_FORMAT", {{"TIMESTAMP('2024-03-05-10.20.30')", "'YYYY-MM-DD'"}}},
      {"TRANSLATE", {{"'abc'", "'xy'", "'ab'", "'-'"}}},
  };
  return k;
}

class Builtins : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarnbiXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    ASSERT_EQ(createDatabase("BI", true, &ca_), 0);
    ASSERT_EQ(Session::open("BI", "", "", &s_, &ca_), 0);
  }
  void TearDown() override {
    s_.reset();
    std::filesystem::remove_all(dir_);
  }
  // Runs VALUES call: the SQLCODE, and whether the one value is NULL.
  int run(const std::string &call, bool *isNull) {
    std::unique_ptr<Statement> st;
    int rc = s_->prepare("VALUES " + call, &st, &ca_);
    if (rc < 0) return rc;
    rc = st->execute({}, &ca_);
    if (rc < 0) return rc;
    std::vector<Value> row;
    rc = st->fetch(&row, &ca_);
    if (rc < 0) return rc;
    *isNull = rc == 0 && !row.empty() && row[0].isNull();
    return rc;
  }
  // VALUES expr: the one value as text, or "ERROR <sqlcode>".
  std::string text(const std::string &expr) {
    std::unique_ptr<Statement> st;
    std::vector<Value> row;
    if (s_->prepare("VALUES " + expr, &st, &ca_) < 0 || st->execute({}, &ca_) < 0 || st->fetch(&row, &ca_) != 0 ||
        row.empty())
      return std::string("ERROR ") + std::to_string(ca_.sqlcode);
    return row[0].str();
  }
  std::string dir_;
  sqlca ca_{};
  std::unique_ptr<Session> s_;
};

std::string callText(const std::string &name, const std::vector<std::string> &args) {
  std::string out = name + "(";
  for (size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
  return out + ")";
}

TEST_F(Builtins, NullArgumentsGiveNullResults) {
  for (const BuiltinFunction &f : builtinFunctions()) {
    auto it = samples().find(f.name);
    ASSERT_NE(it, samples().end()) << f.name << " has no sample arguments in this test";
    const Sample &sample = it->second;
    bool isNull = true;
    ASSERT_GE(run(callText(f.name, sample.args), &isNull), 0) << callText(f.name, sample.args) << " " << ca_.sqlcode;
    EXPECT_FALSE(isNull) << callText(f.name, sample.args);
    // Every number of arguments the function takes with the sample values, each with a NULL
    // in each position.
    for (size_t n = static_cast<size_t>(f.minArgs); n <= sample.args.size(); ++n) {
      std::vector<std::string> form(sample.args.begin(), sample.args.begin() + static_cast<long>(n));
      if (run(callText(f.name, form), &isNull) < 0) continue;
      for (size_t k = 0; k < n; ++k) {
        std::vector<std::string> args = form;
        args[k] = "NULL";
        std::string text = callText(f.name, args);
        int rc = run(text, &isNull);
        if (sample.constants.count(k)) {
          EXPECT_LT(rc, 0) << text << " answered instead of refusing a NULL constant";
          continue;
        }
        ASSERT_GE(rc, 0) << text << " " << ca_.sqlcode;
        bool nullExpected = f.nullIfAnyNull || (std::string(f.name) == "NULLIF" && k == 0);
        EXPECT_EQ(isNull, nullExpected) << text;
      }
    }
  }
  bool isNull = false;
  ASSERT_EQ(run("COALESCE(CAST(NULL AS INTEGER), NULL)", &isNull), 0);
  EXPECT_TRUE(isNull);
}

// A double's text had 15 digits, which name another double for a computed value: a composed
// document's key 0.30000000000000004 read "0.3", and its child rows joined on it were not found.
// The text reads back as the same double, with 15 digits wherever they suffice.
TEST_F(Builtins, DoublesAsTextReadBackAsTheSameDouble) {
  EXPECT_EQ(text("CAST(0.1e0 + 0.2e0 AS VARCHAR(40))"), "0.30000000000000004");
  EXPECT_EQ(text("CAST(1.7976931348623157e308 AS VARCHAR(40))"), "1.7976931348623157e+308");
  EXPECT_EQ(text("0.1e0 + 0.2e0"), "0.30000000000000004");
  EXPECT_EQ(text("CAST(0.1e0 AS VARCHAR(40))"), "0.1");
  EXPECT_EQ(text("CAST(1.5e0 AS VARCHAR(40))"), "1.5");
  EXPECT_EQ(text("CAST(1e20 AS VARCHAR(40))"), "1e+20");
  EXPECT_EQ(text("CAST(3e0 AS VARCHAR(40))"), "3");
  EXPECT_EQ(text("CASE WHEN CAST(CAST(0.1e0 + 0.2e0 AS VARCHAR(40)) AS DOUBLE) = 0.1e0 + 0.2e0 THEN 'same' ELSE "
                 "'other' END"),
            "same");
}

// A DECIMAL has no negative zero: -0.05 cut to one digit is 0.0.  The cast gave "-0.0" while the
// same value stored read "0.0", and verifying a side table found a difference that repairing it
// could never remove.
TEST_F(Builtins, DecimalsCutToZeroHaveNoSign) {
  EXPECT_EQ(text("RTRIM(CHAR(CAST('-0.05' AS DECIMAL(4,1))))"), "0.0");
  EXPECT_EQ(text("RTRIM(CHAR(CAST(-0.001 AS DECIMAL(5,2))))"), "0.00");
  EXPECT_EQ(text("RTRIM(CHAR(CAST('-0.15' AS DECIMAL(4,1))))"), "-0.1");
  EXPECT_EQ(text("CAST(CAST('-0.05' AS DECIMAL(4,1)) AS VARCHAR(10))"), "0.0");
}

}  // namespace
}  // namespace quarn
