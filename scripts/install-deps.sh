#!/usr/bin/env bash
# Installs the Debian 12 packages Porvane builds with, when they are missing.
set -euo pipefail
# clang builds the programs a second time in scripts/test.sh; with
# libclang-rt-14-dev (libFuzzer's runtime for Debian's clang 14) it builds the
# fuzz targets of scripts/fuzz.sh. clang-tidy is for scripts/tidy.sh.
packages=(build-essential cmake qt6-base-dev libgl-dev libgtest-dev libgmock-dev
          libbenchmark-dev clang libclang-rt-14-dev clang-tidy)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
