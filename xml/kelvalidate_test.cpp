// DTD and schema validation, and the server-file access check.
#include "kelvalidate.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelSgDocHandler.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelschemascan.h"
#include "kelmsg.h"
#include "sqlenv.h"

namespace {

// The test directory is the instance's one readable directory.
class Validation : public keltest::CallContextTest {
 protected:
  void SetUp() override {
    keltest::CallContextTest::SetUp();
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  }
  // Writes s.xsd of the test directory with body as the schema's content; its location.
  std::u16string schema(const std::string &body) {
    const std::string xsd = dir.file("s.xsd");
    keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">" + body + "</xs:schema>");
    return std::u16string(xsd.begin(), xsd.end());
  }
};

const char kDtd[] = "<!ELEMENT a (b+)><!ELEMENT b (#PCDATA)><!ATTLIST b k CDATA #REQUIRED>";

TEST_F(Validation, DtdGivenInMemoryReplacesTheOneTheDoctypeNames) {
  // x.dtd does not exist: it must never be opened.
  const char *valid = "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\">t</b></a>";
  EXPECT_EQ(kelValidate(&ctx, valid, 1, 0, kDtd, 0, "dtd1", state, msg, 1), 1) << msg;
  EXPECT_STREQ(state, "00000");
  const char *invalid = "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b>t</b><c/></a>";
  EXPECT_EQ(kelValidate(&ctx, invalid, 1, 0, kDtd, 0, "dtd1", state, msg, 1), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  // The DTD as a file.
  std::string dtdFile = dir.file("a.dtd");
  keltest::writeFile(dtdFile, kDtd);
  EXPECT_EQ(kelValidate(&ctx, valid, 1, 0, dtdFile.c_str(), 0, "dtd2", state, msg, 0), 1) << msg;
  // A DTD file outside the readable directories is not read.
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/nonexistent"), 0);
  EXPECT_EQ(kelValidate(&ctx, valid, 1, 0, dtdFile.c_str(), 0, "dtd2", state, msg, 0), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_NE(std::string(msg).find("refused"), std::string::npos) << msg;
}

TEST_F(Validation, NoDoctypeAndNoDtdFails) {
  EXPECT_EQ(kelValidate(&ctx, "<a><b k=\"1\"/></a>", 1, 0, nullptr, 0, nullptr, state, msg, 1), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  // The DOCTYPE's own DTD is read by the parser when none is given.
  std::string dtdFile = dir.file("own.dtd");
  keltest::writeFile(dtdFile, kDtd);
  std::string doc = "<!DOCTYPE a SYSTEM \"" + dtdFile + "\"><a><b k=\"1\"/></a>";
  EXPECT_EQ(kelValidate(&ctx, doc.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 1) << msg;
  EXPECT_EQ(kelValidate(&ctx, dir.file("none.xml").c_str(), 0, 0, nullptr, 0, nullptr, state, msg, 1), 0);
  EXPECT_STREQ(state, "38X01");
}

TEST_F(Validation, SchemaValidAndInvalidDocuments) {
  std::string xsd = dir.file("order.xsd");
  keltest::writeFile(xsd,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                     "<xs:element name=\"order\"><xs:complexType><xs:sequence>"
                     "<xs:element name=\"qty\" type=\"xs:int\"/></xs:sequence></xs:complexType></xs:element>"
                     "</xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  EXPECT_EQ(kelValidateSchema(&ctx, "<order><qty>3</qty></order>", 1, 0, location.c_str(), state, msg), 1) << msg;
  EXPECT_EQ(kelValidateSchema(&ctx, "<order><qty>three</qty></order>", 1, 0, location.c_str(), state, msg), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
}

// With a schema given, a document cannot choose its own: a root in a namespace whose
// xsi:schemaLocation named a permissive schema in an allowed directory was valid, and passed a
// column's validation. Namespaces the schema given imports are its own.
TEST_F(Validation, ADocumentCannotPickItsOwnSchemaWhenOneIsGiven) {
  const std::string xsd = dir.file("order.xsd"), mine = dir.file("mine.xsd"), part = dir.file("part.xsd");
  keltest::writeFile(mine,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:e\">"
                     "<xs:element name=\"any\"><xs:complexType><xs:sequence><xs:any processContents=\"skip\" "
                     "minOccurs=\"0\" maxOccurs=\"unbounded\"/></xs:sequence></xs:complexType></xs:element></xs:schema>");
  keltest::writeFile(part,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" targetNamespace=\"urn:p\">"
                     "<xs:element name=\"part\" type=\"xs:int\"/></xs:schema>");
  keltest::writeFile(xsd,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:p=\"urn:p\">"
                     "<xs:import namespace=\"urn:p\" schemaLocation=\"" + part + "\"/>"
                     "<xs:element name=\"order\"><xs:complexType><xs:sequence><xs:element ref=\"p:part\" "
                     "minOccurs=\"0\"/></xs:sequence><xs:attribute name=\"id\" type=\"xs:int\" use=\"required\"/>"
                     "</xs:complexType></xs:element></xs:schema>");
  const std::u16string location(xsd.begin(), xsd.end());
  const std::string own = "<e:any xmlns:e=\"urn:e\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                          "xsi:schemaLocation=\"urn:e " + mine + "\"><order id=\"x\"/></e:any>";
  EXPECT_EQ(kelValidateSchema(&ctx, own.c_str(), 1, 0, location.c_str(), state, msg), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(kelValidateSchema(&ctx, "<order id=\"x\"/>", 1, 0, location.c_str(), state, msg), 0);
  const std::string imported = "<order id=\"1\"><p:part xmlns:p=\"urn:p\">7</p:part></order>";
  EXPECT_EQ(kelValidateSchema(&ctx, imported.c_str(), 1, 0, location.c_str(), state, msg), 1) << msg;
}

TEST_F(Validation, SchemaValidationReadsElementsNestedUpToItsLimit) {
  // Namespace processing costs the square of the nesting, so schema validation stops at its
  // limit with a parse error at the element past it; DTD validation has no such cost or limit.
  std::string xsd = dir.file("nest.xsd");
  keltest::writeFile(xsd,
                     "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
                     "<xs:element name=\"a\" type=\"T\"/><xs:complexType name=\"T\"><xs:sequence>"
                     "<xs:element name=\"a\" type=\"T\" minOccurs=\"0\"/></xs:sequence></xs:complexType>"
                     "</xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  auto nested = [](size_t depth) {
    std::string d;
    for (size_t i = 0; i < depth; ++i) d += "<a>";
    for (size_t i = 0; i < depth; ++i) d += "</a>";
    return d;
  };
  EXPECT_EQ(kelValidateSchema(&ctx, nested(kelSchemaMaxDepth).c_str(), 1, 0, location.c_str(), state, msg), 1)
      << msg;
  EXPECT_EQ(kelValidateSchema(&ctx, nested(kelSchemaMaxDepth + 1).c_str(), 1, 0, location.c_str(), state, msg), 0);
  EXPECT_STREQ(state, "38X13");
  EXPECT_STREQ(msg, "KELQ047E  Parser error on line 1 column 30004: the elements nest more than 10000 levels deep \n");
  const std::string deep = "<!DOCTYPE a [<!ELEMENT a (a?)>]>" + nested(2 * kelSchemaMaxDepth);
  EXPECT_EQ(kelValidate(&ctx, deep.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 1) << msg;
}

// A DTD comes from the user: its content models are measured before the parser builds an
// automaton from them, which for an ambiguous model takes exponential time, and for a model
// nested tens of thousands deep overflows the stack.
TEST_F(Validation, ContentModelsPastTheirLimitsAreRefusedBeforeTheParserBuildsThem) {
  auto ambiguousOf = [](int n) {  // ((a|b)*,a,(a|b),...): 2^(n+1) states
    std::string m = "((a|b)*,a";
    for (int i = 0; i < n; ++i) m += ",(a|b)";
    return m + ")";
  };
  auto ambiguous = [&](int n) { return "<!ELEMENT r " + ambiguousOf(n) + "><!ELEMENT a EMPTY><!ELEMENT b EMPTY>"; };
  auto nested = [](int n) {
    std::string m;
    for (int i = 0; i < n; ++i) m += "(";
    m += "a,b";
    for (int i = 0; i < n; ++i) m += ")*";
    return "<!ELEMENT r " + m + "><!ELEMENT a EMPTY><!ELEMENT b EMPTY>";
  };
  auto choiceOf = [](int n) {
    std::string m = "(e0";
    for (int i = 1; i < n; ++i) m += "|e" + std::to_string(i);
    return m + ")*";
  };
  auto choice = [&](int n) { return "<!ELEMENT r " + choiceOf(n) + "><!ELEMENT e0 EMPTY>"; };
  const std::string doc = "<!DOCTYPE r SYSTEM \"r.dtd\">\n<r><a/><b/></r>";
  const std::string refused = "KELQ047E  Parser error on line 2 column 4: the content model of element \"r\" is too complex to check: ";
  KelValidator v(&ctx);
  auto check = [&](const std::string &dtd, const std::string &d = std::string()) {
    int rc = v.validate((d.empty() ? doc : d).c_str(), (d.empty() ? doc : d).size(), 1, 0, dtd.c_str(), 0, "r.dtd",
                        state, msg, KEL_DTD_TEXT);
    return std::to_string(rc) + " " + state;
  };
  std::string elevenItems = "<!DOCTYPE r SYSTEM \"r.dtd\">\n<r><b/><a/>";
  for (int i = 0; i < 10; ++i) elevenItems += "<b/>";
  EXPECT_EQ(check(ambiguous(10), elevenItems + "</r>"), "1 00000") << msg;
  for (int i = 0; i < 3; ++i) {  // fresh, then as the DTD the engine would keep
    EXPECT_EQ(check(ambiguous(16)), "0 38X13") << i;
    EXPECT_EQ(std::string(msg), refused + "its automaton has more than 16384 states \n") << i;
  }
  EXPECT_EQ(check(nested(2000)), "1 00000") << msg;
  EXPECT_EQ(check(nested(50000)), "0 38X13");
  EXPECT_EQ(std::string(msg), refused + "its groups nest more than 2500 deep \n");
  const std::string items = "<!DOCTYPE r SYSTEM \"r.dtd\">\n<r><e0/><e0/></r>";
  EXPECT_EQ(check(choice(2000), items), "1 00000") << msg;
  EXPECT_EQ(check(choice(2001), items), "0 38X13");
  EXPECT_EQ(std::string(msg), refused + "it names more than 2000 elements \n");
  // Many models near the limit add up; a large DTD of deterministic models does not.
  std::string several = ambiguous(12);  // 8,192 states of which 8,165 beyond one per position
  for (int i = 0; i < 8; ++i) several += "<!ELEMENT q" + std::to_string(i) + " " + ambiguousOf(12) + ">";
  EXPECT_EQ(check(several), "0 38X13");
  EXPECT_NE(std::string(msg).find("the automata of the DTD have more than 65536 states beyond one per position"),
            std::string::npos)
      << msg;
  std::string large = choice(500), huge = choice(1000);
  for (int i = 0; i < 40; ++i) large += "<!ELEMENT d" + std::to_string(i) + " " + choiceOf(500) + ">";
  for (int i = 0; i < 40; ++i) huge += "<!ELEMENT d" + std::to_string(i) + " " + choiceOf(1000) + ">";
  EXPECT_EQ(check(large, items), "1 00000") << msg;
  EXPECT_EQ(check(huge, items), "0 38X13");
  EXPECT_NE(std::string(msg).find("is too complex to check: its automaton takes too long to build"), std::string::npos)
      << msg;
  // A document's own internal subset, and one checked against a schema, too.
  const std::string own = "<!DOCTYPE r [" + nested(50000) + "]>\n<r><a/><b/></r>";
  EXPECT_EQ(kelValidate(&ctx, own.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 0);
  EXPECT_EQ(std::string(msg), refused + "its groups nest more than 2500 deep \n");
  std::string xsd = dir.file("r.xsd");
  keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"r\"/></xs:schema>");
  std::u16string location(xsd.begin(), xsd.end());
  EXPECT_EQ(kelValidateSchema(&ctx, own.c_str(), 1, 0, location.c_str(), state, msg), 0);
  EXPECT_EQ(std::string(msg), refused + "its groups nest more than 2500 deep \n");
}

// Groups g0 (one element a) to gN, each a sequence of ten references to the one below.
std::string groupLevels(int n) {
  std::string groups = "<xs:group name=\"g0\"><xs:sequence><xs:element name=\"a\"/></xs:sequence></xs:group>";
  for (int level = 1; level <= n; ++level) {
    groups += "<xs:group name=\"g" + std::to_string(level) + "\"><xs:sequence>";
    for (int i = 0; i < 10; ++i) groups += "<xs:group ref=\"g" + std::to_string(level - 1) + "\"/>";
    groups += "</xs:sequence></xs:group>";
  }
  return groups;
}

// A schema's occurrences are written out as copies before its automaton is built: nested
// repeats multiply, and group references copy the group.  The models are measured once the
// schema is read, and checked in full (ambiguity too) only when they pass.
TEST_F(Validation, SchemaContentModelsPastTheirLimitsAreRefusedBeforeTheParserBuildsThem) {
  const std::string xsd = dir.file("m.xsd");
  const std::u16string location(xsd.begin(), xsd.end());
  auto check = [&](const std::string &model, const std::string &doc, const std::string &groups = std::string()) {
    keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">" + groups +
                                "<xs:element name=\"r\"><xs:complexType>" + model +
                                "</xs:complexType></xs:element></xs:schema>");
    int rc = kelValidateSchema(&ctx, doc.c_str(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  auto pairs = [](int n) {
    return "<xs:sequence maxOccurs=\"" + std::to_string(n) +
           "\"><xs:element name=\"a\"/><xs:element name=\"b\"/></xs:sequence>";
  };
  const std::string refused =
      "KELQ047E  Parser error on line 1 column 4: the content model of type \"__AnonC0\" is too complex to check: ";
  const std::string written = "once its occurrences are written out \n";
  EXPECT_EQ(check(pairs(1000), "<r><a/><b/><a/><b/></r>"), "1 00000") << msg;
  EXPECT_EQ(check(pairs(1001), "<r><a/><b/></r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), refused + "it has more than 2000 element positions " + written);
  // Repeats inside repeats: 100 x 101 positions, which took the parser 11 seconds to build.
  const std::string nested =
      "<xs:sequence maxOccurs=\"100\"><xs:element name=\"a\" maxOccurs=\"100\"/>"
      "<xs:element name=\"b\" minOccurs=\"0\"/></xs:sequence>";
  EXPECT_EQ(check(nested, "<r><a/></r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), refused + "it has more than 2000 element positions " + written);
  EXPECT_EQ(check(nested, "<r/>"), "0 38X13");
  // An element repeated alone is counted, not written out, however often it may occur.
  EXPECT_EQ(check("<xs:sequence><xs:element name=\"a\" maxOccurs=\"1000000\"/></xs:sequence>", "<r><a/><a/></r>"),
            "1 00000")
      << msg;
  // Group references copy: four levels of ten references make 10,000 positions.
  const std::string groups = groupLevels(4);
  EXPECT_EQ(check("<xs:group ref=\"g4\"/>", "<r><a/></r>", groups), "0 38X13");
  EXPECT_EQ(std::string(msg), refused + "it has more than 2000 element positions " + written);
  std::string hundred = "<r>";
  for (int i = 0; i < 100; ++i) hundred += "<a/>";
  EXPECT_EQ(check("<xs:group ref=\"g2\"/>", hundred + "</r>", groups), "1 00000") << msg;
  // Several models each within the limit add up to the time of one too many.
  std::string types;
  for (int i = 0; i < 5; ++i)
    types += "<xs:complexType name=\"t" + std::to_string(i) + "\">" + pairs(1000) + "</xs:complexType>";
  EXPECT_EQ(check(pairs(1), "<r><a/><b/></r>", types), "0 38X13");
  EXPECT_NE(std::string(msg).find("is too complex to check: the automata of the schema take too long to build"),
            std::string::npos)
      << msg;
  // The full checks still run: an ambiguous model is refused as before.
  EXPECT_EQ(check("<xs:choice><xs:element name=\"a\"/><xs:sequence><xs:element name=\"a\"/>"
                  "<xs:element name=\"b\"/></xs:sequence></xs:choice>",
                  "<r><a/></r>"),
            "0 38X13");
  EXPECT_NE(std::string(msg).find("unique particle attribution"), std::string::npos) << msg;
}

// The parser checks a model for ambiguity by comparing every two positions that may come
// next together, each comparison looking an element up in tables of declarations that never
// grow: a choice of 1,000 elements beside 10,000 other declarations passed the sum of the
// squares of positions and took 1.4 seconds (of 2,000 beside 20,000: 13.5 seconds).  The
// measurement weighs each pair by the declarations a lookup walks.
TEST_F(Validation, SchemaModelsAreWeighedByTheDeclarationsTheirCheckCompares) {
  const std::string xsd = dir.file("d.xsd");
  const std::u16string location(xsd.begin(), xsd.end());
  auto check = [&](int choices, int declarations) {
    std::string s = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"a\">"
                    "<xs:complexType><xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">";
    for (int i = 0; i < choices; ++i) s += "<xs:element name=\"e" + std::to_string(i) + "\" type=\"xs:string\"/>";
    s += "</xs:choice></xs:complexType></xs:element>";
    for (int i = 0; i < declarations; ++i) s += "<xs:element name=\"g" + std::to_string(i) + "\"/>";
    keltest::writeFile(xsd, s + "</xs:schema>");
    int rc = kelValidateSchema(&ctx, "<a><e1>x</e1></a>", 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  EXPECT_EQ(check(1000, 10000), "0 38X13");
  EXPECT_EQ(std::string(msg),
            "KELQ047E  Parser error on line 1 column 4: the content model of type \"__AnonC0\" is too complex to "
            "check: the automata of the schema take too long to build \n");
  // The same choice alone, and a smaller one beside the same declarations, pass.
  EXPECT_EQ(check(1000, 0), "1 00000") << msg;
  EXPECT_EQ(check(300, 10000), "1 00000") << msg;
}

// Schema documents are read through the parser's recursive walks: the nesting of each, and
// the chain of definitions naming one another, are measured before the parser reads them, and
// what loading them may take of memory is bounded.
TEST_F(Validation, SchemaDocumentsAreMeasuredBeforeTheParserReadsThem) {
  const std::string xsd = dir.file("s.xsd"), part = dir.file("part.xsd");
  const std::u16string location(xsd.begin(), xsd.end());
  const std::string head = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
  KelValidator v(&ctx);
  auto check = [&](const std::string &body, const std::string &doc = "<r><a/></r>") {
    keltest::writeFile(xsd, head + body + "</xs:schema>");
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  auto refused = [](const std::string &file, const std::string &why) {
    return "KELQ047E  Parser error on line 1 column 4: external entity \"" + file + "\" refused: " + why + " \n";
  };
  auto sequences = [](size_t n) {
    std::string m = "<xs:element name=\"r\"><xs:complexType>";
    for (size_t i = 0; i < n; ++i) m += "<xs:sequence>";
    m += "<xs:element name=\"a\"/>";
    for (size_t i = 0; i < n; ++i) m += "</xs:sequence>";
    return m + "</xs:complexType></xs:element>";
  };
  // Nesting: 50,000 levels ended the process.
  const std::string tooDeep = "its elements nest more than 2500 levels deep";
  EXPECT_EQ(check(sequences(KEL_SCHEMA_DOCUMENT_DEPTH_LIMIT - 4)), "1 00000") << msg;
  EXPECT_EQ(check(sequences(KEL_SCHEMA_DOCUMENT_DEPTH_LIMIT - 3)), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, tooDeep));
  EXPECT_EQ(check(sequences(50000)), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, tooDeep));
  // A document it includes is measured too.
  keltest::writeFile(part, head + sequences(50000) + "</xs:schema>");
  EXPECT_EQ(check("<xs:include schemaLocation=\"part.xsd\"/>"), "0 38X13");
  EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 95: external entity \"part.xsd\" refused: " +
                                  tooDeep + " \n");
  // Types each with an element of the next: 3 levels a type.  10,000 types ended the process.
  auto chain = [](int n) {
    std::string m;
    for (int i = 0; i < n; ++i)
      m += "<xs:complexType name=\"t" + std::to_string(i) + "\"><xs:sequence><xs:element name=\"a\" type=\"t" +
           std::to_string(i + 1) + "\" minOccurs=\"0\"/></xs:sequence></xs:complexType>";
    return m + "<xs:complexType name=\"t" + std::to_string(n) + "\"/><xs:element name=\"r\" type=\"t0\"/>";
  };
  const std::string chained = "its definitions name one another more than 10000 levels deep";
  EXPECT_EQ(check(chain(3332)), "1 00000") << msg;  // 9,998 levels with the element r
  EXPECT_EQ(check(chain(3334)), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, chained));
  EXPECT_EQ(check(chain(20000)), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, chained));
  // Groups and classes nested in a pattern: 50,000 groups, or 100,000 classes each subtracting the
  // next, ended the process.
  auto pattern = [](const std::string &value) {
    return "<xs:element name=\"r\"><xs:simpleType><xs:restriction base=\"xs:string\"><xs:pattern value=\"" + value +
           "\"/></xs:restriction></xs:simpleType></xs:element>";
  };
  auto groups = [](size_t n) { return std::string(n, '(') + "a" + std::string(n, ')'); };
  const std::string patternTooDeep = "one of its patterns nests groups and character classes more than 256 levels deep";
  EXPECT_EQ(check(pattern(groups(KEL_SCHEMA_PATTERN_DEPTH_LIMIT)), "<r>a</r>"), "1 00000") << msg;
  EXPECT_EQ(check(pattern(groups(KEL_SCHEMA_PATTERN_DEPTH_LIMIT + 1)), "<r>a</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, patternTooDeep));
  EXPECT_EQ(check(pattern(groups(50000)), "<r>a</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, patternTooDeep));
  std::string classes;
  for (int i = 0; i < 100000; ++i) classes += "[a-";
  classes += "[b]" + std::string(100000, ']');
  EXPECT_EQ(check(pattern(classes), "<r>a</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), refused(xsd, patternTooDeep));
  // Escaped parentheses, and parentheses inside a class, are characters.
  std::string escaped;
  for (int i = 0; i < 500; ++i) escaped += "\\(";
  EXPECT_EQ(check(pattern(escaped + "[" + std::string(1000, '(') + "]"), "<r>a</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg).find("refused"), std::string::npos) << msg;
  // Definitions naming each other in a circle are counted once each.
  EXPECT_EQ(check("<xs:complexType name=\"x\"><xs:sequence><xs:element name=\"a\" type=\"y\" minOccurs=\"0\"/>"
                  "</xs:sequence></xs:complexType><xs:complexType name=\"y\"><xs:sequence>"
                  "<xs:element name=\"a\" type=\"x\" minOccurs=\"0\"/></xs:sequence></xs:complexType>"
                  "<xs:element name=\"r\" type=\"x\"/>",
                  "<r><a><a/></a></r>"),
            "1 00000")
      << msg;
  // Group references copy the group: six levels of ten make a million copies (840 MB and a
  // second before); what loading may take is bounded, and the reader is made anew after.
  EXPECT_EQ(check(groupLevels(6) + "<xs:element name=\"r\"><xs:complexType><xs:group ref=\"g6\"/></xs:complexType></xs:element>"),
            "0 38X13");
  EXPECT_STREQ(msg, "KELQ047E  Parser error on line 0 column 0: the schemas of the document need more than 256 MiB to load \n");
  EXPECT_EQ(check(sequences(10)), "1 00000") << msg;
}

class Access : public keltest::CallContextTest {
 protected:
  int read(const std::string &f) { return kelChkRegistry(&ctx, 0, f.c_str(), state, msg); }
  int write(const std::string &f) { return kelChkRegistry(&ctx, 1, f.c_str(), state, msg); }
};

TEST_F(Validation, IdentityConstraintWorkIsBoundedOnAverage) {
  // Every s declares a constraint over the x below it, so nested s multiply the checks.
  std::u16string location = schema(
      "<xs:element name=\"s\"><xs:complexType><xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">"
      "<xs:element ref=\"s\"/><xs:element name=\"x\" type=\"xs:string\"/></xs:choice></xs:complexType>"
      "<xs:unique name=\"u\"><xs:selector xpath=\".//x\"/><xs:field xpath=\".\"/></xs:unique></xs:element>");
  KelValidator v(&ctx);
  auto check = [&](size_t depth, size_t leaves) {
    std::string doc;
    for (size_t i = 0; i < depth; ++i) doc += "<s>";
    for (size_t i = 0; i < leaves; ++i) doc += "<x>" + std::to_string(i) + "</x>";
    for (size_t i = 0; i < depth; ++i) doc += "</s>";
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  const std::string tooMany =
      "the identity constraints of the document take too much work to check: more than 32 of their selectors and "
      "fields look at each of its elements on average \n";
  // The k-th nested s has k constraints in force: 756 levels make 286,146 checks against the
  // 286,336 allowed, 757 make 286,903 against 286,368.
  EXPECT_EQ(check(756, 0), "1 00000") << msg;
  EXPECT_EQ(check(757, 0), "0 38X13");
  EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 2272: " + tooMany);
  // 100 levels around 30,000 values took 10 seconds and 1.5 GB; now the parse ends early.
  EXPECT_EQ(check(100, 30000), "0 38X13");
  EXPECT_NE(std::string(msg).find(tooMany), std::string::npos) << msg;
  // Constraints end with their element: many values under a few levels pass, and so does a
  // sequence of nested groups whose levels close before the next opens.
  EXPECT_EQ(check(10, 30000), "1 00000") << msg;
  std::string doc = "<s>";
  for (int i = 0; i < 2000; ++i) doc += "<s><s><s><x>" + std::to_string(i) + "</x></s></s></s>";
  doc += "</s>";
  EXPECT_EQ(v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg), 1) << msg;
  // Constraints that pick the nested elements themselves add a field at each level for each
  // constraint above: 750 levels took 36 seconds.
  location = schema("<xs:element name=\"a\"><xs:complexType><xs:sequence minOccurs=\"0\"><xs:element ref=\"a\"/>"
                    "</xs:sequence><xs:attribute name=\"k\"/></xs:complexType><xs:unique name=\"u\">"
                    "<xs:selector xpath=\".//a\"/><xs:field xpath=\"@k\"/></xs:unique></xs:element>");
  auto nested = [&](int depth) {
    std::string d;
    for (int i = 0; i < depth; ++i) d += "<a k='" + std::to_string(i) + "'>";
    for (int i = 0; i < depth; ++i) d += "</a>";
    int rc = v.validateSchema(d.c_str(), d.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  EXPECT_EQ(nested(100), "1 00000") << msg;
  EXPECT_EQ(nested(750), "0 38X13");
  EXPECT_NE(std::string(msg).find(tooMany), std::string::npos) << msg;
}

TEST_F(Validation, ElementNamesTheSchemasDoNotDeclareAreBounded) {
  const std::u16string location = schema(
      "<xs:element name=\"r\"><xs:complexType><xs:choice minOccurs=\"0\" maxOccurs=\"unbounded\">"
      "<xs:element name=\"d\"/><xs:any namespace=\"##other\" processContents=\"lax\"/></xs:choice>"
      "</xs:complexType></xs:element>");
  KelValidator v(&ctx);
  // Elements named "e", each in a namespace of its own: 40,000 took 8 seconds.  The elements the
  // schema declares, and names met again, do not count.
  auto check = [&](int names, int repeats, int declared) {
    std::string doc = "<r>";
    for (int i = 0; i < declared; ++i) doc += "<d/>";
    for (int k = 0; k < repeats; ++k)
      for (int i = 0; i < names; ++i) doc += "<e xmlns='u" + std::to_string(i) + "'/>";
    doc += "</r>";
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  EXPECT_EQ(check(10000, 2, 20000), "1 00000") << msg;
  EXPECT_EQ(check(10001, 1, 0), "0 38X13");
  EXPECT_STREQ(msg, "KELQ047E  Parser error on line 1 column 178913: the document has more than 10000 element names "
                    "that its schemas do not declare \n");
  EXPECT_EQ(check(40000, 1, 0), "0 38X13");
}

// Patterns are matched by the parser library's backtracking matcher, whose steps are counted.
// The parser checks a child of a mixed model against its names, and an enumerated value against
// its list, one by one: a parse may look at 16 Mi entries plus 1,024 for each element read.
// Before, 20,000 names checked for each of 40,000 elements took 12 seconds, and a list of that
// size could be checked as often as a document had elements.
TEST_F(Validation, ListsCheckedOneByOneAreBoundedOnAverage) {
  KelValidator v(&ctx);
  auto dtdCheck = [&](const std::string &dtd, const std::string &body) {
    const std::string doc = "<!DOCTYPE a SYSTEM \"a.dtd\"><a>" + body + "</a>";
    int rc = v.validate(doc.c_str(), doc.size(), 1, 0, dtd.c_str(), 0, "a.dtd", state, msg, KEL_DTD_TEXT);
    return std::to_string(rc) + " " + state;
  };
  auto times = [](const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  std::string names, values;
  for (int i = 0; i < 20000; ++i) names += "|e" + std::to_string(i);
  for (int i = 0; i < 5000; ++i) values += (i == 0 ? "v" : "|v") + std::to_string(i);
  const std::string refusal = "the grammar's lists take too long to check: more than 1024 names or values for each "
                              "element read on average (mixed content, enumerations) \n";
  // 20,000 names for each child: 884 children make 17,680,000 looks against the 17,683,456 that
  // 16 Mi and 1,024 for each of the 885 elements read allow; 885 make 17,700,000 against
  // 17,684,480.  The DTD of 20,000 names itself is read at once (its names were compared pair
  // by pair for repeats: 4.5 seconds), and a name given twice is still an error.
  const std::string mixed = "<!ELEMENT a (#PCDATA" + names + ")*><!ELEMENT e19999 EMPTY>";
  EXPECT_EQ(dtdCheck(mixed, times("<e19999/>", 884)), "1 00000") << msg;
  EXPECT_EQ(dtdCheck(mixed, times("<e19999/>", 885)), "0 38X13");
  EXPECT_NE(std::string(msg).find(refusal), std::string::npos) << msg;
  EXPECT_EQ(dtdCheck("<!ELEMENT a (#PCDATA|b|c|b)*><!ELEMENT b EMPTY><!ELEMENT c EMPTY>", "<b/>"), "0 38X13");
  EXPECT_NE(std::string(msg).find("element types cannot be duplicated in mixed content model"), std::string::npos)
      << msg;
  // The same for the values an enumerated attribute is checked against: 5,000 of them on 4,219
  // elements make 21,095,000 looks against 21,098,496, on 4,220 21,100,000 against 21,099,520.
  const std::string listed = "<!ELEMENT a (e)*><!ELEMENT e EMPTY><!ATTLIST e k (" + values + ") #IMPLIED>";
  EXPECT_EQ(dtdCheck(listed, times("<e k='v4999'/>", 4219)), "1 00000") << msg;
  EXPECT_EQ(dtdCheck(listed, times("<e k='v4999'/>", 4220)), "0 38X13");
  EXPECT_NE(std::string(msg).find(refusal), std::string::npos) << msg;
  // And for a schema type's enumeration facets, on elements and attributes alike: the root's
  // attribute and 883 elements of 20,000 values each pass (17,680,000 against 17,683,456).
  std::string facets;
  for (int i = 0; i < 20000; ++i) facets += "<xs:enumeration value=\"v" + std::to_string(i) + "\"/>";
  const std::u16string location =
      schema("<xs:simpleType name=\"T\"><xs:restriction base=\"xs:string\">" + facets +
             "</xs:restriction></xs:simpleType><xs:element name=\"a\"><xs:complexType><xs:sequence><xs:element "
             "name=\"e\" type=\"T\" maxOccurs=\"unbounded\"/></xs:sequence><xs:attribute name=\"k\" type=\"T\"/>"
             "</xs:complexType></xs:element>");
  auto schemaCheck = [&](const std::string &doc) {
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  EXPECT_EQ(schemaCheck("<a k='v1'>" + times("<e>v19999</e>", 883) + "</a>"), "1 00000") << msg;
  EXPECT_EQ(schemaCheck("<a k='v1'>" + times("<e>v19999</e>", 884) + "</a>"), "0 38X13");
  EXPECT_NE(std::string(msg).find(refusal), std::string::npos) << msg;
}

TEST_F(Validation, PatternWorkIsBoundedByTheValuesMatched) {
  auto typed = [&](const std::string &pattern) {
    return schema("<xs:element name=\"r\"><xs:complexType><xs:simpleContent><xs:extension base=\"P\">"
                  "<xs:attribute name=\"a\" type=\"P\"/></xs:extension></xs:simpleContent></xs:complexType>"
                  "</xs:element><xs:simpleType name=\"P\"><xs:restriction base=\"xs:string\"><xs:pattern value=\"" +
                  pattern + "\"/></xs:restriction></xs:simpleType>");
  };
  KelValidator v(&ctx);
  auto check = [&](const std::u16string &location, const std::string &doc) {
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  const std::string tooMuch =
      "matching the document's values against the patterns of its schemas takes too much work: more than 64 steps "
      "for each character matched on average \n";
  // An e-mail pattern rejects "a@" repeated by trying every pair of "@" and ".": 20 KB took 3 s.
  std::u16string location = typed(".+@.+\\..+");
  std::string hostile;
  for (int i = 0; i < 10000; ++i) hostile += "a@";
  EXPECT_EQ(check(location, "<r>" + hostile + "</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 20008: " + tooMuch);
  EXPECT_EQ(check(location, "<r a='" + hostile + "'>x@y.z</r>"), "0 38X13");
  EXPECT_NE(std::string(msg).find(tooMuch), std::string::npos) << msg;
  // Ordinary values keep the library's answers and messages.
  EXPECT_EQ(check(location, "<r a='john.smith@example.com'>x@y.z</r>"), "1 00000") << msg;
  EXPECT_EQ(check(location, "<r>a@b</r>"), "0 38X13");
  EXPECT_NE(std::string(msg).find("does not match regular expression facet"), std::string::npos) << msg;
  // A long value the pattern matches in one pass passes: the library's own string step made
  // "(ab)*" quadratic (1 MB took 251 s).
  location = typed("(ab)*");
  std::string pairs;
  for (int i = 0; i < 500000; ++i) pairs += "ab";
  EXPECT_EQ(check(location, "<r>" + pairs + "</r>"), "1 00000") << msg;
  EXPECT_EQ(check(location, "<r>" + pairs + "a</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg).find(tooMuch), std::string::npos);
  // An ambiguous pattern grows exponentially: 38 characters took 24 s.
  location = typed("(a|aa)*b");
  EXPECT_EQ(check(location, "<r>" + std::string(20, 'a') + "b</r>"), "1 00000") << msg;
  EXPECT_EQ(check(location, "<r>" + std::string(60, 'a') + "c</r>"), "0 38X13");
  EXPECT_NE(std::string(msg).find(tooMuch), std::string::npos) << msg;
  // The account is the parse's: the same validator goes on to the next document afresh.
  EXPECT_EQ(check(location, "<r>aab</r>"), "1 00000") << msg;
  // A pattern of a thousand alternatives tries each on every short value: 30,000 values pass.
  std::string codes = "A0";
  for (int i = 1; i < 1000; ++i) codes += "|" + std::string(1, static_cast<char>('A' + i / 100 % 26)) + std::to_string(i);
  location = schema("<xs:element name=\"r\"><xs:complexType><xs:sequence><xs:element name=\"c\" maxOccurs=\"unbounded\">"
                    "<xs:simpleType><xs:restriction base=\"xs:string\"><xs:pattern value=\"" + codes +
                    "\"/></xs:restriction></xs:simpleType></xs:element></xs:sequence></xs:complexType></xs:element>");
  std::string many = "<r>";
  for (int i = 0; i < 30000; ++i) many += "<c>J999</c>";
  EXPECT_EQ(check(location, many + "</r>"), "1 00000") << msg;
  // A choice inside a repeat recurses once per repetition: 50,000 characters ended the process.
  location = typed("(a|b)+c?");
  EXPECT_EQ(check(location, "<r>" + std::string(2000, 'a') + "</r>"), "1 00000") << msg;
  EXPECT_EQ(check(location, "<r>" + std::string(1000000, 'a') + "</r>"), "0 38X13");
  EXPECT_EQ(std::string(msg).substr(std::string(msg).find(": ", 30)),
            ": matching a value of the document against the patterns of its schemas needs more stack than the parse "
            "has \n");
}

// With namespaces on, a prefix is looked up through the open elements and their declarations,
// and a start tag's attributes are checked for duplicates by local name alone.
TEST_F(Validation, NamespaceWorkIsBoundedByTheNamesResolved) {
  const std::u16string location = schema(
      "<xs:element name=\"r\"><xs:complexType><xs:sequence><xs:element ref=\"r\" minOccurs=\"0\" "
      "maxOccurs=\"unbounded\"/></xs:sequence><xs:anyAttribute processContents=\"skip\"/></xs:complexType>"
      "</xs:element>");
  KelValidator v(&ctx);
  auto check = [&](const std::string &doc) {
    int rc = v.validateSchema(doc.c_str(), doc.size(), 1, 0, location.c_str(), state, msg);
    return std::to_string(rc) + " " + state;
  };
  const std::string tooMuch =
      "resolving the document's names takes too much work: more than 1024 open elements, namespace declarations "
      "and attributes of the same slot are looked at for each name on average \n";
  // One start tag of attributes named "a", each in a namespace of its own: 40,000 took 3.8 s.
  auto sameName = [](int n) {
    std::string d = "<r";
    for (int i = 0; i < n; ++i) d += " xmlns:p" + std::to_string(i) + "='u" + std::to_string(i) + "'";
    for (int i = 0; i < n; ++i) d += " p" + std::to_string(i) + ":a='1'";
    return d + "/>";
  };
  EXPECT_EQ(check(sameName(1000)), "1 00000") << msg;
  EXPECT_EQ(check(sameName(40000)), "0 38X13");
  EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 1366675: " + tooMuch);
  // Declarations on the root, each used by a child: each lookup passes the earlier ones.
  auto declared = [](int n) {
    std::string d = "<r";
    for (int i = 0; i < n; ++i) d += " xmlns:p" + std::to_string(i) + "='u" + std::to_string(i) + "'";
    d += ">";
    for (int i = 0; i < n; ++i) d += "<r p" + std::to_string(i) + ":a='1'/>";
    return d + "</r>";
  };
  EXPECT_EQ(check(declared(1000)), "1 00000") << msg;
  EXPECT_EQ(check(declared(40000)), "0 38X13");
  EXPECT_NE(std::string(msg).find(tooMuch), std::string::npos) << msg;
  // Many attributes of distinct names in one namespace, and names resolved through many open
  // elements, cost little per name.
  std::string wide = "<r xmlns:p='u'";
  for (int i = 0; i < 40000; ++i) wide += " p:a" + std::to_string(i) + "='1'";
  EXPECT_EQ(check(wide + "/>"), "1 00000") << msg;
  std::string deep = "<r xmlns:q='v'>";
  for (int i = 0; i < 2000; ++i) deep += "<r>";
  for (int i = 0; i < 2000; ++i) deep += "<r q:a='1'/>";
  for (int i = 0; i < 2000; ++i) deep += "</r>";
  EXPECT_EQ(check(deep + "</r>"), "1 00000") << msg;
}

TEST_F(Access, UnsetAllowsNothingAndAnyAllowsEverything) {
  std::string f = dir.file("f.xml");
  keltest::writeFile(f, "<a/>");
  EXPECT_EQ(read(f), -1);
  EXPECT_STREQ(state, "38X02");
  EXPECT_STREQ(msg, "KELC002E  Unable to read file.\n");
  EXPECT_EQ(write(f), -1);
  EXPECT_STREQ(state, "38X03");
  EXPECT_STREQ(msg, "KELC003E  Unable to write to the specified file.\n");
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "ANY"), 0);
  EXPECT_EQ(read("/etc/hostname"), 0);
}

TEST_F(Access, DirectoriesAreComparedByRealPathAndWholeComponents) {
  namespace fs = std::filesystem;
  fs::create_directories(dir.path() / "data/in");
  fs::create_directories(dir.path() / "database");
  fs::create_directories(dir.path() / "xml");
  fs::create_directories(dir.path() / "secret");
  for (const char *f : {"data/in/a.xml", "database/c.xml", "xml/b.xml", "secret/s.xml"})
    keltest::writeFile(dir.file(f), "<a/>");
  fs::create_symlink(dir.path() / "secret/s.xml", dir.path() / "data/link.xml");
  fs::create_symlink(dir.path() / "secret", dir.path() / "data/linkdir");
  std::string setting = " " + dir.file("data") + " ; " + dir.file("xml") + "/;;";
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, setting.c_str()), 0);
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, dir.file("data").c_str()), 0);

  EXPECT_EQ(read(dir.file("data/in/a.xml")), 0);
  EXPECT_EQ(read(dir.file("xml/b.xml")), 0);
  EXPECT_EQ(read(dir.file("database/c.xml")), -1);           // "data" is not "database"
  EXPECT_EQ(read(dir.file("data/../secret/s.xml")), -1);     // ".." walks out
  EXPECT_EQ(read(dir.file("data/link.xml")), -1);            // a link points out
  EXPECT_EQ(read(dir.file("data/linkdir/s.xml")), -1);
  EXPECT_EQ(read(dir.file("DATA/in/a.xml")), -1);            // case matters on this system
  EXPECT_EQ(read(dir.file("data")), -1);                     // the directory itself is no file in it
  EXPECT_EQ(read(dir.file("data/in/missing.xml")), -1);

  // A file to be written: its directory's real path counts.
  EXPECT_EQ(write(dir.file("data/new.xml")), 0);
  EXPECT_EQ(write(dir.file("data/in/../new2.xml")), 0);
  EXPECT_EQ(write(dir.file("data/../secret/new.xml")), -1);
  EXPECT_EQ(write(dir.file("data/linkdir/new.xml")), -1);
  EXPECT_EQ(write(dir.file("data/link.xml")), -1);           // writing would follow the link out
  EXPECT_EQ(write(dir.file("data/nodir/new.xml")), -1);
  EXPECT_EQ(write(dir.file("xml/new.xml")), -1);             // readable is not writable

  // Relative names are taken from the current directory.
  std::string cwd = fs::current_path();
  fs::current_path(dir.path() / "data");
  EXPECT_EQ(read("in/a.xml"), 0);
  EXPECT_EQ(read("../secret/s.xml"), -1);
  fs::current_path(cwd);
}

}  // namespace

namespace {

class Validator : public Validation {
 protected:
  // kelValidate's answer and the engine's, as "<result> <state>".
  std::string both(KelValidator &v, const std::string &doc, const char *dtd, int where) {
    int fresh = kelValidate(&ctx, doc.c_str(), 1, 1, dtd, 0, "d", state, msg, where);
    std::string a = std::to_string(fresh) + " " + state + " " + msg;
    int kept = v.validate(doc.data(), doc.size(), 1, 1, dtd, 0, "d", state, msg, where);
    std::string b = std::to_string(kept) + " " + state + " " + msg;
    EXPECT_EQ(a, b) << doc;
    return std::to_string(kept) + " " + state;
  }
  // body(engine, dtd, where) for kDtd as text and as a server file, twice per engine: from the
  // second document on the engine keeps the DTD's grammar.
  void eachDtdTwice(const std::function<void(KelValidator &, const char *, int)> &body) {
    const std::string dtdFile = dir.file("given.dtd");
    keltest::writeFile(dtdFile, kDtd);
    for (int where : {KEL_DTD_TEXT, KEL_DTD_SERVER_FILE}) {
      SCOPED_TRACE(where);
      KelValidator v(&ctx);
      for (int round = 0; round < 2; ++round) body(v, where == KEL_DTD_TEXT ? kDtd : dtdFile.c_str(), where);
    }
  }
};

TEST_F(Validator, KeptGrammarGivesTheAnswersOfAFreshParse) {
  KelValidator v(&ctx);
  const std::vector<std::pair<std::string, std::string>> docs = {
      {"<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\">t</b></a>", "1 00000"},
      {"<!DOCTYPE a SYSTEM \"y.dtd\"><a><b k=\"2\"/><b k=\"3\">u</b></a>", "1 00000"},
      {"<!DOCTYPE a SYSTEM \"x.dtd\"><a><b>t</b></a>", "0 38X13"},
      {"<!DOCTYPE a SYSTEM \"x.dtd\"><a><c/></a>", "0 38X13"},
      {"<a><b k=\"1\"/></a>", "0 38X13"},
      {"<!DOCTYPE b SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>", "0 38X13"},
      // An internal subset adds to the DTD for its own document only.
      {"<!DOCTYPE a SYSTEM \"x.dtd\" [<!ELEMENT c EMPTY>]><a><b k=\"1\"/></a>", "1 00000"},
      {"<!DOCTYPE a SYSTEM \"x.dtd\" [<!ATTLIST b j CDATA #REQUIRED>]><a><b k=\"1\"/></a>", "0 38X13"},
      {"<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>", "1 00000"},
      {"<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/>", "0 38X13"},
  };
  for (int round = 0; round < 2; ++round)
    for (const auto &d : docs) EXPECT_EQ(both(v, d.first, kDtd, 1), d.second) << d.first;
  // Another DTD in between, then the first again.
  EXPECT_EQ(both(v, docs[0].first, "<!ELEMENT a ANY>", 1), "0 38X13");
  EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x.dtd\"><a/>", "<!ELEMENT a ANY>", 1), "1 00000");
  EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x.dtd\"><a/>", "<!ELEMENT a ANY>", 1), "1 00000");
  EXPECT_EQ(both(v, docs[0].first, kDtd, 1), "1 00000");
  // A DTD that does not parse is reported in place for every document.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(both(v, docs[0].first, "<!ELEMENT a (b+>", 1), "0 38X13");
  // No DTD: the one the DOCTYPE names, read anew for each document.
  std::string own = dir.file("own.dtd");
  keltest::writeFile(own, kDtd);
  std::string doc = "<!DOCTYPE a SYSTEM \"" + own + "\"><a><b k=\"1\"/></a>";
  EXPECT_EQ(both(v, doc, nullptr, 1), "1 00000");
  keltest::writeFile(own, "<!ELEMENT a EMPTY>");
  EXPECT_EQ(both(v, doc, nullptr, 1), "0 38X13");
}

// A standalone document may not take from the external DTD what changes it: an attribute's
// default value, white space between the elements of element content. The kept grammar was
// loaded as a document of its own, its declarations not marked external, so from the second
// document with the DTD on those checks were passed over.
TEST_F(Validator, StandaloneDocumentsAreCheckedWithTheKeptGrammarToo) {
  KelValidator v(&ctx);
  const char *dtd = "<!ELEMENT o (i*)><!ELEMENT i EMPTY><!ATTLIST i s CDATA \"d\" t CDATA #IMPLIED><!ENTITY e \"x\">";
  const std::string head = "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE o SYSTEM \"o\">";
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    EXPECT_EQ(both(v, "<!DOCTYPE o SYSTEM \"o\"><o> <i/> </o>", dtd, 1), "1 00000");
    EXPECT_EQ(both(v, head + "<o><i/></o>", dtd, 1), "0 38X13");
    EXPECT_EQ(both(v, head + "<o> <i s=\"x\"/> </o>", dtd, 1), "0 38X13");
    EXPECT_EQ(both(v, head + "<o><i s=\"x\"/></o>", dtd, 1), "1 00000");
    both(v, head + "<o><i s=\"x\" t=\"&e;\"/></o>", dtd, 1);  // the same answer fresh and kept
  }
}

// A DTD given applies to every document: one whose DOCTYPE names no external DTD would never
// ask for it and be checked against its own internal subset alone, so it is refused at the
// DOCTYPE.  Fresh and with the grammar kept, the DTD as text and as a file.
TEST_F(Validator, AGivenDtdIsNotBypassedByADoctypeWithoutSystemId) {
  // Each with the column of its refusal: where the DOCTYPE would name its DTD, after its name.
  const std::vector<std::pair<std::string, int>> bypasses = {
      {"<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>anything</a>", 13},
      {"<!DOCTYPE a [<!ELEMENT a ANY><!ELEMENT zz EMPTY>]><a><zz/></a>", 13},
      // Even a document the DTD given would accept: its own declarations would decide.
      {"<!DOCTYPE a [<!ELEMENT a (b+)><!ELEMENT b (#PCDATA)><!ATTLIST b k CDATA #REQUIRED>]>"
       "<a><b k=\"1\"/></a>",
       13},
  };
  const std::string withSystemId =
      "<!DOCTYPE a SYSTEM \"x.dtd\" [<!ELEMENT c EMPTY>]><a><b k=\"1\"/></a>";
  eachDtdTwice([&](KelValidator &v, const char *dtd, int where) {
    EXPECT_EQ(both(v, withSystemId, dtd, where), "1 00000") << msg;
    // An empty system id still asks for the DTD, which is applied.
    EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"\"><a><b k=\"1\"/></a>", dtd, where), "1 00000") << msg;
    EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"\"><a><zz/></a>", dtd, where), "0 38X13");
    EXPECT_EQ(std::string(msg).find("not applied"), std::string::npos) << msg;
    for (const auto &[doc, column] : bypasses) {
      EXPECT_EQ(both(v, doc, dtd, where), "0 38X13") << doc;
      EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column " + std::to_string(column) +
                                      ": the DOCTYPE names no external DTD, so the DTD given is not "
                                      "applied \n")
          << doc;
    }
  });
  // On a later line, with an internal subset over several lines.
  const std::string lines = "<?xml version=\"1.0\"?>\n<!DOCTYPE a [\n<!ELEMENT a ANY>\n]>\n<a/>";
  EXPECT_EQ(kelValidate(&ctx, lines.c_str(), 1, 1, kDtd, 0, "d", state, msg, KEL_DTD_TEXT), 0);
  EXPECT_EQ(std::string(msg).substr(0, 42), "KELQ047E  Parser error on line 2 column 13") << msg;
  // No DTD given: the DOCTYPE's own declarations are the document's DTD.
  KelValidator own(&ctx);
  for (size_t i = 0; i < 3; ++i)
    EXPECT_EQ(both(own, bypasses[i].first, nullptr, KEL_DTD_TEXT), "1 00000") << bypasses[i].first;
  EXPECT_EQ(both(own, "<!DOCTYPE a [<!ELEMENT a EMPTY>]><a>t</a>", nullptr, KEL_DTD_TEXT), "0 38X13");
}

// Each document is read by the XML version it declares, not the one of the document before.
// The internal subset is read before the DTD given and its declarations win: it may add
// elements of its own, but an attribute list for an element of the DTD given would loosen it.
TEST_F(Validator, AnInternalSubsetCannotLoosenTheDtdGiven) {
  const std::string head = "<!DOCTYPE a SYSTEM \"x.dtd\" [";
  const std::vector<std::tuple<std::string, std::string, std::string>> loosening = {
      {"<!ATTLIST b k CDATA #IMPLIED>]><a><b/></a>", "k", "b"},  // a required attribute made optional
      {"<!ATTLIST b extra CDATA #IMPLIED>]><a><b k=\"1\" extra=\"x\"/></a>", "extra", "b"},
      {"<!ATTLIST a q CDATA #FIXED \"v\">]><a q=\"v\"><b k=\"1\"/></a>", "q", "a"},
  };
  eachDtdTwice([&](KelValidator &v, const char *dtd, int where) {
    for (const auto &[rest, attribute, element] : loosening) {
      const std::string doc = head + rest;
      EXPECT_EQ(both(v, doc, dtd, where), "0 38X13") << doc;
      EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column " +
                                      std::to_string(doc.find("<a") + 1 + doc.substr(doc.find("<a")).find('>') + 1) +
                                      ": the internal subset declares attribute \"" + attribute +
                                      "\" of element \"" + element + "\", which the DTD given decides \n")
          << doc;
    }
    // Elements of its own and their attributes it may declare; an element of the DTD given it
    // cannot declare again.
    EXPECT_EQ(both(v, head + "<!ELEMENT c EMPTY><!ATTLIST c z CDATA #IMPLIED>]><a><b k=\"1\"/></a>", dtd, where),
              "1 00000")
        << msg;
    EXPECT_EQ(both(v, head + "<!ELEMENT a ANY><!ELEMENT c EMPTY>]><a><c/></a>", dtd, where), "0 38X13");
    // Nor a root element of its own, which the DTD given would then decide nothing of.
    const std::string ownRoot =
        "<!DOCTYPE memo SYSTEM \"x.dtd\" [<!ELEMENT memo (note)*><!ELEMENT note (#PCDATA)>]><memo><note>x</note></memo>";
    EXPECT_EQ(both(v, ownRoot, dtd, where), "0 38X13");
    EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 88: the internal subset declares the root "
                                "element \"memo\", so the DTD given is not applied \n");
    // A parameter entity could rewrite the DTD given where it uses one; general entities are
    // the document's own.
    const std::string entity = head + "<!ENTITY % model 'ANY'>]><a><b k=\"1\"/></a>";
    EXPECT_EQ(both(v, entity, dtd, where), "0 38X13");
    EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 57: the internal subset declares parameter "
                                "entity \"%model\", which could change the DTD given \n");
    EXPECT_EQ(both(v, head + "<!ENTITY one '1'>]><a><b k=\"&one;\"/></a>", dtd, where), "1 00000") << msg;
  });
  // The DTD given writing its model with a parameter entity, which the document would redefine.
  const char *byEntity = "<!ENTITY % model '(b+)'><!ELEMENT a %model;><!ELEMENT b EMPTY>";
  EXPECT_EQ(kelValidate(&ctx, (head + "<!ENTITY % model 'ANY'><!ELEMENT c EMPTY>]><a><c/></a>").c_str(), 1, 0,
                        byEntity, 0, "d", state, msg, KEL_DTD_TEXT),
            0);
  EXPECT_NE(std::string(msg).find("parameter entity \"%model\""), std::string::npos) << msg;
  // An element the DTD given lists attributes of without declaring it: the document may declare
  // the element, not those attributes (its list binds first: "zzz" passed for an enumeration).
  const char *listsOnly = "<!ELEMENT a ANY><!ATTLIST a k (x|y) #REQUIRED><!ATTLIST b k (x|y) #REQUIRED>";
  EXPECT_EQ(kelValidate(&ctx, (head + "<!ELEMENT b EMPTY><!ATTLIST b k CDATA #IMPLIED>]><a k=\"x\"><b k=\"zzz\"/></a>").c_str(),
                        1, 0, listsOnly, 0, "d", state, msg, KEL_DTD_TEXT),
            0);
  EXPECT_NE(std::string(msg).find("declares attribute \"k\" of element \"b\""), std::string::npos) << msg;
  EXPECT_EQ(kelValidate(&ctx, (head + "<!ELEMENT b EMPTY>]><a k=\"x\"><b k=\"zzz\"/></a>").c_str(), 1, 0, listsOnly,
                        0, "d", state, msg, KEL_DTD_TEXT),
            0);
  EXPECT_EQ(kelValidate(&ctx, (head + "<!ELEMENT b EMPTY>]><a k=\"x\"><b k=\"y\"/></a>").c_str(), 1, 0, listsOnly, 0,
                        "d", state, msg, KEL_DTD_TEXT),
            1)
      << msg;
  // A general entity the DTD given declares too: the subset's declaration won and changed the
  // value the DTD given fixes with it, so "evil" passed a #FIXED "good" (also on the second
  // document of a statement, whose DTD is kept as a grammar).  Entities of its own it may declare.
  const char *fixedByEntity = "<!ENTITY v 'good'><!ELEMENT a EMPTY><!ATTLIST a k CDATA #FIXED '&v;'>";
  KelValidator fixedOnce(&ctx);
  const std::string shadowing = head + "<!ENTITY v 'evil'>]><a k=\"evil\"/>";
  const std::string ownEntities = head + "<!ENTITY w 'other'><!ENTITY lt '&#38;#60;'>]><a k=\"good\"/>";
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(fixedOnce.validate(shadowing.data(), shadowing.size(), 1, 0, fixedByEntity, 0, "d", state, msg,
                                 KEL_DTD_TEXT),
              0)
        << i;
    EXPECT_NE(std::string(msg).find("the internal subset declares entity \"v\", which the DTD given declares"),
              std::string::npos)
        << msg;
    EXPECT_EQ(fixedOnce.validate(ownEntities.data(), ownEntities.size(), 1, 0, fixedByEntity, 0, "d", state, msg,
                                 KEL_DTD_TEXT),
              1)
        << i << msg;
  }
  // So is a notation the DTD given declares: the subset's system id replaced the DTD given's.
  const char *withNotation = "<!NOTATION png SYSTEM 'image/png'><!ELEMENT a (#PCDATA)><!ATTLIST a n NOTATION (png) #IMPLIED>";
  const std::string notation = head + "<!NOTATION png SYSTEM 'evil'>]><a n=\"png\"/>";
  EXPECT_EQ(kelValidate(&ctx, notation.c_str(), 1, 0, withNotation, 0, "d", state, msg, KEL_DTD_TEXT), 0);
  EXPECT_NE(std::string(msg).find("the internal subset declares notation \"png\", which the DTD given declares"),
            std::string::npos)
      << msg;
  // Without a DTD given the internal subset is the document's own DTD, attribute lists and all.
  EXPECT_EQ(kelValidate(&ctx, "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA #IMPLIED>]><a/>", 1, 0, nullptr,
                        0, nullptr, state, msg, 1),
            1)
      << msg;
}

TEST_F(Validator, EachDocumentIsReadByItsOwnXmlVersion) {
  KelValidator v(&ctx);
  const char *dtd = "<!ELEMENT a (#PCDATA)>";
  EXPECT_EQ(both(v, "<?xml version=\"1.1\"?><!DOCTYPE a SYSTEM \"x.dtd\"><a>&#1;</a>", dtd, 1), "1 00000");
  EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x.dtd\"><a>&#5;</a>", dtd, 1), "0 38X13");
}

TEST_F(Validator, DtdFileIsCheckedForEveryDocumentAndReadOncePerRun) {
  KelValidator v(&ctx);
  std::string dtdFile = dir.file("kept.dtd");
  keltest::writeFile(dtdFile, kDtd);
  const std::string doc = "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>";
  auto run = [&] {
    int r = v.validate(doc.data(), doc.size(), 1, 0, dtdFile.c_str(), 0, "d", state, msg, KEL_DTD_SERVER_FILE);
    return std::to_string(r) + " " + state;
  };
  EXPECT_EQ(run(), "1 00000");
  EXPECT_EQ(run(), "1 00000");  // from here on the DTD's grammar is kept
  keltest::writeFile(dtdFile, "<!ELEMENT a EMPTY>");
  EXPECT_EQ(run(), "1 00000");
  // The directory check still applies to every document.
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/nonexistent"), 0);
  EXPECT_EQ(run(), "0 38X13");
  EXPECT_NE(std::string(msg).find("refused"), std::string::npos) << msg;
}

// The DTD given stands for the document's external subset only.  The handler answered every
// external entity with it: a module its parameter entity named read the main DTD again
// ("recursive entity expansion"), and an external entity of the document was read as the DTD's
// text.  Now the rest goes through the resolver every parse has: allowed directories, relative
// names against the DTD file's own directory, and none inside DTD text.  Fresh and kept.
TEST_F(Validator, OnlyTheExternalSubsetIsAnsweredWithTheDtdGiven) {
  namespace fs = std::filesystem;
  fs::create_directories(dir.path() / "sub");
  fs::create_directories(dir.path() / "top");
  const std::string mod = dir.file("sub/mod.dtd"), chapter = dir.file("chap.txt");
  keltest::writeFile(mod, "<!ELEMENT a (b)>");
  keltest::writeFile(chapter, "<b/>");
  const std::string rest = "%m;<!ELEMENT b EMPTY>";
  const std::string main = dir.file("sub/main.dtd"), top = dir.file("top/main.dtd");
  keltest::writeFile(main, "<!ENTITY % m SYSTEM \"mod.dtd\">" + rest);
  keltest::writeFile(top, "<!ENTITY % m SYSTEM \"../sub/mod.dtd\">" + rest);
  // A module naming the DOCTYPE's own system id: the external subset is asked for once.
  const std::string same = dir.file("sub/same.dtd");
  keltest::writeFile(same, "<!ENTITY % m SYSTEM \"x\">" + rest);
  keltest::writeFile(dir.file("sub/x"), "<!ELEMENT a (b)>");
  const std::string byAbsoluteName = "<!ENTITY % m SYSTEM \"" + mod + "\">" + rest;
  const std::string dtdText = "<!ELEMENT a (b)><!ELEMENT b EMPTY>";
  const std::string valid = "<!DOCTYPE a SYSTEM \"x\"><a><b/></a>";
  auto withEntity = [](const std::string &id) {
    return "<!DOCTYPE a SYSTEM \"x\" [<!ENTITY e SYSTEM \"" + id + "\">]><a>&e;</a>";
  };
  KelValidator v(&ctx);
  // Each DTD twice: the second time with its grammar kept.
  auto twice = [&](const std::string &doc, const std::string &dtd, int where) {
    const std::string first = both(v, doc, dtd.c_str(), where);
    EXPECT_EQ(both(v, doc, dtd.c_str(), where), first) << msg;
    return first;
  };
  for (const std::string &dtd : {main, same, top})
    EXPECT_EQ(twice(valid, dtd, KEL_DTD_SERVER_FILE), "1 00000") << dtd << msg;
  EXPECT_EQ(twice(valid, byAbsoluteName, KEL_DTD_TEXT), "1 00000") << msg;
  // The document's own entity is its own text, read from an allowed directory only.
  EXPECT_EQ(twice(withEntity(chapter), dtdText, KEL_DTD_TEXT), "1 00000") << msg;
  EXPECT_EQ(twice(withEntity(chapter), main, KEL_DTD_SERVER_FILE), "1 00000") << msg;
  EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x\"><a/>", main.c_str(), KEL_DTD_SERVER_FILE), "0 38X13");
  EXPECT_EQ(both(v, withEntity("/etc/hostname"), dtdText.c_str(), KEL_DTD_TEXT), "0 38X13");
  const std::string notAllowed = "refused: not a regular file in an allowed directory";
  EXPECT_NE(std::string(msg).find("\"/etc/hostname\" " + notAllowed), std::string::npos) << msg;
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.file("top").c_str()), 0);
  EXPECT_EQ(both(v, valid, top.c_str(), KEL_DTD_SERVER_FILE), "0 38X13");
  EXPECT_NE(std::string(msg).find("\"../sub/mod.dtd\" " + notAllowed), std::string::npos) << msg;
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  // DTD text has no directory: a relative name in it is refused, not taken against the current
  // directory (where chap.txt is), also in a temporary file of the call beside mod.dtd.
  const std::string cwd = fs::current_path();
  fs::current_path(dir.path());
  const std::string noBase =
      "refused: a DTD given as text has no directory to find a relative name in";
  const std::string relative = "<!ENTITY % m SYSTEM \"mod.dtd\">" + rest;
  EXPECT_EQ(twice(valid, relative, KEL_DTD_TEXT), "0 38X13");
  EXPECT_NE(std::string(msg).find("\"mod.dtd\" " + noBase), std::string::npos) << msg;
  const std::string entityText = dtdText + "<!ENTITY e SYSTEM \"chap.txt\">";
  EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x\"><a>&e;</a>", entityText.c_str(), KEL_DTD_TEXT),
            "0 38X13");
  EXPECT_NE(std::string(msg).find("\"chap.txt\" " + noBase), std::string::npos) << msg;
  const std::string own = dir.file("sub/kel_own.dtd");
  keltest::writeFile(own, relative);
  EXPECT_EQ(
      kelValidate(&ctx, valid.c_str(), 1, 0, own.c_str(), 0, "d", state, msg, KEL_DTD_OWN_FILE), 0);
  EXPECT_NE(std::string(msg).find("\"mod.dtd\" " + noBase), std::string::npos) << msg;
  fs::current_path(cwd);
}

// A document without a DOCTYPE never asks for the DTD given: it was reported with "no
// declaration found" for its root, as if the DTD given lacked the element.  It is refused as a
// DOCTYPE without a system id is, at its first element, fresh and kept, text and file.
TEST_F(Validator, ADocumentWithoutDoctypeIsToldTheDtdGivenIsNotApplied) {
  const std::string refusal = ": the document has no DOCTYPE, so the DTD given is not applied \n";
  eachDtdTwice([&](KelValidator &v, const char *dtd, int where) {
    EXPECT_EQ(both(v, "<a><b k=\"1\"/></a>", dtd, where), "0 38X13");
    EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 1 column 3" + refusal);
    EXPECT_EQ(both(v, "<?xml version=\"1.0\"?>\n<!-- c -->\n<zz><a/></zz>", dtd, where), "0 38X13");
    EXPECT_EQ(std::string(msg), "KELQ047E  Parser error on line 3 column 4" + refusal);
    EXPECT_EQ(both(v, "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>", dtd, where), "1 00000")
        << msg;
  });
  // Without a DTD given nothing changes: the document has no grammar to be valid against.
  EXPECT_EQ(kelValidate(&ctx, "<a/>", 1, 0, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 0);
  EXPECT_EQ(std::string(msg).find("no DOCTYPE"), std::string::npos) << msg;
}

TEST_F(Validator, DtdInATemporaryFileOfTheCall) {
  // A temporary file lies outside the readable directories and is still read.
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, "/nonexistent"), 0);
  std::string dtdFile = dir.file("kel_own.dtd");
  keltest::writeFile(dtdFile, kDtd);
  EXPECT_EQ(kelValidate(&ctx, "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>", 1, 0, dtdFile.c_str(), 0, "d",
                        state, msg, KEL_DTD_OWN_FILE),
            1)
      << msg;
  EXPECT_EQ(kelValidate(&ctx, "<!DOCTYPE a SYSTEM \"x.dtd\"><a><b k=\"1\"/></a>", 1, 0, dtdFile.c_str(), 0, "d",
                        state, msg, KEL_DTD_SERVER_FILE),
            0);
}

}  // namespace
