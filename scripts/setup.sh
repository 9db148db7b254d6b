#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when they are missing, then configures
# and builds one build tree.  Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
# Called by scripts/demo.sh and scripts/test.sh, so a fresh machine needs nothing by hand.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
shift || true

packages=(libxerces-c-dev libicu-dev libsqlite3-dev googletest libgtest-dev libgmock-dev
          libedit-dev cmake ninja-build g++ libc-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build"
