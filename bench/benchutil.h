/*
 * benchutil.h - what the benchmarks share: elapsed seconds and the report of a failed call of the
 * embedded runtime (its message text on stderr).  With KEL_BENCH_CPU=1 in the environment the
 * seconds are the process's processor time instead of the wall clock, which other work on a
 * shared machine moves far less.
 */
#ifndef KEL_BENCHUTIL_H
#define KEL_BENCHUTIL_H

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "quarnapp.h"

namespace bench {

// The wall clock, or the process's processor time when KEL_BENCH_CPU=1.
struct Clock {
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<Clock>;
  static constexpr bool is_steady = true;
  static time_point now() {
    static const bool cpu = [] {
      const char *v = std::getenv("KEL_BENCH_CPU");
      return v != nullptr && v[0] == '1';
    }();
    timespec ts{};
    clock_gettime(cpu ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &ts);
    return time_point(duration(static_cast<rep>(ts.tv_sec) * 1000000000 + ts.tv_nsec));
  }
};

inline double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
inline double secondsSince(Clock::time_point a) { return seconds(a, Clock::now()); }

// True for a call that did not fail; otherwise prints what failed with the engine's message.
inline bool check(int rc, const sqlca &ca, const char *what) {
  if (rc >= 0) return true;
  char text[1024];
  sqlca copy = ca;
  sqlaintp_api(text, sizeof text, 1000, nullptr, &copy);
  std::fprintf(stderr, "%s: %s", what, text);
  return false;
}

// Makes a fresh directory of this name under the temporary directory the instance of this
// process (QUARNPATH and QUARNKELPATH, instance "bench") and returns its path.
inline std::string freshInstance(const char *name) {
  std::string inst = (std::filesystem::temp_directory_path() / name).string();
  std::filesystem::remove_all(inst);
  std::filesystem::create_directories(inst);
  setenv("QUARNPATH", inst.c_str(), 1);
  setenv("QUARNINSTANCE", "bench", 1);
  setenv("QUARNKELPATH", inst.c_str(), 1);
  return inst;
}

// Creates database db in the instance and connects to it; false after reporting a failure.
inline bool createAndConnect(const char *db, sqlca *ca) {
  return check(quarn_create_database(db, ca), *ca, "create") && check(quarn_connect(db, nullptr, nullptr, ca), *ca, "connect");
}

// The same, then runs the statements that register the extension's routines (kelEnableList(),
// as database enablement does); false after reporting a failure.
template <class Statements>
bool createAndRegister(const char *db, const Statements &registration, sqlca *ca) {
  if (!createAndConnect(db, ca)) return false;
  for (const auto &stmt : registration)
    if (!check(quarn_execute_immediate(stmt.text.c_str(), ca), *ca, "register")) return false;
  return true;
}

}  // namespace bench

#endif
