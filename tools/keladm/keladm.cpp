// keladm.cpp - the administration command: connects to a database, checks that it is enabled,
// calls the administration procedure of the command through the embedded runtime with a
// descriptor area, prints its message, commits or rolls back, and ends with its return code.
// It also switches the instance trace on and off, and verifies (and repairs) the side tables
// of an XML column, reporting its progress as it goes.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelcli.h"
#include "kelcodepage.h"
#include "kelfile.h"
#include "keladmcmd.h"
#include "kelmsg.h"
#include "kelSgDoc.h"
#include "keltrace.h"
#include "kelverify.h"
#include "quarnapp.h"
#include "sqlcli.h"

namespace {

constexpr const char *kProgram = "keladm";
constexpr const char *kUnit = "keladm";
constexpr int kNotBound = -104;
constexpr int kProcNameBytes = 65;
constexpr int kCliFailure = -57;

// One descriptor-area entry's storage: strings are terminated (SQL_TYP_CSTR), the DAD is a
// large object with an extended entry, the return code an integer.
struct Arg {
  short type = SQL_TYP_NCSTR;
  std::vector<char> data;
  short ind = 0;
  sqluint32 lobLength = 0;
  bool lob = false;
};

Arg stringArg(const char *value, size_t room = 0) {
  Arg a;
  size_t len = value != nullptr ? std::strlen(value) : 0;
  a.data.assign((room > len ? room : len) + 1, '\0');
  if (value != nullptr)
    std::memcpy(a.data.data(), value, len);
  else
    a.ind = -1;
  return a;
}

Arg intArg() {
  Arg a;
  a.type = SQL_TYP_NINTEGER;
  a.data.assign(sizeof(sqlint32), '\0');
  return a;
}

// The descriptor area of a CALL: n entries and, for a large object, its extended entries.
class CallArea {
 public:
  explicit CallArea(std::vector<Arg> *args) : args_(args) {
    int n = static_cast<int>(args->size());
    bytes_.assign(static_cast<size_t>(SQLDASIZE(2 * n)), 0);
    da_ = reinterpret_cast<sqlda *>(bytes_.data());
    std::memcpy(da_->sqldaid, "SQLDA   ", 8);
    da_->sqldabc = SQLDASIZE(2 * n);
    da_->sqln = static_cast<short>(2 * n);
    da_->sqld = static_cast<short>(n);
    for (int i = 0; i < n; ++i) {
      Arg &a = (*args)[static_cast<size_t>(i)];
      sqlvar &v = da_->sqlvar[i];
      v.sqltype = a.type;
      v.sqldata = a.data.data();
      v.sqlind = &a.ind;
      if (a.lob) {
        v.sqllen = 0;
        auto *ext = reinterpret_cast<sqlvar2 *>(&da_->sqlvar[i + n]);
        ext->len.sqllonglen = static_cast<sqlint64>(a.data.size());
        ext->sqldatalen = reinterpret_cast<char *>(&a.lobLength);
      } else {
        v.sqllen = static_cast<short>(a.type == SQL_TYP_NINTEGER ? sizeof(sqlint32) : a.data.size());
      }
    }
  }
  sqlda *get() { return da_; }

 private:
  std::vector<Arg> *args_;
  std::vector<unsigned char> bytes_;
  sqlda *da_ = nullptr;
};

// The database's text of a failed statement and a catalogue message, to standard error.
void printDbFailure(sqlca *ca, int msgNo, const char *arg) { kelPrintDbMessage(nullptr, ca, msgNo, arg); }

// Whether query gives a row, on conn.  Returns 0, or the call-level interface's failure (message
// in msg).
int rowExists(KelCallContext *ctx, KelCliConnection &conn, const char *query, bool *found, char *sqlstate, char *msg) {
  *found = false;
  int rc = 0;
  KelCliStmt stmt;
  SQLRETURN cli = stmt.alloc(conn.handle());
  if (!SQL_SUCCEEDED(cli)) {
    rc = KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, conn.handle(), cli, "SQLAllocHandle for select stmt");
  } else if (!SQL_SUCCEEDED(cli = SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR *>(const_cast<char *>(query)),
                                                SQL_NTS))) {
    rc = KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.get(), cli, " SQLExecDirect on xml_usage selection");
  } else {
    cli = SQLFetch(stmt.get());
    if (cli == SQL_NO_DATA) {
      *found = false;
    } else if (!SQL_SUCCEEDED(cli)) {
      rc = KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.get(), cli, " SQLFetch on xml_usage selection");
    } else {
      *found = true;
    }
    if (rc >= 0 && !SQL_SUCCEEDED(cli = SQLCloseCursor(stmt.get())))
      rc = KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.get(), cli, " SQLCloseCursor on xml_usage selection");
  }
  if (rc >= 0 && !SQL_SUCCEEDED(cli = stmt.reset()))
    rc = KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, conn.handle(), cli, " SQLFreeStmt");
  return rc;
}

// Checks through the call-level interface, on the current connection, that the catalogue
// table XML_USAGE exists.  Returns 0, -151 (KELQ073E printed) or -57 (KELG006E printed).
// disabling: a database without XML_USAGE whose disable procedure is still registered was left
// partly enabled (by an older version, or by hand); the procedure cleans it up, passing over
// what is gone, so the command goes on to it instead of refusing a database it cannot enable
// either.
int checkEnabled(KelCallContext *ctx, KeladmPlatform platform, bool disabling) {
  char msg[KEL_MSG_BUFFER + 1] = "";
  char sqlstate[6] = "00000";
  KelCliConnection conn;
  int rc = conn.open(ctx, kUnit, sqlstate, msg);
  if (rc < 0) {
    std::fputs(msg, stderr);
    return rc;
  }
  const char *query =
      platform == KeladmPlatform::Mainframe
          ? "SELECT 1 FROM SYSOSTREL.SYSTABLES WHERE CREATOR='QUARNXML' AND NAME='XML_USAGE'"
      : platform == KeladmPlatform::Midrange
          ? "SELECT 1 FROM QMSYS.SYSTABLES WHERE TABLE_SCHEMA='QUARNXML' AND TABLE_NAME='XML_USAGE'"
          : "SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA='QUARNXML' AND TABNAME='XML_USAGE'";
  bool found = false, partly = false;
  rc = rowExists(ctx, conn, query, &found, sqlstate, msg);
  if (rc >= 0 && !found && disabling && platform != KeladmPlatform::Mainframe && platform != KeladmPlatform::Midrange)
    rc = rowExists(ctx, conn,
                   "SELECT 1 FROM SYSCAT.ROUTINES WHERE ROUTINESCHEMA='QUARNXML' AND ROUTINENAME='KELDISABLEDB'",
                   &partly, sqlstate, msg);
  if (rc >= 0) {
    rc = conn.close(ctx, kUnit, sqlstate, msg);
  }
  if (rc < 0) {
    std::fputs(msg, stderr);
    return kCliFailure;
  }
  KEL_TRACE(ctx, "XML_USAGE %s\n", found ? "found" : partly ? "not found, the database is partly enabled" : "not found");
  if (!found && !partly) {
    kelPrintMessage(ctx, KELQ073E);
    return -151;
  }
  return 0;
}

// Reads the DAD file into arg (a large object of at most KELADM_MAX_DAD bytes).  A file whose
// byte-order mark or XML declaration names an encoding other than the command's code page is
// converted to the database code page, its declaration naming that (the bytes read are
// converted: the file is opened once); without a context the bytes are passed as read.
// Returns 0, or the return code of the message printed.
int readDad(KelCallContext *ctx, const char *fileName, Arg *arg) {
  struct stat st {};
  if (::stat(fileName, &st) != 0) {
    kelPrintMessage(nullptr, KELG000E, fileName);
    char state[6];
    return kelMessageState(KELG000E, state);
  }
  arg->type = SQL_TYP_CLOB;
  arg->lob = true;
  arg->data.assign(static_cast<size_t>(KELADM_MAX_DAD), '\0');
  char sqlstate[6] = "00000";
  int msgNo = 0;
  if (kel_file2lob(nullptr, fileName, arg->data.data(), KELADM_MAX_DAD, &arg->lobLength, sqlstate, &msgNo, false) < 0) {
    kelPrintMessage(nullptr, msgNo);
    return kelMessageState(msgNo, sqlstate);
  }
  if (ctx == nullptr) return 0;
  std::vector<char> text(static_cast<size_t>(KELADM_MAX_DAD), '\0');
  char msg[KEL_MSG_BUFFER + 1] = "";
  int32_t n = kelConvFileBufferToQuarn(ctx, arg->data.data(), static_cast<int32_t>(arg->lobLength), text.data(),
                                       KELADM_MAX_DAD, msg, sqlstate);
  if (n < 0) {
    std::fputs(msg, stderr);
    int32_t rc = 0;
    return kelStateToCode(ctx, &rc, sqlstate);
  }
  if (n > 0) {
    arg->data = std::move(text);
    arg->lobLength = static_cast<sqluint32>(n);
  }
  return 0;
}

// The procedure, its arguments and the message printed before the call.
struct Call {
  const char *procedure = nullptr;
  std::vector<Arg> args;
  int beforeMsg = 0;
  const char *beforeArg = nullptr;
};

int buildCall(KelCallContext *ctx, const KeladmCommand &cmd, Call *call) {
  std::vector<Arg> &a = call->args;
  a.push_back(stringArg(cmd.dbName));
  switch (cmd.word) {
    case KeladmWord::EnableDb:
      call->procedure = "quarnxml!kelEnableDB";
      call->beforeMsg = KELA005I;
      call->beforeArg = cmd.dbName;
      if (cmd.tableSpace != nullptr) {
        a.push_back(stringArg(cmd.tableSpace1));
        a.push_back(stringArg(cmd.hasTableSpacePair ? cmd.tableSpace2 : nullptr));
      }
      break;
    case KeladmWord::DisableDb:
      call->procedure = "quarnxml.kelDisableDB";
      call->beforeMsg = KELA035I;
      call->beforeArg = cmd.dbName;
      break;
    case KeladmWord::EnableColumn: {
      call->procedure = "quarnxml.kelEnableColumn";
      call->beforeMsg = KELA000I;
      call->beforeArg = cmd.columnName;
      a.push_back(stringArg(cmd.tableName));
      a.push_back(stringArg(cmd.columnName));
      Arg dad;
      int rc = readDad(ctx, cmd.dadFile, &dad);
      if (rc != 0) return rc;
      a.push_back(std::move(dad));
      a.push_back(stringArg(cmd.tableSpace));
      a.push_back(stringArg(cmd.defaultView));
      a.push_back(stringArg(cmd.rootId));
      break;
    }
    case KeladmWord::DisableColumn:
      call->procedure = "quarnxml.kelDisableColumn";
      call->beforeMsg = KELA008I;
      call->beforeArg = cmd.columnName;
      a.push_back(stringArg(cmd.tableName));
      a.push_back(stringArg(cmd.columnName));
      break;
    case KeladmWord::EnableCollection: {
      call->procedure = "quarnxml.kelEnableCollection";
      call->beforeMsg = KELA063I;
      call->beforeArg = cmd.columnName;
      a.push_back(stringArg(cmd.columnName));
      Arg dad;
      int rc = readDad(ctx, cmd.dadFile, &dad);
      if (rc != 0) return rc;
      a.push_back(std::move(dad));
      a.push_back(stringArg(cmd.tableSpace));
      break;
    }
    case KeladmWord::DisableCollection:
      call->procedure = "quarnxml.kelDisableCollection";
      call->beforeMsg = KELA064I;
      call->beforeArg = cmd.columnName;
      a.push_back(stringArg(cmd.columnName));
      break;
    default:
      return -1;
  }
  a.push_back(intArg());
  a.push_back(stringArg("", KEL_MSG_BUFFER));
  return 0;
}

// Binds the list files of the engine and of the extension.  Returns 0 when bound; otherwise
// the message (KELA072E or KELA073E) has been printed and the result is negative.
int bindDatabase() {
  const char *quarnPath = std::getenv("QUARNPATH");
  const char *kelPath = std::getenv("QUARNKELPATH");
  if (quarnPath == nullptr || kelPath == nullptr || *quarnPath == '\0' || *kelPath == '\0') {
    kelPrintMessage(nullptr, KELA072E);
    return -1;
  }
  sqlca ca{};
  int code = 0;
  for (const std::string &list : {std::string("@") + quarnPath + "/bnd/quarncli.lst",
                                  std::string("@") + kelPath + "/bnd/kelbind.lst"}) {
    code = sqlabndx(list.c_str(), "", nullptr, &ca);
    if (code < 0) break;
  }
  if (code != 0 && code != 25) {
    kelPrintMessage(nullptr, KELA073E);
    return -1;
  }
  return 0;
}

// Calls the procedure, once more after binding when the database answers that it is not
// bound.  Returns the exit status.
int callProcedure(KelCallContext *ctx, Call *call) {
  char procName[kProcNameBytes] = "";
  std::snprintf(procName, sizeof procName, "%s", call->procedure);
  int rc = 0;
  for (int pass = 0; pass < 2; ++pass) {
    if (pass == 0) kelPrintMessage(nullptr, call->beforeMsg, call->beforeArg);
    Arg &rcArg = call->args[call->args.size() - 2];
    Arg &msgArg = call->args.back();
    std::fill(rcArg.data.begin(), rcArg.data.end(), '\0');
    std::fill(msgArg.data.begin(), msgArg.data.end(), '\0');
    rcArg.ind = 0;
    msgArg.ind = 0;
    CallArea area(&call->args);
    sqlca ca{};
    KEL_TRACE(ctx, "calling %s with %d arguments, pass %d\n", procName, area.get()->sqld, pass + 1);
    int code = quarn_call(procName, area.get(), &ca);
    KEL_TRACE(ctx, "%s: SQLCODE %d\n", procName, static_cast<int>(ca.sqlcode));
    if (code < 0) {
      // The procedure never ran to its end: nothing of it is kept, and it is a failure.
      printDbFailure(&ca, KELA065E, procName);
      sqlca rb{};
      quarn_rollback(&rb);
      char state[6];
      return kelMessageState(KELA065E, state);
    }
    sqlint32 value = 0;
    std::memcpy(&value, rcArg.data.data(), sizeof value);
    rc = value;
    KEL_TRACE(ctx, "%s: return code %d\n", procName, rc);
    sqlca end{};
    if (rc == 0) {
      // The procedure's success message only once its work is kept: a COMMIT that fails is
      // the commit's failure (the procedure ran to its end), and nothing of the work is kept.
      if (quarn_commit(&end) < 0) {
        KEL_TRACE(ctx, "%s: COMMIT SQLCODE %d\n", procName, static_cast<int>(end.sqlcode));
        std::string what = std::string("commit the work of ") + procName;
        printDbFailure(&end, KELQ067E, what.c_str());
        sqlca rb{};
        quarn_rollback(&rb);
        char state[6];
        return kelMessageState(KELQ067E, state);
      }
      std::fputs(msgArg.data.data(), stderr);
    } else {
      if (rc != kNotBound) std::fputs(msgArg.data.data(), stderr);
      quarn_rollback(&end);
    }
    if (rc != kNotBound) return rc;
    if (pass == 1) {
      kelPrintMessage(nullptr, KELA073E);
      return rc;
    }
    if (bindDatabase() < 0) return rc;
  }
  return rc;
}

int switchTrace(const KeladmCommand &cmd) {
  // The engine's instance settings, so that the trace is switched in the control file the
  // procedures of the same instance read.
  quarn_instance_defaults();
  char msg[KEL_MSG_BUFFER + 1] = "";
  char sqlstate[6] = "00000";
  int32_t rc = 0;
  int result = cmd.word == KeladmWord::TraceOn ? kelTraceOn(nullptr, cmd.traceDir, cmd.instance, &rc, sqlstate, msg)
                                               : kelTraceOff(nullptr, cmd.instance, msg, &rc);
  if (result == 0) {
    std::fputs(msg, stderr);
    return 0;
  }
  if (msg[0] == '\0') {
    // No instance to switch: neither given nor set in the environment.
    kelPrintMessage(nullptr, KELA076E);
    char state[6];
    return kelMessageState(KELA076E, state);
  }
  std::fputs(msg, stderr);
  return rc;
}

// The runtime context of the command: messages in full and, when the instance is traced, the
// trace file.  Set up after CONNECT, when the engine has settled the instance's environment;
// without it the command goes on untraced.
class RunContext {
 public:
  RunContext() {
    char sqlstate[6] = "00000";
    ready_ = kelInit(&ctx_, KEL_FULL_MESSAGES, nullptr, sqlstate, why_, nullptr) == 0;
  }
  ~RunContext() {
    char sqlstate[6] = "00000";
    if (ready_) kelTerm(&ctx_, sqlstate);
  }
  RunContext(const RunContext &) = delete;
  RunContext &operator=(const RunContext &) = delete;
  KelCallContext *get() { return ready_ ? &ctx_ : nullptr; }
  // Why the context could not be set up (say, the trace file named by the instance's control
  // file cannot be opened); empty when it was.
  const char *why() const { return ready_ ? "" : why_; }

 private:
  KelCallContext ctx_{};
  bool ready_ = false;
  char why_[KEL_MSG_BUFFER + 1] = "";
};

// VERIFY_COLUMN: runs the verification worker of kelVerifyColumn on this connection (a CALL
// could not report progress while it runs): a progress line every KEL_VERIFY_PROGRESS_EVERY
// documents and the answer on standard error, the counts on standard output; COMMIT unless it
// failed.  Exit status 0 when nothing differs or all was repaired, 1 when differences remain,
// the return code when it failed.
int verifyColumn(KelCallContext *ctx, const char *why, const KeladmCommand &cmd) {
  char msg[KEL_MSG_BUFFER + 1] = "";
  if (ctx == nullptr) {
    kelPrintMessage(nullptr, KELQ067E, "set up the runtime context");
    if (why[0] != '\0') std::fputs(why, stderr);
    char state[6];
    return kelMessageState(KELQ067E, state);
  }
  char state[6] = "00000";
  if (int32_t rc = kelCheckParserForCall(ctx, state, msg); rc < 0) {
    std::fputs(msg, stderr);
    return rc;
  }
  const int32_t repair = cmd.repair ? 1 : 0;
  KelVerifyCounts counts;
  const char *column = cmd.columnName;
  int32_t rc = kelVerifyColumnMain(
      ctx, cmd.tableName, column, &repair, &counts,
      [column](int64_t documents) {
        std::string n = std::to_string(documents);
        kelPrintMessage(nullptr, KELA082I, n.c_str(), column);
      },
      msg);
  KEL_TRACE(ctx, "verify_column: return code %d\n", rc);
  std::fputs(msg, stderr);
  sqlca end{};
  if (rc < 0) {
    quarn_rollback(&end);
    return rc;
  }
  if (quarn_commit(&end) < 0) {
    printDbFailure(&end, KELQ067E, "commit the verification");
    char state[6];
    return kelMessageState(KELQ067E, state);
  }
  std::printf("Documents verified: %lld\n", static_cast<long long>(counts.documents));
  std::printf("Documents with missing side rows: %d\n", counts.missing);
  std::printf("Side rows without a document: %d\n", counts.extra);
  std::printf("Documents with different side rows: %d\n", counts.different);
  std::printf("Documents that cannot be read: %d\n", counts.unreadable);
  return rc == 0 ? 0 : 1;
}

// The command on its connection: catalogue check, the procedure call, commit or rollback.
int runConnected(const KeladmCommand &cmd, const char *word, KeladmPlatform platform) {
  RunContext context;
  KelCallContext *ctx = context.get();
  // The password is never traced.
  KEL_TRACE(ctx, "%s database %s user %s platform %d\n", word, cmd.dbName, cmd.user != nullptr ? cmd.user : "(current)",
            static_cast<int>(platform));
  int rc = 0;
  if (cmd.word != KeladmWord::EnableDb) rc = checkEnabled(ctx, platform, cmd.word == KeladmWord::DisableDb);
  if (rc == 0 && platform == KeladmPlatform::Midrange && cmd.tableSpace != nullptr) {
    keladmPrintUsage(kProgram, platform);
    rc = -1;
  }
  if (rc == 0 && cmd.word == KeladmWord::VerifyColumn) {
    rc = verifyColumn(ctx, context.why(), cmd);
  } else if (rc == 0) {
    Call call;
    rc = buildCall(ctx, cmd, &call);
    if (rc == 0) rc = callProcedure(ctx, &call);
  }
  KEL_TRACE(ctx, "exit status %d\n", rc);
  return rc;
}

int run(int argc, char **argv) {
  KeladmCommand cmd;
  int exitCode = -1;
  switch (keladmParse(argc, argv, &cmd, &exitCode)) {
    case KeladmParse::Usage:
      keladmPrintUsage(kProgram, KeladmPlatform::Workstation);
      return -1;
    case KeladmParse::Message:
      return exitCode;
    case KeladmParse::Ok:
      break;
  }
  if (cmd.serverForm) {
    std::fprintf(stderr, "%s: %s is not supported on this platform.\n", kProgram, argv[1]);
    return -1;
  }
  if (cmd.word == KeladmWord::TraceOn || cmd.word == KeladmWord::TraceOff) return switchTrace(cmd);

  sqlca ca{};
  if (quarn_connect(cmd.dbName, cmd.user, cmd.password, &ca) < 0) {
    printDbFailure(&ca, KELA003E, cmd.dbName);
    return -1;
  }
  sqlca info{};
  quarn_connect_info(&info);
  char product[9] = "";
  std::memcpy(product, info.sqlerrp, sizeof info.sqlerrp < 8 ? sizeof info.sqlerrp : 8);
  KeladmPlatform platform = keladmPlatformOf(product);

  int rc = runConnected(cmd, argv[1], platform);
  sqlca reset{};
  if (quarn_connect_reset(&reset) < 0 && rc == 0) rc = reset.sqlcode;
  return rc;
}

}  // namespace

int main(int argc, char **argv) {
  int rc = run(argc, argv);
  std::fflush(stdout);
  std::fflush(stderr);
  // The exit status keeps the code's low eight bits only: a failure whose code is a multiple of
  // 256 (-1024, no connection) would read as success, so it ends as -1 does.
  if (rc != 0 && (rc & 0xff) == 0) rc = -1;
  return rc;
}
