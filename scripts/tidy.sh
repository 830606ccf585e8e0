#!/usr/bin/env bash
# scripts/tidy.sh [FILE...]: runs clang-tidy (checks in .clang-tidy) over the
# Qt-free core, or over the files given. Configures its own folder for the
# compile commands; nothing is built. Exits non-zero on any finding.
# Not part of scripts/test.sh: a full run takes minutes.
#   PORVANE_TIDY_BUILD  that folder (default build-tidy)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PORVANE_TIDY_BUILD:-$root/build-tidy}
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DPORVANE_GUI=OFF -DPORVANE_TESTS=OFF -DPORVANE_BENCH=OFF >/dev/null
if (($#)); then
    files=("$@")
else
    mapfile -t files < <(cd "$root" && find src/base src/link src/card src/settings src/tools \
        -name '*.cpp' -not -path '*/qt/*' | sort)
fi
cd "$root"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${files[@]}" | xargs -P"$(nproc)" -n4 clang-tidy -p "$build" --quiet \
    >"$log" 2>/dev/null || true
if grep -q 'warning:\|error:' "$log"; then
    cat "$log"
    echo "clang-tidy: $(grep -c 'warning:\|error:' "$log") findings" >&2
    exit 1
fi
echo "clang-tidy: ${#files[@]} files clean"
