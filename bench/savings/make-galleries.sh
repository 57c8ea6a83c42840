#!/usr/bin/env bash
# Photo galleries from the desktop backgrounds, each picture shown 640 pixels
# wide, as a gallery page would: <share>/galleries/{nature,abstract}.html; and
# a gallery of every packaged photo shown small, 240 pixels wide in a grid of
# thumbnails: <share>/galleries/thumbs.html
#   bash make-galleries.sh <corpus>/root/usr/share
set -euo pipefail
share="$1"
mkdir -p "$share/galleries"
for set in nature abstract; do
  {
    echo "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>$set</title></head><body><h1>$set</h1>"
    for f in "$share/backgrounds/mate/$set"/*; do
      name="$(basename "$f")"
      case "$name" in *_[0-9]*x[0-9]*.*) continue ;; esac # the same picture, larger
      echo "<figure><img src=\"../backgrounds/mate/$set/$name\" width=\"640\" alt=\"$name\"><figcaption>$name</figcaption></figure>"
    done
    echo "</body></html>"
  } >"$share/galleries/$set.html"
done
{
  echo '<!DOCTYPE html><html><head><meta charset="utf-8"><title>thumbnails</title>'
  echo '<style>figure { display: inline-block; margin: 4px; }</style></head><body><h1>thumbnails</h1>'
  for f in "$share"/backgrounds/mate/*/*.jpg; do
    name="${f#"$share"/backgrounds/mate/}"
    echo "<figure><img src=\"../backgrounds/mate/$name\" width=\"240\" alt=\"$name\"><figcaption>$(basename "$name")</figcaption></figure>"
  done
  echo "</body></html>"
} >"$share/galleries/thumbs.html"
