#!/usr/bin/env bash
# Draws the program's icon (ImageMagick): ragged comma-separated rows on the
# left become even fixed-width rows on the right. Writes the Windows icon
# with its usual sizes and the PNG the Qt window uses. The results are kept
# in the repository; run this only to change the mark.
set -euo pipefail
cd "$(dirname "$0")/../Convert/resources"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
  -fill '#1d5f8a' -draw 'roundrectangle 8,8 247,247 44,44' \
  -fill '#ffffff' \
  -draw 'roundrectangle 34,70 102,90 10,10' \
  -draw 'roundrectangle 34,118 84,138 10,10' \
  -draw 'roundrectangle 34,166 112,186 10,10' \
  -draw 'polygon 118,100 148,128 118,156' \
  -draw 'roundrectangle 160,70 222,90 10,10' \
  -draw 'roundrectangle 160,118 222,138 10,10' \
  -draw 'roundrectangle 160,166 222,186 10,10' \
  "$work/convert-256.png"
for size in 16 24 32 48 64; do
  convert "$work/convert-256.png" -filter Lanczos -resize "${size}x${size}" "$work/convert-$size.png"
done
convert "$work"/convert-{16,24,32,48,64,256}.png convert.ico
cp "$work/convert-256.png" convert.png
