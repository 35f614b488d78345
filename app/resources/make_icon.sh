#!/bin/sh
# Draws icon 128 (dialog, taskbar and tray icon) with ImageMagick: an index card on the suite's blue
# with a yellow tag. Run it from this folder when the design changes; the .ico is committed.
set -e
draw() {
    size=$1
    convert -size 64x64 xc:none \
        -fill '#004C9F' -draw 'roundrectangle 2,2 61,61 10,10' \
        -fill white -draw 'rectangle 12,14 44,50' \
        -fill '#E8EFF6' -draw 'rectangle 16,20 40,23' -draw 'rectangle 16,28 40,31' -draw 'rectangle 16,36 34,39' \
        -fill '#F8B300' -draw 'polygon 36,30 52,30 58,38 52,46 36,46' \
        -fill '#004C9F' -draw 'circle 51,38 53,38' \
        -resize "${size}x${size}" "icon-$size.png"
}
draw 32
draw 16
convert icon-32.png icon-16.png vellumar.ico
rm -f icon-32.png icon-16.png
