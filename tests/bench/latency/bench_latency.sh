#!/bin/bash
# What round trips cost: the update pass and one large download over a link
# with a one-way delay (players sit 20-80 ms from the content server), next
# to aria2c and curl fetching the same files over the same link in the same
# run. Loopback would hide it: the client and nginx sit in two network
# namespaces of this run, joined by TUN devices and delay_line.py (a user-
# space delay line; the round trip is checked with ICMP echoes for every
# delay), on 169.254.77.1 (server) and 169.254.77.2 (client).
#
# For every delay, ROUNDS times, one after the other:
#   ours pass    launcher-update pass --pass 0 into a fresh folder (the whole
#                game downloaded and verified; the folder is then compared
#                with the game)
#   ours pass pl the same with --pipelined (kept-alive connections, no probe)
#   aria2 -j5    aria2c -i on every published file, -j5 -x5 -s5 -k1M
#   aria2 -j1    the same with -j1
#   ours get     launcher-update get of one BIG_MIB file, 5 connections
#   ours get pl  the same with --pipelined
#   aria2 big    aria2c -x5 -s5 -k1M on that file
#   curl big     curl on that file
# Every result is checked (file count and bytes) so a failure never shows as
# a fast time. Prints the median seconds and the speed ratios (their time /
# ours: above 1 means ours is faster).
#
# usage: bench_latency.sh OUT_DIR [DELAYS_MS="0 20 80"] [FILES=300] [MB=60] [ROUNDS=1]
#   OUT_DIR: a native build folder (out/native)
#   LG_BENCH_RATE: rate cap in bytes/s each way (default 0: none)
#   LG_BENCH_BIG_MIB: the large file's size (default 64)
#   LG_KEEP=1 keeps the work folder
# Needs root (namespaces, TUN), nginx, aria2c and curl.
set -eu
out=$(cd "$1" && pwd)
delays=${2:-"0 20 80"}
files=${3:-300}
mb=${4:-60}
rounds=${5:-1}
rate=${LG_BENCH_RATE:-0}
big_mib=${LG_BENCH_BIG_MIB:-64}
publish="$out/tools/launcher-publish/launcher-publish"
update="$out/tools/launcher-update/launcher-update"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../e2e/e2e-lib.sh"
. "$here/../../e2e/pass-lib.sh"
. "$here/delay-link.sh"

[ "$(id -u)" = 0 ] || { echo "needs root (network namespaces, TUN devices): skipped"; exit 77; }
for tool in aria2c curl; do
  command -v "$tool" > /dev/null || { echo "$tool not installed: skipped"; exit 77; }
done
[ -x "$publish" ] && [ -x "$update" ] || fail "no launcher-publish or launcher-update in $out"
e2e_begin
tool_pid=""
bench_end() {
  [ -z "$tool_pid" ] || kill "$tool_pid" 2> /dev/null || true
  link_down
  e2e_end
}
trap bench_end EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The game: FILES files of Pareto-distributed sizes, MB megabytes in all,
# the same bytes on every run.
game="$work/game" www="$work/www"
mkdir -p "$game" "$www/bench"
python3 - "$game" "$files" "$mb" "$www/bench/big.bin" "$big_mib" << 'PY'
import os, random, sys
root, count, mb, big, big_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], int(sys.argv[5])
rng = random.Random(7)
weights = [rng.paretovariate(1.2) for _ in range(count)]
scale = mb * 1_000_000 / sum(weights)
for i, w in enumerate(weights):
    folder = os.path.join(root, "data", "pack%02d" % (i % 20))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        f.write(rng.randbytes(max(1, int(w * scale))))
with open(big, "wb") as f:
    for _ in range(big_mib):
        f.write(rng.randbytes(1 << 20))
PY
(cd "$game" && find . -type f -print0 | sort -z | xargs -0 md5sum) > "$work/game.md5"
big_md5=$(md5sum < "$www/bench/big.bin" | cut -d' ' -f1)
"$publish" --src "$game" --out "$www" > "$work/publish.log" 2>&1 || { cat "$work/publish.log"; fail "publish failed"; }
chmod -R a+rX "$www"
game_files=$(wc -l < "$work/game.md5")
game_bytes=$(du -sb "$game" | cut -f1)

first_delay=${delays%% *}
link_up "$first_delay" "$rate"
nginx_host=$link_server nginx_wrap=$in_server e2e_nginx "$www"
base="http://$link_server:$port/"
big_url="${base}bench/big.bin"

# aria2c's list: every file of the game under its own path.
while read -r _ name; do
  printf '%s%s\n  out=%s\n' "$base" "${name#./}" "${name#./}"
done < "$work/game.md5" > "$work/aria.list"

fresh() {
  rm -rf "$work/run"
  mkdir -p "$work/run"
}

# The game's files in $work/run, byte for byte, and nothing else there but
# what the pass keeps beside them.
check_game() {
  (cd "$work/run" && md5sum -c --quiet "$work/game.md5") > "$work/check.out" 2>&1 ||
    fail "$1: files missing or wrong: $(grep -v ': OK$' "$work/check.out" | head -n 3)"
}

check_big() {
  local file="$work/run/big.bin"
  [ -f "$file" ] && [ "$(md5sum < "$file" | cut -d' ' -f1)" = "$big_md5" ] || fail "$1: the large file is missing or wrong"
}

# timed NAME DELAY COMMAND...: runs COMMAND in the client namespace, adds its
# nanoseconds to $work/times as "DELAY NAME NS".
timed() {
  local name=$1 delay=$2 t0 t1
  shift 2
  t0=$(date +%s%N)
  # In the background so that a signal to this script stops it at once.
  $in_client "$@" > "$work/tool.log" 2>&1 &
  tool_pid=$!
  wait "$tool_pid" || { tail -n 5 "$work/tool.log"; fail "$name at $delay ms"; }
  t1=$(date +%s%N)
  tool_pid=""
  echo "$delay $name $((t1 - t0))" >> "$work/times"
}

aria=(aria2c -q --allow-overwrite=true --auto-file-renaming=false -d "$work/run")

echo "game: $game_files files, $game_bytes bytes; large file: $big_mib MiB; rate cap: $rate B/s each way; rounds: $rounds"
: > "$work/times"
for delay in $delays; do
  link_set "$delay" "$rate"
  echo "== one-way delay $delay ms"
  link_ping 5 "$delay"
  for _ in $(seq "$rounds"); do
    fresh
    timed "ours-pass" "$delay" "$update" pass --dir "$work/run" --base "$base" --pass 0
    pass_tree_equal "$work/run"
    fresh
    timed "ours-pass-pl" "$delay" "$update" pass --dir "$work/run" --base "$base" --pass 0 --pipelined
    pass_tree_equal "$work/run"
    fresh
    timed "aria2-j5" "$delay" "${aria[@]}" -i "$work/aria.list" -j5 -x5 -s5 -k1M
    check_game "aria2c -j5"
    fresh
    timed "aria2-j1" "$delay" "${aria[@]}" -i "$work/aria.list" -j1 -x5 -s5 -k1M
    check_game "aria2c -j1"
    fresh
    timed "ours-get" "$delay" "$update" get "$big_url" --dir "$work/run" --connections 5
    check_big "launcher-update get"
    fresh
    timed "ours-get-pl" "$delay" "$update" get "$big_url" --dir "$work/run" --connections 5 --pipelined
    check_big "launcher-update get --pipelined"
    fresh
    timed "aria2-big" "$delay" "${aria[@]}" -x5 -s5 -k1M "$big_url"
    check_big "aria2c big"
    fresh
    timed "curl-big" "$delay" curl -sSf -o "$work/run/big.bin" "$big_url"
    check_big "curl"
  done
done
echo "every result was checked: the game's $game_files files ($game_bytes bytes) or the $big_mib MiB file, byte for byte"

python3 - "$work/times" << 'PY'
import collections, statistics, sys
runs = collections.defaultdict(list)
delays = []
for line in open(sys.argv[1]):
    delay, name, ns = line.split()
    if delay not in delays:
        delays.append(delay)
    runs[delay, name].append(int(ns) / 1e9)
t = lambda d, n: statistics.median(runs[d, n])
print()
print("seconds (median); ratio = their time / ours (above 1: ours faster)")
print("ours = the default transfer mode, pl = --pipelined")
head = "%8s %-4s | %9s %9s %9s %8s %8s | %9s %9s %9s %8s %8s"
print(head % ("delay ms", "mode", "ours pass", "aria2 -j5", "aria2 -j1", "j5/ours", "j1/ours",
              "ours get", "aria2 big", "curl big", "ar/ours", "curl/ours"))
for d in delays:
    j5, j1 = t(d, "aria2-j5"), t(d, "aria2-j1")
    ab, cb = t(d, "aria2-big"), t(d, "curl-big")
    for mode, suffix in (("ours", ""), ("pl", "-pl")):
        p, g = t(d, "ours-pass" + suffix), t(d, "ours-get" + suffix)
        print("%8s %-4s | %9.2f %9.2f %9.2f %8.2f %8.2f | %9.2f %9.2f %9.2f %8.2f %8.2f"
              % (d, mode, p, j5, j1, j5 / p, j1 / p, g, ab, cb, ab / g, cb / g))
PY
