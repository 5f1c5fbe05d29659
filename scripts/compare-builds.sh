#!/usr/bin/env bash
# Runs vexa-check of two builds on the same maps and compares what they give:
# the finding lines on stdout, the exit status, and Chyby.DBF byte for byte
# except the date of its last change (header bytes 2-4).
#
#   scripts/compare-builds.sh OLD_BUILD_DIR NEW_BUILD_DIR [MAPDIR...]
#
# Without maps: the sample map of the new build and a one-block benchmark map
# made by the new build's generator. Exit status 0 when every run is the same.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "Usage: $0 OLD_BUILD_DIR NEW_BUILD_DIR [MAPDIR...]" >&2
  exit 2
fi
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

maps=("$@")
if [ ${#maps[@]} -eq 0 ]; then
  maps=("$new/examples/map")
  "$new/bin/vexa-bench-gen" "$work/bench" 1 >/dev/null
  maps+=("$work/bench")
fi

# Every check of the window's "vyber všetky" except the repairs, which change the map.
options=(--lines 63 --points 3 --texts 3 --areas 7 --db 1 --length-limit 1 --area-limit 100)
status=0
for map in "${maps[@]}"; do
  for side in old new; do
    build=$old
    [ $side = new ] && build=$new
    rm -rf "$work/$side"
    cp -r "$map" "$work/$side"
    set +e
    "$build/bin/vexa-check" --standard "$new/bin/StandardGXD.mdb" "${options[@]}" "$work/$side" \
      >"$work/$side.out" 2>"$work/$side.err"
    echo $? >"$work/$side.status"
    set -e
    # The summary line names the map directory, which differs between the two copies.
    sed -i "s|$work/$side|MAP|g" "$work/$side.out"
    if [ -f "$work/$side/Chyby.DBF" ]; then
      # Bytes 2-4 hold the date of the last change.
      python3 - "$work/$side/Chyby.DBF" "$work/$side.dbf" <<'EOF'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
data[1:4] = b"\0\0\0"
open(sys.argv[2], "wb").write(data)
EOF
    else
      : >"$work/$side.dbf"
    fi
  done
  same=yes
  cmp -s "$work/old.status" "$work/new.status" || same=no
  cmp -s "$work/old.out" "$work/new.out" || same=no
  cmp -s "$work/old.dbf" "$work/new.dbf" || same=no
  lines=$(wc -l <"$work/new.out")
  echo "$map: exit $(cat "$work/new.status"), $lines lines, Chyby.DBF $(stat -c %s "$work/new.dbf") bytes: same=$same"
  if [ $same = no ]; then
    status=1
    diff "$work/old.out" "$work/new.out" | head -20 || true
  fi
done
exit $status
