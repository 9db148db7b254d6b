// The validation report: every error with its place and element path, against DTDs and
// schemas, the fatal error last, the cut, and the grammar kept between documents.
#include "kelvalreport.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelSgDocHandler.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelctx.h"
#include "kelSgDoc.h"
#include "kelvalidate.h"
#include "sqlenv.h"

namespace {

class Report : public keltest::CallContextTest {
 protected:
  void SetUp() override {
    keltest::CallContextTest::SetUp();
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  }
  // The rows of doc against the DTD text, as "line:column path | message".
  std::vector<std::string> dtdRows(KelValidator &v, const std::string &doc, const char *dtd,
                                   int where = KEL_DTD_TEXT) {
    KelReportCollector report(&ctx);
    int rc = v.report(doc.data(), doc.size(), 1, 0, dtd, 0, "order.dtd", where, &report, state, msg);
    EXPECT_EQ(rc, 0) << msg;
    return lines(report);
  }
  static std::vector<std::string> lines(KelReportCollector &report) {
    std::vector<std::string> out;
    for (const KelReportRow &r : report.finish())
      out.push_back(std::to_string(r.line) + ":" + std::to_string(r.column) + " " + r.path + " | " +
                    r.message);
    return out;
  }
};

const char kDtd[] =
    "<!ELEMENT order (customer, item+)><!ATTLIST order id CDATA #REQUIRED>"
    "<!ELEMENT customer (#PCDATA)><!ELEMENT item (title, qty)><!ATTLIST item sku CDATA #REQUIRED>"
    "<!ELEMENT title (#PCDATA)><!ELEMENT qty (#PCDATA)>";

// A missing required attribute (line 3), an undeclared element (line 5) and bad content order
// (the second item's title after qty, reported at its end tag on line 6).
const char kThreeErrors[] =
    "<!DOCTYPE order SYSTEM \"order.dtd\">\n"
    "<order id=\"1\"><customer>c</customer>\n"
    "<item><title>t</title><qty>1</qty></item>\n"
    "<item sku=\"2\"><qty>2</qty><title>u</title>\n"
    "<note/>\n"
    "</item></order>\n";

std::string prefix(const std::string &row) { return row.substr(0, row.find(" | ")); }

TEST_F(Report, EveryErrorWithItsPlaceAndPath) {
  KelValidator v(&ctx);
  std::vector<std::string> rows = dtdRows(v, kThreeErrors, kDtd);
  ASSERT_EQ(rows.size(), 3u) << ::testing::PrintToString(rows);
  // The start-tag errors carry the element's own path; the first item gets [1] because a
  // second one followed.
  EXPECT_EQ(prefix(rows[0]), "3:7 /order/item[1]");
  EXPECT_NE(rows[0].find("sku"), std::string::npos) << rows[0];
  EXPECT_EQ(prefix(rows[1]), "5:6 /order/item[2]/note");
  EXPECT_NE(rows[1].find("note"), std::string::npos) << rows[1];
  EXPECT_EQ(prefix(rows[2]), "6:8 /order/item[2]");
  // The same through the grammar kept from the second document on, and with the DTD as a file.
  EXPECT_EQ(dtdRows(v, kThreeErrors, kDtd), rows);
  EXPECT_EQ(dtdRows(v, kThreeErrors, kDtd), rows);
  std::string file = dir.file("order.dtd");
  keltest::writeFile(file, kDtd);
  EXPECT_EQ(dtdRows(v, kThreeErrors, file.c_str(), KEL_DTD_SERVER_FILE), rows);
  // The plain validation of the same document still stops at the first error.
  EXPECT_EQ(v.validate(kThreeErrors, std::strlen(kThreeErrors), 1, 0, kDtd, 0, "d", state, msg,
                       KEL_DTD_TEXT),
            0);
  EXPECT_STREQ(state, "38X13");
}

TEST_F(Report, ValidMalformedAndRefusedDocuments) {
  KelValidator v(&ctx);
  EXPECT_TRUE(dtdRows(v,
                      "<!DOCTYPE order SYSTEM \"o.dtd\"><order id=\"1\"><customer/>"
                      "<item sku=\"1\"><title/><qty/></item></order>",
                      kDtd)
                  .empty());
  EXPECT_STREQ(state, "00000");
  // Not well formed: the validity errors before it, then the fatal error as the last row.
  std::vector<std::string> rows =
      dtdRows(v, "<!DOCTYPE order SYSTEM \"o.dtd\"><order><customer/>\n<item></order>", kDtd);
  ASSERT_EQ(rows.size(), 3u) << ::testing::PrintToString(rows);
  EXPECT_EQ(prefix(rows[0]), "1:39 /order");
  EXPECT_EQ(prefix(rows[1]), "2:7 /order/item");
  EXPECT_EQ(prefix(rows[2]), "2:9 /order/item");
  EXPECT_NE(rows[2].find("end of tag"), std::string::npos) << rows[2];
  // A DOCTYPE naming a file outside the readable directories ends the report with the refusal.
  rows = dtdRows(v, "<!DOCTYPE order SYSTEM \"/etc/hostname\"><order id=\"1\"/>", nullptr);
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  // The whole text at the DOCTYPE, not the message cut for the function's message area.
  EXPECT_EQ(rows[0], "1:40  | external entity \"/etc/hostname\" refused: not a regular file in an allowed directory")
      << rows[0];
  // A document that cannot be read at all is a failure, not a row.
  KelReportCollector report(&ctx);
  std::string missing = dir.file("none.xml");
  EXPECT_EQ(v.report(missing.c_str(), 0, 0, 0, kDtd, 0, "d", KEL_DTD_TEXT, &report, state, msg), -1);
  EXPECT_STREQ(state, "38X01");
}

// A byte the document's encoding does not read was the last row at line 1, column 1, where the
// parser stood when the block of input holding it failed to decode.  The row stands at the bad
// byte.  (The parser never reads the block, so the missing id of order on line 1 is no row.)
TEST_F(Report, ABadByteIsTheLastRowAtItsPlace) {
  KelValidator v(&ctx);
  std::vector<std::string> rows =
      dtdRows(v, "<!DOCTYPE order SYSTEM \"o.dtd\"><order><customer/>\n<item sku=\"1\"><title>caf\xE9 x</title>\n"
                 "<qty/></item></order>", kDtd);
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0].substr(0, 5), "2:26 ") << rows[0];
  EXPECT_EQ(rows[0].substr(rows[0].find(" | ")),
            " | invalid byte 0xE9 in the document (UTF-8): no character begins with the bytes 0xE9 0x20 0x78 0x3C");
}

TEST_F(Report, ADoctypeWithoutSystemIdIsARowAtTheDoctype) {
  // Against its own internal subset the document is valid; with a DTD given it is refused,
  // fresh and with the grammar kept, the DTD as text and as a file.
  const std::string doc =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE order [<!ELEMENT order ANY><!ELEMENT zz EMPTY>]>\n"
      "<order><zz/></order>";
  const std::string row = "2:17  | the DOCTYPE names no external DTD, so the DTD given is not applied";
  std::string file = dir.file("order.dtd");
  keltest::writeFile(file, kDtd);
  KelValidator v(&ctx);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(dtdRows(v, doc, kDtd), std::vector<std::string>{row}) << i;
    EXPECT_STREQ(state, "00000");
  }
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(dtdRows(v, doc, file.c_str(), KEL_DTD_SERVER_FILE), std::vector<std::string>{row}) << i;
  // No DTD given: the internal subset is the document's DTD.
  EXPECT_TRUE(dtdRows(v, doc, nullptr).empty());
}

// A document without a DOCTYPE never asks for the DTD given: its report held a "no declaration
// found" row for every element.  It is one row at its first element, saying why.
TEST_F(Report, ADocumentWithoutDoctypeIsOneRow) {
  const std::string doc =
      "<?xml version=\"1.0\"?>\n<order id=\"1\"><customer/>\n<item><zz/></item></order>";
  const std::string row = "2:7  | the document has no DOCTYPE, so the DTD given is not applied";
  std::string file = dir.file("order.dtd");
  keltest::writeFile(file, kDtd);
  KelValidator v(&ctx);
  for (int i = 0; i < 3; ++i) {  // from the second document on with the grammar kept
    EXPECT_EQ(dtdRows(v, doc, kDtd), std::vector<std::string>{row}) << i;
    EXPECT_STREQ(state, "00000");
  }
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(dtdRows(v, doc, file.c_str(), KEL_DTD_SERVER_FILE), std::vector<std::string>{row})
        << i;
}

// The parser reports text where the content model allows none when the text ends, with no text
// event, just before the start tag that follows: the row took that next element's path
// (/r/m for text between a and m).  It belongs to the element around the text; start-tag errors
// of the next element keep theirs.
TEST_F(Report, AnErrorInTextNamesTheElementAroundTheText) {
  const char dtd[] =
      "<!ELEMENT r (a,m)><!ELEMENT a (#PCDATA)><!ELEMENT m EMPTY><!ATTLIST m k CDATA #REQUIRED>";
  KelValidator v(&ctx);
  for (int i = 0; i < 2; ++i) {  // fresh, then with the grammar kept
    std::vector<std::string> rows = dtdRows(v, "<!DOCTYPE r SYSTEM \"r.dtd\"><r><a>x</a> stray <m/></r>", dtd);
    ASSERT_EQ(rows.size(), 2u) << ::testing::PrintToString(rows);
    EXPECT_EQ(prefix(rows[0]), "1:46 /r");
    EXPECT_EQ(prefix(rows[1]), "1:50 /r/m");
    EXPECT_NE(rows[1].find("'k'"), std::string::npos) << rows[1];
    rows = dtdRows(v, "<!DOCTYPE r SYSTEM \"r.dtd\"><r>text<a>x</a><m k=\"1\"/></r>", dtd);
    ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
    EXPECT_EQ(prefix(rows[0]), "1:35 /r");
  }
  // Text inside an element declared EMPTY, and text split by a comment and a reference.
  EXPECT_EQ(prefix(dtdRows(v, "<!DOCTYPE r SYSTEM \"r.dtd\"><r><a/><m k=\"1\">t</m></r>", dtd).at(0)), "1:45 /r/m");
  std::vector<std::string> rows = dtdRows(v, "<!DOCTYPE r SYSTEM \"r.dtd\"><r><a/>t<!--c-->u&#65;<m/></r>", dtd);
  size_t missing = 0;
  for (const std::string &row : rows) {
    if (row.find("missing required attribute 'k'") != std::string::npos) {
      EXPECT_EQ(prefix(row), "1:54 /r/m");
      ++missing;
    } else {
      EXPECT_EQ(row.substr(row.find(' '), 4), " /r ") << row;
    }
  }
  EXPECT_EQ(missing, 1u) << ::testing::PrintToString(rows);
  EXPECT_GE(rows.size(), 3u) << ::testing::PrintToString(rows);
}

// An error in a DTD file was two rows with the root's path: one at the file's line and column,
// read as the document's, and one after the DOCTYPE, where the parser checks the declarations
// again.  It is one row at the document's place that asks for the file, its text saying where
// in which file, without a path; an error of the internal subset is one row at its place.
TEST_F(Report, AnErrorInTheDtdIsOneRowAtTheDoctype) {
  std::string file = dir.file("r.dtd");
  keltest::writeFile(file,
                     "<!-- r -->\n<!ELEMENT r (a,m)>\n<!ELEMENT a (#PCDATA)>\n<!ELEMENT m EMPTY>\n\n\n"
                     "<!ATTLIST a id ID #IMPLIED id2 ID #IMPLIED>\n");
  const std::string row =
      "2:28  | in the DTD \"r.dtd\" at line 7, column 43: element 'a' has more than one ID attribute";
  const std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"r.dtd\">\n<r><a>x</a><m/></r>";
  KelValidator v(&ctx);
  for (int i = 0; i < 3; ++i) {  // a DTD that does not load alone is read by every document
    EXPECT_EQ(dtdRows(v, doc, file.c_str(), KEL_DTD_SERVER_FILE), std::vector<std::string>{row}) << i;
    EXPECT_STREQ(state, "00000");
  }
  // The DTD given as text, and the same DTD named by the document alone.
  std::vector<std::string> rows = dtdRows(v, doc, "<!ELEMENT r ANY><!ELEMENT a ANY><!ELEMENT m ANY>\n<!ATTLIST r p ID #IMPLIED q ID #IMPLIED>");
  EXPECT_EQ(rows, std::vector<std::string>{
                      "2:28  | in the DTD given at line 2, column 40: element 'r' has more than one ID attribute"});
  std::string named = dir.file("d.xml");
  keltest::writeFile(named, doc);
  KelReportCollector report(&ctx);
  ASSERT_EQ(v.report(named.c_str(), 0, KEL_DOC_SERVER_FILE, 0, nullptr, 0, nullptr, KEL_DTD_SERVER_FILE, &report, state, msg), 0)
      << msg;
  EXPECT_EQ(lines(report), std::vector<std::string>{row});
  // The internal subset: one row where the declaration is; one the parser checks only after
  // the DOCTYPE is there, without a path too; the root's start-tag errors keep the root's path.
  EXPECT_EQ(dtdRows(v,
                    "<!DOCTYPE r [<!ELEMENT r (a?)><!ELEMENT a ANY><!ATTLIST a i ID #IMPLIED j ID #IMPLIED>]>"
                    "<r/>",
                    nullptr),
            std::vector<std::string>{"1:86  | element 'a' has more than one ID attribute"});
  rows = dtdRows(v, "<!DOCTYPE q [<!ELEMENT r ANY><!ATTLIST r n NOTATION (x) #IMPLIED>]><r k=\"1\"/>", nullptr);
  ASSERT_EQ(rows.size(), 3u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0], "1:68  | attribute 'n' refers to undeclared notation 'x'");
  EXPECT_EQ(prefix(rows[1]), "1:70 /r");
  EXPECT_EQ(prefix(rows[2]), "1:73 /r");
}

TEST_F(Report, TheReportIsCutAfterAThousandErrors) {
  std::string doc = "<!DOCTYPE order SYSTEM \"o.dtd\"><order id=\"1\"><customer/>";
  for (int i = 0; i < 1200; ++i) doc += "<item><title/><qty/></item>\n";
  doc += "</order>";
  KelValidator v(&ctx);
  std::vector<std::string> rows = dtdRows(v, doc, kDtd);
  ASSERT_EQ(rows.size(), KEL_REPORT_MAX_ROWS + 1);
  EXPECT_EQ(prefix(rows[999]), "1000:7 /order/item[1000]");
  EXPECT_NE(rows[1000].find(KEL_REPORT_CUT_TEXT), std::string::npos) << rows[1000];
  EXPECT_EQ(prefix(rows[1000]), "1001:7 /order/item[1001]");
}

// Each row keeps only as much of its path as a row can show (1,024 bytes). Before, every row
// held every step of its path: 1,000 errors 20,000 elements deep took more than a gigabyte.
TEST_F(Report, RowsOfADeepDocumentHoldNoMoreOfTheirPathThanIsShown) {
#if defined(__SANITIZE_ADDRESS__)
  constexpr bool kCountsHeap = false;  // the sanitizer's allocator keeps its own accounts
#else
  constexpr bool kCountsHeap = true;
#endif
  auto heap = [] { return mallinfo2().uordblks + mallinfo2().hblkhd; };
  KelReportCollector report(&ctx);
  report.begin();
  const size_t before = heap();
  for (int i = 0; i < 5000; ++i) report.startElement(u"a");
  for (int r = 0; r < 999; ++r) {
    report.contentEvent();
    ASSERT_TRUE(report.add(1, r + 1, u"e", false));
  }
  if (kCountsHeap) {
    EXPECT_LT(heap() - before, size_t{64} << 20);
  }
  std::string shown;
  for (int i = 0; i < 512; ++i) shown += "/a";
  const std::vector<KelReportRow> &rows = report.finish();
  ASSERT_EQ(rows.size(), 999u);
  EXPECT_EQ(rows.front().path, shown);
  EXPECT_EQ(rows.back().path, shown);

  // A name that crosses the cut, with a character beyond the basic plane at either side of the
  // point where its steps stop: the path is cut as the whole path would be.
  for (size_t ns : {1022u, 1023u}) {
    KelReportCollector one(&ctx);
    one.begin();
    std::u16string name = u"b" + std::u16string(ns, u'n') + u"\U0001F600" + std::u16string(100, u'z');
    one.startElement(name.c_str());
    one.startElement(u"c");
    one.add(1, 1, u"e", false);
    EXPECT_EQ(one.finish().front().path, "/b" + std::string(1022, 'n')) << ns;
  }
}

TEST_F(Report, PositionsAmongManyDifferentlyNamedSiblings) {
  // Forty names under one element (beyond the short list), then the sixth name again.
  std::string doc = "<!DOCTYPE o SYSTEM \"o.dtd\"><o>";
  for (int i = 0; i < 40; ++i) doc += "<c" + std::to_string(i) + "/>";
  doc += "<c5/></o>";
  KelValidator v(&ctx);
  std::vector<std::string> rows = dtdRows(v, doc, "<!ELEMENT o ANY>");
  ASSERT_EQ(rows.size(), 41u) << ::testing::PrintToString(rows);
  EXPECT_NE(rows[0].find("/o/c0 |"), std::string::npos) << rows[0];
  EXPECT_NE(rows[5].find("/o/c5[1] |"), std::string::npos) << rows[5];
  EXPECT_NE(rows[39].find("/o/c39 |"), std::string::npos) << rows[39];
  EXPECT_NE(rows[40].find("/o/c5[2] |"), std::string::npos) << rows[40];
}

TEST_F(Report, SchemaErrorsWithTheirPaths) {
  std::string xsd = dir.file("order.xsd");
  keltest::writeFile(xsd,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                     "<xs:element name=\"order\"><xs:complexType><xs:sequence>"
                     "<xs:element name=\"qty\" type=\"xs:int\" maxOccurs=\"9\"/></xs:sequence>"
                     "<xs:attribute name=\"id\" type=\"xs:int\" use=\"required\"/>"
                     "</xs:complexType></xs:element></xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  KelValidator v(&ctx);
  const std::string doc = "<order id=\"1\">\n<qty>1</qty>\n<qty>two</qty>\n<qty>3</qty><x/></order>";
  KelReportCollector report(&ctx);
  ASSERT_EQ(v.reportSchema(doc.data(), doc.size(), 1, 0, location.c_str(), &report, state, msg), 0) << msg;
  std::vector<std::string> rows = lines(report);
  ASSERT_EQ(rows.size(), 3u) << ::testing::PrintToString(rows);
  EXPECT_EQ(prefix(rows[0]), "3:15 /order/qty[2]");
  EXPECT_EQ(prefix(rows[1]), "4:17 /order/x");
  EXPECT_EQ(prefix(rows[2]), "4:25 /order");
  const std::string valid = "<order id=\"1\"><qty>1</qty></order>";
  ASSERT_EQ(v.reportSchema(valid.data(), valid.size(), 1, 0, location.c_str(), &report, state, msg), 0);
  EXPECT_TRUE(lines(report).empty());
}

// A schema's models are measured, then checked in full, at the first element that uses it.
TEST_F(Report, SchemaModelsTooComplexOrAmbiguousAreRowsAtTheFirstElement) {
  std::string xsd = dir.file("m.xsd");
  std::u16string location(xsd.begin(), xsd.end());
  KelValidator v(&ctx);
  auto rowsFor = [&](const std::string &model) {
    keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\">"
                            "<xs:complexType>" + model + "</xs:complexType></xs:element></xs:schema>");
    const std::string doc = "<r>\n<a/></r>";
    KelReportCollector report(&ctx);
    EXPECT_EQ(v.reportSchema(doc.data(), doc.size(), 1, 0, location.c_str(), &report, state, msg), 0) << msg;
    return lines(report);
  };
  std::vector<std::string> rows = rowsFor("<xs:sequence maxOccurs=\"100\"><xs:element name=\"a\" maxOccurs=\"100\"/>"
                                          "<xs:element name=\"b\" minOccurs=\"0\"/></xs:sequence>");
  ASSERT_EQ(rows.size(), 1u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0],
            "1:4 /r | the content model of type \"__AnonC0\" is too complex to check: it has more than 2000 element "
            "positions once its occurrences are written out");
  rows = rowsFor("<xs:choice><xs:element name=\"a\"/><xs:sequence><xs:element name=\"a\"/>"
                 "<xs:element name=\"b\"/></xs:sequence></xs:choice>");
  ASSERT_GE(rows.size(), 1u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0], "1:4 /r | complex type '__AnonC0' violates the unique particle attribution rule in its components "
                     "'a' and 'a'");
}

// Values that each cost the matcher a little add up over the parse: the row past the account
// ends the report, and the library's own note of the stop is no row.
TEST_F(Report, PatternWorkPastTheParsesAccountEndsTheReport) {
  std::string xsd = dir.file("p.xsd");
  keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\">"
                          "<xs:complexType><xs:sequence><xs:element name=\"e\" maxOccurs=\"unbounded\">"
                          "<xs:simpleType><xs:restriction base=\"xs:string\"><xs:pattern value=\".+@.+\\..+\"/>"
                          "</xs:restriction></xs:simpleType></xs:element></xs:sequence></xs:complexType>"
                          "</xs:element></xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  std::string value;
  for (int i = 0; i < 700; ++i) value += "a@";  // about a million steps each
  std::string doc = "<r>";
  for (int i = 0; i < 60; ++i) doc += "\n<e>" + value + "</e>";
  doc += "</r>";
  KelValidator v(&ctx);
  KelReportCollector report(&ctx);
  ASSERT_EQ(v.reportSchema(doc.data(), doc.size(), 1, 0, location.c_str(), &report, state, msg), 0) << msg;
  std::vector<std::string> rows = lines(report);
  ASSERT_GT(rows.size(), 2u);
  ASSERT_LT(rows.size(), 60u);
  EXPECT_EQ(rows.back().substr(rows.back().find(" | ")),
            " | matching the document's values against the patterns of its schemas takes too much work: more than 64 "
            "steps for each character matched on average");
  // The rows before it are the values the pattern rejects (their text is cut inside the value).
  for (size_t i = 0; i + 1 < rows.size(); ++i) EXPECT_NE(rows[i].find(" | value 'a@a@"), std::string::npos) << rows[i];
}

TEST_F(Report, NestingPastTheSchemaLimitIsARowAtItsElement) {
  // The limit holds below content the schema lets pass unchecked too.
  std::string xsd = dir.file("any.xsd");
  keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"a\">"
                          "<xs:complexType><xs:sequence><xs:any processContents=\"skip\" minOccurs=\"0\"/>"
                          "</xs:sequence></xs:complexType></xs:element></xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  std::string doc;
  for (size_t i = 0; i <= kelSchemaMaxDepth; ++i) doc += "<a>";
  KelValidator v(&ctx);
  KelReportCollector report(&ctx);
  ASSERT_EQ(v.reportSchema(doc.data(), doc.size(), 1, 0, location.c_str(), &report, state, msg), 0) << msg;
  std::vector<KelReportRow> rows = report.finish();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].line, 1);
  EXPECT_EQ(rows[0].column, 30004);
  EXPECT_EQ(rows[0].message, "the elements nest more than 10000 levels deep");
}

}  // namespace
