/*
 * errors.h - how the engine carries a failure: an SQLCODE, an SQLSTATE and message tokens, the
 * way a communication area reports them.  Inside the engine a failure travels as the internal
 * exception QError; every entry of the engine's API catches it and writes a struct sqlca.
 * Nothing here keeps state; all of it is thread-safe.
 */
#ifndef QUARN_ENGINE_ERRORS_H
#define QUARN_ENGINE_ERRORS_H

#include <string>
#include <string_view>
#include <vector>

#include "sqlca.h"
#include "sqlcodes.h"

struct sqlite3;

namespace quarn {

// Every failure the engine reports, one row each: its name, SQLCODE (the codes programs test
// for come from sqlcodes.h), the SQLSTATE it carries unless the raise names another (a routine's
// or a SIGNAL's own SQLSTATE: empty here), and the message text whose &1, &2, ... the tokens
// fill.  The enum of names and the table of rows (errorRow) are both made from this list.
#define QUARN_ENGINE_ERRORS(X) \
  X(kSqlOk, SQL_RC_OK, "00000", "") \
  X(kSqlNotFound, SQL_RC_W100, "02000", "No row was found for FETCH, UPDATE or DELETE; or the result of a query is an empty table.") \
  X(kSqlAliasUndefined, 403, "01522", "The newly defined alias \"&1\" resolved to the object \"&2\" which is currently undefined.") \
  X(kSqlRoutineWarning, SQL_RC_W462, "", "Routine \"&1\" (specific name \"&2\") has returned a warning SQLSTATE, with diagnostic text \"&3\".") \
  X(kSqlValueTruncated, 445, "01004", "Value \"&1\" has been truncated.") \
  X(kSqlDuplicateConstraint, 541, "01543", "The referential, primary key, or unique constraint \"&1\" is ignored because it is a duplicate.") \
  X(kSqlBadChar, -7, "42601", "The character \"&1\" following \"&2\" is not valid.") \
  X(kSqlUnterminated, -10, "42603", "The string constant beginning \"&1\" does not have an ending string delimiter.") \
  X(kSqlSyntax, -104, "42601", "An unexpected token \"&1\" was found following \"&2\".  Expected tokens may include: \"&3\".") \
  X(kSqlTooComplex, -101, "54001", "The statement is too long or too complex.") \
  X(kSqlNameTooLong, -107, "42622", "The name \"&1\" is too long.  The maximum length is \"&2\".") \
  X(kSqlValueCount, -117, "42802", "The number of values assigned is not the same as the number of specified or implied columns.") \
  X(kSqlNotGrouped, -122, "42803", "A SELECT statement with no GROUP BY clause contains a column name and a column function in the SELECT clause, or a column name is contained in the SELECT clause but not in the GROUP BY clause.") \
  X(kSqlAggregate, -120, "42903", "An aggregate function or an OLAP function is not valid in the context in which it was invoked.") \
  X(kSqlSubstrRange, -138, "22011", "A numeric argument of a built-in string function is out of range.") \
  X(kSqlStmtNotSupported, -142, "42612", "The SQL statement \"&1\" is not supported.") \
  X(kSqlEscapeInvalid, -130, "22019", "The ESCAPE clause is not a single character, or the pattern string contains an invalid occurrence of the escape character.") \
  X(kSqlNotUpdatable, -150, "42807", "The target fullselect, view, typed table, materialized query table, or staging table in the INSERT, DELETE, UPDATE, or MERGE statement is a target for which the requested operation is not permitted.") \
  X(kSqlWrongObjectType, -159, "42809", "The statement references \"&1\" which identifies a(n) \"&2\" rather than a(n) \"&3\".") \
  X(kSqlBadArgument, -171, "42815", "The data type, length or value of argument \"&1\" of routine \"&2\" is incorrect.") \
  X(kSqlDatetimeOverflow, -183, "22008", "A datetime arithmetic operation or a datetime scalar function has a result that is not within the valid range of dates.") \
  X(kSqlDatetimeExpression, -182, "42816", "A datetime expression or labeled duration is not valid.") \
  X(kSqlDatetimeRange, -181, "22007", "The string representation of a datetime value is out of range.") \
  X(kSqlDatetimeSyntax, -180, "22007", "The syntax of the string representation of a datetime value is incorrect.") \
  X(kSqlNotNullNoDefault, -193, "42601", "In an ALTER TABLE statement, the column \"&1\" has been specified as NOT NULL and either the DEFAULT clause was not specified or was specified as DEFAULT NULL.") \
  X(kSqlNotUnique, -203, "42702", "A reference to column \"&1\" is ambiguous.") \
  X(kSqlUndefinedName, SQL_RC_E204, "42704", "\"&1\" is an undefined name.") \
  X(kSqlNotColumnOf, -205, "42703", "\"&1\" is not a column of table or view \"&2\".") \
  X(kSqlColumnInvalid, -206, "42703", "\"&1\" is not valid in the context where it is used.") \
  X(kSqlOrderByColumn, -208, "42707", "The ORDER BY clause is invalid because a column or position is not part of the result table.") \
  X(kSqlOrderByInvalid, -214, "42822", "An expression in the ORDER BY clause in the following position, or starting with \"&1\" in the \"&2\" clause is not valid. Reason code = \"&3\".") \
  X(kSqlHostValueTooLarge, -302, "22001", "The value of a host variable in the EXECUTE or OPEN statement is too large for its corresponding use.") \
  X(kSqlHostValueRange, -304, "22003", "A value cannot be assigned to a host variable because the value is not within the range of the host variable's data type.") \
  X(kSqlNullNoIndicator, -305, "22002", "The NULL value cannot be assigned to a host variable because no indicator variable is specified.") \
  X(kSqlHostVariableUndefined, -312, "42618", "Variable \"&1\" is used but is not defined or not usable.") \
  X(kSqlHostVariableCount, -313, "07004", "The number of variables in the EXECUTE statement, the number of variables in the OPEN statement, or the number of arguments in an OPEN statement for a parameterized cursor is not equal to the number of values required.") \
  X(kSqlColumnUse, SQL_RC_E350, "42962", "Column \"&1\" was implicitly or explicitly referenced in a context in which it cannot be used.") \
  X(kSqlStringTooLong, -404, "22001", "The SQL statement specifies a string that is too long for column \"&1\".") \
  X(kSqlNotNull, SQL_RC_E407, "23502", "Assignment of a NULL value to a NOT NULL column \"&1\" is not allowed.") \
  X(kSqlIncompatible, -408, "42821", "A value is not compatible with the data type of its assignment target.  Target name is \"&1\".") \
  X(kSqlSubqueryColumns, -412, "42823", "Multiple columns are returned from a subquery that is allowed only one column.") \
  X(kSqlOverflow, -413, "22003", "Overflow occurred during numeric data type conversion.") \
  X(kSqlIncompatibleColumns, -415, "42825", "The data types of corresponding columns are not compatible in a fullselect that includes a set operator or in the multiple rows of a VALUES clause of an INSERT or fullselect.") \
  X(kSqlMarkerInvalid, -418, "42610", "A statement contains a use of a parameter marker that is not valid.") \
  X(kSqlInvalidChar, -420, "22018", "Invalid character found in a character string argument of the function \"&1\".") \
  X(kSqlColumnCountMismatch, -421, "42826", "The operands of a set operator or a VALUES clause do not have the same number of columns.") \
  X(kSqlLocatorInvalid, -423, "0F001", "Locator variable \"&1\" does not currently represent any value.") \
  X(kSqlValueTooLong, -433, "22001", "Value \"&1\" is too long.") \
  X(kSqlSignal, SQL_RC_E438, "", "Application raised error or warning with diagnostic text: \"&1\".") \
  X(kSqlNoFunction, SQL_RC_E440, "42884", "No authorized routine named \"&1\" of type \"&2\" having compatible arguments was found.") \
  X(kSqlRoutineError, SQL_RC_E443, "", "Routine \"&1\" (specific name \"&2\") has returned an error SQLSTATE with diagnostic text \"&3\".") \
  X(kSqlRoutineNotLoadable, SQL_RC_E444, "42724", "Routine \"&1\" (specific name \"&2\") is implemented with code in library or path \"&3\", function \"&4\" which cannot be accessed.  Reason code: \"&5\".") \
  X(kSqlRoutineResultTooLong, -450, "39501", "Routine \"&1\" (specific name \"&2\") has returned a result, SQLSTATE, message, or scratchpad which is too long.") \
  X(kSqlFileReference, -452, "428A1", "Unable to access the file referenced by host variable \"&1\".  Reason code: \"&2\".") \
  X(kSqlSignatureExists, SQL_RC_E454, "42723", "The signature provided in the definition for routine \"&1\" matches the signature of some other routine already existing in the schema or for the type.") \
  X(kSqlSpecificExists, SQL_RC_E456, "42710", "The specific name \"&1\" specified in the definition for routine \"&2\" duplicates an existing specific name.") \
  X(kSqlAliasCycle, -460, "42916", "The alias \"&1\" would refer to itself.") \
  X(kSqlCastInvalid, -461, "42846", "A value with data type \"&1\" cannot be CAST to type \"&2\".") \
  X(kSqlRoutineBadState, -463, "39001", "Routine \"&1\" (specific name \"&2\") has returned an invalid SQLSTATE \"&3\" with diagnostic text \"&4\".") \
  X(kSqlRoutineNotUnique, SQL_RC_E476, "42725", "Reference to routine \"&1\" was made without a signature, but the routine is not unique in its schema.") \
  X(kSqlDependentObject, -478, "42893", "DROP or REVOKE on object type \"&1\" cannot be processed because there is an object \"&2\", of type \"&3\", which depends on it.") \
  X(kSqlViewInoperative, -575, "51024", "View \"&1\" cannot be used because it has been marked inoperative.") \
  X(kSqlCursorNotOpen, -501, "24501", "The cursor specified in a FETCH statement or CLOSE statement is not open.") \
  X(kSqlCursorOpen, -502, "24502", "The cursor specified in an OPEN statement is already open.") \
  X(kSqlCursorNotQuery, -517, "07005", "Cursor \"&1\" cannot be used because its statement name does not identify a prepared SELECT statement.") \
  X(kSqlStmtNotPrepared, -518, "07003", "The EXECUTE statement does not identify a valid prepared statement.") \
  X(kSqlColumnListRequired, -153, "42908", "The statement does not include a required column list.") \
  X(kSqlColumnListLength, -158, "42811", "The number of columns specified for \"&1\" is not the same as the number of columns in the result table.") \
  X(kSqlForeignKeyShape, -538, "42830", "FOREIGN KEY \"&1\" does not conform to the description of the parent key of table \"&2\".") \
  X(kSqlSessionSchema, -79, "428EK", "The schema name for the declared global temporary table or index \"&1\" must be SESSION, not \"&2\".") \
  X(kSqlGeneratedAlways, -798, "428C9", "A value cannot be specified for column \"&1\" which is defined as GENERATED ALWAYS.") \
  X(kSqlIdentityTwice, -372, "428C1", "Only one IDENTITY column is allowed in table \"&1\".") \
  X(kSqlIdentityType, -666, "42815", "The data type of identity column \"&1\" is not an exact number with scale 0.") \
  X(kSqlForeignKey, -530, "23503", "The INSERT or UPDATE value of the FOREIGN KEY \"&1\" is not equal to any value of the parent key of the parent table.") \
  X(kSqlParentUpdate, -531, "23504", "The parent key in a parent row cannot be updated because it has one or more dependent rows in relationship \"&1\".") \
  X(kSqlParentDelete, -532, "23504", "A parent row cannot be deleted because the relationship \"&1\" restricts the deletion.") \
  X(kSqlKeyNullable, -542, "42831", "\"&1\" cannot be a column of a primary key or unique key because it can contain null values.") \
  X(kSqlCheckViolated, -544, "23512", "The check constraint \"&1\" cannot be added because the table contains a row that violates the constraint.") \
  X(kSqlCheck, -545, "23513", "The requested operation is not allowed because a row does not satisfy the check constraint \"&1\".") \
  X(kSqlRevokeNotHeld, -556, "42504", "An attempt to revoke a privilege from \"&1\" was denied because \"&1\" does not hold this privilege.") \
  X(kSqlRefNotUnique, -573, "42890", "A column list specified in the references clause of constraint \"&1\" does not identify a unique constraint of the parent table \"&2\".") \
  X(kSqlBadDefault, -574, "42894", "DEFAULT value or IDENTITY attribute value is not valid for column \"&1\" in table \"&2\".  Reason code: \"&3\".") \
  X(kSqlObjectExists, SQL_RC_E601, "42710", "The name of the object to be created is identical to the existing name \"&1\" of type \"&2\".") \
  X(kSqlUniqueBuild, -603, "23515", "A unique index cannot be created because the table \"&1\" contains data that would result in duplicate index entries.") \
  X(kSqlBadLength, -604, "42611", "The length, precision, or scale attribute for column, distinct type, structured type, attribute of structured type, function, or type mapping \"&1\" is not valid.") \
  X(kSqlSystemObject, -607, "42832", "Operation \"&1\" is not defined for system objects.") \
  X(kSqlDuplicateName, SQL_RC_E612, "42711", "\"&1\" is a duplicate name.") \
  X(kSqlKeyExists, SQL_RC_E624, "42889", "Table \"&1\" already has a \"&2\" key.") \
  X(kSqlCannotDrop, -658, "42917", "The object \"&1\" cannot be explicitly dropped or altered.") \
  X(kSqlForeignKeyViolated, -667, "23520", "The FOREIGN KEY \"&1\" cannot be created because the table contains rows with foreign key values that cannot be found in the parent key of the parent table.") \
  X(kSqlTooManyColumns, -680, "54011", "Too many columns were specified for a table, view, or table function.") \
  X(kSqlCorrelationName, -696, "42898", "The definition of a trigger includes an invalid use of correlation name or transition table name \"&1\".") \
  X(kSqlReservedName, -707, "42939", "The name \"&1\" cannot be used because the specified identifier is reserved for system use.") \
  X(kSqlConnectionInUse, -752, "0A001", "The connection cannot be changed because the application process has a unit of work in progress.") \
  X(kSqlTriggerStatement, -797, "42987", "The trigger is defined with an unsupported triggered SQL statement \"&1\".") \
  X(kSqlDivideByZero, -801, "22012", "Division by zero was attempted.") \
  X(kSqlArithmeticOverflow, -802, "22003", "Arithmetic overflow or other arithmetic exception occurred.") \
  X(kSqlMultipleRows, -811, "21000", "The result of a scalar fullselect, SELECT INTO statement, or VALUES INTO statement is more than one row.") \
  X(kSqlDuplicateKey, SQL_RC_E803, "23505", "One or more values in the INSERT statement, UPDATE statement, or foreign key update caused by a DELETE statement are not valid because the primary key, unique constraint or unique index identified by \"&1\" constrains table \"&2\" from having duplicate values for the index key.") \
  X(kSqlBadParameters, -804, "07002", "The application program parameters for the current request are not valid.  Reason code \"&1\".") \
  X(kSqlSavepointUnknown, -880, "3B001", "SAVEPOINT \"&1\" does not exist or is invalid in this context.") \
  X(kSqlSavepointNotUnique, -881, "3B501", "A SAVEPOINT with name \"&1\" already exists, but this savepoint name cannot be reused.") \
  X(kSqlNoSavepoint, -882, "3B502", "Savepoint does not exist.") \
  X(kSqlSystem, -901, "58004", "The SQL statement failed because of a non-severe system error.  Subsequent SQL statements can be processed.  (Reason \"&1\".)") \
  X(kSqlDeadlock, SQL_RC_E911, "40001", "The current transaction has been rolled back because of a deadlock or timeout.  Reason code \"&1\".") \
  X(kSqlUnitOfWorkLost, -1476, "40506", "The current transaction was rolled back because of error \"&1\".") \
  X(kSqlNoMemory, -954, "57011", "Not enough storage is available in the application heap to process the statement.") \
  X(kSqlDiskFull, -968, "57011", "The statement failed because a file system is full.") \
  X(kSqlBadDbName, -1001, "2E000", "\"&1\" is not a valid database name.") \
  X(kSqlDbExists, -1005, "42710", "The database alias \"&1\" already exists in either the local database directory or system database directory.") \
  X(kSqlDbNotFound, -1013, "08001", "The database alias name or database name \"&1\" could not be found.") \
  X(kSqlNoConnection, -1024, "08003", "A database connection does not exist.") \
  X(kSqlDbInUse, -1035, "57019", "The database is currently in use.") \
  X(kSqlLobComparisons, -1210, "42613", "A distinct type on a large object cannot be defined WITH COMPARISONS.") \
  X(kSqlGraphic, SQL_RC_E1216, "56031", "Graphic data and graphic functions are not supported for this database.")

enum SqlCode : int {
#define QUARN_ERROR_NAME(name, code, state, text) name = code,
  QUARN_ENGINE_ERRORS(QUARN_ERROR_NAME)
#undef QUARN_ERROR_NAME
};

// One row of the list.
struct ErrorRow {
  int sqlcode;
  const char *sqlstate;
  const char *text;
};

// The row of sqlcode; nullptr when the engine has none.
const ErrorRow *errorRow(int sqlcode);
// All rows, in the list's order (for tests and the message texts).
const ErrorRow *errorRows(size_t *count);

// The internal failure: code, state and the tokens that fill &1, &2, ... of the message text.
struct QError {
  int sqlcode = 0;
  std::string sqlstate;
  std::vector<std::string> tokens;
};

// The failure sqlcode with its row's SQLSTATE.
QError engineError(int sqlcode, std::vector<std::string> tokens = {});

// Throws engineError(sqlcode, tokens); the engine's API entries catch it.  Never called
// outside the engine.
[[noreturn]] void raise(int sqlcode, std::vector<std::string> tokens = {});
// Throws the failure with an SQLSTATE other than its row's (a routine's, a SIGNAL's, or one
// the host gives that code in one case only).
[[noreturn]] void raiseWithState(int sqlcode, const char *sqlstate, std::vector<std::string> tokens = {});

// The longest start of s of at most maxBytes bytes that ends on a UTF-8 character boundary.
std::string cutUtf8(std::string_view s, size_t maxBytes);

// Resets *ca to success ("SQLCA   ", size, SQLCODE 0, SQLSTATE 00000, no tokens).
void clearSqlca(sqlca *ca);

// Writes e into *ca: code, state, the tokens joined by 0xFF and cut to 70 bytes, and "SQLQRN"
// as the failing component.  The thread keeps e whole for wholeFailureText.
void setSqlca(sqlca *ca, const QError &e);

// "SQLnnnnN text  SQLSTATE=xxxxx" (W for a warning) of sqlcode with its row's text and the
// tokens in place of &1, &2, ...; a code without a row names its tokens.
std::string failureText(int sqlcode, std::string_view sqlstate, const std::vector<std::string_view> &tokens);

// The text of *ca with its tokens whole: when the last area this thread filled reported the
// same failure as *ca (a routine's diagnostic text or a long name cut to the area's 70 bytes),
// its uncut tokens; else the area's own.  What the console and the call-level interface show.
std::string wholeFailureText(const sqlca &ca);

// The text form of a failure raised from inside SQLite (a check constraint's name, a trigger's
// RAISE, an SQL function's error): "QERR:<sqlcode>:<sqlstate>:<tokens separated by 0x1F>".
std::string encodeError(const QError &e);

// The Quarn failure an SQLite result code and message stand for: -911 for a lock conflict, an
// encoded engine failure when the message carries one, the codes of SQLite's own constraint,
// name and shape errors (-407, -803 naming the key from the catalog of db, -206, -203, -204,
// ...), else -901 with SQLite's message.
QError sqliteFailure(sqlite3 *db, int rc, const std::string &msg);
// Throws sqliteFailure(db, rc, the connection's message).
[[noreturn]] void raiseSqlite(sqlite3 *db, int rc);

// Finds an encoded failure anywhere in an SQLite message; false when there is none.
bool decodeError(const std::string &message, QError *out);

}  // namespace quarn

#endif  // QUARN_ENGINE_ERRORS_H
