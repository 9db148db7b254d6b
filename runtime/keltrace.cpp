/*
 * keltrace.cpp - switching the instance trace on and off, and a call's trace file.
 * No lock is taken: every piece is written and flushed on its own, so lines of concurrent
 * calls may interleave but never tear a piece.
 */
#include "keltrace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <ctime>
#include <string>

#include "kelctx.h"
#include "kelfile.h"
#include "kelmsg.h"

namespace {

constexpr size_t kMaxControlLine = 1023;


// The instance name and the system directory; false when either is missing. The name becomes
// part of the control and trace file names, so one that could lead out of their directories
// (a '/') or break the control file's one line counts as missing, wherever it came from.
bool instanceSettings(const char *instance, std::string *name, std::string *kelPath) {
  const char *inst = instance != nullptr && *instance != '\0' ? instance : std::getenv("QUARNINSTANCE");
  const char *path = std::getenv("QUARNKELPATH");
  if (inst == nullptr || *inst == '\0' || path == nullptr || *path == '\0') return false;
  if (std::strpbrk(inst, "/\r\n") != nullptr) return false;
  *name = inst;
  *kelPath = path;
  return true;
}

std::string controlFileName(const std::string &kelPath, const std::string &instance) {
  return kelPath + "/kel" + instance + ".ctl";
}

// Opens the trace file for appending ("a+").  The trace directory may be one that others can write (/tmp): a link put in the file's
// place would carry the trace, and the appends of every call of the instance, into whatever
// file it points to, and a FIFO would hold every call when its buffer is full.  So the last name
// is never followed and only a regular file is kept; the open does not wait (a FIFO opens at
// once and is refused).  With ownOnly, a file that another user made beforehand (who could read
// the document values the trace records), or one with other names (hard links), is refused too.
// A file made here is its user's alone, for the same reason, whatever the umask.
FILE *openRegular(const char *name, int flags, const char *mode, bool ownOnly, struct stat *made = nullptr) {
  // Made anew if it can be (then *made says which file), else opened as it is.
  const int common = flags | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = ::open(name, common | O_CREAT | O_EXCL, 0600);
  const bool created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = ::open(name, common, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (ownOnly && (st.st_uid != ::geteuid() || st.st_nlink != 1))) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  if (made != nullptr) {
    *made = {};
    if (created) *made = st;
  }
  int fl = ::fcntl(fd, F_GETFL);
  if (fl >= 0) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  FILE *file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return file;
}

FILE *openTraceFile(const char *name) { return openRegular(name, O_RDWR | O_APPEND, "a+", false); }

/*
 * Writes the control file anew.  The calls of the instance read it at any moment, in other
 * processes, so it is never emptied in place: the trace file's name goes into a new file beside
 * it, which then takes the control file's name in one step.  A call sees the old name or the new
 * one, never an empty file, and a switch that fails half way (a full disk) leaves the control
 * file as it was.  A control file that is not a regular file of the switching user with one name
 * (a link or FIFO put in its place, a directory) is refused, and never written through.
 */
bool writeControl(const std::string &control, const std::string &traceName) {
  struct stat st {};
  if (::lstat(control.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1) return false;
  } else if (errno != ENOENT) {
    return false;
  }
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = control + "." + std::to_string(::getpid()) + "." + std::to_string(serial++) + ".new";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  bool written = true;
  for (size_t done = 0; written && done < traceName.size();) {
    const ssize_t n = ::write(fd, traceName.data() + done, traceName.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (n < 0 && errno == EINTR) continue;
    else written = false;
  }
  if (::close(fd) != 0) written = false;
  if (!written || ::rename(temp.c_str(), control.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int kelTraceOn(KelCallContext *ctx, const char *traceDir, const char *instance, int32_t *rc,
               char *sqlstate, char *msg) {
  std::string inst, kelPath;
  if (!instanceSettings(instance, &inst, &kelPath)) {
    kelSetState(sqlstate, "38X35");
    if (rc) *rc = -102;
    return -1;
  }
  kelSetState(sqlstate, "00000");
  if (rc) *rc = 0;

  // The control file names the trace file in full, on one line: routines of other processes of
  // the instance, in other current directories, open that name and only that name.
  std::string dir = traceDir != nullptr ? traceDir : "";
  char absDir[KEL_MAX_PATH + 1] = "";
  bool dirKnown = dir.find_first_of("\r\n") == std::string::npos &&
                  (dir.empty() || dir[0] == '/' || kelGetAbsPath(ctx, dir.c_str(), absDir) == 0);
  if (!dir.empty() && dir[0] != '/') dir = absDir;
  std::string traceName = dir + "/kel" + inst + ".trc";
  // The file switched on must be the switching user's own; the calls of the instance then open
  // it whoever runs them.
  struct stat made {};
  FILE *trace = dirKnown && traceName.size() <= kMaxControlLine
                    ? openRegular(traceName.c_str(), O_RDWR | O_APPEND, "a+", true, &made)
                    : nullptr;
  if (trace == nullptr) {
    if (msg) kelSetMessage(ctx, msg, KELC009E, traceDir != nullptr ? traceDir : "");
    if (rc) *rc = kelMessageState(KELC009E, sqlstate);
    return -1;
  }

  std::string control = controlFileName(kelPath, inst);
  if (!writeControl(control, traceName)) {
    std::fclose(trace);
    // A trace file this call made goes again, if the name is still that file: the trace is
    // not on.
    struct stat now {};
    if (made.st_ino != 0 && ::lstat(traceName.c_str(), &now) == 0 && now.st_dev == made.st_dev &&
        now.st_ino == made.st_ino)
      ::unlink(traceName.c_str());
    if (msg) kelSetMessage(ctx, msg, KELC011E);
    if (rc) *rc = kelMessageState(KELC011E, sqlstate);
    return -1;
  }
  if (msg) kelSetMessage(ctx, msg, KELA068I);

  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char when[64];
  asctime_r(&local, when);
  std::fprintf(trace, "*** Trace turned on %s\n", when);
  std::fclose(trace);
  return 0;
}

int kelTraceOff(KelCallContext *ctx, const char *instance, char *msg, int32_t *rc) {
  std::string inst, kelPath;
  if (!instanceSettings(instance, &inst, &kelPath)) {
    if (rc) *rc = -102;
    return -1;
  }
  if (rc) *rc = 0;
  std::string control = controlFileName(kelPath, inst);
  if (std::remove(control.c_str()) != 0) {
    if (msg) kelSetMessage(ctx, msg, KELC008E, control.c_str());
    if (rc) *rc = kelSqlStateTable[KELC008E].code;
    return -1;
  }
  if (msg) kelSetMessage(ctx, msg, KELA069I);
  if (ctx != nullptr) {
    if (ctx->traceFile != nullptr) std::fclose(ctx->traceFile);
    ctx->traceFileName[0] = '\0';
    ctx->traceOn = 0;
    ctx->traceFile = nullptr;
  }
  return 0;
}

int kelTraceOpen(KelCallContext *ctx, char *sqlstate, char *msg) {
  if (ctx == nullptr) return 0;
  std::string inst, kelPath;
  if (!instanceSettings(nullptr, &inst, &kelPath)) {
    kelSetState(sqlstate, "38X35");
    return -102;
  }
  if (ctx->traceFile != nullptr && ctx->traceOn == 1) {
    if (msg) msg[0] = '\0';
    return 0;
  }
  std::string control = controlFileName(kelPath, inst);
  // Most calls find no control file.  Asking whether the name exists costs less than a failed
  // open (which makes and drops a stream and an open file first), and every function's first
  // call in every trigger firing asks.  Any other answer, and a file that exists, go on to the
  // open, which alone decides.
  if (faccessat(AT_FDCWD, control.c_str(), F_OK, AT_EACCESS) != 0 && errno == ENOENT) return 0;
  FILE *ctl = std::fopen(control.c_str(), "r");
  if (ctl == nullptr) {
    if (errno == ENOENT) return 0;
    // A control file that is there but cannot be read fails the call as a trace file that
    // cannot be opened does, with the system's reason.
    std::string reason = "'" + control + "' " + std::strerror(errno);
    if (msg) kelSetText(ctx, msg, reason.c_str());
    kelSetState(sqlstate, "38X03");
    return -1;
  }
  char line[kMaxControlLine + 1] = "";
  if (std::fgets(line, sizeof line, ctl) == nullptr) {
    line[0] = '\0';
    if (std::ferror(ctl)) {
      // Opened but not readable (a directory): the same failure, with the system's reason,
      // rather than a trace file without a name.
      const int error = errno;
      std::fclose(ctl);
      std::string reason = "'" + control + "' " + std::strerror(error);
      if (msg) kelSetText(ctx, msg, reason.c_str());
      kelSetState(sqlstate, "38X03");
      return -1;
    }
  }
  std::fclose(ctl);
  line[std::strcspn(line, "\r\n")] = '\0';

  FILE *trace = line[0] != '\0' ? openTraceFile(line) : nullptr;
  if (trace == nullptr) {
    return kelFailWithState(ctx, msg, sqlstate, "38X03", KELQ070E, line);
  }
  // The name is kept for reference; a longer one than the field holds is cut there only.
  std::snprintf(ctx->traceFileName, sizeof ctx->traceFileName, "%s", line);
  ctx->traceFile = trace;
  ctx->traceOn = 1;
  return 0;
}

int kelTraceClose(KelCallContext *ctx) {
  if (ctx == nullptr) return 0;
  if (ctx->traceFile != nullptr) std::fclose(ctx->traceFile);
  ctx->traceFile = nullptr;
  ctx->traceOn = 0;
  return 0;
}

int kelTraceWrite(KelCallContext *ctx, const char *format, ...) {
  if (ctx == nullptr || ctx->traceFile == nullptr) return 0;
  va_list args;
  va_start(args, format);
  int n = std::vfprintf(ctx->traceFile, format, args);
  va_end(args);
  std::fflush(ctx->traceFile);
  return n < 0 ? 0 : n;
}

int kelGetProcessID(KelCallContext *ctx) { return static_cast<int>(getpid()); }
