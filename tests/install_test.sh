#!/usr/bin/env bash
# Installs a build tree into a temporary prefix with `cmake --install` and runs the README's
# main job from the installed programs alone: nothing of the build tree on PATH or
# LD_LIBRARY_PATH, every installed program and library with a run path inside the prefix, and
# every library the job loads (the routine libraries the engine opens included) loaded from
# the prefix.  The prefix is removed at the end.
# Usage: tests/install_test.sh build-dir [cmake]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
cmake=${2:-cmake}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/quarninstall.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
prefix=$(realpath "$prefix")
build=$(realpath "$build")
fail() {
  echo "install test: $*" >&2
  exit 1
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null

# What a usable prefix holds.
for f in bin/quarn bin/keladm bin/kelmigv \
         lib/libquarnengine.so lib/libquarnapp.so lib/libquarncli.so lib/libquarnrds.so \
         lib/libquarnsys.so lib/libquarnxmlinit.so lib/libquarnxml.so lib/libquarnxmlfn.so \
         share/quarnxml/kel.cat \
         include/sqlca.h include/sqlda.h include/sqlcli.h include/sqlenv.h include/sqludf.h \
         include/sqlsystm.h include/quarnapp.h include/quarnxmlinit.h \
         share/doc/quarnxml/README.md share/doc/quarnxml/quarn/README.md \
         share/doc/quarnxml/docs/README.md share/doc/quarnxml/samples/order1.xml; do
  [ -e "$prefix/$f" ] || fail "missing $f"
done

# Programs find their libraries in ../lib, libraries beside themselves; nothing points back
# into the build tree.
for f in "$prefix"/bin/* "$prefix"/lib/*.so; do
  dynamic=$(readelf -d "$f")
  runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<<"$dynamic")
  case "$f:$runpath" in
    "$prefix"/bin/*:'$ORIGIN/../lib' | "$prefix"/lib/*:'$ORIGIN') ;;
    *) fail "$f has the run path '$runpath'" ;;
  esac
  if grep -q '(RPATH)' <<<"$dynamic"; then fail "$f has an RPATH"; fi
done

# The main job from the prefix, in an environment without the build tree; the dynamic loader
# reports every library it initialises.
log="$prefix/loader"
out=$(env -u LD_LIBRARY_PATH -u LD_PRELOAD -u QUARN_FUNCTION_DIR -u NLSPATH \
          PATH="$prefix/bin:/usr/bin:/bin" LD_DEBUG=libs LD_DEBUG_OUTPUT="$log" \
          "$here/scripts/mainjob.sh" "$prefix" 2>&1) || fail "the main job failed: $out"
for want in "KELA006I  The database DEMO was enabled successfully." "Tides of the North Sea" \
            "<item sku=\"B-02\" kind=\"book\"><title>Small Gardens</title>" "== Done"; do
  grep -qF "$want" <<<"$out" || fail "the main job's output lacks '$want': $out"
done
inits=$(cat "$log".* | sed -n 's/.*calling init: //p' | xargs -r realpath -m | sort -u)
if grep -F "$build" <<<"$inits"; then fail "libraries were loaded from the build tree"; fi
for lib in libquarnengine.so libquarnxml.so libquarnxmlfn.so; do
  grep -qxF "$prefix/lib/$lib" <<<"$inits" || fail "$lib was not loaded from the prefix"
done

version=$(env -u LD_LIBRARY_PATH "$prefix/bin/quarn" --version)
[[ "$version" == "quarn (quarnxml) "* ]] || fail "quarn --version printed '$version'"
echo "install test: the prefix works on its own"
