/*
 * sqlutil.h - small RAII helpers over the SQLite C API for the engine's own statements
 * (catalog reads and writes, pragmas).  A failure throws QError -901 carrying SQLite's text,
 * except a lock conflict, which throws -911 (40001).  Not shared between threads: each helper
 * works on the connection of one session.
 */
#ifndef QUARN_ENGINE_SQLUTIL_H
#define QUARN_ENGINE_SQLUTIL_H

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "errors.h"
#include "types.h"

namespace quarn {

// One value of a row or a parameter, as the engine moves it.
struct Value {
  enum Kind { Null, Int, Real, Text, Blob } kind = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;  // Text and Blob

  static Value null() { return Value{}; }
  static Value integer(int64_t v) { Value x; x.kind = Int; x.i = v; return x; }
  static Value real(double v) { Value x; x.kind = Real; x.d = v; return x; }
  static Value text(std::string v) { Value x; x.kind = Text; x.s = std::move(v); return x; }
  static Value blob(std::string v) { Value x; x.kind = Blob; x.s = std::move(v); return x; }
  bool isNull() const { return kind == Null; }
  // The value as text (numbers formatted plainly, NULL as empty).
  std::string str() const;
};

// A double as text: "%.15g" as always where it reads back as the same double, else the 16 or 17
// digits that do (a computed 0.1 + 0.2 is 0.30000000000000004, not 0.3, which is another value).
std::string doubleText(double d);

// A REAL as text: 7 significant digits where they read back as the same REAL, else the 8 or 9
// that do (1.0000001 is not 1).  Fetched values and CHAR or CAST of a REAL both use it, so a
// REAL's text is one text however it is taken.
std::string realText(double d);

// d brought to a DECIMAL of this scale: cut (not rounded) to scale digits after the point, except
// that a value within a few units in its last place of a whole number of the scale's units is
// that number (the noise of binary arithmetic: 0.1 + 0.2, 0.30000000000000004, is 0.3; 0.3 / 0.1,
// 2.9999999999999996, is 3), while 1.9999999999999 cut to one digit is 1.9.  Every digit a double
// holds is kept (12345678901234.57 stays).  Never at or past limit (the type's bound) when d is
// below it: there the value is cut.  Zero has no sign; an infinity or NaN is returned as it is.
// What CAST, assignment and every DECIMAL arithmetic result use.
double decimalCut(double d, int scale, double limit = HUGE_VAL);

// a and b as whole numbers *ua and *ub of a unit 1 / *f (10^k, k at most 15) that both are,
// within the noise of binary arithmetic (decimalCut); false when there is none below 2^53
// units (MOD of decimals takes its remainder of these, exactly).
bool decimalUnits(double a, double b, double *ua, double *ub, double *f);

// A DECIMAL of this scale as text, fixed point ("2600.00"; digits past the 15 significant ones
// a double holds are zeros); a value that rounds to zero has no sign (a
// DECIMAL has no negative zero: -0.04 as DECIMAL(4,1) is "0.0", as stored).
std::string decimalText(double d, int scale);

// s without the blanks before and after it.
std::string trimBlanks(const std::string &s);
// The integer (within 64 bits) or the number that text spells, blanks around it allowed; false
// when it spells none.  The one reading of numbers in strings: CAST, arithmetic, bound
// parameters.
bool parseInteger(const std::string &text, int64_t *out);
bool parseNumber(const std::string &text, double *out);

// Pads s with blanks to its fixed length n: bytes for CHAR(n), which holds n bytes as its
// length check counts them, characters (UTF-8) for GRAPHIC(n).
void padFixed(std::string *s, int64_t n, bool graphic);
// Drops the trailing blanks of s past its fixed length n (bytes for CHAR(n), characters for
// GRAPHIC(n)): what such a column stores of a longer value whose excess is blanks.  A value
// that is still longer is left as it is, for the column's check to refuse (-404).
void dropExcessBlanks(std::string *s, int64_t n, bool graphic);

// The text of v as a value of type t: DECIMAL with its scale, an integer type without a
// fraction, CHAR padded to its length, other numbers as doubleText ("1.0" for a whole double);
// NULL as empty text and BLOB as its bytes.
std::string valueText(const Value &v, const QType &t);

// v as assigned to a column of type t (bound parameter values): a number into an integer type
// without its fraction, into DECIMAL(p,s) cut to s digits; text into a datetime read in any
// form the host accepts and stored in one (throws -180 or -181 for text that is none); a number
// past the range of a REAL or DOUBLE throws -413.  Other
// values and types are left as they are; the column's checks refuse what does not fit.
void convertAssigned(Value *v, const QType &t);
// Whether convertAssigned leaves v as it is because a CHAR or GRAPHIC column takes it unchanged
// (no blanks past the length to drop): the caller binds it without a copy.
bool fitsFixedAsIs(const Value &v, const QType &t);

// A prepared statement of the engine's own, finalized when it goes out of scope.
class Stmt {
 public:
  Stmt(sqlite3 *db, const std::string &sql);
  ~Stmt();
  Stmt(const Stmt &) = delete;
  Stmt &operator=(const Stmt &) = delete;

  Stmt &bind(int i, const Value &v);
  Stmt &bind(int i, const std::string &s) { return bind(i, Value::text(s)); }
  Stmt &bind(int i, int64_t v) { return bind(i, Value::integer(v)); }
  Stmt &bindNull(int i) { return bind(i, Value::null()); }
  // Steps once: true when a row is available.
  bool step();
  void reset();
  std::string text(int col) const;
  int64_t integer(int col) const;
  bool isNull(int col) const;
  sqlite3_stmt *raw() const { return st_; }

 private:
  sqlite3 *db_;
  sqlite3_stmt *st_ = nullptr;
};

// Runs one or more statements without results.
void execSql(sqlite3 *db, const std::string &sql);

// Binds v to parameter i of st.
int bindValue(sqlite3_stmt *st, int i, const Value &v);
// Reads column col of the current row of st.
Value columnValue(sqlite3_stmt *st, int col);

}  // namespace quarn

#endif  // QUARN_ENGINE_SQLUTIL_H
