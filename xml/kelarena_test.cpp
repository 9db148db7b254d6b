// The parser's per-statement memory manager: size classes, reuse of freed blocks, large
// blocks, and a reader that reads document after document without the arena growing.
#include "kelarena.h"

#include <gtest/gtest.h>
#include <malloc.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "kel_test_ctx.h"
#include "kelentity.h"
#include "kelexplain.h"
#include "kelupdate.h"
#include "kelvalidate.h"

namespace {

bool aligned(const void *p) { return reinterpret_cast<uintptr_t>(p) % 16 == 0; }

TEST(KelArena, FreedBlocksServeTheirSizeClassAgain) {
  KelArena arena;
  const size_t sizes[] = {0, 1, 16, 17, 100, 1024, 1025, 2048, 5000, 65536};
  std::vector<void *> blocks;
  for (size_t n : sizes) {
    void *p = arena.allocate(n);
    ASSERT_TRUE(aligned(p)) << n;
    std::memset(p, 0x5A, n);  // the whole size is usable
    blocks.push_back(p);
  }
  EXPECT_EQ(std::set<void *>(blocks.begin(), blocks.end()).size(), blocks.size());
  // 17 bytes take a 32-byte block: a freed one serves 32 bytes, not 33.
  void *p17 = blocks[3];
  arena.deallocate(p17);
  void *p33 = arena.allocate(33);
  EXPECT_NE(p33, p17);
  EXPECT_EQ(arena.allocate(32), p17);
  // 1025 to 2048 bytes are one class.
  arena.deallocate(blocks[6]);
  EXPECT_EQ(arena.allocate(2048), blocks[6]);
  arena.deallocate(nullptr);
  // Small and medium blocks come from the chunks.
  EXPECT_GT(arena.bytesHeld(), 0u);
}

TEST(KelArena, LargeBlocksAreKeptForTheNextRequestOfTheirSize) {
  KelArena arena;
  const size_t big = 160 * 1024;  // about the parser's reader of a document
  void *p = arena.allocate(big);
  ASSERT_TRUE(aligned(p));
  std::memset(p, 1, big);
  size_t held = arena.bytesHeld();
  arena.deallocate(p);
  for (int i = 0; i < 100; ++i) {
    void *q = arena.allocate(big - 1000);
    EXPECT_EQ(q, p);
    arena.deallocate(q);
  }
  EXPECT_EQ(arena.bytesHeld(), held);
  // A much smaller large request does not take a block twice its size.
  void *small = arena.allocate(KelArena::kLargeAbove + 1);
  EXPECT_NE(small, p);
  // Beyond the few kept, freed large blocks go back to the C library.
  std::vector<void *> many;
  for (int i = 0; i < 10; ++i) many.push_back(arena.allocate(big));
  size_t peak = arena.bytesHeld();
  for (void *q : many) arena.deallocate(q);
  EXPECT_LT(arena.bytesHeld(), peak);
  arena.deallocate(small);
}

// A reader that allocates from an arena reads documents one after another: after the first
// ones the arena serves every allocation from what the previous documents freed.
TEST(KelArena, ReaderReadsManyDocumentsWithoutGrowingIt) {
  struct Counter : xercesc::DefaultHandler {
    size_t elements = 0;
    void startElement(const XMLCh *, const XMLCh *, const XMLCh *, const xercesc::Attributes &) override {
      ++elements;
    }
  };
  KelArena arena;
  KelEntityResolver resolver(nullptr, nullptr);
  {
    auto reader = kelCreateReader(&arena, xercesc::XMLUni::fgDGXMLScanner);
    reader->setFeature(xercesc::XMLUni::fgSAX2CoreNameSpaces, false);
    kelSecureReader(*reader, &resolver);
    Counter counter;
    reader->setContentHandler(&counter);
    const std::string doc =
        "<!DOCTYPE order [<!ATTLIST item kind CDATA 'book'><!ENTITY c \"Customer\">]>"
        "<order id=\"7\"><customer>&c; 1</customer><item sku=\"1\"><price>10</price></item>"
        "<item sku=\"2\" kind=\"cd\"><price>5</price></item></order>";
    size_t heldEarly = 0;
    for (int i = 0; i < 300; ++i) {
      xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), u"doc", false);
      reader->parse(src);
      if (i == 9) heldEarly = arena.bytesHeld();
    }
    EXPECT_EQ(counter.elements, 300u * 6);
    EXPECT_EQ(arena.bytesHeld(), heldEarly);
  }
}

// The parser leaves part of a content model behind when a syntax error breaks it off.  The
// readers kept for a statement (update, validation) and the one of a call (explain) allocate
// from an arena, so nothing of it stays in the process once they are gone.
class Readers : public keltest::CallContextTest {};

TEST_F(Readers, WhatTheParserLeavesBehindGoesWithTheirArena) {
  const std::string broken = "<!DOCTYPE a [<!ELEMENT a ((=|b)*,c)>]><a/>";
  auto readAll = [&] {
    {
      KelUpdater updater(&ctx);
      std::string out;
      for (int i = 0; i < 200; ++i)
        EXPECT_EQ(updater.updateText(broken.data(), broken.size(), 1, 1, "/a", "x", false, &out, 100, state, msg), -1);
    }
    {
      KelValidator validator(&ctx);
      for (int i = 0; i < 200; ++i)
        EXPECT_EQ(validator.validate(broken.data(), broken.size(), 1, 0, nullptr, 0, nullptr, state, msg, 1), 0);
    }
    std::vector<KelExplainRow> rows;
    for (int i = 0; i < 200; ++i)
      EXPECT_EQ(kelExplainPath(&ctx, broken.data(), broken.size(), 0, 1, "/a", &rows, state, msg), -1);
  };
  readAll();  // what the process keeps once: converters, the parser's tables
  const size_t before = mallinfo2().uordblks;
  readAll();
  const size_t after = mallinfo2().uordblks;
  // 600 documents left some 100 bytes each behind before.
  EXPECT_LT(after, before + 4096) << after - before;
}

}  // namespace
