#!/usr/bin/env bash
# Installs the Debian packages the project builds with, when they are missing, then configures
# and builds one build tree.  Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
# Called by scripts/demo.sh and scripts/test.sh, so a fresh machine needs nothing by hand.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
shift || true

packages=(libxerces-c-dev libicu-dev libsqlite3-dev googletest libgtest-dev libgmock-dev
          libedit-dev cmake ninja-build g++ libc-bin locales postgresql-15)
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
updated=no
apt_install() {
  [ "$updated" = yes ] || { $sudo apt-get update -qq; updated=yes; }
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_install "${missing[@]}"
fi
# The PostgreSQL host (pghost/) builds against the server's own headers: the server-dev package
# of exactly the installed server's version (Debian keeps older point releases in its archive).
if ! installed postgresql-server-dev-15; then
  version=$(dpkg-query -W -f='${Version}' postgresql-15)
  echo "setup: installing postgresql-server-dev-15 $version"
  apt_install "postgresql-server-dev-15=$version" || apt_install postgresql-15 postgresql-server-dev-15
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
