#!/bin/sh
# cupstestppd on every generated PPD, with the built filter where CUPS looks
# for it: no FAIL and no warning but 'Size "A4" should be the Adobe standard
# name "A4.Fullbleed"'. The filter matches the size names against the
# "PageSize" option, and every size declares the whole sheet imageable (the
# filter crops it for the printer), which cupstestppd expects only of
# ".Fullbleed" names.
# Usage: cupstestppd.sh FILTER PPD_DIR WORK_DIR
set -u
filter=$1 ppd_dir=$2 work=$3
command -v cupstestppd >/dev/null 2>&1 || { echo "SKIP: cupstestppd not installed (cups-client)"; exit 77; }
set -- "$ppd_dir"/*.ppd
[ -f "$1" ] || { echo "FAIL: no PPD files in $ppd_dir"; exit 1; }
# As root, cupstestppd also checks the filter's owner and mode, as cupsd would.
rm -rf "$work"
mkdir -p "$work/serverbin/filter" && chmod 0755 "$work" "$work/serverbin" "$work/serverbin/filter" &&
  install -m 0755 "$filter" "$work/serverbin/filter/rastertoNorvex" || exit 1
CUPS_SERVERBIN=$work/serverbin cupstestppd "$@" >"$work/report.txt" 2>&1
status=$?
grep -E 'FAIL|WARN' "$work/report.txt" | grep -v -E '^ +WARN +Size "[^"]+" should be the Adobe standard name "[^"]+"\.$' \
  >"$work/unexpected.txt"
[ "$status" -eq 0 ] && [ ! -s "$work/unexpected.txt" ] ||
  { grep -v -E '^ +WARN +Size "|: PASS$' "$work/report.txt"; echo "FAIL: cupstestppd exited $status"; exit 1; }
