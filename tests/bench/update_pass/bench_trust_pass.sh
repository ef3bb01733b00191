#!/bin/bash
# What the update key costs on a second pass (nothing to do) over FILES
# files served by nginx on 127.0.0.1: the same signed publication, one
# installation updated without the key and one with it (signature fetched
# and verified, SHA-256 of every entry compared from the trust file), timed
# alternately ROUNDS times each. Prints the medians and the key's share.
# usage: bench_trust_pass.sh OUT_DIR [FILES=20000] [ROUNDS=7]
#   OUT_DIR: a native build folder (out/native)
set -eu
out=$(cd "$1" && pwd)
files=${2:-20000}
rounds=${3:-7}
publish="$out/tools/launcher-publish/launcher-publish"
update="$out/tools/launcher-update/launcher-update"
. "$(dirname "$0")/../../e2e/e2e-lib.sh"
e2e_begin

game="$work/game" www="$work/www"
mkdir -p "$game" "$www" "$work/plain" "$work/keyed"
python3 - "$game" "$files" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "data", "pack%02d" % (i % 40))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        f.write(b"%d" % i * (1 + i % 50))
PY
"$publish" keygen "$work/update.key" > /dev/null
"$publish" --src "$game" --out "$www" --sign "$work/update.key" > "$work/publish.log"
chmod -R a+rX "$www"
e2e_nginx "$www"
base="http://127.0.0.1:$port"

pass() {  # pass DIR [extra args]
  local dir=$1
  shift
  "$update" pass --dir "$dir" --base "$base" --pass 0 "$@" > "$work/pass.log" 2>&1 || { tail "$work/pass.log"; fail "pass in $dir"; }
}
pass "$work/plain"
pass "$work/keyed" --public-key "$work/update.key.pub"
grep -q '^#sequence [1-9]' "$work/keyed/data/update0.trust" || fail "the keyed pass kept no sequence"

plain=() keyed=()
timed() {  # timed DIR [extra args]: the pass's wall time in ns
  local t0
  t0=$(date +%s%N)
  pass "$@"
  echo $(($(date +%s%N) - t0))
}
# Each round swaps which installation goes first, so that neither always
# runs on the state the other left.
for round in $(seq "$rounds"); do
  if ((round % 2)); then
    p=$(timed "$work/plain") k=$(timed "$work/keyed" --public-key "$work/update.key.pub")
  else
    k=$(timed "$work/keyed" --public-key "$work/update.key.pub") p=$(timed "$work/plain")
  fi
  plain+=("$p") keyed+=("$k")
done
python3 - "$files" "${plain[*]}" "${keyed[*]}" <<'PY'
import statistics, sys
files = sys.argv[1]
plain = [int(x) / 1e9 for x in sys.argv[2].split()]
keyed = [int(x) / 1e9 for x in sys.argv[3].split()]
p, k = statistics.median(plain), statistics.median(keyed)
print("files: %s, rounds: %d" % (files, len(plain)))
print("second pass without key: median %.3f s  (%s)" % (p, " ".join("%.3f" % x for x in plain)))
print("second pass with key:    median %.3f s  (%s)" % (k, " ".join("%.3f" % x for x in keyed)))
print("key's share of the pass: %+.1f %%" % ((k - p) / p * 100))
# Runs of one round share the machine's state, so the median of the
# per-round differences shows the key's cost with less of the drift.
paired = sorted(b - a for a, b in zip(plain, keyed))
d = statistics.median(paired)
print("per-round difference: median %+.1f ms (%+.1f %%), middle half %+.1f .. %+.1f ms"
      % (d * 1e3, d / p * 100, paired[len(paired) // 4] * 1e3, paired[(3 * len(paired)) // 4] * 1e3))
PY
