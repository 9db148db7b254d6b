/*
 * kel_test_env.h - test fixtures shared by the extension's tests: a temporary directory removed
 * at the end, environment variables restored at the end, and small file helpers.
 */
#ifndef KEL_TEST_ENV_H
#define KEL_TEST_ENV_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace keltest {

// A fresh directory under the system temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "keltestXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::string file(const std::string &name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Sets or clears environment variables and restores every one it touched when destroyed.
class ScopedEnv {
 public:
  ~ScopedEnv() {
    for (auto &[name, value] : saved_) {
      if (value) setenv(name.c_str(), value->c_str(), 1);
      else unsetenv(name.c_str());
    }
  }
  void set(const std::string &name, const std::string &value) {
    remember(name);
    setenv(name.c_str(), value.c_str(), 1);
  }
  void unset(const std::string &name) {
    remember(name);
    unsetenv(name.c_str());
  }

 private:
  void remember(const std::string &name) {
    if (saved_.count(name)) return;
    const char *v = std::getenv(name.c_str());
    saved_[name] = v ? std::optional<std::string>(v) : std::nullopt;
  }
  std::map<std::string, std::optional<std::string>> saved_;
};

#ifdef KEL_TEST_BUILD_DIR
// The build tree and the source tree of the test binary (defined by kel_add_test).
inline std::string buildDir() { return KEL_TEST_BUILD_DIR; }
inline std::string sourceDir() { return KEL_TEST_SOURCE_DIR; }
#endif

// s as one word for /bin/sh: in single quotes, each quote inside written as '\''.
inline std::string shellQuote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string &path, const std::string &content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace keltest

#endif /* KEL_TEST_ENV_H */
