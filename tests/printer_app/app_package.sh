#!/bin/sh
# cpack's Debian package: its files, dependencies and unit checked with
# dpkg-deb, then, for a build configured for /usr, the whole package with
# lintian. Exit 77 (skipped) when the files are right but the prefix is not
# /usr: such a package is for this machine only, and lintian rejects it whole.
set -u
BUILD=$6 PREFIX=$7 SERVERBIN=$8 DATADIR=$9
. "$(dirname "$0")/../server_lib.sh"
# The lintian tags the package keeps, each overridden with its reason in packaging/lintian-overrides.
EXPLAINED="initial-upload-closes-no-bugs"
for tool in dpkg-shlibdeps lintian man; do command -v $tool >/dev/null 2>&1 || die "$tool not installed"; done

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$W" >"$W/cpack.log" 2>&1 || { cat "$W/cpack.log"; die cpack; }
deb=$(ls "$W"/norvex_*.deb) || die "no package"
dpkg-deb -c "$deb" | awk '{ sub(/^\.\//, "/", $6); print $1, $6 }' >"$W/modes"
for f in "$SERVERBIN/filter/rastertoNorvex" "$PREFIX/bin/norvexdecode" "$PREFIX/sbin/norvex-printer-app" \
  "$PREFIX/lib/systemd/system/norvex-printer-app.service" "$DATADIR/model/norvex/norvex-orvane-210.ppd" \
  "$DATADIR/model/norvex/norvex-kavrin.ppd" "$PREFIX/share/man/man8/rastertoNorvex.8.gz" \
  "$PREFIX/share/man/man1/norvexdecode.1.gz" "$PREFIX/share/man/man8/norvex-printer-app.8.gz"; do
  grep -q " $f$" "$W/modes" || fail "package lacks $f"
done
# The decoder is installed once, for users, not among CUPS's filters.
! grep -q " $SERVERBIN/filter/norvexdecode$" "$W/modes" || fail "package has a norvexdecode in $SERVERBIN/filter"
# Where CUPS looks for them, with the modes it wants.
grep -q -x -- "-rwxr-xr-x $SERVERBIN/filter/rastertoNorvex" "$W/modes" || fail "the filter's mode is not 0755"
[ "$(grep -c "^-rw-r--r-- $DATADIR/model/norvex/.*\.ppd$" "$W/modes")" -eq 50 ] || fail "not 50 PPDs of mode 0644"
! grep -q -E 'gtest|benchmark|/include/' "$W/modes" || fail "package carries test or development files"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libcups2 libjbig0 libpappl1 ghostscript; do
  echo "$depends" | grep -q "$dep" || fail "Depends lacks $dep: $depends"
done
dpkg-deb --fsys-tarfile "$deb" | tar -xO ".$PREFIX/lib/systemd/system/norvex-printer-app.service" |
  grep -q "^ExecStart=$PREFIX/sbin/norvex-printer-app server" || fail "the unit does not start $PREFIX/sbin/norvex-printer-app"
if [ "$PREFIX" != /usr ]; then
  [ "$FAILED" -eq 0 ] || exit 1
  say "SKIP: lintian (configure with -DCMAKE_INSTALL_PREFIX=/usr for a Debian package); files and Depends right"
  exit 77
fi

# Any error fails, and any warning, shown or overridden, not in EXPLAINED.
lintian --no-cfg --fail-on none --show-overrides "$deb" >"$W/lintian" 2>&1 || fail "lintian did not run"
cat "$W/lintian"
! grep -q '^E: ' "$W/lintian" || fail "lintian errors"
for tag in $(sed -n 's/^[WO]: [^ ]* \([^ ]*\).*/\1/p' "$W/lintian"); do
  case " $EXPLAINED " in *" $tag "*) ;; *) fail "lintian warning $tag is not explained" ;; esac
done
exit "$FAILED"
