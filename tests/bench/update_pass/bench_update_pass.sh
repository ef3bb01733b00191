#!/bin/bash
# One update pass over a published game folder of FILES files (mixed sizes,
# about MB megabytes in all, every tenth file zipped), served by nginx on
# 127.0.0.1: the first pass (everything downloaded) and the second (nothing
# to do), against aria2c fetching the same served files from a list with
# the same connection count (five per file, one file at a time). ROUNDS
# rounds, each into fresh folders after a sync, the two tools taking turns
# at going first (both write hundreds of megabytes, and the one that runs
# second would otherwise share the disk with the first one's write-back);
# medians, the rounds' own ratios and the pass's peak memory are printed.
# Every run's folder is kept until the end (about 2 x ROUNDS x MB on the
# disk): a folder of thousands of files deleted just before a run makes
# the file system slower at creating that run's files, more so each round.
# usage: bench_update_pass.sh OUT_DIR [FILES=2000] [MB=500] [ROUNDS=3]
#   OUT_DIR: a native build folder (out/native)
#   LG_PASS_ARGS: extra arguments for the passes (for example --pipelined)
#   LG_BENCH_SYNC=1: each timed run ends with a sync, so both tools pay for
#     putting their data on the disk (the pass syncs its large files itself)
set -eu
out=$(cd "$1" && pwd)
files=${2:-2000}
mb=${3:-500}
rounds=${4:-3}
# shellcheck disable=SC2206  # split on purpose: several arguments
pass_args=(${LG_PASS_ARGS:-})
publish="$out/tools/launcher-publish/launcher-publish"
update="$out/tools/launcher-update/launcher-update"
. "$(dirname "$0")/../../e2e/e2e-lib.sh"
e2e_begin

game="$work/game" www="$work/www"
mkdir -p "$game" "$www"
python3 - "$game" "$files" "$mb" <<'PY'
import os, random, sys
root, count, mb = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(7)
# Mostly small files and a few large ones, like a game's data folder.
weights = [random.paretovariate(1.2) for _ in range(count)]
scale = mb * 1_000_000 / sum(weights)
for i, w in enumerate(weights):
    folder = os.path.join(root, "data", "pack%02d" % (i % 40))
    os.makedirs(folder, exist_ok=True)
    ext = "dat" if i % 10 == 0 else "bin"
    size = max(1, int(w * scale))
    with open(os.path.join(folder, "f%05d.%s" % (i, ext)), "wb") as f:
        # Half random, half repeated: zipped entries compress somewhat.
        f.write(os.urandom(size // 2) + b"launcher" * ((size - size // 2) // 8 + 1))
PY
"$publish" --src "$game" --out "$www" --zip 'data/**/*.dat' > "$work/publish.log"
chmod -R a+rX "$www"
e2e_nginx "$www"
base="http://127.0.0.1:$port"

# The same served files for aria2c: every manifest entry's URL.
(cd "$www" && find . -type f ! -name 'update.json' ! -name '.publish-cache*' | sed "s|^\.|$base|") > "$work/urls.txt"

runs=0
first_pass() {  # into a fresh folder; the pass's peak memory into $work/rss
  install="$work/install-$((runs += 1))"
  mkdir -p "$install" && sync
  local t0
  t0=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$update" pass --dir "$install" --base "$base" --pass 0 "${pass_args[@]}" \
    > "$work/pass1.log" 2>&1 || { tail "$work/pass1.log"; fail "first pass"; }
  [ -z "${LG_BENCH_SYNC:-}" ] || sync
  firsts+=($(($(date +%s%N) - t0))) rss+=("$(cat "$work/rss")")
}
aria_run() {
  local aria="$work/aria-$((runs += 1))"
  mkdir -p "$aria" && sync
  local t0
  t0=$(date +%s%N)
  aria2c -q -i "$work/urls.txt" -d "$aria" -j 1 -x 5 -s 5 -k 1M --allow-overwrite=true --auto-file-renaming=false
  [ -z "${LG_BENCH_SYNC:-}" ] || sync
  arias+=($(($(date +%s%N) - t0)))
  [ "$(find "$aria" -type f | wc -l)" = "$(wc -l < "$work/urls.txt")" ] || fail "aria2c fetched not every file"
}

firsts=() arias=() rss=()
for round in $(seq "$rounds"); do
  if ((round % 2)); then first_pass; aria_run; else aria_run; first_pass; fi
done
t0=$(date +%s%N)
"$update" pass --dir "$install" --base "$base" --pass 0 "${pass_args[@]}" > "$work/pass2.log" 2>&1 || fail "second pass"
second=$(($(date +%s%N) - t0))

bytes=$(du -sb --exclude='.publish-cache*' "$www" | cut -f1)
python3 - "$files" "$((bytes / 1000000))" "${firsts[*]}" "${arias[*]}" "$second" "${rss[*]}" << 'PY'
import statistics, sys
files, mb = sys.argv[1], sys.argv[2]
ours = [int(x) / 1e9 for x in sys.argv[3].split()]
aria = [int(x) / 1e9 for x in sys.argv[4].split()]
second = int(sys.argv[5]) / 1e9
rss = [int(x) / 1024 for x in sys.argv[6].split()]
show = lambda xs: " ".join("%.2f" % x for x in xs)
print("files: %s, served: %s MB, rounds: %d" % (files, mb, len(ours)))
print("first pass:  median %.2f s (%s; everything downloaded, unpacked and verified)" % (statistics.median(ours), show(ours)))
print("second pass: %.2f s (nothing to do)" % second)
print("aria2c -i (-j1 -x5 -s5 -k1M): median %.2f s (%s; download only)" % (statistics.median(aria), show(aria)))
print("ratio aria2c time / first pass: %.2f (medians), rounds' own ratios %s"
      % (statistics.median(aria) / statistics.median(ours), show(a / o for a, o in zip(aria, ours))))
print("first pass peak memory: %.1f MiB (largest of the rounds)" % max(rss))
PY
