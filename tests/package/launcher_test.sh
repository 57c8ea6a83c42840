#!/usr/bin/env bash
# The launcher lays out the user's program folder and starts the program
# there: a fresh folder, an existing one whose user files stay, one with
# dangling links, and a home that cannot be written. launcher_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
chmod 755 "$work"

fail() { echo "FAILED: $*" >&2; exit 1; }

# The installed layout, with a program that records where it runs.
lib=$work/usr/lib/zelbrowser
mkdir -p "$work/usr/bin" "$lib"
cp "$source_dir/packaging/zelbrowser" "$work/usr/bin/"
cp "$source_dir/program/lay-out-program-folder.sh" "$lib/lay-out-program-folder"
cp "$source_dir/program/help.htm" "$source_dir/program/nastr.dat" \
    "$source_dir/program/inZel.dat" "$lib/"
cat >"$lib/ZELbrowser" <<'PROGRAM'
#!/bin/sh
echo "$(pwd) $ZEL_PROGRAM_FOLDER" >ran-here
PROGRAM
chmod 755 "$work/usr/bin/zelbrowser" "$lib/lay-out-program-folder" "$lib/ZELbrowser"

launch() { env -u XDG_DATA_HOME "$@" "$work/usr/bin/zelbrowser"; }

# Fresh: the default place, every file laid out, the folder the user's alone.
home=$work/fresh
mkdir "$home"
launch HOME="$home"
folder=$home/.local/share/zelbrowser
[ "$(cat "$folder/ran-here")" = "$folder $folder" ] || fail "fresh: program not started in $folder"
for name in nastr.dat inZel.dat help.htm; do
    cmp -s "$lib/$name" "$folder/$name" || fail "fresh: $name not laid out"
done
cmp -s "$lib/help.htm" "$folder/page.htm" || fail "fresh: page.htm is not the help page"
# Without a doctype the view would show the help in quirks mode.
head -1 "$folder/help.htm" | grep -qix '<!DOCTYPE html>' || fail "fresh: the help page has no doctype"
for name in links.txt stat.dat; do
    [ -f "$folder/$name" ] && [ ! -s "$folder/$name" ] || fail "fresh: $name not empty"
done
[ -d "$folder/zelhistory" ] && [ -d "$folder/page.files" ] || fail "fresh: folders missing"
[ "$(stat -c %a "$folder")" = 700 ] || fail "fresh: others may read $folder"

# Existing, under XDG_DATA_HOME: the user's files stay, missing ones come
# back, an old help page is replaced.
folder=$work/data/zelbrowser
mkdir -p "$folder"
for name in nastr.dat inZel.dat links.txt page.htm; do echo "mine $name" >"$folder/$name"; done
echo "old help" >"$folder/help.htm"
launch HOME="$home" XDG_DATA_HOME="$work/data"
[ "$(cat "$folder/ran-here")" = "$folder $folder" ] || fail "existing: program not started in $folder"
for name in nastr.dat inZel.dat links.txt page.htm; do
    [ "$(cat "$folder/$name")" = "mine $name" ] || fail "existing: $name replaced"
done
cmp -s "$lib/help.htm" "$folder/help.htm" || fail "existing: help page not renewed"
[ -f "$folder/stat.dat" ] || fail "existing: stat.dat not made"

# Dangling links in the folder: nothing is written through them, the help
# page is renewed, and the program starts.
folder=$work/links/zelbrowser
mkdir -p "$folder"
for name in nastr.dat inZel.dat links.txt stat.dat page.htm help.htm; do
    ln -s "$work/nowhere/$name" "$folder/$name"
done
launch HOME="$home" XDG_DATA_HOME="$work/links" || fail "dangling links: the launcher failed"
[ "$(cat "$folder/ran-here")" = "$folder $folder" ] || fail "dangling links: program not started"
[ ! -e "$work/nowhere" ] || fail "dangling links: written through"
cmp -s "$lib/help.htm" "$folder/help.htm" || fail "dangling links: help page not renewed"

# A home that cannot be written: a clear message, and no program.
home=$work/read-only
mkdir "$home"
chmod 555 "$home"
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
if message=$("${as_user[@]}" env -u XDG_DATA_HOME HOME="$home" "$work/usr/bin/zelbrowser" 2>&1); then
    fail "read-only home: the launcher succeeded"
fi
[[ $message == *"cannot set up the program folder $home/.local/share/zelbrowser"* ]] ||
    fail "read-only home: unclear message '$message'"
echo "launcher: all cases passed"
