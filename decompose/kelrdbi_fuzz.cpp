/*
 * kelrdbi_fuzz.cpp - fuzz target for row generation: every input is parsed as a document and
 * cut into rows by the plans of fixed DADs (tests/data/decompose: the three-table orders, the
 * typed orders, two tables from one element).  Built as dad/keldad_fuzz.cpp is: with clang and
 * -DKEL_FUZZ=ON as a libFuzzer target; otherwise with a driver of its own that mutates seed
 * documents at random for the number of seconds given (default 3), under whatever sanitizers the
 * build uses (a second argument seeds the mutations).  Nothing touches a database.
 * A finding is a crash, a sanitizer report or a broken contract: a failure without a catalogue
 * message, or a success whose rows do not have one value per column and foreign key.
 */
#include <xercesc/dom/DOMDocument.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "kelctx.h"
#include "keldadcache.h"
#include "kelmsg.h"
#include "kel_mutate.h"
#include "kelrdbi.h"
#include "kelSgDoc.h"

namespace {

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "contract broken: %s\n", what);
    std::abort();
  }
}

void checkOutcome(int rc, const char *msg) {
  if (rc < 0) check(std::strncmp(msg, "KEL", 3) == 0, "a failure has a message");
  check(std::strlen(msg) <= KEL_MSG_BUFFER, "message within its buffer");
}

std::string readData(const char *name) {
  std::ifstream in(std::string(KEL_SOURCE_DIR) + "/tests/data/decompose/" + name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Fixture {
  KelCallContext ctx{};
  std::vector<KelDecompPlanPtr> plans;
};

Fixture &fixture() {
  static Fixture *f = [] {
    auto *fx = new Fixture;
    const std::string &dir = keltest::fuzzDirectory("kelrdbifuzz");
    setenv("QUARNINSTANCE", "fuzz", 1);
    setenv("QUARNKELPATH", dir.c_str(), 1);
    char state[6], msg[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{0, 1208, nullptr};
    if (kelInit(&fx->ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") < 0) std::abort();
    for (const char *name : {"orders.dad", "po.dad", "memo.dad"}) {
      const std::string text = readData(name);
      KelDad dad;
      KEL_REL rel;
      KelDecompPlanPtr plan;
      if (kelDadOpen(&fx->ctx, text.c_str(), 1, 1, KEL_DAD_XCOLLECTION, &dad, state, msg) < 0 ||
          kelDadRelation(&fx->ctx, &dad, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg) < 0 ||
          kelPlanDecomposition(&fx->ctx, std::move(rel), dad.header().rootElement, &plan, state, msg) < 0) {
        std::fprintf(stderr, "%s: %s\n", name, msg);
        std::abort();
      }
      fx->plans.push_back(plan);
    }
    return fx;
  }();
  return *f;
}

void runOne(const uint8_t *data, size_t size) {
  Fixture &f = fixture();
  std::string doc(reinterpret_cast<const char *>(data), size);
  doc = doc.c_str();  // documents reach the parser as terminated texts
  char state[6] = "00000", msg[KEL_MSG_BUFFER + 1] = "";
  xercesc::DOMDocument *parsed = nullptr;
  if (kelDOM(&f.ctx, doc.c_str(), 1, KEL_DOC_IN_MEMORY, &parsed, state, msg) < 0 || parsed == nullptr) return;
  KelDomDocument owner(parsed);
  if (parsed->getDocumentElement() == nullptr) return;
  for (const KelDecompPlanPtr &plan : f.plans) {
    KelRowSet rows;
    msg[0] = '\0';
    int rc = kelGenerateRows(&f.ctx, *plan, parsed->getDocumentElement(), &rows, state, msg);
    checkOutcome(rc, msg);
    if (rc < 0) continue;
    const KEL_REL &rel = kelPlanRelation(*plan);
    check(rows.tab.size() == rel.tab.size(), "rows for every table");
    for (size_t t = 0; t < rows.tab.size(); ++t) {
      check(rows.tab[t].size() <= static_cast<size_t>(KEL_MAX_ROWS), "at most KEL_MAX_ROWS rows");
      for (const KelRow &row : rows.tab[t]) {
        check(row.values.size() == rel.tab[t].col2xml.size() + rel.tab[t].foreignKey.size(),
              "one value per column and foreign key");
        for (size_t i = rel.tab[t].col2xml.size(); i < row.values.size(); ++i)
          check(!row.values[i].null, "a stored row has its foreign keys");
      }
    }
  }
}

std::vector<std::string> seeds() {
  return {
      "<Order key=\"1\"><Customer><Name>Ann</Name><Email>a@x.org</Email></Customer><OrderDate>2026-01-02</OrderDate>"
      "<Part color=\"red\"><key>1<![CDATA[2]]></key><Quantity>2</Quantity><ExtendedPrice>3.50</ExtendedPrice>"
      "<Note>n &amp; m</Note><Shipment><ShipDate>2026-01-03</ShipDate><ShipMode>AIR</ShipMode></Shipment>"
      "<Shipment><ShipDate>2026-01-04</ShipDate></Shipment></Part><Part color=\"blue\"><key><!-- c -->13</key>"
      "</Part></Order>",
      "<po id=\"1\"><day>2026-03-04</day><time>10:30:00</time><line no=\"11\"><price>12.25</price><weight>0.5</weight>"
      "<note>fish &amp; <![CDATA[<chips>]]></note><ship><at>2026-03-05-08.00.00.000000</at><by>AIR</by></ship>"
      "</line><line no=\"12\"/></po>",
      "<po id=\"1\"><lines>2</lines><line no=\"1\"><price>1.50</price><mno>101</mno><memo>first</memo></line>"
      "<line no=\"2\"><mno>102</mno><memo>second</memo><memo>third</memo></line></po>",
  };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  runOne(data, size);
  return 0;
}

#ifndef KEL_LIBFUZZER
int main(int argc, char **argv) {
  double limit = argc > 1 ? std::atof(argv[1]) : 3.0;
  keltest::MutationPlan plan;
  plan.corpus = seeds();
  plan.pieces = {
      "<Part>", "</Part>", "<key>", "</key>", "<key/>", "<Shipment>", "</Shipment>", "<line no=\"3\">", "</line>",
      "<ship>", "</ship>", "<memo>", "</memo>", "<mno>5</mno>", " key=\"9\"", " id=\"9\"", " no=\"9\"",
      " color=\"x\"", "<![CDATA[z]]>", "<!-- c -->", "<?pi x?>", "&amp;", "&#233;", "\xc3\xa9", "<Order>",
      "</Order>", "<po>", "</po>", "<Note>", "</Note>", "<lines>", "</lines>", "<x:y xmlns:x=\"u\"/>"};
  plan.alphabet = "<>/=\"' .abcKey0123456789&;\n";
  plan.maxCopy = 128;
  plan.seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20261208;
  size_t runs = keltest::mutateFor(limit, plan, runOne);
  std::printf("%zu documents, no finding\n", runs);
  return 0;
}
#endif
