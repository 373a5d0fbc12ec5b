#!/bin/sh
# The build-time PPD check must fail on each kind of mismatch: a copy of the
# generated PPDs passes, each spoilt copy must not.
# Usage: ppdcheck_rejects.sh PPDCHECK PPD_DIR
set -u
ppdcheck=$1 ppd_dir=$2
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT
failed=0
target=norvex-kavrin.ppd

fresh() { rm -rf "$work/ppd" && cp -r "$ppd_dir" "$work/ppd"; }

# spoil DESCRIPTION EXPECTED-MESSAGE SED-SCRIPT (applied to $target; empty: remove it)
spoil() {
  fresh
  if [ -n "$3" ]; then sed -i "$3" "$work/ppd/$target"; else rm "$work/ppd/$target"; fi
  if "$ppdcheck" "$work/ppd" >"$work/out.txt" 2>&1; then
    echo "FAIL: ppdcheck accepts $1"; failed=1
  elif ! grep -q -F "$2" "$work/out.txt"; then
    echo "FAIL: ppdcheck rejects $1 without saying \"$2\":"; cat "$work/out.txt"; failed=1
  else
    echo "ok: rejects $1"
  fi
}

fresh
"$ppdcheck" "$work/ppd" || { echo "FAIL: ppdcheck rejects the generated PPDs"; exit 1; }

spoil "a model name not in the list" 'is not in the filter'"'"'s model list' \
  's/^\*ModelName: "Norvex Kavrin Series"/*ModelName: "Norvex Kavrin series"/'
spoil "a page size of other dimensions" 'page size A4 (595 x 843 points) maps to no table row' \
  's/^\*PaperDimension A4\/A4: "595 842"/*PaperDimension A4\/A4: "595 843"/'
spoil "a page size under another name" 'page size A4x (595 x 842 points) maps to table row A4' \
  's/^\*\(PageSize\|PageRegion\|ImageableArea\|PaperDimension\) A4\//*\1 A4x\//'
spoil "a page size with margins" 'page size Letter does not declare the whole sheet imageable' \
  's/^\*ImageableArea Letter\/Letter: .*/*ImageableArea Letter\/Letter: "12 12 600 780"/'
spoil "copies made before the filter" 'cupsManualCopies is True' \
  's/^\*cupsManualCopies: False/*cupsManualCopies: True/'
spoil "a platform other than the list's" 'PlatForm is "PLATFORM_M"' \
  's/^\*cupsIPPReason PlatForm\/PLATFORM_Z:/*cupsIPPReason PlatForm\/PLATFORM_M:/'
spoil "a model without its PPD" 'model "Norvex Kavrin Series" has 0 PPD files' ''
exit "$failed"
