#!/usr/bin/env bash
# Renders the toolbar images, the program icon and the splash picture from their SVG sources (ImageMagick).
# The PNGs are committed; run this after changing a source.
set -euo pipefail
cd "$(dirname "$0")/../res"
for svg in icons/svg/*.svg; do
    name=$(basename "$svg" .svg)
    convert -background none -density 96 "$svg" "PNG32:icons/$name.png"
done
# The splash picture: its drawing over a sky-blue gradient.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
convert -size 307x176 gradient:'#2a7cc4-#0b2f57' "$tmp/sky.png"
convert -background none -density 96 images/splash.svg "PNG32:$tmp/drawing.png"
convert "$tmp/sky.png" "$tmp/drawing.png" -composite "PNG24:images/splash.png"
# The program icon for the desktop's icon theme, at the sizes menus and docks ask for.
for size in 16 24 32 48 64 128 256; do
    convert -background none -density $((96 * size / 48)) icons/svg/zandel.svg -resize "${size}x${size}" \
        "PNG32:desktop/icons/zandel-$size.png"
done
