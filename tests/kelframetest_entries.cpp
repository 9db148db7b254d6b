/*
 * kelframetest_entries.cpp - the exported entries of the frame's test library, written exactly
 * as the library's real procedure entries are: a few lines around the frame.
 */
#include "kel_test_proc.h"
#include "sqlsystm.h"

extern "C" SQL_API_EXPORT int kelFrameTest(void *reserved1, void *reserved2, struct sqlda *da,
                                           struct sqlca *ca) {
  return kelDariFrame(kelTestProcSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelFrameTest_STP(char *name, void *dad, sqlint32 *count,
                                               sqlint32 *outCount, sqlint32 *returnCode,
                                               char *returnMsg, short *nameInd, short *dadInd,
                                               short *countInd, short *outCountInd, short *rcInd,
                                               short *msgInd, char *sqlstate, char *procName,
                                               char *specName, char *diagMsg) {
  void *values[] = {name, dad, count, outCount, returnCode, returnMsg};
  short *inds[] = {nameInd, dadInd, countInd, outCountInd, rcInd, msgInd};
  return kelSqlFrame(kelTestProcSpec, values, inds, sqlstate, procName, specName, diagMsg);
}
