/*
 * qsfence.cpp - the call into a routine with every C++ exception caught (see qsfence.h).
 */
#include "qsfence.h"

#include <cxxabi.h>

#include <array>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <utility>

namespace {

// Calls fn with exactly N pointer arguments: every argument of the convention is a pointer.
using Caller = void (*)(void *, void *const *);
template <size_t... I>
void callWith(void *fn, void *const *a, std::index_sequence<I...>) {
  using F = void (*)(decltype((void)I, static_cast<void *>(nullptr))...);
  reinterpret_cast<F>(fn)(a[I]...);
}
template <size_t N>
void callN(void *fn, void *const *a) {
  callWith(fn, a, std::make_index_sequence<N>{});
}
template <size_t... N>
constexpr std::array<Caller, sizeof...(N)> makeCallers(std::index_sequence<N...>) {
  return {&callN<N>...};
}
constexpr std::array<Caller, QS_FENCE_MAX_ARGS + 1> kCallers = makeCallers(std::make_index_sequence<QS_FENCE_MAX_ARGS + 1>{});

// The demangled name of the exception being handled, or "unknown".
std::string currentExceptionType() {
  const std::type_info *t = abi::__cxa_current_exception_type();
  if (t == nullptr) return "unknown";
  int status = 0;
  char *name = abi::__cxa_demangle(t->name(), nullptr, nullptr, &status);
  std::string out = status == 0 && name != nullptr ? name : t->name();
  std::free(name);
  return out;
}

// Sets category back to its saved name when it differs (a name too long to keep is left alone),
// and notes the name pointer now in use.
void restore(QsLocaleSaved &saved) noexcept {
  const char *now = std::setlocale(saved.category, nullptr);
  if (saved.name[0] != '\0' && (now == nullptr || std::strcmp(now, saved.name) != 0)) {
    std::setlocale(saved.category, saved.name);
    now = std::setlocale(saved.category, nullptr);
  }
  saved.current = now;
}

void save(QsLocaleSaved &saved, int category) noexcept {
  const char *now = std::setlocale(category, nullptr);
  size_t n = now != nullptr ? std::strlen(now) : 0;
  if (n >= sizeof saved.name) n = 0;  // a name this long is never set back
  std::memcpy(saved.name, now != nullptr ? now : "", n);
  saved.name[n] = '\0';
  saved.category = category;
  saved.current = now;
}

// After a call: only a category whose name pointer moved is compared.
void check(QsLocaleSaved &saved) noexcept {
  if (std::setlocale(saved.category, nullptr) != saved.current) restore(saved);
}

// Writes "<what the exception is>: <detail>" into fault; never throws, even when there is no
// memory left to demangle the type's name.
void describe(char *fault, size_t size, const char *format, const char *detail) noexcept {
  try {
    std::snprintf(fault, size, format, currentExceptionType().c_str(), detail);
  } catch (...) {
    std::snprintf(fault, size, format, "an exception", detail);
  }
}

}  // namespace

extern "C" void qsFenceSaveLocale(QsLocaleMark *mark) {
  save(mark->ctype, LC_CTYPE);
  save(mark->messages, LC_MESSAGES);
}

extern "C" void qsFenceRestoreLocale(QsLocaleMark *mark) {
  restore(mark->ctype);
  restore(mark->messages);
}

extern "C" int qsFencedCall(QsLocaleMark *mark, void *fn, void *const *args, int nargs, char *fault, size_t faultSize) {
  if (nargs < 0 || nargs > QS_FENCE_MAX_ARGS) return -1;
  int rc = 0;
  try {
    kCallers[static_cast<size_t>(nargs)](fn, args);
  } catch (const std::bad_alloc &) {
    describe(fault, faultSize, "out of memory (%s)%s", "");
    rc = 1;
  } catch (const std::exception &e) {
    describe(fault, faultSize, "%s: %s", e.what());
    rc = 1;
  } catch (...) {
    describe(fault, faultSize, "an exception of type %s%s", "");
    rc = 1;
  }
  check(mark->ctype);
  check(mark->messages);
  return rc;
}
