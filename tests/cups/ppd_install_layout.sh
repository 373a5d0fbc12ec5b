#!/bin/sh
# The build installed into a scratch DESTDIR: the filter and the PPDs land
# where CUPS looks for them, with the modes it wants.
set -u
ppd_dir=$2 cmake=$6 build=$7 serverbin=$8 datadir=$9
. "$(dirname "$0")/../server_lib.sh"
DESTDIR=$W "$cmake" --install "$build" >"$W/install.log" 2>&1 || { cat "$W/install.log"; die "cmake --install"; }
[ "$(stat -c %a "$W$serverbin/filter/rastertoNorvex")" = 755 ] || fail "no $serverbin/filter/rastertoNorvex of mode 0755"
expected=$(ls "$ppd_dir" | grep -c '\.ppd$')
installed=$(find "$W$datadir/model/norvex" -name '*.ppd' -perm 644 | wc -l)
[ "$expected" -gt 0 ] && [ "$installed" -eq "$expected" ] || fail "$installed of $expected PPD files of mode 0644 in $datadir/model/norvex"
exit "$FAILED"
