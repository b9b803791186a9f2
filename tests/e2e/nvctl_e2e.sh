#!/usr/bin/env bash
# nvctl end to end on the test lab: the command-line console runs in the console host
# against the real agents; what it prints and what it changes is compared with the hosts.
# Usage: nvctl_e2e.sh BUILD_DIR CASE
#   discover-json | set-fixed | apply | apply-malformed | refused-logons
set -euo pipefail
here=$(dirname "$0")
source "$here/lab_env.sh"
build=$1 case=$2
hosts=$(cat "$LAB_DIR/hosts")
work=$(mktemp -d "$LAB_DIR/run/nvctl-e2e.XXXX")
capture_pid=""
trap '[ -z "$capture_pid" ] || kill "$capture_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$build/bin/nvctl.exe" "$build/bin/TaviClient.dll" "$(host_c con)/Netvane/"
# nvctl reads Netvane.cfg beside it, as the console does: these cases run with the built-in
# time-outs, whatever a console case left there.
rm -f "$(host_c con)/Netvane/Netvane.cfg"

# nvctl ARGS...: runs in the console host with the lab's administrator password (or
# $NVCTL_PASSWORD); stdout and stderr go to $work/out and $work/err, the exit status to
# $work/status.
nvctl() {
  local status=0
  in_host con env NETVANE_PASSWORD="${NVCTL_PASSWORD:-lab}" wine 'C:\Netvane\nvctl.exe' "$@" \
    >"$work/out" 2>"$work/err" || status=$?
  tr -d '\r' <"$work/out" >"$work/out.txt"
  echo "$status" >"$work/status"
  cat "$work/out.txt"
  tr -d '\r' <"$work/err" >&2
}

# The address of IFACE on host ID, as ADDRESS/PREFIX; waits up to 60 s for `want`.
wait_address() { # ID IFACE WANT
  local i
  for i in $(seq 120); do
    ip -n "$(ns_name "$1")" -4 -o addr show dev "$2" | grep -q "inet $3 " && return 0
    sleep 0.5
  done
  return 1
}

agent_mac() { ip netns exec "$(ns_name "$1")" cat /sys/class/net/eth0/address; }

case_discover_json() {
  local id files=()
  nvctl discover --format json
  [ "$(cat "$work/status")" = 0 ] || e2e_fail "discover exited $(cat "$work/status")"
  for id in $(host_ids "$hosts"); do
    "$here/expect_host.sh" "$id" >"$work/$id.expect"
    files+=("$work/$id.expect")
  done
  python3 "$here/nvctl_check.py" "$work/out.txt" "${files[@]}" || e2e_fail "discover listed other values"
  e2e_pass "discover --format json lists all $hosts hosts with the values each host holds"
}

case_set_fixed() {
  local id=h2 new=$NET_FRONT.45
  nvctl set "$(agent_mac "$id")" --static "$new/25" --gateway "$ROUTER_IP"
  [ "$(cat "$work/status")" = 0 ] || e2e_fail "set exited $(cat "$work/status")"
  grep -q "Setting Succeeded!" "$work/out.txt" || e2e_fail "no success line"
  wait_address "$id" eth0 "$new/25" || e2e_fail "$new is not on $id's eth0"
  grep -q "$new" "$work/out.txt" || e2e_fail "the host as reported after the change lacks $new"
  e2e_pass "set gave $id the fixed address $new, which its eth0 carries"
}

# h3 (Server 2022) asked for an address h1 uses: duplicate detection on the segment finds
# it taken, the agent answers IP conflict and h3 keeps its address, gateway and DNS servers.
case_set_conflict() {
  local id=h3 taken=$NET_FRONT.21 before after dns_before
  before=$(ip -n "$(ns_name "$id")" -4 -o addr show dev eth0 scope global | awk '{ print $4 }')
  dns_before=$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\'"$(awk '$2 == "eth0" { print $1 }' "$LAB_DIR/run/$id.adapters")" NameServer)
  nvctl set "$(agent_mac "$id")" --static "$taken/25" --gateway "$ROUTER_IP" || true
  [ "$(cat "$work/status")" != 0 ] || e2e_fail "set to a taken address exited 0"
  cat "$work/out.txt" "$work/err" 2>/dev/null | grep -q "IP conflict" || e2e_fail "no IP conflict reported"
  after=$(ip -n "$(ns_name "$id")" -4 -o addr show dev eth0 scope global | awk '{ print $4 }')
  [ "$before" = "$after" ] || e2e_fail "h3's addresses went from '$before' to '$after'"
  [ "$(reg_value "$id" 'HKLM\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters\Interfaces\'"$(awk '$2 == "eth0" { print $1 }' "$LAB_DIR/run/$id.adapters")" NameServer)" = "$dns_before" ] ||
    e2e_fail "h3's DNS servers changed"
  ip -n "$(ns_name "$id")" -4 route show default dev eth0 | grep -q "via $ROUTER_IP" || e2e_fail "h3 lost its default route"
  e2e_pass "a taken address gives IP conflict; h3 keeps $after and its DNS servers ($dns_before)"
}

case_apply() {
  local accounts
  accounts=$(host_c h2)/nvlab/accounts.txt
  cp "$accounts" "$work/accounts.saved"
  # h2 knows the administrator only as an ordinary user: its agent refuses the row.
  printf '%s\n' 'Administrator:Users:lab' >"$accounts"
  cat >"$work/apply.csv" <<CSV
host,nic,mode,address,mask,gateway,dns,name
$(agent_mac h1),2,static,$NET_FRONT.132,255.255.255.128,,,
$(agent_mac h2),,static,$NET_FRONT.46/25,,,,
$(agent_mac h3),1,static,$NET_FRONT.47/25,,$ROUTER_IP,,
CSV
  cp "$work/apply.csv" "$(host_c con)/apply.csv"
  nvctl apply 'C:\apply.csv'
  cp "$work/accounts.saved" "$accounts"
  [ "$(cat "$work/status")" = 1 ] || e2e_fail "apply exited $(cat "$work/status"), expected 1"
  grep -qx "2 applied, 1 refused, 0 failed" "$work/out.txt" || e2e_fail "no summary of 2 applied, 1 refused"
  grep -q "line 3 .*: refused: " "$work/err" ||
    e2e_fail "row 3 not reported as refused"
  wait_address h1 eth1 "$NET_FRONT.132/25" || e2e_fail "h1 eth1 does not carry $NET_FRONT.132"
  wait_address h3 eth0 "$NET_FRONT.47/25" || e2e_fail "h3 eth0 does not carry $NET_FRONT.47"
  ! ip -n "$(ns_name h2)" -4 -o addr show dev eth0 | grep -q "inet $NET_FRONT.46/" ||
    e2e_fail "the refused row changed h2"
  e2e_pass "apply: 2 applied, 1 refused, exit status 1; the applied addresses are on the hosts"
}

# The host's logon decides from its accounts as Windows does: a wrong password is refused
# (status 1), and so is a disabled administrator's right one, with its own status; neither
# changes the host.
case_refused_logons() {
  local id=h2 new=$NET_FRONT.48
  NVCTL_PASSWORD=wrong nvctl set "$(agent_mac "$id")" --static "$new/25" --gateway "$ROUTER_IP"
  [ "$(cat "$work/status")" = 1 ] || e2e_fail "a wrong password: set exited $(cat "$work/status")"
  grep -q "refused: Unknown username or bad password (status 1)" "$work/err" ||
    e2e_fail "a wrong password was not refused with status 1"
  ! grep -q "Setting Succeeded!" "$work/out.txt" || e2e_fail "a wrong password succeeded"
  nvctl set "$(agent_mac "$id")" --static "$new/25" --gateway "$ROUTER_IP" --user retired
  [ "$(cat "$work/status")" = 1 ] || e2e_fail "a disabled account: set exited $(cat "$work/status")"
  grep -q "refused: Account is disabled (status 19)" "$work/err" ||
    e2e_fail "a disabled account was not refused with status 19"
  ! ip -n "$(ns_name "$id")" -4 -o addr show dev eth0 | grep -q "inet $new/" ||
    e2e_fail "a refused logon changed $id"
  e2e_pass "a wrong password is refused with status 1, a disabled account with status 19"
}

case_apply_malformed() {
  local frames
  cat >"$(host_c con)/bad.csv" <<CSV
host,nic,mode,address,mask,gateway,dns,name
$(agent_mac h1),1,static,$NET_FRONT.51/25,,,,
$(agent_mac h3),1,static,$NET_FRONT.52,,,,
CSV
  # Every frame of the protocol the console host sends, while nvctl runs.
  ip netns exec "$(ns_name con)" tcpdump -i eth0 -n -w "$work/capture.pcap" -U 'ether proto 0x88b5' \
    2>/dev/null &
  capture_pid=$!
  sleep 1
  nvctl apply 'C:\bad.csv' || true
  sleep 1
  kill "$capture_pid" 2>/dev/null || true
  wait "$capture_pid" 2>/dev/null || true
  capture_pid=""
  [ "$(cat "$work/status")" = 2 ] || e2e_fail "apply of a malformed file exited $(cat "$work/status"), expected 2"
  grep -q "line 3: column mask" "$work/err" || e2e_fail "the error does not name line 3"
  frames=$(tcpdump -r "$work/capture.pcap" -n 2>/dev/null | wc -l)
  [ "$frames" = 0 ] || e2e_fail "$frames frames were sent for a malformed file"
  ! ip -n "$(ns_name h1)" -4 -o addr show dev eth0 | grep -q "inet $NET_FRONT.51/" ||
    e2e_fail "h1 was changed"
  e2e_pass "a malformed file stops at line 3 with exit status 2 and no frame sent"
}

"case_${case//-/_}"
