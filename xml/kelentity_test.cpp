// What a parse may open: external entities, DTDs and schemas only from the allowed read
// directories, never a URL, never a FIFO, and entity expansion within its limit; for every
// kind of parse (extraction, DOM, DTD and schema validation).  What every parse reads of its
// inputs: no bytes left over at their end, no byte-order mark against the declaration.
#include "kelentity.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNodeList.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelexplain.h"
#include "kelextract.h"
#include "kelupdate.h"
#include "kelvalidate.h"
#include "sqlenv.h"

namespace fs = std::filesystem;

namespace {

class Entities : public keltest::CallContextTest {
 protected:
  void SetUp() override {
    keltest::CallContextTest::SetUp();
    allowed = dir.file("allowed");
    fs::create_directory(allowed);
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, allowed.c_str()), 0);
    secret = dir.file("secret.txt");
    keltest::writeFile(secret, "TOPSECRET");
    keltest::writeFile(allowed + "/ok.ent", "PUBLIC-TEXT");
  }
  // The values extraction of path gives, joined by "|"; or "ERROR" with state and msg set.
  std::string extract(const std::string &doc, const char *path = "/a", int inMemory = 1) {
    KelExtractResult result{};
    if (extractAll(&ctx, doc.c_str(), nullptr, 0, inMemory, 0, path, &result, 4000, state, msg) < 0) return "ERROR";
    std::string out;
    for (char **p = result.items; *p; ++p) out += std::string(out.empty() ? "" : "|") + *p;
    kelFreeExtractResult(&result);
    return out;
  }
  void expectRefused(const std::string &what) {
    EXPECT_STREQ(state, "38X13") << what;
    EXPECT_NE(std::string(msg).find("refused"), std::string::npos) << what << ": " << msg;
    EXPECT_EQ(std::string(msg).find("TOPSECRET"), std::string::npos) << what;
  }
  // What each parse of a document (text, or a file with inMemory KEL_DOC_SERVER_FILE) makes of
  // it, as "engine: OK" or "engine: <message>", one line each.
  std::string everyParse(const std::string &doc, int inMemory) {
    std::string out;
    auto note = [&](const char *engine, bool ok) {
      std::string text = ok ? "OK" : msg;
      std::replace(text.begin(), text.end(), '\n', ' ');
      out += std::string(engine) + ": " + text + "\n";
    };
    note("extract", extract(doc, "/a", inMemory) != "ERROR");
    xercesc::DOMDocument *dom = nullptr;
    note("dom", kelDOM(&ctx, doc.c_str(), 0, inMemory, &dom, state, msg) == 0);
    if (dom != nullptr) dom->release();
    note("validate",
         kelValidate(&ctx, doc.c_str(), inMemory, 0, nullptr, 0, nullptr, state, msg, 1) == 1);
    char *updated = nullptr;
    note("update",
         kelUpdate(&ctx, doc.c_str(), inMemory, 0, u"/a", u"y", &updated, 4000, state, msg) == 0);
    std::free(updated);
    std::vector<KelExplainRow> rows;
    note("explain", kelExplainPath(&ctx, doc.c_str(), KEL_DOC_TERMINATED, 0, inMemory, "/a", &rows,
                                   state, msg) == 0);
    return out;
  }
  // Every parse of doc, written to a file of the allowed directory and read from there, and read
  // in memory when it holds no zero byte, is refused with KELQ047E and refusal (or other, when
  // given); with refusal "" every parse passes.  An update refuses a document that references
  // an external general entity (referencing) with KELD000E, at the reference, before the
  // entity's text is read, whatever the entity holds.
  void expectEveryParse(const std::string &doc, const std::string &refusal,
                        const std::string &other = std::string(), bool referencing = false) {
    referencing = referencing || (doc.find("<!ENTITY x SYSTEM") != std::string::npos &&
                                  doc.find("&x;") != std::string::npos);
    const std::string file = allowed + "/doc.xml";
    keltest::writeFile(file, doc);
    std::vector<std::pair<std::string, int>> inputs = {{file, KEL_DOC_SERVER_FILE}};
    if (doc.find('\0') == std::string::npos) inputs.emplace_back(doc, KEL_DOC_IN_MEMORY);
    for (const auto &[input, inMemory] : inputs) {
      SCOPED_TRACE(doc.substr(0, 200) +
                   (inMemory == KEL_DOC_IN_MEMORY ? " (in memory)" : " (file)"));
      const std::string outcome = everyParse(input, inMemory);
      if (refusal.empty()) {
        // An update writes an internal subset back, so it passes too.
        EXPECT_EQ(outcome,
                  std::string("extract: OK\ndom: OK\nvalidate: OK\nupdate: ") +
                      (referencing ? "KELD000E  An invalid XML document is rejected. " : "OK") +
                      "\nexplain: OK\n");
        continue;
      }
      size_t lines = 0, refused = 0;
      for (size_t at = 0; (at = outcome.find('\n', at)) != std::string::npos; ++at) ++lines;
      if (referencing && outcome.find("\nupdate: KELD000E") != std::string::npos) ++refused;
      for (size_t at = 0; (at = outcome.find("KELQ047E", at)) != std::string::npos; ++at) {
        const size_t end = outcome.find('\n', at);
        if (outcome.find(refusal, at) < end || (!other.empty() && outcome.find(other, at) < end))
          ++refused;
      }
      EXPECT_EQ(refused, lines) << outcome;
    }
  }
  std::string allowed, secret;
};

TEST_F(Entities, FilesOutsideTheAllowedDirectoriesAreNeverRead) {
  const std::string docs[] = {
      "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + secret + "\">]><a>&x;</a>",
      "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"file://" + secret + "\">]><a>&x;</a>",
      "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + allowed + "/../secret.txt\">]><a>&x;</a>",
      "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY % p SYSTEM \"" + secret + "\"> %p;]><a>t</a>",
  };
  for (const std::string &doc : docs) {
    EXPECT_EQ(extract(doc), "ERROR") << doc;
    expectRefused(doc);
    xercesc::DOMDocument *dom = nullptr;
    EXPECT_EQ(kelDOM(&ctx, doc.c_str(), 0, 1, &dom, state, msg), -1) << doc;
    expectRefused(doc);
    EXPECT_EQ(kelValidate(&ctx, doc.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 0);
    expectRefused(doc);
  }
  // A link inside the allowed directory that leads out of it.
  fs::create_symlink(secret, allowed + "/link.ent");
  EXPECT_EQ(extract("<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + allowed + "/link.ent\">]><a>&x;</a>"), "ERROR");
  expectRefused("link");
  // A schema is a file like any other.
  std::u16string location(secret.begin(), secret.end());
  EXPECT_EQ(kelValidateSchema(&ctx, "<a/>", 1, 0, location.c_str(), state, msg), 0);
  expectRefused("schema");
}

TEST_F(Entities, FilesInsideTheAllowedDirectoriesAreRead) {
  EXPECT_EQ(extract("<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + allowed + "/ok.ent\">]><a>&x;</a>"), "PUBLIC-TEXT") << msg;
  // A relative system id is taken against the document's own directory.
  keltest::writeFile(allowed + "/doc.xml", "<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"ok.ent\">]><a>&x;</a>");
  EXPECT_EQ(extract(allowed + "/doc.xml", "/a", KEL_DOC_SERVER_FILE), "PUBLIC-TEXT") << msg;
  // Named relative to the current directory, the document's directory is still its base.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.str());
  std::string relative = extract("allowed/doc.xml", "/a", KEL_DOC_SERVER_FILE);
  fs::current_path(cwd);
  EXPECT_EQ(relative, "PUBLIC-TEXT") << msg;
  // The document itself must lie in an allowed directory too.
  keltest::writeFile(dir.file("doc.xml"), "<a>x</a>");
  EXPECT_EQ(extract(dir.file("doc.xml"), "/a", KEL_DOC_SERVER_FILE), "ERROR");
  EXPECT_STREQ(state, "38X02");
}

// A schema that includes itself as "./self.xsd" was read again under a longer name each time
// ("/d/./self.xsd", "/d/././self.xsd", ...), some 500 times, until the name passed the length
// limit: "external entity "./self.xsd" refused: it names no file".  The names of the files a
// parse reads have no "." segments and no repeated slashes, so the parser knows the include as
// the schema it is reading; ".." stays, and the file opened is checked as before.
TEST_F(Entities, ASchemaIncludingItselfByAnotherNameIsReadOnce) {
  const std::string xsd = allowed + "/self.xsd";
  const std::string schema =
      "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">"
      "<xs:include schemaLocation=\"self.xsd\"/><xs:include schemaLocation=\"./self.xsd\"/>"
      "<xs:include schemaLocation=\".//./self.xsd\"/>"
      "<xs:element name=\"a\" type=\"xs:string\"/></xs:schema>";
  keltest::writeFile(xsd, schema);
  const std::string trace = dir.file("trace.out");
  ctx.traceFile = std::fopen(trace.c_str(), "w");
  ASSERT_NE(ctx.traceFile, nullptr);
  ctx.traceOn = 1;
  for (const std::string &location : {xsd, allowed + "/./self.xsd", allowed + "//.//self.xsd"}) {
    const std::u16string name(location.begin(), location.end());
    EXPECT_EQ(kelValidateSchema(&ctx, "<a>t</a>", 1, 0, name.c_str(), state, msg), 1)
        << location << ": " << msg;
  }
  std::fclose(ctx.traceFile);
  ctx.traceFile = nullptr;
  ctx.traceOn = 0;
  // Every file the parses opened has the one name.
  const std::string text = keltest::readFile(trace);
  size_t reads = 0;
  for (size_t at = 0; (at = text.find(" read from ", at)) != std::string::npos; ++at, ++reads)
    EXPECT_EQ(text.substr(at + 11, text.find('\n', at) - at - 11), xsd);
  EXPECT_GE(reads, 3u);
  // ".." out of the allowed directory is refused, as before.
  keltest::writeFile(dir.file("outside.xsd"), schema);
  const std::string outside = allowed + "/./../outside.xsd";
  const std::u16string name(outside.begin(), outside.end());
  EXPECT_EQ(kelValidateSchema(&ctx, "<a>t</a>", 1, 0, name.c_str(), state, msg), 0);
  expectRefused(outside);
  // Schemas including each other back through ".." or a linked directory are the schemas being
  // read (the parser knows each by its real path): they were read again under a longer name
  // each time until it passed 1,024 bytes, then refused as naming no file.
  auto including = [](const std::string &location, const char *element) {
    return "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:include schemaLocation=\"" + location +
           "\"/><xs:element name=\"" + element + "\" type=\"xs:string\"/></xs:schema>";
  };
  keltest::writeFile(allowed + "/s7.xsd", including("s8.xsd", "a"));
  keltest::writeFile(allowed + "/s8.xsd", including("../allowed/s7.xsd", "b"));
  ASSERT_EQ(::symlink(allowed.c_str(), (allowed + "/loop").c_str()), 0);
  keltest::writeFile(allowed + "/s9.xsd", including("loop/s9.xsd", "a"));
  for (const char *file : {"/s7.xsd", "/s9.xsd"}) {
    const std::string path = allowed + file;
    const std::u16string location(path.begin(), path.end());
    EXPECT_EQ(kelValidateSchema(&ctx, "<a>t</a>", 1, 0, location.c_str(), state, msg), 1) << file << ": " << msg;
  }
}

TEST_F(Entities, UrlsAreNeverOpened) {
  // A listener that would see any connection the parse made.
  int server = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
  ASSERT_GE(server, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  ASSERT_EQ(::listen(server, 4), 0);
  socklen_t len = sizeof addr;
  ::getsockname(server, reinterpret_cast<sockaddr *>(&addr), &len);
  std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";
  for (const std::string &doc : {"<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + url + "\">]><a>&x;</a>",
                                 "<!DOCTYPE a SYSTEM \"" + url + "\"><a/>"}) {
    std::string got = extract(doc);
    EXPECT_TRUE(got == "ERROR" || got.empty()) << got;  // the DOCTYPE's DTD reads as empty
    EXPECT_EQ(kelValidate(&ctx, doc.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 0);
    expectRefused(doc);
  }
  EXPECT_LT(::accept(server, nullptr, nullptr), 0);  // nobody came
  ::close(server);
}

TEST_F(Entities, SpecialFilesNeverBlockAParse) {
  const std::string fifo = allowed + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(extract("<!DOCTYPE a [<!ELEMENT a ANY><!ENTITY x SYSTEM \"" + fifo + "\">]><a>&x;</a>"), "ERROR");
  expectRefused("fifo");
  EXPECT_EQ(extract(fifo, "/a", KEL_DOC_SERVER_FILE), "ERROR");
  EXPECT_STREQ(state, "38X02");
}

TEST_F(Entities, EntityExpansionIsBounded) {
  // Ten to the ninth expansions: the parse must stop at the limit, not run for minutes.
  std::string doc = "<!DOCTYPE a [<!ENTITY l0 \"lol\">";
  for (int i = 1; i <= 9; ++i) {
    doc += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) doc += "&l" + std::to_string(i - 1) + ";";
    doc += "\">";
  }
  doc += "]><a>&l9;</a>";
  EXPECT_EQ(extract(doc), "ERROR");
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  xercesc::DOMDocument *dom = nullptr;
  EXPECT_EQ(kelDOM(&ctx, doc.c_str(), 0, 1, &dom, state, msg), -1);
  EXPECT_EQ(kelValidate(&ctx, doc.c_str(), 1, 0, "<!ELEMENT a (#PCDATA)>", 0, nullptr, state, msg, 1), 0);
  EXPECT_STREQ(state, "38X13");
  // Within the limit, expansion works as before.
  EXPECT_EQ(extract("<!DOCTYPE a [<!ENTITY e \"E\"><!ENTITY f \"&e;&e;\">]><a>&f;</a>"), "EE");
}

// The parser reads an external entity's file anew at every reference: 2,000 references to a
// file of 1 MB took a minute, and an update kept every copy (7 GB).  Later readings of files a
// parse has read may read 16 MiB all together; an update refuses a document at its first
// reference to an external general entity, before the entity's text is read.
TEST_F(Entities, ExternalEntitiesReadAgainAreBoundedBySize) {
  keltest::writeFile(allowed + "/big.ent", std::string(1 << 20, 'x'));
  keltest::writeFile(allowed + "/small.ent", "s");
  auto referencing = [&](const std::string &file, int times) {
    std::string doc = "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY e SYSTEM \"" + allowed + "/" + file + "\">]><a>";
    for (int i = 0; i < times; ++i) doc += "&e;";
    return doc + "</a>";
  };
  const std::string tooMuch = referencing("big.ent", 20);
  const std::string outcome = everyParse(tooMuch, KEL_DOC_IN_MEMORY);
  const std::string refused = ": entity expansion beyond the size a parse may hold";
  for (const char *engine : {"extract", "dom", "validate", "explain"}) {
    const size_t at = outcome.find(std::string(engine) + ": KELQ047E");
    ASSERT_NE(at, std::string::npos) << engine << "\n" << outcome;
    EXPECT_LT(outcome.find(refused, at), outcome.find('\n', at)) << engine << "\n" << outcome;
  }
  EXPECT_NE(outcome.find("update: KELD000E"), std::string::npos) << outcome;
  // Within the bound: the first reading and 16 more of 1 MiB, or a small file many times.
  EXPECT_EQ(extract(referencing("big.ent", 17), "/a/b"), "");
  EXPECT_EQ(extract(referencing("small.ent", 3000)), std::string(3000, 's')) << msg;
}

// A chain of internal entities each naming the next, referenced at its end: the parser keeps a
// reader of about 19 KB for each open entity, so 9,990 levels (within the expansion limit)
// took 187 MB.  One entity past KEL_ENTITY_NESTING_LIMIT open at once is refused before its
// reader is made; the chain at the limit reads as before.  The DOM parse of decomposition and
// DADs refused the long chain only when its memory budget ran out, with another text and no
// place ("entity expansion beyond the size a parse may hold" at line 0 column 0).
TEST_F(Entities, EntitiesOpenAtOnceAreBounded) {
  auto chain = [](size_t levels, const std::string &body) {
    std::string doc = "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ATTLIST a k CDATA #IMPLIED><!ENTITY e0 \"x\">";
    for (size_t i = 1; i < levels; ++i)
      doc += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
    const std::string ref = "&e" + std::to_string(levels - 1) + ";";
    return doc + "]>" + (body == "content" ? "<a>" + ref + "</a>" : "<a k=\"" + ref + "\"/>");
  };
  const std::string deep = "entities nest more than " + std::to_string(KEL_ENTITY_NESTING_LIMIT) + " deep";
  for (const char *body : {"content", "attribute"}) {
    const std::string path = std::string(body) == "content" ? "/a" : "/a/@k";
    const std::string over = chain(KEL_ENTITY_NESTING_LIMIT + 1, body);
    EXPECT_EQ(extract(over, path.c_str()), "ERROR") << body;
    EXPECT_STREQ(state, "38X13") << body;
    EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E") << msg;
    EXPECT_NE(std::string(msg).find(deep), std::string::npos) << msg;
    EXPECT_EQ(kelValidate(&ctx, over.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 0) << body;
    EXPECT_STREQ(state, "38X13") << body;
    EXPECT_NE(std::string(msg).find(deep), std::string::npos) << msg;
    xercesc::DOMDocument *dom = nullptr;
    for (size_t levels : {KEL_ENTITY_NESTING_LIMIT + 1, size_t{9990}}) {
      EXPECT_EQ(kelDOM(&ctx, chain(levels, body).c_str(), 0, 1, &dom, state, msg), -1) << body;
      EXPECT_STREQ(state, "38X13") << body;
      EXPECT_NE(std::string(msg).find(deep), std::string::npos) << msg;
      EXPECT_EQ(std::string(msg).find("line 0 "), std::string::npos)
          << "the place is told: " << msg;
    }

    const std::string at = chain(KEL_ENTITY_NESTING_LIMIT, body);
    EXPECT_EQ(extract(at, path.c_str()), "x") << body << ": " << msg;
    EXPECT_EQ(kelValidate(&ctx, at.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 1) << body << ": " << msg;
    ASSERT_EQ(kelDOM(&ctx, at.c_str(), 0, 1, &dom, state, msg), 0) << body << ": " << msg;
    dom->release();
  }
}

// Ten thousand references (within the expansion limit) to an entity of a hundred thousand
// characters: a document of one megabyte took 1.8 GB as a tree.
TEST_F(Entities, ATreeTakesABoundedMultipleOfItsDocument) {
  std::string doc = "<!DOCTYPE a [<!ENTITY b \"" + std::string(100000, 'x') + "\">]><a>";
  for (int i = 0; i < 9000; ++i) doc += "<c>&b;</c>";
  doc += "</a>";
  xercesc::DOMDocument *dom = nullptr;
  EXPECT_EQ(kelDOM(&ctx, doc.c_str(), 0, 1, &dom, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
  EXPECT_NE(std::string(msg).find("entity expansion beyond"), std::string::npos) << msg;
  // Markup as dense as it gets, and a few expansions, are read as before.
  std::string dense = "<!DOCTYPE a [<!ENTITY b \"" + std::string(1000, 'x') + "\">]><a>";
  for (int i = 0; i < 250000; ++i) dense += "<c/>";
  for (int i = 0; i < 100; ++i) dense += "<d>&b;</d>";
  dense += "</a>";
  ASSERT_EQ(kelDOM(&ctx, dense.c_str(), 0, 1, &dom, state, msg), 0) << msg;
  EXPECT_EQ(dom->getDocumentElement()->getChildNodes()->getLength(), 250100u);
  dom->release();
}

// The parser keeps a list of the children of each open element, 8 bytes a child, grown by a
// quarter at a time: a document of 62 million empty elements in one (250 MB, no entity) asked
// for a block of 617,262,424 bytes, which the bound on blocks refused as "entity expansion
// beyond the size a parse may hold" in every parse with the parser's default scanner
// (explainPath, extraction's second reading); 61 million passed.  A block may now grow by
// KEL_PARSE_BLOCK_BYTES_PER_ELEMENT for each element read (counted without the document, as a
// parse counts them); before the first element, where a DTD's entity values grow, and past
// the allowance, the bound is as before.
TEST_F(Entities, BlocksGrowWithTheElementsRead) {
  constexpr XMLSize_t childList = 617262424;  // the list of the 61,726,244th child on
  constexpr uint64_t children = 61726244;
  auto refusal = [](XMLSize_t size) {
    try {
      kelNoteAllocation(size);
    } catch (const KELException &e) {
      return std::string(e.sqlstate()) + " " + e.text();
    }
    return std::string("none");
  };
  const std::string tooLarge = "38X13 entity expansion beyond the size a parse may hold";
  KelExpansionWatch watch(&ctx);
  EXPECT_EQ(refusal(KEL_PARSE_BLOCK_LIMIT), "none");
  EXPECT_EQ(refusal(KEL_PARSE_BLOCK_LIMIT + 1), tooLarge);
  EXPECT_EQ(refusal(childList), tooLarge);
  xercesc::DTDElementDecl decl;
  xercesc::RefVectorOf<xercesc::XMLAttr> attrs(1, false);
  KelAttributeWeigher weigher;
  for (uint64_t i = 0; i <= children; ++i) weigher.element(decl, attrs, 0);  // the root and its children
  EXPECT_EQ(refusal(childList), "none");
  const uint64_t allowed = KEL_PARSE_BLOCK_LIMIT + (children + 1) * KEL_PARSE_BLOCK_BYTES_PER_ELEMENT;
  EXPECT_EQ(refusal(allowed), "none");
  EXPECT_EQ(refusal(allowed + 1), tooLarge);
}

// Ten levels of ten references each: general entities, or parameter entities whose values are
// character references that read as references once expanded (ref "&#37;p").
std::string laughs(const std::string &first, const std::string &name, const std::string &ref) {
  std::string out = first;
  for (int i = 1; i <= 9; ++i) {
    out += "<!ENTITY " + name + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) out += ref + std::to_string(i - 1) + ";";
    out += "\">";
  }
  return out;
}

// The parser library's own limit counts general entities in content and attribute values
// only; each of these ran for minutes (and took gigabytes) before the parse was bounded.
TEST_F(Entities, ExpansionInsideTheDtdIsBounded) {
  // A default value of an attribute.
  std::string defaults = laughs("<!DOCTYPE a [<!ENTITY l0 \"lol\">", "l", "&l") +
                         "<!ATTLIST a x CDATA \"&l9;\">]><a/>";
  EXPECT_EQ(extract(defaults, "/a/@x"), "ERROR");
  EXPECT_STREQ(state, "38X13");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E") << msg;
  EXPECT_EQ(std::string(msg).find("line 0 "), std::string::npos) << "the place is told: " << msg;
  xercesc::DOMDocument *dom = nullptr;
  EXPECT_EQ(kelDOM(&ctx, defaults.c_str(), 0, 1, &dom, state, msg), -1);
  EXPECT_STREQ(state, "38X13");
  // Parameter entities referenced between declarations of the internal subset.
  std::string params = laughs("<!DOCTYPE a [<!ENTITY % p0 \"<!-- x -->\">", "% p", "&#37;p") + "%p9;]><a/>";
  EXPECT_EQ(extract(params), "ERROR");
  EXPECT_STREQ(state, "38X13");
  // Parameter entities inside entity values of a DTD: each level ten times the size of the last.
  std::string dtd = laughs("<!ENTITY % p0 \"lol\">", "% p", "%p") + "<!ELEMENT a (#PCDATA)>";
  EXPECT_EQ(kelValidate(&ctx, "<!DOCTYPE a SYSTEM \"a.dtd\"><a/>", 1, 0, dtd.c_str(), 0, nullptr, state, msg, 1), 0);
  EXPECT_STREQ(state, "38X13") << msg;
  // Within the limits, the same declarations work.
  EXPECT_EQ(extract("<!DOCTYPE a [<!ENTITY e \"E\"><!ENTITY % p \"<!ATTLIST a x CDATA '&e;&e;'>\">%p;]><a/>", "/a/@x"),
            "EE") << msg;
}

// The parser's reader decodes what makes whole characters and drops what is left at the end of
// its input without a word: "<a>x</a>" and a last byte FF, half a UTF-8 sequence or one byte of
// a UTF-16 unit, in a document or an external entity, passed every parse and an update wrote
// the document back without those bytes.  Every parse refuses them now, saying so.
TEST_F(Entities, InputsEndingInsideACharacterAreRefused) {
  // Every document declares its element, so that it is valid when it is read whole.
  auto doc = [](const std::string &end) {
    return "<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>x</a>" + end;
  };
  auto utf16le = [](const std::string &ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string(1, c) + '\0';
    return out;
  };
  keltest::writeFile(allowed + "/tail.ent", "ok\xFF");
  keltest::writeFile(allowed + "/whole.ent", "ok\xC3\xA9");
  const std::string cut = "the document ends inside a character: ";
  const struct {
    std::string doc, refusal;  // the refusal every parse gives; "" for none
  } cases[] = {
      {doc("\xFF"), cut + "its last byte is not a whole character of its encoding"},
      {doc("\xE2\x82"), cut + "its last 2 bytes are not a whole character of its encoding"},
      {doc(std::string(70000, ' ') + "\xF0\x9F\x98"),
       cut + "its last 3 bytes are"},  // past the first read
      {utf16le(doc("")) + '\x0A', cut + "its last byte is"},
      {"<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY x SYSTEM \"" + allowed +
           "/tail.ent\">]><a>&x;</a>",
       "external entity \"" + allowed + "/tail.ent\" ends inside a character: its last byte is"},
      // Whole characters at the end read as before.
      {doc("\n"), ""},
      {utf16le(doc("\n")), ""},
  };
  for (const auto &c : cases) expectEveryParse(c.doc, c.refusal);
  expectEveryParse("<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY x SYSTEM \"" + allowed +
                       "/whole.ent\">]><a>&x;</a>",
                   "", "", true);
  // A whole character there is a parse error of its own.
  EXPECT_EQ(extract("<a>x</a>\xC3\xA9"), "ERROR");
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  EXPECT_EQ(std::string(msg).find("inside a character"), std::string::npos) << msg;
}

// The parser takes the declaration's word over a byte-order mark: after a UTF-8 mark,
// encoding="ISO-8859-1" read the two bytes of a UTF-8 "e acute" as two Latin-1 characters (and an
// update wrote them back so), and a UTF-16LE mark before encoding="UTF-8" failed with "element
// name expected".  A mark and a declaration that disagree are refused by every parse, saying
// so; a mark the declaration agrees with reads as before.
TEST_F(Entities, AByteOrderMarkAndADeclarationThatDisagreeAreRefused) {
  auto declared = [](const std::string &encoding) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?><!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>x</a>";
  };
  auto utf16 = [](const std::string &ascii, bool little) {
    std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char c : ascii) out += little ? std::string(1, c) + '\0' : std::string(1, '\0') + c;
    return out;
  };
  const std::string bom8 = "\xEF\xBB\xBF";
  keltest::writeFile(allowed + "/latin.ent", bom8 + "<?xml encoding=\"ISO-8859-1\"?>caf\xC3\xA9");
  keltest::writeFile(allowed + "/utf8.ent", bom8 + "<?xml encoding=\"UTF-8\"?>caf\xC3\xA9");
  auto entity = [&](const std::string &name) {
    return "<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY x SYSTEM \"" + allowed + "/" + name +
           "\">]><a>&x;</a>";
  };
  const struct {
    std::string doc, refusal;  // "" for none
    // The parser's own refusal, which the readers that stop at its warnings give first.
    std::string parsers = std::string();
  } cases[] = {
      {bom8 + declared("ISO-8859-1"),
       "the byte-order mark of the document (UTF-8) and the encoding its declaration "
       "names (\"ISO-8859-1\") disagree"},
      {bom8 + declared("UTF-16"), "the byte-order mark of the document (UTF-8) and the encoding",
       "encoding 'UTF-16' from XML declaration or manually set contradicts the auto-sensed "
       "encoding"},
      {utf16(declared("UTF-8"), true),
       "the byte-order mark of the document (UTF-16LE) and the encoding its "
       "declaration names (\"UTF-8\") disagree"},
      {utf16(declared("UTF-16BE"), true),
       "(UTF-16LE) and the encoding its declaration names (\"UTF-16BE\")"},
      {utf16(declared("ISO-8859-1"), false),
       "(UTF-16BE) and the encoding its declaration names (\"ISO-8859-1\")"},
      {entity("latin.ent"),
       "the byte-order mark of external entity \"" + allowed +
           "/latin.ent\" (UTF-8) and the encoding its declaration names (\"ISO-8859-1\") disagree"},
      // Marks the declaration agrees with, in the names the parser knows.
      {bom8 + declared("UTF-8"), ""},
      {bom8 + declared("utf8"), ""},
      {utf16(declared("UTF-16"), true), ""},
      {utf16(declared("UTF-16"), false), ""},
      {utf16(declared("UTF-16LE"), true), ""},
  };
  for (const auto &c : cases) expectEveryParse(c.doc, c.refusal, c.parsers);
  expectEveryParse(entity("utf8.ent"), "", "", true);
  // The entity's text in the encoding its mark and declaration agree on.
  EXPECT_EQ(extract(entity("utf8.ent")), "caf\xC3\xA9");
  // Text whose encoding the caller sets (the database's, for a value of the database) is read in
  // it whatever its declaration says, as before.
  KelExtractResult result{};
  const std::string text = bom8 + declared("ISO-8859-1");
  ASSERT_EQ(extractAll(&ctx, text.c_str(), nullptr, 1, KEL_DOC_IN_MEMORY, 0, "/a", &result, 4000,
                       state, msg),
            0)
      << msg;
  EXPECT_STREQ(result.items[0], "x");
  kelFreeExtractResult(&result);
}

// FF FE 00 00 was taken for the UTF-16LE mark, so every parse refused a UTF-32LE file with a
// mark, XMLFileFromVarchar's own among them, saying that the mark (UTF-16LE) and the declaration
// ("UTF-32") disagree.  Both UTF-32 marks are told from the UTF-16 ones; "UTF-32" without a byte
// order agrees with either, a name of one byte order with its own mark alone.
TEST_F(Entities, Utf32ByteOrderMarksAreToldFromUtf16Ones) {
  auto utf32 = [](const std::string &encoding, bool little) {
    const std::string decl = encoding.empty() ? "" : "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>";
    const std::u32string text = U"<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>\u00E9\U0001F600</a>";
    std::string out = little ? std::string("\xFF\xFE\0\0", 4) : std::string("\0\0\xFE\xFF", 4);
    auto put = [&](char32_t c) {
      for (int i = 0; i < 4; ++i) out += static_cast<char>(c >> (little ? 8 * i : 8 * (3 - i)));
    };
    for (char c : decl) put(static_cast<unsigned char>(c));
    for (char32_t c : text) put(c);
    return out;
  };
  for (bool little : {true, false}) {
    const char *own = little ? "UTF-32LE" : "UTF-32BE", *other = little ? "UTF-32BE" : "UTF-32LE";
    for (const char *agreeing : {"UTF-32", "utf-32", own, "UCS-4", ""}) {
      expectEveryParse(utf32(agreeing, little), "");
      keltest::writeFile(allowed + "/doc.xml", utf32(agreeing, little));
      EXPECT_EQ(extract(allowed + "/doc.xml", "/a", KEL_DOC_SERVER_FILE), "\xC3\xA9\xF0\x9F\x98\x80")
          << agreeing << " " << msg;
    }
    const std::string mark = std::string("the byte-order mark of the document (") + own + ")";
    for (const char *disagreeing : {other, "UTF-16", "UTF-8"})
      expectEveryParse(utf32(disagreeing, little),
                       mark + " and the encoding its declaration names (\"" + disagreeing + "\") disagree",
                       // the parser's own refusal, given first by the readers that stop at its warnings
                       "encoding '" + std::string(disagreeing) +
                           "' from XML declaration or manually set contradicts the auto-sensed encoding");
  }
}

}  // namespace

// The parser decodes its input in blocks ahead of the scanner, and a byte the encoding does not
// read failed the whole block: "<n>caf" E9 " x" on line 3 was reported on line 1 column 1 as
// "invalid byte ' ' at position 2 of a 3-byte sequence", naming the byte after the bad one, and
// with 3,000 lines before it some 40 lines early.  Every parse names the bad byte and its place,
// counted as the parser counts an invalid character (the column after it).
TEST_F(Entities, ABadByteIsReportedWhereItStands) {
  auto every = [](const std::string &text) {
    std::string out;
    for (const char *engine : {"extract", "dom", "validate", "update", "explain"})
      out += std::string(engine) + ": KELQ047E  Parser error on " + text + "  \n";
    return out;
  };
  // Every document declares its elements, so that validation reads up to the bad byte.
  const std::string dtd = "<!DOCTYPE o [<!ELEMENT o ANY><!ELEMENT a ANY><!ELEMENT n ANY>]>";
  const std::string lines3000 = [] {
    std::string out;
    for (int i = 0; i < 3000; ++i) out += "<a>line " + std::to_string(i) + "</a>\n";
    return out;
  }();
  const struct {
    std::string doc, outcome;
  } cases[] = {
      // A continuation byte that is none.
      {dtd + "<o>\n<a>ok</a>\n<n>caf\xE9 x</n>\n</o>",
       "line 3 column 8: invalid byte 0xE9 in the document (UTF-8): no character begins with the "
       "bytes 0xE9 0x20 0x78 0x3C"},
      {dtd + "<o>\n" + lines3000 + "<n>caf\xE9 x</n>\n</o>",
       "line 3002 column 8: invalid byte 0xE9 in the document (UTF-8): no character begins with "
       "the bytes 0xE9 0x20 0x78 0x3C"},
      // A byte no character begins with; a surrogate's code; CR LF and a character of two units.
      {dtd + "<o>\n<a>ok</a>\n<n>caf\x80</n>\n</o>",
       "line 3 column 8: invalid byte 0x80 in the document (UTF-8): no character begins with the "
       "bytes 0x80 0x3C 0x2F 0x6E"},
      {dtd + "<o>\r\n<a>\xF0\x9F\x98\x80</a>\r\n<n>\xED\xA0\x80</n></o>",
       "line 3 column 5: invalid byte 0xED in the document (UTF-8): no character begins with the "
       "bytes 0xED 0xA0 0x80 0x3C"},
      // A sequence cut by the end of the document, after the first block.
      {dtd + "<o>\n" + lines3000 + "<n>caf\xE9",
       "line 3002 column 7: the document ends inside a character: its last byte is not a whole "
       "character of its encoding"},
      // Another encoding's transcoder, the same way.
      {"<?xml version=\"1.0\" encoding=\"US-ASCII\"?>" + dtd + "<o>\n" + lines3000 + "<n>caf\xE9 x</n></o>",
       "line 3002 column 8: invalid byte 0xE9 in the document (US-ASCII): no character begins "
       "with the bytes 0xE9 0x20 0x78 0x3C"},
  };
  const std::string file = allowed + "/bad.xml";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.doc.substr(0, 60));
    keltest::writeFile(file, c.doc);
    EXPECT_EQ(everyParse(c.doc, KEL_DOC_IN_MEMORY), every(c.outcome));
    EXPECT_EQ(everyParse(file, KEL_DOC_SERVER_FILE), every(c.outcome));
  }
  // In an external entity, the place is the entity's, read again through its own descriptor.
  keltest::writeFile(allowed + "/bad.ent", "ok\ncaf\xE9 x");
  EXPECT_EQ(extract("<!DOCTYPE a [<!ENTITY x SYSTEM \"" + allowed + "/bad.ent\">]><a>&x;</a>"), "ERROR");
  EXPECT_STREQ(msg, ("KELQ047E  Parser error on line 2 column 5: invalid byte 0xE9 in external entity \"" +
                     allowed + "/bad.ent\" (UTF-8): no character begins with the bytes 0xE9 0x20 0x78 \n")
                        .c_str());
}

// A tap keeps the warnings it withholds from the reader while it lasts, and only then: the
// reader's validators report to the reader after the tap is gone (they kept the tap itself when
// it was the scanner's error reporter, and a grammar loaded later reported to a gone object).
TEST(ScannerTaps, WithholdWarningsOnlyWhileTheyLast) {
  struct Heard : xercesc::ErrorHandler {
    std::string all;
    void warning(const xercesc::SAXParseException &e) override { note("warning", e); }
    void error(const xercesc::SAXParseException &e) override { note("error", e); }
    void fatalError(const xercesc::SAXParseException &e) override { note("fatal", e); }
    void resetErrors() override {}
    void note(const char *kind, const xercesc::SAXParseException &) { all += std::string(kind) + "\n"; }
  } heard;
  struct Withholding : KelScannerTap {
    using KelScannerTap::KelScannerTap;
    bool withholds(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type) override {
      return declaredAgain(code, domain, type);
    }
  };
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader();
  reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, true);
  reader->setErrorHandler(&heard);
  auto source = [](const std::string &text) {
    return xercesc::MemBufInputSource(reinterpret_cast<const XMLByte *>(text.data()), text.size(), u"t");
  };
  const std::string again = "<!DOCTYPE a [<!ELEMENT a EMPTY><!ATTLIST a k CDATA '2'><!ATTLIST a k CDATA '1'>]><a/>";
  {
    auto tap = std::make_unique<Withholding>(*reader);
    reader->parse(source(again));
    EXPECT_EQ(heard.all, "");
  }
  reader->parse(source(again));
  EXPECT_EQ(heard.all, "warning\n");
  heard.all.clear();
  // A grammar whose checks fail after the parse of a tap: an ID attribute with a default.
  {
    auto tap = std::make_unique<Withholding>(*reader);
    reader->parse(source(again));
  }
  reader->loadGrammar(source("<!ELEMENT a EMPTY><!ATTLIST a i ID 'x'>"), xercesc::Grammar::DTDGrammarType);
  EXPECT_EQ(heard.all, "error\n");
}
