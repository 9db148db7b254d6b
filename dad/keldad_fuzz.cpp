/*
 * keldad_fuzz.cpp - fuzz target for the DAD layer: every input is read as a DAD (through the
 * parsed-DAD cache, as a collection and as an Xcolumn DAD), modelled in both modes (with a
 * composition override), and parsed as a top join condition and as a column condition.  Built
 * two ways, as xml/kelxml_fuzz.cpp is:
 *  - with clang and -DKEL_FUZZ=ON as a libFuzzer target (LLVMFuzzerTestOneInput);
 *  - otherwise with a driver of its own that mutates seed DADs and conditions at random for the
 *    number of seconds given as its argument (default 3), under whatever sanitizers the build
 *    uses; a second argument seeds the mutations, so longer runs can differ.
 * A finding is a crash, a sanitizer report or a broken contract: a failure without a catalogue
 * message, a success with one, or a model beyond its limits.
 */
#include <unicode/ustring.h>

#include <chrono>
#include <climits>
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

#include "kel_mutate.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "keldadread.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "kelrel.h"

namespace {

KelCallContext *fuzzContext() {
  static KelCallContext ctx{};
  static bool ready = false;
  if (!ready) {
    const std::string &dir = keltest::fuzzDirectory("keldadfuzz");
    setenv("QUARNINSTANCE", "fuzz", 1);
    setenv("QUARNKELPATH", dir.c_str(), 1);
    char state[6], msg[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{0, 1208, nullptr};
    if (kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") < 0) std::abort();
    ready = true;
  }
  return &ctx;
}

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "contract broken: %s\n", what);
    std::abort();
  }
}

// A result and its message agree: a failure has a catalogue message, a success none is needed.
void checkOutcome(int rc, const char *msg) {
  if (rc < 0) check(std::strncmp(msg, "KEL", 3) == 0 || std::strncmp(msg, "SQL", 3) == 0, "a failure has a message");
  check(std::strlen(msg) <= KEL_MSG_BUFFER, "message within its buffer");
}

void checkModel(const KEL_REL &rel) {
  check(rel.tab.size() <= KEL_NUMTAB_IN_REL, "at most 30 tables");
  check(rel.numConditions == static_cast<int>(rel.joins.size()), "one condition per join parsed");
  for (const KEL_TAB &t : rel.tab) {
    check(t.priKey.size() <= KEL_MAX_KEYS, "at most 16 keys");
    check(t.foreignKey.size() <= KEL_MAX_FOREIGN_KEYS, "at most 16 foreign keys");
    check(t.col2xml.size() <= KEL_MAX_COLS_IN_TAB, "at most 500 columns");
    check(t.condition.size() <= KEL_MAX_STMT_LEN, "condition within the statement limit");
    check(t.schema.size() <= KEL_MAX_SCHEMA_NAME && t.name.size() <= KEL_MAX_TABLE_NAME, "names within limits");
    for (const KelCol2Xml &c : t.col2xml) {
      check(c.xml.size() <= KEL_MAX_XML_NAME, "XML names within 63 bytes");
      check(c.dataType.size() <= KEL_MAX_TYPE_TEXT, "types within their room");
      check(c.col.size() <= KEL_MAX_COLUMN_NAME, "column names within limits");
    }
    for (const KelForeignKey &fk : t.foreignKey) {
      check(fk.join >= 0 && fk.join < static_cast<int>(t.joinInfo.size()), "foreign key names a join column");
      check(fk.ancestorTab >= 0 && fk.ancestorTab < static_cast<int>(rel.tab.size()), "foreign key names a table");
      check(fk.ancestorCol >= 0 &&
                fk.ancestorCol < static_cast<int>(rel.tab[static_cast<size_t>(fk.ancestorTab)].col2xml.size()),
            "foreign key names a column");
    }
  }
  kelRelToText(rel);
}

// The input as a top join condition over tables A, B and C, and as a column condition.
void runCondition(KelCallContext *ctx, const std::string &text) {
  std::u16string text16(text.size() + 1, u'\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(text16.data(), static_cast<int32_t>(text16.size()), &n, text.c_str(),
                       static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &err);
  if (U_FAILURE(err)) return;
  text16.resize(static_cast<size_t>(n));
  KEL_REL rel;
  for (const char *name : {"A", "B", "C"}) {
    KEL_TAB t;
    t.name = name;
    rel.tab.push_back(t);
  }
  char state[6] = "00000", msg[KEL_MSG_BUFFER + 1] = "";
  int rc = whereparser(ctx, &rel, KEL_MODE_DECOMPOSE, text16.c_str(), state, msg);
  checkOutcome(rc, msg);
  if (rc == 0) checkModel(rel);
  msg[0] = '\0';
  checkOutcome(kelCheckColumnCondition(ctx, text, state, msg), msg);
}

void runOne(const uint8_t *data, size_t size) {
  KelCallContext *ctx = fuzzContext();
  std::string input(reinterpret_cast<const char *>(data), size);
  input = input.c_str();  // DADs are terminated texts
  runCondition(ctx, input);

  char state[6] = "00000", msg[KEL_MSG_BUFFER + 1] = "";
  {
    KelDad dad;
    int rc = kelDadOpen(ctx, input.c_str(), 1, 0, KEL_DAD_XCOLUMN, &dad, state, msg);
    checkOutcome(rc, msg);
    check((rc == 0) == dad.ok(), "an Xcolumn DAD is held exactly when it was read");
    if (rc == 0) {
      std::vector<KelSideTable> tables;
      msg[0] = '\0';
      checkOutcome(kelReadXcolumn(ctx, dad.root(), &tables, state, msg), msg);
    }
  }
  KelDad dad;
  msg[0] = '\0';
  int rc = kelDadOpen(ctx, input.c_str(), 1, 0, KEL_DAD_XCOLLECTION, &dad, state, msg);
  checkOutcome(rc, msg);
  if (rc < 0) return;
  std::vector<KelDadMappedNode> nodes;
  kelListMappedNodes(ctx, dad.header().rootElement, &nodes);

  KEL_REL rel;
  msg[0] = '\0';
  rc = kelDadRelation(ctx, &dad, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg);
  checkOutcome(rc, msg);
  if (rc == 0) checkModel(rel);
  // Composition's model without the catalogue, with an override.
  KelOverrideList overrides;
  overrides.push_back(KelOverride{std::make_unique<KelQuery>(ctx, u"/Order/Part/Quantity"), "> 1", false});
  KEL_REL compose;
  msg[0] = '\0';
  rc = kelSetRelTables(ctx, &compose, dad.root(), KEL_MODE_COMPOSE, state, msg);
  if (rc == 0) rc = kelProcRel(ctx, &compose, dad.header().rootElement, KEL_MODE_COMPOSE, &overrides, state, msg);
  checkOutcome(rc, msg);
  if (rc == 0) checkModel(compose);
}

std::vector<std::string> seeds() {
  std::vector<std::string> out = {
      "<DAD><validation>YES</validation><Xcolumn><table name=\"s\"><column name=\"c\" type=\"int\" "
      "path=\"/a/b\" multi_occurrence=\"NO\"/></table></Xcolumn></DAD>",
      "<DAD><Xcollection><root_node><element_node name=\"r\"><RDB_node><table name=\"a\" key=\"k\"/>"
      "<table name=\"b\"/><condition>a.k = b.k AND b.x = a.y</condition></RDB_node>"
      "<attribute_node name=\"k\"><RDB_node><table name=\"a\"/><column name=\"k\" type=\"int\"/></RDB_node>"
      "</attribute_node><element_node name=\"e\" multi_occurrence=\"YES\"><text_node><RDB_node>"
      "<table name=\"b\"/><column name=\"v\" type=\"varchar(9)\"/><condition>v &gt; 'x' OR v = ')'</condition>"
      "</RDB_node></text_node></element_node></element_node></root_node></Xcollection></DAD>",
      "A.ID = B.AID AND B.ID = C.BID",
      "S.A.ID = \"B\".\"A\"\"ID\" AND A.X = A.Y OR 1=1",
      "(STATUS = 'A' OR STATUS = 'B') AND X <> 'it''s' -- c",
  };
#ifdef KEL_SOURCE_DIR
  for (const char *name : {"po_rdb.dad", "po_sql.dad"}) {
    std::ifstream in(std::string(KEL_SOURCE_DIR) + "/tests/data/dad/" + name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!text.empty()) out.push_back(text);
  }
#endif
  return out;
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
      "<element_node name=\"x\">", "</element_node>", "<attribute_node name=\"a\">", "</attribute_node>",
      "<text_node>", "</text_node>", "<RDB_node>", "</RDB_node>", "<table name=\"a\"/>", "<table name=\"b.c\"/>",
      "<column name=\"c\" type=\"int\"/>", "<condition>", "</condition>", " multi_occurrence=\"YES\"", " AND ",
      " = ", "\"", "'", "(", ")", ";", "--", "&gt;", "<!-- c -->", "<![CDATA[x]]>", "<dtdid>d</dtdid>",
      "<schemabindings><nonamespacelocation location=\"l\"/></schemabindings>", "<validation>no</validation>",
      "<root_node>", "</root_node>", "<Xcollection>", "</Xcollection>", "<SQL_stmt>select 1</SQL_stmt>",
      "<prolog>?xml version=\"1.0\"?</prolog>", "<doctype/>", "<!DOCTYPE DAD [<!ENTITY e \"x\">]>", "&e;",
      "\xc3\xa9", "\xff"};
  plan.alphabet = "<>/=\"' .ABCabc_(),;-&\n";
  plan.maxCopy = 64;
  plan.seed = argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 20240;
  size_t runs = keltest::mutateFor(limit, plan, runOne);
  std::printf("%zu inputs, no finding\n", runs);
  return 0;
}
#endif
