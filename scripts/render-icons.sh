#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the application icon's PNG sizes for the desktop icon theme from
# src/ui/icons/brimvel.svg into packaging/icons/. The results are committed,
# so a build needs no SVG renderer; run this again after changing the
# drawing. Needs ImageMagick (apt-get install imagemagick). The 16 and 32
# pixel images are the program's own window icons in src/ui/icons/.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SOURCE=$ROOT/src/ui/icons/brimvel.svg
DRAWING_SIZE=32   # the drawing's own size in pixels, at 96 dots per inch

# Draws the picture at four times SIZE and scales it down, for smooth edges.
render() {
    local size=$1
    convert -background none -density $((96 * 4 * size / DRAWING_SIZE)) "$SOURCE" \
        -resize "${size}x${size}" -strip "png32:$ROOT/packaging/icons/brimvel-$size.png"
}

for size in 22 24 48 64 128 256; do
    render "$size"
done
