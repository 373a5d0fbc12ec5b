#!/bin/sh
# The Printer Application under concurrent load: rounds of 30 Print-Jobs at
# once, PDF, PWG raster and JPEG over three printers; every job completes and
# decodes, the server answers after each round, survives Debian's IPP/1.1 and
# IPP/2.0 test files.
set -u
ROUNDS=${ROUNDS:-10}
. "$(dirname "$0")/app_lib.sh"
JOBS=30
PRINTERS="orvane:norvex-orvane-210:C kavrin:norvex-kavrin:Z lurran:norvex-lurran-3010:M"
FORMATS="application/pdf:pdf image/pwg-raster:pwg image/jpeg:jpg"
printf '%%!PS\n72 600 451 72 rectfill /Helvetica findfont 36 scalefont setfont 72 400 moveto (Norvex under load) show showpage\n' \
  >"$W/page.ps"
ghostscript page.pdf page.ps -sDEVICE=pdfwrite -sPAPERSIZE=a4 -dFIXEDMEDIA
ghostscript page.pwg page.ps -sDEVICE=pwgraster -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 -sPAPERSIZE=a4 -dFIXEDMEDIA
ghostscript page.jpg page.ps -sDEVICE=jpeggray -r150 -sPAPERSIZE=a4 -dFIXEDMEDIA

# nth N WORDS...: the Nth word, counted from 0 and round the list.
nth() { n=$1; shift; shift $((n % $#)); echo "$1"; }

# The server answers HTTP, its socket and IPP on every printer.
answers() {
  serving || return 1
  for q in $PRINTERS; do timeout 20 ipptool -q "$URI/ipp/print/${q%%:*}" get-printer-attributes.test || return 1; done
}
# A server that stopped answering ends the test, dead or hung.
hung() { gone "$APP_PID" && die "$1; the server died: $(grep -v '^I ' "$W/app.log" | tail -5)"; die "$1; it hangs"; }

start_app
for p in $PRINTERS; do add_printer "${p%%:*}" "$(echo "$p" | cut -d: -f2)"; done
for round in $(seq "$ROUNDS"); do
  clients=
  for i in $(seq 0 $((JOBS - 1))); do
    p=$(nth $i $PRINTERS) f=$(nth $((i / 3)) $FORMATS)
    submit "${p%%:*}" "$W/page.${f##*:}" "${f%%:*}" "r$round-j$i" >"$W/r$round-j$i.id" &
    clients="$clients $!"
  done
  for pid in $clients; do wait "$pid"; done
  ! ls "$W"/r"$round"-*.refused >/dev/null 2>&1 || answers || hung "round $round: jobs refused"
  for i in $(seq 0 $((JOBS - 1))); do
    p=$(nth $i $PRINTERS) name=r$round-j$i
    printer=${p%%:*} platform=${p##*:} id=$(cat "$W/$name.id")
    [ -n "$id" ] || { fail "$name on $printer not taken: $(cat "$W/$name.refused")"; continue; }
    s=$(wait_job "$printer" "$id" 120)
    case $s in timeout,*) answers || hung "waiting for $name" ;; esac
    summary=$("$DECODER" --check --quiet "$W/out/$printer/$name.prn" 2>&1)
    case $s in completed,1,*) ;; *) fail "$name on $printer (job $id) ended as '$s'; its stream: $summary"; continue ;; esac
    case $summary in *"platform=$platform pages=1 "*"status=ok"*) ;; *) fail "$name on $printer: $summary" ;; esac
  done
  answers || hung "after round $round"
  say "round $round: $JOBS jobs, $(grep -c "^r$round-" "$W/busy") busy answers"
done

# Debian's IPP/1.1 and IPP/2.0 test files on one printer, with the PDF; the
# server outlives them and that printer still prints.
for suite in ipp-1.1 ipp-2.0; do
  timeout 600 ipptool -I -t -f "$W/page.pdf" "$URI/ipp/print/kavrin" "$suite.test" >"$W/$suite.out" 2>&1
  [ -z "$(ipp_failures "$W/$suite.out")" ] || fail "$suite.test: $(ipp_failures "$W/$suite.out" | tr '\n' ';')"
  answers || hung "after $suite.test"
done
s=$(wait_job kavrin "$(submit kavrin "$W/page.pdf" application/pdf after-ipp)")
case $s in completed,1,*) ;; *) fail "job after the IPP test files ended as '$s'" ;; esac
exit "$FAILED"
