#!/usr/bin/env bash
# Installs what is missing, builds and starts Porvane.
#   scripts/run.sh                 on the emulated link box (two demo cards)
#   scripts/run.sh --link auto     on the parallel port (ppdev, then raw I/O)
#   scripts/run.sh --link SPEC     any other link (see README)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build-run" -DCMAKE_BUILD_TYPE=Release -DPORVANE_WERROR=ON -DPORVANE_TESTS=OFF \
    -DPORVANE_BENCH=OFF

# Side files (RUD2.cfg and the rest) live in the folder the program starts in.
data=${PORVANE_HOME:-$HOME/.local/share/porvane}
mkdir -p "$data/box"
link_args=("$@")
if ((${#link_args[@]} == 0)); then
    # No hardware asked for: the emulated box. The program makes its two demo
    # cards (slot 1 with a few savers, slot 2 empty) when the folder has none.
    link_args=(--link "emulator:$data/box")
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "No display found: starting offscreen." >&2
    export QT_QPA_PLATFORM=offscreen
fi
cd "$data"
exec "$root/build-run/porvane" "${link_args[@]}"
