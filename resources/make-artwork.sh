#!/bin/sh
# Redraws the PNG artwork of this folder with the Qt-based drawing tool.
# Usage: resources/make-artwork.sh [BUILD_DIR]   (default: /tmp/mm-artwork-build)
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-/tmp/mm-artwork-build}
cmake -S "$here/tools" -B "$build" -G Ninja >/dev/null
cmake --build "$build"
QT_QPA_PLATFORM=offscreen "$build/mm_make_artwork" "$here"
