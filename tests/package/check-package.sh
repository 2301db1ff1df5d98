#!/usr/bin/env bash
# Inspects the built package: files, control fields, conffiles, sonames, the desktop entry and
# lintian. Every finding is printed; the exit code is the number of failed checks (capped).
set -uo pipefail
deb=$1 bindir=$2
root=$(mktemp -d)
control=$(mktemp -d)
trap 'rm -rf "$root" "$control"' EXIT
dpkg-deb -x "$deb" "$root" && dpkg-deb -e "$deb" "$control" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
multiarch=usr/lib/x86_64-linux-gnu

programs=(pulsedesk pulsesim muxserver rs232-status)
[ -x "$bindir/pulsectl" ] && programs+=(pulsectl)
[ -x "$bindir/pulseplot" ] && programs+=(pulseplot)
expected=(etc/pulsedesk/pulsedesk.cfg usr/share/pulsedesk/pulsedesk.msg
          usr/include/rs232/rs232.h $multiarch/pkgconfig/rs232.pc
          usr/share/applications/pulsedesk.desktop usr/share/icons/hicolor/64x64/apps/pulsedesk.png
          usr/share/doc/pulsedesk/copyright usr/share/doc/pulsedesk/changelog.gz
          lib/systemd/system/muxserver@.service)
for p in "${programs[@]}"; do expected+=("usr/bin/$p" "usr/share/man/man1/$p.1.gz"); done
for lib in librs232 libmuxclient; do
  expected+=("$multiarch/$lib.so" "$multiarch/$lib.so.1")
done
listing=$(dpkg-deb -c "$deb")
for f in "${expected[@]}"; do
  grep -q " \./$f\( ->\|$\)" <<<"$listing" || fail "missing from dpkg-deb -c: /$f"
done
grep -v '^d' <<<"$listing" | grep -qv ' root/root ' && fail "a file not owned by root"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = pulsedesk ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$(basename "$deb" | cut -d_ -f2)" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
for dep in libc6 libqt6widgets6 libstdc++6; do
  grep -q "\b$dep (>= " <<<"$(field Depends)" || fail "Depends lacks $dep: $(field Depends)"
done
for dep in fonts-liberation qt6-qpa-plugins; do
  grep -q "\b$dep\b" <<<"$(field Depends)" || fail "Depends lacks $dep: $(field Depends)"
done
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description"

[ "$(cat "$control/conffiles")" = /etc/pulsedesk/pulsedesk.cfg ] ||
  fail "conffiles: $(cat "$control/conffiles")"
grep -qx 'activate-noawait ldconfig' "$control/triggers" || fail "no ldconfig trigger"

for lib in librs232 libmuxclient; do
  soname=$(readelf -d "$root/$multiarch/$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$lib.so.1" ] || fail "$lib soname: '$soname'"
  grep -q "^$lib 1 pulsedesk" "$control/shlibs" || fail "shlibs lacks $lib"
done
for p in "${programs[@]}"; do
  readelf -d "$root/usr/bin/$p" | grep -qE '\((RUNPATH|RPATH)\)' && fail "$p keeps a build RUNPATH"
done
readelf -d "$root/usr/bin/rs232-status" | grep -q 'NEEDED.*\[librs232.so.1\]' ||
  fail "rs232-status does not need librs232.so.1"

desktop-file-validate "$root/usr/share/applications/pulsedesk.desktop" || fail "desktop entry"

lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges')
echo "$lintian_out"
grep -q '^E:' <<<"$lintian_out" && fail "lintian reports errors"

echo "$failures failed check(s)"
[ "$failures" -eq 0 ]
