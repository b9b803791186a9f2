#!/usr/bin/env bash
# Console and agent transports as Windows programs under Wine, each in its own network
# namespace and Wine prefix, on the two ends of a veth pair. First a clean link, then every
# fifth frame lost each way: every request must still be answered, retransmissions must show,
# and the agent must execute no request twice (the reply cache answers the repeats).
# Loss comes from an nftables netdev egress rule (numgen inc): deterministic, unlike netem,
# which this machine's kernel also lacks.
# Usage: netns_test.sh BUILD_DIR        (root; exit 77 = skipped)
set -euo pipefail
build=$(cd "$1" && pwd)
bin=$build/bin
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 77; }
command -v wine >/dev/null || { echo "needs wine"; exit 77; }

tag=$$
nsc=tvt-trc-$tag nsa=tvt-tra-$tag
vc=tvtrc$tag va=tvtra$tag
work=$(mktemp -d "$build/tvt-netns.XXXXXX")
template=$build/tvt-wine-template
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()

cleanup() {
  set +e
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for side in c a; do
    ns=$nsc; [ $side = a ] && ns=$nsa
    [ -d "$work/prefix-$side" ] &&
      ip netns exec "$ns" env WINEPREFIX="$work/prefix-$side" wineserver -k 2>/dev/null
  done
  wait 2>/dev/null
  ip netns del "$nsc" 2>/dev/null
  ip netns del "$nsa" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# One Wine prefix for the build tree, cloned cheaply (hard links, registry files copied).
(
  flock 9
  if [ ! -f "$template/system.reg" ]; then
    WINEPREFIX=$template wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$template wineserver -w
  fi
) 9>"$template.lock"
for side in c a; do
  cp -al "$template" "$work/prefix-$side"
  for f in "$template"/*.reg "$template"/.update-timestamp; do
    [ -e "$f" ] && cp --remove-destination "$f" "$work/prefix-$side/"
  done
  cp "$bin"/*.dll "$bin"/tvt_*.exe "$work/prefix-$side/"
done
# The agent's side gets the lab's IP helper double, as a lab host's agent does: Wine's
# GetIfEntry knows no cable, the double reports a lost carrier as Windows would.
BUILD_DIR=$build source "$(dirname "$0")/../../../lab/lib/agent.sh"
double_install "$work/prefix-a/drive_c/windows/system32" iphlpapi
# For the agent program only (Wine's own drivers import what the double does not play). The
# registry files are the clone's own copies, read when its server starts.
printf '\n[Software\\\\Wine\\\\AppDefaults\\\\tvt_agent.exe\\\\DllOverrides] 0\n"iphlpapi"="native,builtin"\n' \
  >>"$work/prefix-a/user.reg"

ip netns add "$nsc"
ip netns add "$nsa"
ip link add "$vc" type veth peer name "$va"
ip link set "$vc" netns "$nsc"
ip link set "$va" netns "$nsa"
for pair in "$nsc:$vc" "$nsa:$va"; do
  ns=${pair%%:*} dev=${pair#*:}
  ip -n "$ns" link set lo up
  ip -n "$ns" link set "$dev" up
done

# Each prefix's wineserver runs inside its namespace: the adapters follow the server.
in_ns() { local ns=$1 side=$2; shift 2; ip netns exec "$ns" env WINEPREFIX="$work/prefix-$side" "$@"; }
in_ns "$nsc" c wineserver -p >/dev/null 2>&1
in_ns "$nsa" a wineserver -p >/dev/null 2>&1

start_agent() {  # name [restart]
  in_ns "$nsa" a wine "$work/prefix-a/tvt_agent.exe" 80 12 "${2:-}" >"$work/agent-$1.log" 2>&1 &
  agent=$!
  pids+=("$agent")
  for _ in $(seq 100); do grep -q READY "$work/agent-$1.log" && break; sleep 0.1; done
  grep -q READY "$work/agent-$1.log" || { cat "$work/agent-$1.log"; return 1; }
}

stop_agent() {
  kill "$agent" 2>/dev/null || true
  wait "$agent" 2>/dev/null || true
}

wait_for_line() {  # file pattern
  for _ in $(seq 40); do grep -q "$2" "$1" && return 0; sleep 0.1; done
  echo "FAIL: no '$2' in $1"; cat "$1"; return 1
}

run_phase() {  # name requests retries set_timeout discover_rounds round_trips [restart]
  local name=$1
  in_ns "$nsa" a wine "$work/prefix-a/tvt_agent.exe" 80 12 "${7:-}" >"$work/agent-$name.log" 2>&1 &
  local agent=$!
  pids+=("$agent")
  for _ in $(seq 100); do grep -q READY "$work/agent-$name.log" && break; sleep 0.1; done
  grep -q READY "$work/agent-$name.log" || { cat "$work/agent-$name.log"; return 1; }
  local rc=0
  in_ns "$nsc" c wine "$work/prefix-c/tvt_console.exe" "$2" "$3" "$4" "$5" "$6" \
    >"$work/console-$name.log" 2>&1 || rc=$?
  kill "$agent" 2>/dev/null || true
  wait "$agent" 2>/dev/null || true
  echo "== $name: console"; cat "$work/console-$name.log"
  echo "== $name: agent"; grep -v '^EXEC' "$work/agent-$name.log" || true
  local execs ids
  execs=$(grep -c '^EXEC' "$work/agent-$name.log" || true)
  ids=$(grep '^EXEC' "$work/agent-$name.log" | awk '{print $3}' | sort -u | wc -l)
  echo "== $name: agent executed $execs requests, $ids distinct"
  [ "$rc" = 0 ] || { echo "FAIL $name: console checks"; return 1; }
  [ "$execs" = "$ids" ] || { echo "FAIL $name: a request ran twice"; return 1; }
  ! grep -q '^REPEAT' "$work/agent-$name.log" || { echo "FAIL $name: retransmission reached the agent"; return 1; }
}

run_phase clean 5 3 30 1 200

# The agent's link state follows the wire: its own interface going down, and the peer going
# down (which takes the carrier away), both show; so does the way back.
start_agent link
ip -n "$nsa" link set "$va" down
wait_for_line "$work/agent-link.log" '^LINK 0'
ip -n "$nsa" link set "$va" up
wait_for_line "$work/agent-link.log" '^LINK 1'
ip -n "$nsc" link set "$vc" down
[ "$(grep -c '^LINK 0' "$work/agent-link.log")" -ge 1 ]
for _ in $(seq 40); do [ "$(grep -c '^LINK 0' "$work/agent-link.log")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c '^LINK 0' "$work/agent-link.log")" -ge 2 ] || { echo "FAIL: carrier loss not seen"; exit 1; }
ip -n "$nsc" link set "$vc" up
for _ in $(seq 40); do [ "$(grep -c '^LINK 1' "$work/agent-link.log")" -ge 2 ] && break; sleep 0.1; done
[ "$(grep -c '^LINK 1' "$work/agent-link.log")" -ge 2 ] || { echo "FAIL: carrier return not seen"; exit 1; }
stop_agent
echo "== link: agent saw its link go down and up, administratively and by carrier"
drop_every_fifth() {  # namespace device
  ip netns exec "$1" nft -f - <<NFT
table netdev tvt_loss {
  chain egress {
    type filter hook egress device "$2" priority 0;
    ether type 0x88b5 numgen inc mod 5 0 counter drop
  }
}
NFT
}
drop_every_fifth "$nsc" "$vc"
drop_every_fifth "$nsa" "$va"
# Lossy, and the agent reopens its adapters every 250 ms while it serves.
run_phase lossy 8 10 30 3 0 restart
slow=$(awk '/^REQ/ { sub("ms=", "", $5); if ($5 + 0 >= 900) n++ } END { print n + 0 }' "$work/console-lossy.log")
echo "== lossy: $slow requests needed a retransmission"
grep -q '^RESTARTED' "$work/agent-lossy.log" || { echo "FAIL lossy: the agent never restarted"; exit 1; }
for ns in "$nsc" "$nsa"; do ip netns exec "$ns" nft list table netdev tvt_loss | grep -o 'packets [0-9]*'; done
[ "$slow" -gt 0 ] || { echo "FAIL lossy: no retransmission seen"; exit 1; }
echo PASS
