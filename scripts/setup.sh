#!/bin/sh
# Installs the Debian packages the build and the tests need (when missing),
# then configures and builds. Usage: scripts/setup.sh [--docs] [build-dir [cmake options...]]
# --docs adds what remakes the README's pictures (scripts/screenshot.sh); CI never needs it.
set -eu
cd "$(dirname "$0")/.."

PACKAGES="g++ make cmake pkg-config libcups2-dev libcupsimage2-dev libjbig-dev libpng-dev
  libgtest-dev libbenchmark-dev ghostscript cups cups-client cups-filters cups-ipp-utils cups-ppdc
  clang libclang-rt-14-dev libpappl-dev libpam0g-dev libavahi-client-dev curl dpkg-dev iproute2 passwd
  dbus avahi-daemon lintian man-db time"
DOCS_PACKAGES="chromium optipng"
if [ "${1:-}" = --docs ]; then
  PACKAGES="$PACKAGES $DOCS_PACKAGES"
  shift
fi

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing </dev/null ||
    { apt-get update -q </dev/null && apt-get install -y -q --no-install-recommends $missing </dev/null; }
fi

build=${1:-build}
[ $# -gt 0 ] && shift
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
