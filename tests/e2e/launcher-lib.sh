# Drives the real launcher under Wine and an X display (sourced by the
# scenario scripts and by scripts/demo). Every wait has a time limit; every
# process started here is stopped by lw_end, however the caller ends.
#
#   lw_init NAME DIR          per-run folder DIR/NAME (emptied first), traps
#   lw_stage TEXT             names the stage now running (printed; a failure names it)
#   lw_fail TEXT              screenshot, logs kept under the run folder, exit 1
#   lw_skip TEXT              exit 77 (skipped) with the reason
#   lw_prefix                 fresh Wine prefix hard-linked from a zh_CN template
#   lw_nginx ROOT [RATE]      nginx on 127.0.0.1:$lw_port (a free port unless set) serving
#                             ROOT (RATE: limit_rate per connection); access log
#                             $lw_dir/access.log: "METHOD URI STATUS RANGE BYTES"
#   lw_nginx_stop             stops it
#   lw_serverlist LIST IP HUB serverlist-service on IP:30000 answering game id HUB
#   lw_pack EXE URLS SKIN OUT launcher-block pack
#   lw_launch WINPATH [ARG]   starts the launcher (C:\... in the prefix) in its folder; its
#                             debug output goes to $lw_dir/debug.log
#   lw_wait_debug RE SECS     waits for a debug line matching RE (see lw_gbk)
#   lw_wait_file PATH SECS    waits for a file
#   lw_wait_gone PATH SECS    waits for a file to disappear
#   lw_window SECS [EXE]      sets $lw_wid to the launcher's (EXE's) visible main window,
#                             $lw_win_X and $lw_win_Y to its position on the screen
#   lw_click X Y              left click at X, Y of the main window's client area
#   lw_shot NAME              PNG of the screen as $lw_dir/NAME.png (or in $lw_shot_dir),
#                             fails when blank
#   lw_crop NAME N            the rectangle of position record N (window coordinates)
#                             cut from NAME.png, as NAME-N.png
#   lw_differ A B N           true when record N's rectangle differs between shots A and B
#   lw_on_background A N      true when record N's rectangle in shot A shows the skin's
#                             background image there, nothing drawn over it
#   lw_gbk TEXT               a pattern for TEXT (UTF-8) as debug lines show it: GBK bytes as \xNN
#   lw_debug_count RE         how many debug lines match RE
#   lw_win PATH               the Windows form (C:\...) of a path inside the prefix's drive_c
#   lw_position N             the X Y W H of position record N of $lw_skin/positions.txt
# Needs: LW_SRC (the checkout), LW_TOOLS (a native build folder with the
# tools), DISPLAY. Optional: LW_TIME_SCALE (stretches every time limit).

lw_stage_name="set-up"
lw_pids=()
lw_pidfiles=()  # pid files of daemons (nginx) started by the caller
lw_dir=""
lw_port=""
lw_wid=""
lw_win_X=0
lw_win_Y=0
lw_debug_pid=""
lw_ok=0
: "${LW_TIME_SCALE:=${LG_TEST_TIMEOUT_SCALE:-1}}"

lw_init() {
  local name=$1 base=$2
  [ -n "${DISPLAY:-}" ] || { echo "lw_init: no DISPLAY (run under scripts/with-xvfb)"; exit 1; }
  for tool in nginx xdotool /usr/bin/import /usr/bin/convert wine wineserver; do
    command -v "$tool" >/dev/null || lw_skip "$tool is not installed"
  done
  lw_dir="$base/$name"
  rm -rf "$lw_dir"
  mkdir -p "$lw_dir/logs"
  lw_dir=$(cd "$lw_dir" && pwd)
  trap lw_end EXIT
  trap 'exit 1' INT TERM HUP PIPE
  echo "run folder: $lw_dir"
}

lw_stage() {
  lw_stage_name=$1
  echo "stage: $1 ($(date +%T))"
}

lw_skip() {
  echo "SKIPPED: $*"
  lw_ok=1
  exit 77
}

lw_fail() {
  echo "FAIL in stage '$lw_stage_name': $*"
  if [ -n "${DISPLAY:-}" ]; then
    /usr/bin/import -display "$DISPLAY" -window root "$lw_dir/failure.png" 2>/dev/null &&
      echo "screenshot: $lw_dir/failure.png"
  fi
  [ -f "$lw_dir/debug.log" ] && { echo "last debug lines:"; tail -n 15 "$lw_dir/debug.log"; }
  echo "logs kept in $lw_dir"
  exit 1
}

lw_end() {
  local code=$?
  set +e
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    # Ends every process of this prefix (the launcher, its installed copy,
    # the game client) and the prefix's wineserver.
    wineserver -k 2>/dev/null
    timeout 10 wineserver -w 2>/dev/null
  fi
  local pid
  for pid in "${lw_pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${lw_pids[@]}"; do wait "$pid" 2>/dev/null; done
  local file
  for file in "$lw_dir/nginx.pid" "${lw_pidfiles[@]}"; do
    [ -f "$file" ] && kill "$(cat "$file")" 2>/dev/null
  done
  # A passing run keeps its screenshots and logs, not its prefix.
  if [ "$code" -eq 0 ] || [ "$lw_ok" -eq 1 ]; then
    [ -n "${lw_prefix_dir:-}" ] && rm -rf "$lw_prefix_dir"
  fi
  exit "$code"
}

# Time limit in tenths of a second for SECS, stretched by LW_TIME_SCALE.
lw_ticks() { awk -v s="$1" -v k="$LW_TIME_SCALE" 'BEGIN { printf "%d", s * k * 10 }'; }

# The template prefix's folder: under the Wine root that scripts/wine-env
# picks for the build's architecture.
lw_template_root() {
  if [ -n "${LG_WINE_ROOT:-}" ]; then
    echo "$LG_WINE_ROOT/e2e-zh"
  elif [ "${LG_WINEARCH:-win32}" = win64 ]; then
    echo "/tmp/lg-wine64-$(id -u)/e2e-zh"
  else
    echo "/tmp/lg-wine-$(id -u)/e2e-zh"
  fi
}

lw_prefix() {
  local template_root
  template_root=$(lw_template_root)
  # Chinese system locale: code page 936 for the launcher's GBK texts, and
  # the font substitutes that go with it.
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  LG_WINE_ROOT="$template_root" "$LW_SRC/scripts/wine-prefix" >/dev/null || lw_fail "the template prefix could not be made"
  lw_prefix_dir="$lw_dir/prefix"
  cp -al "$template_root/prefix" "$lw_prefix_dir" 2>/dev/null || cp -a "$template_root/prefix" "$lw_prefix_dir"
  # Wine rewrites these in place: each prefix gets its own copies.
  local f
  while IFS= read -r -d '' f; do cp --remove-destination "$f" "$f.tmp" && mv "$f.tmp" "$f"; done \
    < <(find "$lw_prefix_dir" -maxdepth 1 -name '*.reg' -print0)
  export WINEPREFIX="$lw_prefix_dir" WINEARCH="${LG_WINEARCH:-win32}" HOME="$template_root/home"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=-all
  wineserver -p30 </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || lw_fail "wine does not start in the new prefix"
  lw_drive_c="$lw_prefix_dir/drive_c"
}

lw_win() {
  local rel=${1#"$lw_drive_c"}
  rel=${rel#/}
  printf 'C:\\%s' "${rel//\//\\}"
}

lw_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

lw_nginx() {
  local root=$1 rate=${2:-0}
  [ -n "$lw_port" ] || lw_port=$(lw_free_port)
  cat > "$lw_dir/nginx.conf" <<CONF
daemon on; pid $lw_dir/nginx.pid; error_log $lw_dir/logs/nginx-error.log;
events {}
http {
  log_format lines '\$request_method \$request_uri \$status \$http_range \$body_bytes_sent';
  access_log $lw_dir/access.log lines;
  default_type application/octet-stream;
  server { listen 127.0.0.1:$lw_port; root $root; limit_rate $rate; }
}
CONF
  : > "$lw_dir/access.log"
  nginx -e "$lw_dir/logs/nginx-error.log" -p "$lw_dir/" -c "$lw_dir/nginx.conf" || lw_fail "nginx did not start"
  local i
  for i in $(seq "$(lw_ticks 5)"); do [ -s "$lw_dir/nginx.pid" ] && return 0; sleep 0.1; done
  lw_fail "nginx wrote no pid file"
}

lw_nginx_stop() {
  [ -f "$lw_dir/nginx.pid" ] || return 0
  local pid i
  pid=$(cat "$lw_dir/nginx.pid")
  kill "$pid" 2>/dev/null || true
  for i in $(seq "$(lw_ticks 5)"); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$lw_dir/nginx.pid"
}

lw_serverlist() {
  local list=$1 ip=$2 hub=$3
  "$LW_TOOLS/tools/serverlist-service/serverlist-service" --list "$list" --bind "$ip" --hub "$hub" \
    > "$lw_dir/logs/serverlist.log" 2>&1 &
  lw_serverlist_pid=$!
  lw_pids+=("$lw_serverlist_pid")
  sleep 0.3
  kill -0 "$lw_serverlist_pid" 2>/dev/null || {
    cat "$lw_dir/logs/serverlist.log"
    lw_fail "serverlist-service did not start on $ip:30000 (another process may hold the port)"
  }
}

lw_serverlist_stop() {
  [ -n "${lw_serverlist_pid:-}" ] && kill "$lw_serverlist_pid" 2>/dev/null && wait "$lw_serverlist_pid" 2>/dev/null
  lw_serverlist_pid=""
  return 0
}

lw_pack() {
  "$LW_TOOLS/tools/launcher-block/launcher-block" pack --exe "$1" --urls "$2" --skin "$3" \
    --positions "$3/positions.txt" --out "$4" > "$lw_dir/logs/pack.log" 2>&1 ||
    { cat "$lw_dir/logs/pack.log"; lw_fail "launcher-block pack failed"; }
}

lw_launch() {
  local exe=$1
  shift
  # Started in its own folder, as from a shortcut or a double click in the
  # folder's window: the current folder is what the launcher works relative
  # to (the installed copy deletes the download by its name there).
  local rel=${exe#[Cc]:\\}
  rel=${rel//\\//}
  local dir="$lw_drive_c"
  [[ "$rel" == */* ]] && dir="$lw_drive_c/${rel%/*}"
  # Each OutputDebugStringA line shows on standard error as
  #   0024:warn:debugstr:OutputDebugStringA "text\n"
  # with non-ASCII bytes as \xNN; children started by the launcher inherit it.
  (cd "$dir" && WINEDEBUG=-all,warn+debugstr exec wine "$exe" "$@") >> "$lw_dir/logs/wine-stdout.log" \
    2>> "$lw_dir/debug.log" &
  lw_pids+=($!)
  lw_launcher_pid=$!
}

lw_gbk() {
  python3 -c '
import re, sys
out = ""
for b in sys.argv[1].encode("gbk"):
    c = chr(b)
    out += "\\\\x%02x" % b if b >= 0x80 else ("\\" + c if c in ".[]()*+?{}|^$\\" else c)
print(out)' "$1"
}

lw_debug_count() {
  grep -c -E -- "$1" "$lw_dir/debug.log" 2>/dev/null || true
}

lw_wait_debug() {
  local re=$1 secs=$2 i
  for i in $(seq "$(lw_ticks "$secs")"); do
    grep -q -E -- "$re" "$lw_dir/debug.log" 2>/dev/null && return 0
    sleep 0.1
  done
  lw_fail "no debug line matching '$re' within ${secs}s"
}

lw_wait_file() {
  local path=$1 secs=$2 i
  for i in $(seq "$(lw_ticks "$secs")"); do
    [ -e "$path" ] && return 0
    sleep 0.1
  done
  lw_fail "$path did not appear within ${secs}s"
}

lw_wait_gone() {
  local path=$1 secs=$2 i
  for i in $(seq "$(lw_ticks "$secs")"); do
    [ -e "$path" ] || return 0
    sleep 0.1
  done
  lw_fail "$path still there after ${secs}s"
}

# The launcher's main window: Wine names the X window's class after the
# executable, and the main window is the largest visible one of it.
lw_window() {
  local secs=$1 exe=${2:-launcher.exe} i w best area
  for i in $(seq "$(lw_ticks "$secs")"); do
    best="" area=0
    for w in $(xdotool search --onlyvisible --classname "$exe" 2>/dev/null); do
      local geo width height
      geo=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null) || continue
      width=$(sed -n 's/^WIDTH=//p' <<<"$geo")
      height=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
      [ $((width * height)) -gt "$area" ] && { best=$w; area=$((width * height)); }
    done
    if [ -n "$best" ] && [ "$area" -gt 10000 ]; then
      lw_wid=$best
      eval "$(xdotool getwindowgeometry --shell "$best" | sed -n 's/^\([XY]\)=/lw_win_\1=/p')"
      return 0
    fi
    sleep 0.1
  done
  lw_fail "no visible window of $exe within ${secs}s"
}

lw_windows_of() {
  xdotool search --onlyvisible --classname "${1:-launcher.exe}" 2>/dev/null || true
}

lw_click() {
  xdotool mousemove --window "$lw_wid" "$1" "$2" click 1 || lw_fail "click at $1,$2 failed"
  sleep 0.2
}

lw_position() {
  sed 's/#.*//' "$lw_skin/positions.txt" | grep -v '^[[:space:]]*$' | sed -n "$(($1 + 1))p"
}

# The centre of position record N, in window coordinates.
lw_centre() {
  local x y w h
  read -r x y w h <<<"$(lw_position "$1")"
  echo "$((x + w / 2)) $((y + h / 2))"
}

lw_shot() {
  local file="${lw_shot_dir:-$lw_dir}/$1.png" spread="0" i
  # A window just mapped may not be drawn yet: retry for a few seconds.
  for i in $(seq "$(lw_ticks 5)"); do
    /usr/bin/import -display "$DISPLAY" -window root "$file" 2>/dev/null || lw_fail "import could not take $1.png"
    spread=$(/usr/bin/convert "$file" -format '%[fx:standard_deviation]' info: 2>/dev/null || echo 0)
    awk -v s="$spread" 'BEGIN { exit !(s > 0.01) }' && { echo "screenshot: $file"; return 0; }
    sleep 0.2
  done
  lw_fail "$1.png is blank (deviation $spread)"
}

lw_crop() {
  local name=$1 n=$2 x y w h
  read -r x y w h <<<"$(lw_position "$n")"
  /usr/bin/convert "$lw_dir/$name.png" -crop "${w}x${h}+$((lw_win_X + x))+$((lw_win_Y + y))" +repage \
    "$lw_dir/$name-$n.png" ||
    lw_fail "cannot crop $name.png"
}

lw_differ() {
  local a=$1 b=$2 n=$3 diff
  lw_crop "$a" "$n"
  lw_crop "$b" "$n"
  diff=$(/usr/bin/compare -metric AE "$lw_dir/$a-$n.png" "$lw_dir/$b-$n.png" null: 2>&1 || true)
  [ "${diff%% *}" != 0 ]
}

lw_on_background() {
  local a=$1 n=$2 x y w h diff
  lw_crop "$a" "$n"
  read -r x y w h <<<"$(lw_position "$n")"
  /usr/bin/convert "$lw_skin/background.png" -crop "${w}x${h}+$x+$y" +repage -alpha off "$lw_dir/background-$n.png"
  /usr/bin/convert "$lw_dir/$a-$n.png" -alpha off "$lw_dir/$a-$n-rgb.png"
  # A few pixels of tolerance for the screen's colour depth.
  diff=$(/usr/bin/compare -metric AE -fuzz 3% "$lw_dir/$a-$n-rgb.png" "$lw_dir/background-$n.png" null: 2>&1 || true)
  [ "${diff%% *}" -lt 5 ] 2>/dev/null
}
