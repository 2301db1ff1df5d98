#!/usr/bin/env bash
# Fails on an include of our own that a folder's README does not allow: each product folder's
# README says "May use: ..." (folders like link/ or reports/, or one header such as
# plot/Chart.h); every `#include "folder/..."` of another folder must be among them.
set -euo pipefail
cd "$(dirname "$0")/.."
folders=(fileio link config display reports analysis journal plot ctl dialogs app sim mux rs232)
status=0
for folder in "${folders[@]}"; do
  readme=$folder/README.md
  # The "May use" sentence, however it is wrapped, up to its first full stop.
  allowed=$(tr '\n' ' ' <"$readme" | grep -o 'May use:\? [^.]*\(\.[a-z][^.]*\)*' | head -1 |
            grep -o '[a-z0-9]*/[A-Za-z]*\(\.h\)\?' || true)
  if [ -z "$(tr '\n' ' ' <"$readme" | grep -o 'May use' || true)" ]; then
    echo "$readme: no \"May use\" line" >&2; status=1; continue
  fi
  while IFS=: read -r file _ include; do
    used=${include#*\"}; used=${used%\"*}
    target=${used%%/*}
    [ "$target" = "$folder" ] || [ "$target" = version ] && continue
    [ -d "$target" ] || continue  # not one of our folders (a system or Qt header)
    if ! grep -qxF -e "$target/" -e "$used" <<<"$allowed"; then
      echo "$file: includes $used, which $readme does not allow" >&2
      status=1
    fi
  done < <(grep -rn --include='*.cpp' --include='*.h' --include='*.c' '^#include "[a-z0-9]*/' "$folder" || true)
done
exit $status
