#!/bin/sh
# cupstestppd on every generated PPD, with the built filter where CUPS looks
# for it: no FAIL and no warning but 'Size "A4" should be the Adobe standard
# name "A4.Fullbleed"'. The filter matches the size names against the
# "PageSize" option, and every size declares the whole sheet imageable (the
# filter crops it for the printer), which cupstestppd expects only of
# ".Fullbleed" names.
set -u
filter=$1 ppd_dir=$2
. "$(dirname "$0")/../server_lib.sh"
command -v cupstestppd >/dev/null 2>&1 || { say "SKIP: cupstestppd not installed (cups-client)"; exit 77; }
set -- "$ppd_dir"/*.ppd
[ -f "$1" ] || die "no PPD files in $ppd_dir"
# As root, cupstestppd also checks the filter's owner and mode, as cupsd would.
mkdir -p "$W/serverbin/filter" && chmod 0755 "$W/serverbin" "$W/serverbin/filter" &&
  install -m 0755 "$filter" "$W/serverbin/filter/rastertoNorvex" || exit 1
CUPS_SERVERBIN=$W/serverbin cupstestppd "$@" >"$W/report.txt" 2>&1
status=$?
grep -E 'FAIL|WARN' "$W/report.txt" | grep -v -E '^ +WARN +Size "[^"]+" should be the Adobe standard name "[^"]+"\.$' \
  >"$W/unexpected.txt"
[ "$status" -eq 0 ] && [ ! -s "$W/unexpected.txt" ] ||
  { grep -v -E '^ +WARN +Size "|: PASS$' "$W/report.txt"; die "cupstestppd exited $status"; }
