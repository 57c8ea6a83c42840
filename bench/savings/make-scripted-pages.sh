#!/usr/bin/env bash
# Writes pages that scripts build into <share>/scripted/, made with real npm
# packages at the versions pinned in scripted/package-lock.json (installed
# with npm into <share>/scripted/npm/ when missing):
#   docs.html        a documentation site rendering Markdown in the browser (docsify)
#   api.html         an API reference rendered from an OpenAPI document (swagger-ui-dist)
#   components.html  web components with shadow DOM (@shoelace-style/shoelace, built on lit)
#   feed.html        a list that loads its next pages as it is scrolled (infinite-scroll)
#   slides.html      slides laid out by a script (reveal.js)
#   gallery.html     photos in a grid laid out by a style sheet, with a viewer script:
#                    only the layout knows how small they are shown
#   bash make-scripted-pages.sh <corpus>/root/usr/share
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
share="$1"
out="$share/scripted"
mkdir -p "$out/npm"
if [ ! -d "$out/npm/node_modules/docsify" ]; then
  cp "$here/scripted/package.json" "$here/scripted/package-lock.json" "$out/npm/"
  (cd "$out/npm" && npm ci --no-audit --no-fund --ignore-scripts >/dev/null)
fi
npm=npm/node_modules

# docsify: the service's own guide as the site's Markdown.
mkdir -p "$out/docs"
cp "$repo/docs/service.md" "$out/docs/README.md"
cp "$repo/docs/tests.md" "$out/docs/tests.md"
cat >"$out/docs.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Handbook</title>
<link rel="stylesheet" href="$npm/docsify/lib/themes/vue.css"></head>
<body><div id="app">Loading...</div>
<script>window.\$docsify = { name: 'Handbook', basePath: 'docs/', subMaxLevel: 2 };</script>
<script src="$npm/docsify/lib/docsify.min.js"></script>
</body></html>
HTML

# swagger-ui: an API of a small shop, as its OpenAPI document.
python3 - "$out/api.json" <<'PY'
import json, sys
ops = []
for thing, things in [("order", "orders"), ("customer", "customers"), ("product", "products"),
                      ("invoice", "invoices"), ("shipment", "shipments")]:
    ops.append((f"/{things}", "get", f"List {things}", f"Returns the {things} of the shop, newest first, a page at a time.", thing))
    ops.append((f"/{things}", "post", f"Create a {thing}", f"Adds a new {thing}; the answer carries its identifier.", thing))
    ops.append((f"/{things}/{{id}}", "get", f"Find a {thing} by its identifier", f"Returns one {thing}, or 404 when there is none.", thing))
    ops.append((f"/{things}/{{id}}", "delete", f"Delete a {thing}", f"Removes the {thing}; what refers to it keeps a copy.", thing))
paths = {}
schemas = {}
for path, method, summary, description, thing in ops:
    paths.setdefault(path, {})[method] = {
        "tags": [thing], "summary": summary, "description": description,
        "operationId": method + summary.replace(" ", ""),
        "responses": {"200": {"description": "Done",
                              "content": {"application/json": {"schema": {"$ref": f"#/components/schemas/{thing}"}}}},
                      "404": {"description": "Not found"}}}
    schemas[thing] = {"type": "object", "properties": {
        "id": {"type": "integer", "description": f"The {thing}'s identifier"},
        "name": {"type": "string", "description": f"What the {thing} is called"},
        "created": {"type": "string", "format": "date-time", "description": "When it was made"}}}
doc = {"openapi": "3.0.3",
       "info": {"title": "Corner Shop API", "version": "2.4.0",
                "description": "Orders, customers, products, invoices and shipments of a small shop, "
                               "read and written over HTTP with JSON bodies."},
       "paths": paths, "components": {"schemas": schemas}}
json.dump(doc, open(sys.argv[1], "w"), indent=1)
PY
cat >"$out/api.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Corner Shop API</title>
<link rel="stylesheet" href="$npm/swagger-ui-dist/swagger-ui.css"></head>
<body><div id="swagger-ui"></div>
<script src="$npm/swagger-ui-dist/swagger-ui-bundle.js"></script>
<script>window.ui = SwaggerUIBundle({ url: 'api.json', dom_id: '#swagger-ui' });</script>
</body></html>
HTML

# Shoelace: components whose words are partly in their shadow roots.
cat >"$out/components.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Components</title>
<link rel="stylesheet" href="$npm/@shoelace-style/shoelace/cdn/themes/light.css">
<script type="module" src="/scripted/$npm/@shoelace-style/shoelace/cdn/shoelace-autoloader.js"></script>
<style>body { font: 16px sans-serif; margin: 24px; } sl-card { width: 360px; margin: 8px; }</style>
</head><body>
<h1>Account settings</h1>
<sl-alert variant="primary" open>Your plan renews on the first of next month.</sl-alert>
<sl-tab-group>
  <sl-tab slot="nav" panel="general">General</sl-tab>
  <sl-tab slot="nav" panel="billing">Billing</sl-tab>
  <sl-tab-panel name="general">Name, address and the language the shop writes to you in.</sl-tab-panel>
  <sl-tab-panel name="billing">Cards on file and past invoices.</sl-tab-panel>
</sl-tab-group>
<sl-card><strong>Storage</strong><br>You use 3.2 GB of your 10 GB.
  <sl-progress-bar value="32" label="Storage used"></sl-progress-bar>
  <sl-button slot="footer" variant="primary">Buy more room</sl-button></sl-card>
<sl-details summary="Why does my invoice show two charges?">One is this month's plan, the other the room you added on the twelfth.</sl-details>
<sl-details summary="Can I move my data elsewhere?">Yes: export everything as one archive from the data page.</sl-details>
<sl-input label="Display name" help-text="Shown beside your comments" value="Morgan"></sl-input>
<sl-select label="Theme" value="light"><sl-option value="light">Light</sl-option><sl-option value="dark">Dark</sl-option></sl-select>
<sl-switch checked>Send me the monthly letter</sl-switch>
<p><sl-badge variant="success">Active</sl-badge> <sl-tag>Owner</sl-tag> <sl-tag>Billing contact</sl-tag></p>
</body></html>
HTML

# infinite-scroll: five pages of posts, each after the one before.
posts() {
  for i in $(seq "$1" "$2"); do
    echo "<article class=\"post\"><h2>Field note $i</h2><p>On day $i the river rose again after the night's rain; the ferry ran late and the market moved uphill, where the bakers had set up their stalls under the plane trees.</p></article>"
  done
}
for n in 1 2 3 4 5; do
  name="feed.html"; [ "$n" = 1 ] || name="feed-$n.html"
  next=""; [ "$n" = 5 ] || next="<a class=\"next\" href=\"feed-$((n + 1)).html\">Older notes</a>"
  {
    echo "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Field notes</title>"
    echo "<style>body { font: 17px/1.5 serif; max-width: 720px; margin: auto } .post { margin: 2em 0 }</style></head>"
    echo "<body><h1>Field notes</h1><div class=\"feed\">"
    posts $((n * 8 - 7)) $((n * 8))
    echo "</div><p class=\"pager\">$next</p>"
    echo "<script src=\"$npm/infinite-scroll/dist/infinite-scroll.pkgd.min.js\"></script>"
    echo "<script>new InfiniteScroll('.feed', { path: '.next', append: '.post', hideNav: '.pager', history: false });</script>"
    echo "</body></html>"
  } >"$out/$name"
done

# reveal.js: slides scaled and placed by the script.
cat >"$out/slides.html" <<HTML
<!DOCTYPE html><html><head><meta charset="utf-8"><title>Slides</title>
<link rel="stylesheet" href="$npm/reveal.js/dist/reset.css">
<link rel="stylesheet" href="$npm/reveal.js/dist/reveal.css">
<link rel="stylesheet" href="$npm/reveal.js/dist/theme/white.css"></head>
<body><div class="reveal"><div class="slides">
<section><h2>Quarterly review</h2><p>What we shipped, what we learned, what comes next.</p></section>
<section><h2>Shipped</h2><ul><li>Faster checkout</li><li>Invoices by mail</li><li>A new help centre</li></ul></section>
<section><h2>Next</h2><p>Gift cards and a shop in three more languages.</p></section>
</div></div>
<script src="$npm/reveal.js/dist/reveal.js"></script>
<script>Reveal.initialize({ hash: false });</script>
</body></html>
HTML

# A gallery laid out by its style sheet: four columns of photos a few
# hundred pixels wide, no sizes in the markup.
{
  echo "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Gallery</title>"
  echo "<style>body { margin: 16px; font: 15px sans-serif } .grid { display: grid; grid-template-columns: repeat(4, 1fr); gap: 12px }"
  echo ".grid img { width: 100%; height: auto; display: block }</style></head><body><h1>Nature</h1><div class=\"grid\">"
  for f in "$share/backgrounds/mate/nature"/*; do
    name="$(basename "$f")"
    case "$name" in *_[0-9]*x[0-9]*.*) continue ;; esac
    echo "<figure><img src=\"../backgrounds/mate/nature/$name\" alt=\"$name\"><figcaption>$name</figcaption></figure>"
  done
  echo "</div><script>document.querySelectorAll('.grid img').forEach(i => i.addEventListener('click', () => window.open(i.src)));</script>"
  echo "</body></html>"
} >"$out/gallery.html"
