#!/bin/sh
# Draws the program's icon and packs it as a nine-image .ico: 16, 32 and 48 pixels square, each
# in 16 colours, 256 colours and true colour with alpha.
#   make_icon.sh <output.ico> <scratch folder>
set -eu
out=$1
work=$2
mkdir -p "$work"

# The design, drawn once at 96 pixels and scaled down: a blue rounded tile with a white arrow
# pointing down onto an amber tray, for "fetching an update".
convert -size 96x96 xc:none \
    -fill '#0d3f7a' -draw 'roundrectangle 4,4 91,91 18,18' \
    -fill '#1f6fc8' -draw 'roundrectangle 8,8 87,87 15,15' \
    -fill white -draw 'polygon 48,74 22,46 37,46 37,16 59,16 59,46 74,46' \
    -fill '#f2b632' -draw 'roundrectangle 18,78 78,86 3,3' \
    "PNG32:$work/design.png"

pngs=""
for size in 16 32 48; do
    convert "$work/design.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$work/true$size.png"
    # The palette images have a one-bit mask: threshold the alpha, then reduce the colours
    # (one palette entry is left for the transparent colour).
    convert "$work/true$size.png" -channel A -threshold 50% +channel \
        +dither -colors 15 "PNG8:$work/c16_$size.png"
    convert "$work/true$size.png" -channel A -threshold 50% +channel \
        -colors 255 "PNG8:$work/c256_$size.png"
done

icotool -c -o "$out" \
    -b 4 "$work/c16_16.png" "$work/c16_32.png" "$work/c16_48.png" \
    -b 8 "$work/c256_16.png" "$work/c256_32.png" "$work/c256_48.png" \
    -b 32 "$work/true16.png" "$work/true32.png" "$work/true48.png"

# Refuse an icon that lacks any of the nine images.
count=$(icotool -l "$out" | grep -c -e '--bit-depth=4 ' -e '--bit-depth=8 ' -e '--bit-depth=32 ')
if [ "$count" -ne 9 ]; then
    echo "make_icon.sh: expected 9 images, got $count" >&2
    rm -f "$out"
    exit 1
fi
