// Quarn types: catalog spellings and lengths, and the declared SQLite type read back.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quarn
