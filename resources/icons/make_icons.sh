#!/usr/bin/env bash
# Regenerates the icon images next to this script: plain filled squares for the lamps and a
# small battery glyph for the application. Needs ImageMagick's `convert`.
# Each icon comes in 16x16 and 32x32 as <number>-<size>.png; the application icon also comes in
# the desktop's usual sizes as hicolor/<size>x<size>/apps/org.orlo.OrloPC.png for the package.
set -euo pipefail
cd "$(dirname "$0")"

square() {  # number colour
  for size in 16 32; do
    convert -size "${size}x${size}" "xc:$2" -strip "PNG8:$1-$size.png"
  done
}

square 140 'rgb(0,255,0)'
square 141 'rgb(255,0,0)'
square 135 'rgb(255,0,0)'
square 136 'rgb(128,128,128)'

# Application icon: an upright battery with a terminal cap and a green charge level.
battery() {  # number size
  local s=$2
  local body_l=$((s * 5 / 16)) body_r=$((s * 11 / 16 - 1))
  local body_t=$((s * 3 / 16)) body_b=$((s - 1 - s / 16))
  local cap_l=$((s * 7 / 16)) cap_r=$((s * 9 / 16 - 1))
  local fill_t=$((s * 8 / 16))
  local inset=$((s / 16 + 1))
  convert -size "${s}x${s}" xc:none -strip \
    -fill 'rgb(40,40,40)' -draw "rectangle $cap_l,$((body_t - s / 8)) $cap_r,$body_t" \
    -draw "rectangle $body_l,$body_t $body_r,$body_b" \
    -fill white -draw "rectangle $((body_l + inset)),$((body_t + inset)) $((body_r - inset)),$((body_b - inset))" \
    -fill 'rgb(0,180,0)' -draw "rectangle $((body_l + inset)),$fill_t $((body_r - inset)),$((body_b - inset))" \
    "PNG32:$1-$s.png"
}

for size in 16 32; do
  battery 128 "$size"
  battery 138 "$size"
done

for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "hicolor/${size}x${size}/apps"
  battery "hicolor/${size}x${size}/apps/org.orlo.OrloPC" "$size"
  mv "hicolor/${size}x${size}/apps/org.orlo.OrloPC-$size.png" "hicolor/${size}x${size}/apps/org.orlo.OrloPC.png"
done
