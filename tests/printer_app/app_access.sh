#!/bin/sh
# The Printer Application against clients that should not get what they ask:
# strangers on this machine and on another host (an address in a private
# network namespace), users who are not administrators, devices that are
# files outside the folder the administrator named, a second server, wrong
# server options. Then what its administrators did outlives it: the state
# file. As root (accounts, network namespace), else skipped.
set -u
. "$(dirname "$0")/app_lib.sh"
need_root "accounts, network namespace"
for tool in ip useradd groupadd chpasswd dbus-daemon; do command -v $tool >/dev/null 2>&1 || die "$tool not installed"; done

# The server listens on 127.0.0.1 and on 192.0.2.10, another host, in a
# namespace of its own; libcups keeps its TLS keys in its ssl folder.
NS=norvex-test-$$ REMOTE=192.0.2.10 HOST=norvex-test-$$.local
SSL=$(cups-config --serverroot 2>/dev/null || echo /etc/cups)/ssl
remove_stage() {
  [ -z "${AVAHI_PID:-}" ] || stop_pid "$AVAHI_PID"
  [ -z "${BUS_PID:-}" ] || kill "$BUS_PID" 2>/dev/null
  ip netns del "$NS" 2>/dev/null
  rm -f "$SSL/$HOST.crt" "$SSL/$HOST.key"
}
ON_EXIT=remove_stage
ip netns add "$NS" && ip netns exec "$NS" ip link set lo up &&
  ip netns exec "$NS" ip addr add "$REMOTE/32" dev lo || die "could not make network namespace $NS"
make_admin
APP_WRAP="ip netns exec $NS"
APP_OPTIONS="$APP_OPTIONS -o listen-hostname=* -o server-hostname=$HOST -o tls=yes"
start_app DBUS_SYSTEM_BUS_ADDRESS="unix:path=$W/bus"
add_printer kavrin norvex-kavrin
make_documents
http() { $APP_WRAP curl -sk -o /dev/null -w '%{http_code}' "$@"; }

# Web pages. who: stranger (no login), admin, other (a user, not an
# administrator), wrong (the admin's name, a wrong password); where: local
# (127.0.0.1), remote (plain HTTP, which PAPPL redirects or upgrades) or tls
# (remote over HTTPS).
while read -r who where method page expected; do
  case $who in
    stranger) login= ;;
    admin) login="$ADMIN_USER:$ADMIN_PASSWORD" ;;
    other) login="$OTHER_USER:$ADMIN_PASSWORD" ;;
    wrong) login="$ADMIN_USER:not-the-password" ;;
  esac
  case $where in
    local) base=http://127.0.0.1:$PORT iface= ;;
    remote) base=http://$REMOTE:$PORT iface="--interface $REMOTE" ;;
    tls) base=https://$REMOTE:$PORT iface="--interface $REMOTE" ;;
  esac
  data=
  [ "$method" = POST ] && data="--data-urlencode device_uri=file:///root/victim.txt"
  # shellcheck disable=SC2086
  code=$(http $iface ${login:+-u "$login"} -X "$method" $data "$base$page")
  [ "$code" = "$expected" ] || fail "$who $where $method $page: HTTP $code, expected $expected"
done <<'ROWS'
stranger local  GET  /               200
stranger local  POST /addprinter     401
stranger local  GET  /logs           401
stranger local  GET  /logfile.txt    401
stranger local  POST /security       401
stranger local  GET  /kavrin/printing 401
stranger local  POST /kavrin/delete  401
stranger remote GET  /addprinter     301
stranger remote POST /addprinter     426
wrong    local  GET  /logs           401
other    tls    GET  /kavrin/printing 403
admin    local  GET  /addprinter     200
admin    tls    GET  /addprinter     200
ROWS
# The administrator's printing defaults (as a browser asks for them) carry a
# Kavrin's vendor options under their labels, each with its help (the first
# and the last of the list, its words made HTML), and the darkness levels by
# name; a script, served to anyone, puts the help beside each control.
$APP_WRAP curl -s -u "$ADMIN_USER:$ADMIN_PASSWORD" -H 'Accept-Language: en-US,en;q=0.9' \
  "http://127.0.0.1:$PORT/kavrin/printing" >"$W/printing.html"
while IFS='|' read -r label help; do
  grep -q "<th>$label:</th>" "$W/printing.html" && grep -q "$help" "$W/printing.html" ||
    fail "printing defaults lack the label '$label' or its help '$help'"
done <<'ROWS'
Toner Save|Prints at the lightest density to save toner.
Fine Mode|The printer&#39;s own fine print mode.
Print Darkness|0% Lightest, 25% Light, 50% Normal, 75% Dark, 100% Darkest.
ROWS
grep -q '<script src="/norvex-help.js">' "$W/printing.html" && [ "$(http "http://127.0.0.1:$PORT/norvex-help.js")" = 200 ] ||
  fail "the printing defaults' help script is not served"
# Device listing browses DNS-SD through avahi-daemon over the system bus:
# above with no bus at all; then with a bus and no daemon (PAPPL would keep
# its DNS-SD lock, and the next printer added would never be announced);
# then with the daemon, if this machine has one to run.
list_devices() {
  code=$(http -u "$ADMIN_USER:$ADMIN_PASSWORD" "http://127.0.0.1:$PORT/addprinter")
  [ "$code" = 200 ] || fail "device listing $1: HTTP $code"
}
cat >"$W/bus.conf" <<BUS
<busconfig><type>system</type><listen>unix:path=$W/bus</listen><auth>EXTERNAL</auth>
<policy context="default"><allow user="*"/><allow own="*"/><allow send_destination="*"/><allow receive_sender="*"/></policy>
</busconfig>
BUS
BUS_PID=$(dbus-daemon --config-file="$W/bus.conf" --fork --print-pid) || die "dbus-daemon"
list_devices "with a system bus and no avahi-daemon"
add_printer announced norvex-kavrin
if command -v avahi-daemon >/dev/null 2>&1 && ! avahi-daemon --check 2>/dev/null; then
  printf '[server]\nuse-ipv6=no\n' >"$W/avahi.conf"
  $APP_WRAP env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$W/bus" avahi-daemon --no-drop-root --no-chroot --no-rlimits \
    -f "$W/avahi.conf" >"$W/avahi.log" 2>&1 &
  AVAHI_PID=$!
  poll 5 grep -q "startup complete" "$W/avahi.log"
  list_devices "with avahi-daemon running"
else
  say "SKIP: avahi-daemon not installed (or one runs already): device listing not tried with DNS-SD answering"
fi
serving || die "the server died listing devices or serving the pages above"
[ ! -e /root/victim.txt ] || fail "a web client created /root/victim.txt"

# Administration through IPP: where: socket (root on the command socket),
# local (127.0.0.1, no login) or remote; the operation on the printer or the system.
while read -r where expected op target; do
  case $where in
    socket) base=${ADMIN_URI%/ipp/system} ;;
    local) base=ipp://127.0.0.1:$PORT ;;
    remote) base=ipp://$REMOTE:$PORT ;;
  esac
  case $target in printer) uri=$base/ipp/print/kavrin ;; system) uri=$base/ipp/system ;; esac
  if $APP_WRAP ipptool -q -d op="$op" "$uri" "$W/$target-op.test" </dev/null 2>/dev/null; then got=ok; else got=refused; fi
  [ "$got" = "$expected" ] || fail "$where $op: $got, expected $expected"
done <<'ROWS'
local  refused Set-Printer-Attributes printer
local  refused Pause-Printer          printer
local  refused Disable-Printer        printer
local  refused Cancel-Current-Job     printer
local  refused Set-System-Attributes  system
local  refused Delete-Printer         system
remote refused Disable-Printer        printer
remote refused Delete-Printer         system
socket ok      Set-Printer-Attributes printer
socket ok      Set-System-Attributes  system
ROWS
for host in 127.0.0.1 $REMOTE; do
  $APP_WRAP "$APP" add -u "ipp://$host:$PORT/ipp/system" -d s1 -m norvex-kavrin -v "file://$W/out/s1?ext=prn" \
    </dev/null >/dev/null 2>&1 && fail "a client on $host added a printer"
done
listed() { ipptool -q "${ADMIN_URI%/ipp/system}/ipp/print/$1" get-printer-attributes.test 2>/dev/null; }
listed kavrin || fail "a refused client deleted the printer"

# Devices: only printers, and files under the named folder.
mkdir -p "$W/out/sub" "$W/elsewhere"
ln -s "$W/elsewhere" "$W/out/leaves"
ln -s /root/.bashrc "$W/out/bashrc"
touch "$W/out/sub/page.prn"
n=0
while read -r expected uri; do
  n=$((n + 1))
  if "$APP" add -u "$ADMIN_URI" -d "dev$n" -m norvex-kavrin -v "$uri" </dev/null >/dev/null 2>&1; then got=ok; else got=refused; fi
  [ "$got" = "$expected" ] || fail "device $uri: $got, expected $expected"
done <<ROWS
ok      file://$W/out?ext=prn
ok      file://$W/out/sub/page.prn
ok      socket://127.0.0.1:9100
refused file:///root/victim.txt
refused file:///etc/cron.d?ext=
refused file://$W/out/../elsewhere?ext=prn
refused file://$W/out/sub/../../elsewhere/x.prn
refused file://$W/out/leaves?ext=prn
refused file://$W/out/leaves/x.prn
refused file://$W/out/bashrc
refused file://otherhost$W/out?ext=prn
ROWS
grep -q 'refused: .*not under' "$W/app.log" || fail "refused devices are not logged with the reason"

# Printing stays open to everyone; a client cancels its own job, not another
# user's (a PDF job waits while the printer is paused).
for uri in ipp://127.0.0.1:$PORT ipps://$REMOTE:$PORT; do
  $APP_WRAP ipptool -tf "$W/doc.pwg" -d filetype=image/pwg-raster "$uri/ipp/print/kavrin" print-job-and-wait.test \
    >"$W/print.out" 2>&1 || fail "a client of $uri could not print: $(tail -2 "$W/print.out")"
done
printer_op Pause-Printer kavrin || fail "root on the socket could not pause kavrin"
id=$(OWNER=alice submit kavrin "$W/doc.pdf" application/pdf owned)
for who in mallory:refused alice:ok; do
  if $APP_WRAP ipptool -q -d job_id="$id" -d owner="${who%%:*}" "$URI/ipp/print/kavrin" "$W/cancel-job.test" \
    </dev/null 2>/dev/null; then got=ok; else got=refused; fi
  [ "$got" = "${who#*:}" ] || fail "Cancel-Job of alice's job $id by ${who%%:*}: $got"
done
printer_op Resume-Printer kavrin || fail "root on the socket could not resume kavrin"

# A device in the state file is checked when it is loaded.
stop_app
sed -i "s|uri=\"file://$W/out/kavrin?ext=prn\"|uri=\"file:///root/victim.txt\"|" "$W/app.state"
grep -q 'uri="file:///root/victim.txt"' "$W/app.state" || fail "the state file does not name the printer's device as expected"
start_app
listed kavrin && fail "a printer whose stored device is /root/victim.txt was loaded"
[ ! -e /root/victim.txt ] || fail "/root/victim.txt was created"

# The state file: a printer added over the command socket and one deleted are
# saved at once and outlive a crash; a job alone leaves the file as it was; a
# shutdown, by command or SIGTERM, saves the rest (printing defaults set on
# the web page, the next job ids).
# printed NAME: the id of a completed job on printer "kept".
printed() {
  id=$(submit kept "$W/doc.pwg" image/pwg-raster "$1")
  s=$(wait_job kept "$id")
  case $s in completed*) say "$id" ;; *) fail "job $1 ended as '$s'"; say 0 ;; esac
}
# web_post PAGE FIELDS: the form of a web page submitted as a browser does,
# with the page's session token; prints the HTTP status.
web_post() {
  session=$($APP_WRAP curl -s -u "$ADMIN_USER:$ADMIN_PASSWORD" "http://localhost:$PORT$1" |
    sed -n 's/.*name="session" value="\([0-9a-f]*\)".*/\1/p' | head -1)
  $APP_WRAP curl -s -u "$ADMIN_USER:$ADMIN_PASSWORD" -o "$W/post.html" -w '%{http_code}' \
    -d "session=$session${2:+&$2}" "http://localhost:$PORT$1"
}
saved() { grep -q 'name="kept"' "$W/app.state" 2>/dev/null && ! grep -q 'name="gone"' "$W/app.state"; }

mkdir -p "$W/out/kept" "$W/out/gone"
app_command add -d kept -m norvex-kavrin -v "file://$W/out/kept?ext=prn" || die "could not add kept"
app_command add -d gone -m norvex-orvane-210 -v "file://$W/out/gone?ext=prn" || die "could not add gone"
# PAPPL 1.3.1's delete sub-command reads the printer-id, which it reports as 0
# for a printer added since the server started: the web page deletes.
[ "$(web_post /gone/delete)" = 302 ] || die "could not delete gone"
poll 10 saved || fail "the state file lacks the printers added and deleted: $(grep '<Printer' "$W/app.state")"

# PAPPL looks for changes every second; two seconds after a job the file is
# still the one of the last administrative change.
before=$(cksum <"$W/app.state")
printed first >/dev/null
sleep 2
[ "$(cksum <"$W/app.state")" = "$before" ] || fail "a job rewrote the state file"

kill -KILL "$APP_PID"
stop_app
start_app
app_command printers >"$W/printers" 2>&1
grep -q -x kept "$W/printers" && ! grep -q -x gone "$W/printers" ||
  fail "after a crash the printers are $(tr '\n' ' ' <"$W/printers")"

# Printing defaults from the web page, then a shutdown by command.
web_post /kept/printing "sides=two-sided-long-edge&print-quality=high" >/dev/null
grep -q "Changes saved" "$W/post.html" || fail "the web page did not take the defaults"
last=$(printed before-shutdown)
app_command shutdown >/dev/null 2>&1 || fail "shutdown refused"
poll 30 gone "$APP_PID" || fail "the server did not stop on shutdown"
stop_app
start_app
$APP_WRAP ipptool -tv "$URI/ipp/print/kept" get-printer-attributes.test >"$W/attrs.out" 2>&1
grep -q "sides-default (keyword) = two-sided-long-edge" "$W/attrs.out" || fail "sides-default lost in a restart"
grep -q "print-quality-default (enum) = high" "$W/attrs.out" || fail "print-quality-default lost in a restart"
next=$(printed after-shutdown)
[ "$next" -gt "$last" ] || fail "job $next after a shutdown, $last before it"

# SIGTERM (systemd's stop when the command fails) saves as well.
kill -TERM "$APP_PID"
poll 30 gone "$APP_PID" || fail "the server did not stop on SIGTERM"
stop_app
start_app
again=$(printed after-sigterm)
[ "$again" -gt "$next" ] || fail "job $again after SIGTERM, $next before it"

# One server per socket.
second=$(env TMPDIR="$W/tmp" "$APP" server -o server-port=$((PORT + 1)) -o listen-hostname=localhost \
  -o log-file=- -o spool-directory="$W/spool" -o state-file="$W/second.state" -o tls=no \
  -o socket-directory="$W/run" </dev/null 2>&1)
case $second in *"Another server answers on $SOCKET"*) ;; *) fail "a second server on our socket said: $second" ;; esac

# Wrong server options stop it with one line naming them.
while read -r option; do
  out=$(env TMPDIR="$W/tmp" "$APP" server -o socket-directory="$W/run2" -o log-file=- -o "$option" </dev/null 2>&1)
  status=$?
  name=${option%%=*}
  [ "$status" -ne 0 ] && [ "$(printf '%s\n' "$out" | wc -l)" -eq 1 ] && case $out in *"$name"*) true ;; *) false ;; esac ||
    fail "server -o $option: status $status, said '$out'"
done <<'ROWS'
server-port=abc
server-port=99999
log-level=loud
file-device-directory=/nonexistent/folder
file-device-directory=relative/out
tls=maybe
sever-port=8000
ROWS
serving || fail "the first server stopped"
exit "$FAILED"
