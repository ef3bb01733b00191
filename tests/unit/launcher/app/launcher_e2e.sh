#!/usr/bin/env bash
# The real launcher under Wine and X: a published test game served by nginx,
# the server-list service on its port, the launcher packed with the
# generated skin and the served addresses. It runs both update passes to
# ready mode; every installed file must match its published digest, and a
# screenshot of ready mode with the server list is kept.
#   launcher_e2e.sh LAUNCHER.exe LAUNCHER-BLOCK.exe LAUNCHER-PUBLISH.exe SERVERLIST-SERVICE.exe CLIENT.bin SOURCE_DIR SHOTS
# Exit 77 (skipped) without nginx, a display or the picture tools.
set -uo pipefail
launcher=$1 block_tool=$2 publish=$3 service=$4 stub=$5 src=$6 shots=$7
for tool in /usr/bin/import /usr/bin/convert xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit 77; }
. "$src/tests/e2e/e2e-lib.sh"
e2e_begin
pids=()
end() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  # The programs run below a shell function, so their Wine processes are not
  # in pids: end whatever still runs from this test's folder.
  pkill -KILL -f -- "$work/" 2>/dev/null
  [ -n "${LG_KEEP:-}" ] && { echo "kept $work" >&2; trap - EXIT; [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")"; return; }
  e2e_end
}
trap end EXIT
run() { "$src/scripts/wine-run" "$@"; }
show_log() { [ -f "$work/launcher.log" ] && grep -a debugstr "$work/launcher.log" | tail -n 25 | sed 's/^/  log: /'; }
die() { show_log; fail "$*"; }

# The published game: the files the install check looks for, data, the client.
game=$work/game lsrc=$work/lsrc www=$work/www inst=$work/inst
mkdir -p "$game/data/ui" "$lsrc" "$work/lsrc2" "$www/patch/client" "$www/patch/launcher" "$www/news" "$inst/data"
head -c 200000 /dev/urandom >"$game/Vantrel.dll"
head -c 3000 /dev/urandom >"$game/d3dx9_43.dll"
head -c 1500000 /dev/urandom >"$game/data/map.pak"
seq 1 50000 >"$game/data/ui/layout.dat"
cp "$stub" "$game/Client.bin"
printf 'launcher notes\n' >"$lsrc/notes.txt"
echo '<html><body>news</body></html>' >"$www/news/index.html"
run "$publish" --src "$game" --out "$www/patch/client" --zip 'data/ui/*.dat' >"$work/publish.log" 2>&1 ||
  { cat "$work/publish.log"; fail "publish of the game failed"; }
run "$publish" --src "$lsrc" --out "$www/patch/launcher" --launcher >>"$work/publish.log" 2>&1 ||
  { cat "$work/publish.log"; fail "publish of the launcher files failed"; }
chmod -R a+rX "$www"
e2e_nginx "$www"

# An old installation: the game's marker files present but out of date.
printf 'old' >"$inst/Vantrel.dll"
printf 'old' >"$inst/d3dx9_43.dll"

printf '#!/usr/bin/env bash\nexec "%s" "%s" "$@"\n' "$src/scripts/wine-run" "$block_tool" >"$work/block-tool"
chmod +x "$work/block-tool"
"$src/demo/skin/make-skin" "$work/skin" --pack "$launcher" "$inst/launcher.exe" --block-tool "$work/block-tool" \
  --base "http://127.0.0.1:$port" >"$work/pack.log" 2>&1 || { cat "$work/pack.log"; fail "packing failed"; }

cat >"$work/servers.json" <<'JSON'
{"server":[
 {"id":11,"name":"龙腾一区","ip":"127.0.0.1","port":7001,"recommend":2,"default":1,"member":"推荐"},
 {"id":21,"name":"电信一区","ip":"127.0.0.1","port":7002,"opentime":1,"member":"电信"}
]}
JSON
# The launcher asks the compiled-in fallback address on the service's fixed port.
run "$service" --list "$work/servers.json" --port 30000 >"$work/service.log" 2>&1 &
pids+=($!)

# The stub client started by the start button records its command line here.
export LG_STUB_OUT="Z:${work//\//\\}\\client-lines.txt"
(cd "$inst" && WINEDEBUG=-all,warn+debugstr exec "$src/scripts/wine-run" "$inst/launcher.exe") >"$work/launcher.log" 2>&1 &
launcher_pid=$!
pids+=("$launcher_pid")

ready=0
for _ in $(seq 900); do
  grep -aq "update finished, ready mode" "$work/launcher.log" && { ready=1; break; }
  kill -0 "$launcher_pid" 2>/dev/null || break
  sleep 0.1
done
[ "$ready" = 1 ] || die "the launcher did not reach ready mode"
grep -aq "update pass 0" "$work/launcher.log" || die "no pass 0"
grep -aq "update pass 1" "$work/launcher.log" || die "no pass 1"

# Every published file installed with its digest.
(cd "$game" && find . -type f | sort) | while read -r f; do
  [ "$(md5sum <"$game/$f")" = "$(md5sum <"$inst/$f" 2>/dev/null)" ] || die "$f differs after the passes"
done || exit 1
[ "$(md5sum <"$lsrc/notes.txt")" = "$(md5sum <"$inst/notes.txt" 2>/dev/null)" ] || die "launcher pass file missing"
echo "both passes: every installed file matches the published one"

mkdir -p "$shots"
# The window's reply handling writes the received document to the debug output.
got_list=0
for _ in $(seq 150); do
  grep -aq 'server\\":\[' "$work/launcher.log" && { got_list=1; break; }
  sleep 0.1
done
[ "$got_list" = 1 ] || die "no server list arrived"
sleep 1  # the composition
/usr/bin/import -window root "$shots/launcher-ready.png"
sd=$(/usr/bin/convert "$shots/launcher-ready.png" -format '%[fx:standard_deviation]' info:)
awk -v sd="$sd" 'BEGIN { exit !(sd > 0.02) }' || die "screenshot is flat (deviation $sd)"
echo "ready mode screenshot: $shots/launcher-ready.png"

# The start button (the skin's LGStart rectangle, 682 426 266 86) starts
# the installed client for the default server.
wid=$(xdotool search --name '^Korvath$' 2>/dev/null | head -n 1)
[ -n "$wid" ] || die "no X window named Korvath"
xdotool mousemove --window "$wid" 815 469 click 1
for _ in $(seq 100); do [ -s "$work/client-lines.txt" ] && break; sleep 0.1; done
[ -s "$work/client-lines.txt" ] || die "the start button started no client"
inst_win="Z:${inst//\//\\}"
expected="$inst_win\\Client.bin /id:11 /ip:127.0.0.1 /slb:1 /port:7001 /servername:龙腾一区 /lauName:launcher.exe"
expected+=" /web:http://127.0.0.1:$port/register/ /cdn:http://127.0.0.1:$port/patch/client//"
[ "$(head -n 1 "$work/client-lines.txt")" = "$expected" ] ||
  die "client command line: $(head -n 1 "$work/client-lines.txt") (expected $expected)"
grep -q '^lastserver=11' "$inst/launcher.ini" || die "lastserver not written"
echo "start button: the client got its command line, lastserver=11"

# The close button ends the launcher.
xdotool mousemove --window "$wid" 977 20 click 1
for _ in $(seq 100); do kill -0 "$launcher_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$launcher_pid" 2>/dev/null && die "the window did not close"

# A new launcher published with the launcher's files: the next start brings
# it in as launcher.update, hands over, and the replacement step puts it in
# place and starts it. Packed for "localhost" so its bytes differ.
"$src/demo/skin/make-skin" "$work/skin2" --pack "$launcher" "$work/lsrc2/launcher.exe" --block-tool "$work/block-tool" \
  --base "http://localhost:$port" >>"$work/pack.log" 2>&1 || { cat "$work/pack.log"; fail "packing the new launcher failed"; }
cp "$lsrc/notes.txt" "$work/lsrc2/"
run "$publish" --src "$work/lsrc2" --out "$www/patch/launcher" --launcher --launcher-exe launcher.exe \
  >>"$work/publish.log" 2>&1 || { cat "$work/publish.log"; fail "publish of the new launcher failed"; }
chmod -R a+rX "$www"
: >"$work/launcher.log"
(cd "$inst" && WINEDEBUG=-all,warn+debugstr exec "$src/scripts/wine-run" "$inst/launcher.exe") >"$work/launcher.log" 2>&1 &
pids+=($!)
new_md5=$(md5sum <"$work/lsrc2/launcher.exe")
replaced=0
for _ in $(seq 900); do
  if [ "$(md5sum <"$inst/launcher.exe")" = "$new_md5" ] && [ "$(grep -ac 'update finished, ready mode' "$work/launcher.log")" -ge 1 ]; then
    replaced=1
    break
  fi
  sleep 0.1
done
[ "$replaced" = 1 ] || die "the new launcher was not put in place and started to ready mode"
[ "$(md5sum <"$inst/launcher.update")" = "$new_md5" ] || die "launcher.update is not the published launcher"
[ -e "$inst/launcher.exe.new" ] && die "the temporary copy was left behind"
echo "hand-over: the published launcher replaced launcher.exe and reached ready mode"
for _ in $(seq 50); do
  wid=$(xdotool search --name '^Korvath$' 2>/dev/null | head -n 1) && [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] && xdotool mousemove --window "$wid" 977 20 click 1
sleep 1
exit 0
