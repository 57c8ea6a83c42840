#!/bin/sh
# Lays out a program folder: lay-out-program-folder.sh DEFAULTS FOLDER
# DEFAULTS holds help.htm, nastr.dat and inZel.dat. The help page is ours and
# kept current; the user's files are created when missing, never replaced.
set -eu
defaults=$1
folder=$2

missing() { [ ! -e "$folder/$1" ] && [ ! -L "$folder/$1" ]; }

mkdir -p "$folder/zelhistory" "$folder/page.files"
if ! cmp -s "$defaults/help.htm" "$folder/help.htm"; then
    rm -f "$folder/help.htm"
    cp "$defaults/help.htm" "$folder/help.htm"
fi
# Empty on a fresh folder: the address list and the statistics.
for name in links.txt stat.dat; do
    missing "$name" && : >"$folder/$name"
done
# A first start shows the help page until a page has been fetched.
missing page.htm && cp "$defaults/help.htm" "$folder/page.htm"
# First-start settings (designed window bounds, images on, full quality and
# colours, addresses kept for 30 days) and a page size of 0.
for name in nastr.dat inZel.dat; do
    missing "$name" && cp "$defaults/$name" "$folder/$name"
done
exit 0
