#!/bin/sh
# The generated PPDs. The build-time PPD check fails on each kind of mismatch:
# a copy of the generated PPDs passes, each spoilt copy must not, and says why.
# Then cupstestppd on every generated PPD, with the built filter where CUPS
# looks for it: no FAIL and no warning but 'Size "A4" should be the Adobe
# standard name "A4.Fullbleed"'. The filter matches the size names against the
# "PageSize" option, and every size declares the whole sheet imageable (the
# filter crops it for the printer), which cupstestppd expects only of
# ".Fullbleed" names.
set -u
filter=$1 ppd_dir=$2 ppdcheck=$3
. "$(dirname "$0")/../server_lib.sh"
cp -r "$ppd_dir" "$W/ppd"
"$ppdcheck" "$W/ppd" || die "ppdcheck rejects the generated PPDs"
# Rows: the message wanted | the sed script spoiling norvex-kavrin.ppd (empty: the file removed).
while IFS='|' read -r message script; do
  rm -rf "$W/ppd" && cp -r "$ppd_dir" "$W/ppd"
  if [ -n "$script" ]; then sed -i "$script" "$W/ppd/norvex-kavrin.ppd"; else rm "$W/ppd/norvex-kavrin.ppd"; fi
  "$ppdcheck" "$W/ppd" >"$W/out.txt" 2>&1 && fail "ppdcheck accepts $script"
  grep -q -F "$message" "$W/out.txt" || fail "ppdcheck does not say \"$message\": $(cat "$W/out.txt")"
done <<'ROWS'
is not in the filter's model list|s/^\*ModelName: "Norvex Kavrin Series"/*ModelName: "Norvex Kavrin series"/
page size A4 (595 x 843 points) maps to no table row|s/^\*PaperDimension A4\/A4: "595 842"/*PaperDimension A4\/A4: "595 843"/
page size A4x (595 x 842 points) maps to table row A4|s/^\*\(PageSize\|PageRegion\|ImageableArea\|PaperDimension\) A4\//*\1 A4x\//
page size Letter does not declare the whole sheet imageable|s/^\*ImageableArea Letter\/Letter: .*/*ImageableArea Letter\/Letter: "12 12 600 780"/
cupsManualCopies is True|s/^\*cupsManualCopies: False/*cupsManualCopies: True/
PlatForm is "PLATFORM_M"|s/^\*cupsIPPReason PlatForm\/PLATFORM_Z:/*cupsIPPReason PlatForm\/PLATFORM_M:/
model "Norvex Kavrin Series" has 0 PPD files|
ROWS

command -v cupstestppd >/dev/null 2>&1 || die "cupstestppd not installed (cups-client)"
set -- "$ppd_dir"/*.ppd
# As root, cupstestppd also checks the filter's owner and mode, as cupsd would.
mkdir -p "$W/serverbin/filter" && chmod 0755 "$W/serverbin" "$W/serverbin/filter" &&
  install -m 0755 "$filter" "$W/serverbin/filter/rastertoNorvex" || exit 1
CUPS_SERVERBIN=$W/serverbin cupstestppd "$@" >"$W/report.txt" 2>&1
status=$?
grep -E 'FAIL|WARN' "$W/report.txt" | grep -v -E '^ +WARN +Size "[^"]+" should be the Adobe standard name "[^"]+"\.$' \
  >"$W/unexpected.txt"
[ "$status" -eq 0 ] && [ ! -s "$W/unexpected.txt" ] ||
  { grep -v -E '^ +WARN +Size "|: PASS$' "$W/report.txt"; die "cupstestppd exited $status"; }
exit "$FAILED"
