# Shared by the Printer Application tests: a private server on a free loopback
# port with its state, spool and temporary files in one tree ($W), its jobs
# followed with ipptool, and everything stopped and removed on exit.
# Set before sourcing: APP (the app binary), and APP_TEST_DIR (this folder)
# when the sourcing script lives elsewhere. Provides W, PORT, URI, fail, ...
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH
HERE=${APP_TEST_DIR:-$(cd "$(dirname "$0")" && pwd)}
. "$HERE/../server_lib.sh"
FAILED=0
APP_PID=
say() { printf '%s\n' "$*"; }
fail() { say "FAIL: $*"; FAILED=1; }
die() { say "FAIL: $*"; exit 1; }

for tool in ipptool curl shuf; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool not installed (see scripts/setup.sh)"
done
[ -x "$APP" ] || die "$APP missing"

W=$(mktemp -d "${TMPDIR:-/tmp}/norvex-app.XXXXXX") || die "no temporary folder"
chmod 0755 "$W"
mkdir -p "$W/spool" "$W/tmp" "$W/out"

# PAPPL 1.3.1's shutdown sub-command ignores -u and asks the server on the
# command socket, which PAPPL places by user (/run/APP.sock for root) unless
# SNAP_COMMON names its folder: each test server has its own in $W, or one
# test's shutdown would stop whichever server bound the shared socket last.
app_command() { env SNAP_COMMON="$W" "$APP" "$@"; }

stop_app() {
  [ -n "$APP_PID" ] || return 0
  app_command shutdown >/dev/null 2>&1
  wait_stopped "$APP_PID" TERM
  APP_PID=
}

# Processes the server started (filters, ghostscript) carry our TMPDIR.
leftover_processes() { processes_with_env "TMPDIR=$W/tmp"; }

cleanup() {
  status=$?
  stop_app
  command -v cupsd_stop >/dev/null 2>&1 && cupsd_stop
  for pid in $(leftover_processes); do kill -KILL "$pid" 2>/dev/null; done
  [ "${APP_TEST_KEEP:-0}" = 1 ] && say "kept $W" || rm -rf "$W"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# start_app [ENV=VALUE...]: the server on a free port, ready when it answers.
start_app() {
  for attempt in 1 2 3 4 5; do
    PORT=$(shuf -i 20000-60000 -n 1)
    URI=ipp://localhost:$PORT
    env TMPDIR="$W/tmp" SNAP_COMMON="$W" "$@" "$APP" server -o server-port="$PORT" -o listen-hostname=localhost \
      -o server-hostname=localhost -o log-file="$W/app.log" -o log-level=info \
      -o spool-directory="$W/spool" -o state-file="$W/app.state" -o tls=no </dev/null &
    APP_PID=$!
    i=0
    while [ $i -lt 100 ]; do
      kill -0 "$APP_PID" 2>/dev/null || break
      curl -s -o /dev/null "http://localhost:$PORT/" && return 0
      sleep 0.1; i=$((i + 1))
    done
    kill -TERM "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null; APP_PID=
  done
  die "the server did not start (log: $(tail -3 "$W/app.log" 2>/dev/null))"
}

# add_printer NAME DRIVER: a printer whose device writes $W/out/NAME/JOBNAME.prn.
add_printer() {
  mkdir -p "$W/out/$1"
  "$APP" add -u "$URI/ipp/system" -d "$1" -m "$2" -v "file://$W/out/$1?ext=prn" ||
    die "could not add printer $1 ($2)"
}

# job_state PRINTER ID: "state,impressions,message".
job_state() {
  ipptool -c -d job_id="$2" "$URI/ipp/print/$1" "$HERE/job_state.test" 2>/dev/null | tail -1
}

# wait_job PRINTER ID: waits for a final state and prints job_state.
wait_job() {
  i=0
  while [ $i -lt 600 ]; do
    s=$(job_state "$1" "$2")
    case $s in completed*|aborted*|canceled*) say "$s"; return 0 ;; esac
    sleep 0.1; i=$((i + 1))
  done
  say "timeout,$s"
}

# submit PRINTER FILE FORMAT JOBNAME [SIDES]: prints the new job's id.
submit() {
  ipptool -c -d filetype="$3" -d jobname="$4" -d sides="${5:-one-sided}" -f "$2" \
    "$URI/ipp/print/$1" "$HERE/print_named.test" 2>/dev/null | tail -1
}

# Lines of a decoded listing that differ between two runs of the same job:
# clock, owner, host, title and job number.
stable_listing() {
  "$DECODER" "$1" | sed 's/^ *[0-9]* *//' |
    grep -v -E 'date=|JOBTIME|JOBOWNER|JOBNAME|HOSTNAME|@PJL SET|@PJL JOB|@PJL EOJ' |
    sed 's/job=[0-9]*//; s/checksum=0x[0-9A-F]* computed=0x[0-9A-F]*//'
}

# same_stream APP_OUT REFERENCE: the two printer streams are byte for byte the
# same except inside the commands that carry the clock (the decoder's listing
# of APP_OUT locates them).
same_stream() {
  [ "$(wc -c <"$1")" -eq "$(wc -c <"$2")" ] || { say "sizes differ: $(wc -c <"$1") vs $(wc -c <"$2")"; return 1; }
  "$DECODER" "$1" | awk -v total="$(wc -c <"$1")" '
    { off[NR] = $1; clock[NR] = ($0 ~ /date=|JOBTIME|JOBOWNER/) }
    END { off[NR + 1] = total
          for (i = 1; i <= NR; i++) if (clock[i]) print off[i] + 1, off[i + 1] }' >"$W/clock.ranges"
  cmp -l "$1" "$2" | awk 'NR == FNR { lo[NR] = $1; hi[NR] = $2; n = NR; next }
    { ok = 0; for (i = 1; i <= n; i++) if ($1 >= lo[i] && $1 <= hi[i]) ok = 1
      if (!ok) { print "byte " $1 " differs outside the clock commands"; bad = 1; exit } }
    END { exit bad }' "$W/clock.ranges" -
}

# black_per_page DIR: the count of bytes with black dots of each page image.
black_per_page() {
  for page in "$1"/page-*.pbm; do tr -d '\000' <"$page" | wc -c; done | tr '\n' ' '
}

# A 3-page A4 document; page N carries N black bars, so the pages' order shows.
make_document() {
  cat >"$W/doc.ps" <<'PS'
%!PS
/bar { 72 exch 451 36 rectfill } def
1 1 3 { /n exch def 1 1 n { 100 mul 600 exch sub bar } for showpage } for
PS
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
    -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$W/doc.pwg" "$W/doc.ps" ||
    die "ghostscript could not make the test raster"
}
