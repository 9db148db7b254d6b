/*
 * quarnpatternguard.h - a bound on the work of the parser library's pattern matcher.
 *
 * Schema validation checks values against the patterns of their types with the parser
 * library's matcher, which backtracks: an ordinary pattern such as ".+@.+\..+" takes the cube
 * of a value's length to reject it, and an ambiguous one such as "(a|aa)*b" grows exponentially.
 * The library offers no hook, so when quarnxmlinit is loaded it points the library's own calls
 * of the matcher's steps (a character, any character, a range, a string, a choice) and of its
 * entry at counting versions of them.  Each step counts one; a parse may make
 * QUARN_PATTERN_WORK_FREE steps and QUARN_PATTERN_WORK_PER_CHAR more for each character of every
 * value it checks.  The step past that marks the parse's account as overrun and throws out of
 * the matcher (the account's refuse function, else QuarnPatternWorkExceeded); every later step
 * of the same account throws again, so a parse the library lets go on stops doing pattern work at once.  The caller of the
 * parse reads the mark and refuses the document: the mark, not the exception, is the verdict.
 *
 * A check outside any open account has an account of its own with the same allowance for its
 * one value.  Accounts are per thread; an account opened inside another replaces it until it
 * is closed.  The counting versions give the library's own answers: they call its steps, and
 * the string step compares without measuring the whole value at every call (the library's
 * version does, which makes a pattern of repeated strings quadratic).
 */
#ifndef QUARN_QUARNPATTERNGUARD_H
#define QUARN_QUARNPATTERNGUARD_H

#include <cstdint>

#include "sqlsystm.h"

inline constexpr uint64_t QUARN_PATTERN_WORK_FREE = uint64_t{1} << 24;
inline constexpr uint64_t QUARN_PATTERN_WORK_PER_CHAR = 64;

struct QuarnPatternWork {
  uint64_t steps = 0;
  uint64_t allowed = QUARN_PATTERN_WORK_FREE;
  bool overrun = false;
  // Called instead of throwing QuarnPatternWorkExceeded when the account is overrun; it must
  // throw.  Lets the opener end the parse with its own error.
  void (*refuse)(QuarnPatternWork *work) = nullptr;
  QuarnPatternWork *outer = nullptr;
};

// Thrown out of the matcher when an account is overrun.  Its type information lives in
// quarnxmlinit, so every library of the process catches the same type.
class SQL_API_EXPORT QuarnPatternWorkExceeded {
 public:
  virtual ~QuarnPatternWorkExceeded();
};

// Opens *work as this thread's account until quarnPatternWorkClose(work).
SQL_API_EXPORT void quarnPatternWorkOpen(QuarnPatternWork *work);
SQL_API_EXPORT void quarnPatternWorkClose(QuarnPatternWork *work);

// 1 when the parser library's matcher counts its steps in this process, else 0 (the library
// was not found as a shared library, or one of its calls to the matcher's steps was not).
SQL_API_EXPORT int quarnPatternGuardInstalled(void);

#endif /* QUARN_QUARNPATTERNGUARD_H */
