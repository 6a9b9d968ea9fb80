#!/usr/bin/env bash
# Draws the program's pictures into images/, cursors/ and icons/. The outputs are committed, so building
# needs no ImageMagick; run this again after changing a drawing and commit what it writes.
# The small icons are pixel art (XPM below, one character a pixel); the rest are ImageMagick drawings.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
# The real ImageMagick: something else called convert may stand earlier on PATH.
convert=/usr/bin/convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p images cursors

# No dates or tool comments in the files, so that drawing again changes nothing that was not redrawn.
png() { # convert arguments..., the output last
    "$convert" "${@:1:$#-1}" -strip -define png:exclude-chunks=date,time "${@: -1}"
}

# The sixteen colours of the classic Windows palette, for the 16-colour pictures.
"$convert" xc:'#000000' xc:'#800000' xc:'#008000' xc:'#808000' xc:'#000080' xc:'#800080' \
    xc:'#008080' xc:'#c0c0c0' xc:'#808080' xc:'#ff0000' xc:'#00ff00' xc:'#ffff00' xc:'#0000ff' \
    xc:'#ff00ff' xc:'#00ffff' xc:'#ffffff' +append "$work/palette16.png"

# A 16-colour image with binary transparency; ICO files of these get 4 bits a pixel and a mask.
# -remap drops transparency, so the mask is cut out first and put back afterwards.
sixteen() {
    "$convert" "$1" \( +clone -alpha extract -threshold 50% \) \
        \( -clone 0 -alpha off +dither -remap "$work/palette16.png" \) -delete 0 +swap \
        -alpha off -compose CopyOpacity -composite "$2"
}
# Indexed PNG with a 4-bit palette, as the 16-colour pictures are specified.
png16() { png "$1" -define png:bit-depth=4 "PNG8:$2"; }
# Icon files from several same-picture sizes; PaletteMatte keeps the palette (4 or 8 bits a pixel).
icon() {
    local out=$1
    shift
    "$convert" "$@" -type PaletteMatte "$out"
}

xpm() { # name width height, colour lines and pixel rows on stdin
    local name=$1 width=$2 height=$3 colours=() rows=() line
    while IFS= read -r line; do
        if [[ $line == *' c '* ]]; then colours+=("$line"); else rows+=("$line"); fi
    done
    {
        echo '/* XPM */'
        echo "static char *${name}[] = {"
        echo "\"$width $height ${#colours[@]} 1\","
        printf '"%s",\n' "${colours[@]}" "${rows[@]}"
        echo '};'
    } >"$work/$name.xpm"
    "$convert" "$work/$name.xpm" "$work/$name.png"
}

## Background banner: 123 x 240, 24-bit JPEG. Only the left 104 x 206 px show beside the tab control,
## so the at sign and the globes stay inside that strip; the perforations are those of a postage stamp.
perforations=
for ((y = 0; y <= 240; y += 10)); do perforations+="circle 0,$y 3.5,$y circle 123,$y 126.5,$y "; done
for ((x = 0; x <= 123; x += 10)); do perforations+="circle $x,0 $x,3.5 circle $x,240 $x,243.5 "; done
"$convert" -size 123x240 gradient:'#1a3c8c'-'#4f86d0' \
    -fill none -stroke white -strokewidth 1 -draw 'rectangle 9,9 113,230' \
    -stroke none -fill '#ececec' -draw "$perforations" \
    -fill white -font DejaVu-Sans-Bold -pointsize 74 -gravity northwest -annotate +14+12 '@' \
    -fill '#2f6fc8' -stroke '#dbe8ff' -strokewidth 1.5 -draw 'circle 52,150 52,120' \
    -fill none -strokewidth 1 \
    -draw 'ellipse 52,150 12,30 0,360 ellipse 52,150 24,30 0,360 ellipse 52,150 30,10 0,360' \
    -draw 'line 52,120 52,180 line 22,150 82,150' \
    -fill '#3b7ad6' -draw 'circle 88,108 88,96' \
    -fill none -draw 'ellipse 88,108 5,12 0,360 line 76,108 100,108 line 88,96 88,120' \
    -type TrueColor -strip -quality 92 -sampling-factor 1x1 images/banner.jpg

## Image1 of the main window, the tray icon: a black-and-white envelope, 16 x 16, 16 colours.
xpm envelope_plain 16 16 <<'EOF'
. c None
X c #000000
w c #FFFFFF
................
................
................
XXXXXXXXXXXXXXXX
XXwwwwwwwwwwwwXX
XwXXwwwwwwwwXXwX
XwwwXwwwwwwXwwwX
XwwwwXXwwXXwwwwX
XwwwXwwXXwwXwwwX
XwwXwwwwwwwwXwwX
XwXwwwwwwwwwwXwX
XXwwwwwwwwwwwwXX
XXXXXXXXXXXXXXXX
................
................
................
EOF

## Image2: the same envelope in dark blue with a yellow and white pattern.
xpm envelope_coloured 16 16 <<'EOF'
. c None
b c #000000
B c #000080
y c #FFFF00
w c #FFFFFF
................
................
................
bbbbbbbbbbbbbbbb
bwyyyyyyyyyyyywb
bBwyyyyyyyyyywBb
bBBwwyyyyyywwBBb
bBBBBwwyywwBBBBb
bBBBwBBwwBBwBBBb
bBBwBByBByBBwBBb
bBwBByBByBByBwBb
bwBByBByBByBBBwb
bbbbbbbbbbbbbbbb
................
................
................
EOF

for name in envelope_plain envelope_coloured; do
    file=${name/_/-}
    png16 "$work/$name.png" "images/$file.png"
    icon "images/$file.ico" "$work/$name.png"
done

## Window icon: 16 colours, 32 x 32 and 16 x 16, a letter before a globe.
"$convert" -size 32x32 xc:none +antialias \
    -fill '#0000ff' -stroke black -draw 'circle 13,13 13,2' \
    -fill none -stroke '#00ffff' -draw 'ellipse 13,13 5,10 0,360 line 3,13 23,13 line 13,3 13,23' \
    -fill white -stroke black -draw 'rectangle 10,15 30,28' \
    -fill none -draw 'polyline 10,15 20,23 30,15' \
    -stroke '#808080' -draw 'line 11,27 17,22 line 29,27 23,22' \
    "$work/window32.png"
"$convert" -size 16x16 xc:none +antialias \
    -fill '#0000ff' -stroke black -draw 'circle 6,6 6,1' \
    -fill none -stroke '#00ffff' -draw 'line 2,6 10,6 line 6,2 6,10' \
    -fill white -stroke black -draw 'rectangle 5,8 15,14' \
    -fill none -draw 'polyline 5,8 10,12 15,8' \
    "$work/window16.png"
sixteen "$work/window32.png" "$work/window32-16c.png"
sixteen "$work/window16.png" "$work/window16-16c.png"
icon images/window.ico "$work/window32-16c.png" "$work/window16-16c.png"

## The program's icon in the desktop's menus and icon theme (icons/hicolor/NxN/apps/larkspur.png):
## the window icon. 16 and 32 are its pixel drawings as they are; the other sizes draw the 32 x 32
## design smoothly, at four times the size and shrunk, with lines a little finer than a pixel of it.
window_icon_32='
    stroke-width 0.8
    fill #0000ff stroke black circle 13,13 13,2
    fill none stroke #00ffff ellipse 13,13 5,10 0,360 line 3,13 23,13 line 13,3 13,23
    fill white stroke black rectangle 10,15 30,28
    fill none polyline 10,15 20,23 30,15
    stroke #808080 line 11,27 17,22 line 29,27 23,22'
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "icons/hicolor/${size}x${size}/apps"
    out=icons/hicolor/${size}x${size}/apps/larkspur.png
    if ((size == 16 || size == 32)); then
        png "$work/window$size.png" "$out"
    else
        big=$((size * 4))
        scale=$(awk "BEGIN { print $big / 32 }")
        half=$(awk "BEGIN { print $big / 64 }")
        png -size "${big}x${big}" xc:none -draw "affine $scale,0,0,$scale,$half,$half $window_icon_32" \
            -filter Lanczos -resize "${size}x${size}" -depth 8 "$out"
    fi
done

## Image1 of the popup: an envelope with speed lines and a red stamp, 32 x 32 (and 16 x 16), 16 colours.
popup_envelope_32='
    stroke #808080 line 1,11 6,11 line 0,16 6,16 line 2,21 6,21
    fill white stroke black rectangle 9,7 30,25
    fill #ff0000 stroke #800000 rectangle 24,9 28,14
    stroke #000080 line 13,16 22,16 line 13,19 24,19 line 13,22 20,22'
popup_envelope_16='
    stroke #808080 line 0,6 2,6 line 0,9 2,9 line 1,12 2,12
    fill white stroke black rectangle 4,3 15,13
    fill #ff0000 stroke #ff0000 rectangle 12,5 13,6
    stroke #000080 line 6,9 10,9 line 6,11 9,11'
"$convert" -size 32x32 xc:none +antialias -draw "$popup_envelope_32" "$work/popup32.png"
"$convert" -size 16x16 xc:none +antialias -draw "$popup_envelope_16" "$work/popup16.png"
sixteen "$work/popup32.png" "$work/popup32-16c.png"
sixteen "$work/popup16.png" "$work/popup16-16c.png"
png16 "$work/popup32-16c.png" images/popup-envelope.png
icon images/popup-envelope.ico "$work/popup32-16c.png" "$work/popup16-16c.png"

## Popup window icon: 256 colours, 16 x 16 and 32 x 32: the same envelope, drawn large and smoothed.
## At 16 x 16 shrinking only blurs, so that size is the small drawing with its edges smoothed.
"$convert" -size 256x256 xc:none -draw "affine 8,0,0,8,4,4 $popup_envelope_32" \
    -filter Lanczos -resize 32x32 -channel A -threshold 50% +channel \
    +dither -colors 255 "$work/popup-window32.png"
"$convert" -size 64x64 xc:none -draw "affine 4,0,0,4,2,2 $popup_envelope_16" \
    -filter Triangle -resize 16x16 -channel A -threshold 50% +channel \
    +dither -colors 255 "$work/popup-window16.png"
icon images/popup-window.ico "$work/popup-window32.png" "$work/popup-window16.png"

## Hand cursor: 32 x 32, black and white, the fingertip (the hot spot) at (13, 5).
xpm hand 32 32 <<'EOF'
. c None
X c #000000
w c #FFFFFF
................................
................................
................................
................................
................................
.............XX.................
............XwwX................
............XwwX................
............XwwX................
............XwwX................
............XwwXXX..............
............XwwXwwXXX...........
............XwwXwwXwwXX.........
............XwwXwwXwwXwwX.......
............XwwXwwXwwXwwX.......
.........XX.XwwXwwXwwXwwX.......
........XwwXXwwXwwXwwXwwX.......
........XwwwXwwXwwXwwXwwX.......
.........XwwwwwwwwwwwwwwX.......
.........XwwwwwwwwwwwwwwX.......
..........XwwwwwwwwwwwwwX.......
..........XwwwwwwwwwwwwwX.......
...........XwwwwwwwwwwwwX.......
...........XwwwwwwwwwwwwX.......
............XwwwwwwwwwwwX.......
............XwwwwwwwwwwwX.......
............XXXXXXXXXXXXX.......
................................
................................
................................
................................
................................
EOF
png "$work/hand.png" cursors/hand.png
# A .cur file is an icon file of type 2 whose entries hold the hot spot where an icon has
# planes and bit count: bytes 2-3, then 10-11 (x) and 12-13 (y) of the first entry.
"$convert" "$work/hand.png" -type PaletteMatte "ICO:$work/hand.ico"
cp "$work/hand.ico" cursors/hand.cur
printf '\x02\x00' | dd of=cursors/hand.cur bs=1 seek=2 conv=notrunc status=none
printf '\x0d\x00\x05\x00' | dd of=cursors/hand.cur bs=1 seek=10 conv=notrunc status=none
