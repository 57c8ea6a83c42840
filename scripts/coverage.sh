#!/usr/bin/env bash
# Line coverage of the service and of the browser's client of it.
#
#   bash scripts/coverage.sh [target ...]
#
# Builds with gcov instrumentation in build-coverage/ (all targets, or only
# the ones named, e.g. service_pages_tests client_tests zelservice), runs the
# tests whose programs are built there (not the cluster and package ones),
# prints the
# line coverage of service/ and client/ and writes an HTML report to
# build-coverage/coverage/index.html. A failing test is reported; its
# coverage counts all the same.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-coverage
report=$build/coverage

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZEL_COVERAGE=ON \
    "${launcher[@]}" >/dev/null
nice ninja -C "$build" -j"${ZEL_JOBS:-2}" "$@"

# Counts from an earlier run would add up with this one's.
find "$build" -name '*.gcda' -delete
# Tests of programs that were not built are left out, not counted as failures.
unbuilt=$(cd "$build" && ctest --show-only=json-v1 | python3 -c '
import json, os, re, sys
names = [t["name"] for t in json.load(sys.stdin)["tests"]
         if t["name"].endswith("_NOT_BUILT")
         or t.get("command") and not os.path.exists(t["command"][0])]
print("|".join("^" + re.sub(r"([^\w])", r"\\\1", n) + "$" for n in names) or "^$")')
if ! (cd "$build" && QT_QPA_PLATFORM=offscreen nice ctest -LE 'cluster|package' -E "$unbuilt" \
    --output-on-failure --timeout 900 -j"${ZEL_JOBS:-2}" >"$build/ctest.log" 2>&1); then
    echo "some tests failed (see $build/ctest.log); their coverage counts all the same"
fi
grep -E '^[0-9]+% tests passed' "$build/ctest.log" || true

mkdir -p "$report"
nice gcovr --root "$root" --object-directory "$build" --filter "$root/service/" \
    --filter "$root/client/" --exclude '.*_autogen/.*' --gcov-ignore-parse-errors \
    -j "${ZEL_JOBS:-2}" --json "$report/coverage.json" >/dev/null
gcovr --add-tracefile "$report/coverage.json" --root "$root" \
    --html-details "$report/index.html" >/dev/null
# gcovr replaces its output file, so it is never pointed at /dev/null.
for folder in service client; do
    printf '%-8s ' "$folder/"
    gcovr --add-tracefile "$report/coverage.json" --root "$root" \
        --filter "$root/$folder/" --print-summary --txt "$report/$folder.txt" | grep '^lines:'
done
echo "report: $report/index.html"
