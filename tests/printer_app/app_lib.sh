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
APP_OPTIONS= APP_WRAP=
# The test's own helper processes (listeners) and the file systems it mounted
# under $W: stopped and unmounted at exit.
HELPERS=
MOUNTS=
say() { printf '%s\n' "$*"; }
fail() { say "FAIL: $*"; FAILED=1; }
die() { say "FAIL: $*"; exit 1; }

for tool in ipptool curl shuf; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool not installed (see scripts/setup.sh)"
done
[ -x "$APP" ] || die "$APP missing"

W=$(mktemp -d "${TMPDIR:-/tmp}/norvex-app.XXXXXX") || die "no temporary folder"
chmod 0755 "$W"
mkdir -p "$W/spool" "$W/tmp" "$W/out" "$W/run"

# The server's command socket: root's server keeps it in the folder the test
# names, a user's under its TMPDIR. Whoever reaches it administers the server
# without a password, so every administrative request of the tests uses it.
if [ "$(id -u)" -eq 0 ]; then SOCKET=$W/run/norvex-printer-app.sock; else SOCKET=$W/tmp/norvex-printer-app$(id -u).sock; fi
ADMIN_URI="ipp://$(printf '%s' "$SOCKET" | sed 's|/|%2F|g')/ipp/system"
# A sub-command on the server's socket without naming it, as root runs them:
# the environment points the client at the test's socket folder.
app_command() { env SNAP_COMMON="$W/run" "$APP" "$@"; }

# SIGTERM: PAPPL finishes the job in hand, saves its state and stops (its
# "shutdown" command would stop whichever server has the default socket).
stop_app() {
  [ -n "$APP_PID" ] || return 0
  kill -TERM "$APP_PID" 2>/dev/null
  wait_stopped "$APP_PID" KILL
  APP_PID=
}

# Processes the server started (filters, ghostscript) carry its NORVEX_APP_TEST.
leftover_processes() { processes_with_env "NORVEX_APP_TEST=$W" | grep -v -x "${APP_PID:-none}"; }

# make_admin (root): a throw-away administrator, ADMIN_USER with
# ADMIN_PASSWORD in the throw-away group ADMIN_GROUP that the server is then
# given as its admin group, and OTHER_USER (same password), who is not one;
# removed at exit.
make_admin() {
  ADMIN_GROUP=nvxadm$$ ADMIN_USER=nvxadm$$ OTHER_USER=nvxusr$$
  ADMIN_PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  groupadd "$ADMIN_GROUP" || die "groupadd"
  useradd -M -N -g "$ADMIN_GROUP" -s /usr/sbin/nologin "$ADMIN_USER" || die "useradd $ADMIN_USER"
  useradd -M -N -s /usr/sbin/nologin "$OTHER_USER" || die "useradd $OTHER_USER"
  printf '%s:%s\n%s:%s\n' "$ADMIN_USER" "$ADMIN_PASSWORD" "$OTHER_USER" "$ADMIN_PASSWORD" | chpasswd || die "chpasswd"
  APP_OPTIONS="$APP_OPTIONS -o admin-group=$ADMIN_GROUP"
}
remove_admin() {
  for account in "${ADMIN_USER:-}" "${OTHER_USER:-}"; do [ -n "$account" ] && userdel "$account" 2>/dev/null; done
  [ -n "${ADMIN_GROUP:-}" ] && groupdel "$ADMIN_GROUP" 2>/dev/null
}

cleanup() {
  status=$?
  stop_app
  remove_admin
  command -v cupsd_stop >/dev/null 2>&1 && cupsd_stop
  for pid in $(leftover_processes); do kill -KILL "$pid" 2>/dev/null; done
  for pid in $HELPERS; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for dir in $MOUNTS; do umount "$dir"; done
  [ "${APP_TEST_KEEP:-0}" = 1 ] && say "kept $W" || rm -rf "$W"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# start_app [ENV=VALUE...] [-o NAME=VALUE...]: the server on a free port, with
# those variables and server options (and $APP_OPTIONS, run under $APP_WRAP),
# ready when it answers. File devices live under $W/out.
start_app() {
  variables= options=
  while [ $# -gt 0 ]; do
    case $1 in
      -o) options="$options -o $2"; shift 2 ;;
      *) variables="$variables $1"; shift ;;
    esac
  done
  for attempt in 1 2 3 4 5; do
    PORT=$(shuf -i 20000-60000 -n 1)
    URI=ipp://localhost:$PORT
    # shellcheck disable=SC2086
    $APP_WRAP env TMPDIR="$W/tmp" NORVEX_APP_TEST="$W" $variables "$APP" server -o server-port="$PORT" \
      -o listen-hostname=localhost -o server-hostname=localhost -o log-file="$W/app.log" -o log-level=info \
      -o spool-directory="$W/spool" -o state-file="$W/app.state" -o tls=no \
      -o file-device-directory="$W/out" -o socket-directory="$W/run" $options $APP_OPTIONS </dev/null &
    APP_PID=$!
    i=0
    while [ $i -lt 100 ]; do
      kill -0 "$APP_PID" 2>/dev/null || break
      # Ours answers, on the port and on our socket, and is still running.
      $APP_WRAP curl -s -o /dev/null "http://localhost:$PORT/" && [ -S "$SOCKET" ] && kill -0 "$APP_PID" 2>/dev/null &&
        return 0
      sleep 0.1; i=$((i + 1))
    done
    kill -TERM "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null; APP_PID=
  done
  die "the server did not start (log: $(tail -3 "$W/app.log" 2>/dev/null))"
}

# add_printer NAME DRIVER: a printer whose device writes $W/out/NAME/JOBNAME.prn.
add_printer() {
  mkdir -p "$W/out/$1"
  "$APP" add -u "$ADMIN_URI" -d "$1" -m "$2" -v "file://$W/out/$1?ext=prn" ||
    die "could not add printer $1 ($2)"
}

# job_state PRINTER ID: "state,impressions,message".
job_state() {
  ipptool -c -d job_id="$2" "$URI/ipp/print/$1" "$HERE/job_state.test" 2>/dev/null | tail -1
}

# job_done PRINTER ID: true once the job has ended (PAPPL shows a job aborted
# before it has finished with it).
job_done() {
  ipptool -q -d job_id="$2" "$URI/ipp/print/$1" "$HERE/job_done.test" 2>/dev/null
}

# wait_job PRINTER ID [SECONDS]: waits until the job has ended (60 s by default)
# and prints job_state.
wait_job() {
  i=0
  while [ $i -lt $((${3:-60} * 10)) ]; do
    job_done "$1" "$2" && { job_state "$1" "$2"; return 0; }
    sleep 0.1; i=$((i + 1))
  done
  say "timeout,$(job_state "$1" "$2")"
}

# submit PRINTER FILE FORMAT JOBNAME [SIDES]: prints the new job's id. A
# printer takes one job at a time and refuses the next busy: the request is
# sent again, as CUPS's ipp backend does, for up to 30 s.
submit() {
  i=0
  while [ $i -lt 150 ]; do
    # -f first: it sets filetype from the file name, and a job may be mislabelled.
    id=$(ipptool -c -f "$2" -d filetype="$3" -d jobname="$4" -d sides="${5:-one-sided}" \
      "$URI/ipp/print/$1" "$HERE/print_named.test" 2>/dev/null | tail -1)
    case $id in [0-9]*) say "$id"; return 0 ;; esac
    sleep 0.2; i=$((i + 1))
  done
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

# make_bar_documents: doc.ps, .pdf, .pwg (600 dpi), .jpg and .png (page 1, at
# 100 dpi) of 3 A4 pages, page N carrying one bar N x 100 pt long and 36 pt
# wide across its top; land.pdf, one landscape A4 page with one such bar.
make_bar_documents() {
  cat >"$W/doc.ps" <<'PS'
%!PS
<< /PageSize [595 842] >> setpagedevice
1 1 3 { 100 mul 72 720 3 -1 roll 36 rectfill showpage } for
PS
  cat >"$W/land.ps" <<'PS'
%!PS
<< /PageSize [842 595] >> setpagedevice
72 480 100 36 rectfill showpage
PS
  gs_make() { gs -q -dBATCH -dNOPAUSE -dSAFER "$@" || die "ghostscript could not make $*"; }
  gs_make -sDEVICE=pdfwrite -sOutputFile="$W/doc.pdf" "$W/doc.ps"
  gs_make -sDEVICE=pdfwrite -sOutputFile="$W/land.pdf" "$W/land.ps"
  gs_make -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$W/doc.pwg" "$W/doc.ps"
  gs_make -sDEVICE=jpeggray -r100 -dLastPage=1 -sOutputFile="$W/doc.jpg" "$W/doc.ps"
  gs_make -sDEVICE=pnggray -r100 -dLastPage=1 -sOutputFile="$W/doc.png" "$W/doc.ps"
}

# decoded_sides OUTPUT: one token per printed side of a stream of
# make_bar_documents' pages: the page's number (its bar is that many times as
# long as it is wide), "p" or "l" as the bar lies across or along the sheet,
# "*N" for a page the printer repeats N times, "-" for a blank side; then
# "|" and the dots per inch of the first page.
decoded_sides() {
  "$DECODER" --check --quiet --ink "$1" | awk '
    /^ink:/ { n++
      if ($3 == "none") { side[n] = "-"; next }
      split($3, c, /[,-]/); w = c[3] - c[1] + 1; h = c[4] - c[2] + 1
      long = w > h ? w : h; short = w > h ? h : w
      side[n] = int(long / short * 36 / 100 + 0.5) (w > h ? "p" : "l") }
    /^summary:/ { k = 0
      while (match($0, /copies=[0-9]+ size=[0-9]+/)) { k++
        split(substr($0, RSTART, RLENGTH), f, /[= ]/)
        if (f[2] > 1 && side[k] != "-") side[k] = side[k] "*" f[2]
        if (k == 1) width = f[4]
        $0 = substr($0, RSTART + RLENGTH) }
      for (i = 1; i <= n; i++) printf "%s%s", side[i], (i < n ? " " : "")
      # Dots across an A4 sheet, less its margins: 600 or 1200 dpi.
      printf "|%d\n", (width > 7000 ? 1200 : 600) }'
}

