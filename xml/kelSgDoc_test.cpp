// The parser layer: DOM parses, escaping, attribute snapshots, child lookup.
#include "kelSgDoc.h"

#include <gtest/gtest.h>
#include <xercesc/dom/DOMElement.hpp>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelSgDocHandler.h"
#include "kelctx.h"
#include "kelmsg.h"

namespace {

using Parser = keltest::CallContextTest;

TEST_F(Parser, SharedInitialisationIsReported) { EXPECT_EQ(kelInitializeParser(&ctx, state, msg), 0); }

TEST_F(Parser, DomReadsAMissingExternalDtdAsEmpty) {
  xercesc::DOMDocument *doc = nullptr;
  ASSERT_EQ(kelDOM(&ctx, "<!DOCTYPE a SYSTEM \"missing.dtd\"><a><b/><c>t</c></a>", 0, 1, &doc, state, msg), 0) << msg;
  KelDomDocument owner(doc);
  xercesc::DOMElement *root = doc->getDocumentElement();
  ASSERT_NE(root, nullptr);
  xercesc::DOMNode *c = kelGetFirstTaggedChildElement(&ctx, "c", root);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(std::u16string(c->getTextContent()), u"t");
  EXPECT_EQ(kelGetFirstTaggedChildElement(&ctx, "d", root), nullptr);
}

// Decomposition's tree lost a reference to an entity only the DTD read as empty could declare
// ("Smith &co; Sons" became "Smith  Sons") where the update refused the document; it is refused
// now, in text and in attribute values.  Entities of the internal subset are expanded as before.
TEST_F(Parser, DomRefusesEntitiesOnlyTheUnreadDtdCouldDeclare) {
  xercesc::DOMDocument *doc = nullptr;
  for (const char *refers : {"<!DOCTYPE a SYSTEM \"x.dtd\"><a>Smith &co; Sons</a>",
                             "<!DOCTYPE a SYSTEM \"x.dtd\"><a k=\"&co;\"/>",
                             "<!DOCTYPE a SYSTEM \"x.dtd\" [<!ENTITY % p \"\">%p;]><a>&co;</a>"}) {
    EXPECT_EQ(kelDOM(&ctx, refers, 0, 1, &doc, state, msg), -1) << refers;
    EXPECT_STREQ(state, "38X13");
    EXPECT_NE(std::string(msg).find("entity 'co' not found"), std::string::npos) << msg;
  }
  ASSERT_EQ(
      kelDOM(
          &ctx,
          "<!DOCTYPE a SYSTEM \"x.dtd\" [<!ENTITY co \"&amp; Co\">]><a k=\"&co;\">Smith &co;</a>",
          0, 1, &doc, state, msg),
      0)
      << msg;
  KelDomDocument owner(doc);
  EXPECT_EQ(std::u16string(doc->getDocumentElement()->getTextContent()), u"Smith & Co");
  EXPECT_EQ(std::u16string(doc->getDocumentElement()->getAttribute(u"k")), u"& Co");
}

TEST_F(Parser, DomFailuresGiveParserErrorsAndMissingFiles) {
  xercesc::DOMDocument *doc = nullptr;
  EXPECT_EQ(kelDOM(&ctx, "", 0, 1, &doc, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  EXPECT_EQ(kelDOM(&ctx, "<a><b></a>", 0, 1, &doc, state, msg), -1);
  EXPECT_NE(std::string(msg).find("line 1 column"), std::string::npos) << msg;
  EXPECT_EQ(kelDOM(&ctx, dir.file("none.xml").c_str(), 0, 0, &doc, state, msg), -1);
  EXPECT_STREQ(state, "38X01");
  EXPECT_EQ(doc, nullptr);
  std::string file = dir.file("d.xml");
  keltest::writeFile(file, "<d x=\"1\"/>");
  ASSERT_EQ(kelDOM(&ctx, file.c_str(), 0, 0, &doc, state, msg), 0);
  KelDomDocument owner(doc);
  EXPECT_EQ(std::u16string(doc->getDocumentElement()->getAttribute(u"x")), u"1");
}

// The DOM parse weighs the attributes a grammar declares (and gives by default) as the readers
// do: 20,000 declared for x cost a look each at every <x/>.  Before, it read on however long.
TEST_F(Parser, DomBoundsTheAttributesAGrammarDeclares) {
  auto doc = [](int declared, const char *mode, int n) {
    std::string d = "<!DOCTYPE r [<!ATTLIST x";
    for (int i = 0; i < declared; ++i) d += " a" + std::to_string(i) + " CDATA " + mode;
    d += ">]><r>";
    for (int i = 0; i < n; ++i) d += "<x/>";
    return d + "</r>";
  };
  xercesc::DOMDocument *parsed = nullptr;
  ASSERT_EQ(kelDOM(&ctx, doc(20000, "#IMPLIED", 100).c_str(), 0, 1, &parsed, state, msg), 0) << msg;
  KelDomDocument owner(parsed);
  EXPECT_EQ(kelDOM(&ctx, doc(20000, "#IMPLIED", 2000).c_str(), 0, 1, &parsed, state, msg), -1);
  EXPECT_NE(std::string(msg).find("the grammar declares too many attributes"), std::string::npos) << msg;
}

TEST_F(Parser, EscapingInAllThreeForms) {
  const XMLCh *src = u"a<b & \"c\"";
  const std::u16string expected = u"a&lt;b &amp; &quot;c&quot;";
  XMLCh fixed[64];
  int status = 0;
  EXPECT_EQ(kelEntityReplaceUCS(&ctx, fixed, src, 64, &status, msg), static_cast<int>(expected.size()) + 1);
  EXPECT_EQ(std::u16string(fixed), expected);
  // One character short of the text and its terminator.
  EXPECT_EQ(kelEntityReplaceUCS(&ctx, fixed, src, static_cast<int>(expected.size()), &status, msg), -1);
  EXPECT_EQ(status, -58);
  EXPECT_STREQ(msg, "KELG002E  The system is out of memory.\n");

  XMLCh *grown = nullptr;
  int cap = 0;
  ASSERT_EQ(kelEntityReplaceUCSRealloc(&ctx, &grown, src, &cap, &status, msg), 0);
  EXPECT_EQ(std::u16string(grown), expected);
  EXPECT_EQ(cap, static_cast<int>(expected.size()) + 1);
  std::free(grown);

  char *out = nullptr;
  int bytes = 0;
  KelEntityReplaceRec rec{&ctx, &out, u"'x'>", &bytes, &status, msg};
  ASSERT_EQ(kelEntityReplace(&rec), 0);
  EXPECT_STREQ(out, "&apos;x&apos;&gt;");
  std::free(out);

  char converted[64];
  EXPECT_STREQ(kelConvXMLCh(&ctx, u"caf\u00e9", converted), "caf\xC3\xA9");
}

TEST_F(Parser, AttributeSnapshotIsRangeChecked) {
  KelAttrs attrs(&ctx);
  EXPECT_EQ(attrs.getLength(), 0u);
  EXPECT_EQ(attrs.getValue(u"x"), nullptr);
  try {
    attrs.getValue(static_cast<size_t>(0));
    FAIL() << "no exception";
  } catch (const KELException &e) {
    EXPECT_EQ(std::string(e.message()).substr(0, 8), "KELG001E");
    EXPECT_NE(std::string(e.message()).find("kelSgDocHandler"), std::string::npos);
  }
}

}  // namespace
