/*
 * kelfile.cpp - file helpers: absolute paths, opening, sizes, buffer to file, file to character
 * or large-object value, and exclusively created temporary files.  Every stream opened here is
 * closed before the function returns; the process environment is only read.
 */
#include "kelfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "kelaccess.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

// Formats catalogue entry msgNo and its SQLSTATE.  An entry with an argument, such as one a
// KelReadFileInspector failed an open with, gets an empty one: its caller knows the argument
// and formats the entry again.
int failWith(KelCallContext *ctx, char *msg, char *sqlstate, int msgNo) {
  kelFail(ctx, msg, sqlstate, msgNo, "");
  return -1;
}


// The directory temporary files go to: QUARNKELTEMP as kelInit kept it, else the system's.
std::string tempDirectory(const KelCallContext *ctx) {
  if (ctx != nullptr && ctx->tempDir != nullptr && ctx->tempDir[0] != '\0') return ctx->tempDir;
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  return ec || dir.empty() ? std::string("/tmp") : dir;
}

// Removes what ended processes left in dir, the first time this process uses dir.
void removeStaleOnce(KelCallContext *ctx, const std::string &dir) {
  static std::mutex lock;
  static std::set<std::string> done;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (!done.insert(dir).second) return;
  }
  kelRemoveStaleTempFiles(ctx, dir);
}

}  // namespace

int kelGetAbsPath(KelCallContext *ctx, const char *path, char *absPath) {
  if (absPath == nullptr) return -1;
  absPath[0] = '\0';
  if (path == nullptr || path[0] == '\0') return -1;
  std::string full;
  if (path[0] == '/') {
    full = path;
  } else {
    std::error_code ec;
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (ec) return -1;
    full = (cwd / path).lexically_normal().string();
    KEL_TRACE(ctx, "call _fullpath() return fullPath = %s\n", full.c_str());
  }
  if (full.size() > static_cast<size_t>(KEL_MAX_PATH)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  std::memcpy(absPath, full.c_str(), full.size() + 1);
  return 0;
}

FILE *xml_fopen(KelCallContext *ctx, const char *fileName, const char *mode) {
  char full[KEL_MAX_PATH + 1];
  if (mode == nullptr || kelGetAbsPath(ctx, fileName, full) != 0) {
    if (errno == 0) errno = EINVAL;
    return nullptr;
  }
  std::string binaryMode = mode;
  if (binaryMode.find('b') == std::string::npos) binaryMode += 'b';
  return std::fopen(full, binaryMode.c_str());
}

int kel_getFileSize(KelCallContext *ctx, const char *fileName, int64_t *size) {
  if (size != nullptr) *size = 0;
  char full[KEL_MAX_PATH + 1];
  int rc = kelGetAbsPath(ctx, fileName, full);
  struct stat st {};
  if (rc == 0) rc = ::stat(full, &st) == 0 ? 0 : -1;
  KEL_TRACE(ctx, "full path =%s rc=%d\n", full, rc);
  if (rc != 0) return -1;
  if (size != nullptr) *size = static_cast<int64_t>(st.st_size);
  KEL_TRACE(ctx, "size =%lld\n", static_cast<long long>(st.st_size));
  return 0;
}

bool kelIsRegularFile(const char *path) {
  struct stat st {};
  return path != nullptr && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int kel_buf2file(KelCallContext *ctx, const char *data, int64_t length, const char *fileName,
                 char *sqlstate, char *msg, bool checkDirs) {
  if (data == nullptr || length < 0) length = 0;
  KEL_TRACE(ctx, "Entered, input fileName='%s', length=%lld\n", fileName ? fileName : "",
            static_cast<long long>(length));
  KelFileWriter writer;
  int msgNo = 0;
  if (writer.open(ctx, fileName, checkDirs, sqlstate, &msgNo) < 0) {
    if (msgNo == KELC000E) KEL_TRACE(ctx, "xml_fopen with wb+. fp is NULL\n");
    if (msg != nullptr) kelSetMessage(ctx, msg, msgNo);
    return -1;
  }
  int rc = writer.write(data, static_cast<size_t>(length), sqlstate, &msgNo);
  KEL_TRACE(ctx, "actuall write length=%lld\n", static_cast<long long>(rc == 0 ? length : 0));
  if (rc == 0) rc = writer.commit(sqlstate, &msgNo);
  if (rc < 0) return failWith(ctx, msg, sqlstate, msgNo);
  return 0;
}

int kel_file2varchar(KelCallContext *ctx, const char *fileName, char *buffer, int32_t bufferSize,
                     char *sqlstate, char *msg, int32_t *valueLength, bool checkDirs) {
  if (valueLength != nullptr) *valueLength = 0;
  KelReadFile file;
  int msgNo = 0;
  if (file.open(ctx, fileName, checkDirs, sqlstate, &msgNo) < 0) return failWith(ctx, msg, sqlstate, msgNo);
  if (file.size() > KEL_MAX_VARCHAR_FILE) return failWith(ctx, msg, sqlstate, KELC005E);
  // Read to the end of the file, not to the size it reported when opened: a file whose size
  // says 0 (those of /proc) was stored as an empty value, and one that grew was cut, both
  // reported as success.  One byte past the limit is enough to know it is too long.
  std::vector<char> bytes(static_cast<size_t>(file.size()) + 1);
  size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (bytes.size() > static_cast<size_t>(KEL_MAX_VARCHAR_FILE)) break;
      bytes.resize(std::min<size_t>(bytes.size() * 2, static_cast<size_t>(KEL_MAX_VARCHAR_FILE) + 1));
    }
    int64_t r = file.read(bytes.data() + got, bytes.size() - got);
    if (r < 0) return failWith(ctx, msg, sqlstate, KELC002E);
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  if (got > static_cast<size_t>(KEL_MAX_VARCHAR_FILE)) return failWith(ctx, msg, sqlstate, KELC005E);
  const int64_t size = static_cast<int64_t>(got);

  int32_t convError = 0;
  int32_t n = convertBufferAppToQuarn(ctx, bytes.data(), static_cast<int32_t>(size), buffer,
                                      bufferSize, msg, sqlstate, &convError);
  if (n < 0) {
    // The conversion's own message stands unless the value merely did not fit.
    if (convError == KEL_CONV_TOO_SMALL) return failWith(ctx, msg, sqlstate, KELC005E);
    return -1;
  }
  // A zero byte would end the value there and silently cut the document.
  if (n > 0 && std::memchr(buffer, '\0', static_cast<size_t>(n)) != nullptr) {
    KEL_TRACE(ctx, "the file holds a zero byte\n");
    return failWith(ctx, msg, sqlstate, KELC002E);
  }
  if (n < bufferSize) buffer[n] = '\0';
  if (valueLength != nullptr) *valueLength = n;
  return 0;
}

int kel_file2lob(KelCallContext *ctx, const char *fileName, char *data, int64_t capacity,
                 uint32_t *lobLength, char *sqlstate, int *msgNo, bool checkDirs) {
  if (lobLength != nullptr) *lobLength = 0;
  KelReadFile file;
  int openMsg = 0;
  int rc = file.open(ctx, fileName, checkDirs, sqlstate, &openMsg);
  int64_t size = file.size();
  KEL_TRACE(ctx, "call kel_getFileSize, rc =%d, filesize=%lld\n", rc, static_cast<long long>(size));
  int result = 0;
  if (rc != 0) {
    result = kelFailNumber(msgNo, sqlstate, openMsg);
  } else if (size > KEL_MAX_LOB_FILE || size > capacity) {
    result = kelFailNumber(msgNo, sqlstate, KELC006E);
  } else if (size > 0 && (data == nullptr || !file.readAll(data, static_cast<size_t>(size)))) {
    result = kelFailNumber(msgNo, sqlstate, KELC002E);
  } else {
    KEL_TRACE(ctx, "actuall length read from file: %lld\n", static_cast<long long>(size));
    if (lobLength != nullptr) *lobLength = static_cast<uint32_t>(size);
  }
  KEL_TRACE(ctx, "Exit, returns %d\n", result);
  return result;
}

char *kel_tempFilename(KelCallContext *ctx) {
  std::string dir = tempDirectory(ctx);
  char absDir[KEL_MAX_PATH + 1];
  errno = 0;
  if (kelGetAbsPath(ctx, dir.c_str(), absDir) != 0) {
    KEL_TRACE(ctx, "tempnam failed. errno=%d\n", errno);
    return nullptr;
  }
  std::string pattern = absDir;
  if (pattern.empty() || pattern.back() != '/') pattern += '/';
  removeStaleOnce(ctx, pattern);
  // The process id in the name lets a later process tell the files of a killed one.
  pattern += KEL_TEMP_PREFIX;
  pattern += std::to_string(::getpid());
  pattern += "_XXXXXX";
  if (pattern.size() > static_cast<size_t>(KEL_MAX_PATH)) {
    KEL_TRACE(ctx, "tempnam failed. errno=%d\n", ENAMETOOLONG);
    return nullptr;
  }
  // mkostemp creates the file with O_EXCL: the name is ours alone from this moment on.
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    KEL_TRACE(ctx, "tempnam failed. errno=%d\n", errno);
    return nullptr;
  }
  ::close(fd);
  char *name = strdup(pattern.c_str());
  if (name == nullptr) {
    ::unlink(pattern.c_str());
    KEL_TRACE(ctx, "tempnam failed. errno=%d\n", ENOMEM);
    return nullptr;
  }
  KEL_TRACE(ctx, "tempname =  %s\n", name);
  return name;
}

KelTempFile::KelTempFile(KelCallContext *ctx) {
  if (char *name = kel_tempFilename(ctx)) {
    name_ = name;
    std::free(name);
  }
}

KelTempFile::~KelTempFile() {
  remove();
}

KelTempFile::KelTempFile(KelTempFile &&other) noexcept : name_(std::move(other.name_)) {
  other.name_.clear();
}

KelTempFile &KelTempFile::operator=(KelTempFile &&other) noexcept {
  if (this != &other) {
    remove();
    name_ = std::move(other.name_);
    other.name_.clear();
  }
  return *this;
}

int KelTempFile::remove() {
  if (name_.empty()) return 0;
  int rc = ::unlink(name_.c_str()) == 0 || errno == ENOENT ? 0 : -1;
  name_.clear();
  return rc;
}
