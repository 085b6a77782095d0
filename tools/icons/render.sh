#!/bin/sh
# Renders the client's icons from the SVG sources beside this script into client/resources/ICON.
# Needs rsvg-convert (Debian package librsvg2-bin). Run it after changing an SVG and commit the PNGs.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../../client/resources/ICON"
mkdir -p "$out"
# The station's health icons (health_*.svg) are rendered by its own build.
for svg in "$here"/*.svg; do
    case "$(basename "$svg")" in health_*) continue ;; esac
    name=$(basename "$svg" .svg)
    rsvg-convert --width 64 --height 64 --output "$out/$name.png" "$svg"
done
