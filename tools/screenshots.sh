#!/usr/bin/env bash
# Photographs the splash, the launcher (both panels), the About box, the help viewer and
# every dialog of every job in English and in German on a virtual 1024x768 X screen, then
# again at twice the scale on a 2048x1536 screen (in OUTDIR/2x), as a high-DPI screen shows
# them. OUTDIR/launcher.png is the metainfo's screenshot; the dialogs are in
# OUTDIR/dialogs/en and OUTDIR/dialogs/de.
# Usage: tools/screenshots.sh [BUILD_DIR] [OUTDIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
out=${2:-$build/shots}
cmake --build "$build" --target cld_screenshots CLD
mkdir -p "$out"
export CLD_REGISTRY_DIR
CLD_REGISTRY_DIR=$(mktemp -d)
trap 'rm -rf "$CLD_REGISTRY_DIR"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tools/bin/cld_screenshots" "$build/bin" "$out"
mkdir -p "$out/2x"
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 2048x1536x24" \
    "$build/tools/bin/cld_screenshots" "$build/bin" "$out/2x"
echo "screenshots in $out"
