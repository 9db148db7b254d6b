#!/usr/bin/env bash
# Builds the project (installing what is missing) and runs the product's main job on the
# embedded engine (scripts/mainjob.sh): a database enabled for XML, sample orders stored in XML
# columns, questions answered with the extract functions.  Leaves behind only the build tree.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
"$here/scripts/mainjob.sh" "$here/build"
