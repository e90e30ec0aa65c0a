#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UBSan, and replays their seed corpora.
# `fuzz-replay.sh --run TARGET SECONDS` fuzzes one target for real instead, growing nothing in the repo
# (new inputs go to a scratch folder; copy the interesting ones into the seed corpus by hand).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VX_FUZZ_BUILD_DIR:-$root/build-fuzz}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVX_FUZZ=ON -DVX_TESTS=OFF -DVX_BENCH=OFF >/dev/null

# The fuzz targets are the programs behind the replay tests; build only them and what they link.
mapfile -t targets < <(ctest --test-dir "$build" -N -L fuzz | sed -n 's/.*Test *#[0-9]*: fuzz-replay\.//p')
if ((${#targets[@]} == 0)); then
  echo "fuzz-replay: no fuzz targets yet"
  exit 0
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
if [ "${1:-}" = "--run" ]; then
  target=$2 seconds=${3:-60}
  exe=$(find "$build" -name "$target" -type f -executable | head -1)
  command=$(ctest --test-dir "$build" -N -V -R "^fuzz-replay\.$target\$")
  corpus=$(sed -n 's/.*-runs=0"\{0,1\} "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' <<<"$command" | head -1)
  max_len=$(sed -n 's/.*-max_len=\([0-9]*\).*/\1/p' <<<"$command" | head -1)
  scratch=$(mktemp -d)
  exec "$exe" -max_len="${max_len:-65536}" -max_total_time="$seconds" "$scratch" "$corpus"
fi
cd "$build"
ctest --output-on-failure -j "$(nproc)" -L fuzz
