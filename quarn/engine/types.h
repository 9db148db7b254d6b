/*
 * types.h - Quarn data types as the engine keeps them: the catalog spelling (TYPENAME, LENGTH,
 * SCALE), the declared type given to the SQLite column (which fixes its affinity and lets the
 * engine recognise the Quarn type of a result column again), and the checks that make a column
 * refuse values as Quarn does (too long 22001, not numeric 22018, out of range 22003).
 * Plain values; thread-safe.
 */
#ifndef QUARN_ENGINE_TYPES_H
#define QUARN_ENGINE_TYPES_H

#include <cstdint>
#include <string>

namespace quarn {

enum class Base {
  None,
  SmallInt,
  Integer,
  BigInt,
  Decimal,
  Real,
  Double,
  Char,
  Varchar,
  LongVarchar,
  Clob,
  Blob,
  DbClob,
  Graphic,
  Vargraphic,
  LongVargraphic,
  Date,
  Time,
  Timestamp,
};

struct QType {
  Base base = Base::None;
  int64_t length = 0;   // characters or bytes for strings; precision for DECIMAL
  int scale = 0;
  bool forBitData = false;
  std::string typeSchema;  // distinct type: its schema and name; empty for built-in types
  std::string typeName;

  bool isDistinct() const { return !typeName.empty(); }
  bool isNumeric() const;
  bool isCharacter() const;  // CHAR, VARCHAR, LONG VARCHAR, CLOB and the graphic types
  bool isGraphic() const;
  bool isLob() const;
  // Name of the built-in type as the catalog spells it ("INTEGER", "CHARACTER", "VARCHAR", ...).
  std::string builtinName() const;
  // Catalog TYPESCHEMA / TYPENAME: the distinct type when there is one, else SYSOSTREL and the
  // built-in name.
  std::string catalogSchema() const;
  std::string catalogName() const;
  // Catalog LENGTH: bytes for strings (graphic: characters), precision for DECIMAL, storage
  // bytes for other built-ins.
  int64_t catalogLength() const;
  // The declared type of the SQLite column, e.g. "VARCHAR(40)", "CHARACTER_BIT(13)".
  std::string sqliteDecl() const;
  // The type as SQL text ("VARCHAR(40)", "DECIMAL(3,2)", "QUARNXML.XMLCLOB").
  std::string sqlText() const;
};

// Schema of the built-in types and functions.
constexpr const char *kSystemSchema = "SYSOSTREL";

// Reads a declared type produced by sqliteDecl() back; Base::None for anything else.
QType typeFromDecl(const char *decl);

// The type of a query's result column whose SQLite declared type is decl (nullptr: none, an
// expression) and whose type as the translator knows it is known (Base::None: not known): the
// declared type, which a column passes through; the known type where nothing is declared or
// where it is the distinct type of a column passed through (SQLite declares its source type).
QType resultColumnType(const char *decl, const QType &known);

// Builds the built-in type of a catalog TYPENAME, LENGTH and SCALE (for distinct sources).
QType typeFromCatalog(const std::string &name, int64_t length, int scale);

// The smallest double not below 10^digits: a double d is within DECIMAL(p,s) when |d| is below
// decimalBound(p - s).  The nearest double to 10^31 is below it, and is the double of the
// largest DECIMAL(31,0), 9999999999999999999999999999999.
double decimalBound(int64_t digits);

// The SQLite CHECK expression (without CHECK) that refuses values of column col that the type
// cannot hold, named by constraintName with the encoded failure; empty when nothing is checked.
// Returns the whole "CONSTRAINT ... CHECK(...)" clause list.
std::string columnChecks(const QType &t, const std::string &colName);

}  // namespace quarn

#endif  // QUARN_ENGINE_TYPES_H
