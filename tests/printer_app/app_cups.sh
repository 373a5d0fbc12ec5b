#!/bin/sh
# A real CUPS client of the Printer Application: a private cupsd adds
# driverless queues for the app's printers and prints the sample document
# two-sided, on a printer that duplexes and on one that needs manual duplex,
# then a job with lp's usual ticket options. As root (cupsd starts its
# filters as lp), else skipped.
set -u
. "$(dirname "$0")/app_lib.sh"
need_root "cupsd starts its filters as lp"
start_app
make_documents
cupsd_start

# via_cups QUEUE FILE LP-OPTIONS...: printed through CUPS, once both CUPS's job
# and the app's have ended: CUPS may end its job before the app has written
# the last byte.
via_cups() {
  id=$(cups_submit "$@") && cups_wait "$1" "$id" >/dev/null &&
    { poll 60 queue_empty "$URI/ipp/print/$1" || fail "$1: the app's job did not end"; }
}

# The page numbers the printer gets: the duplexer's blank back of sheet 2, or
# manual duplex's fronts first, then the backs. Then lp's ticket: pages 1-2,
# two collated copies, two-sided, landscape, as the decoded sides show them:
# CUPS's pdftopdf turns the pages for "landscape" into pages that state their
# orientation, which the app keeps, so the bars still lie across the sheet.
while IFS='|' read -r name driver order sides; do
  add_printer "$name" "$driver"
  lpadmin -p "$name" -E -m everywhere -v "$URI/ipp/print/$name" 2>"$W/lpadmin.err" ||
    { fail "lpadmin -m everywhere for $name: $(cat "$W/lpadmin.err")"; continue; }
  via_cups "$name" "$SAMPLE" -t sample -o sides=two-sided-long-edge
  [ "$(page_order "$W/out/$name/sample.prn")" = "$order" ] ||
    fail "$name: pages arrive as '$(page_order "$W/out/$name/sample.prn")', expected '$order'"
  via_cups "$name" "$W/doc.pdf" -t ticket -n 2 -o collate=true -o sides=two-sided-long-edge -P 1-2 -o landscape
  got=$(decoded_sides "$W/out/$name/ticket.prn")
  [ "${got%|*}" = "$sides" ] || fail "$name: lp's ticket printed '${got%|*}', not '$sides'"
done <<'ROWS'
orvane|norvex-orvane-210|1 2 3 4|1p 2p 1p 2p
kavrin|norvex-kavrin|1 3 4 2|1p 1p 2p 2p
ROWS
# The turn-over instruction became the state message of the Kavrin's job.
grep -q "\[Job [0-9]*\] Turn the printed pages over" "$W/app.log" || fail "the manual duplex instruction did not reach the job's state"
exit "$FAILED"
