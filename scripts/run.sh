#!/usr/bin/env bash
# Builds the program and starts it from its own folder (build/ZELbrowser),
# together with the compressing service zelservice (build/zelservice) on
# 127.0.0.1:8960, unless a service already answers there. The service started
# here stops when the browser exits.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh

service_port=8960
service_pid=""
if curl -s -o /dev/null --max-time 3 "http://127.0.0.1:${service_port}/zel/poll"; then
    echo "A service already answers on 127.0.0.1:${service_port}; using it." >&2
else
    (cd build/zelservice && exec ./zelservice --port "${service_port}") &
    service_pid=$!
    trap 'kill "${service_pid}" 2>/dev/null || true; wait "${service_pid}" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        curl -s -o /dev/null --max-time 1 "http://127.0.0.1:${service_port}/zel/poll" && break
        kill -0 "${service_pid}" 2>/dev/null || { echo "zelservice did not start." >&2; exit 1; }
        sleep 0.1
    done
fi

cd build/ZELbrowser
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running on a virtual X display (xvfb-run)." >&2
    xvfb-run -a -s "-screen 0 1280x1024x24" ./ZELbrowser
else
    ./ZELbrowser
fi
