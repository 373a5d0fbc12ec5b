#!/bin/sh
# The build installed into a scratch DESTDIR: the filter and the PPDs land
# where CUPS looks for them, with the modes it wants.
# Usage: install_layout.sh CMAKE BUILD_DIR SERVERBIN DATADIR PPD_DIR
set -u
cmake=$1 build=$2 serverbin=$3 datadir=$4 ppd_dir=$5
dest=$(mktemp -d) || exit 1
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$cmake" --install "$build" >"$dest/install.log" 2>&1 || { cat "$dest/install.log"; echo "FAIL: cmake --install"; exit 1; }
failed=0
[ "$(stat -c %a "$dest$serverbin/filter/rastertoNorvex")" = 755 ] || { echo "FAIL: no $serverbin/filter/rastertoNorvex of mode 0755"; failed=1; }
expected=$(ls "$ppd_dir" | grep -c '\.ppd$')
installed=$(find "$dest$datadir/model/norvex" -name '*.ppd' -perm 644 | wc -l)
[ "$expected" -gt 0 ] && [ "$installed" -eq "$expected" ] || { echo "FAIL: $installed of $expected PPD files of mode 0644 in $datadir/model/norvex"; failed=1; }
exit "$failed"
