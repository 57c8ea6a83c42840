#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test the program.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libgtest-dev libgmock-dev googletest
  unzip zip xvfb xauth curl fonts-dejavu-core
  libzip-dev
  # the compressing service
  libcurl4-openssl-dev libgumbo-dev libvips-dev libsqlite3-dev libmicrohttpd-dev libwoff-dev
  # TLS: the browser's HTTP client, the service's HTTPS and the keyed hash of
  # its access log; certtool and openssl for the tests' throwaway authorities
  libgnutls28-dev gnutls-bin openssl
  libturbojpeg0-dev libimagequant-dev
  # its renderer of pages that scripts build, driven over the DevTools pipe
  chromium nlohmann-json3-dev
  # the origin server of the tests
  libcpp-httplib-dev
  # the image benchmark's reference (vips thumbnail); where the image step's time goes
  libvips-tools linux-perf
  # the mutation check and the line coverage
  python3 gcovr
  # several machines: the shared account database and the balancer in front
  libpq-dev postgresql haproxy
  # the cache several machines share (a Redis server; its client library)
  libhiredis-dev redis-server
  # the Debian packages: their dependencies, icon, checks and the service's user
  dpkg-dev librsvg2-bin lintian desktop-file-utils adduser
  # the fuzz targets (scripts/fuzz.sh): clang with libFuzzer and the sanitizers
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
