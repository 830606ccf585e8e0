#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once plain, once with
# AddressSanitizer and UBSan.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
"$root/scripts/build.sh" "$root/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPORVANE_WERROR=ON
"$root/scripts/build.sh" "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DPORVANE_SANITIZE=ON -DPORVANE_WERROR=ON \
    -DPORVANE_BENCH=OFF
status=0
echo "== tests =="
(cd "$root/build-test" && ctest --output-on-failure -j2) || status=1
echo "== tests with AddressSanitizer and UBSan =="
(cd "$root/build-asan" && ctest --output-on-failure -j2) || status=1
exit $status
