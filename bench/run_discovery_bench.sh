#!/usr/bin/env bash
# Runs discovery_bench on a veth pair inside a namespace of its own (root needed).
# Usage: run_discovery_bench.sh BUILD_DIR [N ...]
set -euo pipefail
bin=$(cd "$1" && pwd)/bin/discovery_bench
shift
ns=tvt-bench-$$
cleanup() { ip netns del "$ns" 2>/dev/null || true; }
trap cleanup EXIT
ip netns add "$ns"
ip -n "$ns" link add tvtbc type veth peer name tvtbf
ip -n "$ns" link set lo up
ip -n "$ns" link set tvtbc up
ip -n "$ns" link set tvtbf up
sleep 0.2
ip netns exec "$ns" "$bin" tvtbc tvtbf "$@"
