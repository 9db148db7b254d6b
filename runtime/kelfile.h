/*
 * kelfile.h - moving bytes between buffers and files: absolute paths, opening, sizes, writing a
 * buffer to a file, reading a file into a character value or a large-object value, and
 * temporary files.  Used by the document buffers, the storage and extract functions, the
 * composition and decomposition routines and keladm.
 *
 * Every helper closes what it opened before it returns, on success and on failure.  Names and
 * buffers returned are owned by the caller as each contract says.  All helpers are safe to call
 * from several calls at once: temporary files are created exclusively, so two calls (or two
 * processes) never receive the same name, and the process environment is never changed.
 *
 * Failures follow one of two conventions, as each helper states: the message is formatted into
 * msg (a buffer of the context's message mode) with the SQLSTATE in sqlstate (6 bytes), or only
 * the message number is left in *msgNo for the caller to format with kelSetMessage.
 */
#ifndef KEL_FILE_H
#define KEL_FILE_H

#include <cstdint>
#include <cstdio>
#include <string>

struct KelCallContext;

// Longest absolute file name, in bytes, without the terminator.
inline constexpr int KEL_MAX_PATH = 1024;
// Largest file read as an XMLVarchar value, in bytes.
inline constexpr int32_t KEL_MAX_VARCHAR_FILE = 32672;
// Largest file handed over as a large-object value, in bytes.
inline constexpr int64_t KEL_MAX_LOB_FILE = 2000000000;
// Temporary file names begin with this prefix.
inline constexpr char KEL_TEMP_PREFIX[] = "kel";

/*
 * Writes the absolute form of path into absPath (KEL_MAX_PATH + 1 bytes): a path beginning
 * with "/" unchanged, any other completed against the current directory (with "." and ".."
 * steps of the completed name resolved lexically).  Returns 0, or -1 for an empty path, an
 * unknown current directory or a result longer than KEL_MAX_PATH (absPath is then empty).
 */
int kelGetAbsPath(KelCallContext *ctx, const char *path, char *absPath);

/*
 * Opens fileName, made absolute, in mode (binary added when missing).  Returns the stream (the
 * caller closes it) or null with errno set.
 */
FILE *xml_fopen(KelCallContext *ctx, const char *fileName, const char *mode);

/*
 * Sets *size to the size in bytes of fileName and returns 0; returns -1 with *size 0 when the
 * name cannot be made absolute or the file does not exist.
 */
int kel_getFileSize(KelCallContext *ctx, const char *fileName, int64_t *size);

// True when path names an existing regular file (symbolic links followed).
bool kelIsRegularFile(const char *path);

/*
 * Writes length bytes of data to fileName: a new file in the same directory, renamed over the
 * name once every byte is written (KelFileWriter), so a link is never followed and a failed
 * write leaves the old file.  checkDirs: the directory must be an allowed write directory
 * (KELC003E/"38X03" otherwise).  Returns 0; -1 with KELC000E and "38X00" when the file cannot
 * be created (no such directory), KELC003E and "38X03" when not every byte could be written.
 */
int kel_buf2file(KelCallContext *ctx, const char *data, int64_t length, const char *fileName,
                 char *sqlstate, char *msg, bool checkDirs);

/*
 * Reads the whole of fileName as an XMLVarchar value into buffer (bufferSize bytes) and
 * converts it from the application code page to the database code page.  checkDirs: the file
 * must lie in an allowed read directory (checked on the opened file, KelReadFile).  Returns 0
 * with the value's length in *valueLength (may be null); the value is terminated when it is
 * shorter than bufferSize.  Failures return -1: not found KELC001E/"38X01"; not allowed, not a
 * regular file, short read, or a value holding a zero byte (it would be cut there)
 * KELC002E/"38X02"; KEL_MAX_VARCHAR_FILE + 1 bytes or more KELC005E/"38X05"; cannot open
 * KELC000E/"38X00"; converted value longer than the buffer KELC005E/"38X05" (code -51); other
 * conversion failures KELQ055E/"38X45".
 */
int kel_file2varchar(KelCallContext *ctx, const char *fileName, char *buffer, int32_t bufferSize,
                     char *sqlstate, char *msg, int32_t *valueLength, bool checkDirs);

/*
 * Reads the whole of fileName, unchanged, into data (capacity bytes, the data area of a
 * character large-object result) and sets *lobLength to the bytes read.  checkDirs as for
 * kel_file2varchar.  Returns 0; -1 with *msgNo and sqlstate set: KELC001E/"38X01" not found,
 * KELC006E/"38X06" larger than KEL_MAX_LOB_FILE or than capacity, KELC000E/"38X00" cannot
 * open, KELC002E/"38X02" not allowed, not a regular file, or a short read.
 */
int kel_file2lob(KelCallContext *ctx, const char *fileName, char *data, int64_t capacity,
                 uint32_t *lobLength, char *sqlstate, int *msgNo, bool checkDirs);

/*
 * Creates a new, empty file named "kel<process id>_XXXXXX" in the context's temporary
 * directory (QUARNKELTEMP), else in the system's temporary directory, and returns its name
 * (malloc'd: the caller frees it and removes the file, or hands it to a KelTempFile).  The file
 * is created exclusively with owner-only permissions, so no other call or process can get the
 * same name.  The first use of a directory in a process removes the files that processes no
 * longer running left there (kelRemoveStaleTempFiles).  Returns null, with a trace line, when
 * the file cannot be created.
 */
char *kel_tempFilename(KelCallContext *ctx);

/*
 * Owner of one temporary file: creates it with kel_tempFilename and removes it when destroyed,
 * so every return path of the owning call leaves nothing behind.  Not copyable; movable.
 */
class KelTempFile {
 public:
  explicit KelTempFile(KelCallContext *ctx);
  ~KelTempFile();
  KelTempFile(KelTempFile &&other) noexcept;
  KelTempFile &operator=(KelTempFile &&other) noexcept;
  KelTempFile(const KelTempFile &) = delete;
  KelTempFile &operator=(const KelTempFile &) = delete;

  // False when the file could not be created.
  bool ok() const { return !name_.empty(); }
  // The file's name; empty when the file could not be created.
  const char *name() const { return name_.c_str(); }
  // Removes the file now; returns 0, or -1 when it existed and could not be removed.
  int remove();

 private:
  std::string name_;
};

#endif /* KEL_FILE_H */
