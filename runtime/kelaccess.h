/*
 * kelaccess.h - which server files the extension may read and write, and opening them so that
 * what is checked is what is opened.  Used by the file helpers, the large-object helpers, the
 * parser layer's entity resolver and the storage, extract, validate and update functions.
 *
 * The rule: the instance's registry values QUARN_XML_READ_DIRS (373) and QUARN_XML_WRITE_DIRS
 * (374) list directories separated by ";", or say "ANY"; unset allows nothing.  A file is
 * allowed when its real path (symbolic links and ".." resolved) lies inside the real path of a
 * listed directory, compared by whole path components.
 *
 * Reads check the real path of the name before opening it (nothing outside is ever opened),
 * open it without blocking and without following into anything but a regular file, and then
 * check the real path of the open descriptor: a link flipped between check and open cannot
 * reach another file, and a FIFO or device never blocks the call.
 * Writes open the real directory, check it, create a new file there without following links
 * and rename it over the target when every byte is written: a link in the directory, dangling
 * or not, is replaced and never followed, a file the process may not write is left alone, and
 * a failed write keeps the old file.
 *
 * Every function is reentrant; descriptors and names returned belong to the caller's objects.
 */
#ifndef KEL_ACCESS_H
#define KEL_ACCESS_H

#include <cstdint>
#include <string>

struct KelCallContext;

// Access kinds of the checks.
inline constexpr int KEL_ACCESS_READ = 0;
inline constexpr int KEL_ACCESS_WRITE = 1;

/*
 * True when realPath (already resolved, absolute) lies inside a directory the instance allows
 * for access (KEL_ACCESS_READ or KEL_ACCESS_WRITE).  Traces the decision.
 */
bool kelPathAllowed(KelCallContext *ctx, int access, const std::string &realPath);

/*
 * The check by name, for callers that only decide and open nothing: 0 when fileName (made
 * absolute and resolved; for a write, its directory resolved and the name appended) is
 * allowed; -1 with KELC002E/"38X02" (read) or KELC003E/"38X03" (write) in msg and sqlstate.
 * Opening code uses KelReadFile or KelFileWriter instead, which check what they opened.
 */
int kelCheckAccess(KelCallContext *ctx, int access, const char *fileName, char *sqlstate, char *msg);

/*
 * A server file open for reading: a regular file, checked by the real path of its descriptor
 * when asked.  Closes the descriptor when destroyed.  Not copyable.
 */
class KelReadFile {
 public:
  KelReadFile() = default;
  ~KelReadFile();
  KelReadFile(const KelReadFile &) = delete;
  KelReadFile &operator=(const KelReadFile &) = delete;

  /*
   * Opens fileName (completed against the current directory when relative).  checkDirs: the
   * file must lie in an allowed read directory.  Returns 0; -1 with *msgNo and sqlstate set:
   * KELC001E/"38X01" no such file (in an allowed directory, when checked), KELC002E/"38X02" not
   * allowed, not a regular file (directory, FIFO, device), KELC000E/"38X00" cannot be opened.
   * An empty name names no file and is KELC002E/"38X02", as a file outside the allowed
   * directories is.  With a KelReadFileInspector alive on the thread, also what it returns.
   */
  int open(KelCallContext *ctx, const char *fileName, bool checkDirs, char *sqlstate, int *msgNo);

  int fd() const { return fd_; }
  int64_t size() const { return size_; }
  // The real path of what was opened (empty when not checked and not asked for).
  const std::string &realPath() const { return realPath_; }
  // Reads up to n bytes; returns the count, 0 at the end, -1 on an error.
  int64_t read(void *dest, size_t n);
  // Reads exactly n bytes; false on an error or an early end.
  bool readAll(void *dest, size_t n);
  // Reads up to n bytes from offset without moving the read position; returns the count (less
  // than n only at the end), -1 on an error.
  int64_t readAt(void *dest, size_t n, int64_t offset);
  // Gives up the descriptor to the caller (who closes it).
  int release();

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  std::string realPath_;
};

/*
 * Shows the files KelReadFile opens on this thread to the caller of a reader that opens the file
 * itself (kel_file2varchar, kel_file2locator), for a decision taken on the very file that is
 * read, such as the encoding its first bytes name: a name given to another file in between
 * cannot change what is read.  While the object lives, open() calls inspect() once the file is
 * opened and checked, before it returns; objects nest, and the innermost alone is asked.
 * Create and destroy it on the same thread, in scope order.  Not copyable.
 */
class KelReadFileInspector {
 public:
  KelReadFileInspector();
  virtual ~KelReadFileInspector();
  KelReadFileInspector(const KelReadFileInspector &) = delete;
  KelReadFileInspector &operator=(const KelReadFileInspector &) = delete;

  /*
   * file is open at its start (read it with readAt to leave it there).  Returns 0; -1 with
   * *msgNo and sqlstate set, and open() then closes the file and fails with them.  A reader
   * that formats the message gives an entry with an argument an empty one (kel_file2varchar):
   * the inspector's owner formats it again with what it knows.
   */
  virtual int inspect(KelReadFile &file, char *sqlstate, int *msgNo) = 0;

 private:
  friend class KelReadFile;
  KelReadFileInspector *outer_;
};

/*
 * Writes a server file safely: open() resolves and checks the target's directory and creates a
 * new file in it; write() appends; commit() renames the new file over the target.  Destroyed
 * before commit(), the new file is removed and the target is untouched.  Not copyable.
 */
class KelFileWriter {
 public:
  KelFileWriter() = default;
  ~KelFileWriter();
  KelFileWriter(const KelFileWriter &) = delete;
  KelFileWriter &operator=(const KelFileWriter &) = delete;

  /*
   * checkDirs: the target's directory must be an allowed write directory.  Returns 0; -1 with
   * *msgNo and sqlstate set: KELC003E/"38X03" not allowed, KELC000E/"38X00" no such directory,
   * the target is a directory, or the new file cannot be created.
   */
  int open(KelCallContext *ctx, const char *fileName, bool checkDirs, char *sqlstate, int *msgNo);
  // Appends n bytes; -1 with KELC003E/"38X03" when not all could be written.
  int write(const void *data, size_t n, char *sqlstate, int *msgNo);
  // Puts the written file in place of the target; -1 with KELC003E/"38X03" on failure.
  int commit(char *sqlstate, int *msgNo);

 private:
  void discard();
  KelCallContext *ctx_ = nullptr;
  int dirFd_ = -1;
  int fd_ = -1;
  std::string tempName_;  // inside the directory
  std::string baseName_;  // the target's name inside the directory
};

/*
 * Removes the temporary files of processes that no longer run from directory dir: files named
 * "kel<pid>_..." owned by this user whose process is gone.  Done once per process and
 * directory by the temporary-file helper; harmless to repeat.
 */
void kelRemoveStaleTempFiles(KelCallContext *ctx, const std::string &dir);

#endif /* KEL_ACCESS_H */
