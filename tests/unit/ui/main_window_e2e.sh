#!/usr/bin/env bash
# The main window for real under Wine and X: a host program packed with the
# generated skin shows the window, the server-list service answers its
# request, xdotool clicks reach the handlers (the popups open and commit),
# and screenshots of update mode, ready mode and the open popup are kept.
#   main_window_e2e.sh HOST.exe LAUNCHER-BLOCK.exe SERVERLIST-SERVICE.exe SOURCE_DIR SCREENSHOT_DIR
set -euo pipefail
host=$1 block_tool=$2 service=$3 src=$4 shots=$5
for tool in xdotool /usr/bin/import /usr/bin/convert; do
  command -v "$tool" >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "no display: skipped"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  # The programs run below a shell function, so their Wine processes are not
  # in pids: end whatever still runs from this test's folder.
  pkill -KILL -f -- "$work/" 2>/dev/null || true
  [ -n "${LG_KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/state.txt" ] && sed 's/^/  state: /' "$work/state.txt" >&2
  [ -f "$work/host.log" ] && tail -n 20 "$work/host.log" | sed 's/^/  log: /' >&2
  exit 1
}
run() { "$src/scripts/wine-run" "$@"; }
# A Unix path as the Windows program sees it (drive Z: is the root).
wpath() { local p=${1//\//\\}; echo "Z:$p"; }
state() { sed -n "s/^$1=//p" "$work/state.txt" 2>/dev/null; }
# wait_for KEY VALUE [TENTHS]: until the host reports KEY=VALUE.
wait_for() {
  local key=$1 value=$2 tenths=${3:-150}
  for _ in $(seq "$tenths"); do
    [ "$(state "$key")" = "$value" ] && return 0
    sleep 0.1
  done
  fail "$key never became '$value' (is '$(state "$key")')"
}
shot() {
  sleep 0.5  # the 10 ms paint timer and the composition
  /usr/bin/import -window root "$shots/$1.png"
  # A real picture, not a black or empty screen.
  local sd
  sd=$(/usr/bin/convert "$shots/$1.png" -format '%[fx:standard_deviation]' info:)
  awk -v sd="$sd" 'BEGIN { exit !(sd > 0.02) }' || fail "screenshot $1 is flat (deviation $sd)"
}
mkdir -p "$shots"

# The block tool is the Windows build's, run under Wine on Unix paths.
printf '#!/usr/bin/env bash\nexec "%s" "%s" "$@"\n' "$src/scripts/wine-run" "$block_tool" >"$work/block-tool"
chmod +x "$work/block-tool"
"$src/demo/skin/make-skin" "$work/skin" --pack "$host" "$work/launcher.exe" --block-tool "$work/block-tool" \
  >/dev/null || fail "make-skin could not pack the host"

# A title of its own: other programs on the display may show a launcher too.
title="Korvath-e2e-$$"
port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/servers.json" <<'JSON'
{"server":[
 {"id":11,"name":"龙腾一区","ip":"127.0.0.1","port":7001,"recommend":2,"default":1,"member":"推荐"},
 {"id":21,"name":"电信一区","ip":"127.0.0.1","port":7002,"opentime":1,"member":"电信"},
 {"id":22,"name":"电信二区","ip":"127.0.0.1","port":7003,"opentime":2,"recommend":1,"member":"电信"},
 {"id":31,"name":"网通一区","ip":"127.0.0.1","port":7004,"opentime":3,"member":"网通"}
]}
JSON
run "$service" --list "$work/servers.json" --port "$port" >"$work/service.log" 2>&1 &
pids+=($!)

# The window's debug lines go to host.log (shown when the test fails).
WINEDEBUG=-all,warn+debugstr run "$work/launcher.exe" --state "$(wpath "$work/state.txt")" --list-port "$port" --ready-after 1500 \
  --title "$title" \
  >"$work/host.log" 2>&1 &
host_pid=$!
pids+=("$host_pid")

wait_for initialized 1
wid=""
for _ in $(seq 50); do
  wid=$(xdotool search --name "^$title\$" 2>/dev/null | head -n 1) && [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || fail "no X window named $title"
read -r _ _ ww wh <<<"$(state window)"
[ "$ww x $wh" = "1002 x 642" ] || fail "window is $ww x $wh, not the skin's 1002 x 642"
[ "$(state mode)" = update ] || fail "not in update mode first"
shot update-mode

wait_for mode ready
wait_for servers 4 100
wait_for current 11  # no "lastserver" yet: the default server
wait_for pending 0
shot ready-mode

click() {  # click KEY: the centre of a control, in window coordinates
  read -r cx cy <<<"$(state "$1")"
  xdotool mousemove --window "$wid" "$cx" "$cy" click 1
}

# The group popup: choose the second group (电信); its last server becomes current.
click btnSelMem
wait_for popup "groups 3"
shot group-popup
read -r px py _ _ <<<"$(state popup_rect)"
xdotool mousemove "$((px + 40))" "$((py + 1 + 32 + 16))" click 1
wait_for member 电信
wait_for current 22
wait_for popup none 60

# The server popup of that group: the first row.
click btnSelServer
wait_for popup "servers 2"
shot server-popup
read -r px py _ _ <<<"$(state popup_rect)"
xdotool mousemove "$((px + 40))" "$((py + 1 + 16))" click 1
wait_for current 21
wait_for current_name 电信一区
wait_for popup none 60

# Dragging the borderless window by its background.
read -r wx wy _ _ <<<"$(state window)"
xdotool mousemove --window "$wid" 990 630 mousedown 1
sleep 0.3
xdotool mousemove_relative --sync 40 30
sleep 0.3
xdotool mouseup 1
wait_for window "$((wx + 40)) $((wy + 30)) 1002 642" 50
# A plain click on the background starts no drag that outlives it: the
# window answers the next click at once.
xdotool mousemove --window "$wid" 990 630 click 1
sleep 0.3
click btnSelServer
wait_for popup "servers 2" 30
xdotool key Escape
wait_for popup none 60

click LGClose
for _ in $(seq 100); do kill -0 "$host_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$host_pid" 2>/dev/null && fail "the window did not close"
echo "main window: shown with its skin, list received, popups committed, screenshots in $shots"
