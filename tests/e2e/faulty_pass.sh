#!/bin/bash
# Whole update passes through a proxy that breaks answers (faulty-proxy in
# front of nginx): connections dropped in the middle of a body, stalls, a
# 200 with the whole file for a range, a Content-Range for another range, a
# gzip body cut short, 503 for a while. One fault at a time, each in a
# fresh install folder: the pass ends with every file right or with a clean
# failure (exit 1 or 2 and the reason in the update log), never a wrong file
# under its final name; the next pass against nginx itself completes with
# every file right and no helper file left.
# Exit 77 (skipped) without nginx.
# usage: faulty_pass.sh LAUNCHER_PUBLISH LAUNCHER_UPDATE
set -u
publish=$(readlink -f "$1")
update=$(readlink -f "$2")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e-lib.sh"
. "$here/pass-lib.sh"
e2e_begin
proxy_pid=""
cleanup() {
  if [ -n "$proxy_pid" ]; then kill "$proxy_pid" 2> /dev/null; wait "$proxy_pid" 2> /dev/null; fi
  e2e_end
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP PIPE
began=$(date +%s%N)

game="$work/game" www="$work/www"
mkdir -p "$www"
pass_make_game "$game" 6
pass_publish "$game" "$www/patch"
e2e_nginx "$www" "$PASS_LOG_FORMAT"
nginx_port=$port

start_proxy() {
  proxy_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "$here/faulty-proxy" "$proxy_port" "$nginx_port" "$@" > "$work/proxy.log" 2>&1 &
  proxy_pid=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$proxy_port/patch/update.json" && return 0; sleep 0.1; done
  fail "the proxy did not start"
}
stop_proxy() { kill "$proxy_pid"; wait "$proxy_pid" 2> /dev/null; proxy_pid=""; }

# What the update log says about a failure: the server's status, the
# downloader's reason, the digest check, the manifest fetch.
reasons='503 [A-Za-z ]*|Content-Range [A-Za-z0-9<>]*|ignored the range|for another file|Length Error|inflating|could not be fetched|no worker left|MD5值不正确|下载配置文件失败'

# One case: a pass through the proxy, then one against nginx.
run_case() {
  local name=$1 install="$work/install-$1" code outcome
  shift
  mkdir -p "$install"
  start_proxy "$@"
  # The proxy's own first request (the start check) counts for --busy-after.
  timeout 300 "$update" pass --dir "$install" --base "http://127.0.0.1:$proxy_port/patch/" --pass 0 "${pass_args[@]}" \
    > "$work/$name.faulty.log" 2>&1
  code=$?
  stop_proxy
  local faults
  faults=$(grep -c -v 'passed on' "$work/proxy.log")
  pass_final_files_right "$install"
  case $code in
    0)
      pass_tree_equal "$install"
      outcome="every file right"
      ;;
    1 | 2)
      # A named failure: the failing file, the manifest, or the reason.
      local reason
      reason=$(grep -a -m1 -E 'failed: |the update pass failed' "$work/$name.faulty.log")
      [ -n "$reason" ] || { cat "$work/$name.faulty.log"; fail "$name: exit $code without a reason"; }
      iconv -f gbk -t utf-8 "$install/UpdateLog.txt" > "$work/$name.updatelog" 2> /dev/null ||
        cp "$install/UpdateLog.txt" "$work/$name.updatelog"
      local said
      said=$(grep -a -o -m1 -E "$reasons" "$work/$name.updatelog") || { tail -n 20 "$work/$name.updatelog"; fail "$name: the update log does not say what failed"; }
      outcome="clean failure (exit $code: $reason; log: $said)"
      ;;
    *) tail -n 20 "$work/$name.faulty.log"; fail "$name: the pass ended with $code" ;;
  esac
  [ "$faults" -gt 0 ] || fail "$name: the proxy injected no fault"
  "$update" pass --dir "$install" --base "http://127.0.0.1:$nginx_port/patch/" --pass 0 "${pass_args[@]}" > "$work/$name.healthy.log" 2>&1 ||
    { tail -n 20 "$work/$name.healthy.log"; fail "$name: the pass against nginx failed"; }
  pass_tree_equal "$install"
  local strays
  strays=$(pass_strays "$install")
  [ -z "$strays" ] || fail "$name: helper files left behind: $strays"
  echo "$name: $faults faults; $outcome; the next pass against nginx completed"
}

run_case drop --fault drop --every 3
run_case stall --fault stall --every 40 --stall-ms 12000
run_case whole --fault whole --every 4
run_case lie --fault lie --every 3
run_case gzip-cut --fault gzip-cut --every 5 --min-size 20000
run_case busy-start --busy-ms 3000
run_case busy-midway --busy-ms 2500 --busy-after 120
echo "PASS: $(((($(date +%s%N) - began)) / 1000000)) ms"
