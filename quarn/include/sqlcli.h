/*
 * sqlcli.h - the call-level interface of the engine (library quarncli): the X/Open calls with
 * their standard names, handle types, SQL and C type codes, return codes and diagnostic
 * records.  Used by the extension's composition, decomposition and administration code.
 *
 * Handles.  An environment owns connections; a connection owns statements.  The caller owns
 * every handle it allocates and frees it with SQLFreeHandle; freeing a connection needs
 * SQLDisconnect first, freeing an environment needs its connections freed.  A handle that was
 * never allocated or was freed already gives SQL_INVALID_HANDLE, never a crash, and so does a
 * handle of another type than the call expects.  Calls on one connection and its statements are
 * serialised: each holds the connection's lock for the whole call, so the statements of one
 * connection may be used in several threads at once (a call waits for the one in progress),
 * and calls on different connections run side by side.  A connection attached to a thread's
 * current session (below) serves that thread only (08003 on any other).
 *
 * Connections.  SQLConnect with an empty (or null) data-source name, user and password attaches
 * to the thread's current session: inside a routine the engine calls that is the caller's
 * session, so the statements join the caller's unit of work, see its uncommitted rows and never
 * wait for its locks; outside a routine it is the application's current connection.  Such a
 * connection never ends the unit of work it joined: autocommit is off on it and cannot be
 * switched on (SQL_SUCCESS_WITH_INFO, 01S02), SQLEndTran and the statements COMMIT and ROLLBACK
 * do nothing and say so (SQL_SUCCESS_WITH_INFO, 01S02; ROLLBACK TO SAVEPOINT runs), and
 * SQLDisconnect leaves the unit of work to its owner.  A named data source is a database name:
 * a session of its own, autocommit on unless switched off, ended by SQLEndTran; SQLDisconnect
 * with uncommitted work gives 25000.  Autocommit is the connection handle's own setting: after
 * SQLDisconnect of an attached connection it is on again unless the caller switched it off.
 *
 * Units of work and cursors.  The engine keeps no cursor open past the end of a unit of work.
 * Whatever ends the connection's unit of work (SQLEndTran, the autocommit commit after a
 * statement that is not a query, switching autocommit on with work pending, an executed COMMIT
 * or ROLLBACK, and on an attached connection its owner's commit or rollback) closes the cursor
 * of every statement of the connection: SQLFetch then gives HY010, SQLCloseCursor 24000, and
 * SQLExecute runs the prepared statement again.
 *
 * Diagnostics.  Every call but SQLGetDiagRec clears the records of its handle first.  A record
 * holds the SQLSTATE, the engine's SQLCODE as native error (0 for failures found by this
 * interface itself) and a text: the engine's message text of the failure ("SQLnnnnN ...").
 *
 * Large objects.  CLOB, DBCLOB and BLOB columns bound with the locator C types receive a
 * locator of the connection's session, valid until freed or the unit of work ends; the
 * embedded runtime (quarnapp.h) reads and frees it when that session is current.
 */
#ifndef QUARN_SQLCLI_H
#define QUARN_SQLCLI_H

#include "sqlsystm.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef signed char SQLSCHAR;
typedef unsigned char SQLCHAR;
typedef short SQLSMALLINT;
typedef unsigned short SQLUSMALLINT;
typedef int SQLINTEGER;
typedef unsigned int SQLUINTEGER;
typedef long SQLLEN;
typedef unsigned long SQLULEN;
typedef double SQLDOUBLE;
typedef float SQLREAL;
typedef short SQLRETURN;
typedef void *SQLPOINTER;
typedef void *SQLHANDLE;
typedef SQLHANDLE SQLHENV;
typedef SQLHANDLE SQLHDBC;
typedef SQLHANDLE SQLHSTMT;

/* ---- Return codes ---- */
#define SQL_SUCCESS 0
#define SQL_SUCCESS_WITH_INFO 1
#define SQL_NO_DATA 100
#define SQL_NO_DATA_FOUND SQL_NO_DATA
#define SQL_ERROR (-1)
#define SQL_INVALID_HANDLE (-2)
#define SQL_SUCCEEDED(rc) (((rc) & (~1)) == 0)

/* ---- Handle types ---- */
#define SQL_HANDLE_ENV 1
#define SQL_HANDLE_DBC 2
#define SQL_HANDLE_STMT 3
#define SQL_HANDLE_DESC 4
#define SQL_NULL_HANDLE 0L
#define SQL_NULL_HENV 0
#define SQL_NULL_HDBC 0
#define SQL_NULL_HSTMT 0

/* ---- Lengths and indicators ---- */
#define SQL_NTS (-3)
#define SQL_NULL_DATA (-1)
#define SQL_NO_TOTAL (-4)
#define SQL_SQLSTATE_SIZE 5
#define SQL_MAX_MESSAGE_LENGTH 1024

/* ---- SQL data types ---- */
#define SQL_UNKNOWN_TYPE 0
#define SQL_CHAR 1
#define SQL_NUMERIC 2
#define SQL_DECIMAL 3
#define SQL_INTEGER 4
#define SQL_SMALLINT 5
#define SQL_FLOAT 6
#define SQL_REAL 7
#define SQL_DOUBLE 8
#define SQL_VARCHAR 12
#define SQL_TYPE_DATE 91
#define SQL_TYPE_TIME 92
#define SQL_TYPE_TIMESTAMP 93
#define SQL_LONGVARCHAR (-1)
#define SQL_BINARY (-2)
#define SQL_VARBINARY (-3)
#define SQL_LONGVARBINARY (-4)
#define SQL_BIGINT (-5)
#define SQL_GRAPHIC (-95)
#define SQL_VARGRAPHIC (-96)
#define SQL_LONGVARGRAPHIC (-97)
#define SQL_BLOB (-98)
#define SQL_CLOB (-99)
#define SQL_DBCLOB (-350)
#define SQL_BLOB_LOCATOR 31
#define SQL_CLOB_LOCATOR 41
#define SQL_DBCLOB_LOCATOR (-351)

/* ---- C data types ---- */
#define SQL_C_CHAR SQL_CHAR
#define SQL_C_LONG SQL_INTEGER
#define SQL_C_SHORT SQL_SMALLINT
#define SQL_C_FLOAT SQL_REAL
#define SQL_C_DOUBLE SQL_DOUBLE
#define SQL_C_SLONG (-16)
#define SQL_C_SSHORT (-15)
#define SQL_C_SBIGINT (-25)
#define SQL_C_BINARY SQL_BINARY
#define SQL_C_DBCHAR SQL_DBCLOB
#define SQL_C_BLOB_LOCATOR SQL_BLOB_LOCATOR
#define SQL_C_CLOB_LOCATOR SQL_CLOB_LOCATOR
#define SQL_C_DBCLOB_LOCATOR SQL_DBCLOB_LOCATOR

/* ---- Nullability ---- */
#define SQL_NO_NULLS 0
#define SQL_NULLABLE 1
#define SQL_NULLABLE_UNKNOWN 2

/* ---- Parameters ---- */
#define SQL_PARAM_INPUT 1

/* ---- Connection attributes and options ---- */
#define SQL_ATTR_AUTOCOMMIT 102
#define SQL_AUTOCOMMIT SQL_ATTR_AUTOCOMMIT
#define SQL_AUTOCOMMIT_OFF 0UL
#define SQL_AUTOCOMMIT_ON 1UL
#define SQL_ATTR_TXN_ISOLATION 108
#define SQL_TXN_ISOLATION SQL_ATTR_TXN_ISOLATION
#define SQL_TXN_READ_UNCOMMITTED 1UL
#define SQL_TXN_READ_COMMITTED 2UL
#define SQL_TXN_REPEATABLE_READ 4UL
#define SQL_TXN_SERIALIZABLE 8UL
/* Character conversion of the connection.  The engine keeps UTF-8 on both sides of every
 * connection, so 0 (no conversion) and 1 are accepted and change nothing. */
#define SQL_ATTR_CHAR_CONVERSION 115

/* ---- SQLFreeStmt options, SQLEndTran completion types ---- */
#define SQL_CLOSE 0
#define SQL_DROP 1
#define SQL_UNBIND 2
#define SQL_RESET_PARAMS 3
#define SQL_COMMIT 0
#define SQL_ROLLBACK 1

/*
 * Allocates an environment (InputHandle SQL_NULL_HANDLE), a connection (InputHandle an
 * environment) or a statement (InputHandle a connected connection) into *OutputHandle.
 * HY009 for a null OutputHandle, 08003 for a statement of a connection that is not connected,
 * HY092 for another HandleType (HYC00 for SQL_HANDLE_DESC).
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                                   SQLHANDLE *OutputHandle);
/* Frees a handle and what it owns (a statement's cursor is closed first).  HY010 for a
 * connection that is still connected or an environment with connections. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle);

/* Sets SQL_ATTR_AUTOCOMMIT (SQL_AUTOCOMMIT_OFF / _ON), SQL_ATTR_TXN_ISOLATION (1, 2, 4, 8; the
 * engine serialises units of work, so every level is served at least as strictly as asked) or
 * SQL_ATTR_CHAR_CONVERSION.  HY024 for a value out of range, HY092 for another attribute. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                                      SQLINTEGER StringLength);
/* The older form of SQLSetConnectAttr: the value is passed in Param. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLSetConnectOption(SQLHDBC ConnectionHandle, SQLUSMALLINT Option, SQLULEN Param);

/* Connects (see the header comment).  Lengths are byte counts or SQL_NTS.  08002 when already
 * connected, 08001 when there is no current session to attach to or the database does not
 * exist (native -1024 or -1013; the text ends "SQLSTATE=08001" as well). */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLConnect(SQLHDBC ConnectionHandle, SQLCHAR *ServerName, SQLSMALLINT NameLength1,
                                               SQLCHAR *UserName, SQLSMALLINT NameLength2, SQLCHAR *Authentication,
                                               SQLSMALLINT NameLength3);
/* Frees the connection's statements and ends the connection; autocommit is the caller's own
 * setting again.  08003 when not connected. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDisconnect(SQLHDBC ConnectionHandle);
/* Commits or rolls back the unit of work of a connection of its own (SQL_HANDLE_DBC), or of
 * every such connection of an environment (SQL_HANDLE_ENV); on an attached connection it does
 * nothing and says so (01S02): the owner ends its unit of work.  HY012 for a CompletionType
 * other than SQL_COMMIT and SQL_ROLLBACK, whether or not a connection is connected.  A
 * statement handle with SQL_HANDLE_STMT gives HY092 on the statement; another HandleType gives
 * SQL_INVALID_HANDLE. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType);

/*
 * Statements.  SQLPrepare prepares; SQLExecute runs the prepared statement with the bound
 * parameters (07002 when a marker has no binding, HY010 without a prepared statement, 24000
 * while its cursor is open); SQLExecDirect does both.  A query leaves its cursor open for
 * SQLFetch until the unit of work ends (see the header comment).  SQL_NO_DATA when a searched
 * UPDATE or DELETE changed no row.  An engine failure gives SQL_ERROR with the engine's
 * SQLSTATE and SQLCODE; HY009 for null text, HY090 for a negative length other than SQL_NTS.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR *StatementText, SQLINTEGER TextLength);
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLExecute(SQLHSTMT StatementHandle);
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR *StatementText,
                                                  SQLINTEGER TextLength);

/* Number of result columns (0 for a statement that is not a query) and of parameter markers.
 * HY010 before SQLPrepare or SQLExecDirect, HY009 for a null output. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT *ColumnCount);
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLNumParams(SQLHSTMT StatementHandle, SQLSMALLINT *ParameterCount);

/*
 * Describes result column ColumnNumber (from 1): its name (terminated, cut to BufferLength
 * with 01004), SQL type, size (characters for character types, precision for DECIMAL), decimal
 * digits and nullability as the catalog knows them.  An expression the engine cannot type is
 * described as SQL_VARCHAR of 32672.  07009 for a number out of range.  Every output may be
 * null.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                                   SQLCHAR *ColumnName, SQLSMALLINT BufferLength,
                                                   SQLSMALLINT *NameLength, SQLSMALLINT *DataType,
                                                   SQLULEN *ColumnSize, SQLSMALLINT *DecimalDigits,
                                                   SQLSMALLINT *Nullable);
/*
 * Describes parameter marker ParameterNumber (from 1) by its context: the target column of an
 * INSERT value or UPDATE assignment, the column it is compared with, the type of a CAST.  A
 * marker without such a context is described as SQL_VARCHAR of 32672, nullable unknown.
 * 07009 for a number out of range.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLDescribeParam(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                                     SQLSMALLINT *DataType, SQLULEN *ParameterSize,
                                                     SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable);

/*
 * Binds result column ColumnNumber (from 1) for SQLFetch.  TargetType: SQL_C_CHAR and
 * SQL_C_DBCHAR (terminated text; cut to BufferLength - 1 bytes with 01004 and the full length
 * in the indicator), SQL_C_BINARY, SQL_C_LONG/SLONG, SQL_C_SHORT/SSHORT, SQL_C_SBIGINT,
 * SQL_C_DOUBLE, SQL_C_FLOAT, and the locator types SQL_C_CLOB_LOCATOR, SQL_C_DBCLOB_LOCATOR,
 * SQL_C_BLOB_LOCATOR (a 32-bit locator of the session).  The indicator receives the length,
 * or SQL_NULL_DATA for NULL (22002 on fetch when a NULL meets no indicator).  A null
 * TargetValue unbinds the column.  07009 for a column out of range, HY003 for another type,
 * HY090 for a negative BufferLength.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                               SQLSMALLINT TargetType, SQLPOINTER TargetValue, SQLLEN BufferLength,
                                               SQLLEN *StrLen_or_Ind);
/*
 * Binds parameter marker ParameterNumber (from 1) as input.  ValueType: SQL_C_CHAR and
 * SQL_C_DBCHAR (length from *StrLen_or_Ind: a byte count, or SQL_NTS for terminated text; a
 * null indicator pointer means terminated; terminated text runs to its terminator whatever
 * BufferLength says, never cut), SQL_C_LONG/SLONG, SQL_C_SHORT/SSHORT,
 * SQL_C_SBIGINT, SQL_C_DOUBLE, SQL_C_FLOAT, SQL_C_BINARY and the locator types; SQL_NULL_DATA
 * passes NULL.  The value is read at each SQLExecute.  ParameterType is the SQL type the value
 * is for (the engine converts).  Character data for a numeric type is the number it spells
 * (digits, sign, point, exponent, blanks around; an integer type takes only an integer), other
 * text stays text for the statement to refuse, and a number past a DOUBLE's range gives 22003
 * at SQLExecute.  SQL_C_BINARY data for a character type (CHAR, VARCHAR, LONGVARCHAR, CLOB and
 * the graphic types) is text of those bytes, for any other type binary.  HY105 for another
 * InputOutputType, HY003 for another ValueType, 07009 for number 0.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLBindParameter(SQLHSTMT StatementHandle, SQLUSMALLINT ParameterNumber,
                                                     SQLSMALLINT InputOutputType, SQLSMALLINT ValueType,
                                                     SQLSMALLINT ParameterType, SQLULEN ColumnSize,
                                                     SQLSMALLINT DecimalDigits, SQLPOINTER ParameterValue,
                                                     SQLLEN BufferLength, SQLLEN *StrLen_or_Ind);

/* Fetches the next row into the bound columns: SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01004 a
 * value was cut; 01S07 a fraction was cut for an integer C type; an engine warning with its
 * SQLSTATE), SQL_NO_DATA after the last row.  22003 for a number out of the C type's range
 * (SQL_C_FLOAT included; SQL_C_SBIGINT takes all of [-2^63, 2^63), integer text exactly),
 * 22018 for text that is no number.  HY010 before any execution or
 * after the unit of work ended, 24000 when the statement has no result set. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFetch(SQLHSTMT StatementHandle);
/* SQL_CLOSE closes the cursor, SQL_UNBIND drops the column bindings, SQL_RESET_PARAMS the
 * parameter bindings, SQL_DROP frees the handle.  HY092 for another option. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option);
/* Closes the cursor; 24000 when none is open. */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLCloseCursor(SQLHSTMT StatementHandle);

/*
 * Diagnostic record RecNumber (from 1) of a handle: SQLSTATE (6 bytes with the terminator),
 * native error, message text cut to BufferLength - 1 bytes (SQL_SUCCESS_WITH_INFO when cut;
 * *TextLength is the full length).  SQL_NO_DATA past the last record, SQL_ERROR for
 * RecNumber < 1 or BufferLength < 0.
 */
SQL_API_EXPORT SQLRETURN SQL_API_FN SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                                  SQLCHAR *SQLState, SQLINTEGER *NativeError, SQLCHAR *MessageText,
                                                  SQLSMALLINT BufferLength, SQLSMALLINT *TextLength);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_SQLCLI_H */
