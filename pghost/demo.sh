#!/usr/bin/env bash
# Builds the project (installing what is missing, PostgreSQL 15 and its server headers included)
# and runs the product's main job on a throwaway PostgreSQL (pghost/mainjob.sh).  Leaves behind
# only the build tree.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
"$here/pghost/mainjob.sh" "$here/build"
