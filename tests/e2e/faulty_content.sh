#!/bin/bash
# The update engine against a content server that misbehaves on ranges
# (tests/e2e/faulty-http in front of the demo deployment), run with
# launcher-update's pass, which drives the launcher's own update thread:
#   1. connections dropped half-way and Content-Range answers for another
#      range: the pass still ends with every file right;
#   2. ranges answered with the wrong bytes under the right header (only the
#      digest can tell): the pass fails and names the file, the local
#      state records every file with the digest of what is on disk (so a
#      wrong file is never taken for the published one), and the next
#      pass against an honest server fetches that file alone and ends right.
# usage: faulty_content.sh SOURCE_DIR NATIVE_BUILD
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$(dirname "$0")/e2e-lib.sh"
e2e_begin
peer_pid=""
cleanup() {
  if [ -n "$peer_pid" ]; then kill "$peer_pid" 2>/dev/null || true; wait "$peer_pid" 2>/dev/null || true; fi
  [ -n "${LG_KEEP:-}" ] && { echo "kept $work"; return; }
  e2e_end
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE
update="$build/tools/launcher-update/launcher-update"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$src/demo/make-demo" --tools "$build" --out "$work/demo" --port "$port" > "$work/make.log" 2>&1 ||
  { cat "$work/make.log"; fail "make-demo failed"; }
(cd "$work/demo/game" && find . -type f -print0 | sort -z | xargs -0 md5sum) > "$work/game.md5"

start_peer() {
  "$src/tests/e2e/faulty-http" "$work/demo/www" "$port" "$@" > "$work/peer.log" 2>&1 &
  peer_pid=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0; sleep 0.1; done
  fail "the faulty server did not start"
}
stop_peer() { kill "$peer_pid"; wait "$peer_pid" 2>/dev/null || true; peer_pid=""; }
faults() { grep -c -E 'dropped|shifted|another range' "$work/peer.log" || true; }
base="http://127.0.0.1:$port/patch/"

# 1. Faults the transport can see.
mkdir -p "$work/p1"
start_peer --drop-every 3 --lie-every 4
timeout 300 "$update" pass --dir "$work/p1" --base "$base" --pass 0 > "$work/pass1.log" 2>&1 ||
  { tail -n 20 "$work/pass1.log"; fail "the pass failed against dropped connections and wrong ranges"; }
stop_peer
[ "$(faults)" -gt 3 ] || fail "the server injected only $(faults) faults"
(cd "$work/p1" && md5sum -c --quiet "$work/game.md5") || fail "a wrong file after dropped connections and wrong ranges"
echo "dropped and mislabelled ranges: $(faults) faults, every file right"

# 2. Wrong bytes under a right header.
mkdir -p "$work/p2"
start_peer --shift-every 2
if timeout 300 "$update" pass --dir "$work/p2" --base "$base" --pass 0 > "$work/pass2.log" 2>&1; then
  fail "the pass reported success although every second range had wrong bytes"
fi
stop_peer
[ "$(faults)" -gt 0 ] || fail "no range was shifted"
grep -q 'failed: data\\maps\\demo.pak' "$work/pass2.log" || { tail -n 20 "$work/pass2.log"; fail "the failing file is not named"; }
# Whatever the state file records as verified must be what is on disk.
state="$work/p2/data/update0.local"
if [ -f "$state" ]; then
  tr -d '\r' < "$state" | while IFS='=' read -r name value; do
    digest=${value%%-*}
    file="$work/p2/${name//\\//}"
    [ -f "$file" ] || continue
    [ "$(md5sum < "$file" | cut -d' ' -f1)" = "$digest" ] || fail "$name is recorded as $digest but holds other bytes"
  done
fi
echo "wrong bytes: the pass failed and named data\\maps\\demo.pak; the local state matches the disk"

# The next pass against an honest server repairs exactly that file.
e2e_nginx "$work/demo/www" '$request_uri'   # sets $port to nginx's
honest="http://127.0.0.1:$port/patch/"
timeout 300 "$update" pass --dir "$work/p2" --base "$honest" --pass 0 > "$work/pass3.log" 2>&1 ||
  { tail -n 20 "$work/pass3.log"; fail "the repairing pass failed"; }
(cd "$work/p2" && md5sum -c --quiet "$work/game.md5") || fail "files still wrong after the repairing pass"
fetched=$(grep -v 'update.json$' "$work/logs/access.log" | sort -u | tr '\n' ' ')
[ "$fetched" = "/patch//data/maps/demo.pak " ] || fail "the repairing pass fetched: ${fetched:-nothing}"
echo "PASS: the repairing pass fetched only $fetched"
