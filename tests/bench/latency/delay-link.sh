# A delayed link between two network namespaces of this run (sourced):
# a TUN device in each, joined by delay_line.py. Link-local addresses only.
#   link_up DELAY_MS RATE   creates it; sets $in_server and $in_client (the
#                           command prefixes that run inside each side)
#   link_set DELAY_MS RATE  changes the delay and the rate cap (bytes/s each
#                           way, 0 = none) and waits until they are in force
#   link_ping COUNT DELAY_MS  pings the server from the client and fails
#                           unless the round trip is about twice the delay
#   link_down               removes all of it (safe to call twice) and
#                           prints what the delay line moved and dropped
# Needs $work (e2e_begin) and fail.

link_server=169.254.77.1
link_client=169.254.77.2
link_tag="lgl$$"
link_ns_server="lg-latency-$$-server"
link_ns_client="lg-latency-$$-client"
link_pid=""
link_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

link_up() {
  local dev_server="${link_tag}s" dev_client="${link_tag}c"
  echo "$1 $2" > "$work/link.settings"
  python3 "$link_dir/delay_line.py" "$dev_server" "$dev_client" "$work/link.settings" \
    > "$work/link.out" 2> "$work/link.log" &
  link_pid=$!
  for _ in $(seq 100); do grep -q '^ready' "$work/link.out" 2> /dev/null && break; sleep 0.1; done
  grep -q '^ready' "$work/link.out" || { cat "$work/link.log"; fail "the delay line did not start"; }

  ip netns add "$link_ns_server" || fail "cannot create a network namespace"
  ip netns add "$link_ns_client" || fail "cannot create a network namespace"
  in_server="ip netns exec $link_ns_server"
  in_client="ip netns exec $link_ns_client"
  ip link set dev "$dev_server" netns "$link_ns_server"
  ip link set dev "$dev_client" netns "$link_ns_client"
  # IPv4 only: no neighbour discovery crossing (or dropped by) the line.
  $in_server sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
  $in_client sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
  $in_server ip link set lo up
  $in_client ip link set lo up
  $in_server ip addr add "$link_server/30" dev "$dev_server"
  $in_client ip addr add "$link_client/30" dev "$dev_client"
  $in_server ip link set "$dev_server" up
  $in_client ip link set "$dev_client" up
  link_set "$1" "$2"
}

link_set() {
  echo "$1 $2" > "$work/link.settings"
  rm -f "$work/link.settings.applied"
  kill -HUP "$link_pid"
  for _ in $(seq 50); do [ -s "$work/link.settings.applied" ] && break; sleep 0.1; done
  [ "$(cat "$work/link.settings.applied" 2> /dev/null)" = "$1 $2" ] || fail "the delay line did not take $1 ms, $2 B/s"
}

link_ping() {
  local count=$1 delay=$2
  $in_client python3 "$link_dir/icmp_ping.py" "$link_server" "$count" > "$work/ping.out" || {
    cat "$work/ping.out"
    fail "no round trip over the delayed link"
  }
  cat "$work/ping.out"
  # Never sooner than twice the delay; later by at most a few ms of
  # scheduling (a quarter more on long delays).
  python3 - "$delay" "$(tail -n 1 "$work/ping.out")" << 'PY' || fail "the round trip is not twice the delay"
import sys
delay = float(sys.argv[1])
low, median, high = (float(x) for x in sys.argv[2].split()[2].split("/"))
expected = 2 * delay
slack = max(5.0, 0.25 * expected)
ok = low >= expected - 0.5 and median <= expected + slack
print("round trip check: expected %.0f ms, median %.2f ms: %s" % (expected, median, "ok" if ok else "WRONG"))
sys.exit(0 if ok else 1)
PY
}

link_down() {
  if [ -n "$link_pid" ]; then
    kill "$link_pid" 2> /dev/null && wait "$link_pid" 2> /dev/null || true
    link_pid=""
    # Drops show a delay line that could not keep up.
    [ -s "$work/link.log" ] && echo "delay line: $(paste -sd ';' "$work/link.log")"
  fi
  # Only this run's namespaces (their TUN devices go with the delay line).
  ip netns del "$link_ns_server" 2> /dev/null || true
  ip netns del "$link_ns_client" 2> /dev/null || true
}
