#!/bin/bash
# Runs docs/operator-guide.md: every ```sh block, in order, in one shell,
# against a scratch deployment folder with nginx on 127.0.0.1 and the
# server-list service on a loopback address. Each block must be marked
# "<!-- run: NAME [needs=launcher|make-skin] [system=nginx|systemd] -->";
# an unmarked block fails the test, so nothing in the guide goes untried.
#   needs=X    runs when X is part of the checkout; otherwise the step is
#              reported as skipped, a stand-in takes the place of its output
#              so the later steps still run, and the test ends with 77.
#   system=X   changes the host's own nginx or systemd: the test does the
#              same with its private nginx (the guide's configuration file)
#              or runs the unit's ExecStart line itself, and says so.
# After the guide, a corrupted served file must make `verify` fail.
# Exit 0 when every step ran, 77 (skipped) without nginx or with steps
# skipped, 1 on a failure (the failing step is named).
# usage: operator_guide.sh SOURCE_DIR
set -euo pipefail
src=$(cd "$1" && pwd)
guide="$src/docs/operator-guide.md"
. "$(dirname "$0")/e2e-lib.sh"
e2e_begin
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  e2e_end
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE

# ---- the guide's blocks -----------------------------------------------------
mkdir -p "$work/steps"
awk -v dir="$work/steps" '
  /^<!-- run: .* -->$/ { sub(/^<!-- run: /, ""); sub(/ -->$/, ""); pending = $0; next }
  /^```sh$/ {
    if (pending == "") { printf "unmarked command block at line %d\n", NR > "/dev/stderr"; bad = 1; next }
    n++; file = sprintf("%s/%02d.sh", dir, n); print pending > (dir "/" sprintf("%02d", n) ".name")
    inblock = 1; pending = ""; next
  }
  /^```$/ { if (inblock) { close(file); inblock = 0 } next }
  inblock { print > file }
  END { if (bad) exit 1 }
' "$guide" || fail "the guide has command blocks without a run marker"
count=$(ls "$work/steps"/*.sh | wc -l)
[ "$count" -ge 10 ] || fail "only $count command blocks found in the guide"

# ---- the test's side: scratch folders, ports, stand-ins -----------------------
deploy="$work/deploy"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# A loopback address of its own for UDP 30000, so parallel runs do not meet.
serverlist_ip="127.0.$((RANDOM % 200 + 20)).$((RANDOM % 200 + 20))"

make_game() {
  local g=$1
  mkdir -p "$g/data/maps" "$g/data/ui"
  head -c 300000 /dev/urandom > "$g/Client.bin"
  head -c 5000 /dev/urandom > "$g/Vantrel.dll"
  head -c 7000 /dev/urandom > "$g/d3dx9_43.dll"
  head -c 2500000 /dev/urandom > "$g/data/maps/field.pak"
  seq 1 50000 > "$g/data/ui/strings.txt"
  printf 'first release\n' > "$g/data/notes.txt"
}

# Stand-in skin: 33 small PNGs and 19 positions, for a checkout without the
# skin generator.
stand_in_skin() {
  local dir=$1 name
  mkdir -p "$dir"
  for name in background btn_cz_normal btn_gw_normal btn_lt_normal btn_start_normal btn_zc_normal cb_normal \
    close_normal frm_login min_normal pic_slogan Progress_bk Progress_all server_bk_active server_bk_normal \
    server_new btn_cz_active btn_cz_down btn_gw_active btn_gw_down btn_lt_active btn_lt_down btn_start_active \
    btn_start_disable btn_start_down btn_zc_active btn_zc_down cb_active cb_down close_active close_down \
    min_active min_down; do
    /usr/bin/convert -size 8x8 xc:'#336699' "$dir/$name.png"
  done
  for _ in $(seq 19); do echo "10 10 40 20"; done > "$dir/positions.txt"
}

cat > "$work/hooks.sh" <<HOOKS
set -euo pipefail
export SRC="$src" DEPLOY="$deploy" GAME="$deploy/game" PATCH_HOST="127.0.0.1:$port"
export WEB_HOST="127.0.0.1:$port" SERVERLIST_HOST="serverlist.invalid" SERVERLIST_IP="$serverlist_ip"
export SERVERLIST_BIND="$serverlist_ip" NGINX_LISTEN="127.0.0.1:$port"
# The deployment builds share compiler results with the developer builds.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=true
fi
skipped=""
$(declare -f make_game stand_in_skin fail)
# A throwaway code-signing certificate, so the guide's signing steps run.
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway guide signer" \
    -keyout "$work/sign-key.pem" -out "$work/sign-cert.pem" >/dev/null 2>&1 || fail "openssl made no certificate"
  export SIGN_CERT="$work/sign-cert.pem" SIGN_KEY="$work/sign-key.pem"
fi
has_launcher_target() {
  # grep reads the whole list: a grep -q that quits at the first match
  # would end ninja with SIGPIPE, which pipefail counts as no target.
  ninja -C "\$LAUNCHER_BUILD" -t targets all 2>/dev/null | grep '^launcher:' >/dev/null
}
start_nginx() {
  cat > "$work/nginx.conf" <<CONF
daemon on; pid $work/nginx.pid; error_log $work/logs/error.log;
events {}
http { access_log $work/logs/access.log; include \$DEPLOY/nginx/launcher.conf; }
CONF
  nginx -e "$work/logs/error.log" -p "$work/" -c "$work/nginx.conf" || fail "nginx refused the guide's configuration"
  for _ in \$(seq 50); do [ -s "$work/nginx.pid" ] && return 0; sleep 0.1; done
  fail "nginx did not start"
}
start_service() {
  local line
  line=\$(sed -n 's/^ExecStart=//p' "\$DEPLOY/serverlist.service")
  [ -n "\$line" ] || fail "the unit has no ExecStart line"
  \$line > "$work/logs/serverlist.log" 2>&1 &
  echo \$! > "$work/serverlist.pid"
  sleep 0.5
  kill -0 "\$(cat "$work/serverlist.pid")" || { cat "$work/logs/serverlist.log"; fail "the service did not stay up"; }
}
HOOKS

make_game "$deploy/game"
runner="$work/run.sh"
cp "$work/hooks.sh" "$runner"
for block in "$work/steps"/*.sh; do
  step_line=$(cat "${block%.sh}.name")
  name=${step_line%% *}
  {
    echo "echo '== step $name'"
    case " $step_line " in
      *" needs=launcher "*)
        echo 'if has_launcher_target; then'
        cat "$block"
        echo 'else'
        echo "  echo 'SKIP step $name: this checkout has no launcher program yet (no CMake target \"launcher\");'"
        echo "  echo '     a stand-in file takes the place of launcher.exe for the packing and publishing steps'"
        echo '  mkdir -p "$LAUNCHER_BUILD/launcher" && head -c 65536 /dev/urandom > "$LAUNCHER_BUILD/launcher/launcher.exe"'
        echo '  SIGN_CERT=""  # the stand-in is no executable to sign'
        echo "  skipped=\"\$skipped $name\""
        echo 'fi'
        ;;
      *" needs=make-skin "*)
        echo 'if [ -x "$SRC/demo/skin/make-skin" ]; then'
        cat "$block"
        echo 'else'
        echo "  echo 'SKIP step $name: demo/skin/make-skin is not part of this checkout yet; a plain stand-in skin is used'"
        echo '  stand_in_skin "$DEPLOY/skin"'
        echo "  skipped=\"\$skipped $name\""
        echo 'fi'
        ;;
      *" system=nginx "*)
        echo "echo 'not run here (changes the host): the test starts its own nginx with \$DEPLOY/nginx/launcher.conf'"
        echo 'start_nginx'
        ;;
      *" system=systemd "*)
        echo "echo 'not run here (changes the host): the test runs the unit'\''s ExecStart line itself'"
        echo 'start_service'
        ;;
      *) cat "$block" ;;
    esac
    echo "echo '-- step $name: ok'"
  } >> "$runner"
done
echo 'echo "$skipped" > "'"$work"'/skipped"' >> "$runner"

set +e
bash "$runner" > "$work/run.log" 2>&1
code=$?
set -e
[ -f "$work/serverlist.pid" ] && service_pid=$(cat "$work/serverlist.pid")
cat "$work/run.log"
if [ "$code" -ne 0 ]; then
  step=$(grep '^== step ' "$work/run.log" | tail -n 1 | cut -d' ' -f3)
  [ -f "$work/logs/error.log" ] && tail -n 5 "$work/logs/error.log"
  fail "the guide's step '$step' failed (exit $code)"
fi
ran=$(grep -c "^-- step .*: ok$" "$work/run.log" || true)
[ "$ran" -eq "$count" ] || fail "$ran of $count steps ran"

# ---- beyond the guide: verify must catch a wrong file --------------------------
tools="$src/out/deploy-tools/tools"
grep -q '^Cache-Control: no-cache' <(curl -sS -D - -o /dev/null "http://127.0.0.1:$port/launcher/updateL.json") ||
  fail "updateL.json is served without no-cache"
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/patch/.publish-cache")" = 404 ] ||
  fail "the publisher's cache file is served"
printf 'X' | dd of="$deploy/www/patch/Client.bin" bs=1 seek=1000 conv=notrunc 2>/dev/null
if "$tools/launcher-publish/launcher-publish" verify --base "http://127.0.0.1:$port/patch/" > "$work/verify-bad.log" 2>&1; then
  fail "verify passed with a corrupted Client.bin"
fi
grep -q 'Client.bin' "$work/verify-bad.log" || { cat "$work/verify-bad.log"; fail "verify did not name Client.bin"; }
echo "verify names the corrupted file: $(grep -m1 Client.bin "$work/verify-bad.log")"

skipped=$(cat "$work/skipped")
if [ -n "${skipped// /}" ]; then
  echo "SKIPPED: $count steps, not run for want of their program:$skipped"
  exit 77
fi
echo "PASS: all $count steps of the guide ran"
