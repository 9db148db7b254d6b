/*
 * kelbuf.h - document buffers: text held in memory while it is small and in a temporary file
 * once it grows past a memory limit.  Composition appends generated markup; decomposition and
 * enablement fill a buffer from a large object and read it back.  A buffer belongs to one call;
 * kelBufRelease frees its memory or removes its temporary file.
 */
#ifndef KEL_BUF_H
#define KEL_BUF_H

#include <cstdint>
#include <cstdio>

struct KelCallContext;

inline constexpr int KEL_BUF_FILE = 0;
inline constexpr int KEL_BUF_MEMORY = 1;
inline constexpr int64_t KEL_BUF_NO_LIMIT = -1;

struct KelDocBuffer {
  char *data;       // the memory block (memory) or the temporary file's name (file); owned
  FILE *file;       // the open temporary file (file)
  int location;     // KEL_BUF_MEMORY or KEL_BUF_FILE
  int64_t capacity; // bytes
  int64_t limit;    // memory limit in bytes, KEL_BUF_NO_LIMIT for none
  int64_t used;     // bytes of text held; in memory the text is always terminated
};

/*
 * Sets up buf for size bytes.  Memory is used when requested and size does not exceed a limit
 * (else a temporary file); with fallback a failed allocation falls back to a file.
 * Returns 0; -1 with *status and msg: -58 KELG002E no memory, -106 KELC012E no temporary file,
 * -47 KELC000E the file cannot be opened, -60 KELG004E a memory request of size 0 or an
 * unknown location.
 */
int kelBufAcquire(KelCallContext *ctx, KelDocBuffer *buf, int64_t size, int64_t limit,
                  int location, int *status, char *msg, int fallback);

// Stores exactly capacity bytes of src; a file buffer's file is closed.  Returns 0, or -1 with
// *status -49 and "38X03" on a short write.
int kelFillBuffer(KelCallContext *ctx, KelDocBuffer *buf, const char *src, int *status, char *sqlstate);

/*
 * Appends the terminated text, growing the memory block geometrically and moving the text to a
 * temporary file when it would pass the memory limit.  Returns 0 (also for a null text), or -1
 * (no buffer, no memory, a failed write).
 */
int kelBufAppend(KelCallContext *ctx, KelDocBuffer *buf, const char *text);

// Moves a memory buffer into a new temporary file and appends text there.  Returns 0 or -1.
int kelMovetoBuf(KelCallContext *ctx, KelDocBuffer *buf, const char *text);

// The memory block, or the temporary file's name after closing the file; null for an unknown
// location.  The buffer keeps ownership.
char *kelBufGetContent(KelCallContext *ctx, KelDocBuffer *buf);

// The bytes of text held.
int64_t kelBufLength(KelCallContext *ctx, const KelDocBuffer *buf);

// Frees the memory block, or closes and removes the temporary file.  Returns 0, or -1 for an
// unknown location.
int kelBufRelease(KelCallContext *ctx, KelDocBuffer *buf);

#endif /* KEL_BUF_H */
