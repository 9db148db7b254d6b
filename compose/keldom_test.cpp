// XML serialisation: the document header from both purchase-order DADs and its errors, the tag
// writers (never a dropped tag), and DOM nodes written back as XML: escaping, every kind of
// child node, round trips, deep and large documents, a document buffer that moves to a file.
#include "keldom.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kelbuf.h"
#include "keldad_testutil.h"
#include "kelmsg.h"

namespace {

class Serialise : public keltest::DadTest {
 protected:
  // kelDOMtoXML of the document element of text.
  std::string xml(const std::string &text) {
    xercesc::DOMElement *root = parse(text);
    if (root == nullptr) return "(no parse)";
    char *out = nullptr;
    int rc = kelDOMtoXML(&ctx, root, &out, state, msg);
    EXPECT_EQ(rc, 0) << msg;
    std::string s = out != nullptr ? out : "";
    std::free(out);
    return s;
  }
  std::string header(const std::string &dadText, int *rc) {
    KelDadHeader h;
    xercesc::DOMElement *root = parse(dadText);
    EXPECT_EQ(kelReadDadHeader(&ctx, root, KEL_DAD_XCOLLECTION, &h, state, msg), 0) << msg;
    std::string out;
    *rc = kelGenDocHeader(&ctx, h, &out, state, msg);
    return out;
  }
};

const char kRoot[] = "<root_node><element_node name=\"a\"><text_node><column name=\"c\"/></text_node>"
                     "</element_node></root_node>";

TEST_F(Serialise, DocumentHeadersOfBothPurchaseOrders) {
  int rc = 0;
  EXPECT_EQ(header(keltest::dadData("po_rdb.dad"), &rc), "<?xml version=\"1.0\"?>\n<!DOCTYPE Order SYSTEM \"po.dtd\">");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(header(keltest::dadData("po_sql.dad"), &rc),
            "<?xml version=\"1.0\"?>\n<!DOCTYPE Order SYSTEM \"po.dtd\">\n"
            "<?xml-stylesheet type=\"text/xsl\" href=\"po.xsl\"?>");
  EXPECT_EQ(rc, 0);
}

TEST_F(Serialise, HeaderErrors) {
  struct Case {
    std::string xcoll;
    const char *missing;
  } cases[] = {{kRoot, "prolog"},
               {std::string("<prolog></prolog>") + kRoot, "prolog"},
               {std::string("<prolog>?xml version=\"1.0\"?</prolog><doctype/>") + kRoot, "doctype"},
               {std::string("<prolog>?xml version=\"1.0\"?</prolog><stylesheet> \n</stylesheet>") + kRoot, "stylesheet"}};
  for (const Case &c : cases) {
    int rc = 0;
    std::string h = header("<DAD><Xcollection>" + c.xcoll + "</Xcollection></DAD>", &rc);
    EXPECT_EQ(rc, -61) << c.xcoll;
    EXPECT_STREQ(state, "38X15");
    EXPECT_EQ(message(), std::string("KELQ000E  ") + c.missing + " is missing from the DAD file.\n");
    EXPECT_TRUE(h.empty());
  }
}

// The prolog is written as the document's first markup: a text that was not an XML declaration
// began every document with whatever it held (an element and an open comment), and a declared
// encoding was kept although the text is written in the database code page.  Only a
// declaration is taken, trimmed, its encoding the one the document is written in.
TEST_F(Serialise, ThePrologIsAnXmlDeclarationOfTheEncodingWritten) {
  auto prolog = [&](const std::string &text, int *rc) {
    return header(
        "<DAD><Xcollection><prolog>" + text + "</prolog>" + kRoot + "</Xcollection></DAD>", rc);
  };
  for (const char *bad :
       {"Order id=\"evil\"/&gt;&lt;!--", "?xml version=\"1.0\"?&gt;&lt;evil/&gt;&lt;?x",
        "?xml version=\"2.0\"?", "?xml version=\"1.0\"",
        "?xml  version=\"1.0\" standalone=\"maybe\"?", "?xml version=\"1.0\"standalone=\"yes\"?",
        "?xml version=\"1.0\" standalone=\"no\" encoding=\"UTF-8\"?",
        "?xml version=\"1.0\" encoding=\"a b\"?", "?xml version=\"1.0\" encoding=\"\"?",
        "?xml version=\"1.0\" version=\"1.0\"?", "?xml-stylesheet href=\"x\"?", "!DOCTYPE a",
        "?XML version=\"1.0\"?", "?xmlversion=\"1.0\"?", "?xml version=\"1.0' ?"}) {
    int rc = 0;
    EXPECT_TRUE(prolog(bad, &rc).empty()) << bad;
    EXPECT_EQ(rc, -123) << bad;
    EXPECT_EQ(message(), "KELQ040E  The element name prolog in the DAD file is invalid.\n") << bad;
  }
  struct Good {
    const char *prolog, *header;
  } good[] = {
      {"?xml version=\"1.0\"?", "<?xml version=\"1.0\"?>"},
      {"\n  ?xml version='1.1' standalone = 'yes' ?\n",
       "<?xml version='1.1' standalone = 'yes' ?>"},
      {"?xml version=\"1.1\" encoding=\"EBCDIC\"?", "<?xml version=\"1.1\" encoding=\"UTF-8\"?>"},
      {"?xml version=\"1.0\" encoding='ISO-8859-1' standalone=\"no\"?",
       "<?xml version=\"1.0\" encoding='UTF-8' standalone=\"no\"?>"},
  };
  for (const Good &g : good) {
    int rc = 0;
    EXPECT_EQ(prolog(g.prolog, &rc), g.header) << g.prolog;
    EXPECT_EQ(rc, 0) << msg;
  }
}

TEST_F(Serialise, TagWritersNeverDropATag) {
  std::string tag;
  EXPECT_EQ(writeXMLStartTag(&tag, 4, "Part", true), 10);
  EXPECT_EQ(tag, "\n    <Part");
  EXPECT_EQ(writeXMLStartTag(&tag, 0, "Order", false), 6);
  EXPECT_EQ(tag, "<Order");
  EXPECT_EQ(writeXMLEndTag(&tag, 2, "Part", true, false), 10);
  EXPECT_EQ(tag, "\n  </Part>");
  EXPECT_EQ(writeXMLEndTag(&tag, 0, "Name", false, true), 8);
  EXPECT_EQ(tag, "></Name>");
  // Names and indentation far beyond 1024 bytes are written whole.
  std::string name(3000, 'n');
  EXPECT_EQ(writeXMLStartTag(&tag, 2000, name.c_str(), true), 5002);
  EXPECT_EQ(tag, "\n" + std::string(2000, ' ') + "<" + name);
  EXPECT_EQ(writeXMLEndTag(&tag, 2000, name.c_str(), true, true), 5005);
}

TEST_F(Serialise, ElementsAttributesAndEscaping) {
  EXPECT_EQ(xml("<a x=\"1 &amp; 2\" y='say \"hi\"'/>"), "<a x=\"1 &amp; 2\" y=\"say &quot;hi&quot;\"></a>");
  EXPECT_EQ(xml("<a><b/>t&lt;u&gt;v<c k=\"&lt;\">w</c></a>"), "<a><b></b>t&lt;u&gt;v<c k=\"&lt;\">w</c></a>");
  // Characters a parser would normalise are written as references.
  EXPECT_EQ(xml("<a t=\"x&#9;y&#10;z\">l1&#13;&#10;l2</a>"), "<a t=\"x&#9;y&#10;z\">l1&#13;\nl2</a>");
  // A text that grows six-fold.
  std::string quotes(5000, '"');
  std::string escaped;
  for (int i = 0; i < 5000; ++i) escaped += "&quot;";
  EXPECT_EQ(xml("<a>" + quotes + "</a>"), "<a>" + escaped + "</a>");
  EXPECT_EQ(xml("<a>\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80</a>"), "<a>\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80</a>");
}

TEST_F(Serialise, EveryKindOfChildIsWrittenAsWhatItIs) {
  const std::string doc =
      "<!DOCTYPE a [<!ENTITY co \"ACME &amp; <b>Co</b>\">]>"
      "<a><!-- note --><![CDATA[x < y && ]]]]><![CDATA[>]]><?fmt bold=yes?><?empty?>&co;</a>";
  std::string out = xml(doc);
  keltest::expectGolden("compose", "children.xml", out + "\n");
  EXPECT_NE(out.find("<!-- note -->"), std::string::npos);
  EXPECT_NE(out.find("<![CDATA[x < y && ]]]]><![CDATA[>]]>"), std::string::npos);
  EXPECT_NE(out.find("<?fmt bold=yes?><?empty?>"), std::string::npos);
  EXPECT_NE(out.find("ACME &amp; <b>Co</b>"), std::string::npos);  // the replacement text, not an element "co"
  EXPECT_EQ(out.find("<co"), std::string::npos);
}

TEST_F(Serialise, RoundTripsAndNullNode) {
  const std::string doc = keltest::dadData("po_rdb.dad");
  std::string once = xml(doc);
  EXPECT_EQ(xml(once), once);
  char *out = reinterpret_cast<char *>(1);
  EXPECT_EQ(kelDOMtoXML(&ctx, nullptr, &out, state, msg), -14);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(msgId(), "KELA019E");
}

TEST_F(Serialise, DeepDocumentsAndBuffersThatMoveToAFile) {
  const int depth = 20000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<e>";
  for (int i = 0; i < depth; ++i) deep += "</e>";
  std::string out = xml(deep);
  EXPECT_EQ(out.size(), deep.size());

  // The same through a document buffer that passes its memory limit.
  xercesc::DOMElement *root = parse(keltest::dadData("po_rdb.dad"));
  KelDocBuffer buf{};
  int status = 0;
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 64, 256, KEL_BUF_MEMORY, &status, msg, 1), 0) << msg;
  ASSERT_EQ(kelBufAppend(&ctx, &buf, "<wrapper>"), 0);
  ASSERT_EQ(kelDOMtoXML1(&ctx, root, &buf, state, msg), 0) << msg;
  EXPECT_EQ(buf.location, KEL_BUF_FILE);
  std::string file = kelBufGetContent(&ctx, &buf);
  EXPECT_EQ(keltest::readFile(file), "<wrapper>" + xml(keltest::dadData("po_rdb.dad")));
  EXPECT_EQ(kelBufRelease(&ctx, &buf), 0);
}

}  // namespace
