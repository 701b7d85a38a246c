#!/bin/sh
# Fetches every URL of a list into a folder, ten at a time: the yardstick for
# the program's own batch download.
#   curl_fetch.sh URL_LIST OUT_DIR
set -e
mkdir -p "$2"
xargs -P10 -n1 curl -s -f -O --output-dir "$2" < "$1"
