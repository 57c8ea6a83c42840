#!/usr/bin/env bash
# Calibrates WebP's and AVIF's quality numbers against JPEG's on pictures of
# the savings corpus (photos and manual screenshots, a fixed sample) and
# writes the tables into service/images/QualityCalibration.cpp. Run by hand:
#   bash bench/calibrate/run.sh [corpus folder]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"
corpus="${1:-$repo/bench/savings/corpus}"
[ -d "$corpus/root/usr/share" ] || bash "$repo/bench/savings/fetch-corpus.sh" "$corpus"
share="$corpus/root/usr/share"

# Every third desktop background and every 150th picture of the GIMP manual.
mapfile -t pictures < <(
  { find "$share/backgrounds/mate" -type f -name '*.jpg' | LC_ALL=C sort | awk 'NR % 3 == 1'
    find "$share/gimp/2.0/help/en" -type f \( -name '*.png' -o -name '*.jpg' \) |
      LC_ALL=C sort | awk 'NR % 150 == 1'; })

cmake -S "$repo" -B "$repo/build" -G Ninja >/dev/null
ninja -C "$repo/build" zel_calibrate >/dev/null
table="$(mktemp)"
VIPS_WARNING=0 "$repo/build/bench/calibrate/zel_calibrate" "${pictures[@]}" >"$table"
# The tables replace the file's unnamed namespace's contents.
code="$repo/service/images/QualityCalibration.cpp"
{ sed -n '1,/^namespace {$/p' "$code"; cat "$table"; sed -n '/^} \/\/ namespace$/,$p' "$code"; } >"$table.cpp"
clang-format --style=file:"$repo/.clang-format" "$table.cpp" >"$code"
rm -f "$table" "$table.cpp"
