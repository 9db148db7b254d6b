// Catalogue tables: the generated statement list against its golden file, and the tables made
// by it in a fresh engine database: the enabled test, the DTD_REF triggers' refusals, the
// foreign key of XML_USAGE, and rows written by kelInsertXMLUsage and read by
// kelgetDtdFileFromDtdId.
#include "kelcattab.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kel_test_db.h"
#include "kel_golden.h"
#include "kel_test_env.h"
#include "kelbuf.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "kelcatalog.h"
#include "kelsql.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

std::string statementList() {
  std::string text = "-- create\n";
  int n = 0;
  const KelCatTabStmt *create = kelCatTabCreateStatements(&n);
  for (int i = 0; i < n; ++i) text += std::string(create[i].sql) + ";\n";
  text += "-- drop\n";
  const KelCatTabStmt *drop = kelCatTabDropStatements(&n);
  for (int i = 0; i < n; ++i) text += std::string(drop[i].sql) + ";\n";
  return text;
}

TEST(KelCatTab, StatementListMatchesGoldenFile) {
  EXPECT_TRUE(keltest::matchesGolden(keltest::goldenFile("admin", "kelcattab.sql"), statementList()));
}

// A fresh database in a temporary instance, connected, with the distinct type the tables use.
class CatalogDb : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    openDatabase("KELCAT");
    ASSERT_EQ(exec("create distinct type quarnxml.xmlclob as clob(2G)"), 0) << error();
  }
  // Runs the creation list: tables, grants and triggers.
  void createTables() {
    int n = 0;
    const KelCatTabStmt *create = kelCatTabCreateStatements(&n);
    for (int i = 0; i < n; ++i) ASSERT_EQ(exec(create[i].sql), 0) << create[i].sql << error();
  }
  // Expects the last statement to have been refused by a DTD_REF trigger with text.
  void expectSignal(int sqlcode, const char *text) {
    EXPECT_EQ(sqlcode, -438);
    EXPECT_EQ(std::string(ca_.sqlstate, 5), KEL_DTDREF_SQLSTATE);
    EXPECT_NE(std::string(ca_.sqlerrmc, static_cast<size_t>(ca_.sqlerrml)).find(text),
              std::string::npos)
        << error();
  }

  char msg_[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(CatalogDb, EnabledOnceXmlUsageExists) {
  int enabled = -1;
  ASSERT_EQ(kelIsDatabaseEnabled(nullptr, &enabled, msg_), 0);
  EXPECT_EQ(enabled, 0);
  createTables();
  ASSERT_EQ(kelIsDatabaseEnabled(nullptr, &enabled, msg_), 0);
  EXPECT_EQ(enabled, 1);
  int n = 0;
  const KelCatTabStmt *drop = kelCatTabDropStatements(&n);
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(exec(drop[i].sql), 0) << drop[i].sql << error();
  }
  ASSERT_EQ(kelIsDatabaseEnabled(nullptr, &enabled, msg_), 0);
  EXPECT_EQ(enabled, 0);
}

TEST_F(CatalogDb, DtdRefTriggersKeepTheUsageCountHonest) {
  createTables();
  expectSignal(exec("insert into quarnxml.dtd_ref (dtdid, content, usage_count) values "
                    "('d1', quarnxml.xmlclob(clob('<!ELEMENT a (#PCDATA)>')), 1)"),
               KEL_DTDREF_BAD_INSERT_TEXT);
  ASSERT_EQ(exec("insert into quarnxml.dtd_ref (dtdid, content, usage_count) values "
                 "('d1', quarnxml.xmlclob(clob('<!ELEMENT a (#PCDATA)>')), 0)"),
            0)
      << error();
  ASSERT_EQ(exec("update quarnxml.dtd_ref set usage_count = usage_count + 1"), 0) << error();
  expectSignal(exec("update quarnxml.dtd_ref set usage_count = usage_count + 2"),
               KEL_DTDREF_BAD_UPDATE_TEXT);
  expectSignal(exec("update quarnxml.dtd_ref set author = 'me'"), KEL_DTDREF_BAD_UPDATE_TEXT);
  expectSignal(exec("delete from quarnxml.dtd_ref where dtdid = 'd1'"), KEL_DTDREF_IN_USE_TEXT);
  ASSERT_EQ(exec("update quarnxml.dtd_ref set usage_count = usage_count - 1"), 0) << error();
  ASSERT_EQ(exec("update quarnxml.dtd_ref set author = 'me'"), 0) << error();
  ASSERT_EQ(exec("delete from quarnxml.dtd_ref where dtdid = 'd1'"), 0) << error();
}

// A document buffer holding text, in memory or (limit below its size) in a temporary file.
struct Dad {
  Dad(const std::string &text, int64_t limit) {
    int status = 0;
    char msg[KEL_MSG_BUFFER + 1];
    EXPECT_EQ(kelBufAcquire(nullptr, &buf, static_cast<int64_t>(text.size()), limit,
                            KEL_BUF_MEMORY, &status, msg, 1),
              0);
    char state[6];
    EXPECT_EQ(kelFillBuffer(nullptr, &buf, text.c_str(), &status, state), 0);
  }
  ~Dad() { kelBufRelease(nullptr, &buf); }
  KelDocBuffer buf{};
};

TEST_F(CatalogDb, XmlUsageRowsFromMemoryAndFileDads) {
  createTables();
  ASSERT_EQ(exec("insert into quarnxml.dtd_ref (dtdid, content, usage_count) values "
                 "('d1', quarnxml.xmlclob(clob('<!ELEMENT a (#PCDATA)>')), 0)"),
            0);
  const std::string small = "<?xml version=\"1.0\"?><DAD><dtdid>d1</dtdid></DAD>";
  Dad inMemory(small, KEL_BUF_NO_LIMIT);
  ASSERT_EQ(inMemory.buf.location, KEL_BUF_MEMORY);
  int32_t rc = 99;
  ASSERT_EQ(kelInsertXMLUsage(nullptr, "S1", "T1", "C1", "d1", 0, &inMemory.buf, 0, 1, "V1", 0,
                              "abcdefg", 1.5f, "ROOTID", 0, "S1", 0, &rc, msg_),
            0)
      << msg_;
  EXPECT_EQ(rc, 0);

  // A DAD that the buffer keeps in a file goes in through a file reference.
  std::string fileText = "<DAD>" + std::string(90000, 'x') + "</DAD>";
  Dad inFile(fileText, 1000);
  ASSERT_EQ(inFile.buf.location, KEL_BUF_FILE);
  ASSERT_EQ(kelInsertXMLUsage(nullptr, "KEL_COLL", "KEL_COLLECTION", "coll1", nullptr, -1,
                              &inFile.buf, 1, 0, nullptr, -1, "hijklmn", 1.0f, nullptr, -1,
                              nullptr, -1, &rc, msg_),
            0)
      << msg_;

  quarn_stmt *sel = nullptr;
  ASSERT_EQ(quarn_prepare("select length(dad), dtdid, version, default_view from "
                          "quarnxml.xml_usage order by access_mode",
                          &sel, &ca_),
            0);
  ASSERT_EQ(quarn_open(sel, 0, nullptr, &ca_), 0);
  sqlint32 len = 0;
  char dtdid[129];
  double version = 0;
  char view[129];
  short ind[2] = {0, 0};
  quarn_hostvar out[4] = {{SQL_TYP_INTEGER, 4, &len, nullptr},
                          {SQL_TYP_CSTR, sizeof dtdid, dtdid, &ind[0]},
                          {SQL_TYP_FLOAT, 8, &version, nullptr},
                          {SQL_TYP_CSTR, sizeof view, view, &ind[1]}};
  ASSERT_EQ(quarn_fetch(sel, 4, out, &ca_), 0) << error();
  EXPECT_EQ(len, static_cast<sqlint32>(small.size()));
  EXPECT_STREQ(dtdid, "d1");
  EXPECT_DOUBLE_EQ(version, 1.5);
  ASSERT_EQ(quarn_fetch(sel, 4, out, &ca_), 0) << error();
  EXPECT_EQ(len, static_cast<sqlint32>(fileText.size()));
  EXPECT_EQ(ind[0], -1);
  EXPECT_EQ(ind[1], -1);
  quarn_free_stmt(sel);

  // A DAD above the column's 100K is refused whole, never cut.
  Dad tooBig("<DAD>" + std::string(KEL_MAX_DAD_CLOB, 'y') + "</DAD>", 1000);
  EXPECT_EQ(kelInsertXMLUsage(nullptr, "KEL_COLL", "KEL_COLLECTION", "coll2", nullptr, -1,
                              &tooBig.buf, 1, 0, nullptr, -1, "opqrstu", 1.0f, nullptr, -1,
                              nullptr, -1, &rc, msg_),
            -1);
  EXPECT_EQ(rc, -6);
  EXPECT_NE(std::strstr(msg_, "KELA011E"), nullptr) << msg_;
}

TEST_F(CatalogDb, XmlUsageRefusesAnUnknownDtd) {
  createTables();
  Dad dad("<DAD/>", KEL_BUF_NO_LIMIT);
  int32_t rc = 0;
  EXPECT_EQ(kelInsertXMLUsage(nullptr, "S1", "T1", "C1", "nosuch", 0, &dad.buf, 0, 0, nullptr,
                              -1, "abcdefg", 1.0f, nullptr, -1, nullptr, -1, &rc, msg_),
            -1);
  EXPECT_EQ(rc, -6);
  EXPECT_NE(std::strstr(msg_, "SQLSTATE=23503"), nullptr) << msg_;
  EXPECT_NE(std::strstr(msg_, "KELA011E"), nullptr) << msg_;
}

TEST_F(CatalogDb, StoredDtdLoadsIntoADocumentBuffer) {
  createTables();
  const std::string dtd = "<!ELEMENT a (#PCDATA)>";
  ASSERT_EQ(exec("insert into quarnxml.dtd_ref (dtdid, content, usage_count) values "
                 "('it''s', quarnxml.xmlclob(clob('" + dtd + "')), 0)"),
            0)
      << error();
  KelDocBuffer buf{};
  ASSERT_EQ(kelgetDtdFileFromDtdId(nullptr, &buf, "it's", msg_), 0) << msg_;
  EXPECT_EQ(std::string(kelBufGetContent(nullptr, &buf)), dtd);
  kelBufRelease(nullptr, &buf);

  KelDocBuffer missing{};
  EXPECT_EQ(kelgetDtdFileFromDtdId(nullptr, &missing, "nosuch", msg_), -5);
  EXPECT_STREQ(msg_, "KELA010E  Attempt to find DTD ID nosuch failed.\n");
  kelBufRelease(nullptr, &missing);
}

}  // namespace
