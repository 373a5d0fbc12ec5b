#!/bin/sh
# Hostile jobs: cancelled at each moment of their life, documents that loop,
# eat memory or are not what they claim, children that crash, stall or are
# killed, devices that take no bytes, a filter that cannot start. Each job
# must end in its state with a sentence for a person, within its bound,
# leaving no process, empty output file or descriptor behind; the server
# must carry on.
set -u
. "$(dirname "$0")/app_lib.sh"
command -v perl >/dev/null 2>&1 || die "perl not installed"

STALL=10
make_documents
printf '%%!PS\n{} loop\n' >"$W/loop.ps"
printf '%%!PS\n/a 0 def { /a [a 65535 string] def } loop\n' >"$W/bomb.ps"
printf '%%PDF-1.4\nnot a pdf at all\n' >"$W/bad.pdf"
ghostscript colour.pwg doc.ps -sDEVICE=pwgraster -r100 -dcupsColorSpace=19 -dcupsBitsPerColor=8 -sPAPERSIZE=a4 -dFIXEDMEDIA
# A page of noise: its printer stream is far longer than PAPPL's 8 KiB buffer.
printf '%%!PS\n/w 1200 def /h 1600 def /s w string def 36 36 translate 523 770 scale
w h 8 [w 0 0 h neg 0 h] { 0 1 w 1 sub { s exch rand -16 bitshift 255 and put } for s } image showpage\n' >"$W/noise.ps"
ghostscript noise.pwg noise.ps -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sPAPERSIZE=a4 -dFIXEDMEDIA

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

# job_id PRINTER NAME: the job's id from its client once that has answered (streamed
# raster answers at the end), else from the printer's list of unfinished jobs.
listed_id() {
  id=$(cat "$W/$2.id")
  [ -n "$id" ] || id=$(ipptool -c "$URI/ipp/print/$1" get-jobs.test 2>/dev/null | awk -F, -v n="$2" '$3 == n { print $1 }')
  [ -n "$id" ]
}
job_id() { poll 10 listed_id "$1" "$2" && say "$id"; }
in_state() { job_state "$URI/ipp/print/$1" "$2" | grep -q -E "^($3),"; }
# The server's children whose command line names the job; its ghostscript.
job_processes() {
  for pid in $(leftovers); do
    { tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null | grep -q -- "$1" && echo "$pid"
  done
}
ghostscript_of() { for pid in $(job_processes "$1"); do [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = gs ] && echo "$pid"; done; }
some() { [ -n "$("$@")" ]; }
none() { [ -z "$("$@")" ]; }
# The pipes the server holds: a job record left behind keeps its filter's.
server_pipes() { ls -l "/proc/$APP_PID/fd" 2>/dev/null | grep -c 'pipe:'; }

# run_table: rows "NAME PRINTER DOCUMENT FORMAT ACTION STATE SECONDS PATTERN"
# on standard input: DOCUMENT is sent as FORMAT to PRINTER as job NAME, acted
# on, and must end in STATE with a message matching PATTERN within SECONDS,
# its children gone and no empty output file left. Actions: none;
# cancel-now (right after the job is accepted); cancel-pending (the printer
# paused: a printer takes one job at a time, so a job waits only while it is
# stopped); cancel-starting (its device cannot be opened yet); cancel (once
# its children run); kill-gs (SIGKILL to its ghostscript). Streamed raster is
# never pending: PAPPL refuses it while busy.
run_table() {
  while read -r name printer document format action want limit pattern <&3; do
    case $name in '' | '#'*) continue ;; esac
    [ ! -s "$W/$printer.skip" ] || { say "SKIP: $name ($printer: $(cat "$W/$printer.skip"))"; continue; }
    [ "$action" != cancel-pending ] || printer_op Pause-Printer "$printer" || fail "$name: could not pause $printer"
    : >"$W/$name.id"
    submit "$printer" "$W/$document" "$format" "$name" >"$W/$name.id" &
    client=$!
    id=$(job_id "$printer" "$name")
    [ -n "$id" ] || { fail "$name: no job"; wait "$client"; continue; }
    case $action in
      cancel-pending) poll 10 in_state "$printer" "$id" pending ||
        fail "$name: not pending but '$(job_state "$URI/ipp/print/$printer" "$id")'" ;;
      cancel-starting) poll 10 in_state "$printer" "$id" processing && sleep 0.5 || fail "$name: not started" ;;
      cancel) poll 30 some job_processes "$name" && sleep 0.5 || fail "$name: its filter did not start" ;;
      kill-gs) poll 30 some ghostscript_of "$name" && kill -KILL $(ghostscript_of "$name") ||
        fail "$name: no ghostscript" ;;
    esac
    case $action in cancel*) cancel "$printer" "$id" ;; esac
    s=$(wait_job "$printer" "$id" "$limit")
    poll "$limit" none job_processes "$name" || fail "$name: its children outlived it: $(job_processes "$name")"
    say "$name: $s"
    case $s in "$want",*) ;; *) fail "$name: ended '$s', not $want" ;; esac
    printf '%s\n' "$s" | grep -q -E -- "$pattern" || fail "$name: message '$s' does not say /$pattern/"
    out=$W/out/$printer/$name.prn
    [ ! -e "$out" ] || [ -s "$out" ] || fail "$name: left an empty $out"
    wait "$client"
    if [ "$action" = cancel-pending ]; then
      # PAPPL 1.3.1 may start the cancelled job all the same, with no document.
      printer_op Resume-Printer "$printer" || fail "$name: could not resume $printer"
      sleep 1
    fi
  done 3<&0 </dev/null
}

APP_OPTIONS="-o job-stall-time=$STALL"
start_app NORVEX_FILTER="$W/filter.sh"
add_printer orvane norvex-orvane-210
add_printer kavrin norvex-kavrin
# A device whose folder is gone: its jobs wait in PAPPL to start.
mkdir -p "$W/out/gone/folder/dir"
"$APP" add -u "$ADMIN_URI" -d gone -m norvex-kavrin -v "file://$W/out/gone/folder/dir?ext=prn" || die "could not add gone"
rm -r "$W/out/gone/folder"
# A file device on a full file system (root mounts a small tmpfs and fills it).
mkdir -p "$W/out/full"
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=256k tmpfs "$W/out/full" 2>"$W/full.skip"; then
  MOUNTS="$W/out/full"
  dd if=/dev/zero of="$W/out/full/filler" bs=4k 2>/dev/null
  "$APP" add -u "$ADMIN_URI" -d full -m norvex-kavrin -v "file://$W/out/full?ext=prn" || die "could not add full"
else
  [ -s "$W/full.skip" ] || echo "not root" >"$W/full.skip"
fi
# An AppSocket printer that takes the connection and closes it.
perl -MIO::Socket::INET -e '
  my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1", LocalPort => 0, Listen => 5, ReuseAddr => 1) or die;
  open(my $p, ">", "$ARGV[0].new") or die; print $p $s->sockport, "\n"; close $p; rename("$ARGV[0].new", $ARGV[0]);
  while (my $c = $s->accept) { close $c; }' "$W/port" </dev/null >/dev/null &
HELPERS=$!
poll 5 test -s "$W/port" || die "no listener"
"$APP" add -u "$ADMIN_URI" -d peer -m norvex-kavrin -v "socket://127.0.0.1:$(cat "$W/port")" || die "could not add peer"
pipes_before=$(server_pipes)

# orvane prints at 1200 dpi by default (print-quality normal), so its PDF is
# an A4 page at 1200 dpi under the default memory bound.
run_table <<ROWS
# name           printer document format                    action          state     seconds pattern
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
# Each printer prints after all that, and says so.
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
: >"$W/slow-open.id"
submit orvane "$W/doc.pwg" image/pwg-raster slow-open >"$W/slow-open.id" &
open_client=$!
open_id=$(job_id orvane slow-open)
poll 30 some job_processes slow-open || fail "slow-open: no filter"
loop_id=$(submit kavrin "$W/loop.ps" application/postscript loop-fds)
poll 30 some ghostscript_of loop-fds || fail "loop-fds: no ghostscript"
for pid in $(job_processes loop-fds); do
  if [ "$(cat "/proc/$pid/comm")" = gs ]; then
    for fd in $(ls "/proc/$pid/fd"); do
      [ "$fd" -le 2 ] && continue
      target=$(readlink "/proc/$pid/fd/$fd") || continue # closed meanwhile
      case $target in /dev/null | "$W/spool/"* | "$W/tmp/"* | /usr/share/ghostscript/*) ;; *) fail "ghostscript holds $fd -> $target" ;; esac
    done
  else
    fds=$(ls "/proc/$pid/fd" | sort -n | tr '\n' ' ')
    [ "$fds" = "0 1 2 " ] || fail "the filter holds descriptors $fds: $(ls -l "/proc/$pid/fd" | tail -n +2)"
  fi
done
for job in "orvane $open_id" "kavrin $loop_id"; do
  set -- $job
  cancel "$1" "$2"
  s=$(wait_job "$1" "$2" 10)
  case $s in canceled,*) ;; *) fail "job $2 of $1 ended '$s', not canceled" ;; esac
done
wait "$open_client"
poll 10 no_leftovers || fail "processes left: $(leftovers)"
[ "$(server_pipes)" -eq "$pipes_before" ] || fail "the server holds $(server_pipes) pipes, $pipes_before before the jobs"
check_clean

# A filter that cannot start: each job says why, and leaves no output file and no pipe.
start_app NORVEX_FILTER="$W/no-such-filter"
add_printer lost norvex-kavrin
pipes_before=$(server_pipes)
run_table <<ROWS
lost-pwg         lost    doc.pwg  image/pwg-raster          none            aborted   30 Unable to start the printer driver: No such file
lost-pdf         lost    doc.pdf  application/pdf           none            aborted   30 Unable to start the printer driver: No such file
ROWS
[ -z "$(ls "$W/out/lost")" ] || fail "a filter that cannot start left $(ls "$W/out/lost")"
[ "$(server_pipes)" -eq "$pipes_before" ] || fail "the server holds $(server_pipes) pipes, $pipes_before before the jobs"
check_clean
exit "$FAILED"
