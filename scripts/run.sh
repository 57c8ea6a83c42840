#!/usr/bin/env bash
# Builds the program and starts it from its own folder (build/ZELbrowser).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build/ZELbrowser
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running on a virtual X display (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ./ZELbrowser
fi
exec ./ZELbrowser
