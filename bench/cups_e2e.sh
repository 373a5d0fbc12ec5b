#!/bin/sh
# End-to-end benchmark: a 10-page A4 PDF (the sample's text, photo and mixed
# pages in turn) printed through a private cupsd, the way a user prints, with
# our PPD (Kavrin, PLATFORM_Z) and, when PEER_PPD names one, a peer driver's PPD
# whose filters are installed on this system. Interleaved rounds, first with
# cupsd free to use both cores, then with cupsd and every filter it starts
# pinned to one core. Each queue's device is a FIFO read by a stream clock, so
# the times are those at which the bytes reached the "printer".
# Per queue, medians: submit to last byte (wall), submit to first byte, submit
# to page 1's first image byte (ours, found by norvexdecode), CPU per page of
# the whole chain (cupsd and everything it ran for the job) and of our filter,
# our filter's peak RSS; and ours over the peer's.
# Usage (as root): bench/cups_e2e.sh [rounds [build-dir]]   (defaults: 9, build)
#   PEER_PPD=/path/to/peer.ppd bench/cups_e2e.sh
set -u
cd "$(dirname "$0")/.."
rounds=${1:-9}
build=${2:-build}
[ "$(id -u)" -eq 0 ] || { echo "bench/cups_e2e.sh: run as root (cupsd starts its filters as lp)"; exit 1; }
[ -f "$build/CMakeCache.txt" ] || scripts/setup.sh "$build" >/dev/null
cmake --build "$build" -j2 --target rastertoNorvex norvexdecode norvex_stream_clock ppd >/dev/null || exit 1
BUILD=$PWD/$build
# The tests' private cupsd: its tree $W, removed with everything in it on exit.
. tests/server_lib.sh

# The document: pages 1-3 of the sample (text, photo, mixed), over and over.
S=samples/norvex-sample.ps
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -dLastPage=10 \
  -sOutputFile="$W/ten.pdf" "$S" "$S" "$S" "$S" >/dev/null 2>&1 || die "ghostscript could not make the PDF"
chmod 0644 "$W/ten.pdf"

cupsd_start
C=$W/clock
mkdir -p "$C" && chown lp "$C" || die "mkdir $C"
# Our filter and the two steps both chains share, each behind /usr/bin/time:
# per job and step, a line "JOB STEP START END USER SYSTEM RSS-KIB" in
# $C/steps (times in ns since the epoch, CPU in seconds).
install -m 0755 "$BUILD/gdi_filter/rastertoNorvex" "$CW/serverbin/filter/rastertoNorvex"
for step in pdftopdf gstoraster rastertoNorvex; do
  real=$CW/serverbin/filter/$step.real
  mv "$CW/serverbin/filter/$step" "$real" || die "no $step in $CW/serverbin/filter"
  cat >"$CW/serverbin/filter/$step" <<STEP
#!/bin/sh
start=\$(date +%s%N)
/usr/bin/time -o "$C/\$1.$step" -f '%U %S %M' "$real" "\$@"
status=\$?
echo "\$1 $step \$start \$(date +%s%N) \$(cat "$C/\$1.$step")" >>"$C/steps"
exit \$status
STEP
  chmod 0755 "$CW/serverbin/filter/$step"
done

queues="ours"
if [ -n "${PEER_PPD:-}" ]; then queues="ours peer"; fi
for q in $queues; do
  mkfifo -m 0666 "$C/$q.fifo" && mkdir -p "$C/$q" || die "mkfifo $C/$q.fifo"
  "$BUILD/bench/norvex_stream_clock" "$C/$q.fifo" "$C/$q" &
  HELPERS="$HELPERS $!"
done
# (lpadmin warns that PPD files are deprecated: its words go to a log.)
lpadmin -p ours -E -v "file:$C/ours.fifo" -P "$BUILD/ppd/norvex-kavrin.ppd" 2>>"$W/lpadmin" ||
  die "lpadmin ours: $(cat "$W/lpadmin")"
if [ -n "${PEER_PPD:-}" ]; then
  lpadmin -p peer -E -v "file:$C/peer.fifo" -P "$PEER_PPD" 2>>"$W/lpadmin" ||
    die "lpadmin peer: $(cat "$W/lpadmin")"
fi

# CPU seconds of cupsd and of the children it has reaped (their own children included).
cupsd_cpu() {
  awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15 + $16 + $17) / hz }' "/proc/$CUPSD_PID/stat"
}

# print QUEUE CORES: one job, one line of results in $W/results.
print() {
  n=$(($(cat "$C/$1.count" 2>/dev/null || echo 0) + 1))
  echo "$n" >"$C/$1.count"
  cpu0=$(cupsd_cpu)
  t0=$(date +%s%N)
  job=$(lp -d "$1" -o media=A4 "$W/ten.pdf") || die "lp $1"
  job=${job#request id is "$1"-}
  job=${job%% *}
  i=0
  until [ -f "$C/$1/$n.times" ]; do
    sleep 0.02
    i=$((i + 1))
    [ $i -lt 6000 ] || die "job $n on $1 did not end"
  done
  # Its filters are reaped once the job is done: then cupsd holds their CPU.
  until [ -z "$(lpstat -o "$1" 2>/dev/null)" ]; do sleep 0.02; done
  sleep 0.2
  cpu=$(awk -v a="$cpu0" -v b="$(cupsd_cpu)" 'BEGIN { printf "%.3f", (b - a) / 10 }')
  first=$(awk -v t0="$t0" 'NR == 1 { printf "%.3f", ($1 - t0) / 1e9 }' "$C/$1/$n.times")
  last=$(awk -v t0="$t0" 'END { printf "%.3f", ($1 - t0) / 1e9 }' "$C/$1/$n.times")
  image=- filter=- rss=-
  if [ "$1" = ours ]; then
    "$BUILD/tools/norvexdecode/norvexdecode" --check --quiet "$C/ours/$n.prn" >/dev/null ||
      die "job $n: the printer stream does not decode"
    at=$("$BUILD/tools/norvexdecode/norvexdecode" "$C/ours/$n.prn" |
      awk '$2 == "RASTER_IMAGE" { print $1; exit }')
    image=$(awk -v t0="$t0" -v at="$at" '$2 > at { printf "%.3f", ($1 - t0) / 1e9; exit }' \
      "$C/ours/$n.times")
    filter=$(awk -v j="$job" '$1 == j && $2 == "rastertoNorvex" { printf "%.3f", ($5 + $6) / 10 }' "$C/steps")
    rss=$(awk -v j="$job" '$1 == j && $2 == "rastertoNorvex" { printf "%.1f", $7 / 1024 }' "$C/steps")
  fi
  echo "$2 $1 $last $first $image $cpu $filter $rss" >>"$W/results"
  # Each shared step's start and end after submission, and its CPU per page.
  awk -v j="$job" -v t0="$t0" -v c="$2" -v q="$1" '$1 == j {
    printf "%s %s %s %.3f %.3f %.3f\n", c, q, $2, ($3 - t0) / 1e9, ($4 - t0) / 1e9, ($5 + $6) / 10 }' \
    "$C/steps" >>"$W/steps"
}

# A job on each queue first: the caches of ghostscript and the page cache.
for q in $queues; do print "$q" warm; done
for cores in 2 1; do
  if [ "$cores" = 1 ]; then taskset -a -p -c 0 "$CUPSD_PID" >/dev/null; fi
  r=0
  while [ $r -lt "$rounds" ]; do
    for q in $queues; do print "$q" "$cores"; done
    r=$((r + 1))
  done
done

median() {  # cores queue column
  awk -v c="$1" -v q="$2" -v k="$3" '$1 == c && $2 == q && $k != "-" { print $k }' "$W/results" |
    sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
      else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ms() { awk -v s="$1" 'BEGIN { if (s == "-") print "-"; else printf "%.0f\n", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f\n", a / b }'; }

say "10-page A4 PDF through cupsd, $rounds interleaved rounds, medians (s, ms per page, MiB)"
printf '%-46s %8s %8s %6s\n' "" "ours" "peer" "ratio"
for cores in 2 1; do
  label="2 cores"
  if [ "$cores" = 1 ]; then label="cupsd on 1 core"; fi
  for row in "3:submit to last byte" "4:submit to first byte" "5:submit to page 1 image" \
    "6:CPU per page, whole chain" "7:CPU per page, our filter" "8:peak RSS, our filter"; do
    k=${row%%:*}
    a=$(median "$cores" ours "$k")
    b=$(median "$cores" peer "$k")
    case $k in 6 | 7) a=$(ms "$a"); b=$(ms "$b") ;; esac
    printf '%-46s %8s %8s %6s\n' "$label: ${row#*:}" "$a" "$b" "$(ratio "$a" "$b")"
  done
done
# Where the time goes: each step of the chain, from submission (s) and its
# CPU per page (ms).
say
col() { cut -d' ' -f"$1" "$W/step" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
say "Per step, medians: started, ended (s after submission), CPU per page (ms)"
for cores in 2 1; do
  for q in $queues; do
    for step in pdftopdf gstoraster rastertoNorvex; do
      awk -v c="$cores" -v q="$q" -v s="$step" '$1 == c && $2 == q && $3 == s' "$W/steps" >"$W/step"
      [ -s "$W/step" ] || continue
      printf '%-16s %-5s %-15s %7s %7s %6s\n' "$cores core(s)" "$q" "$step" "$(col 4)" "$(col 5)" "$(ms "$(col 6)")"
    done
  done
done
