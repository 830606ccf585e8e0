#!/usr/bin/env bash
# Installs a Porvane package on a fresh Debian 12 made with debootstrap (needs
# root and Debian's mirror) and runs the installed programs there:
#   scripts/check-deb-install.sh build-package/porvane_0.1_amd64.deb [ROOTFS]
set -euo pipefail
deb=$(realpath "$1")
rootfs=${2:-/tmp/porvane-deb12}
command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
[[ -x "$rootfs/usr/bin/apt-get" ]] ||
    debootstrap --variant=minbase bookworm "$rootfs" http://deb.debian.org/debian >/dev/null
cp "$deb" "$rootfs/tmp/"
chroot "$rootfs" /bin/sh -ec "
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq /tmp/$(basename "$deb") >/dev/null
    porvane --version
    porvane-cli --version
    porvane-cli new --force /tmp/card.DCM && porvane-cli list /tmp/card.DCM
    QT_QPA_PLATFORM=offscreen timeout 5 porvane --link emulator:/tmp/box >/dev/null 2>&1 || [ \$? = 124 ]
    ls /tmp/box
    # The menu's start: the desktop entry's command line, without a file.
    cmd=\$(sed -n 's/^Exec=//p' /usr/share/applications/io.github.porvane.Porvane.desktop | sed 's/ %f//')
    mkdir -p /tmp/home && cd /
    rm -rf /tmp/home/.local && HOME=/tmp/home QT_QPA_PLATFORM=offscreen timeout 5 \$cmd >/dev/null 2>&1 || [ \$? = 124 ]
    ls /tmp/home/.local/share/porvane
"
echo "installed and ran on a fresh Debian 12 in $rootfs"
