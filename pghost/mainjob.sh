#!/usr/bin/env bash
# The product's main job on PostgreSQL, on an already built tree: a throwaway PostgreSQL in a
# temporary directory (build/bin/quarnpg) with the extension installed from the build, the
# sample orders of samples/ copied where the server may read them, and the main job's
# extraction queries (pghost/mainjob.sql) run with psql.  The server is stopped and its
# directory removed at the end; nothing else is left behind.
# Usage: pghost/mainjob.sh [build-dir]   (pghost/demo.sh builds first, then runs this)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$here/build"}
echo "== The main job on a throwaway PostgreSQL"
"$build/bin/quarnpg" --files "$here/samples" -- psql -X -q -P pager=off -f "$here/pghost/mainjob.sql"
echo "== Done; the server is stopped and its temporary directory removed."
