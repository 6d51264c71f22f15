#!/usr/bin/env bash
# Recreates the compressed example drawings from their plain sources in sources/:
# a gzip-compressed .svgz, and a ZIP archive (.svgz) holding an entry of the same
# base name with the extension .svg.
set -euo pipefail
cd "$(dirname "$0")"
gzip -9 -n -c sources/compressed-icon.svg > compressed-icon.svgz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp sources/zipped-map.svg "$work/zipped-map.svg"
touch -t 202001010000 "$work/zipped-map.svg"
(cd "$work" && zip -q -X -9 zipped-map.zip zipped-map.svg)
cp "$work/zipped-map.zip" zipped-map.svgz
