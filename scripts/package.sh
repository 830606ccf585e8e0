#!/usr/bin/env bash
# Builds the Debian package of Porvane and checks it:
#   scripts/package.sh              build/porvane_VERSION_ARCH.deb in build-package/
# The staged installation is validated (desktop entry, AppStream metainfo) and
# the package is checked with lintian; any error fails the script.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
extra=(dpkg-dev lintian appstream desktop-file-utils)
missing=()
for p in "${extra[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi

build="$root/build-package"
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DPORVANE_WERROR=ON -DPORVANE_TESTS=OFF -DPORVANE_BENCH=OFF

stage="$build/stage"
rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" >/dev/null
desktop-file-validate "$stage"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$stage"/usr/share/metainfo/*.metainfo.xml

(cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
lintian --fail-on error "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error "$deb" >/dev/null 2>&1
echo "$deb"
