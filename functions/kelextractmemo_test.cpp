// The document memo of the extract functions: it answers only for the very bytes, DTD and
// flags it read, learns the paths asked of one document for the next, leaves every failure to
// the caller's own extraction, and stays bounded and per thread.
#include "kelextractmemo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kel_test_ctx.h"
#include "kelextract.h"

namespace {

using V = std::vector<std::string>;
const V kNoAnswer = {"NO ANSWER"};

class Memo : public keltest::CallContextTest {
 protected:
  void SetUp() override {
    CallContextTest::SetUp();
    kelMemoClear();
  }
  void TearDown() override {
    kelMemoClear();
    CallContextTest::TearDown();
  }

  static V ask(KelCallContext *ctx, const std::string &doc, const char *path,
               const char *dtd = nullptr, int32_t limit = 4000, int tagged = 0) {
    const char *const *items =
        kelMemoItems(ctx, doc.data(), doc.size(), dtd, 1, path, tagged, limit);
    if (items == nullptr) return kNoAnswer;
    V out;
    for (; *items != nullptr; ++items) out.push_back(*items);
    return out;
  }
  V ask(const std::string &doc, const char *path, const char *dtd = nullptr, int32_t limit = 4000,
        int tagged = 0) {
    return ask(&ctx, doc, path, dtd, limit, tagged);
  }

  // What the extraction of path alone gives.
  V own(const std::string &doc, const char *path, const char *dtd = nullptr, int tagged = 0) {
    KelExtractResult r{};
    if (extractAll(&ctx, doc.c_str(), dtd, 1, 1, tagged, path, &r, 4000, state, msg) < 0)
      return {std::string("ERROR ") + state};
    V out;
    for (char **p = r.items; *p != nullptr; ++p) out.push_back(*p);
    kelFreeExtractResult(&r);
    return out;
  }
};

std::string order(int n, const char *status) {
  return "<order status=\"" + std::string(status) + "\"><customer>C" + std::to_string(n) +
         "</customer><item><price>" + std::to_string(n) +
         ".5</price></item><item><price>2</price></item></order>";
}

TEST_F(Memo, PathsAskedOfOneDocumentAreReadTogetherForTheNext) {
  const char *paths[] = {"/order/customer", "/order/@status", "/order/item/price"};
  // The first document: the first path is read, the others are learned (their callers extract).
  const std::string first = order(1, "open");
  EXPECT_EQ(ask(first, paths[0]), own(first, paths[0]));
  EXPECT_EQ(ask(first, paths[1]), kNoAnswer);
  EXPECT_EQ(ask(first, paths[2]), kNoAnswer);
  // Every following document is read once for all three, in any order of asking.
  for (int n = 2; n < 6; ++n) {
    const std::string doc = order(n, n % 2 ? "open" : "shipped");
    EXPECT_EQ(ask(doc, paths[n % 3]), own(doc, paths[n % 3]));
    for (const char *p : paths) EXPECT_EQ(ask(doc, p), own(doc, p)) << p << " of document " << n;
  }
  EXPECT_EQ(ask(order(9, "open"), paths[2]), (V{"9.5", "2"}));
}

TEST_F(Memo, OnlyTheSameBytesDtdAndFlagsAreAnswered) {
  // Documents of the same length that differ in one byte never share an answer.
  const std::string a = "<a><b>1</b></a>", b = "<a><b>2</b></a>";
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(ask(a, "/a/b"), (V{"1"}));
    EXPECT_EQ(ask(b, "/a/b"), (V{"2"}));
  }
  // Another DTD text (or none) is another key; a document asking for its DTD is never kept.
  const std::string withDtd = "<!DOCTYPE a SYSTEM \"x.dtd\"><a>&e;</a>";
  EXPECT_EQ(ask(withDtd, "/a", "<!ENTITY e \"one\">"), kNoAnswer);
  EXPECT_EQ(own(withDtd, "/a", "<!ENTITY e \"one\">"), (V{"one"}));
  const std::string inner = "<!DOCTYPE a [<!ENTITY e \"in\">]><a>&e;</a>";
  EXPECT_EQ(ask(inner, "/a", "<!ENTITY f \"x\">"), (V{"in"}));
  EXPECT_EQ(ask(inner, "/a", nullptr), (V{"in"}));
  EXPECT_EQ(ask(inner, "/a", ""), (V{"in"}));
  // Tagged and text items of one path are told apart, and so are size limits.
  const std::string t = "<a><b>x</b></a>";
  EXPECT_EQ(ask(t, "/a/b", nullptr, 4000, 1), (V{"<b>x</b>"}));
  EXPECT_EQ(ask(t, "/a/b", nullptr, 4000, 0), kNoAnswer);  // learned
  EXPECT_EQ(ask(t + " ", "/a/b", nullptr, 4000, 0), (V{"x"}));
  EXPECT_EQ(ask(t + " ", "/a/b", nullptr, 4000, 1), (V{"<b>x</b>"}));
}

TEST_F(Memo, FailuresAreLeftToTheCaller) {
  // A document the parse refuses is not answered for any path, and not read again per call.
  EXPECT_EQ(ask("<a><b></a>", "/a"), kNoAnswer);
  EXPECT_EQ(ask("<a><b></a>", "/a/b"), kNoAnswer);
  // A path that does not compile, and an item over its limit, are the caller's to report.
  EXPECT_EQ(ask("<a>t</a>", "a"), kNoAnswer);
  EXPECT_EQ(ask("<a>long text</a>", "/a", nullptr, 5), kNoAnswer);
  EXPECT_EQ(ask("<a>long text</a>", "/a", nullptr, 4000), kNoAnswer);  // learned
  EXPECT_EQ(ask("<a>long text</a> ", "/a", nullptr, 4000), (V{"long text"}));
  // A document over the memo's size is never copied.
  std::string big = "<a>" + std::string(kelMemoMaxDocBytes, 'x') + "</a>";
  EXPECT_EQ(ask(big, "/a"), kNoAnswer);
  EXPECT_LT(kelMemoBytes(), 64u * 1024);
}

TEST_F(Memo, MemoryIsBoundedAndPerThread) {
  std::string large = "<a><b>" + std::string(200000, 'y') + "</b><c>1</c></a>";
  EXPECT_EQ(ask(large, "/a/c"), (V{"1"}));
  EXPECT_EQ(ask(large, "/a/b", nullptr, 300000), kNoAnswer);  // learned
  EXPECT_EQ(ask(large + " ", "/a/b", nullptr, 300000)[0].size(), 200000u);
  EXPECT_LT(kelMemoBytes(), 3 * large.size());
  // Another thread has its own memo: the same path over another document there leaves this
  // thread's answers as they were.
  V there;
  std::thread other([&] {
    KelCallContext *c = &ctx;
    there = ask(c, "<a><c>2</c></a>", "/a/c");
    kelMemoClear();
  });
  other.join();
  EXPECT_EQ(there, (V{"2"}));
  EXPECT_EQ(ask(large + " ", "/a/c"), (V{"1"}));
  // A small document after it does not keep the large one's copy.
  EXPECT_EQ(ask("<a><c>3</c></a>", "/a/c"), (V{"3"}));
  EXPECT_LT(kelMemoBytes(), 64u * 1024);
  // More paths than the memo takes are answered by their callers.
  kelMemoClear();
  std::vector<std::string> paths;
  for (size_t i = 0; i < kelMemoMaxPaths + 4; ++i) paths.push_back("/a/p" + std::to_string(i));
  for (const std::string &p : paths) ask("<a/>", p.c_str());
  size_t answered = 0;
  for (const std::string &p : paths) answered += ask("<a> </a>", p.c_str()) == V{} ? 1 : 0;
  EXPECT_EQ(answered, kelMemoMaxPaths);
  kelMemoClear();
  EXPECT_EQ(kelMemoBytes(), 0u);
}

TEST_F(Memo, ItsReadsAreTracedIntoTheAskingCallsTraceOnly) {
  // The memo's context outlives calls: its reads trace into the trace of the call that asks,
  // never into one decided when the memo was made.
  const std::string control = dir.file("kelkelinst.ctl"), trace = dir.file("kelkelinst.trc");
  auto callWithTrace = [&](KelCallContext *c) {
    char st[6], m[KEL_MSG_BUFFER + 1];
    KelCodePageRequest request{0, 1208, nullptr};
    return kelInit(c, KEL_FULL_MESSAGES, &request, st, m, "UTF-8");
  };
  keltest::writeFile(control, trace);
  KelCallContext on{};
  ASSERT_EQ(callWithTrace(&on), 0);
  ASSERT_EQ(on.traceOn, 1u);
  EXPECT_EQ(ask(&on, order(1, "open"), "/order/customer"), (V{"C1"}));
  kelTerm(&on, state);
  EXPECT_NE(keltest::readFile(trace).find("extract result C1"), std::string::npos);

  // Switched off: a call without trace leaves the file as it is.
  std::filesystem::remove(control);
  const std::string before = keltest::readFile(trace);
  KelCallContext off{};
  ASSERT_EQ(callWithTrace(&off), 0);
  EXPECT_EQ(ask(&off, order(2, "open"), "/order/customer"), (V{"C2"}));
  kelTerm(&off, state);
  EXPECT_EQ(keltest::readFile(trace), before);

  // Switched on again, with the memo made while off: the call's trace has the memo's read.
  kelMemoClear();
  EXPECT_EQ(ask(order(3, "open"), "/order/customer"), (V{"C3"}));
  keltest::writeFile(control, trace);
  KelCallContext again{};
  ASSERT_EQ(callWithTrace(&again), 0);
  EXPECT_EQ(ask(&again, order(4, "open"), "/order/customer"), (V{"C4"}));
  kelTerm(&again, state);
  EXPECT_NE(keltest::readFile(trace).find("extract result C4"), std::string::npos);
}

}  // namespace
