/*
 * undovfs.cpp - SQLite's file system with the undo records of savepoints kept in memory.
 *
 * A statement that fires triggers, checks constraints over several rows, or runs inside a
 * procedure's savepoint makes SQLite copy every page it changes, before the change, into an
 * undo record (the statement journal), so that a failure undoes that statement alone.  SQLite
 * keeps the record in memory up to 64 KiB, four of the engine's 16 KiB pages, and then moves
 * it to a temporary file: an insert that fires side-table triggers or a procedure that stores
 * one document changes fifteen to twenty pages, so every such statement wrote them to a file,
 * one system call per page and page number.  (Raising SQLite's own threshold is not an
 * option: SQLite moves the record to its file with one write call per threshold's worth, and
 * the default file system writes at most 128 KiB per call, so with a threshold above that the
 * move fails with SQLITE_FULL.)
 *
 * This file system is SQLite's default one with one change: the file SQLite opens for an undo
 * record (SQLITE_OPEN_SUBJOURNAL) is a buffer in memory that grows as needed and is reused by
 * the connection's later statements until the transaction ends.  A record larger than
 * undoMemoryLimit() (16 MiB unless changed) moves to a temporary file of the default file
 * system, so a statement that changes a large table costs no more memory than before.  Every
 * other file is the default file system's own.
 */
#include "undovfs.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace quarn {
namespace {

constexpr char kVfsName[] = "quarn-undo";
std::atomic<size_t> gLimit{16u << 20};
constexpr sqlite3_int64 kPiece = 64 << 10;
sqlite3_vfs gVfs;
sqlite3_vfs *gBase = nullptr;  // the default file system this one passes everything else to

// An undo record: in memory while `real` is null, afterwards a file of the base file system.
struct UndoFile {
  sqlite3_file base;  // first: SQLite sees this object as an sqlite3_file
  unsigned char *data;
  sqlite3_int64 size;
  size_t capacity;
  size_t limit;
  int flags;
  sqlite3_file *real;
};

UndoFile *undo(sqlite3_file *f) { return reinterpret_cast<UndoFile *>(f); }

// Moves the record into a temporary file of the base file system.
int spill(UndoFile *u) {
  auto *real = static_cast<sqlite3_file *>(sqlite3_malloc(gBase->szOsFile));
  if (!real) return SQLITE_IOERR_NOMEM;
  std::memset(real, 0, gBase->szOsFile);
  int rc = gBase->xOpen(gBase, nullptr, real, u->flags | SQLITE_OPEN_DELETEONCLOSE, nullptr);
  // In pieces: the default file system writes at most 128 KiB per call.
  for (sqlite3_int64 at = 0; rc == SQLITE_OK && at < u->size; at += kPiece)
    rc = real->pMethods->xWrite(real, u->data + at, static_cast<int>(std::min<sqlite3_int64>(kPiece, u->size - at)), at);
  if (rc != SQLITE_OK) {
    if (real->pMethods) real->pMethods->xClose(real);
    sqlite3_free(real);
    return rc;
  }
  std::free(u->data);
  u->data = nullptr;
  u->capacity = 0;
  u->real = real;
  return SQLITE_OK;
}

int undoClose(sqlite3_file *f) {
  UndoFile *u = undo(f);
  int rc = SQLITE_OK;
  if (u->real) {
    rc = u->real->pMethods->xClose(u->real);
    sqlite3_free(u->real);
    u->real = nullptr;
  }
  std::free(u->data);
  u->data = nullptr;
  return rc;
}

int undoRead(sqlite3_file *f, void *buf, int amount, sqlite3_int64 offset) {
  UndoFile *u = undo(f);
  if (u->real) return u->real->pMethods->xRead(u->real, buf, amount, offset);
  sqlite3_int64 have = offset >= u->size ? 0 : std::min<sqlite3_int64>(amount, u->size - offset);
  if (have > 0) std::memcpy(buf, u->data + offset, static_cast<size_t>(have));
  if (have == amount) return SQLITE_OK;
  // A short read fills the rest with zeros, as every file system must.
  std::memset(static_cast<unsigned char *>(buf) + have, 0, static_cast<size_t>(amount - have));
  return SQLITE_IOERR_SHORT_READ;
}

int undoWrite(sqlite3_file *f, const void *buf, int amount, sqlite3_int64 offset) {
  UndoFile *u = undo(f);
  if (!u->real) {
    sqlite3_int64 end = offset + amount;
    if (end > static_cast<sqlite3_int64>(u->limit)) {
      int rc = spill(u);
      if (rc != SQLITE_OK) return rc;
    } else {
      if (static_cast<size_t>(end) > u->capacity) {
        size_t cap = u->capacity ? u->capacity * 2 : 64u << 10;
        while (cap < static_cast<size_t>(end)) cap *= 2;
        auto *grown = static_cast<unsigned char *>(std::realloc(u->data, cap));
        if (!grown) return SQLITE_IOERR_NOMEM;
        u->data = grown;
        u->capacity = cap;
      }
      if (offset > u->size) std::memset(u->data + u->size, 0, static_cast<size_t>(offset - u->size));
      std::memcpy(u->data + offset, buf, static_cast<size_t>(amount));
      if (end > u->size) u->size = end;
      return SQLITE_OK;
    }
  }
  return u->real->pMethods->xWrite(u->real, buf, amount, offset);
}

int undoTruncate(sqlite3_file *f, sqlite3_int64 size) {
  UndoFile *u = undo(f);
  if (u->real) return u->real->pMethods->xTruncate(u->real, size);
  if (size < u->size) u->size = size;
  return SQLITE_OK;
}

int undoSync(sqlite3_file *f, int flags) {
  UndoFile *u = undo(f);
  return u->real ? u->real->pMethods->xSync(u->real, flags) : SQLITE_OK;
}

int undoFileSize(sqlite3_file *f, sqlite3_int64 *size) {
  UndoFile *u = undo(f);
  if (u->real) return u->real->pMethods->xFileSize(u->real, size);
  *size = u->size;
  return SQLITE_OK;
}

int undoLock(sqlite3_file *, int) { return SQLITE_OK; }
int undoCheckReservedLock(sqlite3_file *, int *out) {
  *out = 0;
  return SQLITE_OK;
}
int undoFileControl(sqlite3_file *f, int op, void *arg) {
  UndoFile *u = undo(f);
  return u->real ? u->real->pMethods->xFileControl(u->real, op, arg) : SQLITE_NOTFOUND;
}
int undoSectorSize(sqlite3_file *) { return 4096; }
int undoDeviceCharacteristics(sqlite3_file *) { return 0; }

const sqlite3_io_methods kUndoMethods = {
    1,           undoClose, undoRead, undoWrite,       undoTruncate,           undoSync,
    undoFileSize, undoLock, undoLock, undoCheckReservedLock, undoFileControl, undoSectorSize,
    undoDeviceCharacteristics,
    nullptr,     nullptr,   nullptr,  nullptr,         nullptr,                nullptr};

int undoVfsOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags) {
  if (!(flags & SQLITE_OPEN_SUBJOURNAL)) return gBase->xOpen(gBase, name, file, flags, outFlags);
  UndoFile *u = undo(file);
  std::memset(u, 0, sizeof *u);
  u->limit = gLimit.load(std::memory_order_relaxed);
  u->flags = flags;
  u->base.pMethods = &kUndoMethods;
  if (outFlags) *outFlags = flags;
  return SQLITE_OK;
}

}  // namespace

const char *undoVfsName() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    gBase = sqlite3_vfs_find(nullptr);
    if (!gBase) return;
    gVfs = *gBase;
    gVfs.pNext = nullptr;
    gVfs.zName = kVfsName;
    gVfs.szOsFile = std::max<int>(gBase->szOsFile, static_cast<int>(sizeof(UndoFile)));
    gVfs.xOpen = undoVfsOpen;
    registered = sqlite3_vfs_register(&gVfs, 0) == SQLITE_OK;
  });
  return registered ? kVfsName : nullptr;
}

size_t undoMemoryLimit() { return gLimit.load(std::memory_order_relaxed); }
void setUndoMemoryLimit(size_t bytes) { gLimit.store(bytes, std::memory_order_relaxed); }

}  // namespace quarn
