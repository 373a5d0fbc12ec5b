#!/bin/sh
# The build-time PPD check fails on each kind of mismatch: a copy of the
# generated PPDs passes, each spoilt copy must not, and says why.
# Usage: ppdcheck_rejects.sh PPDCHECK PPD_DIR
set -u
ppdcheck=$1 ppd_dir=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
cp -r "$ppd_dir" "$work/ppd"
"$ppdcheck" "$work/ppd" || { echo "FAIL: ppdcheck rejects the generated PPDs"; exit 1; }
# Rows: the message wanted | the sed script spoiling norvex-kavrin.ppd (empty: the file removed).
while IFS='|' read -r message script; do
  rm -rf "$work/ppd" && cp -r "$ppd_dir" "$work/ppd"
  if [ -n "$script" ]; then sed -i "$script" "$work/ppd/norvex-kavrin.ppd"; else rm "$work/ppd/norvex-kavrin.ppd"; fi
  "$ppdcheck" "$work/ppd" >"$work/out.txt" 2>&1 && { echo "FAIL: ppdcheck accepts $script"; failed=1; }
  grep -q -F "$message" "$work/out.txt" || { echo "FAIL: ppdcheck does not say \"$message\": $(cat "$work/out.txt")"; failed=1; }
done <<'ROWS'
is not in the filter's model list|s/^\*ModelName: "Norvex Kavrin Series"/*ModelName: "Norvex Kavrin series"/
page size A4 (595 x 843 points) maps to no table row|s/^\*PaperDimension A4\/A4: "595 842"/*PaperDimension A4\/A4: "595 843"/
page size A4x (595 x 842 points) maps to table row A4|s/^\*\(PageSize\|PageRegion\|ImageableArea\|PaperDimension\) A4\//*\1 A4x\//
page size Letter does not declare the whole sheet imageable|s/^\*ImageableArea Letter\/Letter: .*/*ImageableArea Letter\/Letter: "12 12 600 780"/
cupsManualCopies is True|s/^\*cupsManualCopies: False/*cupsManualCopies: True/
PlatForm is "PLATFORM_M"|s/^\*cupsIPPReason PlatForm\/PLATFORM_Z:/*cupsIPPReason PlatForm\/PLATFORM_M:/
model "Norvex Kavrin Series" has 0 PPD files|
ROWS
exit "$failed"
