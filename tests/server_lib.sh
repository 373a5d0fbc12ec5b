# Shared by the tests that run private servers (cupsd, the Printer Application):
# how one is stopped, and how the processes it started are found.

# wait_stopped PID SIGNAL: gives PID 5 s to end after it was asked to stop,
# then sends it SIGNAL and reaps it.
wait_stopped() {
  i=0
  while kill -0 "$1" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  kill "-$2" "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# processes_with_env NAME=VALUE: the ids of the processes whose environment
# holds exactly that variable (a server's children inherit it).
processes_with_env() {
  grep -lsz -x "$1" /proc/[0-9]*/environ 2>/dev/null | sed 's|/proc/\([0-9]*\)/environ|\1|'
}
