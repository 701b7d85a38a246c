#!/bin/sh
# Renders the scalable application icon into the PNG sizes of the hicolor
# theme (committed beside it). Needs rsvg-convert (librsvg2-bin).
set -e
here=$(cd "$(dirname "$0")" && pwd)
svg="$here/icons/net.morvane.MorvaneMusic.svg"
for size in 16 24 32 48 64 128 256 512; do
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$here/icons/net.morvane.MorvaneMusic-$size.png"
done
