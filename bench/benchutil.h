/*
 * benchutil.h - what the benchmarks share: elapsed seconds and the report of a failed call of the
 * embedded runtime (its message text on stderr).
 */
#ifndef KEL_BENCHUTIL_H
#define KEL_BENCHUTIL_H

#include <chrono>
#include <cstdio>

#include "quarnapp.h"

namespace bench {

using Clock = std::chrono::steady_clock;

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

}  // namespace bench

#endif
