/*
 * engine_bench.cpp - overhead of the engine over SQLite, measured in one run and printed as
 * rows/s and ratio (target: under 1.5x each):
 *   prepared INSERT and point SELECT through the embedded runtime (translation cache, host
 *   variables, type checks, assignment conversion) against the same statements on SQLite;
 *   equality lookups and an index join on a CHAR(12) key of 100,000 rows: the engine compares
 *   strings blank-padded (RTRIM collation), which must keep the lookups on the key's index.
 * Usage: engine_bench [rows] [engine|sqlite]   (default 20000 rows; the key table has 100,000).
 * With a side given only that side runs, for instruction counts:
 *   valgrind --tool=callgrind --toggle-collect='*timed*' build/bin/engine_bench 20000 engine
 * counts only the measured loops.  Works in a temporary instance it removes.
 */
#include <sqlite3.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "benchutil.h"
#include "quarnapp.h"

namespace {

using bench::Clock;
using bench::check;
using bench::seconds;

constexpr int kKeyRows = 100000;

struct Timing {
  double insert = 0, select = 0, keyLookup = 0, keyJoin = 0;
};

void keyText(char *buf, size_t size, int k) { std::snprintf(buf, size, "key%07d", k); }

// ---- the engine through the embedded runtime ----------------------------------------------

__attribute__((noinline)) bool timedEngineInsert(quarn_stmt *ins, int rows) {
  sqlca ca;
  sqlint32 id = 0;
  char name[41];
  quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &id, nullptr}, {SQL_TYP_CSTR, sizeof name, name, nullptr}};
  for (id = 0; id < rows; ++id) {
    std::snprintf(name, sizeof name, "name %d", id);
    if (!check(quarn_execute(ins, 2, in, &ca), ca, "insert")) return false;
  }
  quarn_commit(&ca);
  return true;
}

__attribute__((noinline)) bool timedEngineSelect(quarn_stmt *sel, int rows) {
  sqlca ca;
  sqlint32 id = 0;
  quarn_hostvar in{SQL_TYP_INTEGER, 4, &id, nullptr};
  char out[41];
  quarn_hostvar o{SQL_TYP_CSTR, sizeof out, out, nullptr};
  for (id = 0; id < rows; ++id) {
    if (!check(quarn_open(sel, 1, &in, &ca), ca, "open")) return false;
    if (quarn_fetch(sel, 1, &o, &ca) != 0) return false;
    quarn_close(sel, &ca);
  }
  quarn_commit(&ca);
  return true;
}

__attribute__((noinline)) bool timedEngineKeyLookup(quarn_stmt *sel, int lookups) {
  sqlca ca;
  char key[16];
  quarn_hostvar in{SQL_TYP_CSTR, sizeof key, key, nullptr};
  sqlint32 v = 0;
  quarn_hostvar o{SQL_TYP_INTEGER, 4, &v, nullptr};
  for (int k = 0; k < lookups; ++k) {
    keyText(key, sizeof key, (k * 7919) % kKeyRows);
    if (!check(quarn_open(sel, 1, &in, &ca), ca, "open key")) return false;
    if (quarn_fetch(sel, 1, &o, &ca) != 0) return false;
    quarn_close(sel, &ca);
  }
  quarn_commit(&ca);
  return true;
}

__attribute__((noinline)) bool timedEngineKeyJoin(quarn_stmt *join, sqlint64 *sum) {
  sqlca ca;
  quarn_hostvar o{SQL_TYP_BIGINT, 8, sum, nullptr};
  if (!check(quarn_open(join, 0, nullptr, &ca), ca, "open join")) return false;
  if (quarn_fetch(join, 1, &o, &ca) != 0) return false;
  quarn_close(join, &ca);
  quarn_commit(&ca);
  return true;
}

bool runEngine(int rows, Timing *t) {
  sqlca ca;
  if (!check(quarn_create_database("BENCH", &ca), ca, "create")) return false;
  if (!check(quarn_connect("BENCH", nullptr, nullptr, &ca), ca, "connect")) return false;
  for (const char *ddl : {"CREATE TABLE b.t (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40))",
                          "CREATE TABLE b.c (k CHAR(12) NOT NULL PRIMARY KEY, v INTEGER)",
                          "CREATE TABLE b.d (k CHAR(12) NOT NULL)"})
    if (!check(quarn_execute_immediate(ddl, &ca), ca, ddl)) return false;
  quarn_commit(&ca);
  quarn_stmt *ins = nullptr, *sel = nullptr, *kins = nullptr, *dins = nullptr, *ksel = nullptr, *join = nullptr;
  if (!check(quarn_prepare("INSERT INTO b.t VALUES (?, ?)", &ins, &ca), ca, "prepare insert")) return false;
  if (!check(quarn_prepare("SELECT name FROM b.t WHERE id = ?", &sel, &ca), ca, "prepare select")) return false;
  if (!check(quarn_prepare("INSERT INTO b.c VALUES (?, ?)", &kins, &ca), ca, "prepare key insert")) return false;
  if (!check(quarn_prepare("INSERT INTO b.d VALUES (?)", &dins, &ca), ca, "prepare driver insert")) return false;
  if (!check(quarn_prepare("SELECT v FROM b.c WHERE k = ?", &ksel, &ca), ca, "prepare key select")) return false;
  if (!check(quarn_prepare("SELECT SUM(c.v) FROM b.d d, b.c c WHERE c.k = d.k", &join, &ca), ca, "prepare join"))
    return false;
  // The key table and the join's driver: every 5th key.
  char key[16];
  sqlint32 v = 0;
  quarn_hostvar kin[2] = {{SQL_TYP_CSTR, sizeof key, key, nullptr}, {SQL_TYP_INTEGER, 4, &v, nullptr}};
  for (v = 0; v < kKeyRows; ++v) {
    keyText(key, sizeof key, v);
    if (!check(quarn_execute(kins, 2, kin, &ca), ca, "key insert")) return false;
    if (v % 5 == 0 && !check(quarn_execute(dins, 1, kin, &ca), ca, "driver insert")) return false;
  }
  quarn_commit(&ca);

  auto a = Clock::now();
  if (!timedEngineInsert(ins, rows)) return false;
  auto b = Clock::now();
  if (!timedEngineSelect(sel, rows)) return false;
  auto c = Clock::now();
  if (!timedEngineKeyLookup(ksel, rows)) return false;
  auto d = Clock::now();
  sqlint64 sum = 0;
  if (!timedEngineKeyJoin(join, &sum)) return false;
  auto e = Clock::now();
  for (quarn_stmt *st : {ins, sel, kins, dins, ksel, join}) quarn_free_stmt(st);
  quarn_connect_reset(&ca);
  quarn_drop_database("BENCH", &ca);
  t->insert = seconds(a, b);
  t->select = seconds(b, c);
  t->keyLookup = seconds(c, d);
  t->keyJoin = seconds(d, e);
  return sum > 0;
}

// ---- SQLite directly -----------------------------------------------------------------------

__attribute__((noinline)) bool timedSqliteInsert(sqlite3 *db, sqlite3_stmt *ins, int rows) {
  char name[41];
  sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
  for (int id = 0; id < rows; ++id) {
    std::snprintf(name, sizeof name, "name %d", id);
    sqlite3_bind_int(ins, 1, id);
    sqlite3_bind_text(ins, 2, name, -1, SQLITE_TRANSIENT);
    if (sqlite3_step(ins) != SQLITE_DONE) return false;
    sqlite3_reset(ins);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return true;
}

__attribute__((noinline)) bool timedSqliteSelect(sqlite3 *db, sqlite3_stmt *sel, int rows) {
  char out[41];
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int id = 0; id < rows; ++id) {
    sqlite3_bind_int(sel, 1, id);
    if (sqlite3_step(sel) != SQLITE_ROW) return false;
    std::snprintf(out, sizeof out, "%s", reinterpret_cast<const char *>(sqlite3_column_text(sel, 0)));
    sqlite3_reset(sel);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return true;
}

__attribute__((noinline)) bool timedSqliteKeyLookup(sqlite3 *db, sqlite3_stmt *sel, int lookups) {
  char key[16];
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int k = 0; k < lookups; ++k) {
    keyText(key, sizeof key, (k * 7919) % kKeyRows);
    sqlite3_bind_text(sel, 1, key, -1, SQLITE_TRANSIENT);
    if (sqlite3_step(sel) != SQLITE_ROW) return false;
    volatile int v = sqlite3_column_int(sel, 0);
    (void)v;
    sqlite3_reset(sel);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return true;
}

__attribute__((noinline)) bool timedSqliteKeyJoin(sqlite3 *db, sqlite3_stmt *join, sqlite3_int64 *sum) {
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  if (sqlite3_step(join) != SQLITE_ROW) return false;
  *sum = sqlite3_column_int64(join, 0);
  sqlite3_reset(join);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  return true;
}

bool runSqlite(const std::string &file, int rows, Timing *t) {
  sqlite3 *db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
  sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
                   "CREATE TABLE t (id INTEGER NOT NULL, name VARCHAR(40)); CREATE UNIQUE INDEX tk ON t(id);"
                   "CREATE TABLE c (k TEXT NOT NULL, v INTEGER); CREATE UNIQUE INDEX ck ON c(k);"
                   "CREATE TABLE d (k TEXT NOT NULL);",
               nullptr, nullptr, nullptr);
  sqlite3_stmt *ins = nullptr, *sel = nullptr, *kins = nullptr, *dins = nullptr, *ksel = nullptr, *join = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?)", -1, &ins, nullptr);
  sqlite3_prepare_v2(db, "SELECT name FROM t WHERE id = ?", -1, &sel, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO c VALUES (?, ?)", -1, &kins, nullptr);
  sqlite3_prepare_v2(db, "INSERT INTO d VALUES (?)", -1, &dins, nullptr);
  sqlite3_prepare_v2(db, "SELECT v FROM c WHERE k = ?", -1, &ksel, nullptr);
  sqlite3_prepare_v2(db, "SELECT SUM(c.v) FROM d, c WHERE c.k = d.k", -1, &join, nullptr);
  char key[16];
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int v = 0; v < kKeyRows; ++v) {
    keyText(key, sizeof key, v);
    sqlite3_bind_text(kins, 1, key, -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(kins, 2, v);
    sqlite3_step(kins);
    sqlite3_reset(kins);
    if (v % 5 == 0) {
      sqlite3_bind_text(dins, 1, key, -1, SQLITE_TRANSIENT);
      sqlite3_step(dins);
      sqlite3_reset(dins);
    }
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);

  auto a = Clock::now();
  bool ok = timedSqliteInsert(db, ins, rows);
  auto b = Clock::now();
  ok = ok && timedSqliteSelect(db, sel, rows);
  auto c = Clock::now();
  ok = ok && timedSqliteKeyLookup(db, ksel, rows);
  auto d = Clock::now();
  sqlite3_int64 sum = 0;
  ok = ok && timedSqliteKeyJoin(db, join, &sum);
  auto e = Clock::now();
  for (sqlite3_stmt *st : {ins, sel, kins, dins, ksel, join}) sqlite3_finalize(st);
  sqlite3_close(db);
  t->insert = seconds(a, b);
  t->select = seconds(b, c);
  t->keyLookup = seconds(c, d);
  t->keyJoin = seconds(d, e);
  return ok && sum > 0;
}

void report(const char *what, int rows, double engine, double raw) {
  std::printf("%-17s engine %10.0f rows/s  sqlite %10.0f rows/s  ratio %.2fx\n", what, rows / engine, rows / raw,
              engine / raw);
}

}  // namespace

int main(int argc, char **argv) {
  int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
  if (rows < 1) rows = 1;
  const char *side = argc > 2 ? argv[2] : "";
  char tmpl[] = "/tmp/quarnbenchXXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  std::string dir = tmpl;
  setenv("QUARNPATH", dir.c_str(), 1);
  Timing engine, raw;
  bool ok = true;
  if (std::strcmp(side, "sqlite") != 0) ok = runEngine(rows, &engine);
  if (ok && std::strcmp(side, "engine") != 0) ok = runSqlite(dir + "/raw.db", rows, &raw);
  std::filesystem::remove_all(dir);
  if (!ok) {
    std::fprintf(stderr, "engine_bench: a run failed\n");
    return 1;
  }
  if (*side) return 0;
  std::printf("rows: %d (key table: %d rows, join: %d driver rows)\n", rows, kKeyRows, kKeyRows / 5);
  report("prepared INSERT", rows, engine.insert, raw.insert);
  report("point SELECT", rows, engine.select, raw.select);
  report("CHAR key lookup", rows, engine.keyLookup, raw.keyLookup);
  report("CHAR key join", kKeyRows / 5, engine.keyJoin, raw.keyJoin);
  std::printf("target: ratio under 1.5x\n");
  return 0;
}
