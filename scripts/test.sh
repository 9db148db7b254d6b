#!/usr/bin/env bash
# Builds the project (installing what is missing) and runs the whole test suite with CTest.
# Usage: scripts/test.sh            the normal build in build/
#        scripts/test.sh --sanitize the address and undefined-behaviour sanitizer build in build-asan/
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

if [ "${1:-}" = "--sanitize" ]; then
  build="$here/build-asan"
  BUILD_TYPE=Debug "$here/scripts/setup.sh" "$build" -DKEL_SANITIZE=ON -DKEL_BUILD_BENCH=OFF
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  # use_tls=0: the leak checker's scan of the dynamic thread-local blocks of the libraries the
  # console loads ends in a crash of its own tracer ("Tracer caught signal 11") in this
  # toolchain, depending on how the process's memory happens to be laid out.  Without thread-local
  # storage as a root, a block reachable only from there would be reported as a leak: the
  # setting can add reports, never hide one.
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tests/lsan.supp:print_suppressions=0:use_tls=0}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
else
  build="$here/build"
  "$here/scripts/setup.sh" "$build"
fi

cd "$build"
ctest --output-on-failure -j"$(nproc)"
