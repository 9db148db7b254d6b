/*
 * types.cpp - catalog spellings, SQLite declarations and column checks of the Quarn types.
 */
#include "types.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "errors.h"
#include "lexer.h"

namespace quarn {

bool QType::isNumeric() const {
  switch (base) {
    case Base::SmallInt: case Base::Integer: case Base::BigInt: case Base::Decimal: case Base::Real: case Base::Double:
      return true;
    default:
      return false;
  }
}

bool QType::isCharacter() const {
  switch (base) {
    case Base::Char: case Base::Varchar: case Base::LongVarchar: case Base::Clob:
    case Base::DbClob: case Base::Graphic: case Base::Vargraphic: case Base::LongVargraphic:
      return true;
    default:
      return false;
  }
}

bool QType::isGraphic() const {
  return base == Base::DbClob || base == Base::Graphic || base == Base::Vargraphic || base == Base::LongVargraphic;
}

bool QType::isLob() const { return base == Base::Clob || base == Base::Blob || base == Base::DbClob; }

std::string QType::builtinName() const {
  switch (base) {
    case Base::SmallInt: return "SMALLINT";
    case Base::Integer: return "INTEGER";
    case Base::BigInt: return "BIGINT";
    case Base::Decimal: return "DECIMAL";
    case Base::Real: return "REAL";
    case Base::Double: return "DOUBLE";
    case Base::Char: return "CHARACTER";
    case Base::Varchar: return "VARCHAR";
    case Base::LongVarchar: return "LONG VARCHAR";
    case Base::Clob: return "CLOB";
    case Base::Blob: return "BLOB";
    case Base::DbClob: return "DBCLOB";
    case Base::Graphic: return "GRAPHIC";
    case Base::Vargraphic: return "VARGRAPHIC";
    case Base::LongVargraphic: return "LONG VARGRAPHIC";
    case Base::Date: return "DATE";
    case Base::Time: return "TIME";
    case Base::Timestamp: return "TIMESTAMP";
    case Base::None: break;
  }
  return "";
}

std::string QType::catalogSchema() const { return isDistinct() ? typeSchema : kSystemSchema; }
std::string QType::catalogName() const { return isDistinct() ? typeName : builtinName(); }

int64_t QType::catalogLength() const {
  switch (base) {
    case Base::SmallInt: return 2;
    case Base::Integer: return 4;
    case Base::BigInt: return 8;
    case Base::Real: return 4;
    case Base::Double: return 8;
    case Base::Date: return 4;
    case Base::Time: return 3;
    case Base::Timestamp: return 10;
    case Base::LongVarchar: return 32700;
    case Base::LongVargraphic: return 16350;
    default: return length;
  }
}

std::string QType::sqliteDecl() const {
  std::string n = std::to_string(length);
  switch (base) {
    case Base::SmallInt: return "SMALLINT";
    case Base::Integer: return "INTEGER";
    case Base::BigInt: return "BIGINT";
    case Base::Decimal: return "DECIMAL(" + n + "," + std::to_string(scale) + ")";
    case Base::Real: return "REAL";
    case Base::Double: return "DOUBLE";
    case Base::Char: return (forBitData ? "CHARACTER_BIT(" : "CHARACTER(") + n + ")";
    case Base::Varchar: return (forBitData ? "VARCHAR_BIT(" : "VARCHAR(") + n + ")";
    case Base::LongVarchar: return forBitData ? "LONG_VARCHAR_BIT" : "LONG_VARCHAR";
    case Base::Clob: return "CLOB(" + n + ")";
    case Base::Blob: return "BLOB(" + n + ")";
    case Base::DbClob: return "DBCLOB(" + n + ")";
    case Base::Graphic: return "GRAPHIC_TEXT(" + n + ")";
    case Base::Vargraphic: return "VARGRAPHIC_TEXT(" + n + ")";
    case Base::LongVargraphic: return "LONG_VARGRAPHIC_TEXT";
    case Base::Date: return "DATE";
    case Base::Time: return "TIME";
    case Base::Timestamp: return "TIMESTAMP";
    case Base::None: break;
  }
  return "";
}

std::string QType::sqlText() const {
  if (isDistinct()) return typeSchema + "." + typeName;
  std::string name = builtinName();
  switch (base) {
    case Base::Decimal: return name + "(" + std::to_string(length) + "," + std::to_string(scale) + ")";
    case Base::Char: case Base::Varchar: case Base::Clob: case Base::Blob: case Base::DbClob:
    case Base::Graphic: case Base::Vargraphic:
      return name + "(" + std::to_string(length) + ")" + (forBitData ? " FOR BIT DATA" : "");
    case Base::LongVarchar:
      return forBitData ? name + " FOR BIT DATA" : name;
    default:
      return name;
  }
}

QType typeFromDecl(const char *decl) {
  QType t;
  if (decl == nullptr) return t;
  std::string d(decl);
  std::string head = d.substr(0, d.find('('));
  int64_t a = 0;
  int b = 0;
  size_t open = d.find('(');
  if (open != std::string::npos) {
    a = std::strtoll(d.c_str() + open + 1, nullptr, 10);
    size_t comma = d.find(',', open);
    if (comma != std::string::npos) b = std::atoi(d.c_str() + comma + 1);
  }
  t.length = a;
  t.scale = b;
  struct Row { const char *decl; Base base; bool bit; };
  static const Row kRows[] = {
      {"SMALLINT", Base::SmallInt, false}, {"INTEGER", Base::Integer, false}, {"BIGINT", Base::BigInt, false},
      {"DECIMAL", Base::Decimal, false}, {"REAL", Base::Real, false}, {"DOUBLE", Base::Double, false},
      {"CHARACTER", Base::Char, false}, {"CHARACTER_BIT", Base::Char, true}, {"VARCHAR", Base::Varchar, false},
      {"VARCHAR_BIT", Base::Varchar, true}, {"LONG_VARCHAR", Base::LongVarchar, false},
      {"LONG_VARCHAR_BIT", Base::LongVarchar, true}, {"CLOB", Base::Clob, false}, {"BLOB", Base::Blob, false},
      {"DBCLOB", Base::DbClob, false}, {"GRAPHIC_TEXT", Base::Graphic, false},
      {"VARGRAPHIC_TEXT", Base::Vargraphic, false}, {"LONG_VARGRAPHIC_TEXT", Base::LongVargraphic, false},
      {"DATE", Base::Date, false}, {"TIME", Base::Time, false}, {"TIMESTAMP", Base::Timestamp, false},
  };
  for (const Row &r : kRows) {
    if (head == r.decl) {
      t.base = r.base;
      t.forBitData = r.bit;
      return t;
    }
  }
  return QType{};
}

QType resultColumnType(const char *decl, const QType &known) {
  QType t = typeFromDecl(decl);
  if (t.base == Base::None || (known.isDistinct() && known.base == t.base)) return known;
  // A view's column that a set operator makes is declared by SQLite with one operand's type;
  // the translator knows the type that holds them all (the view's catalogued column).
  if (known.base != Base::None && !known.isDistinct()) return known;
  return t;
}

QType typeFromCatalog(const std::string &name, int64_t length, int scale) {
  QType t;
  struct Row { const char *name; Base base; };
  static const Row kRows[] = {
      {"SMALLINT", Base::SmallInt}, {"INTEGER", Base::Integer}, {"BIGINT", Base::BigInt},
      {"DECIMAL", Base::Decimal}, {"REAL", Base::Real}, {"DOUBLE", Base::Double},
      {"CHARACTER", Base::Char}, {"VARCHAR", Base::Varchar}, {"LONG VARCHAR", Base::LongVarchar},
      {"CLOB", Base::Clob}, {"BLOB", Base::Blob}, {"DBCLOB", Base::DbClob}, {"GRAPHIC", Base::Graphic},
      {"VARGRAPHIC", Base::Vargraphic}, {"LONG VARGRAPHIC", Base::LongVargraphic}, {"DATE", Base::Date},
      {"TIME", Base::Time}, {"TIMESTAMP", Base::Timestamp},
  };
  for (const Row &r : kRows)
    if (name == r.name) t.base = r.base;
  t.length = length;
  t.scale = scale;
  return t;
}

double decimalBound(int64_t digits) {
  // 10^k for k <= 31, the largest precision: the nearest double, or the next one up where the
  // nearest is below 10^k (k = 23, 24, 28, 29, 31).  A double's exact digits ("%.0f") tell which.
  static const std::vector<double> kBounds = [] {
    std::vector<double> b;
    for (int k = 0; k <= 31; ++k) {
      double d = std::strtod(("1e" + std::to_string(k)).c_str(), nullptr);
      char exact[64];
      std::snprintf(exact, sizeof exact, "%.0f", d);
      if (std::strlen(exact) < static_cast<size_t>(k) + 1) d = std::nextafter(d, HUGE_VAL);
      b.push_back(d);
    }
    return b;
  }();
  if (digits < 0) return 1;
  if (digits < static_cast<int64_t>(kBounds.size())) return kBounds[static_cast<size_t>(digits)];
  return std::pow(10.0, static_cast<double>(digits));
}

std::string columnChecks(const QType &t, const std::string &colName) {
  std::string c = quoteIdent(colName);
  std::string out;
  auto add = [&](int code, const std::string &cond) {
    out += " CONSTRAINT " + quoteIdent(encodeError(engineError(code, {colName}))) + " CHECK(" + cond + ")";
  };
  // Numeric columns hold integers, reals or NULL: typeof() names sort as blob < integer < null <
  // real < text, so one range test refuses text and blobs (much cheaper than an IN list).
  // Assignments convert a value to its column's type, but text bound for a marker reaches the
  // column as it is, and the column's affinity makes a number of it: "1.5" or
  // "99999999999999999999" would be a real in an integer column, "1e400" an infinity.  So an
  // integer column holds no real at all (SQLite's affinity makes every real that is an integer
  // within 64 bits an integer, so one left is a fraction or out of range), and a floating
  // column no infinity (9e999 is SQLite's infinity).
  const std::string numeric = "typeof(" + c + ") BETWEEN 'integer' AND 'real'";
  const std::string noReal = "typeof(" + c + ") <> 'real'";
  switch (t.base) {
    case Base::SmallInt:
      add(kSqlInvalidChar, numeric);
      add(kSqlOverflow, c + " BETWEEN -32768 AND 32767");
      add(kSqlInvalidChar, noReal);
      break;
    case Base::Integer:
      add(kSqlInvalidChar, numeric);
      add(kSqlOverflow, c + " BETWEEN -2147483648 AND 2147483647");
      add(kSqlInvalidChar, noReal);
      break;
    case Base::BigInt:
      add(kSqlInvalidChar, numeric);
      add(kSqlOverflow, noReal + " OR abs(" + c + ") < 9223372036854775808.0");
      add(kSqlInvalidChar, noReal);
      break;
    case Base::Real:
      add(kSqlInvalidChar, numeric);
      // Below 2^128 - 2^103: a double that a REAL takes, rounded to the largest REAL at most.
      add(kSqlOverflow, noReal + " OR abs(" + c + ") < 3.4028235677973366e+38");
      break;
    case Base::Double:
      add(kSqlInvalidChar, numeric);
      add(kSqlOverflow, noReal + " OR abs(" + c + ") < 9e999");
      break;
    case Base::Decimal: {
      add(kSqlInvalidChar, numeric);
      // Below 10^(p-s) exactly: the largest DECIMAL(31,0) is the double 1e31, itself below
      // 10^31, which a bound of 1e31 refused.
      const int64_t digits = t.length - t.scale;
      std::string limit;
      if (digits <= 15) {
        limit = "1" + std::string(static_cast<size_t>(std::max<int64_t>(digits, 0)), '0');
      } else {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", decimalBound(digits));
        limit = text;
        if (limit.find_first_of(".e") == std::string::npos) limit += ".0";
      }
      add(kSqlOverflow, "abs(" + c + ") < " + limit);
      break;
    }
    case Base::Char:
      add(kSqlStringTooLong, "length(CAST(rtrim(" + c + ") AS BLOB)) <= " + std::to_string(t.length));
      break;
    case Base::Graphic:
      // n characters (it was 4n bytes: GRAPHIC(4) took ten letters).
      add(kSqlStringTooLong, "length(rtrim(" + c + ")) <= " + std::to_string(t.length));
      break;
    case Base::Varchar: case Base::Clob: case Base::Blob: case Base::LongVarchar:
      // A UTF-8 character takes at most 4 bytes: short values pass without counting bytes.
      add(kSqlStringTooLong, "length(" + c + ") <= " + std::to_string(t.catalogLength() / 4) +
                                          " OR length(CAST(" + c + " AS BLOB)) <= " + std::to_string(t.catalogLength()));
      break;
    case Base::Vargraphic: case Base::DbClob: case Base::LongVargraphic:
      add(kSqlStringTooLong, "length(" + c + ") <= " + std::to_string(t.catalogLength()));
      break;
    case Base::Date:
      add(kSqlDatetimeSyntax, c + " IS NULL OR date(" + c + ") IS NOT NULL");
      break;
    case Base::Time: case Base::Timestamp: case Base::None:
      break;
  }
  return out;
}

}  // namespace quarn
