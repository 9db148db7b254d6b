// Result documents against a database: rows inserted from memory and from files, documents
// too long for the column, rows the table refuses, names that need quoting, validation by a stored DTD, by the
// document's own DTD when the id is not stored (also an id too long to be stored), a failed
// validation that stores nothing, the caller's ownership of the buffer, and large-object copies.
#include "kelresult.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "kel_test_db.h"
#include "kelbuf.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

const char kValid[] = "<?xml version=\"1.0\"?><!DOCTYPE Order SYSTEM \"po.dtd\"><Order><Name>n</Name></Order>";
const char kInvalid[] = "<?xml version=\"1.0\"?><!DOCTYPE Order SYSTEM \"po.dtd\"><Order><Bad/></Order>";
const char kOwnDtd[] = "<?xml version=\"1.0\"?><!DOCTYPE Order [<!ELEMENT Order (#PCDATA)>]><Order>x</Order>";

class Result : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    env_.set("QUARNINSTANCE", "kelres");
    env_.set("QUARNKELPATH", dir_.str());
    env_.set("QUARNKELTEMP", dir_.str());
    openDatabase("KELRES");
    KelCodePageRequest request{0, 1208, nullptr};
    ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8"), 0) << msg;
    ASSERT_EQ(exec("create table res (doc varchar(300), valid integer)"), 0) << error();
    ASSERT_EQ(exec("create table quarnxml.dtd_ref (dtdid varchar(128) not null, content clob(100k))"), 0) << error();
    ASSERT_EQ(exec("insert into quarnxml.dtd_ref values ('po.dtd', "
                   "'<!ELEMENT Order (Name)><!ELEMENT Name (#PCDATA)>')"),
              0)
        << error();
  }
  void TearDown() override {
    for (KelDocBuffer &b : buffers_) kelBufRelease(&ctx, &b);
    kelTerm(&ctx, state);
    keltest::DatabaseTest::TearDown();
  }
  // A document buffer holding text, in memory, or in a file when limit is small.
  KelDocBuffer *doc(const std::string &text, int64_t limit = 32766) {
    buffers_.push_back(KelDocBuffer{});
    KelDocBuffer *b = &buffers_.back();
    int status = 0;
    EXPECT_EQ(kelBufAcquire(&ctx, b, 64, limit, KEL_BUF_MEMORY, &status, msg, 1), 0) << msg;
    EXPECT_EQ(kelBufAppend(&ctx, b, text.c_str()), 0);
    return b;
  }
  // The rows of a two-column table: text and integer (-1 for NULL).
  std::vector<std::pair<std::string, int>> rows(const std::string &sql) {
    std::vector<std::pair<std::string, int>> out;
    sqlca ca{};
    quarn_stmt *stmt = nullptr;
    EXPECT_EQ(quarn_prepare(sql.c_str(), &stmt, &ca), 0) << sql;
    if (stmt == nullptr) return out;
    quarn_open(stmt, 0, nullptr, &ca);
    char text[400];
    sqlint32 value = 0;
    short ind[2] = {0, 0};
    quarn_hostvar vars[2] = {{SQL_TYP_CSTR, sizeof text, text, &ind[0]}, {SQL_TYP_INTEGER, 4, &value, &ind[1]}};
    while (quarn_fetch(stmt, 2, vars, &ca) == 0) out.emplace_back(text, ind[1] < 0 ? -1 : value);
    quarn_free_stmt(stmt);
    return out;
  }
  std::string msgId() const { return std::string(msg, 8); }

  KelCallContext ctx{};
  char state[6] = "";
  char msg[KEL_MSG_BUFFER + 1] = "";
  std::vector<KelDocBuffer> buffers_ = std::vector<KelDocBuffer>();

 public:
  Result() { buffers_.reserve(16); }
};

TEST_F(Result, RowsFromMemoryAndFromFilesWithOneStatement) {
  KelResultTable target("", "RES", "DOC", "");
  for (int i = 0; i < 3; ++i) {
    std::string text = "<d>" + std::to_string(i) + "</d>";
    ASSERT_EQ(kelInsertResult(&ctx, doc(text), &target, 0, nullptr, state, msg), 0) << msg;
  }
  KelDocBuffer *inFile = doc("<d>from a file</d>", 8);
  ASSERT_EQ(inFile->location, KEL_BUF_FILE);
  ASSERT_EQ(kelInsertResult(&ctx, inFile, &target, 0, nullptr, state, msg), 0) << msg;
  EXPECT_EQ(rows("select doc, valid from res order by doc"),
            (std::vector<std::pair<std::string, int>>{{"<d>0</d>", -1}, {"<d>1</d>", -1}, {"<d>2</d>", -1},
                                                      {"<d>from a file</d>", -1}}));
}

TEST_F(Result, EmptyAndTooLongDocuments) {
  KelResultTable target("", "RES", "DOC", "");
  EXPECT_EQ(kelInsertResult(&ctx, doc(""), &target, 0, nullptr, state, msg), -63);
  EXPECT_EQ(msgId(), "KELQ002E");
  const std::string big = "<d>" + std::string(400, 'x') + "</d>";
  for (int64_t limit : {int64_t{32766}, int64_t{8}}) {
    EXPECT_EQ(kelInsertResult(&ctx, doc(big, limit), &target, 0, nullptr, state, msg), -77) << limit;
    EXPECT_EQ(std::string(msg), "KELQ017E  The column in the result table RES is too small.\n");
  }
  EXPECT_TRUE(rows("select doc, valid from res").empty());
}

TEST_F(Result, ARowTheTableRefusesIsTheCallersErrorNamingTheTable) {
  // Regression: a result table that refused the row (a NOT NULL column left out, a CHECK
  // constraint, a first column of another type) was reported as an internal error, KELG001E
  // with this unit's line; a document in a file got KELG001E from its own statement as well.
  ASSERT_EQ(exec("create table rt_notnull (id integer not null, doc varchar(300))"), 0) << error();
  ASSERT_EQ(exec("create table rt_check (doc varchar(300) check (doc like 'x%'))"), 0) << error();
  ASSERT_EQ(exec("create table rt_int (doc integer)"), 0) << error();
  ASSERT_EQ(exec("create table rt_date (doc date)"), 0) << error();
  const std::pair<const char *, const char *> tables[] = {
      {"RT_NOTNULL", "SQL0407N"}, {"RT_CHECK", "SQL0545N"}, {"RT_INT", "SQL0420N"}, {"RT_DATE", "SQL0180N"}};
  for (const auto &[table, sqlMessage] : tables) {
    KelResultTable target("", table, "DOC", "");
    for (int64_t limit : {int64_t{32766}, int64_t{8}}) {
      KelDocBuffer *d = doc("<d>refused</d>", limit);
      ASSERT_EQ(d->location, limit == 8 ? KEL_BUF_FILE : KEL_BUF_MEMORY);
      EXPECT_EQ(kelInsertResult(&ctx, d, &target, 0, nullptr, state, msg), -133) << table << " " << limit;
      // The database's text, then KELM001W and KELQ053E with the table's name.
      const std::string expectedEnd =
          "KELM001W  A Quarn error occurred.\nKELQ053E  An SQL statement failed : INSERT INTO " +
          std::string(table) + "\n";
      const std::string text(msg);
      EXPECT_EQ(msgId(), sqlMessage) << text;
      ASSERT_GE(text.size(), expectedEnd.size()) << text;
      EXPECT_EQ(text.substr(text.size() - expectedEnd.size()), expectedEnd) << text;
    }
    EXPECT_TRUE(rows(std::string("select count(*), 0 from ") + table) ==
                (std::vector<std::pair<std::string, int>>{{"0", 0}}))
        << table;
  }
}

TEST_F(Result, NamesAreQuotedWithTheOneHelper) {
  ASSERT_EQ(exec("create table \"we\"\"ird\".\"ta;ble\" (\"my\"\"doc\" varchar(300), \"ok\"\"\" integer)"), 0)
      << error();
  KelResultTable target("we\"ird", "ta;ble", "my\"doc", "ok\"");
  KelValidationDesc desc;
  desc.dtdId = "po.dtd";
  ASSERT_EQ(kelInsertResult(&ctx, doc(kValid), &target, 1, &desc, state, msg), 0) << msg;
  EXPECT_EQ(rows("select \"my\"\"doc\", \"ok\"\"\" from \"we\"\"ird\".\"ta;ble\""),
            (std::vector<std::pair<std::string, int>>{{kValid, 1}}));
  // A name that would end the statement is only ever a name.
  KelResultTable hostile("", "RES\" (DOC) VALUES ('x'); --", "DOC", "");
  EXPECT_EQ(kelInsertResult(&ctx, doc("<d/>"), &hostile, 0, nullptr, state, msg), -57);
  EXPECT_EQ(msgId().substr(0, 3), "SQL");  // the database's text, then KELG001E
  EXPECT_NE(std::string(msg).find("KELG001E"), std::string::npos);
  EXPECT_TRUE(rows("select doc, valid from res").empty());
}

TEST_F(Result, ValidationResultsAreStored) {
  KelResultTable target("", "RES", "DOC", "VALID");
  KelValidationDesc desc;
  desc.dtdId = "po.dtd";
  ASSERT_EQ(kelInsertResult(&ctx, doc(kValid), &target, 1, &desc, state, msg), 0) << msg;
  ASSERT_EQ(kelInsertResult(&ctx, doc(kInvalid), &target, 1, &desc, state, msg), 0) << msg;
  // Not stored under that id: the document's own DTD decides.
  desc.dtdId = "unknown.dtd";
  ASSERT_EQ(kelInsertResult(&ctx, doc(kOwnDtd), &target, 1, &desc, state, msg), 0) << msg;
  EXPECT_EQ(rows("select doc, valid from res order by valid, doc"),
            (std::vector<std::pair<std::string, int>>{{kInvalid, 0}, {kValid, 1}, {kOwnDtd, 1}}));
  // Validation needs somewhere to put its result.
  KelResultTable noValid("", "RES", "DOC", "");
  EXPECT_EQ(kelInsertResult(&ctx, doc(kValid), &noValid, 1, &desc, state, msg), -134);
  EXPECT_EQ(msgId(), "KELQ054E");
}

TEST_F(Result, ADtdIdIsNeverCut) {
  // The document's own DTD, readable from an allowed directory, lets it pass; the DTD stored
  // under the first 128 bytes of a longer id does not.
  keltest::writeFile(dir_.file("quarn.registry"), "QUARN_XML_READ_DIRS=" + dir_.str() + "\n");
  keltest::writeFile(dir_.file("own.dtd"), "<!ELEMENT Order (#PCDATA)>");
  const std::string document =
      "<?xml version=\"1.0\"?><!DOCTYPE Order SYSTEM \"" + dir_.file("own.dtd") + "\"><Order>x</Order>";
  const std::string longId(200, 'd');
  ASSERT_EQ(exec("insert into quarnxml.dtd_ref values ('" + longId.substr(0, 128) + "', '<!ELEMENT Order (Other)>')"),
            0)
      << error();
  KelValidationDesc desc;
  desc.dtdId = longId;
  EXPECT_EQ(kelValidateXML(&ctx, doc(document), desc, state, msg), 1) << msg;
  desc.dtdId = longId.substr(0, 128);
  EXPECT_EQ(kelValidateXML(&ctx, doc(document), desc, state, msg), 0);
  EXPECT_EQ(msgId(), "KELQ047E");
}

TEST_F(Result, AStoredDtdHeldInATemporaryFileIsRead) {
  // Above the memory threshold the stored DTD is read through a temporary file of the call,
  // which lies in no directory the instance allows reading (none here) and needs none.
  ctx.fileThreshold = 16;
  KelValidationDesc desc;
  desc.dtdId = "po.dtd";
  EXPECT_EQ(kelValidateXML(&ctx, doc(kValid), desc, state, msg), 1) << msg;
  EXPECT_EQ(kelValidateXML(&ctx, doc(kInvalid), desc, state, msg), 0);
  EXPECT_EQ(msgId(), "KELQ047E");
  EXPECT_EQ(std::string(msg).find("refused"), std::string::npos) << msg;
}

TEST_F(Result, AFailedValidationStoresNothing) {
  KelResultTable target("", "RES", "DOC", "VALID");
  KelValidationDesc desc;
  desc.dtdId = "po.dtd";
  KelDocBuffer *gone = doc(kValid, 8);
  ASSERT_EQ(gone->location, KEL_BUF_FILE);
  std::remove(kelBufGetContent(&ctx, gone));
  EXPECT_EQ(kelInsertResult(&ctx, gone, &target, 1, &desc, state, msg), -80);
  EXPECT_EQ(msgId(), "KELC001E");
  EXPECT_TRUE(rows("select doc, valid from res").empty());
}

TEST_F(Result, TheCallerOwnsTheBuffer) {
  KelResultTable target("", "RES", "DOC", "");
  KelDocBuffer *b = doc("<d>kept</d>");
  ASSERT_EQ(kelInsertResult(&ctx, b, &target, 0, nullptr, state, msg), 0) << msg;
  EXPECT_EQ(kelBufLength(&ctx, b), 11);
  EXPECT_STREQ(kelBufGetContent(&ctx, b), "<d>kept</d>");
  char lob[32];
  uint32_t length = 0;
  ASSERT_EQ(kelResultToLob(&ctx, b, lob, sizeof lob, &length, state, msg), 0);
  EXPECT_EQ(std::string(lob, length), "<d>kept</d>");
}

TEST_F(Result, LargeObjectCopiesStayWithinTheirRoom) {
  char lob[16];
  uint32_t length = 0;
  for (int64_t limit : {int64_t{32766}, int64_t{8}}) {
    std::memset(lob, '#', sizeof lob);
    EXPECT_EQ(kelResultToLob(&ctx, doc("<d>0123456789</d>", limit), lob, 12, &length, state, msg), -52) << limit;
    EXPECT_EQ(msgId(), "KELC006E");
    EXPECT_STREQ(state, "38X06");
    EXPECT_EQ(lob[12], '#');
    ASSERT_EQ(kelResultToLob(&ctx, doc("<d>01</d>", limit), lob, 12, &length, state, msg), 0) << msg;
    EXPECT_EQ(std::string(lob, length), "<d>01</d>");
  }
}

}  // namespace
