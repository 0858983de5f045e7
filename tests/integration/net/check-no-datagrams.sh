#!/usr/bin/env bash
# Runs the discovery tests in a network namespace of their own, where a veth
# pair stands in for the network, and fails when any packet goes out through
# it: no test may send anything off this machine. Nothing can leave the
# namespace; the capture on the stand-in interface shows what would have.
#
# usage: check-no-datagrams.sh PROGRAM FILTER [PROGRAM FILTER ...]
#   each PROGRAM a GoogleTest executable, FILTER its --gtest_filter
# Exit 77 (skipped) when not root or without unshare, ip or tcpdump.
set -euo pipefail

skip() {
  echo "SKIPPED: $1; the check that no test sends a datagram off this machine did not run"
  exit 77
}

if [[ -z ${GLOWMERE_OWN_NETNS:-} ]]; then
  [[ $(id -u) -eq 0 ]] || skip "it needs root (a network namespace of its own)"
  for tool in unshare ip tcpdump; do
    command -v "$tool" >/dev/null || skip "'$tool' is not installed (scripts/setup installs it)"
  done
  unshare --net true 2>/dev/null || skip "unshare --net is not allowed here"
  exec unshare --net env GLOWMERE_OWN_NETNS=1 "$0" "$@"
fi

(($# >= 2 && $# % 2 == 0)) || { echo "usage: $0 PROGRAM FILTER [PROGRAM FILTER ...]" >&2; exit 2; }

# The stand-in network: no IPv6 (its own announcements would be captured),
# loopback up, an address on v0, the default and multicast routes through it.
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
ip link set lo up
ip link add v0 type veth peer name v1
ip addr add 192.0.2.1/24 dev v0
ip link set v1 up
ip link set v0 up
ip route add default via 192.0.2.254 dev v0
ip route add 224.0.0.0/4 dev v0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tcpdump -i v0 -n -U -w "$work/v0.pcap" 2>"$work/tcpdump.log" &
capture=$!
for _ in $(seq 100); do
  grep -q "listening on v0" "$work/tcpdump.log" && break
  sleep 0.05
done
grep -q "listening on v0" "$work/tcpdump.log" || { cat "$work/tcpdump.log"; echo "FAIL: tcpdump did not start"; exit 1; }

failed=0
while (($#)); do
  program=$1 filter=$2
  shift 2
  if ! "$program" --gtest_filter="$filter" >"$work/run.log" 2>&1; then
    cat "$work/run.log"
    echo "FAIL: $(basename "$program") $filter failed in a network namespace of its own"
    failed=1
  elif ! grep -Eq '^\[  PASSED  \] [1-9][0-9]* test' "$work/run.log"; then
    echo "FAIL: no test of $(basename "$program") matches $filter"
    failed=1
  else
    grep -E '^\[       OK \]' "$work/run.log"
  fi
done

# Let the last packets reach the capture file, then end it.
sleep 0.2
kill -INT "$capture"
wait "$capture" || true
packets=$(tcpdump -r "$work/v0.pcap" -n 2>/dev/null | tee "$work/v0.txt" | wc -l)
if ((packets > 0)); then
  echo "FAIL: $packets packet(s) went out through the stand-in network interface:"
  head -20 "$work/v0.txt"
  exit 1
fi
echo "no packet went out through the stand-in network interface"
exit "$failed"
