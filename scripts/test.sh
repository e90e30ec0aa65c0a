#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite headless.
# Extra arguments go to ctest (e.g. -L dbengine-storage, -R Cp1250).
# `test.sh --sanitize [ctest arguments]` does the same with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-sanitize/ (or $VX_SANITIZE_BUILD_DIR); the seed corpora of the fuzz targets are replayed
# there too, through the plain replay driver.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
config=()
timeout=600
if [ "${1:-}" = "--sanitize" ]; then
  shift
  # The slowest test takes half a minute under the sanitizers: a test still running after five has
  # hung (a child process that aborted, say) and must not eat the CI's time.
  timeout=300
  build=${VX_SANITIZE_BUILD_DIR:-$root/build-sanitize}
  # -O1 as the sanitizers advise; line tables are enough for the reports' stack traces and keep the
  # build short. The instrumented code makes the compiler's may-be-uninitialized analysis guess
  # wrong inside the standard library; the default build keeps that warning.
  config=(-DVX_SANITIZE=ON -DVX_BENCH=OFF -DCMAKE_BUILD_TYPE=Sanitize
          "-DCMAKE_CXX_FLAGS_SANITIZE=-O1 -g1 -Wno-maybe-uninitialized" "-DCMAKE_C_FLAGS_SANITIZE=-O1 -g1")
  # The build runs its own tools (archives, pictures) under the sanitizers as well.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
else
  build=${VX_BUILD_DIR:-$root/build}
fi
VX_BUILD_DIR=$build "$root/scripts/build.sh" "${config[@]}"

# Tests never touch the user's settings or the real temporary folder.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/config" "$scratch/tmp"
export XDG_CONFIG_HOME="$scratch/config" TMPDIR="$scratch/tmp"
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
# Rendered text is compared with kept pictures: only the program's own fonts take part.
export FONTCONFIG_FILE="$root/cmake/test-fonts.conf"

cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout "$timeout" "$@"
