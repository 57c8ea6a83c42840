#!/usr/bin/env bash
# Writes the pages with today's markup into <share>/markup/, made of the
# corpus's packaged pictures and font: lazy images of each kind (with the
# small script that swaps them in, as such pages carry), <picture> and
# srcset, inline styles with url() in each quoting and in <style>, a web font
# and a frame.
#   bash make-markup-pages.sh <corpus>/root/usr/share
set -euo pipefail
share="$1"
out="$share/markup"
mkdir -p "$out"
photos=../backgrounds/mate/nature
art=../backgrounds/mate/abstract
shots=../gimp/2.0/help/en/images
dot='data:image/gif;base64,R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7'
text='<p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor incididunt ut labore et dolore magna aliqua. Ut enim ad minim veniam, quis nostrud exercitation ullamco laboris nisi ut aliquip ex ea commodo consequat.</p>'
head() {
  cat <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>$1</title>
<style>
@font-face { font-family: "Bench Sans"; src: url("../fonts/truetype/dejavu/DejaVuSans.ttf") format("truetype"); }
body { font-family: "Bench Sans", monospace; margin: 16px; }
.banner { background: url("$art/Elephants.jpg") center / cover; height: 220px; }
.tile { background-image: url('$shots/filters/examples/2zinnias.png'); width: 300px; height: 200px; }
.plain { background: url($shots/menus/help/search-actions.png) no-repeat; width: 600px; height: 180px; }
</style></head><body>
HTML
}
swapper='<script>
document.querySelectorAll("[data-src],[data-srcset],[data-original],[data-lazy-src]").forEach(function (e) {
  var d = e.dataset;
  if (d.srcset) e.srcset = d.srcset;
  var s = d.src || d.lazySrc || d.original;
  if (s) e.src = s;
});
</script>'

{
  head "Lazy images"
  cat <<HTML
<h1>Lazy images</h1>$text
<p><img data-src="$photos/Aqua.jpg" src="$dot" width="640" height="400" alt="data-src"></p>
<p><img class="lazyload" data-original="$photos/Dune.jpg" width="640" height="400" alt="data-original"></p>
<p><img data-lazy-src="$photos/Garden.jpg" src="$dot" width="640" height="400" alt="data-lazy-src"></p>
<p><img data-srcset="$photos/LadyBird.jpg 1x" src="$dot" width="640" height="400" alt="data-srcset"></p>
<p><picture><source data-srcset="$photos/Storm.jpg" type="image/jpeg">
<img src="$dot" width="640" height="400" alt="picture with data-srcset"></picture></p>
<p><img data-src="$shots/toolbox/unified-transform-dialog.png" width="320" height="420" alt="data-src alone"></p>
$text
$swapper
</body></html>
HTML
} >"$out/lazy.html"

# A srcset's candidates are one photo at several resolutions, as sites
# publish them: the 1x one is the packaged photo made 640 pixels wide.
vips thumbnail "$share/backgrounds/mate/nature/RainDrops.jpg" "$out/RainDrops-640.jpg[Q=85,strip]" 640
{
  head "Styles and pictures"
  cat <<HTML
<h1>Styles and pictures</h1>
<div class="banner"></div>$text
<div style="background:url('$photos/Wood.jpg') center / cover;width:600px;height:240px">single quotes</div>
<div style='background:url("$photos/TwoWings.jpg") center / cover;width:600px;height:240px'>double quotes</div>
<div style="background:url($photos/YellowFlower.jpg?size=1&amp;crop=0) center / cover;width:600px;height:240px">unquoted, with &amp;</div>
<div class="tile"></div><div class="plain"></div>
<p><picture><source srcset="$art/Flow.png" media="(min-width: 800px)">
<img src="$art/Silk.png" width="640" height="360" alt="picture"></picture></p>
<p><img srcset="RainDrops-640.jpg 1x, $photos/RainDrops.jpg 2x" src="RainDrops-640.jpg" width="640" height="400" alt="srcset"></p>
$text
</body></html>
HTML
} >"$out/styles.html"

{
  head "A frame"
  cat <<HTML
<h1>A frame</h1>$text
<p><img src="$photos/GreenMeadow.jpg" width="480" height="300" alt="photo"></p>
<iframe src="lazy.html" width="1000" height="900"></iframe>
$text
</body></html>
HTML
} >"$out/frame.html"
