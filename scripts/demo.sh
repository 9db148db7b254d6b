#!/usr/bin/env bash
# Builds the project (installing what is missing) and runs the product's main job on the
# embedded engine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
echo "The embedded database engine is not built yet, so there is no SQL session to show."
echo "The libraries and the message catalogue were built into $here/build."
