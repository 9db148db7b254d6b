/*
 * routines_lob.cpp - the large-object service the function runtime (quarnrds: sqludf_length,
 * sqludf_substr, sqludf_append, sqludf_create_locator) reaches, on the locators of the
 * thread's current session; registered when the engine's library is loaded.
 */
#include "routines_call.h"

#include "quarnrds_service.h"

namespace quarn {
namespace {

int lobLength(udf_locator loc, sqlint32 *length) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  const Value *v = s->locatorValue(loc);
  if (v == nullptr) return -423;
  *length = static_cast<sqlint32>(v->s.size());
  return 0;
}

int lobSubstr(udf_locator loc, sqlint32 start, sqlint32 length, unsigned char *buffer, sqlint32 *got) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  const Value *v = s->locatorValue(loc);
  if (v == nullptr) return -423;
  size_t from = static_cast<size_t>(start - 1);
  size_t n = from >= v->s.size() ? 0 : std::min(v->s.size() - from, static_cast<size_t>(length));
  if (n > 0) std::memcpy(buffer, v->s.data() + from, n);
  *got = static_cast<sqlint32>(n);
  return 0;
}

// The service is called from routine libraries through quarnrds: nothing may throw out of it, so
// a failure to allocate is answered as a system error.
int lobAppend(udf_locator loc, const unsigned char *buffer, sqlint32 length, sqlint32 *appended) {
  Session *s = currentSession();
  if (s == nullptr) return kSqlNoConnection;
  try {
    if (!s->appendToLocator(loc, std::string(reinterpret_cast<const char *>(buffer), static_cast<size_t>(length))))
      return -423;
  } catch (...) {
    return kSqlSystem;
  }
  *appended = length;
  return 0;
}

int lobCreate(int locType, udf_locator **loc) {
  Session *s = currentSession();
  if (s == nullptr || s->routineRuntime() == nullptr) return kSqlNoConnection;
  if (locType != SQL_TYP_CLOB_LOC && locType != SQL_TYP_BLOB_LOC && locType != SQL_TYP_DBCLOB_LOC) return -171;
  try {
    udf_locator id = s->createLocator(locType == SQL_TYP_BLOB_LOC ? Value::blob("") : Value::text(""));
    RoutineRuntime &rt = *s->routineRuntime();
    try {
      rt.created.push_back(id);
    } catch (...) {
      s->freeLocator(id);
      throw;
    }
    *loc = &rt.created.back();
  } catch (...) {
    return kSqlSystem;
  }
  return 0;
}

const QuarnLobService kLobService = {lobLength, lobSubstr, lobAppend, lobCreate};

// Registers the service when the engine's library is loaded.
struct LobServiceRegistration {
  LobServiceRegistration() { quarnrdsSetLobService(&kLobService); }
};

const LobServiceRegistration gLobServiceRegistration;

}  // namespace

}  // namespace quarn
