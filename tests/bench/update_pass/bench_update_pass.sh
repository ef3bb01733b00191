#!/bin/bash
# One update pass over a published game folder of FILES files (mixed sizes,
# about MB megabytes in all, every tenth file zipped), served by nginx on
# 127.0.0.1: the first pass (everything downloaded) and the second (nothing
# to do), against aria2c fetching the same served files from a list with
# the same connection count (five per file, one file at a time).
# usage: bench_update_pass.sh OUT_DIR [FILES=2000] [MB=500]
#   OUT_DIR: a native build folder (out/native)
set -eu
out=$(cd "$1" && pwd)
files=${2:-2000}
mb=${3:-500}
publish="$out/tools/launcher-publish/launcher-publish"
update="$out/tools/launcher-update/launcher-update"
. "$(dirname "$0")/../../e2e/e2e-lib.sh"
e2e_begin

game="$work/game" www="$work/www"
mkdir -p "$game" "$www" "$work/install"
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

seconds() { python3 -c "import sys; print('%.2f' % ((int(sys.argv[2]) - int(sys.argv[1])) / 1e9))" "$1" "$2"; }

t0=$(date +%s%N)
"$update" pass --dir "$work/install" --base "$base" --pass 0 > "$work/pass1.log" 2>&1 || { tail "$work/pass1.log"; fail "first pass"; }
t1=$(date +%s%N)
"$update" pass --dir "$work/install" --base "$base" --pass 0 > "$work/pass2.log" 2>&1 || fail "second pass"
t2=$(date +%s%N)

# The same served files for aria2c: every manifest entry's URL.
(cd "$www" && find . -type f ! -name 'update.json' ! -name '.publish-cache*' | sed "s|^\.|$base|") > "$work/urls.txt"
mkdir -p "$work/aria"
t3=$(date +%s%N)
aria2c -q -i "$work/urls.txt" -d "$work/aria" -j 1 -x 5 -s 5 -k 1M --allow-overwrite=true --auto-file-renaming=false
t4=$(date +%s%N)

bytes=$(du -sb --exclude='.publish-cache*' "$www" | cut -f1)
echo "files: $files, served: $((bytes / 1000000)) MB"
echo "first pass:  $(seconds "$t0" "$t1") s (everything downloaded, unpacked and verified)"
echo "second pass: $(seconds "$t1" "$t2") s (nothing to do)"
echo "aria2c -i (-j1 -x5 -s5 -k1M): $(seconds "$t3" "$t4") s (download only)"
python3 -c "import sys; print('ratio aria2c time / first pass: %.2f' % ((int(sys.argv[4]) - int(sys.argv[3])) / (int(sys.argv[2]) - int(sys.argv[1]))))" "$t0" "$t1" "$t3" "$t4"
