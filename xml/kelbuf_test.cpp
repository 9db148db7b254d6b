// Document buffers: memory or file by size and limit, growth, the move to a file, release.
#include "kelbuf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"

namespace {

class DocBuffer : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNKELTEMP", dir.str());
    tempDirName = dir.str();
    ctx.tempDir = tempDirName.data();
  }
  void TearDown() override { ctx.tempDir = nullptr; }
  size_t filesInTempDir() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()),
                                             std::filesystem::directory_iterator()));
  }
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  std::string tempDirName;
  KelCallContext ctx{};
  KelDocBuffer buf{};
  int status = 0;
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(DocBuffer, SizeOverTheLimitGivesAFileBuffer) {
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 100, 50, KEL_BUF_MEMORY, &status, msg, 1), 0);
  EXPECT_EQ(buf.location, KEL_BUF_FILE);
  std::string text(100, 'd');
  char state[6] = "00000";
  ASSERT_EQ(kelFillBuffer(&ctx, &buf, text.c_str(), &status, state), 0);
  EXPECT_EQ(kelBufLength(&ctx, &buf), 100);
  std::string name = kelBufGetContent(&ctx, &buf);
  EXPECT_EQ(name.rfind(dir.str() + "/kel", 0), 0u) << name;
  EXPECT_EQ(keltest::readFile(name), text);
  EXPECT_EQ(kelBufRelease(&ctx, &buf), 0);
  EXPECT_FALSE(std::filesystem::exists(name));
}

TEST_F(DocBuffer, FilledMemoryBufferIsTerminated) {
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 5, 131072, KEL_BUF_MEMORY, &status, msg, 1), 0);
  EXPECT_EQ(buf.location, KEL_BUF_MEMORY);
  char state[6];
  ASSERT_EQ(kelFillBuffer(&ctx, &buf, "<a/>xyz", &status, state), 0);
  EXPECT_STREQ(kelBufGetContent(&ctx, &buf), "<a/>x");
  kelBufRelease(&ctx, &buf);
}

TEST_F(DocBuffer, AppendsGrowInMemoryThenMoveToAFilePastTheLimit) {
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 4096, 32766, KEL_BUF_MEMORY, &status, msg, 0), 0);
  std::string forty(40, 'x');
  ASSERT_EQ(kelBufAppend(&ctx, &buf, forty.c_str()), 0);
  EXPECT_EQ(buf.location, KEL_BUF_MEMORY);
  EXPECT_EQ(buf.capacity, 4096);
  std::string expected = forty;
  // Growth doubles the block: 4096 -> 8193 -> 16387; the next would pass 32766.
  std::string piece(1000, 'p');
  while (buf.location == KEL_BUF_MEMORY) {
    ASSERT_EQ(kelBufAppend(&ctx, &buf, piece.c_str()), 0);
    expected += piece;
    if (buf.location == KEL_BUF_MEMORY) {
      EXPECT_LE(buf.capacity, 32766);
    }
  }
  EXPECT_EQ(kelBufLength(&ctx, &buf), static_cast<int64_t>(expected.size()));
  EXPECT_GT(expected.size(), 16387u);
  ASSERT_EQ(kelBufAppend(&ctx, &buf, "<end/>"), 0);
  expected += "<end/>";
  std::string name = kelBufGetContent(&ctx, &buf);
  EXPECT_EQ(keltest::readFile(name), expected);
  EXPECT_EQ(filesInTempDir(), 1u);
  kelBufRelease(&ctx, &buf);
  EXPECT_EQ(filesInTempDir(), 0u);
}

TEST_F(DocBuffer, AppendsGrowWithoutALimit) {
  ASSERT_EQ(kelBufAcquire(&ctx, &buf, 8, KEL_BUF_NO_LIMIT, KEL_BUF_MEMORY, &status, msg, 0), 0);
  std::string all;
  for (int i = 0; i < 1000; ++i) {
    std::string s = "<e n=\"" + std::to_string(i) + "\"/>";
    ASSERT_EQ(kelBufAppend(&ctx, &buf, s.c_str()), 0);
    all += s;
  }
  EXPECT_EQ(buf.location, KEL_BUF_MEMORY);
  EXPECT_EQ(std::string(kelBufGetContent(&ctx, &buf)), all);
  EXPECT_EQ(kelBufAppend(&ctx, &buf, nullptr), 0);
  EXPECT_EQ(kelBufAppend(&ctx, nullptr, "x"), -1);
  kelBufRelease(&ctx, &buf);
}

TEST_F(DocBuffer, BadRequestsAreRefused) {
  EXPECT_EQ(kelBufAcquire(&ctx, &buf, 0, 100, KEL_BUF_MEMORY, &status, msg, 0), -1);
  EXPECT_EQ(status, -60);
  EXPECT_STREQ(msg, "KELG004E  Invalid null parameter.\n");
  EXPECT_EQ(kelBufAcquire(&ctx, &buf, 10, 100, 7, &status, msg, 0), -1);
  EXPECT_EQ(status, -60);
  // No temporary directory that can be written.
  env.set("QUARNKELTEMP", dir.file("missing"));
  char missing[256];
  std::snprintf(missing, sizeof missing, "%s", dir.file("missing").c_str());
  ctx.tempDir = missing;
  EXPECT_EQ(kelBufAcquire(&ctx, &buf, 10, 1, KEL_BUF_MEMORY, &status, msg, 0), -1);
  EXPECT_EQ(status, -106);
  KelDocBuffer odd{nullptr, nullptr, 9, 0, 0, 0};
  EXPECT_EQ(kelBufRelease(&ctx, &odd), -1);
  EXPECT_EQ(kelBufGetContent(&ctx, &odd), nullptr);
}

}  // namespace
