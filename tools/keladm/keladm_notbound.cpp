// keladm_notbound.cpp - a test procedure library for keladm: entries of parameter style
// QUARNDARI that answer -104 (the database is not bound), as a database whose packages are
// missing would, for the bind-and-retry path; the engine never does.  And one that fails with a
// code whose low eight bits are zero, for the exit status.  keladm_test registers these.
#include <cstring>

#include "sqlca.h"
#include "sqlda.h"
#include "sqlsystm.h"

namespace {

int calls = 0;

// Writes the return code and message into the last two entries (integer, then a string).
int answer(struct sqlda *da, sqlint32 rc, const char *text) {
  if (da == nullptr || da->sqld < 2) return 1;
  struct sqlvar *rcVar = &da->sqlvar[da->sqld - 2];
  struct sqlvar *msgVar = &da->sqlvar[da->sqld - 1];
  std::memcpy(rcVar->sqldata, &rc, sizeof rc);
  if (rcVar->sqlind != nullptr) *rcVar->sqlind = 0;
  size_t len = std::strlen(text);
  if (msgVar->sqltype == 448 || msgVar->sqltype == 449) {  // VARCHAR: 16-bit length, then bytes
    short n = static_cast<short>(len);
    std::memcpy(msgVar->sqldata, &n, sizeof n);
    std::memcpy(msgVar->sqldata + sizeof n, text, len);
  } else {
    std::memcpy(msgVar->sqldata, text, len + 1);
  }
  if (msgVar->sqlind != nullptr) *msgVar->sqlind = 0;
  return 0;
}

}  // namespace

// Not bound on every call.
extern "C" SQL_API_EXPORT int kelTestNeverBound(void *, void *, struct sqlda *da, struct sqlca *) {
  return answer(da, -104, "not bound\n");
}

// Not bound on the first call of the process, done on the next.
extern "C" SQL_API_EXPORT int kelTestBoundOnRetry(void *, void *, struct sqlda *da, struct sqlca *) {
  return ++calls == 1 ? answer(da, -104, "not bound\n") : answer(da, 0, "done after binding\n");
}

// Fails with -1024, whose low eight bits, all a process's exit status keeps, are zero.
extern "C" SQL_API_EXPORT int kelTestFailsBy1024(void *, void *, struct sqlda *da, struct sqlca *) {
  return answer(da, -1024, "failed by -1024\n");
}
