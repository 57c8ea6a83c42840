#!/usr/bin/env bash
# Builds the two packages from this build folder, checks them with lintian,
# installs them, uses what they installed (the launcher, the desktop entry,
# the icon, the service run as its own user fetching a local page), then
# removes and purges them and checks what is left.
#
# Where the kernel lets it, everything from the install on happens in a
# throwaway root: a copy-on-write layer over / in a mount and process
# namespace of its own, gone with the test, so the test runs on any machine
# and the machine's own packages and the service's data are never touched.
# Elsewhere it changes only a machine it set up itself: it runs where neither
# package (nor what one leaves behind) is there, and its cleanup, also after
# an interrupt, takes away only what this run installed.
# package_test.sh BUILD_DIR ORIGIN_SERVER
# (package_test.sh --inside WORK: the part run in the throwaway root)
set -euo pipefail
packages=(zelbrowser zelservice)
# What an installed or purged-but-configured service keeps; never ours to remove.
service_paths=(/var/lib/zelservice /etc/default/zelservice)

skip() {
    echo "skipped: $*"
    exit 77
}
state() { dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null || echo not-installed; }

inside=false
if [ "${1:-}" = --inside ]; then
    inside=true
    work=$2
else
    build=$1
    origin_server=$2
    if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null; then
        skip "the package test installs packages and runs as root only"
    fi
fi
pids=()
root_holder=
installed=false
user_existed=false
# Ends what this test started, with the children of the browser's group.
# The throwaway root's holder (unshare) ignores TERM; killed, it takes every
# process of the namespace with it.
stop_all() {
    [ -z "$root_holder" ] || kill -KILL "$root_holder" 2>/dev/null || true
    for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true; done
    wait $root_holder "${pids[@]}" 2>/dev/null || true
    root_holder=
    pids=()
}
# Neither package was there before this run, so whatever dpkg holds of them
# now, even half installed, is this run's. In the throwaway root nothing
# needs undoing: it goes with the namespace, and the work folder is the
# outer run's.
cleanup() {
    trap - EXIT INT TERM
    stop_all
    if $installed && ! $inside; then
        dpkg -P "${packages[@]}" >/dev/null 2>&1 || true
        if ! $user_existed; then
            deluser --system zelservice >/dev/null 2>&1 || true
            delgroup --system --only-if-empty zelservice >/dev/null 2>&1 || true
        fi
    fi
    $inside || rm -rf "$work"
}
if ! $inside; then
    work=$(mktemp -d)
    chmod 755 "$work"
fi
trap cleanup EXIT
trap 'cleanup; exit 130' INT
trap 'cleanup; exit 143' TERM
fail() {
    echo "FAILED: $*" >&2
    exit 1
}
# Waits up to 60 s for a condition (a command line).
await() {
    for _ in $(seq 600); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# The throwaway root's set-up, run as the first process of new mount and
# process namespaces: / with a layer in memory on top, devices made afresh,
# fresh /proc, /run and /tmp, and the work folder; mounts made here are
# private to the namespace. Exits 3 when a mount is refused.
# root_setup WORK COMMAND...
root_setup='set -eu
work=$1
shift
mount -t tmpfs zel-package-layer "$work/layer" || exit 3
mkdir "$work/layer/upper" "$work/layer/scratch"
mount -t overlay zel-package-root -o \
    "lowerdir=/,upperdir=$work/layer/upper,workdir=$work/layer/scratch" "$work/root" || exit 3
# Devices of its own: with the /dev of the system bound in, a maintainer script
# that replaces /dev/null replaced the one of the machine.
mount -t tmpfs -o mode=755 zel-package-dev "$work/root/dev"
for node in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r name major minor <<<"$node"
    mknod -m 666 "$work/root/dev/$name" c "$major" "$minor"
done
mkdir -m 1777 "$work/root/dev/shm"
mkdir "$work/root/dev/pts"
mount -t devpts -o newinstance,ptmxmode=666 devpts "$work/root/dev/pts"
ln -s pts/ptmx "$work/root/dev/ptmx"
ln -s /proc/self/fd "$work/root/dev/fd"
ln -s /proc/self/fd/0 "$work/root/dev/stdin"
ln -s /proc/self/fd/1 "$work/root/dev/stdout"
ln -s /proc/self/fd/2 "$work/root/dev/stderr"
mount -t proc proc "$work/root/proc"
mount -t sysfs -o ro sysfs "$work/root/sys"
mount -t tmpfs tmpfs "$work/root/run"
mount -t tmpfs tmpfs "$work/root/tmp"
mkdir -p "$work/root$work"
mount --bind "$work" "$work/root$work"
touch "$work/root/.zel-throwaway-root"
"$@"'
# Whether this kernel gives the test a throwaway root.
throwaway_root() {
    mkdir "$work/layer" "$work/root"
    unshare --mount --pid --kill-child bash -c "$root_setup" - "$work" true 2>/dev/null ||
        { rmdir "$work/layer" "$work/root"; return 1; }
}

in_root=false
if $inside; then
    # Only the layer over / may be changed here, never the machine itself.
    [ -e /.zel-throwaway-root ] || fail "not in the throwaway root"
    # The machine's own packages show through the layer: taken away here only.
    for package in "${packages[@]}"; do
        [ "$(state "$package")" = not-installed ] || dpkg -P "$package" >/dev/null
    done
    rm -rf "${service_paths[@]}"
elif throwaway_root; then
    in_root=true
    echo "== in a throwaway root over /"
else
    for package in "${packages[@]}"; do
        status=$(state "$package")
        [ "$status" = not-installed ] ||
            skip "$package is on this machine ($status); the test would replace and purge it"
    done
    for path in "${service_paths[@]}"; do
        [ ! -e "$path" ] || skip "$path exists; the test's purge would delete it"
    done
    if getent passwd zelservice >/dev/null; then user_existed=true; fi
fi

if ! $inside; then
    echo "== building and checking the packages"
    timeout 600 cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack"; }
    debs=("$work"/out/*.deb)
    [ "${#debs[@]}" -eq 2 ] || fail "expected two packages, got ${debs[*]}"
    timeout 300 lintian --fail-on error "${debs[@]}" || fail "lintian reports errors"
    if $in_root; then
        cp "$0" "$work/package_test.sh"
        cp "$origin_server" "$work/origin_page_server"
        # In the background, so an interrupt reaches the trap at once; the
        # namespace's processes end with it.
        unshare --mount --pid --kill-child bash -c "$root_setup" - "$work" \
            chroot "$work/root" bash "$work/package_test.sh" --inside "$work" &
        root_holder=$!
        status=0
        wait "$root_holder" || status=$?
        root_holder=
        exit "$status"
    fi
fi
if $inside; then
    debs=("$work"/out/*.deb)
    origin_server=$work/origin_page_server
fi
installed=true
timeout 300 dpkg -i "${debs[@]}" || fail "dpkg -i"

echo "== the launcher starts the program in the user's folder"
home=$work/home
mkdir "$home"
env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen setsid /usr/bin/zelbrowser \
    >"$work/browser.log" 2>&1 &
pids+=($!)
folder=$home/.local/share/zelbrowser
started() {
    [ "$(readlink "/proc/${pids[0]}/exe")" = /usr/lib/zelbrowser/ZELbrowser ] &&
        [ "$(readlink "/proc/${pids[0]}/cwd")" = "$folder" ]
}
await started || { cat "$work/browser.log"; fail "the program did not start in $folder"; }
for name in nastr.dat inZel.dat help.htm page.htm links.txt stat.dat; do
    [ -f "$folder/$name" ] || fail "$name not laid out"
done

echo "== the desktop entry and the icon"
desktop-file-validate /usr/share/applications/zelbrowser.desktop || fail "desktop entry invalid"
grep -qx 'Exec=zelbrowser' /usr/share/applications/zelbrowser.desktop || fail "Exec takes arguments"
grep -qx 'Icon=zelbrowser' /usr/share/applications/zelbrowser.desktop || fail "no icon named"
[ -s /usr/share/icons/hicolor/scalable/apps/zelbrowser.svg ] || fail "no scalable icon"
for size in 16 24 32 48 64 128 256; do
    png=/usr/share/icons/hicolor/${size}x${size}/apps/zelbrowser.png
    width=$(od -An -tu4 --endian=big -j16 -N4 "$png" | tr -d ' ')
    [ "$width" = "$size" ] || fail "$png is $width pixels wide"
done

echo "== the service: help, man page, and a page fetched as its own user"
help=$(/usr/sbin/zelservice --help)
[[ $help == *"--port N"* ]] || fail "zelservice --help"
[ "$(grep -c '^  --' <<<"$help")" = "$(zcat /usr/share/man/man8/zelservice.8.gz | grep -c '^\.B \\-\\-')" ] ||
    fail "the man page's options differ from --help"
[ "$(stat -c %U /var/lib/zelservice)" = zelservice ] || fail "/var/lib/zelservice not the service's"

"$origin_server" >"$work/origin.txt" &
pids+=($!)
await grep -q '^http://' "$work/origin.txt" || fail "the origin did not start"
page=$(head -1 "$work/origin.txt")
setpriv --reuid=zelservice --regid=zelservice --init-groups /usr/sbin/zelservice \
    --listen 127.0.0.1 --port 0 --data /var/lib/zelservice --allow-private-origins \
    2>"$work/service.log" &
service=$!
pids+=($service)
await grep -q 'serving on 127.0.0.1:[0-9]*,' "$work/service.log" ||
    { cat "$work/service.log"; fail "the service did not start"; }
[ "$(stat -c %U "/proc/$service")" = zelservice ] || fail "the service does not run as zelservice"
port=$(sed -n 's/.*serving on 127.0.0.1:\([0-9]*\),.*/\1/p' "$work/service.log")
base=http://127.0.0.1:$port/zel
reply=$(curl -s --max-time 30 "$base/login?comp=package-test&mail=test@example.org")
[[ $reply == "OK,Your login is "* ]] || fail "login reply '$reply'"
login=${reply#OK,Your login is }
login=${login%% *}
reply=$(curl -s --max-time 30 "$base/page?image=1&login=$login&quality=30&colors=32&gray=0&url=$page")
for _ in $(seq 30); do
    [[ $reply == NexT* ]] || break
    reply=$(curl -s --max-time 30 "$base/poll?login=$login")
done
[[ $reply == OK* ]] || fail "page reply '$reply'"
curl -s --max-time 60 -o "$work/page.zip" "$base/arch/$login/1.dat"
unzip -p "$work/page.zip" page.htm | grep -q "served through the installed service" ||
    fail "the archive lacks the page"
[ "$(stat -c %U "/var/lib/zelservice/archives/$login.zip")" = zelservice ] ||
    fail "the archive is not the service's"
stop_all

echo "== remove keeps the conffile, purge leaves nothing"
files=$(dpkg-query -L "${packages[@]}" | grep zel)
timeout 300 dpkg -r "${packages[@]}" || fail "dpkg -r"
for path in $files; do
    [ "$path" = /etc/default/zelservice ] || [ ! -e "$path" ] || fail "$path left after remove"
done
[ -f /etc/default/zelservice ] || fail "the conffile went on remove"
[ "$(state zelservice)" = config-files ] || fail "zelservice is $(state zelservice) after remove"
timeout 300 dpkg -P "${packages[@]}" || fail "dpkg -P"
for path in $files /var/lib/zelservice /etc/systemd/system/zelservice.service \
    /etc/systemd/system/multi-user.target.wants/zelservice.service; do
    [ ! -e "$path" ] || fail "$path left after purge"
done
for package in "${packages[@]}"; do
    [ "$(state "$package")" = not-installed ] || fail "$package is $(state "$package") after purge"
done
echo "package: all checks passed"
