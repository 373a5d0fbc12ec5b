#!/bin/sh
# The Printer Application under concurrent load: rounds of 30 Print-Jobs at
# once, PDF, PWG raster and JPEG over three printers; every job completes and
# decodes, the server answers after each round, survives Debian's IPP/1.1 and
# IPP/2.0 test files and stops when asked.
#
# Usage: app_load.sh APP NORVEXDECODE [ROUNDS]
set -u
APP=$1 DECODER=$2 ROUNDS=${3:-10}
. "$(dirname "$0")/app_lib.sh"
command -v timeout >/dev/null 2>&1 || die "timeout (coreutils) missing"
JOBS=30
PRINTERS="orvane:norvex-orvane-210:C kavrin:norvex-kavrin:Z lurran:norvex-lurran-3010:M"
FORMATS="application/pdf:pdf image/pwg-raster:pwg image/jpeg:jpg"

# One page in each format, at 600 dpi where the format has a resolution.
cat >"$W/page.ps" <<'PS'
%!PS
72 600 451 72 rectfill
/Helvetica findfont 36 scalefont setfont 72 400 moveto (Norvex under load) show
showpage
PS
make_page() {
  gs -q -dBATCH -dNOPAUSE -dSAFER -sPAPERSIZE=a4 -dFIXEDMEDIA "$@" "$W/page.ps" >/dev/null 2>&1 ||
    die "ghostscript could not make a test page ($*)"
}
make_page -sDEVICE=pdfwrite -sOutputFile="$W/page.pdf"
make_page -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sOutputFile="$W/page.pwg"
make_page -sDEVICE=jpeggray -r150 -sOutputFile="$W/page.jpg"

# nth N WORDS...: the Nth word, counted from 0 and round the list.
nth() { n=$1; shift; shift $((n % $#)); echo "$1"; }

# print_retrying PRINTER FILE FORMAT JOBNAME: the new job's id. A printer with
# a job refuses the next as busy (printer_app/job_admission.cpp); the client
# asks again after half a second, as CUPS's ipp backend does. Each refusal is
# a line of $W/busy; any other answer is kept in $W/JOBNAME.refused.
print_retrying() {
  tries=0
  while [ $tries -lt 600 ]; do
    answer=$(timeout 120 ipptool -t -d filetype="$3" -d jobname="$4" -d sides=one-sided -f "$2" \
      "$URI/ipp/print/$1" "$HERE/print_named.test" 2>&1)
    case $answer in
      *"[PASS]"*) printf '%s\n' "$answer" | sed -n 's/.*job-id (integer) = \([0-9]*\).*/\1/p'; return 0 ;;
      *"got server-error-busy"*) echo "$4" >>"$W/busy"; sleep 0.5 ;;
      *) printf '%s\n' "$answer" >"$W/$4.refused"; return 1 ;;
    esac
    tries=$((tries + 1))
  done
  echo "busy $tries times" >"$W/$4.refused"
  return 1
}

# The server answers HTTP and IPP on every printer.
server_answers() {
  [ "$(curl -s -m 20 -o /dev/null -w '%{http_code}' "http://localhost:$PORT/")" = 200 ] || return 1
  for p in $PRINTERS; do
    timeout 20 ipptool -q "$URI/ipp/print/${p%%:*}" get-printer-attributes.test || return 1
  done
}

# job_final PRINTER ID: the job's final "state,impressions,message", or
# "unanswered" when the server stops answering.
job_final() {
  tries=0
  while [ $tries -lt 1200 ]; do
    s=$(timeout 20 ipptool -c -d job_id="$2" "$URI/ipp/print/$1" "$HERE/job_state.test" 2>/dev/null | tail -1)
    case $s in
      completed*|aborted*|canceled*) say "$s"; return 0 ;;
      "") server_answers || { say unanswered; return 0; } ;;
    esac
    sleep 0.1
    tries=$((tries + 1))
  done
  say "timeout,$s"
}

# A server that stopped answering: dead, or where its threads wait; then the end.
hung() {
  if ! kill -0 "$APP_PID" 2>/dev/null; then
    wait "$APP_PID"
    say "FAIL: $1; the server died (exit status $?): $(grep -v '^I ' "$W/app.log" | tail -5)"
    APP_PID=
    exit 1
  fi
  say "FAIL: $1; the server does not answer"
  if command -v gdb >/dev/null 2>&1; then
    timeout 60 gdb -p "$APP_PID" -batch -ex 'thread apply all bt' >"$W/hang.bt" 2>&1
    say "threads waiting on a lock: $(grep -c 'pthread_rwlock_[a-z]*lock' "$W/hang.bt")"
    grep -E '^#[0-9]+ ' "$W/hang.bt" | sed -E 's/^#[0-9]+ +(0x[0-9a-f]+ in )?//; s/ \(.*//' |
      grep -E '^_?pappl|^[A-Z][A-Za-z]+$' | sort | uniq -c | sort -rn
  fi
  kill -KILL "$APP_PID"
  APP_PID=
  exit 1
}

start_app
for p in $PRINTERS; do add_printer "${p%%:*}" "$(echo "$p" | cut -d: -f2)"; done
: >"$W/busy"

round=1
while [ "$round" -le "$ROUNDS" ]; do
  started=$(date +%s)
  clients=
  i=0
  while [ $i -lt $JOBS ]; do
    p=$(nth $i $PRINTERS) f=$(nth $((i / 3)) $FORMATS)
    print_retrying "${p%%:*}" "$W/page.${f##*:}" "${f%%:*}" "r$round-j$i" >"$W/r$round-j$i.id" &
    clients="$clients $!"
    i=$((i + 1))
  done
  # A client waits for its job's turn at most 600 x 0.5 s; a hung server
  # keeps them all waiting.
  for pid in $clients; do
    while kill -0 "$pid" 2>/dev/null; do
      [ $(($(date +%s) - started)) -lt 300 ] || { server_answers || hung "round $round"; break; }
      sleep 0.2
    done
  done
  for pid in $clients; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  if ls "$W"/r"$round"-*.refused >/dev/null 2>&1; then server_answers || hung "round $round: jobs refused"; fi
  i=0
  while [ $i -lt $JOBS ]; do
    p=$(nth $i $PRINTERS) name=r$round-j$i
    printer=${p%%:*} platform=${p##*:} id=$(cat "$W/$name.id")
    i=$((i + 1))
    [ -n "$id" ] || { fail "$name on $printer not taken: $(cat "$W/$name.refused" 2>/dev/null)"; continue; }
    s=$(job_final "$printer" "$id")
    [ "$s" != unanswered ] || hung "waiting for $name"
    summary=$("$DECODER" --check --quiet "$W/out/$printer/$name.prn" 2>&1)
    case $s in
      completed,1,*) ;;
      *) fail "$name on $printer (job $id) ended as '$s'; its stream: $summary"; continue ;;
    esac
    case $summary in *"platform=$platform pages=1 "*"status=ok"*) ;; *) fail "$name on $printer: $summary" ;; esac
  done
  server_answers || hung "after round $round"
  say "round $round: $JOBS jobs in $(($(date +%s) - started)) s, $(grep -c "^r$round-" "$W/busy") busy answers"
  round=$((round + 1))
done

# Debian's IPP/1.1 and IPP/2.0 test files, on one printer, with the PDF. Their
# failures are those listed here with the reason; the server must outlive them.
known_failure() {
  case $1 in
    # Both sent within milliseconds of the file's Cancel-Job of a printing
    # job, whose filter is still being stopped: one job per printer, so
    # server-error-busy. The Send-Document tests that need their job skip.
    "RFC 8011 section 4.2.4: Create-Job Operation") return 0 ;;
    "Send-Document missing last-document: Create-Job Operation") return 0 ;;
    *) return 1 ;;
  esac
}
for suite in ipp-1.1 ipp-2.0; do
  timeout 600 ipptool -I -t -f "$W/page.pdf" "$URI/ipp/print/kavrin" "$suite.test" >"$W/$suite.out" 2>&1
  say "$suite.test: $(grep -c '\[PASS\]' "$W/$suite.out") pass, $(grep -c '\[FAIL\]' "$W/$suite.out") fail," \
    "$(grep -c '\[SKIP\]' "$W/$suite.out") skipped"
  grep '\[FAIL\]' "$W/$suite.out" | sed 's/ *\[FAIL\]//; s/^ *//' | while read -r test; do
    known_failure "$test" || { say "FAIL: $suite.test: $test"; echo 1 >"$W/unknown.failure"; }
  done
  [ ! -e "$W/unknown.failure" ] || { FAILED=1; rm "$W/unknown.failure"; }
  server_answers || hung "after $suite.test"
done

# The printer the test files used still prints.
id=$(print_retrying kavrin "$W/page.pdf" application/pdf after-ipp)
s=$(job_final kavrin "$id")
case $s in completed,1,*) ;; *) fail "job after the IPP test files ended as '$s'" ;; esac

# Shutdown-All-Printers ends the server on its own; PAPPL waits up to 60 s for
# jobs still active.
app_command shutdown >/dev/null 2>&1 || fail "shutdown refused"
i=0
while kill -0 "$APP_PID" 2>/dev/null && [ $i -lt 900 ]; do sleep 0.1; i=$((i + 1)); done
if kill -0 "$APP_PID" 2>/dev/null; then
  fail "the server did not stop on shutdown"
else
  wait "$APP_PID"
  APP_PID=
fi
[ "$FAILED" -eq 0 ] && say "PASS: $ROUNDS rounds of $JOBS concurrent jobs, $(wc -l <"$W/busy") busy answers retried"
exit "$FAILED"
