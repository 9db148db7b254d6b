/*
 * kelbuf.cpp - document buffers (see kelbuf.h).
 */
#include "kelbuf.h"

#include <cstdlib>
#include <cstring>

#include "kelctx.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

// Reports msgNo (code into *status) and gives the helper's failure, -1.
int failWith(KelCallContext *ctx, int msgNo, int *status, char *msg) {
  int32_t code = kelFail(ctx, msg, nullptr, msgNo);
  if (status) *status = code;
  return -1;
}

// Opens a new temporary file for buf in mode; false when none can be created or opened.
bool openTempFile(KelCallContext *ctx, KelDocBuffer *buf, const char *mode, int *status, char *msg) {
  char *name = kel_tempFilename(ctx);
  if (name == nullptr) {
    failWith(ctx, KELC012E, status, msg);
    return false;
  }
  FILE *f = std::fopen(name, mode);
  if (f == nullptr) {
    std::remove(name);
    std::free(name);
    failWith(ctx, KELC000E, status, msg);
    return false;
  }
  buf->data = name;
  buf->file = f;
  buf->location = KEL_BUF_FILE;
  return true;
}

}  // namespace

int kelBufAcquire(KelCallContext *ctx, KelDocBuffer *buf, int64_t size, int64_t limit,
                  int location, int *status, char *msg, int fallback) {
  if (buf == nullptr) return failWith(ctx, KELG004E, status, msg);
  *buf = KelDocBuffer{nullptr, nullptr, location, 0, limit, 0};
  if (location == KEL_BUF_MEMORY && limit != KEL_BUF_NO_LIMIT && size > limit) location = KEL_BUF_FILE;
  if (location == KEL_BUF_MEMORY && size > 0) {
    buf->data = static_cast<char *>(std::calloc(static_cast<size_t>(size) + 1, 1));
    if (buf->data != nullptr) {
      buf->capacity = size;
      buf->location = KEL_BUF_MEMORY;
      return 0;
    }
    if (!fallback) return failWith(ctx, KELG002E, status, msg);
    location = KEL_BUF_FILE;
  }
  if (location != KEL_BUF_FILE) return failWith(ctx, KELG004E, status, msg);
  if (!openTempFile(ctx, buf, "wb+", status, msg)) return -1;
  buf->capacity = size;
  return 0;
}

int kelFillBuffer(KelCallContext *ctx, KelDocBuffer *buf, const char *src, int *status, char *sqlstate) {
  KEL_TRACE(ctx, "Entered:buffer loctype=%s\n", buf->location == KEL_BUF_MEMORY ? "Memory" : "File");
  if (buf->location == KEL_BUF_MEMORY) {
    std::memcpy(buf->data, src, static_cast<size_t>(buf->capacity));
    buf->data[buf->capacity] = '\0';
    buf->used = buf->capacity;
    return 0;
  }
  size_t written = buf->file != nullptr ? std::fwrite(src, 1, static_cast<size_t>(buf->capacity), buf->file) : 0;
  bool closed = buf->file != nullptr && std::fclose(buf->file) == 0;
  buf->file = nullptr;
  if (written != static_cast<size_t>(buf->capacity) || !closed) {
    if (status) *status = -49;
    if (sqlstate) std::memcpy(sqlstate, "38X03", 6);
    return -1;
  }
  buf->used = buf->capacity;
  return 0;
}

int kelBufAppend(KelCallContext *ctx, KelDocBuffer *buf, const char *text) {
  if (buf == nullptr) return -1;
  if (text == nullptr) return 0;
  int64_t n = static_cast<int64_t>(std::strlen(text));
  if (buf->location == KEL_BUF_MEMORY) {
    if (buf->capacity - buf->used < n + 1) {
      int64_t grown = n + 1 < buf->capacity ? 2 * buf->capacity + 1 : 2 * n + 3;
      if (buf->limit != KEL_BUF_NO_LIMIT && grown > buf->limit) return kelMovetoBuf(ctx, buf, text);
      auto *block = static_cast<char *>(std::realloc(buf->data, static_cast<size_t>(grown) + 1));
      if (block == nullptr) {
        grown = buf->used + n + 1;
        block = static_cast<char *>(std::realloc(buf->data, static_cast<size_t>(grown) + 1));
        if (block == nullptr) return -1;
      }
      buf->data = block;
      buf->capacity = grown;
    }
    std::memcpy(buf->data + buf->used, text, static_cast<size_t>(n) + 1);
    buf->used += n;
    return 0;
  }
  if (buf->location != KEL_BUF_FILE || buf->file == nullptr) return -1;
  if (std::fwrite(text, 1, static_cast<size_t>(n), buf->file) != static_cast<size_t>(n)) return -1;
  buf->used += n;
  return 0;
}

int kelMovetoBuf(KelCallContext *ctx, KelDocBuffer *buf, const char *text) {
  if (buf == nullptr || buf->location != KEL_BUF_MEMORY) return -1;
  KelDocBuffer moved = *buf;
  if (!openTempFile(ctx, &moved, "a+", nullptr, nullptr)) return -1;
  size_t written = buf->used > 0 ? std::fwrite(buf->data, 1, static_cast<size_t>(buf->used), moved.file) : 0;
  KEL_TRACE(ctx, "buf append to new tmp %s initial size %d, buf size %d rc = %d\n", moved.data,
            static_cast<int>(buf->capacity), static_cast<int>(buf->used), static_cast<int>(written));
  if (written != static_cast<size_t>(buf->used)) {
    std::fclose(moved.file);
    std::remove(moved.data);
    std::free(moved.data);
    return -1;
  }
  std::free(buf->data);
  *buf = moved;
  return kelBufAppend(ctx, buf, text);
}

char *kelBufGetContent(KelCallContext *ctx, KelDocBuffer *buf) {
  if (buf == nullptr) return nullptr;
  if (buf->location == KEL_BUF_MEMORY) return buf->data;
  if (buf->location != KEL_BUF_FILE) return nullptr;
  if (buf->file != nullptr) {
    std::fclose(buf->file);
    buf->file = nullptr;
  }
  return buf->data;
}

int64_t kelBufLength(KelCallContext *ctx, const KelDocBuffer *buf) { return buf != nullptr ? buf->used : 0; }

int kelBufRelease(KelCallContext *ctx, KelDocBuffer *buf) {
  KEL_TRACE(ctx, "Entered\n");
  if (buf == nullptr) return 0;
  if (buf->location == KEL_BUF_MEMORY) {
    std::free(buf->data);
  } else if (buf->location == KEL_BUF_FILE) {
    if (buf->file != nullptr) std::fclose(buf->file);
    if (buf->data != nullptr) std::remove(buf->data);
    std::free(buf->data);
  } else {
    KEL_TRACE(ctx, "buf->loctype = %d\n", buf->location);
    return -1;
  }
  buf->data = nullptr;
  buf->file = nullptr;
  buf->used = 0;
  buf->capacity = 0;
  return 0;
}
