#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite headless.
# Extra arguments go to ctest (e.g. -L dbengine-storage, -R Cp1250).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_BUILD_DIR:-$root/build}
"$root/scripts/build.sh"

# Tests never touch the user's settings or the real temporary folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/tmp"
export XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 600 "$@"
