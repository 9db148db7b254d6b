/*
 * kelaccess.cpp - the allowed directories of the instance, and reading and writing server files
 * so that what was checked is what was opened (see kelaccess.h).
 */
#include "kelaccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "kelctx.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "sqlenv.h"

namespace {


std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Removes trailing "/" (but not the root's).
std::string withoutTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// True when path lies inside dir, compared by whole components.
bool inside(const std::string &path, const std::string &dir) {
  if (dir == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

// The registry value for access: "ANY", a ";"-separated list, or unset (false).
bool registryValue(int access, std::string *value) {
  constexpr int kSize = 65536;
  std::unique_ptr<char[]> setting(new char[kSize]);
  setting[0] = '\0';
  int rc = sqloGetEnv(access == KEL_ACCESS_WRITE ? SQLE_REG_XML_WRITE_DIRS : SQLE_REG_XML_READ_DIRS, setting.get(),
                      kSize);
  if (rc != 0) return false;
  setting[kSize - 1] = '\0';
  *value = trim(setting.get());
  return true;
}

/*
 * The real path of an open descriptor: what /proc says it is, or, without /proc, the real path
 * of name when that still names the same file.  Empty when neither can be had.
 */
std::string realPathOfFd(int fd, const char *name) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  char target[PATH_MAX + 1];
  ssize_t n = ::readlink(link, target, PATH_MAX);
  if (n > 0 && target[0] == '/') {
    target[n] = '\0';
    // A file removed after it was opened shows as "path (deleted)": its place is unknown.  A
    // name that itself ends so is still the file's when it names that file now.
    static constexpr char kDeleted[] = " (deleted)";
    constexpr size_t kDeletedLength = sizeof kDeleted - 1;
    const std::string path(target, static_cast<size_t>(n));
    if (path.size() <= kDeletedLength || path.compare(path.size() - kDeletedLength, kDeletedLength, kDeleted) != 0)
      return path;
    struct stat byPath {}, byFd {};
    if (::stat(path.c_str(), &byPath) != 0 || ::fstat(fd, &byFd) != 0 || byPath.st_dev != byFd.st_dev ||
        byPath.st_ino != byFd.st_ino)
      return std::string();
    return path;
  }
  if (name == nullptr) return std::string();
  char resolved[PATH_MAX];
  struct stat byName {}, byFd {};
  if (::realpath(name, resolved) == nullptr || ::stat(resolved, &byName) != 0 || ::fstat(fd, &byFd) != 0)
    return std::string();
  if (byName.st_dev != byFd.st_dev || byName.st_ino != byFd.st_ino) return std::string();
  return resolved;
}

// The directory part and the last component of an absolute path.
void splitPath(const std::string &abs, std::string *dir, std::string *base) {
  std::string name = withoutTrailingSlash(abs);
  size_t slash = name.rfind('/');
  *dir = slash == 0 ? std::string("/") : name.substr(0, slash);
  *base = name.substr(slash + 1);
}

// True when the directory of abs resolves to an allowed directory for access.
bool directoryAllowed(KelCallContext *ctx, int access, const std::string &abs) {
  std::string dir, base;
  splitPath(abs, &dir, &base);
  char resolved[PATH_MAX];
  if (base.empty() || ::realpath(dir.c_str(), resolved) == nullptr) return false;
  std::string real = resolved;
  if (real.back() != '/') real += '/';
  return kelPathAllowed(ctx, access, real + base);
}

// A name for a new file: "kel", the process id, "_" and six random characters.
std::string uniqueName() {
  static std::atomic<uint64_t> counter{0};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  uint64_t x = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  x ^= counter.fetch_add(0x9E3779B97F4A7C15ULL) + (static_cast<uint64_t>(::getpid()) << 32);
  x ^= x >> 33;
  x *= 0xFF51AFD7ED558CCDULL;
  x ^= x >> 33;
  std::string out = std::string(KEL_TEMP_PREFIX) + std::to_string(::getpid()) + "_";
  for (int i = 0; i < 6; ++i, x /= 62) out += kChars[x % 62];
  return out;
}

}  // namespace

bool kelPathAllowed(KelCallContext *ctx, int access, const std::string &realPath) {
  std::string dirs;
  if (!registryValue(access, &dirs)) {
    KEL_TRACE(ctx, "registry is null, no access allowed\n");
    return false;
  }
  if (dirs == "ANY") {
    KEL_TRACE(ctx, "registry set to ANY, access permitted\n");
    return true;
  }
  bool found = false;
  size_t start = 0;
  while (!found && !realPath.empty() && start <= dirs.size()) {
    size_t semi = dirs.find(';', start);
    std::string entry = trim(dirs.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    start = semi == std::string::npos ? dirs.size() + 1 : semi + 1;
    if (entry.empty()) continue;
    // An allowed directory is itself taken by its real path when it exists.
    char resolved[PATH_MAX];
    std::string dir = ::realpath(entry.c_str(), resolved) != nullptr ? resolved : withoutTrailingSlash(entry);
    found = inside(realPath, withoutTrailingSlash(dir));
  }
  KEL_TRACE(ctx, "filename = %s, found = %d\n", realPath.c_str(), found ? 1 : 0);
  return found;
}

int kelCheckAccess(KelCallContext *ctx, int access, const char *fileName, char *sqlstate, char *msg) {
  int deniedMsg = access == KEL_ACCESS_WRITE ? KELC003E : KELC002E;
  try {
    std::string dirs;
    if (registryValue(access, &dirs) && dirs == "ANY") {
      KEL_TRACE(ctx, "registry set to ANY, access permitted\n");
      return 0;
    }
    char abs[KEL_MAX_PATH + 1];
    bool allowed = false;
    if (fileName != nullptr && kelGetAbsPath(ctx, fileName, abs) == 0) {
      char resolved[PATH_MAX];
      if (::realpath(abs, resolved) != nullptr)
        allowed = kelPathAllowed(ctx, access, resolved);
      else if (access == KEL_ACCESS_WRITE)
        allowed = directoryAllowed(ctx, access, abs);
    }
    if (allowed) return 0;
  } catch (const std::bad_alloc &) {
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    kelMessageState(KELG002E, sqlstate);
    return -1;
  }
  if (msg) kelSetMessage(ctx, msg, deniedMsg);
  kelMessageState(deniedMsg, sqlstate);
  return -1;
}

// ---------------------------------------------------------------------------------------------

KelReadFile::~KelReadFile() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// The innermost inspector alive on this thread, or null.
thread_local KelReadFileInspector *innermostInspector = nullptr;

// The message for a name that could not be opened (errno err); abs, when the directories are
// checked: outside the allowed directories a missing file reads as refused, so nothing is told
// about files the caller may not read.
int openFailure(KelCallContext *ctx, const char *abs, int err, char *sqlstate, int *msgNo) {
  if (abs != nullptr && !directoryAllowed(ctx, KEL_ACCESS_READ, abs)) return kelFailNumber(msgNo, sqlstate, KELC002E);
  if (err == ENOENT || err == ENOTDIR) return kelFailNumber(msgNo, sqlstate, KELC001E);
  return kelFailNumber(msgNo, sqlstate, KELC000E);
}

}  // namespace

int KelReadFile::open(KelCallContext *ctx, const char *fileName, bool checkDirs, char *sqlstate, int *msgNo) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
  realPath_.clear();
  // An empty name is no file anywhere: refused as one outside the allowed directories is, so
  // that XMLFile('') says what XMLFile('missing.xml') says where the directory is not allowed.
  if (fileName != nullptr && fileName[0] == '\0') return kelFailNumber(msgNo, sqlstate, KELC002E);
  char abs[KEL_MAX_PATH + 1];
  if (fileName == nullptr || kelGetAbsPath(ctx, fileName, abs) != 0)
    return kelFailNumber(msgNo, sqlstate, KELC001E);
  // What the name leads to is checked before it is opened: opening is itself an act (a FIFO's
  // writer is let go, a device may act on it).  The resolved name is opened without following
  // a link in its last place, and what was opened is checked again below, for a name changed
  // in between.  A name that does not resolve (missing now, or a link to no path, such as
  // /proc/self/fd/0 on a pipe) is not opened at all: a file made at that name in the meantime
  // would be opened unchecked.
  const char *target = abs;
  char resolved[PATH_MAX];
  int noFollow = 0;
  if (checkDirs) {
    if (::realpath(abs, resolved) == nullptr) {
      int err = errno;
      KEL_TRACE(ctx, "%s does not resolve, errno=%d\n", abs, err);
      return openFailure(ctx, abs, err, sqlstate, msgNo);
    }
    if (!kelPathAllowed(ctx, KEL_ACCESS_READ, resolved)) return kelFailNumber(msgNo, sqlstate, KELC002E);
    target = resolved;
    noFollow = O_NOFOLLOW;
  }
  // Without blocking: a FIFO opens at once (and is refused below) instead of waiting for a
  // writer; O_NOCTTY keeps a terminal from becoming the process's.
  int fd = ::open(target, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | noFollow);
  if (fd < 0) {
    int err = errno;
    KEL_TRACE(ctx, "open %s failed, errno=%d\n", abs, err);
    return openFailure(ctx, checkDirs ? abs : nullptr, err, sqlstate, msgNo);
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    KEL_TRACE(ctx, "%s is not a regular file\n", abs);
    ::close(fd);
    return kelFailNumber(msgNo, sqlstate, KELC002E);
  }
  if (checkDirs) {
    // Checked whatever it is: a name that resolved to itself may still be another file now.
    std::string real = realPathOfFd(fd, target);
    if (real.empty() || !kelPathAllowed(ctx, KEL_ACCESS_READ, real)) {
      ::close(fd);
      return kelFailNumber(msgNo, sqlstate, KELC002E);
    }
    realPath_ = real;
  }
  int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  size_ = static_cast<int64_t>(st.st_size);
  if (innermostInspector != nullptr && innermostInspector->inspect(*this, sqlstate, msgNo) < 0) {
    ::close(fd_);
    fd_ = -1;
    size_ = 0;
    realPath_.clear();
    return -1;
  }
  return 0;
}

int64_t KelReadFile::read(void *dest, size_t n) {
  for (;;) {
    ssize_t got = ::read(fd_, dest, n);
    if (got < 0 && errno == EINTR) continue;
    return static_cast<int64_t>(got);
  }
}

bool KelReadFile::readAll(void *dest, size_t n) {
  auto *p = static_cast<char *>(dest);
  while (n > 0) {
    int64_t got = read(p, n);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

int64_t KelReadFile::readAt(void *dest, size_t n, int64_t offset) {
  auto *p = static_cast<char *>(dest);
  size_t done = 0;
  while (done < n) {
    ssize_t got = ::pread(fd_, p + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  return static_cast<int64_t>(done);
}

int KelReadFile::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

KelReadFileInspector::KelReadFileInspector() : outer_(innermostInspector) { innermostInspector = this; }

KelReadFileInspector::~KelReadFileInspector() { innermostInspector = outer_; }

// ---------------------------------------------------------------------------------------------

KelFileWriter::~KelFileWriter() { discard(); }

void KelFileWriter::discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!tempName_.empty() && dirFd_ >= 0) ::unlinkat(dirFd_, tempName_.c_str(), 0);
  tempName_.clear();
  if (dirFd_ >= 0) ::close(dirFd_);
  dirFd_ = -1;
}

int KelFileWriter::open(KelCallContext *ctx, const char *fileName, bool checkDirs, char *sqlstate, int *msgNo) {
  discard();
  ctx_ = ctx;
  char abs[KEL_MAX_PATH + 1];
  if (fileName == nullptr || kelGetAbsPath(ctx, fileName, abs) != 0) return kelFailNumber(msgNo, sqlstate, KELC000E);
  std::string dir;
  splitPath(abs, &dir, &baseName_);
  if (baseName_.empty() || baseName_ == "." || baseName_ == ".." || std::string(abs).back() == '/')
    return kelFailNumber(msgNo, sqlstate, KELC000E);
  dirFd_ = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd_ < 0) {
    KEL_TRACE(ctx, "directory %s cannot be opened, errno=%d\n", dir.c_str(), errno);
    if (checkDirs) {
      // Tell a missing directory inside an allowed one from a directory that is not allowed.
      std::string lexical = std::filesystem::path(withoutTrailingSlash(dir) + "/" + baseName_).lexically_normal().string();
      if (!kelPathAllowed(ctx, KEL_ACCESS_WRITE, lexical)) return kelFailNumber(msgNo, sqlstate, KELC003E);
    }
    return kelFailNumber(msgNo, sqlstate, KELC000E);
  }
  if (checkDirs) {
    std::string real = realPathOfFd(dirFd_, dir.c_str());
    if (real.empty()) return kelFailNumber(msgNo, sqlstate, KELC003E);
    if (real.back() != '/') real += '/';
    if (!kelPathAllowed(ctx, KEL_ACCESS_WRITE, real + baseName_)) return kelFailNumber(msgNo, sqlstate, KELC003E);
  }
  // A regular file is written over and a symbolic link replaced (never followed); a
  // directory, FIFO, socket or device is left alone.
  struct stat st {};
  bool exists = ::fstatat(dirFd_, baseName_.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
    KEL_TRACE(ctx, "%s is neither a regular file nor a link\n", abs);
    return kelFailNumber(msgNo, sqlstate, KELC000E);
  }
  // A file is written over only when it may be written: renaming needs no right on the file
  // itself, and must not replace one that is read-only or another user's.
  if (exists && S_ISREG(st.st_mode) && ::faccessat(dirFd_, baseName_.c_str(), W_OK, AT_EACCESS) != 0) {
    KEL_TRACE(ctx, "%s may not be written, errno=%d\n", abs, errno);
    return kelFailNumber(msgNo, sqlstate, KELC000E);
  }
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    std::string name = uniqueName();
    fd_ = ::openat(dirFd_, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd_ >= 0) tempName_ = name;
    else if (errno != EEXIST) break;
  }
  if (fd_ < 0) {
    KEL_TRACE(ctx, "xml_fopen with wb+. fp is NULL\n");
    return kelFailNumber(msgNo, sqlstate, KELC000E);
  }
  // A file written over keeps its permissions, but not the set-user or set-group bit: new
  // content never runs with the old file's rights.
  if (exists && S_ISREG(st.st_mode)) ::fchmod(fd_, st.st_mode & 01777);
  return 0;
}

int KelFileWriter::write(const void *data, size_t n, char *sqlstate, int *msgNo) {
  if (fd_ < 0) return kelFailNumber(msgNo, sqlstate, KELC003E);
  const char *p = static_cast<const char *>(data);
  while (n > 0) {
    ssize_t done = ::write(fd_, p, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      KEL_TRACE(ctx_, "write failed, errno=%d\n", errno);
      return kelFailNumber(msgNo, sqlstate, KELC003E);
    }
    p += done;
    n -= static_cast<size_t>(done);
  }
  return 0;
}

int KelFileWriter::commit(char *sqlstate, int *msgNo) {
  if (fd_ < 0 || tempName_.empty()) return kelFailNumber(msgNo, sqlstate, KELC003E);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 || ::renameat(dirFd_, tempName_.c_str(), dirFd_, baseName_.c_str()) != 0) {
    KEL_TRACE(ctx_, "the written file cannot be put in place, errno=%d\n", errno);
    discard();
    return kelFailNumber(msgNo, sqlstate, KELC003E);
  }
  tempName_.clear();
  discard();
  return 0;
}

// ---------------------------------------------------------------------------------------------

void kelRemoveStaleTempFiles(KelCallContext *ctx, const std::string &dir) {
  int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  DIR *d = ::fdopendir(dirFd);
  if (d == nullptr) {
    ::close(dirFd);
    return;
  }
  const size_t prefix = std::strlen(KEL_TEMP_PREFIX);
  const pid_t self = ::getpid();
  int removed = 0;
  while (struct dirent *e = ::readdir(d)) {
    const char *name = e->d_name;
    if (std::strncmp(name, KEL_TEMP_PREFIX, prefix) != 0) continue;
    const char *p = name + prefix;
    long pid = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9' && digits < 10; ++p, ++digits) pid = pid * 10 + (*p - '0');
    if (digits == 0 || *p != '_' || pid <= 0 || pid == self) continue;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    if (::unlinkat(dirFd, name, 0) == 0) ++removed;
  }
  ::closedir(d);
  if (removed > 0) KEL_TRACE(ctx, "removed %d temporary files of ended processes from %s\n", removed, dir.c_str());
}
