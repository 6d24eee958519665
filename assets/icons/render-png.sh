#!/usr/bin/env bash
# Renders the PNG icons of 32 pixels and more from the scalable one. The 16,
# 22 and 24 pixel icons are drawn by hand on the pixel grid (an outline of one
# pixel, the cord with a light core) and are not rendered.
set -euo pipefail
cd "$(dirname "$0")/hicolor"
id=io.github.dwellor.Dwellor
for s in 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" "scalable/apps/$id.svg" | convert - -strip "PNG32:${s}x${s}/apps/$id.png"
done
