#!/usr/bin/env bash
# Draws the program icon (tiles of a map with a download arrow) at the sizes
# the desktop asks for. Needs ImageMagick; the PNGs are kept in the
# repository, so this runs only when the drawing changes.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
    -fill '#1f4e79' -draw 'roundrectangle 8,8 247,247 36,36' \
    -fill '#e8f1d8' -draw 'rectangle 30,30 94,94' \
    -fill '#cfe3b0' -draw 'rectangle 100,30 164,94' \
    -fill '#e8f1d8' -draw 'rectangle 170,30 234,94' \
    -fill '#cfe3b0' -draw 'rectangle 30,100 94,164' \
    -fill '#9cc7e8' -draw 'rectangle 100,100 164,164' \
    -fill '#cfe3b0' -draw 'rectangle 170,100 234,164' \
    -fill '#e8f1d8' -draw 'rectangle 30,170 94,234' \
    -fill '#cfe3b0' -draw 'rectangle 100,170 164,234' \
    -fill '#e8f1d8' -draw 'rectangle 170,170 234,234' \
    -stroke '#f2b134' -strokewidth 8 -fill none \
    -draw 'line 30,170 120,120' -draw 'line 120,120 234,56' \
    -stroke none -fill '#ffffff' \
    -draw 'rectangle 146,118 198,178' \
    -draw 'polygon 120,172 224,172 172,230' \
    -fill '#d9480f' \
    -draw 'rectangle 154,126 190,180' \
    -draw 'polygon 134,180 210,180 172,220' \
    tessellon-256.png
for size in 128 64 48 32 16; do
    convert tessellon-256.png -resize ${size}x${size} tessellon-${size}.png
done
