/*
 * kelargbuf.h - a document buffer holding a text argument of a procedure call (a DAD or an XML
 * document) for the length of the call: in memory up to the call's memory/file threshold, in a
 * temporary file beyond it, released (the file removed) when it goes out of scope.  Used by the
 * decomposition and collection procedures.  One object per call; not shared between threads.
 */
#ifndef KEL_ARGBUF_H
#define KEL_ARGBUF_H

#include <cstdint>

#include "kelbuf.h"

struct KelCallContext;

class KelArgBuffer {
 public:
  explicit KelArgBuffer(KelCallContext *ctx) : ctx_(ctx) {}
  ~KelArgBuffer();
  KelArgBuffer(const KelArgBuffer &) = delete;
  KelArgBuffer &operator=(const KelArgBuffer &) = delete;

  /*
   * Holds the len bytes of data (an empty text too).  Returns 0; the buffer's failure with its
   * message (-58 KELG002E, -106 KELC012E ...); -49 with KELC003E when the temporary file cannot
   * be written.
   */
  int fill(const char *data, int32_t len, char *msg);
  KelDocBuffer *get() { return &buf_; }

 private:
  KelCallContext *ctx_;
  KelDocBuffer buf_{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
  bool acquired_ = false;
};

#endif /* KEL_ARGBUF_H */
