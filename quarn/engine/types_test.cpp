// Quarn types: catalog spellings and lengths, and the declared SQLite type read back.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "types.h"

namespace quarn {
namespace {

TEST(QuarnTypes, CatalogSpellingAndLengths) {
  QType c{Base::Char, 13, 0, true};
  EXPECT_EQ(c.catalogName(), "CHARACTER");
  EXPECT_EQ(c.catalogSchema(), "SYSOSTREL");
  EXPECT_EQ(c.catalogLength(), 13);
  EXPECT_EQ(QType{Base::Integer}.catalogLength(), 4);
  EXPECT_EQ(QType{Base::Timestamp}.catalogLength(), 10);
  QType d{Base::Decimal, 3, 2};
  EXPECT_EQ(d.sqlText(), "DECIMAL(3,2)");
  QType x{Base::Clob, 2147483647};
  x.typeSchema = "QUARNXML";
  x.typeName = "XMLCLOB";
  EXPECT_EQ(x.catalogSchema(), "QUARNXML");
  EXPECT_EQ(x.catalogName(), "XMLCLOB");
  EXPECT_EQ(x.catalogLength(), 2147483647);
}

TEST(QuarnTypes, DeclaredTypeRoundTrips) {
  for (QType t : {QType{Base::Char, 13, 0, true}, QType{Base::Varchar, 40}, QType{Base::Decimal, 7, 2},
                  QType{Base::Clob, 102400}, QType{Base::Vargraphic, 10}, QType{Base::Date}}) {
    QType back = typeFromDecl(t.sqliteDecl().c_str());
    EXPECT_EQ(back.base, t.base) << t.sqliteDecl();
    EXPECT_EQ(back.length, t.length) << t.sqliteDecl();
    EXPECT_EQ(back.scale, t.scale);
    EXPECT_EQ(back.forBitData, t.forBitData);
  }
  EXPECT_EQ(typeFromDecl("TEXT").base, Base::None);
  EXPECT_EQ(typeFromDecl(nullptr).base, Base::None);
}

// A DECIMAL's bound is exact on the double a column stores: the smallest double not below
// 10^k, whose exact digits are 10^k or more while the double before it is below 10^k.  The
// nearest double to 10^31 is below it (the double of the largest DECIMAL(31,0)), and the bound
// 1e31 refused that value.  SQLite reads each bound back as the same double, as the column
// check writes it.
TEST(QuarnTypes, DecimalBoundIsTheFirstDoubleNotBelowTenToTheDigits) {
  sqlite3 *db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  auto digitsOf = [](double d) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", std::floor(d));  // the exact digits before the point
    return std::string(text).size();
  };
  for (int k = 1; k <= 31; ++k) {
    const double b = decimalBound(k);
    EXPECT_EQ(digitsOf(b), static_cast<size_t>(k) + 1) << k;
    EXPECT_EQ(digitsOf(std::nextafter(b, 0.0)), static_cast<size_t>(k)) << k;
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", b);
    sqlite3_stmt *st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, (std::string("SELECT ") + text).c_str(), -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_double(st, 0), b) << text;
    sqlite3_finalize(st);
  }
  EXPECT_GT(decimalBound(31), 1e31);
  sqlite3_close(db);
}

}  // namespace
}  // namespace quarn
