// Server files: reads and writes that check what they opened, special files, links that flip
// or dangle, and temporary files of ended processes.
#include "kelaccess.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "kel_test_ctx.h"
#include "kel_test_env.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "sqlenv.h"

namespace fs = std::filesystem;

namespace {

// An instance that allows reading and writing in inside/ only; outside/ is its neighbour.
class Access : public keltest::CallContextTest {
 protected:
  void SetUp() override {
    keltest::CallContextTest::SetUp();
    inside = dir.file("inside");
    outside = dir.file("outside");
    fs::create_directory(inside);
    fs::create_directory(outside);
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, inside.c_str()), 0);
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, inside.c_str()), 0);
    keltest::writeFile(inside + "/in.xml", "<in/>");
    keltest::writeFile(outside + "/secret.xml", "<secret/>");
  }
  int openRead(const std::string &name, int *msgNo) {
    KelReadFile f;
    return f.open(&ctx, name.c_str(), true, state, msgNo);
  }
  int writeFile(const std::string &name, const std::string &data) {
    return kel_buf2file(&ctx, data.data(), static_cast<int64_t>(data.size()), name.c_str(), state, msg, true);
  }
  std::string inside, outside;
};

TEST_F(Access, ReadsOnlyRegularFilesInsideTheAllowedDirectories) {
  int msgNo = 0;
  EXPECT_EQ(openRead(inside + "/in.xml", &msgNo), 0);
  // Outside, through "..", or through a link out of the directory: refused.
  for (const std::string &name : {outside + "/secret.xml", inside + "/../outside/secret.xml"}) {
    EXPECT_EQ(openRead(name, &msgNo), -1) << name;
    EXPECT_EQ(msgNo, KELC002E) << name;
    EXPECT_STREQ(state, "38X02");
  }
  fs::create_symlink(outside + "/secret.xml", inside + "/link.xml");
  EXPECT_EQ(openRead(inside + "/link.xml", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
  // A missing file inside is "not found"; outside it says nothing about what exists there.
  EXPECT_EQ(openRead(inside + "/missing.xml", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC001E);
  EXPECT_STREQ(state, "38X01");
  EXPECT_EQ(openRead(outside + "/missing.xml", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
  // A directory and a FIFO are refused at once (the FIFO has no writer: a blocking open would
  // never return).
  fs::create_directory(inside + "/sub");
  EXPECT_EQ(openRead(inside + "/sub", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
  ASSERT_EQ(::mkfifo((inside + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(openRead(inside + "/fifo", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
  char buffer[16];
  EXPECT_EQ(kel_file2varchar(&ctx, (inside + "/fifo").c_str(), buffer, sizeof buffer, state, msg, nullptr, true), -1);
  EXPECT_STREQ(state, "38X02");
}

// The system marks a file removed after it was opened with " (deleted)" behind its name; files
// and directories whose own names hold those words are read and written as any other (both were
// refused: reading "x (deleted).xml" gave KELC002E, writing into "old (deleted)/" KELC003E).
TEST_F(Access, NamesThatHoldTheWordsDeletedAreOrdinaryNames) {
  int msgNo = 0;
  for (const std::string &name : {inside + "/x (deleted)", inside + "/x (deleted).xml"}) {
    EXPECT_EQ(writeFile(name, "<a/>"), 0) << name << " " << msg;
    EXPECT_EQ(openRead(name, &msgNo), 0) << name;
  }
  fs::create_directory(inside + "/old (deleted)");
  EXPECT_EQ(writeFile(inside + "/old (deleted)/y.xml", "<b/>"), 0) << msg;
  EXPECT_EQ(openRead(inside + "/old (deleted)/y.xml", &msgNo), 0);
  // A file of that name outside stays outside.
  keltest::writeFile(outside + "/s (deleted)", "<secret/>");
  EXPECT_EQ(openRead(outside + "/s (deleted)", &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
}

// Opening is itself an act (a FIFO's writer is let go, a device may act on it): what lies
// outside is refused before it is opened, whichever way the name leads there.
TEST_F(Access, FilesOutsideAreNeverOpened) {
  int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, outside.c_str(), IN_OPEN), 0);
  ASSERT_EQ(::mkfifo((outside + "/fifo").c_str(), 0600), 0);
  fs::create_symlink(outside + "/secret.xml", inside + "/link.xml");
  fs::create_directory_symlink(outside, inside + "/dirlink");
  int msgNo = 0;
  for (const std::string &name : {outside + "/secret.xml", inside + "/../outside/secret.xml", inside + "/link.xml",
                                  inside + "/dirlink/secret.xml", outside + "/fifo"}) {
    EXPECT_EQ(openRead(name, &msgNo), -1) << name;
    EXPECT_EQ(msgNo, KELC002E) << name;
  }
  char events[4096];
  ssize_t got = ::read(watch, events, sizeof events);
  EXPECT_LT(got, 0) << "a file outside the allowed directories was opened";
  ::close(watch);
  // Inside, through a link that stays inside, files are read as before.
  fs::create_symlink(inside + "/in.xml", inside + "/inlink.xml");
  EXPECT_EQ(openRead(inside + "/inlink.xml", &msgNo), 0);
}

TEST_F(Access, AZeroByteIsRefusedNotCut) {
  keltest::writeFile(inside + "/nul.xml", std::string("<a>x\0y</a>", 10));
  char buffer[64];
  EXPECT_EQ(kel_file2varchar(&ctx, (inside + "/nul.xml").c_str(), buffer, sizeof buffer, state, msg, nullptr, true), -1);
  EXPECT_STREQ(state, "38X02");
}

TEST_F(Access, WritesCreateFilesOnlyInsideAndNeverFollowLinks) {
  EXPECT_EQ(writeFile(inside + "/new.xml", "<new/>"), 0) << msg;
  EXPECT_EQ(keltest::readFile(inside + "/new.xml"), "<new/>");
  EXPECT_EQ(writeFile(outside + "/new.xml", "<x/>"), -1);
  EXPECT_STREQ(state, "38X03");
  EXPECT_FALSE(fs::exists(outside + "/new.xml"));
  // A missing directory inside: the file cannot be opened.
  EXPECT_EQ(writeFile(inside + "/nodir/new.xml", "<x/>"), -1);
  EXPECT_STREQ(state, "38X00");
  EXPECT_STREQ(msg, "KELC000E  Unable to open the specified file.\n");

  // A dangling link inside pointing out: the link is replaced, nothing is created outside.
  fs::create_symlink(outside + "/planted.xml", inside + "/dangling.xml");
  EXPECT_EQ(writeFile(inside + "/dangling.xml", "<d/>"), 0) << msg;
  EXPECT_FALSE(fs::exists(outside + "/planted.xml"));
  EXPECT_FALSE(fs::is_symlink(inside + "/dangling.xml"));
  EXPECT_EQ(keltest::readFile(inside + "/dangling.xml"), "<d/>");
  // A link to an existing outside file: the outside file keeps its bytes.
  fs::create_symlink(outside + "/secret.xml", inside + "/over.xml");
  EXPECT_EQ(writeFile(inside + "/over.xml", "<o/>"), 0) << msg;
  EXPECT_EQ(keltest::readFile(outside + "/secret.xml"), "<secret/>");
  // A file written over keeps its permissions.
  ::chmod((inside + "/new.xml").c_str(), 0640);
  EXPECT_EQ(writeFile(inside + "/new.xml", "<again/>"), 0);
  EXPECT_EQ(fs::status(inside + "/new.xml").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // New content never keeps the set-user or set-group bit of the old file.
  ::chmod((inside + "/new.xml").c_str(), 06755);
  EXPECT_EQ(writeFile(inside + "/new.xml", "<plain/>"), 0) << msg;
  struct stat st {};
  ASSERT_EQ(::stat((inside + "/new.xml").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);
  // A FIFO is never replaced.
  ASSERT_EQ(::mkfifo((inside + "/fifo").c_str(), 0600), 0);
  EXPECT_EQ(writeFile(inside + "/fifo", "<f/>"), -1);
  EXPECT_TRUE(fs::is_fifo(inside + "/fifo"));
}

// Writing goes through a new file renamed over the old one; that must not let the server
// replace a file it may not write, in a directory it may write (run as another user).
TEST_F(Access, AFileTheServerMayNotWriteIsNotReplaced) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs to act as another user";
  char pattern[] = "/tmp/kelaccessXXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string shared = pattern;
  ::chmod(shared.c_str(), 0777);
  const std::string target = shared + "/theirs.xml";
  keltest::writeFile(target, "<theirs/>");
  ::chmod(target.c_str(), 0644);
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
    KelFileWriter writer;
    int msgNo = 0;
    char childState[6] = "";
    int rc = writer.open(nullptr, target.c_str(), false, childState, &msgNo);
    if (rc == 0) rc = writer.write("<mine/>", 7, childState, &msgNo);
    if (rc == 0) rc = writer.commit(childState, &msgNo);
    ::_exit(rc == 0 ? 0 : msgNo == KELC000E ? 1 : 2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << "0: replaced; 3: could not change user";
  EXPECT_EQ(keltest::readFile(target), "<theirs/>");
  fs::remove_all(shared);
}

TEST_F(Access, AFailedWriteKeepsTheOldFileAndLeavesNoTemporaryFile) {
  keltest::writeFile(inside + "/keep.xml", "<old/>");
  {
    KelFileWriter writer;
    int msgNo = 0;
    ASSERT_EQ(writer.open(&ctx, (inside + "/keep.xml").c_str(), true, state, &msgNo), 0);
    ASSERT_EQ(writer.write("<half", 5, state, &msgNo), 0);
    // Destroyed without commit: as if the call had failed part-way.
  }
  EXPECT_EQ(keltest::readFile(inside + "/keep.xml"), "<old/>");
  size_t files = 0;
  for (auto &e : fs::directory_iterator(inside)) files += e.path().filename() != "in.xml" ? 1 : 0;
  EXPECT_EQ(files, 1u);
}

// A link flipped between an inside and an outside target while reads and writes go on: no
// read ever returns the outside file and no write ever changes it.
TEST_F(Access, FlippingLinksNeverEscape) {
  keltest::writeFile(outside + "/target.xml", "<outside/>");
  keltest::writeFile(inside + "/target.xml", "<inside/>");
  const std::string link = inside + "/flip.xml";
  std::atomic<bool> stop{false};
  std::thread flipper([&] {
    const std::string tmp = inside + "/flip.tmp";
    for (bool out = false; !stop.load(); out = !out) {
      fs::remove(tmp);
      fs::create_symlink(out ? outside + "/target.xml" : inside + "/target.xml", tmp);
      fs::rename(tmp, link);
    }
  });
  int escapes = 0, reads = 0;
  for (int i = 0; i < 3000; ++i) {
    char buffer[64];
    int32_t len = 0;
    if (kel_file2varchar(&ctx, link.c_str(), buffer, sizeof buffer, state, msg, &len, true) == 0) {
      ++reads;
      if (std::string(buffer, static_cast<size_t>(len)) == "<outside/>") ++escapes;
    }
    writeFile(link, "<written/>");
  }
  stop = true;
  flipper.join();
  EXPECT_EQ(escapes, 0);
  EXPECT_EQ(keltest::readFile(outside + "/target.xml"), "<outside/>");
  EXPECT_GT(reads, 0);  // the race was run, not avoided
}

// A name that does not resolve when it is checked is not opened: a file that appears there
// just after the check (here outside, made and removed over and over) was opened unchecked and
// accepted, since what was opened then resolved to the very name given.
TEST_F(Access, ANameThatAppearsAfterTheCheckIsNotRead) {
  const std::string name = outside + "/appears.xml";
  keltest::writeFile(outside + "/source.xml", "<outside/>");
  std::atomic<bool> stop{false};
  std::thread maker([&] {
    while (!stop.load()) {
      ::link((outside + "/source.xml").c_str(), name.c_str());
      ::unlink(name.c_str());
    }
  });
  int escapes = 0;
  for (int i = 0; i < 20000; ++i) {
    char buffer[64];
    int32_t len = 0;
    if (kel_file2varchar(&ctx, name.c_str(), buffer, sizeof buffer, state, msg, &len, true) == 0) ++escapes;
  }
  stop = true;
  maker.join();
  EXPECT_EQ(escapes, 0);
  // Names that lead to no path at all (a pipe's descriptor) are refused the same way.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int msgNo = 0;
  EXPECT_EQ(openRead("/proc/self/fd/" + std::to_string(fds[0]), &msgNo), -1);
  EXPECT_EQ(msgNo, KELC002E);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST_F(Access, TemporaryFilesOfEndedProcessesAreRemoved) {
  env.set("QUARNKELTEMP", dir.str());
  // A process that has ended: its id is free.
  pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  const std::string stale = dir.file("kel" + std::to_string(child) + "_abcdef");
  const std::string live = dir.file("kel" + std::to_string(::getppid()) + "_abcdef");
  keltest::writeFile(stale, "left behind");
  keltest::writeFile(live, "in use");
  kelRemoveStaleTempFiles(&ctx, dir.str());
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(live));
  fs::remove(live);
  // New names carry this process's id.
  char *name = kel_tempFilename(&ctx);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(fs::path(name).filename().string().rfind("kel" + std::to_string(::getpid()) + "_", 0), 0u) << name;
  std::remove(name);
  std::free(name);
}

}  // namespace
