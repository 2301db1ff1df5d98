#!/usr/bin/env bash
# Builds a program against the packaged rs232.h and librs232 through pkg-config and runs it.
set -euo pipefail
deb=$1 source=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
export PKG_CONFIG_SYSROOT_DIR=$root
export PKG_CONFIG_LIBDIR=$root/usr/lib/x86_64-linux-gnu/pkgconfig
# shellcheck disable=SC2046
cc -o "$root/open-on-pty" "$source" $(pkg-config --cflags --libs rs232)
LD_LIBRARY_PATH=$root/usr/lib/x86_64-linux-gnu "$root/open-on-pty"
