# Shared by the end-to-end scripts (sourced): a work folder removed on exit,
# and nginx on a free port of 127.0.0.1 serving a folder.
#   e2e_begin                 sets $work; exits 77 (skipped) without nginx
#   e2e_nginx ROOT [LOGFMT] [DIRECTIVES]
#                             starts nginx on ROOT, sets $port; with LOGFMT
#                             the access log ($work/logs/access.log) uses it;
#                             DIRECTIVES go into the server block; it
#                             listens on $nginx_host (127.0.0.1 unless
#                             set) and starts through $nginx_wrap when set
#                             (for instance "ip netns exec NS")
#   fail TEXT                 prints and exits 1

e2e_begin() {
  nginx=$(command -v nginx || echo /usr/sbin/nginx)
  [ -x "$nginx" ] || { echo "nginx not installed: skipped"; exit 77; }
  work=$(mktemp -d)
  chmod 755 "$work"
  mkdir -p "$work/logs"
  trap e2e_end EXIT
}

e2e_end() {
  [ -f "$work/nginx.pid" ] && kill "$(cat "$work/nginx.pid")" 2>/dev/null
  if [ -n "${LG_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}

fail() { echo "FAIL: $*"; exit 1; }

e2e_nginx() {
  local root=$1 format=${2:-} directives=${3:-}
  local host=${nginx_host:-127.0.0.1} wrap=${nginx_wrap:-}
  port=$($wrap python3 -c 'import socket, sys; s=socket.socket(); s.bind((sys.argv[1], 0)); print(s.getsockname()[1])' "$host")
  local access="access_log off;"
  [ -n "$format" ] && access="log_format lines '$format'; access_log $work/logs/access.log lines;"
  cat > "$work/nginx.conf" <<CONF
daemon on; pid $work/nginx.pid; error_log $work/logs/error.log;
events {}
http { $access server { listen $host:$port; root $root; $directives } }
CONF
  $wrap "$nginx" -e "$work/logs/error.log" -p "$work/" -c "$work/nginx.conf" || fail "nginx did not start"
  for _ in $(seq 50); do [ -s "$work/nginx.pid" ] && break; sleep 0.1; done
}
