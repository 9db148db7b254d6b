// The catalogue lookups and catalogue-table rows against an engine database.
#include "kelcatalog.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "kel_test_db.h"
#include "kel_test_env.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelbuf.h"
#include "kelmsg.h"
#include "quarnapp.h"
#include "kelsql.h"

namespace {

// A fresh database in a temporary instance, connected on this thread.
class KelSqlCatalog : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    openDatabase("KELSQL");
    ASSERT_EQ(exec("create distinct type ks.money as decimal(9,2) with comparisons"), 0)
        << error();
    ASSERT_EQ(exec("create table ks.orders (id integer not null, price ks.money, "
                   "note varchar(40), doc clob(10), ok integer)"),
              0)
        << error();
    ASSERT_EQ(exec("create alias ks.ord for ks.orders"), 0) << error();
  }
  char msg_[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(KelSqlCatalog, TableExistsForExistingMissingAndHostileNames) {
  int exists = -1;
  EXPECT_EQ(kelTableExists(nullptr, "KS", "ORDERS", &exists, msg_), 0);
  EXPECT_EQ(exists, 1);
  EXPECT_EQ(kelTableExists(nullptr, "", "ORDERS", &exists, msg_), 0);
  EXPECT_EQ(exists, 1);
  EXPECT_EQ(kelTableExists(nullptr, "KS", "NOSUCH", &exists, msg_), 0);
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(kelTableExists(nullptr, "KS", "ORDERS' OR '1'='1", &exists, msg_), 0);
  EXPECT_EQ(exists, 0);
  EXPECT_EQ(kelTableExists(nullptr, "KS", std::string(129, 'T').c_str(), &exists, msg_), 0);
  EXPECT_EQ(exists, 0);
}

TEST_F(KelSqlCatalog, ColumnTypesOfBuiltInDistinctAndAliasedColumns) {
  char typeSchema[KEL_TABLE_SIZE];
  char typeName[KEL_TYPENAME_SIZE];
  int32_t length = 0;
  ASSERT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORDERS", "NOTE", typeSchema,
                                    sizeof typeSchema, typeName, sizeof typeName, &length, msg_),
            0)
      << msg_;
  EXPECT_STREQ(typeSchema, "");
  EXPECT_STREQ(typeName, "VARCHAR");
  EXPECT_EQ(length, 40);
  ASSERT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORDERS", "PRICE", typeSchema,
                                    sizeof typeSchema, typeName, sizeof typeName, &length, msg_),
            0)
      << msg_;
  EXPECT_STREQ(typeSchema, "KS");
  EXPECT_STREQ(typeName, "MONEY");
  ASSERT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORD", "ID", typeSchema, sizeof typeSchema,
                                    typeName, sizeof typeName, &length, msg_),
            0)
      << msg_;
  EXPECT_STREQ(typeName, "INTEGER");

  EXPECT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORDERS", "NOSUCH", typeSchema,
                                    sizeof typeSchema, typeName, sizeof typeName, &length, msg_),
            -81);
  EXPECT_STREQ(msg_, "KELQ021E  Table KS.ORDERS does not have column NOSUCH.\n");
  EXPECT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORDERS", std::string(129, 'C').c_str(),
                                    typeSchema, sizeof typeSchema, typeName, sizeof typeName,
                                    &length, msg_),
            -1);
  EXPECT_NE(std::strstr(msg_, "line 545."), nullptr) << msg_;
  char tiny[4];
  EXPECT_EQ(kelGetCatalogColumnType(nullptr, "KS", "ORDERS", "NOTE", typeSchema,
                                    sizeof typeSchema, tiny, sizeof tiny, &length, msg_),
            -1);
  EXPECT_NE(std::strstr(msg_, "line 726."), nullptr) << msg_;
}

TEST_F(KelSqlCatalog, FirstColumnNameByMarkers) {
  char col[KEL_TABLE_SIZE];
  int32_t rc = 99;
  EXPECT_EQ(kelGetColumnName(nullptr, "KS", "ORDERS", col, &rc, msg_), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(col, "ID");
  EXPECT_EQ(kelGetColumnName(nullptr, "KS", "NO'SUCH", col, &rc, msg_), -11);
  EXPECT_EQ(rc, -11);
  EXPECT_STREQ(msg_, "KELA016E  The input table KS.NO'SUCH does not exist.\n");
}

TEST_F(KelSqlCatalog, DocumentFromFileAndValueTooLong) {
  std::string fits = dir_.file("fits.xml");
  std::string tooLong = dir_.file("long.xml");
  keltest::writeFile(fits, "<a/>");
  keltest::writeFile(tooLong, "<a>too long</a>");
  int32_t rc = 99;
  EXPECT_EQ(kelInsertDocFromFile(nullptr, "insert into ks.orders (id, doc, ok) values (1, ?, ?)",
                                 fits.c_str(), 1, 1, "doc", &rc, msg_),
            0)
      << msg_;
  EXPECT_EQ(kelInsertDocFromFile(nullptr, "insert into ks.orders (id, doc) values (2, ?)",
                                 tooLong.c_str(), 0, 0, "DOC", &rc, msg_),
            -77);
  EXPECT_EQ(rc, -77);
  EXPECT_STREQ(msg_, "KELQ017E  The column in the result table DOC is too small.\n");
  EXPECT_EQ(kelInsertDocFromFile(nullptr, "insert into ks.nosuch values (?)", fits.c_str(), 0, 0,
                                 "doc", &rc, msg_),
            -57);
  EXPECT_EQ(std::strncmp(msg_, "KELG001E", 8), 0) << msg_;
}

TEST_F(KelSqlCatalog, SchemaByIdFromSchemaRef) {
  ASSERT_EQ(exec("create table quarnxml.schema_ref (schemaid varchar(128) not null, "
                 "content clob(1M))"),
            0)
      << error();
  ASSERT_EQ(exec("insert into quarnxml.schema_ref values ('s1', '<xs:schema/>')"), 0) << error();
  KelDocBuffer buf{};
  ASSERT_EQ(kelGetSchemaFromSchemaId(nullptr, &buf, "s1", msg_), 0) << msg_;
  EXPECT_STREQ(kelBufGetContent(nullptr, &buf), "<xs:schema/>");
  kelBufRelease(nullptr, &buf);
  EXPECT_EQ(kelGetSchemaFromSchemaId(nullptr, &buf, "s2", msg_), -140);
  EXPECT_STREQ(msg_, "KELQ060E  Attempt to find SCHEMA ID s2 failed.\n");
  kelBufRelease(nullptr, &buf);
}

}  // namespace
