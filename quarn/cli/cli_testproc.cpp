/*
 * cli_testproc.cpp - a stored procedure for the call-level interface's tests (library
 * quarncli_testproc), in the SQL parameter convention:
 *   CLIINSERT(IN id INTEGER): inserts id into CLITEST.T through a connection with an empty
 *   data-source name, autocommit off, and leaves the unit of work to its caller.
 * A failing call sets SQLSTATE 38X01 and the CLI's first diagnostic text as the message.
 */
#include <cstdio>
#include <cstring>

#include "sqlcli.h"

namespace {

// Copies the first diagnostic of handle h into the 70-byte message and fails the call.
void failCall(SQLSMALLINT type, SQLHANDLE h, const char *step, char *sqlstate, char *msg) {
  SQLCHAR state[6] = "";
  SQLINTEGER native = 0;
  SQLCHAR text[256] = "";
  SQLSMALLINT len = 0;
  if (h) SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, &len);
  std::strcpy(sqlstate, "38X01");
  std::snprintf(msg, 71, "%s: %s %d", step, reinterpret_cast<char *>(state), static_cast<int>(native));
}

}  // namespace

extern "C" SQL_API_EXPORT void cliInsertRow(sqlint32 *id, short *idInd, char *sqlstate, char *qualName,
                                            char *specName, char *msg) {
  (void)qualName;
  (void)specName;
  SQLHANDLE env = SQL_NULL_HANDLE, dbc = SQL_NULL_HANDLE, stmt = SQL_NULL_HANDLE;
  if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env) != SQL_SUCCESS) return failCall(0, nullptr, "env", sqlstate, msg);
  if (SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc) != SQL_SUCCESS) {
    failCall(SQL_HANDLE_ENV, env, "dbc", sqlstate, msg);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return;
  }
  SQLSetConnectOption(dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF);
  SQLCHAR empty[] = "";
  if (SQLConnect(dbc, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS) != SQL_SUCCESS) {
    failCall(SQL_HANDLE_DBC, dbc, "connect", sqlstate, msg);
  } else {
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLLEN ind = *idInd < 0 ? SQL_NULL_DATA : 0;
    SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_LONG, SQL_INTEGER, 0, 0, id, 0, &ind);
    SQLCHAR sql[] = "INSERT INTO CLITEST.T (ID) VALUES (?)";
    if (SQLExecDirect(stmt, sql, SQL_NTS) != SQL_SUCCESS) failCall(SQL_HANDLE_STMT, stmt, "insert", sqlstate, msg);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}
