#!/bin/sh
# End to end through Debian's CUPS: a private cupsd prints the sample document
# through the generated PPDs and the built filter into files, on one queue per
# controller platform, and the raster and printer streams are checked. As
# root (cupsd starts its filters as lp), else skipped.
set -u
FILTER=$1 PPD_DIR=$2 DECODER=$3 SAMPLE=$4
. "$(dirname "$0")/../server_lib.sh"
need_root "cupsd starts its filters as lp"
for tool in lpadmin lpinfo lp lpstat cancel runuser od; do command -v $tool >/dev/null 2>&1 || die "$tool not installed"; done
cupsd_start
# cupsd refuses a filter that is not root's and 0755, in a directory likewise.
install -m 0755 -o root -g root "$FILTER" "$CW/serverbin/filter/rastertoNorvex" || die "installing the filter"
runuser -u lp -- test -x "$CW/serverbin/filter/rastertoNorvex" || die "user lp cannot run the filter"
install -m 0644 "$PPD_DIR"/*.ppd "$CW/share/model/norvex/" || die "installing the PPDs"

# lpinfo -m lists every model under the name lpadmin -m takes.
lpinfo -m >"$W/lpinfo" 2>&1 || die "lpinfo -m: $(cat "$W/lpinfo")"
count=0
for ppd in "$PPD_DIR"/*.ppd; do
  count=$((count + 1))
  model=$(sed -n 's/^\*ModelName: "\(.*\)"$/\1/p' "$ppd")
  grep -q -F "norvex/${ppd##*/} $model," "$W/lpinfo" || fail "lpinfo -m does not list norvex/${ppd##*/} ($model)"
done
[ "$(grep -c '^norvex/' "$W/lpinfo")" -eq "$count" ] || fail "lpinfo -m lists $(grep -c '^norvex/' "$W/lpinfo") Norvex PPDs, $count installed"

# One queue per platform, with the opening bytes of its stream.
QUEUES="NorvexC NorvexZ NorvexM"
while read -r queue ppd opening; do
  lpadmin -p "$queue" -E -v "file://$CW/out/$queue.prn" -m "norvex/$ppd" 2>"$W/lpadmin.err" ||
    die "lpadmin -p $queue -m norvex/$ppd: $(cat "$W/lpadmin.err")"
  echo "$opening" >"$W/$queue.opening"
done <<'ROWS'
NorvexC norvex-orvane-210.ppd 1b ff 2d 31 32 33 34 35 58
NorvexZ norvex-kavrin.ppd 1b 25 2d 31 32 33 34 35 58 40 50 4a 4c
NorvexM norvex-lurran-3010.ppd 1b 25 2d 31 32 33 34 35 58 4a 5a 4a 5a
ROWS

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
    want=$(cat "$W/$queue.opening")
    got=$(head -c $(($(echo "$want" | wc -w))) "$out" | od -An -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//')
    [ "$got" = "$want" ] || fail "$what: stream starts with '$got', expected $want"
    eval "expected=\$order${queue#Norvex}"
    [ "$(page_order "$out")" = "$(echo "$expected" | tr , ' ')" ] || fail "$what: pages arrive as '$(page_order "$out")', expected '$expected'"
  done
done <<'ROWS'
one    1 1       1       1           -o page-ranges=1
duplex 3 1,2,3,4 1,3,4,2 1,2,3       -o sides=two-sided-long-edge
copies 3 1,2,3,1,2,3 1,2,3,1,2,3 1,2,3,4,5,6 -n 2 -o collate=true
ROWS
exit "$FAILED"
