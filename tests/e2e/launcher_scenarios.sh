#!/bin/bash
# Player-visible flows of the real launcher under Wine and an X display,
# against nginx (or a faulty content server), the server-list service and
# the stub game client. One scenario per run; each gets a fresh prefix, its
# own folders under OUT/<scenario> and the demo deployment (demo/make-demo)
# on a port of its own, and checks files, the launcher's debug output and
# the window (found by its executable's name, photographed).
#   first_install    from a download folder into the folder of the game's
#                    uninstall entry: copy, desktop shortcut, the copy runs
#   first_update     an empty game folder to ready mode: every file's MD5,
#                    local state, update log, the launcher's companion
#   second_start     nothing to do: only the two manifests are fetched
#   self_update      a new launcher published for pass 1 is handed over
#                    through ".update" and the new one runs
#   kill_resume      the launcher killed in a download; the next start
#                    finishes the update without fetching again the files
#                    that were complete
#   lastserver       the server list arrives and the last server is restored:
#                    the start button starts the client for it
#   server_popup     the server popup picks a server with a click and with
#                    Enter; the start button starts the client for it
#   skip_update      a missing game manifest: "#100" and the skip label while
#                    the launcher pass runs on; a click gives ready mode at
#                    once and the game still starts
#   content_down     no content server at all: "#100" for both passes, the
#                    launcher still reaches ready mode and starts the game
#   serverlist_later the service down: the refresh label after 10 s, the
#                    list after a refresh once the service is up
#   faulty_content   dropped connections and mislabelled ranges: every file
#                    still right
#   signed_launcher  the bare launcher signed with a throwaway certificate,
#                    then packed: the signature verifies, and the launcher
#                    reads its block from inside the certificate table
# usage: launcher_scenarios.sh SCENARIO SOURCE NATIVE_BUILD WINDOWS_BUILD OUT FALLBACK_IP HOST
set -euo pipefail
scenario=$1
export LW_SRC=$(cd "$2" && pwd)
export LW_TOOLS=$3
windows=$4
out=$5
fallback_ip=$6
serverlist_host=$7
[ -n "${DISPLAY:-}" ] || exec "$LW_SRC/scripts/with-xvfb" "$0" "$@"
. "$LW_SRC/tests/e2e/launcher-lib.sh"
lw_init "$scenario" "$out"

hub=7
bare="$windows/launcher/launcher.exe"
client=$(find "$windows/tools/client-stub" -name Client.bin -print -quit 2>/dev/null || true)
[ -f "$bare" ] || lw_skip "$bare is not built"
[ -n "$client" ] || lw_skip "the stub client Client.bin is not built"
[ -x "$LW_TOOLS/tools/launcher-block/launcher-block" ] || lw_skip "the native tools are not built in $LW_TOOLS"
# The launcher asks the server-list host first; only a name that does not
# resolve sends it to the fallback address, where the service listens.
getent ahostsv4 "$serverlist_host" >/dev/null 2>&1 &&
  lw_skip "$serverlist_host resolves here; the launcher would not ask $fallback_ip"

# ---- set-up shared by the scenarios ---------------------------------------------
lw_skin="$lw_dir/skin"
deploy="$lw_dir/deploy"
lw_port=$(lw_free_port)

publish() {  # extra make-demo arguments
  "$LW_SRC/demo/make-demo" --tools "$LW_TOOLS" --out "$deploy" --port "$lw_port" --client "$client" \
    --launcher "$bare" --skin "$lw_skin" "$@" > "$lw_dir/logs/make-demo.log" 2>&1 ||
    { cat "$lw_dir/logs/make-demo.log"; lw_fail "make-demo failed"; }
}

setup() {
  lw_stage "set-up"
  "$LW_SRC/demo/skin/make-skin" "$lw_skin" > "$lw_dir/logs/make-skin.log" 2>&1 || lw_fail "make-skin failed"
  publish
  lw_prefix
  game="$lw_drive_c/Game"
  mkdir -p "$game"
  # The game's uninstall entry names the game folder, so the install check
  # never asks for one.
  wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvath' /v UninstallString /t REG_SZ \
    /d 'C:\Game\uninstall.exe' /f >/dev/null 2>&1 || lw_fail "cannot write the uninstall entry"
  # The stub client writes its command line here and stays up a while.
  export LG_STUB_OUT='C:\client.txt' LG_STUB_STAY_MS=3000 LG_STUB_EXIT=0 LG_STUB_WINDOW=1
  client_log="$lw_drive_c/client.txt"
}

install_launcher() { cp "$deploy/launcher-files/launcher.exe" "$game/launcher.exe"; }
preinstall_game() { cp -R "$deploy/game/." "$game/"; }
start() { lw_launch 'C:\Game\launcher.exe'; lw_window 60; }
ready() { lw_wait_debug "get serverlist id=$hub" "${1:-120}"; }
server_list() { lw_wait_debug "$(lw_gbk "龙城")" "${1:-30}"; }
# Ends every process of the prefix; the next start writes a fresh debug log.
stop_launcher() {
  wineserver -k
  timeout 10 wineserver -w || true
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  local n=1
  while [ -e "$lw_dir/debug-$n.log" ]; do n=$((n + 1)); done
  mv "$lw_dir/debug.log" "$lw_dir/debug-$n.log"
}
game_right() {
  (cd "$deploy/game" && find . -type f -print0 | sort -z | xargs -0 md5sum) > "$lw_dir/game.md5"
  (cd "$game" && md5sum -c --quiet "$lw_dir/game.md5") || lw_fail "installed files differ from the published game"
}
fresh_access_log() {
  : > "$lw_dir/access.log"
  kill -USR1 "$(cat "$lw_dir/nginx.pid")"
  sleep 0.3
}
click() { local x y; read -r x y <<<"$(lw_centre "$1")"; lw_click "$x" "$y"; }
start_game() {  # expected server id
  rm -f "$client_log"
  lw_window 10
  click 8   # LGStart
  lw_wait_file "$client_log" 30
  # The stub creates the file before it writes its line.
  for _ in $(seq "$(lw_ticks 10)"); do [ -s "$client_log" ] && break; sleep 0.1; done
  local line
  line=$(iconv -f UTF-8 -t UTF-8 "$client_log" 2>/dev/null || cat "$client_log")
  [[ "$line" == *"/id:$1 "* ]] || lw_fail "the client was started with: $line"
  echo "client command line: $line"
}

# The server popup: the visible window of the launcher that is 245 pixels
# wide. Sets popup_x, popup_y (screen) and popup_h.
popup_window() {  # SECS
  local w geo
  for _ in $(seq "$(lw_ticks "$1")"); do
    for w in $(lw_windows_of launcher.exe); do
      geo=$(xdotool getwindowgeometry --shell "$w" 2>/dev/null) || continue
      [ "$(sed -n 's/^WIDTH=//p' <<<"$geo")" = 245 ] || continue
      popup_x=$(sed -n 's/^X=//p' <<<"$geo")
      popup_y=$(sed -n 's/^Y=//p' <<<"$geo")
      popup_h=$(sed -n 's/^HEIGHT=//p' <<<"$geo")
      return 0
    done
    sleep 0.1
  done
  lw_fail "the server popup did not open within ${1}s"
}
popup_gone() {  # SECS
  local w open
  for _ in $(seq "$(lw_ticks "$1")"); do
    open=0
    for w in $(lw_windows_of launcher.exe); do
      [ "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null | sed -n 's/^WIDTH=//p')" = 245 ] && open=1
    done
    [ "$open" = 0 ] && return 0
    sleep 0.1
  done
  lw_fail "the server popup is still open after ${1}s"
}
# Moves the pointer onto row N (0 = first) of the open popup.
popup_point() {
  xdotool mousemove "$((popup_x + 60))" "$((popup_y + 1 + $1 * 32 + 16))" || lw_fail "cannot move onto row $1"
  sleep 0.3
}

case "$scenario" in
  first_install)
    setup
    lw_nginx "$deploy/www"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    downloads="$lw_drive_c/Downloads"
    mkdir -p "$downloads"
    cp "$deploy/launcher-files/launcher.exe" "$downloads/launcher.exe"
    lw_stage "started from the download folder"
    lw_launch 'C:\Downloads\launcher.exe'
    lw_stage "copied into the game folder"
    lw_wait_file "$game/launcher.exe" 60
    # The copy may still be being written when it appears.
    for _ in $(seq "$(lw_ticks 30)"); do
      cmp -s "$game/launcher.exe" "$deploy/launcher-files/launcher.exe" && break
      sleep 0.1
    done
    cmp -s "$game/launcher.exe" "$deploy/launcher-files/launcher.exe" || lw_fail "the copy differs"
    lw_stage "the installed copy runs and removes the download"
    lw_wait_gone "$downloads/launcher.exe" 60
    lw_window 60
    lnk=$(find "$lw_drive_c/users" -path '*/Desktop/*' -name '*.lnk' -print -quit)
    [ -n "$lnk" ] || lw_fail "no desktop shortcut"
    [ "$(basename "$lnk")" = "Korvath 演示.lnk" ] || lw_fail "shortcut named $(basename "$lnk")"
    lw_stage "ready mode"
    ready
    game_right
    lw_shot installed-ready
    ;;

  first_update | second_start | self_update)
    setup
    lw_nginx "$deploy/www"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    install_launcher
    lw_stage "first start on an empty game folder"
    start
    lw_shot update-mode
    ready
    server_list
    lw_stage "files, local state, log"
    game_right
    for f in data/update0.local data/update1.local data/update.json data/updateL.json UpdateLog.txt; do
      lw_wait_file "$game/$f" 20
    done
    cmp -s "$game/launcher.update" "$deploy/launcher-files/launcher.exe" || lw_fail "launcher.update is not the published launcher"
    grep -q '^data\\maps\\demo.pak=[0-9a-f]\{32\}-' "$game/data/update0.local" || lw_fail "demo.pak is not in the local state"
    lw_shot ready-with-server-list
    [ "$scenario" = first_update ] && { echo "PASS: $scenario"; exit 0; }
    stop_launcher
    if [ "$scenario" = second_start ]; then
      lw_stage "second start"
      fresh_access_log
      start
      ready
      # Content only: the news page is the web site's, not the update's.
      fetched=$(awk '$2 ~ /^\/(patch|launcher)\// {print $2}' "$lw_dir/access.log" | sort -u | tr '\n' ' ')
      [ "$fetched" = "/launcher//updateL.json /patch//update.json " ] || lw_fail "the second start fetched: $fetched"
      changed=$(cd "$game" && find . -type f ! -name UpdateLog.txt ! -name '*.local' ! -name launcher.ini ! -name '*.json' -newer "$lw_dir/access.log" | wc -l)
      [ "$changed" -eq 0 ] || lw_fail "$changed files were rewritten on a start with nothing to do"
      lw_shot second-start-ready
    else
      lw_stage "publish a new launcher"
      sed -i 's/"Korvath 演示"/"Korvath 新版"/' "$deploy/urls.txt"
      cp "$deploy/urls.txt" "$lw_dir/urls-new.txt"
      lw_pack "$bare" "$lw_dir/urls-new.txt" "$lw_skin" "$deploy/launcher-files/launcher.exe"
      "$LW_TOOLS/tools/launcher-publish/launcher-publish" --src "$deploy/launcher-files" --out "$deploy/www/launcher" \
        --launcher > "$lw_dir/logs/publish-new.log" 2>&1 || lw_fail "publishing the new launcher failed"
      chmod -R a+rX "$deploy/www"
      lw_stage "start, pass 1 brings the new launcher, hand-over"
      start
      lw_wait_debug "Url _LauName=Korvath $(lw_gbk "新版")" 120
      for _ in $(seq "$(lw_ticks 60)"); do
        cmp -s "$game/launcher.exe" "$deploy/launcher-files/launcher.exe" && break
        sleep 0.1
      done
      cmp -s "$game/launcher.exe" "$deploy/launcher-files/launcher.exe" || lw_fail "launcher.exe was not replaced"
      lw_stage "the new launcher reaches ready mode"
      # The old launcher hands over before ready mode: any request in this
      # run's debug output is the new one's.
      ready
      lw_window 30
      lw_shot new-launcher-ready
    fi
    ;;

  kill_resume)
    setup
    # A third of the game is there already (so the next start compares
    # instead of fetching the full package); the rest is missing.
    head -c $((3 << 20)) /dev/zero | tr '\0' 'k' > "$deploy/game/data/maps/base.pak"
    publish
    mkdir -p "$game/data/maps"
    cp "$deploy/game/data/maps/base.pak" "$game/data/maps/"
    install_launcher
    lw_nginx "$deploy/www" 150k
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    lw_stage "start and kill in the middle of demo.pak"
    start
    tmp="$game/data/maps/demo.pak.!tmp"
    lw_wait_file "$tmp" 60
    for _ in $(seq "$(lw_ticks 60)"); do [ "$(stat -c %s "$tmp" 2>/dev/null || echo 0)" -gt $((2 << 20)) ] && break; sleep 0.1; done
    lw_shot killed-while-downloading
    stop_launcher
    [ -e "$game/data/maps/demo.pak" ] && lw_fail "demo.pak under its final name after the kill"
    # What is complete now must not be fetched again.
    game_sums=$(cd "$deploy/game" && find . -type f -print0 | sort -z | xargs -0 md5sum)
    present=$(cd "$game" && LC_ALL=C md5sum -c <<<"$game_sums" 2>/dev/null | sed -n 's/^\.\/\(.*\): OK$/\1/p' | tr '\n' ' ' || true)
    fetched_first=$(awk '$3 ~ /^20/ {print $2}' "$lw_dir/access.log" | sort -u)
    done_first=0
    for f in $present; do
      if grep -q "/patch//$f\(\.zip\)\?\$" <<<"$fetched_first"; then done_first=$((done_first + 1)); fi
    done
    [ "$done_first" -gt 0 ] || lw_fail "no file was finished before the kill (present: $present)"
    lw_stage "the next start finishes the update"
    lw_nginx_stop
    lw_nginx "$deploy/www"
    start
    ready 120
    game_right
    for f in $present; do
      if grep -q " /patch//$f\(\.zip\)\? " "$lw_dir/access.log"; then lw_fail "$f was present but fetched again"; fi
    done
    echo "present after the kill (not fetched again): $present"
    lw_shot resumed-ready
    ;;

  lastserver)
    setup
    lw_nginx "$deploy/www"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    install_launcher
    printf '[Main]\r\nlastserver=22\r\n' > "$game/launcher.ini"
    start
    ready
    server_list
    sleep 1
    lw_shot last-server-restored
    lw_stage "start the game for the restored server"
    start_game 22
    grep -q '^lastserver=22' <(tr -d '\r' < "$game/launcher.ini") || lw_fail "lastserver changed"
    ;;

  server_popup)
    setup
    lw_nginx "$deploy/www"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    install_launcher
    start
    ready
    server_list
    sleep 1
    # The default server (龙城, 电信区) is current: its zone's three servers,
    # recommended first.
    lw_stage "the popup opens below the current server"
    click 6   # btnSelServer
    popup_window 10
    [ "$popup_h" -eq $((3 * 32 + 2)) ] || lw_fail "the popup is $popup_h pixels high, not three rows"
    popup_point 1
    lw_shot server-popup
    lw_stage "a click on the second row (凤鸣)"
    xdotool click 1 || lw_fail "the click failed"
    popup_gone 10
    start_game 12
    lw_stage "Enter on the third row (青云)"
    lw_window 10
    click 6
    popup_window 10
    popup_point 2
    xdotool key Return || lw_fail "the key failed"
    popup_gone 10
    start_game 13
    lw_shot server-popup-done
    ;;

  skip_update)
    setup
    preinstall_game
    install_launcher
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    # The game's manifest is missing (pass 0 fails at once) and the launcher's
    # files come slowly (pass 1 is still at work when the player skips).
    rm "$deploy/www/patch/update.json"
    lw_nginx "$deploy/www" 100k
    lw_stage "#100 and the skip label"
    start
    lw_wait_debug "#100 : $(lw_gbk "下载配置文件失败")" 60
    lw_wait_debug "update pass 1" 30
    sleep 1
    lw_shot skip-label
    # The label's place shows more than the background once it is shown.
    ! lw_on_background skip-label 12 || lw_fail "the skip label did not appear"
    lw_stage "skip: ready mode at once"
    click 12   # lbIngUpdate
    ready 20
    [ ! -e "$game/launcher.update" ] || lw_fail "pass 1 was already done: nothing was skipped"
    server_list
    lw_stage "the game still starts"
    start_game 11
    lw_shot skipped-ready
    ;;

  content_down)
    setup
    preinstall_game
    install_launcher
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    # Nothing listens on the content port.
    lw_stage "#100 for both passes"
    start
    lw_wait_debug "#100 : $(lw_gbk "下载配置文件失败")" 60
    lw_wait_debug "update pass 1" 60
    lw_stage "the launcher stays usable"
    ready 120
    [ "$(lw_debug_count "#100 : ")" -ge 2 ] || lw_fail "pass 1 reported no #100"
    server_list
    start_game 11
    lw_shot content-down-usable
    ;;

  serverlist_later)
    setup
    lw_nginx "$deploy/www"
    install_launcher
    lw_stage "ready mode without a service"
    start
    ready
    sleep 2
    lw_shot waiting-for-list
    lw_stage "the refresh label after 10 s"
    sleep 10
    lw_shot refresh-label
    lw_differ waiting-for-list refresh-label 7 || lw_fail "the refresh label did not come back"
    lw_stage "service up, refresh, list"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    sleep 5   # requests are spaced 5 s apart
    click 7   # LGLabel1
    server_list 20
    [ "$(lw_debug_count "get serverlist id=$hub")" -ge 2 ] || lw_fail "no second request"
    sleep 1
    lw_shot list-after-refresh
    start_game 11
    ;;

  faulty_content)
    setup
    install_launcher
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    "$LW_SRC/tests/e2e/faulty-http" "$deploy/www" "$lw_port" --drop-every 3 --lie-every 4 \
      > "$lw_dir/logs/faulty-http.log" 2>&1 &
    lw_pids+=($!)
    for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$lw_port/" && break; sleep 0.1; done
    lw_stage "update against dropped connections and wrong ranges"
    start
    ready 240
    faults=$(grep -c -E 'dropped|another range' "$lw_dir/logs/faulty-http.log" || true)
    [ "$faults" -gt 0 ] || lw_fail "no fault was injected"
    lw_stage "every file right"
    game_right
    echo "$faults faults injected; every file right"
    lw_shot faulty-ready
    ;;

  signed_launcher)
    command -v osslsigncode >/dev/null && command -v openssl >/dev/null || lw_skip "osslsigncode or openssl missing"
    lw_stage "sign the bare launcher with a throwaway certificate"
    sign="$lw_dir/sign"
    mkdir -p "$sign"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway launcher signer" \
      -keyout "$sign/key.pem" -out "$sign/cert.pem" > "$lw_dir/logs/sign.log" 2>&1 || lw_fail "openssl made no certificate"
    osslsigncode sign -certs "$sign/cert.pem" -key "$sign/key.pem" -n Korvath -in "$bare" -out "$sign/launcher.exe" \
      >> "$lw_dir/logs/sign.log" 2>&1 || { cat "$lw_dir/logs/sign.log"; lw_fail "osslsigncode could not sign"; }
    bare="$sign/launcher.exe"   # make-demo packs this one
    setup
    lw_stage "the packed launcher's signature verifies"
    packed="$deploy/launcher-files/launcher.exe"
    osslsigncode verify -CAfile "$sign/cert.pem" -in "$packed" > "$lw_dir/logs/verify.log" 2>&1 ||
      { cat "$lw_dir/logs/verify.log"; lw_fail "osslsigncode refused the packed launcher"; }
    "$LW_TOOLS/tools/launcher-block/launcher-block" inspect "$packed" > "$lw_dir/logs/inspect.log" 2>&1 ||
      lw_fail "inspect found an invalid section"
    grep -q '^signature: present .*signed layout kept' "$lw_dir/logs/inspect.log" ||
      { cat "$lw_dir/logs/inspect.log"; lw_fail "the block is not inside the signed layout"; }
    lw_nginx "$deploy/www"
    lw_serverlist "$deploy/servers.json" "$fallback_ip" "$hub"
    preinstall_game
    install_launcher
    lw_stage "the launcher reads its block from inside the certificate table"
    start
    for line in "Url succ str=" "Res succ hash=" "Pos succ hash=" "Url _LauName=Korvath"; do
      lw_wait_debug "$line" 30
    done
    [ "$(lw_debug_count "(Url|Res|Pos) Error")" -eq 0 ] || lw_fail "the launcher refused a section of its block"
    ready
    server_list
    sleep 1
    lw_shot signed-ready
    ! lw_on_background signed-ready 8 || lw_fail "the skin's start button is missing"
    ;;

  *)
    echo "unknown scenario: $scenario"
    exit 2
    ;;
esac
echo "PASS: $scenario"
