#!/usr/bin/env bash
# Checks the folders' include and link graph, builds everything and runs
# every test; tests need no display of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 scripts/check-layers.py
bash scripts/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j 2
