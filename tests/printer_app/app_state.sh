#!/bin/sh
# The state file: a printer added over the command socket and one deleted are
# saved at once and outlive a crash; a job alone leaves the file as it was; a
# shutdown, by command or SIGTERM, saves the rest (printing defaults set on
# the web page, the next job ids). As root (the web pages need an
# administrator's account), else skipped.
set -u
. "$(dirname "$0")/app_lib.sh"
need_root "the web pages need an administrator's account"
make_admin
make_documents

# printed NAME: the id of a completed job on printer "kept".
printed() {
  id=$(submit kept "$W/doc.pwg" image/pwg-raster "$1")
  s=$(wait_job kept "$id")
  case $s in completed*) say "$id" ;; *) fail "job $1 ended as '$s'"; say 0 ;; esac
}
stopped_by() {
  poll 30 gone "$APP_PID" || fail "the server did not stop on $1"
  stop_app
}
printers() { app_command printers 2>/dev/null | tr '\n' ' '; }
# web_post PAGE FIELDS: the form of a web page submitted as a browser does,
# with the page's session token; prints the HTTP status.
web_post() {
  session=$(curl -s -u "$ADMIN_USER:$ADMIN_PASSWORD" "http://localhost:$PORT$1" |
    sed -n 's/.*name="session" value="\([0-9a-f]*\)".*/\1/p' | head -1)
  curl -s -u "$ADMIN_USER:$ADMIN_PASSWORD" -o "$W/post.html" -w '%{http_code}' -d "session=$session${2:+&$2}" \
    "http://localhost:$PORT$1"
}
saved() { grep -q 'name="kept"' "$W/app.state" 2>/dev/null && ! grep -q 'name="gone"' "$W/app.state"; }

start_app
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
[ "$(printers)" = "kept " ] || fail "after a crash the printers are '$(printers)'"

# Printing defaults from the web page, then a shutdown by command.
web_post /kept/printing "sides=two-sided-long-edge&print-quality=high" >/dev/null
grep -q "Changes saved" "$W/post.html" || fail "the web page did not take the defaults"
last=$(printed before-shutdown)
app_command shutdown >/dev/null 2>&1 || fail "shutdown refused"
stopped_by shutdown
start_app
ipptool -tv "$URI/ipp/print/kept" get-printer-attributes.test >"$W/attrs.out" 2>&1
grep -q "sides-default (keyword) = two-sided-long-edge" "$W/attrs.out" || fail "sides-default lost in a restart"
grep -q "print-quality-default (enum) = high" "$W/attrs.out" || fail "print-quality-default lost in a restart"
next=$(printed after-shutdown)
[ "$next" -gt "$last" ] || fail "job $next after a shutdown, $last before it"

# SIGTERM (systemd's stop when the command fails) saves as well.
kill -TERM "$APP_PID"
stopped_by SIGTERM
start_app
again=$(printed after-sigterm)
[ "$again" -gt "$next" ] || fail "job $again after SIGTERM, $next before it"
exit "$FAILED"
