/*
 * kelxml_fuzz.cpp - fuzz target for path compilation, extraction and update over malformed
 * documents.  The input is a location path, a newline, then a document.  Built two ways:
 *  - with clang and -DKEL_FUZZ=ON as a libFuzzer target (LLVMFuzzerTestOneInput);
 *  - otherwise with a driver of its own that mutates a seed corpus at random for the number of
 *    seconds given as its first argument (default 3), under whatever sanitizers the build uses;
 *    a second argument seeds the mutations (default 12345), so longer runs can differ.
 * A finding is a crash or a sanitizer report; the driver also checks the engines' contracts,
 * that matching on a stack bound to the path agrees with matching by names, that "//x" and the
 * absolute path of x give the same values when every x of the document lies on that path,
 * that extraction's DTD scanner reports what the parser's default scanner reports for every
 * document it accepts (a document it refuses is read again by the default one), and that an
 * update round-trips: one that selects nothing gives a document whose every extraction equals
 * the original's, and any update of a well-formed document gives a well-formed one; and that
 * the path diagnostics fail as extraction fails and give one MATCH row per extracted value, and
 * that validation against a well-formed document's own DTD answers with a message.  Besides
 * mutating its seeds the driver makes random documents of a few element names, and validates
 * documents against mutated schemas.
 */
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <chrono>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kel_mutate.h"
#include "kelarena.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelexplain.h"
#include "kelextract.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "kelupdate.h"
#include "kelvalidate.h"
#include "sqlenv.h"

namespace {

// The run's own directory, removed at exit.
const std::string &fuzzDir() { return keltest::fuzzDirectory("kelfuzz"); }

KelCallContext *fuzzContext() {
  static KelCallContext ctx{};
  static bool ready = false;
  if (!ready) {
    const std::string &dir = fuzzDir();
    setenv("QUARNINSTANCE", "fuzz", 1);
    setenv("QUARNKELPATH", dir.c_str(), 1);
    setenv("QUARNPATH", dir.c_str(), 1);  // the registry of the allowed directories lives here
    char state[6], msg[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{0, 1208, nullptr};
    if (kelInit(&ctx, KEL_SHORT_MESSAGES, &request, state, msg, "UTF-8") < 0) std::abort();
    ready = true;
  }
  return &ctx;
}

// A FIFO in the fuzz directory: an entity naming it must be refused, never block.
std::string fifoPath() {
  static std::string path = [] {
    std::string p = fuzzDir() + "/fifo";
    ::mkfifo(p.c_str(), 0600);
    return p;
  }();
  return path;
}

// The input being run, written out when a contract breaks so that it can be run again.
std::string gInput;

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "contract broken: %s\ninput (C string): \"", what);
    for (unsigned char c : gInput) {
      if (c == '"' || c == '\\') std::fprintf(stderr, "\\%c", c);
      else if (c >= 0x20 && c < 0x7f) std::fputc(c, stderr);
      else std::fprintf(stderr, "\\%03o", c);
    }
    std::fprintf(stderr, "\"\n");
    std::abort();
  }
}

/*
 * Follows a parse with a path that keeps names, one bound to the query and one bound that takes
 * the extraction handler's shortcuts (KelQuery::skipOrName, then KelQuery::pushNamed): the
 * three must give the same answer at every element start and end.
 */
class MatchComparer : public xercesc::DefaultHandler {
 public:
  explicit MatchComparer(const KelQuery &query)
      : query_(query), named_(nullptr, false), bound_(nullptr, false), skipping_(nullptr, false) {
    check(bound_.bind(&query) == query.bindable(), "a bindable query binds");
    skipping_.bind(&query);
  }
  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override {
    named_.push(qname, &attrs);
    bound_.push(qname, &attrs);
    // The handler's shortcuts: an element the query skips is pushed as its depth alone, one
    // whose name decides its state by its name.
    int byName = -1;
    const KelQuery::SkipOutcome skip = query_.skipOrName(skipping_, qname);
    if (skip == KelQuery::NAME_TO_TEST) byName = query_.pushNamed(skipping_, qname);
    if (skip == KelQuery::NOT_SKIPPED || (skip == KelQuery::NAME_TO_TEST && byName < 0))
      skipping_.push(qname, &attrs);
    check(byName < 0 || byName == query_.isMatched(named_), "the state by name agrees");
    compare();
  }
  void endElement(const XMLCh *, const XMLCh *, const XMLCh *) override {
    named_.pop();
    bound_.pop();
    skipping_.pop();
    compare();
  }

 private:
  void compare() {
    check(query_.isMatched(named_) == query_.isMatched(bound_), "bound matching agrees");
    check(query_.isMatched(named_) == query_.isMatched(skipping_), "skipping matching agrees");
  }
  const KelQuery &query_;
  KelCurrentPath named_, bound_, skipping_;
};

void compareMatching(const std::u16string &path16, const std::string &doc, int kind) {
  KelQuery query(nullptr, path16.c_str());
  if (query.errorPosition() != 0) return;
  query.setTargetKind(kind);
  // The comparison reads what extraction may read: nothing outside the allowed directories.
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader();
  reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
  reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
  reader->setFeature(xercesc::XMLUni::fgXercesLoadExternalDTD, false);
  KelEntityResolver resolver(fuzzContext(), nullptr);
  kelSecureReader(*reader, &resolver);
  MatchComparer comparer(query);
  reader->setContentHandler(&comparer);
  reader->setErrorHandler(&comparer);
  xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"fuzz", false);
  try {
    reader->parse(src);
  } catch (...) {
    // A document that is not well-formed ends the comparison where the parser stopped.
  }
}

// Every value extractAll gives for a path, or its failure, as one text.
std::string extraction(const std::string &doc, const std::string &path, int tagged) {
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  KelExtractResult result{};
  int rc = extractAll(fuzzContext(), doc.c_str(), nullptr, 1, 1, tagged, path.c_str(), &result, 100000, state, msg);
  if (rc < 0) return std::string("failed ") + state;
  std::string all;
  for (char **p = result.items; *p; ++p) all += std::string(*p) + '\x01';
  kelFreeExtractResult(&result);
  return all;
}

// A path no seed's element can have (its letters are not in the mutation alphabet).
const char kSelectsNothing[] = "/KELNONE";

void checkUpdate(const std::string &path, const std::string &doc) {
  KelCallContext *ctx = fuzzContext();
  static KelUpdater updater(ctx);  // kept between inputs, as a statement keeps it between rows
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  std::string out;
  int rc = updater.updateText(doc.data(), doc.size(), 1, 1, kSelectsNothing, "v", false, &out, 1 << 20, state, msg);
  check((rc == 0) == (std::strcmp(state, "00000") == 0), "update: return code agrees with SQLSTATE");
  check(std::strlen(msg) <= KEL_SHORT_MSG_LEN, "update: short message within 70 characters");
  // The value "v" is never refused, and an internal subset is written back unless it declares
  // an external parameter entity: 38X14.
  const bool subsetRefused = rc != 0 && std::strcmp(state, "38X14") == 0;
  check(rc == 0 || std::strcmp(state, "38X13") == 0 || subsetRefused, "update of nothing fails only on the document");
  const std::string first = extraction(doc, "/*", 0);
  // The one difference: an update refuses a reference to an undeclared entity also where only
  // the DTD it reads as empty could have declared it (the document written back would lose
  // it); extraction reads past it there, and refuses it where the document has no DTD.
  const bool undeclaredRefused = rc != 0 && std::strstr(msg, ": entity '") != nullptr;
  check(undeclaredRefused || subsetRefused || (rc == 0) == (first.rfind("failed", 0) != 0),
        "update and extraction agree on well-formedness");
  if (rc == 0) {
    std::vector<std::string> paths = {"/*", "//*", "//*/@*", "//*//*"};
    KelQuery compiled(nullptr, std::u16string(path.begin(), path.end()).c_str());
    if (compiled.errorPosition() == 0) paths.push_back(path);
    for (const std::string &p : paths)
      for (int tagged = 0; tagged < 2; ++tagged)
        check(extraction(out, p, tagged) == extraction(doc, p, tagged), "an update of nothing keeps every extraction");
  }
  // Any update of a well-formed document is well-formed.
  rc = updater.updateText(doc.data(), doc.size(), 1, 1, path.c_str(), "<&\"'>\t\r\n]]>x", false, &out, 1 << 20,
                          state, msg);
  check((rc == 0) == (std::strcmp(state, "00000") == 0), "update: return code agrees with SQLSTATE");
  if (rc == 0) check(extraction(out, kSelectsNothing, 0).rfind("failed", 0) != 0, "an updated document parses");
}

/*
 * Records what a parse reports (every event extraction can see, with attributes in order)
 * and how it ended; announces the DOCTYPE's system id to the document's resolver as
 * extraction does.
 */
class Recorder : public xercesc::DefaultHandler {
 public:
  explicit Recorder(kelDocEntityResolver &resolver) : resolver_(resolver) {}
  std::string log;
  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname, const xercesc::Attributes &attrs) override {
    log += "<" + text(qname);
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i)
      log += " " + text(attrs.getQName(i)) + "=" + text(attrs.getValue(i)) + ":" + text(attrs.getType(i));
    log += ">";
  }
  void endElement(const XMLCh *, const XMLCh *, const XMLCh *qname) override { log += "</" + text(qname) + ">"; }
  void characters(const XMLCh *chars, const XMLSize_t n) override { log += "T" + text(std::u16string(chars, n).c_str()); }
  void ignorableWhitespace(const XMLCh *chars, const XMLSize_t n) override {
    log += "W" + text(std::u16string(chars, n).c_str());
  }
  void processingInstruction(const XMLCh *target, const XMLCh *data) override { log += "?" + text(target) + text(data); }
  void startDTD(const XMLCh *name, const XMLCh *, const XMLCh *systemId) override {
    resolver_.setSystemId(systemId);
    log += "!" + text(name);
  }
  void warning(const xercesc::SAXParseException &e) override { throw e; }
  void error(const xercesc::SAXParseException &e) override { throw e; }
  void fatalError(const xercesc::SAXParseException &e) override { throw e; }

 private:
  static std::string text(const XMLCh *s) {
    std::string out;
    for (; s != nullptr && *s; ++s) out += *s < 0x80 ? std::string(1, static_cast<char>(*s)) : "\\u" + std::to_string(*s);
    return out + "|";
  }
  kelDocEntityResolver &resolver_;
};

// The log of one parse with extraction's settings, and whether it succeeded.
bool recordParse(const std::string &doc, bool dtdScanner, std::string *log) {
  KelCallContext *ctx = fuzzContext();
  KelArena arena;
  kelDocEntityResolver docResolver(ctx, nullptr, true);
  KelEntityResolver resolver(ctx, &docResolver);
  bool ok = false;
  {
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader =
        kelCreateReader(dtdScanner ? &arena : nullptr, dtdScanner ? xercesc::XMLUni::fgDGXMLScanner : nullptr);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpacePrefixes, false);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreValidation, false);
    reader->setFeature(xercesc::XMLUni::fgXercesSchema, false);
    kelSecureReader(*reader, &resolver);
    Recorder recorder(docResolver);
    reader->setContentHandler(&recorder);
    reader->setErrorHandler(&recorder);
    reader->setLexicalHandler(&recorder);
    xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"fuzz", false);
    char state[6] = "00000", msg[KEL_MSG_BUFFER + 1] = "";
    ok = kelGuardedParse(ctx, [&] { reader->parse(src); }, state, msg, KelOtherFailure::Silent) == 0;
    *log = recorder.log + (ok ? "" : std::string("FAILED ") + msg);
  }
  return ok;
}

// Every document extraction's DTD scanner accepts, the default scanner accepts with the same
// events.
void compareScanners(const std::string &doc) {
  std::string fast, full;
  if (!recordParse(doc, true, &fast)) return;
  recordParse(doc, false, &full);
  if (fast != full) std::fprintf(stderr, "DTD scanner: %s\ndefault scanner: %s\n", fast.c_str(), full.c_str());
  check(fast == full, "the DTD scanner reads as the default scanner does");
}

// Per element name, the path of its parent ("/a/b"; "" for the root), or kMixed when the
// name occurs below different parents.
class Chains : public xercesc::DefaultHandler {
 public:
  static constexpr const char *kMixed = "?";
  std::map<std::string, std::string> chains;
  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname, const xercesc::Attributes &) override {
    std::string name;
    for (const XMLCh *c = qname; *c; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
    auto [it, added] = chains.emplace(name, path_);
    if (!added && it->second != path_) it->second = kMixed;
    stack_.push_back(path_.size());
    path_ += "/" + name;
  }
  void endElement(const XMLCh *, const XMLCh *, const XMLCh *) override {
    path_.resize(stack_.back());
    stack_.pop_back();
  }

 private:
  std::string path_;
  std::vector<size_t> stack_;
};

/*
 * For element names that occur on one path only (so never one inside another), "//x" selects
 * what the absolute path selects: the same values in text mode, in tagged mode and as
 * attributes.
 */
void compareDescendantPaths(const std::string &doc) {
  Chains chains;
  {
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader();
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    KelEntityResolver resolver(fuzzContext(), nullptr);
    kelSecureReader(*reader, &resolver);
    reader->setContentHandler(&chains);
    xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"fuzz", false);
    try {
      reader->parse(src);
    } catch (...) {
      return;  // the names of a document that is not well-formed say nothing
    }
  }
  int compared = 0;
  for (const auto &[name, chain] : chains.chains) {
    if (compared == 3) break;
    // Names with characters outside ASCII or that a path cannot name are left out.
    if (chain == Chains::kMixed || name.find('?') != std::string::npos) continue;
    std::string absolute = chain + "/" + name;
    std::string descendant = "//" + name;
    for (int tagged = 0; tagged < 2; ++tagged) {
      std::string a = extraction(doc, absolute, tagged), d = extraction(doc, descendant, tagged);
      if (a != d) std::fprintf(stderr, "%s: %s\n%s: %s\n", absolute.c_str(), a.c_str(), descendant.c_str(), d.c_str());
      check(a == d, "//x selects what the absolute path of x selects");
    }
    check(extraction(doc, absolute + "/@*", 0) == extraction(doc, descendant + "/@*", 0),
          "//x/@* gives the attributes the absolute path gives");
    ++compared;
  }
}

/*
 * The path diagnostics against extraction: the same failure, or at most 100 rows of which the
 * MATCH rows are one per extracted value (as many as fit), and near misses only without one.
 */
void checkExplain(const std::string &path, const std::string &doc) {
  KelCallContext *ctx = fuzzContext();
  char state[6] = "00000", msg[KEL_MSG_BUFFER + 1] = "";
  KelExtractResult result{};
  int rc = extractAll(ctx, doc.c_str(), nullptr, 1, 1, 0, path.c_str(), &result, 100000, state, msg);
  std::string extractState = state;
  size_t items = 0;
  if (rc == 0)
    while (result.items[items] != nullptr) ++items;
  kelFreeExtractResult(&result);
  std::vector<KelExplainRow> rows;
  int explainRc = kelExplainPath(ctx, doc.c_str(), KEL_DOC_TERMINATED, 1, 1, path.c_str(), &rows, state, msg);
  check((explainRc == 0) == (rc == 0), "explainPath fails where extraction fails");
  if (rc < 0 || explainRc < 0) {
    check(extractState == state, "explainPath fails with extraction's SQLSTATE");
    return;
  }
  check(rows.size() <= KEL_EXPLAIN_MAX_ROWS, "at most 100 rows");
  size_t ignored = 0, matches = 0, nearMisses = 0;
  for (const KelExplainRow &r : rows) {
    if (r.kind == "IGNORED") ++ignored;
    else if (r.kind == "MATCH") ++matches;
    else ++nearMisses;
    check(r.foundPath.size() <= KEL_EXPLAIN_TEXT_BYTES && r.detail.size() <= KEL_EXPLAIN_TEXT_BYTES, "texts fit");
  }
  check(matches == std::min(items, KEL_EXPLAIN_MAX_ROWS - ignored), "one MATCH row per extracted value");
  check(items == 0 || nearMisses == 0, "no near misses beside a match");
}

// Validation against the document's own DTD: its content models are measured before the
// parser builds anything from them, so no model, however ambiguous or deeply nested, holds the
// parse or overflows the stack; the answer is valid or invalid with a message.  Only documents
// that are well formed are validated.  (The parser library leaks the part of a content model it
// has read when a syntax error breaks the declaration off, in every parse without an arena:
// tests/lsan.supp.  The seeds therefore hold no content models of their own to mutate; the
// validation tests cover ambiguous and nested ones.)
void checkValidation(const std::string &doc) {
  std::string log;
  if (!recordParse(doc, true, &log)) return;
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  int rc = kelValidate(fuzzContext(), doc.c_str(), 1, 0, nullptr, 0, nullptr, state, msg, 1);
  check(rc == 0 || rc == 1, "validation answers valid or invalid");
  check((rc == 1) == (std::strcmp(state, "00000") == 0), "validation's answer agrees with its SQLSTATE");
  check(rc == 1 || msg[0] != '\0', "an invalid document has a message");
}

// Validation against a schema of mutated text: the schema document is measured before the
// parser reads it and its models before the parser builds them, so no schema holds the parse,
// takes the process's memory or overflows its stack; the answer is valid or invalid with a
// message.  The schema is a file of the fuzz directory, readable for this check only.
void checkSchema(const std::string &schema) {
  gInput = schema;
  KelCallContext *ctx = fuzzContext();
  const std::string &dir = fuzzDir();
  const std::string file = dir + "/schema.xsd";
  FILE *f = std::fopen(file.c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(schema.data(), 1, schema.size(), f);
  std::fclose(f);
  if (sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.c_str()) != 0) return;
  const std::u16string location(file.begin(), file.end());
  for (const char *doc : {"<r><a/><b>1</b></r>", "<r/>", "<r xmlns:p=\"urn:p\"><p:q/></r>",
                          "<r k=\"abc aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaac a@a@a@a@a@a@a@a@a@a@\">ababc</r>"}) {
    char state[6] = "00000";
    char msg[KEL_MSG_BUFFER + 1] = "";
    int rc = kelValidateSchema(ctx, doc, 1, 0, location.c_str(), state, msg);
    check(rc == 0 || rc == 1, "schema validation answers valid or invalid");
    check((rc == 1) == (std::strcmp(state, "00000") == 0), "schema validation's answer agrees with its SQLSTATE");
    check(rc == 1 || msg[0] != '\0', "a document invalid against a schema has a message");
  }
  sqloSetEnv(SQLE_REG_XML_READ_DIRS, "");
}

void runOne(const uint8_t *data, size_t size) {
  std::string input(reinterpret_cast<const char *>(data), size);
  gInput = input;
  size_t nl = input.find('\n');
  std::string path = nl == std::string::npos ? input : input.substr(0, nl);
  std::string doc = nl == std::string::npos ? std::string() : input.substr(nl + 1);
  path = path.c_str();  // the engine reads terminated strings
  doc = doc.c_str();

  std::u16string path16(path.begin(), path.end());
  KelQuery query(nullptr, path16.c_str());
  check(query.errorPosition() >= 0 && query.errorPosition() <= static_cast<int>(path16.size()) + 1,
        "error position inside the path");

  KelCallContext *ctx = fuzzContext();
  compareMatching(path16, doc, KEL_TARGET_TEXT);
  compareMatching(path16, doc, KEL_TARGET_TAGGED);
  compareScanners(doc);
  compareDescendantPaths(doc);
  for (int tagged = 0; tagged < 2; ++tagged) {
    char state[6] = "00000";
    char msg[KEL_MSG_BUFFER + 1] = "";
    KelExtractResult result{};
    int rc = extractAll(ctx, doc.c_str(), nullptr, 0, 1, tagged, path.c_str(), &result, 4000, state, msg);
    check((rc == 0) == (std::strcmp(state, "00000") == 0), "return code agrees with SQLSTATE");
    check(std::strlen(msg) <= KEL_SHORT_MSG_LEN, "short message within 70 characters");
    if (rc == 0)
      for (char **p = result.items; *p; ++p) {
        check(std::strlen(*p) < 4000, "item within the limit");
        check(std::strstr(*p, "root:") == nullptr, "no file outside the allowed directories is read");
      }
    kelFreeExtractResult(&result);
  }
  checkUpdate(path, doc);
  checkExplain(path, doc);
  checkValidation(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  runOne(data, size);
  return 0;
}

#ifndef KEL_LIBFUZZER
namespace {

// A random document of a few element names, attributes, text, entities and comments; names
// repeat, so some lie on one path and others on several, nested or not.
std::string randomDocument(std::mt19937 &rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const char *names[] = {"a", "b", "c", "x", "y-1", "z.z"};
  const char *texts[] = {"t", " ", "&amp;", "&e;", "<!--c-->", "<![CDATA[<]]>", "&#65;", "<?p d?>"};
  std::string doc;
  if (pick(3) == 0) doc += "<!DOCTYPE r [<!ENTITY e \"E\"><!ATTLIST x d CDATA 'dv'>]>";
  std::function<void(int)> element = [&](int depth) {
    std::string name = depth == 0 ? "r" : names[pick(6)];
    doc += "<" + name;
    for (int i = pick(3); i > 0; --i) doc += std::string(" k") + std::to_string(i) + "=\"" + texts[pick(3)] + "\"";
    doc += ">";
    for (int i = pick(4); i > 0; --i) {
      if (depth < 4 && pick(2) == 0) element(depth + 1);
      else doc += texts[pick(8)];
    }
    doc += "</" + name + ">";
  };
  element(0);
  return doc;
}

}  // namespace

int main(int argc, char **argv) {
  double limit = argc > 1 ? std::atof(argv[1]) : 3.0;
  const std::vector<std::string> seeds = {
      "/a/b\n<a><b>1</b><b>2</b></a>",
      "//b/@*\n<r><b x=\"1\" y='2'>t&amp;u</b><c><b/></c></r>",
      "/a/b[@k=\"v/w\"]/c\n<a><b k=\"v/w\"><c>x</c></b></a>",
      "/a//b//c/d\n<!DOCTYPE a [<!ENTITY e \"E\">]><a><b><c><d>&e;</d></c></b></a>",
      "/o/*/p[2]\n<?xml version=\"1.0\" encoding=\"UTF-8\"?><o><i><p>1</p></i><!--c--><?pi?></o>",
      "//x\n<x><![CDATA[<y>]]></x>",
      // Declarations that change what a reader reports: defaulted and fixed attributes,
      // declared types that normalise values, entities with markup, repeated attributes.
      "//b/@*\n<!DOCTYPE a [<!ATTLIST b d CDATA 'x' f CDATA #FIXED 'y' n NMTOKENS ' p  q '>"
      "<!ENTITY e '<b k=\"1\">v&#38;amp;</b>'>]><a><b n=' 1  2 '>&e;</b>&e;<b k='1' k='2'/></a>",
      // What an update must write back so that it reads the same: element content, defaults and
      // normalised types of an internal subset, references to line ends and controls, XML 1.1.
      "//b/@k\n<!DOCTYPE a [<!ELEMENT a (b)*><!ELEMENT b ANY><!ATTLIST b k CDATA 'd' j NMTOKEN #IMPLIED>]>"
      "<a> <b j=' x '/>\n<b>&#13;&#x85;\r\n</b></a>",
      "/a/b\n<?xml version=\"1.1\"?><!DOCTYPE a PUBLIC \"p\" 's\"'><a k=\"&#9;&#10;&#x85;\"><b>&#1;&#x2028;</b></a>",
      // Attacks: none may read a file outside the allowed directories (there are none here),
      // reach the network, block on a FIFO or expand entities without bound.
      "/a\n<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/passwd\">]><a>&x;</a>",
      "/a\n<!DOCTYPE a [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><a/>",
      "/a\n<!DOCTYPE a [<!ENTITY x SYSTEM \"http://127.0.0.1:9/x\">]><a>&x;</a>",
      "/a\n<!DOCTYPE a SYSTEM \"https://127.0.0.1:9/a.dtd\"><a/>",
      "/a\n<!DOCTYPE a [<!ENTITY x SYSTEM \"" + fifoPath() + "\">]><a>&x;</a>",
      "/a\n<!DOCTYPE a [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
      "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\"><!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">"
      "<!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\"><!ENTITY f \"&e;&e;&e;&e;&e;&e;&e;&e;&e;&e;\">"
      "<!ENTITY g \"&f;&f;&f;&f;&f;&f;&f;&f;&f;&f;\">]><a>&g;</a>",
  };
  // Schemas whose parse the parser makes expensive: occurrences written out, groups copied per
  // reference, definitions naming one another, documents including themselves.
  const std::string xs = "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">";
  const std::vector<std::string> schemaSeeds = {
      xs + "<xs:element name=\"r\"><xs:complexType><xs:sequence maxOccurs=\"9\"><xs:element name=\"a\" "
           "maxOccurs=\"9\"/><xs:element name=\"b\" type=\"xs:int\" minOccurs=\"0\"/></xs:sequence>"
           "</xs:complexType></xs:element></xs:schema>",
      xs + "<xs:group name=\"g\"><xs:choice><xs:element name=\"a\"/><xs:element name=\"b\"/></xs:choice>"
           "</xs:group><xs:group name=\"h\"><xs:sequence><xs:group ref=\"g\"/><xs:group ref=\"g\" "
           "maxOccurs=\"3\"/></xs:sequence></xs:group><xs:element name=\"r\"><xs:complexType mixed=\"true\">"
           "<xs:group ref=\"h\" minOccurs=\"0\"/><xs:attribute name=\"k\"/></xs:complexType></xs:element></xs:schema>",
      xs + "<xs:include schemaLocation=\"schema.xsd\"/><xs:complexType name=\"t\"><xs:sequence><xs:element "
           "name=\"a\" type=\"u\" minOccurs=\"0\"/></xs:sequence></xs:complexType><xs:complexType name=\"u\">"
           "<xs:complexContent><xs:extension base=\"t\"><xs:sequence><xs:element name=\"b\" minOccurs=\"0\"/>"
           "</xs:sequence></xs:extension></xs:complexContent></xs:complexType><xs:element name=\"r\" type=\"t\"/>"
           "</xs:schema>",
      xs + "<xs:element name=\"r\"><xs:complexType><xs:all><xs:element name=\"a\" minOccurs=\"0\"/><xs:element "
           "name=\"b\"/></xs:all></xs:complexType></xs:element><xs:element name=\"s\" substitutionGroup=\"r\"/>"
           "<xs:simpleType name=\"l\"><xs:list itemType=\"xs:int\"/></xs:simpleType></xs:schema>",
      xs + "<xs:element name=\"r\"><xs:complexType><xs:sequence><xs:any namespace=\"##other\" "
           "processContents=\"lax\" maxOccurs=\"7\"/><xs:element ref=\"a\" maxOccurs=\"unbounded\"/>"
           "</xs:sequence></xs:complexType></xs:element><xs:element name=\"a\"/></xs:schema>",
      // Patterns the matcher backtracks over, in a union and a list.
      xs + "<xs:element name=\"r\"><xs:complexType><xs:simpleContent><xs:extension base=\"u\"><xs:attribute "
           "name=\"k\" type=\"l\"/></xs:extension></xs:simpleContent></xs:complexType></xs:element>"
           "<xs:simpleType name=\"p\"><xs:restriction base=\"xs:string\"><xs:pattern value=\"(a|aa)*b|.+@.+\\..+\"/>"
           "<xs:pattern value=\"(ab){1,3}c?\"/></xs:restriction></xs:simpleType><xs:simpleType name=\"u\"><xs:union "
           "memberTypes=\"p xs:int\"/></xs:simpleType><xs:simpleType name=\"l\"><xs:list itemType=\"p\"/>"
           "</xs:simpleType></xs:schema>",
  };
  const std::string schemaAlphabet = "<>/=\" 0123456789aeginqrsux:";
  const std::string alphabet = "/@[]=\"'*.abcxyz<>&;!-?: \n12";
  std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 12345u);
  auto start = std::chrono::steady_clock::now();
  size_t runs = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < limit) {
    if (runs % 8 == 5) {  // a mutated schema
      // Mostly edits that keep the schema well formed: a number changed, an empty element
      // repeated; now and then a character.
      std::string s = schemaSeeds[rng() % schemaSeeds.size()];
      for (int e = 1 + static_cast<int>(rng() % 6); e > 0 && !s.empty(); --e) {
        size_t pos = rng() % s.size();
        switch (rng() % 8) {
          case 0: s[pos] = schemaAlphabet[rng() % schemaAlphabet.size()]; break;
          case 1: case 2: case 3: {
            size_t digit = s.find_first_of("0123456789", pos);
            if (digit == std::string::npos) break;
            size_t end = s.find_first_not_of("0123456789", digit);
            s.replace(digit, end - digit, std::to_string(rng() % (rng() % 2 ? 10 : 2000)));
            break;
          }
          default: {
            size_t open = s.find("<xs:", pos);
            size_t close = open == std::string::npos ? open : s.find('>', open);
            if (close == std::string::npos || s[close - 1] != '/') break;
            const std::string element = s.substr(open, close + 1 - open);
            for (int copies = 1 + static_cast<int>(rng() % 4); copies > 0; --copies) s.insert(open, element);
            break;
          }
        }
      }
      checkSchema(s);
      ++runs;
      continue;
    }
    if (runs % 4 == 3) {  // a random document, whole
      std::string s = "//x\n" + randomDocument(rng);
      runOne(reinterpret_cast<const uint8_t *>(s.data()), s.size());
      ++runs;
      continue;
    }
    std::string s = seeds[rng() % seeds.size()];
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      size_t pos = rng() % s.size();
      switch (rng() % 4) {
        case 0: s[pos] = alphabet[rng() % alphabet.size()]; break;
        case 1: s.insert(pos, 1, alphabet[rng() % alphabet.size()]); break;
        case 2: s.erase(pos, 1 + rng() % 4); break;
        default: s.insert(pos, s.substr(rng() % s.size(), rng() % 16)); break;
      }
    }
    runOne(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    ++runs;
  }
  std::printf("%zu inputs, no finding\n", runs);
  return 0;
}
#endif
