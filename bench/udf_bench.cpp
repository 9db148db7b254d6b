/*
 * udf_bench.cpp - cost of an external scalar function call through the engine: the trivial
 * function tinc of the test routine library (x + 1), called once per row by
 * "SELECT SUM(tinc(id))" through the embedded runtime, against the same entry registered
 * directly as a SQLite function that makes the same QUARNSQL call, in one run; prints calls/s
 * and the ratio (target: the engine adds under 30%, ratio under 1.3x).
 * Usage: udf_bench [rows [engine|sqlite]] (default 200000 rows, both paths).  With a path named
 * only that path runs, so that `valgrind --tool=callgrind` can compare the instruction counts of
 * the two paths, which a shared machine's wall clock cannot; `--toggle-collect='*timed*'` limits
 * the count to the measured query.  Works in a temporary instance it removes.
 */
#include <dlfcn.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "benchutil.h"
#include "quarnapp.h"

namespace {

using bench::Clock;
using bench::check;
using bench::seconds;
using Tinc = void (*)(sqlint32 *, sqlint32 *, short *, short *, char *, char *, char *, char *);

// The direct SQLite function: the same arguments the engine passes.
void directTinc(sqlite3_context *ctx, int, sqlite3_value **argv) {
  auto fn = reinterpret_cast<Tinc>(sqlite3_user_data(ctx));
  sqlint32 in = sqlite3_value_int(argv[0]), out = 0;
  short inInd = sqlite3_value_type(argv[0]) == SQLITE_NULL ? -1 : 0, outInd = -1;
  char state[6] = "00000", fname[28] = "TINC", specific[19] = "TINC", msg[71] = "";
  fn(&in, &out, &inInd, &outInd, state, fname, specific, msg);
  if (outInd < 0) sqlite3_result_null(ctx);
  else sqlite3_result_int(ctx, out);
}

bool fill(int rows, const char *insertSql, sqlite3 *db) {
  sqlite3_stmt *ins = nullptr;
  if (sqlite3_prepare_v2(db, insertSql, -1, &ins, nullptr) != SQLITE_OK) return false;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int id = 0; id < rows; ++id) {
    sqlite3_bind_int(ins, 1, id);
    if (sqlite3_step(ins) != SQLITE_DONE) return false;
    sqlite3_reset(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_finalize(ins);
  return true;
}

// The measured parts of both paths, kept out of line so that
// `valgrind --tool=callgrind --toggle-collect='*timed*'` counts exactly them.
__attribute__((noinline)) bool timedEngine(quarn_stmt *sel, quarn_hostvar *out, sqlca *ca) {
  if (!check(quarn_open(sel, 0, nullptr, ca), *ca, "open")) return false;
  if (quarn_fetch(sel, 1, out, ca) != 0) return check(-1, *ca, "fetch");
  quarn_close(sel, ca);
  return true;
}

__attribute__((noinline)) bool timedSqlite(sqlite3_stmt *sel, long long *sum) {
  if (sqlite3_step(sel) != SQLITE_ROW) return false;
  *sum = sqlite3_column_int64(sel, 0);
  return true;
}

bool runEngine(int rows, int passes, double *secs, long long *sum) {
  sqlca ca;
  if (!check(quarn_create_database("BENCH", &ca), ca, "create")) return false;
  if (!check(quarn_connect("BENCH", nullptr, nullptr, &ca), ca, "connect")) return false;
  if (!check(quarn_execute_immediate("CREATE TABLE b.t (id INTEGER NOT NULL)", &ca), ca, "create table")) return false;
  if (!check(quarn_execute_immediate("CREATE FUNCTION b.tinc(INTEGER) RETURNS INTEGER EXTERNAL NAME "
                                     "'quarntestroutines!tinc' LANGUAGE C PARAMETER STYLE QUARNSQL NO SQL NOT FENCED",
                                     &ca),
             ca, "create function"))
    return false;
  quarn_stmt *ins = nullptr, *sel = nullptr;
  if (!check(quarn_prepare("INSERT INTO b.t VALUES (?)", &ins, &ca), ca, "prepare insert")) return false;
  sqlint32 id = 0;
  quarn_hostvar in{SQL_TYP_INTEGER, 4, &id, nullptr};
  for (id = 0; id < rows; ++id)
    if (!check(quarn_execute(ins, 1, &in, &ca), ca, "insert")) return false;
  quarn_commit(&ca);
  if (!check(quarn_prepare("SELECT SUM(b.tinc(id)) FROM b.t", &sel, &ca), ca, "prepare select")) return false;
  sqlint64 total = 0;
  quarn_hostvar out{SQL_TYP_BIGINT, 8, &total, nullptr};
  double best = 1e30;
  for (int pass = 0; pass < passes; ++pass) {
    auto a = Clock::now();
    if (!timedEngine(sel, &out, &ca)) return false;
    best = std::min(best, seconds(a, Clock::now()));
  }
  quarn_commit(&ca);
  quarn_free_stmt(ins);
  quarn_free_stmt(sel);
  quarn_connect_reset(&ca);
  quarn_drop_database("BENCH", &ca);
  *secs = best;
  *sum = total;
  return true;
}

bool runSqlite(const std::string &file, int rows, int passes, double *secs, long long *sum) {
  void *lib = dlopen(QUARN_TEST_ROUTINES, RTLD_NOW | RTLD_LOCAL);
  void *fn = lib ? dlsym(lib, "tinc") : nullptr;
  if (fn == nullptr) {
    std::fprintf(stderr, "cannot load tinc from %s\n", QUARN_TEST_ROUTINES);
    return false;
  }
  sqlite3 *db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE t (id INTEGER NOT NULL)", nullptr, nullptr, nullptr);
  sqlite3_create_function_v2(db, "tinc", 1, SQLITE_UTF8, fn, directTinc, nullptr, nullptr, nullptr);
  if (!fill(rows, "INSERT INTO t VALUES (?)", db)) return false;
  sqlite3_stmt *sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT SUM(tinc(id)) FROM t", -1, &sel, nullptr);
  double best = 1e30;
  for (int pass = 0; pass < passes; ++pass) {
    auto a = Clock::now();
    bool ok = timedSqlite(sel, sum);
    best = std::min(best, seconds(a, Clock::now()));
    sqlite3_reset(sel);
    if (!ok) return false;
  }
  sqlite3_finalize(sel);
  sqlite3_close(db);
  *secs = best;
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 200000;
  if (rows < 1) rows = 1;
  const std::string only = argc > 2 ? argv[2] : "";
  if (!only.empty() && only != "engine" && only != "sqlite") {
    std::fprintf(stderr, "usage: udf_bench [rows [engine|sqlite]]\n");
    return 2;
  }
  char tmpl[] = "/tmp/quarnbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  setenv("QUARNPATH", dir.c_str(), 1);
  double engine = 0, raw = 0;
  long long engineSum = 0, rawSum = 0;
  bool ok = true;
  // Alone (for instruction counts) a path runs once; together each runs three times and the
  // best time counts, so that other work on a shared machine does not decide the ratio.
  const int passes = only.empty() ? 3 : 1;
  if (only != "sqlite") ok = runEngine(rows, passes, &engine, &engineSum);
  if (ok && only != "engine") ok = runSqlite(dir + "/raw.db", rows, passes, &raw, &rawSum);
  std::filesystem::remove_all(dir);
  if (ok && !only.empty()) {
    long long sum = only == "engine" ? engineSum : rawSum;
    double secs = only == "engine" ? engine : raw;
    std::printf("calls: %d  %s %10.0f calls/s  (sum %lld)\n", rows, only.c_str(), rows / secs, sum);
    return 0;
  }
  if (!ok || engineSum != rawSum) {
    std::fprintf(stderr, "udf_bench: a run failed (sums %lld and %lld)\n", engineSum, rawSum);
    return 1;
  }
  std::printf("calls: %d, best of 3 passes\n", rows);
  std::printf("scalar function  engine %10.0f calls/s  sqlite %10.0f calls/s  ratio %.2fx\n", rows / engine,
              rows / raw, engine / raw);
  std::printf("target: ratio under 1.3x\n");
  return 0;
}
