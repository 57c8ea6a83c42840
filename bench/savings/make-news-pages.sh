#!/usr/bin/env bash
# Writes two news-like pages into <share>/news/, made of the corpus's
# packaged photos: an article with photos in its text (a lead photo across
# the column, figures floated left and right, a strip of three) and a front
# page of teasers with a sidebar of small thumbnails. Sizes are given by
# width and height attributes, as publishing systems write them.
#   bash make-news-pages.sh <corpus>/root/usr/share
set -euo pipefail
share="$1"
out="$share/news"
mkdir -p "$out"
photos=../backgrounds/mate/nature
art=../backgrounds/mate/abstract
desk=../backgrounds/mate/desktop
text='<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat. Duis aute irure dolor in reprehenderit in voluptate velit esse cillum dolore eu fugiat nulla pariatur.</p>'
head() {
  cat <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>$1</title>
<style>
body { font-family: serif; margin: 0 auto; max-width: 1040px; padding: 16px; line-height: 1.5; }
img { max-width: 100%; height: auto; }
.column { max-width: 760px; }
.right { float: right; margin: 0 0 8px 16px; }
.left { float: left; margin: 0 16px 8px 0; }
figure { margin: 0; } figcaption { font-size: 13px; color: #555; }
.teasers { display: flex; flex-wrap: wrap; gap: 16px; }
.teaser { width: 300px; } .teaser h3 { font-size: 17px; margin: 4px 0; }
.side { float: right; width: 260px; } .side img { float: left; margin: 0 8px 8px 0; }
.side p { overflow: hidden; font-size: 14px; }
</style></head><body>
HTML
}
# figure <class> <photo> <width> <height> <caption>
figure() {
  echo "<figure class=\"$1\"><img src=\"$2\" width=\"$3\" height=\"$4\" alt=\"$5\"><figcaption>$5</figcaption></figure>"
}

{
  head "Article"
  echo '<div class="column"><h1>Storms over the dunes: a season in pictures</h1>'
  figure "" "$art/Elephants_3840x2160.jpg" 760 428 "The herd at dusk"
  echo "$text"
  figure right "$photos/Dune.jpg" 320 200 "Dunes after the wind"
  echo "$text$text"
  figure left "$photos/Storm.jpg" 280 187 "The storm comes in"
  echo "$text$text"
  echo '<div style="clear: both"></div><p>'
  for p in LadyBird.jpg YellowFlower.jpg RainDrops.jpg; do
    echo "<img src=\"$photos/$p\" width=\"240\" height=\"150\" alt=\"$p\">"
  done
  echo "</p>$text"
  figure right "$desk/GreenTraditional.jpg" 300 189 "Green fields"
  echo "$text$text</div>"
  echo '</body></html>'
} >"$out/article.html"

{
  head "Front page"
  echo '<h1>The Daily Picture</h1><div class="side"><h2>Most read</h2>'
  for p in Aqua Blinds FreshFlower Garden GreenMeadow TwoWings; do
    echo "<p><img src=\"$photos/$p.jpg\" width=\"96\" height=\"60\" alt=\"$p\">$p: ut enim ad minim veniam, quis nostrud.</p>"
  done
  echo '</div><div class="column" style="max-width: 740px">'
  figure "" "$photos/Wood.jpg" 740 555 "Deep in the wood"
  echo "$text<div class=\"teasers\">"
  for p in "$art/Elephants_5640x3172.jpg" "$photos/RainDrops.jpg" "$photos/TwoWings.jpg" \
    "$photos/Storm.jpg" "$art/Elephants.jpg" "$photos/Blinds.jpg"; do
    echo "<div class=\"teaser\"><img src=\"$p\" width=\"300\" height=\"188\" alt=\"teaser\">"
    echo "<h3>Lorem ipsum dolor sit amet</h3><p>Consectetur adipiscing elit, sed do eiusmod.</p></div>"
  done
  echo '</div></div></body></html>'
} >"$out/front.html"
