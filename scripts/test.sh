#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in a Release
# build (as distributions build it), once with AddressSanitizer and UBSan;
# builds the three programs with clang too (its warnings differ from gcc's);
# then runs each fuzz target for a short while.
#   PORVANE_TEST_BUILD, PORVANE_ASAN_BUILD, PORVANE_CLANG_BUILD,
#   PORVANE_FUZZ_BUILD  build folders (default build-test, build-asan,
#   build-clang, build-fuzz)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
test_build=${PORVANE_TEST_BUILD:-$root/build-test}
asan_build=${PORVANE_ASAN_BUILD:-$root/build-asan}
"$root/scripts/build.sh" "$test_build" -DCMAKE_BUILD_TYPE=Release -DPORVANE_WERROR=ON
"$root/scripts/build.sh" "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DPORVANE_SANITIZE=ON -DPORVANE_WERROR=ON \
    -DPORVANE_BENCH=OFF
clang_build=${PORVANE_CLANG_BUILD:-$root/build-clang}
cmake -S "$root" -B "$clang_build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
    -DPORVANE_WERROR=ON -DPORVANE_TESTS=OFF -DPORVANE_BENCH=OFF >/dev/null
cmake --build "$clang_build" -j"$(nproc)" --target porvane porvane-cli porvane-linkbox
status=0
echo "== tests =="
(cd "$test_build" && ctest --output-on-failure -j2) || status=1
echo "== tests with AddressSanitizer and UBSan =="
(cd "$asan_build" && ctest --output-on-failure -j2) || status=1
echo "== fuzz targets, 10 s each =="
"$root/scripts/fuzz.sh" 10 || status=1
exit $status
