// External routines: static function resolution (distinct types, promotion, the function path,
// -440), calls that reuse one frame from row to row, and the large-object service of the
// function runtime (sqludf_*) on a session's locators.  The routines called are those of the
// test routine library, found beside the engine's own library.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "engine.h"
#include "errors.h"
#include "routines.h"
#include "sqludf.h"

namespace quarn {
namespace {

class Routines : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quarnrouXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    ASSERT_EQ(createDatabase("ROU", true, &ca_), 0);
    ASSERT_EQ(Session::open("ROU", "", "", &s_, &ca_), 0);
  }
  void TearDown() override {
    s_.reset();
    std::filesystem::remove_all(dir_);
  }
  void exec(const std::string &sql) { ASSERT_EQ(s_->execImmediate(sql, &ca_), 0) << sql << ": " << ca_.sqlcode; }
  // Registers function name(sig) of schema as the test library's entry, with a fixed specific name.
  void function(const std::string &qualified, const std::string &sig, const std::string &returns,
                const std::string &entry, const std::string &specific) {
    exec("CREATE FUNCTION " + qualified + "(" + sig + ") RETURNS " + returns + " SPECIFIC " + specific +
         " EXTERNAL NAME 'quarntestroutines!" + entry + "' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL");
  }
  // The specific name resolution chooses, or the SQLCODE it fails with.
  std::string resolve(const std::string &schema, const std::string &name, const std::vector<QType> &args) {
    try {
      return resolveFunction(*s_, schema, name, 'S', args).specific;
    } catch (const QError &e) {
      return "SQLCODE " + std::to_string(e.sqlcode) + " " + e.sqlstate;
    }
  }
  // The rows of a query's first column; "-" for null; "SQLCODE n" when it fails.
  std::vector<std::string> column(const std::string &sql) {
    std::vector<std::string> out;
    std::unique_ptr<Statement> st;
    if (s_->prepare(sql, &st, &ca_) < 0) return {"SQLCODE " + std::to_string(ca_.sqlcode)};
    if (st->execute({}, &ca_) < 0) return {"SQLCODE " + std::to_string(ca_.sqlcode)};
    std::vector<Value> row;
    int rc;
    while ((rc = st->fetch(&row, &ca_)) >= 0 && rc != 100) out.push_back(row[0].isNull() ? "-" : row[0].str());
    if (rc < 0) out.push_back("SQLCODE " + std::to_string(rc));
    return out;
  }
  static QType type(Base b, int64_t len = 0) {
    QType t;
    t.base = b;
    t.length = len;
    return t;
  }
  static QType distinct(Base b, const std::string &schema, const std::string &name) {
    QType t = type(b);
    t.typeSchema = schema;
    t.typeName = name;
    return t;
  }
  std::string dir_;
  sqlca ca_{};
  std::unique_ptr<Session> s_;
};

TEST_F(Routines, DistinctTypesMatchOnlyTheirOwnOverload) {
  exec("CREATE DISTINCT TYPE s.money AS INTEGER WITH COMPARISONS");
  exec("CREATE DISTINCT TYPE s.count AS INTEGER WITH COMPARISONS");
  function("s.kind", "INTEGER", "VARCHAR(20)", "tkindint", "KINT");
  function("s.kind", "s.money", "VARCHAR(20)", "tkindmoney", "KMONEY");
  EXPECT_EQ(resolve("S", "KIND", {distinct(Base::Integer, "S", "MONEY")}), "KMONEY");
  EXPECT_EQ(resolve("S", "KIND", {type(Base::Integer)}), "KINT");
  EXPECT_EQ(resolve("S", "KIND", {type(Base::SmallInt)}), "KINT");
  // A distinct type is not its source type, and another distinct type over INTEGER fits neither.
  EXPECT_EQ(resolve("S", "KIND", {distinct(Base::Integer, "S", "COUNT")}), "SQLCODE -440 42884");

  // Through SQL: columns of the two types select different routines of one name.
  exec("CREATE TABLE s.t (m s.money, i INTEGER)");
  exec("INSERT INTO s.t VALUES (s.money(5), 5)");
  EXPECT_EQ(column("SELECT s.kind(m) FROM s.t"), std::vector<std::string>{"money"});
  EXPECT_EQ(column("SELECT s.kind(i) FROM s.t"), std::vector<std::string>{"integer"});
}

// A value of unknown type (Base::None) fits any parameter, and it used to take the first fitting
// overload created: a column whose distinct type the translator had lost chose another distinct
// type's routine.  Now it is refused where the fitting overloads differ in a distinct type.
TEST_F(Routines, AnUnknownTypeNeverChoosesBetweenDistinctTypes) {
  exec("CREATE DISTINCT TYPE s.money AS INTEGER WITH COMPARISONS");
  exec("CREATE DISTINCT TYPE s.count AS INTEGER WITH COMPARISONS");
  function("s.kind", "s.money", "VARCHAR(20)", "tkindmoney", "KMONEY");
  function("s.kind", "INTEGER", "VARCHAR(20)", "tkindint", "KINT");
  const QType unknown;
  EXPECT_EQ(resolve("S", "KIND", {unknown}), "SQLCODE -440 42884");
  // Known arguments still choose.
  EXPECT_EQ(resolve("S", "KIND", {distinct(Base::Integer, "S", "MONEY")}), "KMONEY");
  // A second argument of known type may leave one overload: then it is chosen.
  function("s.pair", "s.money, INTEGER", "VARCHAR(20)", "tkindmoney", "PMONEY");
  function("s.pair", "s.count, VARCHAR(10)", "VARCHAR(20)", "tkindint", "PCOUNT");
  EXPECT_EQ(resolve("S", "PAIR", {unknown, type(Base::Integer)}), "PMONEY");
  EXPECT_EQ(resolve("S", "PAIR", {unknown, type(Base::Varchar, 3)}), "PCOUNT");
  // Both fit: the known argument would prefer one, but the unknown could be either type.
  function("s.pair", "s.count, BIGINT", "VARCHAR(20)", "tkindint", "PCOUNTB");
  EXPECT_EQ(resolve("S", "PAIR", {unknown, type(Base::Integer)}), "SQLCODE -440 42884");
  // Overloads of built-in types alone are chosen as before (the closest fit, then the first).
  function("s.num", "INTEGER", "VARCHAR(20)", "tkindint", "NINT");
  function("s.num", "DOUBLE", "VARCHAR(20)", "tkindint", "NDBL");
  EXPECT_EQ(resolve("S", "NUM", {unknown}), "NINT");
  // A table function is resolved by the same rule.
  exec("CREATE FUNCTION s.rows(s.money) RETURNS TABLE(i INTEGER) EXTERNAL NAME 'quarntestroutines!tseries' "
       "LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL");
  exec("CREATE FUNCTION s.rows(s.count) RETURNS TABLE(i INTEGER) EXTERNAL NAME 'quarntestroutines!tseries' "
       "LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL");
  EXPECT_THROW(resolveFunction(*s_, "S", "ROWS", 'T', {unknown}), QError);
  EXPECT_EQ(resolveFunction(*s_, "S", "ROWS", 'T', {distinct(Base::Integer, "S", "COUNT")}).params[0].type.typeName,
            "COUNT");
}

TEST_F(Routines, NoFittingFunctionIs440) {
  function("s.f", "INTEGER", "VARCHAR(20)", "tkindint", "FINT");
  EXPECT_EQ(resolve("S", "F", {type(Base::Varchar, 5)}), "SQLCODE -440 42884");        // no promotion to numbers
  EXPECT_EQ(resolve("S", "F", {type(Base::BigInt)}), "SQLCODE -440 42884");            // no demotion
  EXPECT_EQ(resolve("S", "F", {type(Base::Integer), type(Base::Integer)}), "SQLCODE -440 42884");  // arity
  EXPECT_EQ(resolve("S", "NOSUCH", {type(Base::Integer)}), "SQLCODE -440 42884");
  EXPECT_EQ(resolve("OTHER", "F", {type(Base::Integer)}), "SQLCODE -440 42884");       // other schema
  // A table function is not a scalar function of the same name.
  EXPECT_THROW(resolveFunction(*s_, "S", "F", 'T', {type(Base::Integer)}), QError);
  EXPECT_EQ(column("VALUES s.f('x')"), std::vector<std::string>{"SQLCODE -440"});
}

TEST_F(Routines, UnqualifiedNamesFollowTheFunctionPath) {
  function("a.g", "INTEGER", "VARCHAR(20)", "tkindint", "GA");
  function("b.g", "INTEGER", "VARCHAR(20)", "tkindmoney", "GB");
  s_->setPath({"A", "B"});
  EXPECT_EQ(resolve("", "G", {type(Base::Integer)}), "GA");
  s_->setPath({"B", "A"});
  EXPECT_EQ(resolve("", "G", {type(Base::Integer)}), "GB");
  EXPECT_EQ(column("VALUES g(1)"), std::vector<std::string>{"money"});
  // A qualified name ignores the path; a schema off the path is not searched.
  EXPECT_EQ(resolve("A", "G", {type(Base::Integer)}), "GA");
  s_->setPath({"B"});
  EXPECT_EQ(resolve("", "G", {type(Base::Integer)}), "GB");
  s_->setPath({"C"});
  EXPECT_EQ(resolve("", "G", {type(Base::Integer)}), "SQLCODE -440 42884");
  // A better fit in a later schema wins over a promotion in an earlier one.
  function("c.h", "DOUBLE", "VARCHAR(20)", "tkindint", "HC");
  function("d.h", "INTEGER", "VARCHAR(20)", "tkindint", "HD");
  s_->setPath({"C", "D"});
  EXPECT_EQ(resolve("", "H", {type(Base::Integer)}), "HD");
  EXPECT_EQ(resolve("", "H", {type(Base::Real)}), "HC");
}

TEST_F(Routines, OverloadsAreChosenByTheClosestPromotion) {
  function("s.o", "INTEGER", "VARCHAR(20)", "tkindint", "OINT");
  function("s.o", "DOUBLE", "VARCHAR(20)", "tkindint", "ODBL");
  function("s.o", "VARCHAR(10)", "VARCHAR(20)", "tkindtext", "OVC");
  function("s.o", "CLOB(1M)", "VARCHAR(20)", "tkindtext", "OCLOB");
  EXPECT_EQ(resolve("S", "O", {type(Base::SmallInt)}), "OINT");
  EXPECT_EQ(resolve("S", "O", {type(Base::Integer)}), "OINT");
  EXPECT_EQ(resolve("S", "O", {type(Base::BigInt)}), "ODBL");
  EXPECT_EQ(resolve("S", "O", {type(Base::Decimal, 5)}), "ODBL");
  EXPECT_EQ(resolve("S", "O", {type(Base::Char, 3)}), "OVC");
  EXPECT_EQ(resolve("S", "O", {type(Base::LongVarchar)}), "OCLOB");
  EXPECT_EQ(resolve("S", "O", {type(Base::Blob, 10)}), "SQLCODE -440 42884");
  // Two arguments: the best fit from the left decides.
  function("s.p", "INTEGER, DOUBLE", "VARCHAR(20)", "tkindint", "PID");
  function("s.p", "DOUBLE, INTEGER", "VARCHAR(20)", "tkindint", "PDI");
  EXPECT_EQ(resolve("S", "P", {type(Base::Integer), type(Base::Integer)}), "PID");
  EXPECT_EQ(resolve("S", "P", {type(Base::Real), type(Base::Integer)}), "PDI");
  // Through SQL: literals are typed as Quarn types them.
  EXPECT_EQ(column("VALUES s.o(7)"), std::vector<std::string>{"integer"});
  EXPECT_EQ(column("VALUES s.o('ab')"), std::vector<std::string>{"text:ab"});
}

// The call frame of a reference is reused for every row of a statement: an input must never show
// what an earlier row left in its buffer, and a result is read only up to what this call wrote.
TEST_F(Routines, ReusedFrameShowsEachRowItsOwnValues) {
  function("s.echo", "VARCHAR(20)", "VARCHAR(30)", "tkindtext", "ECHOVC");
  function("s.echoc", "CHAR(6)", "VARCHAR(30)", "tkindtext", "ECHOCH");
  exec("CREATE TABLE s.v (k INTEGER, v VARCHAR(20))");
  exec("INSERT INTO s.v VALUES (1, 'abcdefghijkl'), (2, 'xy'), (3, ''), (4, 'abcdef'), (5, 'q')");
  EXPECT_EQ(column("SELECT s.echo(v) FROM s.v ORDER BY k"),
            (std::vector<std::string>{"text:abcdefghijkl", "text:xy", "text:", "text:abcdef", "text:q"}));
  // CHAR inputs are padded with blanks to their length, whatever the previous row was.
  EXPECT_EQ(column("SELECT s.echoc(CAST(v AS CHAR(6))) FROM s.v WHERE k > 1 ORDER BY k"),
            (std::vector<std::string>{"text:xy    ", "text:      ", "text:abcdef", "text:q     "}));
  // An unterminated result is refused on the row that returns it, after terminated ones (rows
  // in insertion order: no sort, so the earlier rows are fetched before the failing call).
  function("s.bad", "INTEGER", "VARCHAR(5)", "tbad", "BAD");
  exec("CREATE TABLE s.m (k INTEGER, mode INTEGER)");
  exec("INSERT INTO s.m VALUES (1, 0), (2, 0), (3, 1)");
  EXPECT_EQ(column("SELECT s.bad(mode) FROM s.m"),
            (std::vector<std::string>{"fine", "fine", "SQLCODE -450"}));
  EXPECT_EQ(column("SELECT s.bad(mode) FROM s.m WHERE k < 3 ORDER BY k"), (std::vector<std::string>{"fine", "fine"}));
}

// An argument passed as terminated text was cut at its first zero byte without an error: the
// path "/a/b\0/c" selected b, and "New\0</b>" reached the routine as "New".  Such a value is
// refused with -171 (5UA05) naming the argument's position and the routine, for scalar and table
// functions and for procedures, whatever the declared type (CHAR, VARCHAR, FOR BIT DATA); values
// passed with their length (a locator, a QUARNDARI VARCHAR) still arrive whole.
TEST_F(Routines, AZeroByteInATerminatedArgumentIsRefused) {
  // textract and textracts take the scratchpad, the call type and DBINFO.
  exec("CREATE FUNCTION s.ext(VARCHAR(200), VARCHAR(100)) RETURNS VARCHAR(4000) SPECIFIC EXT EXTERNAL NAME "
       "'quarntestroutines!textract' LANGUAGE C PARAMETER STYLE QUARNSQL SCRATCHPAD FINAL CALL NO SQL DBINFO");
  function("s.echoc", "CHAR(10)", "VARCHAR(30)", "tkindtext", "ECHOCH");
  function("s.echob", "VARCHAR(10) FOR BIT DATA", "VARCHAR(30)", "tkindtext", "ECHOBIT");
  function("s.len", "CLOB(1K) AS LOCATOR", "INTEGER", "tloclen", "LOCLEN");
  exec("CREATE FUNCTION s.exts(VARCHAR(200), VARCHAR(100)) RETURNS TABLE(v VARCHAR(4000)) EXTERNAL NAME "
       "'quarntestroutines!textracts' LANGUAGE C PARAMETER STYLE QUARNSQL SCRATCHPAD FINAL CALL NO SQL DBINFO");
  const std::string doc = "'<a><b>1</b><c>2</c></a>'";
  const std::string zeroPath = "CAST(X'2F612F62002F63' AS VARCHAR(10))";  // "/a/b\0/c"
  // The message of the failure sql ends with; "no failure" when it succeeds.
  auto refusal = [&](const std::string &sql) {
    std::vector<std::string> rows = column(sql);
    return rows.empty() || rows.back().rfind("SQLCODE ", 0) != 0 ? std::string("no failure") : wholeFailureText(ca_);
  };
  auto refused = [](const std::string &position, const std::string &routine) {
    return "SQL0171N The data type, length or value of argument \"" + position + "\" of routine \"" + routine +
           "\" is incorrect.  SQLSTATE=5UA05";
  };
  EXPECT_EQ(refusal("VALUES s.ext(" + doc + ", " + zeroPath + ")"), refused("2", "S.EXT"));
  EXPECT_EQ(refusal("SELECT v FROM TABLE(s.exts(" + doc + ", " + zeroPath + ")) AS x"), refused("2", "S.EXTS"));
  EXPECT_EQ(refusal("VALUES s.echoc(CAST(X'4E6577003C2F623E' AS CHAR(10)))"), refused("1", "S.ECHOC"));
  EXPECT_EQ(refusal("VALUES s.echob(X'4E6577003C')"), refused("1", "S.ECHOB"));

  // Row by row through one frame: the rows before the value with a zero byte are answered, and
  // the frame serves the next statement.
  exec("CREATE TABLE s.p (k INTEGER, p VARCHAR(10))");
  exec("INSERT INTO s.p VALUES (1, '/a/c'), (2, " + zeroPath + "), (3, '/a/b')");
  EXPECT_EQ(column("SELECT s.ext(" + doc + ", p) FROM s.p"), (std::vector<std::string>{"2", "SQLCODE -171"}));
  EXPECT_EQ(column("SELECT s.ext(" + doc + ", p) FROM s.p WHERE k <> 2 ORDER BY k"),
            (std::vector<std::string>{"2", "1"}));
  EXPECT_EQ(column("VALUES s.echob(X'4E65773C')"), std::vector<std::string>{"text:New<"});
  // A large object by locator is passed with its length.
  EXPECT_EQ(column("VALUES s.len(CAST(X'4E6577003C' AS CLOB(1K)))"), std::vector<std::string>{"5"});

  // Procedures: an INOUT VARCHAR of the SQL convention is refused; the QUARNDARI convention
  // passes a VARCHAR with its length, so the routine reads it whole.
  exec("CREATE PROCEDURE s.tsql (IN n INTEGER, OUT doubled INTEGER, INOUT s VARCHAR(30)) EXTERNAL NAME "
       "'quarntestroutines!tsqlproc' LANGUAGE C PARAMETER STYLE SQL");
  exec("CREATE PROCEDURE s.tdari (IN n INTEGER, IN s VARCHAR(20), IN c CLOB(1K), OUT total INTEGER, OUT text "
       "VARCHAR(40), INOUT x INTEGER) EXTERNAL NAME 'quarntestroutines!tdari' LANGUAGE C PARAMETER STYLE QUARNDARI");
  const std::string zeroText("New\0</b>", 8);
  std::vector<Value> args{Value::integer(1), Value::null(), Value::text(zeroText)};
  std::vector<short> inds;
  EXPECT_EQ(s_->call("S.TSQL", &args, &inds, {}, &ca_), -171);
  EXPECT_EQ(wholeFailureText(ca_), refused("3", "S.TSQL"));
  args = {Value::integer(1), Value::null(), Value::text("New")};
  inds.clear();
  ASSERT_EQ(s_->call("S.TSQL", &args, &inds, {}, &ca_), 0) << ca_.sqlcode;
  EXPECT_EQ(args[2].str(), "New!");
  args = {Value::integer(1), Value::text(zeroText), Value::text("c"), Value::null(), Value::null(), Value::integer(0)};
  inds.clear();
  ASSERT_EQ(s_->call("S.TDARI", &args, &inds, {}, &ca_), 0) << ca_.sqlcode;
  EXPECT_EQ(args[4].str(), zeroText + ":c");
}

// A procedure's definition may name its library by path; the unregistered form ('library!entry')
// may not: it opened any file of the system by path and ran any symbol it found there.  Through
// either form, only the symbols the library itself defines are entries: abort, which the library
// reaches through the C library it depends on, ended the process.
TEST_F(Routines, OnlyADefinitionNamesItsLibraryByPath) {
  const std::string lib = routineLibraryDirs().back() + "/libquarntestroutines.so";
  ASSERT_TRUE(std::filesystem::is_regular_file(lib)) << lib;
  exec("CREATE PROCEDURE s.tdari (IN n INTEGER, IN s VARCHAR(20), IN c CLOB(1K), OUT total INTEGER, OUT text "
       "VARCHAR(40), INOUT x INTEGER) EXTERNAL NAME '" + lib + "!tdari' LANGUAGE C PARAMETER STYLE QUARNDARI");
  exec("CREATE PROCEDURE s.tabort () EXTERNAL NAME '" + lib + "!abort' LANGUAGE C PARAMETER STYLE QUARNDARI");
  auto tdariArgs = [] {
    return std::vector<Value>{Value::integer(5), Value::text("e"), Value::text("lob"), Value::null(), Value::null(),
                              Value::integer(4)};
  };
  std::vector<Value> args = tdariArgs();
  std::vector<short> inds;
  ASSERT_EQ(s_->call("S.TDARI", &args, &inds, {}, &ca_), 0) << ca_.sqlcode;
  EXPECT_EQ(args[3].i, 8);  // n + the length of c
  EXPECT_EQ(args[5].i, 8);  // x doubled

  args = tdariArgs();
  inds.clear();
  EXPECT_EQ(s_->call(lib + "!tdari", &args, &inds, {}, &ca_), -444);
  EXPECT_EQ(std::string(ca_.sqlstate, 5), "42724");
  args.clear();
  inds.clear();
  EXPECT_EQ(s_->call("S.TABORT", &args, &inds, {}, &ca_), -444);
  EXPECT_EQ(s_->call("quarntestroutines!abort", &args, &inds, {}, &ca_), -444);
}

// ------------------------------------------------------------------- the large-object service

class LobService : public Routines {
 protected:
  void TearDown() override {
    // Locators the runtime created outside a call stay with the session until freed.
    RoutineRuntime &rt = *s_->routineRuntime();
    for (uint32_t id : rt.created) s_->freeLocator(id);
    rt.created.clear();
    Routines::TearDown();
  }
};

TEST_F(LobService, LengthSubstrAndAppendWorkOnTheSessionsLocators) {
  SessionScope scope(s_.get());
  udf_locator loc = s_->createLocator(Value::text("hello world"));
  sqlint32 n = -1;
  ASSERT_EQ(sqludf_length(&loc, &n), 0);
  EXPECT_EQ(n, 11);

  unsigned char buf[16] = {};
  ASSERT_EQ(sqludf_substr(&loc, 7, 5, buf, &n), 0);
  EXPECT_EQ(n, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 5), "world");
  // At the end of the value fewer bytes come back; beyond it none.
  ASSERT_EQ(sqludf_substr(&loc, 10, 5, buf, &n), 0);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 2), "ld");
  ASSERT_EQ(sqludf_substr(&loc, 12, 5, buf, &n), 0);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(sqludf_substr(&loc, 1, 0, buf, &n), 0);
  EXPECT_EQ(n, 0);

  unsigned char more[] = {'!', '?'};
  ASSERT_EQ(sqludf_append(&loc, more, 2, &n), 0);
  EXPECT_EQ(n, 2);
  ASSERT_EQ(sqludf_length(&loc, &n), 0);
  EXPECT_EQ(n, 13);
  EXPECT_EQ(s_->locatorValue(loc)->s, "hello world!?");
  EXPECT_TRUE(s_->freeLocator(loc));
}

TEST_F(LobService, CreatedLocatorsStartEmptyAndKeepTheirKind) {
  SessionScope scope(s_.get());
  udf_locator *clob = nullptr, *blob = nullptr;
  ASSERT_EQ(sqludf_create_locator(SQL_TYP_CLOB_LOC, &clob), 0);
  ASSERT_EQ(sqludf_create_locator(SQL_TYP_BLOB_LOC, &blob), 0);
  ASSERT_NE(clob, nullptr);
  ASSERT_NE(blob, nullptr);
  EXPECT_NE(*clob, *blob);
  sqlint32 n = -1;
  ASSERT_EQ(sqludf_length(clob, &n), 0);
  EXPECT_EQ(n, 0);
  unsigned char data[] = {'a', 0, 'b'};
  ASSERT_EQ(sqludf_append(blob, data, 3, &n), 0);
  ASSERT_EQ(sqludf_append(blob, data, 0, &n), 0);
  EXPECT_EQ(n, 0);
  const Value *v = s_->locatorValue(*blob);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->kind, Value::Blob);
  EXPECT_EQ(v->s, std::string("a\0b", 3));
  EXPECT_EQ(s_->locatorValue(*clob)->kind, Value::Text);
  // Both are the runtime's, freed when the call that made them returns.
  EXPECT_EQ(s_->routineRuntime()->created.size(), 2u);
  EXPECT_EQ(sqludf_create_locator(12345, &clob), -171);
}

TEST_F(LobService, BadLocatorsAndArgumentsAreRefused) {
  SessionScope scope(s_.get());
  udf_locator loc = s_->createLocator(Value::text("abc"));
  udf_locator bad = loc + 1000;
  sqlint32 n = 77;
  unsigned char buf[8] = {};
  EXPECT_EQ(sqludf_length(&bad, &n), -423);
  EXPECT_EQ(sqludf_substr(&bad, 1, 1, buf, &n), -423);
  EXPECT_EQ(sqludf_append(&bad, buf, 1, &n), -423);
  EXPECT_EQ(n, 77);  // nothing written on failure
  // Positions start at 1; lengths are not negative; pointers are required.
  EXPECT_LT(sqludf_substr(&loc, 0, 1, buf, &n), 0);
  EXPECT_LT(sqludf_substr(&loc, 1, -1, buf, &n), 0);
  EXPECT_LT(sqludf_substr(&loc, 1, 1, nullptr, &n), 0);
  EXPECT_LT(sqludf_append(&loc, buf, -1, &n), 0);
  EXPECT_LT(sqludf_append(&loc, nullptr, 1, &n), 0);
  EXPECT_LT(sqludf_length(nullptr, &n), 0);
  EXPECT_LT(sqludf_length(&loc, nullptr), 0);
  EXPECT_LT(sqludf_create_locator(SQL_TYP_CLOB_LOC, nullptr), 0);
  EXPECT_EQ(s_->locatorValue(loc)->s, "abc");
  // A freed locator is no longer valid.
  ASSERT_TRUE(s_->freeLocator(loc));
  EXPECT_EQ(sqludf_length(&loc, &n), -423);
}

TEST_F(LobService, WithoutACurrentSessionNothingIsReached) {
  udf_locator loc = s_->createLocator(Value::text("abc"));
  SessionScope none(nullptr);
  sqlint32 n = 0;
  unsigned char buf[4];
  udf_locator *made = nullptr;
  EXPECT_EQ(sqludf_length(&loc, &n), kSqlNoConnection);
  EXPECT_EQ(sqludf_substr(&loc, 1, 1, buf, &n), kSqlNoConnection);
  EXPECT_EQ(sqludf_append(&loc, buf, 1, &n), kSqlNoConnection);
  EXPECT_EQ(sqludf_create_locator(SQL_TYP_CLOB_LOC, &made), kSqlNoConnection);
  EXPECT_TRUE(s_->freeLocator(loc));
}

}  // namespace
}  // namespace quarn
