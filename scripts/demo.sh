#!/bin/sh
# Prints the bundled sample document on a PLATFORM_Z printer (Norvex Kavrin
# Series): renders it to CUPS raster the way CUPS does (ghostscript's cups
# device, 8-bit grey, 600 dpi), runs the filter with the model's PPD, checks
# the printer stream with norvexdecode and writes its pages as PNG images.
set -eu
cd "$(dirname "$0")/.."
scripts/setup.sh build

out=out/demo
rm -rf "$out"
mkdir -p "$out"
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -r600 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
  -sPAPERSIZE=a4 -dFIXEDMEDIA -sOutputFile="$out/sample.ras" samples/norvex-sample.ps
PPD=build/ppd/norvex-kavrin.ppd build/gdi_filter/rastertoNorvex 1 "$(id -un)" "Norvex sample" 1 "" \
  "$out/sample.ras" >"$out/sample.prn" 2>"$out/filter.log" && status=0 || status=$?
grep -E '^(PAGE|ERROR):|Ready to print' "$out/filter.log" || true
echo "Filter exit status: $status; printer stream $out/sample.prn ($(wc -c <"$out/sample.prn") bytes)"

build/tools/norvexdecode/norvexdecode --check --quiet --pages "$out/pages" "$out/sample.prn"
echo "The pages as the printer prints them: $(ls "$out"/pages/*.png | tr '\n' ' ')"
echo "Command listing: build/tools/norvexdecode/norvexdecode $out/sample.prn"
