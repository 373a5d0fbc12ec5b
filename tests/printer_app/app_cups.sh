#!/bin/sh
# Debian's CUPS in a private cupsd: it prints the sample document through the
# generated PPDs and the built filter into files, on one queue per controller
# platform, checking the raster and printer streams; and, a real client of the
# Printer Application, it adds driverless queues for the app's printers and
# prints a job with lp's usual ticket options. As root (cupsd starts its
# filters as lp), else skipped.
set -u
. "$(dirname "$0")/app_lib.sh"
need_root "cupsd starts its filters as lp"
for tool in lpadmin lp lpstat cancel runuser; do command -v $tool >/dev/null 2>&1 || die "$tool not installed"; done
start_app
make_documents
cupsd_start
# cupsd refuses a filter that is not root's and 0755, in a directory likewise.
install -m 0755 -o root -g root "$FILTER" "$CW/serverbin/filter/rastertoNorvex" || die "installing the filter"
runuser -u lp -- test -x "$CW/serverbin/filter/rastertoNorvex" || die "user lp cannot run the filter"
install -m 0644 "$PPD_DIR"/*.ppd "$CW/share/model/norvex/" || die "installing the PPDs"

# One queue per platform, each with its model from cupsd's list (lpadmin -m).
QUEUES="NorvexC NorvexZ NorvexM"
for ppd in C:orvane-210 Z:kavrin M:lurran-3010; do
  lpadmin -p "Norvex${ppd%%:*}" -E -v "file://$CW/out/Norvex${ppd%%:*}.prn" -m "norvex/norvex-${ppd#*:}.ppd" \
    2>"$W/lpadmin.err" || die "lpadmin -m norvex/norvex-${ppd#*:}.ppd: $(cat "$W/lpadmin.err")"
done

# Rounds of the three queues printing at once; the page numbers each printer
# receives, in order. C duplexes by itself and gets the blank back page 4; Z
# turns two-sided jobs into manual duplex (fronts 1 and 3, the blank back of
# 3, then 2); M has no duplexer, and numbers its pages as they come; collated
# copies are sent again from the spool.
while read -r kind raster orderC orderZ orderM options; do
  for queue in $QUEUES; do
    # shellcheck disable=SC2086
    cups_submit "$queue" "$SAMPLE" $options >"$W/$queue.id" || fail "lp -d $queue $options failed"
  done
  for queue in $QUEUES; do
    id=$(cat "$W/$queue.id") what="$queue ($kind)"
    [ -n "$id" ] || continue
    s=$(cups_wait "$queue" "$id")
    grep -F "[Job $id]" "$CW/log/error_log" >"$W/job.log"
    case $s in completed*) ;; *) fail "$what ended $s" ;; esac
    grep -q "rastertoNorvex) exited with no errors" "$W/job.log" || fail "$what: the filter did not exit with status 0"
    ! grep "insecure permissions" "$CW/log/error_log" || fail "cupsd refused a file for insecure permissions"
    # The raster CUPS made from the PPD: whole sheet, 8-bit grey, 600 dpi, A4.
    pages=$(grep -c 'cupsRasterReadHeader2 return OK' "$W/job.log")
    [ "$pages" -eq "$raster" ] || fail "$what: the filter read $pages raster pages, expected $raster"
    for want in "cupsColorSpace = 18" "cupsBitsPerColor = 8" "HWResolution = \[ 600 600 \]" \
      "PageSize = \[ 595 842 \]" "Margins = \[ 0 0 \]" "cupsWidth = 4958"; do
      [ "$(grep -c "$want" "$W/job.log")" -eq "$pages" ] || fail "$what: not every page header has $want"
    done
    out=$CW/out/$queue.prn
    eval "expected=\$order${queue#Norvex}"
    [ "$(page_order "$out")" = "$(echo "$expected" | tr , ' ')" ] || fail "$what: pages arrive as '$(page_order "$out")', expected '$expected'"
  done
done <<'ROWS'
duplex 3 1,2,3,4 1,3,4,2 1,2,3       -o sides=two-sided-long-edge
copies 3 1,2,3,1,2,3 1,2,3,1,2,3 1,2,3,4,5,6 -n 2 -o collate=true
ROWS

# lp's ticket: pages 1-2, two collated copies, two-sided (manual duplex: the
# fronts first, then the backs), landscape, as the decoded sides show them:
# CUPS's pdftopdf turns the pages for "landscape" into pages that state their
# orientation, which the app keeps, so the bars still lie across the sheet.
# CUPS may end its job before the app has written the last byte: both must end.
while IFS='|' read -r name driver sides; do
  add_printer "$name" "$driver"
  lpadmin -p "$name" -E -m everywhere -v "$URI/ipp/print/$name" 2>"$W/lpadmin.err" ||
    { fail "lpadmin -m everywhere for $name: $(cat "$W/lpadmin.err")"; continue; }
  id=$(cups_submit "$name" "$W/doc.pdf" -t ticket -n 2 -o collate=true -o sides=two-sided-long-edge -P 1-2 \
    -o landscape) && cups_wait "$name" "$id" >/dev/null &&
    { poll 60 queue_empty "$URI/ipp/print/$name" || fail "$name: the app's job did not end"; }
  got=$(decoded_sides "$W/out/$name/ticket.prn")
  [ "${got%|*}" = "$sides" ] || fail "$name: lp's ticket printed '${got%|*}', not '$sides'"
done <<'ROWS'
orvane|norvex-orvane-210|1p 2p 1p 2p
kavrin|norvex-kavrin|1p 1p 2p 2p
ROWS
# The turn-over instruction became the state message of the Kavrin's job.
grep -q "\[Job [0-9]*\] Turn the printed pages over" "$W/app.log" || fail "the manual duplex instruction did not reach the job's state"
exit "$FAILED"
