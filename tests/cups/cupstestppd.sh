#!/bin/sh
# Runs cupstestppd on every generated PPD, with the built filter where CUPS
# would look for it. Fails on any FAIL and on any warning but one kind:
# 'Size "A4" should be the Adobe standard name "A4.Fullbleed"'. The size names
# are the ones the filter matches the "PageSize" option against, and every listed
# size declares the whole sheet imageable (the filter crops it for the printer),
# which cupstestppd expects only of ".Fullbleed" names.
# Usage: cupstestppd.sh FILTER PPD_DIR WORK_DIR
set -u
filter=$1 ppd_dir=$2 work=$3

command -v cupstestppd >/dev/null 2>&1 || { echo "SKIP: cupstestppd not installed (cups-client)"; exit 77; }
set -- "$ppd_dir"/*.ppd
[ -f "$1" ] || { echo "FAIL: no PPD files in $ppd_dir"; exit 1; }

# As root, cupstestppd also checks the filter's owner and mode, as cupsd would.
rm -rf "$work"
mkdir -p "$work/serverbin/filter" || exit 1
chmod 0755 "$work" "$work/serverbin" "$work/serverbin/filter"
cp "$filter" "$work/serverbin/filter/rastertoNorvex" && chmod 0755 "$work/serverbin/filter/rastertoNorvex" || exit 1

CUPS_SERVERBIN=$work/serverbin cupstestppd "$@" >"$work/report.txt" 2>&1
status=$?
grep -E 'FAIL|WARN' "$work/report.txt" | grep -v -E '^ +WARN +Size "[^"]+" should be the Adobe standard name "[^"]+"\.$' \
  >"$work/unexpected.txt"

echo "cupstestppd: $# PPD files, exit status $status"
if [ "$status" -ne 0 ] || [ -s "$work/unexpected.txt" ]; then
  echo "FAIL: cupstestppd found problems:"
  grep -v -E '^ +WARN +Size "' "$work/report.txt" | grep -v ': PASS$'
  exit 1
fi
echo "PASS (only the expected size-name warnings: $(grep -c 'WARN' "$work/report.txt"))"
