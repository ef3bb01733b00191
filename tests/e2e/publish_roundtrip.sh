#!/bin/bash
# The operator's whole path: a game folder published with launcher-publish,
# served by nginx on 127.0.0.1, installed into an empty folder by one update
# pass of launcher-update. The installed tree must equal the source byte for
# byte (zipped entries included); after one file changes and is published
# again, the next pass fetches exactly that file.
# Exit 77 (skipped) without nginx.
# usage: publish_roundtrip.sh LAUNCHER_PUBLISH LAUNCHER_UPDATE
set -u
publish=$1
update=$2
. "$(dirname "$0")/e2e-lib.sh"
e2e_begin

game="$work/game" www="$work/www" install="$work/install"
mkdir -p "$game/data/ui" "$game/data/maps/east" "$www" "$install"
head -c 300000 /dev/urandom > "$game/Client.bin"
head -c 3000000 /dev/urandom > "$game/data/maps/east/field.pak"
seq 1 200000 > "$game/data/ui/layout.dat"          # compressible, zipped
printf 'small\n' > "$game/data/ui/button.dat"      # under 4097 bytes, zipped
: > "$game/data/empty.txt"
printf '\xe4\xb8\xad\xe6\x96\x87\n' > "$game/data/说明.txt"
head -c 5000 /dev/urandom > "$game/Vantrel.dll"

"$publish" --src "$game" --out "$www" --zip 'data/ui/*.dat' > "$work/publish.log" 2>&1 ||
  { cat "$work/publish.log"; fail "publish failed"; }
chmod -R a+rX "$www"

e2e_nginx "$www" '$request_uri'
base="http://127.0.0.1:$port"

# The tree as files and contents, without the launcher's own state files.
tree_of() {
  (cd "$1" && find . -type f ! -path './data/update.json' ! -path './data/update0.local' \
     ! -name UpdateLog.txt ! -name launcher.ini -print0 | sort -z | xargs -0 md5sum)
}

"$update" pass --dir "$install" --base "$base" --pass 0 > "$work/pass1.log" 2>&1 ||
  { cat "$work/pass1.log"; fail "first pass failed"; }
diff <(tree_of "$game") <(tree_of "$install") || fail "installed tree differs from the source"
echo "first pass: installed tree equals the source"

# One file changes; publish again; the next pass fetches exactly that file.
printf 'changed\n' > "$game/data/ui/button.dat"
"$publish" --src "$game" --out "$www" --zip 'data/ui/*.dat' > "$work/publish2.log" 2>&1 ||
  { cat "$work/publish2.log"; fail "second publish failed"; }
chmod -R a+rX "$www"
: > "$work/logs/access.log"
kill -USR1 "$(cat "$work/nginx.pid")"   # reopen the access log
sleep 0.2
"$update" pass --dir "$install" --base "$base" --pass 0 > "$work/pass2.log" 2>&1 ||
  { cat "$work/pass2.log"; fail "second pass failed"; }
diff <(tree_of "$game") <(tree_of "$install") || fail "tree differs after the second pass"
fetched=$(grep -v '^/update.json$' "$work/logs/access.log" | sort -u)
[ "$fetched" = "/data/ui/button.dat.zip" ] || fail "second pass fetched: ${fetched:-nothing}"
echo "second pass: fetched only $fetched"
