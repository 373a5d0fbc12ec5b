#!/bin/sh
# A real CUPS client of the Printer Application: a private cupsd adds
# driverless queues for the app's printers and prints the sample document
# two-sided, on a printer that duplexes and on one that needs manual duplex,
# then a job with lp's usual ticket options.
#
# Usage: app_cups.sh APP SAMPLE NORVEXDECODE
# Exit status: 0 passed, 1 failed, 77 skipped (not root, or no cupsd).
set -u
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
APP=$1 SAMPLE=$2 DECODER=$3
[ "$(id -u)" -eq 0 ] || { echo "SKIP: must run as root (cupsd starts its filters as lp)"; exit 77; }
command -v cupsd >/dev/null 2>&1 || { echo "SKIP: cupsd not installed (Debian package cups)"; exit 77; }
. "$(dirname "$0")/app_lib.sh"
CW=$W/cups
. "$HERE/../cups/cupsd_lib.sh"

start_app
add_printer orvane norvex-orvane-210
add_printer kavrin norvex-kavrin
mkdir -p "$CW" && cupsd_tree && cupsd_start

# The page numbers the printer gets: the duplexer's blank back of sheet 2,
# and manual duplex's fronts first, then the backs.
for q in orvane:"1 2 3 4" kavrin:"1 3 4 2"; do
  name=${q%%:*} order=${q#*:}
  lpadmin -p "$name" -E -m everywhere -v "$URI/ipp/print/$name" 2>"$W/lpadmin.err" ||
    { fail "lpadmin -m everywhere for $name: $(cat "$W/lpadmin.err")"; continue; }
  # A queue cupsd has just made may still refuse the document's type for a
  # moment ("Unsupported document-format"): lp is tried again.
  tries=0
  until lp -d "$name" -o sides=two-sided-long-edge "$SAMPLE" >/dev/null 2>"$W/lp.err"; do
    tries=$((tries + 1)); [ $tries -lt 5 ] || break; sleep 1
  done
  [ $tries -lt 5 ] || { fail "lp -d $name: $(cat "$W/lp.err")"; continue; }
  i=0
  while [ -n "$(lpstat -o "$name" 2>/dev/null)" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  out=$(ls "$W/out/$name"/*.prn 2>/dev/null | head -1)
  [ -s "$out" ] || { fail "$name: no output ($(lpstat -l -o "$name" 2>&1 | tail -2))"; continue; }
  summary=$("$DECODER" --check "$out") || fail "$name: $summary"
  pages=$(echo "$summary" | grep -o '\[page=[0-9]*' | cut -d= -f2 | tr '\n' ' ' | sed 's/ $//')
  [ "$pages" = "$order" ] || fail "$name: pages arrive as '$pages', expected '$order'"
done
# The job ticket a user gives lp: pages 1-2, two collated copies, two-sided,
# landscape, as the decoded sides show them (see decoded_sides). CUPS's own
# pdftopdf turns the pages for "landscape" before they leave for the app,
# into pages that state their orientation, which the app keeps: the bars
# still lie across the sheet.
make_bar_documents
for q in orvane:"1p 2p 1p 2p" kavrin:"1p 1p 2p 2p"; do
  name=${q%%:*} expected=${q#*:}
  lp -d "$name" -t ticket -n 2 -o collate=true -o sides=two-sided-long-edge -P 1-2 -o landscape \
    "$W/doc.pdf" >/dev/null 2>"$W/lp.err" || { fail "lp -d $name (ticket): $(cat "$W/lp.err")"; continue; }
  i=0
  while [ -n "$(lpstat -o "$name" 2>/dev/null)" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  got=$(decoded_sides "$W/out/$name/ticket.prn")
  [ "${got%|*}" = "$expected" ] || fail "$name: lp's ticket printed '${got%|*}', not '$expected'"
done

# The turn-over instruction became the state message of the Kavrin's job.
grep -q "\[Job [0-9]*\] Turn the printed pages over" "$W/app.log" ||
  fail "the manual duplex instruction did not reach the job's state"
[ -z "$(cupsd_leftovers)" ] || fail "cupsd processes left: $(cupsd_leftovers)"
[ "$FAILED" -eq 0 ] && say "PASS: CUPS prints driverless through the app"
exit "$FAILED"
