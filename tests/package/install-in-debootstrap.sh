#!/usr/bin/env bash
# By hand, as root: installs the package into a fresh Debian 12 root with its dependencies and
# runs pulsedesk --version there. Usage: install-in-debootstrap.sh [deb] [root folder]
set -euo pipefail
cd "$(dirname "$0")/../.."
deb=$(realpath "${1:-build/pulsedesk_1.12_amd64.deb}")
root=${2:-$(mktemp -d /var/tmp/pulsedesk-bookworm-XXXXXX)}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
[ -x "$root/bin/sh" ] || debootstrap --variant=minbase bookworm "$root" "$mirror"
cp "$deb" "$root/tmp/"
chroot "$root" apt-get install -y -q --no-install-recommends "/tmp/$(basename "$deb")"
chroot "$root" pulsedesk --version
chroot "$root" sh -c 'ldconfig -p | grep -E "lib(rs232|muxclient)\.so "'
chroot "$root" dpkg -s pulsedesk | grep -E '^(Status|Depends):'
echo "root kept in $root"
