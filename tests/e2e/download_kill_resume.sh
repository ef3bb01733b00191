#!/bin/bash
# A download stopped every way a process can stop still ends with the
# server's exact file, and a killed run never leaves a wrong file under the
# final name. Serves a file of MIB MiB (default 200) from nginx on
# 127.0.0.1, then runs `launcher-update get` with five connections:
#   1. stopped with SIGINT half-way (orderly: the state file is saved),
#   2. resumed and killed with SIGKILL half-way, several times,
#   3. run to the end: exit 0 and the right MD5.
# Exit 77 (skipped) without nginx.
# usage: download_kill_resume.sh LAUNCHER_UPDATE [MIB]
set -u
tool=$1
mib=${2:-200}
. "$(dirname "$0")/e2e-lib.sh"
e2e_begin

mkdir -p "$work/www" "$work/out"
head -c $((mib << 20)) /dev/urandom > "$work/www/big.bin"
chmod 644 "$work/www/big.bin"
want=$(md5sum < "$work/www/big.bin" | cut -d' ' -f1)
e2e_nginx "$work/www"
url="http://127.0.0.1:$port/big.bin"
final="$work/out/big.bin"

# Starts the tool and sends `signal` once at least `bytes` reached the data file.
run_and_stop() {
  local signal=$1 bytes=$2
  "$tool" get "$url" --dir "$work/out" --connections 5 > "$work/run.log" 2>&1 &
  local pid=$!
  for _ in $(seq 2000); do
    local have
    have=$(stat -c %s "$work/out/big.bin.!tmp" 2>/dev/null || echo 0)
    [ "$have" -ge "$bytes" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.005
  done
  kill -"$signal" "$pid" 2>/dev/null
  wait "$pid"
  local code=$?
  if [ -e "$final" ]; then
    # Finished before the signal arrived: then it must be the right file.
    [ "$code" -eq 0 ] || fail "exit $code with a final file present"
    [ "$(md5sum < "$final" | cut -d' ' -f1)" = "$want" ] || fail "wrong file reported as done"
    echo "run finished before $signal"
    rm -f "$final"
  else
    [ "$code" -ne 0 ] || fail "exit 0 without the file"
    echo "stopped with $signal (exit $code) after >= $bytes bytes"
  fi
}

size=$((mib << 20))
run_and_stop INT $((size / 3))
grep -q '^\[Chunks\]' "$work/out/big.bin.!dl" 2>/dev/null && echo "state saved with ranges" ||
  echo "note: no ranges saved (finished or not started)"
run_and_stop KILL $((size / 2))
run_and_stop KILL $((size * 3 / 4))

start=$(date +%s%N)
"$tool" get "$url" --dir "$work/out" --connections 5 > "$work/run.log" 2>&1 || { cat "$work/run.log"; fail "final run failed"; }
end=$(date +%s%N)
[ "$(md5sum < "$final" | cut -d' ' -f1)" = "$want" ] || fail "final file has the wrong MD5"
[ ! -e "$work/out/big.bin.!tmp" ] && [ ! -e "$work/out/big.bin.!dl" ] || fail "data or state file left behind"
echo "PASS: ${mib} MiB, final run $(( (end - start) / 1000000 )) ms"
