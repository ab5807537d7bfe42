#!/bin/sh
# Redraws the PNG files in images/ from draw_images.cpp. Needs the Qt 5 Gui development files.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O1 -Wall -Wextra -fPIC "$here/draw_images.cpp" -o "$work/draw_images" \
    $(pkg-config --cflags --libs Qt5Gui)
QT_QPA_PLATFORM=offscreen "$work/draw_images" "$here/images"
