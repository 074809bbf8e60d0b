#!/bin/sh
# Renders the program icon into the PNG sizes the desktop wants (needs rsvg-convert from
# librsvg2-bin). The PNGs are committed, so building never needs the renderer.
set -eu
cd "$(dirname "$0")"
for size in 16 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" tabulo.svg -o "tabulo-$size.png"
done
