// Switching the instance trace on and off, and opening it for a call.
#include "keltrace.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <cstring>
#include <string>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"

namespace {

class Trace : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "inst1");
    env.set("QUARNKELPATH", dir.str());
  }
  std::string control() { return dir.file("kelinst1.ctl"); }
  std::string traceFile() { return dir.file("kelinst1.trc"); }
  // kelTraceOpen of ctx in message mode, the system directory being kelPath for the call.
  int openUnder(const std::string &kelPath, uint32_t mode, KelCallContext *ctx) {
    keltest::ScopedEnv local;
    local.set("QUARNKELPATH", kelPath);
    ctx->fullMessages = mode;
    std::strcpy(state, "00000");
    return kelTraceOpen(ctx, state, msg);
  }

  keltest::TempDir dir;
  keltest::ScopedEnv env;
  char state[6] = "";
  char msg[KEL_MSG_BUFFER + 1] = "";
  int32_t rc = 1;
};

TEST_F(Trace, OnWritesControlFileAndHeaderThenCallsTraceUntilOff) {
  ASSERT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_STREQ(state, "00000");
  EXPECT_STREQ(msg, "KELA068I  Lorvane has successfully turned the trace on.\n");
  EXPECT_EQ(keltest::readFile(control()), traceFile());
  // The trace records document values: it is made for its user alone whatever the umask (it was
  // 0666 less the umask, so readable by every user), also when a call makes it again.
  struct stat st {};
  ASSERT_EQ(::stat(traceFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string header = keltest::readFile(traceFile());
  ASSERT_EQ(header.rfind("*** Trace turned on ", 0), 0u);
  // The date form ends in a newline of its own, and the line adds one.
  EXPECT_EQ(header.size(), std::string("*** Trace turned on ").size() + 24 + 2);

  KelCallContext ctx{};
  ASSERT_EQ(kelTraceOpen(&ctx, state, msg), 0);
  EXPECT_EQ(ctx.traceOn, 1u);
  EXPECT_EQ(std::string(ctx.traceFileName), traceFile());
  KEL_TRACE(&ctx, "entered.\n");
  EXPECT_GT(kelTraceWrite(&ctx, "SQLCODE = %d\n", -204), 0);
  // Opening again while open is a no-op that clears the message.
  std::strcpy(msg, "old");
  EXPECT_EQ(kelTraceOpen(&ctx, state, msg), 0);
  EXPECT_STREQ(msg, "");
  kelTraceClose(&ctx);
  EXPECT_EQ(ctx.traceOn, 0u);
  EXPECT_EQ(kelTraceWrite(&ctx, "lost\n"), 0);
  std::string text = keltest::readFile(traceFile());
  EXPECT_NE(text.find("TestBody:\t\tentered.\nSQLCODE = -204\n"), std::string::npos) << text;
  ASSERT_EQ(::unlink(traceFile().c_str()), 0);
  KelCallContext again{};
  ASSERT_EQ(kelTraceOpen(&again, state, msg), 0);
  kelTraceClose(&again);
  ASSERT_EQ(::stat(traceFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  ASSERT_EQ(kelTraceOff(nullptr, nullptr, msg, &rc), 0);
  EXPECT_STREQ(msg, "KELA069I  Lorvane has successfully turned the trace off.\n");
  EXPECT_FALSE(std::filesystem::exists(control()));
  KelCallContext later{};
  EXPECT_EQ(kelTraceOpen(&later, state, msg), 0);
  EXPECT_EQ(later.traceOn, 0u);

  // Switching off twice: the second fails to remove the control file.
  EXPECT_EQ(kelTraceOff(nullptr, nullptr, msg, &rc), -1);
  EXPECT_EQ(rc, -96);
  EXPECT_EQ(std::string(msg), "KELC008E  Can not remove the file " + control() + ".\n");
}

TEST_F(Trace, MissingInstanceSettingsGive38X35WithoutMessage) {
  for (const char *var : {"QUARNINSTANCE", "QUARNKELPATH"}) {
    keltest::ScopedEnv local;
    local.unset(var);
    msg[0] = '\0';
    std::strcpy(state, "00000");
    EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
    EXPECT_EQ(rc, -102);
    EXPECT_STREQ(state, "38X35");
    EXPECT_STREQ(msg, "");
    rc = 0;
    EXPECT_EQ(kelTraceOff(nullptr, nullptr, msg, &rc), -1);
    EXPECT_EQ(rc, -102);
    KelCallContext ctx{};
    std::strcpy(state, "00000");
    EXPECT_EQ(kelTraceOpen(&ctx, state, msg), -102);
    EXPECT_STREQ(state, "38X35");
    EXPECT_STREQ(msg, "");
    // Every call fails at initialisation while the variable is missing.
    EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), -102);
  }
  // A given instance name stands in for QUARNINSTANCE.
  keltest::ScopedEnv local;
  local.unset("QUARNINSTANCE");
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), "inst2", &rc, state, msg), 0);
  EXPECT_EQ(keltest::readFile(dir.file("kelinst2.ctl")), dir.file("kelinst2.trc"));
}

TEST_F(Trace, UnusableTraceFilesAreReported) {
  // A trace directory that does not exist.
  std::string missing = dir.file("nodir");
  EXPECT_EQ(kelTraceOn(nullptr, missing.c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -97);
  EXPECT_EQ(std::string(msg), "KELC009E  Unable to create file to " + missing + " directory.\n");
  EXPECT_FALSE(std::filesystem::exists(control()));

  // A control file naming a file in a directory that is gone: every call fails with -148.
  keltest::writeFile(control(), dir.file("gone/kelinst1.trc"));
  for (int call = 0; call < 2; ++call) {
    KelCallContext ctx{};
    ctx.fullMessages = KEL_FULL_MESSAGES;
    EXPECT_EQ(kelTraceOpen(&ctx, state, msg), -148);
    EXPECT_STREQ(state, "38X03");
    EXPECT_EQ(std::string(msg), "KELQ070E  Cannot open trace file " + dir.file("gone/kelinst1.trc") + " for output.\n");
    EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), -148);
    EXPECT_EQ(ctx.codePages, nullptr);
  }
  EXPECT_EQ(kelTraceOff(nullptr, nullptr, msg, &rc), 0);

  // A system directory that is a file: the look for the control file fails otherwise than
  // with a missing name, and every call reports it.
  {
    std::string file = dir.file("plainfile");
    keltest::writeFile(file, "x");
    KelCallContext ctx{};
    EXPECT_EQ(openUnder(file, KEL_FULL_MESSAGES, &ctx), -1);
    EXPECT_STREQ(state, "38X03");
    EXPECT_EQ(std::string(msg), "'" + file + "/kelinst1.ctl' Not a directory\n");
    EXPECT_EQ(ctx.traceOn, 0u);
  }

  // A control file that is there but cannot be opened (a link to itself) fails the call with
  // "38X03"; the state used to be left at "00000", a failure reported with a success state.
  std::filesystem::create_symlink(control(), control());
  {
    KelCallContext ctx{};
    std::strcpy(state, "00000");
    EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), -1);
    EXPECT_STREQ(state, "38X03");
    EXPECT_EQ(std::string(msg), "'" + control() + "' Too many levels of symbolic links\n");
    EXPECT_EQ(ctx.codePages, nullptr);
  }
  std::filesystem::remove(control());

  // A directory in the control file's place is opened but cannot be read: the call fails with
  // the system's reason, where it used to name an empty trace file.
  std::filesystem::create_directory(control());
  {
    KelCallContext ctx{};
    std::strcpy(state, "00000");
    EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), -1);
    EXPECT_STREQ(state, "38X03");
    EXPECT_EQ(std::string(msg), "'" + control() + "' Is a directory\n");
  }

  // A control file that cannot be written.
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -105);
  EXPECT_STREQ(state, "38X03");
  EXPECT_STREQ(msg, "KELC011E  Unable to write to the trace control file.\n");
}

// A function's message about an unreadable control file is cut to 70 characters as every
// message is: it used to be cut at 70 bytes, which lost its newline and could split a
// character of the directory's name.
TEST_F(Trace, ShortModeMessageOfAnUnreadableControlFileEndsBehindAWholeCharacter) {
  const std::string ch = "\xE6\x97\xA5";
  const std::string lead = "'" + dir.str() + "/";
  ASSERT_LT(lead.size(), 60u) << "the temporary directory's name is too long for this case";
  for (size_t pad = 68 - lead.size(); pad <= 69 - lead.size(); ++pad) {
    // A character on bytes 68 to 70 or 69 to 71 of the message, across its 69th.
    std::string sub = dir.file(std::string(pad, 'p') + ch + ch + ch);
    std::filesystem::create_directory(sub);
    std::filesystem::create_symlink(sub + "/kelinst1.ctl", sub + "/kelinst1.ctl");
    KelCallContext ctx{};
    EXPECT_EQ(openUnder(sub, KEL_SHORT_MESSAGES, &ctx), -1);
    EXPECT_STREQ(state, "38X03");
    EXPECT_EQ(std::string(msg), lead + std::string(pad, 'p') + "\n") << pad;
  }
}

// The trace file is the one in the named directory and nothing else: a link or a FIFO put in
// its place (in a directory others may write, /tmp say) is refused when tracing is switched on
// and when a call opens it, so trace lines never land in the file the link points to and no
// call waits on a FIFO.
TEST_F(Trace, ALinkOrFifoInPlaceOfTheTraceFileIsRefused) {
  std::string victim = dir.file("victim.txt");
  keltest::writeFile(victim, "precious\n");
  std::filesystem::create_symlink(victim, traceFile());
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -97);
  EXPECT_EQ(std::string(msg), "KELC009E  Unable to create file to " + dir.str() + " directory.\n");
  EXPECT_FALSE(std::filesystem::exists(control()));
  EXPECT_EQ(keltest::readFile(victim), "precious\n");

  // A control file written while the name was a plain file, the link put there since.
  keltest::writeFile(control(), traceFile());
  KelCallContext ctx{};
  ctx.fullMessages = KEL_FULL_MESSAGES;
  EXPECT_EQ(kelTraceOpen(&ctx, state, msg), -148);
  EXPECT_EQ(std::string(msg), "KELQ070E  Cannot open trace file " + traceFile() + " for output.\n");
  EXPECT_EQ(ctx.traceFile, nullptr);
  EXPECT_EQ(keltest::readFile(victim), "precious\n");

  std::filesystem::remove(traceFile());
  ASSERT_EQ(::mkfifo(traceFile().c_str(), 0600), 0);
  EXPECT_EQ(kelTraceOpen(&ctx, state, msg), -148);
  EXPECT_EQ(ctx.traceFile, nullptr);
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -97);

  // A link in the directory's own path is the administrator's choice and is followed.
  std::filesystem::remove(traceFile());
  std::filesystem::remove(control());
  std::string real = dir.file("real");
  std::filesystem::create_directory(real);
  std::filesystem::create_directory_symlink(real, dir.file("alias"));
  EXPECT_EQ(kelTraceOn(nullptr, dir.file("alias").c_str(), nullptr, &rc, state, msg), 0);
  EXPECT_EQ(keltest::readFile(real + "/kelinst1.trc").rfind("*** Trace turned on ", 0), 0u);
  EXPECT_EQ(kelTraceOpen(&ctx, state, msg), 0);
  EXPECT_EQ(ctx.traceOn, 1u);
  kelTraceClose(&ctx);
}

// Files of the trace that another hand put in place. An instance name from the environment
// with a '/' led the control and trace files out of their directories ("_/../../x" with a
// directory kel_ beside them); it counts as missing, as it does when given. A link in place of
// the control file was followed and its target overwritten. A trace file that is another name
// of a file (a hard link), or that another user made beforehand, is refused when the trace is
// switched on.
TEST_F(Trace, FilesOfTheTraceThatOthersPutInPlaceAreRefused) {
  // The system directory k and the trace directory t each hold a directory kel_, so that
  // "_/../../x" names dir/x.ctl and dir/x.trc.
  std::filesystem::create_directories(dir.file("k/kel_"));
  std::filesystem::create_directories(dir.file("t/kel_"));
  {
    keltest::ScopedEnv local;
    local.set("QUARNINSTANCE", "_/../../x");
    local.set("QUARNKELPATH", dir.file("k"));
    EXPECT_EQ(kelTraceOn(nullptr, dir.file("t").c_str(), nullptr, &rc, state, msg), -1);
    EXPECT_EQ(rc, -102);
    KelCallContext ctx{};
    EXPECT_EQ(kelTraceOpen(&ctx, state, msg), -102);
    EXPECT_EQ(kelTraceOn(nullptr, dir.file("t").c_str(), "a/b", &rc, state, msg), -1);
    EXPECT_EQ(rc, -102);
  }
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.ctl")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("x.trc")));

  const std::string victim = dir.file("victim.txt");
  keltest::writeFile(victim, "precious\n");
  std::filesystem::create_symlink(victim, control());
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -105);
  EXPECT_EQ(std::string(msg), "KELC011E  Unable to write to the trace control file.\n");
  EXPECT_EQ(keltest::readFile(victim), "precious\n");
  // The trace file the call made is gone again; one that was there before stays.
  EXPECT_FALSE(std::filesystem::exists(traceFile()));
  keltest::writeFile(traceFile(), "earlier\n");
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -105);
  EXPECT_EQ(keltest::readFile(traceFile()), "earlier\n");
  std::filesystem::remove(control());

  std::filesystem::remove(traceFile());
  std::filesystem::create_hard_link(victim, traceFile());
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
  EXPECT_EQ(rc, -97);
  EXPECT_EQ(keltest::readFile(victim), "precious\n");
  std::filesystem::remove(traceFile());

  if (::geteuid() == 0) {
    keltest::writeFile(traceFile(), "");
    ASSERT_EQ(::chown(traceFile().c_str(), 65534, 65534), 0);
    EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), -1);
    EXPECT_EQ(rc, -97);
    EXPECT_EQ(keltest::readFile(traceFile()), "");
    std::filesystem::remove(traceFile());
  }
  // The switching user's own file is taken, and the control file is written anew.
  keltest::writeFile(control(), "something longer than the name of the trace file, which it replaces entirely");
  EXPECT_EQ(kelTraceOn(nullptr, dir.str().c_str(), nullptr, &rc, state, msg), 0) << msg;
  EXPECT_EQ(keltest::readFile(control()), traceFile());
}

}  // namespace

// The control file is never emptied in place: a switch that fails writing it (here a file size
// limit of 0, as a full disk) leaves the trace as it was, where it used to leave an empty control
// file that failed every call of the instance with KELQ070E naming no file.
TEST_F(Trace, AFailedSwitchLeavesTheControlFileAsItWas) {
  const std::string first = dir.file("first");
  const std::string second = dir.file("second");
  std::filesystem::create_directory(first);
  std::filesystem::create_directory(second);
  ASSERT_EQ(kelTraceOn(nullptr, first.c_str(), nullptr, &rc, state, msg), 0) << msg;
  const std::string before = keltest::readFile(control());
  EXPECT_EQ(before, first + "/kelinst1.trc");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit none {0, 0};
    ::setrlimit(RLIMIT_FSIZE, &none);
    int32_t code = 0;
    char st[6] = "", text[KEL_MSG_BUFFER + 1] = "";
    const int r = kelTraceOn(nullptr, second.c_str(), nullptr, &code, st, text);
    ::_exit(r == -1 && code == -105 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(keltest::readFile(control()), before);
  // No new file is left beside the control file, and calls still trace to the first file.
  size_t entries = 0;
  for (const auto &e : std::filesystem::directory_iterator(dir.str())) entries += e.path().filename() != "first" && e.path().filename() != "second";
  EXPECT_EQ(entries, 1u);
  KelCallContext ctx{};
  EXPECT_EQ(kelTraceOpen(&ctx, state, msg), 0) << msg;
  EXPECT_EQ(ctx.traceOn, 1);
  kelTraceClose(&ctx);
  ASSERT_EQ(kelTraceOn(nullptr, second.c_str(), nullptr, &rc, state, msg), 0) << msg;
  EXPECT_EQ(keltest::readFile(control()), second + "/kelinst1.trc");
  EXPECT_EQ(kelTraceOff(nullptr, nullptr, msg, &rc), 0);
}
