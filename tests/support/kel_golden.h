/*
 * kel_golden.h - the one golden-file helper of the tree's tests.  Golden files live under
 * tests/data/<subsystem>/; setting KEL_UPDATE_GOLDEN=1 in the environment rewrites them from
 * what the test produced (review the diff before committing).  Volatile text (directories of a
 * run, generated names) is replaced by placeholders of one syntax, @NAME@, before comparing.
 * Header-only; usable by the engine's tests and the extension's alike.
 */
#ifndef KEL_GOLDEN_H
#define KEL_GOLDEN_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace keltest {

// True when the run rewrites golden files (KEL_UPDATE_GOLDEN=1).
inline bool updatingGoldens() {
  const char *v = std::getenv("KEL_UPDATE_GOLDEN");
  return v != nullptr && std::strcmp(v, "1") == 0;
}

// Replaces every occurrence of each value by its placeholder "@NAME@" (longest values first
// when they nest: give them in that order).
inline std::string withPlaceholders(std::string text, const std::vector<std::pair<std::string, std::string>> &names) {
  for (const auto &[name, value] : names) {
    if (value.empty()) continue;
    const std::string placeholder = "@" + name + "@";
    for (size_t at = 0; (at = text.find(value, at)) != std::string::npos; at += placeholder.size())
      text.replace(at, value.size(), placeholder);
  }
  return text;
}

// The reverse: every "@NAME@" becomes its value (for scripts that name run-time directories).
inline std::string fillPlaceholders(std::string text, const std::vector<std::pair<std::string, std::string>> &names) {
  for (const auto &[name, value] : names) {
    const std::string placeholder = "@" + name + "@";
    for (size_t at = 0; (at = text.find(placeholder, at)) != std::string::npos; at += value.size())
      text.replace(at, placeholder.size(), value);
  }
  return text;
}

/*
 * Compares actual with the golden file at path (absolute, or relative to tests/data of the
 * source tree when sourceDir is given); rewrites it first when updating.  Use as
 * EXPECT_TRUE(keltest::matchesGolden(path, text)).
 */
inline ::testing::AssertionResult matchesGolden(const std::string &path, const std::string &actual) {
  if (updatingGoldens()) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << actual;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return ::testing::AssertionFailure() << "no golden file " << path << " (run with KEL_UPDATE_GOLDEN=1)";
  std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (expected == actual) return ::testing::AssertionSuccess();
  // The first differing line says where to look; the whole texts follow.
  size_t line = 1, i = 0;
  for (; i < expected.size() && i < actual.size() && expected[i] == actual[i]; ++i)
    if (expected[i] == '\n') ++line;
  return ::testing::AssertionFailure() << path << " differs from line " << line
                                       << " (KEL_UPDATE_GOLDEN=1 rewrites it)\n--- expected\n"
                                       << expected << "\n--- actual\n" << actual;
}

#ifdef KEL_TEST_SOURCE_DIR
// A golden file of a subsystem: tests/data/<subsystem>/<name> in the source tree.
inline std::string goldenFile(const std::string &subsystem, const std::string &name) {
  return std::string(KEL_TEST_SOURCE_DIR) + "/tests/data/" + subsystem + "/" + name;
}
#endif

}  // namespace keltest

#endif /* KEL_GOLDEN_H */
