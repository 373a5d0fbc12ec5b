#!/bin/sh
# End to end through Debian's CUPS: a private cupsd on a loopback port prints the
# sample document through the generated PPDs and the built filter into files,
# on one queue per controller platform, and the printer streams are checked.
# Everything lives in one temporary tree, removed on exit.
#
# Usage: cups_e2e.sh FILTER PPD_DIR SAMPLE [NORVEXDECODE]
# Exit status: 0 passed, 1 failed, 77 skipped (not root, or no cupsd).
# Environment: NORVEXDECODE (the stream decoder, overrides the argument),
#   CUPS_E2E_INFRA_ONLY=1 (skip the checks of the printer streams),
#   CUPS_E2E_KEEP=1 (keep the tree for inspection), CUPS_E2E_JOB_TIMEOUT (s),
#   CUPS_E2E_FIRST_PORT (the port tried first).
set -u
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH

FILTER=$1 PPD_DIR=$2 SAMPLE=$3
DECODER=${NORVEXDECODE:-${4:-}}
JOB_TIMEOUT=${CUPS_E2E_JOB_TIMEOUT:-90}
INFRA_ONLY=${CUPS_E2E_INFRA_ONLY:-0}

# One queue per controller platform: queue, PPD file, platform.
QUEUES="NorvexC:norvex-orvane-210.ppd:C NorvexZ:norvex-kavrin.ppd:Z NorvexM:norvex-lurran-3010.ppd:M"

# cupsd runs filters as lp, and only root can start it that way.
[ "$(id -u)" -eq 0 ] || { echo "SKIP: must run as root (cupsd starts its filters as lp)"; exit 77; }
command -v cupsd >/dev/null 2>&1 || { echo "SKIP: cupsd not installed (Debian package cups)"; exit 77; }
for tool in lpadmin lpinfo lp lpstat cancel ipptool runuser od; do
  command -v "$tool" >/dev/null 2>&1 || { echo "FAIL: $tool not installed (see scripts/setup.sh)"; exit 1; }
done
for f in "$FILTER" "$SAMPLE"; do [ -f "$f" ] || { echo "FAIL: $f missing"; exit 1; }; done

started=$(date +%s)
FAILED=0

say() { printf '%s\n' "$*"; }
fail() { say "FAIL: $*"; FAILED=1; }
die() { say "FAIL: $*"; exit 1; }
ms_sleep() { sleep 0.1; }
. "$(dirname "$0")/cupsd_lib.sh"

cleanup() {
  status=$?
  trap - EXIT INT TERM HUP
  cupsd_stop
  if [ -n "${W:-}" ] && [ -d "$W" ]; then
    i=0
    while [ -n "$(cupsd_leftovers)" ] && [ "$i" -lt 100 ]; do ms_sleep; i=$((i + 1)); done
    left=$(cupsd_leftovers | tr '\n' ' ')
    if [ -n "$left" ]; then
      say "FAIL: processes of the test daemon still running: $left"
      # shellcheck disable=SC2086 # one argument per pid
      kill -KILL $left 2>/dev/null
      status=1
    fi
    if [ "${CUPS_E2E_KEEP:-0}" = 1 ]; then say "Kept $W"; else rm -rf "$W"; fi
  fi
  say "cups_e2e: $(($(date +%s) - started)) s"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# --- The tree: configuration, ServerBin with our filter, DataDir with our PPDs.
W=$(mktemp -d /tmp/norvex-cups.XXXXXX) || die "mktemp"
CW=$W
cupsd_tree
mkdir -p "$W/share/model/norvex" && chmod 0755 "$W/share/model/norvex" || die "mkdir"
# cupsd refuses a filter that is not root's and 0755, in a directory likewise.
install -m 0755 -o root -g root "$FILTER" "$W/serverbin/filter/rastertoNorvex" || die "installing the filter"
runuser -u lp -- test -x "$W/serverbin/filter/rastertoNorvex" || die "user lp cannot run the filter"

ppd_count=0
for ppd in "$PPD_DIR"/*.ppd; do
  [ -f "$ppd" ] || die "no PPD files in $PPD_DIR"
  install -m 0644 "$ppd" "$W/share/model/norvex/" || die "installing $ppd"
  ppd_count=$((ppd_count + 1))
done

cupsd_start "${CUPS_E2E_FIRST_PORT:-}"
say "cupsd pid $CUPSD_PID on $CUPS_SERVER, tree $W"

# --- lpinfo -m lists every model, under the name lpadmin -m takes.
lpinfo -m >"$W/lpinfo.txt" 2>"$W/lpinfo.err" || { cat "$W/lpinfo.err"; die "lpinfo -m failed"; }
listed=$(grep -c '^norvex/' "$W/lpinfo.txt")
for ppd in "$PPD_DIR"/*.ppd; do
  name=${ppd##*/}
  model=$(sed -n 's/^\*ModelName: "\(.*\)"$/\1/p' "$ppd")
  grep -q -F "norvex/$name $model," "$W/lpinfo.txt" || fail "lpinfo -m does not list norvex/$name ($model)"
done
[ "$listed" -eq "$ppd_count" ] || fail "lpinfo -m lists $listed Norvex PPDs, $ppd_count installed"
say "lpinfo -m: $listed Norvex models"

# --- Queues with file devices.
for q in $QUEUES; do
  name=${q%%:*} rest=${q#*:}
  ppd=${rest%%:*}
  [ -f "$W/share/model/norvex/$ppd" ] || die "$ppd not generated"
  lpadmin -p "$name" -E -v "file://$W/out/$name.prn" -m "norvex/$ppd" 2>"$W/lpadmin.err" ||
    { cat "$W/lpadmin.err"; die "lpadmin -p $name -m norvex/$ppd failed"; }
done

cat >"$W/jobstate.test" <<'EOF'
{
  NAME "Get-Job-Attributes"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job_id
  ATTR name requesting-user-name root
  STATUS successful-ok
  DISPLAY job-state
  DISPLAY job-impressions-completed
}
EOF

# submit QUEUE OPTIONS...: prints the job id.
submit() {
  queue=$1
  shift
  reply=$(lp -d "$queue" "$@" "$SAMPLE" 2>&1) || { say "$reply" >&2; return 1; }
  echo "$reply" | sed -n "s/^request id is $queue-\([0-9]*\) .*/\1/p"
}

job_log() { grep -F "[Job $1]" "$W/log/error_log"; }

# wait_job QUEUE ID: waits until the job has ended or stopped (a job whose filter
# failed stays processing-stopped for ever); prints its final state.
wait_job() {
  deadline=$(($(date +%s) + JOB_TIMEOUT))
  while :; do
    state=$(ipptool -c -d "job_id=$2" "ipp://$CUPS_SERVER/printers/$1" "$W/jobstate.test" 2>/dev/null | tail -1)
    case "$state" in
      completed* | aborted* | canceled* | processing-stopped*) break ;;
    esac
    if [ "$(date +%s)" -ge "$deadline" ]; then
      state="timeout ($state)"
      break
    fi
    ms_sleep
  done
  case "$state" in completed*) ;; *) cancel "$1-$2" 2>/dev/null ;; esac
  echo "$state"
}

# Opening bytes of each platform's stream.
opening() {
  case $1 in
    C) echo "1b ff 2d 31 32 33 34 35 58" ;;              # UEL with 0xFF
    Z) echo "1b 25 2d 31 32 33 34 35 58 40 50 4a 4c" ;;  # UEL, "@PJL"
    M) echo "1b 25 2d 31 32 33 34 35 58 4a 5a 4a 5a" ;;  # UEL, "JZJZ"
  esac
}

# Printed sides expected: the sample has 3 A4 pages. Two-sided on C adds the
# blank back of the last sheet; on Z it becomes manual duplex, which does too;
# M has no duplexer and prints one-sided.
# The page numbers the printer receives, in order. C duplexes by itself and
# gets a blank back (page 4); the Z model turns two-sided jobs into manual
# duplex (fronts 1 and 3, then the blank back of 3, then 2); M prints one-sided;
# collated copies are sent again from the spool. M page commands carry no page
# number, so the decoder numbers M pages as they come.
expected_order() {
  case $1:$2 in
    *:one) echo "1" ;;
    C:duplex) echo "1 2 3 4" ;;
    Z:duplex) echo "1 3 4 2" ;;
    M:duplex) echo "1 2 3" ;;
    M:copies) echo "1 2 3 4 5 6" ;;
    *:copies) echo "1 2 3 1 2 3" ;;
  esac
}

# check_job QUEUE PLATFORM KIND ID STATE RASTER_PAGES
check_job() {
  queue=$1 platform=$2 kind=$3 id=$4 state=$5 raster_pages=$6
  label="$queue job $id ($kind)"
  job_log "$id" >"$W/log/job-$id.log"
  ok=1
  case "$state" in
    completed*) ;;
    *) fail "$label ended $state"; ok=0 ;;
  esac
  if ! grep -q "rastertoNorvex) exited with no errors" "$W/log/job-$id.log"; then
    fail "$label: the filter did not exit with status 0"
    ok=0
  fi
  grep -h "insecure permissions" "$W/log/error_log" && fail "cupsd refused a file for insecure permissions"

  # The raster CUPS made from the PPD: whole sheet, 8-bit grey, 600 dpi, A4.
  pages=$(grep -c 'cupsRasterReadHeader2 return OK' "$W/log/job-$id.log")
  copies=$(sed -n 's/.*NumCopies = \([0-9]*\)$/\1/p' "$W/log/job-$id.log" | head -1)
  [ "$pages" -eq "$raster_pages" ] || fail "$label: the filter read $pages raster pages, expected $raster_pages"
  for want in "cupsColorSpace = 18" "cupsBitsPerColor = 8" "HWResolution = \[ 600 600 \]" \
    "PageSize = \[ 595 842 \]" "Margins = \[ 0 0 \]" "cupsWidth = 4958"; do
    n=$(grep -c "$want" "$W/log/job-$id.log")
    [ "$n" -eq "$pages" ] || fail "$label: $n of $pages page headers have $want"
  done
  say "$label: $state, filter exit 0: $([ $ok = 1 ] && echo yes || echo no), raster pages $pages, NumCopies ${copies:-?}"

  [ "$INFRA_ONLY" = 1 ] && return
  out=$W/out/$queue-$id.prn
  cp "$W/out/$queue.prn" "$out" 2>/dev/null || : >"$out"
  size=$(wc -c <"$out")
  if [ "$size" -eq 0 ]; then
    fail "$label: empty printer stream"
    return
  fi
  want=$(opening "$platform")
  got=$(head -c $(($(echo "$want" | wc -w))) "$out" | od -An -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
  [ "$got" = "$want" ] || fail "$label: stream starts with $got, expected $want"

  # The decoder checks the whole stream; the page numbers give the order.
  if [ -n "$DECODER" ] && [ -x "$DECODER" ]; then
    summary=$("$DECODER" --check "$out" 2>"$W/decode.err")
    status=$?
    [ "$status" -eq 0 ] || { cat "$W/decode.err"; fail "$label: norvexdecode --check exited $status"; }
    decoded=$(echo "$summary" | grep -o '\[page=[0-9]*' | cut -d= -f2 | tr '\n' ' ' | sed 's/ $//')
    expected=$(expected_order "$platform" "$kind")
    [ "$decoded" = "$expected" ] || fail "$label: pages arrive as '$decoded', expected '$expected'"
    say "$label: $size bytes; $summary"
  else
    say "$label: $size bytes (norvexdecode not available: stream not decoded)"
  fi
}

# --- The jobs: one round per kind, the three queues printing at once.
run_round() {
  kind=$1
  shift
  ids=
  for q in $QUEUES; do
    name=${q%%:*}
    id=$(submit "$name" "$@")
    if [ -z "$id" ]; then
      fail "lp -d $name $* failed"
      continue
    fi
    ids="$ids $q:$id"
  done
  for entry in $ids; do
    name=${entry%%:*} rest=${entry#*:}
    platform=${rest#*:}
    platform=${platform%%:*}
    id=${entry##*:}
    state=$(wait_job "$name" "$id")
    case $kind in one) raster=1 ;; *) raster=3 ;; esac
    check_job "$name" "$platform" "$kind" "$id" "$state" "$raster"
  done
}

run_round one -o page-ranges=1
run_round duplex -o sides=two-sided-long-edge
run_round copies -n 2 -o collate=true

if [ "$FAILED" -ne 0 ]; then
  say "--- error_log of the failed jobs (last lines):"
  grep -E '^E |stopped with status|crashed on signal|Unable to start filter|insecure' "$W/log/error_log" | tail -40
  exit 1
fi
[ "$INFRA_ONLY" = 1 ] && say "Printer streams not checked (CUPS_E2E_INFRA_ONLY=1)."
say "PASS"
exit 0
