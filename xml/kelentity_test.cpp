// What a parse may open: external entities, DTDs and schemas only from the allowed read
// directories, never a URL, never a FIFO, and entity expansion within its limit; for every
// kind of parse (extraction, DOM, DTD and schema validation).
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

#include <filesystem>
#include <string>

#include "kelSgDoc.h"
#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelextract.h"
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

// A chain of internal entities each naming the next, referenced at its end: the parser keeps a
// reader of about 19 KB for each open entity, so 9,990 levels (within the expansion limit)
// took 187 MB.  One entity past KEL_ENTITY_NESTING_LIMIT open at once is refused before its
// reader is made; the chain at the limit reads as before.
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

    const std::string at = chain(KEL_ENTITY_NESTING_LIMIT, body);
    EXPECT_EQ(extract(at, path.c_str()), "x") << body << ": " << msg;
    EXPECT_EQ(kelValidate(&ctx, at.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 1) << body << ": " << msg;
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

}  // namespace
