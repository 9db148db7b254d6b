/*
 * translate_expr.cpp - the translator's expressions: predicates, arithmetic, CAST, CASE,
 * special registers, column references in their scopes, built-in and user-defined functions,
 * with the static type of each expression.
 */
#include "translator.h"

#include <algorithm>
#include <cstdio>

namespace quarn {

// ======================================================================= expressions

std::string Translator::expr() {
  Nest nest(*this);
  std::string out = andExpr();
  while (acceptKw("OR")) {
    out += " OR " + andExpr();
    lastType_ = QType{};
  }
  return out;
}

std::string Translator::andExpr() {
  std::string out = notExpr();
  while (acceptKw("AND")) {
    out += " AND " + notExpr();
    lastType_ = QType{};
  }
  return out;
}

std::string Translator::notExpr() {
  Nest nest(*this);
  if (acceptKw("NOT")) {
    std::string out = "NOT " + notExpr();
    lastType_ = QType{};
    return out;
  }
  return predicate();
}

std::string Translator::subqueryInParens() {
  expectOp("(");
  ++depth_;
  std::string inner = selectStatement(false);
  --depth_;
  expectOp(")");
  return "(" + inner + ")";
}

// A fullselect as a value: one column, and at most one row.  SQLite would take the first of
// several rows, so the rows (at most two of them) go through QONEROW, which fails at the
// second.  The empty first select of the compound names the column, whatever the query calls it.
// A subselect of column functions without GROUP BY is one row and stays as it is: within FROM
// SQLite could not take an aggregate of the outer query in it ((SELECT COUNT(*) FROM d WHERE
// d.k = MAX(t.k)) would be -120).  A plain subselect whose item names a column of its own FROM
// items puts QONEROW around that item instead (the column makes the aggregate the subselect's
// own): no select around it, so that scalar fullselects nest as deep as SQLite's parser takes
// plain ones.
std::string Translator::scalarFullselect() {
  const bool with = kw("WITH", 1);
  std::string sub = subqueryInParens();
  if (lastShape_.known && lastShape_.types.size() > 1) raise(kSqlSubqueryColumns, {});
  if (lastOneRow_) return sub;
  if (!with && !lastOneRowSql_.empty()) return "(" + lastOneRowSql_ + ")";
  return "(SELECT QONEROW(quarn_one) FROM (SELECT NULL AS quarn_one WHERE 0 UNION ALL SELECT * FROM " + sub + " LIMIT 2))";
}

// A character string operand of arithmetic or of a comparison with a number (not of a distinct
// type).
static bool isText(const QType &t) { return t.isCharacter() && !t.isDistinct(); }

// A number of a built-in type.
static bool isNumber(const QType &t) { return t.isNumeric() && !t.isDistinct(); }

// An operand of arithmetic: a character string is read as the number it spells, and one that
// spells none is an error (QNUMBER) instead of SQLite's 0.
static std::string numericOperand(const std::string &sql, const QType &t) {
  return isText(t) ? "QNUMBER(" + sql + ")" : sql;
}

// The operands of a comparison as the host compares them; only the side to convert changes, so
// an index on a bare column on the other side still serves.  A datetime compared with a string
// or a parameter marker: the other operand is read as a datetime of that type (any form the
// host accepts), so that it compares with the stored form.  A DATE compared with a TIMESTAMP is
// the timestamp of its midnight.  A number compared with a character string: the string is read
// as the number it spells (QNUMBER: -420 for one that spells none), where SQLite compared text
// unless one side was a column of numeric affinity (1 = '1' and 10 > '9' were false).  True
// when one of the two is a datetime or the string was read as a number: they are not compared
// as strings.
bool Translator::comparedOperands(std::string *left, const QType &leftType, std::string *right, const QType &rightType) {
  if (isNumber(leftType) && isText(rightType)) {
    *right = numericOperand(*right, rightType);
    return true;
  }
  if (isNumber(rightType) && isText(leftType)) {
    *left = numericOperand(*left, leftType);
    return true;
  }
  const bool leftDt = isDatetime(leftType), rightDt = isDatetime(rightType);
  if (leftDt && rightDt) {
    if (leftType.base == Base::Date && rightType.base == Base::Timestamp) *left = "QCAST(" + *left + ", 'TIMESTAMP')";
    if (rightType.base == Base::Date && leftType.base == Base::Timestamp) *right = "QCAST(" + *right + ", 'TIMESTAMP')";
  } else if (leftDt && (rightType.base != Base::None || (right->size() > 1 && (*right)[0] == '?'))) {
    *right = asDatetime(*right, rightType, leftType.base);
  } else if (rightDt && (leftType.base != Base::None || (*left)[0] == '?')) {
    *left = asDatetime(*left, leftType, rightType.base);
  }
  return leftDt || rightDt;
}

void Translator::comparable(std::string *left, const QType &leftType, std::string *right, const QType &rightType) {
  if (!comparedOperands(left, leftType, right, rightType) && (comparesPadded(leftType) || comparesPadded(rightType)))
    *right = blankPadded(*right);
}

// An operand compared with each of several values of types others, which are written once (an
// IN list, the WHENs of CASE x): the type it is compared as, *left converted to it where one of
// the others makes it so, as comparedOperands would (a character string among numbers is read
// as a number, a DATE among timestamps is a timestamp); leftType otherwise.
QType Translator::comparedWithAll(std::string *left, const QType &leftType, const std::vector<QType> &others) {
  for (const QType &t : others) {
    const bool convert = (isText(leftType) && isNumber(t)) || (isDatetime(leftType) && isDatetime(t) &&
                                                                leftType.base == Base::Date && t.base == Base::Timestamp);
    if (convert) {
      std::string other;
      comparedOperands(left, leftType, &other, t);
      return t;
    }
  }
  return leftType;
}

// The one column of the query read last (a subquery of IN, NOT IN or a quantified comparison),
// whose value is *value, compared with *left of type leftType: both as comparedOperands reads
// them, where the column is known to be a character string (read as a datetime or a number
// beside one), a number beside a string or a datetime beside a datetime; any other column stays
// as it is.  True when they are not compared as strings.
bool Translator::comparedColumn(std::string *left, const QType &leftType, std::string *value) {
  const QType column = lastShape_.known && lastShape_.types.size() == 1 ? lastShape_.types[0] : QType{};
  if (!isText(column) && !(isText(leftType) && isNumber(column)) && !(isDatetime(leftType) && isDatetime(column)))
    return false;
  return comparedOperands(left, leftType, value, column);
}

// The rows of subquery sub (in parentheses) as the values value of its one column "q" (as
// comparedColumn converted it).
static std::string rowsAs(const std::string &sub, const std::string &value) {
  if (value == "\"q\"") return sub;
  return "(SELECT " + value + " FROM (SELECT NULL AS \"q\" WHERE 0 UNION ALL SELECT * FROM " + sub + "))";
}

std::string Translator::predicate() {
  if (acceptKw("EXISTS")) {
    std::string out = "EXISTS " + subqueryInParens();
    lastType_ = QType{};
    return out;
  }
  std::string left = additive();
  QType leftType = lastType_;
  size_t afterLeft = i_;
  for (;;) {
    static const char *const kCmp[] = {"=", "<>", "!=", "^=", "<", ">", "<=", ">=", "!<", "!>", "^<", "^>"};
    std::string cmp;
    for (const char *c : kCmp)
      if (isOp(c)) cmp = c;
    if (!cmp.empty()) {
      ++i_;
      if (cmp == "!=" || cmp == "^=") cmp = "<>";
      if (cmp == "!<" || cmp == "^<") cmp = ">=";
      if (cmp == "!>" || cmp == "^>") cmp = "<=";
      if (kw("ANY") || kw("SOME") || kw("ALL")) {
        bool all = tk().text == "ALL";
        ++i_;
        std::string sub = subqueryInParens();
        if ((!all && cmp == "=") || (all && cmp == "<>")) {
          std::string l = left, q = "\"q\"";
          if (!comparedColumn(&l, leftType, &q) && comparesPadded(leftType)) l = blankPadded(l);
          left = l + (all ? " NOT IN " : " IN ") + rowsAs(sub, q);
        } else {
          // x op ANY (s): true when x op y holds for some y of s, false when s is empty or it
          // holds for none, else unknown.  x op ALL (s): true when s is empty or it holds for
          // every y, false when it fails for one, else unknown.  The subquery's one column is
          // named by position, so any name it has does not matter.
          std::string alias = quoteIdent("quarn_q" + std::to_string(++quantified_));
          std::string x = left, y = alias + ".\"q\"";
          if (!comparedColumn(&x, leftType, &y) && comparesPadded(leftType)) y = blankPadded(y);
          std::string rows = "(SELECT NULL AS \"q\" WHERE 0 UNION ALL SELECT * FROM " + sub + ") AS " + alias;
          std::string test = "(" + x + " " + cmp + " " + y + ")";
          std::string unknown = "EXISTS (SELECT 1 FROM " + rows + " WHERE " + test + " IS NULL)";
          if (all)
            left = "(CASE WHEN EXISTS (SELECT 1 FROM " + rows + " WHERE NOT " + test + ") THEN 0 WHEN " + unknown +
                   " THEN NULL ELSE 1 END)";
          else
            left = "(CASE WHEN EXISTS (SELECT 1 FROM " + rows + " WHERE " + test + ") THEN 1 WHEN " + unknown +
                   " THEN NULL ELSE 0 END)";
        }
        continue;
      }
      std::string right = additive();
      QType rightType = lastType_;
      comparable(&left, leftType, &right, rightType);
      left = left + " " + cmp + " " + right;
      continue;
    }
    if (kw("IS")) {
      ++i_;
      bool neg = acceptKw("NOT");
      if (acceptKw("DISTINCT")) {
        // x IS [NOT] DISTINCT FROM y: a comparison in which two nulls are equal (SQLite's IS,
        // which an index serves as it serves =), compared as = compares.
        expectKw("FROM");
        std::string right = additive();
        QType rightType = lastType_;
        comparable(&left, leftType, &right, rightType);
        left = left + (neg ? " IS " : " IS NOT ") + right;
        continue;
      }
      expectKw("NULL");
      left = left + (neg ? " IS NOT NULL" : " IS NULL");
      continue;
    }
    bool neg = false;
    size_t save = i_;
    if (kw("NOT") && (kw("BETWEEN", 1) || kw("IN", 1) || kw("LIKE", 1))) {
      ++i_;
      neg = true;
    }
    if (acceptKw("BETWEEN")) {
      std::string lo = additive();
      QType loType = lastType_;
      expectKw("AND");
      std::string hi = additive();
      QType hiType = lastType_;
      // A datetime or a number against strings (either way round) compares as = compares them;
      // a left operand read as a value of the lower bound's type (or beside a datetime lower
      // bound) is compared with the upper bound as a value of that type.
      QType leftAs = leftType;
      const std::string before = left;
      bool converted = comparedOperands(&left, leftAs, &lo, loType);
      if (left != before || (isDatetime(loType) && !isDatetime(leftAs))) leftAs = loType;
      converted = comparedOperands(&left, leftAs, &hi, hiType) || converted;
      bool padded = !converted && (comparesPadded(leftType) || comparesPadded(loType) || comparesPadded(hiType));
      left = (padded ? blankPadded(left) : left) + (neg ? " NOT BETWEEN " : " BETWEEN ") + lo + " AND " + hi;
      continue;
    }
    if (acceptKw("IN")) {
      std::string list;
      bool converted = false;
      if (isOp("(") && (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) {
        list = subqueryInParens();
        std::string q = "\"q\"";
        converted = comparedColumn(&left, leftType, &q);
        list = rowsAs(list, q);
      } else {
        std::vector<std::string> items;
        std::vector<QType> types;
        if (acceptOp("(")) {
          do {
            items.push_back(expr());
            types.push_back(lastType_);
          } while (acceptOp(","));
          expectOp(")");
        } else {
          items.push_back(additive());
          types.push_back(lastType_);
        }
        // Strings in the list of a datetime are read as datetimes of its type, strings in the
        // list of a number as numbers, and the left operand as a number or a timestamp where
        // the list has one for it (comparedWithAll).
        const QType leftAs = comparedWithAll(&left, leftType, types);
        converted = isDatetime(leftAs) || (isNumber(leftAs) && isText(leftType));
        list = "(";
        for (size_t k = 0; k < items.size(); ++k) {
          if (isDatetime(leftAs) || isNumber(leftAs)) {
            std::string x = left;
            converted = comparedOperands(&x, leftAs, &items[k], types[k]) || converted;
          }
          list += (k ? ", " : "") + items[k];
        }
        list += ")";
      }
      left = (comparesPadded(leftType) && !converted ? blankPadded(left) : left) + (neg ? " NOT IN " : " IN ") + list;
      continue;
    }
    if (acceptKw("LIKE")) {
      // LIKE matches the value, blanks and all: a CHAR(n) is n bytes however it was stored
      // ('ab' and 'ab  ' in a CHAR(4) both match 'ab__', neither matches '%b').
      std::string pat = additive();
      pat = asValue(pat, lastType_);
      if (acceptKw("ESCAPE")) {
        // The escape is one character, and stands in the pattern only before '%', '_' or
        // itself (-130); SQLite refused the first with its own text and took the second.
        const std::string escape = additive();
        left = asValue(left, leftType) + (neg ? " NOT LIKE " : " LIKE ") + "QLIKEPATTERN(" + pat + ", " + escape +
               ") ESCAPE QLIKEESCAPE(" + escape + ")";
      } else {
        left = asValue(left, leftType) + (neg ? " NOT LIKE " : " LIKE ") + pat;
      }
      continue;
    }
    i_ = save;
    break;
  }
  // A predicate is a truth value, not a value of the left operand's type.
  lastType_ = i_ == afterLeft ? leftType : QType{};
  return left;
}

// The type of a op b (op one of + - * /) for numbers, as the host types arithmetic: a floating
// operand makes the result floating (DOUBLE, or REAL when no DOUBLE takes part); with a DECIMAL,
// integers count as DECIMAL(5,0), (11,0) or (19,0) and the precision and scale follow the
// operator (sum and difference keep the larger scale and grow by one digit, a product adds
// precisions and scales, a quotient has precision 31 and scale 31-p1+s1-s2), at most 31 digits;
// integers give BIGINT with a BIGINT, else INTEGER.  Op ',' is the type both values are taken
// to where one result holds either (as a sum, without the digit a sum grows by).  Unknown when
// either operand is not a number of a built-in type.
static QType numericResult(const QType &a, const QType &b, char op = '+') {
  if (!a.isNumeric() || !b.isNumeric() || a.isDistinct() || b.isDistinct()) return QType{};
  QType r;
  if (a.base == Base::Double || b.base == Base::Double) {
    r.base = Base::Double;
    return r;
  }
  if (a.base == Base::Real || b.base == Base::Real) {
    r.base = Base::Real;
    return r;
  }
  if (a.base == Base::Decimal || b.base == Base::Decimal) {
    auto asDecimal = [](const QType &t, int64_t *p, int64_t *s) {
      *s = t.base == Base::Decimal ? t.scale : 0;
      *p = t.base == Base::Decimal ? t.length : t.base == Base::SmallInt ? 5 : t.base == Base::Integer ? 11 : 19;
    };
    int64_t p1, s1, p2, s2;
    asDecimal(a, &p1, &s1);
    asDecimal(b, &p2, &s2);
    int64_t p, s;
    if (op == '*') {
      p = p1 + p2;
      s = s1 + s2;
    } else if (op == '/') {
      p = 31;
      s = std::max<int64_t>(0, 31 - p1 + s1 - s2);
    } else {
      s = std::max(s1, s2);
      p = std::max(p1 - s1, p2 - s2) + s + (op == ',' ? 0 : 1);
    }
    r.base = Base::Decimal;
    r.length = std::min<int64_t>(31, p);
    r.scale = static_cast<int>(std::min<int64_t>(r.length, s));
    return r;
  }
  r.base = a.base == Base::BigInt || b.base == Base::BigInt ? Base::BigInt : Base::Integer;
  return r;
}

QType Translator::combinedType(const QType &a, const QType &b) {
  if (a.base == b.base && a.scale == b.scale && a.typeName == b.typeName) {
    QType r = a;
    r.length = std::max(a.length, b.length);
    return r;
  }
  if (a.isDistinct() || b.isDistinct()) return QType{};
  // A datetime and a string: the datetime, as the string is read as one where they meet.
  if (isDatetime(a) && b.isCharacter() && !b.isGraphic()) return a;
  if (isDatetime(b) && a.isCharacter() && !a.isGraphic()) return b;
  // Strings of one kind: varying, as long as the longer, a large object where one is.
  if (a.isCharacter() && b.isCharacter() && a.isGraphic() == b.isGraphic() && a.forBitData == b.forBitData) {
    const bool graphic = a.isGraphic();
    const bool isLong = a.base == Base::LongVarchar || b.base == Base::LongVarchar || a.base == Base::LongVargraphic ||
                        b.base == Base::LongVargraphic;
    QType r;
    r.base = a.isLob() || b.isLob() ? (graphic ? Base::DbClob : Base::Clob)
             : isLong               ? (graphic ? Base::LongVargraphic : Base::LongVarchar)
                                    : (graphic ? Base::Vargraphic : Base::Varchar);
    r.length = std::max(a.length, b.length);
    r.forBitData = a.forBitData;
    return r;
  }
  return numericResult(a, b, ',');
}

QType Translator::rowsType(const QType &a, const QType &b) {
  const QType r = combinedType(a, b);
  if (r.base != Base::None || a.base == Base::None || b.base == Base::None || a.isDistinct() || b.isDistinct()) return r;
  // The kind of a built-in type: 'n' number, 's' character or graphic string, 'd' datetime, 'b'
  // binary string; '?' others, which are not refused here.
  auto kind = [](const QType &t) {
    return t.isNumeric() ? 'n' : t.isCharacter() ? 's' : isDatetime(t) ? 'd' : t.base == Base::Blob ? 'b' : '?';
  };
  const char ka = kind(a), kb = kind(b);
  // Strings of different kinds (character and graphic, bit data) stay of unknown type, as does a
  // datetime with any string, which is read as one.
  if (ka == '?' || kb == '?' || (ka == 's' && kb == 's') || (ka == 'd' && kb == 's') || (ka == 's' && kb == 'd')) return r;
  raise(kSqlIncompatibleColumns);
}

// A labeled duration's unit at the current token (YEAR(S) ... MICROSECOND(S)); empty when none.
static std::string durationUnit(const Token &t) {
  static const char *const kUnits[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND", "MICROSECOND"};
  if (t.kind != Tok::Ident) return "";
  for (const char *u : kUnits)
    if (t.text == u || t.text == std::string(u) + "S") return u;
  return "";
}

// How the result of arithmetic of type t is checked: 'i' within 32 bits (INTEGER, SMALLINT
// operands included, as the database types them), 's' within 16 (a SMALLINT result: the
// absolute value of a SMALLINT), 'b' within 64 (BIGINT), 'f' finite (floating arithmetic is
// done in double precision whatever its operands' types; so is a number of no known type made
// of a character string operand), 'r' within a REAL's range (a REAL result), 'd' brought to its
// DECIMAL(p,s) (rounded to the 15 significant digits a double holds, cut to the scale, within
// the precision), '.' not at all (distinct types, unknown types).  Outside its range the result
// is -802, where SQLite would give a larger number, a double, an infinity or a DECIMAL with the
// binary expansion's digits.
static char resultCheck(const QType &t, bool fromText) {
  if (fromText && t.base == Base::None) return 'f';
  if (t.isDistinct()) return '.';
  if (t.base == Base::SmallInt) return 's';
  if (t.base == Base::Integer) return 'i';
  if (t.base == Base::BigInt) return 'b';
  if (t.base == Base::Double) return 'f';
  if (t.base == Base::Real) return 'r';
  if (t.base == Base::Decimal) return 'd';
  return '.';
}

// The check of a QARITH step whose result has type t: resultCheck's letter, with a DECIMAL's
// precision and scale in two digits each ("d3102").
static std::string stepCheck(const QType &t, bool fromText) {
  const char c = resultCheck(t, fromText);
  if (c != 'd') return std::string(1, c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "d%02d%02d", static_cast<int>(t.length), t.scale);
  return buf;
}

// arithmetic (one operation), checked as resultCheck says.
static std::string checkedArithmetic(const std::string &arithmetic, const QType &t, bool fromText = false) {
  switch (resultCheck(t, fromText)) {
    case 's': return "QINTRESULT(" + arithmetic + ", 16)";
    case 'i': return "QINTRESULT(" + arithmetic + ", 32)";
    case 'b': return "QINTRESULT(" + arithmetic + ", 64)";
    case 'f': return "QFLOATRESULT(" + arithmetic + ")";
    case 'r': return "QFLOATRESULT(" + arithmetic + ", 1)";
    case 'd':
      return "QDECRESULT(" + arithmetic + ", " + std::to_string(t.length) + ", " + std::to_string(t.scale) + ")";
    default: return arithmetic;
  }
}

// The type of a || b (and CONCAT(a, b)): a CLOB where either is a large object, else a VARCHAR.
static QType concatType(const QType &a, const QType &b) {
  const bool lob = (a.isLob() && !a.isDistinct()) || (b.isLob() && !b.isDistinct());
  QType t;
  t.base = lob ? Base::Clob : Base::Varchar;
  t.length = lob ? 2147483647 : 32672;
  return t;
}

namespace {

/*
 * A chain of + - * / (x0 op1 x1 op2 x2 ...) whose steps are checked, written as one call
 * QARITH(x0, x1, x2, ..., 'op1 check1 op2 check2 ...') that computes and checks each step from
 * left to right (sqlfuncs.cpp).  Wrapping each step's result around the steps before it nested
 * the SQLite text once per operator: SQLite's parser stack overflowed at about 30 INTEGER terms
 * (-901), and building the text copied it once per operator.  A call takes at most 126
 * operands (SQLite's limit is 127 arguments); a longer chain is written as calls each of which
 * is the first operand of the next, so the nesting grows by one per 125 operands (SQLite's
 * parser takes about 30 such levels; a chain of plain operators reaches its limit of 1000 on
 * the depth of an expression sooner).  Operators: + - * and / as SQLite computes them, 'r' a
 * quotient of the left operand made a double first (a DECIMAL or floating quotient is not cut
 * to an integer).
 */
class ArithmeticChain {
 public:
  bool empty() const { return operands_.empty(); }
  // Adds left op right (left: the chain so far when it is not empty).
  void add(const std::string &left, char op, const std::string &right, const std::string &check) {
    if (operands_.empty()) operands_.push_back(left);
    operands_.push_back(right);
    steps_.push_back(op + check);
  }
  // The chain's SQL text; the chain is empty again.
  std::string take() {
    constexpr size_t kFirst = 126, kNext = 125;  // operands of the first call, then of each next
    std::vector<size_t> ends;                    // operand index after each call's last
    for (size_t end = std::min(kFirst, operands_.size());; end = std::min(end + kNext, operands_.size())) {
      ends.push_back(end);
      if (end == operands_.size()) break;
    }
    std::string out;
    for (size_t call = 0; call < ends.size(); ++call) out += "QARITH(";
    size_t from = 0;  // the first step of the call
    for (size_t k = 0, call = 0; k < operands_.size(); ++k) {
      out += (k == 0 ? "" : ", ") + operands_[k];
      if (k + 1 == ends[call]) {
        const size_t to = ends[call] - 1;  // steps from..to-1
        out += ", '";
        for (size_t st = from; st < to; ++st) out += steps_[st];
        out += "')";
        from = to;
        ++call;
      }
    }
    operands_.clear();
    steps_.clear();
    return out;
  }

 private:
  std::vector<std::string> operands_;
  std::vector<std::string> steps_;  // each step's operator and check
};

}  // namespace

std::string Translator::additive() {
  std::string out = multiplicative();
  QType t = lastType_;
  ArithmeticChain chain;
  auto sql = [&] { return chain.empty() ? out : chain.take(); };
  for (;;) {
    bool plus = isOp("+"), minus = isOp("-");
    if (plus || minus) {
      ++i_;
      std::string right = multiplicative();
      QType rt = lastType_;
      std::string unit = durationUnit(tk());
      if (!unit.empty()) {
        // datetime + n UNIT, datetime - n UNIT: a labeled duration.
        ++i_;
        if (!isDatetime(t)) raise(kSqlDatetimeExpression);
        bool dateOnly = t.base == Base::Date, timeOnly = t.base == Base::Time;
        bool timeUnit = unit == "HOUR" || unit == "MINUTE" || unit == "SECOND" || unit == "MICROSECOND";
        if ((dateOnly && timeUnit) || (timeOnly && !timeUnit)) raise(kSqlDatetimeExpression);
        out = "QDTADD(" + sql() + ", " + (minus ? "-(" + right + ")" : right) + ", '" + unit + "', '" + baseName(t.base) + "')";
        continue;
      }
      if ((t.base == Base::Time || t.base == Base::Timestamp) && !t.isDistinct() && rt.base == Base::Decimal &&
          !rt.isDistinct() && rt.length == 6 && rt.scale == 0) {
        // A time or timestamp plus or minus a time duration (DECIMAL(6,0), hhmmss, such as
        // CURRENT TIMEZONE): its hours, minutes and seconds as labeled durations.
        const std::string n = "CAST(" + right + " AS INTEGER)", sign = minus ? "-" : "";
        const std::string b = std::string("'") + baseName(t.base) + "'";
        out = "QDTADD(QDTADD(QDTADD(" + sql() + ", " + sign + "(" + n + " / 10000), 'HOUR', " + b + "), " + sign + "(" + n +
              " / 100 % 100), 'MINUTE', " + b + "), " + sign + "(" + n + " % 100), 'SECOND', " + b + ")";
        continue;
      }
      if (isDatetime(t) || isDatetime(rt)) {
        // Without a labeled duration a datetime is only subtracted from a datetime or a string
        // read as one: a number or a string added, or a number subtracted, was read as the
        // date's year (d + 1 and d + '1' were 2024 for 2023-02-28), two datetimes added as two
        // years.
        if (plus || rt.isNumeric() || t.isNumeric()) raise(kSqlDatetimeExpression);
      }
      if (minus && (isDatetime(t) || isDatetime(rt))) {
        // date - date, time - time, timestamp - timestamp: the host's duration.
        Base b = isDatetime(t) ? t.base : rt.base;
        out = "QDTDIFF(" + asDatetime(sql(), t, b) + ", " + asDatetime(right, rt, b) + ", '" + baseName(b) + "')";
        t = QType{};
        t.base = Base::Decimal;
        t.length = b == Base::Date ? 8 : b == Base::Time ? 6 : 20;
        t.scale = b == Base::Timestamp ? 6 : 0;
        continue;
      }
      const bool fromText = isText(t) || isText(rt);
      const std::string left = chain.empty() ? numericOperand(out, t) : std::string();
      right = numericOperand(right, rt);
      t = numericResult(t, rt, plus ? '+' : '-');
      const std::string check = stepCheck(t, fromText);
      if (check != "." || !chain.empty()) chain.add(left, plus ? '+' : '-', right, check);
      else out = left + (plus ? " + " : " - ") + right;
    }
    else if (acceptOp("||") || acceptKw("CONCAT")) {
      // A DECIMAL or REAL operand reads as it does turned into text, with its scale (101.00 of
      // a DECIMAL(9,2) was "101").
      out = asText(asValue(sql(), t), t);
      const std::string right = multiplicative();
      out += " || " + asText(asValue(right, lastType_), lastType_);
      t = concatType(t, lastType_);
    } else {
      lastType_ = t;
      return sql();
    }
  }
}

std::string Translator::multiplicative() {
  std::string out = unary();
  QType t = lastType_;
  ArithmeticChain chain;
  for (;;) {
    const bool times = isOp("*"), divide = isOp("/");
    if (!times && !divide) {
      lastType_ = t;
      return chain.empty() ? out : chain.take();
    }
    ++i_;
    std::string right = numericOperand(unary(), lastType_);
    // A datetime is no number: d * 2 multiplied the date's year.
    if (isDatetime(t) || isDatetime(lastType_)) raise(kSqlDatetimeExpression);
    const bool fromText = isText(t) || isText(lastType_);
    const std::string left = chain.empty() ? numericOperand(out, t) : std::string();
    const QType r = numericResult(t, lastType_, times ? '*' : '/');
    t = r;
    const std::string check = stepCheck(r, fromText);
    char op = '*';
    if (divide) {
      // A DECIMAL or floating quotient is not cut to an integer, even where SQLite holds both
      // operands as integers (a DECIMAL value without a fraction is stored as one); nor is one
      // with a character string operand, whose number is no integer type.
      const bool exact = r.base == Base::SmallInt || r.base == Base::Integer || r.base == Base::BigInt;
      op = (r.base != Base::None && !exact) || fromText ? 'r' : '/';
    }
    if (check != "." || !chain.empty() || divide) {
      // QARITH refuses a zero divisor itself (-801, not SQLite's NULL), and gives NULL for a NULL
      // dividend whatever the divisor.
      chain.add(left, op, right, check);
    } else {
      out = left + " * " + right;
    }
  }
}

std::string Translator::unary() {
  Nest nest(*this);
  if (acceptOp("-")) {
    // The negation of the smallest value of a type is outside it; a literal cannot be that.
    // Any other operand goes in parentheses: "-" before "-1" would make "--", a comment.
    std::string operand = unary();
    if (operand.find_first_not_of("0123456789") == std::string::npos) {
      // SQLite reads -9223372036854775808 as the smallest BIGINT, but the literals just past it,
      // down to -9223372036854776832, as the double -2^63, which a BIGINT takes: they are
      // written as the next double down, so that a BIGINT refuses them (-413) as it refuses
      // 9223372036854775808.  Such a literal is a DECIMAL held as a double either way.
      const std::string_view digits = std::string_view(operand).substr(std::min(operand.find_first_not_of('0'), operand.size()));
      if (digits.size() == 19 && digits > "9223372036854775808" && digits <= "9223372036854776832")
        return "-9223372036854777856";
      return "-" + operand;
    }
    // A datetime has no sign (-d was minus its year).
    if (isDatetime(lastType_)) raise(kSqlDatetimeExpression);
    // The negation of a SMALLINT is an INTEGER, so -(-32768) is 32768.
    if (lastType_.base == Base::SmallInt && !lastType_.isDistinct()) lastType_.base = Base::Integer;
    return checkedArithmetic("-(" + numericOperand(operand, lastType_) + ")", lastType_, isText(lastType_));
  }
  if (acceptOp("+")) {
    std::string operand = unary();
    if (isDatetime(lastType_)) raise(kSqlDatetimeExpression);
    return operand;
  }
  lastType_ = QType{};
  return primary();
}

std::string Translator::castExpr(QType *typeOut) {
  expectOp("(");
  std::string value;
  if (kw("NULL") && kw("AS", 1)) {
    ++i_;
    value = "NULL";
  } else if (tk().kind == Tok::Param && kw("AS", 1)) {
    ++i_;
    value = nextParam();
  } else {
    value = expr();
    value = asValue(value, lastType_);
  }
  QType from = lastType_;
  expectKw("AS");
  QType t = dataType();
  // A datetime is no number nor a number a datetime, and only strings become a BLOB: -461
  // (42846), where a DATE cast to INTEGER was its year, and an INTEGER to a DATE -180.
  if (!from.isDistinct() && !t.isDistinct() && from.base != Base::None) {
    const bool number = t.isNumeric(), datetime = isDatetime(t);
    if ((isDatetime(from) && (number || t.base == Base::Blob)) || (from.isNumeric() && (datetime || t.base == Base::Blob)) ||
        (from.base == Base::Blob && (number || datetime)))
      raise(kSqlCastInvalid, {from.builtinName(), t.builtinName()});
  }
  if (t.isCharacter() && !t.isDistinct()) value = asText(value, from);
  expectOp(")");
  if (typeOut) *typeOut = t;
  lastType_ = t;
  // A number whose type lies within a DECIMAL's range and scale is held to the column's bound,
  // which the largest DECIMAL(31,0) is within (its double is that of 10^31).
  if (t.base == Base::Decimal && !t.isDistinct() && !from.isDistinct()) {
    const int64_t digits = from.base == Base::SmallInt ? 5 : from.base == Base::Integer ? 10 : from.base == Base::BigInt ? 19
                           : from.base == Base::Decimal ? from.length - from.scale : -1;
    const int scale = from.base == Base::Decimal ? from.scale : 0;
    if (digits >= 0 && digits <= t.length - t.scale && scale <= t.scale)
      return "QCAST(" + value + ", " + quoteString(t.sqliteDecl()) + ", 0, 1)";
  }
  // A cast to a distinct type is an assignment to it: a string that does not fit is refused.
  return "QCAST(" + value + ", " + quoteString(t.sqliteDecl()) + (t.isDistinct() ? ", 2)" : ")");
}

std::string Translator::caseExpr() {
  // CASE x WHEN v: x = v, compared as = compares (blanks padded, a string read as a datetime or a
  // number of the other's type, a DATE among timestamps a timestamp); x is written once, when
  // every WHEN's type is known.
  std::string operand;
  QType operandType;
  const bool simple = !kw("WHEN");
  if (simple) {
    operand = expr();
    operandType = lastType_;
  }
  // The result holds every THEN's and the ELSE's value (rowsType); a result of no known type
  // (NULL, a parameter marker) takes the others'.
  QType result;
  bool typed = false;
  auto combine = [&](const QType &t) {
    if (t.base == Base::None && !t.isDistinct()) return;
    result = typed ? rowsType(result, t) : t;
    typed = true;
  };
  // The results are written once their type is known: a CHAR result is padded to the length of
  // the result's type.
  struct Result {
    std::string when;  // empty for ELSE
    QType whenType;
    std::string sql;
    QType type;
  };
  std::vector<Result> results;
  while (acceptKw("WHEN")) {
    std::string when = expr();
    QType whenType = lastType_;
    expectKw("THEN");
    std::string then = expr();
    combine(lastType_);
    results.push_back(Result{std::move(when), whenType, std::move(then), lastType_});
  }
  if (acceptKw("ELSE")) {
    std::string otherwise = expr();
    combine(lastType_);
    results.push_back(Result{std::string(), QType{}, std::move(otherwise), lastType_});
  }
  expectKw("END");
  std::string sql = "CASE";
  if (simple) {
    std::vector<QType> whenTypes;
    for (const Result &r : results)
      if (!r.when.empty()) whenTypes.push_back(r.whenType);
    const QType operandAs = comparedWithAll(&operand, operandType, whenTypes);
    bool converted = isNumber(operandAs) && isText(operandType);
    if (isDatetime(operandAs) || isNumber(operandAs))
      for (Result &r : results)
        if (!r.when.empty()) {
          std::string x = operand;
          converted = comparedOperands(&x, operandAs, &r.when, r.whenType) || converted;
        }
    sql += " " + (comparesPadded(operandType) && !converted ? blankPadded(operand) : operand);
  }
  for (const Result &r : results) {
    // A CHAR result of a longer CHAR result type is padded to the longer length.
    const bool longer = typed && result.base == r.type.base && result.length > r.type.length && !result.isDistinct();
    sql += (r.when.empty() ? " ELSE " : " WHEN " + r.when + " THEN ") + asValue(r.sql, longer ? result : r.type);
  }
  lastType_ = result;
  return sql + " END";
}

std::string Translator::specialRegister() {
  // At CURRENT or one of the underscore forms; the caller checked.
  std::string w = tk().text;
  ++i_;
  std::string reg = w;
  if (w == "CURRENT") {
    if (acceptKw("FUNCTION")) {
      expectKw("PATH");
      reg = "PATH";
    } else if (isName()) {
      reg = tk().text;
      ++i_;
    }
  } else if (w.rfind("CURRENT_", 0) == 0) {
    reg = w.substr(8);
  }
  if (reg == "SCHEMA" || reg == "SQLID") return quoteString(s_.currentSchema());
  // The user of the session that runs the statement, also inside a view or trigger defined by
  // another user (a literal froze the defining user into the stored text).
  if (reg == "USER") return "QUSER()";
  if (reg == "SERVER") return quoteString(s_.dbName());
  if (reg == "PATH") {
    std::string p;
    for (size_t k = 0; k < s_.functionPath().size(); ++k) p += (k ? "," : "") + quoteIdent(s_.functionPath()[k]);
    return quoteString(p);
  }
  if (reg == "DATE" || reg == "TIME" || reg == "TIMESTAMP") return "QCURRENT(" + quoteString(reg) + ")";
  if (reg == "TIMEZONE") return "QTIMEZONE()";
  fail("SCHEMA");
}

Translator::ScopeItem Translator::tableScope(const std::string &exposed, const TableInfo &info) {
  ScopeItem item{exposed, {}, true, {}, false};
  for (const ColumnDef &c : info.columns) item.cols.push_back(ScopeColumn{c.name, c.name, c.type, {}});
  return item;
}

const Translator::ScopeColumn *Translator::findColumn(const std::vector<std::string> &parts, std::string *exposed,
                                                      size_t *levelOut) const {
  const std::string &col = parts.back();
  for (auto level = scopes_.rbegin(); level != scopes_.rend(); ++level) {
    bool named = false;  // an item of this level is exposed under the qualifier
    for (const ScopeItem &item : *level) {
      if (!qualifies(item, parts)) continue;
      named = true;
      for (const ScopeColumn &c : item.cols)
        if (c.name == col) {
          *exposed = item.exposed;
          if (levelOut) *levelOut = static_cast<size_t>(scopes_.rend() - level) - 1;
          return &c;
        }
    }
    // The nearest item of that exposed name hides the items of enclosing queries of the same
    // name: Q.C is not looked for further out when Q lacks C.
    if (parts.size() >= 2 && named) return nullptr;
  }
  return nullptr;
}

std::string Translator::columnRef(const std::vector<std::string> &parts) {
  const std::string &col = parts.back();
  std::string exposed;
  size_t level = 0;
  const ScopeColumn *found = findColumn(parts, &exposed, &level);
  if (found) {
    // Another column of this name among the items the reference may name at that level: in the
    // same item (a derived table's or a common table expression's columns of one name), or where
    // either is known to SQLite by a name of the translator's, SQLite cannot see that the
    // reference is ambiguous and would take the first.
    // So is a column of another item of the qualifier's name in another schema (A.T and B.T).
    const ScopeItem *foundItem = nullptr;
    for (const ScopeItem &item : scopes_[level])
      if (found >= item.cols.data() && found < item.cols.data() + item.cols.size()) foundItem = &item;
    for (const ScopeItem &item : scopes_[level]) {
      if (!qualifies(item, parts)) continue;
      const bool sameItem = &item == foundItem;
      const bool aliased = item.aliased || (foundItem && foundItem->aliased);
      for (const ScopeColumn &c : item.cols)
        if (&c != found && c.name == col &&
            (sameItem || (parts.size() >= 2 && aliased) || c.real.find('\x1F') != std::string::npos ||
             found->real.find('\x1F') != std::string::npos))
          raise(kSqlNotUnique, {col});
    }
    if (group_.active && level == group_.level) group_.columns.push_back(groupKey(level, found, exposed));
    lastType_ = found->type;
    lastColumnCombined_ = found->combined;
    if (found->real != found->name) {
      // A column renamed by a correlation list (or one of two of one name) is reached by the
      // name SQLite knows; a select item of it alone is named as the statement names it.
      renamedColumnSql_ = !found->sql.empty() ? found->sql : quoteIdent(exposed) + "." + quoteIdent(found->real);
      return renamedColumnSql_;
    }
    if (!found->sql.empty()) return found->sql;
    // SQLite finds a column whatever the case of its name, the nearest first: a bare A found
    // in an outer query, or beside a table with a column "a", is qualified so that SQLite
    // takes this one (it took the inner "a", or said the name was ambiguous).
    if (parts.size() == 1) {
      const std::string upper = upperAscii(col);
      for (const std::vector<ScopeItem> &items : scopes_)
        for (const ScopeItem &item : items)
          for (const ScopeColumn &c : item.cols)
            if (&c != found && c.name != col && upperAscii(c.name) == upper)
              return quoteIdent(exposed) + "." + quoteIdent(found->real);
    }
  }
  // A check condition names the columns of its own table only.
  if (!colPrefix_.empty()) raise(kSqlNotColumnOf, {col, definedTable_});
  // SQLite finds a column whatever the case of its name: a name that only a column of another
  // case matches ("a" for A) is unknown here, unless an item whose columns are not listed may
  // hold it.
  if (!found) {
    // S.T.C names a table or view read under its own name; SQLite knows tables by name alone.
    if (parts.size() == 3) raise(kSqlColumnInvalid, {parts[0] + "." + parts[1] + "." + col});
    const std::string *qual = parts.size() >= 2 ? &parts[parts.size() - 2] : nullptr;
    const std::string upper = upperAscii(col);
    bool otherCase = false, unlisted = false;
    for (const std::vector<ScopeItem> &level : scopes_)
      for (const ScopeItem &item : level) {
        if (qual && item.exposed != *qual) continue;
        if (!item.known) unlisted = true;
        for (const ScopeColumn &c : item.cols) otherCase = otherCase || upperAscii(c.name) == upper;
      }
    if (otherCase && !unlisted) raise(kSqlColumnInvalid, {col});
    // A qualified name whose nearest item of that exposed name lacks the column: SQLite would
    // look further out and take the column of an enclosing query's item of that name.  A
    // qualifier no item is exposed under would match an item whose name differs in case.
    if (qual) {
      bool otherName = false, hidden = false;
      for (auto level = scopes_.rbegin(); level != scopes_.rend(); ++level) {
        bool named = false;
        for (const ScopeItem &item : *level) {
          if (item.exposed == *qual) named = true;
          otherName = otherName || upperAscii(item.exposed) == upperAscii(*qual);
        }
        if (!named) continue;
        for (auto outer = level + 1; outer != scopes_.rend(); ++outer)
          for (const ScopeItem &item : *outer)
            if (item.exposed == *qual)
              for (const ScopeColumn &c : item.cols) hidden = hidden || c.name == col;
        otherName = false;
        break;
      }
      if (otherName || hidden) raise(kSqlColumnInvalid, {*qual + "." + col});
    }
  }
  if (parts.size() == 1) return quoteIdent(col);
  return quoteIdent(parts[parts.size() - 2]) + "." + quoteIdent(col);
}

std::string Translator::primary() {
  const Token &t = tk();
  lastType_ = QType{};
  lastIsRoutine_ = false;
  switch (t.kind) {
    case Tok::Param: ++i_; return nextParam();
    case Tok::String: case Tok::GString:
      ++i_;
      lastType_.base = t.kind == Tok::GString ? Base::Vargraphic : Base::Varchar;
      lastType_.length = static_cast<int64_t>(t.text.size());
      return quoteString(t.text);
    case Tok::HexString: {
      ++i_;
      lastType_.base = Base::Varchar;
      lastType_.forBitData = true;
      lastType_.length = static_cast<int64_t>(t.text.size());
      return hexLiteral(t.text);
    }
    case Tok::Integer: case Tok::Decimal: case Tok::Float:
      ++i_;
      if (t.kind == Tok::Integer) {
        // An integer constant is INTEGER when it fits one, 2147483647 included.
        const size_t lead = std::min(t.text.find_first_not_of('0'), t.text.size());
        const std::string_view digits = std::string_view(t.text).substr(lead);
        const bool fits = digits.size() < 10 || (digits.size() == 10 && digits <= "2147483647");
        const bool fitsBig = digits.size() < 19 || (digits.size() == 19 && digits <= "9223372036854775807");
        lastType_.base = fits ? Base::Integer : fitsBig ? Base::BigInt : Base::Decimal;
        // Past BIGINT it is a DECIMAL(p,0) of its digits (SQLite reads it as a double): assigned
        // to a BIGINT it is -413, not wrapped.  Past 31 digits, a DECIMAL's largest precision, it
        // is a DOUBLE: as DECIMAL(31,0) it passed for the largest such value, whose double
        // 10^31 is too.
        if (lastType_.base == Base::Decimal) {
          lastType_.length = static_cast<int64_t>(digits.size());
          if (digits.size() > 31) {
            lastType_ = QType{};
            lastType_.base = Base::Double;
          }
        }
      }
      else if (t.kind == Tok::Decimal) {
        // A decimal literal's precision is its number of digits, its scale the digits after
        // the point: 1.239 is DECIMAL(4,3), shown as it is written and cut when assigned to a
        // column of a smaller scale.
        const size_t point = t.text.find('.');
        const size_t digits = t.text.size() - (point == std::string::npos ? 0 : 1);
        lastType_.base = Base::Decimal;
        lastType_.length = static_cast<int64_t>(std::clamp<size_t>(digits, 1, 31));
        const size_t fraction = point == std::string::npos ? 0 : t.text.size() - point - 1;
        lastType_.scale = static_cast<int>(std::min<size_t>(fraction, 31));
        // More than 31 digits before the point: a DOUBLE, as an integer literal is.
        const size_t whole = point == std::string::npos ? t.text.size() : point;
        const size_t lead = std::min(t.text.find_first_not_of('0'), whole);
        if (whole - lead > 31) {
          lastType_ = QType{};
          lastType_.base = Base::Double;
        }
      }
      else lastType_.base = Base::Double;
      return t.text;
    case Tok::Op:
      if (t.text == "(") {
        if (atSubquery() || (kw("SELECT", 1) || kw("WITH", 1) || kw("VALUES", 1))) return scalarFullselect();
        ++i_;
        std::string inner = expr();
        if (acceptOp(",")) {
          inner += ", " + expr();
          while (acceptOp(",")) inner += ", " + expr();
          lastType_ = QType{};
        }
        expectOp(")");
        return "(" + inner + ")";
      }
      fail("<expression>");
    case Tok::End:
      fail("<expression>");
    case Tok::Ident:
      if (t.text == "CASE") { ++i_; return caseExpr(); }
      if (t.text == "CAST" && isOp("(", 1)) { ++i_; return castExpr(nullptr); }
      if (t.text == "NULL") { ++i_; return "NULL"; }
      if (!isOp("(", 1) && !isOp(".", 1)) {
        if (t.text == "USER" || t.text == "CURRENT_USER" || t.text == "SESSION_USER" || t.text == "SYSTEM_USER") {
          ++i_;
          lastType_.base = Base::Varchar;
          lastType_.length = 128;
          return "QUSER()";
        }
        if (t.text == "CURRENT" || t.text == "CURRENT_DATE" || t.text == "CURRENT_TIME" ||
            t.text == "CURRENT_TIMESTAMP" || t.text == "CURRENT_SCHEMA" || t.text == "CURRENT_PATH" ||
            t.text == "CURRENT_SERVER") {
          std::string reg = specialRegister();
          if (reg.rfind("QCURRENT('", 0) == 0) {
            lastType_.base = reg[10] == 'D' ? Base::Date : reg.size() > 20 ? Base::Timestamp : Base::Time;
          } else if (reg == "QTIMEZONE()") {
            // A time duration, hhmmss.
            lastType_.base = Base::Decimal;
            lastType_.length = 6;
          } else {
            lastType_.base = Base::Varchar;
            lastType_.length = 254;
          }
          return reg;
        }
      }
      [[fallthrough]];
    case Tok::DelimIdent: {
      std::vector<std::string> parts;
      parts.push_back(name(kMaxName));
      while (isOp(".") && isName(1) && parts.size() < 3) {
        ++i_;
        parts.push_back(name(kMaxName));
      }
      if (isOp("(")) {
        if (parts.size() > 2) fail("(");
        if (parts.size() == 2) return functionCall(parts[0], parts[1], true);
        return functionCall("", parts[0], false);
      }
      return columnRef(parts);
    }
  }
  fail("<expression>");
}

// Built-in scalar and column functions, and the cast functions of distinct types.
const std::vector<BuiltinFunction> &builtinFunctions() {
  static const std::vector<BuiltinFunction> k = {
      {"GENERATE_UNIQUE", 0, 0}, {"LENGTH", 1, 1}, {"RTRIM", 1, 1}, {"LTRIM", 1, 1}, {"STRIP", 1, 1}, {"TRIM", 1, 1},
      {"SUBSTR", 2, 3}, {"SUBSTRING", 2, 3}, {"UPPER", 1, 1}, {"UCASE", 1, 1}, {"LOWER", 1, 1}, {"LCASE", 1, 1},
      {"COALESCE", 2, 64, false}, {"VALUE", 2, 64, false}, {"NULLIF", 2, 2, false}, {"CONCAT", 2, 2}, {"HEX", 1, 1},
      {"ABS", 1, 1}, {"ABSVAL", 1, 1}, {"MOD", 2, 2}, {"ROUND", 1, 2}, {"REPLACE", 3, 3}, {"POSSTR", 2, 2},
      {"LOCATE", 2, 3}, {"LEFT", 2, 2}, {"RIGHT", 2, 2}, {"FLOOR", 1, 1}, {"CEIL", 1, 1}, {"CEILING", 1, 1},
      {"SIGN", 1, 1}, {"YEAR", 1, 1}, {"MONTH", 1, 1}, {"DAY", 1, 1}, {"HOUR", 1, 1}, {"MINUTE", 1, 1},
      {"SECOND", 1, 1}, {"SMALLINT", 1, 1}, {"INTEGER", 1, 1}, {"INT", 1, 1}, {"BIGINT", 1, 1}, {"DOUBLE", 1, 1},
      {"FLOAT", 1, 1}, {"DOUBLE_PRECISION", 1, 1}, {"REAL", 1, 1}, {"DATE", 1, 1}, {"TIME", 1, 1},
      {"TIMESTAMP", 1, 2}, {"DECIMAL", 1, 3}, {"DEC", 1, 3}, {"CHAR", 1, 2}, {"VARCHAR", 1, 2}, {"CLOB", 1, 2},
      {"BLOB", 1, 2}, {"LONG_VARCHAR", 1, 2}, {"DIGITS", 1, 1}, {"DAYS", 1, 1}, {"VARCHAR_FORMAT", 2, 2},
      {"TRANSLATE", 1, 4},
  };
  return k;
}

std::string Translator::functionCall(const std::string &schema, const std::string &fname, bool qualified) {
  expectOp("(");
  bool builtinSchema = !qualified || schema == kSystemSchema || schema == "SYSFUN";
  const size_t columnFunctionsBefore = columnFunctions_;
  // Column functions with DISTINCT or *.
  if (builtinSchema && (fname == "COUNT" || fname == "SUM" || fname == "AVG" || fname == "MIN" || fname == "MAX")) {
    ++columnFunctions_;
    if (fname == "COUNT" && acceptOp("*")) {
      expectOp(")");
      group_.aggregate = true;
      lastType_ = QType{};
      lastType_.base = Base::Integer;
      return "count(*)";
    }
    std::string distinct;
    if (acceptKw("DISTINCT")) distinct = "DISTINCT ";
    else acceptKw("ALL");
    std::vector<std::string> args;
    const size_t columnsBefore = group_.columns.size();
    do args.push_back(expr());
    while (acceptOp(","));
    expectOp(")");
    // The columns inside a column function are no select items of their own; MIN and MAX of
    // several arguments are the scalar functions, whose columns stay items.
    if (args.size() == 1) {
      group_.aggregate = true;
      group_.columns.resize(columnsBefore);
    }
    if (fname == "COUNT") {
      lastType_ = QType{};
      lastType_.base = Base::Integer;
    } else if (fname == "SUM" || fname == "AVG") {
      // SUM and AVG of integers are INTEGER (BIGINT of BIGINT); of
      // DECIMAL(p,s) SUM is DECIMAL(31,s) and AVG DECIMAL(31,31-p+s), so that the mean keeps its
      // fraction (the average of 1.00 and 2.25 is 1.625, not 1.62).
      QType arg = lastType_;
      lastType_ = QType{};
      if (arg.isNumeric() && !arg.isDistinct()) {
        lastType_.base = arg.base == Base::SmallInt ? Base::Integer : arg.base;
        if (arg.base == Base::Decimal) {
          lastType_.length = 31;
          lastType_.scale = fname == "AVG" ? static_cast<int>(31 - arg.length + arg.scale) : arg.scale;
        }
      }
      const bool integer = arg.base == Base::SmallInt || arg.base == Base::Integer || arg.base == Base::BigInt;
      if (args.size() == 1 && fname == "AVG" && integer && !arg.isDistinct())
        // The mean of integers is an integer, truncated toward zero: the integer quotient of
        // the sum and the count (SQLite's avg is a double, which compared and converted as one).
        return "(sum(" + distinct + args[0] + ") / count(" + distinct + args[0] + "))";
      if (args.size() == 1 && fname == "SUM")
        // A sum past its type's range is -802, as arithmetic's is (SQLite refuses a 64-bit
        // overflow itself, but gives an INTEGER sum past 32 bits and a floating sum's infinity);
        // a DECIMAL sum is brought to its type as a DECIMAL result of arithmetic is.
        return checkedArithmetic("sum(" + distinct + args[0] + ")", lastType_);
      if (args.size() == 1 && fname == "AVG" && !arg.isDistinct()) {
        // The mean of floating values never overflows on the way (QAVG); a REAL mean is held to
        // a REAL's range, a DECIMAL mean brought to its type.
        if (arg.base == Base::Double || arg.base == Base::Real)
          return checkedArithmetic("QAVG(" + distinct + args[0] + ")", lastType_);
        if (arg.base == Base::Decimal) return checkedArithmetic("avg(" + distinct + args[0] + ")", lastType_);
      }
    }
    std::string out = (fname == "COUNT" ? "count" : fname == "SUM" ? "sum" : fname == "AVG" ? "avg" : fname == "MIN" ? "min" : "max");
    out += "(" + distinct;
    for (size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
    return out + ")";
  }
  std::vector<std::string> args;
  std::vector<QType> argTypes;
  // CHAR(datetime, ISO|USA|EUR|JIS|LOCAL): a format name, not an expression.
  std::string dtFormat;
  if (!isOp(")")) {
    do {
      if (builtinSchema && fname == "CHAR" && args.size() == 1 && tk().kind == Tok::Ident && isOp(")", 1) &&
          (kw("ISO") || kw("USA") || kw("EUR") || kw("JIS") || kw("LOCAL"))) {
        dtFormat = tk().text;
        ++i_;
        break;
      }
      std::string a = expr();
      args.push_back(asValue(a, lastType_));
      argTypes.push_back(lastType_);
    } while (acceptOp(","));
  }
  expectOp(")");
  if (!dtFormat.empty()) {
    if (argTypes[0].base != Base::Date && argTypes[0].base != Base::Time) raise(kSqlBadArgument, {"1", fname});
    lastType_ = QType{};
    lastType_.base = Base::Char;
    lastType_.length = argTypes[0].base == Base::Date ? 10 : 8;
    return "QCHARDT(" + args[0] + ", '" + baseName(argTypes[0].base) + "', '" + dtFormat + "')";
  }
  // Built-in results: strings keep a large object's type, casts give their target.
  auto typed = [&](Base b, std::string out) {
    lastType_ = QType{};
    lastType_.base = b;
    lastType_.length = b == Base::Clob ? 2147483647 : b == Base::Varchar ? 32672 : 0;
    return out;
  };
  Base stringResult = !argTypes.empty() && argTypes[0].isLob() && !argTypes[0].isDistinct() ? Base::Clob : Base::Varchar;
  const BuiltinFunction *builtin = nullptr;
  if (builtinSchema)
    for (const BuiltinFunction &b : builtinFunctions())
      if (fname == b.name) builtin = &b;
  // The table holds the number of arguments each built-in takes; the branches below repeat it
  // as they read their arguments.
  auto argc = [&](size_t lo, size_t hi) {
    if (args.size() < lo || args.size() > hi) raise(kSqlNoFunction, {fname, "FUNCTION"});
  };
  if (builtin) argc(static_cast<size_t>(builtin->minArgs), static_cast<size_t>(builtin->maxArgs));
  auto call = [&](const std::string &f) {
    std::string out = f + "(";
    for (size_t k = 0; k < args.size(); ++k) out += (k ? ", " : "") + args[k];
    return out + ")";
  };
  auto castTo = [&](const QType &t) {
    lastType_ = t;
    return "QCAST(" + args[0] + ", " + quoteString(t.sqliteDecl()) + ")";
  };
  if (builtin) {
    const std::string &f = fname;
    QType t;
    if (f == "GENERATE_UNIQUE") { argc(0, 0); return "QGENERATE_UNIQUE()"; }
    if (f == "LENGTH") { argc(1, 1); return typed(Base::Integer, call("QLENGTH")); }
    if (f == "RTRIM" || f == "LTRIM") { argc(1, 1); return typed(stringResult, call(f == "RTRIM" ? "rtrim" : "ltrim")); }
    if (f == "STRIP" || f == "TRIM") { argc(1, 1); return typed(stringResult, call("trim")); }
    if (f == "SUBSTR" || f == "SUBSTRING") { argc(2, 3); return typed(stringResult, call("QSUBSTR")); }
    if (f == "UPPER" || f == "UCASE") { argc(1, 1); return typed(stringResult, call("upper")); }
    if (f == "LOWER" || f == "LCASE") { argc(1, 1); return typed(stringResult, call("lower")); }
    if (f == "COALESCE" || f == "VALUE") {
      // One type that holds every argument's value; an argument of no known type (NULL, a
      // parameter marker) takes the others'.
      argc(2, 64);
      QType r;
      bool first = true;
      for (const QType &a : argTypes) {
        if (a.base == Base::None) continue;
        r = first ? a : combinedType(r, a);
        first = false;
      }
      // A string beside a datetime is read as a value of the datetime's type and held in its
      // stored form ('2024-1-5' sorted after 2024-01-10).
      if (isDatetime(r))
        for (size_t k = 0; k < args.size(); ++k)
          if (argTypes[k].isCharacter() && !argTypes[k].isDistinct()) args[k] = asDatetime(args[k], argTypes[k], r.base);
      lastType_ = r;
      return call("coalesce");
    }
    if (f == "NULLIF") {
      // NULLIF(a, b) is CASE WHEN a = b THEN NULL ELSE a END, compared as = compares (blanks
      // padded, a string read as a datetime or a number of the other's type); SQLite's nullif
      // compared the stored values, so NULLIF(c, '') of a CHAR(3) '' and NULLIF('a', 'a  ') kept
      // a.  An a that may change from one evaluation to the next (a routine, GENERATE_UNIQUE) is
      // evaluated once, in a subquery of its own, unless a column function is in it: the
      // subquery would take it out of its grouping (NULLIF(SUM(f(x)), 0) was -120, and over
      // MAX(GENERATE_UNIQUE()) it gave a row per row), and a column function's value is one per
      // group already.
      argc(2, 2);
      const bool once = (args[0].find("QUDF(") != std::string::npos || args[0].find("QGENERATE_UNIQUE(") != std::string::npos) &&
                        columnFunctions_ == columnFunctionsBefore;
      const std::string a = once ? std::string("\"quarn_nullif\"") : args[0];
      std::string left = a, right = args[1];
      comparable(&left, argTypes[0], &right, argTypes[1]);
      const std::string test = "CASE WHEN " + left + " = " + right + " THEN NULL ELSE " + a + " END";
      lastType_ = argTypes[0];
      if (once) return "(SELECT " + test + " FROM (SELECT " + args[0] + " AS \"quarn_nullif\"))";
      return "(" + test + ")";
    }
    if (f == "CONCAT") {
      argc(2, 2);
      lastType_ = concatType(argTypes[0], argTypes[1]);
      return "(" + asText(args[0], argTypes[0]) + " || " + asText(args[1], argTypes[1]) + ")";
    }
    if (f == "HEX") { argc(1, 1); return typed(Base::Varchar, call("QHEX")); }
    // A numeric function's argument is read as arithmetic reads an operand: a datetime is no
    // number (-182) and a string is the number it spells (QNUMBER: -420 for 'abc' or '7x', which
    // SQLite read as 0 and 7; ABS(DATE('2024-01-01')) was 2024.0).
    auto numericArgument = [&](size_t k) {
      if (isDatetime(argTypes[k])) raise(kSqlDatetimeExpression);
      args[k] = numericOperand(args[k], argTypes[k]);
    };
    if (f == "ABS" || f == "ABSVAL" || f == "FLOOR" || f == "CEIL" || f == "CEILING" || f == "SIGN" || f == "ROUND" ||
        f == "MOD") {
      argc(f == "MOD" ? 2 : 1, f == "MOD" ? 2 : f == "ROUND" ? 2 : 1);
      numericArgument(0);
      if (f == "MOD" || (f == "ROUND" && args.size() == 2)) numericArgument(1);
    }
    if (f == "ABS" || f == "ABSVAL") {
      // The absolute value of a SMALLINT's or an INTEGER's most negative value is past its
      // range: -802, as -x is (SQLite's abs refuses only the most negative BIGINT).
      argc(1, 1);
      const Base b = argTypes[0].isDistinct() ? Base::None : argTypes[0].base;
      return b == Base::SmallInt || b == Base::Integer ? checkedArithmetic(call("abs"), argTypes[0]) : call("abs");
    }
    if (f == "MOD") {
      // The remainder with the dividend's sign, of the type both arguments are taken to: a
      // DECIMAL remainder is brought to its type as a DECIMAL result of arithmetic is (MOD(7.9,
      // 2.5) is 0.4; SQLite's % cut both to integers).  NULL for a NULL argument, -801 for a zero
      // divisor.
      argc(2, 2);
      const QType r = numericResult(argTypes[0], argTypes[1], ',');
      lastType_ = r.base != Base::None ? r : argTypes[1];
      const std::string out = call("QMOD");
      return r.base == Base::Decimal ? checkedArithmetic(out, r) : out;
    }
    if (f == "ROUND") {
      // QROUND, not SQLite's round, which ignores negative places (ROUND(1234.5, -2) is 1200.0).
      // A rounded SMALLINT or INTEGER is held to its type's range (-802), as arithmetic is.
      argc(1, 2);
      lastType_ = argTypes[0];
      const Base b = argTypes[0].isDistinct() ? Base::None : argTypes[0].base;
      return b == Base::SmallInt || b == Base::Integer ? checkedArithmetic(call("QROUND"), argTypes[0]) : call("QROUND");
    }
    if (f == "REPLACE") { argc(3, 3); return typed(stringResult, call("replace")); }
    if (f == "POSSTR") { argc(2, 2); return typed(Base::Integer, "QLOCATE(" + args[1] + ", " + args[0] + ")"); }
    if (f == "LOCATE") { argc(2, 3); return typed(Base::Integer, call("QLOCATE")); }
    if (f == "LEFT" || f == "RIGHT") {
      // Bytes, as SUBSTR, LOCATE and LENGTH count them; a string shorter than the length asked
      // for is padded with blanks, as SUBSTR pads it.  The result is as long as the string.
      argc(2, 2);
      typed(stringResult, "");
      if (argTypes[0].length > 0) lastType_.length = argTypes[0].length;
      if (f == "LEFT") return "QSUBSTR(" + args[0] + ", 1, " + args[1] + ")";
      return "QSUBSTR(" + args[0] + ", max(QLENGTH(" + args[0] + ") - (" + args[1] + ") + 1, 1), " + args[1] + ")";
    }
    if (f == "FLOOR" || f == "CEIL" || f == "CEILING" || f == "SIGN") { argc(1, 1); return call("Q" + (f == "CEILING" ? std::string("CEIL") : f)); }
    if (f == "YEAR" || f == "MONTH" || f == "DAY" || f == "HOUR" || f == "MINUTE" || f == "SECOND") {
      argc(1, 1);
      return typed(Base::Integer, "QDATEPART(" + args[0] + ", " + quoteString(f) + ")");
    }
    if (f == "SMALLINT") { argc(1, 1); t.base = Base::SmallInt; return castTo(t); }
    if (f == "INTEGER" || f == "INT") { argc(1, 1); t.base = Base::Integer; return castTo(t); }
    if (f == "BIGINT") { argc(1, 1); t.base = Base::BigInt; return castTo(t); }
    if (f == "DOUBLE" || f == "FLOAT" || f == "DOUBLE_PRECISION") { argc(1, 1); t.base = Base::Double; return castTo(t); }
    if (f == "REAL") { argc(1, 1); t.base = Base::Real; return castTo(t); }
    if (f == "TIMESTAMP" && args.size() == 2) {
      t.base = Base::Timestamp;
      lastType_ = t;
      return "QTSJOIN(" + asDatetime(args[0], argTypes[0], Base::Date) + ", " + asDatetime(args[1], argTypes[1], Base::Time) + ")";
    }
    if (f == "DAYS") {
      t.base = Base::Integer;
      lastType_ = t;
      return "QDAYS(" + args[0] + ")";
    }
    if (f == "DIGITS") {
      // As many digits as the argument's precision.
      const QType &a = argTypes[0];
      int64_t digits = a.base == Base::SmallInt ? 5 : a.base == Base::BigInt ? 19 : a.base == Base::Decimal ? a.length : 10;
      if (a.base != Base::None && !(a.base == Base::SmallInt || a.base == Base::Integer || a.base == Base::BigInt ||
                                    a.base == Base::Decimal))
        raise(kSqlBadArgument, {"1", f});
      t.base = Base::Char;
      t.length = digits;
      lastType_ = t;
      return "QDIGITS(" + args[0] + ", " + std::to_string(digits) + ", " + std::to_string(a.base == Base::Decimal ? a.scale : 0) + ")";
    }
    if (f == "VARCHAR_FORMAT") {
      t.base = Base::Varchar;
      t.length = 254;
      lastType_ = t;
      return "QVARCHAR_FORMAT(" + asDatetime(args[0], argTypes[0], Base::Timestamp) + ", " + args[1] + ")";
    }
    if (f == "TRANSLATE") {
      if (args.size() == 2) raise(kSqlNoFunction, {fname, "FUNCTION"});
      if (args.size() == 1) return typed(stringResult, call("upper"));
      return typed(stringResult, "QTRANSLATE(" + args[0] + ", " + args[1] + ", " + args[2] + ", " +
                                     (args.size() > 3 ? args[3] : std::string("' '")) + ")");
    }
    if (f == "DATE" || f == "TIME" || f == "TIMESTAMP") {
      argc(1, 1);
      t.base = f == "DATE" ? Base::Date : f == "TIME" ? Base::Time : Base::Timestamp;
      return castTo(t);
    }
    // Precision, scale and length arguments are integer constants.
    auto constant = [&](size_t k, int64_t lo, int64_t hi) -> int64_t {
      const std::string &a = args[k];
      bool digits = !a.empty() && a.find_first_not_of("0123456789") == std::string::npos && a.size() < 12;
      int64_t v = digits ? std::stoll(a) : -1;
      if (!digits || v < lo || v > hi) raise(kSqlBadArgument, {std::to_string(k + 1), f});
      return v;
    };
    if (f == "DECIMAL" || f == "DEC") {
      argc(1, 3);
      t.base = Base::Decimal;
      t.length = args.size() > 1 ? constant(1, 1, 31) : 15;
      t.scale = static_cast<int>(args.size() > 2 ? constant(2, 0, t.length) : 0);
      return castTo(t);
    }
    if (f == "CHAR" || f == "VARCHAR" || f == "CLOB" || f == "BLOB" || f == "LONG_VARCHAR") {
      argc(1, 2);
      t.base = f == "CHAR" ? Base::Char : f == "CLOB" ? Base::Clob : f == "BLOB" ? Base::Blob : Base::Varchar;
      int64_t most = t.base == Base::Char ? 254 : t.base == Base::Varchar ? 32672 : 2147483647;
      if (args.size() == 2) {
        t.length = constant(1, t.base == Base::Char ? 1 : 0, most);
      } else if (t.base == Base::Char && argTypes[0].base == Base::None) {
        // CHAR of a value of unknown type: its text, not padded.
        t.base = Base::Varchar;
        t.length = 254;
      } else {
        t.length = t.base == Base::Char ? charLengthOf(argTypes[0]) : most;
      }
      args[0] = asText(args[0], argTypes[0]);
      return castTo(t);
    }
  }
  // The cast function of a distinct type: TYPE(source value) and SOURCE(distinct value).
  {
    std::vector<std::string> schemas;
    if (qualified) schemas.push_back(schema);
    else {
      schemas = s_.functionPath();
      schemas.push_back(s_.currentSchema());
    }
    for (const std::string &sc : schemas) {
      if (auto d = findDistinctType(s_.db(), sc, fname)) {
        argc(1, 1);
        lastType_ = d->source;
        lastType_.typeSchema = d->schema;
        lastType_.typeName = d->name;
        return "QCAST(" + args[0] + ", " + quoteString(d->source.sqliteDecl()) + ", 2)";
      }
    }
    if (qualified) {
      // A source-type cast function in a distinct type's schema, e.g. QUARNXML.VARCHAR(x).
      Stmt st(s_.db(), "SELECT SOURCENAME, LENGTH, SCALE FROM \"SYSQUARN.DATATYPES\" WHERE TYPESCHEMA = ?1 AND "
                       "METATYPE = 'T' AND SOURCENAME = ?2");
      st.bind(1, schema).bind(2, fname == "CHAR" ? std::string("CHARACTER") : fname);
      if (st.step()) {
        argc(1, 1);
        QType source = typeFromCatalog(st.text(0), st.integer(1), static_cast<int>(st.integer(2)));
        if (source.base == Base::None) source = lastType_;
        lastType_ = source;
        return args[0];
      }
    }
  }
  // A user-defined function, chosen by the types of its arguments.
  RoutineDef def = resolveFunction(s_, qualified ? schema : "", fname, 'S', argTypes);
  addDependency('F', def.schema, def.specific);
  return routineCall(def, args);
}

// The call of a user-defined scalar function; sourced functions call their source.
std::string Translator::routineCall(const RoutineDef &def, const std::vector<std::string> &args) {
  RoutineDef target = def;
  for (int hops = 0; target.origin == 'U' && hops < 16; ++hops) {
    std::optional<RoutineDef> src = loadRoutineDef(s_.db(), target.sourceSchema, target.sourceSpecific);
    if (!src) raise(kSqlUndefinedName, {target.sourceSchema + "." + target.sourceSpecific});
    target = *src;
  }
  lastType_ = def.result.type;
  lastIsRoutine_ = true;
  if (target.origin == 'S') {
    // A cast function of a distinct type: the value keeps its representation; a string that
    // does not fit the type is refused.
    if (args.size() != 1) raise(kSqlNoFunction, {def.qualified(), "FUNCTION"});
    return "QCAST(" + args[0] + ", " + quoteString(def.result.type.sqliteDecl()) + ", 2)";
  }
  std::string out = "QUDF(" + quoteString(functionKey(target));
  for (const std::string &a : args) out += ", " + a;
  return out + ")";
}

}  // namespace quarn
