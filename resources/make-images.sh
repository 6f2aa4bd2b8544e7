#!/bin/sh
# Regenerates Dialboard's image assets with ImageMagick:
#   ../packaging/icons/dialboard.svg  the program icon, scalable, for the desktop menu
#   dialboard.png                     the same icon at 32 x 32 pixels, 16 colours, for the windows
#   splash.jpg                        the 245 x 93 progressive JPEG shown while the panel starts
# Run it from anywhere; it writes next to itself.
set -eu
cd "$(dirname "$0")"

# The icon is one list of filled shapes on a 32 x 32 grid: colour and SVG path data.
# Both the SVG and the PNG are drawn from this list, so the two cannot drift apart.
# A dark-blue tile; an A-frame antenna with a lamp and two pairs of radio waves; below
# it four speed-dial keys, each with a call sign line, the top-left one lit as the
# linked node. The waves are closed bands rather than stroked arcs: ImageMagick 6
# strokes an open arc as if it were closed.
icon_shapes() {
  cat <<'EOF'
#1f4288 M6 0H26A6 6 0 0 1 32 6V26A6 6 0 0 1 26 32H6A6 6 0 0 1 0 26V6A6 6 0 0 1 6 0Z
#142c5c M4 19H28V28A2 2 0 0 1 26 30H6A2 2 0 0 1 4 28Z
#9fd0ff M19.36 3.64A4.75 4.75 0 0 1 19.36 10.36A0.75 0.75 0 0 1 18.3 9.3A3.25 3.25 0 0 0 18.3 4.7A0.75 0.75 0 0 1 19.36 3.64Z
#9fd0ff M12.64 3.64A4.75 4.75 0 0 0 12.64 10.36A0.75 0.75 0 0 0 13.7 9.3A3.25 3.25 0 0 1 13.7 4.7A0.75 0.75 0 0 0 12.64 3.64Z
#9fd0ff M21.83 1.17A8.25 8.25 0 0 1 21.83 12.83A0.75 0.75 0 0 1 20.77 11.77A6.75 6.75 0 0 0 20.77 2.23A0.75 0.75 0 0 1 21.83 1.17Z
#9fd0ff M10.17 1.17A8.25 8.25 0 0 0 10.17 12.83A0.75 0.75 0 0 0 11.23 11.77A6.75 6.75 0 0 1 11.23 2.23A0.75 0.75 0 0 0 10.17 1.17Z
#ffffff M15 8H17L20.5 17H18.5L16 10.5L13.5 17H11.5Z
#ffffff M13.5 13H18.5V14.5H13.5Z
#ffb81c M15.5 5H16.5A1.5 1.5 0 0 1 18 6.5V7.5A1.5 1.5 0 0 1 16.5 9H15.5A1.5 1.5 0 0 1 14 7.5V6.5A1.5 1.5 0 0 1 15.5 5Z
#ffb81c M6 21H15V24H6Z
#eef3fb M17 21H26V24H17Z
#eef3fb M6 26H15V29H6Z
#eef3fb M17 26H26V29H17Z
#142c5c M8 22H13V23H8Z
#142c5c M19 22H24V23H19Z
#142c5c M8 27H13V28H8Z
#142c5c M19 27H24V28H19Z
EOF
}

# The SVG: one <path> per shape.
{
  echo '<?xml version="1.0" encoding="UTF-8"?>'
  echo '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">'
  echo '  <title>Dialboard</title>'
  icon_shapes | while read -r fill d; do
    echo "  <path fill=\"$fill\" d=\"$d\"/>"
  done
  echo '</svg>'
} > ../packaging/icons/dialboard.svg

# The PNG: the same shapes drawn eight times larger and averaged down in 8 x 8 blocks,
# which gives each pixel its covered share as an SVG renderer does. ImageMagick puts
# pixel centres on whole coordinates, hence the half-pixel shift. The palette is then
# cut to 16 colours without dithering so the edges stay clean.
draw=$(icon_shapes | while read -r fill d; do echo "fill $fill path '$d'"; done)
convert -size 256x256 xc:none -stroke none -draw "affine 8,0,0,8,-0.5,-0.5 $draw" \
        -filter box -resize 32x32 \
        -dither None -colors 16 -strip -define png:exclude-chunks=date,time \
        PNG8:dialboard.png

# The splash: an evening sky over a dark ridge, a lattice mast on the right sending
# waves out, and the program's name on the left. Progressive JPEG, as the splash expects.
font=DejaVu-Sans-Bold
convert -size 245x93 gradient:'#0d1f4a-#4f8fd0' \
        \( -size 245x30 gradient:'#4f8fd000-#f0a04880' \) -geometry +0+63 -composite \
        -fill '#0a1428' -stroke none \
        -draw "path 'M0 93V80Q40 70 85 78T170 74T245 79V93Z'" \
        -fill none -stroke '#0a1428' -strokewidth 2 \
        -draw "line 218,20 205,78 line 218,20 231,78" \
        -strokewidth 1 \
        -draw "line 213,42 223,42 line 209,60 227,60 line 213,42 227,60 line 223,42 209,60 line 216,30 220,30" \
        -fill '#ffb81c' -stroke none -draw "circle 218,18 218,14.5" \
        -fill none -stroke '#cfe6ff' -strokewidth 1.5 \
        -draw "arc 208,8 228,28 -60,60 arc 208,8 228,28 120,240" \
        -draw "arc 200,0 236,36 -55,55 arc 200,0 236,36 125,235" \
        -stroke '#cfe6ff80' \
        -draw "arc 192,-8 244,44 -50,50 arc 192,-8 244,44 130,230" \
        -stroke none -font "$font" -pointsize 31 \
        -fill '#00000080' -annotate +12+50 'Dialboard' \
        -fill '#ffffff' -annotate +10+48 'Dialboard' \
        -font DejaVu-Sans -pointsize 11 -fill '#dbe9ff' -annotate +12+66 'EchoLink speed dial' \
        -strip -quality 92 -interlace Plane splash.jpg
