#!/usr/bin/env bash
# Draws the console's icons and list images with ImageMagick. The results are committed
# beside this script; run it again after changing a drawing.
#   list_images.bmp   ten 16 x 15 images on white (the list's transparent colour):
#                     0/1 sort triangles, 2-5 status discs, 6-9 computer with a turning gear
#   app.ico           the application (window, task bar, About box)
#   logo.ico          main window, top left
#   host_info.ico     over the host panel's frame
#   console_pc.ico    wait dialog, left: the console
#   managed_hosts.ico wait dialog, right: two networked hosts
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- list images ---------------------------------------------------------------------------
cell() { convert -size 16x15 xc:white "$@"; }

cell -fill none -stroke '#404040' -draw 'polygon 8,3 13,11 3,11' "$tmp/0.png"
cell -fill none -stroke '#404040' -draw 'polygon 3,3 13,3 8,11' "$tmp/1.png"

disc() { # disc FILE then extra draw arguments
  local out=$1; shift
  cell -fill '#b8b8b8' -stroke '#707070' -draw 'circle 7.5,7 7.5,0.5' "$@" "$out"
}
disc "$tmp/2.png" -stroke '#d01010' -strokewidth 2 -draw 'line 5,4 10,10' -draw 'line 10,4 5,10'
disc "$tmp/3.png" -stroke '#d01010' -strokewidth 2 -fill none \
     -draw 'path "M 5.5,5 C 5.5,2.5 10,2.5 10,5 C 10,7 7.5,7 7.5,9"' \
     -strokewidth 1 -fill '#d01010' -draw 'rectangle 7,11 8,12'
disc "$tmp/4.png" -stroke '#1030d0' -fill '#1030d0' -draw 'rectangle 7,3 8,9' -draw 'rectangle 7,11 8,12'
disc "$tmp/5.png" -stroke '#008080' -strokewidth 2 -fill none -draw 'polyline 4,7 7,10 11,4'

gear() { # gear FILE ANGLE: a small computer with a gear turned by ANGLE degrees
  local out=$1 angle=$2
  cell -fill '#d8d8e8' -stroke '#505060' -draw 'rectangle 0,1 9,8' \
       -fill '#3060c0' -stroke none -draw 'rectangle 1,2 8,7' \
       -fill '#505060' -draw 'rectangle 3,9 6,10' -draw 'rectangle 1,11 8,12' \
       \( -size 9x9 xc:none -fill '#e0a000' -stroke '#805000' \
          -draw 'polygon 4.5,0 5.5,2 7.7,1.3 7,3.5 9,4.5 7,5.5 7.7,7.7 5.5,7 4.5,9 3.5,7 1.3,7.7 2,5.5 0,4.5 2,3.5 1.3,1.3 3.5,2' \
          -fill white -draw 'circle 4.5,4.5 4.5,3' -distort SRT "$angle" \) \
       -geometry +7+6 -composite "$out"
}
gear "$tmp/6.png" 0
gear "$tmp/7.png" 22.5
gear "$tmp/8.png" 45
gear "$tmp/9.png" 67.5

convert "$tmp"/{0..9}.png +append -background white -alpha remove -alpha off \
        -type truecolor BMP3:list_images.bmp

# --- icons: each drawn at 32 x 32 and scaled to 16 x 16 for the small size ----------------
icon() { # icon NAME then draw arguments on a transparent 32 x 32 canvas
  local name=$1; shift
  convert -size 32x32 xc:none "$@" "$tmp/$name-32.png"
  convert "$tmp/$name-32.png" -resize 16x16 "$tmp/$name-16.png"
  convert "$tmp/$name-16.png" "$tmp/$name-32.png" "$name.ico"
}

monitor=(-fill '#d8d8e0' -stroke '#404050' -draw 'roundrectangle 3,3 28,21 2,2'
         -fill '#2f6fd0' -stroke none -draw 'rectangle 6,6 25,18'
         -fill '#606070' -draw 'rectangle 13,22 18,25' -draw 'roundrectangle 8,26 23,28 1,1')

# Application: a monitor whose screen shows a vane over a network line.
icon app "${monitor[@]}" \
     -stroke white -strokewidth 2 -draw 'line 8,15 23,15' \
     -fill '#ffd040' -stroke '#ffd040' -strokewidth 1 -draw 'polygon 15,8 22,11 15,13' \
     -stroke white -draw 'line 15,8 15,15'

# Logo: the same vane on a blue disc.
icon logo -fill '#2f6fd0' -stroke '#1a3f80' -draw 'circle 16,16 16,2' \
     -stroke white -strokewidth 2 -draw 'line 6,22 26,22' \
     -fill '#ffd040' -stroke '#ffd040' -strokewidth 1 -draw 'polygon 15,7 25,12 15,16' \
     -stroke white -strokewidth 2 -draw 'line 15,7 15,22'

# Host information: a server tower with an "i" badge.
icon host_info -fill '#c8c8d0' -stroke '#404050' -draw 'roundrectangle 6,2 20,29 2,2' \
     -fill '#404050' -stroke none -draw 'rectangle 9,6 17,7' -draw 'rectangle 9,10 17,11' \
     -fill '#30c030' -draw 'rectangle 9,24 10,25' \
     -fill '#2f6fd0' -stroke white -draw 'circle 23,22 23,14' \
     -fill white -stroke none -draw 'rectangle 22,20 24,27' -draw 'rectangle 22,16 24,18'

# The console: one computer.
icon console_pc "${monitor[@]}"

# Managed hosts: two computers joined by a network line.
icon managed_hosts \
     -fill '#d8d8e0' -stroke '#404050' -draw 'rectangle 1,2 14,12' \
     -fill '#2f9f6f' -stroke none -draw 'rectangle 3,4 12,10' \
     -fill '#606070' -draw 'rectangle 6,13 9,15' \
     -fill '#d8d8e0' -stroke '#404050' -draw 'rectangle 17,14 30,24' \
     -fill '#2f9f6f' -stroke none -draw 'rectangle 19,16 28,22' \
     -fill '#606070' -draw 'rectangle 22,25 25,27' \
     -stroke '#008000' -strokewidth 2 -fill none -draw 'polyline 7,16 7,29 23,29 23,28' \
     -draw 'line 7,20 17,20'
