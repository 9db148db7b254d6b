/*
 * quarnparseguard.h - bounds on two kinds of work of the parser library that grow faster than
 * the document: matching schema patterns, and resolving namespace prefixes; and a one-pass
 * check of a DTD's mixed models for repeated names.
 *
 * Patterns.  Schema validation checks values against the patterns of their types with the
 * library's matcher, which backtracks: an ordinary pattern such as ".+@.+\..+" takes the cube of
 * a value's length to reject it, and an ambiguous one such as "(a|aa)*b" grows exponentially.
 * Each step of the matcher (a character, any character, a range, a string, a choice) counts
 * one; a parse may make QUARN_PATTERN_WORK_FREE steps, QUARN_PATTERN_WORK_PER_CHAR more for
 * each character of every value it checks, and for every check as many as the pattern has
 * characters (a pass may try each of its alternatives once).
 *
 * Names.  With namespaces on (schema validation), the library looks a prefix up by walking the
 * open elements from the innermost and each one's declarations, and checks a start tag's
 * attributes for duplicates in a table keyed by local name alone: one start tag of 40,000
 * attributes of one local name in as many namespaces took 3.8 seconds for 1.4 MB.  Each open
 * element and declaration a lookup passes, and each attribute of the same table slot a new
 * attribute is compared with, counts one; a parse may look at QUARN_NAME_WORK_FREE of them and
 * QUARN_NAME_WORK_PER_NAME more for each name it looks up or attribute it checks.
 *
 * Mixed models.  Reading a DTD for validation, the library checks each mixed model "(#PCDATA|a|
 * ...)*" for a name given twice by comparing every pair of its names (20,000 names: 4.5
 * seconds); the guard gives the same answer from a set of the names, in one pass.
 *
 * The library offers no hook, so when quarnxmlinit is loaded it points the library's own calls
 * of these functions at counting versions of them (quarnParseGuardInstalled says whether it
 * could).  The counting versions give the library's own answers: they call its functions,
 * except the matcher's string step, which compares without measuring the whole value at every
 * call (the library's version does, which makes a pattern of repeated strings quadratic).
 *
 * Work is counted in the account a caller opened on the thread (an account opened inside
 * another replaces it until it is closed).  The count past an allowance marks the account as
 * overrun and throws out of the library (the account's refuse function, else
 * QuarnParseWorkExceeded); every later count of the same account throws again, so a parse the
 * library lets go on stops doing that work at once.  The caller of the parse reads the mark and
 * refuses the document: the mark, not the exception, is the verdict.  A pattern check outside
 * any open account has an account of its own with the same allowance for its one value; names
 * are counted only in an opened account.
 */
#ifndef QUARN_QUARNPARSEGUARD_H
#define QUARN_QUARNPARSEGUARD_H

#ifndef __cplusplus
#error "This header is C++ only: it reaches into the parser library's classes; C programs need none of it."
#endif

#include <cstdint>

#include "sqlsystm.h"

inline constexpr uint64_t QUARN_PATTERN_WORK_FREE = uint64_t{1} << 24;
inline constexpr uint64_t QUARN_PATTERN_WORK_PER_CHAR = 64;
inline constexpr uint64_t QUARN_NAME_WORK_FREE = uint64_t{1} << 26;
inline constexpr uint64_t QUARN_NAME_WORK_PER_NAME = 1024;

// What an account bounds: pattern steps, name work, and the stack a match may take (a choice
// inside a repeat recurses once per repetition; the match stops while a reserve is left).
enum class QuarnWork { Patterns, Names, PatternDepth };

struct QuarnWorkMeter {
  uint64_t used;
  uint64_t allowed;
};

struct QuarnParseWork {
  QuarnWorkMeter patterns{0, QUARN_PATTERN_WORK_FREE};
  QuarnWorkMeter names{0, QUARN_NAME_WORK_FREE};
  bool overrun = false;
  QuarnWork overrunBy = QuarnWork::Patterns;  // the first meter past its allowance
  // Called instead of throwing QuarnParseWorkExceeded when the account is overrun; it must
  // throw.  Lets the opener end the parse with its own error.
  void (*refuse)(QuarnParseWork *work) = nullptr;
  QuarnParseWork *outer = nullptr;
};

// Thrown out of the library when an account is overrun.  Its type information lives in
// quarnxmlinit, so every library of the process catches the same type.
class SQL_API_EXPORT QuarnParseWorkExceeded {
 public:
  virtual ~QuarnParseWorkExceeded();
};

// Opens *work as this thread's account until quarnParseWorkClose(work).
SQL_API_EXPORT void quarnParseWorkOpen(QuarnParseWork *work);
SQL_API_EXPORT void quarnParseWorkClose(QuarnParseWork *work);

// 1 when the library's calls are counted in this process, else 0 (the library was not found as
// a shared library, or one of the calls was not).
SQL_API_EXPORT int quarnParseGuardInstalled(void);

#endif /* QUARN_QUARNPARSEGUARD_H */
