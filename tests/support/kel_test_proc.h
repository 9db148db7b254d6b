/*
 * kel_test_proc.h - a procedure for the frame's own tests: built into the frame's unit tests
 * and into a test library whose exported entries are called through the loader.
 *
 * Full layout: name (string, required), dad (large object, optional), count (integer,
 * optional), outCount (integer output), returnCode, returnMsg.  Short layout: name, returnCode,
 * returnMsg.  The worker answers name "fail" with -11 and KELA016E, "long" with KELQ053E of
 * a 1200-character argument, anything else with 0 and KELA022I; outCount = count + length of dad.
 */
#ifndef KEL_TEST_PROC_H
#define KEL_TEST_PROC_H

#include "kelframe.h"

extern const KelProcSpec kelTestProcSpec;

#endif /* KEL_TEST_PROC_H */
