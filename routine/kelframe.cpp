/*
 * kelframe.cpp - the stored-procedure skeleton of both parameter conventions.  A QUARNDARI call
 * reads and copies its inputs out of the descriptor area and then runs exactly the path of an
 * SQL-convention call (runSqlConvention), as the SQL-convention entry of the same procedure.
 */
#include "kelframe.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelcodepage.h"
#include "kelSgDoc.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelparam.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr const char kUnit[] = "kelframe";

constexpr int kMsgBytes = KEL_MSG_BUFFER + 1;

bool isInput(const KelParamSpec &p) {
  return (p.kind == KelParamKind::String || p.kind == KelParamKind::Lob ||
          p.kind == KelParamKind::Integer) &&
         p.mode != KelParamMode::Out;
}

// A procedure runs in its caller's session and takes both code pages from that connection.
const KelCodePageRequest kProcedureCodePages{KEL_CP_PROCEDURE_MODE, 0, quarn_connect_info};

bool isOutput(const KelParamSpec &p) { return !isInput(p) || p.mode == KelParamMode::InOut; }

bool hasOutBuffer(const KelParamSpec &p) {
  return isOutput(p) && (p.kind == KelParamKind::String || p.kind == KelParamKind::Lob);
}

struct FreeDeleter {
  void operator()(char *p) const { std::free(p); }
};
using Copy = std::unique_ptr<char, FreeDeleter>;

// The call context of a procedure, and the check that the XML parser is there: 0, or the
// failure's return code with everything torn down again.
int32_t setUp(KelCallContext *ctx, char *sqlstate, char *msg) {
  int32_t rc = kelInit(ctx, KEL_FULL_MESSAGES, &kProcedureCodePages, sqlstate, msg, nullptr);
  if (rc < 0) return rc;
  int32_t parserRc = kelCheckParserForCall(ctx, sqlstate, msg);
  if (parserRc < 0) {
    char termState[6];
    kelTerm(ctx, termState);
    return parserRc;
  }
  return rc;
}

// Ends the call: the parser's part, then the context.
int32_t tearDown(KelCallContext *ctx, char *sqlstate) {
  kelTerminateParser(ctx);
  return kelTerm(ctx, sqlstate);
}

// Steps common to both conventions once the inputs are in args and the context is set up:
// check the required inputs, run the worker.  returnMsg holds 1025 bytes.
int32_t runWorker(KelCallContext *ctx, const KelProcSpec &proc, const KelProcLayout &layout, KelArg *args,
                  char *returnMsg, const char *procName) {
  KEL_TRACE(ctx, "%s entered.\n", procName);
  for (int i = 0; i < layout.count; ++i) {
    const KelParamSpec &p = layout.params[i];
    if (isInput(p) && p.required && args[i].isNull) {
      kelSetMessage(ctx, returnMsg, KELG004E);
      return kelSqlStateTable[KELG004E].code;
    }
  }
  KelProcCall call{ctx, args, layout.count, returnMsg, procName};
  // No exception leaves the library: a worker that runs out of memory ends the call with the
  // out-of-memory message (its savepoint, unwound, has undone its work), anything else thrown
  // with the internal error.
  try {
    return proc.worker(call);
  } catch (const std::bad_alloc &) {
    kelSetMessage(ctx, returnMsg, KELG002E);
    return kelSqlStateTable[KELG002E].code;
  } catch (...) {
    return KEL_INTERNAL_ERROR(ctx, returnMsg, nullptr);
  }
}

// The SQL convention once its inputs are in args: set up a context, run the worker, tear down.
int32_t runSqlConvention(const KelProcSpec &proc, const KelProcLayout &layout, KelArg *args,
                         char *returnMsg, const char *procName) {
  KelCallContext ctx{};
  char sqlstate[6] = "00000";
  returnMsg[0] = '\0';
  int32_t rc = setUp(&ctx, sqlstate, returnMsg);
  if (rc >= 0) rc = runWorker(&ctx, proc, layout, args, returnMsg, procName);
  KEL_TRACE(&ctx, "exit. error code:%d; message:%s\n", rc, returnMsg);
  int32_t termRc = tearDown(&ctx, sqlstate);
  if (rc == 0) rc = termRc;
  return rc;
}

// Stores text of len bytes into an output entry: varying types get a 16-bit length and at most
// sqllen bytes; other types at most sqllen - 1 bytes and a terminator.  A longer text ends
// behind its last whole character.
void writeStringOutput(KelCallContext *ctx, sqlvar *var, const char *text, int32_t len) {
  if (var->sqldata == nullptr) return;
  int32_t room = static_cast<uint16_t>(var->sqllen);
  switch (var->sqltype) {
    case SQL_TYP_VARCHAR: case SQL_TYP_NVARCHAR:
    case SQL_TYP_LONG: case SQL_TYP_NLONG: {
      if (len > room) {
        KEL_TRACE(ctx, "output message truncated, output parameter buffer size:%d not enough.\n", room);
        len = kelCutLength(text, len, room);
      }
      uint16_t n = static_cast<uint16_t>(len);
      std::memcpy(var->sqldata, &n, sizeof n);
      std::memcpy(var->sqldata + sizeof n, text, static_cast<size_t>(len));
      break;
    }
    default: {
      if (room < 1) return;
      if (room < len + 1) {
        KEL_TRACE(ctx, "output message truncated, output parameter buffer size:%d not enough.\n", room);
        len = kelCutLength(text, len, room - 1);
      }
      std::memcpy(var->sqldata, text, static_cast<size_t>(len));
      var->sqldata[len] = '\0';
      break;
    }
  }
}

void writeIntOutput(KelCallContext *ctx, sqlvar *var, int32_t value) {
  if (var->sqldata == nullptr) return;
  switch (var->sqltype) {
    case SQL_TYP_SMALL: case SQL_TYP_NSMALL: {
      auto v = static_cast<int16_t>(value);
      std::memcpy(var->sqldata, &v, sizeof v);
      return;
    }
    case SQL_TYP_INTEGER: case SQL_TYP_NINTEGER:
      std::memcpy(var->sqldata, &value, sizeof value);
      return;
    case SQL_TYP_VARCHAR: case SQL_TYP_NVARCHAR: case SQL_TYP_LONG: case SQL_TYP_NLONG:
    case SQL_TYP_CHAR: case SQL_TYP_NCHAR: case SQL_TYP_CSTR: case SQL_TYP_NCSTR: {
      // A caller that declared the output as characters gets the number as text.
      std::string text = std::to_string(value);
      writeStringOutput(ctx, var, text.c_str(), static_cast<int32_t>(text.size()));
      return;
    }
    default:
      return;  // no room of a known size for an integer: nothing is written
  }
}

// Where a large-object output of a QUARNDARI call goes: the entry's own data area and the room
// the call gives it, and where its length is written.
struct LobOutput {
  char *data = nullptr;
  int64_t room = 0;
  char *lengthAt = nullptr;  // the 32-bit length (may be unaligned)
};

bool isLobEntry(const sqlvar *var) {
  switch (var->sqltype) {
    case SQL_TYP_CLOB: case SQL_TYP_NCLOB: case SQL_TYP_BLOB: case SQL_TYP_NBLOB:
    case SQL_TYP_DBCLOB: case SQL_TYP_NDBCLOB:
      return true;
    default:
      return false;
  }
}

// The extended entry's room and length pointer when the area has one, else a length-prefixed
// area (struct quarn_lob) of sqllen bytes.
LobOutput lobOutputOf(sqlda *da, int index) {
  LobOutput out;
  sqlvar *var = &da->sqlvar[index];
  if (var->sqldata == nullptr) return out;
  const sqlvar2 *ext = index + da->sqld < da->sqln ? reinterpret_cast<const sqlvar2 *>(&da->sqlvar[index + da->sqld])
                                                   : nullptr;
  if (ext != nullptr && ext->sqldatalen != nullptr) {
    out.data = var->sqldata;
    out.room = ext->len.sqllonglen > 0 ? ext->len.sqllonglen : 0;
    out.lengthAt = ext->sqldatalen;
  } else {
    out.data = var->sqldata + sizeof(sqluint32);
    out.room = static_cast<uint16_t>(var->sqllen);
    out.lengthAt = var->sqldata;
  }
  return out;
}

void setIndicator(sqlvar *var, short value) {
  if (var->sqlind != nullptr) *var->sqlind = value;
}

const KelProcLayout *chooseLayout(const KelProcSpec &proc, const sqlda *da) {
  for (int i = 0; i < proc.nLayouts; ++i)
    if (proc.layouts[i].count == da->sqld) return &proc.layouts[i];
  for (int i = 0; i < proc.nLayouts; ++i)
    if (proc.layouts[i].count == da->sqln) return &proc.layouts[i];
  return nullptr;
}

// A call whose parameters fit none of the entry's layouts: -440 (42884) in the caller's
// communication area, as a call no routine fits is answered.  It returned doing nothing, with
// the area untouched, and the caller took that for success.
int noLayout(const KelProcSpec &proc, struct sqlca *ca) {
  if (ca == nullptr) return 1;
  std::memcpy(ca->sqlcaid, "SQLCA   ", 8);
  ca->sqlcabc = sizeof *ca;
  ca->sqlcode = -440;
  std::memcpy(ca->sqlstate, "42884", 5);
  std::string tokens = std::string(proc.name) + '\xFF' + "PROCEDURE";
  const size_t n = std::min(tokens.size(), sizeof ca->sqlerrmc);
  std::memcpy(ca->sqlerrmc, tokens.data(), n);
  ca->sqlerrml = static_cast<short>(n);
  return 1;
}

}  // namespace

int kelDariFrame(const KelProcSpec &proc, struct sqlda *da, struct sqlca *ca) {
  if (da == nullptr) return noLayout(proc, ca);
  const KelProcLayout *layout = chooseLayout(proc, da);
  if (layout == nullptr || layout->count > da->sqld) return noLayout(proc, ca);

  KelCallContext ctx{};
  char msg[kMsgBytes] = "";
  char sqlstate[6] = "00000";
  int rcIndex = -1, msgIndex = -1;
  for (int i = 0; i < layout->count; ++i) {
    if (layout->params[i].kind == KelParamKind::ReturnCode) rcIndex = i;
    if (layout->params[i].kind == KelParamKind::ReturnMsg) msgIndex = i;
  }

  std::vector<KelArg> args(static_cast<size_t>(layout->count));
  std::vector<Copy> copies;
  std::vector<std::vector<char>> outBuffers(static_cast<size_t>(layout->count));
  std::vector<LobOutput> lobOutputs(static_cast<size_t>(layout->count));
  int32_t rc = setUp(&ctx, sqlstate, msg);
  if (rc >= 0) {
    KEL_TRACE(&ctx, "codepage is %ld\n", static_cast<long>(ctx.codePages ? ctx.codePages->dbCodePage : 0));
    KEL_TRACE(&ctx, "Number of param passed = %d indexOffset = %d\n", da->sqld, 0);
    for (int i = 0; i < layout->count && rc >= 0; ++i) {
      const KelParamSpec &p = layout->params[i];
      sqlvar *var = &da->sqlvar[i];
      KelArg &arg = args[static_cast<size_t>(i)];
      if (hasOutBuffer(p) && p.kind == KelParamKind::Lob && isLobEntry(var)) {
        // Written in place: the room is the definition's, however large it is declared.
        LobOutput &lob = lobOutputs[static_cast<size_t>(i)];
        lob = lobOutputOf(da, i);
        arg.out = lob.data;
        arg.outCap = lob.room;
        KEL_TRACE(&ctx, "%s: room for %lld bytes\n", p.name, static_cast<long long>(lob.room));
      } else if (hasOutBuffer(p)) {
        outBuffers[static_cast<size_t>(i)].assign(static_cast<size_t>(p.maxLen) + 1, '\0');
        arg.out = outBuffers[static_cast<size_t>(i)].data();
        arg.outCap = p.maxLen;
      }
      if (!isInput(p)) {
        if (p.kind == KelParamKind::Integer && kelCheckOutputIntParameter(&ctx, var, &rc, msg) < 0) break;
        continue;
      }
      bool null = var->sqlind != nullptr && *var->sqlind == -1;
      if (null && !p.required) {
        arg.data = "";
        arg.isNull = true;
        continue;
      }
      if (p.kind == KelParamKind::Integer) {
        if (kelGetIntParameter(&ctx, var, &rc, msg) < 0) break;
        if (var->sqltype == SQL_TYP_SMALL || var->sqltype == SQL_TYP_NSMALL) {
          int16_t v;
          std::memcpy(&v, var->sqldata, sizeof v);
          arg.num = v;
        } else {
          std::memcpy(&arg.num, var->sqldata, sizeof arg.num);
        }
        KEL_TRACE(&ctx, "%s:%d\n", p.name, arg.num);
        continue;
      }
      char *data = nullptr;
      int32_t len = 0;
      if (kelGetStProcParam(&ctx, da, i, &data, &len, &rc, msg) < 0) break;
      Copy copy(kelDupParam(&ctx, data, len, &rc, msg));
      if (!copy) break;
      arg.data = copy.get();
      arg.len = len;
      if (p.kind == KelParamKind::String) KEL_TRACE(&ctx, "%s:%s, len:%d, rc:%d\n", p.name, arg.data, len, rc);
      copies.push_back(std::move(copy));
    }
    if (rc >= 0) {
      for (int i = 0; i < layout->count; ++i)
        if (isOutput(layout->params[i])) setIndicator(&da->sqlvar[i], 0);
      // The worker runs on this call's context: a second one would read the trace control
      // file and check the parser again.
      msg[0] = '\0';
      rc = runWorker(&ctx, proc, *layout, args.data(), msg, proc.name);
    }
  }

  if (rcIndex >= 0) writeIntOutput(&ctx, &da->sqlvar[rcIndex], rc);
  if (msgIndex >= 0) writeStringOutput(&ctx, &da->sqlvar[msgIndex], msg, static_cast<int32_t>(std::strlen(msg)));
  for (int i = 0; i < layout->count; ++i) {
    const KelParamSpec &p = layout->params[i];
    sqlvar *var = &da->sqlvar[i];
    if (!isOutput(p)) {
      setIndicator(var, SQL_IND_NO_RETURN);
      continue;
    }
    const KelArg &arg = args[static_cast<size_t>(i)];
    if (p.kind == KelParamKind::Integer) writeIntOutput(&ctx, var, arg.outNum);
    const LobOutput &lob = lobOutputs[static_cast<size_t>(i)];
    if (lob.lengthAt != nullptr) {
      auto n = static_cast<sqlint32>(arg.outLen < 0 || arg.outNull ? 0 : arg.outLen > lob.room ? lob.room : arg.outLen);
      std::memcpy(lob.lengthAt, &n, sizeof n);
    } else if (hasOutBuffer(p) && arg.out != nullptr) {
      writeStringOutput(&ctx, var, arg.out, arg.outLen);
    }
    setIndicator(var, p.kind != KelParamKind::ReturnCode && p.kind != KelParamKind::ReturnMsg && arg.outNull ? -1 : 0);
  }
  if (rc < 0)
    KEL_TRACE(&ctx, "exit. error code:%d; err message:%s\n", rc, msg);
  else
    KEL_TRACE(&ctx, "exit. error code:%d; message:%s\n", rc, msg);
  int32_t termRc = tearDown(&ctx, sqlstate);
  if (rc == 0 && rcIndex >= 0) writeIntOutput(&ctx, &da->sqlvar[rcIndex], termRc);
  return 1;
}

int kelSqlFrame(const KelProcSpec &proc, void **values, short **inds, char *sqlstate,
                const char *procName, const char *specName, char *diagMsg) {
  (void)specName;
  (void)diagMsg;
  const KelProcLayout &layout = proc.layouts[0];
  std::vector<KelArg> args(static_cast<size_t>(layout.count));
  int32_t *returnCode = nullptr;
  char *returnMsg = nullptr;
  for (int i = 0; i < layout.count; ++i) {
    const KelParamSpec &p = layout.params[i];
    KelArg &arg = args[static_cast<size_t>(i)];
    short *ind = inds != nullptr ? inds[i] : nullptr;
    if (isOutput(p) && ind != nullptr) *ind = 0;
    if (p.kind == KelParamKind::ReturnCode) returnCode = static_cast<int32_t *>(values[i]);
    if (p.kind == KelParamKind::ReturnMsg) returnMsg = static_cast<char *>(values[i]);
    if (hasOutBuffer(p) && values[i] != nullptr) {
      arg.out = p.kind == KelParamKind::Lob ? static_cast<char *>(values[i]) + sizeof(sqluint32)
                                            : static_cast<char *>(values[i]);
      arg.outCap = p.maxLen;
    }
    if (!isInput(p)) continue;
    arg.isNull = values[i] == nullptr || (ind != nullptr && *ind == -1);
    if (arg.isNull) {
      arg.data = "";
      continue;
    }
    switch (p.kind) {
      case KelParamKind::String:
        arg.data = static_cast<const char *>(values[i]);
        arg.len = static_cast<int32_t>(std::strlen(arg.data));
        break;
      case KelParamKind::Lob: {
        sqluint32 n;
        std::memcpy(&n, values[i], sizeof n);
        arg.data = static_cast<const char *>(values[i]) + sizeof n;
        arg.len = static_cast<int32_t>(n);
        break;
      }
      default:
        std::memcpy(&arg.num, values[i], sizeof arg.num);
        break;
    }
  }
  char localMsg[kMsgBytes];
  if (returnMsg == nullptr) returnMsg = localMsg;
  if (returnCode != nullptr) *returnCode = 0;
  if (sqlstate != nullptr) std::memcpy(sqlstate, "00000", 6);

  int32_t rc = runSqlConvention(proc, layout, args.data(), returnMsg,
                                procName != nullptr && *procName ? procName : proc.name);
  if (returnCode != nullptr) *returnCode = rc;
  for (int i = 0; i < layout.count; ++i) {
    const KelParamSpec &p = layout.params[i];
    short *ind = inds != nullptr ? inds[i] : nullptr;
    const KelArg &arg = args[static_cast<size_t>(i)];
    if (!isOutput(p)) {
      if (ind != nullptr) *ind = SQL_IND_NO_RETURN;
      continue;
    }
    if (p.kind == KelParamKind::Integer && values[i] != nullptr) std::memcpy(values[i], &arg.outNum, sizeof arg.outNum);
    if (hasOutBuffer(p) && arg.out != nullptr) {
      int32_t n = arg.outLen < 0 ? 0 : (arg.outLen > p.maxLen ? p.maxLen : arg.outLen);
      arg.out[n] = '\0';
      if (p.kind == KelParamKind::Lob) {
        auto len = static_cast<sqluint32>(n);
        std::memcpy(values[i], &len, sizeof len);
      }
    }
    if (ind != nullptr) *ind = arg.outNull ? -1 : 0;
  }
  return 0;
}
