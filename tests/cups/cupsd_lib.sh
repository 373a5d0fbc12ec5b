# A private cupsd for tests: its tree under $CW (reachable by lp, who runs its
# filters), a loopback port, started and stopped by these functions.
# Set CW before sourcing; needs say and die. Provides CUPSD_PID, CUPS_PORT.
. "$(dirname "$0")/../server_lib.sh"
CUPSD_PID=
CUPS_PORT=
SYS_SERVERBIN=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
SYS_DATADIR=$(cups-config --datadir 2>/dev/null || echo /usr/share/cups)

# cupsd_tree: configuration folders, ServerBin and DataDir of links to the
# system's, without any filter or PPD of ours.
cupsd_tree() {
  mkdir -p "$CW/etc" "$CW/spool/tmp" "$CW/cache" "$CW/state" "$CW/log" "$CW/out" \
    "$CW/serverbin/filter" "$CW/serverbin/driver" "$CW/share/model" || die "mkdir"
  chmod 0755 "$CW" "$CW/serverbin" "$CW/serverbin/filter" "$CW/serverbin/driver" "$CW/share" \
    "$CW/share/model" "$CW/out"
  runuser -u lp -- test -x "$CW" || die "user lp cannot enter $CW"
  for d in backend cgi-bin daemon monitor notifier; do
    [ -e "$SYS_SERVERBIN/$d" ] && ln -s "$SYS_SERVERBIN/$d" "$CW/serverbin/$d"
  done
  # The system's filters (pdftopdf, gstoraster, ...), never an installed copy of ours.
  for f in "$SYS_SERVERBIN"/filter/*; do
    case "${f##*/}" in rastertoNorvex | norvexdecode) continue ;; esac
    ln -s "$f" "$CW/serverbin/filter/"
  done
  for f in "$SYS_DATADIR"/*; do
    case "${f##*/}" in model | drv) continue ;; esac
    ln -s "$f" "$CW/share/"
  done
}

cupsd_config() {
  cat >"$CW/etc/cups-files.conf" <<EOF
ServerRoot $CW/etc
ServerBin $CW/serverbin
DataDir $CW/share
RequestRoot $CW/spool
TempDir $CW/spool/tmp
CacheDir $CW/cache
StateDir $CW/state
ErrorLog $CW/log/error_log
AccessLog $CW/log/access_log
PageLog $CW/log/page_log
Printcap $CW/printcap
FileDevice Yes
User lp
Group lp
SystemGroup root
EOF
  cat >"$CW/etc/cupsd.conf" <<EOF
LogLevel debug
Listen 127.0.0.1:$1
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
ErrorPolicy abort-job
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
}

# cupsd_start [FIRST_PORT]: ready when OUR daemon logged its listener and
# answers. cupsd does not exit when the port is taken, so retry on another.
cupsd_start() {
  port=${1:-$(random_port)}
  for attempt in 1 2 3 4 5; do
    [ "$attempt" -gt 1 ] && port=$(random_port)
    cupsd_config "$port"
    : >"$CW/log/error_log"
    cupsd -t -c "$CW/etc/cupsd.conf" -s "$CW/etc/cups-files.conf" >"$CW/log/cupsd-t.out" 2>&1 ||
      { cat "$CW/log/cupsd-t.out"; die "cupsd rejects the test configuration"; }
    env -u LISTEN_FDS -u LISTEN_PID cupsd -f -c "$CW/etc/cupsd.conf" -s "$CW/etc/cups-files.conf" \
      >"$CW/log/cupsd.out" 2>&1 &
    CUPSD_PID=$!
    i=0
    while [ $i -lt 100 ] && kill -0 "$CUPSD_PID" 2>/dev/null; do
      if grep -q "Listening to 127.0.0.1:$port on fd" "$CW/log/error_log" 2>/dev/null &&
        [ "$(lpstat -h "127.0.0.1:$port" -r 2>/dev/null)" = "scheduler is running" ]; then
        CUPS_PORT=$port
        export CUPS_SERVER="127.0.0.1:$port"
        return 0
      fi
      grep -q "Unable to open listen socket" "$CW/log/error_log" 2>/dev/null && break
      sleep 0.1
      i=$((i + 1))
    done
    say "cupsd did not come up on port $port (attempt $attempt); trying another"
    cupsd_stop
  done
  cat "$CW/log/cupsd.out"
  tail -20 "$CW/log/error_log"
  die "cupsd did not start"
}

random_port() { echo $((20000 + $(od -An -N2 -tu2 /dev/urandom) % 12000)); }

cupsd_stop() {
  [ -n "$CUPSD_PID" ] || return 0
  kill -TERM "$CUPSD_PID" 2>/dev/null
  wait_stopped "$CUPSD_PID" KILL
  CUPSD_PID=
}

# Processes of our daemon (filters, backends) carry its CUPS_SERVERROOT.
cupsd_leftovers() { processes_with_env "CUPS_SERVERROOT=$CW/etc"; }
