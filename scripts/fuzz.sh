#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds the libFuzzer targets (clang, AddressSanitizer
# and UBSan) and runs each for SECONDS (default 60) on seeds made by the
# program's own writers. A crash, hang or leak stops that target, keeps the
# input under BUILD/findings/TARGET/ and fails the script.
#   PORVANE_FUZZ_BUILD  build folder (default build-fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
    echo "usage: scripts/fuzz.sh [SECONDS]" >&2
    exit 2
fi
build=${PORVANE_FUZZ_BUILD:-$root/build-fuzz}
"$root/scripts/build.sh" "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPORVANE_FUZZ=ON -DPORVANE_GUI=OFF -DPORVANE_TESTS=OFF -DPORVANE_BENCH=OFF -DPORVANE_WERROR=ON

# The targets' own files go to memory files and a private folder under TMPDIR,
# which is this run's and goes at the end whatever happens. In memory when
# possible: rewriting a small file thousands of times a second on a disk's
# file system costs a flush each time.
base=${TMPDIR:-/tmp}
[[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
tmp=$(mktemp -d "$base/porvane-fuzz-run.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
export TMPDIR=$tmp
rm -rf "$build/seeds"
"$build/fuzz/fuzz_make_seeds" "$build/seeds"

# Longest input per target: a whole card, a long link conversation, a saver.
declare -A max_len=([card_image]=131072 [dci_import]=131104 [bmp]=8192 [config]=1024
                    [disasm]=40000 [socket_link]=32768)
status=0
for target in card_image dci_import bmp config disasm socket_link; do
    corpus=$build/corpus/$target
    findings=$build/findings/$target
    log=$build/fuzz-$target.log
    mkdir -p "$corpus" "$findings"
    if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="${max_len[$target]}" \
        -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "$build/seeds/$target" >"$log" 2>&1; then
        result="no finding"
    else
        result="FINDING (see $log and $findings/)"
        status=1
    fi
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
    printf '%-12s %8s runs in %ss, coverage %s: %s\n' "$target" "$runs" "$seconds" "$cover" "$result"
done
exit $status
