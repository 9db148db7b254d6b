/*
 * kelcli.h - the call-level-interface connection of a procedure call and its failures: an
 * environment and a connection attached to the session the procedure runs in (autocommit off,
 * no character conversion), statement handles that free themselves, the diagnostics of a
 * failed call and the KELG006E message made from them.  Used by decomposition and composition,
 * which run their statements on a connection of their own.
 *
 * A KelCliConnection and its statements belong to one call and one thread.  The attached
 * connection joins the caller's unit of work and never ends it: nothing here commits or rolls
 * back.  msg is a message buffer of the context's mode.
 */
#ifndef KEL_CLI_H
#define KEL_CLI_H

#include <string>

#include "sqlcli.h"

struct KelCallContext;

// The interface's character string types, whose lengths count bytes (CHAR, VARCHAR, LONG VARCHAR,
// CLOB), and its graphic string types, whose lengths count characters (GRAPHIC, VARGRAPHIC,
// LONG VARGRAPHIC, DBCLOB).
inline bool kelIsCharacterSqlType(SQLSMALLINT t) {
  return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_CLOB;
}
inline bool kelIsGraphicSqlType(SQLSMALLINT t) {
  return t == SQL_GRAPHIC || t == SQL_VARGRAPHIC || t == SQL_LONGVARGRAPHIC || t == SQL_DBCLOB;
}

// The diagnostics of the first record of a handle: SQLSTATE, native SQLCODE and text.
struct KelCliDiag {
  char sqlstate[6] = "00000";
  SQLINTEGER native = 0;
  std::string text;
};

// Reads the first diagnostic record of handle (of handleType); an empty record when none.
KelCliDiag kelCliDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

/*
 * Reports a failed call-level-interface call: traces "CLI failed for <what>: cliMsg= <text>
 * cliRC=<cliRc> cliState=<state> sqlcode=<native>" from the handle's first diagnostic record, and
 * formats KELG006E with that SQLSTATE, the call's return code cliRc, the build stamp, unit and
 * line, and as CLIMSG what failed and the record's text.  Sets sqlstate (may be null) to "38X18"
 * and returns -57.
 */
int kelCliError(KelCallContext *ctx, char *msg, char *sqlstate, SQLSMALLINT handleType, SQLHANDLE handle,
                SQLRETURN cliRc, const char *what, const char *unit, int line);

#define KEL_CLI_ERROR(ctx, msg, sqlstate, type, handle, cliRc, what) \
  kelCliError((ctx), (msg), (sqlstate), (type), (handle), (cliRc), (what), kUnit, __LINE__)

/*
 * The connection of one call.  open() allocates the environment and the connection, switches
 * autocommit off, asks for no character conversion when the database code page is 1208, and
 * connects with empty data-source name, user and password (the session the procedure runs
 * in); each failure gives KELG006E naming the call ("SQLAllocHandle for henv", "SQLAllocHandle
 * for hdbc", "SQLSetConnectOption autocommit_off", "SQLConnect null").  close() disconnects and
 * frees both handles, KELG006E ("SQLDisconnect for hdbc", "SQLFreeHandle for hdbc",
 * "SQLFreeHandle for henv") when one fails; the destructor does the same silently.
 */
class KelCliConnection {
 public:
  KelCliConnection() = default;
  ~KelCliConnection();
  KelCliConnection(const KelCliConnection &) = delete;
  KelCliConnection &operator=(const KelCliConnection &) = delete;

  int open(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg);
  int close(KelCallContext *ctx, const char *unit, char *sqlstate, char *msg);
  SQLHDBC handle() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

// A statement handle freed when it goes out of scope.
class KelCliStmt {
 public:
  KelCliStmt() = default;
  ~KelCliStmt() { reset(); }
  KelCliStmt(const KelCliStmt &) = delete;
  KelCliStmt &operator=(const KelCliStmt &) = delete;
  KelCliStmt(KelCliStmt &&other) noexcept : stmt_(other.stmt_) { other.stmt_ = SQL_NULL_HSTMT; }
  KelCliStmt &operator=(KelCliStmt &&other) noexcept;

  // Allocates a statement of dbc; SQL_SUCCESS or the call's return code.
  SQLRETURN alloc(SQLHDBC dbc);
  // Frees the statement; its return code (SQL_SUCCESS when there was none).
  SQLRETURN reset();
  SQLHSTMT get() const { return stmt_; }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

#endif /* KEL_CLI_H */
