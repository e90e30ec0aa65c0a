#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when they are missing.
# Idempotent: on a ready machine it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  clang libclang-rt-14-dev            # fuzz targets and sanitizer builds
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev
  qt6-svg-dev                         # the build renders the interface pictures from SVG
  libsdl2-dev
  libfontconfig-dev                   # the program chooses its own Liberation fonts
  zlib1g-dev libjpeg-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev                      # comparison peer: SQL differential test and benchmark
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation2
  xvfb xauth
  wpolish hunspell hunspell-pl        # Polish word list and spelling dictionary of the content checks
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "install-deps: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
