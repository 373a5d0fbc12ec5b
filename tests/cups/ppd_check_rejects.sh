#!/bin/sh
# The build-time PPD check fails on each kind of mismatch: a copy of the
# generated PPDs passes, each spoilt copy must not, and says why.
set -u
ppdcheck=$3 ppd_dir=$2
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
exit "$FAILED"
