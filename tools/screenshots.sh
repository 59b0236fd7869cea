#!/usr/bin/env bash
# Photographs the splash, the launcher (both panels), the About box and the help viewer
# on a virtual 1024x768 X screen. Usage: tools/screenshots.sh [BUILD_DIR] [OUTDIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build}
out=${2:-$build/screenshots}
cmake --build "$build" --target cld_screenshots CLD
mkdir -p "$out"
xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/tools/bin/cld_screenshots" "$build/bin" "$out"
echo "screenshots in $out"
