#!/bin/sh
# Prints the bundled sample document for a PLATFORM_Z printer (Norvex Kavrin
# Series): renders it to CUPS raster the way CUPS does (ghostscript's cups
# device, 8-bit grey, 600 dpi), runs the filter on it, and shows the result.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build

out=out/demo
mkdir -p "$out"
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$out/sample.ras" samples/norvex-sample.ps
PPD=samples/demo-kavrin.ppd build/gdi_filter/rastertoNorvex 1 "$(id -un)" "Norvex sample" 1 "" \
  "$out/sample.ras" >"$out/sample.prn" 2>"$out/filter.log" && status=0 || status=$?

grep -E '^(PAGE|ERROR):|Ready to print' "$out/filter.log" || true
echo "Filter exit status: $status"
echo "Printer stream: $out/sample.prn ($(wc -c <"$out/sample.prn") bytes); full log: $out/filter.log"
