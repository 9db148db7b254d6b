/*
 * kelcli.cpp - the call-level-interface connection of a procedure call (see kelcli.h).
 */
#include "kelcli.h"

#include <string>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"

KelCliDiag kelCliDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  KelCliDiag d;
  if (handle == nullptr) return d;
  SQLCHAR state[6] = "";
  SQLCHAR text[SQL_MAX_MESSAGE_LENGTH + 1] = "";
  SQLSMALLINT textLen = 0;
  SQLINTEGER native = 0;
  SQLRETURN rc = SQLGetDiagRec(handleType, handle, 1, state, &native, text, sizeof text, &textLen);
  if (!SQL_SUCCEEDED(rc)) return d;
  for (int i = 0; i < 5; ++i) d.sqlstate[i] = static_cast<char>(state[i]);
  d.sqlstate[5] = '\0';
  d.native = native;
  d.text = reinterpret_cast<const char *>(text);
  return d;
}

int kelCliError(KelCallContext *ctx, char *msg, char *sqlstate, SQLSMALLINT handleType, SQLHANDLE handle,
                const char *what, const char *unit, int line) {
  KelCliDiag d = kelCliDiagnostics(handleType, handle);
  std::string native = std::to_string(d.native);
  std::string lineText = std::to_string(line);
  std::string cliMsg = std::string(what != nullptr ? what : "") + (d.text.empty() ? "" : ": " + d.text);
  KEL_TRACE(ctx, "%s failed: SQLSTATE %s, native %d, %s\n", what != nullptr ? what : "", d.sqlstate, d.native,
            d.text.c_str());
  return kelFail(ctx, msg, sqlstate, KELG006E, d.sqlstate, native.c_str(), kelBuildStamp(), unit, lineText.c_str(),
                 cliMsg.c_str());
}

KelCliConnection::~KelCliConnection() {
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

int KelCliConnection::open(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg) {
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    env_ = SQL_NULL_HENV;
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, nullptr, "SQLAllocHandle for henv", unit, __LINE__);
  }
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
    dbc_ = SQL_NULL_HDBC;
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, env_, "SQLAllocHandle for hdbc", unit, __LINE__);
  }
  if (!SQL_SUCCEEDED(SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF)))
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, "SQLSetConnectOption autocommit_off", unit,
                       __LINE__);
  if (ctx != nullptr && ctx->codePages != nullptr && ctx->codePages->dbCodePage == KEL_CP_UTF8 &&
      !SQL_SUCCEEDED(SQLSetConnectAttr(dbc_, SQL_ATTR_CHAR_CONVERSION, nullptr, 0)))
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, "SQLSetConnectAttr char_conversion", unit,
                       __LINE__);
  SQLCHAR empty[] = "";
  if (!SQL_SUCCEEDED(SQLConnect(dbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS)))
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, "SQLConnect null", unit, __LINE__);
  connected_ = true;
  KEL_TRACE(ctx, "CLI setup completed.\n");
  return 0;
}

int KelCliConnection::close(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg) {
  int rc = 0;
  if (connected_) {
    connected_ = false;
    if (!SQL_SUCCEEDED(SQLDisconnect(dbc_)))
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, "SQLDisconnect for hdbc", unit, __LINE__);
  }
  if (dbc_ != SQL_NULL_HDBC) {
    if (!SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_DBC, dbc_)) && rc == 0)
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, "SQLFreeHandle for hdbc", unit, __LINE__);
    dbc_ = SQL_NULL_HDBC;
  }
  if (env_ != SQL_NULL_HENV) {
    if (!SQL_SUCCEEDED(SQLFreeHandle(SQL_HANDLE_ENV, env_)) && rc == 0)
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, env_, "SQLFreeHandle for henv", unit, __LINE__);
    env_ = SQL_NULL_HENV;
  }
  return rc;
}

KelCliStmt &KelCliStmt::operator=(KelCliStmt &&other) noexcept {
  if (this != &other) {
    reset();
    stmt_ = other.stmt_;
    other.stmt_ = SQL_NULL_HSTMT;
  }
  return *this;
}

SQLRETURN KelCliStmt::alloc(SQLHDBC dbc) {
  reset();
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_);
  if (!SQL_SUCCEEDED(rc)) stmt_ = SQL_NULL_HSTMT;
  return rc;
}

SQLRETURN KelCliStmt::reset() {
  if (stmt_ == SQL_NULL_HSTMT) return SQL_SUCCESS;
  SQLRETURN rc = SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  stmt_ = SQL_NULL_HSTMT;
  return rc;
}
