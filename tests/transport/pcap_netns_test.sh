#!/usr/bin/env bash
# Runs the pcap link tests inside a namespace of their own on a fresh veth pair (root).
# Usage: pcap_netns_test.sh TEST_BINARY        (exit 77 = skipped)
set -euo pipefail
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 77; }
ns=tvt-trp-$$
cleanup() { ip netns del "$ns" 2>/dev/null || true; }
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link add tvtpc type veth peer name tvtpa
for dev in lo tvtpc tvtpa; do ip -n "$ns" link set "$dev" up; done
sleep 0.2
ip netns exec "$ns" env TVT_PCAP_DEVICES=tvtpc,tvtpa "$1" --gtest_brief=1
