# The Printer Application on a private loopback server with its state, spool
# and files in $W, its jobs sent and followed with ipptool. The tests' arguments
# are APP FILTER PPD_DIR NORVEXDECODE SAMPLE (app_package.sh's follow them);
# scripts elsewhere set APP and APP_TEST_DIR before sourcing.
[ -n "${APP:-}" ] || { APP=$1 FILTER=$2 PPD_DIR=$3 DECODER=$4 SAMPLE=$5; }
HERE=${APP_TEST_DIR:-$(cd "$(dirname "$0")" && pwd)}
. "$HERE/../server_lib.sh"
# libpappl's client sub-commands leave option lists unfreed at exit; the
# filter's own leak checks run in the other tests.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
APP_OPTIONS=
[ -x "$APP" ] || die "$APP missing"
mkdir -p "$W/spool" "$W/tmp" "$W/out" "$W/run"
: >"$W/busy"

# Whoever reaches the command socket administers the server without a
# password: every administrative request of the tests uses it.
if [ "$(id -u)" -eq 0 ]; then SOCKET=$W/run/norvex-printer-app.sock; else SOCKET=$W/tmp/norvex-printer-app$(id -u).sock; fi
ADMIN_URI="ipp://$(printf '%s' "$SOCKET" | sed 's|/|%2F|g')/ipp/system"
app_command() { env SNAP_COMMON="$W/run" "$APP" "$@"; }
stop_app() { [ -z "$APP_PID" ] || stop_pid "$APP_PID"; APP_PID=; }

# make_admin (root): ADMIN_USER in group ADMIN_GROUP, the server's admin
# group, and OTHER_USER, who is not an administrator; both with ADMIN_PASSWORD.
make_admin() {
  ADMIN_GROUP=nvxadm$$ ADMIN_USER=nvxadm$$ OTHER_USER=nvxusr$$ ON_EXIT="$ON_EXIT remove_admin"
  ADMIN_PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
  groupadd "$ADMIN_GROUP" && useradd -M -N -g "$ADMIN_GROUP" -s /usr/sbin/nologin "$ADMIN_USER" &&
    useradd -M -N -s /usr/sbin/nologin "$OTHER_USER" &&
    printf '%s:%s\n%s:%s\n' "$ADMIN_USER" "$ADMIN_PASSWORD" "$OTHER_USER" "$ADMIN_PASSWORD" | chpasswd ||
    die "could not make the test accounts"
  APP_OPTIONS="$APP_OPTIONS -o admin-group=$ADMIN_GROUP"
}
remove_admin() { userdel "$ADMIN_USER"; userdel "$OTHER_USER"; groupdel "$ADMIN_GROUP"; } 2>/dev/null

# start_app [ENV=VALUE...]: the server on a free port with those variables
# and $APP_OPTIONS, run under $APP_WRAP, once it serves. File devices live under $W/out.
start_app() {
  for attempt in 1 2 3 4 5; do
    PORT=$(shuf -i 20000-60000 -n 1)
    URI=ipp://localhost:$PORT
    # shellcheck disable=SC2086
    $APP_WRAP env TMPDIR="$W/tmp" NORVEX_APP_TEST="$W" "$@" "$APP" server -o server-port="$PORT" \
      -o listen-hostname=localhost -o server-hostname=localhost -o log-file="$W/app.log" -o log-level=info \
      -o spool-directory="$W/spool" -o state-file="$W/app.state" -o tls=no \
      -o file-device-directory="$W/out" -o socket-directory="$W/run" $APP_OPTIONS </dev/null &
    APP_PID=$!
    poll 10 serving && return 0
    stop_app
  done
  die "the server did not start: $(tail -3 "$W/app.log" 2>/dev/null)"
}
serving() { ! gone "$APP_PID" && $APP_WRAP curl -s -m 20 -o /dev/null "http://localhost:$PORT/" && timeout 20 "$APP" status -u "$ADMIN_URI" >/dev/null 2>&1; }

# add_printer NAME DRIVER: a printer whose device writes $W/out/NAME/JOBNAME.prn.
add_printer() {
  mkdir -p "$W/out/$1"
  "$APP" add -u "$ADMIN_URI" -d "$1" -m "$2" -v "file://$W/out/$1?ext=prn" || die "could not add printer $1 ($2)"
}

# wait_job PRINTER ID [SECONDS]: "state,impressions,message" once the job has
# ended, within 60 s by default, else with "timeout," before it.
wait_job() { poll "${3:-60}" job_done "$URI/ipp/print/$1" "$2" || printf 'timeout,'; job_state "$URI/ipp/print/$1" "$2"; }
# printer_op OPERATION PRINTER: Pause-Printer, Resume-Printer ... as root on the socket.
printer_op() { ipptool -q -d op="$1" "${ADMIN_URI%/ipp/system}/ipp/print/$2" "$W/printer-op.test"; }
cancel() { $APP_WRAP ipptool -q -d job_id="$2" "$URI/ipp/print/$1" "$W/cancel-job.test" || fail "Cancel-Job of job $2 on $1 refused"; }

# submit PRINTER FILE FORMAT NAME [ATTRIBUTE=VALUE...]: the new job's id, or
# nothing when refused (the answer kept in $W/NAME.refused); $OWNER sends it.
# A printer takes one job at a time and refuses the next busy: as CUPS's ipp
# backend does, the request is sent again every half second (each busy answer
# a line of $W/busy), up to 5 minutes.
submit() (
  printer=$1 file=$2 format=$3 name=$4
  shift 4
  {
    printf '{ OPERATION Print-Job %s ATTR uri printer-uri $uri\n' "$HEAD"
    printf 'ATTR name requesting-user-name %s ATTR name job-name "%s" ATTR mimeMediaType document-format %s\n' \
      "${OWNER:-\$user}" "$name" "$format"
    printf 'GROUP job-attributes-tag\n'
    for attribute; do
      case ${attribute%%=*} in
        copies) type=integer ;;
        page-ranges) type=rangeOfInteger ;;
        orientation-requested | print-quality) type=enum ;;
        printer-resolution) type=resolution ;;
        *) type=keyword ;;
      esac
      printf 'ATTR %s %s %s\n' "$type" "${attribute%%=*}" "${attribute#*=}"
    done
    printf 'FILE $filename STATUS successful-ok DISPLAY job-id }\n'
  } >"$W/$name.test"
  for try in $(seq 600); do
    timeout 120 $APP_WRAP ipptool -tv -f "$file" "$URI/ipp/print/$printer" "$W/$name.test" >"$W/$name.refused" 2>&1
    id=$(sed -n 's/^ *job-id (integer) = \([0-9]*\)$/\1/p' "$W/$name.refused" | head -1)
    [ -n "$id" ] && { rm "$W/$name.refused"; say "$id"; return 0; }
    grep -q "server-error-busy" "$W/$name.refused" || return 1
    echo "$name" >>"$W/busy"
    sleep 0.5
  done
  return 1
)

# The server still serves and left nothing in its spool and temporary folders.
check_clean() {
  serving || fail "the server does not serve"
  stop_app
  for dir in "$W/tmp" "$W/spool"; do [ -z "$(ls -A "$dir")" ] || fail "left in $dir: $(ls -A "$dir")"; done
}

# ipp_failures OUTPUT: the tests an "ipptool -t" run failed, "name|what each
# expected", less two Create-Jobs sent while the file's previous job still
# prints: a printer takes one job at a time and refuses them busy, and test
# files, unlike clients, do not send them again (the tests needing them skip).
ipp_failures() {
  awk '/\[(PASS|SKIP|FAIL)\]$/ { if (name != "") print name "|" wants; name = wants = "" }
    /\[FAIL\]$/ { name = $0; sub(/ *\[FAIL\]$/, "", name); sub(/^ */, "", name) }
    /EXPECTED: / && name != "" { w = $0; sub(/.*EXPECTED: /, "", w); sub(/ .*/, "", w)
      if (index(" " wants " ", " " w " ") == 0) wants = wants (wants == "" ? "" : " ") w }
    END { if (name != "") print name "|" wants }' "$1" |
    grep -v -E '^(RFC 8011 section 4.2.4|Send-Document missing last-document): Create-Job Operation[|]STATUS '
}

# same_stream APP_OUT REFERENCE: the two printer streams are byte for byte the
# same except inside the commands that carry the clock (located by the
# decoder's listing of APP_OUT).
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

# ghostscript OUTPUT INPUT OPTIONS...: $W/OUTPUT made from $W/INPUT.
ghostscript() {
  gs_out=$1 gs_in=$2
  shift 2
  gs -q -dBATCH -dNOPAUSE -dSAFER "$@" -sOutputFile="$W/$gs_out" "$W/$gs_in" >/dev/null || die "ghostscript could not make $gs_out"
}
# make_documents: doc.ps, .pdf, .pwg (600 dpi), .jpg and .png (page 1, at 100
# dpi) of 3 A4 pages, page N carrying one bar N x 100 pt long and 36 pt wide
# across its top; land.pdf, one landscape A4 page with one such bar; doc.txt.
make_documents() {
  printf '%%!PS\n<< /PageSize [595 842] >> setpagedevice\n1 1 3 { 100 mul 72 720 3 -1 roll 36 rectfill showpage } for\n' \
    >"$W/doc.ps"
  printf '%%!PS\n<< /PageSize [842 595] >> setpagedevice\n72 480 100 36 rectfill showpage\n' >"$W/land.ps"
  printf 'plain text\n' >"$W/doc.txt"
  while read -r out in options; do
    # shellcheck disable=SC2086
    ghostscript "$out" "$in" $options
  done <<'ROWS'
doc.pdf doc.ps -sDEVICE=pdfwrite
land.pdf land.ps -sDEVICE=pdfwrite
doc.pwg doc.ps -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8
doc.jpg doc.ps -sDEVICE=jpeggray -r100 -dLastPage=1
doc.png doc.ps -sDEVICE=pnggray -r100 -dLastPage=1
ROWS
}

# decoded_sides OUTPUT: one token per printed side of a stream of
# make_documents' pages: the page's number (its bar is that many times as
# long as it is wide), "p" or "l" as the bar lies across or along the sheet,
# "*N" for a page the printer repeats N times, "-" for a blank side; then
# "|" and the dots per inch of the first page.
decoded_sides() {
  "$DECODER" --check --quiet --ink "$1" >"$1.ink" 2>&1 || { say "undecodable: $(tail -1 "$1.ink")"; return; }
  awk '
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
      printf "|%d\n", (width > 7000 ? 1200 : 600) }' "$1.ink"
}
