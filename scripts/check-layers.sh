#!/usr/bin/env bash
# Fails when a file of a lower layer includes one of a higher layer. The layers, from the bottom:
#   platform/  ->  tutor/ (leaf services)  ->  dbengine/ remarkor/ controls/ htmlview/ dx/
#   ->  tutor/core/  ->  games/  ->  tutor/app/
# Usage: check-layers.sh [source root]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
status=0

# check <files...> -- <forbidden include prefixes...>
check() {
  local files=() forbidden=() seen_sep=0
  for a in "$@"; do
    if [ "$a" = "--" ]; then seen_sep=1; continue; fi
    if [ $seen_sep = 0 ]; then files+=("$a"); else forbidden+=("$a"); fi
  done
  [ ${#files[@]} -eq 0 ] && return
  for p in "${forbidden[@]}"; do
    local hits
    hits=$(grep -Hn "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"$p" "${files[@]}" 2>/dev/null)
    if [ -n "$hits" ]; then
      echo "$hits" | sed "s|\$|   <- must not include $p|"
      status=1
    fi
  done
}

sources() {  # the C++ files under a folder (optionally only its top level)
  local dir=$1 depth=${2:-}
  [ -d "$dir" ] || return
  if [ "$depth" = top ]; then
    find "$dir" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' \)
  else
    find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \)
  fi
}

mapfile -t platform < <(sources platform)
mapfile -t leaf < <(sources tutor top; sources tutor/tests; sources tutor/fuzz)
mapfile -t middle < <(for d in dbengine remarkor controls htmlview dx; do sources $d; done)
mapfile -t core < <(sources tutor/core)
mapfile -t games < <(sources games)

check "${platform[@]}" -- tutor/ dbengine/ remarkor/ controls/ htmlview/ dx/ games/
check "${leaf[@]}" -- tutor/core/ tutor/app/ games/ controls/ htmlview/ dx/ dbengine/
check "${middle[@]}" -- tutor/core/ tutor/app/ games/
check "${core[@]}" -- tutor/app/ games/ controls/ htmlview/ dx/
check "${games[@]}" -- tutor/app/

if [ $status = 0 ]; then echo "layers: every include points downwards"; fi
exit $status
