#!/usr/bin/env bash
# Builds the Debian package of a build tree with CPack into a temporary directory, checks what
# it holds and what it depends on, unpacks it and runs SQL with the unpacked console.  Nothing
# is left behind.
# Usage: tests/package_test.sh build-dir [cpack]
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
work=$(mktemp -d "${TMPDIR:-/tmp}/quarnpackage.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "package test: $*" >&2
  exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
deb=$(ls "$work"/out/quarnxml_*.deb)

contents=$(dpkg-deb -c "$deb")
for f in bin/quarn lib/libquarnengine.so lib/libquarnapp.so lib/libquarncli.so lib/libquarnxml.so \
         lib/libquarnxmlfn.so share/quarnxml/kel.cat include/sqlcli.h share/doc/quarnxml/README.md; do
  grep -q " \./opt/quarnxml/$f\$" <<<"$contents" || fail "the package lacks /opt/quarnxml/$f"
done
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libsqlite3-0 libxerces-c3.2 libicu72 libedit2; do
  grep -q "$dep" <<<"$depends" || fail "the package does not depend on $dep: $depends"
done

# Unpacked anywhere, the console runs from its own directory tree.
dpkg-deb -x "$deb" "$work/root"
quarn="$work/root/opt/quarnxml/bin/quarn"
export QUARNPATH="$work/instance"
env -u LD_LIBRARY_PATH "$quarn" "CREATE DATABASE pkg" >/dev/null || fail "CREATE DATABASE failed"
rows=$(env -u LD_LIBRARY_PATH "$quarn" -d pkg --csv --no-header "VALUES 'unpacked'; VALUES 1 + 1")
[ "$rows" = $'unpacked\n2' ] || fail "the unpacked console answered '$rows'"
echo "package test: $(basename "$deb") holds a working installation"
