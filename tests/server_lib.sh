# Shared by the tests that run private servers (the Printer Application, cupsd):
# one temporary tree $W, polling, job state over IPP, a private cupsd, and on
# exit everything stopped and removed, failing if a process of theirs outlives them.
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH
FAILED=0 APP_PID= APP_WRAP= CUPSD_PID= HELPERS= MOUNTS= ON_EXIT=
say() { printf '%s\n' "$*"; }
fail() { say "FAIL: $*"; FAILED=1; }
die() { say "FAIL: $*"; exit 1; }
need_root() { [ "$(id -u)" -eq 0 ] || { say "SKIP: must run as root ($1)"; exit 77; }; }
for tool in ipptool curl shuf gs; do command -v $tool >/dev/null 2>&1 || die "$tool not installed (see scripts/setup.sh)"; done

# poll SECONDS COMMAND...: true once COMMAND succeeds, tried every 0.1 s.
poll() {
  _poll=$(($1 * 10))
  shift
  until "$@"; do
    [ "$_poll" -gt 0 ] || return 1
    sleep 0.1
    _poll=$((_poll - 1))
  done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
# stop_pid PID: SIGTERM, 5 s to end, then SIGKILL; reaped.
stop_pid() {
  kill -TERM "$1" 2>/dev/null
  poll 5 gone "$1" || kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

W=$(mktemp -d "${TMPDIR:-/tmp}/norvex-srv.XXXXXX") || die "no temporary folder"
chmod 0755 "$W"

# The servers' children carry the tree in their environment.
leftovers() {
  grep -lsz -x -e "NORVEX_APP_TEST=$W" -e "CUPS_SERVERROOT=$W/cups/etc" /proc/[0-9]*/environ 2>/dev/null |
    sed 's|/proc/\([0-9]*\)/environ|\1|' | grep -v -x "${APP_PID:-none}"
}
no_leftovers() { [ -z "$(leftovers)" ]; }

cleanup() {
  status=$?
  [ -n "$APP_PID" ] && stop_pid "$APP_PID"
  [ -n "$CUPSD_PID" ] && stop_pid "$CUPSD_PID"
  for hook in $ON_EXIT; do $hook; done
  if ! poll 10 no_leftovers; then
    say "FAIL: processes left: $(leftovers | tr '\n' ' ')"
    kill -KILL $(leftovers) 2>/dev/null
    status=1
  fi
  for pid in $HELPERS; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  for dir in $MOUNTS; do umount "$dir"; done
  rm -rf "$W"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# IPP requests for ipptool: a job's "state,impressions,message", which fails
# with done=1 until PAPPL has ended the job (it shows a job aborted before);
# Cancel-Job as $owner; operation $op on a printer or, for printer-id 1, on the system.
HEAD='GROUP operation-attributes-tag ATTR charset attributes-charset utf-8
  ATTR language attributes-natural-language en'
cat >"$W/job-state.test" <<EOF
{ OPERATION Get-Job-Attributes $HEAD ATTR uri printer-uri \$uri ATTR integer job-id \$job_id
  ATTR name requesting-user-name \$user STATUS successful-ok
  ATTR keyword requested-attributes job-state,job-impressions-completed,job-state-message,time-at-completed
  EXPECT time-at-completed OF-TYPE integer IF-DEFINED done
  DISPLAY job-state DISPLAY job-impressions-completed DISPLAY job-state-message }
EOF
cat >"$W/queue-empty.test" <<EOF
{ OPERATION Get-Jobs $HEAD ATTR uri printer-uri \$uri ATTR name requesting-user-name \$user
  ATTR keyword which-jobs not-completed STATUS successful-ok EXPECT !job-id }
EOF
cat >"$W/cancel-job.test" <<EOF
DEFINE-DEFAULT owner \$user
{ OPERATION Cancel-Job $HEAD ATTR uri printer-uri \$uri ATTR integer job-id \$job_id
  ATTR name requesting-user-name \$owner STATUS successful-ok }
EOF
cat >"$W/printer-op.test" <<EOF
{ OPERATION \$op $HEAD ATTR uri printer-uri \$uri ATTR name requesting-user-name \$user
  GROUP printer-attributes-tag ATTR text printer-location "Moved by a test" STATUS successful-ok }
EOF
cat >"$W/system-op.test" <<EOF
{ OPERATION \$op $HEAD ATTR uri system-uri \$uri ATTR name requesting-user-name \$user
  ATTR integer printer-id 1 GROUP system-attributes-tag ATTR integer system-default-printer-id 1
  STATUS successful-ok }
EOF
# job_state QUEUE_URI ID; job_done QUEUE_URI ID; queue_empty QUEUE_URI: no job pending, held or processing.
job_state() { $APP_WRAP ipptool -c -d job_id="$2" "$1" "$W/job-state.test" 2>/dev/null | tail -1; }
job_done() { $APP_WRAP ipptool -q -d done=1 -d job_id="$2" "$1" "$W/job-state.test" 2>/dev/null; }
queue_empty() { $APP_WRAP ipptool -q "$1" "$W/queue-empty.test" 2>/dev/null; }

# cupsd_start: a private cupsd on a free loopback port with its tree in
# $W/cups, which lp (who runs its filters) must reach; ServerBin and DataDir
# link to the system's, with no filter or PPD of ours. Clients find it by $CUPS_SERVER.
CW=$W/cups
cupsd_start() {
  command -v cupsd >/dev/null 2>&1 || { say "SKIP: cupsd not installed (Debian package cups)"; exit 77; }
  serverbin=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
  datadir=$(cups-config --datadir 2>/dev/null || echo /usr/share/cups)
  mkdir -p "$CW/etc" "$CW/spool/tmp" "$CW/cache" "$CW/state" "$CW/log" "$CW/out" "$CW/serverbin/filter" \
    "$CW/serverbin/driver" "$CW/share/model/norvex" || die "mkdir"
  chmod 0755 "$CW" "$CW/serverbin" "$CW/serverbin/filter" "$CW/serverbin/driver" "$CW/share" "$CW/share/model" "$CW/share/model/norvex" "$CW/out"
  runuser -u lp -- test -x "$CW" || die "user lp cannot enter $CW"
  for d in backend cgi-bin daemon monitor notifier; do [ -e "$serverbin/$d" ] && ln -s "$serverbin/$d" "$CW/serverbin/"; done
  for f in "$serverbin"/filter/*; do
    case ${f##*/} in rastertoNorvex | norvexdecode) ;; *) ln -s "$f" "$CW/serverbin/filter/" ;; esac
  done
  for f in "$datadir"/*; do [ "${f##*/}" = model ] || [ "${f##*/}" = drv ] || ln -s "$f" "$CW/share/"; done
  printf '%s\n' "ServerRoot $CW/etc" "ServerBin $CW/serverbin" "DataDir $CW/share" "RequestRoot $CW/spool" \
    "TempDir $CW/spool/tmp" "CacheDir $CW/cache" "StateDir $CW/state" "ErrorLog $CW/log/error_log" \
    "AccessLog $CW/log/access_log" "PageLog $CW/log/page_log" "Printcap $CW/printcap" "FileDevice Yes" \
    "User lp" "Group lp" "SystemGroup root" >"$CW/etc/cups-files.conf"
  # cupsd does not exit when its port is taken: another port is tried. Root
  # administers it over TCP with no password; nothing is browsed or shared.
  for attempt in 1 2 3 4 5; do
    port=$(shuf -i 20000-60000 -n 1)
    printf '%s\n' "LogLevel debug" "Listen 127.0.0.1:$port" "Browsing No" "BrowseLocalProtocols none" \
      "WebInterface No" "DefaultAuthType None" "<Location />" "Order allow,deny" "Allow 127.0.0.1" "</Location>" \
      "<Policy default>" "<Limit All>" "Order deny,allow" "</Limit>" "</Policy>" >"$CW/etc/cupsd.conf"
    : >"$CW/log/error_log"
    cupsd -t -c "$CW/etc/cupsd.conf" -s "$CW/etc/cups-files.conf" >"$CW/log/cupsd-t" 2>&1 ||
      die "cupsd rejects the test configuration: $(cat "$CW/log/cupsd-t")"
    env -u LISTEN_FDS -u LISTEN_PID cupsd -f -c "$CW/etc/cupsd.conf" -s "$CW/etc/cups-files.conf" \
      >"$CW/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!
    poll 10 cupsd_ready "$port" && { export CUPS_SERVER=127.0.0.1:$port; return 0; }
    stop_pid "$CUPSD_PID"
    CUPSD_PID=
  done
  die "cupsd did not start: $(tail -3 "$CW/log/error_log")"
}
cupsd_ready() {
  ! gone "$CUPSD_PID" && grep -q "Listening to 127.0.0.1:$1 on fd" "$CW/log/error_log" &&
    [ "$(lpstat -h "127.0.0.1:$1" -r 2>/dev/null)" = "scheduler is running" ]
}
# cups_wait QUEUE ID: the job's final state; a job whose filter failed stays
# processing-stopped for ever, and is cancelled.
cups_final() { case $(job_state "ipp://$CUPS_SERVER/printers/$1" "$2") in completed* | aborted* | canceled* | processing-stopped*) ;; *) return 1 ;; esac; }
cups_wait() {
  poll 90 cups_final "$1" "$2"
  s=$(job_state "ipp://$CUPS_SERVER/printers/$1" "$2")
  case $s in completed*) ;; *) command cancel "$1-$2" 2>/dev/null ;; esac
  say "$s"
}
# cups_submit QUEUE FILE [LP OPTIONS...]: the job's id. A queue cupsd has just
# made may still refuse the document's type for a moment: lp is tried again.
cups_submit() (
  queue=$1 file=$2
  shift 2
  tries=0
  until reply=$(lp -d "$queue" "$@" "$file" 2>&1); do
    tries=$((tries + 1))
    [ $tries -lt 5 ] || { say "FAIL: lp -d $queue: $reply" >&2; return 1; }
    sleep 1
  done
  reply=${reply#request id is "$queue"-}
  say "${reply%% *}"
)
# page_order STREAM: the page numbers of a printer stream as they come, when it decodes.
page_order() {
  "$DECODER" --check "$1" >"$W/decoded" 2>&1 || { say "undecodable: $(tail -1 "$W/decoded")"; return; }
  grep -o '\[page=[0-9]*' "$W/decoded" | cut -d= -f2 | tr '\n' ' ' | sed 's/ $//'
}
