#!/bin/sh
# Installs the build into a scratch DESTDIR and checks that the filter and the
# PPDs land where CUPS looks for them.
# Usage: install_layout.sh CMAKE BUILD_DIR SERVERBIN DATADIR PPD_DIR
set -u
cmake=$1 build=$2 serverbin=$3 datadir=$4 ppd_dir=$5

dest=$(mktemp -d) || exit 1
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$cmake" --install "$build" >"$dest.log" 2>&1
status=$?
cat "$dest.log"; rm -f "$dest.log"
[ "$status" -eq 0 ] || { echo "FAIL: cmake --install exited with $status"; exit 1; }

failed=0
filter=$dest$serverbin/filter/rastertoNorvex
if [ ! -f "$filter" ] || [ "$(stat -c %a "$filter")" != 755 ]; then
  echo "FAIL: $serverbin/filter/rastertoNorvex missing or not mode 0755"; failed=1
fi
count_ppds() {
  n=0
  for f in "$1"/*.ppd; do [ -f "$f" ] && n=$((n + 1)); done
  echo "$n"
}
expected=$(count_ppds "$ppd_dir")
installed=$(count_ppds "$dest$datadir/model/norvex")
if [ "$expected" -eq 0 ] || [ "$installed" -ne "$expected" ]; then
  echo "FAIL: $installed of $expected PPD files in $datadir/model/norvex"; failed=1
fi
for ppd in "$dest$datadir"/model/norvex/*.ppd; do
  [ "$(stat -c %a "$ppd")" = 644 ] || { echo "FAIL: $ppd is not mode 0644"; failed=1; }
done
[ "$failed" -eq 0 ] && echo "PASS: filter in $serverbin/filter, $installed PPD files in $datadir/model/norvex"
exit "$failed"
