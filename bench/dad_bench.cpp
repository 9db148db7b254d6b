/*
 * dad_bench.cpp - reading and modelling the three-table purchase-order DAD
 * (tests/data/dad/po_rdb.dad) once per call, as a procedure called once per document does:
 * kelDadOpen and kelDadRelation (decomposition's model) with the parsed-DAD cache switched
 * off and on, against the floor of a bare DOM parse of the same text (kelDOM) measured in the
 * same run.  Prints microseconds per call, calls/s and the ratio to the floor, best of three
 * passes after a warm-up.  Not a test: it never fails a build.
 *
 * `dad_bench N raw|nocache|cache` runs one path N times, for instruction counts:
 *   valgrind --tool=callgrind --toggle-collect='*runPath*' build/bin/dad_bench 2000 cache
 */
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "benchutil.h"
#include "kelSgDoc.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "kelmsg.h"
#include "kelrel.h"

namespace {

KelCallContext ctx{};
char state[6], msg[KEL_MSG_BUFFER + 1];

enum class Path { Raw, NoCache, Cache };

// One call's work on the DAD.  Returns false on a failure (printed).
bool callOnce(Path path, const std::string &dad) {
  if (path == Path::Raw) {
    xercesc::DOMDocument *doc = nullptr;
    if (kelDOM(&ctx, dad.c_str(), 0, KEL_DOC_IN_MEMORY, &doc, state, msg) < 0) return false;
    doc->release();
    return true;
  }
  KelDad parsed;
  KEL_REL rel;
  return kelDadOpen(&ctx, dad.c_str(), KEL_DOC_IN_MEMORY, 0, KEL_DAD_XCOLLECTION, &parsed, state, msg) == 0 &&
         kelDadRelation(&ctx, &parsed, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg) == 0 && rel.tab.size() == 3;
}

// The measured loop (named for callgrind's --toggle-collect).
__attribute__((noinline)) bool runPath(Path path, const std::string &dad, long n) {
  kelDadCacheConfigure(path == Path::Cache ? KEL_DAD_CACHE_DEFAULT : 0);
  for (long i = 0; i < n; ++i)
    if (!callOnce(path, dad)) {
      std::fprintf(stderr, "call failed: %s", msg);
      return false;
    }
  return true;
}

double bestOf3(Path path, const std::string &dad, long n) {
  double best = 1e30;
  runPath(path, dad, n / 10 + 1);  // warm-up (and, with the cache, its one parse)
  for (int pass = 0; pass < 3; ++pass) {
    auto start = bench::Clock::now();
    if (!runPath(path, dad, n)) std::exit(1);
    best = std::min(best, bench::secondsSince(start));
  }
  return best;
}

}  // namespace

int main(int argc, char **argv) {
  long n = argc > 1 ? std::atol(argv[1]) : 20000;
  std::string dir = (std::filesystem::temp_directory_path() / "keldadbench").string();
  std::filesystem::create_directories(dir);
  setenv("QUARNINSTANCE", "bench", 1);
  setenv("QUARNKELPATH", dir.c_str(), 1);
  KelCodePageRequest request{0, 1208, nullptr};
  if (kelInit(&ctx, KEL_FULL_MESSAGES, &request, state, msg, "UTF-8") < 0) {
    std::fprintf(stderr, "kelInit: %s", msg);
    return 1;
  }
  std::ifstream in(std::string(KEL_SOURCE_DIR) + "/tests/data/dad/po_rdb.dad", std::ios::binary);
  const std::string dad((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (dad.empty()) {
    std::fprintf(stderr, "po_rdb.dad not found\n");
    return 1;
  }

  if (argc > 2) {
    Path path = std::strcmp(argv[2], "raw") == 0       ? Path::Raw
                : std::strcmp(argv[2], "nocache") == 0 ? Path::NoCache
                                                       : Path::Cache;
    bool ok = runPath(path, dad, n);
    kelTerm(&ctx, state);
    return ok ? 0 : 1;
  }

  std::printf("DAD of %zu bytes, %ld calls per pass, best of 3\n", dad.size(), n);
  const double raw = bestOf3(Path::Raw, dad, n);
  const double nocache = bestOf3(Path::NoCache, dad, n);
  const double cache = bestOf3(Path::Cache, dad, n);
  auto line = [&](const char *what, double s) {
    std::printf("%-34s %8.2f us/call %10.0f calls/s  ratio to the parse %5.2f\n", what, s / n * 1e6, n / s, s / raw);
  };
  line("parse only (kelDOM, the floor)", raw);
  line("read and model, no cache", nocache);
  line("read and model, with the cache", cache);
  std::printf("the cache saves %.1f%% of a call\n", 100.0 * (1.0 - cache / nocache));
  kelTerm(&ctx, state);
  return 0;
}
