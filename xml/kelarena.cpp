/*
 * kelarena.cpp - the parser's per-statement memory manager (see kelarena.h).
 *
 * Every block is preceded by a 16-byte header whose last word tells its size class, or marks a
 * large block, whose fuller header links it into the arena's list of large blocks.  Under the
 * address sanitizer free blocks and the unused rest of a chunk are poisoned, so a use after
 * free inside the parser is still reported.
 */
#include "kelarena.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include <atomic>
#include <cstdlib>

#include "kelentity.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define KEL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define KEL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define KEL_POISON(p, n) ((void)(p), (void)(n))
#define KEL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

constexpr size_t kHeader = 16;
constexpr uint64_t kLargeTag = ~uint64_t{0};
constexpr size_t kKeptLarge = 4;  // freed large blocks kept for the next document

uint64_t &tagOf(void *p) { return *reinterpret_cast<uint64_t *>(static_cast<char *>(p) - sizeof(uint64_t)); }

// What every arena holds from the C library, changed with each chunk and large block.
std::atomic<size_t> g_heldByAll{0};

}  // namespace

struct KelArena::LargeHeader {
  LargeHeader *prev;
  LargeHeader *next;
  LargeHeader *nextFree;
  size_t size;  // bytes the block offers
  uint64_t unused;
  uint64_t tag;  // kLargeTag, the word before the block as in every header
  void *block() { return this + 1; }
};

size_t KelArena::heldByAll() { return g_heldByAll.load(std::memory_order_relaxed); }

KelArena::~KelArena() {
  g_heldByAll.fetch_sub(bytesHeld(), std::memory_order_relaxed);
  for (void *chunk : chunks_) std::free(chunk);
  for (LargeHeader *h = large_; h != nullptr;) {
    LargeHeader *next = h->next;
    KEL_UNPOISON(h, sizeof(LargeHeader) + h->size);
    std::free(h);
    h = next;
  }
}

xercesc::MemoryManager *KelArena::getExceptionMemoryManager() { return xercesc::XMLPlatformUtils::fgMemoryManager; }

size_t KelArena::classOf(size_t size) {
  if (size <= 1024) return size == 0 ? 0 : (size - 1) / 16;
  size_t cls = kSmallClasses;
  for (size_t bytes = 2048; bytes < size; bytes <<= 1) ++cls;
  return cls;
}

size_t KelArena::classBytes(size_t cls) {
  return cls < kSmallClasses ? (cls + 1) * 16 : size_t{2048} << (cls - kSmallClasses);
}

void *KelArena::allocate(XMLSize_t size) {
  if (size > kLargeAbove) return allocateLarge(size);
  size_t cls = classOf(size);
  if (FreeBlock *block = free_[cls]) {
    free_[cls] = block->next;
    KEL_UNPOISON(block, classBytes(cls));
    return block;
  }
  return carve(cls);
}

void *KelArena::carve(size_t cls) {
  const size_t need = kHeader + classBytes(cls);
  if (static_cast<size_t>(end_ - next_) < need) {
    // The rest of the chunk is left unused: it is smaller than the block.  Chunks grow from
    // 32 KiB, so an arena that serves one small document stays small.
    size_t bytes = chunks_.size() < 3 ? kChunkBytes >> (3 - chunks_.size()) : kChunkBytes;
    if (bytes < need) bytes = kChunkBytes;
    checkLimit(bytes);
    void *chunk = std::malloc(bytes);
    if (chunk == nullptr) throw xercesc::OutOfMemoryException();
    try {
      chunks_.push_back(chunk);
    } catch (...) {
      std::free(chunk);
      throw xercesc::OutOfMemoryException();
    }
    chunkBytes_ += bytes;
    g_heldByAll.fetch_add(bytes, std::memory_order_relaxed);
    KEL_POISON(chunk, bytes);
    next_ = static_cast<char *>(chunk);
    end_ = next_ + bytes;
  }
  char *block = next_ + kHeader;
  next_ += need;
  KEL_UNPOISON(block - kHeader, need);
  tagOf(block) = cls;
  return block;
}

void KelArena::checkLimit(size_t more) {
  if (limit_ == 0 || bytesHeld() + more <= limit_) return;
  limitReached_ = true;
  throw xercesc::OutOfMemoryException();
}

void *KelArena::allocateLarge(size_t size) {
  kelNoteAllocation(size);  // an entity reader: counted against the parse's limit
  static_assert(sizeof(LargeHeader) % 16 == 0, "large blocks stay aligned like small ones");
  // A kept block that is large enough and not more than twice as large serves again.
  for (LargeHeader **link = &largeFree_; *link != nullptr; link = &(*link)->nextFree) {
    LargeHeader *h = *link;
    if (h->size >= size && h->size / 2 <= size) {
      *link = h->nextFree;
      --largeFreeCount_;
      KEL_UNPOISON(h->block(), h->size);
      return h->block();
    }
  }
  checkLimit(sizeof(LargeHeader) + size);
  auto *h = static_cast<LargeHeader *>(std::malloc(sizeof(LargeHeader) + size));
  if (h == nullptr) throw xercesc::OutOfMemoryException();
  h->prev = nullptr;
  h->next = large_;
  if (large_ != nullptr) large_->prev = h;
  large_ = h;
  h->nextFree = nullptr;
  h->size = size;
  h->tag = kLargeTag;
  largeBytes_ += sizeof(LargeHeader) + size;
  g_heldByAll.fetch_add(sizeof(LargeHeader) + size, std::memory_order_relaxed);
  return h->block();
}

void KelArena::deallocate(void *p) {
  if (p == nullptr) return;
  uint64_t tag = tagOf(p);
  if (tag == kLargeTag) {
    deallocateLarge(static_cast<LargeHeader *>(p) - 1);
    return;
  }
  auto *block = static_cast<FreeBlock *>(p);
  block->next = free_[tag];
  free_[tag] = block;
  KEL_POISON(reinterpret_cast<char *>(block) + sizeof(FreeBlock), classBytes(tag) - sizeof(FreeBlock));
}

void KelArena::deallocateLarge(LargeHeader *h) {
  if (largeFreeCount_ < kKeptLarge) {
    h->nextFree = largeFree_;
    largeFree_ = h;
    ++largeFreeCount_;
    KEL_POISON(h->block(), h->size);
    return;
  }
  if (h->prev != nullptr) h->prev->next = h->next;
  else large_ = h->next;
  if (h->next != nullptr) h->next->prev = h->prev;
  largeBytes_ -= sizeof(LargeHeader) + h->size;
  g_heldByAll.fetch_sub(sizeof(LargeHeader) + h->size, std::memory_order_relaxed);
  std::free(h);
}
