// The extraction engine over documents in memory and in files: text, attributes, tagged
// markup, size limits, DTD substitution and every failure it reports.
#include "kelextract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "kelSgDoc.h"
#include "kelarena.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelmsg.h"
#include "sqlenv.h"

namespace {

class Extract : public keltest::CallContextTest {
 protected:
  // All items, or {"ERROR <state>"} when extractAll fails.
  std::vector<std::string> all(const std::string &doc, const std::string &path, int tagged = 0,
                               int32_t limit = 4000, const char *dtd = nullptr, int inMemory = 1) {
    KelExtractResult result{};
    msg[0] = '\0';
    int rc = extractAll(&ctx, doc.c_str(), dtd, 0, inMemory, tagged, path.c_str(), &result, limit, state, msg);
    if (rc < 0) return {std::string("ERROR ") + state};
    std::vector<std::string> out;
    for (char **p = result.items; *p; ++p) out.push_back(*p);
    EXPECT_EQ(result.cursor, result.items);
    kelFreeExtractResult(&result);
    return out;
  }

  // The one value, or "NULL <state>".
  std::string one(const std::string &doc, const std::string &path) {
    char *value = nullptr;
    msg[0] = '\0';
    int rc = extractOne(&ctx, doc.c_str(), nullptr, 0, 1, 0, path.c_str(), &value, 4000, state, msg);
    if (rc < 0) {
      EXPECT_EQ(value, nullptr);
      return std::string("NULL ") + state;
    }
    std::string s = value;
    free(value);
    return s;
  }
};

using V = std::vector<std::string>;

TEST_F(Extract, TextContentOfSelectedElements) {
  EXPECT_EQ(all("<a><b>1</b><b>2</b></a>", "/a/b"), (V{"1", "2"}));
  EXPECT_EQ(one("<a><b>1</b><b>2</b></a>", "/a/b"), "NULL 38X08");
  EXPECT_STREQ(msg, "KELD001E  /a/b occurs multiple times.\n");
  // Only the character data directly inside the element; whitespace kept.
  EXPECT_EQ(all("<a><b>x<c>y</c>z</b></a>", "/a/b"), (V{"xz"}));
  EXPECT_EQ(all("<a><b> x </b></a>", "/a/b"), (V{" x "}));
  EXPECT_EQ(one("<a><b>42</b></a>", "/a/b"), "42");
  // An empty item is NULL without a warning; no item is NULL with 01HX0.
  EXPECT_EQ(all("<a><b/></a>", "/a/b"), (V{""}));
  EXPECT_EQ(one("<a><b/></a>", "/a/b"), "NULL 00000");
  EXPECT_EQ(one("<a/>", "/a/c"), "NULL 01HX0");
  EXPECT_STREQ(msg, "KELD003W  Path not found.  Null is returned.\n");
  // Wildcards, descendants and predicates.
  const std::string order = "<order id=\"7\"><item kind=\"book\"><price>10</price></item>"
                            "<item kind=\"cd\"><price>5</price></item><x><item><price>1</price></item></x></order>";
  EXPECT_EQ(all(order, "/order/item/price"), (V{"10", "5"}));
  EXPECT_EQ(all(order, "//price"), (V{"10", "5", "1"}));
  EXPECT_EQ(all(order, "/order//item/price"), (V{"10", "5", "1"}));
  EXPECT_EQ(all(order, "/order/*/price"), (V{"10", "5"}));
  EXPECT_EQ(all(order, "/order/item[@kind=\"cd\"]/price"), (V{"5"}));
  EXPECT_EQ(all(order, "/order/item[2]/price"), (V{"10", "5"}));
  EXPECT_EQ(one(order, "/order/@id"), "7");
}

// An element selected through "//" collects the text an absolute path collects: the text
// directly inside it, also after a child element.  Once "//b" gave "x" here, losing "z".
TEST_F(Extract, DescendantPathsCollectTheTextOfAbsoluteOnes) {
  const std::string doc = "<a><b>x<c>y</c>z</b></a>";
  EXPECT_EQ(all(doc, "/a/b"), (V{"xz"}));
  EXPECT_EQ(all(doc, "//b"), (V{"xz"}));
  EXPECT_EQ(all(doc, "/a//b"), (V{"xz"}));
  EXPECT_EQ(one(doc, "//b"), "xz");
  const std::string deeper = "<r><s><b>1<c>2<d>3</d>4</c>5<e/>6</b></s><s><b>7<c/>8</b></s></r>";
  EXPECT_EQ(all(deeper, "/r/s/b"), (V{"156", "78"}));
  EXPECT_EQ(all(deeper, "//b"), (V{"156", "78"}));
  EXPECT_EQ(all(deeper, "//s/b"), (V{"156", "78"}));
  EXPECT_EQ(all(deeper, "/r//c"), (V{"24", ""}));
  EXPECT_EQ(all(deeper, "//b", 1), all(deeper, "/r/s/b", 1));
}

// A "//" part of more than 64 steps is matched by the elements' names, each element keeping how
// far the parts got: once every start tag searched the whole stack again for the part, and a
// document 20,000 elements deep took over a minute.
TEST_F(Extract, LongDescendantPartsCostTheirLengthPerElement) {
  std::string steps;
  for (int i = 0; i < 65; ++i) steps += "a/";
  auto nested = [](int depth) {
    std::string d;
    for (int i = 0; i < depth; ++i) d += "<a>";
    d += "<c><b>x</b></c>";
    for (int i = 0; i < depth; ++i) d += "</a>";
    return d;
  };
  for (const std::string &path : {"//" + steps + "c//b", "/a//" + steps + "c/b", "//" + steps + "c/b"}) {
    EXPECT_EQ(all(nested(66), path), (V{"x"})) << path;
    EXPECT_EQ(all(nested(64), path), V{}) << path;
    EXPECT_EQ(all(nested(20000), path), (V{"x"})) << path;
  }
  EXPECT_EQ(all(nested(65), "//" + steps + "c//b"), (V{"x"}));
  EXPECT_EQ(all(nested(65), "/a//" + steps + "c/b"), V{});  // the head's "a" is not the part's
}

// A selected element inside another selected one belongs to the outer item, in both modes:
// in text mode its text joins the outer element's text, wherever it lies below it.
TEST_F(Extract, NestedSelectedElementsJoinTheOuterItem) {
  EXPECT_EQ(all("<a><b>1<b>2</b></b></a>", "//b"), (V{"12"}));
  EXPECT_EQ(all("<a><b>1<b>2</b></b></a>", "//b", 1), (V{"<b>1<b>2</b></b>"}));
  const std::string doc = "<a><b>1<c>x<b>2</b>y</c>3</b><b>4</b></a>";
  EXPECT_EQ(all(doc, "//b"), (V{"123", "4"}));
  EXPECT_EQ(all(doc, "//b", 1), (V{"<b>1<c>x<b>2</b>y</c>3</b>", "<b>4</b>"}));
  // Attributes are values of their own elements.
  EXPECT_EQ(all("<a><b k=\"1\"><b k=\"2\"/></b></a>", "//b/@k"), (V{"1", "2"}));
}

// "/", "//" and "@" inside a quoted predicate value are part of the value.
TEST_F(Extract, QuotedPredicateValuesSelect) {
  const std::string doc = "<a><b u=\"http://x\" k=\"x@y\">1</b><b u=\"y\" k=\"x\">2</b></a>";
  EXPECT_EQ(all(doc, "/a/b[@u=\"http://x\"]"), (V{"1"}));
  EXPECT_EQ(all(doc, "/a/b[@k=\"x@y\"]"), (V{"1"}));
  EXPECT_EQ(all(doc, "//b[@u=\"http://x\"]/@k"), (V{"x@y"}));
  EXPECT_EQ(all(doc, "/a/b[@u=\"http://x\"]/1c"), (V{"ERROR 38X09"}));
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 20 in the search path.\n");
}

TEST_F(Extract, AttributesAreEscapedTextIsNot) {
  EXPECT_EQ(all("<a k=\"x&amp;y\">t&amp;u</a>", "/a/@k"), (V{"x&amp;y"}));
  EXPECT_EQ(all("<a k=\"x&amp;y\">t&amp;u</a>", "/a"), (V{"t&u"}));
  EXPECT_EQ(all("<a p=\"1\" q=\"2\"/>", "/a/@*"), (V{"1", "2"}));
  EXPECT_EQ(all("<a p=\"1\"><b p=\"2\"/></a>", "/a/@missing"), V{});
}

TEST_F(Extract, TaggedModeCopiesTheSelectedSubtree) {
  EXPECT_EQ(all("<a><b k=\"1\">x&lt;y<c/></b></a>", "/a/b", 1), (V{"<b k=\"1\">x&lt;y<c></c></b>"}));
  EXPECT_EQ(all("<a><b><!--n--><?pi x?>t</b><b/></a>", "/a/b", 1), (V{"<b>t</b>", "<b></b>"}));
  // With "//" the whole subtree of each selected element is copied too.
  EXPECT_EQ(all("<r><a><b>1<c>2</c></b></a><b>3</b></r>", "//b", 1), (V{"<b>1<c>2</c></b>", "<b>3</b>"}));
  EXPECT_EQ(all("<r><b><b>in</b></b></r>", "//b", 1), (V{"<b><b>in</b></b>"}));
  // A path that ends in an attribute gives the attribute's values, tagged or not: tagged, it
  // gave the element before the attribute step, also one without the attribute.
  EXPECT_EQ(all("<a><b k=\"1\">t</b></a>", "/a/b/@k", 1), (V{"1"}));
  EXPECT_EQ(all("<a><b k=\"1\">t</b></a>", "/a/b/@zz", 1), V{});
  EXPECT_EQ(all("<a><b k=\"1\"><b k=\"x&amp;y\"/></b></a>", "//b/@k", 1), (V{"1", "x&amp;y"}));
}

// The markup of a selected element wrote TAB, LF and CR of attribute values and CR of text as
// they are: parsed again, the attribute value came back with blanks and the CR as a line end,
// so the markup no longer denoted the element it was taken from.
TEST_F(Extract, TaggedMarkupReadsBackAsTheSelectedElement) {
  const std::string doc = "<a><b k=\"x&#10;y&#9;z&#13;\">p&#13;q&#9;r\ns</b></a>";
  const V markup = all(doc, "/a/b", 1);
  EXPECT_EQ(markup, (V{"<b k=\"x&#10;y&#9;z&#13;\">p&#13;q\tr\ns</b>"}));
  ASSERT_EQ(markup.size(), 1u);
  EXPECT_EQ(all(markup[0], "/b/@k"), all(doc, "/a/b/@k"));
  EXPECT_EQ(all(markup[0], "/b"), all(doc, "/a/b"));
  // XML 1.1 control characters and line ends come back as references.
  EXPECT_EQ(all("<?xml version=\"1.1\"?><a><b k=\"&#x85;\">&#1;&#x2028;</b></a>", "/a/b", 1),
            (V{"<b k=\"&#133;\">&#1;&#8232;</b>"}));
}

TEST_F(Extract, SizeLimitCountsTheTerminator) {
  std::string doc = "<a>" + std::string(3999, 'v') + "</a>";
  EXPECT_EQ(all(doc, "/a", 0, 4000).at(0).size(), 3999u);
  doc = "<a>" + std::string(4000, 'v') + "</a>";
  EXPECT_EQ(all(doc, "/a", 0, 4000), (V{"ERROR 38X39"}));
  EXPECT_STREQ(msg, "KELC013E  The results of the extract UDF exceed the size limit for the UDF return type.\n");
  // Non-ASCII text is measured in bytes of the database code page.
  doc = "<a>" + std::string(2000, '\xC3') + "</a>";
  std::string twoByte;
  for (int i = 0; i < 2000; ++i) twoByte += "\xC3\xA9";
  EXPECT_EQ(all("<a>" + twoByte + "</a>", "/a", 0, 4001).at(0).size(), 4000u);
  EXPECT_EQ(all("<a>" + twoByte + "</a>", "/a", 0, 4000), (V{"ERROR 38X39"}));
}

// In a UTF-8 database an ASCII item is copied byte for byte and any other converted; the size
// limit counts bytes either way.  Another database converts every item.
TEST_F(Extract, ItemsInTheDatabaseCodePage) {
  EXPECT_EQ(all("<a><b>x</b><b>caf\xC3\xA9</b><b>&#x10000;</b><b/><b>y</b></a>", "/a/b"),
            (V{"x", "caf\xC3\xA9", "\xF0\x90\x80\x80", "", "y"}));
  EXPECT_EQ(all("<a><b>xyz</b></a>", "/a/b", 0, 4), (V{"xyz"}));
  EXPECT_EQ(all("<a><b>xyz</b></a>", "/a/b", 0, 3), (V{"ERROR 38X39"}));
  EXPECT_EQ(std::string(msg).substr(0, 10), "KELC013E  ");
  // Each item is measured, a middle one as much as the first and the last.
  EXPECT_EQ(all("<a><b>x</b><b>wxyz</b><b>y</b></a>", "/a/b", 0, 5), (V{"x", "wxyz", "y"}));
  EXPECT_EQ(all("<a><b>x</b><b>wxyz</b><b>y</b></a>", "/a/b", 0, 4), (V{"ERROR 38X39"}));
  EXPECT_EQ(all("<a><b>\xC3\xA9</b></a>", "/a/b", 0, 3), (V{"\xC3\xA9"}));
  EXPECT_EQ(all("<a><b>\xC3\xA9</b></a>", "/a/b", 0, 2), (V{"ERROR 38X39"}));
  EXPECT_EQ(all("<a><b/></a>", "/a/b", 0, 0), (V{"ERROR 38X39"}));

  // EBCDIC (code page 37): the path and the items are in it.
  KelCallContext ebcdic{};
  KelCodePageRequest request{0, 37, nullptr};
  ASSERT_EQ(kelInit(&ebcdic, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8"), 0) << msg;
  KelExtractResult result{};
  const char *path = "\x61\x81\x61\x82";  // "/a/b"
  ASSERT_EQ(extractAll(&ebcdic, "<a><b>xy</b><b>1</b></a>", nullptr, 0, 1, 0, path, &result, 4000,
                       state, msg), 0) << msg;
  ASSERT_NE(result.items[0], nullptr);
  EXPECT_STREQ(result.items[0], "\xA7\xA8");
  ASSERT_NE(result.items[1], nullptr);
  EXPECT_STREQ(result.items[1], "\xF1");
  EXPECT_EQ(result.items[2], nullptr);
  kelFreeExtractResult(&result);
  kelTerm(&ebcdic, state);
}

TEST_F(Extract, DtdNamedByTheDocumentIsReplaced) {
  const std::string doc = "<!DOCTYPE a SYSTEM \"missing.dtd\"><a>&e;</a>";
  // Without DTD text the external DTD reads as empty: the missing file is never opened...
  EXPECT_EQ(all("<!DOCTYPE a SYSTEM \"missing.dtd\"><a>t</a>", "/a"), (V{"t"}));
  // ...and a reference to an entity only that DTD could declare is refused, in text and in
  // attribute values, also after an internal subset that uses a parameter entity.  (It gave
  // nothing, so "Smith &co; Sons" read as "Smith  Sons", where the update refused the
  // document.)
  for (const char *refers :
       {"<!DOCTYPE a SYSTEM \"missing.dtd\"><a>Smith &e; Sons</a>",
        "<!DOCTYPE a PUBLIC \"p\" \"missing.dtd\"><a k=\"&e;\">t</a>",
        "<!DOCTYPE a SYSTEM \"missing.dtd\" [<!ENTITY % p \"\">%p;]><a>&e;</a>"}) {
    EXPECT_EQ(all(refers, "/a"), (V{"ERROR 38X13"})) << refers;
    EXPECT_NE(std::string(msg).find("entity 'e' not found"), std::string::npos) << msg;
  }
  // With DTD text the entity comes from it.
  EXPECT_EQ(all(doc, "/a", 0, 4000, "<!ENTITY e \"from dtd\">"), (V{"from dtd"}));
  // Entities of the internal subset need no DTD text.
  EXPECT_EQ(all("<!DOCTYPE a [<!ENTITY e \"inner\">]><a>&e;</a>", "/a"), (V{"inner"}));
  EXPECT_EQ(all("<!DOCTYPE a SYSTEM \"missing.dtd\" [<!ENTITY e \"inner\">]><a k=\"&e;\">&e;</a>",
                "/a/@k"),
            (V{"inner"}));
  // DTD text has no place of its own: a module it names by a relative name is refused, where it
  // was read from the server's current directory (here an allowed one that holds such a file).
  const std::string allowed = dir.file("allowed");
  std::filesystem::create_directory(allowed);
  keltest::writeFile(allowed + "/mod.dtd", "<!ENTITY e \"from the current directory\">");
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, allowed.c_str()), 0);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(allowed);
  EXPECT_EQ(all(doc, "/a", 0, 4000, "<!ENTITY % m SYSTEM \"mod.dtd\">%m;"), (V{"ERROR 38X13"}));
  EXPECT_NE(std::string(msg).find("a DTD given as text has no directory"), std::string::npos) << msg;
  EXPECT_EQ(all(doc, "/a", 0, 4000, ("<!ENTITY % m SYSTEM \"" + allowed + "/mod.dtd\">%m;").c_str()),
            (V{"from the current directory"}));
  std::filesystem::current_path(before);
}

// A database value staged in a temporary file of the call is text as one in memory is: its
// relative system ids are taken against the current directory, not the temporary directory
// (a large value read another file than a small copy of it).
TEST_F(Extract, AStagedValueResolvesRelativeIdsAsText) {
  const std::string here = dir.file("here"), staged = dir.file("staged");
  std::filesystem::create_directory(here);
  std::filesystem::create_directory(staged);
  keltest::writeFile(here + "/e.txt", "current directory");
  keltest::writeFile(staged + "/e.txt", "temporary directory");
  const std::string doc = "<!DOCTYPE a [<!ENTITY e SYSTEM \"e.txt\">]><a>&e;</a>";
  keltest::writeFile(staged + "/kel1_doc", doc);
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, (here + ";" + staged).c_str()), 0);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(here);
  KelExtractor extractor(&ctx);
  for (int inMemory : {1, KEL_DOC_OWN_FILE}) {
    KelExtractResult result{};
    const std::string source = inMemory == 1 ? doc : staged + "/kel1_doc";
    ASSERT_EQ(extractor.run(source.c_str(), nullptr, 0, inMemory, 0, "/a", &result, 4000, state, msg), 0) << msg;
    ASSERT_NE(result.items, nullptr);
    EXPECT_STREQ(result.items[0], "current directory") << inMemory;
    kelFreeExtractResult(&result);
  }
  std::filesystem::current_path(before);
}

TEST_F(Extract, FailuresReportTheirMessages) {
  EXPECT_EQ(all("<a><b></a>", "/a"), (V{"ERROR 38X13"}));
  EXPECT_EQ(std::string(msg).substr(0, 31), "KELQ047E  Parser error on line ");
  EXPECT_EQ(all("", "/a"), (V{"ERROR 38X13"}));
  EXPECT_EQ(all("<a/>", "a"), (V{"ERROR 38X09"}));
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 1 in the search path.\n");
  EXPECT_EQ(all("<a/>", "/a/1b"), (V{"ERROR 38X09"}));
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 3 in the search path.\n");
  EXPECT_EQ(all(dir.file("nofile.xml"), "/a", 0, 4000, nullptr, 0), (V{"ERROR 38X01"}));
  EXPECT_STREQ(msg, "KELC001E  The specified file is not found.\n");
}

// Failures are reported with the text and place the parser's default reader gives, whatever
// reader read the document first: a repeated attribute is reported behind its value, not at
// the end of the tag.
TEST_F(Extract, ParseErrorsAreThoseOfTheDefaultReader) {
  struct Thrower : xercesc::DefaultHandler {
    void warning(const xercesc::SAXParseException &e) override { throw e; }
    void error(const xercesc::SAXParseException &e) override { throw e; }
    void fatalError(const xercesc::SAXParseException &e) override { throw e; }
  };
  auto defaultMessage = [&](const std::string &doc) {
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader();
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    KelEntityResolver resolver(&ctx, nullptr);
    kelSecureReader(*reader, &resolver);
    Thrower handler;
    reader->setContentHandler(&handler);
    reader->setErrorHandler(&handler);
    xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"x", false);
    char s[6] = "00000", m[KEL_MSG_BUFFER + 1] = "";
    kelGuardedParse(&ctx, [&] { reader->parse(src); }, s, m, KelOtherFailure::Silent);
    return std::string(m);
  };
  const std::string docs[] = {
      "<a k=\"1\" k=\"2\"></a>",
      "<a k=\"1\" k=\"2\" x=\"&u;\"/>",
      "<!DOCTYPE a [<!ATTLIST a k CDATA 'd'>]><a><b k=\"1\" j=\"\" k=\"\">t</b></a>",
      "<!DOCTYPE a [<!ATTLIST a k CDATA 'd'>]><a k='1' k='2'/>",
      "<a><b></a>",
      "<a>&u;</a>",
      "<a x=\"<\"/>",
  };
  KelExtractor extractor(&ctx);
  for (const std::string &doc : docs) {
    KelExtractResult result{};
    EXPECT_EQ(extractor.run(doc.c_str(), nullptr, 0, 1, 0, "/a", &result, 4000, state, msg), -1) << doc;
    EXPECT_STREQ(state, "38X13") << doc;
    EXPECT_EQ(msg, defaultMessage(doc)) << doc;
  }
  EXPECT_EQ(all("<a k=\"1\" k=\"2\"></a>", "/a"), (V{"ERROR 38X13"}));
  EXPECT_STREQ(msg, "KELQ047E  Parser error on line 1 column 12: attribute 'k' is already specified for element 'a' \n");
}

// XML lets a DTD declare an attribute again: the first declaration binds, later ones are
// ignored.  The parser's warning of it ended the extraction (KELQ047E "attribute 'k' has
// already been declared", 38X13) of a document validation accepts.  Every reader now goes on
// with the first declaration's default; other warnings still end the extraction.
TEST_F(Extract, AnAttributeDeclaredAgainKeepsTheFirstDeclaration) {
  const std::string twice =
      "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA \"2\"><!ATTLIST a k CDATA \"1\">]><a/>";
  EXPECT_EQ(all(twice, "/a/@k"), (V{"2"})) << msg;
  EXPECT_EQ(one("<!DOCTYPE a [<!ATTLIST a k CDATA '2' k (x|y) 'x' j CDATA '3'>]><a/>", "/a/@j"),
            "3")
      << msg;
  // Several paths in one pass.
  KelMultiExtractor many(&ctx);
  const KelPathRequest paths[] = {{"/a/@k", 0, 4000}};
  KelExtractResult result{};
  bool self = false;
  ASSERT_EQ(many.run(twice.data(), twice.size(), nullptr, 0, paths, 1, &result, &self, state, msg),
            0)
      << msg;
  ASSERT_NE(result.items[0], nullptr);
  EXPECT_STREQ(result.items[0], "2");
  kelFreeExtractResult(&result);
  // The default reader, which reads again a document the first one refuses, goes on past it
  // too: the error is the start tag's.
  EXPECT_EQ(all("<!DOCTYPE a [<!ATTLIST a k CDATA '1' k CDATA '2'>]><a j='1' j='2'/>", "/a"),
            (V{"ERROR 38X13"}));
  EXPECT_NE(std::string(msg).find("attribute 'j' is already specified"), std::string::npos) << msg;
  // A notation declared again is a warning of its own, which still ends the extraction.
  EXPECT_EQ(all("<!DOCTYPE a [<!NOTATION n SYSTEM 'x'><!NOTATION n SYSTEM 'y'>]><a>t</a>", "/a"),
            (V{"ERROR 38X13"}));
  EXPECT_NE(std::string(msg).find("notation 'n' has already been declared"), std::string::npos)
      << msg;
}

// The limit on entity expansion counts per document: a statement's documents may each use
// entities, and a document over the limit still fails.
TEST_F(Extract, ExpansionLimitHoldsPerDocument) {
  KelExtractor extractor(&ctx);
  const std::string doc = "<!DOCTYPE a [<!ENTITY e \"v\">]><a>&e;&amp;</a>";
  int ok = 0;
  for (size_t i = 0; i < KEL_ENTITY_EXPANSION_LIMIT + 10; ++i) {
    KelExtractResult result{};
    if (extractor.run(doc.c_str(), nullptr, 0, 1, 0, "/a", &result, 4000, state, msg) == 0) ++ok;
    kelFreeExtractResult(&result);
  }
  EXPECT_EQ(ok, static_cast<int>(KEL_ENTITY_EXPANSION_LIMIT + 10)) << msg;
  std::string over = "<!DOCTYPE a [<!ENTITY e \"v\">]><a>";
  for (size_t i = 0; i <= KEL_ENTITY_EXPANSION_LIMIT; ++i) over += "&e;";
  over += "</a>";
  KelExtractResult result{};
  EXPECT_EQ(extractor.run(over.c_str(), nullptr, 0, 1, 0, "/a", &result, 4000, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
}

// The readers' memory stays with the extractor between documents, except after a document
// that made it grow beyond what is kept: then it is given back and the next document is read
// by new readers.
TEST_F(Extract, MemoryOfAHugeDocumentIsGivenBack) {
  KelExtractor extractor(&ctx);
  auto count = [&](const std::string &doc, const char *path) {
    KelExtractResult result{};
    if (extractor.run(doc.c_str(), nullptr, 0, 1, 0, path, &result, 4000, state, msg) < 0) return -1;
    int n = 0;
    for (char **p = result.items; *p; ++p) ++n;
    kelFreeExtractResult(&result);
    return n;
  };
  EXPECT_EQ(count("<a><b>1</b></a>", "/a/b"), 1);
  const size_t small = extractor.arenaBytes();
  EXPECT_GT(small, 0u);
  EXPECT_EQ(count("<a><b>2</b></a>", "/a/b"), 1);
  EXPECT_EQ(extractor.arenaBytes(), small);
  // Every distinct element name costs the parser a declaration for the document.
  std::string huge = "<a>";
  const std::string longName(120, 'n');
  for (int i = 0; i < 60000; ++i) huge += "<" + longName + std::to_string(i) + "/>";
  huge += "<b>3</b></a>";
  EXPECT_EQ(count(huge, "/a/b"), 1);
  EXPECT_EQ(extractor.arenaBytes(), 0u);
  EXPECT_EQ(count("<a><b>4</b><b>5</b></a>", "/a/b"), 2);
  EXPECT_GT(extractor.arenaBytes(), 0u);
}

// The extractors of one statement (one per function use) each keep their readers' memory,
// which grows with the distinct names of the document read; together they keep at most what
// the process allows all arenas: 64 uses over one document of 70,000 names held 1.8 GB.  Small
// arenas stay kept whatever the others hold.
TEST_F(Extract, ManyExtractorsTogetherKeepBoundedMemory) {
  std::string doc = "<a>";
  for (int i = 0; i < 20000; ++i) doc += "<n" + std::to_string(i) + "/>";
  doc += "<b>3</b></a>";
  const size_t before = KelArena::heldByAll();
  std::vector<std::unique_ptr<KelExtractor>> uses;
  size_t largest = 0;
  for (int i = 0; i < 24; ++i) {
    uses.push_back(std::make_unique<KelExtractor>(&ctx));
    KelExtractResult result{};
    ASSERT_EQ(uses.back()->run(doc.c_str(), nullptr, 0, 1, 0, "/a/b", &result, 4000, state, msg), 0) << msg;
    kelFreeExtractResult(&result);
    largest = std::max(largest, uses.back()->arenaBytes());
  }
  ASSERT_GT(largest, KEL_ARENA_SMALL);  // each use's arena is one that counts against the total
  EXPECT_LE(KelArena::heldByAll() - before, KEL_ARENA_KEEP_ALL + largest);
  KelExtractor small(&ctx);
  KelExtractResult result{};
  ASSERT_EQ(small.run("<a><b>1</b></a>", nullptr, 0, 1, 0, "/a/b", &result, 4000, state, msg), 0);
  kelFreeExtractResult(&result);
  EXPECT_GT(small.arenaBytes(), 0u);
}

TEST_F(Extract, AttributesGivenByDefaultAreBoundedOnAverage) {
  // A type whose attribute list declares `defaults` attributes with the default `value`, and
  // `n` empty elements of it: each gets them all.
  auto doc = [](int defaults, const std::string &value, int n) {
    std::string d = "<!DOCTYPE r [<!ATTLIST x";
    for (int i = 0; i < defaults; ++i) d += " a" + std::to_string(i) + " CDATA '" + value + "'";
    d += ">]><r>";
    for (int i = 0; i < n; ++i) d += "<x/>";
    return d + "</r>";
  };
  // Each default weighs 64 and its one character: 1,088 of them on 1,007 elements weigh
  // 71,215,040 against the 71,237,632 the 1,008 elements read allow (64 Mi and 4,096 each); the
  // next element makes 71,285,760 against 71,241,728.
  EXPECT_EQ(all(doc(1088, "v", 1007), "/r/x/@a1087"), V(1007, "v"));
  const std::string over = doc(1088, "v", 1008);
  EXPECT_EQ(all(over, "/r/x/@a1087"), V({"ERROR 38X13"}));
  const std::string place = "KELQ047E  Parser error on line 1 column " +
                            std::to_string(over.size() - std::string("</r>").size() + 1) + ": ";
  EXPECT_EQ(std::string(msg), place + "the DTD gives the elements too many attributes by default: more than 4096 "
                                      "characters' worth (64 for each attribute and one for each character of its "
                                      "value) for each element on average \n");
  // 4,000 defaults on 20,000 elements took 4.8 seconds, one default of 100,000 characters on
  // 10,000 elements 1.2 seconds; 60 short ones on every element pass however many.
  EXPECT_EQ(all(doc(4000, "v", 20000), "/r/x/@a0"), V({"ERROR 38X13"}));
  EXPECT_EQ(all(doc(1, std::string(100000, 'x'), 699), "/r/x/@none").size(), 0u) << msg;
  EXPECT_EQ(all(doc(1, std::string(100000, 'x'), 700), "/r/x/@none"), V({"ERROR 38X13"}));
  EXPECT_EQ(all(doc(1, std::string(100000, 'x'), 10000), "/r/x/@none"), V({"ERROR 38X13"}));
  EXPECT_EQ(all(doc(60, "v", 50000), "/r/x/@a59"), V(50000, "v"));
}

TEST_F(Extract, AttributesDeclaredAreBoundedOnAverage) {
  // 20,000 attributes declared #IMPLIED for x, none given: the parser looks at each declaration
  // at each <x/>.  1,055 of them make 21,100,000 looks against the 21,102,592 that 16 Mi and
  // 4,096 for each of the 1,056 elements read (the root too) allow; 1,056 make 21,120,000
  // against 21,106,688.
  auto doc = [](int n) {
    std::string d = "<!DOCTYPE r [<!ATTLIST x";
    for (int i = 0; i < 20000; ++i) d += " a" + std::to_string(i) + " CDATA #IMPLIED";
    d += ">]><r>";
    for (int i = 0; i < n; ++i) d += "<x/>";
    return d + "<b>1</b></r>";
  };
  EXPECT_EQ(all(doc(1055), "/r/b"), V({"1"})) << msg;
  const std::string over = doc(1056);
  EXPECT_EQ(all(over, "/r/b"), V({"ERROR 38X13"}));
  EXPECT_NE(std::string(msg).find("the grammar declares too many attributes for the elements read: more than 4096 "
                                  "for each element on average"),
            std::string::npos)
      << msg;
}

TEST_F(Extract, WhatEntityExpansionsReadIsBoundedBySize) {
  // An entity of 100,000 characters may be expanded 16 Mi / 100,000 = 167 times from the root
  // on, in content or in attribute values; 5,000 references in attribute values took 7 seconds.
  auto doc = [](int refs, bool inAttributes) {
    std::string d = "<!DOCTYPE r [<!ENTITY e '" + std::string(100000, 'x') + "'>]><r>";
    for (int i = 0; i < refs; ++i) d += inAttributes ? "<a k='&e;'/>" : "<a>&e;</a>";
    return d + "</r>";
  };
  for (bool inAttributes : {false, true}) {
    EXPECT_EQ(all(doc(167, inAttributes), "/r/a[1]/@none").size(), 0u) << msg;
    EXPECT_EQ(all(doc(168, inAttributes), "/r/a[1]/@none"), V({"ERROR 38X13"}));
    EXPECT_NE(std::string(msg).find("entity expansion beyond the size a parse may hold"), std::string::npos) << msg;
    EXPECT_EQ(all(doc(5000, inAttributes), "/r/a[1]/@none"), V({"ERROR 38X13"}));
  }
  // Small entities keep the expansion limit: 10,000 references of a short one pass.
  std::string d = "<!DOCTYPE r [<!ENTITY e 'xyz'>]><r>";
  for (int i = 0; i < 10000; ++i) d += "<a k='&e;'/>";
  EXPECT_EQ(all(d + "</r>", "/r/a/@k").size(), 10000u) << msg;
}

TEST_F(Extract, DocumentsInFiles) {
  std::string file = dir.file("doc.xml");
  keltest::writeFile(file, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a><b>caf\xE9</b></a>");
  EXPECT_EQ(all(file, "/a/b", 0, 4000, nullptr, 0), (V{"caf\xC3\xA9"}));
}

}  // namespace

namespace {

// One extractor serves many documents and paths, and a failed parse leaves it usable.
TEST_F(Extract, ReusedExtractorGivesTheSameResultsAsFreshOnes) {
  KelExtractor extractor(&ctx);
  auto run = [&](const std::string &doc, const std::string &path, int tagged = 0) {
    KelExtractResult result{};
    if (extractor.run(doc.c_str(), nullptr, 0, 1, tagged, path.c_str(), &result, 4000, state, msg) < 0)
      return V{std::string("ERROR ") + state};
    V out;
    for (char **p = result.items; *p; ++p) out.push_back(*p);
    kelFreeExtractResult(&result);
    return out;
  };
  const std::string docs[] = {"<a><b>1</b><b>2</b></a>", "<a><b k=\"v\">x</b></a>", "<a><b></a>", "<a/>"};
  const std::string paths[] = {"/a/b", "/a/b/@k", "//b", "bad"};
  for (int round = 0; round < 2; ++round) {
    for (const std::string &doc : docs) {
      for (const std::string &path : paths) {
        EXPECT_EQ(run(doc, path), all(doc, path)) << doc << " " << path;
        EXPECT_EQ(run(doc, path, 1), all(doc, path, 1)) << doc << " " << path;
      }
    }
  }
  // A kept reader used to keep the XML 1.1 rules of a document for the ones after it: an XML
  // 1.0 document with a control character reference then read as well-formed.
  const std::string v11 = "<?xml version=\"1.1\"?><a><b>&#1;</b></a>";
  const std::string v10 = "<a><b>&#5;</b></a>";
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(run(v11, "/a/b"), (V{"\x01"}));
    EXPECT_EQ(run(v10, "/a/b"), (V{"ERROR 38X13"}));
    EXPECT_EQ(run("<?xml version=\"1.0\"?>" + v10, "/a/b"), (V{"ERROR 38X13"}));
  }
}

}  // namespace
