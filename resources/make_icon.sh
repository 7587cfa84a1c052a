#!/bin/sh
# Re-creates velmora.ico: a blue shield with a white keyhole, drawn afresh at every size (not
# scaled down from the large one) so the small tray sizes stay crisp. Needs ImageMagick 6.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fill='#1f6fd1'
edge='#0b3f86'
hole='#ffffff'

# Shapes on a 256-unit grid.
shield="path 'M 128,14 L 226,48 L 226,118 C 226,182 186,224 128,246 C 70,224 30,182 30,118 L 30,48 Z'"

frames=""
for size in 16 20 24 32 48 256; do
  scale=$(awk "BEGIN { printf \"%.6f\", $size / 256 }")
  # At least one pixel of edge; a fractional edge only smears the small sizes.
  stroke=$(awk "BEGIN { w = $size / 24; if (w < 1) w = 1; printf \"%.3f\", w * 256 / $size }")
  # The small sizes get a larger keyhole, or it closes up into a blob.
  if [ "$size" -le 24 ]; then
    keyhole="circle 128,98 128,138 polygon 114,118 142,118 158,198 98,198"
  else
    keyhole="circle 128,104 128,134 polygon 112,120 144,120 154,192 102,192"
  fi
  convert -size "${size}x${size}" xc:none -depth 8 \
    -fill "$fill" -stroke "$edge" -strokewidth "$stroke" \
    -draw "scale $scale,$scale $shield" \
    -stroke none -fill "$hole" -draw "scale $scale,$scale $keyhole" \
    "PNG32:$work/$size.png"
  frames="$frames $work/$size.png"
done

# -strip keeps time stamps out, so an unchanged drawing gives an unchanged file.
# shellcheck disable=SC2086
convert $frames -strip "$here/velmora.ico"
