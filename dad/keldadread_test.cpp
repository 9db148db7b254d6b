// Reading DADs: the header of both purchase-order DADs, the document element's children and
// their errors, the Xcollection and root_node rules, the mapping tree check, Xcolumn side
// tables, and the mapped nodes of both mappings as data (golden files in tests/data/dad).
#include "keldadread.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keldad_testutil.h"
#include "kelmsg.h"

namespace {

const char kXcoll[] =
    "<Xcollection><prolog>?xml version=\"1.0\"?</prolog><root_node>"
    "<element_node name=\"a\"><text_node><column name=\"c\"/></text_node></element_node>"
    "</root_node></Xcollection>";

std::string dad(const std::string &children) { return "<DAD>" + children + "</DAD>"; }

class DadRead : public keltest::DadTest {
 protected:
  // Reads text as a DAD of kind; returns the result.
  int read(const std::string &text, int kind = KEL_DAD_XCOLLECTION) {
    xercesc::DOMElement *root = parse(text);
    if (root == nullptr) return 1;
    return kelReadDadHeader(&ctx, root, kind, &header, state, msg);
  }
  KelDadHeader header;
};

// ---- Both purchase orders -----------------------------------------------------------------

TEST_F(DadRead, PurchaseOrderHeadersOfBothMappings) {
  ASSERT_EQ(read(keltest::dadData("po_rdb.dad")), 0) << msg;
  EXPECT_TRUE(header.hasValidation);
  EXPECT_FALSE(header.validation);
  EXPECT_EQ(header.validationSource, KEL_VALSRC_DTD);
  EXPECT_EQ(header.dtdId, "po.dtd");
  EXPECT_FALSE(header.hasSqlStmt);
  EXPECT_TRUE(header.hasProlog);
  EXPECT_EQ(header.prolog, "?xml version=\"1.0\"?");
  EXPECT_TRUE(header.hasDoctype);
  EXPECT_EQ(header.doctype, "!DOCTYPE Order SYSTEM \"po.dtd\"");
  EXPECT_FALSE(header.hasStylesheet);
  ASSERT_NE(header.rootElement, nullptr);
  EXPECT_EQ(std::u16string(kelDadAttr(header.rootElement, u"name")), u"Order");

  ASSERT_EQ(read(keltest::dadData("po_sql.dad")), 0) << msg;
  EXPECT_TRUE(header.validation);
  EXPECT_EQ(header.validationSource, KEL_VALSRC_SCHEMA);
  EXPECT_EQ(header.schemaLocation, u"/schemas/po.xsd");
  EXPECT_TRUE(header.dtdId.empty());
  EXPECT_TRUE(header.hasSqlStmt);
  EXPECT_NE(header.sqlStmt.find(u"ORDER BY order_key, part_key, ship_id"), std::u16string::npos);
  EXPECT_EQ(header.stylesheet, "?xml-stylesheet type=\"text/xsl\" href=\"po.xsl\"?");
}

TEST_F(DadRead, MappedNodesOfBothMappingsAsData) {
  for (const char *name : {"po_rdb", "po_sql"}) {
    ASSERT_EQ(read(keltest::dadData(std::string(name) + ".dad")), 0) << msg;
    std::vector<KelDadMappedNode> nodes;
    ASSERT_EQ(kelListMappedNodes(&ctx, header.rootElement, &nodes), 0);
    std::string text;
    static const char *const kKinds[] = {"attribute", "text", "element"};
    for (const KelDadMappedNode &n : nodes)
      text += std::string(kKinds[n.kind]) + " " + n.xml + " level " + std::to_string(n.level) + " path \"" + n.path +
              "\" -> " + (n.table.empty() ? "" : n.table + ".") + n.column + "\n";
    keltest::expectGolden("dad", std::string(name) + ".mapped", text);
  }
}

// ---- The document element's children ------------------------------------------------------

TEST_F(DadRead, DtdidAndSchemabindingsExcludeEachOtherInEitherOrder) {
  const std::string schema = "<schemabindings><nonamespacelocation location=\"x.xsd\"/></schemabindings>";
  for (const std::string &children : {"<dtdid>a.dtd</dtdid>" + schema, schema + "<dtdid>a.dtd</dtdid>"}) {
    EXPECT_EQ(read(dad(children + kXcoll)), -137);
    EXPECT_EQ(msgId(), "KELQ057E");
    EXPECT_STREQ(state, "38X15");
  }
  EXPECT_EQ(read(dad("<schemabindings/>" + std::string(kXcoll))), -138);
  EXPECT_EQ(msgId(), "KELQ058E");
}

TEST_F(DadRead, ValidationWordsAndTheirErrors) {
  struct Case {
    const char *text;
    int result;  // 1 YES, 0 NO, -1 error
  } cases[] = {{" no ", 0}, {"\n yes\t", 1}, {"Yes", 1}, {"YESTERDAY", 1}, {"No", 0}, {"nope", 0},
               {"maybe", -1}, {"Y", -1}};
  for (const Case &c : cases) {
    int rc = read(dad(std::string("<validation>") + c.text + "</validation>" + kXcoll));
    if (c.result < 0) {
      EXPECT_EQ(rc, -40) << c.text;
      EXPECT_EQ(msgId(), "KELA056E");
      EXPECT_STREQ(state, "38X15");
      EXPECT_NE(message().find(std::string("value ") + c.text + " in"), std::string::npos) << msg;
    } else {
      ASSERT_EQ(rc, 0) << c.text << msg;
      EXPECT_TRUE(header.hasValidation);
      EXPECT_EQ(header.validation, c.result == 1) << c.text;
    }
  }
  // Absent: read as NO here; collection enablement requires it.  Absent or empty, it is a
  // missing part, named: the message said "The validation value (NULL)" or showed nothing.
  ASSERT_EQ(read(dad(kXcoll)), 0);
  EXPECT_FALSE(header.hasValidation);
  EXPECT_EQ(kelRequireValidation(&ctx, header, state, msg), -61);
  EXPECT_EQ(message(), "KELQ000E  validation is missing from the DAD file.\n");
  EXPECT_STREQ(state, "38X15");
  for (const char *empty : {"<validation></validation>", "<validation> \n </validation>", "<validation/>"}) {
    EXPECT_EQ(read(dad(empty + std::string(kXcoll))), -61) << empty;
    EXPECT_EQ(message(), "KELQ000E  validation is missing from the DAD file.\n") << empty;
  }
}

TEST_F(DadRead, UnknownAndMisplacedElements) {
  EXPECT_EQ(read(dad("<dtdid>a</dtdid><tableSpace>x</tableSpace>" + std::string(kXcoll))), -123);
  EXPECT_EQ(msgId(), "KELQ040E");
  EXPECT_NE(message().find("name tableSpace in"), std::string::npos);
  // Xcollection in an Xcolumn DAD is "any other element", and the other way round.
  EXPECT_EQ(read(dad(kXcoll), KEL_DAD_XCOLUMN), -123);
  EXPECT_NE(message().find("Xcollection"), std::string::npos);
  EXPECT_EQ(read(dad("<Xcolumn/>" + std::string(kXcoll))), -123);
  EXPECT_EQ(read(dad("<validation>NO</validation>"), KEL_DAD_XCOLUMN), -4);
  EXPECT_EQ(msgId(), "KELA009E");
  EXPECT_STREQ(state, "38X11");
  EXPECT_EQ(read(dad("<validation>NO</validation>")), -61);
  EXPECT_NE(message().find("Xcollection is missing"), std::string::npos);
  // Comments, text and processing instructions between the children are ignored.
  EXPECT_EQ(read(dad("<!-- c -->text<?pi x?>" + std::string(kXcoll))), 0) << msg;
}

TEST_F(DadRead, DtdIdIsKeptWholeHoweverLong) {
  std::string id(600, 'd');
  ASSERT_EQ(read(dad("<dtdid>  " + id + "\n</dtdid>" + kXcoll)), 0) << msg;
  EXPECT_EQ(header.dtdId, id);
}

TEST_F(DadRead, ADadIsReadByItsRulesNotByItsDtd) {
  // The DTD a DAD declares is not imposed: one it does not satisfy still reads by the rules, and
  // the rules catch what the DTD would not.
  const std::string dtd = "<!DOCTYPE DAD [<!ELEMENT DAD (dtdid)><!ELEMENT dtdid (#PCDATA)>]>";
  ASSERT_EQ(read(dtd + dad("<validation>NO</validation>" + std::string(kXcoll))), 0) << msg;
  EXPECT_EQ(read(dtd + dad("<dtdid>x</dtdid><extra/>" + std::string(kXcoll))), -123);
  EXPECT_EQ(msgId(), "KELQ040E");
}

// ---- Xcollection and root_node ------------------------------------------------------------

TEST_F(DadRead, XcollectionAndRootNodeRules) {
  const std::string element = "<element_node name=\"a\"><text_node><column name=\"c\"/></text_node></element_node>";
  auto coll = [](const std::string &inner) { return dad("<Xcollection>" + inner + "</Xcollection>"); };
  ASSERT_EQ(read(coll("<root_node><!-- the root -->" + element + "</root_node>")), 0) << msg;
  EXPECT_FALSE(header.hasProlog);

  EXPECT_EQ(read(coll("<root_node>" + element + element + "</root_node>")), -72);
  EXPECT_EQ(msgId(), "KELQ012E");
  EXPECT_STREQ(state, "38X28");
  EXPECT_EQ(read(coll("<root_node><attribute_node name=\"x\"/></root_node>")), -61);
  EXPECT_NE(message().find("element_node is missing"), std::string::npos);
  EXPECT_EQ(read(coll("<root_node/>")), -61);
  EXPECT_EQ(read(coll("<prolog>x</prolog>")), -61);
  EXPECT_NE(message().find("root_node is missing"), std::string::npos);
  EXPECT_EQ(read(coll("<root_node>" + element + "</root_node><root_node>" + element + "</root_node>")), -72);
  EXPECT_EQ(read(dad(std::string(kXcoll) + kXcoll)), -72);
  EXPECT_EQ(read(coll("<SQL_stmt>select 1</SQL_stmt><order>1</order><root_node>" + element + "</root_node>")), -123);
}

TEST_F(DadRead, MappingTreeIsChecked) {
  auto tree = [](const std::string &inner) {
    return dad("<Xcollection><root_node>" + inner + "</root_node></Xcollection>");
  };
  // An element the mapping does not know.
  EXPECT_EQ(read(tree("<element_node name=\"a\"><atribute_node name=\"b\"/></element_node>")), -123);
  EXPECT_NE(message().find("atribute_node"), std::string::npos);
  EXPECT_EQ(read(tree("<element_node name=\"a\"><text_node><RDB_node><tabel/></RDB_node></text_node></element_node>")),
            -123);
  // Names that cannot be written as XML.
  EXPECT_EQ(read(tree("<element_node name=\"a b\"/>")), -123);
  EXPECT_NE(message().find("a b"), std::string::npos);
  EXPECT_EQ(read(tree("<element_node name=\"a\"><attribute_node name=\"x&gt;y\"/></element_node>")), -123);
  // Names longer than 63 bytes are refused, never cut.
  EXPECT_EQ(read(tree("<element_node name=\"" + std::string(63, 'n') + "\"/>")), 0) << msg;
  EXPECT_EQ(read(tree("<element_node name=\"" + std::string(64, 'n') + "\"/>")), -124);
  EXPECT_EQ(msgId(), "KELG017E");
  EXPECT_NE(message().find("KEL_MAX_XML_NAME"), std::string::npos);
  // Nesting is bounded.
  std::string deep;
  for (int i = 0; i < KEL_MAX_DAD_DEPTH + 1; ++i) deep += "<element_node name=\"e\">";
  for (int i = 0; i < KEL_MAX_DAD_DEPTH + 1; ++i) deep += "</element_node>";
  EXPECT_EQ(read(tree(deep)), -124);
  EXPECT_NE(message().find("KEL_MAX_DAD_DEPTH"), std::string::npos);
}

// ---- Xcolumn ------------------------------------------------------------------------------

TEST_F(DadRead, XcolumnSideTables) {
  const std::string text = dad(
      "<validation>yes</validation><Xcolumn>"
      "<table name=\"order_side\"><column name=\"id\" type=\"integer\" path=\"/Order/@key\" multi_occurrence=\"no\"/>"
      "<column name=\"price\" type=\"decimal(10,2)\" path=\"/Order/Part/ExtendedPrice\" multi_occurrence=\"Yes\"/>"
      "</table><table name=\"empty_side\"/></Xcolumn>");
  xercesc::DOMElement *root = parse(text);
  ASSERT_EQ(kelReadDadHeader(&ctx, root, KEL_DAD_XCOLUMN, &header, state, msg), 0) << msg;
  std::vector<KelSideTable> tables;
  ASSERT_EQ(kelReadXcolumn(&ctx, root, &tables, state, msg), 0) << msg;
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(tables[0].name, "order_side");
  ASSERT_EQ(tables[0].columns.size(), 2u);
  EXPECT_EQ(tables[0].columns[1].type, "decimal(10,2)");
  EXPECT_EQ(tables[0].columns[1].path, "/Order/Part/ExtendedPrice");
  EXPECT_EQ(tables[0].columns[0].multiOccurrence, "NO");
  EXPECT_EQ(tables[0].columns[1].multiOccurrence, "YES");
  EXPECT_TRUE(tables[1].columns.empty());
}

TEST_F(DadRead, XcolumnMissingOrTooLongAttributes) {
  struct Case {
    std::string table;
    int code;
    const char *id;
    const char *shown;
  } cases[] = {
      // A missing attribute (absent, empty or blank) is named as a missing part: the messages
      // showed "(NULL)" as its value, or nothing.
      {"<table/>", -61, "KELQ000E", "name of table is missing"},
      {"<table name=\" \"/>", -61, "KELQ000E", "name of table is missing"},
      {"<table name=\"" + std::string(160, 't') + "\"/>", -41, "KELA057E", "tttt"},
      {"<table name=\"t\"><column type=\"int\" path=\"/a\" multi_occurrence=\"NO\"/></table>", -61, "KELQ000E",
       "name of column in table t is missing"},
      {"<table name=\"t\"><column name=\"\" type=\"int\" path=\"/a\" multi_occurrence=\"NO\"/></table>", -61,
       "KELQ000E", "name of column in table t is missing"},
      {"<table name=\"t\"><column name=\"c\" path=\"/a\" multi_occurrence=\"NO\"/></table>", -61, "KELQ000E",
       "KELQ000E  type of column c is missing from the DAD file."},
      {"<table name=\"t\"><column name=\"c\" type=\"\" path=\"/a\" multi_occurrence=\"NO\"/></table>", -61,
       "KELQ000E", "type of column c is missing"},
      {"<table name=\"t\"><column name=\"c\" type=\"" + std::string(130, 'x') + "\" path=\"/a\" multi_occurrence=\"NO\"/></table>",
       -43, "KELA059E", "xxx"},
      {"<table name=\"t\"><column name=\"c\" type=\"int\" multi_occurrence=\"NO\"/></table>", -61, "KELQ000E",
       "path of column c is missing"},
      {"<table name=\"t\"><column name=\"c\" type=\"int\" path=\"/a\"/></table>", -61, "KELQ000E",
       "multi_occurrence of column c is missing"},
      {"<table name=\"t\"><column name=\"c\" type=\"int\" path=\"/a\" multi_occurrence=\"\"/></table>", -61,
       "KELQ000E", "multi_occurrence of column c is missing"},
      {"<table name=\"t\"><column name=\"c\" type=\"int\" path=\"/a\" multi_occurrence=\"nono\"/></table>", -45,
       "KELA061E", "NONO of c"},
  };
  for (const Case &c : cases) {
    xercesc::DOMElement *root = parse(dad("<Xcolumn>" + c.table + "</Xcolumn>"));
    std::vector<KelSideTable> tables;
    EXPECT_EQ(kelReadXcolumn(&ctx, root, &tables, state, msg), c.code) << c.table;
    EXPECT_EQ(msgId(), c.id);
    EXPECT_STREQ(state, "38X15");
    EXPECT_NE(message().find(c.shown), std::string::npos) << msg;
  }
}

}  // namespace
