#!/bin/sh
# Installs the build into a scratch prefix and checks what a desktop reads:
# the .desktop file, the AppStream metainfo, every icon size and the man page.
# Usage: validate_install.sh BUILD_DIR
set -eu
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=net.morvane.MorvaneMusic
test -x "$prefix/bin/morvane-music"
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
grep -qx 'Categories=AudioVideo;Audio;Network;' "$prefix/share/applications/$id.desktop"
test -s "$prefix/share/icons/hicolor/scalable/apps/$id.svg"
for size in 16 24 32 48 64 128 256 512; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png"
  # The PNG's own width and height (bytes 16-23 of the IHDR chunk).
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  test "$dims" = "${size}x${size}" || { echo "$png is $dims"; exit 1; }
done
gzip -t "$prefix/share/man/man1/morvane-music.1.gz"
gzip -dc "$prefix/share/man/man1/morvane-music.1.gz" | grep -q '^\.SH SYNOPSIS'
echo "installed files valid"
