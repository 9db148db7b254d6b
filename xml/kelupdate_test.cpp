// The update engine: what it writes back (prolog, markup, escaping), which occurrences it
// changes, size limits, files and every failure it reports.
#include "kelupdate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "kelSgDoc.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelextract.h"
#include "kelmsg.h"
#include "kelvalidate.h"
#include "sqlenv.h"

namespace {

class Update : public keltest::CallContextTest {
 protected:
  // The updated document, or "ERROR <state>".
  std::string update(const std::string &doc, const std::string &path, const std::string &value,
                     int32_t limit = 32672) {
    char *result = nullptr;
    msg[0] = '\0';
    int rc = kelUpdateFromBuf(&ctx, doc.c_str(), path.c_str(), value.c_str(), &result, limit, state,
                              msg);
    if (rc < 0) {
      EXPECT_EQ(result, nullptr);
      EXPECT_STRNE(state, "00000");
      return std::string("ERROR ") + state;
    }
    EXPECT_STREQ(state, "00000");
    std::string out = result;
    std::free(result);
    return out;
  }

  // The values a path extracts, joined by "|", or "ERROR <state>".
  std::string extract(const std::string &doc, const std::string &path) {
    KelExtractResult result{};
    if (extractAll(&ctx, doc.c_str(), nullptr, 1, 1, 0, path.c_str(), &result, 32672, state, msg) <
        0)
      return std::string("ERROR ") + state;
    std::string out;
    for (char **p = result.items; *p; ++p)
      out += std::string(out.empty() && p == result.items ? "" : "|") + *p;
    kelFreeExtractResult(&result);
    return out;
  }
};

TEST_F(Update, TextContentOfEverySelectedElementIsReplaced) {
  EXPECT_EQ(update("<a><b>1</b><b>2</b></a>", "/a/b", "x<y"), "<a><b>x&lt;y</b><b>x&lt;y</b></a>");
  // Mixed content: child elements keep their tags and lose their text.
  EXPECT_EQ(update("<a><b>t<c>u</c>v</b></a>", "/a/b", "n"), "<a><b>n<c></c></b></a>");
  // Predicates and "//" select as in extraction.
  EXPECT_EQ(update("<a><b k=\"1\">x</b><b k=\"2\">y</b></a>", "/a/b[@k=\"2\"]", "z"),
            "<a><b k=\"1\">x</b><b k=\"2\">z</b></a>");
  EXPECT_EQ(update("<r><s><p>1</p></s><p>2</p></r>", "//p", "0"), "<r><s><p>0</p></s><p>0</p></r>");
  // An empty element gets the value; an empty value empties the element.
  EXPECT_EQ(update("<a><b/></a>", "/a/b", "v"), "<a><b>v</b></a>");
  EXPECT_EQ(update("<a><b>old</b></a>", "/a/b", ""), "<a><b></b></a>");
}

TEST_F(Update, AttributesOfSelectedElements) {
  EXPECT_EQ(update("<a k=\"1\" j=\"2\"/>", "/a/@k", "9"), "<a k=\"9\" j=\"2\"></a>");
  // An absent attribute is not added: the document comes back re-serialised.
  EXPECT_EQ(update("<a k=\"1\" j=\"2\"/>", "/a/@m", "9"), "<a k=\"1\" j=\"2\"></a>");
  EXPECT_EQ(update("<a><b k=\"1\"/><c k=\"1\"/><b k=\"3\"/></a>", "/a/b/@k", "\"&'"),
            "<a><b k=\"&quot;&amp;&apos;\"></b><c k=\"1\"></c><b k=\"&quot;&amp;&apos;\"></b></a>");
  // "*" names only an attribute literally called so: nothing changes.
  EXPECT_EQ(update("<a p=\"1\" q=\"2\"/>", "/a/@*", "x"), "<a p=\"1\" q=\"2\"></a>");
}

// Nested occurrences in attribute mode: once an element was selected, the literal algorithm
// stopped evaluating its descendants, so the inner b kept k="2".
TEST_F(Update, AttributeModeUpdatesNestedOccurrences) {
  EXPECT_EQ(update("<b k=\"1\"><b k=\"2\"/></b>", "//b/@k", "x"), "<b k=\"x\"><b k=\"x\"></b></b>");
  EXPECT_EQ(update("<r><b k=\"1\"><c><b k=\"2\"><b k=\"3\"/></b></c></b></r>", "/r//b/@k", "0"),
            "<r><b k=\"0\"><c><b k=\"0\"><b k=\"0\"></b></b></c></b></r>");
}

TEST_F(Update, PrologIsWrittenBack) {
  EXPECT_EQ(update("<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE a SYSTEM \"a.dtd\"><a/>",
                   "/a/b", "v"),
            "<?xml version='1.0' encoding='UTF-8'?><!DOCTYPE a SYSTEM \"a.dtd\"><a></a>");
  EXPECT_EQ(
      update("<?xml version=\"1.0\" standalone=\"yes\"?>\n<!-- c --><?pi some "
             "data?><a><!--x--><?q?></a>",
             "/a", "v"),
      "<?xml version='1.0' standalone='yes'?><!-- c --><?pi some data?><a>v<!--x--><?q ?></a>");
  // The parser takes a version with a quote in it as it is; written in single quotes it ended
  // the declaration early and the document no longer parsed.
  EXPECT_EQ(update("<?xml version=\"1.'0\"?><a/>", "/a", "v"), "<?xml version=\"1.'0\"?><a>v</a>");
  EXPECT_EQ(update("<!DOCTYPE a PUBLIC \"-//P//x\" \"p.dtd\"><a/>", "/a", "v"),
            "<!DOCTYPE a PUBLIC \"-//P//x\" \"p.dtd\"><a>v</a>");
  // An empty system id is an id: dropped with the public id, the document no longer named a
  // DTD, and one valid against the DTD given was no longer after an update.
  EXPECT_EQ(update("<!DOCTYPE a SYSTEM \"\"><a/>", "/a", "v"), "<!DOCTYPE a SYSTEM \"\"><a>v</a>");
  EXPECT_EQ(update("<!DOCTYPE a PUBLIC \"-//P//x\" \"\"><a/>", "/a", "v"),
            "<!DOCTYPE a PUBLIC \"-//P//x\" \"\"><a>v</a>");
  // The internal subset is written back; references to its general entities arrive expanded.
  EXPECT_EQ(update("<!DOCTYPE a [<!ENTITY e \"E&amp;\">]><a>&e;</a>", "/x", "v"),
            "<!DOCTYPE a [<!ENTITY e \"E&#38;amp;\">]><a>E&amp;</a>");
}

// The internal subset was dropped: "<!DOCTYPE a [<!ELEMENT a (b)>...]>" came back as
// "<!DOCTYPE a>", so a document valid against its own DTD was invalid after the update and a
// column whose trigger validates refused every update of such a row; later such a document
// was refused (KELD000E).  The subset is written back: the document is updated, stays valid
// and changes only in the value.
TEST_F(Update, TheInternalSubsetIsWrittenBack) {
  const std::string subset =
      "<!DOCTYPE order [<!ELEMENT order (item+,note?)><!ELEMENT item (#PCDATA)><!ELEMENT note ANY>"
      "<!ELEMENT b (#PCDATA)><!ATTLIST order status (open|shipped) \"open\" id ID #REQUIRED>"
      "<!ATTLIST item qty CDATA #FIXED \"1\" pic ENTITY #IMPLIED ref CDATA \"a&lt;&quot;&#9;\">"
      "<!NOTATION gif SYSTEM \"image/gif\"><!NOTATION png PUBLIC \"-//P//png\">"
      "<!ENTITY logo SYSTEM \"logo.gif\" NDATA gif><!ENTITY co \"&#38;#169; &#37;&#34;'\">"
      "<!ENTITY sig \"<b>x</b>\"><!--the order--><!ENTITY % pe \"&#38;co;\">"
      "<!ENTITY ext PUBLIC \"-//P//ext\" 'e\"x.xml'>]>";
  const std::string doc = subset + "<order id=\"o7\"><item pic=\"logo\">pen</item><note>n</note></order>";
  ASSERT_EQ(kelValidate(&ctx, doc.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 1) << msg;
  // Attributes given by default (status, qty, ref) are not written: the lists give them again.
  const std::string once = update(doc, "/order/item", "ink");
  EXPECT_EQ(once, subset + "<order id=\"o7\"><item pic=\"logo\">ink</item><note>n</note></order>");
  EXPECT_EQ(kelValidate(&ctx, once.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 1) << msg;
  EXPECT_EQ(update(once, "/order/item", "ink"), once);
  EXPECT_EQ(extract(once, "/order/item/@ref"), extract(doc, "/order/item/@ref"));
  // A default the path selects takes the value and is written; the others stay unwritten.
  const std::string shipped = update(doc, "/order/@status", "shipped");
  EXPECT_EQ(shipped, subset + "<order id=\"o7\" status=\"shipped\"><item pic=\"logo\">pen</item><note>n</note></order>");
  EXPECT_EQ(kelValidate(&ctx, shipped.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 1) << msg;
  // References arrive expanded: an entity holding markup comes back as the same elements, one
  // holding '&', '%' and quotes as the same text.
  const std::string refs = subset + "<order id=\"o7\"><item>&co;</item><note>&sig;</note></order>";
  const std::string out = update(refs, "/order/@id", "o8");
  EXPECT_EQ(out, subset + "<order id=\"o8\"><item>\xC2\xA9 %&quot;&apos;</item><note><b>x</b></note></order>");
  EXPECT_EQ(kelValidate(&ctx, out.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 1) << msg;
  EXPECT_EQ(extract(out, "/order/item"), extract(refs, "/order/item"));
}

// The reader reports the declarations a parameter entity brings in, not the reference: each
// is written once, as the expansion, beside the entity's declaration.  Attribute lists of one
// element in a row are written as one; comments of the subset stay inside it, and an empty
// subset is no subset.
TEST_F(Update, DeclarationsOfTheSubsetAreWrittenOnce) {
  EXPECT_EQ(update("<!DOCTYPE a [<!ENTITY % m \"<!ELEMENT a (b)*><!ATTLIST a k CDATA #IMPLIED>\">%m;"
                   "<!ATTLIST a j NMTOKENS '  p   q '><!ELEMENT b EMPTY>]><a><b/></a>",
                   "/a/b", "2"),
            "<!DOCTYPE a [<!ENTITY % m \"<!ELEMENT a (b)*><!ATTLIST a k CDATA #IMPLIED>\">"
            "<!ELEMENT a (b)*><!ATTLIST a k CDATA #IMPLIED j NMTOKENS \"p q\"><!ELEMENT b EMPTY>]>"
            "<a><b>2</b></a>")
      << msg;
  EXPECT_EQ(update("<!DOCTYPE a [<!ENTITY e \"1\"><!ENTITY x SYSTEM \"x.xml\"><!--c-->]><a><b>&e;</b></a>",
                   "/a/b", "2"),
            "<!DOCTYPE a [<!ENTITY e \"1\"><!ENTITY x SYSTEM \"x.xml\"><!--c-->]><a><b>2</b></a>");
  EXPECT_EQ(update("<!DOCTYPE a SYSTEM \"a.dtd\" []><!--after--><a><b>1</b></a>", "/a/b", "2"),
            "<!DOCTYPE a SYSTEM \"a.dtd\"><!--after--><a><b>2</b></a>");
  // Nothing of one document's subset reaches the next.
  EXPECT_EQ(update("<!DOCTYPE a SYSTEM \"a.dtd\"><a><b>1</b></a>", "/a/b", "2"),
            "<!DOCTYPE a SYSTEM \"a.dtd\"><a><b>2</b></a>");
  EXPECT_EQ(update("<a k=\"1\"><b>1</b></a>", "/a/b", "2"), "<a k=\"1\"><b>2</b></a>");
}

// XML lets a DTD declare an attribute again: the first declaration binds, later ones are
// ignored.  The parser's warning of it ended the update (KELQ047E "attribute 'k' has already
// been declared", 38X13) of a document validation accepts.  The update goes on, the later
// declaration is written back as written after the first, so the first still binds; other
// warnings still end it.
TEST_F(Update, AnAttributeDeclaredAgainIsWrittenBackAfterTheFirst) {
  const std::string twice =
      "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA \"2\"><!ATTLIST a k CDATA \"1\">]><a/>";
  const std::string out = update(twice, "/a", "v");
  EXPECT_EQ(out,
            "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA \"2\" k CDATA \"1\">]><a>v</a>")
      << msg;
  EXPECT_EQ(extract(out, "/a/@k"), "2");
  EXPECT_EQ(extract(twice, "/a/@k"), "2");
  EXPECT_EQ(
      update(twice, "/a/@k", "3"),
      "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA \"2\" k CDATA \"1\">]><a k=\"3\"></a>");
  // Type, mode and default as the later declaration has them, in a list of its own after
  // another element's, and in the same list as the first; the document stays valid.
  const std::string subset =
      "<!DOCTYPE a [<!ELEMENT a (b)><!ELEMENT b EMPTY><!ATTLIST a k CDATA #IMPLIED>"
      "<!ATTLIST b j NMTOKEN \"t\"><!ATTLIST a k (x|y) #REQUIRED m NOTATION (n) #IMPLIED>"
      "<!ATTLIST b j CDATA #FIXED \"f\" j ID #IMPLIED><!NOTATION n SYSTEM \"n\">]>";
  const std::string doc = subset + "<a><b/></a>";
  ASSERT_EQ(kelValidate(&ctx, doc.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT), 1)
      << msg;
  const std::string written = update(doc, "/a/b", "");
  EXPECT_EQ(written, subset + "<a><b></b></a>") << msg;
  EXPECT_EQ(kelValidate(&ctx, written.c_str(), 1, 1, nullptr, 0, nullptr, state, msg, KEL_DTD_TEXT),
            1)
      << msg;
  EXPECT_EQ(extract(written, "/a/b/@j"), "t");
  // A notation declared again is a warning of its own: the parser drops the later declaration,
  // which could not be written back, so the update still ends there.
  EXPECT_EQ(
      update("<!DOCTYPE a [<!NOTATION n SYSTEM \"x\"><!NOTATION n SYSTEM \"y\">]><a/>", "/a", "v"),
      "ERROR 38X13");
  EXPECT_NE(std::string(msg).find("notation 'n' has already been declared"), std::string::npos)
      << msg;
}

// A system literal holding a double quote was written in double quotes: the output was not
// well-formed.
TEST_F(Update, SystemLiteralWithDoubleQuoteIsWrittenInSingleQuotes) {
  std::string out = update("<!DOCTYPE a SYSTEM 'x\"y.dtd'><a/>", "/a", "v");
  EXPECT_EQ(out, "<!DOCTYPE a SYSTEM 'x\"y.dtd'><a>v</a>");
  EXPECT_EQ(extract(out, "/a"), "v");
}

TEST_F(Update, CdataAndReferencesComeBackEscaped) {
  EXPECT_EQ(update("<a><![CDATA[<x>]]></a>", "/b", "v"), "<a>&lt;x&gt;</a>");
  EXPECT_EQ(update("<a k=\"&lt;&#65;\">&#x263A;&amp;</a>", "/b", "v"),
            "<a k=\"&lt;A\">\xE2\x98\xBA&amp;</a>");
  // Non-ASCII text in the document and in the value.
  EXPECT_EQ(update("<a><b>caf\xC3\xA9</b></a>", "/a/b", "\xC3\xBC\xC3\xA9"),
            "<a><b>\xC3\xBC\xC3\xA9</b></a>");
}

// The external DTD reads as empty: a reference to an entity only it could declare was dropped
// without a word, in text and in attribute values, and the document written back had lost it.
// Such a reference now ends the update; the internal subset's entities still arrive expanded.
TEST_F(Update, ReferencesToEntitiesOfTheUnreadDtdAreRefused) {
  for (const char *doc : {"<!DOCTYPE a SYSTEM \"e.dtd\"><a><b>&co; 2005</b><c>x</c></a>",
                          "<!DOCTYPE a PUBLIC \"p\" \"e.dtd\"><a k=\"&co;\"><c>x</c></a>",
                          "<!DOCTYPE a SYSTEM \"e.dtd\" [<!ENTITY % p \"\">%p;]><a><c>&co;</c></a>"}) {
    EXPECT_EQ(update(doc, "/a/c", "y"), "ERROR 38X13") << doc;
    EXPECT_NE(std::string(msg).find("entity 'co' not found"), std::string::npos) << msg;
  }
  EXPECT_EQ(update("<!DOCTYPE a SYSTEM \"e.dtd\" [<!ENTITY co \"(c)\">]><a><b>&co;&amp;</b><c>x</c></a>", "/a/c", "y"),
            "<!DOCTYPE a SYSTEM \"e.dtd\" [<!ENTITY co \"(c)\">]><a><b>(c)&amp;</b><c>y</c></a>");
  EXPECT_EQ(update("<!DOCTYPE a SYSTEM \"e.dtd\"><a k=\"v\"><c>x</c></a>", "/a/c", "y"),
            "<!DOCTYPE a SYSTEM \"e.dtd\"><a k=\"v\"><c>y</c></a>");
  // The next document without a DOCTYPE is read as before.
  EXPECT_EQ(update("<a><c>x</c></a>", "/a/c", "y"), "<a><c>y</c></a>");
}

// TAB, LF and CR in an attribute value were written as they are; the next parse normalised them
// to blanks, so the value changed.  A CR in text turned into a line end.
TEST_F(Update, WhitespaceInAttributeValuesSurvivesTheNextParse) {
  std::string out = update("<a k=\"x&#9;y&#10;z&#13;\">p&#13;q</a>", "/b", "v");
  EXPECT_EQ(out, "<a k=\"x&#9;y&#10;z&#13;\">p&#13;q</a>");
  EXPECT_EQ(extract(out, "/a/@k"), "x\ty\nz\r");
  EXPECT_EQ(extract(out, "/a"), "p\rq");
  out = update("<a k=\"1\"/>", "/a/@k", "t\tn\n");
  EXPECT_EQ(out, "<a k=\"t&#9;n&#10;\"></a>");
  EXPECT_EQ(extract(out, "/a/@k"), "t\tn\n");
}

// In an XML 1.1 document control characters may stand only as references, and NEL and
// U+2028 are read as line ends: written as they are, they broke or changed the document.
TEST_F(Update, Xml11ControlsAndLineEndsComeBackAsReferences) {
  const std::string doc = "<?xml version=\"1.1\"?><a k=\"&#x85;\">&#1;&#x85;&#x2028;&#x9F;</a>";
  std::string out = update(doc, "/b", "v");
  EXPECT_EQ(out, "<?xml version='1.1'?><a k=\"&#133;\">&#1;&#133;&#8232;&#159;</a>");
  EXPECT_EQ(extract(out, "/a"), extract(doc, "/a"));
  EXPECT_EQ(extract(out, "/a/@k"), extract(doc, "/a/@k"));
}

// A value holding a character the document's XML version does not allow (U+0001 in XML 1.0,
// U+FFFE in any version) was written as a reference or as it is: the update reported success
// with a document that no longer parses.
TEST_F(Update, ValueTheDocumentCannotHoldIsRefused) {
  EXPECT_EQ(update("<a><b>1</b></a>", "/a/b", "x\x01y"), "ERROR 38X14");
  EXPECT_STREQ(msg, "KELD000E  An invalid XML document is rejected.\n");
  EXPECT_EQ(update("<a b=\"1\"/>", "/a/@b", "x\x1Fy"), "ERROR 38X14");
  EXPECT_EQ(update("<a><b>1</b></a>", "/a/b", "x\xEF\xBF\xBEy"), "ERROR 38X14");
  EXPECT_EQ(update("<?xml version=\"1.1\"?><a><b>1</b></a>", "/a/b", "x\xEF\xBF\xBFy"),
            "ERROR 38X14");
  // XML 1.1 holds control characters as references; the result parses and reads back.
  std::string out = update("<?xml version=\"1.1\"?><a><b>1</b></a>", "/a/b", "x\x01y");
  EXPECT_EQ(out, "<?xml version='1.1'?><a><b>x&#1;y</b></a>");
  EXPECT_EQ(extract(out, "/a/b"), "x\x01y");
  // Characters outside the basic plane are allowed; nothing is refused when nothing is written.
  EXPECT_EQ(update("<a><b>1</b></a>", "/a/b", "\xF0\x9F\x98\x80"),
            "<a><b>\xF0\x9F\x98\x80</b></a>");
  EXPECT_EQ(update("<a><b>1</b></a>", "/a/c", "x\x01y"), "<a><b>1</b></a>");
  EXPECT_EQ(update("<a b=\"1\"/>", "/a/@c", "x\x01y"), "<a b=\"1\"></a>");
}

TEST_F(Update, NothingSelectedKeepsEveryExtraction) {
  const std::string doc =
      "<?xml version=\"1.0\"?><!DOCTYPE o [<!ENTITY n \"N\">]><o id=\"7\"><i k=\"a&amp;b\">x &n; "
      "<![CDATA[<&>]]></i><i><p>1</p><!-- c --></i></o>";
  std::string out = update(doc, "/o/none", "v");
  for (const char *path : {"/o/i", "//p", "/o/@id", "//i/@k", "/o/i/p"})
    EXPECT_EQ(extract(out, path), extract(doc, path)) << path;
}

// A result over the size limit was reported as success with an empty result.
TEST_F(Update, ResultOverTheLimitIsAnError) {
  std::string doc = "<a>" + std::string(32664, 'x') + "</a>";  // 32671 bytes
  EXPECT_EQ(update(doc, "/b", "v").size(), 32671u);
  EXPECT_EQ(update(doc, "/a", std::string(32665, 'y')), "ERROR 38X39");
  EXPECT_STREQ(
      msg,
      "KELC013E  The results of the extract UDF exceed the size limit for the UDF return type.\n");
  // Far over the limit: the output is dropped while the parse runs on.
  EXPECT_EQ(update("<a>" + std::string(200000, 'x') + "</a>", "/b", "v", 100), "ERROR 38X39");
}

TEST_F(Update, FailuresAreReported) {
  EXPECT_EQ(update("<a><b>1</a>", "/a/b", "v"), "ERROR 38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  EXPECT_EQ(update("", "/a", "v"), "ERROR 38X13");
  EXPECT_EQ(update("<a/>", "a/b", "v"), "ERROR 38X09");
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 1 in the search path.\n");
  EXPECT_EQ(update("<a/>", "/a/b[@c=x]", "v"), "ERROR 38X09");
  // Invalid bytes in the value become substitution characters, as in every conversion.
  EXPECT_EQ(update("<a/>", "/a", "\xFF"), "<a>\xEF\xBF\xBD</a>");
  // An external entity outside the readable directories is refused.
  EXPECT_EQ(update("<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/hostname\">]><a>&x;</a>", "/a", "v"),
            "ERROR 38X13");
}

// A database code page without an encoding name ended the update without a message.
TEST_F(Update, EncodingNameFailureReportsMessageAndState) {
  KelCodePages *cp = ctx.codePages;
  KelCodePages saved = *cp;
  cp->dbCodePage = 64000;  // no name in the table, and no converter to ask
  cp->dbConverter = nullptr;
  char *result = nullptr;
  int rc = kelUpdate(&ctx, "<a/>", 1, 1, u"/a", u"v", &result, 100, state, msg);
  std::string first = std::string(state) + " " + std::string(msg).substr(0, 8);
  // Without a converter neither path nor value can be converted.
  std::string got = update("<a/>", "/a", "v");
  *cp = saved;
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(first, "38X38 KELG008E");
  EXPECT_EQ(got, "ERROR 38X09");
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position -1 in the search path.\n");
}

TEST_F(Update, EngineKeepsNothingOfTheLastDocument) {
  KelUpdater updater(&ctx);
  std::string out;
  ASSERT_EQ(
      updater.updateText("<a><b>1</b></a>", 15, 1, 1, "/a/b", "x", false, &out, 100, state, msg),
      0);
  EXPECT_EQ(out, "<a><b>x</b></a>");
  // A failed parse in between leaves nothing for the next document.
  EXPECT_EQ(updater.updateText("<a><b>", 6, 1, 1, "/a/b", "x", false, &out, 100, state, msg), -1);
  EXPECT_TRUE(out.empty());
  ASSERT_EQ(updater.updateText("<a><b k=\"1\"/></a>", 17, 1, 1, "/a/b/@k", "y", false, &out, 100,
                               state, msg),
            0);
  EXPECT_EQ(out, "<a><b k=\"y\"></b></a>");
  ASSERT_EQ(updater.updateText("<a><b k=\"1\"/></a>", 17, 1, 1, "/a/b/@k", "z", false, &out, 100,
                               state, msg),
            0);
  EXPECT_EQ(out, "<a><b k=\"z\"></b></a>");
  // Nor the XML 1.1 rules of the last document: an XML 1.0 document with a control character
  // reference is refused after one.
  const std::string v11 = "<?xml version=\"1.1\"?><a><b>&#1;</b></a>";
  ASSERT_EQ(updater.updateText(v11.data(), v11.size(), 1, 1, "/a/b", "x", false, &out, 100, state, msg), 0);
  const std::string v10 = "<a><b>&#5;</b></a>";
  EXPECT_EQ(updater.updateText(v10.data(), v10.size(), 1, 1, "/a/b", "x", false, &out, 100, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
}

// A zero byte in the value or the path cut it there silently: the value "New\0</b>" wrote
// "New", and the path "/a/b\0/c" changed b.  Every byte given is read, and the zero is refused.
TEST_F(Update, AZeroByteInTheValueOrPathIsRefusedNotCut) {
  KelUpdater updater(&ctx);
  std::string out;
  const std::string doc = "<a><b>old</b><c>keep</c></a>";
  const std::string value("New\0</b>", 8);
  EXPECT_EQ(updater.updateText(doc.data(), doc.size(), 1, 1, "/a/b", value, false, &out, 1000, state, msg), -1);
  EXPECT_STREQ(state, "38X14");
  EXPECT_STREQ(msg, "KELD000E  An invalid XML document is rejected.\n");
  EXPECT_TRUE(out.empty());
  const std::string path("/a/b\0/c", 7);
  EXPECT_EQ(updater.updateText(doc.data(), doc.size(), 1, 1, path, "v", false, &out, 1000, state, msg), -1);
  EXPECT_STREQ(state, "38X09");
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 4 in the search path.\n");
  // The converted forms kept from row to row are those of the whole bytes: the same texts
  // without their zero byte and tail are different arguments and update as before.
  ASSERT_EQ(updater.updateText(doc.data(), doc.size(), 1, 1, "/a/b", "New", false, &out, 1000, state, msg), 0);
  EXPECT_EQ(out, "<a><b>New</b><c>keep</c></a>");
  EXPECT_EQ(updater.updateText(doc.data(), doc.size(), 1, 1, "/a/b", value, false, &out, 1000, state, msg), -1);
  // The buffer entry reads its arguments the same way.
  EXPECT_EQ(updater.updateBuffer(doc.data(), doc.size(), "/a/b", value, &out, 1000, state, msg), -1);
  EXPECT_STREQ(state, "38X14");
  EXPECT_EQ(updater.updateBuffer(doc.data(), doc.size(), path, "v", &out, 1000, state, msg), -1);
  EXPECT_STREQ(state, "38X09");
}

class UpdateFile : public Update {
 protected:
  void SetUp() override {
    Update::SetUp();
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  }
};

TEST_F(UpdateFile, FileDocumentsAreReadInTheirOwnEncoding) {
  std::string f = dir.file("latin.xml");
  keltest::writeFile(f, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>");
  KelUpdater updater(&ctx);
  std::string out;
  ASSERT_EQ(updater.updateText(f.c_str(), 0, KEL_DOC_SERVER_FILE, 0, "/b", "v", true, &out, 1000,
                               state, msg),
            0)
      << msg;
  // The bytes are the database's (UTF-8), and the declaration says so.
  EXPECT_EQ(out, "<?xml version='1.0' encoding='UTF-8'?><a>caf\xC3\xA9</a>");
  // Without a declaration a UTF-8 document needs none.
  keltest::writeFile(f, "<a>\xC3\xA9</a>");
  ASSERT_EQ(updater.updateText(f.c_str(), 0, KEL_DOC_SERVER_FILE, 0, "/a", "x", true, &out, 1000,
                               state, msg),
            0);
  EXPECT_EQ(out, "<a>x</a>");
  // A file outside the readable directories is refused; a missing one is not found.
  EXPECT_EQ(updater.updateText("/etc/hostname", 0, KEL_DOC_SERVER_FILE, 0, "/a", "x", true, &out,
                               1000, state, msg),
            -1);
  EXPECT_STREQ(state, "38X02");
  EXPECT_EQ(updater.updateText(dir.file("none.xml").c_str(), 0, KEL_DOC_SERVER_FILE, 0, "/a", "x",
                               true, &out, 1000, state, msg),
            -1);
  EXPECT_STREQ(state, "38X01");
}

TEST_F(UpdateFile, LongTextIsParsedFromATemporaryFileThatIsRemoved) {
  namespace fs = std::filesystem;
  fs::path temp = dir.path() / "tmp";
  fs::create_directories(temp);
  std::free(ctx.tempDir);
  ctx.tempDir = strdup(temp.c_str());
  std::string doc = "<a><b>1</b>" + std::string(200000, ' ') + "</a>";
  ASSERT_GT(static_cast<int64_t>(doc.size()), ctx.fileThreshold);
  std::string out = update(doc, "/a/b", "2", 300000);
  EXPECT_EQ(out, "<a><b>2</b>" + std::string(200000, ' ') + "</a>");
  EXPECT_TRUE(fs::is_empty(temp));
  EXPECT_EQ(update("<a><b>" + std::string(200000, ' '), "/a/b", "2", 300000), "ERROR 38X13");
  EXPECT_TRUE(fs::is_empty(temp));
  // A temporary directory that cannot take the file is said so: it was "out of memory".
  std::free(ctx.tempDir);
  ctx.tempDir = strdup((temp / "missing").c_str());
  EXPECT_EQ(update(doc, "/a/b", "2", 300000), "ERROR 38X03");
  EXPECT_STREQ(msg, "KELC012E  Cannot create temporary file.\n");
}

TEST_F(Update, Utf16PathAndValue) {
  char *result = nullptr;
  ASSERT_EQ(kelUpdate(&ctx, "<a><b>1</b></a>", 1, 1, u"/a/b", u"\u00e9", &result, 100, state, msg),
            0)
      << msg;
  EXPECT_STREQ(result, "<a><b>\xC3\xA9</b></a>");
  std::free(result);
  EXPECT_EQ(kelUpdate(&ctx, "<a/>", 1, 1, u"/a/1b", u"x", &result, 100, state, msg), -1);
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 3 in the search path.\n");
  EXPECT_EQ(result, nullptr);
}

// The declarations of an external parameter entity were written in place of its reference: the
// file's text, comments included, was copied into the document, which no longer followed the
// file.  A subset declaring one is refused; the document is not changed.
TEST_F(UpdateFile, AnExternalParameterEntityOfTheSubsetIsRefused) {
  const std::string module = dir.file("mod.ent");
  keltest::writeFile(module, "<!-- module --><!ELEMENT b ANY><!ENTITY modent \"M\">");
  EXPECT_EQ(update("<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY % m SYSTEM \"" + module + "\">%m;]><a><b/></a>", "/a/b",
                   "2"),
            "ERROR 38X14");
  // An internal one is written back with its expansion.
  EXPECT_EQ(update("<!DOCTYPE a [<!ENTITY % m \"<!ELEMENT a ANY>\">%m;]><a/>", "/a", "2"),
            "<!DOCTYPE a [<!ENTITY % m \"<!ELEMENT a ANY>\"><!ELEMENT a ANY>]><a>2</a>");
}

// The text of an external general entity was written in place of its reference: the file's
// text was copied into the document, which no longer followed the file, and an element the path
// did not select changed.  A document that references one, directly or through an internal
// entity, is refused (KELD000E, 38X14) and nothing is written; one that only declares it is
// written back with the declaration.
TEST_F(UpdateFile, AReferenceToAnExternalGeneralEntityIsRefused) {
  keltest::writeFile(dir.file("e.ent"), "TARGETDIR\n");
  const std::string file = dir.file("doc.xml");
  keltest::writeFile(file, "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.ent\">]><a><b>&e;</b><c>1</c></a>");
  KelUpdater updater(&ctx);
  std::string out = "old";
  EXPECT_EQ(updater.updateText(file.c_str(), 0, KEL_DOC_SERVER_FILE, 0, "/a/c", "2", true, &out,
                               1000, state, msg),
            -1);
  EXPECT_STREQ(state, "38X14");
  EXPECT_STREQ(msg, "KELD000E  An invalid XML document is rejected.\n");
  EXPECT_TRUE(out.empty());
  const std::string declared =
      "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + dir.file("e.ent") + "\"><!ENTITY i \"(&#38;x;)\">]>";
  for (const char *content : {"<a><b>&x;</b><c>1</c></a>", "<a><b>&i;</b><c>1</c></a>"})
    EXPECT_EQ(update(declared + content, "/a/c", "2"), "ERROR 38X14") << content;
  // A reference in an attribute value is the parser's error, as before.
  EXPECT_EQ(update(declared + "<a k=\"&x;\"><c>1</c></a>", "/a/c", "2"), "ERROR 38X13");
  EXPECT_NE(std::string(msg).find("external entity cannot be referred to from attribute value"),
            std::string::npos);
  // Declared and never referenced: written back unchanged but for the value.
  EXPECT_EQ(update(declared + "<a><b>&amp;</b><c>1</c></a>", "/a/c", "2"),
            "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + dir.file("e.ent") +
                "\"><!ENTITY i \"(&#38;x;)\">]><a><b>&amp;</b><c>2</c></a>");
  keltest::writeFile(file, "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.ent\">]><a><b/><c>1</c></a>");
  ASSERT_EQ(updater.updateText(file.c_str(), 0, KEL_DOC_SERVER_FILE, 0, "/a/c", "2", true, &out,
                               1000, state, msg),
            0)
      << msg;
  EXPECT_EQ(out, "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.ent\">]><a><b></b><c>2</c></a>");
}

}  // namespace
