#!/bin/bash
# Whole update passes killed at random moments. A game of a few hundred
# files of mixed sizes and one large file is published with
# launcher-publish and served by nginx on 127.0.0.1 (each connection held to
# a rate, so that kills land in the middle of transfers); `launcher-update
# pass` runs under `timeout -s KILL` with a random limit KILLS times, then
# once to the end. After every run each file under its final name is the
# game's; at the end the installed tree is the game, no helper file is left,
# nothing was written outside the install folder, and nginx sent less than
# 1.5 times the content in all.
#   files    the files one by one (the first pass's path)
#   package  the full package (UpdateNow=2): one archive, then unpacked
# Exit 77 (skipped) without nginx or timeout.
# usage: pass_kill_loop.sh LAUNCHER_PUBLISH LAUNCHER_UPDATE files|package [--kills N]
#        (LG_KILL_RUNS=N does the same; 200 for a long run by hand)
set -u
publish=$(readlink -f "$1")
update=$(readlink -f "$2")
mode=$3
kills=${LG_KILL_RUNS:-30}
[ "${4:-}" = --kills ] && kills=$5
big_mib=${LG_KILL_BIG_MIB:-40}
rate=${LG_KILL_RATE:-400k}         # per connection
min_ms=${LG_KILL_MIN_MS:-600} max_ms=${LG_KILL_MAX_MS:-2000}
. "$(dirname "$0")/e2e-lib.sh"
. "$(dirname "$0")/pass-lib.sh"
command -v timeout > /dev/null || { echo "timeout not installed: skipped"; exit 77; }
e2e_begin
began=$(date +%s%N)

game="$work/game" www="$work/www" install="$work/root/install"
mkdir -p "$www" "$install"
pass_make_game "$game" "$big_mib"
case "$mode" in
  files) pass_publish "$game" "$www/patch" ;;
  package)
    pass_publish "$game" "$www/patch" --package
    # The next pass takes the full package, as a launcher that found
    # almost nothing installed does.
    printf '[Main]\r\nUpdateNow=2\r\n' > "$install/launcher.ini"
    ;;
  *) fail "mode is files or package, not $mode" ;;
esac
# What one clean pass needs: the files, or the package alone.
if [ "$mode" = files ]; then
  content=$(find "$www/patch" -type f ! -name '*.json' ! -name .publish-cache ! -path "$www/patch/complete/*" -printf '%s\n' |
    awk '{ s += $1 } END { print s }')
else
  content=$(find "$www/patch/complete" -type f ! -name '*.json' -printf '%s\n' | awk '{ s += $1 } END { print s }')
fi
[ "${content:-0}" -gt 0 ] || fail "nothing published"
e2e_nginx "$www" "$PASS_LOG_FORMAT" "limit_rate $rate;"
base="http://127.0.0.1:$port/patch/"
pass_watch_begin "$install"

# In the background and waited for: the shell reports no "Killed" line.
run_pass() {
  (cd "$work/outside/cwd" && exec "$@" "$update" pass --dir "$install" --base "$base" --pass 0 "${pass_args[@]}") > "$work/run.log" 2>&1 &
  wait $!
}

killed=0 finished=0 killed_midway=0
for k in $(seq 1 "$kills"); do
  ms=$((min_ms + RANDOM % (max_ms - min_ms)))
  complete_before=0
  (cd "$install" && md5sum -c --quiet "$work/game.md5" > /dev/null 2>&1) && complete_before=1
  run_pass 2>/dev/null timeout -s KILL "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
  code=$?
  case $code in
    137) killed=$((killed + 1)); [ $complete_before = 0 ] && killed_midway=$((killed_midway + 1)) ;;
    0) finished=$((finished + 1)) ;;
    *) tail -n 20 "$work/run.log" "$install/UpdateLog.txt" 2>/dev/null; fail "run $k (limit $ms ms) ended with $code" ;;
  esac
  pass_final_files_right "$install"
  [ -n "${LG_VERBOSE:-}" ] && echo "run $k: limit $ms ms, exit $code, $(pass_bytes_sent) bytes sent so far"
done

run_pass timeout 300 || { tail -n 30 "$work/run.log"; fail "the last pass failed"; }
grep -q '^up to date' "$work/run.log" || fail "the last pass did not end up to date"
pass_tree_equal "$install"
strays=$(pass_strays "$work/root")
[ -z "$strays" ] || fail "helper files left behind: $strays"
pass_watch_end "$install"

sent=$(pass_bytes_sent)
ratio=$(awk -v s="$sent" -v c="$content" 'BEGIN { printf "%.2f", s / c }')
ended=$(date +%s%N)
echo "$mode: $killed kills ($killed_midway before the game was whole), $finished runs ended by themselves," \
  "then one to the end; sent $sent bytes for $content of content ($ratio x); $(((ended - began) / 1000000)) ms"
awk -v s="$sent" -v c="$content" 'BEGIN { exit !(s < 1.5 * c) }' || fail "nginx sent $ratio times the content"
echo "PASS"
