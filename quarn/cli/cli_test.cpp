// The call-level interface driven as composition, decomposition and the administration command
// drive it: prepared statements re-executed with described parameters, LOB locators, parent and
// child cursors, units of work shared with the caller, diagnostics and bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kel_test_env.h"
#include "quarnapp.h"
#include "sqlcli.h"

namespace {

SQLCHAR *sqlText(const char *s) { return reinterpret_cast<SQLCHAR *>(const_cast<char *>(s)); }

// The SQLSTATE of the first diagnostic record, with its native code and text.
std::string stateOf(SQLSMALLINT type, SQLHANDLE h, SQLINTEGER *native = nullptr, std::string *text = nullptr) {
  SQLCHAR state[6] = "";
  SQLCHAR msg[SQL_MAX_MESSAGE_LENGTH] = "";
  SQLINTEGER code = 0;
  SQLSMALLINT len = 0;
  if (SQLGetDiagRec(type, h, 1, state, &code, msg, sizeof msg, &len) == SQL_NO_DATA) return "";
  if (native) *native = code;
  if (text) *text = reinterpret_cast<char *>(msg);
  return reinterpret_cast<char *>(state);
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.set("QUARNPATH", dir_.str());
    env_.set("QUARN_LOCKTIMEOUT", "2000");
    ASSERT_EQ(quarn_create_database("CLIDB", &ca_), 0);
    ASSERT_EQ(quarn_connect("clidb", nullptr, nullptr, &ca_), 0);
    ASSERT_EQ(exec("CREATE TABLE CLITEST.T (ID INTEGER NOT NULL, NAME VARCHAR(10), DOC CLOB(1M), "
                   "PRICE DECIMAL(7,2), LABEL VARCHAR(30))"),
              0);
    ASSERT_EQ(quarn_commit(&ca_), 0);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &henv_), SQL_SUCCESS);
    ASSERT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv_, &hdbc_), SQL_SUCCESS);
  }
  void TearDown() override {
    SQLDisconnect(hdbc_);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc_), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv_), SQL_SUCCESS);
    quarn_rollback(&ca_);
    quarn_connect_reset(&ca_);
  }
  int exec(const char *sql) { return quarn_execute_immediate(sql, &ca_); }
  // Connects hdbc_ as the extension does: autocommit off, then an empty data-source name.
  void attach() {
    ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(hdbc_, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0),
              SQL_SUCCESS);
    ASSERT_EQ(SQLSetConnectAttr(hdbc_, SQL_ATTR_CHAR_CONVERSION, reinterpret_cast<SQLPOINTER>(0), 0), SQL_SUCCESS);
    SQLCHAR empty[] = "";
    ASSERT_EQ(SQLConnect(hdbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS), SQL_SUCCESS);
  }
  SQLHANDLE newStmt() {
    SQLHANDLE st = SQL_NULL_HANDLE;
    EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc_, &st), SQL_SUCCESS);
    return st;
  }
  // Rows of CLITEST.T as the application's own connection sees them.
  int rowCount() {
    quarn_stmt *q = nullptr;
    EXPECT_EQ(quarn_prepare("SELECT COUNT(*) FROM CLITEST.T", &q, &ca_), 0);
    sqlint32 n = -1;
    quarn_hostvar out{SQL_TYP_INTEGER, 4, &n, nullptr};
    EXPECT_EQ(quarn_open(q, 0, nullptr, &ca_), 0);
    EXPECT_EQ(quarn_fetch(q, 1, &out, &ca_), 0);
    quarn_free_stmt(q);
    return n;
  }

  keltest::TempDir dir_;
  keltest::ScopedEnv env_;
  sqlca ca_{};
  SQLHANDLE henv_ = SQL_NULL_HANDLE, hdbc_ = SQL_NULL_HANDLE;
};

TEST_F(Cli, EmptyDataSourceJoinsCurrentSessionAndCallerRollbackUndoesRows) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID) VALUES (1)"), 0);  // uncommitted row of the caller
  attach();
  SQLHANDLE st = newStmt();
  // The caller's uncommitted row is visible and its write lock is no obstacle.
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT COUNT(*) FROM CLITEST.T"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER n = 0;
  ASSERT_EQ(SQLBindCol(st, 1, SQL_C_LONG, &n, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  EXPECT_EQ(n, 1);
  ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (?)"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id = 0;
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr), SQL_SUCCESS);
  for (id = 2; id <= 4; ++id) ASSERT_EQ(SQLExecute(st), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 4);
  // Autocommit stays off on a connection that joined the caller's unit of work.
  EXPECT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "01S02");
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, st), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  ASSERT_EQ(quarn_rollback(&ca_), 0);
  EXPECT_EQ(rowCount(), 0);
}

TEST_F(Cli, EmptyDataSourceWithoutCurrentSessionFails) {
  quarn_session *saved = quarn_current_session();
  quarn_set_current_session(nullptr);
  SQLCHAR empty[] = "";
  EXPECT_EQ(SQLConnect(hdbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS), SQL_ERROR);
  SQLINTEGER native = 0;
  std::string text;
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_, &native, &text), "08001");
  EXPECT_EQ(native, -1024);
  // The text names the record's state (it said 08003 before).
  EXPECT_NE(text.find("SQL1024N"), std::string::npos) << text;
  EXPECT_NE(text.find("SQLSTATE=08001"), std::string::npos) << text;
  quarn_set_current_session(saved);
}

TEST_F(Cli, NamedDataSourceIsASessionOfItsOwn) {
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  SQLHANDLE st = newStmt();
  // Autocommit on: the row is committed and the application's session sees it.
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (1)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 1);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  // Autocommit off: its own unit of work, ended by SQLEndTran; disconnecting in the middle of
  // it is refused.
  ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (2)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(hdbc_), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "25000");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 1);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);

  EXPECT_EQ(SQLConnect(hdbc_, sqlText("NOSUCHDB"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
  SQLINTEGER native = 0;
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_, &native), "08001");
  EXPECT_EQ(native, -1013);
}

// Decomposition: one prepared INSERT per table, re-executed per row; the described parameter
// size catches a value that is too long before the statement runs.
TEST_F(Cli, PreparedInsertReexecutedWithDescribedParameters) {
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLPrepare(st, sqlText("INSERT INTO CLITEST.T (ID, NAME) VALUES (?, ?)"), SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT nParams = 0;
  ASSERT_EQ(SQLNumParams(st, &nParams), SQL_SUCCESS);
  ASSERT_EQ(nParams, 2);
  SQLSMALLINT type = 0, digits = -1, nullable = -1;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(st, 1, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);
  EXPECT_EQ(nullable, SQL_NO_NULLS);
  ASSERT_EQ(SQLDescribeParam(st, 2, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(nullable, SQL_NULLABLE);

  struct Row { const char *id; const char *name; };
  const Row rows[] = {{"1", "short"}, {"2", "twelve chars"}, {"3", ""}, {"4", "ten chars!"}};
  char idBuf[16], nameBuf[64];
  SQLLEN idInd = SQL_NTS, nameInd = SQL_NTS;
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, 0, idBuf, sizeof idBuf, &idInd),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, type, size, 0, nameBuf, sizeof nameBuf, &nameInd),
            SQL_SUCCESS);
  std::vector<std::string> refused;
  for (const Row &r : rows) {
    std::snprintf(idBuf, sizeof idBuf, "%s", r.id);
    std::snprintf(nameBuf, sizeof nameBuf, "%s", r.name);
    if (std::strlen(r.name) > size) {
      refused.push_back(r.name);
      continue;
    }
    nameInd = r.name[0] ? SQL_NTS : SQL_NULL_DATA;  // an empty value is NULL
    ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << r.id;
  }
  EXPECT_EQ(refused, std::vector<std::string>{"twelve chars"});
  // An explicit length takes only that many bytes.
  std::snprintf(idBuf, sizeof idBuf, "5");
  std::snprintf(nameBuf, sizeof nameBuf, "abcdef");
  nameInd = 3;
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS);
  // Sent anyway, the long value fails in the engine.
  std::snprintf(idBuf, sizeof idBuf, "6");
  std::snprintf(nameBuf, sizeof nameBuf, "twelve chars");
  nameInd = SQL_NTS;
  EXPECT_EQ(SQLExecute(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22001");

  SQLHANDLE q = newStmt();
  ASSERT_EQ(SQLExecDirect(q, sqlText("SELECT ID, NAME FROM CLITEST.T ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id = 0;
  char name[11];
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(q, 1, SQL_C_LONG, &id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(q, 2, SQL_C_CHAR, name, sizeof name, &ind), SQL_SUCCESS);
  std::string seen;
  while (SQLFetch(q) == SQL_SUCCESS) seen += std::to_string(id) + "=" + (ind == SQL_NULL_DATA ? "NULL" : name) + ";";
  EXPECT_EQ(seen, "1=short;3=NULL;4=ten chars!;5=abc;");
  SQLFreeHandle(SQL_HANDLE_STMT, q);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(Cli, DescribeGivesCatalogTypesSizesAndNullability) {
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLPrepare(st, sqlText("SELECT ID, LABEL, DOC, PRICE, ID + 1 FROM CLITEST.T WHERE LABEL = ? AND "
                                   "? < PRICE AND ID BETWEEN ? AND ?"),
                       SQL_NTS),
            SQL_SUCCESS);
  SQLSMALLINT cols = 0;
  ASSERT_EQ(SQLNumResultCols(st, &cols), SQL_SUCCESS);
  ASSERT_EQ(cols, 5);
  struct Expect { const char *name; SQLSMALLINT type; SQLULEN size; SQLSMALLINT digits; SQLSMALLINT nullable; };
  const Expect expect[] = {{"ID", SQL_INTEGER, 10, 0, SQL_NO_NULLS}, {"LABEL", SQL_VARCHAR, 30, 0, SQL_NULLABLE},
                           {"DOC", SQL_CLOB, 1048576, 0, SQL_NULLABLE}, {"PRICE", SQL_DECIMAL, 7, 2, SQL_NULLABLE}};
  for (SQLUSMALLINT k = 1; k <= 4; ++k) {
    SQLCHAR name[32];
    SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(st, k, name, sizeof name, &nameLen, &type, &size, &digits, &nullable), SQL_SUCCESS);
    const Expect &e = expect[k - 1];
    EXPECT_STREQ(reinterpret_cast<char *>(name), e.name);
    EXPECT_EQ(type, e.type) << e.name;
    EXPECT_EQ(size, e.size) << e.name;
    EXPECT_EQ(digits, e.digits) << e.name;
    EXPECT_EQ(nullable, e.nullable) << e.name;
  }
  SQLSMALLINT nullable = 0;
  ASSERT_EQ(SQLDescribeCol(st, 5, nullptr, 0, nullptr, nullptr, nullptr, nullptr, &nullable), SQL_SUCCESS);
  EXPECT_EQ(nullable, SQL_NULLABLE_UNKNOWN);
  // Markers take the type of the column they are compared with, on either side.
  const SQLSMALLINT paramTypes[] = {SQL_VARCHAR, SQL_DECIMAL, SQL_INTEGER, SQL_INTEGER};
  for (SQLUSMALLINT k = 1; k <= 4; ++k) {
    SQLSMALLINT type = 0;
    ASSERT_EQ(SQLDescribeParam(st, k, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(type, paramTypes[k - 1]) << k;
  }
  // UPDATE assignments and CAST; a marker in an expression has no type of its own.
  ASSERT_EQ(SQLPrepare(st, sqlText("UPDATE CLITEST.T SET LABEL = ?, PRICE = PRICE + ? WHERE ID = CAST(? AS SMALLINT)"),
                       SQL_NTS),
            SQL_SUCCESS);
  SQLSMALLINT type = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(st, 1, &type, &size, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 30u);
  ASSERT_EQ(SQLDescribeParam(st, 2, &type, &size, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 32672u);
  ASSERT_EQ(SQLDescribeParam(st, 3, &type, nullptr, nullptr, nullptr), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_SMALLINT);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Composition: a CLOB column bound as a locator, read and freed through the embedded runtime.
TEST_F(Cli, ClobColumnBoundAsLocatorIsReadableThroughTheRuntime) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID, DOC) VALUES (1, '<doc>hello</doc>')"), 0);
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT ID, DOC FROM CLITEST.T"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER loc = 0;
  SQLLEN ind = 0;
  ASSERT_EQ(SQLBindCol(st, 2, SQL_C_CLOB_LOCATOR, &loc, 0, &ind), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  ASSERT_GT(ind, 0);
  EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
  EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);

  sqluint32 locator = static_cast<sqluint32>(loc);
  quarn_hostvar in{SQL_TYP_CLOB_LOCATOR, 4, &locator, nullptr};
  char text[32] = "";
  quarn_hostvar out{SQL_TYP_CSTR, sizeof text, text, nullptr};
  quarn_stmt *q = nullptr;
  ASSERT_EQ(quarn_prepare("VALUES SUBSTR(CAST(? AS CLOB(1M)), 6, 5)", &q, &ca_), 0);
  ASSERT_EQ(quarn_open(q, 1, &in, &ca_), 0);
  ASSERT_EQ(quarn_fetch(q, 1, &out, &ca_), 0);
  EXPECT_STREQ(text, "hello");
  quarn_free_stmt(q);
  EXPECT_EQ(quarn_free_locator(locator, &ca_), 0);
  EXPECT_EQ(quarn_free_locator(locator, &ca_), -423);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Composition: a child query prepared once and re-executed for every parent row with the
// parent's key bound as its parameter.
TEST_F(Cli, ChildQueryReexecutedPerParentRow) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.ORDERS (ONUM INTEGER NOT NULL, CUSTOMER VARCHAR(20))"), 0);
  ASSERT_EQ(exec("CREATE TABLE CLITEST.PARTS (ONUM INTEGER NOT NULL, PART VARCHAR(20))"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.ORDERS VALUES (1, 'ann'), (2, 'bob'), (3, 'cid')"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.PARTS VALUES (1, 'bolt'), (1, 'nut'), (3, 'gear')"), 0);
  attach();
  SQLHANDLE parent = newStmt(), child = newStmt();
  ASSERT_EQ(SQLExecDirect(parent, sqlText("SELECT ONUM, CUSTOMER FROM CLITEST.ORDERS ORDER BY ONUM"), SQL_NTS),
            SQL_SUCCESS);
  char key[3001], customer[3001], part[3001];
  SQLLEN keyInd = 0, customerInd = 0, partInd = 0;
  ASSERT_EQ(SQLBindCol(parent, 1, SQL_C_CHAR, key, sizeof key, &keyInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(parent, 2, SQL_C_CHAR, customer, sizeof customer, &customerInd), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(child, sqlText("SELECT \"PARTS\".\"PART\" FROM \"CLITEST\".\"PARTS\" WHERE "
                                      "\"CLITEST\".\"PARTS\".\"ONUM\" = ? ORDER BY PART"),
                       SQL_NTS),
            SQL_SUCCESS);
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLDescribeParam(child, 1, &type, &size, &digits, &nullable), SQL_SUCCESS);
  EXPECT_EQ(type, SQL_INTEGER);
  ASSERT_EQ(SQLBindParameter(child, 1, SQL_PARAM_INPUT, SQL_C_CHAR, type, size, digits, key, sizeof key, &keyInd),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(child, 1, SQL_C_CHAR, part, sizeof part, &partInd), SQL_SUCCESS);
  std::string doc;
  SQLRETURN rc;
  while ((rc = SQLFetch(parent)) == SQL_SUCCESS) {
    doc += std::string("<order who=\"") + customer + "\">";
    ASSERT_EQ(SQLExecute(child), SQL_SUCCESS);
    while ((rc = SQLFetch(child)) == SQL_SUCCESS) doc += std::string("<part>") + part + "</part>";
    ASSERT_EQ(rc, SQL_NO_DATA);
    ASSERT_EQ(SQLFreeStmt(child, SQL_CLOSE), SQL_SUCCESS);
    doc += "</order>";
  }
  ASSERT_EQ(rc, SQL_NO_DATA);
  EXPECT_EQ(doc, "<order who=\"ann\"><part>bolt</part><part>nut</part></order><order who=\"bob\"></order>"
                 "<order who=\"cid\"><part>gear</part></order>");
  SQLFreeHandle(SQL_HANDLE_STMT, child);
  SQLFreeHandle(SQL_HANDLE_STMT, parent);
}

// Character data bound for a numeric parameter is the number it spells: compared with an
// expression of no column type (a CAST, k + 0) the text '1' matched nothing before.  For an
// integer parameter only an integer text converts; '1.5' stays text for the statement to refuse.
TEST_F(Cli, CharacterDataForANumericParameterIsItsNumber) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.KEYS (K INTEGER, D DECIMAL(5,2))"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.KEYS VALUES (1, 1.50), (2, 2.25)"), 0);
  attach();
  SQLHANDLE st = newStmt();
  auto countWhere = [&](const char *sql, SQLSMALLINT type, const char *value) {
    char text[32];
    std::snprintf(text, sizeof text, "%s", value);
    SQLLEN ind = SQL_NTS, countInd = 0;
    SQLINTEGER n = -1;
    EXPECT_EQ(SQLPrepare(st, sqlText(sql), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, type, 10, 0, text, sizeof text, &ind), SQL_SUCCESS);
    // A value the statement refuses fails the execution or the fetch.
    SQLRETURN rc = SQLExecute(st);
    if (rc == SQL_SUCCESS) {
      EXPECT_EQ(SQLBindCol(st, 1, SQL_C_LONG, &n, sizeof n, &countInd), SQL_SUCCESS);
      rc = SQLFetch(st);
    }
    EXPECT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
    return rc == SQL_SUCCESS ? static_cast<int>(n) : -1;
  };
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.KEYS WHERE CAST(K AS INTEGER) = ?", SQL_INTEGER, "1"), 1);
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.KEYS WHERE K + 0 = ?", SQL_INTEGER, " 2 "), 1);
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.KEYS WHERE D * 1 = ?", SQL_DECIMAL, "2.25"), 1);
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.KEYS WHERE K + 0 = ?", SQL_VARCHAR, "1"), 0);
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.KEYS WHERE K = CAST(? AS INTEGER)", SQL_INTEGER, "1.5"), -1);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(Cli, FetchTruncatesConvertsAndReportsNulls) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID, LABEL, PRICE) VALUES (7, 'abcdefghij', 12.5), (8, NULL, NULL)"), 0);
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT LABEL, PRICE, ID FROM CLITEST.T ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
  char label[5];
  SQLLEN labelInd = 0, priceInd = 0;
  double price = 0;
  SQLSMALLINT id = 0;
  ASSERT_EQ(SQLBindCol(st, 1, SQL_C_CHAR, label, sizeof label, &labelInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(st, 2, SQL_C_DOUBLE, &price, 0, &priceInd), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(st, 3, SQL_C_SHORT, &id, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "01004");
  EXPECT_STREQ(label, "abcd");
  EXPECT_EQ(labelInd, 10);
  EXPECT_DOUBLE_EQ(price, 12.5);
  EXPECT_EQ(id, 7);
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  EXPECT_EQ(labelInd, SQL_NULL_DATA);
  EXPECT_EQ(priceInd, SQL_NULL_DATA);
  EXPECT_EQ(SQLFetch(st), SQL_NO_DATA);
  // A NULL that meets no indicator.
  ASSERT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(st, 1, SQL_C_CHAR, label, sizeof label, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT LABEL FROM CLITEST.T WHERE ID = 8"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22002");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(Cli, FailingStatementGivesStateNativeCodeAndText) {
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT * FROM CLITEST.NOSUCH"), SQL_NTS), SQL_ERROR);
  SQLINTEGER native = 0;
  std::string text;
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st, &native, &text), "42704");
  EXPECT_EQ(native, -204);
  EXPECT_NE(text.find("SQL0204N"), std::string::npos) << text;
  EXPECT_NE(text.find("CLITEST.NOSUCH"), std::string::npos) << text;
  SQLCHAR state[6], small[8];
  SQLSMALLINT len = 0;
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, st, 1, state, &native, small, sizeof small, &len), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(len, static_cast<SQLSMALLINT>(text.size()));
  EXPECT_STREQ(reinterpret_cast<char *>(small), text.substr(0, 7).c_str());
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, st, 2, state, &native, small, sizeof small, &len), SQL_NO_DATA);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_STMT, st, 0, state, &native, small, sizeof small, &len), SQL_ERROR);
  // A constraint failure, then a successful call clears the records.
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (NAME) VALUES ('x')"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st, &native), "23502");
  EXPECT_EQ(native, -407);
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (1)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Savepoints through the interface, on a connection joined to the caller's unit of work (as a
// procedure's is): rows after the savepoint go, the caller's rows stay, and an unknown name is
// a diagnostic with the engine's code.
TEST_F(Cli, SavepointStatementsOnAJoinedConnection) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID) VALUES (1)"), 0);
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLPrepare(st, sqlText("SAVEPOINT cli1 ON ROLLBACK RETAIN CURSORS"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (2)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 2);
  ASSERT_EQ(SQLExecDirect(st, sqlText("ROLLBACK TO SAVEPOINT cli1"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 1);
  ASSERT_EQ(SQLExecDirect(st, sqlText("RELEASE SAVEPOINT cli1"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(st, sqlText("ROLLBACK TO SAVEPOINT cli1"), SQL_NTS), SQL_ERROR);
  SQLINTEGER native = 0;
  std::string text;
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st, &native, &text), "3B001");
  EXPECT_EQ(native, -880);
  EXPECT_NE(text.find("SQL0880N"), std::string::npos) << text;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  // The caller's unit of work goes on: its row is there until it rolls back.
  EXPECT_EQ(rowCount(), 1);
  ASSERT_EQ(quarn_rollback(&ca_), 0);
  EXPECT_EQ(rowCount(), 0);
}

// A routine's diagnostic text reaches SQLGetDiagRec whole, though the communication area's
// token area holds 70 bytes with the routine's names.
TEST_F(Cli, DiagnosticRecordsShowARoutinesWholeText) {
  ASSERT_EQ(exec("CREATE FUNCTION CLITEST.TBAD(INTEGER) RETURNS VARCHAR(5) EXTERNAL NAME 'quarntestroutines!tbad' "
                 "LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL"),
            0);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  attach();
  SQLHANDLE st = newStmt();
  // The function runs when the row is fetched.
  ASSERT_EQ(SQLExecDirect(st, sqlText("VALUES CLITEST.TBAD(3)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(st), SQL_ERROR);
  SQLINTEGER native = 0;
  std::string text;
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st, &native, &text), "38T03");
  EXPECT_EQ(native, -443);
  std::string accents;
  for (int k = 0; k < 30; ++k) accents += "\xC3\xA9";
  EXPECT_NE(text.find("\"" + accents + "\""), std::string::npos) << text;
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

TEST_F(Cli, BadHandlesAreRefusedWithoutACrash) {
  int notAHandle = 0;
  EXPECT_EQ(SQLExecDirect(nullptr, sqlText("VALUES 1"), SQL_NTS), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLExecDirect(&notAHandle, sqlText("VALUES 1"), SQL_NTS), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFetch(henv_), SQL_INVALID_HANDLE);                // an environment is no statement
  EXPECT_EQ(SQLConnect(henv_, nullptr, 0, nullptr, 0, nullptr, 0), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, hdbc_), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLGetDiagRec(SQL_HANDLE_DBC, &notAHandle, 1, nullptr, nullptr, nullptr, 0, nullptr), SQL_INVALID_HANDLE);
  SQLHANDLE out = &notAHandle;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, henv_, &out), SQL_INVALID_HANDLE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_DBC, henv_, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_ENV, henv_), "HY009");
  EXPECT_EQ(SQLAllocHandle(99, henv_, &out), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_ENV, henv_), "HY092");
  // A freed handle is no handle.
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, st), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(st, sqlText("VALUES 1"), SQL_NTS), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeStmt(st, SQL_DROP), SQL_INVALID_HANDLE);
  // Statements die with their connection.
  st = newStmt();
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(st), SQL_INVALID_HANDLE);
}

TEST_F(Cli, CallsInTheWrongStateOrWithBadArguments) {
  SQLHANDLE out = SQL_NULL_HANDLE;
  EXPECT_EQ(SQLAllocHandle(SQL_HANDLE_STMT, hdbc_, &out), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "08003");
  EXPECT_EQ(SQLDisconnect(hdbc_), SQL_ERROR);
  EXPECT_EQ(SQLSetConnectAttr(hdbc_, 4242, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "HY092");
  EXPECT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, 7), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "HY024");
  attach();
  SQLCHAR empty[] = "";
  EXPECT_EQ(SQLConnect(hdbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "08002");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_DBC, hdbc_), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "HY010");
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_ENV, henv_), SQL_ERROR);

  SQLHANDLE st = newStmt();
  SQLSMALLINT n = 0;
  EXPECT_EQ(SQLExecute(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY010");
  EXPECT_EQ(SQLFetch(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY010");
  EXPECT_EQ(SQLNumResultCols(st, &n), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY010");
  EXPECT_EQ(SQLExecDirect(st, nullptr, SQL_NTS), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY009");
  EXPECT_EQ(SQLExecDirect(st, sqlText("VALUES 1"), -7), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY090");
  EXPECT_EQ(SQLCloseCursor(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "24000");

  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (1)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(st), SQL_ERROR);  // no result set
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "24000");
  EXPECT_EQ(SQLNumResultCols(st, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY009");

  ASSERT_EQ(SQLPrepare(st, sqlText("SELECT ID FROM CLITEST.T WHERE ID = ?"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "07002");
  EXPECT_EQ(SQLDescribeCol(st, 2, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "07009");
  EXPECT_EQ(SQLDescribeParam(st, 0, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "07009");
  SQLINTEGER v = 1;
  EXPECT_EQ(SQLBindCol(st, 1, 12345, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY003");
  EXPECT_EQ(SQLBindParameter(st, 1, 4, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY105");
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &v, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(st), SQL_ERROR);  // its cursor is open
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "24000");
  EXPECT_EQ(SQLPrepare(st, sqlText("VALUES 1"), SQL_NTS), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "24000");
  ASSERT_EQ(SQLCloseCursor(st), SQL_SUCCESS);
  EXPECT_EQ(SQLFetch(st), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY010");
  EXPECT_EQ(SQLFreeStmt(st, 77), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY092");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// A stored procedure of a test library opens its own connection with an empty data-source
// name and inserts a row; the caller's ROLLBACK removes it.
TEST_F(Cli, ProcedureConnectionJoinsTheCallersUnitOfWork) {
  std::filesystem::path fnDir = dir_.path() / "function";
  std::filesystem::create_directories(fnDir);
  std::filesystem::copy_file(CLI_TEST_PROC_LIB, fnDir / "libquarncli_testproc.so",
                             std::filesystem::copy_options::overwrite_existing);
  ASSERT_EQ(exec("CREATE PROCEDURE CLITEST.CLIINSERT (IN ID INTEGER) LANGUAGE C PARAMETER STYLE SQL "
                 "MODIFIES SQL DATA FENCED EXTERNAL NAME 'quarncli_testproc!cliInsertRow'"),
            0)
      << ca_.sqlcode;
  ASSERT_EQ(quarn_commit(&ca_), 0);
  int rc = exec("CALL CLITEST.CLIINSERT(41)");
  ASSERT_EQ(rc, 0) << ca_.sqlstate << " " << std::string(ca_.sqlerrmc, static_cast<size_t>(ca_.sqlerrml));
  EXPECT_EQ(rowCount(), 1);
  ASSERT_EQ(exec("ROLLBACK"), 0);
  EXPECT_EQ(rowCount(), 0);
}

// A number spelled past a DOUBLE's range, bound as character data for a DOUBLE or DECIMAL
// parameter, was passed on as text: an infinity in a DOUBLE column, and compared with an
// expression of no column type (K + 0 > '-1e400') text that no number exceeds.  It is refused
// with 22003 and nothing is stored.  Text that is no number in SQL's sense (hexadecimal, "nan",
// "inf") stays text: compared with K + 0 it matches nothing, where "0x10" read as 16 would.
TEST_F(Cli, CharacterDataPastADoublesRangeOrNoNumberIsNeverANumber) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.NUMS (K INTEGER, D DECIMAL(7,2), F DOUBLE)"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.NUMS (K) VALUES (16)"), 0);
  attach();
  SQLHANDLE st = newStmt();
  char text[32];
  SQLLEN ind = SQL_NTS;
  auto run = [&](const char *sql, SQLSMALLINT type, const char *value) {
    EXPECT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
    std::snprintf(text, sizeof text, "%s", value);
    EXPECT_EQ(SQLPrepare(st, sqlText(sql), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_CHAR, type, 30, 0, text, sizeof text, &ind), SQL_SUCCESS);
    return SQLExecute(st);
  };
  for (const char *big : {"1e400", "-1e400", " 2E+999 "}) {
    EXPECT_EQ(run("INSERT INTO CLITEST.NUMS (F) VALUES (?)", SQL_DOUBLE, big), SQL_ERROR) << big;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22003") << big;
    EXPECT_EQ(run("INSERT INTO CLITEST.NUMS (D) VALUES (?)", SQL_DECIMAL, big), SQL_ERROR) << big;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22003") << big;
    EXPECT_EQ(run("SELECT COUNT(*) FROM CLITEST.NUMS WHERE K + 0 > ?", SQL_DOUBLE, big), SQL_ERROR) << big;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22003") << big;
  }
  ASSERT_EQ(run("INSERT INTO CLITEST.NUMS (F) VALUES (?)", SQL_DOUBLE, "1e300"), SQL_SUCCESS);
  SQLINTEGER n = -1;
  struct Key { const char *text; int matches; };
  for (const Key &k : {Key{"0x10", 0}, Key{"0X10", 0}, Key{"nan", 0}, Key{"inf", 0}, Key{"16 ", 1}, Key{" 1.6e1", 1}}) {
    ASSERT_EQ(run("SELECT COUNT(*) FROM CLITEST.NUMS WHERE K + 0 = ?", SQL_DECIMAL, k.text), SQL_SUCCESS) << k.text;
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_LONG, &n, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(st), SQL_SUCCESS) << k.text;
    EXPECT_EQ(n, k.matches) << k.text;
    ASSERT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLExecDirect(st, sqlText("SELECT COUNT(*) FROM CLITEST.NUMS"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLFetch(st), SQL_SUCCESS);
  EXPECT_EQ(n, 2);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// A connection that was attached once (autocommit forced off) kept autocommit off for a later
// named connection: its INSERT stayed uncommitted and SQLDisconnect said 25000.  Disconnecting
// restores the connection's own setting: on, unless the user switched it off.
TEST_F(Cli, AutocommitOfANamedConnectionAfterAnAttachedOneIsTheUsersOwn) {
  SQLCHAR empty[] = "";
  ASSERT_EQ(SQLConnect(hdbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (1)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS) << stateOf(SQL_HANDLE_DBC, hdbc_);
  EXPECT_EQ(rowCount(), 1);
  // Switched off by the user, it stays off across the attached connection.
  attach();
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (2)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLDisconnect(hdbc_), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "25000");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 1);
}

// COMMIT and ROLLBACK statements run on an attached connection ended the unit of work of the
// session it joined, which SQLEndTran refuses.  They are refused the same way (01S02, nothing
// done); a savepoint of the connection's own is still rolled back to.
TEST_F(Cli, CommitAndRollbackStatementsLeaveAJoinedUnitOfWorkToItsOwner) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID) VALUES (1)"), 0);  // uncommitted row of the caller
  attach();
  SQLHANDLE st = newStmt();
  for (const char *sql : {"COMMIT", "commit work", "ROLLBACK", "-- ends it\nROLLBACK WORK"}) {
    EXPECT_EQ(SQLExecDirect(st, sqlText(sql), SQL_NTS), SQL_SUCCESS_WITH_INFO) << sql;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "01S02") << sql;
    EXPECT_EQ(rowCount(), 1) << sql;
  }
  ASSERT_EQ(SQLPrepare(st, sqlText("ROLLBACK"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(st), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "01S02");
  ASSERT_EQ(SQLExecDirect(st, sqlText("SAVEPOINT s1 ON ROLLBACK RETAIN CURSORS"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (2)"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(st, sqlText("ROLLBACK TO SAVEPOINT s1"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 1);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  // The caller's row was never committed.
  ASSERT_EQ(quarn_rollback(&ca_), 0);
  EXPECT_EQ(rowCount(), 0);
}

// A commit the interface did not ask for by SQLEndTran (the autocommit commit after another
// statement's INSERT, switching autocommit on with work pending, an executed COMMIT) closed
// the other statements' cursors behind the interface's back: SQLFetch said 24501 while
// SQLExecute said 24000.  Every end of the unit of work now ends every cursor of the
// connection as SQLEndTran does: SQLFetch gives HY010, SQLCloseCursor 24000, SQLExecute runs.
TEST_F(Cli, EveryEndOfTheUnitOfWorkClosesTheConnectionsCursors) {
  ASSERT_EQ(exec("INSERT INTO CLITEST.T (ID) VALUES (1), (2), (3)"), 0);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  SQLHANDLE q = newStmt(), w = newStmt();
  SQLINTEGER id = 0;
  ASSERT_EQ(SQLPrepare(q, sqlText("SELECT ID FROM CLITEST.T ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(q, 1, SQL_C_LONG, &id, 0, nullptr), SQL_SUCCESS);
  auto openAndFetch = [&] {
    ASSERT_EQ(SQLExecute(q), SQL_SUCCESS) << stateOf(SQL_HANDLE_STMT, q);
    ASSERT_EQ(SQLFetch(q), SQL_SUCCESS);
    EXPECT_EQ(id, 1);
  };
  auto expectClosed = [&](const char *after) {
    EXPECT_EQ(SQLFetch(q), SQL_ERROR) << after;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, q), "HY010") << after;
    EXPECT_EQ(SQLCloseCursor(q), SQL_ERROR) << after;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, q), "24000") << after;
  };
  openAndFetch();
  ASSERT_EQ(SQLExecDirect(w, sqlText("INSERT INTO CLITEST.T (ID) VALUES (4)"), SQL_NTS), SQL_SUCCESS);
  expectClosed("autocommit");
  openAndFetch();
  ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(w, sqlText("INSERT INTO CLITEST.T (ID) VALUES (5)"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON), SQL_SUCCESS);
  expectClosed("autocommit switched on");
  openAndFetch();
  ASSERT_EQ(SQLExecDirect(w, sqlText("COMMIT"), SQL_NTS), SQL_SUCCESS);
  expectClosed("COMMIT");
  openAndFetch();
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK), SQL_SUCCESS);
  expectClosed("SQLEndTran");
  SQLFreeHandle(SQL_HANDLE_STMT, w);
  SQLFreeHandle(SQL_HANDLE_STMT, q);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 5);

  // On an attached connection the owner ends the unit of work: its cursor ends with it.
  attach();
  q = newStmt();
  ASSERT_EQ(SQLPrepare(q, sqlText("SELECT ID FROM CLITEST.T ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(q, 1, SQL_C_LONG, &id, 0, nullptr), SQL_SUCCESS);
  openAndFetch();
  ASSERT_EQ(quarn_commit(&ca_), 0);
  expectClosed("the owner's commit");
  openAndFetch();
  SQLFreeHandle(SQL_HANDLE_STMT, q);
}

// SQL_C_BINARY data bound for a character parameter was passed as a BLOB, so it never equalled
// the text it spells.  For a character SQL type it is text of those bytes; for a binary one it
// stays binary.
TEST_F(Cli, BinaryDataForACharacterParameterIsText) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.BIN (V VARCHAR(10), B VARCHAR(4) FOR BIT DATA)"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.BIN VALUES ('abc', X'00FF')"), 0);
  attach();
  SQLHANDLE st = newStmt();
  auto countWhere = [&](const char *sql, SQLSMALLINT type, const char *bytes, SQLLEN len) {
    SQLLEN ind = len;
    SQLINTEGER n = -1;
    EXPECT_EQ(SQLPrepare(st, sqlText(sql), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_BINARY, type, 0, 0, const_cast<char *>(bytes), len, &ind),
              SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(st), SQL_SUCCESS) << stateOf(SQL_HANDLE_STMT, st);
    EXPECT_EQ(SQLBindCol(st, 1, SQL_C_LONG, &n, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
    return static_cast<int>(n);
  };
  for (SQLSMALLINT type : {SQL_CHAR, SQL_VARCHAR, SQL_LONGVARCHAR, SQL_CLOB})
    EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.BIN WHERE V = ?", type, "abc", 3), 1) << type;
  for (SQLSMALLINT type : {SQL_BINARY, SQL_VARBINARY, SQL_BLOB})
    EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.BIN WHERE B = ?", type, "\0\xFF", 2), 1) << type;
  // Inserted for a CLOB column, the bytes are the document's text.
  char doc[] = "<a>b</a>";
  SQLLEN docLen = 8;
  ASSERT_EQ(SQLPrepare(st, sqlText("INSERT INTO CLITEST.T (ID, DOC) VALUES (1, ?)"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_CLOB, 0, 0, doc, docLen, &docLen), SQL_SUCCESS);
  ASSERT_EQ(SQLExecute(st), SQL_SUCCESS) << stateOf(SQL_HANDLE_STMT, st);
  EXPECT_EQ(countWhere("SELECT COUNT(*) FROM CLITEST.T WHERE CAST(DOC AS VARCHAR(20)) = ?", SQL_VARCHAR, doc, 8), 1);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// SQLEndTran with a statement handle type committed the connection whose handle was passed.
// Only environments and connections end units of work.
TEST_F(Cli, EndTranTakesOnlyAnEnvironmentOrAConnection) {
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLExecDirect(st, sqlText("INSERT INTO CLITEST.T (ID) VALUES (1)"), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, hdbc_, SQL_COMMIT), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DESC, hdbc_, SQL_COMMIT), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLEndTran(99, hdbc_, SQL_COMMIT), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_STMT, st, SQL_COMMIT), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "HY092");
  EXPECT_EQ(SQLDisconnect(hdbc_), SQL_ERROR);  // nothing was committed
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "25000");
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_ROLLBACK), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc_), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), 0);
}

// Fetching into a C number that cannot hold the value: a DOUBLE past a float's range gave an
// infinity with SQL_SUCCESS, and 1.9 into a long gave 1 with SQL_SUCCESS.  The first is 22003
// as for the integer targets; the second is 1 with 01S07 (fractional truncation).  Text is
// read as a parameter's is: "0x10" is no number (it was 16).
TEST_F(Cli, FetchIntoANumberReportsOverflowAndFractionalTruncation) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.F (K INTEGER, F DOUBLE, S VARCHAR(10))"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.F VALUES (1, 1e300, '0x10'), (2, -1e300, '-2.5'), (3, 1.9, ' 8 '), (4, 2, 'nan'), (5, 0, '1e400')"),
            0);
  attach();
  SQLHANDLE st = newStmt();
  float f = 0;
  SQLINTEGER l = 0;
  SQLSMALLINT sh = 0;
  int64_t big = 0;
  struct Case {
    const char *expr;
    int key;
    SQLSMALLINT ctype;
    SQLRETURN rc;
    const char *state;
    double value;
  };
  const Case cases[] = {
      {"F", 1, SQL_C_FLOAT, SQL_ERROR, "22003", 0},
      {"F", 2, SQL_C_FLOAT, SQL_ERROR, "22003", 0},
      {"F", 4, SQL_C_FLOAT, SQL_SUCCESS, "", 2},
      {"F", 3, SQL_C_LONG, SQL_SUCCESS_WITH_INFO, "01S07", 1},
      {"F", 3, SQL_C_SHORT, SQL_SUCCESS_WITH_INFO, "01S07", 1},
      {"-F", 3, SQL_C_SBIGINT, SQL_SUCCESS_WITH_INFO, "01S07", -1},
      {"F", 4, SQL_C_LONG, SQL_SUCCESS, "", 2},
      {"S", 2, SQL_C_LONG, SQL_SUCCESS_WITH_INFO, "01S07", -2},
      {"S", 3, SQL_C_LONG, SQL_SUCCESS, "", 8},
      {"S", 1, SQL_C_LONG, SQL_ERROR, "22018", 0},
      {"S", 4, SQL_C_DOUBLE, SQL_ERROR, "22018", 0},
      // Text past a DOUBLE's range read as an infinity and came back as one.
      {"S", 5, SQL_C_DOUBLE, SQL_ERROR, "22003", 0},
      {"S", 5, SQL_C_FLOAT, SQL_ERROR, "22003", 0},
  };
  for (const Case &c : cases) {
    std::string sql = std::string("SELECT ") + c.expr + " FROM CLITEST.F WHERE K = " + std::to_string(c.key);
    double d = 0;
    void *buf = c.ctype == SQL_C_FLOAT    ? static_cast<void *>(&f)
                : c.ctype == SQL_C_LONG   ? static_cast<void *>(&l)
                : c.ctype == SQL_C_SHORT  ? static_cast<void *>(&sh)
                : c.ctype == SQL_C_SBIGINT ? static_cast<void *>(&big)
                                           : static_cast<void *>(&d);
    ASSERT_EQ(SQLExecDirect(st, sqlText(sql.c_str()), SQL_NTS), SQL_SUCCESS) << sql;
    ASSERT_EQ(SQLBindCol(st, 1, c.ctype, buf, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), c.rc) << sql << " " << c.ctype;
    EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), c.state) << sql << " " << c.ctype;
    if (c.rc != SQL_ERROR) {
      double got = c.ctype == SQL_C_FLOAT    ? f
                   : c.ctype == SQL_C_LONG   ? l
                   : c.ctype == SQL_C_SHORT  ? sh
                   : c.ctype == SQL_C_SBIGINT ? static_cast<double>(big)
                                              : d;
      EXPECT_EQ(got, c.value) << sql << " " << c.ctype;
    }
    ASSERT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLFreeStmt(st, SQL_UNBIND), SQL_SUCCESS);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

}  // namespace

namespace {

// Two statements of one connection used in two threads at once, each statement by its own
// thread: the calls ran on the connection's session side by side and crashed in the engine (a
// cursor closed under another's catalog lookup) or hung.  Every call on a connection or one of
// its statements now holds the connection's lock for the whole call.
TEST_F(Cli, StatementsOfOneConnectionMayBeUsedInTwoThreads) {
  ASSERT_EQ(exec("CREATE TABLE CLITEST.ONE (K INTEGER)"), 0);
  ASSERT_EQ(exec("INSERT INTO CLITEST.ONE VALUES (1)"), 0);
  ASSERT_EQ(quarn_commit(&ca_), 0);
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  ASSERT_EQ(SQLSetConnectOption(hdbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  SQLHANDLE ins = newStmt(), sel = newStmt();
  constexpr int kRounds = 500;
  int inserted = 0, matched = 0;
  std::atomic<int> ready{0};
  auto startTogether = [&] {
    ++ready;
    while (ready.load() < 2) std::this_thread::yield();
  };
  std::thread writer([&] {
    startTogether();
    SQLINTEGER id = 0;
    if (SQLBindParameter(ins, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr) != SQL_SUCCESS) return;
    for (id = 1; id <= kRounds; ++id)
      if (SQLExecDirect(ins, sqlText("INSERT INTO CLITEST.T (ID, NAME) VALUES (?, 'w')"), SQL_NTS) == SQL_SUCCESS)
        ++inserted;
  });
  std::thread reader([&] {
    startTogether();
    SQLINTEGER in = 0, out = 0;
    for (in = 1; in <= kRounds; ++in) {
      // A statement prepared anew each round looks its names up in the catalogue each time.
      if (SQLPrepare(sel, sqlText("SELECT K + CAST(? AS INTEGER) FROM CLITEST.ONE"), SQL_NTS) != SQL_SUCCESS) continue;
      SQLBindParameter(sel, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &in, 0, nullptr);
      SQLBindCol(sel, 1, SQL_C_LONG, &out, 0, nullptr);
      if (SQLExecute(sel) == SQL_SUCCESS && SQLFetch(sel) == SQL_SUCCESS && out == in + 1) ++matched;
      SQLFreeStmt(sel, SQL_CLOSE);
    }
  });
  writer.join();
  reader.join();
  EXPECT_EQ(inserted, kRounds);
  EXPECT_EQ(matched, kRounds);
  ASSERT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(rowCount(), kRounds);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, ins), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeHandle(SQL_HANDLE_STMT, sel), SQL_SUCCESS);
}

}  // namespace

namespace {

// Terminated text (SQL_NTS or no indicator) with no terminator within a positive BufferLength
// was cut to BufferLength bytes, even within a UTF-8 character, and stored.  It is refused as a
// value too long for its use (22001); a terminator within the buffer, an explicit length and
// BufferLength 0 (the text up to its terminator) take the value as before.
TEST_F(Cli, TerminatedTextRunsToItsTerminator) {
  attach();
  SQLHANDLE st = newStmt();
  ASSERT_EQ(SQLPrepare(st, sqlText("INSERT INTO CLITEST.T (ID, LABEL) VALUES (?, ?)"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER id = 0;
  char text[16];
  SQLLEN nts = SQL_NTS;
  ASSERT_EQ(SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, &id, 0, nullptr), SQL_SUCCESS);
  struct Case {
    const char *value;
    SQLLEN bufferLength;
    SQLLEN *ind;
    bool stored;
  };
  // BufferLength shorter than the text, or its very length (no room for the terminator): the
  // text was cut to BufferLength bytes, the third within its first é.
  const Case cases[] = {
      {"abcdefgh", 4, &nts, true},
      {"abcdefgh", 4, nullptr, true},
      {"a\xC3\xA9\xC3\xA9", 2, &nts, true},
      {"abc", 3, &nts, true},
      {"abc", 4, &nts, true},
      {"abcdefgh", 0, &nts, true},
      {"abcdefgh", 0, nullptr, true},
  };
  std::string expected;
  for (const Case &c : cases) {
    ++id;
    std::snprintf(text, sizeof text, "%s", c.value);
    ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, text, c.bufferLength, c.ind),
              SQL_SUCCESS);
    SQLINTEGER native = 0;
    if (c.stored) {
      EXPECT_EQ(SQLExecute(st), SQL_SUCCESS) << id;
      expected += std::to_string(id) + "=" + c.value + ";";
    } else {
      EXPECT_EQ(SQLExecute(st), SQL_ERROR) << id;
      EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st, &native), "22001") << id;
      EXPECT_EQ(native, -302) << id;
    }
  }
  // An explicit length is taken as it is, terminator or not.
  SQLLEN three = 3;
  ++id;
  std::memcpy(text, "xyzw", 4);
  ASSERT_EQ(SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 30, 0, text, 3, &three), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(st), SQL_SUCCESS);
  expected += std::to_string(id) + "=xyz;";

  SQLHANDLE q = newStmt();
  ASSERT_EQ(SQLExecDirect(q, sqlText("SELECT ID, LABEL FROM CLITEST.T ORDER BY ID"), SQL_NTS), SQL_SUCCESS);
  SQLINTEGER got = 0;
  char label[31];
  ASSERT_EQ(SQLBindCol(q, 1, SQL_C_LONG, &got, 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(SQLBindCol(q, 2, SQL_C_CHAR, label, sizeof label, nullptr), SQL_SUCCESS);
  std::string seen;
  while (SQLFetch(q) == SQL_SUCCESS) seen += std::to_string(got) + "=" + label + ";";
  EXPECT_EQ(seen, expected);
  SQLFreeHandle(SQL_HANDLE_STMT, q);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// SQL_C_SBIGINT refused values that fit (9.21e18, '9.21e18', -9.22e18 gave 22003): the range
// was a rounded 9.2e18.  It is [-2^63, 2^63) exactly, and integer text is read exactly.
TEST_F(Cli, FetchIntoABigintTakesItsWholeRange) {
  attach();
  SQLHANDLE st = newStmt();
  struct Case {
    const char *expr;
    SQLRETURN rc;
    int64_t value;
  };
  const Case cases[] = {
      {"9.21e18", SQL_SUCCESS, 9210000000000000000},
      {"'9.21e18'", SQL_SUCCESS, 9210000000000000000},
      {"-9.22e18", SQL_SUCCESS, -9220000000000000000},
      {"-9223372036854775808e0", SQL_SUCCESS, INT64_MIN},
      {"' 9223372036854775807 '", SQL_SUCCESS, INT64_MAX},
      {"'-9223372036854775808'", SQL_SUCCESS, INT64_MIN},
      {"9223372036854775807", SQL_SUCCESS, INT64_MAX},
      {"9223372036854775808e0", SQL_ERROR, 0},
      {"'9223372036854775808'", SQL_ERROR, 0},
      {"-9.3e18", SQL_ERROR, 0},
  };
  for (const Case &c : cases) {
    std::string sql = std::string("VALUES ") + c.expr;
    int64_t big = 0;
    ASSERT_EQ(SQLExecDirect(st, sqlText(sql.c_str()), SQL_NTS), SQL_SUCCESS) << sql;
    ASSERT_EQ(SQLBindCol(st, 1, SQL_C_SBIGINT, &big, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(st), c.rc) << sql;
    if (c.rc == SQL_SUCCESS) EXPECT_EQ(big, c.value) << sql;
    else EXPECT_EQ(stateOf(SQL_HANDLE_STMT, st), "22003") << sql;
    ASSERT_EQ(SQLFreeStmt(st, SQL_CLOSE), SQL_SUCCESS);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// SQLEndTran of an environment with a completion type that is neither commit nor rollback gave
// SQL_SUCCESS when no connection of it was connected (HY012 with one): the code is checked
// before the connections.
TEST_F(Cli, EndTranRefusesAnUnknownCompletionType) {
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, henv_, 99), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_ENV, henv_), "HY012");
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, henv_, SQL_COMMIT), SQL_SUCCESS);
  ASSERT_EQ(SQLConnect(hdbc_, sqlText("clidb"), SQL_NTS, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_ENV, henv_, 99), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_ENV, henv_), "HY012");
  EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, hdbc_, 99), SQL_ERROR);
  EXPECT_EQ(stateOf(SQL_HANDLE_DBC, hdbc_), "HY012");
}

}  // namespace
