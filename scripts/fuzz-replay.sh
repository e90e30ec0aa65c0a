#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan, and replays their seed corpora.
# With a target name and seconds (e.g. `fuzz-replay.sh --run dat_fuzzer 300`) it fuzzes that target instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_FUZZ_BUILD_DIR:-$root/build-fuzz}
"$root/scripts/install-deps.sh"
if ! grep -rqs --include=CMakeLists.txt vx_add_fuzzer "$root" --exclude-dir='build*' \
     --exclude-dir=cmake; then
  echo "fuzz-replay: no fuzz targets yet"
  exit 0
fi
# Only the folders that hold fuzz targets and what they link are needed.
subs=$(cd "$root" && grep -rl --include=CMakeLists.txt vx_add_fuzzer --exclude-dir='build*' --exclude-dir=cmake . |
       sed -e 's|^\./||' -e 's|/fuzz/CMakeLists.txt$||' -e 's|/CMakeLists.txt$||' | sort -u | tr '\n' ';')
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVX_FUZZ=ON -DVX_TESTS=OFF -DVX_BENCH=OFF "-DVX_SUBSYSTEMS=platform/core;platform/data;platform/gui;platform/sound;dbengine/storage;dbengine/sql;${subs}" >/dev/null
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
if [ "${1:-}" = "--run" ]; then
  target=$2; seconds=${3:-60}
  corpus=$(ctest --test-dir "$build" -N -V -R "fuzz-replay.$target\$" | sed -n 's/.*Test command: .* -runs=0 //p' | head -1)
  exec "$build/$(cd "$build" && find . -name "$target" -type f -executable | head -1)" -max_total_time="$seconds" "$corpus"
fi
cd "$build"
ctest --output-on-failure -j "$(nproc)" -L fuzz
