#!/usr/bin/env bash
# The package test leaves a machine it did not set up as it found it: with
# dpkg, cpack, unshare and friends replaced by fakes that log their calls,
# it must skip where a package or a service's data is there, and purge only
# what its own run installed, also when interrupted; given a throwaway root
# it calls nothing of the machine's dpkg. Nothing real is installed here; an
# installed service's data folder and conffile are compared before and after.
# package_guard_test.sh SOURCE_DIR
set -euo pipefail
script=$1/tests/package/package_test.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

service_paths=(/var/lib/zelservice /etc/default/zelservice)
present=false
for path in "${service_paths[@]}"; do [ ! -e "$path" ] || present=true; done
fingerprint() { for path in "${service_paths[@]}"; do
    [ ! -e "$path" ] || find "$path" -printf '%p %s %T@ %m\n' 2>/dev/null; done; }
before=$(fingerprint)

fakes=$work/bin
mkdir "$fakes"
fake() { printf '#!/bin/sh\n%s\n' "$2" >"$fakes/$1"; chmod 755 "$fakes/$1"; }
fake id 'echo 0'
fake origin 'true'
fake dpkg-query 'eval "s=\${STATE_$(echo "$3" | tr -dc a-z)}"; [ -n "$s" ] || exit 1; echo "$s"'
fake getent '[ -n "$USER_THERE" ]'
fake cpack 'echo cpack >>"$LOG"; mkdir -p "$4"; touch "$4/a.deb" "$4/b.deb"; [ -z "$CPACK_FAILS" ]'
fake lintian 'true'
# A throwaway root's holder ignores TERM, as unshare does.
fake unshare '[ -n "$ROOT_OK" ] || exit 1; echo unshare >>"$LOG"
case "$*:$ROOT_OK" in *chroot*:hangs) trap "" TERM; touch "$LOG.hang"; sleep 20 >/dev/null 2>&1
    echo late >>"$LOG" ;; esac'
fake deluser 'echo "deluser $*" >>"$LOG"'
fake delgroup 'echo "delgroup $*" >>"$LOG"'
fake dpkg 'echo "dpkg $1" >>"$LOG"
case "$1:$DPKG_I" in -i:fails) exit 1 ;; -i:hangs) touch "$LOG.hang"; exec sleep 3 ;; esac'

# Each case: its environment, the exit status and the calls expected. A
# machine that holds the service's data makes every case without a
# throwaway root a skip.
run() { # name expected_status expected_calls env...
    local name=$1 status=$2 calls=$3
    shift 3
    if $present && [[ " $* " != *" ROOT_OK="* ]]; then status=77 calls=""; fi
    local log=$work/$name.log out=$work/$name.out got=0
    : >"$log"
    if [ "${1:-}" = interrupt ]; then
        shift
        env PATH="$fakes:$PATH" LOG="$log" TMPDIR="$work" "$@" \
            setsid bash "$script" build "$fakes/origin" >"$out" 2>&1 &
        local pid=$!
        for _ in $(seq 100); do [ -e "$log.hang" ] || $present && break; sleep 0.1; done
        kill -TERM -- "-$pid" 2>/dev/null || true
        wait "$pid" || got=$?
    else
        env PATH="$fakes:$PATH" LOG="$log" TMPDIR="$work" "$@" \
            timeout 60 bash "$script" build "$fakes/origin" >"$out" 2>&1 || got=$?
    fi
    [ "$got" = "$status" ] || { cat "$out"; fail "$name: status $got, expected $status"; }
    [ "$(tr '\n' ' ' <"$log")" = "$calls" ] ||
        fail "$name: calls '$(tr '\n' ' ' <"$log")', expected '$calls'"
    if [ "$status" = 77 ]; then grep -q '^skipped: ' "$out" || fail "$name: no reason given"; fi
    [ -z "$(find "$work" -mindepth 1 -maxdepth 1 -name 'tmp.*')" ] || fail "$name: its work folder stayed"
}

run service-installed 77 "" STATE_zelservice=installed
run browser-installed 77 "" STATE_zelbrowser=installed
run conffile-left 77 "" STATE_zelservice=config-files
run nothing-installed-build-fails 1 "cpack " CPACK_FAILS=1
run install-fails 1 "cpack dpkg -i dpkg -P deluser --system zelservice delgroup --system --only-if-empty zelservice " DPKG_I=fails
run user-was-there 1 "cpack dpkg -i dpkg -P " DPKG_I=fails USER_THERE=1
run throwaway-root 0 "unshare cpack unshare " ROOT_OK=1 STATE_zelservice=installed
run throwaway-root-interrupted 143 "unshare cpack unshare " interrupt ROOT_OK=hangs
run interrupted 143 "cpack dpkg -i dpkg -P deluser --system zelservice delgroup --system --only-if-empty zelservice " interrupt DPKG_I=hangs

[ "$(fingerprint)" = "$before" ] || fail "the service's data or conffile changed"
echo "package guard: all checks passed"
