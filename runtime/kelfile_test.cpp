// File helpers: absolute paths, sizes, buffer to file, file to character and large-object
// values, temporary files.  Every case works in a fresh directory that is also the temporary
// directory, and fails when it leaves a temporary file behind.
#include "kelfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kel_test_env.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelmsg.h"

namespace fs = std::filesystem;

namespace {

// Runs the case inside a fresh directory that is the current and the temporary directory.
class KelFile : public ::testing::Test {
 protected:
  void SetUp() override {
    oldCwd = fs::current_path();
    fs::current_path(dir.path());
    ctx.tempDir = strdup(dir.str().c_str());
    ctx.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    KelCodePageRequest request{KEL_CP_FUNCTION_MODE, 1208, nullptr};
    ASSERT_EQ(initICU(&ctx, KEL_CP_FUNCTION_MODE, &request, "UTF-8"), 0);
    trace = dir.file("trace.out");
    ctx.traceFile = std::fopen(trace.c_str(), "w");
    ctx.traceOn = 1;
  }
  void TearDown() override {
    kelTerm(&ctx, state);
    fs::current_path(oldCwd);
    EXPECT_EQ(kelTempFiles(), 0) << "temporary files left behind";
  }
  int kelTempFiles() const {
    int n = 0;
    for (const auto &entry : fs::directory_iterator(dir.path()))
      if (entry.path().filename().string().rfind("kel", 0) == 0) ++n;
    return n;
  }
  std::string traceText() {
    std::fflush(ctx.traceFile);
    return keltest::readFile(trace);
  }
  // Switches the application side to another code page (the database stays UTF-8).
  void useApplicationCodePage(const char *name) {
    char ignored[6];
    kelTerm(&ctx, ignored);
    ctx.tempDir = strdup(dir.str().c_str());
    ctx.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    KelCodePageRequest request{KEL_CP_FUNCTION_MODE, 1208, nullptr};
    ASSERT_EQ(initICU(&ctx, KEL_CP_FUNCTION_MODE, &request, name), 0);
  }

  keltest::TempDir dir;
  fs::path oldCwd;
  KelCallContext ctx{};
  std::string trace;
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(KelFile, AbsolutePathsAreKeptRelativeOnesCompleted) {
  char out[KEL_MAX_PATH + 1];
  ASSERT_EQ(kelGetAbsPath(&ctx, "/a/b/../c.xml", out), 0);
  EXPECT_STREQ(out, "/a/b/../c.xml");
  ASSERT_EQ(kelGetAbsPath(&ctx, "doc.xml", out), 0);
  EXPECT_EQ(std::string(out), dir.str() + "/doc.xml");
  ASSERT_EQ(kelGetAbsPath(&ctx, "./sub/../doc.xml", out), 0);
  EXPECT_EQ(std::string(out), dir.str() + "/doc.xml");
  EXPECT_NE(traceText().find("kelGetAbsPath:\t\tcall _fullpath() return fullPath = " + dir.str() +
                             "/doc.xml\n"),
            std::string::npos);

  EXPECT_EQ(kelGetAbsPath(&ctx, "", out), -1);
  EXPECT_EQ(kelGetAbsPath(&ctx, nullptr, out), -1);
  std::string longest = "/" + std::string(KEL_MAX_PATH - 1, 'p');
  EXPECT_EQ(kelGetAbsPath(&ctx, longest.c_str(), out), 0);
  EXPECT_EQ(kelGetAbsPath(&ctx, (longest + "p").c_str(), out), -1);
  EXPECT_STREQ(out, "");
  std::string relative(KEL_MAX_PATH - dir.str().size(), 'r');  // one byte too many with the "/"
  EXPECT_EQ(kelGetAbsPath(&ctx, relative.c_str(), out), -1);
}

TEST_F(KelFile, OpensSizesAndTellsRegularFiles) {
  keltest::writeFile(dir.file("five.xml"), std::string("ab\0de", 5));
  FILE *f = xml_fopen(&ctx, "five.xml", "r");
  ASSERT_NE(f, nullptr);
  char buf[8];
  EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 5u);
  std::fclose(f);
  EXPECT_EQ(xml_fopen(&ctx, "missing.xml", "r"), nullptr);

  int64_t size = -1;
  EXPECT_EQ(kel_getFileSize(&ctx, "five.xml", &size), 0);
  EXPECT_EQ(size, 5);
  EXPECT_EQ(kel_getFileSize(&ctx, "missing.xml", &size), -1);
  EXPECT_EQ(size, 0);
  std::string text = traceText();
  EXPECT_NE(text.find("kel_getFileSize:\t\tfull path =" + dir.str() + "/five.xml rc=0\n"),
            std::string::npos);
  EXPECT_NE(text.find("kel_getFileSize:\t\tsize =5\n"), std::string::npos);
  EXPECT_NE(text.find("kel_getFileSize:\t\tfull path =" + dir.str() + "/missing.xml rc=-1\n"),
            std::string::npos);

  fs::create_directory(dir.file("sub"));
  fs::create_symlink(dir.file("five.xml"), dir.file("link.xml"));
  EXPECT_TRUE(kelIsRegularFile(dir.file("five.xml").c_str()));
  EXPECT_TRUE(kelIsRegularFile(dir.file("link.xml").c_str()));
  EXPECT_FALSE(kelIsRegularFile(dir.file("sub").c_str()));
  EXPECT_FALSE(kelIsRegularFile(dir.file("missing.xml").c_str()));
  EXPECT_FALSE(kelIsRegularFile(nullptr));
}

TEST_F(KelFile, BufferToFileWritesEveryByteAndTruncates) {
  keltest::writeFile(dir.file("out.xml"), std::string(100, 'z'));
  const std::string data("<a>\0\xFF</a>", 9);
  EXPECT_EQ(
      kel_buf2file(&ctx, data.data(), static_cast<int64_t>(data.size()), "out.xml", state, msg, false), 0);
  EXPECT_EQ(keltest::readFile(dir.file("out.xml")), data);
  std::string text = traceText();
  EXPECT_NE(text.find("kel_buf2file:\t\tEntered, input fileName='out.xml', length=9\n"),
            std::string::npos);
  EXPECT_NE(text.find("kel_buf2file:\t\tactuall write length=9\n"), std::string::npos);

  EXPECT_EQ(kel_buf2file(&ctx, data.data(), 9, "no/such/dir/out.xml", state, msg, false), -1);
  EXPECT_STREQ(state, "38X00");
  EXPECT_STREQ(msg, "KELC000E  Unable to open the specified file.\n");
  EXPECT_NE(traceText().find("kel_buf2file:\t\txml_fopen with wb+. fp is NULL\n"),
            std::string::npos);

  // A device is never written over (nor replaced by a file).
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(kel_buf2file(&ctx, data.data(), 9, "/dev/full", state, msg, false), -1);
    EXPECT_STREQ(state, "38X00");
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
  }
}

TEST_F(KelFile, VarcharFileLimitIs32672Bytes) {
  std::vector<char> buffer(KEL_MAX_VARCHAR_FILE + 1, '#');
  const std::string exact(KEL_MAX_VARCHAR_FILE, 'x');
  keltest::writeFile(dir.file("exact.xml"), exact);
  int32_t len = 0;
  ASSERT_EQ(
      kel_file2varchar(&ctx, "exact.xml", buffer.data(), KEL_MAX_VARCHAR_FILE, state, msg, &len, false), 0)
      << msg;
  EXPECT_EQ(len, KEL_MAX_VARCHAR_FILE);
  EXPECT_EQ(std::string(buffer.data(), exact.size()), exact);
  EXPECT_EQ(buffer[KEL_MAX_VARCHAR_FILE], '#');  // nothing written behind the value

  keltest::writeFile(dir.file("over.xml"), exact + "x");
  EXPECT_EQ(kel_file2varchar(&ctx, "over.xml", buffer.data(), KEL_MAX_VARCHAR_FILE + 1, state, msg, nullptr, false),
            -1);
  EXPECT_STREQ(state, "38X05");
  EXPECT_STREQ(msg, "KELC005E  Input file size is greater than XMLVarchar size.\n");

  // A shorter value is terminated.
  keltest::writeFile(dir.file("short.xml"), "<a/>");
  ASSERT_EQ(kel_file2varchar(&ctx, "short.xml", buffer.data(), 100, state, msg, &len, false), 0);
  EXPECT_EQ(len, 4);
  EXPECT_STREQ(buffer.data(), "<a/>");
}

// The value is the file read to its end, not to the size it reported when opened: a file of
// /proc says 0 bytes, and was stored as an empty value, reported as success.
TEST_F(KelFile, VarcharFileIsReadToItsEnd) {
  if (!fs::exists("/proc/self/cmdline")) GTEST_SKIP() << "no /proc here";
  std::vector<char> buffer(KEL_MAX_VARCHAR_FILE + 1, '#');
  int32_t len = -1;
  const int rc = kel_file2varchar(&ctx, "/proc/self/status", buffer.data(), KEL_MAX_VARCHAR_FILE, state, msg, &len, false);
  ASSERT_EQ(rc, 0) << msg;
  EXPECT_GT(len, 0);
  EXPECT_EQ(std::string(buffer.data(), 5), "Name:");
}

TEST_F(KelFile, VarcharFileFailures) {
  char buffer[64];
  EXPECT_EQ(kel_file2varchar(&ctx, "missing.xml", buffer, sizeof buffer, state, msg, nullptr, false), -1);
  EXPECT_STREQ(state, "38X01");
  EXPECT_STREQ(msg, "KELC001E  The specified file is not found.\n");

  // A directory has a size but no bytes to read.
  fs::create_directory(dir.file("sub"));
  EXPECT_EQ(kel_file2varchar(&ctx, "sub", buffer, sizeof buffer, state, msg, nullptr, false), -1);
  EXPECT_STREQ(state, "38X02");
  EXPECT_STREQ(msg, "KELC002E  Unable to read file.\n");

  // More than the buffer holds (equal code pages copy only what fits).
  keltest::writeFile(dir.file("big.xml"), std::string(65, 'b'));
  EXPECT_EQ(kel_file2varchar(&ctx, "big.xml", buffer, sizeof buffer, state, msg, nullptr, false), -1);
  EXPECT_STREQ(state, "38X05");
  EXPECT_EQ(kelMessageState(KELC005E, nullptr), -51);
}

TEST_F(KelFile, VarcharFileIsConvertedToTheDatabaseCodePage) {
  useApplicationCodePage("ISO-8859-1");
  keltest::writeFile(dir.file("latin.xml"), "<a>caf\xE9</a>");
  char buffer[64];
  int32_t len = 0;
  ASSERT_EQ(kel_file2varchar(&ctx, "latin.xml", buffer, sizeof buffer, state, msg, &len, false), 0) << msg;
  EXPECT_EQ(len, 12);
  EXPECT_STREQ(buffer, "<a>caf\xC3\xA9</a>");

  // 20000 accented letters fit the file limit but not, as UTF-8, the buffer.
  keltest::writeFile(dir.file("wide.xml"), std::string(20000, '\xE9'));
  std::vector<char> big(KEL_MAX_VARCHAR_FILE + 1);
  EXPECT_EQ(
      kel_file2varchar(&ctx, "wide.xml", big.data(), static_cast<int32_t>(big.size()), state, msg, nullptr, false),
      -1);
  EXPECT_STREQ(state, "38X05");
  EXPECT_STREQ(msg, "KELC005E  Input file size is greater than XMLVarchar size.\n");

  // A UTF-16 file with a byte-order mark arrives without the mark.
  useApplicationCodePage("UTF-16BE");
  keltest::writeFile(dir.file("wide16.xml"), std::string("\xFF\xFE<\0a\0/\0>\0", 10));
  ASSERT_EQ(kel_file2varchar(&ctx, "wide16.xml", buffer, sizeof buffer, state, msg, &len, false), 0)
      << msg;
  EXPECT_STREQ(buffer, "<a/>");
}

TEST_F(KelFile, FileToLargeObjectValue) {
  const std::string data("<doc>\0binary\xFF</doc>", 19);
  keltest::writeFile(dir.file("doc.xml"), data);
  std::vector<char> area(1 << 20);
  uint32_t lobLength = 0;
  int msgNo = 0;
  ASSERT_EQ(kel_file2lob(&ctx, "doc.xml", area.data(), 64, &lobLength, state, &msgNo, false), 0);
  EXPECT_EQ(lobLength, data.size());
  EXPECT_EQ(std::string(area.data(), lobLength), data);
  std::string text = traceText();
  EXPECT_NE(text.find("kel_file2lob:\t\tcall kel_getFileSize, rc =0, filesize=19\n"),
            std::string::npos);
  EXPECT_NE(text.find("kel_file2lob:\t\tactuall length read from file: 19\n"), std::string::npos);
  EXPECT_NE(text.find("kel_file2lob:\t\tExit, returns 0\n"), std::string::npos);

  struct {
    const char *file;
    int64_t capacity;
    int msgNo;
    const char *state;
  } failures[] = {{"missing.xml", 64, KELC001E, "38X01"},
                  {"doc.xml", 18, KELC006E, "38X06"},  // larger than the value can hold
                  {"sub", 1 << 20, KELC002E, "38X02"}};
  fs::create_directory(dir.file("sub"));
  for (const auto &f : failures) {
    msgNo = 0;
    EXPECT_EQ(kel_file2lob(&ctx, f.file, area.data(), f.capacity, &lobLength, state, &msgNo, false), -1);
    EXPECT_EQ(msgNo, f.msgNo) << f.file;
    EXPECT_STREQ(state, f.state) << f.file;
    EXPECT_EQ(lobLength, 0u);
  }
}

TEST_F(KelFile, TemporaryNamesBeginWithKelInTheTemporaryDirectory) {
  char *name = kel_tempFilename(&ctx);
  ASSERT_NE(name, nullptr);
  fs::path p(name);
  EXPECT_EQ(p.parent_path(), dir.path());
  EXPECT_EQ(p.filename().string().rfind("kel", 0), 0u);
  struct stat st {};
  ASSERT_EQ(::stat(name, &st), 0);  // created, empty and private
  EXPECT_EQ(st.st_size, 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(traceText().find(std::string("kel_tempFilename:\t\ttempname =  ") + name + "\n"),
            std::string::npos);
  ::unlink(name);
  std::free(name);

  // Without QUARNKELTEMP the system's temporary directory is used.
  keltest::TempDir system;
  keltest::ScopedEnv env;
  env.set("TMPDIR", system.str());
  KelCallContext plain{};
  name = kel_tempFilename(&plain);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(fs::path(name).parent_path(), system.path());
  ::unlink(name);
  std::free(name);
}

TEST_F(KelFile, TemporaryNamesNeverCollide) {
  // Names are created exclusively: a name taken once is never handed out again, even while
  // several calls ask at once and every earlier file is still there.
  constexpr int kThreads = 4, kEach = 100;
  std::vector<std::vector<std::string>> names(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &names] {
      KelCallContext own{};
      own.tempDir = ctx.tempDir;
      for (int i = 0; i < kEach; ++i) {
        char *name = kel_tempFilename(&own);
        if (name == nullptr) return;
        names[t].push_back(name);
        std::free(name);
      }
    });
  }
  for (auto &th : threads) th.join();
  std::set<std::string> distinct;
  for (const auto &list : names) {
    EXPECT_EQ(list.size(), static_cast<size_t>(kEach));
    distinct.insert(list.begin(), list.end());
  }
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
  EXPECT_EQ(kelTempFiles(), kThreads * kEach);
  for (const auto &n : distinct) ::unlink(n.c_str());
}

TEST_F(KelFile, TemporaryNameFailsInAMissingDirectory) {
  std::free(ctx.tempDir);
  ctx.tempDir = strdup(dir.file("gone").c_str());
  EXPECT_EQ(kel_tempFilename(&ctx), nullptr);
  EXPECT_NE(traceText().find("kel_tempFilename:\t\ttempnam failed. errno=2\n"), std::string::npos);
  KelTempFile owner(&ctx);
  EXPECT_FALSE(owner.ok());
}

// A worker that stages a document through a temporary file, as the large-object helpers do,
// and fails after writing it when asked to.
int stageThroughTempFile(KelCallContext *ctx, const std::string &doc, bool failAfterWrite,
                         std::string *seenName, char *state, char *msg) {
  KelTempFile temp(ctx);
  if (!temp.ok()) return -1;
  *seenName = temp.name();
  int rc = kel_buf2file(ctx, doc.data(), static_cast<int64_t>(doc.size()), temp.name(), state, msg, false);
  if (rc < 0) return rc;
  if (failAfterWrite) return -1;
  char back[64];
  return kel_file2varchar(ctx, temp.name(), back, sizeof back, state, msg, nullptr, false);
}

TEST_F(KelFile, TemporaryFilesAreRemovedOnSuccessAndOnFailure) {
  for (bool fail : {false, true}) {
    std::string name;
    EXPECT_EQ(stageThroughTempFile(&ctx, "<a/>", fail, &name, state, msg), fail ? -1 : 0);
    ASSERT_FALSE(name.empty());
    EXPECT_FALSE(fs::exists(name)) << (fail ? "failure" : "success");
  }
  // Moving the owner moves the duty to remove.
  KelTempFile first(&ctx);
  std::string name = first.name();
  {
    KelTempFile second(std::move(first));
    EXPECT_FALSE(first.ok());
    EXPECT_TRUE(fs::exists(name));
  }
  EXPECT_FALSE(fs::exists(name));
}

}  // namespace
