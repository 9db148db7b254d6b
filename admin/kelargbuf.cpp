/*
 * kelargbuf.cpp - document buffers of procedure arguments (see kelargbuf.h).
 */
#include "kelargbuf.h"

#include <cstdlib>

#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

KelArgBuffer::~KelArgBuffer() {
  if (acquired_) kelBufRelease(ctx_, &buf_);
}

int KelArgBuffer::fill(const char *data, int32_t len, char *msg) {
  int status = 0;
  const int64_t limit = ctx_ != nullptr && ctx_->fileThreshold > 0 ? ctx_->fileThreshold : KEL_MIN_FILE_THRESHOLD;
  if (len <= 0) {
    // The buffers refuse a size of 0: an empty text is a terminated empty block, and the parse
    // says what is wrong with it.
    buf_ = KelDocBuffer{static_cast<char *>(std::calloc(1, 1)), nullptr, KEL_BUF_MEMORY, 0, limit, 0};
    if (buf_.data == nullptr) return kelFail(ctx_, msg, nullptr, KELG002E);
    acquired_ = true;
    return 0;
  }
  if (kelBufAcquire(ctx_, &buf_, len, limit, KEL_BUF_MEMORY, &status, msg, 1) < 0) {
    KEL_TRACE(ctx_, "kelBufAcquire rc=%d\n", status);
    return status;
  }
  acquired_ = true;
  char state[6];
  if (kelFillBuffer(ctx_, &buf_, data, &status, state) < 0) {
    KEL_TRACE(ctx_, "kelFillBuffer rc=%d\n", status);
    return kelFail(ctx_, msg, nullptr, KELC003E);
  }
  return 0;
}
