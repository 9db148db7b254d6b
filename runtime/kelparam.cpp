/*
 * kelparam.cpp - parameter readers and descriptor-area allocation.
 */
#include "kelparam.h"

#include <cstdlib>
#include <cstring>

#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

bool isNull(const sqlvar *var) { return var->sqlind != nullptr && *var->sqlind == -1; }

int32_t readInt32(const char *p) {
  int32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Reports msgNo (code into *rc) and gives the helper's failure, -1.
int failWith(KelCallContext *ctx, int msgNo, int32_t *rc, char *msg) {
  int32_t code = kelFail(ctx, msg, nullptr, msgNo);
  if (rc) *rc = code;
  return -1;
}

// A large object passed with its 32-bit length in front of the data.
void readLengthPrefixed(const sqlvar *var, char **data, int32_t *len) {
  *len = readInt32(var->sqldata);
  *data = var->sqldata + sizeof(int32_t);
}

// A varying character value: a 16-bit length, then the data.
void readVarying(const sqlvar *var, char **data, int32_t *len) {
  uint16_t n;
  std::memcpy(&n, var->sqldata, sizeof n);
  *len = n;
  *data = var->sqldata + sizeof n;
}

// Shows a large value in the trace: up to 99 bytes whole, else the first 75, "..." and the
// last 22.
void traceContent(KelCallContext *ctx, const char *data, int32_t len) {
  if (ctx == nullptr || !ctx->traceOn || data == nullptr || len < 0) return;
  if (len < 100)
    KEL_TRACE(ctx, "%.*s\n", static_cast<int>(len), data);
  else
    KEL_TRACE(ctx, "%.75s...%.22s\n", data, data + len - 22);
}

}  // namespace

bool kelIsLobType(int sqltype) {
  switch (sqltype) {
    case SQL_TYP_BLOB: case SQL_TYP_NBLOB:
    case SQL_TYP_CLOB: case SQL_TYP_NCLOB:
    case SQL_TYP_DBCLOB: case SQL_TYP_NDBCLOB:
      return true;
    default:
      return false;
  }
}

int kelGetStProcParam(KelCallContext *ctx, struct sqlda *da, int index, char **data, int32_t *len,
                      int32_t *rc, char *msg) {
  if (da == nullptr || index < 0 || index >= da->sqld) return failWith(ctx, KELA074E, rc, msg);
  sqlvar *var = &da->sqlvar[index];
  if (isNull(var)) return failWith(ctx, KELA019E, rc, msg);
  switch (var->sqltype) {
    case SQL_TYP_BLOB: case SQL_TYP_NBLOB:
    case SQL_TYP_CLOB: case SQL_TYP_NCLOB:
    case SQL_TYP_DBCLOB: case SQL_TYP_NDBCLOB: {
      // The extended entry exists only when the area was allocated with room for it.
      const sqlvar2 *ext = index + da->sqld < da->sqln
                               ? reinterpret_cast<const sqlvar2 *>(&da->sqlvar[index + da->sqld])
                               : nullptr;
      if (ext != nullptr && ext->sqldatalen != nullptr) {
        *len = readInt32(ext->sqldatalen);
        *data = var->sqldata;
      } else {
        KEL_TRACE(ctx, "lenptr = NULL\n");
        readLengthPrefixed(var, data, len);
      }
      KEL_TRACE(ctx, "lob length:%d\n", *len);
      traceContent(ctx, *data, *len);
      break;
    }
    case SQL_TYP_VARCHAR: case SQL_TYP_NVARCHAR:
    case SQL_TYP_LONG: case SQL_TYP_NLONG:
      readVarying(var, data, len);
      break;
    case SQL_TYP_CHAR: case SQL_TYP_NCHAR:
    case SQL_TYP_CSTR: case SQL_TYP_NCSTR:
      *len = static_cast<uint16_t>(var->sqllen);
      *data = var->sqldata;
      break;
    default:
      KEL_TRACE(ctx, "wrong parameter type, not string:%d\n", var->sqltype);
      return failWith(ctx, KELA074E, rc, msg);
  }
  return 0;
}

int kelGetStringParameter(KelCallContext *ctx, struct sqlvar *var, char **data, int32_t *len,
                          int32_t *rc, char *msg) {
  if (var == nullptr) return failWith(ctx, KELA074E, rc, msg);
  if (isNull(var)) return failWith(ctx, KELA019E, rc, msg);
  switch (var->sqltype) {
    case SQL_TYP_BLOB: case SQL_TYP_NBLOB:
    case SQL_TYP_CLOB: case SQL_TYP_NCLOB:
      readLengthPrefixed(var, data, len);
      break;
    case SQL_TYP_VARCHAR: case SQL_TYP_NVARCHAR:
    case SQL_TYP_LONG: case SQL_TYP_NLONG:
      readVarying(var, data, len);
      break;
    case SQL_TYP_CHAR: case SQL_TYP_NCHAR:
      *len = static_cast<uint16_t>(var->sqllen);
      *data = var->sqldata;
      break;
    case SQL_TYP_CSTR: case SQL_TYP_NCSTR:
      *len = static_cast<int32_t>(strnlen(var->sqldata, static_cast<uint16_t>(var->sqllen)));
      *data = var->sqldata;
      break;
    default:
      KEL_TRACE(ctx, "wrong parameter type, not string:%d\n", var->sqltype);
      return failWith(ctx, KELA074E, rc, msg);
  }
  return 0;
}

namespace {

bool isIntType(int sqltype) {
  return sqltype == SQL_TYP_INTEGER || sqltype == SQL_TYP_NINTEGER || sqltype == SQL_TYP_SMALL ||
         sqltype == SQL_TYP_NSMALL;
}

}  // namespace

int kelGetIntParameter(KelCallContext *ctx, struct sqlvar *var, int32_t *rc, char *msg) {
  if (var == nullptr) return failWith(ctx, KELA075E, rc, msg);
  if (isNull(var)) return failWith(ctx, KELA019E, rc, msg);
  return kelCheckOutputIntParameter(ctx, var, rc, msg);
}

int kelCheckOutputIntParameter(KelCallContext *ctx, struct sqlvar *var, int32_t *rc, char *msg) {
  if (var == nullptr || !isIntType(var->sqltype)) {
    KEL_TRACE(ctx, "wrong parameter type, not integer:%d\n", var != nullptr ? var->sqltype : 0);
    return failWith(ctx, KELA075E, rc, msg);
  }
  return 0;
}

char *kelDupParam(KelCallContext *ctx, const char *data, int32_t len, int32_t *rc, char *msg) {
  if (len < 0) len = 0;
  char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(len) + 1));
  if (copy == nullptr) {
    failWith(ctx, KELG002E, rc, msg);
    return nullptr;
  }
  if (len > 0 && data != nullptr) std::memcpy(copy, data, static_cast<size_t>(len));
  copy[len] = '\0';
  return copy;
}

int kel_init_da(KelCallContext *ctx, struct sqlda **da, int n) {
  int rc = -1;
  if (da != nullptr && n >= 0 && n <= INT16_MAX) {
    size_t size = static_cast<size_t>(SQLDASIZE(n));
    auto *area = static_cast<sqlda *>(std::calloc(1, size < sizeof(sqlda) ? sizeof(sqlda) : size));
    if (area != nullptr) {
      std::memcpy(area->sqldaid, SQLDA_EYECATCHER, 8);
      area->sqldabc = static_cast<sqlint32>(size);
      area->sqln = static_cast<short>(n);
      area->sqld = 0;
      *da = area;
      rc = 0;
    }
  }
  KEL_TRACE(ctx, "Exit, return rc=%d\n", rc);
  return rc;
}

void kel_free_da(KelCallContext *ctx, struct sqlda *da) {
  if (da != nullptr) {
    for (int i = 0; i < da->sqld && i < da->sqln; ++i) {
      std::free(da->sqlvar[i].sqldata);
      if (da->sqlvar[i].sqltype & 1) std::free(da->sqlvar[i].sqlind);
    }
    std::free(da);
  }
  KEL_TRACE(ctx, "Completed\n");
}
