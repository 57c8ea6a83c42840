#!/usr/bin/env bash
# Fetches the benchmark's pages once: pinned Debian documentation packages,
# downloaded with apt-get and unpacked with dpkg -x into a local folder (never
# installed). Also installs the benchmark's tools (nginx, chromium) if missing.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
corpus="${1:-$here/corpus}"

packages=(
  gimp-help-common=2.10.34-2 gimp-help-en=2.10.34-2
  debian-handbook=11.20220922
  python-skimage-doc=0.19.3-8
  mate-backgrounds=1.26.0-1
  # the web font of the pages with today's markup
  fonts-dejavu-core=2.37-6
  # what the documentation links to through symbolic links (its style and scripts)
  libjs-bootstrap=3.4.1+dfsg-3+deb12u2
  libjs-sphinxdoc=5.3.0-4
  libjs-jquery=3.6.1+dfsg+~3.5.14-1
  libjs-underscore=1.13.4~dfsg+~1.11.4-3
)

if ! command -v nginx >/dev/null || ! command -v chromium >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends nginx-light chromium
fi

mkdir -p "$corpus/debs" "$corpus/root"
cd "$corpus/debs"
for p in "${packages[@]}"; do
  name="${p%%=*}"
  ls "${name}"_*.deb >/dev/null 2>&1 || apt-get download -q "$p"
done
for deb in *.deb; do
  dpkg -x "$deb" "$corpus/root"
done
echo "corpus in $corpus/root"
