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

namespace quarn {

// SQLCODEs the engine reports, as names.  Texts live in the runtime's message table (sqlmsg.cpp).
enum SqlCode : int {
  kSqlOk = 0,
  kSqlNotFound = 100,
  kSqlAliasUndefined = 403,       // warning: an alias was created for an undefined object
  kSqlBadChar = -7,               // character not valid in a statement
  kSqlUnterminated = -10,         // string constant or delimited identifier not ended
  kSqlSyntax = -104,              // unexpected token
  kSqlNameTooLong = -107,
  kSqlValueCount = -117,
  kSqlStmtNotSupported = -142,
  kSqlNotUnique = -203,           // ambiguous column reference
  kSqlUndefinedName = -204,
  kSqlNotColumnOf = -205,
  kSqlColumnInvalid = -206,
  kSqlIncompatible = -408,
  kSqlStringTooLong = -404,
  kSqlOverflow = -413,
  kSqlValueTooLong = -433,        // a value cast to a shorter string
  kSqlDatetimeSyntax = -180,
  kSqlColumnCountMismatch = -421,
  kSqlNotNull = -407,
  kSqlInvalidChar = -420,
  kSqlSignal = -438,
  kSqlNoFunction = -440,
  kSqlSignatureExists = -454,
  kSqlSpecificExists = -456,
  kSqlRoutineNotUnique = -476,
  kSqlDependentObject = -478,
  kSqlCursorNotOpen = -501,
  kSqlCursorOpen = -502,
  kSqlForeignKey = -530,
  kSqlParentUpdate = -531,
  kSqlParentDelete = -532,
  kSqlKeyNullable = -542,
  kSqlCheck = -545,
  kSqlRefNotUnique = -573,
  kSqlObjectExists = -601,
  kSqlUniqueBuild = -603,
  kSqlBadLength = -604,
  kSqlDuplicateName = -612,
  kSqlKeyExists = -624,
  kSqlDuplicateKey = -803,
  kSqlSystem = -901,
  kSqlReservedName = -707,       // a name reserved for the system (SYS...)
  kSqlSavepointUnknown = -880,   // no savepoint of that name at this level
  kSqlSavepointNotUnique = -881, // savepoint name in use, and one of the two is UNIQUE
  kSqlNoSavepoint = -882,        // ROLLBACK TO SAVEPOINT without a name, and none is set
  kSqlDeadlock = -911,
  kSqlDbNotFound = -1013,
  kSqlDbExists = -1005,
  kSqlNoConnection = -1024,
  kSqlGraphic = -1216,
};

// The internal failure: code, state and the tokens that fill &1, &2, ... of the message text.
struct QError {
  int sqlcode = 0;
  std::string sqlstate;
  std::vector<std::string> tokens;
};

// Throws QError; the engine's API entries catch it.  Never called outside the engine.
[[noreturn]] void raise(int sqlcode, const char *sqlstate, std::vector<std::string> tokens = {});

// The longest start of s of at most maxBytes bytes that ends on a UTF-8 character boundary.
std::string cutUtf8(std::string_view s, size_t maxBytes);

// Resets *ca to success ("SQLCA   ", size, SQLCODE 0, SQLSTATE 00000, no tokens).
void clearSqlca(sqlca *ca);

// Writes e into *ca: code, state, the tokens joined by 0xFF and cut to 70 bytes, and "SQLQRN"
// as the failing component.
void setSqlca(sqlca *ca, const QError &e);

// The text form of a failure raised from inside SQLite (a check constraint's name, a trigger's
// RAISE, an SQL function's error): "QERR:<sqlcode>:<sqlstate>:<tokens separated by 0x1F>".
std::string encodeError(int sqlcode, const char *sqlstate, const std::vector<std::string> &tokens);

// Finds an encoded failure anywhere in an SQLite message; false when there is none.
bool decodeError(const std::string &message, QError *out);

}  // namespace quarn

#endif  // QUARN_ENGINE_ERRORS_H
