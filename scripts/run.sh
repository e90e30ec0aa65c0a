#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the program from its installation folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
if [ -x "$build/dist/vx" ]; then
  exec "$build/dist/vx" "$@"
fi
echo "Built everything into $build; the vx program itself is not part of the tree yet."
