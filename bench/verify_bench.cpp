/*
 * verify_bench.cpp - verifying an XML column against its side tables (kelVerifyColumn's worker)
 * against the floor of the same work: 20,000 order documents of about 1 KB in an XMLVarchar
 * column with side tables for customer, status (one table) and every item's price (several
 * values).  The floor is one pass over the documents (the same cursor over the user table) with
 * one extraction per document and side-table column, each column with its own reusable
 * extraction engine, measured in the same run.  Prints seconds, documents/s and the ratio
 * (target: at most 1.5).  Not a test.
 */
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "benchutil.h"
#include "sideorders.h"
#include "kelcol.h"
#include "kelctx.h"
#include "kelenable.h"
#include "kelextract.h"
#include "kelmsg.h"
#include "kelSgDoc.h"
#include "kelverify.h"
#include "quarnapp.h"

namespace {

using bench::check;
using bench::kSideDad;
using bench::orderDoc;

struct PathOf {
  const char *path;
  bool multi;
};
constexpr PathOf kPaths[] = {{"/order/customer", false}, {"/order/@status", false}, {"/order/item/price", true}};

bool exec(const char *sql) {
  sqlca ca{};
  return check(quarn_execute_immediate(sql, &ca), ca, sql);
}

// The floor: every document read once through a cursor, each side-table column extracted with
// its own engine.  Returns the values extracted, or -1.
long floorPass(KelCallContext *ctx) {
  std::vector<std::unique_ptr<KelExtractor>> extractors;
  for (size_t i = 0; i < std::size(kPaths); ++i) extractors.push_back(std::make_unique<KelExtractor>(ctx));
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (!check(quarn_prepare("SELECT KELROOT_ID, doc FROM bench.orders WHERE doc IS NOT NULL", &stmt, &ca), ca, "prepare") ||
      !check(quarn_open(stmt, 0, nullptr, &ca), ca, "open"))
    return -1;
  std::vector<char> root(sizeof(sqluint32) + 256), doc(sizeof(sqluint32) + (1 << 20) + 1);
  short rootInd = 0, docInd = 0;
  long values = 0;
  char state[6], msg[KEL_MSG_BUFFER + 1];
  for (;;) {
    quarn_hostvar out[2] = {{SQL_TYP_BLOB, 255, root.data(), &rootInd}, {SQL_TYP_CLOB, 1 << 20, doc.data(), &docInd}};
    int code = quarn_fetch(stmt, 2, out, &ca);
    if (code == 100) break;
    if (!check(code, ca, "fetch")) return -1;
    auto *lob = reinterpret_cast<quarn_lob *>(doc.data());
    lob->data[lob->length] = '\0';
    for (size_t i = 0; i < std::size(kPaths); ++i) {
      if (!kPaths[i].multi) {
        char *value = nullptr;
        if (extractOne(extractors[i].get(), ctx, lob->data, nullptr, 1, KEL_DOC_IN_MEMORY, 0, kPaths[i].path, &value,
                       4000, state, msg) == 0)
          ++values;
        std::free(value);
        continue;
      }
      KelExtractResult result{nullptr, nullptr, "00000", msg};
      if (extractors[i]->run(lob->data, nullptr, 1, KEL_DOC_IN_MEMORY, 0, kPaths[i].path, &result, 254, state, msg) == 0)
        for (char **item = result.items; item != nullptr && *item != nullptr; ++item) ++values;
      kelFreeExtractResult(&result);
    }
  }
  quarn_free_stmt(stmt);
  return values;
}

// The verification through the procedure's worker; returns its return code.
int verifyPass(KelCallContext *ctx, KelVerifyCounts *counts) {
  char msg[KEL_MSG_BUFFER + 1];
  const int32_t repair = 0;
  int rc = kelVerifyColumnMain(ctx, "bench.orders", "doc", &repair, counts, nullptr, msg);
  if (rc != 0) std::fprintf(stderr, "verify: %d %s", rc, msg);
  return rc;
}

}  // namespace

// Arguments: [N [floor|verify]]: N documents (default 20000); with a mode only that pass runs
// once after the set-up, for `valgrind --tool=callgrind --toggle-collect='*floorPass*'` or
// `--toggle-collect='*kelVerifyColumnMain*'`.
int main(int argc, char **argv) {
  const int nDocs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const std::string mode = argc > 2 ? argv[2] : "";
  std::string inst = bench::freshInstance("kelverifybench");
  sqlca ca{};
  if (!bench::createAndRegister("BENCH", kelEnableList(), &ca)) return 1;
  KelCallContext ctx{};
  char state[6], msg[KEL_MSG_BUFFER + 1];
  KelCodePageRequest request{0, 1208, nullptr};
  if (kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") < 0 || kelCheckParserForCall(&ctx, state, msg) < 0)
    return 1;

  // The documents are stored first; enablement then fills the side tables from them.
  size_t bytes = 0;
  {
    if (!exec("CREATE TABLE bench.orders (id INTEGER NOT NULL PRIMARY KEY, doc quarnxml.XMLVarchar)")) return 1;
    quarn_stmt *ins = nullptr;
    if (!check(quarn_prepare("INSERT INTO bench.orders (id, doc) VALUES (?, quarnxml.XMLVarchar(CAST(? AS "
                             "VARCHAR(3000))))",
                             &ins, &ca),
               ca, "prepare insert"))
      return 1;
    for (int i = 0; i < nDocs; ++i) {
      std::string d = orderDoc(i);
      bytes += d.size();
      sqlint32 id = i;
      quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &id, nullptr}, {SQL_TYP_CSTR, 3001, d.data(), nullptr}};
      if (!check(quarn_execute(ins, 2, in, &ca), ca, "insert")) return 1;
    }
    quarn_free_stmt(ins);
    KelEnableColumnArgs args;
    args.tableName = "bench.orders";
    args.columnName = "doc";
    args.dad = kSideDad;
    args.dadLen = static_cast<int32_t>(std::strlen(kSideDad));
    if (kelEnableColumnMain(&ctx, args, msg) != 0) {
      std::fprintf(stderr, "enable: %s\n", msg);
      return 1;
    }
    if (!check(quarn_commit(&ca), ca, "commit")) return 1;
  }

  int status = 0;
  KelVerifyCounts counts;
  if (mode == "floor") {
    if (floorPass(&ctx) < 0) status = 1;
  } else if (mode == "verify") {
    if (verifyPass(&ctx, &counts) != 0) status = 1;
  } else {
    // A warm-up, then the best of five passes each way, alternating.
    constexpr int kPasses = 5;
    double floorSecs = 1e30, verifySecs = 1e30;
    long values = 0;
    for (int pass = 0; pass <= kPasses && status == 0; ++pass) {
      auto t0 = bench::Clock::now();
      values = floorPass(&ctx);
      double f = bench::secondsSince(t0);
      t0 = bench::Clock::now();
      if (verifyPass(&ctx, &counts) != 0 || values < 0) status = 1;
      double v = bench::secondsSince(t0);
      sqlca end{};
      quarn_commit(&end);
      if (pass == 0) continue;
      floorSecs = std::min(floorSecs, f);
      verifySecs = std::min(verifySecs, v);
    }
    std::printf("%d documents, %zu bytes on average, %ld values in the side tables\n", nDocs, bytes / nDocs, values);
    std::printf("floor: one extraction per document and column %8.3f s %9.0f docs/s\n", floorSecs, nDocs / floorSecs);
    std::printf("verify (kelVerifyColumn, nothing differs)      %8.3f s %9.0f docs/s (%lld verified)\n", verifySecs,
                nDocs / verifySecs, static_cast<long long>(counts.documents));
    std::printf("verify / floor                                 %8.2f  (target: at most 1.5)\n", verifySecs / floorSecs);
  }
  kelTerm(&ctx, state);
  quarn_connect_reset(&ca);
  std::filesystem::remove_all(inst);
  return status;
}
