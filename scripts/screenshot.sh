#!/bin/sh
# Remakes docs/printing-defaults.png, the README's picture of the Printer
# Application's printing defaults page (the vendor options): installs the docs
# packages (headless chromium, optipng) and builds, runs a private server of
# the build on a free loopback port with one printer, photographs the page and
# removes everything again. As root. Usage: scripts/screenshot.sh [build-dir]
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
PICTURE=$ROOT/docs/printing-defaults.png
[ "$(id -u)" -eq 0 ] || { echo "FAIL: must run as root (installs chromium)"; exit 1; }
sh scripts/setup.sh --docs "$BUILD" || exit 1

APP=$ROOT/$BUILD/printer_app/norvex-printer-app
APP_TEST_DIR=$ROOT/tests/printer_app
. "$APP_TEST_DIR/app_lib.sh"
start_app
add_printer Office norvex-kavrin

# Chromium keeps its profile, cache and crash handler under $W; its processes
# carry the server's TMPDIR, so the cleanup on exit finds any that linger.
mkdir -p "$W/home"
env HOME="$W/home" TMPDIR="$W/tmp" XDG_CONFIG_HOME="$W/home" XDG_CACHE_HOME="$W/home" \
  chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
  --user-data-dir="$W/home/chromium" --window-size="${SCREENSHOT_SIZE:-900,870}" \
  --screenshot="$W/page.png" "http://localhost:$PORT/Office/printing" >"$W/chromium.log" 2>&1 </dev/null
[ -s "$W/page.png" ] || die "chromium took no screenshot: $(tail -3 "$W/chromium.log")"
optipng -quiet -o5 "$W/page.png" || die "optipng failed"
mkdir -p "$ROOT/docs" && cp "$W/page.png" "$PICTURE" || die "cannot write $PICTURE"
stop_app
say "wrote $PICTURE ($(wc -c <"$PICTURE") bytes)"
