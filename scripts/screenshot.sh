#!/bin/sh
# Remakes the README's pictures of the Printer Application: a printer's home
# page (docs/printer-home.png) and its printing defaults page, which only an
# administrator sees (docs/printing-defaults.png). Installs the docs packages
# (headless chromium, optipng) and builds, makes a throw-away administrator,
# runs a private server of the build on a free loopback port with one
# printer, photographs the pages and removes everything again. As root.
# Usage: scripts/screenshot.sh [build-dir]
set -u
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-build}
[ "$(id -u)" -eq 0 ] || { echo "FAIL: must run as root (installs chromium, makes an account)"; exit 1; }
sh scripts/setup.sh --docs "$BUILD" || exit 1

APP=$ROOT/$BUILD/printer_app/norvex-printer-app
APP_TEST_DIR=$ROOT/tests/printer_app
. "$APP_TEST_DIR/app_lib.sh"

# The administrator: a member of a group of its own, which the server is
# given as its admin group, with a password nobody else knows.
ADMIN=nvxshot$$
remove_admin() {
  status=$?
  userdel "$ADMIN" 2>/dev/null
  groupdel "$ADMIN" 2>/dev/null
  return "$status"
}
trap 'remove_admin; cleanup' EXIT
PASSWORD=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
groupadd "$ADMIN" && useradd -M -N -g "$ADMIN" -s /usr/sbin/nologin "$ADMIN" &&
  printf '%s:%s\n' "$ADMIN" "$PASSWORD" | chpasswd || die "could not make the administrator $ADMIN"

APP_OPTIONS="-o admin-group=$ADMIN"
start_app
add_printer Office norvex-kavrin

# photograph PAGE PICTURE WIDTH,HEIGHT [LOGIN]: Chromium keeps its profile,
# cache and crash handler under $W; its processes carry the server's TMPDIR,
# so the cleanup on exit finds any that linger.
mkdir -p "$W/home"
photograph() {
  rm -f "$W/page.png"
  env HOME="$W/home" TMPDIR="$W/tmp" XDG_CONFIG_HOME="$W/home" XDG_CACHE_HOME="$W/home" \
    chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
    --user-data-dir="$W/home/chromium" --window-size="$3" \
    --screenshot="$W/page.png" "http://${4:+$4@}localhost:$PORT$1" >"$W/chromium.log" 2>&1 </dev/null
  [ -s "$W/page.png" ] || die "chromium took no screenshot of $1: $(tail -3 "$W/chromium.log")"
  optipng -quiet -o5 "$W/page.png" || die "optipng failed"
  mkdir -p "$ROOT/docs" && cp "$W/page.png" "$ROOT/docs/$2" || die "cannot write docs/$2"
  say "wrote docs/$2 ($(wc -c <"$ROOT/docs/$2") bytes)"
}
photograph /Office/ printer-home.png "${SCREENSHOT_HOME_SIZE:-900,700}"
photograph /Office/printing printing-defaults.png "${SCREENSHOT_SIZE:-900,870}" "$ADMIN:$PASSWORD"
stop_app
