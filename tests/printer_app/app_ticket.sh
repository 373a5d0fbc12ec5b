#!/bin/sh
# The job ticket on every format the app takes: each row prints a document
# with some job attributes and reads the decoded stream back as one token per
# printed side (see decoded_sides in app_lib.sh), then the impressions
# counted and the dots per inch where given. A request the printer cannot
# honour is refused when sent ("refused") or ends the job unprinted
# ("aborted"), as does a format with no filter (plain text), never the server;
# PAPPL itself drops a resolution the printer lacks, which then prints at its own.
set -u
. "$(dirname "$0")/app_lib.sh"
make_documents
start_app
add_printer orvane norvex-orvane-210
add_printer kavrin norvex-kavrin
add_printer lurran norvex-lurran-3010

row=0
while IFS='|' read -r printer file format attributes expected impressions dpi; do
  row=$((row + 1))
  what="row $row ($printer $file $attributes)"
  # shellcheck disable=SC2086
  id=$(submit "$printer" "$W/$file" "$format" "row$row" $attributes)
  if [ "$expected" = refused ]; then
    [ -z "$id" ] || fail "$what: taken as job $id"
    continue
  fi
  [ -n "$id" ] || { fail "$what: not taken"; continue; }
  s=$(wait_job "$printer" "$id" 120)
  out=$W/out/$printer/row$row.prn
  if [ "$expected" = aborted ]; then
    case $s in aborted,*) ;; *) fail "$what: ended as '$s', not aborted" ;; esac
    [ ! -s "$out" ] || fail "$what: printed although refused"
    continue
  fi
  case $s in completed,"$impressions",*) ;; *) fail "$what: ended as '$s', not completed with $impressions impressions" ;; esac
  got=$(decoded_sides "$out")
  [ "${got%|*}" = "$expected" ] || fail "$what: printed '${got%|*}', not '$expected'"
  [ -z "$dpi" ] || [ "${got#*|}" = "$dpi" ] || fail "$what: at ${got#*|} dpi, not $dpi"
done <<'ROWS'
lurran|doc.pdf|application/pdf||1p 2p 3p|3|600
kavrin|doc.txt|text/plain||aborted||
kavrin|doc.pdf|application/pdf|page-ranges=2-2|2p|1|
kavrin|doc.pwg|image/pwg-raster|page-ranges=2-2|2p|1|
kavrin|doc.pdf|application/pdf|page-ranges=1-1,3-3|refused||
kavrin|doc.pwg|image/pwg-raster|page-ranges=1-1,3-3|refused||
kavrin|doc.pdf|application/pdf|page-ranges=5-6|aborted||
kavrin|doc.pwg|image/pwg-raster|page-ranges=2-1|refused||
kavrin|doc.png|image/png|page-ranges=2-2|aborted||
kavrin|doc.pdf|application/pdf|copies=2|1p 2p 3p 1p 2p 3p|6|
kavrin|doc.pdf|application/pdf|copies=2 multiple-document-handling=separate-documents-uncollated-copies|1p*2 2p*2 3p*2|6|
kavrin|doc.ps|application/postscript|copies=2|1p 2p 3p 1p 2p 3p|6|
kavrin|doc.pwg|image/pwg-raster|copies=2|1p 2p 3p 1p 2p 3p|6|
lurran|doc.pwg|image/pwg-raster|copies=2 multiple-document-handling=separate-documents-uncollated-copies|1p*2 2p*2 3p*2|6|
lurran|doc.jpg|image/jpeg|copies=3|1p 1p 1p|3|
orvane|doc.pdf|application/pdf||1p 2p 3p|3|600
orvane|doc.pdf|application/pdf|print-quality=5|1p 2p 3p|3|1200
orvane|doc.pdf|application/pdf|printer-resolution=1200dpi|1p 2p 3p|3|1200
kavrin|doc.pdf|application/pdf|printer-resolution=1200dpi|1p 2p 3p|3|600
kavrin|land.pdf|application/pdf||1l|1|
kavrin|land.pdf|application/pdf|print-scaling=none|1l|1|
kavrin|doc.pdf|application/pdf|orientation-requested=4|1p 2p 3p|3|
kavrin|doc.jpg|image/jpeg|orientation-requested=4|1l|1|
orvane|doc.pdf|application/pdf|sides=two-sided-long-edge|1p 2p 3p -|3|
kavrin|doc.pdf|application/pdf|sides=two-sided-long-edge|1p 3p - 2p|3|
lurran|doc.pwg|image/pwg-raster|sides=two-sided-long-edge|1p 3p - 2p|3|
orvane|doc.pdf|application/pdf|sides=two-sided-long-edge copies=2 multiple-document-handling=separate-documents-uncollated-copies|1p 2p 3p - 1p 2p 3p -|6|
orvane|doc.jpg|image/jpeg|sides=two-sided-long-edge copies=2|1p - 1p -|2|
ROWS
exit "$FAILED"
