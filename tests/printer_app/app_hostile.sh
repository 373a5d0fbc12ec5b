#!/bin/sh
# Hostile jobs on a private server: jobs cancelled at each moment of their
# life, documents that loop, eat memory or are not what they claim, children
# that crash, stall or are killed, devices that take no bytes, a filter that
# cannot start. Each job must end in its state with a sentence for a person,
# within its bound, leaving no process, empty output file or descriptor
# behind; the server must carry on.
#
# Usage: app_hostile.sh APP FILTER NORVEXDECODE
set -u
# libpappl's client sub-commands (add, submit ...) leave option lists unfreed
# at exit; the filter's own leak checks run in the other tests.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
APP=$1 FILTER=$2 DECODER=$3
. "$(dirname "$0")/app_lib.sh"
command -v perl >/dev/null 2>&1 || die "perl not installed"

STALL=10
make_document
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -sPAPERSIZE=a4 -sOutputFile="$W/doc.pdf" "$W/doc.ps" ||
  die "ghostscript could not make the test PDF"
printf '%%!PS\n{} loop\n' >"$W/loop.ps"
printf '%%!PS\n/a 0 def { /a [a 65535 string] def } loop\n' >"$W/bomb.ps"
printf '%%PDF-1.4\nnot a pdf at all\n' >"$W/bad.pdf"
printf 'plain text\n' >"$W/doc.txt"
# A page of colour raster.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r100 -dcupsColorSpace=19 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$W/colour.pwg" "$W/doc.ps" || die "ghostscript could not make colour"
# A page of noise: its printer stream is far longer than PAPPL's 8 KiB buffer.
cat >"$W/noise.ps" <<'PS'
%!PS
/w 1200 def /h 1600 def /s w string def
36 36 translate 523 770 scale
w h 8 [w 0 0 h neg 0 h] { 0 1 w 1 sub { s exch rand -16 bitshift 255 and put } for s } image
showpage
PS
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$W/noise.pwg" "$W/noise.ps" || die "ghostscript could not make noise"

# The filter as the server runs it: the real one, except for jobs whose name
# starts with "crash" (killed by SIGSEGV), "slow" (its input stalls inside
# page 1 for a minute, as behind a slow client), "hang" (reads nothing) or
# "deaf" (reads nothing and ignores SIGTERM).
cat >"$W/filter.sh" <<SH
#!/bin/sh
case "\$3" in
  crash*) head -c 1000 >/dev/null; kill -SEGV \$\$ ;;
  slow*) fifo="$W/fifo.\$\$"; mkfifo "\$fifo"; exec 3<&0
         { rm "\$fifo"; head -c 300000; sleep 60; cat; } <&3 >"\$fifo" &
         exec "$FILTER" "\$@" <"\$fifo" ;;
  hang*) exec sleep 600 ;;
  deaf*) trap '' TERM; sleep 600 ;;
  *) exec "$FILTER" "\$@" ;;
esac
SH
chmod 0755 "$W/filter.sh"

# listen SCRIPT: a perl listener on a free loopback port that runs SCRIPT for
# each connection $c; its port in LISTENING.
listen() {
  rm -f "$W/port"
  perl -MIO::Socket::INET -e '
    my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => 0, Listen => 5, ReuseAddr => 1) or die;
    open(my $p, ">", "$ARGV[0].new") or die; print $p $s->sockport, "\n"; close $p; rename("$ARGV[0].new", $ARGV[0]);
    while (my $c = $s->accept) { '"$1"' }' "$W/port" </dev/null >/dev/null &
  HELPERS="$HELPERS $!"
  i=0
  while [ ! -s "$W/port" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  LISTENING=$(cat "$W/port")
}

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# job_id PRINTER NAME IDFILE: the id of the job named NAME, from its client
# once that has answered (streamed raster answers at the end), else from the
# printer's list of unfinished jobs.
job_id() {
  i=0
  while [ $i -lt 100 ]; do
    [ -s "$3" ] && { cat "$3"; return; }
    found=$(ipptool -c "$URI/ipp/print/$1" get-jobs.test 2>/dev/null | awk -F, -v n="$2" '$3 == n { print $1 }')
    [ -n "$found" ] && { echo "$found"; return; }
    sleep 0.1; i=$((i + 1))
  done
}

# wait_state PRINTER ID STATES SECONDS: until the job is in one of STATES
# (an extended regular expression).
wait_state() {
  i=0
  while [ $i -lt $(($4 * 10)) ]; do
    job_state "$1" "$2" | grep -q -E "^($3)," && return 0
    sleep 0.1; i=$((i + 1))
  done
  return 1
}

# The server's children whose command line names the job; its ghostscript.
job_processes() {
  for pid in $(leftover_processes); do
    { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -q -- "$1" && echo "$pid"
  done
}
ghostscript_of() {
  for pid in $(job_processes "$1"); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = gs ] && echo "$pid"
  done
}
# Up to 30 s: under the sanitizers a job's steps before the filter take a while.
wait_for() {
  i=0
  while [ -z "$("$@")" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
  [ -n "$("$@")" ]
}

cancel() { ipptool -q -d job_id="$2" "$URI/ipp/print/$1" "$HERE/cancel_job.test" || fail "Cancel-Job of job $2 on $1 refused"; }

# The pipes the server holds: a job record left behind keeps its filter's.
server_pipes() { ls -l "/proc/$APP_PID/fd" 2>/dev/null | grep -c 'pipe:'; }

# run_case NAME PRINTER DOCUMENT FORMAT ACTION STATE SECONDS PATTERN: submits
# DOCUMENT as FORMAT to PRINTER as job NAME, acts on it, and checks that it
# ends in STATE, with a message matching PATTERN, within SECONDS, its
# children gone and no empty output file left.
# Actions: none; cancel-now (right after the job is accepted); cancel-pending
# (the printer paused: a printer takes one job at a time, so a job waits only
# while it is stopped); cancel-starting (its device cannot be
# opened yet); cancel (once its children run); kill-gs (SIGKILL to its
# ghostscript). Streamed raster is never pending: PAPPL refuses it while busy.
run_case() {
  name=$1 printer=$2 document=$W/$3 format=$4 action=$5 want=$6 limit=$7 pattern=$8
  case " $UNAVAILABLE " in *" $printer "*) say "SKIP: $name ($printer: $(cat "$W/$printer.skip"))"; return ;; esac
  if [ "$action" = cancel-pending ]; then
    ipptool -q -d op=Pause-Printer "${ADMIN_URI%/ipp/system}/ipp/print/$printer" "$HERE/printer_op.test" ||
      fail "$name: could not pause $printer"
  fi
  : >"$W/$name.id"
  submit "$printer" "$document" "$format" "$name" >"$W/$name.id" &
  client=$!
  id=$(job_id "$printer" "$name" "$W/$name.id")
  [ -n "$id" ] || { fail "$name: no job"; wait "$client"; return; }
  start=$(now)
  case $action in
    cancel-now) cancel "$printer" "$id" ;;
    cancel-pending)
      wait_state "$printer" "$id" pending 10 || fail "$name: not pending but '$(job_state "$printer" "$id")'"
      cancel "$printer" "$id" ;;
    cancel-starting)
      wait_state "$printer" "$id" processing 10 || fail "$name: not started"
      sleep 0.5
      cancel "$printer" "$id" ;;
    cancel)
      wait_for job_processes "$name" || fail "$name: its filter did not start"
      sleep 0.5
      start=$(now)
      cancel "$printer" "$id" ;;
    kill-gs)
      wait_for ghostscript_of "$name" || fail "$name: no ghostscript"
      kill -KILL $(ghostscript_of "$name") ;;
  esac
  s=$(wait_job "$printer" "$id" "$limit")
  i=0
  while [ -n "$(job_processes "$name")" ] && [ $i -lt $((limit * 10)) ]; do sleep 0.1; i=$((i + 1)); done
  [ -z "$(job_processes "$name")" ] || fail "$name: its children outlived it: $(job_processes "$name")"
  say "$name: $s ($(seconds_since "$start") s)"
  case $s in "$want",*) ;; *) fail "$name: ended '$s', not $want" ;; esac
  printf '%s\n' "$s" | grep -q -E -- "$pattern" || fail "$name: message '$s' does not say /$pattern/"
  out="$W/out/$printer/$name.prn"
  [ ! -e "$out" ] || [ -s "$out" ] || fail "$name: left an empty $out"
  wait "$client"
  if [ "$action" = cancel-pending ]; then
    # PAPPL 1.3.1 may start the cancelled job all the same, with no document.
    ipptool -q -d op=Resume-Printer "${ADMIN_URI%/ipp/system}/ipp/print/$printer" "$HERE/printer_op.test" ||
      fail "$name: could not resume $printer"
    sleep 1
  fi
}

# run_table: the rows on standard input, blank lines and comments skipped.
run_table() {
  while read -r name printer document format action want limit pattern <&3; do
    case $name in ''|'#'*) continue ;; esac
    run_case "$name" "$printer" "$document" "$format" "$action" "$want" "$limit" "$pattern"
  done 3<&0 </dev/null
}

start_app NORVEX_FILTER="$W/filter.sh" -o job-stall-time=$STALL
UNAVAILABLE=
add_printer orvane norvex-orvane-210
add_printer kavrin norvex-kavrin
# A device whose folder is gone: its jobs wait in PAPPL to start.
mkdir -p "$W/out/gone/folder/dir"
"$APP" add -u "$ADMIN_URI" -d gone -m norvex-kavrin -v "file://$W/out/gone/folder/dir?ext=prn" ||
  die "could not add printer gone"
rm -r "$W/out/gone/folder"
# A file device on a full file system (root mounts a small tmpfs and fills it).
mkdir -p "$W/out/full"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k tmpfs "$W/out/full" 2>"$W/full.skip"; then
  MOUNTS="$W/out/full"
  dd if=/dev/zero of="$W/out/full/filler" bs=4k 2>/dev/null
  "$APP" add -u "$ADMIN_URI" -d full -m norvex-kavrin -v "file://$W/out/full?ext=prn" || die "could not add full"
else
  [ -s "$W/full.skip" ] || echo "not root" >"$W/full.skip"
  UNAVAILABLE="$UNAVAILABLE full"
fi
# An AppSocket printer that takes the connection and closes it.
listen 'close $c;'
"$APP" add -u "$ADMIN_URI" -d peer -m norvex-kavrin -v "socket://127.0.0.1:$LISTENING" ||
  die "could not add peer"
pipes_before=$(server_pipes)

# orvane prints at 1200 dpi by default (print-quality normal), so its PDF is
# an A4 page at 1200 dpi under the default memory bound.
run_table <<ROWS
# name           printer document format                    action          state     seconds pattern
pwg-printed      orvane  doc.pwg  image/pwg-raster          none            completed 60 Printed 3 pages\\.
pdf-printed      orvane  doc.pdf  application/pdf           none            completed 60 Printed 3 pages\\.
ps-printed       kavrin  doc.ps   application/postscript    none            completed 60 Printed 3 pages\\.
pwg-as-pdf       kavrin  doc.pwg  application/pdf           none            aborted   30 not a PDF file
pwg-as-ps        kavrin  doc.pwg  application/postscript    none            aborted   30 not a PostScript file
damaged-pdf      kavrin  bad.pdf  application/pdf           none            aborted   30 damaged
untyped          kavrin  doc.txt  application/octet-stream  none            aborted   30 not PDF, PostScript
colour-pwg       kavrin  colour.pwg image/pwg-raster        none            aborted   30 colour raster
crash-pwg        kavrin  doc.pwg  image/pwg-raster          none            aborted   30 driver stopped unexpectedly
crash-pdf        kavrin  doc.pdf  application/pdf           none            aborted   30 driver stopped unexpectedly
loop-killed      kavrin  loop.ps  application/postscript    kill-gs         aborted   30 renderer stopped unexpectedly
bomb             kavrin  bomb.ps  application/postscript    none            aborted   60 needs too much memory
loop-stalled     kavrin  loop.ps  application/postscript    none            aborted   60 no progress for $STALL seconds
hang-pwg         kavrin  doc.pwg  image/pwg-raster          none            aborted   60 no progress for $STALL seconds
pdf-cancel-now-1 orvane  doc.pdf  application/pdf           cancel-now      canceled  30 [Cc]ancel
pdf-cancel-now-2 orvane  doc.pdf  application/pdf           cancel-now      canceled  30 [Cc]ancel
pdf-cancel-now-3 orvane  doc.pdf  application/pdf           cancel-now      canceled  30 [Cc]ancel
pdf-pending      orvane  doc.pdf  application/pdf           cancel-pending  canceled  30 [Cc]ancel
pdf-starting     gone    doc.pdf  application/pdf           cancel-starting canceled  30 [Cc]ancel
pwg-starting     gone    doc.pwg  image/pwg-raster          cancel-starting canceled  30 [Cc]ancel
loop-cancel      kavrin  loop.ps  application/postscript    cancel          canceled  10 Cancelled\\.
slow-pdf         orvane  doc.pdf  application/pdf           cancel          canceled  10 Cancelled\\.
slow-pwg         orvane  doc.pwg  image/pwg-raster          cancel          canceled  10 Cancelled\\.
deaf-pwg         kavrin  doc.pwg  image/pwg-raster          cancel          canceled  10 Cancelled\\.
full-pwg         full    doc.pwg  image/pwg-raster          none            aborted   30 ^aborted,[0-9]*,Unable to send the job to the printer\\.$
full-pdf         full    doc.pdf  application/pdf           none            aborted   30 ^aborted,[0-9]*,Unable to send the job to the printer\\.$
peer-pwg         peer    noise.pwg image/pwg-raster         none            aborted   30 ^aborted,[0-9]*,Unable to send the job to the printer\\.$
# Each printer prints after all that.
orvane-after     orvane  doc.pdf  application/pdf           none            completed 60 Printed 3 pages\\.
kavrin-after     kavrin  doc.pwg  image/pwg-raster          none            completed 60 Printed 3 pages\\.
ROWS

# A filter cancelled inside page 1 still ends the printer's stream.
"$DECODER" --check --quiet "$W/out/orvane/slow-pwg.prn" | grep -q "platform=C pages=1 .*status=ok" ||
  fail "cancelled job's stream: $("$DECODER" --check --quiet "$W/out/orvane/slow-pwg.prn")"

# Children hold only what is theirs. While a job of orvane holds its device
# file open, a job of kavrin renders forever: its filter has descriptors 0-2
# only, its ghostscript nothing of the server's (only its document, /dev/null,
# its own resource files and its job's temporary files). Both are cancelled.
submit orvane "$W/doc.pwg" image/pwg-raster slow-open >"$W/open.id" &
open_client=$!
open_id=$(job_id orvane slow-open "$W/open.id")
wait_for job_processes slow-open || fail "slow-open: no filter"
submit kavrin "$W/loop.ps" application/postscript loop-fds >"$W/loop.id"
wait_for ghostscript_of loop-fds || fail "loop-fds: no ghostscript"
for pid in $(job_processes loop-fds); do
  case $(cat "/proc/$pid/comm") in
    gs)
      for fd in $(ls "/proc/$pid/fd"); do
        [ "$fd" -le 2 ] && continue
        target=$(readlink "/proc/$pid/fd/$fd") || continue  # closed meanwhile
        case $target in /dev/null|"$W/spool/"*|"$W/tmp/"*|/usr/share/ghostscript/*) ;; *) fail "ghostscript holds $fd -> $target" ;; esac
      done ;;
    *)
      fds=$(ls "/proc/$pid/fd" | sort -n | tr '\n' ' ')
      [ "$fds" = "0 1 2 " ] || fail "the filter holds descriptors $fds: $(ls -l "/proc/$pid/fd" | tail -n +2)" ;;
  esac
done
loop_id=$(cat "$W/loop.id")
for job in "orvane $open_id" "kavrin $loop_id"; do
  set -- $job
  cancel "$1" "$2"
  s=$(wait_job "$1" "$2" 10)
  case $s in canceled,*) ;; *) fail "job $2 of $1 ended '$s', not canceled" ;; esac
done
wait "$open_client"

# The server still serves, left no child, kept no pipe of a job.
"$APP" status -u "$ADMIN_URI" >/dev/null 2>&1 || fail "server gone"
i=0
while [ -n "$(leftover_processes)" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
[ -z "$(leftover_processes)" ] || fail "processes left: $(leftover_processes)"
[ "$(server_pipes)" -eq "$pipes_before" ] || fail "the server holds $(server_pipes) pipes, $pipes_before before the jobs"
stop_app
for dir in "$W/tmp" "$W/spool"; do
  [ -z "$(ls -A "$dir")" ] || fail "left in $dir: $(ls -A "$dir")"
done

# A filter that cannot start: each job says why, and leaves no output file,
# no child and no pipe.
start_app NORVEX_FILTER="$W/no-such-filter"
add_printer lost norvex-kavrin
pipes_before=$(server_pipes)
run_table <<ROWS
lost-pwg         lost    doc.pwg  image/pwg-raster          none            aborted   30 Unable to start the printer driver: No such file
lost-pdf         lost    doc.pdf  application/pdf           none            aborted   30 Unable to start the printer driver: No such file
ROWS
for name in lost-pwg lost-pdf; do
  [ ! -e "$W/out/lost/$name.prn" ] || fail "$name left $W/out/lost/$name.prn"
done
[ "$(server_pipes)" -eq "$pipes_before" ] || fail "the server holds $(server_pipes) pipes, $pipes_before before the jobs"
"$APP" status -u "$ADMIN_URI" >/dev/null 2>&1 || fail "server gone"
stop_app
[ -z "$(leftover_processes)" ] || fail "processes left: $(leftover_processes)"
for dir in "$W/tmp" "$W/spool"; do
  [ -z "$(ls -A "$dir")" ] || fail "left in $dir: $(ls -A "$dir")"
done

[ "$FAILED" -eq 0 ] && say "PASS: hostile jobs end in their state, say why, and leave nothing behind"
exit "$FAILED"
