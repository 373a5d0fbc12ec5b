#!/bin/sh
# Whole-filter benchmark: renders the sample document's pages to CUPS raster as
# CUPS does (ghostscript's cups device, A4, 600 dpi, 8-bit grey), then times the
# built filter on each page with the PPD of one model per platform against the
# library floor, on its default threads and on one (NORVEX_THREADS=1), and
# prints a table per platform; also 1200 dpi pages (C at 1200 x 600, M with
# DPI1200); then the time to the first page: page 2's raster stopped in the
# middle of a line, from page 1's last line to its page end on the printer
# stream, on two threads and on one.
# Usage: bench/run.sh [runs [build-dir [options of norvex_filter_bench...]]]
#   Defaults: 9 runs, build. Options: --job-pages K, --streams DIR (keeps the
#   printer streams, to compare builds with cmp; on Z the PJL JOBTIME line
#   carries the minute of the run), --verbose (every run), --first-page-only
#   (only the time to the first page).
#   FILTER=BIN times another build of the filter than build-dir's.
set -eu
cd "$(dirname "$0")/.."
runs=${1:-9}
build=${2:-build}
[ $# -gt 2 ] && shift 2 || set --
[ -f "$build/CMakeCache.txt" ] || scripts/setup.sh "$build" >/dev/null
cmake --build "$build" -j2 --target rastertoNorvex norvex_filter_bench >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/norvex-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
# Page 1 of the sample is text and lines, page 2 grey levels and a photo, page 3 mixed.
for page in 1:text 2:photo 3:mixed; do
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -r600 -g4960x7016 -dFIXEDMEDIA \
    -dcupsColorSpace=18 -dcupsBitsPerColor=8 -dFirstPage="${page%%:*}" -dLastPage="${page%%:*}" \
    -sOutputFile="$work/${page#*:}.ras" samples/norvex-sample.ps >/dev/null 2>&1
  # The same page at 1200 x 600 dpi, for PLATFORM_C's 1200 dpi mode.
  gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=cups -r1200x600 -g9920x7016 -dFIXEDMEDIA \
    -dcupsColorSpace=18 -dcupsBitsPerColor=8 -dFirstPage="${page%%:*}" -dLastPage="${page%%:*}" \
    -sOutputFile="$work/${page#*:}-1200.ras" samples/norvex-sample.ps >/dev/null 2>&1
done
"$build/bench/norvex_filter_bench" --filter "${FILTER:-$build/gdi_filter/rastertoNorvex}" \
  --ppd-dir "$build/ppd" --pages "$work" --work "$work" --runs "$runs" "$@"
