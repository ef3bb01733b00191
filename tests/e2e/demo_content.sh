#!/bin/bash
# The demo deployment as demo/make-demo makes it, checked from the outside:
# its nginx configuration serves the published game with ranges and
# uncached manifests, `launcher-publish verify` accepts it, one update pass
# into an empty folder yields a folder the launcher's install check accepts
# (Client.bin, Vantrel.dll, d3dx9_43.dll, data), the server list has two
# zones, recommended, new and default servers and is served only for the
# demo's game id, and a second run publishes nothing anew.
# Exit 77 (skipped) without nginx.
# usage: demo_content.sh SOURCE_DIR TOOLS_BUILD_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
. "$(dirname "$0")/e2e-lib.sh"
e2e_begin
query="$src/tests/e2e/serverlist-query"
demo="$work/demo"
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  if [ -f "$demo/nginx.pid" ]; then kill "$(cat "$demo/nginx.pid")" 2>/dev/null || true; fi
  e2e_end
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$src/demo/make-demo" --tools "$build" --out "$demo" --port "$port" > "$work/make1.log" 2>&1 ||
  { cat "$work/make1.log"; fail "make-demo failed"; }
grep -q '^update.json: ' "$work/make1.log" || { cat "$work/make1.log"; fail "no game manifest published"; }

# Ten values; every address on the demo's port.
mapfile -t values < <(grep -v '^[[:space:]]*$' "$demo/urls.txt")
[ "${#values[@]}" -eq 10 ] || fail "urls.txt holds ${#values[@]} values"
for i in 3 4 5 6 7 8 9; do
  [[ "${values[$i]}" == "http://127.0.0.1:$port/"* ]] || fail "value $i is not on 127.0.0.1:$port: ${values[$i]}"
done
[[ "${values[3]}" == */ ]] || fail "the game patch address does not end in /, the package would be missed"
hub=${values[1]}

nginx -p "$demo/" -c "$demo/nginx.conf" -e "$demo/logs/error.log" || fail "nginx refused the demo configuration"
for _ in $(seq 50); do [ -s "$demo/nginx.pid" ] && break; sleep 0.1; done
base="http://127.0.0.1:$port/patch/"

# Served as the launcher needs it.
curl -sS -D - -o /dev/null "${base}update.json" | grep -qi '^Cache-Control: no-cache' ||
  fail "update.json may be cached"
range=$(curl -sS -o /dev/null -H 'Range: Bytes=0-0' -w '%{http_code} %header{content-range}' "${base}data/maps/demo.pak")
[ "$range" = "206 bytes 0-0/$((6 << 20))" ] || fail "one-byte range answered with: $range"
"$build/tools/launcher-publish/launcher-publish" verify --base "$base" > "$work/verify.log" 2>&1 ||
  { cat "$work/verify.log"; fail "verify found problems"; }
grep -q ' checked, 0 problem' "$work/verify.log" || { cat "$work/verify.log"; fail "verify printed no summary"; }

# One pass into an empty folder: what the install check needs is there.
mkdir -p "$work/player"
"$build/tools/launcher-update/launcher-update" pass --dir "$work/player" --base "$base" --pass 0 > "$work/pass.log" 2>&1 ||
  { cat "$work/pass.log"; fail "the update pass failed"; }
for f in Client.bin Vantrel.dll d3dx9_43.dll; do
  [ -f "$work/player/$f" ] || fail "$f missing after the pass"
done
[ -d "$work/player/data" ] || fail "no data folder after the pass"
(cd "$demo/game" && find . -type f -print0 | sort -z | xargs -0 md5sum) > "$work/game.md5"
(cd "$work/player" && md5sum -c --quiet "$work/game.md5") || fail "installed files differ from the demo game"
echo "pass 0: $(wc -l < "$work/game.md5") files installed, install check files present"

# The server list, served for the demo's game id only.
ip="127.0.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))"
"$build/tools/serverlist-service/serverlist-service" --list "$demo/servers.json" --bind "$ip" --hub "$hub" \
  > "$work/service.log" 2>&1 &
service_pid=$!
list=""
for _ in $(seq 20); do
  list=$("$query" "$ip" "$hub" --timeout 0.5 2>/dev/null) && break
  kill -0 "$service_pid" 2>/dev/null || { cat "$work/service.log"; fail "serverlist-service ended"; }
done
[ -n "$list" ] || fail "no server list from $ip"
python3 - "$list" <<'EOF' || fail "the demo's server list lacks something"
import json, sys
servers = json.loads(sys.argv[1])["server"]
shown = [s for s in servers if not s.get("test")]
zones = {s.get("member") for s in shown}
assert len(zones) == 2, zones
recommended = [s for s in shown if s.get("recommend", 0) & 0xFF == 2]
assert recommended and any(s.get("default", 0) > 0 for s in recommended), "no default among the recommended"
assert any(s.get("recommend", 0) & 0xFF not in (0, 2) for s in shown), "no new server"
assert len({s["id"] for s in servers}) == len(servers), "duplicate ids"
print("server list: %d servers, zones %s, %d recommended" % (len(shown), sorted(zones), len(recommended)))
EOF
if "$query" "$ip" "$((hub + 1))" --timeout 0.5 > /dev/null 2>&1; then fail "answered another game id"; fi

# Nothing changed: a second run reads and writes nothing.
"$src/demo/make-demo" --tools "$build" --out "$demo" --port "$port" > "$work/make2.log" 2>&1 ||
  { cat "$work/make2.log"; fail "second make-demo failed"; }
grep -q '^update.json: .*(0 hashed, 0 written)' "$work/make2.log" || { cat "$work/make2.log"; fail "second run published again"; }
echo "PASS: demo deployment served, verified, installed and listed"
