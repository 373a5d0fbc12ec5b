#!/bin/sh
# The Printer Application over many jobs: a private server prints small PWG
# raster jobs one after another on one printer and reports its open
# descriptors, threads and resident memory before, every 100 jobs and after,
# so a leak shows as growth per job. Beside them, the number of completed jobs
# the printer still holds: PAPPL 1.3.1 keeps the record of every job. Its
# clean pass runs a minute after the first job to end since the last pass,
# walks the history newest first and stops at the first job that ended less
# than a minute before, so it never gets past the newest: memory grows by
# that history with each job (also after a minute idle), a leak on top of it.
# Usage: bench/app_jobs.sh [jobs [build-dir]]   (defaults: 1000, build)
set -u
cd "$(dirname "$0")/.."
jobs=${1:-1000}
build=${2:-build}
[ -f "$build/CMakeCache.txt" ] || scripts/setup.sh "$build" >/dev/null
cmake --build "$build" -j2 --target norvex-printer-app >/dev/null || exit 1
APP=$PWD/$build/printer_app/norvex-printer-app
APP_TEST_DIR=$PWD/tests/printer_app
. tests/printer_app/app_lib.sh

# One A6 page of text at 600 dpi.
printf '%%!PS\n/Helvetica findfont 24 scalefont setfont 20 300 moveto (Norvex) show showpage\n' >"$W/page.ps"
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a6 -dFIXEDMEDIA -sOutputFile="$W/page.pwg" "$W/page.ps" >/dev/null 2>&1 ||
  die "ghostscript could not make the page"
start_app
add_printer bench norvex-kavrin

history() { ipptool -c "$URI/ipp/print/bench" get-completed-jobs.test 2>/dev/null | tail -n +2 | wc -l; }

figures() {
  fds=$(ls "/proc/$APP_PID/fd" | wc -l)
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$APP_PID/status")
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$APP_PID/status")
  printf '%6s %8s %5s %8s %9s\n' "$1" "$(history)" "$fds" "$threads" "$rss"
}

printf '%6s %8s %5s %8s %9s\n' jobs history fds threads "RSS KiB"
figures 0
rss0=$rss
start=$(date +%s)
i=1
busy=0
while [ $i -le "$jobs" ]; do
  # The printer takes one job at a time; the last may still be ending.
  id=$(submit bench "$W/page.pwg" image/pwg-raster "job$i")
  if [ -z "$id" ]; then busy=$((busy + 1)); sleep 0.1; continue; fi
  s=$(wait_job bench "$id")
  case $s in completed*) ;; *) die "job $i ended as '$s'" ;; esac
  rm -f "$W/out/bench/job$i.prn"
  [ $((i % 100)) -eq 0 ] && figures $i
  i=$((i + 1))
done
say "$jobs jobs in $(($(date +%s) - start)) s, $busy busy answers retried;" \
  "$(((rss - rss0) * 1024 / jobs)) bytes of memory per job"
# PAPPL's clean pass, a minute after the first job ended.
sleep 65
figures idle
stop_app
