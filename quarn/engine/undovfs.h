/*
 * undovfs.h - the file system the engine opens its databases through: SQLite's own, except
 * that a savepoint's undo record (SQLite's statement journal) is kept in memory.
 */
#ifndef QUARN_ENGINE_UNDOVFS_H
#define QUARN_ENGINE_UNDOVFS_H

#include <cstddef>

namespace quarn {

// Registers the file system once (not as SQLite's default) and returns its name for
// sqlite3_open_v2; nullptr (SQLite's default) when it cannot be registered.
const char *undoVfsName();

// The size past which an undo record moves from memory to a temporary file.  Changing it
// affects files opened afterwards; tests lower it to cross the boundary with little data.
size_t undoMemoryLimit();
void setUndoMemoryLimit(size_t bytes);

}  // namespace quarn

#endif /* QUARN_ENGINE_UNDOVFS_H */
