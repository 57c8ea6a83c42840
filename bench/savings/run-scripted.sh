#!/usr/bin/env bash
# Pages that scripts build (make-scripted-pages.sh) and the photo galleries,
# through the real service with the renderer on and off; see scripted.py.
# Not a test; run by hand:
#   bash bench/savings/run-scripted.sh [corpus folder] [folder to keep the screenshots in]
# ZEL_SERVICE_ARGS adds options for zelservice (e.g. "--render-seconds 15").
# The corpus needs only mate-backgrounds (fetched as fetch-corpus.sh does) and
# the npm packages pinned in scripted/package-lock.json; npm and chromium are
# installed from Debian when missing (run as root).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
corpus="$(realpath -m "${1:-$here/corpus}")"
share="$corpus/root/usr/share"
if ! command -v npm >/dev/null || ! command -v chromium >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends npm chromium
fi
if [ ! -d "$share/backgrounds/mate" ]; then
  mkdir -p "$corpus/debs" && (cd "$corpus/debs" && apt-get download -q mate-backgrounds=1.26.0-1)
  dpkg -x "$corpus"/debs/mate-backgrounds_*.deb "$corpus/root"
fi
bash "$here/make-galleries.sh" "$share"
bash "$here/make-scripted-pages.sh" "$share"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$repo" -B "$repo/build" -G Ninja "${launcher[@]}" >/dev/null
nice ninja -C "$repo/build" -j2 zelservice zel_ssim >/dev/null
zelservice="${ZELSERVICE:-$(find "$repo/build" -type f -name zelservice -perm -u+x | head -n 1)}"
zel_ssim="$(find "$repo/build" -type f -name zel_ssim -perm -u+x | head -n 1)"
shots=()
[ -z "${2:-}" ] || shots=(--shots "$2")
python3 "$here/scripted.py" "$zelservice" "$zel_ssim" "$share" "${shots[@]}" \
  --service-args="${ZEL_SERVICE_ARGS:-}" \
  scripted/docs.html scripted/api.html scripted/components.html scripted/feed.html \
  scripted/slides.html scripted/gallery.html galleries/nature.html galleries/abstract.html
