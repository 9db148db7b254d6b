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
                SQLRETURN cliRc, const char *what, const char *unit, int line) {
  KelCliDiag d = kelCliDiagnostics(handleType, handle);
  if (what == nullptr) what = "";
  KEL_TRACE(ctx, "CLI failed for %s: cliMsg= %s cliRC=%d cliState=%s sqlcode=%d\n", what, d.text.c_str(),
            static_cast<int>(cliRc), d.sqlstate, static_cast<int>(d.native));
  std::string rcText = std::to_string(cliRc);
  std::string lineText = std::to_string(line);
  std::string cliMsg = std::string(what) + (d.text.empty() ? "" : ": " + d.text);
  return kelFail(ctx, msg, sqlstate, KELG006E, d.sqlstate, rcText.c_str(), kelBuildStamp(), unit, lineText.c_str(),
                 cliMsg.c_str());
}

KelCliConnection::~KelCliConnection() {
  if (connected_) SQLDisconnect(dbc_);
  if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

int KelCliConnection::open(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg) {
  SQLRETURN cli = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  if (!SQL_SUCCEEDED(cli)) {
    env_ = SQL_NULL_HENV;
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, nullptr, cli, "SQLAllocHandle for henv", unit, __LINE__);
  }
  cli = SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  if (!SQL_SUCCEEDED(cli)) {
    dbc_ = SQL_NULL_HDBC;
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, env_, cli, "SQLAllocHandle for hdbc", unit, __LINE__);
  }
  cli = SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
  if (!SQL_SUCCEEDED(cli))
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, cli, "SQLSetConnectOption autocommit_off", unit,
                       __LINE__);
  if (ctx != nullptr && ctx->codePages != nullptr && ctx->codePages->dbCodePage == KEL_CP_UTF8) {
    cli = SQLSetConnectAttr(dbc_, SQL_ATTR_CHAR_CONVERSION, nullptr, 0);
    if (!SQL_SUCCEEDED(cli))
      return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, cli, "SQLSetConnectAttr char_conversion", unit,
                         __LINE__);
  }
  SQLCHAR empty[] = "";
  cli = SQLConnect(dbc_, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS);
  if (!SQL_SUCCEEDED(cli))
    return kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, cli, "SQLConnect null", unit, __LINE__);
  connected_ = true;
  KEL_TRACE(ctx, "CLI setup completed.\n");
  return 0;
}

int KelCliConnection::close(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg) {
  int rc = 0;
  SQLRETURN cli = SQL_SUCCESS;
  if (connected_) {
    connected_ = false;
    cli = SQLDisconnect(dbc_);
    if (!SQL_SUCCEEDED(cli))
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, cli, "SQLDisconnect for hdbc", unit, __LINE__);
  }
  if (dbc_ != SQL_NULL_HDBC) {
    cli = SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (!SQL_SUCCEEDED(cli) && rc == 0)
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc_, cli, "SQLFreeHandle for hdbc", unit, __LINE__);
    dbc_ = SQL_NULL_HDBC;
  }
  if (env_ != SQL_NULL_HENV) {
    cli = SQLFreeHandle(SQL_HANDLE_ENV, env_);
    if (!SQL_SUCCEEDED(cli) && rc == 0)
      rc = kelCliError(ctx, msg, sqlstate, SQL_HANDLE_ENV, env_, cli, "SQLFreeHandle for henv", unit, __LINE__);
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
