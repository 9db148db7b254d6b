/*
 * engine_bench.cpp - overhead of the engine over SQLite: a prepared INSERT and a point SELECT
 * through the embedded runtime (translation cache, host variables, type checks) against the
 * same statements on a plain SQLite table, measured in one run, printed as rows/s and ratio.
 * Usage: engine_bench [rows]   (default 20000).  Works in a temporary instance it removes.
 */
#include <sqlite3.h>
#include <stdlib.h>

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

struct Timing {
  double insert = 0, select = 0;
};

bool runEngine(int rows, Timing *t) {
  sqlca ca;
  if (!check(quarn_create_database("BENCH", &ca), ca, "create")) return false;
  if (!check(quarn_connect("BENCH", nullptr, nullptr, &ca), ca, "connect")) return false;
  if (!check(quarn_execute_immediate("CREATE TABLE b.t (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40))", &ca), ca,
             "create table"))
    return false;
  quarn_commit(&ca);
  quarn_stmt *ins = nullptr, *sel = nullptr;
  if (!check(quarn_prepare("INSERT INTO b.t VALUES (?, ?)", &ins, &ca), ca, "prepare insert")) return false;
  sqlint32 id = 0;
  char name[41];
  quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &id, nullptr}, {SQL_TYP_CSTR, sizeof name, name, nullptr}};
  auto a = Clock::now();
  for (id = 0; id < rows; ++id) {
    std::snprintf(name, sizeof name, "name %d", id);
    if (!check(quarn_execute(ins, 2, in, &ca), ca, "insert")) return false;
  }
  quarn_commit(&ca);
  auto b = Clock::now();
  if (!check(quarn_prepare("SELECT name FROM b.t WHERE id = ?", &sel, &ca), ca, "prepare select")) return false;
  char out[41];
  quarn_hostvar o{SQL_TYP_CSTR, sizeof out, out, nullptr};
  auto c = Clock::now();
  for (id = 0; id < rows; ++id) {
    if (!check(quarn_open(sel, 1, in, &ca), ca, "open")) return false;
    if (quarn_fetch(sel, 1, &o, &ca) != 0) return false;
    quarn_close(sel, &ca);
  }
  quarn_commit(&ca);
  auto d = Clock::now();
  quarn_free_stmt(ins);
  quarn_free_stmt(sel);
  quarn_connect_reset(&ca);
  quarn_drop_database("BENCH", &ca);
  t->insert = seconds(a, b);
  t->select = seconds(c, d);
  return true;
}

bool runSqlite(const std::string &file, int rows, Timing *t) {
  sqlite3 *db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
                   "CREATE TABLE t (id INTEGER NOT NULL, name VARCHAR(40)); CREATE UNIQUE INDEX tk ON t(id);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt *ins = nullptr, *sel = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?)", -1, &ins, nullptr);
  sqlite3_prepare_v2(db, "SELECT name FROM t WHERE id = ?", -1, &sel, nullptr);
  char name[41];
  auto a = Clock::now();
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int id = 0; id < rows; ++id) {
    std::snprintf(name, sizeof name, "name %d", id);
    sqlite3_bind_int(ins, 1, id);
    sqlite3_bind_text(ins, 2, name, -1, SQLITE_TRANSIENT);
    if (sqlite3_step(ins) != SQLITE_DONE) return false;
    sqlite3_reset(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  auto b = Clock::now();
  char out[41];
  auto c = Clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int id = 0; id < rows; ++id) {
    sqlite3_bind_int(sel, 1, id);
    if (sqlite3_step(sel) != SQLITE_ROW) return false;
    std::snprintf(out, sizeof out, "%s", reinterpret_cast<const char *>(sqlite3_column_text(sel, 0)));
    sqlite3_reset(sel);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  auto d = Clock::now();
  sqlite3_finalize(ins);
  sqlite3_finalize(sel);
  sqlite3_close(db);
  t->insert = seconds(a, b);
  t->select = seconds(c, d);
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
  if (rows < 1) rows = 1;
  char tmpl[] = "/tmp/quarnbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  setenv("QUARNPATH", dir.c_str(), 1);
  Timing engine, raw;
  bool ok = runEngine(rows, &engine) && runSqlite(dir + "/raw.db", rows, &raw);
  std::filesystem::remove_all(dir);
  if (!ok) {
    std::fprintf(stderr, "engine_bench: a run failed\n");
    return 1;
  }
  std::printf("rows: %d\n", rows);
  std::printf("prepared INSERT  engine %10.0f rows/s  sqlite %10.0f rows/s  ratio %.2fx\n", rows / engine.insert,
              rows / raw.insert, engine.insert / raw.insert);
  std::printf("point SELECT     engine %10.0f rows/s  sqlite %10.0f rows/s  ratio %.2fx\n", rows / engine.select,
              rows / raw.select, engine.select / raw.select);
  std::printf("target: ratio under 1.5x\n");
  return 0;
}
