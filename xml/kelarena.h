/*
 * kelarena.h - a memory manager for the parser library that serves the readers of one
 * statement.  Blocks are cut from chunks the arena owns; a freed block goes onto the free list
 * of its size class and serves the next request of that class, so once the first document of
 * a statement has been read, the parser's allocations and frees per document cost a few
 * instructions and no call into the C library.  Blocks above 64 KiB come from the C library;
 * a few freed ones are kept for the next request of about their size (the parser makes one
 * reader of about 160 KB per document).
 *
 * The arena is not rewound per document: a reader frees what one document needed only while
 * it starts the next (its grammar of the previous document, for one), so blocks outlive the
 * document that asked for them.  Free lists give the same effect without that hazard.
 *
 * Everything goes back to the C library when the arena is destroyed, which must happen after
 * every reader that allocates from it.  Exceptions the parser throws are allocated by the
 * process's own manager, so they may outlive the arena.  One thread at a time.
 */
#ifndef KEL_ARENA_H
#define KEL_ARENA_H

#include <xercesc/framework/MemoryManager.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// What a kept reader's arena may hold between documents: past it the reader and its arena are
// made anew, so that a document that needed more, or what the parser left behind, is given back.
inline constexpr size_t KEL_ARENA_KEEP = size_t{32} << 20;
// What all the arenas of the process may hold together while an arena of more than
// KEL_ARENA_SMALL is kept: a statement keeps one reader per function use, and each use's
// arena grows with the distinct names of the largest document it read (64 uses over one
// document of 70,000 element names held 1.8 GB).  Past it, such an arena is given back after
// its document; small arenas, those of the usual documents, are always kept.
inline constexpr size_t KEL_ARENA_KEEP_ALL = size_t{64} << 20;
inline constexpr size_t KEL_ARENA_SMALL = size_t{1} << 20;

class KelArena final : public xercesc::MemoryManager {
 public:
  KelArena() = default;
  ~KelArena() override;
  KelArena(const KelArena &) = delete;
  KelArena &operator=(const KelArena &) = delete;

  // A block of at least size bytes aligned for any type; throws the parser library's
  // OutOfMemoryException when the C library has no memory.
  void *allocate(XMLSize_t size) override;
  // Takes back a block of this arena (null is ignored).
  void deallocate(void *p) override;
  // The process's manager.
  xercesc::MemoryManager *getExceptionMemoryManager() override;

  // Bytes the arena holds from the C library: its chunks and its large blocks, free or not.
  size_t bytesHeld() const { return chunkBytes_ + largeBytes_; }
  // Whether a kept reader and this arena are to be made anew before the next document.
  bool pastKeep() const {
    return bytesHeld() > KEL_ARENA_KEEP || (bytesHeld() > KEL_ARENA_SMALL && heldByAll() > KEL_ARENA_KEEP_ALL);
  }
  // Bytes all the arenas of the process hold from the C library.
  static size_t heldByAll();
  // Past limit bytes held (0: no limit) a request that needs more from the C library is refused
  // with the parser library's OutOfMemoryException, as if the C library had none, and
  // limitReached() says so from then on.  A parser refused this way is not used again.
  void setLimit(size_t limit) { limit_ = limit; }
  size_t limit() const { return limit_; }
  bool limitReached() const { return limitReached_; }

  static constexpr size_t kChunkBytes = 256 * 1024;
  static constexpr size_t kLargeAbove = 64 * 1024;  // bigger blocks come from the C library

 private:
  struct FreeBlock {
    FreeBlock *next;
  };
  struct LargeHeader;
  static constexpr size_t kSmallClasses = 64;    // 16, 32, ... 1024 bytes
  static constexpr size_t kClasses = kSmallClasses + 6;  // then 2, 4, ... 64 KiB
  static size_t classOf(size_t size);
  static size_t classBytes(size_t cls);
  void *carve(size_t cls);
  void *allocateLarge(size_t size);
  void deallocateLarge(LargeHeader *header);

  std::array<FreeBlock *, kClasses> free_{};
  std::vector<void *> chunks_;
  char *next_ = nullptr;  // the unused rest of the newest chunk
  char *end_ = nullptr;
  size_t chunkBytes_ = 0;
  LargeHeader *large_ = nullptr;      // every large block, in use or kept
  LargeHeader *largeFree_ = nullptr;  // the kept ones
  size_t largeFreeCount_ = 0;
  size_t largeBytes_ = 0;
  size_t limit_ = 0;
  bool limitReached_ = false;
  void checkLimit(size_t more);
};

#endif /* KEL_ARENA_H */
