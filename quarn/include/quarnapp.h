/*
 * quarnapp.h - the embedded-SQL runtime of the engine (library quarnapp): what precompiled
 * static SQL would call, as a small C API.  An application, a console program or a routine
 * running inside the engine uses it to connect, run statements with host variables, read
 * cursors and end units of work.
 *
 * Connections.  quarn_connect (CONNECT TO) opens a connection and makes it the current
 * connection of the calling thread; the statement calls below work on the current connection.
 * quarn_session_open gives an explicit connection handle instead, which
 * quarn_set_current_session makes current.  Code running inside a routine the engine calls
 * finds the caller's connection current, so its statements join the caller's unit of work.
 *
 * Outcome.  Every call takes a struct sqlca the caller owns, fills it (SQLCODE, SQLSTATE,
 * tokens, sqlerrd[2] rows changed) and returns the SQLCODE: 0 success, 100 no row, > 0 a
 * warning, < 0 an error (-1024 when there is no current connection).  sqlaintp_api turns an
 * area into its message text.  Nothing here throws.  A thread uses its own connections.
 */
#ifndef QUARN_QUARNAPP_H
#define QUARN_QUARNAPP_H

#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Host variables ------------------------------------------------------------------------
 * A host variable is described by a type code of sqlda.h (the odd, nullable code is accepted as
 * well), the size of its buffer and an optional null indicator (-1: NULL; after a fetch, a
 * positive value is the full length of a value that was cut to fit).  Buffers by type:
 *   SQL_TYP_CSTR     char[sqllen], terminated
 *   SQL_TYP_VARCHAR  struct { short length; char data[sqllen]; }
 *   SQL_TYP_CHAR     char[sqllen], padded with blanks
 *   SQL_TYP_SMALL, SQL_TYP_INTEGER, SQL_TYP_BIGINT  short, sqlint32, sqlint64
 *   SQL_TYP_FLOAT    double; with sqllen 4 a 4-byte float
 *   SQL_TYP_DECIMAL  packed decimal: sqllen holds the precision in its low byte and the scale in
 *                    its high byte; (precision + 2) / 2 bytes, two digits a byte, the last half
 *                    byte the sign (C or F positive, D negative); a value that does not fit on
 *                    FETCH gives -304
 *   SQL_TYP_CLOB, SQL_TYP_BLOB      struct quarn_lob with room for sqllen data bytes
 *   SQL_TYP_CLOB_LOCATOR            sqluint32 locator (valid until freed or the unit of work ends)
 *   SQL_TYP_CLOB_FILE               struct sqlfile: input reads the file (SQL_FILE_READ); output
 *                                   writes it (SQL_FILE_CREATE, SQL_FILE_OVERWRITE, SQL_FILE_APPEND)
 * A description the runtime cannot use gives -804 (07002): an unknown type code, a null sqldata
 * (unless the indicator says NULL), a negative sqllen for a character or large-object type, a
 * DECIMAL scale above its precision, a name_length above the 255 bytes of name, a bad packed
 * digit.  On FETCH a numeric host variable takes integers exactly; text is read as the number
 * it spells (blanks around it allowed; -420, 22018, naming the host variable's type when it
 * spells none, "nan", "inf", "0x10" and "1e400" included), and a value outside the host
 * variable's range (a 4-byte float's too) gives -304 (22003).
 */
struct quarn_hostvar {
  short sqltype;
  sqlint32 sqllen;
  void *sqldata;
  short *sqlind;
};

struct quarn_lob {
  sqluint32 length; /* bytes in data */
  char data[1];     /* the caller allocates room for sqllen bytes */
};

#define SQL_FILE_READ 2
#define SQL_FILE_CREATE 8
#define SQL_FILE_OVERWRITE 16
#define SQL_FILE_APPEND 32

struct sqlfile {
  sqluint32 name_length; /* bytes of name used */
  sqluint32 data_length; /* output: bytes written to the file */
  sqluint32 file_options;
  char name[255];
};

/* Options of the bind utility; this engine has no packages, so none is read. */
struct sqlopt;

typedef struct quarn_session quarn_session; /* one connection */
typedef struct quarn_stmt quarn_stmt;       /* one prepared statement of a connection */

/* ---- Databases and connections ------------------------------------------------------------ */

/* Sets QUARNPATH ($HOME/.quarn), QUARNINSTANCE (the login name) and QUARNKELPATH
 * (<QUARNPATH>/kel) when they are unset, as every connection does first: for a program that
 * reads the instance's files (the extension's trace control file) without connecting. */
SQL_API_EXPORT void quarn_instance_defaults(void);

/* CREATE DATABASE name in the instance directory QUARNPATH.  -1005 when it exists, -1001 for a
 * name that is not 1-8 letters, digits, @, # or $. */
SQL_API_EXPORT int quarn_create_database(const char *name, struct sqlca *ca);
/* DROP DATABASE name.  -1013 when there is none, -1035 while a connection uses it. */
SQL_API_EXPORT int quarn_drop_database(const char *name, struct sqlca *ca);

/* CONNECT TO name [USER user USING password] (user and password may be NULL).  Ends the
 * thread's current connection first (-752 when it has a unit of work in progress).  On success
 * the area holds the connection tokens, as after quarn_connect_info. */
SQL_API_EXPORT int quarn_connect(const char *name, const char *user, const char *password, struct sqlca *ca);
/* CONNECT RESET: commits and ends the thread's current connection; 0 when there is none. */
SQL_API_EXPORT int quarn_connect_reset(struct sqlca *ca);
/* CONNECT without arguments: the tokens of the current connection in sqlerrmc, separated by
 * 0xFF: 1 territory, 2 database code page (1208), 3 user, 4 database, 5 product identifier
 * ("SQL..."), 6 platform, 9 application code page (1208); sqlerrp holds the product identifier.
 * -1024 without a connection. */
SQL_API_EXPORT int quarn_connect_info(struct sqlca *ca);

/* An explicit connection handle; close it with quarn_session_close (rolls back what is not
 * committed).  A handle is not made current. */
SQL_API_EXPORT int quarn_session_open(const char *name, const char *user, const char *password, quarn_session **out,
                                      struct sqlca *ca);
SQL_API_EXPORT int quarn_session_close(quarn_session *session, struct sqlca *ca);
/* The thread's current connection (NULL when none), and making a handle current (NULL: none). */
SQL_API_EXPORT quarn_session *quarn_current_session(void);
SQL_API_EXPORT void quarn_set_current_session(quarn_session *session);

/* ---- Statements on the current connection -------------------------------------------------- */

/* EXECUTE IMMEDIATE: any statement without parameter markers; rows of a query are dropped. */
SQL_API_EXPORT int quarn_execute_immediate(const char *sql, struct sqlca *ca);

/* PREPARE: *out receives a statement of the current connection, freed by quarn_free_stmt. */
SQL_API_EXPORT int quarn_prepare(const char *sql, quarn_stmt **out, struct sqlca *ca);
/* EXECUTE with nIn input host variables (one per parameter marker; -313 otherwise).  A searched
 * UPDATE or DELETE that changes no row gives 100. */
SQL_API_EXPORT int quarn_execute(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca);
/* OPEN the cursor of a prepared query with its input host variables (-502 when open). */
SQL_API_EXPORT int quarn_open(quarn_stmt *stmt, int nIn, const struct quarn_hostvar *in, struct sqlca *ca);
/* FETCH the next row into nOut output host variables: 0, 100 at the end (the cursor closes),
 * -501 when the cursor is not open, -305 for a NULL value without an indicator. */
SQL_API_EXPORT int quarn_fetch(quarn_stmt *stmt, int nOut, struct quarn_hostvar *out, struct sqlca *ca);
/* CLOSE the cursor (harmless when it is not open). */
SQL_API_EXPORT int quarn_close(quarn_stmt *stmt, struct sqlca *ca);
/* DESCRIBE the result columns into da (sqld = number of columns, at most sqln entries filled:
 * type code, length and name per column). */
SQL_API_EXPORT int quarn_describe(quarn_stmt *stmt, struct sqlda *da, struct sqlca *ca);
SQL_API_EXPORT void quarn_free_stmt(quarn_stmt *stmt);

/* CALL procName USING DESCRIPTOR da on the current connection.  procName is SCHEMA.NAME or
 * NAME (found on the function path among the procedures with da->sqld parameters), or
 * "library!entry", an unregistered entry of parameter style QUARNDARI that receives a
 * descriptor area of the same entries (trailing blanks of procName do not count).  Entries:
 * SQL_TYP_VARCHAR and SQL_TYP_LONG (16-bit length, then the bytes), SQL_TYP_CHAR (sqllen bytes),
 * SQL_TYP_CSTR (terminated within sqllen bytes), SQL_TYP_SMALL, SQL_TYP_INTEGER,
 * SQL_TYP_BIGINT, SQL_TYP_FLOAT (sqllen 4: float, else double), and SQL_TYP_CLOB/BLOB/DBCLOB:
 * with an extended entry at k + sqld (sqln >= 2 * sqld) whose sqldatalen points to the 32-bit
 * length, the bytes are at sqldata and the capacity is the extended entry's sqllonglen;
 * without one, sqldata holds a struct quarn_lob with room for sqllen bytes.  A null indicator of
 * -1 passes NULL.  After the call every OUT and INOUT entry the procedure sent back holds its
 * value and indicator (a value longer than its entry is cut, sqlwarn[1] = 'W'); inputs the
 * procedure marked -128 and IN parameters are left as they were.  The procedure runs in this
 * connection's unit of work; a failing call undoes its own effects.  Errors: -440 no procedure
 * with that many parameters, -444 library or entry not loadable, -443 with the procedure's
 * SQLSTATE and message, -804 an entry of an unsupported type, -1024 no connection. */
SQL_API_EXPORT int quarn_call(const char *procName, struct sqlda *da, struct sqlca *ca);

/* COMMIT and ROLLBACK of the current connection's unit of work; open cursors close and
 * locators are freed. */
SQL_API_EXPORT int quarn_commit(struct sqlca *ca);
SQL_API_EXPORT int quarn_rollback(struct sqlca *ca);
/* Savepoints of the current connection's unit of work, as the statements SAVEPOINT name
 * [UNIQUE] ON ROLLBACK RETAIN CURSORS, ROLLBACK TO SAVEPOINT [name] and RELEASE SAVEPOINT name
 * run them.  name is taken as it stands (no folding to upper case), 1 to 128 bytes.
 * quarn_savepoint starts a unit of work when none is active; a name already set at this
 * savepoint level is released and set anew, unless either is UNIQUE (-881, 3B501); names
 * beginning with SYS give -707.  quarn_rollback_to_savepoint undoes what was done since the
 * savepoint was set and releases the savepoints set after it; the savepoint and open cursors
 * stay; name NULL or "" means the newest savepoint (-882, 3B502 when there is none).
 * quarn_release_savepoint releases the savepoint and those set after it, keeping what was done.
 * A name not set at this level gives -880 (3B001).  A procedure's CALL is a savepoint level of
 * its own: inside it only the procedure's savepoints are seen, and those it leaves are released
 * when it returns (undone with its work when it fails).  COMMIT and ROLLBACK release them all. */
SQL_API_EXPORT int quarn_savepoint(const char *name, int unique, struct sqlca *ca);
SQL_API_EXPORT int quarn_rollback_to_savepoint(const char *name, struct sqlca *ca);
SQL_API_EXPORT int quarn_release_savepoint(const char *name, struct sqlca *ca);

/* FREE LOCATOR: -423 when the locator holds no value. */
SQL_API_EXPORT int quarn_free_locator(sqluint32 locator, struct sqlca *ca);

/* Binds a package from a bind file.  This engine runs every statement dynamically and keeps no
 * packages, so binding succeeds without reading the file. */
SQL_API_EXPORT int sqlabndx(const char *pBindFileName, const char *pMsgFileName, struct sqlopt *pBindOptions,
                            struct sqlca *pSqlca);

/*
 * Writes the error text of *pSqlca ("SQLnnnnN text  SQLSTATE=xxxxx") into pBuffer, cut into
 * lines of at most LineWidth bytes (each line ends with a newline), terminated, never more
 * than BufferSize bytes including the terminator.  pMsgFileName names the database's message
 * file and may be null; the engine's texts are built in.
 * Returns the length of the text written; 0 when the area reports success (SQLCODE 0);
 * -1 for a null buffer or area, or a size or width below 2.
 */
SQL_API_EXPORT int sqlaintp_api(char *pBuffer, short BufferSize, short LineWidth,
                                const char *pMsgFileName, struct sqlca *pSqlca);

#ifdef __cplusplus
}
#endif

#endif /* QUARN_QUARNAPP_H */
