#!/bin/bash
# The launcher harness itself, without the launcher: a fresh prefix made by
# hard-linking the template must leave the template untouched, debug output
# of one of our Windows programs (launcher-update.exe fetching from nginx)
# must be captured with its GBK text, a GUI program's window must be found
# by its executable's name, clicked, and photographed (not blank), and
# lw_end must stop what was started.
# usage: launcher_harness.sh SOURCE_DIR NATIVE_BUILD WINDOWS_BUILD OUT_DIR
set -euo pipefail
export LW_SRC=$(cd "$1" && pwd)
export LW_TOOLS=$2
windows=$3
[ -n "${DISPLAY:-}" ] || exec "$LW_SRC/scripts/with-xvfb" "$0" "$@"
. "$LW_SRC/tests/e2e/launcher-lib.sh"
lw_init harness "$4"

lw_stage "prefix"
lw_prefix
template="$(lw_template_root)/prefix"
before=$(md5sum "$template/system.reg" | cut -d' ' -f1)
wine reg add 'HKLM\Software\LgHarness' /v Probe /t REG_SZ /d '测试' /f >/dev/null 2>&1 || lw_fail "reg add failed"
wine reg query 'HKLM\Software\LgHarness' /v Probe 2>/dev/null | grep -q Probe || lw_fail "the registry write did not hold"
[ "$(md5sum "$template/system.reg" | cut -d' ' -f1)" = "$before" ] || lw_fail "the template's registry changed"
[ "$(stat -c %h "$lw_drive_c/windows/system32/kernel32.dll")" -gt 1 ] || echo "note: the prefix is a copy, not hard links"

lw_stage "debug output"
mkdir -p "$lw_dir/www" "$lw_drive_c/install"
head -c 300000 /dev/urandom > "$lw_dir/www/big.bin"
chmod -R a+rX "$lw_dir/www"
lw_nginx "$lw_dir/www"
exe="$lw_drive_c/update.exe"
cp "$windows/tools/launcher-update/launcher-update.exe" "$exe"
lw_launch "$(lw_win "$exe")" get "http://127.0.0.1:$lw_port/big.bin" --dir 'C:\install'
lw_wait_debug "$(lw_gbk "创建了 ")[0-9]+$(lw_gbk " 个下载线程.")" 30
lw_wait_file "$lw_drive_c/install/big.bin" 30
cmp "$lw_dir/www/big.bin" "$lw_drive_c/install/big.bin" || lw_fail "the download differs"
grep -q '^GET /big.bin 206 Bytes=0-0' "$lw_dir/access.log" || lw_fail "no one-byte probe in the access log"
echo "debug lines captured: $(lw_debug_count 'OutputDebugStringA')"

lw_stage "window"
wine notepad >/dev/null 2>&1 &
lw_pids+=($!)
lw_window 30 notepad.exe
lw_click 50 50
lw_shot window
echo "window $lw_wid found and photographed"

lw_stage "picture checks"
# A screen with the skin's background at 100,50: the skip label's place
# shows the background; with a text drawn there it no longer does.
lw_skin="$lw_dir/skin"
"$LW_SRC/demo/skin/make-skin" "$lw_skin" > "$lw_dir/logs/make-skin.log" 2>&1 || lw_fail "make-skin failed"
/usr/bin/convert -size 1280x1024 xc:black "$lw_skin/background.png" -geometry +100+50 -composite "$lw_dir/plain.png"
read -r x y w h <<<"$(lw_position 12)"
/usr/bin/convert "$lw_dir/plain.png" -fill white -draw "rectangle $((100 + x + 5)),$((50 + y + 3)) $((100 + x + 40)),$((50 + y + 12))" \
  "$lw_dir/label.png"
saved_x=$lw_win_X saved_y=$lw_win_Y
lw_win_X=100 lw_win_Y=50
lw_on_background plain 12 || lw_fail "the plain background was not recognised"
! lw_on_background label 12 || lw_fail "a label drawn over the background went unnoticed"
lw_differ plain label 12 || lw_fail "two different shots compare equal"
! lw_differ plain plain 12 || lw_fail "a shot differs from itself"
lw_differ plain label 7 && lw_fail "a rectangle far from the change differs"
lw_win_X=$saved_x lw_win_Y=$saved_y
echo "background and difference checks hold on a synthetic screen"

lw_stage "stop"
wineserver -k
timeout 10 wineserver -w || lw_fail "the prefix's processes did not end"
[ -z "$(lw_windows_of notepad.exe)" ] || lw_fail "notepad's window is still there"
echo "PASS: prefix, debug capture, window search, click, screenshot, stop"
