#!/usr/bin/env bash
# Checks the folders' include and link graph, builds everything and runs
# every test; tests need no display of their own. An installed service's data
# folder and conffile are no test's to change: the folder and its sub-folders
# (which a running service keeps while it writes files in them) and the
# conffile's bytes are compared before and after the run.
set -euo pipefail
cd "$(dirname "$0")/.."
data=/var/lib/zelservice
conffile=/etc/default/zelservice
service_state() {
    [ ! -e "$data" ] || find "$data" -maxdepth 1 -type d -printf '%p %i %m %U:%G\n' 2>&1 | sort
    [ ! -e "$conffile" ] || { stat -c '%n %i %a %U:%G' "$conffile" && md5sum <"$conffile"; } 2>&1
}
before=$(service_state)
python3 scripts/check-layers.py
bash scripts/build.sh
status=0
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j 2) || status=$?
if [ "$(service_state)" != "$before" ]; then
    echo "FAILED: the tests changed $data or $conffile:" >&2
    diff <(echo "$before") <(service_state) >&2 || true
    exit 1
fi
exit "$status"
