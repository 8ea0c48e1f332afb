#!/usr/bin/env bash
# Starts every window on a virtual X display and writes a PNG of each, then
# copies them beside the user manual (data/help/images/), whose relative
# links then work in the source tree, the build and an installed copy.
# Usage: scripts/screenshots.sh BIN_FOLDER OUTPUT_FOLDER
set -euo pipefail
bin=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -dpi 96" \
    env QT_QPA_PLATFORM=xcb "$bin/ui_screenshots" "$out"
manual_images=$(dirname "$0")/../data/help/images
mkdir -p "$manual_images"
cp "$out"/*.png "$manual_images/"
