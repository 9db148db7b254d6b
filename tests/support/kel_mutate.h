/*
 * kel_mutate.h - the drivers of the fuzz targets without libFuzzer: inputs made by mutating a
 * seed corpus (replace, insert or erase characters, insert a piece of the input language, copy
 * a stretch of the input into it), each handed to the target, for a number of seconds.
 */
#ifndef KEL_MUTATE_H
#define KEL_MUTATE_H

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace keltest {

// What mutates: the seeds, the pieces inserted whole, the characters inserted or replaced, the
// longest stretch copied, and the generator's seed (fixed, so a run can be repeated).
struct MutationPlan {
  std::vector<std::string> corpus;
  std::vector<std::string> pieces;
  std::string alphabet;
  size_t maxCopy = 64;
  unsigned seed = 1;
};

// Runs run(data, size) on mutated inputs for seconds; returns how many inputs it ran.
template <class Run>
size_t mutateFor(double seconds, const MutationPlan &plan, Run run) {
  std::mt19937 rng(plan.seed);
  auto start = std::chrono::steady_clock::now();
  size_t runs = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    std::string s = plan.corpus[rng() % plan.corpus.size()];
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      size_t pos = rng() % s.size();
      switch (rng() % 5) {
        case 0: s[pos] = plan.alphabet[rng() % plan.alphabet.size()]; break;
        case 1: s.insert(pos, 1, plan.alphabet[rng() % plan.alphabet.size()]); break;
        case 2: s.erase(pos, 1 + rng() % 8); break;
        case 3: s.insert(pos, plan.pieces[rng() % plan.pieces.size()]); break;
        default: s.insert(pos, s.substr(rng() % s.size(), rng() % plan.maxCopy)); break;
      }
    }
    run(reinterpret_cast<const uint8_t *>(s.data()), s.size());
    ++runs;
  }
  return runs;
}

// The run's own directory under the temporary directory, prefix-<pid> (a run beside it, say of
// another build, has another), made at the first call and removed when the process exits.
inline const std::string *&fuzzDirectorySlot() {
  static const std::string *dir = nullptr;  // never destroyed: the clean-up at exit needs it
  return dir;
}

inline const std::string &fuzzDirectory(const char *prefix) {
  const std::string *&dir = fuzzDirectorySlot();
  if (dir == nullptr) {
    dir = new std::string(
        (std::filesystem::temp_directory_path() / (std::string(prefix) + "-" + std::to_string(getpid()))).string());
    std::filesystem::create_directories(*dir);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(*fuzzDirectorySlot(), ignored);
    });
  }
  return *dir;
}

}  // namespace keltest

#endif
